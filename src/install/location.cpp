#include "install/location.h"

#include <algorithm>

#include "app/text.h"

namespace qv {
namespace {

bool is_separator(char c) {
  return c == '\\' || c == '/';
}

bool is_bare_drive(std::string_view path) {
  return path.size() == 2 && path[1] == ':';
}

}  // namespace

std::string compose_default_install_folder(const std::optional<std::string>& local_app_data) {
  return local_app_data.value_or("C:\\") + "\\Programs\\Quorvane";
}

std::optional<std::string> folder_text_from_field(std::string_view field_text) {
  const std::string_view trimmed = trim_white_space(field_text);
  if (trimmed.empty()) return std::nullopt;
  return std::string(trimmed);
}

Status check_folder_text(std::string_view folder, std::size_t probe_path_units) {
  if (probe_path_units > kMaxPathUnits) return fail(std::string(kFolderNotCreatable));
  while (!folder.empty()) {
    const std::size_t end = std::min(folder.find_first_of("\\/"), folder.size());
    const std::string_view name = folder.substr(0, end);
    if (name != "." && name != ".." && (name.ends_with('.') || name.ends_with(' '))) {
      return fail(std::string(kFolderNotCreatable));
    }
    folder.remove_prefix(std::min(end + 1, folder.size()));
  }
  return {};
}

std::string join_path(std::string_view base, std::string_view part) {
  std::string joined(base);
  if (!base.empty() && !is_separator(base.back()) && !is_bare_drive(base)) joined += '\\';
  joined += part;
  return joined;
}

std::optional<std::string> parent_folder(std::string_view path) {
  while (!path.empty() && is_separator(path.back())) path.remove_suffix(1);
  const std::size_t cut = path.find_last_of("\\/");
  if (cut == std::string_view::npos) {
    // "D:name" lies in the current folder of drive D:, which exists when the drive does.
    return std::nullopt;
  }
  std::string_view parent = path.substr(0, cut);
  // A network share "\\server\share" is a root: it cannot be created.
  if (path.starts_with("\\\\") || path.starts_with("//")) {
    const std::size_t server_end = path.find_first_of("\\/", 2);
    if (server_end == std::string_view::npos || cut <= server_end) return std::nullopt;
    const std::size_t share_end = path.find_first_of("\\/", server_end + 1);
    if (share_end == std::string_view::npos || cut <= share_end) return std::nullopt;
  }
  while (!parent.empty() && is_separator(parent.back())) parent.remove_suffix(1);
  // "\name" or "D:\name": the root exists or nothing can make it.
  if (parent.empty() || is_bare_drive(parent)) return std::nullopt;
  return std::string(parent);
}

std::string drive_label(std::string_view path) {
  // The second character, not byte: a first character of several bytes is not a drive letter,
  // but it is still the first of the two.
  std::size_t first = 1;
  while (first < path.size() && (static_cast<unsigned char>(path[first]) & 0xC0) == 0x80) ++first;
  if (first < path.size() && path[first] == ':') return std::string(path.substr(0, first + 1));
  return std::string(path);
}

std::uint64_t download_space_needed(std::uint64_t expected_size,
                                    std::optional<std::uint64_t> held) {
  if (!held || *held > expected_size) return expected_size;
  return expected_size - *held;
}

Status check_download_space(std::optional<std::uint64_t> free_bytes, std::uint64_t needed,
                            std::string_view temp_label) {
  if (needed == 0 || !free_bytes || *free_bytes >= needed) return {};
  return fail("Not enough space on " + std::string(temp_label) +
              " for the download \xE2\x80\x94 Quorvane needs about " + whole_megabytes(needed) +
              " MB free there.");
}

Status check_install_space(std::optional<std::uint64_t> free_bytes, std::string_view folder_label) {
  if (!free_bytes || *free_bytes >= kInstallSpaceNeeded) return {};
  return fail("Not enough space on " + std::string(folder_label) +
              " to install \xE2\x80\x94 Quorvane needs about 2 GB free.");
}

}  // namespace qv
