#include "platform/linux/XDisplay.h"

#include "platform/linux/KeySymbols.h"
#include "platform/linux/ProcFiles.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xtest.h>

namespace dorvex::platform::linux_desktop {
namespace {

template <typename T> struct FreeReply {
    void operator()(T* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply<T>>;

constexpr std::array atomNames = {
    "_NET_CLIENT_LIST_STACKING",
    "_NET_WM_PID",
    "_NET_WM_NAME",
    "UTF8_STRING",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION",
    "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_COMBO",
    "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_STATE",
    "_NET_WM_STATE_ABOVE",
    "_NET_WM_STATE_HIDDEN",
    "_NET_WM_WINDOW_OPACITY",
    "_NET_ACTIVE_WINDOW",
    "_GTK_APPLICATION_ID",
};
enum AtomIndex : size_t {
    clientListStacking,
    wmPid,
    wmName,
    utf8String,
    windowType,
    typeDesktop,
    typeDock,
    typeNotification,
    typeMenu,
    typePopupMenu,
    typeDropdownMenu,
    typeTooltip,
    typeCombo,
    typeSplash,
    wmState,
    stateAbove,
    stateHidden,
    opacity,
    activeWindow,
    gtkApplicationId,
};

// Window levels as the driver's rules know them: a dock at the Dock's level, notifications
// at the status level, menus at the pop-up menu level, desktops below everything.
constexpr int32_t desktopLevel = -2147483623;
constexpr int32_t floatingLevel = 3;
constexpr int32_t dockLevel = 20;
constexpr int32_t statusLevel = 25;
constexpr int32_t popUpMenuLevel = 101;

} // namespace

struct XDisplay::Atoms {
    std::array<xcb_atom_t, atomNames.size()> atoms{};
    xcb_atom_t operator[](AtomIndex index) const { return atoms[index]; }
};

XDisplay::XDisplay() {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        return;
    }
    connection_ = connection;
    root_ = screens.data->root;
    atoms_ = std::make_unique<Atoms>();
    std::array<xcb_intern_atom_cookie_t, atomNames.size()> cookies{};
    for (size_t i = 0; i < atomNames.size(); ++i) {
        cookies[i] = xcb_intern_atom(
            connection_, 0, static_cast<uint16_t>(std::strlen(atomNames[i])), atomNames[i]);
    }
    for (size_t i = 0; i < atomNames.size(); ++i) {
        Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection_, cookies[i], nullptr));
        if (reply) atoms_->atoms[i] = reply->atom;
    }
}

XDisplay::~XDisplay() {
    if (connection_ == nullptr) return;
    // Give borrowed key codes back their emptiness.
    std::lock_guard guard(keyLock_);
    for (const auto& [keysym, keycode] : borrowed_) {
        (void)keysym;
        std::array<xcb_keysym_t, 2> none{};
        xcb_change_keyboard_mapping(connection_, 1, static_cast<xcb_keycode_t>(keycode), 2,
                                    none.data());
    }
    xcb_flush(connection_);
    xcb_disconnect(connection_);
}

void XDisplay::sync() {
    if (connection_ == nullptr) return;
    Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

// --- The window list ----------------------------------------------------------------------

namespace {

struct WindowCookies {
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_property_cookie_t pid, netName, name, type, state, opacity, appId;
};

std::vector<uint32_t> cardinals(xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 32) return {};
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    return std::vector<uint32_t>(values, values + std::max(count, 0));
}

std::optional<std::string> text(xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 8) return std::nullopt;
    const int length = xcb_get_property_value_length(reply);
    if (length <= 0) return std::nullopt;
    std::string value(static_cast<const char*>(xcb_get_property_value(reply)),
                      static_cast<size_t>(length));
    while (!value.empty() && value.back() == '\0')
        value.pop_back();
    return value;
}

} // namespace

std::optional<std::vector<XWindow>> XDisplay::windows() {
    if (connection_ == nullptr) return std::nullopt;
    const Atoms& atom = *atoms_;
    std::vector<uint32_t> stacking;
    Reply<xcb_get_property_reply_t> list(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, atom[clientListStacking], XCB_ATOM_WINDOW, 0, 4096),
        nullptr));
    if (list && list->type == XCB_ATOM_WINDOW) {
        stacking = cardinals(list.get());
    } else {
        // No window manager keeps the list: the root's children, in stacking order.
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
        if (!tree) return std::nullopt;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        stacking.assign(children, children + xcb_query_tree_children_length(tree.get()));
    }
    std::reverse(stacking.begin(), stacking.end()); // front to back

    auto property = [&](xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
        return xcb_get_property(connection_, 0, window, name, type, 0, 1024);
    };
    std::vector<WindowCookies> cookies;
    for (xcb_window_t window : stacking) {
        cookies.push_back({xcb_get_window_attributes(connection_, window),
                           property(window, atom[wmPid], XCB_ATOM_CARDINAL),
                           property(window, atom[wmName], atom[utf8String]),
                           property(window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY),
                           property(window, atom[windowType], XCB_ATOM_ATOM),
                           property(window, atom[wmState], XCB_ATOM_ATOM),
                           property(window, atom[opacity], XCB_ATOM_CARDINAL),
                           property(window, atom[gtkApplicationId], XCB_ATOM_ANY)});
    }
    std::vector<XWindow> windows;
    for (size_t i = 0; i < stacking.size(); ++i) {
        auto reply = [&](xcb_get_property_cookie_t cookie) {
            return Reply<xcb_get_property_reply_t>(
                xcb_get_property_reply(connection_, cookie, nullptr));
        };
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection_, cookies[i].attributes, nullptr));
        auto pid = reply(cookies[i].pid), netName = reply(cookies[i].netName),
             name = reply(cookies[i].name), type = reply(cookies[i].type),
             state = reply(cookies[i].state), opacityValue = reply(cookies[i].opacity),
             appId = reply(cookies[i].appId);
        if (!attributes) continue; // gone while we read
        if (attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY) continue;
        XWindow window;
        window.id = stacking[i];
        if (auto pids = cardinals(pid.get()); !pids.empty()) {
            window.pid = static_cast<int32_t>(pids.front());
        }
        window.title = text(netName.get()).value_or(text(name.get()).value_or(""));
        window.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        window.applicationId = text(appId.get());
        for (uint32_t kind : cardinals(type.get())) {
            if (kind == atom[typeDesktop]) window.desktop = true;
            if (kind == atom[typeDesktop]) window.layer = desktopLevel;
            if (kind == atom[typeDock]) window.layer = dockLevel;
            if (kind == atom[typeNotification] || kind == atom[typeSplash])
                window.layer = statusLevel;
            if (kind == atom[typeMenu] || kind == atom[typePopupMenu] ||
                kind == atom[typeDropdownMenu] || kind == atom[typeTooltip] ||
                kind == atom[typeCombo]) {
                window.layer = popUpMenuLevel;
            }
        }
        if (attributes->override_redirect && window.layer == 0) window.layer = popUpMenuLevel;
        window.normal = window.layer == 0 && !window.desktop;
        for (uint32_t flag : cardinals(state.get())) {
            if (flag == atom[stateHidden]) window.viewable = false;
            if (flag == atom[stateAbove] && window.layer == 0) window.layer = floatingLevel;
        }
        if (auto values = cardinals(opacityValue.get()); !values.empty()) {
            window.alpha = values.front() / 4294967295.0;
        }
        // The frame the window manager put around it: the ancestor just below the root.
        xcb_window_t frame = window.id;
        for (int depth = 0; depth < 8; ++depth) {
            Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(connection_, xcb_query_tree(connection_, frame), nullptr));
            if (!tree || tree->parent == root_ || tree->parent == XCB_NONE) break;
            frame = tree->parent;
        }
        Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, frame), nullptr));
        if (!geometry) continue;
        window.frame = Rect{double(geometry->x), double(geometry->y), double(geometry->width),
                            double(geometry->height)};
        window.frameId = frame;
        windows.push_back(std::move(window));
    }
    return windows;
}

namespace {

Json boundsOf(const Rect& frame) {
    return Json{{"X", frame.x}, {"Y", frame.y}, {"Width", frame.width}, {"Height", frame.height}};
}

WindowRow rowOf(const XWindow& window) {
    WindowRow row = Json::object();
    row["kCGWindowNumber"] = window.id;
    if (window.pid) {
        row["kCGWindowOwnerPID"] = *window.pid;
        if (auto name = proc::command(*window.pid)) row["kCGWindowOwnerName"] = *name;
    }
    row["kCGWindowName"] = window.title;
    row["kCGWindowLayer"] = window.layer;
    row["kCGWindowAlpha"] = window.alpha;
    row["kCGWindowIsOnscreen"] = window.viewable;
    row["kCGWindowBounds"] = boundsOf(window.frame);
    return row;
}

} // namespace

std::optional<std::vector<WindowRow>> XDisplay::rows(uint32_t option, uint32_t relativeTo) {
    std::optional<std::vector<XWindow>> list = windows();
    if (!list) return std::nullopt;
    const bool onScreen = option & 1U, above = option & 2U, below = option & 4U,
               including = option & 8U, withoutDesktop = option & 16U;
    auto target = std::find_if(list->begin(), list->end(),
                               [&](const XWindow& window) { return window.id == relativeTo; });
    std::vector<WindowRow> rows;
    if (including && !above && !below) {
        if (target != list->end()) rows.push_back(rowOf(*target));
        return rows;
    }
    if ((above || below) && target == list->end()) return rows;
    const auto targetIndex = target - list->begin();
    for (auto index = 0; index < static_cast<int>(list->size()); ++index) {
        const XWindow& window = (*list)[static_cast<size_t>(index)];
        const bool isTarget = index == targetIndex;
        if (above && index > targetIndex) break;
        if (below && index < targetIndex) continue;
        if ((above || below) && isTarget && !including) continue;
        if (onScreen && !window.viewable && !isTarget) continue;
        if (withoutDesktop && window.desktop) continue;
        rows.push_back(rowOf(window));
    }
    return rows;
}

std::optional<WindowAtPoint> XDisplay::windowAt(Point point) {
    std::optional<std::vector<XWindow>> list = windows();
    if (!list) return std::nullopt;
    for (const XWindow& window : *list) {
        const Rect& f = window.frame;
        if (!window.viewable || window.desktop || !window.pid) continue;
        if (point.x >= f.x && point.y >= f.y && point.x < f.x + f.width &&
            point.y < f.y + f.height) {
            return WindowAtPoint{*window.pid, f};
        }
    }
    return std::nullopt;
}

std::optional<int32_t> XDisplay::activePid() {
    if (connection_ == nullptr) return std::nullopt;
    Reply<xcb_get_property_reply_t> active(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, (*atoms_)[activeWindow], XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    std::vector<uint32_t> ids = cardinals(active.get());
    xcb_window_t window = ids.empty() ? XCB_NONE : ids.front();
    if (window == XCB_NONE) {
        Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        if (!focus || focus->focus == XCB_NONE || focus->focus == root_) return std::nullopt;
        window = focus->focus;
    }
    // The focus may sit in a child of the window that carries the pid.
    for (int depth = 0; depth < 8 && window != XCB_NONE && window != root_; ++depth) {
        Reply<xcb_get_property_reply_t> pid(xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, window, (*atoms_)[wmPid], XCB_ATOM_CARDINAL, 0, 1),
            nullptr));
        if (auto pids = cardinals(pid.get()); !pids.empty()) {
            return static_cast<int32_t>(pids.front());
        }
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
        if (!tree) break;
        window = tree->parent;
    }
    return std::nullopt;
}

// --- Monitors and captures ----------------------------------------------------------------

std::vector<Monitor> XDisplay::monitors() {
    std::vector<Monitor> monitors;
    if (connection_ == nullptr) return monitors;
    Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(
            connection_, xcb_randr_get_screen_resources_current(connection_, root_), nullptr));
    Reply<xcb_randr_get_output_primary_reply_t> primary(xcb_randr_get_output_primary_reply(
        connection_, xcb_randr_get_output_primary(connection_, root_), nullptr));
    if (resources) {
        const xcb_randr_crtc_t* crtcs =
            xcb_randr_get_screen_resources_current_crtcs(resources.get());
        const int count = xcb_randr_get_screen_resources_current_crtcs_length(resources.get());
        for (int i = 0; i < count; ++i) {
            Reply<xcb_randr_get_crtc_info_reply_t> crtc(xcb_randr_get_crtc_info_reply(
                connection_,
                xcb_randr_get_crtc_info(connection_, crtcs[i], resources->config_timestamp),
                nullptr));
            if (!crtc || crtc->mode == XCB_NONE || crtc->width == 0 || crtc->height == 0) continue;
            const int outputs = xcb_randr_get_crtc_info_outputs_length(crtc.get());
            const uint32_t id =
                outputs > 0 ? xcb_randr_get_crtc_info_outputs(crtc.get())[0] : crtcs[i];
            Monitor monitor{id, Rect{double(crtc->x), double(crtc->y), double(crtc->width),
                                     double(crtc->height)}};
            const bool isPrimary = primary && outputs > 0 && primary->output == id;
            if (isPrimary) {
                monitors.insert(monitors.begin(), monitor);
            } else {
                monitors.push_back(monitor);
            }
        }
    }
    if (monitors.empty()) {
        // No RandR answer: the whole screen is one display.
        Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr));
        if (geometry) {
            monitors.push_back({1, Rect{0, 0, double(geometry->width), double(geometry->height)}});
        }
    }
    return monitors;
}

namespace {

// A System V shared-memory segment, marked for removal as soon as both sides hold it.
class SharedSegment {
public:
    explicit SharedSegment(size_t size) {
        id_ = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id_ < 0) return;
        void* address = shmat(id_, nullptr, 0);
        if (address != reinterpret_cast<void*>(-1)) address_ = static_cast<uint8_t*>(address);
    }
    ~SharedSegment() {
        if (address_ != nullptr) shmdt(address_);
        if (id_ >= 0) shmctl(id_, IPC_RMID, nullptr);
    }
    SharedSegment(const SharedSegment&) = delete;
    SharedSegment& operator=(const SharedSegment&) = delete;
    int id() const { return id_; }
    const uint8_t* data() const { return address_; }

private:
    int id_ = -1;
    uint8_t* address_ = nullptr;
};

// 32-bit little-endian B, G, R, X pixels into RGBA.
Image fromBgrx(const uint8_t* pixels, size_t width, size_t height) {
    Image image{width, height, std::vector<uint8_t>(width * height * 4)};
    for (size_t i = 0; i < width * height; ++i) {
        image.pixels[4 * i] = pixels[4 * i + 2];
        image.pixels[4 * i + 1] = pixels[4 * i + 1];
        image.pixels[4 * i + 2] = pixels[4 * i];
        image.pixels[4 * i + 3] = 255;
    }
    return image;
}

} // namespace

std::optional<Image> XDisplay::capture(uint32_t drawable, Rect area) {
    if (connection_ == nullptr || area.width <= 0 || area.height <= 0) return std::nullopt;
    const auto width = static_cast<uint16_t>(area.width);
    const auto height = static_cast<uint16_t>(area.height);
    const auto x = static_cast<int16_t>(area.x);
    const auto y = static_cast<int16_t>(area.y);
    SharedSegment segment(size_t(width) * height * 4);
    if (segment.data() != nullptr) {
        const xcb_shm_seg_t seg = xcb_generate_id(connection_);
        xcb_void_cookie_t attached =
            xcb_shm_attach_checked(connection_, seg, static_cast<uint32_t>(segment.id()), 0);
        if (xcb_generic_error_t* error = xcb_request_check(connection_, attached)) {
            std::free(error);
        } else {
            Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
                connection_,
                xcb_shm_get_image(connection_, drawable, x, y, width, height, ~0U,
                                  XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0),
                nullptr));
            xcb_shm_detach(connection_, seg);
            xcb_flush(connection_);
            if (reply && (reply->depth == 24 || reply->depth == 32)) {
                return fromBgrx(segment.data(), width, height);
            }
            if (reply) return std::nullopt;
        }
    }
    // No shared memory with the server (a remote display): the plain request.
    Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, x, y, width, height, ~0U),
        nullptr));
    if (!reply || (reply->depth != 24 && reply->depth != 32)) return std::nullopt;
    if (static_cast<size_t>(xcb_get_image_data_length(reply.get())) < size_t(width) * height * 4) {
        return std::nullopt;
    }
    return fromBgrx(xcb_get_image_data(reply.get()), width, height);
}

std::optional<Image> XDisplay::captureDisplay(uint32_t id) {
    for (const Monitor& monitor : monitors()) {
        if (monitor.id == id) return capture(root_, monitor.bounds);
    }
    return std::nullopt;
}

std::optional<Image> XDisplay::captureWindow(uint32_t id) {
    std::optional<std::vector<XWindow>> list = windows();
    if (!list) return std::nullopt;
    auto window = std::find_if(list->begin(), list->end(),
                               [&](const XWindow& candidate) { return candidate.id == id; });
    if (window == list->end() || !window->viewable) return std::nullopt;
    Reply<xcb_get_geometry_reply_t> screen(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr));
    if (!screen) return std::nullopt;
    // Only the part on the screen has contents to read.
    const Rect& f = window->frame;
    const double left = std::max(f.x, 0.0), top = std::max(f.y, 0.0);
    const double right = std::min(f.x + f.width, double(screen->width));
    const double bottom = std::min(f.y + f.height, double(screen->height));
    return capture(window->frameId, Rect{left - f.x, top - f.y, right - left, bottom - top});
}

// --- Pointer and keys ---------------------------------------------------------------------

std::optional<Point> XDisplay::pointer() {
    if (connection_ == nullptr) return std::nullopt;
    Reply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr));
    if (!reply) return std::nullopt;
    return Point{double(reply->root_x), double(reply->root_y)};
}

void XDisplay::movePointer(Point point) {
    if (connection_ == nullptr) return;
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_,
                        static_cast<int16_t>(std::lround(point.x)),
                        static_cast<int16_t>(std::lround(point.y)), 0);
    sync();
}

void XDisplay::button(uint8_t number, bool down) {
    if (connection_ == nullptr) return;
    xcb_test_fake_input(connection_, down ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, number,
                        XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

std::optional<uint32_t> XDisplay::keycodeFor(uint32_t keysym, bool& shifted) {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const uint8_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Reply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, first, static_cast<uint8_t>(count)),
        nullptr));
    if (!mapping) return std::nullopt;
    const int per = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    if (!sparesRead_) {
        sparesRead_ = true;
        for (int code = 0; code < count; ++code) {
            if (std::all_of(syms + code * per, syms + (code + 1) * per,
                            [](xcb_keysym_t sym) { return sym == 0; })) {
                spares_.push_back(first + static_cast<uint32_t>(code));
            }
        }
    }
    for (int column = 0; column < std::min(per, 2); ++column) {
        for (int code = 0; code < count; ++code) {
            if (syms[code * per + column] == keysym) {
                shifted = column == 1;
                return first + static_cast<uint32_t>(code);
            }
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> XDisplay::resolve(uint32_t keysym, bool& shifted) {
    std::optional<uint32_t> keycode = keycodeFor(keysym, shifted);
    if (keycode) return keycode;
    // The keymap lacks it: lend it a key code that carries nothing, and keep it lent, so that
    // an application still reading the key sees the symbol it was typed with.
    shifted = false;
    auto lent = borrowed_.find(keysym);
    if (lent != borrowed_.end()) return lent->second;
    if (spares_.empty()) return std::nullopt;
    keycode = spares_.back();
    spares_.pop_back();
    std::array<xcb_keysym_t, 2> syms{keysym, keysym};
    xcb_change_keyboard_mapping(connection_, 1, static_cast<xcb_keycode_t>(*keycode), 2,
                                syms.data());
    borrowed_[keysym] = *keycode;
    sync();
    return keycode;
}

void XDisplay::fakeKey(uint32_t keycode, bool down) {
    xcb_test_fake_input(connection_, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                        static_cast<uint8_t>(keycode), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

bool XDisplay::key(uint32_t keysym, bool down) {
    if (connection_ == nullptr) return false;
    std::lock_guard guard(keyLock_);
    bool shifted = false;
    std::optional<uint32_t> keycode = resolve(keysym, shifted);
    if (!keycode) return false;
    fakeKey(*keycode, down);
    sync();
    return true;
}

bool XDisplay::typeSymbol(uint32_t keysym) {
    if (connection_ == nullptr) return false;
    std::lock_guard guard(keyLock_);
    bool shifted = false;
    std::optional<uint32_t> keycode = resolve(keysym, shifted);
    if (!keycode) return false;
    bool unused = false;
    std::optional<uint32_t> shift = shifted ? keycodeFor(shiftKeysym, unused) : std::nullopt;
    if (shift) fakeKey(*shift, true);
    fakeKey(*keycode, true);
    fakeKey(*keycode, false);
    if (shift) fakeKey(*shift, false);
    sync();
    return true;
}

} // namespace dorvex::platform::linux_desktop
