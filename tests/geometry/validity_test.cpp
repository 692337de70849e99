#include <cmath>
#include <functional>

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
// Values: coordinates up to 1e30 are valid, a bad value gives one message however many coordinates are bad,
// and a null pointer is passed over (a validity answer then says invalid).

constexpr int kNoAnswer = -2;

template <typename T>
std::function<int()> Check(void (*check)(const T*), T value) {
  return [=] {
    check(&value);
    return kNoAnswer;
  };
}

template <typename T>
std::function<int()> Valid(void (*check)(const T*, int*), T value) {
  return [=] {
    int valid = -1;
    check(&value, &valid);
    return valid;
  };
}

GUnitVector RawUnit(double x, double y, double z) {
  GUnitVector u;
  u.x = x, u.y = y, u.z = z;
  return u;
}

GUnitVector2d RawUnit2d(double x, double y) {
  GUnitVector2d u;
  u.x = x, u.y = y;
  return u;
}

TEST_F(Validity, ValuesGiveOneMessageEach) {
  const char* position = "GPosition has an invalid coordinate";
  const char* vector = "GVector has an invalid coordinate";
  const char* position2d = "GPosition2d does not have valid coordinates";
  const char* vector2d = "GVector2d does not have valid coordinates";
  const char* unit2d = "GUnitVector2d does not have valid coordinates";
  GMatrix bad = GMatrix::Identity();
  bad.m[0][1] = kNaN;
  bad.m[2][2] = -1e40;
  const struct {
    const char* what;
    std::function<int()> check;
    int valid;
    Messages messages;
  } cases[] = {
      {"position at 1e30", Check(CheckPosition, GPosition(1e30, -1e30, 0)), kNoAnswer, kNone},
      {"position beyond 1e30 and NaN", Check(CheckPosition, GPosition(1.0000001e30, kNaN, 0)), kNoAnswer, {position}},
      {"vector", Valid(CheckVector, GVector(1, 2, 3)), 1, kNone},
      {"vector NaN", Valid(CheckVector, GVector(0, 0, kNaN)), 0, {vector}},
      {"unit vector null", Check(CheckUnitVector, GUnitVector()), kNoAnswer, {"GUnitVector: using a NULL unit vector"}},
      {"unit vector too long", Check(CheckUnitVector, RawUnit(1, 1, 0)), kNoAnswer,
       {"GUnitVector: vector is not a unit vector"}},
      {"unit vector within the band", Check(CheckUnitVector, RawUnit(1, 0, 1e-15)), kNoAnswer, kNone},
      {"unit vector NaN", Check(CheckUnitVector, RawUnit(1, 0, kNaN)), kNoAnswer,
       {"GUnitVector has an invalid coordinate"}},
      {"box: each corner", Check(CheckBox, GBox(kNaN, 0, 0, 1e31, 0, 0)), kNoAnswer, {position, position}},
      {"matrix", Valid(CheckMatrix, GMatrix::Identity()), 1, kNone},
      {"matrix: each bad row", Valid(CheckMatrix, bad), 0, {vector, vector}},
      {"position2d at 1e30", Check(CheckPosition2d, GPosition2d(1e30, 0)), kNoAnswer, kNone},
      {"position2d beyond 1e30", Check(CheckPosition2d, GPosition2d(1.0000001e30, 0)), kNoAnswer, {position2d}},
      {"vector2d NaN", Check(CheckVector2d, GVector2d(kNaN, kNaN)), kNoAnswer, {vector2d}},
      {"unit vector2d", Check(CheckUnitVector2d, RawUnit2d(0.6, 0.8)), kNoAnswer, kNone},
      // 2.5e-7 from a unit length: within the distance tolerance.
      {"unit vector2d nearly unit", Check(CheckUnitVector2d, RawUnit2d(1, 0.0005)), kNoAnswer, kNone},
      {"unit vector2d too long", Check(CheckUnitVector2d, RawUnit2d(1, 0.002)), kNoAnswer, {unit2d}},
      {"unit vector2d NaN", Check(CheckUnitVector2d, RawUnit2d(1, kNaN)), kNoAnswer, {unit2d}},
      {"box2d: corner order not tested", Check(CheckBox2d, GBox2d(5, 5, 0, 0)), kNoAnswer, kNone},
      {"box2d: each corner", Check(CheckBox2d, GBox2d(kNaN, 0, 0, kNaN)), kNoAnswer, {position2d, position2d}},
      {"matrix2d", Check(CheckMatrix2d, GMatrix2d(0, 0, 0, -INFINITY)), kNoAnswer, {vector2d}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.check(), c.valid) << c.what;
    EXPECT_EQ(log_.Take(), c.messages) << c.what;
  }
  // A null pointer is passed over; a validity answer says invalid.
  int valid = -1;
  CheckVector(nullptr, &valid);
  EXPECT_EQ(valid, 0);
  valid = -1;
  CheckTransf(nullptr, &valid);
  EXPECT_EQ(valid, 0);
  CheckPosition(nullptr);
  CheckUnitVector(nullptr);
  CheckBox(nullptr);
  CheckTransf(nullptr);
  CheckPtFrustum(nullptr);
  CheckTransf2d(nullptr);
  Check4x4(nullptr);
  EXPECT_EQ(log_.Take(), kNone);
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
