#include <cmath>

#include "tests/geometry/geometry_test_support.h"

namespace {

const Messages kNone;
const double kNaN = std::nan("");

class Validity : public ::testing::Test {
 protected:
  GeomLogCapture log_;
  int valid_ = -1;
};

// ---------------------------------------------------------------------------------------------------------
// Values

TEST_F(Validity, CoordinatesUpTo1e30AreValid) {
  const GPosition edge(1e30, -1e30, 0);
  CheckPosition(&edge);
  const GVector fine(1, 2, 3);
  CheckVector(&fine, &valid_);
  EXPECT_EQ(valid_, 1);
  EXPECT_EQ(log_.Take(), kNone);

  const GPosition beyond(1.0000001e30, kNaN, 0);  // two bad coordinates, one message
  CheckPosition(&beyond);
  const GVector nan(0, 0, kNaN);
  CheckVector(&nan);
  CheckVector(&nan, &valid_);
  EXPECT_EQ(valid_, 0);
  EXPECT_EQ(log_.Take(), (Messages{"GPosition has an invalid coordinate", "GVector has an invalid coordinate",
                                   "GVector has an invalid coordinate"}));
}

TEST_F(Validity, UnitVectorCheckGivesAtMostOneMessage) {
  GUnitVector u;
  CheckUnitVector(&u);
  u.x = u.y = 1;
  CheckUnitVector(&u);
  u = GUnitVector(1, 0, 0);
  u.z = 1e-15;
  CheckUnitVector(&u);
  EXPECT_EQ(log_.Take(),
            (Messages{"GUnitVector: using a NULL unit vector", "GUnitVector: vector is not a unit vector"}));
  u.z = kNaN;
  CheckUnitVector(&u);
  EXPECT_EQ(log_.Take(), Messages{"GUnitVector has an invalid coordinate"});
}

TEST_F(Validity, BoxAndMatrixCheckTheirParts) {
  const GBox box(kNaN, 0, 0, 1e31, 0, 0);
  CheckBox(&box);
  EXPECT_EQ(log_.Take(), Messages(2, "GPosition has an invalid coordinate"));
  GMatrix m = GMatrix::Identity();
  CheckMatrix(&m, &valid_);
  EXPECT_EQ(valid_, 1);
  m.m[0][1] = kNaN;
  m.m[2][2] = -1e40;
  CheckMatrix(&m);
  CheckMatrix(&m, &valid_);
  EXPECT_EQ(valid_, 0);
  EXPECT_EQ(log_.Take(), Messages(4, "GVector has an invalid coordinate"));
}

// ---------------------------------------------------------------------------------------------------------
// Transforms

TEST_F(Validity, TransformFlagsAreComparedWithTheDeterminant) {
  GTransf t = GTransf::Identity();
  CheckTransf(&t, &valid_);
  EXPECT_EQ(valid_, 1);
  EXPECT_EQ(log_.Take(), kNone);

  t.m_hasRotation = 0;
  CheckTransf(&t, &valid_);
  EXPECT_EQ(valid_, 0);
  EXPECT_EQ(log_.Take(), Messages{"GTransf: neither m_hasRotation or m_hasReflection is set"});

  GTransf::Reflection(GUnitVector(1, 1, 0), t);
  t.m_hasRotation = 1;  // both flags: both compared
  CheckTransf(&t);
  t.m_hasReflection = 0;
  CheckTransf(&t);
  EXPECT_EQ(log_.Take(), (Messages{"GTransf: m_hasRotation is set, but it is a reflection",
                                   "GTransf: m_hasRotation is set, but it is a reflection"}));
  t = GTransf::Identity();
  t.m_hasReflection = 1;
  CheckTransf(&t);
  EXPECT_EQ(log_.Take(), Messages{"GTransf: m_hasReflection is set, but it is a rotation"});
}

TEST_F(Validity, TransformScaleShearAndShape) {
  GTransf t = GTransf::Identity();
  t.m_scaling = 0;  // the Euclidean test looks at the matrix alone
  CheckTransf(&t);
  EXPECT_EQ(log_.Take(), Messages{"GTransf has an invalid scale"});
  t.m_scaling = INFINITY;
  t.m_hasShear = 1;
  t.m_matrix.m[0][0] = 2;
  CheckTransf(&t, &valid_);
  EXPECT_EQ(valid_, 0);
  EXPECT_EQ(log_.Take(), (Messages{"GTransf is not Euclidean", "GTransf has an invalid scale", "GTransf has Shear"}));

  // A NaN in the first row alone fails the flag form through the matrix check.
  t = GTransf::Identity();
  t.m_matrix.m[0][2] = kNaN;
  CheckTransf(&t, &valid_);
  EXPECT_EQ(valid_, 0);
  const Messages messages = log_.Take();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0], "GVector has an invalid coordinate");
  t = GTransf::Identity();
  t.m_translation.y = kNaN;
  CheckTransf(&t, &valid_);
  EXPECT_EQ(valid_, 0);
  EXPECT_EQ(log_.Take(), Messages{"GVector has an invalid coordinate"});
}

TEST_F(Validity, PlaneTransformRunsEveryTest) {
  GTransf2d t = GTransf2d::Rotation(0.5);
  CheckTransf2d(&t);
  EXPECT_EQ(log_.Take(), kNone);
  t.m_matrix.m[1][0] = kNaN;
  t.m_translation.x = 2e30;
  t.m_scaling = 1e-7;
  t.m_hasShear = 1;
  t.m_hasRotation = 0;
  CheckTransf2d(&t);
  EXPECT_EQ(log_.Take(),
            (Messages{"GVector2d does not have valid coordinates", "GVector2d does not have valid coordinates",
                      "GTransf2d is not Euclidean", "GTransf2d has an invalid scale", "GTransf2d has Shear",
                      "GTransf2d: neither m_hasRotation or m_hasReflection is set"}));
  t = GTransf2d::Reflection({1, 0}, {});
  t.m_hasRotation = 1;
  CheckTransf2d(&t);
  t = GTransf2d::Rotation(1.0);
  t.m_hasReflection = 1;
  CheckTransf2d(&t);
  EXPECT_EQ(log_.Take(), (Messages{"GTransf2d: m_hasRotation is set, but it is a reflection",
                                   "GTransf2d: m_hasReflection is set, but it is a rotation"}));
}

TEST_F(Validity, PlaneValues) {
  const GPosition2d edge(1e30, 0), beyond(1.0000001e30, 0);
  CheckPosition2d(&edge);
  CheckPosition2d(&beyond);
  const GVector2d nan(kNaN, kNaN);
  CheckVector2d(&nan);
  EXPECT_EQ(log_.Take(),
            (Messages{"GPosition2d does not have valid coordinates", "GVector2d does not have valid coordinates"}));
  GUnitVector2d u;
  u.x = 0.6, u.y = 0.8;
  CheckUnitVector2d(&u);
  u.x = 1, u.y = 0.0005;  // 2.5e-7 from a unit length: within the distance tolerance
  CheckUnitVector2d(&u);
  EXPECT_EQ(log_.Take(), kNone);
  u.y = 0.002;
  CheckUnitVector2d(&u);
  u.y = kNaN;
  CheckUnitVector2d(&u);
  EXPECT_EQ(log_.Take(), Messages(2, "GUnitVector2d does not have valid coordinates"));
  const GBox2d reversed(5, 5, 0, 0);  // the order of the corners is not tested
  CheckBox2d(&reversed);
  const GBox2d box(kNaN, 0, 0, kNaN);
  CheckBox2d(&box);
  const GMatrix2d m(0, 0, 0, -INFINITY);
  CheckMatrix2d(&m);
  EXPECT_EQ(log_.Take(),
            (Messages{"GPosition2d does not have valid coordinates", "GPosition2d does not have valid coordinates",
                      "GVector2d does not have valid coordinates"}));
}

TEST_F(Validity, NullPointersArePassedOver) {
  CheckPosition(nullptr);
  CheckUnitVector(nullptr);
  CheckBox(nullptr);
  CheckTransf(nullptr);
  CheckPtFrustum(nullptr);
  CheckTransf2d(nullptr);
  Check4x4(nullptr);
  CheckVector(nullptr, &valid_);
  EXPECT_EQ(valid_, 0);
  valid_ = -1;
  CheckTransf(nullptr, &valid_);
  EXPECT_EQ(valid_, 0);
  EXPECT_EQ(log_.Take(), kNone);
}

// ---------------------------------------------------------------------------------------------------------
// View volumes

TEST_F(Validity, BoreLineAndCone) {
  GBoreCone cone;
  cone.m_direction = {0, 0, 1};
  cone.m_front = 2;
  cone.m_back = 2;
  cone.m_radius = 1;
  CheckBoreLine(&cone);
  cone.m_radius = 0;
  CheckBoreLine(&cone);
  cone.m_radius = 1;
  cone.m_back = 3;
  CheckBoreLine(&cone);
  EXPECT_EQ(log_.Take(), Messages(2, "GBoreLine has an invalid front, back, or radius"));

  cone.m_back = -1;
  const char* const between = "GBoreCone: eye point is between front and back planes";
  cone.m_eye = {5, 5, -1};  // on the back plane
  CheckBoreCone(&cone);
  cone.m_eye = {0, 0, 0.5};
  CheckBoreCone(&cone);
  EXPECT_EQ(log_.Take(), (Messages{between, between}));
  cone.m_eye = {0, 0, 3};  // in front of the front plane
  CheckBoreCone(&cone);
  cone.m_eye = {0, 0, 2 - 5e-7};  // on the front plane within the tolerance
  CheckBoreCone(&cone);
  cone.m_eye = {0, 0, -1 - 2e-6};  // behind the back plane
  CheckBoreCone(&cone);
  EXPECT_EQ(log_.Take(), kNone);
  cone.m_direction = GUnitVector();
  cone.m_eye.x = kNaN;
  CheckBoreCone(&cone);
  EXPECT_EQ(log_.Take(), (Messages{"GUnitVector: using a NULL unit vector", "GPosition has an invalid coordinate"}));
}

TEST_F(Validity, FenceRunsItsPointTestsEvenWithFewPoints) {
  const GPosition open[3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0.5}};
  GPtFence fence;
  fence.m_count = 3;
  fence.m_points = open;
  fence.m_direction = {0, 0, 1};
  CheckPtFence(&fence);
  EXPECT_EQ(log_.Take(), (Messages{"GPtFence: Less than 4 points", "GPtFence: point set is not closed",
                                   "GPtFence: point set is not planar with respect to direction vector",
                                   "GPtFence: point set is not planar with respect to direction vector",
                                   "GPtFence: point set is not planar with respect to direction vector"}));
  const GPosition square[5] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 0}};
  fence.m_count = 5;
  fence.m_points = square;
  fence.m_front = 1;
  fence.m_back = 1;
  CheckPtFence(&fence);
  EXPECT_EQ(log_.Take(), kNone);
  fence.m_back = 2;
  CheckPtFence(&fence);
  fence.m_back = -2e30;
  CheckPtFence(&fence);
  fence.m_points = nullptr;
  fence.m_back = 0;
  fence.m_front = 1e30;
  CheckPtFence(&fence);
  EXPECT_EQ(log_.Take(), (Messages{"GPtFence: invalid m_front or m_back", "GPtFence: invalid m_front or m_back",
                                   "GPtFence: NULL pointer", "GPtFence: invalid m_front or m_back"}));
}

TEST_F(Validity, FrustumEyeIsTestedAgainstTheCentroid) {
  const GPosition square[5] = {{0, 0, 4}, {2, 0, 4}, {2, 2, 4}, {0, 2, 4}, {0, 0, 4}};
  GPtFrustum frustum;
  frustum.m_count = 5;
  frustum.m_points = square;
  frustum.m_direction = {0, 0, 1};
  frustum.m_front = 1;
  frustum.m_back = -1;
  frustum.m_eye = {0.8, 0.8, 10};
  CheckPtFrustum(&frustum);
  EXPECT_EQ(log_.Take(), kNone);
  frustum.m_eye = {0.8, 0.8, 4.5};
  CheckPtFrustum(&frustum);
  EXPECT_EQ(log_.Take(), Messages{"GPtFrustum: eye point is between front and back planes"});
  frustum.m_points = nullptr;
  CheckPtFrustum(&frustum);
  EXPECT_EQ(log_.Take(), Messages{"GPtFence: NULL pointer"});
}

TEST_F(Validity, PrismChecksPlacementPointsAndHeight) {
  const GPosition points[5] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0.001}, {0, 1, 0}, {0, 0, 0}};
  GRtPrism prism;
  prism.m_placement = GTransf::Identity();
  prism.m_points = points;
  prism.m_count = 5;
  prism.m_height = 1;
  CheckRtPrism(&prism);
  // The mean z is 0.0002: every point is farther than the tolerance from it.
  EXPECT_EQ(log_.Take(), Messages(5, "GRtPrism: point set is not planar in xz"));
  prism.m_count = 2;
  prism.m_height = 1e30;
  prism.m_placement.m_hasShear = 1;
  CheckRtPrism(&prism);
  EXPECT_EQ(log_.Take(), (Messages{"GTransf has Shear", "GRtPrism: Less than 4 points",
                                   "GRtPrism: point set is not closed", "GRtPrism: invalid height"}));
  prism.m_placement.m_hasShear = 0;
  prism.m_points = nullptr;
  prism.m_height = -1;
  CheckRtPrism(&prism);
  EXPECT_EQ(log_.Take(),
            (Messages{"GRtPrism: Less than 4 points", "GRtPrism: NULL pointer", "GRtPrism: invalid height"}));
}

}  // namespace
