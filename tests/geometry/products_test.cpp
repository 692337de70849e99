#include <cmath>
#include <numbers>

#include "tests/geometry/geometry_test_support.h"

namespace {

constexpr double kPi = std::numbers::pi;
const Messages kNone;

template <typename A, typename B>
void ExpectNear3(const A& a, const B& b, double tol = 1e-12) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

template <typename A, typename B>
void ExpectNear2(const A& a, const B& b, double tol = 1e-12) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
}

class Products : public ::testing::Test {
 protected:
  GeomLogCapture log_;
  int rc_ = 0;
};

// ---------------------------------------------------------------------------------------------------------
// 3x3 and 2x2 matrices

TEST_F(Products, RowAndColumnFormsWithMatrices) {
  const GMatrix m(1, 2, 3, 4, 5, 6, 7, 8, 10);
  ExpectNear3(GPosition(1, 0, 2) * m, GPosition(15, 18, 23));
  ExpectNear3(m * GPosition(1, 0, 2), GPosition(7, 16, 27));
  ExpectNear3(GVector(0, 1, 0) * m, GVector(4, 5, 6));
  ExpectNear3(m * GVector(0, 1, 0), GVector(2, 5, 8));
  GPosition p(1, 0, 2);
  p *= m;
  ExpectNear3(p, GPosition(15, 18, 23));
  GVector v(0, 1, 0);
  v *= m;
  ExpectNear3(v, GVector(4, 5, 6));

  // Unit vectors come out renormalised.
  const GMatrix stretch(2, 0, 0, 0, 1, 0, 0, 0, 1);
  ExpectNear3(GUnitVector(1, 1, 0) * stretch, GUnitVector(2, 1, 0), 1e-15);
  ExpectNear3(m * GUnitVector(1, 0, 0), GUnitVector(1, 4, 7), 1e-15);
  GUnitVector u(0, 0, 1);
  u *= m;
  ExpectNear3(u, GUnitVector(7, 8, 10), 1e-15);

  const GMatrix2d m2(1, 2, 3, 4);
  ExpectNear2(GPosition2d(1, 1) * m2, GPosition2d(4, 6));
  ExpectNear2(m2 * GPosition2d(1, 1), GPosition2d(3, 7));
  ExpectNear2(GVector2d(1, 0) * m2, GVector2d(1, 2));
  ExpectNear2(m2 * GVector2d(1, 0), GVector2d(1, 3));
  ExpectNear2(GUnitVector2d(0, 1) * m2, GUnitVector2d(3, 4), 1e-15);
  ExpectNear2(m2 * GUnitVector2d(0, 1), GUnitVector2d(2, 4), 1e-15);
  GPosition2d q(1, 1);
  q *= m2;
  GVector2d w(1, 0);
  w *= m2;
  GUnitVector2d u2(0, 1);
  u2 *= m2;
  ExpectNear2(q, GPosition2d(4, 6));
  ExpectNear2(w, GVector2d(1, 2));
  ExpectNear2(u2, GUnitVector2d(3, 4), 1e-15);
  EXPECT_EQ(log_.Take(), kNone);
}

TEST_F(Products, UnitVectorMappedOntoNothingIsNull) {
  const GUnitVector u = GUnitVector(1, 2, 3) * GMatrix();
  EXPECT_EQ(u.x + u.y + u.z, 0.0);
  EXPECT_EQ(log_.Take(), Messages{"GUnitVector: tried to create a NULL unit vector"});
  const GUnitVector2d u2 = GMatrix2d() * GUnitVector2d(1, 0);
  EXPECT_EQ(u2.x + u2.y, 0.0);
  EXPECT_EQ(log_.Take(), Messages{"GUnitVector2d: tried to create a NULL unit vector"});
}

TEST_F(Products, PlaneVectorProductsCheckTheirResult) {
  const GMatrix2d huge(1e200, 0, 0, 1e200);
  const GVector2d v = GVector2d(1e200, 1) * huge;
  EXPECT_TRUE(std::isinf(v.x));
  EXPECT_EQ(log_.Take(), Messages{"GVector2d does not have valid coordinates"});
  GVector2d w(std::nan(""), 0);
  w *= GMatrix2d::Identity();
  const GVector2d c = huge * GVector2d(0, 1e200);
  EXPECT_TRUE(std::isinf(c.y));
  EXPECT_EQ(log_.Take(),
            (Messages{"GVector2d does not have valid coordinates", "GVector2d does not have valid coordinates"}));
  // Points are not checked.
  const GPosition2d p = GPosition2d(1e200, 0) * huge;
  EXPECT_TRUE(std::isinf(p.x));
  EXPECT_EQ(log_.Take(), kNone);
}

// ---------------------------------------------------------------------------------------------------------
// Transforms

TEST_F(Products, EachKindOfValueTakesItsPartOfATransform) {
  GTransf t;
  GTransf::Rotation(kPi / 2, GUnitVector(0, 0, 1), t);
  t.m_scaling = 2;
  t.m_translation = {10, 20, 30};
  ExpectNear3(GPosition(1, 0, 0) * t, GPosition(10, 22, 30));
  ExpectNear3(GVector(1, 0, 0) * t, GVector(0, 2, 0));
  ExpectNear3(GUnitVector(1, 0, 0) * t, GUnitVector(0, 1, 0));
  EXPECT_NEAR(GVector(GUnitVector(3, 4, 12) * t).Length(), 1.0, 1e-15);
  GPosition p(1, 0, 0);
  GVector v(1, 0, 0);
  GUnitVector u(1, 0, 0);
  p *= t;
  v *= t;
  u *= t;
  ExpectNear3(p, GPosition(10, 22, 30));
  ExpectNear3(v, GVector(0, 2, 0));
  ExpectNear3(u, GUnitVector(0, 1, 0));

  GTransf2d t2 = GTransf2d::Rotation(kPi / 2);
  t2.m_scaling = 2;
  t2.m_translation = {10, 20};
  ExpectNear2(GPosition2d(1, 0) * t2, GPosition2d(10, 22));
  ExpectNear2(GVector2d(1, 0) * t2, GVector2d(0, 2));
  ExpectNear2(GUnitVector2d(1, 0) * t2, GUnitVector2d(0, 1));
  GPosition2d p2(1, 0);
  GVector2d v2(1, 0);
  GUnitVector2d u2(1, 0);
  p2 *= t2;
  v2 *= t2;
  u2 *= t2;
  ExpectNear2(p2, GPosition2d(10, 22));
  ExpectNear2(v2, GVector2d(0, 2));
  ExpectNear2(u2, GUnitVector2d(0, 1));
  EXPECT_EQ(log_.Take(), kNone);
}

TEST_F(Products, ShearIsReportedForUnitVectorsOnly) {
  GTransf t = GTransf::Identity();
  t.m_hasShear = 1;
  GTransf2d t2 = GTransf2d::Identity();
  t2.m_hasShear = 1;
  const GVector v = GVector(1, 2, 3) * t;
  const GPosition2d p = GPosition2d(1, 2) * t2;
  EXPECT_EQ(log_.Take(), kNone);
  const GUnitVector u = GUnitVector(1, 0, 0) * t;
  const GUnitVector2d u2 = GUnitVector2d(1, 0) * t2;
  const GUnitVector2d back = GUnitVector2d(1, 0) / t2;
  EXPECT_EQ(log_.Take(),
            (Messages{"GUnitVector: multiplying by trans, trans has Shear", "GUnitVector2d: transformation has Shear",
                      "GUnitVector2d: transformation has Shear"}));
  EXPECT_EQ(v.z + p.y + u.x + u2.x + back.x, 3.0 + 2.0 + 1.0 + 1.0 + 1.0);
}

TEST_F(Products, DivisionAppliesTheInverseTransform) {
  GTransf t;
  GTransf::Rotation(0.4, GUnitVector(1, 2, 2), {1, 1, 1}, t);
  t.m_scaling = 3;
  t.m_translation += GVector(5, 0, -1);
  const GPosition p(2, -7, 4);
  ExpectNear3(p * t / t, p);
  ExpectNear3(GVector(1, 2, 3) * t / t, GVector(1, 2, 3));
  ExpectNear3(GUnitVector(1, 2, 3) * t / t, GUnitVector(1, 2, 3), 1e-15);

  GTransf2d t2 = GTransf2d::Reflection({1, 2}, {3, 4});
  t2.m_scaling = 0.5;
  ExpectNear2(GPosition2d(-1, 6) * t2 / t2, GPosition2d(-1, 6));
  ExpectNear2(GVector2d(-1, 6) * t2 / t2, GVector2d(-1, 6));
  EXPECT_EQ(log_.Take(), kNone);

  // The plane's unit vector uses the transposed matrix without forming the inverse: no inverse messages.
  GTransf2d flat = GTransf2d::Rotation(0.3);
  flat.m_scaling = 0;
  ExpectNear2(GUnitVector2d(1, 0) * flat / flat, GUnitVector2d(1, 0), 1e-15);
  EXPECT_EQ(log_.Take(), kNone);
  const GPosition2d lost = GPosition2d(1, 1) / flat;
  EXPECT_EQ(log_.Take(),
            (Messages{"GTransf2d: transformation is not invertible", "GTransf2d: transformation scaling is 0.0"}));
  EXPECT_NEAR(lost.y, 1e30 * std::sqrt(2.0) * std::sin(kPi / 4 - 0.3), 1e16);
}

// ---------------------------------------------------------------------------------------------------------
// 4x4 matrices

TEST_F(Products, TranslationMovesOnlyInTheMatrixFirstForm) {
  G4x4 m;
  u4x4Translate({1, 2, 3}, m, &rc_);
  const GPosition p(2, 0, 1);
  ExpectNear3(m * p, GPosition(3, 2, 4));
  // The reverse form reads m[12..14] into the weight: p / (1 + t . p).
  ExpectNear3(p * m, GPosition(2 / 6.0, 0, 1 / 6.0), 1e-15);
  ExpectNear3(GPosition() * m, GPosition());
  ExpectNear3(m * GVector(4, 5, 6), GVector(4, 5, 6));
  ExpectNear3(GVector(4, 5, 6) * m, GVector(4, 5, 6) / 33.0, 1e-15);
  ExpectNear3(m * GUnitVector(0, 1, 0), GUnitVector(0, 1, 0));
  ExpectNear2(m * GPosition2d(1, 1), GPosition2d(2, 3));
  ExpectNear2(GPosition2d(1, 1) * m, GPosition2d(0.25, 0.25), 1e-15);

  // In place, always the matrix-first form.
  GPosition q = p;
  q *= m;
  ExpectNear3(q, GPosition(3, 2, 4));
  GVector v(4, 5, 6);
  v *= m;
  ExpectNear3(v, GVector(4, 5, 6));
  GUnitVector u(1, 0, 0);
  u *= m;
  ExpectNear3(u, GUnitVector(1, 0, 0));
  GPosition2d q2(1, 1);
  q2 *= m;
  ExpectNear2(q2, GPosition2d(2, 3));
  EXPECT_EQ(log_.Take(), kNone);
}

TEST_F(Products, ProjectiveColumnDividesBothForms) {
  G4x4 m = G4x4::Identity();
  m.m_matrix[3] = 1;  // w = x + 1 in the matrix-first form
  m.m_matrix[12] = 2;
  ExpectNear3(m * GPosition(1, 2, 3), GPosition(3 / 2.0, 2 / 2.0, 3 / 2.0));
  ExpectNear3(GPosition(1, 2, 3) * m, GPosition(2 / 3.0, 2 / 3.0, 3 / 3.0), 1e-15);
  ExpectNear3(m * GVector(1, 2, 3), GVector(1 / 2.0, 2 / 2.0, 3 / 2.0));
  ExpectNear3(GVector(1, 2, 3) * m, GVector(1 / 3.0, 2 / 3.0, 3 / 3.0), 1e-15);  // without m[3]
  ExpectNear2(m * GPosition2d(1, 2), GPosition2d(3 / 2.0, 2 / 2.0));
  ExpectNear2(GPosition2d(1, 2) * m, GPosition2d(2 / 3.0, 2 / 3.0), 1e-15);
  EXPECT_EQ(log_.Take(), kNone);
}

TEST_F(Products, VanishingWeightIsLoggedAndReplacedBy1e30) {
  G4x4 m = G4x4::Identity();
  m.m_matrix[15] = 0;
  const GPosition p = m * GPosition(1, -2, 0);
  EXPECT_EQ(p.x, 1e30);
  EXPECT_EQ(p.y, -2e30);
  const GVector v = GVector(3, 0, 0) * m;
  EXPECT_DOUBLE_EQ(v.x, 3e30);
  const GUnitVector u = m * GUnitVector(0, 0, 1);
  EXPECT_DOUBLE_EQ(u.z, 1.0);
  const GPosition2d p2 = GPosition2d(1, 1) * m;
  EXPECT_EQ(p2.y, 1e30);
  // A tiny negative weight does not flip the signs.
  m.m_matrix[15] = -1e-17;
  EXPECT_EQ((m * GPosition(1, 0, 0)).x, 1e30);
  EXPECT_EQ(log_.Take(), (Messages{"GPosition: in multiplying G4x4, trying to divide by 0.0",
                                   "GVector: multiplying by G4x4, trying to divide by 0.0",
                                   "GVector: multiplying by G4x4, trying to divide by 0.0",
                                   "GPosition2d: in multiplying G4x4, trying to divide by 0.0",
                                   "GPosition: in multiplying G4x4, trying to divide by 0.0"}));
}

}  // namespace
