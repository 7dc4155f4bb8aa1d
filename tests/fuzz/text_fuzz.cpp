// The UTF-8 and UTF-16 conversions and the white-space trim, on any bytes read as UTF-8 and as
// UTF-16.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/text.h"
#include "fuzz_check.h"

namespace {

// True when `part` lies inside `whole`'s bytes, not in a copy.
bool is_within(std::string_view part, std::string_view whole) {
  return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

bool has_unpaired_surrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

void check_trim(std::string_view text) {
  const std::string_view trimmed = qv::trim_white_space(text);
  const std::string_view leading = qv::trim_leading_white_space(text);
  QV_FUZZ_CHECK(is_within(trimmed, text) && is_within(leading, text));
  QV_FUZZ_CHECK(leading.data() + leading.size() == text.data() + text.size());
  QV_FUZZ_CHECK(trimmed.data() == leading.data());
  QV_FUZZ_CHECK(qv::trim_white_space(trimmed) == trimmed);
  if (!qv::is_valid_utf8(text)) return;
  // Valid text loses whole characters only, and none is left at either end.
  QV_FUZZ_CHECK(qv::is_valid_utf8(trimmed));
  const std::u16string wide = qv::utf8_to_utf16(trimmed);
  if (wide.empty()) return;
  QV_FUZZ_CHECK(!qv::is_white_space(wide.front()) && !qv::is_white_space(wide.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check_trim(bytes);

  // UTF-8 to UTF-16 and back gives valid text back unchanged; anything else comes back valid,
  // and so changed.
  const std::u16string wide = qv::utf8_to_utf16(bytes);
  const std::string narrow = qv::utf16_to_utf8(wide);
  const auto strict = qv::utf16_to_utf8_strict(wide);
  QV_FUZZ_CHECK(strict && *strict == narrow);
  QV_FUZZ_CHECK(qv::is_valid_utf8(narrow));
  QV_FUZZ_CHECK((narrow == bytes) == qv::is_valid_utf8(bytes));
  QV_FUZZ_CHECK(qv::utf8_to_utf16(narrow) == wide);

  // The bytes as UTF-16: only an unpaired surrogate makes the strict form refuse, and whatever
  // is accepted converts back to the same units.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  const auto strict_units = qv::utf16_to_utf8_strict(units);
  const std::string lenient_units = qv::utf16_to_utf8(units);
  QV_FUZZ_CHECK(strict_units.has_value() == !has_unpaired_surrogate(units));
  QV_FUZZ_CHECK(qv::is_valid_utf8(lenient_units));
  if (strict_units) {
    QV_FUZZ_CHECK(*strict_units == lenient_units);
    QV_FUZZ_CHECK(qv::utf8_to_utf16(*strict_units) == units);
  }
  return 0;
}
