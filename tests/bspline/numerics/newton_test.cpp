// The bounded Newton solvers: known roots, refusals before any evaluation, the ways an iteration fails, bounds and
// periods after a step, the damping after a wrap, scratch failure; the LU decomposition and the periodic wrap.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/numerics.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Residual = std::function<BSboolean(int *rc, const double *x, double *f)>;

// A problem with arrays of its own. The residual finds it through the record's data field and records every point
// it is asked at.
struct Problem {
  std::vector<double> lo, hi, x0, x;
  std::vector<BSboolean> periodic;
  Residual residual;
  std::vector<std::vector<double>> calls;
  int outside = 0;  // calls at points outside [lo, hi]
  BSnewtonrec rec{};

  Problem(std::vector<double> lo_, std::vector<double> hi_, std::vector<double> start, Residual r,
          std::vector<BSboolean> periodic_ = {}, double xtol = 1e-10)
      : lo(lo_), hi(hi_), x0(start), x(start.size(), -1.0), periodic(periodic_), residual(r) {
    periodic.resize(x0.size(), 0);
    rec = {lo.data(), hi.data(), 1e-12, xtol, static_cast<int>(x0.size()), 25, 1, periodic.data(), this,
           x0.data(), -1, x.data(), -1.0};
  }
  Problem(const Problem &) = delete;

  static BSboolean trampoline(int *rc, double *at, double *f, void *data_address) {
    auto *self = static_cast<Problem *>(*static_cast<void **>(data_address));
    self->calls.emplace_back(at, at + self->rec.n);
    for (int i = 0; i < self->rec.n; ++i) self->outside += !(self->lo[i] <= at[i] && at[i] <= self->hi[i]);
    return self->residual(rc, at, f);
  }
  BSboolean run(bool second, int *rc) {
    return second ? BSqnwt2(rc, &rec, trampoline) : BSqnwt(rc, &rec, trampoline);
  }
};

// A residual that cannot fail.
Residual plain(std::function<void(const double *x, double *f)> fn) {
  return [fn](int *, const double *x, double *f) {
    fn(x, f);
    return BSTRUE;
  };
}
const Residual circle_and_diagonal = plain([](const double *x, double *f) {
  f[0] = x[0] * x[0] + x[1] * x[1] - 4.0, f[1] = x[1] - x[0];
});
Residual linear_to(double r) {
  return plain([r](const double *x, double *f) { f[0] = x[0] - r; });
}

TEST(NewtonSolvers, ReachKnownRootsAndScaleTheTolerances) {
  const struct {
    const char *name;
    std::vector<double> lo, hi, x0, root;
    Residual f;
    std::vector<BSboolean> periodic;
    int max_iterations;
    int calls = 0;  // when the iteration must end at the first probe
  } cases[] = {
      {"cos x = x", {0}, {1}, {0.2}, {0.7390851332151607},
       plain([](const double *x, double *f) { f[0] = std::cos(x[0]) - x[0]; }), {}, 24},
      {"circle and diagonal", {0, 0}, {3, 3}, {1, 1.5}, {std::sqrt(2.0), std::sqrt(2.0)}, circle_and_diagonal, {}, 24},
      // The root lies across the seam: the first step leaves through hi and comes back near lo.
      {"across the seam", {0}, {2 * kPi}, {6.2}, {0.1},
       plain([](const double *x, double *f) { f[0] = std::sin(x[0] - 0.1); }), {1}, 24},
      // The first probe ends it: from the root, or from 5e-12 before it, a step of h = min(0.1 xtol, |f|) away.
      {"root at the start", {0}, {1}, {0.4}, {0.4}, linear_to(0.4), {}, 1, 3},
      {"a probe lands on the root", {0}, {1}, {0.4 - 5e-12}, {0.4}, linear_to(0.4), {}, 1, 3},
      // Probes at the upper bound step down.
      {"root on the upper bound", {0, 0}, {1, 1}, {0.5, 0.5}, {1, 0.25},
       plain([](const double *x, double *f) { f[0] = std::exp(x[0]) - std::exp(1.0), f[1] = x[1] - 0.25 * x[0]; }),
       {}, 24},
  };
  for (const auto &c : cases)
    for (int form = 0; form < 3; ++form) {  // BSqnwt undamped, BSqnwt damped, BSqnwt2
      SCOPED_TRACE(testing::Message() << c.name << ", form " << form);
      Problem p(c.lo, c.hi, c.x0, c.f, c.periodic);
      p.rec.full_step = form == 0;
      int rc = -99;
      EXPECT_EQ(p.run(form == 2, &rc), BSTRUE);
      EXPECT_EQ(rc, 0);
      const double scale = std::sqrt(static_cast<double>(c.x0.size()));
      EXPECT_DOUBLE_EQ(p.rec.ftol, 1e-12 * scale);
      EXPECT_DOUBLE_EQ(p.rec.xtol, 1e-10 * scale);
      EXPECT_LE(p.rec.iterations, c.max_iterations);
      EXPECT_EQ(p.outside, 0);
      for (std::size_t i = 0; i < c.root.size(); ++i) { EXPECT_NEAR(p.x[i], c.root[i], p.rec.ftol); }
      if (c.calls) {
        EXPECT_EQ(static_cast<int>(p.calls.size()), c.calls);
        EXPECT_LT(p.rec.fnorm, p.rec.ftol);
      }
    }
}

TEST(NewtonSolvers, RefuseBadRecordsBeforeAnyEvaluation) {
  const struct { const char *name; std::function<void(Problem &)> damage; } cases[] = {
      {"start below lo", [](Problem &p) { p.x0[0] = -0.1; }},
      {"start above hi", [](Problem &p) { p.x0[1] = 1.5; }},
      {"start NaN", [](Problem &p) { p.x0[0] = kNaN; }},
      {"empty period", [](Problem &p) { p.periodic[1] = 1, p.lo[1] = p.hi[1] = p.x0[1]; }},
      {"infinite period", [](Problem &p) { p.periodic[0] = 1, p.hi[0] = kInf; }},
      {"n 0", [](Problem &p) { p.rec.n = 0; }},
      {"ftol 0", [](Problem &p) { p.rec.ftol = 0; }},
      {"xtol NaN", [](Problem &p) { p.rec.xtol = kNaN; }},
      {"max_iter 0", [](Problem &p) { p.rec.max_iter = 0; }},
      {"no result array", [](Problem &p) { p.rec.x = nullptr; }},
  };
  for (const auto &c : cases)
    for (bool second : {false, true}) {
      SCOPED_TRACE(c.name);
      Problem p({0, 0}, {1, 1}, {0.5, 0.5}, circle_and_diagonal);
      c.damage(p);
      const double ftol = p.rec.ftol;
      int rc = 0;
      EXPECT_EQ(p.run(second, &rc), BSFALSE);
      EXPECT_EQ(rc, -2);
      EXPECT_TRUE(p.calls.empty());
      EXPECT_EQ(p.rec.iterations, -1);
      if (!std::isnan(ftol)) { EXPECT_EQ(p.rec.ftol, ftol); }
    }
}

TEST(NewtonSolvers, FailuresEndTheIterationAtOnce) {
  // The residual answers f(x) = x - 0.3 (n = 1) until its call `at`, where it does what the case says. Calls:
  // 1 the start, 2 the first base point, 3 its probe, 4 the second base point.
  const struct { const char *name; int at; double value; BSboolean answer; int code, rc; } cases[] = {
      {"NaN at the start", 1, kNaN, BSTRUE, 0, -1},
      {"NaN at a probe", 3, kNaN, BSTRUE, 0, -1},
      {"infinity at a base point", 4, -kInf, BSTRUE, 0, -1},
      {"FALSE without a code", 3, 0.7, BSFALSE, 0, 0},
      {"a code with TRUE", 2, 0.7, BSTRUE, 7, 7},
  };
  for (const auto &c : cases)
    for (bool second : {false, true}) {
      SCOPED_TRACE(c.name);
      Problem *self = nullptr;
      Problem p({-1}, {1}, {0.9}, [&](int *rc, const double *x, double *f) -> BSboolean {
        f[0] = x[0] - 0.3;
        if (static_cast<int>(self->calls.size()) != c.at) return BSTRUE;
        f[0] = c.value;
        *rc = c.code;
        return c.answer;
      });
      self = &p;
      p.rec.full_step = 0;
      int rc = 0;
      EXPECT_EQ(p.run(second, &rc), BSFALSE);
      EXPECT_EQ(rc, c.rc);
      EXPECT_EQ(static_cast<int>(p.calls.size()), c.at);
      if (c.rc != 0) { EXPECT_STREQ(BStracetable()[BStracecount() - 1].name, second ? "BSqnwt2" : "BSqnwt"); }
    }
  // A residual blind to its second variable leaves an empty Jacobian column.
  Problem p({0, 0}, {1, 1}, {0.5, 0.5}, plain([](const double *x, double *f) {
    f[0] = std::sin(x[0]) - 0.3, f[1] = x[0] * x[0];
  }));
  int rc = 0;
  EXPECT_EQ(p.run(false, &rc), BSFALSE);
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(p.calls.size(), 4u);
}

TEST(NewtonSolvers, BoundsAndPeriodsAfterAStep) {
  // One undamped step on f(x) = x - r from 0.5 in [0, 1] lands on r; xtol 0.01.
  const struct { BSboolean periodic; double r, x; int rc; } cases[] = {
      {0, 1.5, 1.0, 0},    {0, -0.5, 0.0, 0},   {1, -0.3, 0.7, 0},    {1, 1.25, 0.25, 0},
      {1, -0.005, 0.0, 0}, {1, 1.004, 1.0, 0}, {1, -9.75, 0.25, 0}, {1, -10.5, 0, -1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "periodic " << c.periodic << ", r " << c.r);
    Problem p({0}, {1}, {0.5}, linear_to(c.r), {c.periodic}, 0.01);
    p.rec.max_iter = 1;
    int rc = 0;
    EXPECT_EQ(p.run(false, &rc), c.rc == 0 ? BSTRUE : BSFALSE);
    EXPECT_EQ(rc, c.rc);
    if (c.rc == 0) { EXPECT_NEAR(p.x[0], c.x, 1e-10); }
  }
}

TEST(NewtonSolvers, DampingSchedules) {
  // Step factors on f(x) = x - 0.3 from 0.9, every step improving: the damping grows by a quarter per step in
  // damped iterations and is 1 in undamped ones. BSqnwt2 damps its first two steps whatever full_step says.
  const struct { bool second; int full_step; std::vector<double> mu; } cases[] = {
      {false, 1, {1}}, {false, 0, {0.25, 0.5, 0.75, 1}}, {true, 0, {0.25, 0.5, 1}}, {true, 1, {0.25, 0.5, 1}}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << (c.second ? "BSqnwt2" : "BSqnwt") << ", full_step " << c.full_step);
    Problem p({-1}, {1}, {0.9}, linear_to(0.3));
    p.rec.full_step = c.full_step;
    int rc = 0;
    ASSERT_EQ(p.run(c.second, &rc), BSTRUE);
    // Base points are calls 1, 3, 5, ...; each is followed by its probe.
    for (std::size_t k = 0; k < c.mu.size(); ++k) {
      const double base = p.calls[2 * k + 1][0];
      const double next = 2 * k + 3 < p.calls.size() ? p.calls[2 * k + 3][0] : p.x[0];
      EXPECT_NEAR((base - next) / (base - 0.3), c.mu[k], 1e-6) << "step " << k + 1;
    }
  }
}

TEST(NewtonSolvers, AWrapRestartsTheDamping) {
  // Damped steps towards the root at -0.05 of a periodic residual on [0, 1]: the third step leaves through lo and
  // re-enters near 0.95. The next step, an improving one, must be damped as a second step (half the Newton step),
  // not as one after three improving steps (the full step).
  const auto f = [](double x) { return std::sin(2 * kPi * (x + 0.05)) / (2 * kPi); };
  Problem p({0}, {1}, {0.1}, plain([&](const double *x, double *out) { out[0] = f(x[0]); }), {1}, 0.01);
  p.rec.full_step = 0;
  int rc = 0;
  ASSERT_EQ(p.run(false, &rc), BSTRUE);
  std::size_t k = 3;
  while (k + 2 < p.calls.size() && !(p.calls[k][0] > 0.5 && p.calls[k - 2][0] < 0.5)) k += 2;
  ASSERT_LT(k + 2, p.calls.size()) << "no wrap through lo";
  const double base = p.calls[k][0], probe = p.calls[k + 1][0];
  const double newton_step = f(base) * (probe - base) / (f(probe) - f(base));
  EXPECT_NEAR((base - p.calls[k + 2][0]) / newton_step, 0.5, 1e-6);
}

TEST(NewtonSolvers, LargeSystemsAndScratchFailure) {
  // n = 21 is the first size whose work arrays reach the heap.
  const int n = 21;
  std::vector<double> lo(n, -2), hi(n, 2), x0(n, 0.5);
  const Residual diagonal = plain([](const double *x, double *f) {
    for (int i = 0; i < n; ++i) f[i] = std::atan(x[i] - 0.01 * i);
  });
  const int heap = BSscratchheapblocks();
  for (int fail : {0, 1}) {
    Problem p(lo, hi, x0, diagonal);
    BSallocfailat(fail);
    int rc = 0;
    EXPECT_EQ(p.run(true, &rc), fail ? BSFALSE : BSTRUE);
    EXPECT_EQ(rc, fail ? 33 : 0);
    EXPECT_EQ(BSscratchheapblocks(), heap);
    EXPECT_EQ(BSallocfailpending(), 0);
    if (fail) { EXPECT_TRUE(p.calls.empty()); }
    for (int i = 0; i < n && !fail; ++i) { EXPECT_NEAR(p.x[i], 0.01 * i, 1e-10); }
  }
}

TEST(NewtonLU, PivotsAndRefusals) {
  // Column 0 has two equally large candidates, rows 1 and 2: the upper one is taken.
  double a[9] = {1, 1, 0, 2, 0, 1, -2, 1, 1}, rhs[3] = {2, 3, 0};  // solution (1, 1, 1)
  const int three = 3;
  const BSboolean permute = 1;
  int rc = 0;
  ASSERT_EQ(BSdecomp(&rc, &three, a, &permute, rhs), BSTRUE);
  EXPECT_TRUE(rhs[0] == 3 && rhs[1] == 2 && rhs[2] == 0);
  ASSERT_EQ(BSsolve(&rc, &three, a, rhs), BSTRUE);
  for (double v : rhs) { EXPECT_NEAR(v, 1.0, 1e-15); }

  const struct { const char *name; int n; std::vector<double> a; int rc; } refused[] = {
      {"zero column", 2, {1, 0, 2, 0}, -1},
      {"below the absolute threshold", 2, {1e-30, 0, 0, 1e-30}, -1},
      {"dependent rows", 3, {1, 2, 3, 2, 4, 6, 0, 1, 1}, -1},
      {"n 0", 0, {1}, -2},
      {"NaN entry", 2, {1, 0, 0, kNaN}, -2},
  };
  for (auto c : refused) {
    SCOPED_TRACE(c.name);
    double b[3] = {1, 1, 1};
    EXPECT_EQ(BSdecomp(&rc, &c.n, c.a.data(), &permute, b), BSFALSE);
    EXPECT_EQ(rc, c.rc);
  }
  const int zero = 0;
  EXPECT_EQ(BSsolve(&rc, &zero, a, rhs), BSFALSE);
  EXPECT_EQ(rc, -2);
}

TEST(NewtonAdjust, WholePeriodsAndRefusals) {
  const struct { double lo, hi; BSboolean periodic; double x, out; int rc; } cases[] = {
      {0, 2 * kPi, 1, 7, 7 - 2 * kPi, 0},   {0, 2 * kPi, 1, -1, 2 * kPi - 1, 0}, {0, 2 * kPi, 0, 7, 7, 0},
      {0, 1, 1, 1e6 + 0.25, 0.25, 0},       {-1, 1, 1, -1e300, -1, 0},           {1, 1, 1, 1, 0, -2},
      {0, 1, 1, kNaN, 0, -2},               {0, kInf, 1, 3, 0, -2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << " in [" << c.lo << ", " << c.hi << "]");
    const int one = 1;
    double out = -99;
    int rc = 0;
    EXPECT_EQ(BSadjust(&rc, &one, &c.lo, &c.hi, &c.periodic, &c.x, &out), c.rc == 0 ? BSTRUE : BSFALSE);
    EXPECT_EQ(rc, c.rc);
    if (c.rc == 0) { EXPECT_NEAR(out, c.out, 1e-9); }
  }
}

}  // namespace
