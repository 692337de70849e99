// What the fill benchmarks add to bench/bench_checks.h: contenders whose largest size is measured fewer times than
// the run asks, for a size at which a peer takes many seconds a call. The report says how many times.
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

}  // namespace bench
