// Text at the platform edge: UTF-8 inside, NUL-terminated UTF-16 for Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

std::wstring widen(std::string_view text);

// Unpaired surrogates become U+FFFD.
std::string narrow(std::wstring_view text);

// The variable's value, or nothing when it is absent or not valid Unicode.
std::optional<std::string> read_environment(const wchar_t* name);

}  // namespace qv
