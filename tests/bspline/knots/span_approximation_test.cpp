// Knot removal and the continuity of per-span Legendre pieces: refusals that leave the outputs alone, curves
// refined by knot insertion and approximated back, the knot-insertion rows, the correction of a kink, failing
// scratch. Random problems against Eigen are in oracle/span_approximation_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Curves = std::vector<VOQbsp_curve *>;

// c on its knots refined by count random knots inside its range (RoomCurve with arrays for the result).
std::unique_ptr<RoomCurve> refine(const TestCurve &c, std::mt19937 &rng, int count) {
  std::uniform_real_distribution<double> inside(c.start(), c.end());
  std::vector<double> knots = c.knots;
  for (int i = 0; i < count; ++i) knots.push_back(inside(rng));
  std::sort(knots.begin(), knots.end());
  const int n = static_cast<int>(knots.size()) - c.order();
  auto out = std::make_unique<RoomCurve>(n, c.order(), !c.weights.empty());
  int rc = 0;
  BSadd_kts(&c.cv, n, knots.data(), &out->cv, &rc);
  EXPECT_EQ(rc, 0);
  return out;
}

bool same_bits(const double *a, const double *b, std::size_t n) { return std::memcmp(a, b, n * sizeof(double)) == 0; }

// Two cubics of 12 poles onto 7, damaged one way each: rc as listed; on failure the outputs untouched.
TEST(SpanApproximation, KnotRemovalAnswers) {
  std::mt19937 rng(4209);
  auto other = random_curve(rng, 4, 12, false, true), rational = random_curve(rng, 4, 12, true, true);
  const std::pair<int, std::function<void(Curves &, int &, std::vector<double> &, Curves &)>> cases[] = {
      {0, [](Curves &in, int &n, auto &tau, Curves &) { n = 12, tau.assign(in[0]->knots, in[0]->knots + 16); }},
      {49, [&](Curves &in, int &, auto &, Curves &) { rational->weights[11] = 0.0005, in[0] = in[1] = &rational->cv; }},
      {3, [](Curves &in, int &, auto &, Curves &) { in[1] = nullptr; }},
      {3, [](Curves &, int &, auto &, Curves &out) { out[1] = nullptr; }},
      {-2, [&](Curves &in, int &, auto &, Curves &) { other->cv.order = 3, in[1] = &other->cv; }},
      {-2, [&](Curves &in, int &, auto &, Curves &) { in[1] = &rational->cv; }},
      {-2, [](Curves &, int &n, auto &, Curves &) { n = 3; }},
      {-2, [](Curves &in, int &, auto &, Curves &) { in[1]->poles[7] = kNaN; }},
      {-2, [](Curves &, int &, auto &tau, Curves &) { std::swap(tau[5], tau[6]); }},
      {-2, [](Curves &, int &, auto &tau, Curves &) { std::fill(tau.begin() + 4, tau.begin() + 9, tau[4]); }},
  };
  int index = 0;
  for (const auto &[want, damage] : cases) {
    auto a = random_curve(rng, 4, 12, false, true), b = random_curve(rng, 4, 12, false, true);
    b->cv.knots = rational->cv.knots = a->knots.data();
    std::vector<double> tau(4, a->start());
    tau.insert(tau.end(), {a->knots[5], a->knots[6], a->knots[7]});
    tau.insert(tau.end(), 4, a->end());
    RoomCurve r0(12, 4, true), r1(12, 4, true);
    Curves in = {&a->cv, &b->cv}, out = {&r0.cv, &r1.cv};
    int n = 7, rc = 0;
    damage(in, n, tau, out);
    const std::vector<double> before = r1.poles;
    BSbrapproxs(2, in.data(), n, tau.data(), BSFALSE, BSFALSE, out.data(), &rc);
    EXPECT_EQ(rc, want) << "case " << index;
    if (rc == 0) {  // equal pole counts: copies
      EXPECT_TRUE(r1.cv.num_poles == 12 && same_bits(r1.cv.poles, b->poles.data(), 36) &&
                  same_bits(r1.cv.knots, a->knots.data(), 16)) << "case " << index;
    } else {
      EXPECT_TRUE(r1.cv.num_poles == 0 && same_bits(r1.poles.data(), before.data(), 36)) << "case " << index;
    }
    ++index;
  }
  BStraceclear();
}

// Two curves of orders 2 to 7, polynomial and rational, refined by knot insertion and approximated back together
// onto their own knots come back to 1e-12, whichever form of rows their size takes; holding the true tangent
// poles changes nothing and keeps the held values bit for bit.
TEST(SpanApproximation, RefinedCurvesComeBackOnTheirOwnKnots) {
  std::mt19937 rng(4210);
  for (int k = 2; k <= 7; ++k)
    for (int n = k + 1; n <= k + 8; n += 3)
      for (int hold = 0; hold < 8; ++hold) {
        const bool rational = hold & 4, hs = hold & 1, he = hold & 2;
        auto c = random_curve(rng, k, n, rational, true, k - 1), c2 = random_curve(rng, k, n, rational, true);
        c2->knots = c->knots, c2->cv.knots = c2->knots.data();
        std::mt19937 same = rng;
        auto fine = refine(*c, rng, 2 * n), fine2 = refine(*c2, same, 2 * n);
        RoomCurve out(n, k, rational), out2(n, k, rational);
        for (auto [o, src] : {std::pair{&out, c.get()}, std::pair{&out2, c2.get()}})
          for (int i : {1, n - 2}) {
            std::copy_n(&src->poles[3 * i], 3, &o->poles[3 * i]);
            o->weights[i] = rational ? src->weights[i] : 0.0;
          }
        const std::vector<double> held = out.poles;
        const VOQbsp_curve *in[2] = {&fine->cv, &fine2->cv};
        VOQbsp_curve *outs[2] = {&out.cv, &out2.cv};
        int rc = 0;
        BSbrapproxs(2, in, n, c->knots.data(), hs, he, outs, &rc);
        ASSERT_EQ(rc, 0) << k << " " << n;
        EXPECT_EQ(knots_of(out.cv), c->knots);
        for (int i = 0; i < 3 * n; ++i) {  // coordinates up to 20 (weighted)
          EXPECT_NEAR(out.cv.poles[i], c->poles[i], 2e-11) << k << " " << n << " " << hold;
          EXPECT_NEAR(out2.cv.poles[i], c2->poles[i], 2e-11) << k << " " << n << " " << hold;
        }
        for (int i = 0; rational && i < n; ++i) EXPECT_NEAR(out.cv.weights[i], c->weights[i], 2e-12);
        EXPECT_TRUE(!hs || same_bits(&out.poles[3], &held[3], 3));
        EXPECT_TRUE(!he || same_bits(&out.poles[3 * (n - 2)], &held[3 * (n - 2)], 3));
      }
  BStraceclear();
}

// The rows carry a spline's poles to those of its refinement; the band form holds exactly the rows' nonzeros.
TEST(SpanApproximation, InsertionRowsRefineAndBandHoldsTheNonzeros) {
  std::mt19937 rng(4212);
  for (int k = 1; k <= 6; ++k) {
    auto c = random_curve(rng, k, k + 5, false, true, std::max(k - 1, 1));
    auto fine = refine(*c, rng, 9);
    const int n = c->n(), m = fine->cv.num_poles;
    std::vector<double> M(m * n), R(m * k);
    int rc = 0, rc2 = 0;
    BSinsrt_mat(static_cast<std::int16_t>(k), n, c->knots.data(), m, fine->cv.knots, M.data(), &rc);
    BSinsrt_band(static_cast<std::int16_t>(k), n, c->knots.data(), m, fine->cv.knots, R.data(), &rc2);
    ASSERT_TRUE(rc == 0 && rc2 == 0);
    for (int p = 0; p < m; ++p) {
      bool placed = false;
      for (int lo = 0; lo <= n - k && !placed; ++lo) {
        placed = true;
        for (int j = 0; j < n; ++j) placed = placed && M[p * n + j] == (j >= lo && j < lo + k ? R[p * k + j - lo] : 0);
      }
      EXPECT_TRUE(placed) << k << " row " << p;
      for (int x = 0; x < 3; ++x) {
        double sum = 0;
        for (int j = 0; j < n; ++j) sum += M[p * n + j] * c->poles[3 * j + x];
        EXPECT_NEAR(sum, fine->cv.poles[3 * p + x], 1e-12) << k << " row " << p;
      }
    }
  }
  double R[8];
  const double decreasing[5] = {0, 0, 1, 0.5, 2}, t[4] = {0, 0, 1, 2};
  int rc = 0;
  BSinsrt_band(2, 3, decreasing, 3, t, R, &rc);
  EXPECT_EQ(rc, -2);
  BStraceclear();
}

// The per-span Legendre pieces ((q S + s) k + i) of a spline of order k with simple knots, and their breaks.
std::vector<double> pieces_of(const TestCurve &c, std::vector<double> &breaks) {
  const int k = c.order(), n = c.n();
  std::vector<double> blocks(3 * n), spans(3 * k * n), out;
  for (int i = 0; i < 3 * n; ++i) blocks[i % 3 * n + i / 3] = c.poles[i];
  breaks.assign(n + 1, 0.0);
  int S = 0, rc = 0;
  BSbstolgd(k - 1, n, 3, c.knots.data(), blocks.data(), &S, spans.data(), breaks.data(), &rc);
  breaks.resize(S + 1);
  for (int q = 0; q < 3; ++q)
    for (int s = 0; s < S; ++s) out.insert(out.end(), &spans[(s * 3 + q) * k], &spans[(s * 3 + q + 1) * k]);
  return out;
}

// Pieces of a quartic spline, continuous or with a kink in one slope: answers, and for a kink its least change.
TEST(SpanApproximation, ContinuityCorrectionAnswers) {
  std::mt19937 rng(4213);
  auto c = random_curve(rng, 5, 12, false, true);
  std::vector<double> breaks, equal, kinked;
  const std::vector<double> smooth = pieces_of(*c, breaks);
  const int S = static_cast<int>(breaks.size()) - 1, k = 5;
  kinked = smooth, equal = breaks;
  kinked[(S + 3) * k + 1] += 1e-3;
  equal[4] = equal[3];
  std::vector<double> nan_in = kinked;
  nan_in[17] = kNaN;
  struct Case {
    const char *what;
    const std::vector<double> &in, &breaks;
    int spans, ncont;
    double tol;
    int rc;
  };
  const Case cases[] = {
      {"continuous pieces come back unchanged", smooth, breaks, S, k - 2, 0.0, 0},
      {"one span: a copy", kinked, breaks, 1, k - 2, 0.0, 0},
      {"a kink above the tolerance warns", kinked, breaks, S, k - 2, 1e-9, 55},
      {"a kink within the tolerance", kinked, breaks, S, k - 2, 1e-2, 0},
      {"equal breaks", kinked, equal, S, k - 2, 0.0, -2},
      {"NaN coefficient", nan_in, breaks, S, k - 2, 0.0, -2},
      {"derivative order k", kinked, breaks, S, k, 0.0, -2},
  };
  for (const Case &t : cases) {
    std::vector<double> out(t.in.size(), 7.0);
    int rc = 0;
    BScstlgdbsp(1, 3, k, t.ncont, t.spans, t.breaks.data(), t.in.data(), t.tol, out.data(), &rc);
    EXPECT_EQ(rc, t.rc) << t.what;
    const std::size_t used = static_cast<std::size_t>(3) * t.spans * k;
    EXPECT_TRUE(rc >= 0 || std::count(out.begin(), out.end(), 7.0) == static_cast<long>(out.size())) << t.what;
    if (rc < 0 || &t.in == &smooth || t.spans == 1) {
      for (std::size_t i = 0; rc == 0 && i < used; ++i) EXPECT_NEAR(out[i], t.in[i], 1e-13) << t.what << " " << i;
      continue;
    }
    // The least change in the orthonormal norm: continuous now (a second pass, in place, changes nothing) and
    // no farther from the smooth pieces than the kinked ones were.
    auto distance = [&](const std::vector<double> &a) {
      double sum = 0;
      for (std::size_t i = 0; i < used; ++i) sum += std::pow(a[i] - smooth[i], 2) / (i % k + 0.5);
      return sum;
    };
    EXPECT_LE(distance(out), distance(t.in) * (1 + 1e-9)) << t.what;
    std::vector<double> again = out;
    BScstlgdbsp(1, 3, k, t.ncont, t.spans, t.breaks.data(), again.data(), 0.0, again.data(), &rc);
    EXPECT_EQ(rc, 0) << t.what;
    for (std::size_t i = 0; i < used; ++i) EXPECT_NEAR(again[i], out[i], 1e-13) << t.what << " " << i;
  }
  BStraceclear();
}

// Every heap request fails in turn: rc 33, no block left, the outputs untouched.
TEST(SpanApproximation, FailedScratchLeavesTheOutputsAlone) {
  std::mt19937 rng(4214);
  auto c = random_curve(rng, 4, 400, false, true);
  std::vector<double> tau(4, c->start()), breaks;
  for (int i = 8; i < 400; i += 4) tau.push_back(c->knots[i]);
  tau.insert(tau.end(), 4, c->end());
  const int n = static_cast<int>(tau.size()) - 4;
  RoomCurve out(n, 4, false);
  const VOQbsp_curve *in[1] = {&c->cv};
  VOQbsp_curve *outs[1] = {&out.cv};
  const std::vector<double> pieces = pieces_of(*c, breaks);
  std::vector<double> corrected(pieces.size(), 7.0);
  const std::function<void(int *)> runs[] = {
      [&](int *rc) { BSbrapproxs(1, in, n, tau.data(), BSFALSE, BSFALSE, outs, rc); },
      [&](int *rc) {
        BScstlgdbsp(1, 3, 4, 2, static_cast<int>(breaks.size()) - 1, breaks.data(), pieces.data(), 1.0,
                    corrected.data(), rc);
      },
  };
  for (int r = 0; r < 2; ++r) {
    int failed = 0, rc = 0;
    for (int at = 1;; ++at, ++failed) {
      BSallocfailat(at);
      runs[r](&rc);
      const bool fired = BSallocfailpending() == 0;
      BSallocfailat(0);
      EXPECT_EQ(BSscratchheapblocks(), 0) << at;
      if (!fired) break;
      EXPECT_TRUE(rc == 33 && (r == 0 ? out.cv.num_poles == 0 : corrected[0] == 7.0)) << r << " " << at;
    }
    EXPECT_TRUE(failed >= 1 && rc == 0);
  }
  BStraceclear();
}

}  // namespace
