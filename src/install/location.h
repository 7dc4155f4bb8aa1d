// Where the product goes and whether it fits there: the default folder, the folder text from the
// field, path joining and the free-space decision. Pure logic; the platform half is location_win.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/result.h"

namespace qv {

inline constexpr std::string_view kProbeFileName = ".quorvane-write-probe";
inline constexpr std::string_view kProbeContent = "x";
inline constexpr std::string_view kDownloadFolderName = "QuorvaneInstaller";

// Bytes that must be free on the install folder's volume. The message rounds this to "2 GB".
inline constexpr std::uint64_t kInstallSpaceNeeded = 2'500'000'000;

inline constexpr std::string_view kFolderNotCreatable =
    "that folder can't be created (try a folder in your user profile)";
inline constexpr std::string_view kFolderNotWritable =
    "that folder isn't writable without administrator rights (pick another)";

// The base (LOCALAPPDATA's value, or nothing when it is absent or not valid Unicode) followed by
// "\Programs\Quorvane". A plain concatenation: the fallback base "C:\" gives two backslashes.
std::string compose_default_install_folder(const std::optional<std::string>& local_app_data);

// The folder text the worker receives from what the field holds: Unicode white space trimmed
// from both ends, nothing else changed. Nothing when no text is left.
std::optional<std::string> folder_text_from_field(std::string_view field_text);

// Longest full path, in UTF-16 units, that Windows opens without long-path support (MAX_PATH
// less its terminating NUL). The probe file's path must fit, or the probe fails for its length.
inline constexpr std::size_t kMaxPathUnits = 259;

// Refuses, with the can't-be-created reason and before anything is made, a folder text that
// Windows would create under another name, so that the probe and the setup program's "/D=" would
// name something else: a component ending in "." or " " ("Quorvane.", "Apps .", "..."; the
// relative "." and ".." are fine), which Windows strips. Also refuses a folder whose probe file's
// full path (`probe_path_units` long) would not fit in kMaxPathUnits.
Status check_folder_text(std::string_view folder, std::size_t probe_path_units);

// Appends `part` as the next path component: one backslash between the two, unless `base`
// already ends with a separator, is a bare drive such as "D:", or is empty.
std::string join_path(std::string_view base, std::string_view part);

// The folder that holds `path`, or nothing when `path` is a root (or a lone relative name) with
// no parent to create first. Trailing separators are ignored.
std::optional<std::string> parent_folder(std::string_view path);

// "D:" for a path whose second character is ":", else the whole path (a network path).
std::string drive_label(std::string_view path);

// What the download still needs on the temporary folder's volume: the feed's size less what this
// release's file (`held` bytes, nothing when there is none) already holds there. Nothing more for
// a complete file, the rest for a partial one, the whole size for a file larger than the feed
// says (it is replaced). 0 when the size is unknown.
std::uint64_t download_space_needed(std::uint64_t expected_size, std::optional<std::uint64_t> held);

// The download test: free bytes of the temporary folder's volume (nothing when the query
// failed, which counts as enough) against the bytes the download needs there (0: no test).
Status check_download_space(std::optional<std::uint64_t> free_bytes, std::uint64_t needed,
                            std::string_view temp_label);

// The install test: free bytes of the install folder's volume against 2,500,000,000.
Status check_install_space(std::optional<std::uint64_t> free_bytes, std::string_view folder_label);

}  // namespace qv
