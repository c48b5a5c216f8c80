// The embedded mode's window calls on Windows, through user32. No connection is needed: any
// process may ask about any window by its handle.

#include "platform/native_window.h"

#include <windows.h>

namespace pelmira::platform {

namespace {

// Horvex passes its handle as 32 bits of hexadecimal digits. Window handles keep only 32
// significant bits between 32-bit and 64-bit processes and widen by sign extension.
HWND toHwnd(NativeWindowId id) {
    if (id <= 0xFFFFFFFFu)
        return reinterpret_cast<HWND>(
            static_cast<INT_PTR>(static_cast<LONG>(static_cast<ULONG>(id))));
    return reinterpret_cast<HWND>(id);
}

} // namespace

void setDisplayConnection(void*) {}

bool windowExists(NativeWindowId id) {
    return IsWindow(toHwnd(id)) != FALSE;
}

std::optional<ScreenRect> windowGeometry(NativeWindowId id) {
    const HWND window = toHwnd(id);
    RECT client;
    if (!IsWindow(window) || !GetClientRect(window, &client))
        return std::nullopt;
    POINT origin{0, 0};
    if (!ClientToScreen(window, &origin))
        return std::nullopt;
    return ScreenRect{origin.x, origin.y, client.right - client.left, client.bottom - client.top};
}

NativeWindowId topLevelWindow(NativeWindowId id) {
    const HWND root = GetAncestor(toHwnd(id), GA_ROOT);
    return root ? reinterpret_cast<NativeWindowId>(root) : id;
}

void takeInputFocus(NativeWindowId id) {
    const HWND window = toHwnd(id);
    if (IsWindow(window))
        SetFocus(window);
}

} // namespace pelmira::platform
