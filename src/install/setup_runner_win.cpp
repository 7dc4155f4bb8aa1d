#include "install/setup_runner_win.h"

#include <vector>

#include "app/handles_win.h"
#include "app/text_win.h"
#include "install/location.h"
#include "install/setup_command.h"

namespace qv {

Status run_setup_program(std::string_view setup_path, std::string_view folder) {
  const std::wstring application = widen(setup_path);
  // CreateProcessW may write into the command line, so it gets a buffer of its own.
  const std::wstring line = widen(setup_command_line(setup_path, folder));
  std::vector<wchar_t> command(line.begin(), line.end());
  command.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &started)) {
    return fail(std::string(kInstallerNotStarted));
  }
  const OwnedHandle process(started.hProcess);
  const OwnedHandle thread(started.hThread);

  DWORD exit_code = 0;
  bool ended = false;
  for (;;) {
    // Tested every 200 ms as before, but the pause between tests is spent waiting on the process
    // itself, so its end is seen at once rather than up to one pause later.
    const DWORD wait = WaitForSingleObject(process.get(), kSetupPollMilliseconds);
    if (wait == WAIT_TIMEOUT) continue;
    ended = wait == WAIT_OBJECT_0 && GetExitCodeProcess(process.get(), &exit_code);
    break;
  }

  DeleteFileW(application.c_str());  // its work is done or beyond our reach
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
