// One curve at a whole ascending list of parameters: points, derivatives, homogeneous points, tangent markers
// and curvature markers. The knot span is walked forward once along the list instead of searched per parameter.
#include "bspline/core/exit.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"

#include <cfloat>
#include <cmath>

namespace {
constexpr int kMaxOrder = 16;

bool usable(const VOQbsp_curve *cv) {
  return cv && cv->poles && cv->knots && (!cv->rational || cv->weights);
}

// The span walk. The first parameter of the derivative evaluators takes the span that starts at a knot; every
// later parameter, and every parameter of the point evaluators, keeps the span that ends there. Empty spans are
// never stood on: their basis is undefined.
struct SpanWalk {
  const double *t;
  int k, n, span;
  SpanWalk(const VOQbsp_curve &cv) : t(cv.knots), k(cv.order), n(cv.num_poles), span(cv.order - 1) {}

  int first(double u) {
    if (u >= t[n]) {
      span = n - 1;
    } else {
      while (span < n - 1 && u >= t[span + 1]) ++span;
    }
    skip_empty();
    return span;
  }
  int next(double u) {
    while (span < n - 1 && u > t[span + 1]) ++span;
    skip_empty();
    return span;
  }
  void skip_empty() {
    while (span < n - 1 && t[span] == t[span + 1]) ++span;
  }
};

// Basis values of span s at u by the triangular recurrence, without the zero-length tests of BSmansf0 (the walk
// never stands on an empty span). K: the order when known at compile time (the loops unroll to the same operations
// in the same order), else 0 and k gives it.
template <int K>
void basis(int k, const double *t, int s, double u, double N[kMaxOrder]) {
  if (K) k = K;
  double left[kMaxOrder], right[kMaxOrder];
  N[0] = 1;
  for (int j = 1; j < k; ++j) {
    left[j] = u - t[s + 1 - j];
    right[j] = t[s + j] - u;
    double saved = 0;
    for (int r = 0; r < j; ++r) {
      const double temp = N[r] / (right[r + 1] + left[j - r]);
      N[r] = saved + right[r + 1] * temp;
      saved = left[j - r] * temp;
    }
    N[j] = saved;
  }
}

// Points (homogeneous when keep_weight and rational) along the list.
template <int K>
void points_of_order(const VOQbsp_curve &cv, const double *params, int count, bool keep_weight, double *out,
                     int *rc) {
  const int k = K ? K : cv.order;
  const bool rational = cv.rational != 0;
  const int stride = keep_weight && rational ? 4 : 3;
  SpanWalk walk(cv);
  double N[kMaxOrder];
  for (int i = 0; i < count; ++i) {
    const double u = params[i];
    const int s = walk.next(u);
    basis<K>(k, cv.knots, s, u, N);
    double A[3] = {0, 0, 0}, W = 0;
    for (int j = 0; j < k; ++j) {
      const int P = s - k + 1 + j;
      for (int c = 0; c < 3; ++c) A[c] += N[j] * cv.poles[3 * P + c];
      if (rational) W += N[j] * cv.weights[P];
    }
    double *row = out + static_cast<std::size_t>(stride) * i;
    if (!rational) {
      for (int c = 0; c < 3; ++c) row[c] = A[c];
    } else if (keep_weight) {
      for (int c = 0; c < 3; ++c) row[c] = A[c];
      row[3] = W;
    } else if (W == 0) {
      *rc = BSRC_ZERO_WEIGHT;
      return;
    } else {
      for (int c = 0; c < 3; ++c) row[c] = A[c] / W;
    }
  }
}

// The low orders, whose node polygons the intersectors take for every span, by their own unrolled loops.
void points_along(const VOQbsp_curve &cv, const double *params, int count, bool keep_weight, double *out, int *rc) {
  switch (cv.order) {
    case 2: return points_of_order<2>(cv, params, count, keep_weight, out, rc);
    case 3: return points_of_order<3>(cv, params, count, keep_weight, out, rc);
    case 4: return points_of_order<4>(cv, params, count, keep_weight, out, rc);
    default: return points_of_order<0>(cv, params, count, keep_weight, out, rc);
  }
}

int check_curve(const VOQbsp_curve *cv, int max_order) {
  if (!usable(cv)) return BSRC_NULL_CURVE;
  if (cv->order < 1 || cv->order > max_order || cv->num_poles < cv->order) return BSRC_OUT_OF_RANGE;
  return 0;
}
}  // namespace

void BScvarreval(int *rc, const VOQbsp_curve *cv_in, const double *params, int count, int nder, double *out) {
  *rc = 0;
  if (count >= 1) {
    if (nder < 0 || nder > 2 || !BSallfinite(count, params)) {
      *rc = BSRC_OUT_OF_RANGE;
    } else if ((*rc = check_curve(cv_in, 0x7fff)) == 0) {
      const VOQbsp_curve cv = bsknots::plain_view(*cv_in);
      SpanWalk walk(cv);
      const int stride = 3 * (nder + 1);
      for (int i = 0; i < count && *rc == 0; ++i) {
        const double u = params[i];
        const int s = i == 0 ? walk.first(u) : walk.next(u);
        double *row = out + static_cast<std::size_t>(stride) * i;
        if (nder == 0) {
          BScveval0(rc, cv.order, cv.poles, cv.weights, cv.knots, s, u, row);
        } else if (nder == 1 || cv.order == 2) {
          BScveval1(rc, cv.order, cv.poles, cv.weights, cv.knots, s, u, row);
          if (nder == 2) row[6] = row[7] = row[8] = 0;
        } else {
          BScveval2(rc, cv.order, cv.poles, cv.weights, cv.knots, s, u, row);
        }
      }
    }
  }
  BSexit(rc, "BScvarreval", "bscvarreval");
}

void BScvarrev0(int *rc, const VOQbsp_curve *cv, const double *params, int count, double *out) {
  *rc = 0;
  // Fixed work arrays of 16 entries: higher orders are refused rather than overrun.
  if (count >= 1 && !BSallfinite(count, params))
    *rc = BSRC_OUT_OF_RANGE;
  else if (count >= 1 && (*rc = check_curve(cv, kMaxOrder)) == 0)
    points_along(*cv, params, count, false, out, rc);
  BSexit(rc, "BScvarrev0", "bscvarrev0");
}

void BScvarrev0w(const VOQbsp_curve *cv, int count, const double *params, double *out, int *rc) {
  *rc = 0;
  if (count >= 1 && !BSallfinite(count, params))
    *rc = BSRC_OUT_OF_RANGE;
  else if (count >= 1 && (*rc = check_curve(cv, kMaxOrder)) == 0)
    points_along(*cv, params, count, true, out, rc);
  BSexit(rc, "BScvarrev0w", "bscvarrev0w");
}

void BScvarrevt(const VOQbsp_curve *cv_in, const double *params, int count, double dist, double *out, int *rc) {
  *rc = 0;
  if (count >= 1 && (!std::isfinite(dist) || !BSallfinite(count, params))) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (count >= 1 && (*rc = check_curve(cv_in, 0x7fff)) == 0) {
    const VOQbsp_curve cv = bsknots::plain_view(*cv_in);
    SpanWalk walk(cv);
    for (int i = 0; i < count && *rc == 0; ++i) {
      const double u = params[i];
      const int s = i == 0 ? walk.first(u) : walk.next(u);
      double pd[6];
      BScveval1(rc, cv.order, cv.poles, cv.weights, cv.knots, s, u, pd);
      if (*rc != 0) break;
      double T[3] = {pd[3], pd[4], pd[5]};
      const double len = std::sqrt(bsmeasure::dot3(T, T));
      if (len > DBL_EPSILON)
        for (double &x : T) x /= len;
      double *row = out + 6 * static_cast<std::size_t>(i);
      for (int c = 0; c < 3; ++c) {
        row[c] = pd[c];
        row[3 + c] = pd[c] + dist * T[c];
      }
    }
  }
  BSexit(rc, "BScvarrevt", "bscvarrevt");
}

void BScvarrevc(const VOQbsp_curve *cv_in, int count, const double *params, double maxlen, double *curvature,
                double *radius, double *out, int *rc) {
  *rc = 0;
  BSscratch<0> len_work, dir_work;
  do {
    if (count < 1) break;
    // maxlen is the length of the longest marker: not negative.
    if (!(maxlen >= 0) || !std::isfinite(maxlen) || !BSallfinite(count, params)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if ((*rc = check_curve(cv_in, 0x7fff)) != 0) break;
    if (cv_in->order == 2) {
      *rc = BSRC_OUT_OF_RANGE;  // straight legs: no curvature anywhere
      break;
    }
    double *lengths = len_work.take(static_cast<std::size_t>(count));
    double *dirs = dir_work.take(3 * static_cast<std::size_t>(count));
    if (!lengths || !dirs) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    const VOQbsp_curve cv = bsknots::plain_view(*cv_in);
    const double e = BStoltab[bstol::zero_tol];
    SpanWalk walk(cv);
    double rmax = -1;
    for (int i = 0; i < count && *rc == 0; ++i) {
      const double u = params[i];
      const int s = i == 0 ? walk.first(u) : walk.next(u);
      double d[9];
      BScveval2(rc, cv.order, cv.poles, cv.weights, cv.knots, s, u, d);
      if (*rc != 0) break;
      double *row = out + 6 * static_cast<std::size_t>(i);
      for (int c = 0; c < 3; ++c) row[c] = d[c];
      const double *D1 = d + 3, *D2 = d + 6;
      const double l1 = std::sqrt(bsmeasure::dot3(D1, D1)), l2 = std::sqrt(bsmeasure::dot3(D2, D2));
      if (l2 < e) {
        curvature[i] = 0;
        radius[i] = -1;
      } else if (l1 < e) {
        curvature[i] = -1;
        radius[i] = -1;
      } else {
        double X[3];
        bsmeasure::cross3(D1, D2, X);
        const double c = std::sqrt(bsmeasure::dot3(X, X)) / (l1 * l1 * l1);
        curvature[i] = c;
        radius[i] = c <= e ? -1 : 1 / c;
        // Towards the centre of curvature.
        bsmeasure::cross3(X, D1, dirs + 3 * i);
        lengths[i] = std::sqrt(bsmeasure::dot3(dirs + 3 * i, dirs + 3 * i));
      }
      if (radius[i] > rmax) rmax = radius[i];
    }
    if (*rc != 0 || rmax == -1) break;
    // Markers reach the centres of curvature unless the longest would exceed maxlen; then all are scaled alike.
    const double scale = rmax < maxlen ? 1.0 : maxlen / rmax;
    for (int i = 0; i < count; ++i) {
      if (radius[i] == -1) continue;
      double *row = out + 6 * static_cast<std::size_t>(i);
      for (int c = 0; c < 3; ++c) row[3 + c] = row[c] + scale * radius[i] * dirs[3 * i + c] / lengths[i];
    }
  } while (false);
  BSexit(rc, "BScvarrevc", "bscvarrevc");
}
