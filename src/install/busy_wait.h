// Waiting out another program's hold on a file. On-access virus scanners open a freshly written
// program exclusively for a few seconds, endpoint agents for longer: a step that finds the file in
// use tries again after a pause instead of failing with a false reason. Pure logic: which answers
// of Windows mean "in use", the schedule of pauses and the texts; the waiting is busy_wait_win's.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qv {

// The Windows error codes told apart here (winerror.h), named so that no Windows header is needed.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;
// ERROR_DIRECTORY: what a step answers here for a folder where a file of ours should be.
inline constexpr std::uint32_t kErrorIsFolder = 267;

// File attributes (winnt.h), likewise.
inline constexpr std::uint32_t kAttributeReadOnly = 0x1;
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeDevice = 0x40;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;

// Pauses double from the first to the longest; the waits of one step add up to the bound at most.
inline constexpr unsigned kBusyFirstPauseMs = 100;
inline constexpr unsigned kBusyLongestPauseMs = 2000;
inline constexpr unsigned kBusyBoundMs = 30000;
// The setup program's file after it has run: a left-over file costs little, so Done is not held
// up long for it (the next run removes what is left).
inline constexpr unsigned kBusyDeleteBoundMs = 5000;

enum class FileStep { Open, Start, Delete, Launch };

// Whether `error` from `step` says that another program has the file in use: a sharing or lock
// violation on every step, and "access denied" when opening or deleting (what a file that another
// program is deleting, or is quarantining, answers). Starting a program that Windows refuses with
// "access denied" is a block, not a hold.
bool is_busy_error(FileStep step, std::uint32_t error);

// What an "access denied" on a file of our own (the download) comes from, by the attributes of
// what its path names now (nothing when they can't be read): a folder of that name, which no wait
// will ever make writable; read-only, hidden or system attributes, ours to clear (CREATE_ALWAYS
// with normal attributes fails over a hidden or system file, deletion over a read-only one); or
// something else, such as a file pending deletion or another program's hold, which is waited out.
enum class DeniedBy { Folder, OwnAttributes, Other };
DeniedBy denied_by(std::optional<std::uint32_t> attributes);

// The pauses of one step: none before the first try, then 100 ms, 200 ms, ... up to 2 s each,
// the last one cut so that all of them add up to `bound_ms` exactly.
class BusyBackoff {
 public:
  explicit BusyBackoff(unsigned bound_ms) : bound_ms_(bound_ms) {}

  // The pause before the next try, or nothing once the bound is spent.
  std::optional<unsigned> next_pause();
  unsigned waited_ms() const { return waited_ms_; }

 private:
  unsigned bound_ms_;
  unsigned waited_ms_ = 0;
  unsigned next_ms_ = kBusyFirstPauseMs;
};

// The detail line while a step waits; each fits the card's width at 96 DPI.
inline constexpr std::string_view kWaitingForDownload =
    "Waiting for another program to release the download...";
inline constexpr std::string_view kWaitingForProduct =
    "Waiting for another program to release Quorvane...";

// The reason when the bound is spent and the setup program's file is still in use.
inline constexpr std::string_view kDownloadLocked =
    "another program kept the download locked (often security software)";

}  // namespace qv
