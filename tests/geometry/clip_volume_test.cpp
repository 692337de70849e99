#include <cmath>
#include <cstring>
#include <numbers>

#include "tests/geometry/geometry_test_support.h"

namespace {

constexpr double kPi = std::numbers::pi;
const Messages kNone;
const GBox kUnitCube(0, 0, 0, 1, 1, 1);

int Where(const GClipVolume& v, const GPosition& p) {
  int where = -1, rc = -1;
  v.Classify(p, &where, &rc);
  EXPECT_EQ(rc, 0);
  return where;
}

// Whether two volumes agree on a lattice of points around them.
void ExpectSameRegion(const GClipVolume& a, const GClipVolume& b) {
  for (double x = -3; x <= 3; x += 0.25)
    for (double y = -3; y <= 3; y += 0.25)
      for (double z = -3; z <= 3; z += 0.25)
        ASSERT_EQ(Where(a, {x, y, z}), Where(b, {x, y, z})) << x << ' ' << y << ' ' << z;
}

class ClipVolume : public ::testing::Test {
 protected:
  GeomLogCapture log_;
  const GClipVolume cube_{kUnitCube};
};

TEST_F(ClipVolume, ClassifiesPointsWithTheTolerance) {
  EXPECT_EQ(Where(cube_, {0.5, 0.5, 0.5}), 1);
  EXPECT_EQ(Where(cube_, {0.5, 0.5, 1}), 2);
  EXPECT_EQ(Where(cube_, {0.5, 0.5, 1 + 5e-7}), 2);
  EXPECT_EQ(Where(cube_, {0.5, 0.5, 1.1}), 0);
  EXPECT_EQ(Where(cube_, {0.5, -2e-6, 0.5}), 0);
  EXPECT_EQ(Where(cube_, {0, 0, 0}), 2);
  EXPECT_EQ(Where(GClipVolume(), {1e20, 0, 0}), 1);
}

TEST_F(ClipVolume, OverlapAndContainmentOfBoxes) {
  EXPECT_EQ(cube_.Overlaps(GBox(2, 2, 2, 3, 3, 3)), 0);
  EXPECT_EQ(cube_.Overlaps(GBox(0.5, 0.5, 0.5, 2, 2, 2)), 1);
  EXPECT_EQ(cube_.Contains(GBox(0.5, 0.5, 0.5, 2, 2, 2)), 0);
  EXPECT_EQ(cube_.Contains(GBox(0.2, 0.2, 0.2, 0.8, 0.8, 0.8)), 1);
  EXPECT_EQ(cube_.Contains(GBox(0, 0, 0, 1 + 5e-7, 1, 1)), 1);
  EXPECT_EQ(cube_.Overlaps(GBox(1 + 5e-7, 0, 0, 2, 1, 1)), 1);
  EXPECT_EQ(cube_.Overlaps(GBox(1 + 2e-6, 0, 0, 2, 1, 1)), 0);
  // A slanted plane x + y >= 1 judges a box by its corner farthest in, or farthest out.
  const double slanted[4] = {1, 1, 0, -1};
  const GClipVolume half(1, slanted);
  EXPECT_EQ(half.Overlaps(GBox(0, 0, 0, 0.4, 0.4, 5)), 0);
  EXPECT_EQ(half.Overlaps(GBox(0, 0, 0, 0.6, 0.6, 5)), 1);
  EXPECT_EQ(half.Contains(GBox(0.3, 0.6, 0, 1, 1, 5)), 0);
  EXPECT_EQ(half.Contains(GBox(0.5, 0.5, 0, 1, 1, 5)), 1);  // its nearest corner on the plane
  const GClipVolume everything;
  EXPECT_EQ(everything.Overlaps(GBox(-1e20, 0, 0, 1, 1, 1)), 1);
  EXPECT_EQ(everything.Contains(GBox(-1e20, 0, 0, 1, 1, 1)), 1);
}

TEST_F(ClipVolume, ConstructionNormalisesCoefficientsAndKeepsSixPlanes) {
  const double coefficients[7 * 4] = {0, 0, 2, -2, 3,  4, 0,  5, 1, 0, 0, 0,  0, 1,
                                      0, 0, 0, 0,  -1, 9, -1, 0, 0, 9, 0, -1, 0, 9};
  const GClipVolume v(7, coefficients);
  EXPECT_EQ(v.m_count, 6);
  EXPECT_EQ(log_.Take(), Messages{"GClipVolume: can't build more than 6 planes"});
  EXPECT_EQ(v.m_planes[0][2], 1.0);
  EXPECT_EQ(v.m_planes[0][3], -1.0);
  EXPECT_DOUBLE_EQ(v.m_planes[1][0], 0.6);
  EXPECT_DOUBLE_EQ(v.m_planes[1][3], 1.0);

  const GPosition points[7] = {{0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}};
  const GUnitVector normals[7] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  const GClipVolume fromPoints(7, points, normals);
  EXPECT_EQ(fromPoints.m_count, 6);
  EXPECT_EQ(fromPoints.m_planes[5][3], -2.0);
  EXPECT_EQ(log_.Take(), Messages{"GClipVolume: can't build more than 6 planes"});
  EXPECT_EQ(GClipVolume(3, static_cast<const double*>(nullptr)).m_count, 0);

  // The box's planes, in their order: low y, low x, high y, high x, low z, high z.
  const GClipVolume box(GBox(1, 2, 3, 4, 5, 6));
  const double expected[6][4] = {{0, 1, 0, -2}, {1, 0, 0, -1}, {0, -1, 0, 5},
                                 {-1, 0, 0, 4}, {0, 0, 1, -3}, {0, 0, -1, 6}};
  EXPECT_EQ(box.m_count, 6);
  EXPECT_EQ(std::memcmp(box.m_planes, expected, sizeof expected), 0);
}

TEST_F(ClipVolume, PlaneWithoutANormalIsLoggedNotDividedByZero) {
  const double coefficients[8] = {0, 0, 0, 1, 0, 0, 0, -1};
  const GClipVolume v(2, coefficients);
  EXPECT_EQ(log_.Take(), (Messages(2, "GUnitVector: tried to create a NULL unit vector")));
  EXPECT_EQ(v.m_planes[0][3], 1.0);
  EXPECT_EQ(v.m_planes[1][0], 0.0);
  // The second plane puts every point outside; the first alone would hold them all.
  EXPECT_EQ(Where(v, {1, 2, 3}), 0);
  EXPECT_EQ(Where(GClipVolume(1, coefficients), {1, 2, 3}), 1);
}

// ---------------------------------------------------------------------------------------------------------
// Moving, turning, transforming

TEST_F(ClipVolume, TranslationMovesEveryPlane) {
  GClipVolume moved = cube_ + GVector(1, 2, 3);
  ExpectSameRegion(moved, GClipVolume(GBox(1, 2, 3, 2, 3, 4)));
  moved -= GVector(1, 2, 3);
  ExpectSameRegion(moved, cube_);
}

TEST_F(ClipVolume, MatricesTurnTheNormalsOnly) {
  GMatrix turn;
  GMatrix::Rotation(kPi / 2, GUnitVector(0, 0, 1), turn);
  // Row form: the normal (1, 0, 0) of the plane x >= 0 becomes (0, 1, 0); d stays, so the plane goes through
  // the origin again.
  const GClipVolume rowTurned = cube_ * turn;
  EXPECT_EQ(Where(rowTurned, {-0.5, 0.5, 0.5}), 1);
  EXPECT_EQ(Where(rowTurned, {0.5, 0.5, 0.5}), 0);
  const GClipVolume columnTurned = turn * cube_;
  EXPECT_EQ(Where(columnTurned, {0.5, -0.5, 0.5}), 1);
}

TEST_F(ClipVolume, TransformCarriesTheVolumeWithIt) {
  GTransf t;
  GTransf::Rotation(0.7, GUnitVector(1, 2, 3), {0.5, 0.5, 0.5}, t);
  t.m_scaling = 2;
  t.m_translation += GVector(-1, 0, 1);
  const GClipVolume carried = cube_ * t;
  for (const GPosition p : {GPosition(0.5, 0.5, 0.5), GPosition(0.1, 0.9, 0.2), GPosition(1, 0.5, 0.5),
                            GPosition(1.2, 0.5, 0.5), GPosition(-0.3, 2, 0)})
    EXPECT_EQ(Where(carried, p * t), Where(cube_, p)) << p.x << ' ' << p.y << ' ' << p.z;
  EXPECT_EQ(log_.Take(), kNone);

  t.m_hasShear = 1;
  GClipVolume sheared = cube_;
  sheared *= t;
  EXPECT_EQ(log_.Take(), Messages(6, "GUnitVector: multiplying by trans, trans has Shear"));
}

// ---------------------------------------------------------------------------------------------------------
// Scaling about the centre

TEST_F(ClipVolume, ScalingUsesTheMeanOfTheVertices) {
  ExpectSameRegion(cube_ * 2, GClipVolume(GBox(-0.5, -0.5, -0.5, 1.5, 1.5, 1.5)));
  GClipVolume v = cube_;
  v *= 0.5;
  ExpectSameRegion(v, GClipVolume(GBox(0.25, 0.25, 0.25, 0.75, 0.75, 0.75)));
  // A corner region of three planes: the centre is the mean of the foot points (0, 0, 0) ... and the planes
  // move away from it.
  const double corner[12] = {1, 0, 0, -3, 0, 1, 0, 0, 0, 0, 1, 0};
  const GClipVolume three(3, corner);
  const GClipVolume scaled = three * 2;
  // Foot points (3, 0, 0), (0, 0, 0), (0, 0, 0): centre (1, 0, 0); x = 3 goes to x = 5, y = 0 to y = 0.
  EXPECT_EQ(Where(scaled, {5, 0, 1}), 2);
  EXPECT_EQ(Where(scaled, {6, 1, 1}), 1);
  EXPECT_EQ(Where(scaled, {4.9, 1, 1}), 0);
  EXPECT_EQ(log_.Take(), kNone);
}

TEST_F(ClipVolume, ScalingReportsEmptyVolumesAndNegativeFactors) {
  const GClipVolume none;
  const GClipVolume copy = none * 3;
  EXPECT_EQ(copy.m_count, 0);
  EXPECT_EQ(log_.Take(), Messages{"GClipVolume: can't multiple by scalar when count=0"});
  const GClipVolume inverted = cube_ * -1;
  EXPECT_EQ(log_.Take(), Messages{"GClipVolume: should not multiply by scalar < 0.0"});
  EXPECT_EQ(Where(inverted, {0.5, 0.5, 0.5}), 0);  // turned inside out
}

TEST_F(ClipVolume, DivisionIsGuardedTwoWays) {
  ExpectSameRegion(cube_ / 0.5, cube_ * 2);
  EXPECT_EQ(log_.Take(), kNone);
  GClipVolume v = cube_;
  v /= 0.0;  // by 2^-52: the unit box grows 2^52 times about its centre
  EXPECT_EQ(log_.Take(), Messages{"GClipVolume: trying to divide by number < GSMALLRELTO1"});
  EXPECT_EQ(Where(v, {0x1p50, 0.5, 0.5}), 1);
  EXPECT_EQ(Where(v, {0x1p52, 0.5, 0.5}), 0);
  const GClipVolume huge = cube_ / 0.0;
  EXPECT_EQ(log_.Take(), Messages{"GClipVolume: scalar < tolerance"});
  EXPECT_EQ(Where(huge, {1e29, 0.5, 0.5}), 1);
  const GClipVolume negative = cube_ / -2;
  EXPECT_EQ(log_.Take(),
            (Messages{"GClipVolume: scalar < tolerance", "GClipVolume: should not multiply by scalar < 0.0"}));
  EXPECT_EQ(negative.m_count, 6);
}

// ---------------------------------------------------------------------------------------------------------
// The box of a clip volume

TEST_F(ClipVolume, BoxOfTheVerticesInsideTheVolume) {
  ExpectBox(GBox(cube_), kUnitCube);
  const double tetrahedron[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, -1, -1, 1};
  ExpectBox(GBox(GClipVolume(4, tetrahedron)), kUnitCube);
  // A stretching matrix leaves the normals unnormalised; the box still finds the true corners.
  GClipVolume squeezed = cube_;
  squeezed *= GMatrix(2, 0, 0, 0, 1, 0, 0, 0, 1);
  ExpectBox(GBox(squeezed), GBox(0, 0, 0, 0.5, 1, 1));
  EXPECT_EQ(log_.Take(), kNone);

  EXPECT_TRUE(GBox(GClipVolume(2, tetrahedron)).IsEmpty());
  EXPECT_EQ(log_.Take(), Messages{"GBox: can't build with 0 points"});
}

}  // namespace
