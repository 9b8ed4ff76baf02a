#include "Dorvex/Elements.h"

#include "DorvexCore/NumberText.h"

#include <algorithm>
#include <array>
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
    // The node read's answers for the judged element.
    void knownAnswers(const ElementReads& reads) {
        Entry& entry = entries_.front();
        entry.reads[role] = reads.batch.values[nodeRole];
        entry.reads[subrole] = reads.batch.values[nodeSubrole];
        entry.reads[children] = reads.batch.values[nodeChildren];
        entry.reads[cells] = reads.batch.values[nodeCells];
    }

    std::optional<std::vector<std::string>> names(size_t index) {
        Entry& entry = entries_[index];
        if (!entry.names) entry.names = ax_.copyAttributeNames(entry.element);
        if (entry.names->code != platform::axerr::success) return std::nullopt;
        return entry.names->names;
    }

    Read read(size_t index, const std::string& name) {
        const auto slot = static_cast<size_t>(std::find(slotNames.begin(), slotNames.end(), name) -
                                              slotNames.begin());
        if (slot == slotNames.size()) return convert(ax_.copyAttributeValue(element(index), name));
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
    step.children = elementList(valueOf(batch.values[0])).value_or(std::vector<Element>{});
    step.secureField = SecureField::is(stringOf(batch.values[1]), stringOf(batch.values[2]));
    return step;
}

void addWindowIdentity(Json& node, int32_t pid, const std::optional<ElementPath>& path,
                       const ElementIdentity& identity) {
    node["ownerPid"] = pid;
    if (!path) return;
    if (path->windowId) node["windowId"] = *path->windowId;
    node["path"] = path->identified(identity).tokens();
}

bool TreeWalk::repeats(const Element& element) {
    return WalkLimits::repeatsBranch(element, branch, [this](const Element& a, const Element& b) {
        return ax.sameElement(a, b);
    });
}

ElementIdentity ElementReads::identity() const {
    return ElementIdentity(role, title, identifier, subrole, description);
}

std::vector<Element> ElementReads::children() const {
    return elementList(valueOf(batch.values[nodeChildren])).value_or(std::vector<Element>{});
}

ElementReads readElement(platform::Accessibility& ax, const Element& element) {
    ElementReads reads;
    reads.batch = readBatch(ax, element, nodeAttributes());
    const std::vector<platform::AXAttributeResult>& values = reads.batch.values;
    reads.role = stringOf(values[nodeRole]);
    reads.title = stringOf(values[nodeTitle]);
    reads.identifier = stringOf(values[nodeIdentifier]);
    reads.subrole = stringOf(values[nodeSubrole]);
    reads.actions = stringList(valueOf(values[nodeActions]));
    reads.description = stringOf(values[nodeDescription]);
    reads.frame = ElementBounds::frame(valueOf(values[nodePosition]), valueOf(values[nodeSize]));
    reads.secureField = SecureField::is(reads.role, reads.subrole);
    return reads;
}

Json valueFields(TreeWalk& walk, const Element& element, const ElementReads& reads,
                 bool insideSecureField) {
    // Whatever sits inside a secure field is part of the secret: it is not even judged.
    if (insideSecureField) return SecureField::valueFields(SecureField::Verdict::secure, {});
    JudgedElements elements(walk.ax, element);
    elements.knownAnswers(reads);
    // The value is read only when the verdict allows it, and only after it, so a secure value
    // never leaves the app.
    return SecureField::valueFields(judge(elements, &walk.budget), [&] {
        return valuePreview(readValue(walk.ax, element, "AXValue"));
    });
}

Json flatElementNode(const ElementReads& reads, int32_t pid,
                     const std::optional<ElementPath>& path) {
    auto orNull = [](const std::optional<std::string>& text) {
        return text ? Json(*text) : Json(nullptr);
    };
    Json node = {{"role", orNull(reads.role)},
                 {"title", orNull(reads.title)},
                 {"identifier", orNull(reads.identifier)},
                 {"subrole", orNull(reads.subrole)},
                 {"actions", reads.actions}};
    node.update(reads.valueFields);
    addWindowIdentity(node, pid, path, reads.identity());
    if (std::optional<Json> bounds = ElementBounds::field(reads.frame)) node["bounds"] = *bounds;
    return node;
}

namespace {

struct TreeLimits {
    int32_t pid;
    int64_t maxDepth;
};

// Writes a node's keys as compact JSON text, byte for byte as the answer's encoder writes the
// same object (flatElementNode), without building it: texts that need no escaping are copied
// as they are, everything else goes through the encoder.
class NodeText {
public:
    explicit NodeText(std::string& out) : out_(out) {}

    void key(const char* name, bool first = false) {
        if (!first) out_ += ',';
        out_ += '"';
        out_ += name;
        out_ += "\":";
    }
    void text(const std::string& value) {
        if (plain(value)) {
            out_ += '"';
            out_ += value;
            out_ += '"';
        } else {
            out_ += Json(value).dump();
        }
    }
    void text(const std::optional<std::string>& value) {
        if (value) {
            text(*value);
        } else {
            out_ += "null";
        }
    }
    void texts(const std::vector<std::string>& values) {
        out_ += '[';
        for (size_t i = 0; i < values.size(); ++i) {
            if (i > 0) out_ += ',';
            text(values[i]);
        }
        out_ += ']';
    }
    void number(int64_t value) { out_ += std::to_string(value); }
    void json(const Json& value) { out_ += value.dump(); }

    // The keys of flatElementNode, in its order, and the opening of "children".
    void node(const ElementReads& reads, int32_t pid, const std::optional<ElementPath>& path,
              bool repeated) {
        out_ += '{';
        key("role", true);
        text(reads.role);
        key("title");
        text(reads.title);
        key("identifier");
        text(reads.identifier);
        key("subrole");
        text(reads.subrole);
        key("actions");
        texts(reads.actions);
        for (const auto& [name, value] : reads.valueFields.items()) {
            key(name.c_str());
            json(value);
        }
        key("ownerPid");
        number(pid);
        if (path) {
            if (path->windowId) {
                key("windowId");
                number(*path->windowId);
            }
            key("path");
            texts(path->identified(reads.identity()).tokens());
        }
        if (std::optional<Json> bounds = ElementBounds::field(reads.frame)) {
            key("bounds");
            json(*bounds);
        }
        if (repeated) {
            key("repeatsAncestor");
            out_ += "true";
        }
        key("children");
        out_ += '[';
    }

private:
    // Printable ASCII without quote or backslash: written as it is.
    static bool plain(std::string_view value) {
        return std::all_of(value.begin(), value.end(),
                           [](char c) { return c >= 0x20 && c < 0x7f && c != '"' && c != '\\'; });
    }

    std::string& out_;
};

// Appends the node: its flat keys, then "repeatsAncestor" and "children", as the object would
// be written.
void writeTreeNode(TreeWalk& walk, const TreeLimits& limits, const Element& element,
                   const std::optional<ElementPath>& path, int64_t depth, bool insideSecureField,
                   bool repeated, std::string& out) {
    const bool descend = depth < limits.maxDepth && !repeated;
    ElementReads reads = readElement(walk.ax, element);
    reads.valueFields = valueFields(walk, element, reads, insideSecureField);
    NodeText(out).node(reads, limits.pid, path, repeated);
    if (descend) {
        const std::vector<Element> list = reads.children();
        walk.branch.push_back(element);
        for (size_t i = 0; i < list.size() && walk.budget.take(); ++i) {
            std::optional<ElementPath> childPath;
            if (path) childPath = path->child(static_cast<int64_t>(i));
            // Only an element whose children would be read needs the check.
            const bool repeats = depth + 1 < limits.maxDepth && walk.repeats(list[i]);
            if (i > 0) out += ',';
            writeTreeNode(walk, limits, list[i], childPath, depth + 1,
                          insideSecureField || reads.secureField, repeats, out);
        }
        walk.branch.pop_back();
    }
    out += "]}";
}

} // namespace

ElementTree readElementTree(platform::Accessibility& ax, const Element& element, int32_t pid,
                            const std::optional<ElementPath>& path, int64_t depth,
                            int64_t maxDepth) {
    TreeWalk walk(ax);
    walk.budget.take(); // the root
    ElementTree tree;
    writeTreeNode(walk, TreeLimits{pid, maxDepth}, element, path, depth, false, false, tree.text);
    tree.cut = walk.budget.exhausted();
    tree.visits = WalkLimits::requestVisits - walk.budget.left();
    return tree;
}

Json makeElementNode(platform::Accessibility& ax, const Element& element, int32_t pid,
                     const std::optional<ElementPath>& path, int64_t depth, int64_t maxDepth) {
    return Json::parse(readElementTree(ax, element, pid, path, depth, maxDepth).text);
}

} // namespace dorvex
