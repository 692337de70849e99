// Symmetric eigen-analysis against Eigen's SelfAdjointEigenSolver.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <random>

#include "bspline/numerics.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

TEST(SymmetricEigenOracle, CyclicJacobiAgreesWithEigen) {
  std::mt19937 rng(51);
  for (int n = 1; n <= 12; ++n)
    for (int trial = 0; trial < 10; ++trial) {
      const Mat a = random_symmetric(rng, n);
      Eigen::MatrixXd A(n, n);
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) A(i, j) = a[i * n + j];
      Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> es(A);
      std::vector<double> val(n), vec(static_cast<std::size_t>(n) * n);
      int rc = 0;
      BSeigmatvv1(n, n, a.data(), 2, val.data(), vec.data(), &rc);
      ASSERT_EQ(rc, 0);
      // Eigen answers increasing values, ours decrease.
      for (int k = 0; k < n; ++k) {
        const int e = n - 1 - k;
        EXPECT_NEAR(val[k], es.eigenvalues()(e), 1e-12) << n;
        EXPECT_NEAR(std::fabs(dot(&vec[k * n], es.eigenvectors().col(e).data(), n)), 1.0, 1e-9) << n;
      }
    }
}

TEST(SymmetricEigenOracle, ClosedFormAndJacobi3x3AgreeWithEigen) {
  std::mt19937 rng(52);
  for (int trial = 0; trial < 300; ++trial) {
    Mat a = random_symmetric(rng, 3);
    for (double &x : a) x *= 5.0;
    Eigen::Matrix3d A;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) A(i, j) = a[3 * i + j];
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> es(A);

    double values[3], vec[9];
    int count = 0, rc = 0;
    BSeig3x3(a.data(), &count, values, vec, &rc);
    ASSERT_EQ(rc, 0);
    std::vector<double> expected = {es.eigenvalues()(0), es.eigenvalues()(1), es.eigenvalues()(2)};
    std::sort(expected.begin(), expected.end(), [](double x, double y) { return std::fabs(x) > std::fabs(y); });
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(values[k], expected[k], 1e-10) << trial;
      int e = 0;
      for (int i = 1; i < 3; ++i)
        if (std::fabs(es.eigenvalues()(i) - values[k]) < std::fabs(es.eigenvalues()(e) - values[k])) e = i;
      const double len = std::sqrt(dot(vec + 3 * k, vec + 3 * k, 3));
      EXPECT_NEAR(std::fabs(dot(vec + 3 * k, es.eigenvectors().col(e).data(), 3)) / len, 1.0, 1e-9) << trial;
    }

    BSjacobmat3(a.data(), values, vec, &rc);
    ASSERT_EQ(rc, 0);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(values[k], es.eigenvalues()(2 - k), 1e-12);
      EXPECT_NEAR(std::fabs(dot(vec + 3 * k, es.eigenvectors().col(2 - k).data(), 3)), 1.0, 1e-9);
    }
  }
}

}  // namespace
