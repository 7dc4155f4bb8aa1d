#include "install/setup_command.h"

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

std::string installer_error_reason(std::uint32_t exit_code) {
  // Codes with the top bit set (such as C0000005) read as negative numbers.
  const auto code = static_cast<std::int32_t>(exit_code);
  return "the installer reported an error (code " + std::to_string(code) + ")";
}

}  // namespace qv
