// The geometry library's answers as the layer sees them through its platform seam, pinned on small point
// sets: the classification the conversions rely on, the knot check, the orientation and its tolerances.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "bspline/bspline.h"
#include "geometry/platform.h"
#include "host/quarnet/geom_services.h"
#include "tests/geometry/geometry_test_support.h"

namespace {

namespace qn = geomplatform;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class GeometryLibrary : public ::testing::Test {
 protected:
  void SetUp() override { QnGeomReset(); }
  void TearDown() override { QnGeomReset(); }
};

TEST_F(GeometryLibrary, ScopeOfPoleSets) {
  struct Case {
    const char* what;
    std::vector<double> poles;
    std::vector<double> weights;  // empty: not rational
    int rc, scope;
  };
  const std::vector<Case> cases = {
      {"one pole", {1, 2, 3}, {}, 0, 3},
      {"coincident within the tolerance", {1, 1, 1, 1 + 9e-7, 1, 1, 1, 1 - 5e-7, 1}, {}, 0, 3},
      {"collinear along a diagonal", {0, 0, 0, 1, 1, 1, 3, 3, 3}, {}, 0, 2},
      // A line through the first two poles would miss the third by far; the poles lie on the x axis within
      // the tolerance.
      {"a near pole off the line by 0.9 of the tolerance", {0, 0, 0, 2e-6, 9e-7, 0, 10, 0, 0}, {}, 0, 2},
      {"off the line by twice the tolerance", {0, 0, 0, 1, 2e-6, 0, 2, 0, 0}, {}, 0, 1},
      {"a tilted square", {0, 0, 0, 1, 0, 1, 1, 1, 1, 0, 1, 0}, {}, 0, 1},
      {"a tetrahedron", {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {}, 0, 4},
      {"weighted poles of a line", {1, 0, 0, 4, 2, 0, 9, 6, 0}, {1, 2, 3}, 0, 2},
      {"the same poles taken as plain", {1, 0, 0, 4, 2, 0, 9, 6, 0}, {}, 0, 1},
      {"zero weight", {0, 0, 0, 1, 0, 0}, {1, 0}, 1, -1},
      {"NaN pole", {0, 0, 0, kNaN, 0, 0}, {}, 1, -1},
      {"infinite pole", {0, 0, 0, kInf, 0, 0}, {}, 1, -1},
      {"no poles", {}, {}, 1, -1},
  };
  for (const Case& c : cases) {
    std::uint8_t scope = 0xFF;
    int rc = -1;
    qn::GeomScopeOfPoles(static_cast<int>(c.poles.size() / 3), c.poles.data(), !c.weights.empty(),
                         c.weights.data(), &scope, &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    if (c.rc == 0) {
      EXPECT_EQ(scope, c.scope) << c.what;
    }
  }
}

TEST_F(GeometryLibrary, FormOfCurves) {
  std::vector<double> poles = {0, 0, 0, 1, 1, 0, 2, 0, 0, 4e-7, 0, 0};
  std::vector<double> weights = {1, 1, 1, 2};
  VOQbsp_curve cv{};
  cv.num_poles = 4;
  cv.poles = poles.data();
  struct Case {
    const char* what;
    std::uint16_t periodic, rational;
    double lastX;
    std::uint8_t form;
  };
  for (const Case& c : {Case{"ends within the tolerance", 0, 0, 4e-7, 2}, Case{"open", 0, 0, 2e-6, 1},
                        Case{"periodic", 1, 0, 3.0, 6}, Case{"weighted end, unweighted near", 0, 1, 1.6e-6, 2},
                        Case{"weighted end, unweighted far", 0, 1, 4e-6, 1}}) {
    cv.periodic = c.periodic;
    cv.rational = c.rational;
    cv.weights = c.rational ? weights.data() : nullptr;
    poles[9] = c.lastX;
    std::uint8_t form = 0;
    int rc = -1;
    qn::GeomFormFromScope(&cv, 4, &form, &rc);
    EXPECT_EQ(rc, 0) << c.what;
    EXPECT_EQ(form, c.form) << c.what;
  }
  int rc = 0;
  std::uint8_t form = 0;
  qn::GeomFormFromScope(nullptr, 1, &form, &rc);
  EXPECT_EQ(rc, 1);
}

TEST_F(GeometryLibrary, PointReductionDropsRepeatsButNeverCollinearPoints) {
  struct Case {
    const char* what;
    int dimension, mode;
    std::vector<double> points, kept;
    int rc;
  };
  const std::vector<Case> cases = {
      {"collinear kept", 3, 1, {0, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 0, 0, 1, 0, 0, 2, 0, 0}, 0},
      {"repeats within the tolerance of the last kept", 3, 1,
       {0, 0, 0, 5e-7, 0, 0, 9e-7, 0, 0, 1, 0, 0, 1, 1e-7, 0}, {0, 0, 0, 1, 0, 0}, 0},
      {"a slow drift is measured from the last kept, not the last seen", 3, 1,
       {0, 0, 0, 6e-7, 0, 0, 1.2e-6, 0, 0, 1.8e-6, 0, 0}, {0, 0, 0, 1.2e-6, 0, 0}, 0},
      {"all coincide", 3, 1, {5, 5, 5, 5, 5, 5}, {5, 5, 5}, 0},
      {"2D points", 2, 1, {0, 0, 0, 0, 1, 1}, {0, 0, 1, 1}, 0},
      {"NaN", 3, 1, {0, 0, 0, kNaN, 0, 0}, {}, 1},
      {"unknown mode", 3, 2, {0, 0, 0, 1, 0, 0}, {}, 1},
      {"four doubles a point", 4, 1, {0, 0, 0, 0, 1, 0, 0, 0}, {}, 1},
  };
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.points.size()) / c.dimension;
    std::vector<double> out = c.points;  // reduced in place
    int m = -1, aux = -1, rc = -1;
    qn::GeomPointsToLineString(n, out.data(), c.dimension, c.mode, &aux, &m, out.data(), &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    if (rc != 0) continue;
    EXPECT_EQ(m * c.dimension, static_cast<int>(c.kept.size())) << c.what;
    EXPECT_EQ(aux, n - m) << c.what;
    out.resize(c.kept.size());
    EXPECT_EQ(out, c.kept) << c.what;
  }
}

TEST_F(GeometryLibrary, KnotVectors) {
  struct Case {
    const char* what;
    int order;
    std::vector<double> knots;
    double tolerance;
    int rc, ok;
  };
  const std::vector<Case> cases = {
      {"clamped cubic", 4, {0, 0, 0, 0, 1, 2, 2, 2, 2}, 1e-9, 0, 1},
      {"interior knot of multiplicity order", 3, {0, 0, 0, 1, 1, 1, 2, 2, 2}, 1e-9, 0, 1},
      {"interior multiplicity above the order", 2, {0, 0, 1, 1, 1, 2, 2}, 1e-9, 0, 0},
      {"near-equal knots count as one run", 2, {0, 0, 1, 1 + 1e-12, 1 + 2e-12, 2, 2}, 1e-9, 0, 0},
      {"decreasing", 2, {0, 0, 1, 0.5, 2, 2}, 1e-9, 0, 0},
      {"fewer poles than the order", 3, {0, 0, 0, 1, 1}, 1e-9, 0, 0},
      {"an empty range", 2, {0, 1, 1, 1, 1, 3}, 1e-9, 0, 0},
      {"a range within the tolerance", 2, {0, 0, 1e-10, 1e-10}, 1e-9, 0, 0},
      {"NaN knot", 2, {0, 0, kNaN, 1, 1}, 1e-9, 0, 0},
      {"order below 2", 1, {0, 1, 2}, 1e-9, 0, 0},
      {"negative tolerance", 2, {0, 0, 1, 1}, -1e-9, 1, -1},
      {"NaN tolerance", 2, {0, 0, 1, 1}, kNaN, 1, -1},
  };
  for (const Case& c : cases) {
    int ok = -1, rc = -1;
    qn::GeomValidateKnots(static_cast<int>(c.knots.size()), c.order, c.knots.data(), c.tolerance, &ok, &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    if (c.rc == 0) {
      EXPECT_EQ(ok, c.ok) << c.what;
    }
  }
}

TEST_F(GeometryLibrary, LoopOrientationAndErrorMapping) {
  const std::vector<double> ccw = {0, 0, 1, 0, 1, 1, 0, 1}, cw = {0, 0, 0, 1, 1, 1, 1, 0};
  const std::vector<double> line = {0, 0, 1, 1}, nan = {0, 0, 1, 0, kNaN, 1};
  int orientation = -1;
  qn::GeomLoopOrientation(4, ccw.data(), &orientation);
  EXPECT_EQ(orientation, 1);
  qn::GeomLoopOrientation(4, cw.data(), &orientation);
  EXPECT_EQ(orientation, 0);
  qn::GeomLoopOrientation(2, line.data(), &orientation);
  EXPECT_EQ(orientation, 1);
  qn::GeomLoopOrientation(3, nan.data(), &orientation);
  EXPECT_EQ(orientation, 0);

  for (auto [code, mapped] : {std::pair{-13, 6}, {33, 6}, {-6, 1}, {3, 1}}) {
    int rc = -1;
    qn::GeomRcFromMathError(code, &rc);
    EXPECT_EQ(rc, mapped) << code;
  }
}

TEST_F(GeometryLibrary, TolerancesRefuseWhatIsNotPositiveAndFinite) {
  const double values[] = {1e-8, 0.0, -1e-6, kNaN, kInf};
  for (double v : values) {
    int rc = -1;
    qn::GeomSetDistTolerance(v, &rc);
    EXPECT_EQ(rc, v == 1e-8 ? 0 : 2) << v;
  }
  EXPECT_EQ(QnGeomDistTolerance(), 1e-8);
}

}  // namespace
