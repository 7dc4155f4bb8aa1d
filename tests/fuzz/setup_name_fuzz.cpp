// The feed `path` check on any name: what it accepts names exactly one file inside the download
// folder and only changes the last part of the download URL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "install/install_run.h"
#include "install/location.h"
#include "net/url.h"

namespace {

std::string upper_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const qv::Status checked = qv::check_setup_file_name(name);
  if (!checked) QV_FUZZ_CHECK(checked.reason() == qv::kUnsafeSetupName);
  // Windows compares file and device names without regard to ASCII case.
  QV_FUZZ_CHECK(qv::check_setup_file_name(upper_ascii(name)).ok() == checked.ok());
  if (!checked) return 0;

  QV_FUZZ_CHECK(!name.empty() && name != "." && name != "..");
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(name[i]);
    QV_FUZZ_CHECK(b >= 0x20 && b != 0x7F && b != '\\' && b != '/' && b != ':');
    // U+0080 to U+009F, the C1 controls.
    const auto next = i + 1 < name.size() ? static_cast<std::uint8_t>(name[i + 1]) : 0;
    QV_FUZZ_CHECK(!(b == 0xC2 && next >= 0x80 && next <= 0x9F));
  }

  const std::string folder = "C:\\Users\\Ann\\AppData\\Local\\Temp\\QuorvaneInstaller";
  QV_FUZZ_CHECK(qv::parent_folder(qv::join_path(folder, name)) == folder);

  const std::string base = "https://releases.quorvane.example:8443/stable/";
  const auto url = qv::split_url(base + std::string(name));
  QV_FUZZ_CHECK(url && url->secure && url->port == 8443);
  QV_FUZZ_CHECK(url->host == "releases.quorvane.example");
  QV_FUZZ_CHECK(url->path == "/stable/" + std::string(name));
  return 0;
}
