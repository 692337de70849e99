// Offsets of typed curves: the exact moves of lines and circles, the library road of line strings, conics and
// B-spline curves with its result types, refusals, and a failing library or allocator leaving nothing behind.
#include <cmath>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/geometry/geometry_test_support.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

class Offsets : public TypedCurves {};

// The library's offset answering its shortfall code, with its result written.
void FailOffsetHook(const char* lname, int* rc) {
  if (std::string(lname) == "bscvoffsetd" && *rc == 0) *rc = 5;
}

// Names of the validators that ran; the typed-curve validator's own code is forced to a failure, which the
// offset must not pass on.
std::set<std::string> gValidators;
void ValidatorHook(const char* lname, int* rc) {
  const std::string name(lname);
  if (name.find("val2") != std::string::npos) gValidators.insert(name);
  if (name == "imtcval2" && rc) *rc = 1;
}

// Largest gap between the result's distance to the input and the distance asked.
double WorstGap(const GTypedCurve& input, const GTypedCurve& offset, double distance) {
  const auto [nearest, farthest] = DistanceRange(input, &offset, 1, 40);
  return std::max(std::fabs(nearest - std::fabs(distance)), std::fabs(farthest - std::fabs(distance)));
}

TEST_F(Offsets, EachTypeMovesByItsRuleOrIsRefused) {
  struct Case {
    const char* what;
    std::function<GTypedCurve()> make;
    GPosition side;
    double distance;
    int corner;
    int rc;
    std::uint8_t type;                                        // of a made result
    std::function<void(const GTypedCurve&, const GTypedCurve&)> check;  // of a made result
  };
  const GUnitVector z(0, 0, 1);
  auto radius = [](double r) {
    return [r](const GTypedCurve&, const GTypedCurve& out) {
      EXPECT_NEAR(Rec<GEllipse>(out).majorAxis.Length(), r, 1e-12);
    };
  };
  auto atDistance = [](double d) {
    return [d](const GTypedCurve& in, const GTypedCurve& out) { EXPECT_LE(WorstGap(in, out, d), BStoltab[bstol::offset_tol]); };
  };
  const auto line = [] { return Line({0, 0, 0}, {4, 0, 0}); };
  const auto tilted = [] { return Line({1e3 + 0.1, 1e3 + 0.3, 0}, {1e3 + 3.1, 1e3 + 7.3, 0}); };
  const auto circle = [] { return Ellipse({1, 1, 0}, {0, 0, 1}, {2, 0, 0}, 1.0); };
  const auto ellipse = [] { return Ellipse({0, 0, 0}, {0, 0, 1}, {3, 0, 0}, 0.5); };
  const auto ell = [] { return LineString({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}}); };
  const std::vector<Case> cases = {
      {"a record kept by the library", [] { return Make(kCurveLibrary, GArc{}); }, {0, 1, 0}, 1, 0, 0, 0, nullptr},
      {"a side point on the line", line, {2, 0, 0}, 1, 0, 5, 0, nullptr},
      {"a side point beyond the line's end", line, {9, 0, 0}, 1, 0, 4, 0, nullptr},
      {"a side point beyond a tilted line's end", tilted, {1e3 + 7.0, 1e3 + 16.4, 0}, 1, 0, 4, 0, nullptr},
      {"a negative distance moves the line away", line, {2, 3, 0}, -0.5, 0, 0, kCurveLine,
       [](const GTypedCurve&, const GTypedCurve& out) {
         EXPECT_NEAR(Rec<GLine>(out).rootPoint.y, -0.5, 1e-15);
         EXPECT_EQ(Rec<GLine>(out).end, 4.0);
       }},
      {"a side point at a circle's centre", circle, {1, 1, 0}, 0.5, 0, 0, kCurveEllipse, radius(1.5)},
      {"a side point outside the circle", circle, {9, 1, 0}, 0.5, 0, 0, kCurveEllipse, radius(2.5)},
      {"a circle collapsing to its centre", circle, {1, 1, 0}, 2, 0, 5, 0, nullptr},
      {"a circular arc", [] { return Arc({0, 0, 0}, {0, 0, 1}, {0, 2, 0}, 1.0, 0.25, 2.0); }, {5, 5, 0}, 1, 0, 0,
       kCurveArc,
       [](const GTypedCurve& in, const GTypedCurve& out) {
         const GArc& a = Rec<GArc>(in);
         const GArc& b = Rec<GArc>(out);
         EXPECT_NEAR(b.majorAxis.y, 3.0, 1e-12);
         EXPECT_TRUE(b.center.IsEqual(a.center) && b.startAngle == a.startAngle && b.endAngle == a.endAngle &&
                     b.normal.z == 1.0);
       }},
      {"an ellipse offset outwards", ellipse, {9, 9, 0}, 0.4, 0, 0, kCurveBspline, atDistance(0.4)},
      // Inwards past its least radius of curvature the offset makes a loop about each end of the major axis, and
      // it starts inside one of them; by a cusp of a loop the offset kinks into a small loop of its own, which must
      // not be taken as the loop the start lies in.
      {"an ellipse offset inwards nearly to its minor radius",
       [] { return Ellipse({0, -10.625, 0}, {0, 0, 1}, {-15, -15, 0}, 0.5); }, {0.125, -15, 0}, 9.75, 0, 0,
       kCurveBspline, atDistance(9.75)},
      // Here the kink's tip, the middle of the small loop, runs the way the ellipse does and sees no crossing on
      // its way to the ellipse, yet lies nearer to it than the distance.
      {"an ellipse offset inwards nearly to its minor radius, start beside a kink",
       [] { return Ellipse({0, -10.625, 0}, {0, 0, 1}, {-14.875, -15, 0}, 0.5); }, {0.125, -15, 0}, 9.75, 0, 0,
       kCurveBspline, atDistance(9.75)},
      {"an ellipse offset inwards past its minor radius", ellipse, {0.1, 0, 0}, 1.6, 0, 5, 0, nullptr},
      {"a side point on the ellipse", ellipse, {0, 1.5, 0}, 0.4, 0, 5, 0, nullptr},
      {"a non-circular arc, side point beyond its angles",
       [] { return Arc({0, 0, 0}, {0, 0, 1}, {3, 0, 0}, 0.5, 0.0, 1.5); }, {-9, -9, 0}, 0.3, 0, 0, kCurveBspline,
       atDistance(0.3)},
      {"a line string with corner flag 0", ell, {0, 1, 0}, 0.5, 0, 0, kCurveLineString,
       [](const GTypedCurve&, const GTypedCurve& out) {
         const GLineString& ls = Rec<GLineString>(out);
         ASSERT_EQ(ls.numPoints, 3u);
         EXPECT_LT(Distance(ls.pPoints[1], {1.5, 0.5, 0}), 1e-12);
       }},
      {"a line string with corner flag 1", ell, {3, -1, 0}, 0.5, 1, 0, kCurveBspline, atDistance(0.5)},
      {"a line string, negative distance", [] { return LineString({{0, 0, 0}, {2, 0, 0}, {4, 1, 0}}); }, {1, 1, 0},
       -0.5, 0, 0, kCurveLineString,
       [](const GTypedCurve&, const GTypedCurve& out) { EXPECT_NEAR(Rec<GLineString>(out).pPoints[0].y, -0.5, 1e-12); }},
      // The middle leg is shorter than the distance: its offset has nothing left, and the outer corner's arc
      // about (4, 0.25) must cut the first leg's offset rather than start from their mitre point.
      {"a short leg between an inner and an outer corner, round corners",
       [] { return LineString({{0, 0, 0}, {4, 0, 0}, {4, 0.25, 0}, {8, 0.25, 0}}); }, {2, 1, 0}, 0.5, 1, 0,
       kCurveBspline, atDistance(0.5)},
      // The legs lie closer than twice the distance: their offsets cannot be joined, and the line that bridges
      // them follows the first leg's offset, which starts by the first point.
      {"a line string turning back closer than twice the distance",
       [] { return LineString({{0, 4, 0}, {0.25, 8, 0}, {0.25, 2, 0}}); }, {-14.375, 1, 0}, 0.5, 0, 0,
       kCurveLineString,
       [](const GTypedCurve&, const GTypedCurve& out) {
         const GLineString& ls = Rec<GLineString>(out);
         ASSERT_GE(ls.numPoints, 2u);
         EXPECT_NEAR(Distance(ls.pPoints[0], {0, 4, 0}), 0.5, 1e-9);
         EXPECT_GT(ls.pPoints[1].y, 7.0);
       }},
      {"a cubic B-spline curve",
       [] { return Bspline(4, {{0, 0, 0}, {1, 2, 0}, {3, 2, 0}, {4, 0, 0}}, {0, 0, 0, 0, 1, 1, 1, 1}); }, {2, 0, 0},
       0.25, 0, 0, kCurveBspline, atDistance(0.25)},
      // Weighted down to nothing the poles vanish in the library's form: even the copy that a distance below the
      // tolerance makes cannot come back from it.
      {"a rational cubic with vanishing weights",
       [] {
         return Bspline(4, {{0, 0, 0}, {1, 2, 0}, {3, 2, 0}, {4, 0, 0}}, {0, 0, 0, 0, 1, 1, 1, 1},
                        {1e-300, 1e-300, 1e-300, 1e-300});
       },
       {2, 0, 0}, 1e-300, 0, 5, 0, nullptr},
      // Its tangent turns back within a radius far below the distance: no offset can follow the turn in step, and
      // one whose check points were met out of step strayed to 2.5 times the distance between them.
      {"a cubic turning back at a near-cusp, round corners",
       [] { return Bspline(4, {{-14.875, -14.375, 0}, {0, 0, 0}, {3, -14.5, 0}, {-14.75, 0, 0}}, {0, 0, 0, 0, 1, 1, 1, 1}); },
       {-11, 0, 0}, 0.125, 1, 1, 0, nullptr},
      {"a distance that is not a number", ell, {0, 1, 0}, std::nan(""), 0, 5, 0, nullptr},
      {"a side point that is not finite", circle, {INFINITY, 0, 0}, 1, 0, 5, 0, nullptr},
      {"a record that is missing", [] { return GTypedCurve{nullptr, kCurveBspline}; }, {0, 1, 0}, 1, 0, 5, 0,
       nullptr},
  };
  for (const Case& c : cases) {
    GTypedCurve in = c.make();
    GTypedCurve out{reinterpret_cast<void*>(1), 99};
    int map[2] = {-7, -7};
    int rc = -1;
    IMTCOffI(&in, &c.side, c.distance, c.corner, &out, map, &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    if (c.rc == 0) {
      EXPECT_EQ(map[0], 0) << c.what;  // an empty result of a type left alone included
    }
    if (c.rc == 0 && c.type != 0) {
      EXPECT_EQ(out.type, c.type) << c.what;
      if (out.pCurve && out.type == c.type && c.check) c.check(in, out);
    } else {
      // A bad argument is refused before anything is written; any other failure leaves an empty result.
      const bool bad = !in.pCurve || std::isnan(c.distance) || !std::isfinite(c.side.x);
      EXPECT_EQ(out.pCurve, bad ? reinterpret_cast<void*>(1) : nullptr) << c.what;
    }
    if (out.pCurve != reinterpret_cast<void*>(1)) Free(out);
    if (in.pCurve) Free(in);
  }
}

TEST_F(Offsets, FailuresLeaveAnEmptyResultAndNoBlocks) {
  GTypedCurve ls = LineString({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {5, 1, 0}});
  const GPosition side{0, 1, 0};
  const double distance = 0.5;
  const int corner = 0;
  int rc = -1;
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    BSsetfaulthook(FailOffsetHook);
    GTypedCurve out{};
    IMTCOff(&ls, &side, &distance, &corner, &out, &rc);
    BSsetfaulthook(nullptr);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out.pCurve, nullptr);
    EXPECT_EQ(BSdbgliveblocks(), lib_);
  }

  GTypedCurve el = Ellipse({0, 0, 0}, {0, 0, 1}, {3, 0, 0}, 0.5);
  GTypedCurve arc = Arc({0, 0, 0}, {0, 0, 1}, {3, 0, 0}, 0.5, 0.0, 1.5);  // through BScvoffset
  for (GTypedCurve* tc : {&ls, &el, &arc}) {
    // The conversions, the offset and the record are all reached.
    ExpectAllocationFailuresLeaveNothing([&](GTypedCurve* result) {
      IMTCOff(tc, &side, &distance, &corner, result, &rc);
      return rc;
    }, 3);
    Free(*tc);
  }
}

TEST_F(Offsets, ResultsAreValidatedWhenAskedWithoutChangingRc) {
  GeomLogCapture log;
  struct Case {
    const char* what;
    std::function<GTypedCurve()> make;
    Messages messages;  // with validation on
  };
  const std::vector<Case> cases = {
      {"an ellipse", [] { return Ellipse({0, 0, 0}, {0, 0, 1}, {3, 0, 0}, 0.5); }, {}},
      // The copied bounds make an invalid result of a sound offset.
      {"a line with its bounds swapped", [] { return Make(kCurveLine, GLine{{0, 0, 0}, {1, 0, 0}, 2.0, 1.0}); },
       {"GLine: start > end"}},
  };
  const GPosition side{1, 0.5, 0};
  const double distance = 0.5;
  const int corner = 0;
  for (const bool slow : {false, true})
    for (const int on : {0, 1}) {
      {
        const bstest::SlowRoads roads(slow);
        SCOPED_TRACE(slow ? "slow roads" : "short roads");
        ScopedDebugValue enabled("ValidateMathEnabled", on);
        ResetValidateMathCache();
        for (const Case& c : cases) {
          GTypedCurve in = c.make();
          GTypedCurve out{};
          int rc = -1;
          gValidators.clear();
          BSsetfaulthook(ValidatorHook);
          IMTCOff(&in, &side, &distance, &corner, &out, &rc);
          BSsetfaulthook(nullptr);
          EXPECT_EQ(rc, 0) << c.what << on;
          EXPECT_EQ(gValidators.count("imtcval2"), static_cast<std::size_t>(on)) << c.what;
          EXPECT_EQ(log.Take(), on ? c.messages : Messages{}) << c.what;
          Free(out);
          Free(in);
        }
      }
      ResetValidateMathCache();
    }
}

// A picture for a reader: a zig-zag (black) offset to its left (red) and right (blue), sharp corners above, round
// ones below. Each sharp leg lies on the parallel of its input leg; the round offset keeps the distance all along.
TEST_F(Offsets, WritesAZigZagWithItsOffsets) {
  const std::vector<GPosition> zig = {{0, 0, 0}, {3, 2, 0}, {6, -1, 0}, {9, 2, 0}, {12, 0, 0}};
  // Signed distance of p from the line of leg i, positive on its left.
  const auto across = [&](int i, const GPosition& p) {
    const GVector leg = zig[i + 1] - zig[i], w = p - zig[i];
    return (leg.x * w.y - leg.y * w.x) / leg.Length();
  };
  const double d = 0.5, tol = BStoltab[bstol::offset_tol];
  GTypedCurve in = LineString(zig);
  std::FILE* f = std::fopen("curve_offsets.svg", "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "<svg xmlns='http://www.w3.org/2000/svg' viewBox='-1 -4 14 16'>\n");
  const auto draw = [&](const std::vector<GPosition>& points, double dy, const char* colour) {
    std::fprintf(f, "<polyline fill='none' stroke-width='0.04' stroke='%s' points='", colour);
    for (const GPosition& p : points) std::fprintf(f, "%.4f,%.4f ", p.x, dy - p.y);
    std::fprintf(f, "'/>\n");
  };
  for (const int corner : {0, 1}) {
    draw(zig, 8.0 * corner, "black");
    for (const double left : {1.0, -1.0}) {
      const GPosition side{1.5 - left * 0.2, 1 + left * 0.3, 0};
      GTypedCurve out{};
      int rc = -1;
      IMTCOff(&in, &side, &d, &corner, &out, &rc);
      ASSERT_EQ(rc, 0) << corner << left;
      VOQbsp_curve* cv = nullptr;
      IMGTCIcv(&out, &cv, &rc);
      ASSERT_EQ(rc, 0);
      std::vector<GPosition> points;
      if (corner == 0) {
        ASSERT_EQ(out.type, kCurveLineString);
        const GLineString& ls = Rec<GLineString>(out);
        ASSERT_EQ(ls.numPoints, 5u);
        points.assign(ls.pPoints, ls.pPoints + 5);
        for (int i = 0; i + 1 < 5; ++i) {
          EXPECT_NEAR(across(i, points[i]), left * d, 1e-12) << left << " leg " << i;
          EXPECT_NEAR(across(i, points[i + 1]), left * d, 1e-12) << left << " leg " << i;
        }
      } else {
        ASSERT_EQ(out.type, kCurveBspline);
        const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
        for (int j = 0; j <= 400; ++j) points.push_back(Evaluate(cv, a + (b - a) * j / 400));
        const auto [nearest, farthest] = DistanceRange(in, &out, 1, 400);
        EXPECT_NEAR(nearest, d, tol) << left;
        EXPECT_NEAR(farthest, d, tol) << left;
        EXPECT_NEAR(across(0, points.front()), left * d, tol);
        EXPECT_NEAR(across(3, points.back()), left * d, tol);
      }
      draw(points, 8.0 * corner, left > 0 ? "red" : "blue");
      Free(cv);
      Free(out);
    }
  }
  std::fprintf(f, "</svg>\n");
  EXPECT_EQ(std::fclose(f), 0);
  Free(in);
}

}  // namespace
