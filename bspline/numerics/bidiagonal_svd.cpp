// The general singular value decomposition A = U diag(s) V^T of a dense column-major matrix with at least as
// many rows as columns: Householder reduction to upper bidiagonal form, then implicitly shifted QR sweeps on the
// bidiagonal made of fast (square-root free, scaled) Givens rotations, carried into U and V.
//
// Scaled form of the sweeps: row i of the bidiagonal carries a scale r[i], column j a scale c[j]; the true entry
// (i, j) is the stored one times sr(r[i]) sr(c[j]), sr(x) the square root of |x| with the sign of x, and the true
// factors are U with column i times sr(r[i]) and V with column j times sr(c[j]). A fast rotation updates a pair of
// columns with two multiplications and shrinks their two scales instead of taking a square root; the scales are
// folded back in before they can underflow.
#include "bspline/core/exit.h"
#include "bspline/numerics.h"
#include "bspline/numerics/numerics_internal.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kLocalCopy = 400;
constexpr double kFoldBelow = 3.552713678800501e-15;  // 2^-48: smallest scale left unfolded

// The double-precision epsilon, found once by halving until 1 + x no longer differs from 1 (2^-52).
double find_epsilon() {
  volatile double x = 1.0, sum = 2.0;
  while (sum != 1.0) {
    x = x / 2.0;
    sum = 1.0 + x;
  }
  return 2.0 * x;
}
const double kEps = find_epsilon();

inline double signed_root(double x) { return x < 0.0 ? -std::sqrt(-x) : std::sqrt(x); }

inline double *column(double *m, int ld, int j) { return m + static_cast<std::ptrdiff_t>(j) * ld; }

// ---------------------------------------------------------------------------------------------------------------
// Householder reduction

// The Euclidean norm of n values with stride, scaled so that neither the squares overflow nor underflow.
inline double scaled_norm(const double *x, int n, int stride) {
  // The plain sum of squares first: it is exact enough whenever it neither overflows nor leaves the normal range.
  double plain = 0.0;
  for (int i = 0; i < n; ++i) plain += x[i * stride] * x[i * stride];
  if (plain >= 0x1p-900 && plain <= 0x1p900) return std::sqrt(plain);
  double r = 0.0, t = 0.0;
  for (int i = 0; i < n; ++i) {
    const double a = std::fabs(x[i * stride]);
    if (a == 0.0) continue;
    if (a > r) {
      t = (r == 0.0 ? 0.0 : t * (r / a) * (r / a)) + 1.0;
      r = a;
    } else {
      t += (a / r) * (a / r);
    }
  }
  return r * std::sqrt(t);
}

// Turns x[0..n) (stride) into the vector v of the reflection I - v v^T that maps x onto (-beta, 0, ..., 0), and
// answers -beta. When x has nothing below its first entry no reflection is needed: v becomes 0 and x[0] is
// answered.
inline double make_reflection(double *x, int n, int stride) {
  bool below = false;
  for (int i = 1; i < n && !below; ++i) below = x[i * stride] != 0.0;
  if (!below) {
    const double d = x[0];
    for (int i = 0; i < n; ++i) x[i * stride] = 0.0;
    return d;
  }
  const double nu = scaled_norm(x, n, stride);
  const double beta = x[0] >= 0.0 ? nu : -nu;
  const double den = std::sqrt((std::fabs(x[0]) + nu) * nu);
  x[0] = (x[0] + beta) / den;
  const double inv = 1.0 / den;
  for (int i = 1; i < n; ++i) x[i * stride] *= inv;
  return -beta;
}

// y := (I - v v^T) y over n values; v and y with their own strides.
inline void reflect(const double *v, int vstride, double *y, int ystride, int n) {
  double t = 0.0;
  for (int i = 0; i < n; ++i) t += v[i * vstride] * y[i * ystride];
  if (t == 0.0) return;
  for (int i = 0; i < n; ++i) y[i * ystride] -= t * v[i * vstride];
}

// U (m x n) by backward accumulation of the left reflections kept in the columns of w (m x n): reflection j
// changes only rows j.. of columns j.., so each is applied to that corner alone. `last` is the last column that
// holds a reflection.
void accumulate_left(const double *w, int m, int n, int last, double *u) {
  for (int c = 0; c < n; ++c) {
    double *col = column(u, m, c);
    for (int r = 0; r < m; ++r) col[r] = r == c ? 1.0 : 0.0;
  }
  for (int j = last; j >= 0; --j) {
    const double *v = w + static_cast<std::ptrdiff_t>(j) * m + j;
    for (int c = j; c < n; ++c) reflect(v, 1, column(u, m, c) + j, 1, m - j);
  }
}

void BSbdformul(const double *w, int m, int n, double *u) { accumulate_left(w, m, n, n - 1, u); }

// The square case: the last column has nothing below its diagonal, so no reflection.
void BSbdformus(const double *w, int n, double *u) { accumulate_left(w, n, n, n - 2, u); }

// V (n x n) from the right reflections kept in the rows of w (m x n): reflection j acts on columns j+1.. of row
// j.
void BSbdformv(const double *w, int m, int n, double *v) {
  for (int c = 0; c < n; ++c) {
    double *col = column(v, n, c);
    for (int r = 0; r < n; ++r) col[r] = r == c ? 1.0 : 0.0;
  }
  for (int j = n - 3; j >= 0; --j) {
    const double *x = w + static_cast<std::ptrdiff_t>(j + 1) * m + j;
    for (int c = j + 1; c < n; ++c) reflect(x, m, column(v, n, c) + j + 1, 1, n - j - 1);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Fast Givens rotations

// A fast rotation as the map (x, y) -> (xx x + xy y, yx x + yy y): the first kind is (alpha x + y, beta y - x),
// the second (x + alpha y, y - beta x). The unit and negated coefficients are exact, so the map gives the very
// bits of the two kinds' formulas, and the kind costs no branch (on random data it is a coin toss).
struct FastRotation {
  double xx, xy, yx, yy;
};

// The fast rotation of a pair (x1, x2) whose true values are x1 sr(p1), x2 sr(p2) (times a common factor) that
// clears x2; x1 receives the combined entry. With gamma the ratio of the true squares, gamma <= 1 takes the
// first kind, which exchanges the scales and multiplies them by 1 / (1 + gamma), a larger gamma the second,
// which multiplies them by gamma / (1 + gamma): a scale never shrinks by more than half a rotation. Entries
// whose squares underflow are negligible beside any other entry and are cleared as they are.
inline FastRotation BSfgivens(double &x1, double &x2, double &p1, double &p2) {
  const double a1 = std::fabs(p1) * x1 * x1, a2 = std::fabs(p2) * x2 * x2;
  if (a1 <= a2 && a2 == 0.0) {
    x2 = 0.0;
    return {1.0, 0.0, 0.0, 1.0};
  }
  // The kind picks which entry is divided by which; both kinds then share one formula: with (n, d) the pair in
  // that order, beta = n / d, alpha = beta |pn / pd|, gamma = alpha beta (one division fewer than a1 / a2), the
  // combined entry alpha n + d, and the scales pd f, pn f with f = 1 / (1 + gamma).
  const bool first = a1 <= a2;
  const double n = first ? x1 : x2, d = first ? x2 : x1, pn = first ? p1 : p2, pd = first ? p2 : p1;
  const double beta = n / d, alpha = beta * std::fabs(pn / pd);
  const double f = 1.0 / (1.0 + alpha * beta);
  p1 = pd * f;
  p2 = pn * f;
  x1 = alpha * n + d;
  x2 = 0.0;
  return {first ? alpha : 1.0, first ? 1.0 : alpha, first ? -1.0 : -beta, first ? beta : 1.0};
}

// Columns x, y (n rows) of a matrix under a fast rotation; R > 0 fixes n.
template <int R = 0>
void BSfgrot(double *m, int ld, int n, int x, int y, const FastRotation &g) {
  if (R > 0) n = R;
  double *px = column(m, ld, x), *py = column(m, ld, y);
  for (int i = 0; i < n; ++i) {
    const double a = px[i], b = py[i];
    px[i] = g.xx * a + g.xy * b;
    py[i] = g.yx * a + g.yy * b;
  }
}

// A pair of entries (a, b) under a rotation, as the columns above.
inline void turn(const FastRotation &g, double &a, double &b) {
  const double x = a, y = b;
  a = g.xx * x + g.xy * y;
  b = g.yx * x + g.yy * y;
}

// The matrix a rotation goes to (NULL when it is not updated); R > 0 is its number of rows, fixed so that the
// rotations of small matrices are unrolled.
template <int R>
struct Factor {
  double *m;
  int ld, rows;
  void rotate(const FastRotation &g, int x, int y) const {
    if (m) BSfgrot<R>(m, ld, rows, x, y, g);
  }
  void scale(int j, double f) const {
    if (!m || f == 1.0) return;
    double *col = column(m, ld, j);
    const int n = R > 0 ? R : rows;
    for (int i = 0; i < n; ++i) col[i] *= f;
  }
};

// The bidiagonal in scaled form with the two factors that receive its rotations.
template <int R>
struct Bidiagonal {
  double *d, *e, *r, *c;  // diagonal, superdiagonal, row scales, column scales
  Factor<R> left, right;

  double dsq(int i) const { return d[i] * d[i] * std::fabs(r[i] * c[i]); }
  double esq(int i) const { return e[i] * e[i] * std::fabs(r[i] * c[i + 1]); }

  // Folds the scales of rows and columns lo..hi into the entries and the factors and resets them to 1.
  void fold(int lo, int hi) {
    for (int i = lo; i <= hi; ++i) {
      const double sr = signed_root(r[i]), sc = signed_root(c[i]);
      d[i] *= sr * sc;
      if (i < hi) e[i] *= sr * signed_root(c[i + 1]);
      left.scale(i, sr);
      right.scale(i, sc);
      r[i] = c[i] = 1.0;
    }
  }
  // The same, only when a scale of the block has come near underflow.
  void BSfgrescale(int lo, int hi) {
    double smallest = 1.0;
    for (int i = lo; i <= hi; ++i) smallest = std::min(smallest, std::min(std::fabs(r[i]), std::fabs(c[i])));
    if (smallest <= kFoldBelow) fold(lo, hi);
  }

  // d[i] = 0 inside lo..hi with e[i] != 0: e[i] is chased along row i to the right by rotations of rows i and
  // j, then the entry above d[i] up column i by rotations of columns j and i, which leaves value i alone.
  void chase_zero(int lo, int i, int hi) {
    double f = e[i];
    e[i] = 0.0;
    for (int j = i + 1; j <= hi && f != 0.0; ++j) {
      const FastRotation g = BSfgivens(d[j], f, r[j], r[i]);
      if (j < hi) {
        double zero = 0.0;
        turn(g, e[j], zero);
        f = zero;
      }
      left.rotate(g, j, i);
    }
    if (i > lo) {
      f = e[i - 1];
      e[i - 1] = 0.0;
      for (int j = i - 1; j >= lo && f != 0.0; --j) {
        const FastRotation g = BSfgivens(d[j], f, c[j], c[i]);
        if (j > lo) {
          double zero = 0.0;
          turn(g, e[j - 1], zero);
          f = zero;
        }
        right.rotate(g, j, i);
      }
    }
    BSfgrescale(lo, hi);
  }

  // The eigenvalue of the trailing 2x2 block of B^T B nearer to its last diagonal entry.
  double BSbdshift(int lo, int hi) const {
    const double p = dsq(hi - 1), q = esq(hi - 1);
    const double a = p + (hi - 1 > lo ? esq(hi - 2) : 0.0), b = dsq(hi) + q;
    return BSsym2eig(a, b, p, q);
  }
  // The eigenvalues of [[a, c], [c, b]] with c = sqrt|p| sqrt|q| are (a + b)/2 -+ sqrt(h^2 + c^2), h = (b - a)/2,
  // computed as a - r and b + r without cancellation; answers b + r.
  static double BSsym2eig(double a, double b, double p, double q) {
    const double c = std::sqrt(std::fabs(p)) * std::sqrt(std::fabs(q));
    if (c == 0.0) return b;
    const double h = (b - a) / 2.0;
    double r;
    if (std::fabs(h) > std::fabs(c)) {
      const double t = c / h;
      r = c * t / (1.0 + std::sqrt(t * t + 1.0));
    } else {
      const double t = h / c;
      r = c / (t + (t >= 0.0 ? 1.0 : -1.0) * std::sqrt(t * t + 1.0));
    }
    return b + r;
  }

  // One implicit QR sweep with shift sigma on lo..hi; an e entry that falls to tau or below is cleared (a
  // split the next pass finds). Answers whether one was.
  bool sweep(int lo, int hi, double sigma, double tau) {
    bool split = false;
    double x1 = d[lo] * d[lo] * std::fabs(r[lo] * c[lo]) - sigma;
    double x2 = d[lo] * e[lo] * std::fabs(r[lo] * c[lo]);
    double bulge = 0.0;
    for (int j = lo; j < hi; ++j) {
      // Columns j, j+1: the first from the shift, then clearing the bulge at (j-1, j+1).
      const FastRotation g = j == lo ? BSfgivens(x1, x2, c[j], c[j + 1]) : BSfgivens(e[j - 1], bulge, c[j], c[j + 1]);
      if (j > lo && esq(j - 1) <= tau) {
        e[j - 1] = 0.0;
        split = true;
      }
      turn(g, d[j], e[j]);
      bulge = 0.0;
      turn(g, bulge, d[j + 1]);  // the bulge at (j+1, j)
      right.rotate(g, j, j + 1);
      // Rows j, j+1: clearing the bulge at (j+1, j), making one at (j, j+2).
      const FastRotation h = BSfgivens(d[j], bulge, r[j], r[j + 1]);
      turn(h, e[j], d[j + 1]);
      if (j + 1 < hi) {
        bulge = 0.0;
        turn(h, bulge, e[j + 1]);
      }
      left.rotate(h, j, j + 1);
    }
    if (esq(hi - 1) <= tau) {
      e[hi - 1] = 0.0;
      split = true;
    }
    BSfgrescale(lo, hi);
    return split;
  }

  // Value i is final: it keeps its true magnitude, a negative sign (or a zero value at a deflation) going into
  // its row scale, hence into the matching column of the left factor.
  void finish(int i, bool zero_flips) {
    const double t = d[i] * signed_root(r[i]) * signed_root(c[i]);
    d[i] = std::fabs(t);
    if (t < 0.0 || (zero_flips && t == 0.0)) r[i] = -r[i];
  }
};

// A natural merge sort of the indices 0..k-1 by increasing value, stable: the non-decreasing runs are found,
// then neighbouring runs merged until one is left. The indices are held as doubles in order; work takes k.
void BSsvsort(const double *values, double *order, double *work, int k) {
  for (int i = 0; i < k; ++i) order[i] = i;
  // A few values by insertion, which is as stable and so gives the same order; a NaN has none, and leaves the
  // order to the merges.
  if (k <= 8 && bssvd::finite(k, values)) {
    for (int i = 1; i < k; ++i) {
      const double x = order[i];
      int j = i;
      for (; j > 0 && values[i] < values[static_cast<int>(order[j - 1])]; --j) order[j] = order[j - 1];
      order[j] = x;
    }
    return;
  }
  double *from = order, *to = work;
  for (;;) {
    int runs = 0;
    for (int start = 0; start < k;) {
      int mid = start + 1;
      while (mid < k && values[static_cast<int>(from[mid - 1])] <= values[static_cast<int>(from[mid])]) ++mid;
      int end = mid;
      while (end < k && (end == mid || values[static_cast<int>(from[end - 1])] <= values[static_cast<int>(from[end])]))
        ++end;
      int a = start, b = mid, o = start;
      while (a < mid && b < end)
        to[o++] = values[static_cast<int>(from[b])] < values[static_cast<int>(from[a])] ? from[b++] : from[a++];
      while (a < mid) to[o++] = from[a++];
      while (b < end) to[o++] = from[b++];
      start = end;
      ++runs;
    }
    double *t = from;
    from = to;
    to = t;
    if (runs <= 1) break;
  }
  if (from != order)
    for (int i = 0; i < k; ++i) order[i] = from[i];
}

template <int R>
void swap_columns(const Factor<R> &f, int x, int y) {
  if (!f.m) return;
  double *px = column(f.m, f.ld, x), *py = column(f.m, f.ld, y);
  for (int i = 0; i < f.rows; ++i) {
    const double t = px[i];
    px[i] = py[i];
    py[i] = t;
  }
}

template <int R>
void normalise_column(const Factor<R> &f, int x) {
  if (!f.m) return;
  double *px = column(f.m, f.ld, x);
  double sum = 0.0;
  for (int i = 0; i < f.rows; ++i) sum += px[i] * px[i];
  if (sum == 0.0) return;
  const double len = std::sqrt(sum);
  for (int i = 0; i < f.rows; ++i) px[i] /= len;
}

// The reduction of w (m x n, overwritten by the reflections) to the bidiagonal s, e, and the factors asked for;
// M, N > 0 fix the size, so that the reflections of small matrices are unrolled.
template <int M, int N>
void bidiagonalise(double *s, double *e, double *u, int ju, double *v, int jv, double *w, int m, int n) {
  if (M > 0) m = M, n = N;
  auto at = [&](int i, int j) -> double & { return w[static_cast<std::ptrdiff_t>(j) * m + i]; };

  // The left reflection of column j stays in rows j.. of that column, the right reflection of row j in
  // columns j+1.. of that row; a zero vector stands for "no reflection".
  for (int j = 0; j < n; ++j) {
    s[j] = make_reflection(&at(j, j), m - j, 1);
    for (int c = j + 1; c < n; ++c) reflect(&at(j, j), 1, &at(j, c), 1, m - j);
    if (j + 1 < n) {
      e[j] = make_reflection(&at(j, j + 1), n - j - 1, m);
      for (int r = j + 1; r < m; ++r) reflect(&at(j, j + 1), m, &at(r, j + 1), m, n - j - 1);
    }
  }

  if (ju != 0 && m > n) BSbdformul(w, m, n, u);
  if ((ju == 1 || ju == 3) && m == n) BSbdformus(w, n, u);
  if (jv != 0) BSbdformv(w, m, n, v);
}

void bidiagonal(double *s, double *e, double *u, int ju, double *v, int jv, double *w, int m, int n) {
  if (m == 3 && n == 3)
    bidiagonalise<3, 3>(s, e, u, ju, v, jv, w, m, n);
  else if (m == 4 && n == 4)
    bidiagonalise<4, 4>(s, e, u, ju, v, jv, w, m, n);
  else
    bidiagonalise<0, 0>(s, e, u, ju, v, jv, w, m, n);
}

}  // namespace

void BSbidag2sv(double *s, double *e, double *u, int ju, double *v, int jv, const double *a, int rows, int columns,
                int *rc) {
  *rc = 0;
  BSscratch<kLocalCopy> scratch;
  do {
    const int m = rows, n = columns;
    if (n < 1 || m < n || ju < 0 || ju > 3 || jv < 0 || jv > 3 || !BSallfinite(m * n, a)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t size = static_cast<std::size_t>(m) * static_cast<std::size_t>(n);
    double *w = scratch.take(size);
    if (!w) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (std::size_t i = 0; i < size; ++i) w[i] = a[i];
    bidiagonal(s, e, u, ju, v, jv, w, m, n);
  } while (false);
  BSexit(rc, "BSbidag2sv", "bsbidag2sv");
}

namespace {

// The sweeps of BSsingbval; R > 0 when both factors have R rows.
template <int R>
void singbval_sweeps(double *s, int k, double *e, BSboolean wide, double *u, int ldu, int rows, int ju, double *v,
                     int ldv, int columns, int jv, double *scale1, double *scale2, int *rc) {
  // Left rotations go to U, right ones to V; a wide matrix exchanges the two.
  Factor<R> fu{ju == 1 ? u : nullptr, ldu, rows}, fv{jv == 1 ? v : nullptr, ldv, columns};
  Bidiagonal<R> B{s, e, scale1, scale2, wide ? fv : fu, wide ? fu : fv};
  // Squares of entries beyond 2^+-64 would leave the range of doubles: such a matrix is brought near 1 by a
  // power of two (exact), and its values back at the end.
  double big = 0.0;
  for (int i = 0; i < k; ++i) big = std::max({big, std::fabs(s[i]), i + 1 < k ? std::fabs(e[i]) : 0.0});
  int exponent = 0;
  if (big != 0.0 && (big > 0x1p64 || big < 0x1p-64)) {
    std::frexp(big, &exponent);
    for (int i = 0; i < k; ++i) {
      s[i] = std::ldexp(s[i], -exponent);
      if (i + 1 < k) e[i] = std::ldexp(e[i], -exponent);
    }
  }
  for (int i = 0; i < k; ++i) scale1[i] = scale2[i] = 1.0;

  const int limit = bstest::switches.sweeps >= 0 ? bstest::switches.sweeps : 50 * k;
  int sweeps = 0, counter = 0;
  int hi = k - 1;  // the active block is lo..hi; the values above hi are final
  while (hi > 0) {
    // Split at the nearest zero coupling above hi; a zero diagonal entry has its coupling chased out first.
    int lo = 0;
    for (int i = hi - 1; i >= 0; --i) {
      if (e[i] == 0.0) {
        lo = i + 1;
        break;
      }
      if (s[i] == 0.0) {
        int top = i;
        while (top > 0 && e[top - 1] != 0.0) --top;
        B.chase_zero(top, i, hi);
        lo = i + 1;
        break;
      }
    }
    if (lo == hi) {
      B.finish(hi--, false);
      counter = 0;
      continue;
    }
    double M = 0.0, S = 0.0;
    for (int i = lo; i <= hi; ++i) {
      const double x = B.dsq(i), y = i < hi ? B.esq(i) : 0.0;
      M = std::max({M, x, y});
      S += x + y;
    }
    if (S == 0.0) S = 1.0;
    const double tau = kEps * kEps * M, rho = (1.0 / kEps) / S;
    // Deflation at the bottom: e[hi-1] is negligible beside the trailing entry of B^T B (or, after 40 sweeps
    // without one, beside the block) and beside the block as a whole.
    ++counter;
    const double a = B.dsq(hi), b = B.dsq(hi - 1), c = B.esq(hi - 1);
    double against = a;
    bool small = counter > 40 || c == 0.0;
    if (!small) {
      against = a + c;
      small = (c / against) * (b / against) <= kEps * kEps;
    }
    if (small && rho * rho * b * c <= 1.0) {
      if (b <= against) {
        // Rows hi and hi-1: e[hi-1] goes into d[hi]; what comes below d[hi-1] is negligible and dropped.
        const FastRotation g = BSfgivens(s[hi], e[hi - 1], scale1[hi], scale1[hi - 1]);
        double below = 0.0;
        turn(g, below, s[hi - 1]);
        B.left.rotate(g, hi, hi - 1);
      }
      e[hi - 1] = 0.0;
      B.finish(hi--, true);
      counter = 0;
      continue;
    }
    if (++sweeps > limit) {
      *rc = -1;
      break;
    }
    B.sweep(lo, hi, B.BSbdshift(lo, hi), tau);
  }

  if (*rc != 0) {
    // A valid partial decomposition: the unfinished block with its scales folded in, and the final values'
    // signs and scales in the factors.
    B.fold(0, hi);
    for (int i = hi + 1; i < k; ++i) {
      B.left.scale(i, signed_root(scale1[i]));
      B.right.scale(i, signed_root(scale2[i]));
    }
    for (int i = 0; i < k && exponent != 0; ++i) {
      s[i] = std::ldexp(s[i], exponent);
      if (i + 1 < k) e[i] = std::ldexp(e[i], exponent);
    }
    scale1[0] = k - hi;
  } else if (k > 0) {
    B.finish(0, false);
    for (int i = 0; i < k; ++i) {
      B.left.scale(i, signed_root(scale1[i]));
      B.right.scale(i, signed_root(scale2[i]));
      if (exponent != 0) s[i] = std::ldexp(s[i], exponent);
    }
    // Decreasing order, the columns of both factors permuted alike; a moved column is brought back to unit
    // length. order[p] names the value that goes to place k-1-p, so that among equal values the later one
    // comes first.
    double *order = scale2, *work = scale1;
    BSsvsort(s, order, work, k);
    for (int p = 0; p < k; ++p) {
      int from = static_cast<int>(order[k - 1 - p]);
      while (from < p) from = static_cast<int>(order[k - 1 - from]);
      if (from == p) continue;
      const double t = s[p];
      s[p] = s[from];
      s[from] = t;
      swap_columns(fu, p, from);
      swap_columns(fv, p, from);
    }
    for (int p = 0; p < k; ++p)
      if (static_cast<int>(order[k - 1 - p]) != p) {
        normalise_column(fu, p);
        normalise_column(fv, p);
      }
    scale1[0] = k;
  }
}

// BSsingbval without its exit.
void singbval(double *s, int k, double *e, BSboolean wide, double *u, int ldu, int rows, int ju, double *v, int ldv,
              int columns, int jv, double *scale1, double *scale2, int *rc) {
  *rc = 0;
  if (k > 0 && (!bssvd::finite(k, s) || !bssvd::finite(k - 1, e)))
    *rc = BSRC_OUT_OF_RANGE;  // a NaN never tests negligible: the sweeps would run to their limit
  else if (rows == columns && rows == 3)
    singbval_sweeps<3>(s, k, e, wide, u, ldu, rows, ju, v, ldv, columns, jv, scale1, scale2, rc);
  else if (rows == columns && rows == 4)
    singbval_sweeps<4>(s, k, e, wide, u, ldu, rows, ju, v, ldv, columns, jv, scale1, scale2, rc);
  else
    singbval_sweeps<0>(s, k, e, wide, u, ldu, rows, ju, v, ldv, columns, jv, scale1, scale2, rc);
}

}  // namespace

void BSsingbval(double *s, int k, double *e, BSboolean wide, double *u, int ldu, int rows, int ju, double *v,
                int ldv, int columns, int jv, double *scale1, double *scale2, int *rc) {
  singbval(s, k, e, wide, u, ldu, rows, ju, v, ldv, columns, jv, scale1, scale2, rc);
  BSexit(rc, "BSsingbval", "bssingbval");
}

bool bssvd::finite(int n, const double *x) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(x[i])) return false;
  return true;
}

void bssvd::decompose(double *w, int rows, int columns, double *u, double *s, double *v, double *work, int *rc) {
  const int k = columns;
  bidiagonal(s, work, u, 1, v, 1, w, rows, columns);
  singbval(s, k, work, BSFALSE, u, rows, rows, 1, v, columns, columns, 1, work + k - 1, work + 2 * k - 1, rc);
}
