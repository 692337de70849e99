#include <cmath>
#include <cstring>
#include <numbers>

#include "tests/geometry/geometry_test_support.h"

namespace {

constexpr double kPi = std::numbers::pi;

class Vectors : public ::testing::Test {
 protected:
  GeomLogCapture log_;
};

const Messages kNoMessage;
const Messages kNull2d{"GUnitVector2d: tried to create a NULL unit vector"};
const Messages kNull3d{"GUnitVector: tried to create a NULL unit vector"};

// ---------------------------------------------------------------------------------------------------------
// Unit vectors

// Inside the band a unit vector is kept bit for bit, outside it is divided by its length, at or below the null
// limit it is zero with a message. With a tolerance it answers a code: the plane's form has a narrow band and
// takes a length equal to the tolerance as not null, the space's form a wide band and that length as null.
TEST_F(Vectors, UnitVectorConstruction) {
  constexpr double kNoTolerance = -1;
  const struct {
    const char* what;
    bool plane;
    GVector in;
    double tolerance;
    GVector want;
    int rc;
    Messages messages;
  } cases[] = {
      {"2d in the band", true, {1 + 1e-15, 0, 0}, kNoTolerance, {1 + 1e-15, 0, 0}, 0, kNoMessage},
      {"3d in the band", false, {1 + 1e-15, 0, 0}, kNoTolerance, {1 + 1e-15, 0, 0}, 0, kNoMessage},
      {"3d at the band's edge", false, {std::sqrt(kGeomUnitBandHigh), 0, 0}, kNoTolerance,
       {std::sqrt(kGeomUnitBandHigh), 0, 0}, 0, kNoMessage},
      {"2d outside", true, {3, 4, 0}, kNoTolerance, {0.6, 0.8, 0}, 0, kNoMessage},
      {"3d just below the band", false, {0.99999999999999, 0, 0}, kNoTolerance, {1, 0, 0}, 0, kNoMessage},
      {"3d tiny, above the null limit", false, {2e-14, 0, 0}, kNoTolerance, {1, 0, 0}, 0, kNoMessage},
      {"3d outside", false, {1, 2, 2}, kNoTolerance, {1 / 3.0, 2 / 3.0, 2 / 3.0}, 0, kNoMessage},
      {"2d null", true, {1e-15, 0, 0}, kNoTolerance, {0, 0, 0}, 0, kNull2d},
      {"3d zero", false, {0, 0, 0}, kNoTolerance, {0, 0, 0}, 0, kNull3d},
      {"3d null", false, {1e-15, 0, 0}, kNoTolerance, {0, 0, 0}, 0, kNull3d},
      {"3d at the null limit", false, {kGeomNullLimit, 0, 0}, kNoTolerance, {0, 0, 0}, 0, kNull3d},
      {"2d narrow band with a tolerance", true, {1 + 1e-15, 0, 0}, 1e-3, {1, 0, 0}, 0, kNoMessage},
      {"2d length at the tolerance", true, {1e-3, 0, 0}, 1e-3, {1, 0, 0}, 0, kNoMessage},
      {"2d below the tolerance", true, {5e-4, 0, 0}, 1e-3, {0, 0, 0}, 2, kNull2d},
      {"3d wide band with a tolerance", false, {1 + 1e-15, 0, 0}, 1e-3, {1 + 1e-15, 0, 0}, 0, kNoMessage},
      {"3d length at the tolerance", false, {0, 1e-3, 0}, 1e-3, {0, 0, 0}, 2, kNull3d},
      {"3d below the tolerance", false, {0, 0, 5e-4}, 1e-3, {0, 0, 0}, 2, kNull3d},
      {"3d above the tolerance", false, {0, 0, 2e-3}, 1e-3, {0, 0, 1}, 0, kNoMessage},
  };
  for (const auto& c : cases) {
    int rc = -1;
    GVector got;
    if (c.plane && c.tolerance < 0) {
      got = GVector2d(GUnitVector2d(c.in.x, c.in.y));
    } else if (c.plane) {
      got = GVector2d(GUnitVector2d(c.in.x, c.in.y, c.tolerance, &rc));
    } else if (c.tolerance < 0) {
      got = GUnitVector(c.in.x, c.in.y, c.in.z);
    } else {
      got = GUnitVector(c.in.x, c.in.y, c.in.z, c.tolerance, &rc);
    }
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], c.want[i], 2.5e-16) << c.what << ", coordinate " << i;
    if (c.tolerance >= 0) {
      EXPECT_EQ(rc, c.rc) << c.what;
    }
    EXPECT_EQ(log_.Take(), c.messages) << c.what;
  }
}

TEST_F(Vectors, UnitVectorArithmeticRenormalises) {
  GUnitVector u(1, 0, 0);
  u += GVector(0, 1, 0);
  EXPECT_DOUBLE_EQ(u.x, std::sqrt(0.5));
  EXPECT_DOUBLE_EQ(u.y, std::sqrt(0.5));
  u -= GVector(u);
  EXPECT_EQ(GVector(u).Length(), 0.0);
  EXPECT_EQ(log_.Take(), kNull3d);

  GUnitVector2d w(0, 1);
  w -= GVector2d(0, 3);
  EXPECT_EQ(w.y, -1.0);

  const GUnitVector fromTo(GPosition(1, 1, 1), GPosition(1, 1, 4));
  EXPECT_EQ(fromTo.z, 1.0);
  // From 2D the components are taken as they are, even when they do not form a unit vector.
  GUnitVector2d raw;
  raw.x = 3;
  EXPECT_EQ(GUnitVector(raw).x, 3.0);
  EXPECT_EQ(log_.Take(), kNoMessage);
}

TEST_F(Vectors, UnitVectorNullAndEqualityUseTheirOwnTolerances) {
  GUnitVector u;
  u.x = 9e-7;
  EXPECT_TRUE(u.IsNull());  // every component below the distance tolerance
  u.x = 1e-6;
  EXPECT_FALSE(u.IsNull());
  // Directions compare with the relative tolerance.
  GUnitVector a(1, 0, 0), b(1, 0, 0);
  b.y = 1e-9;
  EXPECT_FALSE(a.IsEqual(b));
  b.y = 1e-11;
  EXPECT_TRUE(a.IsEqual(b));
}

// ---------------------------------------------------------------------------------------------------------
// Null tests, angles, parallel and perpendicular

TEST_F(Vectors, NullVectorNeedsSmallComponentsAndASmallLength) {
  EXPECT_TRUE(GVector(1e-14, 0, 0).IsNull());
  EXPECT_FALSE(GVector(1e-14, 1e-14, 1e-14).IsNull());  // 3e-28 exceeds the squared limit
  EXPECT_FALSE(GVector(2e-14, 0, 0).IsNull());
  EXPECT_TRUE(GVector2d(1e-14, 0).IsNull());
  EXPECT_FALSE(GVector2d(1e-14, 1e-14).IsNull());
  EXPECT_TRUE(GVector(0.1, 0.1, 0).IsNull(0.2));
  EXPECT_FALSE(GVector(0.15, 0.15, 0).IsNull(0.2));
  EXPECT_TRUE(GVector2d(-0.2, 0).IsNull(0.2));
  EXPECT_FALSE(GVector2d(std::nan(""), 0).IsNull());
}

TEST_F(Vectors, PlaneAngleIsSignedAndZeroWithANullVector) {
  EXPECT_DOUBLE_EQ(GVector2d::Angle({1, 0}, {0, 1}), kPi / 2);
  EXPECT_DOUBLE_EQ(GVector2d::Angle({0, 1}, {1, 0}), -kPi / 2);
  EXPECT_DOUBLE_EQ(GVector2d::Angle({1, 0}, {-1, 0}), kPi);
  EXPECT_DOUBLE_EQ(GVector2d::Angle({2, 2}, {-3, 0}), 3 * kPi / 4);
  EXPECT_EQ(GVector2d::Angle({0, 0}, {1, 0}), 0.0);
  EXPECT_EQ(GVector2d::Angle({1, 0}, {1e-15, 0}), 0.0);
  EXPECT_EQ(log_.Take(), kNoMessage);
}

TEST_F(Vectors, SpaceAngleIsUnsigned) {
  EXPECT_DOUBLE_EQ(GVector::Angle({1, 0, 0}, {-1, 0, 0}), kPi);
  EXPECT_DOUBLE_EQ(GVector::Angle({1, 0, 0}, {0, 1, 0}), kPi / 2);
  EXPECT_DOUBLE_EQ(GVector::Angle({0, 1, 0}, {1, 0, 0}), kPi / 2);
  EXPECT_DOUBLE_EQ(GVector::Angle({1, 0, 0}, {1, 1, 0}), kPi / 4);
  EXPECT_EQ(GVector::Angle({3, 4, 5}, {0, 0, 0}), 0.0);
}

TEST_F(Vectors, ParallelAndPerpendicularCompareDirections) {
  EXPECT_TRUE(GVector(2, 0, 0).IsParallel({-5, 0, 0}));
  EXPECT_FALSE(GVector(1, 0, 0).IsParallel({1, 1e-9, 0}));
  EXPECT_TRUE(GVector(1, 0, 0).IsParallel({1, 1e-11, 0}));
  EXPECT_TRUE(GVector(0, 0, 3).IsPerpendicular({1, 1, 0}));
  EXPECT_FALSE(GVector(0, 0, 3).IsPerpendicular({1, 1, 1}));
  EXPECT_TRUE(GVector2d(1, 1).IsParallel({-2, -2}));
  EXPECT_FALSE(GVector2d(1, 1).IsParallel({1, 0}));
  EXPECT_TRUE(GVector2d(1, 1).IsPerpendicular({-1, 1}));
  EXPECT_TRUE(GUnitVector(0, 1, 0).IsParallel({0, -7, 0}));
  EXPECT_TRUE(GUnitVector(0, 1, 0).IsPerpendicular({7, 0, 0}));
  EXPECT_EQ(log_.Take(), kNoMessage);

  // A null operand becomes (0, 0, 0): parallel and perpendicular to anything, after the message.
  EXPECT_TRUE(GVector(0, 0, 0).IsParallel({1, 2, 3}));
  EXPECT_TRUE(GVector(1, 2, 3).IsPerpendicular({0, 0, 0}));
  EXPECT_EQ(log_.Take(), (Messages{kNull3d[0], kNull3d[0]}));
  EXPECT_TRUE(GVector2d(0, 0).IsPerpendicular({1, 0}));
  EXPECT_EQ(log_.Take(), kNull2d);
}

TEST_F(Vectors, PerpendicularTurnsAQuarterCounterClockwise) {
  const GUnitVector2d p = GVector2d::Perpendicular({3, 0});
  EXPECT_EQ(p.x, 0.0);
  EXPECT_EQ(p.y, 1.0);
  const GUnitVector2d q = GVector2d::Perpendicular({0, -2});
  EXPECT_EQ(q.x, 1.0);
  EXPECT_EQ(log_.Take(), kNoMessage);
  const GUnitVector2d n = GVector2d::Perpendicular({0, 0});
  EXPECT_EQ(n.x + n.y, 0.0);
  EXPECT_EQ(log_.Take(), kNull2d);
}

// ---------------------------------------------------------------------------------------------------------
// Division, indexing, conversions

TEST_F(Vectors, DivisionByZeroGivesSignedInfinities) {
  const GVector2d v2 = GVector2d(2, 0) / 0.0;
  EXPECT_EQ(v2.x, 1e30);
  EXPECT_EQ(v2.y, -1e30);
  EXPECT_EQ(log_.Take(), Messages{"GVector2d: trying to divide by 0.0"});
  GVector v3(1, 0, -2);
  v3 /= 1e-16;
  EXPECT_EQ(v3.x, 1e30);
  EXPECT_EQ(v3.y, -1e30);
  EXPECT_EQ(v3.z, -1e30);
  EXPECT_EQ(log_.Take(), Messages{"GVector: trying to divide by 0.0"});

  // The guard is strict: 2^-52 itself is a divisor.
  const GVector fine = GVector(1, 0, 0) / kGeomDivideGuard;
  EXPECT_EQ(fine.x, 1.0 / kGeomDivideGuard);
  EXPECT_EQ(log_.Take(), kNoMessage);
}

TEST_F(Vectors, IndexOutOfRangeAnswersTheLastComponent) {
  GPosition p(1, 2, 3);
  EXPECT_EQ(p[0], 1.0);
  EXPECT_EQ(p[2], 3.0);
  EXPECT_EQ(log_.Take(), kNoMessage);
  EXPECT_EQ(p[3], 3.0);
  p[-1] = 9;  // the writable form hands out z
  EXPECT_EQ(p.z, 9.0);
  EXPECT_EQ(log_.Take(), (Messages{"GPosition: index out of bounds", "GPosition: index out of bounds"}));

  GVector v(1, 2, 3);
  const GUnitVector u(0, 0, 1);
  GVector2d v2(4, 5);
  const GUnitVector2d u2(0, 1);
  const GPosition2d p2(6, 7);
  EXPECT_EQ(v[5], 3.0);
  EXPECT_EQ(u[5], 1.0);
  EXPECT_EQ(v2[2], 5.0);
  EXPECT_EQ(u2[-1], 1.0);
  EXPECT_EQ(p2[2], 7.0);
  EXPECT_EQ(log_.Take(), (Messages{"GVector: index is out of range", "GVector: index is out of range",
                                   "GVector2d: index is out of range", "GVector2d: index is out of range",
                                   "GPosition2d: index out of bounds"}));
}

TEST_F(Vectors, ConversionsToThePlaneLogAZAndConvertAnyway) {
  GPosition2d out;
  GPosition(1, 2, 1e-6).Convert2d(out);
  EXPECT_EQ(out.x, 1.0);
  EXPECT_EQ(log_.Take(), kNoMessage);

  const GPosition2d byValue = GPosition(3, 4, 0.5).Convert2d();
  EXPECT_EQ(byValue.y, 4.0);
  GVector2d v2;
  EXPECT_EQ(&GVector(5, 6, -1).Convert2d(v2), &v2);
  EXPECT_EQ(v2.x, 5.0);
  GUnitVector2d u2;
  GUnitVector(0.6, 0, 0.8).Convert2d(u2);  // renormalised in the plane
  EXPECT_EQ(u2.x, 1.0);
  EXPECT_EQ(log_.Take(), (Messages{"Convert2d: GPosition z coordinate > distanceTolerance",
                                   "Convert2d: Gvector z coordinate greater 0.0",
                                   "Convert2d: GUnitvector z coordinate greater 0.0"}));

  const GPosition lifted = GPosition2d(1, 2);
  EXPECT_EQ(lifted.z, 0.0);
}

// ---------------------------------------------------------------------------------------------------------
// Points

TEST_F(Vectors, PointsAreEqualWithinTheDistanceTolerance) {
  EXPECT_TRUE(GPosition(0, 0, 0).IsEqual({1e-6, 0, 0}));
  EXPECT_FALSE(GPosition(0, 0, 0).IsEqual({1.1e-6, 0, 0}));
  EXPECT_TRUE(GPosition2d(0, 0).IsEqual({6e-7, 6e-7}) == (6e-7 * 6e-7 * 2 <= 1e-12));
  EXPECT_FALSE(GPosition2d(5, 5).IsEqual({5, 5.0000011}));
  EXPECT_TRUE(GVector(1, 1, 1).IsEqual({1, 1, 1 + 5e-7}));
  EXPECT_FALSE(GVector2d(1, 1).IsEqual({1, 1 + 2e-6}));

  EXPECT_TRUE(GPosition(1e30, 1e30, 1e30).IsInfinite());
  EXPECT_FALSE(GPosition(1e30, 1e30, 0).IsInfinite());
  EXPECT_TRUE(GPosition2d(1e30, 1e30).IsInfinite());
  EXPECT_FALSE(GPosition2d(1e30, -1e30).IsInfinite());

  // The tolerance is read at each call.
  int rc = 0;
  SetDistanceTolerance(1e-5, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_TRUE(GPosition(0, 0, 0).IsEqual({5e-6, 0, 0}));
  RestoreDefaultTolerances();
  EXPECT_FALSE(GPosition(0, 0, 0).IsEqual({5e-6, 0, 0}));
}

// Interpolation is not clamped, and the cross products turn counter-clockwise.
TEST_F(Vectors, InterpolationAndCrossProducts) {
  EXPECT_EQ(GPosition2d::Interpolate(2, {0, 0}, {3, 4}).y, 8.0);
  EXPECT_EQ(GPosition::Interpolate(-1, {1, 2, 2}, {4, 6, 2}).x, -2.0);
  EXPECT_EQ(GVector2d::Cross({1, 0}, {0, 2}), 2.0);
  EXPECT_EQ(GVector::Cross({1, 0, 0}, {0, 1, 0}).z, 1.0);
}

TEST(VectorLayout, ArraysOfPointsAreArraysOfDoubles) {
  const double raw[6] = {1, 2, 3, 4, 5, 6};
  GPosition points[2];
  std::memcpy(points, raw, sizeof raw);
  EXPECT_EQ(points[1].x, 4.0);
  EXPECT_EQ(points[1].z, 6.0);
  GVector2d v[2];
  std::memcpy(v, raw, sizeof v);
  EXPECT_EQ(v[1].y, 4.0);
}

}  // namespace
