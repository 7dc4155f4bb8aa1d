// MinGW only (MSVC has /GS with its own cookie): the stack guard's value and the two failure
// ends that -fstack-protector-strong and _FORTIFY_SOURCE call, defined here so that libssp's own
// are not linked. libssp draws the guard through CryptAcquireContext, which loads a crypto
// provider on every start (about 30 ms under Wine, before the window can show); the system's
// random source that the C runtime itself uses costs a fraction of a millisecond. This file is
// built without the stack protector: it changes the guard that protected frames compare against.
#include <cstdint>

#include "app/win.h"

extern "C" {

// RtlGenRandom, exported by advapi32 under this name.
BOOLEAN NTAPI SystemFunction036(PVOID buffer, ULONG length);

// Read by every protected function on entry and compared on return.
void* __stack_chk_guard = nullptr;

[[noreturn]] static void fail_fast(const char* message) {
  // The texts stay in the image, stripped or not: the build's hardening check looks for them.
  OutputDebugStringA(message);
  TerminateProcess(GetCurrentProcess(), 0xC0000409);  // STATUS_STACK_BUFFER_OVERRUN, as /GS reports
  __builtin_unreachable();
}

[[noreturn]] void __stack_chk_fail() {
  fail_fast("*** stack smashing detected ***: terminated\n");
}

[[noreturn]] void __stack_chk_fail_local() {
  __stack_chk_fail();
}

[[noreturn]] void __chk_fail() {
  fail_fast("*** buffer overflow detected ***: terminated\n");
}

}  // extern "C"

namespace {

// Set while static objects are made, before the entry runs: no protected frame of ours is live
// yet to see the value change.
[[maybe_unused]] const bool g_guard_set = [] {
  std::uintptr_t guard = 0;
  if (!SystemFunction036(&guard, sizeof guard) || guard == 0) {
    // What the C runtime falls back on: values that differ per process and per start.
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    guard = static_cast<std::uintptr_t>(counter.QuadPart) ^ GetCurrentProcessId() ^
            (static_cast<std::uintptr_t>(GetCurrentThreadId()) << 32) ^
            reinterpret_cast<std::uintptr_t>(&guard) ^ 0x2B992DDFA232ull;
  }
  __stack_chk_guard = reinterpret_cast<void*>(guard);
  return true;
}();

}  // namespace
