// For tests only: every switch of the library that a test may set, and the only functions that set them.
//
// The library reads these values on its roads and never writes one; nothing outside the tests (the geometry
// layer, the product, the benchmarks, the answer comparison) sets one either. They are process-wide, so a test
// sets them through the setters or guards below and puts them back before it ends: a switch left set changes the
// road, and possibly the answers, of every test after it. At their initial values every routine takes the road it
// takes in use.
//
// What is not here is the library's own state, read and written by the routines themselves: the error trace, the
// tolerance table, the knot-tolerance mode (BSkttolmode), the rotation routine's kept cosine and sine, the polygon
// intersector's kept spans.
#pragma once

#include <cstddef>
#include <cstdint>

// The fault hook: every routine passes its lower-case name on exit, with its rc (NULL for routines without one).
// A handler may change *rc to force a failure; the trace sees the changed code. The hook only listens: whether the
// routines take their shortcuts is the slow-roads switch's business alone. A shortcut leaves out the exits of the
// work it skips (its callees', and in places its own), so a handler that must see every name sets slow_roads too.
using BSfaulthandler = void (*)(const char *lname, int *rc);

namespace bstest {

struct Switches {
  BSfaulthandler hook = nullptr;
  // Every shortcut off: each routine takes its general road, through every callee and its exit, so that a test
  // can compare a shortcut's answer with the general road's or see every name a routine is made of.
  bool slow_roads = false;
  // The span-end check finds every foot by the global search, without the closed-form feet or the far-span test.
  bool global_feet = false;
  // Slots of the first pass of the Legendre span distance search (0: its own count, 8 (n + 1)).
  int first_slots = 0;
  // Subdivision depth limit of the Bezier span point distance (0: its own limit, 50; more than 50 is 50 too).
  int depth = 0;
  // Cap of the Bezier form of the point-curve distance, in doubles (0: its own cap, 1,000,000).
  std::size_t block_cap = 0;
  // Cap on the sweeps of the bidiagonal singular values in all (negative: their own cap, 50 k).
  int sweeps = -1;
  // Line-intersection mode word of the line-string intersectors (BSlineintmode reads it): 1 stores a batch of
  // exactly two results as one overlap piece and tests end points first; 0 stores every result as a point.
  std::int32_t line_mode = 1;
};

// The values in force. Read by the library; written only by the functions and guards below.
extern Switches switches;

inline bool slow_roads() { return switches.slow_roads; }

// Each setter answers the previous value.
bool set_slow_roads(bool on);
bool set_global_feet(bool on);
int set_first_slots(int first);                  // non-positive: 0
int set_depth(int levels);                       // non-positive: 0
std::size_t set_block_cap(std::size_t cap);
int set_sweeps(int sweeps);                      // negative: -1
std::int32_t set_line_mode(std::int32_t mode);

// Puts every switch (the hook included) back as it found them when it goes out of scope.
class Restore {
 public:
  Restore() : saved_(switches) {}
  ~Restore() { switches = saved_; }
  Restore(const Restore &) = delete;
  Restore &operator=(const Restore &) = delete;

 private:
  Switches saved_;
};

// The shortcuts on (false) or off (true) while it lives.
class SlowRoads {
 public:
  explicit SlowRoads(bool on = true) : before_(set_slow_roads(on)) {}
  ~SlowRoads() { set_slow_roads(before_); }
  SlowRoads(const SlowRoads &) = delete;
  SlowRoads &operator=(const SlowRoads &) = delete;

 private:
  bool before_;
};

}  // namespace bstest

// Installs a handler (NULL: back to the no-op); returns the previous one.
BSfaulthandler BSsetfaulthook(BSfaulthandler handler);
// Whether a handler is installed.
inline bool BSfaulthooked() { return bstest::switches.hook != nullptr; }

// Heap failure injection: the n-th heap request from now (1 = the next) of BSdbgmalloc, BSdbgcalloc, BSdbgralloc
// and the scratch heap fails; 0 switches the injection off. BSallocfailpending: requests left before it (0: none
// armed). The countdown is the allocator's, which counts it down.
void BSallocfailat(int n);
int BSallocfailpending();

// Empties the error trace.
void BStraceclear();
