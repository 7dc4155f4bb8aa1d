#include "app/system_library_win.h"

#include <type_traits>

namespace qv {
namespace {

// Whether COM was started on the window thread, so that its end is paired with it.
bool g_window_thread_com = false;

}  // namespace

HMODULE load_system_library(const wchar_t* name) {
  return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Each table is a function-local static: made once, safely from any thread, and trivially
// destructible, so it stays valid for threads still running while the process ends.
#define QV_SYSTEM_TABLE(Table, accessor, dll, LIST)                           \
  static_assert(std::is_trivially_destructible_v<std::optional<Table>>);      \
  const Table* accessor() {                                                   \
    static const std::optional<Table> table =                                 \
        load_system_table<Table>(dll, QV_SYSTEM_TABLE_RESOLVER(Table, LIST)); \
    return table ? &*table : nullptr;                                         \
  }

QV_SYSTEM_TABLE(BCryptFunctions, bcrypt_functions, L"bcrypt.dll", QV_BCRYPT_FUNCTIONS)
QV_SYSTEM_TABLE(WinTrustFunctions, wintrust_functions, L"wintrust.dll", QV_WINTRUST_FUNCTIONS)
QV_SYSTEM_TABLE(Crypt32Functions, crypt32_functions, L"crypt32.dll", QV_CRYPT32_FUNCTIONS)
QV_SYSTEM_TABLE(Msimg32Functions, msimg32_functions, L"msimg32.dll", QV_MSIMG32_FUNCTIONS)
QV_SYSTEM_TABLE(Kernel32Functions, kernel32_functions, L"kernel32.dll", QV_KERNEL32_FUNCTIONS)
QV_SYSTEM_TABLE(ShellFunctions, shell_functions, L"shell32.dll", QV_SHELL_FUNCTIONS)
QV_SYSTEM_TABLE(ComFunctions, com_functions, L"ole32.dll", QV_COM_FUNCTIONS)
QV_SYSTEM_TABLE(OleaccFunctions, oleacc_functions, L"oleacc.dll", QV_OLEACC_FUNCTIONS)
QV_SYSTEM_TABLE(OleautFunctions, oleaut_functions, L"oleaut32.dll", QV_OLEAUT_FUNCTIONS)
QV_SYSTEM_TABLE(GdiplusFunctions, gdiplus_functions, L"gdiplus.dll", QV_GDIPLUS_FUNCTIONS)
QV_SYSTEM_TABLE(ShlwapiFunctions, shlwapi_functions, L"shlwapi.dll", QV_SHLWAPI_FUNCTIONS)

static_assert(std::is_trivially_destructible_v<std::optional<WinHttpFunctions>>);
const WinHttpFunctions* winhttp_functions() {
  static const std::optional<WinHttpFunctions> table = [] {
    // WinHTTP's TLS code may load bcrypt by name through a system DLL that ignores the restricted
    // search order (Wine's crypt32 does). With the system copy already in the process, that load
    // finds it there instead of searching the program's folder.
    (void)bcrypt_functions();
    return load_system_table<WinHttpFunctions>(
        L"winhttp.dll", QV_SYSTEM_TABLE_RESOLVER(WinHttpFunctions, QV_WINHTTP_FUNCTIONS));
  }();
  return table ? &*table : nullptr;
}

bool start_window_thread_com() {
  if (g_window_thread_com) return true;
  const ComFunctions* com = com_functions();
  // S_FALSE means already started on this thread: it still needs its own end.
  g_window_thread_com = com && SUCCEEDED(com->initialize(nullptr, COINIT_APARTMENTTHREADED));
  return g_window_thread_com;
}

const ShellFunctions* window_thread_shell() {
  const ShellFunctions* shell = shell_functions();
  return shell && start_window_thread_com() ? shell : nullptr;
}

void end_window_thread_com() {
  if (!g_window_thread_com) return;
  com_functions()->uninitialize();
  g_window_thread_com = false;
}

}  // namespace qv
