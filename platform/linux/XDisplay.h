#pragma once

// The X server through xcb: the window list (EWMH), RandR monitors, shared-memory captures,
// the pointer and XTest input. One connection, thread-safe as xcb is; the keyboard's spare
// key codes are the only state, kept under a lock.
#include "platform/linux/AtspiAccess.h"
#include "platform/types/Displays.h"
#include "platform/types/Geometry.h"
#include "platform/types/Windows.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace dorvex::platform::linux_desktop {

// One top-level window as the X server and the window manager describe it.
struct XWindow {
    uint32_t id = 0;      // the client window, the one that carries _NET_WM_PID
    uint32_t frameId = 0; // the window manager's frame around it (the window itself without one)
    std::optional<int32_t> pid;
    std::string title;
    Rect frame; // the window manager's frame around it, in root coordinates
    bool viewable = false;
    int32_t layer = 0;
    bool desktop = false;
    double alpha = 1;
    std::optional<std::string> applicationId; // _GTK_APPLICATION_ID
    bool normal = true;                       // a window an app is used through
};

struct Monitor {
    uint32_t id = 0;
    Rect bounds;
};

class XDisplay {
public:
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool connected() const { return connection_ != nullptr; }

    // Top-level windows, front to back; nothing when the list cannot be read.
    std::optional<std::vector<XWindow>> windows();
    std::optional<std::vector<WindowRow>> rows(uint32_t option, uint32_t relativeTo);
    std::optional<WindowAtPoint> windowAt(Point point);
    std::optional<int32_t> activePid();

    std::vector<Monitor> monitors();
    std::optional<Image> captureDisplay(uint32_t id);
    std::optional<Image> captureWindow(uint32_t id);

    std::optional<Point> pointer();
    void movePointer(Point point);
    void button(uint8_t number, bool down);
    // Presses or releases one key, given as a key symbol; false when the keymap lacks it and
    // no spare key code could carry it.
    bool key(uint32_t keysym, bool down);
    // Types one symbol: press and release, with Shift when the keymap has it shifted.
    bool typeSymbol(uint32_t keysym);
    void sync();

private:
    struct Atoms;
    std::optional<uint32_t> keycodeFor(uint32_t keysym, bool& shifted);
    std::optional<uint32_t> resolve(uint32_t keysym, bool& shifted);
    void fakeKey(uint32_t keycode, bool down);
    std::optional<Image> capture(uint32_t drawable, Rect area);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    std::unique_ptr<Atoms> atoms_;
    std::mutex keyLock_;
    std::map<uint32_t, uint32_t> borrowed_; // keysym -> spare key code carrying it
    std::vector<uint32_t> spares_;
    bool sparesRead_ = false;
};

} // namespace dorvex::platform::linux_desktop
