// The demo release of `make run`: one small program that is both the setup program and the
// product. Run with "/D=<folder>" it installs itself there as Quorvane.exe; run without it (as the
// installer launches the product) it says that it runs.
#include <string>

#include "app/win.h"
// After <windows.h>.
#include <shlobj.h>

namespace {

std::wstring own_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// A real setup program takes a while; so does this one, so that the demo shows the installing
// screen long enough to be seen.
constexpr DWORD kInstallPauseMs = 2500;

int install(const std::wstring& folder) {
  Sleep(kInstallPauseMs);
  const int created = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS) return 2;
  const std::wstring product = folder + L"\\Quorvane.exe";
  return CopyFileW(own_path().c_str(), product.c_str(), FALSE) ? 0 : 3;
}

int run_product() {
  // A mark beside the product, so that a headless demo can see that it was launched.
  const std::wstring self = own_path();
  const std::wstring mark = self.substr(0, self.find_last_of(L'\\')) + L"\\launched.txt";
  HANDLE file = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, "launched\n", 9, &written, nullptr);
    CloseHandle(file);
  }
  MessageBoxW(nullptr, L"Quorvane is installed and running.\n\nThis is the demo product.",
              L"Quorvane", MB_OK | MB_ICONINFORMATION);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The installer passes "/D=" last and unquoted: the folder is the rest of the line.
  const std::wstring line = GetCommandLineW();
  const auto at = line.find(L" /D=");
  if (at != std::wstring::npos) return install(line.substr(at + 4));
  return run_product();
}
