#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "bspline/numerics.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

TEST(ClosedFormRoots, RootTestScalesOnlyByTermsThatCannotCancelAgainstTheConstant) {
  BSboolean f = 9;
  const double c[] = {0.0, -4.0, 0.0, 1.0};  // x^3 - 4x
  BSisroot(3, c, 2.0, &f);
  EXPECT_EQ(f, 1);
  // At -2 both terms are odd powers of a negative x: they do not raise the scale, which stays |c0| = 0.
  BSisroot(3, c, -2.0, &f);
  EXPECT_EQ(f, 0);
  BSisroot(3, c, 0.0, &f);
  EXPECT_EQ(f, 1);
  const double d[] = {1e-300, 1.0};
  BSisroot(1, d, 0.0, &f);
  EXPECT_EQ(f, 0);
  const double q[] = {-2.0, 0.0, 1.0};
  BSisroot(2, q, std::sqrt(2.0), &f);
  EXPECT_EQ(f, 1);
  BSisroot(2, q, 1.4142, &f);
  EXPECT_EQ(f, 0);
}

TEST(ClosedFormRoots, ComplexHelpers) {
  double r, i;
  BScxrecip(3.0, 4.0, &r, &i);
  EXPECT_DOUBLE_EQ(r, 3.0 / 25.0);
  EXPECT_DOUBLE_EQ(i, -4.0 / 25.0);
  BScxsqrt(0.0, 0.0, &r, &i);
  EXPECT_EQ(r, 0.0);
  EXPECT_EQ(i, 0.0);
  for (const cplx z : {cplx(-4, 0), cplx(3, 4), cplx(-3, -4), cplx(0, 2), cplx(1e-8, -5)}) {
    BScxsqrt(z.real(), z.imag(), &r, &i);
    EXPECT_LT(std::abs(cplx(r, i) * cplx(r, i) - z), 1e-14 * std::abs(z)) << z;
    const double arg = std::atan2(i, r);
    EXPECT_GT(arg, -M_PI / 4 - 1e-15) << z;
    EXPECT_LE(arg, 3 * M_PI / 4 + 1e-15) << z;
  }
}

TEST(ClosedFormRoots, DepressedCubicBranches) {
  double t[3], ti[3];
  // One real root and a pair: t^3 + 3t - 4 = (t - 1)(t^2 + t + 4).
  BScubdep(3.0, -4.0, 4 * 27.0 + 27 * 16.0, t, ti);
  EXPECT_NEAR(t[0], 1.0, 1e-15);
  EXPECT_NEAR(t[1], -0.5, 1e-15);
  EXPECT_NEAR(ti[1], std::sqrt(15.0) / 2, 1e-14);
  EXPECT_EQ(ti[2], -ti[1]);
  // q > 0 negates everything: t^3 + 3t + 4.
  BScubdep(3.0, 4.0, 4 * 27.0 + 27 * 16.0, t, ti);
  EXPECT_NEAR(t[0], -1.0, 1e-15);
  // Three real roots: t^3 - 7t + 6 = (t - 1)(t - 2)(t + 3).
  BScubdep(-7.0, 6.0, 4 * -343.0 + 27 * 36.0, t, ti);
  std::vector<double> got{t[0], t[1], t[2]};
  std::sort(got.begin(), got.end());
  EXPECT_NEAR(got[0], -3.0, 1e-14);
  EXPECT_NEAR(got[1], 1.0, 1e-14);
  EXPECT_NEAR(got[2], 2.0, 1e-14);
  // p = q = 0 would divide 0 by 0 in the general formula.
  BScubdep(0.0, 0.0, 0.0, t, ti);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(t[i], 0.0);
    EXPECT_EQ(ti[i], 0.0);
  }
}

TEST(ClosedFormRoots, QuadraticEdgeCasesAndSlots) {
  double re[2], im[2];
  const double zero[] = {0, 0, 0};
  BSquadsolve(zero, re, im);
  EXPECT_EQ(re[0], DBL_MAX);
  EXPECT_EQ(re[1], DBL_MAX);
  const double linear[] = {1, 2, 0};
  BSquadsolve(linear, re, im);
  EXPECT_EQ(re[0], DBL_MAX);
  EXPECT_EQ(re[1], -0.5);
  const double dbl[] = {1, 2, 1};
  BSquadsolve(dbl, re, im);
  EXPECT_EQ(re[0], -1.0);
  EXPECT_EQ(re[1], -1.0);
  EXPECT_EQ(im[0], 0.0);
  const double pair[] = {1, 0, 1};
  BSquadsolve(pair, re, im);
  EXPECT_EQ(re[0], 0.0);
  EXPECT_EQ(im[0], 1.0);
  EXPECT_EQ(im[1], -1.0);
  // The sign of the imaginary parts follows c2.
  const double neg[] = {-1, 0, -1};
  BSquadsolve(neg, re, im);
  EXPECT_EQ(im[0], -1.0);
  EXPECT_EQ(im[1], 1.0);
  // Widely scaled roots both keep full relative accuracy (no cancellation in either).
  const auto c = poly_from_roots({1e-9, 1e9});
  BSquadsolve(c.data(), re, im);
  EXPECT_NEAR(re[0], 1e9, 1e9 * 1e-15);
  EXPECT_NEAR(re[1], 1e-9, 1e-9 * 1e-15);
}

TEST(ClosedFormRoots, CubicEdgeCases) {
  double re[3], im[3];
  int rc = 0;
  const double quad[] = {1, 2, 3, 0};
  BSrpoly3(quad, re, im, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(re[2], DBL_MAX);
  EXPECT_EQ(im[2], 0.0);

  const double origin[] = {0, -3, 1, 2};
  BSrpoly3(origin, re, im, &rc);
  EXPECT_EQ(re[2], 0.0);
  EXPECT_TRUE(roots_match({1.0, -1.5}, re, im, 1e-15));

  const double triple[] = {-1, 3, -3, 1};
  BSrpoly3(triple, re, im, &rc);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(re[i], 1.0);
    EXPECT_EQ(im[i], 0.0);
  }

  const auto d = poly_from_roots({1.0, 1.0, 2.0});
  BSrpoly3(d.data(), re, im, &rc);
  EXPECT_NEAR(re[0], 1.0, 1e-15);
  EXPECT_EQ(re[0], re[1]);
  EXPECT_NEAR(re[2], 2.0, 1e-15);

  const double tiny[] = {1e-30, 1, 1, 1};
  BSrpoly3(tiny, re, im, &rc);
  EXPECT_EQ(re[2], -1e-30);
  EXPECT_TRUE(roots_match({-1e-30, cplx(-0.5, std::sqrt(0.75)), cplx(-0.5, -std::sqrt(0.75))}, re, im, 1e-15));
  EXPECT_TRUE(pairs_adjacent(2, re, im));

  // A subnormal constant term carries a few bits only: the other two roots, 650 - 2100 x + 1227.78 x^2 = 0, must
  // not inherit its rounding through the division by the tiny root.
  const double subnormal[] = {2.4278385836638855e-319, 650, -2100.0000000000005, 1227.7777777777781};
  BSrpoly3(subnormal, re, im, &rc);
  EXPECT_EQ(rc, 0);
  const double disc = std::sqrt(2100.0000000000005 * 2100.0000000000005 - 4 * 1227.7777777777781 * 650);
  EXPECT_TRUE(roots_match({(2100.0000000000005 - disc) / (2 * 1227.7777777777781),
                           (2100.0000000000005 + disc) / (2 * 1227.7777777777781), -3.7351362825598239e-322},
                          re, im, 1e-14));

  // A constant term negligible beside the others counts as zero (with c1 = 0 the tiny-root branch cannot take
  // it first).
  const double negligible[] = {1e-45, 0, 1, 1};
  BSrpoly3(negligible, re, im, &rc);
  EXPECT_EQ(re[2], 0.0);
  EXPECT_EQ(rc, 0);
}

TEST(ClosedFormRoots, CubicGeneralFromKnownRoots) {
  const std::vector<std::vector<cplx>> cases = {
      {1.0, 2.0, 3.0},
      {-5.0, 0.25, 7.0},
      {1e-6, 1.0, 1e6},
      {2.0, cplx(1, 3), cplx(1, -3)},
      {-0.001, cplx(50, 1), cplx(50, -1)},
      {1e5, cplx(-1e-3, 2e-3), cplx(-1e-3, -2e-3)},
  };
  for (const auto &roots : cases)
    for (double lead : {1.0, -3.5, 1e-8}) {
      const auto c = poly_from_roots(roots, lead);
      double re[3], im[3];
      int rc = 0;
      BSrpoly3(c.data(), re, im, &rc);
      ASSERT_EQ(rc, 0);
      EXPECT_TRUE(roots_match(roots, re, im, 1e-9)) << roots[0] << " " << roots[1] << " " << roots[2];
      for (int j = 0; j < 3; ++j) EXPECT_LT(relative_residual(c, cplx(re[j], im[j])), 1e-14);
      // A real root and a pair: the pair sits in adjacent conjugate slots.
      int complex_slots = 0;
      for (int j = 0; j < 3; ++j) complex_slots += im[j] != 0.0;
      if (complex_slots) {
        EXPECT_EQ(complex_slots, 2);
        const int k = im[0] == 0.0 ? 1 : 0;
        EXPECT_EQ(re[k], re[k + 1]);
        EXPECT_EQ(im[k], -im[k + 1]);
      }
    }
}

TEST(ClosedFormRoots, QuarticSymmetricForms) {
  double re[4], im[4];
  int rc = 0;
  const double biquad_real[] = {-1, 0, 0, 0, 1};
  BSrpoly4(biquad_real, re, im, &rc);
  ASSERT_EQ(rc, 0);
  const double want_re[] = {0, 0, 1, -1}, want_im[] = {1, -1, 0, 0};
  for (int j = 0; j < 4; ++j) {
    EXPECT_NEAR(re[j], want_re[j], 1e-15) << j;
    EXPECT_NEAR(im[j], want_im[j], 1e-15) << j;
  }
  const double biquad_cx[] = {1, 0, 0, 0, 1};
  BSrpoly4(biquad_cx, re, im, &rc);
  const double h = std::sqrt(0.5);
  const double cre[] = {h, h, -h, -h}, cim[] = {h, -h, h, -h};
  for (int j = 0; j < 4; ++j) {
    EXPECT_NEAR(re[j], cre[j], 1e-15) << j;
    EXPECT_NEAR(im[j], cim[j], 1e-15) << j;
  }
  // (x^2 + x + 1)^2: palindromic with a double z.
  const double pal[] = {1, 2, 3, 2, 1};
  BSrpoly4(pal, re, im, &rc);
  const double s3 = std::sqrt(3.0) / 2;
  EXPECT_TRUE(roots_match({cplx(-0.5, s3), cplx(-0.5, -s3), cplx(-0.5, s3), cplx(-0.5, -s3)}, re, im, 1e-7));
  EXPECT_EQ(re[0], re[2]);
  EXPECT_EQ(im[1], im[3]);
  // Palindromic with distinct real z: (x - 2)(x - 1/2)(x + 3)(x + 1/3).
  const auto p2 = poly_from_roots({2.0, 0.5, -3.0, -1.0 / 3.0}, 6.0);
  double pc[5];
  for (int i = 0; i < 5; ++i) pc[i] = std::round(p2[i]);  // exact integers make the symmetry exact
  BSrpoly4(pc, re, im, &rc);
  EXPECT_TRUE(roots_match({2.0, 0.5, -3.0, -1.0 / 3.0}, re, im, 1e-14));
  // Palindromic with a complex z: x^4 + x^3 + x^2 + x + 1, the primitive fifth roots of unity.
  const double five[] = {1, 1, 1, 1, 1};
  BSrpoly4(five, re, im, &rc);
  std::vector<cplx> unity;
  for (int k = 1; k <= 4; ++k) unity.push_back(std::polar(1.0, 2 * M_PI * k / 5));
  EXPECT_TRUE(roots_match(unity, re, im, 1e-14));
}

TEST(ClosedFormRoots, QuarticMultipleRootsAndDegenerateCoefficients) {
  double re[4], im[4];
  int rc = 0;
  const auto quad4 = poly_from_roots({2.0, 2.0, 2.0, 2.0});
  BSrpoly4(quad4.data(), re, im, &rc);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(re[j], 2.0);

  const auto triple = poly_from_roots({1.0, 1.0, 1.0, -3.0});
  BSrpoly4(triple.data(), re, im, &rc);
  ASSERT_EQ(rc, 0);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(re[j], 1.0, 1e-15);
  EXPECT_NEAR(re[3], -3.0, 1e-14);

  // (x^2 + 2x + 5)^2 = c4 (x^2 + h x + g)^2: each of the pair twice, in the slots r0, r0, r1, r1.
  const auto square = poly_from_roots({cplx(-1, 2), cplx(-1, -2), cplx(-1, 2), cplx(-1, -2)});
  BSrpoly4(square.data(), re, im, &rc);
  EXPECT_EQ(re[0], re[1]);
  EXPECT_EQ(im[0], im[1]);
  EXPECT_EQ(im[2], im[3]);
  EXPECT_TRUE(roots_match({cplx(-1, 2), cplx(-1, -2), cplx(-1, 2), cplx(-1, -2)}, re, im, 1e-14));

  const auto dbl = poly_from_roots({1.5, 1.5, -2.0, 4.0});
  BSrpoly4(dbl.data(), re, im, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(re[2], 1.5, 1e-14);
  EXPECT_EQ(re[2], re[3]);
  EXPECT_TRUE(roots_match({1.5, 1.5, -2.0, 4.0}, re, im, 1e-7));

  const double cubic[] = {-6, 11, -6, 1, 0};
  BSrpoly4(cubic, re, im, &rc);
  EXPECT_EQ(re[3], DBL_MAX);
  EXPECT_TRUE(roots_match({1.0, 2.0, 3.0}, re, im, 1e-14));

  const auto origin = poly_from_roots({0.0, 1.0, -2.0, 5.0});
  BSrpoly4(origin.data(), re, im, &rc);
  EXPECT_EQ(re[3], 0.0);
  EXPECT_TRUE(roots_match({1.0, -2.0, 5.0}, re, im, 1e-14));
}

// Every multiplicity pattern of a quartic, from seeded random roots: exact dyadic ones (every coefficient exact)
// and ones whose coefficients round, at scales from 1e-25 to 1e25, the other roots at the multiple root's mean
// (the depressed quartic's odd term then vanishes) or anywhere. Each root must come back as often as it occurs:
// a simple one to 1e-10 relative, a double one to 1e-7, a triple or quadruple one to 1e-4.
TEST(ClosedFormRoots, QuarticMultiplicityPatterns) {
  using Roots = std::vector<std::pair<cplx, int>>;  // the distinct roots and how often each occurs
  using Pattern = Roots (*)(double a, double b, double c, double e);
  const std::pair<const char *, Pattern> patterns[] = {
      {"double, two simple", [](double a, double b, double c, double) { return Roots{{a, 2}, {b, 1}, {c, 1}}; }},
      {"double at the simple roots' mean",
       [](double a, double, double, double e) { return Roots{{a, 2}, {a - e, 1}, {a + e, 1}}; }},
      {"double, pair",
       [](double a, double b, double c, double) { return Roots{{a, 2}, {{b, c}, 1}, {{b, -c}, 1}}; }},
      {"double at the pair's centre",
       [](double a, double, double, double e) { return Roots{{a, 2}, {{a, e}, 1}, {{a, -e}, 1}}; }},
      {"two doubles", [](double a, double b, double, double) { return Roots{{a, 2}, {b, 2}}; }},
      {"triple, simple", [](double a, double b, double, double) { return Roots{{a, 3}, {b, 1}}; }},
      {"quadruple", [](double a, double, double, double) { return Roots{{a, 4}}; }},
      {"squared pair", [](double a, double b, double, double) { return Roots{{{a, b}, 2}, {{a, -b}, 2}}; }},
  };
  std::vector<std::pair<int, Roots>> rows = {
      {0, {{192, 2}, {32, 1}, {144, 1}}}, {0, {{-16, 2}, {-8, 1}, {-10, 1}}},
      {1, {{-1.106e-4, 2}, {-1.678e-4, 1}, {-5.34e-5, 1}}}};
  std::mt19937 rng(121);
  std::uniform_real_distribution<double> u(0, 1);
  for (int dyadic = 0; dyadic < 2; ++dyadic)
    for (int p = 0; p < 8; ++p)
      for (int trial = 0; trial < 150; ++trial) {
        const double scale = dyadic ? std::ldexp(1.0, static_cast<int>(u(rng) * 24) - 16)
                                    : std::pow(10.0, 50 * u(rng) - 25);
        const double sign = trial % 2 ? 0 : u(rng) < 0.5 ? -1 : 1;  // half the rows with roots of one sign
        // Magnitudes 1 .. 256 times a power of two, or 0.1 .. 1.1 times the scale.
        auto real = [&] {
          const double s = sign != 0 ? sign : u(rng) < 0.5 ? -1 : 1;
          return s * scale * (dyadic ? std::floor(1 + 256 * u(rng)) : 0.1 + u(rng));
        };
        for (bool apart = false; !apart;) {
          const double a = real(), b = real(), c = std::fabs(real()), e = std::fabs(real()) / 2;
          rows.push_back({p, patterns[p].second(a, b, c, e)});
          // Distinct roots 5% apart, none at the origin (a relative error needs a modulus).
          apart = true;
          const Roots &r = rows.back().second;
          for (std::size_t i = 0; i < r.size(); ++i) {
            apart = apart && std::abs(r[i].first) > 0.01 * scale;
            for (std::size_t j = 0; j < i; ++j)
              apart = apart && std::abs(r[i].first - r[j].first) > 0.05 * std::abs(r[i].first);
          }
          if (!apart) rows.pop_back();
        }
      }
  int failed = 0;
  for (const auto &[p, want] : rows) {
    std::vector<cplx> roots;
    std::vector<double> tols;
    for (const auto &[z, times] : want) {
      roots.insert(roots.end(), times, z);
      tols.insert(tols.end(), times, times == 1 ? 1e-10 : times == 2 ? 1e-7 : 1e-4);
    }
    const auto c = poly_from_roots(roots);
    double re[4], im[4];
    int rc = 99;
    BSrpoly4(c.data(), re, im, &rc);
    const auto match = roots_match(roots, re, im, tols);
    if ((rc != 0 || !match) && ++failed <= 10)
      ADD_FAILURE() << patterns[p].first << ": roots " << ::testing::PrintToString(roots) << " rc " << rc << ", "
                    << match.message();
  }
  EXPECT_EQ(failed, 0) << "of " << rows.size() << " rows";
}

TEST(ClosedFormRoots, QuarticGeneralFromKnownRoots) {
  const std::vector<std::vector<cplx>> cases = {
      {1.0, 2.0, 3.0, 4.0},
      {-7.0, 0.1, 3.0, 11.0},
      {1e-4, 1.0, 100.0, 1e4},
      {2.0, -1.0, cplx(1, 3), cplx(1, -3)},
      {cplx(1, 1), cplx(1, -1), cplx(-2, 0.5), cplx(-2, -0.5)},
      {cplx(1e-3, 1e-3), cplx(1e-3, -1e-3), cplx(300, 20), cplx(300, -20)},
      {0.001, -1000.0, cplx(3, 0.01), cplx(3, -0.01)},
  };
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-10, 10);
  std::vector<std::vector<cplx>> all = cases;
  auto pair = [&](std::vector<cplx> &r) {
    const cplx z(u(rng), std::fabs(u(rng)) + 0.1);
    r.push_back(z);
    r.push_back(std::conj(z));
  };
  for (int t = 0; t < 200; ++t) {
    std::vector<cplx> r;
    if (t % 3 == 0) {
      for (int i = 0; i < 4; ++i) r.push_back(u(rng));
    } else if (t % 3 == 1) {
      r.push_back(u(rng));
      r.push_back(u(rng));
      pair(r);
    } else {
      pair(r);
      pair(r);
    }
    all.push_back(r);
  }
  for (const auto &roots : all) {
    const auto c = poly_from_roots(roots, 2.5);
    double re[4], im[4];
    int rc = 0;
    BSrpoly4(c.data(), re, im, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_TRUE(roots_match(roots, re, im, 1e-6)) << roots[0] << roots[1] << roots[2] << roots[3];
    for (int j = 0; j < 4; ++j) EXPECT_LT(relative_residual(c, cplx(re[j], im[j])), 1e-12) << roots[0];
    EXPECT_TRUE(pairs_adjacent(4, re, im, false));
  }
}

TEST(ClosedFormRoots, IntegerPower) {
  int rc = 5;
  EXPECT_EQ(BSpower(&rc, 2.0, 0), 1.0);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(BSpower(&rc, 2.0, -3), 0.125);
  EXPECT_NEAR(BSpower(&rc, -2.0, 11), -2048.0, 1e-10);
  EXPECT_NEAR(BSpower(&rc, -2.0, 10), 1024.0, 1e-10);
  EXPECT_EQ(BSpower(&rc, 3.0, 9), 19683.0);
  EXPECT_NEAR(BSpower(&rc, 0.5, -20), 1048576.0, 1e-6);
}

}  // namespace
