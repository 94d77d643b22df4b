// Every third-party bitmap of the shared test material, against the outcome and
// ink mask its manifest records.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imageio/bmp_reader.h"
#include "tests/imageio/bmp/bmp_test_util.h"

namespace vp {
namespace {

using testing_bmp::ReadResult;

const std::string kSuiteDir = std::string(VP_TESTDATA_DIR) + "/bmpsuite/";

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, sep)) parts.push_back(part);
  if (!line.empty() && line.back() == sep) parts.emplace_back();
  return parts;
}

std::vector<std::map<std::string, std::string>> load_manifest(std::string& error) {
  std::ifstream in(kSuiteDir + "MANIFEST.tsv");
  if (!in) {
    error = "cannot open " + kSuiteDir + "MANIFEST.tsv";
    return {};
  }
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> columns = split(line, '\t');
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const std::vector<std::string> cells = split(line, '\t');
    if (cells.size() != columns.size()) {
      error = "malformed manifest line: " + line;
      return {};
    }
    std::map<std::string, std::string> row;
    for (std::size_t i = 0; i < cells.size(); ++i) row[columns[i]] = cells[i];
    rows.push_back(row);
  }
  return rows;
}

// Plain PBM (P1): rows top first, '#' for 1.
bool load_pbm(const std::string& path, int& width, int& height, std::vector<std::string>& rows) {
  std::ifstream in(path);
  std::string magic;
  in >> magic >> width >> height;
  if (!in || magic != "P1" || width <= 0 || height <= 0) return false;
  rows.assign(static_cast<std::size_t>(height), std::string());
  for (auto& row : rows) {
    while (row.size() < static_cast<std::size_t>(width)) {
      char c = 0;
      if (!(in >> c)) return false;
      if (c != '0' && c != '1') return false;
      row.push_back(c == '1' ? '#' : '.');
    }
  }
  return true;
}

std::string outcome_of(const ReadResult& r) {
  if (r.open_status == BmpStatus::Unsupported) return "unsupported";
  if (r.open_status == BmpStatus::Unreadable || r.read_status != BmpStatus::Ok) return "unreadable";
  return "load";
}

TEST(BmpSuite, EveryFileGivesItsManifestOutcomeAndMask) {
  std::string error;
  const auto manifest = load_manifest(error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_GE(manifest.size(), 100u) << "the manifest lists too few files";

  int loaded = 0, masks_equal = 0, alternative = 0;
  std::int64_t ink_total = 0;
  std::ostringstream summary;
  for (const auto& m : manifest) {
    const std::string& path = m.at("path");
    SCOPED_TRACE(path);
    const ReadResult r = testing_bmp::read_bmp(kSuiteDir + path);
    const std::string got = outcome_of(r);
    std::vector<std::string> allowed = {m.at("outcome")};
    if (m.at("also_ok") != "-") {
      for (const std::string& alt : split(m.at("also_ok"), ',')) {
        // Running out of memory is the loader's verdict; the reader calls such files unreadable.
        allowed.push_back(alt == "oom" ? "unreadable" : alt);
      }
    }
    EXPECT_NE(std::find(allowed.begin(), allowed.end(), got), allowed.end())
        << "got " << got << ", manifest says " << m.at("outcome") << " (also " << m.at("also_ok") << ")";
    if (got != m.at("outcome")) {
      ++alternative;
      summary << "  " << path << ": " << got << " (manifest " << m.at("outcome") << ")\n";
    }
    if (got != "load") continue;
    ++loaded;
    EXPECT_TRUE(r.faults.empty()) << r.faults.front();
    EXPECT_EQ(std::to_string(r.info.width), m.at("width"));
    EXPECT_EQ(std::to_string(r.info.height), m.at("height"));
    EXPECT_EQ(r.info.top_down, m.at("top_down") == "yes");
    EXPECT_EQ(std::to_string(r.info.bits_per_pixel), m.at("bpp"));
    const std::string ink = r.info.ink_index < 0 ? "-" : std::to_string(r.info.ink_index);
    EXPECT_EQ(ink, m.at("ink_index"));
    if (r.info.bits_per_pixel != 24) {
      EXPECT_EQ(std::to_string(r.info.palette_entries), m.at("palette_entries"));
    }
    EXPECT_EQ(r.order.size(), static_cast<std::size_t>(r.info.height)) << "every row once";

    if (m.at("expected_mask") == "-") continue;
    int w = 0, h = 0;
    std::vector<std::string> expected;
    ASSERT_TRUE(load_pbm(kSuiteDir + m.at("expected_mask"), w, h, expected)) << m.at("expected_mask");
    ASSERT_EQ(w, r.info.width);
    ASSERT_EQ(h, r.info.height);
    int first_bad = -1;
    for (int y = 0; y < h && first_bad < 0; ++y) {
      if (r.rows[static_cast<std::size_t>(y)] != expected[static_cast<std::size_t>(y)]) first_bad = y;
    }
    EXPECT_EQ(first_bad, -1) << "mask differs from row " << first_bad << ":\n  got  "
                             << r.rows[static_cast<std::size_t>(std::max(first_bad, 0))] << "\n  want "
                             << expected[static_cast<std::size_t>(std::max(first_bad, 0))];
    if (first_bad < 0) ++masks_equal;
    ink_total += r.ink_pixels;
    summary << "  " << path << ": " << r.ink_pixels << " ink pixels\n";
  }
  std::cout << manifest.size() << " files, " << loaded << " loaded, " << masks_equal << " masks equal, " << ink_total
            << " ink pixels in all, " << alternative << " outcomes taken from also_ok\n"
            << summary.str();
}

}  // namespace
}  // namespace vp
