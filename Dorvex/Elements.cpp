#include "Dorvex/Elements.h"

#include "DorvexCore/JsonText.h"
#include "DorvexCore/NumberText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace dorvex {
namespace {

using platform::AXValue;
using platform::Element;

// Integral numbers print without a fraction, as the platform's number objects do.
std::string numberText(const platform::AXNumber& number) {
    if (number.isBoolean) return number.value != 0 ? "1" : "0";
    const double value = number.value;
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 9.0e15) {
        return std::to_string(static_cast<int64_t>(value));
    }
    return shortestNumberText(value);
}

struct TypeName {
    std::string operator()(const Element&) const { return "AXUIElement"; }
    std::string operator()(const platform::Point&) const { return "AXValue"; }
    std::string operator()(const platform::Size&) const { return "AXValue"; }
    std::string operator()(const platform::AXOtherType& other) const { return other.typeName; }
    template <class T> std::string operator()(const T&) const { return "unknown"; }
};

AXValue readValue(platform::Accessibility& ax, const Element& element,
                  const std::string& attribute) {
    platform::AXAttributeResult read = ax.copyAttributeValue(element, attribute);
    if (read.code != platform::axerr::success) return AXValue{};
    return std::move(read.value);
}

// The elements of a list value, or nothing when the value is not a list of elements only.
std::optional<std::vector<Element>> elementList(const AXValue& value) {
    const platform::AXValueList* list = value.list();
    if (list == nullptr) return std::nullopt;
    std::vector<Element> elements;
    elements.reserve(list->size());
    for (const AXValue& item : *list) {
        const Element* element = item.element();
        if (element == nullptr) return std::nullopt;
        elements.push_back(*element);
    }
    return elements;
}

// The elements of a successful list read, moved out of it; none unless every item is one.
std::vector<Element> takeElements(platform::AXAttributeResult& read) {
    if (read.code != platform::axerr::success) return {};
    platform::AXValueList* list = std::get_if<platform::AXValueList>(&read.value.value);
    if (list == nullptr) return {};
    std::vector<Element> elements;
    elements.reserve(list->size());
    for (AXValue& item : *list) {
        Element* element = std::get_if<Element>(&item.value);
        if (element == nullptr) return {};
        elements.push_back(std::move(*element));
    }
    return elements;
}

// Strings of a list value; empty unless every item is a string.
std::vector<std::string> stringList(const AXValue& value) {
    const platform::AXValueList* list = value.list();
    std::vector<std::string> strings;
    if (list == nullptr) return strings;
    strings.reserve(list->size());
    for (const AXValue& item : *list) {
        const std::string* text = item.string();
        if (text == nullptr) return {};
        strings.push_back(*text);
    }
    return strings;
}

std::optional<std::string> stringOf(const platform::AXAttributeResult& read) {
    if (read.code != platform::axerr::success) return std::nullopt;
    if (const std::string* text = read.value.string()) return *text;
    return std::nullopt;
}

std::optional<std::string> takeString(platform::AXAttributeResult& read) {
    if (read.code != platform::axerr::success) return std::nullopt;
    if (std::string* text = std::get_if<std::string>(&read.value.value)) return std::move(*text);
    return std::nullopt;
}

const AXValue& valueOf(const platform::AXAttributeResult& read) {
    static const AXValue none;
    return read.code == platform::axerr::success ? read.value : none;
}

// Several attributes of one element in one round trip; a failed call fails every value with
// its code, as one read at a time would have.
platform::AXAttributesResult readBatch(platform::Accessibility& ax, const Element& element,
                                       const std::vector<std::string>& attributes) {
    platform::AXAttributesResult batch = ax.copyMultipleAttributeValues(element, attributes);
    if (batch.code == platform::axerr::success && batch.values.size() == attributes.size()) {
        return batch;
    }
    const int32_t code =
        batch.code == platform::axerr::success ? platform::axerr::failure : batch.code;
    batch.values.assign(attributes.size(), platform::AXAttributeResult{code, {}});
    batch.code = platform::axerr::success;
    return batch;
}

// What one batched read of a node asks for, in this order. The children and cells are asked
// for even where the walk will not descend: the verdict of a text container needs them, and an
// attribute more costs no round trip.
enum NodeAttribute : size_t {
    nodeRole,
    nodeTitle,
    nodeIdentifier,
    nodeSubrole,
    nodeActions,
    nodeDescription,
    nodePosition,
    nodeSize,
    nodeChildren,
    nodeCells,
};
const std::vector<std::string>& nodeAttributes() {
    static const std::vector<std::string> all = {
        "AXRole",        "AXTitle",    "AXIdentifier", "AXSubrole",  "AXActions",
        "AXDescription", "AXPosition", "AXSize",       "AXChildren", "AXCells"};
    return all;
}

// The elements one secure-field verdict visits, each read at most once: its attribute names in
// one round trip and the four attributes the rules look at in another. The judged element comes
// with what its node read already holds. The rules see elements as indices into this list.
class JudgedElements {
public:
    using Read = SecureField::AttributeRead<size_t>;

    JudgedElements(platform::Accessibility& ax, Element element) : ax_(ax) {
        entries_.push_back(Entry{std::move(element), {}, {}});
    }
    // The node read's answers for the judged element, looked at where they are (the reads
    // outlive the judgement).
    void knownAnswers(const ElementReads& reads) {
        known_ = {&reads.batch.values[nodeRole], &reads.batch.values[nodeSubrole],
                  &reads.batch.values[nodeChildren], &reads.batch.values[nodeCells]};
    }

    // The names as read, or nothing when the read failed; valid until the next read adds
    // entries, which the rules allow for (they look names up before reading).
    const std::vector<std::string>* names(size_t index) {
        Entry& entry = entries_[index];
        if (!entry.names) entry.names = ax_.copyAttributeNames(entry.element);
        if (entry.names->code != platform::axerr::success) return nullptr;
        return &entry.names->names;
    }

    Read read(size_t index, const std::string& name) {
        const auto slot = static_cast<size_t>(std::find(slotNames.begin(), slotNames.end(), name) -
                                              slotNames.begin());
        if (slot == slotNames.size()) return convert(ax_.copyAttributeValue(element(index), name));
        if (index == 0 && known_[slot] != nullptr) return convert(*known_[slot]);
        if (!entries_[index].reads[slot]) readMissing(index);
        // A copy: converting a list adds entries, which may move the one read from.
        const platform::AXAttributeResult answer = *entries_[index].reads[slot];
        return convert(answer);
    }

    bool same(size_t a, size_t b) { return ax_.sameElement(element(a), element(b)); }

private:
    enum Slot : size_t { role, subrole, children, cells };
    static constexpr std::array<std::string_view, 4> slotNames = {"AXRole", "AXSubrole",
                                                                  "AXChildren", "AXCells"};
    struct Entry {
        Element element;
        std::optional<platform::AXNamesResult> names;
        std::array<std::optional<platform::AXAttributeResult>, 4> reads;
    };

    const Element& element(size_t index) const { return entries_[index].element; }

    void readMissing(size_t index) {
        std::vector<std::string> missing;
        for (size_t slot = 0; slot < slotNames.size(); ++slot) {
            if (!entries_[index].reads[slot]) missing.emplace_back(slotNames[slot]);
        }
        platform::AXAttributesResult batch = readBatch(ax_, element(index), missing);
        size_t next = 0;
        for (auto& answer : entries_[index].reads) {
            if (!answer) answer = std::move(batch.values[next++]);
        }
    }

    // The read as the secure-field rules see it; listed elements join the list.
    Read convert(const platform::AXAttributeResult& read) {
        using SecureField::AttributeReadError;
        Read result; // starts as "no value"
        switch (read.code) {
        case platform::axerr::success:
            break;
        case platform::axerr::noValue:
            return result;
        case platform::axerr::attributeUnsupported:
            result.error = AttributeReadError::unsupported;
            return result;
        default:
            result.error = AttributeReadError::failure;
            return result;
        }
        if (read.value.isNone()) return result;
        if (const std::string* text = read.value.string()) {
            result.value = *text;
        } else if (std::optional<std::vector<Element>> elements = elementList(read.value)) {
            std::vector<size_t> indices;
            indices.reserve(elements->size());
            for (Element& element : *elements) {
                indices.push_back(entries_.size());
                entries_.push_back(Entry{std::move(element), {}, {}});
            }
            result.value = std::move(indices);
        } else {
            result.value = SecureField::OtherValue{};
        }
        return result;
    }

    platform::Accessibility& ax_;
    std::vector<Entry> entries_;
    std::array<const platform::AXAttributeResult*, 4> known_{}; // the judged element's
};

SecureField::Verdict judge(JudgedElements& elements, WalkLimits::VisitBudget* budget) {
    return SecureField::axVerdict(
        size_t{0}, [&](size_t index) { return elements.names(index); },
        [&](size_t index, const std::string& name) { return elements.read(index, name); },
        [&](size_t a, size_t b) { return elements.same(a, b); }, budget);
}

} // namespace

std::optional<std::string> axString(platform::Accessibility& ax, const Element& element,
                                    const std::string& attribute) {
    AXValue value = readValue(ax, element, attribute);
    if (const std::string* text = value.string()) return *text;
    return std::nullopt;
}

std::vector<Element> axChildren(platform::Accessibility& ax, const Element& element) {
    return elementList(readValue(ax, element, "AXChildren")).value_or(std::vector<Element>{});
}

std::optional<std::string> valuePreview(const AXValue& value) {
    if (value.isNone()) return std::nullopt;
    if (const std::string* text = value.string()) return *text;
    if (const platform::AXNumber* number = value.number()) return numberText(*number);
    if (const platform::AXValueList* list = value.list()) {
        return "array(" + std::to_string(list->size()) + ")";
    }
    return std::visit(TypeName{}, value.value);
}

ElementIdentity axIdentity(platform::Accessibility& ax, const Element& element) {
    static const std::vector<std::string> attributes = {"AXRole", "AXTitle", "AXIdentifier",
                                                        "AXSubrole", "AXDescription"};
    platform::AXAttributesResult batch = readBatch(ax, element, attributes);
    return ElementIdentity(stringOf(batch.values[0]), stringOf(batch.values[1]),
                           stringOf(batch.values[2]), stringOf(batch.values[3]),
                           stringOf(batch.values[4]));
}

std::optional<ElementBounds::Frame> axFrame(platform::Accessibility& ax, const Element& element) {
    return ElementBounds::read(
        [&](const std::string& attribute) { return readValue(ax, element, attribute); });
}

SecureField::Verdict secureVerdict(platform::Accessibility& ax, const Element& element) {
    JudgedElements elements(ax, element);
    return judge(elements, nullptr);
}

PathStep readPathStep(platform::Accessibility& ax, const Element& element) {
    static const std::vector<std::string> attributes = {"AXChildren", "AXRole", "AXSubrole"};
    platform::AXAttributesResult batch = readBatch(ax, element, attributes);
    PathStep step;
    step.children = takeElements(batch.values[0]);
    step.secureField = SecureField::is(stringOf(batch.values[1]), stringOf(batch.values[2]));
    return step;
}

bool TreeWalk::repeats(const Element& element) {
    return WalkLimits::repeatsBranch(element, branch, [this](const Element& a, const Element& b) {
        return ax.sameElement(a, b);
    });
}

ElementIdentity ElementReads::identity() const {
    return ElementIdentity(role, title, identifier, subrole, description);
}

std::vector<Element> ElementReads::takeChildren() {
    return takeElements(batch.values[nodeChildren]);
}

Json NodeValue::fields() const {
    return SecureField::valueFields(verdict, [this] { return preview; });
}

ElementReads readElement(platform::Accessibility& ax, const Element& element) {
    ElementReads reads;
    reads.batch = readBatch(ax, element, nodeAttributes());
    std::vector<platform::AXAttributeResult>& values = reads.batch.values;
    // The verdict looks at role, subrole, children and cells in the batch; the rest is taken.
    reads.role = stringOf(values[nodeRole]);
    reads.title = takeString(values[nodeTitle]);
    reads.identifier = takeString(values[nodeIdentifier]);
    reads.subrole = stringOf(values[nodeSubrole]);
    reads.actions = stringList(valueOf(values[nodeActions]));
    reads.description = takeString(values[nodeDescription]);
    reads.frame = ElementBounds::frame(valueOf(values[nodePosition]), valueOf(values[nodeSize]));
    reads.secureField = SecureField::is(reads.role, reads.subrole);
    return reads;
}

NodeValue nodeValue(TreeWalk& walk, const Element& element, const ElementReads& reads,
                    bool insideSecureField) {
    // Whatever sits inside a secure field is part of the secret: it is not even judged.
    if (insideSecureField) return NodeValue{SecureField::Verdict::secure, std::nullopt};
    JudgedElements elements(walk.ax, element);
    elements.knownAnswers(reads);
    NodeValue value{judge(elements, &walk.budget), std::nullopt};
    // The value is read only when the verdict allows it, and only after it, so a secure value
    // never leaves the app.
    if (value.verdict == SecureField::Verdict::readable) {
        value.preview = valuePreview(readValue(walk.ax, element, "AXValue"));
    }
    return value;
}

namespace {

// What every node of one tree read shares: its limits, and the texts it writes with, reused
// from node to node.
struct TreeWriting {
    int32_t pid;
    int64_t maxDepth;
    std::optional<int64_t> windowId; // the path's, when nodes have paths
    bool paths = false;
    // The path tokens of the node being written, without its identity, as JSON texts joined by
    // commas; each level appends its child token and takes it off again.
    std::string pathPrefix;
    std::string scratch;
};

// Writes a node's keys as compact JSON text, byte for byte as the answer's encoder would write
// the same object, without building it.
class NodeText {
public:
    explicit NodeText(std::string& out) : out_(out) {}

    // `name` is the key with its quotes and colon, after a comma unless it is the first.
    void key(std::string_view quotedName, bool first = false) {
        if (!first) out_ += ',';
        out_ += quotedName;
    }
    void text(std::string_view value) { JsonText::appendString(out_, value); }
    void text(const std::optional<std::string>& value) {
        if (value) {
            text(std::string_view(*value));
        } else {
            out_ += std::string_view("null");
        }
    }
    void texts(const std::vector<std::string>& values) {
        out_ += '[';
        for (size_t i = 0; i < values.size(); ++i) {
            if (i > 0) out_ += ',';
            text(std::string_view(values[i]));
        }
        out_ += ']';
    }
    void number(int64_t value) { JsonText::appendNumber(out_, value); }
    void number(double value) { JsonText::appendNumber(out_, value); }

    // A node without "children": the object a search answers with.
    void flat(const ElementReads& reads, TreeWriting& writing) {
        out_ += '{';
        keys(reads, writing);
        out_ += '}';
    }

    // The flat node's keys, then "repeatsAncestor" and the opening of "children".
    void node(const ElementReads& reads, TreeWriting& writing, bool repeated) {
        out_ += '{';
        keys(reads, writing);
        if (repeated) {
            key(R"("repeatsAncestor":)");
            out_ += std::string_view("true");
        }
        key(R"("children":)");
        out_ += '[';
    }

private:
    void keys(const ElementReads& reads, TreeWriting& writing) {
        key(R"("role":)", true);
        text(reads.role);
        key(R"("title":)");
        text(reads.title);
        key(R"("identifier":)");
        text(reads.identifier);
        key(R"("subrole":)");
        text(reads.subrole);
        key(R"("actions":)");
        texts(reads.actions);
        value(reads.value);
        key(R"("ownerPid":)");
        number(int64_t{writing.pid});
        if (writing.paths) path(reads, writing);
        // ElementBounds::field's keys and rule: only a frame with a positive width and height.
        if (const std::optional<ElementBounds::Frame>& frame = reads.frame;
            frame && frame->width > 0 && frame->height > 0) {
            key(R"("bounds":)");
            out_ += '{';
            key(R"("x":)", true);
            number(frame->x);
            key(R"("y":)");
            number(frame->y);
            key(R"("width":)");
            number(frame->width);
            key(R"("height":)");
            number(frame->height);
            out_ += '}';
        }
    }

    // The keys SecureField::valueFields gives for the verdict.
    void value(const NodeValue& value) {
        switch (value.verdict) {
        case SecureField::Verdict::secure:
            key(R"("secure":)");
            out_ += std::string_view("true");
            break;
        case SecureField::Verdict::readable:
            key(R"("valuePreview":)");
            text(value.preview);
            break;
        case SecureField::Verdict::unknown:
            break;
        }
    }

    // "windowId" (when the path has one) and "path": the tokens so far and this identity.
    void path(const ElementReads& reads, TreeWriting& writing) {
        if (writing.windowId) {
            key(R"("windowId":)");
            number(*writing.windowId);
        }
        key(R"("path":)");
        out_ += '[';
        out_ += writing.pathPrefix;
        if (!writing.pathPrefix.empty()) out_ += ',';
        writing.scratch.clear();
        ElementIdentity::appendToken(writing.scratch, reads.role, reads.title, reads.identifier,
                                     reads.subrole, reads.description);
        text(std::string_view(writing.scratch));
        out_ += ']';
    }

    std::string& out_;
};

// Appends the token of child position `index` to the path prefix; gives the size to cut it back
// to.
size_t pushChildToken(std::string& prefix, int64_t index) {
    const size_t mark = prefix.size();
    ElementPath::appendChildToken(prefix, index);
    return mark;
}

// Appends the node: its flat keys, then "repeatsAncestor" and "children", as the object would
// be written.
void writeTreeNode(TreeWalk& walk, TreeWriting& writing, const Element& element, int64_t depth,
                   bool insideSecureField, bool repeated, std::string& out) {
    const bool descend = depth < writing.maxDepth && !repeated;
    ElementReads reads = readElement(walk.ax, element);
    reads.value = nodeValue(walk, element, reads, insideSecureField);
    NodeText(out).node(reads, writing, repeated);
    if (descend) {
        const std::vector<Element> list = reads.takeChildren();
        walk.branch.push_back(element);
        for (size_t i = 0; i < list.size() && walk.budget.take(); ++i) {
            const size_t mark =
                writing.paths ? pushChildToken(writing.pathPrefix, static_cast<int64_t>(i)) : 0;
            // Only an element whose children would be read needs the check.
            const bool repeats = depth + 1 < writing.maxDepth && walk.repeats(list[i]);
            if (i > 0) out += ',';
            writeTreeNode(walk, writing, list[i], depth + 1, insideSecureField || reads.secureField,
                          repeats, out);
            if (writing.paths) writing.pathPrefix.resize(mark);
        }
        walk.branch.pop_back();
    }
    out += std::string_view("]}");
}

// The tokens of the root's path without identity, as the prefix of every node's path.
std::string rootPathPrefix(const ElementPath& path) {
    std::string prefix;
    path.appendPositionTokens(prefix);
    return prefix;
}

} // namespace

void writeFlatNode(const ElementReads& reads, int32_t pid, const std::optional<ElementPath>& path,
                   std::string& out) {
    TreeWriting writing{pid, 0, std::nullopt, path.has_value(), {}, {}};
    if (path) {
        writing.windowId = path->windowId;
        writing.pathPrefix = rootPathPrefix(*path);
    }
    NodeText(out).flat(reads, writing);
}

ElementTree readElementTree(platform::Accessibility& ax, const Element& element, int32_t pid,
                            const std::optional<ElementPath>& path, int64_t depth, int64_t maxDepth,
                            int64_t visits) {
    TreeWalk walk(ax, visits);
    walk.budget.take(); // the root
    TreeWriting writing{pid, maxDepth, std::nullopt, path.has_value(), {}, {}};
    if (path) {
        writing.windowId = path->windowId;
        writing.pathPrefix = rootPathPrefix(*path);
    }
    ElementTree tree;
    writeTreeNode(walk, writing, element, depth, false, false, tree.text);
    tree.cut = walk.budget.exhausted();
    tree.visits = walk.budget.used();
    return tree;
}

Json makeElementNode(platform::Accessibility& ax, const Element& element, int32_t pid,
                     const std::optional<ElementPath>& path, int64_t depth, int64_t maxDepth) {
    return Json::parse(readElementTree(ax, element, pid, path, depth, maxDepth).text);
}

} // namespace dorvex
