#include "install/setup_command.h"

#include <algorithm>
#include <array>

namespace qv {

std::string setup_command_line(std::string_view setup_path, std::string_view folder) {
  std::string line;
  line.reserve(setup_path.size() + folder.size() + 24);
  line += '"';
  line += setup_path;
  line += "\" /S /currentuser /D=";
  line += folder;
  return line;
}

std::string_view setup_start_reason(std::uint32_t error) {
  constexpr std::array<std::uint32_t, 6> kBlocks = {
      5,     // ERROR_ACCESS_DENIED
      225,   // ERROR_VIRUS_INFECTED
      226,   // ERROR_VIRUS_DELETED
      577,   // ERROR_INVALID_IMAGE_HASH
      1260,  // ERROR_ACCESS_DISABLED_BY_POLICY
      4551,  // ERROR_SYSTEM_INTEGRITY_POLICY_VIOLATION
  };
  // The reputation verdicts: malicious, potentially unwanted, dangerous, offline (4556 to 4559);
  // unfriendly file, unattainable (4580, 4581).
  const bool reputation = (error >= 4556 && error <= 4559) || error == 4580 || error == 4581;
  const bool blocked =
      reputation || std::find(kBlocks.begin(), kBlocks.end(), error) != kBlocks.end();
  return blocked ? kInstallerBlocked : kInstallerNotStarted;
}

std::string installer_error_reason(std::uint32_t exit_code) {
  // Codes with the top bit set (such as C0000005) read as negative numbers.
  const auto code = static_cast<std::int32_t>(exit_code);
  return "the installer reported an error (code " + std::to_string(code) + ")";
}

}  // namespace qv
