// The offset of one smooth piece: the offset control polygon, checked against the true offset at the nodes and
// between them, refined by a knot in the middle of every failing span until the check passes. Only failing spans
// gain knots, and only the points of failing spans and of their neighbours are checked again, so smooth stretches
// stay as coarse as the input.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::OwnedCurve;

constexpr double kHalfTurn = 3.14159265358979323846;
// Offset tolerances by which the offset may stray between its test points before a look there makes a test point.
constexpr double kProbeStray = 1.5;
// The spread of a Bezier part's weights beyond which its offset is looked at wherever it runs.
constexpr double kUneven = 4.0;

// A heap array sized to the first count asked of it, then at least doubled on each growth, so that growth stays rare
// over the passes. Sizing every array far above its need made the temporaries of one call add up past the heap's
// trim threshold, so that each call grew the heap and gave it back again.
template <typename T>
struct Grown {
  T *p = nullptr;
  int cap = 0;
  Grown() = default;
  Grown(const Grown &) = delete;
  Grown &operator=(const Grown &) = delete;
  ~Grown() { BSdbgfree(p); }
  bool ensure(int need) {
    if (need <= cap) return true;
    const long long most = 0x7fffffffLL / static_cast<long long>(sizeof(T));
    if (need > most) return false;
    const long long n = std::min(std::max(static_cast<long long>(need), 2LL * cap), most);
    const long long bytes = n * static_cast<long long>(sizeof(T));
    T *q = static_cast<T *>(BSdbgralloc(p, static_cast<int>(bytes)));
    if (!q) return false;
    p = q;
    cap = static_cast<int>(n);
    return true;
  }
};

// The offset point of the evaluation (point, point + unit tangent) into target, z = 0.
bool offset_point(const double *ev, const double normal[3], int side, double dist, double *target, int *rc) {
  double t[3] = {ev[3] - ev[0], ev[4] - ev[1], 0.0}, n[3];
  if (!BSvcross(rc, t, normal, n) || !BSnorvec(rc, n)) return false;
  for (int k = 0; k < 2; ++k) target[k] = ev[k] + side * dist * n[k];
  target[2] = 0.0;
  return true;
}

// Targets of the count parameters: W evaluated with unit tangents into ev (6 each), offset into targets.
bool make_targets(const VOQbsp_curve *W, const double *params, int count, double *ev, const double normal[3],
                  int side, double dist, double *targets, int *rc) {
  if (count == 0) return true;
  BScvarrevt(W, params, count, 1.0, ev, rc);
  for (int i = 0; i < count && *rc == 0; ++i) offset_point(ev + 6 * i, normal, side, dist, targets + 3 * i, rc);
  return *rc == 0;
}

// *out replaced by a fresh copy of W holding the offset polygon of every span.
void offset_polygon(const VOQbsp_curve *W, double dist, const double normal[3], int side, bool realloc,
                    VOQbsp_curve **out, int *rc) {
  if (realloc) {
    BSfreevoqcv(*out, rc);
    *out = nullptr;
    if (*rc == 0) BSallocvoqcv(W->order, W->num_poles, W->rational, 0, out, rc);
    if (*rc != 0) return;
  }
  BScv_copy(rc, W, *out);
  bsoffset::set_polygon(W, dist, normal, side, *out, rc);
}

// The arc case: the exact offset of a planar rational arc of order 4 or more, or nothing (done false).
void offset_arc(const VOQbsp_curve *W, double dist, const double normal[3], int side, bool fits,
                VOQbsp_curve **out, bool *done, int *rc) {
  *done = false;
  OwnedCurve arc;
  BSallocvoqcv(3, 7, BSTRUE, 0, &arc.cv, rc);
  std::uint16_t is_arc = 0;
  double centre[3], radius = 0;
  if (*rc == 0) BStstcvfarc(W, &is_arc, centre, &radius, arc.cv, rc);
  // A whole circle has no three distinct points to rebuild it from: it takes the general road.
  if (*rc != 0 || is_arc != 1) return;
  *done = true;
  const double w0 = W->weights[0], w1 = W->weights[1];
  double a[3], b[3], m[3];
  for (int k = 0; k < 3; ++k) {
    a[k] = W->poles[3 + k] / w1 - W->poles[k] / w0;
    b[k] = centre[k] - W->poles[k] / w0;
  }
  if (!BSvcross(rc, a, normal, m)) return;
  const double inwards = side * (b[0] * m[0] + b[1] * m[1] + b[2] * m[2]);
  if (std::fabs(radius - dist) < BStoltab[bstol::dist_tol] && inwards > 0) {
    if (!fits) {
      BSfreevoqcv(*out, rc);
      *out = nullptr;
      if (*rc == 0) BSallocvoqcv(W->order, W->order, W->rational, 0, out, rc);
      if (*rc != 0) return;
    }
    BSptcvgen(centre, W->order, W->rational, *out, rc);
    return;
  }
  const double lo = W->knots[W->order - 1], hi = W->knots[W->num_poles];
  const double params[3] = {lo, (lo + hi) / 2, hi};
  double ev[18], q[9];
  BScvarrevt(W, params, 3, 1.0, ev, rc);
  for (int i = 0; i < 3 && *rc == 0; ++i) {
    if (!offset_point(ev + 6 * i, normal, side, dist, q + 3 * i, rc)) break;
    q[3 * i + 2] = ev[6 * i + 2];
  }
  // The arc goes into the arc record and is raised into a new *out of the size it needs.
  if (*rc == 0) BSarc3pts(rc, q, q + 3, q + 6, arc.cv);
  if (*rc == 0) BSupthedeg(arc.cv, static_cast<std::int16_t>(W->order - 1), BSFALSE, out, rc);
}

// The parameters of u (count, ascending, inside the range) with points added, ascending, into out (room for
// count + 4 per span: a span gains at most its two ends and the middles between them and its points): nodes and midpoints are spaced by the longer spans about them and can pass over a short
// span between long ones, or test it at one point, its offset free to stray near its ends unseen. Every span is
// covered as a span of even knots is by its ends and middle: no point of it farther than a quarter of it (share)
// from a tested one, the range's ends counting as tested (the offset polygon holds them exactly). Where a point
// lies farther, the farthest point of the gap is tested too. Answers the count written.
int cover_spans(const VOQbsp_curve *w, const double *u, int count, double *out, double share = 0.25) {
  const int k = w->order, n = w->num_poles;
  const double hi = w->knots[n];
  int written = 0, i = 0;
  double prev = w->knots[k - 1];
  for (int s = k - 1; s < n; ++s) {
    const double a = w->knots[s], b = w->knots[s + 1], reach = share * (b - a) * (1 + 1e-9);
    for (;;) {
      const double next = i < count ? u[i] : hi;
      if (b > a) {
        const double c = std::fmin(std::fmax((prev + next) / 2, a), b);
        if (std::fmin(c - prev, next - c) > reach) {
          out[written++] = prev = c;
          continue;
        }
      }
      if (i >= count || next > b) break;
      out[written++] = prev = next;
      ++i;
    }
  }
  return written;
}

// Whether the offset turns back on itself at u, a knot of w where the curvature jumps: on one side the curve turns
// towards the offset about a point nearer than the distance, on the other it does not. The offset's tip there is a
// spike of no width that the two sides reach along one line, and it lies nearer the curve beside the knot than the
// distance: loop removal cuts it, and no offset polygon reaches it, however finely the spans about the knot are
// refined. signed_dist: the distance to the right of the curve's way in the plane.
bool reverses_at_knot(const VOQbsp_curve *w, double u, double signed_dist, int *rc) {
  const int two = 2;
  BSboolean two_sided = BSFALSE;
  double left[9], right[9];
  if (!BScveval_b(rc, w, &u, &two, nullptr, &two_sided, left, right) || !two_sided) return false;
  // The offset's speed along the curve's way, times the curve's speed cubed: |v|^3 (1 + signed_dist curvature).
  auto along = [&](const double *e) {
    const double sq = e[3] * e[3] + e[4] * e[4];
    return sq * std::sqrt(sq) + signed_dist * (e[3] * e[7] - e[4] * e[6]);
  };
  return along(left) * along(right) < 0;
}

// The cosine of the angle between the in-plane directions of the unit tangents of two evaluations (6 each), or 1 where
// either has no direction in the plane.
double turn_cos(const double *a, const double *b) {
  const double ax = a[3] - a[0], ay = a[4] - a[1], bx = b[3] - b[0], by = b[4] - b[1];
  const double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
  if (!(la > 1e-12 && lb > 1e-12)) return 1.0;
  return (ax * bx + ay * by) / (la * lb);
}

// The interior test points (count of them in u, ascending, with their evaluations ev and targets) joined by the middle
// of every neighbouring pair, the range's ends counting, between which the curve turns by more than the angle whose
// cosine is min_cos and faster than on either side, until none does. Points chosen by parameter alone may straddle a
// sharp turn in a short stretch (just past a knot), where the offset sweeps an arc of the distance's radius: the offset
// polygon cuts that arc by about the distance times the turn squared over eight, unseen between its test points. A
// curve whose points follow its turning gains none. Answers false with rc set on failure.
bool follow_turning(const VOQbsp_curve *w, double min_cos, const double normal[3], int side, double dist,
                    Grown<double> &u, Grown<double> &ev, Grown<double> &targets, int *count, int *rc) {
  const int k = w->order;
  const double lo = w->knots[k - 1], hi = w->knots[w->num_poles], ends[2] = {lo, hi};
  double end_ev[12];
  BScvarrevt(w, ends, 2, 1.0, end_ev, rc);
  if (*rc != 0) return false;
  Grown<double> mids, mid_ev, mid_at, merged, rate;
  // The rate of turning of gap i, whether or not it turns too far.
  auto rate_of = [&](int i) {
    const double a = i == 0 ? lo : u.p[i - 1], b = i == *count ? hi : u.p[i];
    if (rate.p[i] >= 0) return rate.p[i];
    if (!(b - a > 0)) return 0.0;
    const double *ea = i == 0 ? end_ev : ev.p + 6 * (i - 1), *eb = i == *count ? end_ev + 6 : ev.p + 6 * i;
    return std::acos(std::fmin(std::fmax(turn_cos(ea, eb), -1.0), 1.0)) / (b - a);
  };
  // Each round halves the gaps that turn too far; a turn packed into a stretch far shorter than any gap needs a round
  // per halving, and the points it may add are bounded by a few times the first set.
  const int cap = 4 * *count + 64;
  for (int round = 0; round < 24; ++round) {
    const int n = *count;
    if (!mids.ensure(n + 1) || !rate.ensure(n + 1)) return (*rc = BSRC_NO_SCRATCH), false;
    // The turn of each gap, and its rate by parameter.
    for (int i = 0; i <= n; ++i) {
      const double a = i == 0 ? lo : u.p[i - 1], b = i == n ? hi : u.p[i];
      const double *ea = i == 0 ? end_ev : ev.p + 6 * (i - 1), *eb = i == n ? end_ev + 6 : ev.p + 6 * i;
      const double c = turn_cos(ea, eb);
      rate.p[i] = c < min_cos && b - a > 1e-9 * (hi - lo) ? std::acos(std::fmax(c, -1.0)) / (b - a) : -1;
    }
    // A gap that turns too far is halved where it turns four times as fast as both its neighbours: there the turn is
    // packed into part of it. Where the turn spreads evenly over the gaps, the points follow it already.
    int added = 0;
    for (int i = 0; i <= n; ++i) {
      if (rate.p[i] < 0) continue;
      const double a = i == 0 ? lo : u.p[i - 1], b = i == n ? hi : u.p[i];
      const double before = i > 0 ? rate_of(i - 1) : 0.0, after = i < n ? rate_of(i + 1) : 0.0;
      const double beside = std::fmax(before, after);
      if (rate.p[i] > 4 * beside) {
        mids.p[added++] = (a + b) / 2;
        continue;
      }
      // A turn packed into part of a gap may still hide from that test: a straight run up to a knot the curve turns
      // just past dilutes the gap's rate below that of the neighbour finishing the turn, and beside a near-cusp the
      // cusp's gap is always the faster. A gap four times as fast as its slower neighbour (at a range end its only
      // one, judged already) is looked into: split at its knot (no gap holds two: the points cover every span),
      // else at its middle, where one side turns too far and four times as fast as the other side and the slower
      // neighbour; that side is then halved like any other packed turn. Where the turn spreads evenly, no gap is.
      const double slower = i == 0 ? after : i == n ? before : std::fmin(before, after);
      if (!(rate.p[i] > 4 * slower)) continue;
      const double *kn = std::upper_bound(w->knots + k, w->knots + w->num_poles, a);
      const double at = kn < w->knots + w->num_poles && *kn < b ? *kn : (a + b) / 2;
      double at_ev[6];
      BScvarrevt(w, &at, 1, 1.0, at_ev, rc);
      if (*rc != 0) return false;
      const double *ea = i == 0 ? end_ev : ev.p + 6 * (i - 1), *eb = i == n ? end_ev + 6 : ev.p + 6 * i;
      const double cos_below = turn_cos(ea, at_ev), cos_above = turn_cos(at_ev, eb);
      const double below = std::acos(std::fmax(cos_below, -1.0)) / (at - a);
      const double above = std::acos(std::fmax(cos_above, -1.0)) / (b - at);
      const double shortest = 1e-9 * (hi - lo);
      if ((cos_below < min_cos && at - a > shortest && below > 4 * std::fmax(slower, above)) ||
          (cos_above < min_cos && b - at > shortest && above > 4 * std::fmax(slower, below)))
        mids.p[added++] = at;
    }
    if (added == 0 || n + added > cap) return true;
    if (!mid_ev.ensure(6 * added) || !mid_at.ensure(3 * added) || !merged.ensure(10 * (n + added)))
      return (*rc = BSRC_NO_SCRATCH), false;
    if (!make_targets(w, mids.p, added, mid_ev.p, normal, side, dist, mid_at.p, rc)) return false;
    // Both lists ascend: merged into params, evaluations and targets side by side, then copied back.
    double *mu = merged.p, *me = mu + (n + added), *mt = me + 6 * (n + added);
    for (int i = 0, j = 0, o = 0; o < n + added; ++o) {
      const bool old = j == added || (i < n && u.p[i] < mids.p[j]);
      const double *src_e = old ? ev.p + 6 * i : mid_ev.p + 6 * j, *src_t = old ? targets.p + 3 * i : mid_at.p + 3 * j;
      mu[o] = old ? u.p[i] : mids.p[j];
      std::memcpy(me + 6 * o, src_e, 6 * sizeof(double));
      std::memcpy(mt + 3 * o, src_t, 3 * sizeof(double));
      if (old)
        ++i;
      else
        ++j;
    }
    *count = n + added;
    if (!u.ensure(*count) || !ev.ensure(6 * *count) || !targets.ensure(3 * *count))
      return (*rc = BSRC_NO_SCRATCH), false;
    std::memcpy(u.p, mu, static_cast<std::size_t>(*count) * sizeof(double));
    std::memcpy(ev.p, me, 6 * static_cast<std::size_t>(*count) * sizeof(double));
    std::memcpy(targets.p, mt, 3 * static_cast<std::size_t>(*count) * sizeof(double));
  }
  return true;
}

// Where the offset may stray between its test points: where the curve turns by more than the angle whose cosine is
// min_cos, the offset polygon may cut the arc the offset sweeps by about the distance times the turn squared over
// eight, and points placed by parameter pass over a curve that rests at a heavy pole while its tangent turns, or
// hooks and turns back within a sliver of a span. The tangent of a rational Bezier span with positive weights keeps
// within the cone of its Cartesian legs: each span of w (flat) whose cone is wider than that angle, or whose weights
// spread more than kUneven-fold, has the offset off looked at in its middle, measured from w, then is halved and its
// halves looked into alike, until their cones are narrow and their weights even. A middle whose offset point lies farther than `stray` from the distance becomes a test point (appended in
// ascending order to the *nfresh of fresh, with its evaluation and target). Where the curve turns towards the offset
// about a point nearer than the distance, the offset reverses into a loop that is no answer's, and such a part is
// passed over. The looks are bounded by a few times the count test points. Answers false with rc set on failure.
bool probe_offset(const VOQbsp_curve *w, const VOQbsp_curve *off, double min_cos, const double normal[3], int side,
                  double dist, double stray, int count, Grown<double> &fresh, Grown<double> &fresh_ev,
                  Grown<double> &fresh_at, int *nfresh, int *rc) {
  constexpr int kMaxOrder = 16;
  const int k = w->order;
  if (k > kMaxOrder) return true;
  // The offset lies to the right of the curve's way for side * normal z positive: a turn to the right is inner.
  const double inward = side * (normal[2] < 0 ? -1.0 : 1.0), d = std::fabs(dist);
  // The knot tolerance, taken at the first look (most curves need none).
  double ktol = -1;
  // A part of a span: its Bezier poles (x w, y w, w) over [a, b].
  struct Part {
    double h[kMaxOrder][3], a, b;
    int depth;
  };
  // Whether the part's offset is to be looked at: its weights spread, or its legs spread wider than the angle but for
  // a turn inwards about a point nearer than d.
  auto unsure = [&](const Part &p) {
    double q[kMaxOrder][2], sx = 0, sy = 0, lightest = INFINITY, heaviest = 0;
    for (int i = 0; i < k; ++i) {
      if (!(p.h[i][2] > 0)) return false;
      q[i][0] = p.h[i][0] / p.h[i][2], q[i][1] = p.h[i][1] / p.h[i][2];
      lightest = std::fmin(lightest, p.h[i][2]), heaviest = std::fmax(heaviest, p.h[i][2]);
    }
    // Weights that differ much crowd the part's parameters to one end, and its offset, which has the same weights,
    // may bulge off the true one even along a straight run.
    if (heaviest > kUneven * lightest) return true;
    double first[2] = {0, 0}, last[2] = {0, 0}, turned = 0, shortest = INFINITY, longest = 0;
    bool any = false, every = true;
    for (int i = 0; i + 1 < k; ++i) {
      const double x = q[i + 1][0] - q[i][0], y = q[i + 1][1] - q[i][1], l = std::sqrt(x * x + y * y);
      shortest = std::fmin(shortest, l), longest = std::fmax(longest, l);
      if (!(l > 0)) {
        every = false;
        continue;
      }
      if (!any) first[0] = x / l, first[1] = y / l;
      // Each turn is bounded by its tangent, which needs no arc tangent; a turn of a quarter or more counts whole.
      if (any) {
        const double cr = std::fabs(last[0] * y - last[1] * x), dt = last[0] * x + last[1] * y;
        turned += dt > 0 ? cr / dt : kHalfTurn;
      }
      last[0] = x / l, last[1] = y / l, any = true;
      sx += x / l, sy += y / l;
    }
    // Even weights, and legs of even length that turn, all told, through less than an eighth of a half turn: the
    // curve turns no more than its polygon, as evenly as its parameter runs, and the test points placed by parameter
    // follow it (through a quarter turn, one curve in 3,000 of order 5 strayed 2.4 offset tolerances).
    if (every && heaviest <= lightest && longest <= kUneven * shortest && turned < kHalfTurn / 8) return false;
    // A circular arc turns at one rate along its length, and its offset is the concentric arc.
    if (every && k == 3) {
      const double l0 = std::hypot(q[1][0] - q[0][0], q[1][1] - q[0][1]);
      const double l1 = std::hypot(q[2][0] - q[1][0], q[2][1] - q[1][1]);
      const double turn_cos = first[0] * last[0] + first[1] * last[1];
      const double half = std::sqrt((1 + turn_cos) / 2) * std::sqrt(p.h[0][2] * p.h[2][2]);
      if (std::fabs(l0 - l1) <= 1e-9 * (l0 + l1) && std::fabs(p.h[1][2] - half) <= 1e-9 * p.h[1][2]) return false;
    }
    const double sl = std::hypot(sx, sy);
    if (!any || !(sl > 0)) return any;
    // The cone's width: twice the widest angle of a leg from the legs' mean direction.
    double widest = 1;
    for (int i = 0; i + 1 < k; ++i) {
      const double x = q[i + 1][0] - q[i][0], y = q[i + 1][1] - q[i][1], l = std::hypot(x, y);
      if (l > 0) widest = std::fmin(widest, (x * sx + y * sy) / (l * sl));
    }
    if (!(2 * widest * widest - 1 < min_cos)) return false;
    const double c = first[0] * last[0] + first[1] * last[1], cross = first[0] * last[1] - first[1] * last[0];
    if (cross * inward > 0 || !(c < 1)) return true;
    const double chord = std::hypot(q[k - 1][0] - q[0][0], q[k - 1][1] - q[0][1]);
    return chord > 2 * d * std::sin(std::acos(std::fmax(c, -1.0)) / 2);
  };
  bsknots::ScratchCurve bez;
  if (!bez.take(k, 3 * k, w->rational)) return (*rc = BSRC_NO_SCRATCH), false;
  const BSboolean no = BSFALSE;
  std::vector<Part> stack;
  int looks = 4 * count + 64;
  for (int s = k - 1; s < w->num_poles && looks > 0; ++s) {
    if (!(w->knots[s + 1] > w->knots[s])) continue;
    if (!BSspn_t_bz(rc, &s, w, &bez.cv, &no, &no)) return false;
    Part whole{};
    whole.a = w->knots[s], whole.b = w->knots[s + 1], whole.depth = 0;
    for (int i = 0; i < k; ++i) {
      const double wt = bez.cv.rational ? bez.cv.weights[i] : 1.0;
      const double f = bez.cv.rational ? 1.0 : wt;
      whole.h[i][0] = bez.cv.poles[3 * i] * f, whole.h[i][1] = bez.cv.poles[3 * i + 1] * f, whole.h[i][2] = wt;
    }
    stack.assign(1, whole);
    while (!stack.empty() && looks > 0) {
      const Part p = stack.back();
      stack.pop_back();
      if (p.depth >= 24 || !unsure(p)) continue;
      --looks;
      const double m = (p.a + p.b) / 2;
      double em[6], q[3], e = 0;
      BScvarrevt(w, &m, 1, 1.0, em, rc);
      if (*rc == 0) BScveval_n(off, m, 0, q, rc);
      if (*rc == 0 && ktol < 0)
        BScvkttol2(w->order, w->knots, w->num_poles, w->poles, w->rational ? w->weights : nullptr, &ktol, rc);
      if (*rc == 0) bsoffset::foot_distance(w, ktol, m, q, &e, rc);
      if (*rc != 0) return false;
      if (std::fabs(e - d) > stray) {
        if (!fresh.ensure(*nfresh + 1) || !fresh_ev.ensure(6 * (*nfresh + 1)) || !fresh_at.ensure(3 * (*nfresh + 1)))
          return (*rc = BSRC_NO_SCRATCH), false;
        fresh.p[*nfresh] = m;
        std::memcpy(fresh_ev.p + 6 * *nfresh, em, sizeof em);
        if (!offset_point(em, normal, side, dist, fresh_at.p + 3 * *nfresh, rc)) return false;
        ++*nfresh;
        continue;
      }
      // Halved at its middle (de Casteljau on the weighted poles): the later half goes on the stack first, so that
      // the parts are looked into in ascending order.
      Part lower{}, upper{};
      lower.a = p.a, lower.b = upper.a = m, upper.b = p.b, lower.depth = upper.depth = p.depth + 1;
      double t[kMaxOrder][3];
      std::memcpy(t, p.h, sizeof t);
      for (int r = 0; r < k; ++r) {
        std::memcpy(lower.h[r], t[0], sizeof t[0]);
        std::memcpy(upper.h[k - 1 - r], t[k - 1 - r], sizeof t[0]);
        for (int i = 0; i + 1 < k - r; ++i)
          for (int c = 0; c < 3; ++c) t[i][c] = (t[i][c] + t[i + 1][c]) / 2;
      }
      stack.push_back(upper), stack.push_back(lower);
    }
  }
  return true;
}

// A curve record with room for more poles, refined by knots in ascending order: the poles and knots not yet
// reached wait at the far end of the room, and each knot goes into the stretch before them, so that an
// insertion moves only that stretch's few poles past the knot rather than the whole rest of the curve. The
// stretch reaches past every place an insertion reads (the curve at the knot and a parameter tolerance about
// it, the knots within that tolerance): it starts at the same pole as the curve, so each insertion reads the
// same poles and knots by the same indices and gives the same curve, bit for bit.
class Refinement {
 public:
  // cv: a record with room for cap poles, holding its curve at the start.
  Refinement(VOQbsp_curve *cv, int cap) : cv_(cv), cap_(cap), n_(cv->num_poles), reach_(cv->num_poles) {
    const int k = cv->order, keep = std::min(n_, k + 1);
    move(keep, cap_ - (n_ - keep), n_ - keep);
    reach_ = keep;
  }
  // The curve as far as its stretch reaches.
  VOQbsp_curve view() const {
    VOQbsp_curve v = *cv_;
    v.num_poles = reach_;
    v.num_knots = reach_ + cv_->order;
    return v;
  }
  // The stretch made to reach beyond u and the parameter tolerance about it.
  void reach_past(double u) {
    while (reach_ < n_ && !(cv_->knots[reach_] > u)) pull(16);
    // A fault handler sees the insertions read the whole curve, as they always did.
    if (reach_ == n_ || bstest::slow_roads()) return pull(n_ - reach_);
    const VOQbsp_curve v = view();
    double d[9];
    int erc = 0;
    BScveval_n(&v, u, 2, d, &erc);
    if (erc != 0) return pull(n_ - reach_);
    // No parameter tolerance exceeds its first estimate (BSlocknttol).
    const double dist = BStoltab[bstol::dist_tol];
    const double d1 = std::sqrt(d[3] * d[3] + d[4] * d[4] + d[5] * d[5]);
    const double d2 = std::sqrt(d[6] * d[6] + d[7] * d[7] + d[8] * d[8]);
    double bound = 1e-10;
    if (d1 > dist) bound = std::fmax(bound, dist / d1);
    else if (d2 > dist) bound = std::fmax(bound, std::sqrt(dist / (2 * d2)));
    if (!std::isfinite(bound)) return pull(n_ - reach_);
    while (reach_ < n_ && !(cv_->knots[reach_] > u + 4 * bound + 1e-12 * std::fabs(u))) pull(16);
  }
  // After an insertion into the stretch, whose record then counts poles poles (a knot that met an existing one
  // within its tolerance adds none).
  void grew(int poles) {
    n_ += poles - reach_;
    reach_ = poles;
  }
  // The whole curve in the record again.
  void finish() {
    pull(n_ - reach_);
    cv_->num_poles = n_;
    cv_->num_knots = n_ + cv_->order;
  }

 private:
  // count poles (with their weights) from index from to index to, and the knots k places on.
  void move(int from, int to, int count) {
    if (count <= 0 || from == to) return;
    const std::size_t c = static_cast<std::size_t>(count);
    std::memmove(cv_->poles + 3 * static_cast<std::size_t>(to), cv_->poles + 3 * static_cast<std::size_t>(from),
                 3 * c * sizeof(double));
    if (cv_->rational) std::memmove(cv_->weights + to, cv_->weights + from, c * sizeof(double));
    std::memmove(cv_->knots + to + cv_->order, cv_->knots + from + cv_->order, c * sizeof(double));
  }
  // count more poles of those waiting at the far end brought to the end of the stretch.
  void pull(int count) {
    count = std::min(count, n_ - reach_);
    move(cap_ - (n_ - reach_), reach_, count);
    reach_ += count;
  }
  VOQbsp_curve *cv_;
  int cap_, n_, reach_;
};

}  // namespace

void BSspnoffset(const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve **out,
                 int *rc) {
  *rc = 0;
  OwnedCurve W;
  Grown<double> params, ev, targets, newpar, knots, sorted, tested, tested_at, tested_on, tested_off, at;
  Grown<double> all_u, cover_u, fresh_u;
  Grown<int> bad, tags, marks, source;
  do {
    if (!normal || !out || !*out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if ((*rc = BScvcheck(cv)) != 0) break;
    if (!std::isfinite(dist) || !BSallfinite(3, normal) || (side != 1 && side != -1) || cv->order < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double dtol = BStoltab[bstol::dist_tol];
    BSallocvoqcv(cv->order, cv->num_poles, cv->rational, 0, &W.cv, rc);
    if (*rc != 0 || !BScv_copy(rc, cv, W.cv)) break;
    // The offset polygon starts and ends at the offsets of the end poles: an unclamped piece is worked on as its
    // clamped copy, the same curve over the same range, so that its end poles are its end points.
    if (!BScnvtomkt(rc, W.cv)) break;
    VOQbsp_curve *w = W.cv;
    const int k = w->order;
    // A caller's record of another size than the piece is replaced rather than overrun.
    const VOQbsp_curve *o = *out;
    const bool fits = o->order == k && o->num_poles == w->num_poles && o->rational == w->rational && o->poles &&
                      o->knots && (!o->rational || o->weights);

    if (w->rational && k > 3) {
      BSboolean planar = BSFALSE;
      double np[3];
      BStst_plan(w->num_poles, w->poles, w->weights, &planar, np, rc);
      if (*rc != 0) break;
      const double along = normal[0] * np[0] + normal[1] * np[1] + normal[2] * np[2];
      if (planar && std::fabs(1.0 - std::fabs(along)) < BStoltab[3]) {
        bool done = false;
        offset_arc(w, dist, normal, side, fits, out, &done, rc);
        if (done || *rc != 0) break;
      }
    }

    double tol_start = 0, tol_end = 0;
    BSlocknttol(w, w->knots[k - 1], dtol, &tol_start, rc);
    if (*rc == 0) BSlocknttol(w, w->knots[w->num_poles], dtol, &tol_end, rc);
    if (*rc != 0) break;
    {
      BSscratch<100> z_work;
      double *z = z_work.take(static_cast<std::size_t>(w->num_poles));
      if (!z) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      for (int i = 0; i < w->num_poles; ++i) z[i] = w->poles[3 * i + 2], w->poles[3 * i + 2] = 0.0;
      double length = 0;
      BScumdist(rc, &w->num_poles, w->poles, w->weights, &length);
      for (int i = 0; i < w->num_poles; ++i) w->poles[3 * i + 2] = z[i];
      if (*rc != 0) break;
      // The check's tolerance: 1 % of the control polygon's length in the plane, and no more than twice the
      // distance, squared as the check compares it. Where the curve turns about a point nearer than the distance
      // (a near-cusp), a loose tolerance lets a test point's target be found on the offset of a neighbouring
      // span, out of step, while the span between strays far off the true offset unseen.
      const double tau = std::fmin(0.01 * length, 4 * dist * dist);

      offset_polygon(w, dist, normal, side, !fits, out, rc);
      if (*rc != 0) break;
      BSboolean degenerate = BSFALSE;
      BStstcvdegn(*out, &degenerate, rc);
      if (*rc != 0) break;
      if (!degenerate && k > 2) {
        // The first test set: the nodes and the midpoints between them, ends excluded.
        const int n = w->num_poles;
        int m = 0;
        if (!params.ensure(6 * n + 4) || !ev.ensure(6 * (6 * n + 4)) || !targets.ensure(3 * (6 * n + 4)) ||
            !sorted.ensure(6 * n + 4)) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        BSnodevals(w->order, w->num_knots, w->knots, 1, &m, params.p, rc);
        if (*rc != 0) break;
        if (std::fabs(params.p[0] - w->knots[k - 1]) <= tol_start) params.p[0] = w->knots[k - 1];
        if (std::fabs(params.p[m - 1] - w->knots[n]) <= tol_end) params.p[m - 1] = w->knots[n];
        // The interior parameters, ends excluded, with the points that cover the short spans among them.
        int count = cover_spans(w, params.p + 1, m - 2, sorted.p);
        if (!make_targets(w, sorted.p, count, ev.p, normal, side, dist, targets.p, rc)) break;
        // Between two test points the offset polygon may cut the arc the offset sweeps by about |dist| turn^2 / 8: a
        // quarter of the offset tolerance at most. Only a distance so small that not even a half turn cuts more
        // needs no such points: a distance of a few offset tolerances (a tiny curve's) strayed by up to three of them.
        const double max_turn = std::sqrt(2 * BStoltab[bstol::offset_tol] / std::fabs(dist));
        if (max_turn < kHalfTurn &&
            !follow_turning(w, std::cos(max_turn), normal, side, dist, sorted, ev, targets, &count, rc))
          break;
        if (!params.ensure(count)) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        std::memcpy(params.p, sorted.p, static_cast<std::size_t>(count) * sizeof(double));
        if (!bad.ensure(count)) {
          *rc = BSRC_ALLOC_CURVE;
          break;
        }
        // Every point ever tested, with its target: the check keeps only its failing points.
        int nbad = 0, nkeep = 0, ntested = 0;
        auto keep_tested = [&](const double *u, const double *at, const double *on, int c) {
          if (!tested.ensure(ntested + c) || !tested_at.ensure(3 * (ntested + c)) ||
              !tested_on.ensure(3 * (ntested + c)))
            return false;
          for (int i = 0; i < c; ++i) std::memcpy(tested_on.p + 3 * (ntested + i), on + 6 * i, 3 * sizeof(double));
          std::memcpy(tested.p + ntested, u, static_cast<std::size_t>(c) * sizeof(double));
          std::memcpy(tested_at.p + 3 * ntested, at, 3 * static_cast<std::size_t>(c) * sizeof(double));
          ntested += c;
          return true;
        };
        BSboolean ok = BSFALSE;
        bool lagged = false;  // the last check failed only where the offset runs out of step
        if (!keep_tested(params.p, targets.p, ev.p, count)) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        const int first_tested = ntested;  // the first test set, ascending
        // Far out (coordinates beyond about 5e10) the offset tolerance lies below the rounding of the points
        // compared: no check could pass, and each refinement would only lengthen the curve the next one searches.
        // The offset polygon is handed back as a shortfall then.
        double reach = std::fabs(dist);
        for (int i = 0; i < w->num_poles; ++i)
          for (int c = 0; c < 3; ++c)
            reach = std::fmax(reach, std::fabs(w->poles[3 * i + c] / (w->rational ? w->weights[i] : 1.0)));
        const bool checkable = 64 * DBL_EPSILON * reach <= 0.75 * BStoltab[bstol::offset_tol];
        // A refined span is tested at the middles of its halves, and its neighbours where they were tested
        // before: a span whose end is a knot of the piece may keep no tested point near that end, and its offset,
        // passing between the points it has, strays unseen where the curve turns fastest. Once the points pass,
        // the spans of the refined curve are covered much as the first test set covers the piece's (no point of a
        // span farther than three eighths of it from a tested one: a quarter doubled the checks of a smooth curve
        // refined once) and the points that adds are checked; false, with the failing ones kept, where any fails.
        auto covered = [&] {
          const int spans = w->num_poles - k + 1;
          if (!all_u.ensure(ntested) || !cover_u.ensure(ntested + 4 * spans + 4) || !fresh_u.ensure(4 * spans + 4)) {
            *rc = BSRC_NO_SCRATCH;
            return false;
          }
          std::memcpy(all_u.p, tested.p, static_cast<std::size_t>(ntested) * sizeof(double));
          std::sort(all_u.p, all_u.p + ntested);
          const int c = cover_spans(w, all_u.p, ntested, cover_u.p, 0.375);
          // A point that covers a span's end lies on a knot: where the offset turns back on itself there, its
          // target is the tip of a spike no offset reaches, and refining after it only crowds knots at the tip (the
          // offset strayed by 0.8 of the distance beside one so crowded). Such a point keeps its place in the
          // cover, but its offset point is measured from the curve, as the last gate measures, and is never tested
          // against its target.
          int nf = 0, ntip = 0;
          for (int i = 0, j = 0; i < c; ++i) {
            if (j < ntested && cover_u.p[i] == all_u.p[j]) {
              ++j;
              continue;
            }
            const double u = cover_u.p[i];
            const bool knot = std::binary_search(w->knots + k, w->knots + w->num_poles, u);
            if (knot && reverses_at_knot(w, u, side * dist * (normal[2] < 0 ? -1.0 : 1.0), rc)) {
              cover_u.p[ntip++] = u;  // behind i: the cover read so far is no longer needed
              continue;
            }
            if (*rc != 0) return false;
            fresh_u.p[nf++] = u;
          }
          if (nf > 0) {
            if (!params.ensure(nf) || !targets.ensure(3 * nf) || !ev.ensure(6 * nf) || !source.ensure(nf) ||
                !bad.ensure(nf) || !at.ensure(3 * nf) || !tested_off.ensure(3 * (ntested + nf))) {
              *rc = BSRC_NO_SCRATCH;
              return false;
            }
            std::memcpy(params.p, fresh_u.p, static_cast<std::size_t>(nf) * sizeof(double));
            if (!make_targets(w, params.p, nf, ev.p, normal, side, dist, targets.p, rc)) return false;
            for (int j = 0; j < nf; ++j) source.p[j] = ntested + j;
            if (!keep_tested(params.p, targets.p, ev.p, nf) || !tested_off.ensure(3 * ntested)) {
              *rc = BSRC_NO_SCRATCH;
              return false;
            }
            // Judged by their distance alone: where the offset runs on out of step along a straight run past a
            // knot, its points keep the distance, and the last gate below refines that lag as it does.
            count = nf;
            bsoffset::check_span(count, DBL_MAX, params.p, targets.p, w, *out, at.p, &nbad, bad.p, &nkeep, &ok, rc);
            if (*rc != 0) return false;
            for (int j = 0; j < count; ++j)
              std::memcpy(tested_off.p + 3 * source.p[j], at.p + 3 * j, 3 * sizeof(double));
            if (!ok) return false;
          }
          if (ntip > 0) {
            bsoffset::FlatZ flat;
            double ktol = 0;
            if (!flat.flatten(w) || !params.ensure(ntip) || !bad.ensure(2 * ntip)) {
              *rc = BSRC_NO_SCRATCH;
              return false;
            }
            BScvkttol2(w->order, w->knots, w->num_poles, w->poles, w->rational ? w->weights : nullptr, &ktol, rc);
            if (*rc != 0) return false;
            int nfail = 0;
            nbad = 0;
            for (int j = 0; j < ntip; ++j) {
              const double u = cover_u.p[j];
              double q[3], e = 0;
              BScveval_n(*out, u, 0, q, rc);
              if (*rc == 0) bsoffset::foot_distance(w, ktol, u, q, &e, rc);
              if (*rc != 0) return false;
              if (!(std::fabs(e - std::fabs(dist)) > 0.75 * BStoltab[bstol::offset_tol])) continue;
              // Both spans about the knot move its offset point.
              const int s = static_cast<int>(std::lower_bound(w->knots + k, w->knots + w->num_poles, u) - w->knots);
              for (const int t : {s - 1, s})
                if (t >= k - 1 && t < w->num_poles && (nbad == 0 || bad.p[nbad - 1] < t)) bad.p[nbad++] = t;
              params.p[nfail++] = u;
            }
            if (nfail > 0) {
              nkeep = count = nfail;
              ok = BSFALSE;
              return false;
            }
          }
          // Then the offset is looked at where the curve turns too far between the points: a point where it
          // strays fails its span, and is tested from now on.
          if (!(max_turn < kHalfTurn)) return true;
          nf = 0;
          {
            bsoffset::FlatZ flat;
            if (!flat.flatten(w)) {
              *rc = BSRC_NO_SCRATCH;
              return false;
            }
            const double stray = kProbeStray * BStoltab[bstol::offset_tol];
            if (!probe_offset(w, *out, std::cos(max_turn), normal, side, dist, stray, ntested, fresh_u, ev, targets,
                              &nf, rc))
              return false;
          }
          if (nf == 0) return true;
          if (!params.ensure(nf) || !bad.ensure(nf) || !at.ensure(3 * nf) || !tested_off.ensure(3 * (ntested + nf))) {
            *rc = BSRC_NO_SCRATCH;
            return false;
          }
          std::memcpy(params.p, fresh_u.p, static_cast<std::size_t>(nf) * sizeof(double));
          BScvarrev0(rc, *out, params.p, nf, at.p);
          if (*rc != 0) return false;
          std::memcpy(tested_off.p + 3 * ntested, at.p, 3 * static_cast<std::size_t>(nf) * sizeof(double));
          if (!keep_tested(params.p, targets.p, ev.p, nf)) {
            *rc = BSRC_NO_SCRATCH;
            return false;
          }
          nbad = 0;
          for (int j = 0; j < nf; ++j) {
            const double *at_knot = std::lower_bound(w->knots + k, w->knots + w->num_poles, params.p[j]);
            const int s = static_cast<int>(at_knot - w->knots) - 1;
            if (nbad == 0 || bad.p[nbad - 1] != s) bad.p[nbad++] = s;
          }
          nkeep = count = nf;
          ok = BSFALSE;
          return false;
        };
        // The check of the count points in params, each point source[j] of those tested, then, once it passes, the
        // offset points of every parameter tested so far measured from the curve: the foot allowance lets the offset
        // run out of step with the curve along a straight run past the knot where the curve turns, while every
        // target still lies on the line the offset runs on. Measured as a last gate only, so that an offset that
        // fails the check is refined as it always was. A point keeps the offset point of its last check: a pass
        // checks again every point whose offset it may move. The curve is seen flat, in the plane where the offset
        // and its targets lie.
        auto check = [&] {
          lagged = false;
          if (!at.ensure(3 * count) || !tested_off.ensure(3 * ntested)) {
            *rc = BSRC_NO_SCRATCH;
            return;
          }
          bsoffset::check_span(count, tau, params.p, targets.p, w, *out, at.p, &nbad, bad.p, &nkeep, &ok, rc);
          if (*rc != 0) return;
          for (int j = 0; j < count; ++j)
            std::memcpy(tested_off.p + 3 * source.p[j], at.p + 3 * j, 3 * sizeof(double));
          if (!ok || !covered()) return;
          bsoffset::FlatZ flat;
          if (!params.ensure(ntested) || !targets.ensure(3 * ntested) || !bad.ensure(ntested) || !flat.flatten(w)) {
            *rc = BSRC_NO_SCRATCH;
            return;
          }
          count = ntested;
          std::memcpy(params.p, tested.p, static_cast<std::size_t>(count) * sizeof(double));
          std::memcpy(targets.p, tested_at.p, 3 * static_cast<std::size_t>(count) * sizeof(double));
          bsoffset::check_distance(count, std::fabs(dist), params.p, targets.p, w, tested_off.p, tested_on.p, &nbad,
                                   bad.p, &nkeep, &ok, rc);
          lagged = !ok;
        };
        if (!source.ensure(count)) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        for (int j = 0; j < count; ++j) source.p[j] = j;
        if (checkable) check();
        int pass = 0;
        // Refinement past many times the piece's own poles chases a tolerance the curve cannot meet, each pass
        // testing every point against a longer curve: the last offset is a shortfall then, as after the last pass.
        const int refined_cap = std::max(1024, 64 * cv->num_poles);
        for (; *rc == 0 && checkable && !ok && pass < BSOFFSET_MAX_PASSES && w->num_poles + nbad < refined_cap;
             ++pass) {
          // A point failing at the start of the last span is reported in the span before it: the last span is
          // halved too, so that the end itself gains freedom, and is tested between its new knots like any halved
          // span. Its points so far lie at its ends, and an offset that moved unseen there could stray far.
          const int last = w->num_poles - 1;
          const double last_start = w->knots[last], last_end = w->knots[last + 1];
          if (nkeep > 0 && std::fabs(params.p[nkeep - 1] - last_start) <= tol_end &&
              std::fabs(last_end - (last_start + last_end) / 2) > tol_end && bad.p[nbad - 1] != last) {
            if (!bad.ensure(nbad + 1)) {
              *rc = pass == 0 ? BSRC_NO_SCRATCH : BSRC_ALLOC_CURVE;
              break;
            }
            bad.p[nbad++] = last;
          }
          if (!knots.ensure(nbad + 1) || !newpar.ensure((pass == 0 ? 4 : 3) * nbad)) {
            *rc = pass == 0 ? BSRC_NO_SCRATCH : BSRC_ALLOC_CURVE;
            break;
          }
          // Whether u, up to rounding, is a point of the first test set.
          auto tested_first = [&](double u, double span) {
            const double *at = std::lower_bound(tested.p, tested.p + first_tested, u);
            const double near = 1e-9 * span;
            return (at < tested.p + first_tested && *at - u <= near) || (at > tested.p && u - at[-1] <= near);
          };
          int nknots = 0, fresh = 0;
          for (int j = 0; j < nbad; ++j) {
            const int s = bad.p[j];
            const double a = w->knots[s], b = w->knots[s + 1];
            // The offset lags where a pole turns the curve and its knot sits far nearer one neighbouring knot than
            // the other: the offset pole, shifted along by about the distance times half the turn, weighs on the
            // knot point nearly alone. A span that lags beside a far shorter one is cut at that one's length from
            // their common knot, which evens the spacing there; halving would take a pass per halving to get there.
            double mid = (a + b) / 2;
            if (lagged) {
              const double after = s + 1 < w->num_poles ? w->knots[s + 2] - b : b - a;
              const double before = s > k - 1 ? a - w->knots[s - 1] : b - a;
              if (after > 0 && 2 * after < b - a)
                mid = b - after;
              else if (before > 0 && 2 * before < b - a)
                mid = a + before;
            }
            knots.p[nknots++] = mid;
            double *np = newpar.p;
            if (pass > 0) {
              np[fresh++] = (a + mid) / 2;
              np[fresh++] = mid;
              np[fresh++] = (mid + b) / 2;
              continue;
            }
            // The first halving tests the middle of each half. Where the first test set holds it already (one
            // quadratic span is tested at its quarter points), the half would be judged only where the whole
            // passed, while its offset strays most off its middle: the half is tested at its thirds instead.
            for (const double lo : {a, mid}) {
              const double hi = lo == a ? mid : b, middle = (lo + hi) / 2;
              if (tested_first(middle, b - a)) {
                np[fresh++] = lo + (hi - lo) / 3;
                np[fresh++] = hi - (hi - lo) / 3;
              } else {
                np[fresh++] = middle;
              }
            }
          }
          // A new knot moves the offset poles of the spans around the failing one too, so every point tested so
          // far in those spans is tested again beside the failing ones: a span's offset may not spoil unseen.
          const int spans = w->num_poles;
          if (!marks.ensure(spans) || !params.ensure(ntested) || !targets.ensure(3 * ntested) ||
              !source.ensure(ntested + fresh)) {
            *rc = BSRC_ALLOC_CURVE;
            break;
          }
          std::fill(marks.p, marks.p + spans, 0);
          for (int j = 0; j < nbad; ++j)
            std::fill(marks.p + std::max(bad.p[j] - k + 1, k - 1), marks.p + std::min(bad.p[j] + k, spans), 1);
          nkeep = 0;
          for (int i = 0; i < ntested; ++i) {
            const double u = tested.p[i];
            const int t = static_cast<int>(std::lower_bound(w->knots + k, w->knots + spans, u) - w->knots) - 1;
            if (!marks.p[t]) continue;
            params.p[nkeep] = u;
            std::memcpy(targets.p + 3 * nkeep, tested_at.p + 3 * i, 3 * sizeof(double));
            source.p[nkeep++] = i;
          }
          // A span at a range end shorter than the curve's parameter resolution there (a wild curve rushes
          // through it) takes no knot: the inserter refuses one that close to the end. The span is left as it is,
          // and when no span could take a knot, no further pass can change the offset: its shortfall is reported.
          // The knots go in one after another, in place, into a copy with room for all of them: a copy a pass
          // rather than a copy a knot.
          {
            VOQbsp_curve *room = nullptr;
            BSallocvoqcv(k, w->num_poles + nknots, w->rational, 0, &room, rc);
            if (*rc == 0) BScv_copy(rc, w, room);
            if (*rc != 0) {
              int ignored = 0;
              if (room) BSfreevoqcv(room, &ignored);
              break;
            }
            const int code = W.release();
            W.cv = w = room;
            if (code != 0) {
              *rc = code;
              break;
            }
          }
          int inserted = 0;
          {
            const double range_start = w->knots[k - 1], range_end = w->knots[w->num_poles];
            Refinement refine(w, w->num_poles + nknots);
            for (int j = 0; j < nknots && *rc == 0; ++j) {
              refine.reach_past(knots.p[j]);
              VOQbsp_curve stretch = refine.view();
              double ptol = 0;
              BSlocknttol(&stretch, knots.p[j], dtol, &ptol, rc);
              if (*rc != 0) break;
              if (knots.p[j] - range_start < ptol || range_end - knots.p[j] < ptol) continue;
              // w is a refined copy of the checked curve: the inserter need not check it again.
              VOQbsp_curve *into = &stretch;
              bsknots::add_knot_total(&stretch, knots.p[j], 1, BSTRUE, &into, true, rc);
              if (*rc != 0) break;
              refine.grew(stretch.num_poles);
              ++inserted;
            }
            refine.finish();
          }
          if (*rc != 0 || inserted == 0) break;
          offset_polygon(w, dist, normal, side, true, out, rc);
          if (*rc != 0) break;
          // The kept points, then the new ones with their targets, all sorted by parameter.
          count = nkeep + fresh;
          if (!params.ensure(count) || !targets.ensure(3 * count) || !ev.ensure(6 * fresh) ||
              !sorted.ensure(4 * count) || !tags.ensure(count) || !bad.ensure(count)) {
            *rc = BSRC_ALLOC_CURVE;
            break;
          }
          std::memcpy(params.p + nkeep, newpar.p, static_cast<std::size_t>(fresh) * sizeof(double));
          if (!make_targets(w, newpar.p, fresh, ev.p, normal, side, dist, targets.p + 3 * nkeep, rc)) break;
          for (int j = 0; j < fresh; ++j) source.p[nkeep + j] = ntested + j;
          if (!keep_tested(newpar.p, targets.p + 3 * nkeep, ev.p, fresh)) {
            *rc = BSRC_ALLOC_CURVE;
            break;
          }
          if (!BStagsort(rc, &count, params.p, tags.p)) break;
          double *sorted_targets = sorted.p + count;
          for (int j = 0; j < count; ++j) {
            sorted.p[j] = params.p[tags.p[j]];
            std::memcpy(sorted_targets + 3 * j, targets.p + 3 * tags.p[j], 3 * sizeof(double));
            bad.p[j] = source.p[tags.p[j]];
          }
          std::memcpy(source.p, bad.p, static_cast<std::size_t>(count) * sizeof(int));
          std::memcpy(params.p, sorted.p, static_cast<std::size_t>(count) * sizeof(double));
          std::memcpy(targets.p, sorted_targets, 3 * static_cast<std::size_t>(count) * sizeof(double));
          check();
        }
        if (*rc != 0) break;
        // Only a check that still fails is a shortfall: a pass that succeeds at the last try is a result.
        if (!ok) *rc = BSRC_OFFSET_PASSES;
      }
    }
    for (int i = 0; i < w->num_poles; ++i) (*out)->poles[3 * i + 2] = w->poles[3 * i + 2];
  } while (false);
  const int code = W.release();
  if (code != 0) *rc = code;
  BSexit(rc, "BSspnoffset", "bsspnoffset");
}
