// Many conversions in one process, some aborted at random points: each result is
// that of a fresh conversion of the same file. (The sanitizer build's leak checker
// watches the same run for memory that is never released.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "core/conversion.h"
#include "support/recording_host.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp {
namespace {

TEST(RepeatedConversions, AbortsAndRepeatsLeaveNoTrace) {
  const auto folder = std::filesystem::temp_directory_path() / ("vp_repeat_" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  std::mt19937 rng(31337);
  std::vector<std::string> files;
  std::vector<std::vector<LineRecord>> expected;
  for (int i = 0; i < 6; ++i) {
    const InkImage image = generate_drawing(60 + 23 * i, 40 + 17 * i, static_cast<std::uint32_t>(i + 1));
    BmpWriteOptions options;
    options.bits_per_pixel = i % 2 == 0 ? 1 : 24;
    const auto bytes = encode_bmp(image, options);
    files.push_back((folder / ("d" + std::to_string(i) + ".bmp")).string());
    std::ofstream(files.back(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    Conversion fresh;
    Outcome fresh_outcome = Outcome::Done;
    testing::RecordingHost host;
    fresh_outcome = fresh.ChangeImage(files.back(), 2, host).outcome;
    ASSERT_EQ(fresh_outcome, Outcome::Done);
    expected.emplace_back(fresh.records().begin(), fresh.records().end());
  }
  Conversion conversion;
  Outcome conversion_outcome = Outcome::Done;
  int aborted = 0;
  for (int round = 0; round < 300; ++round) {
    const std::size_t which = rng() % files.size();
    testing::RecordingHost host;
    const bool abort = rng() % 2 == 0;
    const std::int64_t abort_at = 1 + static_cast<std::int64_t>(rng() % 400);
    if (abort) host.abort_when = [abort_at](const testing::RecordingHost& h) { return h.events >= abort_at; };
    conversion_outcome = conversion.ChangeImage(files[which], 2, host).outcome;
    if (conversion_outcome == Outcome::Aborted) {
      ++aborted;
      EXPECT_EQ(host.finished, 1);
      continue;
    }
    ASSERT_EQ(conversion_outcome, Outcome::Done) << "round " << round;
    ASSERT_EQ(std::vector<LineRecord>(conversion.records().begin(), conversion.records().end()), expected[which])
        << "round " << round;
  }
  EXPECT_GT(aborted, 50);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace vp
