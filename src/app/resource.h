// Resource ids, shared by the resource script and the code.
#pragma once

// The application's icon group: the window's icons and the still logo.
#define IDI_APP 1

// Embedded pictures, stored as raw data.
#define IDR_BACKGROUND 101
#define IDR_ORB_MASK 103
// The animation strip's parts (kStripParts in ui/animation.h), in frame order.
#define IDR_ORB_STRIP_1 111
#define IDR_ORB_STRIP_2 112
#define IDR_ORB_STRIP_3 113
#define IDR_ORB_STRIP_4 114
#define IDR_ORB_STRIP_5 115
#define IDR_ORB_STRIP_6 116
#define IDR_ORB_STRIP_7 117
#define IDR_ORB_STRIP_8 118

// The version 6 common controls, activated around the system UI only (common_controls_win.h).
#define IDR_COMMON_CONTROLS_MANIFEST 104
