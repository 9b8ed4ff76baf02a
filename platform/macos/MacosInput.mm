// The input facet: CoreGraphics' keyboard and mouse events, posted as hardware input.
#include "platform/macos/CFRef.h"
#include "platform/macos/MacosDesktop.h"
#include "platform/macos/MacosTables.h"

#include <CoreGraphics/CoreGraphics.h>
#include <limits>

namespace dorvex::platform::macos {
namespace {

static_assert(cgevent::leftMouseDown == kCGEventLeftMouseDown);
static_assert(cgevent::leftMouseUp == kCGEventLeftMouseUp);
static_assert(cgevent::rightMouseDown == kCGEventRightMouseDown);
static_assert(cgevent::rightMouseUp == kCGEventRightMouseUp);
static_assert(cgevent::mouseMoved == kCGEventMouseMoved);
static_assert(cgevent::otherMouseDown == kCGEventOtherMouseDown);
static_assert(cgevent::otherMouseUp == kCGEventOtherMouseUp);
static_assert(cgbutton::left == kCGMouseButtonLeft);
static_assert(cgbutton::right == kCGMouseButtonRight);
static_assert(cgbutton::center == kCGMouseButtonCenter);

Event owned(CGEventRef event) {
    if (event == nullptr) return {};
    return {std::shared_ptr<void>(event, [](void* ref) { CFRelease(ref); })};
}

CGEventRef ref(const Event& event) {
    return cfCast<CGEventRef>(event.handle.get());
}

} // namespace

Event MacosDesktop::createKeyboardEvent(uint16_t keyCode, bool keyDown) {
    return owned(CGEventCreateKeyboardEvent(nullptr, keyCode, keyDown));
}

void MacosDesktop::setEventFlags(Event& event, uint64_t flags) {
    if (CGEventRef eventRef = ref(event)) CGEventSetFlags(eventRef, flags);
}

void MacosDesktop::setKeyboardEventText(Event& event, const std::u16string& text) {
    CGEventRef eventRef = ref(event);
    if (!eventRef || text.size() > static_cast<size_t>(std::numeric_limits<UniCharCount>::max())) {
        return;
    }
    CGEventKeyboardSetUnicodeString(eventRef, static_cast<UniCharCount>(text.size()),
                                    reinterpret_cast<const UniChar*>(text.data()));
}

Event MacosDesktop::createMouseEvent(MouseEventType type, Point point, MouseButton button) {
    return owned(CGEventCreateMouseEvent(nullptr, static_cast<CGEventType>(cgEventType(type)),
                                         CGPointMake(point.x, point.y),
                                         static_cast<CGMouseButton>(cgMouseButton(button))));
}

void MacosDesktop::postEvent(const Event& event) {
    if (CGEventRef eventRef = ref(event)) CGEventPost(kCGHIDEventTap, eventRef);
}

std::optional<Point> MacosDesktop::cursorLocation() {
    CFRef<CGEventRef> event = CFRef<CGEventRef>::adopt(CGEventCreate(nullptr));
    if (!event) return std::nullopt;
    const CGPoint location = CGEventGetLocation(event.get());
    return Point{location.x, location.y};
}

} // namespace dorvex::platform::macos
