// The system DLLs that the program loads itself, from the system folder only. They are never
// imported: the loader looks for an imported DLL beside the program before it looks in the system
// folder (unless Windows always maps that DLL from there, as it does for kernel32 or user32), and
// the installer is usually started from a downloads folder where anyone may have saved a DLL of the
// same name. Every DLL that the program uses outside that always-mapped set is loaded here; the
// planted-DLL test plants a copy of each beside the installer.
#pragma once

#include "app/win.h"
// Order matters: these need <windows.h> first.
#include <bcrypt.h>
#include <objbase.h>
#include <oleacc.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wincrypt.h>
#include <winhttp.h>
// After <wincrypt.h>.
#include <softpub.h>
#include <wintrust.h>

namespace qv {

// `name` from the system folder, or null when it cannot be loaded from there. The module is kept
// for the life of the process.
HMODULE load_system_library(const wchar_t* name);

// Points `function` at the export `name` of `module` (an ordinal given through MAKEINTRESOURCEA);
// false, and `function` null, when there is none.
template <class Function>
bool resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

// Each table below is resolved once, on first use, from any thread; it is null when its DLL or
// any of its functions is missing, and then every later call returns null too. The WinHTTP table
// loads bcrypt first, since WinHTTP's TLS code pulls it in by name.

struct WinHttpFunctions {
  decltype(&::WinHttpOpen) open = nullptr;
  decltype(&::WinHttpSetTimeouts) set_timeouts = nullptr;
  decltype(&::WinHttpConnect) connect = nullptr;
  decltype(&::WinHttpOpenRequest) open_request = nullptr;
  decltype(&::WinHttpSendRequest) send_request = nullptr;
  decltype(&::WinHttpReceiveResponse) receive_response = nullptr;
  decltype(&::WinHttpQueryHeaders) query_headers = nullptr;
  decltype(&::WinHttpReadData) read_data = nullptr;
  decltype(&::WinHttpCloseHandle) close_handle = nullptr;
};
const WinHttpFunctions* winhttp_functions();  // winhttp.dll

struct BCryptFunctions {
  decltype(&::BCryptOpenAlgorithmProvider) open_algorithm_provider = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) close_algorithm_provider = nullptr;
  decltype(&::BCryptCreateHash) create_hash = nullptr;
  decltype(&::BCryptHashData) hash_data = nullptr;
  decltype(&::BCryptFinishHash) finish_hash = nullptr;
  decltype(&::BCryptDestroyHash) destroy_hash = nullptr;
  decltype(&::BCryptImportKeyPair) import_key_pair = nullptr;
  decltype(&::BCryptDestroyKey) destroy_key = nullptr;
  decltype(&::BCryptVerifySignature) verify_signature = nullptr;
};
const BCryptFunctions* bcrypt_functions();  // bcrypt.dll

// The setup program's Authenticode signature and its signer's name, checked only in programs
// built with a publisher, after the download: never on the way to the first frame.
struct WinTrustFunctions {
  decltype(&::WinVerifyTrust) verify_trust = nullptr;
  decltype(&::WTHelperProvDataFromStateData) provider_data = nullptr;
  decltype(&::WTHelperGetProvSignerFromChain) signer_from_chain = nullptr;
};
const WinTrustFunctions* wintrust_functions();  // wintrust.dll

struct Crypt32Functions {
  decltype(&::CertGetNameStringW) get_name_string = nullptr;
};
const Crypt32Functions* crypt32_functions();  // crypt32.dll

using AlphaBlendFunction = decltype(&::AlphaBlend);
AlphaBlendFunction alpha_blend_function();  // msimg32.dll

// The shell and COM are used only on a click (the folder picker, opening a page or the product),
// so they are not imported either: their load and start-up stay off the way to the first frame.
struct ShellFunctions {
  decltype(&::ShellExecuteW) shell_execute = nullptr;
  decltype(&::ShellExecuteExW) shell_execute_ex = nullptr;
  decltype(&::SHBrowseForFolderW) browse_for_folder = nullptr;
  decltype(&::SHGetPathFromIDListEx) path_from_id_list = nullptr;
};
const ShellFunctions* shell_functions();  // shell32.dll

struct ComFunctions {
  decltype(&::CoInitializeEx) initialize = nullptr;
  decltype(&::CoUninitialize) uninitialize = nullptr;
  decltype(&::CoTaskMemFree) task_mem_free = nullptr;
};
const ComFunctions* com_functions();  // ole32.dll

// Screen readers: loaded only when one asks the window for its accessible object.
struct OleaccFunctions {
  decltype(&::LresultFromObject) lresult_from_object = nullptr;
  decltype(&::CreateStdAccessibleObject) create_std_accessible_object = nullptr;
};
const OleaccFunctions* oleacc_functions();  // oleacc.dll

// The strings those objects hand out.
struct OleautFunctions {
  decltype(&::SysAllocStringLen) alloc_string_len = nullptr;
};
const OleautFunctions* oleaut_functions();  // oleaut32.dll

// The shell for the window thread, with the COM its dialogs and verbs need started there on the
// first call; null when either can't be had. COM is ended by end_window_thread_com(). All three
// only on the window thread.
const ShellFunctions* window_thread_shell();
// COM started on the window thread (once), as handing an object to another process needs.
bool start_window_thread_com();
void end_window_thread_com();

}  // namespace qv
