#include "install/publisher_win.h"

#include <optional>

#include "app/handles_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "install/checksum_win.h"
#include "install/install_run.h"
#include "install/setup_file_win.h"

namespace qv {
namespace {

// The signer's name from the state a successful verification left; nothing without one.
std::optional<std::string> signer_name(const WinTrustFunctions& wintrust,
                                       const Crypt32Functions& crypt32, HANDLE state) {
  CRYPT_PROVIDER_DATA* provider = wintrust.provider_data(state);
  if (!provider) return std::nullopt;
  CRYPT_PROVIDER_SGNR* signer = wintrust.signer_from_chain(provider, 0, FALSE, 0);
  if (!signer || signer->csCertChain == 0 || !signer->pasCertChain ||
      !signer->pasCertChain[0].pCert) {
    return std::nullopt;
  }
  PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
  const DWORD length =
      crypt32.get_name_string(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (length <= 1) return std::nullopt;  // 1 is the terminating NUL of an empty name
  std::wstring name(length, L'\0');
  crypt32.get_name_string(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(),
                          length);
  name.resize(length - 1);
  return narrow(name);
}

// What WinVerifyTrust made of the file: its signer's name when it passes, nothing inside when it
// has no valid signature or no readable signer, a reason when the file could not be read or
// Windows could not check it.
Result<std::optional<std::string>> verified_signer(const WinTrustFunctions& wintrust,
                                                   const Crypt32Functions& crypt32,
                                                   std::string_view path, const BusyWait& wait) {
  // A reader of its own beside the hold, with its own file position: the SHA-512 reads the hold
  // at the same time. Read sharing only, like the hold, so it opens while the hold is there.
  Result<OwnedFile> file = hold_setup_file(path, wait);
  if (!file) return fail(file.reason());

  const std::wstring wide_path = widen(path);
  WINTRUST_FILE_INFO info{};
  info.cbStruct = sizeof info;
  info.pcwszFilePath = wide_path.c_str();
  info.hFile = file->get();  // the file we hold, not whatever the path names by then
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // Revocation is checked for the whole chain, but only against what Windows already holds
  // (cached lists and answers, the untrusted-certificate store): the check never waits on the
  // network, where an unreachable revocation server would hold the Verifying screen for minutes.
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  const TrustVerification verification(wintrust, WINTRUST_ACTION_GENERIC_VERIFY_V2, data);
  switch (classify_trust_answer(static_cast<std::uint32_t>(verification.result()))) {
    case TrustAnswer::ReadFailure:
      return fail(std::string(kDownloadUnreadable));
    case TrustAnswer::NotChecked:
      return fail(std::string(kSignatureNotChecked));
    case TrustAnswer::Refused:
      return std::optional<std::string>();
    case TrustAnswer::Trusted:
      break;
  }
  if (!verification.state()) return std::optional<std::string>();
  return signer_name(wintrust, crypt32, verification.state());
}

}  // namespace

Status check_setup_publisher(std::string_view setup_path, std::string_view publisher,
                             const BusyWait& wait) {
  if (publisher.empty()) return {};
  const WinTrustFunctions* wintrust = wintrust_functions();
  const Crypt32Functions* crypt32 = crypt32_functions();
  if (!wintrust || !crypt32) return fail(std::string(kCryptoUnavailable));
  const auto name = verified_signer(*wintrust, *crypt32, setup_path, wait);
  if (!name) return fail(name.reason());
  if (name.value() != publisher) return fail(std::string(kSetupNotSigned));
  return {};
}

}  // namespace qv
