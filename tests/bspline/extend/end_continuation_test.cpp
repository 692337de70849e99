// A curve end continued along the polynomial of its end span: the old range keeps its points, the continuation is
// limited where weights sink, where it turns back, runs back over the curve or crosses it, and the Bezier fallback
// reaches a target before the start of a range that does not begin at 0.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bspline/conics.h"
#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "bspline/knots.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

struct Continued {
  int rc = 0;
  std::uint16_t flag = 9;
  VOQbsp_curve *out = nullptr;
  double reached = 0;
  Continued(const VOQbsp_curve *cv, double target) { BSextpolcv0(cv, target, &flag, &out, &reached, &rc); }
  Continued(const Continued &) = delete;
  ~Continued() {
    int rc2 = 0;
    if (out) BSfreevoqcv(out, &rc2);
  }
};

TEST(EndContinuation, KeepsTheEndSpanPolynomial) {
  std::mt19937 rng(106);
  for (int trial = 0; trial < 12; ++trial) {
    auto c = random_curve(rng, 3 + trial % 4, 8, trial % 3 == 2, true, 1 + trial % 2);
    const bool at_end = trial % 2 == 0;
    const int span = at_end ? c->n() - 1 : c->order() - 1;
    const double s0 = c->knots[span], s1 = c->knots[span + 1];
    const double target = at_end ? s1 + 0.1 * (s1 - s0) : s0 - 0.1 * (s1 - s0);
    Continued r(&c->cv, target);
    ASSERT_EQ(r.rc, 0) << trial;
    EXPECT_EQ(r.flag, 0) << trial;
    EXPECT_EQ(r.reached, target) << trial;
    ASSERT_NE(r.out, nullptr);
    EXPECT_EQ(at_end ? r.out->knots[r.out->num_poles] : r.out->knots[r.out->order - 1], target) << trial;
    EXPECT_LT(old_range_error(*c, *r.out), 1e-12) << trial;
    if (c->cv.rational) continue;
    double want[3], got[3];
    span_polynomial(*c, s0, s1, target, want);
    ref_point(*r.out, target, got);
    EXPECT_LT(std::hypot(want[0] - got[0], want[1] - got[1], want[2] - got[2]), 1e-9) << trial;
  }
}

// An end span far shorter than its neighbours, continued several of its lengths: its polynomial's blossom at the
// neighbours' knots loses digits to a power of the degree, and the new poles would move the old range by far more
// than the tolerance. The Bezier fallback keeps it. Each row at either end, weighted and not, near the origin and
// 1e6 out, where the old range may move by the rounding of its coordinates only.
TEST(EndContinuation, ShortEndSpanContinuedFar) {
  const std::vector<double> poles8 = {
      -9.3665302089961511, -0.14780017118612571, 0, -8.132866527560541, 0.69683309063513388, 0,
      -4.8213731382222127, 1.8901773243050999, 0, -0.19179917908680189, 1.7388654727474679, 0,
      4.1842650118939275, 0.5783436123577681, 0, 5.0754716981132075, 1.5448113207547172, 0,
      -2, 4.375, 0, -10.674377224199288, -8.5531583629893237, 0,
      -10.012920521945432, -9.2276613285883737, 0, -10.009261613255291, -9.2310860534434962, 0};
  const struct {
    const char *what;
    double inner;  // the last interior knot; the range is [0, 11.71875], order 8, a knot at 5.84375 too
    double step;   // the target beyond the end, in lengths of the end span
  } rows[] = {
      {"end span 1/187 of its neighbour", 11.6875, 5.7},
      {"end span 1/1000 of its neighbour", 11.7129, 6},
  };
  for (const auto &row : rows)
    for (const bool at_end : {true, false})
      for (const bool weighted : {false, true})
        for (const double far : {0.0, 1e6}) {
          const int k = 8, n = 10;
          std::vector<double> knots(k, 0.0), p = poles8, w;
          knots.insert(knots.end(), {5.84375, row.inner});
          knots.insert(knots.end(), k, 11.71875);
          for (int i = 0; i < n; ++i) p[3 * i] += far;
          for (int i = 0; weighted && i < n; ++i) w.push_back(1 + 0.5 * (i % 3));
          TestCurve c(k, p, knots, w);
          int rc = 0;
          // Reversed, the short span comes first.
          if (!at_end) {
            ASSERT_TRUE(BSrev_cv(&rc, &c.cv));
          }
          const double len = at_end ? c.end() - c.knots[n - 1] : c.knots[k] - c.start();
          const double target = at_end ? c.end() + row.step * len : c.start() - row.step * len;
          const std::string what = std::string(row.what) + (at_end ? ", at the end" : ", at the start") +
                                   (weighted ? ", weighted" : "") + (far > 0 ? ", far out" : "");
          Continued r(&c.cv, target);
          ASSERT_EQ(r.rc, 0) << what;
          ASSERT_NE(r.out, nullptr) << what;
          EXPECT_LT(old_range_error(c, *r.out), 1e-9 + 1e-15 * far) << what;
        }
}

TEST(EndContinuation, RefusalsAndLimits) {
  std::mt19937 rng(7);
  auto cubic = random_curve(rng, 4, 6, false, true);
  std::vector<double> zigzag, knots17;
  for (int i = 0; i < 17; ++i) zigzag.insert(zigzag.end(), {double(i), double(i % 2), 0});
  for (int i = 0; i < 34; ++i) knots17.push_back(i < 17 ? 0 : 1);
  TestCurve order17(17, zigzag, knots17);
  // A circular arc of 350 degrees, continued by 20 degrees, would close its circle.
  VOQbsp_curve *arc = nullptr;
  int rc = 0;
  BSallocvoqcv(3, 7, BSTRUE, 0, &arc, &rc);
  const double a = 350 * M_PI / 180, start[3] = {1, 0, 0}, centre[3] = {0, 0, 0}, end[3] = {std::cos(a), std::sin(a), 0},
               normal[3] = {0, 0, 1};
  ASSERT_TRUE(BSprepcarc(&rc, start, centre, end, normal, arc, nullptr, nullptr));
  double d[6];
  BScveval_n(arc, arc->knots[arc->num_poles], 1, d, &rc);
  const double arc_step = (20 * M_PI / 180) / std::hypot(d[3], d[4], d[5]);
  struct {
    const char *what;
    const VOQbsp_curve *cv;
    double target;
    int rc;
  } cases[] = {
      {"target inside", &cubic->cv, 0.5 * (cubic->start() + cubic->end()), BSRC_OUT_OF_RANGE},
      {"target at the end", &cubic->cv, cubic->end(), BSRC_OUT_OF_RANGE},
      {"target NaN", &cubic->cv, std::nan(""), BSRC_OUT_OF_RANGE},
      {"order 17", &order17.cv, 2.0, BSRC_OUT_OF_RANGE},
      {"arc closing its circle", arc, arc->knots[arc->num_poles] + arc_step, BSRC_CLOSES_CIRCLE},
      {"arc continued less", arc, arc->knots[arc->num_poles] + 0.2 * arc_step, 0},
  };
  for (const auto &c : cases) {
    Continued r(c.cv, c.target);
    EXPECT_EQ(r.rc, c.rc) << c.what;
    EXPECT_EQ(r.out == nullptr, c.rc != 0) << c.what;
  }
  BSfreevoqcv(arc, &rc);

  // A failure at any heap or scratch request leaves nothing allocated.
  const int live = BSdbgliveblocks(), scratch = BSscratchheapblocks();
  for (int at = 1; at < 2000; ++at) {
    BSallocfailat(at);
    Continued r(&cubic->cv, cubic->end() + 0.5);
    const bool reached = BSallocfailpending() == 0;
    BSallocfailat(0);
    EXPECT_EQ(r.out == nullptr, r.rc != 0) << at;
    if (!reached) break;
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
  EXPECT_EQ(BSscratchheapblocks(), scratch);
  BStraceclear();
}

// Where the continuation stops short of the target: at the end (j), where the tangent vanishes (t), where it
// runs back over the curve's start (b), or where sinking weights would cross zero (w).
TEST(EndContinuation, ChecksOfTheContinuation) {
  struct {
    const char *what;
    std::vector<double> xy, weights;
    double target;
    std::uint16_t flag;
    char stop;
  } cases[] = {
      // Along a line, turned back before its end: the continuation runs back over the curve past its start.
      {"runs back over the curve", {-1.77507, 0, -2.28543, 0, 2.26742, 0, 0.142052, 0}, {}, 2.578, 2, 'b'},
      {"turns back", {0.0382549, 0, -1.6963, 0, 0.444441, 0, 1.69149, 0}, {}, 3.5246, 1, 't'},
      // Curling round across its own first half: not continued at all.
      {"crosses the curve", {0.368023, -2.45671, 2.97593, -0.13559, 1.10949, 2.06025, 0.696749, 0.379125}, {},
       2.2309, 1, 'j'},
      // Weights falling toward the end; the level is absolute, so the weights are on its scale.
      {"sinking weights", {0, 0, 1, 1, 2, 1, 3, 0}, {0.03, 0.021, 0.012, 0.006}, 4.0, 0, 'w'},
  };
  for (const auto &c : cases) {
    std::vector<double> poles;
    for (size_t i = 0; i < c.xy.size(); i += 2) poles.insert(poles.end(), {c.xy[i], c.xy[i + 1], 0});
    TestCurve cv(4, poles, {0, 0, 0, 0, 1, 1, 1, 1}, c.weights);
    Continued r(&cv.cv, c.target);
    ASSERT_EQ(r.rc, 0) << c.what;
    ASSERT_NE(r.out, nullptr) << c.what;
    EXPECT_EQ(r.flag, c.flag) << c.what;
    EXPECT_LT(old_range_error(cv, *r.out), 1e-12) << c.what;
    if (c.stop == 'j' || c.stop == 'w') {
      EXPECT_EQ(r.out->knots[r.out->num_poles], r.reached) << c.what;  // cut back to where it stopped
    }
    if (c.stop == 'j') {
      EXPECT_EQ(r.reached, 1.0) << c.what;
      continue;
    }
    EXPECT_GT(r.reached, 1.0) << c.what;
    EXPECT_LT(r.reached, c.target) << c.what;
    if (c.stop == 'w') {
      EXPECT_NEAR(r.out->weights[r.out->num_poles - 1], 0.004, 1e-12);
      double mean = 0;
      for (int i = 0; i < r.out->num_poles; ++i) mean += r.out->weights[i] / r.out->num_poles;
      for (int i = 0; i < r.out->num_poles; ++i) EXPECT_GE(r.out->weights[i], 0.25 * mean) << i;
      continue;
    }
    double d0[6], d[6], p0[3];
    int rc = 0;
    BScveval_n(r.out, 1.0, 1, d0, &rc);
    BScveval_n(r.out, r.reached, 1, d, &rc);
    ref_point(cv, 0.0, p0);
    if (c.stop == 't')
      EXPECT_LT(std::fabs(d[3]), 1e-4 * std::fabs(d0[3])) << c.what;
    else
      EXPECT_NEAR(d[0], p0[0], 1e-9) << c.what;
  }
  BStraceclear();
}

std::vector<double> bezier_knots(int k, double a, double b) {
  std::vector<double> t;
  for (int i = 0; i < 2 * k; ++i) t.push_back(i < k ? a : b);
  return t;
}

TEST(EndContinuation, BezierContinuation) {
  const std::vector<double> poles = {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0};
  TestCurve span(4, poles, bezier_knots(4, 2, 3));
  std::vector<double> room_poles(3 * 7), room_knots(11);
  VOQbsp_curve room{};
  room.poles = room_poles.data(), room.knots = room_knots.data();
  struct {
    BSboolean at_end;
    std::vector<double> knots;
  } sides[] = {{1, {2, 2, 2, 2, 5, 5, 5, 5}}, {0, {0, 0, 0, 0, 3, 3, 3, 3}}};
  for (const auto &s : sides) {
    int rc = 1;
    ASSERT_TRUE(BSpolyextfc(&span.cv, s.at_end, 3, &room, &rc));
    ASSERT_EQ(room.num_poles, 4);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(room.knots[i], s.knots[i]) << int(s.at_end) << i;
    EXPECT_LT(old_range_error(span, room), 1e-12);
  }
  TestCurve two_spans(4, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0, 5, 1, 0}, {0, 0, 0, 0, 1, 2, 2, 2, 2});
  TestCurve closed(4, {0, 0, 0, 1, 2, 0, 3, 2, 0, 0, 0, 0}, bezier_knots(4, 0, 1));
  closed.cv.phy_closed = 1;
  for (const VOQbsp_curve *cv : {&two_spans.cv, &closed.cv}) {
    int rc = 0;
    EXPECT_FALSE(BSpolyextfc(cv, 1, 3, &room, &rc));
    EXPECT_EQ(rc, BSRC_OUT_OF_RANGE);
  }

  // The pole continuation forced to fail: the Bezier form reaches 1.5 before the range [2, 3].
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    const BSfaulthandler before = BSsetfaulthook([](const char *name, int *rc) {
      if (rc && *rc == 0 && std::string(name) == "bsxtpolcv00") *rc = BSRC_ZERO_WEIGHT;
    });
    Continued r(&span.cv, 1.5);
    BSsetfaulthook(before);
    ASSERT_EQ(r.rc, 0);
    ASSERT_NE(r.out, nullptr);
    EXPECT_EQ(r.reached, 1.5);
    EXPECT_EQ(r.out->knots[r.out->order - 1], 1.5);
    EXPECT_LT(old_range_error(span, *r.out), 1e-12);
    double want[3], got[3];
    span_polynomial(span, 2, 3, 1.5, want);
    ref_point(*r.out, 1.5, got);
    EXPECT_LT(std::hypot(want[0] - got[0], want[1] - got[1]), 1e-9);
  }
  BStraceclear();
}

}  // namespace
