// Transforms, 4x4 matrices, their products with points and their inverses against Eigen on random input.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <random>

#include "geometry/geometry.h"

namespace {

using Matrix4 = Eigen::Matrix4d;
using Vector4 = Eigen::Vector4d;
using Vector3 = Eigen::Vector3d;

constexpr double kTolerance = 1e-12;
constexpr int kRounds = 200;

class Random {
 public:
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  GPosition Position() { return {Uniform(-10, 10), Uniform(-10, 10), Uniform(-10, 10)}; }

  // A similarity: random rotation, reflected half of the time, random scale of either sign and translation.
  GTransf Transform() {
    const Eigen::Quaterniond q(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1));
    Eigen::Matrix3d r = q.normalized().toRotationMatrix();
    if (Uniform(0, 1) < 0.5) r.row(2) *= -1;
    GMatrix m;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m.m[i][j] = r(i, j);
    const bool reflection = r.determinant() < 0;
    const double s = Uniform(0.2, 5) * (Uniform(0, 1) < 0.2 ? -1 : 1);
    return {m, {Uniform(-10, 10), Uniform(-10, 10), Uniform(-10, 10)}, s, !reflection, reflection, 0};
  }

  // Well conditioned: a random matrix, projective column included, plus a dominant diagonal.
  G4x4 Matrix() {
    G4x4 g;
    for (int k = 0; k < 16; ++k) g.m_matrix[k] = Uniform(-1, 1) + (k % 5 == 0 ? 4.0 : 0.0);
    return g;
  }

 private:
  std::mt19937 rng_{20240611};
};

// The layer maps row vectors: x' = s (x M) + t, which as columns is s M^T x + t.
Matrix4 Affine(const GTransf& t) {
  Matrix4 a = Matrix4::Identity();
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) a(j, i) = t.m_scaling * t.m_matrix.m[i][j];
    a(i, 3) = t.m_translation[i];
  }
  return a;
}

// m_matrix[4i + j] as row i, column j.
Matrix4 Rows(const G4x4& g) {
  Matrix4 a;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) a(i, j) = g.m_matrix[4 * i + j];
  return a;
}

Vector3 Apply(const Matrix4& a, const GPosition& p) {
  const Vector4 h = a * Vector4(p.x, p.y, p.z, 1);
  return h.head<3>() / h(3);
}

void ExpectNear(const GPosition& ours, const Vector3& theirs, double scale) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(ours[i], theirs(i), kTolerance * scale) << "coordinate " << i;
}

class ProductsOracle : public ::testing::Test {
 protected:
  Random random_;
};

TEST_F(ProductsOracle, TransformProductsAndInversesMatchAffineMatrices) {
  for (int round = 0; round < kRounds; ++round) {
    const GTransf a = random_.Transform(), b = random_.Transform();
    const GPosition p = random_.Position();
    // a * b applies a first.
    const Matrix4 product = Affine(b) * Affine(a);
    const Matrix4 oursProduct = Affine(a * b);
    EXPECT_LE((oursProduct - product).cwiseAbs().maxCoeff(), kTolerance * 100) << round;
    ExpectNear(p * (a * b), Apply(product, p), 1000);
    ExpectNear(p * a, Apply(Affine(a), p), 100);

    GTransf inverse;
    a.Inverse(inverse);
    const Matrix4 theirs = Affine(a).inverse();
    EXPECT_LE((Affine(inverse) - theirs).cwiseAbs().maxCoeff(), kTolerance * 100) << round;
    ExpectNear(p / a, Apply(theirs, p), 100);
    const GVector v(p.x, p.y, p.z);
    const Vector3 vt = theirs.topLeftCorner<3, 3>() * Vector3(v.x, v.y, v.z);
    ExpectNear(GPosition() + v / a, vt, 100);

    // The 4x4 form of a transform maps points as the transform does.
    ExpectNear(G4x4(a) * p, Apply(Affine(a), p), 100);
  }
}

TEST_F(ProductsOracle, FourByFourProductsMatchTheMatrixProduct) {
  for (int round = 0; round < kRounds; ++round) {
    const G4x4 a = random_.Matrix(), b = random_.Matrix();
    const GPosition p = random_.Position();
    // G4x4 * p treats p as a row vector; a * b is b then a.
    const Matrix4 ra = Rows(a), rb = Rows(b);
    EXPECT_LE((Rows(a * b) - rb * ra).cwiseAbs().maxCoeff(), kTolerance * 10) << round;
    const Eigen::RowVector4d row = Eigen::RowVector4d(p.x, p.y, p.z, 1) * ra;
    ExpectNear(a * p, row.head<3>().transpose() / row(3), 100);
    ExpectNear(p * a, Apply(ra, p), 100);
    const Eigen::RowVector4d rowBoth = Eigen::RowVector4d(p.x, p.y, p.z, 1) * rb * ra;
    ExpectNear((a * b) * p, rowBoth.head<3>().transpose() / rowBoth(3), 1000);
  }
}

TEST_F(ProductsOracle, FourByFourInverseMatchesLu) {
  for (int round = 0; round < kRounds; ++round) {
    const G4x4 a = random_.Matrix();
    G4x4 inverse;
    a.Inverse(inverse);
    const Matrix4 theirs = Rows(a).fullPivLu().inverse();
    EXPECT_LE((Rows(inverse) - theirs).cwiseAbs().maxCoeff(), kTolerance) << round;
    EXPECT_TRUE(a.IsInvertible());
  }
  // Affine placements built by the layer invert to the inverse transform.
  for (int round = 0; round < kRounds; ++round) {
    const GTransf t = random_.Transform();
    G4x4 inverse;
    G4x4(t).Inverse(inverse);
    GTransf back;
    t.Inverse(back);
    EXPECT_LE((Rows(inverse) - Rows(G4x4(back))).cwiseAbs().maxCoeff(), kTolerance * 10) << round;
  }
}

}  // namespace
