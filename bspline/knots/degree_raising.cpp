// Degree raising without the Bezier-segment detour: the raised knot vector is written first, then every new pole
// is the polar form (blossom) of the curve at its defining knots. The degree-d blossom of a degree-p piece is the
// mean of its degree-p blossoms over the p-element subsets of the d arguments; it is summed by a recurrence over
// the arguments, so that no derivatives and no expansion about an anchor enter (a Taylor expansion there loses
// digits as fast as the derivatives grow: clustered knots at order 10 kept only seven).
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The coefficients of the poles s-p .. s in the degree-d blossom of span s (p + 1 of them) at the d arguments.
// level holds (p + 1)(p + 2) / 2 doubles: level r, r + 1 entries from offset r (r + 1) / 2, is the sum over the
// r-element subsets of the arguments so far of the polar basis of level r (each subset's arguments taken in
// their order, which the blossom's symmetry allows).
void raised_blossom(int p, const double *knots, int s, const double *args, int d, double *level, double *out) {
  auto row = [&](int r) { return level + r * (r + 1) / 2; };
  for (int i = 0; i < (p + 1) * (p + 2) / 2; ++i) level[i] = 0;
  row(0)[0] = 1;
  for (int k = 1; k <= d; ++k) {
    const double x = args[k - 1];
    // Downward, so that level r - 1 still holds the subsets of the first k - 1 arguments.
    for (int j = std::min(k, p); j >= 1; --j) {
      const double *old = row(j - 1);
      double *acc = row(j);
      // Entry i of level j belongs to the function s - j + i; alpha(f) = (x - knots[f]) / (knots[f + j] - knots[f]).
      auto alpha = [&](int f) { return (x - knots[f]) / (knots[f + j] - knots[f]); };
      acc[j] += alpha(s) * old[j - 1];
      for (int i = j - 1; i >= 1; --i) {
        const int f = s - j + i;
        acc[i] += alpha(f) * old[i - 1] + (1 - alpha(f + 1)) * old[i];
      }
      acc[0] += (1 - alpha(s - j + 1)) * old[0];
    }
  }
  // Mean over the C(d, p) subsets.
  double subsets = 1;
  for (int i = 1; i <= p; ++i) subsets = subsets * (d - p + i) / i;
  for (int i = 0; i <= p; ++i) out[i] = row(p)[i] / subsets;
}

}  // namespace

BSboolean BSgensym(int *rc, const std::int16_t *m, const double *x, double *table) {
  *rc = 0;
  const int M = *m, w = M + 1;
  for (int i = 0; i < w * w; ++i) table[i] = 0;
  for (int r = 0; r <= M; ++r) table[r * w] = 1;
  for (int r = 1; r <= M; ++r)
    for (int c = 1; c <= r; ++c) table[r * w + c] = table[(r - 1) * w + c - 1] * x[r - 1] + table[(r - 1) * w + c];
  BSexit(rc, "BSgensym", "bsgensym");
  return BSTRUE;
}

void BSnewktr(std::int16_t degree, int last_pole_index, BSboolean keep_array, std::int16_t new_degree, double **knots,
              int *new_last_pole_index, int *rc) {
  *rc = 0;
  const std::int16_t order = static_cast<std::int16_t>(degree + 1);
  const int n = last_pole_index + 1, total = n + order, delta = new_degree - degree;
  BSscratch<34> value_work;
  double *values = value_work.take(static_cast<std::size_t>(total));
  int local_mults[34];
  std::unique_ptr<int[]> heap_mults;
  int *mults = local_mults;
  if (total > 34) {
    heap_mults.reset(new (std::nothrow) int[static_cast<std::size_t>(total)]);
    mults = heap_mults.get();
  }
  int count = 0;
  if (!values || !mults) *rc = BSRC_NO_SCRATCH;
  if (*rc == 0) BSgetmult(rc, &order, &n, *knots, &count, values, mults);
  if (*rc == 0) {
    int written = 0;
    for (int i = 0; i < count; ++i) written += mults[i] + delta;
    if (!keep_array) {
      double *grown = static_cast<double *>(BSdbgralloc(*knots, written * static_cast<int>(sizeof(double))));
      if (!grown)
        *rc = BSRC_ALLOC_CURVE;
      else
        *knots = grown;
    }
    if (*rc == 0) {
      int w = 0;
      for (int i = 0; i < count; ++i)
        for (int j = 0; j < mults[i] + delta; ++j) (*knots)[w++] = values[i];
      *new_last_pole_index = written - new_degree - 2;
    }
  }
  BSexit(rc, "BSnewktr", "bsnewktr");
}

void BSupthedeg(VOQbsp_curve *cv, std::int16_t new_degree, BSboolean in_place, VOQbsp_curve **out, int *rc) {
  *rc = 0;
  double *tau = nullptr;
  if (!out) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv)) != 0) {
  } else if (new_degree < cv->order - 1) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (new_degree > cv->order - 1) {
    const int d = new_degree, p = cv->order - 1;
    // The caller's curve ends up clamped whatever happens later: that changes its knots, never its shape.
    BScnvtomkt(rc, cv);
    const int n = cv->num_poles, k = cv->order;
    double ktol = 0;
    if (*rc == 0) BScvkttol2(cv->order, cv->knots, n, cv->poles, cv->weights, &ktol, rc);
    if (*rc == 0) {
      tau = static_cast<double *>(BSdbgmalloc((n + k) * static_cast<int>(sizeof(double))));
      if (!tau)
        *rc = BSRC_ALLOC_CURVE;
      else
        std::memcpy(tau, cv->knots, static_cast<std::size_t>(n + k) * sizeof(double));
    }
    int last = 0;
    if (*rc == 0) {
      bsknots::KnotTolScope scope(ktol);
      BSnewktr(static_cast<std::int16_t>(p), n - 1, BSFALSE, new_degree, &tau, &last, rc);
    }
    const int N = last + 1;
    const int ncomp = cv->rational ? 4 : 3;
    BSscratch<300> pole_work;
    BSscratch<160> level_work;
    double *res = nullptr, *level = nullptr;
    if (*rc == 0) {
      res = pole_work.take(static_cast<std::size_t>(N) * ncomp);
      level = level_work.take(static_cast<std::size_t>(p + 1) * (p + 2) / 2 + p + 1);
      if (!res || !level) *rc = BSRC_NO_SCRATCH;
    }
    if (*rc == 0) {
      double *coef = level + (p + 1) * (p + 2) / 2;
      for (int c = 0; c < 3; ++c) {
        res[c] = cv->poles[c];
        res[(N - 1) * ncomp + c] = cv->poles[3 * (n - 1) + c];
      }
      if (ncomp == 4) {
        res[3] = cv->weights[0];
        res[(N - 1) * ncomp + 3] = cv->weights[n - 1];
      }
      for (int j = 1; j <= N - 2 && *rc == 0; ++j) {
        // The blossom of any piece whose span lies among tau[j .. j+d+1] gives the pole. The longest span keeps
        // the ratios (x - knot) / (knot difference) of the recurrence small: the arguments lie within the support,
        // at most d + 1 of its spans away.
        double a = 0, best = -1;
        for (int v = j; v <= j + d; ++v) {
          const double len = tau[v + 1] - tau[v];
          if (len > best && len > 0) {
            best = len;
            a = tau[v] + 0.5 * len;
          }
        }
        int s = -1;
        if (best < 0 || !BSfndspan(rc, cv, &n, cv->knots, &a, &s)) {
          if (*rc == 0) *rc = BSRC_OUT_OF_RANGE;
          break;
        }
        raised_blossom(p, cv->knots, s, tau + j + 1, d, level, coef);
        double *P = res + static_cast<std::size_t>(j) * ncomp;
        for (int c = 0; c < ncomp; ++c) P[c] = 0;
        for (int i = 0; i <= p; ++i) {
          const int pole = s - p + i;
          for (int c = 0; c < 3; ++c) P[c] += coef[i] * cv->poles[3 * pole + c];
          if (ncomp == 4) P[3] += coef[i] * cv->weights[pole];
        }
      }
    }
    VOQbsp_curve *target = nullptr;
    if (*rc == 0) {
      if (!in_place) {
        BSallocvoqcv(static_cast<std::int16_t>(d + 1), N, cv->rational, 0, &target, rc);
        if (*rc == 0 && BScv_copy(rc, cv, target)) {
          if (*out) BSfreevoqcv(*out, rc);
          *out = target;
        } else if (target) {
          int ignored = 0;
          BSfreevoqcv(target, &ignored);
          target = nullptr;
        }
      } else if (!*out) {
        *rc = BSRC_NULL_CURVE;
      } else {
        target = *out;
        BScv_copy(rc, cv, target);
      }
    }
    if (*rc == 0) {
      target->order = static_cast<std::int16_t>(d + 1);
      target->num_poles = N;
      target->num_knots = N + d + 1;
      target->non_uniform = 1;
      std::memcpy(target->knots, tau, static_cast<std::size_t>(N + d + 1) * sizeof(double));
      for (int j = 0; j < N; ++j) {
        for (int c = 0; c < 3; ++c) target->poles[3 * j + c] = res[j * ncomp + c];
        if (ncomp == 4) target->weights[j] = res[j * ncomp + 3];
      }
    }
  }
  BSdbgfree(tau);
  BSexit(rc, "BSupthedeg", "bsupthedeg");
}
