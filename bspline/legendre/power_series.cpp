// Spans held in the power (canonical) basis: values and derivatives of polynomial vector series and of rational
// plane and space curves in the rational modes, and the quotient of two power-basis polynomials expanded as a
// polynomial.
#include "bspline/core/exit.h"
#include "bspline/legendre.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

std::size_t count_of(int n) { return n < 0 ? 0 : static_cast<std::size_t>(n) + 1; }

void zero(int dim, double *out) {
  for (int c = 0; c < dim; ++c) out[c] = 0;
}

// Where coordinate i of a rational curve takes its numerator and denominator among the stored components; -1
// for the constant denominator 1.
struct Quotient {
  int num, den;
};
Quotient coordinate(int dim, int mode, int i) {
  if (dim == 3) return {i, 3};
  if (i == 0) return {0, mode == 2 ? -1 : 2};
  return {1, mode == 1 ? -1 : (mode == 2 ? 2 : 3)};
}

// Derivative k of each coordinate N/D from derivatives 0..k of its numerator and denominator, by the Leibniz
// rule solved for the quotient: q^(j) = (N^(j) - sum over i < j of binom(j, i) q^(i) D^(j-i)) / D. Every term is
// divided by D once, so scaling a numerator with its denominator changes nothing; a denominator exactly 0 at t
// gives DBL_MAX and rc -5 for that coordinate.
//
// This holds for every order. Expanding N/D as a power series first (BSdivcancan) and differentiating that
// loses up to 1e-4 relative at the third derivative and 0.2 at the fifth, even for cubic spans with weights
// between 0.5 and 2: the quotient needs degree 50 to 60, where the power basis cancels away every digit.
void quotient_rule(int n, int dim, int mode, const double *coef, int k, double t, double *out, int *rc) {
  const int nc = dim == 3 || mode == 3 ? 4 : 3;
  const std::size_t rows = static_cast<std::size_t>(k) + 1;
  BSscratch<500> scratch;
  double *ders = scratch.take(rows * (nc + 1));  // rows of nc derivatives, then the quotient's derivatives
  if (!ders) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  double *Q = ders + rows * nc;
  for (int j = 0; j <= k && *rc == 0; ++j) BSpocurvder(n, nc, coef, j, t, ders + j * nc, rc);
  if (*rc != 0) return;
  for (int i = 0; i < dim; ++i) {
    const Quotient q = coordinate(dim, mode, i);
    auto D = [&](int j) { return q.den < 0 ? (j == 0 ? 1.0 : 0.0) : ders[j * nc + q.den]; };
    if (D(0) == 0) {
      out[i] = DBL_MAX;
      *rc = BSRC_BAD_DENOMINATOR;
      continue;
    }
    for (int j = 0; j <= k; ++j) {
      double sum = ders[j * nc + q.num], binom = 1;
      for (int l = 0; l < j; ++l) {
        sum -= binom * Q[l] * D(j - l);
        binom = binom * (j - l) / (l + 1);
      }
      Q[j] = sum / D(0);
    }
    out[i] = Q[k];
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Polynomial series

void BSevalpolcan(int n, const double *c, double t, double *value) {
  double p = 0;
  for (int i = n; i >= 0; --i) p = p * t + c[i];
  *value = p;
  BSfaulthook("bsevalpolcan", nullptr);
}

void BSpocurvcan(int n, int dim, const double *coef, double t, double *out) {
  for (int c = 0; c < dim; ++c) BSevalpolcan(n, coef + c * count_of(n), t, out + c);
  BSfaulthook("bspocurvcan", nullptr);
}

void BSpocurvcan1(int n, int dim, const double *coef, double t, double *out) {
  for (int c = 0; c < dim; ++c) {
    const double *a = coef + c * count_of(n);
    double p = 0, d = 0;
    for (int i = n; i >= 0; --i) {
      d = d * t + p;
      p = p * t + a[i];
    }
    out[c] = d;
  }
  BSfaulthook("bspocurvcan1", nullptr);
}

void BSpocurvcan2(int n, int dim, const double *coef, double t, double *out) {
  for (int c = 0; c < dim; ++c) {
    const double *a = coef + c * count_of(n);
    double p = 0, d1 = 0, d2 = 0;
    for (int i = n; i >= 0; --i) {
      d2 = d2 * t + 2 * d1;
      d1 = d1 * t + p;
      p = p * t + a[i];
    }
    out[c] = d2;
  }
  BSfaulthook("bspocurvcan2", nullptr);
}

void BSderpolcan(int n, const double *in, double *out) {
  for (int j = 0; j < n; ++j) out[j] = (j + 1.0) * in[j + 1];
  BSfaulthook("bsderpolcan", nullptr);
}

void BSpocurvder(int n, int dim, const double *coef, int k, double t, double *out, int *rc) {
  *rc = 0;
  if (k < 0 || dim < 0 || !std::isfinite(t)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (k == 0) {
    BSpocurvcan(n, dim, coef, t, out);
  } else if (k == 1) {
    BSpocurvcan1(n, dim, coef, t, out);
  } else if (k == 2) {
    BSpocurvcan2(n, dim, coef, t, out);
  } else if (k > n) {
    zero(dim, out);
  } else {
    BSscratch<500> scratch;
    double *w = scratch.take(2 * static_cast<std::size_t>(n));
    if (!w) {
      *rc = BSRC_ALLOC_CURVE;
    } else {
      for (int c = 0; c < dim; ++c) {
        const double *from = coef + c * count_of(n);
        double *halves[2] = {w, w + n};
        for (int j = 0; j < k; ++j) {
          BSderpolcan(n - j, from, halves[j & 1]);
          from = halves[j & 1];
        }
        BSevalpolcan(n - k, from, t, out + c);
      }
    }
  }
  BSexit(rc, "BSpocurvder", "bspocurvder");
}

// ---------------------------------------------------------------------------------------------------------------
// Rational curves

void BSevacansng(int n, int dim, int mode, const double *coef, int k, double t, double *out, int *rc) {
  *rc = 0;
  if (mode < 0 || mode > 3) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (mode == 0) {
    BSpocurvder(n, dim, coef, k, t, out, rc);
  } else if ((dim != 2 && dim != 3) || k < 0 || !std::isfinite(t)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    quotient_rule(n, dim, mode, coef, k, t, out, rc);
  }
  BSexit(rc, "BSevacansng", "bsevacansng");
}

void BSdivcancan(int na, const double *a, int nb, const double *b, double tol, int *m, double *out, int *rc) {
  *rc = 0;
  if (std::isnan(tol)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double work[160];
    double *coef = work + 80;
    *rc = BSquotfit(80, true, na, a, nb, b, work, coef);
    if (*rc == 0) {
      BSeffdeg(79, coef, tol, m);
      if (*m > 63)
        *rc = BSRC_QUOTIENT_DEGREE;
      else
        BSlgdtcan(*m, coef, out, rc);
    }
  }
  BSexit(rc, "divcancan", "bsdivcancan");
}
