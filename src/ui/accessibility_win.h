// The window for screen readers: the accessible objects handed out on WM_GETOBJECT and the
// WinEvents that say what changed. What each screen exposes is decided by accessibility.h, from
// the same state that painting reads.
#pragma once

#include <memory>
#include <optional>

#include "app/win.h"
#include "ui/accessibility.h"

namespace qv {

// What the accessible objects ask the window; the window answers from what it shows, so nothing
// here reads the shared state itself. Window thread only.
class AccessSource {
 public:
  virtual HWND main_window() const = 0;
  virtual AccessView access_view() const = 0;
  // The child window of the field, a button or the link's keyboard stop; null for the rest.
  virtual HWND part_window(AccessPart part) const = 0;
  virtual int dpi() const = 0;

 protected:
  ~AccessSource() = default;
};

// What the objects handed out share with the window. A reader may keep an object after the window
// is gone; `window` is then null and the object answers nothing.
struct AccessTargets {
  const AccessSource* window = nullptr;
};
using SharedAccessTargets = std::shared_ptr<AccessTargets>;

// WM_GETOBJECT of the main window: our object for the client area. Nothing for any other object
// id, or when oleacc can't be had; the window then answers as it would without us.
std::optional<LRESULT> answer_client_object(const SharedAccessTargets& targets, WPARAM wparam,
                                            LPARAM lparam);

// WM_GETOBJECT of a child control (the field, a button or the link): the standard object of that
// control with our name and role, which the platform's own objects do not always give.
std::optional<LRESULT> answer_control_object(const SharedAccessTargets& targets, HWND control,
                                             AccessPart part, WPARAM wparam, LPARAM lparam);

// Tells readers what changed since the last view: names, the progress value, the set of elements,
// and an alert when a run fails or finishes.
class AccessAnnouncer {
 public:
  void reset(const AccessView& view) { last_ = view; }
  void announce(HWND main, const AccessView& now);

 private:
  AccessView last_;
};

}  // namespace qv
