#include "install/setup_runner_win.h"

#include <vector>

#include "app/text_win.h"
#include "install/location.h"
#include "install/setup_file_win.h"

namespace qv {
namespace {

std::uint32_t create_process(const std::wstring& application, std::vector<wchar_t>& command,
                             PROCESS_INFORMATION& started) {
#ifdef QV_TEST_HOOKS
  if (test_setup_start_error) return *test_setup_start_error;
#endif
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  // Our hold shares reading, which is all that starting a program needs of its file.
  return CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &started)
             ? 0
             : GetLastError();
}

}  // namespace

Status run_setup_program(std::string_view setup_path, std::string_view folder, OwnedFile& hold,
                         const BusyWait& wait) {
  const std::wstring application = widen(setup_path);
  // CreateProcessW may write into the command line, so it gets a buffer of its own.
  const std::wstring line = widen(setup_command_line(setup_path, folder));
  std::vector<wchar_t> command(line.begin(), line.end());
  command.push_back(L'\0');

  PROCESS_INFORMATION started{};
  const BusyOutcome start = retry_while_busy(
      FileStep::Start, wait, [&] { return create_process(application, command, started); });
  if (!start.ok()) {
    // Still in use after the bound, the download was held all along: say so, not "broken".
    if (start.still_busy(FileStep::Start)) return fail(std::string(kDownloadLocked));
    return fail(std::string(setup_start_reason(start.error)));
  }
  const OwnedHandle process(started.hProcess);
  const OwnedHandle thread(started.hThread);

  DWORD exit_code = 0;
  bool ended = false;
  for (;;) {
    // Tested every 200 ms as before, but the pause between tests is spent waiting on the process
    // itself, so its end is seen at once rather than up to one pause later.
    const DWORD wait_result = WaitForSingleObject(process.get(), kSetupPollMilliseconds);
    if (wait_result == WAIT_TIMEOUT) continue;
    ended = wait_result == WAIT_OBJECT_0 && GetExitCodeProcess(process.get(), &exit_code);
    break;
  }

  // Its work is done or beyond our reach.
  delete_setup_file(setup_path, hold, BusyWait{kBusyDeleteBoundMs, nullptr, wait.show});
  if (!ended) return fail(std::string(kInstallerLost));
  if (exit_code != 0) return fail(installer_error_reason(exit_code));
  return {};
}

std::optional<std::string> find_installed_product(std::string_view folder) {
  const std::wstring product = widen(join_path(folder, kProductFileName));
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(product.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return narrow(product);
}

}  // namespace qv
