// Changes of basis for polynomial series on a span: Gauss-Legendre samples to Legendre coefficients, Legendre to
// and from the Chebyshev, power and Bernstein bases, and re-expansion of a series on a sub-interval. The table
// driven conversions are products with one triangular block of a fixed table (bspline/legendre/legendre_tables.cpp).
#include "bspline/core/exit.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kEps = 2.220446049250313e-16;

// Index of the n-point rule in the fit table, or -1.
int fit_rule(int n) {
  static constexpr int sizes[9] = {4, 8, 12, 16, 20, 40, 80, 160, 320};
  if (n > BSglmaxsize) return -1;
  for (int i = 0; i < 9; ++i)
    if (sizes[i] == n) return i;
  return -1;
}

void copy(int count, const double *in, double *out) {
  if (count > 0) std::memcpy(out, in, sizeof(double) * static_cast<std::size_t>(count));
}

// out[j] = sum over s of in[j + 2s] times entry s of row j, for the Chebyshev tables.
void apply_chebyshev_table(const double *table, int n, const double *in, double *out) {
  for (int j = 0; j <= n; ++j) {
    const double *row = table + BStchrow(j);
    double sum = 0;
    for (int s = 0; j + 2 * s <= n; ++s) sum += in[j + 2 * s] * row[s];
    out[j] = sum;
  }
}

// One parity of a parity table: out[i] = sum over s of in[i + s] times entry s of row i, for count coefficients
// `stride` apart.
void apply_parity_table(const double *table, int rows, int count, const double *in, double *out, int stride) {
  for (int i = 0; i < count; ++i) {
    const double *row = table + BSparityrow(rows, i);
    double sum = 0;
    for (int s = 0; i + s < count; ++s) sum += in[(i + s) * stride] * row[s];
    out[i * stride] = sum;
  }
}

// Moves row k's entries (j <= k) to column k, so that row j holds the contributions to output j.
void transpose(int n, double *m) {
  const int w = n + 1;
  for (int j = 0; j <= n; ++j)
    for (int k = j + 1; k <= n; ++k) {
      const double t = m[j * w + k];
      m[j * w + k] = m[k * w + j];
      m[k * w + j] = t;
    }
}

void clear(int n, double *m) {
  const std::size_t count = static_cast<std::size_t>(n + 1) * static_cast<std::size_t>(n + 1);
  std::memset(m, 0, sizeof(double) * count);
}

// One step of BSlgdtbez: b_k = lg + alpha t b_k+1 - beta b_k+2 on the unnormalised basis of degree d,
// over b_k+2 (degree d - 2) in out; b1 holds b_k+1 (degree d - 1). The last step divides by the binomials and
// leaves Bernstein coefficients.
template <bool Last>
void bernstein_step(int d, double lg, double alpha, double beta, const double *binom, const double *b1, double *out) {
  // Ascending, with the entries of b_k+2 that out[i] needs from below kept as they were.
  double two_below = 0, below = 0, left = 0;
  for (int i = 0; i <= d; ++i) {
    const double here = i <= d - 2 ? out[i] : 0.0, right = i < d ? b1[i] : 0.0;
    const double v = lg * binom[i] + alpha * (left - right) - beta * (two_below + 2 * below + here);
    out[i] = Last && i > 0 && i < d ? v / binom[i] : v;
    two_below = below, below = here, left = right;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Samples to Legendre

void BShifit(int n, const double *f, double *out, int *rc) {
  *rc = 0;
  const int r = fit_rule(n);
  if (r < 0 || !BSallfinite(n, f)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // The nodes are symmetric (x[h+k] = -x[h-1-k]): even rows see the sum of a sample and its mirror, odd rows
    // the difference.
    const int h = n / 2;
    double sum[160], diff[160];
    for (int k = 0; k < h; ++k) {
      sum[k] = f[h + k] + f[h - 1 - k];
      diff[k] = f[h + k] - f[h - 1 - k];
    }
    const double *row = BSglfitmat + BSGLFIT_OFFSETS[r];
    for (int j = 0; j < h; ++j) {
      double e = 0, o = 0;
      for (int k = 0; k < h; ++k) e += row[k] * sum[k];
      row += h;
      for (int k = 0; k < h; ++k) o += row[k] * diff[k];
      row += h;
      out[2 * j] = e;
      out[2 * j + 1] = o;
    }
  }
  BSexit(rc, "BShifit", "bshifit");
}

// ---------------------------------------------------------------------------------------------------------------
// Chebyshev and Legendre

void BStchtlgd(int n, const double *cheb, double *out, int *rc) {
  *rc = 0;
  if (n > BSTCH_LIMIT) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n <= 1) {
    copy(n + 1, cheb, out);
  } else if (n <= 3) {
    const double c3 = n == 3 ? cheb[3] : 0.0;
    out[0] = cheb[0] - cheb[2] / 3;
    out[1] = cheb[1] - 0.6 * c3;
    out[2] = (4.0 / 3.0) * cheb[2];
    if (n == 3) out[3] = 1.6 * c3;
  } else {
    apply_chebyshev_table(BStchlgdtab, n, cheb, out);
  }
  BSexit(rc, "BStchtlgd", "bstchtlgd");
}

void BSlgdttch(int n, const double *lgd, double *out, int *rc) {
  *rc = 0;
  if (n > BSTCH_LIMIT) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n <= 1) {
    copy(n + 1, lgd, out);
  } else if (n <= 3) {
    const double c3 = n == 3 ? lgd[3] : 0.0;
    out[0] = lgd[0] + lgd[2] / 4;
    out[1] = lgd[1] + 0.375 * c3;
    out[2] = 0.75 * lgd[2];
    if (n == 3) out[3] = 0.625 * c3;
  } else {
    apply_chebyshev_table(BSlgdtchtab, n, lgd, out);
  }
  BSexit(rc, "BSlgdttch", "bslgdttch");
}

// ---------------------------------------------------------------------------------------------------------------
// Power basis and Legendre

void BSlgdtcan(int n, const double *lgd, double *out, int *rc) {
  *rc = 0;
  if (n >= 64) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n >= 0 && n <= 3) {
    const double c1 = n >= 1 ? lgd[1] : 0.0, c2 = n >= 2 ? lgd[2] : 0.0, c3 = n == 3 ? lgd[3] : 0.0;
    const double v[4] = {lgd[0] - c2 / 2, c1 - 1.5 * c3, 1.5 * c2, 2.5 * c3};
    copy(n + 1, v, out);
  } else if (n > 3) {
    apply_parity_table(BSlgdcanev, 32, n / 2 + 1, lgd, out, 2);
    apply_parity_table(BSlgdcanod, 32, (n + 1) / 2, lgd + 1, out + 1, 2);
  }
  BSexit(rc, "BSlgdtcan", "bslgdtcan");
}

void BScantlgd1(int n, const double *split_in, double *split_out) {
  if (n >= 0 && n <= 127) {
    const int even = n / 2 + 1, odd = (n + 1) / 2;
    apply_parity_table(BScanlgdev, 64, even, split_in, split_out, 1);
    apply_parity_table(BScanlgdod, 64, odd, split_in + even, split_out + even, 1);
  }
  BSfaulthook("bscantlgd1", nullptr);
}

void BScantlgd(int n, const double *pow, double *out, int *rc) {
  *rc = 0;
  if (n > 127) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n == 0) {
    out[0] = pow[0];
  } else if (n > 0) {
    // The split input and output take 2(n+1) <= 256 doubles within the tables' extent: always local.
    double split[256];
    const int even = n / 2 + 1;
    double *in = split, *res = split + (n + 1);
    for (int j = 0; j <= n; ++j) in[j % 2 ? even + j / 2 : j / 2] = pow[j];
    BScantlgd1(n, in, res);
    for (int j = 0; j <= n; ++j) out[j] = res[j % 2 ? even + j / 2 : j / 2];
  }
  BSexit(rc, "BScantlgd", "bscantlgd");
}

// ---------------------------------------------------------------------------------------------------------------
// Bernstein

void BSbezelev(int d, const double *in, double *out) {
  if (d >= 0) {
    out[0] = in[0];
    for (int j = 1; j <= d; ++j) out[j] = (j * in[j - 1] + (d + 1 - j) * in[j]) / (d + 1);
    out[d + 1] = in[d];
  }
  BSfaulthook("bsbezelev", nullptr);
}

void BSlgdtbez(int n, const double *lgd, double *bez, int *rc) {
  *rc = 0;
  if (n >= 0) {
    // Clenshaw's recurrence b_k = lgd[k] + (2k+1)/(k+1) t b_k+1 - (k+1)/(k+2) b_k+2, each b_k of degree n - k,
    // the series b_0. Summing the Bernstein forms of the P_k instead (binom(k, j) before their elevation) leaves
    // rounding far above the coefficients of a series whose high terms are small. The b_k are held on the
    // unnormalised basis u^i (1-u)^(d-i), coefficient i being binom(d, i) times the Bernstein one: there the product
    // with t = u - (1-u) is a difference of neighbours, the elevation of b_k+2 by two the weights 1, 2, 1, and the
    // constant lgd[k] the binomial row. b_k replaces b_k+2, so the two buffers alternate and the last lands in
    // bez.
    BSscratch<32> scratch;
    double *work = scratch.take(2 * (static_cast<std::size_t>(n) + 1));
    if (!work) *rc = BSRC_NO_SCRATCH;
    if (*rc == 0) {
      // binom(d, i): the fixed table below degree 16, else a row kept up to date.
      double *row = n >= 16 ? work + n + 1 : nullptr;
      const double *binom = BSbinom16;
      double *buf[2] = {n % 2 ? work : bez, n % 2 ? bez : work};
      if (row) row[0] = 1;
      // The recurrence's factors of the low steps, where their division would be the cost of a short series.
      static constexpr struct Factors {
        double alpha[16], beta[16];
        constexpr Factors() : alpha(), beta() {
          for (int k = 0; k < 16; ++k) alpha[k] = (2.0 * k + 1) / (k + 1), beta[k] = (k + 1.0) / (k + 2);
        }
      } low;
      for (int k = n; k >= 0; --k) {
        const int d = n - k;
        double *out = buf[d % 2];  // b_k+2, degree d - 2
        const double *b1 = buf[1 - d % 2];  // b_k+1, degree d - 1
        const double lg = lgd[k];
        const double alpha = k < 16 ? low.alpha[k] : (2.0 * k + 1) / (k + 1);
        const double beta = k < 16 ? low.beta[k] : (k + 1.0) / (k + 2);
        if (!row) {
          binom = BSbinom16 + 16 * d;
        } else if (d > 0) {
          row[d] = 1;
          for (int i = d - 1; i >= 1; --i) row[i] += row[i - 1];
          binom = row;
        }
        if (k > 0)
          bernstein_step<false>(d, lg, alpha, beta, binom, b1, out);
        else
          bernstein_step<true>(d, lg, alpha, beta, binom, b1, out);
      }
    }
  }
  BSexit(rc, "BSlgdtbez", "bslgdtbez");
}

void BScvlgdtbez(int n, int dim, const double *coef, double *out, int *rc) {
  *rc = 0;
  if (dim < 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n >= 0) {
    const std::size_t stride = static_cast<std::size_t>(n) + 1;
    for (int c = 0; c < dim && *rc == 0; ++c) BSlgdtbez(n, coef + c * stride, out + c * stride, rc);
  }
  BSexit(rc, "BScvlgdtbez", "bscvlgdtbez");
}

void BScantbez(int n, const double *pow, double *bez, int *rc) {
  *rc = 0;
  if (n >= 0) {
    BSscratch<0> scratch;
    const double *binom = BSbinom16 + 16 * n;
    if (n >= 16) {
      double *row = scratch.take(static_cast<std::size_t>(n) + 1);
      if (!row) {
        *rc = BSRC_NO_SCRATCH;
      } else {
        row[0] = 1;
        for (int j = 1; j <= n; ++j) row[j] = row[j - 1] * (n - j + 1) / j;
        binom = row;
      }
    }
    if (*rc == 0) {
      // After the passes entry j holds binom(n, j) times the Bernstein coefficient.
      copy(n + 1, pow, bez);
      for (int p = 0; p < n; ++p)
        for (int i = 1; i <= n - p; ++i) bez[i] += bez[i - 1];
      for (int j = 0; j <= n; ++j) bez[j] /= binom[j];
    }
  }
  BSexit(rc, "BScantbez", "bscantbez");
}

void BSbeztcan(int n, const double *bez, double *pow) {
  if (n >= 0) {
    copy(n + 1, bez, pow);
    for (int k = 1; k <= n; k += 2) pow[k] = -pow[k];
    for (int p = 1; p <= n; ++p)
      for (int i = n; i >= p; --i) pow[i] += pow[i - 1];
    double binom = 1;
    for (int k = 1; k <= n; ++k) {
      binom = binom * (n - k + 1) / k;
      pow[k] *= k % 2 ? -binom : binom;
    }
  }
  BSfaulthook("bsbeztcan", nullptr);
}

void BSbezrhalf(int n, const double *bez, double *out) {
  if (n >= 0) {
    copy(n + 1, bez, out);
    for (int p = n; p >= 1; --p)
      for (int j = 0; j < p; ++j) out[j] = (out[j] + out[j + 1]) / 2;
  }
  BSfaulthook("bsbezrhalf", nullptr);
}

// ---------------------------------------------------------------------------------------------------------------
// Re-expansion on a sub-interval

void BSlimtchab1(int n, double h, double c, double *matrix) {
  if (n >= 0) {
    const int w = n + 1;
    clear(n, matrix);
    matrix[0] = 1;
    if (n >= 1) {
      matrix[w] = c;
      matrix[w + 1] = h;
    }
    if (n >= 2) {
      double *row = matrix + 2 * w;
      row[0] = 2 * c * c + h * h - 1;
      row[1] = 4 * h * c;
      row[2] = h * h;
    }
    // T_k = 2y T_k-1 - T_k-2 with 2y T_j = 2c T_j + h (T_j+1 + T_j-1), 2y T_0 = 2c T_0 + 2h T_1.
    for (int k = 3; k <= n; ++k) {
      double *row = matrix + k * w;
      const double *p1 = row - w, *p2 = row - 2 * w;
      for (int j = 0; j <= k - 2; ++j) row[j] = -p2[j];
      row[0] += 2 * c * p1[0];
      row[1] += 2 * h * p1[0];
      for (int j = 1; j < k; ++j) {
        row[j] += 2 * c * p1[j];
        row[j + 1] += h * p1[j];
        row[j - 1] += h * p1[j];
      }
    }
    transpose(n, matrix);
  }
  BSfaulthook("bslimtchab1", nullptr);
}

void BSlimtchab(int n, int dim, const double *coef, double a, double b, double *out, int *rc) {
  *rc = 0;
  if (!(a >= -1 && a < b && b <= 1) || dim < 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n == 0) {
    for (int d = 0; d < dim; ++d) out[d] = coef[d];
  } else if (n > 0) {
    const std::size_t w = static_cast<std::size_t>(n) + 1;
    BSscratch<0> scratch;
    double *m = scratch.take(w * w);
    if (!m) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      BSlimtchab1(n, (b - a) / 2, (a + b) / 2, m);
      for (int d = 0; d < dim; ++d) {
        const double *in = coef + d * w;
        double *res = out + d * w;
        for (int j = 0; j <= n; ++j) {
          const double *row = m + j * w;
          double sum = 0;
          for (int k = j; k <= n; ++k) sum += row[k] * in[k];
          res[j] = sum;
        }
      }
    }
  }
  BSexit(rc, "BSlimtchab", "bslimtchab");
}

void BSlimcanab(int n, const double *pow, double a, double b, double *out) {
  if (n >= 0) {
    const double c = (a + b) / 2, h = (b - a) / 2;
    out[0] = pow[0];
    if (h == 0 && c == 0) {
      for (int k = 1; k <= n; ++k) out[k] = 0;
    } else if (std::fabs(c) < std::fabs(h)) {
      const double r = c / h;
      double scale = 1;
      for (int k = 1; k <= n; ++k) out[k] = (scale *= h) * pow[k];
      for (int p = 0; p < n; ++p)
        for (int i = n - 1; i >= p; --i) out[i] += r * out[i + 1];
    } else {
      const double r = h / c;
      double scale = 1;
      for (int k = 1; k <= n; ++k) out[k] = (scale *= c) * pow[k];
      for (int p = 0; p < n; ++p)
        for (int i = n - 1; i >= p; --i) out[i] += out[i + 1];
      // Terms whose factor r^k has fallen below the rounding of the largest coefficient are dropped: a test on
      // the factor alone, so that the result scales with the series.
      double power = 1;
      for (int k = 1; k <= n; ++k) {
        if (std::fabs(power) < kEps) power = 0;
        power *= r;
        out[k] *= power;
      }
    }
  }
  BSfaulthook("bslimcanab", nullptr);
}

void BSlimlgdab1(int n, double h, double c, double *matrix) {
  if (n >= 0) {
    const int w = n + 1;
    clear(n, matrix);
    matrix[0] = 1;
    if (n >= 1) {
      matrix[w] = c;
      matrix[w + 1] = h;
    }
    // k P_k = (2k-1) y P_k-1 - (k-1) P_k-2, y = h s + c, s P_j = ((j+1) P_j+1 + j P_j-1) / (2j+1).
    for (int k = 2; k <= n; ++k) {
      double *row = matrix + k * w;
      const double *p1 = row - w, *p2 = row - 2 * w;
      const double a = 2.0 * k - 1, b = k - 1.0;
      for (int j = 0; j <= k - 2; ++j) row[j] = -b * p2[j];
      for (int j = 0; j < k; ++j) {
        const double t = a * p1[j];
        row[j] += c * t;
        row[j + 1] += h * t * (j + 1) / (2 * j + 1);
        if (j > 0) row[j - 1] += h * t * j / (2 * j + 1);
      }
      for (int j = 0; j <= k; ++j) row[j] /= k;
    }
    transpose(n, matrix);
  }
  BSfaulthook("bslimlgdab1", nullptr);
}

void BSlgdaffmat(int degree, double h, double m, double *M) { BSlimlgdab1(degree, h, m, M); }
