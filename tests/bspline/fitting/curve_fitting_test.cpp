// Curve fitting through or near points: refusals, settled point sets, closure, the plane of the points and its
// end tangents, points giving way to end tangents, the span search and rational data.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "bspline/fitting.h"
#include "bspline/intersect.h"
#include "bspline/measure.h"

namespace {

using Vec = std::vector<double>;

// One request with every argument at hand; the curve it leaves is released with it.
struct Request {
  Vec pts, w, u, knots, sv{1, 0, 0}, ev{1, 0, 0};
  std::vector<int> spans;
  int n, k = 4, end_type = 2, start_code = 0, end_code = 0, search = 1, periodic = 0, idx = -7, rc = 0;
  double tol = 0.0, mean = -7, maxd = -7, maxp[3] = {-7, -7, -7};
  VOQbsp_curve *cv = nullptr, **out = &cv;
  double *pts_in = nullptr, *maxp_out = maxp;
  explicit Request(Vec p) : pts(std::move(p)), n(static_cast<int>(pts.size() / 3)), pts_in(pts.data()) {}
  ~Request() {
    if (cv) BSfreevoqcv(cv, &rc);
  }
  int run() {
    auto ptr = [](Vec &v) { return v.empty() ? nullptr : v.data(); };
    BSfitratcv(n, pts_in, ptr(w), ptr(u), spans.empty() ? nullptr : spans.data(), static_cast<short>(k),
               static_cast<int>(knots.size()), ptr(knots), static_cast<short>(periodic), end_type, start_code,
               end_code, sv.data(), ev.data(), 0, 0, 1.0, 1.0, 0, 0.0, 0, static_cast<short>(search), tol, out, &mean,
               &maxd, &idx, maxp_out, &rc);
    return rc;
  }
  void weigh(const Vec &weights) {
    w = weights;
    for (int i = 0; i < 3 * n; ++i) pts[i] *= w[i / 3];
  }
  double at(double t, int c) const {
    double p[3];
    int r = 0;
    BScveval_n(cv, t, 0, p, &r);
    return p[c];
  }
};

Vec wave(int n, double z = 0.5) {
  Vec p;
  for (int i = 0; i < n; ++i) p.insert(p.end(), {3 * std::cos(0.4 * i), 2 * std::sin(0.4 * i), z * 0.16 * i * i});
  return p;
}

TEST(CurveFitting, Refusals) {
  const struct {
    std::function<void(Request &)> set;
    int rc;
    bool untouched;  // refused before any output is written
  } cases[] = {
      {[](Request &r) { r.n = 0; }, -2, true},
      {[](Request &r) { r.pts_in = nullptr; }, -2, true},
      {[](Request &r) { r.out = nullptr; }, -2, true},
      {[](Request &r) { r.maxp_out = nullptr; }, -2, true},
      {[](Request &r) { r.w.assign(r.n, 1.0), r.w[3] = 0.0; }, 49, true},
      {[](Request &r) { r.w.assign(r.n, 1.0), r.w[2] = NAN; }, -2, true},
      {[](Request &r) { r.k = 1; }, -2, false},
      {[](Request &r) { r.end_type = 1; }, -2, false},  // fixed ends without parameters
      {[](Request &r) { r.k = 3, r.n = 2; }, -2, false},
      {[](Request &r) { r.pts[4] = NAN; }, -2, false},
      {[](Request &r) { r.search = 0, r.tol = NAN; }, -2, false},
      {[](Request &r) { r.periodic = 1, r.n = 3, r.pts[6] = r.pts[0], r.pts[7] = r.pts[1], r.pts[8] = r.pts[2]; }, -2, false},
      {[](Request &r) { r.periodic = 1; }, -2, false},  // open ends
      {[](Request &r) { r.spans.assign(r.n, 3), r.knots = {0, 0, 0, 0, 1, 1, 1, 1}; }, -2, false},
      {[](Request &r) { r.start_code = r.end_code = 1, r.knots = {0, 0, 0, 0, 0.5, 1, 1, 1, 1}; }, -2, false},
      // A repeated point leaves the search's last span count no fit: its curve before that is handed back.
      {[](Request &r) {
         r.pts.insert(r.pts.begin() + 12, {r.pts[9], r.pts[10], r.pts[11]});
         r.n = 9, r.pts_in = r.pts.data(), r.search = 0;
       }, -1, false},
      // Its first span count has none either: no curve is handed back.
      {[](Request &r) {
         r.pts.resize(15);
         for (int i : {9, 9, 6, 6, 3, 3}) r.pts.insert(r.pts.begin() + i, {r.pts[i], r.pts[i + 1], r.pts[i + 2]});
         r.n = 11, r.pts_in = r.pts.data(), r.search = 0;
       }, -1, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(&c - cases);
    Request r(wave(8));
    c.set(r);
    EXPECT_EQ(r.run(), c.rc);
    EXPECT_EQ(r.mean == -7 && r.maxp[0] == -7, c.untouched);
    // A curve handed back after a failure is whole, and the deviations reported are its own.
    if (!r.cv) continue;
    const int P = r.cv->num_poles;
    EXPECT_EQ(r.cv->num_knots, P + r.k);
    for (int i = 0; i < 3 * P; ++i) EXPECT_TRUE(std::isfinite(r.cv->poles[i])) << i;
    double mean = 0, maxd = 0, maxp[3];
    int idx = -1, rc = 0;
    BSfitraterr(r.n, r.pts_in, r.w.empty() ? nullptr : r.w.data(), r.cv, &mean, &maxd, &idx, maxp, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_NEAR(r.maxd, maxd, 1e-12);
    EXPECT_NEAR(r.mean, mean, 1e-12);
  }
}

TEST(CurveFitting, SettledPointSets) {
  // All points at one place: k poles, or as many as the given knots ask for.
  for (bool with_knots : {false, true}) {
    Request r(Vec{1, 2, 3, 1, 2, 3, 1, 2, 3});
    r.weigh({2, 2, 2});
    r.search = 0;
    if (with_knots) r.knots = {0, 0, 0, 0, 0.3, 0.6, 1, 1, 1, 1};
    ASSERT_EQ(r.run(), 0);
    EXPECT_EQ(r.cv->num_poles, with_knots ? 6 : 4);
    EXPECT_EQ(r.maxp[0] + r.maxp[2], 4.0);
    EXPECT_EQ(r.maxd + r.mean, 0.0);
    EXPECT_NEAR(r.at(r.cv->knots[4], 1), 2.0, 1e-15);
  }
  // Order 2 without search: the polygon through the unweighted points, never rational.
  Request r(wave(6));
  r.k = 2;
  r.weigh({1, 2, 3, 1, 2, 3});
  ASSERT_EQ(r.run(), 0);
  ASSERT_EQ(r.cv->num_poles, 6);
  EXPECT_EQ(r.cv->rational, 0);
  const Vec plain = wave(6);
  for (int i = 0; i < 18; ++i) EXPECT_NEAR(r.cv->poles[i], plain[i], 1e-14);
}

TEST(CurveFitting, EndsThatMeetCloseTheCurve) {
  for (bool rational : {false, true}) {
    Vec p = wave(12, 0.0);
    p.insert(p.end(), {p[0], p[1] + 1e-9, p[2]});
    Request r(p);
    if (rational) r.weigh({1, 1.1, 1.2, 1, 1.1, 1.2, 1, 1.1, 1.2, 1, 1.1, 1.2, 1});
    r.search = 0, r.tol = 1e-3;
    ASSERT_EQ(r.run(), 0);
    EXPECT_EQ(r.cv->phy_closed, 1);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(r.at(r.cv->knots[3], c), r.at(r.cv->knots[r.cv->num_poles], c));
  }
}

TEST(CurveFitting, PlanarPointsAndTheirTangents) {
  // Points in the plane of normal (0, 0.6, 0.8); a start tangent in it, then one leaving it.
  Vec p;
  for (int i = 0; i < 9; ++i) p.insert(p.end(), {1.0 * i, 0.8 * std::sin(0.7 * i), -0.6 * std::sin(0.7 * i)});
  for (double tilt : {0.0, 1e-3}) {
    Request r(p);
    r.start_code = r.end_code = 1;
    r.sv = {3, 1.6 + tilt * 1.8, -1.2 + tilt * 2.4};
    ASSERT_EQ(r.run(), 0);
    EXPECT_NEAR(std::hypot(r.sv[0], r.sv[1], r.sv[2]), 1.0, 1e-15);
    EXPECT_EQ(r.cv->planar, tilt == 0 ? 1 : 0);
    for (int i = 0; i < r.cv->num_poles && tilt == 0; ++i)
      EXPECT_NEAR(r.cv->poles[3 * i + 1] * 0.6 + r.cv->poles[3 * i + 2] * 0.8, 0, 1e-12);
  }
}

TEST(CurveFitting, TangentEndsDropTheirNeighbours) {
  Request r(wave(8));
  r.start_code = r.end_code = 1, r.sv = {0, 2, 0}, r.ev = {-1, 0.5, 1};
  r.u = {0, 0.1, 0.25, 0.4, 0.55, 0.7, 0.9, 1};
  r.knots = {0, 0, 0, 0, 0.3, 0.5, 0.7, 0.8, 1, 1, 1, 1};  // 8 poles for 8 points
  r.spans = {3, 3, 3, 4, 5, 6, 7, 7};
  const Vec pts = r.pts, u = r.u;
  ASSERT_EQ(r.run(), 0);
  EXPECT_EQ(r.pts, pts);
  EXPECT_EQ(r.u, u);
  // The six points left and the two tangents make as many conditions as poles: the curve interpolates them.
  for (int i : {0, 2, 3, 4, 5, 7})
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(r.at(u[i], c), pts[3 * i + c], 1e-10) << i;
  const double *P = r.cv->poles;
  EXPECT_NEAR(std::hypot(P[3] - P[0], P[5] - P[2]), 0, 1e-10);  // the second pole lies along (0, 2, 0)
}

TEST(CurveFitting, SpanSearchAndRationalData) {
  // Tolerance 0 climbs to the most spans (14 for an even order): the outputs name the first point.
  Request r(wave(15));
  r.search = 0;
  ASSERT_EQ(r.run(), 0);
  EXPECT_EQ(r.cv->num_poles, 17);
  EXPECT_EQ(r.maxd + r.idx, 0.0);
  EXPECT_EQ(r.maxp[0], r.pts[0]);
  // The outputs of a search describe its last curve as the general measure does, also for points whose nearest
  // point lies past the end of the span that holds their parameter.
  for (double tol : {1e-4, 1e-3}) {
    Vec spiral;
    for (int i = 0; i < 100; ++i) {
      const double s = i / 99.0, a = 2.5 * s;
      spiral.insert(spiral.end(), {(1 + 4 * s) * std::cos(a), (1 + 4 * s) * std::sin(a), 0.5 * s});
    }
    Request h(spiral);
    h.search = 0, h.tol = tol;
    ASSERT_EQ(h.run(), 0) << tol;
    double mean = 0, maxd = 0, maxp[3];
    int idx = -1, rc = 0;
    BSfitraterr(h.n, spiral.data(), nullptr, h.cv, &mean, &maxd, &idx, maxp, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_NEAR(h.mean, mean, 1e-12 + 1e-9 * mean) << tol;
    EXPECT_NEAR(h.maxd, maxd, 1e-12 + 1e-9 * maxd) << tol;
    EXPECT_EQ(h.idx, idx) << tol;
    EXPECT_LE(h.maxd, tol);
  }
  // A periodic search over three spans starts at two, the fewest a periodic curve has.
  Request closed(Vec{0, 0, 0, 2, 0, 0, 1, 1.5, 0, 0, 0, 0});
  closed.periodic = 1, closed.search = 0, closed.tol = 10;
  ASSERT_EQ(closed.run(), 0);
  EXPECT_EQ(closed.cv->num_poles, 5);
  // Rational interpolation passes the unweighted points; points and weights doubled give the same curve.
  Vec first;
  for (double scale : {1.0, 2.0}) {
    Request q(wave(10));
    q.weigh({scale, 1.5 * scale, 0.7 * scale, scale, 2 * scale, scale, 0.6 * scale, scale, scale, 1.2 * scale});
    ASSERT_EQ(q.run(), 0);
    const Vec plain = wave(10);
    for (int i = 0; i < 10; ++i) {
      double base[3], d = 0, par = 0;
      BSmdstptcv(q.cv, &plain[3 * i], &par, base, &d, &q.rc);
      EXPECT_NEAR(d, 0, 1e-12) << i;
    }
    Vec cart;
    for (int i = 0; i < 3 * q.cv->num_poles; ++i) cart.push_back(q.cv->poles[i] / q.cv->weights[i / 3]);
    for (std::size_t i = 0; i < first.size(); ++i) EXPECT_NEAR(cart[i], first[i], 1e-12);
    first = cart;
  }
}

}  // namespace
