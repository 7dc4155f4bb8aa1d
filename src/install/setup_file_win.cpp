#include "install/setup_file_win.h"

#include <string>

#include "app/text_win.h"
#include "install/checksum_win.h"
#include "install/install_run.h"
#include "install/location.h"
#include "install/location_win.h"

namespace qv {

std::optional<std::uint64_t> file_size_of(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool is_plain_folder(std::string_view folder) {
  // The path's own attributes: a handle opened on a link describes what it points to.
  const DWORD attributes = GetFileAttributesW(widen(folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

OwnedFile open_download_folder(std::string_view folder) {
  if (!create_folder_tree(folder)) return {};
  // Opened first, then checked: once it is held, the folder that passed can't be swapped.
  OwnedFile held(CreateFileW(widen(folder).c_str(), FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!held || !is_plain_folder(folder)) return {};
  return held;
}

Result<OwnedFile> hold_setup_file(std::string_view path, const BusyWait& wait) {
  const std::wstring wide = widen(path);
  OwnedFile file;
  const BusyOutcome opened =
      retry_on_own_file(FileStep::Open, wait, wide.c_str(), [&]() -> std::uint32_t {
        file.reset(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return file ? 0 : GetLastError();
      });
  if (opened.ok()) return file;
  if (opened.canceled) return fail(std::string(kCanceled));
  if (opened.still_busy(FileStep::Open)) return fail(std::string(kDownloadLocked));
  if (opened.error == kErrorFileNotFound || opened.error == kErrorPathNotFound) {
    return fail(std::string(kDownloadMissing));
  }
  return fail(std::string(kDownloadUnreadable));
}

void delete_setup_file(std::string_view path, OwnedFile& hold, const BusyWait& wait) {
  hold.reset();  // our own hold shares no deletion
  const std::wstring wide = widen(path);
  retry_while_busy(FileStep::Delete, wait, [&] { return delete_own_file(wide.c_str()); });
}

void remove_leftover_downloads(std::string_view download_folder, std::string_view keep) {
  const std::wstring pattern = widen(join_path(download_folder, "*"));
  const std::wstring kept = widen(keep);
  WIN32_FIND_DATAW found{};
  const OwnedFind search(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, 0));
  if (!search) return;
  do {
    if (!sweep_deletes(found.dwFileAttributes)) continue;
    // File names compare as Windows compares them: without regard to case.
    if (CompareStringOrdinal(found.cFileName, -1, kept.c_str(), -1, TRUE) == CSTR_EQUAL) continue;
    DeleteFileW(widen(join_path(download_folder, narrow(found.cFileName))).c_str());
  } while (FindNextFileW(search.get(), &found));
}

}  // namespace qv
