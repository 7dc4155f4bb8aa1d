// The control for the planted-DLL test: a program that imports winhttp, bcrypt, msimg32 and oleacc
// the ordinary way, through its import table, as the installer once did with the first three.
// Started beside the planted copies it must load all of them, which shows that the test can see a
// planted DLL load. Built with QV_CONTROL_WINTRUST it imports wintrust alone, for the publisher
// check's case.
#include "app/win.h"
// After <windows.h>.
#include <bcrypt.h>
#include <oleacc.h>
#include <wincrypt.h>
#include <winhttp.h>
#include <wintrust.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Named so that the linker keeps the imports; never called, since the planted copies export
  // nothing and Wine would stop at the first call.
  volatile bool never = false;
  if (never) {
#ifdef QV_CONTROL_WINTRUST
    WinVerifyTrust(nullptr, nullptr, nullptr);
#else
    WinHttpCheckPlatform();
    BCryptCloseAlgorithmProvider(nullptr, 0);
    AlphaBlend(nullptr, 0, 0, 0, 0, nullptr, 0, 0, 0, 0, BLENDFUNCTION{});
    GetRoleTextW(0, nullptr, 0);
#endif
  }
  return 0;
}
