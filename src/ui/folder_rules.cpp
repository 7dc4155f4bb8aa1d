#include "ui/folder_rules.h"

#include "app/text.h"

namespace qv {
namespace {

bool is_separator(char c) {
  return c == '\\' || c == '/';
}

std::string_view drop_trailing_separators(std::string_view text) {
  while (!text.empty() && is_separator(text.back())) text.remove_suffix(1);
  return text;
}

std::size_t last_separator(std::string_view text) {
  return text.find_last_of("\\/");
}

bool is_product_word(std::string_view name) {
  if (name.size() != kProductFolderWord.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kProductFolderWord[i]) return false;
  }
  return true;
}

}  // namespace

std::string initial_browse_folder(std::string_view field_text) {
  const std::string_view text = drop_trailing_separators(trim_white_space(field_text));
  const std::size_t cut = last_separator(text);
  if (cut != std::string_view::npos && cut > 0 && is_product_word(text.substr(cut + 1))) {
    return std::string(text.substr(0, cut));
  }
  return std::string(text);
}

std::optional<std::string> picked_folder_text(std::string_view picked) {
  const std::string_view trimmed = trim_white_space(picked);
  if (trimmed.empty()) return std::nullopt;
  const std::string_view t = drop_trailing_separators(trimmed);
  const std::size_t cut = last_separator(t);
  const std::string_view last = cut == std::string_view::npos ? t : t.substr(cut + 1);
  if (is_product_word(last)) return std::string(t);
  return std::string(t) + std::string(kProductFolderSuffix);
}

}  // namespace qv
