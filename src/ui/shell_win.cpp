#include "ui/shell_win.h"

#include <string>

#include "app/system_library_win.h"
#include "app/text_win.h"
#include "build_settings.h"

namespace qv {

// The shell's "open" verb on the page.
void open_release_page() {
  if (const ShellFunctions* shell = window_thread_shell()) {
    shell->shell_execute(nullptr, L"open", widen(kReleasePageUrl).c_str(), nullptr, nullptr,
                         SW_SHOW);
  }
}

// Opens the installed product through the shell, with no error box of its own: 0, or the error
// that kept it from starting.
std::uint32_t open_product(std::string_view path) {
  const ShellFunctions* shell = window_thread_shell();
  if (!shell) return ERROR_MOD_NOT_FOUND;
  const std::wstring file = widen(path);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // Done before the call returns: the process ends right after a launch.
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.nShow = SW_SHOW;
  if (shell->shell_execute_ex(&info)) return 0;
  const DWORD error = GetLastError();
  // The shell's own code for a file in use, in case the last error says less.
  if (reinterpret_cast<INT_PTR>(info.hInstApp) == SE_ERR_SHARE) return ERROR_SHARING_VIOLATION;
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace qv
