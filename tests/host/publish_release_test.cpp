// tools/publish-release, run for real: the feed it writes must read back through the installer's
// own reader, and it must refuse every setup name the installer refuses as the feed's `path`.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "install/checksum.h"
#include "install/install_run.h"
#include "net/feed.h"
#include "net/feed_expiry.h"
#include "net/feed_signature.h"

namespace qv {
namespace {

// Runs `program` with `args`: its exit status, or -1 when it could not run. What it prints goes to
// the file `out` (and its errors too, with `errors`).
int run(const std::vector<std::string>& args, const std::string& out = "/dev/null",
        bool errors = false) {
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (errors) {
    posix_spawn_file_actions_adddup2(&files, 1, 2);
  } else {
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, argv[0], &files, nullptr, const_cast<char* const*>(argv.data()), environ);
  posix_spawn_file_actions_destroy(&files);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The release tool with `args`: 0 done, 1 refused, 2 bad usage.
int run_tool(std::vector<std::string> args, const std::string& out = "/dev/null",
             bool errors = false) {
  args.insert(args.begin(), {"python3", QV_PUBLISH_RELEASE});
  return run(args, out, errors);
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
  // the ends, the feed must be UTF-8, and base URL + name must name the file itself (what a
  // server makes of each character: tests/win/http_test.cpp).
  const std::vector<std::string> refused = {" setup.exe",  "'setup.exe'", "setup\xFF.exe",
                                            "a%2F..b.exe", "100%.exe",    "a#b.exe"};
  std::vector<std::string> args = {"--check"};
  args.insert(args.end(), judged.begin(), judged.end());
  args.insert(args.end(), refused.begin(), refused.end());
  EXPECT_EQ(run_tool(args, dir_ + "verdicts"), 1);
  std::vector<std::string> verdicts;
  std::istringstream lines(read(dir_ + "verdicts"));
  for (std::string line; std::getline(lines, line);) verdicts.push_back(line);
  ASSERT_EQ(verdicts.size(), judged.size() + refused.size());
  // One line per name, in order: "ok: 'NAME'" or "refused: 'NAME': it " and the reason.
  const auto passed = [&](std::size_t i) {
    EXPECT_TRUE(
        (verdicts[i].starts_with("ok: '") && verdicts[i].ends_with("'")) ||
        (verdicts[i].starts_with("refused: '") && verdicts[i].find("': it ") != std::string::npos))
        << verdicts[i];
    return verdicts[i].starts_with("ok: ");
  };
  for (std::size_t i = 0; i < judged.size(); ++i) {
    EXPECT_EQ(passed(i), check_setup_file_name(judged[i]).ok()) << judged[i];
  }
  for (std::size_t i = 0; i < refused.size(); ++i) {
    EXPECT_FALSE(passed(judged.size() + i)) << refused[i];
  }
  EXPECT_EQ(verdicts[0], "ok: 'Quorvane-Setup-1.4.2.exe'");
  EXPECT_EQ(verdicts[judged.size() + 1],
            "refused: '\\'setup.exe\\'': it would be read back from the feed as 'setup.exe'");

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
  ASSERT_EQ(run({"openssl", "ec", "-in", key, "-pubout", "-out", key + ".pub"}), 0);
  const std::string program = setup("Quorvane Setup 3.0.exe", "abc");
  ASSERT_EQ(run_tool({program, "3.0"}), 0);
  const std::string unsigned_feed = read(dir_ + "latest.yml");
  ASSERT_EQ(run_tool({"--sign-key", key, "--verify-key", key + ".pub", program, "3.0"}), 0);
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
}

TEST_F(PublishRelease, RefusesAFeedTheInstallerWouldRefuseAndSaysWhy) {
  const std::string key = dir_ + "feed-key.pem", other = dir_ + "other-key.pem";
  for (const std::string& made : {key, other}) {
    ASSERT_EQ(run({"openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", made}),
              0);
    ASSERT_EQ(run({"openssl", "ec", "-in", made, "-pubout", "-out", made + ".pub"}), 0);
  }
  const std::string p384 = dir_ + "p384.pem";
  ASSERT_EQ(run({"openssl", "ecparam", "-name", "secp384r1", "-genkey", "-noout", "-out", p384}),
            0);
  // Build folders as cmake leaves them; a relative key path is read against the source folder.
  std::filesystem::create_directories(dir_ + "locked");
  std::filesystem::create_directories(dir_ + "open");
  std::ofstream(dir_ + "locked/CMakeCache.txt")
      << "CMAKE_HOME_DIRECTORY:INTERNAL=" << dir_ << "\n"
      << "QUORVANE_FEED_PUBLIC_KEYS:STRING=other-key.pem.pub;feed-key.pem.pub\n"
      << "QUORVANE_SETUP_PUBLISHER:STRING=\n";
  std::ofstream(dir_ + "open/CMakeCache.txt") << "QUORVANE_FEED_PUBLIC_KEYS:STRING=\n";
  std::filesystem::create_directories(dir_ + "expiring");
  std::ofstream(dir_ + "expiring/CMakeCache.txt") << "QUORVANE_FEED_PUBLIC_KEYS:STRING=" << key
                                                  << ".pub\nQUORVANE_FEED_REQUIRE_EXPIRY:BOOL=ON\n";
  const std::string program = setup("Quorvane Setup 3.1.exe", "abc");
  const std::string locked = dir_ + "locked", open = dir_ + "open", pub = key + ".pub",
                    expiring = dir_ + "expiring";
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const std::vector<Row> rows = {
      {{"--sign-key", key, "--build", locked}, 0, ""},
      {{"--sign-key", other, "--verify-key", pub}, 1, "does not verify with any key"},
      {{"--sign-key", key, "--verify-key", other + ".pub"}, 1, "does not verify with any key"},
      {{"--build", locked}, 1, "would refuse an unsigned one"},
      {{"--verify-key", pub}, 1, "would refuse an unsigned one"},
      {{"--sign-key", key, "--build", open}, 1, "trusts no feed key"},
      {{"--sign-key", key, "--build", dir_ + "nowhere"}, 1, "there is no CMakeCache.txt in"},
      {{"--sign-key", dir_ + "missing.pem", "--verify-key", pub}, 1, "there is no file"},
      {{"--sign-key", key, "--verify-key", dir_ + "missing.pub"}, 1, "there is no file"},
      {{"--sign-key", p384, "--verify-key", pub}, 1, "is not an ECDSA P-256 private key"},
      {{"--sign-key", pub, "--verify-key", pub}, 1, "is a public key"},
      {{"--sign-key", key, "--verify-key", key}, 1, "is not an ECDSA P-256 public key"},
      {{"--sign-key", key}, 2, "needs to know what the installer trusts"},
      {{"--sign-key", key, "--build", locked, "--verify-key", pub}, 2, "not both"},
      {{"--sign-key", key, "--build", expiring}, 1, "Add --valid-for DAYS to this command"},
      {{"--sign-key", key, "--build", expiring, "--valid-for", "366"}, 0, ""},
      {{"--build", locked, "--valid-for", "28"}, 2, "--valid-for needs --sign-key"},
      {{"--sign-key", key, "--verify-key", pub, "--valid-for", "0"}, 2, "from 1 to 366"},
      {{"--sign-key", key, "--verify-key", pub, "--valid-for", "367"}, 2, "from 1 to 366"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {program, "3.1"});
    EXPECT_EQ(run_tool(args, dir_ + "said", true), row.status) << args[1];
    EXPECT_NE(read(dir_ + "said").find(row.says), std::string::npos)
        << read(dir_ + "said") << " lacks " << row.says;
    EXPECT_EQ(std::filesystem::remove(dir_ + "latest.yml"), row.status == 0) << args[1];
  }
  EXPECT_EQ(run_tool({dir_ + "missing.exe", "1.0"}, dir_ + "said", true), 1);
  EXPECT_TRUE(
      read(dir_ + "said").starts_with("publish-release: there is no file " + dir_ + "missing.exe:"))
      << read(dir_ + "said");
}

TEST_F(PublishRelease, ItsExpiryReadsBackAndARefreshChangesNothingElse) {
  const std::string key = dir_ + "feed-key.pem", feed = dir_ + "latest.yml";
  ASSERT_EQ(run({"openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", key}),
            0);
  ASSERT_EQ(run({"openssl", "ec", "-in", key, "-pubout", "-out", key + ".pub"}), 0);
  const auto tool = [&](std::vector<std::string> more) {
    more.insert(more.begin(), {"--sign-key", key, "--verify-key", key + ".pub"});
    return run_tool(more, dir_ + "said", true);
  };
  const std::string program = setup("Quorvane Setup 4.0.exe", "abc");
  const std::int64_t start = std::time(nullptr);
  // The date, now plus the days, as the installer reads it back; the lines in their order.
  const auto expiry_in = [&](const std::string& text, std::int64_t days) {
    const auto split = split_signed_feed(text);
    const auto written = feed_value(split ? split->signed_bytes : "", "expires").value_or("");
    const auto expires = parse_expiry_time(written);
    EXPECT_TRUE(expires && *expires >= start + days * 86400 &&
                *expires <= std::time(nullptr) + days * 86400)
        << text;
    return written;
  };
  ASSERT_EQ(tool({"--valid-for", "30", program, "4.0"}), 0);
  const std::string dated = read(feed);
  const std::string date = expiry_in(dated, 30);
  EXPECT_TRUE(dated.starts_with("version: 4.0\npath: Quorvane Setup 4.0.exe\nsha512: "));
  EXPECT_NE(dated.find("\nsize: 3\nexpires: " + date + "\nsignature: "), std::string::npos);
  ASSERT_EQ(tool({program, "4.0"}), 0);
  const std::string undated = read(feed);

  // A refresh writes the one line (above the signature when there was none) and the signature,
  // whose line end stays as it was.
  const std::string bare = dated.substr(0, dated.size() - 1);
  for (const std::string& before : {undated, bare + "\r\n", bare}) {
    std::ofstream(feed, std::ios::binary) << before;
    ASSERT_EQ(tool({"--refresh", feed, "--valid-for", "7"}), 0) << read(dir_ + "said");
    const std::string after = read(feed);
    const std::string renewed = expiry_in(after, 7);
    std::string expected = std::string(split_signed_feed(before)->signed_bytes);
    const std::size_t at = expected.find("expires: ");
    if (at == std::string::npos) {
      expected += "expires: " + renewed + "\n";
    } else {
      expected.replace(at + 9, renewed.size(), renewed);
    }
    ASSERT_TRUE(after.starts_with(expected + "signature: ")) << after;
    EXPECT_EQ(after.substr(after.rfind('=') + 1), before.substr(before.rfind('=') + 1));
  }

  // Refused, leaving the file as it was: a URL, and a feed changed since it was signed.
  std::string changed = read(feed);
  changed[changed.find("4.0")] = '9';
  std::ofstream(feed, std::ios::binary) << changed;
  EXPECT_EQ(tool({"--refresh", feed, "--valid-for", "7"}), 1);
  EXPECT_NE(read(dir_ + "said").find("is not signed by a key the installer"), std::string::npos);
  EXPECT_EQ(
      tool({"--refresh", "https://downloads.example.com/quorvane/latest.yml", "--valid-for", "7"}),
      1);
  EXPECT_NE(read(dir_ + "said").find("never a URL"), std::string::npos);
  EXPECT_EQ(read(feed), changed);
}

}  // namespace
}  // namespace qv
