#include "net/feed_signature_win.h"

#include <array>
#include <cstring>
#include <string>

#include "app/handles_win.h"
#include "app/system_library_win.h"
#include "install/checksum_win.h"

namespace qv {
namespace {

constexpr std::size_t kSha256Size = 32;
constexpr std::size_t kCoordinateSize = kFeedPublicKeySize / 2;

// SHA-256 of `bytes`; nothing when BCrypt can't give it.
std::optional<std::array<std::uint8_t, kSha256Size>> sha256(const BCryptFunctions& bcrypt,
                                                            std::string_view bytes) {
  OwnedAlgorithm algorithm;
  if (!BCRYPT_SUCCESS(
          bcrypt.open_algorithm_provider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return std::nullopt;
  }
  // Outlives the hash that lives in it.
  std::array<UCHAR, kHashObjectSize> hash_object;
  OwnedHash hash;
  if (!BCRYPT_SUCCESS(bcrypt.create_hash(algorithm.get(), hash.put(), hash_object.data(),
                                         static_cast<ULONG>(hash_object.size()), nullptr, 0, 0))) {
    return std::nullopt;
  }
  std::array<std::uint8_t, kSha256Size> digest{};
  // BCrypt takes a non-const pointer but only reads the bytes.
  auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
  if (!BCRYPT_SUCCESS(bcrypt.hash_data(hash.get(), data, static_cast<ULONG>(bytes.size()), 0)) ||
      !BCRYPT_SUCCESS(
          bcrypt.finish_hash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) {
    return std::nullopt;
  }
  return digest;
}

// BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
std::array<UCHAR, sizeof(BCRYPT_ECCKEY_BLOB) + kFeedPublicKeySize> public_key_blob(
    const FeedPublicKey& key) {
  std::array<UCHAR, sizeof(BCRYPT_ECCKEY_BLOB) + kFeedPublicKeySize> blob{};
  const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC,
                                  static_cast<ULONG>(kCoordinateSize)};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, key.data(), key.size());
  return blob;
}

}  // namespace

Result<std::string_view> check_feed_signature(std::string_view feed,
                                              std::span<const FeedPublicKey> keys) {
  if (keys.empty()) return feed;
  const auto split = split_signed_feed(feed);
  if (!split) return fail(std::string(kFeedNotSigned));

  const BCryptFunctions* bcrypt = bcrypt_functions();
  if (!bcrypt) return fail(std::string(kCryptoUnavailable));
  auto digest = sha256(*bcrypt, split->signed_bytes);
  if (!digest) return fail(std::string(kCryptoUnavailable));
  OwnedAlgorithm ecdsa;
  if (!BCRYPT_SUCCESS(
          bcrypt->open_algorithm_provider(ecdsa.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
    return fail(std::string(kCryptoUnavailable));
  }
  FeedSignature signature = split->signature;
  for (const FeedPublicKey& key : keys) {
    auto blob = public_key_blob(key);
    OwnedKey public_key;
    // A key that does not import (not a point of the curve) verifies nothing.
    if (!BCRYPT_SUCCESS(bcrypt->import_key_pair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                                public_key.put(), blob.data(),
                                                static_cast<ULONG>(blob.size()), 0))) {
      continue;
    }
    if (BCRYPT_SUCCESS(bcrypt->verify_signature(
            public_key.get(), nullptr, digest->data(), static_cast<ULONG>(digest->size()),
            signature.data(), static_cast<ULONG>(signature.size()), 0))) {
      return split->signed_bytes;
    }
  }
  return fail(std::string(kFeedNotSigned));
}

}  // namespace qv
