// A stand-in for the product's setup program, for the tests under Wine. It records its exact
// command line and current folder in "<its own path>.record" (UTF-16, one per line), then does
// what the environment tells it:
//   QV_FAKE_SETUP_PRODUCT=1     create "Quorvane.exe" in the folder given after "/D="
//   QV_FAKE_SETUP_PRODUCT=copy  copy itself there as "Quorvane.exe", which records its launch
//   QV_FAKE_SETUP_SLEEP_MS=N    sleep N milliseconds before ending
//   QV_FAKE_SETUP_GATE=PATH     wait (up to a minute) until a file exists at PATH before ending
//   QV_FAKE_SETUP_EXIT=N        end with exit code N (decimal, or hexadecimal after "0x")
//   QV_FAKE_SETUP_COUNT=1       also add a line to "<its own path>.starts" at each start, so that
//                               a launch can be counted
#include <cwchar>
#include <string>

#include "app/win.h"

namespace {

std::wstring environment(const wchar_t* name) {
  wchar_t buffer[512];
  const DWORD length = GetEnvironmentVariableW(name, buffer, 512);
  return length > 0 && length < 512 ? std::wstring(buffer, length) : std::wstring();
}

void write_all(const std::wstring& path, const std::wstring& text, bool append = false) {
  HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
            nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t own_path[MAX_PATH * 4];
  const DWORD own_length = GetModuleFileNameW(nullptr, own_path, MAX_PATH * 4);
  wchar_t current[MAX_PATH * 4];
  const DWORD current_length = GetCurrentDirectoryW(MAX_PATH * 4, current);
  const std::wstring line = GetCommandLineW();
  write_all(std::wstring(own_path, own_length) + L".record",
            line + L"\n" + std::wstring(current, current_length) + L"\n");
  if (environment(L"QV_FAKE_SETUP_COUNT") == L"1") {
    write_all(std::wstring(own_path, own_length) + L".starts", L"started\n", true);
  }

  const std::wstring product = environment(L"QV_FAKE_SETUP_PRODUCT");
  const std::size_t at = line.rfind(L" /D=");
  if ((product == L"1" || product == L"copy") && at != std::wstring::npos) {
    std::wstring folder = line.substr(at + 4);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    if (product == L"1") {
      write_all(folder + L"Quorvane.exe", L"MZ");
    } else {
      CopyFileW(own_path, (folder + L"Quorvane.exe").c_str(), FALSE);
    }
  }
  const std::wstring sleep_ms = environment(L"QV_FAKE_SETUP_SLEEP_MS");
  if (!sleep_ms.empty()) Sleep(static_cast<DWORD>(std::wcstoul(sleep_ms.c_str(), nullptr, 10)));

  const std::wstring gate = environment(L"QV_FAKE_SETUP_GATE");
  for (int waited = 0; !gate.empty() && waited < 60000; waited += 20) {
    if (GetFileAttributesW(gate.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(20);
  }

  const std::wstring code = environment(L"QV_FAKE_SETUP_EXIT");
  ExitProcess(code.empty() ? 0u : static_cast<UINT>(std::wcstoul(code.c_str(), nullptr, 0)));
}
