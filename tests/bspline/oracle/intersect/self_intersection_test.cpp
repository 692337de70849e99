// Self-intersection against OpenCASCADE's (and, for polylines, GEOS's noding): the same crossing points, as many.
#include <gtest/gtest.h>

#include <cmath>

#include "bspline/intersect.h"
#include "tests/bspline/oracle/looping_curves.h"

namespace {

// Our crossings as points (x, y); every pair must name one point twice.
std::vector<double> OurCrossings(TestCurve &c, int *rc) {
  int n_int = 0, n_over = 0;
  double *first = nullptr, *second = nullptr, *o[4] = {nullptr, nullptr, nullptr, nullptr};
  BScv_slfint(rc, &c.cv, &n_int, &first, &second, &n_over, &o[0], &o[1], &o[2], &o[3]);
  std::vector<double> out;
  for (int i = 0; i < n_int; ++i) {
    double a[3], b[3];
    ref_point(c, first[i], a);
    ref_point(c, second[i], b);
    EXPECT_LE(std::hypot(a[0] - b[0], a[1] - b[1]), 1e-6);
    out.insert(out.end(), {a[0], a[1]});
  }
  for (double *p : {first, second, o[0], o[1], o[2], o[3]}) BSdbgfree(p);
  return out;
}

// Each point of `want` has one of `got` within tol.
bool Covered(const std::vector<double> &want, const std::vector<double> &got, double tol) {
  for (size_t i = 0; i < want.size(); i += 2) {
    bool hit = false;
    for (size_t j = 0; j < got.size() && !hit; j += 2) hit = std::hypot(want[i] - got[j], want[i + 1] - got[j + 1]) <= tol;
    if (!hit) return false;
  }
  return true;
}

TEST(SelfIntersectionOracle, LoopingOffsetsAndPolylines) {
  std::mt19937 rng(2024);
  GEOSContextHandle_t ctx = GEOS_init_r();
  int compared = 0, crossings = 0;
  for (int trial = 0; trial < 40; ++trial) {
    const bool polyline = trial % 2 == 1;
    auto c = polyline ? loops::RandomPolyline(rng, 6 + trial % 9) : loops::LoopingCubic(rng, 3 + trial % 5, 40, 1.6 + 0.1 * (trial % 7));
    bool segments = false;
    const std::vector<double> want = loops::OcctSelfCrossings(*c, &segments);
    if (segments && !polyline) continue;  // a stretch it sees run over twice: not compared
    int rc = 0;
    const std::vector<double> got = OurCrossings(*c, &rc);
    ASSERT_EQ(rc, 0) << trial;
    if (polyline) {
      // OpenCASCADE misses crossings of polylines; GEOS's noding counts them.
      EXPECT_TRUE(Covered(want, got, 1e-6)) << trial;
      EXPECT_EQ(static_cast<int>(got.size() / 2), loops::GeosSelfCrossings(ctx, *c)) << trial;
    } else {
      EXPECT_EQ(got.size(), want.size()) << trial;
      EXPECT_TRUE(Covered(want, got, 1e-6) && Covered(got, want, 1e-6)) << trial;
    }
    ++compared;
    crossings += static_cast<int>(got.size() / 2);
  }
  GEOS_finish_r(ctx);
  EXPECT_GE(compared, 30);
  EXPECT_GE(crossings, 60);
}

}  // namespace
