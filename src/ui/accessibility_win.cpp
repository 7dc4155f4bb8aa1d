#include "ui/accessibility_win.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "app/handles_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "build_settings.h"
#include "ui/folder_picker_win.h"
#include "ui/screen_rules.h"

namespace qv {
namespace {

// Defined here rather than taken from an import library: the program imports nothing of oleacc.
constexpr GUID kIidUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidAccessible{
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

using OwnedAccessible = Owned<ComTraits<IAccessible>>;

bool same_guid(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::equal(std::begin(a.Data4), std::end(a.Data4), std::begin(b.Data4));
}

HRESULT put_text(std::string_view text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const OleautFunctions* oleaut = oleaut_functions();
  if (!oleaut) return E_OUTOFMEMORY;
  const std::wstring wide = widen(text);
  *out = oleaut->alloc_string_len(wide.c_str(), static_cast<UINT>(wide.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT put_long(long value, VARIANT* out) {
  if (!out) return E_POINTER;
  out->vt = VT_I4;
  out->lVal = value;
  return S_OK;
}

// The child id a VARIANT names: CHILDID_SELF (0) or a position + 1; nothing for any other kind.
std::optional<long> child_id(const VARIANT& v) {
  if (v.vt != VT_I4) return std::nullopt;
  return v.lVal;
}

VARIANT self_id() {
  VARIANT v{};
  v.vt = VT_I4;
  v.lVal = CHILDID_SELF;
  return v;
}

LONG role_code(AccessRole role) {
  switch (role) {
    case AccessRole::StaticText:
      return ROLE_SYSTEM_STATICTEXT;
    case AccessRole::ProgressBar:
      return ROLE_SYSTEM_PROGRESSBAR;
    case AccessRole::EditableText:
      return ROLE_SYSTEM_TEXT;
    case AccessRole::PushButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case AccessRole::Link:
      return ROLE_SYSTEM_LINK;
  }
  return ROLE_SYSTEM_CLIENT;
}

// The platform's own object for a window's client area; null when it can't be had.
OwnedAccessible standard_object(HWND window) {
  const OleaccFunctions* oleacc = oleacc_functions();
  void* made = nullptr;
  if (!oleacc ||
      FAILED(oleacc->create_std_accessible_object(window, OBJID_CLIENT, kIidAccessible, &made))) {
    return OwnedAccessible();
  }
  return OwnedAccessible(static_cast<IAccessible*>(made));
}

// IUnknown and IDispatch once, and every IAccessible call handed to the platform's own object
// unless a subclass answers it. Readers use the IAccessible methods themselves, never Invoke.
class DelegatingAccessible : public IAccessible {
 public:
  DelegatingAccessible(SharedAccessTargets targets, HWND window)
      : targets_(std::move(targets)), window_(window), standard_(standard_object(window)) {}
  DelegatingAccessible(const DelegatingAccessible&) = delete;
  DelegatingAccessible& operator=(const DelegatingAccessible&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    // Nothing else, IEnumVARIANT above all: the standard object's would list its own children.
    if (same_guid(riid, kIidUnknown) || same_guid(riid, kIidDispatch) ||
        same_guid(riid, kIidAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return forward(&IAccessible::get_accParent, parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    return forward(&IAccessible::get_accChildCount, count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT id, IDispatch** child) override {
    return forward(&IAccessible::get_accChild, id, child);
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT id, BSTR* name) override {
    return forward(&IAccessible::get_accName, id, name);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT id, BSTR* value) override {
    return forward(&IAccessible::get_accValue, id, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT id, BSTR* text) override {
    return forward(&IAccessible::get_accDescription, id, text);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT id, VARIANT* role) override {
    return forward(&IAccessible::get_accRole, id, role);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT id, VARIANT* state) override {
    return forward(&IAccessible::get_accState, id, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT id, BSTR* help) override {
    return forward(&IAccessible::get_accHelp, id, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT id, LONG* topic) override {
    return forward(&IAccessible::get_accHelpTopic, file, id, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT id, BSTR* shortcut) override {
    return forward(&IAccessible::get_accKeyboardShortcut, id, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* id) override {
    return forward(&IAccessible::get_accFocus, id);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* id) override {
    return forward(&IAccessible::get_accSelection, id);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT id, BSTR* action) override {
    return forward(&IAccessible::get_accDefaultAction, id, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT id) override {
    return forward(&IAccessible::accSelect, flags, id);
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT id) override {
    return forward(&IAccessible::accLocation, left, top, width, height, id);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return forward(&IAccessible::accNavigate, direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* id) override {
    return forward(&IAccessible::accHitTest, x, y, id);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT id) override {
    return forward(&IAccessible::accDoDefaultAction, id);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 protected:
  virtual ~DelegatingAccessible() = default;

  // The standard object's answer, once the window is known to be still there.
  template <class... Params, class... Args>
  HRESULT forward(HRESULT (STDMETHODCALLTYPE IAccessible::*method)(Params...),
                  Args&&... args) const {
    if (!live()) return E_FAIL;
    return standard_ ? (standard_.get()->*method)(std::forward<Args>(args)...) : E_NOTIMPL;
  }

  // The window still exists and belongs to a window that has not been closed.
  bool live() const { return targets_->window && IsWindow(window_); }
  // What the window says; only once live() has said it is there.
  const AccessSource& source() const { return *targets_->window; }
  const SharedAccessTargets& targets() const { return targets_; }
  HWND window() const { return window_; }

 private:
  std::atomic<ULONG> references_{1};
  SharedAccessTargets targets_;
  HWND window_;
  OwnedAccessible standard_;
};

int control_id(AccessPart part) {
  switch (part) {
    case AccessPart::Browse:
      return kBrowseButtonId;
    case AccessPart::Action:
      return kActionButtonId;
    case AccessPart::Link:
      return kLinkId;
    default:
      return 0;
  }
}

// A child control: its standard object, with the name and role the platform's own objects do not
// always give (an edit has no name of its own; an owner-drawn button may be reported as a client
// area), a value for the field and the link, and "press" for the buttons and the link.
class ControlAccessible final : public DelegatingAccessible {
 public:
  ControlAccessible(SharedAccessTargets targets, HWND control, AccessPart part)
      : DelegatingAccessible(std::move(targets), control), part_(part) {}

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT id, BSTR* name) override {
    if (!is_self(id)) return DelegatingAccessible::get_accName(id, name);
    if (!live()) return E_FAIL;
    return put_text(control_name(part_, source().access_view().screen), name);
  }

  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT id, VARIANT* role) override {
    if (!is_self(id)) return DelegatingAccessible::get_accRole(id, role);
    if (!live()) return E_FAIL;
    return put_long(role_code(access_role(part_)), role);
  }

  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT id, BSTR* value) override {
    if (!is_self(id)) return DelegatingAccessible::get_accValue(id, value);
    if (!live()) return E_FAIL;
    if (part_ == AccessPart::Field) return put_text(read_field_text(window()), value);
    if (part_ == AccessPart::Link) return put_text(kReleasePageUrl, value);
    if (value) *value = nullptr;
    return S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE get_accState(VARIANT id, VARIANT* state) override {
    const HRESULT hr = DelegatingAccessible::get_accState(id, state);
    if (is_self(id) && SUCCEEDED(hr) && state->vt == VT_I4) {
      if (part_ == AccessPart::Link) state->lVal |= STATE_SYSTEM_LINKED;
      // The window is disabled while the folder picker is open: its controls can't be used then.
      if (live() && !IsWindowEnabled(source().main_window())) {
        state->lVal |= STATE_SYSTEM_UNAVAILABLE;
      }
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT id, BSTR* action) override {
    if (!is_self(id) || part_ == AccessPart::Field) {
      return DelegatingAccessible::get_accDefaultAction(id, action);
    }
    if (!live()) return E_FAIL;
    return put_text(part_ == AccessPart::Link ? "Jump" : "Press", action);
  }

  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT id) override {
    if (!is_self(id) || part_ == AccessPart::Field) {
      return DelegatingAccessible::accDoDefaultAction(id);
    }
    if (!live() || !IsWindowVisible(window())) return E_FAIL;
    const HWND main = source().main_window();
    if (!IsWindowEnabled(main)) return E_FAIL;
    // Posted, as a click arrives: the reader's call returns before a folder picker opens.
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(control_id(part_), BN_CLICKED),
                 reinterpret_cast<LPARAM>(window()));
    return S_OK;
  }

 private:
  static bool is_self(const VARIANT& id) { return child_id(id) == CHILDID_SELF; }

  AccessPart part_;
};

// The main window's client area: the painted texts and the progress bar as simple elements,
// the child controls as objects of their own, in the order access_elements gives.
class ClientAccessible final : public DelegatingAccessible {
 public:
  explicit ClientAccessible(SharedAccessTargets targets)
      : DelegatingAccessible(targets, targets->window->main_window()) {}

  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    if (!count) return E_POINTER;
    if (!live()) return E_FAIL;
    *count = static_cast<LONG>(elements().size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT id, IDispatch** child) override {
    if (!child) return E_POINTER;
    *child = nullptr;
    return for_child(id, [&](const AccessElement& e) {
      if (!is_window_part(e.part)) return S_FALSE;  // a simple element of this object
      *child = control_object(e.part).release();
      return *child ? S_OK : S_FALSE;
    });
  }

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT id, BSTR* name) override {
    if (child_id(id) == CHILDID_SELF) return DelegatingAccessible::get_accName(id, name);
    return for_child(id, [&](const AccessElement& e) { return put_text(e.name, name); });
  }

  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT id, BSTR* value) override {
    if (child_id(id) == CHILDID_SELF) return DelegatingAccessible::get_accValue(id, value);
    if (!value) return E_POINTER;
    *value = nullptr;
    return for_child(id, [&](const AccessElement& e) {
      if (is_window_part(e.part)) {
        return ask_control(e.part,
                           [&](IAccessible* c) { return c->get_accValue(self_id(), value); });
      }
      if (!e.value) return S_FALSE;  // the moving bar has no value
      return put_text(*e.value, value);
    });
  }

  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT id, BSTR* text) override {
    if (child_id(id) == CHILDID_SELF) return DelegatingAccessible::get_accDescription(id, text);
    return nothing_for_child(id, text);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT id, BSTR* help) override {
    if (child_id(id) == CHILDID_SELF) return DelegatingAccessible::get_accHelp(id, help);
    return nothing_for_child(id, help);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT id, BSTR* shortcut) override {
    if (child_id(id) == CHILDID_SELF) {
      return DelegatingAccessible::get_accKeyboardShortcut(id, shortcut);
    }
    return nothing_for_child(id, shortcut);
  }

  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT id, VARIANT* role) override {
    if (child_id(id) == CHILDID_SELF) return DelegatingAccessible::get_accRole(id, role);
    return for_child(id, [&](const AccessElement& e) { return put_long(role_code(e.role), role); });
  }

  HRESULT STDMETHODCALLTYPE get_accState(VARIANT id, VARIANT* state) override {
    if (child_id(id) == CHILDID_SELF) return DelegatingAccessible::get_accState(id, state);
    return for_child(id, [&](const AccessElement& e) {
      if (is_window_part(e.part)) {
        return ask_control(e.part,
                           [&](IAccessible* c) { return c->get_accState(self_id(), state); });
      }
      return put_long(STATE_SYSTEM_READONLY, state);
    });
  }

  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT id, BSTR* action) override {
    if (child_id(id) == CHILDID_SELF) return DelegatingAccessible::get_accDefaultAction(id, action);
    if (!action) return E_POINTER;
    *action = nullptr;
    return for_control(id, S_FALSE,
                       [&](IAccessible* c) { return c->get_accDefaultAction(self_id(), action); });
  }

  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT id) override {
    if (child_id(id) == CHILDID_SELF) return DelegatingAccessible::accDoDefaultAction(id);
    return for_control(id, DISP_E_MEMBERNOTFOUND,
                       [&](IAccessible* c) { return c->accDoDefaultAction(self_id()); });
  }

  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT id) override {
    if (child_id(id) == CHILDID_SELF) return DelegatingAccessible::accSelect(flags, id);
    return for_control(id, DISP_E_MEMBERNOTFOUND,
                       [&](IAccessible* c) { return c->accSelect(flags, self_id()); });
  }

  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT id) override {
    if (child_id(id) == CHILDID_SELF) {
      return DelegatingAccessible::accLocation(left, top, width, height, id);
    }
    if (!left || !top || !width || !height) return E_POINTER;
    return for_child(id, [&](const AccessElement& e) {
      if (is_window_part(e.part)) {
        return ask_control(e.part, [&](IAccessible* c) {
          return c->accLocation(left, top, width, height, self_id());
        });
      }
      const RECT r = screen_rect(e);
      *left = r.left;
      *top = r.top;
      *width = r.right - r.left;
      *height = r.bottom - r.top;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    if (!end) return E_POINTER;
    const auto from = child_id(start);
    if (!from) return E_INVALIDARG;
    const bool into = direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD;
    if (*from == CHILDID_SELF && !into) {
      return DelegatingAccessible::accNavigate(direction, start, end);
    }
    end->vt = VT_EMPTY;
    if (!live()) return E_FAIL;
    const auto all = elements();
    const long count = static_cast<long>(all.size());
    long to = 0;
    if (*from == CHILDID_SELF) {
      to = direction == NAVDIR_FIRSTCHILD ? 1 : count;
    } else if (*from < 1 || *from > count) {
      return E_INVALIDARG;
    } else if (direction == NAVDIR_NEXT) {
      to = *from + 1;
    } else if (direction == NAVDIR_PREVIOUS) {
      to = *from - 1;
    }
    if (to < 1 || to > count) return S_FALSE;
    return put_element(all, to, end);
  }

  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* id) override {
    if (!id) return E_POINTER;
    id->vt = VT_EMPTY;
    if (!live()) return E_FAIL;
    // Called on the window thread, whose focus this is.
    const HWND focus = GetFocus();
    if (focus == window()) return put_long(CHILDID_SELF, id);
    const auto all = elements();
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (is_window_part(all[i].part) && focus && source().part_window(all[i].part) == focus) {
        return put_element(all, static_cast<long>(i) + 1, id);
      }
    }
    return S_FALSE;  // the focus is in no element of this window
  }

  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* id) override {
    if (!id) return E_POINTER;
    id->vt = VT_EMPTY;
    if (!live()) return E_FAIL;
    const POINT at{x, y};
    const auto all = elements();
    for (std::size_t i = 0; i < all.size(); ++i) {
      const AccessElement& e = all[i];
      RECT r{};
      if (is_window_part(e.part)) {
        const HWND control = source().part_window(e.part);
        if (!control || !IsWindowVisible(control) || !GetWindowRect(control, &r)) continue;
      } else {
        r = screen_rect(e);
      }
      if (PtInRect(&r, at)) return put_element(all, static_cast<long>(i) + 1, id);
    }
    return DelegatingAccessible::accHitTest(x, y, id);
  }

 private:
  std::vector<AccessElement> elements() const { return access_elements(source().access_view()); }

  static const AccessElement* element_at(const std::vector<AccessElement>& all, const VARIANT& id) {
    const auto child = child_id(id);
    if (!child || *child < 1 || *child > static_cast<long>(all.size())) return nullptr;
    return &all[static_cast<std::size_t>(*child - 1)];
  }

  OwnedAccessible control_object(AccessPart part) const {
    const HWND control = source().part_window(part);
    if (!control) return OwnedAccessible();
    return OwnedAccessible(new ControlAccessible(targets(), control, part));
  }

  template <class Ask>
  HRESULT ask_control(AccessPart part, Ask ask) const {
    const OwnedAccessible control = control_object(part);
    return control ? ask(control.get()) : E_FAIL;
  }

  HRESULT put_element(const std::vector<AccessElement>& all, long child, VARIANT* out) const {
    const AccessElement& e = all[static_cast<std::size_t>(child - 1)];
    if (is_window_part(e.part)) {
      OwnedAccessible control = control_object(e.part);
      if (control) {
        out->vt = VT_DISPATCH;
        out->pdispVal = control.release();
        return S_OK;
      }
    }
    return put_long(child, out);
  }

  // The element `id` names, handed to `answer`; the window and the id are checked here once.
  template <class Answer>
  HRESULT for_child(const VARIANT& id, Answer answer) const {
    if (!live()) return E_FAIL;
    const auto all = elements();
    const AccessElement* element = element_at(all, id);
    return element ? answer(*element) : E_INVALIDARG;
  }

  // The child control `id` names, asked through its own object; `painted` for a painted element.
  template <class Ask>
  HRESULT for_control(const VARIANT& id, HRESULT painted, Ask ask) const {
    return for_child(id, [&](const AccessElement& e) {
      return is_window_part(e.part) ? ask_control(e.part, ask) : painted;
    });
  }

  HRESULT nothing_for_child(const VARIANT& id, BSTR* out) const {
    if (!out) return E_POINTER;
    *out = nullptr;
    return for_child(id, [](const AccessElement&) { return S_FALSE; });
  }

  RECT screen_rect(const AccessElement& e) const {
    const auto area = element_area(e.part, source().access_view().screen);
    if (!area) return RECT{};
    const Box b = scaled_box(*area, source().dpi());
    RECT r{b.left, b.top, b.right, b.bottom};
    MapWindowPoints(window(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
};

DWORD event_of(Announcement::Kind kind) {
  switch (kind) {
    case Announcement::Kind::NameChange:
      return EVENT_OBJECT_NAMECHANGE;
    case Announcement::Kind::ValueChange:
      return EVENT_OBJECT_VALUECHANGE;
    case Announcement::Kind::Reorder:
      return EVENT_OBJECT_REORDER;
    case Announcement::Kind::Alert:
      return EVENT_SYSTEM_ALERT;
  }
  return EVENT_OBJECT_NAMECHANGE;
}

// Hands `object` to the asking process; it owns its own reference afterwards.
std::optional<LRESULT> hand_out(DelegatingAccessible* object, WPARAM wparam) {
  const OwnedAccessible owned(object);
  const OleaccFunctions* oleacc = oleacc_functions();
  if (!oleacc) return std::nullopt;
  const LRESULT answer = oleacc->lresult_from_object(kIidAccessible, wparam, owned.get());
  if (FAILED(static_cast<HRESULT>(answer))) return std::nullopt;
  return answer;
}

// The object can be handed to another process only from a thread with COM started; oleacc is
// loaded here, at the first reader's request, and never on the way to the first frame.
bool may_answer(LPARAM lparam) {
  return static_cast<LONG>(lparam) == OBJID_CLIENT && oleacc_functions() && oleaut_functions() &&
         start_window_thread_com();
}

}  // namespace

std::optional<LRESULT> answer_client_object(const SharedAccessTargets& targets, WPARAM wparam,
                                            LPARAM lparam) {
  if (!targets->window || !may_answer(lparam)) return std::nullopt;
  return hand_out(new ClientAccessible(targets), wparam);
}

std::optional<LRESULT> answer_control_object(const SharedAccessTargets& targets, HWND control,
                                             AccessPart part, WPARAM wparam, LPARAM lparam) {
  if (!may_answer(lparam)) return std::nullopt;
  return hand_out(new ControlAccessible(targets, control, part), wparam);
}

void AccessAnnouncer::announce(HWND main, const AccessView& now) {
  for (const Announcement& a : announcements(last_, now)) {
    NotifyWinEvent(event_of(a.kind), main, OBJID_CLIENT, a.child);
  }
  last_ = now;
}

}  // namespace qv
