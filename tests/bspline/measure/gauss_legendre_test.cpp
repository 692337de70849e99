#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/measure.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

const int kSizes[9] = {4, 8, 12, 16, 20, 40, 80, 160, 320};

double horner(const std::vector<double> &p, double x) {
  double v = 0;
  for (int j = static_cast<int>(p.size()) - 1; j >= 0; --j) v = v * x + p[j];
  return v;
}

TEST(GaussLegendre, EveryRuleIsExactUpToItsDegree) {
  int maxrule = 0;
  BSglmaxrule(&maxrule);
  EXPECT_EQ(maxrule, 320);
  const int offsets[9] = {0, 4, 12, 24, 40, 60, 100, 180, 340};
  for (int r = 0; r < 9; ++r) {
    const int n = kSizes[r];
    const double *x = nullptr;
    int rc = 0;
    BSextrtlgd(n, &x, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(x, BSglnodes + offsets[r]);
    for (int i = 1; i < n; ++i) EXPECT_LT(x[i - 1], x[i]) << n;
    for (int i = 0; i < n; ++i) EXPECT_EQ(x[i], -x[n - 1 - i]) << n;
    // x^(2n-2) is the highest even power an n-point rule integrates exactly, x^(2n) the first it does not.
    std::vector<double> values(n);
    for (int m : {0, 2, 2 * n - 2}) {
      for (int i = 0; i < n; ++i) values[i] = std::pow(x[i], m);
      double sum = 0;
      BSintegval(n, values.data(), &sum, &rc);
      ASSERT_EQ(rc, 0);
      EXPECT_NEAR(sum, 2.0 / (m + 1), 1e-14) << "rule " << n << " power " << m;
    }
    if (n <= 12) {
      for (int i = 0; i < n; ++i) values[i] = std::pow(x[i], 2 * n);
      double sum = 0;
      BSintegval(n, values.data(), &sum, &rc);
      EXPECT_GT(std::fabs(sum - 2.0 / (2 * n + 1)), 1e-9) << n;
    }
  }
}

TEST(GaussLegendre, OnlyTabulatedSizes) {
  const double ones[4] = {1, 1, 1, 1};
  double sum = -1;
  int rc = 0;
  BSintegval(4, ones, &sum, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_DOUBLE_EQ(sum, 2);
  for (int n : {0, 6, 10, 24, 640, -4}) {
    BSintegval(n, ones, &sum, &rc);
    EXPECT_EQ(rc, -2) << n;
    const double *x = BSglnodes + 7;
    BSextrtlgd(n, &x, &rc);
    EXPECT_EQ(rc, -2) << n;
    EXPECT_EQ(x, BSglnodes + 7) << "left alone on failure";
  }
}

TEST(GaussLegendre, PolynomialTools) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> ud(-2, 2);
  for (int deg : {0, 1, 2, 5, 8}) {
    std::vector<double> p(deg + 1);
    for (double &c : p) c = ud(rng);
    for (double x : {0.0, 0.3, -0.77, 1.0}) {
      double plus, minus;
      BSpolevpm(deg, p.data(), x, &plus, &minus);
      EXPECT_NEAR(plus, horner(p, x), 1e-13);
      EXPECT_NEAR(minus, horner(p, -x), 1e-13);
    }
    std::vector<double> left(deg + 1), right(deg + 1);
    BSpolhalves(deg, p.data(), left.data(), right.data());
    for (double s : {-1.0, -0.4, 0.0, 0.9, 1.0}) {
      EXPECT_NEAR(horner(left, s), horner(p, (s - 1) / 2), 1e-13) << deg;
      EXPECT_NEAR(horner(right, s), horner(p, (s + 1) / 2), 1e-13) << deg;
    }
  }
  double plus = 7, minus = 7;
  BSpolevpm(-1, nullptr, 0.5, &plus, &minus);
  EXPECT_EQ(plus, 0);
  EXPECT_EQ(minus, 0);
  const double a[3] = {1, 2, 3}, b[2] = {-1, 4};
  double c[4] = {9, 9, 9, 9};
  BSpolymul(2, a, 1, b, c);
  EXPECT_EQ(std::vector<double>(c, c + 4), (std::vector<double>{-1, 2, 5, 12}));
}

TEST(GaussLegendre, SquareRootIntegrals) {
  int rc = 0;
  double I = 0;
  // (x + 2)^2: a smooth root, settled on the ladder.
  const double sq[3] = {4, 4, 1};
  BSintsqrtp(2, sq, 1e-12, 0, &I, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(I, 4, 1e-12);
  // x^2: the root |x| has a kink at 0 that only bisection resolves.
  const double kink[3] = {0, 0, 1};
  BSintsqrtp(2, kink, 1e-9, 0, &I, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(I, 1, 1e-8);
  // 1 - x^2: a quarter of the unit circle's area times 4 over [-1, 1].
  const double disc[3] = {1, 0, -1};
  BSintsqrtp(2, disc, 1e-7, 0, &I, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(I, M_PI / 2, 1e-6);
  // sqrt(N) / W^2 with N = (2 + x)^2 and W = 2: (1/4) of 4.
  const double W[1] = {2};
  BSintsqrtpw(2, sq, 0, W, 1e-12, 0, &I, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(I, 1, 1e-12);
}

TEST(GaussLegendre, IntegratorRefusals) {
  const double sq[3] = {4, 4, 1};
  double I = -7;
  int rc = 0;
  BSintsqrtp(2, sq, 1e-9, 31, &I, &rc);
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(I, -7) << "nothing integrated";
  BSintsqrtp(2, sq, 0, 0, &I, &rc);
  EXPECT_EQ(rc, -2);
  BSintsqrtp(2, sq, std::nan(""), 0, &I, &rc);
  EXPECT_EQ(rc, -2);
  const double negative[1] = {-1};
  BSintsqrtp(0, negative, 1e-9, 0, &I, &rc);
  EXPECT_EQ(rc, -2);
  const double W[2] = {1, 0.5};
  BSintsqrtpw(0, negative, 1, W, 1e-9, 0, &I, &rc);
  EXPECT_EQ(rc, 35);
  BSintsqrtpw(2, sq, 1, W, 1e-9, 31, &I, &rc);
  EXPECT_EQ(rc, -1);
}

TEST(GaussLegendre, UnmeetableInputsEndInsteadOfBisectingForever) {
  // A coefficient that is not a number never lets two rules agree; it is refused at the first node.
  const double nan_poly[3] = {1, std::nan(""), 1};
  double I = 0;
  int rc = 0;
  BSintsqrtp(2, nan_poly, 1e-9, 0, &I, &rc);
  EXPECT_EQ(rc, -2);
  // A tolerance far below the rounding of the sums: settled once the rules agree to rounding.
  const double p[5] = {1, 0.3, 2, -0.1, 0.7};
  BSintsqrtp(4, p, 1e-300, 0, &I, &rc);
  EXPECT_EQ(rc, 0);
  double ref = 0;
  BSintsqrtp(4, p, 1e-13, 0, &ref, &rc);
  EXPECT_NEAR(I, ref, 1e-12);
  // A weight that vanishes at a node leaves no finite length; one that vanishes between nodes makes the
  // integral diverge, which the depth limit ends.
  const double one[1] = {1}, at_node[2] = {-BSglnodes[0], 1}, between[2] = {0, 1};
  BSintsqrtpw(0, one, 1, at_node, 1e-6, 0, &I, &rc);
  EXPECT_EQ(rc, 35);
  BSintsqrtpw(0, one, 1, between, 1e-6, 0, &I, &rc);
  EXPECT_EQ(rc, -1);
  // A squared speed that dips below zero only by rounding (a zero of the speed at a node) is a zero.
  const double dip[3] = {-1e-18, 0, 1};
  BSintsqrtp(2, dip, 1e-9, 0, &I, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NEAR(I, 1, 1e-8);
}

}  // namespace
