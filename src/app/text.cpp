#include "app/text.h"

#include <cstdint>

namespace qv {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one well-formed UTF-8 sequence at the start of `s`. Returns its length, or 0 when
// malformed.
std::size_t decode_utf8(std::string_view s, char32_t& out) {
  if (s.empty()) return 0;
  const auto b0 = static_cast<std::uint8_t>(s[0]);
  if (b0 < 0x80) {
    out = b0;
    return 1;
  }
  std::size_t len = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    min = 0x80;
    out = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    min = 0x800;
    out = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    min = 0x10000;
    out = b0 & 0x07;
  } else {
    return 0;
  }
  if (s.size() < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    out = (out << 6) | (b & 0x3F);
  }
  if (out < min || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF)) return 0;
  return len;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Converts UTF-16 to UTF-8; returns false at the first unpaired surrogate when `strict`.
bool convert_utf16(std::u16string_view text, bool strict, std::string& out) {
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (strict) return false;
      c = kReplacement;
    }
    append_utf8(out, c);
  }
  return true;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  while (!bytes.empty()) {
    char32_t c = 0;
    const std::size_t len = decode_utf8(bytes, c);
    if (len == 0) return false;
    bytes.remove_prefix(len);
  }
  return true;
}

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string_view trim_leading_white_space(std::string_view text) {
  for (;;) {
    char32_t c = 0;
    const std::size_t len = decode_utf8(text, c);
    if (len == 0 || !is_white_space(c)) return text;
    text.remove_prefix(len);
  }
}

std::string_view trim_white_space(std::string_view text) {
  text = trim_leading_white_space(text);
  for (;;) {
    // The last character starts at the last byte that is not a continuation byte.
    std::size_t start = text.size();
    while (start > 0 && (static_cast<std::uint8_t>(text[start - 1]) & 0xC0) == 0x80 &&
           text.size() - start < 3) {
      --start;
    }
    if (start == 0) return text;
    --start;
    char32_t c = 0;
    const std::string_view last = text.substr(start);
    if (decode_utf8(last, c) != last.size() || !is_white_space(c)) return text;
    text.remove_suffix(last.size());
  }
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t c = 0;
    std::size_t len = decode_utf8(text, c);
    if (len == 0) {
      c = kReplacement;
      len = 1;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    text.remove_prefix(len);
  }
  return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  convert_utf16(text, false, out);
  return out;
}

std::string whole_megabytes(std::uint64_t bytes) {
  return std::to_string(bytes / kBytesPerMegabyte);
}

std::optional<std::string> utf16_to_utf8_strict(std::u16string_view text) {
  std::string out;
  if (!convert_utf16(text, true, out)) return std::nullopt;
  return out;
}

}  // namespace qv
