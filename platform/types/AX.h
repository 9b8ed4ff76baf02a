#pragma once

// The values the accessibility interface answers: elements, attribute values as the interface
// types them, and the error codes the driver relies on by number.
#include "platform/types/Geometry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace dorvex::platform {

namespace axerr {
inline constexpr int32_t success = 0;
inline constexpr int32_t failure = -25200;
inline constexpr int32_t illegalArgument = -25201;
inline constexpr int32_t invalidUIElement = -25202;
inline constexpr int32_t cannotComplete = -25204;
inline constexpr int32_t attributeUnsupported = -25205;
inline constexpr int32_t actionUnsupported = -25206;
inline constexpr int32_t notImplemented = -25208;
inline constexpr int32_t apiDisabled = -25211;
inline constexpr int32_t noValue = -25212;
} // namespace axerr

// An accessibility element: an opaque, reference-counted handle owned by the binding. A
// default-constructed Element names nothing.
class Element {
public:
    Element() = default;
    explicit Element(std::shared_ptr<const void> handle) : handle_(std::move(handle)) {}
    explicit operator bool() const { return handle_ != nullptr; }
    const void* raw() const { return handle_.get(); }
    const std::shared_ptr<const void>& handle() const { return handle_; }

private:
    std::shared_ptr<const void> handle_;
};

struct AXNumber {
    double value = 0;
    bool isBoolean = false; // a CFBoolean rather than a CFNumber
};
struct AXOtherType {
    std::string typeName; // a value of a type the driver does not read (URL, range, ...)
};
struct AXValue;
using AXValueList = std::vector<AXValue>;
struct AXValue {
    std::variant<std::monostate, std::string, AXNumber, AXValueList, Element, Point, Size,
                 AXOtherType>
        value;

    bool isNone() const { return std::holds_alternative<std::monostate>(value); }
    const std::string* string() const { return std::get_if<std::string>(&value); }
    const AXNumber* number() const { return std::get_if<AXNumber>(&value); }
    const AXValueList* list() const { return std::get_if<AXValueList>(&value); }
    const Element* element() const { return std::get_if<Element>(&value); }
    const Point* point() const { return std::get_if<Point>(&value); }
    const Size* size() const { return std::get_if<Size>(&value); }
};

struct AXAttributeResult {
    int32_t code = axerr::failure;
    AXValue value;
};

// The values of several attributes of one element, read in one round trip: each value carries
// its own code. `code` is the call's own: not success means no value was read.
struct AXAttributesResult {
    int32_t code = axerr::failure;
    std::vector<AXAttributeResult> values; // one per attribute asked for, in order
};

struct AXNamesResult {
    int32_t code = axerr::failure;
    std::vector<std::string> names;
};

struct AXElementResult {
    int32_t code = axerr::failure;
    Element element;
};

struct AXPidResult {
    int32_t code = axerr::failure;
    int32_t pid = 0;
};

struct AXWindowNumberResult {
    int32_t code = axerr::failure;
    uint32_t windowNumber = 0;
};

} // namespace dorvex::platform
