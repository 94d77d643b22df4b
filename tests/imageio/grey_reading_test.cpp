// The grey rows read once, decoded on a second thread, against the reading on one
// thread that counts the first rows' levels and then reads the image again: the
// same rule, threshold and ink for every rule and reader; a damaged file fails alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <fstream>

#include "image_files.h"
#include "imageio/image_formats.h"
#include "raster/thread_start.h"
#include "scan/grey_reading.h"
#include "support/degraded_scan.h"
#include "support/live_threads.h"

namespace vp::testing_imageio {
namespace {

struct Read {
  scan::ThresholdMode mode;
  scan::ThresholdOutcome outcome;
  ImageStatus ink_status = ImageStatus::Ok;  // of the reader's own rule, when it applied
  InkImage ink{1, 1};
  std::int32_t levels = -1;  // nearest-black: the image's levels, up to 17, for the advice
};

std::int32_t count_levels(ImageReader& reader) {
  ImageStatus status = ImageStatus::Ok;
  return scan::count_grey_levels([&](const GreyRowSink& sink) { return reader.read_grey_rows(sink); },
                                 scan::kFewGreyLevels + 1, status);
}

InkRowSink into(InkImage& ink) {
  return [&ink](std::int32_t r, std::span<const std::uint64_t> row) {
    std::copy(row.begin(), row.end(), ink.row(r).begin());
    return true;
  };
}

// As the conversion read grey images before their decoding had a thread of its own.
Read read_on_one_thread(const std::string& path, const scan::ThresholdMode& chosen) {
  Read read;
  const std::unique_ptr<ImageReader> reader = make_image_reader(path);
  EXPECT_EQ(reader->open(path), ImageStatus::Ok);
  const ImageInfo& info = reader->info();
  read.ink = InkImage(info.width, info.height);
  const bool grey = reader->has_grey_levels();
  read.mode = scan::mode_for_image(
      chosen, info, grey,
      scan::rule_counts_grey_levels(chosen, info, grey) ? scan::first_rows_grey_levels(*reader) : 0);
  if (read.mode.rule == scan::ThresholdRule::NearestBlack) {
    read.ink_status = reader->read_rows(into(read.ink));
    read.levels = count_levels(*reader);
  } else {
    read.outcome = scan::apply_threshold(
        read.mode, info.width, info.height, [&](const GreyRowSink& sink) { return reader->read_grey_rows(sink); },
        into(read.ink), info.x_dpi);
  }
  return read;
}

Read read_once(const std::string& path, const scan::ThresholdMode& chosen) {
  Read read;
  const std::unique_ptr<ImageReader> reader = make_image_reader(path);
  EXPECT_EQ(reader->open(path), ImageStatus::Ok);
  read.ink = InkImage(reader->info().width, reader->info().height);
  const scan::GreyReading reading = scan::read_with_rule(*reader, chosen, into(read.ink));
  read.mode = reading.mode;
  read.outcome = reading.outcome;
  if (read.mode.rule == scan::ThresholdRule::NearestBlack) {
    read.ink_status = reading.ink_read ? reading.outcome.status : reader->read_rows(into(read.ink));
    read.levels = reading.ink_read ? reading.levels : count_levels(*reader);
  }
  return read;
}

std::int64_t ink_pixels(const InkImage& ink) {
  std::int64_t n = 0;
  for (std::int32_t y = 0; y < ink.height; ++y)
    for (const std::uint64_t word : ink.row(y)) n += std::popcount(word);
  return n;
}

TEST(GreyReading, OnceOnTwoThreadsAsOnOneForEveryRuleAndReader) {
  // Wider than a band of rows holds (1 MiB), so that bands follow each other.
  const InkImage drawing = testing::scan_drawing(1100, 1000, 3, true);
  testing::ScanLook look;
  look.light_falloff = 0.35;
  look.noise = 6;
  look.dust = 40;
  const testing::ScanImage scan = testing::degrade(drawing, look);
  // A clean margin above the scan: the first rows show a drawing's few levels.
  testing::ScanImage margin = scan;
  std::fill(margin.pixels.begin(), margin.pixels.begin() + 80 * margin.width, std::uint8_t{255});
  ScratchFolder folder;
  struct File {
    const char* name;
    std::function<bool(const std::string&)> write;
  };
  const std::vector<File> files = {
      {"png grey 8", [&](const std::string& p) { return write_png(p, raw_from_scan(scan, PixelKind::Grey), {}); }},
      {"png grey 4", [&](const std::string& p) { return write_png(p, raw_from_scan(scan, PixelKind::Grey, 4), {}); }},
      {"png palette", [&](const std::string& p) { return write_png(p, raw_from_scan(scan, PixelKind::Palette), {}); }},
      {"png grey 8, clean margin",
       [&](const std::string& p) { return write_png(p, raw_from_scan(margin, PixelKind::Grey), {}); }},
      {"tiff grey 8 LZW",
       [&](const std::string& p) {
         return write_tiff(p, raw_from_scan(scan, PixelKind::Grey), {.compression = TiffCompression::Lzw});
       }},
      {"jpeg grey q90",
       [&](const std::string& p) {
         const std::vector<std::uint8_t> bytes = encode_jpeg(raw_from_scan(scan, PixelKind::Grey), {});
         std::ofstream(p, std::ios::binary)
             .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
         return !bytes.empty();
       }},
      {"bmp 8-bit, bottom up", [&](const std::string& p) { return write_scan_bmp(p, scan, 8); }},
  };
  const std::vector<scan::ThresholdMode> rules = {{scan::ThresholdRule::ByFormat}, {scan::ThresholdRule::NearestBlack},
                                                  {scan::ThresholdRule::Auto},     {scan::ThresholdRule::Otsu},
                                                  {scan::ThresholdRule::Adaptive}, {scan::ThresholdRule::Level, 140}};
  for (const File& file : files) {
    const std::string path = folder.path("scan");
    ASSERT_TRUE(file.write(path)) << file.name;
    for (const scan::ThresholdMode& rule : rules) {
      SCOPED_TRACE(std::string(file.name) + ", " + scan::threshold_mode_text(rule));
      const Read reference = read_on_one_thread(path, rule);
      const Read once = read_once(path, rule);
      // Where no second thread can be had, the reading on one.
      refuse_threads_for_testing(true);
      const Read without_thread = read_once(path, rule);
      refuse_threads_for_testing(false);
      EXPECT_EQ(without_thread.mode, reference.mode);
      EXPECT_EQ(without_thread.outcome.threshold, reference.outcome.threshold);
      EXPECT_EQ(once.mode, reference.mode);
      EXPECT_EQ(once.outcome.status, reference.outcome.status);
      EXPECT_EQ(once.outcome.threshold, reference.outcome.threshold);
      EXPECT_EQ(once.ink_status, reference.ink_status);
      EXPECT_EQ(once.levels, reference.levels);
      // Every rule but the darkest value finds the drawing's ink.
      if (reference.mode.rule != scan::ThresholdRule::NearestBlack) {
        EXPECT_GT(ink_pixels(reference.ink), 10000);
      }
      bool same = true;
      for (std::int32_t y = 0; y < reference.ink.height; ++y) {
        same = same && std::ranges::equal(once.ink.row(y), reference.ink.row(y)) &&
               std::ranges::equal(without_thread.ink.row(y), reference.ink.row(y));
      }
      EXPECT_TRUE(same);
    }
  }
}

TEST(GreyReading, ADamagedFileFailsAsOnOneThread) {
  const testing::ScanImage scan = testing::degrade(testing::scan_drawing(900, 700, 5, false), {});
  ScratchFolder folder;
  const std::string whole = folder.path("whole.png"), cut = folder.path("cut.png");
  ASSERT_TRUE(write_png(whole, raw_from_scan(scan, PixelKind::Grey), {}));
  std::vector<std::uint8_t> bytes = read_bytes(whole);
  bytes.resize(bytes.size() * 2 / 3);
  std::ofstream(cut, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const std::size_t threads_before = testing::live_threads_before_work();
  for (const scan::ThresholdMode rule :
       {scan::ThresholdMode{scan::ThresholdRule::ByFormat}, scan::ThresholdMode{scan::ThresholdRule::Otsu}}) {
    const Read once = read_once(cut, rule);
    EXPECT_EQ(once.mode, read_on_one_thread(cut, rule).mode);
    EXPECT_EQ(once.outcome.status, ImageStatus::Unreadable);
    EXPECT_EQ(testing::live_threads_settled(threads_before), threads_before);
  }
}

}  // namespace
}  // namespace vp::testing_imageio
