// The text form of typed curves, byte for byte as both builds must write it; the verbose block; a print that
// stops at a member it cannot print.
#include <string>

#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

class Printing : public TypedCurves {};

std::string Printed(const GTypedCurve& tc, int verbose, int expectedRc = 0) {
  return Captured([&](std::FILE* f) {
    int rc = -1;
    IMPrtGTC(f, &tc, verbose, &rc);
    EXPECT_EQ(rc, expectedRc);
  });
}

GTypedCurve SampleLine() { return Make(kCurveLine, GLine{{1, 2, 3}, {0, 0, 1}, -0.5, 2.0}); }

const std::string kLine =
    "GTypedCurve{\ntype 3\nGLine{\nrootPoint\n"
    "1.00000000000000000e+00\n2.00000000000000000e+00\n3.00000000000000000e+00\n"
    "direction\n0.00000000000000000e+00\n0.00000000000000000e+00\n1.00000000000000000e+00\n"
    "start\n-5.00000000000000000e-01\nend\n2.00000000000000000e+00\n}GLine\n}GTypedCurve\n";

TEST_F(Printing, GoldenTexts) {
  GTypedCurve string = Complex({SampleLine(), LineString({{1, 2, 1}, {1, 2, 3}})});
  Rec<GComplexString>(string).form = 2;
  GLineString& member = Rec<GLineString>(Rec<GComplexString>(string).curves[1]);
  member.form = 1, member.scope = 2;
  EXPECT_EQ(Printed(string, 0),
            "GTypedCurve{\ntype 12\nGComplexString{\nnumCurves 2\n" + kLine +
                "\nGTypedCurve{\ntype 4\nGLineString{\nnumPoints 2\npPoints\n"
                "1.00000000000000000e+00\n2.00000000000000000e+00\n1.00000000000000000e+00\n"
                "1.00000000000000000e+00\n2.00000000000000000e+00\n3.00000000000000000e+00\n"
                "form 1\nscope 2\n}GLineString\n}GTypedCurve\nform 2\nscope 0\n}GComplexString\n}GTypedCurve\n");

  // Rational, with an attached line; weights come between the poles and the knots.
  GTypedCurve spline = Bspline(2, {{0, 0, 0}, {0.25, -1, 0}}, {0, 0, 1, 1}, {1, 0.5});
  GBspCurve& cv = Rec<GBspCurve>(spline);
  cv.properties = 3;
  cv.curve = static_cast<GTypedCurve*>(geomplatform::GeomMalloc(sizeof(GTypedCurve)));
  *cv.curve = SampleLine();
  const std::string zero = "0.00000000000000000e+00\n", one = "1.00000000000000000e+00\n";
  EXPECT_EQ(Printed(spline, 0),
            "GTypedCurve{\ntype 27\nGBspCurve{\norder 2\nnumPoles 2\nnumKnots 4\nrational 1\npPoles\n" + zero + zero +
                zero + "\n2.50000000000000000e-01\n-1.00000000000000000e+00\n" + zero + "pWeights\n" + one +
                "5.00000000000000000e-01\npKnots\n" + zero + zero + one + one + "length\n-" + one +
                "form 1\nscope 1\nproperties 3\ncurve_flag 1\n" + kLine + "}GBspCurve\n}GTypedCurve\n");
  cv.rational = 0;
  EXPECT_EQ(Printed(spline, 0).find("pWeights"), std::string::npos);
  cv.rational = 1;
  Free(string);
  Free(spline);
}

TEST_F(Printing, VerboseBlockHoldsTheLibraryCurve) {
  GTypedCurve line = SampleLine();
  VOQbsp_curve* cv = nullptr;
  int rc = -1;
  IMGLnIcv(&Rec<GLine>(line), &cv, &rc);
  const std::string library = Captured([&](std::FILE* f) { BSprtcv(f, "GLine", cv, BSTRUE); });
  Free(cv);
  EXPECT_EQ(Captured([&](std::FILE* f) { IMPrtTC(f, &line, &rc); }),
            kLine.substr(0, kLine.find("}GLine")) + "VOQbsp_curve{\n" + library + "}VOQbsp_curve\n}GLine\n}GTypedCurve\n");
  EXPECT_EQ(rc, 0);
  Free(line);
}

TEST_F(Printing, AMemberOfUnknownTypeStopsThePrintAndLeavesItsTrace) {
  GTypedCurve string = Complex({SampleLine(), Make(99, GLine{})});
  EXPECT_EQ(Printed(string, 0, 1), "GTypedCurve{\ntype 12\nGComplexString{\nnumCurves 2\n" + kLine +
                                       "\nGTypedCurve{\ntype 99\n");
  const char* expected[] = {"IMPrtGTC", "IMPrtGCS", "IMPrtGTC"};
  ASSERT_EQ(BStracecount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(BStracetable()[i].name, expected[i]);
    EXPECT_EQ(BStracetable()[i].rc, 1);
  }
  Free(string);
}

}  // namespace
