// Process entry of the installer: the whole program, with the install worker as what Install runs.
#include <string>
#include <utility>
#include "app/startup_win.h"

#include "app/win.h"
#include "install/install_worker_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The keys and the publisher linked into this program (a generated trust_settings.cpp).
  const qv::TrustSettings& trust = qv::built_in_trust();
  return qv::run_installer(
      instance, [&trust](std::string folder) { qv::run_install_worker(std::move(folder), trust); },
      trust);
}
