// Neighbouring offset pieces cut against each other: the range map, the front cut to a point and the pairwise
// trim with its pending point. Every piece lies at z = 3, which must survive every cut and every failure.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

constexpr double kZ = 3.0;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// An order-2 polyline through the xy points at height kZ, knots evenly over [0, 1].
std::unique_ptr<TestCurve> polyline(const std::vector<double> &xy) {
  const int n = static_cast<int>(xy.size() / 2);
  std::vector<double> poles, knots{0.0};
  for (int i = 0; i < n; ++i) poles.insert(poles.end(), {xy[2 * i], xy[2 * i + 1], kZ});
  for (int i = 0; i < n; ++i) knots.push_back(static_cast<double>(i) / (n - 1));
  knots.push_back(1.0);
  return std::make_unique<TestCurve>(2, poles, knots);
}

void cartesian(const VOQbsp_curve &cv, int i, double out[3]) {
  const double w = cv.rational ? cv.weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = cv.poles[3 * i + c] / w;
}

// Every pole at height kZ.
void expect_level(const VOQbsp_curve &cv) {
  for (int i = 0; i < cv.num_poles; ++i) {
    double p[3];
    cartesian(cv, i, p);
    EXPECT_NEAR(p[2], kZ, 1e-12) << "pole " << i;
  }
}

void expect_xy(const VOQbsp_curve &cv, int i, const double want[2], const char *what) {
  double p[3];
  cartesian(cv, i, p);
  EXPECT_NEAR(p[0], want[0], 1e-9) << what;
  EXPECT_NEAR(p[1], want[1], 1e-9) << what;
}

bool same_curve(const VOQbsp_curve &a, const TestCurve &b) {
  if (a.num_poles != b.n() || a.order != b.order()) return false;
  for (int i = 0; i < 3 * a.num_poles; ++i)
    if (a.poles[i] != b.poles[i]) return false;
  for (int i = 0; i < a.num_poles + a.order; ++i)
    if (a.knots[i] != b.knots[i]) return false;
  return true;
}

// The range map: a > b and unmappable input refused with the curve untouched, a = b collapses the range, the
// ends land exactly on the new range (also for unclamped knots outside it), the interior knots affinely.
TEST(OffsetTrimming, RangeMap) {
  struct Row {
    const char *name;
    bool unclamped, point_range;
    double a, b;
    int rc;
    std::vector<double> want;  // knots after the call; empty: unchanged
  } rows[] = {
      {"a > b", false, false, 3, -1, -1, {}},
      {"NaN bound", false, false, kNaN, 3, -1, {}},
      {"a = b", false, false, 2, 2, 0, {2, 2, 2, 2, 2, 2, 2, 2, 2}},
      {"own range", false, false, 0, 1, 0, {0, 0, 0, 0, 0.25, 1, 1, 1, 1}},
      {"onto [-1, 3]", false, false, -1, 3, 0, {-1, -1, -1, -1, 0, 3, 3, 3, 3}},
      {"unclamped", true, false, 10, 20, 0, {-20, -10, 0, 10, 15, 20, 30, 40, 50}},
      {"no range to map", false, true, 0, 1, -1, {}},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<double> knots = r.unclamped ? std::vector<double>{-3, -2, -1, 0, 0.5, 1, 2, 3, 4}
                                            : std::vector<double>{0, 0, 0, 0, 0.25, 1, 1, 1, 1};
    if (r.point_range) knots.assign(9, 0.7);
    TestCurve cv(4, {0, 0, 0, 1, 2, 0, 2, -1, 0, 3, 1, 0, 4, 0, 0}, knots);
    double bdrys[2] = {0.3, 0.6};
    cv.cv.num_boundaries = 1, cv.cv.bdrys = bdrys;
    int rc = 0;
    BSofrparcv(&cv.cv, r.a, r.b, &rc);
    EXPECT_EQ(rc, r.rc);
    const std::vector<double> &want = r.want.empty() ? knots : r.want;
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(cv.knots[i], want[i], 1e-15 * (1 + std::fabs(want[i]))) << i;
    EXPECT_EQ(cv.knots[3], r.rc == 0 ? r.a : knots[3]) << "start exact";
    EXPECT_EQ(cv.knots[5], r.rc == 0 ? r.b : knots[5]) << "end exact";
    EXPECT_EQ(cv.cv.num_boundaries, r.rc == 0 ? 0 : 1);
  }
}

// The front cut to a point, through both entries: a foot at the start leaves the curve as it was; a foot at the
// end leaves a point curve at the given point (not at the foot); a point above the plane is cut as if in it; the
// range is kept exactly. The piece is a rational quarter circle of radius 2 about the origin over [2, 5].
TEST(OffsetTrimming, FrontCut) {
  const double r2 = std::sqrt(2.0);
  struct Row {
    const char *name;
    void (*cut)(VOQbsp_curve *, const double *, int *);
    double p[3];
    int rc;
    bool unchanged, point;
    double first[2];
  } rows[] = {
      {"foot at the start", BSoftrmfrnt, {3, -1, kZ}, 0, true, false, {2, 0}},
      {"foot at the end", BSoftrmfrnt, {-1, 3, 7}, 0, false, true, {-1, 3}},
      {"interior, above the plane", BSoftrmfrnt, {3, 3, 100}, 0, false, false, {r2, r2}},
      {"interior, pending trim", BScvtrmpt, {1.5, 1.5, kZ}, 0, false, false, {r2, r2}},
      {"NaN point", BScvtrmpt, {kNaN, 0, 0}, -2, true, false, {2, 0}},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    TestCurve arc(3, {2, 0, kZ, 2, 2, kZ, 0, 2, kZ}, {2, 2, 2, 5, 5, 5}, {1, 1 / r2, 1});
    TestCurve before(3, {2, 0, kZ, 2, 2, kZ, 0, 2, kZ}, {2, 2, 2, 5, 5, 5}, {1, 1 / r2, 1});
    int rc = 0;
    r.cut(&arc.cv, r.p, &rc);
    EXPECT_EQ(rc, r.rc);
    if (r.unchanged) {
      EXPECT_TRUE(same_curve(arc.cv, before));
      continue;
    }
    EXPECT_EQ(arc.knots[arc.cv.order - 1], 2.0);
    EXPECT_EQ(arc.knots[arc.cv.num_poles], 5.0);
    expect_xy(arc.cv, 0, r.first, "start");
    double last[3];
    cartesian(arc.cv, arc.cv.num_poles - 1, last);
    if (r.point) {
      expect_xy(arc.cv, arc.cv.num_poles - 1, r.first, "a point curve");
      EXPECT_EQ(last[2], r.p[2]) << "at the given point";
      continue;
    }
    EXPECT_NEAR(last[0], 0, 1e-12);
    EXPECT_NEAR(last[1], 2, 1e-12);
    expect_level(arc.cv);
    for (int i = 0; i <= 8; ++i) {  // still the circle
      double q[3];
      ref_point(arc.cv, 2 + 3 * i / 8.0, q);
      EXPECT_NEAR(std::hypot(q[0], q[1]), 2, 1e-12);
    }
  }
}

// The pairwise trim: which crossing, what each mode cuts, the collapse cases with and without a pending point,
// and a pending point left by an earlier join served by this one. Pieces are polylines at height kZ.
struct TrimRow {
  const char *name;
  std::vector<double> a, b;  // xy points of cv1 and cv2
  int mode;
  double d;
  std::int16_t pending;
  double pt[2];
  int rc;
  std::int16_t pending_out;
  double a_first[2], a_last[2], b_first[2];  // cv1's ends and cv2's start afterwards
  double pt_out[2];
};

const std::vector<double> kAxis = {0, 0, 10, 0};
const std::vector<double> kZigzag = {2, 1, 4, -1, 6, 1};

const TrimRow kTrimRows[] = {
    {"two crossings: the later on cv1", kAxis, kZigzag, 1, 0.5, 0, {0, 0}, 0, 1, {0, 0}, {5, 0}, {2, 1}, {5, 0}},
    {"two crossings, last join", kAxis, kZigzag, 3, 0.5, 0, {0, 0}, 0, 1, {0, 0}, {5, 0}, {5, 0}, {5, 0}},
    {"overlap: its second end", kAxis, {4, 0, 8, 0, 8, 5}, 3, 0.5, 0, {0, 0}, 0, 1, {0, 0}, {8, 0}, {8, 0}, {8, 0}},
    {"junction, far ends close", {0, 0, 1, 0}, {1, 0, 0.5, 0.5}, 3, -1, 0, {0, 0}, -12, 0, {0, 0}, {1, 0}, {1, 0}, {0, 0}},
    {"junction, far ends apart", {0, 0, 1, 0}, {1, 0, 0.5, 0.5}, 3, -0.5, 0, {0, 0}, 0, 1, {0, 0}, {1, 0}, {1, 0}, {1, 0}},
    {"apart", kAxis, {0, 5, 10, 5}, 1, 0.5, 0, {0, 0}, -12, 0, {0, 0}, {10, 0}, {0, 5}, {0, 0}},
    {"apart, pending", kAxis, {0, 5, 10, 5}, 1, 0.5, 1, {4, 1}, -12, 0, {4, 0}, {10, 0}, {0, 5}, {4, 1}},
    {"apart, pending at the end", kAxis, {0, 5, 10, 5}, 1, 0.5, 1, {11, 1}, -12, 0, {11, 1}, {11, 1}, {0, 5}, {11, 1}},
    {"crossing at cv1's start", kAxis, {1e-8, 1, 1e-8, -1}, 1, 0.5, 0, {0, 0}, 0, 1, {0, 0}, {0, 0}, {1e-8, 1}, {1e-8, 0}},
    {"closing join at the seam", kAxis, {5, 5, 0, 0}, 4, 0.5, 0, {0, 0}, -12, 0, {0, 0}, {10, 0}, {5, 5}, {0, 0}},
    {"pending served", kAxis, {7, -1, 7, 1}, 2, 0.5, 1, {2, 0.5}, 0, 1, {2, 0}, {7, 0}, {7, -1}, {7, 0}},
    {"pending at the crossing", kAxis, {7, -1, 7, 1}, 4, 0.5, 1, {7, 0.3}, 0, 1, {7, 0}, {7, 0}, {7, 0}, {7, 0}},
    {"other modes as a middle join", kAxis, {7, -1, 7, 1}, 5, 0.5, 0, {0, 0}, 0, 1, {0, 0}, {7, 0}, {7, -1}, {7, 0}},
    {"NaN pending point", kAxis, {7, -1, 7, 1}, 1, 0.5, 1, {kNaN, 0}, -2, 1, {0, 0}, {10, 0}, {7, -1}, {kNaN, 0}},
    {"NaN distance", kAxis, {7, -1, 7, 1}, 1, kNaN, 0, {0, 0}, -2, 0, {0, 0}, {10, 0}, {7, -1}, {0, 0}},
};

TEST(OffsetTrimming, PairTrim) {
  for (const TrimRow &r : kTrimRows) {
    SCOPED_TRACE(r.name);
    auto a = polyline(r.a), b = polyline(r.b), a0 = polyline(r.a), b0 = polyline(r.b);
    double pt[3] = {r.pt[0], r.pt[1], kZ};
    std::int16_t pending = r.pending;
    int zero_out = 7, rc = 0;
    BScvinttrmd(r.d, r.d, &a->cv, &b->cv, r.mode, pt, &pending, &zero_out, &rc);
    EXPECT_EQ(rc, r.rc);
    EXPECT_EQ(zero_out, 0);
    EXPECT_EQ(pending, r.pending_out);
    if (r.rc == 0) {
      EXPECT_NEAR(pt[0], r.pt_out[0], 1e-9);
      EXPECT_NEAR(pt[1], r.pt_out[1], 1e-9);
      EXPECT_EQ(pt[2], kZ);
    }
    expect_xy(a->cv, 0, r.a_first, "cv1 start");
    expect_xy(a->cv, a->cv.num_poles - 1, r.a_last, "cv1 end");
    expect_xy(b->cv, 0, r.b_first, "cv2 start");
    if (r.b_first[0] == r.b[0] && r.b_first[1] == r.b[1]) {
      EXPECT_TRUE(same_curve(b->cv, *b0)) << "cv2 untouched";
    }
    if (r.rc != 0 && r.pending == r.pending_out) {
      EXPECT_TRUE(same_curve(a->cv, *a0)) << "cv1 untouched";
    }
    expect_level(a->cv);
    expect_level(b->cv);
  }
  // A chain: the first join leaves the pending point that the last one, on the next pair, serves.
  auto p0 = polyline(kAxis), p1 = polyline({8, -1, 8, 10}), p2 = polyline({9, 8, -1, 8});
  double pt[3] = {0, 0, 0};
  std::int16_t pending = 0;
  int zero_out = 0, rc = 0;
  BScvinttrmd(1, 1, &p0->cv, &p1->cv, 1, pt, &pending, &zero_out, &rc);
  BScvinttrmd(1, 1, &p1->cv, &p2->cv, 3, pt, &pending, &zero_out, &rc);
  EXPECT_EQ(rc, 0);
  const double corner1[2] = {8, 0}, corner2[2] = {8, 8};
  expect_xy(p1->cv, 0, corner1, "p1 cut back to the pending point");
  expect_xy(p1->cv, 1, corner2, "p1 end");
  expect_xy(p2->cv, 0, corner2, "p2 start");
  BScvinttrmd(1, 1, &p0->cv, &p0->cv, 1, pt, &pending, &zero_out, &rc);
  EXPECT_EQ(rc, -2) << "one record as both pieces";
}

// Forced allocation failures at every step of a last join with a pending point and of a front cut: nothing stays
// allocated, and the caller's pieces (z included) and pending state are as they were.
TEST(OffsetTrimming, AllocationFailuresLeaveThePiecesAlone) {
  for (int which = 0; which < 2; ++which) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(n);
      const int blocks = BSdbgliveblocks(), heap = BSscratchheapblocks();
      auto a = polyline({0, 0, 3, 0, 6, 1, 10, 0}), b = polyline({7, -1, 7, 1}), a0 = polyline({0, 0, 3, 0, 6, 1, 10, 0}),
           b0 = polyline({7, -1, 7, 1});
      double pt[3] = {2, 0.5, kZ};
      std::int16_t pending = 1;
      int zero_out = 0, rc = 0;
      BSallocfailat(n);
      if (which == 0)
        BScvinttrmd(1, 1, &a->cv, &b->cv, 3, pt, &pending, &zero_out, &rc);
      else
        BSoftrmfrnt(&a->cv, pt, &rc);
      const bool fired = BSallocfailpending() == 0;
      BSallocfailat(0);
      EXPECT_EQ(BSdbgliveblocks(), blocks);
      EXPECT_EQ(BSscratchheapblocks(), heap);
      expect_level(a->cv);
      expect_level(b->cv);
      if (!fired) {
        EXPECT_EQ(rc, 0);
        break;
      }
      EXPECT_NE(rc, 0);
      EXPECT_TRUE(same_curve(a->cv, *a0));
      EXPECT_TRUE(same_curve(b->cv, *b0));
      EXPECT_EQ(pending, 1);
      EXPECT_EQ(pt[0], 2);
    }
  }
}

}  // namespace
