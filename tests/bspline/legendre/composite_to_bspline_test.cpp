// Composite Legendre spans back to one B-spline: the trim of a series to a sub-interval, the layout of joined
// pieces (whole spans, points among them, several pieces from one span, weights rescaled at the joints), the ring
// of a closed composite, the location of a range on the breakpoints with its refusals, the plane converter's two
// paths, and failures at every step that leave the outputs unset and nothing allocated. Accuracy against the peers
// is in oracle/composite_to_bspline_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
double *const kUnsetArray = reinterpret_cast<double *>(8);

// A conversion's outputs over sentinels (unset outputs must keep them), released whatever the answer.
struct Result {
  int rc = -99, order = -1, np = -1, rational = -1;
  double *P = kUnsetArray, *K = kUnsetArray;
  ~Result() {
    if (P != kUnsetArray) BSdbgfree(P);
    if (K != kUnsetArray) BSdbgfree(K);
  }
  bool unset() const { return order == -1 && np == -1 && rational == -1 && P == kUnsetArray && K == kUnsetArray; }
  // Cartesian point at t in [0, 1].
  std::vector<double> at(int dim, double t) const {
    std::vector<double> p(dim + 1);
    int rc = 0;
    BSevalbsp(order - 1, np, dim, rational, P, K, t, 0, p.data(), &rc);
    EXPECT_EQ(rc, 0);
    p.resize(dim);
    return p;
  }
};

// A composite over owned coefficient blocks; spans may share a block (the closed ring repeats its first).
struct Composite {
  int dim;
  std::vector<int> degrees, codes;
  std::vector<std::vector<double>> blocks;
  std::vector<double *> spans;
  std::vector<double> breaks;
  void add(int degree, int code, std::vector<double> coef) {
    degrees.push_back(degree), codes.push_back(code), blocks.push_back(std::move(coef));
  }
  void finish() {
    spans.clear();
    for (auto &b : blocks) spans.push_back(b.data());
    if (breaks.empty())
      for (size_t i = 0; i <= blocks.size(); ++i) breaks.push_back(static_cast<double>(i));
  }
  int n() const { return static_cast<int>(spans.size()); }
  // Point of span i at u (Cartesian).
  std::vector<double> at(int i, double u) const {
    std::vector<double> p(4);
    int rc = 0;
    BSevalgdsng(degrees[i], dim, codes[i], spans[i], 0, u, p.data(), &rc);
    EXPECT_EQ(rc, 0);
    p.resize(dim);
    return p;
  }
  void convert(const double range[2], double tol, int order, Result &r, int general = 1) {
    BScmlgd2bsp(general, dim, n(), degrees.data(), codes.data(), spans.data(), breaks.data(), range, tol, order,
                &r.order, &r.np, &r.rational, &r.P, &r.K, &r.rc);
  }
};

double gap(const std::vector<double> &a, const std::vector<double> &b) {
  double d = 0;
  for (size_t i = 0; i < a.size(); ++i) d = std::fmax(d, std::fabs(a[i] - b[i]));
  return d;
}

// Moves span i (its constant coefficients) so that it starts at p: a coordinate N over a denominator D (the
// composite's tables) gains p D(-1) - N(-1), a plain one p - c(-1).
void start_at(Composite &c, int i, const std::vector<double> &p) {
  const int d = c.degrees[i], code = c.codes[i], w = d + 1;
  double *s = c.spans[i];
  auto value = [&](int comp) {
    double v;
    BSevalpolgd(d, s + comp * w, -1, &v);
    return v;
  };
  for (int q = 0; q < c.dim; ++q) {
    int den = -1;
    if (c.dim == 3 && code == 1) den = 3;
    if (c.dim == 2 && ((code == 1 && q == 0) || (code == 2 && q == 1))) den = 2;
    if (c.dim == 2 && code == 3) den = 2 + q;
    s[q * w] += p[q] * (den < 0 ? 1.0 : value(den)) - value(q);
  }
}

// Degree-2 space spans through (i, i^2, 1) .. (i+1, ..): a parabola cut at integers, polynomial or weighted.
Composite parabola(int spans, bool rational) {
  Composite c{3, {}, {}, {}, {}, {}};
  for (int i = 0; i < spans; ++i) {
    // x = i + (u+1)/2, y = x^2, z = 1 - x/4 in Legendre coefficients; weight 1 + 0.5 i + 0.25 u when rational.
    const double m = i + 0.5;
    std::vector<double> x = {m, 0.5, 0}, y = {m * m + 1.0 / 12, m, 1.0 / 6}, z = {1 - m / 4, -0.125, 0};
    std::vector<double> coef;
    if (!rational) {
      for (auto *v : {&x, &y, &z}) coef.insert(coef.end(), v->begin(), v->end());
      c.add(2, 0, coef);
      continue;
    }
    // Weighted numerators of degree 3 would need products; keep the numerators of degree 2 and a constant
    // weight per span, which differs from span to span: the curve is (x, y, z) and the joints need rescaling.
    const double w = 1 + 0.5 * i;
    for (auto *v : {&x, &y, &z})
      for (int j = 0; j < 3; ++j) coef.push_back((*v)[j] * w);
    coef.insert(coef.end(), {w, 0, 0});
    c.add(2, 1, coef);
  }
  c.finish();
  return c;
}

// parabola(3, false) closed: its last span bent from the second one's end back to the first one's start.
Composite closed_parabola() {
  Composite c = parabola(3, false);
  const std::vector<double> a = c.at(1, 1), b = c.at(0, -1), mid = {1, 6, 0.75};
  std::vector<double> coef;
  for (int q = 0; q < 3; ++q) {
    // Through a at u = -1, mid at 0 and b at 1.
    const double c2 = ((a[q] + b[q]) / 2 - mid[q]) * 2 / 3;
    coef.insert(coef.end(), {(a[q] + b[q]) / 2 - c2, (b[q] - a[q]) / 2, c2});
  }
  c.blocks[2] = coef;
  c.finish();
  return c;
}

TEST(CompositeToBspline, TrimOfASeries) {
  const std::vector<double> c = {0.3, -1.2, 0.7, 0.25, -0.4, 0.1, 0.05, -0.02};
  const int n = static_cast<int>(c.size()) - 1;
  struct Row {
    double a, b;
  } rows[] = {{-1, 1}, {-0.3, 0.6}, {0.5, 0.5}, {0.6, -0.3}, {-1, -0.999}};
  for (const Row &r : rows) {
    std::vector<double> out(c.size(), kNaN);
    int rc = -1;
    BSlimlgdab(n, c.data(), r.a, r.b, out.data(), &rc);
    ASSERT_EQ(rc, 0);
    if (r.a == -1 && r.b == 1) {
      EXPECT_EQ(out, c) << "the whole interval is the series itself";
    }
    for (double v : {-1.0, -0.4, 0.0, 0.8, 1.0}) {
      double got, want;
      BSevalpolgd(n, out.data(), v, &got);
      BSevalpolgd(n, c.data(), (r.a + r.b) / 2 + (r.b - r.a) / 2 * v, &want);
      EXPECT_NEAR(got, want, 1e-14) << r.a << ".." << r.b << " at " << v;
    }
    // In place gives the same.
    std::vector<double> inplace = c;
    BSlimlgdab(n, inplace.data(), r.a, r.b, inplace.data(), &rc);
    EXPECT_EQ(inplace, out);
  }
  double one = 4.5, out = 0;
  int rc = -1;
  BSlimlgdab(0, &one, -0.2, 0.3, &out, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, 4.5) << "degree 0 is the constant";
  out = 7;
  BSlimlgdab(-1, nullptr, 0, 1, &out, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, 7) << "the zero series writes nothing";
  for (double bad : {kNaN, 1.5, -1.0000001, std::numeric_limits<double>::infinity()}) {
    BSlimlgdab(n, c.data(), bad, 0.5, &out, &rc);
    EXPECT_EQ(rc, -2) << bad;
  }
  BSlimlgdab(-2, c.data(), 0, 1, &out, &rc);
  EXPECT_EQ(rc, -2);
}

// Whole spans joined: pole count, knots and the curve at the span-wise mapped parameters.
TEST(CompositeToBspline, JoinedSpans) {
  struct Row {
    const char *what;
    bool rational;
    int spans, order;
    bool jumps = false;  // the middle span moved off its neighbours' ends
  } rows[] = {{"three polynomial spans", false, 3, 3},
              {"three spans raised to order 5", false, 3, 5},
              {"rational spans with different weights", true, 3, 3},
              {"one span", false, 1, 4},
              {"a jump at both ends of the middle span stays a jump", false, 3, 3, true}};
  for (const Row &row : rows) {
    Composite c = parabola(row.spans, row.rational);
    if (row.jumps) start_at(c, 1, {1, 6, 0});
    const double range[2] = {0, static_cast<double>(row.spans)};
    Result r;
    c.convert(range, 1e-10, row.order, r);
    ASSERT_EQ(r.rc, 0) << row.what;
    // Degree-2 spans come back at order 3; a higher order asked for is not reached for.
    const int k = row.order < 3 ? row.order : 3;
    EXPECT_EQ(r.order, k) << row.what;
    EXPECT_EQ(r.rational, row.rational ? 1 : 0) << row.what;
    // A jump takes a pole of its own and a knot of full multiplicity.
    const int jumps = row.jumps ? row.spans - 1 : 0;
    ASSERT_EQ(r.np, row.spans * (k - 1) + 1 + jumps) << row.what;
    std::vector<double> want;
    for (int i = 0; i < k; ++i) want.push_back(0);
    for (int j = 1; j < row.spans; ++j)
      for (int i = 0; i < k - (row.jumps ? 0 : 1); ++i) want.push_back(static_cast<double>(j) / row.spans);
    for (int i = 0; i < k; ++i) want.push_back(1);
    for (int i = 0; i < r.np + k; ++i) EXPECT_NEAR(r.K[i], want[i], 1e-15) << row.what << " knot " << i;
    // At a joint of the rational row the spans' weights differ: the shared pole keeps the curve's point there
    // only when the second span was rescaled to the first one's end weight.
    for (int j = 0; j < row.spans; ++j)
      for (double u : {-1.0, -0.5, 0.25, row.jumps && j + 1 < row.spans ? 1 - 1e-9 : 1.0})
        EXPECT_LT(gap(r.at(3, (j + (u + 1) / 2) / row.spans), c.at(j, u)), 1e-13) << row.what << " span " << j;
  }
}

// Points among the spans, every span a point, and a span that needs several pieces.
TEST(CompositeToBspline, PointsAndMultiPieceSpans) {
  Composite pts{3, {}, {}, {}, {}, {}};
  pts.add(0, 0, {1, 2, 3});
  pts.add(0, 1, {8, 10, 12, 2});  // (4, 5, 6) over its weight
  pts.finish();
  const double all[2] = {0, 2};
  Result seg;
  pts.convert(all, 1e-9, 3, seg);
  ASSERT_EQ(seg.rc, 0);
  EXPECT_EQ(seg.order, 2);
  EXPECT_EQ(seg.np, 2);
  EXPECT_EQ(seg.rational, 0);
  EXPECT_EQ(std::vector<double>(seg.P, seg.P + 6), (std::vector<double>{1, 4, 2, 5, 3, 6}));
  EXPECT_EQ(std::vector<double>(seg.K, seg.K + 4), (std::vector<double>{0, 0, 1, 1}));

  // A point at the joint of two curve spans goes; the curve spans join over it.
  Composite mid = parabola(3, false);
  const std::vector<double> p = mid.at(0, 1);
  mid.degrees[1] = 0;
  mid.blocks[1] = {p[0], p[1], p[2]};
  mid.finish();
  start_at(mid, 2, p);
  Result dropped;
  const double range3[2] = {0, 3};
  mid.convert(range3, 1e-9, 3, dropped);
  ASSERT_EQ(dropped.rc, 0);
  EXPECT_EQ(dropped.np, 2 * 2 + 1);

  // Degree 7 at order 3 under a fine tolerance: the span comes back in several pieces, all of them kept, and the
  // whole stays within tol of the series on the span's half of the result.
  Composite wavy = parabola(2, false);
  std::vector<double> w(3 * 8, 0.0);
  for (int q = 0; q < 3; ++q)
    for (int j = 0; j < 8; ++j) w[q * 8 + j] = (q + 1) * std::pow(0.6, j) * (j % 2 ? -1 : 1);
  wavy.degrees[1] = 7;
  wavy.blocks[1] = w;
  wavy.finish();
  start_at(wavy, 1, wavy.at(0, 1));
  wavy.finish();
  const double tol = 1e-6, range2[2] = {0, 2};
  Result multi;
  wavy.convert(range2, tol, 3, multi);
  ASSERT_EQ(multi.rc, 0);
  EXPECT_GT(multi.np, 2 * 2 + 2) << "the second span keeps all its pieces";
  double worst = 0;
  for (int i = 0; i <= 200; ++i) {
    const double u = -1 + i / 100.0;
    worst = std::fmax(worst, gap(multi.at(3, 0.5 + (u + 1) / 4), wavy.at(1, u)));
  }
  EXPECT_LT(worst, 2 * tol);
  EXPECT_LT(gap(multi.at(3, 0), wavy.at(0, -1)), 1e-13);
  EXPECT_LT(gap(multi.at(3, 1), wavy.at(1, 1)), tol);
}

// The ring of a closed composite that repeats its first span: the last span pointer is the first, so a run that
// passes the end continues with span 1, not with the repeat; a range before its start wraps.
TEST(CompositeToBspline, ClosedRing) {
  Composite c = closed_parabola();
  c.blocks.push_back({});
  c.degrees.push_back(2), c.codes.push_back(0);
  c.finish();
  c.spans[3] = c.spans[0];
  struct Row {
    int s, e;
    double ua, ub;
    int spans;
    int first_span, last_span;  // of the ring, for the result's ends
  } rows[] = {{2, 0, -1, 0.5, 2, 2, 0}, {3, 1, 0, 1, 2, 0, 1}, {1, 4, 0.5, -0.5, 4, 1, 1}, {0, 3, -1, 1, 4, 0, 0}};
  for (const Row &row : rows) {
    const int span_range[2] = {row.s, row.e};
    const double local[2] = {row.ua, row.ub};
    Result r;
    BScmlg2bsab(1, 3, c.n(), c.degrees.data(), c.codes.data(), c.spans.data(), span_range, local, 1e-10, 3,
                &r.order, &r.np, &r.rational, &r.P, &r.K, &r.rc);
    ASSERT_EQ(r.rc, 0) << row.s << ".." << row.e;
    EXPECT_EQ(r.np, 2 * row.spans + 1) << row.s << ".." << row.e;
    EXPECT_LT(gap(r.at(3, 0), c.at(row.first_span, row.ua)), 1e-13);
    EXPECT_LT(gap(r.at(3, 1), c.at(row.last_span, row.ub)), 1e-13);
  }
  // The same ring without the repeat (three spans) wraps over all three.
  Composite open = closed_parabola();
  const int wrap[2] = {2, 0};
  const double local[2] = {0, 0};
  Result r;
  BScmlg2bsab(1, 3, 3, open.degrees.data(), open.codes.data(), open.spans.data(), wrap, local, 1e-10, 3, &r.order,
              &r.np, &r.rational, &r.P, &r.K, &r.rc);
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.np, 2 * 2 + 1);
  // Refused: indices outside the ring, more than one loop, one span run backwards, a local end outside [-1, 1].
  struct Bad {
    int s, e;
    double ua, ub;
  } bad[] = {{-1, 0, 0, 0}, {3, 3, 0, 0}, {0, 4, 0, 0}, {1, 1, 0.5, -0.5}, {0, 1, kNaN, 0}, {0, 1, 0, 1.5}};
  for (const Bad &b : bad) {
    const int sr[2] = {b.s, b.e};
    const double lr[2] = {b.ua, b.ub};
    Result f;
    BScmlg2bsab(1, 3, 3, open.degrees.data(), open.codes.data(), open.spans.data(), sr, lr, 1e-10, 3, &f.order,
                &f.np, &f.rational, &f.P, &f.K, &f.rc);
    EXPECT_EQ(f.rc, -2) << b.s << ".." << b.e;
    EXPECT_TRUE(f.unset());
  }
}

// The range located on uneven breakpoints: the result's ends are the composite's points at a and b, and each of
// its spans is the composite's on the matching part of a span.
TEST(CompositeToBspline, RangeOnTheBreakpoints) {
  Composite c = parabola(3, false);
  c.breaks = {0, 1, 3, 3.5};
  auto point = [&](double t) {
    int i = t < 1 ? 0 : t < 3 ? 1 : 2;
    if (t == 3.5) i = 2;
    return c.at(i, 2 * (t - c.breaks[i]) / (c.breaks[i + 1] - c.breaks[i]) - 1);
  };
  struct Row {
    double a, b;
    int spans;
  } rows[] = {{1, 3, 1}, {1, 3.5, 2}, {0.5, 1, 1}, {0.25, 3.25, 3}, {1.5, 2.5, 1}, {0, 3.5, 3},
              {1 + 1e-15, 3 + 2e-15, 1}};
  for (const Row &row : rows) {
    Result r;
    const double range[2] = {row.a, row.b};
    c.convert(range, 1e-10, 3, r);
    ASSERT_EQ(r.rc, 0) << row.a << ".." << row.b;
    EXPECT_EQ(r.np, 2 * row.spans + 1) << row.a << ".." << row.b;
    EXPECT_LT(gap(r.at(3, 0), point(row.a)), 1e-13) << row.a << ".." << row.b;
    EXPECT_LT(gap(r.at(3, 1), point(row.b)), 1e-13) << row.a << ".." << row.b;
  }
  struct Bad {
    double a, b;
    std::vector<double> breaks;
  } bad[] = {{-0.5, 1, {}}, {1, 3.6, {}}, {kNaN, 1, {}}, {1, INFINITY, {}}, {3.5, 1, {}}, {0, 1, {0, 1, 1, 3}},
             {0, 1, {0, 1, kNaN, 3}}};
  for (const Bad &b : bad) {
    Composite d = c;
    d.finish();
    if (!b.breaks.empty()) d.breaks = b.breaks;
    Result r;
    const double range[2] = {b.a, b.b};
    d.convert(range, 1e-10, 3, r);
    EXPECT_EQ(r.rc, -2) << b.a << ".." << b.b;
    EXPECT_TRUE(r.unset());
  }
}

// Plane spans of codes 0 to 3: codes 1 and 2 alone go over one denominator and stay rational; any span of code 0
// or 3 makes every quotient a polynomial series and the result polynomial. Either way within tol of x, y.
TEST(CompositeToBspline, PlaneCodes) {
  // x = 1 + u/2 + u^2/5, y = 2 - u/3, denominators 1.5 + 0.4 u and 2 - 0.3 u in Legendre coefficients.
  const std::vector<double> x = {1 + 1.0 / 15, 0.5, 2.0 / 15}, y = {2, -1.0 / 3, 0}, w1 = {1.5, 0.4, 0},
                            w2 = {2, -0.3, 0};
  auto span = [&](int code) {
    std::vector<double> s;
    auto put = [&](const std::vector<double> &v) { s.insert(s.end(), v.begin(), v.end()); };
    put(x), put(y);
    if (code == 1 || code == 2) put(w1);
    if (code == 3) put(w1), put(w2);
    return s;
  };
  struct Row {
    std::vector<int> codes;
    int rational;
  } rows[] = {{{1, 2}, 1}, {{1, 1}, 1}, {{0, 1}, 0}, {{3, 2}, 0}, {{0, 0}, 0}};
  const double tol = 1e-7;
  for (const Row &row : rows) {
    Composite c{2, {}, {}, {}, {}, {}};
    for (int code : row.codes) c.add(2, code, span(code));
    c.finish();
    start_at(c, 1, c.at(0, 1));
    Result r;
    const double range[2] = {0, 2};
    c.convert(range, tol, 4, r, 0);
    ASSERT_EQ(r.rc, 0) << row.codes[0] << row.codes[1];
    EXPECT_EQ(r.rational, row.rational) << row.codes[0] << row.codes[1];
    double worst = 0;
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i <= 40; ++i) {
        const double u = -1 + i / 20.0;
        worst = std::fmax(worst, gap(r.at(2, (j + (u + 1) / 2) / 2), c.at(j, u)));
      }
    EXPECT_LT(worst, tol) << row.codes[0] << row.codes[1];
  }
  // The general converter takes codes 0 and 1 only, the plane one dimension 2 only.
  Composite c{2, {}, {}, {}, {}, {}};
  c.add(2, 3, span(3));
  c.finish();
  const double range[2] = {0, 1};
  Result r1, r2;
  c.convert(range, tol, 3, r1, 1);
  EXPECT_EQ(r1.rc, -2);
  c.dim = 3;
  c.convert(range, tol, 3, r2, 0);
  EXPECT_EQ(r2.rc, -2);
}

// Every heap request of a conversion (rational, a span raised, a span in several pieces, a quotient) fails in
// turn, and every routine below gives back a failure in turn: the code comes through, the outputs stay unset
// and nothing stays allocated.
const char *g_fail_name = nullptr;
int g_fail_rc = 0;
void fail_named(const char *lname, int *rc) {
  if (rc && *rc == 0 && g_fail_name && std::strcmp(lname, g_fail_name) == 0) *rc = g_fail_rc;
}

TEST(CompositeToBspline, FailuresLeaveNothing) {
  Composite space = parabola(3, true);
  std::vector<double> w(4 * 8, 0.0);
  for (int q = 0; q < 4; ++q)
    for (int j = 0; j < 8; ++j) w[q * 8 + j] = q == 3 ? (j == 0 ? 3.0 : 0.0) : std::pow(0.6, j) * (q + 1);
  space.degrees[1] = 7, space.blocks[1] = w;  // rational, several pieces
  space.degrees[2] = 1;                      // raised to order 3
  space.blocks[2] = {2.5, 0.5, 6.25, 2.5, 1, -0.25, 2, 0};
  space.finish();
  Composite plane{2, {}, {}, {}, {}, {}};
  plane.add(2, 3, {1, 0.5, 0.1, 2, -0.3, 0, 1.5, 0.4, 0, 2, -0.3, 0});
  plane.add(2, 1, {1, 0.5, 0.1, 2, -0.3, 0, 1.5, 0.4, 0});
  plane.finish();
  Composite common{2, {}, {}, {}, {}, {}};
  common.add(2, 1, {1, 0.5, 0.1, 2, -0.3, 0, 1.5, 0.4, 0});
  common.add(2, 2, {1, 0.5, 0.1, 2, -0.3, 0, 1.5, 0.4, 0});
  common.finish();
  struct Case {
    Composite *c;
    int general;
    double a, b;
  } cases[] = {{&space, 1, 0.5, 3}, {&plane, 0, 0.25, 2}, {&common, 0, 0, 1.5}};
  const int live = BSdbgliveblocks();
  for (const Case &cs : cases) {
    const double range[2] = {cs.a, cs.b};
    int failures = 0;
    for (int at = 1;; ++at) {
      Result r;
      BSallocfailat(at);
      cs.c->convert(range, 1e-6, 3, r, cs.general);
      const bool consumed = BSallocfailpending() == 0;
      BSallocfailat(0);
      if (r.rc == 0) break;
      ++failures;
      EXPECT_TRUE(r.rc == -13 || r.rc == 33) << "request " << at << ": rc " << r.rc;
      EXPECT_TRUE(r.unset()) << "request " << at;
      EXPECT_EQ(BSdbgliveblocks(), live) << "request " << at;
      EXPECT_EQ(BSscratchheapblocks(), 0) << "request " << at;
      ASSERT_TRUE(consumed && at < 500);
    }
    EXPECT_GT(failures, 3);
  }
  const char *names[] = {"bslgdbspl1", "bslgdbsplr", "bsincord", "bsnorkts", "bslimlgdab", "bscnvlgdnt",
                         "bslgdratstd", "bslgdcvint", "bsdivlgdlgd", "bscnvlgd2d", "bscmlg2bsab"};
  const BSfaulthandler previous = BSsetfaulthook(fail_named);
  for (const bool slow : {false, true})
    for (const char *name : names) {
      const bstest::SlowRoads roads(slow);
      g_fail_name = name, g_fail_rc = 77;
      int hits = 0;
      for (const Case &cs : cases) {
        Result r;
        const double range[2] = {cs.a, cs.b};
        cs.c->convert(range, 1e-6, 3, r, cs.general);
        if (r.rc == 0) continue;
        ++hits;
        EXPECT_EQ(r.rc, 77) << name << " slow " << slow;
        EXPECT_TRUE(r.unset()) << name << " slow " << slow;
        EXPECT_EQ(BSdbgliveblocks(), live) << name << " slow " << slow;
      }
      EXPECT_GT(hits, 0) << name << " is on the road of some case, slow " << slow;
    }
  g_fail_name = nullptr;
  BSsetfaulthook(previous);
}

}  // namespace
