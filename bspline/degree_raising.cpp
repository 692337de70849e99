// Degree raising without the Bezier-segment detour: the raised knot vector is written first, then every new pole
// is the polar form of the curve at its defining knots, taken from a Taylor expansion at an anchor knot whose
// coefficients are elementary symmetric functions of the knot offsets.
#include "bspline/knots.h"
#include "bspline/knots_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

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
  if (!cv || !out) {
    *rc = BSRC_NULL_CURVE;
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
    const int nder = std::min(d, p);
    BSscratch<300> pole_work, table_work;
    double *res = nullptr, *table = nullptr;
    if (*rc == 0) {
      res = pole_work.take(static_cast<std::size_t>(N) * ncomp);
      table = table_work.take(static_cast<std::size_t>(d + 1) * (d + 1) + d + 4 * (nder + 1));
      if (!res || !table) *rc = BSRC_NO_SCRATCH;
    }
    if (*rc == 0) {
      double *delta = table + (d + 1) * (d + 1), *D = delta + d;
      const std::int16_t m = new_degree;
      for (int c = 0; c < 3; ++c) {
        res[c] = cv->poles[c];
        res[(N - 1) * ncomp + c] = cv->poles[3 * (n - 1) + c];
      }
      if (ncomp == 4) {
        res[3] = cv->weights[0];
        res[(N - 1) * ncomp + 3] = cv->weights[n - 1];
      }
      for (int j = 1; j <= N - 2 && *rc == 0; ++j) {
        // The anchor lies on a piece that the pole's defining knots belong to: the middle of the span among
        // tau[j .. j+d+1] nearest to their mean, which keeps the offsets, and so the cancellation in the
        // expansion, small.
        double mean = 0;
        for (int r = 1; r <= d; ++r) mean += tau[j + r];
        mean /= d;
        double a = 0, best = -1;
        for (int v = j; v <= j + d; ++v) {
          if (!(tau[v + 1] > tau[v])) continue;
          const double mid = tau[v] + 0.5 * (tau[v + 1] - tau[v]);
          if (best < 0 || std::fabs(mid - mean) < best) {
            best = std::fabs(mid - mean);
            a = mid;
          }
        }
        int s = -1;
        if (best < 0 || !BSfndspan(rc, cv, &n, cv->knots, &a, &s)) {
          if (*rc == 0) *rc = BSRC_OUT_OF_RANGE;
          break;
        }
        BSbspl(rc, cv->poles, cv->weights, cv->knots, &cv->order, &cv->rational, &s, &nder, &a, D);
        for (int r = 0; r < d && *rc == 0; ++r) delta[r] = tau[j + 1 + r] - a;
        if (*rc == 0) BSgensym(rc, &m, delta, table);
        if (*rc == 0) {
          double *P = res + static_cast<std::size_t>(j) * ncomp;
          for (int c = 0; c < ncomp; ++c) P[c] = 0;
          double coef = 1;  // (d - m)! / d!
          for (int q = 0; q <= nder; ++q) {
            if (q > 0) coef /= d - q + 1;
            const double e = table[d * (d + 1) + q];
            for (int c = 0; c < ncomp; ++c) P[c] += coef * e * D[4 * q + c];
          }
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
