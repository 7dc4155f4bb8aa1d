#include "install/location_win.h"

#include <vector>

#include "app/handles_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "install/location.h"

namespace qv {
namespace {

bool is_folder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The length of the path Windows makes of `path` (against the current folder when relative); the
// text's own length when it cannot say.
std::size_t full_path_length(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path.size();
  std::vector<wchar_t> buffer(needed);
  const DWORD length = GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
  return length == 0 || length >= needed ? path.size() : length;
}

}  // namespace

std::string default_install_folder() {
  return compose_default_install_folder(read_environment(L"LOCALAPPDATA"));
}

bool create_folder_tree(std::string_view folder) {
  const std::wstring wide = widen(folder);
  if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  // An existing folder is fine whatever the error says: Windows answers "access denied", not
  // "already exists", for the root of a drive such as "D:\".
  if (is_folder(wide)) return true;
  if (error != ERROR_PATH_NOT_FOUND) return false;
  const auto parent = parent_folder(folder);
  if (!parent || !create_folder_tree(*parent)) return false;
  return CreateDirectoryW(wide.c_str(), nullptr) || is_folder(wide);
}

Status prepare_install_folder(std::string_view folder) {
  const std::wstring probe = widen(join_path(folder, kProbeFileName));
  if (Status text = check_folder_text(folder, full_path_length(probe)); !text) return text;
  if (!create_folder_tree(folder)) return fail(std::string(kFolderNotCreatable));

  // A probe left read-only or hidden by an earlier run cannot be overwritten as it is (Windows
  // refuses CREATE_ALWAYS over a hidden file); where we may change its attributes, it is ours to
  // replace. Where we may not, the folder is not writable and the create below says so.
  const DWORD left = GetFileAttributesW(probe.c_str());
  if (left != INVALID_FILE_ATTRIBUTES && (left & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
      (left & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) {
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  {
    // Others may read it meanwhile; only its deletion depends on nobody holding it.
    OwnedFile file(CreateFileW(probe.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return fail(std::string(kFolderNotWritable));
    DWORD written = 0;
    if (!WriteFile(file.get(), kProbeContent.data(), static_cast<DWORD>(kProbeContent.size()),
                   &written, nullptr) ||
        written != kProbeContent.size()) {
      return fail(std::string(kFolderNotWritable));
    }
  }
  DeleteFileW(probe.c_str());  // a probe that stays behind does no harm
  return {};
}

std::optional<std::string> temp_folder() {
  const Kernel32Functions* kernel32 = kernel32_functions();
  const auto get_temp_path2 = kernel32 ? kernel32->get_temp_path2 : nullptr;
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    const DWORD length = get_temp_path2 ? get_temp_path2(capacity, buffer.data())
                                        : GetTempPathW(capacity, buffer.data());
    if (length == 0) return std::nullopt;
    if (length < capacity) return narrow(std::wstring_view(buffer.data(), length));
    buffer.resize(length + 1);
  }
}

std::optional<std::uint64_t> free_bytes_for_user(std::string_view folder) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(widen(folder).c_str(), &available, nullptr, nullptr)) {
    return std::nullopt;
  }
  return available.QuadPart;
}

Status check_free_space(std::string_view folder, std::uint64_t download_need) {
  if (download_need > 0) {
    if (const auto temp = temp_folder()) {
      Status download =
          check_download_space(free_bytes_for_user(*temp), download_need, drive_label(*temp));
      if (!download) return download;
    }
  }
  return check_install_space(free_bytes_for_user(folder), drive_label(folder));
}

}  // namespace qv
