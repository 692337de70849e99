#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "bspline/numerics.h"

namespace {

// BSpoly3 (trimming, then BSpoly2) and BSpoly2 alone; the agreement with another solver is the oracle's.
TEST(IntervalRoots, Table) {
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char *what;
    bool trim;
    int n;
    std::vector<double> c;
    double lo, hi, dist_tol;
    int rc, count;
    std::vector<double> roots;
  } cases[] = {
      {"nothing above the threshold", true, 2, {0, 0, 1e-20}, 0, 1, 1e-6, 0, 65535, {}},
      {"negative degree", true, -1, {1}, 0, 1, 1e-6, 0, 65535, {}},
      {"a constant after trimming", true, 1, {5, 1e-11}, 0, 1, 1e-6, 0, 0, {}},
      {"top coefficient trimmed", true, 3, {-1, 0, 1, 1e-11}, -2, 2, 1e-6, 0, 2, {-1, 1}},
      {"the threshold follows dist_tol", true, 3, {-1, 0, 1, 1e-7}, -2, 2, 1e-5, 0, 2, {-1, 1}},
      {"x^2 - 1 on [0, 2]", false, 2, {-1, 0, 1}, 0, 2, 1e-6, 0, 1, {1}},
      {"a root 1e-13 below lo is lo", false, 1, {-(0.25 - 1e-13), 1}, 0.25, 1, 1e-6, 0, 1, {0.25}},
      {"NaN coefficient", true, 2, {-1, kNaN, 1}, 0, 2, 1e-6, -2, 0, {}},
      {"lo above hi", false, 2, {-1, 0, 1}, 2, 0, 1e-6, -2, 0, {}},
  };
  for (const auto &cs : cases) {
    const double saved = BStoltab[bstol::dist_tol];
    BStoltab[bstol::dist_tol] = cs.dist_tol;
    std::vector<double> roots(std::max(cs.n, 1), 7.0);
    const std::int16_t n = static_cast<std::int16_t>(cs.n);
    std::uint16_t count = 99;
    int rc = 99;
    const BSboolean ok = (cs.trim ? BSpoly3 : BSpoly2)(&rc, &n, cs.c.data(), &cs.lo, &cs.hi, &count, roots.data());
    BStoltab[bstol::dist_tol] = saved;
    EXPECT_EQ(ok, cs.rc == 0 ? BSTRUE : BSFALSE) << cs.what;
    EXPECT_EQ(rc, cs.rc) << cs.what;
    ASSERT_EQ(count, cs.count) << cs.what;
    std::sort(roots.begin(), roots.begin() + (count == 65535 ? 0 : count));
    for (std::size_t i = 0; i < cs.roots.size(); ++i) EXPECT_EQ(roots[i], cs.roots[i]) << cs.what;
  }
}

TEST(IntervalRoots, RootCheckAndCubeRoots) {
  const struct {
    std::vector<double> c;
    double x;
    BSboolean isroot;
  } checks[] = {
      {{0, 5}, 0, 1},
      {{1e-300, 5}, 0, 0},
      {{-1, 0, 1}, 1 + 1e-10, 0},
      {{0, -1, 0, 1}, -1, 1},  // BSisroot, which ignores odd terms of a negative x, answers 0 here
  };
  for (const auto &cs : checks) {
    BSboolean isroot = 7;
    BStstrtcan(static_cast<int>(cs.c.size()) - 1, cs.c.data(), cs.x, &isroot);
    EXPECT_EQ(isroot, cs.isroot) << cs.x;
  }
  double r = 7;
  BScbrt(-27, &r);
  EXPECT_EQ(r, -3.0);
  for (double v : {0.0, -1e-300, 3.3e300, 0.1}) {
    BScbrt(v, &r);
    EXPECT_NEAR(r * r * r, v, 5e-16 * std::fabs(v)) << v;
  }
  double re[3], im[3];
  BScubicrt(-1, 0, -4, re, im);
  std::sort(re, re + 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(re[i], i - 1.0, 1e-15);
    EXPECT_EQ(im[i], 0.0);
  }
  // The second names give their twins' values bit for bit.
  double a[8], b[8];
  BScubicrt(-3, 1, -81, a, a + 3);
  BScubdep(-3, 1, -81, b, b + 3);
  BScplxsqrt(0.3, -2, a + 6, a + 7);
  BScxsqrt(0.3, -2, b + 6, b + 7);
  EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
  BScplxinv(0.3, -2, a, a + 1);
  BScxrecip(0.3, -2, b, b + 1);
  EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
}

}  // namespace
