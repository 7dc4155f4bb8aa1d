#include "install/install_run.h"

#include <cstdint>

namespace qv {

Status check_setup_file_name(std::string_view path) {
  if (path.empty() || path == "." || path == "..") return fail(std::string(kUnsafeSetupName));
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<std::uint8_t>(path[i]);
    const bool c0_or_delete = c < 0x20 || c == 0x7F;
    // U+0080 to U+009F are C1 control characters: C2 80 to C2 9F in UTF-8.
    const bool c1 = c == 0xC2 && i + 1 < path.size() &&
                    static_cast<std::uint8_t>(path[i + 1]) >= 0x80 &&
                    static_cast<std::uint8_t>(path[i + 1]) <= 0x9F;
    if (c0_or_delete || c1 || c == '\\' || c == '/' || c == ':') {
      return fail(std::string(kUnsafeSetupName));
    }
  }
  return {};
}

std::string installing_status(std::string_view version) {
  return "Installing Quorvane " + std::string(version) + "...";
}

}  // namespace qv
