#include <cmath>
#include <numbers>

#include "tests/geometry/geometry_test_support.h"

namespace {

constexpr double kPi = std::numbers::pi;

// x M, the way the layer maps row vectors.
GVector RowTimes(const GVector& x, const GMatrix& a) {
  GVector r;
  for (int c = 0; c < 3; ++c) r[c] = x.x * a.m[0][c] + x.y * a.m[1][c] + x.z * a.m[2][c];
  return r;
}

GVector2d RowTimes(const GVector2d& x, const GMatrix2d& a) {
  return {x.x * a.m[0][0] + x.y * a.m[1][0], x.x * a.m[0][1] + x.y * a.m[1][1]};
}

void ExpectNear(const GVector& a, const GVector& b, double tol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

double MaxDifference(const GMatrix& a, const GMatrix& b) {
  double d = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) d = std::fmax(d, std::fabs(a.m[i][j] - b.m[i][j]));
  return d;
}

class Matrices : public ::testing::Test {
 protected:
  GeomLogCapture log_;
};

TEST_F(Matrices, VectorsAreLaidInRowsOrColumns) {
  const GMatrix rows(GVector(1, 2, 3), GVector(4, 5, 6), GVector(7, 8, 9), 0);
  const GMatrix cols(GVector(1, 2, 3), GVector(4, 5, 6), GVector(7, 8, 9), 1);
  EXPECT_EQ(rows.m[0][2], 3.0);
  EXPECT_EQ(cols.m[2][0], 3.0);
  EXPECT_EQ(cols.m[0][1], 4.0);
  GMatrix t;
  EXPECT_TRUE(rows.Transpose(t).IsEqual(cols));
  const GMatrix units(GUnitVector(1, 0, 0), GUnitVector(0, 1, 0), GUnitVector(0.6, 0, 0.8), 7);  // any non-zero
  EXPECT_EQ(units.m[0][2], 0.6);
  const GMatrix2d cols2(GVector2d(1, 2), GVector2d(3, 4), 1);
  EXPECT_EQ(cols2.m[0][1], 3.0);
  const GMatrix2d rows2(GUnitVector2d(0.6, 0.8), GUnitVector2d(-0.8, 0.6), 0);
  EXPECT_EQ(rows2.m[0][1], 0.8);
}

TEST_F(Matrices, RowIndexOutOfRangeAnswersTheLastRow) {
  const GMatrix a(1, 2, 3, 4, 5, 6, 7, 8, 9);
  EXPECT_EQ(a[1].y, 5.0);
  EXPECT_EQ(log_.Take(), Messages{});
  EXPECT_EQ(a[3].x, 7.0);
  EXPECT_EQ(a[-1].z, 9.0);
  const GMatrix2d b(1, 2, 3, 4);
  EXPECT_EQ(b[-1].x, 3.0);
  EXPECT_EQ(log_.Take(), (Messages{"GMatrix: index out of range", "GMatrix: index out of range",
                                   "GMatrix2d: index out of range"}));
}

TEST_F(Matrices, EqualityIsElementWiseWithinTheRelativeTolerance) {
  GMatrix a = GMatrix::Identity();
  a.m[1][2] = 1e-11;
  EXPECT_TRUE(a.IsIdentity());
  a.m[1][2] = 1e-9;
  EXPECT_FALSE(a.IsIdentity());
  EXPECT_TRUE(GMatrix(1e-11, 0, 0, 0, 0, 0, 0, 0, -1e-11).IsZero());
  EXPECT_FALSE(GMatrix::Identity().IsZero());
  GMatrix2d b = GMatrix2d::Identity();
  EXPECT_TRUE(b.IsIdentity());
  b.m[0][0] = 1 + 1e-9;
  EXPECT_FALSE(b.IsIdentity());
  EXPECT_FALSE(GMatrix2d(std::nan(""), 0, 0, 1).IsIdentity());
}

TEST_F(Matrices, DeterminantTransposeAndProductOrder) {
  const GMatrix a(2, 0, 1, 1, 3, 0, 0, 1, 4);
  EXPECT_EQ(a.Determinant(), 2 * 12 - 0 + 1 * 1);
  EXPECT_EQ(GMatrix2d(1, 2, 3, 4).Determinant(), -2.0);

  GMatrix t = a;
  t.Transpose(t);  // into itself
  EXPECT_EQ(t.m[0][1], 1.0);
  EXPECT_EQ(t.m[1][0], 0.0);
  EXPECT_EQ(t.m[2][0], 1.0);

  // A * B applies A first: x (A B) = (x A) B.
  GMatrix rot, mirror;
  GMatrix::Rotation(kPi / 2, GUnitVector(0, 0, 1), rot);
  GMatrix::Reflection(GUnitVector(1, 0, 0), mirror);
  const GVector x(1, 0, 0);
  ExpectNear(RowTimes(x, rot * mirror), GVector(0, 1, 0), 1e-15);
  ExpectNear(RowTimes(x, mirror * rot), GVector(0, -1, 0), 1e-15);

  GMatrix self = a;
  self *= self;  // into itself
  EXPECT_EQ(MaxDifference(self, a * a), 0.0);
  GMatrix2d b(1, 2, 3, 4);
  b *= b;
  EXPECT_EQ(b.m[0][0], 7.0);
  EXPECT_EQ(b.m[1][1], 22.0);
}

TEST_F(Matrices, RotationTurnsCounterClockwiseAboutTheAxisInRowForm) {
  GMatrix r;
  GMatrix::Rotation(kPi / 2, GUnitVector(0, 0, 1), r);
  ExpectNear(RowTimes({1, 0, 0}, r), {0, 1, 0}, 1e-15);
  ExpectNear(RowTimes({0, 1, 0}, r), {-1, 0, 0}, 1e-15);

  const GUnitVector axis(1, -2, 2);
  GMatrix::Rotation(0.7, axis, r);
  ExpectNear(RowTimes(axis, r), axis, 1e-15);  // the axis stays
  EXPECT_NEAR(r.Determinant(), 1.0, 1e-15);
  EXPECT_TRUE(r.IsOrthogonal());
  const GVector across(2, 1, 0);  // perpendicular to the axis: turned by the angle
  EXPECT_NEAR(GVector::Angle(across, RowTimes(across, r)), 0.7, 1e-14);
  EXPECT_EQ(log_.Take(), Messages{});

  // An out-of-range cosine is reported and still used.
  GMatrix::Rotation(1.5, 0, GUnitVector(0, 0, 1), r);
  EXPECT_EQ(r.m[0][0], 1.5);
  EXPECT_EQ(r.m[2][2], 1.0);
  EXPECT_EQ(log_.Take(), Messages{"GMatrix: abs(cosine or sine of angle) > 1.0"});
}

TEST_F(Matrices, PlaneRotationBuildsItsRowsAsUnitVectors) {
  GMatrix2d r;
  GMatrix2d::Rotation(0.6, 0.8, r);
  EXPECT_EQ(r.m[0][1], 0.8);
  EXPECT_EQ(r.m[1][0], -0.8);
  GMatrix2d::Rotation(kPi / 2, r);
  const GVector2d turned = RowTimes({1, 0}, r);
  EXPECT_NEAR(turned.x, 0.0, 1e-15);
  EXPECT_NEAR(turned.y, 1.0, 1e-15);
  EXPECT_EQ(log_.Take(), Messages{});

  GMatrix2d::Rotation(2, 0, r);  // reported, then the rows are normalised
  EXPECT_TRUE(r.IsIdentity());
  EXPECT_EQ(log_.Take(), Messages{"GMatrix2d: abs(cosine or sine of angle) > 1.0"});
  GMatrix2d::Rotation(0, 0, r);
  EXPECT_TRUE(r.IsZero());
  EXPECT_EQ(log_.Take(), (Messages{"GUnitVector2d: tried to create a NULL unit vector",
                                   "GUnitVector2d: tried to create a NULL unit vector"}));
}

TEST_F(Matrices, ReflectionsMirrorInAPlaneOrALine) {
  GMatrix m;
  GMatrix::Reflection(GUnitVector(0, 0, 1), m);
  ExpectNear(RowTimes({1, 2, 3}, m), {1, 2, -3}, 0);
  GMatrix::Reflection(GUnitVector(1, 1, 0), m);
  ExpectNear(RowTimes({1, 0, 5}, m), {0, -1, 5}, 1e-15);
  EXPECT_NEAR(m.Determinant(), -1.0, 1e-15);
  EXPECT_TRUE(m.IsOrthogonal());

  GMatrix2d m2;
  GMatrix2d::Reflection(GUnitVector2d(1, 0), m2);  // about the x axis
  const GVector2d a = RowTimes({2, 3}, m2);
  EXPECT_EQ(a.x, 2.0);
  EXPECT_EQ(a.y, -3.0);
  GMatrix2d::Reflection(GUnitVector2d(1, 1), m2);  // about the diagonal: swaps x and y
  const GVector2d b = RowTimes({2, 3}, m2);
  EXPECT_NEAR(b.x, 3.0, 1e-15);
  EXPECT_NEAR(b.y, 2.0, 1e-15);
  EXPECT_TRUE(m2.IsOrthogonal());
}

TEST_F(Matrices, OrthogonalMeansUniformScaleOne) {
  EXPECT_TRUE(GMatrix::Identity().IsOrthogonal());
  EXPECT_FALSE(GMatrix(2, 0, 0, 0, 2, 0, 0, 0, 2).IsOrthogonal());
  EXPECT_FALSE(GMatrix(1, 0, 0, 0, 1, 0, 0, 0, 1.001).IsOrthogonal());
  EXPECT_FALSE(GMatrix(1, 0, 0, 0, 1, 0, 0, 0, 0).IsOrthogonal());
  EXPECT_FALSE(GMatrix2d(1, 1, 0, 1).IsOrthogonal());  // shear
  EXPECT_TRUE(GMatrix2d(0, -1, 1, 0).IsOrthogonal());
}

TEST_F(Matrices, OrthonormalizeStepKeepsOrthogonalMatricesAndFlipsTwiceIdentity) {
  GMatrix r, out;
  int rc = -1;
  GMatrix::Rotation(0.3, GUnitVector(1, 1, 1), r);
  // Close enough to orthonormal to be handed back as it is, bit for bit.
  GMatrix exact(0, 1, 0, -1, 0, 0, 0, 0, 1);
  GMatrix::OrthonormalizeStep(exact, out, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(MaxDifference(out, exact), 0.0);

  GMatrix::OrthonormalizeStep(GMatrix(2, 0, 0, 0, 2, 0, 0, 0, 2), out, &rc);
  EXPECT_EQ(MaxDifference(out, GMatrix(-1, 0, 0, 0, -1, 0, 0, 0, -1)), 0.0);
  GMatrix2d out2;
  GMatrix2d::OrthonormalizeStep(GMatrix2d(2, 0, 0, 2), out2, &rc);
  EXPECT_TRUE(out2.IsEqual(GMatrix2d(-1, 0, 0, -1)));
  EXPECT_EQ(rc, 0);

  // One step on a scaled rotation moves its scale by s (3 - s^2) / 2 and keeps the direction.
  GMatrix scaled = r;
  for (auto& row : scaled.m)
    for (double& e : row) e *= 1.1;
  GMatrix::OrthonormalizeStep(scaled, scaled, &rc);  // into itself
  const double s = 1.1 * (3 - 1.21) / 2;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(scaled.m[i][j], s * r.m[i][j], 1e-15);
}

TEST_F(Matrices, OrthonormalizeSettlesANearlyOrthogonalMatrix) {
  GMatrix r;
  GMatrix::Rotation(1.1, GUnitVector(0.2, -0.5, 1), r);
  GMatrix noisy = r;
  const double noise[9] = {1e-8, -2e-8, 0.5e-8, 0, 1.5e-8, -1e-8, 2e-8, 0.3e-8, -0.7e-8};
  for (int k = 0; k < 9; ++k) noisy.m[k / 3][k % 3] += noise[k];

  GMatrix out;
  int rc = -1;
  GMatrix::Orthonormalize(noisy, out, &rc);
  EXPECT_EQ(rc, 0);
  double diag = 1, off = 1;
  GMatrix::OrthogonalityDeviation(out, &diag, &off);
  EXPECT_LT(diag, 1e-14);
  EXPECT_LT(off, 1e-14);
  EXPECT_LT(MaxDifference(out, r), 5e-8);

  // 2I is flipped to -I, which then stays.
  GMatrix::Orthonormalize(GMatrix(2, 0, 0, 0, 2, 0, 0, 0, 2), out, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(out.IsEqual(GMatrix(-1, 0, 0, 0, -1, 0, 0, 0, -1)));
}

TEST_F(Matrices, OrthonormalizeGivesUpAfterSixStepsAndAnswersTheInput) {
  GMatrix out(9, 9, 9, 9, 9, 9, 9, 9, 9);
  int rc = -1;
  // A small singular value grows by only half its size per step.
  const GMatrix slow(1, 0, 0, 0, 1, 0, 0, 0, 1e-3);
  GMatrix::Orthonormalize(slow, out, &rc);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(MaxDifference(out, slow), 0.0);
  // A singular value beyond the square root of 3 runs away.
  const GMatrix wild(2.5, 0, 0, 0, 1, 0, 0, 0, 1);
  GMatrix::Orthonormalize(wild, out, &rc);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(MaxDifference(out, wild), 0.0);
}

TEST_F(Matrices, OrthogonalityDeviationLooksAtTheRows) {
  const GMatrix m(1, 0, 0, -0.5, std::sqrt(0.75), 0, 0, 0, 1);
  double diag = -1, off = -1;
  GMatrix::OrthogonalityDeviation(m, &diag, &off);
  EXPECT_NEAR(diag, 0.0, 1e-15);
  EXPECT_EQ(off, 0.5);
  // Rows of length 1 and 2: only the diagonal part moves.
  GMatrix::OrthogonalityDeviation(GMatrix(1, 0, 0, 0, 2, 0, 0, 0, 1), &diag, &off);
  EXPECT_EQ(diag, 3.0);
  EXPECT_EQ(off, 0.0);
}

}  // namespace
