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
                  resolve(module, "BCryptDestroyHash", f.destroy_hash);
  if (!ok) return std::nullopt;
  return f;
}

AlphaBlendFunction load_alpha_blend() {
  const HMODULE module = load_system_library(L"msimg32.dll");
  AlphaBlendFunction f = nullptr;
  if (module) resolve(module, "AlphaBlend", f);
  return f;
}

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

AlphaBlendFunction alpha_blend_function() {
  static const AlphaBlendFunction function = load_alpha_blend();
  return function;
}

}  // namespace qv
