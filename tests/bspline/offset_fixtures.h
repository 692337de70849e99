// Shared by the tests of the joins between offset pieces: straight pieces by their ends, and the round of
// injected failures every join must survive.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "bspline/bspline.h"
#include "tests/bspline/curve_fixtures.h"

struct Seg {
  double x0, y0, x1, y1, z = 2;
};
inline std::unique_ptr<TestCurve> line(const Seg &s) {
  return std::make_unique<TestCurve>(2, std::vector<double>{s.x0, s.y0, s.z, s.x1, s.y1, s.z},
                                     std::vector<double>{0, 0, 1, 1});
}

// run() makes the call and hands back what it returned; check(result, at, injected) judges it. Failure 0 makes
// every curve release fail, failure k the k-th allocation; the round ends with the first attempt whose failure
// was never reached. After each attempt, with its result released, the heap holds what it held before.
template <class Run, class Check>
void for_each_failure(Run run, Check check) {
  for (int at = 0, injected = 1; injected; ++at) {
    SCOPED_TRACE(testing::Message() << "failure " << at);
    const int live = BSdbgliveblocks();
    {
      const BSfaulthandler fail_release = [](const char *lname, int *rc) {
        if (std::strcmp(lname, "bsfreevoqcv") == 0) *rc = 33;
      };
      at == 0 ? (void)BSsetfaulthook(fail_release) : BSallocfailat(at);
      auto result = run();
      BSsetfaulthook(nullptr);
      injected = at == 0 || BSallocfailpending() == 0;
      BSallocfailat(0);
      check(*result, at, injected != 0);
    }
    EXPECT_EQ(BSdbgliveblocks(), live);
  }
}
