// The signed release feed. Pure logic; the ECDSA check itself is feed_signature_win's.
//
// A signed feed's last line is "signature: " and the standard base64 (with padding) of a 64-byte
// ECDSA P-256 signature in r||s form (each 32 bytes, big-endian) over the SHA-256 of every byte
// before that line. The line may end in "\n", "\r\n" or nothing. Installers built without keys
// read it as one more unknown key, so one file serves old and new installers alike.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace qv {

inline constexpr std::string_view kSignatureLineStart = "signature: ";
inline constexpr std::size_t kFeedSignatureSize = 64;
// X||Y of an uncompressed P-256 public key, each 32 bytes, big-endian.
inline constexpr std::size_t kFeedPublicKeySize = 64;

using FeedSignature = std::array<std::uint8_t, kFeedSignatureSize>;
using FeedPublicKey = std::array<std::uint8_t, kFeedPublicKeySize>;

struct SignedFeed {
  std::string_view signed_bytes;  // the feed up to and including the line feed before the line
  FeedSignature signature;
};

// Splits off the signature line. Nothing when the last line is not "signature: " followed by
// exactly 88 characters of canonical padded base64 that decode to 64 bytes: the signature is
// strict where the feed's checksum is lenient, so that one feed has exactly one signature text.
std::optional<SignedFeed> split_signed_feed(std::string_view feed);

// What a product trusts, fixed when the program is built (trust_settings.cpp.in). Empty keys: no
// feed signature is required; an empty publisher: the setup program's signer is not checked.
// `expiry_required` (only ever set with keys): a signed feed without an expiry date is refused.
struct TrustSettings {
  std::span<const FeedPublicKey> feed_keys;
  std::string_view setup_publisher;
  bool expiry_required = false;
};

// The settings linked into this program: each program that uses them links one generated
// trust_settings.cpp, so a test build of the installer with a test key costs one small object.
const TrustSettings& built_in_trust();

}  // namespace qv
