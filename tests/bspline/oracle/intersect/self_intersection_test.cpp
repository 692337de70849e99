// Self-intersection against OpenCASCADE's (and, for polylines, GEOS's noding): the same crossing points, as many.
#include <gtest/gtest.h>

#include <cmath>

#include "bspline/intersect.h"
#include "tests/bspline/oracle/intersect/crossing_checks.h"

namespace {

TEST(SelfIntersectionOracle, LoopingOffsetsAndPolylines) {
  std::mt19937 rng(2024);
  GEOSContextHandle_t ctx = GEOS_init_r();
  int compared = 0, total = 0;
  for (int trial = 0; trial < 40; ++trial) {
    const bool polyline = trial % 2 == 1;
    auto c = polyline ? loops::RandomPolyline(rng, 6 + trial % 9) : loops::LoopingCubic(rng, 3 + trial % 5, 40, 1.6 + 0.1 * (trial % 7));
    int found = 0;
    if (!crossings::CheckSelf(*c, polyline, ctx, &found, std::to_string(trial))) continue;  // a stretch run over twice
    ++compared;
    total += found;
  }
  GEOS_finish_r(ctx);
  EXPECT_GE(compared, 30);
  EXPECT_GE(total, 60);
}

}  // namespace
