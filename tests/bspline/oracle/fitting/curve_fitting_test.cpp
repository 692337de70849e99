// The deviation a span search reports, against OpenCASCADE's projection of the points onto the returned curve;
// and the span count it settles on is the smallest within tolerance.
#include <GeomAPI_ProjectPointOnCurve.hxx>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bspline/fitting.h"
#include "tests/bspline/oracle/peer_curves.h"

TEST(CurveFittingOracle, SearchReportsOcctDistancesAndStopsAtTheFewestSpans) {
  // A spiral, a wave and a helix sampled with clustering: the deviation falls with the span count.
  for (int shape = 0; shape < 3; ++shape)
    for (double tol : {1e-2, 1e-4}) {
      SCOPED_TRACE(shape * 10 + (tol < 1e-3));
      std::vector<double> pts;
      const int n = 160;
      for (int i = 0; i < n; ++i) {
        const double s = shape == 2 ? std::pow(i / (n - 1.0), 3) : i / (n - 1.0), a = 9 * s;
        const double p[3][3] = {{s * std::cos(a), s * std::sin(a), 0}, {3 * s, std::sin(a), 0.2 * std::cos(2 * a)},
                                {std::cos(a), std::sin(a), s}};
        pts.insert(pts.end(), p[shape], p[shape] + 3);
      }
      VOQbsp_curve *cv = nullptr;
      double mean = 0, maxd = 0, maxp[3], v[3] = {0, 0, 0};
      int idx = -1, rc = 0;
      BSfitratcv(n, pts.data(), nullptr, nullptr, nullptr, 4, 0, nullptr, 0, 2, 0, 0, v, v, 0, 0, 1, 1, 0, 0.0, 0, 0,
                 tol, &cv, &mean, &maxd, &idx, maxp, &rc);
      ASSERT_EQ(rc, 0);
      const int spans = cv->num_poles - 3;
      OcctCurve occ(TestCurve(4, std::vector<double>(cv->poles, cv->poles + 3 * cv->num_poles),
                              std::vector<double>(cv->knots, cv->knots + cv->num_knots)));
      BSfreevoqcv(cv, &rc);
      double sum = 0, worst = 0;
      int at = 0;
      for (int i = 0; i < n; ++i) {
        const double d = GeomAPI_ProjectPointOnCurve(gp_Pnt(pts[3 * i], pts[3 * i + 1], pts[3 * i + 2]), occ.cv)
                             .LowerDistance();
        sum += d;
        if (d > worst) worst = d, at = i;
      }
      EXPECT_NEAR(mean, sum / n, 1e-9);
      EXPECT_NEAR(maxd, worst, 1e-9);
      EXPECT_EQ(idx, at);
      EXPECT_LE(maxd, tol);
      // One span fewer, fitted as the search fits it, is beyond the tolerance.
      ASSERT_GT(spans, 1);
      std::vector<double> knots(spans + 6), u(n), poles(3 * (spans + 2)), matrix(4 * n), rhs(3 * n);
      std::vector<int> sp(n);
      int nk = 0;
      const BSboolean given[3] = {0, 0, 0};
      BSktsprsfft(n, pts.data(), nullptr, 4, 0, spans - 1, given, u.data(), &nk, knots.data(), sp.data(), &rc);
      BSfitratpts(n, pts.data(), nullptr, u.data(), sp.data(), 4, nk - 4, knots.data(), 3, 3, 0, 2, 0, 0, v, v, 0, 0,
                  1, 1, 0, 0.0, 0, matrix.data(), rhs.data(), nullptr, poles.data(), nullptr, &rc);
      ASSERT_EQ(rc, 0);
      TestCurve fewer(4, poles, knots);
      BSfitraterr(n, pts.data(), nullptr, &fewer.cv, &mean, &maxd, &idx, maxp, &rc);
      ASSERT_EQ(rc, 0);
      EXPECT_GT(maxd, tol);
    }
}
