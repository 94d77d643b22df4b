// Entities formatted on two threads come out as one thread writes them, and
// each is reported once it is written.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "export/entity_stream.h"
#include "raster/thread_start.h"

namespace vp {
namespace {

// Entities of different lengths, each telling its number.
std::size_t numbered_entity(std::size_t i, char* into) {
  std::string text = "  0\r\nLINE " + std::to_string(i) + "\r\n";
  text.append(i % 7 * 3, 'x');
  std::memcpy(into, text.data(), text.size());
  return text.size();
}

class StoppingProgress final : public Progress {
 public:
  StoppingProgress(std::int64_t total, std::int64_t stop_at) : total_(total), stop_at_(stop_at) {}
  bool report(Phase phase, std::int64_t done, std::int64_t total) override {
    in_order = in_order && phase == Phase::Save && done == reports + 1 && total == total_;
    ++reports;
    return done != stop_at_;
  }
  std::int64_t reports = 0;
  bool in_order = true;

 private:
  std::int64_t total_, stop_at_;
};

TEST(EntityStream, WrittenInOrderWithOrWithoutAHelperAndStoppedWhereAsked) {
  const std::size_t many = 5 * kLeastSharedEntities + 37;
  struct Case {
    std::size_t count;
    bool refuse_threads;
    std::int64_t stop_at;  // the report that says stop (1-based); -1 for none
  };
  const Case cases[] = {
      {many, false, -1}, {many, true, -1}, {many, false, 5000}, {many, false, static_cast<std::int64_t>(many) - 1},
      {many, true, 3},   {10, false, -1},  {0, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + (c.refuse_threads ? " entities, no thread" : " entities") + ", stop at " +
                 std::to_string(c.stop_at));
    const std::size_t written = c.stop_at < 0 ? c.count : static_cast<std::size_t>(c.stop_at);
    std::string expected;
    char entity[64];
    for (std::size_t i = 0; i < written; ++i) expected.append(entity, numbered_entity(i, entity));
    std::ostringstream out;
    StoppingProgress progress(static_cast<std::int64_t>(c.count), c.stop_at);
    refuse_threads_for_testing(c.refuse_threads);
    const bool all = write_entities(out, c.count, 64, numbered_entity, progress);
    refuse_threads_for_testing(false);
    EXPECT_EQ(all, c.stop_at < 0);
    EXPECT_EQ(out.str(), expected);
    EXPECT_EQ(progress.reports, static_cast<std::int64_t>(written));
    EXPECT_TRUE(progress.in_order);
  }
}

}  // namespace
}  // namespace vp
