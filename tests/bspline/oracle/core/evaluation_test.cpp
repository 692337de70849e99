// Points and derivatives of our evaluators beside SISL (s1221 from the right, s1227 from the left) and
// OpenCASCADE's Geom_BSplineCurve, on random polynomial and rational curves of orders 2 to 16.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/bspline/oracle/peer_curves.h"

namespace {

double scale(const double *v, int n) {
  double m = 1;
  for (int i = 0; i < n; ++i) m = std::max(m, std::fabs(v[i]));
  return m;
}

// OpenCASCADE forms derivatives by forward differences of the poles and re-expansion, which loses about half a
// digit per order above 8 (against SISL as much as against us); below that it meets the common 1e-12.
double occt_derivative_tolerance(int order) { return order <= 8 ? 1e-12 : 1e-12 * std::pow(3.0, order - 8); }

void expect_rows_near(const double *ours, const double *theirs, int nder, double tol, const char *who, int order,
                      double u) {
  for (int d = 0; d <= nder; ++d) {
    const double s = scale(theirs + 3 * d, 3);
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(ours[3 * d + k], theirs[3 * d + k], tol * s)
          << who << " order " << order << " u " << u << " derivative " << d;
  }
}

TEST(EvaluationOracle, RandomCurvesAgreeWithSislAndOpenCascade) {
  std::mt19937 rng(2024);
  for (int order = 2; order <= 16; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int clamped = 0; clamped <= 1; ++clamped) {
        // Interior knots of multiplicity up to the degree keep the curve continuous.
        auto c = random_curve(rng, order, order + 8, rational, clamped, clamped ? order - 1 : 1);
        SislCurve sc(*c);
        OcctCurve oc(*c);
        const int nder = std::min(3, order - 1);
        std::uniform_real_distribution<double> ud(c->start(), c->end());
        std::vector<double> params = {c->start(), c->end()};
        for (int i = order; i < c->n(); ++i) params.push_back(c->knots[i]);  // interior knots: left side
        for (int i = 0; i < 12; ++i) params.push_back(ud(rng));
        for (double u : params) {
          double ours[12], sisl[12], occt[12];
          int rc = 0;
          BScveval_n(&c->cv, u, nder, ours, &rc);
          ASSERT_EQ(rc, 0);
          int ileft = 0, stat = 0;
          s1227(sc.cv, nder, u, &ileft, sisl, &stat);
          ASSERT_GE(stat, 0);
          expect_rows_near(ours, sisl, nder, 1e-12, "s1227", order, u);
          oc.left_d0(u, occt);
          expect_rows_near(ours, occt, 0, 1e-12, "Geom_BSplineCurve D0", order, u);
          oc.left_d3(u, occt);
          expect_rows_near(ours + 3, occt + 3, nder - 1, occt_derivative_tolerance(order), "Geom_BSplineCurve D3",
                           order, u);
          // Away from knots both sides are the same: s1221 evaluates from the right.
          bool at_knot = false;
          for (double t : c->knots) at_knot |= t == u;
          if (!at_knot) {
            s1221(sc.cv, nder, u, &ileft, sisl, &stat);
            expect_rows_near(ours, sisl, nder, 1e-12, "s1221", order, u);
          }
        }
      }
}

TEST(EvaluationOracle, BothSidesOfAKnotMatchSislsLeftAndRight) {
  std::mt19937 rng(77);
  for (int order = 2; order <= 8; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, order + 6, rational, true, order - 1);
      SislCurve sc(*c);
      for (int i = order; i < c->n(); ++i) {
        const double u = c->knots[i];
        const int nder = std::min(3, order - 1);
        BSboolean two = 0;
        double left[12], right[12], sl[12], sr[12];
        int rc = 0, ileft = 0, stat = 0;
        ASSERT_EQ(BScveval_b(&rc, &c->cv, &u, &nder, nullptr, &two, left, right), BSTRUE);
        s1227(sc.cv, nder, u, &ileft, sl, &stat);
        s1221(sc.cv, nder, u, &ileft, sr, &stat);
        expect_rows_near(left, sl, nder, 1e-12, "left", order, u);
        if (two) expect_rows_near(right, sr, nder, 1e-12, "right", order, u);
        // One-sided means the two peers agree up to the requested derivative.
        if (!two && !rational) expect_rows_near(sl, sr, nder, 1e-9, "continuity", order, u);
      }
    }
}

TEST(EvaluationOracle, RationalQuarterCircle) {
  const double s = std::sqrt(0.5);
  TestCurve c(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, s, 1});
  SislCurve sc(c);
  OcctCurve oc(c);
  for (int i = 0; i <= 16; ++i) {
    const double u = i / 16.0;
    double ours[9], sisl[9], occt[12];
    int rc = 0, ileft = 0, stat = 0;
    BScveval_n(&c.cv, u, 2, ours, &rc);
    s1227(sc.cv, 2, u, &ileft, sisl, &stat);
    oc.left_d3(u, occt);
    expect_rows_near(ours, sisl, 2, 1e-13, "s1227", 3, u);
    expect_rows_near(ours, occt, 2, 1e-13, "Geom_BSplineCurve", 3, u);
  }
}

TEST(EvaluationOracle, RawPoleArraysAgreeWithSisl) {
  std::mt19937 rng(5);
  for (int order = 2; order <= 12; ++order) {
    auto c = random_curve(rng, order, order + 5, true, true);
    SislCurve sc(*c);
    const int n = c->n();
    std::vector<double> raw(4 * n);  // component-major x w, y w, z w, w
    for (int i = 0; i < n; ++i) {
      for (int k = 0; k < 3; ++k) raw[k * n + i] = c->poles[3 * i + k];
      raw[3 * n + i] = c->weights[i];
    }
    std::uniform_real_distribution<double> ud(c->start(), c->end());
    for (int t = 0; t < 10; ++t) {
      const double u = ud(rng);
      const int nder = std::min(2, order - 1);
      double ours[9], sisl[9];
      int rc = 0, ileft = 0, stat = 0;
      BSevalbsp(order - 1, n, 3, 1, raw.data(), c->knots.data(), u, nder, ours, &rc);
      ASSERT_EQ(rc, 0);
      s1221(sc.cv, nder, u, &ileft, sisl, &stat);
      expect_rows_near(ours, sisl, nder, 1e-12, "BSevalbsp", order, u);
    }
  }
}

}  // namespace
