// Fitting lines and circles to pixels. Sums are taken in double after shifting
// the pixels to a local origin, lines are a point and a unit direction, and a fit
// either holds every point within the tolerance, by true distance, or says why not.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cad/cad_drawing.h"

namespace vp::cad {

struct Pixel {
  std::int32_t x = 0, y = 0;
  friend bool operator==(const Pixel&, const Pixel&) = default;
};

// sqrt(x² + y²): std::hypot guards against overflow that pixel coordinates never
// reach, and costs several times as much.
inline double length_of(double x, double y) { return std::sqrt(x * x + y * y); }

inline Point to_point(Pixel p) { return {static_cast<double>(p.x), static_cast<double>(p.y)}; }

// A carrier line: a point on it and a unit direction.
struct LineFit {
  Point origin;
  Point direction;
};

struct CircleFit {
  Point centre;
  double radius = 0;
};

enum class FitFailure { TooFewPoints, Collinear, OutOfTolerance, OutOfRange };

template <class Fit>
struct FitResult {
  std::optional<Fit> fit;
  FitFailure failure = FitFailure::TooFewPoints;  // when there is no fit
  explicit operator bool() const { return fit.has_value(); }
};

// Prefix sums over a run of pixel centres, shifted to the run's first pixel, so that any
// stretch of it can be fitted in constant time.
class PixelSums {
 public:
  explicit PixelSums(std::span<const Point> pixels);
  // The total least-squares line through pixels [first, last] (inclusive).
  std::optional<LineFit> line(std::size_t first, std::size_t last) const;
  // The algebraic (Kåsa) circle through pixels [first, last].
  std::optional<CircleFit> circle(std::size_t first, std::size_t last) const;

 private:
  struct Sums {
    double n = 0, x = 0, y = 0, xx = 0, xy = 0, yy = 0, xz = 0, yz = 0;  // z = x² + y²
  };
  Sums range(std::size_t first, std::size_t last) const;
  Point origin_;
  std::vector<Sums> prefix_;
};

double distance_to_line(Point p, const LineFit& line);
double distance_to_circle(Point p, const CircleFit& circle);

// The largest distance of pixels [first, last] from the carrier; stops early
// (returning a value above `limit`) once one is further than `limit`.
double max_distance(std::span<const Point> pixels, std::size_t first, std::size_t last, const LineFit& line,
                    double limit);
double max_distance(std::span<const Point> pixels, std::size_t first, std::size_t last, const CircleFit& circle,
                    double limit);

// Lines: total least squares; accepted when every point is within `tolerance`.
FitResult<LineFit> fit_line(std::span<const Point> points, double tolerance);
// The same for two runs of points taken together.
FitResult<LineFit> fit_line(std::span<const Point> points, std::span<const Point> more, double tolerance);
// Circles: the algebraic fit refined geometrically (Gauss-Newton on the true
// distances); accepted when every point is within `tolerance` and the radius is
// within [min_radius, max_radius]. Collinear points are refused before any circle
// is made.
FitResult<CircleFit> fit_circle(std::span<const Point> points, double tolerance, double min_radius, double max_radius);
// The same refinement from a first guess, on pixels [first, last] of a run.
CircleFit refine_circle(std::span<const Point> pixels, std::size_t first, std::size_t last, CircleFit guess);

}  // namespace vp::cad
