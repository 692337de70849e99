// Crossings of two Bezier spans through their node polygons: transversal, on a node of both polygons, touching,
// boxes apart (no Newton iteration at all), refused spans, two crossings at one place or close together (on two
// branches of a span, or at a clear angle on a sharp bend), a shallow crossing near a span end, dist_tol put back
// after a failure inside the iteration, a closed span's parameter that runs periods out of range, and spans that run
// through their ranges unevenly (weights spread far, a hook at a shared end, a rest).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/intersect/polygon_intersector.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/measure_curves.h"

namespace {

std::unique_ptr<TestCurve> Bezier(std::vector<double> poles) {
  const std::size_t k = poles.size() / 3;
  std::vector<double> knots(k, 0.0);
  knots.resize(2 * k, 1.0);
  return std::make_unique<TestCurve>(static_cast<int>(k), std::move(poles), std::move(knots));
}

// Iterations seen through the hook; with g_fail set, the first one fails and leaves dist_tol changed.
int g_iterations = 0;
bool g_fail = false;
void CountIterations(const char *lname, int *rc) {
  if (std::strcmp(lname, "bscvcviter") != 0 || (++g_iterations, !g_fail)) return;
  BStoltab[bstol::dist_tol] = 0.5;
  *rc = BSRC_NO_SCRATCH;
}

struct Crossings {
  int rc = -99, n = -1;
  BSboolean tangent = 7;
  double pts[3 * BSXBZ_MAX_RESULTS], t1[BSXBZ_MAX_RESULTS], t2[BSXBZ_MAX_RESULTS];
  Crossings(TestCurve &a, TestCurve &b) {
    g_iterations = 0;
    const BSfaulthandler previous = BSsetfaulthook(CountIterations);
    BSxbzs4(&a.cv, &b.cv, &n, pts, t1, t2, &tangent, &rc);
    BSsetfaulthook(previous);
  }
};

TEST(PolygonIntersector, CrossingsOfTwoSpans) {
  const auto arch = Bezier({0, 0, 0, 1, 2, 0, 2, 0, 0});  // y = x (2 - x)
  std::vector<double> poles17;
  for (int i = 0; i < 17; ++i) poles17.insert(poles17.end(), {double(i), double(i % 2), 0});
  auto loop = [] { return Bezier({0, 0, 0, 2, 1, 0, -1, 1, 0, 1, 0, 0}); };
  // x = 10 t^3 - 15 t^2 + 6 t, y = 3 t (1 - t): a loop symmetric about x = 0.5 that crosses itself at (0.5, 0.3),
  // at t = 0.5 -+ sqrt(0.15). A line x = x(u) meets it again where 10 t^2 + (10 u - 15) t + 10 u^2 - 15 u + 6 = 0.
  auto x_of = [](double t) { return ((10 * t - 15) * t + 6) * t; };
  const double s = 0.5 - std::sqrt(0.15), t = s - 1e-4, b = 10 * t - 15, c = (10 * t - 15) * t + 6;
  const double t2 = (-b + std::sqrt(b * b - 40 * c)) / 20, xt = x_of(t);
  // A teardrop with its corner at the origin, crossed there by the x axis.
  auto teardrop = [](BSboolean closed) {
    auto t = Bezier({0, 0, 0, 2, 1, 0, 2, -1, 0, 0, 0, 0});
    t->cv.phy_closed = closed;
    return t;
  };
  auto shallow_a = [] { return Bezier({0.2744, 0.6821, 0, 0.6111, 0.0754, 0, 0.8100, 0.2750, 0, 0.5814, 0.4139, 0}); };
  auto shallow_b = [] { return Bezier({0.9183, 0.1725, 0, 0.1273, 0.6473, 0, 0.3815, 0.9023, 0, 0.9915, 0.9134, 0}); };
  struct {
    std::unique_ptr<TestCurve> other;
    int rc, n;
    BSboolean tangent;
    std::vector<double> points;           // the crossings, in order
    std::unique_ptr<TestCurve> first{};  // the arch when not given
    std::vector<double> pars1{};         // parameters on the first span, when checked
    double tol = 1e-6;                   // of the points and parameters
  } cases[] = {
      {Bezier({0, 1.5, 0, 1, -0.5, 0, 2, 1.5, 0}), 0, 2, 0, {0.5, 0.75, 0, 1.5, 0.75, 0}},
      {Bezier({1, 0, 0, 1, 1, 0, 1, 2, 0}), 0, 1, 0, {1, 1, 0}},  // parameter 0.5, a node of both polygons
      // y = 1 + (x - 1)^2 / 2 over x from -0.2 to 2.5 touches the arch at (1, 1) from above.
      {Bezier({-0.2, 1.72, 0, 1.15, 0.1, 0, 2.5, 2.125, 0}), 0, 1, 1, {1, 1, 0}},
      {Bezier({0, 3, 0, 1, 5, 0, 2, 3, 0}), 0, 0, 0, {}},  // boxes apart
      {Bezier(poles17), BSRC_OUT_OF_RANGE, 0, 0, {}},
      {Bezier({0, 0, 0, 1, std::nan(""), 0, 2, 0, 0}), BSRC_OUT_OF_RANGE, 0, 0, {}},
      {std::make_unique<TestCurve>(2, std::vector<double>{0, 1, 0, 1, 1, 0, 2, 1, 0},
                                   std::vector<double>{0, 0, 0.5, 1, 1}),
       BSRC_OUT_OF_RANGE, 0, 0, {}},  // two spans
      // A line through the loop's self-crossing meets both branches there: one place, two crossings.
      {Bezier({0.5, 0, 0, 0.5, 0.5, 0}), 0, 2, 0, {0.5, 0.3, 0, 0.5, 0.3, 0}, loop(), {s, 1 - s}, 1e-9},
      // A line 3e-4 beside it: two crossings 5e-4 apart, far closer than the merge distance.
      {Bezier({xt, 0, 0, xt, 0.5, 0}), 0, 2, 0, {xt, 3 * t * (1 - t), 0, xt, 3 * t2 * (1 - t2), 0}, loop(), {t, t2},
       1e-9},
      // A sharp bend y = 176 x^2 crossed 1e-3 apart at 10 degrees: two crossings, though well within the merge
      // distance of each other with both spans near them in between.
      {Bezier({-1, 4.4e-5, 0, 1, 4.4e-5, 0}), 0, 2, 0, {-5e-4, 4.4e-5, 0, 5e-4, 4.4e-5, 0},
       Bezier({-0.1, 1.76, 0, 0, -1.76, 0, 0.1, 1.76, 0}), {0.4975, 0.5025}, 1e-7},
      // The corner of a closed span is one point of it; of an open one, its two ends.
      {Bezier({-1, 0, 0, 1, 0, 0}), 0, 1, 0, {0, 0, 0}, teardrop(1), {}, 1e-9},
      {Bezier({-1, 0, 0, 1, 0, 0}), 0, 2, 0, {0, 0, 0, 0, 0, 0}, teardrop(0), {0, 1}, 1e-9},
      // Two crossings on the last legs of one span's polygon, the second at 11 degrees 8e-4 from its end, with that
      // span first and second.
      {shallow_b(), 0, 2, 0, {0.65616, 0.35052, 0, 0.58195, 0.41357, 0}, shallow_a(), {0.8507, 0.9992}, 1e-4},
      {shallow_a(), 0, 2, 0, {0.65616, 0.35052, 0, 0.58195, 0.41357, 0}, shallow_b(), {0.1332, 0.1852}, 1e-4},
      // A cubic ending at the origin against a quintic that stands still there (a triple pole) before it turns
      // up: their touching point at the ends, and a crossing at a clear angle 0.02 from it.
      {Bezier({-15, -15, 0, -15, -15, 0, -15, -15, 0, -14.875, -15, 0, -15, -15, 0, -15, -6.5, 0}), 0, 2, 1,
       {-15, -15, 0, -14.9858998194, -14.9856579143, 0},
       Bezier({-4, -15, 0, -11.625, -2, 0, -0.25, 0, 0, -15, -15, 0}),
       {1, 0.9996811718}, 1e-9},
      // Two cubics ending at (3, 0) that cross at 16 degrees 0.22 before it: the start at the shared end runs to it,
      // so the crossing beside it starts from pieces of the two end legs.
      {Bezier({-15, -15, 0, -15, 0, 0, 2, -4, 0, 3, 0, 0}), 0, 4, 0,
       {-2.3399515132, -2.3810260440, 0, 1.9181604614, -1.1891518056, 0, 3, 0, 0, 2.9294129990, -0.2112901396, 0},
       Bezier({0, 0, 0, -15, -15, 0, 4, 0, 0, 3, 0, 0}), {0.0598647161, 0.8205423889, 1, 0.9289035277}, 1e-6},
      // A cubic ending at (-15, -15) against an order-10 span that starts there on stacked poles (its first, third
      // and sixth) and creeps away along the cubic's last leg: crossings at 3 degrees 0.52 from the shared end and
      // at 4.4 degrees further on. The start from the middles of the long leg and a short one runs past the nearer
      // crossing, and the shared end's pieces reach no farther than the short end leg.
      {Bezier({-15, -15, 0, -15, -14.5, 0, -15, -15, 0, -11, 0, 0, -15, -13, 0, -15, -15, 0, -13.125, -6.25, 0,
               -6.25, -6.25, 0, -6.875, -6.125, 0, -6.25, -6.25, 0}),
       0, 3, 1, {-14.4570408875, -12.7092484157, 0, -15, -15, 0, -14.9138968095, -14.4918423751, 0},
       Bezier({-11.125, -10, 0, 0, -14.625, 0, -13, -2, 0, -15, -15, 0}), {0.9326599232, 1, 0.9866200697}, 1e-9},
  };
  int row = 0;
  for (auto &c : cases) {
    TestCurve &first = c.first ? *c.first : *arch;
    const Crossings r(first, *c.other);
    ASSERT_EQ(r.rc, c.rc) << row;
    ASSERT_EQ(r.n, c.n) << row;
    EXPECT_EQ(r.tangent, c.tangent) << row;
    if (c.n == 0) { EXPECT_EQ(g_iterations, 0) << row; }
    for (int i = 0; i < r.n; ++i) {
      double p1[3], p2[3];
      int rc = 0;
      BScveval_n(&first.cv, r.t1[i], 0, p1, &rc);
      BScveval_n(&c.other->cv, r.t2[i], 0, p2, &rc);
      EXPECT_LT(BSpdist(&rc, p1, p2), BStoltab[bstol::dist_tol]) << row;
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(r.pts[3 * i + k], c.points[3 * i + k], c.tol) << row;
      if (!c.pars1.empty()) { EXPECT_NEAR(r.t1[i], c.pars1[i], c.tol) << row; }
    }
    ++row;
  }
  // A failure inside the iteration ends the call with its code, and dist_tol is as it was.
  const double before = BStoltab[bstol::dist_tol];
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    g_fail = true;
    const Crossings r(*arch, *Bezier({0, 0.5, 0, 2, 0.5, 0}));
    g_fail = false;
    EXPECT_EQ(r.rc * 10 + g_iterations, BSRC_NO_SCRATCH * 10 + 1);
    EXPECT_EQ(BStoltab[bstol::dist_tol], before);
  }
}

// Within a memo scope a span seen before is not derived again: spans that differ from it in their knots only, in
// their weights only, or met under another basis tolerance (a coarser polygon) must still answer as they do
// without the memo, and so must a span met again after eight new ones have taken the memo round once.
TEST(PolygonIntersector, KeptSpansAnswerAsFreshOnes) {
  const std::vector<double> arch = {0, 0, 0, 1, 2, 0, 2, 0, 0};
  TestCurve plain(3, arch, {0, 0, 0, 1, 1, 1}), later(3, arch, {2, 2, 2, 3, 3, 3});
  std::vector<std::unique_ptr<TestCurve>> shifted;
  for (double u = 3; u < 11; ++u)
    shifted.push_back(std::make_unique<TestCurve>(3, arch, std::vector<double>{u, u, u, u + 1, u + 1, u + 1}));
  TestCurve bulging(3, arch, {0, 0, 0, 1, 1, 1}, {1, 0.8, 1}), flatter(3, arch, {0, 0, 0, 1, 1, 1}, {1, 0.6, 1});
  flatter.poles = bulging.poles;  // the same weighted poles, other weights
  const auto line = Bezier({0, 1.5, 0, 1, -0.5, 0, 2, 1.5, 0});
  struct Answer {
    int rc = -99, n = -1;
    BSboolean tangent = 7;
    double pts[3 * BSXBZ_MAX_RESULTS] = {}, t1[BSXBZ_MAX_RESULTS] = {}, t2[BSXBZ_MAX_RESULTS] = {};
  };
  struct Turn {
    TestCurve *span;
    double basis_tol;
  };
  std::vector<Turn> turns = {{&plain, 1e-6}, {&later, 1e-6}, {&bulging, 1e-6}, {&flatter, 1e-6}, {&plain, 1e-4}};
  for (const auto &cv : shifted) turns.push_back({cv.get(), 1e-6});
  turns.push_back({&later, 1e-6});
  auto run = [&](int k) {
    const TolScope tol(bstol::basis_tol, turns[k].basis_tol);
    Answer a;
    BSxbzs4(&turns[k].span->cv, &line->cv, &a.n, a.pts, a.t1, a.t2, &a.tangent, &a.rc);
    return a;
  };
  std::vector<Answer> fresh;
  for (std::size_t k = 0; k < turns.size(); ++k) fresh.push_back(run(k));
  const bsxbz::SpanMemoScope memo;
  for (std::size_t k = 0; k < turns.size(); ++k) {
    const Answer kept = run(k);
    ASSERT_EQ(kept.rc, 0) << k;
    ASSERT_EQ(kept.n, fresh[k].n) << k;
    EXPECT_GT(kept.n, 0) << k;
    EXPECT_EQ(kept.tangent, fresh[k].tangent) << k;
    for (int i = 0; i < kept.n; ++i) {
      EXPECT_EQ(kept.t1[i], fresh[k].t1[i]) << k << " " << i;
      EXPECT_EQ(kept.t2[i], fresh[k].t2[i]) << k << " " << i;
      for (int c = 0; c < 3; ++c) EXPECT_EQ(kept.pts[3 * i + c], fresh[k].pts[3 * i + c]) << k << " " << i;
    }
  }
}

TEST(PolygonIntersector, ClosedParameterWrapsAtMostFourPeriods) {
  struct {
    double t;
    BSboolean closed;
    double out;
    int wraps;
  } cases[] = {{1.5, 0, 1, 0},     {-3, 0, 0, 0},      {4.25, 1, 0.25, 0}, {-3.75, 1, 0.25, 4},
               {5.5, 1, 0.5, 5},   {-4.5, 1, 0.5, 5},  {-5.5, 1, -0.5, 5}};
  for (const auto &c : cases) {
    double t = c.t;
    int wraps = -1;
    BSprmwrap(0, 1, c.closed, &t, &wraps);
    EXPECT_EQ(t, c.out) << c.t;
    EXPECT_EQ(wraps, c.wraps) << c.t;
  }
  // A closed loop at its lowest point, nearly parallel to a line far below: the first step runs the loop's
  // parameter many periods out and that start gives no point. Taken as open, the loop is clamped instead.
  auto loop = Bezier({0, 0, 0, 4, -3, 0, -4, -3, 0, 0, 0, 0});
  const auto line = Bezier({-5, -10, 0, 5, -10.001, 0});
  for (BSboolean closed : {BSboolean(1), BSboolean(0)}) {
    loop->cv.phy_closed = closed;
    double t1 = 0.5, t2 = 0.5, point[3] = {-7, -7, -7};
    BSboolean converged = 9;
    int rc = 1;
    BScvcviter(&loop->cv, &line->cv, closed, 0, 1e-9, 1e-9, &t1, &t2, point, &converged, &rc);
    EXPECT_EQ(rc + converged, 0);
    EXPECT_EQ(t1, 0.5);
    EXPECT_EQ(point[0] == -7, closed == 1);
  }
}

// A rational span whose weights spread far runs through most of its points within a tiny part of its range: the
// iteration must neither stop on a parameter step below the knot tolerance that still moves the span far, nor run
// out of steps while its first steps only double the way towards the meeting. A segment from (0, 0) to (10, 0),
// its end weights w0 and w1, crossed at x = 10 s by a vertical segment (with weights of its own, v0 and v1, along
// which the crossing lies at its middle), meets it at t = s w0 / (s w0 + (1 - s) w1).
TEST(PolygonIntersector, RationalSpansWhoseWeightsSpreadFar) {
  struct {
    double w0, w1, s, v0, v1;
  } const cases[] = {
      {1, 1e2, 0.5, 1, 1},        {1, 1e4, 0.5, 1, 1},       {1, 1e6, 0.5, 1, 1},     {1, 1e6, 0.1, 1, 1},
      {1, 1e6, 0.0024, 1, 1},     {1e6, 1, 0.5, 1, 1},       {1e3, 1e-3, 0.9, 1, 1},  {1e-3, 1e3, 0.5, 1e-3, 1e3},
      {1e-3, 1e3, 0.9968, 1e3, 1e-3}, {1e3, 1e-3, 0.3, 1e-3, 1e3},
  };
  for (const auto &c : cases) {
    TestCurve a(2, {0, 0, 0, 10, 0, 0}, {0, 0, 1, 1}, {c.w0, c.w1});
    TestCurve b(2, {10 * c.s, -1, 0, 10 * c.s, 1, 0}, {0, 0, 1, 1}, {c.v0, c.v1});
    const Crossings r(a, b);
    const std::string what = std::to_string(c.w0) + " " + std::to_string(c.w1) + " at " + std::to_string(c.s) +
                             ", crossed with " + std::to_string(c.v0) + " " + std::to_string(c.v1);
    ASSERT_EQ(r.rc, 0) << what;
    ASSERT_EQ(r.n, 1) << what;
    EXPECT_EQ(r.tangent, 0) << what;
    // Where the span runs fastest a parameter holds only some digits of the place: the place is what is checked.
    const double t = c.s * c.w0 / (c.s * c.w0 + (1 - c.s) * c.w1), u = c.v0 / (c.v0 + c.v1);
    EXPECT_NEAR(r.t1[0], t, 1e-6 * t) << what;
    EXPECT_NEAR(r.t2[0], u, 1e-6 * u) << what;
    double on_a[3], on_b[3];
    int rc = 0;
    BScveval_n(&a.cv, r.t1[0], 0, on_a, &rc);
    BScveval_n(&b.cv, r.t2[0], 0, on_b, &rc);
    for (const double *p : {r.pts, static_cast<const double *>(on_a), static_cast<const double *>(on_b)}) {
      EXPECT_NEAR(p[0], 10 * c.s, 1e-8) << what;
      EXPECT_NEAR(p[1], 0, 1e-8) << what;
    }
  }
}


// Spans that run through their ranges unevenly, each crossing the other once away from every other meeting: a stretch
// squeezed into the last hundredth of a span beside an end pole of tiny weight, a hook at the end two rational spans
// share (the curve turns back within a thousandth of the joint), and two spans beside a rest of seven equal poles that
// move by hundred-thousandths, whose short tangents cross at a clear angle; and a crossing at a sine of 0.06, solved
// as a touch, whose solve runs on to the end the spans share. The crossing is found with the spans as given, either
// first, and moved 1e5 off the origin.
TEST(PolygonIntersector, SpansThatRunUnevenly) {
  struct Span {
    double a, b;
    std::vector<double> xy, w;
  };
  struct Row {
    const char *what;
    Span p, q;
    double x, y;
  } const rows[] = {
      {"the last hundredth beside an end weight of 0.0085",
       {0.75042547195609666, 1,
        {0.93289431228896591, 0.48797162881802703, 0.96413631465571514, 0.49563990587991968, 0.98653789948081616,
         0.50086440670352295, 0.011296613384272848, 0.23843370561825561, 0.15104623217579347, 0.40517812804297915},
        {130.60816381133998, 224.7044167055839, 391.34724212801564, 0.047325925316860355, 0.0085218824203996523}},
       {0, 1,
        {0.57319556631843516, 0.013278177127407578, 0.69137060840778819, 0.28340981959639677, 0.33604593202175276,
         0.39789989253958885, 0.23897614313066864, 0.97970979307619732, 0.8386796659333664, 0.77595281052875065,
         0.014239447018205653, 0.44346374274711264, 0.40198926015010411, 0.23298892648009406, 0.50011200231241837,
         0.83753387351580144, 0.17131490738036656, 0.53935860633765687},
        {0.0060646564198876549, 49.139850909314056, 0.0030015888624139965, 2.2059141762839043, 0.010854975408946178,
         0.29381185562513146, 0.0036288759706818788, 57.675929107293562, 2.263414188677574}},
       0.60011551942611652, 0.45350203946961049},
      {"a hook at a shared end",
       {0, 0.63605732970009843,
        {0.20289400626863538, 0.16546524958611156, 0.80601274991096317, 0.033145475708469437, 0.75424836050436239,
         0.14586913682979943, 0.24404484759723444, 0.79037115674483482, 0.46353218186738759, 0.78676528920935118},
        {4.7695342426379401, 143.08745161273484, 123.38417290405461, 0.16533352621162661, 0.27070223194740878}},
       {0.63605732970009843, 1,
        {0.46353218186738759, 0.78676528920935118, 0.52626412584812965, 0.78573469179018762, 0.077206999874196852,
         0.52730148480879613, 0.20612565505435601, 0.77457322857765831, 0.86237137157771404, 0.26290227692965346},
        {0.27070223194740878, 0.33099265914774667, 4.3710814554198407, 6.0833277306936209, 2.7170649889226333}},
       0.46369572507945944, 0.78535038927301604},
      {"beside a rest",
       {-1.34375, -1.28125,
        {-14.750001144121889, -14.749961316300173, -14.750000616538632, -14.749980270763778, -14.750000308269316,
         -14.749990135381889, -14.750000154134657, -14.749995067690945, -14.750000077067329, -14.749997533845473,
         -14.750000038533663, -14.749998766922737, -14.750000019266832, -14.749999383461368, -14.746081358839765,
         -14.746825088556081},
        {}},
       {13.25, 17,
        {-14.75, -14.75, -14.75, -14.75, -14.75, -14.75, -14.75, -14.75, -14.75, -14.75, -14.75, -14.75, -14.75,
         -14.75, -14.75, -14.749899865918556},
        {}},
       -14.75, -14.749985559401528},
      {"a shallow crossing whose touching solve runs on to the end both share",
       {0, 1, {-2, -8, -2, 6, 0, -15, -15, -15}, {}},
       {0, 1, {-6, 0, -14.5, -15, 0, -6.25, 14.875, -9.5, 6, -13, -15, -14.625, -15, -15, -15, -6, -15, -14.5, -13, 0,
               -15, -14.5, -13, 0, -6, 14.875, 14.875, 6, 0, -15, -15, -15},
        {}},
       -8.73234945605, -13.4554431591},
  };
  auto make = [](const Span &s, double shift) {
    std::vector<double> poles, knots;
    const std::size_t k = s.xy.size() / 2;
    for (std::size_t i = 0; i < k; ++i) poles.insert(poles.end(), {s.xy[2 * i] + shift, s.xy[2 * i + 1] - shift, 0});
    knots.assign(k, s.a);
    knots.resize(2 * k, s.b);
    return std::make_unique<TestCurve>(static_cast<int>(k), poles, knots, s.w);
  };
  for (const Row &row : rows)
    for (const double shift : {0.0, 1e5})
      for (const bool swap : {false, true}) {
        const auto p = make(row.p, shift), q = make(row.q, shift);
        const Crossings r(swap ? *q : *p, swap ? *p : *q);
        const std::string what = std::string(row.what) + (swap ? ", swapped" : "") + (shift ? ", moved" : "");
        ASSERT_EQ(r.rc, 0) << what;
        int found = -1;
        for (int i = 0; i < r.n; ++i)
          if (std::hypot(r.pts[3 * i] - row.x - shift, r.pts[3 * i + 1] - row.y + shift) < 1e-6) found = i;
        ASSERT_GE(found, 0) << what;
        // The parameters name the point on both spans.
        double on_p[3], on_q[3];
        int rc = 0;
        BScveval_n(&p->cv, swap ? r.t2[found] : r.t1[found], 0, on_p, &rc);
        BScveval_n(&q->cv, swap ? r.t1[found] : r.t2[found], 0, on_q, &rc);
        EXPECT_LT(std::hypot(on_p[0] - on_q[0], on_p[1] - on_q[1]), 1e-6) << what;
      }
}

}  // namespace
