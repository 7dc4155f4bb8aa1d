// Rules of one install run that need no platform: which setup file names the run accepts from
// the feed and the texts it shows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/result.h"

namespace qv {

inline constexpr std::string_view kUnsafeSetupName =
    "the release feed names an installer file that isn't a plain file name";

// The feed's `path` becomes both the last part of the download URL and a file name inside our
// download folder, so it must name exactly one file there: no "\", "/" or ":", none of <>"|?*,
// no control character, no trailing "." or " " (which Windows drops, so "." and ".." go too), and
// no device name such as "NUL" or "COM1.exe", which Windows would open as a device instead of a
// file. Spaces inside and non-ASCII letters are fine.
Status check_setup_file_name(std::string_view path);

// Whether an answer of WinVerifyTrust is Windows failing to read the file (a missing, held or
// unreadable file, no memory) rather than a verdict on its signature: such a file is neither
// called unsigned nor deleted.
bool trust_answer_is_read_failure(std::uint32_t answer);

// "Installing Quorvane <version>..."
std::string installing_status(std::string_view version);

}  // namespace qv
