// The shell's verbs that the window uses: the release page and the installed product.
#pragma once

#include <cstdint>
#include <string_view>

namespace qv {

// The product's latest-release page in the user's browser; nothing when the shell can't be had.
void open_release_page();

// Opens the installed product through the shell, with no error box of its own: 0, or the Windows
// error that kept it from starting.
std::uint32_t open_product(std::string_view path);

}  // namespace qv
