// Reads the installer's window as a screen reader does, from another process, for the end-to-end
// test and for make run and make try (UTF-8 lines on standard output, tab-separated):
//   access_probe tree            the client area's children: "child <n> <role> <name> <value>
//                                <state> <default action>", then "focus <role> <name>"
//   access_probe watch           waits (up to a minute) for the window, then, each time its
//                                children change, one line "tree" and "<role> <name> <value>"
//                                of each child, until the window is gone; then "gone"
//   access_probe press NAME      the default action of the child named NAME
//   access_probe events OUT STOP records the installer's WinEvents into OUT in the order they
//                                came (one line each: "<event> <role> <name> <value> <child>",
//                                the object read as soon as the probe gets to it)
//                                until a file exists at STOP or the window is gone
// It finds the window by its class, and exits 2 when there is none or the object can't be had.
#include <oleacc.h>

#include <cstdio>
#include <deque>
#include <string>

#include "app/win.h"

namespace {

// MinGW's import library resolves this to a thunk, not the GUID.
const GUID kIidAccessible{
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

std::string utf8(const wchar_t* text, int length = -1) {
  if (!text) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  if (length < 0 && !out.empty()) out.pop_back();  // the NUL
  return out;
}

std::string take(BSTR text) {
  std::string out = text ? utf8(text, static_cast<int>(SysStringLen(text))) : std::string("-");
  SysFreeString(text);
  return out.empty() ? "-" : out;
}

std::string role_name(const VARIANT& role) {
  if (role.vt != VT_I4) return "?";
  switch (role.lVal) {
    case ROLE_SYSTEM_CLIENT:
      return "client";
    case ROLE_SYSTEM_WINDOW:
      return "window";
    case ROLE_SYSTEM_STATICTEXT:
      return "text";
    case ROLE_SYSTEM_PROGRESSBAR:
      return "progressbar";
    case ROLE_SYSTEM_TEXT:
      return "editable";
    case ROLE_SYSTEM_PUSHBUTTON:
      return "button";
    case ROLE_SYSTEM_LINK:
      return "link";
    default:
      return "role" + std::to_string(role.lVal);
  }
}

VARIANT id_of(long child) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = child;
  return v;
}

struct Described {
  std::string role, name, value, state, action;
};

Described describe(IAccessible* object, const VARIANT& child) {
  Described d;
  BSTR text = nullptr;
  d.name = SUCCEEDED(object->get_accName(child, &text)) ? take(text) : "!";
  text = nullptr;
  d.value = object->get_accValue(child, &text) == S_OK ? take(text) : "-";
  text = nullptr;
  d.action = object->get_accDefaultAction(child, &text) == S_OK ? take(text) : "-";
  VARIANT v;
  VariantInit(&v);
  d.role = SUCCEEDED(object->get_accRole(child, &v)) ? role_name(v) : "!";
  VariantClear(&v);
  char state[16] = "-";
  if (SUCCEEDED(object->get_accState(child, &v)) && v.vt == VT_I4) {
    std::snprintf(state, sizeof state, "%lx", static_cast<unsigned long>(v.lVal));
  }
  VariantClear(&v);
  d.state = state;
  return d;
}

HWND installer_window() {
  return FindWindowW(L"QuorvaneInstallerWindow", nullptr);
}

IAccessible* client_of(HWND window) {
  void* object = nullptr;
  if (!window ||
      FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, kIidAccessible, &object))) {
    return nullptr;
  }
  return static_cast<IAccessible*>(object);
}

// Calls `visit(n, object, child id)` for each child as a reader lists them: an object of its own
// where the parent hands one out, else the parent with the child's id.
template <class Visit>
bool for_each_child(IAccessible* client, Visit visit) {
  long count = 0;
  if (FAILED(client->get_accChildCount(&count)) || count < 0 || count > 64) return false;
  VARIANT children[64];
  long got = 0;
  if (FAILED(AccessibleChildren(client, 0, count, children, &got))) return false;
  for (long i = 0; i < got; ++i) {
    IAccessible* child = nullptr;
    if (children[i].vt == VT_DISPATCH && children[i].pdispVal &&
        SUCCEEDED(children[i].pdispVal->QueryInterface(kIidAccessible,
                                                       reinterpret_cast<void**>(&child)))) {
      visit(i + 1, child, id_of(CHILDID_SELF));
      child->Release();
    } else if (children[i].vt == VT_I4) {
      visit(i + 1, client, children[i]);
    } else {
      visit(i + 1, nullptr, children[i]);
    }
    VariantClear(&children[i]);
  }
  return true;
}

void print(const char* text) {
  std::fputs(text, stdout);
}

int tree() {
  IAccessible* client = client_of(installer_window());
  if (!client) return 2;
  const bool listed = for_each_child(client, [](long n, IAccessible* object, const VARIANT& id) {
    if (!object) {
      std::printf("child\t%ld\t?\n", n);
      return;
    }
    const Described d = describe(object, id);
    std::printf("child\t%ld\t%s\t%s\t%s\t%s\t%s\n", n, d.role.c_str(), d.name.c_str(),
                d.value.c_str(), d.state.c_str(), d.action.c_str());
  });
  VARIANT focus;
  VariantInit(&focus);
  if (SUCCEEDED(client->get_accFocus(&focus))) {
    if (focus.vt == VT_DISPATCH && focus.pdispVal) {
      IAccessible* focused = nullptr;
      if (SUCCEEDED(
              focus.pdispVal->QueryInterface(kIidAccessible, reinterpret_cast<void**>(&focused)))) {
        const Described d = describe(focused, id_of(CHILDID_SELF));
        std::printf("focus\t%s\t%s\n", d.role.c_str(), d.name.c_str());
        focused->Release();
      }
    } else if (focus.vt == VT_I4) {
      const Described d = describe(client, focus);
      std::printf("focus\t%s\t%s\n", d.role.c_str(), d.name.c_str());
    }
  }
  VariantClear(&focus);
  client->Release();
  return listed ? 0 : 2;
}

// Polled rather than hooked: a line must show what the window shows once it has settled, and the
// last one what it showed before it went away.
int watch() {
  HWND window = nullptr;
  for (int waited = 0; !(window = installer_window()) && waited < 60000; waited += 50) Sleep(50);
  std::string last;
  while (window && IsWindow(window)) {
    IAccessible* client = client_of(window);
    std::string line = "tree";
    const bool listed =
        client && for_each_child(client, [&](long, IAccessible* object, const VARIANT& id) {
          const Described d = object ? describe(object, id) : Described{"?", "-", "-", "-", "-"};
          line += "\t" + d.role + "\t" + d.name + "\t" + d.value;
        });
    if (client) client->Release();
    if (listed && line != last && IsWindow(window)) {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
      last = line;
    }
    Sleep(100);
  }
  print("gone\n");
  return window ? 0 : 2;
}

int press(const std::string& name) {
  IAccessible* client = client_of(installer_window());
  if (!client) return 2;
  HRESULT result = E_FAIL;
  for_each_child(client, [&](long, IAccessible* object, const VARIANT& id) {
    if (object && describe(object, id).name == name) result = object->accDoDefaultAction(id);
  });
  client->Release();
  std::printf("press\t%s\t%08lx\n", name.c_str(), static_cast<unsigned long>(result));
  return SUCCEEDED(result) ? 0 : 1;
}

FILE* g_events = nullptr;

struct Event {
  DWORD event;
  HWND window;
  LONG object_id;
  LONG child_id;
};
// Events as they arrived. Reading an object calls into the installer, and COM runs this thread's
// messages meanwhile, so a callback that read it would interleave with the next ones: they are
// queued instead and read one after another.
std::deque<Event> g_queue;

const char* event_name(DWORD event) {
  switch (event) {
    case EVENT_SYSTEM_ALERT:
      return "alert";
    case EVENT_OBJECT_FOCUS:
      return "focus";
    case EVENT_OBJECT_NAMECHANGE:
      return "name";
    case EVENT_OBJECT_VALUECHANGE:
      return "value";
    case EVENT_OBJECT_REORDER:
      return "reorder";
    default:
      return nullptr;
  }
}

void CALLBACK on_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object_id, LONG child_id,
                       DWORD, DWORD) {
  if (event_name(event) && window) g_queue.push_back({event, window, object_id, child_id});
}

void write_queued() {
  static bool writing = false;
  if (writing) return;
  writing = true;
  while (!g_queue.empty()) {
    const Event e = g_queue.front();
    g_queue.pop_front();
    IAccessible* object = nullptr;
    VARIANT child;
    VariantInit(&child);
    Described d{"!", "!", "-", "-", "-"};
    if (SUCCEEDED(AccessibleObjectFromEvent(e.window, e.object_id, e.child_id, &object, &child))) {
      d = describe(object, child);
      object->Release();
    }
    VariantClear(&child);
    std::fprintf(g_events, "%s\t%s\t%s\t%s\t%ld\n", event_name(e.event), d.role.c_str(),
                 d.name.c_str(), d.value.c_str(), static_cast<long>(e.child_id));
    std::fflush(g_events);
  }
  writing = false;
}

int events(const wchar_t* out, const wchar_t* stop) {
  HWND window = nullptr;
  for (int waited = 0; !(window = installer_window()) && waited < 60000; waited += 50) Sleep(50);
  if (!window) return 2;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  g_events = _wfopen(out, L"w");
  if (!g_events) return 2;
  const HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, on_event, process, 0, WINEVENT_OUTOFCONTEXT);
  if (!hook) return 2;
  std::fputs("ready\n", g_events);
  std::fflush(g_events);
  while (GetFileAttributesW(stop) == INVALID_FILE_ATTRIBUTES && IsWindow(window)) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    write_queued();
  }
  write_queued();
  UnhookWinEvent(hook);
  std::fclose(g_events);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int code = 2;
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"tree") {
    code = tree();
  } else if (mode == L"watch") {
    code = watch();
  } else if (mode == L"press" && argc > 2) {
    code = press(utf8(argv[2]));
  } else if (mode == L"events" && argc > 3) {
    code = events(argv[2], argv[3]);
  } else {
    print("usage: access_probe tree | watch | press NAME | events OUT STOP\n");
  }
  std::fflush(stdout);
  CoUninitialize();
  return code;
}
