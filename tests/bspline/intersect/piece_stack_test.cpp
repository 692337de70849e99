// The piece stack of a span's self-intersection: pieces that cannot meet themselves are dropped, pieces that may
// are halved (the array grown when both of a pair are), a looping span is worked off in bounded steps, and a heap
// failure at any allocation leaves every record counted on the stack once or released.
#include <gtest/gtest.h>

#include <cstring>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"

namespace {

const std::vector<double> kArch = {0, 0, 0, 1, 1, 0, 2, 0, 0};
// A cubic whose first and last pole legs cross: the span makes a loop.
const std::vector<double> kLoop = {0, 0, 0, 3, 2, 0, -1, 2, 0, 2, 0, 0};

// A stack of one pair of Bezier pieces on [0, 1], records and blocks from the library heap (the array holds
// exactly the pair), and working records with room for the largest piece.
struct Stack {
  std::int32_t count = 2;
  VOQbsp_curve **slots = static_cast<VOQbsp_curve **>(BSdbgmalloc(2 * sizeof(VOQbsp_curve *)));
  double work_poles[2][3 * BSXBZ_MAX_ORDER], work_knots[2][2 * BSXBZ_MAX_ORDER];
  VOQbsp_curve work[2] = {};
  Stack(const std::vector<double> &a, const std::vector<double> &b) {
    for (int p = 0; p < 2; ++p) {
      const std::vector<double> &poles = p ? b : a;
      const int k = static_cast<int>(poles.size() / 3);
      VOQbsp_curve *cv = slots[p] = static_cast<VOQbsp_curve *>(BSdbgcalloc(1, sizeof(VOQbsp_curve)));
      cv->order = static_cast<std::int16_t>(k), cv->num_poles = k, cv->num_knots = 2 * k;
      cv->poles = static_cast<double *>(BSdbgmalloc(static_cast<int>(poles.size() * sizeof(double))));
      cv->knots = static_cast<double *>(BSdbgmalloc(2 * k * static_cast<int>(sizeof(double))));
      std::memcpy(cv->poles, poles.data(), poles.size() * sizeof(double));
      for (int i = 0; i < 2 * k; ++i) cv->knots[i] = i < k ? 0 : 1;
      work[p].poles = work_poles[p], work[p].knots = work_knots[p];
    }
  }
  BSboolean Step(int *rc) { return BStst_stack(rc, &count, &slots, &work[0], &work[1]); }
  ~Stack() {
    for (int i = 0; i < count; ++i) {
      BSdbgfree(slots[i]->poles);
      BSdbgfree(slots[i]->knots);
      BSdbgfree(slots[i]);
    }
    BSdbgfree(slots);
  }
};

TEST(PieceStack, StepsPopAndPush) {
  std::vector<double> many;  // more poles than the working arrays hold
  for (int i = 0; i < 17; ++i) many.insert(many.end(), {double(i), double(i % 3), 0});
  struct {
    std::vector<double> a, b;
    int rc, count;
  } cases[] = {{kArch, kArch, 0, 0},  // convex, the ends outside the boxes of the other poles
               {kArch, kLoop, 0, 2},
               {kLoop, kLoop, 0, 4},  // both halved: the array grows by two entries
               {kArch, many, BSRC_OUT_OF_RANGE, 2}};  // refused, the stack as it was
  for (const auto &c : cases) {
    Stack stack(c.a, c.b);
    int rc = 1;
    EXPECT_EQ(stack.Step(&rc), c.rc == 0 ? BSTRUE : BSFALSE);
    ASSERT_EQ(rc, c.rc) << c.count;
    ASSERT_EQ(stack.count, c.count);
    // Each pushed pair is the two halves of a popped piece, cut at its parameter middle.
    for (int i = 0; i < stack.count && rc == 0; i += 2) {
      EXPECT_EQ(stack.slots[i]->knots[stack.slots[i]->num_poles], 0.5) << c.count;
      EXPECT_EQ(stack.slots[i + 1]->knots[0], 0.5) << c.count;
    }
  }
  Stack stack(kLoop, kLoop);  // worked off in a bounded number of steps
  int steps = 0, rc = 0;
  while (stack.count > 0 && steps < 1000 && stack.Step(&rc)) ++steps;
  EXPECT_EQ(stack.count, 0);
  EXPECT_LT(steps, 200);
}

TEST(PieceStack, HeapFailureAtEachAllocation) {
  const int live = BSdbgliveblocks();
  for (int at = 1, reached = 1; reached; ++at) {
    {
      Stack stack(kLoop, kLoop);
      int rc = 0;
      BSallocfailat(at);
      const BSboolean ok = stack.Step(&rc);
      reached = BSallocfailpending() == 0;
      BSallocfailat(0);
      EXPECT_EQ(rc, reached ? BSRC_NO_HEAP : 0) << at;
      EXPECT_EQ(ok, reached ? BSFALSE : BSTRUE) << at;
      // Every counted slot holds a record of its own (the destructor releases them).
      EXPECT_EQ(stack.count % 2, 0) << at;
      for (int i = 0; i < stack.count; ++i)
        for (int j = i + 1; j < stack.count; ++j) EXPECT_NE(stack.slots[i], stack.slots[j]) << at;
    }
    EXPECT_EQ(BSdbgliveblocks(), live) << at;
  }
}

}  // namespace
