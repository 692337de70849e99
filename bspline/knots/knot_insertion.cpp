// Knot insertion: one knot to a wanted multiplicity (Boehm's repeated insertion on the curve record), many knots
// at once (the Oslo algorithm on the record or on raw coefficient arrays), and the Bezier decomposition of raw
// arrays. None of them changes the curve.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using bsknots::plain_view;

int bsknots::boehm_insert(int k, int n, double *poles, double *weights, double *knots, int K, int m, int r,
                          double u) {
  if (r <= 0) return 0;
  const int p = k - 1, s = K - m;
  if (n > s) {
    std::memmove(poles + 3 * static_cast<std::size_t>(s + r), poles + 3 * static_cast<std::size_t>(s),
                 3 * static_cast<std::size_t>(n - s) * sizeof(double));
    if (weights) std::memmove(weights + s + r, weights + s, static_cast<std::size_t>(n - s) * sizeof(double));
  }
  for (int j = 1; j <= r; ++j) {
    // Downwards, so that pole q-1 still holds the previous level when pole q is blended.
    for (int q = s; q >= K - p + j; --q) {
      const double den = knots[q + k - j] - knots[q];
      if (!(den > 0)) return BSRC_ZERO_INTERVAL;
      const double a = (u - knots[q]) / den;
      for (int c = 0; c < 3; ++c) poles[3 * q + c] = a * poles[3 * q + c] + (1 - a) * poles[3 * (q - 1) + c];
      if (weights) weights[q] = a * weights[q] + (1 - a) * weights[q - 1];
    }
    // The last pole of each level belongs to the right of the new knots; the next level overwrites its slot.
    if (j < r) {
      for (int c = 0; c < 3; ++c) poles[3 * (s + r - j) + c] = poles[3 * s + c];
      if (weights) weights[s + r - j] = weights[s];
    }
  }
  if (n + k - 1 > K)
    std::memmove(knots + K + 1 + r, knots + K + 1, static_cast<std::size_t>(n + k - 1 - K) * sizeof(double));
  for (int i = 1; i <= r; ++i) knots[K + i] = u;
  return 0;
}

namespace {
// The run of interior knots (indices k .. n-1) within tol of u: u takes their value; first is -1 without one.
struct KnotRun {
  int first = -1;
  int count = 0;
  double u = 0;
};

// The copies of the interior knot nearest u, when it lies within tol. Only equal knots make a run: where the
// tolerance spans several distinct knots (a curve that barely moves), chaining them would count one knot's
// copies as another's and give the refined curve more poles than its spans need.
// The knots of a checked curve do not decrease: the nearest lie on either side of u, and of equal distances the
// lower knot's first copy is taken.
KnotRun existing_run(const VOQbsp_curve &cv, double u, double tol) {
  KnotRun run;
  run.u = u;
  const double *lo = cv.knots + cv.order, *hi = cv.knots + cv.num_poles;
  const double *above = std::lower_bound(lo, hi, u);
  const double below_gap = above > lo ? u - above[-1] : INFINITY, above_gap = above < hi ? *above - u : INFINITY;
  if (below_gap < tol && below_gap <= above_gap) {
    const double *first = std::lower_bound(lo, above, above[-1]);
    run.first = static_cast<int>(first - cv.knots);
  } else if (above_gap < tol) {
    run.first = static_cast<int>(above - cv.knots);
  }
  if (run.first >= 0) run.u = cv.knots[run.first];
  for (int i = run.first; run.first >= 0 && i <= cv.num_poles - 1 && cv.knots[i] == run.u; ++i) ++run.count;
  return run;
}

// Inserts run.u r times into the output record chosen by in_place (see BSadd_1kt_tot).
void insert_into_output(const VOQbsp_curve *cv, const VOQbsp_curve &in, const KnotRun &run, int r,
                        BSboolean in_place, VOQbsp_curve **out, int *rc) {
  const int k = in.order, n = in.num_poles;
  int s = k - 1;
  if (run.first >= 0) {
    s = run.first - 1;
  } else {
    const int hint = -1;
    s = hint;
    BSfndspan(rc, &in, &n, in.knots, &run.u, &s);
    if (*rc == 0 && s < 0) *rc = BSRC_OUT_OF_RANGE;
  }
  VOQbsp_curve *target = nullptr;
  if (*rc == 0) {
    if (!in_place) {
      BSallocvoqcv(static_cast<std::int16_t>(k), n + r, in.rational, 0, &target, rc);
      if (*rc == 0 && BScv_copy(rc, &in, target)) {
        // The old record may be cv itself: it has been read for the last time.
        if (*out) BSfreevoqcv(*out, rc);
        *out = target;
      } else if (target) {
        int ignored = 0;
        BSfreevoqcv(target, &ignored);
        target = nullptr;
      }
    } else if (!out || !*out) {
      *rc = BSRC_NULL_CURVE;
    } else {
      target = *out;
      if (target != cv) BScv_copy(rc, &in, target);
    }
  }
  if (*rc == 0) {
    *rc = bsknots::boehm_insert(k, n, target->poles, in.rational ? target->weights : nullptr, target->knots,
                                s + run.count, run.count, r, run.u);
    if (*rc == 0) {
      target->num_poles = n + r;
      target->num_knots = n + r + k;
      target->non_uniform = 1;
    }
  }
}

// The span of the old knots t whose polynomial piece new pole j of the refined knots tau belongs to: the longest
// refined span among tau[j .. j+k] inside the active range, located by its midpoint (robust against new knots
// that differ from old ones by rounding). A pole whose refined spans all lie outside the active range does not
// act on the curve there; it takes the polar value of the nearest end piece. -1 when tau leaves the knot vector.
int refined_span(int k, int n, const double *t, const double *tau, int j) {
  const int p = k - 1;
  if (tau[j] < t[0] || tau[j + k] > t[n + k - 1]) return -1;
  int mu = -1;
  double longest = 0;
  for (int v = j; v <= j + p; ++v) {
    const double lo = tau[v], hi = tau[v + 1];
    if (!(hi - lo > longest)) continue;
    const double mid = lo + 0.5 * (hi - lo);
    if (!(mid >= t[p] && mid < t[n])) continue;
    longest = hi - lo;
    mu = static_cast<int>(std::upper_bound(t + p, t + n + 1, mid) - t) - 1;
  }
  if (mu < 0) mu = tau[j + 1] < t[p] ? p : n - 1;
  return mu;
}

// The polar form of the piece of span mu at x[0 .. p-1] by de Boor's triangle with one argument per level. d
// holds the p+1 local poles (ncomp values each, pole mu-p first) and is destroyed; the value is left in row p.
// Level r of that triangle at argument xr.
inline void blossom_level(int p, int ncomp, const double *t, int mu, int r, double xr, double *d) {
  for (int i = mu; i >= mu - p + r; --i) {
    const double w = (xr - t[i]) / (t[i + p + 1 - r] - t[i]);
    double *di = d + (i - mu + p) * ncomp;
    const double *dm = di - ncomp;
    for (int c = 0; c < ncomp; ++c) di[c] = w * di[c] + (1 - w) * dm[c];
  }
}

void blossom(int p, int ncomp, const double *t, int mu, const double *x, double *d) {
  for (int r = 1; r <= p; ++r) blossom_level(p, ncomp, t, mu, r, x[r - 1], d);
}
}  // namespace

void BSadd_1kt_tot(const VOQbsp_curve *cv, double u, int total_mult, BSboolean in_place, VOQbsp_curve **out,
                   int *rc) {
  bsknots::add_knot_total(cv, u, total_mult, in_place, out, false, rc);
}

void bsknots::add_knot_total(const VOQbsp_curve *cv, double u, int total_mult, BSboolean in_place,
                             VOQbsp_curve **out, bool checked, int *rc) {
  *rc = 0;
  if (!out) {
    *rc = BSRC_NULL_CURVE;
  } else if (!(checked && !bstest::slow_roads()) && (*rc = BScvcheck(cv)) != 0) {
  } else if (!std::isfinite(u)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const VOQbsp_curve in = plain_view(*cv);
    const int k = in.order, n = in.num_poles;
    double ptol = 0;
    BSlocknttol(&in, u, BStoltab[bstol::dist_tol], &ptol, rc);
    if (*rc == 0 && (u - in.knots[k - 1] < ptol || in.knots[n] - u < ptol || total_mult > k - 1))
      *rc = BSRC_OUT_OF_RANGE;
    if (*rc == 0) {
      const KnotRun run = existing_run(in, u, ptol);
      insert_into_output(cv, in, run, std::max(total_mult - run.count, 0), in_place, out, rc);
    }
  }
  BSexit(rc, "BSadd_1kt_tot", "bsadd_1kt_tot");
}

void BSadd_1kt_mul(const VOQbsp_curve *cv, double u, int times, BSboolean in_place, VOQbsp_curve **out, int *rc) {
  *rc = 0;
  if (!out) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv)) == 0) {
    const VOQbsp_curve in = plain_view(*cv);
    const int k = in.order, n = in.num_poles;
    // Strictly inside at the basis routines' resolution: a knot closer to a range end than zero_tol opens a
    // span they refuse to evaluate, and the refined curve would fail where the curve did not.
    const double eps = BStoltab[bstol::zero_tol];
    if (!(u - in.knots[k - 1] >= eps && in.knots[n] - u >= eps) || times < 1 || times > k - 1) {
      *rc = BSRC_OUT_OF_RANGE;
    } else {
      const KnotRun run = existing_run(in, u, BStoltab[bstol::knot_tol]);
      if (run.count + times > k - 1)
        *rc = BSRC_OUT_OF_RANGE;
      else
        insert_into_output(cv, in, run, times, in_place, out, rc);
    }
  }
  BSexit(rc, "BSadd_1kt_mul", "bsadd_1kt_mul");
}

void BSadd_kts(const VOQbsp_curve *cv, int new_num_poles, const double *new_knots, VOQbsp_curve *out, int *rc) {
  *rc = 0;
  if (!cv || !out || !out->poles || !out->knots) {
    *rc = BSRC_NULL_CURVE;
  } else if (cv->rational && (!cv->weights || !out->weights)) {
    *rc = cv->weights ? BSRC_NULL_CURVE : BSRC_OUT_OF_RANGE;
  } else if (!BSallfinite(new_num_poles + cv->order, new_knots) || !BScvfinite(cv)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const int k = cv->order, n = cv->num_poles, p = k - 1;
    const int ncomp = cv->rational ? 4 : 3;
    // The result is gathered apart and copied last, so that out may be cv itself.
    BSscratch<100> local_work, result_work;
    double *d = local_work.take(static_cast<std::size_t>(k) * ncomp);
    double *res = result_work.take(static_cast<std::size_t>(new_num_poles) * ncomp);
    if (!d || !res) *rc = BSRC_NO_SCRATCH;
    for (int j = 0; j < new_num_poles && *rc == 0; ++j) {
      const int mu = refined_span(k, n, cv->knots, new_knots, j);
      if (mu < 0) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      for (int i = 0; i <= p; ++i) {
        const int P = mu - p + i;
        for (int c = 0; c < 3; ++c) d[i * ncomp + c] = cv->poles[3 * P + c];
        if (ncomp == 4) d[i * ncomp + 3] = cv->weights[P];
      }
      blossom(p, ncomp, cv->knots, mu, new_knots + j + 1, d);
      std::memcpy(res + static_cast<std::size_t>(j) * ncomp, d + static_cast<std::size_t>(p) * ncomp,
                  ncomp * sizeof(double));
    }
    if (*rc == 0) {
      for (int j = 0; j < new_num_poles; ++j) {
        for (int c = 0; c < 3; ++c) out->poles[3 * j + c] = res[j * ncomp + c];
        if (ncomp == 4) out->weights[j] = res[j * ncomp + 3];
      }
      if (out->knots != new_knots)
        std::memmove(out->knots, new_knots, static_cast<std::size_t>(new_num_poles + k) * sizeof(double));
      out->order = cv->order;
      out->num_poles = new_num_poles;
      out->num_knots = new_num_poles + k;
      out->planar = cv->planar;
      out->phy_closed = cv->phy_closed;
      out->periodic = cv->periodic;
      out->non_uniform = cv->non_uniform;
      out->rational = cv->rational;
      if (!cv->rational) out->weights = nullptr;
      out->num_boundaries = 0;
      out->bdrys = nullptr;
    }
  }
  BSexit(rc, "BSadd_kts", "bsadd_kts");
}

void BSinsertmkt(int order, int dim, int num_poles, const double *poles, const double *knots, int num_ins,
                 const double *ins_knots, double *out_poles, double *out_knots, int *rc) {
  *rc = 0;
  const int k = order, n = num_poles, p = k - 1;
  if (!BSallfinite(dim * n, poles) || (num_ins > 0 && !BSallfinite(num_ins, ins_knots))) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (num_ins <= 0) {
    std::memcpy(out_poles, poles, static_cast<std::size_t>(dim) * n * sizeof(double));
    std::memcpy(out_knots, knots, static_cast<std::size_t>(n + k) * sizeof(double));
  } else {
    // Merged from the back; an inserted knot equal to an old one goes after it.
    int i = n + k - 1, l = num_ins - 1;
    for (int w = n + k + num_ins - 1; w >= 0; --w) {
      if (l >= 0 && (i < 0 || ins_knots[l] >= knots[i]))
        out_knots[w] = ins_knots[l--];
      else
        out_knots[w] = knots[i--];
    }
    const int new_n = n + num_ins;
    BSscratch<100> work;
    double *d = work.take(static_cast<std::size_t>(k) * dim);
    if (!d) *rc = BSRC_NO_SCRATCH;
    for (int j = 0; j < new_n && *rc == 0; ++j) {
      const int mu = refined_span(k, n, knots, out_knots, j);
      if (mu < 0) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      for (int q = 0; q <= p; ++q)
        for (int c = 0; c < dim; ++c) d[q * dim + c] = poles[static_cast<std::size_t>(c) * n + mu - p + q];
      blossom(p, dim, knots, mu, out_knots + j + 1, d);
      for (int c = 0; c < dim; ++c) out_poles[static_cast<std::size_t>(c) * new_n + j] = d[p * dim + c];
    }
  }
  BSexit(rc, "BSinsertmkt", "bsinsertmkt");
}

namespace {

// The Bezier coefficients of the piece of span mu on [a, b] (dim blocks of p + 1 into out), by the triangles of
// BSbstobez. Level r of a triangle reads only the rows that level r - 1 wrote (r - 1 .. p), so each level is
// written beside the one before instead of over a copy of it; the weights of the levels at b, the same for
// every coefficient, are taken once. kept: room for (p + 2) (p + 1) dim + (p + 1) (p + 2) doubles. P and D,
// when not 0, fix the degree and the dimension for the compiler.
template <int P, int D>
void segment_bezier(int degree, int ncomp, const double *knots, const double *poles, int n, int mu, double a,
                    double b, double *kept, double *out) {
  const int p = P ? P : degree, dim = D ? D : ncomp, k = p + 1;
  const std::size_t one = static_cast<std::size_t>(k) * dim;
  double *d = kept + one * (p + 1), *wb = d + one, *wa = wb + static_cast<std::size_t>(k) * k;
  auto level = [&](int r, const double *w, const double *from, double *to) {
    if constexpr (D == 3) {
      // The first two coordinates side by side in a vector, each lane with the scalar operations. A row is read
      // whole before it is written, and the rows go downwards, so that from may be to.
      typedef double Pair __attribute__((vector_size(16)));
      for (int row = p; row >= r; --row) {
        const double *hi = from + row * 3, *lo = from + (row - 1) * 3;
        Pair h2, l2;
        std::memcpy(&h2, hi, sizeof h2);
        std::memcpy(&l2, lo, sizeof l2);
        const double h3 = hi[2], l3 = lo[2], wr = w[row], rest = 1 - wr;
        const Pair ww = {wr, wr}, rr = {rest, rest}, t2 = ww * h2 + rr * l2;
        std::memcpy(to + row * 3, &t2, sizeof t2);
        to[row * 3 + 2] = wr * h3 + rest * l3;
      }
    } else {
      for (int row = p; row >= r; --row)
        for (int c = 0; c < dim; ++c)
          to[row * dim + c] = w[row] * from[row * dim + c] + (1 - w[row]) * from[(row - 1) * dim + c];
    }
  };
  for (int q = 0; q <= p; ++q)
    for (int c = 0; c < dim; ++c) kept[q * dim + c] = poles[static_cast<std::size_t>(c) * n + mu - p + q];
  for (int r = 1; r <= p; ++r) {
    for (int row = p; row >= r; --row) {
      const int i = mu - p + row;
      wa[row] = (a - knots[i]) / (knots[i + p + 1 - r] - knots[i]);
      wb[r * k + row] = (b - knots[i]) / (knots[i + p + 1 - r] - knots[i]);
    }
    level(r, wa, kept + one * (r - 1), kept + one * r);
  }
  for (int i = 0; i <= p; ++i) {
    const double *from = kept + one * (p - i);
    for (int r = p - i + 1; r <= p; ++r) {
      level(r, wb + r * k, from, d);
      from = d;
    }
    for (int c = 0; c < dim; ++c) out[c * k + i] = from[p * dim + c];
  }
}

}  // namespace

void BSbstobez(int degree, int num_poles, int dim, const double *knots, const double *poles, int *num_segments,
               double *bezier_poles, double *breakpoints, int *rc) {
  *rc = 0;
  *num_segments = 0;
  const int p = degree, n = num_poles, k = p + 1;
  constexpr double kGap = 1e-12;
  int count = 0;
  breakpoints[0] = knots[p];
  for (int i = p + 1; i <= n - 1; ++i)
    if (knots[i + 1] - knots[i] >= kGap && knots[i] - breakpoints[count] >= kGap) breakpoints[++count] = knots[i];
  breakpoints[++count] = knots[n];
  // Each segment's Bezier coefficients are the polar values of its piece at (a^(p-i), b^i): the same numbers
  // that repeated insertion up to full multiplicity gives, and unclamped ends need no separate treatment. The
  // levels at a are shared: the triangle after each of them is kept, and coefficient i goes on from the one
  // after p - i levels with b alone.
  const std::size_t one = static_cast<std::size_t>(k) * dim;
  BSscratch<400> work;
  double *kept = work.take(one * (p + 2) + static_cast<std::size_t>(k) * (k + 1));
  if (!kept) *rc = BSRC_NO_SCRATCH;
  const auto segment = p == 3 && dim == 3 ? segment_bezier<3, 3> : p == 2 && dim == 3 ? segment_bezier<2, 3>
                                                                                        : segment_bezier<0, 0>;
  for (int s = 0; s < count && *rc == 0; ++s) {
    const double a = breakpoints[s], b = breakpoints[s + 1];
    const double mid = a + 0.5 * (b - a);
    const int mu = static_cast<int>(std::upper_bound(knots + p, knots + n + 1, mid) - knots) - 1;
    if (mu < p || mu > n - 1) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    segment(p, dim, knots, poles, n, mu, a, b, kept, bezier_poles + static_cast<std::size_t>(s) * one);
  }
  if (*rc == 0) *num_segments = count;
  BSexit(rc, "BSbstobez", "bsbstobez");
}

void bsknots::refine_midpoints(const VOQbsp_curve &cv, VOQbsp_curve **out, int *rc) {
  *out = nullptr;
  const int num_knots = cv.num_poles + cv.order;
  double *values = static_cast<double *>(BSdbgmalloc(num_knots * static_cast<int>(sizeof(double))));
  int *mults = static_cast<int *>(BSdbgmalloc(num_knots * static_cast<int>(sizeof(int))));
  double *knots = nullptr;
  VOQbsp_curve *refined = nullptr;
  do {
    if (!values || !mults) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    int distinct = 0;
    std::int16_t order = cv.order;
    int num_poles = cv.num_poles;
    BSgetmult(rc, &order, &num_poles, cv.knots, &distinct, values, mults);
    if (*rc != 0) break;
    const int new_num_poles = cv.num_poles + (distinct > 0 ? distinct - 1 : 0);
    knots = static_cast<double *>(BSdbgmalloc((cv.order + new_num_poles) * static_cast<int>(sizeof(double))));
    if (!knots) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    int at = 0;
    for (int i = 0; i < distinct; ++i) {
      for (int j = 0; j < mults[i]; ++j) knots[at++] = values[i];
      if (i + 1 < distinct) knots[at++] = (values[i] + values[i + 1]) / 2.0;
    }
    BSallocvoqcv(cv.order, new_num_poles, cv.rational, 0, &refined, rc);
    if (*rc != 0) break;
    BSadd_kts(&cv, new_num_poles, knots, refined, rc);
  } while (false);
  if (*rc != 0 && refined) {
    int frc = 0;
    BSfreevoqcv(refined, &frc);
    refined = nullptr;
  }
  *out = refined;
  BSdbgfree(values);
  BSdbgfree(mults);
  BSdbgfree(knots);
}
