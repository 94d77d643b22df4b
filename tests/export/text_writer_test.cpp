#include "export/text_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/export_settings.h"
#include "export/atomic_file.h"
#include "export/save_file.h"
#include "support/written_bytes.h"
#include "tests/export/scratch_folder.h"

namespace vp {
namespace {

namespace fs = std::filesystem;

// Remembers every call in order, as text.
class RecordingHost : public SaveHost {
 public:
  void show_message(std::string_view text) override { calls.push_back("message:" + std::string(text)); }
  void begin_saving() override {
    calls.emplace_back("begin");
    ++dialog_depth;
  }
  void set_saving_bar(int position) override { bars.push_back(position); }
  void process_events() override {
    ++events;
    if (on_events) on_events(events);
  }
  void end_saving() override {
    calls.emplace_back("end");
    --dialog_depth;
  }
  std::vector<std::string> calls;  // messages, begin and end
  std::vector<int> bars;
  int events = 0;
  int dialog_depth = 0;
  std::function<void(int)> on_events;
};

// Accepts `limit` bytes, then fails every write.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(std::size_t limit) : limit_(limit) {}
  std::string written;

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const std::size_t take = std::min(limit_ - written.size(), static_cast<std::size_t>(n));
    written.append(s, take);
    return static_cast<std::streamsize>(take);
  }
  int_type overflow(int_type ch) override {
    if (written.size() >= limit_ || traits_type::eq_int_type(ch, traits_type::eof())) {
      return traits_type::eof();
    }
    written.push_back(traits_type::to_char_type(ch));
    return ch;
  }

 private:
  std::size_t limit_;
};

std::vector<LineRecord> numbered_records(int n) {
  std::vector<LineRecord> records;
  for (int i = 0; i < n; ++i) records.push_back({i, 2 * i, -i, 7});
  return records;
}

TEST(TextWriter, BytesForSettings) {
  struct Case {
    std::string name;
    std::vector<LineRecord> records;
    std::string rate;
    std::int32_t div, real;
    std::string expected;
  };
  const std::vector<LineRecord> one = {{12, 30, 57, 30}};
  const std::vector<Case> cases = {
      {"defaults", one, "1.0", 0, 4, "12.0000 30.0000 57.0000 30.0000\r\n"},
      {"no decimals", one, "1.0", 0, 0, "12 30 57 30\r\n"},
      {"real", one, "1.0", 0, 5, "12.00000000 30.00000000 57.00000000 30.00000000\r\n"},
      {"one decimal, comma", one, "1", 1, 1, "12.0,30.0,57.0,30.0\r\n"},
      {"minus with negative rate", one, "-1", 2, 4, "-12.0000--30.0000--57.0000--30.0000\r\n"},
      {"slash", one, "1", 3, 2, "12.00/30.00/57.00/30.00\r\n"},
      {"delimiter out of range is a space", one, "1", 4, 3, "12.000 30.000 57.000 30.000\r\n"},
      {"negative delimiter is a space", one, "1", -1, 0, "12 30 57 30\r\n"},
      {"decimals out of range: none", one, "1", 0, 6, "12 30 57 30\r\n"},
      {"scaled by a tenth, eight decimals",
       {{1000, -5, 0, 3}},
       " 0.1",
       0,
       5,
       "100.00000149 -0.50000001 0.00000000 0.30000000\r\n"},
      {"table order, half away from zero", {{5, 3, -5, -3}, {1, 2, 3, 4}}, "0.5", 1, 0, "3,2,-3,-2\r\n1,1,2,2\r\n"},
      {"rate zero", one, "0", 0, 4, "0.0000 0.0000 0.0000 0.0000\r\n"},
      {"empty table", {}, "1.0", 0, 4, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConversionSettings settings;
    settings.ZahyouDiv = c.div;
    settings.ZahyouReal = c.real;
    EXPECT_EQ(testing::written_bytes("text", c.records, *parse_rate(c.rate), export_options(settings)), c.expected);
  }
}

class TextWriterFile : public testing::ScratchFolder {
 protected:
  SaveResult save(const fs::path& target, std::span<const LineRecord> records, float rate, RecordingHost& host,
                  char delimiter = ' ', int decimals = 4) {
    ExportOptions options;
    options.text_delimiter = delimiter;
    options.text_decimals = decimals;
    return save_file(testing::format_named("text"), target, records, rate, options, host);
  }
};

TEST_F(TextWriterFile, ProgressAfterEveryRecord) {
  const std::vector<LineRecord> records = numbered_records(250);
  RecordingHost host;
  // The bar must already have moved for a record when events are processed.
  std::vector<std::size_t> bars_at_events;
  host.on_events = [&](int) { bars_at_events.push_back(host.bars.size()); };
  ASSERT_TRUE(save(folder_ / "a.txt", records, 1, host, ' ', 0).written());
  ASSERT_EQ(host.bars.size(), 250u);
  EXPECT_EQ(host.bars[0], 0);  // trunc(0.4)
  EXPECT_EQ(host.bars[1], 0);  // trunc(0.8)
  EXPECT_EQ(host.bars[2], 1);  // trunc(1.2)
  EXPECT_EQ(host.bars[124], 50);
  EXPECT_EQ(host.bars[248], 99);
  EXPECT_EQ(host.bars[249], 100);
  EXPECT_TRUE(std::is_sorted(host.bars.begin(), host.bars.end()));
  ASSERT_EQ(bars_at_events.size(), 250u);
  for (std::size_t i = 0; i < bars_at_events.size(); ++i) EXPECT_EQ(bars_at_events[i], i + 1);
}

TEST(TextWriter, SavingBarPosition) {
  const std::vector<std::tuple<std::int64_t, std::int64_t, int>> cases = {
      {1, 250, 0}, {3, 250, 1},           {250, 250, 100}, {1, 1, 100}, {1, 3, 33},
      {2, 3, 66},  {999999, 1000000, 99}, {1, 1000000, 0}, {0, 0, 0},   {5, 0, 0}};
  for (const auto& [i, n, expected] : cases) {
    EXPECT_EQ(saving_bar_position(i, n), expected) << i << " of " << n;
  }
}

// The bar as records are reported in order, against the position worked out for each.
TEST(TextWriter, SavingBarStepsWhereItsPositionDoes) {
  for (const std::int64_t count : {1, 3, 7, 100, 250, 300, 1000, 99991, 1000000, 0}) {
    SavingBar bar;
    std::int64_t wrong = 0;
    for (std::int64_t i = 1; i <= std::max<std::int64_t>(count, 5); ++i)
      wrong += bar.position(i, count) != saving_bar_position(i, count);
    EXPECT_EQ(wrong, 0) << count << " records";
    EXPECT_EQ(bar.position(1, 9), saving_bar_position(1, 9));  // another save on the same bar
  }
}

TEST(TextWriter, InvalidMagnificationIsSaidOnce) {
  for (const std::string text : {"2 ", "1,5", "1.5x", "", "-", "1e40"}) {
    SCOPED_TRACE("\"" + text + "\"");
    RecordingHost host;
    EXPECT_FALSE(accept_magnification(testing::format_named("text"), text, numbered_records(3), host));
    // The message, and no saving dialog.
    EXPECT_EQ(host.calls, (std::vector<std::string>{"message:倍率の数値が不正です。"}));
  }
}

// Stops at the failing write: no progress for that record, nor after it.
class CountingProgress : public Progress {
 public:
  bool report(Phase phase, std::int64_t done, std::int64_t) override {
    EXPECT_EQ(phase, Phase::Save);
    last = done;
    return done < stop_after;
  }
  std::int64_t last = 0;
  std::int64_t stop_after = 1'000'000;
};

TEST(TextWriter, StreamFailureOrAStopEndsTheWriting) {
  // The lines are 9, 10, 10 and 10 bytes long: 35 bytes end inside the fourth.
  const std::vector<LineRecord> records = numbered_records(10);
  ExportOptions options;
  options.text_decimals = 0;
  FailingBuffer sink(35);
  std::ostream out(&sink);
  CountingProgress progress;
  EXPECT_FALSE(write_text(out, records, 1, options, progress));
  EXPECT_EQ(progress.last, 3);
  EXPECT_EQ(sink.written, std::string("0 0 0 7\r\n1 2 -1 7\r\n2 4 -2 7\r\n3 6 -3 7\r\n").substr(0, 35));

  std::ostringstream whole;
  CountingProgress stopping;
  stopping.stop_after = 2;
  EXPECT_FALSE(write_text(whole, records, 1, options, stopping));
  EXPECT_EQ(whole.str(), "0 0 0 7\r\n1 2 -1 7\r\n");
}

TEST_F(TextWriterFile, WritesTheFileAndReplacesAnOldOne) {
  const fs::path target = folder_ / "plan.csv";
  write_bytes(target, std::string(5000, 'x'));  // longer than the new content
  RecordingHost host;
  const std::vector<LineRecord> records = {{12, 30, 57, 30}, {-1, 0, 2, 3}};
  const SaveResult result = save(target, records, 2, host, ',', 0);
  ASSERT_TRUE(result.written()) << result.error.message();
  EXPECT_EQ(read_bytes(target), "24,60,114,60\r\n-2,0,4,6\r\n");
  EXPECT_EQ(entries(), (std::vector<std::string>{"plan.csv"}));
  EXPECT_EQ(host.calls, (std::vector<std::string>{"begin", "end"}));
}

TEST_F(TextWriterFile, EmptyTableGivesAnEmptyFile) {
  const fs::path target = folder_ / "empty.txt";
  RecordingHost host;
  ASSERT_TRUE(save(target, {}, 1, host).written());
  ASSERT_TRUE(fs::is_regular_file(target));
  EXPECT_EQ(fs::file_size(target), 0u);
  EXPECT_EQ(entries(), (std::vector<std::string>{"empty.txt"}));
}

TEST_F(TextWriterFile, FailuresLeaveTheFolderAsItWas) {
  struct Case {
    std::string name;
    fs::path target;
    SaveFailure failure;
    bool dialog_shown;
    std::string error_text;  // empty: not checked
  };
  const fs::path existing = folder_ / "plan.txt";
  const fs::path as_folder = folder_ / "sub.txt";
  const std::vector<Case> cases = {
      {"missing folder", folder_ / "missing" / "plan.txt", SaveFailure::Create, false, "ファイルが見つかりません"},
      {"target is a folder", as_folder, SaveFailure::Create, false, "ファイルへのアクセスが拒否されました"},
      {"no file name", folder_ / "", SaveFailure::Create, false, "不正なファイル名です"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_bytes(existing, "old contents\r\n");
    fs::create_directories(as_folder);
    RecordingHost host;
    const SaveResult result = save(c.target, numbered_records(5), 1, host);
    EXPECT_FALSE(result.written());
    EXPECT_EQ(result.failure, c.failure);
    EXPECT_EQ(host.dialog_depth, 0);
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "begin"), c.dialog_shown ? 1 : 0);
    if (!c.error_text.empty()) {
      EXPECT_EQ(file_error_text(result.error), c.error_text);
    }
    EXPECT_EQ(read_bytes(existing), "old contents\r\n");
    EXPECT_TRUE(fs::is_directory(as_folder));
    EXPECT_EQ(entries(), (std::vector<std::string>{"plan.txt", "sub.txt"}));
  }
}

// A failure while the file is being written: the temporary file is taken away
// under the writer (its name turned into a folder), so the final replacement
// fails. The earlier file stays byte for byte, and nothing else remains.
TEST_F(TextWriterFile, WriteFailureKeepsTheEarlierFile) {
  const fs::path target = folder_ / "plan.txt";
  const std::string old_bytes = "1.0000 2.0000 3.0000 4.0000\r\n";
  write_bytes(target, old_bytes);
  RecordingHost host;
  fs::path seen_temp;
  host.on_events = [&](int count) {
    if (count != 100) return;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      if (entry.path() != target) seen_temp = entry.path();
    }
    fs::remove(seen_temp);
    fs::create_directory(seen_temp);
  };
  const SaveResult result = save(target, numbered_records(300), 1, host);
  EXPECT_FALSE(result.written());
  EXPECT_EQ(result.failure, SaveFailure::Write);
  EXPECT_TRUE(result.error);
  EXPECT_EQ(seen_temp.parent_path(), folder_);  // written beside the target
  EXPECT_EQ(host.calls, (std::vector<std::string>{"begin", "end"}));
  EXPECT_EQ(host.dialog_depth, 0);
  EXPECT_EQ(read_bytes(target), old_bytes);
  EXPECT_EQ(entries(), (std::vector<std::string>{"plan.txt"}));
}

}  // namespace
}  // namespace vp
