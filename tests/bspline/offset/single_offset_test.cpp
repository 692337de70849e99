// The offset of one curve in its own plane: the side chosen by a point, the plane found for lines, closed and
// tilted curves, loops removed from closed offsets, and every failure leaving the caller's outputs and the heap
// as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/bspline/offset/offset_fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kPi = 3.14159265358979323846;

// What one entry call handed back; the result and pieces released on destruction.
struct Result {
  VOQbsp_curve *cv = nullptr;
  VOQbsp_curve **pieces = nullptr;
  int count = -1, rc = -99;
  BSboolean flag = BSFALSE;
  Result() = default;
  Result(const Result &) = delete;
  Result &operator=(const Result &) = delete;
  ~Result() {
    int ignored = 0;
    if (cv) BSfreevoqcv(cv, &ignored);
    for (int i = 0; i < count && pieces; ++i) BSfreevoqcv(pieces[i], &ignored);
    BSdbgfree(pieces);
  }
};

void offsetd(const VOQbsp_curve *c, double d, const double side[3], int loop_mode, Result *r, int corner_mode = 0) {
  const double zero[3] = {0, 0, 0};
  BScvoffsetd(c, d, side, BSFALSE, corner_mode, static_cast<std::int16_t>(loop_mode), &r->flag, zero, &r->cv, &r->count,
              &r->pieces, &r->rc);
}
// The arc entry, corner mode 0 and loop mode 2.
BSboolean arc_offset(const VOQbsp_curve *c, double d, const double side[3], Result *r) {
  const int corner = 0;
  const std::int16_t mode = 2;
  return BScvoffset(&r->rc, c, &d, side, &corner, &mode, &r->cv, &r->count, &r->pieces);
}

// Closed cubic round (0, 0) of radius about r in the xy plane: 8 control points wrapped on uniform knots
// (unclamped), or the same knots made periodic-looking with a non-unit spacing.
// squash < 1 flattens it along y into an ellipse-like curve starting at its sharp end on the x axis.
std::unique_ptr<TestCurve> closed_cubic(double r, double spacing = 1.0, double squash = 1.0) {
  std::vector<double> poles, knots;
  for (int i = 0; i < 11; ++i) {
    const double a = 2 * kPi * ((i + 7) % 8) / 8;
    poles.insert(poles.end(), {r * std::cos(a), squash * r * std::sin(a), 0.0});
  }
  for (int i = 0; i < 15; ++i) knots.push_back(spacing * i);
  auto c = std::make_unique<TestCurve>(4, poles, knots);
  c->cv.planar = 1;
  c->cv.periodic = 1;
  return c;
}

// The square (0, 0) .. (10, 10) as a closed order-2 polyline starting at the origin.
std::unique_ptr<TestCurve> square() {
  auto c = std::make_unique<TestCurve>(2, std::vector<double>{0, 0, 0, 10, 0, 0, 10, 10, 0, 0, 10, 0, 0, 0, 0},
                                       std::vector<double>{0, 0, 1, 2, 3, 4, 4});
  c->cv.planar = 1;
  return c;
}

// Largest deviation of the distance from base of samples of off from d; the side point side must lie on the
// offset's side: its distance to off is smaller than its distance to base.
double distance_error(const VOQbsp_curve *base, const VOQbsp_curve *off, double d) {
  double worst = 0;
  const double u0 = off->knots[off->order - 1], u1 = off->knots[off->num_poles];
  for (int i = 0; i <= 200; ++i) {
    double ev[3], u = 0, foot[3], dist = 0;
    int rc = 0;
    BScveval_n(off, u0 + (u1 - u0) * i / 200.0, 0, ev, &rc);
    BSmdstptcv(base, ev, &u, foot, &dist, &rc);
    if (rc != 0) return 1e9;
    worst = std::max(worst, std::fabs(dist - d));
  }
  return worst;
}

// Entry arguments and outputs: the line of the geometry layer, both distance signs, bad input refused before
// anything is written, loop mode 0 keeping the caller's pieces array.
TEST(SingleOffset, LineSidesAndRefusals) {
  TestCurve line(2, {0, 0, 0, 0, 10, 0}, {0, 0, 1, 1});
  TestCurve space(3, {0, 0, 0, 1, 0, 1, 2, 2, 0, 3, 0, 2}, {0, 0, 0, 0.5, 1, 1, 1});
  TestCurve nan_pole(2, {0, 0, 0, 0, kNaN, 0}, {0, 0, 1, 1});
  const double left[3] = {-3, 5, 0}, on_line[3] = {0, 5, 0};
  const struct Row {
    const char *what;
    const VOQbsp_curve *cv;
    double d;
    const double *side;
    int loop_mode, rc;
    double x;  // the offset line's x, when rc is 0
    BSboolean flag;
  } rows[] = {
      {"towards the side point", &line.cv, 2, left, 2, 0, -2, BSTRUE},
      {"negative distance: the other side", &line.cv, -2, left, 2, 0, 2, BSFALSE},
      {"no loop removal", &line.cv, 2, left, 0, 0, -2, BSTRUE},
      {"side point on the line", &line.cv, 2, on_line, 2, -6, 0, BSFALSE},
      {"NaN distance", &line.cv, kNaN, left, 2, -2, 0, BSFALSE},
      {"infinite distance", &line.cv, HUGE_VAL, left, 2, -2, 0, BSFALSE},
      {"NaN pole", &nan_pole.cv, 2, left, 2, -2, 0, BSFALSE},
  };
  const int live = BSdbgliveblocks();
  VOQbsp_curve sentinel{};
  VOQbsp_curve *keep[1] = {&sentinel};
  for (const Row &r : rows) {
    {
      Result o;
      o.cv = &sentinel, o.pieces = keep, o.flag = 7;
      offsetd(r.cv, r.d, r.side, r.loop_mode, &o);
      EXPECT_EQ(o.rc, r.rc) << r.what;
      EXPECT_EQ(o.count, 0) << r.what;
      EXPECT_EQ(o.pieces, keep) << r.what;
      o.pieces = nullptr;
      if (r.rc != 0) {
        EXPECT_EQ(o.cv, &sentinel) << r.what;
        EXPECT_EQ(o.flag, 7) << r.what;
        o.cv = nullptr;
        continue;
      }
      ASSERT_NE(o.cv, &sentinel) << r.what;
      EXPECT_EQ(o.flag, r.flag) << r.what;
      ASSERT_EQ(o.cv->num_poles, 2) << r.what;
      EXPECT_EQ(o.cv->planar, 0) << r.what;
      const double want[6] = {r.x, 0, 0, r.x, 10, 0};
      for (int i = 0; i < 6; ++i) EXPECT_NEAR(o.cv->poles[i], want[i], 1e-12) << r.what;
    }
    EXPECT_EQ(BSdbgliveblocks(), live) << r.what;
  }
  // The arc entry finds the plane only of a planar curve or a line; the negative distance goes on unchanged.
  for (const auto &c : {std::make_pair(&space.cv, -2), std::make_pair(&line.cv, 0)}) {
    Result o;
    o.cv = &sentinel;
    const BSboolean ok = arc_offset(c.first, -2, left, &o);
    EXPECT_EQ(o.rc, c.second);
    EXPECT_EQ(ok, c.second == 0 ? BSTRUE : BSFALSE);
    EXPECT_EQ(o.count, 0);
    if (c.second != 0) {
      EXPECT_EQ(o.cv, &sentinel);
      o.cv = nullptr;
    } else {
      EXPECT_NEAR(o.cv->poles[0], 2, 1e-12);
    }
  }
}

// Closed curves, unclamped and on shifted knots, offset outwards, inwards and past their inradius; a tilted
// copy not flagged planar is offset in its own plane; a polyline whose offset starts on a leg that crosses a spike
// thinner than twice the distance must not keep that leg's stretch, and one offset past its inradius, whose offset
// crosses itself with every stretch a loop, keeps nothing. The offset lies at the distance, on the side point's
// side, and has no self-intersection left.
TEST(SingleOffset, ClosedCurvesBothSidesAndTilted) {
  auto round = closed_cubic(10), shifted = closed_cubic(10, 0.37), notched = closed_cubic(10, 1.0, 0.2);
  auto tilted = closed_cubic(10);
  // A triangle with a spike out of its top right corner, starting at the spike's foot, where the spike is 1.1 wide.
  TestCurve spiked(2, {2, 2, 0, 6.375, 6.25, 0, -9.75, -15, 0, -15, 2, 0, 2, 2, 0}, {0, 0, 1, 2, 3, 4, 4});
  spiked.cv.planar = 1;
  spiked.cv.phy_closed = 1;
  // Rotated 40 degrees about the x axis and moved away from the origin.
  const double c = std::cos(0.7), s = std::sin(0.7);
  for (int i = 0; i < tilted->n(); ++i) {
    double *p = &tilted->poles[3 * i];
    const double y = p[1];
    p[1] = c * y + 1, p[2] = s * y + 5, p[0] += 2;
  }
  tilted->cv.planar = 0;
  const double outside[3] = {30, 1, 0}, centre[3] = {0.5, 0.2, 0}, tilted_out[3] = {2, c * 30 + 1, s * 30 + 5};
  const double in_triangle[3] = {-6, -2, 0};
  // nearer: the offset comes nearer to the side point than the curve does. corner: the corner mode (1 round).
  const struct Row {
    const char *what;
    const VOQbsp_curve *cv;
    double d;
    const double *side;
    bool nearer;
    double tol;
    int corner = 0;
    int rc = 0;
  } rows[] = {
      {"unclamped, outwards", &round->cv, 2, outside, true, 2e-3},
      {"unclamped, inwards", &round->cv, 2, centre, true, 2e-3},
      {"shifted knots, outwards", &shifted->cv, 1, outside, true, 2e-3},
      {"negative distance with the outer point", &shifted->cv, -1, outside, false, 2e-3},
      {"inwards past the inradius", &round->cv, 12, centre, true, -1},
      {"flat, inwards past the tip's curvature", &notched->cv, 1.2, centre, true, 2e-3},
      {"tilted, not flagged planar", &tilted->cv, 1.5, tilted_out, true, 2e-3},
      {"at dist_tol", &round->cv, 1e-6, outside, true, 2e-3},
      {"round corners, inwards, starting across a thin spike", &spiked.cv, 2, in_triangle, true, 2e-3, 1},
      {"round corners, inwards past its inradius: every stretch is loop", &spiked.cv, 14.125, in_triangle, true, 0, 1,
       BSRC_NO_JOIN},
  };
  const int live = BSdbgliveblocks();
  for (const Row &r : rows) {
    // The heap is checked once the row's result is released, also after a row ends early.
    [&] {
      Result o;
      offsetd(r.cv, r.d, r.side, 2, &o, r.corner);
      if (r.rc != 0) {
        EXPECT_EQ(o.rc, r.rc) << r.what;
        EXPECT_TRUE(o.cv == nullptr && o.count == 0) << r.what;
        return;
      }
      ASSERT_TRUE(o.rc == 0 || o.rc == BSRC_OFFSET_PASSES) << r.what << " rc " << o.rc;
      ASSERT_NE(o.cv, nullptr) << r.what;
      int rc = 0, n_int = 0, n_over = 0;
      double *f = nullptr, *g = nullptr, *a = nullptr, *b = nullptr, *e = nullptr, *h = nullptr;
      BScv_slfint(&rc, o.cv, &n_int, &f, &g, &n_over, &a, &b, &e, &h);
      for (double *p : {f, g, a, b, e, h}) BSdbgfree(p);
      EXPECT_EQ(rc, 0) << r.what;
      EXPECT_EQ(n_int, 0) << r.what;
      if (r.tol < 0) return;
      EXPECT_LT(distance_error(r.cv, o.cv, std::fabs(r.d)), r.tol) << r.what;
      EXPECT_EQ(dist_to(o.cv, r.side) < dist_to(r.cv, r.side), r.nearer) << r.what;
      if (r.cv == &tilted->cv)
        for (int i = 0; i < o.cv->num_poles; ++i) {
          const double *p = &o.cv->poles[3 * i], w = o.cv->rational ? o.cv->weights[i] : 1.0;
          EXPECT_NEAR(-s * (p[1] / w - 1) + c * (p[2] / w - 5), 0, 1e-9) << r.what << " pole " << i;
        }
    }();
    EXPECT_EQ(BSdbgliveblocks(), live) << r.what;
  }
}

// Open polylines take a road of their own when the side is found from the side point: the same offset, knots and
// poles, as the general road gives with the plane's normal given, from either side. Rows: both planarity flags
// (the side flag then comes from the legs or from the chord), a level away from z = 0, knots of their own, a
// shallow inner corner (the general road's crossing is only as good as the distance tolerance there), a long
// mitre reaching across the next legs (a loop cut away), and a corner turning back.
TEST(SingleOffset, PolylinesAsTheGeneralRoad) {
  const auto poly = [](std::vector<double> xy, double z, int planar, std::vector<double> knots = {}) {
    std::vector<double> p;
    const int n = static_cast<int>(xy.size() / 2);
    for (int i = 0; i < n; ++i) p.insert(p.end(), {xy[2 * i], xy[2 * i + 1], z});
    if (knots.empty()) {
      knots = {0};
      for (int i = 0; i < n; ++i) knots.push_back(i);
      knots.push_back(n - 1);
    }
    auto c = std::make_unique<TestCurve>(2, p, knots);
    c->cv.planar = static_cast<std::uint16_t>(planar);
    return c;
  };
  const std::vector<double> zig = {0, -1, 3, 1.2, 5.8, -0.7, 9.5, 1.4, 12.1, -0.6, 15, 0.9};
  const auto flat = poly(zig, 0, 1), unflagged = poly(zig, 0, 0), level = poly(zig, 2.5, 1);
  const auto knotted = poly(zig, 0, 1, {0, 0, 0.3, 1.1, 1.2, 2.9, 3.5, 3.5});
  const auto shallow = poly({0, 0, 5, 0, 10, -0.01, 15, 2}, 0, 1);
  const auto spike = poly({0, 0, 4, 0, 4.6, 0.5, 5.2, 0, 9, 0}, 0, 1);
  const auto back = poly({0, 0, 6, 0, 0.5, 0.3, 0, 4}, 0, 1);
  // Short legs turning tighter than the distance: the offset ends inside a loop that no crossing closes.
  const auto hook = poly({0, 0, -0.238, 0.181, -0.227, -1.008, 1.704, -0.003}, 0, 1);
  const double right_of_hook[3] = {-0.119 + 0.01 * 0.181 / 0.299, 0.0905 + 0.01 * 0.238 / 0.299, 0};
  const double below[3] = {1, -3, 0}, above[3] = {1, 3, 0}, below_high[3] = {1, -3, 2.5};
  const double under_chord[3] = {4, -0.2, 0};
  const struct Row {
    const char *what;
    const VOQbsp_curve *cv;
    double d;
    const double *side;
    BSboolean flag;
  } rows[] = {
      {"zig-zag, right of its legs", &flat->cv, 0.4, below, BSTRUE},
      {"zig-zag, left of its legs", &flat->cv, 0.4, above, BSTRUE},
      {"negative distance", &flat->cv, -0.4, below, BSFALSE},
      {"not flagged planar, chord and leg agree", &unflagged->cv, 0.4, above, BSTRUE},
      {"not flagged planar, chord and leg differ", &unflagged->cv, 0.4, under_chord, BSFALSE},
      {"level at z = 2.5", &level->cv, 0.7, below_high, BSTRUE},
      {"knots of its own", &knotted->cv, 0.4, below, BSTRUE},
      {"shallow inner corner", &shallow->cv, 0.5, below, BSTRUE},
      {"long mitre across the next legs", &spike->cv, 1.5, below, BSTRUE},
      {"corner turning back", &back->cv, 0.3, below, BSTRUE},
      {"end inside a loop that no crossing closes", &hook->cv, 1.534, right_of_hook, BSTRUE},
  };
  const double up[3] = {0, 0, 1};
  for (const Row &r : rows) {
    Result o;
    offsetd(r.cv, r.d, r.side, 2, &o);
    ASSERT_EQ(o.rc, 0) << r.what;
    EXPECT_EQ(o.flag, r.flag) << r.what;
    double best = INFINITY;
    for (const BSboolean right : {BSTRUE, BSFALSE}) {
      Result g;
      g.flag = right;
      BScvoffsetd(r.cv, std::fabs(r.d), r.side, BSTRUE, 0, 2, &g.flag, up, &g.cv, &g.count, &g.pieces, &g.rc);
      ASSERT_EQ(g.rc, 0) << r.what;
      if (g.cv->num_poles != o.cv->num_poles || g.cv->planar != o.cv->planar) continue;
      double worst = 0;
      for (int i = 0; i < 3 * o.cv->num_poles; ++i)
        worst = std::max(worst, std::fabs(g.cv->poles[i] - o.cv->poles[i]));
      for (int i = 0; i < o.cv->num_knots; ++i) worst = std::max(worst, std::fabs(g.cv->knots[i] - o.cv->knots[i]));
      best = std::min(best, worst);
    }
    EXPECT_LT(best, 1e-12) << r.what;
  }
}

// The jumps of an offset whose sides lie apart: interior knots repeated the order's number of times.
int jumps_of(const VOQbsp_curve &cv) {
  int jumps = 0;
  const int k = cv.order, n = cv.num_poles;
  for (int i = k; i < n;) {
    int m = 1;
    while (i + m < n && cv.knots[i + m] == cv.knots[i]) ++m;
    if (m >= k && cv.knots[i] > cv.knots[k - 1] && cv.knots[i] < cv.knots[n]) {
      const double wa = cv.rational ? cv.weights[i - 1] : 1, wb = cv.rational ? cv.weights[i + m - k] : 1;
      jumps += std::hypot(cv.poles[3 * (i - 1)] / wa - cv.poles[3 * (i + m - k)] / wb,
                          cv.poles[3 * (i - 1) + 1] / wa - cv.poles[3 * (i + m - k) + 1] / wb) > 1e-6;
    }
    i += m;
  }
  return jumps;
}

// Curves whose pieces do not meet: a knot of full multiplicity with its sides apart. Each stretch between the jumps
// is offset by itself, its corners joined and its loops cut out, and the offset jumps where the curve does (but at
// a closed curve's closing point, which joins its last stretch to its first); a stretch that is a point has none,
// and a full knot whose sides meet is an ordinary corner. On every road (corner modes, loop modes, both sides, the
// normal given or found from a side point, polynomial and rational, far out and tiny) an answer of rc 0 lies within
// the distance plus the offset tolerance of the curve with round corners, and no nearer than the distance less it
// once its loops are cut out.
TEST(SingleOffset, CurvesThatJump) {
  auto make = [](int order, std::vector<double> xy, std::vector<double> knots, std::vector<double> w = {},
                 double scale = 1, double dx = 0, double dy = 0) {
    std::vector<double> p;
    for (std::size_t i = 0; i < xy.size(); i += 2) p.insert(p.end(), {xy[i] * scale + dx, xy[i + 1] * scale + dy, 0});
    auto c = std::make_unique<TestCurve>(order, p, knots, w);
    c->cv.planar = 1;
    return c;
  };
  // The fuzz find's polyline: a leg, a jump of 26, a leg turning sharp right into one a fiftieth of the distance.
  const std::vector<double> fuzz = {5.375, 13.75, 12.5, -9.5, -13.625, -7, -10.75, -15, -11, -15};
  const std::vector<double> fuzz_knots = {-1.75, -1.75, -1.53125, -1.53125, -1.46875, 2.59375, 2.59375};
  const std::vector<double> cubic = {0, 0, 3, 1, 6, 0, 9, 2, 20, 5, 23, 4, 26, 6, 29, 3};
  const std::vector<double> cubic_knots = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2};
  const struct Row {
    const char *what;
    std::unique_ptr<TestCurve> c;
    double d;
    int jumps;  // of the offset
  } rows[] = {
      {"polyline", make(2, fuzz, fuzz_knots), 6, 1},
      {"polyline far out", make(2, fuzz, fuzz_knots, {}, 1, 3.5e6, -1.25e6), 6, 1},
      {"polyline tiny", make(2, fuzz, fuzz_knots, {}, 1e-3), 6e-3, 1},
      {"rational quadratic", make(3, {5.375, 13.75, 8.9375, 2.125, 12.5, -9.5, -13.625, -7, -12.1875, -11, -10.75, -15,
                                      -10.875, -15, -11, -15},
                                  {0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 3}, {1, 3, 1, 1, 0.3, 1, 2, 1}),
       6, 1},
      {"rational cubics, weights 1e-3 to 1e3", make(4, cubic, cubic_knots, {1e-3, 0.1, 1, 10, 1e3, 100, 10, 1}),
       0.4, 1},
      {"rational cubics, an end weight below 0.01", make(4, cubic, cubic_knots, {0.008, 1, 3, 1, 1, 2e-3, 0.5, 1e3}),
       0.4, 1},
      {"a stretch that is a point between two jumps",
       make(2, {0, 0, 4, 0, 6, 1, 6, 1, 8, 0, 12, 0}, {0, 0, 1, 1, 2, 2, 3, 3}), 0.5, 1},
      {"a full knot whose sides meet", make(3, {0, 0, 2, 0, 4, 0, 4, 0, 4, 2, 4, 4}, {0, 0, 0, 1, 1, 1, 2, 2, 2}), 0.5,
       0},
      {"closed, jumping once", make(2, {0, 0, 10, 0, 10, 10, 8, 10, 0, 10, 0, 0}, {0, 0, 1, 2, 2, 3, 4, 4}), 0.5, 0},
  };
  const double up[3] = {0, 0, 1};
  for (const Row &r : rows) {
    double scale = 1;
    for (int i = 0; i < r.c->n(); ++i) scale = std::max({scale, std::fabs(r.c->pole(i, 0)), std::fabs(r.c->pole(i, 1))});
    const double tol = 2 * BStoltab[bstol::offset_tol] + 1e-9 * scale;
    for (int corner : {0, 1})
      for (int loops : {0, 1, 2})
        for (const BSboolean right : {BSTRUE, BSFALSE}) {
          SCOPED_TRACE(testing::Message() << r.what << ", corners " << corner << ", loops " << loops << ", side "
                                          << int(right));
          Result o;
          o.flag = right;
          BScvoffsetd(&r.c->cv, r.d, up, BSTRUE, corner, static_cast<std::int16_t>(loops), &o.flag, up, &o.cv,
                      &o.count, &o.pieces, &o.rc);
          if (o.rc != 0) {
            ADD_FAILURE() << "rc " << o.rc;
            continue;
          }
          EXPECT_EQ(jumps_of(*o.cv), r.jumps);
          const double a = o.cv->knots[o.cv->order - 1], b = o.cv->knots[o.cv->num_poles];
          double least = INFINITY, most = 0;
          for (int j = 0; j <= 400; ++j) {
            double q[3];
            ref_point(*o.cv, a + (b - a) * j / 400, q);
            const double t = dist_to(&r.c->cv, q);
            least = std::min(least, t), most = std::max(most, t);
          }
          if (corner == 1) {
            EXPECT_LE(most, r.d + tol);
          }
          if (loops != 0) {
            EXPECT_GE(least, r.d - tol);
          }
        }
  }
}

// A side point on the extension of one of the square's edges through its start corner is nearest to the seam,
// where that edge's tangent runs straight at it: the other end's tangent decides, and the offset goes outwards.
TEST(SingleOffset, SeamTangentOfAClosedCurve) {
  auto sq = square();
  sq->cv.phy_closed = 1;
  for (const auto &side : {std::vector<double>{-1, 0, 0}, std::vector<double>{0, -1, 0}}) {
    for (const auto &entry : {0, 1}) {
      Result o;
      entry ? (void)arc_offset(&sq->cv, 1, side.data(), &o) : offsetd(&sq->cv, 1, side.data(), 2, &o);
      ASSERT_EQ(o.rc, 0) << side[0] << " entry " << entry;
      const auto [lo, hi] = std::minmax_element(o.cv->poles, o.cv->poles + 3 * o.cv->num_poles);
      EXPECT_TRUE(std::fabs(*lo + 1) < 1e-9 && std::fabs(*hi - 11) < 1e-9) << side[0] << " entry " << entry << ": " << *lo << " " << *hi;
    }
  }
}

// The least distance of 201 samples of off from c.
double least_distance(const TestCurve &c, const VOQbsp_curve &off) {
  double least = INFINITY;
  const double a = off.knots[off.order - 1], b = off.knots[off.num_poles];
  for (int j = 0; j <= 200; ++j) {
    double q[3];
    ref_point(off, a + (b - a) * j / 200, q);
    least = std::min(least, dist_to(&c.cv, q));
  }
  return least;
}

// Open curves whose offset ends inside a loop that no crossing closes: it bends tighter than the distance at an
// end (a curl), its end keeps the distance only just and falls inside beyond (a shallow start), or a stub that
// keeps the distance leads into the loop (a tiny wave). The end is cut back to where the offset leaves the loop:
// no point of the offset lies nearer to the curve than the distance less twice the offset tolerance, at either
// end, far from the origin, tiny and rational, in both loop modes; the uncut end stays where it was, on the
// offset of the curve's end, and the offset keeps the curve's range.
TEST(SingleOffset, OpenEndsCutOutOfTheirLoops) {
  // Knots 0, 1, 2 ... between clamped ends unless given (and then not to be reversed).
  auto make = [](int order, std::vector<double> xy, double scale, double dx, double dy, bool reversed,
                 std::vector<double> w = {}, std::vector<double> knots = {}) {
    const int n = static_cast<int>(xy.size() / 2);
    std::vector<double> poles;
    for (int i = 0; i < n; ++i) {
      const int j = reversed ? n - 1 - i : i;
      poles.insert(poles.end(), {xy[2 * j] * scale + dx, xy[2 * j + 1] * scale + dy, 0.0});
    }
    if (reversed) std::reverse(w.begin(), w.end());
    if (knots.empty()) {
      knots.assign(order, 0.0);
      for (int i = 1; i <= n - order; ++i) knots.push_back(i);
      knots.insert(knots.end(), order, n - order + 1);
    }
    auto c = std::make_unique<TestCurve>(order, poles, knots, w);
    c->cv.planar = 1;
    return c;
  };
  const std::vector<double> curl = {0, 0, 1, 0, 1, 1, 1, 5, 1, 10}, shallow = {0, -2, 3, -4, 6, 2, 11, -2};
  const std::vector<double> wave = {
      0,                    -0.0029640268731059762, 0.0036808146358575005, 0.0032023119954106868,
      0.006472856732589005, -0.0019295756700396926, 0.011746585711658111,  0.0044083499370672881,
      0.016239715419730689, -0.0047788698530109629, 0.020895550280516859,  0.0045135044811575511,
      0.025747102659816376, -0.0010629318578393933, 0.028606154058308318,  0.0029405515417676221,
      0.033526499543082122, -0.0040721920577586387, 0.038057055776446594,  0.004397052739497676,
      0.042131070690133179, -0.0026058571931204299, 0.047239596065995176,  0.0033088344444050896};
  const std::vector<double> wave_knots = {0, 0, 0, 0, 0, 0.59640154211848762, 1.3584265547281167,
                                          3.0184820892989359, 4.8057506841927085, 5.3076432905490281,
                                          7.1968556625968469, 7.6780027098280454, 8.2460356764920171,
                                          8.2460356764920171, 8.2460356764920171, 8.2460356764920171,
                                          8.2460356764920171};
  const struct Row {
    const char *what;
    std::unique_ptr<TestCurve> c;
    double d;
    BSboolean side;  // about the normal +z
    bool at_start;   // the end cut back
  } rows[] = {
      {"curl at the start", make(3, curl, 1, 0, 0, false), 1.5, BSFALSE, true},
      {"curl at the end", make(3, curl, 1, 0, 0, true), 1.5, BSTRUE, false},
      {"curl far out", make(3, curl, 1, 4e6, -2e6, false), 1.5, BSFALSE, true},
      {"tiny curl", make(3, curl, 0.01, 0, 0, false), 0.015, BSFALSE, true},
      {"rational curl", make(3, curl, 1, 0, 0, false, {1, 2, 0.5, 1, 1}), 1.5, BSFALSE, true},
      {"shallow start", make(4, shallow, 1, 0, 0, false), 2.5, BSFALSE, true},
      {"shallow end", make(4, shallow, 1, 0, 0, true), 2.5, BSTRUE, false},
      {"tiny wave", make(5, wave, 1, 0, 0, false, {}, wave_knots), 0.0066411709146883312, BSTRUE, true},
  };
  const double tol = 2 * BStoltab[bstol::offset_tol], up[3] = {0, 0, 1}, none[3] = {0, 0, 0};
  for (const Row &r : rows) {
    // The side as given about the normal +z, or by a point just off the middle of the curve on that side.
    double mid[6], side[3], end[6];
    int rc = 0;
    BScveval_n(&r.c->cv, 0.5 * (r.c->start() + r.c->end()), 1, mid, &rc);
    const double s = (r.side ? 1e-3 : -1e-3) * r.d / std::hypot(mid[3], mid[4]);
    side[0] = mid[0] + s * mid[4], side[1] = mid[1] - s * mid[3], side[2] = 0;
    // The end that stays: the curve's end moved by d across its tangent.
    BScveval_n(&r.c->cv, r.at_start ? r.c->end() : r.c->start(), 1, end, &rc);
    const double t = (r.side ? 1 : -1) * r.d / std::hypot(end[3], end[4]);
    const double kept[2] = {end[0] + t * end[4], end[1] - t * end[3]};
    for (const BSboolean given : {BSTRUE, BSFALSE})
      for (const std::int16_t mode : {1, 2}) {
        SCOPED_TRACE(testing::Message() << r.what << " mode " << mode << " side given " << given);
        Result o;
        o.flag = r.side;
        BScvoffsetd(&r.c->cv, r.d, given ? none : side, given, 0, mode, &o.flag, up, &o.cv, &o.count, &o.pieces,
                    &o.rc);
        ASSERT_EQ(o.rc, 0);
        EXPECT_GE(least_distance(*r.c, *o.cv), r.d - tol);
        EXPECT_EQ(o.cv->knots[o.cv->order - 1], r.c->start());
        EXPECT_EQ(o.cv->knots[o.cv->num_poles], r.c->end());
        double q[3];
        ref_point(*o.cv, r.at_start ? o.cv->knots[o.cv->num_poles] : o.cv->knots[o.cv->order - 1], q);
        EXPECT_LT(std::hypot(kept[0] - q[0], kept[1] - q[1]), 1e-9 * (1 + std::fabs(kept[0]) + std::fabs(kept[1])));
      }
  }
  // A failure anywhere on the way, the cut included, hands nothing back and leaves nothing allocated.
  for_each_failure(
      [&] {
        auto o = std::make_unique<Result>();
        o->flag = rows[0].side;
        BScvoffsetd(&rows[0].c->cv, rows[0].d, none, BSTRUE, 0, 1, &o->flag, up, &o->cv, &o->count, &o->pieces,
                    &o->rc);
        return o;
      },
      [](const Result &o, int, bool injected) {
        EXPECT_TRUE(o.rc == 0 || injected);
        EXPECT_EQ(o.rc == 0, o.cv != nullptr);
      });
}

// Polylines with round corners whose end leg is shorter than the mitre of the inner corner before it: the leg's
// offset lies wholly within the distance of its neighbour, and the offset ends at the mitre point. A bridge over
// the corner to that offset was answered with rc 0 though no loop closed it. At either end, far out, tiny and
// rational with an end weight below 0.01, in both loop modes: no point of the offset comes nearer to the curve
// than the distance less twice the offset tolerance.
TEST(SingleOffset, EndLegsEatenByAnInnerCorner) {
  const std::vector<double> xy = {0.41248986044726965, 0.27066200611512276, 0.70147944718399058, 0.88843402091677959,
                                  0.38542336755063622, 0.22289242754444591, 0.37641752071726486, 0.34681943476165067};
  const std::vector<double> knots = {0, 0, 0.095366961843217232, 0.2616270758497205, 0.38517057621019157,
                                     0.38517057621019157};
  const double d = 0.090127364162805923;
  auto make = [&](double scale, double dx, double dy, bool reversed, std::vector<double> w) {
    std::vector<double> poles, k;
    for (int i = 0; i < 4; ++i) {
      const int j = reversed ? 3 - i : i;
      poles.insert(poles.end(), {xy[2 * j] * scale + dx, xy[2 * j + 1] * scale + dy, 0.0});
    }
    for (int i = 0; i < 6; ++i) k.push_back(reversed ? knots[5] - knots[5 - i] : knots[i]);
    if (reversed) std::reverse(w.begin(), w.end());
    auto c = std::make_unique<TestCurve>(2, poles, k, w);
    c->cv.planar = 1;
    return c;
  };
  const struct Row {
    const char *what;
    std::unique_ptr<TestCurve> c;
    double d;
    BSboolean side;  // about the normal +z
  } rows[] = {
      {"the last leg", make(1, 0, 0, false, {}), d, BSTRUE},
      {"the first leg", make(1, 0, 0, true, {}), d, BSFALSE},
      {"far out", make(1, 4e6, -2e6, false, {}), d, BSTRUE},
      {"tiny", make(1e-3, 0, 0, true, {}), 1e-3 * d, BSFALSE},
      {"uneven weights", make(1, 0, 0, false, {1, 30, 0.2, 0.005}), d, BSTRUE},
  };
  const double tol = 2 * BStoltab[bstol::offset_tol], up[3] = {0, 0, 1}, none[3] = {0, 0, 0};
  for (const Row &r : rows)
    for (const std::int16_t mode : {1, 2}) {
      SCOPED_TRACE(testing::Message() << r.what << " loop mode " << mode);
      Result o;
      o.flag = r.side;
      BScvoffsetd(&r.c->cv, r.d, none, BSTRUE, 1, mode, &o.flag, up, &o.cv, &o.count, &o.pieces, &o.rc);
      ASSERT_EQ(o.rc, 0);
      EXPECT_GE(least_distance(*r.c, *o.cv), r.d - tol);
    }
}

std::vector<std::string> g_seen;
const char *g_fail = nullptr;
void record_and_fail(const char *name, int *rc) {
  g_seen.push_back(name);
  if (g_fail && rc && *rc == 0 && std::string(name) == g_fail) *rc = BSRC_ZERO_WEIGHT;
}

// The start test runs only for a closed curve offset by more than dist_tol; a failure in any callee, or at any
// heap request, passes up with the outputs untouched and nothing left allocated.
TEST(SingleOffset, StartTestAndFailures) {
  auto round = closed_cubic(10), notched = closed_cubic(10, 1.0, 0.2);
  const double outside[3] = {30, 1, 0}, centre[3] = {0.5, 0.2, 0};
  const BSfaulthandler previous = BSsetfaulthook(record_and_fail);
  for (const auto &row : {std::make_pair(1e-6, false), std::make_pair(2e-6, true)}) {
    g_seen.clear();
    Result o;
    offsetd(&round->cv, row.first, outside, 2, &o);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(std::find(g_seen.begin(), g_seen.end(), "bslngen") != g_seen.end(), row.second) << row.first;
  }
  const int live = BSdbgliveblocks();
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    for (const char *name : {"bscnvtomkt", "bsofnorm", "bsfndoffdir", "bsmdstptcv", "bsprj_cv_pl", "bstrans2",
                             "bscvoton", "bsxycvoff", "bscvntoo", "bststcvdegn", "bslngen", "bscvcvint", "bscv_slfint",
                             "bsclcvshffl", "bsofrmlp3", "bstst_plan", "bscvoff3d"}) {
      g_fail = name;
      int hits = 0;
      for (const double *side : {outside, centre}) {
        VOQbsp_curve sentinel{};
        Result o;
        o.cv = &sentinel;
        offsetd(side == centre ? &notched->cv : &round->cv, side == centre ? 1.2 : 2, side, 2, &o);
        hits += o.rc != 0;
        EXPECT_TRUE(o.rc == 0 || o.cv == &sentinel) << name;
        if (o.cv == &sentinel) o.cv = nullptr;
      }
      EXPECT_GT(hits, 0) << name;
      EXPECT_EQ(BSdbgliveblocks(), live) << name;
    }
  }
  g_fail = nullptr;
  BSsetfaulthook(previous);
  // Every heap request failed in turn (a sample of them on a long run): a clean failure or the full result.
  BSallocfailat(1 << 30);
  {
    Result o;
    offsetd(&notched->cv, 1.2, centre, 2, &o);
  }
  const int requests = (1 << 30) - BSallocfailpending();
  BSallocfailat(0);
  for (int at = 1; at <= requests; at += 1 + requests / 150) {
    BSallocfailat(at);
    {
      Result o;
      offsetd(&notched->cv, 1.2, centre, 2, &o);
      BSallocfailat(0);
      EXPECT_EQ(o.rc != 0 && o.rc != BSRC_OFFSET_PASSES, o.cv == nullptr) << at;
    }
    EXPECT_EQ(BSdbgliveblocks(), live) << at;
  }
}

// A picture for a reader: an arch whose top bends tighter than the distance, offset under it, so that its offset
// crosses itself; the arch black, the offset red and the removed loop blue.
TEST(SingleOffset, WritesAPictureOfARemovedLoop) {
  TestCurve arch(4, {0, 0, 0, 2, 10.0 / 3, 0, 4, 10.0 / 3, 0, 6, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  arch.cv.planar = 1;
  const double under[3] = {3, 1, 0}, d = 2.5;
  Result o;
  offsetd(&arch.cv, d, under, 1, &o);
  ASSERT_EQ(o.rc, 0);
  ASSERT_GT(o.count, 0);
  EXPECT_LT(distance_error(&arch.cv, o.cv, d), 1e-3);
  std::FILE *f = svg_open("single_offset.svg", "-3 -5 12 8");
  ASSERT_NE(f, nullptr);
  svg_curve(f, arch.cv, "black");
  svg_curve(f, *o.cv, "red");
  for (int i = 0; i < o.count; ++i) svg_curve(f, *o.pieces[i], "blue");
  EXPECT_TRUE(svg_close(f));
}

}  // namespace
