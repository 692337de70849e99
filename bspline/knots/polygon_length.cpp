// Lengths of control polygons and point lists: the total, the running sums, and the chord or centripetal
// spacing used to parametrise fitted points. Weighted points are measured after division by their weights.
#include "bspline/core/exit.h"
#include "bspline/knots.h"

#include <cmath>

namespace {
double span_length(const double *a, double wa, const double *b, double wb, int dim) {
  double s = 0;
  for (int c = 0; c < dim; ++c) {
    const double d = b[c] / wb - a[c] / wa;
    s += d * d;
  }
  return std::sqrt(s);
}
}  // namespace

BSboolean BScumdist(int *rc, const int *n, const double *points, const double *weights, double *length) {
  *rc = 0;
  *length = 0;
  const int count = *n;
  // A weight of zero or below has no Cartesian point behind it; every weight is tested, the last one too.
  if (weights)
    for (int i = 0; i < count && *rc == 0; ++i)
      if (!(weights[i] > 0)) *rc = BSRC_BAD_WEIGHT;
  if (*rc == 0) {
    double sum = 0;
    if (weights) {
      for (int i = 0; i + 1 < count; ++i)
        sum += span_length(points + 3 * i, weights[i], points + 3 * (i + 1), weights[i + 1], 3);
    } else {
      // Every knot tolerance measures a polygon, most of them a span's few poles: a division by 1 gives back its
      // numerator bit for bit, and a square is never a negative zero that the sum's start at zero would turn, so
      // the unweighted legs are taken without either.
      for (int i = 0; i + 1 < count; ++i) {
        const double *a = points + 3 * i, *b = a + 3;
        const double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
        sum += std::sqrt(dx * dx + dy * dy + dz * dz);
      }
    }
    *length = sum;
  }
  BSexit(rc, "BScumdist", "bscumdist");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BScumdistar(int *rc, const int *n, const double *points, const double *weights, double *cum) {
  *rc = 0;
  double sum = 0;
  for (int i = 0; i + 1 < *n; ++i) {
    sum += span_length(points + 3 * i, weights ? weights[i] : 1.0, points + 3 * (i + 1),
                       weights ? weights[i + 1] : 1.0, 3);
    cum[i] = sum;
  }
  BSexit(rc, "BScumdistar", "bscumdistar");
  return BSTRUE;
}

void BScumdstopt(int n, const double *points, const double *weights, int stride, int dim, int *option, double *cum,
                 int *rc) {
  *rc = 0;
  double smallest = 2.0;
  for (int i = 0; i + 1 < n; ++i) {
    cum[i] = span_length(points + static_cast<long>(stride) * i, weights ? weights[i] : 1.0,
                         points + static_cast<long>(stride) * (i + 1), weights ? weights[i + 1] : 1.0, dim);
    if (cum[i] < smallest) smallest = cum[i];
  }
  // Short chords favour plain chord length; once every chord is at least 1 the square roots space better.
  if (*option == 2) *option = smallest < 1.0 ? 0 : 1;
  double sum = 0;
  for (int i = 0; i + 1 < n; ++i) {
    sum += *option == 1 ? std::sqrt(cum[i]) : cum[i];
    cum[i] = sum;
  }
  BSexit(rc, "BScumdstopt", "bscumdstopt");
}
