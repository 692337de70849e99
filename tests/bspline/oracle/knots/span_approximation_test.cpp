// Knot removal against the weighted least-squares solution of the expanded problem, and the continuity
// correction against the projection onto the constraints' row space, both solved by Eigen.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

// Two random curves on one knot vector (approximated together), random target knots over the same range, none,
// one or both tangent poles held: each curve's free poles minimise sum_p w_p^2 |sum_j M_pj P_j - Q_p|^2, the
// rows of the end (and held) source poles left out, w_p^2 the integral of source basis function p, M the full
// knot-insertion rows.
TEST(SpanApproximationOracle, KnotRemovalIsTheWeightedLeastSquaresSolution) {
  std::mt19937 rng(4290);
  for (int k = 2; k <= 7; ++k)
    for (int n = k + 1; n <= k + 14; n += 3)
      for (int hold = 0; hold < 4; ++hold) {
        const bool rational = (n + hold) % 2, hs = hold & 1, he = hold & 2;
        const int m = 4 * n;
        auto a = random_curve(rng, k, m, rational, true, k - 1), b = random_curve(rng, k, m, rational, true);
        b->knots = a->knots, b->cv.knots = b->knots.data();
        // Inner knots anywhere in source intervals spread over the range, so that every target span holds source
        // knots (a target basis function without rows would leave the problem rank-deficient).
        std::vector<double> tau(k, a->start());
        std::uniform_real_distribution<double> within(0.0, 1.0);
        for (int i = 0; i < n - k; ++i) {
          const int s = k - 1 + (2 * i + 1) * (m - k + 1) / (2 * (n - k + 1));
          tau.push_back(a->knots[s] + within(rng) * (a->knots[s + 1] - a->knots[s]));
        }
        tau.insert(tau.end(), k, a->end());
        RoomCurve o0(n, k, rational), o1(n, k, rational);
        const VOQbsp_curve *in[2] = {&a->cv, &b->cv};
        VOQbsp_curve *out[2] = {&o0.cv, &o1.cv};
        // Per curve: its poles Q (m x dim, weights last when rational) and the fixed target poles F (n x dim:
        // the input's ends and, held, its tangent poles, the rest 0).
        const int dim = 3 + rational, f = 1 + hs, nf = n - 2 - hs - (he ? 1 : 0), p0 = f, rows = m - 2 - he - p0 + 1;
        Eigen::MatrixXd Q[2], F[2];
        for (int c = 0; c < 2; ++c) {
          Q[c].setZero(m, dim), F[c].setZero(n, dim);
          for (int i = 0; i < m; ++i)
            for (int q = 0; q < dim; ++q) Q[c](i, q) = q < 3 ? in[c]->poles[3 * i + q] : in[c]->weights[i];
          for (auto [j, i] : {std::pair{0, 0}, {1, 1}, {n - 2, m - 2}, {n - 1, m - 1}}) {
            F[c].row(j) = Q[c].row(i);
            for (int q = 0; q < dim; ++q) (q < 3 ? out[c]->poles[3 * j + q] : out[c]->weights[j]) = Q[c](i, q);
          }
          if (!hs) F[c].row(1).setZero();
          if (!he) F[c].row(n - 2).setZero();
        }
        int rc = 0;
        BSbrapproxs(2, in, n, tau.data(), hs, he, out, &rc);
        const int answer = rc;
        if (nf < 1) {
          EXPECT_EQ(answer, 0);
          continue;
        }
        Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor> M(m, n);
        BSinsrt_mat(static_cast<std::int16_t>(k), n, tau.data(), m, a->knots.data(), M.data(), &rc);
        ASSERT_EQ(rc, 0);
        Eigen::VectorXd w(m);
        for (int p = 0; p < m; ++p) w(p) = std::sqrt((a->knots[p + k] - a->knots[p]) / k);
        const Eigen::MatrixXd A = w.segment(p0, rows).asDiagonal() * M.block(p0, f, rows, nf);
        Eigen::MatrixXd X[2];
        double least = 1.0;
        for (int c = 0; c < 2; ++c) {
          X[c] = A.householderQr().solve(w.segment(p0, rows).asDiagonal() * (Q[c] - M * F[c]).middleRows(p0, rows));
          if (rational) least = std::min(least, X[c].col(3).minCoeff());
        }
        if (answer == 49) {  // random weights may well fit to a weight below 0.001
          EXPECT_LT(least, 0.001) << k << " " << n << " " << hold;
          continue;
        }
        ASSERT_EQ(answer, 0) << k << " " << n << " " << hold;
        for (int c = 0; c < 2; ++c)
          for (int j = 0; j < nf; ++j)
            for (int q = 0; q < dim; ++q)
              EXPECT_NEAR(q < 3 ? out[c]->poles[3 * (f + j) + q] : out[c]->weights[f + j], X[c](j, q),
                          1e-11 * std::max(1.0, X[c].cwiseAbs().maxCoeff()))
                  << k << " " << n << " " << hold;
      }
}

// d^r P_i / dx^r at x = 1: (i + r)! / (2^r r! (i - r)!).
double legendre_derivative_at_one(int i, int r) {
  if (r > i) return 0.0;
  double v = 1.0;
  for (int j = 1; j <= r; ++j) v *= static_cast<double>((i + j) * (i - j + 1)) / (2.0 * j);
  return v;
}

// Random pieces of orders 3 to 6 on 2 to 20 uneven spans: the correction is the projection of the pieces, in the
// orthonormal Legendre coordinates, onto the row space of the junction conditions, and the result joins with
// derivatives 0 to k-2 equal at every break.
TEST(SpanApproximationOracle, ContinuityCorrectionIsTheProjection) {
  std::mt19937 rng(4291);
  std::uniform_real_distribution<double> coef(-1, 1), gap(0.05, 3.0);
  for (int k = 3; k <= 6; ++k)
    for (int S : {2, 3, 7, 20}) {
      const int G = 1 + S % 2, D = 2 + k % 2, nc = k - 1, nseries = G * D;
      std::vector<double> breaks = {-1.0};
      for (int s = 0; s < S; ++s) breaks.push_back(breaks.back() + gap(rng));
      std::vector<double> in(static_cast<std::size_t>(nseries) * S * k), out(in.size());
      for (double &x : in) x = coef(rng);
      int rc = 0;
      BScstlgdbsp(G, D, k, k - 2, S, breaks.data(), in.data(), 0.0, out.data(), &rc);
      ASSERT_TRUE(rc == 0 || rc == 55) << rc;

      // Junction rows in the orthonormal coordinates: the r-th derivative in the common parameter at the end of
      // span j less that at the start of span j + 1.
      Eigen::MatrixXd K = Eigen::MatrixXd::Zero((S - 1) * nc, S * k);
      for (int j = 0; j + 1 < S; ++j)
        for (int r = 0; r < nc; ++r)
          for (int i = 0; i < k; ++i) {
            const double d = legendre_derivative_at_one(i, r), scale = std::sqrt((2.0 * i + 1) / 2);
            K(j * nc + r, j * k + i) = d * std::pow(2.0 / (breaks[j + 1] - breaks[j]), r) * scale;
            K(j * nc + r, (j + 1) * k + i) =
                -((i + r) % 2 ? -d : d) * std::pow(2.0 / (breaks[j + 2] - breaks[j + 1]), r) * scale;
          }
      // Rows of unit length: the same row space, and a pseudo-inverse that rows of short spans do not spoil.
      Eigen::MatrixXd Kn = K;
      for (int r = 0; r < K.rows(); ++r) Kn.row(r).normalize();
      const Eigen::MatrixXd P = Kn.completeOrthogonalDecomposition().pseudoInverse() * Kn;
      for (int q = 0; q < nseries; ++q) {
        Eigen::VectorXd x(S * k), y(S * k);
        for (int i = 0; i < S * k; ++i) {
          const double scale = std::sqrt((2.0 * (i % k) + 1) / 2);
          x(i) = in[q * S * k + i] / scale;
          y(i) = out[q * S * k + i] / scale;
        }
        const Eigen::VectorXd want = x - P * x;
        EXPECT_LT((y - want).cwiseAbs().maxCoeff(), 1e-11 * x.cwiseAbs().maxCoeff()) << k << " " << S << " " << q;
        // Each junction condition holds relative to the size of its terms.
        const Eigen::VectorXd gaps = K * y, sizes = K.cwiseAbs() * y.cwiseAbs();
        for (int r = 0; r < gaps.size(); ++r) EXPECT_LE(std::fabs(gaps(r)), 1e-11 * sizes(r)) << k << " " << S << " " << r;
      }
    }
}

}  // namespace
