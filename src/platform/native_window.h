#pragma once

// The windowing system's side of the embedded mode, beyond what Qt offers for a window of another
// process: whether a window still exists, where it is on the screen, which top-level window holds
// it, and taking the keyboard focus for one of ours. On X11 the calls go through the toolkit's
// xcb connection, on Windows through user32. No Qt here: windows are named by native handles.

#include <cstdint>
#include <optional>

namespace pelmira::platform {

// A native window handle: an X11 window id, or a Windows HWND.
using NativeWindowId = std::uintptr_t;

// A rectangle in screen coordinates, in pixels.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The connection to the display that the calls below use: on X11 the toolkit's own
// xcb_connection_t*, so that requests and their replies keep their order with the toolkit's;
// nullptr when the program does not run on X11 (the calls then cannot tell anything). Unused on
// Windows, where no connection is needed.
void setDisplayConnection(void* connection);

// Whether the window exists; true when the system cannot tell.
bool windowExists(NativeWindowId id);

// The window's client area in screen coordinates; nullopt when the window does not exist or the
// system cannot tell.
std::optional<ScreenRect> windowGeometry(NativeWindowId id);

// The top-level window that holds `id`, `id` itself when it is a top-level window or when the
// system cannot tell.
NativeWindowId topLevelWindow(NativeWindowId id);

// Gives the keyboard focus to window `id` of this program: a window embedded into another
// program's window gets the keys only then.
void takeInputFocus(NativeWindowId id);

} // namespace pelmira::platform
