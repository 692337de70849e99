// Where a curve meets itself: crossings as aligned parameter pairs on the curve, overlaps as interval pairs, no
// crossing at a closing point or at an overlap's end, and nothing handed out by a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

struct SelfResult {
  int rc = 0, n_int = -1, n_over = -1;
  BSboolean ok = BSFALSE;
  double *first = nullptr, *second = nullptr, *os1 = nullptr, *oe1 = nullptr, *os2 = nullptr, *oe2 = nullptr;
  explicit SelfResult(VOQbsp_curve *cv) {
    ok = BScv_slfint(&rc, cv, &n_int, &first, &second, &n_over, &os1, &oe1, &os2, &oe2);
  }
  SelfResult(const SelfResult &) = delete;
  ~SelfResult() {
    for (double *a : {first, second, os1, oe1, os2, oe2}) BSdbgfree(a);
  }
  // A set is handed out exactly when its count is positive.
  bool sets_match_counts() const {
    return (n_int > 0) == (first && second) && (n_int > 0) == (first || second) &&
           (n_over > 0) == (os1 && oe1 && os2 && oe2) && (n_over > 0) == (os1 || oe1 || os2 || oe2);
  }
};

// A plane curve through the points xy: order 2 a line string with the point indices as knots, else one Bezier
// span over [0, 1].
std::unique_ptr<TestCurve> plane(int order, const std::vector<double> &xy) {
  std::vector<double> poles, knots;
  const int n = static_cast<int>(xy.size() / 2);
  for (int i = 0; i < n; ++i) poles.insert(poles.end(), {xy[2 * i], xy[2 * i + 1], 0});
  for (int i = 0; i < n + order; ++i) knots.push_back(order == 2 ? std::clamp(i - 1, 0, n - 1) : i < order ? 0 : 1);
  return std::make_unique<TestCurve>(order, poles, knots);
}

// Poles on the x axis at offset + size * x for each x of xs.
std::vector<double> along_x(double offset, double size, const std::vector<double> &xs) {
  std::vector<double> poles;
  for (const double x : xs) poles.insert(poles.end(), {offset + size * x, 0, 0});
  return poles;
}

// Every reported pair is ordered and names one point twice.
void expect_aligned(const TestCurve &c, const SelfResult &r, const char *what) {
  for (int i = 0; i < r.n_int; ++i) {
    double a[3], b[3];
    ref_point(c, r.first[i], a);
    ref_point(c, r.second[i], b);
    EXPECT_LT(r.first[i], r.second[i]) << what << " " << i;
    EXPECT_LE(std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]), 1e-6) << what << " " << i;
  }
}

// The parameters inside c's range where it jumps: knots of full multiplicity whose two sides lie apart.
std::vector<double> jumps_of(const TestCurve &c) {
  std::vector<double> out;
  const int k = c.order();
  for (int j = 0; j + 1 < c.n(); ++j) {
    const double u = c.knots[j + 1];
    if (c.knots[j + k] != u || !(c.start() < u && u < c.end())) continue;
    double before[3], after[3];
    ref_point(c, u, before, true);
    ref_point(c, u, after);
    if (std::hypot(before[0] - after[0], before[1] - after[1], before[2] - after[2]) > BStoltab[bstol::dist_tol])
      out.push_back(u);
  }
  return out;
}

// Points of c over [lo, hi], the first of the side that starts there and the last of the side that ends there;
// a single parameter gives the points of both sides.
std::vector<std::array<double, 3>> stretch(const TestCurve &c, double lo, double hi, int samples) {
  std::vector<std::array<double, 3>> out;
  if (!(lo < hi)) {
    out.resize(2);
    ref_point(c, lo, out[0].data());
    ref_point(c, lo, out[1].data(), true);
    return out;
  }
  out.resize(samples + 1);
  for (int i = 0; i <= samples; ++i)
    ref_point(c, i == samples ? hi : lo + (hi - lo) * i / samples, out[i].data(), i == samples);
  return out;
}

// How far the farthest point of the stretch `from` lies from the stretch `to` of a curve on a line (a single
// parameter by the nearer of its sides): between two of its points a stretch of such a curve that does not jump
// passes every point of the segment joining them, so the distance to the polyline of its points is no less than
// the distance to the stretch.
double farthest_off(const std::vector<std::array<double, 3>> &from, bool from_stretch,
                    const std::vector<std::array<double, 3>> &to, bool joined) {
  double worst = from_stretch ? 0 : HUGE_VAL;
  for (const auto &p : from) {
    double best = HUGE_VAL;
    for (std::size_t i = 0; i < to.size(); ++i) {
      const auto &a = to[i], &b = joined && i + 1 < to.size() ? to[i + 1] : to[i];
      double d[3], e[3], dd = 0, de = 0;
      for (int c = 0; c < 3; ++c) d[c] = b[c] - a[c], e[c] = p[c] - a[c], dd += d[c] * d[c], de += d[c] * e[c];
      const double s = dd > 0 ? std::clamp(de / dd, 0.0, 1.0) : 0.0;
      best = std::min(best, std::hypot(e[0] - s * d[0], e[1] - s * d[1], e[2] - s * d[2]));
    }
    worst = from_stretch ? std::max(worst, best) : std::min(worst, best);
  }
  return worst;
}

// The roads into a curve on a line: as given, moved to 1e5 and 1e7, a thousandth in size, run the other way,
// weighted from 1e-3 to 1e3, and turned off the axes in space (far out, run back and weighted at once too).
std::vector<std::pair<std::string, std::unique_ptr<TestCurve>>> roads_of(const TestCurve &c) {
  struct Road {
    const char *what;
    double offset, scale;
    bool reversed, weighted, turned;
  } const roads[] = {{"as given", 0, 1, false, false, false},
                     {"at 1e5", 1e5, 1, false, false, false},
                     {"at 1e7", 1e7, 1, false, false, false},
                     {"a thousandth in size", 0, 1e-3, false, false, false},
                     {"run the other way", 0, 1, true, false, false},
                     {"weighted", 0, 1, false, true, false},
                     {"turned in space", 0, 1, false, false, true},
                     {"all at once", 1e6, 1, true, true, true}};
  // A rotation about (1, 1, 1) by 1 radian.
  const double cs = std::cos(1.0), sn = std::sin(1.0), third = (1 - cs) / 3, r3 = sn / std::sqrt(3.0);
  const double R[3][3] = {{cs + third, third - r3, third + r3}, {third + r3, cs + third, third - r3},
                          {third - r3, third + r3, cs + third}};
  std::vector<std::pair<std::string, std::unique_ptr<TestCurve>>> out;
  const int n = c.n();
  for (const Road &road : roads) {
    std::vector<double> poles, knots, w;
    for (int i = 0; i < n; ++i) {
      const int from = road.reversed ? n - 1 - i : i;
      double q[3];
      for (int a = 0; a < 3; ++a) q[a] = c.pole(from, a);
      for (int a = 0; a < 3; ++a)
        poles.push_back(road.offset +
                        road.scale * (road.turned ? R[a][0] * q[0] + R[a][1] * q[1] + R[a][2] * q[2] : q[a]));
      if (road.weighted)
        w.push_back(std::pow(10.0, 3 * std::sin(1.7 * i)));
      else if (!c.weights.empty())
        w.push_back(c.weights[from]);
    }
    for (std::size_t i = 0; i < c.knots.size(); ++i)
      knots.push_back(road.reversed ? -c.knots[c.knots.size() - 1 - i] : c.knots[i]);
    out.emplace_back(road.what, std::make_unique<TestCurve>(c.order(), poles, knots, w));
  }
  return out;
}

TEST(SelfIntersection, CrossingsOverlapsAndRefusals) {
  std::vector<double> zigzag;
  for (int i = 0; i < 17; ++i) zigzag.insert(zigzag.end(), {double(i), double(i % 2)});
  auto nan_pole = plane(4, {0, 0, 3, 2, -1, 2, 2, 0});
  const double tol = BStoltab[bstol::dist_tol];
  nan_pole->poles[4] = std::nan("");
  struct Case {
    const char *what;
    std::unique_ptr<TestCurve> cv;
    int n_int, n_over;
    std::vector<double> overlaps;  // first start, first end, second start, second end per record
    int rc = 0;
    // A curve on a line also taken along every road, where its overlaps must pair stretches that cover the same
    // points.
    bool roads = false;
  } cases[] = {
      {"arch", plane(4, {0, 0, 1, 2, 3, 2, 4, 0}), 0, 0, {}},
      {"closed square", plane(2, {0, 0, 10, 0, 10, 10, 0, 10, 0, 0}), 0, 0, {}},
      {"loop of one span", plane(4, {0, 0, 3, 2, -1, 2, 2, 0}), 1, 0, {}},
      {"closed figure eight", plane(2, {0, 0, 2, 2, 2, 0, 0, 2, 0, 0}), 1, 0, {}},
      // Crossings at joints, where a span and its remainder also meet.
      {"through a joint", plane(2, {0, 0, 2, 0, 4, 0, 4, 2, 2, 2, 2, -2}), 1, 0, {}},
      {"through two joints", plane(2, {0, 0, 2, 0, 4, 0, 4, 2, 3, 1, 2, 0, 1, -1, 0, 2, 1, 0}), 3, 0, {}},
      {"through its start", plane(2, {0, 0, 3, 0, 3, 3, -1, -1}), 1, 0, {}},
      // A first piece standing off the rest: degenerate below the tolerance, measured up to twice it, taken as long
      // from its ends beyond; the crossing at the joint further on is found alike.
      {"a piece of half the tolerance first", plane(2, {0, -tol / 2, 0, 0, 2, 0, 4, 0, 4, 2, 2, 2, 2, -2}), 1, 0, {}},
      {"a piece of 1.5 tolerances first", plane(2, {0, -1.5 * tol, 0, 0, 2, 0, 4, 0, 4, 2, 2, 2, 2, -2}), 1, 0, {}},
      {"a piece of 2.5 tolerances first", plane(2, {0, -2.5 * tol, 0, 0, 2, 0, 4, 0, 4, 2, 2, 2, 2, -2}), 1, 0, {}},
      // Forward, back, forward: one record per pair of pieces sharing a stretch, the backward one reversed.
      {"line back and forth", plane(2, {0, 0, 10, 0, 3, 0, 8, 0}), 0, 3,
       {0.3, 1, 2, 1, 0.3, 0.8, 2, 3, 1 + 2. / 7, 2, 3, 2}},
      // Two legs run over by one later leg: the abutting records come back as one, and where the upright leg
      // stands on the overlap is no crossing.
      {"abutting overlaps", plane(2, {0, 0, 5, 0, 10, 0, 10, 2, -1, 2, -1, 0, 11, 0}), 0, 1,
       {0, 2, 5 + 1. / 12, 5 + 11. / 12}},
      // Up, down, up again and down to the start on one line: records whose second intervals fold at one turn
      // are not joined into one that would claim a stretch against a point.
      {"folds over a fold", plane(2, {-1, 0, 0, 0, 0, 4, 0, 1, 0, 4, 0, 0}), 0, 6,
       {1, 2, 5, 4, 1.25, 2, 3, 2, 1.25, 2, 3, 4, 2, 3, 4, 3, 2, 3, 4, 4.75, 3, 4, 4.75, 4}},
      // Out along the x axis and back, standing still from 2 on: the stationary record covers only [2, 3], where
      // the curve stands still, and the way back ends where the curve comes to rest, not at a node value.
      {"a line that comes to rest",
       std::make_unique<TestCurve>(4, std::vector<double>{0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                   std::vector<double>{0, 0, 0, 0, 1, 2, 3, 3, 3, 3}),
       0, 2, {2, 3, 3, 3, 0, 0.45308183932197282, 2, 0.45308183932197282}},
      // Out and back, a rest of three spans, out and back again: the curve turns at the start of its rest (the node
      // of the last pole that moved lies before it, where no tangent turns), so the second way out is a piece.
      {"a turn through a rest",
       std::make_unique<TestCurve>(4, std::vector<double>{0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                          0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0},
                                   std::vector<double>{0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7}),
       0, 7, {2, 3, 3, 3, 0, 0.45308183932197282, 2, 0.45308183932197282, 0, 0.21068882293130034, 2,
              6.5469181606780271, 0, 0.21068882293130034, 7, 6.5469181606780271, 0.7604070127119793, 2,
              6.5469181606780271, 2, 0.7604070127119793, 2, 6.5469181606780271, 7, 2, 6.5469181606780271, 7,
              6.5469181606780271}},
      // Back along the axis from a top at 2 to a bottom at 4 where three poles coincide (short of a rest): the turn
      // at the bottom lies as far from the node of the last moving pole as the top does, and must not be mistaken
      // for it, or the way back and the way out again would make one piece.
      {"a bottom as far as the top",
       std::make_unique<TestCurve>(4, std::vector<double>{-2, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                          0, 1, 0, 0, 2, 0, 0, 3, 0, 0},
                                   std::vector<double>{0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7}),
       0, 3, {1.06764370386353, 2, 4, 2, 1.06764370386353, 2, 4, 5.6371497390593523, 2, 4, 5.6371497390593523, 4}},
      // A last span that leaves its joint at rest and runs out along a line and back: the fold is found with no
      // tangent at the span's start to judge it by, and the way out and back overlap.
      {"a spike from a rest",
       std::make_unique<TestCurve>(4, std::vector<double>{-3, 0, 0, -2, 1, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0,
                                                          0, 0},
                                   std::vector<double>{0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2}),
       0, 1, {1, 5. / 3, 2, 5. / 3}},
      // A line string whose first span is empty starts at its second point, not at its first.
      {"a line string from an empty span",
       std::make_unique<TestCurve>(2, std::vector<double>{4, 0, 0, 1, 0, 0, 6, 0, 0, 0, 0, 0},
                                   std::vector<double>{0, 1, 1, 2, 3, 4}),
       0, 1, {1, 2, 2 + 5. / 6, 2}},
      // Up to a top and steeply down to a joint where the knots cut the curve, then up again: the joint lies
      // nearer to the node of the last moving pole than the top, and must not be taken for it.
      {"a top beside a cut joint",
       std::make_unique<TestCurve>(4, std::vector<double>{0, 0, 0, 1, 0, 0, 2, 0, 0, -7, 0, 0, -7, 0, 0, -4, 0, 0, -1,
                                                          0, 0, 2, 0, 0},
                                   std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}),
       0, 3, {0, 0.31622776601683794, 0.54772255750516607, 0.31622776601683794, 0, 0.31622776601683794,
              1.777777777777777, 1.848050614670409, 0.31622776601683794, 1, 1.848050614670409, 1}},
      // A line string that jumps ahead and comes back: the jump is no motion, and the way back overlaps the way
      // out only where both run.
      // The first knot repeated far beyond the order: the piece cut out about the one span that moves holds every
      // pole up to it (twenty here), more than any span's room, and was read and written past its end. The span
      // itself, behind its empty ones, is a straight segment that meets itself nowhere.
      {"knots repeated beyond the order before a straight span",
       std::make_unique<TestCurve>(4,
                                   [] {
                                     std::vector<double> p(3 * 20, -15.0);
                                     for (int i = 16; i < 20; ++i) p[3 * i] = i, p[3 * i + 1] = p[3 * i + 2] = 0;
                                     return p;
                                   }(),
                                   [] {
                                     std::vector<double> t(20, 0.0);
                                     t.insert(t.end(), {1, 1, 1, 1});
                                     return t;
                                   }()),
       0, 0, {}},
      {"a jump along the line",
       std::make_unique<TestCurve>(2, std::vector<double>{0, 0, 0, 2, 0, 0, 3, 0, 0, 1, 0, 0},
                                   std::vector<double>{0, 1, 2, 2, 3, 4}),
       0, 1, {1.5, 2, 3, 2.5}, 0, true},
      // A rest, a rise to a top and down to a cut joint beside it, then a higher top: the way to the first top
      // starts standing still, which is no stop.
      {"a rest before a top beside a cut joint",
       std::make_unique<TestCurve>(4, std::vector<double>{-15, 0, 0, -15, 0, 0, -15, 0, 0, -15, 0, 0, -15, 0, 0, -15,
                                                          0, 0, 0, 0, 0, -15, 0, 0, 5, 0, 0, 5, 0, 0, -15, 0, 0, -15, 0,
                                                          0},
                                   std::vector<double>{0, 0, 0, 0, 1, 2, 3, 3.9, 4, 4, 4, 5, 6, 6, 6, 6}),
       0, 7, {1, 2, 2, 2, 0, 3.9293898888303458, 4, 3.9293898888303458, 0, 3.9293898888303458, 4, 4.298275289801488,
              0, 3.9293898888303458, 6, 5.1229719318737859, 3.9293898888303458, 4, 4.298275289801488, 4,
              3.9293898888303458, 4, 5.1229719318737859, 6, 4, 4.666666666666667, 6, 4.666666666666667}},
      // Two abutting records whose second intervals do not chain: the join would pair ends that lie apart.
      {"abutting records that do not chain",
       std::make_unique<TestCurve>(4, std::vector<double>{0, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0,
                                                          -15, -15, 0, -15, -15, 0, -15, -5.375, 0, -15, -15, 0, -15,
                                                          -15, 0, -15, -15, 0, -15, 0, 0, -15, -15, 0, -15, -15, 0,
                                                          -14.875, -15, 0, -15, -15, 0, -15, 0, 0, -15, -15, 0},
                                   std::vector<double>{0, 0, 0, 0, 7.96875, 9.84375, 11.71875, 13.59375, 15.46875,
                                                       17.34375, 19.21875, 21.09375, 22.96875, 30.9375, 38.90625,
                                                       46.875, 54.84375, 62.8125, 71.78125, 71.78125, 71.78125,
                                                       71.78125}),
       2, 11, {6.5527001139134304, 7.0796593631721186, 54.84375, 46.875, 13.59375, 15.46875, 21.09375, 19.21875,
              13.59375, 15.46875, 21.09375, 24.540223551078675, 15.46875, 17.34375, 19.21875, 17.34375, 15.46875,
              17.34375, 24.540223551078675, 28.028731924852949, 15.775742046964579, 17.34375, 38.90625,
              35.505988999099038, 17.34375, 19.21875, 28.028731924852949, 24.540223551078672, 17.34375,
              18.911757953035423, 35.505988999099038, 38.90625, 19.21875, 21.09375, 24.540223551078672, 21.09375,
              21.09375, 22.96875, 71.78125, 71.720684580309154, 25.273527323911502, 31.553457295097012, 38.90625,
              31.553457295097012}},
      // Down from a top into a dip inside a span and up to a cut joint that is a top again: the joint lies ahead
      // of the first top, but past the dip, which ends that piece.
      {"a dip before a cut joint",
       std::make_unique<TestCurve>(4, std::vector<double>{-15, 0, 0, -15, 0, 0, -15, 0, 0, 1, 0, 0, 0, 0, 0, -15, 0, 0,
                                                          -5.375, 0, 0, -15, 0, 0, -15, 0, 0, -15, 0, 0},
                                   std::vector<double>{0, 0, 0, 0, 8, 16, 23.9, 23.94, 23.94, 23.94, 31.8, 31.8, 31.8,
                                                       31.8}),
       0, 6, {2.9735803819927189, 18.125962781123615, 23.903523266700116, 18.125962781123615, 2.9735803819927189,
              13.112849975816733, 23.903523266700116, 23.94, 0, 13.112849975816733, 31.8, 23.94, 21.645580605951569,
              23.903523266700116, 23.94, 23.903523266700116, 21.645580605951569, 23.903523266700116, 23.94,
              29.892757041346409, 23.903523266700116, 23.94, 29.892757041346409, 23.94}},
      // Out to 3, a jump back to 0 at a knot of full multiplicity, a rest, then out to a top and back: the way
      // after the jump starts on its far side.
      {"a rest after a jump",
       std::make_unique<TestCurve>(4, std::vector<double>{0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                          2, 0, 0, 0, 0, 0, 0, 0, 0},
                                   std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1, 2, 3, 4, 4, 4, 4}),
       0, 3, {0, 0.39765880355588912, 1, 2.8918058124456123, 0, 0.39765880355588912, 4, 2.8918058124456123, 1,
              2.8918058124456123, 4, 2.8918058124456123}, 0, true},
      // Up to a jump down at a knot of full multiplicity, the poles turning back on the way though the curve does
      // not, then steeply up to a top just past the jump: that top is the turn nearest to the poles' reversal, but
      // it lies on the far piece, and the near piece must not run across the gap to it.
      {"poles turning back before a jump to a nearer top",
       std::make_unique<TestCurve>(4, std::vector<double>{-15, -15, 0, -15, -15, 0, -15, -14.875, 0, -15, -15, 0, -15,
                                                          -14, 0, -15, 1, 0, -15, -15, 0, -15, 13.375, 0, -15, -1, 0,
                                                          -15, -15, 0, -15, 2.177954647210359e-306, 0, -15, -15, 0,
                                                          -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15,
                                                          0, -15, -15, 0},
                                   std::vector<double>{0, 0, 0, 0, 7.96875, 15.9375, 23.90625, 23.90625, 23.90625,
                                                       23.90625, 24.1875, 32.15625, 40.125, 48.09375, 56.0625, 56.0625,
                                                       56.0625, 56.0625, 59.1875, 59.1875, 59.1875, 59.1875}),
       0, 14, {56.0625, 56.0625, 56.0625, 56.0625, 56.0625, 59.1875, 59.1875, 59.1875, 0, 15.9375, 23.90625,
               23.907147735702562, 0, 15.9375, 56.0625, 52.263719171741016, 15.937500000000014, 23.90625,
               23.907147735702562, 23.974673681241132, 21.441455267244461, 23.90625, 32.840488771466319,
               26.838679129472716, 21.441455267244461, 22.666903725671229, 32.840488771466319, 40.125,
               15.937500000000014, 22.666903725671229, 52.26371917174103, 40.125, 23.927004678525922,
               24.151093411765967, 32.840488771466319, 24.151093411765967, 23.927004678525922, 23.94428664631695,
               32.840488771466319, 40.125, 23.90625, 23.94428664631695, 56.0625, 40.125, 28.955247225676807,
               32.840488771466319, 40.125, 32.840488771466319, 28.955247225676807, 32.840488771466319, 40.125,
               45.22523276974195, 32.840488771466319, 40.125, 45.22523276974195, 40.125},
       0, true},
      // A sextic up from a bottom to a jump at a knot of full multiplicity, whose far side lies higher: the way up
      // ends at the jump on its near side, though the turn search names the far side's point there; taken for the
      // end of the way up, that point paired it with a stretch past the jump that rises beyond it.
      {"a way up to a jump to a higher far side",
       std::make_unique<TestCurve>(6, std::vector<double>{0, 0, 0, 6, 0, 0, 0, 0, 0, 3, 0, 0, -2, 0, 0, -2, 0, 0, 3, 0,
                                                          0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 3, 0, 0, 4, 0, 0, 4,
                                                          0, 0},
                                   std::vector<double>{0, 0, 0, 0, 0, 0, 3, 9, 9, 9, 9, 9, 9, 16, 20, 20, 20, 20, 20,
                                                       20}),
       0, 10, {0, 1.0124592705643589, 5.2175886911664886, 1.0124592705643589, 0, 0.4552412534603788,
               7.9479309809533714, 9, 0.092971301053447891, 1.0124592705643589, 11.891363731027413,
               9.3427161602053754, 0.092971301053447891, 1.0124592705643589, 11.891363731027413, 19.210434776917829,
               1.9359766153761877, 6.8059092912028012, 9, 6.8059092912028012, 1.0124592705643589, 4.2195481826817343,
               9.3427161602053754, 11.891363731027413, 1.0124592705643589, 4.2195481826817343, 19.210434776917829,
               11.891363731027413, 8.3551289655173093, 9, 11.891363731027413, 9.6841065087215945, 8.3551289655173093,
               9, 11.891363731027413, 16.588549961888756, 9.3058551366872049, 11.891363731027413, 20,
               11.891363731027413},
       0, true},
      // A span that folds back inside its last leg, and a shallow crossing of its approach with a span beyond the
      // next: the start where the legs cross lies past the fold and runs off to the span's end.
      {"a shallow crossing beside a fold",
       std::make_unique<TestCurve>(4, std::vector<double>{4, 0, 0, 1, 0, 0, -9.25, -9.25, 0, -9.25, -9.25, 0, -9.25,
                                                          -9.25, 0, -9.25, -9.25, 0, -11, 0, 0, -15, 0, 0, 0, 0, 0, 0,
                                                          -15, 0, -15, -15, 0, -14, -15, 0, -15, -15, 0, -15, 0, 0, -15,
                                                          -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0},
                                   std::vector<double>{0, 0, 0, 0, 2.03125, 10, 17.96875, 17.96875, 17.96875, 18.03125,
                                                       18.15625, 19.15625, 22.90625, 23.15625, 23.15625, 26.90625,
                                                       27.90625, 31.65625, 36.40625, 36.40625, 36.40625, 36.40625}),
       4, 1, {22.95625, 23.075336643189793, 23.15625, 23.075336643189793}},
      // Down into a dip just short of a cut joint, up to the joint and down again from it: the dip lies between the
      // points that judge the way down, but the curve arrives at the joint rising, so the joint is no end of the
      // way down; the dip ends it, and the rise to the joint is a piece of its own.
      {"a narrow dip before a cut joint",
       std::make_unique<TestCurve>(4, std::vector<double>{-15, 0, 0, -15, 0, 0, -15, 0, 0, 1, 0, 0, -5.375, 0, 0,
                                                          -14.875, 0, 0, -14, 0, 0, -15, 0, 0, -15, 0, 0, -15, 0, 0},
                                   std::vector<double>{0, 0, 0, 0, 7.96875, 15.9375, 23.90625, 23.9375, 23.9375,
                                                       23.9375, 31.84375, 31.84375, 31.84375, 31.84375}),
       0, 6, {3.2696157647103665, 16.916316147566199, 23.912548093515749, 16.916316147566199, 3.2696157647103665,
              5.7464631316935826, 23.912548093515749, 23.9375, 0, 5.7464631316935826, 31.84375, 23.9375,
              23.676479193917128, 23.912548093515749, 23.9375, 23.912548093515749, 23.676479193917128,
              23.912548093515749, 23.9375, 27.345261269224354, 23.912548093515749, 23.9375, 27.345261269224354,
              23.9375}},
      // Out and back along a line with a turn at a corner: two pieces that only meet where one turns back share
      // no stretch, though the end of the one lies on the other. The turns after the corner at 23.9375 are sought
      // along a pole step shorter than 1, where the turn search sees the derivative as flat: missed, the way out
      // from 24.27 ran on through two turns and lost its overlaps with the way out before.
      {"pieces that meet at a turn",
       std::make_unique<TestCurve>(5, std::vector<double>{-4.1038633668667188e-63, -15, 0, 2.4445391518117002e-310,
                                                          -15, 0, -15, -15, 0, 8.2729825021148585e-317, -15, 0, -5.375,
                                                          -15, 0, -14.875, -15, 0, -14, -15, 0, -15, -15, 0,
                                                          2.1360722622442192e-306, -15, 0, -15,
                                                          -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0,
                                                          -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0},
                                   std::vector<double>{0, 0, 0, 0, 0, 7.96875, 15.9375, 23.90625, 23.9375, 23.9375,
                                                       23.9375, 31.84375, 39.8125, 47.78125, 55.75, 62.25, 66.46875,
                                                       73.4375, 78.65625, 78.65625, 78.65625, 78.65625, 78.65625}),
       0, 19, {47.78125, 55.75, 55.75, 55.75, 73.4375, 78.65625, 78.65625, 78.65625, 3.5396221945149704, 7.1364103507892303, 13.957578824881407, 7.1364103507892303, 3.5396221945149704, 7.1364103507892303, 13.957578824881407, 18.42572688574149, 5.0738571863286008, 7.1364103507892303, 30.845491717777978, 28.850544147503737, 5.0738571863286008, 7.1364103507892303, 30.845491717777978, 33.059372015988799, 7.1364103507892303, 13.957578824881407, 18.42572688574149, 13.957578824881407, 7.1364103507892303, 9.638838755078206, 28.850544147503737, 30.845491717777978, 7.1364103507892303, 9.638838755078206, 33.059372015988799, 30.845491717777978, 23.017875315858063, 23.48299233692358, 23.930426538079921, 23.48299233692358, 23.017875315858063, 23.334301719454139, 23.930426538079921, 24.27156022739122, 17.546674197800186, 23.334301719454139, 30.845491717777978, 24.27156022739122, 17.546674197800186, 23.48299233692358, 30.845491717777978, 39.659054835171851, 23.629168850223735, 23.930426538079921, 24.27156022739122, 23.930426538079921, 23.629168850223735, 23.930426538079921, 24.27156022739122, 24.628258031038698, 23.48299233692358, 23.930426538079921, 39.659054835171851, 39.456548461697516, 23.930426538079921, 24.27156022739122, 24.628258031038698, 24.27156022739122, 23.930426538079921, 24.27156022739122, 39.456548461697516, 39.636852963882745, 24.27156022739122, 30.845491717777978, 39.636852963882745, 30.845491717777978}},
      // A loop whose nine last poles rest on its start point: the way in crosses the way out 25 tolerances short
      // of the start, where the curve still moves, and that shallow crossing is no closing point.
      {"a loop crossing its start before coming to rest",
       plane(14, {-15, -15, 0.875, 0, -15, 0.875, -13.25, 10.875, -13.25, -15, -15, -15, -15, -15, -15, -15, -15, -15,
                  -15, -15, -15, -15, -15, -15, -15, -15, -15, -15}),
       1, 0, {}},
      // An unclamped start already on the way down, the poles turning back before it: the turn they point at lies
      // further on (a top at a cut joint past a rest), so the first piece must end where it starts, not there.
      {"a start past its first top",
       std::make_unique<TestCurve>(4, std::vector<double>{-15, -15, 0, 0, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0,
                                                          -15, -15, 0, -5.375, -15, 0, -14.875, -15, 0, -14, -15, 0,
                                                          -15, -15, 0},
                                   std::vector<double>{0, 7.96875, 15.9375, 18.3125, 18.3125, 26.28125, 34.25, 34.3125,
                                                       34.3125, 34.3125, 34.4375, 36.5625, 36.8125, 40.5625}),
       0, 7, {26.28125, 34.25, 34.25, 34.25, 18.783643681089149, 26.28125, 34.3125, 34.25, 18.783643681089149,
              24.183296378910022, 34.3125, 34.429029188644272, 24.164004105391911, 24.183296378910022, 34.4375,
              34.429029188644272, 34.267488528437056, 34.3125, 34.429029188644272, 34.3125, 34.267488528437056,
              34.26764934871003, 34.429029188644272, 34.4375, 34.422844889265406, 34.429029188644272, 34.4375,
              34.429029188644272}},
      // Zigzagging between two points, the second span runs out from the first joint and back, and the first span
      // crosses that way back 4e-4 from the joint at a tangent sine of 0.064: a shallow crossing, parted from the
      // joint, not a touch there.
      {"a shallow crossing beside a joint",
       std::make_unique<TestCurve>(5, std::vector<double>{-1.5, -15, 0, -14.5, -6.5, 0, 0, 0, 0, -14.5, -6.5, 0, 0, 0,
                                                          0, -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0, -15,
                                                          -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0,
                                                          -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0},
                                   std::vector<double>{0, 0, 0, 0, 0, 7.96875, 15.9375, 15.9375, 16.09375, 18.21875,
                                                       18.46875, 22.21875, 30.1875, 38.15625, 46.125, 49.5, 52.875,
                                                       56.25, 60.625, 60.625, 60.625, 60.625, 60.625}),
       2, 0, {}},
      // A closed span whose second half carries a small loop, though the half's polygon is simple and its end
      // poles lie outside the box of the others: the half is halved all the same, and the loop found.
      {"a loop inside the second half of a closed span",
       plane(14, {-15, -15, -12, -14.75, -14.125, -14, -11, -10.75, -11, -15, 0, 0, 0, 4, 0, -10, 5, 0, 4, -15, -2,
                  -15, 8.75, 8.75, 8.75, -15, -15, -15}),
       1, 0, {}},
      // A span that dips to a shallow bottom just where a later span cuts across it: the two cross twice 0.12 apart,
      // the bottom between the crossings, and both leg pairs about the bottom start beside its node and run to the
      // first crossing; the second is found only from the middles of the leg pair that met the spans off itself.
      {"two close crossings about a shallow bottom",
       std::make_unique<TestCurve>(4, std::vector<double>{-14.5, -6.5, 0, 0.875, 8.7029653930062049e-315, 0, -15, -15,
                                                          0, -11.625, -11.625, 0, -14.5, 0, 0, -11.625, 1e-300, 0,
                                                          1e-300, 1e-300, 0, 0, -6.875, 0, -11, -14.75, 0, -14, -15, 0,
                                                          -14, -15, 0, 3.25, -15, 0, -15, -11.625, 0, -11.625, -11.625,
                                                          0, -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0},
                                   std::vector<double>{0, 0, 0, 0, 7.96875, 15.9375, 18.3125, 18.3125, 26.28125, 34.25,
                                                       34.25, 34.28125, 36.5625, 37.40625, 38.25, 39.09375, 39.9375,
                                                       39.9375, 40.9375, 40.9375, 40.9375, 40.9375}),
       4, 0, {}},
      // A cubic a thousandth in size at 1e5, down from its start, up over a joint of full multiplicity that does not
      // jump and back down: its pole steps are a thousandth long, and along them the turn search weighed the
      // derivative below the tolerance and found no turn, so the top at 4.61 was lost with its overlap.
      {"a small cubic far out turning after a joint that does not jump",
       std::make_unique<TestCurve>(4, along_x(1e5, 1e-3, {-0.5607370627279229, -0.56105081809834878, -0.66248791572418586, -0.078599455162929877, -0.078599455162929877, 0.99858937887309951, 0.99858937887309951, -0.078726581617265312}),
                                   std::vector<double>{2.0084563102042905, 2.0084563102042905, 2.0084563102042905, 2.0084563102042905, 3.8083370977772875, 3.8083370977772875, 3.8083370977772875, 3.8083370977772875, 5.418810536597503, 5.418810536597503, 5.418810536597503, 5.418810536597503}),
       0, 2, {2.0084563102042905, 2.4740971748146237, 2.7082945227032469, 2.4740971748146237, 3.8083370977772875,
              4.6135738171873957, 5.418810536597503, 4.6135738171873957}, 0, true},
      // A sextic whose first top lies a ten-thousandth of the parameter past its start, within the parameter
      // tolerance of it: that first piece is one point to the cut, which refused it and failed the whole call.
      {"a first piece within its parameter tolerance of a point",
       std::make_unique<TestCurve>(6, along_x(0, 1, {-0.0051275333234696019, -0.0049781767127817581, -0.56917307231871739, -0.0049781767127817581, -0.85313276244910696, -0.45490674361105843, -0.45490674361105843, 0.28281659540331927, -0.0051275333234696019, 0.90872991719240859, -0.32677079212394222, -0.45510184838756107, -0.7676128915327014}),
                                   std::vector<double>{-4.0814568421664346, -4.0814568421664346, -4.0814568421664346, -4.0814568421664346, -4.0814568421664346, -4.0814568421664346, -2.6025774724614843, -2.6025774724614843, -2.6025774724614843, -2.6025774724614843, -2.6025774724614843, -2.6025774724614843, -2.1944947634410807, -0.91644440021369378, -0.91644440021369378, -0.91644440021369378, -0.91644440021369378, -0.91644440021369378, -0.91644440021369378}),
       0, 6, {-3.0579177217613851, -2.7768757314153225, -2.6025774724614843, -2.7768757314153225, -4.081358964943691, -3.0579177217613851, -2.5288788227264622, -2.6025774724614843, -4.081358964943691, -2.7768757314153225, -1.5770364416256679, -1.1111418805753592, -2.7768757314153225, -2.6025774724614843, -1.1111418805753592, -1.2036822487007481, -2.6025774724614843, -2.1944947634410807, -1.2036822487007481, -1.8937676041193638, -2.1944947634410807, -2.0307446982276613, -1.8937676041193638, -2.0307446982276613}, 0, true},
      // Weighted from 1e-3 to 1e3 (curves on a line whose tops lie in slivers of the parameter). A top at a corner
      // between a pole of weight 215 and a light one: the composite form's turn search, weighing the derivative
      // along a pole step against the tolerance, lost it, and the way back from the bottom at 4.67 ran on over it.
      {"a top at a corner between heavy and light poles",
       std::make_unique<TestCurve>(3, along_x(1e5, 1, {0.61538001736947057, -0.9107656733141265, 0.94634454897918108, 0.94634454897918108, -0.49094287941162484, 0.60080259572085359, 0.94634454897918108, 0.94634454897918108, 0.20487543223057636}),
                                   std::vector<double>{3.6727393928782845, 3.6727393928782845, 3.6727393928782845, 4.3923122654688793, 4.3923122654688793, 4.3923122654688793, 4.8870453044903837, 6.4102714811924573, 6.4102714811924573, 7.736457709728465, 7.736457709728465, 7.736457709728465},
                                   std::vector<double>{15.693566088737958, 1.9942195546573729, 998.52596977996836, 0.01037781889488674, 249.99406439416325, 0.070258140253922671, 0.01233332257965091, 215.0242741239442, 10.693704185457266}),
       0, 10, {3.6727393928782845, 3.6792635323900842, 3.6857532661934953, 3.6792635323900842, 3.6727393928782845,
        3.6792635323900842, 4.3923153374118415, 4.3923153588177026, 3.6727393928782845, 3.6792635323900842,
        6.4035731401018943, 6.4035490302046059, 3.6727393928782845, 3.6792635323900842, 7.6967788545084597,
        7.6971492898249396, 3.6792635323900842, 4.3923122654688793, 4.3923153588177026, 4.3923122654688793,
        3.6792635323900842, 4.3923122654688793, 6.4035490302046059, 6.4102714811924573, 3.6792635323900842,
        4.3923122654688793, 7.6971492898249396, 6.4102714811924573, 4.3923122654688793, 4.6660781425239897,
        6.4102714811924573, 4.6660781425239897, 4.3923122654688793, 4.3923232075842868, 6.4102714811924573,
        7.736457709728465, 6.3973430579786719, 6.4102714811924573, 7.736457709728465, 6.4102714811924573}, 0, true},
      // A bottom a hundredth of the parameter before the end, past a pole of weight 351: the search named a turn
      // where the way down started and lost the bottom, so the way down and up again made one piece.
      {"a bottom in a sliver before the end",
       std::make_unique<TestCurve>(4, along_x(1e5, 1, {0.037516779106589793, 0.86269811592043633, 0.12424957196643005, -0.56384554147718446, -0.56384554147718446, 0.25960611409350287, 0.82202574315939336, 0.82785862770642904, -4.122607330419644, 0.23168910572448898, -0.39035324229610158, -0.30149004972173188}),
                                   std::vector<double>{2.235503276176626, 2.235503276176626, 2.235503276176626, 2.235503276176626, 3.0006766478031537, 3.0006766478031537, 3.0006766478031537, 3.0006766478031537, 3.1467193272660428, 3.1467193272660428, 3.1467193272660428, 3.1467193272660428, 4.5135922142304867, 4.5135922142304867, 4.5135922142304867, 4.5135922142304867},
                                   std::vector<double>{18.950206169447409, 246.39696895220456, 294.21619671316046, 0.010878895165097316, 0.10944515028680001, 0.48646784523036307, 0.17862950819720957, 41.95056142744572, 0.25825484227934509, 1.8681731726518671, 350.97341679489256, 0.0030114148028001888}),
       0, 12, {2.235503276176626, 2.3398658824818521, 3.0006113080946482, 2.3398658824818521, 2.235503276176626,
        2.3398658824818521, 3.013604741501045, 3.0395378128060919, 2.3398658824818521, 3.0006766478031537,
        3.0395378128060919, 3.0006766478031537, 3.0006733952649514, 3.0006766478031537, 3.6351717590009223,
        3.2238089255458067, 3.0006733952649514, 3.0006734668795954, 3.6351717590009223, 4.5016953023585362,
        3.0006708362522634, 3.0006734668795954, 4.5135922142304867, 4.5016953023585362, 3.0006766478031537,
        3.0035076041122997, 3.2238089255458067, 3.6351717590009223, 3.0034527296352516, 3.0035076041122997,
        4.5016953023585362, 3.6351717590009223, 3.0034527296352516, 3.0052516102611571, 4.5016953023585362,
        4.5135922142304867, 3.4439324970492113, 3.6351717590009223, 4.5016953023585362, 3.6351717590009223,
        3.4439324970492113, 3.6351717590009223, 4.5016953023585362, 4.513478887891349, 3.6351717590009223,
        4.5016953023585362, 4.513478887891349, 4.5016953023585362}, 0, true},
      // Poles that turn back at -0.92 where the curve, drawn on by a pole of weight 218, runs on down: a top named
      // there cut the way down in two, and the stretch it shares with the way up went unreported.
      {"poles turning back where a heavily weighted curve runs on",
       std::make_unique<TestCurve>(4, along_x(1e7, 1, {0.96209152199063608, -0.48256433576666968, -0.17361464638087676, 0.48911847930721342, 0.48911847930721342, -0.036828397611333052, 0.67350902671942137, 0.43672988527583678, 0.43672988527583678, 0.46388927070230435, -0.30739165005809199, 0.10486403930092103}),
                                   std::vector<double>{-1.4887499100801749, -1.4887499100801749, -1.4887499100801749, -1.4887499100801749, -1.2788490219015782, -1.2788490219015782, -1.2788490219015782, -1.2788490219015782, -0.9181890365346681, -0.9181890365346681, -0.9181890365346681, -0.9181890365346681, -0.62225191077269015, -0.62225191077269015, -0.62225191077269015, -0.62225191077269015},
                                   std::vector<double>{335.14978621823656, 0.0032568166607759158, 7.1179407127325636, 109.03267762334259, 0.0021552145141592281, 5.0965149458536168, 0.72157573108612327, 198.93167246987528, 21.059638993446605, 0.011444341296434712, 218.13717897975263, 0.15148637230102568}),
       0, 9, {-1.327141283894004, -1.3090635999777673, -1.2788490219015782, -1.3090635999777673, -1.327141283894004,
        -1.3090635999777673, -1.2788490219015782, -1.2788476073135602, -1.3090635999777673, -1.2788490219015782,
        -1.2788476073135602, -1.2788490219015782, -1.2788434032625593, -1.2732277363682707, -0.93051496156253832,
        -1.2732277363682707, -1.2788434032625593, -1.2732277363682707, -0.93051496156253832, -0.8624300747561704,
        -1.2787111751887257, -1.2732277363682707, -0.62225191077269015, -0.62228489133593345, -1.2732277363682707,
        -0.93051496156253832, -0.8624300747561704, -0.93051496156253832, -1.2732277363682707, -1.2259547988048178,
        -0.62228489133593345, -0.62225191077269015, -0.8771557778857203, -0.65525142857695029, -0.62225191077269015,
        -0.65525142857695029}, 0, true},
      {"order 17", plane(17, zigzag), 0, 0, {}, BSRC_OUT_OF_RANGE},
      {"NaN pole", std::move(nan_pole), 0, 0, {}, BSRC_OUT_OF_RANGE},
  };
  for (Case &c : cases) {
    SelfResult r(&c.cv->cv);
    ASSERT_EQ(r.rc, c.rc) << c.what;
    EXPECT_EQ(r.ok, c.rc == 0 ? BSTRUE : BSFALSE) << c.what;
    EXPECT_EQ(r.n_int, c.n_int) << c.what;
    ASSERT_EQ(r.n_over, c.n_over) << c.what;
    EXPECT_TRUE(r.sets_match_counts()) << c.what;
    EXPECT_TRUE(c.cv->cv.rational || !c.cv->cv.weights) << c.what;
    expect_aligned(*c.cv, r, c.what);
    for (int o = 0; o < r.n_over; ++o) {
      const double got[4] = {r.os1[o], r.oe1[o], r.os2[o], r.oe2[o]};
      for (int j = 0; j < 4; ++j) EXPECT_NEAR(got[j], c.overlaps[4 * o + j], 1e-9) << c.what << " " << o << j;
    }
    if (!c.roads) continue;
    for (const auto &[road, cv] : roads_of(*c.cv)) {
      const std::string what = std::string(c.what) + ", " + road;
      SelfResult rr(&cv->cv);
      ASSERT_EQ(rr.rc, 0) << what;
      EXPECT_TRUE(rr.sets_match_counts()) << what;
      double scale = 0;
      for (int i = 0; i < cv->n(); ++i)
        for (int a = 0; a < 3; ++a) scale = std::max(scale, std::fabs(cv->pole(i, a)));
      const double on = 2 * (10 * tol + 1e-9 * scale);
      const std::vector<double> jumps = jumps_of(*cv);
      // A jump parts two pieces of the curve: no stretch of an overlap runs across one, and each stretch covers
      // the points of the other.
      for (int o = 0; o < rr.n_over; ++o) {
        const double lo[2] = {std::min(rr.os1[o], rr.oe1[o]), std::min(rr.os2[o], rr.oe2[o])},
                     hi[2] = {std::max(rr.os1[o], rr.oe1[o]), std::max(rr.os2[o], rr.oe2[o])};
        for (const double u : jumps)
          for (int side = 0; side < 2; ++side)
            EXPECT_FALSE(lo[side] < u && u < hi[side]) << what << " " << o << " across the jump at " << u;
        const auto first = stretch(*cv, lo[0], hi[0], 400), second = stretch(*cv, lo[1], hi[1], 400);
        EXPECT_LE(farthest_off(first, lo[0] < hi[0], second, lo[1] < hi[1]), on) << what << " " << o;
        EXPECT_LE(farthest_off(second, lo[1] < hi[1], first, lo[0] < hi[0]), on) << what << " " << o;
      }
    }
  }
  BStraceclear();
}

// Random plane curves of orders 3 to 5, clamped or not, with multiple knots and weights.
TEST(SelfIntersection, RandomCurvesGiveAlignedPairs) {
  std::mt19937 rng(84);
  int crossings = 0;
  for (int trial = 0; trial < 60; ++trial) {
    auto cv = random_curve(rng, 3 + trial % 3, 8 + trial % 7, trial % 4 == 3, trial % 2 == 0, 1 + trial % 3);
    for (int i = 0; i < cv->n(); ++i) cv->poles[3 * i + 2] = 0;
    SelfResult r(&cv->cv);
    ASSERT_EQ(r.rc, 0) << trial;
    EXPECT_TRUE(r.sets_match_counts()) << trial;
    expect_aligned(*cv, r, "random");
    crossings += r.n_int;
  }
  EXPECT_GT(crossings, 60);
  BStraceclear();
}

// The answer of a self-intersection as bytes: code, counts and every value, for comparisons to the bit.
std::vector<double> answer(VOQbsp_curve *cv) {
  SelfResult r(cv);
  std::vector<double> out{double(r.ok), double(r.rc), double(r.n_int), double(r.n_over)};
  for (const double *a : {r.first, r.second})
    if (a) out.insert(out.end(), a, a + r.n_int);
  for (const double *a : {r.os1, r.oe1, r.os2, r.oe2})
    if (a) out.insert(out.end(), a, a + r.n_over);
  return out;
}

TEST(SelfIntersection, HeapFailures) {
  // Each heap or scratch request failing in turn: a failure hands nothing out and leaves nothing allocated.
  std::mt19937 rng(7);
  std::unique_ptr<TestCurve> curves[] = {plane(2, {0, 0, 5, 0, 10, 0, 10, 2, -1, 2, -1, 0, 11, 0}),
                                         plane(2, {0, 0, 10, 0, 3, 0, 8, 0}), random_curve(rng, 4, 14, true, true)};
  for (int i = 0; i < curves[2]->n(); ++i) curves[2]->poles[3 * i + 2] = 0;
  // A failure armed beyond the last request changes no road: the routines pass the same exits, in the same order,
  // as with none armed (the plain road passes exits the shortcuts leave out).
  static std::vector<std::string> exits;
  const BSfaulthandler before = BSsetfaulthook([](const char *name, int *) { exits.push_back(name); });
  for (const auto &c : curves) {
    exits.clear();
    const std::vector<double> plain = answer(&c->cv);
    const std::vector<std::string> unarmed = exits;
    exits.clear();
    BSallocfailat(1 << 30);
    const std::vector<double> armed = answer(&c->cv);
    BSallocfailat(0);
    EXPECT_EQ(armed, plain);
    EXPECT_EQ(exits, unarmed);
  }
  BSsetfaulthook(before);
  // Both roads: the shortcuts' own requests (the rests' index among them) fail as the plain road's do.
  for (const bool slow : {false, true}) {
    int answered = 0;
    for (const auto &c : curves) {
      const bstest::SlowRoads roads(slow);
      const std::vector<double> whole = answer(&c->cv);
      const int live = BSdbgliveblocks(), scratch = BSscratchheapblocks();
      int failures = 0;
      for (int at = 1; at < 5000; ++at) {
        BSallocfailat(at);
        const std::vector<double> got = answer(&c->cv);
        const bool reached = BSallocfailpending() == 0;
        BSallocfailat(0);
        if (got[1] == 0 && !reached) break;
        // A request whose failure a road answers otherwise (the rests' index, given up for plain copies) changes
        // nothing of the answer.
        if (got[1] == 0) {
          EXPECT_EQ(got, whole) << slow << " " << at;
          ++answered;
          continue;
        }
        ++failures;
        EXPECT_EQ(got[0], BSFALSE) << slow << " " << at;
        EXPECT_EQ(got.size(), 4u) << slow << " " << at;
        EXPECT_EQ(got[2] + got[3], 0) << slow << " " << at;
        EXPECT_TRUE(got[1] == BSRC_NO_HEAP || got[1] == BSRC_NO_SCRATCH) << slow << " " << at << " " << got[1];
      }
      EXPECT_GT(failures, 0);
      EXPECT_EQ(BSdbgliveblocks(), live);
      EXPECT_EQ(BSscratchheapblocks(), scratch);
    }
    // The index's block is asked for on the shortcut's road only.
    EXPECT_EQ(answered > 0, !slow);
  }
  BStraceclear();
}

// A curve of the given order through poles on a prolate trochoid (a loop every 11 or so poles), clamped, knots
// 0, 1, 2, ...: moved by `offset`, scaled by `scale`, lifted off the plane when asked, weighted from 0.5 to 2
// when asked, its last pole on its first when closed.
std::unique_ptr<TestCurve> trochoid(int order, int n, double offset, double scale, bool lifted, bool weighted,
                                    bool closed) {
  std::vector<double> p, k, w;
  for (int i = 0; i < n; ++i) {
    const double t = 0.55 * i;
    p.insert(p.end(), {offset + scale * (t - 1.7 * std::sin(t)), offset + scale * (1 - 1.7 * std::cos(t)),
                       lifted ? scale * 0.3 * std::sin(0.2 * t) : 0.0});
    if (weighted) w.push_back(std::pow(10.0, 0.3 * std::sin(0.02 * i)));
  }
  if (closed) std::copy(p.begin(), p.begin() + 3, p.end() - 3);
  for (int i = 0; i < n + order; ++i) k.push_back(std::clamp(i - order + 1, 0, n - order + 1));
  return std::make_unique<TestCurve>(order, p, k, w);
}

// The span loop cuts each span from the front of the working curve in its own arrays and asks an index of them
// for each rest; on the slow roads it takes the plain road of fresh copies. Both answer alike to the bit, for every
// kind of curve and tolerance setting that steers the index's decisions.
TEST(SelfIntersection, IndexedRestsAnswerAsPlainCopies) {
  std::mt19937 rng(135);
  auto crowded = trochoid(4, 300, 0, 1, false, false, false);
  for (int i = 8; i < 290; i += 7) crowded->knots[i] = crowded->knots[i - 1] + 1e-9;
  auto doubled = trochoid(4, 300, 0, 1, false, false, false);
  for (int i = 6; i < 290; i += 5) doubled->knots[i] = doubled->knots[i - 1];
  auto tripled = trochoid(5, 300, 0, 1, false, false, false);
  for (int i = 7; i < 290; i += 9) tripled->knots[i] = tripled->knots[i - 1] = tripled->knots[i - 2];
  auto retraced = trochoid(3, 200, 0, 1, false, false, false);
  for (int i = 20; i + 2 < 200; i += 30)
    for (int c = 0; c < 3; ++c) retraced->poles[3 * (i + 1) + c] = retraced->poles[3 * (i - 1) + c];
  auto unclamped = random_curve(rng, 4, 120, false, false);
  for (int i = 0; i < unclamped->n(); ++i) unclamped->poles[3 * i + 2] = 0;
  auto random_weighted = random_curve(rng, 6, 150, true, true, 3);
  for (int i = 0; i < random_weighted->n(); ++i) random_weighted->poles[3 * i + 2] = 0;
  struct Row {
    const char *what;
    std::unique_ptr<TestCurve> cv;
    int min_crossings, min_overlaps;
    bool fixed_knot_tol = false;
    double tol = 0;  // BSchgdeppar, 0 for the defaults
  } rows[] = {
      {"looping cubic", trochoid(4, 400, 0, 1, false, false, false), 30, 0},
      {"looping quadratic", trochoid(3, 300, 0, 1, false, false, false), 20, 0},
      {"order 16", trochoid(16, 200, 0, 1, false, false, false), 1, 0},
      {"weights from 0.5 to 2", trochoid(4, 300, 0, 1, false, true, false), 10, 0},
      {"rational line string", trochoid(2, 200, 0, 1, false, true, false), 10, 0},
      {"polynomial line string", trochoid(2, 200, 0, 1, false, false, false), 10, 0},
      {"at 1e5", trochoid(4, 300, 1e5, 1, false, false, false), 20, 0},
      {"at 1e7", trochoid(4, 300, 1e7, 1, false, false, false), 20, 0},
      {"a thousandth in size", trochoid(4, 300, 0, 1e-3, false, false, false), 20, 0},
      {"off the plane", trochoid(4, 300, 0, 1, true, false, false), 0, 0},
      {"closed", trochoid(4, 300, 0, 1, false, false, true), 20, 0},
      {"knots crowding", std::move(crowded), 20, 0},
      {"double knots", std::move(doubled), 20, 0},
      {"triple knots", std::move(tripled), 20, 0},
      {"stretches run back over", std::move(retraced), 10, 5},
      {"unclamped", std::move(unclamped), 20, 0},
      {"random rational with multiple knots", std::move(random_weighted), 20, 0},
      {"fixed knot tolerance", trochoid(4, 300, 0, 1, false, false, false), 20, 0, true},
      {"coarse tolerances", trochoid(4, 300, 0, 1, false, false, false), 20, 0, false, 1e-2},
  };
  for (Row &row : rows) {
    int rc = 0;
    if (row.fixed_knot_tol) BSkttolmode(1);
    if (row.tol > 0) BSchgdeppar(row.tol, &rc);
    const std::vector<double> indexed = answer(&row.cv->cv);
    std::vector<double> plain;
    {
      const bstest::SlowRoads slow;
      plain = answer(&row.cv->cv);
    }
    if (row.fixed_knot_tol) BSkttolmode(0);
    for (int e = 0; e < BSTOL_COUNT; ++e) BSchangepar(&rc, e, BStoldefault(e));
    ASSERT_EQ(indexed.size(), plain.size()) << row.what;
    EXPECT_EQ(std::memcmp(indexed.data(), plain.data(), indexed.size() * sizeof(double)), 0) << row.what;
    EXPECT_EQ(indexed[1], 0) << row.what;
    EXPECT_GE(indexed[2], row.min_crossings) << row.what;
    EXPECT_GE(indexed[3], row.min_overlaps) << row.what;
  }
  BStraceclear();
}

// A chain as the pieces of an offset merge into one curve: order 3, joints of multiplicity 2 between pieces of
// unequal parameter widths along a looping path (it crosses itself). Lines are raised (the middle pole half-way;
// every seventh runs out past its end and back), arcs rational with cos(sweep / 2) in the middle, the pieces'
// weights scaled by factors of their own; every fifth line runs in three straight quadratic spans of simple knots,
// and one piece shrinks to a point, where the curve stands still at both joints.
std::unique_ptr<TestCurve> joined(int pieces, double offset, double scale, double width, bool closed) {
  std::vector<double> p, w, k{0, 0, 0};
  double x = 0, y = 0, heading = 0, u = 0;
  const auto add = [&](double px, double py, double weight) {
    p.insert(p.end(), {offset + scale * px, offset + scale * py, 0.0}), w.push_back(weight);
  };
  add(0, 0, 1);
  for (int i = 0; i < pieces; ++i) {
    const double g = 1 + 0.5 * std::sin(0.7 * i), du = width * (1 + 0.6 * std::cos(1.3 * i));
    const double len = i == pieces / 2 ? 0.0 : 0.2 + 0.15 * std::sin(0.9 * i);
    if (i % 3 == 2) {
      const double sweep = 0.6 * std::sin(0.37 * i) + 0.25, r = len / sweep;
      const double cx = x - r * std::sin(heading), cy = y + r * std::cos(heading), a0 = heading - M_PI / 2;
      // The joint keeps the weight the piece before gave it; the middle weight keeps the arc on its circle.
      const double mid = r / std::cos(sweep / 2), wm = std::cos(sweep / 2) * std::sqrt(w.back() * g);
      add(cx + mid * std::cos(a0 + sweep / 2), cy + mid * std::sin(a0 + sweep / 2), wm);
      x = cx + r * std::cos(a0 + sweep), y = cy + r * std::sin(a0 + sweep), heading += sweep;
      add(x, y, g);
      k.insert(k.end(), {u + du, u + du});
    } else if (i % 5 == 0) {
      const double dx = len * std::cos(heading) / 4, dy = len * std::sin(heading) / 4;
      for (int j = 1; j <= 4; ++j) add(x + j * dx, y + j * dy, g);
      x += 4 * dx, y += 4 * dy;
      k.insert(k.end(), {u + du / 3, u + 2 * du / 3, u + du, u + du});
    } else {
      const double nx = x + len * std::cos(heading), ny = y + len * std::sin(heading), f = i % 7 == 3 ? 1.5 : 0.5;
      add(x + f * (nx - x), y + f * (ny - y), g), add(nx, ny, g);
      x = nx, y = ny;
      k.insert(k.end(), {u + du, u + du});
    }
    u += du;
    heading += 0.45 + 0.3 * std::sin(0.21 * i);
  }
  k.push_back(u);
  if (closed) {
    for (int c = 0; c < 2; ++c) p[p.size() - 3 + c] = p[c];
    w.back() = w.front();
  }
  return std::make_unique<TestCurve>(3, p, k, w);
}

// A curve of joined pieces is cut at its joints into the pieces as they stand, and a straight span is cut from a
// stretch around it; with every shortcut off the whole curve is cut each time, and the answers agree to the bit.
TEST(SelfIntersection, JoinedPiecesAnswerAsOnTheSlowRoads) {
  const struct {
    const char *what;
    std::unique_ptr<TestCurve> cv;
  } rows[] = {
      {"joined pieces", joined(300, 0, 1, 1, false)},
      {"closed", joined(301, 0, 1, 1, true)},
      {"at 1e5", joined(300, 1e5, 1, 1, false)},
      {"at 1e7", joined(300, 1e7, 1, 1, false)},
      {"a thousandth in size", joined(300, 0, 1e-3, 1, false)},
      {"pieces a ten-thousandth of the parameter wide", joined(300, 0, 1, 1e-4, false)},
      {"pieces a thousand wide", joined(300, 0, 1, 1e3, false)},
  };
  for (const auto &row : rows) {
    const std::vector<double> fast = answer(&row.cv->cv);
    std::vector<double> slow;
    {
      const bstest::SlowRoads roads;
      slow = answer(&row.cv->cv);
    }
    ASSERT_EQ(fast.size(), slow.size()) << row.what;
    EXPECT_EQ(std::memcmp(fast.data(), slow.data(), fast.size() * sizeof(double)), 0) << row.what;
    EXPECT_EQ(fast[1], 0) << row.what;
    EXPECT_GE(fast[2], 10) << row.what;
  }
}

// A staircase of legs of length 1 rising to the right; on request it comes back round below and ends just under
// the middle of its first leg, within the contact distance of it.
std::vector<double> staircase(int legs, bool back) {
  std::vector<double> p{0, 0, 0};
  for (int i = 1; i <= legs; ++i) p.insert(p.end(), {static_cast<double>((i + 1) / 2), static_cast<double>(i / 2), 0});
  if (back) p.insert(p.end(), {legs / 2.0 + 10, -2, 0, -1, -2, 0, 0.5, -0.5 * BStoltab[bstol::dist_tol], 0});
  return p;
}

TEST(SelfIntersection, PolylineCrossesItself) {
  struct {
    std::vector<double> pts;
    BSboolean crosses;
  } cases[] = {
      {{0, 0, 0, 1e-12, 0, 0, 1, 0, 0}, 0},        // two distinct points only
      {{0, 0, 0, 2, 0, 0, 2, 2, 0, 1, -1, 0}, 1},  // the last leg crosses the first
      {{0, 0, 0, 2, 0, 0, 2, 1, 0, 2, 0.5, 0}, 1}, // the last leg folds back onto the one before
      {{0, 0, 0, 2, 0, 0, 2, 1, 0, 3, 1, 0}, 0},
      // Long enough for the segments to be sorted into boxes: a staircase of 40 legs, and the same coming back
      // to end half the distance tolerance short of its first leg, outside that leg's bare box.
      {staircase(40, false), 0},
      {staircase(40, true), 1},
  };
  for (const auto &c : cases) {
    int rc = 1, n = static_cast<int>(c.pts.size() / 3);
    BSboolean crosses = 7;
    EXPECT_EQ(BSls_slfint(&rc, &n, c.pts.data(), &crosses), BSTRUE);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(crosses, c.crosses) << n;
  }
}


// Curves that run through their ranges unevenly, each with a crossing the span loop once lost: weights from 0.003
// to 415 (the crossing at 0.27570 0.40044 between two spans, the curve of the report), a start whose knots repeat
// before the range (a last piece with empty spans in front of its one span), and a rational line string whose heavy
// poles stall it for longer than a span (a parameter tolerance wider than the span about a straight span). Each is
// answered as given, moved to 1e5 and 1e7, and run the other way.
TEST(SelfIntersection, CurvesThatRunUnevenly) {
  struct Row {
    const char *what;
    int order;
    std::vector<double> xy, knots, w;
    double x, y;
  } const rows[] = {
      {"weights from 0.003 to 415", 3,
       {0.044995823087850016, 0.17433562411319783, 0.264660835239796, 0.25285067987615856, 0.39155930622721424,
        0.55868930768418767, 0.21421648915316072, 0.18136446259313616, 0.15140476063443864, 0.92692557987768487,
        0.50201027704304968, 0.92861892593234086, 0.98837531298471482, 0.34060001622086222, 0.035484427322755072,
        0.25451873131211478, 0.72057107877551996, 0.67229888584794439, 0.61873854692627761, 0.1371529887835346,
        0.77275636043795171, 0.018144669664884532},
       {0, 0, 0, 0.23330308891505305, 0.26699176998343371, 0.26699176998343371, 0.39339455144284574,
        0.47816177321930176, 0.63883647200582583, 0.84558285609071027, 0.84558285609071027, 1, 1, 1},
       {46.615487600372553, 415.17368444113356, 246.79708291529911, 0.0026576557722202522, 0.013215054193956103,
        16.592857100404267, 0.0051897125162909509, 1.5308531236191052, 8.5028897906822607, 6.3191693376188605,
        0.0058832747131245958},
       0.2757011898949504, 0.40044252135868835},
      {"knots repeated before the range", 8,
       {0.027448516846828246, 0.35960281763739255, 0.17452871207130666, 0.041988231420541554, 0.23701044323134729,
        0.70000040673593955, 0.89806363160085134, 0.29788512415956098, 0.28499456048903921, 0.94857772844718624,
        0.67623852680975016, 0.35436536020202847, 0.61987830776308794, 0.77299252125876916, 0.45610056492397821,
        0.45057201827008436, 0.11755811088796557, 0.15474598808343062, 0.67045796893634368, 0.90486101396096819,
        0.21281212054476639, 0.012508676816922228},
       {0, 0, 0, 0, 0, 0.35866454950026549, 0.59494769119453028, 0.59494769119453028, 0.59494769119453028,
        0.84531192410517608, 0.84531192410517608, 1, 1, 1, 1, 1, 1, 1, 1},
       {},
       0.3791511684457749, 0.40792311952183291},
      {"a line string stalled by heavy poles", 2,
       {0.0016208681702790792, 0.016764110476529953, 0.0080735498109495551, 0.017306350173744264,
        0.0016381520804618073, 0.013599295505492754, 0.0046046178623042411, 0.00037782837539305261,
        0.0014604790684727856, 0.017514449359971929},
       {0, 0.34837287491406449, 0.45653393733316361, 0.62306536672836621, 0.70938431319293671, 1, 1},
       {0.0014638706728291621, 201.80026040023006, 0.0041574514150776974, 323.70756207596594, 1.2779862230891743},
       0.0021271315098770494, 0.01388096783600079},
  };
  for (const Row &row : rows)
    for (const double far : {0.0, 1e5, 1e7})
      for (const bool reversed : {false, true}) {
        const int n = static_cast<int>(row.xy.size() / 2);
        std::vector<double> poles, knots, w;
        for (int i = 0; i < n; ++i) {
          const int from = reversed ? n - 1 - i : i;
          poles.insert(poles.end(), {row.xy[2 * from] + far, row.xy[2 * from + 1] - far, 0});
          if (!row.w.empty()) w.push_back(row.w[from]);
        }
        for (std::size_t i = 0; i < row.knots.size(); ++i)
          knots.push_back(reversed ? -row.knots[row.knots.size() - 1 - i] : row.knots[i]);
        TestCurve c(row.order, poles, knots, w);
        const std::string what = std::string(row.what) + (reversed ? ", reversed" : "") +
                                 (far > 0 ? ", at " + std::to_string(far) : "");
        SelfResult r(&c.cv);
        ASSERT_EQ(r.rc, 0) << what;
        expect_aligned(c, r, what.c_str());
        bool found = false;
        for (int i = 0; i < r.n_int; ++i) {
          double p[3];
          ref_point(c, r.first[i], p);
          found = found || std::hypot(p[0] - row.x - far, p[1] - row.y + far) < 1e-5;
        }
        EXPECT_TRUE(found) << what;
      }
}

// A curve on a line by its poles' places along the line: the reference that judges BScv_slfint's overlaps.
struct LineCurve {
  int k = 2;
  std::vector<double> s, t, w;  // w empty: polynomial
  int n() const { return static_cast<int>(s.size()); }
};

// The place along the line and its derivative at u, by span m (t[m] <= u <= t[m + 1]), with the basis functions
// raised from order 1 and differentiated by their definition.
std::pair<double, double> line_place(const LineCurve &c, int m, double u) {
  const int k = c.k;
  double N[8] = {1}, lower[8] = {1}, left[8], right[8];
  for (int j = 1; j < k; ++j) {
    if (j == k - 1) std::copy(N, N + j, lower);
    left[j] = u - c.t[m + 1 - j], right[j] = c.t[m + j] - u;
    double saved = 0;
    for (int r = 0; r < j; ++r) {
      const double tmp = N[r] / (right[r + 1] + left[j - r]);
      N[r] = saved + right[r + 1] * tmp;
      saved = left[j - r] * tmp;
    }
    N[j] = saved;
  }
  double A = 0, W = 0, dA = 0, dW = 0;
  for (int r = 0; r < k; ++r) {
    const int i = m - k + 1 + r;
    double d = 0;
    if (k > 1) {
      if (r >= 1) d += lower[r - 1] / (c.t[i + k - 1] - c.t[i]);
      if (r <= k - 2) d -= lower[r] / (c.t[i + k] - c.t[i + 1]);
      d *= k - 1;
    }
    const double w = c.w.empty() ? 1.0 : c.w[i];
    A += N[r] * w * c.s[i], W += N[r] * w, dA += d * w * c.s[i], dW += d * w;
  }
  return {A / W, (dA * W - A * dW) / (W * W)};
}

// The span of u: the one that starts there, or ends there when from_left (or at the end of the range).
int line_span(const LineCurve &c, double u, bool from_left) {
  int m = -1;
  for (int j = c.k - 1; j < c.n(); ++j)
    if (c.t[j] < c.t[j + 1] && (m < 0 || (from_left ? c.t[j] < u : c.t[j] <= u))) m = j;
  return m;
}
double line_at(const LineCurve &c, double u, bool from_left) { return line_place(c, line_span(c, u, from_left), u).first; }

// The curve cut where it turns back along the line or jumps: parameter runs with the least and greatest place
// each reaches. Turns are sign changes of the derivative, sampled densely in every span and across every knot and
// narrowed by bisection; turns that leave a piece shorter than `least` along the line are dropped with that piece
// (the curve dithers there, below what the routine can tell).
struct LinePiece {
  double a, b, lo, hi;
  bool stretch_start;  // a jump or the curve's start lies before it
};
std::vector<LinePiece> line_pieces(const LineCurve &c, double least, double jump_gap) {
  const int k = c.k, n = c.n();
  constexpr int kSamples = 2000;
  std::vector<LinePiece> out;
  double piece_start = c.t[k - 1], sign = 0;
  bool fresh = true;
  auto close = [&](double end) {
    out.push_back({piece_start, end, 0, 0, fresh});
    piece_start = end;
    fresh = false;
  };
  double prev_u = c.t[k - 1], prev_d = 0;
  int prev_m = -1;
  for (int m = k - 1; m < n; ++m) {
    if (!(c.t[m] < c.t[m + 1])) continue;
    if (prev_m >= 0 && c.t[m - k + 1] == c.t[m] &&
        std::fabs(line_place(c, prev_m, c.t[m]).first - line_place(c, m, c.t[m]).first) > jump_gap) {
      close(c.t[m]);
      fresh = true;
      sign = 0;
    }
    for (int j = 0; j <= kSamples; ++j) {
      const double u = j == kSamples ? c.t[m + 1] : c.t[m] + (c.t[m + 1] - c.t[m]) * j / kSamples;
      const double d = line_place(c, m, u).second;
      if (d != 0 && sign != 0 && (d > 0) != (sign > 0)) {
        // Narrowed between the last sample of the other sign and this one, spans taken from the right.
        double lo = prev_u, hi = u;
        const bool rising = sign > 0;
        for (int it = 0; it < 200 && lo < hi; ++it) {
          const double mid = 0.5 * (lo + hi);
          if (mid <= lo || mid >= hi) break;
          const double dm = line_place(c, line_span(c, mid, false), mid).second;
          if (dm == 0) {
            lo = hi = mid;
            break;
          }
          ((dm > 0) == rising ? lo : hi) = mid;
        }
        close(hi);
      }
      if (d != 0) sign = d, prev_u = u, prev_d = d;
    }
    prev_m = m;
  }
  (void)prev_d;
  close(c.t[n]);
  auto extent = [&](LinePiece &p) {
    p.lo = HUGE_VAL, p.hi = -HUGE_VAL;
    for (int j = 0; j <= 64; ++j) {
      const double u = j == 64 ? p.b : p.a + (p.b - p.a) * j / 64, x = line_at(c, u, j == 64);
      p.lo = std::min(p.lo, x), p.hi = std::max(p.hi, x);
    }
    for (const double x : {line_at(c, p.a, false), line_at(c, p.b, true)}) p.lo = std::min(p.lo, x), p.hi = std::max(p.hi, x);
  };
  for (LinePiece &p : out) extent(p);
  // Dithering: a short piece inside a stretch joins its neighbours there.
  for (bool merged = true; merged;) {
    merged = false;
    for (std::size_t i = 0; i < out.size() && !merged; ++i) {
      if (out[i].hi - out[i].lo >= least) continue;
      const bool before = i > 0 && !out[i].stretch_start, after = i + 1 < out.size() && !out[i + 1].stretch_start;
      if (!before && !after) continue;
      const std::size_t from = before ? i - 1 : i, to = after ? i + 1 : i;
      LinePiece joined{out[from].a, out[to].b, 0, 0, out[from].stretch_start};
      extent(joined);
      out.erase(out.begin() + from, out.begin() + to + 1);
      out.insert(out.begin() + from, joined);
      merged = true;
    }
  }
  return out;
}

// What is wrong with the overlaps reported for c, measured in places along the line to within `band`; empty when
// nothing is. The records must pair stretches of two pieces over one run of places, each stretch one-way, and the
// records of a pair of pieces must cover the run the two pieces share.
std::string judge_line_overlaps(const LineCurve &c, const SelfResult &r, double band, double jump_gap) {
  const std::vector<LinePiece> pieces = line_pieces(c, band, jump_gap);
  char buf[400];
  if (r.rc != 0) return "rc " + std::to_string(r.rc);
  if (r.n_int != 0) return std::to_string(r.n_int) + " crossings";
  const std::size_t np = pieces.size();
  auto piece_of = [&](double u) {
    std::size_t p = 0;
    while (p + 1 < np && pieces[p].b <= u) ++p;
    return p;
  };
  // A piece the curve runs through within the rounding of its parameter (beside a jump) is a jump to any parameter
  // search, and no stretch of its own.
  const double width = 1e-12 * (c.t[c.n()] - c.t[c.k - 1] + std::fabs(c.t[c.n()]) + std::fabs(c.t[c.k - 1]));
  // The piece a one-way stretch runs along: the one over which it travels farthest. Where the curve hovers within
  // the tolerance about a top (weights far apart stretch it over much of a span), a stretch that starts at either
  // end of the hover is right, and its parameter's middle may lie on the other side of the piece's end.
  auto piece_along = [&](double a, double b) {
    std::size_t best = piece_of(0.5 * (a + b));
    double most = band;
    for (std::size_t q = 0; q < np && a < b; ++q) {
      const double lo = std::max(a, pieces[q].a), hi = std::min(b, pieces[q].b);
      if (!(hi - lo > width)) continue;
      double low = HUGE_VAL, high = -HUGE_VAL;
      for (int j = 0; j <= 16; ++j) {
        const double x = line_at(c, j == 16 ? hi : lo + (hi - lo) * j / 16, j == 16);
        low = std::min(low, x), high = std::max(high, x);
      }
      if (high - low > most) most = high - low, best = q;
    }
    return best;
  };
  std::vector<std::vector<std::pair<double, double>>> covered(np * np);
  std::string fault;
  for (int o = 0; o < r.n_over && fault.empty(); ++o) {
    const double ends[2][2] = {{r.os1[o], r.oe1[o]}, {r.os2[o], r.oe2[o]}};
    double lo[2], hi[2], at[2][2];
    std::size_t p[2];
    for (int side = 0; side < 2; ++side) {
      const double a = std::min(ends[side][0], ends[side][1]), b = std::max(ends[side][0], ends[side][1]);
      for (int e = 0; e < 2; ++e) at[side][e] = line_at(c, ends[side][e], ends[side][e] == b && a < b);
      lo[side] = std::min(at[side][0], at[side][1]), hi[side] = std::max(at[side][0], at[side][1]);
      double reach_lo = lo[side], reach_hi = hi[side];
      for (int j = 1; j < 64 && a < b; ++j) {
        const double x = line_at(c, a + (b - a) * j / 64, false);
        reach_lo = std::min(reach_lo, x), reach_hi = std::max(reach_hi, x);
      }
      if (reach_hi - hi[side] > band || lo[side] - reach_lo > band) {
        std::snprintf(buf, sizeof buf, "record %d: stretch %d [%.17g, %.17g] turns inside (reaches %.6g..%.6g of %.6g..%.6g)", o, side, a, b,
                      reach_lo, reach_hi, lo[side], hi[side]);
        return buf;
      }
      p[side] = piece_along(a, b);
    }
    // A parameter at a jump names the points on both of its sides.
    auto gap = [&](double u, double v) {
      double best = HUGE_VAL;
      for (const bool lu : {false, true})
        for (const bool lv : {false, true}) best = std::min(best, std::fabs(line_at(c, u, lu) - line_at(c, v, lv)));
      return best;
    };
    if (gap(r.os1[o], r.os2[o]) > band || gap(r.oe1[o], r.oe2[o]) > band) {
      std::snprintf(buf, sizeof buf, "record %d: ends lie apart (%.9g vs %.9g, %.9g vs %.9g)", o, at[0][0], at[1][0],
                    at[0][1], at[1][1]);
      return buf;
    }
    if (p[0] == p[1]) {
      if (hi[0] - lo[0] > band) {
        std::snprintf(buf, sizeof buf, "record %d: both stretches on piece %zu", o, p[0]);
        return buf;
      }
      continue;
    }
    const std::size_t i = std::min(p[0], p[1]), j = std::max(p[0], p[1]);
    covered[i * np + j].push_back({std::max(lo[0], lo[1]), std::min(hi[0], hi[1])});
  }
  for (std::size_t i = 0; i < np; ++i)
    for (std::size_t j = i + 1; j < np; ++j) {
      const double lo = std::max(pieces[i].lo, pieces[j].lo), hi = std::min(pieces[i].hi, pieces[j].hi);
      auto runs = covered[i * np + j];
      std::sort(runs.begin(), runs.end());
      for (const auto &[a, b] : runs)
        if (a < lo - band || b > hi + band) {
          std::snprintf(buf, sizeof buf, "pieces %zu and %zu share %.9g..%.9g, a record claims %.9g..%.9g", i, j, lo,
                        hi, a, b);
          return buf;
        }
      if (hi - lo <= band || pieces[i].b - pieces[i].a < width || pieces[j].b - pieces[j].a < width) continue;
      double reached = lo;
      for (const auto &[a, b] : runs) {
        if (a > reached + band) break;
        reached = std::max(reached, b);
      }
      if (reached < hi - band) {
        std::snprintf(buf, sizeof buf, "pieces %zu [%.9g, %.9g] and %zu [%.9g, %.9g] share %.9g..%.9g, covered to %.9g",
                      i, pieces[i].a, pieces[i].b, j, pieces[j].a, pieces[j].b, lo, hi, reached);
        return buf;
      }
    }
  return fault;
}

// Bernstein coefficients of degree d of a + b (t - centre)^power over [0, 1].
std::vector<double> bernstein_of_power(int d, double a, double b, double centre, int power) {
  std::vector<double> mono(d + 1, 0.0), out(d + 1, 0.0);
  double binom = 1;
  for (int j = 0; j <= power; ++j) {
    mono[j] += b * binom * std::pow(-centre, power - j);
    binom = binom * (power - j) / (j + 1);
  }
  mono[0] += a;
  for (int i = 0; i <= d; ++i)
    for (int j = 0; j <= i; ++j) {
      double cij = 1, cdj = 1;
      for (int q = 0; q < j; ++q) cij = cij * (i - q) / (q + 1), cdj = cdj * (d - q) / (q + 1);
      out[i] += cij / cdj * mono[j];
    }
  return out;
}

// A random curve on a line that jumps: orders 2 to 6, knots of full multiplicity inside, poles repeated, equal to
// earlier ones or a hair apart; or Bezier pieces joined or parted at full knots, some of them flat turns and
// stationary inflections (double and triple roots of the derivative); weighted from 1e-3 to 1e3 at times, an end
// pole's weight below 0.01.
LineCurve random_line_curve(std::mt19937 &rng) {
  std::uniform_real_distribution<double> unit(-1, 1), gap(0.1, 2);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  LineCurve c;
  c.k = 2 + pick(5);
  const int k = c.k;
  double u = 5 * unit(rng);
  for (int i = 0; i < k; ++i) c.t.push_back(u);
  const bool chain = pick(3) == 0;
  if (chain) {
    const int pieces = 2 + pick(3);
    for (int p = 0; p < pieces; ++p) {
      std::vector<double> poles;
      const int power = 2 + pick(4);
      if (k >= 3 && power <= k - 1 && pick(2) == 0)
        poles = bernstein_of_power(k - 1, 0.5 * unit(rng), (pick(2) ? 1 : -1) * (0.5 + unit(rng) / 4) * std::pow(2.0, power),
                                   (1 + pick(7)) / 8.0, power);
      else
        for (int i = 0; i < k; ++i) poles.push_back(unit(rng));
      if (p > 0 && pick(2) == 0) poles[0] = c.s.back();
      c.s.insert(c.s.end(), poles.begin(), poles.end());
      u += gap(rng);
      for (int i = 0; i < k; ++i) c.t.push_back(u);
    }
  } else {
    const int inner = 1 + pick(5);
    const int full_at = pick(inner);
    for (int q = 0; q < inner; ++q) {
      const int mults[] = {1, 1, 2, k - 1, k};
      const int m = q == full_at ? k : std::min(k, mults[pick(5)]);
      u += gap(rng);
      for (int i = 0; i < m; ++i) c.t.push_back(u);
    }
    u += gap(rng);
    for (int i = 0; i < k; ++i) c.t.push_back(u);
    const int n = static_cast<int>(c.t.size()) - k;
    for (int i = 0; i < n; ++i) {
      const int way = pick(10);
      if (i > 0 && way < 2)
        c.s.push_back(c.s.back());
      else if (i > 1 && way < 3)
        c.s.push_back(c.s[pick(i)]);
      else if (i > 0 && way < 4)
        c.s.push_back(c.s.back() + unit(rng) * 1e-3);
      else
        c.s.push_back(unit(rng));
    }
  }
  // No rest: k poles in a row never coincide.
  for (int i = 0; i + k <= c.n(); ++i)
    if (std::all_of(c.s.begin() + i + 1, c.s.begin() + i + k, [&](double v) { return v == c.s[i]; }))
      c.s[i + k - 1] += 0.25 + 0.5 * (unit(rng) + 1);
  if (pick(3) == 0) {
    for (int i = 0; i < c.n(); ++i) c.w.push_back(std::pow(10.0, 3 * unit(rng)));
    if (pick(2) == 0) (pick(2) ? c.w.front() : c.w.back()) = std::pow(10.0, -2.5 + 0.4 * unit(rng));
  }
  return c;
}

// Curves on a line that jump, against the turns their sampled derivative shows: every overlap reported pairs two
// pieces over the places they share, and every pair of pieces that shares more than a few tolerances is reported.
// Taken as they come, a thousandth in size and far out (1e5 to 1e7), along the axis or turned in space.
// STYLESRV_ORACLE_SCALE multiplies the number of curves.
TEST(SelfIntersection, CurvesOnALineAgainstTheirSampledTurns) {
  const char *scale_env = std::getenv("STYLESRV_ORACLE_SCALE");
  const int curves = 300 * (scale_env ? std::max(1, std::atoi(scale_env)) : 1);
  std::mt19937 rng(2718);
  const double tol = BStoltab[bstol::dist_tol];
  int faults = 0, overlaps = 0;
  for (int trial = 0; trial < curves; ++trial) {
    const LineCurve c = random_line_curve(rng);
    const double size = trial % 3 == 1 ? 1e-3 : 1.0;
    const double far[] = {0, 0, 1e5, 1e6, 1e7};
    const double offset = far[trial % 5];
    double dir[3] = {1, 0, 0};
    if (trial % 2) {
      dir[0] = 0.48, dir[1] = -0.6, dir[2] = 0.64;
    }
    std::vector<double> poles;
    for (int i = 0; i < c.n(); ++i)
      for (int a = 0; a < 3; ++a) poles.push_back(offset * (a == 1 ? -0.5 : 1) + size * c.s[i] * dir[a]);
    TestCurve tc(c.k, poles, c.t, c.w);
    LineCurve scaled = c;
    for (double &v : scaled.s) v *= size;
    BStraceclear();
    SelfResult r(&tc.cv);
    EXPECT_TRUE(r.sets_match_counts()) << trial;
    const std::string fault = judge_line_overlaps(scaled, r, 30 * tol, tol);
    overlaps += r.n_over;
    if (!fault.empty()) {
      ++faults;
      std::string def = "k " + std::to_string(c.k) + " size " + std::to_string(size) + " at " + std::to_string(offset) + "\n s";
      char num[40];
      for (double v : c.s) std::snprintf(num, sizeof num, " %.17g", v), def += num;
      def += "\n t";
      for (double v : c.t) std::snprintf(num, sizeof num, " %.17g", v), def += num;
      if (!c.w.empty()) {
        def += "\n w";
        for (double v : c.w) std::snprintf(num, sizeof num, " %.17g", v), def += num;
      }
      std::printf("curve %d: %s\n%s\n", trial, fault.c_str(), def.c_str());
    }
  }
  EXPECT_GT(overlaps, curves);
  std::printf("%d curves, %d faults, %d overlaps\n", curves, faults, overlaps);
  // Still open: curves without weights, mostly a thousandth in size or far out, whose turn search (the composite
  // form's, weighing the derivative along a pole step against the tolerance) places a top off the turn or loses a
  // shallow one (one of the first 300, seven in a thousand of 30,000; a few in a hundred before the turn search
  // weighed unit directions and the sampled tops). Curves whose weights lie far apart have their tops found on
  // their spans evened, and fail one in 5,000, where the curve hovers at a top or an order 2 piece is refused.
  EXPECT_LE(faults, curves == 300 ? 1 : curves / 125);
  BStraceclear();
}

}  // namespace
