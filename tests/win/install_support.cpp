#include "install_support.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/handles_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "install/location.h"
#include "install/location_win.h"

namespace qv::test {

std::string scratch_path(std::string_view name) {
  const std::string path = join_path(*temp_folder(), "qv-install-tests") + "\\" + std::string(name);
  // Left from an earlier run (Wine reuses process ids, so the name alone is not fresh).
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(widen(path)), ignored);
  return path;
}

bool file_exists(std::string_view path) {
  const DWORD a = GetFileAttributesW(widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool folder_exists(std::string_view path) {
  const DWORD a = GetFileAttributesW(widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void write_file(std::string_view path, std::string_view bytes) {
  OwnedFile file(CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file)
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::optional<std::string> read_file(std::string_view path) {
  OwnedFile file(CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

std::string fake_setup_path() {
  wchar_t own[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH * 4);
  std::wstring path(own, length);
  path.resize(path.find_last_of(L'\\') + 1);
  return narrow(path + L"fake_setup.exe");
}

bool another_program_is_refused(std::string_view path) {
  std::string scanner = fake_setup_path();
  scanner.replace(scanner.rfind("fake_setup.exe"), std::string::npos, "scanner.exe");
  std::wstring line = L"\"" + widen(scanner) + L"\" tamper \"" + widen(path) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started)) {
    return false;
  }
  const OwnedHandle process(started.hProcess);
  const OwnedHandle thread(started.hThread);
  DWORD code = 1;
  return WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0 &&
         GetExitCodeProcess(process.get(), &code) && code == 0;
}

std::optional<SetupRecord> read_setup_record(std::string_view exe_path) {
  const auto bytes = read_file(std::string(exe_path) + ".record");
  if (!bytes) return std::nullopt;
  const std::wstring text(reinterpret_cast<const wchar_t*>(bytes->data()),
                          bytes->size() / sizeof(wchar_t));
  const std::size_t first = text.find(L'\n');
  const std::size_t second = text.find(L'\n', first + 1);
  if (first == std::wstring::npos || second == std::wstring::npos) return std::nullopt;
  return SetupRecord{narrow(text.substr(0, first)),
                     narrow(text.substr(first + 1, second - first - 1))};
}

std::string served_root() {
  const char* root = std::getenv("QV_TEST_ROOT");
  std::string path = "Z:";
  path += root ? root : "/nonexistent";
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

void serve_copy(std::string_view path, std::string_view local_file) {
  std::string target = served_root() + std::string(path);
  for (char& c : target) {
    if (c == '/') c = '\\';
  }
  create_folder_tree(*parent_folder(target));
  CopyFileW(widen(local_file).c_str(), widen(target).c_str(), FALSE);
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, std::optional<std::wstring> value)
    : name_(name) {
  std::vector<wchar_t> buffer(32768);
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetEnvironmentVariableW(name, buffer.data(), 32768);
  if (length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
    old_ = std::wstring(buffer.data(), length);
  }
  SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr);
}

std::map<std::string, std::string> files_under(std::string_view root, bool recursive) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  std::error_code error;
  const auto note = [&files](const fs::directory_entry& entry) {
    std::error_code ignored;
    std::string& stamp = files[narrow(entry.path().wstring())];
    // A folder's own time moves whenever something inside it comes or goes: only its being
    // there counts.
    if (entry.is_directory(ignored)) {
      stamp = "folder";
    } else {
      stamp = std::to_string(entry.file_size(ignored)) + " " +
              std::to_string(entry.last_write_time(ignored).time_since_epoch().count());
    }
  };
  const fs::path start(widen(root));
  if (recursive) {
    for (fs::recursive_directory_iterator it(start, error), end; !error && it != end;
         it.increment(error)) {
      note(*it);
    }
  } else {
    for (fs::directory_iterator it(start, error), end; !error && it != end; it.increment(error)) {
      note(*it);
    }
  }
  return files;
}

std::vector<std::string> changed_outside(const std::map<std::string, std::string>& before,
                                         const std::map<std::string, std::string>& after,
                                         const std::vector<std::string>& allowed) {
  std::vector<std::string> changed;
  const auto outside = [&allowed](const std::string& path) {
    for (const std::string& folder : allowed) {
      if (path == folder || path.starts_with(folder + "\\")) return false;
    }
    return true;
  };
  for (const auto& [path, stamp] : after) {
    const auto old = before.find(path);
    if ((old == before.end() || old->second != stamp) && outside(path)) changed.push_back(path);
  }
  for (const auto& [path, stamp] : before) {
    if (!after.contains(path) && outside(path)) changed.push_back(path);
  }
  return changed;
}

std::string sha512_base64(std::string_view path) {
  std::string content = read_file(path).value_or("");
  const BCryptFunctions& bcrypt = *bcrypt_functions();
  OwnedAlgorithm algorithm;
  bcrypt.open_algorithm_provider(algorithm.put(), BCRYPT_SHA512_ALGORITHM, nullptr, 0);
  OwnedHash hash;
  bcrypt.create_hash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0);
  bcrypt.hash_data(hash.get(), reinterpret_cast<PUCHAR>(content.data()),
                   static_cast<ULONG>(content.size()), 0);
  UCHAR digest[64] = {};
  bcrypt.finish_hash(hash.get(), digest, 64, 0);
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (int i = 0; i < 64; i += 3) {
    const unsigned v = (digest[i] << 16) | ((i + 1 < 64 ? digest[i + 1] : 0) << 8) |
                       (i + 2 < 64 ? digest[i + 2] : 0);
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += i + 1 < 64 ? kAlphabet[(v >> 6) & 63] : '=';
    text += i + 2 < 64 ? kAlphabet[v & 63] : '=';
  }
  return text;
}

}  // namespace qv::test
