// Crossings of random planar B-spline pairs (orders 2 to 6, up to 30 poles, polynomial and rational) beside
// OpenCASCADE's curve intersection and SISL's.
#include <gtest/gtest.h>

#include "bspline/intersect.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/intersect/crossing_checks.h"
#include "tests/bspline/oracle/intersect/weighted_crossings.h"

namespace {

TEST(CurveIntersectionOracle, SameCrossingsAsOpenCascadeAndSisl) {
  // The peers' precision needs finer tolerances than the defaults (as for the span intersector).
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  crossings::PairTally t;
  for (cvpairs::Pair &q : cvpairs::MakePairs(83, 300)) {
    crossings::CheckPair(q, &t, "");
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_LE(t.worst_point, 1e-7);
  EXPECT_LE(t.worst_eval, 1e-7);
  EXPECT_LE(t.worst_touch, 1e-4);
  EXPECT_GT(t.crossings, 600);
  EXPECT_GT(t.touching_pairs, 0);
}

}  // namespace

namespace {

std::unique_ptr<TestCurve> Planar(int k, std::vector<double> knots, const std::vector<double> &xy,
                                  std::vector<double> w) {
  std::vector<double> poles;
  for (std::size_t i = 0; i < xy.size(); i += 2) poles.insert(poles.end(), {xy[i], xy[i + 1], 0});
  return std::make_unique<TestCurve>(k, poles, std::move(knots), std::move(w));
}

// Our crossings of a and b (either curve first, coincident results merged by distance or by parameters): rc 0,
// every result on both curves at its parameters, and every transversal meeting of `want` (a tangent sine of 0.1
// or more) within its reach of a result. The number of meetings checked goes to *checked.
void CheckWeighted(weighted::Curve &a, weighted::Curve &b, const std::vector<weighted::Meeting> &want, bool swap,
                   BSboolean merge_by_dist, int *checked, const std::string &what) {
  const double tol = BStoltab[bstol::dist_tol];
  CallResults r(0, 0);
  r.cvcv(swap ? &b.c->cv : &a.c->cv, swap ? &a.c->cv : &b.c->cv, merge_by_dist);
  ASSERT_EQ(r.rc, 0) << what;
  const double *on_a = swap ? r.par2() : r.par1(), *on_b = swap ? r.par1() : r.par2();
  for (int k = 0; k < r.n_int; ++k) {
    double p[2], q[2];
    a.Point(on_a[k], p);
    b.Point(on_b[k], q);
    EXPECT_LE(std::hypot(p[0] - r.pts()[3 * k], p[1] - r.pts()[3 * k + 1]), tol) << what << " result " << k;
    EXPECT_LE(std::hypot(q[0] - r.pts()[3 * k], q[1] - r.pts()[3 * k + 1]), tol) << what << " result " << k;
  }
  for (const weighted::Meeting &m : want) {
    if (m.sine < 0.1) continue;
    double best = INFINITY;
    for (int k = 0; k < r.n_int; ++k) best = std::min(best, std::hypot(r.pts()[3 * k] - m.x, r.pts()[3 * k + 1] - m.y));
    EXPECT_LE(best, weighted::Reach(m, want, tol))
        << what << ": missed (" << m.x << ", " << m.y << ") at " << m.u << " and " << m.v;
    ++*checked;
  }
}

// Rational pairs whose weights spread far, where a stretch of a curve runs within a sliver of its parameters
// beside a light pole: every transversal crossing found without the library, and every one SISL finds, is
// reported; the pair of the report that lost one, by value, first.
TEST(CurveIntersectionOracle, WeightsSpreadFar) {
  weighted::Curve a(Planar(5, {0, 0, 0, 0, 0, 0.43526710139449137, 0.75042547195609666, 0.75042547195609666, 1, 1, 1, 1, 1},
                           {0.20677414119553261, 0.44936910952489451, 0.10690571511529631, 0.98958478416983042,
                            0.3487108061789797, 0.15420308058624738, 0.10387725213326386, 0.19007679933493155,
                            0.188384855803163, 0.31471903946223262, 0.98653789948081627, 0.50086440670352295,
                            0.011296613384272848, 0.23843370561825561, 0.15104623217579347, 0.40517812804297915},
                           {0.042563101160174879, 30.724453923068847, 73.52401652041452, 4.3109918569053383,
                            14.270756918488551, 391.34724212801564, 0.047325925316860355, 0.0085218824203996523}));
  weighted::Curve b(Planar(9, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                           {0.57319556631843516, 0.013278177127407578, 0.69137060840778819, 0.28340981959639677,
                            0.33604593202175276, 0.39789989253958885, 0.23897614313066864, 0.97970979307619732,
                            0.8386796659333664, 0.77595281052875065, 0.014239447018205653, 0.44346374274711264,
                            0.40198926015010411, 0.23298892648009406, 0.50011200231241837, 0.83753387351580144,
                            0.17131490738036656, 0.53935860633765687},
                           {0.0060646564198876549, 49.139850909314056, 0.0030015888624139965, 2.2059141762839043,
                            0.010854975408946178, 0.29381185562513146, 0.0036288759706818788, 57.675929107293562,
                            2.263414188677574}));
  const std::vector<weighted::Meeting> found = weighted::Crossings(a, b);
  const auto lost = std::find_if(found.begin(), found.end(), [](const weighted::Meeting &m) {
    return std::hypot(m.x - 0.60011551942611652, m.y - 0.45350203946961049) < 1e-9;
  });
  ASSERT_NE(lost, found.end());
  EXPECT_NEAR(lost->u, 0.999473, 1e-6);
  int checked = 0;
  for (bool swap : {false, true}) CheckWeighted(a, b, found, swap, BSFALSE, &checked, "the reported pair");

  std::mt19937 rng(141);
  int light_ends = 0, from_sisl = 0;
  checked = 0;
  for (int trial = 0; trial < 1000; ++trial) {
    const weighted::Place at = weighted::RandomPlace(rng);
    weighted::Curve c1(weighted::RandomCurve(rng, at, true)), c2(weighted::RandomCurve(rng, at, true));
    for (const weighted::Curve *c : {&c1, &c2})
      light_ends += std::min(c->c->weights.front(), c->c->weights.back()) < 0.01;
    std::vector<weighted::Meeting> want = weighted::Crossings(c1, c2);
    // SISL's meetings that the search did not find (none so far) are checked beside its own.
    for (const weighted::Meeting &s : weighted::SislCrossings(c1, c2, std::max(std::fabs(at.x), std::fabs(at.y)))) {
      bool known = false;
      for (const weighted::Meeting &m : want) known = known || std::hypot(m.x - s.x, m.y - s.y) <= 1e-9 * (1 + std::fabs(s.x));
      if (!known) want.push_back(s), ++from_sisl;
    }
    CheckWeighted(c1, c2, want, trial % 2 == 1, trial % 4 < 2 ? BSTRUE : BSFALSE, &checked, std::to_string(trial));
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(checked, 2500);
  EXPECT_GT(light_ends, 400);
  EXPECT_EQ(from_sisl, 0);
}

}  // namespace
