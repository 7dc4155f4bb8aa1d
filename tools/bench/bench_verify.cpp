// Times our verification of one file: bench_verify.exe FILE BASE64_SHA512
// Prints "seconds=S peak_working_set=B result=ok|<reason>". Run by tools/bench/bench_verify.sh.
#include <atomic>
#include <cstdio>
#include <string>

#include "app/text_win.h"
#include "app/win.h"
// After <windows.h>.
#include <psapi.h>

#include "install/checksum.h"
#include "install/checksum_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_verify FILE BASE64_SHA512\n");
    return 2;
  }
  const std::string path = qv::narrow(argv[1]);
  const auto expected = qv::decode_feed_checksum(qv::narrow(argv[2]));
  if (!expected) return 2;
  const std::atomic<bool> go_on{false};

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const qv::Status verified = qv::verify_download(path, *expected, go_on);
  QueryPerformanceCounter(&end);

  PROCESS_MEMORY_COUNTERS memory{};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("seconds=%.4f peak_working_set=%llu result=%s\n",
              static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize),
              verified ? "ok" : verified.reason().c_str());
  return verified ? 0 : 1;
}
