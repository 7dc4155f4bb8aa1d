// What the setup program is given and what its exit code means. Pure logic; starting and
// waiting for it is setup_runner_win's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

inline constexpr std::string_view kProductFileName = "Quorvane.exe";

// "<setup path>" /S /currentuser /D=<folder>. The folder goes last and raw, never quoted: the
// setup program takes everything after "/D=" as the folder, spaces included.
std::string setup_command_line(std::string_view setup_path, std::string_view folder);

// "the installer reported an error (code N)" with the exit code as a signed 32-bit number.
std::string installer_error_reason(std::uint32_t exit_code);

}  // namespace qv
