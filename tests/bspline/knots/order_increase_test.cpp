// Order increase on coordinate blocks: answers and refusals, random splines against their own points and
// BSupthedeg, failing allocations. OpenCASCADE's answers are compared in oracle/order_increase_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

// BSincord of 3-dimensional blocks; the result arrays are freed with the object.
struct Raised {
  int rc = 0, np = -1, k, newk;
  double *poles = nullptr, *knots = nullptr;
  Raised(int k_, const std::vector<double> &P, const std::vector<double> &t, int newk_) : k(k_), newk(newk_) {
    poles = knots = reinterpret_cast<double *>(8);  // so that NULL on failure shows
    BSincord(k, 3, static_cast<int>(t.size()) - k, P.data(), t.data(), newk, &np, &poles, &knots, &rc);
  }
  ~Raised() {
    if (rc == 0) BSdbgfree(poles), BSdbgfree(knots);
  }
  std::vector<double> knot_vector() const { return std::vector<double>(knots, knots + np + newk); }
  // The largest distance from the input at 100 parameters, relative to the largest coordinate.
  double worst_gap(const std::vector<double> &P, const std::vector<double> &t) const {
    const int n0 = static_cast<int>(t.size()) - k;
    double worst = 0, size = 0;
    for (double p : P) size = std::max(size, std::fabs(p));
    for (int s = 0; s <= 99; ++s) {
      const double u = t.front() + (t.back() - t.front()) * s / 99.0;
      const auto a = ref_basis_all(t, k, u, t.back()), b = ref_basis_all(knot_vector(), newk, u, t.back());
      for (int c = 0; c < 3; ++c) {
        double x = 0, y = 0;
        for (int i = 0; i < n0; ++i) x += a[i] * P[c * n0 + i];
        for (int i = 0; i < np; ++i) y += b[i] * poles[c * np + i];
        worst = std::max(worst, std::fabs(x - y) / size);
      }
    }
    return worst;
  }
};

TEST(OrderIncrease, AnswersAndRefusals) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char *what;
    int k;
    std::vector<double> knots;
    int newk;
    std::vector<double> want;  // the new knots; empty: rc -2
  };
  const Case cases[] = {
      {"cubic Bezier to order 6", 4, {0, 0, 0, 0, 1, 1, 1, 1}, 6, {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1}},
      {"inner knot of multiplicity k-1", 4, {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2}, 5,
       {0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2}},
      {"inner knot of multiplicity k", 3, {0, 0, 0, 1, 1, 1, 3, 3, 3}, 4, {0, 0, 0, 0, 1, 1, 1, 1, 3, 3, 3, 3}},
      {"linear on uneven knots", 2, {0, 0, 0.1, 5, 5}, 3, {0, 0, 0, 0.1, 0.1, 5, 5, 5}},
      {"same order, several segments: a copy", 3, {0, 0, 0, 1, 2, 2, 2}, 3, {0, 0, 0, 1, 2, 2, 2}},
      {"end multiplicity below k", 4, {0, 0, 0, 1, 2, 2, 2, 2}, 5, {}},
      {"end multiplicity above k", 2, {0, 0, 0, 1, 1}, 3, {}},
      {"interior multiplicity above k", 3, {0, 0, 0, 1, 1, 1, 1, 2, 2, 2}, 4, {}},
      {"decreasing knots", 3, {0, 0, 0, 2, 1, 3, 3, 3}, 4, {}},
      {"lower order asked", 4, {0, 0, 0, 0, 1, 1, 1, 1}, 3, {}},
      {"order 1", 1, {0, 1, 2}, 2, {}},
      {"fewer poles than the order", 3, {0, 0, 0, 1, 1}, 4, {}},
      {"NaN knot", 3, {0, 0, 0, kNaN, 2, 2, 2}, 4, {}},
      {"NaN pole", 3, {0, 0, 0, 1, 1, 1}, 4, {}},
  };
  std::mt19937 rng(4205);
  std::uniform_real_distribution<double> coord(-10, 10);
  const int live = BSdbgliveblocks();
  for (const Case &c : cases) {
    const int np = std::max(static_cast<int>(c.knots.size()) - c.k, 0);
    std::vector<double> P(3 * np);
    for (double &x : P) x = coord(rng);
    if (std::string(c.what) == "NaN pole") P[4] = kNaN;
    const Raised r(c.k, P, c.knots, c.newk);
    if (c.want.empty()) {
      EXPECT_TRUE(r.rc == -2 && r.poles == nullptr && r.knots == nullptr) << c.what;
      continue;
    }
    ASSERT_EQ(r.rc, 0) << c.what;
    EXPECT_EQ(r.knot_vector(), c.want) << c.what;
    for (int x = 0; x < 3; ++x)  // end points kept exactly
      EXPECT_TRUE(r.poles[x * r.np] == P[x * np] && r.poles[x * r.np + r.np - 1] == P[x * np + np - 1]) << c.what;
    EXPECT_LT(r.worst_gap(P, c.knots), 1e-15 * c.newk) << c.what;
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
  BStraceclear();
}

// Orders 2 to 8, interior knots of every multiplicity below the order, raised by 1 to 4: the same curve, and up
// to order 6 the poles and knots of the record routine BSupthedeg, which reaches them by polar forms.
TEST(OrderIncrease, RandomSplinesKeepTheirShapeAndAgreeWithDegreeRaising) {
  std::mt19937 rng(4206);
  for (int k = 2; k <= 8; ++k)
    for (int raise = 1; raise <= 4; ++raise) {
      auto c = random_curve(rng, k, k + 3 + raise, false, true, k - 1);
      std::vector<double> P(3 * c->n());
      for (int i = 0; i < 3 * c->n(); ++i) P[i % 3 * c->n() + i / 3] = c->poles[i];
      const Raised r(k, P, c->knots, k + raise);
      ASSERT_EQ(r.rc, 0) << k << " +" << raise;
      EXPECT_LT(r.worst_gap(P, c->knots), 1e-14) << k << " +" << raise;
      if (k + raise > 6) continue;
      VOQbsp_curve *out = nullptr;
      int rc = 0;
      BSupthedeg(&c->cv, static_cast<std::int16_t>(k - 1 + raise), BSFALSE, &out, &rc);
      HeapCurve owned(out);
      ASSERT_TRUE(rc == 0 && out->num_poles == r.np) << k << " +" << raise;
      EXPECT_EQ(knots_of(*out), r.knot_vector());
      for (int i = 0; i < 3 * r.np; ++i) EXPECT_NEAR(out->poles[i], r.poles[i % 3 * r.np + i / 3], 1e-11) << k;
    }
}

// Every heap request fails in turn: the results (rc -13), the step buffers or a step's work (rc 33).
TEST(OrderIncrease, FailedAllocationsLeaveNothing) {
  std::mt19937 rng(4207);
  auto c = random_curve(rng, 4, 300, false, true, 2);
  const int live = BSdbgliveblocks();
  int failed = 0;
  for (int at = 1;; ++at) {
    BSallocfailat(at);
    const Raised r(4, c->poles, c->knots, 7);
    const bool fired = BSallocfailpending() == 0;
    BSallocfailat(0);
    EXPECT_EQ(BSscratchheapblocks(), 0) << at;
    if (!fired) break;
    ++failed;
    EXPECT_TRUE((r.rc == -13 || r.rc == 33) && r.poles == nullptr && r.knots == nullptr) << at << ": " << r.rc;
  }
  EXPECT_GE(failed, 4);
  EXPECT_EQ(BSdbgliveblocks(), live);
  BStraceclear();
}

}  // namespace
