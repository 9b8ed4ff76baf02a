#pragma once

// The macOS binding's translations between the boundary's values and the numbers of the
// system's own enumerations. Plain C++ with no system header, so that the tables are tested on
// any host; the binding checks every number against the SDK's own constants when it is
// compiled (static_assert), and each switch names every case so the compiler catches one
// that is missing.
#include "platform/types/AX.h"
#include "platform/types/Input.h"
#include "platform/types/Windows.h"
#include "platform/types/Workspace.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace dorvex::platform::macos {

// CoreGraphics' mouse event types (CGEventType), by number.
namespace cgevent {
inline constexpr uint32_t leftMouseDown = 1;
inline constexpr uint32_t leftMouseUp = 2;
inline constexpr uint32_t rightMouseDown = 3;
inline constexpr uint32_t rightMouseUp = 4;
inline constexpr uint32_t mouseMoved = 5;
inline constexpr uint32_t otherMouseDown = 25;
inline constexpr uint32_t otherMouseUp = 26;
} // namespace cgevent

// CoreGraphics' mouse buttons (CGMouseButton), by number.
namespace cgbutton {
inline constexpr uint32_t left = 0;
inline constexpr uint32_t right = 1;
inline constexpr uint32_t center = 2;
} // namespace cgbutton

constexpr uint32_t cgEventType(MouseEventType type) {
    switch (type) {
    case MouseEventType::leftMouseDown:
        return cgevent::leftMouseDown;
    case MouseEventType::leftMouseUp:
        return cgevent::leftMouseUp;
    case MouseEventType::rightMouseDown:
        return cgevent::rightMouseDown;
    case MouseEventType::rightMouseUp:
        return cgevent::rightMouseUp;
    case MouseEventType::mouseMoved:
        return cgevent::mouseMoved;
    case MouseEventType::otherMouseDown:
        return cgevent::otherMouseDown;
    case MouseEventType::otherMouseUp:
        return cgevent::otherMouseUp;
    }
    // A value outside the enumeration moves the pointer rather than pressing anything.
    return cgevent::mouseMoved;
}

constexpr uint32_t cgMouseButton(MouseButton button) {
    switch (button) {
    case MouseButton::left:
        return cgbutton::left;
    case MouseButton::right:
        return cgbutton::right;
    case MouseButton::center:
        return cgbutton::center;
    }
    return cgbutton::left;
}

// The window server's list option bits (CGWindowListOption).
namespace cgwindowlist {
inline constexpr uint32_t all = 0;
inline constexpr uint32_t onScreenOnly = 1 << 0;
inline constexpr uint32_t onScreenAboveWindow = 1 << 1;
inline constexpr uint32_t onScreenBelowWindow = 1 << 2;
inline constexpr uint32_t includingWindow = 1 << 3;
inline constexpr uint32_t excludeDesktopElements = 1 << 4;
} // namespace cgwindowlist

constexpr std::optional<uint32_t> cgWindowListOption(WindowListOption option) {
    using namespace cgwindowlist;
    switch (option) {
    case WindowListOption::all:
        return all;
    case WindowListOption::onScreenOnly:
        return onScreenOnly;
    case WindowListOption::onScreenAboveWindow:
        return onScreenAboveWindow;
    case WindowListOption::onScreenBelowWindow:
        return onScreenBelowWindow;
    case WindowListOption::includingWindow:
        return includingWindow;
    case WindowListOption::excludeDesktopElements:
        return excludeDesktopElements;
    case WindowListOption::onScreenWithoutDesktop:
        return onScreenOnly | excludeDesktopElements;
    case WindowListOption::onScreenAboveWithoutDesktop:
        return onScreenAboveWindow | excludeDesktopElements;
    case WindowListOption::onScreenBelowWithoutDesktop:
        return onScreenBelowWindow | excludeDesktopElements;
    }
    // Not an option the window server knows: no list rather than some other list.
    return std::nullopt;
}

// The window-row keys the driver reads, and the names it reads them by: the window server's
// key names, which are also its constants' names.
enum class WindowRowKey {
    number,
    ownerPid,
    ownerName,
    name,
    layer,
    alpha,
    isOnScreen,
    bounds,
};
inline constexpr std::array<WindowRowKey, 8> windowRowKeys = {
    WindowRowKey::number, WindowRowKey::ownerPid, WindowRowKey::ownerName,  WindowRowKey::name,
    WindowRowKey::layer,  WindowRowKey::alpha,    WindowRowKey::isOnScreen, WindowRowKey::bounds,
};

constexpr const char* windowRowKeyName(WindowRowKey key) {
    switch (key) {
    case WindowRowKey::number:
        return "kCGWindowNumber";
    case WindowRowKey::ownerPid:
        return "kCGWindowOwnerPID";
    case WindowRowKey::ownerName:
        return "kCGWindowOwnerName";
    case WindowRowKey::name:
        return "kCGWindowName";
    case WindowRowKey::layer:
        return "kCGWindowLayer";
    case WindowRowKey::alpha:
        return "kCGWindowAlpha";
    case WindowRowKey::isOnScreen:
        return "kCGWindowIsOnscreen";
    case WindowRowKey::bounds:
        return "kCGWindowBounds";
    }
    return "";
}

// The accessibility interface's error codes (AXError). The boundary carries them by number;
// the table names every one the SDK has, so a code the driver relies on cannot drift.
enum class AXErrorKind {
    success,
    failure,
    illegalArgument,
    invalidUIElement,
    invalidUIElementObserver,
    cannotComplete,
    attributeUnsupported,
    actionUnsupported,
    notificationUnsupported,
    notImplemented,
    notificationAlreadyRegistered,
    notificationNotRegistered,
    apiDisabled,
    noValue,
    parameterizedAttributeUnsupported,
    notEnoughPrecision,
};

constexpr int32_t axErrorCode(AXErrorKind kind) {
    switch (kind) {
    case AXErrorKind::success:
        return axerr::success;
    case AXErrorKind::failure:
        return axerr::failure;
    case AXErrorKind::illegalArgument:
        return axerr::illegalArgument;
    case AXErrorKind::invalidUIElement:
        return axerr::invalidUIElement;
    case AXErrorKind::invalidUIElementObserver:
        return -25203;
    case AXErrorKind::cannotComplete:
        return axerr::cannotComplete;
    case AXErrorKind::attributeUnsupported:
        return axerr::attributeUnsupported;
    case AXErrorKind::actionUnsupported:
        return axerr::actionUnsupported;
    case AXErrorKind::notificationUnsupported:
        return -25207;
    case AXErrorKind::notImplemented:
        return axerr::notImplemented;
    case AXErrorKind::notificationAlreadyRegistered:
        return -25209;
    case AXErrorKind::notificationNotRegistered:
        return -25210;
    case AXErrorKind::apiDisabled:
        return axerr::apiDisabled;
    case AXErrorKind::noValue:
        return axerr::noValue;
    case AXErrorKind::parameterizedAttributeUnsupported:
        return -25213;
    case AXErrorKind::notEnoughPrecision:
        return -25214;
    }
    return axerr::failure;
}

// A value of a batched attribute read that stands for no value at all (a null in the answer)
// reads as "no value", as the single read answers then.
inline constexpr int32_t batchNullCode = axerr::noValue;

// AppKit's activation policies (NSApplicationActivationPolicy), by number; an unknown one is
// treated as the most restrictive.
constexpr ActivationPolicy activationPolicy(int64_t value) {
    switch (value) {
    case 0:
        return ActivationPolicy::regular;
    case 1:
        return ActivationPolicy::accessory;
    default:
        return ActivationPolicy::prohibited;
    }
}

// Pixels as CoreGraphics draws them (premultiplied by alpha) made straight, as the boundary's
// images are: a partly transparent pixel gets its colour back, rounded to nearest.
void unpremultiplyRGBA(std::vector<uint8_t>& pixels);

// The byte count of an RGBA image, when it fits in memory's sizes.
std::optional<size_t> rgbaByteCount(size_t width, size_t height);

} // namespace dorvex::platform::macos
