// Rules of one install run that need no platform: which setup file names the run accepts from
// the feed and the texts it shows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/result.h"

namespace qv {

inline constexpr std::string_view kUnsafeSetupName =
    "the release feed names an installer file that isn't a plain file name";

// The feed's `path` becomes both the last part of the download URL and a file name inside our
// download folder, so it must name exactly one file there: no "\", "/" or ":", none of <>"|?*,
// no control character, no trailing "." or " " (which Windows drops, so "." and ".." go too), and
// no device name such as "NUL" or "COM1.exe", which Windows would open as a device instead of a
// file. Spaces inside and non-ASCII letters are fine.
Status check_setup_file_name(std::string_view path);

// What an answer of WinVerifyTrust says about the setup program:
// - Trusted: success;
// - ReadFailure: Windows failed to read the file (missing, held, unreadable, no memory);
// - NotChecked: Windows could not check at all (its providers failed, or a revocation check could
//   not be made under a policy that refuses offline answers): no verdict on the signature;
// - Refused: any other answer, a verdict that the file is not signed as it must be.
// Only a refusal calls the file unsigned and deletes it; the others keep it, so that Try Again
// checks it again without downloading.
enum class TrustAnswer { Trusted, ReadFailure, NotChecked, Refused };
TrustAnswer classify_trust_answer(std::uint32_t answer);

// Whether the sweep of the download folder deletes an entry with these attributes: only a plain
// file. A folder, a junction or a symbolic link (whose deletion could reach what it points to)
// and a device are left alone.
bool sweep_deletes(std::uint32_t attributes);

// "Installing Quorvane <version>..."
std::string installing_status(std::string_view version);

}  // namespace qv
