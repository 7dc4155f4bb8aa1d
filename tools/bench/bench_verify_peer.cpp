// The platform's own ceiling for verification: a bare BCrypt SHA-512 loop over 1 MiB reads.
// bench_verify_peer.exe FILE prints "seconds=S peak_working_set=B digest=<first bytes in hex>".
#include "app/win.h"
// After <windows.h>.
#include <bcrypt.h>
#include <psapi.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_verify_peer FILE\n");
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);

  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> object(1024);
  BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA512_ALGORITHM, nullptr, 0);
  BCryptCreateHash(algorithm, &hash, object.data(), 1024, nullptr, 0, 0);
  HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::vector<UCHAR> buffer(1 << 20);
  DWORD read = 0;
  while (ReadFile(file, buffer.data(), 1 << 20, &read, nullptr) && read > 0) {
    BCryptHashData(hash, buffer.data(), read, 0);
  }
  UCHAR digest[64];
  BCryptFinishHash(hash, digest, 64, 0);
  CloseHandle(file);
  BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  QueryPerformanceCounter(&end);

  PROCESS_MEMORY_COUNTERS memory{};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("seconds=%.4f peak_working_set=%llu digest=%02x%02x%02x%02x\n",
              static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize), digest[0], digest[1],
              digest[2], digest[3]);
  return 0;
}
