// "desktop_send_input": a key press, a typed text or a mouse click. Every check comes before
// anything is posted, so a refused request leaves the desktop as it was.
#include "Dorvex/ActionHandlers.h"
#include "Dorvex/ClickBlocker.h"
#include "Dorvex/Input.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/KeySpec.h"
#include "DorvexCore/MouseClick.h"
#include "DorvexCore/Text.h"
#include "DorvexCore/WindowRows.h"

#include <limits>
#include <variant>

namespace dorvex {
namespace {

using platform::MouseButton;
using platform::Point;

// Keys go only to the app the controller expects, read just before they are posted. An
// expectation that cannot be read as a pid is refused rather than taken as none: a typo must
// not turn the check off and type into whatever app is in front.
std::optional<Failure> frontmostRefusal(Driver& driver, const Json& action) {
    const Json* given = field(action, "expectedFrontmostPid");
    const std::optional<int64_t> expected = intValue(given);
    if (!expected && given != nullptr && !given->is_null()) {
        return failures::malformedExpectedFrontmostPid();
    }
    if (!expected) return std::nullopt;
    std::optional<platform::RunningApplication> app =
        driver.platform.workspace.frontmostApplication();
    std::optional<int32_t> frontmost = app ? DriverProtocol::knownPid(app->pid) : std::nullopt;
    if (std::optional<std::string> refusal =
            DriverProtocol::keyboardTargetRefusal(expected, frontmost)) {
        return failures::targetMissing(std::move(*refusal));
    }
    return std::nullopt;
}

Json sendKeystroke(Driver& driver, const ActionContext& context, const Json& action) {
    const std::optional<std::string> key = stringValue(field(action, "key"));
    const std::optional<KeySpec::ParsedKey> parsed =
        key ? KeySpec::parseKeySpec(*key) : std::nullopt;
    if (!parsed) return context.failure(failures::invalidKey());
    // Before the lookup and the frontmost check: a blocked shortcut is refused whatever else.
    if (KeySpec::isBlockedShortcut(*key)) return context.failure(failures::policyBlocked());
    const std::optional<uint16_t> code = KeySpec::keyCode(parsed->key);
    if (!code) return context.failure(failures::unsupportedKey(parsed->key));
    if (std::optional<Failure> refusal = frontmostRefusal(driver, action)) {
        return context.failure(*refusal);
    }
    if (!postKeystroke(driver.platform.input, *code, parsed->flags)) {
        return context.failure(failures::keystrokeNotPosted());
    }
    return context.success("Keystroke posted.", Json{{"key", *key}});
}

Json sendText(Driver& driver, const ActionContext& context, const Json& action) {
    const Json* text = field(action, "text");
    if (text == nullptr || !text->is_string() || text->get_ref<const std::string&>().empty()) {
        return context.failure(failures::invalidText());
    }
    const std::string& typed = text->get_ref<const std::string&>();
    if (std::optional<Failure> refusal = frontmostRefusal(driver, action)) {
        return context.failure(*refusal);
    }
    if (!postTextEvent(driver.platform.input, typed)) {
        return context.failure(failures::textNotPosted());
    }
    return context.success("Text input posted.", Json{{"textLength", text::characterCount(typed)}});
}

// The window-relative point as a global one, once the window still has the captured size and
// holds the point, and nothing else would take the click there.
std::variant<Point, Failure> windowPoint(Driver& driver, const Json& action, int64_t x, int64_t y) {
    const std::optional<int64_t> windowId = intValue(field(action, "windowId"));
    // Window numbers are unsigned 32-bit: anything else names no window.
    if (!windowId || *windowId < 0 || *windowId > std::numeric_limits<uint32_t>::max()) {
        return failures::staleScreenshot();
    }
    std::optional<std::vector<platform::WindowRow>> rows =
        driver.platform.windowServer.copyWindowInfo(platform::WindowListOption::includingWindow,
                                                    static_cast<uint32_t>(*windowId));
    std::optional<platform::Rect> frame =
        rows && !rows->empty() ? WindowRows::frame(rows->front()) : std::nullopt;
    if (!frame) return failures::staleScreenshot();
    const auto px = static_cast<double>(x);
    const auto py = static_cast<double>(y);
    if (!(px >= 0 && py >= 0 && px < frame->width && py < frame->height)) {
        return failures::staleScreenshot();
    }
    if (std::optional<int64_t> width = intValue(field(action, "screenshotWindowWidth"))) {
        const int64_t height = intValue(field(action, "screenshotWindowHeight")).value_or(0);
        if (frame->width != static_cast<double>(*width) ||
            frame->height != static_cast<double>(height)) {
            return failures::staleScreenshot();
        }
    }
    const Point global{frame->x + px, frame->y + py};
    if (std::optional<std::string> reason =
            clickBlocker(driver.platform, global, *windowId, intValue(field(action, "hostPid")))) {
        return failures::targetOccluded(*reason);
    }
    return global;
}

MouseButton buttonNamed(const std::optional<std::string>& name) {
    if (name == "right") return MouseButton::right;
    if (name == "center") return MouseButton::center;
    return MouseButton::left;
}

Json sendMouseClick(Driver& driver, const ActionContext& context, const Json& action) {
    const std::optional<int64_t> x = intValue(field(action, "x"));
    const std::optional<int64_t> y = intValue(field(action, "y"));
    if (!x || !y) return context.failure(failures::invalidCoordinates());
    Point point{static_cast<double>(*x), static_cast<double>(*y)};
    if (stringValue(field(action, "coordinateSpace")) == "window") {
        std::variant<Point, Failure> global = windowPoint(driver, action, *x, *y);
        if (const Failure* failure = std::get_if<Failure>(&global)) {
            return context.failure(*failure);
        }
        point = std::get<Point>(global);
    }
    const std::optional<std::string> button = stringValue(field(action, "button"));
    const size_t displays = driver.platform.displays.displaysWithPoint(point).size();
    if (!MouseClick::isOnDisplay(static_cast<uint32_t>(displays))) {
        return context.failure(failures::pointOffDisplay());
    }
    std::optional<MouseClickOutcome> outcome = postMouseClick(driver, point, buttonNamed(button));
    if (!outcome) return context.failure(failures::clickNotPosted());
    if (std::holds_alternative<MouseCursorNotAtPoint>(*outcome)) {
        return context.failure(failures::cursorNotAtPoint());
    }
    return context.success("Mouse click posted.",
                           Json{{"x", *x}, {"y", *y}, {"button", button.value_or("left")}});
}

} // namespace

Json handleSendInput(Driver& driver, const ActionContext& context, const Json& action) {
    const std::optional<std::string> mode = stringValue(field(action, "mode"));
    if (!mode) return context.failure(failures::modeRequired());
    if (*mode == "keystroke") return sendKeystroke(driver, context, action);
    if (*mode == "text") return sendText(driver, context, action);
    if (*mode == "mouse_click") return sendMouseClick(driver, context, action);
    return context.failure(failures::invalidMode(*mode));
}

} // namespace dorvex
