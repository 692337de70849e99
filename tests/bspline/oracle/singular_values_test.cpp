// Singular value decomposition against Eigen's JacobiSVD.
#include <gtest/gtest.h>

#include <Eigen/Dense>
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

}  // namespace
