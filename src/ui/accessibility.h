// What a screen reader finds in the window: the elements each screen exposes, in reading order,
// with their names, roles and values, and which changes are announced. Pure logic; the COM object
// that hands these out and the events live in accessibility_win.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/screen.h"
#include "ui/layout.h"

namespace qv {

enum class AccessRole { StaticText, ProgressBar, EditableText, PushButton, Link };

// What an element stands for. The field, the buttons and the link are child windows, which
// answer for themselves; the rest is painted and exists only as elements of the client area.
enum class AccessPart {
  Title,
  Status,
  Detail,
  Hint,
  VersionNote,
  Progress,
  Field,
  Browse,
  Action,
  Link
};

struct AccessElement {
  AccessPart part;
  AccessRole role;
  std::string name;
  std::optional<std::string> value;  // the progress bar's share filled; nothing elsewhere
  friend bool operator==(const AccessElement&, const AccessElement&) = default;
};

// What the window shows at one moment, as painting sees it.
struct AccessView {
  Screen screen = Screen::ChooseLocation;
  std::string status;
  std::string detail;
  std::string version_note;
  bool show_link = false;
  std::uint32_t progress_permille = 0;
  bool action_shown = false;  // the action button is visible (on Done only with a product)
};

// Readers spell out a word in capitals letter by letter, so the title is named as a word.
inline constexpr std::string_view kTitleName = "Quorvane";
inline constexpr std::string_view kFieldName = "Install location";
inline constexpr std::string_view kProgressName = "Progress";

// The elements of the client area in reading order; the child id of each is its position + 1.
std::vector<AccessElement> access_elements(const AccessView& view);

// "45%": the share of the bar that is filled, in whole percent; nothing while the bar is the
// moving segment.
std::optional<std::string> progress_value(Screen screen, std::uint32_t permille);

bool is_window_part(AccessPart part);

// The role a part is exposed with, wherever it is asked for.
AccessRole access_role(AccessPart part);

// A child window's name on `screen`: the field by its label, the action button by what it shows.
// Empty for the painted parts, whose names are their texts.
std::string_view control_name(AccessPart part, Screen screen);

// Where a painted element lies, in design pixels, for the reader's highlight; nothing for the
// child windows, which report their own places.
std::optional<DesignEdges> element_area(AccessPart part, Screen screen);

struct Announcement {
  enum class Kind { NameChange, ValueChange, Reorder, Alert };
  Kind kind;
  int child;  // position + 1 among the new elements; 0 for the client area itself
  friend bool operator==(const Announcement&, const Announcement&) = default;
};

// What to announce for the change from `before` to `after`: a reorder when elements came or went,
// a name or value change for an element that stayed, and one alert when a run has just failed
// (its reason) or finished (its headline), or the installed product did not start (that line),
// so that a reader says it without being asked.
std::vector<Announcement> announcements(const AccessView& before, const AccessView& after);

}  // namespace qv
