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
//   span:   a Bezier span: order (signed byte), flags (rational 1, raw knots 16), then order poles and weights
//           as for a curve, knots 0 and 1 (raw: 2 order numbers).
//   point:  3 numbers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
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

// A record on one screen, for FUZZ_DUMP: order, poles, flags, the knots, then the poles (Cartesian) and weights.
inline void dump(const char *what, const VOQbsp_curve &cv) {
  std::fprintf(stderr, "%s: order %d, %d poles, rational %d, periodic %d, closed %d\n  knots", what, cv.order,
               cv.num_poles, cv.rational, cv.periodic, cv.phy_closed);
  // A damaged record claims more knots than it has: the count it was made with is the one to trust.
  const int knots = cv.num_knots > 0 ? cv.num_knots : cv.num_poles + cv.order;
  for (int i = 0; i < knots; ++i) std::fprintf(stderr, " %.17g", cv.knots[i]);
  for (int i = 0; i < cv.num_poles; ++i) {
    const double w = cv.rational && cv.weights ? cv.weights[i] : 1;
    std::fprintf(stderr, "\n  %.17g %.17g %.17g", cv.poles[3 * i] / w, cv.poles[3 * i + 1] / w, cv.poles[3 * i + 2] / w);
    if (cv.rational && cv.weights) std::fprintf(stderr, " w %.17g", w);
  }
  std::fprintf(stderr, "\n");
}

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
  if (std::getenv("FUZZ_DUMP")) dump("curve", c->cv);
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

// Whether a record's closed flag tells the truth: its ends meet within the distance tolerance. The library takes
// the flag as given (a parameter at the end of a closed curve may be put on its start), so a flag that lies is
// damaged input, which the checks of an answer leave alone.
inline bool closure_honest(const TestCurve &c) {
  if (!c.cv.phy_closed) return true;
  double p[3], q[3];
  int rc = 0, qrc = 0;
  BScveval_n(&c.cv, c.start(), 0, p, &rc);
  BScveval_n(&c.cv, c.end(), 0, q, &qrc);
  return rc == 0 && qrc == 0 &&
         std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]) <= BStoltab[1];
}

// A curve whose answers the targets judge: well formed, with an honest closed flag.
inline bool sound(const TestCurve &c) { return well_formed(c) && closure_honest(c); }

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

// Whether u is (up to rounding) an interior knot where the tangent may turn: multiplicity order - 1 or more.
inline bool at_corner(const VOQbsp_curve &cv, double u) {
  int mult = 0;
  for (int i = cv.order; i < cv.num_poles; ++i) mult += std::fabs(cv.knots[i] - u) <= 1e-12 * (std::fabs(u) + 1);
  return mult >= cv.order - 1 && mult > 0;
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

// Owner of a block from BSdbgmalloc.
struct FreeBlock {
  void operator()(void *p) const {
    if (p) BSdbgfree(p);
  }
};
template <class T>
using HeapArray = std::unique_ptr<T[], FreeBlock>;

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

inline void read_point(Reader &in, double p[3]) {
  for (int j = 0; j < 3; ++j) p[j] = in.number();
}

// A Bezier span: num_poles == order; clamped on [0, 1] unless the knots are raw.
inline std::unique_ptr<TestCurve> read_span(Reader &in, int max_order = 16) {
  const int order = static_cast<std::int8_t>(in.byte());
  const std::uint8_t flags = in.byte();
  const int k = std::clamp(order, 1, max_order);
  std::vector<double> knots;
  for (int i = 0; i < 2 * k; ++i) knots.push_back((flags & 16) ? in.number() : i < k ? 0.0 : 1.0);
  std::vector<double> poles(3 * static_cast<std::size_t>(k)), weights;
  for (double &p : poles) p = in.number();
  if (flags & 1)
    for (int i = 0; i < k; ++i) weights.push_back(in.number());
  auto c = std::make_unique<TestCurve>(k, poles, knots, weights);
  c->cv.order = static_cast<std::int16_t>(order);
  if (std::getenv("FUZZ_DUMP")) dump("span", c->cv);
  return c;
}

// The curve moved into the plane z = 0, as the planar routines (offsets, fillets, arcs) take it.
inline void flatten(TestCurve &c) {
  for (int i = 0; i < c.n(); ++i) c.poles[3 * static_cast<std::size_t>(i) + 2] = 0;
  c.cv.planar = 1;
}

inline double dist3(const double *a, const double *b) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

// The point of cv at u; false when the evaluation fails.
inline bool point_at(const VOQbsp_curve &cv, double u, double p[3]) {
  int rc = 0;
  BScveval_n(&cv, u, 0, p, &rc);
  return rc == 0;
}

// Distance from p to cv's point at u (NaN when the evaluation fails). Where the curve jumps at u, the nearer of
// its two sides: a result may take either. The sides are the poles that end and start the pieces meeting at the
// knot, taken exactly: a step off the knot, however small, lands far from them on a curve that runs fast there.
inline double gap_at(const VOQbsp_curve &cv, double u, const double p[3]) {
  double q[3];
  if (!point_at(cv, u, q)) return std::numeric_limits<double>::quiet_NaN();
  double gap = dist3(p, q);
  if (at_jump(cv, u)) {
    int first = -1, last = -1;
    for (int i = cv.order; i < cv.num_poles; ++i)
      if (std::fabs(cv.knots[i] - u) <= 1e-12 * (std::fabs(u) + 1)) last = i, first = first < 0 ? i : first;
    for (int i : {first - 1, last - cv.order + 1}) {
      if (first < 0 || i < 0 || i >= cv.num_poles) continue;
      const double w = cv.rational && cv.weights ? cv.weights[i] : 1.0;
      for (int j = 0; j < 3; ++j) q[j] = cv.poles[3 * i + j] / w;
      gap = std::fmin(gap, dist3(p, q));
    }
  }
  return gap;
}

// The library's heap and scratch blocks at construction; clean() once every output is released.
struct BlockCount {
  int live = BSdbgliveblocks(), scratch = BSscratchheapblocks();
  bool clean() const { return BSdbgliveblocks() == live && BSscratchheapblocks() == scratch; }
};

// An allocation failure injected into the call under test when the input asks for one (a byte from 1 to 32:
// the n-th heap request fails). disarm() after the call: the checks that follow must not meet it. hit() says
// whether the call reached it.
class InjectedFailure {
 public:
  explicit InjectedFailure(std::uint8_t b) : at_(b >= 1 && b <= 32 ? b : 0) {}
  ~InjectedFailure() { BSallocfailat(0); }
  void arm() const { BSallocfailat(at_); }
  void disarm() {
    hit_ = at_ > 0 && BSallocfailpending() == 0;
    BSallocfailat(0);
  }
  bool hit() const { return hit_; }

 private:
  int at_;
  bool hit_ = false;
};

}  // namespace fuzz
