// The closing joint of a closed composite offset: what comes back in each slot (pieces by their end points, with
// heights), the entry of an appended piece, the caller's pieces left alone, and failures that leave nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "bspline/offset.h"
#include "tests/bspline/offset/offset_fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct End {  // a piece by its end points; absent when not present
  bool present;
  double s[3], e[3];
};
const End kNo{false, {}, {}};
End at(double x0, double y0, double x1, double y1, double z0 = 2, double z1 = 2) {
  return {true, {x0, y0, z0}, {x1, y1, z1}};
}

struct Row {
  const char *name;
  char corner;  // s straight on (A then C), i inner (A then B, side -1), g gap (A then B, side 1), 0 A of no length
  const Seg *prev, *last, *first, *second;
  int ncomp, mode;
  double d_last, d_first;
  int rc, code;  // code: the appended piece's (0: none)
  End want[5];   // prev, last, first, second, joint
};

const Seg kA{0, 0, 10, 0}, kB{10, 0, 10, 10}, kC{10, 0, 20, 0}, kDot{10, 0, 10, 0};
const Seg kOffA{0, -1, 10, -1}, kOffB{11, 0, 11, 10}, kStepUp{10, -1, 20, -1, 2.002}, kStep{10, -1, 20, -1, 2.0005},
    kLong{0, -1, 12, -1}, kRising{10, -2, 12, 0, 3}, kLower{10, -2, 20, -2}, kShort{0, -1, 9, -1},
    kSteep{11, -2, 12, 0}, kIn1{0, 1, 10, 1}, kIn2{9, 0, 9, 10, 3}, kIn2b{9, 0, 9, 10}, kStub{10, 0, 10, 0.5},
    kDown{9, 2, 9, -5}, kAway{20, 20, 30, 20}, kIn1s{0, 1, 8, 1}, kStubF{9.5, -1, 9.5, 0.5}, kCross{5, 5, 15, -5},
    kBefore{-10, 1, 0, 1}, kFar{12, 0, 20, 0};

const Row kRows[] = {
    {"straight on, height step over sqrt(dist_tol)", 's', nullptr, &kOffA, &kStepUp, nullptr, 2, 0, 1, 1, 0, 0,
     {kNo, at(0, -1, 10, -1, 2, 2.002), at(10, -1, 20, -1, 2.002, 2.002), kNo, kNo}},
    {"straight on, height step below it", 's', nullptr, &kOffA, &kStep, nullptr, 2, 0, 1, 1, 0, 0,
     {kNo, at(0, -1, 10, -1), at(10, -1, 20, -1, 2.0005, 2.0005), kNo, kNo}},
    {"straight on, crossing: trimmed, first levelled", 's', nullptr, &kLong, &kRising, nullptr, 2, 0, 1, 1, 0, 0,
     {kNo, at(0, -1, 11, -1), at(11, -1, 12, 0, 2, 3), kNo, kNo}},
    {"straight on, no meeting: ends snapped", 's', nullptr, &kOffA, &kLower, nullptr, 2, 0, 1, 1, 0, 0,
     {kNo, at(0, -1, 10, -2), at(10, -2, 20, -2), kNo, kNo}},
    {"straight on, connecting line unused: snapped", 's', nullptr, &kOffA, &kLower, nullptr, 2, 0, 1, 2, 0, 0,
     {kNo, at(0, -1, 10, -2), at(10, -2, 20, -2), kNo, kNo}},
    {"straight on, gap: extended", 's', nullptr, &kShort, &kSteep, nullptr, 2, 0, 1, 1, 0, 0,
     {kNo, at(0, -1, 11.5, -1), at(11.5, -1, 12, 0), kNo, kNo}},
    {"inner: trimmed, last ends on first", 'i', nullptr, &kIn1, &kIn2, nullptr, 2, 0, 1, 1, 0, 0,
     {kNo, at(0, 1, 9, 1, 2, 3), at(9, 1, 9, 10, 3, 3), kNo, kNo}},
    {"inner, last vanished", 'i', &kA, &kStub, &kDown, &kAway, 4, 0, 1, 1, 0, 0,
     {at(0, 0, 9, 0), at(9, 0, 9, 0), at(9, 0, 9, -5), at(20, 20, 30, 20), kNo}},
    {"inner, first vanished", 'i', &kBefore, &kIn1, &kStubF, &kCross, 4, 0, 1, 1, 0, 0,
     {at(-10, 1, 0, 1), at(0, 1, 9, 1), at(9, 1, 9, 1), at(9, 1, 15, -5), kNo}},
    {"inner, three components: line", 'i', &kA, &kStub, &kDown, &kAway, 3, 0, 1, 1, 0, -61,
     {at(0, 0, 10, 0), at(10, 0, 10, 0.5), at(9, 2, 9, -5), at(20, 20, 30, 20), at(10, 0.5, 9, 2)}},
    {"inner, three components: extended", 'i', nullptr, &kIn1s, &kIn2b, nullptr, 3, 0, 1, 1, 0, 0,
     {kNo, at(0, 1, 9, 1), at(9, 1, 9, 10), kNo, kNo}},
    {"gap, mode 0", 'g', nullptr, &kOffA, &kOffB, nullptr, 2, 0, 1, 1, 0, 0,
     {kNo, at(0, -1, 11, -1), at(11, -1, 11, 10), kNo, kNo}},
    {"gap, mode 1: arc", 'g', nullptr, &kOffA, &kOffB, nullptr, 2, 1, 1, 1, 0, -63,
     {kNo, at(0, -1, 10, -1), at(11, 0, 11, 10), kNo, at(10, -1, 11, 0)}},
    {"gap, mode 2, d_last 0: kind 2", 'g', nullptr, &kA, &kFar, nullptr, 2, 2, 0, 1, 0, 0,
     {kNo, at(0, 0, 12, 0), at(12, 0, 20, 0), kNo, kNo}},
    {"gap, mode 2, d_first 0: kind 3", 'g', nullptr, &kA, &kFar, nullptr, 2, 2, 1, 0, 0, 0,
     {kNo, at(0, 0, 10, 0), at(10, 0, 20, 0), kNo, kNo}},
    {"gap, mode 2, line: first slot takes it", 'g', nullptr, &kOffA, &kOffB, nullptr, 2, 2, 0, 1, 0, -61,
     {kNo, at(0, -1, 10, -1), at(10, -1, 11, 0), kNo, at(11, 0, 11, 10)}},
    {"gap, other mode: sharp corner", 'g', nullptr, &kOffA, &kOffB, nullptr, 2, 7, 1, 1, 0, 0,
     {kNo, at(0, -1, 11, -1), at(11, -1, 11, 10), kNo, kNo}},
    {"NaN distance", 'g', nullptr, &kOffA, &kOffB, nullptr, 2, 0, kNaN, 1, -2, 0, {}},
    {"chain end of no length", 0, nullptr, &kOffA, &kOffB, nullptr, 2, 0, 1, 1, -6, 0, {}},
};

struct Call {
  int count = 3, codes[4] = {5, 6, 7, 0};
  double dists[4] = {1, 1, 1, 0};
  VOQbsp_curve *out[5] = {};
  std::int16_t pending = 1;
  int rc = 0;
  ~Call() {
    for (VOQbsp_curve *cv : out)
      if (cv) BSfreevoqcv(cv, &rc);
  }
};

void run(const Row &r, Call &c) {
  auto in_last = line(r.corner ? kA : kDot), in_first = line(r.corner == 's' ? kC : kB);
  std::unique_ptr<TestCurve> p[4];
  const Seg *segs[4] = {r.prev, r.last, r.first, r.second};
  for (int k = 0; k < 4; ++k)
    if (segs[k]) p[k] = line(*segs[k]);
  const double normal[3] = {0, 0, 1};
  // A start trim left pending at (5, 0) by an earlier join: the closing joint's trims must not apply it.
  double corner[3] = {5, 0, 0};
  auto cv = [&](int k) { return p[k] ? &p[k]->cv : nullptr; };
  BScmpoffcls(&in_last->cv, &in_first->cv, cv(0), cv(1), cv(2), cv(3), 1, r.d_last, r.d_first, 1, r.ncomp,
              static_cast<std::int16_t>(r.mode), normal, r.corner == 'i' ? -1 : 1, &c.count, c.codes, c.dists,
              &c.pending, corner, &c.out[0], &c.out[1], &c.out[2], &c.out[3], &c.out[4], &c.rc);
  for (int k = 0; k < 4; ++k)
    if (segs[k]) { EXPECT_EQ(p[k]->poles, line(*segs[k])->poles) << "the caller's piece " << k << " is untouched"; }
}

void check(const Call &c, const Row &r) {
  ASSERT_EQ(c.rc, r.rc);
  ASSERT_EQ(c.count, r.code ? 4 : 3);
  EXPECT_EQ(c.codes[3], r.code);
  if (r.code) { EXPECT_EQ(c.dists[3], std::max(r.d_last, r.d_first)); }
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(c.out[k] != nullptr, r.want[k].present);
    if (!c.out[k]) continue;
    const VOQbsp_curve &cv = *c.out[k];
    double s[3], e[3];
    ref_point(cv, cv.knots[cv.order - 1], s);
    ref_point(cv, cv.knots[cv.num_poles], e);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(i < 3 ? s[i] : e[i - 3], i < 3 ? r.want[k].s[i] : r.want[k].e[i - 3], 1e-9);
    EXPECT_FALSE(cv.order == 2 && cv.num_poles > 2) << "a line stays a 2-pole line";
  }
}

// Each row as it is, then with every allocation and release failing in turn: a failure leaves the lists as they
// were and hands nothing out; a joint that gets over a failure gives the same joint.
TEST(ClosingJoint, Joints) {
  for (const Row &r : kRows) {
    SCOPED_TRACE(r.name);
    Call c;
    run(r, c);
    check(c, r);
    if (r.rc != 0) continue;
    const auto call = [&] {
      auto failing = std::make_unique<Call>();
      run(r, *failing);
      return failing;
    };
    for_each_failure(call, [&](const Call &f, int, bool) {
      if (f.rc == 0) return check(f, r);
      EXPECT_EQ(f.count, 3);
      EXPECT_EQ(f.codes[3], 0);
      for (VOQbsp_curve *cv : f.out) EXPECT_EQ(cv, nullptr);
    });
  }
}

// Levelling after a trim: the receiving pole takes the other curve's point in Cartesian terms and keeps its own
// weight, so arcs stay arcs. Unit quarter circles, weights scaled by 2 (cv1) and 3 (cv2); cv2 of radius 1.5 starts
// off cv1's end, where a pole moved by homogeneous heights would show.
TEST(ClosingJoint, Levelling) {
  const double h = std::sqrt(0.5);
  struct Case {
    const char *name;
    int which;
    double z1, z2, u1, r2;
    int rc, moved;  // 0 none, 1 cv1's last pole, 2 cv2's first pole
  } cases[] = {
      {"cv2 levelled", 0, 0, 1, 1, 1, 0, 2},          {"cv1 levelled", 1, 0, 1, 1, 1, 0, 1},
      {"step within dist_tol", 0, 0, 5e-7, 1, 1, 0, 0}, {"same height, other weights", 0, 1, 1, 1, 1.5, 0, 0},
      {"NaN parameter", 0, 0, 1, kNaN, 1, -2, 0},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    const double r = k.r2, u2 = 0;
    TestCurve c1(3, {1, 0, k.z1, 1, 1, k.z1, 0, 1, k.z1}, {0, 0, 0, 1, 1, 1}, {2, 2 * h, 2});
    TestCurve c2(3, {0, r, k.z2, -r, r, k.z2, -r, 0, k.z2}, {0, 0, 0, 1, 1, 1}, {3, 3 * h, 3});
    const auto before1 = c1.poles, before2 = c2.poles, w1 = c1.weights, w2 = c2.weights;
    int rc = 0;
    BSjntmtchz2(static_cast<std::uint16_t>(k.which), &c1.cv, &c2.cv, &k.u1, &u2, &rc);
    ASSERT_EQ(rc, k.rc);
    EXPECT_EQ(c1.poles == before1, k.moved != 1);
    EXPECT_EQ(c2.poles == before2, k.moved != 2);
    EXPECT_TRUE(c1.weights == w1 && c2.weights == w2);
    if (!k.moved) continue;
    double end1[3], start2[3], p[3];
    ref_point(c1, 1.0, end1);
    ref_point(c2, 0.0, start2);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(end1[i], start2[i], 1e-12);
    for (double u = 0; u <= 1.0; u += 0.125) {
      ref_point(k.moved == 1 ? c1 : c2, u, p);
      EXPECT_NEAR(std::hypot(p[0], p[1]), 1.0, 1e-12) << "on the circle at " << u;
    }
  }
}

}  // namespace
