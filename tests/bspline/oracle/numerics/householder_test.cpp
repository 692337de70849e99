// Householder least squares against Eigen's dense QR and complete orthogonal decomposition and GSL's QR solver.
#include <gsl/gsl_linalg.h>
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <random>

#include "bspline/numerics.h"
#include "tests/bspline/least_squares_fixtures.h"

namespace {

using RowMat = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

RowMat view(const Mat &m, int rows, int cols) { return Eigen::Map<const RowMat>(m.data(), rows, cols); }

TEST(HouseholderOracle, DenseAgreesWithEigenAndGsl) {
  std::mt19937 rng(380);
  for (int n = 1; n <= 12; ++n)
    for (int m = n; m <= 3 * n; m += (n + 1) / 2) {
      Mat A = random_matrix(rng, m, n), B = random_matrix(rng, m, 3), X(n * 3);
      const Eigen::MatrixXd want = view(A, m, n).householderQr().solve(view(B, m, 3));
      // GSL on the first right-hand side (row-major, as ours).
      Mat qr = A, tau(n), gx(n), res(m);
      gsl_matrix_view qv = gsl_matrix_view_array(qr.data(), m, n);
      gsl_vector_view tv = gsl_vector_view_array(tau.data(), n), xv = gsl_vector_view_array(gx.data(), n);
      gsl_vector_view rv = gsl_vector_view_array(res.data(), m);
      const gsl_vector_view bv = gsl_vector_view_array_with_stride(B.data(), 3, m);
      gsl_linalg_QR_decomp(&qv.matrix, &tv.vector);
      gsl_linalg_QR_lssolve(&qv.matrix, &tv.vector, &bv.vector, &xv.vector, &rv.vector);
      int rc = 0;
      const int three = 3;
      ASSERT_TRUE(BShousehld(&rc, &m, &n, A.data(), &three, B.data(), X.data())) << m << "x" << n;
      const double scale = want.cwiseAbs().maxCoeff();
      for (int i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(X[i * 3 + c], want(i, c), 1e-12 * scale) << m << "x" << n;
        EXPECT_NEAR(X[i * 3], gx[i], 1e-12 * scale) << m << "x" << n;
      }
    }
}

// Bands of every width with repeated first columns and retiring rows, alone and with two border columns whose
// values come from the dense problem left below the band (the way a periodic fit solves its wrap-around poles).
TEST(HouseholderOracle, BandEqualsDenseLeastSquaresOfTheExpandedMatrix) {
  std::mt19937 rng(381);
  for (int nb = 2; nb <= 6; ++nb)
    for (int nblocks : {1, 2, 7, 40}) {
      const BandProblem p = random_band(rng, nb, nblocks, 3);
      const RowMat D = view(p.dense(), p.rows, p.n);
      const Eigen::MatrixXd want = D.householderQr().solve(view(p.B, p.rows, 3));
      Mat A = p.A, B = p.B;
      int rc = 0;
      BSbndhshold(A.data(), nblocks, p.nrows.data(), nb, p.first.data(), 3, B.data(), &rc);
      ASSERT_EQ(rc, 0);
      const double scale = want.cwiseAbs().maxCoeff();
      // Accumulating every row and substituting gives the same; a single block, what the dense solver gives.
      Mat A2 = p.A, B2 = p.B, dense = p.dense(), DB = p.B, X = p.B;
      BSbndhshdtr(A2.data(), nblocks, p.nrows.data(), nb, p.first.data(), 3, B2.data(), &rc);
      BSbndhsback(A2.data(), nblocks, nb, p.first.data(), 3, 0, B2.data(), &rc);
      ASSERT_EQ(rc, 0);
      const int three = 3;
      if (nblocks == 1) {
        ASSERT_TRUE(BShousehld(&rc, &p.rows, &p.n, dense.data(), &three, DB.data(), X.data()));
      }
      for (int i = 0; i < p.n * 3; ++i) {
        EXPECT_NEAR(B[i], want(i / 3, i % 3), 1e-12 * scale) << nb << " " << nblocks;
        EXPECT_NEAR(B2[i], B[i], 1e-12 * scale) << nb << " " << nblocks;
        if (nblocks == 1) {
          EXPECT_NEAR(X[i], B[i], 1e-12 * scale);
        }
      }

      if (p.rows < p.n + 2) continue;
      // Bordered: B rows are (2 border coefficients, 2 right-hand sides).
      const Mat E = random_matrix(rng, p.rows, 2);
      RowMat bordered(p.rows, p.n + 2);
      bordered << D, view(E, p.rows, 2);
      const Eigen::MatrixXd wantb = bordered.householderQr().solve(view(p.B, p.rows, 3).leftCols(2));
      Mat Ab = p.A, Bb(p.rows * 4);
      for (int r = 0; r < p.rows; ++r)
        for (int c = 0; c < 2; ++c) Bb[r * 4 + c] = E[r * 2 + c], Bb[r * 4 + 2 + c] = p.B[r * 3 + c];
      BSbndhshdtr(Ab.data(), nblocks, p.nrows.data(), nb, p.first.data(), 4, Bb.data(), &rc);
      ASSERT_EQ(rc, 0);
      const int m2 = p.rows - p.n, two = 2, four = 4;
      Mat rest(Bb.begin() + p.n * 4, Bb.end()), Er(m2 * 2), Br(m2 * 2), e(4);
      for (int r = 0; r < m2; ++r)
        for (int c = 0; c < 2; ++c) Er[r * 2 + c] = rest[r * 4 + c], Br[r * 2 + c] = rest[r * 4 + 2 + c];
      ASSERT_TRUE(BShousehld(&rc, &m2, &two, Er.data(), &two, Br.data(), e.data()));
      for (int j = 0; j < 2; ++j)
        for (int c = 0; c < 2; ++c) Bb[(p.n + j) * 4 + 2 + c] = e[j * 2 + c];
      BSbndhsback(Ab.data(), nblocks, nb, p.first.data(), four, 2, Bb.data(), &rc);
      ASSERT_EQ(rc, 0);
      const double scaleb = wantb.cwiseAbs().maxCoeff();
      for (int i = 0; i < p.n + 2; ++i)
        for (int c = 0; c < 2; ++c) EXPECT_NEAR(Bb[i * 4 + 2 + c], wantb(i, c), 1e-12 * scaleb) << nb << " " << i;
    }
}

// Random block-bidiagonal constraints, also with second blocks far smaller than the first (a fold of short rows
// into the diagonal must not lose them to cancellation).
TEST(HouseholderOracle, ProjectionEqualsThePseudoInverseProjection) {
  std::mt19937 rng(382);
  for (int nj : {1, 2, 3, 9, 30})
    for (int k : {2, 4, 7})
      for (int nc = 1; nc < k; ++nc)
        for (double small : {1.0, 1e-9}) {
          Mat C1 = random_matrix(rng, nj * nc, k), C2 = random_matrix(rng, nj * nc, k);
          for (double &v : C2) v *= small;
          const int len = (nj + 1) * k;
          const RowMat K = view(constraint_matrix(nj, k, nc, C1, C2), nj * nc, len);
          const Eigen::MatrixXd P = K.completeOrthogonalDecomposition().pseudoInverse() * K;
          // Two series: a random one and one that already satisfies K x = 0.
          Mat x = random_matrix(rng, 2, len), out(x.size());
          Eigen::Map<Eigen::VectorXd> x0(x.data(), len), x1(x.data() + len, len);
          x1 = x0 - P * x0;
          const Eigen::VectorXd want = P * Eigen::Map<const Eigen::VectorXd>(x.data(), len);
          int rc = 0;
          BShouslgbspc(nj, k, nc, C1.data(), C2.data(), 2, x.data(), out.data(), &rc);
          ASSERT_EQ(rc, 0) << nj << " " << k << " " << nc;
          const Eigen::Map<const Eigen::VectorXd> o0(out.data(), len), o1(out.data() + len, len);
          EXPECT_LT((o0 - want).cwiseAbs().maxCoeff(), 1e-12) << nj << " " << k << " " << nc << " " << small;
          EXPECT_LT((K * (x0 - o0)).cwiseAbs().maxCoeff(), 1e-13) << nj << " " << k << " " << nc;
          EXPECT_LT(o1.cwiseAbs().maxCoeff(), 1e-14) << nj << " " << k << " " << nc;
          // In place gives the same.
          BShouslgbspc(nj, k, nc, C1.data(), C2.data(), 2, x.data(), x.data(), &rc);
          EXPECT_TRUE(x == out);
        }
}

}  // namespace
