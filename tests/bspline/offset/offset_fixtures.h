// Shared by the offset tests: straight pieces by their ends, the round of injected failures every join must
// survive, the distance of a point from a curve, and the pictures written for a reader.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/bspline/curve_fixtures.h"

struct Seg {
  double x0, y0, x1, y1, z = 2;
};
inline std::unique_ptr<TestCurve> line(const Seg &s) {
  return std::make_unique<TestCurve>(2, std::vector<double>{s.x0, s.y0, s.z, s.x1, s.y1, s.z},
                                     std::vector<double>{0, 0, 1, 1});
}

// run() makes the call and hands back what it returned; check(result, at, injected) judges it. Failure 0 makes
// every curve release fail, on the short and on the slow roads; failure k the k-th allocation; the round ends with
// the first attempt whose failure was never reached. After each attempt, with its result released, the heap holds
// what it held before.
template <class Run, class Check>
void for_each_failure(Run run, Check check) {
  for (int at = 0, injected = 1; injected; ++at)
    for (const bool slow : {false, true}) {
      if (slow && at != 0) break;
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(testing::Message() << "failure " << at << (slow ? ", slow roads" : ""));
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

// Infinite when the distance cannot be found, so that a failure never passes for a near point.
inline double dist_to(const VOQbsp_curve *cv, const double p[3]) {
  double u = 0, foot[3], d = 0;
  int rc = 0;
  BSmdstptcv(cv, p, &u, foot, &d, &rc);
  return rc == 0 ? d : INFINITY;
}

inline std::FILE *svg_open(const char *name, const char *view_box) {
  std::FILE *f = std::fopen(name, "w");
  if (f) std::fprintf(f, "<svg xmlns='http://www.w3.org/2000/svg' viewBox='%s'>\n", view_box);
  return f;
}
// 401 samples of the curve moved by (dx, dy), y pointing down as the picture's does.
inline void svg_curve(std::FILE *f, const VOQbsp_curve &cv, const char *colour, double dx = 0, double dy = 0) {
  std::fprintf(f, "<polyline fill='none' stroke-width='0.05' stroke='%s' points='", colour);
  const double a = cv.knots[cv.order - 1], b = cv.knots[cv.num_poles];
  for (int j = 0; j <= 400; ++j) {
    double p[3];
    ref_point(cv, j == 400 ? b : a + (b - a) * j / 400, p);
    std::fprintf(f, "%.4f,%.4f ", p[0] + dx, dy - p[1]);
  }
  std::fprintf(f, "'/>\n");
}
inline bool svg_close(std::FILE *f) { return std::fputs("</svg>\n", f) >= 0 && std::fclose(f) == 0; }
