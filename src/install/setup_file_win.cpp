#include "install/setup_file_win.h"

#include <string>

#include "app/text_win.h"
#include "install/checksum_win.h"
#include "install/location.h"

namespace qv {

Result<OwnedFile> hold_setup_file(std::string_view path, const BusyWait& wait) {
  const std::wstring wide = widen(path);
  OwnedFile file;
  const BusyOutcome opened = retry_while_busy(FileStep::Open, wait, [&]() -> std::uint32_t {
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
  retry_while_busy(FileStep::Delete, wait, [&]() -> std::uint32_t {
    return DeleteFileW(wide.c_str()) ? 0 : GetLastError();
  });
}

void remove_leftover_downloads(std::string_view download_folder, std::string_view keep) {
  const std::wstring pattern = widen(join_path(download_folder, "*"));
  const std::wstring kept = widen(keep);
  WIN32_FIND_DATAW found{};
  const OwnedFind search(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, 0));
  if (!search) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    // File names compare as Windows compares them: without regard to case.
    if (CompareStringOrdinal(found.cFileName, -1, kept.c_str(), -1, TRUE) == CSTR_EQUAL) continue;
    DeleteFileW(widen(join_path(download_folder, narrow(found.cFileName))).c_str());
  } while (FindNextFileW(search.get(), &found));
}

}  // namespace qv
