// Benchmark helper, not a test: downloads one URL with download_to_file and prints the time
// taken and the process's peak working set. Used by tools/bench/bench_download.sh.
//   bench_download.exe URL DESTINATION EXPECTED_SIZE
#include "app/win.h"
// After windows.h.
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/text_win.h"
#include "net/download_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fputs("usage: bench_download.exe URL DESTINATION EXPECTED_SIZE\n", stderr);
    return 2;
  }
  const std::string url = qv::narrow(argv[1]);
  const std::string destination = qv::narrow(argv[2]);
  const std::uint64_t expected = std::wcstoull(argv[3], nullptr, 10);
  DeleteFileW(argv[2]);  // a leftover would be resumed

  const auto start = std::chrono::steady_clock::now();
  const auto result = qv::download_to_file(url, destination, expected, "bench");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  if (!result) {
    std::printf("error=%s\n", result.reason().c_str());
    return 1;
  }
  std::printf("seconds=%.4f peak_working_set=%llu\n", seconds,
              static_cast<unsigned long long>(counters.PeakWorkingSetSize));
  return 0;
}
