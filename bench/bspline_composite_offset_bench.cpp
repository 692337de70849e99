// The offset of a composite curve: random chains of 10, 100 and 1,000 lines and arcs, offset with sharp corners,
// ours beside OpenCASCADE's offset of the open wire and GEOS's mitred offset curve of the chain with every arc
// drawn by 64 chords. Each answer is checked against the exact offset before it is timed: none of it nearer the
// chain than the distance, none of the exact offset's legs missed (ours and OpenCASCADE's to 1e-12 of the chain's
// length, at least 1e-9; GEOS's within what its chords and its simplification of the input at 1% of the distance
// leave out).
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>

#include "bench/bench_checks.h"
#include "tests/bspline/oracle/peer_chains.h"

namespace {

using chains::Chain;

const double kD = 0.25;
const int kChords = 64;

const Chain &ChainOf(int n) {
  static std::map<int, std::unique_ptr<Chain>> made;
  auto &c = made[n];
  if (!c) {
    std::mt19937 rng(9112 + n);
    c = std::make_unique<Chain>(chains::random_chain(rng, n, true));
  }
  return *c;
}

// The chain's length, 1e-9 for short ones: the rounding of coordinates that far out.
double Slack(const Chain &c) { return std::max(1e-9, 1e-12 * c.path.elements.back().x1); }

double PathMiss(const Chain &c, const chains::Path &p) {
  if (p.elements.empty()) return INFINITY;
  return chains::exact_miss(c, kD, chains::samples_of(p), [&](double x, double y) { return p.distance(x, y); });
}

void BM_CompositeOffset_Ours(benchmark::State &state) {
  const Chain &c = ChainOf(static_cast<int>(state.range(0)));
  double err = INFINITY;
  {
    const chains::Ours first(c, BSTRUE, kD, 0);
    if (first.rc == 0)
      err = chains::exact_miss(c, kD, first.samples(), [&](double x, double y) { return first.distance(x, y); });
    state.counters["pieces"] = first.m;
  }
  TimeAfterCheck(state, err, Slack(c), [&] {
    const chains::Ours o(c, BSTRUE, kD, 0);
    benchmark::DoNotOptimize(o.m);
  }, "our offset strays from the exact one");
}

void BM_CompositeOffset_OcctMakeOffset(benchmark::State &state) {
  const Chain &c = ChainOf(static_cast<int>(state.range(0)));
  const chains::Path first = chains::occt_offset(c, kD, false);
  state.counters["pieces"] = static_cast<double>(first.elements.size());
  TimeAfterCheck(state, PathMiss(c, first), Slack(c),
                 [&] { benchmark::DoNotOptimize(chains::occt_offset(c, kD, false)); },
                 "OpenCASCADE's offset strays from the exact one");
}

// The chords of an arc of radius at most 4 sweeping at most 120 degrees, and their offsets, lie within
// 4.25 (1 - cos(pi / 3 / 64)) < 6e-4 of the arcs they stand for; GEOS's simplification adds 0.0025.
void BM_CompositeOffset_Geos(benchmark::State &state) {
  const Chain &c = ChainOf(static_cast<int>(state.range(0)));
  const std::unique_ptr<TestCurve> line = chains::corners(c, kChords);
  const chains::Path first = chains::geos_offset_path(c, kD, false, kChords);
  state.counters["pieces"] = static_cast<double>(first.elements.size());
  TimeAfterCheck(state, PathMiss(c, first), 3.1e-3, [&] { benchmark::DoNotOptimize(geos_offset(*line, -kD, false)); },
                 "GEOS strays from the exact offset");
}

}  // namespace

BENCHMARK(BM_CompositeOffset_Ours)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompositeOffset_OcctMakeOffset)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompositeOffset_Geos)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
