// The system DLLs that the program loads itself, from the system folder only. They are never
// imported: the loader looks for an imported DLL beside the program before it looks in the system
// folder (unless Windows always maps that DLL from there, as it does for kernel32 or user32), and
// the installer is usually started from a downloads folder where anyone may have saved a DLL of the
// same name. Every DLL that the program uses outside that always-mapped set is loaded here; the
// planted-DLL test plants a copy of each beside the installer.
//
// This is the one way the program reaches a function it does not import: each DLL's functions are
// named once, in a list below, and come as a table from that DLL's accessor.
#pragma once

#include "app/win.h"
// Order matters: these need <windows.h> first.
#include <bcrypt.h>
#include <objbase.h>
#include <oleacc.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wincrypt.h>
#include <winhttp.h>
// After <wincrypt.h>.
#include <softpub.h>
#include <wintrust.h>

// The SDK's GDI+ headers use min and max, which NOMINMAX keeps out of <windows.h>.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <optional>

namespace qv {

// `name` from the system folder, or null when it cannot be loaded from there. The module is kept
// for the life of the process.
HMODULE load_system_library(const wchar_t* name);

// How a list entry is looked up, and whether its table can do without it.
struct SystemExport {
  WORD ordinal = 0;  // 0: by the declaration's name
  bool required = true;
};
inline constexpr SystemExport kRequired{};
// Null in the table when the DLL lacks it; the table is made all the same.
inline constexpr SystemExport kOptional{0, false};
// Some systems export the function under its number only.
constexpr SystemExport by_ordinal(WORD number) {
  return SystemExport{number, true};
}

// Functions that only newer SDKs' headers declare, declared here for their type only: never
// defined, never called by this name.
namespace newer_sdk {
DWORD WINAPI GetTempPath2W(DWORD buffer_length, LPWSTR buffer);
}  // namespace newer_sdk

// Each list is X(member, declaration, how) for every function the program uses of one DLL: the
// table's member, typed as the declaration, is looked up by the declaration's name without its
// namespaces, or by ordinal. A table is made once, on first use, from any thread; it is null when
// its DLL or any required function is missing, and then stays null.

#define QV_WINHTTP_FUNCTIONS(X)                          \
  X(open, WinHttpOpen, kRequired)                        \
  X(set_timeouts, WinHttpSetTimeouts, kRequired)         \
  X(connect, WinHttpConnect, kRequired)                  \
  X(open_request, WinHttpOpenRequest, kRequired)         \
  X(send_request, WinHttpSendRequest, kRequired)         \
  X(receive_response, WinHttpReceiveResponse, kRequired) \
  X(query_headers, WinHttpQueryHeaders, kRequired)       \
  X(read_data, WinHttpReadData, kRequired)               \
  X(close_handle, WinHttpCloseHandle, kRequired)

#define QV_BCRYPT_FUNCTIONS(X)                                         \
  X(open_algorithm_provider, BCryptOpenAlgorithmProvider, kRequired)   \
  X(close_algorithm_provider, BCryptCloseAlgorithmProvider, kRequired) \
  X(create_hash, BCryptCreateHash, kRequired)                          \
  X(hash_data, BCryptHashData, kRequired)                              \
  X(finish_hash, BCryptFinishHash, kRequired)                          \
  X(destroy_hash, BCryptDestroyHash, kRequired)                        \
  X(import_key_pair, BCryptImportKeyPair, kRequired)                   \
  X(destroy_key, BCryptDestroyKey, kRequired)                          \
  X(verify_signature, BCryptVerifySignature, kRequired)

// The setup program's Authenticode signature and its signer's name, checked only in programs
// built with a publisher, after the download: never on the way to the first frame.
#define QV_WINTRUST_FUNCTIONS(X)                             \
  X(verify_trust, WinVerifyTrust, kRequired)                 \
  X(provider_data, WTHelperProvDataFromStateData, kRequired) \
  X(signer_from_chain, WTHelperGetProvSignerFromChain, kRequired)

#define QV_CRYPT32_FUNCTIONS(X) X(get_name_string, CertGetNameStringW, kRequired)

// The card's tint; without it the card is drawn untinted.
#define QV_MSIMG32_FUNCTIONS(X) X(alpha_blend, AlphaBlend, kOptional)

// Older systems (and Wine) lack it; GetTempPathW is used then.
#define QV_KERNEL32_FUNCTIONS(X) X(get_temp_path2, newer_sdk::GetTempPath2W, kOptional)

// The shell and COM are used only on a click (the folder picker, opening a page or the product),
// so they are not imported either: their load and start-up stay off the way to the first frame.
#define QV_SHELL_FUNCTIONS(X)                         \
  X(shell_execute, ShellExecuteW, kRequired)          \
  X(shell_execute_ex, ShellExecuteExW, kRequired)     \
  X(browse_for_folder, SHBrowseForFolderW, kRequired) \
  X(path_from_id_list, SHGetPathFromIDListEx, kRequired)

#define QV_COM_FUNCTIONS(X)                  \
  X(initialize, CoInitializeEx, kRequired)   \
  X(uninitialize, CoUninitialize, kRequired) \
  X(task_mem_free, CoTaskMemFree, kRequired)

// Screen readers: loaded only when one asks the window for its accessible object.
#define QV_OLEACC_FUNCTIONS(X)                         \
  X(lresult_from_object, LresultFromObject, kRequired) \
  X(create_std_accessible_object, CreateStdAccessibleObject, kRequired)

// The strings those objects hand out.
#define QV_OLEAUT_FUNCTIONS(X) X(alloc_string_len, SysAllocStringLen, kRequired)

// Decoding the animated logo, on the picture thread after the first frame.
#define QV_GDIPLUS_FUNCTIONS(X)                                                            \
  X(startup, Gdiplus::GdiplusStartup, kRequired)                                           \
  X(shutdown, Gdiplus::GdiplusShutdown, kRequired)                                         \
  X(create_bitmap_from_stream, Gdiplus::DllExports::GdipCreateBitmapFromStream, kRequired) \
  X(get_image_width, Gdiplus::DllExports::GdipGetImageWidth, kRequired)                    \
  X(get_image_height, Gdiplus::DllExports::GdipGetImageHeight, kRequired)                  \
  X(bitmap_lock_bits, Gdiplus::DllExports::GdipBitmapLockBits, kRequired)                  \
  X(bitmap_unlock_bits, Gdiplus::DllExports::GdipBitmapUnlockBits, kRequired)              \
  X(dispose_image, Gdiplus::DllExports::GdipDisposeImage, kRequired)

// A stream over a copy of the given bytes, for GDI+. Older systems export it by ordinal 12 only;
// the ordinal works on every system.
#define QV_SHLWAPI_FUNCTIONS(X) X(create_mem_stream, SHCreateMemStream, by_ordinal(12))

#define QV_SYSTEM_TABLE_MEMBER(member, declaration, how) decltype(&declaration) member = nullptr;

// The WinHTTP table loads bcrypt first, since WinHTTP's TLS code pulls it in by name.
struct WinHttpFunctions {
  QV_WINHTTP_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const WinHttpFunctions* winhttp_functions();  // winhttp.dll

struct BCryptFunctions {
  QV_BCRYPT_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const BCryptFunctions* bcrypt_functions();  // bcrypt.dll

struct WinTrustFunctions {
  QV_WINTRUST_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const WinTrustFunctions* wintrust_functions();  // wintrust.dll

struct Crypt32Functions {
  QV_CRYPT32_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const Crypt32Functions* crypt32_functions();  // crypt32.dll

struct Msimg32Functions {
  QV_MSIMG32_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const Msimg32Functions* msimg32_functions();  // msimg32.dll

// AlphaBlend from the table above; null without it.
using AlphaBlendFunction = decltype(&::AlphaBlend);
inline AlphaBlendFunction alpha_blend_function() {
  const Msimg32Functions* msimg32 = msimg32_functions();
  return msimg32 ? msimg32->alpha_blend : nullptr;
}

struct Kernel32Functions {
  QV_KERNEL32_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const Kernel32Functions* kernel32_functions();  // kernel32.dll

struct ShellFunctions {
  QV_SHELL_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const ShellFunctions* shell_functions();  // shell32.dll

struct ComFunctions {
  QV_COM_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const ComFunctions* com_functions();  // ole32.dll

struct OleaccFunctions {
  QV_OLEACC_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const OleaccFunctions* oleacc_functions();  // oleacc.dll

struct OleautFunctions {
  QV_OLEAUT_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const OleautFunctions* oleaut_functions();  // oleaut32.dll

struct GdiplusFunctions {
  QV_GDIPLUS_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const GdiplusFunctions* gdiplus_functions();  // gdiplus.dll

struct ShlwapiFunctions {
  QV_SHLWAPI_FUNCTIONS(QV_SYSTEM_TABLE_MEMBER)
};
const ShlwapiFunctions* shlwapi_functions();  // shlwapi.dll

// The shell for the window thread, with the COM its dialogs and verbs need started there on the
// first call; null when either can't be had. COM is ended by end_window_thread_com(). All three
// only on the window thread.
const ShellFunctions* window_thread_shell();
// COM started on the window thread (once), as handing an object to another process needs.
bool start_window_thread_com();
void end_window_thread_com();

// How the tables above are made; declared here so that a test can make one of its own list.

// The export a list entry names: its declaration without the namespaces around it.
constexpr const char* export_name(const char* declaration) {
  const char* name = declaration;
  for (const char* at = declaration; *at != '\0'; ++at) {
    if (*at == ':') name = at + 1;
  }
  return name;
}

// Points `function` at the export of `module` that `how` names for `declaration`: false only when
// it is missing and required.
template <class Function>
bool resolve_export(HMODULE module, const char* declaration, SystemExport how, Function& function) {
  const char* lookup = how.ordinal != 0 ? MAKEINTRESOURCEA(how.ordinal) : export_name(declaration);
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, lookup)));
  return function != nullptr || !how.required;
}

template <class Table>
using SystemTableResolver = bool (*)(HMODULE, Table&);

#define QV_SYSTEM_TABLE_RESOLVE(member, declaration, how) \
  if (!resolve_export(module, #declaration, how, table.member)) return false;
// A resolver for `Table` from its list: every entry, stopping at a missing required one.
#define QV_SYSTEM_TABLE_RESOLVER(Table, LIST) \
  [](HMODULE module, Table& table) {          \
    LIST(QV_SYSTEM_TABLE_RESOLVE)             \
    return true;                              \
  }

// `dll` from the system folder and the table `resolve_all` makes of it; nothing when the DLL or a
// required entry is missing.
template <class Table>
std::optional<Table> load_system_table(const wchar_t* dll, SystemTableResolver<Table> resolve_all) {
  const HMODULE module = load_system_library(dll);
  Table table;
  if (!module || !resolve_all(module, table)) return std::nullopt;
  return table;
}

}  // namespace qv
