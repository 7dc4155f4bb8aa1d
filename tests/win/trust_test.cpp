// The feed signature with the real BCrypt, on feeds that the release tool signed with each of the
// two keys this test program is built with (ctest's signed_feeds).
#include "net/feed_signature_win.h"

#include <gtest/gtest.h>

#include "install/checksum_win.h"
#include "install_support.h"

namespace qv {
namespace {

TEST(FeedSignature, TheReleaseToolsFeedsVerifyAndNoChangedByteDoes) {
  const std::span<const FeedPublicKey> keys = built_in_trust().feed_keys;
  ASSERT_EQ(keys.size(), 2u);
  for (const std::size_t signer : {0u, 1u}) {
    const std::string folder = signer == 0 ? "signed-a" : "signed-b";
    const auto feed = test::read_file(test::served_root() + "\\" + folder + "\\latest.yml");
    ASSERT_TRUE(feed) << folder;
    // Either key of a rotation accepts it; the other key alone does not.
    const auto checked = check_feed_signature(*feed, keys);
    ASSERT_TRUE(checked.ok()) << folder << ": " << checked.reason();
    EXPECT_TRUE(check_feed_signature(*feed, keys.subspan(signer, 1)).ok()) << folder;
    EXPECT_EQ(check_feed_signature(*feed, keys.subspan(1 - signer, 1)).reason(), kFeedNotSigned);
    // What was signed is the feed without its last line, and reads as the release.
    const std::string_view signed_part = checked.value();
    ASSERT_LT(signed_part.size(), feed->size());
    EXPECT_TRUE(signed_part.ends_with("\n"));
    EXPECT_EQ(feed->find("signature: "), signed_part.size());

    // Any line end after the signature, or none.
    const std::string bare = feed->substr(0, feed->size() - 1);
    EXPECT_TRUE(check_feed_signature(bare, keys).ok());
    EXPECT_TRUE(check_feed_signature(bare + "\r\n", keys).ok());

    // One changed byte anywhere before the signature line.
    for (std::size_t i = 0; i < signed_part.size(); ++i) {
      std::string changed = *feed;
      changed[i] = static_cast<char>(changed[i] ^ 0x01);
      EXPECT_EQ(check_feed_signature(changed, keys).reason(), kFeedNotSigned) << i;
    }
    // One changed digit of the signature (still well-formed base64).
    std::string changed = *feed;
    char& digit = changed[signed_part.size() + std::string_view("signature: ").size() + 20];
    digit = digit == 'A' ? 'B' : 'A';
    EXPECT_EQ(check_feed_signature(changed, keys).reason(), kFeedNotSigned);
  }
  // Without keys nothing is required, and the feed is read as it stands.
  EXPECT_EQ(check_feed_signature("version: 1\n", {}).value(), "version: 1\n");
}

}  // namespace
}  // namespace qv
