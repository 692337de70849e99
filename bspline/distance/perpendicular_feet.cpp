// The foot of the perpendicular from a point to a curve, span by span: each span becomes a polynomial on [0, 1],
// perpendicularity a polynomial equation, and spans are solved nearest box first so that far spans cost nothing.
#include <cmath>
#include <cstdint>
#include <limits>

#include "bspline/distance.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

namespace {

constexpr int kLocalSpans = 85;
constexpr int kLocalCoefs = 100;

// The Cartesian point of a span polynomial (k coefficients of x, y, z, w) at s.
void span_point(int k, const double *coef, double s, double p[3]) {
  double h[4] = {0, 0, 0, 0};
  for (int j = k - 1; j >= 0; --j)
    for (int c = 0; c < 4; ++c) h[c] = h[c] * s + coef[4 * j + c];
  for (int c = 0; c < 3; ++c) p[c] = h[c] / h[3];
}

double sq_dist(const double a[3], const double b[3]) {
  double s = 0;
  for (int c = 0; c < 3; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
  return s;
}

// The root whose span point lies nearest to pt_dist; ties keep the first.
double nearest_root(int k, const double *coef, const double pt_dist[3], int count, const double *roots) {
  double best = roots[0], best_sq = std::numeric_limits<double>::infinity();
  for (int i = 0; i < count; ++i) {
    double p[3];
    span_point(k, coef, roots[i], p);
    const double d = sq_dist(p, pt_dist);
    if (d < best_sq) {
      best_sq = d;
      best = roots[i];
    }
  }
  return best;
}

}  // namespace

BSboolean BScbzpr(int *rc, const std::int16_t *order, const double *bez, double *coef) {
  *rc = 0;
  const int k = *order;
  if (k < 1) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // a_j = C(d, j) sum_i (-1)^(j-i) C(j, i) b_i; the binomials are built row by row to stay exact.
    const int d = k - 1;
    double cdj = 1;
    for (int j = 0; j <= d; ++j) {
      double acc[4] = {0, 0, 0, 0}, cji = 1;
      for (int i = 0; i <= j; ++i) {
        const double sgn = ((j - i) & 1) ? -cji : cji;
        for (int c = 0; c < 4; ++c) acc[c] += sgn * bez[4 * i + c];
        cji = cji * (j - i) / (i + 1);
      }
      for (int c = 0; c < 4; ++c) coef[4 * j + c] = cdj * acc[c];
      cdj = cdj * (d - j) / (j + 1);
    }
  }
  BSexit(rc, "BScbzpr", "bscbzpr");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSspnpow01(int *rc, const VOQbsp_curve *cv, const int *span, BSboolean *skip, std::int16_t *order_out,
                     double *coef) {
  *rc = 0;
  const int k = cv->order, n = cv->num_poles, i = *span;
  if (k < 2 || i < k - 1 || i > n - 1) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double ktol = 0;
    const double *t = cv->knots;
    BScvkttol2(cv->order, t, n, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
    if (*rc == 0 && !(t[i + 1] - t[i] >= ktol)) {
      *skip = BSTRUE;
    } else if (*rc == 0) {
      *skip = BSFALSE;
      // Bezier pole j is the blossom at (t_i repeated d - j times, t_i+1 repeated j times): de Boor's recurrence
      // with those arguments in turn, on the homogeneous poles.
      const int d = k - 1;
      BSscratch<4 * 16> work;
      double *q = work.take(4 * static_cast<std::size_t>(k));
      BSscratch<4 * 16> bezier;
      double *bez = q ? bezier.take(4 * static_cast<std::size_t>(k)) : nullptr;
      if (!bez) {
        *rc = BSRC_NO_SCRATCH;
      } else {
        for (int j = 0; j <= d; ++j) {
          for (int m = 0; m <= d; ++m) {
            const int p = i - d + m;
            const double w = cv->rational ? cv->weights[p] : 1.0;
            for (int c = 0; c < 3; ++c) q[4 * m + c] = cv->poles[3 * p + c];
            q[4 * m + 3] = w;
          }
          for (int r = 1; r <= d; ++r) {
            const double arg = r <= d - j ? t[i] : t[i + 1];
            for (int m = d; m >= r; --m) {
              const int p = i - d + m;
              const double a = (arg - t[p]) / (t[p + d - r + 1] - t[p]);
              for (int c = 0; c < 4; ++c) q[4 * m + c] = (1 - a) * q[4 * (m - 1) + c] + a * q[4 * m + c];
            }
          }
          for (int c = 0; c < 4; ++c) bez[4 * j + c] = q[4 * d + c];
        }
        *order_out = static_cast<std::int16_t>(k);
        BScbzpr(rc, order_out, bez, coef);
      }
    }
  }
  BSexit(rc, "BSspnpow01", "bsspnpow01");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BScvspndst(const VOQbsp_curve *cv, const double pt[3], int count, const int *spans, double *dist, int *rc) {
  *rc = 0;
  const int k = cv->order;
  for (int s = 0; s < count && *rc == 0; ++s) {
    const int first = spans[s] - k + 1;
    double lo[3], hi[3];
    BSpolesbox(rc, &k, cv->poles + 3 * first, cv->rational ? cv->weights + first : nullptr, lo, hi);
    if (*rc == 0) BSbx3(rc, pt, lo, hi, &dist[s]);
  }
  BSexit(rc, "BScvspndst", "bscvspndst");
}

BSboolean BSperpr(int *rc, const std::int16_t *order, const double *coef, const double pt[3], int *nroots,
                  double *roots) {
  *rc = 0;
  *nroots = 0;
  const int k = *order;
  if (k < 2) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // (X - w pt) . (X' w - X w') = 0: the vector to the point against the numerator of the rational tangent.
    // A has degree d, B 2d - 1 as formed (its top term cancels), so the product has 3d coefficients.
    const int d = k - 1, nb = 2 * d, nf = 3 * d;
    BSscratch<kLocalCoefs> room;
    double *a = room.take(3 * static_cast<std::size_t>(k) + 3 * static_cast<std::size_t>(nb) + nf);
    if (!a) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *b = a + 3 * k, *f = b + 3 * nb;
      for (int j = 0; j < k; ++j)
        for (int c = 0; c < 3; ++c) a[3 * j + c] = coef[4 * j + c] - coef[4 * j + 3] * pt[c];
      for (int m = 0; m < 3 * nb; ++m) b[m] = 0;
      for (int i = 1; i < k; ++i)
        for (int j = 0; j < k; ++j)
          for (int c = 0; c < 3; ++c)
            b[3 * (i - 1 + j) + c] += i * (coef[4 * i + c] * coef[4 * j + 3] - coef[4 * j + c] * coef[4 * i + 3]);
      for (int m = 0; m < nf; ++m) f[m] = 0;
      for (int i = 0; i < k; ++i)
        for (int j = 0; j < nb; ++j)
          for (int c = 0; c < 3; ++c) f[i + j] += a[3 * i + c] * b[3 * j + c];
      const std::int16_t deg = static_cast<std::int16_t>(nf - 1);
      const double lo = 0, hi = 1;
      std::uint16_t count = 0;
      BSpoly3(rc, &deg, f, &lo, &hi, &count, roots);
      if (*rc == 0) *nroots = count == 65535 ? -1 : count;
    }
  }
  BSexit(rc, "BSperpr", "bsperpr");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSperpr1(int *rc, const std::int16_t *order, const double *coef, const double pt[3],
                   const double pt_dist[3], BSboolean *found, double *s, int *position) {
  *rc = 0;
  *found = BSFALSE;
  const int k = *order;
  BSscratch<kLocalCoefs> room;
  double *roots = k >= 2 ? room.take(3 * static_cast<std::size_t>(k - 1)) : nullptr;
  int nroots = 0;
  if (k < 2) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!roots) {
    *rc = BSRC_NO_SCRATCH;
  } else if (BSperpr(rc, order, coef, pt, &nroots, roots) && nroots > 0) {
    *s = nearest_root(k, coef, pt_dist, nroots, roots);
    *found = BSTRUE;
    *position = *s == 0 ? 1 : *s == 1 ? -1 : 0;
  } else if (*rc == 0 && nroots < 0) {
    // Every point of the span is a foot for pt: no foot is reported, but s still names the best guess for
    // pt_dist.
    *position = 0;
    if (BSperpr(rc, order, coef, pt_dist, &nroots, roots)) {
      if (nroots < 0) {
        *s = 0.5;
      } else if (nroots == 0) {
        double p0[3], p1[3];
        span_point(k, coef, 0, p0);
        span_point(k, coef, 1, p1);
        *s = sq_dist(p1, pt_dist) < sq_dist(p0, pt_dist) ? 1 : 0;
      } else {
        *s = nearest_root(k, coef, pt_dist, nroots, roots);
      }
    }
  }
  BSexit(rc, "BSperpr1", "bsperpr1");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSperpa(int *rc, const VOQbsp_curve *cv, const double pt[3], const double pt_dist[3], BSboolean *found,
                  double *u, int *position) {
  *rc = 0;
  *found = BSFALSE;
  if (const int bad = BScvcheck(cv)) {
    *rc = bad;
  } else if (!pt || !pt_dist || !found || !u || !position) {
    *rc = BSRC_NULL_CURVE;
  } else if (!BSallfinite(3, pt) || !BSallfinite(3, pt_dist) || cv->order < 2) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  const int k = cv && *rc == 0 ? cv->order : 0, n = k ? cv->num_poles : 0;
  const double u0 = k ? cv->knots[k - 1] : 0, u1 = k ? cv->knots[n] : 0;
  bool done = *rc != 0;
  for (int end = 0; end < 2 && !done; ++end) {
    double p[3];
    BScveval_n(cv, end ? u1 : u0, 0, p, rc);
    if (*rc != 0) {
      done = true;
    } else if (sq_dist(p, pt) <= BStoltab[bstol::dist_sqtol]) {
      *found = BSTRUE;
      *u = end ? u1 : u0;
      *position = end ? -1 : 1;
      done = true;
    }
  }
  double ktol = 0;
  if (!done) BScvkttol2(cv->order, cv->knots, n, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
  BSscratch<kLocalSpans> dist_room, index_room;  // the index room holds two 32-bit arrays
  double *dist = nullptr;
  std::int32_t *spans = nullptr, *tags = nullptr;
  int count = 0;
  if (!done && *rc == 0) {
    const std::size_t m = static_cast<std::size_t>(n - k + 1);
    dist = dist_room.take(m);
    double *ints = dist ? index_room.take(m) : nullptr;
    if (!ints) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      spans = reinterpret_cast<std::int32_t *>(ints);
      tags = spans + m;
      // The span list is taken under the curve's own knot tolerance; the scope's own code keeps a failure of
      // the restore from hiding this one.
      bsknots::KnotTolScope scope(ktol);
      BScvndegspn(cv, &count, spans, rc);
    }
  }
  if (!done && *rc == 0) BScvspndst(cv, pt_dist, count, spans, dist, rc);
  if (!done && *rc == 0) {
    if (count > 1) {
      BStagsort(rc, &count, dist, tags);
    } else {
      tags[0] = 0;
    }
  }
  if (!done && *rc == 0) {
    BSscratch<4 * 16> coef_room;
    double *coef = coef_room.take(4 * static_cast<std::size_t>(k));
    double best = std::numeric_limits<double>::infinity();
    if (!coef) *rc = BSRC_NO_SCRATCH;
    for (int v = 0; v < count && *rc == 0; ++v) {
      const int t = tags[v];
      if (*found && !(dist[t] < best)) break;
      BSboolean skip = BSFALSE, hit = BSFALSE;
      std::int16_t order = 0;
      double s = 0;
      int pos = 0;
      if (!BSspnpow01(rc, cv, &spans[t], &skip, &order, coef) || skip) continue;
      if (!BSperpr1(rc, &order, coef, pt, pt_dist, &hit, &s, &pos) || !hit) continue;
      const double a = cv->knots[spans[t]], b = cv->knots[spans[t] + 1];
      double w = a + s * (b - a);
      if (w >= u1 + ktol || w <= u0 - ktol) {
        *rc = BSRC_ZERO_WEIGHT;  // -1: a foot outside the curve
        break;
      }
      w = w > u1 ? u1 : w < u0 ? u0 : w;
      double p[3];
      BScveval_n(cv, w, 0, p, rc);
      const double d = *rc == 0 ? sq_dist(p, pt_dist) : 0;
      if (*rc == 0 && (!*found || d < best)) {
        best = d;
        *found = BSTRUE;
        *u = w;
        *position = pos;
      }
    }
    if (*rc != 0) *found = BSFALSE;
  }
  BSexit(rc, "BSperpa", "bsperpa");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
