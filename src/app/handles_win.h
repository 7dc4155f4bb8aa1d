// One move-only owner for every kind of platform handle. The invalid value is part of the type,
// so a handle is released exactly once on every path and a second close cannot be written.
#pragma once

#include <utility>

#include "app/system_library_win.h"
#include "app/win.h"

namespace qv {

template <class Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;

  Owned() noexcept = default;
  explicit Owned(Handle handle) noexcept : handle_(handle) {}
  Owned(Owned&& other) noexcept : handle_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

  Handle release() noexcept { return std::exchange(handle_, Traits::invalid()); }

  void reset(Handle handle = Traits::invalid()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (old != Traits::invalid()) Traits::close(old);
  }

  // For out-parameters: releases what is held, then lends the slot.
  Handle* put() noexcept {
    reset();
    return &handle_;
  }

 private:
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

// A WinHTTP or BCrypt handle exists only once its functions were loaded.
struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { winhttp_functions()->close_handle(h); }
};

struct AlgorithmHandleTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { bcrypt_functions()->close_algorithm_provider(h, 0); }
};

struct HashHandleTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { bcrypt_functions()->destroy_hash(h); }
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

// A COM interface pointer: one Release.
template <class Interface>
struct ComTraits {
  using Handle = Interface*;
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { h->Release(); }
};

using OwnedHandle = Owned<KernelHandleTraits>;
using OwnedFile = Owned<FileHandleTraits>;
using OwnedInternet = Owned<InternetHandleTraits>;
using OwnedAlgorithm = Owned<AlgorithmHandleTraits>;
using OwnedHash = Owned<HashHandleTraits>;
using OwnedFont = Owned<GdiObjectTraits<HFONT>>;
using OwnedBrush = Owned<GdiObjectTraits<HBRUSH>>;
using OwnedPen = Owned<GdiObjectTraits<HPEN>>;
using OwnedRegion = Owned<GdiObjectTraits<HRGN>>;
using OwnedBitmap = Owned<GdiObjectTraits<HBITMAP>>;
using OwnedMemoryDc = Owned<MemoryDcTraits>;

// A window's DC from GetDC, given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
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
