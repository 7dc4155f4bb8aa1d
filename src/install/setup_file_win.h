// The downloaded setup program's file from the end of its download until it has run: held open
// for reading with read sharing only, so that no other program can write to it, replace it or
// delete it meanwhile, and the bytes that were verified are the bytes that run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/handles_win.h"
#include "app/result.h"
#include "install/busy_wait_win.h"

namespace qv {

// The size of the file at `path`; nothing when there is none, or a folder stands there.
std::optional<std::uint64_t> file_size_of(const std::wstring& path);

// Whether the download folder is a plain folder, not a junction or a symbolic link, whose files
// would be another folder's: the sweep and the download's own deletions would reach them.
bool is_plain_folder(std::string_view folder);

// The download folder, made with its parents when missing, held open without delete sharing so
// that it can't be renamed or replaced by a link while the run uses it, and checked to be a plain
// folder. An empty handle when it can't be made, opened or is a link: the run can't use it.
OwnedFile open_download_folder(std::string_view folder);

// Opens the file for reading, sharing reading only; waits while another program has it in use.
// Reasons: kDownloadMissing when it is not there, kDownloadLocked when it stayed in use,
// kDownloadUnreadable for any other failure, "canceled".
Result<OwnedFile> hold_setup_file(std::string_view path, const BusyWait& wait);

// Lets go of `hold` and then deletes the file, waiting while another program has it in use.
// Whether it is gone in the end is not reported: a file left over is removed by the next run.
void delete_setup_file(std::string_view path, OwnedFile& hold, const BusyWait& wait);

// Deletes every plain file in the download folder but `keep` (the current release's download,
// which the run resumes or verifies): what earlier runs could not delete. Folders, junctions and
// symbolic links in it are left alone. One try each, no waiting.
void remove_leftover_downloads(std::string_view download_folder, std::string_view keep);

}  // namespace qv
