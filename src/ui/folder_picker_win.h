// The Browse button: the system's folder picker, and the picked folder written into the field.
#pragma once

#include <string>

#include "app/win.h"

namespace qv {

// Reads a control's text the way every reader of the location field does: at most 1023 UTF-16
// units, unpaired surrogates replaced by U+FFFD.
std::string read_field_text(HWND control);

// WM_COMMAND from Browse. Acts only on the location screen; the field is its only output.
void browse_for_folder();

}  // namespace qv
