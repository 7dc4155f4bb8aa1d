#include "net/feed.h"

#include "app/text.h"
#include "net/url.h"

namespace qv {
namespace {

// Calls `visit` with each line (without "\n" and one "\r" before it) until it returns a value.
template <class Visit>
std::optional<std::string> find_in_lines(std::string_view feed, Visit visit) {
  while (!feed.empty()) {
    const auto end = feed.find('\n');
    std::string_view line = feed.substr(0, end);
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    if (auto found = visit(line)) return found;
    if (end == std::string_view::npos) break;
    feed.remove_prefix(end + 1);
  }
  return std::nullopt;
}

std::optional<std::string> non_empty(std::string value) {
  if (value.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::string clean_value(std::string_view raw) {
  std::string_view value = trim_white_space(raw);
  for (const char quote : {'\'', '"'}) {
    while (!value.empty() && value.front() == quote) value.remove_prefix(1);
    while (!value.empty() && value.back() == quote) value.remove_suffix(1);
  }
  return std::string(value);
}

std::optional<std::string> feed_value(std::string_view feed, std::string_view key) {
  return find_in_lines(feed, [key](std::string_view line) -> std::optional<std::string> {
    if (line.empty() || line.front() == ' ' || line.front() == '\t') return std::nullopt;
    if (line.size() <= key.size() || !line.starts_with(key) || line[key.size()] != ':') {
      return std::nullopt;
    }
    return non_empty(clean_value(line.substr(key.size() + 1)));
  });
}

std::optional<std::string> feed_size_value(std::string_view feed) {
  return find_in_lines(feed, [](std::string_view line) -> std::optional<std::string> {
    line = trim_leading_white_space(line);
    while (line.starts_with("- ")) line.remove_prefix(2);
    if (!line.starts_with("size:")) return std::nullopt;
    return non_empty(clean_value(line.substr(5)));
  });
}

std::uint64_t parse_byte_count(std::string_view text) {
  return parse_unsigned(text).value_or(0);
}

Result<ReleaseInfo> parse_release_feed(std::string_view feed) {
  ReleaseInfo info;
  auto version = feed_value(feed, "version");
  if (!version) return fail("the release feed is missing a version");
  auto path = feed_value(feed, "path");
  if (!path) return fail("the release feed is missing the installer name");
  auto sha512 = feed_value(feed, "sha512");
  if (!sha512) return fail("the release feed is missing the checksum");
  info.version = std::move(*version);
  info.path = std::move(*path);
  info.sha512 = std::move(*sha512);
  if (const auto size = feed_size_value(feed)) info.size = parse_byte_count(*size);
  return info;
}

std::string resolve_feed_base_url(const std::optional<std::string>& variable,
                                  std::string_view built_in_default) {
  std::string base = variable ? *variable : std::string(built_in_default);
  if (!base.ends_with('/')) base += '/';
  return base;
}

std::string compose_version_note(std::string_view version, std::uint64_t size) {
  std::string note = "Version ";
  note += version;
  if (size != 0) {
    note += " - about ";
    note += whole_megabytes(size);
    note += " MB download";
  }
  return note;
}

std::string version_note_for_feed(std::string_view feed) {
  const auto size = feed_size_value(feed);
  return compose_version_note(feed_value(feed, "version").value_or(""),
                              size ? parse_byte_count(*size) : 0);
}

}  // namespace qv
