// Benchmark program, not a test: the bare platform path of one install, what the installer's run
// from the Install click to Done is measured against in tools/bench/bench_road.py. It fetches
// the feed with WinHTTP, the setup program into a file (256 KiB reads written with WriteFile),
// hashes the file with BCrypt SHA-512 (1 MiB reads) against the feed's digest, runs it with
// "/S /currentuser /D=FOLDER", waits for it and deletes the file. No retries, no checks beyond
// these: the platform's floor.
//   bench_install_peer.exe FEED_BASE_URL FOLDER
// prints "done seconds=S exit=N" and the working sets, or "error=WHAT".
#include <cstring>
#include <string>
#include <vector>

#include "window_watch_win.h"
// After <windows.h>.
#include <bcrypt.h>
#include <wincrypt.h>
#include <winhttp.h>

namespace {

// GET of one URL: the body goes to `sink` block by block. False on any failure.
template <class Sink>
bool fetch(HINTERNET session, const std::wstring& url, Sink sink) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  wchar_t host[256];
  wchar_t path[2048];
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 2048;
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
  const HINTERNET connection = WinHttpConnect(session, host, parts.nPort, 0);
  const HINTERNET request =
      connection ? WinHttpOpenRequest(connection, L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                 : nullptr;
  bool ok = request &&
            WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                               0, 0, 0) &&
            WinHttpReceiveResponse(request, nullptr);
  std::vector<unsigned char> buffer(262144);
  while (ok) {
    DWORD read = 0;
    ok = WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read);
    if (!ok || read == 0) break;
    ok = sink(buffer.data(), read);
  }
  if (request) WinHttpCloseHandle(request);
  if (connection) WinHttpCloseHandle(connection);
  return ok;
}

std::string feed_value(const std::string& feed, const std::string& key) {
  const std::size_t at = feed.find(key + ": ");
  if (at == std::string::npos) return {};
  const std::size_t start = at + key.size() + 2;
  return feed.substr(start, feed.find_first_of("\r\n", start) - start);
}

bool sha512_matches(const std::wstring& file_path, const std::string& base64) {
  BYTE want[64];
  DWORD want_size = sizeof want;
  if (!CryptStringToBinaryA(base64.c_str(), 0, CRYPT_STRING_BASE64, want, &want_size, nullptr,
                            nullptr) ||
      want_size != 64) {
    return false;
  }
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA512_ALGORITHM, nullptr, 0);
  BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
  const HANDLE file = CreateFileW(file_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  std::vector<UCHAR> buffer(1 << 20);
  DWORD read = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer.data(), 1 << 20, &read, nullptr) &&
         read > 0) {
    BCryptHashData(hash, buffer.data(), read, 0);
  }
  UCHAR digest[64] = {};
  BCryptFinishHash(hash, digest, 64, 0);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return std::memcmp(digest, want, 64) == 0;
}

int fail(const char* what) {
  bench::say("error=%s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return fail("usage: bench_install_peer.exe FEED_BASE_URL FOLDER");
  const std::wstring base = argv[1];
  const std::wstring folder = argv[2];
  const double started = bench::now_ms();

  const HINTERNET session = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                        WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session) return fail("session");
  std::string feed;
  if (!fetch(session, base + L"latest.yml", [&](const unsigned char* bytes, DWORD count) {
        feed.append(reinterpret_cast<const char*>(bytes), count);
        return true;
      })) {
    return fail("feed");
  }
  const std::string name = feed_value(feed, "path");
  const std::string digest = feed_value(feed, "sha512");
  if (name.empty() || digest.empty()) return fail("feed lines");

  wchar_t temp[MAX_PATH + 1];
  const DWORD temp_length = GetTempPathW(MAX_PATH + 1, temp);
  if (temp_length == 0 || temp_length > MAX_PATH) return fail("temp");
  const std::wstring setup =
      std::wstring(temp, temp_length) + std::wstring(name.begin(), name.end());
  const HANDLE file = CreateFileW(setup.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fail("create");
  const bool fetched =
      fetch(session, base + std::wstring(name.begin(), name.end()),
            [&](const unsigned char* bytes, DWORD count) {
              DWORD written = 0;
              return WriteFile(file, bytes, count, &written, nullptr) && written == count;
            });
  CloseHandle(file);
  WinHttpCloseHandle(session);
  if (!fetched) return fail("download");
  const double downloaded = bench::now_ms();
  if (!sha512_matches(setup, digest)) return fail("checksum");
  const double verified = bench::now_ms();

  std::wstring command = L"\"" + setup + L"\" /S /currentuser /D=" + folder;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(setup.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return fail("start");
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 1;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  DeleteFileW(setup.c_str());

  const double ended = bench::now_ms();
  bench::say("done seconds=%.4f exit=%lu\n", (ended - started) / 1000.0, exit_code);
  // The same marks as the installer's screens: verification and setup begin.
  bench::say("phases verify_from=%.4f setup_from=%.4f\n", (downloaded - started) / 1000.0,
             (verified - started) / 1000.0);
  bench::say_memory("finished");
  return 0;
}
