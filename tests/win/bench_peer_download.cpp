// Benchmark helper, not a test: the platform's ceiling for a download, a bare loop of 256 KiB
// WinHttpReadData calls written with WriteFile. Prints the time taken and the peak working set.
//   bench_peer_download.exe URL DESTINATION
#include <windows.h>
// After windows.h.
#include <psapi.h>
#include <winhttp.h>

#include <chrono>
#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: bench_peer_download.exe URL DESTINATION\n", stderr);
    return 2;
  }
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  wchar_t host[256];
  wchar_t path[2048];
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 2048;
  if (!WinHttpCrackUrl(argv[1], 0, 0, &parts)) return 2;

  const auto start = std::chrono::steady_clock::now();
  HINTERNET session = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  HINTERNET connection = WinHttpConnect(session, host, parts.nPort, 0);
  HINTERNET request = WinHttpOpenRequest(connection, L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
  if (!request ||
      !WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                          0) ||
      !WinHttpReceiveResponse(request, nullptr)) {
    std::puts("error=request");
    return 1;
  }
  HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<unsigned char> buffer(262144);
  unsigned long long total = 0;
  for (;;) {
    DWORD read = 0;
    if (!WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
      std::puts("error=read");
      return 1;
    }
    if (read == 0) break;
    DWORD written = 0;
    WriteFile(file, buffer.data(), read, &written, nullptr);
    total += read;
  }
  CloseHandle(file);
  WinHttpCloseHandle(request);
  WinHttpCloseHandle(connection);
  WinHttpCloseHandle(session);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  std::printf("seconds=%.4f peak_working_set=%llu bytes=%llu\n", seconds,
              static_cast<unsigned long long>(counters.PeakWorkingSetSize), total);
  return 0;
}
