// Files and folders for the install tests under Wine: scratch folders, small file helpers, the
// stand-in setup program and the served folder of the release server.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::test {

// A fresh path under the temporary folder: whatever an earlier run left there is removed first.
std::string scratch_path(std::string_view name);

bool file_exists(std::string_view path);
bool folder_exists(std::string_view path);
void write_file(std::string_view path, std::string_view bytes);
std::optional<std::string> read_file(std::string_view path);

// fake_setup.exe beside the test program.
std::string fake_setup_path();

// scanner.exe beside the test program (tests/support/scanner.cpp): another program that tries to
// change `path`. True when it could neither write to it nor delete it.
bool another_program_is_refused(std::string_view path);

// What the stand-in recorded at its last run from `exe_path`: its command line and its folder.
struct SetupRecord {
  std::string command_line;
  std::string current_folder;
};
std::optional<SetupRecord> read_setup_record(std::string_view exe_path);

// The release server's folder as a Windows path, and a copy of a local file served at `path`.
std::string served_root();
void serve_copy(std::string_view path, std::string_view local_file);

// Sets (or, with nothing, removes) a variable of this process and puts the old state back at the
// end of the scope. Child processes inherit it.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, std::optional<std::wstring> value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> old_;
};

// Every file and folder under `root` (all depths, or only the first with `recursive` false), with
// a file's size and last write time, to tell what a run wrote.
std::map<std::string, std::string> files_under(std::string_view root, bool recursive = true);

// The paths that differ between two listings and lie outside every folder of `allowed`.
std::vector<std::string> changed_outside(const std::map<std::string, std::string>& before,
                                         const std::map<std::string, std::string>& after,
                                         const std::vector<std::string>& allowed);

// SHA-512 of a local file in base64, as a feed would publish it.
std::string sha512_base64(std::string_view path);

}  // namespace qv::test
