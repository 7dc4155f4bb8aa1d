// The install folder on the real file system: the default text, creating and probing the folder,
// the temporary folder and free space.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/result.h"

namespace qv {

// %LOCALAPPDATA%\Programs\Quorvane, with "C:\" when the variable is absent.
std::string default_install_folder();

// Creates the folder with every missing parent; an existing folder is fine, a file is not.
bool create_folder_tree(std::string_view folder);

// Creates the folder, then writes and deletes the probe file in it.
Status prepare_install_folder(std::string_view folder);

// The user's temporary folder (GetTempPath2W where it exists, else GetTempPathW), ending in a
// separator; nothing when the platform cannot say.
std::optional<std::string> temp_folder();

// Bytes available to this user on the volume that holds `folder`; nothing when the query fails.
std::optional<std::uint64_t> free_bytes_for_user(std::string_view folder);

// The download test on the temporary folder (for the `download_need` bytes that the download
// still has to write there; none: no test), then the install test.
Status check_free_space(std::string_view folder, std::uint64_t download_need);

}  // namespace qv
