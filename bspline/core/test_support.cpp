// The switches only tests set, and their setters.
#include "bspline/core/test_support.h"

bstest::Switches bstest::switches;

namespace {
template <typename T>
T exchange(T &slot, T value) {
  const T old = slot;
  slot = value;
  return old;
}
}  // namespace

BSfaulthandler BSsetfaulthook(BSfaulthandler handler) { return exchange(bstest::switches.hook, handler); }

bool bstest::set_slow_roads(bool on) { return exchange(switches.slow_roads, on); }
bool bstest::set_global_feet(bool on) { return exchange(switches.global_feet, on); }
int bstest::set_first_slots(int first) { return exchange(switches.first_slots, first > 0 ? first : 0); }
int bstest::set_depth(int levels) { return exchange(switches.depth, levels > 0 ? levels : 0); }
std::size_t bstest::set_block_cap(std::size_t cap) { return exchange(switches.block_cap, cap); }
int bstest::set_sweeps(int sweeps) { return exchange(switches.sweeps, sweeps >= 0 ? sweeps : -1); }
std::int32_t bstest::set_line_mode(std::int32_t mode) { return exchange(switches.line_mode, mode); }
