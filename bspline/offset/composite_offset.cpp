// One-pass offset of a composite curve: the components are offset one after another and each new piece is joined
// to the pieces made so far; corner pieces are re-made between their neighbours' offsets.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "bspline/intersect.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::circular_arc;
using bsoffset::Crossings;
using bsoffset::end_of;
using bsoffset::flat_end;
using bsoffset::FlatZ;
using bsoffset::OwnedCurve;
using bsoffset::pole_point;
using bsoffset::set_pole;
using bsoffset::start_of;

// A working array in the frame up to Local entries, on the heap beyond; zero-filled.
template <class T, int Local>
class Work {
 public:
  Work() = default;
  Work(const Work &) = delete;
  Work &operator=(const Work &) = delete;
  ~Work() {
    if (p_ != local_) BSdbgfree(p_);
  }
  bool take(int n) {
    p_ = n <= Local ? local_ : static_cast<T *>(BSdbgcalloc(n, static_cast<int>(sizeof(T))));
    if (!p_) return false;
    for (int i = 0; i < n; ++i) p_[i] = T();
    return true;
  }
  T &operator[](int i) { return p_[i]; }
  T *data() { return p_; }

 private:
  T local_[Local];
  T *p_ = local_;
};

constexpr int kLocalComps = 100;

bool is_line(const VOQbsp_curve *cv) { return cv->num_poles == 2 && cv->order == 2; }
// A polyline of one leg or more: order 2, polynomial, clamped, not periodic.
bool is_polyline(const VOQbsp_curve *cv) {
  return cv->order == 2 && cv->num_poles >= 2 && !cv->rational && !cv->periodic &&
         cv->knots[0] == cv->knots[1] && cv->knots[cv->num_poles] == cv->knots[cv->num_poles + 1];
}

// A new record equal to src with room for extra more poles; NULL on failure.
VOQbsp_curve *copy_of(const VOQbsp_curve *src, int extra, int *rc) {
  VOQbsp_curve *c = nullptr;
  BSallocvoqcv(src->order, src->num_poles + extra, src->rational, 0, &c, rc);
  if (*rc == 0) BScv_copy(rc, src, c);
  if (*rc != 0 && c) {
    int ignored = 0;
    BSfreevoqcv(c, &ignored);
    c = nullptr;
  }
  return c;
}

// Where the tangent line at a's end meets the one at b's start; rc -1 when they do not meet.
bool tangent_corner(const VOQbsp_curve *a, const VOQbsp_curve *b, double X[3], int *rc) {
  double P1[3], T1[3], P2[3], T2[3];
  if (!flat_end(a, true, P1, T1, rc) || !flat_end(b, false, P2, T2, rc)) return false;
  double Q1[3], Q2[3];
  for (int c = 0; c < 3; ++c) Q1[c] = P1[c] + T1[c], Q2[c] = P2[c] - T2[c];
  if (!BSxln(rc, P1, Q1, P2, Q2, X)) {
    *rc = -1;
    return false;
  }
  return true;
}

struct Chain {
  int n = 0;
  Work<const VOQbsp_curve *, kLocalComps> cv;
  Work<int, kLocalComps> num, type;
  Work<double, kLocalComps> dist;
  Work<VOQbsp_curve *, kLocalComps> off;
  Work<int, kLocalComps> made;     // components whose offset was asked for (off NULL: nothing was left)
  Work<int, kLocalComps> skipped;  // components that left no offset
  Work<double, 2 * kLocalComps + 2> odist;  // the distance each output piece was made with
  VOQbsp_curve **out = nullptr;
  int *tags = nullptr;
  int m = 0, m0 = 0;
  int side = 1;
  const double *normal = nullptr;
  std::int16_t option = 0, flag = 0;
  std::int16_t pending = 0;
  double ppt[3] = {0, 0, 0};
  bool closure = false;
  std::vector<std::array<int, 3>> kinds;  // join kinds already found: (before, after, kind)
  std::vector<std::array<int, 2>> known;  // by the component before the corner: (after, kind), after -1 if none

  // The n components in chain order from `first` on (comps by place, their numbers in comp_order, types and
  // distances by number; no types: all ordinary), the pieces to out and tags; closure where a closed chain's ends
  // meet. False where the work arrays cannot be had.
  bool set_up(int count, const VOQbsp_curve *const *comps, const int *comp_order, const int *types,
              const double *dists, int first, VOQbsp_curve **pieces, int *piece_tags, int sd, const double *nm,
              std::int16_t opt, bool closed) {
    if (!cv.take(count) || !num.take(count) || !type.take(count) || !dist.take(count) || !off.take(count) ||
        !made.take(count) || !skipped.take(count) || !odist.take(2 * count + 2))
      return false;
    n = count;
    for (int i = 0; i < n; ++i) {
      const int at = (i + first) % n;
      cv[i] = comps[at], num[i] = comp_order[at], dist[i] = dists[comp_order[at]];
      type[i] = types ? types[comp_order[at]] : BSCMP_ORDINARY;
    }
    out = pieces, tags = piece_tags, side = sd, normal = nm, option = opt, flag = opt == 1 ? 1 : 0;
    if (closed) {
      double s[3], e[3], d2 = 0;
      pole_point(comps[0], 0, s);
      pole_point(comps[n - 1], comps[n - 1]->num_poles - 1, e);
      for (int c = 0; c < 3; ++c) d2 += (s[c] - e[c]) * (s[c] - e[c]);
      closure = d2 < BStoltab[bstol::dist_sqtol];
    }
    return true;
  }
  // The components' offsets released; the first failure's code, else 0.
  int release_offsets() {
    int code = 0;
    for (int i = 0; i < n; ++i)
      if (off[i]) {
        int c = 0;
        BSfreevoqcv(off[i], &c);
        off[i] = nullptr;
        if (code == 0) code = c;
      }
    return code;
  }

  // A non-NULL replacement takes the slot, releasing what stood there.
  void place(int slot, VOQbsp_curve *r, int *rc) {
    if (!r) return;
    if (slot < 0) slot = 0;
    if (out[slot] && out[slot] != r) {
      int code = 0;
      BSfreevoqcv(out[slot], &code);
      if (*rc == 0) *rc = code;
    }
    out[slot] = r;
  }
  bool append(const VOQbsp_curve *src, int tag, double d, int extra, int *rc) {
    VOQbsp_curve *c = copy_of(src, extra, rc);
    if (!c) return false;
    place(m, c, rc);
    tags[m] = tag;
    odist[m] = d;
    ++m;
    return *rc == 0;
  }
  void drop_last(int *rc) {
    --m;
    if (out[m]) {
      int code = 0;
      BSfreevoqcv(out[m], &code);
      if (*rc == 0) *rc = code;
      out[m] = nullptr;
    }
  }

  int position(int i) const { return i == 1 ? (n > 2 ? 1 : 3) : i == n - 1 ? 3 : 2; }

  // The join kind at the corner between components j and i (1 merge, 2 intersection, 3 extension).
  bool classify(int j, int i, int *kind, int *rc) {
    if (!known.empty() && known[j][0] == i) {
      *kind = known[j][1];
      return true;
    }
    return bsoffset::corner_kind(cv[j], cv[i], normal, side, kind, rc);
  }

  // The offset of ordinary component i, made once: NULL when nothing is left of it.
  bool offset(int i, int *rc) {
    if (made[i]) return true;
    made[i] = 1;
    if (bsoffset::line_offset(cv[i], dist[i], normal, side, &off[i], rc)) return *rc == 0;
    BSxycvoff(cv[i], dist[i], flag, normal, side, &off[i], rc);
    if (*rc == 5) *rc = 0;
    if (*rc == BSRC_NO_JOIN) *rc = 0, off[i] = nullptr;
    return *rc == 0;
  }

  // Whether an overlap corner's result r (as BScmpintoff hands it) runs the piece after the corner back past
  // next's start, or the one before it on past prev's end. Where that cannot be told, it did not.
  static bool extended(const VOQbsp_curve *prev, const VOQbsp_curve *next, VOQbsp_curve *const r[4]) {
    double E[3], TE[3], S[3], TS[3];
    int rc = 0;
    if (!flat_end(prev, true, E, TE, &rc) || !flat_end(next, false, S, TS, &rc)) return false;
    if (!BSnorvec(&rc, TE) || !BSnorvec(&rc, TS)) return false;
    const double tol = BStoltab[bstol::dist_tol];
    const auto beyond = [&](const VOQbsp_curve *c, int pole, const double P[3], const double T[3], double sign) {
      double Y[3];
      pole_point(c, pole, Y);
      return sign * ((Y[0] - P[0]) * T[0] + (Y[1] - P[1]) * T[1]) > tol;
    };
    const VOQbsp_curve *after = r[3] ? r[3] : r[2];
    if (after && beyond(after, 0, S, TS, -1.0)) return true;
    const VOQbsp_curve *ahead = r[1];
    if (!ahead) return false;
    double a[3], b[3];
    pole_point(ahead, 0, a);
    pole_point(ahead, ahead->num_poles - 1, b);
    if (ahead->num_poles == 2 && std::hypot(b[0] - a[0], b[1] - a[1]) <= tol) return false;  // a vanished piece
    return beyond(ahead, ahead->num_poles - 1, E, TE, 1.0);
  }

  // Offset piece next (of component i) joined to the last output piece, with j the component before.
  void join(int j, int i, VOQbsp_curve *next, int *rc) {
    int kind = 0;
    if (!classify(j, i, &kind, rc)) return;
    VOQbsp_curve *r[4] = {nullptr, nullptr, nullptr, nullptr};
    int slot[4];
    const int before = m;
    if (kind == 1) {
      BScmpmrgoff(out[m - 1], next, odist[m - 1], dist[i], num[i], &pending, ppt, &m, tags, odist.data(), &r[0],
                  &r[1], &r[2], rc);
    } else if (kind == 2) {
      // Saved for a curved corner whose pieces do not cross (below).
      const std::int16_t pending0 = pending;
      const double ppt0[3] = {ppt[0], ppt[1], ppt[2]};
      const int tag0 = tags[m - 1];
      const double odist0 = odist[m - 1];
      OwnedCurve prev2;
      if (m >= 2 && !(prev2.cv = copy_of(out[m - 2], 0, rc))) return;
      BScmpintoff(prev2.cv, out[m - 1], next, position(i), m >= 2 ? odist[m - 2] : 0.0, odist[m - 1], dist[i],
                  num[i], &m, tags, odist.data(), &pending, ppt, &r[0], &r[1], &r[2], &r[3], rc);
      const int code = prev2.release();
      if (*rc == 0) *rc = code;
      // Chains of ordinary components are cleared whole where a leg gives way; these come here only beside corner
      // pieces, transitions or distances of zero. A next piece that vanished leaves the one before it to meet the
      // component after it, across both corners together, which past a half turn is away from the offset side and
      // wants its corner curve. Cut back to where the vanished piece's line crosses it, the previous piece no longer
      // ends at the distance from the corner, and a curve made from there bulges out past the distance. Curved
      // corners pass the vanished piece over and leave the previous one whole, for the corner curve to start where
      // its offset ends.
      bool passed_over = false;
      if (*rc == 0 && option != 0 && r[1] && !r[2] && !r[3] && i + 1 < n && type[i + 1] == BSCMP_ORDINARY) {
        int after = 0, ignored = 0;
        passed_over = classify(j, i + 1, &after, &ignored) && after == 3;
      }
      // Pieces that do not cross are extended along their end tangents until they do, which is a mitre: past a
      // sharp turn onto a leg too short to reach the other piece, their lines may meet far from the corner, across
      // the offset of some other part of the curve. Curved corners want no mitre; the two ends, both at the
      // distance from the corner, are joined by its corner curve instead.
      if (*rc == 0 && option != 0 && (passed_over || extended(out[before - 1], next, r))) {
        for (VOQbsp_curve *&c : r)
          if (c) {
            int freed = 0;
            BSfreevoqcv(c, &freed);
            c = nullptr;
            if (*rc == 0) *rc = freed;
          }
        m = before, pending = pending0, tags[m - 1] = tag0, odist[m - 1] = odist0;
        for (int c = 0; c < 3; ++c) ppt[c] = ppt0[c];
        if (passed_over) {
          skipped[i] = 1, m0 = m;
          return;
        }
        kind = 3;
        if (*rc == 0)
          BScmpextoff(cv[j], cv[i], out[m - 1], next, option, odist[m - 1], dist[i], normal, side, num[i],
                      &pending, ppt, &m, tags, odist.data(), &r[0], &r[1], &r[2], rc);
      }
    } else {
      BScmpextoff(cv[j], cv[i], out[m - 1], next, option, odist[m - 1], dist[i], normal, side, num[i], &pending,
                  ppt, &m, tags, odist.data(), &r[0], &r[1], &r[2], rc);
    }
    if (kind == 2) {
      slot[0] = before - 2, slot[1] = before - 1;
      slot[2] = r[1] ? before : before - 1, slot[3] = slot[2] + 1;
      m0 = r[1] ? before : before - 1;
    } else {
      slot[0] = before - 1, slot[1] = before, slot[2] = before + 1, slot[3] = -1;
      m0 = before;
    }
    int code = 0;
    for (int k = 0; k < 4; ++k)
      if (r[k]) place(slot[k], r[k], &code);
    if (*rc == 0) *rc = code;
  }

  // Step for an ordinary component at working position i.
  void ordinary(int i, int *rc) {
    if (!offset(i, rc)) return;
    if (!off[i]) {  // nothing is left of this component: it is passed over
      skipped[i] = 1;
      return;
    }
    int j = i >= 2 && m == m0 ? i - 2 : i - 1;
    // The corner is the one after the last component that left an offset.
    while (j > 0 && skipped[j]) --j;
    if (m == 0 || (dist[i] == 0.0 && dist[j] == 0.0)) {
      // Room for the extension a later join may merge onto it.
      append(off[i], num[i], dist[i], 2 * off[i]->order - 2, rc);
      return;
    }
    join(j, i, off[i], rc);
    if (*rc == BSRC_NO_JOIN && (i < n - 1 || m > 1)) {
      *rc = 0;
      drop_last(rc);
    }
  }

  // Nothing made: the offsets stay for the joins.
  static bool decline() { return false; }

  // A chain of lines offset with extended corners is the mitred offset: every leg's offset line runs from
  // where it crosses the previous alive leg's line to where it crosses the next one's. Joined corner by corner, a
  // short leg whose two crossings come in reverse order would be dropped and its neighbours bridged past it; here
  // the distances grow from 0 together and legs go in the order in which they vanish, so that a leg keeps its
  // line as long as it has room between its neighbours, and a corner is where the lines that are left meet. Two
  // alive legs that run against each other meet head on once their lines have passed: the one that still runs
  // between its other neighbours stays, else both go. Two that run on along one line meet half-way between their
  // ends. The end legs of an open chain keep its ends; of a closed one nothing is left once fewer than three
  // legs remain. False, with nothing made, where the joins can join the chain: where no leg has to give way, and
  // where two alive legs run side by side or apart, or a leg has no length; with curved corners also where a leg
  // that goes leaves its neighbours a corner that turns away from the offset side.
  bool mitred(int *rc) {
    const double tol = BStoltab[bstol::dist_tol];
    const auto cross = [](const double a[2], const double b[2]) { return a[0] * b[1] - a[1] * b[0]; };
    Work<double, 6 * kLocalComps> geo;  // per leg: start, unit direction, offset at the full distance
    Work<double, kLocalComps> len;
    Work<int, kLocalComps> prev, next;
    Work<double, kLocalComps + 1> turned;  // the turns of the corners before each leg, summed from the first
    if (!geo.take(6 * n) || !len.take(n) || !prev.take(n) || !next.take(n) || !turned.take(n + 1)) {
      *rc = BSRC_NO_SCRATCH;
      return false;
    }
    for (int k = 0; k < n; ++k) {
      if (!offset(k, rc)) return false;
      if (!off[k]) return decline();
      double a[3], b[3], o[3];
      pole_point(cv[k], 0, a);
      pole_point(cv[k], 1, b);
      pole_point(off[k], 0, o);
      len[k] = std::hypot(b[0] - a[0], b[1] - a[1]);
      if (!(len[k] > tol)) return decline();
      double *g = &geo[6 * k];
      g[0] = a[0], g[1] = a[1], g[2] = (b[0] - a[0]) / len[k], g[3] = (b[1] - a[1]) / len[k];
      g[4] = o[0] - a[0], g[5] = o[1] - a[1];
      prev[k] = k - 1, next[k] = k + 1 < n ? k + 1 : -1;
    }
    if (closure) prev[0] = n - 1, next[n - 1] = 0;
    for (int k = 0; k < n; ++k) {
      const double *dq = &geo[6 * k + 2], *dr = &geo[6 * ((k + 1) % n) + 2];
      turned[k + 1] = turned[k] + std::atan2(cross(dq, dr), dq[0] * dr[0] + dq[1] * dr[1]);
    }
    // The line of leg k at the share f of its distance: a point and the direction.
    const auto at = [&](int k, double f, double p[2]) {
      const double *g = &geo[6 * k];
      p[0] = g[0] + f * g[4], p[1] = g[1] + f * g[5];
    };
    // Where, along leg k's line from its offset start, it meets leg j's, which comes after it or before; NaN
    // where they run side by side (half-way between their ends when on one line).
    const auto meet = [&](int k, int j, bool after, double f) {
      double pk[2], pj[2];
      at(k, f, pk), at(j, f, pj);
      const double *dk = &geo[6 * k + 2], *dj = &geo[6 * j + 2];
      const double w[2] = {pj[0] - pk[0], pj[1] - pk[1]}, c = cross(dk, dj);
      if (std::fabs(c) > 1e-12) return cross(w, dj) / c;
      if (std::fabs(cross(w, dk)) > tol || dk[0] * dj[0] + dk[1] * dj[1] < 0) return static_cast<double>(NAN);
      const double ends = w[0] * dk[0] + w[1] * dk[1] + (after ? 0.0 : len[j]);
      return 0.5 * (ends + (after ? len[k] : 0.0));
    };
    const auto span = [&](int k, double f, double *u0, double *u1) {
      *u0 = prev[k] < 0 ? 0.0 : meet(k, prev[k], false, f);
      *u1 = next[k] < 0 ? len[k] : meet(k, next[k], true, f);
      return *u1 - *u0;
    };
    // What happens next to leg k, from its own line and its neighbours' alone: its lines and the next leg's
    // pass (pair), or its crossings come in reverse order, at the share f of the distance; none at all (has
    // false), or a pair the joins must take (fails).
    struct Event {
      double f = INFINITY;
      bool has = false, pair = false, fails = false;
    };
    const auto event_of = [&](int k) {
      Event e;
      const int q = next[k];
      if (q >= 0 && std::isnan(meet(k, q, true, 1.0))) {
        const double *dk = &geo[6 * k + 2], *dq = &geo[6 * q + 2];
        double p0[2], q0[2], p1[2], q1[2];
        at(k, 0, p0), at(q, 0, q0), at(k, 1, p1), at(q, 1, q1);
        const double w0[2] = {q0[0] - p0[0], q0[1] - p0[1]}, w1[2] = {q1[0] - p1[0], q1[1] - p1[1]};
        const double g0 = cross(dk, w0), g1 = cross(dk, w1);  // how far q's line lies to the left of k's
        const bool passed = std::fabs(g0) > tol && (g0 * g1 < 0.0 || std::fabs(g1) <= tol);
        e.fails = dk[0] * dq[0] + dk[1] * dq[1] > 0.0 || !passed;
        if (!e.fails) e.f = g0 / (g0 - g1), e.has = e.pair = true;
        return e;
      }
      if (prev[k] < 0 || next[k] < 0) return e;  // the chain's ends stay
      double u0, u1;
      const double l1 = span(k, 1.0, &u0, &u1);
      if (std::isnan(l1) || l1 >= -tol) return e;
      const double l0 = span(k, 0.0, &u0, &u1);
      e.f = l0 <= 0.0 ? 0.0 : l0 / (l0 - l1), e.has = true;
      return e;
    };
    // The events in a queue, earliest first and, at one time, the first leg in the chain's order; an entry stands
    // while its leg's links are those it was found with. A leg's event changes only where a neighbour goes, so
    // that each step costs the few legs about it rather than a pass along the chain.
    struct Queued {
      double f;
      int k, version;
      bool pair;
      bool operator>(const Queued &o) const { return f > o.f || (f == o.f && k > o.k); }
    };
    std::priority_queue<Queued, std::vector<Queued>, std::greater<Queued>> queue;
    std::vector<int> version(static_cast<std::size_t>(n), 0);
    bool fails = false;
    const auto find = [&](int k) {
      const Event e = event_of(k);
      ++version[k];
      fails = fails || e.fails;
      if (e.has) queue.push({e.f, k, version[k], e.pair});
    };
    for (int k = 0; k < n; ++k) find(k);
    int first = 0, alive = n;
    std::vector<char> gone_leg(static_cast<std::size_t>(n), 0);
    // A closed chain is left with nothing once fewer than three legs remain.
    while (alive > (closure ? 2 : 0)) {
      // Two legs side by side or apart: the joins take the chain.
      if (fails) return decline();
      // The earliest event: a leg whose crossings come in reverse order, or two legs whose lines pass.
      while (!queue.empty() && (gone_leg[queue.top().k] || queue.top().version != version[queue.top().k]))
        queue.pop();
      if (queue.empty()) break;
      const double when = queue.top().f;
      const int leg = queue.top().k;
      const bool pair = queue.top().pair;
      queue.pop();
      int gone[2] = {leg, pair ? next[leg] : -1};
      if (pair) {
        // Once their lines have passed, the one that still runs between its other neighbours is kept.
        const int a = leg, b = next[leg];
        const auto runs_without = [&](int drop, int keep) {
          int &link = drop == a ? prev[keep] : next[keep];
          link = drop == a ? prev[drop] : next[drop];
          double u0, u1;
          const double l0 = span(keep, when, &u0, &u1), l1 = span(keep, 1.0, &u0, &u1);
          link = drop;
          return l0 > tol || (l0 > -tol && l1 > l0);
        };
        const bool keep_b = runs_without(a, b), keep_a = runs_without(b, a);
        if (keep_a != keep_b) gone[0] = keep_a ? b : a, gone[1] = -1;
      }
      for (int k : gone) {
        if (k < 0) continue;
        if (prev[k] >= 0) next[prev[k]] = next[k];
        if (next[k] >= 0) prev[next[k]] = prev[k];
        if (k == first) first = next[k];
        gone_leg[k] = 1;
        --alive;
      }
      // The legs about one that went turn by both its corners together. Past a half turn towards the offset side
      // their lines cross behind the corner, beside the legs that went, and the mitre there is no offset; curved
      // corners are mitred here only because every corner trims, and a corner that turns away from the offset
      // side wants its curve. The joins or the clearing take the chain then.
      for (int k : gone) {
        if (k < 0 || (closure && alive <= 2)) continue;
        const int a = prev[k], b = next[k];
        if (a < 0 || b < 0 || a == b || a == gone[0] || a == gone[1] || b == gone[0] || b == gone[1]) continue;
        const double *da = &geo[6 * a + 2], *db = &geo[6 * b + 2];
        const double towards = cross(da, &geo[6 * a + 4]) > 0.0 ? 1.0 : -1.0;
        // The turn from a to b over the legs between (round the closing corner when b comes before a), signed
        // towards the offset side.
        const double total = towards * (turned[b] - turned[a] + (b < a ? turned[n] : 0.0));
        if (total > M_PI) return decline();
        const double turn = cross(da, db);
        if (option != 0 && std::fabs(turn) > 1e-12 && turn * towards < 0.0) return decline();
      }
      // The legs that now meet each other.
      for (int k : gone)
        if (k >= 0)
          for (const int about : {prev[k], next[k]})
            if (about >= 0 && !gone_leg[about]) find(about);
    }
    if (closure && alive <= 2) alive = 0;
    // Where no leg went and every corner lies on both its pieces or on their extensions past the corner, the
    // joins make the same corners.
    bool joinable = alive == n;
    for (int k = 0; k < n && joinable; ++k) {
      double u0, u1;
      span(k, 1.0, &u0, &u1);
      joinable = u0 < len[k] - tol && u1 > tol;
    }
    if (joinable) return decline();
    // The legs left, from the first component's on.
    while (alive > 0 && closure && first > 0 && prev[first] < first) first = prev[first];
    for (int k = first, left = alive; left > 0 && *rc == 0; k = next[k], --left) {
      double u0, u1, p[2];
      if (!(span(k, 1.0, &u0, &u1) > tol)) continue;  // a leg left no room: only its line counts
      at(k, 1.0, p);
      const double *d = &geo[6 * k + 2];
      VOQbsp_curve *c = copy_of(off[k], 0, rc);
      if (!c) return true;
      for (int e = 0; e < 2; ++e) {
        double X[3];
        pole_point(off[k], e, X);
        X[0] = p[0] + (e ? u1 : u0) * d[0], X[1] = p[1] + (e ? u1 : u0) * d[1];
        set_pole(c, e, X);
      }
      place(m, c, rc);
      tags[m] = num[k];
      odist[m] = dist[k];
      ++m;
    }
    if (*rc == 0 && m == 0) *rc = BSRC_NO_JOIN;
    return true;
  }

  // The chain (every component a line or a polyline) mitred as the chain of its legs, each polyline's legs lines of
  // their own: a polyline given as one component is offset as the same legs given apart, and the offsets of one
  // component's legs that follow each other are one piece again, its corners the mitres' points. False, with
  // nothing made, where the mitred road declines the legs.
  bool mitred_legs(int *rc) {
    int count = 0;
    for (int i = 0; i < n; ++i) count += cv[i]->num_poles - 1;
    // The legs are records over one array of poles and one knot vector: read only, they need no records of their
    // own.
    std::vector<VOQbsp_curve> segs(static_cast<std::size_t>(count));
    std::vector<double> seg_poles(6 * static_cast<std::size_t>(count));
    static const double knots[4] = {0, 0, 1, 1};
    std::vector<const VOQbsp_curve *> legs;
    std::vector<int> parent, order;
    std::vector<double> dists;
    // Legs of no length are points of the chain only.
    for (int i = 0, k = 0; i < n; ++i)
      for (int j = 0; j + 1 < cv[i]->num_poles; ++j) {
        double a[3], b[3];
        pole_point(cv[i], j, a), pole_point(cv[i], j + 1, b);
        if (!(std::hypot(b[0] - a[0], b[1] - a[1]) > BStoltab[bstol::dist_tol])) continue;
        VOQbsp_curve *c = &segs[k];
        c->order = 2, c->num_poles = 2, c->num_knots = 4, c->rational = BSFALSE, c->periodic = 0;
        c->non_uniform = 0, c->planar = BSTRUE, c->phy_closed = BSFALSE, c->num_boundaries = 0, c->bdrys = nullptr;
        c->knots = const_cast<double *>(knots), c->weights = nullptr, c->poles = seg_poles.data() + 6 * k;
        for (int e = 0; e < 2; ++e) {
          double p[3];
          pole_point(cv[i], j + e, p);
          for (int q = 0; q < 3; ++q) c->poles[3 * e + q] = p[q];
        }
        legs.push_back(c), parent.push_back(i), order.push_back(k), dists.push_back(dist[i]);
        ++k;
      }
    count = static_cast<int>(legs.size());
    if (count < 2) return false;
    Chain lc;
    std::vector<VOQbsp_curve *> pieces(static_cast<std::size_t>(2 * count + 1), nullptr);
    std::vector<int> piece_tags(pieces.size(), 0);
    if (!lc.set_up(count, legs.data(), order.data(), nullptr, dists.data(), 0, pieces.data(), piece_tags.data(), side,
                   normal, option, closure)) {
      *rc = BSRC_NO_SCRATCH;
      return true;
    }
    bool made = lc.mitred(rc);
    int code = lc.release_offsets();
    if (*rc == 0) *rc = code;
    // A leg the road cannot take leaves the chain to the general road, as the polyline whole.
    if (*rc != 0) *rc = 0, made = false;
    bool ok = made && *rc == 0;
    // The legs' pieces in order: those of one component that follow each other become one polyline.
    for (int k = 0; k < lc.m && ok;) {
      const int tag = piece_tags[k];
      int e = k + 1;
      while (e < lc.m && parent[piece_tags[e]] == parent[tag]) ++e;
      VOQbsp_curve *c = nullptr;
      const int poles = e - k + 1;
      BSallocvoqcv(2, poles, BSFALSE, 0, &c, rc);
      if (*rc != 0) break;
      c->order = 2, c->num_poles = poles, c->num_knots = poles + 2, c->rational = BSFALSE, c->periodic = 0;
      c->non_uniform = 0, c->planar = BSTRUE, c->phy_closed = BSFALSE, c->num_boundaries = 0;
      c->knots[0] = 0;
      for (int q = 0; q < poles; ++q) c->knots[q + 1] = q;
      c->knots[poles + 1] = poles - 1;
      for (int q = 0; q < poles; ++q) {
        double p[3];
        const VOQbsp_curve *from = pieces[q < poles - 1 ? k + q : e - 1];
        pole_point(from, q < poles - 1 ? 0 : 1, p);
        for (int x = 0; x < 3; ++x) c->poles[3 * q + x] = p[x];
      }
      // The legs' own offsets end on each other's mitres; the later start is the earlier end.
      place(m, c, rc);
      tags[m] = num[parent[tag]];
      odist[m] = dist[parent[tag]];
      ++m;
      k = e;
    }
    for (VOQbsp_curve *&p : pieces) {
      int ignored = 0;
      if (p) BSfreevoqcv(p, &ignored);
    }
    if (*rc == 0 && made && m == 0) *rc = BSRC_NO_JOIN;
    return made || *rc != 0;
  }

  // Whether the chain turns back by more than 120 degrees at a corner with a curved side. Past such a hairpin an
  // arc's offset can sweep over its neighbour's far end, or its neighbour run back under it within the distance,
  // which no corner join sees (two lines cannot: each lies on the far side of the other's line from its offset).
  // The clearing takes such a chain.
  bool hairpin() {
    for (int c = 0; c < (closure ? n : n - 1); ++c) {
      const int j = c, i = (c + 1) % n;
      if (is_line(cv[j]) && is_line(cv[i])) continue;
      // A component without a direction at its end (its poles on one point) makes no hairpin.
      double P[3], T1[3], T2[3];
      int lrc = 0;
      if (!flat_end(cv[j], true, P, T1, &lrc) || !flat_end(cv[i], false, P, T2, &lrc)) continue;
      const double l1 = std::hypot(T1[0], T1[1]), l2 = std::hypot(T2[0], T2[1]);
      if (l1 > 0.0 && l2 > 0.0 && T1[0] * T2[0] + T1[1] * T2[1] < -0.5 * l1 * l2) return true;
    }
    return false;
  }

  // A chain of ordinary components in which a leg gives way, offset whole and cleared of what comes nearer to it
  // than the distance; false (nothing made) where the corner joins can join it.
  bool cleared(int *rc) {
    // A polyline's legs are offset one by one where the chain is cleared; its whole offset waits for the joins.
    for (int i = 0; i < n; ++i)
      if (!(cv[i]->order == 2 && cv[i]->num_poles >= 3) && !offset(i, rc)) return true;
    bsoffset::LegChain legs = leg_chain(hairpin());
    legs.legs_unmade = true;
    const bool made = bsoffset::clear_offset(legs, 2 * n + 1, &m, out, tags, odist.data(), rc);
    known.assign(static_cast<std::size_t>(n), {-1, 0});
    for (const auto &k : kinds) known[k[0]] = {k[1], k[2]};
    return made;
  }
  bsoffset::LegChain leg_chain(bool tucked) {
    bsoffset::LegChain legs;
    legs.tucked = tucked;
    legs.n = n, legs.cv = cv.data(), legs.off = off.data(), legs.num = num.data(), legs.dist = dist.data();
    legs.side = side, legs.normal = normal, legs.option = option, legs.closed = closure, legs.kinds = &kinds;
    return legs;
  }

  // The pieces the joins made, where they come nearer to the chain than its distance beside their own corners,
  // given up for the chain cleared whole. True when that was done (or failed, rc set).
  bool recleared(int *rc) {
    const bsoffset::LegChain legs = leg_chain(true);
    if (bsoffset::keeps_distance(legs, m, out, tags, rc) || *rc != 0) return *rc != 0;
    while (m > 0 && *rc == 0) drop_last(rc);
    for (int i = m; i < 2 * n + 1; ++i)
      if (out[i]) {
        int code = 0;
        BSfreevoqcv(out[i], &code);
        out[i] = nullptr;
        if (*rc == 0) *rc = code;
      }
    if (*rc != 0) return true;
    pending = 0, m0 = 0;
    kinds.clear();
    bsoffset::clear_offset(legs, 2 * n + 1, &m, out, tags, odist.data(), rc);
    return true;
  }

  // Step for a transition component: its distance runs from its predecessor's to its successor's.
  void transition(int i, int *rc) {
    double d0, d1;
    if (i == 0) {
      d0 = closure ? dist[n - 1] : dist[0];
      d1 = n > 1 ? dist[1] : dist[0];
    } else {
      d0 = dist[i - 1];
      d1 = i < n - 1 ? dist[i + 1] : closure ? dist[0] : dist[i];
    }
    const BSdistlaw linear = {1, nullptr, 0, 0};
    BSxycvoffwl(cv[i], d0, d1, &linear, flag, normal, side, &off[i], rc);
    if (*rc == 5) *rc = 0;
    if (*rc == BSRC_NO_JOIN) {  // every piece of it is degenerate: passed over like a vanished component
      *rc = 0;
      skipped[i] = 1;
      return;
    }
    if (*rc != 0) return;
    if (i == 0 || m == 0) {
      append(off[i], num[i], dist[i], 0, rc);
      return;
    }
    int j = i - 1;
    while (j > 0 && skipped[j]) --j;
    join(j, i, off[i], rc);
  }

  // The end of a against the start of b: trimmed at their latest crossing on a (levelled in z), else the
  // end pole of a (level_a) or the start pole of b moved onto the other's point.
  void meet(VOQbsp_curve *a, VOQbsp_curve *b, double d1, double d2, int mode, bool level_a, int *rc) {
    Crossings x;
    {
      FlatZ fa, fb;
      if (!fa.flatten(a) || !fb.flatten(b)) {
        *rc = BSRC_NO_SCRATCH;
        return;
      }
      x.find(a, b, rc);
    }
    if (*rc != 0) return;
    if (x.n_int > 0) {
      int best = 0;
      for (int k = 1; k < x.n_int; ++k)
        if (x.par1[k] > x.par1[best]) best = k;
      const double u1 = x.par1[best], u2 = x.par2[best];
      const double a0 = start_of(a), a1 = end_of(a), b0 = start_of(b), b1 = end_of(b);
      int spare = 0;
      BScvinttrmd(d1, d2, a, b, mode, ppt, &pending, &spare, rc);
      if (*rc == 0) BSjntmtchz(level_a ? 1 : 0, a, b, &u1, &u2, rc);
      if (*rc == 0) BSofrparcv(a, a0, a1, rc);
      if (*rc == 0) BSofrparcv(b, b0, b1, rc);
    } else if (level_a) {
      double s[3];
      pole_point(b, 0, s);
      set_pole(a, a->num_poles - 1, s);
    } else {
      double e[3];
      pole_point(a, a->num_poles - 1, e);
      set_pole(b, 0, e);
    }
  }

  // Step for a corner piece at position i: re-made between the last output and the next component's offset.
  // *both: the next component was done with it.
  void corner(int i, bool *both, int *rc) {
    *both = false;
    if (m == 0 || (i == n - 1 && m < 2)) {  // nothing of its neighbours is left to join it to
      *rc = BSRC_NO_JOIN;
      return;
    }
    if (pending) {
      BScvtrmpt(out[m - 1], ppt, rc);
      if (*rc != 0) return;
      pending = 0;
    }
    const VOQbsp_curve *next_comp;
    VOQbsp_curve *next;
    double next_d;
    if (i < n - 1) {
      if (!offset(i + 1, rc)) return;
      if (!off[i + 1]) {
        *rc = BSRC_NO_JOIN;
        return;
      }
      next = off[i + 1], next_comp = cv[i + 1], next_d = dist[i + 1];
    } else {
      next = out[0], next_comp = cv[0], next_d = dist[0];
    }
    OwnedCurve made, next_ext;
    double centre[3], R = 0;
    const std::uint16_t is_arc = circular_arc(cv[i], centre, &R, rc);
    if (*rc != 0) return;
    VOQbsp_curve *last = out[m - 1];
    if (is_arc && !(is_line(cv[i - 1]) && is_line(next_comp))) {
      Crossings x;
      x.find(last, next, rc);
      if (*rc != 0) return;
      double E[3], S[3], M[3];
      pole_point(last, last->num_poles - 1, E);
      pole_point(next, 0, S);
      for (int c = 0; c < 3; ++c) {
        M[c] = 0.5 * (E[c] + S[c]);
        if (x.n_int > 0) M[c] = 2.0 * x.pts[c] - M[c];
      }
      VOQbsp_curve *longer = nullptr;
      BScvextdst(last, 10.0 * std::max(odist[m - 1], R), end_of(last), &longer, rc);
      if (*rc != 0) return;
      place(m - 1, longer, rc);
      last = longer;
      BScvextdst(next, 10.0 * std::max(next_d, R), start_of(next), &next_ext.cv, rc);
      if (*rc != 0) return;
      next = next_ext.cv;
      if (next_d > 0.0 || odist[m - 1] > 0.0) {
        // An arc of order 3 may take up to 9 poles.
        BSallocvoqcv(3, 9, BSTRUE, 0, &made.cv, rc);
        if (*rc == 0) BSfillet3d(last, next, R, E, S, M, normal, made.cv, rc);
      } else {
        made.cv = copy_of(cv[i], 0, rc);
      }
    } else {
      // A fillet between lines keeps its radius: translated with the corner of the tangent lines.
      double X0[3], X1[3];
      if (!tangent_corner(cv[i - 1], next_comp, X0, rc) || !tangent_corner(last, next, X1, rc)) return;
      if (!(made.cv = copy_of(cv[i], 0, rc))) return;
      for (int k = 0; k < made.cv->num_poles; ++k) {
        const double w = made.cv->rational ? made.cv->weights[k] : 1.0;
        for (int c = 0; c < 3; ++c) made.cv->poles[3 * k + c] += (X1[c] - X0[c]) * w;
      }
    }
    if (*rc != 0) return;
    meet(last, made.cv, odist[m - 1], dist[i], position(i), true, rc);
    // The next piece is cut at once where no later join will: before the last component, and at the seam.
    if (*rc == 0) meet(made.cv, next, dist[i], next_d, i >= n - 2 ? 3 : 2, false, rc);
    if (*rc != 0 || !append(made.cv, num[i], dist[i], 0, rc)) return;
    if (i < n - 1) {
      append(next, num[i + 1], dist[i + 1], 0, rc);
      *both = true;
    } else if (next != out[0]) {
      // The first piece was lengthened and trimmed to meet the corner: that is the piece that joins.
      VOQbsp_curve *c = copy_of(next, 0, rc);
      if (c) place(0, c, rc);
    }
  }

  // The joint between the last and the first piece of a closed chain.
  void close(int *rc) {
    OwnedCurve prev, second;
    if (m > 2 && (!(prev.cv = copy_of(out[m - 2], 0, rc)) || !(second.cv = copy_of(out[1], 0, rc)))) return;
    if (out[m]) {
      int code = 0;
      BSfreevoqcv(out[m], &code);
      out[m] = nullptr;
      if ((*rc = code) != 0) return;
    }
    VOQbsp_curve *r[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    const int before = m;
    BScmpoffcls(cv[n - 1], cv[0], prev.cv, out[m - 1], out[0], second.cv, m > 2 ? odist[m - 2] : 0.0,
                odist[m - 1], odist[0], m > 2 ? odist[1] : 0.0, n, option, normal, side, &m, tags, odist.data(),
                &pending, ppt, &r[0], &r[1], &r[2], &r[3], &r[4], rc);
    const int slot[5] = {before - 2, before - 1, 0, 1, before};
    int code = 0;
    for (int k = 0; k < 5; ++k)
      if (r[k]) place(slot[k], r[k], &code);
    for (OwnedCurve *c : {&prev, &second}) {
      const int c_code = c->release();
      if (code == 0) code = c_code;
    }
    if (*rc == 0) *rc = code;
  }
};

}  // namespace

bool bsoffset::line_offset(const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve **out,
                           int *rc) {
  if (bstest::slow_roads() || !cv || cv->order != 2 || cv->num_poles != 2 || cv->rational || cv->periodic ||
      cv->phy_closed || !cv->poles || !cv->knots)
    return false;
  const double *t = cv->knots, *P = cv->poles;
  if (!(t[0] == t[1] && t[1] < t[2] && t[2] == t[3]) || !BSallfinite(6, P) || P[2] != P[5]) return false;
  if (!normal || normal[0] != 0.0 || normal[1] != 0.0 || (normal[2] != 1.0 && normal[2] != -1.0)) return false;
  // Distances the general offset treats as none, or that its own checks refuse, stay with it.
  if ((side != 1 && side != -1) || !std::isfinite(dist) || !(std::fabs(dist) >= 1e-14)) return false;
  // The leg's normal as the offset polygon takes it: t x normal, made unit.
  const double tx = P[3] - P[0], ty = P[4] - P[1];
  double n[3] = {normal[2] == 1.0 ? ty : -ty, normal[2] == 1.0 ? -tx : tx, 0.0};
  // A leg too short to have a direction is the general offset's to report.
  if (!(tx * tx + ty * ty > 1.0020841800044864e-292)) return false;
  int nrc = 0;
  if (!BSnorvec(&nrc, n) || nrc != 0) return false;
  VOQbsp_curve *o = nullptr;
  BSallocvoqcv(2, 2, BSFALSE, 0, &o, rc);
  if (*rc != 0) return true;
  o->order = 2, o->num_poles = 2, o->num_knots = 4, o->rational = BSFALSE, o->weights = nullptr, o->periodic = 0;
  o->non_uniform = cv->non_uniform, o->planar = cv->planar, o->phy_closed = 0;
  o->num_boundaries = 0, o->bdrys = nullptr;
  for (int k = 0; k < 4; ++k) o->knots[k] = t[k];
  for (int e = 0; e < 2; ++e) {
    for (int c = 0; c < 2; ++c) o->poles[3 * e + c] = P[3 * e + c] + side * dist * n[c];
    o->poles[3 * e + 2] = P[3 * e + 2];
  }
  *out = o;
  return true;
}

void BSjntmtchz(std::uint16_t at_end, VOQbsp_curve *a, VOQbsp_curve *b, const double *ua, const double *ub,
                int *rc) {
  bsoffset::level_joint(at_end, a, b, ua, ub, rc);
}

void BScmpcvoff1(int num_comps, const VOQbsp_curve *const *comps, const int *comp_types, const int *comp_order,
                 int side, const double normal[3], const double *dists, std::int16_t option, std::int16_t closed,
                 int *num_out, VOQbsp_curve **out, int *tags, int *rc) {
  *rc = 0;
  if (num_out) *num_out = 0;
  if (!comps || !comp_types || !comp_order || !normal || !dists || !num_out || !out || !tags) {
    *rc = BSRC_NULL_CURVE;
    BSexit(rc, "BScmpcvoff1", "bscmpcvoff1");
    return;
  }
  Chain ch;
  const int n = num_comps;
  do {
    if (n < 1 || (side != 1 && side != -1) || !BSallfinite(3, normal)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    for (int i = 0; i < n && *rc == 0; ++i) {
      if (comp_order[i] < 0 || comp_order[i] >= n || !std::isfinite(dists[comp_order[i]])) *rc = BSRC_OUT_OF_RANGE;
      if (*rc == 0) *rc = BScvcheck(comps[i]);
    }
    if (*rc != 0) break;
    const auto type_at = [&](int i) { return comp_types[comp_order[i]]; };
    const bool rotated = type_at(0) == BSCMP_CORNER;
    if ((rotated && (!closed || (n > 1 && type_at(1) == BSCMP_CORNER) || n == 1)) ||
        (type_at(n - 1) == BSCMP_CORNER && !closed) ||
        (n == 2 && type_at(0) == BSCMP_TRANSITION && type_at(1) == BSCMP_TRANSITION)) {
      *rc = -6;
      break;
    }
    for (int i = 0; i < n && *rc == 0; ++i)
      if (type_at(i) < BSCMP_ORDINARY || type_at(i) > BSCMP_TRANSITION) *rc = BSRC_OUT_OF_RANGE;
    if (*rc != 0) break;
    if (!ch.set_up(n, comps, comp_order, comp_types, dists, rotated ? 1 : 0, out, tags, side, normal, option,
                   closed != 0)) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    // Where every corner turns towards the offset side the joins only trim, whatever the option: no corner curve
    // is made, and a chain of lines in which a leg has to give way is mitred as with option 0.
    bool trims_only = option != 0;
    for (int i = 0; i < n && trims_only; ++i) {
      if (i == 0 && !(closed && ch.closure)) continue;
      int kind = 0;
      trims_only = ch.classify(i == 0 ? n - 1 : i - 1, i, &kind, rc) && kind == 2;
      *rc = 0;
    }
    bool lines = (!closed || ch.closure) && (option == 0 || trims_only);
    for (int i = 0; i < n && lines; ++i)
      lines = ch.type[i] == BSCMP_ORDINARY && is_line(ch.cv[i]) && ch.dist[i] > BStoltab[bstol::dist_tol];
    bool done = lines && ch.mitred(rc);
    // A chain of lines and polylines with sharp corners, some leg giving way: mitred leg by leg as a chain of lines.
    bool polylines = !lines && *rc == 0 && (!closed || ch.closure) && option == 0;
    for (int i = 0; i < n && polylines; ++i)
      polylines = ch.type[i] == BSCMP_ORDINARY && is_polyline(ch.cv[i]) && ch.dist[i] > BStoltab[bstol::dist_tol];
    if (polylines) done = ch.mitred_legs(rc);
    // Ordinary components offset by distances, open or closed end to end: where a leg gives way the offset is made
    // whole and cleared.
    bool plain = !done && *rc == 0 && (!closed || ch.closure);
    for (int i = 0; i < n && plain; ++i)
      plain = ch.type[i] == BSCMP_ORDINARY && ch.dist[i] > BStoltab[bstol::dist_tol];
    if (plain) done = ch.cleared(rc);
    for (int i = 0; i < n && *rc == 0 && !done; ++i) {
      if (ch.type[i] == BSCMP_ORDINARY) {
        ch.ordinary(i, rc);
      } else if (ch.type[i] == BSCMP_TRANSITION) {
        ch.transition(i, rc);
      } else {
        bool both = false;
        ch.corner(i, &both, rc);
        if (both) ++i;
      }
    }
    if (*rc != 0) break;
    if (closed && !done && ch.m >= 1 && !(ch.odist[ch.m - 1] == 0.0 && ch.odist[0] == 0.0)) ch.close(rc);
    // The joins see each corner's two legs only: where their pieces come nearer to the chain than the distance
    // beside them, the chain is cleared whole after all.
    if (*rc == 0 && plain && !done && ch.m >= 1) ch.recleared(rc);
    if (*rc != 0 || !rotated || ch.m < 1) break;
    // Back into the input order: the corner piece, and what the closing joint appended after it, come first.
    int from = ch.m - 1;
    while (from > 0 && tags[from] != comp_order[0]) --from;
    std::rotate(out, out + from, out + ch.m);
    std::rotate(tags, tags + from, tags + ch.m);
  } while (false);
  *num_out = ch.m;
  const int code = ch.release_offsets();
  if (*rc == 0) *rc = code;
  BSexit(rc, "BScmpcvoff1", "bscmpcvoff1");
}

bool bsoffset::clear_astray(int n, const VOQbsp_curve *const *comps, const int *comp_order, int side,
                            const double normal[3], const double *dists, std::int16_t option, std::int16_t closed,
                            int m, VOQbsp_curve *const *pieces, const int *tags, const char *judge, int *num_out,
                            VOQbsp_curve **out, int *out_tags, int *rc) {
  *num_out = 0;
  Chain ch;
  if (!ch.set_up(n, comps, comp_order, nullptr, dists, 0, out, out_tags, side, normal, option, closed != 0)) {
    *rc = BSRC_NO_SCRATCH;
    return true;
  }
  for (int i = 0; i < n; ++i)
    if (!(ch.dist[i] > BStoltab[bstol::dist_tol])) return false;
  if (closed && !ch.closure) return false;
  bool astray = false;
  for (int i = 0; i < n && *rc == 0; ++i) ch.offset(i, rc);
  if (*rc == 0) {
    const bsoffset::LegChain legs = ch.leg_chain(true);
    astray = !bsoffset::keeps_distance(legs, m, pieces, tags, rc, judge) && *rc == 0;
    if (astray) bsoffset::clear_offset(legs, 2 * n + 1, &ch.m, out, out_tags, ch.odist.data(), rc);
  }
  *num_out = ch.m;
  const int code = ch.release_offsets();
  if (*rc == 0) *rc = code;
  return astray || *rc != 0;
}
