#pragma once

// What embedding into a window of another process needs of the windowing system beyond Qt:
// whether the host window still exists, and taking the keyboard focus from the host. On X11
// these go through the xcb connection; elsewhere they do nothing.

#include <cstdint>

class QWidget;

namespace pelmira::app::native {

// Whether the window with that native id exists; true when the platform cannot tell.
bool windowExists(std::uint32_t id);

// Gives the keyboard focus to the native window of `w` (X keeps it on the host otherwise).
void takeInputFocus(QWidget* w);

} // namespace pelmira::app::native
