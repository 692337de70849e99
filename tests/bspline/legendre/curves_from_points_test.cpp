#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Every refusal answers its code before a pole is written.
TEST(CurvesFromPoints, RefusedArgumentsLeaveTheRecordAlone) {
  const double p[3] = {1, 2, 3}, q[3] = {4, 5, 6}, bad[3] = {1, kNaN, 3};
  const double three[9] = {0, 0, 0, 1, 0, 0, 2, 0, 0};
  const double holed[9] = {0, 0, 0, 1, 0, 0, 2, INFINITY, 0};
  const double blocks[8] = {0, 1, 2, 3, 0, 0, 1, 1};
  const double knots[6] = {0, 0, 1, 1, 2, 2};
  const double nan_knots[6] = {0, 0, kNaN, 1, 1, 1};
  const int one = 1;
  RoomCurve room(8, 4, true);
  RoomCurve no_knots(8, 4, false);
  no_knots.cv.knots = nullptr;
  RoomCurve no_weights(8, 4, false);
  double dir[3];
  VOQbsp_curve *made = reinterpret_cast<VOQbsp_curve *>(&made);
  struct Row {
    const char *what;
    std::function<void(int *)> call;
    int rc;
  } rows[] = {
      {"point curve into no record", [&](int *rc) { BSptcvgen(p, 3, 0, nullptr, rc); }, 3},
      {"rational point curve without weights", [&](int *rc) { BSptcvgen(p, 3, 1, &no_weights.cv, rc); }, 3},
      {"point curve of order 0", [&](int *rc) { BSptcvgen(p, 0, 0, &room.cv, rc); }, -2},
      {"point curve of a NaN point", [&](int *rc) { BSptcvgen(bad, 2, 0, &room.cv, rc); }, -2},
      {"segment without knots", [&](int *rc) { BSptlngen(rc, p, q, &no_knots.cv, nullptr); }, 3},
      {"segment without an end", [&](int *rc) { BSlngen(rc, p, nullptr, &room.cv, nullptr); }, 3},
      {"segment to a NaN point", [&](int *rc) { BSptlngen(rc, p, bad, &room.cv, nullptr); }, -2},
      {"polyline of one point", [&](int *rc) { BSlininter(rc, &one, three, &room.cv, dir); }, -2},
      {"polyline with an infinite point", [&](int *rc) { BSlinintnkt(3, holed, &room.cv, dir, rc); }, -2},
      {"polyline without a count", [&](int *rc) { BSlininter(rc, nullptr, three, &room.cv, dir); }, 3},
      {"curve of dimension 4", [&](int *rc) { BSplktbspcv(2, 4, 0, 2, blocks, knots, 1e-6, &made, rc); }, -1},
      {"curve of dimension 0", [&](int *rc) { BSplktbspcv(2, 0, 0, 2, blocks, knots, 1e-6, &made, rc); }, -2},
      {"curve with a NaN knot", [&](int *rc) { BSplktbspcv(2, 2, 0, 4, blocks, nan_knots, 1e-6, &made, rc); }, -2},
      {"curve without poles", [&](int *rc) { BSplktbspcv(2, 2, 0, 2, nullptr, knots, 1e-6, &made, rc); }, 3},
      {"blocks of dimension 4", [&](int *rc) { BSicv2bsp(&room.cv, 4, room.poles.data(), rc); }, -2},
      {"blocks of dimension 0", [&](int *rc) { BSicv2bsp(&room.cv, 0, room.poles.data(), rc); }, -2},
  };
  const int live = BSdbgliveblocks();
  for (const Row &row : rows) {
    int rc = 12345;
    row.call(&rc);
    EXPECT_EQ(rc, row.rc) << row.what;
    EXPECT_EQ(room.poles[0], -777) << row.what;
  }
  EXPECT_EQ(made, nullptr) << "a refused curve leaves no stale pointer";
  EXPECT_EQ(BSdbgliveblocks(), live);
}

TEST(CurvesFromPoints, PointCurve) {
  const double p[3] = {1.5, -2, 7};
  for (BSboolean rational : {0, 1}) {
    RoomCurve room(3, 3, true);
    int rc = -1;
    BSptcvgen(p, 3, rational, &room.cv, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(room.cv.order, 3);
    EXPECT_EQ(room.cv.num_poles, 3);
    EXPECT_EQ(room.cv.num_knots, 6);
    EXPECT_EQ(room.cv.rational, rational);
    EXPECT_EQ(room.cv.planar + room.cv.phy_closed + room.cv.periodic + room.cv.num_boundaries, 0);
    for (int i = 0; i < 3; ++i)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(room.poles[3 * i + c], p[c]);
    EXPECT_EQ(room.knots, (std::vector<double>{0, 0, 0, 1, 1, 1}));
    if (rational)
      EXPECT_EQ(std::vector<double>(room.weights.begin(), room.weights.begin() + 3), (std::vector<double>{1, 1, 1}));
    else
      EXPECT_EQ(room.cv.weights, nullptr);
  }
}

TEST(CurvesFromPoints, SegmentsAndTheirCodes) {
  const double a[3] = {1, 2, 3}, b[3] = {4, 6, 3}, a_again[3] = {1, 2, 3 + 1e-7};
  RoomCurve room(2, 2, false);
  int rc = 0, code = 0;
  EXPECT_EQ(BSptlngen(&rc, a, b, &room.cv, &code), BSTRUE);
  EXPECT_EQ(code, 17);
  EXPECT_EQ(room.knots, (std::vector<double>{0, 0, 1, 1}));
  EXPECT_EQ(room.poles, (std::vector<double>{1, 2, 3, 4, 6, 3}));
  EXPECT_EQ(room.cv.order, 2);
  EXPECT_EQ(room.cv.rational, 0);

  EXPECT_EQ(BSptlngen(&rc, a, a_again, &room.cv, &code), BSTRUE) << "a point segment is still built";
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(code, 18);
  EXPECT_EQ(room.poles[5], 3 + 1e-7);

  code = 0;
  EXPECT_EQ(BSlngen(&rc, a, a_again, &room.cv, &code), BSFALSE);
  EXPECT_EQ(rc, -6);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(BSlngen(&rc, a, b, &room.cv, &code), BSTRUE);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(code, 17);
}

TEST(CurvesFromPoints, PolylineKnotsPlanarityAndClosure) {
  const double tol = BStoltab[bstol::dist_tol];
  struct Row {
    const char *what;
    std::vector<double> points;
    int rc;
    std::vector<double> knots;
    int planar, closed;
  } rows[] = {
      {"right angle", {0, 0, 0, 3, 0, 0, 3, 4, 0}, 0, {0, 0, 3.0 / 7, 1, 1}, 1, 0},
      {"collinear", {0, 0, 0, 1, 1, 1, 3, 3, 3}, 0, {0, 0, 1.0 / 3, 1, 1}, 0, 0},
      {"repeated first point", {0, 0, 0, 0, 0, 0, 2, 0, 0}, 0, {0, 0, 1.0 / 3, 1, 1}, 0, 0},
      {"repeated last point", {0, 0, 0, 2, 0, 0, 2, 0, 0}, -2, {}, 0, 0},
      {"one repeated point", {1, 1, 1, 1, 1, 1, 1, 1, 1}, -2, {}, 0, 0},
      {"two points", {0, 0, 0, 0, 2, 0}, 0, {0, 0, 1, 1}, 0, 0},
      {"closing square",
       {0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0, 0, 0, tol / 2},
       0,
       {0, 0, 0.25, 0.5, 0.75, 1, 1},
       1,
       1},
      {"spatial", {0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 1}, 0, {0, 0, 1.0 / 3, 2.0 / 3, 1, 1}, 0, 0},
  };
  for (const Row &row : rows) {
    const int n = static_cast<int>(row.points.size() / 3);
    RoomCurve room(n, 2, false);
    double dir[3] = {9, 9, 9};
    int rc = 12345;
    const BSboolean ok = BSlininter(&rc, &n, row.points.data(), &room.cv, dir);
    EXPECT_EQ(rc, row.rc) << row.what;
    EXPECT_EQ(ok, row.rc == 0 ? BSTRUE : BSFALSE) << row.what;
    if (row.rc != 0) continue;
    EXPECT_EQ(room.cv.num_knots, n + 2) << row.what;
    for (int i = 0; i < n + 2; ++i) EXPECT_NEAR(room.knots[i], row.knots[i], 1e-12) << row.what << " knot " << i;
    EXPECT_EQ(room.cv.order, 2);
    EXPECT_EQ(room.cv.planar, row.planar) << row.what;
    EXPECT_EQ(room.cv.phy_closed, row.closed) << row.what;
    if (row.planar) {
      EXPECT_NEAR(std::fabs(dir[2]), 1.0, 1e-12) << row.what << ": the plane normal";
    }
    if (row.closed) {
      EXPECT_EQ(room.poles[2], tol / 4) << "both ends move to their midpoint";
      EXPECT_EQ(room.poles[3 * (n - 1) + 2], tol / 4);
      EXPECT_EQ(room.poles[3 * (n - 1)], 0.0);
    }
  }
}

// A curve record from coordinate blocks: planar curves get z = 0, the flags come from the poles.
TEST(CurvesFromPoints, CurveFromBlocks) {
  // x block, y block of a closed plane quadratic (first and last pole equal).
  const double blocks[8] = {0, 2, 2, 0, 0, 0, 2, 0};
  const double knots[7] = {0, 0, 0, 0.5, 1, 1, 1};
  VOQbsp_curve *cv = nullptr;
  int rc = -1;
  const int live = BSdbgliveblocks();
  BSplktbspcv(3, 2, 0, 4, blocks, knots, 1e-6, &cv, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_NE(cv, nullptr);
  EXPECT_EQ(cv->order, 3);
  EXPECT_EQ(cv->num_poles, 4);
  EXPECT_EQ(cv->num_knots, 7);
  EXPECT_EQ(cv->weights, nullptr);
  EXPECT_EQ(cv->planar, 1);
  EXPECT_EQ(cv->phy_closed, 1);
  EXPECT_EQ(cv->non_uniform, 1);
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(cv->poles[3 * j], blocks[j]);
    EXPECT_EQ(cv->poles[3 * j + 1], blocks[4 + j]);
    EXPECT_EQ(cv->poles[3 * j + 2], 0.0);
  }
  BSfreevoqcv(cv, &rc);

  // Order above the pole count comes down to it; three poles that are not collinear lie in a plane, however
  // unevenly weighted.
  const double uneven[9] = {0, 1, 2, 0, 1, 0, 1, 0.1, 1};
  const double knots2[7] = {0, 0, 0, 1, 1, 1, 9};
  BSplktbspcv(4, 2, 1, 3, uneven, knots2, 1e-6, &cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(cv->order, 3);
  EXPECT_EQ(cv->planar, 1);
  EXPECT_EQ(cv->phy_closed, 0);
  EXPECT_EQ(std::vector<double>(cv->weights, cv->weights + 3), (std::vector<double>{1, 0.1, 1}));
  BSfreevoqcv(cv, &rc);
  EXPECT_EQ(BSdbgliveblocks(), live);
}

// A non-positive interior weight is refined away: one knot in the middle of every non-empty interval, and the
// curve stays the same where it was defined.
TEST(CurvesFromPoints, ZeroInteriorWeightRefines) {
  const int n = 6;
  const std::vector<double> knots = {0, 0, 0, 0.25, 0.5, 0.5, 1, 1, 1};
  // Weighted coordinates and weights; pole 1 is a direction (weight 0) and the double knot leaves an empty
  // interval that gets no midpoint.
  const double weighted[18] = {0, 0, 0, 1, 2, 0, 1, 1, 0.5, 2, 0, 1, 1, -1, 0.5, 0, 0, 1};
  const double w[6] = {1, 0, 0.5, 1, 0.5, 1};
  std::vector<double> blocks(4 * n);
  for (int j = 0; j < n; ++j) {
    for (int c = 0; c < 3; ++c) blocks[c * n + j] = weighted[3 * j + c];
    blocks[3 * n + j] = w[j];
  }
  VOQbsp_curve *cv = nullptr;
  int rc = -1;
  BSplktbspcv(3, 3, 1, n, blocks.data(), knots.data(), 1e-6, &cv, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(cv->num_poles, n + 3);
  EXPECT_EQ(std::vector<double>(cv->knots, cv->knots + 12),
            (std::vector<double>{0, 0, 0, 0.125, 0.25, 0.375, 0.5, 0.5, 0.75, 1, 1, 1}));
  for (int j = 0; j < n + 3; ++j) EXPECT_GT(cv->weights[j], 0.0) << "weight " << j;

  VOQbsp_curve original{};
  original.order = 3;
  original.num_poles = n;
  original.poles = const_cast<double *>(weighted);
  original.num_knots = n + 3;
  original.knots = const_cast<double *>(knots.data());
  original.rational = 1;
  original.weights = const_cast<double *>(w);
  for (double u : {0.0, 0.1, 0.3, 0.5, 0.7, 0.9, 1.0}) {
    double a[3], b[3];
    BScveval_n(&original, u, 0, a, &rc);
    ASSERT_EQ(rc, 0);
    BScveval_n(cv, u, 0, b, &rc);
    ASSERT_EQ(rc, 0);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-14) << "u = " << u;
  }
  BSfreevoqcv(cv, &rc);
}

// Blocks of a record and back: the same record bit for bit.
TEST(CurvesFromPoints, BlocksRoundTripExactly) {
  // A full circle as nine rational quadratic poles at height 2, and a random spatial curve.
  const double s = std::sqrt(0.5);
  TestCurve circle(3, {1, 0, 2, 1, 1, 2, 0, 1, 2, -1, 1, 2, -1, 0, 2, -1, -1, 2, 0, -1, 2, 1, -1, 2, 1, 0, 2},
                   {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1}, {1, s, 1, s, 1, s, 1, s, 1});
  circle.cv.planar = 1;
  circle.cv.phy_closed = 1;
  std::mt19937 rng(29);
  auto spatial = random_curve(rng, 5, 9, true, true);
  for (const TestCurve *c : {&circle, spatial.get()}) {
    const int n = c->n();
    std::vector<double> blocks(4 * n, -1);
    int rc = -1;
    BSicv2bsp(&c->cv, 3, blocks.data(), &rc);
    ASSERT_EQ(rc, 0);
    VOQbsp_curve *cv = nullptr;
    BSplktbspcv(c->order(), 3, 1, n, blocks.data(), c->knots.data(), BStoltab[bstol::dist_tol], &cv, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(cv->num_poles, n);
    EXPECT_EQ(std::memcmp(cv->poles, c->poles.data(), 24 * n), 0);
    EXPECT_EQ(std::memcmp(cv->weights, c->weights.data(), 8 * n), 0);
    EXPECT_EQ(std::memcmp(cv->knots, c->knots.data(), 8 * c->knots.size()), 0);
    EXPECT_EQ(cv->planar, c->cv.planar);
    EXPECT_EQ(cv->phy_closed, c->cv.phy_closed);
    BSfreevoqcv(cv, &rc);
  }
}

// Every allocation of the curve builder, including the refinement buffers and the plane test's scratch, may
// fail: the code is -13 or 33, and whatever record is handed back is the caller's to free.
TEST(CurvesFromPoints, CurveBuilderSurvivesEveryAllocationFailure) {
  const int n = 400, order = 4;
  std::vector<double> blocks(4 * n), knots;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> d(-5, 5);
  for (int j = 0; j < n; ++j) {
    const double w = j == n / 2 ? 0.0 : 1.0 + 0.001 * j;
    for (int c = 0; c < 3; ++c) blocks[c * n + j] = d(rng) * w;
    blocks[3 * n + j] = w;
  }
  for (int i = 0; i < order; ++i) knots.push_back(0);
  for (int i = 1; i <= n - order; ++i) knots.push_back(i);
  for (int i = 0; i < order; ++i) knots.push_back(n - order + 1);
  const int live = BSdbgliveblocks();
  int failures = 0;
  for (int at = 1; at < 50; ++at) {
    VOQbsp_curve *cv = nullptr;
    int rc = 0;
    BSallocfailat(at);
    BSplktbspcv(order, 3, 1, n, blocks.data(), knots.data(), 1e-6, &cv, &rc);
    const bool reached = BSallocfailpending() == 0;
    BSallocfailat(0);
    if (!reached) {
      ASSERT_EQ(rc, 0);
      EXPECT_EQ(cv->num_poles, n + n - order + 1);
      BSfreevoqcv(cv, &rc);
      break;
    }
    ++failures;
    EXPECT_TRUE(rc == -13 || rc == 33) << "allocation " << at << ": rc " << rc;
    if (rc == -13) {
      EXPECT_EQ(cv, nullptr);
    }
    if (cv) BSfreevoqcv(cv, &rc);
  }
  EXPECT_GE(failures, 3) << "the buffers, the record and the plane test each allocate";
  EXPECT_EQ(BSdbgliveblocks(), live);
  EXPECT_EQ(BSscratchheapblocks(), 0);
}

}  // namespace
