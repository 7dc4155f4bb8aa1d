// signer_name.exe FILE...: for each signed program, one line with its signer's name as Windows
// shows it (the simple display name that the installer compares with its publisher), in UTF-8;
// "-" for a file whose signer can't be read. The release tests compare it with the name that
// tools/publish-release derives from the same signature.
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <string>

namespace {

std::string utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// The first signer's certificate found in the signature's own store, as WinVerifyTrust finds it.
std::wstring signer_name(const wchar_t* path) {
  HCERTSTORE store = nullptr;
  HCRYPTMSG message = nullptr;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                        CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store,
                        &message, nullptr)) {
    return L"-";
  }
  std::wstring name = L"-";
  DWORD size = 0;
  if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size)) {
    std::string info(size, '\0');
    if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(), &size)) {
      PCCERT_CONTEXT certificate = CertFindCertificateInStore(
          store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
          reinterpret_cast<const CERT_INFO*>(info.data()), nullptr);
      if (certificate) {
        const DWORD length =
            CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
        name.assign(length, L'\0');
        CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(),
                           length);
        name.resize(length - 1);
        CertFreeCertificateContext(certificate);
      }
    }
  }
  CryptMsgClose(message);
  CertCloseStore(store, 0);
  return name;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  for (int i = 1; i < argc; ++i) {
    const std::string line = utf8(signer_name(argv[i])) + "\n";
    DWORD written = 0;
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  return 0;
}
