// Least squares by Householder reflections: dense, banded block by block (the way the observation rows of a
// spline fit arrive, a few consecutive unknowns at a time), and the projection of coefficient vectors onto the
// row space of a block-bidiagonal constraint matrix through a block LQ factorisation.
//
// Every pivot threshold is absolute (zero_tol): the callers' matrices hold basis values of about unit size, so a
// diagonal below it means a rank defect there. The solvers are therefore not scale-invariant: a matrix scaled
// down by 1e-10 is reported rank-deficient.
#include "bspline/core/exit.h"
#include "bspline/core/finite_internal.h"
#include "bspline/numerics.h"

#include <climits>
#include <cmath>
#include <cstring>

namespace {

// Two doubles side by side, for operations taken lane by lane (each lane's result is the scalar one).
typedef double Pair __attribute__((vector_size(16)));

std::size_t cells(long long rows, long long cols) {
  return static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
}

// A divisor that may be used: neither tiny nor NaN.
bool usable_pivot(double d) { return std::fabs(d) >= BStoltab[bstol::zero_tol]; }

double dot(const double *a, const double *b, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += a[i] * b[i];
  return s;
}

// One reflection (u, h) applied to the C columns right of u (row stride `stride`) and to the three columns of b,
// with the widths known to the compiler: every column's product with u is summed in one pass over the rows, each
// in the order that a column at a time sums it. The sums go two to a vector: each lane's operations are the
// scalar ones in the scalar order (no lane meets another), so the results are the same to the bit, for fewer
// instructions. A row's entries of the columns and of b are gathered into the lanes; an odd last lane holds a 0
// whose sum is never used.
template <int C>
void reflect_pairs(int len, int stride, double h, double *u, double *b) {
  constexpr int L = C + 3, V = (L + 1) / 2;
  Pair f[V] = {};
  for (int i = 0; i < len; ++i) {
    const double ui = u[cells(i, stride)], *ri = u + cells(i, stride) + 1, *bi = b + cells(i, 3);
    double x[2 * V];
    for (int j = 0; j < C; ++j) x[j] = ri[j];
    for (int c = 0; c < 3; ++c) x[C + c] = bi[c];
    if (L % 2) x[L] = 0;
    const Pair uu = {ui, ui};
    for (int v = 0; v < V; ++v) f[v] += uu * Pair{x[2 * v], x[2 * v + 1]};
  }
  const Pair hh = {h, h};
  for (int v = 0; v < V; ++v) f[v] /= hh;
  for (int i = 0; i < len; ++i) {
    const double ui = u[cells(i, stride)];
    double *ri = u + cells(i, stride) + 1, *bi = b + cells(i, 3);
    double x[2 * V];
    for (int j = 0; j < C; ++j) x[j] = ri[j];
    for (int c = 0; c < 3; ++c) x[C + c] = bi[c];
    if (L % 2) x[L] = 0;
    const Pair uu = {ui, ui};
    for (int v = 0; v < V; ++v) {
      const Pair y = Pair{x[2 * v], x[2 * v + 1]} - f[v] * uu;
      x[2 * v] = y[0], x[2 * v + 1] = y[1];
    }
    for (int j = 0; j < C; ++j) ri[j] = x[j];
    for (int c = 0; c < 3; ++c) bi[c] = x[C + c];
  }
}

// The blocks of a band fit: up to six columns, three right-hand sides. false for any other shape.
bool reflect_known(int len, int stride, int rest, int nrhs, double h, double *u, double *b) {
  if (nrhs != 3) return false;
  switch (rest) {
    case 0: reflect_pairs<0>(len, stride, h, u, b); return true;
    case 1: reflect_pairs<1>(len, stride, h, u, b); return true;
    case 2: reflect_pairs<2>(len, stride, h, u, b); return true;
    case 3: reflect_pairs<3>(len, stride, h, u, b); return true;
    case 4: reflect_pairs<4>(len, stride, h, u, b); return true;
    case 5: reflect_pairs<5>(len, stride, h, u, b); return true;
    default: return false;
  }
}

// Reflections of columns 0 .. min(m, n)-1 of the row-major m x n matrix A, applied to the m x nrhs matrix B too.
// With stop_small, a column whose remaining length is below zero_tol answers -1 before it is touched.
// N, when not 0, is n known to the compiler.
template <int N = 0>
int reflect_columns(int m, int cols, int nrhs, double *A, double *B, bool stop_small) {
  const int n = N ? N : cols;
  const double tol = BStoltab[bstol::zero_tol];
  const int steps = m < n ? m : n;
  for (int kk = 0; kk < steps; ++kk) {
    double *u = A + cells(kk, n) + kk;  // u[i * n]: entry i of the reflection vector, i = 0 .. m-kk-1
    double s = 0.0;
    for (int i = 0; i < m - kk; ++i) s += u[cells(i, n)] * u[cells(i, n)];
    const double d = u[0];
    const double sigma = std::fabs(d) >= tol ? (d >= 0.0 ? -1.0 : 1.0) : 1.0;
    const double alpha = sigma * std::sqrt(s);
    if (stop_small && !(std::fabs(alpha) >= tol)) return BSRC_ZERO_WEIGHT;
    const double h = s - alpha * d;  // half the squared length of u
    // h is of the order of the column's squared length, so it is held against the square of the tolerance: a
    // column that is merely small in this block (a basis function near the end of its support) is still
    // reflected, and its entries below the diagonal are not mistaken for reflection tails and lost.
    if (std::fabs(h) <= tol * tol) continue;
    u[0] = d - alpha;
    if (reflect_known(m - kk, n, n - kk - 1, nrhs, h, u, B + cells(kk, nrhs))) {
      u[0] = alpha;
      continue;
    }
    auto reflect = [&](double *col, int stride) {
      double f = 0.0;
      for (int i = 0; i < m - kk; ++i) f += u[cells(i, n)] * col[cells(i, stride)];
      f /= h;
      for (int i = 0; i < m - kk; ++i) col[cells(i, stride)] -= f * u[cells(i, n)];
    };
    for (int j = 1; j < n - kk; ++j) reflect(u + j, n);
    for (int c = 0; c < nrhs; ++c) reflect(B + cells(kk, nrhs) + c, nrhs);
    u[0] = alpha;
  }
  return 0;
}

// The checks shared by the band members: nb >= 1, nblocks >= 1, first[0] = 0, first[] non-decreasing in steps
// of at most nb. Gives the number of variables.
bool band_frames(int nblocks, int nb, const int *first, long long *n) {
  if (nb < 1 || nblocks < 1 || !first || first[0] != 0) return false;
  for (int b = 1; b < nblocks; ++b)
    if (first[b] < first[b - 1] || static_cast<long long>(first[b]) - first[b - 1] > nb) return false;
  *n = static_cast<long long>(first[nblocks - 1]) + nb;
  return *n <= INT_MAX;
}

// The block layout of an accumulation, played through on the counts alone so that a bad one is refused before
// anything changes: every block must leave a row of R for each variable it is the last to reach (the variables
// below the next block's first column, all of them after the last block). Rows retired by BSbndhshold carry no
// band entries, so counting after the retiring refuses exactly the layouts that leave variables without data,
// among them fewer rows than variables.
bool band_layout(int nblocks, const int *nrows, int nb, const int *first, int nrhs, bool retire, long long *rows) {
  long long n;
  if (!nrows || nrhs < 1 || !band_frames(nblocks, nb, first, &n)) return false;
  long long ir = 0, retired = 0;
  for (int b = 0; b < nblocks; ++b) {
    if (nrows[b] < 0) return false;
    ir += nrows[b];
    const bool last = b == nblocks - 1;
    const long long q = ir - retired - first[b];
    if (q < (last ? nb : first[b + 1] - first[b])) return false;
    if (retire && !last && q > nb + nrhs) retired += q - nb - nrhs;
  }
  *rows = ir;
  return ir <= INT_MAX;
}

// Accumulation of the blocks into R (and Q^T B), in place; with retire, the rows of a block beyond nb + nrhs
// are dropped (they hold no band entries any more) and the next block's rows take their place.
void band_accumulate(double *A, int nblocks, const int *nrows, int nb, const int *first, int nrhs, double *B,
                     bool retire, int *rc) {
  int ir = 0, retired = 0;
  for (int b = 0; b < nblocks; ++b) {
    const int f = first[b];
    if (b > 0) {
      // Earlier rows still open move into this block's frame.
      const int shift = f - first[b - 1];
      if (shift >= 1)
        for (int r = f; r < ir - retired; ++r) {
          double *row = A + cells(r, nb);
          std::memmove(row, row + shift, sizeof(double) * (nb - shift));
          for (int c = nb - shift; c < nb; ++c) row[c] = 0.0;
        }
      if (retired > 0 && nrows[b] > 0) {
        std::memmove(A + cells(ir - retired, nb), A + cells(ir, nb), sizeof(double) * cells(nrows[b], nb));
        std::memmove(B + cells(ir - retired, nrhs), B + cells(ir, nrhs), sizeof(double) * cells(nrows[b], nrhs));
      }
    }
    ir += nrows[b];
    const int q = ir - retired - f;
    if (q > 0) {
      BShshldtran(q, nb, nrhs, A + cells(f, nb), B + cells(f, nrhs), rc);
      if (*rc != 0) return;
    }
    if (b == nblocks - 1) break;
    if (retire && q > nb + nrhs) retired += q - nb - nrhs;
    // The reflection tails left of the diagonal would otherwise be shifted into the next frame's columns.
    const int g = first[b + 1];
    for (int r = g; r < ir - retired; ++r) {
      const int hi = r - f < nb ? r - f : nb;
      for (int c = g - f; c < hi; ++c) A[cells(r, nb) + c] = 0.0;
    }
  }
}

// Back substitution through an accumulated band, into columns c0 .. ldb-1 of B, with the border terms of columns
// 0 .. c0-1 (the extra variables' values in rows n .. n+c0-1). Every divisor is tested before any row is solved,
// so that a failure leaves B as it came.
int band_back(const double *A, int nblocks, int nb, const int *first, int ldb, int c0, double *B) {
  const int n = first[nblocks - 1] + nb;
  for (int r = n - 1, b = nblocks - 1; r >= 0; --r) {
    while (first[b] > r) --b;
    if (!usable_pivot(A[cells(r, nb) + r - first[b]])) return BSRC_ZERO_WEIGHT;
  }
  for (int r = n - 1, b = nblocks - 1; r >= 0; --r) {
    while (first[b] > r) --b;
    const int J = first[b], e = r - J;
    const double *row = A + cells(r, nb);
    double *x = B + cells(r, ldb);
    for (int c = c0; c < ldb; ++c) {
      double sum = 0.0;
      for (int j = 0; j < c0; ++j) sum += x[j] * B[cells(n + j, ldb) + c];
      for (int e2 = e + 1; e2 < nb; ++e2) sum += row[e2] * B[cells(J + e2, ldb) + c];
      x[c] = (x[c] - sum) / row[e];
    }
  }
  return 0;
}

// The reflection that folds the vector t (len entries) into the diagonal entry *x, in the sign convention of
// the constraint factorisation (the diagonal keeps its sign): *x becomes alpha, and u0 = alpha - x, taken from
// |t|^2 / (alpha + x) so that a short t is not lost to cancellation. Returns q = u0^2 + |t|^2 (0: nothing to do).
double fold(double *x, const double *t, int len, double *u0) {
  const double tail = dot(t, t, len), d = *x;
  const double alpha = (d < 0.0 ? -1.0 : 1.0) * std::sqrt(d * d + tail);
  *u0 = alpha + d != 0.0 ? tail / (alpha + d) : 0.0;
  *x = alpha;
  return *u0 * *u0 + tail;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Dense

void BShshldtran(int m, int n, int nrhs, double *A, double *B, int *rc) {
  *rc = 0;
  if (m < 1 || n < 1 || nrhs < 1 || !A || !B || !bsfinite::all(A, cells(m, n)) || !bsfinite::all(B, cells(m, nrhs)))
    *rc = BSRC_OUT_OF_RANGE;
  else
    // The blocks of a cubic fit's band are four columns wide.
    (n == 4 ? reflect_columns<4> : reflect_columns<>)(m, n, nrhs, A, B, false);
  BSexit(rc, "BShshldtran", "bshshldtran");
}

BSboolean BShousehld(int *rc, const int *m, const int *n, double *A, const int *nrhs, double *B, double *X) {
  *rc = 0;
  do {
    if (!m || !n || !nrhs || !A || !B || !X || *n < 1 || *m < *n || *nrhs < 1 || !bsfinite::all(A, cells(*m, *n)) ||
        !bsfinite::all(B, cells(*m, *nrhs))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int cols = *n, k = *nrhs;
    *rc = reflect_columns(*m, cols, k, A, B, true);
    if (*rc != 0) break;
    // A column of tiny remaining length takes no reflection and keeps its diagonal, which may be 0.
    for (int i = 0; i < cols; ++i)
      if (!usable_pivot(A[cells(i, cols) + i])) *rc = BSRC_ZERO_WEIGHT;
    if (*rc != 0) break;
    for (int i = cols - 1; i >= 0; --i) {
      const double *row = A + cells(i, cols);
      for (int c = 0; c < k; ++c) {
        double sum = B[cells(i, k) + c];
        for (int j = i + 1; j < cols; ++j) sum -= row[j] * X[cells(j, k) + c];
        X[cells(i, k) + c] = sum / row[i];
      }
    }
  } while (false);
  BSexit(rc, "BShousehld", "bshousehld");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

// ---------------------------------------------------------------------------------------------------------------
// Banded

namespace {
void band_member(double *A, int nblocks, const int *nrows, int nb, const int *first, int nrhs, double *B,
                 bool solve, int *rc) {
  long long rows;
  if (!A || !B || !band_layout(nblocks, nrows, nb, first, nrhs, solve, &rows) || !bsfinite::all(A, cells(rows, nb)) ||
      !bsfinite::all(B, cells(rows, nrhs))) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  band_accumulate(A, nblocks, nrows, nb, first, nrhs, B, solve, rc);
  if (*rc == 0 && solve) *rc = band_back(A, nblocks, nb, first, nrhs, 0, B);
}
}  // namespace

void BSbndhshdtr(double *A, int nblocks, const int *nrows, int nb, const int *first, int nrhs, double *B, int *rc) {
  *rc = 0;
  band_member(A, nblocks, nrows, nb, first, nrhs, B, false, rc);
  BSexit(rc, "BSbndhshdtr", "bsbndhshdtr");
}

void BSbndhshold(double *A, int nblocks, const int *nrows, int nb, const int *first, int nrhs, double *B, int *rc) {
  *rc = 0;
  band_member(A, nblocks, nrows, nb, first, nrhs, B, true, rc);
  BSexit(rc, "BSbndhshold", "bsbndhshold");
}

void BSbndhsback(const double *A, int nblocks, int nb, const int *first, int ldb, int c0, double *B, int *rc) {
  *rc = 0;
  do {
    long long n;
    if (!A || !B || c0 < 0 || ldb <= c0 || !band_frames(nblocks, nb, first, &n)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // Only what the substitution reads: R on and right of each diagonal, the rows of B, the border values.
    bool finite = bsfinite::all(B, cells(n, ldb));
    for (int r = 0, b = 0; finite && r < n; ++r) {
      while (b + 1 < nblocks && first[b + 1] <= r) ++b;
      const int e = r - first[b];
      finite = bsfinite::all(A + cells(r, nb) + e, cells(1, nb - e));
    }
    for (int j = 0; finite && j < c0; ++j) finite = bsfinite::all(B + cells(n + j, ldb) + c0, cells(1, ldb - c0));
    if (!finite) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    *rc = band_back(A, nblocks, nb, first, ldb, c0, B);
  } while (false);
  BSexit(rc, "BSbndhsback", "bsbndhsback");
}

// ---------------------------------------------------------------------------------------------------------------
// Constrained projection

void BShoustrcol(int m, int n, int extra, double *A) {
  const int cols = n + extra, steps = m < n ? m : n;
  for (int j = 0; j < steps; ++j) {
    double *col = A + cells(j, m);
    const double *below = col + j + 1;
    const int len = m - j - 1;
    double u0;
    double diag = col[j];
    const double q = fold(&diag, below, len, &u0);
    if (q == 0.0) continue;
    for (int l = j + 1; l < cols; ++l) {
      double *cl = A + cells(l, m);
      const double f = (dot(cl + j + 1, below, len) - u0 * cl[j]) * 2.0 / q;
      cl[j] += f * u0;
      for (int i = 0; i < len; ++i) cl[j + 1 + i] -= f * below[i];
    }
    col[j] = diag;
  }
  BSfaulthook("bshoustrcol", nullptr);
}

namespace {
// F (nc x nc, lower triangular) from the column-stored triangle R of nc columns of length len: F[r][c] = R[c][r].
void lower_from_columns(int nc, int len, const double *R, double *F) {
  for (int r = 0; r < nc; ++r)
    for (int c = 0; c < nc; ++c) F[cells(r, nc) + c] = c <= r && c < len ? R[cells(r, len) + c] : 0.0;
}
}  // namespace

void BShoustrian(int k, int nc, const double *W, double *F, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    if (k < 1 || nc < 1 || !W || !F) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // The rows of W, one after another, are already its transpose stored by columns.
    double *cols = scratch.take(cells(nc, k));
    if (!cols) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    std::memcpy(cols, W, sizeof(double) * cells(nc, k));
    BShoustrcol(k, nc, 0, cols);
    lower_from_columns(nc, k, cols, F);
  } while (false);
  BSexit(rc, "BShoustrian", "bshoustrian");
}

void BShoushcstf(int k, int nc, const double *W, const double *T, double *F, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    if (k < 1 || nc < 1 || !W || !T || !F) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double *cols = scratch.take(cells(nc, 2 * static_cast<long long>(k)));
    if (!cols) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (int r = 0; r < nc; ++r) {
      std::memcpy(cols + cells(r, 2 * k), W + cells(r, k), sizeof(double) * k);
      std::memcpy(cols + cells(r, 2 * k) + k, T + cells(r, k), sizeof(double) * k);
    }
    BShoustrcol(2 * k, nc, 0, cols);
    lower_from_columns(nc, 2 * k, cols, F);
  } while (false);
  BSexit(rc, "BShoushcstf", "bshoushcstf");
}

void BShoushcstl(int k, int nc, const double *W, const double *T, const double *N, double *Wnext, double *F,
                 double *G, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    if (k < 1 || nc < 1 || !W || !T || !N || !Wnext || !F || !G) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double *Tp = scratch.take(cells(nc, k));
    if (!Tp) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    BShoustrian(k, nc, W, F, rc);
    if (*rc != 0) break;
    for (std::size_t i = 0; i < cells(nc, nc); ++i) G[i] = 0.0;
    std::memmove(Wnext, N, sizeof(double) * cells(nc, k));
    std::memcpy(Tp, T, sizeof(double) * cells(nc, k));
    // Row i of this junction, (F row i, T' row i), is reflected onto F's diagonal; the reflection acts on the
    // later rows of this junction and on the next junction's rows (G, Wnext) alike.
    for (int i = 0; i < nc; ++i) {
      const double *ti = Tp + cells(i, k);
      double u0;
      const double q = fold(F + cells(i, nc) + i, ti, k, &u0);
      if (q == 0.0) continue;
      for (int l = i + 1; l < nc; ++l) {
        double *tl = Tp + cells(l, k);
        const double d = (dot(ti, tl, k) - u0 * F[cells(l, nc) + i]) * 2.0 / q;
        F[cells(l, nc) + i] += d * u0;
        for (int c = 0; c < k; ++c) tl[c] -= d * ti[c];
      }
      for (int l = 0; l < nc; ++l) {
        double *wl = Wnext + cells(l, k);
        const double d = dot(ti, wl, k) * 2.0 / q;
        G[cells(l, nc) + i] += d * u0;
        for (int c = 0; c < k; ++c) wl[c] -= d * ti[c];
      }
    }
  } while (false);
  BSexit(rc, "BShoushcstl", "bshoushcstl");
}

void BShoushcstm(int nj, int k, int nc, const double *C1, const double *C2, double *F, double *G, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    if (nj < 1 || k < 1 || nc < 1 || !C1 || !C2 || !F || !G) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t block = cells(nc, k), square = cells(nc, nc);
    double *work = nj > 1 ? scratch.take(2 * block) : nullptr;
    if (nj > 1 && !work) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    const double *W = C1;
    for (int j = 0; j + 1 < nj && *rc == 0; ++j) {
      double *next = work + (j % 2) * block;
      BShoushcstl(k, nc, W, C2 + j * block, C1 + (j + 1) * block, next, F + j * square, G + j * square, rc);
      W = next;
    }
    if (*rc != 0) break;
    BShoushcstf(k, nc, W, C2 + (nj - 1) * block, F + (nj - 1) * square, rc);
    // The last junction has no successor: its G block is left defined.
    for (std::size_t i = 0; i < square; ++i) G[(nj - 1) * square + i] = 0.0;
  } while (false);
  BSexit(rc, "BShoushcstm", "bshoushcstm");
}

void BShouslgfwd(int nj, int nc, const double *F, const double *G, const double *b, double *z) {
  const std::size_t square = cells(nc, nc);
  std::memmove(z, b, sizeof(double) * cells(nj, nc));
  for (int j = 0; j < nj; ++j) {
    const double *Fj = F + j * square;
    double *zj = z + cells(j, nc);
    for (int i = 0; i < nc; ++i) {
      double v = zj[i] - dot(Fj + cells(i, nc), zj, i);
      if (j > 0) v -= dot(G + (j - 1) * square + cells(i, nc), zj - nc, nc);
      zj[i] = v / Fj[cells(i, nc) + i];
    }
  }
  BSfaulthook("bshouslgfwd", nullptr);
}

void BShouslgback(int nj, int nc, const double *F, const double *G, const double *z, double *y) {
  const std::size_t square = cells(nc, nc);
  if (y != z) std::memmove(y, z, sizeof(double) * cells(nj, nc));
  for (int j = nj - 1; j >= 0; --j) {
    const double *Fj = F + j * square;
    double *yj = y + cells(j, nc);
    for (int i = nc - 1; i >= 0; --i) {
      double v = yj[i];
      for (int c = i + 1; c < nc; ++c) v -= Fj[cells(c, nc) + i] * yj[c];
      if (j + 1 < nj)
        for (int c = 0; c < nc; ++c) v -= G[j * square + cells(c, nc) + i] * yj[nc + c];
      yj[i] = v / Fj[cells(i, nc) + i];
    }
  }
  BSfaulthook("bshouslgback", nullptr);
}

void BShouslgbspc(int nj, int k, int nc, const double *C1, const double *C2, int nseries, const double *in,
                  double *out, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    const std::size_t block = cells(nc, k), series = cells(nj + 1LL, k);
    if (nj < 1 || k < 1 || nc < 1 || nseries < 1 || !C1 || !C2 || !in || !out || !bsfinite::all(C1, nj * block) ||
        !bsfinite::all(C2, nj * block) || !bsfinite::all(in, nseries * series)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t square = cells(nc, nc), rows = cells(nj, nc);
    double *F = scratch.take(2 * nj * square + 2 * rows);
    if (!F) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *G = F + nj * square, *b = G + nj * square, *y = b + rows;
    BShoushcstm(nj, k, nc, C1, C2, F, G, rc);
    if (*rc != 0) break;
    // Dependent constraint rows leave a vanishing diagonal in L.
    for (int j = 0; j < nj; ++j)
      for (int i = 0; i < nc; ++i)
        if (!usable_pivot(F[j * square + cells(i, nc) + i])) *rc = BSRC_ZERO_WEIGHT;
    if (*rc != 0) break;
    for (int s = 0; s < nseries; ++s) {
      const double *x = in + s * series;
      double *o = out + s * series;
      // b = K x, y = (K K^T)^-1 b, o = K^T y.
      for (int j = 0; j < nj; ++j)
        for (int r = 0; r < nc; ++r) {
          const double *c1 = C1 + j * block + cells(r, k), *c2 = C2 + j * block + cells(r, k);
          b[cells(j, nc) + r] = dot(c1, x + cells(j, k), k) + dot(c2, x + cells(j + 1, k), k);
        }
      BShouslgfwd(nj, nc, F, G, b, y);
      BShouslgback(nj, nc, F, G, y, y);
      for (std::size_t i = 0; i < series; ++i) o[i] = 0.0;
      for (int j = 0; j < nj; ++j)
        for (int r = 0; r < nc; ++r) {
          const double yr = y[cells(j, nc) + r];
          const double *c1 = C1 + j * block + cells(r, k), *c2 = C2 + j * block + cells(r, k);
          double *left = o + cells(j, k), *right = left + k;
          for (int c = 0; c < k; ++c) {
            left[c] += c1[c] * yr;
            right[c] += c2[c] * yr;
          }
        }
    }
  } while (false);
  BSexit(rc, "BShouslgbspc", "bshouslgbsc");
}
