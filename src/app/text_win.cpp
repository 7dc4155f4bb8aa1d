#include "app/text_win.h"

#include <vector>

#include "app/text.h"
#include "app/win.h"

namespace qv {

std::wstring widen(std::string_view text) {
  const std::u16string wide = utf8_to_utf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string narrow(std::wstring_view text) {
  return utf16_to_utf8(std::u16string(text.begin(), text.end()));
}

std::optional<std::string> read_environment(const wchar_t* name) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      // Zero is both "absent" and "set but empty"; only the error code tells them apart.
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < buffer.size()) {
      return utf16_to_utf8_strict(std::u16string(buffer.begin(), buffer.begin() + length));
    }
    buffer.resize(length);  // too small: `length` is the size needed, terminator included
  }
}

}  // namespace qv
