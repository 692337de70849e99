// The corner joins of a composite offset: what each join hands back (pieces by their end points, entries of the
// output lists), the pending front trim, and failures that must leave the lists and the heap as they were.
// Pieces lie at z = 2 unless a row says otherwise; that height must survive every join.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "bspline/offset.h"
#include "tests/bspline/offset/offset_fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Piece {  // by its end points in xy
  bool present;
  double s[2], e[2];
};
const Piece kNo{false, {0, 0}, {0, 0}};
struct Want {
  int rc, count;
  std::vector<int> indices;  // the whole list after the call
  std::vector<double> distances;
  Piece out[4];
};

struct Row {
  const char *name;
  char join;               // 'e' gap corner, 'm' straight corner, 'i' overlap corner
  Seg c1, c2, prev, next;  // e: the components; i: c1 the piece before prev when count is 2
  int mode;                // e: the join mode; i: the corner position
  int count;               // 1: prev's entry (5, 1); 2: entries (7, 1) and (5, 1)
  std::int16_t trim, trim_after;
  double d1, d2, znext;
  int curved;              // prev 1: the parabola (0,-3) (5,-1) (10,-1); 2: the unit quarter circle (0,1) to (1,0)
  Want want;
};

// One call with its output lists and the results it hands back.
struct Call {
  int count = 1, indices[4] = {5, 0, 0, 0};
  double distances[4] = {1, 0, 0, 0};
  VOQbsp_curve *out[4] = {};
  int rc = 0;
  ~Call() {
    for (VOQbsp_curve *cv : out)
      if (cv) BSfreevoqcv(cv, &rc);
  }
};

void run(const Row &r, Call &c, std::int16_t *trim) {
  Seg at_next = r.next;
  at_next.z = r.znext;
  auto c1 = line(r.c1), c2 = line(r.c2), prev = line(r.prev), next = line(at_next);
  if (r.curved == 1)
    prev = std::make_unique<TestCurve>(3, std::vector<double>{0, -3, 2, 5, -1, 2, 10, -1, 2},
                                       std::vector<double>{0, 0, 0, 1, 1, 1});
  if (r.curved == 2)
    prev = std::make_unique<TestCurve>(3, std::vector<double>{0, 1, 2, 1, 1, 2, 1, 0, 2},
                                       std::vector<double>{0, 0, 0, 1, 1, 1},
                                       std::vector<double>{1, std::sqrt(0.5), 1});
  if (r.count == 2) c.count = 2, c.indices[0] = 7, c.indices[1] = 5, c.distances[1] = 1;
  const double normal[3] = {0, 0, 1};
  double point[3] = {5, -1, 2};
  if (r.join == 'e')
    BScmpextoff(&c1->cv, &c2->cv, &prev->cv, &next->cv, static_cast<std::int16_t>(r.mode), r.d1, r.d2, normal, 1,
                1, trim, point, &c.count, c.indices, c.distances, &c.out[0], &c.out[1], &c.out[2], &c.rc);
  else if (r.join == 'm')
    BScmpmrgoff(&prev->cv, &next->cv, r.d1, r.d2, 1, trim, point, &c.count, c.indices, c.distances, &c.out[0],
                &c.out[1], &c.out[2], &c.rc);
  else
    BScmpintoff(r.count == 2 ? &c1->cv : nullptr, &prev->cv, &next->cv, r.mode, 1, r.d1, r.d2, 1, &c.count,
                c.indices, c.distances, trim, point, &c.out[0], &c.out[1], &c.out[2], &c.out[3], &c.rc);
}

void check(const Call &c, const Row &r) {
  const Want &w = r.want;
  ASSERT_EQ(c.rc, w.rc);
  ASSERT_EQ(c.count, w.count);
  for (int i = 0; i < c.count; ++i) {
    EXPECT_EQ(c.indices[i], w.indices[i]) << i;
    EXPECT_EQ(c.distances[i], w.distances[i]) << i;
  }
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(c.out[k] != nullptr, w.out[k].present);
    if (!c.out[k]) continue;
    const VOQbsp_curve &cv = *c.out[k];
    double s[3], e[3];
    ref_point(cv, cv.knots[cv.order - 1], s);
    ref_point(cv, cv.knots[cv.num_poles], e);
    for (int i = 0; i < 2; ++i) {
      EXPECT_NEAR(s[i], w.out[k].s[i], 1e-9);
      EXPECT_NEAR(e[i], w.out[k].e[i], 1e-9);
    }
    EXPECT_FALSE(cv.order == 2 && cv.num_poles > 2) << "a line stays a 2-pole line";
    // Every pole keeps its height; prev's end takes next's where they cross.
    for (int i = 0; i < cv.num_poles; ++i) {
      const bool of_next = r.join == 'i' && (k >= 2 || (k == 1 && i == cv.num_poles - 1));
      EXPECT_NEAR(cv.poles[3 * i + 2] / (cv.rational ? cv.weights[i] : 1.0), of_next ? r.znext : 2, 1e-12) << i;
    }
  }
}

// The common corner: A (0,0)-(10,0) then B (10,0)-(10,10), offset by 1 to the right; back: B turned round.
const Seg kA{0, 0, 10, 0}, kB{10, 0, 10, 10}, kOffA{0, -1, 10, -1}, kOffB{11, 0, 11, 10};
const Seg kBack{10, 0, 0, 0}, kBackOff{10, 1, 0, 1}, kFar{12, 0, 20, 0}, kIn1{0, 1, 10, 1}, kIn2{9, 0, 9, 10},
    kStep{10, -2, 20, -2}, kNone{0, 0, 1, 0};
constexpr double kH = 0.4e-6;  // a gap within dist_sqtol

const Row kRows[] = {
    {"gap, mode 0: lines meet", 'e', kA, kB, kOffA, kOffB, 0, 1, 0, 0, 1, 1, 2, 0,
     {0, 2, {5, 1}, {1, 1}, {{1, {0, -1}, {11, -1}}, {1, {11, -1}, {11, 10}}, kNo, kNo}}},
    {"gap, mode 0: curved prev continued to x = 11", 'e', kA, kB, kNone, kOffB, 0, 1, 0, 0, 1, 1, 2, 1,
     {0, 2, {5, 1}, {1, 1}, {{1, {0, -3}, {11, -1.02}}, {1, {11, -1.02}, {11, 10}}, kNo, kNo}}},
    {"gap, mode 0: prev cut back", 'e', kA, kB, {0, -1, 12, -1}, kOffB, 0, 1, 0, 0, 1, 1, 2, 0,
     {0, 2, {5, 1}, {1, 1}, {{1, {0, -1}, {11, -1}}, {1, {11, -1}, {11, 10}}, kNo, kNo}}},
    {"gap, mode 0: rational arc continued", 'e', kA, kB, kNone, {0.6, -0.5, 0.6, -5}, 0, 1, 0, 0, 1, 1, 2, 2,
     {0, 2, {5, 1}, {1, 1}, {{1, {0, 1}, {0.6, -0.8}}, {1, {0.6, -0.8}, {0.6, -5}}, kNo, kNo}}},
    {"gap, mode 0: extensions miss, square end", 'e', kA, kBack, kOffA, kBackOff, 0, 1, 0, 0, 1, 1, 2, 0,
     {0, 3, {5, -61, 1}, {1, 1, 1}, {{1, {0, -1}, {11, -1}}, {1, {11, -1}, {11, 1}}, {1, {11, 1}, {0, 1}}, kNo}}},
    {"gap, mode 0: front trim first", 'e', kA, kB, kOffA, kOffB, 0, 1, 1, 0, 1, 1, 2, 0,
     {0, 2, {5, 1}, {1, 1}, {{1, {5, -1}, {11, -1}}, {1, {11, -1}, {11, 10}}, kNo, kNo}}},
    {"gap, curved", 'e', kA, kB, kOffA, kOffB, 1, 1, 0, 0, 1, 1, 2, 0,
     {0, 3, {5, -63, 1}, {1, 1, 1}, {{1, {0, -1}, {10, -1}}, {1, {10, -1}, {11, 0}}, {1, {11, 0}, {11, 10}}, kNo}}},
    {"gap, mode 2: crossing", 'e', kA, kB, kOffA, kOffB, 2, 1, 0, 0, 1, 1, 2, 0,
     {0, 2, {5, 1}, {1, 1}, {{1, {0, -1}, {11, -1}}, {1, {11, -1}, {11, 10}}, kNo, kNo}}},
    {"gap, mode 2, d1 0: prev's end moves", 'e', kA, kB, kA, kFar, 2, 1, 0, 0, 0, 1, 2, 0,
     {0, 2, {5, 1}, {1, 1}, {{1, {0, 0}, {12, 0}}, {1, {12, 0}, {20, 0}}, kNo, kNo}}},
    {"gap, mode 2, d2 0: next's start moves", 'e', kA, kB, kA, kFar, 2, 1, 0, 0, 1, 0, 2, 0,
     {0, 2, {5, 1}, {1, 0}, {{1, {0, 0}, {10, 0}}, {1, {10, 0}, {20, 0}}, kNo, kNo}}},
    {"gap, mode 2, d1 0 off the end: a line", 'e', kA, kB, kOffA, kOffB, 2, 1, 0, 0, 0, 1, 2, 0,
     {0, 3, {5, -61, 1}, {1, 1, 1}, {{1, {0, -1}, {10, -1}}, {1, {10, -1}, {11, 0}}, {1, {11, 0}, {11, 10}}, kNo}}},
    {"gap, mode 0: parallel ends, no corner", 'e', kA, {10, 0, 20, 0}, kOffA, {12, 1, 20, 1}, 0, 1, 0, 0, 1, 1, 2, 0,
     {-12, 1, {5}, {1}, {kNo, kNo, kNo, kNo}}},
    {"gap, NaN distance", 'e', kA, kB, kOffA, kOffB, 0, 1, 0, 0, kNaN, 1, 2, 0,
     {-2, 1, {5}, {1}, {kNo, kNo, kNo, kNo}}},
    {"straight: ends within dist_sqtol", 'm', {}, {}, kOffA, {10 + kH, -1, 20, -1}, 0, 1, 0, 0, 1, 1, 2, 0,
     {0, 2, {5, 1}, {1, 1}, {{1, {0, -1}, {10 + kH / 2, -1}}, {1, {10 + kH / 2, -1}, {20, -1}}, kNo, kNo}}},
    {"straight: gap along the tangent", 'm', {}, {}, kOffA, {12, -1, 20, -1}, 0, 1, 1, 0, 1, 1, 2, 0,
     {0, 2, {5, 1}, {1, 1}, {{1, {5, -1}, {12, -1}}, {1, {12, -1}, {20, -1}}, kNo, kNo}}},
    {"straight: step, distances 1 and 2", 'm', {}, {}, kOffA, kStep, 0, 1, 0, 0, 1, 2, 2, 0,
     {0, 3, {5, -61, 1}, {1, 2, 2}, {{1, {0, -1}, {10, -1}}, {1, {10, -1}, {10, -2}}, {1, {10, -2}, {20, -2}}, kNo}}},
    {"straight: step, equal distances", 'm', {}, {}, kOffA, kStep, 0, 1, 0, 0, 1, 1, 2, 0,
     {0, 3, {5, -61, 1}, {1, 1, 1}, {{1, {0, -1}, {10, -1}}, {1, {10, -1}, {10, -2}}, {1, {10, -2}, {20, -2}}, kNo}}},
    {"straight: NaN distance", 'm', {}, {}, kOffA, kStep, 0, 1, 1, 1, 1, kNaN, 2, 0,
     {-2, 1, {5}, {1}, {kNo, kNo, kNo, kNo}}},
    {"overlap: next at z 3, left for the next join", 'i', {}, {}, kIn1, kIn2, 2, 1, 0, 1, 1, 1, 3, 0,
     {0, 2, {5, 1}, {1, 1}, {kNo, {1, {0, 1}, {9, 1}}, {1, {9, 0}, {9, 10}}, kNo}}},
    {"overlap: last position, front trim first", 'i', {}, {}, kIn1, kIn2, 3, 1, 1, 1, 1, 1, 2, 0,
     {0, 2, {5, 1}, {1, 1}, {kNo, {1, {5, 1}, {9, 1}}, {1, {9, 1}, {9, 10}}, kNo}}},
    {"overlap: prev vanished", 'i', {0, 0, 10, 0}, {}, {10, 0, 10, 0.5}, {9, 2, 9, -5}, 2, 2, 0, 1, 1, 1, 2, 0,
     {0, 3, {7, 5, 1}, {1, 1, 1}, {{1, {0, 0}, {9, 0}}, {1, {9, 0}, {9, 0}}, {1, {9, 0}, {9, -5}}, kNo}}},
    {"overlap: extended, prev collapses", 'i', {}, {}, kNone, {-1, 5, -1, -5}, 2, 1, 0, 0, 1, 1, 2, 0,
     {0, 1, {1}, {1}, {kNo, kNo, {1, {-1, 0}, {-1, -5}}, kNo}}},
    {"overlap: nothing joins", 'i', {}, {}, kIn1, {10, 2, 20, 2}, 2, 1, 0, 0, 1, 1, 2, 0,
     {-12, 1, {5}, {1}, {kNo, kNo, kNo, kNo}}},
    {"overlap: NaN distance", 'i', {}, {}, kIn1, kIn2, 2, 1, 0, 0, kNaN, 1, 2, 0,
     {-2, 1, {5}, {1}, {kNo, kNo, kNo, kNo}}},
};

// Each row as it is, then with every allocation and release failing in turn: a failure appends nothing, hands
// nothing out and leaves nothing allocated; a join that gets over a failure (an extension whose first attempt
// failed tries the next way) gives the join it gives without one.
TEST(CompositeJoins, Joins) {
  for (const Row &r : kRows) {
    SCOPED_TRACE(r.name);
    std::int16_t trim = r.trim;
    Call c;
    run(r, c, &trim);
    check(c, r);
    EXPECT_EQ(trim, r.want.rc == 0 ? r.trim_after : r.trim);
    for (int k = 0; k < 2 && r.join == 'e' && r.mode == 0 && c.out[k] && !c.out[2]; ++k) {
      EXPECT_EQ(c.out[k]->knots[0], 0.0) << "extended pieces on [0, 1]";
      EXPECT_EQ(c.out[k]->knots[c.out[k]->num_knots - 1], 1.0);
    }
    if (r.want.rc != 0) continue;
    const auto call = [&] {
      auto failing = std::make_unique<Call>();
      std::int16_t t = r.trim;
      run(r, *failing, &t);
      return failing;
    };
    for_each_failure(call, [&](const Call &f, int at, bool injected) {
      EXPECT_TRUE(f.rc == 0 || injected);
      EXPECT_TRUE(at != 0 || f.rc != 0) << "a failed release is a failure";
      if (f.rc == 0) return check(f, r);
      EXPECT_EQ(f.count, r.count);
      EXPECT_EQ(f.indices[r.count], 0);
      for (VOQbsp_curve *cv : f.out) EXPECT_EQ(cv, nullptr);
    });
  }
}

}  // namespace
