// Running the verified setup program silently for the current user and waiting for its end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/handles_win.h"
#include "app/result.h"
#include "install/busy_wait_win.h"
#include "install/setup_command.h"

namespace qv {

inline constexpr unsigned kSetupPollMilliseconds = 200;

inline constexpr std::string_view kInstallerLost = "lost track of the installer process";

// Starts the setup program with /S /currentuser /D=<folder>, waiting by `wait` while another
// program has its file in use, and tests every 200 ms until it ends (no time limit, no cancel;
// each pause is a wait on the process, cut short by its end). `hold` (setup_file_win.h) keeps the
// file ours while the program runs; once it has ended or been lost track of, the hold is let go
// and the file deleted, waiting up to kBusyDeleteBoundMs. Success means exit code 0. A program
// that can't be started stays, with setup_start_reason's reason.
Status run_setup_program(std::string_view setup_path, std::string_view folder, OwnedFile& hold,
                         const BusyWait& wait);

// <folder>\Quorvane.exe when something of that name exists there.
std::optional<std::string> find_installed_product(std::string_view folder);

#ifdef QV_TEST_HOOKS
// Test builds only: the error that starting the setup program fails with instead of trying, as
// Windows answers for a blocked program. The shipped program has no such seam.
inline std::optional<std::uint32_t> test_setup_start_error;
#endif

}  // namespace qv
