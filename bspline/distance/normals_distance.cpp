// Every nearest point of a curve: the feet of all perpendiculars span by span, with the curve's ends and cusps as the
// candidates where no perpendicular exists, and whole parameter ranges where the curve keeps a constant distance (an
// arc about the point).
#include <cmath>
#include <cstdint>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/distance/feet_internal.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"

namespace {

constexpr int kLocal = 100;
constexpr int kMaxCount = 32767;  // the counts are 16-bit

// A singly linked list of values pushed at its head, each node a heap block of its own.
struct Node {
  double value;
  Node *next;
};

struct List {
  Node *head = nullptr;
  int count = 0;
  List() = default;
  List(const List &) = delete;
  List &operator=(const List &) = delete;
  ~List() {
    while (head) pop();
  }
  bool push(double v) {
    auto *n = static_cast<Node *>(BSdbgmalloc(static_cast<int>(sizeof(Node))));
    if (!n) return false;
    n->value = v;
    n->next = head;
    head = n;
    ++count;
    return true;
  }
  void pop() {
    Node *n = head;
    head = n->next;
    BSdbgfree(n);
    --count;
  }
  // The values in the order they were pushed, into a new heap array; the nodes are released once copied.
  double *deliver() {
    auto *out = static_cast<double *>(BSdbgmalloc(static_cast<int>(sizeof(double)) * count));
    if (!out) return nullptr;
    for (int i = count - 1; i >= 0; --i) {
      out[i] = head->value;
      pop();
    }
    return out;
  }
};

void sort_ascending(int n, double *a) {
  for (int i = 1; i < n; ++i)
    for (int j = i; j > 0 && a[j] < a[j - 1]; --j) std::swap(a[j], a[j - 1]);
}

}  // namespace

BSboolean BSnormals(int *rc, VOQbsp_curve *curve, const double point[3], std::int16_t *num_params, double **params,
                    std::int16_t *num_intervals, double **intervals) {
  *rc = 0;
  if (num_params) *num_params = 0;
  if (num_intervals) *num_intervals = 0;
  if (const int bad = BScvcheck(curve)) {
    *rc = bad;
  } else if (!point || !num_params || !params || !num_intervals || !intervals) {
    *rc = BSRC_NULL_CURVE;
  } else if (!BSallfinite(3, point)) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  if (*rc == 0 && !curve->rational) curve->weights = nullptr;
  double ktol = 0;
  const double tol1 = BStoltab[bstol::dist_tol];
  if (*rc == 0) BScvkttol2(curve->order, curve->knots, curve->num_poles, curve->poles, curve->weights, &ktol, rc);
  // ranges: start then end of each interval, the head always the last interval's end.
  List feet, ranges;
  int state = 1;
  if (*rc == 0) {
    const int nspans = curve->num_poles - curve->order + 1;
    BSscratch<kLocal> span_room;
    auto *spans = reinterpret_cast<int *>(span_room.take(static_cast<std::size_t>(nspans)));
    int count = 0;
    if (!spans) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      // The span list is taken under the curve's own knot tolerance; the scope restores entry 8 with a code of its own,
      // so a failure of the listing is the one reported.
      bsknots::KnotTolScope scope(ktol);
      BScvndegspn(curve, &count, spans, rc);
    }
    BSscratch<4 * 16> coef_room;
    double *coef = *rc == 0 ? coef_room.take(4 * static_cast<std::size_t>(curve->order) + 3) : nullptr;
    if (*rc == 0 && !coef) *rc = BSRC_NO_SCRATCH;
    BSscratch<kLocal> root_room;
    for (int i = 0; i < count && *rc == 0; ++i) {
      BSboolean skip = BSFALSE;
      std::int16_t order = 0;
      if (!bsfeet::span_bezier(rc, curve, &spans[i], &skip, &order, coef, &ktol) || *rc != 0) break;
      if (skip) continue;
      const std::size_t room = order >= 2 ? 3 * static_cast<std::size_t>(order) - 4 : 1;
      double *roots = root_room.take(room);
      if (!roots) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      int nroots = 0;
      if (!bsfeet::span_roots(rc, &order, coef, point, &nroots, roots) || *rc != 0) break;
      const double a = curve->knots[spans[i]], b = curve->knots[spans[i] + 1];
      // Roots closer than the knot tolerance are one root; but on a span whose weights lie far apart the curve
      // runs through most of its length within slivers of the parameter, where the tolerance holds feet apart.
      // There the points tell.
      const bool far = curve->rational && bsfeet::weights_far_apart(order, coef);
      auto apart = [&](double u, double v) {
        double p[3], q[3];
        int erc = 0;
        BScveval_n(curve, u, 0, p, &erc);
        if (erc == 0) BScveval_n(curve, v, 0, q, &erc);
        return erc == 0 && BSpdist(&erc, p, q) > tol1;
      };
      // Past a jump (a knot of full multiplicity) the curve starts afresh elsewhere: an interval does not run on
      // through it, and one begun at a listed foot covers that foot.
      int mult = 0;
      while (spans[i] - mult >= curve->order && curve->knots[spans[i] - mult] == a) ++mult;
      if (mult >= curve->order && state >= 3) {
        if (state == 4 && feet.count > 0) feet.pop();
        state = 1;
      }
      if (nroots < 0) {
        if (state == 1 || state == 2) {
          if (ranges.count / 2 >= kMaxCount) {
            *rc = BSRC_COUNT_OVERFLOW;
          } else if (!ranges.push(a) || !ranges.push(b)) {
            *rc = BSRC_ALLOC_CURVE;
          }
          state = state == 1 ? 3 : 4;
        } else {
          ranges.head->value = b;
        }
        continue;
      }
      if (nroots == 0) {
        state = 1;
        continue;
      }
      // Ascending, and a double root (a point at a centre of curvature) listed once.
      sort_ascending(nroots, roots);
      int m = 1;
      for (int j = 1; j < nroots; ++j)
        if ((roots[j] - roots[m - 1]) * (b - a) > ktol ||
            (far && apart(a + (b - a) * roots[j], a + (b - a) * roots[m - 1])))
          roots[m++] = roots[j];
      nroots = m;
      bool replace = state == 4;
      for (int j = 0; j < nroots && *rc == 0; ++j) {
        // A root at the start of the span repeats the foot or the interval end the previous span left.
        if (j == 0 && state != 1 && std::fabs(roots[0]) <= ktol && !(far && apart(a + (b - a) * roots[0], a)))
          continue;
        const double u = a + (b - a) * roots[j];
        if (replace && feet.head) {
          feet.head->value = u;
        } else if (feet.count >= kMaxCount) {
          *rc = BSRC_COUNT_OVERFLOW;
        } else if (!feet.push(u)) {
          *rc = BSRC_ALLOC_CURVE;
        }
        replace = false;
      }
      const double last = roots[nroots - 1];
      state = std::fabs(last - 1.0) <= ktol && !(far && apart(a + (b - a) * last, b)) ? 2 : 1;
    }
  }
  // A run of foot spans begun at a listed foot repeats that foot as its start.
  if (*rc == 0 && state == 4 && feet.count > 0) feet.pop();
  if (*rc == 0) {
    const int nfeet = feet.count, nranges = ranges.count / 2;
    double *p = nullptr, *r = nullptr;
    if (nfeet > 0 && !(p = feet.deliver())) *rc = BSRC_NO_SCRATCH;
    if (*rc == 0 && nranges > 0 && !(r = ranges.deliver())) {
      *rc = BSRC_NO_SCRATCH;
      BSdbgfree(p);
      p = nullptr;
    }
    if (*rc == 0) {
      *num_params = static_cast<std::int16_t>(nfeet);
      *params = p;
      *num_intervals = static_cast<std::int16_t>(nranges);
      *intervals = r;
    }
  }
  BSexit(rc, "BSnormals", "bsnormals");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSmdistptcv(VOQbsp_curve *curve, const double point[3], std::int16_t *num_intervals, std::int16_t *num_params,
                 double **params, double *min_dist, double **intervals, int *rc) {
  *rc = 0;
  if (num_intervals) *num_intervals = 0;
  if (num_params) *num_params = 0;
  if (const int bad = BScvcheck(curve)) {
    *rc = bad;
  } else if (!point || !num_intervals || !num_params || !params || !min_dist || !intervals) {
    *rc = BSRC_NULL_CURVE;
  } else if (!BSallfinite(3, point)) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  const double tol1 = BStoltab[bstol::dist_tol], tol6 = BStoltab[6];
  if (*rc == 0 && !curve->rational) curve->weights = nullptr;
  double ktol = 0;
  if (*rc == 0) BScvkttol2(curve->order, curve->knots, curve->num_poles, curve->poles, curve->weights, &ktol, rc);
  std::int16_t nfeet = 0, nranges = 0;
  double *feet = nullptr, *ranges = nullptr;
  if (*rc == 0 && !BSnormals(rc, curve, point, &nfeet, &feet, &nranges, &ranges) && *rc == 0)
    *rc = BSRC_ZERO_WEIGHT;  // no result must not pass for one
  const int k = *rc == 0 ? curve->order : 0, n = k ? curve->num_poles : 0;
  const double u0 = k ? curve->knots[k - 1] : 0, u1 = k ? curve->knots[n] : 0;
  BSscratch<0> cusp_room, cand_room, dist_room, min_room;
  double *cusps = nullptr, *cand = nullptr, *dist = nullptr, *mins = nullptr;
  int ncusps = 0, ncand = 0, nmins = 0;
  if (*rc == 0 && n > k) {
    cusps = cusp_room.take(static_cast<std::size_t>(n - k + 1));
    if (!cusps) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      BSfndcvcsp(curve, &ncusps, cusps, rc);
    }
  }
  // Where the curve jumps (an interior knot of full multiplicity) each side ends a piece without a foot: both
  // sides are candidates, as the curve's ends are.
  int njumps = 0;
  for (int i = k; i < n; ++i) {
    int m = 1;
    while (i + m < n && curve->knots[i + m] == curve->knots[i]) ++m;
    njumps += m >= k;
    i += m - 1;
  }
  if (*rc == 0) {
    cand = cand_room.take(static_cast<std::size_t>(nfeet) + ncusps + njumps + 2);
    if (!cand) *rc = BSRC_ALLOC_CURVE;
  }
  if (*rc == 0) {
    auto near_one = [&](int upto, double u) {
      for (int i = 0; i < upto; ++i)
        if (std::fabs(cand[i] - u) <= ktol) return true;
      return false;
    };
    for (int i = 0; i < nfeet; ++i) cand[ncand++] = feet[i];
    if (!near_one(nfeet, u0)) cand[ncand++] = u0;
    if (!near_one(nfeet, u1)) cand[ncand++] = u1;
    const int before_cusps = ncand;
    for (int i = 0; i < ncusps; ++i)
      if (!near_one(before_cusps, cusps[i])) cand[ncand++] = cusps[i];
    for (int i = k; i < n; ++i) {
      int m = 1;
      while (i + m < n && curve->knots[i + m] == curve->knots[i]) ++m;
      // A foot or cusp within the knot tolerance of the jump is the jump: it takes the knot, so that both sides
      // are measured there.
      int at = -1;
      for (int c = 0; m >= k && c < ncand && at < 0; ++c)
        if (std::fabs(cand[c] - curve->knots[i]) <= ktol) at = c;
      if (m >= k) cand[at < 0 ? ncand++ : at] = curve->knots[i];
      i += m - 1;
    }
    dist = dist_room.take(static_cast<std::size_t>(ncand) + nranges);
    if (!dist) *rc = BSRC_NO_SCRATCH;
  }
  // A parameter next to an end is that end, unless the curve still moves farther than the distance tolerance
  // between them: with an end weight of 1e-13 the last 1e-11 of the parameter carries a good part of the curve.
  auto snapped_distance = [&](double &u, double &d) {
    const double end = std::fabs(u - u0) <= tol6 ? u0 : std::fabs(u - u1) <= tol6 ? u1 : u;
    double p[3];
    if (end != u) {
      double q[3];
      BScveval_n(curve, u, 0, q, rc);
      if (*rc == 0) BScveval_n(curve, end, 0, p, rc);
      if (*rc == 0 && BSpdist(rc, p, q) <= tol1) u = end;
    }
    if (*rc == 0) BScveval_n(curve, u, 0, p, rc);
    if (*rc == 0) d = BSpdist(rc, p, point);
    // At a jump the spans on either side end at different points: the nearer side counts.
    int first = k;
    while (*rc == 0 && first < n && curve->knots[first] != u) ++first;
    int m = 0;
    while (first + m < n && curve->knots[first + m] == u) ++m;
    for (int span : {first - 1, first + m - 1}) {
      if (*rc != 0 || m < k) break;
      BScveval0(rc, k, curve->poles, curve->weights, curve->knots, span, u, p);
      if (*rc == 0) d = std::fmin(d, BSpdist(rc, p, point));
    }
  };
  for (int i = 0; i < ncand && *rc == 0; ++i) snapped_distance(cand[i], dist[i]);
  if (*rc == 0) {
    mins = min_room.take(static_cast<std::size_t>(ncand));
    if (!mins) *rc = BSRC_NO_SCRATCH;
  }
  if (*rc == 0) {
    *min_dist = dist[0];
    mins[nmins++] = cand[0];
    for (int i = 1; i < ncand; ++i) {
      if (dist[i] < *min_dist - tol1) {
        *min_dist = dist[i];
        nmins = 0;
        mins[nmins++] = cand[i];
      } else if (dist[i] < *min_dist + tol1) {
        mins[nmins++] = cand[i];
      }
    }
  }
  // The feet are the roots of one equation per span, which can lose them where a span's poles differ by orders of
  // magnitude: a pole of 1e5 among poles of 15 gave three false roots and hid the true foot. The global
  // search's nearest point settles the least distance; nearer than every candidate by more than the tolerance, it
  // is the one nearest parameter. Only a failure for memory is the call's.
  if (*rc == 0) {
    double u = 0, base[3], d = 0;
    int search_rc = 0;
    BSmdstptcv(curve, point, &u, base, &d, &search_rc);
    if (search_rc == BSRC_NO_SCRATCH || search_rc == BSRC_ALLOC_CURVE) {
      *rc = search_rc;
    } else if (search_rc == 0) {
      snapped_distance(u, d);
      if (*rc == 0 && d < *min_dist - tol1) {
        *min_dist = d;
        nmins = 0;
        mins[nmins++] = u;
      }
    }
  }
  int nreported = 0;
  if (*rc == 0 && nranges > 0) {
    auto *out = static_cast<double *>(BSdbgmalloc(16 * nranges));
    if (!out) *rc = BSRC_NO_SCRATCH;
    double *rdist = dist + ncand;
    // Every point of an interval is at its distance; the middle is taken, as the start may be a jump whose other
    // side lies elsewhere (and both sides count there).
    for (int i = 0; i < nranges && *rc == 0; ++i) {
      double p[3];
      BScveval_n(curve, 0.5 * (ranges[2 * i] + ranges[2 * i + 1]), 0, p, rc);
      if (*rc == 0) rdist[i] = BSpdist(rc, p, point);
    }
    if (*rc == 0) {
      *intervals = out;
      int far = 0;
      for (int i = 0; i < nranges; ++i) {
        if (rdist[i] < *min_dist - tol1) {
          nmins = 0;
          break;
        }
        if (rdist[i] > *min_dist + tol1) ++far;
      }
      if (far == nranges) {
        BSdbgfree(out);
        *intervals = nullptr;
      } else {
        *min_dist = rdist[0];
        for (int i = 0; i < nranges; ++i) {
          if (i > 0 && rdist[i] < *min_dist - tol1) {
            *min_dist = rdist[i];
            nreported = 0;
          } else if (i > 0 && !(rdist[i] < *min_dist + tol1)) {
            continue;
          }
          out[2 * nreported] = ranges[2 * i];
          out[2 * nreported + 1] = ranges[2 * i + 1];
          ++nreported;
        }
        *num_intervals = static_cast<std::int16_t>(nreported);
      }
    } else {
      BSdbgfree(out);
    }
  }
  if (*rc == 0 && nreported > 0) {
    int kept = 0;
    for (int i = 0; i < nmins; ++i) {
      bool inside = false;
      for (int j = 0; j < nreported && !inside; ++j)
        inside = (*intervals)[2 * j] <= mins[i] && mins[i] <= (*intervals)[2 * j + 1];
      if (!inside) mins[kept++] = mins[i];
    }
    nmins = kept;
  }
  if (*rc == 0 && nmins > kMaxCount) *rc = BSRC_COUNT_OVERFLOW;
  if (*rc == 0 && nmins > 0) {
    auto *out = static_cast<double *>(BSdbgmalloc(static_cast<int>(sizeof(double)) * nmins));
    if (!out) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      for (int i = 0; i < nmins; ++i) out[i] = mins[i];
      *params = out;
      *num_params = static_cast<std::int16_t>(nmins);
      if (nmins > 1) {
        const int lo = 0, hi = nmins - 1;
        BSquicksort(rc, &lo, &hi, 0, out);
        // Feet snapped onto an end of the range may have become that end twice over: each parameter once.
        int kept = 1;
        for (int i = 1; i < nmins; ++i)
          if (out[i] != out[kept - 1]) out[kept++] = out[i];
        *num_params = static_cast<std::int16_t>(kept);
      }
    }
  }
  BSdbgfree(feet);
  BSdbgfree(ranges);
  BSexit(rc, "BSmdistptcv", "bsmdistptcv");
}
