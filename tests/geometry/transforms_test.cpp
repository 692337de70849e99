#include <cmath>
#include <cstring>
#include <numbers>

#include "tests/geometry/geometry_test_support.h"

namespace {

constexpr double kPi = std::numbers::pi;
const GUnitVector kX(1, 0, 0), kY(0, 1, 0), kZ(0, 0, 1);

class Transforms : public ::testing::Test {
 protected:
  GeomLogCapture log_;
};

// ---------------------------------------------------------------------------------------------------------
// Products, flags and inverses

TEST_F(Transforms, ProductAppliesTheLeftOperandFirst) {
  GTransf quarter, move;
  GTransf::Rotation(kPi / 2, kZ, quarter);
  GTransf::Translation({1, 0, 0}, move);
  ExpectNear(GPosition(1, 0, 0) * (quarter * move), {1, 1, 0});
  ExpectNear(GPosition(1, 0, 0) * (move * quarter), {0, 2, 0});

  GTransf2d planar = GTransf2d::Scale(3) * GTransf2d::Translation({1, 2});
  ExpectNear(GPosition2d(1, 1) * planar, {4, 5});
  planar *= GTransf2d::Rotation(0.0, 1.0);
  ExpectNear(GPosition2d(1, 1) * planar, {-5, 4});
  EXPECT_EQ(log_.Take(), Messages{});
}

TEST_F(Transforms, ProductFlagsFollowTheDeterminant) {
  GTransf mirrorX, mirrorY, turn;
  GTransf::Reflection(kX, mirrorX);
  GTransf::Reflection(kY, mirrorY);
  GTransf::Rotation(0.3, kZ, turn);
  const GTransf twoMirrors = mirrorX * mirrorY;
  EXPECT_EQ(twoMirrors.m_hasRotation, 1);
  EXPECT_EQ(twoMirrors.m_hasReflection, 0);
  GTransf half;
  GTransf::Rotation(kPi, kZ, half);
  EXPECT_TRUE(twoMirrors.m_matrix.IsEqual(half.m_matrix));
  const GTransf mixed = mirrorX * turn;
  EXPECT_EQ(mixed.m_hasRotation, 0);
  EXPECT_EQ(mixed.m_hasReflection, 1);
  EXPECT_LT(mixed.m_matrix.Determinant(), 0);
  GTransf sheared = turn;
  sheared.m_hasShear = 1;
  EXPECT_EQ((turn * sheared).m_hasShear, 1);
  EXPECT_EQ((GTransf2d::Reflection({1, 0}, {}) * GTransf2d::Reflection({0, 1}, {})).m_hasRotation, 1);
}

// In space the oracle compares inverses with a peer library; the plane's are checked here.
TEST_F(Transforms, PlaneInverseUndoesASimilarity) {
  GTransf2d t2 = GTransf2d::Rotation(1.1, {2, 3});
  t2.m_scaling = -4;
  GTransf2d inverse2;
  EXPECT_TRUE((t2 * t2.Inverse(inverse2)).IsIdentity());
  ExpectNear(GPosition2d(5, 6) * t2 / t2, {5, 6});
  EXPECT_EQ(log_.Take(), Messages{});
}

TEST_F(Transforms, InverseOfADegenerateTransformIsLoggedAndStillFormed) {
  GTransf flat = GTransf::Identity();
  flat.m_scaling = 0;
  GTransf inverse;
  flat.Inverse(inverse);
  EXPECT_EQ(log_.Take(), (Messages{"GTransf: not invertible", "GTransf: m_scaling is 0.0"}));
  EXPECT_EQ(inverse.m_scaling, 1e30);

  // A matrix that is no rotation: only the first message, and the transpose as the matrix.
  GTransf skew(GMatrix(1, 2, 0, 0, 1, 0, 0, 0, 1), {1, 0, 0}, 1, 0, 0, 1);
  skew.Inverse(inverse);
  EXPECT_EQ(log_.Take(), Messages{"GTransf: not invertible"});
  EXPECT_EQ(inverse.m_matrix.m[1][0], 2.0);
  EXPECT_EQ(inverse.m_hasShear, 1);

  GTransf2d flat2 = GTransf2d::Scale(1e-17);
  GTransf2d inverse2;
  flat2.Inverse(inverse2);
  EXPECT_EQ(inverse2.m_scaling, 1e30);
  EXPECT_EQ(log_.Take(),
            (Messages{"GTransf2d: transformation is not invertible", "GTransf2d: transformation scaling is 0.0"}));
}

TEST_F(Transforms, EqualityLooksAtScaleReflectionTranslationAndMatrix) {
  EXPECT_TRUE(GTransf::Identity().IsEqual(GTransf(GMatrix::Identity(), {}, 1, 0, 0, 0)));
  EXPECT_TRUE(GTransf(GMatrix::Identity(), {}, 1, 0, 0, 1).IsIdentity());
  EXPECT_FALSE(GTransf(GMatrix::Identity(), {}, 1, 1, 1, 0).IsIdentity());
  EXPECT_FALSE(GTransf(GMatrix::Identity(), {}, 1 + 1e-9, 1, 0, 0).IsIdentity());
  EXPECT_TRUE(GTransf(GMatrix::Identity(), {}, 1 + 1e-11, 1, 0, 0).IsIdentity());
  EXPECT_FALSE(GTransf(GMatrix::Identity(), {0, 0, 2e-6}, 1, 1, 0, 0).IsIdentity());
  EXPECT_TRUE(GTransf().IsZero());
  EXPECT_FALSE(GTransf::Identity().IsZero());
  EXPECT_TRUE(GTransf2d::Identity().IsIdentity());
  EXPECT_TRUE(GTransf2d().IsZero());
  EXPECT_FALSE(GTransf2d::Translation({1, 0}).IsIdentity());
  EXPECT_FALSE(GTransf(GMatrix(1, 0, 0, 0, 2, 0, 0, 0, 1), {}, 1, 1, 0, 0).IsInvertible());
  EXPECT_TRUE(GTransf::Identity().IsInvertible());
  EXPECT_FALSE(GTransf2d::Scale(1e-17).IsInvertible());
}

// ---------------------------------------------------------------------------------------------------------
// Builders

TEST_F(Transforms, BuildersAtAPointKeepThePointFixed) {
  const GPosition p(1, 2, 3);
  GTransf t;
  GTransf::Scale(2, p, t);
  ExpectNear(p * t, p);
  ExpectNear((p + GVector(1, -1, 4)) * t, p + GVector(2, -2, 8));
  GTransf::Rotation(0.6, 0.8, GUnitVector(1, 1, 0), p, t);
  ExpectNear(p * t, p);
  EXPECT_EQ(t.m_hasRotation, 1);
  GTransf::Rotation(2.0, kY, p, t);
  ExpectNear(p * t, p);
  GTransf::Reflection(kZ, p, t);
  ExpectNear(p * t, p);
  ExpectNear(GPosition(0, 0, 5) * t, {0, 0, 1});
  EXPECT_EQ(t.m_hasReflection, 1);

  const GPosition2d q(-2, 5);
  ExpectNear(q * GTransf2d::Scale(3, q), q);
  ExpectNear(q * GTransf2d::Rotation(0.4, q), q);
  ExpectNear(q * GTransf2d::Rotation(0.6, 0.8, q), q);
  const GTransf2d mirror = GTransf2d::Reflection({1, 0}, q);
  ExpectNear(GPosition2d(0, 6) * mirror, {0, 4});
  EXPECT_EQ(mirror.m_hasReflection, 1);
  EXPECT_EQ(log_.Take(), Messages{});
}

TEST_F(Transforms, FrameMapsFrameCoordinatesToTheWorld) {
  GTransf t;
  GTransf::FromFrame({1, 2, 3}, kY, GUnitVector(1, 1, 0), t);  // x along y, y along x, so z along -z
  ExpectNear(GPosition(2, 3, 4) * t, GPosition(1, 2, 3) + GVector(3, 2, -4));
  EXPECT_EQ(t.m_hasRotation, 1);

  // From a z axis alone: the third row is that axis and the rows are orthonormal.
  for (const GVector z : {GVector(0, 0, 1), GVector(0, 0, -2), GVector(1, 2, 3), GVector(-5, 0.1, 0.2)}) {
    GTransf::FromFrame({}, z, t);
    const GUnitVector e(z);
    EXPECT_NEAR(t.m_matrix.m[2][0], e.x, 1e-15);
    EXPECT_NEAR(t.m_matrix.m[2][1], e.y, 1e-15);
    EXPECT_NEAR(t.m_matrix.m[2][2], e.z, 1e-15);
    EXPECT_TRUE(t.m_matrix.IsOrthogonal());
    EXPECT_GT(t.m_matrix.Determinant(), 0);
  }
  GTransf::FromFrame({}, GVector(0, 0, 7), t);
  EXPECT_TRUE(t.IsIdentity());

  const GTransf2d frame = GTransf2d::FromFrame({1, 1}, {0, 1}, {-3, 5});
  EXPECT_EQ(frame.m_hasRotation, 1);
  ExpectNear(GPosition2d(1, 2) * frame, {-1, 2});
  const GTransf2d mirrored = GTransf2d::FromFrame({}, {1, 0}, {1, -1});
  EXPECT_EQ(mirrored.m_hasReflection, 1);
  EXPECT_EQ(log_.Take(), Messages{});
  const GTransf2d parallel = GTransf2d::FromFrame({}, {1, 0}, {2, 0});
  EXPECT_EQ(parallel.m_hasReflection, 1);
  EXPECT_EQ(log_.Take(), Messages{"GUnitVector2d: tried to create a NULL unit vector"});
}

TEST_F(Transforms, FrameToFrameMapsOneFrameOntoTheOther) {
  const GPosition p1(1, 0, 0), p2(5, 5, 5);
  const GUnitVector x2(0, 0, 1), y2(GUnitVector(1, 1, 0));
  GTransf t;
  int rc = -1;
  GTransf::FrameToFrame(p1, kX, kY, p2, x2, y2, t, &rc);
  EXPECT_EQ(rc, 0);
  ExpectNear(p1 * t, p2);
  ExpectNear((p1 + GVector(kX)) * t, p2 + GVector(x2));
  ExpectNear((p1 + GVector(kY)) * t, p2 + GVector(y2));
  EXPECT_EQ(log_.Take(), Messages{});

  // Refusals leave out as it was.
  const GTransf before = t;
  GUnitVector raw;
  raw.x = raw.y = 1;
  GTransf::FrameToFrame(p1, raw, kY, p2, x2, y2, t, &rc);
  EXPECT_EQ(rc, 2);
  GTransf::FrameToFrame(p1, kX, kY, p2, x2, GUnitVector(), t, &rc);
  EXPECT_EQ(rc, 2);
  GTransf::FrameToFrame(p1, kX, kX, p2, x2, y2, t, &rc);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(log_.Take(), (Messages{"GUnitVector: vector is not a unit vector", "GUnitVector: using a NULL unit vector",
                                   "Vectors are not orthogonal"}));
  EXPECT_EQ(std::memcmp(&before, &t, sizeof t), 0);
}

// ---------------------------------------------------------------------------------------------------------
// Conversions and angles

TEST_F(Transforms, ConversionToThePlaneLogsWhatItDrops) {
  GTransf t;
  GTransf::Rotation(0.5, kZ, t);
  t.m_translation = {1, 2, 3};
  t.m_scaling = 2;
  GTransf2d planar;
  t.Convert2d(planar);
  EXPECT_EQ(log_.Take(), Messages{});
  EXPECT_TRUE(planar.IsEqual(GTransf2d::Rotation(0.5) * GTransf2d::Scale(2) * GTransf2d::Translation({1, 2})));
  EXPECT_EQ(planar.m_hasRotation, 1);

  GTransf::Rotation(0.5, kX, t);
  t.Convert2d(planar);
  EXPECT_EQ(log_.Take(), (Messages{"z coordinate of row 0 or row 1 > distanceTolerance",
                                   "row 2 coordinates > distanceTolerance", "third coordinate in row 2 not 1.0"}));
  EXPECT_EQ(planar.m_matrix.m[1][1], t.m_matrix.m[1][1]);

  GTransf::Reflection(kY, t);
  t.Convert2d(planar);
  EXPECT_EQ(planar.m_hasReflection, 1);
  GTransf::Reflection(kZ, t);
  t.Convert2d(planar);
  EXPECT_EQ(log_.Take(), Messages{"third coordinate in row 2 not 1.0"});

  // And back: the plane's transform acts on x and y and keeps z.
  const GTransf lifted(GTransf2d::Rotation(0.3, {1, 1}));
  GPosition2d q = GPosition2d(4, -2) * GTransf2d::Rotation(0.3, {1, 1});
  ExpectNear(GPosition(4, -2, 7) * lifted, {q.x, q.y, 7});
}

TEST_F(Transforms, RotationAnglesComposeBackToTheRotation) {
  GTransf rx, ry, rz;
  GTransf::Rotation(0.3, kX, rx);
  GTransf::Rotation(-0.4, kY, ry);
  GTransf::Rotation(2.5, kZ, rz);
  double a[3];
  GVector translation(9, 9, 9);
  GTransf t = rx * ry * rz;
  t.m_translation = {1, 2, 3};
  EXPECT_EQ(t.GetRotationAngles(&a[0], &a[1], &a[2], &translation), 0);
  EXPECT_NEAR(a[0], 0.3, 1e-12);
  EXPECT_NEAR(a[1], -0.4, 1e-12);
  EXPECT_NEAR(a[2], 2.5, 1e-12);
  EXPECT_TRUE(translation.IsEqual({1, 2, 3}));

  // Of the two triples the smaller: a half turn about y, not half turns about x and z with no y angle.
  GTransf::Rotation(kPi, kY, t);
  t.GetRotationAngles(&a[0], &a[1], &a[2], nullptr);
  EXPECT_NEAR(a[0], 0, 1e-15);
  EXPECT_NEAR(a[1], kPi, 1e-15);
  EXPECT_NEAR(a[2], 0, 1e-15);

  GTransf::Rotation(kPi / 2, kY, t);
  t.GetRotationAngles(&a[0], &a[1], &a[2], nullptr);
  EXPECT_NEAR(a[0], 0, 1e-15);
  EXPECT_NEAR(a[1], kPi / 2, 1e-15);
  EXPECT_EQ(a[2], 0);
  GTransf::Rotation(-kPi / 2, kY, ry);
  (rx * ry).GetRotationAngles(&a[0], &a[1], &a[2], nullptr);
  EXPECT_NEAR(a[0], 0.3, 1e-12);
  EXPECT_NEAR(a[1], -kPi / 2, 1e-15);

  GTransf::Reflection(kX, t);
  t.GetRotationAngles(&a[0], &a[1], &a[2], nullptr);
  EXPECT_EQ(a[0] + a[1] + a[2], 0);
}

TEST_F(Transforms, PlaneRotationAngleLiesInAFullTurn) {
  int rc = -1;
  EXPECT_NEAR(GTransf2d::Rotation(-kPi / 2).GetRotationAngle(&rc), 3 * kPi / 2, 1e-15);
  EXPECT_EQ(rc, 0);
  for (double angle : {0.0, 0.4, kPi / 2, 2.0, kPi, 4.0, 3 * kPi / 2, 5.5, -0.3})
    EXPECT_NEAR(GTransf2d::Rotation(angle).GetRotationAngle(&rc), angle < 0 ? angle + 2 * kPi : angle, 1e-12) << angle;
  EXPECT_EQ(log_.Take(), Messages{});

  EXPECT_EQ(GTransf2d::Reflection({1, 1}, {}).GetRotationAngle(&rc), 0.0);
  EXPECT_EQ(rc, 2);
  const GTransf2d collapsed(GMatrix2d(), {}, 1, 1, 0, 0);
  EXPECT_EQ(collapsed.GetRotationAngle(&rc), 0.0);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(log_.Take(), (Messages{"transformation has no rotation", "both angle values are 0.0"}));
}

TEST_F(Transforms, FromMatrix4x4AcceptsOnlySimilarities) {
  GTransf t;
  GTransf::Rotation(0.9, GUnitVector(1, -2, 2), t);
  t.m_scaling = 3;
  t.m_translation = {4, 5, 6};
  GTransf back;
  EXPECT_EQ(GTransf::FromMatrix4x4(G4x4(t), back), 0);
  EXPECT_NEAR(back.m_scaling, 3, 1e-13);
  EXPECT_TRUE(back.IsEqual(t));
  EXPECT_EQ(back.m_hasRotation, 1);
  EXPECT_TRUE(GTransf(G4x4(t)).IsEqual(t));

  GTransf mirror;
  GTransf::Reflection(GUnitVector(1, 1, 1), mirror);
  EXPECT_EQ(GTransf::FromMatrix4x4(G4x4(mirror), back), 0);
  EXPECT_EQ(back.m_hasReflection, 1);

  G4x4 m = G4x4(t);
  m.m_matrix[15] = 2;
  EXPECT_EQ(GTransf::FromMatrix4x4(m, back), 2);
  EXPECT_TRUE(back.IsZero());
  m = G4x4(t);
  m.m_matrix[7] = std::nan("");
  EXPECT_EQ(GTransf::FromMatrix4x4(m, back), 2);
  int rc = 0;
  u4x4Scale(1, 2, 1, m, &rc);
  EXPECT_EQ(GTransf::FromMatrix4x4(m, back), 2);
  EXPECT_TRUE(GTransf(m).IsZero());

  // The plane's conversion demands exact zeros and leaves out alone when it refuses.
  GTransf2d planar = GTransf2d::Translation({7, 7});
  u4x4RotateAngleAtPoint(0.5, kZ, {1, 2, 0}, m, &rc);
  m.m_matrix[0] *= 2, m.m_matrix[1] *= 2, m.m_matrix[4] *= 2, m.m_matrix[5] *= 2;
  EXPECT_EQ(GTransf2d::FromMatrix4x4(m, planar), 0);
  EXPECT_NEAR(planar.m_scaling, 2, 1e-14);
  EXPECT_TRUE(planar.m_matrix.IsEqual(GTransf2d::Rotation(0.5).m_matrix));
  m.m_matrix[14] = 1e-300;
  EXPECT_EQ(GTransf2d::FromMatrix4x4(m, planar), 2);
  EXPECT_NEAR(planar.m_scaling, 2, 1e-14);
  u4x4Mirror(kX, m, &rc);
  EXPECT_EQ(GTransf2d::FromMatrix4x4(m, planar), 0);
  EXPECT_EQ(planar.m_hasReflection, 1);
}

TEST_F(Transforms, OrthonormalizeRepairsADriftedMatrix) {
  GTransf t;
  GTransf::Rotation(0.8, GUnitVector(3, 1, 2), t);
  t.m_translation = {1, 2, 3};
  t.m_scaling = 5;
  t.m_matrix.m[0][1] += 1e-7;
  t.m_hasRotation = 0;
  t.m_hasShear = 1;
  GTransf out;
  int changed = -1, rc = -1;
  GTransf::Orthonormalize(t, out, &changed, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(changed, 1);
  EXPECT_FALSE(t.m_matrix.IsOrthogonal());
  EXPECT_TRUE(out.m_matrix.IsOrthogonal());
  EXPECT_EQ(out.m_hasRotation, 1);
  EXPECT_EQ(out.m_hasShear, 0);
  EXPECT_EQ(out.m_scaling, 5);
  EXPECT_TRUE(out.m_translation.IsEqual({1, 2, 3}));

  GTransf::Reflection(kZ, t);
  t.m_matrix.m[2][2] *= 1.0000001;
  GTransf::Orthonormalize(t, out, &changed, &rc);
  EXPECT_EQ(out.m_hasReflection, 1);
  EXPECT_EQ(out.m_hasRotation, 0);
}

}  // namespace
