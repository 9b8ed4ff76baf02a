// The accessibility facet: ApplicationServices' AXUIElement calls.
#include "platform/macos/CFConvert.h"
#include "platform/macos/CFRef.h"
#include "platform/macos/MacosDesktop.h"
#include "platform/macos/MacosTables.h"

#include <dlfcn.h>
#include <optional>

namespace dorvex::platform::macos {
namespace {

// The table's numbers are the SDK's.
static_assert(axErrorCode(AXErrorKind::success) == kAXErrorSuccess);
static_assert(axErrorCode(AXErrorKind::failure) == kAXErrorFailure);
static_assert(axErrorCode(AXErrorKind::illegalArgument) == kAXErrorIllegalArgument);
static_assert(axErrorCode(AXErrorKind::invalidUIElement) == kAXErrorInvalidUIElement);
static_assert(axErrorCode(AXErrorKind::invalidUIElementObserver) ==
              kAXErrorInvalidUIElementObserver);
static_assert(axErrorCode(AXErrorKind::cannotComplete) == kAXErrorCannotComplete);
static_assert(axErrorCode(AXErrorKind::attributeUnsupported) == kAXErrorAttributeUnsupported);
static_assert(axErrorCode(AXErrorKind::actionUnsupported) == kAXErrorActionUnsupported);
static_assert(axErrorCode(AXErrorKind::notificationUnsupported) == kAXErrorNotificationUnsupported);
static_assert(axErrorCode(AXErrorKind::notImplemented) == kAXErrorNotImplemented);
static_assert(axErrorCode(AXErrorKind::notificationAlreadyRegistered) ==
              kAXErrorNotificationAlreadyRegistered);
static_assert(axErrorCode(AXErrorKind::notificationNotRegistered) ==
              kAXErrorNotificationNotRegistered);
static_assert(axErrorCode(AXErrorKind::apiDisabled) == kAXErrorAPIDisabled);
static_assert(axErrorCode(AXErrorKind::noValue) == kAXErrorNoValue);
static_assert(axErrorCode(AXErrorKind::parameterizedAttributeUnsupported) ==
              kAXErrorParameterizedAttributeUnsupported);
static_assert(axErrorCode(AXErrorKind::notEnoughPrecision) == kAXErrorNotEnoughPrecision);

std::optional<AXErrorKind> kindOf(AXError error) {
    switch (error) {
    case kAXErrorSuccess:
        return AXErrorKind::success;
    case kAXErrorFailure:
        return AXErrorKind::failure;
    case kAXErrorIllegalArgument:
        return AXErrorKind::illegalArgument;
    case kAXErrorInvalidUIElement:
        return AXErrorKind::invalidUIElement;
    case kAXErrorInvalidUIElementObserver:
        return AXErrorKind::invalidUIElementObserver;
    case kAXErrorCannotComplete:
        return AXErrorKind::cannotComplete;
    case kAXErrorAttributeUnsupported:
        return AXErrorKind::attributeUnsupported;
    case kAXErrorActionUnsupported:
        return AXErrorKind::actionUnsupported;
    case kAXErrorNotificationUnsupported:
        return AXErrorKind::notificationUnsupported;
    case kAXErrorNotImplemented:
        return AXErrorKind::notImplemented;
    case kAXErrorNotificationAlreadyRegistered:
        return AXErrorKind::notificationAlreadyRegistered;
    case kAXErrorNotificationNotRegistered:
        return AXErrorKind::notificationNotRegistered;
    case kAXErrorAPIDisabled:
        return AXErrorKind::apiDisabled;
    case kAXErrorNoValue:
        return AXErrorKind::noValue;
    case kAXErrorParameterizedAttributeUnsupported:
        return AXErrorKind::parameterizedAttributeUnsupported;
    case kAXErrorNotEnoughPrecision:
        return AXErrorKind::notEnoughPrecision;
    }
    return std::nullopt;
}

// A code the SDK does not name is passed on as it is.
int32_t code(AXError error) {
    std::optional<AXErrorKind> kind = kindOf(error);
    return kind ? axErrorCode(*kind) : static_cast<int32_t>(error);
}

// Nested lists deeper than this read as an empty list: attribute values are shallow.
constexpr int maxListDepth = 8;

Element owned(AXUIElementRef element) {
    if (!element) return Element();
    return Element(std::shared_ptr<const void>(element, [](const void* ref) { CFRelease(ref); }));
}

Element retained(AXUIElementRef element) {
    if (element) CFRetain(element);
    return owned(element);
}

AXUIElementRef ref(const Element& element) {
    return cfCast<AXUIElementRef>(element.raw());
}

AXValue typeNamed(CFTypeRef value) {
    CFRef<CFStringRef> name =
        CFRef<CFStringRef>::adopt(CFCopyTypeIDDescription(CFGetTypeID(value)));
    return {AXOtherType{utf8(name.get()).value_or("CFType")}};
}

AXValue fromAXValue(AXValueRef value) {
    switch (AXValueGetType(value)) {
    case kAXValueTypeCGPoint: {
        CGPoint point{};
        if (AXValueGetValue(value, kAXValueTypeCGPoint, &point)) return {Point{point.x, point.y}};
        break;
    }
    case kAXValueTypeCGSize: {
        CGSize size{};
        if (AXValueGetValue(value, kAXValueTypeCGSize, &size)) {
            return {Size{size.width, size.height}};
        }
        break;
    }
    case kAXValueTypeCGRect:
    case kAXValueTypeCFRange:
    case kAXValueTypeAXError:
    case kAXValueTypeIllegal:
        break;
    }
    return typeNamed(value);
}

AXValue fromCF(CFTypeRef value, int depth) {
    if (value == nullptr || value == kCFNull) return {};
    if (std::optional<std::string> text = utf8(value)) return {std::move(*text)};
    if (CFBooleanRef flag = cfCast<CFBooleanRef>(value)) {
        return {AXNumber{CFBooleanGetValue(flag) ? 1.0 : 0.0, true}};
    }
    if (CFNumberRef number = cfCast<CFNumberRef>(value)) {
        return {AXNumber{numberValue(number).value_or(0), false}};
    }
    if (CFArrayRef array = cfCast<CFArrayRef>(value)) {
        AXValueList items;
        if (depth < maxListDepth) {
            const CFIndex count = CFArrayGetCount(array);
            items.reserve(static_cast<size_t>(count));
            for (CFIndex i = 0; i < count; ++i) {
                items.push_back(fromCF(CFArrayGetValueAtIndex(array, i), depth + 1));
            }
        }
        return {std::move(items)};
    }
    if (AXUIElementRef element = cfCast<AXUIElementRef>(value)) return {retained(element)};
    if (AXValueRef wrapped = cfCast<AXValueRef>(value)) return fromAXValue(wrapped);
    return typeNamed(value);
}

// One value of a batched read: an error value stands for that attribute's own code.
AXAttributeResult batchEntry(CFTypeRef value) {
    if (value == nullptr || value == kCFNull) return {batchNullCode, {}};
    if (AXValueRef wrapped = cfCast<AXValueRef>(value);
        wrapped && AXValueGetType(wrapped) == kAXValueTypeAXError) {
        AXError error = kAXErrorFailure;
        AXValueGetValue(wrapped, kAXValueTypeAXError, &error);
        return {code(error), {}};
    }
    return {axerr::success, fromCF(value, 0)};
}

} // namespace

MacosDesktop::MacosDesktop()
    : windowNumberFunction_(
          reinterpret_cast<WindowNumberFunction>(::dlsym(RTLD_DEFAULT, "_AXUIElementGetWindow"))) {}

Element MacosDesktop::createApplicationElement(int32_t pid) {
    return owned(AXUIElementCreateApplication(pid));
}

Element MacosDesktop::createSystemWideElement() {
    return owned(AXUIElementCreateSystemWide());
}

AXElementResult MacosDesktop::copyElementAtPosition(const Element& root, Point point) {
    AXUIElementRef rootRef = ref(root);
    if (!rootRef) return {axerr::illegalArgument, {}};
    AXUIElementRef hit = nullptr;
    AXError error = AXUIElementCopyElementAtPosition(rootRef, static_cast<float>(point.x),
                                                     static_cast<float>(point.y), &hit);
    Element element = owned(hit);
    if (error != kAXErrorSuccess) return {code(error), {}};
    return {axerr::success, std::move(element)};
}

AXPidResult MacosDesktop::elementPid(const Element& element) {
    AXUIElementRef elementRef = ref(element);
    if (!elementRef) return {axerr::illegalArgument, 0};
    pid_t pid = 0;
    AXError error = AXUIElementGetPid(elementRef, &pid);
    return {code(error), error == kAXErrorSuccess ? static_cast<int32_t>(pid) : 0};
}

int32_t MacosDesktop::setMessagingTimeout(const Element& element, double seconds) {
    AXUIElementRef elementRef = ref(element);
    if (!elementRef) return axerr::illegalArgument;
    return code(AXUIElementSetMessagingTimeout(elementRef, static_cast<float>(seconds)));
}

AXAttributeResult MacosDesktop::copyAttributeValue(const Element& element,
                                                   const std::string& attribute) {
    AXUIElementRef elementRef = ref(element);
    CFRef<CFStringRef> name = cfString(attribute);
    if (!elementRef || !name) return {axerr::illegalArgument, {}};
    CFRef<CFTypeRef> value;
    AXError error = AXUIElementCopyAttributeValue(elementRef, name.get(), value.out());
    if (error != kAXErrorSuccess) return {code(error), {}};
    return {axerr::success, fromCF(value.get(), 0)};
}

AXAttributesResult
MacosDesktop::copyMultipleAttributeValues(const Element& element,
                                          const std::vector<std::string>& attributes) {
    AXUIElementRef elementRef = ref(element);
    CFRef<CFArrayRef> names = cfStringArray(attributes);
    if (!elementRef || !names) return {axerr::illegalArgument, {}};
    CFRef<CFArrayRef> values;
    AXError error = AXUIElementCopyMultipleAttributeValues(
        elementRef, names.get(), AXCopyMultipleAttributeOptions(0), values.out());
    if (error != kAXErrorSuccess) return {code(error), {}};
    AXAttributesResult result{axerr::success, {}};
    result.values.reserve(attributes.size());
    const CFIndex count = values ? CFArrayGetCount(values.get()) : 0;
    for (CFIndex i = 0; i < static_cast<CFIndex>(attributes.size()); ++i) {
        // A shorter answer than asked for leaves the rest unread.
        result.values.push_back(i < count ? batchEntry(CFArrayGetValueAtIndex(values.get(), i))
                                          : AXAttributeResult{axerr::failure, {}});
    }
    return result;
}

AXNamesResult MacosDesktop::copyAttributeNames(const Element& element) {
    AXUIElementRef elementRef = ref(element);
    if (!elementRef) return {axerr::illegalArgument, {}};
    CFRef<CFArrayRef> names;
    AXError error = AXUIElementCopyAttributeNames(elementRef, names.out());
    if (error != kAXErrorSuccess) return {code(error), {}};
    AXNamesResult result{axerr::success, {}};
    const CFIndex count = names ? CFArrayGetCount(names.get()) : 0;
    for (CFIndex i = 0; i < count; ++i) {
        if (auto name = utf8(CFArrayGetValueAtIndex(names.get(), i))) {
            result.names.push_back(std::move(*name));
        }
    }
    return result;
}

int32_t MacosDesktop::performAction(const Element& element, const std::string& action) {
    AXUIElementRef elementRef = ref(element);
    CFRef<CFStringRef> name = cfString(action);
    if (!elementRef || !name) return axerr::illegalArgument;
    return code(AXUIElementPerformAction(elementRef, name.get()));
}

int32_t MacosDesktop::setStringAttribute(const Element& element, const std::string& attribute,
                                         const std::string& value) {
    AXUIElementRef elementRef = ref(element);
    CFRef<CFStringRef> name = cfString(attribute);
    CFRef<CFStringRef> text = cfString(value);
    if (!elementRef || !name || !text) return axerr::illegalArgument;
    return code(AXUIElementSetAttributeValue(elementRef, name.get(), text.get()));
}

bool MacosDesktop::sameElement(const Element& a, const Element& b) {
    AXUIElementRef left = ref(a);
    AXUIElementRef right = ref(b);
    return left && right && CFEqual(left, right);
}

bool MacosDesktop::hasWindowNumberFunction() {
    return windowNumberFunction_ != nullptr;
}

AXWindowNumberResult MacosDesktop::elementWindowNumber(const Element& element) {
    if (!windowNumberFunction_) return {axerr::notImplemented, 0};
    AXUIElementRef elementRef = ref(element);
    if (!elementRef) return {axerr::illegalArgument, 0};
    CGWindowID number = 0;
    int32_t error = windowNumberFunction_(elementRef, &number);
    return {code(static_cast<AXError>(error)), error == kAXErrorSuccess ? number : 0};
}

} // namespace dorvex::platform::macos
