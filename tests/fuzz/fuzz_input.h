// What the fuzz targets share: a reader that turns the fuzzer's bytes into numbers and curve records, the
// invariant checks that end a run with the input kept, and the comparison of two curves' shapes.
//
// Input layout, read front to back (bytes past the end read as 0, so every input decodes):
//   number: a tag byte; below 0xF0 the small value (tag - 120) / 8, 0xF0..0xFA a value from kSpecial (NaN,
//           infinities, extremes), above it the next 8 bytes as a raw double.
//   curve:  order (signed byte), pole count (byte), flags (rational 1, periodic 2, phy_closed 4, clamped 8,
//           raw knots 16), then the knots (raw: order + count numbers; else a start number and one gap byte per
//           knot, gap = byte / 32, clamped ends repeated), the poles (3 numbers each, Cartesian; weighted when
//           stored) and, when rational, one weight number per pole.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "bspline/bspline.h"
#include "tests/bspline/curve_fixtures.h"

namespace fuzz {

inline constexpr double kSpecial[] = {std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      0.0,
                                      -0.0,
                                      1e300,
                                      -1e300,
                                      1e-300,
                                      std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::max(),
                                      1e-9};

class Reader {
 public:
  Reader(const std::uint8_t *data, std::size_t size) : p_(data), end_(data + size) {}

  std::uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
  bool empty() const { return p_ >= end_; }

  double number() {
    const std::uint8_t tag = byte();
    if (tag < 0xF0) return (tag - 120) / 8.0;
    if (tag - 0xF0u < std::size(kSpecial)) return kSpecial[tag - 0xF0];
    std::uint8_t raw[8] = {};
    for (std::uint8_t &b : raw) b = byte();
    double v;
    std::memcpy(&v, raw, sizeof v);
    return v;
  }
  // A parameter: mostly a fraction of [lo, hi] (byte / 255), sometimes any number.
  double parameter(double lo, double hi) {
    const std::uint8_t b = byte();
    if (b == 0xFF) return number();
    return lo + (hi - lo) * (b / 254.0);
  }

 private:
  const std::uint8_t *p_, *end_;
};

// A curve record over owned arrays, built from the input. Arrays are sized from what the record claims, so a
// routine that reads within the claimed sizes never leaves them.
inline std::unique_ptr<TestCurve> read_curve(Reader &in, int max_poles = 64) {
  const int order = static_cast<std::int8_t>(in.byte());
  const int n = in.byte() % (max_poles + 1);
  const std::uint8_t flags = in.byte();
  const int k = order < 1 ? 1 : order;
  const int num_knots = n + k;
  std::vector<double> knots;
  if (flags & 16) {
    for (int i = 0; i < num_knots; ++i) knots.push_back(in.number());
  } else {
    double t = in.number();
    const bool clamped = flags & 8;
    for (int i = 0; i < num_knots; ++i) {
      // Clamped: the first k knots equal, the last k too, the end at least one unit on from the last gap.
      if (i > 0 && !(clamped && (i < k || i > n))) t += in.byte() / 32.0 + (clamped && i == n ? 1.0 : 0.0);
      knots.push_back(t);
    }
  }
  std::vector<double> poles(3 * static_cast<std::size_t>(n)), weights;
  for (double &p : poles) p = in.number();
  if (flags & 1)
    for (int i = 0; i < n; ++i) weights.push_back(in.number());
  auto c = std::make_unique<TestCurve>(order, poles, knots, weights);
  c->cv.order = static_cast<std::int16_t>(order);
  c->cv.periodic = (flags & 2) ? 1 : 0;
  c->cv.phy_closed = (flags & 4) ? 1 : 0;
  // FUZZ_DUMP=1 shows what a kept input decodes to.
  if (std::getenv("FUZZ_DUMP")) BSprtcv(stderr, "fuzz input", &c->cv, BSTRUE);
  return c;
}

// A curve the library should handle exactly: order 2..16, enough poles, finite non-decreasing knots with a
// non-empty active range and no knot above the order's multiplicity, finite poles and, when rational, weights
// in [1/64, 64], coordinates within 1e6 and knot gaps (where not zero) above 1e-6 of the range.
inline bool well_formed(const TestCurve &c) {
  const int k = c.order(), n = c.n();
  if (k < 2 || k > 16 || n < k) return false;
  for (double t : c.knots)
    if (!std::isfinite(t) || std::fabs(t) > 1e6) return false;
  const double range = c.end() - c.start();
  if (!(range > 1e-3)) return false;
  int mult = 1;
  for (std::size_t i = 1; i < c.knots.size(); ++i) {
    const double gap = c.knots[i] - c.knots[i - 1];
    if (gap < 0) return false;
    if (gap > 0 && gap < 1e-6 * range) return false;
    mult = gap == 0 ? mult + 1 : 1;
    if (mult > k) return false;
  }
  for (int i = 0; i < n; ++i) {
    const double w = c.weights.empty() ? 1.0 : c.weights[i];
    if (!(w >= 1.0 / 64 && w <= 64)) return false;
    for (int j = 0; j < 3; ++j)
      if (!(std::fabs(c.pole(i, j)) <= 1e6)) return false;
  }
  return true;
}

// The largest Cartesian coordinate of a curve's poles (1 at least): the scale of its tolerances.
inline double scale_of(const TestCurve &c) {
  double s = 1;
  for (int i = 0; i < c.n(); ++i)
    for (int j = 0; j < 3; ++j) s = std::fmax(s, std::fabs(c.pole(i, j)));
  return s;
}

inline bool finite(const double *v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// A broken invariant: said on stderr, then abort, so that the fuzzer keeps the input.
[[noreturn]] inline void fail(const char *what, const char *file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
  std::abort();
}
#define FUZZ_CHECK(cond)                                   \
  do {                                                     \
    if (!(cond)) ::fuzz::fail(#cond, __FILE__, __LINE__);  \
  } while (0)

// Whether u is (up to rounding) an interior knot of full multiplicity of cv: the curve jumps there, and two
// records of it (reversed, rescaled) may each answer the side after the knot in their own direction.
inline bool at_jump(const VOQbsp_curve &cv, double u) {
  int mult = 0;
  for (int i = cv.order; i < cv.num_poles; ++i) mult += std::fabs(cv.knots[i] - u) <= 1e-12 * (std::fabs(u) + 1);
  return mult >= cv.order;
}

// Largest distance between cv and ref at `samples` parameters spread over the common range, ref's parameter
// mapped from [a, b] onto [ra, rb], jumps of ref skipped; NaN when an evaluation fails.
inline double shape_gap(const VOQbsp_curve &cv, double a, double b, const VOQbsp_curve &ref, double ra, double rb,
                        int samples = 9) {
  double worst = 0;
  for (int s = 0; s <= samples; ++s) {
    const double f = static_cast<double>(s) / samples;
    if (at_jump(ref, ra + (rb - ra) * f)) continue;
    double p[3], q[3];
    int rc = 0, rrc = 0;
    BScveval_n(&cv, a + (b - a) * f, 0, p, &rc);
    BScveval_n(&ref, ra + (rb - ra) * f, 0, q, &rrc);
    if (rc != 0 || rrc != 0) return std::numeric_limits<double>::quiet_NaN();
    for (int j = 0; j < 3; ++j) worst = std::fmax(worst, std::fabs(p[j] - q[j]));
  }
  return worst;
}

// The active range of a record.
inline double range_start(const VOQbsp_curve &cv) { return cv.knots[cv.order - 1]; }
inline double range_end(const VOQbsp_curve &cv) { return cv.knots[cv.num_poles]; }

// Owner of a record made by the library's allocator.
struct FreeCurve {
  void operator()(VOQbsp_curve *c) const {
    int rc = 0;
    if (c) BSfreevoqcv(c, &rc);
  }
};
using HeapCurve = std::unique_ptr<VOQbsp_curve, FreeCurve>;

// An output record with room for `poles` poles of order up to `order`, filled with a marker value so that a
// refusal that writes can be seen.
struct RoomCurve {
  static constexpr double kMarker = -777.0;
  std::vector<double> poles, knots, weights;
  VOQbsp_curve cv{};
  RoomCurve(int poles_room, int order_room, bool rational)
      : poles(3 * static_cast<std::size_t>(poles_room), kMarker),
        knots(static_cast<std::size_t>(poles_room + order_room), kMarker),
        weights(static_cast<std::size_t>(poles_room), kMarker) {
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.weights = rational ? weights.data() : nullptr;
    cv.rational = rational;
  }
  RoomCurve(const RoomCurve &) = delete;
  RoomCurve &operator=(const RoomCurve &) = delete;
  bool untouched() const {
    for (double v : poles)
      if (v != kMarker) return false;
    return true;
  }
};

}  // namespace fuzz
