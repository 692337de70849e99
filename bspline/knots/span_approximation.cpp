// Least-squares steps of the Legendre-to-B-spline conversion: knot removal (curves on a fine knot vector
// approximated on a coarser one through the discrete B-splines that tie the two bases), and the least change of
// per-span Legendre pieces that makes them join with continuous derivatives.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "bspline/numerics.h"

#include <cmath>
#include <cstring>

namespace {

bool finite_all(std::size_t count, const double *v) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// A target knot vector the rows can be formed on: finite, non-decreasing, and every basis function of positive
// support (no knot of multiplicity above k), so that the column scales stay finite.
bool target_knots_ok(int k, int n, const double *tau) {
  if (!finite_all(static_cast<std::size_t>(n) + k, tau)) return false;
  for (int i = 1; i < n + k; ++i)
    if (tau[i] < tau[i - 1]) return false;
  for (int j = 0; j < n; ++j)
    if (!(tau[j + k] > tau[j])) return false;
  return true;
}

// The target span of source knot x: upward from prev, the first span that holds x and is longer than ktol;
// prev stays when none does. Row and row block take their span from here, so that a row's nonzeros always
// lie in its block's columns.
int row_span(int n, const double *tau, double x, double ktol, int prev) {
  for (int l = prev; l < n; ++l)
    if (tau[l] <= x && x < tau[l + 1] && tau[l + 1] - tau[l] > ktol) return l;
  return prev;
}

// The k discrete B-spline values of a source row on target span l (target columns l-k+1 .. l): the Cox-de Boor
// triangle run with the source knot t[r] at level r.
void oslo_row(int k, const double *tau, int l, const double *t, double *row) {
  row[0] = 1.0;
  for (int r = 1; r < k; ++r) {
    const double x = t[r];
    double saved = 0.0;
    for (int j = 0; j < r; ++j) {
      const double lo = tau[l + 1 - r + j], hi = tau[l + 1 + j];
      const double temp = hi > lo ? row[j] / (hi - lo) : 0.0;
      row[j] = saved + (hi - x) * temp;
      saved = (x - lo) * temp;
    }
    row[r] = saved;
  }
}

// Rows p = 0 .. rows-1 (source knots t[p .. p+k-1]) into R, either full width (width n, zeros around the band)
// or compact (width k); spans[p] receives each row's span when spans is given.
void insertion_rows(int k, int n, const double *tau, int rows, const double *t, double ktol, int width, double *R,
                    int *spans) {
  int l = k - 1;
  for (int p = 0; p < rows; ++p) {
    l = row_span(n, tau, t[p], ktol, l);
    double *row = R + static_cast<std::size_t>(p) * width;
    if (width == k) {
      oslo_row(k, tau, l, t + p, row);
    } else {
      for (int j = 0; j < n; ++j) row[j] = 0.0;
      oslo_row(k, tau, l, t + p, row + l - k + 1);
    }
    if (spans) spans[p] = l;
  }
}

int insertion_check(int k, int n, const double *tau, int rows, const double *t, const double *R) {
  if (!tau || !t || !R) return BSRC_NULL_CURVE;
  if (k < 1 || n < k || rows < 0 || !target_knots_ok(k, n, tau) ||
      !finite_all(rows > 0 ? static_cast<std::size_t>(rows) + k - 1 : 0, t))
    return BSRC_OUT_OF_RANGE;
  return 0;
}

// Everything the approximation reads, checked before anything is written: the curves' headers first (they must
// share in[0]'s order, pole count and rational flag before their arrays are read), then arrays and values.
int approximation_check(int num_curves, const VOQbsp_curve *const *in, int n, const double *tau,
                        VOQbsp_curve *const *out) {
  if (!in || !out) return BSRC_NULL_CURVE;
  if (num_curves < 1) return BSRC_OUT_OF_RANGE;
  for (int c = 0; c < num_curves; ++c)
    if (!in[c] || !out[c]) return BSRC_NULL_CURVE;
  const VOQbsp_curve &c0 = *in[0];
  const bool rational = c0.rational != 0;
  for (int c = 0; c < num_curves; ++c)
    if (in[c]->order != c0.order || in[c]->num_poles != c0.num_poles || (in[c]->rational != 0) != rational)
      return BSRC_OUT_OF_RANGE;
  const int k = c0.order, m = c0.num_poles;
  if (k < 2 || m < k || n < k) return BSRC_OUT_OF_RANGE;
  if (!c0.knots || !tau) return BSRC_NULL_CURVE;
  for (int c = 0; c < num_curves; ++c)
    if (!in[c]->poles || !out[c]->poles || !out[c]->knots || (rational && (!in[c]->weights || !out[c]->weights)))
      return BSRC_NULL_CURVE;
  if (!target_knots_ok(k, n, tau) || !target_knots_ok(k, m, c0.knots)) return BSRC_OUT_OF_RANGE;
  for (int c = 0; c < num_curves; ++c)
    if (!finite_all(3 * static_cast<std::size_t>(m), in[c]->poles) ||
        (rational && !finite_all(static_cast<std::size_t>(m), in[c]->weights)))
      return BSRC_OUT_OF_RANGE;
  return 0;
}

constexpr double kMinWeight = 0.001;

// The body of BSbrapproxs (band rows) and BSr_approxs (full-width rows read out into the band).
void approximate(int num_curves, const VOQbsp_curve *const *in, int n, const double *tau, bool hold_start,
                 bool hold_end, VOQbsp_curve *const *out, bool full_width, int *rc) {
  *rc = approximation_check(num_curves, in, n, tau, out);
  if (*rc != 0) return;
  const VOQbsp_curve &c0 = *in[0];
  const int k = c0.order, m = c0.num_poles;
  const bool rational = c0.rational != 0;
  const double *t = c0.knots;
  double ktol = 0.0;
  BScvkttol2(c0.order, t, m, c0.poles, c0.weights, &ktol, rc);
  if (*rc != 0) return;
  if (m == n) {
    for (int c = 0; c < num_curves && *rc == 0; ++c) BScv_copy(rc, in[c], out[c]);
    return;
  }
  if (rational)
    for (int c = 0; c < num_curves; ++c)
      if (!(in[c]->weights[0] >= kMinWeight) || !(in[c]->weights[m - 1] >= kMinWeight)) {
        *rc = BSRC_DEGENERATE;
        return;
      }

  const int held = hold_start + hold_end, dim = 3 + rational, nrhs = num_curves * dim;
  const int f = 1 + hold_start, nf = n - 2 - held;
  const bool solve = nf >= 1;
  const int p0 = 1 + hold_start, p1 = m - 2 - hold_end, nr = p1 - p0 + 1;
  if (solve && nr < 1) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  const int nb = solve ? (k < nf ? k : nf) : 0, width = full_width ? n : k;
  // Rows of all m source poles (and their spans), the band system with its block layout, column scales and the
  // solved poles of every curve.
  const std::size_t rows_size = static_cast<std::size_t>(m) * width, layout = static_cast<std::size_t>(nr > 0 ? nr : 0),
                    ints = (m + 2 * layout + 1) / 2, system = solve ? static_cast<std::size_t>(nr) * (nb + nrhs) : 0;
  BSscratch<0> scratch;
  double *work = scratch.take(rows_size + system + n + ints);
  if (!work) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  double *R = work, *A = R + rows_size, *B = A + layout * nb, *v = B + layout * nrhs;
  // The row spans, then the row counts and first free columns of the blocks, behind the doubles.
  int *spans = reinterpret_cast<int *>(v + n), *nrows = spans + m, *first = nrows + layout;
  insertion_rows(k, n, tau, m, t, ktol, width, R, spans);
  for (int j = 0; j < n; ++j) v[j] = 1.0 / std::sqrt((tau[j + k] - tau[j]) / k);

  if (solve) {
    // The fixed target poles of each curve: the ends of the input, and the held ones the caller stored.
    struct Fixed {
      int column;
      const VOQbsp_curve *const *source;
      int index;
    };
    Fixed fixed[4] = {{0, in, 0}, {n - 1, in, m - 1}, {1, out, 1}, {n - 2, out, n - 2}};
    const int nfixed = 2 + held;
    if (!hold_start) fixed[2] = fixed[3];
    int nblocks = 0;
    for (int p = p0, row = 0; p <= p1; ++p, ++row) {
      const int l = spans[p], c = l - (k - 1);
      if (row == 0 || l != spans[p - 1]) {
        const int fc = c - f < nf - nb ? c - f : nf - nb;
        first[nblocks] = fc > 0 ? fc : 0;
        nrows[nblocks++] = 0;
      }
      ++nrows[nblocks - 1];
      const double w = std::sqrt((t[p + k] - t[p]) / k);
      const double *band = full_width ? R + static_cast<std::size_t>(p) * n + c : R + static_cast<std::size_t>(p) * k;
      double *a = A + static_cast<std::size_t>(row) * nb, *b = B + static_cast<std::size_t>(row) * nrhs;
      for (int e = 0; e < nb; ++e) {
        const int col = first[nblocks - 1] + f + e;
        a[e] = col >= c && col < c + k ? band[col - c] * w * v[col] : 0.0;
      }
      for (int cv = 0; cv < num_curves; ++cv)
        for (int q = 0; q < dim; ++q) {
          const double *P = in[cv]->poles;
          double rhs = (q < 3 ? P[3 * p + q] : in[cv]->weights[p]) * w;
          for (int x = 0; x < nfixed; ++x) {
            const int col = fixed[x].column;
            if (col < c || col >= c + k) continue;
            const VOQbsp_curve &src = *fixed[x].source[cv];
            const double value = q < 3 ? src.poles[3 * fixed[x].index + q] : src.weights[fixed[x].index];
            rhs -= value / v[col] * (band[col - c] * w * v[col]);
          }
          b[cv * dim + q] = rhs;
        }
    }
    BSbndhshold(A, nblocks, nrows, nb, first, nrhs, B, rc);
    if (*rc != 0) return;
    for (int j = 0; j < nf; ++j)
      for (int x = 0; x < nrhs; ++x) B[static_cast<std::size_t>(j) * nrhs + x] *= v[f + j];
    if (rational)
      for (int j = 0; j < nf; ++j)
        for (int cv = 0; cv < num_curves; ++cv)
          if (!(B[static_cast<std::size_t>(j) * nrhs + cv * dim + 3] >= kMinWeight)) {
            *rc = BSRC_DEGENERATE;
            return;
          }
  }

  // Nothing was written before this point: a failure leaves the outputs as the caller gave them.
  for (int cv = 0; cv < num_curves; ++cv) {
    const VOQbsp_curve &src = *in[cv];
    VOQbsp_curve &dst = *out[cv];
    double ends[2][4];
    for (int e = 0; e < 2; ++e) {
      const int i = e == 0 ? 0 : m - 1;
      for (int q = 0; q < 3; ++q) ends[e][q] = src.poles[3 * i + q];
      ends[e][3] = rational ? src.weights[i] : 1.0;
    }
    const std::uint16_t periodic = src.periodic, planar = src.planar, closed = src.phy_closed;
    for (int j = 0; solve && j < nf; ++j) {
      const double *x = B + static_cast<std::size_t>(j) * nrhs + cv * dim;
      for (int q = 0; q < 3; ++q) dst.poles[3 * (f + j) + q] = x[q];
      if (rational) dst.weights[f + j] = x[3];
    }
    for (int e = 0; e < 2; ++e) {
      const int i = e == 0 ? 0 : n - 1;
      for (int q = 0; q < 3; ++q) dst.poles[3 * i + q] = ends[e][q];
      if (rational) dst.weights[i] = ends[e][3];
    }
    dst.order = static_cast<std::int16_t>(k);
    dst.num_poles = n;
    dst.num_knots = n + k;
    dst.non_uniform = 1;
    dst.rational = rational;
    if (!rational) dst.weights = nullptr;
    dst.num_boundaries = 0;
    dst.bdrys = nullptr;
    dst.periodic = periodic;
    dst.planar = planar;
    dst.phy_closed = closed;
    std::memmove(dst.knots, tau, sizeof(double) * (static_cast<std::size_t>(n) + k));
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Knot-insertion rows

void BSinsrt_mat(std::int16_t order, int n, const double *knots, int num_rows, const double *t, double *M, int *rc) {
  *rc = insertion_check(order, n, knots, num_rows, t, M);
  if (*rc == 0) insertion_rows(order, n, knots, num_rows, t, 0.0, n, M, nullptr);
  BSexit(rc, "BSinsrt_mat", "bsinsrt_mat");
}

void BSinsrt_band(std::int16_t order, int n, const double *knots, int num_rows, const double *t, double *R, int *rc) {
  *rc = insertion_check(order, n, knots, num_rows, t, R);
  if (*rc == 0) insertion_rows(order, n, knots, num_rows, t, 0.0, order, R, nullptr);
  BSexit(rc, "BSinsrt_band", "bsinsrt_band");
}

// ---------------------------------------------------------------------------------------------------------------
// Knot removal

void BSbrapproxs(int num_curves, const VOQbsp_curve *const in[], int n, const double *knots, BSboolean hold_start,
                 BSboolean hold_end, VOQbsp_curve *const out[], int *rc) {
  *rc = 0;
  if (in && num_curves >= 1 && in[0] && n - 4 < in[0]->order)
    BSr_approxs(num_curves, in, n, knots, hold_start, hold_end, out, rc);
  else
    approximate(num_curves, in, n, knots, hold_start != 0, hold_end != 0, out, false, rc);
  BSexit(rc, "BSbrapproxs", "bsbrapproxs");
}

void BSr_approxs(int num_curves, const VOQbsp_curve *const in[], int n, const double *knots, BSboolean hold_start,
                 BSboolean hold_end, VOQbsp_curve *const out[], int *rc) {
  *rc = 0;
  approximate(num_curves, in, n, knots, hold_start != 0, hold_end != 0, out, true, rc);
  BSexit(rc, "BSr_approxs", "bsr_approxs");
}

// ---------------------------------------------------------------------------------------------------------------
// Continuity of per-span Legendre pieces

void BSlgdspnerr(int S, int s, int deg, int G, int D, const double *coef, double *size) {
  const int k = deg + 1;
  double worst = 0.0;
  for (int g = 0; g < G; ++g) {
    double sum = 0.0;
    for (int d = 0; d < D; ++d) {
      const double *c = coef + (static_cast<std::size_t>(g * D + d) * S + s) * k;
      double bound = 0.0;
      for (int i = 0; i < k; ++i) bound += std::fabs(c[i]);
      sum += bound * bound;
    }
    const double e = std::sqrt(sum);
    if (e > worst) worst = e;
  }
  *size = worst;
  BSfaulthook("bslgdspnerr", nullptr);
}

void BScstlgdbsp(int G, int D, int k, int ncont, int S, const double *breaks, const double *in, double tol,
                 double *out, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    if (!breaks || !in || !out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (G < 1 || D < 1 || k < 1 || S < 1 || ncont < 0 || ncont >= k || std::isnan(tol) ||
        !finite_all(static_cast<std::size_t>(S) + 1, breaks)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // A span that is not longer than zero would make infinite constraint rows.
    for (int s = 0; s < S && *rc == 0; ++s)
      if (!(breaks[s + 1] > breaks[s])) *rc = BSRC_OUT_OF_RANGE;
    const std::size_t total = static_cast<std::size_t>(G) * D * S * k;
    if (*rc == 0 && !finite_all(total, in)) *rc = BSRC_OUT_OF_RANGE;
    if (*rc != 0) break;
    if (S == 1) {
      std::memmove(out, in, sizeof(double) * total);
      break;
    }
    const int nc = ncont + 1, nj = S - 1;
    const std::size_t block = static_cast<std::size_t>(nc) * k, blocks = static_cast<std::size_t>(nj) * block;
    double *work = scratch.take(2 * total + 2 * blocks + block + 3 * static_cast<std::size_t>(k));
    if (!work) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *corr = work, *rest = corr + total, *C1 = rest + total, *C2 = C1 + blocks, *E1 = C2 + blocks, *scale = E1 + block;
    double *series = scale + k, *derived = series + k;
    for (int i = 0; i < k; ++i) scale[i] = std::sqrt((2.0 * i + 1.0) / 2.0);
    // E1[r][i]: the r-th derivative of P_i at +1 (the sum of its Legendre coefficients, P_j(1) = 1), in the
    // orthonormal scale; the start of a span takes the parity rule.
    for (int i = 0; i < k; ++i) {
      for (int j = 0; j < k; ++j) series[j] = j == i ? 1.0 : 0.0;
      for (int r = 0; r < nc; ++r) {
        double sum = 0.0;
        for (int j = 0; j < k; ++j) sum += series[j];
        E1[r * k + i] = sum * scale[i];
        BSderpolgd(k - 1, series, derived);
        derived[k - 1] = 0.0;
        std::memcpy(series, derived, sizeof(double) * k);
      }
    }
    // Derivatives with respect to a common parameter: each span's own scaled by its length relative to 1/S.
    for (int j = 0; j < nj; ++j) {
      const double L1 = (breaks[j + 1] - breaks[j]) * S, L2 = (breaks[j + 2] - breaks[j + 1]) * S;
      for (int r = 0; r < nc; ++r) {
        const double f1 = std::pow(L1, -r), f2 = std::pow(L2, -r);
        for (int i = 0; i < k; ++i) {
          const double e = E1[r * k + i];
          C1[j * block + r * k + i] = e * f1;
          C2[j * block + r * k + i] = ((r + i) % 2 == 0 ? -e : e) * f2;
        }
        // Unit rows: the row space, and so the projection, stays the same, but rows of short spans grow with
        // 1/L^r and would otherwise swamp the others in the factorisation.
        double *c1 = C1 + j * block + r * k, *c2 = C2 + j * block + r * k, norm = 0.0;
        for (int i = 0; i < k; ++i) norm += c1[i] * c1[i] + c2[i] * c2[i];
        norm = std::sqrt(norm);
        for (int i = 0; i < k; ++i) c1[i] /= norm, c2[i] /= norm;
      }
    }
    // The projection goes through the normal equations of the constraints (K K^T y = K x), whose rounding grows
    // with the square of K's condition; uneven spans make that large (rows of a short span scale with 1/L^r),
    // and the pieces would then miss their joins by far more than rounding. The remainder is projected once
    // more: its K x is already small, so the second correction carries only rounding, and the joins close.
    for (std::size_t x = 0; x < total; ++x) corr[x] = in[x] / scale[x % k];
    BShouslgbspc(nj, k, nc, C1, C2, G * D, corr, corr, rc);
    if (*rc != 0) break;
    for (std::size_t x = 0; x < total; ++x) rest[x] = in[x] / scale[x % k] - corr[x];
    BShouslgbspc(nj, k, nc, C1, C2, G * D, rest, rest, rc);
    if (*rc != 0) break;
    for (std::size_t x = 0; x < total; ++x) corr[x] += rest[x];
    for (std::size_t x = 0; x < total; ++x) corr[x] *= scale[x % k];
    bool warn = false;
    for (int s = 0; s < S && !warn; ++s) {
      double e = 0.0, a = 0.0;
      BSlgdspnerr(S, s, k - 1, G, D, corr, &e);
      if (!(e > tol)) continue;
      BSlgdspnerr(S, s, k - 1, G, D, in, &a);
      // A change at the rounding level of the piece itself is no reason to retry.
      warn = e > a * 2.220446049250313e-14;
    }
    for (std::size_t x = 0; x < total; ++x) out[x] = in[x] - corr[x];
    if (warn) *rc = BSRC_CONTINUITY_MISSED;
  } while (false);
  BSexit(rc, "BScstlgdbsp", "bscstlgdbsp");
}
