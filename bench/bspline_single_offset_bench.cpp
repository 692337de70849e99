// The offset of one curve in its own plane, side chosen by a point and loops removed: smooth cubics beside SISL's
// offset approximation (s1360) and OpenCASCADE's approximation of its exact offset curve (Geom2dConvert_ApproxCurve)
// at the offset tolerance, and zig-zag polylines with mitred corners beside GEOS's offset curve. Each contender's
// answer is checked before it is timed: cubic offsets by samples (twenty per pole of the curve) whose distance from
// the curve may miss the offset distance by at most twice the tolerance, polyline offsets by the midpoints of their
// legs, at the distance to within 1e-9. GEOS's line is built beforehand, as ours is.
#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "bench/bench_checks.h"
#include "bench/offset_checks.h"
#include "bspline/offset.h"
#include "tests/bspline/oracle/peer_chains.h"

namespace {

const double kTol = BStoltab[bstol::offset_tol];

std::shared_ptr<const offsets::Cubic> CubicOf(int n) {
  return bench::Once(n, [n] { return std::make_shared<const offsets::Cubic>(n, 9103 + n, false); });
}

// Our offset (loop mode 2, corners sharp); NULL on failure.
VOQbsp_curve *Ours(const VOQbsp_curve *cv, double d, const double side[3]) {
  const double zero[3] = {0, 0, 0};
  VOQbsp_curve *out = nullptr, **pieces = nullptr;
  int count = 0, rc = 0;
  BSboolean flag = BSFALSE;
  BScvoffsetd(cv, d, side, BSFALSE, 0, 2, &flag, zero, &out, &count, &pieces, &rc);
  return rc == 0 ? out : nullptr;
}

VOQbsp_curve *OursCubic(const offsets::Cubic &c) { return Ours(&c.curve->cv, c.dist, c.side); }

void Free(VOQbsp_curve *cv) {
  int rc = 0;
  if (cv) BSfreevoqcv(cv, &rc);
}

// The zig-zag of n points and its path, for the distances of the offsets' legs.
struct ZigZag {
  std::unique_ptr<TestCurve> curve;
  std::vector<double> xy;
  chains::Path path;
  std::unique_ptr<offsets::GeosOffsetter> geos;
  double side[3] = {0, 0, 0};  // just off the first leg, to its right as GEOS's negative distance
  explicit ZigZag(int n) : curve(zigzag(n, 9104 + n)) {
    curve->cv.planar = 1;
    for (int i = 0; i < n; ++i) xy.insert(xy.end(), {curve->pole(i, 0), curve->pole(i, 1)});
    path = chains::polyline_path(xy, false);
    geos = std::make_unique<offsets::GeosOffsetter>(xy);
    const TestCurve &c = *curve;
    const double dx = c.pole(1, 0) - c.pole(0, 0), dy = c.pole(1, 1) - c.pole(0, 1), len = std::hypot(dx, dy);
    side[0] = c.pole(0, 0) + dx / 2 + 0.1 * dy / len, side[1] = c.pole(0, 1) + dy / 2 - 0.1 * dx / len;
  }
  // The farthest that the midpoints of an offset polyline's legs (x, y pairs) lie from the distance.
  double LegDeviation(const std::vector<double> &offset, double d) const {
    if (offset.size() < 4) return INFINITY;
    double worst = 0;
    for (size_t i = 0; i + 3 < offset.size(); i += 2) {
      const double e =
          std::fabs(path.distance((offset[i] + offset[i + 2]) / 2, (offset[i + 1] + offset[i + 3]) / 2) - d);
      worst = std::isnan(e) || e > worst ? e : worst;
    }
    return std::isnan(worst) ? INFINITY : worst;
  }
};
const double kZigDist = 0.4;

std::shared_ptr<const ZigZag> ZigZagOf(int n) {
  return bench::Once(n, [n] { return std::make_shared<const ZigZag>(n); });
}

bench::Ready PolylineOurs(int n) {
  const auto z = ZigZagOf(n);
  VOQbsp_curve *out = Ours(&z->curve->cv, kZigDist, z->side);
  std::vector<double> xy;
  for (int i = 0; out && i < out->num_poles; ++i) xy.insert(xy.end(), {out->poles[3 * i], out->poles[3 * i + 1]});
  Free(out);
  return bench::Checked(z->LegDeviation(xy, kZigDist), 1e-9,
                        [z] { Free(Ours(&z->curve->cv, kZigDist, z->side)); }, "our offset strays from the distance");
}

bench::Ready PolylineGeos(int n) {
  const auto z = ZigZagOf(n);
  return bench::Checked(z->LegDeviation(geos_offset(*z->curve, -kZigDist, false), kZigDist), 1e-9,
                        [z] { z->geos->Offset(-kZigDist, false); }, "GEOS strays from the distance");
}

// A quadratic of n poles whose control polygon runs as a gentle noisy wave and ends in a zig-zag tail (its last
// quarter): every corner of the tail bends tighter than the distance 1 on its inner side, so the offset makes a
// loop there, on either side, and loop removal cuts a number of loops that grows with the curve.
struct ZigTail {
  std::unique_ptr<TestCurve> curve;
  // The curve followed by 16 chords a span (their parameters in u), the chords filed on a grid of cells 1.5 wide:
  // a point at about the distance 1 finds its nearest chords in the nine cells about it, and its distance is then
  // polished on the curve itself about them.
  std::vector<double> xy, u;
  std::vector<std::vector<int>> cells;
  double lo[2] = {0, 0};
  int nx = 0, ny = 0;
  static constexpr double kCell = 1.5;
  double side[3] = {0, 0, 0};
  explicit ZigTail(int n) {
    std::mt19937 rng(9105 + n);
    std::uniform_real_distribution<double> noise(-0.02, 0.02), step(1.8, 2.4), amp(1.2, 1.8);
    std::vector<double> p, k = {0, 0, 0};
    const int tail = n / 4 + 2;
    double x = 0;
    for (int i = 0; i < n; ++i) {
      if (i < n - tail) {
        p.insert(p.end(), {x, 0.4 * std::sin(0.15 * i) + noise(rng), 0.0});
        x += 1 + noise(rng);
      } else {
        x += step(rng);
        p.insert(p.end(), {x, ((n - i) % 2 ? 1 : -1) * amp(rng), 0.0});
      }
      if (i > 2) k.push_back(i - 2);
    }
    k.insert(k.end(), 3, n - 2);
    curve = std::make_unique<TestCurve>(3, p, k);
    curve->cv.planar = 1;
    const int chords = 16 * (n - 2);
    double hi[2] = {-INFINITY, -INFINITY};
    lo[0] = lo[1] = INFINITY;
    for (int i = 0; i <= chords; ++i) {
      double q[3];
      u.push_back((n - 2) * static_cast<double>(i) / chords);
      At(u.back(), q);
      xy.insert(xy.end(), {q[0], q[1]});
      for (int c = 0; c < 2; ++c) lo[c] = std::fmin(lo[c], q[c]), hi[c] = std::fmax(hi[c], q[c]);
    }
    nx = static_cast<int>((hi[0] - lo[0]) / kCell) + 1, ny = static_cast<int>((hi[1] - lo[1]) / kCell) + 1;
    cells.assign(static_cast<size_t>(nx) * ny, {});
    for (int i = 0; i < chords; ++i)
      for (int cx = Cx(std::fmin(xy[2 * i], xy[2 * i + 2])); cx <= Cx(std::fmax(xy[2 * i], xy[2 * i + 2])); ++cx)
        for (int cy = Cy(std::fmin(xy[2 * i + 1], xy[2 * i + 3])); cy <= Cy(std::fmax(xy[2 * i + 1], xy[2 * i + 3]));
             ++cy)
          cells[static_cast<size_t>(cy) * nx + cx].push_back(i);
    // Just off the first span, to its right.
    side[0] = 0.5, side[1] = p[1] - 0.05;
  }
  int Cx(double x) const { return std::clamp(static_cast<int>((x - lo[0]) / kCell), 0, nx - 1); }
  int Cy(double y) const { return std::clamp(static_cast<int>((y - lo[1]) / kCell), 0, ny - 1); }
  void At(double t, double q[3]) const {
    int rc = 0;
    BScveval_n(&curve->cv, t, 0, q, &rc);
  }
  double Gap(double t, const double q[2]) const {
    double c[3];
    At(t, c);
    return std::hypot(c[0] - q[0], c[1] - q[1]);
  }
  // The distance from q to the curve where the curve comes within about a cell of it (else infinite): the chords
  // nearest to q, each then searched on the curve over its parameters and a chord either side (eight samples, then
  // golden sections about the least).
  double Distance(const double q[2]) const {
    std::vector<std::pair<double, int>> near;
    double least = INFINITY;
    const int x0 = Cx(q[0]), y0 = Cy(q[1]);
    for (int cx = std::max(0, x0 - 1); cx <= std::min(nx - 1, x0 + 1); ++cx)
      for (int cy = std::max(0, y0 - 1); cy <= std::min(ny - 1, y0 + 1); ++cy)
        for (int i : cells[static_cast<size_t>(cy) * nx + cx]) {
          const double ax = xy[2 * i], ay = xy[2 * i + 1], bx = xy[2 * i + 2] - ax, by = xy[2 * i + 3] - ay;
          const double len = bx * bx + by * by;
          const double t = len > 0 ? std::clamp(((q[0] - ax) * bx + (q[1] - ay) * by) / len, 0.0, 1.0) : 0.0;
          const double g = std::hypot(q[0] - ax - t * bx, q[1] - ay - t * by);
          near.push_back({g, i});
          least = std::fmin(least, g);
        }
    double best = INFINITY;
    const int last = static_cast<int>(u.size()) - 1;
    for (const auto &[g, i] : near) {
      if (g > least + 0.05) continue;
      double a = u[std::max(0, i - 1)], b = u[std::min(last, i + 2)];
      double top = a, gtop = INFINITY;
      for (int j = 0; j <= 8; ++j) {
        const double t = a + (b - a) * j / 8, e = Gap(t, q);
        if (e < gtop) gtop = e, top = t;
      }
      a = std::max(a, top - (b - a) / 8), b = std::min(b, top + (b - a) / 8);
      const double r = (std::sqrt(5.0) - 1) / 2;
      double c = b - r * (b - a), d = a + r * (b - a), fc = Gap(c, q), fd = Gap(d, q);
      for (int it = 0; it < 40; ++it) {
        if (fc < fd) b = d, d = c, fd = fc, c = b - r * (b - a), fc = Gap(c, q);
        else a = c, c = d, fc = fd, d = a + r * (b - a), fd = Gap(d, q);
      }
      best = std::min({best, gtop, fc, fd});
    }
    return best;
  }
  // The farthest that 8 samples a span of the offset lie from the distance: the plain rule for a curve whose far
  // parts keep twice the distance apart (no point nearer than it, and none farther than its own foot).
  double Deviation(const VOQbsp_curve *off, double d) const {
    if (!off) return INFINITY;
    const double a = off->knots[off->order - 1], b = off->knots[off->num_poles];
    const int samples = 8 * (off->num_poles - off->order + 1);
    double worst = 0;
    for (int i = 0; i <= samples; ++i) {
      double q[3];
      int rc = 0;
      BScveval_n(off, a + (b - a) * i / samples, 0, q, &rc);
      const double e = rc == 0 ? std::fabs(Distance(q) - d) : INFINITY;
      worst = std::isnan(e) || e > worst ? e : worst;
    }
    return std::isnan(worst) ? INFINITY : worst;
  }
};

std::shared_ptr<const ZigTail> ZigTailOf(int n) {
  return bench::Once(n, [n] { return std::make_shared<const ZigTail>(n); });
}

bench::Ready ZigTailOurs(int n) {
  const auto z = ZigTailOf(n);
  VOQbsp_curve *out = Ours(&z->curve->cv, 1.0, z->side);
  const double e = z->Deviation(out, 1.0);
  Free(out);
  // Beside the crossings where its loops are cut, the offset strays by a little more than twice the tolerance.
  return bench::Checked(e, 3 * kTol, [z] { Free(Ours(&z->curve->cv, 1.0, z->side)); },
                        "our offset strays from the distance");
}

// A circle of radius 100 traced by n points over 300 degrees as one polyline (order 2), offset by 1 outwards: the
// single-curve road of a long digitised arc.
struct TracedArc {
  std::unique_ptr<TestCurve> curve;
  chains::Path path;
  double side[3] = {0, 0, 0};
  explicit TracedArc(int n) {
    std::vector<double> p, k = {0}, xy;
    for (int i = 0; i < n; ++i) {
      const double t = 300.0 / 180.0 * M_PI * i / (n - 1);
      p.insert(p.end(), {100 * std::cos(t), 100 * std::sin(t), 0.0});
      xy.insert(xy.end(), {100 * std::cos(t), 100 * std::sin(t)});
      k.push_back(i);
    }
    k.push_back(n - 1);
    curve = std::make_unique<TestCurve>(2, p, k);
    curve->cv.planar = 1;
    path = chains::polyline_path(xy, false);
    side[0] = 101, side[1] = 0.01;
  }
};

std::shared_ptr<const TracedArc> TracedArcOf(int n) {
  return bench::Once(n, [n] { return std::make_shared<const TracedArc>(n); });
}

bench::Ready TracedArcOurs(int n) {
  const auto z = TracedArcOf(n);
  VOQbsp_curve *out = Ours(&z->curve->cv, 1.0, z->side);
  // The mitred offset's corners lie beyond the distance by the mitre; its legs' midpoints keep it.
  std::vector<double> xy;
  for (int i = 0; out && i < out->num_poles; ++i) xy.insert(xy.end(), {out->poles[3 * i], out->poles[3 * i + 1]});
  Free(out);
  double worst = xy.size() < 4 ? INFINITY : 0;
  for (size_t i = 0; i + 3 < xy.size(); i += 2) {
    const double e = std::fabs(z->path.distance((xy[i] + xy[i + 2]) / 2, (xy[i + 1] + xy[i + 3]) / 2) - 1);
    worst = std::isnan(e) || e > worst ? e : worst;
  }
  return bench::Checked(std::isnan(worst) ? INFINITY : worst, 1e-9,
                        [z] { Free(Ours(&z->curve->cv, 1.0, z->side)); }, "our offset strays from the distance");
}

const bool registered = [] {
  bench::Describe("single_curve_offset",
                  "The offset of one curve, loops removed: a smooth cubic heading within 45 degrees of +x, offset "
                  "by 0.4 of its least radius of curvature (size: poles), checked by twenty samples per pole of "
                  "the curve, none farther than twice the offset tolerance from the distance; and a zig-zag "
                  "polyline with mitred corners (size: points), checked by the midpoints of the offset's legs, at "
                  "the distance within 1e-9. The counter \"poles\" holds each cubic offset's pole count. SISL's s1360 "
                  "is given a maximal step of 0.25: at its default step its offset strays from the distance by up to "
                  "13 times the tolerance here (by up to 96 times on the span-offset curves), whatever the tolerance "
                  "asked; GEOS's line is built beforehand, as ours is. Ours alone: a quadratic whose control polygon "
                  "ends in a zig-zag tail that makes a loop at every corner (size: poles), offset by 1 and checked "
                  "by 8 samples a span of the offset, none farther than three times the tolerance from the distance "
                  "(beside the crossings where loops are cut, a little more than twice); and "
                  "a circle of radius 100 traced by n points over 300 degrees as one polyline (size: points), offset "
                  "by 1 outwards, checked as the zig-zag.");
  const std::vector<int> cubic = bench::Sizes({20, 200, 2000}), polyline = bench::Sizes({100, 1000, 10000});
  bench::Contender("single_curve_offset", "cubic", "ours", cubic, "poles",
                   [](int n) { return offsets::OursOffset(CubicOf(n), kTol, OursCubic); }, benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "cubic", offsets::kSislOffset, cubic, "poles",
                   [](int n) { return offsets::SislOffsetChecked(CubicOf(n), kTol); }, benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "cubic", "occt_Geom2dConvert_ApproxCurve", cubic, "poles",
                   [](int n) { return offsets::OcctOffsetChecked(CubicOf(n), kTol); }, benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "zigzag_polyline_mitred", "ours", polyline, "points", PolylineOurs,
                   benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "zigzag_polyline_mitred", "geos_OffsetCurve_mitre", polyline, "points",
                   PolylineGeos, benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "quadratic_zigzag_tail", "ours", polyline, "poles", ZigTailOurs,
                   benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "traced_arc_polyline", "ours", polyline, "points", TracedArcOurs,
                   benchmark::kMicrosecond);
  return true;
}();

}  // namespace
