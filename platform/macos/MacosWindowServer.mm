// The window server facet: CoreGraphics' window list and window levels.
#include "platform/macos/CFConvert.h"
#include "platform/macos/CFRef.h"
#include "platform/macos/MacosDesktop.h"
#include "platform/macos/MacosTables.h"

#include <CoreGraphics/CoreGraphics.h>

namespace dorvex::platform::macos {
namespace {

static_assert(cgwindowlist::all == kCGWindowListOptionAll);
static_assert(cgwindowlist::onScreenOnly == kCGWindowListOptionOnScreenOnly);
static_assert(cgwindowlist::onScreenAboveWindow == kCGWindowListOptionOnScreenAboveWindow);
static_assert(cgwindowlist::onScreenBelowWindow == kCGWindowListOptionOnScreenBelowWindow);
static_assert(cgwindowlist::includingWindow == kCGWindowListOptionIncludingWindow);
static_assert(cgwindowlist::excludeDesktopElements == kCGWindowListExcludeDesktopElements);

CFStringRef rowKey(WindowRowKey key) {
    switch (key) {
    case WindowRowKey::number:
        return kCGWindowNumber;
    case WindowRowKey::ownerPid:
        return kCGWindowOwnerPID;
    case WindowRowKey::ownerName:
        return kCGWindowOwnerName;
    case WindowRowKey::name:
        return kCGWindowName;
    case WindowRowKey::layer:
        return kCGWindowLayer;
    case WindowRowKey::alpha:
        return kCGWindowAlpha;
    case WindowRowKey::isOnScreen:
        return kCGWindowIsOnscreen;
    case WindowRowKey::bounds:
        return kCGWindowBounds;
    }
    return nullptr;
}

// The keys the driver reads, under its names; the window server's other keys are left out.
WindowRow row(CFDictionaryRef dictionary) {
    WindowRow row = Json::object();
    for (WindowRowKey key : windowRowKeys) {
        CFStringRef name = rowKey(key);
        const void* value = name ? CFDictionaryGetValue(dictionary, name) : nullptr;
        if (value == nullptr) continue;
        Json converted = jsonValue(value);
        if (!converted.is_null()) row[windowRowKeyName(key)] = std::move(converted);
    }
    return row;
}

} // namespace

std::optional<std::vector<WindowRow>> MacosDesktop::copyWindowInfo(WindowListOption option,
                                                                   uint32_t relativeToWindow) {
    std::optional<uint32_t> bits = cgWindowListOption(option);
    if (!bits) return std::nullopt;
    CFRef<CFArrayRef> list =
        CFRef<CFArrayRef>::adopt(CGWindowListCopyWindowInfo(*bits, relativeToWindow));
    if (!list) return std::nullopt;
    std::vector<WindowRow> rows;
    const CFIndex count = CFArrayGetCount(list.get());
    rows.reserve(static_cast<size_t>(count));
    for (CFIndex i = 0; i < count; ++i) {
        // A row that is not a dictionary is handed on as null, for the rules to refuse.
        CFDictionaryRef dictionary = cfCast<CFDictionaryRef>(CFArrayGetValueAtIndex(list.get(), i));
        rows.push_back(dictionary ? row(dictionary) : WindowRow());
    }
    return rows;
}

int32_t MacosDesktop::windowLevelForKey(int32_t key) {
    return CGWindowLevelForKey(static_cast<CGWindowLevelKey>(key));
}

} // namespace dorvex::platform::macos
