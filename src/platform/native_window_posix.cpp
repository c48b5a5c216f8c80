// The embedded mode's window calls on X11, through the toolkit's xcb connection. Every request
// whose window may be gone takes its error back here, so that none reaches the toolkit's event
// queue as a stray X error.

#include "platform/native_window.h"

#include <cstdlib>
#include <xcb/xcb.h>

namespace pelmira::platform {

namespace {

xcb_connection_t* display = nullptr;

// Frees an xcb reply or error when it goes out of scope.
template <class T> struct Freed {
    T* p = nullptr;
    ~Freed() { std::free(p); }
    Freed() = default;
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
};

xcb_window_t xid(NativeWindowId id) {
    return static_cast<xcb_window_t>(id);
}

// Whether the window carries the property WM_STATE, which a window manager puts on the
// top-level windows it manages (ICCCM 4.1.3.1).
bool hasWmState(xcb_window_t window) {
    static const char kName[] = "WM_STATE";
    Freed<xcb_intern_atom_reply_t> atom;
    atom.p = xcb_intern_atom_reply(display, xcb_intern_atom(display, 1, sizeof kName - 1, kName),
                                   nullptr);
    if (!atom.p || atom.p->atom == XCB_ATOM_NONE)
        return false;
    Freed<xcb_generic_error_t> error;
    Freed<xcb_get_property_reply_t> property;
    property.p = xcb_get_property_reply(
        display, xcb_get_property(display, 0, window, atom.p->atom, XCB_ATOM_ANY, 0, 0), &error.p);
    return property.p && property.p->type != XCB_ATOM_NONE;
}

} // namespace

void setDisplayConnection(void* connection) {
    display = static_cast<xcb_connection_t*>(connection);
}

bool windowExists(NativeWindowId id) {
    if (!display)
        return true;
    Freed<xcb_generic_error_t> error;
    Freed<xcb_get_geometry_reply_t> reply;
    reply.p = xcb_get_geometry_reply(display, xcb_get_geometry(display, xid(id)), &error.p);
    return reply.p != nullptr;
}

std::optional<ScreenRect> windowGeometry(NativeWindowId id) {
    if (!display)
        return std::nullopt;
    Freed<xcb_generic_error_t> error;
    Freed<xcb_get_geometry_reply_t> geometry;
    geometry.p = xcb_get_geometry_reply(display, xcb_get_geometry(display, xid(id)), &error.p);
    if (!geometry.p)
        return std::nullopt;
    Freed<xcb_generic_error_t> translateError;
    Freed<xcb_translate_coordinates_reply_t> origin;
    origin.p = xcb_translate_coordinates_reply(
        display, xcb_translate_coordinates(display, xid(id), geometry.p->root, 0, 0),
        &translateError.p);
    if (!origin.p)
        return std::nullopt;
    return ScreenRect{origin.p->dst_x, origin.p->dst_y, geometry.p->width, geometry.p->height};
}

NativeWindowId topLevelWindow(NativeWindowId id) {
    if (!display)
        return id;
    // Up the tree to the child of the root. Under a window manager that frames its windows that
    // child is the frame: the top-level window is then the highest one that carries WM_STATE.
    xcb_window_t window = xid(id);
    xcb_window_t below_root = window;
    xcb_window_t managed = XCB_WINDOW_NONE;
    for (int depth = 0; depth < 64; ++depth) {
        if (hasWmState(window))
            managed = window;
        Freed<xcb_generic_error_t> error;
        Freed<xcb_query_tree_reply_t> tree;
        tree.p = xcb_query_tree_reply(display, xcb_query_tree(display, window), &error.p);
        if (!tree.p)
            return id;
        below_root = window;
        if (tree.p->parent == tree.p->root || tree.p->parent == XCB_WINDOW_NONE)
            break;
        window = tree.p->parent;
    }
    return managed != XCB_WINDOW_NONE ? managed : below_root;
}

void takeInputFocus(NativeWindowId id) {
    if (!display)
        return;
    Freed<xcb_generic_error_t> error;
    error.p =
        xcb_request_check(display, xcb_set_input_focus_checked(display, XCB_INPUT_FOCUS_PARENT,
                                                               xid(id), XCB_CURRENT_TIME));
}

} // namespace pelmira::platform
