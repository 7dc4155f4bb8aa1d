// The owners whose release goes through a loaded DLL: here, so that src/app/handles_win.h needs no
// header of those DLLs.
#include "app/handles_win.h"

#include <type_traits>

#include "app/system_library_win.h"

namespace qv {

static_assert(std::is_same_v<InternetHandleTraits::Handle, HINTERNET>);
static_assert(std::is_same_v<AlgorithmHandleTraits::Handle, BCRYPT_ALG_HANDLE>);
static_assert(std::is_same_v<HashHandleTraits::Handle, BCRYPT_HASH_HANDLE>);
static_assert(std::is_same_v<KeyHandleTraits::Handle, BCRYPT_KEY_HANDLE>);
static_assert(std::is_same_v<_WINTRUST_DATA, WINTRUST_DATA>);

void close_internet_handle(void* handle) noexcept {
  winhttp_functions()->close_handle(handle);
}

void close_algorithm_handle(void* handle) noexcept {
  bcrypt_functions()->close_algorithm_provider(handle, 0);
}

void close_hash_handle(void* handle) noexcept {
  bcrypt_functions()->destroy_hash(handle);
}

void close_key_handle(void* handle) noexcept {
  bcrypt_functions()->destroy_key(handle);
}

TrustVerification::TrustVerification(const WinTrustFunctions& wintrust, GUID action,
                                     WINTRUST_DATA& data) noexcept
    : wintrust_(wintrust), action_(action), data_(data) {
  data_.dwStateAction = WTD_STATEACTION_VERIFY;
  result_ = wintrust_.verify_trust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
  note_owned<TrustVerification>(data_.hWVTStateData, HANDLE{}, +1);
}

TrustVerification::~TrustVerification() {
  if (!data_.hWVTStateData) return;
  const HANDLE state = data_.hWVTStateData;
  data_.dwStateAction = WTD_STATEACTION_CLOSE;
  wintrust_.verify_trust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
  note_owned<TrustVerification>(state, HANDLE{}, -1);
}

HANDLE TrustVerification::state() const noexcept {
  return data_.hWVTStateData;
}

}  // namespace qv
