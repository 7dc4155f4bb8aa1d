#include "install/publisher_win.h"

#include <optional>

#include "app/handles_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "install/checksum_win.h"

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

// The signer's name of a file that passes WinVerifyTrust; an empty optional inside when the file
// does not pass or has no readable signer; nothing at all when wintrust or crypt32 can't be loaded.
std::optional<std::optional<std::string>> verified_signer(std::string_view path) {
  const WinTrustFunctions* wintrust = wintrust_functions();
  const Crypt32Functions* crypt32 = crypt32_functions();
  if (!wintrust || !crypt32) return std::nullopt;

  const std::wstring wide_path = widen(path);
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = wide_path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // Revocation is checked for the whole chain, but only against what Windows already holds
  // (cached lists and answers, the untrusted-certificate store): the check never waits on the
  // network, where an unreachable revocation server would hold the Verifying screen for minutes.
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  const TrustVerification verification(*wintrust, WINTRUST_ACTION_GENERIC_VERIFY_V2, data);
  if (verification.result() != ERROR_SUCCESS || !verification.state()) {
    return std::optional<std::string>();
  }
  return signer_name(*wintrust, *crypt32, verification.state());
}

}  // namespace

Status check_setup_publisher(std::string_view setup_path, std::string_view publisher) {
  if (publisher.empty()) return {};
  const auto name = verified_signer(setup_path);
  if (!name) return fail(std::string(kCryptoUnavailable));
  if (*name != publisher) {
    DeleteFileW(widen(setup_path).c_str());  // never to be run, so not kept for a resume
    return fail(std::string(kSetupNotSigned));
  }
  return {};
}

}  // namespace qv
