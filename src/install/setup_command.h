// What the setup program is given and what its exit code means. Pure logic; starting and
// waiting for it is setup_runner_win's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

inline constexpr std::string_view kProductFileName = "Quorvane.exe";

inline constexpr std::string_view kInstallerNotStarted = "the installer couldn't be started";
// Told apart from a broken file: the user can act on it (unblock it, ask an administrator).
inline constexpr std::string_view kInstallerBlocked =
    "Windows or security software blocked the installer from starting";

// "<setup path>" /S /currentuser /D=<folder>. The folder goes last and raw, never quoted: the
// setup program takes everything after "/D=" as the folder, spaces included.
std::string setup_command_line(std::string_view setup_path, std::string_view folder);

// The reason for a setup program that Windows would not start with `error`: kInstallerBlocked for
// the codes of a policy, a virus verdict, an image-hash or code-integrity check, a reputation
// verdict or "access denied"; kInstallerNotStarted for any other.
std::string_view setup_start_reason(std::uint32_t error);

// "the installer reported an error (code N)" with the exit code as a signed 32-bit number.
std::string installer_error_reason(std::uint32_t exit_code);

}  // namespace qv
