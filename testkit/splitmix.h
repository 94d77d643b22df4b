// splitmix64: a small, fast generator that gives the same numbers on every
// platform and standard library, so generated drawings and tables are reproducible.
#pragma once

#include <cstdint>
#include <vector>

namespace vp {

class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
  double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  // lo..hi inclusive.
  std::int32_t integer(std::int32_t lo, std::int32_t hi) {
    if (hi <= lo) return lo;
    const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo) + 1;
    return static_cast<std::int32_t>(lo + static_cast<std::int64_t>(next() % span));
  }
  bool chance(double p) { return uniform() < p; }
  template <class T>
  const T& pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(integer(0, static_cast<std::int32_t>(items.size()) - 1))];
  }

 private:
  std::uint64_t state_;
};

}  // namespace vp
