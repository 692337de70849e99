// Offset pieces joined by extending them: the crossing of two continuations, and the join that falls back from
// continuations to rays and to a connecting line by the reach of the offset distances.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

// A curve of the given order through Cartesian xy poles at height z, knots evenly over [0, 1] between clamped
// ends (or the given interior knots), weights when given.
std::unique_ptr<TestCurve> curve(int k, const std::vector<double> &xy, double z = 0, std::vector<double> w = {},
                                 std::vector<double> interior = {}) {
  const int n = static_cast<int>(xy.size() / 2);
  std::vector<double> poles, knots(k, 0.0);
  for (int i = 0; i < n; ++i) poles.insert(poles.end(), {xy[2 * i], xy[2 * i + 1], z});
  if (interior.empty())
    for (int i = 1; i <= n - k; ++i) interior.push_back(static_cast<double>(i) / (n - k + 1));
  knots.insert(knots.end(), interior.begin(), interior.end());
  knots.insert(knots.end(), k, 1.0);
  return std::make_unique<TestCurve>(k, poles, knots, w);
}

struct Room {
  VOQbsp_curve *cv = nullptr;
  explicit Room(const VOQbsp_curve &like) {
    int rc = 0;
    BSallocvoqcv(like.order, like.num_poles + 2 * like.order - 2, like.rational, 0, &cv, &rc);
  }
  ~Room() {
    int rc = 0;
    if (cv) BSfreevoqcv(cv, &rc);
  }
  Room(const Room &) = delete;
  Room &operator=(const Room &) = delete;
};

// The join of a and b at distances d1 and d2, into rooms of their own; the trim flag starts set, the result flag
// at 7, so that both show whether they were written.
struct Join {
  Room o1, o2;
  VOQbsp_curve *line = nullptr;
  std::int16_t trim = 1, flag = 7;
  int rc = 0;
  Join(const TestCurve &a, const TestCurve &b, double d1, double d2) : o1(a.cv), o2(b.cv) {
    BSexttrmcmp(&a.cv, &b.cv, d1, d2, &trim, nullptr, &line, &flag, o1.cv, o2.cv, &rc);
  }
  ~Join() {
    int frc = 0;
    if (line) BSfreevoqcv(line, &frc);
  }
  Join(const Join &) = delete;
  Join &operator=(const Join &) = delete;
};

void pole(const VOQbsp_curve &cv, int i, double out[3]) {
  const double w = cv.rational ? cv.weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = cv.poles[3 * i + c] / w;
}

void expect_pole(const VOQbsp_curve &cv, int i, const double want[2], double tol, const char *what) {
  double p[3];
  pole(cv, i, p);
  EXPECT_NEAR(p[0], want[0], tol) << what;
  EXPECT_NEAR(p[1], want[1], tol) << what;
}

// Quadratic poles of y = s x^2 + c over [a, b] (x linear in the parameter over [0, 1]), as one span or, with a
// knot where x = m, two.
std::vector<double> parabola(double s, double c, double a, double b, double m = 0) {
  auto y = [&](double u, double v) { return s * u * v + c; };
  if (m == 0) return {a, y(a, a), (a + b) / 2, y(a, b), b, y(b, b)};
  return {a, y(a, a), (a + m) / 2, y(a, m), (m + b) / 2, y(m, b), b, y(b, b)};
}

// The crossing of two continuations: ends close already, parallel and closed input, straight pieces meeting
// far beyond their ends at either end, curved pieces (one of two spans, one rational) whose continuations cross
// twice, the crossing nearer both ends taken although it comes later on the first, and a wide arc.
TEST(ExtensionJoin, CrossingOfContinuations) {
  const double x = std::sqrt(1.5), c80 = std::cos(80 * M_PI / 180), s80 = std::sin(80 * M_PI / 180);
  struct Row {
    const char *name;
    std::unique_ptr<TestCurve> a, b;
    std::int32_t ends[2];
    bool closed;
    int rc;
    double meet[2], a_other[2], b_other[2];
  } rows[] = {
      {"ends within dist_tol", curve(2, {0, 0, 1, 0}), curve(2, {1 + 4e-7, 0, 1, 5}), {1, 0}, false, 0,
       {1 + 2e-7, 0}, {0, 0}, {1, 5}},
      {"parallel lines", curve(2, {0, 0, 1, 0}), curve(2, {2, 1, 3, 1}), {1, 0}, false, -12, {}, {}, {}},
      {"closed input", curve(2, {0, 0, 1, 0, 1, 1, 0, 0}), curve(2, {2, 1, 3, 1}), {1, 0}, true, -2, {}, {}, {}},
      {"corner nine chords on", curve(2, {0, 0, 1, 0}), curve(2, {10, 1, 10, 5}), {0x10001, 0}, false, 0, {10, 0},
       {0, 0}, {10, 5}},
      {"corner behind both starts", curve(3, {1, 0, 3, 0, 5, 0}), curve(2, {0, 1, 0, 5}), {0, 0}, false, 0, {0, 0},
       {5, 0}, {0, 5}},
      // The first piece's end span, x in [-1.25, -0.5], continues to x = 1.75.
      {"curved, crossing twice", curve(3, parabola(1, 0, -1.5, -0.5, -1.25), 0, {}, {0.25}),
       curve(3, parabola(-1, 3, 0.7, 1.5), 0, {2, 2, 2}), {1, 0}, false, 0, {x, 1.5}, {-1.5, 2.25},
       {1.5, 0.75}},
      // A unit arc of 160 degrees in one span (weights too uneven for the weighted line test) runs on round its
      // circle to the line x = 0, at 90 degrees.
      {"wide arc in one span", curve(3, {c80, -s80, 1 / c80, 0, c80, s80}, 0, {1, c80, 1}), curve(2, {0, 2, 0, 5}),
       {1, 0}, false, 0, {0, 1}, {c80, -s80}, {0, 5}},
      // The first piece jumps from (1, 0) to (5, 1) where its end span begins: that span runs on up x = 5.
      {"end span after a jump", curve(2, {0, 0, 1, 0, 5, 1, 5, 2}, 0, {}, {0.5, 0.5}), curve(2, {6, 4, 8, 4}),
       {1, 0}, false, 0, {5, 4}, {0, 0}, {8, 4}},
  };
  for (Row &r : rows) {
    SCOPED_TRACE(r.name);
    r.a->cv.phy_closed = r.closed;
    Room o1(r.a->cv), o2(r.b->cv);
    int rc = 0;
    BSpolyxcvcv(&r.a->cv, &r.b->cv, r.ends, o1.cv, o2.cv, &rc);
    EXPECT_EQ(rc, r.rc);
    if (rc != 0 || r.rc != 0) continue;
    const bool end1 = (r.ends[0] & 0xFFFF) != 0, end2 = r.ends[1] != 0;
    const int i1 = end1 ? o1.cv->num_poles - 1 : 0, i2 = end2 ? o2.cv->num_poles - 1 : 0;
    double p1[3], p2[3];
    pole(*o1.cv, i1, p1);
    pole(*o2.cv, i2, p2);
    // One point, but for the rounding of a pole divided by its weight.
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(p1[c], p2[c], 4e-16 * (1 + std::fabs(p1[c]))) << "one end point";
    expect_pole(*o1.cv, i1, r.meet, 1e-9, "meet");
    expect_pole(*o1.cv, end1 ? 0 : o1.cv->num_poles - 1, r.a_other, 1e-12, "cv1's other end");
    expect_pole(*o2.cv, end2 ? 0 : o2.cv->num_poles - 1, r.b_other, 1e-12, "cv2's other end");
    // Still on the pieces' own functions: the continuation of a parabola is the parabola.
    auto at = [](const VOQbsp_curve *o, int i, double q[3]) {
      const double lo = o->knots[o->order - 1], hi = o->knots[o->num_poles];
      ref_point(*o, lo + (hi - lo) * i / 10, q);
    };
    for (int i = 0; i <= 10 && r.b->order() == 3; ++i) {
      double q1[3], q2[3];
      at(o1.cv, i, q1);
      at(o2.cv, i, q2);
      EXPECT_NEAR(q1[1], q1[0] * q1[0], 1e-9);
      EXPECT_NEAR(q2[1], 3 - q2[0] * q2[0], 1e-9);
    }
  }
}

// The reach that decides between continuations and rays, and of the rays: the first piece's continuation grows
// it by g to the second piece, which it crosses. Distances 3 and 4 give reach 6 throughout, 4 and 4.5 reach 4.5
// for the continuation and 13.5 for the rays, 0 and 0 three times chrdht_tol; signs do not matter. Past every
// reach a connecting line is made, or -12 with equal distances.
TEST(ExtensionJoin, ReachOfTheJoin) {
  const double ct = BStoltab[bstol::chrdht_tol];
  struct Row {
    double d1, d2, g;
    int rc;
    std::int16_t flag;
    bool line;
  } rows[] = {
      {3, 4, 5.9, 0, 1, false},       {3, 4, 6.1, 0, 0, true},       {-3, -4, 5.9, 0, 1, false},
      {-3, -4, 6.1, 0, 0, true},      {4, 4.5, 4.4, 0, 1, false},    {4, 4.5, 4.6, 0, 0, false},
      {4, 4.5, 13.6, 0, 0, true},     {0, 0, 2.9 * ct, 0, 1, false}, {0, 0, 3.1 * ct, -12, 0, false},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(testing::Message() << r.d1 << " " << r.d2 << " gap " << r.g);
    auto a = curve(2, {-10, 0, -5, 0, -r.g, 0}), b = curve(2, {0, -1, 0, 4, 0, 10});
    Join j(*a, *b, r.d1, r.d2);
    EXPECT_EQ(j.rc, r.rc);
    EXPECT_EQ(j.flag, r.flag);
    EXPECT_EQ(j.line != nullptr, r.line);
    EXPECT_EQ(j.trim, r.line || r.rc != 0 ? 0 : 1);
    const double joined[2] = {0, 0}, apart[2] = {-r.g, 0}, start2[2] = {0, -1};
    if (j.rc == 0) expect_pole(*j.o1.cv, j.o1.cv->num_poles - 1, r.line ? apart : joined, 1e-9, "out1's end");
    if (j.rc == 0 && !r.line) expect_pole(*j.o2.cv, 0, joined, 1e-9, "out2's start");
    if (j.line) {
      expect_pole(*j.line, 0, apart, 0, "line start");
      expect_pole(*j.line, 1, start2, 0, "line end at out2's start");
    }
  }
}

// The join's particular outcomes, all at height 3, which the rays keep: collinear 2-pole lines meet as 2-pole
// lines; ray 3 reduces the first piece to a point on the second; no ray meets (a connecting line, or -12 with
// equal distances); a first piece of no length is carried to the second's start.
TEST(ExtensionJoin, Outcomes) {
  struct Row {
    const char *name;
    int ka;  // the first piece's order
    std::vector<double> a, b;
    double d1, d2;
    int rc;
    std::int16_t flag;
    int a_poles;
    double a_first[2], a_last[2], b_first[2];
    bool line;
  } rows[] = {
      {"collinear lines", 2, {0, 0, 1, 0}, {1.5, 0, 3, 0}, 1, 1, 0, 1, 2, {0, 0}, {1.5, 0}, {1.5, 0}, false},
      // The parabola's continuation turns back before x = 0.5; the ray along its end tangent goes on.
      {"ray 1 merged onto a curved piece", 3, {-4, 1, -2, 0, -1, 0}, {0.5, -0.5, 0.5, 0.05}, 1, 2, 0, 0, 5, {-4, 1},
       {0.5, 0}, {0.5, 0}, false},
      {"ray 3", 2, {0, 0, 5, 0}, {-2, -3, -2, 3}, 1, 2, 0, -1, 2, {-2, 0}, {-2, 0}, {-2, 0}, false},
      {"no ray, distances 2 and 3", 2, {0, 0, 1, 0}, {5, 5, 6, 5}, 2, 3, 0, 0, 2, {0, 0}, {1, 0}, {5, 5}, true},
      {"no ray, equal distances", 2, {0, 0, 1, 0}, {5, 5, 6, 5}, 2, 2, -12, 0, 2, {0, 0}, {1, 0}, {5, 5}, false},
      {"no length", 2, {2, 2, 2, 2 + 1e-9}, {0, 0, 0, 5}, 1, 2, 0, 0, 2, {2, 2}, {0, 0}, {0, 0}, false},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    auto a = curve(r.ka, r.a, 3), b = curve(2, r.b, 3);
    Join j(*a, *b, r.d1, r.d2);
    EXPECT_EQ(j.rc, r.rc);
    EXPECT_EQ(j.flag, r.flag);
    EXPECT_EQ(j.line != nullptr, r.line);
    EXPECT_EQ(j.o1.cv->num_poles, r.a_poles);
    expect_pole(*j.o1.cv, 0, r.a_first, 1e-9, "out1's start");
    expect_pole(*j.o1.cv, j.o1.cv->num_poles - 1, r.a_last, 1e-9, "out1's end");
    expect_pole(*j.o2.cv, 0, r.b_first, 1e-9, "out2's start");
    for (const VOQbsp_curve *o : {j.o1.cv, j.o2.cv, j.line})
      for (int i = 0; o && i < o->num_poles; ++i) {
        double p[3];
        pole(*o, i, p);
        EXPECT_EQ(p[2], 3.0);
      }
  }
}

// Forced allocation failures at every step of a join by continuations (curved pieces) and of one by a ray and of
// one by a connecting line: each is reported as such and nothing stays allocated. Damaged input is refused before
// any work.
TEST(ExtensionJoin, FailuresLeaveNothing) {
  for (int which = 0; which < 3; ++which) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(testing::Message() << which << " " << n);
      auto a = which == 0 ? curve(3, parabola(1, 0, -1.5, -0.5, -1.25), 0, {}, {0.25})
                          : curve(2, which == 1 ? std::vector<double>{0, 0, 5, 0} : std::vector<double>{0, 0, 1, 0});
      auto b = which == 0 ? curve(3, parabola(-1, 3, 0.7, 1.5), 0, {2, 2, 2})
                          : curve(2, which == 1 ? std::vector<double>{-2, -3, -2, 3} : std::vector<double>{5, 5, 6, 5});
      const int blocks = BSdbgliveblocks(), heap = BSscratchheapblocks();
      bool fired = false;
      {
        BSallocfailat(n);
        Join j(*a, *b, 1, 2);
        fired = BSallocfailpending() == 0;
        BSallocfailat(0);
        // Past the rooms' own allocations, reported as itself: out of memory is no answer that the continuations
        // do not meet.
        if (fired && j.o1.cv && j.o2.cv) { EXPECT_TRUE(j.rc == 33 || j.rc == -13) << j.rc; }
      }
      EXPECT_EQ(BSdbgliveblocks(), blocks);
      EXPECT_EQ(BSscratchheapblocks(), heap);
      if (!fired) break;
    }
  }
  auto a = curve(2, {0, 0, 1, 0}), b = curve(2, {5, 5, 6, 5});
  {
    Join j(*a, *b, 1, std::nan(""));
    EXPECT_EQ(j.rc, -2);
    EXPECT_EQ(j.trim, 1);
    EXPECT_EQ(j.line, nullptr);
  }
  b->poles[1] = std::nan("");
  Room o1(a->cv), o2(b->cv);
  const std::int32_t ends[2] = {1, 0};
  int rc = 0;
  BSpolyxcvcv(&a->cv, &b->cv, ends, o1.cv, o2.cv, &rc);
  EXPECT_EQ(rc, -2);
}

}  // namespace
