// Composite evaluation against OpenCASCADE's derivatives of the same curve and GSL's Legendre sums, and the
// vanishing derivatives of a span against GSL's Brent solver on the sign changes of that derivative.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_roots.h>
#include <gsl/gsl_sf_legendre.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/legendre.h"
#include "tests/bspline/oracle/peer_curves.h"
#include "tests/bspline/oracle/legendre/peer_legendre.h"

namespace {

// The composite of a test curve in dimension 3.
struct Composite {
  int n = 0, *degrees = nullptr, *codes = nullptr;
  double **spans = nullptr, *bp = nullptr, range[2];
  explicit Composite(const TestCurve &c) {
    std::vector<double> blocks((3 + c.cv.rational) * c.n());
    int rc = 99;
    BSicv2bsp(&c.cv, 3, blocks.data(), &rc);
    EXPECT_EQ(rc, 0);
    BSbsp2cmlgd(3, c.n(), c.order(), c.cv.rational, blocks.data(), c.knots.data(), &n, &degrees, &codes, &spans, &bp,
                range, &rc);
    EXPECT_EQ(rc, 0);
  }
  ~Composite() {
    BSfreecmplgd(&spans);
    BSdbgfree(degrees);
    BSdbgfree(codes);
    BSdbgfree(bp);
  }
  Composite(const Composite &) = delete;
  Composite &operator=(const Composite &) = delete;
};

TEST(CompositeEvaluationOracle, DerivativesFollowThePeer) {
  std::mt19937 rng(5701);
  std::uniform_real_distribution<double> unit(0.05, 0.95);
  for (int order = 2; order <= 8; ++order) {
    for (int trial = 0; trial < 8; ++trial) {
      const bool rational = trial % 2 == 1;
      auto c = random_curve(rng, order, order + static_cast<int>(rng() % 6), rational, trial % 4 < 2, 1);
      OcctCurve peer(*c);
      Composite comp(*c);
      ASSERT_GT(comp.n, 0);
      for (int s = 0; s < comp.n; ++s) {
        const double a = comp.bp[s], b = comp.bp[s + 1];
        for (int j = 0; j < 4; ++j) {
          const double t = a + (b - a) * unit(rng);  // away from the knots
          for (int k = 0; k <= 4; ++k) {
            double out[3];
            int rc = 99;
            BSevalgdcmp(3, 0, comp.n, comp.degrees, comp.codes, nullptr, comp.spans, comp.bp, k, t, out, &rc);
            ASSERT_EQ(rc, 0);
            double want[3];
            if (k == 0) {
              const gp_Pnt P = peer.cv->Value(t);
              want[0] = P.X(), want[1] = P.Y(), want[2] = P.Z();
            } else {
              const gp_Vec V = peer.cv->DN(t, k);
              want[0] = V.X(), want[1] = V.Y(), want[2] = V.Z();
            }
            const double size = std::sqrt(want[0] * want[0] + want[1] * want[1] + want[2] * want[2]);
            // Every order by the exact quotient rule: the higher ones keep nearly the accuracy of the lower.
            const double tol = k <= 2 ? 1e-10 : 1e-9;
            for (int i = 0; i < 3; ++i) {
              const double err = std::fabs(out[i] - want[i]) / std::max(1.0, size);
              EXPECT_LE(err, tol) << "order " << order << " rational " << rational << " deriv " << k << " t " << t;
            }
            if (k == 0 && !rational) {
              const double u = 2 * (t - a) / (b - a) - 1;
              const int d = comp.degrees[s];
              for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(out[i], legendre_sum(d, comp.spans[s] + i * (d + 1), u), 1e-12 * std::max(1.0, size));
            }
          }
        }
      }
    }
  }
}

// f and w as GSL sums with their derivatives; the derivative of f (or of f/w, up to the positive factor w^2).
struct Projected {
  int degree;
  bool rational;
  std::vector<double> f;  // degree + 1, then the denominator's degree + 1
  double g(double u) const {
    std::vector<double> P(degree + 2), dP(degree + 2);
    gsl_sf_legendre_Pl_deriv_array(std::max(degree, 1), u, P.data(), dP.data());
    double F = 0, dF = 0, W = 0, dW = 0;
    for (int k = 0; k <= degree; ++k) {
      F += f[k] * P[k], dF += f[k] * dP[k];
      if (rational) W += f[degree + 1 + k] * P[k], dW += f[degree + 1 + k] * dP[k];
    }
    return rational ? dF * W - F * dW : dF;
  }
};

double g_of(double u, void *p) { return static_cast<const Projected *>(p)->g(u); }

TEST(CompositeEvaluationOracle, VanishingDerivativesAgreeWithBrent) {
  gsl_set_error_handler_off();
  std::mt19937 rng(5702);
  std::uniform_real_distribution<double> coef(-1, 1), wd(0.5, 2);
  gsl_root_fsolver *solver = gsl_root_fsolver_alloc(gsl_root_fsolver_brent);
  int compared = 0;
  for (int order = 3; order <= 8; ++order) {
    for (int trial = 0; trial < 20; ++trial) {
      const bool rational = trial % 2 == 1;
      // A projected span of a random curve: dir times the span's components, with the weight series after.
      auto c = random_curve(rng, order, order, rational, true);
      Composite comp(*c);
      const int d = comp.degrees[0], w = d + 1;
      const double dir[3] = {coef(rng), coef(rng), coef(rng)};
      Projected pr{d, rational, std::vector<double>(rational ? 2 * w : w, 0.0)};
      for (int k = 0; k < w; ++k) {
        for (int i = 0; i < 3; ++i) pr.f[k] += dir[i] * comp.spans[0][i * w + k];
        if (rational) pr.f[w + k] = comp.spans[0][3 * w + k];
      }
      const double range[2] = {comp.bp[0], comp.bp[1]};
      int count = -1, rc = 99;
      double *params = nullptr;
      BScvtrndir(d, rational, pr.f.data(), range, 1e-12, &count, &params, &rc);
      ASSERT_EQ(rc, 0);
      // Sign changes of g on a dense grid of the open interval, each refined by Brent.
      std::vector<double> want;
      gsl_function F{&g_of, &pr};
      const int samples = 4000;
      double prev_u = -1 + 1.0 / samples, prev = pr.g(prev_u);
      for (int j = 2; j < samples; ++j) {
        const double u = -1 + 2.0 * j / samples, v = pr.g(u);
        if ((v < 0) != (prev < 0)) {
          gsl_root_fsolver_set(solver, &F, prev_u, u);
          for (int it = 0; it < 200; ++it) {
            gsl_root_fsolver_iterate(solver);
            if (gsl_root_test_interval(gsl_root_fsolver_x_lower(solver), gsl_root_fsolver_x_upper(solver), 1e-15,
                                       0) == GSL_SUCCESS)
              break;
          }
          const double r = gsl_root_fsolver_root(solver);
          want.push_back((range[0] + range[1]) / 2 + (range[1] - range[0]) / 2 * r);
        }
        prev_u = u, prev = v;
      }
      ASSERT_EQ(count, static_cast<int>(want.size())) << "order " << order << " trial " << trial;
      for (int k = 0; k < count; ++k) EXPECT_NEAR(params[k], want[k], 1e-9 * (range[1] - range[0]));
      compared += count;
      BSdbgfree(params);
    }
  }
  gsl_root_fsolver_free(solver);
  EXPECT_GT(compared, 40);
}

}  // namespace
