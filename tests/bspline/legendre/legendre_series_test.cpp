#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(LegendreSeries, TheDocumentedCases) {
  const double c[5] = {0.1, 0.7, -0.3, 1.9, 0.45};
  double v = kNaN;
  BSevalpolgd(4, c, -1, &v);
  EXPECT_EQ(v, (((0.1 - 0.7) + -0.3) - 1.9) + 0.45);
  BSevalpolgd(4, c, 1, &v);
  EXPECT_EQ(v, (((0.1 + 0.7) + -0.3) + 1.9) + 0.45);

  int m = 99;
  const double zeros[4] = {0, 0, 0, 0};
  BSeffdeg(3, zeros, 0, &m);
  EXPECT_EQ(m, -1);
  BSeffdeg(3, zeros, -1, &m);
  EXPECT_EQ(m, 3);

  const double p1[2] = {0, 1};
  double prod[3] = {kNaN, kNaN, kNaN};
  int rc = 99;
  BSprodpolgd(1, 1, p1, p1, prod, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NEAR(prod[0], 1.0 / 3, 1e-16);
  EXPECT_EQ(prod[1], 0.0);
  EXPECT_NEAR(prod[2], 2.0 / 3, 1e-16);
  BSprodpoltch(1, p1, 1, p1, prod, &rc);
  EXPECT_EQ(prod[0], 0.5);
  EXPECT_EQ(prod[1], 0.0);
  EXPECT_EQ(prod[2], 0.5);

  // Two components P_3 and 2 P_3 + P_1: third derivatives 15 and 30; k = 0 copies.
  const double cv[8] = {0, 0, 0, 1, 0, 1, 0, 2};
  double out[8] = {kNaN, kNaN};
  BSdercvlgd(3, 2, cv, 3, out, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out[0], 15.0);
  EXPECT_EQ(out[1], 30.0);
  BSdercvlgd(3, 2, cv, 0, out, &rc);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], cv[i]);
}

// Truncation of vector series: the noise floor, 1e-30 entries in the minimum-degree form, the minimum degree
// beyond the input, NaN and huge coefficients, packing with the new stride.
TEST(LegendreSeries, Truncation) {
  const struct {
    const char *what;
    bool min_form;
    int n, dim, mindeg;
    double tol;
    std::vector<double> coef;
    int m;
    std::vector<double> out;
  } cases[] = {
      {"all zero, tol 0", false, 3, 1, -1, 0, {0, 0, 0, 0}, -1, {}},
      {"noise above the top column", false, 3, 1, -1, 0, {1, 0.5, 1e-17, 1e-18}, 1, {1, 0.5}},
      {"negative tol keeps all", false, 2, 1, -1, -1, {0, 0, 0}, 2, {0, 0, 0}},
      {"two components, new stride", false, 2, 2, -1, 0, {1, 2, 0, 3, 4, 0}, 1, {1, 2, 3, 4}},
      {"NaN counts", false, 2, 1, -1, 10, {1, 0, kNaN}, 2, {1, 0, kNaN}},
      {"no overflow at 1e200", false, 2, 1, -1, 1e189, {1e200, 3e200, 2e190}, 2, {1e200, 3e200, 2e190}},
      {"tiny but above the floor", false, 1, 1, -1, 0, {1e-31, 1e-32}, 1, {1e-31, 1e-32}},
      {"1e-30 entries are 0", true, 1, 1, 0, 0, {1e-31, 1e-32}, -1, {}},
      {"minimum degree beyond n", true, 1, 1, 2, 0, {1e-31, 1e-32}, 2, {1e-31, 1e-32, 0}},
      {"minimum degree under the effective one", true, 3, 1, 1, 0.1, {1, 1, 1, 0.05}, 2, {1, 1, 1}},
  };
  for (const auto &c : cases) {
    int m = 99, rc = 99;
    double *out = nullptr;
    if (c.min_form)
      BSlgdcvmin(c.n, c.dim, c.coef.data(), c.mindeg, c.tol, &m, &out, &rc);
    else
      BSlgdcvint(c.n, c.dim, c.coef.data(), c.tol, &m, &out, &rc);
    EXPECT_EQ(rc, 0) << c.what;
    EXPECT_EQ(m, c.m) << c.what;
    ASSERT_EQ(out == nullptr, c.out.empty()) << c.what;
    for (std::size_t i = 0; i < c.out.size(); ++i) {
      if (std::isnan(c.out[i]))
        EXPECT_TRUE(std::isnan(out[i])) << c.what;
      else
        EXPECT_EQ(out[i], c.out[i]) << c.what << " " << i;
    }
    BSdbgfree(out);
  }
  // A caller's array is filled in place, and left alone when nothing remains.
  double mine[2] = {7, 7};
  double *out = mine;
  int m = 99, rc = 99;
  const double noise[2] = {0, 0};
  BSlgdcvint(1, 1, noise, 0, &m, &out, &rc);
  EXPECT_EQ(m, -1);
  EXPECT_EQ(out, mine);
  EXPECT_EQ(mine[0], 7.0);
  const double one[2] = {1, 2};
  BSlgdcvint(1, 1, one, 0, &m, &out, &rc);
  EXPECT_EQ(out, mine);
  EXPECT_EQ(mine[1], 2.0);
  out = nullptr;
  BSallocfailat(1);
  BSlgdcvint(1, 1, one, 0, &m, &out, &rc);
  EXPECT_EQ(rc, -13);
  EXPECT_EQ(out, nullptr);
  BSlgdcvmin(1, 0, one, 0, 0, &m, &out, &rc);
  EXPECT_EQ(rc, -2);
}

// The quotient keeps the degree of the function, not of the fit's rounding: t/(2+t) comes back near degree 30,
// and its third derivative at t = 1 is 12/81 (to what the cut at 1e-14 of the coefficients leaves there).
TEST(LegendreSeries, QuotientsAndTheirRefusals) {
  const double t[2] = {0, 1}, two_plus_t[2] = {2, 1};
  std::vector<double> q(320, kNaN);
  int m = 99, rc = 99;
  BSdivlgdlgd(1, t, 1, two_plus_t, &m, q.data(), &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_LT(m, 40);
  double v = kNaN;
  BSevalgder(m, q.data(), 3, 1.0, &v, &rc);
  EXPECT_NEAR(v, 12.0 / 81, 1e-6);
  // (t^2 - 4) / (t - 2) in the power basis is t + 2 exactly.
  const double num[3] = {-4, 0, 1}, den[2] = {-2, 1};
  double pw[64] = {};
  BSdivcancan(2, num, 1, den, 1e-12, &m, pw, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(m, 1);
  EXPECT_NEAR(pw[0], 2, 1e-14);
  EXPECT_NEAR(pw[1], 1, 1e-14);

  // T_70 in the power basis: degree-70 content that no quotient of degree 63 holds. (A plain degree-70
  // polynomial such as the sum of t^k / 2 has nothing above degree 57 beyond rounding, and comes back.)
  std::vector<double> prev(71, 0.0), cur(71, 0.0), next(71, 0.0);
  prev[0] = 1;
  cur[1] = 1;
  for (int k = 1; k < 70; ++k) {
    for (int i = 0; i <= 70; ++i) next[i] = (i > 0 ? 2 * cur[i - 1] : 0.0) - prev[i];
    prev.swap(cur);
    cur.swap(next);
  }
  const double one = 1, pole[2] = {1.01, 1}, nan2[2] = {1, kNaN}, inf = kInf, nan1 = kNaN;
  using Call = std::function<void(double *, int *)>;
  const struct {
    const char *what, *trace;
    Call call;
    int rc;
  } cases[] = {
      {"sign change", "divlgdlgd", [&](double *o, int *r) { BSdivlgdlgd(0, &one, 1, t, &m, o, r); }, -5},
      {"zero series", "divlgdlgd", [&](double *o, int *r) { BSdivlgdlgd(0, &one, -1, nullptr, &m, o, r); }, -5},
      {"NaN denominator", "divlgdlgd", [&](double *o, int *r) { BSdivlgdlgd(0, &one, 1, nan2, &m, o, r); }, -5},
      {"infinite denominator", "divlgdlgd", [&](double *o, int *r) { BSdivlgdlgd(0, &one, 0, &inf, &m, o, r); }, -5},
      {"NaN numerator", "divlgdlgd", [&](double *o, int *r) { BSdivlgdlgd(0, &nan1, 0, &one, &m, o, r); }, -2},
      {"no heap block", "divlgdlgd",
       [&](double *o, int *r) {
         BSallocfailat(1);
         BSdivlgdlgd(0, &one, 0, &one, &m, o, r);
       },
       33},
      {"pole near -1", "divcancan", [&](double *o, int *r) { BSdivcancan(0, &one, 1, pole, 1e-12, &m, o, r); }, 50},
      {"T_70", "divcancan", [&](double *o, int *r) { BSdivcancan(70, cur.data(), 0, &one, 1e-12, &m, o, r); }, 50},
      {"power sign change", "divcancan", [&](double *o, int *r) { BSdivcancan(0, &one, 1, t, 0, &m, o, r); }, -5},
      {"NaN tol", "divcancan", [&](double *o, int *r) { BSdivcancan(0, &one, 0, &one, kNaN, &m, o, r); }, -2},
  };
  for (const auto &c : cases) {
    std::fill(q.begin(), q.end(), 7.0);
    BStraceclear();
    c.call(q.data(), &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    EXPECT_EQ(q[0], 7.0) << c.what;
    ASSERT_GE(BStracecount(), 1) << c.what;
    EXPECT_STREQ(BStracetable()[BStracecount() - 1].name, c.trace) << c.what;
  }
  EXPECT_EQ(BSscratchheapblocks(), 0);
}

// Degree -1 is the zero series: nothing is read (NULL coefficients), products are zeros, values 0.
TEST(LegendreSeries, TheZeroSeriesIsNeverRead) {
  const double b[3] = {1, 2, 3};
  double out[4] = {7, 7, 7, 7}, v = 7;
  int rc = 99, m = 99;
  BSprodpolgd(-1, 2, nullptr, b, out, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_EQ(out[2], 7.0);
  BSprodpoltch(2, b, -1, nullptr, out, &rc);
  EXPECT_EQ(out[1], 0.0);
  BSevalpolgd(-1, nullptr, 0.5, &v);
  EXPECT_EQ(v, 0.0);
  v = 7;
  BSevalpolcan(-1, nullptr, 0.5, &v);
  EXPECT_EQ(v, 0.0);
  out[0] = out[1] = 7;
  BSpocvlgder(-1, 2, nullptr, 0, 0.5, out, &rc);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.0);
  double *none = nullptr;
  BSlgdcvint(-1, 2, nullptr, 0, &m, &none, &rc);
  EXPECT_EQ(m, -1);
  EXPECT_EQ(none, nullptr);
  BSlgdratstd(-1, 1, nullptr, &m, nullptr, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(m, -1);
}

// Arguments outside the contract are refused with rc -2 and the output untouched.
TEST(LegendreSeries, Refusals) {
  const std::vector<double> c(40, 0.5);
  int m = 0;
  using Call = std::function<void(double *, int *)>;
  const struct {
    const char *what;
    Call call;
  } cases[] = {
      {"BSlgdratstd mode 0", [&](double *o, int *r) { BSlgdratstd(2, 0, c.data(), &m, o, r); }},
      {"BSlgdratstd mode 4", [&](double *o, int *r) { BSlgdratstd(2, 4, c.data(), &m, o, r); }},
      {"BSdercvlgd k > n", [&](double *o, int *r) { BSdercvlgd(3, 2, c.data(), 4, o, r); }},
      {"BSdercvlgd k < 0", [&](double *o, int *r) { BSdercvlgd(3, 2, c.data(), -1, o, r); }},
      {"BSevalgder k < 0", [&](double *o, int *r) { BSevalgder(3, c.data(), -1, 0.5, o, r); }},
      {"BSevalgder NaN t", [&](double *o, int *r) { BSevalgder(3, c.data(), 1, kNaN, o, r); }},
      {"BSpocurvlgd infinite t", [&](double *o, int *r) { BSpocurvlgd(3, 2, c.data(), kInf, o, r); }},
      {"BSpocvlgder k < 0", [&](double *o, int *r) { BSpocvlgder(3, 2, c.data(), -2, 0.5, o, r); }},
      {"BSpocvlgder dim < 0", [&](double *o, int *r) { BSpocvlgder(3, -1, c.data(), 1, 0.5, o, r); }},
      {"BSpocurvder k < 0", [&](double *o, int *r) { BSpocurvder(3, 2, c.data(), -1, 0.5, o, r); }},
      {"BSpocurvder NaN t", [&](double *o, int *r) { BSpocurvder(3, 2, c.data(), 3, kNaN, o, r); }},
      {"BSevacansng dim 4", [&](double *o, int *r) { BSevacansng(3, 4, 1, c.data(), 0, 0.5, o, r); }},
      {"BSevacansng mode 4", [&](double *o, int *r) { BSevacansng(3, 2, 4, c.data(), 0, 0.5, o, r); }},
      {"BSevacansng k < 0", [&](double *o, int *r) { BSevacansng(3, 3, 1, c.data(), -1, 0.5, o, r); }},
      {"BSevacansng NaN t", [&](double *o, int *r) { BSevacansng(3, 2, 3, c.data(), 4, kNaN, o, r); }},
  };
  for (const auto &cs : cases) {
    double out[64];
    std::fill(out, out + 64, 7.0);
    int rc = 99;
    cs.call(out, &rc);
    EXPECT_EQ(rc, -2) << cs.what;
    EXPECT_EQ(out[0], 7.0) << cs.what;
  }
}

// Heap scratch that cannot be had is reported (rc 33; -13 in BSpocurvder), and nothing is left allocated.
TEST(LegendreSeries, ScratchFailures) {
  const std::vector<double> c(1300, 0.25);
  std::vector<double> out(1300);
  int m = 0;
  using Call = std::function<void(int *)>;
  const struct {
    const char *what;
    Call call;
    int rc;
  } cases[] = {
      {"BSevalgder", [&](int *r) { BSevalgder(600, c.data(), 300, 0.5, out.data(), r); }, 33},
      {"BSpocvlgder", [&](int *r) { BSpocvlgder(600, 2, c.data(), 300, 0.5, out.data(), r); }, 33},
      {"BSprodpolgd", [&](int *r) { BSprodpolgd(30, 30, c.data(), c.data(), out.data(), r); }, 33},
      {"BSmtrlgdlgd", [&](int *r) { BSmtrlgdlgd(31, 0, c.data(), out.data(), r); }, 33},
      {"BSlgdratstd", [&](int *r) { BSlgdratstd(150, 1, c.data(), &m, out.data(), r); }, 33},
      {"BSlgdratstd mode 3", [&](int *r) { BSlgdratstd(60, 3, c.data(), &m, out.data(), r); }, 33},
      {"BSpocurvder", [&](int *r) { BSpocurvder(300, 1, c.data(), 3, 0.5, out.data(), r); }, -13},
      {"BSevacansng", [&](int *r) { BSevacansng(3, 2, 1, c.data(), 300, 0.5, out.data(), r); }, 33},
  };
  for (const auto &cs : cases) {
    int rc = 0;
    BSallocfailat(1);
    cs.call(&rc);
    EXPECT_EQ(rc, cs.rc) << cs.what;
    BSallocfailat(0);
    cs.call(&rc);
    EXPECT_EQ(rc, 0) << cs.what << " without the injected failure";
  }
  EXPECT_EQ(BSscratchheapblocks(), 0);
}

}  // namespace
