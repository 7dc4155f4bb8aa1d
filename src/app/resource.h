// Resource ids, shared by the resource script and the code.
#pragma once

// The application's icon group: the window's icons and the still logo.
#define IDI_APP 1

// Embedded pictures, stored as raw data.
#define IDR_BACKGROUND 101
#define IDR_ORB_STRIP 102
#define IDR_ORB_MASK 103

// The version 6 common controls, activated around the system UI only (common_controls_win.h).
#define IDR_COMMON_CONTROLS_MANIFEST 104
