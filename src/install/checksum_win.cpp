#include "install/checksum_win.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "app/handles_win.h"
#include "app/system_library_win.h"
#include "install/checksum.h"

namespace qv {

Status verify_download(HANDLE file, const std::vector<std::uint8_t>& expected,
                       const std::atomic<bool>& cancel) {
  const BCryptFunctions* bcrypt = bcrypt_functions();
  if (!bcrypt) return fail(std::string(kCryptoUnavailable));
  OwnedAlgorithm algorithm;
  if (!BCRYPT_SUCCESS(
          bcrypt->open_algorithm_provider(algorithm.put(), BCRYPT_SHA512_ALGORITHM, nullptr, 0))) {
    return fail(std::string(kCryptoUnavailable));
  }
  // Declared after the provider and before the hash, so it outlives the hash that lives in it.
  const auto hash_object = std::make_unique<UCHAR[]>(kHashObjectSize);
  OwnedHash hash;
  if (!BCRYPT_SUCCESS(bcrypt->create_hash(algorithm.get(), hash.put(), hash_object.get(),
                                          static_cast<ULONG>(kHashObjectSize), nullptr, 0, 0))) {
    return fail(std::string(kCryptoUnavailable));
  }

  // From the first byte, whatever read the handle before.
  if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
    return fail(std::string(kDownloadUnreadable));
  }
  // Filled by every read before it is hashed, so it needs no zeroing.
  const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kVerifyReadSize);
  for (;;) {
    if (cancel.load(std::memory_order_relaxed)) return fail(std::string(kCanceled));
    DWORD read = 0;
    if (!ReadFile(file, buffer.get(), static_cast<DWORD>(kVerifyReadSize), &read, nullptr)) {
      return fail(std::string(kDownloadUnreadable));
    }
    if (read == 0) break;
    bcrypt->hash_data(hash.get(), buffer.get(), read, 0);
  }

  std::array<std::uint8_t, kSha512Size> computed{};
  const bool finished = BCRYPT_SUCCESS(
      bcrypt->finish_hash(hash.get(), computed.data(), static_cast<ULONG>(computed.size()), 0));
  hash.reset();
  algorithm.reset();

  // Nothing was compared, so the file is not judged.
  if (!finished) return fail(std::string(kCryptoUnavailable));
  if (expected.size() != computed.size() ||
      !std::equal(computed.begin(), computed.end(), expected.begin())) {
    return fail(std::string(kChecksumMismatch));
  }
  return {};
}

}  // namespace qv
