// Rows decoded on a second thread: the same rows in the same order as a reading
// on one thread, and every way a reading ends leaves no thread behind.
#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <thread>
#include <vector>

#include "scan/decoding_thread.h"
#include "support/live_threads.h"

namespace vp::scan {
namespace {

struct Ending {
  const char* name;
  std::int32_t width, height;
  std::int32_t fail_after = -1;   // the source ends Unreadable after this many rows
  std::int32_t throw_after = -1;  // the source throws std::bad_alloc after this many rows
  std::int32_t sink_stops_at = -1;
  bool keep_going = true;   // what the wait asks
  ImageStatus status;       // what the reading returns
  std::int32_t rows_taken;  // rows the sink gets
  bool thrown = false;
};

TEST(DecodingThread, EndsLikeAReadingOnOneThreadAndLeavesNoThread) {
  // 2 MiB rows hold one row a band; 70-pixel rows many: both fill and drain several bands.
  const std::int32_t wide = 1 << 21;
  const std::vector<Ending> endings = {
      {"every row, many a band", 70, 40000, -1, -1, -1, true, ImageStatus::Ok, 40000},
      {"every row, one a band", wide, 12, -1, -1, -1, true, ImageStatus::Ok, 12},
      {"a damaged file", 70, 40000, 25000, -1, -1, true, ImageStatus::Unreadable, 25000},
      {"a damaged file, one row a band", wide, 12, 7, -1, -1, true, ImageStatus::Unreadable, 7},
      {"no memory", 70, 40000, -1, 30000, -1, true, ImageStatus::Ok, 30000, true},
      {"the clean-up stops", 70, 40000, -1, -1, 17000, true, ImageStatus::Ok, 17001},
      {"the clean-up stops at once", wide, 12, -1, -1, 0, true, ImageStatus::Ok, 1},
      {"Ctrl-C while waiting", 70, 40000, -1, -1, -1, false, ImageStatus::Ok, -1},
  };
  const std::size_t threads_before = testing::live_threads_before_work();
  for (const Ending& e : endings) {
    SCOPED_TRACE(e.name);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(e.width));
    std::int32_t decoded = 0;
    DecodingStop stop;
    const GreySource source = [&](const GreyRowSink& sink) {
      for (std::int32_t y = e.height - 1; y >= 0; --y, ++decoded) {  // bottom up, as BMP files
        if (decoded == e.fail_after) return ImageStatus::Unreadable;
        if (decoded == e.throw_after) throw std::bad_alloc();
        // Slow enough, when Ctrl-C comes, for the wait to ask about it.
        if (!e.keep_going && decoded % 64 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        row.front() = static_cast<std::uint8_t>(y);
        row.back() = static_cast<std::uint8_t>(y * 7);
        if (!sink(y, row)) break;
      }
      return ImageStatus::Ok;
    };
    std::int32_t taken = 0;
    bool in_order = true;
    bool thrown = false;
    ImageStatus status = ImageStatus::Unreadable;
    try {
      status = decoded_on_own_thread(
          source, e.width, [&] { return e.keep_going; },
          &stop)([&](std::int32_t y, std::span<const std::uint8_t> grey) {
        const std::int32_t expected = e.height - 1 - taken;
        in_order = in_order && y == expected && grey.size() == row.size() &&
                   grey.front() == static_cast<std::uint8_t>(y) && grey.back() == static_cast<std::uint8_t>(y * 7);
        return taken++ != e.sink_stops_at;
      });
    } catch (const std::bad_alloc&) {
      thrown = true;
    }
    EXPECT_EQ(testing::live_threads_settled(threads_before), threads_before);
    EXPECT_EQ(thrown, e.thrown);
    if (!e.thrown) {
      EXPECT_EQ(status, e.status);
    }
    EXPECT_TRUE(in_order);
    if (e.rows_taken >= 0) {
      EXPECT_EQ(taken, e.rows_taken);
    } else {  // stopped while waiting: fewer rows than the image, and the reader told
      EXPECT_LT(taken, e.height);
      EXPECT_LT(decoded, e.height);
    }
    EXPECT_EQ(stop.requested(), e.sink_stops_at >= 0 || !e.keep_going);
  }
}

}  // namespace
}  // namespace vp::scan
