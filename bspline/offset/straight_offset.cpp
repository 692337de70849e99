// The offset of an open polyline (an order-2 curve whose legs are all straight) on a road of its own. The general
// offset cuts the curve into pieces, offsets each as a smooth span, joins every pair through curve intersections,
// merges the growing chain leg by leg, and searches the whole offset for self-intersections: for a polyline all of
// that is a leg's end points moved across it and each corner joined from its two legs. The joins here take the
// general join's decisions (ends that already meet, the corner's kind, ends on one line with the corner, the mitre
// point), and the offset's crossings are sought by a sweep over its legs' boxes, so that only an offset that may
// cross itself goes to the general loop removal. Whatever the general path would treat otherwise or answer only to
// its tolerance (a short or doubled leg, a corner turning back or hardly turning, a shallow inner corner, offsets
// that miss each other, a side point two legs claim for different sides) is left to it.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::OwnedCurve;

constexpr int kAngleTol = 3;           // tolerance entry of the corner kind: 1 - |cos| below it is straight
constexpr double kMargin = 1e3;        // decisions this many tolerances from a threshold go the general way
constexpr double kFoldCosine = -0.98;  // corners turning back by more than about 170 degrees
constexpr double kShallowSine = 0.1;   // inner corners turning by less than about 6 degrees
constexpr double kSideSine = 1e-9;     // a side point this near a leg's line names no side of it by itself
constexpr double kTrimRoom = 1e-9;     // a trimmed leg keeps at least this part of its length at each end
// Points whose spread about their least-squares line reaches the distance tolerance (the shape test's limit, per
// point) are not on one line; a triangle of them higher than this many tolerances (times the root of the count)
// spreads far beyond that.
constexpr double kThin = 20;

struct P2 {
  double x, y;
};

double cross(P2 a, P2 b) { return a.x * b.y - a.y * b.x; }
double norm(P2 a) { return std::sqrt(a.x * a.x + a.y * a.y); }
P2 minus(P2 a, P2 b) { return {a.x - b.x, a.y - b.y}; }

// Point i of a pole array (x, y, z triples), in the plane.
P2 at(const double *poles, int i) { return {poles[3 * i], poles[3 * i + 1]}; }

// The unit direction of the leg from point i to point i + 1.
P2 unit_leg(const double *poles, int i) {
  const P2 d = minus(at(poles, i + 1), at(poles, i));
  const double len = norm(d);
  return {d.x / len, d.y / len};
}

// The nearest point to s of the leg from a to b, and its squared distance.
P2 foot_on(P2 a, P2 b, P2 s, double *far_sq) {
  const P2 d = minus(b, a);
  const double t = std::clamp(((s.x - a.x) * d.x + (s.y - a.y) * d.y) / (d.x * d.x + d.y * d.y), 0.0, 1.0);
  const P2 f{a.x + t * d.x, a.y + t * d.y}, v = minus(s, f);
  *far_sq = v.x * v.x + v.y * v.y;
  return f;
}

// The side of the polyline of n points the side point s names, from the legs nearest it: +1 right of their
// direction, -1 left, 0 when the nearest legs disagree or the point lies on a leg or on a nearest leg's line.
int side_of(const double *poles, int n, P2 s, double scale) {
  double best_sq = INFINITY, far_sq = 0;
  for (int i = 0; i + 1 < n; ++i) {
    foot_on(at(poles, i), at(poles, i + 1), s, &far_sq);
    best_sq = std::min(best_sq, far_sq);
  }
  const double tol = BStoltab[bstol::dist_tol], best = std::sqrt(best_sq);
  if (!(best > kMargin * tol)) return 0;
  const double reach = best + 10 * tol + 1e-9 * scale;
  int side = 0;
  for (int i = 0; i + 1 < n; ++i) {
    const P2 f = foot_on(at(poles, i), at(poles, i + 1), s, &far_sq);
    if (far_sq > reach * reach) continue;
    const P2 v = minus(s, f);
    const double c = cross(unit_leg(poles, i), v);
    if (!(std::fabs(c) > kSideSine * norm(v))) return 0;
    const int here = c < 0 ? 1 : -1;
    if (side != 0 && here != side) return 0;
    side = here;
  }
  return side;
}

// Whether the least height of the triangle a, b, c exceeds h: then no line passes within h / 2 of all three.
bool higher_than(P2 a, P2 b, P2 c, double h) {
  const P2 ab = minus(b, a), bc = minus(c, b), ca = minus(a, c);
  const double twice_area = std::fabs(cross(ab, minus(c, a)));
  const double longest_sq = std::max({ab.x * ab.x + ab.y * ab.y, bc.x * bc.x + bc.y * bc.y, ca.x * ca.x + ca.y * ca.y});
  return twice_area * twice_area > h * h * longest_sq;
}

// Whether the n level points spread so far off every line that the shape test cannot find them on one: some three
// neighbours make a triangle high enough.
bool spread(const double *poles, int n, double tol) {
  const double least = kThin * std::sqrt(static_cast<double>(n)) * tol;
  for (int i = 2; i < n; ++i)
    if (higher_than(at(poles, i - 2), at(poles, i - 1), at(poles, i), least)) return true;
  return false;
}

// Whether two legs of the offset polyline q of n points (not neighbours) come nearer than pad, found by sweeping
// the legs' boxes along x; such an offset may cross itself. The legs are taken in the order of their boxes' left
// sides, which is their own order on a polyline running along x.
bool may_cross(const double *q, int n, double pad) {
  const int segs = n - 1;
  auto lo = [&](int s, int c) { return std::min(q[3 * s + c], q[3 * s + 3 + c]) - pad; };
  auto hi = [&](int s, int c) { return std::max(q[3 * s + c], q[3 * s + 3 + c]) + pad; };
  bool sorted = true;
  for (int s = 1; s < segs && sorted; ++s) sorted = lo(s - 1, 0) <= lo(s, 0);
  std::vector<int> order;
  if (!sorted) {
    order.resize(static_cast<std::size_t>(segs));
    for (int s = 0; s < segs; ++s) order[s] = s;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return lo(a, 0) < lo(b, 0); });
  }
  auto nth = [&](int k) { return sorted ? k : order[k]; };
  // Two segments come within pad when they cross or an end of one lies within pad of the other.
  auto near_point = [&](P2 p, P2 a, P2 b) {
    double far_sq = 0;
    foot_on(a, b, p, &far_sq);
    return far_sq <= pad * pad;
  };
  auto meet = [&](int i, int j) {
    const P2 a = at(q, i), b = at(q, i + 1), c = at(q, j), d = at(q, j + 1);
    const double s1 = cross(minus(b, a), minus(c, a)), s2 = cross(minus(b, a), minus(d, a));
    const double s3 = cross(minus(d, c), minus(a, c)), s4 = cross(minus(d, c), minus(b, c));
    if (((s1 <= 0 && s2 >= 0) || (s1 >= 0 && s2 <= 0)) && ((s3 <= 0 && s4 >= 0) || (s3 >= 0 && s4 <= 0))) return true;
    return near_point(a, c, d) || near_point(b, c, d) || near_point(c, a, b) || near_point(d, a, b);
  };
  for (int x = 0; x < segs; ++x) {
    const int sx = nth(x);
    const double right = hi(sx, 0), bottom = lo(sx, 1), top = hi(sx, 1);
    for (int y = x + 1; y < segs; ++y) {
      const int sy = nth(y);
      if (lo(sy, 0) > right) break;
      const int i = std::min(sx, sy), j = std::max(sx, sy);
      if (j - i < 2 || lo(sy, 1) > top || bottom > hi(sy, 1)) continue;
      if (meet(i, j)) return true;
    }
  }
  return false;
}

// Parameter of x along the segment a -> b.
double along(P2 a, P2 b, P2 x) {
  const P2 d = minus(b, a);
  return ((x.x - a.x) * d.x + (x.y - a.y) * d.y) / (d.x * d.x + d.y * d.y);
}

// The offset polyline of the curve's n points into q (n triples at level z0): each leg moved by off_i, then every
// corner joined. Ends within dist_tol meet at their middle; an inner corner (the legs turn towards the offset)
// cuts both offsets back to their crossing, an outer one extends both to it. False where the general join would
// treat the corner otherwise.
bool join_legs(const double *poles, int n, int sd, double d, double z0, double *q, int *rc) {
  const double tol = BStoltab[bstol::dist_tol];
  auto offset_of = [&](P2 t) { return P2{sd * d * t.y, -sd * d * t.x}; };
  auto put = [&](int i, P2 p) { q[3 * i] = p.x, q[3 * i + 1] = p.y, q[3 * i + 2] = z0; };
  P2 ta = unit_leg(poles, 0), oa = offset_of(ta);
  P2 start{poles[0] + oa.x, poles[1] + oa.y};  // where the offset of the leg before the corner starts now
  put(0, start);
  for (int i = 1; i + 1 < n; ++i) {
    const P2 K = at(poles, i), tb = unit_leg(poles, i), ob = offset_of(tb);
    const P2 E{K.x + oa.x, K.y + oa.y}, S{K.x + ob.x, K.y + ob.y};
    const double gap = norm(minus(E, S));
    if (std::fabs(gap - tol) <= 1e-3 * tol) return false;
    P2 x;
    if (gap < tol) {
      x = {(E.x + S.x) / 2, (E.y + S.y) / 2};
    } else {
      const double c = ta.x * tb.x + ta.y * tb.y, turn = cross(ta, tb);
      if (1 - std::fabs(c) < kMargin * BStoltab[kAngleTol] || c < kFoldCosine) return false;
      // Away from straight and from a reversal the corner kind is the sign of the turn seen from the offset side.
      const bool inner = turn * sd <= 0;
      // The offset ends and the corner on one line (within dist_tol at the middle of their spread) would take the
      // square or straight join: only a triangle this thin can be.
      const double e3[3] = {E.x, E.y, 0}, k3[3] = {K.x, K.y, 0}, s3[3] = {S.x, S.y, 0};
      if (!higher_than(E, K, S, kThin * tol) && (BScollin(rc, e3, k3, s3) || *rc != 0)) {
        *rc = 0;
        return false;
      }
      if (std::fabs(turn) > kShallowSine) {
        const double t = cross(minus(S, E), tb) / turn;
        x = {E.x + t * ta.x, E.y + t * ta.y};
      } else if (inner) {
        // The general path finds an inner corner by intersecting the two offsets; where they meet at a shallow
        // angle its crossing is only as good as the distance tolerance allows, and an exact one would differ.
        return false;
      } else {
        // A shallow mitre is as ill-conditioned as it is long: made as the general join makes it.
        const double e1[3] = {E.x + ta.x, E.y + ta.y, 0}, s1[3] = {S.x - tb.x, S.y - tb.y, 0};
        double X[3];
        if (!BSxln(rc, e3, e1, s1, s3, X)) {
          *rc = 0;
          return false;
        }
        x = {X[0], X[1]};
      }
      if (inner) {
        // Both offsets must reach the crossing, and each keep a stretch of its own beyond its other cut.
        const P2 A{poles[3 * (i - 1)] + oa.x, poles[3 * (i - 1) + 1] + oa.y};
        const P2 B{poles[3 * (i + 1)] + ob.x, poles[3 * (i + 1) + 1] + ob.y};
        const double from = along(A, E, start), u = along(A, E, x), v = along(S, B, x);
        if (!(u > from + kTrimRoom && u < 1 - kTrimRoom && v > kTrimRoom && v < 1 - kTrimRoom)) return false;
      }
    }
    put(i, x);
    start = x, ta = tb, oa = ob;
  }
  put(n - 1, {poles[3 * (n - 1)] + oa.x, poles[3 * (n - 1) + 1] + oa.y});
  return true;
}

}  // namespace

bool bsoffset::straight_offset(const VOQbsp_curve *curve, double dist, const double side[3], int corner_mode,
                               std::int16_t loop_mode, BSboolean *side_flag, VOQbsp_curve **result, int *count,
                               int *rc) {
  const int n = curve->num_poles;
  if (curve->order != 2 || curve->rational || curve->periodic || n < 3 || n > (1 << 26) || corner_mode == 1 ||
      loop_mode < 0 || loop_mode > 2 || bstest::slow_roads())
    return false;
  const double *K = curve->knots, *poles = curve->poles;
  if (K[0] != K[1] || K[n] != K[n + 1]) return false;
  const double tol = BStoltab[bstol::dist_tol];
  if (!(std::fabs(dist) > kMargin * tol)) return false;
  const double z0 = poles[2];
  if (side[2] != z0) return false;
  double scale = std::fabs(side[0]) + std::fabs(side[1]);
  for (int i = 0; i < n; ++i) {
    const double *p = poles + 3 * i;
    if (p[2] != z0 || !std::isfinite(p[0]) || !std::isfinite(p[1])) return false;
    scale = std::max(scale, std::fabs(p[0]) + std::fabs(p[1]));
  }
  if (!(scale < 1e100)) return false;
  // Every leg a span of its own, long enough to have a direction and an offset of its own.
  double ktol = 0;
  int krc = 0;
  BScvkttol2(2, K, n, poles, nullptr, &ktol, &krc);
  if (krc != 0) return false;
  for (int i = 1; i < n; ++i)
    if (!(K[i + 1] - K[i] > kMargin * ktol)) return false;
  for (int i = 0; i + 1 < n; ++i) {
    const P2 leg = minus(at(poles, i + 1), at(poles, i));
    if (!(leg.x * leg.x + leg.y * leg.y > kMargin * kMargin * tol * tol)) return false;
  }
  // Open and not on one line: closed and collinear curves find their plane and side otherwise.
  const double ends = norm(minus(at(poles, n - 1), at(poles, 0)));
  if (!(ends > kMargin * tol)) return false;
  if (!spread(poles, n, tol)) {
    BSboolean collinear = BSFALSE;
    BScollinmn2(n, poles, nullptr, &collinear, &krc);
    if (krc != 0 || collinear) return false;
  }

  // The side: the side point's side of its nearest legs, then away from it for a negative distance. The
  // direction reported is the general path's, whose normal comes from those legs for a curve flagged planar and
  // from the chord between the ends for one that is not.
  const P2 s{side[0], side[1]};
  const int near = side_of(poles, n, s, scale);
  if (near == 0) return false;
  int dir = 1;
  if (!curve->planar) {
    const P2 chord = minus(at(poles, 0), at(poles, n - 1)), toward = minus(s, at(poles, 0));
    const double c = cross(chord, toward);
    if (!(std::fabs(c) > kSideSine * ends * norm(toward))) return false;
    // The chord's normal against the one the nearest legs give (v x t, up for a side point on their left).
    dir = (c > 0) == (near > 0) ? 1 : -1;
  }
  const int sd = dist < 0 ? -near : near;
  if (dist < 0) dir = -dir;

  // The offset polyline on the curve's own knots.
  OwnedCurve off, out;
  BSallocvoqcv(2, n, BSFALSE, 0, &off.cv, rc);
  if (*rc != 0) return true;
  VOQbsp_curve *o = off.cv;
  if (!join_legs(poles, n, sd, std::fabs(dist), z0, o->poles, rc)) return false;
  o->order = 2, o->periodic = 0, o->non_uniform = 1, o->num_poles = n, o->num_knots = n + 2, o->rational = 0;
  o->weights = nullptr, o->planar = 0, o->phy_closed = 0, o->num_boundaries = 0, o->bdrys = nullptr;
  std::memcpy(o->knots, K, sizeof(double) * static_cast<std::size_t>(n + 2));

  int n_loops = 0;
  VOQbsp_curve **loops = nullptr;
  bool cut = false;
  if (loop_mode != 0 && n > 3 && may_cross(o->poles, n, 10 * tol + 1e-12 * scale)) {
    // A loop: the general removal decides what is cut, from the very curve the general path would hand it.
    if (loop_mode == 1) return false;
    BSofrmlp3(off.cv, loop_mode, &n_loops, &loops, &out.cv, rc);
    cut = true;
  } else {
    std::swap(out.cv, off.cv);
  }
  // The general path's last step of loop removal: ends left inside a loop that no crossing closes are cut back.
  if (*rc == 0 && loop_mode != 0) {
    const VOQbsp_curve *whole = out.cv;
    cut_open_ends(curve, &out, std::fabs(dist), rc);
    cut = cut || out.cv != whole;
  }
  if (*rc == 0 && out.cv->num_poles == 2) {
    out.cv->planar = BSFALSE;
  } else if (*rc == 0 && !cut && spread(out.cv->poles, n, tol)) {
    out.cv->planar = BSTRUE;  // level, and spread off every line
  } else if (*rc == 0) {
    BSboolean planar = BSFALSE;
    double normal[3];
    BStst_plan(out.cv->num_poles, out.cv->poles, nullptr, &planar, normal, rc);
    if (*rc == 0) out.cv->planar = planar;
  }
  for (int i = 0; i < n_loops; ++i) {
    int ignored = 0;
    BSfreevoqcv(loops[i], &ignored);
  }
  BSdbgfree(loops);
  if (*rc == 0) {
    *result = out.cv, out.cv = nullptr;
    *count = 0;
    *side_flag = dir == 1 ? BSTRUE : BSFALSE;
  }
  return true;
}
