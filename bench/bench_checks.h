// What the native benchmarks share: a contender's answer checked before it is timed.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>

// Times `run` when its first answer lies within `slack` of `expected`; else the benchmark fails with `wrong`.
// The distance is kept as the counter "error".
inline void TimeChecked(benchmark::State& state, double expected, double slack,
                        const std::function<double()>& run, const char* wrong) {
  const double first = run();
  if (!(std::fabs(first - expected) <= slack)) {
    state.SkipWithError(wrong);
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(run());
  state.counters["error"] = std::fabs(first - expected);
}

// Times `run` when `error`, the check of the contender's answer made beforehand, is within `slack`; else the
// benchmark fails with `wrong`. The error is kept as the counter "error".
inline void TimeAfterCheck(benchmark::State& state, double error, double slack, const std::function<void()>& run,
                           const char* wrong) {
  state.counters["error"] = error;
  if (!(error <= slack)) return state.SkipWithError(wrong);
  for (auto _ : state) run();
}
