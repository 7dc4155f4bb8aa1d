// Proving the downloaded setup program is the file the feed describes: SHA-512 through BCrypt.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/result.h"
#include "app/win.h"

namespace qv {

inline constexpr std::size_t kVerifyReadSize = 1'048'576;
inline constexpr std::size_t kHashObjectSize = 1024;

inline constexpr std::string_view kCryptoUnavailable = "Windows crypto is unavailable";
inline constexpr std::string_view kDownloadMissing =
    "the download went missing before it could be verified";
inline constexpr std::string_view kDownloadUnreadable =
    "couldn't read the download back to verify it";
inline constexpr std::string_view kChecksumMismatch =
    "the download failed verification (checksum mismatch), so it was discarded";

// Hashes the whole file, from its first byte, through `file` (the setup program's hold,
// setup_file_win.h) and compares the digest with `expected` (which matches only when 64 bytes
// long). The caller discards a file that fails with kChecksumMismatch. `cancel` is checked before
// each read of 1 MiB.
Status verify_download(HANDLE file, const std::vector<std::uint8_t>& expected,
                       const std::atomic<bool>& cancel);

}  // namespace qv
