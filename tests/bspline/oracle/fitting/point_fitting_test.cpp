// Point fitting against independent least squares: open fits against GSL's B-spline basis and multifit solver,
// interpolating fits evaluated through GSL's basis, periodic fits against Eigen's QR on the folded collocation
// matrix built from the definition of the basis.
#include <gsl/gsl_bspline.h>
#include <gsl/gsl_multifit.h>
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/fitting.h"
#include "bspline/measure.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

using Vec = std::vector<double>;

// GSL's basis on the clamped knot vector with the given breakpoints.
struct GslBasis {
  gsl_bspline_workspace *w;
  gsl_vector *B;
  GslBasis(int k, const Vec &breaks) {
    w = gsl_bspline_alloc(k, breaks.size());
    gsl_vector_const_view bv = gsl_vector_const_view_array(breaks.data(), breaks.size());
    gsl_bspline_knots(&bv.vector, w);
    B = gsl_vector_alloc(gsl_bspline_ncoeffs(w));
  }
  ~GslBasis() {
    gsl_vector_free(B);
    gsl_bspline_free(w);
  }
  const gsl_vector *at(double u) {
    gsl_bspline_eval(u, B, w);
    return B;
  }
};

struct OpenFit {
  int n, k, P;
  Vec pts, u, knots, poles;
  std::vector<int> spans;
  int run(int end_type) {
    Vec M(static_cast<std::size_t>(n) * k), B(static_cast<std::size_t>(n) * 3), W(3 * P);
    poles.assign(3 * P, 0.0);
    if (end_type == 1) {
      std::copy(pts.begin(), pts.begin() + 3, poles.begin());
      std::copy(pts.end() - 3, pts.end(), poles.end() - 3);
    }
    int rc = 0;
    BSfitratpts(n, pts.data(), nullptr, u.data(), spans.data(), static_cast<short>(k), P, knots.data(), 3, 3, 0,
                end_type, 0, 0, nullptr, nullptr, 0, 0, 1, 1, 0, 0.0, 0, M.data(), B.data(), W.data(), poles.data(),
                nullptr, &rc);
    return rc;
  }
};

TEST(PointFittingOracle, OpenFitsEqualGslLeastSquares) {
  std::mt19937 rng(208);
  std::uniform_real_distribution<double> gap(0.2, 3.0), coord(-5, 5), unit(0, 1);
  for (int k = 2; k <= 6; ++k)
    for (int per_span : {3, 17, 200}) {
      const int spans = 2 + static_cast<int>(rng() % 8);
      OpenFit f;
      f.k = k, f.P = spans + k - 1;
      Vec breaks = {0.0};
      for (int s = 0; s < spans; ++s) breaks.push_back(breaks.back() + gap(rng));
      f.knots.assign(k, 0.0);
      for (int s = 1; s < spans; ++s) f.knots.push_back(breaks[s]);
      f.knots.resize(f.P + k, breaks.back());
      for (int s = 0; s < spans; ++s)
        for (int i = 0; i < per_span; ++i) f.u.push_back(breaks[s] + (breaks[s + 1] - breaks[s]) * unit(rng));
      f.u.push_back(0.0), f.u.push_back(breaks.back());
      std::sort(f.u.begin(), f.u.end());
      f.n = static_cast<int>(f.u.size());
      for (int i = 0; i < 3 * f.n; ++i) f.pts.push_back(coord(rng));
      f.spans.resize(f.n);
      int rc = 0;
      BSfndspnarr(k, f.P, f.n, f.u.data(), f.knots.data(), f.spans.data(), &rc);
      ASSERT_EQ(f.run(0), 0) << k << " " << per_span;

      GslBasis basis(k, breaks);
      gsl_matrix *X = gsl_matrix_alloc(f.n, f.P), *cov = gsl_matrix_alloc(f.P, f.P);
      gsl_vector *y = gsl_vector_alloc(f.n), *c = gsl_vector_alloc(f.P);
      gsl_multifit_linear_workspace *work = gsl_multifit_linear_alloc(f.n, f.P);
      for (int i = 0; i < f.n; ++i) {
        const gsl_vector *b = basis.at(f.u[i]);
        for (int j = 0; j < f.P; ++j) gsl_matrix_set(X, i, j, gsl_vector_get(b, j));
      }
      double scale = 0;
      for (double p : f.poles) scale = std::max(scale, std::fabs(p));
      for (int d = 0; d < 3; ++d) {
        for (int i = 0; i < f.n; ++i) gsl_vector_set(y, i, f.pts[3 * i + d]);
        double chisq;
        gsl_multifit_linear(X, y, c, cov, &chisq, work);
        for (int j = 0; j < f.P; ++j)
          EXPECT_NEAR(f.poles[3 * j + d], gsl_vector_get(c, j), 1e-10 * scale) << k << " " << per_span << " " << j;
      }
      gsl_multifit_linear_free(work);
      gsl_vector_free(c), gsl_vector_free(y);
      gsl_matrix_free(cov), gsl_matrix_free(X);
    }
}

// As many poles as points with the end points held: the curve passes through every point.
TEST(PointFittingOracle, InterpolationPassesThroughEveryPoint) {
  std::mt19937 rng(2081);
  std::uniform_real_distribution<double> step(0.05, 2.0);
  for (int k = 2; k <= 7; ++k)
    for (int n : {k + 1, k + 6, 60}) {
      OpenFit f;
      f.n = n, f.k = k, f.P = n;
      double x = 0;
      for (int i = 0; i < n; ++i) {
        x += step(rng);
        f.pts.insert(f.pts.end(), {x, std::sin(x) * 3, std::cos(0.7 * x)});
      }
      f.u.resize(n);
      double len = 0;
      int rc = 0;
      BSavgprsfft(1, n, f.pts.data(), nullptr, 3, 3, k, &len, f.u.data(), &rc);
      f.knots.resize(n + k);
      f.spans.resize(n);
      // Knots by averaging the parameters, so that each basis function peaks near its own point.
      for (int i = 0; i < k; ++i) f.knots[i] = f.u[0], f.knots[n + i] = f.u[n - 1];
      for (int j = 1; j < n - k + 1; ++j) {
        double sum = 0;
        for (int i = j; i < j + k - 1; ++i) sum += f.u[i];
        f.knots[k - 1 + j] = sum / (k - 1);
      }
      BSfndspnarr(k, n, n, f.u.data(), f.knots.data(), f.spans.data(), &rc);
      ASSERT_EQ(rc, 0);
      ASSERT_EQ(f.run(1), 0) << k << " " << n;
      GslBasis basis(k, Vec(f.knots.begin() + k - 1, f.knots.begin() + n + 1));
      double worst = 0;
      for (int i = 0; i < n; ++i) {
        const gsl_vector *b = basis.at(f.u[i]);
        for (int d = 0; d < 3; ++d) {
          double v = 0;
          for (int j = 0; j < n; ++j) v += gsl_vector_get(b, j) * f.poles[3 * j + d];
          worst = std::max(worst, std::fabs(v - f.pts[3 * i + d]) / std::max(1.0, std::fabs(f.pts[3 * i + d])));
        }
      }
      EXPECT_LT(worst, 1e-12) << k << " " << n;
    }
}

// Periodic fits: the poles are the least-squares solution on the distinct poles, each basis function's column
// folded onto pole j mod D.
TEST(PointFittingOracle, PeriodicFitsEqualFoldedLeastSquares) {
  for (int k = 2; k <= 7; ++k)
    for (int D : {k + 1, 2 * k - 1, 2 * k + 7, 50}) {
      const int n = 3 * D + 2, P = D + k - 1;
      Vec pts, u(n), knots(P + k);
      for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / (n - 1);
        pts.insert(pts.end(), {std::cos(a) * (2 + std::cos(3 * a)), 2 * std::sin(a), 0.3 * std::sin(2 * a)});
      }
      std::copy(pts.begin(), pts.begin() + 3, pts.end() - 3);
      std::vector<int> spans(n);
      double len = 0;
      int rc = 0, nk = 0;
      BSavgprsfft(1, n, pts.data(), nullptr, 3, 3, k, &len, u.data(), &rc);
      BSkts_f_fit(k, 1, 4, 0.0, D, n, u.data(), &nk, knots.data(), spans.data(), &rc);
      ASSERT_EQ(rc, 0);
      Vec M(static_cast<std::size_t>(n) * std::max(k, D)), B(static_cast<std::size_t>(n) * (k + 2)), W(3 * D),
          poles(3 * P);
      BSfitratpts(n, pts.data(), nullptr, u.data(), spans.data(), static_cast<short>(k), P, knots.data(), 3, 3, 1, 0, 0,
                  0, nullptr, nullptr, 0, 0, 1, 1, 0, 0.0, 0, M.data(), B.data(), W.data(), poles.data(), nullptr, &rc);
      ASSERT_EQ(rc, 0) << k << " " << D;
      // Rows of the points the fit uses; the closing point's parameter is taken at the start of the period.
      Eigen::MatrixXd A = Eigen::MatrixXd::Zero(n - 1, D), Y(n - 1, 3);
      for (int r = 0; r < n - 1; ++r) {
        const int i = k % 2 == 0 ? r + 1 : r;
        const double ui = i == n - 1 ? u[0] : u[i];
        const auto N = ref_basis_all(knots, k, ui, knots[P]);
        for (int j = 0; j < P; ++j) A(r, j % D) += N[j];
        for (int d = 0; d < 3; ++d) Y(r, d) = pts[3 * i + d];
      }
      const Eigen::MatrixXd X = A.householderQr().solve(Y);
      for (int j = 0; j < P; ++j)
        for (int d = 0; d < 3; ++d) EXPECT_NEAR(poles[3 * j + d], X(j % D, d), 1e-10) << k << " " << D << " " << j;
    }
}

}  // namespace
