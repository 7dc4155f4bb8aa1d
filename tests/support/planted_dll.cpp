// A stand-in for a DLL that someone saved beside the installer, built under the name of each DLL
// the installer must only ever load from the system folder. Loaded into a process, it appends its
// own path and a line end (UTF-16) to the file named by QV_PLANTED_LOG, and does nothing else: it
// exports nothing, so a program that calls into it would fail, but the record is made first.
#include "app/win.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t log[1024];
  const DWORD log_length = GetEnvironmentVariableW(L"QV_PLANTED_LOG", log, 1024);
  if (log_length == 0 || log_length >= 1024) return TRUE;
  wchar_t line[1024];
  DWORD length = GetModuleFileNameW(instance, line, 1022);
  line[length++] = L'\n';
  const HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(length * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
  return TRUE;
}
