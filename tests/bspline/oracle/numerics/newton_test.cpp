// The LU decomposition against Eigen's PartialPivLU, and the bounded Newton solvers against GSL's dnewton.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multiroots.h>
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <random>

#include "bspline/numerics.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

TEST(NewtonOracle, LuAgreesWithEigenPartialPivLu) {
  std::mt19937 rng(45);
  for (int n = 2; n <= 8; ++n)
    for (int trial = 0; trial < 40; ++trial) {
      Mat a = random_matrix(rng, n, n, -2, 2);
      const Mat b = random_matrix(rng, n, 1, -2, 2);
      Eigen::MatrixXd A(n, n);
      Eigen::VectorXd B(n);
      for (int i = 0; i < n; ++i) {
        B(i) = b[i];
        for (int j = 0; j < n; ++j) A(i, j) = a[i * n + j];
      }
      const Eigen::PartialPivLU<Eigen::MatrixXd> lu(A);
      const Eigen::VectorXd expected = lu.solve(B), permuted = lu.permutationP() * B;

      Mat x = b;
      const BSboolean permute = 1;
      int rc = 0;
      ASSERT_EQ(BSdecomp(&rc, &n, a.data(), &permute, x.data()), BSTRUE);
      for (int i = 0; i < n; ++i) EXPECT_EQ(x[i], permuted(i)) << "the same pivots, n " << n;
      ASSERT_EQ(BSsolve(&rc, &n, a.data(), x.data()), BSTRUE);
      const double scale = expected.cwiseAbs().maxCoeff();
      for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], expected(i), 1e-12 * scale) << "n " << n << ", trial " << trial;
    }
}

// f(r + (u, v)) = A (u, v) + smooth second-order terms, with its root r inside the unit box.
struct System {
  double r[2], a[4], c[4];
  void eval(const double *x, double *f) const {
    const double u = x[0] - r[0], v = x[1] - r[1];
    f[0] = a[0] * u + a[1] * v + c[0] * std::sin(u) * v + c[1] * u * u;
    f[1] = a[2] * u + a[3] * v + c[2] * u * std::sin(v) + c[3] * (1 - std::cos(v));
  }
};

int gsl_residual(const gsl_vector *x, void *params, gsl_vector *f) {
  const double xv[2] = {gsl_vector_get(x, 0), gsl_vector_get(x, 1)};
  double fv[2];
  static_cast<const System *>(params)->eval(xv, fv);
  gsl_vector_set(f, 0, fv[0]);
  gsl_vector_set(f, 1, fv[1]);
  return GSL_SUCCESS;
}

BSboolean our_residual(int *, double *x, double *f, void *data_address) {
  static_cast<const System *>(*static_cast<void **>(data_address))->eval(x, f);
  return BSTRUE;
}

TEST(NewtonOracle, SolversReachTheRootGslDnewtonFinds) {
  std::mt19937 rng(4511);
  std::uniform_real_distribution<double> root(0.25, 0.75), coef(-1, 1), offset(-0.15, 0.15);
  gsl_multiroot_fsolver *gsl = gsl_multiroot_fsolver_alloc(gsl_multiroot_fsolver_dnewton, 2);
  int compared = 0;
  while (compared < 100) {
    System s{{root(rng), root(rng)}, {coef(rng), coef(rng), coef(rng), coef(rng)}, {}};
    if (std::fabs(s.a[0] * s.a[3] - s.a[1] * s.a[2]) < 0.3) continue;  // keep the root well separated
    for (double &c : s.c) c = coef(rng);
    double start[2] = {s.r[0] + offset(rng), s.r[1] + offset(rng)};

    gsl_multiroot_function fn{gsl_residual, 2, &s};
    gsl_vector *x0 = gsl_vector_alloc(2);
    gsl_vector_set(x0, 0, start[0]);
    gsl_vector_set(x0, 1, start[1]);
    gsl_multiroot_fsolver_set(gsl, &fn, x0);
    gsl_vector_free(x0);
    int status = GSL_CONTINUE;
    for (int it = 0; it < 100 && status == GSL_CONTINUE; ++it) {
      if (gsl_multiroot_fsolver_iterate(gsl)) break;
      status = gsl_multiroot_test_delta(gsl->dx, gsl->x, 1e-14, 0);
    }
    ASSERT_EQ(status, GSL_SUCCESS);
    const double peer[2] = {gsl_vector_get(gsl->x, 0), gsl_vector_get(gsl->x, 1)};

    for (int form = 0; form < 3; ++form) {  // BSqnwt undamped, BSqnwt damped, BSqnwt2
      double lo[2] = {0, 0}, hi[2] = {1, 1}, x[2];
      BSboolean periodic[2] = {0, 0};
      BSnewtonrec rec{lo, hi, 1e-12, 1e-9, 2, 25, form == 0, periodic, &s, start, 0, x, 0};
      int rc = 0;
      const BSboolean ok = form == 2 ? BSqnwt2(&rc, &rec, our_residual) : BSqnwt(&rc, &rec, our_residual);
      ASSERT_EQ(ok, BSTRUE);
      EXPECT_LT(rec.iterations, 25) << "form " << form;
      for (int i = 0; i < 2; ++i) EXPECT_NEAR(x[i], peer[i], rec.xtol) << "form " << form << ", system " << compared;
    }
    ++compared;
  }
  gsl_multiroot_fsolver_free(gsl);
}

}  // namespace
