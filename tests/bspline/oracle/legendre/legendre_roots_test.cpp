// Roots of Legendre series against GSL: the Gauss-Legendre nodes of its fixed-order tables, and the companion-
// matrix solver on the power form; real roots in an interval (BSpoly2, BSpoly3) against the same solver.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>
#include <gsl/gsl_poly.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "bspline/legendre.h"
#include "bspline/numerics.h"
#include "tests/bspline/legendre_from_roots.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

// The real roots of c (ascending powers) in [lo, hi], sorted.
std::vector<double> gsl_real_roots(const std::vector<double> &c, double lo, double hi) {
  const std::size_t n = c.size();
  std::vector<double> z(2 * (n - 1));
  gsl_poly_complex_workspace *w = gsl_poly_complex_workspace_alloc(n);
  EXPECT_EQ(gsl_poly_complex_solve(c.data(), n, w, z.data()), GSL_SUCCESS);
  gsl_poly_complex_workspace_free(w);
  std::vector<double> out;
  for (std::size_t i = 0; i + 1 < n; ++i)
    if (std::fabs(z[2 * i + 1]) < 1e-6 && z[2 * i] >= lo && z[2 * i] <= hi) out.push_back(z[2 * i]);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(LegendreRootsOracle, NodesOfGaussLegendreRules) {
  for (int n = 2; n <= 64; ++n) {
    gsl_integration_glfixed_table *t = gsl_integration_glfixed_table_alloc(n);
    std::vector<double> nodes(n), roots(n);
    for (int i = 0; i < n; ++i) {
      double w;
      gsl_integration_glfixed_point(-1, 1, i, &nodes[i], &w, t);
    }
    gsl_integration_glfixed_table_free(t);
    std::sort(nodes.begin(), nodes.end());
    std::vector<double> pn(n + 1, 0.0);
    pn[n] = 1;
    int count = 0, rc = 99;
    BSfndrtlgd1(n, pn.data(), 1e-13, &count, roots.data(), &rc);
    ASSERT_EQ(rc, 0) << n;
    ASSERT_EQ(count, n) << n;
    for (int i = 0; i < n; ++i) EXPECT_NEAR(roots[i], nodes[i], 1e-13) << "P_" << n << " root " << i;
  }
}

// A series with known real roots in [-1, 1], each listed as often as its multiplicity.
struct KnownRoots {
  std::string what;
  std::vector<double> roots;
  std::vector<double> c;
  double tol;
  double within = 0;  // 0: each root to the bound of its multiplicity; else every root to this (as many digits given)
  std::vector<double> band = {};  // for each root, a bound of its own where nonzero (a flat crossing's)
};

// The series of roots and pairs (complex pairs raising the degree), scaled to a largest value of `size` on [-1, 1]
// or, with by_coefficient, to a largest coefficient of `size`.
KnownRoots known(std::string what, std::vector<double> roots, const std::vector<Quadratic> &pairs, double tol,
                 double size = 1, bool by_coefficient = false) {
  std::vector<double> c = legendre_from_roots(roots, pairs);
  const int n = static_cast<int>(c.size()) - 1;
  double top = 0;
  for (int i = 0; i <= 200; ++i) {
    double v = c[0];
    if (!by_coefficient) BSevalpolgd(n, c.data(), -1 + i / 100.0, &v);
    top = std::max(top, std::fabs(by_coefficient ? c[i % (n + 1)] : v));
  }
  for (double &x : c) x *= size / top;
  std::sort(roots.begin(), roots.end());
  return {std::move(what), std::move(roots), std::move(c), tol * size};
}

// The roots of the series kept by seeded(): the series leaves the band between any two of them, and each simple
// root (but those at a flat crossing, banded) and each triple root is conditioned to its bound.
bool conditioned(const KnownRoots &row) {
  const std::vector<double> &c = row.c;
  const int n = static_cast<int>(c.size()) - 1;
  std::vector<double> d1(n), d2(n);
  BSderpolgd(n, c.data(), d1.data());
  BSderpolgd(n - 1, d1.data(), d2.data());
  double s2 = 0;
  for (int j = 0; j + 2 <= n; ++j) s2 += std::fabs(d2[j]);
  for (std::size_t i = 0; i < row.roots.size(); ++i) {
    const double r = row.roots[i];
    const auto m = std::count(row.roots.begin(), row.roots.end(), r);
    double slope = 0, third = 0, top = 0;
    int rc = 0;
    BSevalgder(n, c.data(), 1, r, &slope, &rc);
    BSevalgder(n, c.data(), 3, r, &third, &rc);
    if (m == 1 && (row.band.empty() || row.band[i] == 0) && !(row.tol / std::fabs(slope) <= 1e-10)) return false;
    // A triple root whose series, rounded to doubles, leaves it tilted by more than half the tolerance is no
    // triple root within it (the slope there must be within tol).
    if (m == 3 && !(4 * DBL_EPSILON * s2 / std::fabs(third) <= 1e-10 && std::fabs(slope) <= row.tol / 2)) return false;
    if (i + 1 < row.roots.size() && row.roots[i + 1] != r) {
      for (int k = 1; k < 64; ++k) {
        double v = 0;
        BSevalpolgd(n, c.data(), r + (row.roots[i + 1] - r) * k / 64, &v);
        top = std::max(top, std::fabs(v));
      }
      if (!(top >= 100 * row.tol)) return false;
    }
  }
  return true;
}

// Roots of a series for `left` more degrees: complex pairs (well off the axis) one time in five, else real roots of
// multiplicity 1 to 3, at least one of them multiple, `apart` from each other and those already in `distinct`, a
// quarter of them on the ends, on 0 and on points where the bisection divides when `spots` is set.
void draw_roots(std::mt19937 &rng, int left, double apart, bool spots, std::vector<double> &distinct,
                std::vector<double> &roots, std::vector<Quadratic> &pairs) {
  std::uniform_real_distribution<double> in(-0.95, 0.95), re(-1.5, 1.5), im(0.3, 2), coin(0, 1);
  const double places[] = {-1, 1, 0, 0.5, -0.5, 0.25, -0.75, 0.125};
  bool multiple = false;
  while (left > 0) {
    if (left >= 2 && coin(rng) < 0.2) {
      const double x = re(rng), y = im(rng);
      pairs.push_back({-2 * x, x * x + y * y});
      left -= 2;
      continue;
    }
    int m = 1 + static_cast<int>(coin(rng) * 3);
    if (!multiple && m == 1) m = 2 + (coin(rng) < 0.5);
    m = std::min(m, left);
    double r = 0;
    do r = spots && coin(rng) < 0.25 ? places[static_cast<int>(coin(rng) * 8)] : in(rng);
    while (std::any_of(distinct.begin(), distinct.end(), [r, apart](double x) { return std::fabs(x - r) < apart; }));
    distinct.push_back(r);
    roots.insert(roots.end(), m, r);
    multiple = multiple || m > 1;
    left -= m;
  }
}

// Seeded series of degree 5 to 16 with double and triple roots beside simple ones, some on the ends, on 0 and on
// points where the bisection divides, scaled from 1e-6 to 1e6, under tolerances 1e-12 and 1e-13 of their size. A
// draw is kept when its roots are what a tolerance can tell: the series leaves the band between any two of them,
// and each root is conditioned to its bound (simple roots' slopes, triple roots' third derivatives against the
// rounding of c'').
std::vector<KnownRoots> seeded(int count) {
  std::mt19937 rng(134);
  std::vector<KnownRoots> rows;
  for (int draw = 0; static_cast<int>(rows.size()) < count; ++draw) {
    const int n = 5 + draw % 12;
    std::vector<double> roots, distinct;
    std::vector<Quadratic> pairs;
    draw_roots(rng, n, 0.02, true, distinct, roots, pairs);
    const double size = std::pow(10.0, draw % 13 - 6);
    KnownRoots row = known("seeded draw " + std::to_string(draw), roots, pairs, draw % 2 ? 1e-13 : 1e-12, size);
    if (conditioned(row)) rows.push_back(std::move(row));
  }
  return rows;
}

// Seeded series of degree 6 to 16 with one triple root lifted off zero by a known amount, beside double and
// triple roots and simple ones, under tolerances 1e-12 and 1e-13 of their size (1e-3 to 1e3): by 2 to 30 times
// the tolerance either way, (t - r)^3 + e crosses zero once, at r - e^(1/3), through a stretch where the series
// stays within tol (its band: twice tol over the slope there); the whole series lifted by a twentieth to a half of
// it keeps its triple root. Also double roots lifted off zero by 2 to 30 times the tolerance, (t - r)^2 + e,
// where no root is.
std::vector<KnownRoots> lifted(int count) {
  std::mt19937 rng(141);
  std::uniform_real_distribution<double> in(-0.95, 0.95), coin(0, 1);
  std::vector<KnownRoots> rows;
  for (int draw = 0; static_cast<int>(rows.size()) < count; ++draw) {
    const int n = 6 + draw % 11, kind = draw % 3, order = kind == 2 ? 2 : 3;
    const double r0 = in(rng);
    std::vector<double> roots, distinct = {r0};
    std::vector<Quadratic> pairs;
    draw_roots(rng, n - order, 0.05, false, distinct, roots, pairs);
    const double size = std::pow(10.0, draw % 7 - 3), tol = (draw % 2 ? 1e-13 : 1e-12) * size;
    // The scale of the series before the lift, and the other factors' value at r0 after it.
    std::vector<double> all = roots;
    all.insert(all.end(), order, r0);
    const std::vector<double> plain = legendre_from_roots(all, pairs), others = legendre_from_roots(roots, pairs);
    double top = 0, at = 0;
    for (int i = 0; i <= 200; ++i) {
      double v = 0;
      BSevalpolgd(n, plain.data(), -1 + i / 100.0, &v);
      top = std::max(top, std::fabs(v));
    }
    BSevalpolgd(n - order, others.data(), r0, &at);
    // Lifted by `by` tolerances at r0: e times the others' value there is that, on the scale of size.
    const double by = kind == 1 ? 0.05 + 0.45 * coin(rng) : 2 + 28 * coin(rng);
    const long double e = (kind == 2 ? 1 : coin(rng) < 0.5 ? -1 : 1) * by * (tol / size) * top / std::fabs(at);
    const long double r = r0;
    const std::vector<long double> factor = order == 3 ? std::vector<long double>{e - r * r * r, 3 * r * r, -3 * r, 1}
                                                       : std::vector<long double>{r * r + e, -2 * r, 1};
    // A lift within tol is the same for the whole series, as its own tilt there would be no triple root.
    std::vector<double> c = kind == 1 ? plain : legendre_from_roots(roots, pairs, 1, factor);
    for (double &x : c) x *= size / top;
    if (kind == 1) c[0] += static_cast<double>(e * at) * size / top;
    const char *what = kind == 0 ? ", crossing" : kind == 1 ? ", triple" : ", none";
    KnownRoots row{"lifted draw " + std::to_string(draw) + what, roots, c, tol};
    std::vector<double> banded;  // the crossing of the lift
    if (kind == 0) banded = {static_cast<double>(r - std::cbrt(e))};
    row.roots.insert(row.roots.end(), banded.begin(), banded.end());
    if (kind == 1) row.roots.insert(row.roots.end(), 3, r0);
    std::sort(row.roots.begin(), row.roots.end());
    row.band.assign(row.roots.size(), 0.0);
    bool inside = true;
    for (std::size_t i = 0; i < row.roots.size(); ++i)
      if (std::find(banded.begin(), banded.end(), row.roots[i]) != banded.end()) {
        double slope = 0;
        int rc = 0;
        BSevalgder(n, c.data(), 1, row.roots[i], &slope, &rc);
        row.band[i] = 2 * tol / std::fabs(slope);
        inside = inside && std::fabs(row.roots[i]) < 1;
      }
    if (inside && conditioned(row)) rows.push_back(std::move(row));
  }
  return rows;
}

// Series from known roots with multiplicities give those roots with their multiplicities, within the band where
// the series stays within tol for a double root, and for every other root as sharply as a simple root: a root of
// multiplicity 3 or more is a simple root of a derivative. The simple roots are those GSL finds on the power form.
TEST(LegendreRootsOracle, KnownRootsWithMultiplicities) {
  std::vector<KnownRoots> rows = {
      known("simple, spread", {-0.93, -0.61, -0.2, 0.05, 0.38, 0.74, 0.99}, {{0, 0.4}, {0.5, 0.7}, {-1, 1.1}}, 1e-12),
      known("double and triple", {-0.8, -0.3, -0.3, 0.45, 0.45, 0.45, 0.9}, {{0, 0.5}, {0, 0.9}}, 1e-12),
      known("a pair 1e-3 apart", {-0.5, 0.2, 0.201, 0.7}, {{0.2, 0.3}}, 1e-12),
      known("degree 30", {-0.9, -0.55, -0.55, 0.1, 0.1, 0.1, 0.6, 0.601},
            {{0, 0.5}, {0, 0.6}, {0, 0.7}, {0, 0.8}, {0, 0.9}, {0, 1}, {0, 1.2}, {0, 1.4}, {0, 1.6}, {0, 1.8}, {0, 2}},
            1e-12),
      known("double root at -1, triple at 1", {-1, -1, 0.3, 1, 1, 1}, {{0, 0.6}}, 1e-12),
      // The division by a triple root found only to the tolerance of the roots of c'' lifted the double root at
      // 0.16794 (where the series is 3.4e-17) off zero: ten roots came back. Roots given to the digits known.
      {"degree 14 by value",
       {-0.86198, -0.86198, -0.86198, -0.78877, -0.78877, -0.0183, 0.1679421814135873, 0.1679421814135873, 0.3261,
        0.36005, 0.36005, 0.5547},
       {0.20663936235419619, 0.58334460406554478, 0.86012881940449448, 0.99997813947538428, 1, 0.88715013562342004,
        0.70675136650933035, 0.5072206798484129, 0.32710095608650025, 0.18781331381935912, 0.094584517517118272,
        0.040736727516064462, 0.014360025637740107, 0.0037337084340662301, 0.00055821728951645536},
       1e-13, 1e-4},
      // A piece inside the flat stretch of the triple root at 0.0560 came down to a line and gave one root, snapped
      // onto its end 0.055816650390625.
      known("triple root counted once",
            {-0.52631366583542039, -0.52631366583542039, 0.0017621268490520814, 0.0017621268490520814,
             0.0017621268490520814, 0.055964695306320422, 0.055964695306320422, 0.055964695306320422,
             0.63969223833195721, 0.70340128362258603, 0.70340128362258603, 0.73919315702110699},
            {}, 1e-13, 1, true),
      // A five-fold root is a double root of c'': found there only to that root's band, its division changed the
      // series by more than the tolerance, and every attempt failed.
      known("five-fold and triple roots",
            {-0.15989386442352682, -0.15989386442352682, -0.15989386442352682, -0.15989386442352682,
             -0.15989386442352682, 0.1684579465697349, 0.1684579465697349, 0.1684579465697349},
            {}, 1e-12),
      // At an end the 4th derivative of degree 16 rounds to more than the tolerance: judged without its rounding,
      // the five-fold root there was no multiple root and every attempt failed.
      known("five-fold root at -1",
            {-1, -1, -1, -1, -1, -0.55271619315203591, -0.36587232376577083, -0.36587232376577083, 0.25, 0.25, 0.5,
             0.91861938573226154, 1, 1},
            {{2.0766886629003141, 4.5914674356617118}}, 1e-12),
  };
  // A triple root lifted off zero: the series lies 2.09e-13 above zero at its inflection (-0.94865180376326053)
  // with a slope of 2.6e-12 there, so within 1e-13 it crosses once, at -0.9486480, through a stretch 1e-6 wide
  // where it stays within tol. The crossing came back 1.2e-5 off (where the series is 26 tol off zero) and, under
  // 1e-14, not at all. Within 1e-11 (beyond the lift and the slope) the triple root stands.
  const std::vector<double> issue = {
      -0.080194833584130334, 0.52974862458715632,  0.035375099415950725, 0.33708020619811302,  0.89793314623681375,
      -0.20500572629480326,  1,                    0.24026507204845579,  0.19515962942385301,  0.6543423697420605,
      -0.09335520109243936,  0.35257757278211299,  0.18765935587086477,  -0.17752708027091502, 0.34780137144090878,
      -0.1634929393910301,   0.078069323086224454};
  const std::vector<double> rest = {-0.4446035665517315,  -0.4446035665517315, -0.4446035665517315,
                                    -0.038517408593863656, 0.28658153480089776, 0.28658153480089776,
                                    0.60027318114665862,  0.60027318114665862, 0.75879527016804849,
                                    0.75879527016804849,  0.75879527016804849};
  // The crossing, by bisection on the series summed in long double.
  long double lo = -0.9487L, hi = -0.9485L;
  for (int i = 0; i < 80; ++i) {
    const long double mid = (lo + hi) / 2;
    long double p0 = 1, p1 = mid, sum = issue[0] + issue[1] * mid;
    for (int k = 2; k <= 16; ++k) {
      const long double p2 = ((2 * k - 1) * mid * p1 - (k - 1) * p0) / k;
      sum += issue[k] * p2;
      p0 = p1, p1 = p2;
    }
    (sum > 0 ? lo : hi) = mid;
  }
  for (const double tol : {1e-14, 1e-13, 1e-12, 1e-11}) {
    char what[64];
    std::snprintf(what, sizeof what, "a triple root lifted 2.1e-13 off zero, under %g", tol);
    KnownRoots row{what, rest, issue, tol};
    const double lifted_at = tol < 1e-11 ? static_cast<double>(lo) : -0.94865180376326053;
    row.roots.insert(row.roots.begin(), tol < 1e-11 ? 1 : 3, lifted_at);
    row.band.assign(row.roots.size(), 0.0);
    double slope = 0;
    int rc = 0;
    BSevalgder(16, issue.data(), 1, row.roots[0], &slope, &rc);
    if (tol < 1e-11) row.band[0] = 2 * tol / std::fabs(slope);
    rows.push_back(std::move(row));
  }
  for (KnownRoots &row : seeded(3000)) rows.push_back(std::move(row));
  for (KnownRoots &row : lifted(1000)) rows.push_back(std::move(row));
  int failed = 0;
  for (const KnownRoots &row : rows) {
    if (failed > 10) break;
    const std::vector<double> &c = row.c;
    const int n = static_cast<int>(c.size()) - 1;
    std::vector<double> roots(n);
    int count = 0, rc = 99;
    BSfndrtlgd1(n, c.data(), row.tol, &count, roots.data(), &rc);
    const bool ok = rc == 0 && count == static_cast<int>(row.roots.size());
    EXPECT_TRUE(ok) << row.what << ": rc " << rc << ", " << count << " roots for " << row.roots.size();
    failed += !ok;
    if (!ok) continue;
    for (int i = 0; i < count; ++i) {
      const double r = row.roots[i];
      const auto m = std::count(row.roots.begin(), row.roots.end(), r);
      double d2 = 0;
      BSevalgder(n, c.data(), 2, r, &d2, &rc);
      const double band = m == 2 ? 2 * std::sqrt(2 * row.tol / std::fabs(d2)) : 0.0;
      const double own = row.band.empty() ? 0.0 : row.band[i];
      const double within = own > 0 ? own : row.within > 0 ? row.within : std::max(1e-9, band);
      EXPECT_NEAR(roots[i], r, within) << row.what << " root " << i << " of multiplicity " << m;
      failed += !(std::fabs(roots[i] - r) <= within);
    }

    // The simple roots also as GSL finds them on the power form (a root on an end there may lie just beyond it).
    std::vector<double> power(n + 1);
    BSlgdtcan(n, c.data(), power.data(), &rc);
    const std::vector<double> theirs = gsl_real_roots(power, -1 - 1e-8, 1 + 1e-8);
    for (int i = 0; i < count; ++i) {
      // Multiple roots, and flat crossings, are no roots the companion matrix places to 1e-8.
      if (std::count(roots.begin(), roots.begin() + count, roots[i]) > 1) continue;
      if (!row.band.empty() && row.band[i] > 0) continue;
      double nearest = 9;
      for (double r : theirs) nearest = std::min(nearest, std::fabs(r - roots[i]));
      EXPECT_LT(nearest, 1e-8) << row.what << " simple root " << roots[i];
    }
  }
}

// A series drawn as callers' data comes: degree 5 to 20, the product in long double of roots apart, in clusters
// 0.005 to 0.05 wide, doubled and tripled, some beyond the ends, and now and then a complex pair close to the axis;
// clustered roots make the coefficients decay, so that the series is small over part of the interval.
struct DrawnSeries {
  std::vector<double> c, real;
  std::vector<Quadratic> pairs;
};
DrawnSeries draw_series(std::mt19937 &rng) {
  std::uniform_real_distribution<double> u(0, 1);
  const int n = 5 + static_cast<int>(u(rng) * 16);
  DrawnSeries s;
  for (int left = n; left > 0;) {
    const double pick = u(rng);
    const double at = u(rng) < 0.1 ? (u(rng) < 0.5 ? -1 : 1) * (1 + 0.3 * u(rng)) : -1 + 2 * u(rng);
    if (pick < 0.35) {
      s.real.push_back(at);
      --left;
    } else if (pick < 0.65) {
      const double width = 0.005 + 0.045 * u(rng);
      const int k = std::min(left, 2 + static_cast<int>(u(rng) * 4));
      for (int i = 0; i < k; ++i) s.real.push_back(at + width * (u(rng) - 0.5));
      left -= k;
    } else if (pick < 0.9) {
      const int k = std::min(left, 2 + (u(rng) < 0.4));
      s.real.insert(s.real.end(), k, at);
      left -= k;
    } else if (left >= 2) {
      const double y = std::pow(10.0, -3 + 2.5 * u(rng));
      s.pairs.push_back({-2 * at, at * at + y * y});
      left -= 2;
    }
  }
  s.c = legendre_from_roots(s.real, s.pairs);
  double top = 0;
  for (double x : s.c) top = std::max(top, std::fabs(x));
  for (double &x : s.c) x /= top;
  std::sort(s.real.begin(), s.real.end());
  return s;
}

long double value_ld(const std::vector<double> &c, long double t) {
  long double p0 = 1, p1 = t, sum = c[0] + (c.size() > 1 ? c[1] * t : 0.0L);
  for (std::size_t k = 2; k < c.size(); ++k) {
    const long double p2 = ((2 * k - 1) * t * p1 - (k - 1) * p0) / k;
    sum += c[k] * p2;
    p0 = p1, p1 = p2;
  }
  return sum;
}

// Whether roots of the series cannot be told apart within tol: two neighbouring distinct roots (also just beyond an
// end, whose band can reach into the interval) between which the series stays within 100 tol, a complex pair by
// the axis where it is that small, or two roots (a multiple one, or a cluster) within 0.01 beyond an end where the
// series is that small, which cannot be told from roots on the end.
bool cluster_within(const DrawnSeries &s, double tol) {
  for (const double end : {-1.0, 1.0})
    if (fabsl(value_ld(s.c, end)) <= 100 * tol &&
        std::count_if(s.real.begin(), s.real.end(), [end](double x) { return end * x >= 1 && end * x <= 1.01; }) >= 2)
      return true;
  std::vector<double> d;
  for (double x : s.real)
    if (std::fabs(x) <= 1.1 && (d.empty() || x != d.back())) d.push_back(x);
  for (std::size_t j = 0; j + 1 < d.size(); ++j) {
    long double top = 0;
    for (int q = 1; q < 64; ++q) top = std::max(top, fabsl(value_ld(s.c, d[j] + (d[j + 1] - d[j]) * q / 64.0L)));
    if (top <= 100 * tol) return true;
  }
  return std::any_of(s.pairs.begin(), s.pairs.end(), [&](const Quadratic &p) {
    return std::fabs(p.b / 2) <= 1.1 && fabsl(value_ld(s.c, -p.b / 2)) <= 100 * tol;
  });
}

// Every clean crossing is answered at every tolerance: where two neighbouring samples of the series (5e-5 apart,
// summed in long double) have opposite signs and both lie beyond ten times tol, a root lies between them, and a
// known simple root there is answered within its band about the crossing beside it (the coefficients rounded to
// doubles move a clustered root well off the product's); no root is answered where the series is not near zero.
// Within tol a cluster may be answered as the search can tell it, but no root answered there takes the place of a
// crossing. A refusal (rc 35) is only for a series whose roots cannot be told apart within tol.
// STYLESRV_ORACLE_SCALE multiplies the number of series.
TEST(LegendreRootsOracle, CleanCrossingsAtEveryTolerance) {
  const char *scale_env = std::getenv("STYLESRV_ORACLE_SCALE");
  const int scale = scale_env ? std::max(1, std::atoi(scale_env)) : 1;
  const int kSeries = 300 * scale, kSamples = 40000;
  const double tols[] = {1e-12, 1e-13, 1e-14};
  std::mt19937 rng(155);
  std::vector<long double> v(kSamples + 1);
  int refused[3] = {}, failed = 0;
  for (int draw = 0; draw < kSeries && failed < 10; ++draw) {
    const DrawnSeries s = draw_series(rng);
    const int n = static_cast<int>(s.c.size()) - 1;
    for (int k = 0; k <= kSamples; ++k) v[k] = value_ld(s.c, -1 + 2.0L * k / kSamples);
    for (int t = 0; t < 3; ++t) {
      const double tol = tols[t];
      std::vector<double> roots(n);
      int count = 0, rc = 99;
      BSfndrtlgd1(n, s.c.data(), tol, &count, roots.data(), &rc);
      if (rc == BSRC_NOT_ISOLATED) {
        ++refused[t];
        EXPECT_TRUE(cluster_within(s, tol)) << "draw " << draw << " refused under " << tol;
        failed += !cluster_within(s, tol);
        continue;
      }
      ASSERT_EQ(rc, 0) << "draw " << draw << " under " << tol;
      ASSERT_GE(count, 0);
      const auto held = [&](double lo, double hi) {
        return std::any_of(roots.begin(), roots.begin() + count, [&](double r) { return r >= lo && r <= hi; });
      };
      // Near zero: within 16 tol and what an evaluation in doubles can tell (a root snapped onto an end beside a
      // cluster just beyond it is kept within that).
      double sum = 0;
      for (double x : s.c) sum += std::fabs(x);
      const double near = 16 * tol + 64 * DBL_EPSILON * (n + 1) * sum;
      for (int i = 0; i < count; ++i) {
        EXPECT_LE(fabsl(value_ld(s.c, roots[i])), near) << "draw " << draw << " under " << tol << ": root "
                                                         << roots[i] << " where the series is not near zero";
        failed += !(fabsl(value_ld(s.c, roots[i])) <= near);
      }
      for (int k = 1; k <= kSamples; ++k)
        if (fabsl(v[k]) > 10 * tol && fabsl(v[k - 1]) > 10 * tol && (v[k] > 0) != (v[k - 1] > 0)) {
          const double a = -1 + 2.0 * (k - 1) / kSamples, b = -1 + 2.0 * k / kSamples;
          EXPECT_TRUE(held(a - 1e-12, b + 1e-12)) << "draw " << draw << " under " << tol << ": crossing in [" << a
                                                  << ", " << b << "] lost";
          failed += !held(a - 1e-12, b + 1e-12);
        }
      for (std::size_t i = 0; i < s.real.size(); ++i) {
        const double r = s.real[i];
        const bool simple = (i == 0 || s.real[i - 1] != r) && (i + 1 == s.real.size() || s.real[i + 1] != r);
        const double h = 5e-5;
        if (!simple || !(std::fabs(r) < 1 - h)) continue;
        const long double below = value_ld(s.c, r - h), above = value_ld(s.c, r + h);
        if (!(fabsl(below) > 10 * tol && fabsl(above) > 10 * tol && (below > 0) != (above > 0))) continue;
        // The root of the coefficients as rounded to doubles: in a cluster it lies well off the product's.
        long double lo = r - h, hi = r + h;
        for (int i = 0; i < 64; ++i) {
          const long double mid = (lo + hi) / 2;
          ((value_ld(s.c, mid) > 0) == (below > 0) ? lo : hi) = mid;
        }
        const double at = static_cast<double>(lo);
        double slope = 0;
        int code = 0;
        BSevalgder(n, s.c.data(), 1, at, &slope, &code);
        const double within = 4 * tol / std::fabs(slope) + 1e-13;
        EXPECT_TRUE(held(at - within, at + within)) << "draw " << draw << " under " << tol << ": root " << at;
        failed += !held(at - within, at + within);
      }
    }
  }
  for (int t = 0; t < 3; ++t)
    std::printf("under %g: %d of %d series refused (rc 35), each a cluster within tol\n", tols[t], refused[t],
                kSeries);
}

// Polynomials from random known roots (some real in the interval, some real outside, complex pairs well off the
// axis): the same real roots in the interval as GSL finds.
TEST(LegendreRootsOracle, IntervalRootsAgreeWithGsl) {
  std::mt19937 rng(206);
  std::uniform_real_distribution<double> in(-0.95, 0.95), out(1.2, 3), im(0.2, 2), coin(0, 1);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<cplx> roots;
    const int degree = 1 + trial % 12;
    while (static_cast<int>(roots.size()) < degree) {
      const double pick = coin(rng);
      if (pick < 0.3 && degree - roots.size() >= 2) {
        const cplx z(in(rng), im(rng));
        roots.push_back(z);
        roots.push_back(std::conj(z));
      } else {
        roots.push_back(pick < 0.7 ? in(rng) : (coin(rng) < 0.5 ? -1 : 1) * out(rng));
      }
    }
    const std::vector<double> c = poly_from_roots(roots, 0.5 + coin(rng));
    const double lo = -1, hi = 1;
    const std::vector<double> theirs = gsl_real_roots(c, lo, hi);
    std::vector<double> ours(degree);
    std::uint16_t count = 0;
    int rc = 99;
    const std::int16_t n = static_cast<std::int16_t>(degree);
    ASSERT_EQ((trial % 2 ? BSpoly3 : BSpoly2)(&rc, &n, c.data(), &lo, &hi, &count, ours.data()), BSTRUE) << trial;
    ASSERT_EQ(count, theirs.size()) << "trial " << trial;
    std::sort(ours.begin(), ours.begin() + count);
    for (int i = 0; i < count; ++i) EXPECT_NEAR(ours[i], theirs[i], 1e-9) << "trial " << trial;
  }
}

}  // namespace
