// AveLine: is a chain of points still straight enough to become one line?
//
// For a chain P1 .. Pn (n >= 3) the inner points P2 .. Pn-1 are measured against
// the line through P1 and Pn:
//  - Xn = X1 (vertical, Pn = P1 included): bent when some |Xk - X1| > tolerance;
//  - otherwise Yn = Y1 (horizontal): bent when some |Yk - Y1| > tolerance;
//  - otherwise, with slope a = (Yn - Y1) / (Xn - X1), intercept b = Y1 - a X1 and
//    perpendicular slope c = -1 / a, each inner point's foot (u, v) on the line and
//    its distance d are
//        t = Yk - c Xk,  u = (t - b) / (a - c),  v = a u + b,
//        d = sqrt((Xk - u)^2 + (Yk - v)^2),
//    and the chain is bent when some d > tolerance (a distance equal to the
//    tolerance is accepted).
// a, b, c, t, u, v and d are rounded to 32-bit floats as soon as they are computed;
// everything in between (differences, products, squares, their sum, the square
// root) is computed in double. Double rather than long double: it gives the same
// bits on every platform and compiler, where long double is 64, 80 or 128 bits.
// The build turns off the contraction of a * b + c into one fused operation, which
// would skip a rounding.
//
// Measuring every inner point again for each segment a chain gains makes a chain of
// k segments cost k^2 / 2 measurements. ChainStraightness keeps, for the inner
// points seen so far, their bounding box and their convex hull:
//  - the two axis-parallel cases need only the extreme coordinates;
//  - otherwise the farthest inner point from the line, in exact geometry, is a hull
//    vertex. Rounding moves a point's computed d away from its true distance by at
//    most a bound E that follows from the magnitudes of a, b, c and of the
//    coordinates (see chain_straightness.cpp). When the farthest true distance plus
//    E is below the tolerance, no inner point can measure beyond it and the answer
//    is "straight" without measuring any. Otherwise every inner point is measured
//    as above, so the answer is always the one of the point-by-point measurement.
// A chain breaks soon after its farthest point nears the tolerance, so the full
// measurement runs about once per chain.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vector/end_point_index.h"

namespace vp {

// The point-by-point measurement of a whole chain (n < 3 gives false).
bool chain_bent_measuring_every_point(std::span<const GridPoint> chain, float tolerance);

class ChainStraightness {
 public:
  explicit ChainStraightness(float tolerance) : tolerance_(tolerance) {}

  // The chain starts again from one point: forget the inner points seen.
  void restart();

  // AveLine of `chain` (P1 .. Pn). Between restarts, each call's chain must extend
  // the previous call's chain without its last point: the same first n - 1 points
  // or more, which is how a chain grows (its last point is the one under test).
  bool bent(std::span<const GridPoint> chain);

  // Statistics: tests answered by measuring every inner point, and points measured so.
  std::int64_t full_measurements() const { return full_measurements_; }
  std::int64_t points_measured() const { return points_measured_; }

 private:
  void fold(GridPoint p);
  bool certainly_straight(float a, float b, float c) const;

  float tolerance_;
  std::size_t folded_ = 0;  // inner points folded in: chain[1 .. folded_]
  std::int32_t min_x_ = 0, max_x_ = 0, min_y_ = 0, max_y_ = 0;
  bool hull_usable_ = true;
  std::vector<GridPoint> hull_;  // counter-clockwise, no repeated point
  std::vector<GridPoint> scratch_;
  std::int64_t full_measurements_ = 0;
  std::int64_t points_measured_ = 0;
};

}  // namespace vp
