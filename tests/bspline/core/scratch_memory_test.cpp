#include <gtest/gtest.h>

#include <cstring>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

TEST(ScratchMemory, LocalThenStackThenHeap) {
  const int heap = BSscratchheapblocks();
  {
    BSscratch<500> w;
    double *a = w.take(500);
    EXPECT_TRUE(w.is_local(a));
  }
  {
    BSscratch<500> w;
    double *a = w.take(501);
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(w.is_local(a));
    EXPECT_EQ(BSscratchflag(a), 0);
  }
  {
    // 8 * 511 = 4088 bytes still fit the stack block; 512 doubles do not.
    BSscratch<500> w;
    double *a = w.take(511);
    EXPECT_EQ(BSscratchflag(a), 0);
    for (int i = 0; i < 511; ++i) a[i] = i;
    EXPECT_EQ(BSscratchheapblocks(), heap);
  }
  {
    BSscratch<500> w;
    double *a = w.take(512);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(BSscratchflag(a), 1);
    for (int i = 0; i < 512; ++i) a[i] = i;
    EXPECT_EQ(BSscratchheapblocks(), heap + 1);
  }
  EXPECT_EQ(BSscratchheapblocks(), heap);
}

TEST(ScratchMemory, RoutineWithoutLocalArrayStartsAtTheStack) {
  BSscratch<0> w;
  double *a = w.take(1);
  EXPECT_FALSE(w.is_local(a));
  EXPECT_EQ(BSscratchflag(a), 0);
}

TEST(ScratchMemory, ForcedHeapFailureGivesNullAndLeavesNothingBehind) {
  const int heap = BSscratchheapblocks();
  BSallocfailat(1);
  {
    BSscratch<500> w;
    EXPECT_EQ(w.take(4000), nullptr);
  }
  EXPECT_EQ(BSallocfailpending(), 0);
  EXPECT_EQ(BSscratchheapblocks(), heap);
  // Counting: the second request fails, the first succeeds.
  BSallocfailat(2);
  double *a = BSscratchtake(1000, nullptr);
  double *b = BSscratchtake(1000, nullptr);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(b, nullptr);
  BSscratchrelease(a);
  BSscratchrelease(b);
  EXPECT_EQ(BSscratchheapblocks(), heap);
}

TEST(ScratchMemory, EvaluatorAnswers33WhenItsScratchFails) {
  // Order 20 with two derivatives needs 19 * 20 + 20 + 2 * 3 * 20 = 520 doubles: above the local 500 and the
  // stack bound, so the heap serves it.
  std::mt19937 rng(7);
  auto c = random_curve(rng, 20, 24, false, true);
  const int heap = BSscratchheapblocks();
  double out[9], ref[9];
  int rc = 0;
  const double u = 0.5 * (c->start() + c->end());
  BStraceclear();
  BSallocfailat(1);
  BScveval_n(&c->cv, u, 2, out, &rc);
  EXPECT_EQ(rc, 33);
  ASSERT_EQ(BStracecount(), 1);
  EXPECT_STREQ(BStracetable()[0].name, "BScveval_n");
  EXPECT_EQ(BSscratchheapblocks(), heap);
  BScveval_n(&c->cv, u, 2, out, &rc);
  EXPECT_EQ(rc, 0);
  ref_point(*c, u, ref);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], ref[i], 1e-9);
  EXPECT_EQ(BSscratchheapblocks(), heap);
  BStraceclear();
}

TEST(HeapEntries, RefuseEmptyAndNegativeRequests) {
  EXPECT_EQ(BSdbgmalloc(0), nullptr);
  EXPECT_EQ(BSdbgmalloc(-4), nullptr);
  EXPECT_EQ(BSdbgcalloc(0, 8), nullptr);
  BSdbgfree(nullptr);
  double *z = static_cast<double *>(BSdbgcalloc(4, sizeof(double)));
  ASSERT_NE(z, nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(z[i], 0.0);
  z[3] = 7;
  EXPECT_EQ(BSdbgralloc(z, -1), nullptr);  // the block is left as it was
  EXPECT_EQ(z[3], 7.0);
  z = static_cast<double *>(BSdbgralloc(z, 8 * sizeof(double)));
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z[3], 7.0);
  BSallocfailat(1);
  EXPECT_EQ(BSdbgmalloc(16), nullptr);
  BSdbgfree(z);
}

TEST(HeapEntries, CompositeLegendreReleaseFreesBothBlocksOnce) {
  double **spans = static_cast<double **>(BSdbgmalloc(3 * sizeof(double *)));
  double *coef = static_cast<double *>(BSdbgmalloc(30 * sizeof(double)));
  spans[0] = coef;
  spans[1] = coef + 10;
  spans[2] = coef + 20;
  BSfreecmplgd(&spans);
  EXPECT_EQ(spans, nullptr);
  BSfreecmplgd(&spans);  // already gone: nothing happens
  double **empty = static_cast<double **>(BSdbgcalloc(2, sizeof(double *)));
  BSfreecmplgd(&empty);
  EXPECT_EQ(empty, nullptr);
}

}  // namespace
