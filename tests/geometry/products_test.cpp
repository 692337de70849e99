// Products of points, vectors and unit vectors with matrices, transforms and 4x4 matrices: which form maps
// which way, what each kind of value takes of a transform, and the guards for null, invalid and vanishing
// results. The oracle compares transforms and 4x4 products with a peer library on random input.
#include <array>
#include <cmath>
#include <functional>
#include <numbers>

#include "tests/geometry/geometry_test_support.h"

namespace {

constexpr double kPi = std::numbers::pi;
const Messages kNone;

using Xyz = std::array<double, 3>;
Xyz V(const GPosition& p) { return {p.x, p.y, p.z}; }
Xyz V(const GVector& v) { return {v.x, v.y, v.z}; }
Xyz V(const GUnitVector& u) { return {u.x, u.y, u.z}; }
Xyz V(const GPosition2d& p) { return {p.x, p.y, 0}; }
Xyz V(const GVector2d& v) { return {v.x, v.y, 0}; }
Xyz V(const GUnitVector2d& u) { return {u.x, u.y, 0}; }

struct Product {
  const char* what;
  Xyz got, want;
};

void ExpectProducts(const std::vector<Product>& table, double tol = 1e-12) {
  for (const Product& c : table)
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(c.got[i], c.want[i], tol) << c.what << ", coordinate " << i;
}

class Products : public ::testing::Test {
 protected:
  GeomLogCapture log_;
};

TEST_F(Products, RowAndColumnFormsWithMatrices) {
  const GMatrix m(1, 2, 3, 4, 5, 6, 7, 8, 10);
  const GMatrix2d m2(1, 2, 3, 4);
  GPosition inPlace(1, 0, 2);
  inPlace *= m;
  ExpectProducts({
      {"p m", V(GPosition(1, 0, 2) * m), {15, 18, 23}},
      {"m p", V(m * GPosition(1, 0, 2)), {7, 16, 27}},
      {"v m", V(GVector(0, 1, 0) * m), {4, 5, 6}},
      {"m v", V(m * GVector(0, 1, 0)), {2, 5, 8}},
      {"p *= m is the row form", V(inPlace), {15, 18, 23}},
      {"p2 m2", V(GPosition2d(1, 1) * m2), {4, 6, 0}},
      {"m2 p2", V(m2 * GPosition2d(1, 1)), {3, 7, 0}},
      {"v2 m2", V(GVector2d(1, 0) * m2), {1, 2, 0}},
      {"m2 v2", V(m2 * GVector2d(1, 0)), {1, 3, 0}},
      // Unit vectors come out renormalised.
      {"u stretched", V(GUnitVector(1, 1, 0) * GMatrix(2, 0, 0, 0, 1, 0, 0, 0, 1)), V(GUnitVector(2, 1, 0))},
      {"m u", V(m * GUnitVector(1, 0, 0)), V(GUnitVector(1, 4, 7))},
      {"u2 m2", V(GUnitVector2d(0, 1) * m2), V(GUnitVector2d(3, 4))},
      {"m2 u2", V(m2 * GUnitVector2d(0, 1)), V(GUnitVector2d(2, 4))},
  }, 1e-15);
  EXPECT_EQ(log_.Take(), kNone);
}

// A unit vector mapped onto nothing is null; the plane's vector products (not its points) report a result that
// is no longer finite.
TEST_F(Products, GuardedResults) {
  const GMatrix2d huge(1e200, 0, 0, 1e200);
  const Messages null3{"GUnitVector: tried to create a NULL unit vector"};
  const Messages null2{"GUnitVector2d: tried to create a NULL unit vector"};
  const Messages invalid{"GVector2d does not have valid coordinates"};
  const struct {
    const char* what;
    std::function<Xyz()> product;
    bool finite;
    Messages messages;
  } cases[] = {
      {"u onto a zero matrix", [] { return V(GUnitVector(1, 2, 3) * GMatrix()); }, true, null3},
      {"zero matrix onto u2", [] { return V(GMatrix2d() * GUnitVector2d(1, 0)); }, true, null2},
      {"v2 m2 overflowing", [&] { return V(GVector2d(1e200, 1) * huge); }, false, invalid},
      {"m2 v2 overflowing", [&] { return V(huge * GVector2d(0, 1e200)); }, false, invalid},
      {"v2 not a number, in place",
       [] {
         GVector2d v(std::nan(""), 0);
         return V(v *= GMatrix2d::Identity());
       },
       false, invalid},
      {"p2 overflowing is not checked", [&] { return V(GPosition2d(1e200, 0) * huge); }, false, kNone},
  };
  for (const auto& c : cases) {
    const Xyz got = c.product();
    EXPECT_EQ(std::isfinite(got[0] + got[1]), c.finite) << c.what;
    if (c.finite) {
      EXPECT_EQ(got, (Xyz{0, 0, 0})) << c.what;
    }
    EXPECT_EQ(log_.Take(), c.messages) << c.what;
  }
}

TEST_F(Products, EachKindOfValueTakesItsPartOfATransform) {
  GTransf t;
  GTransf::Rotation(kPi / 2, GUnitVector(0, 0, 1), t);
  t.m_scaling = 2;
  t.m_translation = {10, 20, 30};
  GTransf2d t2 = GTransf2d::Rotation(kPi / 2);
  t2.m_scaling = 2;
  t2.m_translation = {10, 20};
  ExpectProducts({
      {"point: all of it", V(GPosition(1, 0, 0) * t), {10, 22, 30}},
      {"vector: no translation", V(GVector(1, 0, 0) * t), {0, 2, 0}},
      {"unit vector: the matrix alone", V(GUnitVector(1, 0, 0) * t), {0, 1, 0}},
      {"point2d", V(GPosition2d(1, 0) * t2), {10, 22, 0}},
      {"vector2d", V(GVector2d(1, 0) * t2), {0, 2, 0}},
      {"unit vector2d", V(GUnitVector2d(1, 0) * t2), {0, 1, 0}},
  });
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
  GTransf2d t2 = GTransf2d::Reflection({1, 2}, {3, 4});
  t2.m_scaling = 0.5;
  ExpectProducts({
      {"unit vector", V(GUnitVector(1, 2, 3) * t / t), V(GUnitVector(1, 2, 3))},
      {"point2d", V(GPosition2d(-1, 6) * t2 / t2), {-1, 6, 0}},
      {"vector2d", V(GVector2d(-1, 6) * t2 / t2), {-1, 6, 0}},
  });
  EXPECT_EQ(log_.Take(), kNone);

  // The plane's unit vector uses the transposed matrix without forming the inverse: no inverse messages.
  GTransf2d flat = GTransf2d::Rotation(0.3);
  flat.m_scaling = 0;
  ExpectProducts({{"unit vector2d, flat", V(GUnitVector2d(1, 0) * flat / flat), {1, 0, 0}}}, 1e-15);
  EXPECT_EQ(log_.Take(), kNone);
  const GPosition2d lost = GPosition2d(1, 1) / flat;
  EXPECT_EQ(log_.Take(),
            (Messages{"GTransf2d: transformation is not invertible", "GTransf2d: transformation scaling is 0.0"}));
  EXPECT_NEAR(lost.y, 1e30 * std::sqrt(2.0) * std::sin(kPi / 4 - 0.3), 1e16);
}

// The matrix-first form translates; the reverse form reads the translation row into the weight. In place is
// always the matrix-first form.
TEST_F(Products, FourByFourFormsAndTheirWeights) {
  G4x4 move;
  int rc = 0;
  u4x4Translate({1, 2, 3}, move, &rc);
  G4x4 proj = G4x4::Identity();
  proj.m_matrix[3] = 1;  // w = x + 1 in the matrix-first form
  proj.m_matrix[12] = 2;
  GPosition p(2, 0, 1);
  p *= move;
  GVector v(4, 5, 6);
  v *= move;
  GUnitVector u(1, 0, 0);
  u *= move;
  GPosition2d q2(1, 1);
  q2 *= move;
  ExpectProducts({
      {"m p", V(move * GPosition(2, 0, 1)), {3, 2, 4}},
      {"p m: p / (1 + t.p)", V(GPosition(2, 0, 1) * move), {2 / 6.0, 0, 1 / 6.0}},
      {"origin m", V(GPosition() * move), {0, 0, 0}},
      {"m v", V(move * GVector(4, 5, 6)), {4, 5, 6}},
      {"v m", V(GVector(4, 5, 6) * move), {4 / 33.0, 5 / 33.0, 6 / 33.0}},
      {"m u", V(move * GUnitVector(0, 1, 0)), {0, 1, 0}},
      {"m p2", V(move * GPosition2d(1, 1)), {2, 3, 0}},
      {"p2 m", V(GPosition2d(1, 1) * move), {0.25, 0.25, 0}},
      {"p *= m", V(p), {3, 2, 4}},
      {"v *= m", V(v), {4, 5, 6}},
      {"u *= m", V(u), {1, 0, 0}},
      {"p2 *= m", V(q2), {2, 3, 0}},
      {"projective m p", V(proj * GPosition(1, 2, 3)), {1.5, 1, 1.5}},
      {"projective p m", V(GPosition(1, 2, 3) * proj), {2 / 3.0, 2 / 3.0, 1}},
      {"projective m v", V(proj * GVector(1, 2, 3)), {0.5, 1, 1.5}},
      {"projective v m, without m[3]", V(GVector(1, 2, 3) * proj), {1 / 3.0, 2 / 3.0, 1}},
      {"projective m p2", V(proj * GPosition2d(1, 2)), {1.5, 1, 0}},
      {"projective p2 m", V(GPosition2d(1, 2) * proj), {2 / 3.0, 2 / 3.0, 0}},
  }, 1e-15);
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
