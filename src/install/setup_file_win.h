// The downloaded setup program's file from the end of its download until it has run: held open
// for reading with read sharing only, so that no other program can write to it, replace it or
// delete it meanwhile, and the bytes that were verified are the bytes that run.
#pragma once

#include <string_view>

#include "app/handles_win.h"
#include "app/result.h"
#include "install/busy_wait_win.h"

namespace qv {

// Opens the file for reading, sharing reading only; waits while another program has it in use.
// Reasons: kDownloadMissing when it is not there, kDownloadLocked when it stayed in use,
// kDownloadUnreadable for any other failure, "canceled".
Result<OwnedFile> hold_setup_file(std::string_view path, const BusyWait& wait);

// Lets go of `hold` and then deletes the file, waiting while another program has it in use.
// Whether it is gone in the end is not reported: a file left over is removed by the next run.
void delete_setup_file(std::string_view path, OwnedFile& hold, const BusyWait& wait);

// Deletes every file in the download folder but `keep` (the current release's download, which
// the run resumes or verifies): what earlier runs could not delete. One try each, no waiting.
void remove_leftover_downloads(std::string_view download_folder, std::string_view keep);

}  // namespace qv
