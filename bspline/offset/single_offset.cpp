// The offset of one curve in its own plane: the plane normal and the side found from a side point, the curve
// carried into a frame whose z axis is that normal, offset there as a whole and carried back, and its loops cut
// out on request. A closed curve whose offset does not start on a plain stretch is re-started between its first
// self-intersections first, so that loop removal does not take the main loop for a loop.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"
#include "bspline/offset/whole_offset_internal.h"

namespace {

using bsoffset::copy_of;
using bsoffset::OwnedCurve;

constexpr int kPerpTol = 3;            // tolerance entry: a tangent perpendicular to the side vector
constexpr int kStartRoom = 10;         // start-point crossings kept on the stack, per kind
constexpr int kSelfParamsOnStack = 100;
const double kUnitScale = 1.0;
const BSboolean kRightHanded = BSTRUE;

bool finite3(const double *v) { return v && BSallfinite(3, v) != 0; }

// A new record of cv's order, pole count and rational flag; with extra room when it is to be clamped in place.
VOQbsp_curve *new_like(const VOQbsp_curve *cv, int extra_poles, int *rc) {
  VOQbsp_curve *out = nullptr;
  BSallocvoqcv(cv->order, cv->num_poles + extra_poles, cv->rational, 0, &out, rc);
  return *rc == 0 ? out : nullptr;
}

// A plain copy of cv, or (clamp) a copy with its ends clamped. Unclamped ends are clamped in a record with room
// for 2 (order - 1) more poles and knots, so that the clamping never writes past the copy.
void copy_curve(const VOQbsp_curve *cv, bool clamp, OwnedCurve *out, int *rc) {
  out->release();
  out->cv = copy_of(cv, clamp ? 2 * (cv->order - 1) : 0, false, rc);
  if (*rc == 0 && clamp) BScnvtomkt(rc, out->cv);
  if (*rc != 0) out->release();
}

// Cartesian pole i of cv.
void pole_at(const VOQbsp_curve *cv, int i, double p[3]) {
  const double w = cv->rational && cv->weights ? cv->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) p[c] = cv->poles[3 * i + c] / w;
}

// Point and first derivative of cv at u.
bool point_tangent(const VOQbsp_curve *cv, double u, double p[3], double t[3], int *rc) {
  double ev[6];
  BScveval_n(cv, u, 1, ev, rc);
  if (*rc != 0) return false;
  for (int c = 0; c < 3; ++c) p[c] = ev[c], t[c] = ev[3 + c];
  return true;
}

// q projected onto the plane through a with unit normal n (its foot on the normal line through a, taken back).
void onto_plane(const double a[3], const double n[3], const double q[3], double out[3], int *rc) {
  double foot[3];
  BSproj1(rc, a, n, q, foot);
  for (int c = 0; c < 3; ++c) out[c] = q[c] - (foot[c] - a[c]);
}

// The parameter at the other end of a closed curve when u lies exactly on one of its ends; false otherwise.
bool other_end(const VOQbsp_curve *cv, double u, double *v) {
  const double u0 = cv->knots[cv->order - 1], u1 = cv->knots[cv->num_poles];
  if (!cv->phy_closed || (u != u0 && u != u1)) return false;
  *v = u == u0 ? u1 : u0;
  return true;
}

// cv projected along normal onto the plane through the average of its poles, into out (arrays as large as cv's).
void project_flat(VOQbsp_curve *cv, const double normal[3], VOQbsp_curve *out, double avg[3], int *rc) {
  // The projection reads the weights pointer of a polynomial curve; it must not see a stale one.
  if (!cv->rational) cv->weights = nullptr;
  // The average of the Cartesian poles: the averaging refuses weights spread beyond a quarter of their mean,
  // which says nothing of where the plane lies. A weight that is not positive is refused as it was.
  BSscratch<300> room;
  const double *poles = cv->poles;
  if (cv->rational) {
    double *cartesian = room.take(3 * static_cast<std::size_t>(cv->num_poles));
    if (!cartesian) {
      *rc = BSRC_NO_SCRATCH;
      return;
    }
    for (int i = 0; i < cv->num_poles; ++i) {
      if (!(cv->weights[i] > 0)) {
        *rc = BSRC_DEGENERATE;
        return;
      }
      for (int c = 0; c < 3; ++c) cartesian[3 * i + c] = cv->poles[3 * i + c] / cv->weights[i];
    }
    poles = cartesian;
  }
  BSavgpts(rc, cv->num_poles, poles, nullptr, avg);
  double n[3] = {normal[0], normal[1], normal[2]}, dir[3] = {normal[0], normal[1], normal[2]};
  if (*rc == 0) BSprj_cv_pl(rc, cv, avg, n, dir, out);
}

// Whether no part of working lies nearer to q than dist (less the offset tolerance). False with rc set on failure.
bool keeps_distance(const VOQbsp_curve *working, const double q[3], double dist, int *rc) {
  double v = 0.0, foot[3], nearest = 0.0;
  BSmdstptcv(working, q, &v, foot, &nearest, rc);
  const double slack = std::fmax(BStoltab[bstol::dist_tol], BStoltab[bstol::offset_tol]);
  return *rc == 0 && nearest >= std::fabs(dist) - slack;
}

// The curve handed to loop removal: the offset itself, unless a closed base curve's offset starts inside a loop,
// where it is re-started on its outer stretch between two self-intersection parameters. False with rc set on
// failure.
bool needs_restart(const VOQbsp_curve *working, VOQbsp_curve *world, double dist, int *rc) {
  double p0[3], t0[3], q0[3], s0[3];
  if (!point_tangent(working, working->knots[working->order - 1], p0, t0, rc)) return false;
  if (!point_tangent(world, world->knots[world->order - 1], q0, s0, rc)) return false;
  if (!BSnorvec(rc, t0) || !BSnorvec(rc, s0)) return false;
  if (BSvdot(rc, t0, s0) < 0.0) return true;

  // The segment from the base's start to the offset's start meets the offset only at its own end when the
  // offset starts on the outer stretch.
  int n_int = 0;
  double P[9], w[3];
  if (!bsoffset::segment_crossings(p0, q0, world, &n_int, P, w, rc)) return false;
  const double u0 = world->knots[world->order - 1], u1 = world->knots[world->num_poles];
  const double tol = BStoltab[bstol::dist_tol];
  // The end parameters are compared exactly: the intersection puts a crossing at an end on the end itself.
  if (n_int == 2 && !(BSpdist(rc, P, P + 3) <= tol || (w[0] == u0 && w[1] == u1))) return true;
  if (n_int == 3 && !(BSpdist(rc, P + 3, P + 6) > tol && w[1] == u0 && w[2] == u1)) return true;
  // A start on a stretch that crosses a narrow part of the base (a spike thinner than twice the distance) passes
  // the segment test, yet lies nearer to the far side of that part than dist: it is inside a loop all the same.
  const bool keeps = keeps_distance(working, q0, dist, rc);
  return *rc == 0 && !keeps;
}

// Whether world at u lies on the outer stretch of the offset of working: it runs the way the base does there, the
// segment from the base point to it meets the offset at its own end only, and no part of the base lies nearer to
// it than dist. The last alone tells the tip of a small kink by a cusp of the offset, where the first two hold,
// from the outer stretch.
bool outside_at(const VOQbsp_curve *working, VOQbsp_curve *world, double dist, double u, int *rc) {
  double p[3], t[3], q[3], s[3];
  if (!point_tangent(working, u, p, t, rc) || !point_tangent(world, u, q, s, rc)) return false;
  if (!BSnorvec(rc, t) || !BSnorvec(rc, s) || BSvdot(rc, t, s) <= 0.0) return false;
  int n_int = 0;
  double P[9], w[3];
  if (!bsoffset::segment_crossings(p, q, world, &n_int, P, w, rc)) return false;
  const double tol = BStoltab[bstol::dist_tol];
  for (int i = 0; i < n_int; ++i)
    if (BSpdist(rc, P + 3 * i, q) > tol) return false;
  return *rc == 0 && keeps_distance(working, q, dist, rc);
}

// Whether every stretch of world between its m sorted self-intersection parameters, the one across the seam
// included, comes nearer to the base than dist at its middle: each is a loop, and nothing of the offset is left
// (a closed curve offset inwards past its inradius, its offset crossing itself). False with rc set on failure.
bool all_loop(const VOQbsp_curve *working, VOQbsp_curve *world, double dist, int m, const double *keys,
              const int *tags, int *rc) {
  const double u0 = world->knots[world->order - 1], u1 = world->knots[world->num_poles];
  for (int j = 0; j < m; ++j) {
    const double a = keys[tags[j]], b = j + 1 < m ? keys[tags[j + 1]] : keys[tags[0]] + (u1 - u0);
    double u = (a + b) * 0.5;
    if (u > u1) u -= u1 - u0;
    if (!(a < b) || !(u0 <= u && u <= u1)) continue;
    double p[3], t[3];
    if (!point_tangent(world, u, p, t, rc)) return false;
    const bool keeps = keeps_distance(working, p, dist, rc);
    if (*rc != 0 || keeps) return false;
  }
  return true;
}

// world re-started at the middle of the first gap between its self-intersection parameters that lies on its
// outer stretch (else of the two smallest) into *out; a copy when it does not meet itself (an offset reversed
// as a whole, inwards past the curve's inradius). rc BSRC_NO_JOIN when it meets itself and every gap is a loop.
void restart_closed(const VOQbsp_curve *working, VOQbsp_curve *world, double dist, OwnedCurve *out, int *rc) {
  int n_int = 0, n_over = 0;
  double *first = nullptr, *second = nullptr, *ofs = nullptr, *ofe = nullptr, *oss = nullptr, *ose = nullptr;
  BScv_slfint(rc, world, &n_int, &first, &second, &n_over, &ofs, &ofe, &oss, &ose);
  for (double *p : {ofs, ofe, oss, ose}) BSdbgfree(p);
  if (*rc == 0 && n_int < 1) copy_curve(world, false, out, rc);
  if (*rc == 0 && n_int >= 1) {
    const int m = 2 * n_int;
    double keys_local[kSelfParamsOnStack];
    int tags_local[kSelfParamsOnStack];
    double *keys = keys_local;
    int *tags = tags_local;
    if (m > kSelfParamsOnStack) {
      keys = static_cast<double *>(BSdbgmalloc(m * static_cast<int>(sizeof(double))));
      tags = static_cast<int *>(BSdbgmalloc(m * static_cast<int>(sizeof(int))));
      if (!keys || !tags) *rc = BSRC_NO_SCRATCH;
    }
    if (*rc == 0) {
      for (int i = 0; i < n_int; ++i) keys[2 * i] = first[i], keys[2 * i + 1] = second[i];
      BStagsort(rc, &m, keys, tags);
    }
    if (*rc == 0) {
      // The first gap between self-intersection parameters that lies on the outer stretch: the two first
      // parameters may belong to a small loop inside the loop the offset starts in (a kink by a cusp of the
      // offset), whose middle would start the curve inside that loop again.
      double u_mid = (keys[tags[0]] + keys[tags[1]]) * 0.5;
      bool outer = false;
      for (int j = 0; j + 1 < m && *rc == 0; ++j) {
        const double u = (keys[tags[j]] + keys[tags[j + 1]]) * 0.5;
        if (keys[tags[j]] < u && u < keys[tags[j + 1]] && outside_at(working, world, dist, u, rc)) {
          u_mid = u;
          outer = true;
          break;
        }
      }
      *rc = 0;
      // No outer stretch found: the fallback start is kept only where some stretch keeps the distance.
      if (!outer && all_loop(working, world, dist, m, keys, tags, rc)) *rc = BSRC_NO_JOIN;
      const int n = world->num_poles, k = world->order;
      // Room for both the two cut parts and the clamped re-start.
      const int room = std::max(2 * n - 1, n + k - 1);
      out->release();
      if (*rc == 0) out->cv = new_like(world, room - n, rc);
      const BSboolean same_direction = BSTRUE;
      if (*rc == 0) BSclcvshffl(rc, world, &u_mid, &same_direction, out->cv);
      if (*rc != 0) out->release();
    }
    if (keys != keys_local) BSdbgfree(keys);
    if (tags != tags_local) BSdbgfree(tags);
  }
  BSdbgfree(first);
  BSdbgfree(second);
}

// *g: how much farther from working than dist the point of cv at u lies (negative when nearer); with the point
// itself in q and the parameter of its foot on working in v when asked. False with rc set on failure.
bool shortfall_at(const VOQbsp_curve *working, const VOQbsp_curve *cv, double u, double dist, double *g, int *rc,
                  double q[3] = nullptr, double *v = nullptr) {
  double at[3], w = 0.0, foot[3], nearest = 0.0;
  if (!q) q = at;
  if (!v) v = &w;
  BScveval_n(cv, u, 0, q, rc);
  if (*rc == 0) BSmdstptcv(working, q, v, foot, &nearest, rc);
  *g = nearest - dist;
  return *rc == 0;
}

// Whether working, from parameter a to parameter b, stays within reach of q (samples 64 to a span). False with rc
// set on failure.
bool stays_within(const VOQbsp_curve *working, double a, double b, const double q[3], double reach, bool *within,
                  int *rc) {
  *within = true;
  const double lo = std::fmin(a, b), hi = std::fmax(a, b);
  const int k = working->order, n = working->num_poles;
  for (int s = k - 1; s < n && *within; ++s) {
    const double s0 = std::fmax(working->knots[s], lo), s1 = std::fmin(working->knots[s + 1], hi);
    for (int i = 0; i <= 64 && s1 > s0 && *within; ++i) {
      double p[3];
      BScveval_n(working, s0 + (s1 - s0) * i / 64, 0, p, rc);
      if (*rc != 0) return false;
      *within = std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]) <= reach;
    }
  }
  return true;
}

// Whether the shortfall of the deep point q, nearest to working at v, is the curve's own bending, which no far part
// explains: q lies on the offset's side of its foot (side: the normal that the tangent and the offset's side span),
// and the curve, walked from v either way, reaches the point q is the offset of (where q's distance is stationary at
// dist) before it leaves the disc of radius dist and twice the tolerance about q. Where it leaves first, that point
// lies on a far part of the curve, whose band explains the shortfall. Samples 64 to a span, a stationary point
// bisected. False with rc set on failure.
bool own_bending(const VOQbsp_curve *working, const double q[3], double v, double dist, const double side[3],
                 bool *own, int *rc) {
  *own = false;
  const double tol = BStoltab[bstol::offset_tol];
  const int k = working->order, n = working->num_poles;
  const double s0 = working->knots[k - 1], s1 = working->knots[n];
  double foot[3], t[3];
  if (!point_tangent(working, v, foot, t, rc)) return false;
  const double w[3] = {q[0] - foot[0], q[1] - foot[1], q[2] - foot[2]};
  const double x[3] = {t[1] * w[2] - t[2] * w[1], t[2] * w[0] - t[0] * w[2], t[0] * w[1] - t[1] * w[0]};
  if (x[0] * side[0] + x[1] * side[1] + x[2] * side[2] < 0) return true;
  // The point's distance from q and the slope's sign of the squared distance.
  auto at = [&](double u, double *r, double *f) {
    double p[3], t[3];
    if (!point_tangent(working, u, p, t, rc)) return false;
    const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
    *r = std::hypot(d[0], d[1], d[2]), *f = d[0] * t[0] + d[1] * t[1] + d[2] * t[2];
    return true;
  };
  for (const int dir : {1, -1}) {
    int s = k - 1;
    while (s + 1 < n && working->knots[s + 1] <= v) ++s;
    double prev = v, prev_f = 0.0, r = 0.0, f = 0.0;
    bool first = true;
    while (!*own) {
      const double a = working->knots[s], b = working->knots[s + 1], step = (b - a) / 64;
      double u = prev + dir * step;
      if (!(step > 0) || (dir > 0 ? u > b : u < a)) {
        // On into the next span, or done at the curve's end.
        if (dir > 0 ? s + 1 >= n : s <= k - 1) break;
        s += dir;
        continue;
      }
      if (dir > 0 ? u > s1 : u < s0) break;
      if (!at(u, &r, &f)) return false;
      if (r > dist + 2 * tol) break;
      if (!first && (f > 0) != (prev_f > 0)) {
        double lo = prev, hi = u, fl = prev_f;
        for (int it = 0; it < 60; ++it) {
          const double mid = 0.5 * (lo + hi);
          if (mid == lo || mid == hi) break;
          double rm = 0.0, fm = 0.0;
          if (!at(mid, &rm, &fm)) return false;
          ((fm > 0) == (fl > 0) ? lo : hi) = mid;
        }
        double rm = 0.0, fm = 0.0;
        if (!at(0.5 * (lo + hi), &rm, &fm)) return false;
        *own = std::fabs(rm - dist) <= 2 * tol;
      }
      first = false, prev = u, prev_f = f;
    }
    if (*own) break;
  }
  return true;
}

double gap3(const double a[3], const double b[3]) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

// Parameters of cv a quarter span apart, span by span from one end inwards (the end itself excluded).
class Walk {
 public:
  Walk(const VOQbsp_curve *cv, bool at_start) : cv_(cv), at_start_(at_start) {}
  bool next(double *u) {
    const int k = cv_->order, n = cv_->num_poles;
    while (step_ < n - k + 1) {
      const int s = at_start_ ? k - 1 + step_ : n - 1 - step_;
      const double a = cv_->knots[s], b = cv_->knots[s + 1];
      if (b > a && j_ < 4) {
        ++j_;
        *u = at_start_ ? a + (b - a) * j_ / 4 : b - (b - a) * j_ / 4;
        return true;
      }
      ++step_, j_ = 0;
    }
    return false;
  }

 private:
  const VOQbsp_curve *cv_;
  bool at_start_;
  int step_ = 0, j_ = 0;
};

// Whether cv, walked from one end inwards, turns back within an arc length of reach: a sample's tangent points
// against the one before it (a sharp cusp) or against the end's own (a cusp rounded off over several samples, as a
// tiny curve's offset makes it). Evaluations only. False with rc set on failure (*back then unset).
bool turns_back_near(const VOQbsp_curve *cv, bool at_start, double reach, bool *back, int *rc) {
  *back = false;
  auto dot = [](const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
  const int n = cv->num_poles;
  if (cv->order == 2 && !cv->rational) {
    // A polyline's legs are its tangents: no evaluation needed.
    // The leg that reaches past reach is looked at too, as the samples of a curve see the span past the last one.
    double t0[3] = {}, t[3] = {}, s[3], travelled = 0.0;
    bool first = true;
    for (int i = 0; i + 1 < n; ++i) {
      const double *a = cv->poles + 3 * (at_start ? i : n - 1 - i), *b = cv->poles + 3 * (at_start ? i + 1 : n - 2 - i);
      for (int c = 0; c < 3; ++c) s[c] = at_start ? b[c] - a[c] : a[c] - b[c];
      const double len = std::sqrt(dot(s, s));
      if (!(len > 0.0)) continue;
      if (first) std::memcpy(t0, s, sizeof t0), std::memcpy(t, s, sizeof t), first = false;
      if (dot(t, s) < 0.0 || dot(t0, s) < 0.0) return *back = true;
      if (travelled > reach) break;
      travelled += len;
      std::memcpy(t, s, sizeof t);
    }
    return true;
  }
  const double end = at_start ? cv->knots[cv->order - 1] : cv->knots[n];
  double p[3], t0[3], t[3], q[3], s[3], u = 0.0, travelled = 0.0;
  if (!point_tangent(cv, end, p, t0, rc)) return false;
  for (int c = 0; c < 3; ++c) t[c] = t0[c];
  Walk walk(cv, at_start);
  while (travelled <= reach && walk.next(&u)) {
    if (!point_tangent(cv, u, q, s, rc)) return false;
    if (dot(t, s) < 0.0 || dot(t0, s) < 0.0) return *back = true;
    travelled += gap3(p, q);
    for (int c = 0; c < 3; ++c) p[c] = q[c], t[c] = s[c];
  }
  return true;
}

// Where the offset cv of the open curve working, walked from one end inwards, first comes back to the distance
// after the stretch at that end that lies nearer to working than dist less the offset tolerance: *cut, or the end
// itself when there is no such stretch. That stretch is the open end of a loop that no crossing closes, so loop
// removal keeps it: the curve bends tighter than the distance near its end, and the offset turns back there (a
// cusp) and ends before it could cross its own way in. An offset that does not turn back within four times the
// distance of its end has no such stretch and costs a few evaluations; otherwise, three ways in:
// - the end lies deeper than the tolerance: the stretch starts there;
// - the end lies a little nearer than the distance (beyond a few dist_tol: the end point is the exact offset of
//   the curve's end) and the shortfall deepens steadily inwards past the tolerance (where it does not, it is the
//   offset's own noise, left as it is);
// - the end keeps the distance: a stub of the offset that keeps it leads into the loop, which starts where the
//   shortfall passes twice the tolerance within dist of the end: deeper than the offset's own noise.
// A stretch is cut only where it lies inside a loop of the curve's own bending: the curve from its end to the point
// nearest to the stretch's first deep point stays within twice the distance of that point (a loop point lies at
// the distance from its own foot, and the bend between the feet is shorter than the distance). Where it does not,
// two far parts of the curve come nearer than twice the distance (a hairpin narrower than that, whose legs meet
// far off), and the offset keeps what loop removal left of it, as inside the curve, unless a deep point further
// on, within the reach where the offset turns back, lies in a loop of the curve's own bending (own_bending): loop
// removal joined such a remnant on past a crossing, and the head cannot be kept without it. The cut lies where the
// shortfall comes back to half the tolerance; limit bounds the walk (the other end's cut). False with rc set on
// failure.
bool end_cut(const VOQbsp_curve *working, const VOQbsp_curve *cv, double dist, bool at_start, double limit,
             double *cut, int *rc) {
  const double end = at_start ? cv->knots[cv->order - 1] : cv->knots[cv->num_poles];
  const double noise = 10 * BStoltab[bstol::dist_tol], tol = BStoltab[bstol::offset_tol];
  *cut = end;
  bool back = false;
  if (!turns_back_near(cv, at_start, 4 * dist, &back, rc)) return false;
  if (!back) return true;
  const double base_end = at_start ? working->knots[working->order - 1] : working->knots[working->num_poles];
  // Whether the deep point q, nearest to working at v, lies inside a loop of the curve's own bending.
  auto local = [&](const double q[3], double v, bool *inside) {
    return stays_within(working, base_end, v, q, 2 * dist, inside, rc);
  };
  double g = 0.0, p[3], q[3], v = 0.0;
  if (!shortfall_at(working, cv, end, dist, &g, rc, p, &v)) return false;
  enum { kLead, kStub, kDeep } mode = g < -tol ? kDeep : g < -noise ? kStub : kLead;
  bool inside = true, judged = false;
  double u = end, prev_u = end, prev_g = g, travelled = 0.0;
  // The offset's side at the end, where the offset is the end's own.
  double side[3] = {};
  {
    double e[3], te[3], o[3];
    if (!point_tangent(working, base_end, e, te, rc)) return false;
    BScveval_n(cv, end, 0, o, rc);
    if (*rc != 0) return false;
    const double w[3] = {o[0] - e[0], o[1] - e[1], o[2] - e[2]};
    side[0] = te[1] * w[2] - te[2] * w[1], side[1] = te[2] * w[0] - te[0] * w[2], side[2] = te[0] * w[1] - te[1] * w[0];
  }
  // A stretch that starts in a far part's band is walked on: loop removal may have joined on, past a crossing, a
  // remnant inside a loop of the curve's own bending elsewhere, and then the whole stretch goes.
  auto judge = [&](const double at[3], double foot) {
    if (!judged) {
      judged = true;
      return local(at, foot, &inside);
    }
    return inside || own_bending(working, at, foot, dist, side, &inside, rc);
  };
  if (mode == kDeep && !judge(p, v)) return false;
  double last[3] = {p[0], p[1], p[2]}, far_walked = 0.0;
  Walk walk(cv, at_start);
  while (*rc == 0 && walk.next(&u)) {
    if (at_start ? u >= limit : u <= limit) return true;
    if (!shortfall_at(working, cv, u, dist, &g, rc, q, &v)) return false;
    if (mode == kLead) {
      travelled += gap3(p, q);
      for (int c = 0; c < 3; ++c) p[c] = q[c];
      if (g < -2 * tol) mode = kDeep;
      else if (travelled > dist) return true;
    } else if (mode == kStub) {
      if (!(g < prev_g) || !(g < -noise)) return true;
      if (g < -tol) mode = kDeep;
    }
    if (mode == kDeep && g < -tol && !judge(q, v)) return false;
    if (mode == kDeep && !inside) {
      // Within the reach where the offset turns back, as the remnant lies by the turn.
      far_walked += gap3(last, q);
      if (far_walked > 4 * dist) return true;
    }
    for (int c = 0; c < 3; ++c) last[c] = q[c];
    if (mode == kDeep && !(g < -tol)) {
      if (!inside) return true;
      // The offset leaves the loop between prev_u (deep) and u: bisected for half the tolerance.
      double in = prev_u, out = u;
      for (int it = 0; it < 60; ++it) {
        const double mid = 0.5 * (in + out);
        if (mid == in || mid == out) break;
        double gm = 0.0;
        if (!shortfall_at(working, cv, mid, dist, &gm, rc)) return false;
        (gm < -0.5 * tol ? in : out) = mid;
      }
      *cut = out;
      return true;
    }
    prev_u = u, prev_g = g;
  }
  // Nearer than the distance all the way: nothing is left to keep, and the offset stays as it is.
  return *rc == 0;
}

// Hands the removed pieces over: into the caller's array when it gave one, else the array itself.
void hand_over(int n, VOQbsp_curve **list, int *count, VOQbsp_curve ***pieces) {
  if (n > 0 && *pieces) {
    for (int i = 0; i < n; ++i) (*pieces)[i] = list[i];
    BSdbgfree(list);
  } else if (n > 0) {
    *pieces = list;
  }
  *count = n;
}

// Releases pieces that could not be handed over.
void release_list(int n, VOQbsp_curve **list) {
  for (int i = 0; i < n && list; ++i) {
    int ignored = 0;
    BSfreevoqcv(list[i], &ignored);
  }
  BSdbgfree(list);
}

// The offset and its loop pieces handed to the caller once everything else has succeeded (a shortfall of the
// passes reported then), or the pieces released.
void deliver(OwnedCurve *out, int n_loops, VOQbsp_curve **loops, bool passes_short, VOQbsp_curve **result,
             int *count, VOQbsp_curve ***pieces, int *rc) {
  if (*rc != 0) return release_list(n_loops, loops);
  *result = out->cv;
  out->cv = nullptr;
  hand_over(n_loops, loops, count, pieces);
  if (passes_short) *rc = BSRC_OFFSET_PASSES;
}

// The frame and the choices of one offset in its plane.
struct Plane {
  const double *origin, *frame;
  double dist;
  BSboolean corner;
  std::int16_t loop_mode;
  int direction;
};

// The offset of working (world coordinates; flat, the same curve in the plane's frame) carried back to the world
// and, on request, cleared of its loops into *out, the loops appended to the list. A code 5 is noted.
void offset_cleared(const Plane &pl, const VOQbsp_curve *working, const VOQbsp_curve *flat, OwnedCurve *out,
                    int *n_loops, VOQbsp_curve ***loops, bool *passes_short, int *rc) {
  OwnedCurve offset, world, chosen;
  const double up[3] = {0.0, 0.0, 1.0};
  BSxycvoff(flat, pl.dist, pl.corner, up, pl.direction, &offset.cv, rc);
  if (*rc == BSRC_OFFSET_PASSES) *passes_short = true, *rc = 0;
  if (*rc != 0) return;
  world.cv = new_like(offset.cv, 0, rc);
  if (*rc == 0) BScvntoo(rc, pl.origin, pl.frame, &kUnitScale, offset.cv, world.cv);
  if (*rc != 0) return;
  BSboolean degenerate = BSFALSE;
  BStstcvdegn(world.cv, &degenerate, rc);
  if (*rc != 0) return;
  const double dist = pl.dist;
  if ((pl.loop_mode == 1 || pl.loop_mode == 2) && !degenerate) {
    if (!working->phy_closed || dist <= BStoltab[bstol::dist_tol]) {
      copy_curve(world.cv, false, &chosen, rc);
    } else {
      const bool restart = needs_restart(working, world.cv, dist, rc);
      if (*rc == 0 && restart) restart_closed(working, world.cv, dist, &chosen, rc);
      else if (*rc == 0) copy_curve(world.cv, false, &chosen, rc);
    }
    if (*rc == 0) BSofrmlp3(chosen.cv, pl.loop_mode, n_loops, loops, &out->cv, rc);
    // An open curve's offset may end inside a loop that no crossing closes.
    if (*rc == 0 && !working->phy_closed) bsoffset::cut_open_ends(working, out, std::fabs(dist), rc);
  } else {
    copy_curve(world.cv, false, out, rc);
  }
  for (OwnedCurve *c : {&offset, &world, &chosen}) {
    const int code = c->release();
    if (*rc == 0) *rc = code;
  }
}

}  // namespace

void bsoffset::local_origin(const VOQbsp_curve *cv, double o[3]) {
  double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY}, p[3];
  for (int i = 0; i < cv->num_poles; ++i) {
    pole_at(cv, i, p);
    for (int c = 0; c < 3; ++c) lo[c] = std::fmin(lo[c], p[c]), hi[c] = std::fmax(hi[c], p[c]);
  }
  const double size = std::fmax(hi[0] - lo[0], std::fmax(hi[1] - lo[1], hi[2] - lo[2]));
  int e = 0;
  std::frexp(64 * size, &e);
  const double step = std::ldexp(1.0, e);
  for (int c = 0; c < 3; ++c) {
    const double at = step * std::nearbyint((lo[c] + hi[c]) / 2 / step);
    o[c] = size > 0 && std::isfinite(at) ? at : 0.0;
  }
}

bool bsoffset::cut_open_ends(const VOQbsp_curve *working, OwnedCurve *out, double dist, int *rc) {
  VOQbsp_curve *cv = out->cv;
  const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
  double head = a, tail = b;
  if (!end_cut(working, cv, dist, false, a, &tail, rc) || !end_cut(working, cv, dist, true, tail, &head, rc))
    return false;
  if (head == a && tail == b) return true;
  OwnedCurve kept;
  kept.cv = new_like(cv, 0, rc);
  const BSboolean no_planar_test = BSFALSE;
  if (*rc == 0 && !BSactivsplt(rc, cv, &head, &tail, kept.cv, &no_planar_test) && *rc == BSRC_OUT_OF_RANGE) {
    // The two cuts next to one point: nothing is left to keep, and the offset stays as it is.
    *rc = 0;
    return true;
  }
  if (*rc == 0) BSofrparcv(kept.cv, a, b, rc);
  if (*rc != 0) return false;
  kept.cv->phy_closed = 0;
  std::swap(out->cv, kept.cv);
  return true;
}

bool bsoffset::segment_crossings(const double p[3], const double q[3], VOQbsp_curve *cv, int *n, double pts[9],
                                 double on_cv[3], int *rc) {
  OwnedCurve line;
  BSallocvoqcv(2, 2, BSFALSE, 0, &line.cv, rc);
  if (*rc != 0) return false;
  int code = 0;
  if (!BSlngen(rc, p, q, line.cv, &code)) return false;
  double lpts[3 * kStartRoom], par1[kStartRoom], par2[kStartRoom];
  double opts[6 * kStartRoom], opar1[2 * kStartRoom], opar2[2 * kStartRoom];
  int n_over = 0;
  BSboolean int_alloc = BSFALSE, over_alloc = BSFALSE;
  Crossings own;
  *n = 0;
  BScvcvint(line.cv, cv, BSFALSE, kStartRoom, kStartRoom, lpts, par1, par2, opts, opar1, opar2, n, &n_over,
            &int_alloc, &over_alloc, &own.pts, &own.par1, &own.par2, &own.over_pts, &own.over1, &own.over2, rc);
  if (*rc != 0) return false;
  const double *P = int_alloc ? own.pts : lpts, *w = int_alloc ? own.par2 : par2;
  for (int i = 0; i < std::min(*n, 3); ++i) {
    for (int c = 0; c < 3; ++c) pts[3 * i + c] = P[3 * i + c];
    on_cv[i] = w[i];
  }
  return true;
}

void BSfndoffdir(VOQbsp_curve *curve, const double side[3], const double normal[3], int *direction,
                 double frame[9], int *rc) {
  *rc = 0;
  OwnedCurve flat;
  if (!curve || !side || !normal || !direction || !frame) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(curve)) == 0 && (!finite3(side) || !finite3(normal))) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  do {
    if (*rc != 0) break;
    double n[3] = {normal[0], normal[1], normal[2]}, a[3], s[3], p[3], t[3], v[3], u = 0, base[3], dist = 0;
    if (!BSnorvec(rc, n)) break;
    flat.cv = new_like(curve, 0, rc);
    if (*rc != 0) break;
    project_flat(curve, n, flat.cv, a, rc);
    if (*rc == 0) onto_plane(a, n, side, s, rc);
    if (*rc == 0) BSmdstptcv(flat.cv, side, &u, base, &dist, rc);
    if (*rc != 0 || !point_tangent(flat.cv, u, p, t, rc)) break;
    for (int c = 0; c < 3; ++c) v[c] = s[c] - p[c];
    if (!BSnorvec(rc, t) || !BSnorvec(rc, v)) break;
    const double d = BSvdot(rc, t, v);
    // At the seam of a closed curve the nearest point has two tangents: the one more across the side vector
    // decides.
    double other = 0;
    flat.cv->phy_closed = curve->phy_closed;
    if (std::fabs(d) > BStoltab[kPerpTol] && other_end(flat.cv, u, &other)) {
      double p2[3], t2[3], v2[3];
      if (!point_tangent(flat.cv, other, p2, t2, rc)) break;
      for (int c = 0; c < 3; ++c) v2[c] = s[c] - p2[c];
      if (!BSnorvec(rc, t2) || !BSnorvec(rc, v2)) break;
      if (BSvdot(rc, t2, v2) < std::fabs(d))
        for (int c = 0; c < 3; ++c) t[c] = t2[c], v[c] = v2[c];
    }
    double w[3];
    BSvcross(rc, v, t, w);
    if (!BSnorvec(rc, w)) break;
    const int dir = BSvdot(rc, w, n) > 0.0 ? 1 : -1;
    if (!BStrans2(n, &kRightHanded, frame, rc)) break;
    *direction = dir;
  } while (false);
  if (flat.release() != 0 && *rc == 0) *rc = -1;
  BSexit(rc, "BSfndoffdir", "bsfndoffdir");
}

void BSofnorm(VOQbsp_curve *curve, const double side[3], BSboolean use_given, const double given[3],
              BSboolean *flag, VOQbsp_curve **planar_curve, double normal[3], int *rc) {
  *rc = 0;
  OwnedCurve pc;
  if (!curve || !side || !flag || !planar_curve || !normal || (use_given && !given)) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(curve)) == 0 && (!finite3(side) || (use_given && !finite3(given)))) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  do {
    if (*rc != 0) break;
    copy_curve(curve, false, &pc, rc);
    BSboolean collinear = BSFALSE;
    if (*rc == 0) BSofchkln(pc.cv, &collinear, rc);
    if (*rc != 0) break;
    if (collinear) pc.cv->planar = BSFALSE;
    bool planar = pc.cv->planar != 0;
    double pn[3] = {0, 0, 0}, avg[3];
    if (planar) {
      if (!BScvnormal(rc, curve, pn)) break;
    } else if (!use_given && pc.cv->phy_closed && !collinear) {
      // A closed curve not flagged planar: its end poles coincide, so they and the side point span no plane.
      // Its poles must give one.
      BSboolean flat = BSFALSE;
      BStst_plan(curve->num_poles, curve->poles, curve->rational ? curve->weights : nullptr, &flat, pn, rc);
      if (*rc != 0) break;
      if (!flat) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      planar = true;
    }
    if (planar) {
      // The only change made to the caller's curve: a polynomial curve's weights pointer is cleared.
      const std::uint16_t closed = pc.cv->phy_closed;
      project_flat(curve, pn, pc.cv, avg, rc);
      if (*rc != 0) break;
      pc.cv->planar = BSTRUE, pc.cv->phy_closed = closed;
    }
    if (use_given) {
      for (int c = 0; c < 3; ++c) normal[c] = *flag ? given[c] : -given[c];
      BSnorvec(rc, normal);
      break;
    }
    *flag = BSTRUE;
    double u = 0, base[3], dist = 0, p[3], t[3];
    BSmdstptcv(pc.cv, side, &u, base, &dist, rc);
    if (*rc != 0 || !point_tangent(pc.cv, u, p, t, rc)) break;
    double nv[3];
    if (!planar) {
      double f[3], l[3], lf[3], sf[3];
      pole_at(pc.cv, 0, f);
      pole_at(pc.cv, pc.cv->num_poles - 1, l);
      for (int c = 0; c < 3; ++c) lf[c] = f[c] - l[c], sf[c] = side[c] - f[c];
      BSvcross(rc, lf, sf, nv);
    } else {
      if (!BSnorvec(rc, t)) break;
      double s[3], v[3];
      onto_plane(p, pn, side, s, rc);
      for (int c = 0; c < 3; ++c) v[c] = s[c] - p[c];
      if (!BSnorvec(rc, v)) break;
      const double d = BSvdot(rc, t, v);
      double other = 0;
      if (std::fabs(d) > BStoltab[kPerpTol] && other_end(pc.cv, u, &other)) {
        double p2[3], t2[3];
        if (!point_tangent(pc.cv, other, p2, t2, rc) || !BSnorvec(rc, t2)) break;
        if (BSvdot(rc, t2, v) < std::fabs(d))
          for (int c = 0; c < 3; ++c) t[c] = t2[c], p[c] = p2[c];
      }
      BSvcross(rc, v, t, nv);
    }
    if (!BSnorvec(rc, nv)) break;
    for (int c = 0; c < 3; ++c) normal[c] = nv[c];
  } while (false);
  if (*rc == 0) {
    *planar_curve = pc.cv;
    pc.cv = nullptr;
  }
  BSexit(rc, "BSofnorm", "bsofnorm");
}

void BScvoff3d(const VOQbsp_curve *curve, double dist, BSboolean corner_flag, std::int16_t loop_mode,
               BSboolean find_normal, const double side[3], double normal[3], BSboolean normal_given,
               int *direction, double frame[9], VOQbsp_curve **result, int *count, VOQbsp_curve ***pieces,
               int *rc) {
  *rc = 0;
  if (count) *count = 0;
  OwnedCurve copy, found, opened, local, out;
  int n_loops = 0;
  VOQbsp_curve **loops = nullptr;
  bool passes_short = false;
  if (!curve || !side || !normal || !direction || !frame || !result || !count || !pieces) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(curve)) == 0) {
    if (!std::isfinite(dist) || !finite3(side) || (normal_given && !finite3(normal)) ||
        (normal_given && (!BSallfinite(9, frame) || (*direction != 1 && *direction != -1))))
      *rc = BSRC_OUT_OF_RANGE;
  }
  do {
    if (*rc != 0) break;
    copy_curve(curve, true, &copy, rc);
    BSboolean collinear = BSFALSE;
    if (*rc == 0) BSofchkln(copy.cv, &collinear, rc);
    if (*rc != 0) break;
    const VOQbsp_curve *working = copy.cv;
    if (!find_normal) {
      if (!normal_given) *rc = BSRC_OUT_OF_RANGE;
    } else if (!copy.cv->planar && !collinear) {
      *rc = BSRC_OUT_OF_RANGE;
    } else if (!normal_given) {
      const double unused[3] = {0, 0, 0};
      BSboolean flag = BSFALSE;
      BSofnorm(copy.cv, side, BSFALSE, unused, &flag, &found.cv, normal, rc);
      if (*rc == 0) BSfndoffdir(found.cv, side, normal, direction, frame, rc);
      working = found.cv;
    }
    if (*rc != 0) break;

    // A closed curve that jumps has no closing corner where its ends meet, only an ordinary one: it is offset as
    // the open curve that runs from one side of a jump round to the other.
    const double lo = working->knots[working->order - 1], hi = working->knots[working->num_poles];
    auto windows = bswhole::stretches(working);
    if (windows.size() > 1 && working->phy_closed) {
      bswhole::open_at_jump(working, windows, &opened, rc);
      if (*rc != 0) break;
      working = opened.cv;
      windows = bswhole::stretches(working);
    }
    // The plane's frame is laid at the curve when the curve lies far from the origin.
    double here[3];
    bsoffset::local_origin(working, here);
    local.cv = new_like(working, 0, rc);
    if (*rc == 0) BScvoton(rc, here, frame, &kUnitScale, working, local.cv);
    if (*rc != 0) break;
    const Plane plane{here, frame, dist, corner_flag, loop_mode, *direction};
    if (windows.size() == 1) {
      offset_cleared(plane, working, local.cv, &out, &n_loops, &loops, &passes_short, rc);
      if (*rc != 0) break;
    } else {
      // Each stretch between the jumps is offset and cleared of its loops by itself: the curve does not run from
      // one to the next, so a crossing of their offsets closes no loop. A stretch that is a point has no offset.
      std::deque<OwnedCurve> parts;
      for (const bswhole::Window &w : windows) {
        const VOQbsp_curve base = bswhole::stretch_view(working, w), flat = bswhole::stretch_view(local.cv, w);
        const bool point = bswhole::flat_degenerate(&flat, rc);
        if (*rc != 0) break;
        if (point) continue;
        parts.emplace_back();
        offset_cleared(plane, &base, &flat, &parts.back(), &n_loops, &loops, &passes_short, rc);
        if (*rc != 0) break;
      }
      if (*rc == 0 && parts.empty()) *rc = BSRC_NO_JOIN;
      if (*rc == 0) bswhole::join_jumping(&parts, lo, hi, &out, rc);
      if (*rc != 0) break;
    }

    if (out.cv->num_poles == 2) {
      out.cv->planar = BSFALSE;
    } else {
      BSboolean planar = BSFALSE;
      double plane_normal[3];
      BStst_plan(out.cv->num_poles, out.cv->poles, out.cv->rational ? out.cv->weights : nullptr, &planar,
                 plane_normal, rc);
      if (*rc == 0) out.cv->planar = planar;
    }
  } while (false);
  for (OwnedCurve *c : {&copy, &found, &opened, &local}) {
    const int code = c->release();
    if (*rc == 0) *rc = code;
  }
  deliver(&out, n_loops, loops, passes_short, result, count, pieces, rc);
  BSexit(rc, "BScvoff3d", "bscvoff3d");
}

void BScvoffsetd(const VOQbsp_curve *curve, double dist, const double side[3], BSboolean normal_given,
                 int corner_mode, std::int16_t loop_mode, BSboolean *side_flag, const double normal[3],
                 VOQbsp_curve **result, int *count, VOQbsp_curve ***pieces, int *rc) {
  *rc = 0;
  if (count) *count = 0;
  OwnedCurve clamped, working, out;
  int n_loops = 0;
  VOQbsp_curve **loops = nullptr;
  int direction = 1;
  bool passes_short = false;
  if (!curve || !side || !side_flag || (normal_given && !normal) || !result || !count || !pieces) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(curve)) == 0 &&
             (!std::isfinite(dist) || !finite3(side) || (normal_given && !finite3(normal)))) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  if (*rc == 0 && !normal_given &&
      bsoffset::straight_offset(curve, dist, side, corner_mode, loop_mode, side_flag, result, count, rc)) {
    BSexit(rc, "BScvoffsetd", "bscvoffsetd");
    return;
  }
  do {
    if (*rc != 0) break;
    copy_curve(curve, true, &clamped, rc);
    if (*rc != 0) break;
    double wn[3], frame[9];
    if (normal_given) {
      for (int c = 0; c < 3; ++c) wn[c] = normal[c];
      BStrans2(wn, &kRightHanded, frame, rc);
      direction = *side_flag ? 1 : -1;
      if (*rc == 0) copy_curve(clamped.cv, false, &working, rc);
    } else {
      const double unused[3] = {0, 0, 0};
      BSboolean flag = BSFALSE;
      BSofnorm(clamped.cv, side, BSFALSE, unused, &flag, &working.cv, wn, rc);
      direction = flag ? 1 : -1;
      if (*rc == 0) BSfndoffdir(working.cv, side, wn, &direction, frame, rc);
    }
    if (*rc != 0) break;
    // The other side by the distance's size, so that the closing tests below see a positive distance.
    if (dist < 0.0) direction = -direction, dist = -dist;
    // The worker's outputs are held back until the releases below have succeeded too.
    BScvoff3d(working.cv, dist, corner_mode == 1 ? BSTRUE : BSFALSE, loop_mode, BSFALSE, side, wn, BSTRUE,
              &direction, frame, &out.cv, &n_loops, &loops, rc);
    if (*rc == BSRC_OFFSET_PASSES) passes_short = true, *rc = 0;
  } while (false);
  for (OwnedCurve *c : {&working, &clamped}) {
    const int code = c->release();
    if (*rc == 0) *rc = code;
  }
  if (*rc == 0 && !normal_given) *side_flag = direction == 1 ? BSTRUE : BSFALSE;
  deliver(&out, n_loops, loops, passes_short, result, count, pieces, rc);
  BSexit(rc, "BScvoffsetd", "bscvoffsetd");
}

BSboolean BScvoffset(int *rc, const VOQbsp_curve *curve, const double *dist, const double side[3],
                     const int *corner_mode, const std::int16_t *loop_mode, VOQbsp_curve **result, int *count,
                     VOQbsp_curve ***pieces) {
  *rc = 0;
  if (!dist || !corner_mode || !loop_mode) {
    *rc = BSRC_NULL_CURVE;
    if (count) *count = 0;
  } else {
    double normal[3] = {0, 0, 0}, frame[9] = {0};
    int direction = 1;
    BScvoff3d(curve, *dist, *corner_mode == 1 ? BSTRUE : BSFALSE, *loop_mode, BSTRUE, side, normal, BSFALSE,
              &direction, frame, result, count, pieces, rc);
  }
  BSexit(rc, "BScvoffset", "bscvoffset");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
