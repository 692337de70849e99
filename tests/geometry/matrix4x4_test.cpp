#include <cmath>
#include <cstring>
#include <numbers>

#include "tests/geometry/geometry_test_support.h"

namespace {

constexpr double kPi = std::numbers::pi;
const GUnitVector kX(1, 0, 0), kY(0, 1, 0), kZ(0, 0, 1);
const Messages kNone;
const Messages kBadCosSin{"u4x4: rotation cosine and sine invalid", "(unprefixed) "};  // the message ends a line

G4x4 Matrix(std::initializer_list<double> values) {
  G4x4 m;
  int k = 0;
  for (double v : values) m.m_matrix[k++] = v;
  return m;
}

class Matrix4x4 : public ::testing::Test {
 protected:
  GeomLogCapture log_;
  int rc_ = -1;
};

// The order of 4x4 products is compared with a peer library by the oracle; a transform operand is taken as its
// 4x4 form, on either side.
TEST_F(Matrix4x4, ProductWithATransformUsesItsFourByFour) {
  G4x4 scale, move;
  u4x4ScaleUniform(3, scale, &rc_);
  EXPECT_EQ(rc_, 0);
  u4x4Translate({1, 2, 3}, move, &rc_);
  EXPECT_EQ(rc_, 0);
  GTransf t;
  GTransf::Translation({1, 2, 3}, t);
  EXPECT_TRUE((scale * t).IsEqual(scale * move));
  EXPECT_TRUE((t * scale).IsEqual(move * scale));
  EXPECT_FALSE((scale * move).IsEqual(move * scale));
  EXPECT_EQ(log_.Take(), kNone);
}

TEST_F(Matrix4x4, TransformConversionScalesTheMatrixAndDropsTheFlags) {
  GTransf t;
  GTransf::Reflection(GUnitVector(1, 2, 2), {1, 0, 0}, t);
  t.m_scaling = -2;
  const G4x4 m(t);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(m.m_matrix[4 * r + c], -2 * t.m_matrix.m[r][c]);
    EXPECT_EQ(m.m_matrix[4 * r + 3], 0.0);
    EXPECT_EQ(m.m_matrix[12 + r], t.m_translation[r]);
  }
  EXPECT_EQ(m.m_matrix[15], 1.0);
  ExpectNear(m * GPosition(3, -1, 2), GPosition(3, -1, 2) * t);
  EXPECT_TRUE(G4x4::Identity().IsEqual(G4x4(GTransf::Identity())));
}

TEST_F(Matrix4x4, EqualityDividesByTheWeight) {
  G4x4 a;
  u4x4RotateAngleAtPoint(0.3, GUnitVector(1, 1, 1), {1, 2, 3}, a, &rc_);
  G4x4 twice = a;
  for (double& v : twice.m_matrix) v *= 2;
  EXPECT_TRUE(a.IsEqual(twice));
  twice.m_matrix[13] += 1e-9;
  EXPECT_FALSE(a.IsEqual(twice));
  G4x4 zeroWeight = a;
  zeroWeight.m_matrix[15] = 0;
  EXPECT_FALSE(zeroWeight.IsEqual(zeroWeight));
}

TEST_F(Matrix4x4, InvertibilityAndOrientationComeFromTheLinearPart) {
  G4x4 m;
  u4x4Scale(1e-4, 1e-3, 1e-3, m, &rc_);  // determinant 1e-10, above 1e-30
  EXPECT_TRUE(m.IsInvertible());
  EXPECT_TRUE(m.HasRotation());
  EXPECT_FALSE(m.HasReflection());
  u4x4Scale(1e-11, 1e-10, 1e-10, m, &rc_);
  EXPECT_FALSE(m.IsNonSingular());
  u4x4Scale(2, -1, 1, m, &rc_);
  EXPECT_TRUE(m.IsNonSingular());
  EXPECT_TRUE(m.HasReflection());
  EXPECT_FALSE(m.HasRotation());
  u4x4Scale(1, 0, 1, m, &rc_);  // singular: both
  EXPECT_TRUE(m.HasReflection());
  EXPECT_TRUE(m.HasRotation());
  u4x4Scale(1e-11, 1, 1, m, &rc_);  // first row too short to judge: neither
  EXPECT_FALSE(m.HasReflection());
  EXPECT_FALSE(m.HasRotation());
}

TEST_F(Matrix4x4, InverseOfAPermutationIsItsTransposeExactly) {
  const G4x4 p = Matrix({0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0});
  G4x4 inverse;
  p.Inverse(inverse);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(inverse.m_matrix[4 * i + j], p.m_matrix[4 * j + i]) << i << j;
  EXPECT_EQ(log_.Take(), kNone);
}

TEST_F(Matrix4x4, InverseOfASingularMatrixIsLogged) {
  const G4x4 m = Matrix({1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8, 9, 1, 2, 3});
  EXPECT_FALSE(G4x4().IsInvertible());
  G4x4 inverse;
  m.Inverse(inverse);
  const Messages messages = log_.Take();
  ASSERT_FALSE(messages.empty());
  for (const std::string& line : messages) EXPECT_EQ(line, "Can't find inverse since the g4x4 is singular");
}

// ---------------------------------------------------------------------------------------------------------
// Builders

TEST_F(Matrix4x4, RotationBuildersRefuseAnInvalidCosineAndSine) {
  G4x4 m = Matrix({9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
  const G4x4 before = m;
  u4x4RotateCosSin(0.6, 0.7, kZ, m, &rc_);
  EXPECT_EQ(rc_, 2);
  EXPECT_EQ(log_.Take(), kBadCosSin);
  u4x4RotateCosSinAtPoint(1.0, 0.1, kZ, {1, 1, 1}, m, &rc_);
  EXPECT_EQ(rc_, 2);
  EXPECT_EQ(log_.Take(), kBadCosSin);
  EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
}

TEST_F(Matrix4x4, RotationAndMirrorBuildersCheckTheirAxisAndGoOn) {
  GUnitVector loose;
  loose.z = 2;  // stored as it is, not normalised
  G4x4 m;
  u4x4RotateAngle(0.5, loose, m, &rc_);
  EXPECT_EQ(rc_, 0);
  u4x4Mirror(GUnitVector(), m, &rc_);
  EXPECT_EQ(rc_, 0);
  EXPECT_TRUE(m.IsEqual(G4x4::Identity()));  // I - 2 n n^T with n = 0
  EXPECT_EQ(log_.Take(),
            (Messages{"GUnitVector: vector is not a unit vector", "GUnitVector: using a NULL unit vector"}));
}

// Each builder by the image of a point, in the matrix-first form; the "at point" forms keep their point.
TEST_F(Matrix4x4, BuildersMapPointsAsNamed) {
  using Build = void (*)(G4x4&, int*);
  const struct {
    const char* what;
    GPosition from, to;
    Build build;
  } cases[] = {
      {"rotate by cosine and sine", {1, 0, 0}, {0.6, 0.8, 0},
       [](G4x4& m, int* rc) { u4x4RotateCosSin(0.6, 0.8, kZ, m, rc); }},
      {"rotate by cosine and sine at a point", {3, 4, 5}, {3, 4, 5},
       [](G4x4& m, int* rc) { u4x4RotateCosSinAtPoint(0, 1, GUnitVector(1, 1, 0), {3, 4, 5}, m, rc); }},
      {"rotate by an angle at a point", {3, 9, 5}, {3, 9, 5},
       [](G4x4& m, int* rc) { u4x4RotateAngleAtPoint(1.2, kY, {3, 4, 5}, m, rc); }},
      {"mirror", {1, 2, 3}, {1, 2, -3}, [](G4x4& m, int* rc) { u4x4Mirror(kZ, m, rc); }},
      {"mirror at a point", {1, 2, 3}, {1, 2, -1}, [](G4x4& m, int* rc) { u4x4MirrorAtPoint(kZ, {0, 0, 1}, m, rc); }},
      {"translate", {0, 0, 0}, {1, 2, 3}, [](G4x4& m, int* rc) { u4x4Translate({1, 2, 3}, m, rc); }},
      {"scale at a point", {2, 1, 1}, {3, 1, 1},
       [](G4x4& m, int* rc) { u4x4ScaleAtPoint(2, 2, 2, {1, 1, 1}, m, rc); }},
      {"scale unevenly at a point", {3, 3, 3}, {5, 1, -1},
       [](G4x4& m, int* rc) { u4x4ScaleAtPoint(2, 0, -1, {1, 1, 1}, m, rc); }},
      {"scale uniformly at a point", {2, 2, 3}, {-2, 2, 3},
       [](G4x4& m, int* rc) { u4x4ScaleUniformAtPoint(-3, {1, 2, 3}, m, rc); }},
  };
  for (const auto& c : cases) {
    G4x4 m;
    int rc = -1;
    c.build(m, &rc);
    EXPECT_EQ(rc, 0) << c.what;
    const GPosition got = m * c.from;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], c.to[i], 1e-12) << c.what << ", coordinate " << i;
  }
  G4x4 m;
  u4x4Mirror(kZ, m, &rc_);
  EXPECT_TRUE(m.HasReflection());
  u4x4Scale(2, 3, 4, m, &rc_);
  EXPECT_EQ(rc_, 0);
  const G4x4 diagonal = Matrix({2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1});
  EXPECT_EQ(std::memcmp(&m, &diagonal, sizeof m), 0);
  EXPECT_EQ(log_.Take(), kNone);
}

TEST_F(Matrix4x4, AxesBuildTheFrameOrRefuseParallelAxes) {
  G4x4 m;
  u4x4Axes({}, kX, GUnitVector(1, 1, 0), m, &rc_);
  EXPECT_EQ(rc_, 0);
  EXPECT_TRUE(m.IsEqual(G4x4::Identity()));
  u4x4Axes({1, 2, 3}, kY, GUnitVector(0, 1, 1), m, &rc_);
  ExpectNear(m * GPosition(1, 1, 1), {1 + 1, 2 + 1, 3 + 1});  // rows y, z, x
  ExpectNear(m * GPosition(1, 0, 0), {1, 3, 3});
  const G4x4 before = m;
  u4x4Axes({}, kX, GUnitVector(-1, 0, 0), m, &rc_);
  EXPECT_EQ(rc_, 2);
  u4x4Axes({}, kX, kX, m, &rc_);
  EXPECT_EQ(rc_, 2);
  EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
  EXPECT_EQ(log_.Take(), (Messages{"u4x4: new axis vectors are collinear", "(unprefixed) ",
                                   "u4x4: new axis vectors are collinear", "(unprefixed) "}));
}

TEST_F(Matrix4x4, CheckReportsEachNonAffineEntry) {
  G4x4 m = G4x4::Identity();
  m.m_matrix[15] = 1 + 1e-11;
  Check4x4(&m);
  EXPECT_EQ(log_.Take(), kNone);
  m.m_matrix[15] = 1 + 1e-9;
  m.m_matrix[3] = -1e-9;
  m.m_matrix[11] = std::nan("");  // not reported: a NaN is not greater than the tolerance
  Check4x4(&m);
  EXPECT_EQ(log_.Take(), (Messages{"G4x4: m_matrix[3] is not 0", "G4x4: m_matrix[15] is not 1"}));
  m.m_matrix[7] = 1;
  m.m_matrix[11] = 0;
  m.m_matrix[3] = 0;
  m.m_matrix[15] = 1;
  Check4x4(&m);
  EXPECT_EQ(log_.Take(), Messages{"G4x4: m_matrix[7] is not 0"});
}

// ---------------------------------------------------------------------------------------------------------
// Perpendicular directions

TEST_F(Matrix4x4, PerpendicularStartsFromTheSmallestComponent) {
  const GUnitVector a = GUnitVector::Perpendicular({0, 0, 1});
  EXPECT_EQ(a.x, 1.0);
  EXPECT_EQ(a.y + a.z, 0.0);
  // A tie goes to the first axis: (1, 1, 1) starts from x.
  const GUnitVector b = GUnitVector::Perpendicular({1, 1, 1});
  EXPECT_NEAR(b.x, 2 / std::sqrt(6.0), 1e-15);
  EXPECT_NEAR(b.y, -1 / std::sqrt(6.0), 1e-15);
  const GUnitVector c = GUnitVector::Perpendicular({3, -0.5, 2});
  EXPECT_NEAR(GVector::Dot(c, GVector(3, -0.5, 2)), 0, 1e-15);
  EXPECT_GT(c.y, 0.9);

  GVector v(3, 4, 5);
  GVector::MakePerpendicular(kZ, v);
  EXPECT_TRUE(v.IsEqual(GVector(3, 4, 0) * (std::sqrt(50.0) / 5)));
  GVector along(0, 0, -2);
  GVector::MakePerpendicular(kZ, along);
  EXPECT_TRUE(along.IsEqual({2, 0, 0}));

  GUnitVector u = GUnitVector(1, 1, 0);
  GUnitVector::MakePerpendicular({0, 10, 0}, u);
  EXPECT_TRUE(u.IsEqual(kX));
  // The tolerance applies to u's own part, however short a is: 1e-5 across a is kept, with its sign.
  u = GUnitVector(-1e-5, 1, 0);
  GUnitVector::MakePerpendicular({0, 1e-3, 0}, u);
  EXPECT_TRUE(u.IsEqual(GUnitVector(-1, 0, 0)));
  u = GUnitVector(-1e-7, 1, 0);
  GUnitVector::MakePerpendicular({0, 1e3, 0}, u);
  EXPECT_TRUE(u.IsEqual(kX));  // within the tolerance: Perpendicular of a
  EXPECT_EQ(log_.Take(), kNone);
}

}  // namespace
