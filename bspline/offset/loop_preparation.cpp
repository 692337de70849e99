// Chaining of offset pieces end to end, and the self-intersections of an offset sorted into the loops that its
// removal cuts out.
#include <cmath>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/core/golden_section.h"
#include "bspline/knots.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::pole_point;

// ---------------------------------------------------------------------------------------------------------------
// Chaining

// The start (at_end false) or end of curve cv in its chain direction.
void chain_end(const VOQbsp_curve *cv, bool reversed, bool at_end, double p[3]) {
  pole_point(cv, at_end != reversed ? cv->num_poles - 1 : 0, p);
}

struct Chain {
  int n;
  const VOQbsp_curve *const *curves;
  BSchainrec *rec;
  unsigned char *used;
  int k = 1;

  double sq(const double a[3], const double b[3]) const {
    int rc = 0;
    return BSpdistsq(&rc, a, b);
  }

  // One curve added at the chain's end when one fits within limit.
  bool append(double limit) {
    double e[3];
    const BSchainrec &last = rec[k - 1];
    chain_end(curves[last.curve], last.reversed, true, e);
    for (int j = 0; j < n; ++j) {
      if (used[j]) continue;
      double p[3];
      pole_point(curves[j], 0, p);
      double d = sq(e, p);
      int reversed = 0;
      if (!(d < limit)) {
        pole_point(curves[j], curves[j]->num_poles - 1, p);
        d = sq(e, p);
        reversed = 1;
      }
      if (d < limit) {
        rec[k - 1].gap = d > BStoltab[bstol::dist_sqtol] ? 1 : 0;
        rec[k] = {j, 0, reversed};
        used[j] = 1;
        ++k;
        return true;
      }
    }
    return false;
  }

  // One curve put in front of the chain when one fits within limit.
  bool prepend(double limit) {
    double b[3];
    chain_end(curves[rec[0].curve], rec[0].reversed, false, b);
    for (int j = 0; j < n; ++j) {
      if (used[j]) continue;
      double p[3];
      pole_point(curves[j], 0, p);
      double d = sq(b, p);
      int reversed = 1;
      if (!(d < limit)) {
        pole_point(curves[j], curves[j]->num_poles - 1, p);
        d = sq(b, p);
        reversed = 0;
      }
      if (d < limit) {
        std::memmove(rec + 1, rec, sizeof(BSchainrec) * static_cast<std::size_t>(k));
        rec[0] = {j, d > BStoltab[bstol::dist_sqtol] ? 1 : 0, reversed};
        used[j] = 1;
        ++k;
        return true;
      }
    }
    return false;
  }
};

}  // namespace

void BStstcvcnct(int n, const VOQbsp_curve *const *curves, BSboolean closed, BSchainrec *records, int *gap_count,
                 double *gap_points, int *rc) {
  *rc = 0;
  if (gap_count) *gap_count = 0;
  if (!curves || !records || !gap_count || (n > 1 && !gap_points)) {
    *rc = BSRC_NULL_CURVE;
  } else if (n < 1) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  for (int i = 0; i < n && *rc == 0; ++i) *rc = curves[i] ? BScvcheck(curves[i]) : BSRC_NULL_CURVE;
  BSscratch<64> used_room;
  unsigned char *used = nullptr;
  if (*rc == 0 && !(used = reinterpret_cast<unsigned char *>(used_room.take(static_cast<std::size_t>(n) / 8 + 1))))
    *rc = BSRC_NO_SCRATCH;
  if (*rc == 0) {
    std::memset(used, 0, static_cast<std::size_t>(n));
    used[0] = 1;
    records[0] = {0, 0, 0};
    Chain chain{n, curves, records, used};
    double limit = BStoltab[bstol::dist_sqtol];
    // Each pass places what fits at either end of the chain before the limit widens: a wider limit could
    // otherwise take a far end ahead of a curve that meets exactly.
    for (int pass = 1; pass <= 20 && chain.k < n; ++pass, limit *= 10.0) {
      bool placed = true;
      while (placed && chain.k < n) placed = chain.append(limit) || chain.prepend(limit);
    }
    if (chain.k < n) {
      *rc = BSRC_CHAIN_OPEN;
    } else {
      const double tol = BStoltab[bstol::dist_sqtol];
      records[n - 1].gap = 1;
      bool inner_gap = false;
      for (int i = 0; i + 1 < n; ++i) {
        if (!records[i].gap) continue;
        double e[3], s[3];
        chain_end(curves[records[i].curve], records[i].reversed, true, e);
        chain_end(curves[records[i + 1].curve], records[i + 1].reversed, false, s);
        double *g = gap_points + 3 * *gap_count;
        for (int c = 0; c < 3; ++c) g[c] = (e[c] + s[c]) / 2;
        ++*gap_count;
        inner_gap = true;
      }
      if (!closed) {
        records[n - 1].gap = 0;
      } else if (!inner_gap) {
        double e[3], s[3];
        chain_end(curves[records[n - 1].curve], records[n - 1].reversed, true, e);
        chain_end(curves[records[0].curve], records[0].reversed, false, s);
        if (chain.sq(e, s) < tol) records[n - 1].gap = 0;
      }
    }
  }
  BSexit(rc, "BStstcvcnct", "bststcvcnct");
}

// ---------------------------------------------------------------------------------------------------------------
// Loop preparation

namespace {

// A crossing or an overlap seen as a loop [a, b] of the curve. For an overlap, a is its first end and b the
// upper end of its second interval; s is its first start and lo the lower end of its second interval.
struct Loop {
  double a, b, s, lo;
  int keep;
  int parent;    // index of the loop it lies in directly, -1 for an outer loop
  int children;  // loops lying in it directly
  int child;     // the first of them
};

// Whether the two branches through one point cross there. Each branch comes in along -in and leaves along out
// (its one-sided derivatives). They cross when the second branch's two rays lie on either side of the wedge the
// first branch's rays span.
bool branches_cross(const double in1[3], const double out1[3], const double in2[3], const double out2[3]) {
  double r[4][3];
  for (int c = 0; c < 3; ++c) r[0][c] = -in1[c], r[1][c] = out1[c], r[2][c] = -in2[c], r[3][c] = out2[c];
  // The plane of the rays: the longest cross product of two of them.
  double normal[3] = {0, 0, 0}, best = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) {
      int rc = 0;
      double x[3];
      BSvcross(&rc, r[i], r[j], x);
      const double len = x[0] * x[0] + x[1] * x[1] + x[2] * x[2];
      if (len > best) best = len, std::memcpy(normal, x, sizeof normal);
    }
  if (!(best > 0)) return false;
  int rc = 0;
  double e1[3] = {r[0][0], r[0][1], r[0][2]}, e2[3];
  if (!BSnorvec(&rc, e1) || !BSnorvec(&rc, normal)) return false;
  BSvcross(&rc, normal, e1, e2);
  auto angle = [&](const double v[3]) {
    const double t = std::atan2(BSvdot(&rc, v, e2), BSvdot(&rc, v, e1));
    return t < 0 ? t + 6.283185307179586 : t;
  };
  const double wedge = angle(r[1]), t2 = angle(r[2]), t3 = angle(r[3]);
  const bool in2_inside = t2 > 0 && t2 < wedge, out2_inside = t3 > 0 && t3 < wedge;
  return in2_inside != out2_inside;
}

// Whether the crossing (a, b) is a true one: the branches pass through each other rather than touch.
bool crossing_is_transversal(const VOQbsp_curve *cv, double a, double b, int *rc) {
  const int one = 1;
  double la[6], ra[6], lb[6], rb[6];
  BSboolean two_a = BSFALSE, two_b = BSFALSE;
  if (!BScveval_b(rc, cv, &a, &one, nullptr, &two_a, la, ra) ||
      !BScveval_b(rc, cv, &b, &one, nullptr, &two_b, lb, rb))
    return false;
  if (!two_a) std::memcpy(ra, la, sizeof la);
  if (!two_b) std::memcpy(rb, lb, sizeof lb);
  if (!two_a && !two_b) {
    double ta[3] = {la[3], la[4], la[5]}, tb[3] = {lb[3], lb[4], lb[5]}, x[3];
    int nrc = 0;
    // A branch that stands still at the crossing (a cusp) has no tangent: its sides decide, as at a corner.
    if (BSnorvec(&nrc, ta) && BSnorvec(&nrc, tb)) {
      BSvcross(rc, ta, tb, x);
      return x[0] * x[0] + x[1] * x[1] + x[2] * x[2] >= BStoltab[5];
    }
  }
  return branches_cross(la + 3, ra + 3, lb + 3, rb + 3);
}

// The crossing (a, b) brought onto the curve's own accuracy by Newton steps on C(a) = C(b): the loop's stretches
// are cut there, and a crossing found only to the intersector's tolerance would leave the joined curve a
// kink that far off the input. A step that does not shrink the miss, or moves the point by more than 10 dist_tol,
// leaves the crossing as found.
void refine_crossing(const VOQbsp_curve *cv, double *a, double *b) {
  const double s0 = cv->knots[cv->order - 1], s1 = cv->knots[cv->num_poles];
  auto miss = [&](double u, double v, double ca[6], double cb[6], double f[3]) {
    int rc = 0;
    BScveval_n(cv, u, 1, ca, &rc);
    if (rc == 0) BScveval_n(cv, v, 1, cb, &rc);
    for (int c = 0; c < 3; ++c) f[c] = cb[c] - ca[c];
    return rc == 0 ? f[0] * f[0] + f[1] * f[1] + f[2] * f[2] : -1.0;
  };
  double ca[6], cb[6], f[3], p0[3];
  double u = *a, v = *b, r = miss(u, v, ca, cb, f);
  if (r < 0) return;
  for (int c = 0; c < 3; ++c) p0[c] = ca[c];
  for (int it = 0; it < 8 && r > 0; ++it) {
    const double A[6] = {ca[3], -cb[3], ca[4], -cb[4], ca[5], -cb[5]};
    double step[2], na[6], nb[6], nf[3];
    int rc = 0;
    if (!BSlsq3x2(&rc, A, f, step)) break;
    const double nu = std::fmin(std::fmax(u + step[0], s0), s1), nv = std::fmin(std::fmax(v + step[1], s0), s1);
    const double nr = miss(nu, nv, na, nb, nf);
    if (nr < 0 || nr >= r || !(nu < nv)) break;
    u = nu, v = nv, r = nr;
    std::memcpy(ca, na, sizeof ca), std::memcpy(cb, nb, sizeof cb), std::memcpy(f, nf, sizeof f);
  }
  int rc = 0;
  if (BSpdist(&rc, p0, ca) <= 10 * BStoltab[bstol::dist_tol]) *a = u, *b = v;
}

// The distance from p to the stretch [u0, u1] of cv, short enough to have one nearest point: golden sections.
double stretch_distance(const VOQbsp_curve *cv, const double p[3], double u0, double u1) {
  auto gap = [&](double u) {
    double q[3];
    int rc = 0;
    BScveval_n(cv, u, 0, q, &rc);
    return rc == 0 ? BSpdist(&rc, p, q) : HUGE_VAL;
  };
  const bsgolden::Inner in = bsgolden::narrow_to_top(
      [&](double u) { return -gap(u); }, std::fmin(u0, u1), std::fmax(u0, u1), 60,
      [](double lo, double, double, double hi) { return hi - lo > 1e-15 * (std::fabs(lo) + std::fabs(hi)); });
  return std::fmin(std::fmin(-in.f1, -in.f2), std::fmin(gap(u0), gap(u1)));
}

// Whether the crossing c is where the stretches of the overlap o part: it lies just before the overlap's first
// start, and the curve from it up to that start keeps within dist_tol of the stretch from the crossing's second
// parameter to the nearer end of the second interval. Where the stretches part at a vanishing angle the
// intersector finds such a crossing anywhere along the stretch they stay within the tolerance of each other. The
// two stretches are two passes of the curve, apart in parameter: a stretch that holds the other's points is one
// pass, as where the crossing closes a loop of its own before an overlap farther on.
bool parts_at(const VOQbsp_curve *cv, const Loop &c, const Loop &o) {
  if (!(c.a < o.s) || (c.b >= o.lo && c.b <= o.b)) return false;
  const double end = std::fabs(c.b - o.lo) < std::fabs(c.b - o.b) ? o.lo : o.b;
  if (std::fmax(c.a, std::fmin(c.b, end)) < std::fmin(o.s, std::fmax(c.b, end))) return false;
  for (int k = 1; k <= 3; ++k) {
    double p[3];
    int rc = 0;
    BScveval_n(cv, c.a + (o.s - c.a) * k / 4, 0, p, &rc);
    if (rc != 0 || !(stretch_distance(cv, p, c.b, end) <= BStoltab[bstol::dist_tol])) return false;
  }
  return true;
}

// Sorts the loops by a (their keys) through the tag sort into out.
bool sort_loops(const Loop *in, int n, double *keys, int *tags, Loop *out, int *rc) {
  if (n == 0) return true;
  for (int i = 0; i < n; ++i) keys[i] = in[i].a;
  if (!BStagsort(rc, &n, keys, tags)) return false;
  for (int i = 0; i < n; ++i) out[i] = in[tags[i]];
  return true;
}

// The nesting of the kept loops (sorted by a): outer loops, loops inside them (each inside the loop that holds it
// directly), and the interlocking ones dropped.
void nest(Loop *l, int n, int *stack) {
  int depth = 0;
  for (int i = 0; i < n; ++i) {
    if (!l[i].keep) continue;
    while (depth > 0 && l[i].a >= l[stack[depth - 1]].b) --depth;
    if (depth > 0 && l[i].b >= l[stack[depth - 1]].b) {
      l[i].keep = 0;
      continue;
    }
    l[i].parent = depth > 0 ? stack[depth - 1] : -1;
    l[i].children = 0;
    if (depth > 0 && l[stack[depth - 1]].children++ == 0) l[stack[depth - 1]].child = i;
    stack[depth++] = i;
  }
}

}  // namespace

void BSpreploop(int *rc, const VOQbsp_curve *cv, int *n_int, double *first, double *second, int *n_over,
                double *ofs, double *ofe, double *oss, double *ose, int *n_outer, double **outer, int *n_inner,
                std::int32_t **kinds, double **inner) {
  *rc = 0;
  if (n_outer) *n_outer = 0;
  if (n_inner) *n_inner = 0;
  if (outer) *outer = nullptr;
  if (kinds) *kinds = nullptr;
  if (inner) *inner = nullptr;
  const int ni = n_int ? *n_int : 0, no = n_over ? *n_over : 0;
  if (!cv || !n_int || !n_over || !n_outer || !outer || !n_inner || !kinds || !inner ||
      (ni > 0 && (!first || !second)) || (no > 0 && (!ofs || !ofe || !oss || !ose))) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv)) == 0 && (ni < 0 || no < 0 || cv->order < 2 || !BSallfinite(ni, first) ||
                                            !BSallfinite(ni, second) || !BSallfinite(no, ofs) ||
                                            !BSallfinite(no, ofe) || !BSallfinite(no, oss) || !BSallfinite(no, ose))) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  double ktol = 0;
  if (*rc == 0) bsoffset::knot_tolerance(cv, &ktol, rc);

  // Work room: the loops twice (as given and sorted), sort keys, tags and the nesting stack.
  const int m = ni + no;
  const std::size_t loop_doubles = (sizeof(Loop) + sizeof(double) - 1) / sizeof(double);
  BSscratch<0> room;
  double *work = nullptr;
  if (*rc == 0 && !(work = room.take(static_cast<std::size_t>(m) * (2 * loop_doubles + 2) + 1)))
    *rc = BSRC_NO_SCRATCH;
  Loop *given = nullptr, *cross = nullptr, *over = nullptr;
  double *keys = nullptr;
  int *tags = nullptr, *stack = nullptr;
  if (work) {
    given = reinterpret_cast<Loop *>(work), cross = given + m, over = cross + ni;
    keys = work + static_cast<std::size_t>(m) * 2 * loop_doubles;
    tags = reinterpret_cast<int *>(keys + m), stack = tags + m;
  }

  if (*rc == 0) {
    const double s0 = cv->knots[cv->order - 1], s1 = cv->knots[cv->num_poles];
    for (int i = 0; i < ni; ++i) {
      double a = std::fmin(first[i], second[i]), b = std::fmax(first[i], second[i]);
      refine_crossing(cv, &a, &b);
      given[i] = {a, b, a, a, 1, -1, 0, 0};
    }
    sort_loops(given, ni, keys, tags, cross, rc);
    for (int j = 0; j < no && *rc == 0; ++j) {
      const double lo = std::fmin(oss[j], ose[j]), hi = std::fmax(oss[j], ose[j]);
      given[j] = {ofe[j], hi, ofs[j], lo, 1, -1, 0, 0};
    }
    if (*rc == 0 && no > 0) {
      for (int j = 0; j < no; ++j) keys[j] = given[j].s;
      if (BStagsort(rc, &no, keys, tags))
        for (int j = 0; j < no; ++j) over[j] = given[tags[j]];
    }
    for (int i = 0; i < ni && *rc == 0; ++i) {
      Loop &c = cross[i];
      if (std::fabs(c.a - s0) <= ktol || std::fabs(c.b - s1) <= ktol) c.keep = 0;
      for (int j = 0; j < no && c.keep; ++j)
        if ((c.a >= over[j].s && c.a <= over[j].b) || parts_at(cv, c, over[j])) c.keep = 0;
      if (c.keep && !crossing_is_transversal(cv, c.a, c.b, rc)) c.keep = 0;
    }
    // An overlap that comes back to its own start closes no loop: its second stretch runs back over the first.
    for (int j = 0; j < no && *rc == 0; ++j) {
      double p[3], q[3];
      BScveval_n(cv, over[j].s, 0, p, rc);
      if (*rc == 0) BScveval_n(cv, over[j].b, 0, q, rc);
      if (*rc == 0 && BSpdist(rc, p, q) < BStoltab[bstol::dist_tol]) over[j].keep = 0;
      if (*rc == 0 && !(over[j].b > over[j].a)) over[j].keep = 0;
    }
  }
  if (*rc == 0) {
    nest(cross, ni, stack);
    nest(over, no, stack);
    int kept = 0, outers = 0;
    for (int i = 0; i < m; ++i) kept += cross[i].keep, outers += cross[i].keep && cross[i].parent < 0;
    if (outers > 0 && !(*outer = static_cast<double *>(BSdbgmalloc(static_cast<int>(2 * outers * sizeof(double))))))
      *rc = BSRC_NO_SCRATCH;
    if (*rc == 0 && kept > 0 &&
        (!(*kinds = static_cast<std::int32_t *>(BSdbgmalloc(static_cast<int>(kept * sizeof(std::int32_t))))) ||
         !(*inner = static_cast<double *>(BSdbgmalloc(static_cast<int>(4 * kept * sizeof(double)))))))
      *rc = BSRC_NO_SCRATCH;
    if (*rc == 0) {
      // Every loop gives the stretch it runs between its own crossing and the one it holds, so that the loops
      // handed back cover the outer intervals whole.
      int n_loops = 0, used = 0, nk = 0;
      for (int i = 0; i < m; ++i) {
        const Loop &l = cross[i];
        if (!l.keep) continue;
        if (l.parent < 0) keys[nk++] = l.a;
        double *p = *inner + used;
        if (l.children == 0) {
          (*kinds)[n_loops++] = 2;
          p[0] = l.a, p[1] = l.b, used += 2;
        } else if (l.children == 1) {
          const Loop &c = i < ni ? cross[l.child] : over[l.child];
          (*kinds)[n_loops++] = 4;
          p[0] = l.a, p[1] = c.a, p[2] = c.b, p[3] = l.b, used += 4;
        }
      }
      *n_inner = n_loops;
      if (n_loops == 0) {
        BSdbgfree(*kinds), BSdbgfree(*inner);
        *kinds = nullptr, *inner = nullptr;
      }
      // Outer intervals by start: crossings and overlaps are each in order, but not with each other.
      if (nk > 0 && BStagsort(rc, &nk, keys, tags)) {
        int j = 0;
        for (int i = 0; i < m; ++i)
          if (cross[i].keep && cross[i].parent < 0) given[j++] = cross[i];
        for (int t = 0; t < nk; ++t) (*outer)[2 * t] = given[tags[t]].a, (*outer)[2 * t + 1] = given[tags[t]].b;
        *n_outer = nk;
      }
    }
    if (*rc == 0) {
      // What is left goes back to the caller, crossings in order, the smaller parameter first.
      int c = 0;
      for (int i = 0; i < ni; ++i)
        if (cross[i].keep) first[c] = cross[i].a, second[c] = cross[i].b, ++c;
      *n_int = c;
      c = 0;
      for (int j = 0; j < no; ++j) {
        if (!over[j].keep) continue;
        ofs[c] = over[j].s, ofe[c] = over[j].a, oss[c] = over[j].lo, ose[c] = over[j].b, ++c;
      }
      *n_over = c;
    }
  }
  if (*rc != 0 && outer && kinds && inner) {
    BSdbgfree(*outer), BSdbgfree(*kinds), BSdbgfree(*inner);
    *outer = nullptr, *kinds = nullptr, *inner = nullptr;
    *n_outer = 0, *n_inner = 0;
  }
  BSexit(rc, "BSpreploop", "bspreploop");
}
