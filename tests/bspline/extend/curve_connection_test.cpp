// Two curves connected end to start, read back by the reference evaluation; refusals and failing allocations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

const double kNaN = std::nan("");

double gap(const double a[3], const double b[3]) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }
void at(const VOQbsp_curve &c, double s, double p[3]) {
  const double a = c.knots[c.order - 1];
  ref_point(c, a + s * (c.knots[c.num_poles] - a), p);
}
// The record and its arrays, byte for byte.
std::string snapshot(const TestCurve &c) {
  std::string s(reinterpret_cast<const char *>(&c.cv), sizeof c.cv);
  for (const std::vector<double> *a : {&c.poles, &c.knots, &c.weights})
    s.append(reinterpret_cast<const char *>(a->data()), a->size() * sizeof(double));
  return s;
}
TestCurve line(double x0, double y0, double x1, double y1) {
  return TestCurve(2, {x0, y0, 0, x1, y1, 0}, {0, 0, 1, 1});
}

struct Outputs {
  VOQbsp_curve *cv[3] = {nullptr, nullptr, nullptr};
  ~Outputs() {
    for (int rc = 0; VOQbsp_curve *c : cv)
      if (c) BSfreevoqcv(c, &rc);
  }
  int connect(const VOQbsp_curve *a, const VOQbsp_curve *b, int mode) {
    int rc = 1;
    BSlineconcvs(a, b, mode, &cv[0], &cv[1], &cv[2], &rc);
    return rc;
  }
};

// With a line its ends are the curves' end points and the copies keep the far ends; without one the curves meet
// at `meet` and keep their far ends, and a moved end pole leaves every other pole and weight as it was. The
// inputs stay byte for byte what they were. A failure at each allocation in turn answers a code of memory with the
// outputs NULL and nothing leaked.
TEST(CurveConnection, Joins) {
  TestCurve x_axis = line(0, 0, 1, 0), touching = line(1, 5e-7, 1, 1), x_long = line(0, 0, 2, 0);
  TestCurve straight3(3, {0, 0, 0, 0.5, 0, 0, 1, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 2, 1});
  TestCurve rising4(4, {2, 1, 0, 2, 1.5, 0, 2, 2, 0, 2, 3, 0}, {0, 0, 0, 0, 2, 2, 2, 2});
  TestCurve above = line(2, 1, 3, 1), overlapping = line(1, 0, 3, 0), up_from_3 = line(3, 0, 3, 1);
  TestCurve arch(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  TestCurve straight_w(3, {0, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 3, 2});
  TestCurve from_origin(3, {1, 0, 0, 2, 0, 0, 3, 0, 0}, {0, 0, 0, 1, 1, 1}), down_to_origin = line(-1, 1, 0, 0);
  TestCurve unclamped(4, {0, 0, 0, 1, 2, 0, 2, -1, 0, 3, 1, 0, 4, 0, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8});
  // A zigzag of 201 legs across y = 0 (crossings at x = 0.5 .. 200.5) ending at (201, 1), and a short line from
  // (205, 0) whose continuation back crosses them all.
  std::vector<double> zp, zk{0};
  for (int i = 0; i <= 201; ++i) zp.insert(zp.end(), {double(i), i % 2 ? 1.0 : -1.0, 0}), zk.push_back(i);
  zk.push_back(201);
  TestCurve zz(2, zp, zk), tail(2, {205, 0, 0, 210, 0, 0}, {0, 0, 0.01, 0.01});
  struct Case {
    const char *what;
    const TestCurve &a, &b;
    int mode;
    double meet[3];  // NaN: a connecting line
  } cases[] = {
      {"ends within 1e-6 meet at the midpoint", x_axis, touching, 0, {1, 2.5e-7, 0}},
      {"rational straight quadratic and cubic extended to their crossing", straight3, rising4, 0, {2, 0, 0}},
      {"parallel straight ends: a line", x_axis, above, 0, {kNaN}},
      {"collinear overlap: halfway from the end to the overlap's end", x_long, overlapping, 0, {2.5, 0, 0}},
      {"over 100 crossings: the one nearest the ends", zz, tail, 0, {200.5, 0, 0}},
      {"mode 2, curved end: a line", arch, up_from_3, 2, {kNaN}},
      {"mode 2, straight rational end along the gap", straight_w, up_from_3, 2, {3, 0, 0}},
      {"mode 3, straight start along the gap", down_to_origin, from_origin, 3, {0, 0, 0}},
      {"a negative mode is a line", straight3, rising4, -4, {kNaN}},
      {"unclamped: the line starts at the end point", unclamped, above, 1, {kNaN}},
  };
  const int live = BSdbgliveblocks();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string a0 = snapshot(c.a), b0 = snapshot(c.b);
    for (int n = 1, hit = 1; hit; ++n) {
      Outputs out;
      BSallocfailat(n);
      const int rc = out.connect(&c.a.cv, &c.b.cv, c.mode);
      hit = BSallocfailpending() == 0;
      BSallocfailat(0);
      if (rc == 0) continue;
      EXPECT_TRUE((rc == 33 || rc == -13) && !out.cv[0] && !out.cv[1] && !out.cv[2]) << n << " " << rc;
      EXPECT_TRUE(BSdbgliveblocks() == live && BSscratchheapblocks() == 0) << n;
    }
    Outputs out;
    VOQbsp_curve sentinel{};
    out.cv[2] = &sentinel;
    ASSERT_EQ(out.connect(&c.a.cv, &c.b.cv, c.mode), 0);
    EXPECT_TRUE(snapshot(c.a) == a0 && snapshot(c.b) == b0);
    const bool with_line = std::isnan(c.meet[0]);
    const VOQbsp_curve &first = *out.cv[0], &last = with_line ? *out.cv[2] : *out.cv[1];
    double p[3], q[3], e[3], f[3];
    at(c.a.cv, 0, p), at(first, 0, q), at(c.b.cv, 1, e), at(last, 1, f);
    EXPECT_LT(gap(p, q) + gap(e, f), 1e-12);
    if (with_line) {
      ASSERT_NE(out.cv[2], &sentinel);
      const VOQbsp_curve &ln = *out.cv[1];
      EXPECT_TRUE(ln.order == 2 && ln.num_poles == 2 && ln.rational == 0 && ln.weights == nullptr);
      at(c.a.cv, 1, p), at(c.b.cv, 0, q);
      EXPECT_LT(gap(ln.poles, p) + gap(ln.poles + 3, q), 1e-12);
      continue;
    }
    out.cv[2] = nullptr;
    at(first, 1, p), at(last, 0, q);
    EXPECT_LT(gap(p, c.meet) + gap(q, c.meet), 1e-9);
    if (c.mode < 2) continue;
    const int moved_a = c.mode == 2 ? c.a.n() - 1 : -1, moved_b = c.mode == 3 ? 0 : -1;
    for (int i = 0; i < 3 * c.a.n(); ++i) EXPECT_TRUE(i / 3 == moved_a || first.poles[i] == c.a.poles[i]) << i;
    for (int i = 0; i < 3 * c.b.n(); ++i) EXPECT_TRUE(i / 3 == moved_b || last.poles[i] == c.b.poles[i]) << i;
    for (size_t i = 0; i < c.a.weights.size(); ++i) EXPECT_EQ(first.weights[i], c.a.weights[i]);
  }
}

// BSlinxcvcv on cv1's start and cv2's end within dist_tol: the midpoint (mode 0), cv2's end with cv2 kept (1),
// cv1's start with cv1 kept (2).
TEST(CurveConnection, EndsAlreadyTogether) {
  TestCurve a = line(0, 0, 1, 0), b = line(-1, 1, 0, 5e-7);
  const int ends[2] = {0, 1};
  const double mid[3] = {0, 2.5e-7, 0}, *meet[3] = {mid, b.poles.data() + 3, a.poles.data()};
  for (int mode = 0, rc = 1; mode < 3; ++mode) {
    VOQbsp_curve *o[2];
    BSallocvoqcv(2, 2, 0, 0, &o[0], &rc);
    BSallocvoqcv(2, 2, 0, 0, &o[1], &rc);
    BSlinxcvcv(&a.cv, &b.cv, ends, mode, o[0], o[1], &rc);
    EXPECT_EQ(rc, 0);
    for (int c = 0; c < 3; ++c)
      EXPECT_TRUE(o[0]->poles[c] == meet[mode][c] && o[1]->poles[3 + c] == meet[mode][c] &&
                  o[0]->poles[3 + c] == a.poles[3 + c] && o[1]->poles[c] == b.poles[c]) << mode;
    for (VOQbsp_curve *r : o) BSfreevoqcv(r, &rc);
  }
}

// Refused joins and joins that fail: the code, the three outputs NULL and nothing left allocated.
TEST(CurveConnection, Refusals) {
  TestCurve a = line(0, 0, 1, 0), b = line(2, 1, 3, 1), nan_pole = line(0, 0, kNaN, 0), closed = line(0, 0, 1, 0);
  TestCurve zero_w(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 0, 1});
  TestCurve inf_knot(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, INFINITY}), point(1, {1, 1, 0}, {0, 1});
  TestCurve back = line(3, 0, 2, 0), from_end = line(1, 0, 1, 1);
  closed.cv.phy_closed = 1;
  struct Case {
    const char *what;
    const VOQbsp_curve *a, *b;
    int mode, want;
  } cases[] = {
      {"NULL curve", nullptr, &b.cv, 1, 3},          {"NaN pole", &a.cv, &nan_pole.cv, 1, -2},
      {"zero weight", &zero_w.cv, &b.cv, 2, -2},     {"infinite knot", &inf_knot.cv, &b.cv, 0, -2},
      {"order 1", &point.cv, &b.cv, 1, -2},          {"closed curve, mode 0", &closed.cv, &b.cv, 0, -2},
      {"antiparallel collinear ends apart", &a.cv, &back.cv, 0, -1},
      {"coincident ends, mode 1", &a.cv, &from_end.cv, 1, -6},
  };
  const int live = BSdbgliveblocks();
  for (const Case &c : cases) {
    Outputs out;
    VOQbsp_curve sentinel{};
    std::fill(out.cv, out.cv + 3, &sentinel);
    EXPECT_EQ(out.connect(c.a, c.b, c.mode), c.want) << c.what;
    EXPECT_TRUE(!out.cv[0] && !out.cv[1] && !out.cv[2]) << c.what;
    EXPECT_EQ(BSdbgliveblocks(), live) << c.what;
  }
  VOQbsp_curve *o = nullptr;
  int rc = 0, rc_ext = 0, bad_ends[2] = {2, 0};
  BSallocvoqcv(2, 4, 0, 0, &o, &rc);
  BSlinxcvext(&a.cv, 0.5, BSTRUE, o, &rc_ext);  // not an end
  BSlinxcvcv(&a.cv, &b.cv, bad_ends, 0, o, o, &rc);
  EXPECT_TRUE(rc == -2 && rc_ext == -2);
  BSfreevoqcv(o, &rc);
}

}  // namespace
