// The scale calculator's arithmetic: single-precision inputs and result, the
// quotient taken in the extended type, eight decimals with a point.
#include "core/scale.h"

#include <gtest/gtest.h>

#include <optional>

namespace vp {
namespace {

TEST(Scale, ResultTextFromTheTwoBoxes) {
  struct Case {
    const char* scale;
    const char* resolution;
    std::optional<std::string> shown;  // nothing: the calculator keeps what it showed
  };
  const Case cases[] = {
      {"100", "100", "25.39999962"},  // 25.4 held as a float
      {"100", "400", "6.34999990"},       {"50", "300", "4.23333311"},    {"1", "3", "8.46666622"},
      {"100", "72", "35.27777863"},       {"-100", "400", "-6.34999990"}, {"1e2", "4.0E2", "6.34999990"},
      {" 100 ", "\t400\n", "6.34999990"},  // white space around the numbers
      {"100", "0", std::nullopt},         {"100", "-0.0", std::nullopt},  {"100", "", std::nullopt},
      {"abc", "400", std::nullopt},       {"100", "4x", std::nullopt},    {"100", "400 dpi", std::nullopt},
      {"100", "1,5", std::nullopt},  // the point is "." whatever the locale
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.scale) + " / " + c.resolution);
    EXPECT_EQ(scale_result_text(c.scale, c.resolution), c.shown);
  }
}

TEST(Scale, MagnificationAndItsText) {
  EXPECT_EQ(magnification(100.0f, 400.0f), 6.35f);
  EXPECT_EQ(magnification(1.0f, 0.0f), std::nullopt);
  // Every float has a text, however large: "%.8f" never switches to an exponent.
  EXPECT_EQ(magnification_text(3.0e38f), "300000000549775575777803994281145270272.00000000");
  EXPECT_EQ(magnification_text(-1.0e-9f), "-0.00000000");
  // Far beyond the float range the result is infinite, as printf shows it.
  EXPECT_EQ(scale_result_text("3e38", "0.001"), "inf");
}

}  // namespace
}  // namespace vp
