#include "install/busy_wait_win.h"

#include <algorithm>

#include "app/win.h"

namespace qv {
namespace {

// A cancel ends a pause within this long.
constexpr unsigned kPauseSliceMs = 20;

bool canceled(const BusyWait& wait) {
  return wait.cancel && wait.cancel->load();
}

// False when the cancel was raised meanwhile.
bool pause(const BusyWait& wait, unsigned ms) {
  for (unsigned slept = 0; slept < ms; slept += kPauseSliceMs) {
    if (canceled(wait)) return false;
    Sleep(std::min(kPauseSliceMs, ms - slept));
  }
  return !canceled(wait);
}

}  // namespace

unsigned busy_bound(unsigned bound_ms) {
#ifdef QV_TEST_HOOKS
  if (test_busy_bound_ms) return std::min(bound_ms, *test_busy_bound_ms);
#endif
  return bound_ms;
}

std::uint32_t on_own_file(const wchar_t* path, const std::function<std::uint32_t()>& step) {
  const std::uint32_t error = step();
  if (error != kErrorAccessDenied) return error;
  const DWORD attributes = GetFileAttributesW(path);
  const auto read = attributes == INVALID_FILE_ATTRIBUTES
                        ? std::nullopt
                        : std::optional<std::uint32_t>(attributes);
  switch (denied_by(read)) {
    case DeniedBy::Folder:
      return kErrorIsFolder;
    case DeniedBy::OwnAttributes:
      if (SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL)) return step();
      break;
    case DeniedBy::Other:
      break;
  }
  return error;
}

BusyOutcome retry_on_own_file(FileStep kind, const BusyWait& wait, const wchar_t* path,
                              const std::function<std::uint32_t()>& step) {
  return retry_while_busy(kind, wait, [&] { return on_own_file(path, step); });
}

std::uint32_t delete_own_file(const wchar_t* path) {
  return on_own_file(path,
                     [path]() -> std::uint32_t { return DeleteFileW(path) ? 0 : GetLastError(); });
}

BusyOutcome retry_while_busy(FileStep kind, const BusyWait& wait,
                             const std::function<std::uint32_t()>& step) {
  BusyBackoff backoff(busy_bound(wait.bound_ms));
  bool shown = false;
  BusyOutcome outcome;
  for (;;) {
    outcome.error = step();
    if (!is_busy_error(kind, outcome.error)) break;
    const std::optional<unsigned> next = backoff.next_pause();
    if (!next) break;
    if (!shown && wait.show) wait.show(true);
    shown = true;
    if (!pause(wait, *next)) {
      outcome.canceled = true;
      break;
    }
  }
  if (shown && wait.show) wait.show(false);
  return outcome;
}

}  // namespace qv
