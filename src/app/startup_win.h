// Opening the one main window: icons, class, the centred DPI-scaled popup, its three child
// controls, fonts and layout. The process entry calls it; so do the window tests.
#pragma once

#include "app/win.h"
#include "net/feed_signature.h"
#include "ui/window_win.h"

namespace qv {

// Creates, lays out and shows the main window bound to `window` and records it and its controls
// in the shared state. Returns the window, or null when it could not be created.
HWND open_main_window(HINSTANCE instance, MainWindow& window);

// The whole program: one running copy, DPI awareness, COM for the folder picker, the window, the
// picture and feed threads, and the message loop. Install clicks run `worker` on a thread of its
// own; the feed pre-check requires what `trust` (which lives as long as the process) requires.
// Returns the process's exit code.
int run_installer(HINSTANCE instance, InstallWorker worker, const TrustSettings& trust);

}  // namespace qv
