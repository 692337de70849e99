// Offsets of complex strings: copies below the tolerance, one member on its own, the plane and side taken for
// several members, the types the pieces of the library's composite offset become, and failures (the library's,
// the allocators', a conversion's) that leave an empty result and no block behind.
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

class ComplexOffsets : public TypedCurves {};

const GComplexString& Cs(const GTypedCurve& tc) { return Rec<GComplexString>(tc); }

std::pair<GPosition, GPosition> Ends(const GTypedCurve& tc) {
  std::pair<GPosition, GPosition> e;
  int rc = 0;
  IMGGTCEPts(&tc, &e.first, &e.second, &rc);
  EXPECT_EQ(rc, 0);
  return e;
}

// What a string's offset gave, with a member map of the room the header asks for, marked unwritten.
struct Offset {
  GTypedCurve out{reinterpret_cast<void*>(1), 99};
  std::vector<int> map;
  int rc = -1;
  ~Offset() {
    if (out.pCurve != reinterpret_cast<void*>(1)) Free(out);
  }
  const GComplexString& cs() const { return Cs(out); }
  const GTypedCurve& member(int i) const { return cs().curves[i]; }
};

void OffsetOf(const GTypedCurve& in, GPosition side, double distance, int corner, Offset* o) {
  const std::uint32_t n = in.type == kCurveComplexString && in.pCurve ? Cs(in).numCurves : 1;
  o->map.assign(2 * n + 1, -999);
  IMTCOffI(&in, &side, distance, corner, &o->out, o->map.data(), &o->rc);
}

GTypedCurve Square() {
  return Complex({Line({0, 0, 0}, {4, 0, 0}), Line({4, 0, 0}, {4, 4, 0}), Line({4, 4, 0}, {0, 4, 0}),
                  Line({0, 4, 0}, {0, 0, 0})});
}

GTypedCurve Ell() { return Complex({Line({0, 0, 0}, {2, 0, 0}), Line({2, 0, 0}, {2, 2, 0})}); }

// Upper half circle about (1, 0) from (2, 0) to (0, 0), then a line on along the x axis: end points on one line.
GTypedCurve ArcThenLine() {
  return Complex({Arc({1, 0, 0}, {0, 0, 1}, {1, 0, 0}, 1.0, 0.0, kPi), Line({0, 0, 0}, {-2, 0, 0})});
}

TEST_F(ComplexOffsets, EachStringIsOffsetOrRefusedByItsRule) {
  struct Case {
    const char* what;
    std::function<GTypedCurve()> make;
    GPosition side;
    double distance;
    int rc;
    std::function<void(const GTypedCurve& in, const Offset& o)> check;  // of a made result
  };
  const auto copy = [](const GTypedCurve& in, const Offset& o) {
    ASSERT_EQ(o.cs().numCurves, Cs(in).numCurves);
    EXPECT_NE(o.cs().curves, Cs(in).curves);
    for (std::uint32_t i = 0; i < Cs(in).numCurves; ++i) {
      EXPECT_EQ(o.map[i], static_cast<int>(i));
      EXPECT_EQ(o.member(i).type, Cs(in).curves[i].type);
      EXPECT_LT(Distance(Ends(o.member(i)).second, Ends(Cs(in).curves[i]).second), 1e-15);
    }
  };
  const std::vector<Case> cases = {
      {"distance 0", Ell, {1, 1, 0}, 0.0, 0, copy},
      {"distance -1", Ell, {1, 1, 0}, -1.0, 0, copy},
      {"one line", [] { return Complex({Line({0, 0, 0}, {4, 0, 0})}); }, {2, 1, 0}, 0.5, 0,
       [](const GTypedCurve&, const Offset& o) {
         ASSERT_EQ(o.cs().numCurves, 1u);
         EXPECT_EQ(o.map[0], 0);
         EXPECT_EQ(o.member(0).type, kCurveLine);
         EXPECT_LT(Distance(Ends(o.member(0)).first, {0, 0.5, 0}), 1e-15);
         EXPECT_EQ(o.cs().form, 1);
         EXPECT_EQ(o.cs().scope, 2);
       }},
      {"one member kept by the library", [] { return Complex({Make(kCurveLibrary, GArc{})}); }, {2, 1, 0}, 0.5, 5,
       nullptr},
      {"a side point within the distance tolerance of the string", Ell, {2 + 4e-7, 1, 0}, 0.5, 5, nullptr},
      {"every member closed, every end at one point",
       [] {
         return Complex({LineString({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}}),
                         LineString({{0, 0, 0}, {-1, 0, 0}, {-1, -1, 0}, {0, 0, 0}})});
       },
       {3, 3, 0}, 0.5, 5, nullptr},
      {"ends in no plane",
       [] { return Complex({Line({0, 0, 0}, {1, 0, 0}), Line({1, 0, 0}, {1, 1, 0}), Line({1, 1, 0}, {1, 1, 1})}); },
       {0.5, 0.5, 0}, 0.1, 5, nullptr},
      {"ends on a line, a bent member, a side point off the plane", ArcThenLine, {0.2, 0.5, 0.6}, 0.25, 0,
       [](const GTypedCurve&, const Offset& o) {
         for (std::uint32_t i = 0; i < o.cs().numCurves; ++i) {
           EXPECT_LT(std::fabs(Ends(o.member(i)).first.z) + std::fabs(Ends(o.member(i)).second.z), 2e-12) << i;
         }
         ASSERT_EQ(o.member(0).type, kCurveArc);
         EXPECT_NEAR(Rec<GArc>(o.member(0)).majorAxis.Length(), 0.75, 1e-12);
         // Left of the whole string: inside the half circle, below the line that turns right off it.
         EXPECT_NEAR(Ends(o.member(o.cs().numCurves - 1)).second.y, -0.25, 1e-12);
       }},
      {"a straight string takes the side point's plane", [] { return Complex({Line({0, 0, 0}, {2, 0, 0}), Line({2, 0, 0}, {4, 0, 0})}); },
       {1, 1, 1}, std::sqrt(2.0), 0,
       [](const GTypedCurve&, const Offset& o) {
         ASSERT_EQ(o.cs().numCurves, 2u);
         EXPECT_TRUE(o.member(0).type == kCurveLine && o.member(1).type == kCurveLine);
         EXPECT_LT(Distance(Ends(o.member(0)).first, {0, 1, 1}), 1e-12);
         EXPECT_LT(Distance(Ends(o.member(1)).second, {4, 1, 1}), 1e-12);
       }},
      {"a straight string, side point on its extension",
       [] { return Complex({Line({0, 0, 0}, {2, 0, 0}), Line({2, 0, 0}, {4, 0, 0})}); }, {6, 0, 0}, 1, 5, nullptr},
      {"a closed square inset by 1", Square, {2, 2, 0}, 1.0, 0,
       [](const GTypedCurve&, const Offset& o) {
         ASSERT_EQ(o.cs().numCurves, 4u);
         EXPECT_EQ(o.cs().form, 2);
         const GPosition corners[] = {{1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}};
         for (int i = 0; i < 4; ++i) {
           EXPECT_EQ(o.member(i).type, kCurveLine);
           EXPECT_EQ(o.map[i], i);
           EXPECT_LT(Distance(Ends(o.member(i)).first, corners[i]), 1e-12) << i;
           EXPECT_LT(Distance(Ends(o.member(i)).second, corners[(i + 1) % 4]), 1e-12) << i;
         }
       }},
      {"circular arcs keep their type",
       [] {
         // An S: the upper half circle about (1, 0) clockwise, then the lower one about (3, 0) counter-clockwise.
         return Complex({Arc({1, 0, 0}, {0, 0, -1}, {-1, 0, 0}, 1.0, 0.0, kPi),
                         Arc({3, 0, 0}, {0, 0, 1}, {-1, 0, 0}, 1.0, 0.0, kPi)});
       },
       {1, 2, 0}, 0.5, 0,
       [](const GTypedCurve&, const Offset& o) {
         ASSERT_EQ(o.cs().numCurves, 2u);
         EXPECT_TRUE(o.member(0).type == kCurveArc && o.member(1).type == kCurveArc);
         EXPECT_NEAR(Rec<GArc>(o.member(0)).majorAxis.Length(), 1.5, 1e-12);
         EXPECT_NEAR(Rec<GArc>(o.member(1)).majorAxis.Length(), 0.5, 1e-12);
       }},
      {"a square inset to its centre, every piece degenerate", Square, {1, 2, 0}, 2.0, 4, nullptr},
      {"a distance that is not a number", Ell, {1, 1, 0}, std::nan(""), 5, nullptr},
      {"a string without members", [] { return Make(kCurveComplexString, GComplexString{}); }, {1, 1, 0}, 1, 5,
       nullptr},
      // The copy below the tolerance would read a pole past the arrays.
      {"distance 0, a B-spline member counting one pole more than it holds",
       [] {
         GTypedCurve cv = Bspline(2, {{2, 0, 0}, {2, 2, 0}}, {0, 0, 1, 1});
         ++Rec<GBspCurve>(cv).numPoles;
         return Complex({Line({0, 0, 0}, {2, 0, 0}), cv});
       },
       {1, 1, 0}, 0.0, 5, nullptr},
  };
  for (const Case& c : cases) {
    GTypedCurve in = c.make();
    {
      Offset o;
      OffsetOf(in, c.side, c.distance, 0, &o);
      EXPECT_EQ(o.rc, c.rc) << c.what;
      if (c.rc != 0) {
        const bool bad = std::isnan(c.distance);
        EXPECT_EQ(o.out.pCurve, bad ? reinterpret_cast<void*>(1) : nullptr) << c.what;
      } else if (o.rc == 0) {
        ASSERT_EQ(o.out.type, kCurveComplexString) << c.what;
        SCOPED_TRACE(c.what);
        c.check(in, o);
      }
    }
    Free(in);
  }
}

// Corners of lines, line strings and arcs offset to both sides with both corner flags: each piece's tag and the
// type it became, in order. Without round corners, pieces are extended to meet where they can; a join is made
// only where the extensions miss.
TEST_F(ComplexOffsets, PiecesTakeTheTypeOfTheirTag) {
  using Pieces = std::vector<std::pair<int, int>>;
  struct Case {
    const char* what;
    std::function<GTypedCurve()> make;
    GPosition side;
    double distance;
    int corner;
    Pieces pieces;
    bool apart = true;  // no part of the offset comes nearer the string than the distance
  };
  const auto lines = Ell;
  const auto strings = [] {
    return Complex({LineString({{0, 0, 0}, {1, 0, 0}, {2, 0.5, 0}}), LineString({{2, 0.5, 0}, {2, 1.5, 0}, {1.5, 2.5, 0}})});
  };
  const auto arcs = [] {
    // Quarter circles about (0, 1.5) and (1.5, 3), the first ending upwards and the second starting to the
    // right at (1.5, 1.5): a right turn.
    return Complex({Arc({0, 1.5, 0}, {0, 0, 1}, {0, -1.5, 0}, 1.0, 0.0, kPi / 2),
                    Arc({1.5, 3, 0}, {0, 0, 1}, {0, -1.5, 0}, 1.0, 0.0, kPi / 2)});
  };
  // A quarter circle of radius 0.5 ending upwards at the origin, bending left, then one starting to the right
  // there and bending right, or a line to the right: their offsets on the left bend away from each other.
  const auto bentArc = [] { return Arc({-0.5, 0, 0}, {0, 0, 1}, {0.5, 0, 0}, 1.0, -kPi / 2, 0.0); };
  const auto awayArcs = [bentArc] { return Complex({bentArc(), Arc({0, -0.5, 0}, {0, 0, -1}, {0, 0.5, 0}, 1.0, 0.0, kPi / 2)}); };
  const auto awayLine = [bentArc] { return Complex({bentArc(), Line({0, 0, 0}, {2, 0, 0})}); };
  // A zigzag whose offset loses its first legs to loop removal, leaving one rounded corner between lines: as many
  // poles as the line string had, which does not make the piece a line string again.
  const auto zigzag = [] {
    return Complex({Line({14.4, 3, 0}, {13.4, 2.4, 0}),
                    LineString({{13.4, 2.4, 0}, {14.7, -14.5, 0}, {11.7, -0.5, 0}, {15.3, 1.5, 0}, {-3.1, 4.5, 0},
                                {1.5, -14.3, 0}, {-3.3, -14.5, 0}}),
                    Line({-3.3, -14.5, 0}, {-19.5, -24.4, 0})});
  };
  // The same zigzag turned back at its end onto a line that runs back across its legs: nothing of the line's
  // offset keeps the distance from the zigzag, and the zigzag's own offset ends where it comes within the distance
  // of the line's end. What else keeps clear lies apart, about the legs that cross.
  const auto turnedBack = [] {
    return Complex({Line({14.4, 3, 0}, {13.4, 2.4, 0}),
                    LineString({{13.4, 2.4, 0}, {14.7, -14.2, 0}, {11.9, -0.5, 0}, {15.3, 1.5, 0}, {-3.1, 4.5, 0},
                                {1.5, -14.3, 0}, {8.7, -14.5, 0}}),
                    Line({8.7, -14.5, 0}, {5.2, -16.6, 0})});
  };
  // A cubic whose offset to the left curls into a loop within it, then a line on along its end: the loop is cut
  // out of the one piece and the parts on either side of it joined again.
  const auto curled = [] {
    return Complex({Bspline(4, {{0, -15, 0}, {-15, 6, 0}, {2, 0.125, 0}, {-15, -15, 0}, {-15, -10.5, 0}},
                            {0, 0, 0, 0, 1, 5.75, 5.75, 5.75, 5.75}),
                    Line({-15, -10.5, 0}, {-15, -5, 0})});
  };
  const std::vector<Case> cases = {
      {"a loop cut out of one piece, flag 1", curled, {4, 2, 0}, 0.875, 1, {{0, 27}, {1, 3}}, false},
      {"a zigzag cut back to one rounded corner, flag 1", zigzag, {3, 6, 0}, 4, 1, {{0, 3}, {1, 27}, {-63, 16}, {2, 3}}},
      {"a zigzag turned back onto a line, flag 1", turnedBack, {3, 6, 0}, 4, 1, {{0, 3}, {1, 27}}},
      {"lines, outer corner, flag 0", lines, {3, -1, 0}, 0.25, 0, {{0, 3}, {1, 3}}},
      {"lines, outer corner, flag 1", lines, {3, -1, 0}, 0.25, 1, {{0, 3}, {-63, 16}, {1, 3}}},
      {"lines, inner corner, flag 0", lines, {1, 1, 0}, 0.25, 0, {{0, 3}, {1, 3}}},
      {"lines, inner corner, flag 1", lines, {1, 1, 0}, 0.25, 1, {{0, 3}, {1, 3}}},
      {"line strings, outer corner, flag 0", strings, {3, 0, 0}, 0.25, 0, {{0, 4}, {1, 4}}},
      {"line strings, outer corner, flag 1", strings, {3, 0, 0}, 0.25, 1, {{0, 27}, {-63, 16}, {1, 27}}},
      {"line strings, inner corner, flag 0", strings, {1, 1, 0}, 0.25, 0, {{0, 4}, {1, 4}}},
      {"line strings, inner corner, flag 1 (no pole added)", strings, {1, 1, 0}, 0.25, 1, {{0, 4}, {1, 4}}},
      {"arcs, outer corner, flag 0", arcs, {0.5, 1, 0}, 0.25, 0, {{0, 16}, {1, 16}}},
      {"arcs, outer corner, flag 1", arcs, {0.5, 1, 0}, 0.25, 1, {{0, 16}, {-63, 16}, {1, 16}}},
      {"arcs, inner corner, flag 0", arcs, {2.5, 1, 0}, 0.25, 0, {{0, 16}, {1, 16}}},
      {"arcs, inner corner, flag 1", arcs, {2.5, 1, 0}, 0.25, 1, {{0, 16}, {1, 16}}},
      {"arcs bending away, flag 0", awayArcs, {-0.1, 0.3, 0}, 0.45, 0, {{0, 16}, {-62, 4}, {1, 16}}},
      {"arcs bending away, flag 1", awayArcs, {-0.1, 0.3, 0}, 0.45, 1, {{0, 16}, {-63, 16}, {1, 16}}},
      {"an arc bending away from a line, flag 0", awayLine, {-0.1, 0.3, 0}, 0.3, 0, {{0, 16}, {-61, 3}, {1, 3}}},
      {"an arc bending away from a line, flag 1", awayLine, {-0.1, 0.3, 0}, 0.3, 1, {{0, 16}, {-63, 16}, {1, 3}}},
  };
  for (const Case& c : cases) {
    GTypedCurve in = c.make();
    Offset o;
    OffsetOf(in, c.side, c.distance, c.corner, &o);
    EXPECT_EQ(o.rc, 0) << c.what;
    if (o.rc == 0) {
      Pieces got;
      for (std::uint32_t k = 0; k < o.cs().numCurves; ++k) got.emplace_back(o.map[k], o.member(k).type);
      EXPECT_EQ(got, c.pieces) << c.what;
      for (std::uint32_t k = 1; k < o.cs().numCurves; ++k)
        EXPECT_LT(Distance(Ends(o.member(k - 1)).second, Ends(o.member(k)).first), 1e-9) << c.what << " " << k;
      // Nothing comes nearer than the distance; with round corners nothing lies farther either. Loop removal
      // cuts at crossings found relative to the size of the offset.
      const auto [nearest, farthest] = DistanceRange(in, o.cs().curves, o.cs().numCurves);
      const double tol = 1e-7 * std::fmax(1.0, c.distance);
      if (c.apart) {
        EXPECT_NEAR(nearest, c.distance, tol) << c.what;
      }
      if (c.corner == 1) {
        EXPECT_NEAR(farthest, c.distance, tol) << c.what;
      }
    }
    Free(in);
  }
}

// Piece conversions failing through the library's fault hook: the first one is retried as a B-spline curve;
// when that fails too, the offset stops with the conversion's code.
int g_failing = 0;
void FailConversions(const char* lname, int* rc) {
  const std::string name(lname);
  if (rc && *rc == 0 && (name == "imicvgln" || (g_failing == 2 && name == "imicvgcv"))) *rc = 5;
}

TEST_F(ComplexOffsets, FailedConversionsAreRetriedOnceAsBsplineCurves) {
  GTypedCurve in = Square();
  for (const bool slow : {false, true})
    for (const int failing : {1, 2}) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      g_failing = failing;
      BSsetfaulthook(FailConversions);
      Offset o;
      OffsetOf(in, {2, 2, 0}, 1.0, 0, &o);
      BSsetfaulthook(nullptr);
      if (failing == 1) {
        ASSERT_EQ(o.rc, 0);
        ASSERT_EQ(o.cs().numCurves, 4u);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(o.member(i).type, kCurveBspline) << i;
      } else {
        EXPECT_EQ(o.rc, 5);
        EXPECT_EQ(o.out.pCurve, nullptr);
      }
    }
  Free(in);
}

void Force47(const char* lname, int* rc) {
  if (rc && *rc == 0 && std::string(lname) == "bscmpcvoffl") *rc = 47;
}

TEST_F(ComplexOffsets, FailuresLeaveAnEmptyResultAndNoBlocks) {
  const GPosition side{0.5, 0.2, 0};
  const double distance = 0.25;
  GTypedCurve small = Complex({Line({0, 0, 0}, {2, 0, 0}), Arc({2, 1, 0}, {0, 0, 1}, {0, -1, 0}, 1.0, 0.0, kPi / 2),
                               LineString({{3, 1, 0}, {3, 2, 0}, {2, 3, 0}})});
  // More members than the local working arrays hold.
  std::vector<GTypedCurve> zigzag;
  for (int i = 0; i < 30; ++i) zigzag.push_back(Line({i * 1.0, (i % 2) * 1.0, 0}, {i + 1.0, ((i + 1) % 2) * 1.0, 0}));
  GTypedCurve many = Complex(zigzag);
  const int inputs = QnGeomLiveBlocks();
  for (GTypedCurve* tc : {&small, &many}) {
    for (const bool slow : {false, true}) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      BSsetfaulthook(Force47);
      Offset forced;
      OffsetOf(*tc, side, distance, 0, &forced);
      BSsetfaulthook(nullptr);
      EXPECT_EQ(forced.rc, 1);
      EXPECT_EQ(forced.out.pCurve, nullptr);
      EXPECT_EQ(BSdbgliveblocks(), lib_);
    }

    ExpectAllocationFailuresLeaveNothing([&](GTypedCurve* out) {
      int rc = -1;
      IMTCOffI(tc, &side, distance, 1, out, nullptr, &rc);
      return rc;
    }, 5, inputs);
  }
  Free(many);
  Free(small);
}

}  // namespace
