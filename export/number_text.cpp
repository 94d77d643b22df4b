#include "export/number_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <system_error>

namespace vp {

namespace {

constexpr std::array<std::uint64_t, 20> kPow10 = [] {
  std::array<std::uint64_t, 20> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}();

// Significant digits the product is first taken to.
constexpr int kSignificant = 18;

int digit_count(std::uint64_t v) {
  int n = 1;
  while (n < 20 && v >= kPow10[static_cast<std::size_t>(n)]) ++n;
  return n;
}

// Writes the scaled integer R = round(|v| × 10^decimals), given as decimal
// digits, as the final text: the point goes before the last `decimals` digits.
std::size_t emit_digits(bool negative, const char* digits, std::size_t len, int decimals, char* out) {
  while (len > 0 && *digits == '0') {
    ++digits;
    --len;
  }
  // A value that prints as zero has no sign: "-0.00" would claim a direction
  // the printed precision cannot show.
  if (len == 0) negative = false;
  const std::size_t d = static_cast<std::size_t>(decimals);
  const std::size_t total = std::max(len, d + 1);
  char* p = out;
  if (negative) *p++ = '-';
  const std::size_t int_len = total - d;
  for (std::size_t i = 0; i < total; ++i) {
    if (i == int_len) *p++ = '.';
    const std::size_t pad = total - len;
    *p++ = i < pad ? '0' : digits[i - pad];
  }
  return static_cast<std::size_t>(p - out);
}

std::size_t emit_u64(bool negative, std::uint64_t r, int decimals, char* out) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, r);
  return emit_digits(negative, buf, static_cast<std::size_t>(res.ptr - buf), decimals, out);
}

// A non-negative integer of up to 16 × 32 bits: enough for 2^55 × 5^149 (the
// smallest float) and for 2^55 × 2^104 (the largest).
class BigUint {
 public:
  explicit BigUint(std::uint64_t v) {
    limb_[0] = static_cast<std::uint32_t>(v);
    limb_[1] = static_cast<std::uint32_t>(v >> 32);
    size_ = limb_[1] != 0 ? 2 : (limb_[0] != 0 ? 1 : 0);
  }

  void multiply(std::uint32_t m) {
    std::uint64_t carry = 0;
    for (int i = 0; i < size_; ++i) {
      const std::uint64_t t = std::uint64_t{limb_[i]} * m + carry;
      limb_[i] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    if (carry != 0) limb_[size_++] = static_cast<std::uint32_t>(carry);
  }

  void shift_left(int bits) {
    const int words = bits / 32;
    const int rest = bits % 32;
    if (size_ == 0) return;
    std::array<std::uint32_t, kLimbs> shifted{};
    for (int i = 0; i < size_; ++i) {
      const std::uint64_t v = std::uint64_t{limb_[i]} << rest;
      shifted[i + words] |= static_cast<std::uint32_t>(v);
      if (i + words + 1 < kLimbs) shifted[i + words + 1] |= static_cast<std::uint32_t>(v >> 32);
    }
    limb_ = shifted;
    size_ = std::min(size_ + words + 1, kLimbs);
    trim();
  }

  // Divides in place and returns the remainder.
  std::uint32_t divide(std::uint32_t d) {
    std::uint64_t rem = 0;
    for (int i = size_ - 1; i >= 0; --i) {
      const std::uint64_t cur = (rem << 32) | limb_[i];
      limb_[i] = static_cast<std::uint32_t>(cur / d);
      rem = cur % d;
    }
    trim();
    return static_cast<std::uint32_t>(rem);
  }

  bool zero() const { return size_ == 0; }

 private:
  static constexpr int kLimbs = 16;
  void trim() {
    while (size_ > 0 && limb_[size_ - 1] == 0) --size_;
  }
  std::array<std::uint32_t, kLimbs> limb_{};
  int size_ = 0;
};

// Increments the decimal digit string d[0..len) by one unit in its last place;
// returns true when a carry runs out of the front (all digits became 0).
bool increment_digits(char* d, std::size_t len) {
  for (std::size_t i = len; i-- > 0;) {
    if (d[i] != '9') {
      ++d[i];
      return false;
    }
    d[i] = '0';
  }
  return true;
}

}  // namespace

CoordinateFormatter::CoordinateFormatter(float rate, int decimals)
    : rate_(rate),
      decimals_(std::clamp(decimals, 0, kMaxDecimals)),
      finite_(std::isfinite(rate)),
      rate_negative_(std::signbit(rate)),
      mantissa_(0),
      exponent_(0) {
  if (!finite_) return;
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(rate);
  const std::uint32_t biased = (bits >> 23) & 0xFFu;
  const std::uint32_t fraction = bits & 0x7FFFFFu;
  if (biased == 0) {
    mantissa_ = fraction;
    exponent_ = -149;
  } else {
    mantissa_ = fraction | 0x800000u;
    exponent_ = static_cast<int>(biased) - 150;
  }
  // An odd mantissa keeps the shifts of the fast path as short as they can be.
  if (mantissa_ != 0) {
    const int tz = std::countr_zero(mantissa_);
    mantissa_ >>= tz;
    exponent_ += tz;
  } else {
    exponent_ = 0;
  }
}

std::size_t CoordinateFormatter::write_non_finite(std::int32_t c, char* out) const {
  std::string_view s;
  if (std::isnan(rate_) || c == 0) {
    s = "nan";
  } else {
    s = ((c < 0) != rate_negative_) ? "-inf" : "inf";
  }
  std::copy(s.begin(), s.end(), out);
  return s.size();
}

std::size_t CoordinateFormatter::write(std::int32_t c, char* out) const {
  if (!finite_) return write_non_finite(c, out);
  const std::uint64_t magnitude =
      c < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
  const bool negative = (c < 0) != rate_negative_;
  // |c| < 2^31 and the mantissa < 2^24: the product is exact in 64 bits, as it
  // is in the extended type.
  const std::uint64_t n = magnitude * mantissa_;
  if (n == 0) return emit_u64(false, 0, decimals_, out);

#ifdef __SIZEOF_INT128__
  __extension__ typedef unsigned __int128 u128;
  const std::uint64_t scale = kPow10[static_cast<std::size_t>(decimals_)];
  if (exponent_ >= 0) {
    // An integer product: with fewer than 18 digits nothing is rounded.
    if (exponent_ <= 20) {
      const u128 t = (u128{n} * scale) << exponent_;
      if (t < kPow10[17]) return emit_u64(negative, static_cast<std::uint64_t>(t), decimals_, out);
    }
  } else if (exponent_ >= -66) {
    // |v| × 10^decimals = q + r / 2^k exactly. With q below 10^17, the 18
    // significant digits reach p places into the fraction of that scaled value,
    // so the two roundings come down to one question: does the fraction, taken
    // to p places with ties to even, reach one half?
    const int k = -exponent_;
    const u128 t = u128{n} * scale;
    const u128 q = t >> k;
    if (q < kPow10[17]) {
      const u128 r = t & ((u128{1} << k) - 1);
      const std::uint64_t q64 = static_cast<std::uint64_t>(q);
      const int p = q64 == 0 ? kSignificant : kSignificant - digit_count(q64);
      const std::uint64_t pp = kPow10[static_cast<std::size_t>(p)];
      // round_even(r / 2^k × 10^p) >= 10^p / 2  <=>  2 r 10^p > (10^p - 1) 2^k,
      // or equality (a tie) resolved upwards when 10^p / 2 is even (p >= 2).
      const u128 lhs = r * (2 * pp);
      const u128 rhs = u128{pp - 1} << k;
      const bool up = lhs > rhs || (lhs == rhs && p >= 2);
      return emit_u64(negative, q64 + (up ? 1 : 0), decimals_, out);
    }
  } else {
    // A tiny product: below 1/16 of the last printed place it prints as zero
    // (its 18 significant digits stay below 0.1 of that place).
    const int k = -exponent_;
    const u128 t = u128{n} * scale;
    if (k - 4 >= 128 || (t >> (k - 4)) == 0) return emit_u64(false, 0, decimals_, out);
  }
#endif
  return write_slow(negative, n, out);
}

// The exact decimal expansion of n × 2^exponent, rounded as the literal rule says.
std::size_t CoordinateFormatter::write_slow(bool negative, std::uint64_t n, char* out) const {
  BigUint big(n);
  int point_shift = 0;  // the value is big × 10^(-point_shift)
  if (exponent_ >= 0) {
    big.shift_left(exponent_);
  } else {
    // n / 2^k = n × 5^k / 10^k
    int k = -exponent_;
    point_shift = k;
    constexpr std::uint32_t kFive13 = 1220703125u;  // 5^13
    for (; k >= 13; k -= 13) big.multiply(kFive13);
    std::uint32_t rest = 1;
    for (; k > 0; --k) rest *= 5;
    big.multiply(rest);
  }

  // Decimal digits, most significant first.
  std::array<char, 192> digits{};
  std::size_t len = 0;
  {
    std::array<std::uint32_t, 24> chunks{};
    std::size_t count = 0;
    while (!big.zero()) chunks[count++] = big.divide(1'000'000'000u);
    for (std::size_t i = count; i-- > 0;) {
      char buf[10];
      const auto res = std::to_chars(buf, buf + sizeof buf, chunks[i]);
      const std::size_t w = static_cast<std::size_t>(res.ptr - buf);
      const std::size_t pad = (i + 1 == count) ? 0 : 9 - w;
      for (std::size_t z = 0; z < pad; ++z) digits[len++] = '0';
      for (std::size_t z = 0; z < w; ++z) digits[len++] = buf[z];
    }
  }
  // digit i weighs 10^(point - 1 - i)
  int point = static_cast<int>(len) - point_shift;

  // First rounding: 18 significant digits, to nearest, ties to even.
  if (len > static_cast<std::size_t>(kSignificant)) {
    const char first = digits[kSignificant];
    bool up = first > '5';
    if (first == '5') {
      bool rest_nonzero = false;
      for (std::size_t i = kSignificant + 1; i < len; ++i) rest_nonzero |= digits[i] != '0';
      up = rest_nonzero || ((digits[kSignificant - 1] - '0') % 2 == 1);
    }
    len = kSignificant;
    if (up && increment_digits(digits.data(), len)) {
      digits[0] = '1';  // 999... became 1000...: one more integer place
      ++point;
    }
  }

  // Second rounding: half away from zero at the last printed digit.
  const int keep = point + decimals_;
  if (keep < 0) return emit_u64(false, 0, decimals_, out);
  std::array<char, 200> r{};
  const std::size_t keep_len = static_cast<std::size_t>(keep);
  for (std::size_t i = 0; i < keep_len; ++i) r[i + 1] = i < len ? digits[i] : '0';
  r[0] = '0';  // room for a carry out of the front
  const bool up = keep_len < len && digits[keep_len] >= '5';
  if (up) increment_digits(r.data(), keep_len + 1);
  return emit_digits(negative, r.data(), keep_len + 1, decimals_, out);
}

std::string CoordinateFormatter::text(std::int32_t c) const {
  char buf[kMaxChars];
  return std::string(buf, write(c, buf));
}

std::string CoordinateText(std::int32_t c, float rate, int decimals) {
  return CoordinateFormatter(rate, decimals).text(c);
}

RealFormatter::RealFormatter(float rate, int decimals)
    : rate_(static_cast<double>(rate)), decimals_(std::clamp(decimals, 0, CoordinateFormatter::kMaxDecimals)) {}

std::size_t RealFormatter::write(double v, char* out) const {
  if (std::isnan(v)) v = std::fabs(v);  // "nan" whatever its sign bit
  const auto [end, ec] = std::to_chars(out, out + kMaxChars, v, std::chars_format::fixed, decimals_);
  if (ec != std::errc()) return 0;  // cannot happen: kMaxChars holds any double
  std::size_t len = static_cast<std::size_t>(end - out);
  // "-0.00" would claim a direction the printed precision cannot show.
  if (out[0] == '-' && std::all_of(out + 1, end, [](char c) { return c == '0' || c == '.'; })) {
    std::copy(out + 1, end, out);
    --len;
  }
  return len;
}

std::string RealFormatter::text(double v) const {
  char buf[kMaxChars];
  return std::string(buf, write(v, buf));
}

std::string RealText(double v, int decimals) { return RealFormatter(1, decimals).text(v); }

namespace {

// A decimal text as a sign and the digits of its magnitude, the point dropped.
struct Decimal {
  bool negative = false;
  std::string digits;  // most significant first, no leading zeros ("" for zero)
  std::size_t decimals = 0;
};

Decimal parse_decimal(std::string_view text) {
  Decimal d;
  if (!text.empty() && text.front() == '-') {
    d.negative = true;
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  if (point != std::string_view::npos) d.decimals = text.size() - point - 1;
  for (const char c : text)
    if (c != '.') d.digits.push_back(c);
  d.digits.erase(0, std::min(d.digits.find_first_not_of('0'), d.digits.size()));
  if (d.digits.empty()) d.negative = false;
  return d;
}

int compare_magnitudes(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

// |a| + |b| and |a| - |b| (for |a| >= |b|), on digit strings.
std::string add_magnitudes(const std::string& a, const std::string& b) {
  std::string sum;
  int carry = 0;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry != 0; ++i) {
    const int da = i < a.size() ? a[a.size() - 1 - i] - '0' : 0;
    const int db = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
    const int s = da + db + carry;
    sum.push_back(static_cast<char>('0' + s % 10));
    carry = s / 10;
  }
  std::reverse(sum.begin(), sum.end());
  return sum;
}

std::string subtract_magnitudes(const std::string& a, const std::string& b) {
  std::string difference;
  int borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    int d = (a[a.size() - 1 - i] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
    borrow = d < 0 ? 1 : 0;
    if (d < 0) d += 10;
    difference.push_back(static_cast<char>('0' + d));
  }
  while (difference.size() > 1 && difference.back() == '0') difference.pop_back();
  std::reverse(difference.begin(), difference.end());
  return difference;
}

std::string format_decimal(bool negative, std::string digits, std::size_t decimals) {
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  const bool zero = digits.empty();
  if (digits.size() < decimals + 1) digits.insert(0, decimals + 1 - digits.size(), '0');
  if (decimals > 0) digits.insert(digits.size() - decimals, 1, '.');
  return (negative && !zero ? "-" : "") + digits;
}

}  // namespace

std::string decimal_difference(std::string_view a, std::string_view b) {
  const Decimal x = parse_decimal(a);
  Decimal y = parse_decimal(b);
  y.negative = !y.negative && !y.digits.empty();  // a - b = a + (-b)
  if (x.negative == y.negative) {
    return format_decimal(x.negative, add_magnitudes(x.digits, y.digits), x.decimals);
  }
  if (compare_magnitudes(x.digits, y.digits) >= 0) {
    return format_decimal(x.negative, subtract_magnitudes(x.digits, y.digits), x.decimals);
  }
  return format_decimal(y.negative, subtract_magnitudes(y.digits, x.digits), x.decimals);
}

std::string negated_decimal(std::string_view text) {
  const Decimal d = parse_decimal(text);
  return format_decimal(!d.negative && !d.digits.empty(), d.digits, d.decimals);
}

bool decimal_is_zero(std::string_view text) { return parse_decimal(text).digits.empty(); }

std::string decimal_one(int decimals) {
  const auto d = static_cast<std::size_t>(std::max(decimals, 0));
  return format_decimal(false, "1" + std::string(d, '0'), d);
}

std::string shortest_magnitude_text(float v) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v), std::chars_format::fixed);
  if (ec != std::errc()) return "1";
  return std::string(buffer, end);
}

}  // namespace vp
