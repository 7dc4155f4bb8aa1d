#include "net/download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv {
namespace {

constexpr std::uint64_t MiB = 1048576;
constexpr std::size_t kBlock = 262144;

// ---- texts -------------------------------------------------------------------------------------

TEST(DownloadTexts, FixedTexts) {
  EXPECT_EQ(download_headline("1.4.2"), "Downloading Quorvane 1.4.2...");
  EXPECT_EQ(resuming_text(30 * MiB + 5, 100 * MiB), "Resuming at 30 / 100 MB");
  EXPECT_EQ(fresh_start_text(100 * MiB - 1), "0 / 99 MB");  // MB round down
  EXPECT_EQ(fresh_start_text(0), "0 / 0 MB");
  EXPECT_EQ(interrupted_text(0, 2),
            "Connection interrupted at 0 MB \xE2\x80\x94 retrying (attempt 2 of 4)...");
  EXPECT_EQ(dropped_text(30 * MiB, 2),
            "Connection dropped at 30 MB \xE2\x80\x94 resuming (attempt 2 of 4)...");
}

TEST(DownloadTexts, SpeedSwitchesToMegabytesAtOneMebibytePerSecond) {
  EXPECT_EQ(speed_text(1048575.0), "1024 KB/s");
  EXPECT_EQ(speed_text(1048576.0), "1.0 MB/s");
  EXPECT_EQ(speed_text(1.25 * 1048576 + 1), "1.3 MB/s");
  EXPECT_EQ(speed_text(52.44 * 1048576), "52.4 MB/s");
  EXPECT_EQ(speed_text(1535.0), "1 KB/s");
  EXPECT_EQ(speed_text(1536.0), "2 KB/s");
}

TEST(DownloadTexts, TimeLeftHasNoUnitAboveMinutes) {
  EXPECT_EQ(time_left_text(0), "~1s left");
  EXPECT_EQ(time_left_text(1), "~1s left");
  EXPECT_EQ(time_left_text(59), "~59s left");
  EXPECT_EQ(time_left_text(60), "~1m 0s left");
  EXPECT_EQ(time_left_text(185), "~3m 5s left");
  EXPECT_EQ(time_left_text(7200), "~120m 0s left");
}

TEST(DownloadTexts, ProgressTextShowsSpeedOnlyAfterASecondWithAKnownSize) {
  const char* dot = " \xC2\xB7 ";
  // 4 MiB in 2 s of this attempt: 2.0 MB/s, 6 MiB left: 3 s.
  EXPECT_EQ(progress_text(4 * MiB, 0, 10 * MiB, 2.0),
            std::string("4 / 10 MB") + dot + "2.0 MB/s" + dot + "~3s left");
  EXPECT_EQ(progress_text(4 * MiB, 0, 10 * MiB, 0.999), "4 / 10 MB");
  EXPECT_EQ(progress_text(4 * MiB, 0, 0, 5.0), "4 / 0 MB");                // size unknown
  EXPECT_EQ(progress_text(4 * MiB, 4 * MiB, 10 * MiB, 5.0), "4 / 10 MB");  // nothing new yet
  // Speed counts this attempt only: 1 MiB received after a resume at 3 MiB, in 1 s.
  EXPECT_EQ(progress_text(4 * MiB, 3 * MiB, 10 * MiB, 1.0),
            std::string("4 / 10 MB") + dot + "1.0 MB/s" + dot + "~6s left");
  // Past the expected size: no time left, shown as one second.
  EXPECT_EQ(progress_text(12 * MiB, 0, 10 * MiB, 12.0),
            std::string("12 / 10 MB") + dot + "1.0 MB/s" + dot + "~1s left");
  // One byte per second or less: time left counts as 0.
  EXPECT_EQ(progress_text(2, 0, 10 * MiB, 2.0),
            std::string("0 / 10 MB") + dot + "0 KB/s" + dot + "~1s left");
  // Two hours left.
  EXPECT_EQ(progress_text(MiB, 0, MiB + 7200 * 1024, 1024.0),
            std::string("1 / 8 MB") + dot + "1 KB/s" + dot + "~120m 0s left");
  // Just under and at one mebibyte per second.
  EXPECT_EQ(progress_text(1048575, 0, 10 * MiB, 1.0),
            std::string("0 / 10 MB") + dot + "1024 KB/s" + dot + "~9s left");
  EXPECT_EQ(progress_text(1048576, 0, 10 * MiB, 1.0),
            std::string("1 / 10 MB") + dot + "1.0 MB/s" + dot + "~9s left");
  // 59 and 60 seconds left.
  EXPECT_EQ(progress_text(MiB, 0, 60 * MiB, 1.0),
            std::string("1 / 60 MB") + dot + "1.0 MB/s" + dot + "~59s left");
  EXPECT_EQ(progress_text(MiB, 0, 61 * MiB, 1.0),
            std::string("1 / 61 MB") + dot + "1.0 MB/s" + dot + "~1m 0s left");
}

TEST(DownloadRules, ResumeOrFreshStart) {
  EXPECT_FALSE(should_resume(std::nullopt, 10));
  EXPECT_FALSE(should_resume(0, 10));
  EXPECT_TRUE(should_resume(1, 10));
  EXPECT_TRUE(should_resume(9, 10));
  EXPECT_FALSE(should_resume(10, 10));
  EXPECT_FALSE(should_resume(11, 10));
  EXPECT_TRUE(should_resume(11, 0));  // size unknown: any non-empty file
  EXPECT_FALSE(should_resume(0, 0));
}

TEST(DownloadRules, RefreshBoundaryAndProgressCap) {
  EXPECT_TRUE(crosses_progress_step(2 * MiB, kBlock));       // remainder 0
  EXPECT_FALSE(crosses_progress_step(2 * MiB - 1, kBlock));  // just short
  EXPECT_TRUE(crosses_progress_step(2 * MiB + kBlock - 1, kBlock));
  EXPECT_FALSE(crosses_progress_step(2 * MiB + kBlock, kBlock));
  EXPECT_EQ(progress_permille_for(0, 1000), 0u);
  EXPECT_EQ(progress_permille_for(500, 1000), 500u);
  EXPECT_EQ(progress_permille_for(999, 1000), 999u);
  EXPECT_EQ(progress_permille_for(1000, 1000), 999u);
  EXPECT_EQ(progress_permille_for(5000, 1000), 999u);
  EXPECT_EQ(progress_permille_for(9999, 10000), 999u);
  EXPECT_EQ(progress_permille_for(~0ull - 1, ~0ull), 999u);
}

// ---- the attempts, over a scripted port ---------------------------------------------------------

// One scripted answer of the transport.
struct Answer {
  OpenOutcome::Kind kind = OpenOutcome::Kind::Body;
  std::uint32_t status = 200;
  std::string error;                // Kind::Failed
  std::vector<std::size_t> blocks;  // the body
  std::string end_error;            // empty: the body ends normally
  double connect_seconds = 0;       // clock advance while opening
  bool cancel_while_opening = false;
  int cancel_after_blocks = -1;  // the window raises the cancel flag after this many blocks
  std::optional<std::uint64_t> server_size;  // what the answer says the whole file holds
};

Answer body(std::uint64_t bytes, std::uint32_t status = 200, std::string end_error = "") {
  Answer a;
  a.status = status;
  for (std::uint64_t left = bytes; left > 0;) {
    const std::size_t n = left < kBlock ? static_cast<std::size_t>(left) : kBlock;
    a.blocks.push_back(n);
    left -= n;
  }
  a.end_error = std::move(end_error);
  return a;
}

Answer failed(std::string text) {
  Answer a;
  a.kind = OpenOutcome::Kind::Failed;
  a.error = std::move(text);
  return a;
}

Answer refused() {
  Answer a;
  a.kind = OpenOutcome::Kind::RangeRefused;
  return a;
}

class FakePort final : public DownloadPort {
 public:
  // World.
  std::optional<std::uint64_t> file;  // size of the destination, empty when absent
  std::uint64_t disk_capacity = ~0ull;
  // What opening the destination ends in when it does not open (another program holding it is
  // waited out inside the port; this is what is left).
  std::optional<FileOpen> append_fails;
  std::optional<FileOpen> create_fails;
  bool cancel = false;
  double seconds_per_block = 0.1;
  std::deque<Answer> answers;
  std::function<void()> on_pause;

  // Record.
  std::vector<std::string> events;
  std::vector<std::uint32_t> permilles;
  std::vector<std::string> statuses;  // the status argument of every publish

  double now_seconds() override { return clock_; }
  void pause_before_retry() override {
    events.push_back("pause");
    if (on_pause) on_pause();
  }
  bool cancel_requested() override { return cancel; }
  void raise_cancel() override {
    events.push_back("raise cancel");
    cancel = true;
  }
  void publish_status(std::string_view status, std::string_view detail) override {
    statuses.emplace_back(status);
    events.push_back("show " + std::string(detail));
  }
  void publish_progress(std::uint32_t permille) override { permilles.push_back(permille); }

  std::optional<std::uint64_t> file_size() override { return file; }
  FileOpen open_for_append() override {
    EXPECT_FALSE(open_);
    events.push_back("append");
    if (append_fails) return *append_fails;
    if (!file) return FileOpen::Failed;
    open_ = true;
    return FileOpen::Opened;
  }
  FileOpen create_empty() override {
    EXPECT_FALSE(open_);
    events.push_back("create");
    if (create_fails) return *create_fails;
    file = 0;
    open_ = true;
    return FileOpen::Opened;
  }
  bool write(const std::uint8_t*, std::size_t count) override {
    EXPECT_TRUE(open_);
    clock_ += seconds_per_block;
    if (*file + count > disk_capacity) return false;
    *file += count;
    return true;
  }
  void close_file() override { open_ = false; }
  void delete_file() override {
    EXPECT_FALSE(open_) << "deleted while open";
    events.push_back("delete");
    file.reset();
  }

  OpenOutcome open_request(std::uint64_t start_offset) override {
    events.push_back("open " + std::to_string(start_offset));
    if (answers.empty()) {
      ADD_FAILURE() << "no answer scripted";
      return OpenOutcome{OpenOutcome::Kind::Failed, 0, "unscripted", std::nullopt};
    }
    current_ = std::move(answers.front());
    answers.pop_front();
    clock_ += current_.connect_seconds;
    if (current_.cancel_while_opening) cancel = true;
    return OpenOutcome{current_.kind, current_.status, current_.error, current_.server_size};
  }
  Status read_body(BodySink& sink) override {
    static const std::vector<std::uint8_t> bytes(kBlock);
    int given = 0;
    for (const std::size_t n : current_.blocks) {
      if (cancel) return fail("canceled");
      sink.on_block(bytes.data(), n);
      if (++given == current_.cancel_after_blocks) cancel = true;
    }
    if (cancel) return fail("canceled");  // the read that would have returned 0 is not made
    if (!current_.end_error.empty()) return fail(current_.end_error);
    return {};
  }

 private:
  double clock_ = 100.0;
  bool open_ = false;
  Answer current_;
};

const std::string kHeadline = "Downloading Quorvane 1.4.2...";

Result<DownloadEnd> run(FakePort& port, std::uint64_t expected) {
  return run_download(port, expected, "1.4.2");
}

// Everything but the texts shown.
std::vector<std::string> actions(const FakePort& port) {
  std::vector<std::string> out;
  for (const auto& e : port.events) {
    if (!e.starts_with("show ")) out.push_back(e);
  }
  return out;
}

std::vector<std::string> shown(const FakePort& port) {
  std::vector<std::string> out;
  for (const auto& e : port.events) {
    if (e.starts_with("show ")) out.push_back(e.substr(5));
  }
  return out;
}

TEST(DownloadAttempts, FreshDownloadPublishesEvery2MiBWithSpeedAfterOneSecond) {
  FakePort port;
  port.answers.push_back(body(10 * MiB));
  ASSERT_TRUE(run(port, 10 * MiB).ok());
  EXPECT_EQ(port.file, 10 * MiB);
  const char* dot = " \xC2\xB7 ";
  // 0.1 s per 256 KiB block: 2 MiB after 0.8 s (no speed yet), then 2.5 MB/s.
  EXPECT_EQ(port.events,
            (std::vector<std::string>{
                "delete", "create", "show 0 / 10 MB", "open 0", "show 2 / 10 MB",
                std::string("show 4 / 10 MB") + dot + "2.5 MB/s" + dot + "~2s left",
                std::string("show 6 / 10 MB") + dot + "2.5 MB/s" + dot + "~1s left",
                std::string("show 8 / 10 MB") + dot + "2.5 MB/s" + dot + "~1s left",
                std::string("show 10 / 10 MB") + dot + "2.5 MB/s" + dot + "~1s left"}));
  for (const auto& s : port.statuses) EXPECT_EQ(s, kHeadline);
  ASSERT_EQ(port.permilles.size(), 40u);  // one store per block
  EXPECT_EQ(port.permilles[0], 25u);
  EXPECT_EQ(port.permilles.back(), 999u);  // never 1000 here
}

TEST(DownloadAttempts, ConnectTimeCountsInTheSpeed) {
  // Blocks take no time, connecting takes one second: the speed is shown, over that second.
  FakePort port;
  port.seconds_per_block = 0;
  Answer a = body(4 * MiB);
  a.connect_seconds = 1.0;
  port.answers.push_back(a);
  ASSERT_TRUE(run(port, 4 * MiB).ok());
  const auto texts = shown(port);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[1], "2 / 4 MB \xC2\xB7 2.0 MB/s \xC2\xB7 ~1s left");
}

TEST(DownloadAttempts, CancelSeenBeforeAnAttemptDeletesTheFile) {
  FakePort port;
  port.file = 3 * MiB;
  port.cancel = true;
  EXPECT_EQ(run(port, 10 * MiB).reason(), "canceled");
  EXPECT_EQ(port.events, (std::vector<std::string>{"delete"}));
  EXPECT_FALSE(port.file);

  // Raised during the pause before a retry: the next attempt does not start.
  FakePort later;
  later.answers.push_back(failed("download interrupted"));
  later.on_pause = [&later] { later.cancel = true; };
  EXPECT_EQ(run(later, 10 * MiB).reason(), "canceled");
  EXPECT_EQ(later.events.back(), "delete");
  EXPECT_EQ(std::count(later.events.begin(), later.events.end(), "open 0"), 1);
}

TEST(DownloadAttempts, FileThatCannotBeOpenedEndsAtOnceWithoutDeleting) {
  // A failure of its own, and another program's hold that outlasted the wait: the partial file is
  // kept either way, and the reason says which it was.
  const std::pair<FileOpen, std::string> cases[] = {
      {FileOpen::Failed, "couldn't write to the temp folder"},
      {FileOpen::StillInUse, "another program kept the download locked (often security software)"},
  };
  for (const auto& [outcome, reason] : cases) {
    FakePort fresh;
    fresh.create_fails = outcome;
    EXPECT_EQ(run(fresh, 10 * MiB).reason(), reason);
    EXPECT_EQ(fresh.events, (std::vector<std::string>{"delete", "create"}));

    FakePort resume;
    resume.file = 3 * MiB;
    resume.append_fails = outcome;
    EXPECT_EQ(run(resume, 10 * MiB).reason(), reason);
    EXPECT_EQ(resume.events, (std::vector<std::string>{"append"}));
    EXPECT_EQ(resume.file, 3 * MiB);
  }
  // A cancel ended the wait for it: deleted, as a cancel always does.
  FakePort canceled;
  canceled.file = 3 * MiB;
  canceled.append_fails = FileOpen::Canceled;
  EXPECT_EQ(run(canceled, 10 * MiB).reason(), "canceled");
  EXPECT_EQ(canceled.events, (std::vector<std::string>{"append", "delete"}));
  EXPECT_FALSE(canceled.file);
}

TEST(DownloadAttempts, WriteFailureDeletesTheFileAndLeavesCancelRaised) {
  FakePort port;
  port.disk_capacity = 3 * MiB;
  port.answers.push_back(body(10 * MiB));
  port.answers.push_back(body(10 * MiB));
  EXPECT_EQ(run(port, 10 * MiB).reason(), "ran out of disk space while downloading");
  EXPECT_FALSE(port.file);
  EXPECT_TRUE(port.cancel);
  EXPECT_EQ(port.answers.size(), 1u);  // no second attempt
  EXPECT_EQ(std::count(port.events.begin(), port.events.end(), "pause"), 0);
  EXPECT_EQ(port.events.back(), "delete");
  EXPECT_EQ(port.events[port.events.size() - 2], "raise cancel");
  EXPECT_EQ(port.permilles.back(), 300u);  // the last block that was written
}

TEST(DownloadAttempts, ErrorWhileCancelRaisedDeletesAndReturnsThatText) {
  FakePort body_cancel;
  Answer a = body(10 * MiB);
  a.cancel_after_blocks = 13;
  body_cancel.answers.push_back(a);
  EXPECT_EQ(run(body_cancel, 10 * MiB).reason(), "canceled");
  EXPECT_FALSE(body_cancel.file);
  EXPECT_EQ(body_cancel.events.back(), "delete");

  // Canceled while the request was being opened, which then failed: its own text.
  FakePort open_cancel;
  open_cancel.file = MiB;
  Answer b = failed("couldn't reach the download server - check your internet connection");
  b.cancel_while_opening = true;
  open_cancel.answers.push_back(b);
  EXPECT_EQ(run(open_cancel, 10 * MiB).reason(),
            "couldn't reach the download server - check your internet connection");
  EXPECT_FALSE(open_cancel.file);
  EXPECT_EQ(std::count(open_cancel.events.begin(), open_cancel.events.end(), "pause"), 0);
}

TEST(DownloadAttempts, EveryRequestErrorIsRetriedUntilTheFourthAttempt) {
  FakePort port;
  for (int i = 0; i < 4; ++i) port.answers.push_back(failed("server answered HTTP 404"));
  EXPECT_EQ(run(port, 10 * MiB).reason(), "server answered HTTP 404");
  const std::string dash = " \xE2\x80\x94 ";
  std::vector<std::string> expected;
  for (int attempt = 1; attempt <= 4; ++attempt) {
    for (const char* e : {"delete", "create", "show 0 / 10 MB", "open 0"}) expected.push_back(e);
    if (attempt < 4) {
      expected.push_back("show Connection interrupted at 0 MB" + dash + "retrying (attempt " +
                         std::to_string(attempt + 1) + " of 4)...");
      expected.push_back("pause");
    }
  }
  EXPECT_EQ(port.events, expected);
  EXPECT_EQ(port.file, 0u);  // the (empty) file stays; only cancel, disk and resume delete
}

TEST(DownloadAttempts, InterruptedBodyResumesFromWhatTheFileHolds) {
  FakePort port;
  port.answers.push_back(body(3 * MiB + 5, 200, ""));
  port.answers.back().end_error = "download interrupted";
  port.answers.push_back(body(7 * MiB - 5, 206));
  ASSERT_TRUE(run(port, 10 * MiB).ok());
  EXPECT_EQ(port.file, 10 * MiB);
  const auto texts = shown(port);
  ASSERT_EQ(texts.size(), 8u);
  EXPECT_EQ(texts[2], "Connection interrupted at 3 MB \xE2\x80\x94 retrying (attempt 2 of 4)...");
  EXPECT_EQ(texts[3], "Resuming at 3 / 10 MB");
  EXPECT_NE(std::find(port.events.begin(), port.events.end(), "open 3145733"), port.events.end());
  EXPECT_EQ(std::count(port.events.begin(), port.events.end(), "pause"), 1);
  // Boundaries count from the start of the file: the resume refreshes first past 4 MiB.
  EXPECT_TRUE(texts[4].starts_with("4 / 10 MB"));

  // A body that breaks after its last byte, here on the last attempt, leaves a whole file: it
  // is not fetched again or called interrupted; the verification judges it.
  FakePort whole;
  for (int i = 0; i < 3; ++i) whole.answers.push_back(failed("download interrupted"));
  whole.answers.push_back(body(10 * MiB, 200, "download interrupted"));
  const auto ended = run(whole, 10 * MiB);
  ASSERT_TRUE(ended.ok()) << ended.reason();
  EXPECT_EQ(ended.value(), DownloadEnd::WholeFileFound);
  EXPECT_EQ(whole.file, 10 * MiB);
  EXPECT_TRUE(whole.answers.empty());
}

TEST(DownloadAttempts, ShortBodyShowsDroppedAndResumesWithARange) {
  FakePort port;
  port.answers.push_back(body(30 * MiB));
  port.answers.push_back(body(70 * MiB, 206));
  ASSERT_TRUE(run(port, 100 * MiB).ok());
  const auto texts = shown(port);
  const auto dropped =
      std::find(texts.begin(), texts.end(),
                "Connection dropped at 30 MB \xE2\x80\x94 resuming (attempt 2 of 4)...");
  ASSERT_NE(dropped, texts.end());
  EXPECT_EQ(*(dropped + 1), "Resuming at 30 / 100 MB");
  const auto pause = std::find(port.events.begin(), port.events.end(), "pause");
  ASSERT_NE(pause, port.events.end());
  EXPECT_EQ(*(pause + 1), "append");
  EXPECT_EQ(*(pause + 3), "open 31457280");
  EXPECT_EQ(port.file, 100 * MiB);
}

TEST(DownloadAttempts, FourShortBodiesEndAsClosedAndKeepThePartialFile) {
  FakePort port;
  port.answers.push_back(body(MiB));
  for (int i = 0; i < 3; ++i) port.answers.push_back(body(MiB, 206));
  EXPECT_EQ(run(port, 10 * MiB).reason(), "the connection closed before the download finished");
  EXPECT_EQ(port.file, 4 * MiB);
  EXPECT_EQ(std::count(port.events.begin(), port.events.end(), "pause"), 3);
  const auto texts = shown(port);
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "Connection dropped at 3 MB \xE2\x80\x94 resuming (attempt 4 of 4)..."),
            texts.end());
}

TEST(DownloadAttempts, ResumeAnsweredWholeOrRefusedStartsOverAtOnce) {
  // 200 to a range: the whole body is appended, then the file is deleted and the next attempt
  // starts fresh with no message and no pause.
  FakePort whole;
  whole.seconds_per_block = 0;
  whole.file = MiB;
  whole.answers.push_back(body(4 * MiB, 200));
  whole.answers.push_back(body(4 * MiB, 200));
  ASSERT_TRUE(run(whole, 4 * MiB).ok());
  EXPECT_EQ(whole.file, 4 * MiB);
  EXPECT_EQ(shown(whole), (std::vector<std::string>{"Resuming at 1 / 4 MB", "2 / 4 MB", "4 / 4 MB",
                                                    "0 / 4 MB", "2 / 4 MB", "4 / 4 MB"}));
  // The appended file is deleted, then the fresh start deletes (nothing) and creates.
  EXPECT_EQ(actions(whole), (std::vector<std::string>{"append", "open 1048576", "delete", "delete",
                                                      "create", "open 0"}));

  FakePort refused_range;
  refused_range.file = 4 * MiB - 1;
  refused_range.answers.push_back(refused());
  refused_range.answers.push_back(body(4 * MiB, 200));
  ASSERT_TRUE(run(refused_range, 4 * MiB).ok());
  EXPECT_EQ(actions(refused_range), (std::vector<std::string>{"append", "open 4194303", "delete",
                                                              "delete", "create", "open 0"}));
  EXPECT_EQ(shown(refused_range).size(), 4u);  // resuming, then the fresh start's three
}

TEST(DownloadAttempts, ResumeRefusedOnTheFourthAttemptEndsWithNoResumeSupport) {
  FakePort port;
  port.file = MiB;
  for (int i = 0; i < 3; ++i) port.answers.push_back(failed("server answered HTTP 503"));
  port.answers.push_back(body(4 * MiB, 200));
  EXPECT_EQ(run(port, 4 * MiB).reason(), "the download server does not support resuming");
  EXPECT_FALSE(port.file);
  EXPECT_EQ(std::count(port.events.begin(), port.events.end(), "open 1048576"), 4);

  FakePort refused_last;
  refused_last.file = MiB;
  for (int i = 0; i < 3; ++i) refused_last.answers.push_back(failed("download interrupted"));
  refused_last.answers.push_back(refused());
  EXPECT_EQ(run(refused_last, 4 * MiB).reason(), "the download server does not support resuming");
  EXPECT_FALSE(refused_last.file);
}

TEST(DownloadAttempts, AServerThatSaysItsFileIsShorterEndsItAtOnce) {
  const std::string reason = "the file on the server is smaller than the release feed says";
  // A fresh start answered with a shorter length, a resume refused or answered with a shorter
  // total: no retry, no pause, and the partial file is gone so that Try Again starts clean.
  Answer whole = body(6 * MiB);
  whole.server_size = 6 * MiB;
  Answer refused_range = refused();
  refused_range.server_size = 6 * MiB;
  Answer partial = body(3 * MiB, 206);
  partial.server_size = 6 * MiB;
  for (const auto& [leftover, answer] :
       {std::pair{std::optional<std::uint64_t>{}, whole},
        std::pair{std::optional<std::uint64_t>{6 * MiB}, refused_range},
        std::pair{std::optional<std::uint64_t>{3 * MiB}, partial}}) {
    FakePort port;
    port.file = leftover;
    port.answers.push_back(answer);
    EXPECT_EQ(run(port, 10 * MiB).reason(), reason);
    EXPECT_FALSE(port.file);
    EXPECT_EQ(std::count(port.events.begin(), port.events.end(), "pause"), 0);
    EXPECT_TRUE(port.answers.empty());
  }
  // The size the feed gives, or more (the checksum judges that), or an unknown size: as before.
  for (const std::uint64_t said : {10 * MiB, 11 * MiB}) {
    FakePort port;
    port.answers.push_back(body(10 * MiB));
    port.answers.back().server_size = said;
    EXPECT_TRUE(run(port, 10 * MiB).ok()) << said;
  }
  FakePort unknown;
  unknown.answers.push_back(body(3 * MiB));
  unknown.answers.back().server_size = 3 * MiB;
  EXPECT_TRUE(run(unknown, 0).ok());
}

TEST(DownloadAttempts, LeftoverFilesFromAnEarlierRun) {
  FakePort partial;
  partial.file = 3 * MiB;
  partial.answers.push_back(body(7 * MiB, 206));
  ASSERT_TRUE(run(partial, 10 * MiB).ok());
  EXPECT_EQ(partial.events[0], "append");
  EXPECT_EQ(partial.events[2], "open 3145728");
  EXPECT_EQ(partial.file, 10 * MiB);
  // Boundaries count from the start of the file: the first refresh comes at 4 MiB, not 5.
  const auto texts = shown(partial);
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Resuming at 3 / 10 MB");
  EXPECT_EQ(texts[1], "4 / 10 MB");

  // A whole file is not fetched again: the verification judges it.
  FakePort whole;
  whole.file = 10 * MiB;
  const auto found = run(whole, 10 * MiB);
  ASSERT_TRUE(found.ok());
  EXPECT_EQ(found.value(), DownloadEnd::WholeFileFound);
  EXPECT_TRUE(whole.events.empty());

  for (const std::uint64_t leftover : {11 * MiB, std::uint64_t{0}}) {
    FakePort port;
    port.file = leftover;
    port.answers.push_back(body(10 * MiB));
    EXPECT_EQ(run(port, 10 * MiB).value(), DownloadEnd::Received);
    EXPECT_EQ(port.events[0], "delete") << leftover;
    EXPECT_EQ(port.events[1], "create") << leftover;
    EXPECT_EQ(port.events[3], "open 0") << leftover;
    EXPECT_EQ(port.file, 10 * MiB);
  }
}

TEST(DownloadAttempts, UnknownSizeResumesAnyFileAndAcceptsAnyEnd) {
  FakePort port;
  port.file = 5;
  port.answers.push_back(body(5 * MiB, 206));
  ASSERT_TRUE(run(port, 0).ok());
  EXPECT_TRUE(port.permilles.empty());
  EXPECT_EQ(shown(port),
            (std::vector<std::string>{"Resuming at 0 / 0 MB", "2 / 0 MB", "4 / 0 MB"}));

  FakePort fresh;
  fresh.answers.push_back(body(123));
  ASSERT_TRUE(run(fresh, 0).ok());
  EXPECT_EQ(fresh.file, 123u);
}

TEST(DownloadAttempts, SmallDownloadKeepsItsFirstTextAndLongBodyStaysAt999) {
  FakePort small;
  small.answers.push_back(body(2 * MiB - 1));
  ASSERT_TRUE(run(small, 2 * MiB - 1).ok());
  EXPECT_EQ(shown(small), (std::vector<std::string>{"0 / 1 MB"}));

  FakePort longer;
  longer.answers.push_back(body(6 * MiB));
  ASSERT_TRUE(run(longer, 4 * MiB).ok());  // the checksum rejects it later
  EXPECT_EQ(longer.permilles.back(), 999u);
  EXPECT_EQ(*std::max_element(longer.permilles.begin(), longer.permilles.end()), 999u);
}

}  // namespace
}  // namespace qv
