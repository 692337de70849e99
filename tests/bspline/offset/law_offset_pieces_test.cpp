// Offsets by a distance law of curves with sharp corners: the end-tangent correction, the pair join and the
// whole-curve walk with its skipped pieces, bridges and closing, under forced failures.
#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <string>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/bspline/offset/offset_fixtures.h"

namespace {

const double kUp[3] = {0, 0, 1};
const BSdistlaw kLinear = {1, nullptr, 0, 0};

// Three quadratic pieces meeting at two corners.
const TestCurve kTwoCusps(3, {0, 0, 0, 2, 1, 0, 4, 0, 0, 5, 2, 0, 6, 4, 0, 8, 4, 0, 10, 3, 0},
                          {0, 0, 0, 1, 1, 2, 2, 3, 3, 3});

struct Off {
  VOQbsp_curve *cv = nullptr;
  int rc = 0;
  Off() = default;
  Off(const VOQbsp_curve *c, double a, double b, int side, std::int16_t arc = 0) {
    BSxycvoffwl(c, a, b, &kLinear, arc, kUp, side, &cv, &rc);
  }
  ~Off() {
    if (cv) BSfreevoqcv(cv, &rc);
  }
  // The point at the fraction f of the range.
  std::array<double, 3> at(double f) const {
    std::array<double, 3> p;
    const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
    ref_point(*cv, a + (b - a) * f, p.data());
    return p;
  }
};

int calls = 0;
std::string counted;
void count_calls(const char *name, int *) { calls += counted == name; }

TEST(LawOffset, TangentCorrectionOnlyPastThreePoles) {
  // The cubic's offset from 0.5 to 2 has more than 3 poles; the line's has 2 and is left alone.
  const TestCurve cubic(4, {0, 0, 0, 2, 0, 0, 4, 2, 0, 4, 4, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  const TestCurve line(2, {0, 0, 0, 10, 0, 0}, {0, 0, 1, 1});
  for (const TestCurve *c : {&cubic, &line}) {
    VOQbsp_curve *plain = nullptr, *R = nullptr;
    int rc1 = 0, rc2 = 0;
    BSvrcvofntp(&c->cv, nullptr, 1, kUp, 1, 0.5, 2, &kLinear, 0, 1, &plain, &rc1);
    BSvrcvofwtp(&c->cv, nullptr, 1, kUp, 1, 0.5, 2, &kLinear, 0, 1, 1, 1, &R, &rc2);
    ASSERT_TRUE(rc1 == 0 && rc2 == 0 && R->num_poles == plain->num_poles);
    const int n = R->num_poles;
    EXPECT_EQ(n <= 3, 0 == std::memcmp(plain->poles, R->poles, sizeof(double) * 3 * n));
    for (int e = 0; e < 2 && n > 3; ++e) {
      const int i = e ? n - 1 : 0, j = e ? n - 2 : 1, qi = e ? c->n() - 1 : 0, qj = e ? c->n() - 2 : 1;
      const double *p = R->poles, *q = plain->poles;
      for (int k = 0; k < 3; ++k) EXPECT_EQ(p[3 * i + k], q[3 * i + k]);
      const double a = std::atan2(p[3 * j + 1] - p[3 * i + 1], p[3 * j] - p[3 * i]);
      const double b = std::atan2(c->pole(qj, 1) - c->pole(qi, 1), c->pole(qj, 0) - c->pole(qi, 0));
      EXPECT_NEAR(std::remainder(a - b, 2 * M_PI), 0, 1e-9) << e;
      EXPECT_NEAR(std::hypot(p[3 * j] - p[3 * i], p[3 * j + 1] - p[3 * i + 1]),
                  std::hypot(q[3 * j] - q[3 * i], q[3 * j + 1] - q[3 * i + 1]), 1e-12);
    }
    BSfreevoqcv(plain, &rc1);
    BSfreevoqcv(R, &rc1);
  }
}

TEST(LawOffset, PairJoinStatusGivenOffsetAndSplitAtTheEnd) {
  const TestCurve a(2, {0, 0, 0, 4, 0, 0}, {0, 0, 1, 1}), b(2, {4, 0, 0, 8, 0, 0}, {1, 1, 2, 2});
  const TestCurve flat(2, {4, 0, 0, 4, 0, 3}, {1, 1, 2, 2}), marker(2, {0, -7, 0, 4, -7, 0}, {0, 0, 1, 1});
  const double nan_normal[3] = {0, 0, NAN};
  const struct {
    const TestCurve *second;
    int join;
    bool given, split_at_end;
    const double *normal;
    int rc, status;
    double off1_y;  // y of the first offset afterwards; NAN: nothing offset
  } rows[] = {
      {&flat, 1, false, false, kUp, 0, 2, NAN},    // a degenerate cv2: nothing offset, rc 0
      {&b, 1, false, false, kUp, 0, 0, -1},        // made from cv1
      {&b, 2, true, false, kUp, 0, 0, -7},         // the given first offset stands
      {&b, 2, true, true, kUp, 0, 0, -7},          // cut at its very end: a point curve
      {&b, 1, false, false, nan_normal, -1, 0, NAN},
      {&b, 2, false, false, kUp, -1, 0, NAN},      // no first offset given
  };
  for (const auto &r : rows) {
    VOQbsp_curve *off1 = nullptr, *off2 = nullptr, *arc = nullptr;
    int rc = 0, status = -1;
    if (r.given) {
      BSallocvoqcv(2, 2, 0, 0, &off1, &rc);
      BScv_copy(&rc, &marker.cv, off1);
    }
    std::int16_t split = r.split_at_end, made = 5;
    double pt[3] = {4, -7, 0};
    BS2cvsoffwl(&a.cv, &r.second->cv, r.join, 1, 1, 0, 0.5, 1, &kLinear, 0, 1, r.normal, &split, pt, &off1, &off2,
                &made, &arc, &status, &rc);
    EXPECT_TRUE(rc == r.rc && (rc != 0 || status == r.status)) << rc << " " << status;
    if (std::isnan(r.off1_y)) {
      EXPECT_TRUE(off1 == nullptr && off2 == nullptr && arc == nullptr);
      continue;
    }
    ASSERT_TRUE(off1 && off2);
    EXPECT_TRUE(made == 0 && arc == nullptr && split == 0);
    bool point = true;
    for (int i = 0; i < off1->num_poles; ++i) {
      EXPECT_NEAR(off1->poles[3 * i + 1], r.off1_y, 1e-12);
      point = point && off1->poles[3 * i] == off1->poles[0];
    }
    EXPECT_EQ(point, r.split_at_end);
    for (VOQbsp_curve *c : {off1, off2}) BSfreevoqcv(c, &rc);
  }
}

TEST(LawOffset, DistancesPositionsAndOneCallWithoutCusps) {
  const TestCurve line(2, {0, 0, 0, 10, 0, 0}, {0, 0, 1, 1});
  // Positions are taken along the curve's own range, whatever it is.
  const TestCurve arc(3, {0, 0, 0, 3, 0, 0, 3, 3, 0}, {0.2, 0.2, 0.2, 0.7, 0.7, 0.7});
  const TestCurve copied(4, {0, 0, 1, 1, 2, 1, 3, 2, 1, 4, 0, 1}, {0, 0, 0, 0, 1, 1, 1, 1});
  // A closed curve whose only cusp is its seam at 0.0.
  TestCurve drop(3, {0, 0, 0, 4, 1, 0, 4, 3, 0, 0, 0, 0}, {0, 0, 0, 0.5, 1, 1, 1});
  drop.cv.phy_closed = 1;
  const struct {
    const TestCurve *c;
    double a, b, tol;
    int offsets;  // variable-offset calls
  } rows[] = {{&line, 2, 4, 1e-12, 1}, {&arc, 1, 3, 2e-3, 1}, {&copied, 5e-15, -5e-15, 0, 0}, {&drop, 0.2, 0.2, 0, 1}};
  for (const auto &r : rows) {
    calls = 0, counted = "bsvrcvofntp";
    const BSfaulthandler prev = BSsetfaulthook(count_calls);
    const Off o(&r.c->cv, r.a, r.b, 1);
    BSsetfaulthook(prev);
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(calls, r.offsets);
    if (r.offsets == 0) {
      EXPECT_EQ(0, std::memcmp(o.cv->poles, r.c->poles.data(), sizeof(double) * r.c->poles.size()));
      continue;
    }
    const std::array<double, 3> ps = o.at(0), pe = o.at(1);
    if (r.c->cv.phy_closed) {
      EXPECT_EQ(ps, pe) << "closed again";
      continue;
    }
    // Side +1 is the right of the direction of travel.
    const int m = r.c->n() - 1;
    EXPECT_NEAR(std::hypot(ps[0] - r.c->pole(0, 0), ps[1] - r.c->pole(0, 1)), r.a, r.tol);
    EXPECT_NEAR(std::hypot(pe[0] - r.c->pole(m, 0), pe[1] - r.c->pole(m, 1)), r.b, r.tol);
    EXPECT_LT(ps[1], 0);
  }
}

TEST(LawOffset, CuspsSkippedPiecesBridgesAndSeams) {
  // Side -1 lies to the left: the corner of the polyline turns left, so its offsets cross. The middle piece is a
  // point in the plane that rises in z: the pieces beside it are joined, and their offsets (z 0 and z 3) meet in
  // the plane only: a bridge rises between them.
  auto riser = polyline_xyz({0, 0, 0, 4, 0, 0, 4, 0, 3, 4, 3, 3});
  {
    const Off o(&riser->cv, 0.5, 0.5, -1);
    ASSERT_EQ(o.rc, 0);
    bool bridge = false;
    for (int i = 1; i < o.cv->num_poles; ++i) {
      const double *p = o.cv->poles + 3 * (i - 1), *q = p + 3;
      bridge = bridge || (std::hypot(p[0] - 3.5, p[1] - 0.5) < 1e-6 && std::hypot(q[0] - 3.5, q[1] - 0.5) < 1e-6 &&
                          std::fabs(q[2] - p[2] - 3) < 1e-6);
    }
    EXPECT_TRUE(bridge);
    const double end[3] = {3.5, 3, 3};
    EXPECT_LT(dist_to(o.cv, end), 1e-9);
  }
  // A closed square whose seam is a cusp: four pieces, four offsets, closed again; the same with a zero-length
  // span at a corner gives the same offset.
  auto square = polyline_xyz({0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 0, 0, 0, 0}, true);
  auto stutter = polyline_xyz({0, 0, 0, 4, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 0, 0, 0, 0}, true);
  for (int side : {1, -1}) {
    calls = 0, counted = "bsvrcvofntp";
    const BSfaulthandler prev = BSsetfaulthook(count_calls);
    const Off sq(&square->cv, 0.5, 0.5, side), st(&stutter->cv, 0.5, 0.5, side);
    BSsetfaulthook(prev);
    ASSERT_TRUE(sq.rc == 0 && st.rc == 0);
    EXPECT_EQ(calls, 8) << "a piece per side of each square, none before the seam";
    const double c = side == 1 ? -0.5 : 0.5;  // side +1 runs outside the anticlockwise square
    const double corners[4][3] = {{c, c, 0}, {4 - c, c, 0}, {4 - c, 4 - c, 0}, {c, 4 - c, 0}};
    for (const Off *o : {&sq, &st}) {
      EXPECT_EQ(o->at(0), o->at(1));
      for (const auto &k : corners) EXPECT_LT(dist_to(o->cv, k), 1e-9) << side << " " << k[0] << "," << k[1];
    }
  }
}

// The variable offsets drawn for a reader (curve black, side +1 red, -1 blue); at one distance the law offset is
// the plain offset of the whole curve.
TEST(LawOffset, TwoCuspsBothSidesAgainstConstantOffsetAndAPicture) {
  const VOQbsp_curve *c = &kTwoCusps.cv;
  std::FILE *f = svg_open("law_offset.svg", "-3 -7 16 10");
  ASSERT_NE(f, nullptr);
  for (int side : {0, 1, -1}) {
    calls = 0, counted = "bs2cvsoffwl";
    const BSfaulthandler prev = BSsetfaulthook(count_calls);
    const Off o(c, side ? 0.5 : 0, side ? 2 : 0, side ? side : 1);
    BSsetfaulthook(prev);
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(calls, side ? 2 : 0) << "a join at each of the two corners";
    svg_curve(f, *o.cv, side ? side > 0 ? "red" : "blue" : "black");
    double lo = INFINITY, hi = 0;
    for (int j = 0; j <= 400; ++j) {
      const double d = dist_to(c, o.at(j / 400.0).data());
      lo = std::min(lo, d), hi = std::max(hi, d);
    }
    EXPECT_TRUE(!side || (lo > 0.5 - 1e-3 && hi < 2 + 1e-3)) << side << " " << lo << " " << hi;
  }
  EXPECT_TRUE(svg_close(f));
  for (int side : {1, -1})
    for (std::int16_t arc : {0, 1}) {
      Off o(c, 0.7, 0.7, side, arc), ref;
      BSxycvoff(c, 0.7, arc, kUp, side, &ref.cv, &ref.rc);
      ASSERT_TRUE(o.rc == 0 && ref.rc == 0);
      for (int j = 0; j <= 200; ++j) {
        EXPECT_LT(dist_to(ref.cv, o.at(j / 200.0).data()), 2e-3) << side << " " << arc << " " << j;
        EXPECT_LT(dist_to(o.cv, ref.at(j / 200.0).data()), 2e-3) << side << " " << arc << " " << j;
      }
    }
}

TEST(LawOffset, BadInputAndEveryAllocationFailing) {
  auto nan = polyline_xyz({0, 0, 0, NAN, 0, 0, 4, 3, 0});
  // Every piece degenerate in the plane, with and without cusps: no offset, the soft code.
  auto dots = polyline_xyz({1, 1, 0, 1, 1, 2, 1, 1, 5}), folded = polyline_xyz({1, 1, 0, 1, 1, 2, 1, 1, 0});
  const VOQbsp_curve *c = &kTwoCusps.cv;
  const struct {
    const VOQbsp_curve *cv;
    double a, b;
    int side, rc;
  } bad[] = {{c, NAN, 1, 1, -2},       {c, 1, INFINITY, 1, -2}, {c, 1, 1, 0, -2},          {&nan->cv, 1, 1, 1, -2},
             {nullptr, 1, 1, 1, 3},    {&dots->cv, 0.5, 1, 1, BSRC_NO_JOIN}, {&folded->cv, 0.5, 1, 1, BSRC_NO_JOIN}};
  for (const auto &b : bad) {
    const Off o(b.cv, b.a, b.b, b.side);
    EXPECT_TRUE(o.rc == b.rc && o.cv == nullptr) << b.a << " " << b.side << " " << o.rc;
  }
  auto square = polyline_xyz({0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 0, 0, 0, 0}, true);
  auto riser = polyline_xyz({0, 0, 0, 4, 0, 0, 4, 0, 3, 4, 3, 3});
  for (const VOQbsp_curve *t : std::initializer_list<const VOQbsp_curve *>{c, &square->cv, &riser->cv}) {
    const int live = BSdbgliveblocks();
    for (int n = 1, done = 0; !done && n < 20000; ++n) {
      {
        BSallocfailat(n);
        const Off o(t, 0.5, 2, n % 2 ? 1 : -1, static_cast<std::int16_t>(n % 3 == 0));
        done = BSallocfailpending() != 0;
        BSallocfailat(0);
        EXPECT_TRUE(o.rc != 0 ? o.cv == nullptr : o.cv != nullptr) << n;
        EXPECT_TRUE(!done || o.rc == 0) << n;
      }
      EXPECT_EQ(BSdbgliveblocks(), live) << n;
    }
  }
}

}  // namespace
