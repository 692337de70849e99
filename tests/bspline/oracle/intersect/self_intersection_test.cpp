// Self-intersection against OpenCASCADE's (and, for polylines, GEOS's noding; for rational curves, SISL's crossings of
// the curve's spans): the same crossing points, as many.
#include <gtest/gtest.h>

#include <cmath>

#include "bspline/intersect.h"
#include "tests/bspline/oracle/intersect/crossing_checks.h"
#include "tests/bspline/oracle/intersect/weighted_crossings.h"

namespace {

TEST(SelfIntersectionOracle, LoopingOffsetsAndPolylines) {
  std::mt19937 rng(2024);
  GEOSContextHandle_t ctx = GEOS_init_r();
  int compared = 0, total = 0;
  for (int trial = 0; trial < 40; ++trial) {
    const bool polyline = trial % 2 == 1;
    auto c = polyline ? loops::RandomPolyline(rng, 6 + trial % 9) : loops::LoopingCubic(rng, 3 + trial % 5, 40, 1.6 + 0.1 * (trial % 7));
    int found = 0;
    if (!crossings::CheckSelf(*c, polyline, ctx, &found, std::to_string(trial))) continue;  // a stretch run over twice
    ++compared;
    total += found;
  }
  GEOS_finish_r(ctx);
  EXPECT_GE(compared, 30);
  EXPECT_GE(total, 60);
}

}  // namespace

namespace {

// Rational curves whose weights spread far: every transversal self-crossing found without the library, and every
// one SISL finds between two of the curve's spans, is reported (within its reach, 10 dist_tol) as a pair of
// parameters on the curve, unless the loop it closes stays within 100 dist_tol of it or it lies within 20 dist_tol
// of the curve's point at a knot, where the crossing and the meeting of two spans at their joint are one within the
// tolerance; the curve of the report that lost one, by value, first.
void CheckSelfWeighted(weighted::Curve &c, const std::vector<weighted::Meeting> &want, int *checked,
                       const std::string &what) {
  const double tol = BStoltab[bstol::dist_tol];
  int rc = 0;
  std::vector<double> got;
  int n_int = 0, n_over = 0;
  double *first = nullptr, *second = nullptr, *o[4] = {nullptr, nullptr, nullptr, nullptr};
  BScv_slfint(&rc, &c.c->cv, &n_int, &first, &second, &n_over, &o[0], &o[1], &o[2], &o[3]);
  EXPECT_EQ(rc, 0) << what;
  for (int i = 0; i < n_int; ++i) {
    double p[2], q[2];
    c.Point(first[i], p);
    c.Point(second[i], q);
    EXPECT_LE(std::hypot(p[0] - q[0], p[1] - q[1]), 2 * tol) << what << " result " << i;
    got.insert(got.end(), {0.5 * (p[0] + q[0]), 0.5 * (p[1] + q[1])});
  }
  for (double *p : {first, second, o[0], o[1], o[2], o[3]}) BSdbgfree(p);
  const TestCurve &t = *c.c;
  for (const weighted::Meeting &m : want) {
    bool at_joint = false;
    for (int i = t.order(); i < t.n() && !at_joint; ++i) {
      double p[2];
      c.Point(t.knots[i], p);
      at_joint = std::hypot(p[0] - m.x, p[1] - m.y) < 20 * tol;
    }
    if (m.sine < 0.1 || m.loop < 100 * tol || at_joint) continue;
    double best = INFINITY;
    for (std::size_t i = 0; i < got.size(); i += 2) best = std::min(best, std::hypot(got[i] - m.x, got[i + 1] - m.y));
    EXPECT_LE(best, weighted::Reach(m, want, tol))
        << what << ": missed (" << m.x << ", " << m.y << ") at " << m.u << " and " << m.v;
    ++*checked;
  }
}

TEST(SelfIntersectionOracle, WeightsSpreadFar) {
  std::vector<double> poles;
  const double xy[] = {0.044995823087850016, 0.17433562411319783, 0.264660835239796,    0.25285067987615856,
                       0.39155930622721424,  0.55868930768418767, 0.21421648915316072,  0.18136446259313616,
                       0.15140476063443864,  0.92692557987768487, 0.50201027704304968,  0.92861892593234086,
                       0.98837531298471482,  0.34060001622086222, 0.035484427322755072, 0.25451873131211478,
                       0.72057107877551996,  0.67229888584794439, 0.61873854692627761,  0.1371529887835346,
                       0.77275636043795171,  0.018144669664884532};
  for (int i = 0; i < 11; ++i) poles.insert(poles.end(), {xy[2 * i], xy[2 * i + 1], 0});
  weighted::Curve reported(std::make_unique<TestCurve>(
      3, poles,
      std::vector<double>{0, 0, 0, 0.23330308891505305, 0.26699176998343371, 0.26699176998343371, 0.39339455144284574,
                          0.47816177321930176, 0.63883647200582583, 0.84558285609071027, 0.84558285609071027, 1, 1,
                          1},
      std::vector<double>{46.615487600372553, 415.17368444113356, 246.79708291529911, 0.0026576557722202522,
                          0.013215054193956103, 16.592857100404267, 0.0051897125162909509, 1.5308531236191052,
                          8.5028897906822607, 6.3191693376188605, 0.0058832747131245958}));
  const std::vector<weighted::Meeting> found = weighted::SelfCrossings(reported);
  const auto lost = std::find_if(found.begin(), found.end(), [](const weighted::Meeting &m) {
    return std::hypot(m.x - 0.2757011898949504, m.y - 0.40044252135868835) < 1e-9;
  });
  ASSERT_NE(lost, found.end());
  EXPECT_NEAR(lost->u, 0.26816, 1e-5);
  EXPECT_NEAR(lost->v, 0.68943, 1e-5);
  int checked = 0;
  CheckSelfWeighted(reported, found, &checked, "the reported curve");
  EXPECT_EQ(checked, 7);

  std::mt19937 rng(142);
  int light_ends = 0, from_sisl = 0, sisl_found = 0;
  checked = 0;
  for (int trial = 0; trial < 1000; ++trial) {
    const weighted::Place at = weighted::RandomPlace(rng);
    weighted::Curve c(weighted::RandomCurve(rng, at));
    light_ends += std::min(c.c->weights.front(), c.c->weights.back()) < 0.01;
    std::vector<weighted::Meeting> want = weighted::SelfCrossings(c);
    // SISL's meetings that the search did not find are checked beside its own.
    for (const weighted::Meeting &s : weighted::SislSelfCrossings(c, std::max(std::fabs(at.x), std::fabs(at.y)))) {
      ++sisl_found;
      bool known = false;
      for (const weighted::Meeting &m : want) known = known || std::hypot(m.x - s.x, m.y - s.y) <= 1e-9 * (1 + std::fabs(s.x));
      if (!known) want.push_back(s), ++from_sisl;
    }
    CheckSelfWeighted(c, want, &checked, std::to_string(trial));
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(checked, 700);
  EXPECT_GT(light_ends, 250);
  EXPECT_GT(sisl_found, 600);
  EXPECT_EQ(from_sisl, 0);
}

}  // namespace
