// The generated Gauss-Legendre tables beside GSL: every node and weight to 1e-15.
//
// gsl_integration_glfixed tabulates its rules up to 20 points (and a few larger sizes that are not ours); the
// rules of 80, 160 and 320 points it computes at run time in double precision, and those weights carry GSL's own
// error (they sum to 2 only within about 1e-10). For them the reference weights come from GSL's other fixed rule,
// gsl_integration_fixed (the Golub-Welsch eigenvalue method), whose weights scatter by a few units in the last
// place (a weight and its mirror differ by up to 2e-15 there), so they are held to 4e-15; glfixed is held to
// the accuracy it has. Our own weights sum to 2 within rounding, which neither GSL rule does at these sizes.
#include <gtest/gtest.h>
#include <gsl/gsl_integration.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "bspline/measure.h"

namespace {

std::vector<std::pair<double, double>> glfixed_rule(int n) {
  gsl_integration_glfixed_table *t = gsl_integration_glfixed_table_alloc(n);
  std::vector<std::pair<double, double>> rule(n);
  for (int i = 0; i < n; ++i) gsl_integration_glfixed_point(-1, 1, i, &rule[i].first, &rule[i].second, t);
  gsl_integration_glfixed_table_free(t);
  std::sort(rule.begin(), rule.end());
  return rule;
}

std::vector<std::pair<double, double>> golub_welsch_rule(int n) {
  gsl_integration_fixed_workspace *w = gsl_integration_fixed_alloc(gsl_integration_fixed_legendre, n, -1, 1, 0, 0);
  const double *x = gsl_integration_fixed_nodes(w), *wt = gsl_integration_fixed_weights(w);
  std::vector<std::pair<double, double>> rule(n);
  for (int i = 0; i < n; ++i) rule[i] = {x[i], wt[i]};
  gsl_integration_fixed_free(w);
  std::sort(rule.begin(), rule.end());
  return rule;
}

TEST(GaussLegendreOracle, TablesMatchGsl) {
  const int sizes[9] = {4, 8, 12, 16, 20, 40, 80, 160, 320};
  int weight_offset = 0;
  for (int n : sizes) {
    const auto gl = glfixed_rule(n);
    const bool computed_at_run_time = n >= 80;
    const auto ref = computed_at_run_time ? golub_welsch_rule(n) : gl;
    const double *x = nullptr;
    int rc = 0;
    BSextrtlgd(n, &x, &rc);
    ASSERT_EQ(rc, 0);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], gl[i].first, 1e-15) << "rule " << n << " node " << i;
    // Our weights belong to the positive nodes, nearest to 0 first; each stands for its mirror too.
    const double tol = computed_at_run_time ? 4e-15 : 1e-15;
    long double sum = 0;
    for (int j = 0; j < n / 2; ++j) {
      const double w = BSglweights[weight_offset + j];
      sum += 2.0L * w;
      EXPECT_NEAR(w, ref[n / 2 + j].second, tol) << "rule " << n << " weight " << j;
      EXPECT_NEAR(w, ref[n / 2 - 1 - j].second, tol) << "rule " << n << " mirror of weight " << j;
      if (computed_at_run_time) {
        EXPECT_NEAR(w, gl[n / 2 + j].second, 1e-9) << "rule " << n << " weight " << j;
      }
    }
    EXPECT_NEAR(static_cast<double>(sum), 2.0, 1e-15) << "rule " << n;
    weight_offset += n / 2;
  }
  EXPECT_EQ(weight_offset, BSGL_WEIGHT_COUNT);
}

}  // namespace
