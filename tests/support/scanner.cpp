// A stand-in for an on-access virus scanner, for the tests under Wine: it takes a file
// exclusively, the way several scanners do, as soon as nobody else has it open.
//   scanner.exe hold PATH MS   waits (up to two minutes) until it can open PATH sharing nothing,
//                              holds it for MS milliseconds, then lets go and ends. Prints "held"
//                              when it took the file and "released" when it let go.
//   scanner.exe tamper PATH    another program trying to change the file: opens it for writing,
//                              then deletes it; prints both Windows error codes ("write=32
//                              delete=32"; 0 when the step worked) and ends with 0 only when
//                              both were refused.
#include <cstdio>
#include <cwchar>
#include <string>

#include "app/win.h"

namespace {

int hold(const wchar_t* path, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + 120000;
  for (;;) {
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      std::printf("held\n");
      std::fflush(stdout);
      Sleep(ms);
      CloseHandle(file);
      std::printf("released\n");
      std::fflush(stdout);
      return 0;
    }
    if (GetTickCount64() > deadline) {
      std::printf("never held (error %lu)\n", GetLastError());
      return 1;
    }
    Sleep(1);
  }
}

int tamper(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  const DWORD write_error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  const DWORD delete_error = DeleteFileW(path) ? 0 : GetLastError();
  std::printf("write=%lu delete=%lu\n", write_error, delete_error);
  return write_error != 0 && delete_error != 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"hold") == 0) {
    return hold(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  }
  if (argc == 3 && std::wcscmp(argv[1], L"tamper") == 0) return tamper(argv[2]);
  std::fprintf(stderr, "usage: scanner.exe hold PATH MS | tamper PATH\n");
  return 2;
}
