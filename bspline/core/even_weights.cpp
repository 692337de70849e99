// Evening and cutting of rational Bezier spans whose weights lie far apart (see even_weights_internal.h).
#include "bspline/core/even_weights_internal.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "bspline/bspline.h"

namespace bseven {

bool weight_logs(int degree, int dim, const double *poles, double *l) {
  const double *w = poles + dim * (degree + 1);
  for (int j = 0; j <= degree; ++j) {
    if (!(w[j] > 0) || !(w[j] <= DBL_MAX)) return false;
    l[j] = std::log2(w[j]);
  }
  return true;
}

double spread_at(int degree, const double *l, double e, double *middle) {
  double lo = DBL_MAX, hi = -DBL_MAX;
  for (int j = 0; j <= degree; ++j) lo = std::fmin(lo, l[j] + e * j), hi = std::fmax(hi, l[j] + e * j);
  if (middle) *middle = (lo + hi) / 2;
  return hi - lo;
}

bool uneven(int degree, int dim, const double *poles) {
  double l[16];
  return dim <= 3 && degree < 16 && weight_logs(degree, dim, poles, l) && spread_at(degree, l, 0) > kEvenSpread;
}

// The spread is convex and piecewise linear in e, least where two weights' lines cross: the whole numbers about the
// crossings hold the least whole one.
int evening_exponent(int degree, const double *l, double *spread) {
  int best_e = 0;
  double best = spread_at(degree, l, 0);
  for (int i = 0; i < degree; ++i)
    for (int j = i + 1; j <= degree; ++j) {
      const double cross = (l[i] - l[j]) / (j - i);
      for (double c : {std::floor(cross), std::ceil(cross)}) {
        if (!(std::fabs(c) <= kMostExponent)) continue;
        const double sp = spread_at(degree, l, c);
        if (sp < best) best = sp, best_e = static_cast<int>(c);
      }
    }
  *spread = best;
  return best_e;
}

bool even_out(int degree, int dim, const double *poles, const double *l, int e, double *out) {
  double middle = 0;
  spread_at(degree, l, e, &middle);
  const int k = degree + 1, h = static_cast<int>(std::lround(middle));
  for (int c = 0; c <= dim; ++c)
    for (int j = 0; j < k; ++j) {
      const double v = poles[c * k + j], x = std::ldexp(v, e * j - h);
      if (!std::isfinite(x) || (v != 0 && !(std::fabs(x) >= DBL_MIN))) return false;
      out[c * k + j] = x;
    }
  return true;
}

void cut(int degree, int nc, const double *in, double u, double t, double *left, double *right) {
  const int k = degree + 1;
  for (int c = 0; c < nc; ++c) {
    double v[16];
    std::memcpy(v, in + c * k, sizeof(double) * k);
    for (int r = 0; r <= degree; ++r) {
      left[c * k + r] = v[0];
      right[c * k + degree - r] = v[degree - r];
      for (int i = 0; i < degree - r; ++i) v[i] = u * v[i] + t * v[i + 1];
    }
  }
}

void halving_point(int e, double *u, double *t) {
  const double r = std::ldexp(1.0, e);
  *u = 1 / (1 + r);
  *t = r / (1 + r);
}

double unevened(double s, int e, double a, double b) {
  const double r = std::ldexp(s, e), lam = r / ((1 - s) + r), rest = (1 - s) / ((1 - s) + r);
  return std::fmax(a, std::fmin(b, lam <= 0.5 ? a + (b - a) * lam : b - (b - a) * rest));
}

namespace {

int descend_from(int degree, int nc, const double *poles, double a, double b, int depth, Parts &parts) {
  if (parts.passed(poles)) return 0;
  double l[16], spread = 0;
  if (!weight_logs(degree, nc - 1, poles, l)) return BSRC_OUT_OF_RANGE;
  const int e = evening_exponent(degree, l, &spread);
  if (spread <= kEvenSpread || depth >= kEvenDepth) return parts.part(poles, a, b, l, e);
  double u = 0, t = 0;
  halving_point(e, &u, &t);
  // The cut's place in [a, b] taken from the nearer end, so that a cut near either end keeps its digits.
  const double m = t <= 0.5 ? a + (b - a) * t : b - (b - a) * u;
  if (!parts.may_cut(a, m, b)) return parts.part(poles, a, b, l, e);
  double half[2][64];
  cut(degree, nc, poles, u, t, half[0], half[1]);
  const int first = parts.right_first(half[0], half[1]) ? 1 : 0;
  const double from[2] = {a, m}, to[2] = {m, b};
  const int rc = descend_from(degree, nc, half[first], from[first], to[first], depth + 1, parts);
  return rc != 0 ? rc : descend_from(degree, nc, half[1 - first], from[1 - first], to[1 - first], depth + 1, parts);
}

}  // namespace

int descend(int degree, int nc, const double *poles, double a, double b, Parts &parts) {
  if (degree < 0 || degree > 15 || nc < 1 || nc > 4) return BSRC_OUT_OF_RANGE;
  return descend_from(degree, nc, poles, a, b, 0, parts);
}

}  // namespace bseven
