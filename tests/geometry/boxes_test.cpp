#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "tests/geometry/geometry_test_support.h"

namespace {

constexpr double kPi = std::numbers::pi;
const Messages kNone;

template <typename Box>
bool SameBits(const Box& a, const Box& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

const GBox kUnitCube(0, 0, 0, 1, 1, 1);
const GPosition kSquare[5] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {-1, -1, 0}};

class Boxes : public ::testing::Test {
 protected:
  GeomLogCapture log_;
};

// ---------------------------------------------------------------------------------------------------------
// Construction, corners and emptiness

TEST_F(Boxes, BuiltFromPointsOrCornersAsGiven) {
  const GPosition points[4] = {{1, 5, -2}, {3, 0, 0}, {-1, 2, 7}, {2, 2, 2}};
  ExpectBox(GBox(4, points), GBox(-1, 0, -2, 3, 5, 7));
  const GPosition2d points2[3] = {{1, 5}, {-4, 0}, {2, 9}};
  ExpectBox(GBox2d(3, points2), GBox2d(-4, 0, 2, 9));
  const GBox reversed(1, 1, 1, 0, 0, 0);  // not reordered
  EXPECT_EQ(reversed.low.x, 1.0);
  EXPECT_EQ(log_.Take(), kNone);

  EXPECT_TRUE(SameBits(GBox(0, points), GBox::Empty()));
  EXPECT_TRUE(SameBits(GBox(3, nullptr), GBox::Empty()));
  EXPECT_TRUE(SameBits(GBox2d(0, points2), GBox2d::Empty()));
  EXPECT_EQ(log_.Take(), (Messages{"GBox: can't build with 0 points", "GBox: can't build with 0 points",
                                   "GBox2d: can't build with 0 points"}));
}

TEST_F(Boxes, CornersAndIndexing) {
  GPosition corners[8];
  GBox(0, 1, 2, 10, 11, 12).GetCorners(corners);
  const GPosition expected[8] = {{0, 1, 2},  {10, 1, 2},  {10, 11, 2},  {0, 11, 2},
                                 {0, 1, 12}, {10, 1, 12}, {10, 11, 12}, {0, 11, 12}};
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(corners[i].IsEqual(expected[i])) << i;
  GPosition2d corners2[4];
  GBox2d(0, 1, 10, 11).GetCorners(corners2);
  EXPECT_TRUE(corners2[1].IsEqual({10, 1}));
  EXPECT_TRUE(corners2[3].IsEqual({0, 11}));

  EXPECT_EQ(log_.Take(), kNone);
  GBox b = kUnitCube;
  EXPECT_EQ(&b[2], &b.high);
  const GBox2d b2;
  EXPECT_EQ(&b2[-1], &b2.high);
  EXPECT_EQ(log_.Take(), (Messages{"GBox: index out of range", "GBox2d: index out of range"}));
}

TEST_F(Boxes, EmptinessAllowsTheDistanceTolerance) {
  EXPECT_TRUE(GBox().IsEmpty());
  EXPECT_TRUE(GBox2d().IsEmpty());
  EXPECT_EQ(GBox().low.y, 1e30);
  EXPECT_EQ(GBox2d().high.x, -1e30);
  EXPECT_FALSE(GBox(GPosition(1, 2, 3)).IsEmpty());
  EXPECT_FALSE(GBox(0, 0, 0, 1, 1, -0.9e-6).IsEmpty());
  EXPECT_TRUE(GBox(0, 0, 0, 1, 1, -1e-6).IsEmpty());
  EXPECT_FALSE(GBox2d(0, 0, -0.9e-6, 1).IsEmpty());
  EXPECT_TRUE(GBox2d(0, 0, -1.1e-6, 1).IsEmpty());
  EXPECT_TRUE(GBox(0, 0, 0, 1, 1, 1).IsEqual(GBox(0, 0, 0, 1, 1, 1 + 1e-7)));
  EXPECT_FALSE(GBox(0, 0, 0, 1, 1, 1).IsEqual(GBox(0, 0, 0, 1, 1, 1 + 1e-5)));
}

TEST_F(Boxes, ConversionToThePlaneReportsAnyHeight) {
  GBox2d out;
  EXPECT_EQ(&GBox(1, 2, 0, 3, 4, 1e-7).Convert2d(out), &out);
  ExpectBox(out, GBox2d(1, 2, 3, 4));
  EXPECT_EQ(log_.Take(), kNone);
  GBox(1, 2, -1, 3, 4, 0).Convert2d(out);
  ExpectBox(out, GBox2d(1, 2, 3, 4));
  EXPECT_EQ(log_.Take(), Messages{"Convert2d: GBox z coordinate > distanceTolerance"});
}

// ---------------------------------------------------------------------------------------------------------
// Union, intersection, containment

TEST_F(Boxes, UnionOfEmptyBoxesIsExactlyTheEmptyBox) {
  const GBox inverted(5, 5, 5, 0, 0, 0);
  ASSERT_TRUE(inverted.IsEmpty());
  EXPECT_TRUE(SameBits(GBox::Union(inverted, GBox()), GBox::Empty()));
  GBox grown = inverted;
  grown.Extend(GBox(3, 3, 3, 2, 2, 2));
  EXPECT_TRUE(SameBits(grown, GBox::Empty()));
  EXPECT_TRUE(SameBits(GBox::Union(kUnitCube, inverted), kUnitCube));
  EXPECT_TRUE(SameBits(GBox::Union(inverted, kUnitCube), kUnitCube));
  grown.Extend(kUnitCube);
  EXPECT_TRUE(SameBits(grown, kUnitCube));
  EXPECT_TRUE(SameBits(GBox2d::Union(GBox2d(), GBox2d(1, 1, 0, 0)), GBox2d::Empty()));
}

TEST_F(Boxes, IntersectionKeepsBoxesThatTouchWithinTheTolerance) {
  ExpectBox(GBox::Intersect(kUnitCube, GBox(0.5, -1, 0.5, 2, 0.5, 0.7)), GBox(0.5, 0, 0.5, 1, 0.5, 0.7));
  EXPECT_TRUE(SameBits(GBox::Intersect(kUnitCube, GBox(2, 2, 2, 3, 3, 3)), GBox::Empty()));
  EXPECT_TRUE(SameBits(GBox::Intersect(kUnitCube, GBox()), GBox::Empty()));
  // A gap of less than the tolerance gives a thin box, the right way round.
  const GBox thin = GBox::Intersect(kUnitCube, GBox(1 + 5e-7, 0, 0, 2, 1, 1));
  EXPECT_EQ(thin.low.x, 1.0);
  EXPECT_EQ(thin.high.x, 1 + 5e-7);
  EXPECT_TRUE(SameBits(GBox::Intersect(kUnitCube, GBox(1 + 1e-6, 0, 0, 2, 1, 1)), GBox::Empty()));
  GBox2d b(0, 0, 4, 4);
  ExpectBox(b.IntersectWith(GBox2d(3, -1, 5, 1)), GBox2d(3, 0, 4, 1));
  EXPECT_TRUE(SameBits(GBox2d::Intersect(b, GBox2d(5, 5, 6, 6)), GBox2d::Empty()));
}

TEST_F(Boxes, ContainmentHasAMarginAndDiffersAtTheBounds) {
  // In space the bounds count as inside, with a margin of d / sqrt(3).
  EXPECT_TRUE(kUnitCube.Contains(GPosition(1, 1, 1)));
  EXPECT_TRUE(kUnitCube.Contains(GPosition(1 + 5e-7, 0.5, 0.5)));
  EXPECT_FALSE(kUnitCube.Contains(GPosition(1 + 6e-7, 0.5, 0.5)));
  EXPECT_TRUE(IsInside(GPosition(0, 0, -5e-7), kUnitCube));
  EXPECT_FALSE(kUnitCube.Contains(GPosition(std::nan(""), 0, 0)));
  // In the plane the margin is d / sqrt(2) and the point must lie strictly inside it.
  const GBox2d square(0, 0, 1, 1);
  EXPECT_TRUE(square.Contains(GPosition2d(1 + 7e-7, 0.5)));
  EXPECT_FALSE(square.Contains(GPosition2d(1 + 7.1e-7, 0.5)));
  EXPECT_TRUE(IsInside(GPosition2d(0, 0), square));

  const GBox inner(0.2, 0.2, 0.2, 0.8, 0.8, 1);
  EXPECT_TRUE(kUnitCube.Contains(inner));
  EXPECT_TRUE(inner.IsInside(kUnitCube));
  EXPECT_FALSE(kUnitCube.IsInside(inner));
  EXPECT_FALSE(square.Contains(GBox2d(0.5, 0.5, 2, 0.6)));
  EXPECT_TRUE(GBox2d(0.5, 0.5, 0.6, 0.6).IsInside(square));
}

// ---------------------------------------------------------------------------------------------------------
// Moving, scaling and mapping

TEST_F(Boxes, ScalingSwapsTheCornersForFactorsUpToZero) {
  const GBox b(1, 2, 3, 4, 5, 6);
  ExpectBox(-1 * b, GBox(-4, -5, -6, -1, -2, -3));
  ExpectBox(b * 0.0, GBox(0, 0, 0, 0, 0, 0));
  ExpectBox(b / -1, GBox(-4, -5, -6, -1, -2, -3));
  GBox2d b2(1, 2, 3, 4);
  b2 /= -0.5;
  ExpectBox(b2, GBox2d(-6, -8, -2, -4));
  EXPECT_EQ(log_.Take(), kNone);
}

TEST_F(Boxes, DivisionByZeroGivesTheWholeSpace) {
  EXPECT_TRUE(SameBits(kUnitCube / 0.0, GBox::WholeSpace()));
  EXPECT_EQ(GBox::WholeSpace().low.z, -1e30);
  GBox b = kUnitCube;
  b /= -1e-17;
  EXPECT_TRUE(SameBits(b, GBox::WholeSpace()));
  GBox2d b2(0, 0, 1, 1);
  b2 /= 0.0;
  EXPECT_TRUE(SameBits(b2, GBox2d::WholeSpace()));
  EXPECT_EQ(log_.Take(), (Messages{"GBox: trying to divide by 0.0", "GBox: trying to divide by 0.0",
                                   "GBox2d: trying to divide by 0.0"}));
}

TEST_F(Boxes, MappedBoxBoundsTheMappedCorners) {
  GMatrix turn;
  GMatrix::Rotation(kPi / 4, GUnitVector(0, 0, 1), turn);
  const double h = std::sqrt(0.5);
  ExpectBox(kUnitCube * turn, GBox(-h, 0, 0, h, 2 * h, 1));  // row form: x goes to (h, h)
  ExpectBox(turn * kUnitCube, GBox(0, -h, 0, 2 * h, h, 1));  // column form: the other way
  // The identity returns the box untouched, reversed corners included.
  const GBox reversed(1, 1, 1, 0.9999999, 0.9999999, 0.9999999);
  EXPECT_TRUE(SameBits(reversed * GMatrix::Identity(), reversed));

  GMatrix2d turn2;
  GMatrix2d::Rotation(kPi / 4, turn2);
  ExpectBox(GBox2d(0, 0, 1, 1) * turn2, GBox2d(-h, 0, h, 2 * h));
  ExpectBox(turn2 * GBox2d(0, 0, 1, 1), GBox2d(0, -h, 2 * h, h));
}

TEST_F(Boxes, MappedEmptyBoxStaysEmpty) {
  GMatrix turn;
  GMatrix::Rotation(0.3, GUnitVector(1, 1, 1), turn);
  GTransf t;
  GTransf::Rotation(0.3, GUnitVector(1, 1, 1), {1, 2, 3}, t);
  G4x4 m(t);
  EXPECT_TRUE(SameBits(GBox() * turn, GBox::Empty()));
  EXPECT_TRUE(SameBits(GBox() * t, GBox::Empty()));
  EXPECT_TRUE(SameBits(t * GBox(), GBox::Empty()));
  EXPECT_TRUE(SameBits(m * GBox(), GBox::Empty()));
  EXPECT_TRUE(SameBits(GBox2d() * GTransf2d::Rotation(1.0), GBox2d::Empty()));
  GBox range;
  range *= m;
  range.Extend(kUnitCube);
  EXPECT_TRUE(SameBits(range, kUnitCube));
}

TEST_F(Boxes, TransformOrderDiffersBetweenThePlaneAndSpace) {
  GTransf t;
  GTransf::Rotation(kPi / 2, GUnitVector(0, 0, 1), t);
  t.m_scaling = -2;
  t.m_translation = {10, 0, 0};
  // Scaled by -2 first, then turned: in row form (x, y) goes to (-y, x), in column form to (y, -x).
  ExpectBox(kUnitCube * t, GBox(10, -2, -2, 12, 0, 0));
  ExpectBox(t * kUnitCube, GBox(8, 0, -2, 10, 2, 0));

  GTransf2d t2 = GTransf2d::Rotation(kPi / 2);
  t2.m_scaling = 2;
  t2.m_translation = {10, 0};
  ExpectBox(GBox2d(0, 0, 1, 1) * t2, GBox2d(8, 0, 10, 2));
}

TEST_F(Boxes, FourByFourMapsEachCornerWithItsDivide) {
  G4x4 m;
  int rc = 0;
  u4x4Translate({1, 2, 3}, m, &rc);
  ExpectBox(m * kUnitCube, GBox(1, 2, 3, 2, 3, 4));
  GBox b = kUnitCube;
  b *= m;
  ExpectBox(b, GBox(1, 2, 3, 2, 3, 4));
  // The reverse form divides each corner by 1 + x + 2 y + 3 z.
  ExpectBox(kUnitCube * m, GBox(0, 0, 0, 1 / 2.0, 1 / 3.0, 1 / 4.0), 1e-15);
  EXPECT_EQ(log_.Take(), kNone);
  m.m_matrix[15] = 0;
  m.m_matrix[12] = m.m_matrix[13] = m.m_matrix[14] = 0;
  GBox(GPosition(1, 1, 1)) * m;
  EXPECT_EQ(log_.Take().size(), 8u);
}

// ---------------------------------------------------------------------------------------------------------
// Clipping by a plane

TEST_F(Boxes, ClipByPlaneKeepsThePositiveSide) {
  GBox b = kUnitCube;
  EXPECT_EQ(b.ClipByPlane({1, 0, 0}, -0.5), 1);
  ExpectBox(b, GBox(0.5, 0, 0, 1, 1, 1));
  b = kUnitCube;
  EXPECT_EQ(b.ClipByPlane({-2, 0, 0}, 0.5), 1);  // x <= 0.5: the normal is made unit, c is not scaled
  ExpectBox(b, GBox(0, 0, 0, 0.5, 1, 1));
  b = kUnitCube;
  EXPECT_EQ(b.ClipByPlane({1, 1, 0}, -1.5 / std::sqrt(2.0)), 1);  // x + y >= 1.5
  ExpectBox(b, GBox(0.5, 0.5, 0, 1, 1, 1));
  b = kUnitCube;
  EXPECT_EQ(b.ClipByPlane({0, 0, 1}, 3), 1);  // wholly kept
  EXPECT_TRUE(SameBits(b, kUnitCube));
  EXPECT_EQ(b.ClipByPlane({0, 0, 1}, -1), 0);  // touching the top face only
  EXPECT_TRUE(SameBits(b, GBox::Empty()));
  EXPECT_EQ(b.ClipByPlane({0, 0, 1}, 3), 0);  // nothing to clip
  EXPECT_EQ(log_.Take(), kNone);
  b = kUnitCube;
  EXPECT_EQ(b.ClipByPlane({0, 0, 0}, 3), 0);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(log_.Take(), Messages{"GUnitVector: tried to create a NULL unit vector"});
}

// ---------------------------------------------------------------------------------------------------------
// View volumes

TEST_F(Boxes, BoxesOfTheViewVolumes) {
  GPtFence fence;
  fence.m_count = 5;
  fence.m_points = kSquare;
  fence.m_direction = {0, 0, 1};
  fence.m_front = 2;
  fence.m_back = -1;
  ExpectBox(GBox(fence), GBox(-1, -1, -1, 1, 1, 2));

  GRtPrism prism;
  prism.m_points = kSquare;
  prism.m_count = 5;
  prism.m_height = 3;
  GTransf::Translation({10, 0, 0}, prism.m_placement);
  prism.m_placement.m_scaling = 2;
  ExpectBox(GBox(prism), GBox(8, -2, 0, 12, 2, 6));

  GPtFrustum frustum;
  static_cast<GPtFence&>(frustum) = fence;
  frustum.m_front = 5;
  frustum.m_back = 0;
  frustum.m_eye = {0, 0, 10};
  ExpectBox(GBox(frustum), GBox(-1, -1, 0, 1, 1, 5));  // the front plane sees the square halved

  GBoreLine bore;
  bore.m_direction = {0, 0, 1};
  bore.m_front = 2;
  bore.m_back = -1;
  bore.m_radius = 1;
  ExpectBox(GBox(bore), GBox(-1, -1, -1, 1, 1, 2));
  bore.m_root = {1, 1, 1};
  bore.m_direction = {1, 0, 0};
  ExpectBox(GBox(bore), GBox(0, 0, 0, 3, 2, 2));

  GBoreCone cone;
  cone.m_direction = {0, 0, 1};
  cone.m_front = 5;
  cone.m_back = 0;
  cone.m_radius = 1;
  cone.m_eye = {0, 0, 10};
  ExpectBox(GBox(cone), GBox(-1, -1, 0, 1, 1, 5));
  EXPECT_EQ(log_.Take(), kNone);
}

// A point level with the eye has no image on the front and back planes: the volume reaches without bound and
// answers the whole-space box (six NaNs would not even count as empty), whatever the other points give.
TEST_F(Boxes, ViewVolumesThatReachWithoutBound) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* what;
    GPosition eye;
    double front;
  } cases[] = {
      {"eye level with the square", {5, 0, 0}, 5},
      {"eye on a corner of the square", {1, 1, 0}, 5},
      {"eye not a number", {0, nan, 10}, 5},
      {"front limit not a number", {0, 0, 10}, nan},
  };
  for (const auto& c : cases) {
    GPtFrustum frustum;
    frustum.m_count = 5;
    frustum.m_points = kSquare;
    frustum.m_direction = {0, 0, 1};
    frustum.m_front = c.front;
    frustum.m_back = 0;
    frustum.m_eye = c.eye;
    EXPECT_TRUE(SameBits(GBox(frustum), GBox::WholeSpace())) << c.what;
  }
  GBoreCone cone;
  cone.m_direction = {0, 0, 1};
  cone.m_front = 5;
  cone.m_back = 0;
  cone.m_radius = 1;
  cone.m_eye = {3, 0, 0};  // level with the square around the root
  EXPECT_TRUE(SameBits(GBox(cone), GBox::WholeSpace()));
  log_.Take();
}

TEST_F(Boxes, ViewVolumesWithoutPoints) {
  GPtFence fence;
  EXPECT_TRUE(SameBits(GBox(fence), GBox::Empty()));
  fence.m_count = 4;  // and no points
  EXPECT_TRUE(SameBits(GBox(fence), GBox::Empty()));
  GPtFrustum frustum;
  EXPECT_TRUE(SameBits(GBox(frustum), GBox::Empty()));
  GRtPrism prism;
  prism.m_points = kSquare;
  EXPECT_TRUE(SameBits(GBox(prism), GBox::Empty()));
  EXPECT_EQ(log_.Take(), Messages(4, "GBox: can't build with 0 points"));
  // Twice a count this large fits no point count: like a buffer that cannot be had, zeros and no message.
  fence.m_count = 0x80000000u;
  fence.m_points = kSquare;
  EXPECT_TRUE(SameBits(GBox(fence), GBox(0, 0, 0, 0, 0, 0)));
  EXPECT_EQ(log_.Take(), kNone);
}

}  // namespace
