#include "export/export_rules.h"
#include "export/formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <locale>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace vp {
namespace {

// --- Magnification ---------------------------------------------------------

TEST(ParseRate, AcceptsCompleteDecimalNumbersOnly) {
  struct Case {
    std::string text;
    std::optional<float> expected;
  };
  const float tie_above = 1.0f + std::ldexp(1.0f, -23);
  const std::vector<Case> cases = {
      {"1.0", 1.0f},
      {" 2", 2.0f},
      {"   2.5", 2.5f},
      {".5", 0.5f},
      {"5.", 5.0f},
      {"+3", 3.0f},
      {"-3", -3.0f},
      {"1e-3", 0.001f},
      {"1E3", 1000.0f},
      {"5.e2", 500.0f},
      {"2.5e+1", 25.0f},
      {"0.1", 0.1f},
      {"000123.4500", 123.45f},
      {"0", 0.0f},
      {"-0", -0.0f},
      {"3.4028234e38", std::numeric_limits<float>::max()},
      // 1 + 2^-24 is halfway between two floats: ties go to the even one.
      {"1.00000005960464477539062500", 1.0f},
      {"1.000000059604644775390625001", tie_above},
      // Below half the smallest float: a valid zero, not a range error.
      {"1e-50", 0.0f},
      {"-1e-99999999999999999999", -0.0f},
      {"0e99999999999999", 0.0f},
      {"1.4e-45", std::numeric_limits<float>::denorm_min()},
      // Invalid.
      {"2 ", std::nullopt},
      {"1,5", std::nullopt},
      {"1.5x", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"-", std::nullopt},
      {"+", std::nullopt},
      {".", std::nullopt},
      {"-.", std::nullopt},
      {"1e40", std::nullopt},
      {"-1e40", std::nullopt},
      {"3.4028236e38", std::nullopt},
      {"1e99999999999999999999", std::nullopt},
      {"1e", std::nullopt},
      {"1e+", std::nullopt},
      {"e5", std::nullopt},
      {".e5", std::nullopt},
      {"+-1", std::nullopt},
      {"--1", std::nullopt},
      {"1..2", std::nullopt},
      {"1.2.3", std::nullopt},
      {"\t1", std::nullopt},
      {"1\t", std::nullopt},
      {"1e5.0", std::nullopt},
      {"0x10", std::nullopt},
      {"inf", std::nullopt},
      {"nan", std::nullopt},
      {"１", std::nullopt},  // a full-width digit
      {std::string("1\0", 2), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text \"" + c.text + "\"");
    const std::optional<float> got = parse_rate(c.text);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (got) {
      EXPECT_EQ(*got, *c.expected);
      EXPECT_EQ(std::signbit(*got), std::signbit(*c.expected));
    }
  }
}

// --- CoordinateText: a literal reference -----------------------------------

// Decimal digit strings, most significant first.
std::string times_small(const std::string& digits, int factor) {
  std::string out(digits.size(), '0');
  int carry = 0;
  for (std::size_t i = digits.size(); i-- > 0;) {
    const int t = (digits[i] - '0') * factor + carry;
    out[i] = static_cast<char>('0' + t % 10);
    carry = t / 10;
  }
  while (carry > 0) {
    out.insert(out.begin(), static_cast<char>('0' + carry % 10));
    carry /= 10;
  }
  return out;
}

// Adds one unit in the last place; may grow by a digit.
std::string plus_one(std::string digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return digits;
    }
    digits[i] = '0';
  }
  return "1" + digits;
}

// c × rate written out exactly: the float is m × 2^q with an integer m, so the
// product is an integer times a power of two, and n / 2^k = n × 5^k / 10^k.
struct ExactDecimal {
  bool negative = false;
  std::string digits;  // no leading zeros; "" for zero
  int point = 0;       // value = 0.digits × 10^point
};

ExactDecimal exact_product(std::int32_t c, float rate) {
  int e = 0;
  const double fraction = std::frexp(static_cast<double>(rate), &e);
  const auto m = static_cast<std::int64_t>(std::ldexp(fraction, 24));
  const int q = e - 24;
  EXPECT_EQ(std::ldexp(static_cast<double>(m), q), static_cast<double>(rate));
  const std::int64_t n = static_cast<std::int64_t>(c) * m;
  // The extended type holds the product exactly; the reference is that value.
  EXPECT_EQ(static_cast<long double>(c) * static_cast<long double>(rate), std::ldexp(static_cast<long double>(n), q));
  ExactDecimal x;
  x.negative = n < 0;
  std::string d = std::to_string(n < 0 ? -n : n);
  if (d == "0") return x;
  int point = 0;
  if (q >= 0) {
    for (int i = 0; i < q; ++i) d = times_small(d, 2);
    point = static_cast<int>(d.size());
  } else {
    for (int i = 0; i < -q; ++i) d = times_small(d, 5);
    point = static_cast<int>(d.size()) + q;
  }
  x.digits = d;
  x.point = point;
  return x;
}

// Literally: 18 significant digits (nearest, ties to even), then half away
// from zero at `decimals` places, then fixed notation.
std::string reference_text(std::int32_t c, float rate, int decimals) {
  ExactDecimal x = exact_product(c, rate);
  if (x.digits.size() > 18) {
    std::string kept = x.digits.substr(0, 18);
    const std::string rest = x.digits.substr(18);
    bool up = rest[0] > '5';
    if (rest[0] == '5') {
      up = rest.find_first_not_of('0', 1) != std::string::npos || (kept.back() - '0') % 2 == 1;
    }
    if (up) {
      kept = plus_one(kept);
      if (kept.size() > 18) ++x.point;
    }
    x.digits = kept;
  }
  // The number written out with an integer part and plenty of fraction digits.
  std::string int_part;
  std::string frac_part;
  if (x.digits.empty()) {
    int_part = "0";
  } else if (x.point <= 0) {
    int_part = "0";
    frac_part = std::string(static_cast<std::size_t>(-x.point), '0') + x.digits;
  } else if (static_cast<std::size_t>(x.point) >= x.digits.size()) {
    int_part = x.digits + std::string(static_cast<std::size_t>(x.point) - x.digits.size(), '0');
  } else {
    int_part = x.digits.substr(0, static_cast<std::size_t>(x.point));
    frac_part = x.digits.substr(static_cast<std::size_t>(x.point));
  }
  frac_part.resize(frac_part.size() + static_cast<std::size_t>(decimals) + 1, '0');
  std::string kept = int_part + frac_part.substr(0, static_cast<std::size_t>(decimals));
  if (frac_part[static_cast<std::size_t>(decimals)] >= '5') kept = plus_one(kept);
  const std::size_t int_len = kept.size() - static_cast<std::size_t>(decimals);
  std::string integer = kept.substr(0, int_len);
  integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size() - 1));
  std::string text = integer;
  if (decimals > 0) text += "." + kept.substr(int_len);
  const bool zero = kept.find_first_not_of('0') == std::string::npos;
  return (x.negative && !zero ? "-" : "") + text;
}

TEST(CoordinateText, Examples) {
  struct Case {
    std::int32_t c;
    float rate;
    int decimals;
    std::string expected;
  };
  const float tenth = *parse_rate("0.1");
  const std::vector<Case> cases = {
      {1000, tenth, 8, "100.00000149"},
      {5, 0.5f, 0, "3"},  // 2.5
      {3, 0.5f, 0, "2"},  // 1.5
      {1, 0.125f, 2, "0.13"},
      {-5, 0.5f, 0, "-3"},  // away from zero below zero too
      {5, -0.5f, 0, "-3"},
      {-1, 0.125f, 2, "-0.13"},
      {-4, tenth, 0, "0"},  // -0.4: a zero carries no sign
      {-1, tenth, 0, "0"},
      {-1, 0.001f, 2, "0.00"},
      {1, -0.004f, 2, "0.00"},
      {-1, 0.005f, 2, "0.00"},  // 0.00499999988...: not a tie
      {-1, 0.125f, 0, "0"},
      {123, 0.0f, 4, "0.0000"},
      {123, -0.0f, 4, "0.0000"},
      {0, 7.5f, 1, "0.0"},
      {0, -7.5f, 0, "0"},
      {12, 1.0f, 4, "12.0000"},
      {12, 1.0f, 0, "12"},
      {12, 1.0f, 8, "12.00000000"},
      {-12, 1.0f, 1, "-12.0"},
      {7, tenth, 1, "0.7"},
      {99, 0.01f, 1, "1.0"},  // 0.99000000208...: the carry reaches the integer digit
      {-99, 0.01f, 0, "-1"},
      {std::numeric_limits<std::int32_t>::min(), 1.0f, 0, "-2147483648"},
      {std::numeric_limits<std::int32_t>::max(), 1.0f, 2, "2147483647.00"},
      // The 18-digit step then the half-away step round differently from a
      // single rounding: the exact values end in ...1374999... and ...1499...
      {1467863384, std::ldexp(12597713.0f, -27), 8, "137774062.41626138"},
      {448706456, std::ldexp(10432073.0f, -25), 8, "139502838.38997150"},
      // Exactly 1125900711624703.625: 19 digits, the 18-digit step is a tie that
      // goes to the even digit, so the result ends in 62, not 63.
      {2147483647, 524288.375f, 2, "1125900711624703.62"},
      // Beyond 18 digits only zeros follow.
      {1, 1e20f, 0, "100000002004087734000"},
      {-1, std::numeric_limits<float>::max(), 0, "-340282346638528860000000000000000000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.c) + " x " + std::to_string(c.rate) + ", " + std::to_string(c.decimals) +
                 " decimals");
    EXPECT_EQ(CoordinateText(c.c, c.rate, c.decimals), c.expected);
    EXPECT_EQ(reference_text(c.c, c.rate, c.decimals), c.expected);
  }
}

// The formatter (a 128-bit fast path and a big-integer path) against the
// literal reference on many generated products, including the extremes of the
// float range and products whose two roundings differ from a single one.
TEST(CoordinateText, MatchesExactReferenceOnGeneratedInputs) {
  std::mt19937_64 rng(20240611);
  auto pick_c = [&]() -> std::int32_t {
    switch (rng() % 5) {
      case 0:
        return static_cast<std::int32_t>(rng() % 2001) - 1000;
      case 1:
        return static_cast<std::int32_t>(rng() % 200001) - 100000;
      case 2:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(rng()));
      case 3:
        return (rng() % 2 ? 1 : -1) * static_cast<std::int32_t>(rng() % 16);
      default:
        return rng() % 2 ? std::numeric_limits<std::int32_t>::min() : std::numeric_limits<std::int32_t>::max();
    }
  };
  auto pick_rate = [&]() -> float {
    switch (rng() % 5) {
      case 0: {  // any finite float
        for (;;) {
          const float f = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
          if (std::isfinite(f)) return f;
        }
      }
      case 1: {  // a typed decimal magnification
        const std::string text =
            std::to_string(rng() % 100000) + "." + std::to_string(rng() % 1000) + "e-" + std::to_string(rng() % 6);
        return *parse_rate(text);
      }
      case 2:  // a small dyadic value: many exact ties
        return std::ldexp(static_cast<float>(rng() % 64), -static_cast<int>(rng() % 8));
      case 3:  // the ordinary range
        return std::bit_cast<float>(static_cast<std::uint32_t>(0x3A000000u + rng() % 0x0A000000u));
      default:  // scanner magnifications
        return static_cast<float>(25.4 / static_cast<double>(50 + rng() % 1200));
    }
  };
  int checked = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t c = pick_c();
    const float rate = pick_rate();
    const int decimals = static_cast<int>(rng() % (CoordinateFormatter::kMaxDecimals + 1));
    const std::string expected = reference_text(c, rate, decimals);
    ASSERT_EQ(CoordinateText(c, rate, decimals), expected)
        << c << " x " << std::hexfloat << rate << ", " << decimals << " decimals";
    ++checked;
  }

  // Products whose scaled value has 16 or 17 integer digits, where the 18-digit
  // step decides the last printed digit.
  int double_rounding_cases = 0;
  for (int i = 0; i < 20000; ++i) {
    const auto m = static_cast<float>((rng() % (1u << 23)) | (1u << 23) | 1u);
    const float rate = std::ldexp(m, -static_cast<int>(1 + rng() % 30));
    const auto c = static_cast<std::int32_t>(1 + rng() % 2147483646u);
    const long double v = static_cast<long double>(c) * rate;
    for (int decimals = 0; decimals <= 8; ++decimals) {
      const long double scaled = v * std::pow(10.0L, decimals);
      if (scaled < 1e15L || scaled >= 1e17L) continue;
      const std::int32_t signed_c = rng() % 2 ? c : -c;
      const std::string expected = reference_text(signed_c, rate, decimals);
      ASSERT_EQ(CoordinateText(signed_c, rate, decimals), expected)
          << signed_c << " x " << std::hexfloat << rate << ", " << decimals << " decimals";
      // Single rounding of the exact value, for counting the cases that matter.
      ExactDecimal x = exact_product(c, rate);
      const std::size_t pos = static_cast<std::size_t>(x.point + decimals);
      if (pos < x.digits.size()) {
        std::string single = x.digits.substr(0, pos);
        if (x.digits[pos] >= '5') single = plus_one(single);
        std::string from_expected = expected;
        std::erase(from_expected, '.');
        std::erase(from_expected, '-');
        if (single != from_expected) ++double_rounding_cases;
      }
      ++checked;
    }
  }
  EXPECT_GT(double_rounding_cases, 10);
  EXPECT_GT(checked, 30000);
}

// Reading and writing numbers must not follow a locale whose decimal point is a comma.
TEST(CoordinateText, IgnoresTheLocale) {
  // Only the numeric category is switched, in C and in C++ alike.
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const char* comma_locale = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "de_DE"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      comma_locale = name;
      break;
    }
  }
  if (comma_locale == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::locale saved_global =
      std::locale::global(std::locale(std::locale::classic(), std::locale(comma_locale), std::locale::numeric));
  const std::optional<float> rate = parse_rate("1.5");
  const std::optional<float> comma_rate = parse_rate("1,5");
  const std::string text = CoordinateText(3, 0.5f, 2);
  std::locale::global(saved_global);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(rate, 1.5f);
  EXPECT_FALSE(comma_rate.has_value());
  EXPECT_EQ(text, "1.50");
}

TEST(CoordinateText, DecimalDigitsByChoice) {
  const std::vector<std::pair<std::int32_t, int>> cases = {
      {0, 0}, {1, 1}, {2, 2},  {3, 3},   {4, 4},
      {5, 8}, {6, 0}, {-1, 0}, {100, 0}, {std::numeric_limits<std::int32_t>::min(), 0}};
  for (const auto& [index, digits] : cases) {
    EXPECT_EQ(DecimalDigits(index), digits) << "choice " << index;
  }
}

// --- Segment classification -----------------------------------------------

TEST(SegmentClassification, LayersAndShortLines) {
  struct Case {
    LineRecord r;
    float rate;
    SegmentOptions options;
    SegmentClass expected;
  };
  const SegmentOptions off{false, false, 100};
  const SegmentOptions split{true, false, 100};
  const SegmentOptions short100{false, true, 100};
  const SegmentOptions both100{true, true, 100};
  const SegmentOptions short0{true, true, 0};
  const SegmentOptions short_negative{false, true, -5};
  using SC = SegmentClass;
  const std::vector<Case> cases = {
      {{5, 7, 9, 7}, 1.0f, off, SC::Plain},
      {{5, 7, 9, 9}, 1.0f, off, SC::Plain},
      {{5, 7, 9, 7}, 1.0f, split, SC::Horizontal},
      {{5, 7, 5, 9}, 1.0f, split, SC::Vertical},
      {{5, 7, 9, 9}, 1.0f, split, SC::Oblique},
      {{5, 7, 5, 7}, 1.0f, split, SC::Vertical},  // a point is vertical
      // L = 100 mm, magnification 10.
      {{0, 0, 9, 0}, 10.0f, short100, SC::Short},   // 90 mm
      {{0, 0, 10, 0}, 10.0f, short100, SC::Plain},  // 100 mm is not less than 100
      {{0, 0, 6, 8}, 10.0f, short100, SC::Plain},   // oblique, exactly 100 mm
      {{0, 0, 6, 7}, 10.0f, short100, SC::Short},
      {{9, 0, 0, 0}, 10.0f, short100, SC::Short},  // reversed: length -90
      {{0, 9, 0, 0}, 10.0f, both100, SC::Short},   // short overrides the split
      {{0, 0, 0, 10}, 10.0f, both100, SC::Vertical},
      {{3, 3, 3, 3}, 10.0f, both100, SC::Short},  // a point has length 0
      {{0, 0, 99, 0}, 1.0f, short100, SC::Short},
      {{0, 0, 100, 0}, 1.0f, short100, SC::Plain},
      {{0, 0, 1000, 0}, -0.05f, short100, SC::Short},  // |-50| < 100
      {{0, 0, 1, 0}, 1.0f, short0, SC::Horizontal},    // L = 0: nothing is short
      {{3, 3, 3, 3}, 1.0f, short0, SC::Vertical},
      {{0, 0, 1, 1}, 1.0f, short_negative, SC::Plain},
      // Extreme coordinates: the difference does not wrap round.
      {{std::numeric_limits<std::int32_t>::min(), 0, std::numeric_limits<std::int32_t>::max(), 0},
       1.0f,
       short100,
       SC::Plain},
      // An overflowing length is infinite, so not short.
      {{0, 0, 2, 3}, std::numeric_limits<float>::max(), short100, SC::Plain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "(" << c.r.x1 << "," << c.r.y1 << ")-(" << c.r.x2 << "," << c.r.y2 << ") rate "
                                      << c.rate);
    EXPECT_EQ(classify_segment(c.r, c.rate, c.options), c.expected);
  }
}

TEST(SegmentClassification, SegmentLengthRoundsTheScaledLengthToFloat) {
  struct Case {
    LineRecord r;
    float rate;
    float expected;
  };
  const float tenth = *parse_rate("0.1");
  const std::vector<Case> cases = {
      {{0, 0, 9, 0}, 10.0f, 90.0f},
      {{9, 0, 0, 0}, 10.0f, -90.0f},
      {{0, 5, 0, -5}, 2.0f, -20.0f},
      {{0, 0, 6, 8}, 10.0f, 100.0f},
      {{6, 8, 0, 0}, 10.0f, 100.0f},
      {{1, 1, 2, 2}, 1.0f, static_cast<float>(std::sqrt(2.0L))},
      {{0, 0, 3, 0}, tenth, 0.3f},  // 0.3000000044703... rounds to the float nearest 0.3
      // The difference, 2^32 - 1, is exact; then one rounding to float.
      {{std::numeric_limits<std::int32_t>::min(), 0, std::numeric_limits<std::int32_t>::max(), 0}, 1.0f, 4294967296.0f},
      {{4, 4, 4, 4}, 3.0f, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "(" << c.r.x1 << "," << c.r.y1 << ")-(" << c.r.x2 << "," << c.r.y2 << ") rate "
                                      << c.rate);
    EXPECT_EQ(SegmentLength(c.r, c.rate), c.expected);
  }
}

// --- File names ------------------------------------------------------------

TEST(FileNames, ReplaceExtension) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"plan", ".CSV", "plan.CSV"},
      {"plan.bmp", ".TXT", "plan.TXT"},
      {"plan.v2.bmp", ".dxf", "plan.v2.dxf"},
      {"/home/a/plan.bmp", ".jwc", "/home/a/plan.jwc"},
      {"/home/a.b/plan", ".txt", "/home/a.b/plan.txt"},  // the dot of a folder is not the extension's
      {"/home/a.b/", ".txt", "/home/a.b/.txt"},
      {"plan.", ".txt", "plan.txt"},
      {".hidden", ".txt", ".txt"},
      {"", ".txt", ".txt"},
      {"写真.bmp", ".text", "写真.text"},
  };
  for (const auto& [path, ext, expected] : cases) {
    EXPECT_EQ(replace_extension(path, ext), expected) << path << " + " << ext;
  }
}

TEST(FileNames, ExtensionTables) {
  struct Case {
    int type;
    std::int32_t zahyou_ext;
    std::optional<std::string> first;
    std::optional<std::string_view> dialog, output;
  };
  const std::nullopt_t none = std::nullopt;
  const std::vector<Case> cases = {
      {1, 0, ".TXT", ".txt", ".txt"}, {1, 1, ".TEXT", ".txt", ".text"}, {1, 2, ".CSV", ".txt", ".csv"},
      {1, 3, none, ".txt", none},     {1, -1, none, ".txt", none},      {2, 0, ".DXF", ".dxf", ".dxf"},
      {2, 7, ".DXF", ".dxf", ".dxf"},  // only coordinate text looks at ZahyouExt
      {3, 2, ".JWC", ".jwc", ".jwc"}, {4, 1, ".SVG", ".svg", ".svg"},   {0, 0, none, none, none},
      {5, 0, none, none, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.type << ", ZahyouExt " << c.zahyou_ext);
    EXPECT_EQ(default_extension(c.type, c.zahyou_ext), c.first);
    EXPECT_EQ(dialog_extension(c.type), c.dialog);
    EXPECT_EQ(output_extension(c.type, c.zahyou_ext), c.output);
  }
  // The name tested for existence and the name written differ only in case.
  EXPECT_EQ(replace_extension("plan", *default_extension(1, 2)), "plan.CSV");
  EXPECT_EQ(replace_extension("plan", *output_extension(1, 2)), "plan.csv");
}

}  // namespace
}  // namespace vp
