// tools/publish-release, run for real: the feed it writes must read back through the installer's
// own reader, and it must refuse every setup name the installer refuses as the feed's `path`.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "install/checksum.h"
#include "install/install_run.h"
#include "net/feed.h"
#include "net/feed_signature.h"

namespace qv {
namespace {

// Runs `program` with `args`: its exit status, or -1 when it could not run. What it prints goes to
// the file `out`.
int run(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, argv[0], &files, nullptr, const_cast<char* const*>(argv.data()), environ);
  posix_spawn_file_actions_destroy(&files);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The release tool with `args`: 0 done, 1 refused.
int run_tool(std::vector<std::string> args, const std::string& out = "/dev/null") {
  args.insert(args.begin(), {"python3", QV_PUBLISH_RELEASE});
  return run(args, out);
}

class PublishRelease : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "qv-publish-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // The setup program, as a real file.
  std::string setup(const std::string& name, const std::string& bytes = "x") {
    std::ofstream(dir_ + name, std::ios::binary) << bytes;
    return dir_ + name;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::string dir_;
};

TEST_F(PublishRelease, ItsFeedReadsBackThroughTheInstallersReader) {
  const std::string name =
      "Quorvane Setup 2.0.1 \xC3\x89"
      "dition.exe";
  ASSERT_EQ(run_tool({setup(name, "abc"), "2.0.1-beta.3"}), 0);
  const auto info = parse_release_feed(read(dir_ + "latest.yml"));
  ASSERT_TRUE(info.ok()) << info.reason();
  EXPECT_EQ(info->version, "2.0.1-beta.3");
  EXPECT_EQ(info->path, name);
  EXPECT_EQ(info->size, 3u);
  // The SHA-512 of "abc", the standard's own test vector, decoded as the installer decodes it.
  const auto digest = decode_feed_checksum(info->sha512);
  ASSERT_TRUE(digest);
  std::string hex;
  for (const std::uint8_t b : *digest) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  EXPECT_EQ(hex,
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
            "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
}

TEST_F(PublishRelease, RefusesWhatTheInstallerRefuses) {
  // Judged by the installer's own rule (every name but one with a NUL, which no argument holds).
  const std::vector<std::string> judged = {"Quorvane-Setup-1.4.2.exe",
                                           "...exe",
                                           "a%2F..b.exe",
                                           "CONSOLE.exe",
                                           "COM10.exe",
                                           "LPT.exe",
                                           "Quorvane NUL.exe",
                                           "..\\..\\evil.exe",
                                           "../evil.exe",
                                           "sub/setup.exe",
                                           "C:evil.exe",
                                           "setup.exe:stream",
                                           "\\\\server\\share\\x.exe",
                                           ".",
                                           "..",
                                           "",
                                           "a\tb.exe",
                                           "a\x7F.exe",
                                           "a\xC2\x85.exe",
                                           "NUL",
                                           "nul.exe",
                                           "CON.setup.exe",
                                           "Aux.exe",
                                           "com9.exe",
                                           "LPT1 .exe",
                                           "lpt0",
                                           "COM\xC2\xB9.exe",
                                           "conout$.exe",
                                           "setup.exe.",
                                           "setup.exe ",
                                           "a<b.exe",
                                           "a>b.exe",
                                           "a\"b.exe",
                                           "a|b.exe",
                                           "a?.exe",
                                           "*.exe"};
  // Refused by the tool though the installer's rule allows them: the feed's clean-up would trim
  // the ends, and the feed must be UTF-8.
  const std::vector<std::string> refused = {" setup.exe", "'setup.exe'", "setup\xFF.exe"};
  std::vector<std::string> args = {"--check"};
  args.insert(args.end(), judged.begin(), judged.end());
  args.insert(args.end(), refused.begin(), refused.end());
  EXPECT_EQ(run_tool(args, dir_ + "verdicts"), 1);
  std::vector<std::string> verdicts;
  std::istringstream lines(read(dir_ + "verdicts"));
  for (std::string line; std::getline(lines, line);) verdicts.push_back(line);
  ASSERT_EQ(verdicts.size(), judged.size() + refused.size());
  for (std::size_t i = 0; i < judged.size(); ++i) {
    EXPECT_EQ(verdicts[i] == "ok", check_setup_file_name(judged[i]).ok()) << judged[i];
  }
  for (std::size_t i = 0; i < refused.size(); ++i) {
    EXPECT_NE(verdicts[judged.size() + i], "ok") << refused[i];
  }

  // Publishing refuses as well, and writes no feed.
  EXPECT_EQ(run_tool({setup("nul.exe"), "1.0"}), 1);
  for (const std::string version : {"", "1.0\n", "1\r2", "'1.0'", "1.0\xC0"}) {
    EXPECT_EQ(run_tool({setup("s.exe"), version}), 1) << version;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "latest.yml"));
}

TEST_F(PublishRelease, ItsSignedFeedIsTheUnsignedOneAndASignatureLine) {
  // The installer's own check of the signature is BCrypt's, under Wine (tests/win/trust_test.cpp,
  // on feeds this tool signs); here: what the signature covers and how the line reads.
  const std::string key = dir_ + "feed-key.pem";
  ASSERT_EQ(run({"openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", key}),
            0);
  const std::string program = setup("Quorvane Setup 3.0.exe", "abc");
  ASSERT_EQ(run_tool({program, "3.0"}), 0);
  const std::string unsigned_feed = read(dir_ + "latest.yml");
  ASSERT_EQ(run_tool({"--sign-key", key, program, "3.0"}), 0);
  const std::string signed_feed = read(dir_ + "latest.yml");
  const auto split = split_signed_feed(signed_feed);
  ASSERT_TRUE(split) << signed_feed;
  EXPECT_EQ(split->signed_bytes, unsigned_feed);
  EXPECT_TRUE(signed_feed.ends_with("==\n"));
  // Installers built without keys read the same release from it.
  const auto info = parse_release_feed(signed_feed);
  ASSERT_TRUE(info.ok());
  EXPECT_EQ(info->version, "3.0");
  EXPECT_EQ(info->size, 3u);

  // A key that can't sign (the public half, a key of another curve) is refused and writes nothing.
  const std::string other = dir_ + "p384.pem";
  ASSERT_EQ(run({"openssl", "ecparam", "-name", "secp384r1", "-genkey", "-noout", "-out", other}),
            0);
  ASSERT_EQ(run({"openssl", "ec", "-in", key, "-pubout", "-out", key + ".pub"}), 0);
  std::filesystem::remove(dir_ + "latest.yml");
  for (const std::string& refused : {other, key + ".pub", dir_ + "missing.pem"}) {
    EXPECT_EQ(run_tool({"--sign-key", refused, program, "3.0"}), 1) << refused;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "latest.yml"));
}

}  // namespace
}  // namespace qv
