// What the native benchmarks share: the sizes a run measures, names that say what is compared, and each
// contender's answer checked once before it is timed.
//
// A benchmark is named "<family>/<row>/<contender>/<size>_<unit>". The report (bench/report.py, written by
// tools/bench.sh) takes every contender whose name starts with "ours" as ours and every other contender of the same
// family, row and size as a peer, and reads each family's description from the run's context. A contender whose
// answer fails its check is not timed: its benchmark fails with the reason, and the report shows it failed.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// The sizes of a family that this run measures: all of them; with STYLESRV_BENCH_SIZES=small all but the largest
// (the quick mode of tools/bench.sh), with =smallest the smallest alone (CTest's brief run under the sanitizers).
inline std::vector<int> Sizes(std::initializer_list<int> all) {
  std::vector<int> sizes(all);
  const char *which = std::getenv("STYLESRV_BENCH_SIZES");
  if (which && std::strcmp(which, "smallest") == 0) {
    sizes.resize(1);
  } else if (which && std::strcmp(which, "small") == 0 && sizes.size() > 1) {
    sizes.pop_back();
  }
  return sizes;
}

// What make() builds for key: built at the first call, shared afterwards (one store per call site, since each
// lambda has its own type).
template <class Key, class Make>
auto Once(const Key &key, Make make) {
  static std::map<Key, decltype(make())> made;
  auto &p = made[key];
  if (!p) p = make();
  return p;
}

// Newton steps on the squared distance from p to an OpenCASCADE curve from its parameter u, kept in [a, b]: the
// foot that polishes a sampled search.
template <class Point, class Vector, class Curve>
double NewtonFoot(const Curve &cv, const Point &p, double u, double a, double b) {
  for (int it = 0; it < 8; ++it) {
    Point c;
    Vector d1, d2;
    cv.D2(u, c, d1, d2);
    const Vector r(p, c);
    const double g = r.Dot(d1), h = d1.Dot(d1) + r.Dot(d2);
    if (!(h > 0)) break;
    u = std::clamp(u - g / h, a, b);
  }
  return u;
}

// A contender made ready at one size: the call that is timed and the check of its answer, made beforehand.
struct Ready {
  std::function<void()> call;
  std::function<void()> untimed;  // when set, run before each call outside the timing (restoring an input the
                                  // contender overwrites)
  double error = 0;     // how far the checked answer lies from the reference
  std::string failure;  // why the answer failed its check; empty when it passed
  std::map<std::string, double> counters;
};

inline std::string Number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", x);
  return text;
}

// Failed before any timing, for `why`.
inline Ready Failed(const std::string &why) {
  Ready r;
  r.error = INFINITY;
  r.failure = why;
  return r;
}

// Ready to time `call`, its answer having passed a check that has no distance to report.
inline Ready Passed(std::function<void()> call) {
  Ready r;
  r.call = std::move(call);
  return r;
}

// Ready to time `call` when `error` is within `slack`; else failed with `wrong` and the error found.
inline Ready Checked(double error, double slack, std::function<void()> call, const std::string &wrong) {
  Ready r;
  r.error = error;
  if (error <= slack) {
    r.call = std::move(call);
  } else {
    r.failure = wrong + " (" + Number(error) + " where " + Number(slack) + " is allowed)";
  }
  return r;
}

// Runs `run` once and checks its value against `expected` within `slack`; the timed call runs it again.
inline Ready CheckedValue(double expected, double slack, std::function<double()> run, const std::string &wrong) {
  const double first = run();
  const double error = std::isnan(first) ? INFINITY : std::fabs(first - expected);
  return Checked(error, slack, [run] { benchmark::DoNotOptimize(run()); }, wrong);
}

// The family's description in the report: what is measured, what the size counts, how answers are checked.
inline void Describe(const std::string &family, const std::string &text) {
  benchmark::AddCustomContext("family:" + family, text);
}

// Registers one contender at one size: make(size) builds what it needs and checks its answer, once, untimed (the
// later repetitions reuse it); the benchmark then times the call alone, or fails with the check's reason.
inline benchmark::internal::Benchmark *ContenderAt(const std::string &family, const std::string &row,
                                                   const std::string &contender, int size, const std::string &unit,
                                                   std::function<Ready(int)> make, benchmark::TimeUnit time_unit) {
  const std::string name = family + "/" + row + "/" + contender + "/" + std::to_string(size) + "_" + unit;
  auto ready = std::make_shared<std::unique_ptr<Ready>>();
  return benchmark::RegisterBenchmark(name.c_str(), [ready, make, size](benchmark::State &state) {
           if (!*ready) *ready = std::make_unique<Ready>(make(size));
           const Ready &r = **ready;
           state.counters["error"] = r.error;
           for (const auto &[key, value] : r.counters) state.counters[key] = value;
           if (!r.failure.empty()) return state.SkipWithError(r.failure.c_str());
           for (auto _ : state) {
             if (r.untimed) {
               state.PauseTiming();
               r.untimed();
               state.ResumeTiming();
             }
             r.call();
           }
         })
      ->Unit(time_unit);
}

// ContenderAt at each size.
inline void Contender(const std::string &family, const std::string &row, const std::string &contender,
                      const std::vector<int> &sizes, const std::string &unit, std::function<Ready(int)> make,
                      benchmark::TimeUnit time_unit = benchmark::kMillisecond) {
  for (const int size : sizes) ContenderAt(family, row, contender, size, unit, make, time_unit);
}

}  // namespace bench
