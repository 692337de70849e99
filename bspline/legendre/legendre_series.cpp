// Arithmetic on Legendre series of a span: effective degree and truncation, evaluation and derivatives, products
// (by the linearisation of P_i P_j, and of Chebyshev series), the quotient of two series by sampling and fitting,
// and the common-denominator form of a rational plane curve.
#include "bspline/core/exit.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

void zero(std::size_t count, double *out) {
  if (count > 0) std::memset(out, 0, sizeof(double) * count);
}

std::size_t count_of(int n) { return n < 0 ? 0 : static_cast<std::size_t>(n) + 1; }

// The k-th derivative of one block in place: w[0..d] holds coefficients k..k+d of the series and ends as the
// coefficients 0..d of its k-th derivative. Each pass drops the lowest stored index: derivative coefficient i
// only sums coefficients above i, so what is dropped is never needed again.
void derive_block(int k, int d, double *w) {
  for (int s = 1; s <= k; ++s) {
    const int base = k - s;  // w[j] becomes the coefficient of index j + base of derivative s
    double chain[2] = {0, 0};
    for (int j = d; j >= 0; --j) {
      chain[j & 1] += w[j];
      w[j] = (2.0 * (j + base) + 1) * chain[j & 1];
    }
  }
}

// The k-th derivative (k >= 1) of dim series at t, summed over the derivatives P_l^(k)(t) from the
// differentiated three-term recurrence (l+1) P_l+1^(j) = (2l+1) (t P_l^(j) + j P_l^(j-1)) - l P_l-1^(j).
// Summing the derivative series instead loses accuracy with the order: its coefficients grow like l^2k and
// cancel inside the interval (5e-13 of the terms at degree 60, fourth derivative). work: 2(k+1) doubles.
void derivative_sum(int n, int dim, const double *coef, int k, double t, double *work, double *out) {
  double *prev = work, *cur = work + (k + 1);
  for (int j = 0; j <= k; ++j) prev[j] = cur[j] = 0;
  prev[0] = 1;  // P_0
  cur[0] = t;   // P_1
  cur[1] = 1;
  for (int c = 0; c < dim; ++c) out[c] = k == 1 ? coef[c * count_of(n) + 1] : 0;
  for (int l = 1; l < n; ++l) {
    // prev becomes P_l+1 in place: entry j reads only its own old value.
    for (int j = k; j >= 0; --j)
      prev[j] = ((2.0 * l + 1) * (t * cur[j] + (j > 0 ? j * cur[j - 1] : 0.0)) - l * prev[j]) / (l + 1);
    double *swap = prev;
    prev = cur;
    cur = swap;
    if (l + 1 >= k)
      for (int c = 0; c < dim; ++c) out[c] += coef[c * count_of(n) + l + 1] * cur[k];
  }
}

// Column norms of a vector series, summed with every coefficient divided by the largest magnitude so that the
// squares neither overflow nor underflow; magnitudes at or below `ignore` count as 0. A coefficient that is not
// finite leaves the scale at 1, and its column and the total come out infinite or NaN.
struct Columns {
  int n, dim;
  const double *coef;
  double ignore;
  double scale = 1;

  double value(int c, int k) const {
    const double v = coef[static_cast<std::size_t>(c) * count_of(n) + k];
    return std::fabs(v) <= ignore ? 0.0 : v;
  }
  double squares(int k) const {
    double sq = 0;
    for (int c = 0; c < dim; ++c) {
      const double v = value(c, k) / scale;
      sq += v * v;
    }
    return sq;
  }
  Columns(int n_, int dim_, const double *coef_, double ignore_) : n(n_), dim(dim_), coef(coef_), ignore(ignore_) {
    double top = 0;
    for (int c = 0; c < dim; ++c)
      for (int k = 0; k <= n; ++k) {
        const double a = std::fabs(value(c, k));
        if (!(a <= top)) top = a;  // NaN sticks
      }
    if (top > 0 && std::isfinite(top)) scale = top;
  }
  double norm(int k) const { return scale * std::sqrt(squares(k)); }
  double total() const {
    double sq = 0;
    for (int k = 0; k <= n; ++k) sq += squares(k);
    return scale * std::sqrt(sq);
  }
};

// The effective degree over the column norms: from the top, norms above the floor (and every norm that is not
// a number) are summed until the sum exceeds tol. -1 when it never does.
int effective_columns(const Columns &cols, double floor, double tol) {
  double sum = 0;
  for (int k = cols.n; k >= 0; --k) {
    const double v = cols.norm(k);
    if (!(v <= floor)) sum += v;
    if (!(sum <= tol)) return k;
  }
  return -1;
}

// Copies coefficients 0..m of each component (zeros above n) into *out, allocating it when NULL.
void copy_truncated(int n, int dim, const double *coef, int m, double **out, int *rc) {
  if (m < 0) return;
  const double bytes = 8.0 * (m + 1.0) * dim;
  if (!*out) {
    if (bytes > INT_MAX) {
      *rc = BSRC_ALLOC_CURVE;
      return;
    }
    *out = static_cast<double *>(BSdbgmalloc(static_cast<int>(bytes)));
    if (!*out) {
      *rc = BSRC_ALLOC_CURVE;
      return;
    }
  }
  const std::size_t in_stride = count_of(n), out_stride = count_of(m);
  const std::size_t keep = m < n ? out_stride : in_stride;
  for (int c = 0; c < dim; ++c) {
    double *dst = *out + c * out_stride;
    if (keep > 0) std::memcpy(dst, coef + c * in_stride, sizeof(double) * keep);
    zero(out_stride - keep, dst + keep);
  }
}

void truncate(int n, int dim, const double *coef, double ignore, int mindeg, double tol, int *m, double **out,
              int *rc) {
  if (dim < 1) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  if (n < 0) {
    *m = mindeg >= 2 ? mindeg : -1;
  } else if (!(tol >= 0)) {
    *m = n < mindeg ? mindeg : n;
  } else {
    const Columns cols(n, dim, coef, ignore);
    const double total = cols.total();
    const double floor = std::isfinite(total) ? 1e-15 * total : 0.0;
    const int eff = effective_columns(cols, floor, tol);
    *m = eff < 0 && mindeg < 2 ? -1 : (eff < mindeg ? mindeg : eff);
  }
  copy_truncated(n, dim, coef, *m, out, rc);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Effective degree and truncation

void BSeffdeg(int n, const double *c, double tol, int *m) {
  if (n < 0) {
    *m = -1;
  } else if (tol < 0) {
    *m = n;
  } else {
    double sum = 0;
    *m = -1;
    for (int k = n; k >= 0; --k) {
      sum += std::fabs(c[k]);
      if (!(sum <= tol)) {
        *m = k;
        break;
      }
    }
  }
  BSfaulthook("bseffdeg", nullptr);
}

void BSlgdcvint(int n, int dim, const double *coef, double tol, int *m, double **out, int *rc) {
  *rc = 0;
  truncate(n, dim, coef, -1.0, -1, tol, m, out, rc);
  BSexit(rc, "BSlgdcvint", "bslgdcvint");
}

void BSlgdcvmin(int n, int dim, const double *coef, int mindeg, double tol, int *m, double **out, int *rc) {
  *rc = 0;
  truncate(n, dim, coef, 1e-30, mindeg, tol, m, out, rc);
  BSexit(rc, "BSlgdcvmin", "bslgdcvmin");
}

// ---------------------------------------------------------------------------------------------------------------
// Evaluation and derivatives

namespace {
// The ratios (2k - 1) / k and (k - 1) / k of the recurrence below, for the degrees most series have: the
// quotients the loop would otherwise divide at every step, correctly rounded either way, hence the same bits.
constexpr int kRatioDegree = 64;
struct ClenshawRatios {
  double up[kRatioDegree + 1] = {}, down[kRatioDegree + 1] = {};
  constexpr ClenshawRatios() {
    for (int k = 1; k <= kRatioDegree; ++k) {
      up[k] = (2.0 * k - 1) / k;
      down[k] = (k - 1.0) / k;
    }
  }
};
constexpr ClenshawRatios kRatios;

// Clenshaw's recurrence, in the form that needs no trailing correction, for dim series of degree n >= 2 side
// by side (component c's coefficients at coef + c (n + 1)): u = c[n], v = c[n-1]; for k = n down to 2,
// (u, v) becomes (v + (2k-1)/k t u, c[k-2] - (k-1)/k u); the value is v + t u. The components share each step's
// ratios, and their chains, independent of one another, overlap. Dim > 0 fixes the count at compile time; u and
// v hold dim doubles each when Dim is 0.
template <int Dim>
[[gnu::always_inline]] inline void clenshaw(int n, int dim_, const double *coef, double t, double *out,
                                            double *u_room = nullptr, double *v_room = nullptr) {
  const int dim = Dim > 0 ? Dim : dim_;
  const std::size_t stride = count_of(n);
  double u_fixed[Dim > 0 ? Dim : 1], v_fixed[Dim > 0 ? Dim : 1];
  double *u = Dim > 0 ? u_fixed : u_room, *v = Dim > 0 ? v_fixed : v_room;
  for (int c = 0; c < dim; ++c) {
    u[c] = coef[c * stride + n];
    v[c] = coef[c * stride + n - 1];
  }
  for (int k = n; k >= 2; --k) {
    const double up = k <= kRatioDegree ? kRatios.up[k] : (2.0 * k - 1) / k;
    const double down = k <= kRatioDegree ? kRatios.down[k] : (k - 1.0) / k;
    const double step = up * t;
    for (int c = 0; c < dim; ++c) {
      const double next_u = v[c] + step * u[c];
      v[c] = coef[c * stride + k - 2] - down * u[c];
      u[c] = next_u;
    }
  }
  for (int c = 0; c < dim; ++c) out[c] = v[c] + t * u[c];
}
}  // namespace

void BSevalpolgd(int n, const double *c, double t, double *value) {
  if (n < 0) {
    *value = 0;
  } else if (n == 0) {
    *value = c[0];
  } else if (n == 1) {
    *value = c[0] + c[1] * t;
  } else if (t == 1 || t == -1) {
    double sum = 0;
    for (int k = 0; k <= n; ++k) sum += (t < 0 && k % 2) ? -c[k] : c[k];
    *value = sum;
  } else {
    clenshaw<1>(n, 1, c, t, value);
  }
  BSfaulthook("bsevalpolgd", nullptr);
}

void BSderpolgd(int n, const double *a, double *b) {
  if (n > 0) {
    double chain[2] = {0, 0};
    for (int j = n - 1; j >= 0; --j) {
      chain[j & 1] += a[j + 1];
      b[j] = (2.0 * j + 1) * chain[j & 1];
    }
  }
  BSfaulthook("bsderpolgd", nullptr);
}

void BSdercvlgd(int n, int dim, const double *coef, int k, double *out, int *rc) {
  *rc = 0;
  if (k < 0 || k > n || dim < 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const int d = n - k;
    const std::size_t in_stride = count_of(n), out_stride = count_of(d);
    for (int c = 0; c < dim; ++c) {
      double *w = out + c * out_stride;
      std::memcpy(w, coef + c * in_stride + k, sizeof(double) * out_stride);
      derive_block(k, d, w);
    }
  }
  BSexit(rc, "BSdercvlgd", "bsdercvlgd");
}

void BSevalgder(int n, const double *c, int k, double t, double *value, int *rc) {
  *rc = 0;
  if (k < 0 || !std::isfinite(t)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (k > n) {
    *value = 0;
  } else if (k == 0) {
    BSevalpolgd(n, c, t, value);
  } else {
    BSscratch<500> scratch;
    double *w = scratch.take(2 * (static_cast<std::size_t>(k) + 1));
    if (!w)
      *rc = BSRC_NO_SCRATCH;
    else
      derivative_sum(n, 1, c, k, t, w, value);
  }
  BSexit(rc, "BSevalgder", "bsevalgder");
}

void BSpocurvlgd(int n, int dim, const double *coef, double t, double *out, int *rc) {
  *rc = 0;
  if (dim < 0 || !std::isfinite(t)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n < 2 || t == 1 || t == -1) {
    // P_k(±1) = (±1)^k: the power-basis sum of the same coefficients.
    BSpocurvcan(n, dim, coef, t, out);
  } else if (dim == 4) {
    clenshaw<4>(n, 4, coef, t, out);
  } else if (dim == 3) {
    clenshaw<3>(n, 3, coef, t, out);
  } else if (dim == 2) {
    clenshaw<2>(n, 2, coef, t, out);
  } else if (dim == 1) {
    clenshaw<1>(n, 1, coef, t, out);
  } else if (dim > 0) {
    BSscratch<16> scratch;
    double *uv = scratch.take(2 * static_cast<std::size_t>(dim));
    if (!uv)
      *rc = BSRC_NO_SCRATCH;
    else
      clenshaw<0>(n, dim, coef, t, out, uv, uv + dim);
  }
  BSexit(rc, "BSpocurvlgd", "bspocurvlgd");
}

void BSpocvlgder(int n, int dim, const double *coef, int k, double t, double *out, int *rc) {
  *rc = 0;
  if (dim < 0 || k < 0 || !std::isfinite(t)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (k > n) {
    zero(static_cast<std::size_t>(dim), out);
  } else if (k == 0) {
    BSpocurvlgd(n, dim, coef, t, out, rc);
  } else {
    BSscratch<500> scratch;
    double *w = scratch.take(2 * (static_cast<std::size_t>(k) + 1));
    if (!w)
      *rc = BSRC_NO_SCRATCH;
    else
      derivative_sum(n, dim, coef, k, t, w, out);
  }
  BSexit(rc, "BSpocvlgder", "bspocvlgder");
}

// ---------------------------------------------------------------------------------------------------------------
// Products

void BSprodpolgd(int na, int nb, const double *a, const double *b, double *out, int *rc) {
  *rc = 0;
  if (na < 0 || nb < 0) {
    zero(count_of(na + nb), out);
  } else if (na >= nb) {
    BSprodpolgd1(na, nb, a, b, out, rc);
  } else {
    BSprodpolgd1(nb, na, b, a, out, rc);
  }
  BSexit(rc, "BSprodpolgd", "bsprodpolgd");
}

void BSprodpolgd1(int n, int m, const double *p, const double *q, double *out, int *rc) {
  *rc = 0;
  if (n < 0 || m < 0) {
    zero(count_of(n + m), out);
  } else {
    if (m > n) {  // the fold below needs the square part inside the table
      std::swap(n, m);
      std::swap(p, q);
    }
    BSscratch<256> scratch;
    const std::size_t w = count_of(n);
    double *table = scratch.take(count_of(m) * w);
    if (!table) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      for (int i = 0; i <= m; ++i)
        for (int j = 0; j <= n; ++j) table[i * w + j] = q[i] * p[j];
      // P_i P_j = P_j P_i: the square part folds onto its upper triangle.
      for (int i = 0; i < m; ++i)
        for (int j = i + 1; j <= m; ++j) table[i * w + j] += table[j * w + i];
      BSmtrlgdlgd(n, m, table, out, rc);
    }
  }
  BSexit(rc, "BSprodpolgd1", "bsprodpolgd1");
}

void BSmtrlgdlgd(int n, int m, const double *table, double *out, int *rc) {
  *rc = 0;
  if (n < 0 || m < 0) {
    zero(count_of(n + m), out);
  } else {
    const std::size_t size = count_of(n + m);
    BSscratch<1021> scratch;
    // A and B reach index n+m-1 (row 1 at the widest band): 2n entries when m <= n as the callers have it.
    const int ab = n + m;
    double *work = scratch.take(size * size + 2 * static_cast<std::size_t>(ab));
    if (!work) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      // t P_j = A[j] P_j+1 + B[j] P_j-1.
      double *A = work, *B = work + ab, *M = work + 2 * ab;
      for (int j = 0; j < ab; ++j) {
        A[j] = (j + 1.0) / (2.0 * j + 1);
        B[j] = j / (2.0 * j + 1);
      }
      zero(size * size, M);
      for (int i = 0; i <= m; ++i)
        for (int j = i; j <= n; ++j) M[i * size + j] = table[i * count_of(n) + j];
      // Row i holds the coefficients of P_i P_j. P_i = ((2i-1) t P_i-1 - (i-1) P_i-2) / i moves them down two
      // rows, widening the band by one column per row.
      for (int i = m, right = n; i >= 2; --i, ++right) {
        double *row = M + i * size, *up1 = row - size, *up2 = up1 - size;
        const double f = (2.0 * i - 1) / i, g = (1.0 - i) / i;
        for (int j = i; j <= right; ++j) {
          const double v = row[j];
          up1[j + 1] += v * f * A[j];
          up1[j - 1] += v * f * B[j];
          up2[j] += v * g;
        }
      }
      if (m >= 1) {
        const double *row = M + size;
        for (int j = 1; j <= n + m - 1; ++j) {
          M[j + 1] += row[j] * A[j];
          M[j - 1] += row[j] * B[j];
        }
      }
      std::memcpy(out, M, sizeof(double) * size);
    }
  }
  BSexit(rc, "BSmtrlgdlgd", "bsmtrlgdlgd");
}

void BSprodpoltch(int na, const double *a, int nb, const double *b, double *out, int * /*rc*/) {
  const std::size_t size = count_of(na + nb);
  zero(size, out);
  if (na >= 0 && nb >= 0) {
    // T_i T_j = (T_i+j + T_|i-j|) / 2.
    for (int i = 0; i <= na; ++i)
      for (int j = 0; j <= nb; ++j) {
        const double v = a[i] * b[j];
        out[i + j] += v;
        out[i > j ? i - j : j - i] += v;
      }
    for (std::size_t k = 0; k < size; ++k) out[k] *= 0.5;
  }
  BSfaulthook("bsprodpoltch", nullptr);
}

// ---------------------------------------------------------------------------------------------------------------
// Quotient

int BSquotfit(int nodes, bool power, int na, const double *a, int nb, const double *b, double *f, double *coef) {
  const double *x = nullptr;
  int rc = 0;
  BSextrtlgd(nodes, &x, &rc);
  if (rc != 0) return BSRC_OUT_OF_RANGE;
  // One sign throughout: a denominator that changes sign between nodes has a pole inside the span, and the
  // fitted quotient would be meaningless even where no sample lands on it.
  int sign = 0;
  double fmax = 0;
  for (int i = 0; i < nodes; ++i) {
    double num = 0, den = 0;
    if (power) {
      BSevalpolcan(na, a, x[i], &num);
      BSevalpolcan(nb, b, x[i], &den);
    } else {
      BSevalpolgd(na, a, x[i], &num);
      BSevalpolgd(nb, b, x[i], &den);
    }
    const int s = den > 0 ? 1 : (den < 0 ? -1 : 0);
    if (s == 0 || !std::isfinite(den) || (sign != 0 && s != sign)) return BSRC_BAD_DENOMINATOR;
    sign = s;
    f[i] = num / den;
    if (!std::isfinite(f[i])) return BSRC_OUT_OF_RANGE;
    fmax = std::fmax(fmax, std::fabs(f[i]));
  }
  BShifit(nodes, f, coef, &rc);
  if (rc != 0) return rc;
  // The fit's own rounding: coefficient j carries noise of about (2j+1) 2^-52 max|f|, far above the relative
  // cuts the callers apply; left in, it would hold every quotient at the full degree of the rule.
  for (int j = 0; j < nodes; ++j)
    if (std::fabs(coef[j]) <= (2.0 * j + 1) * DBL_EPSILON * fmax) coef[j] = 0;
  return 0;
}

void BSdivlgdlgd(int na, const double *a, int nb, const double *b, int *m, double *out, int *rc) {
  *rc = 0;
  double *block = BSscratchtake(640, nullptr);
  if (!block) {
    *rc = BSRC_NO_SCRATCH;
  } else {
    double *coef = block + 320;
    *rc = BSquotfit(320, false, na, a, nb, b, block, coef);
    if (*rc == 0) {
      double sum = 0;
      for (int j = 0; j < 320; ++j) sum += std::fabs(coef[j]);
      BSeffdeg(319, coef, 1e-14 * sum, m);
      if (*m >= 0) std::memcpy(out, coef, sizeof(double) * count_of(*m));
    }
    BSscratchrelease(block);
  }
  BSexit(rc, "divlgdlgd", "bsdivlgdlgd");
}

// ---------------------------------------------------------------------------------------------------------------
// Common-denominator form

namespace {

// p times q of degree n each, through the Chebyshev basis, into out[0..2n] (Legendre); work of 4(n+1) doubles.
void product_via_chebyshev(int n, const double *p_cheb, const double *q_cheb, double *prod_cheb, double *out,
                           int *rc) {
  BSprodpoltch(n, p_cheb, n, q_cheb, prod_cheb, rc);
  BStchtlgd(2 * n, prod_cheb, out, rc);
}

void pad(int n, const double *in, double *out) {
  std::memcpy(out, in, sizeof(double) * count_of(n));
  zero(static_cast<std::size_t>(n), out + count_of(n));
}

}  // namespace

void BSratstd1(int n, const double *s, const double *p, const double *w, int *m, double *outS, double *outP,
               double *outW, int *rc) {
  *rc = 0;
  *m = n < 0 ? -1 : 2 * n;
  if (n >= 0) {
    BSscratch<500> scratch;
    double *work = scratch.take(4 * count_of(n));
    if (!work) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *pc = work, *wc = work + count_of(n), *prod = wc + count_of(n);
      BSlgdttch(n, p, pc, rc);
      if (*rc == 0) BSlgdttch(n, w, wc, rc);
      if (*rc == 0) product_via_chebyshev(n, pc, wc, prod, outP, rc);
      if (*rc == 0) {
        pad(n, s, outS);
        pad(n, w, outW);
      }
    }
  }
  BSexit(rc, "BSratstd1", "bsratstd1");
}

void BSratstd2(int n, const double *in, int *m, double *out, int *rc) {
  *rc = 0;
  *m = n < 0 ? -1 : 2 * n;
  if (n >= 0) {
    BSscratch<500> scratch;
    const std::size_t len = count_of(n), len2 = count_of(2 * n);
    double *work = scratch.take(10 * len);
    if (!work) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *cheb = work, *prod = work + 4 * len;
      for (int c = 0; c < 4 && *rc == 0; ++c) BSlgdttch(n, in + c * len, cheb + c * len, rc);
      const double *a = cheb, *b = cheb + len, *c = cheb + 2 * len, *d = cheb + 3 * len;
      // x = a/c and y = b/d over one denominator: (a d, b c) / (c d).
      if (*rc == 0) product_via_chebyshev(n, a, d, prod, out, rc);
      if (*rc == 0) product_via_chebyshev(n, b, c, prod, out + len2, rc);
      if (*rc == 0) product_via_chebyshev(n, c, d, prod, out + 2 * len2, rc);
    }
  }
  BSexit(rc, "BSratstd2", "bsratstd2");
}

void BSlgdratstd(int n, int mode, const double *in, int *m, double *out, int *rc) {
  *rc = 0;
  *m = n < 0 ? -1 : 2 * n;
  if (mode < 1 || mode > 3) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n >= 0) {
    const std::size_t len = count_of(n), len2 = count_of(2 * n);
    const double *X = in, *Y = in + len, *W = in + 2 * len;
    if (mode == 1)
      BSratstd1(n, X, Y, W, m, out, out + len2, out + 2 * len2, rc);
    else if (mode == 2)
      BSratstd1(n, Y, X, W, m, out + len2, out, out + 2 * len2, rc);
    else
      BSratstd2(n, in, m, out, rc);
  }
  BSexit(rc, "BSlgdratstd", "bslgdratstd");
}
