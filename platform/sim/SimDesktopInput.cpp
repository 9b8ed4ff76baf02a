// The simulated desktop's input events: what posting a key or a mouse event does to the
// desktop (the cursor, the keyboard focus, typed text, pressed buttons), and the event log.
#include "platform/sim/SimDesktop.h"

#include <algorithm>
#include <utility>

namespace dorvex::platform::sim {

Event SimDesktop::createKeyboardEvent(uint16_t keyCode, bool keyDown) {
    Call call(*this, "createKeyboardEvent");
    std::lock_guard lock(mutex_);
    if (model_.faults.eventCreation) return {};
    auto event = std::make_shared<SimEvent>();
    event->keyCode = keyCode;
    event->down = keyDown;
    return {std::move(event)};
}

void SimDesktop::setEventFlags(Event& event, uint64_t flags) {
    Call call(*this, "setEventFlags");
    if (auto* simEvent = static_cast<SimEvent*>(event.handle.get())) simEvent->flags = flags;
}

void SimDesktop::setKeyboardEventText(Event& event, const std::u16string& text) {
    Call call(*this, "setKeyboardEventText");
    if (auto* simEvent = static_cast<SimEvent*>(event.handle.get())) simEvent->text = utf8(text);
}

Event SimDesktop::createMouseEvent(MouseEventType type, Point point, MouseButton button) {
    Call call(*this, "createMouseEvent");
    std::lock_guard lock(mutex_);
    if (model_.faults.eventCreation) return {};
    auto event = std::make_shared<SimEvent>();
    event->keyboard = false;
    event->type = type;
    event->point = point;
    event->button = button;
    return {std::move(event)};
}

// Keys go to the focused element of the frontmost app, when that element takes text. The log
// names the element; for a secure field it keeps neither the text nor the key, only how many
// characters were typed.
void SimDesktop::deliverKey(const SimEvent& event, Json& line) {
    SimApp* app = model_.frontmostPid ? model_.app(*model_.frontmostPid) : nullptr;
    if (!app || !app->tree.focus || *app->tree.focus >= app->tree.nodes.size()) return;
    const uint32_t index = *app->tree.focus;
    SimNode& node = app->tree.nodes[index];
    if (!acceptsText(node)) return;
    const Typing typing = typingOf(event);
    if (!typing.empty() && !typeInto(node, typing.erases, typing.text)) return;
    line["into"] = labelFields(labelOf(*app, index));
    if (touchesSecureText(app->tree, index)) {
        line.erase("keyCode");
        line.erase("text");
        line["secure"] = true;
        line["length"] = codePointCount(typing.text);
    }
}

// A left press and release on the same element clicks it: a text field takes the focus, an
// element with "AXPress" is pressed.
void SimDesktop::click(SimNodeRef ref, std::vector<Json>& consequences) {
    SimApp* app = model_.app(ref.pid);
    if (!app || ref.index >= app->tree.nodes.size()) return;
    const SimNode& node = app->tree.nodes[ref.index];
    Json label = labelFields(labelOf(*app, ref.index));
    if (acceptsText(node) && !node.error) {
        app->tree.focus = ref.index;
        Json focus{{"event", "focus"}};
        focus.update(label);
        consequences.push_back(std::move(focus));
    }
    if (node.actions &&
        std::find(node.actions->begin(), node.actions->end(), "AXPress") != node.actions->end()) {
        Json press{{"event", "action"}};
        press.update(label);
        press["action"] = "AXPress";
        press["result"] = sim::performAction(app->tree, ref.index, "AXPress");
        press["by"] = "click";
        consequences.push_back(std::move(press));
    }
}

void SimDesktop::deliverMouse(const SimEvent& event, std::vector<Json>& consequences) {
    SimCursor& cursor = model_.cursor;
    if (cursor.mode == CursorMode::follows) cursor.location = event.point;
    if (cursor.mode == CursorMode::lags) {
        cursor.arriving = event.point;
        cursor.readingsLeft = cursor.lagReadings;
    }
    if (event.type == MouseEventType::leftMouseDown) {
        pressed_ = hitNode(std::nullopt, event.point).node;
    } else if (event.type == MouseEventType::leftMouseUp) {
        std::optional<SimNodeRef> pressed = std::exchange(pressed_, std::nullopt);
        std::optional<SimNodeRef> released = hitNode(std::nullopt, event.point).node;
        if (pressed && pressed == released) click(*pressed, consequences);
    }
}

void SimDesktop::postEvent(const Event& event) {
    Call call(*this, "postEvent");
    const auto* simEvent = static_cast<const SimEvent*>(event.handle.get());
    if (!simEvent) return;
    Json line = eventLine(*simEvent);
    std::vector<Json> consequences;
    {
        std::lock_guard lock(mutex_);
        if (simEvent->keyboard) {
            deliverKey(*simEvent, line);
        } else {
            deliverMouse(*simEvent, consequences);
        }
    }
    recorder_.recordEvent(std::move(line));
    for (Json& consequence : consequences)
        recorder_.recordEvent(std::move(consequence));
}

std::optional<Point> SimDesktop::cursorLocation() {
    Call call(*this, "cursorLocation");
    std::lock_guard lock(mutex_);
    SimCursor& cursor = model_.cursor;
    if (cursor.mode == CursorMode::unreadable) return std::nullopt;
    if (cursor.arriving) {
        if (cursor.readingsLeft > 0) {
            --cursor.readingsLeft;
        } else {
            cursor.location = *std::exchange(cursor.arriving, std::nullopt);
        }
    }
    return cursor.location;
}

} // namespace dorvex::platform::sim
