#include "ui/folder_picker_win.h"

#include <shlobj.h>

#include <array>

#include "app/app_state_win.h"
#include "app/common_controls_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "ui/folder_rules.h"

namespace qv {
namespace {

constexpr UINT kPickerFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
static_assert(kPickerFlags == 0x51);

int CALLBACK picker_callback(HWND dialog, UINT message, LPARAM, LPARAM data) noexcept {
  if (message == BFFM_INITIALIZED && data != 0) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  }
  return 0;
}

}  // namespace

std::string read_field_text(HWND control) {
  std::array<wchar_t, 1024> buffer{};
  const int length = GetWindowTextW(control, buffer.data(), static_cast<int>(buffer.size()));
  return narrow(
      std::wstring_view(buffer.data(), length > 0 ? static_cast<std::size_t>(length) : 0));
}

void browse_for_folder() {
  if (current_screen() != Screen::ChooseLocation) return;
  const AppState& s = app_state();
  const ShellFunctions* shell = window_thread_shell();
  if (!shell) {
    // Without the shell's dialog the folder is still typed into the field.
    MessageBeep(MB_ICONWARNING);
    return;
  }

  const std::wstring start = widen(initial_browse_folder(read_field_text(s.location_edit)));
  const std::wstring title = widen(kPickerTitle);
  std::array<wchar_t, MAX_PATH> display_name{};

  BROWSEINFOW info{};
  info.hwndOwner = s.main_window;
  info.pidlRoot = nullptr;
  info.pszDisplayName = display_name.data();
  info.lpszTitle = title.c_str();
  info.ulFlags = kPickerFlags;
  info.lpfn = picker_callback;
  info.lParam = reinterpret_cast<LPARAM>(start.c_str());
  info.iImage = 0;

  const CommonControlsScope themed;
  PIDLIST_ABSOLUTE item = shell->browse_for_folder(&info);
  if (!item) return;  // cancelled

  std::array<wchar_t, 4096> path{};
  const BOOL found =
      shell->path_from_id_list(item, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
  com_functions()->task_mem_free(item);

  if (!found) {
    const std::wstring text = widen(kNotAFolderText);
    const std::wstring caption = widen(kNotAFolderCaption);
    MessageBoxW(s.main_window, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::size_t length = 0;
  while (length < path.size() && path[length] != L'\0') ++length;
  const auto new_text = picked_folder_text(narrow(std::wstring_view(path.data(), length)));
  if (!new_text) return;
  SetWindowTextW(s.location_edit, widen(*new_text).c_str());
}

}  // namespace qv
