// Evaluation of typed curves: parameters of points, ranges and ratios, points and tangents at parameters on the
// edges of their curves, the knot tolerance, and the form and scope of complex strings.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

constexpr double kD = 1e-6;  // the distance tolerance
constexpr double h = kPi / 2;

class Evaluation : public TypedCurves {};

// One call: its code and the numbers it answered.
struct Answer {
  int rc = -1;
  std::vector<double> values;
};

struct Case {
  const char* what;
  std::function<Answer()> call;
  int rc;
  std::vector<double> values;
  double tolerance = 1e-12;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const Answer a = c.call();
    EXPECT_EQ(a.rc, c.rc) << c.what;
    if (a.rc != 0 || c.rc != 0) continue;
    ASSERT_EQ(a.values.size(), c.values.size()) << c.what;
    for (std::size_t i = 0; i < c.values.size(); ++i) EXPECT_NEAR(a.values[i], c.values[i], c.tolerance) << c.what;
  }
}

// Each call gets a curve of its own, freed after it.
template <typename Make, typename Call>
std::function<Answer()> On(Make make, Call call) {
  return [make, call] {
    GTypedCurve tc = make();
    Answer a = call(tc);
    Free(tc);
    return a;
  };
}

Answer Parameter(void (*f)(const GArc*, const GPosition*, double*, int*), const GTypedCurve& tc, GPosition p) {
  Answer a{-1, {0}};
  f(&Rec<GArc>(tc), &p, &a.values[0], &a.rc);
  return a;
}

void EllipseParameter(const GArc* ar, const GPosition* p, double* t, int* rc) { IMGGElPFGPo(ar, p, t, rc); }

Answer Point(const GTypedCurve& tc, double t) {
  GPosition p;
  Answer a;
  IMTCGtPsPr(&tc, t, &p, &a.rc);
  a.values = {p.x, p.y, p.z};
  return a;
}

// An ellipse of radii 2 and 1 about (1, 1, 0); the arc from -pi/4 to pi/2 on it starts across 0.
GTypedCurve Ell() { return Ellipse({1, 1, 0}, {0, 0, 1}, {2, 0, 0}, 0.5); }
GTypedCurve ArcOn(double start, double end) { return Arc({1, 1, 0}, {0, 0, 1}, {2, 0, 0}, 0.5, start, end); }
GPosition On(double t, double lift = 0) { return {1 + 2 * std::cos(t), 1 + std::sin(t), lift}; }
// Radii 10 and 1: at pi/2 the curve moves 10 per radian.
GTypedCurve Flat() { return Arc({0, 0, 0}, {0, 0, 1}, {10, 0, 0}, 0.1, 0, kPi / 2); }
GPosition OnFlat(double t) { return {10 * std::cos(t), std::sin(t), 3 * kD}; }

TEST_F(Evaluation, ParametersOfPointsOnEllipsesAndArcs) {
  RunCases({
      {"3 pi / 2 stays positive", On(Ell, [](auto& tc) { return Parameter(EllipseParameter, tc, On(3 * h)); }), 0,
       {3 * h}},
      {"just below 0 is 0", On(Ell, [](auto& tc) { return Parameter(EllipseParameter, tc, On(-1e-9)); }), 0, {0}},
      {"across 0 on the arc", On([] { return ArcOn(-h / 2, h); },
                                 [](auto& tc) { return Parameter(IMGGArPFGPo, tc, On(-0.1)); }), 0, {-0.1}},
      {"near the end", On([] { return ArcOn(-h / 2, h); },
                          [](auto& tc) { return Parameter(IMGGArPFGPo, tc, On(h, 0.5 * kD)); }), 0, {h}, 0},
      {"off the arc", On([] { return ArcOn(-h / 2, h); },
                         [](auto& tc) { return Parameter(IMGGArPFGPo, tc, On(2 * h)); }), 5, {}},
      {"an end below its start", On([] { return ArcOn(3 * h, h); },
                                    [](auto& tc) { return Parameter(IMGGArPFGPo, tc, On(0.25)); }), 0,
       {0.25 + 4 * h}},
      {"within the tolerance along the curve", On(Flat, [](auto& tc) {
         return Parameter(IMGGArPFGPo, tc, OnFlat(h + 0.09 * kD)); }), 0, {h}, 0},
      {"beyond it", On(Flat, [](auto& tc) { return Parameter(IMGGArPFGPo, tc, OnFlat(h + 0.15 * kD)); }), 5, {}},
      {"a collapsed ellipse", On([] { return Ellipse({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 0.0); },
                                 [](auto& tc) { return Parameter(EllipseParameter, tc, {1, 0, 0}); }), 5, {}},
  });
}

Answer Range(const GTypedCurve& tc) {
  Answer a{-1, {0, 0}};
  IMTCGtPrRg(&tc, &a.values[0], &a.values[1], &a.rc);
  return a;
}

Answer Ratio(const GTypedCurve& tc, double r) {
  Answer a{-1, {0}};
  IMTCGPrRt(&tc, r, &a.values[0], &a.rc);
  return a;
}

TEST_F(Evaluation, RangesAndRatiosOfEveryType) {
  RunCases({
      {"a start of 2 pi is 0", On([] { return ArcOn(4 * h, 1); }, Range), 0, {0, 1}},
      {"an end of 0 is 2 pi", On([] { return ArcOn(1, 0); }, Range), 0, {1, 4 * h}},
      {"unless the start is negative", On([] { return ArcOn(-1, 0); }, Range), 0, {-1, 0}},
      {"a line string's length", On([] { return LineString({{0, 0, 0}, {3, 0, 0}, {3, 4, 0}}); }, Range), 0,
       {0, 7}},
      {"type 150", On([] { return Make(kCurveLibrary, GArc{}); }, Range), 8, {}},
      {"an unknown type", On([] { return Make(14, GArc{}); }, Range), 5, {}},
      {"a quarter of an ellipse", On(Ell, [](auto& tc) { return Ratio(tc, 0.25); }), 0, {h}},
      {"half an arc past 0", On([] { return ArcOn(3 * h, h); }, [](auto& tc) { return Ratio(tc, 0.75); }), 0,
       {h / 2}},
      {"a negative ratio of an arc", On([] { return ArcOn(0, h); }, [](auto& tc) { return Ratio(tc, -0.1); }), 5,
       {}},
      {"a NaN ratio", On(Ell, [](auto& tc) { return Ratio(tc, NAN); }), 5, {}},
      {"a point on type 150", On([] { return Make(kCurveLibrary, GArc{}); }, [](auto& tc) { return Point(tc, 0); }),
       8, {}},
  });
}

TEST_F(Evaluation, PointsAtTheEdgesOfTheirCurves) {
  auto polyline = [] { return LineString({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}); };
  auto string = [] { return Complex({Line({3, 1, 0}, {1, 1, 0}), ArcOn(kPi / 2, 0)}); };
  auto bspline = [](int order) {
    std::vector<GPosition> poles(order);
    std::vector<double> knots(2 * order);
    for (int i = 0; i < order; ++i) poles[i] = {1.0 * i, 0, 0}, knots[order + i] = 1;
    return [=] { return Bspline(order, poles, knots); };
  };
  RunCases({
      {"within the tolerance before a segment's end", On(polyline, [](auto& tc) { return Point(tc, 1 - 0.5 * kD); }),
       0, {1, 0, 0}, 0},
      {"inside the second segment", On(polyline, [](auto& tc) { return Point(tc, 1.25); }), 0, {1, 0.25, 0}},
      {"beyond the last point", On(polyline, [](auto& tc) { return Point(tc, 2 + 2 * kD); }), 5, {}},
      {"a single point", On([] { return LineString({{1, 2, 3}}); }, [](auto& tc) { return Point(tc, 0.5); }), 5, {}},
      {"the end of a string", On(string, [](auto& tc) { return Point(tc, 2); }), 0, {3, 1, 0}},
      {"the middle of an arc member past 0", On(string, [](auto& tc) { return Point(tc, 1.5); }),
       0, {1 - 2 * std::sqrt(0.5), 1 - std::sqrt(0.5), 0}},
      {"a string below 0", On(string, [](auto& tc) { return Point(tc, -1e-300); }), 5, {}},
      {"a string at NaN", On(string, [](auto& tc) { return Point(tc, NAN); }), 5, {}},
      {"order 16", On(bspline(16), [](auto& tc) { return Point(tc, 0.5); }), 0, {7.5, 0, 0}},
      {"order 17", On(bspline(17), [](auto& tc) { return Point(tc, 0.5); }), 5, {}},
      {"past the knots", On(bspline(3), [](auto& tc) { return Point(tc, 1 + 1e-9); }), 5, {}},
      {"weights summing to 0", On([] { return Bspline(2, {{0, 0, 0}, {1, 0, 0}}, {0, 0, 1, 1}, {1, -1}); },
                                  [](auto& tc) { return Point(tc, 0.5); }), 11, {}},
  });
}

template <typename Record>
Answer Tangent(void (*f)(const Record*, double, GPosition*, GUnitVector*, int*), const GTypedCurve& tc, double t) {
  GPosition p;
  GUnitVector u;
  Answer a;
  f(&Rec<Record>(tc), t, &p, &u, &a.rc);
  a.values = {p.x, p.y, p.z, u.x, u.y, u.z};
  return a;
}

TEST_F(Evaluation, TangentsAndNullTangents) {
  auto repeated = [] { return LineString({{0, 0, 0}, {0, 0, 0}, {1, 0, 0}}); };
  auto stalled = [] { return Bspline(2, {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}}, {0, 0, 0.5, 1, 1}); };
  RunCases({
      {"a zero-length first segment", On(repeated, [](auto& tc) { return Tangent(IMGLSPtTan, tc, 0); }), 14, {}},
      {"past it", On(repeated, [](auto& tc) { return Tangent(IMGLSPtTan, tc, 0.5); }), 0, {0.5, 0, 0, 1, 0, 0}},
      {"the very end", On(repeated, [](auto& tc) { return Tangent(IMGLSPtTan, tc, 1 + 0.5 * kD); }), 0,
       {1, 0, 0, 1, 0, 0}},
      {"a negative length", On(repeated, [](auto& tc) { return Tangent(IMGLSPtTan, tc, -kD); }), 5, {}},
      {"a stalled B-spline", On(stalled, [](auto& tc) { return Tangent(IMGCvPtTan, tc, 0.25); }), 14, {}},
      {"after it stalls", On(stalled, [](auto& tc) { return Tangent(IMGCvPtTan, tc, 0.75); }), 0,
       {0.5, 0, 0, 1, 0, 0}},
      {"a collapsed ellipse at 0", On([] { return Ellipse({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 0.0); },
                                      [](auto& tc) { return Tangent(IMGElPtTan, tc, 0); }), 14, {}},
      {"an arc at its end", On([] { return ArcOn(0, kPi / 2); },
                               [](auto& tc) { return Tangent(IMGArPtTan, tc, kPi / 2); }), 0, {1, 2, 0, -1, 0, 0}},
  });
}

TEST_F(Evaluation, KnotToleranceLooksAtTheActiveIntervalsOnly) {
  // Polygon length 4; range 1.
  struct Row {
    const char* what;
    std::vector<double> knots;
    double length, tolerance;
  };
  const std::vector<Row> rows = {
      {"no narrow interval", {0, 0, 0, 0.5, 0.75, 1, 1, 1}, -1.0, 0.25e-6},
      {"a narrow interval", {0, 0, 0, 0.5, 0.5 + 1e-8, 1, 1, 1}, -1.0, 1e-9},
      {"the stored length rules", {0, 0, 0, 0.5, 0.5 + 1e-8, 1, 1, 1}, 1e4, 1e-10},
      {"narrow intervals before the range count not", {-1e-9, -1e-10, 0, 0.5, 0.75, 1, 1.1, 1.2}, -1.0, 0.25e-6},
  };
  for (const Row& r : rows) {
    GTypedCurve tc = Bspline(3, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}}, r.knots);
    Rec<GBspCurve>(tc).length = r.length;
    double tol = 0;
    int rc = -1;
    IMCvKtTl(&Rec<GBspCurve>(tc), &tol, &rc);
    EXPECT_EQ(rc, 0) << r.what;
    EXPECT_NEAR(tol, r.tolerance, 1e-15) << r.what;
    Free(tc);
  }
}

TEST_F(Evaluation, FormAndScopeOfComplexStrings) {
  struct Row {
    const char* what;
    std::function<GTypedCurve()> make;
    std::uint8_t form, scope;
  };
  const std::vector<Row> rows = {
      {"a circle in two arcs",
       [] { return Complex({Arc({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 1, 0, kPi), Arc({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 1,
                                                                                   kPi, 2 * kPi)}); }, 3, 1},
      {"a closed square",
       [] { return Complex({Line({0, 0, 0}, {1, 0, 0}), Line({1, 0, 0}, {1, 1, 0}), Line({1, 1, 0}, {0, 1, 0}),
                            Line({0, 1, 0}, {0, 0, 0})}); }, 2, 1},
      {"a closed loop ending in a null segment",
       [] { return Complex({Line({0, 0, 0}, {1, 0, 0}), LineString({{1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, 0}})}); },
       2, 1},
      {"an open straight string", [] { return Complex({Line({0, 0, 0}, {1, 0, 0}), Line({1, 0, 0}, {2, 0, 0})}); },
       1, 2},
      {"open with parallel end tangents",
       [] { return Complex({Line({0, 0, 0}, {1, 0, 0}), Line({1, 0, 0}, {1, 1, 0}), Line({1, 1, 0}, {2, 1, 0})}); },
       1, 1},
      {"spatial",
       [] { return Complex({Line({0, 0, 0}, {1, 0, 0}), Line({1, 0, 0}, {1, 1, 0}), Line({1, 1, 0}, {1, 1, 1})}); },
       1, 4},
      {"a closed smooth B-spline",
       [] { return Complex({Bspline(3, {{1, 0, 0}, {1, 1, 0}, {-1, 1, 0}, {-1, -1, 0}, {1, -1, 0}, {1, 0, 0}},
                                    {0, 0, 0, 0.25, 0.5, 0.75, 1, 1, 1})}); }, 3, 1},
      {"one point", [] { return Complex({Line({2, 2, 2}, {2, 2, 2})}); }, 1, 3},
  };
  for (const Row& r : rows) {
    GTypedCurve tc = r.make();
    GComplexString& cs = Rec<GComplexString>(tc);
    int rc = -1;
    IMGCSStSc(&cs, &rc);
    EXPECT_EQ(rc, 0) << r.what;
    IMGCSStFrm(&cs, &rc);
    EXPECT_EQ(rc, 0) << r.what;
    EXPECT_EQ(cs.form, r.form) << r.what;
    EXPECT_EQ(cs.scope, r.scope) << r.what;
    Free(tc);
  }
}

TEST_F(Evaluation, ScopeFiveTurnsTheNormalWithTheLoop) {
  struct Row {
    const char* what;
    std::vector<GPosition> points;
    std::vector<double> weights;
    double z;
  };
  const std::vector<Row> rows = {
      {"counter-clockwise", {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}, {}, 1},
      {"clockwise, closed", {{0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}, {0, 0, 1}}, {}, -1},
      {"weighted, clockwise", {{0, 0, 2}, {0, 4, 4}, {1, 1, 1}, {2, 0, 2}}, {2, 4, 1, 2}, -1},
  };
  for (const Row& r : rows) {
    std::uint8_t scope = 5;
    GUnitVector normal;
    int rc = -1;
    IMStScRN(static_cast<int>(r.points.size()), r.points.data(), r.weights.empty() ? nullptr : r.weights.data(),
             &scope, &normal, &rc);
    EXPECT_EQ(rc, 0) << r.what;
    EXPECT_EQ(scope, 1) << r.what;
    EXPECT_NEAR(normal.z, r.z, 1e-12) << r.what;
  }
}

}  // namespace
