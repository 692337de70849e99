// Singular value decomposition against Eigen's JacobiSVD and BDCSVD, LAPACK's bidiagonal QR and GSL's
// bidiagonal reduction.
#include <gsl/gsl_linalg.h>
#include <gtest/gtest.h>
#include <lapacke.h>

#include <Eigen/Dense>
#include <algorithm>
#include <random>

#include "bspline/numerics.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

TEST(SingularValuesOracle, AgreesWithEigenJacobiSvd) {
  std::mt19937 rng(41);
  for (int m = 2; m <= 8; ++m)
    for (int extra = 0; extra <= 4; ++extra)
      for (int trial = 0; trial < 6; ++trial) {
        const int n = m + extra;  // n points of m coordinates: an n x m matrix
        const Mat a = random_matrix(rng, n, m, -3, 3);
        Eigen::MatrixXd A(n, m);
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < m; ++i) A(j, i) = a[j * m + i];
        Eigen::JacobiSVD<Eigen::MatrixXd> svd(A, Eigen::ComputeThinU | Eigen::ComputeThinV);

        Mat u(static_cast<std::size_t>(n) * m), v(static_cast<std::size_t>(m) * m);
        std::vector<double> s(m);
        int rc = 0;
        BSsingval(m, n, a.data(), u.data(), s.data(), v.data(), &rc);
        ASSERT_EQ(rc, 0);
        for (int k = 0; k < m; ++k) {
          EXPECT_NEAR(s[k], svd.singularValues()(k), 1e-12 * svd.singularValues()(0)) << m << "x" << n;
          // Vectors agree up to one sign per pair (u_k, v_k), the same for both.
          const double sign = dot(&v[k * m], svd.matrixV().col(k).data(), m) < 0 ? -1.0 : 1.0;
          for (int i = 0; i < m; ++i) EXPECT_NEAR(v[k * m + i], sign * svd.matrixV()(i, k), 1e-9);
          for (int j = 0; j < n; ++j) EXPECT_NEAR(u[j * m + k], sign * svd.matrixU()(j, k), 1e-9);
        }
        // And reconstruct the matrix.
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < m; ++i) {
            double r = 0.0;
            for (int k = 0; k < m; ++k) r += u[j * m + k] * s[k] * v[k * m + i];
            EXPECT_NEAR(r, a[j * m + i], 1e-12);
          }
      }
}

TEST(SingularValuesOracle, PointMatricesOfThreeAndTwoDimensions) {
  std::mt19937 rng(42);
  for (int trial = 0; trial < 50; ++trial) {
    const int n = 3 + trial;
    const Mat pts = random_matrix(rng, n, 3, -4, 4);
    Mat rows(3 * static_cast<std::size_t>(n));
    Eigen::MatrixXd P(n, 3);
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) rows[k * n + i] = P(i, k) = pts[3 * i + k];
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(P, Eigen::ComputeThinV);
    double sv[3], v[9];
    int rc = 0;
    BSsngvald3v(n, rows.data(), sv, v, &rc);
    ASSERT_EQ(rc, 0);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(sv[k], svd.singularValues()(k), 1e-10 * svd.singularValues()(0));
      EXPECT_NEAR(std::fabs(dot(v + 3 * k, svd.matrixV().col(k).data(), 3)), 1.0, 1e-9);
    }
    double sv2[2], v2[4];
    BSsngvald2v(n, rows.data(), sv2, v2, &rc);
    Eigen::JacobiSVD<Eigen::MatrixXd> svd2(P.leftCols(2), Eigen::ComputeThinV);
    for (int k = 0; k < 2; ++k) {
      EXPECT_NEAR(sv2[k], svd2.singularValues()(k), 1e-12 * svd2.singularValues()(0));
      EXPECT_NEAR(std::fabs(dot(v2 + 2 * k, svd2.matrixV().col(k).data(), 2)), 1.0, 1e-10);
    }
  }
}

// Random bidiagonals and graded ones (magnitudes from 1e-8 to 1e8, random signs): the values agree with
// LAPACK's dbdsqr to 1e-13 of the largest.
TEST(SingularValuesOracle, BidiagonalValuesAgreeWithLapack) {
  std::mt19937 rng(43);
  std::uniform_real_distribution<double> unit(-1, 1), decade(-8, 8);
  for (int t = 0; t < 60; ++t) {
    const int k = 2 + t % 30;
    const bool graded = t >= 30;
    std::vector<double> d(k), e(k);
    for (int i = 0; i < k; ++i) {
      d[i] = graded ? std::copysign(std::pow(10.0, decade(rng)), unit(rng)) : unit(rng);
      e[i] = graded ? std::copysign(std::pow(10.0, decade(rng)), unit(rng)) : unit(rng);
    }
    std::vector<double> ld(d), le(e), s(d), se(e), scale1(k), scale2(k);
    ASSERT_EQ(LAPACKE_dbdsqr(LAPACK_COL_MAJOR, 'U', k, 0, 0, 0, ld.data(), le.data(), nullptr, 1, nullptr, 1,
                             nullptr, 1),
              0);
    int rc = 0;
    BSsingbval(s.data(), k, se.data(), BSFALSE, nullptr, 1, 0, 0, nullptr, 1, 0, 0, scale1.data(), scale2.data(),
               &rc);
    ASSERT_EQ(rc, 0);
    for (int i = 0; i < k; ++i) EXPECT_NEAR(s[i], ld[i], 1e-13 * ld[0]) << t << " value " << i;
  }
}

// The bidiagonal form of Householder reductions is unique up to the signs of its entries: GSL's agrees.
TEST(SingularValuesOracle, BidiagonalReductionAgreesWithGsl) {
  std::mt19937 rng(44);
  for (int n = 2; n <= 14; n += 3)
    for (int m = n; m <= n + 9; m += 3) {
      const Mat a = random_matrix(rng, n, m, -2, 2);  // column-major m x n
      gsl_matrix *A = gsl_matrix_alloc(m, n);
      gsl_vector *tu = gsl_vector_alloc(n), *tv = gsl_vector_alloc(n - 1), *gd = gsl_vector_alloc(n);
      gsl_vector *ge = gsl_vector_alloc(n - 1);
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) gsl_matrix_set(A, i, j, a[j * m + i]);
      gsl_linalg_bidiag_decomp(A, tu, tv);
      gsl_linalg_bidiag_unpack_B(A, gd, ge);
      std::vector<double> d(n), e(n), U(static_cast<std::size_t>(m) * n), V(n * n);
      int rc = 0;
      BSbidag2sv(d.data(), e.data(), U.data(), 0, V.data(), 0, a.data(), m, n, &rc);
      ASSERT_EQ(rc, 0);
      for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(std::fabs(d[i]), std::fabs(gsl_vector_get(gd, i)), 1e-13)
            << m << "x" << n;
        if (i + 1 < n) {
          EXPECT_NEAR(std::fabs(e[i]), std::fabs(gsl_vector_get(ge, i)), 1e-13) << m << "x" << n;
        }
      }
      gsl_vector_free(ge);
      gsl_vector_free(gd);
      gsl_vector_free(tv);
      gsl_vector_free(tu);
      gsl_matrix_free(A);
    }
}

// Full decompositions up to 60 x 40: orthonormal factors that reconstruct the matrix to 1e-13 of its norm, and
// the values of Eigen's divide-and-conquer decomposition.
TEST(SingularValuesOracle, FullDecompositionsAgreeWithEigenBdcsvd) {
  std::mt19937 rng(45);
  const int sizes[][2] = {{2, 2}, {3, 3}, {3, 2}, {7, 4}, {12, 12}, {20, 20}, {33, 9}, {60, 40}};
  for (const auto &size : sizes) {
    const int m = size[0], n = size[1];
    const Mat a = random_matrix(rng, n, m, -1, 1);  // column-major m x n
    const Eigen::Map<const Eigen::MatrixXd> A(a.data(), m, n);
    const Eigen::BDCSVD<Eigen::MatrixXd> svd(A);
    Mat ac(a), u(static_cast<std::size_t>(m) * n), v(static_cast<std::size_t>(n) * n);
    std::vector<double> s(n), work(3 * n);
    int rc = 0;
    BSsingsv(u.data(), m, 1, s.data(), v.data(), n, 1, ac.data(), m, m, n, work.data(), &rc);
    ASSERT_EQ(rc, 0);
    const Eigen::Map<const Eigen::MatrixXd> U(u.data(), m, n), V(v.data(), n, n);
    const Eigen::Map<const Eigen::VectorXd> S(s.data(), n);
    const double norm = A.norm();
    EXPECT_LT((U * S.asDiagonal() * V.transpose() - A).cwiseAbs().maxCoeff(), 1e-13 * norm) << m << "x" << n;
    EXPECT_LT((U.transpose() * U - Eigen::MatrixXd::Identity(n, n)).cwiseAbs().maxCoeff(), 1e-13) << m << "x" << n;
    EXPECT_LT((V.transpose() * V - Eigen::MatrixXd::Identity(n, n)).cwiseAbs().maxCoeff(), 1e-13) << m << "x" << n;
    for (int i = 0; i < n; ++i) EXPECT_NEAR(s[i], svd.singularValues()(i), 1e-13 * norm) << m << "x" << n;
  }
}

}  // namespace
