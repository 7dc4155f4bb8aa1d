#include "app/system_library_win.h"

#include <optional>

namespace qv {
namespace {

std::optional<WinHttpFunctions> load_winhttp() {
  // WinHTTP's TLS code may load bcrypt by name through a system DLL that ignores the restricted
  // search order (Wine's crypt32 does). With the system copy already in the process, that load
  // finds it there instead of searching the program's folder.
  (void)bcrypt_functions();
  const HMODULE module = load_system_library(L"winhttp.dll");
  WinHttpFunctions f;
  const bool ok = module && resolve(module, "WinHttpOpen", f.open) &&
                  resolve(module, "WinHttpSetTimeouts", f.set_timeouts) &&
                  resolve(module, "WinHttpConnect", f.connect) &&
                  resolve(module, "WinHttpOpenRequest", f.open_request) &&
                  resolve(module, "WinHttpSendRequest", f.send_request) &&
                  resolve(module, "WinHttpReceiveResponse", f.receive_response) &&
                  resolve(module, "WinHttpQueryHeaders", f.query_headers) &&
                  resolve(module, "WinHttpReadData", f.read_data) &&
                  resolve(module, "WinHttpCloseHandle", f.close_handle);
  if (!ok) return std::nullopt;
  return f;
}

std::optional<BCryptFunctions> load_bcrypt() {
  const HMODULE module = load_system_library(L"bcrypt.dll");
  BCryptFunctions f;
  const bool ok = module &&
                  resolve(module, "BCryptOpenAlgorithmProvider", f.open_algorithm_provider) &&
                  resolve(module, "BCryptCloseAlgorithmProvider", f.close_algorithm_provider) &&
                  resolve(module, "BCryptCreateHash", f.create_hash) &&
                  resolve(module, "BCryptHashData", f.hash_data) &&
                  resolve(module, "BCryptFinishHash", f.finish_hash) &&
                  resolve(module, "BCryptDestroyHash", f.destroy_hash) &&
                  resolve(module, "BCryptImportKeyPair", f.import_key_pair) &&
                  resolve(module, "BCryptDestroyKey", f.destroy_key) &&
                  resolve(module, "BCryptVerifySignature", f.verify_signature);
  if (!ok) return std::nullopt;
  return f;
}

std::optional<WinTrustFunctions> load_wintrust() {
  const HMODULE module = load_system_library(L"wintrust.dll");
  WinTrustFunctions f;
  const bool ok = module && resolve(module, "WinVerifyTrust", f.verify_trust) &&
                  resolve(module, "WTHelperProvDataFromStateData", f.provider_data) &&
                  resolve(module, "WTHelperGetProvSignerFromChain", f.signer_from_chain);
  if (!ok) return std::nullopt;
  return f;
}

std::optional<Crypt32Functions> load_crypt32() {
  const HMODULE module = load_system_library(L"crypt32.dll");
  Crypt32Functions f;
  if (!module || !resolve(module, "CertGetNameStringW", f.get_name_string)) return std::nullopt;
  return f;
}

AlphaBlendFunction load_alpha_blend() {
  const HMODULE module = load_system_library(L"msimg32.dll");
  AlphaBlendFunction f = nullptr;
  if (module) resolve(module, "AlphaBlend", f);
  return f;
}

std::optional<ShellFunctions> load_shell() {
  const HMODULE module = load_system_library(L"shell32.dll");
  ShellFunctions f;
  const bool ok = module && resolve(module, "ShellExecuteW", f.shell_execute) &&
                  resolve(module, "ShellExecuteExW", f.shell_execute_ex) &&
                  resolve(module, "SHBrowseForFolderW", f.browse_for_folder) &&
                  resolve(module, "SHGetPathFromIDListEx", f.path_from_id_list);
  if (!ok) return std::nullopt;
  return f;
}

std::optional<ComFunctions> load_com() {
  const HMODULE module = load_system_library(L"ole32.dll");
  ComFunctions f;
  const bool ok = module && resolve(module, "CoInitializeEx", f.initialize) &&
                  resolve(module, "CoUninitialize", f.uninitialize) &&
                  resolve(module, "CoTaskMemFree", f.task_mem_free);
  if (!ok) return std::nullopt;
  return f;
}

std::optional<OleaccFunctions> load_oleacc() {
  const HMODULE module = load_system_library(L"oleacc.dll");
  OleaccFunctions f;
  const bool ok = module && resolve(module, "LresultFromObject", f.lresult_from_object) &&
                  resolve(module, "CreateStdAccessibleObject", f.create_std_accessible_object);
  if (!ok) return std::nullopt;
  return f;
}

std::optional<OleautFunctions> load_oleaut() {
  const HMODULE module = load_system_library(L"oleaut32.dll");
  OleautFunctions f;
  if (!module || !resolve(module, "SysAllocStringLen", f.alloc_string_len)) return std::nullopt;
  return f;
}

// Whether COM was started on the window thread, so that its end is paired with it.
bool g_window_thread_com = false;

}  // namespace

HMODULE load_system_library(const wchar_t* name) {
  return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Function-local statics: made once, safely from any thread, and trivially destructible, so they
// stay valid for threads still running while the process ends.

const WinHttpFunctions* winhttp_functions() {
  static const std::optional<WinHttpFunctions> table = load_winhttp();
  return table ? &*table : nullptr;
}

const BCryptFunctions* bcrypt_functions() {
  static const std::optional<BCryptFunctions> table = load_bcrypt();
  return table ? &*table : nullptr;
}

const WinTrustFunctions* wintrust_functions() {
  static const std::optional<WinTrustFunctions> table = load_wintrust();
  return table ? &*table : nullptr;
}

const Crypt32Functions* crypt32_functions() {
  static const std::optional<Crypt32Functions> table = load_crypt32();
  return table ? &*table : nullptr;
}

AlphaBlendFunction alpha_blend_function() {
  static const AlphaBlendFunction function = load_alpha_blend();
  return function;
}

const ShellFunctions* shell_functions() {
  static const std::optional<ShellFunctions> table = load_shell();
  return table ? &*table : nullptr;
}

const ComFunctions* com_functions() {
  static const std::optional<ComFunctions> table = load_com();
  return table ? &*table : nullptr;
}

const OleaccFunctions* oleacc_functions() {
  static const std::optional<OleaccFunctions> table = load_oleacc();
  return table ? &*table : nullptr;
}

const OleautFunctions* oleaut_functions() {
  static const std::optional<OleautFunctions> table = load_oleaut();
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
