// The folder picker's two text rules on any field text or picked path.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/text.h"
#include "fuzz_check.h"
#include "ui/folder_rules.h"

namespace {

bool is_separator(char c) {
  return c == '\\' || c == '/';
}

std::string lower_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view last_part(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool valid = qv::is_valid_utf8(text);

  // The picker opens at a leading part of the trimmed field text, cut between characters.
  const std::string start = qv::initial_browse_folder(text);
  const std::string_view trimmed = qv::trim_white_space(text);
  QV_FUZZ_CHECK(trimmed.starts_with(start));
  if (valid) QV_FUZZ_CHECK(qv::is_valid_utf8(start));

  const auto picked = qv::picked_folder_text(text);
  QV_FUZZ_CHECK(picked.has_value() == !trimmed.empty());
  if (!picked) return 0;
  if (valid) QV_FUZZ_CHECK(qv::is_valid_utf8(*picked));
  // The field always ends up naming the product folder, and picking that again changes nothing.
  QV_FUZZ_CHECK(lower_ascii(last_part(*picked)) == qv::kProductFolderWord);
  QV_FUZZ_CHECK(qv::picked_folder_text(*picked) == picked);

  // A pick that is not the product folder itself is where the picker opens next time.
  std::string_view chosen = trimmed;
  while (!chosen.empty() && is_separator(chosen.back())) chosen.remove_suffix(1);
  if (!chosen.empty() && lower_ascii(last_part(chosen)) != qv::kProductFolderWord) {
    QV_FUZZ_CHECK(*picked == std::string(chosen) + std::string(qv::kProductFolderSuffix));
    QV_FUZZ_CHECK(qv::initial_browse_folder(*picked) == chosen);
  }
  return 0;
}
