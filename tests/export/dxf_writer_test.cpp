#include "export/dxf_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/export_settings.h"
#include "export/atomic_file.h"
#include "export/dxf_header.h"
#include "export/save_file.h"
#include "support/written_bytes.h"
#include "tests/export/recording_save_host.h"
#include "tests/export/scratch_folder.h"

namespace vp {
namespace {

namespace fs = std::filesystem;
using testing::RecordingSaveHost;

constexpr std::string_view kTrailer = "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";

// The DXF choices as the settings store them (on/off: 1 off, 2 on), so that the
// cases also check how the stored values reach the writer.
struct DxfOptions {
  std::int32_t DxfReal = 4;
  std::int32_t DxfOption1 = 1;
  std::int32_t DxfOption1_Len = 100;
  std::int32_t DxfOption2 = 1;
};

DxfOptions options(std::int32_t real, std::int32_t short_on, std::int32_t len, std::int32_t split) {
  return {real, short_on, len, split};
}

ExportOptions exports_of(const DxfOptions& o, std::string_view header = {}) {
  ConversionSettings s;
  s.DxfReal = o.DxfReal;
  s.DxfOption1 = o.DxfOption1;
  s.DxfOption1_Len = o.DxfOption1_Len;
  s.DxfOption2 = o.DxfOption2;
  return export_options(s, header);
}

// The file as the format describes it, built line by line from the description:
// independent of the writer's buffer handling and of the shared classification.
std::string reference_layer(const LineRecord& r, float rate, const DxfOptions& o) {
  std::string layer = "Velorin";
  if (o.DxfOption2 == 2) {
    layer = "Oblique";
    if (r.y1 == r.y2) layer = "Horizon";
    if (r.x1 == r.x2) layer = "Vertical";
  }
  if (o.DxfOption1 == 2) {
    float length = 0;
    const long double k = rate;
    if (r.y1 == r.y2) {
      length = static_cast<float>(static_cast<long double>(std::int64_t{r.x2} - r.x1) * k);
    } else if (r.x1 == r.x2) {
      length = static_cast<float>(static_cast<long double>(std::int64_t{r.y2} - r.y1) * k);
    } else {
      const long double dx = std::fabs(r.x2 * k - r.x1 * k);
      const long double dy = std::fabs(r.y2 * k - r.y1 * k);
      length = static_cast<float>(std::sqrt(dx * dx + dy * dy));
    }
    if (std::fabs(length) < static_cast<float>(o.DxfOption1_Len)) layer = "Short";
  }
  return layer;
}

std::string reference_file(const std::vector<std::string>& header, const std::vector<LineRecord>& records, float rate,
                           const DxfOptions& o) {
  std::vector<std::string> lines = header;
  const int decimals = DecimalDigits(o.DxfReal);
  for (const LineRecord& r : records) {
    for (const std::string& line :
         {std::string("  0"), std::string("LINE"), std::string("  8"), reference_layer(r, rate, o), std::string("  6"),
          std::string("CONTINUOUS"), std::string(" 62"), std::string("  1"), std::string(" 10"),
          "   " + CoordinateText(r.x1, rate, decimals), std::string(" 20"),
          "   " + CoordinateText(r.y1, rate, decimals), std::string(" 11"),
          "   " + CoordinateText(r.x2, rate, decimals), std::string(" 21"),
          "   " + CoordinateText(r.y2, rate, decimals)}) {
      lines.push_back(line);
    }
  }
  for (const char* line : {"  0", "ENDSEC", "  0", "EOF"}) lines.emplace_back(line);
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  return bytes;
}

// The layer name of every LINE entity in a written file.
std::vector<std::string> layers_of(const std::string& file) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(file.substr(start, end - start));
  }
  std::vector<std::string> layers;
  for (std::size_t i = 0; i + 3 < lines.size(); ++i) {
    if (lines[i] == "  0" && lines[i + 1] == "LINE" && lines[i + 2] == "  8") layers.push_back(lines[i + 3]);
  }
  return layers;
}

std::string save_to_string(const std::vector<std::string>& header, const std::vector<LineRecord>& records,
                           std::string_view rate, const DxfOptions& o) {
  const DxfHeaderTemplate head(header);
  return testing::written_bytes("dxf", records, *parse_rate(rate), exports_of(o, head.bytes()));
}

TEST(DxfHeaderTemplate, LinesFromBytes) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"", {}},
      {"A", {"A"}},
      {"A\r\n", {"A"}},
      {"A\n", {"A"}},
      {"A\r", {"A"}},
      {"A\r\nB\nC\r", {"A", "B", "C"}},  // three lines and a final line end: three lines
      {"A\r\nB\nC", {"A", "B", "C"}},
      {"A\n\rB", {"A", "", "B"}},  // LF CR is two line ends
      {"A\r\r\nB", {"A", "", "B"}},
      {"\r\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {"\n\n\n", {"", "", ""}},
      {"  0\r\nSECTION\r\n", {"  0", "SECTION"}},  // leading spaces kept
      {"x \t\r\n", {"x \t"}},                      // trailing blanks kept
      // Shift-JIS, with a trail byte that reads as a backslash in ASCII: bytes as they are.
      {"\x83\x65\x83\x58\x83\x67\r\n\x95\x5C\r\n", {"\x83\x65\x83\x58\x83\x67", "\x95\x5C"}},
      {std::string("A\0B\r\n", 5), {std::string("A\0B", 3)}},
  };
  for (const auto& [bytes, lines] : cases) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    const DxfHeaderTemplate parsed = DxfHeaderTemplate::from_bytes(bytes);
    EXPECT_EQ(parsed.lines(), lines);
    std::string crlf;
    for (const std::string& line : lines) crlf += line + "\r\n";
    EXPECT_EQ(parsed.to_bytes(), crlf);
    EXPECT_EQ(DxfHeaderTemplate::from_bytes(parsed.to_bytes()), parsed);
  }
}

TEST(DxfWriter, FilesForSettings) {
  struct Case {
    std::string name;
    std::vector<std::string> header;
    std::vector<LineRecord> records;
    std::string rate;
    DxfOptions options;
    std::string expected;
  };
  const std::string entity_head = "  0\r\nLINE\r\n  8\r\nVelorin\r\n  6\r\nCONTINUOUS\r\n 62\r\n  1\r\n";
  const std::vector<LineRecord> one = {{12, 3, -4, 0}};
  const std::vector<Case> cases = {
      {"nothing at all: four lines", {}, {}, "1.0", {}, std::string(kTrailer)},
      {"header only",
       {"  0", "SECTION", "  2", "ENTITIES"},
       {},
       "1.0",
       {},
       "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n" + std::string(kTrailer)},
      {"empty header lines are lines", {"", ""}, {}, "1", {}, "\r\n\r\n" + std::string(kTrailer)},
      {"placeholders are copied like any line",
       {"<$EXT>", "<$LIM>", "<$SCALE>"},
       {},
       "1",
       {},
       "<$EXT>\r\n<$LIM>\r\n<$SCALE>\r\n" + std::string(kTrailer)},
      {"four decimals",
       {},
       one,
       "1.0",
       options(4, 1, 100, 1),
       entity_head + " 10\r\n   12.0000\r\n 20\r\n   3.0000\r\n 11\r\n   -4.0000\r\n 21\r\n   0.0000\r\n" +
           std::string(kTrailer)},
      {"no decimals",
       {},
       one,
       "1.0",
       options(0, 1, 100, 1),
       entity_head + " 10\r\n   12\r\n 20\r\n   3\r\n 11\r\n   -4\r\n 21\r\n   0\r\n" + std::string(kTrailer)},
      {"eight decimals, a tenth",
       {"H"},
       {{1000, 0, -5, 1}},
       "0.1",
       options(5, 1, 100, 1),
       "H\r\n" + entity_head +
           " 10\r\n   100.00000149\r\n 20\r\n   0.00000000\r\n 11\r\n   -0.50000001\r\n 21\r\n   0.10000000\r\n" +
           std::string(kTrailer)},
      {"precision out of range: none",
       {},
       one,
       "2",
       options(7, 1, 100, 1),
       entity_head + " 10\r\n   24\r\n 20\r\n   6\r\n 11\r\n   -8\r\n 21\r\n   0\r\n" + std::string(kTrailer)},
      {"halves away from zero",
       {},
       {{5, 3, -5, -3}},
       "0.5",
       options(0, 1, 100, 1),
       entity_head + " 10\r\n   3\r\n 20\r\n   2\r\n 11\r\n   -3\r\n 21\r\n   -2\r\n" + std::string(kTrailer)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(save_to_string(c.header, c.records, c.rate, c.options), c.expected);
  }
}

TEST(DxfWriter, LayerOfARecord) {
  struct Case {
    LineRecord record;
    std::string rate;
    DxfOptions options;
    std::string layer;
  };
  const DxfOptions off = options(4, 1, 100, 1);
  const DxfOptions split = options(4, 1, 100, 2);
  const DxfOptions short100 = options(4, 2, 100, 1);
  const DxfOptions both = options(4, 2, 100, 2);
  const std::vector<Case> cases = {
      {{5, 7, 9, 7}, "1", off, "Velorin"},
      {{5, 7, 5, 9}, "1", off, "Velorin"},
      {{5, 7, 9, 9}, "1", off, "Velorin"},
      {{5, 7, 5, 7}, "1", off, "Velorin"},
      {{5, 7, 9, 7}, "1", split, "Horizon"},
      {{5, 7, 5, 9}, "1", split, "Vertical"},
      {{5, 7, 9, 9}, "1", split, "Oblique"},
      {{5, 7, 5, 7}, "1", split, "Vertical"},  // a point is vertical
      // The short-line boundary at 100 mm with a magnification of 10.
      {{0, 0, 9, 0}, "10", short100, "Short"},
      {{0, 0, 10, 0}, "10", short100, "Velorin"},
      {{0, 0, 6, 8}, "10", short100, "Velorin"},             // oblique, exactly 100 mm
      {{0, 0, 6, 7}, "10", short100, "Short"},               // oblique, 92 mm
      {{3, 9, 3, 0}, "10", short100, "Short"},               // vertical, measured downwards
      {{0, 0, 9, 0}, "-10", short100, "Short"},              // the magnitude counts
      {{4, 4, 4, 4}, "10", short100, "Short"},               // a point has length 0
      {{0, 0, 9, 0}, "10", options(4, 2, 0, 1), "Velorin"},  // L = 0: nothing is short
      {{4, 4, 4, 4}, "10", options(4, 2, 0, 2), "Vertical"},
      {{0, 0, 99, 0}, "1", options(4, 2, 100, 1), "Short"},
      {{0, 0, 100, 0}, "1", options(4, 2, 100, 1), "Velorin"},
      // The short test comes after the split and overrides it.
      {{0, 0, 9, 0}, "10", both, "Short"},
      {{0, 0, 10, 0}, "10", both, "Horizon"},
      {{0, 0, 0, 10}, "10", both, "Vertical"},
      {{0, 0, 6, 8}, "10", both, "Oblique"},
      {{0, 0, 6, 7}, "10", both, "Short"},
      // Only the value 2 switches an option on.
      {{0, 0, 9, 0}, "10", options(4, 1, 100, 1), "Velorin"},
      {{5, 7, 9, 7}, "1", options(4, 0, 100, 0), "Velorin"},
      {{5, 7, 9, 7}, "1", options(4, 3, 100, 3), "Velorin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.record.x1 << "," << c.record.y1 << "," << c.record.x2 << "," << c.record.y2
                                      << " rate " << c.rate << " short " << c.options.DxfOption1 << " L "
                                      << c.options.DxfOption1_Len << " split " << c.options.DxfOption2);
    const std::string file = save_to_string({}, {c.record}, c.rate, c.options);
    EXPECT_EQ(layers_of(file), std::vector<std::string>{c.layer});
  }
}

TEST(DxfWriter, MatchesTheLineByLineDescription) {
  std::mt19937 gen(20240611);
  const std::vector<std::string> rates = {"1", "1.0", "0.1", "10", "-2.5", "0", "6.35", "0.254", "1e-3", "123.456"};
  std::uniform_int_distribution<int> pick(0, 9);
  for (int round = 0; round < 300; ++round) {
    std::vector<LineRecord> records;
    const int n = std::uniform_int_distribution<int>(0, 40)(gen);
    for (int i = 0; i < n; ++i) {
      const int span = round % 3 == 0 ? 2000000000 : 200;
      std::uniform_int_distribution<std::int32_t> c(-span, span);
      LineRecord r{c(gen), c(gen), c(gen), c(gen)};
      const int shape = pick(gen);
      if (shape < 3)
        r.y2 = r.y1;  // horizontal
      else if (shape < 6)
        r.x2 = r.x1;  // vertical
      else if (shape == 6)
        r = {r.x1, r.y1, r.x1, r.y1};  // a point
      records.push_back(r);
    }
    const std::string rate_text = rates[static_cast<std::size_t>(pick(gen))];
    const DxfOptions o = options(std::uniform_int_distribution<std::int32_t>(-1, 6)(gen),
                                 std::uniform_int_distribution<std::int32_t>(1, 2)(gen),
                                 std::uniform_int_distribution<std::int32_t>(-5, 3000)(gen),
                                 std::uniform_int_distribution<std::int32_t>(1, 2)(gen));
    const std::vector<std::string> header =
        round % 2 ? std::vector<std::string>{} : std::vector<std::string>{"  0", "SECTION", "  2", "ENTITIES"};
    const std::string written = save_to_string(header, records, rate_text, o);
    ASSERT_EQ(written, reference_file(header, records, *parse_rate(rate_text), o))
        << "round " << round << " rate " << rate_text;
  }
}

class DxfWriterFile : public testing::ScratchFolder {
 protected:
  SaveResult save(const fs::path& target, std::span<const LineRecord> records, const DxfHeaderTemplate& header,
                  RecordingSaveHost& host, const DxfOptions& o = {}) {
    return save_file(testing::format_named("dxf"), target, records, 1, exports_of(o, header.bytes()), host);
  }
};

TEST_F(DxfWriterFile, BarMovesAfterEveryRecordButNoEventsAreProcessed) {
  std::vector<LineRecord> records;
  for (int i = 0; i < 250; ++i) records.push_back({i, 0, i + 1, 0});
  RecordingSaveHost host;
  ASSERT_TRUE(save(folder_ / "a.dxf", records, {}, host).written());
  ASSERT_EQ(host.bars.size(), 250u);
  EXPECT_EQ(host.bars[0], 0);
  EXPECT_EQ(host.bars[2], 1);
  EXPECT_EQ(host.bars[249], 100);
  EXPECT_TRUE(host.event_after.empty());
  EXPECT_EQ(host.calls, (std::vector<std::string>{"begin", "end"}));
}

TEST(DxfWriter, FailingStream) {
  std::ostringstream out;
  std::vector<LineRecord> records(10, LineRecord{1, 2, 3, 4});
  out.setstate(std::ios::badbit);
  NoProgress progress;
  EXPECT_FALSE(write_dxf(out, records, 1, exports_of({}, "H\r\n"), progress));
}

TEST_F(DxfWriterFile, ReloadingTheTemplate) {
  struct Case {
    std::string name;
    std::function<fs::path()> make;  // creates what is at the template path
    DxfHeaderLoad outcome;
    std::vector<std::string> lines;  // the template afterwards
  };
  const std::vector<std::string> before = {"in", "memory"};
  const std::vector<Case> cases = {
      {"missing", [&] { return folder_ / "none" / "DXFHED.TXT"; }, DxfHeaderLoad::Missing, before},
      {"three lines and a final line end",
       [&] {
         write_bytes(folder_ / "a.txt", "A\r\nB\nC\r");
         return folder_ / "a.txt";
       },
       DxfHeaderLoad::Loaded,
       {"A", "B", "C"}},
      {"an empty file empties the template",
       [&] {
         write_bytes(folder_ / "e.txt", "");
         return folder_ / "e.txt";
       },
       DxfHeaderLoad::Loaded,
       {}},
      {"a large file",
       [&] {
         std::string bytes;
         for (int i = 0; i < 20000; ++i) bytes += std::to_string(i) + "\n";
         write_bytes(folder_ / "big.txt", bytes);
         return folder_ / "big.txt";
       },
       DxfHeaderLoad::Loaded,
       {}},
      {"a folder in the way",
       [&] {
         fs::create_directories(folder_ / "DXFHED.TXT");
         return folder_ / "DXFHED.TXT";
       },
       DxfHeaderLoad::Unreadable, before},
      {"a dangling link is missing",
       [&] {
         fs::create_symlink(folder_ / "nowhere", folder_ / "link.txt");
         return folder_ / "link.txt";
       },
       DxfHeaderLoad::Missing, before},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DxfHeaderTemplate header(before);
    const fs::path path = c.make();
    const DxfHeaderLoadResult result = reload_dxf_header(path, header);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(static_cast<bool>(result.error), c.outcome == DxfHeaderLoad::Unreadable);
    if (c.name == "a large file") {
      ASSERT_EQ(header.lines().size(), 20000u);
      EXPECT_EQ(header.lines()[19999], "19999");
    } else {
      EXPECT_EQ(header.lines(), c.lines);
    }
  }
  // Permissions stop everyone but root, and mean little on Windows: tried where they stop reading.
  write_bytes(folder_ / "locked.txt", "X\r\n");
  fs::permissions(folder_ / "locked.txt", fs::perms::none);
  if (!std::ifstream(folder_ / "locked.txt")) {
    DxfHeaderTemplate header(before);
    EXPECT_EQ(reload_dxf_header(folder_ / "locked.txt", header).outcome, DxfHeaderLoad::Unreadable);
    EXPECT_EQ(header.lines(), before);
  }
}

// The file is read in pieces: a CR LF split between two of them is still one line end.
TEST_F(DxfWriterFile, LineEndsAcrossTheReadingPiecesOfALargeTemplate) {
  for (const std::size_t length : {65534u, 65535u, 65536u, 131071u}) {
    SCOPED_TRACE(length);
    const std::string first(length, 'x');
    write_bytes(folder_ / "big.txt", first + "\r\n\r\nB\n\rC");
    DxfHeaderTemplate header;
    ASSERT_EQ(reload_dxf_header(folder_ / "big.txt", header).outcome, DxfHeaderLoad::Loaded);
    EXPECT_EQ(header.lines(), (std::vector<std::string>{first, "", "B", "", "C"}));
    EXPECT_EQ(header.bytes(), first + "\r\n\r\nB\r\n\r\nC\r\n");
  }
}

TEST_F(DxfWriterFile, SavingTheTemplateWritesCrLfLines) {
  const fs::path path = dxf_header_path(folder_);
  EXPECT_EQ(path.filename(), "DXFHED.TXT");
  write_bytes(path, "old\n");
  const DxfHeaderTemplate header({"  0", "SECTION", "\x83\x65", ""});
  ASSERT_FALSE(save_dxf_header(path, header));
  EXPECT_EQ(read_bytes(path), std::string("  0\r\nSECTION\r\n\x83\x65\r\n\r\n"));
  DxfHeaderTemplate back;
  EXPECT_EQ(reload_dxf_header(path, back).outcome, DxfHeaderLoad::Loaded);
  EXPECT_EQ(back, header);
  EXPECT_EQ(entries(), (std::vector<std::string>{"DXFHED.TXT"}));
  // A template that cannot be written leaves nothing behind.
  EXPECT_TRUE(save_dxf_header(folder_ / "missing" / "DXFHED.TXT", header));
  EXPECT_EQ(entries(), (std::vector<std::string>{"DXFHED.TXT"}));
}

// The user's copy, the one beside the program and the installed one: the first
// that is there is read and written over; one that cannot be written gives way to
// the user's copy. (A folder in the way stands in for a read-only installed copy:
// the tests may run as root, whom permissions do not stop.)
TEST_F(DxfWriterFile, TemplatePlacesInOrder) {
  enum Kind { None, File, Folder, Dangling, Loop };
  struct Case {
    const char* name;
    Kind user, beside, installed;
    const char* found;    // which place is read
    const char* written;  // which place OK writes
  };
  const Case cases[] = {
      {"nothing anywhere", None, None, None, "user", "user"},
      {"installed only", None, None, File, "installed", "installed"},
      {"beside before installed", None, File, File, "beside", "beside"},
      {"the user's copy first", File, File, File, "user", "user"},
      {"installed one not writable", None, None, Folder, "installed", "user"},
      {"beside one not writable", None, Folder, File, "beside", "user"},
      {"the user's copy in the way", Folder, File, File, "user", "user-failed"},
      // Links that lead nowhere hold no template: the next place is read.
      {"the user's copy a dangling link", Dangling, None, File, "installed", "installed"},
      {"the user's copy a loop of links", Loop, File, File, "beside", "beside"},
  };
  const DxfHeaderTemplate header({"  0", "SECTION"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_);
    const std::map<std::string, fs::path> place = {
        {"user", folder_ / "home" / "data" / "velorin-pelkin" / "DXFHED.TXT"},
        {"beside", folder_ / "bin" / "DXFHED.TXT"},
        {"installed", folder_ / "share" / "velorin-pelkin" / "DXFHED.TXT"}};
    for (const auto& [name, kind] : {std::pair{"user", c.user}, {"beside", c.beside}, {"installed", c.installed}}) {
      const fs::path& path = place.at(name);
      if (kind != None) fs::create_directories(kind == Folder ? path : path.parent_path());
      if (kind == File) write_bytes(path, std::string("old ") + name);
      if (kind == Dangling) fs::create_symlink(folder_ / "nowhere", path);
      if (kind == Loop) fs::create_symlink(path, path);
    }
    const DxfHeaderPlaces places{place.at("user"), {place.at("beside"), place.at("installed")}};
    EXPECT_EQ(find_dxf_header(places), place.at(c.found));

    const DxfHeaderSaveResult saved = save_dxf_header(places, header);
    const bool failed = std::string(c.written) == "user-failed";
    EXPECT_EQ(bool(saved.error), failed);
    EXPECT_EQ(saved.path, place.at(failed ? "user" : c.written));
    for (const auto& [name, path] : place) {
      std::error_code looped;
      if (!fs::is_regular_file(path, looped)) continue;
      EXPECT_EQ(read_bytes(path) == header.to_bytes(), name == c.written) << name;
    }
  }
}

TEST_F(DxfWriterFile, TemplateFromTheFileOrFromMemory) {
  const fs::path target = folder_ / "plan.dxf";
  const std::vector<LineRecord> records = {{1, 2, 3, 2}};
  const std::string entity =
      "  0\r\nLINE\r\n  8\r\nVelorin\r\n  6\r\nCONTINUOUS\r\n 62\r\n  1\r\n 10\r\n   1\r\n 20\r\n   2\r\n 11\r\n   "
      "3\r\n"
      " 21\r\n   2\r\n";
  const DxfOptions o = options(0, 1, 100, 1);

  // The file replaces the template in memory and is copied line for line.
  const fs::path template_path = folder_ / "DXFHED.TXT";
  write_bytes(template_path, "T1\nT2\rT3\r\n");
  DxfHeaderTemplate header({"old"});
  RecordingSaveHost host;
  // As the save command does it: the file, when there is one, then the save.
  EXPECT_EQ(reload_dxf_header(template_path, header).outcome, DxfHeaderLoad::Loaded);
  ASSERT_TRUE(save(target, records, header, host, o).written());
  EXPECT_EQ(read_bytes(target), "T1\r\nT2\r\nT3\r\n" + entity + std::string(kTrailer));
  EXPECT_EQ(header.lines(), (std::vector<std::string>{"T1", "T2", "T3"}));

  // Without the file, whatever the template holds; an earlier output is replaced.
  fs::remove(template_path);
  header = DxfHeaderTemplate({"M"});
  EXPECT_EQ(reload_dxf_header(template_path, header).outcome, DxfHeaderLoad::Missing);
  ASSERT_TRUE(save(target, records, header, host, o).written());
  EXPECT_EQ(read_bytes(target), "M\r\n" + entity + std::string(kTrailer));

  // No records: the template and the closing lines.
  ASSERT_TRUE(save(target, {}, header, host, o).written());
  EXPECT_EQ(read_bytes(target), "M\r\n" + std::string(kTrailer));
  EXPECT_EQ(entries(), (std::vector<std::string>{"plan.dxf"}));
}

TEST_F(DxfWriterFile, FailuresLeaveTheFolderAsItWas) {
  const fs::path existing = folder_ / "plan.dxf";
  const fs::path in_the_way = folder_ / "tpl";
  // The dialog comes and goes; the DXF save adds no message of its own.
  for (const fs::path& target : {folder_ / "no" / "x.dxf", in_the_way}) {
    SCOPED_TRACE(target.string());
    write_bytes(existing, "earlier\r\n");
    fs::create_directories(in_the_way);
    RecordingSaveHost host;
    const std::vector<LineRecord> records = {{1, 2, 3, 4}};
    const SaveResult result = save(target, records, DxfHeaderTemplate({"kept"}), host);
    EXPECT_FALSE(result.written());
    EXPECT_EQ(result.failure, SaveFailure::Create);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"begin", "end"}));
    EXPECT_EQ(host.dialog_depth, 0);
    EXPECT_EQ(read_bytes(existing), "earlier\r\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"plan.dxf", "tpl"}));
  }
}

}  // namespace
}  // namespace vp
