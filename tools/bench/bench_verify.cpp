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
#include "install/setup_file_win.h"

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
  // Held as the install run holds it, and timed with the opening.
  qv::Result<qv::OwnedFile> hold = qv::hold_setup_file(path, qv::BusyWait{});
  const qv::Status verified = hold ? qv::verify_download(hold->get(), *expected, go_on)
                                   : qv::Status(qv::fail(hold.reason()));
  QueryPerformanceCounter(&end);

  PROCESS_MEMORY_COUNTERS memory{};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("seconds=%.4f peak_working_set=%llu result=%s\n",
              static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize),
              verified ? "ok" : verified.reason().c_str());
  return verified ? 0 : 1;
}
