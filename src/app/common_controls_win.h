// The version 6 common controls for the system UI that the installer shows in its own process.
// The program's manifest does not ask for them, so the first frame never waits for the DLL to
// load; the folder picker and the message boxes activate them for as long as they are open.
#pragma once

#include "app/handles_win.h"
#include "app/win.h"

namespace qv {

// While it lives, windows created on this thread get the themed common controls. Without them
// (the manifest resource missing, or activation refused) the UI still opens, in the older look.
class CommonControlsScope {
 public:
  CommonControlsScope() noexcept;
  CommonControlsScope(const CommonControlsScope&) = delete;
  CommonControlsScope& operator=(const CommonControlsScope&) = delete;
  ~CommonControlsScope();

  bool active() const noexcept { return active_; }

 private:
  // Declared first, so it is released only after the activation below has ended.
  OwnedActivationContext context_;
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

}  // namespace qv
