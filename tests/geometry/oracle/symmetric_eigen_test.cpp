// The Jacobi eigen solver and the uniform-scale test against Eigen's solvers on random matrices.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <random>
#include <vector>

#include "geometry/geometry.h"

namespace {

using Matrix = Eigen::MatrixXd;

struct Ours {
  std::vector<double> d, v;
};

Ours Solve(const Matrix& a) {
  const int n = static_cast<int>(a.rows());
  std::vector<double> rowMajor(n * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) rowMajor[i * n + j] = a(i, j);
  Ours out{std::vector<double>(n), std::vector<double>(n * n)};
  int rc = -1;
  SymmetricEigen(n, n, rowMajor.data(), 2, out.d.data(), out.v.data(), &rc);
  EXPECT_EQ(rc, 0);
  return out;
}

Matrix RandomSymmetric(std::mt19937& rng, int n) {
  std::uniform_real_distribution<double> u(-10, 10);
  Matrix a(n, n);
  for (int i = 0; i < n; ++i)
    for (int j = i; j < n; ++j) a(i, j) = a(j, i) = u(rng);
  return a;
}

// Q diag(values) Q^T with a random orthogonal Q: lets the test choose repeated eigenvalues.
Matrix WithEigenvalues(std::mt19937& rng, const std::vector<double>& values) {
  const int n = static_cast<int>(values.size());
  const Matrix q = Eigen::HouseholderQR<Matrix>(RandomSymmetric(rng, n)).householderQ();
  Eigen::VectorXd diag(n);
  for (int i = 0; i < n; ++i) diag(i) = values[i];
  return q * diag.asDiagonal() * q.transpose();
}

// Eigen answers ascending; ours descending. Distinct eigenvalues have one eigenvector up to its sign.
void CompareWithEigen(const Matrix& a, bool distinct) {
  const int n = static_cast<int>(a.rows());
  const Ours ours = Solve(a);
  Eigen::SelfAdjointEigenSolver<Matrix> oracle(a);
  ASSERT_EQ(oracle.info(), Eigen::Success);
  const double scale = std::max(1.0, a.cwiseAbs().maxCoeff());
  for (int i = 0; i < n; ++i) {
    const int k = n - 1 - i;
    EXPECT_NEAR(ours.d[i], oracle.eigenvalues()(k), 1e-12 * scale) << "eigenvalue " << i;
    Eigen::VectorXd v(n);
    for (int c = 0; c < n; ++c) v(c) = ours.v[i * n + c];
    EXPECT_NEAR(v.norm(), 1.0, 1e-13);
    EXPECT_LT((a * v - ours.d[i] * v).norm(), 1e-11 * scale) << "eigenvector " << i;
    if (distinct) {
      EXPECT_NEAR(std::fabs(v.dot(oracle.eigenvectors().col(k))), 1.0, 1e-9) << "eigenvector " << i;
    }
  }
}

TEST(SymmetricEigenOracle, RandomMatricesAgreeWithEigen) {
  std::mt19937 rng(20240611);
  for (int n = 2; n <= 10; ++n) {
    for (int trial = 0; trial < 40; ++trial) {
      SCOPED_TRACE(::testing::Message() << "n " << n << " trial " << trial);
      const Matrix a = RandomSymmetric(rng, n);
      Eigen::SelfAdjointEigenSolver<Matrix> check(a);
      double gap = 1e300;
      for (int i = 0; i + 1 < n; ++i) gap = std::min(gap, check.eigenvalues()(i + 1) - check.eigenvalues()(i));
      CompareWithEigen(a, gap > 1e-3);
    }
  }
}

TEST(SymmetricEigenOracle, RepeatedAndSpreadEigenvalues) {
  std::mt19937 rng(7);
  const std::vector<std::vector<double>> eigenvalueSets = {
      {5, 5, -1}, {2, 2, 2}, {1e6, 1, 1e-6}, {-3, -3, 4, 4}, {0, 0, 1}, {1e-9, 2e-9, -5e-9}};
  for (const auto& values : eigenvalueSets) {
    for (int trial = 0; trial < 10; ++trial) CompareWithEigen(WithEigenvalues(rng, values), false);
  }
}

TEST(UniformScaleOracle, AgreesWithTheSingularValues) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int trial = 0; trial < 200; ++trial) {
    const int n = 2 + trial % 2;
    Matrix a(n, n);
    if (trial % 4 < 2) {
      // A scaled rotation or reflection: uniform.
      a = Eigen::HouseholderQR<Matrix>(RandomSymmetric(rng, n)).householderQ();
      a *= std::fabs(u(rng)) + 0.1;
    } else {
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) a(i, j) = u(rng);
    }
    std::vector<double> rowMajor(n * n);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) rowMajor[i * n + j] = a(i, j);
    int uniform = -1, rc = -1;
    double scale = 0;
    IsUniformScale(rowMajor.data(), n, &uniform, &scale, &rc);

    const Eigen::VectorXd sv = Eigen::JacobiSVD<Matrix>(a).singularValues();
    const bool expectUniform = (sv.maxCoeff() - sv.minCoeff()) / sv.mean() <= 1e-10;
    EXPECT_EQ(uniform, expectUniform ? 1 : 0) << "trial " << trial;
    EXPECT_NEAR(scale, sv.mean(), 1e-12 * sv.mean()) << "trial " << trial;
  }
}

}  // namespace
