// One move-only owner for every kind of platform handle. The invalid value is part of the type,
// so a handle is released exactly once on every path and a second close cannot be written.
#pragma once

#include <utility>

#include "app/win.h"

#ifdef QV_TEST_HOOKS
#include <atomic>
#include <typeinfo>
#endif

// WINTRUST_DATA, from <wintrust.h>.
struct _WINTRUST_DATA;

namespace qv {

#ifdef QV_TEST_HOOKS
// Test builds only: how many handles of each owner kind are alive, so that a test can prove that
// every one was closed again (the platform's own counters read 0 under Wine). The shipped program
// counts nothing.
struct LiveHandleCount {
  const char* kind;
  std::atomic<long> live;
  LiveHandleCount* next;
};

// The kinds met so far, newest first; entries are never removed.
inline std::atomic<LiveHandleCount*> live_handle_kinds{nullptr};

template <class Kind>
LiveHandleCount& live_handle_count() {
  static LiveHandleCount* const count = [] {
    auto* made = new LiveHandleCount{typeid(Kind).name(), {0}, live_handle_kinds.load()};
    while (!live_handle_kinds.compare_exchange_weak(made->next, made)) {
    }
    return made;
  }();
  return *count;
}
#endif

// Counts a handle coming into (+1) or leaving (-1) an owner of `Kind`; nothing in the shipped
// build.
template <class Kind, class Handle>
void note_owned(Handle handle, Handle invalid, int change) noexcept {
#ifdef QV_TEST_HOOKS
  if (handle != invalid) live_handle_count<Kind>().live += change;
#else
  (void)handle;
  (void)invalid;
  (void)change;
#endif
}

template <class Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;

  Owned() noexcept = default;
  explicit Owned(Handle handle) noexcept : handle_(handle) { note(handle_, +1); }
  Owned(Owned&& other) noexcept : handle_(other.release()) { note(handle_, +1); }
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

  Handle release() noexcept {
    note(handle_, -1);
    return std::exchange(handle_, Traits::invalid());
  }

  void reset(Handle handle = Traits::invalid()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    note(handle_, +1);
    if (old != Traits::invalid()) {
      Traits::close(old);
      note(old, -1);
    }
  }

#ifdef QV_TEST_HOOKS
  // The lent slot, counted once the call that fills it has returned.
  class Slot {
   public:
    explicit Slot(Handle& slot) noexcept : slot_(slot) {}
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { note(slot_, +1); }
    operator Handle*() const noexcept { return &slot_; }

   private:
    Handle& slot_;
  };

  Slot put() noexcept {
    reset();
    return Slot(handle_);
  }
#else
  // For out-parameters: releases what is held, then lends the slot.
  Handle* put() noexcept {
    reset();
    return &handle_;
  }
#endif

 private:
  static void note(Handle handle, int change) noexcept {
    note_owned<Traits>(handle, Traits::invalid(), change);
  }

  Handle handle_ = Traits::invalid();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { CloseHandle(h); }
};

// CreateFileW reports failure with INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(Handle h) noexcept { CloseHandle(h); }
};

// FindFirstFileExW reports failure with INVALID_HANDLE_VALUE; its handle is closed with FindClose.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(Handle h) noexcept { FindClose(h); }
};

// WinHTTP and BCrypt handles are void* in their headers. They are closed through the loaded
// functions (src/app/handles_win.cpp), so that this header needs nothing but <windows.h>. Such a
// handle exists only once its functions were loaded.
void close_internet_handle(void* handle) noexcept;   // WinHttpCloseHandle
void close_algorithm_handle(void* handle) noexcept;  // BCryptCloseAlgorithmProvider
void close_hash_handle(void* handle) noexcept;       // BCryptDestroyHash
void close_key_handle(void* handle) noexcept;        // BCryptDestroyKey

struct InternetHandleTraits {
  using Handle = void*;  // HINTERNET
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { close_internet_handle(h); }
};

struct AlgorithmHandleTraits {
  using Handle = void*;  // BCRYPT_ALG_HANDLE
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { close_algorithm_handle(h); }
};

struct HashHandleTraits {
  using Handle = void*;  // BCRYPT_HASH_HANDLE
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { close_hash_handle(h); }
};

struct KeyHandleTraits {
  using Handle = void*;  // BCRYPT_KEY_HANDLE
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { close_key_handle(h); }
};

template <class GdiHandle>
struct GdiObjectTraits {
  using Handle = GdiHandle;
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { DeleteObject(h); }
};

struct MemoryDcTraits {
  using Handle = HDC;
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { DeleteDC(h); }
};

// CreateActCtxW reports failure with INVALID_HANDLE_VALUE, not null.
struct ActivationContextTraits {
  using Handle = HANDLE;
  static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(Handle h) noexcept { ReleaseActCtx(h); }
};

// A COM interface pointer: one Release.
template <class Interface>
struct ComTraits {
  using Handle = Interface*;
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { h->Release(); }
};

using OwnedHandle = Owned<KernelHandleTraits>;
using OwnedFile = Owned<FileHandleTraits>;
using OwnedFind = Owned<FindHandleTraits>;
using OwnedInternet = Owned<InternetHandleTraits>;
using OwnedAlgorithm = Owned<AlgorithmHandleTraits>;
using OwnedHash = Owned<HashHandleTraits>;
using OwnedKey = Owned<KeyHandleTraits>;
using OwnedFont = Owned<GdiObjectTraits<HFONT>>;
using OwnedBrush = Owned<GdiObjectTraits<HBRUSH>>;
using OwnedPen = Owned<GdiObjectTraits<HPEN>>;
using OwnedRegion = Owned<GdiObjectTraits<HRGN>>;
using OwnedBitmap = Owned<GdiObjectTraits<HBITMAP>>;
using OwnedMemoryDc = Owned<MemoryDcTraits>;
using OwnedActivationContext = Owned<ActivationContextTraits>;

// A window's DC from GetDC, given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {
    note_owned<WindowDc>(dc_, HDC{}, +1);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) {
      ReleaseDC(window_, dc_);
      note_owned<WindowDc>(dc_, HDC{}, -1);
    }
  }
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

struct WinTrustFunctions;

// The state that WinVerifyTrust keeps between its verify and its close action (the signer's
// certificate among it): closed with the same call and the same record once read. Defined in
// src/app/handles_win.cpp, the one place that needs <wintrust.h>.
class TrustVerification {
 public:
  // Runs the verify action on `data` (its state action is set here); `result()` tells its answer.
  TrustVerification(const WinTrustFunctions& wintrust, GUID action, _WINTRUST_DATA& data) noexcept;
  TrustVerification(const TrustVerification&) = delete;
  TrustVerification& operator=(const TrustVerification&) = delete;
  ~TrustVerification();

  LONG result() const noexcept { return result_; }
  HANDLE state() const noexcept;

 private:
  const WinTrustFunctions& wintrust_;
  GUID action_;
  _WINTRUST_DATA& data_;
  LONG result_ = 0;
};

// Selects an object into a DC and puts the previous one back when the scope ends.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;
  ~SelectGuard() {
    if (selected()) SelectObject(dc_, previous_);
  }

  // Whether the object went into the DC.
  bool selected() const noexcept { return previous_ && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace qv
