// Legendre spans to B-splines: exact segments at the truncation boundary, refusals that hand out nothing, break
// placement corner cases, the retry after a missed continuity step and allocation failures that leak nothing.
// Accuracy against the peers is in oracle/legendre_to_bspline_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <tuple>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A converter's outputs, released whatever the answer.
struct Out {
  int rc = -99, np = -1;
  double *P = reinterpret_cast<double *>(8), *K = reinterpret_cast<double *>(8);  // must be cleared on entry
  ~Out() {
    if (P != reinterpret_cast<double *>(8)) BSdbgfree(P);
    if (K != reinterpret_cast<double *>(8)) BSdbgfree(K);
  }
};

using Converter = void (*)(int, int, const double *, int, int, double, int *, double **, double **, int *);

// Largest distance between the spline (order from its knots) and the series curve (X/W when rational), in each
// coordinate or, euclidean, between the points.
double deviation(const Out &o, int n, int dim, bool rational, const std::vector<double> &c, bool euclidean = false) {
  int order = 0;
  while (order < o.np && o.K[order] == 0.0) ++order;
  double worst = 0;
  for (int i = 0; i <= 200; ++i) {
    const double t = -1 + i / 100.0;
    double p[4], v[4];
    int rc = 0;
    BSevalbsp(order - 1, o.np, dim, rational, o.P, o.K, (t + 1) / 2, 0, p, &rc);
    EXPECT_EQ(rc, 0);
    for (int q = 0; q < dim + rational; ++q) BSevalpolgd(n, c.data() + q * (n + 1), t, &v[q]);
    double d2 = 0;
    for (int q = 0; q < dim; ++q) {
      const double d = std::fabs(p[q] - (rational ? v[q] / v[dim] : v[q]));
      d2 += d * d;
      if (!euclidean) worst = std::fmax(worst, d);
    }
    if (euclidean) worst = std::fmax(worst, std::sqrt(d2));
  }
  return worst;
}

// Each row: a span, what it must come back as. Coefficients above degree 2 sum (in column norms) to `top`.
TEST(LegendreToBspline, ExactSegmentsAndTheTruncationBoundary) {
  const double tol = 1e-5;
  struct Row {
    const char *what;
    Converter convert;
    int n, k;
    double top;
    int np;  // poles wanted; -1: an approximating spline of order k
  } rows[] = {
      {"degree 3 at order 4", BSlgdbspl1, 3, 4, 0.3, 4},
      {"above degree 2 within tol", BSlgdbspl1, 6, 4, tol, 3},
      {"above degree 2 just past tol at order 3", BSlgdbspl1, 6, 3, tol * 1.001, -1},
      {"constant", BSlgdbspl1, 0, 4, 0, 1},
      {"zero series", BSlgdbspl1, -1, 4, 0, 1},
      {"rational degree 3 at order 4", BSlgdbsplr, 3, 4, 0.3, 4},
  };
  for (const Row &r : rows) {
    const bool rational = r.convert == BSlgdbsplr;
    const int dim = 2, nser = dim + rational, w = r.n + 1;
    std::vector<double> c(nser * std::max(w, 0));
    for (int q = 0; q < nser; ++q)
      for (int j = 0; j < w; ++j) c[q * w + j] = j <= 2 ? 1.0 - 0.3 * j + q : 0.0;
    // The top columns share `top` equally, each column's norm split over the two coordinates.
    for (int j = 3; j < w; ++j)
      for (int q = 0; q < dim; ++q) c[q * w + j] = r.top / (w - 3) / std::sqrt(2.0);
    if (rational) c[dim * w] = 4.0;
    Out o;
    r.convert(r.n, dim, c.data(), r.k, r.k - 2, tol, &o.np, &o.P, &o.K, &o.rc);
    ASSERT_EQ(o.rc, 0) << r.what;
    const int np = r.np < 0 ? o.np : r.np, order = r.np < 0 ? r.k : np;
    EXPECT_TRUE(r.np < 0 ? o.np > r.k : o.np == r.np) << r.what << ": " << o.np << " poles";
    for (int i = 0; i < order; ++i) EXPECT_TRUE(o.K[i] == 0.0 && o.K[np + i] == 1.0) << r.what;
    EXPECT_LE(deviation(o, r.n, dim, rational, c), r.n < 0 ? 0.0 : tol) << r.what;
  }
}

// Bad arguments and spans that cannot be converted: the code, the routine's own name last on the trace, no
// output left set and no block left live.
TEST(LegendreToBspline, Refusals) {
  std::vector<double> c(3 * 71);
  for (int j = 0; j < 3 * 71; ++j) c[j] = 1.0 / (1 + (j % 71) * (j % 71));
  double root = 0;
  const auto l1 = [&c](int n, int k, double tol, Out &o) { BSlgdbspl1(n, 2, c.data(), k, 2, tol, &o.np, &o.P, &o.K, &o.rc); };
  const auto lr = [&c](int n, int k, Out &o) { BSlgdbsplr(n, 1, c.data(), k, 2, 1e-6, &o.np, &o.P, &o.K, &o.rc); };
  const double broken[] = {-1, 0.5, 0.9};
  double sinking[26] = {1, 0.5};  // the weight 0.5 + t of a degree-12 span
  sinking[13] = 0.5, sinking[14] = 1;
  struct Row {
    int rc;
    const char *name;
    std::function<void(Out &)> call;
  } rows[] = {
      {-2, "BSlgdbspl1", [&](Out &o) { l1(12, 4, 0, o); }},
      {-2, "BSlgdbspl1", [&](Out &o) { l1(12, 4, kNaN, o); }},
      {-2, "BSlgdbspl1", [&](Out &o) { l1(2, 4, -1e-6, o); }},
      {-2, "BSlgdbspl1", [&](Out &o) { l1(2, 4, HUGE_VAL, o); }},
      {-2, "BSlgdbspl1", [&](Out &o) { l1(12, 1, 1e-6, o); }},
      {-2, "BSlgdbspl1", [&](Out &o) { l1(-2, 4, 1e-6, o); }},
      {-2, "BSlgdbspl1", [&](Out &o) { l1(70, 64, 1e-6, o); }},
      {-2, "BSlgdbspl1", [&](Out &o) { c[5] = kNaN, l1(12, 4, 1e-6, o), c[5] = 1.0 / 26; }},
      {-2, "BSlgdbsplr", [&](Out &o) { lr(70, 64, o); }},
      {-12, "BSlgdbsplr", [&](Out &o) { BSlgdbsplr(12, 1, sinking, 4, 2, 1e-6, &o.np, &o.P, &o.K, &o.rc); }},
      {-12, "BSlgdbsplr", [&](Out &o) { lr(-1, 4, o); }},
      {-13, "BSlgdbspl1", [&](Out &o) { l1(12, 4, 1e-300, o); }},
      {3, "BSlgdbspl1", [&](Out &o) { BSlgdbspl1(12, 2, c.data(), 4, 2, 1e-6, nullptr, &o.P, &o.K, &o.rc), o.P = o.K = nullptr, o.np = 0; }},
      {-2, "BSlgdbspspn", [&](Out &o) { BSlgdbspspn(12, 1, 2, c.data(), 4, 2, 2, broken, 1e-6, &o.np, &o.P, &o.K, &o.rc); }},
      {-2, "BSfndktslg", [&](Out &o) { BSfndktslg(70, 1, 2, c.data(), 64, 2, 1e-6, &o.np, &o.P, &o.rc), o.K = nullptr; }},
      {-2, "BSkroot", [&](Out &o) { BSkroot(-8, 2, &root, &o.rc), o.P = o.K = nullptr, o.np = 0; }},
      {-2, "BSkroot", [&](Out &o) { BSkroot(8, 0, &root, &o.rc), o.P = o.K = nullptr, o.np = 0; }},
      {-2, "BSkroot", [&](Out &o) { BSkroot(kNaN, 3, &root, &o.rc), o.P = o.K = nullptr, o.np = 0; }},
  };
  const int live = BSdbgliveblocks();
  // The trace holds 1000 records and drops later ones: what earlier tests left in it must not hide these.
  BStraceclear();
  for (const Row &r : rows) {
    Out o;
    r.call(o);
    EXPECT_EQ(o.rc, r.rc) << r.name;
    EXPECT_TRUE(o.P == nullptr && o.K == nullptr && o.np == 0) << r.name << " " << r.rc;
    ASSERT_GT(BStracecount(), 0);
    EXPECT_STREQ(BStracetable()[BStracecount() - 1].name, r.name) << r.rc;
    EXPECT_EQ(BSdbgliveblocks(), live) << r.name << " " << r.rc;
    BStraceclear();
  }
  // The k-th root keeps the sign of an odd root and is exact where the root is.
  const double roots[][3] = {{-8, 3, -2}, {27, 3, 3}, {0, 4, 0}, {1024, 10, 2}, {1e-300, 3, 1e-100}};
  for (const auto &r : roots) {
    double x = kNaN;
    int rc = -1;
    BSkroot(r[0], static_cast<int>(r[1]), &x, &rc);
    EXPECT_TRUE(rc == 0 && std::fabs(x - r[2]) <= 2e-16 * std::fabs(r[2])) << r[0] << " " << x;
  }
}

// Break placement corners. A k-th derivative that vanishes everywhere places one central piece of half-width 1
// and one right step from x = 1: two spans split at 0. One too small to need a break gives the same split: a
// half-width above 1 would throw the last march point far out and pull the split towards -1. A degree below the
// order places none.
TEST(LegendreToBspline, BreakPlacementCorners) {
  struct Row {
    const char *what;
    double top;  // coefficient of P_4 in a degree-4 span
    int n, nspans;
  } rows[] = {
      {"vanishing derivative", 0.0, 4, 2},
      {"derivative far below tol", 1e-9, 4, 2},
      {"degree below the order", 0.5, 3, 0},
  };
  for (const Row &r : rows) {
    const double c[] = {1, -2, 0.5, 3, r.top};
    int nspans = -1, rc = -1;
    double *breaks = reinterpret_cast<double *>(8);
    BSfndktslg(r.n, 1, 1, c, 4, 2, 1e-6, &nspans, &breaks, &rc);
    ASSERT_EQ(rc, 0) << r.what;
    ASSERT_EQ(nspans, r.nspans) << r.what;
    if (r.nspans == 0) {
      EXPECT_EQ(breaks, nullptr) << r.what;
    }
    else EXPECT_TRUE(breaks[0] == -1 && breaks[1] == 0 && breaks[2] == 1) << r.what << " split at " << breaks[1];
    if (r.nspans) BSdbgfree(breaks);
  }
  // Norms are taken per curve, curve i's component j being series i + j ns: curve 0 is (3, 4), curve 1 (1, 1).
  const double two_curves[] = {3, 1, 4, 1};
  double norm = 0;
  BSmaxnrmlgd(0, 2, 2, two_curves, 0.3, &norm);
  EXPECT_DOUBLE_EQ(norm, 5.0);
}

// cont -1 joins the pieces with continuity 0: inner knots k-1 times, the spline still within tol.
TEST(LegendreToBspline, ContinuityZeroKeepsInnerKnotsOfMultiplicityKMinus1) {
  const int n = 14, dim = 3;
  std::vector<double> c(dim * (n + 1));
  for (int q = 0; q < dim; ++q)
    for (int j = 0; j <= n; ++j) c[q * (n + 1) + j] = std::cos(3.0 * j + q) * std::pow(0.7, j);
  for (int k : {2, 4, 5, 7}) {
    Out o;
    BSlgdbspl1(n, dim, c.data(), k, -1, 1e-7, &o.np, &o.P, &o.K, &o.rc);
    ASSERT_EQ(o.rc, 0);
    const int spans = (o.np - 1) / (k - 1);
    ASSERT_TRUE(spans >= 2 && o.np == (k - 1) * spans + 1) << k;
    for (int j = 1; j < spans; ++j)
      for (int r = 0; r < k - 1; ++r) EXPECT_EQ(o.K[k + (j - 1) * (k - 1) + r], o.K[k + (j - 1) * (k - 1)]) << k;
    EXPECT_LT(o.K[k], o.K[k + k - 1]);
    EXPECT_LE(deviation(o, n, dim, false, c), 1e-7) << k;
  }
  // Degree 30 whose high terms add up at the ends: the first piece's dropped terms came to seven times the
  // tolerance at t = -1 (no continuity step corrects them), so the breaks are placed again there.
  const std::vector<double> ends = {
      1.0, 0.2701511529340699, -0.08322936730942848, -0.09899924966004454, -0.03844962475668306,
      0.010910084056277932, 0.02595054828784773, 0.015078045086866092, -0.0022384620585940546,
      -0.011111344657130207, -0.008307638901747055, 3.627621301680971e-05, 0.005819682474017187,
      0.005337922243824684, 0.0006940975543544853, -0.0033614509418531916, -0.003726301479857528,
      -0.0009488390967296446, 0.002031743717674093, 0.002731228227034998, 0.001017661002028409,
      -0.0012392064710956298, -0.002061774899782757, -0.001005345321383769, 0.0007351455933050208,
      0.0015833910732643349, 0.0009555676843849932, -0.0004001901489504605, -0.0012262495112274733,
      -0.00088842937017696, 0.00017120027734471036, 0.0009508756318134421, 0.0008138764492746441,
      -1.2180502039504109e-05, -0.0007334228822684574, -0.000737106203174149, -9.866128729946389e-05,
      0.0005586963882812726, 0.0006609506187178511, 0.0001751924654138878, -0.00041657592857730286,
      -0.0005870031376479348, 2.4901759130924142e-88, 0.00030006124406520306, 0.0005161813673968462,
      0.00025929022152898804, 6.539489145506196e-149, -0.00044902057427643837, -0.0002777198869714532,
      0.00012514260772008206, 1.2170980930832695e-95, 2.25, -14.375, -9.625, 5.304129669160419e-288, 9.25,
      -9.75, -10.875, -0.00044902057427643837, -0.0002777198869714532, 0.00012514260772008206,
      0.00038583207856541916, 0.00028522451837578115, -6.025537182835692e-05, -0.0003267910271217505,
      -0.00028430230814643475, 7.312212908775854e-06, 0.0002719860081997399, 0.00027688210060590576,
      3.5417573684641685e-05, -0.0002214475080344185, -0.00026448569297838275, -1.3419516650015243e-12, -7.75,
      -11.25, 8.875, 9.516605891806286e-05, 0.00020860780758552534, 0.00012922244502883083,
      -6.128971205197752e-05, -0.00018654784730450964, -0.0001381224612058754, 3.135244510330063e-05,
      0.00016383776568161204, 0.00014269193891423883, -5.223445485871241e-06, -0.00014097010570994048,
      -0.00014353908151088803, -1.7245312269809025e-05, 0.000118361167635116, 0.00014121601455502502,
      3.6217723943880716e-05, -9.636155527665279e-05};
  // Degree 30 of coefficients near 15 at order 8: between a piece's joints its dropped terms add up to more than
  // four times the tolerance while the joints stay within it.
  const std::vector<double> inside = {
      1.0, 8.5010028772e-313, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, 3.75, -15.0, -15.0,
      -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0,
      -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0,
      -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0,
      -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -5.75, 11.125, -7.125,
      -0.08322936730942848, -0.09899924966004454, -0.03844962475668306, 0.010910084056277932, 0.02595054828784773,
      8.24411432902668e-227, -1.375, 14.125, -10.375, 1.375, 8.75, -6.25, -7.125, -0.0033614509418531916,
      -0.003726301479857528, -15.0, -15.0, -14.625};
  for (const auto &[c, k] : {std::make_pair(&ends, 5), std::make_pair(&inside, 8)}) {
    Out o;
    BSlgdbspl1(30, dim, c->data(), k, -1, 1e-5, &o.np, &o.P, &o.K, &o.rc);
    ASSERT_EQ(o.rc, 0) << k;
    EXPECT_LE(deviation(o, 30, dim, false, *c, true), 3e-5) << k;
  }
}

// A continuity step forced to miss: ten finer placements, then rc 55 with the last (valid) result; once it is
// met on the third placement, rc 0. Nothing leaks on either way.
int misses_left = 0, placements = 0;
void miss_continuity(const char *lname, int *rc) {
  if (std::strcmp(lname, "bsfndktslg") == 0) ++placements;
  if (std::strcmp(lname, "bscstlgdbsp") == 0 && *rc == 0 && misses_left-- > 0) *rc = BSRC_CONTINUITY_MISSED;
}

TEST(LegendreToBspline, MissedContinuityRetriesWithFinerBreaks) {
  const int n = 20;
  std::vector<double> c(2 * (n + 1));
  for (int j = 0; j <= n; ++j) c[j] = std::sin(j + 1.0) * std::pow(0.8, j), c[n + 1 + j] = std::pow(-0.75, j);
  const int live = BSdbgliveblocks();
  for (const bool slow : {false, true})
    for (const auto &[misses, rc, calls] : {std::tuple{1000, 55, 11}, std::tuple{2, 0, 3}}) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      misses_left = misses, placements = 0;
      BSsetfaulthook(miss_continuity);
      Out o;
      BSlgdbspl1(n, 2, c.data(), 4, 2, 1e-8, &o.np, &o.P, &o.K, &o.rc);
      BSsetfaulthook(nullptr);
      EXPECT_EQ(o.rc, rc);
      EXPECT_EQ(placements, calls);
      EXPECT_LE(deviation(o, n, 2, false, c), 1e-8);
    }
  EXPECT_EQ(BSdbgliveblocks(), live);
  BStraceclear();
}

// Every heap request failing in turn: a failure code, what was handed out stays the caller's (and is released
// here), and no block stays live.
TEST(LegendreToBspline, AllocationFailuresLeakNothing) {
  const int n = 40, dim = 3;
  std::vector<double> c((dim + 1) * (n + 1));
  for (int q = 0; q <= dim; ++q)
    for (int j = 0; j <= n; ++j) c[q * (n + 1) + j] = std::cos(1.7 * j + q) * std::pow(0.8, j) + (q == dim && j == 0) * 6;
  const int live = BSdbgliveblocks(), scratch = BSscratchheapblocks();
  for (Converter convert : {BSlgdbspl1, BSlgdbsplr})
    for (int k : {4, 7}) {
      int rc = -1;
      for (int fail = 1; rc != 0 && fail < 400; ++fail) {
        Out o;
        BSallocfailat(fail);
        convert(n, dim, c.data(), k, k - 2, 1e-9, &o.np, &o.P, &o.K, &o.rc);
        BSallocfailat(0);
        rc = o.rc;
        EXPECT_TRUE(rc == 0 || rc == 33 || rc == -13) << k << " " << fail << " " << rc;
        EXPECT_TRUE(rc != 0 || deviation(o, n, dim, convert == BSlgdbsplr, c) <= 1e-9);
      }
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(BSdbgliveblocks(), live);
      EXPECT_EQ(BSscratchheapblocks(), scratch);
    }
  BStraceclear();
}

}  // namespace
