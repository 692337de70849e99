#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

#include "bspline/core/test_support.h"
#include "bspline/numerics.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

struct Solved {
  int rc = 0;
  BSboolean ok = BSFALSE;
  std::vector<double> re, im;
};

Solved solve(const std::vector<double> &c) {
  Solved s;
  const std::int16_t degree = static_cast<std::int16_t>(c.size() - 1);
  s.re.assign(c.size() > 1 ? c.size() - 1 : 1, 7.0);
  s.im.assign(s.re.size(), 7.0);
  s.ok = BSrpoly(&s.rc, c.data(), &degree, s.re.data(), s.im.data());
  return s;
}

// Random roots for a polynomial of the given degree: real ones and conjugate pairs, kept apart from each other
// so that the roots are well conditioned.
std::vector<cplx> random_roots(std::mt19937 &rng, int degree) {
  std::uniform_real_distribution<double> mag(0.3, 3.0), ang(0.0, 2 * M_PI);
  std::bernoulli_distribution pair(0.5);
  std::vector<cplx> roots;
  auto far_enough = [&](cplx z) {
    for (const cplx &r : roots)
      if (std::abs(r - z) < 0.25) return false;
    return true;
  };
  while (static_cast<int>(roots.size()) < degree) {
    if (degree - roots.size() >= 2 && pair(rng)) {
      cplx z = std::polar(mag(rng), ang(rng));
      if (std::fabs(z.imag()) < 0.2 || !far_enough(z)) continue;
      roots.push_back(z);
      roots.push_back(std::conj(z));
    } else {
      const double x = (pair(rng) ? 1 : -1) * mag(rng);
      if (!far_enough(x)) continue;
      roots.push_back(x);
    }
  }
  return roots;
}

TEST(PolynomialRoots, RefusesDegreesBelowOneAndLeadingZerosOfTheIteration) {
  BStraceclear();
  const Solved constant = solve({3.0});
  EXPECT_EQ(constant.rc, -2);
  EXPECT_EQ(constant.ok, BSFALSE);
  ASSERT_GE(BStracecount(), 1);
  EXPECT_STREQ(BStracetable()[BStracecount() - 1].name, "BSrpoly");
  std::int16_t negative = -1;
  int rc = 0;
  double re[1] = {7}, im[1] = {7};
  EXPECT_EQ(BSrpoly(&rc, re, &negative, re, im), BSFALSE);
  EXPECT_EQ(rc, -2);

  // Degree 5 with a leading coefficient below 2^-97 is refused and leaves the outputs alone; 1e-29 is not
  // below it.
  const Solved tiny_lead = solve({1, 2, 3, 4, 5, 1e-31});
  EXPECT_EQ(tiny_lead.rc, -2);
  EXPECT_EQ(tiny_lead.re[0], 7.0);
  const Solved small_lead = solve({-1, 0, 0, 0, 0, 1e-29});
  EXPECT_EQ(small_lead.rc, 0);
  for (int j = 0; j < 5; ++j) EXPECT_NEAR(std::abs(cplx(small_lead.re[j], small_lead.im[j])), std::pow(1e29, 0.2), 1e-7);
  BStraceclear();
}

TEST(PolynomialRoots, LowDegreesAgreeWithTheClosedForms) {
  const Solved lin = solve({3.0, -1.5});
  EXPECT_EQ(lin.rc, 0);
  EXPECT_EQ(lin.re[0], 2.0);
  EXPECT_EQ(lin.im[0], 0.0);

  const std::vector<std::vector<double>> polys = {
      {2, -3, 1}, {1, 2, 0}, {5, 1, 2}, {-6, 11, -6, 1}, {1, 2, 3, 0}, {24, -50, 35, -10, 1}, {1, 0, 0, 0, 1},
      {1, 2, 3, 0, 0}};
  for (const auto &c : polys) {
    const Solved s = solve(c);
    std::vector<double> re(c.size() - 1), im(c.size() - 1);
    int rc = 0;
    if (c.size() == 3) BSquadsolve(c.data(), re.data(), im.data());
    if (c.size() == 4) BSrpoly3(c.data(), re.data(), im.data(), &rc);
    if (c.size() == 5) BSrpoly4(c.data(), re.data(), im.data(), &rc);
    EXPECT_EQ(s.rc, rc);
    EXPECT_EQ(s.re, re);
    EXPECT_EQ(s.im, im);
  }
  // Leading zeros reach the closed forms unchanged: a root at infinity.
  EXPECT_EQ(solve({1, 2, 3, 0}).re[2], DBL_MAX);
}

TEST(PolynomialRoots, RootsAtTheOriginFillTheFirstSlots) {
  // x^5 - x
  const Solved s = solve({0, -1, 0, 0, 0, 1});
  ASSERT_EQ(s.rc, 0);
  EXPECT_EQ(s.re[0], 0.0);
  EXPECT_EQ(s.im[0], 0.0);
  EXPECT_TRUE(roots_match({1.0, -1.0, cplx(0, 1), cplx(0, -1)}, s.re.data() + 1, s.im.data() + 1, 1e-13));
  // x^3 (x^3 - 8): three zero slots, then the cube roots of 8.
  const Solved t = solve({0, 0, 0, -8, 0, 0, 1});
  ASSERT_EQ(t.rc, 0);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(t.re[j], 0.0);
  EXPECT_TRUE(roots_match({2.0, std::polar(2.0, 2 * M_PI / 3), std::polar(2.0, -2 * M_PI / 3)}, t.re.data() + 3,
                          t.im.data() + 3, 1e-13));
}

TEST(PolynomialRoots, FindsKnownRootsUpToDegreeTwenty) {
  std::mt19937 rng(12);
  for (int degree = 5; degree <= 20; ++degree)
    for (int trial = 0; trial < 12; ++trial) {
      const auto roots = random_roots(rng, degree);
      const double lead = trial % 2 ? 1.0 : -0.37;
      const auto c = poly_from_roots(roots, lead);
      const Solved s = solve(c);
      ASSERT_EQ(s.rc, 0) << "degree " << degree << " trial " << trial;
      ASSERT_EQ(s.ok, BSTRUE);
      EXPECT_TRUE(roots_match(roots, s.re.data(), s.im.data(), 1e-6)) << "degree " << degree << " trial " << trial;
      EXPECT_TRUE(pairs_adjacent(degree, s.re.data(), s.im.data()));
      for (int j = 0; j < degree; ++j)
        EXPECT_LT(relative_residual(c, cplx(s.re[j], s.im[j])), 1e-11) << "degree " << degree << " slot " << j;
      // The last two roots come from the final quadratic: the smaller real root first.
      if (s.im[degree - 1] == 0.0 && s.im[degree - 2] == 0.0) {
        EXPECT_LE(std::fabs(s.re[degree - 2]), std::fabs(s.re[degree - 1]));
      }
    }
}

TEST(PolynomialRoots, HardCases) {
  // Clustered, multiple and widely scaled roots: the residual stays at rounding level even where the roots
  // themselves are ill conditioned.
  const std::vector<std::vector<cplx>> cases = {
      {1.0, 1.0, 2.0, 3.0, 4.0},
      {1.0, 1.0001, 0.9999, -2.0, 5.0, 6.0},
      {1e-3, 1e-2, 0.1, 1.0, 10.0, 100.0, 1000.0},
      {cplx(0, 1), cplx(0, -1), cplx(0, 1), cplx(0, -1), 3.0},
      {-1.0, -1.0, -1.0, -1.0, -1.0, -1.0},
  };
  for (const auto &roots : cases) {
    const auto c = poly_from_roots(roots);
    const Solved s = solve(c);
    ASSERT_EQ(s.rc, 0);
    for (std::size_t j = 0; j < roots.size(); ++j)
      EXPECT_LT(relative_residual(c, cplx(s.re[j], s.im[j])), 1e-12) << roots.size() << " slot " << j;
    EXPECT_TRUE(roots_match(roots, s.re.data(), s.im.data(), 0.01));
  }
  // A real pair of opposite signs and nearly equal size found as one quadratic factor: both of its roots must
  // be checked before the factor is taken, not only the larger one.
  {
    const std::vector<cplx> pair_roots = {-2.14343, cplx(0.628309, 0.528028), cplx(0.628309, -0.528028), 0.693537,
                                          -2.2463, 2.14864};
    const auto c = poly_from_roots(pair_roots);
    const Solved s = solve(c);
    ASSERT_EQ(s.rc, 0);
    EXPECT_TRUE(roots_match(pair_roots, s.re.data(), s.im.data(), 1e-12));
  }
  // Coefficients scaled far down and up give the same roots: the solver scales by a power of two.
  const auto roots = std::vector<cplx>{1.0, 2.0, -3.0, cplx(1, 1), cplx(1, -1), 0.5};
  for (double scale : {1e-25, 1.0, 1e25}) {
    const auto c = poly_from_roots(roots, scale);
    const Solved s = solve(c);
    ASSERT_EQ(s.rc, 0) << scale;
    EXPECT_TRUE(roots_match(roots, s.re.data(), s.im.data(), 1e-9)) << scale;
  }
}

// Every root answered with rc 0 is one of the polynomial given, within what rounding explains: random
// coefficients up to degree 100, and sextics whose roots all lie near 1e-3 (with the shift quadratic's constant
// term at the modulus bound, its roots lay 30 times too far out and 4% of these did not converge).
TEST(PolynomialRoots, AnsweredRootsAreRootsOfThePolynomialGiven) {
  std::mt19937 rng(6021);
  std::uniform_real_distribution<double> coef(-10, 10), small(0.5e-3, 2e-3), angle(0.1, 3.0);
  std::bernoulli_distribution pair(0.5);
  for (int trial = 0; trial < 200; ++trial) {
    const int degree = 5 + trial % 96;
    std::vector<double> c(degree + 1);
    for (double &x : c) x = coef(rng);
    const Solved s = solve(c);
    ASSERT_EQ(s.rc, 0) << "degree " << degree;
    EXPECT_TRUE(pairs_adjacent(degree, s.re.data(), s.im.data()));
    for (int j = 0; j < degree; ++j)
      EXPECT_LT(relative_residual(c, cplx(s.re[j], s.im[j])), 16 * degree * DBL_EPSILON) << degree << " " << j;
  }
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<cplx> roots;
    while (roots.size() < 6) {
      if (roots.size() <= 4 && pair(rng)) {
        const cplx z = std::polar(small(rng), angle(rng));
        roots.push_back(z);
        roots.push_back(std::conj(z));
      } else {
        roots.push_back((pair(rng) ? 1.0 : -1.0) * small(rng));
      }
    }
    const auto c = poly_from_roots(roots);
    const Solved s = solve(c);
    ASSERT_EQ(s.rc, 0) << "sextic " << trial;
    for (int j = 0; j < 6; ++j) EXPECT_LT(relative_residual(c, cplx(s.re[j], s.im[j])), 16 * 6 * DBL_EPSILON);
  }
  // Coefficients over seventy orders of magnitude (the constant term below 2^-97, a root at the origin): the last
  // root, alone in the last slot, came back from the refinement as a complex pair, its conjugate written past
  // the arrays and rc 0. Every answered slot is a root or a pair's half beside its partner; those filled before a
  // failure stay valid.
  {
    const std::vector<double> c = {-7.5113406067389901e-38, 1.9286810371025381e-18, -14.979761347298732,
                                   -90118051097259392.0,    -1.9988658891447881e+33, 1.3743802275654073e+32,
                                   -4.6149827273905618e+30, 1381101666526756.0,      -0.796102558416522};
    const Solved s = solve(c);
    ASSERT_TRUE(s.rc == 0 || s.rc == -1) << s.rc;
    const int filled = s.rc == 0 ? 8 : 7;
    EXPECT_TRUE(pairs_adjacent(filled, s.re.data(), s.im.data()));
    for (int j = 1; j < filled; ++j) EXPECT_LT(relative_residual(c, cplx(s.re[j], s.im[j])), 16 * 8 * DBL_EPSILON) << j;
  }
}

void fail_power(const char *name, int *rc) {
  if (rc && std::strcmp(name, "bspower") == 0) *rc = 2;
}

// The coefficients are scaled by a factor the iteration computes itself, or on the slow road by the power routine:
// both must give the same roots to the bit, at scales that take the short and the long power, and through the
// degrees that the iteration unrolls and one it does not. A failing power fails the solve; off the slow road no
// power is taken, so a handler failing it changes nothing.
TEST(PolynomialRoots, ScalingOnTheShortAndTheSlowRoad) {
  std::mt19937 rng(61);
  for (int degree : {5, 6, 8})
    for (double scale : {1e-25, 3e-13, 1.0, 7e3, 1e60, 1e200}) {
      std::vector<double> c = poly_from_roots(random_roots(rng, degree));
      for (double &x : c) x *= scale;
      const Solved plain = solve(c);
      const BSfaulthandler before = BSsetfaulthook(fail_power);
      const Solved unfailed = solve(c);
      bstest::set_slow_roads(true);
      const Solved failed = solve(c);
      BSsetfaulthook(before);
      const Solved hooked = solve(c);
      bstest::set_slow_roads(false);
      EXPECT_EQ(std::memcmp(plain.re.data(), unfailed.re.data(), 8 * degree), 0) << degree << " " << scale;
      ASSERT_EQ(plain.rc, 0) << degree << " " << scale;
      ASSERT_EQ(hooked.rc, 0) << degree << " " << scale;
      EXPECT_EQ(std::memcmp(plain.re.data(), hooked.re.data(), 8 * degree), 0) << degree << " " << scale;
      EXPECT_EQ(std::memcmp(plain.im.data(), hooked.im.data(), 8 * degree), 0) << degree << " " << scale;
      // Far from 1 the coefficients are always scaled, and so the power always taken.
      if (scale < 1e-20 || scale > 1e20) {
        EXPECT_NE(failed.rc, 0) << degree << " " << scale;
        EXPECT_EQ(failed.ok, BSFALSE);
      }
    }
  BStraceclear();
}

TEST(PolynomialRoots, HighDegreesUseScratchAndReleaseIt) {
  // Degree 120, beyond the local arrays of 100 doubles.
  std::mt19937 rng(120);
  std::uniform_real_distribution<double> radius(0.2, 5.0), angle(0.1, 3.0);
  std::vector<cplx> roots;
  while (roots.size() < 120) {
    const cplx z = std::polar(radius(rng), angle(rng));
    roots.push_back(z);
    roots.push_back(std::conj(z));
  }
  const auto c = poly_from_roots(roots);
  const int before = BSscratchheapblocks();
  const Solved s = solve(c);
  ASSERT_EQ(s.rc, 0);
  EXPECT_EQ(BSscratchheapblocks(), before);
  EXPECT_TRUE(roots_match(roots, s.re.data(), s.im.data(), 1e-5));
  for (int j = 0; j < 120; ++j) EXPECT_LT(relative_residual(c, cplx(s.re[j], s.im[j])), 1e-9) << j;

  // x^n -+ 1 puts every root on one circle. The lower bound of the moduli must not be thrown out by the Newton
  // steps that refine it (started left of the root they overflowed and the iteration gave up); and the roots,
  // found along an arc, leave quotients whose coefficients grow by orders of magnitude, so that from n = 64 on
  // values off the circle by up to 0.3 passed the quotient's own test: every root is one of x^n -+ 1 itself.
  for (int n = 5; n <= 128; ++n)
    for (double sign : {-1.0, 1.0}) {
      std::vector<double> u(n + 1, 0.0);
      u[0] = sign;
      u[n] = 1.0;
      std::vector<cplx> unity;
      for (int j = 0; j < n; ++j) unity.push_back(std::polar(1.0, (2 * j + (sign > 0 ? 1 : 0)) * M_PI / n));
      const Solved t = solve(u);
      ASSERT_EQ(t.rc, 0) << n;
      EXPECT_TRUE(pairs_adjacent(n, t.re.data(), t.im.data()));
      EXPECT_TRUE(roots_match(unity, t.re.data(), t.im.data(), 1e-10)) << "x^" << n << " " << sign;
      for (int j = 0; j < n; ++j) EXPECT_NEAR(std::abs(cplx(t.re[j], t.im[j])), 1.0, 1e-10) << n << " slot " << j;
    }

  // A failing scratch allocation answers 33 and leaks nothing.
  BSallocfailat(1);
  const Solved f = solve(c);
  BSallocfailat(0);
  EXPECT_EQ(f.rc, 33);
  EXPECT_EQ(f.ok, BSFALSE);
  EXPECT_EQ(BSscratchheapblocks(), before);
  BStraceclear();
}

}  // namespace
