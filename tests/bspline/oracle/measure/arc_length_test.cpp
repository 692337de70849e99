// Arc lengths beside SISL (s1240, whole curves), OpenCASCADE (GCPnts_AbscissaPoint, whole curves, parts and
// the parameter at a given length) and GSL's adaptive integration of OpenCASCADE's speed on random polynomial and
// rational curves, and against exact lengths.
#include <gtest/gtest.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>

#include <GCPnts_AbscissaPoint.hxx>
#include <GeomAdaptor_Curve.hxx>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/measure_fixtures.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace {

double occt_length(const OcctCurve &oc, double a, double b) {
  GeomAdaptor_Curve ad(oc.cv);
  return GCPnts_AbscissaPoint::Length(ad, a, b, 1e-12);
}

// GSL's adaptive Gauss-Kronrod integration (61 points) of OpenCASCADE's speed, span by span. On the curves below
// it comes within 2e-8 of their lengths (taken at 30 digits), where GSL's CQUAD was 4e-8 off, claiming 2e-10, and
// OpenCASCADE's own length up to 37% off.
double gsl_length(const OcctCurve &oc) {
  gsl_set_error_handler_off();
  gsl_integration_workspace *ws = gsl_integration_workspace_alloc(5000);
  auto speed = [](double u, void *curve) {
    gp_Pnt p;
    gp_Vec v;
    static_cast<const OcctCurve *>(curve)->cv->D1(u, p, v);
    return v.Magnitude();
  };
  gsl_function f{speed, const_cast<OcctCurve *>(&oc)};
  double total = 0;
  for (std::size_t i = 0; i + 1 < oc.distinct.size(); ++i) {
    double part = 0, err = 0;
    // A status of lost accuracy still leaves its best estimate, which on these curves is within 1e-8.
    gsl_integration_qag(&f, oc.distinct[i], oc.distinct[i + 1], 1e-12, 1e-12, 5000, GSL_INTEG_GAUSS61, ws, &part,
                        &err);
    total += part;
  }
  gsl_integration_workspace_free(ws);
  return total;
}

TEST(ArcLengthOracle, RandomCurvesAgreeWithSislAndOpenCascade) {
  TolScope accuracy(15, 1e-10);
  std::mt19937 rng(1240);
  for (int order = 2; order <= 9; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int clamped = 0; clamped <= 1; ++clamped) {
        auto c = random_curve(rng, order, order + 6, rational, clamped, clamped ? order - 1 : 1);
        int rc = 0;
        const double ours = arclength(c->cv, c->start(), c->end(), &rc);
        ASSERT_EQ(rc, 0);
        OcctCurve oc(*c);
        const double occt = occt_length(oc, c->start(), c->end());
        EXPECT_NEAR(ours, occt, 1e-11 * occt) << "OpenCASCADE, order " << order << " rational " << rational;
        if (clamped) {
          // s1240 measures a refined control polygon: at a resolution of 1e-8 it comes within about 1e-8 of the
          // length, relative, and a finer one costs it seconds per curve.
          SislCurve sc(*c);
          double sisl = 0;
          int stat = 0;
          s1240(sc.cv, 1e-8, &sisl, &stat);
          ASSERT_GE(stat, 0);
          EXPECT_NEAR(ours, sisl, 3e-8 * sisl) << "SISL, order " << order << " rational " << rational;
        }
        // Parts of it, against OpenCASCADE.
        std::uniform_real_distribution<double> ud(c->start(), c->end());
        for (int k = 0; k < 4; ++k) {
          const double a = ud(rng), b = ud(rng);
          const double part = arclength(c->cv, a, b, &rc);
          ASSERT_EQ(rc, 0);
          const double ref = occt_length(oc, std::min(a, b), std::max(a, b));
          EXPECT_NEAR(part, ref, 1e-11 * std::max(1.0, ref)) << "order " << order << " part " << k;
        }
      }
}

// Rational curves whose weights range over 1e-3 to 1e3: where the weight nearly vanishes beside the parameter
// range (between poles of heavy weight) the speed has a peak narrower than the nodes of any rule, and where it is
// small the speed's numerator as one polynomial drowns in its rounding; at orders 2 to 12, at clustered knots, far
// from the origin and small. Each length holds the absolute accuracy asked of it (the peer is good to 2e-8).
TEST(ArcLengthOracle, UnevenWeightsHoldTheAccuracyAgainstGsl) {
  std::mt19937 rng(1342);
  std::uniform_real_distribution<double> unit(0, 1), exponent(-3, 3);
  for (int trial = 0; trial < 160; ++trial) {
    const int order = 2 + trial % 11, n = order + trial % 4;
    const bool clustered = trial % 3 == 1;
    const double scale = trial % 5 == 2 ? 1e-3 : 1, offset = trial % 7 == 3 ? 1e5 : 0;
    std::vector<double> poles, weights, knots(order, 0.0);
    for (int i = order; i < n; ++i) knots.push_back(clustered ? 0.5 + 1e-5 * unit(rng) : unit(rng));
    std::sort(knots.begin() + order, knots.end());
    knots.insert(knots.end(), order, 1.0);
    for (int i = 0; i < n; ++i) {
      for (int k = 0; k < 3; ++k) poles.push_back(scale * (k == 2 && trial % 2 ? 0.0 : unit(rng)));
      weights.push_back(std::pow(10.0, exponent(rng)));
    }
    // The reference is taken near the origin, where the peer's speed carries no rounding of the offset.
    const double ref = gsl_length(OcctCurve(TestCurve(order, poles, knots, weights)));
    for (double &x : poles) x += offset;
    TestCurve c(order, poles, knots, weights);
    for (double accuracy : {1e-3, 1e-6}) {
      TolScope entry15(15, accuracy);
      int rc = 0;
      const double ours = arclength(c.cv, 0, 1, &rc);
      ASSERT_EQ(rc, 0) << "trial " << trial << " at " << accuracy;
      EXPECT_NEAR(ours, ref, accuracy) << "trial " << trial << ", order " << order << " at " << accuracy;
    }
  }
}

TEST(ArcLengthOracle, ParameterAtALengthAgreesWithOpenCascade) {
  TolScope accuracy(15, 1e-10);
  std::mt19937 rng(1241);
  for (int trial = 0; trial < 12; ++trial) {
    const int order = 3 + trial % 4;
    auto c = random_curve(rng, order, order + 5, trial % 2 == 1, true);
    OcctCurve oc(*c);
    std::uniform_real_distribution<double> ud(c->start(), c->end());
    const double u0 = ud(rng);
    const double dist = 0.4 * occt_length(oc, u0, c->end());
    int rc = 0;
    double par = 0;
    const double dir = c->end();
    BSiarcln(&rc, &c->cv, &u0, &dist, &dir, &par);
    ASSERT_EQ(rc, 0);
    GeomAdaptor_Curve ad(oc.cv);
    GCPnts_AbscissaPoint ap(1e-12, ad, dist, u0);
    ASSERT_TRUE(ap.IsDone());
    // Both within dist_tol of the length asked for: compare the lengths they lead to.
    EXPECT_NEAR(occt_length(oc, u0, par), dist, 2e-6) << trial;
    EXPECT_NEAR(occt_length(oc, u0, ap.Parameter()), dist, 1e-9) << trial;
  }
}

TEST(ArcLengthOracle, ExactLengthsOfLinesAndCircularArcs) {
  TolScope accuracy(15, 1e-12);
  for (double sweep : {0.1, 1.0, M_PI / 2, 2.5, M_PI, 5.0, 2 * M_PI})
    for (int segments : {1, 2, 4, 7}) {
      if (sweep / segments >= M_PI) continue;  // one rational quadratic piece spans less than half a circle
      auto arc = circular_arc(3.25, -0.4, sweep, segments, 2, 1, -1);
      int rc = 0;
      EXPECT_NEAR(arclength(arc->cv, 0, segments, &rc), 3.25 * sweep, 1e-11) << sweep << " / " << segments;
      OcctCurve oc(*arc);
      EXPECT_NEAR(occt_length(oc, 0, segments), 3.25 * sweep, 1e-9);
    }
  std::mt19937 rng(1242);
  std::uniform_real_distribution<double> ud(-5, 5);
  for (int order = 2; order <= 6; ++order) {
    // Poles along a line in increasing order: the curve runs along it once.
    const double a[3] = {ud(rng), ud(rng), ud(rng)}, d[3] = {ud(rng), ud(rng), ud(rng)};
    std::vector<double> poles, knots;
    double t = 0;
    for (int i = 0; i < order + 3; ++i) {
      t += 0.2 + std::fabs(ud(rng));
      for (int k = 0; k < 3; ++k) poles.push_back(a[k] + t * d[k]);
    }
    for (int i = 0; i < order; ++i) knots.push_back(0);
    for (int i = 1; i <= 3; ++i) knots.push_back(i);
    for (int i = 0; i < order; ++i) knots.push_back(4);
    TestCurve line(order, poles, knots);
    const int n = line.n();
    const double exact = std::sqrt(std::pow(poles[3 * (n - 1)] - poles[0], 2) +
                                   std::pow(poles[3 * (n - 1) + 1] - poles[1], 2) +
                                   std::pow(poles[3 * (n - 1) + 2] - poles[2], 2));
    int rc = 0;
    EXPECT_NEAR(arclength(line.cv, 0, 4, &rc), exact, 1e-12 * exact) << order;
  }
}

}  // namespace
