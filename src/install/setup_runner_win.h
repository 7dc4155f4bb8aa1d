// Running the verified setup program silently for the current user and waiting for its end.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/result.h"

namespace qv {

inline constexpr unsigned kSetupPollMilliseconds = 200;

inline constexpr std::string_view kInstallerNotStarted = "the installer couldn't be started";
inline constexpr std::string_view kInstallerLost = "lost track of the installer process";

// Starts the setup program with /S /currentuser /D=<folder> and tests every 200 ms until it ends
// (no time limit, no cancel; each pause is a wait on the process, cut short by its end). Deletes
// the setup file once it has ended or been lost track of. Success means exit code 0.
Status run_setup_program(std::string_view setup_path, std::string_view folder);

// <folder>\Quorvane.exe when something of that name exists there.
std::optional<std::string> find_installed_product(std::string_view folder);

}  // namespace qv
