// Rational curves with weights spread from 1e-3 to 1e3 on every road that tests the shape of their poles (curve
// pairs, self-intersection, single-curve and whole-curve offsets): each answers, and its answers pass the checks
// that the same roads' polynomial oracles pass beside OpenCASCADE, SISL and GEOS.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bspline/knots.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/intersect/crossing_checks.h"
#include "tests/bspline/oracle/offset/offset_checks.h"

namespace {

// How the weights of a curve of n poles run: a ramp from 1e-3 at the first pole to 1e3 at the last, log-uniform
// at random in [1e-3, 1e3], or 1e-3 and 1e3 in turn.
enum class Weights { kRamp, kRandom, kAlternate };

std::vector<double> MakeWeights(Weights kind, int n, std::mt19937 &rng) {
  std::uniform_real_distribution<double> log_w(std::log(1e-3), std::log(1e3));
  std::vector<double> w(n);
  for (int i = 0; i < n; ++i)
    w[i] = kind == Weights::kRamp     ? 1e-3 * std::pow(1e6, n > 1 ? double(i) / (n - 1) : 0.0)
           : kind == Weights::kRandom ? std::exp(log_w(rng))
                                      : (i % 2 ? 1e3 : 1e-3);
  return w;
}

// Where a row's curves lie: their points scaled about the origin, then moved.
struct Place {
  double scale = 1, x = 0, y = 0;
};

// c's poles, placed, and knots with the weights w.
std::unique_ptr<TestCurve> Weighted(const TestCurve &c, const std::vector<double> &w, const Place &at) {
  std::vector<double> poles;
  for (int i = 0; i < c.n(); ++i)
    poles.insert(poles.end(), {at.scale * c.pole(i, 0) + at.x, at.scale * c.pole(i, 1) + at.y, at.scale * c.pole(i, 2)});
  return std::make_unique<TestCurve>(c.order(), poles, c.knots, w);
}

// A clamped plane cubic of n poles on the knots 0 .. n - 3, its legs of length `step` turning by at most `turn`
// radians from one to the next.
std::unique_ptr<TestCurve> TurningCubic(std::mt19937 &rng, int n, double step, double turn) {
  std::uniform_real_distribution<double> bend(-turn, turn);
  std::vector<double> p, knots(4, 0.0);
  double angle = 0, x = 0, y = 0;
  for (int i = 0; i < n; ++i) {
    p.insert(p.end(), {x, y, 0.0});
    angle += bend(rng);
    x += step * std::cos(angle), y += step * std::sin(angle);
  }
  for (int i = 1; i <= n - 4; ++i) knots.push_back(i);
  knots.insert(knots.end(), 4, n - 3);
  return std::make_unique<TestCurve>(4, p, knots);
}

// An offset row's curve: the cubic with weights of the row's kind, and the distance to offset it by, the
// polynomial oracles' `d`. Random weights pull the curve into near-corners, where the exact offset has cusps that
// no approximation follows within the tolerance: they are drawn again until the least radius of curvature is
// 0.05 at least, and the distance is kept below 0.4 of it.
std::unique_ptr<TestCurve> OffsetBase(const TestCurve &cubic, Weights kind, const Place &at, std::mt19937 &rng,
                                      double *d) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    auto c = Weighted(cubic, MakeWeights(kind, cubic.n(), rng), at);
    if (kind != Weights::kRandom) return c;
    const double least = offsets_oracle::LeastRadius(cvpairs::Occt(*c));
    if (least < 0.05) continue;
    *d = std::fmin(*d, 0.4 * least);
    return c;
  }
  return nullptr;
}

enum class Road { kPairs, kSelfLoops, kSelfPolylines, kSingleOffset, kWholeOffset };

struct Row {
  const char *what;
  Road road;
  Weights weights;
  int mode;  // the loop mode of a single-curve offset, the corner code of a whole-curve one
  unsigned seed;
  Place at = {};
};

// The pairs' peers need finer tolerances than the defaults, which coordinates far from the origin do not hold;
// the offsets' tolerance is a distance, which a small curve does not scale; and random weights pull a small curve
// into hairpins narrower than dist_tol, which meet themselves for us and not for the peers.
const Row kRows[] = {
    {"pairs, random weights", Road::kPairs, Weights::kRandom, 0, 83},
    {"looping cubics, weights ramped", Road::kSelfLoops, Weights::kRamp, 0, 2024},
    {"looping cubics, random weights", Road::kSelfLoops, Weights::kRandom, 0, 2025},
    {"small looping cubics, weights ramped", Road::kSelfLoops, Weights::kRamp, 0, 2028, {1e-2, 0, 0}},
    {"polylines, random weights", Road::kSelfPolylines, Weights::kRandom, 0, 2026},
    {"polylines, weights in turn", Road::kSelfPolylines, Weights::kAlternate, 0, 2027},
    {"polylines far out, weights in turn", Road::kSelfPolylines, Weights::kAlternate, 0, 2029, {1, 1e6, -3e6}},
    {"single offset, loops kept, weights ramped", Road::kSingleOffset, Weights::kRamp, 0, 9101},
    {"single offset, loops removed, weights ramped", Road::kSingleOffset, Weights::kRamp, 1, 9102},
    {"single offset, loops kept, random weights", Road::kSingleOffset, Weights::kRandom, 0, 9103},
    {"single offset, loops removed, random weights", Road::kSingleOffset, Weights::kRandom, 1, 9104},
    {"single offset far out, loops removed, weights ramped", Road::kSingleOffset, Weights::kRamp, 1, 9105,
     {1, -2e6, 5e5}},
    {"whole offset, mitred corners, weights ramped", Road::kWholeOffset, Weights::kRamp, 0, 8903},
    {"whole offset, round corners, random weights", Road::kWholeOffset, Weights::kRandom, 1, 8904},
    {"whole offset far out, round corners, random weights", Road::kWholeOffset, Weights::kRandom, 1, 8905,
     {1, 3e5, 1e7}},
};

// One row; a fatal failure ends the row alone.
void RunRow(const Row &row) {
  std::mt19937 rng(row.seed);
  switch (row.road) {
    case Road::kPairs: {
      // The peers' precision needs finer tolerances than the defaults, as in the polynomial pairs' oracle.
      const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
      crossings::PairTally t;
      int rational = 0;
      const bool fatal_before = ::testing::Test::HasFatalFailure();
      for (cvpairs::Pair &q : cvpairs::MakePairs(row.seed, 60, 2, 6, 30, 1e3)) {
        rational += q.a->cv.rational + q.b->cv.rational;
        crossings::CheckPair(q, &t, "");
        if (!fatal_before && ::testing::Test::HasFatalFailure()) return;
      }
      EXPECT_LE(t.worst_point, 1e-7);
      EXPECT_LE(t.worst_eval, 1e-7);
      EXPECT_LE(t.worst_touch, 1e-4);
      EXPECT_GT(t.crossings, 100);
      EXPECT_GT(rational, 30);
      break;
    }
    case Road::kSelfLoops:
    case Road::kSelfPolylines: {
      const bool polyline = row.road == Road::kSelfPolylines;
      GEOSContextHandle_t ctx = GEOS_init_r();
      int compared = 0, total = 0;
      for (int trial = 0; trial < 16; ++trial) {
        const auto base = polyline ? loops::RandomPolyline(rng, 6 + trial % 9)
                                   : loops::LoopingCubic(rng, 3 + trial % 5, 40, 1.6 + 0.1 * (trial % 7));
        auto c = Weighted(*base, MakeWeights(row.weights, base->n(), rng), row.at);
        int found = 0;
        if (!crossings::CheckSelf(*c, polyline, ctx, &found, std::to_string(trial))) continue;
        ++compared;
        total += found;
      }
      GEOS_finish_r(ctx);
      EXPECT_GE(compared, 10);
      EXPECT_GE(total, 20);
      break;
    }
    case Road::kSingleOffset: {
      for (int trial = 0; trial < 4; ++trial) {
        double d = 0.4 + 0.3 * (trial % 3);
        auto c = OffsetBase(*TurningCubic(rng, 5 + trial % 4, 2, 0.6), row.weights, row.at, rng, &d);
        ASSERT_NE(c, nullptr);
        c->cv.planar = 1;
        for (double sign : {1.0, -1.0})
          offsets_oracle::CheckSingleOffset(*c, d, sign, row.mode, 2e-3,
                                            std::to_string(trial) + " side " + std::to_string(sign));
      }
      break;
    }
    case Road::kWholeOffset: {
      const double tol = BStoltab[bstol::offset_tol];
      for (int trial = 0; trial < 4; ++trial) {
        double d = 0.3;
        auto c = OffsetBase(*TurningCubic(rng, 5 + trial % 4, 1, 0.5), row.weights, row.at, rng, &d);
        ASSERT_NE(c, nullptr);
        // The knots raised to corner knots: pieces that meet without corners.
        VOQbsp_curve *cut = nullptr;
        int rc = 0;
        BSallocvoqcv(4, c->n(), 1, 0, &cut, &rc);
        BScv_copy(&rc, &c->cv, cut);
        for (int i = 1; i <= c->n() - 4 && rc == 0; ++i) BSadd_1kt_tot(cut, i, 3, BSFALSE, &cut, &rc);
        ASSERT_EQ(rc, 0);
        for (int side : {1, -1})
          offsets_oracle::CheckWholeOffset(*c, cut, side, static_cast<std::int16_t>(row.mode), d, 2 * tol,
                                           std::to_string(trial));
        BSfreevoqcv(cut, &rc);
      }
      break;
    }
  }
}

TEST(UnevenWeightsOracle, EveryRoadAnswersAndAgreesWithThePeers) {
  for (const Row &row : kRows) {
    SCOPED_TRACE(row.what);
    RunRow(row);
  }
}

}  // namespace
