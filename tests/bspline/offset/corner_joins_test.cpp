// Corner joins between offset pieces. Every row also runs mirrored (y -> -y) about the normal (0, 0, -1), where
// the frame must give the mirror image of the same results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

using Vec = std::vector<double>;

// Mirrored when flip is -1. Three poles make an order-3 curve: straight, but not a line offset.
std::unique_ptr<TestCurve> make(Vec p, double flip) {
  for (std::size_t i = 1; i < p.size(); i += 3) p[i] *= flip;
  const int n = static_cast<int>(p.size() / 3), k = n == 3 ? 3 : 2;
  Vec t(k, 0.0);
  for (int i = 1; i <= n - k; ++i) t.push_back(static_cast<double>(i) / (n - k + 1));
  t.resize(n + k, 1.0);
  return std::make_unique<TestCurve>(k, p, t);
}

void point_at(const VOQbsp_curve *cv, double u, double out[6]) {
  int rc = 0;
  BScveval_n(cv, u, 1, out, &rc);
  ASSERT_EQ(rc, 0);
}

// Offsets of a right-angle corner at the origin by 1 (A along +x, B along +y, offsets on the outside):
// E = (0, -1), S = (1, 0), mitre point (1, -1).
const Vec kA = {-5, 0, 0, 0, 0, 0}, kB = {0, 0, 0, 0, 5, 0};
const Vec kOffA = {-5, -1, 0, 0, -1, 0}, kOffA3 = {-5, -1, 0, -2.5, -1, 0, 0, -1, 0};
const Vec kOffB = {1, 0, 0, 1, 5, 0}, kOffB3 = {1, 0, 0, 1, 2.5, 0, 1, 5, 0};
// The curve turns back at the origin: B along -x, its offset on y = 1.
const Vec kBack = {0, 0, 0, -5, 0, 0}, kOffBack = {0, 1, 0, -5, 1, 0}, kOffBack3 = {0, 1, 0, -2.5, 1, 0, -5, 1, 0};

const Vec kTurn = {0, 0, 0, 8, 6, 0}, kOffTurn = {1.5, -2, 0, 9.5, 4, 0};
// At a distance of ten dist_tol: B turns left by 9.5 degrees, along (143, 24) / 145, offsets on the right; the
// mitre point is (d / 12, -d). And the same curve turning back.
const double kD5 = 1e-5, kC = 143.0 / 145, kS = 24.0 / 145;
const Vec kAt = {-5e-5, 0, 0, 0, 0, 0}, kOffAt = {-5e-5, -kD5, 0, 0, -kD5, 0};
const Vec kSlight = {0, 0, 0, 5e-5 * kC, 5e-5 * kS, 0};
const Vec kOffSlight = {kS * kD5, -kC * kD5, 0, 5e-5 * kC + kS * kD5, 5e-5 * kS - kC * kD5, 0};
const Vec kBackAt = {0, 0, 0, -5e-5, 0, 0}, kOffBackAt = {0, kD5, 0, -5e-5, kD5, 0};
const Vec kOffA8 = {-5, -0.8, 0, 0, -0.8, 0}, kOffA8q = {-5, -0.8, 0, -2.5, -0.8, 0, 0, -0.8, 0};
const Vec kTurnR = {8, 6, 0, 0, 0, 0}, kOffTurnR = {9.5, 4, 0, 1.5, -2, 0}, kAR = {0, 0, 0, -5, 0, 0};
const Vec kOffA8R = {0, -0.8, 0, -5, -0.8, 0}, kOffA8qR = {0, -0.8, 0, -2.5, -0.8, 0, -5, -0.8, 0};

struct JoinRow {
  const char *what;
  Vec A, B, offA, offB;  // offB empty: offB is the record offA
  std::int16_t corner;
  double d1, d2;
  int side, rc, code;
  Vec endA, startB;  // last pole of offA and first pole of offB on return
  Vec poles = {}, knots = {};  // of a joining polyline, when given
};

const JoinRow kJoins[] = {
    {"arc", kA, kB, kOffA, kOffB, 1, 1, 1, 1, 0, -63, {0, -1, 0}, {1, 0, 0}},
    {"mitre", kA, kB, kOffA, kOffB, 0, 1, 1, 1, 0, -65, {1, -1, 0}, {1, -1, 0}},
    {"mitre, only offA a line", kA, kB, kOffA, kOffB3, 0, 1, 1, 1, 0, -61, {1, -1, 0}, {1, 0, 0},
     {1, -1, 0, 1, 0, 0}, {0, 0, 1, 1}},
    {"mitre, neither a line", kA, kB, kOffA3, kOffB3, 0, 1, 1, 1, 0, -62, {0, -1, 0}, {1, 0, 0},
     {0, -1, 0, 1, -1, 0, 1, 0, 0}, {0, 0, 0.5, 1, 1}},
    {"one record, both ends move", kA, kB, {1, 0, 0, 1, 4, 0, -4, 4, 0, -4, -1, 0, 0, -1, 0}, {}, 0, 1, 1, 1, 0,
     -65, {1, -1, 0}, {1, -1, 0}},
    {"tangent-continuous", kA, {0, 0, 0, 5, 0, 0}, kOffA, {0, -1, 0, 5, -1, 0}, 1, 1, 1, 1, 0, -65, {0, -1, 0},
     {0, -1, 0}},
    {"distance 0", kA, kB, kA, kB, 1, 0, 0, 1, 0, -65, {0, 0, 0}, {0, 0, 0}},
    {"parallel end tangents", kA, kB, kOffA, {1, 0, 0, 6, 0, 0}, 0, 1, 1, 1, -12, -65, {0, -1, 0}, {1, 0, 0}},
    {"square end", kA, kBack, kOffA, kOffBack, 0, 1, 1, 1, 0, -61, {1, -1, 0}, {1, 1, 0}, {1, -1, 0, 1, 1, 0},
     {0, 0, 1, 1}},
    {"square end, only offA a line", kA, kBack, kOffA, kOffBack3, 0, 1, 1, 1, 0, -62, {1, -1, 0}, {0, 1, 0},
     {1, -1, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0.66667, 1, 1}},
    {"square end, neither a line", kA, kBack, kOffA3, kOffBack3, 0, 1, 1, 1, 0, -62, {0, -1, 0}, {0, 1, 0},
     {0, -1, 0, 1, -1, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0.25, 0.75, 1, 1}},
    {"half circle", kA, kBack, kOffA, kOffBack, 1, 1, 1, 1, 0, -63, {0, -1, 0}, {0, 1, 0}},
    // Ten dist_tol from the corner the ends of a slight turn and the corner lie on one line to the library's
    // tolerance; only a curve that turns back on itself gets the half circle.
    {"arc about a slight turn, tiny", kAt, kSlight, kOffAt, kOffSlight, 1, kD5, kD5, 1, 0, -63, {0, -kD5, 0},
     {kS * kD5, -kC * kD5, 0}},
    {"mitre at a slight turn, tiny", kAt, kSlight, kOffAt, kOffSlight, 0, kD5, kD5, 1, 0, -65, {kD5 / 12, -kD5, 0},
     {kD5 / 12, -kD5, 0}},
    {"half circle, tiny", kAt, kBackAt, kOffAt, kOffBackAt, 1, kD5, kD5, 1, 0, -63, {0, -kD5, 0}, {0, kD5, 0}},
    {"conic between curved offsets", kA, kB, {-4, -1.5, 0, -2, -1.2, 0, 0, -1, 0}, {1, 0, 0, 1.2, 2, 0, 1.5, 4, 0},
     1, 1, 1, 1, 0, -64, {0, -1, 0}, {1, 0, 0}},
    // Unequal distances. B leaves the corner along (0.8, 0.6); offB starts at (1.5, -2) and meets offA's tangent
    // ray y = -0.8 at (3.1, -0.8), parameter 0.2; the circle of radius 1.65 about that point meets offB again at
    // parameter 0.365, (4.42, 0.19).
    {"ray meets offB, sharp", kA, kTurn, kOffA8, kOffTurn, 0, 0.8, 2.5, 1, 0, -65, {3.1, -0.8, 0}, {3.1, -0.8, 0}},
    {"ray meets offB, sharp, offA curved", kA, kTurn, kOffA8q, kOffTurn, 0, 0.8, 2.5, 1, 0, -61, {0, -0.8, 0},
     {3.1, -0.8, 0}, {0, -0.8, 0, 3.1, -0.8, 0}, {0, 0, 1, 1}},
    {"ray meets offB, curved", kA, kTurn, kOffA8, kOffTurn, 1, 0.8, 2.5, 1, 0, -64, {0, -0.8, 0}, {4.42, 0.19, 0}},
    // The same corner run backwards: offB's backward ray meets offA, which is trimmed.
    {"backward ray meets offA", kTurnR, kAR, kOffTurnR, kOffA8R, 0, 2.5, 0.8, -1, 0, -65, {3.1, -0.8, 0},
     {3.1, -0.8, 0}},
    {"backward ray meets offA, offB curved", kTurnR, kAR, kOffTurnR, kOffA8qR, 0, 2.5, 0.8, -1, 0, -61,
     {3.1, -0.8, 0}, {0, -0.8, 0}, {3.1, -0.8, 0, 0, -0.8, 0}, {0, 0, 1, 1}},
    {"backward ray meets offA, curved", kTurnR, kAR, kOffTurnR, kOffA8R, 1, 2.5, 0.8, -1, 0, -64, {4.42, 0.19, 0},
     {0, -0.8, 0}},
    {"no ray meets: mitre", kA, kB, kOffA, {2, 0, 0, 2, 5, 0}, 0, 1, 2, 1, 0, -65, {2, -1, 0}, {2, -1, 0}},
    // A piece rising only in z was left out between the two: offB starts 2 higher. In the plane the joins are
    // those of the level corner; z climbs from one end to the other.
    {"arc, offB higher", kA, kB, kOffA, {1, 0, 2, 1, 5, 2}, 1, 1, 1, 1, 0, -63, {0, -1, 0}, {1, 0, 2}},
    {"half circle, offB higher", kA, kBack, kOffA, {0, 1, 2, -5, 1, 2}, 1, 1, 1, 1, 0, -63, {0, -1, 0}, {0, 1, 2}},
    {"conic, offB higher", kA, kB, {-4, -1.5, 0, -2, -1.2, 0, 0, -1, 0}, {1, 0, 2, 1.2, 2, 2, 1.5, 4, 2}, 1, 1, 1, 1,
     0, -64, {0, -1, 0}, {1, 0, 2}},
    {"half conic, offB higher", kA, kBack, kOffA3, {0, 1, 2, -2.5, 1.3, 2, -5, 1, 2}, 1, 1, 1, 1, 0, -64,
     {0, -1, 0}, {0, 1, 2}},
    {"NaN distance", kA, kB, kOffA, kOffB, 1, NAN, 1, 1, -2, -65, {0, -1, 0}, {1, 0, 0}},
    {"side 0", kA, kB, kOffA, kOffB, 1, 1, 1, 0, -2, -65, {0, -1, 0}, {1, 0, 0}},
};

struct JoinRun {
  std::unique_ptr<TestCurve> A, B, offA, offB;
  VOQbsp_curve *arc = nullptr;
  int code = 0, rc = 99;
  JoinRun(const JoinRow &row, double flip)
      : A(make(row.A, flip)), B(make(row.B, flip)), offA(make(row.offA, flip)),
        offB(row.offB.empty() ? nullptr : make(row.offB, flip)) {}
  ~JoinRun() { arc ? BSfreevoqcv(arc, &rc) : void(); }
  VOQbsp_curve *second() { return offB ? &offB->cv : &offA->cv; }
  void run(const JoinRow &row, const double normal[3]) {
    BSofk3arc(&A->cv, &B->cv, &offA->cv, second(), row.corner, row.d1, row.d2, normal, row.side, &code, &arc, &rc);
  }
};

TEST(CornerJoins, Table) {
  for (const JoinRow &row : kJoins) {
    for (const double flip : {1.0, -1.0}) {
      SCOPED_TRACE(testing::Message() << row.what << (flip < 0 ? ", mirrored" : ""));
      const double normal[3] = {0, 0, flip};
      const int live = BSdbgliveblocks();
      {
        JoinRun j(row, flip);
        j.run(row, normal);
        ASSERT_EQ(j.rc, row.rc);
        EXPECT_EQ(j.code, row.code);
        const VOQbsp_curve *oa = &j.offA->cv, *ob = j.second();
        const TestCurve &tb = j.offB ? *j.offB : *j.offA;
        for (int c = 0; c < 3; ++c) {
          EXPECT_NEAR(j.offA->pole(oa->num_poles - 1, c), (c == 1 ? flip : 1) * row.endA[c], 1e-9) << c;
          EXPECT_NEAR(tb.pole(0, c), (c == 1 ? flip : 1) * row.startB[c], 1e-9) << c;
        }
        if (row.rc != 0 || row.code == -65) {
          EXPECT_EQ(j.arc, nullptr);
          continue;
        }
        ASSERT_NE(j.arc, nullptr);
        // From the end of offA to the start of offB as they are now.
        double a_end[6], b_start[6], s[6], e[6];
        point_at(oa, oa->knots[oa->num_poles], a_end);
        point_at(ob, ob->knots[ob->order - 1], b_start);
        point_at(j.arc, j.arc->knots[j.arc->order - 1], s);
        point_at(j.arc, j.arc->knots[j.arc->num_poles], e);
        for (int c = 0; c < 3; ++c) {
          EXPECT_NEAR(s[c], a_end[c], 1e-12) << c;
          EXPECT_NEAR(e[c], b_start[c], 1e-12) << c;
        }
        if (!row.poles.empty()) {
          ASSERT_EQ(j.arc->num_poles * 3, static_cast<int>(row.poles.size()));
          for (std::size_t i = 0; i < row.poles.size(); ++i)
            EXPECT_NEAR(j.arc->poles[i], row.poles[i] * (i % 3 == 1 ? flip : 1.0), 1e-12) << i;
          EXPECT_EQ(Vec(j.arc->knots, j.arc->knots + j.arc->num_knots), row.knots);
        }
        // In the plane a circle about the corner; along the normal between the two ends.
        for (int i = 0; i <= 10; ++i) {
          double p[6];
          point_at(j.arc, i / 10.0, p);
          EXPECT_LE(p[2], std::fmax(s[2], e[2]) + 1e-12) << i;
          EXPECT_GE(p[2], std::fmin(s[2], e[2]) - 1e-12) << i;
          if (row.code != -63) continue;
          EXPECT_NEAR(std::hypot(p[0], p[1]), row.d1, 1e-12) << i;
          EXPECT_TRUE(i != 5 || p[0] > 0.05 * row.d1);  // round the outside of the corner
        }
        auto sine = [](const double *u, const double *v) {
          return (u[0] * v[1] - u[1] * v[0]) / (std::hypot(u[0], u[1]) * std::hypot(v[0], v[1]));
        };
        EXPECT_TRUE(row.code != -64 ||
                    (std::fabs(sine(s + 3, a_end + 3)) < 1e-9 && std::fabs(sine(e + 3, b_start + 3)) < 1e-9));
      }
      EXPECT_EQ(BSdbgliveblocks(), live);
    }
  }
}

// Every allocation that fails, and a release that fails (-1), leaves the caller's offsets as they were and
// nothing allocated but a joining curve the caller releases.
void fail_release(const char *lname, int *rc) {
  if (std::strcmp(lname, "bsfreevoqcv") == 0) *rc = 33;
}

TEST(CornerJoins, FailuresLeaveTheOffsets) {
  // Trims offB and builds a conic: the most allocations.
  const JoinRow &row = *std::find_if(std::begin(kJoins), std::end(kJoins), [](const JoinRow &r) {
    return std::strcmp(r.what, "ray meets offB, curved") == 0;
  });
  const double normal[3] = {0, 0, -1};
  for (int at = 0, injected = 1; injected; ++at)
    for (const bool slow : {false, true}) {
      if (slow && at != 0) break;  // a failing release on both roads; heap failures on the short roads
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(testing::Message() << at << (slow ? ", slow roads" : ""));
      const int live = BSdbgliveblocks();
      {
        JoinRun j(row, -1);
        const Vec a0 = j.offA->poles, b0 = j.offB->poles;
        at == 0 ? (void)BSsetfaulthook(fail_release) : BSallocfailat(at);
        j.run(row, normal);
        BSsetfaulthook(nullptr);
        injected = at == 0 || BSallocfailpending() == 0;
        BSallocfailat(0);
        EXPECT_EQ(j.rc == 0, !injected);
        if (at == 0) {
          EXPECT_EQ(j.rc, -1);
        }
        if (j.rc != 0) {
          EXPECT_EQ(j.offA->poles, a0);
          EXPECT_EQ(j.offB->poles, b0);
          EXPECT_EQ(j.offB->cv.num_poles, 2);
        }
      }
      EXPECT_EQ(BSdbgliveblocks(), live);
    }
}

}  // namespace
