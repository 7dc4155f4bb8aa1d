// The release feed's signature, checked with BCrypt's ECDSA P-256 against the keys a product was
// built with.
#pragma once

#include <span>
#include <string_view>

#include "app/result.h"
#include "net/feed_signature.h"

namespace qv {

inline constexpr std::string_view kFeedNotSigned = "the release feed isn't signed by the publisher";

// With no keys, the whole feed as it stands. Otherwise the signed part of the feed (everything
// before its signature line) when the signature verifies with any of `keys`; kFeedNotSigned for
// a missing, malformed or wrong one, or kCryptoUnavailable when BCrypt can't be set up.
Result<std::string_view> check_feed_signature(std::string_view feed,
                                              std::span<const FeedPublicKey> keys);

}  // namespace qv
