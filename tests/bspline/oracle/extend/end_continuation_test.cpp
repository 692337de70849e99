// The continued poles of a curve end against SISL's polynomial continuation (s1233) and OpenCASCADE's Bezier
// segment taken beyond the curve's range.
#include <gtest/gtest.h>

#include <Geom_BezierCurve.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <cmath>
#include <random>

#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace {

// Largest pole difference over the largest pole coordinate.
double relative_gap(const VOQbsp_curve &ours, const double *theirs, int n) {
  double worst = 0, scale = 0;
  for (int i = 0; i < 3 * n; ++i) {
    worst = std::max(worst, std::fabs(ours.poles[i] - theirs[i]));
    scale = std::max(scale, std::fabs(theirs[i]));
  }
  return worst / scale;
}

TEST(EndContinuationOracle, SislAndOpenCascade) {
  std::mt19937 rng(1233);
  std::uniform_real_distribution<double> stretch(0.05, 0.6);
  for (int trial = 0; trial < 30; ++trial) {
    const int k = 3 + trial % 5;
    auto c = random_curve(rng, k, k + trial % 6, false, true, 1 + trial % 2);
    const double f = stretch(rng), a = c->start(), b = c->end();
    VOQbsp_curve *out = nullptr;
    double reached = 0;
    int rc = 0;
    BSxtpolcv00(&c->cv, b + f * (b - a), &out, &reached, &rc);
    ASSERT_EQ(rc, 0) << trial;
    SislCurve s(*c);
    SISLCurve *longer = nullptr;
    int stat = 0;
    s1233(s.cv, 0.0, f, &longer, &stat);
    ASSERT_GE(stat, 0) << trial;
    ASSERT_EQ(longer->in, out->num_poles) << trial;
    EXPECT_LT(relative_gap(*out, longer->ecoef, out->num_poles), 1e-12) << trial;
    for (int i = 0; i < out->num_knots; ++i) EXPECT_NEAR(out->knots[i], longer->et[i], 1e-12 * (b - a)) << trial;
    freeCurve(longer);
    BSfreevoqcv(out, &rc);

    // One Bezier span over [0, 1] taken on to 1 + f.
    std::vector<double> knots(2 * k);
    for (int i = 0; i < 2 * k; ++i) knots[i] = i < k ? 0 : 1;
    c = std::make_unique<TestCurve>(k, std::vector<double>(c->poles.begin(), c->poles.begin() + 3 * k), knots);
    BSxtpolcv00(&c->cv, 1 + f, &out, &reached, &rc);
    ASSERT_EQ(rc, 0) << trial;
    TColgp_Array1OfPnt poles(1, k);
    for (int i = 0; i < k; ++i) poles.SetValue(i + 1, gp_Pnt(c->pole(i, 0), c->pole(i, 1), c->pole(i, 2)));
    Handle(Geom_BezierCurve) bz = new Geom_BezierCurve(poles);
    bz->Segment(0, 1 + f);
    std::vector<double> theirs;
    for (int i = 1; i <= k; ++i) theirs.insert(theirs.end(), {bz->Pole(i).X(), bz->Pole(i).Y(), bz->Pole(i).Z()});
    EXPECT_LT(relative_gap(*out, theirs.data(), k), 1e-12) << trial;
    BSfreevoqcv(out, &rc);
  }
  BStraceclear();
}

}  // namespace
