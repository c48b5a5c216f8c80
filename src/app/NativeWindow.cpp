#include "app/NativeWindow.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef PELMIRA_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <xcb/xcb.h>
#endif

namespace pelmira::app::native {

#ifdef PELMIRA_HAVE_XCB
namespace {

xcb_connection_t* connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace
#endif

bool windowExists(std::uint32_t id) {
#ifdef PELMIRA_HAVE_XCB
    xcb_connection_t* c = connection();
    if (!c)
        return true;
    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* reply = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), &error);
    const bool exists = reply != nullptr;
    std::free(reply);
    std::free(error);
    return exists;
#else
    (void)id;
    return true;
#endif
}

void takeInputFocus(QWidget* w) {
#ifdef PELMIRA_HAVE_XCB
    xcb_connection_t* c = connection();
    if (!c || !w)
        return;
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, static_cast<xcb_window_t>(w->winId()),
                        XCB_CURRENT_TIME);
    xcb_flush(c);
#else
    (void)w;
#endif
}

} // namespace pelmira::app::native
