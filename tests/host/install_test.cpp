// The install pipeline's pure rules: folder texts, joining, free space, the checksum text, the
// setup program's command line, the feed's setup file name, and waiting out a held file.
#include <gtest/gtest.h>

#include <vector>

#include "install/busy_wait.h"
#include "install/checksum.h"
#include "install/install_run.h"
#include "install/location.h"
#include "install/setup_command.h"

namespace qv {
namespace {

TEST(DefaultInstallFolder, BaseIsConcatenatedNotJoined) {
  EXPECT_EQ(compose_default_install_folder(std::string("C:\\Users\\ana\\AppData\\Local")),
            "C:\\Users\\ana\\AppData\\Local\\Programs\\Quorvane");
  // Absent (or not valid Unicode): the "C:\" base gives two backslashes after the colon.
  EXPECT_EQ(compose_default_install_folder(std::nullopt), "C:\\\\Programs\\Quorvane");
  // Set but empty: a folder at the root of the current drive.
  EXPECT_EQ(compose_default_install_folder(std::string()), "\\Programs\\Quorvane");
}

TEST(FolderTextFromField, TrimsUnicodeWhiteSpaceAtTheEndsOnly) {
  EXPECT_EQ(folder_text_from_field(" \t\r\nD:\\My Apps\\Quorvane \n"), "D:\\My Apps\\Quorvane");
  // U+3000 ideographic space, U+00A0 no-break space, U+2028 line separator.
  EXPECT_EQ(folder_text_from_field("\xE3\x80\x80\xC2\xA0"
                                   "D:\\\xC3\xA9t\xC3\xA9\xE2\x80\xA8"),
            "D:\\\xC3\xA9t\xC3\xA9");
  // No case folding, no separator conversion, no expansion.
  EXPECT_EQ(folder_text_from_field("d:/Apps/%USERNAME%"), "d:/Apps/%USERNAME%");
  // Nothing left: the click does nothing.
  EXPECT_EQ(folder_text_from_field(""), std::nullopt);
  EXPECT_EQ(folder_text_from_field(" \t\r\n\xE2\x80\x83"), std::nullopt);
  // U+200B is not white space.
  EXPECT_EQ(folder_text_from_field("\xE2\x80\x8B"), "\xE2\x80\x8B");
}

TEST(JoinPath, OneBackslashUnlessTheBaseEndsInASeparatorOrIsABareDrive) {
  EXPECT_EQ(join_path("D:\\Apps", "Quorvane.exe"), "D:\\Apps\\Quorvane.exe");
  EXPECT_EQ(join_path("D:\\Apps\\", "Quorvane.exe"), "D:\\Apps\\Quorvane.exe");
  EXPECT_EQ(join_path("D:/Apps/", "x"), "D:/Apps/x");
  EXPECT_EQ(join_path("D:", "x"), "D:x");
  EXPECT_EQ(join_path("C:\\users\\ana\\Temp\\", "QuorvaneInstaller"),
            "C:\\users\\ana\\Temp\\QuorvaneInstaller");
  EXPECT_EQ(join_path("relative", "x"), "relative\\x");
  EXPECT_EQ(join_path("", "x"), "x");
}

TEST(ParentFolder, StopsAtRootsAndShares) {
  EXPECT_EQ(parent_folder("C:\\a\\b"), "C:\\a");
  EXPECT_EQ(parent_folder("C:\\a\\b\\\\"), "C:\\a");
  EXPECT_EQ(parent_folder("C:/a/b"), "C:/a");
  EXPECT_EQ(parent_folder("a\\b"), "a");
  EXPECT_EQ(parent_folder("\\\\server\\share\\a\\b"), "\\\\server\\share\\a");
  EXPECT_EQ(parent_folder("C:\\a"), std::nullopt);
  EXPECT_EQ(parent_folder("C:\\"), std::nullopt);
  EXPECT_EQ(parent_folder("\\a"), std::nullopt);
  EXPECT_EQ(parent_folder("a"), std::nullopt);
  EXPECT_EQ(parent_folder("D:a"), std::nullopt);
  EXPECT_EQ(parent_folder("\\\\server\\share\\a"), std::nullopt);
  EXPECT_EQ(parent_folder("\\\\server\\share"), std::nullopt);
}

TEST(FolderText, NamesWindowsWouldChangeAndPathsTooLongForTheProbe) {
  for (const char* kept :
       {"D:\\Apps\\Quorvane", "D:\\Apps\\Quorvane\\", "D:/Apps/Quorvane", "D:\\",
        "D:", "\\\\server\\share\\Quorvane", "D:\\Apps\\..\\Quorvane", ".\\Quorvane",
        "D:\\.\\Apps\\Quorvane", "D:\\Apps\\...exe\\Quorvane", " D:\\Apps", "\\Programs\\Quorvane",
        "Quorvane", "D:\\My Apps\\Quorvane \xC3\xA9t\xC3\xA9"}) {
    EXPECT_TRUE(check_folder_text(kept, 40).ok()) << kept;
  }
  // Windows strips trailing dots and spaces of the last name when it creates the folder, and one
  // trailing dot of an inner name in the probe's path: the folder made is not the one named.
  for (const char* changed :
       {"D:\\Apps\\Quorvane.", "D:\\Apps\\Quorvane .", "D:\\Apps\\Quorvane ",
        "D:\\Apps\\Quorvane..", "D:\\Apps\\Quorvane.\\", "D:\\Apps\\Quorvane \\",
        "D:\\Apps.\\Quorvane", "D:\\Apps .\\Quorvane", "D:/Apps /Quorvane", "D:\\...",
        "D:\\Apps\\...\\Quorvane", "\\\\server\\share \\Quorvane", "Quorvane."}) {
    EXPECT_EQ(check_folder_text(changed, 40).reason(), kFolderNotCreatable) << changed;
  }
  // The probe's full path fits in 259 units, not one more.
  EXPECT_TRUE(check_folder_text("D:\\Apps", kMaxPathUnits).ok());
  EXPECT_EQ(check_folder_text("D:\\Apps", kMaxPathUnits + 1).reason(), kFolderNotCreatable);
}

TEST(DriveLabel, DriveLetterOrTheWholePath) {
  EXPECT_EQ(drive_label("D:\\My Apps\\Quorvane"), "D:");
  EXPECT_EQ(drive_label("c:"), "c:");
  EXPECT_EQ(drive_label("\\\\server\\share\\apps"), "\\\\server\\share\\apps");
  EXPECT_EQ(drive_label("relative\\folder"), "relative\\folder");
  EXPECT_EQ(drive_label("D"), "D");
  EXPECT_EQ(drive_label(""), "");
  // Characters, not bytes: in "é:" the ":" is the second character, in "éx:" it is not.
  EXPECT_EQ(drive_label("\xC3\xA9:\\apps"), "\xC3\xA9:");
  EXPECT_EQ(drive_label("\xC3\xA9x:\\apps"), "\xC3\xA9x:\\apps");
}

TEST(FreeSpace, DownloadTestComparesWithTheExpectedSize) {
  EXPECT_TRUE(check_download_space(1000, 1000, "C:").ok());  // exactly enough
  EXPECT_EQ(check_download_space(999, 1000, "C:").reason(),
            "Not enough space on C: for the download \xE2\x80\x94 Quorvane needs about 0 MB free "
            "there.");
  EXPECT_EQ(check_download_space(1'048'575, 1'048'576, "\\\\nas\\tmp").reason(),
            "Not enough space on \\\\nas\\tmp for the download \xE2\x80\x94 Quorvane needs about 1 "
            "MB free there.");
  EXPECT_EQ(check_download_space(0, 734'003'200, "E:").reason(),
            "Not enough space on E: for the download \xE2\x80\x94 Quorvane needs about 700 MB free "
            "there.");
  EXPECT_EQ(check_download_space(0, 734'003'199, "E:").reason(),
            "Not enough space on E: for the download \xE2\x80\x94 Quorvane needs about 699 MB free "
            "there.");
  // Unknown size, or a failed query: no test.
  EXPECT_TRUE(check_download_space(0, 0, "C:").ok());
  EXPECT_TRUE(check_download_space(std::nullopt, 734'003'200, "C:").ok());
}

TEST(FreeSpace, TheDownloadNeedsWhatTheFileDoesNotHoldYet) {
  EXPECT_EQ(download_space_needed(1000, std::nullopt), 1000u);
  EXPECT_EQ(download_space_needed(1000, 0), 1000u);
  EXPECT_EQ(download_space_needed(1000, 300), 700u);
  EXPECT_EQ(download_space_needed(1000, 1000), 0u);     // complete: nothing to write
  EXPECT_EQ(download_space_needed(1000, 1001), 1000u);  // larger: replaced whole
  EXPECT_EQ(download_space_needed(0, 5000), 0u);        // unknown size: no test
}

TEST(FreeSpace, InstallTestNeedsTwoAndAHalfBillionBytes) {
  EXPECT_TRUE(check_install_space(2'500'000'000, "D:").ok());
  EXPECT_TRUE(check_install_space(std::nullopt, "D:").ok());
  const std::string message =
      "Not enough space on D: to install \xE2\x80\x94 Quorvane needs about 2 GB free.";
  EXPECT_EQ(check_install_space(2'499'999'999, "D:").reason(), message);
  // 2 GiB is not enough: the bar is decimal.
  EXPECT_EQ(check_install_space(2'147'483'648, "D:").reason(), message);
  EXPECT_EQ(check_install_space(0, "\\\\server\\share\\apps").reason(),
            "Not enough space on \\\\server\\share\\apps to install \xE2\x80\x94 Quorvane needs "
            "about 2 GB free.");
}

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (const int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

TEST(FeedChecksum, DecodesStandardBase64) {
  EXPECT_EQ(decode_feed_checksum("q83vEjRWeJA="),
            bytes({0xAB, 0xCD, 0xEF, 0x12, 0x34, 0x56, 0x78, 0x90}));
  EXPECT_EQ(decode_feed_checksum("TWFu"), bytes({'M', 'a', 'n'}));
  EXPECT_EQ(decode_feed_checksum("TWE="), bytes({'M', 'a'}));
  EXPECT_EQ(decode_feed_checksum("TQ=="), bytes({'M'}));
  EXPECT_EQ(decode_feed_checksum("+/+/"), bytes({0xFB, 0xFF, 0xBF}));
  EXPECT_EQ(decode_feed_checksum(""), bytes({}));
  EXPECT_EQ(decode_feed_checksum(" \r\n\t"), bytes({}));
}

TEST(FeedChecksum, RealDigestGivesSixtyFourBytesWhateverTheLineBreaks) {
  // SHA-512 of "abc".
  const std::string digest =
      "3a81oZNherrMQXNJriBBMRLm+k6JqX6iCp7u5ktV05ohkpkqJ0/BqDa6PCOj/uu9RU1EI2Q86A4qmslPpUyknw==";
  ASSERT_EQ(digest.size(), 88u);
  const auto decoded = decode_feed_checksum(digest);
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->size(), 64u);
  EXPECT_EQ((*decoded)[0], 0xDD);
  EXPECT_EQ((*decoded)[63], 0x9F);

  const std::string broken = digest.substr(0, 30) + "\r\n  " + digest.substr(30, 30) + "\n\t" +
                             digest.substr(60, 10) + " " + digest.substr(70);
  EXPECT_EQ(decode_feed_checksum(broken), decoded);
}

TEST(FeedChecksum, LenientPadsAndWhatFails) {
  // Four pads: one zero byte.
  EXPECT_EQ(decode_feed_checksum("===="), bytes({0}));
  // The pad count runs over the whole text: "=" then another "=" group keeps counting.
  EXPECT_EQ(decode_feed_checksum("TQ======"), bytes({'M', 0}));
  // Not a multiple of four.
  EXPECT_EQ(decode_feed_checksum(std::string(86, 'A')), std::nullopt);
  EXPECT_EQ(decode_feed_checksum("TWF"), std::nullopt);
  // URL-safe alphabet and other strangers.
  EXPECT_EQ(decode_feed_checksum("ab-_"), std::nullopt);
  EXPECT_EQ(decode_feed_checksum("ab_d"), std::nullopt);
  EXPECT_EQ(decode_feed_checksum("ab.d"), std::nullopt);
  EXPECT_EQ(decode_feed_checksum("ab\vd"), std::nullopt);  // only space, tab, CR and LF go
  // A digit after a pad, in the same group or a later one.
  EXPECT_EQ(decode_feed_checksum("TQ=A"), std::nullopt);
  EXPECT_EQ(decode_feed_checksum("TQ==TWFu"), std::nullopt);
  // Low bits of the last digit before the pads are dropped, not tested.
  EXPECT_EQ(decode_feed_checksum("TR=="), bytes({'M'}));
}

TEST(SetupCommandLine, QuotedPathThenBareSwitchesThenRawFolder) {
  EXPECT_EQ(setup_command_line("C:\\Temp\\QuorvaneInstaller\\Quorvane Setup 1.4.2.exe",
                               "D:\\My Apps\\Quorvane"),
            "\"C:\\Temp\\QuorvaneInstaller\\Quorvane Setup 1.4.2.exe\" /S /currentuser "
            "/D=D:\\My Apps\\Quorvane");
  // Quotes or a trailing backslash in the folder are passed as they stand.
  EXPECT_EQ(setup_command_line("s.exe", "D:\\a \"b\"\\"),
            "\"s.exe\" /S /currentuser /D=D:\\a \"b\"\\");
}

TEST(SetupExitCode, SignedDecimalInTheReason) {
  EXPECT_EQ(installer_error_reason(1), "the installer reported an error (code 1)");
  EXPECT_EQ(installer_error_reason(0xC0000005u),
            "the installer reported an error (code -1073741819)");
  EXPECT_EQ(installer_error_reason(0xFFFFFFFFu), "the installer reported an error (code -1)");
  EXPECT_EQ(installer_error_reason(0x7FFFFFFFu),
            "the installer reported an error (code 2147483647)");
}

TEST(SetupStart, BlockedIsToldApartFromBroken) {
  // Policy, virus verdicts, image hash, code integrity, the reputation verdicts, access denied.
  for (const std::uint32_t blocked :
       {5u, 225u, 226u, 577u, 1260u, 4551u, 4556u, 4557u, 4558u, 4559u, 4580u, 4581u}) {
    EXPECT_EQ(setup_start_reason(blocked), kInstallerBlocked) << blocked;
  }
  // A broken file, a missing one, and the neighbours of the verdicts' ranges.
  for (const std::uint32_t broken : {0u, 2u, 32u, 193u, 216u, 4555u, 4560u, 4579u, 4582u}) {
    EXPECT_EQ(setup_start_reason(broken), kInstallerNotStarted) << broken;
  }
}

TEST(SetupStart, TrustAnswersToldApart) {
  const std::pair<TrustAnswer, std::vector<std::uint32_t>> rows[] = {
      {TrustAnswer::Trusted, {0u}},
      // Windows failed to read the file: not found, access denied, no memory, sharing and lock
      // violations, I/O device error.
      {TrustAnswer::ReadFailure,
       {0x80070002u, 0x80070005u, 0x8007000Eu, 0x80070020u, 0x80070021u, 0x8007001Eu, 0x8007045Du}},
      // Windows could not check: file error, system error, provider or action unknown, the
      // revocation check failed, offline, or not made.
      {TrustAnswer::NotChecked,
       {0x80092003u, 0x80096001u, 0x800B0001u, 0x800B0002u, 0x800B010Eu, 0x80092013u, 0x80092012u}},
      // Verdicts: unsigned, changed after signing, not a program, expired, untrusted root,
      // revoked, distrusted; and anything unknown.
      {TrustAnswer::Refused,
       {0x800B0100u, 0x80096010u, 0x800B0003u, 0x800B0101u, 0x800B0109u, 0x800B010Cu, 0x800B0111u,
        0x80070057u, 0x00000020u}},
  };
  for (const auto& [meaning, answers] : rows) {
    for (const std::uint32_t answer : answers) {
      EXPECT_EQ(classify_trust_answer(answer), meaning) << std::hex << answer;
    }
  }
}

TEST(BusyWait, InUseMeansSharingOrLockAndAccessDeniedOnlyForFiles) {
  for (const FileStep step :
       {FileStep::Open, FileStep::Start, FileStep::Delete, FileStep::Launch}) {
    EXPECT_TRUE(is_busy_error(step, kErrorSharingViolation));
    EXPECT_TRUE(is_busy_error(step, kErrorLockViolation));
    EXPECT_FALSE(is_busy_error(step, 0));
    EXPECT_FALSE(is_busy_error(step, kErrorFileNotFound));
  }
  EXPECT_TRUE(is_busy_error(FileStep::Open, kErrorAccessDenied));
  EXPECT_TRUE(is_busy_error(FileStep::Delete, kErrorAccessDenied));
  // Starting a program that Windows refuses is a block, waited out by nobody.
  EXPECT_FALSE(is_busy_error(FileStep::Start, kErrorAccessDenied));
  EXPECT_FALSE(is_busy_error(FileStep::Launch, kErrorAccessDenied));
  EXPECT_FALSE(is_busy_error(FileStep::Open, kErrorIsFolder));

  // "Access denied" on our own file, by what its path names.
  using enum DeniedBy;
  const std::pair<std::optional<std::uint32_t>, DeniedBy> denied[] = {
      {0x10, Folder},        {0x410, Folder},       {0x13, Folder},
      {0x21, OwnAttributes}, {0x22, OwnAttributes}, {0x24, OwnAttributes},
      {0x80, Other},         {0x20, Other},         {std::nullopt, Other},
  };
  for (const auto& [attributes, by] : denied) {
    EXPECT_EQ(denied_by(attributes), by) << std::hex << attributes.value_or(0xFFFFFFFF);
  }
}

TEST(DownloadFolder, TheSweepDeletesPlainFilesOnly) {
  for (const std::uint32_t plain : {0x20u, 0x80u, 0x21u, 0x26u, 0x2000u}) {
    EXPECT_TRUE(sweep_deletes(plain)) << std::hex << plain;
  }
  // Folders, junctions and symbolic links (of a folder or a file), devices.
  for (const std::uint32_t kept : {0x10u, 0x410u, 0x420u, 0x400u, 0x40u}) {
    EXPECT_FALSE(sweep_deletes(kept)) << std::hex << kept;
  }
}

TEST(BusyWait, PausesDoubleToTwoSecondsAndAddUpToTheBound) {
  const auto pauses = [](unsigned bound) {
    BusyBackoff backoff(bound);
    std::vector<unsigned> out;
    while (const auto pause = backoff.next_pause()) out.push_back(*pause);
    EXPECT_EQ(backoff.waited_ms(), bound);
    EXPECT_FALSE(backoff.next_pause());  // spent for good
    return out;
  };
  std::vector<unsigned> thirty = {100, 200, 400, 800, 1600};
  thirty.insert(thirty.end(), 13, 2000);
  thirty.push_back(900);
  EXPECT_EQ(pauses(kBusyBoundMs), thirty);
  EXPECT_EQ(pauses(kBusyDeleteBoundMs), (std::vector<unsigned>{100, 200, 400, 800, 1600, 1900}));
  EXPECT_EQ(pauses(250), (std::vector<unsigned>{100, 150}));
  EXPECT_TRUE(pauses(0).empty());
}

TEST(SetupFileName, PlainNamesOnly) {
  EXPECT_TRUE(check_setup_file_name("Quorvane-Setup-1.4.2.exe").ok());
  EXPECT_TRUE(check_setup_file_name("Quorvane Setup 1.4.2.exe").ok());
  EXPECT_TRUE(check_setup_file_name("Quorvane \xC3\x89"
                                    "dition \xE6\x97\xA5\xE6\x9C\xAC.exe")
                  .ok());
  EXPECT_TRUE(check_setup_file_name("...exe").ok());
  EXPECT_TRUE(check_setup_file_name(" a.exe").ok());  // Windows keeps leading spaces
  EXPECT_TRUE(check_setup_file_name("a#b&c=d+e;f,g[h]i'j.exe").ok());
  EXPECT_TRUE(check_setup_file_name("a%2F..b.exe").ok());  // nothing is unescaped
  // Names that merely begin like a device are files.
  for (const char* name : {"CONSOLE.exe", "nullify.exe", "COM10.exe", "LPT.exe", "AUXsetup.exe",
                           "com1x.exe", "Quorvane NUL.exe"}) {
    EXPECT_TRUE(check_setup_file_name(name).ok()) << name;
  }

  for (const std::string& bad : std::vector<std::string>{
           "..\\..\\evil.exe", "../evil.exe", "sub/setup.exe", "C:evil.exe", "setup.exe:stream",
           ".", "..", "\\\\server\\share\\x.exe", "a\tb.exe", std::string("a\0b.exe", 7),
           "a\x7F.exe", "a\xC2\x85.exe", "a\xC2\x9F.exe", "",
           // Names Windows shortens: the file on disk would be another one, or the folder.
           "a.exe.", "a.exe ", "a.exe. .", "...", " ", "setup.exe\xC2\xA0.", "\xE6\x97\xA5 ",
           // Characters no Windows file name holds.
           "a<b.exe", "a>b.exe", "a\"b.exe", "a|b.exe", "a?b.exe", "a*b.exe", "*", "?.exe",
           // Device names, which Windows opens instead of a file in our folder.
           "NUL", "nul", "nul.exe", "CON.setup.exe", "prn", "Aux.exe", "COM1", "com9.exe",
           "LPT1 .exe", "lpt0", "COM\xC2\xB9.exe", "CONIN$", "conout$.exe", "CON", "PRN", "AUX",
           "con.exe", "NUL.txt", "NUL.tar.gz", "Com5", "lPt9.msi", "com\xC2\xB2", "LPT\xC2\xB3.exe",
           "cOm0.exe"}) {
    EXPECT_EQ(check_setup_file_name(bad).reason(), kUnsafeSetupName) << bad;
  }
}

}  // namespace
}  // namespace qv
