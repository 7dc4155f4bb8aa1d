// The setup program's Authenticode signature and its signer, checked against the publisher a
// product was built with, before the program may run.
#pragma once

#include <string>
#include <string_view>

#include "app/result.h"
#include "install/busy_wait_win.h"

namespace qv {

inline constexpr std::string_view kSetupNotSigned =
    "the download isn't signed by the publisher, so it was discarded";
// Windows gave no verdict (classify_trust_answer's NotChecked): the file is kept for Try Again.
inline constexpr std::string_view kSignatureNotChecked =
    "Windows couldn't check the download's signature";

// With no publisher, success without looking. Otherwise the file must pass WinVerifyTrust
// (Authenticode, no UI, revocation from what Windows has cached only) and its signer's simple
// display name must be `publisher` exactly; if not, kSetupNotSigned, and the caller discards the
// file. A file that can't be read is not judged: the reasons of hold_setup_file (waiting by
// `wait` while another program has it in use), or kCryptoUnavailable when wintrust or crypt32
// can't be loaded; nor is one that Windows could not check (kSignatureNotChecked).
Status check_setup_publisher(std::string_view setup_path, std::string_view publisher,
                             const BusyWait& wait);

}  // namespace qv
