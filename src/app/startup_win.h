// Opening the one main window: icons, class, the centred DPI-scaled popup, its three child
// controls, fonts and layout. The process entry calls it; so do the window tests.
#pragma once

#include "app/win.h"

namespace qv {

class MainWindow;

// Creates, lays out and shows the main window bound to `window` and records it and its controls
// in the shared state. Returns the window, or null when it could not be created.
HWND open_main_window(HINSTANCE instance, MainWindow& window);

}  // namespace qv
