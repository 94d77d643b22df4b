#include "export/save_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/atomic_file.h"
#include "export/dxf_codes.h"
#include "support/written_bytes.h"
#include "tests/export/recording_save_host.h"
#include "tests/export/scratch_folder.h"

namespace vp {
namespace {

namespace fs = std::filesystem;
using testing::RecordingSaveHost;

std::vector<LineRecord> diagonal(int n) {
  std::vector<LineRecord> records;
  for (int i = 0; i < n; ++i) records.push_back({i, i, i + 3, i + 5});
  return records;
}

class SaveFile : public testing::ScratchFolder {};

// What the desktop program's users know of each format: when the window system
// gets its turn, and what a file that cannot be created shows.
TEST_F(SaveFile, EachFormatKeepsItsPaceAndItsFailures) {
  std::vector<std::size_t> every_record;
  for (std::size_t i = 1; i <= 250; ++i) every_record.push_back(i);
  struct Case {
    std::string format;
    std::vector<std::size_t> event_after;
    std::vector<std::string> calls_on_create_failure;
  };
  const std::vector<Case> cases = {
      {"text", every_record, {}},
      {"dxf", {}, {"begin", "end"}},
      {"jwc", {100, 200}, {"begin", "end", "message:保存ができませんでした。"}},
      {"svg", {100, 200}, {"begin", "end"}},
  };
  ASSERT_EQ(cases.size(), export_formats().size());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const ExportFormat& format = testing::format_named(c.format);
    RecordingSaveHost host;
    ASSERT_TRUE(save_file(format, folder_ / "a", diagonal(250), 1, {}, host).written());
    EXPECT_EQ(host.event_after, c.event_after);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"begin", "end"}));
    EXPECT_EQ(read_bytes(folder_ / "a"), testing::written_bytes(c.format, diagonal(250), 1));

    RecordingSaveHost failing;
    const SaveResult result = save_file(format, folder_ / "none" / "a", diagonal(3), 1, {}, failing);
    EXPECT_EQ(result.failure, SaveFailure::Create);
    EXPECT_EQ(failing.calls, c.calls_on_create_failure);
    EXPECT_EQ(failing.dialog_depth, 0);
    fs::remove(folder_ / "a");
  }
}

// An interrupt while the file is written: no partial file, the earlier one kept.
TEST_F(SaveFile, ACalledOffSaveLeavesNoPartialFile) {
  class AbortingHost : public RecordingSaveHost {
   public:
    bool abort_requested() override { return bars.size() >= 7; }
  };
  for (const ExportFormat& format : export_formats()) {
    SCOPED_TRACE(std::string(format.name));
    write_bytes(folder_ / "plan", "earlier");
    AbortingHost host;
    const SaveResult result = save_file(format, folder_ / "plan", diagonal(50), 1, {}, host);
    EXPECT_EQ(result.failure, SaveFailure::Write);
    EXPECT_EQ(result.error, std::errc::operation_canceled);
    EXPECT_EQ(host.bars.size(), 7u);  // stopped at once
    EXPECT_EQ(host.dialog_depth, 0);
    EXPECT_EQ(read_bytes(folder_ / "plan"), "earlier");
    EXPECT_EQ(entries(), (std::vector<std::string>{"plan"}));
  }
}

TEST(SaveFailureText, WhatTheSaveCommandSaysAfterwards) {
  const std::error_code missing = std::make_error_code(std::errc::no_such_file_or_directory);
  struct Case {
    std::string format;
    SaveResult result;
    std::optional<std::string> text;
    bool system_reason;
  };
  const std::vector<Case> cases = {
      {"text", {SaveFailure::Create, missing}, "ファイルが見つかりません", true},
      {"jwc", {SaveFailure::Create, missing}, "保存できませんでした。", false},
      {"text", {SaveFailure::Write, missing}, "保存できませんでした。", false},
      {"dxf", {SaveFailure::InvalidRate, {}}, "保存できませんでした。", false},
      {"dxf", {SaveFailure::Template, missing}, std::nullopt, false},
      {"svg", {}, std::nullopt, false},
  };
  for (const Case& c : cases) {
    const auto text = save_failure_text(testing::format_named(c.format), c.result);
    ASSERT_EQ(text.has_value(), c.text.has_value()) << c.format;
    if (!text) continue;
    EXPECT_EQ(text->text, *c.text);
    EXPECT_EQ(text->system_reason, c.system_reason);
  }
}

TEST(FormatTable, LookupsByExtensionAndIndex) {
  const std::vector<std::pair<std::string, std::string>> by_extension = {
      {".txt", "text"}, {".CSV", "text"}, {".Text", "text"}, {".dxf", "dxf"}, {".JWC", "jwc"},
      {".svg", "svg"},  {"csv", ""},      {"", ""},          {".bmp", ""},    {".txt.", ""},
  };
  for (const auto& [extension, name] : by_extension) {
    const ExportFormat* format = format_by_extension(extension);
    EXPECT_EQ(format == nullptr ? "" : std::string(format->name), name) << extension;
  }
  for (const int index : {0, 5, -1}) EXPECT_EQ(format_by_filter_index(index), nullptr) << index;
}

TEST(DxfCodes, GroupsAreRightAlignedInThreeCharacters) {
  struct Case {
    std::function<char*(char*)> put;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {[](char* p) { return dxf::put_group(p, 0, "LINE"); }, "  0\r\nLINE\r\n"},
      {[](char* p) { return dxf::put_group(p, 62, 1); }, " 62\r\n  1\r\n"},
      {[](char* p) { return dxf::put_group(p, 100, ""); }, "100\r\n\r\n"},
      {[](char* p) {
         return dxf::put_coordinate(p, 21, [](char* q) { return static_cast<std::size_t>(dxf::put(q, "-0.5") - q); });
       },
       " 21\r\n   -0.5\r\n"},
  };
  for (const Case& c : cases) {
    char buffer[64];
    EXPECT_EQ(std::string(buffer, c.put(buffer)), c.expected);
  }
}

}  // namespace
}  // namespace vp
