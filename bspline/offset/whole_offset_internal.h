// Pieces shared by the whole-curve offset, the pair join and the closing step; not for callers outside
// bspline/offset/.
#pragma once

#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/measure.h"
#include "bspline/offset/offset_internal.h"

namespace bswhole {

// The unit direction in which cv leaves its start (at_end false) or arrives at its end, in the xy plane. Where the
// end leg is no longer than dist_tol, the first pole step longer than that stands in for the derivative: within a
// tolerance the curve has no turn that short, and a hook of next to no length would read as a reversal and turn
// the corner the wrong way. A curve without such a step takes its first derivative, or its first pole step of
// some length. False with rc -6 when the curve has no direction at all in the plane.
inline bool end_direction(const VOQbsp_curve *cv, bool at_end, double point[3], double dir[3], int *rc) {
  double ev[6];
  const int k = cv->order, n = cv->num_poles;
  BScveval_n(cv, at_end ? cv->knots[n] : cv->knots[k - 1], 1, ev, rc);
  if (*rc != 0) return false;
  for (int c = 0; c < 3; ++c) point[c] = ev[c];
  // The step from the end pole to the pole `step` places in, pointing the way the curve runs.
  auto pole_step = [&](int step, double v[3]) {
    const int i = at_end ? n - 1 : 0, j = at_end ? n - 1 - step : step;
    const double wi = cv->rational ? cv->weights[i] : 1.0, wj = cv->rational ? cv->weights[j] : 1.0;
    const double sign = at_end ? 1.0 : -1.0;
    v[0] = sign * (cv->poles[3 * i] / wi - cv->poles[3 * j] / wj);
    v[1] = sign * (cv->poles[3 * i + 1] / wi - cv->poles[3 * j + 1] / wj);
    v[2] = 0.0;
    return std::hypot(v[0], v[1]);
  };
  double len = 0;
  // Steps longer than dist_tol first; a curve without any takes the first of some length.
  for (const double floor : {BStoltab[bstol::dist_tol], 0.0}) {
    if (n < 2 || pole_step(1, dir) > floor) {
      dir[0] = ev[3], dir[1] = ev[4], dir[2] = 0.0;
      len = std::hypot(dir[0], dir[1]);
    }
    for (int step = 2; !(len > 0) && step < n; ++step)
      if (pole_step(step, dir) > floor) len = std::hypot(dir[0], dir[1]);
    if (len > 0) break;
  }
  if (!(len > 0) || !std::isfinite(len)) {
    *rc = BSRC_NULL_VECTOR;
    return false;
  }
  dir[0] /= len, dir[1] /= len;
  return true;
}

// A fresh record holding a copy of cv (no boundaries); NULL with rc set on failure.
inline VOQbsp_curve *copy_of(const VOQbsp_curve *cv, int *rc) {
  VOQbsp_curve *c = nullptr;
  BSallocvoqcv(cv->order, cv->num_poles, cv->rational, 0, &c, rc);
  if (*rc == 0 && !BScv_copy(rc, cv, c)) {
    if (*rc == 0) *rc = -1;
    int ignored = 0;
    BSfreevoqcv(c, &ignored);
    c = nullptr;
  }
  return c;
}

// A new straight line of order 2 from p to q over [a, b] into *out (not rational, not closed, no boundaries).
inline void line_curve(const double p[3], const double q[3], double a, double b, VOQbsp_curve **out, int *rc) {
  BSallocvoqcv(2, 2, BSFALSE, 0, out, rc);
  if (*rc != 0) return;
  VOQbsp_curve *l = *out;
  l->order = 2, l->periodic = 0, l->non_uniform = 1, l->num_poles = 2, l->num_knots = 4, l->rational = 0;
  l->weights = nullptr, l->planar = 0, l->phy_closed = 0, l->num_boundaries = 0, l->bdrys = nullptr;
  for (int i = 0; i < 3; ++i) l->poles[i] = p[i], l->poles[3 + i] = q[i];
  l->knots[0] = l->knots[1] = a, l->knots[2] = l->knots[3] = b;
}

// First and last pole of cv moved onto their common midpoint (Cartesian, each weighted again by its own weight).
inline void close_end_poles(VOQbsp_curve *cv) {
  const int n = cv->num_poles;
  const double w0 = cv->rational ? cv->weights[0] : 1.0, w1 = cv->rational ? cv->weights[n - 1] : 1.0;
  for (int c = 0; c < 3; ++c) {
    const double mid = (cv->poles[c] / w0 + cv->poles[3 * (n - 1) + c] / w1) / 2;
    cv->poles[c] = mid * w0;
    cv->poles[3 * (n - 1) + c] = mid * w1;
  }
}

// Whether cv is degenerate once its poles are laid into the plane z = 0 (cv itself is only read).
inline bool flat_degenerate(const VOQbsp_curve *cv, int *rc) {
  BSscratch<300> store;
  double *p = store.take(3 * static_cast<std::size_t>(cv->num_poles));
  if (!p) {
    *rc = BSRC_NO_SCRATCH;
    return false;
  }
  std::memcpy(p, cv->poles, sizeof(double) * 3 * static_cast<std::size_t>(cv->num_poles));
  for (int i = 0; i < cv->num_poles; ++i) p[3 * i + 2] = 0.0;
  VOQbsp_curve flat = *cv;
  flat.poles = p;
  BSboolean degenerate = BSFALSE;
  BStstcvdegn(&flat, &degenerate, rc);
  return *rc == 0 && degenerate;
}

// An interior knot of a clamped curve repeated the order's number of times or more: its first index and its count.
// The curve jumps there from pole first - 1 to pole first + count - order (the poles between are used by no span);
// meets when those two poles are one point in the plane within dist_tol, where the curve only turns a corner.
struct Run {
  int first, count;
  bool meets;
};
std::vector<Run> full_knots(const VOQbsp_curve *cv);

// A stretch of a clamped curve between two of its jumps: its poles [from, to) and its knots [from, to + order).
struct Window {
  int from, to;
};
// The stretches of cv between its jumps whose sides do not meet, in order: one, the whole curve, where it has none.
std::vector<Window> stretches(const VOQbsp_curve *cv);
// Stretch w of cv as an open curve of its own, a view onto cv's arrays.
VOQbsp_curve stretch_view(const VOQbsp_curve *cv, const Window &w);
// The closed curve cv, whose stretches w are more than one, as the open curve that starts after its first jump and
// runs round through its closing point to end before that jump, into *out. The first stretch goes on from the last
// one's end pole, its weights scaled by one factor (which keeps its shape) to take up that pole's weight.
void open_at_jump(const VOQbsp_curve *cv, const std::vector<Window> &w, bsoffset::OwnedCurve *out, int *rc);
// The curves of parts (clamped), taken over in order, each laid onto the range of its own length after the one
// before, the first from lo and the last to hi, and joined end to start with a knot of full multiplicity
// between them: a curve that jumps where one part ends and the next begins, into *out.
void join_jumping(std::deque<bsoffset::OwnedCurve> *parts, double lo, double hi, bsoffset::OwnedCurve *out,
                  int *rc);

// BS2cvsoffpg told whether A is the first piece of an open curve (a_starts) and B its last (b_ends): a piece at
// such an end whose offset the extension reduces to a point ends the offset at that point.
void pair_offset(const VOQbsp_curve *A, const VOQbsp_curve *B, int mode, double dist, std::int16_t corner, int side,
                 const double normal[3], bool a_starts, bool b_ends, std::int16_t *trim_flag, double trim_point[3],
                 VOQbsp_curve **offA, VOQbsp_curve **offB, std::int16_t *arc_flag, VOQbsp_curve **arc, int *status,
                 int *rc);

// The offset built so far and the parameter at which it ends. append takes the piece over, puts it onto [a, b]
// and merges it on: corner joins are combined as they are (combine), offsets and lines merged, which orients and
// clamps them. The chain stays an open curve until a closing step; finish gives it the planar flag that its last
// join would have, and must be called before the chain is taken.
// With defer, a piece that runs on from the chain's end as it lies (clamped where they meet) waits with the others
// and all are merged on at once, half by half, where the chain is finished or a piece needs it turned or clamped:
// merged one by one, every piece after the first of another order than two would copy the whole chain again.
struct OffsetChain {
  bsoffset::OwnedCurve acc;
  double end = 0;
  bool defer = false;
  OffsetChain() = default;
  OffsetChain(const OffsetChain &) = delete;
  OffsetChain &operator=(const OffsetChain &) = delete;
  ~OffsetChain();
  void append(VOQbsp_curve **piece, double a, double b, bool combine, int *rc);
  void finish(int *rc);
  // The chain's first and last poles, the waiting pieces' included.
  void end_poles(double first[3], double last[3]) const;

 private:
  std::vector<VOQbsp_curve *> parts;  // the pieces waiting to be merged onto acc, in order
  bool runs_on(const VOQbsp_curve *piece) const;
  bool runs_on_turned(const VOQbsp_curve *piece) const;
  void flush(int *rc);
  // Two points of the chain far enough apart that it is no degenerate curve; every later chain runs through them.
  bool extent_known = false, plane_pending = false;
  double extent[2][3] = {{0, 0, 0}, {0, 0, 0}};
  int room = 0;  // poles that acc's record holds room for when it grew in place; 0 for a record of its own size
  void note_extent();
};

}  // namespace bswhole
