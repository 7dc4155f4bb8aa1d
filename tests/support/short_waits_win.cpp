// Linked into a test build of the installer, beside its unchanged entry and the core with the
// test hooks: before the entry runs, the environment may shorten what the installer waits for a
// file that another program holds, and make starting the setup program fail as Windows fails it
// for a blocked program.
//   QV_TEST_BUSY_BOUND_MS=N       every wait for a held file gives up after N ms (30 s shipped)
//   QV_TEST_SETUP_START_ERROR=N   starting the setup program fails with Windows error N
#include <cwchar>

#include "app/win.h"
#include "install/busy_wait_win.h"
#include "install/setup_runner_win.h"

namespace {

std::optional<unsigned long> number(const wchar_t* name) {
  wchar_t value[32];
  const DWORD length = GetEnvironmentVariableW(name, value, 32);
  if (length == 0 || length >= 32) return std::nullopt;
  return std::wcstoul(value, nullptr, 10);
}

[[maybe_unused]] const bool g_applied = [] {
  if (const auto bound = number(L"QV_TEST_BUSY_BOUND_MS")) {
    qv::test_busy_bound_ms = static_cast<unsigned>(*bound);
  }
  if (const auto error = number(L"QV_TEST_SETUP_START_ERROR")) {
    qv::test_setup_start_error = static_cast<std::uint32_t>(*error);
  }
  return true;
}();

}  // namespace
