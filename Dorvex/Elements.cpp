#include "Dorvex/Elements.h"

#include <charconv>
#include <cmath>

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
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc()) return "NaN";
    return std::string(buffer, end);
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

std::vector<std::string> axStrings(platform::Accessibility& ax, const Element& element,
                                   const std::string& attribute) {
    AXValue value = readValue(ax, element, attribute);
    const platform::AXValueList* list = value.list();
    std::vector<std::string> strings;
    if (list == nullptr) return strings;
    for (const AXValue& item : *list) {
        const std::string* text = item.string();
        if (text == nullptr) return {};
        strings.push_back(*text);
    }
    return strings;
}

// The attribute read as the secure-field rules see it.
SecureField::AttributeRead<Element> judgedRead(platform::Accessibility& ax, const Element& element,
                                               const std::string& attribute) {
    using SecureField::AttributeReadError;
    platform::AXAttributeResult read = ax.copyAttributeValue(element, attribute);
    SecureField::AttributeRead<Element> result; // starts as "no value"
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
        result.value = std::move(*elements);
    } else {
        result.value = SecureField::OtherValue{};
    }
    return result;
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
    return ElementIdentity(axString(ax, element, "AXRole"), axString(ax, element, "AXTitle"),
                           axString(ax, element, "AXIdentifier"),
                           axString(ax, element, "AXSubrole"),
                           axString(ax, element, "AXDescription"));
}

std::optional<ElementBounds::Frame> axFrame(platform::Accessibility& ax, const Element& element) {
    return ElementBounds::read(
        [&](const std::string& attribute) { return readValue(ax, element, attribute); });
}

SecureField::Verdict secureVerdict(platform::Accessibility& ax, const Element& element) {
    return SecureField::axVerdict(
        element,
        [&](const Element& e) -> std::optional<std::vector<std::string>> {
            platform::AXNamesResult names = ax.copyAttributeNames(e);
            if (names.code != platform::axerr::success) return std::nullopt;
            return std::move(names.names);
        },
        [&](const Element& e, const std::string& attribute) {
            return judgedRead(ax, e, attribute);
        });
}

void addWindowIdentity(Json& node, int32_t pid, const std::optional<ElementPath>& path,
                       const ElementIdentity& identity) {
    node["ownerPid"] = pid;
    if (!path) return;
    if (path->windowId) node["windowId"] = *path->windowId;
    node["path"] = path->identified(identity).tokens();
}

ElementIdentity ElementReads::identity() const {
    return ElementIdentity(role, title, identifier, subrole, description);
}

ElementReads readElementNames(platform::Accessibility& ax, const Element& element) {
    ElementReads reads;
    reads.role = axString(ax, element, "AXRole");
    reads.title = axString(ax, element, "AXTitle");
    reads.identifier = axString(ax, element, "AXIdentifier");
    return reads;
}

void readElementDetails(platform::Accessibility& ax, const Element& element, ElementReads& reads) {
    reads.subrole = axString(ax, element, "AXSubrole");
    reads.actions = axStrings(ax, element, "AXActions");
    // The value is read only when the verdict allows it, so a secure value never leaves the
    // ax.
    reads.valueFields = SecureField::valueFields(secureVerdict(ax, element), [&] {
        return valuePreview(readValue(ax, element, "AXValue"));
    });
    reads.description = axString(ax, element, "AXDescription");
    reads.frame = axFrame(ax, element);
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

Json makeElementNode(platform::Accessibility& ax, const Element& element, int32_t pid,
                     const std::optional<ElementPath>& path, int64_t depth, int64_t maxDepth) {
    ElementReads reads = readElementNames(ax, element);
    readElementDetails(ax, element, reads);
    Json node = flatElementNode(reads, pid, path);
    Json children = Json::array();
    if (depth < maxDepth) {
        std::vector<Element> list = axChildren(ax, element);
        for (size_t i = 0; i < list.size(); ++i) {
            std::optional<ElementPath> childPath;
            if (path) childPath = path->child(static_cast<int64_t>(i));
            children.push_back(makeElementNode(ax, list[i], pid, childPath, depth + 1, maxDepth));
        }
    }
    node["children"] = std::move(children);
    return node;
}

} // namespace dorvex
