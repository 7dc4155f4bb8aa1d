#include "app/text.h"

#include <gtest/gtest.h>

#include "net/capped_text.h"

namespace qv {
namespace {

TEST(Utf8Validation, AcceptsWellFormedAndRejectsEveryMalformedKind) {
  EXPECT_TRUE(is_valid_utf8(""));
  EXPECT_TRUE(is_valid_utf8("plain ascii"));
  EXPECT_TRUE(
      is_valid_utf8("Gr\xC3\xBC\xC3\x9F"
                    "e \xE2\x80\x94 \xF0\x9F\x98\x80"));
  EXPECT_TRUE(is_valid_utf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF, the last code point

  EXPECT_FALSE(is_valid_utf8("\x80"));              // lone continuation byte
  EXPECT_FALSE(is_valid_utf8("\xC3"));              // truncated two-byte sequence
  EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(is_valid_utf8("\xE0\x80\xAF"));      // overlong three-byte form
  EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));      // UTF-16 surrogate D800
  EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
  EXPECT_FALSE(is_valid_utf8("\xFF"));
  EXPECT_FALSE(is_valid_utf8("ok\xE2\x80"));  // cut inside the last character
}

TEST(WhiteSpace, TrimsTheWholeUnicodeSetFromBothEndsOnly) {
  EXPECT_EQ(trim_white_space(" \t\r\n\v\f x y \t"), "x y");
  // U+00A0, U+1680, U+2000, U+200A, U+2028, U+2029, U+202F, U+205F, U+3000, U+0085
  EXPECT_EQ(
      trim_white_space("\xC2\xA0\xE1\x9A\x80\xE2\x80\x80\xE2\x80\x8A"
                       "a\xE3\x80\x80"
                       "b"
                       "\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\x9F\xE3\x80\x80\xC2\x85"),
      "a\xE3\x80\x80"
      "b");
  EXPECT_EQ(trim_white_space(" \xC2\xA0 "), "");
  EXPECT_EQ(trim_white_space(""), "");
  // Not White_Space: zero-width space U+200B and the byte-order mark U+FEFF.
  EXPECT_EQ(trim_white_space("\xE2\x80\x8Bx\xEF\xBB\xBF"), "\xE2\x80\x8Bx\xEF\xBB\xBF");
  // A trailing malformed byte is kept, and the scan does not run past the text's start.
  EXPECT_EQ(trim_white_space(" x\x80"), "x\x80");
  EXPECT_EQ(trim_white_space("\x80\x80\x80\x80"), "\x80\x80\x80\x80");
  EXPECT_EQ(trim_leading_white_space("  a  "), "a  ");
}

TEST(Utf16Conversion, RoundTripsAndReplacesUnpairedSurrogates) {
  const std::string text = "C:\\Users\\J\xC3\xBCrgen\\\xF0\x9F\x98\x80";
  const std::u16string wide = utf8_to_utf16(text);
  EXPECT_EQ(wide, u"C:\\Users\\J\u00FCrgen\\\U0001F600");
  EXPECT_EQ(utf16_to_utf8(wide), text);

  const std::u16string lone_high = {u'a', 0xD83D, u'b'};
  const std::u16string lone_low = {0xDE00, u'c'};
  const std::u16string high_at_end = {u'd', 0xD83D};
  EXPECT_EQ(utf16_to_utf8(lone_high),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(utf16_to_utf8(lone_low),
            "\xEF\xBF\xBD"
            "c");
  EXPECT_EQ(utf16_to_utf8(high_at_end), "d\xEF\xBF\xBD");

  EXPECT_EQ(utf16_to_utf8_strict(wide), text);
  EXPECT_EQ(utf16_to_utf8_strict(lone_high), std::nullopt);
  EXPECT_EQ(utf16_to_utf8_strict(high_at_end), std::nullopt);
  EXPECT_EQ(utf16_to_utf8_strict(u""), "");

  // Malformed UTF-8 never reaches the platform as garbage: each bad byte becomes U+FFFD.
  EXPECT_EQ(utf8_to_utf16("a\xC3"), (std::u16string{u'a', 0xFFFD}));
  EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), (std::u16string{0xFFFD, 0xFFFD, 0xFFFD}));
}

std::vector<std::uint8_t> bytes_of(std::string_view s) {
  return {s.begin(), s.end()};
}

TEST(CappedText, KeepsTheFirst64KiBAcrossBlocksAndChecksUtf8) {
  CappedText text;
  const std::vector<std::uint8_t> block(40000, 'a');
  EXPECT_TRUE(text.append(block.data(), block.size()));
  // More than the limit has arrived: the reader is told to stop, the rest is dropped.
  EXPECT_FALSE(text.append(block.data(), block.size()));
  EXPECT_FALSE(text.append(block.data(), block.size()));
  const auto kept = text.take();
  ASSERT_TRUE(kept.ok()) << kept.reason();
  EXPECT_EQ(kept.value().size(), 65536u);

  CappedText exact;  // a body of exactly the limit is read to its end
  const std::vector<std::uint8_t> limit(65536, 'a');
  EXPECT_TRUE(exact.append(limit.data(), limit.size()));
}

TEST(CappedText, CutInsideAMultiByteCharacterIsNotText) {
  // 65,535 ASCII bytes, then a two-byte character whose second byte falls past the limit.
  CappedText cut;
  const std::vector<std::uint8_t> head(65535, 'a');
  cut.append(head.data(), head.size());
  const auto umlaut = bytes_of("\xC3\xBC tail");
  cut.append(umlaut.data(), umlaut.size());
  const auto result = cut.take();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.reason(), "feed was not valid text");

  // The same character ending exactly at the limit is kept whole.
  CappedText whole;
  const std::vector<std::uint8_t> shorter(65534, 'a');
  whole.append(shorter.data(), shorter.size());
  whole.append(umlaut.data(), umlaut.size());
  const auto kept = whole.take();
  ASSERT_TRUE(kept.ok());
  EXPECT_TRUE(kept.value().ends_with("\xC3\xBC"));

  CappedText binary;
  const auto latin1 = bytes_of("version: 1.0\n\xE9t\xE9\n");
  binary.append(latin1.data(), latin1.size());
  EXPECT_EQ(binary.take().reason(), "feed was not valid text");
}

}  // namespace
}  // namespace qv
