// Offsets of a chain of ordinary components in which a leg gives way: the offset of a leg shorter than its
// neighbours leave room for is swallowed by theirs, and joined corner by corner the pieces about it would be
// bridged past it, nearer to the chain than the distance. Here the offset is made whole and then cleared: every
// leg's offset, and every corner curve, mitre or connecting line the corner joins make where the chain turns away
// from the offset side, is kept only where it stays clear of every leg by that leg's distance; what is kept is
// followed from one kept stretch to the next where they meet. The legs are the components, a polyline's legs
// each on its own. An offset that passes round an open chain's end within the distance of it follows the end's
// cap there; of an open chain's offset, what runs from its start or to its end is kept, and what else keeps clear
// lies apart from it, about a chain that crosses itself.
// Laid out by stage (clearance_internal.h): setup, cuts, links and assembly, each in a file of its own, with the
// plane geometry apart; here the records they share and the driver.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "bspline/conics.h"
#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/offset.h"
#include "bspline/offset/clearance_internal.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset {

namespace clearance {

void release(VOQbsp_curve *&cv) {
  if (!cv) return;
  int ignored = 0;
  BSfreevoqcv(cv, &ignored);
  cv = nullptr;
}

// A copy of cv at z = 0.
VOQbsp_curve *flat_copy(const VOQbsp_curve *cv, int *rc) {
  VOQbsp_curve *c = copy_of(cv, 0, false, rc);
  if (c)
    for (int i = 0; i < c->num_poles; ++i) c->poles[3 * i + 2] = 0.0;
  return c;
}

// Whether every pole of cv lies within the distance tolerance of its first (flat): a piece that a corner join left one
// point (swallowed whole by its neighbour on a tiny chain) is only where the others meet, and keeps nothing.
bool on_one_point(const VOQbsp_curve *cv) {
  double p0[3], p[3];
  pole_point(cv, 0, p0);
  for (int i = 1; i < cv->num_poles; ++i) {
    pole_point(cv, i, p);
    if (!(flat_gap(p, p0) <= BStoltab[bstol::dist_tol])) return false;
  }
  return true;
}

// The part of cv between u and v (u < v) as a new record; a copy when that is all of it. A part shorter than its
// parameters' tolerances is one point and has no curve: nullptr with rc 0 and *point set.
VOQbsp_curve *part_curve(const VOQbsp_curve *cv, double u, double v, bool *point, int *rc) {
  *point = false;
  if (u <= start_of(cv) && v >= end_of(cv)) return copy_of(cv, 0, false, rc);
  VOQbsp_curve *out = nullptr;
  BSallocvoqcv(cv->order, cv->num_poles + 2 * cv->order, cv->rational, 0, &out, rc);
  if (*rc != 0) return nullptr;
  const BSboolean no = BSFALSE;
  if (!bsknots::active_split(rc, cv, &u, &v, out, &no, false, point) && *rc == 0 && !*point)
    *rc = BSRC_OUT_OF_RANGE;
  if (*rc != 0 || *point) release(out);
  return out;
}

// The 2-pole line from p to q at their own heights, as a new record.
VOQbsp_curve *segment(const double p[3], const double q[3], int *rc) {
  VOQbsp_curve *c = nullptr;
  BSallocvoqcv(2, 2, BSFALSE, 0, &c, rc);
  if (*rc != 0) return nullptr;
  c->order = 2, c->num_poles = 2, c->num_knots = 4, c->rational = BSFALSE, c->periodic = 0, c->non_uniform = 0;
  c->planar = BSTRUE, c->phy_closed = BSFALSE, c->num_boundaries = 0;
  const double knots[4] = {0, 0, 1, 1};
  for (int k = 0; k < 4; ++k) c->knots[k] = knots[k];
  for (int k = 0; k < 3; ++k) c->poles[k] = p[k], c->poles[3 + k] = q[k];
  return c;
}

// The box of a curve's poles in the plane.
void pole_box(const VOQbsp_curve *cv, double lo[2], double hi[2]) {
  lo[0] = lo[1] = INFINITY, hi[0] = hi[1] = -INFINITY;
  double p[3];
  for (int i = 0; i < cv->num_poles; ++i) {
    pole_point(cv, i, p);
    for (int e = 0; e < 2; ++e) lo[e] = std::min(lo[e], p[e]), hi[e] = std::max(hi[e], p[e]);
  }
}

}  // namespace clearance

using namespace clearance;

bool corner_kind(const VOQbsp_curve *a, const VOQbsp_curve *b, const double normal[3], int side, int *kind,
                 int *rc) {
  double P[3], T1[3], S[3], T2[3];
  if (!flat_end(a, true, P, T1, rc) || !flat_end(b, false, S, T2, rc)) return false;
  if (!BSnorvec(rc, T1) || !BSnorvec(rc, T2)) return false;
  double Q1[3], Q3[3];
  for (int c = 0; c < 3; ++c) Q1[c] = P[c] - T1[c], Q3[c] = P[c] + T2[c];
  int s = side;
  return BSzigzag(rc, Q1, P, Q3, normal, &s, kind) != 0;
}

bool offset_past_centre(const VOQbsp_curve *cv, double dist, int side, const double normal[3], int *rc) {
  if (!cv->rational || cv->order < 3) return false;
  // No radius is shorter than half the chord.
  double a[3], b[3];
  BScveval_n(cv, start_of(cv), 0, a, rc);
  if (*rc == 0) BScveval_n(cv, end_of(cv), 0, b, rc);
  if (*rc != 0 || 2 * dist < flat_gap(a, b) * (1 - 1e-9)) return false;
  double centre[3], radius = 0;
  if (circular_arc(cv, centre, &radius, rc) == 0 || *rc != 0) return false;
  double P[3], T[3];
  if (!flat_end(cv, false, P, T, rc)) return false;
  // The offset direction side (T x normal) against the way to the centre.
  const double n[2] = {side * (T[1] * normal[2]), side * (-T[0] * normal[2])};
  const bool inwards = n[0] * (centre[0] - P[0]) + n[1] * (centre[1] - P[1]) > 0;
  return inwards && dist >= radius - BStoltab[bstol::dist_tol];
}

bool clear_offset(const LegChain &c, int room, int *m, VOQbsp_curve **out, int *tags, double *odist, int *rc) {
  *m = 0;
  Run r(c);
  if (!r.cl.split(rc) || !find_corners(r, rc) || !find_give_way(r, rc)) return true;
  if (!r.gives_way && !c.tucked) return false;
  if (r.a == 0) {
    *rc = BSRC_NO_JOIN;
    return true;
  }
  if (!make_shapes(r, rc) || !join_corners(r, rc)) return true;
  lay_stretches(r);
  if (!cap_ends(r, rc) || !keep_all(r, rc) || !mend_dips(r, rc) || !link_kept(r, rc) || !meet_cuts(r, rc) ||
      !follow_runs(r, rc))
    return true;
  hand_out(r, room, m, out, tags, odist, rc);
  return true;
}

}  // namespace bsoffset
