// What the fill benchmarks add to bench/bench_checks.h: contenders whose largest size is measured fewer times than
// the run asks, for a size at which a peer takes many seconds a call (the report says how many times); and a call
// that cycles through several inputs of one size.
#pragma once

#include "bench/bench_checks.h"

namespace bench {

// As Contender, but the sizes from `from` on are measured `repetitions` times each.
inline void ContenderFewerFrom(const std::string &family, const std::string &row, const std::string &contender,
                               const std::vector<int> &sizes, const std::string &unit, std::function<Ready(int)> make,
                               benchmark::TimeUnit time_unit, int from, int repetitions) {
  std::vector<int> usual, fewer;
  for (const int size : sizes) (size < from ? usual : fewer).push_back(size);
  Contender(family, row, contender, usual, unit, make, time_unit);
  for (const int size : fewer)
    ContenderAt(family, row, contender, size, unit, make, time_unit)->Repetitions(repetitions);
}

// Ready to time `call` on `count` inputs in turn, one a call, each input's answer checked beforehand: error(i)
// within slack(i). One small input timed over and over is learnt by the processor's branch predictor, as a
// caller's inputs are not; a time is then one input's, on average. The error reported is the worst; the first
// input that fails its check fails the whole.
inline Ready CheckedCycle(std::size_t count, const std::function<double(std::size_t)> &error,
                          const std::function<double(std::size_t)> &slack, std::function<void(std::size_t)> call,
                          const std::string &wrong) {
  Ready r;
  for (std::size_t i = 0; i < count; ++i) {
    const double e = error(i), s = slack(i);
    if (!(e <= s)) {
      return Checked(e, s, {}, wrong + " on input " + std::to_string(i + 1) + " of " + std::to_string(count));
    }
    r.error = std::max(r.error, e);
  }
  auto next = std::make_shared<std::size_t>(0);
  r.call = [count, call = std::move(call), next] {
    call(*next);
    if (++*next == count) *next = 0;
  };
  return r;
}

}  // namespace bench
