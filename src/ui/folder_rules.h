// The folder picker's two text rules. Pure logic, unit-tested natively.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv {

inline constexpr std::string_view kPickerTitle = "Choose where to install Quorvane";
inline constexpr std::string_view kNotAFolderText =
    "That location isn't a folder on this PC, so Quorvane can't be installed there.\n\nPick a "
    "normal folder \u2014 for example one inside your user folder.";
inline constexpr std::string_view kNotAFolderCaption = "Choose a different folder";
inline constexpr std::string_view kProductFolderWord = "quorvane";
inline constexpr std::string_view kProductFolderSuffix = "\\Quorvane";

// Where the picker opens for the field's text: a field that still names the product folder
// opens at its parent, where the user picks a place for it; any other text opens at itself.
std::string initial_browse_folder(std::string_view field_text);

// The field's new text for a picked folder: the product folder inside it, unless the pick is
// already one. Nothing when the pick is empty after trimming white space.
std::optional<std::string> picked_folder_text(std::string_view picked);

}  // namespace qv
