#include "install/install_run.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "install/busy_wait.h"

namespace qv {
namespace {

char ascii_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows opens these names as devices in any folder, with any extension and with trailing spaces
// before it: "nul", "COM1.exe", "lpt1 .txt".
bool is_device_name(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  std::string upper;
  for (const char c : stem) upper += ascii_upper(c);
  constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                      "NUL", "CONIN$", "CONOUT$"};
  for (const std::string_view device : kPlain) {
    if (upper == device) return true;
  }
  if (!upper.starts_with("COM") && !upper.starts_with("LPT")) return false;
  const std::string_view digit = std::string_view(upper).substr(3);
  // A digit, or a superscript one, two or three (U+00B9, U+00B2, U+00B3).
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
         digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// Separators and ":" (drives, streams) lead out of the folder; no Windows file name holds the rest.
constexpr std::string_view kNotInFileNames = "\\/:<>\"|?*";

}  // namespace

Status check_setup_file_name(std::string_view path) {
  // Windows drops trailing dots and spaces from a name, so "a.exe." is "a.exe" on disk and "..."
  // is the folder itself: the saved file would not be the one the URL names.
  if (path.empty() || path.back() == '.' || path.back() == ' ' || is_device_name(path)) {
    return fail(std::string(kUnsafeSetupName));
  }
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<std::uint8_t>(path[i]);
    const bool c0_or_delete = c < 0x20 || c == 0x7F;
    // U+0080 to U+009F are C1 control characters: C2 80 to C2 9F in UTF-8.
    const bool c1 = c == 0xC2 && i + 1 < path.size() &&
                    static_cast<std::uint8_t>(path[i + 1]) >= 0x80 &&
                    static_cast<std::uint8_t>(path[i + 1]) <= 0x9F;
    if (c0_or_delete || c1 || kNotInFileNames.find(path[i]) != std::string_view::npos) {
      return fail(std::string(kUnsafeSetupName));
    }
  }
  return {};
}

TrustAnswer classify_trust_answer(std::uint32_t answer) {
  if (answer == 0) return TrustAnswer::Trusted;
  // HRESULT_FROM_WIN32 of: file or path not found, access denied, no memory, device not ready,
  // data error, read fault, sharing and lock violations, I/O device error.
  constexpr std::array<std::uint32_t, 10> kReadFailures = {2, 3, 5, 14, 21, 23, 30, 32, 33, 1117};
  if ((answer & 0xFFFF0000u) == 0x80070000u && std::find(kReadFailures.begin(), kReadFailures.end(),
                                                         answer & 0xFFFFu) != kReadFailures.end()) {
    return TrustAnswer::ReadFailure;
  }
  constexpr std::array<std::uint32_t, 7> kNotChecked = {
      0x80092003,  // CRYPT_E_FILE_ERROR
      0x80096001,  // TRUST_E_SYSTEM_ERROR
      0x800B0001,  // TRUST_E_PROVIDER_UNKNOWN
      0x800B0002,  // TRUST_E_ACTION_UNKNOWN
      0x800B010E,  // CERT_E_REVOCATION_FAILURE
      0x80092013,  // CRYPT_E_REVOCATION_OFFLINE
      0x80092012,  // CRYPT_E_NO_REVOCATION_CHECK
  };
  if (std::find(kNotChecked.begin(), kNotChecked.end(), answer) != kNotChecked.end()) {
    return TrustAnswer::NotChecked;
  }
  return TrustAnswer::Refused;
}

bool sweep_deletes(std::uint32_t attributes) {
  return (attributes & (kAttributeDirectory | kAttributeReparsePoint | kAttributeDevice)) == 0;
}

std::string installing_status(std::string_view version) {
  return "Installing Quorvane " + std::string(version) + "...";
}

}  // namespace qv
