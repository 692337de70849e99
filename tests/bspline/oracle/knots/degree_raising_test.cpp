// Degree raising beside OpenCASCADE (Geom_BSplineCurve::IncreaseDegree) and SISL (s1750), on random polynomial
// and rational curves with interior knots of several multiplicities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/bspline/oracle/flat_curves.h"

namespace {

TEST(DegreeRaisingOracle, AgreesWithOpenCascadeAndSisl) {
  std::mt19937 rng(1303);
  for (int order = 2; order <= 8; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int raise = 1; raise <= 3; ++raise) {
        auto c = random_curve(rng, order, order + 4, rational, true, std::max(order - 2, 1));
        OcctCurve oc(*c);
        SislCurve sc(*c);
        VOQbsp_curve *out = nullptr;
        int rc = 0;
        BSupthedeg(&c->cv, static_cast<std::int16_t>(order - 1 + raise), BSFALSE, &out, &rc);
        ASSERT_EQ(rc, 0);
        const Flat ours = flat_of(*out);
        BSfreevoqcv(out, &rc);

        oc.cv->IncreaseDegree(order - 1 + raise);
        expect_same(ours, flat_of(oc.cv), 1e-12, "OpenCASCADE");

        SISLCurve *snew = nullptr;
        int stat = 0;
        s1750(sc.cv, order + raise, &snew, &stat);
        ASSERT_GE(stat, 0);
        expect_same(ours, flat_of(snew), 1e-12, "SISL");
        freeCurve(snew);
      }
}

// Points of a SISL curve.
void sisl_point(SISLCurve *cv, double u, double out[3]) {
  int left = 0, stat = 0;
  s1221(cv, 0, u, &left, out, &stat);
  ASSERT_GE(stat, 0);
}

// Every order up to 16, interior knots of multiplicity up to order - 1 and gaps from 1e-4 to 2: the raised curve
// keeps the input's points to 1e-12 of its size, as SISL's does (an expansion in derivatives about an anchor
// kept only 1e-7 at order 10). Points are taken by SISL's evaluator from both curves.
TEST(DegreeRaisingOracle, KeepsTheShapeAtEveryOrderUpToSixteen) {
  std::mt19937 rng(1616);
  std::uniform_real_distribution<double> coord(-10, 10), decade(-4, 0.3), wd(0.5, 2), unit(0, 1);
  for (int order = 2; order <= 16; ++order)
    for (int trial = 0; trial < 12; ++trial) {
      const bool rational = trial % 2;
      const int n = order + 3 + trial % 5;
      std::uniform_int_distribution<int> mult(1, std::max(1, order - 1));
      std::vector<double> knots(order, coord(rng));
      double t = knots.back();
      while (static_cast<int>(knots.size()) < n) {
        t += std::pow(10.0, decade(rng));
        for (int j = mult(rng); j > 0 && static_cast<int>(knots.size()) < n; --j) knots.push_back(t);
      }
      t += std::pow(10.0, decade(rng));
      knots.insert(knots.end(), order, t);
      std::vector<double> poles(3 * n), w;
      for (double &p : poles) p = coord(rng);
      if (rational)
        for (int i = 0; i < n; ++i) w.push_back(wd(rng));
      TestCurve c(order, poles, knots, w);
      SislCurve input(c);
      const int to_order = std::min(16, order + 1 + trial % 4);
      if (to_order == order) continue;
      VOQbsp_curve *out = nullptr;
      int rc = 0;
      BSupthedeg(&c.cv, static_cast<std::int16_t>(to_order - 1), BSFALSE, &out, &rc);
      ASSERT_EQ(rc, 0) << order;
      const Flat f = flat_of(*out);
      BSfreevoqcv(out, &rc);
      TestCurve raised(to_order, f.poles, f.knots, rational ? f.weights : std::vector<double>{});
      SislCurve ours(raised);
      SISLCurve *theirs = nullptr;
      int stat = 0;
      s1750(input.cv, to_order, &theirs, &stat);
      ASSERT_GE(stat, 0);
      double worst = 0, worst_sisl = 0;
      for (int k = 0; k < 100; ++k) {
        const double u = c.start() + (c.end() - c.start()) * unit(rng);
        double p[3], q[3], s[3];
        sisl_point(input.cv, u, p);
        sisl_point(ours.cv, u, q);
        sisl_point(theirs, u, s);
        for (int i = 0; i < 3; ++i) {
          worst = std::max(worst, std::fabs(q[i] - p[i]) / 10);
          worst_sisl = std::max(worst_sisl, std::fabs(s[i] - p[i]) / 10);
        }
      }
      freeCurve(theirs);
      EXPECT_LT(worst, 1e-12) << "order " << order << " to " << to_order << " trial " << trial << " (SISL "
                              << worst_sisl << ")";
    }
}

}  // namespace
