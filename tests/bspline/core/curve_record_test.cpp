#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"

namespace {

int trace_since(int before) { return BStracecount() - before; }

TEST(CurveRecord, AllocatesPolesAndKnotsInOneBlock) {
  VOQbsp_curve *cv = nullptr;
  int rc = 1;
  BSallocvoqcv(4, 10, 0, 0, &cv, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_NE(cv, nullptr);
  const unsigned char *base = reinterpret_cast<unsigned char *>(cv);
  EXPECT_EQ(reinterpret_cast<unsigned char *>(cv->poles), base + BSVOQCV_HEADER);
  EXPECT_EQ(cv->knots, cv->poles + 30);
  EXPECT_EQ(cv->weights, nullptr);
  EXPECT_EQ(cv->bdrys, nullptr);
  EXPECT_EQ(cv->rational, 0);
  EXPECT_EQ(cv->num_poles, 10);
  EXPECT_EQ(cv->num_knots, 14);
  EXPECT_EQ(cv->num_boundaries, 0);
  // Flags the caller must set keep the fill pattern.
  EXPECT_EQ(cv->order, -1);
  EXPECT_EQ(cv->periodic, 0xFFFF);
  EXPECT_EQ(cv->non_uniform, 0xFFFF);
  EXPECT_EQ(cv->planar, 0xFFFF);
  EXPECT_EQ(cv->phy_closed, 0xFFFF);
  // Every array slot is writable: the sanitizer build catches a block that is one byte short.
  for (int i = 0; i < 30; ++i) cv->poles[i] = i;
  for (int i = 0; i < 14; ++i) cv->knots[i] = i;
  BSfreevoqcv(cv, &rc);
  EXPECT_EQ(rc, 0);
}

TEST(CurveRecord, RationalWithBoundariesPutsBoundariesAfterWeights) {
  VOQbsp_curve *cv = nullptr;
  int rc = 1;
  BSallocvoqcv(4, 10, 1, 2, &cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(cv->rational, 1);
  EXPECT_EQ(cv->weights, cv->knots + 14);
  EXPECT_EQ(cv->bdrys, cv->weights + 10);
  EXPECT_EQ(cv->num_boundaries, 2);
  for (int i = 0; i < 10; ++i) cv->weights[i] = 1;
  for (int i = 0; i < 4; ++i) cv->bdrys[i] = i;
  BSfreevoqcv(cv, &rc);
  // 32-bit platform: 44 + 240 + 112 + 80 + 32 = 508 bytes, i.e. bdrys end exactly there.
  if (sizeof(void *) == 4) {
    EXPECT_EQ(BSVOQCV_HEADER, 44u);
  }
}

TEST(CurveRecord, NotRationalWithBoundariesPutsThemAfterKnots) {
  VOQbsp_curve *cv = nullptr;
  int rc = 1;
  BSallocvoqcv(3, 5, 0, 1, &cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(cv->bdrys, cv->knots + 8);
  cv->bdrys[0] = cv->bdrys[1] = 0;
  BSfreevoqcv(cv, &rc);
}

TEST(CurveRecord, AllocationFailureAnswersMinus13AndNull) {
  VOQbsp_curve *cv = reinterpret_cast<VOQbsp_curve *>(&cv);
  int rc = 0;
  const int before = BStracecount();
  BSallocfailat(1);
  BSallocvoqcv(4, 10, 0, 0, &cv, &rc);
  EXPECT_EQ(rc, -13);
  EXPECT_EQ(cv, nullptr);
  ASSERT_EQ(trace_since(before), 1);
  EXPECT_STREQ(BStracetable()[before].name, "BSallocvoqcv");
  EXPECT_EQ(BStracetable()[before].rc, -13);
  // Negative counts are an allocation failure, not a wrapped size.
  BSallocvoqcv(4, -10, 0, 0, &cv, &rc);
  EXPECT_EQ(rc, -13);
  EXPECT_EQ(cv, nullptr);
}

TEST(CurveRecord, FreeingNullLeavesOneTraceRecord) {
  int rc = 0;
  const int before = BStracecount();
  BSfreevoqcv(nullptr, &rc);
  EXPECT_EQ(rc, 3);
  ASSERT_EQ(trace_since(before), 1);
  EXPECT_STREQ(BStracetable()[before].name, "BSfreevoqcv");
  EXPECT_EQ(BStracetable()[before].rc, 3);
}

TEST(CurveRecord, ReallocKeepsFlagsAndSizesFromTheArguments) {
  VOQbsp_curve *cv = nullptr;
  int rc = 0;
  BSallocvoqcv(3, 5, 1, 0, &cv, &rc);
  ASSERT_EQ(rc, 0);
  cv->order = 3;
  cv->periodic = 1;
  cv->phy_closed = 1;
  cv->non_uniform = 0;
  VOQbsp_curve *old = cv;
  BSreallocvoqcv(4, 12, 2, &cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NE(cv, old);
  EXPECT_EQ(cv->order, 4);
  EXPECT_EQ(cv->num_poles, 12);
  EXPECT_EQ(cv->num_knots, 16);
  EXPECT_EQ(cv->rational, 1);
  EXPECT_EQ(cv->weights, cv->knots + 16);
  EXPECT_EQ(cv->periodic, 1);
  EXPECT_EQ(cv->phy_closed, 1);
  EXPECT_EQ(cv->non_uniform, 0xFFFF);
  EXPECT_EQ(cv->num_boundaries, 2);
  for (int i = 0; i < 4; ++i) cv->bdrys[i] = 0;
  BSfreevoqcv(cv, &rc);
}

TEST(CurveRecord, FailedReallocKeepsTheOldRecord) {
  VOQbsp_curve *cv = nullptr;
  int rc = 0;
  BSallocvoqcv(3, 5, 0, 0, &cv, &rc);
  cv->order = 3;
  VOQbsp_curve *old = cv;
  BSallocfailat(1);
  BSreallocvoqcv(4, 50, 0, &cv, &rc);
  EXPECT_EQ(rc, -13);
  EXPECT_EQ(cv, old);
  BSfreevoqcv(cv, &rc);
  EXPECT_EQ(rc, 0);
  VOQbsp_curve *none = nullptr;
  BSreallocvoqcv(4, 5, 0, &none, &rc);
  EXPECT_EQ(rc, 3);
}

TEST(CurveRecord, ScratchArraysOfACallerRecordAreReleased) {
  const int heap_before = BSscratchheapblocks();
  BSstackblock stack;
  VOQbsp_curve cv{};
  cv.rational = 1;
  cv.poles = BSscratchtake(3000, nullptr);      // heap
  cv.knots = BSscratchtake(10, &stack);         // stack
  cv.weights = BSscratchtake(1000, nullptr);    // heap
  ASSERT_TRUE(cv.poles && cv.knots && cv.weights);
  EXPECT_EQ(BSscratchheapblocks(), heap_before + 2);
  int rc = 1;
  EXPECT_EQ(BSstfrecvfl(&rc, &cv), BSTRUE);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(cv.poles, nullptr);
  EXPECT_EQ(cv.knots, nullptr);
  EXPECT_EQ(cv.weights, nullptr);
  EXPECT_EQ(BSscratchheapblocks(), heap_before);
  // A second release finds nothing left to free.
  EXPECT_EQ(BSstfrecvfl(&rc, &cv), BSTRUE);
  EXPECT_EQ(BSscratchheapblocks(), heap_before);

  // Not rational: the weights pointer is not the routine's business.
  double foreign = 0;
  cv.rational = 0;
  cv.weights = &foreign;
  cv.poles = BSscratchtake(600, nullptr);
  BSstfrecvfl(&rc, &cv);
  EXPECT_EQ(cv.weights, &foreign);
  EXPECT_EQ(BSscratchheapblocks(), heap_before);

  EXPECT_EQ(BSstfrecvfl(&rc, nullptr), BSFALSE);
  EXPECT_EQ(rc, 3);
}

// Prints into a temporary file and returns what was written.
std::string print_to_string(const VOQbsp_curve *cv, BSboolean verbose, BSboolean *result) {
  std::FILE *f = std::tmpfile();
  if (!f) f = std::fopen("bsprtcv_test.txt", "w+");
  if (!f) return "<no file>";
  *result = BSprtcv(f, "arc", cv, verbose);
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[256];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, got);
  std::fclose(f);
  return s;
}

TEST(CurvePrinter, RefusesRecordsThatBreakTheInvariants) {
  VOQbsp_curve *cv = nullptr;
  int rc = 0;
  BSallocvoqcv(2, 2, 1, 0, &cv, &rc);
  BSboolean ok = BSTRUE;
  // Fresh record: order still reads -1.
  EXPECT_EQ(print_to_string(cv, 0, &ok), "invalid curve parameters when printing curve\n");
  EXPECT_EQ(ok, BSFALSE);
  cv->order = 2;
  cv->weights = nullptr;  // rational without weights
  EXPECT_EQ(print_to_string(cv, 0, &ok), "invalid curve parameters when printing curve\n");
  cv->weights = cv->knots + 4;
  cv->num_knots = 5;  // not n + k
  print_to_string(cv, 0, &ok);
  EXPECT_EQ(ok, BSFALSE);
  cv->num_knots = 4;
  cv->num_boundaries = 1;  // boundaries without an array
  cv->bdrys = nullptr;
  print_to_string(cv, 0, &ok);
  EXPECT_EQ(ok, BSFALSE);
  BSfreevoqcv(cv, &rc);
}

TEST(CurvePrinter, WritesTheShortForm) {
  double poles[6] = {2, 4, 6, 1, 1, 1};
  double knots[4] = {0, 0, 1, 1};
  double weights[2] = {2, 1};
  VOQbsp_curve cv{2, 0, 1, 2, poles, 4, knots, 1, weights, 1, 0, 0, nullptr};
  BSboolean ok = BSFALSE;
  const std::string s = print_to_string(&cv, 0, &ok);
  EXPECT_EQ(ok, BSTRUE);
  char e[64];
  // Weights and knots carry an empty label in the short form, so every value reads " %20.15le\n".
  auto v = [&](double x) {
    std::snprintf(e, sizeof e, " %20.15le\n", x);
    return std::string(e);
  };
  const std::string expected = "BScurve\norder 2\nperiodic 0\nnon_uniform 1\nnum_poles 2\n" + v(2) + v(4) + v(6) +
                               "\n" + v(1) + v(1) + v(1) + "\nunweighted poles\n" + v(1) + v(2) + v(3) + "\n" +
                               v(1) + v(1) + v(1) + "\nrational 1\n" + v(2) + v(1) + "num_knots 4\n" + v(0) +
                               v(0) + v(1) + v(1) + "planar 1\nphy_closed 0\nnum_boundaries 0\n";
  EXPECT_EQ(s, expected);
}

TEST(CurvePrinter, VerboseFormLabelsEveryValue) {
  double poles[6] = {0, 0, 0, 1, 0, 0};
  double knots[4] = {0, 0, 1, 1};
  double bd[2] = {0.25, 0.75};
  VOQbsp_curve cv{2, 0, 0, 2, poles, 4, knots, 0, nullptr, 0, 1, 1, bd};
  BSboolean ok = BSFALSE;
  const std::string s = print_to_string(&cv, 1, &ok);
  EXPECT_EQ(ok, BSTRUE);
  EXPECT_EQ(s.rfind("\n\n\"arc\":\nBScurve\norder 2\nperiodic FALSE\nnon_uniform FALSE\n", 0), 0u);
  EXPECT_NE(s.find("pole[1] ( "), std::string::npos);
  EXPECT_NE(s.find("knot[3] "), std::string::npos);
  EXPECT_NE(s.find("phy_closed TRUE\nnum_boundaries 1\nboundary[0] ( "), std::string::npos);
  EXPECT_EQ(s.find("unweighted"), std::string::npos);
  const std::string tail = "\n\nEnd of curve \"arc\"\n";
  ASSERT_GE(s.size(), tail.size());
  EXPECT_EQ(s.substr(s.size() - tail.size()), tail);
}

}  // namespace
