// Point fitting: the poles of a curve of given order and knots from data points with given parameters, by
// banded least squares for open curves and by dense or bordered-band least squares for periodic ones, with the
// poles next to the ends set by end tangents; and the parameters and knots such a fit starts from.
//
// Rational data are fitted in homogeneous form: the weights first, as one-dimensional data, then the weighted
// points on the same matrix, so that each pole comes out already multiplied by its weight.
#include <climits>
#include <cmath>
#include <cstring>

#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/fitting.h"
#include "bspline/fitting/fitting_internal.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

namespace {

constexpr double kMinWeight = 0.001;       // a fitted weight below it makes no usable curve
constexpr double kUniformWeights = 1e-10;  // weights this close to the first are not fitted
constexpr double kReach = 1.1;             // how far a tangent pole reaches, against the first span's chord

std::size_t at(long long i, long long stride) { return static_cast<std::size_t>(i) * static_cast<std::size_t>(stride); }

// Point i of dim-coordinate data, divided by its weight, as 3 doubles.
void point3(const double *data, const double *weights, int dim, int i, double out[3]) {
  const double w = weights ? weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = c < dim ? data[at(i, dim) + c] / w : 0.0;
}

double dist_sq(const double a[3], const double b[3]) {
  double s = 0;
  for (int c = 0; c < 3; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
  return s;
}

double length3(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

bool sizes_ok(int n, int k, int P, int dim, int solved) {
  return n >= 1 && k >= 2 && P >= k && P <= INT_MAX - k && dim >= 1 && dim <= 3 && solved >= 1 && solved <= dim &&
         n <= INT_MAX / 3;
}

// Knots finite and non-decreasing.
bool knots_ok(int count, const double *t) {
  if (!BSallfinite(count, t)) return false;
  for (int i = 1; i < count; ++i)
    if (t[i] < t[i - 1]) return false;
  return true;
}

// Weights finite and positive: rc -2 for one that is not finite, 49 for one at or below 0.
int weights_check(int n, const double *w) {
  if (!w) return 0;
  if (!BSallfinite(n, w)) return BSRC_OUT_OF_RANGE;
  for (int i = 0; i < n; ++i)
    if (!(w[i] > 0)) return BSRC_DEGENERATE;
  return 0;
}

// What every solver checks before it reads a row: the sizes, finite data, parameters and knots, and the span
// index of each of the rows row0 .. row0+rows-1 inside k-1 .. P-1 (a span outside reads knots that are not
// there). sound: the caller has found the data, parameters and knots finite and the knots ascending already
// (checked again under a test hook, which must see every name).
int solver_check(int n, const double *data, const double *params, const int *spans, int row0, int rows, int k, int P,
                 const double *knots, int dim, int solved, bool sound = false) {
  if (!data || !params || !spans || !knots) return BSRC_NULL_CURVE;
  const bool again = !sound || bstest::slow_roads();
  if (!sizes_ok(n, k, P, dim, solved) ||
      (again && (!knots_ok(P + k, knots) || !BSallfinite(n * dim, data) || !BSallfinite(n, params))))
    return BSRC_OUT_OF_RANGE;
  for (int r = row0; r < row0 + rows; ++r)
    if (spans[r] < k - 1 || spans[r] > P - 1) return BSRC_OUT_OF_RANGE;
  return 0;
}

// The knot ratio of an end: where a tangent pole of code 3 lies on the line from its end pole to the pole
// beyond it. It reads t[2] .. t[5] and t[P-2] .. t[P+1] whatever the order.
int knot_ratio(bool at_end, int k, int P, const double *t, double *a) {
  if (P + k < 6) return BSRC_OUT_OF_RANGE;
  const double num = at_end ? t[P] - t[P - 1] : t[4] - t[3];
  const double den = at_end ? t[P + 1] + t[P] - t[P - 1] - t[P - 2] : t[5] + t[4] - t[3] - t[2];
  *a = num / den;
  return den > 0 && std::isfinite(*a) ? 0 : BSRC_OUT_OF_RANGE;
}

// Places the tangent poles of code 3 by the knot ratio, on all dim coordinates. With four poles and both ends
// of code 3 each tangent pole is the other's neighbour, so the two are solved together.
int place_ratio_poles(bool start, bool end, int k, int P, const double *t, int dim, double *poles) {
  if (P < 3) return BSRC_OUT_OF_RANGE;
  double a = 0, b = 0;
  if (start)
    if (const int r = knot_ratio(false, k, P, t, &a)) return r;
  if (end)
    if (const int r = knot_ratio(true, k, P, t, &b)) return r;
  auto pole = [&](int i) { return poles + at(i, dim); };
  if (start && end && P == 4) {
    const double det = 1.0 - a * b;
    if (!(det > 0)) return BSRC_OUT_OF_RANGE;
    for (int c = 0; c < dim; ++c) {
      pole(1)[c] = ((1 - a) * pole(0)[c] + a * (1 - b) * pole(3)[c]) / det;
      pole(2)[c] = (1 - b) * pole(3)[c] + b * pole(1)[c];
    }
    return 0;
  }
  for (int c = 0; start && c < dim; ++c) pole(1)[c] = pole(0)[c] + a * (pole(2)[c] - pole(0)[c]);
  for (int c = 0; end && c < dim; ++c) pole(P - 2)[c] = pole(P - 1)[c] + b * (pole(P - 3)[c] - pole(P - 1)[c]);
  return 0;
}

// The tangent pole of one end set along the unit direction of value, at the distance from its end pole that
// the fit gave it; rational poles are handled unweighted and weighted again with their own weights.
int aim_tangent_pole(bool at_end, int P, int dim, const double *value, double *poles, const double *wts) {
  const int e = at_end ? P - 1 : 0, t = at_end ? P - 2 : 1;
  double dir[3] = {0, 0, 0}, pe[3], pt[3];
  for (int c = 0; c < dim; ++c) dir[c] = value[c];
  const double len = length3(dir);
  if (!(len >= BStoltab[bstol::zero_tol] * BStoltab[bstol::zero_tol]) || !std::isfinite(len)) return BSRC_OUT_OF_RANGE;
  point3(poles, wts, dim, e, pe);
  point3(poles, wts, dim, t, pt);
  const double d = std::sqrt(dist_sq(pe, pt)) * (at_end ? -1.0 : 1.0) / len;
  const double w = wts ? wts[t] : 1.0;
  for (int c = 0; c < dim; ++c) poles[at(t, dim) + c] = (pe[c] + d * dir[c]) * w;
  return 0;
}

bool weights_usable(int P, const double *w) {
  for (int i = 0; i < P; ++i)
    if (!(w[i] >= kMinWeight)) return false;
  return true;
}

int wrap(long long x, int D) { return static_cast<int>(((x % D) + D) % D); }

// Integers behind a scratch block of doubles.
int *int_block(double *p) { return reinterpret_cast<int *>(p); }
std::size_t doubles_for_ints(long long count) { return static_cast<std::size_t>((count + 1) / 2); }

// A curve record from BSallocvoqcv, released when the scope ends.
struct OwnedCurve {
  VOQbsp_curve *cv = nullptr;
  OwnedCurve() = default;
  OwnedCurve(const OwnedCurve &) = delete;
  OwnedCurve &operator=(const OwnedCurve &) = delete;
  ~OwnedCurve() {
    int ignored = 0;
    if (cv) BSfreevoqcv(cv, &ignored);
  }
};

// cv raised to order k; then count poles from `from` (counted back from its last pole when negative) into the
// dim-coordinate pole array from `to`, and as many again from `from2` to `to2` (count2 of them).
int raise_poles(VOQbsp_curve *cv, int k, int from, int count, int to, int from2, int count2, int to2, int dim,
                double *poles) {
  OwnedCurve raised;
  int rc = 0;
  BSupthedeg(cv, static_cast<std::int16_t>(k - 1), BSFALSE, &raised.cv, &rc);
  if (rc != 0) return rc;
  const int N = raised.cv->num_poles;
  auto copy = [&](int f, int cnt, int t) {
    if (f < 0) f += N;
    for (int j = 0; j < cnt; ++j)
      for (int c = 0; c < dim; ++c) poles[at(t + j, dim) + c] = raised.cv->poles[at(f + j, 3) + c];
  };
  copy(from, count, to);
  copy(from2, count2, to2);
  return 0;
}

int tangent_fit_type(bool start3, bool end3) {
  return start3 && end3 ? BSCNS_BOTH_RATIO : start3 ? BSCNS_START_RATIO : end3 ? BSCNS_END_RATIO : BSCNS_TANGENTS;
}

bool code_ok(int code) { return code == BSTAN_POLE || code == BSTAN_ESTIMATE || code == BSTAN_DIRECTION || code == 3; }

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Open fit

namespace {

// BSnpftwcns2; sound as for solver_check.
void open_fit(int n, const double *data, const double *params, const int *span_index, std::int16_t order,
              int num_poles, const double *knots, int dim, int solved, int type, double *matrix, double *rhs,
              double *poles, bool sound, int *rc) {
  *rc = 0;
  do {
    const int k = order, P = num_poles;
    int f = -1;
    switch (type) {
      case BSCNS_FREE:
        f = 0;
        break;
      case BSCNS_ENDS:
        f = 1;
        break;
      case BSCNS_TANGENTS:
      case BSCNS_START_RATIO:
      case BSCNS_END_RATIO:
      case BSCNS_BOTH_RATIO:
        f = 2;
        break;
      case BSCNS_THREE:
        f = 3;
        break;
      case BSCNS_HIGH:
        f = (k - 1) / 2 + 1;
        break;
      default:
        break;
    }
    const int row0 = type == BSCNS_FREE ? 0 : 1;
    const int R = type == BSCNS_FREE ? n : (n > 2 ? n - 2 : 0);
    const long long U = static_cast<long long>(P) - 2LL * f;
    if (!matrix || !rhs || !poles) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (f < 0 || U < 0 || (R == 0 && U == 0) || R < U) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    *rc = solver_check(n, data, params, span_index, row0, R, k, P, knots, dim, solved, sound);
    if (*rc != 0) break;
    const bool start3 = type == BSCNS_START_RATIO || type == BSCNS_BOTH_RATIO;
    const bool end3 = type == BSCNS_END_RATIO || type == BSCNS_BOTH_RATIO;
    // The fixed poles are read, all but the tangent poles that the knot ratio places.
    for (int j = 0; j < f && *rc == 0; ++j)
      if ((!(start3 && j == 1) && !BSallfinite(dim, poles + at(j, dim))) ||
          (!(end3 && j == 1) && !BSallfinite(dim, poles + at(P - 1 - j, dim))))
        *rc = BSRC_OUT_OF_RANGE;
    if (*rc != 0) break;
    double as = 0, ae = 0;
    if (start3) *rc = knot_ratio(false, k, P, knots, &as);
    if (*rc == 0 && end3) *rc = knot_ratio(true, k, P, knots, &ae);
    if (*rc != 0) break;

    if (U > 0) {
      const int u = static_cast<int>(U), nb = k < u ? k : u;
      BSscratch<200> tables;
      BSscratch<16> basis;
      double *tab = tables.take(static_cast<std::size_t>(R)), *N = basis.take(static_cast<std::size_t>(k));
      if (!tab || !N) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      int *nrows = int_block(tab), *first = nrows + R, nblocks = 0;
      const double *p0 = poles, *pl = poles + at(P - 1, dim);
      for (int r = 0; r < R && *rc == 0; ++r) {
        const int i = row0 + r, s = span_index[i];
        if (r == 0 || s != span_index[i - 1]) {
          // The span's first pole less the fixed ones, kept where the band stays among the unknowns.
          int c = s - k + 1 - f;
          if (c > u - nb) c = u - nb;
          first[nblocks] = c > 0 ? c : 0;
          nrows[nblocks++] = 0;
        }
        ++nrows[nblocks - 1];
        if (!BSmansf0(rc, k, knots, s, params[i], N)) break;
        double *a = matrix + at(r, nb), *b = rhs + at(r, solved);
        const int fb = first[nblocks - 1];
        for (int e = 0; e < nb; ++e) a[e] = 0;
        for (int c = 0; c < solved; ++c) b[c] = data[at(i, dim) + c];
        for (int j = 0; j < k; ++j) {
          const int m = s - k + 1 + j, col = m - f;
          const double v = N[j];
          if (col >= 0 && col < u) {
            a[col - fb] += v;
          } else if (start3 && m == 1) {
            // p1 = p0 + as (p2 - p0): its share goes to the first unknown and to p0.
            a[0 - fb] += as * v;
            for (int c = 0; c < solved; ++c) b[c] -= (1 - as) * v * p0[c];
          } else if (end3 && m == P - 2) {
            a[u - 1 - fb] += ae * v;
            for (int c = 0; c < solved; ++c) b[c] -= (1 - ae) * v * pl[c];
          } else {
            for (int c = 0; c < solved; ++c) b[c] -= v * poles[at(m, dim) + c];
          }
        }
      }
      if (*rc != 0) break;
      // Unknowns beyond the last data span have no rows.
      if (first[nblocks - 1] + nb != u) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      BSbndhshold(matrix, nblocks, nrows, nb, first, solved, rhs, rc);
      if (*rc != 0) break;
      for (int j = 0; j < u; ++j)
        for (int c = 0; c < solved; ++c) poles[at(f + j, dim) + c] = rhs[at(j, solved) + c];
    }
    for (int i = 0; i < P; ++i)
      for (int c = solved; c < dim; ++c) poles[at(i, dim) + c] = 0;
    if (start3 || end3) *rc = place_ratio_poles(start3, end3, k, P, knots, dim, poles);
  } while (false);
  BSexit(rc, "BSnpftwcns2", "bsnpftwcns2");
}

}  // namespace

void BSnpftwcns2(int n, const double *data, const double *params, const int *span_index, std::int16_t order,
                 int num_poles, const double *knots, int dim, int solved, int type, double *matrix, double *rhs,
                 double *poles, int *rc) {
  open_fit(n, data, params, span_index, order, num_poles, knots, dim, solved, type, matrix, rhs, poles, false, rc);
}

// ---------------------------------------------------------------------------------------------------------------
// Periodic fits. Pole m is distinct pole (m - h) mod D, h = (order - 1) / 2; the point that closes the data is
// left out (the first for even orders, the last for odd ones).

namespace {

struct PeriodicShape {
  int k, P, D, R, h, row0;
};

int periodic_check(int n, const double *data, const double *params, const int *spans, int k, int P, const double *knots,
                   int dim, int solved, const double *matrix, const double *rhs, const double *work,
                   const double *poles, PeriodicShape *shape) {
  if (!matrix || !rhs || !work || !poles) return BSRC_NULL_CURVE;
  if (!sizes_ok(n, k, P, dim, solved)) return BSRC_OUT_OF_RANGE;
  *shape = {k, P, P - k + 1, n - 1, (k - 1) / 2, k % 2 == 0 ? 1 : 0};
  if (shape->R < shape->D) return BSRC_OUT_OF_RANGE;
  return solver_check(n, data, params, spans, shape->row0, shape->R, k, P, knots, dim, solved);
}

void write_periodic_poles(const PeriodicShape &s, int dim, int solved, const double *x, int ldx, double *poles) {
  for (int m = 0; m < s.P; ++m) {
    const double *row = x + at(wrap(static_cast<long long>(m) - s.h, s.D), ldx);
    for (int c = 0; c < dim; ++c) poles[at(m, dim) + c] = c < solved ? row[c] : 0.0;
  }
}

// Every row over all D distinct poles, solved by reflections in one piece.
void solve_periodic_dense(PeriodicShape s, const double *data, const double *params, const int *span_index,
                          const double *knots, int dim, int solved, double *matrix, double *rhs, double *periodic_work,
                          double *poles, int *rc) {
  do {
    // R x D doubles: the caller's matrix holds rows x order, enough only while D <= order.
    BSscratch<0> dense;
    double *A = s.D <= s.k ? matrix : dense.take(at(s.R, s.D));
    BSscratch<16> basis;
    double *N = basis.take(static_cast<std::size_t>(s.k));
    if (!A || !N) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    std::memset(A, 0, sizeof(double) * at(s.R, s.D));
    for (int r = 0; r < s.R && *rc == 0; ++r) {
      const int i = s.row0 + r, sp = span_index[i];
      if (!BSmansf0(rc, s.k, knots, sp, params[i], N)) break;
      for (int j = 0; j < s.k; ++j) A[at(r, s.D) + wrap(static_cast<long long>(sp) - s.k + 1 + j - s.h, s.D)] += N[j];
      for (int c = 0; c < solved; ++c) rhs[at(r, solved) + c] = data[at(i, dim) + c];
    }
    if (*rc != 0) break;
    if (!BShousehld(rc, &s.R, &s.D, A, &solved, rhs, periodic_work)) break;
    write_periodic_poles(s, dim, solved, periodic_work, solved, poles);
  } while (false);
}

// The band holds distinct poles 0 .. D-order; the last order - 1 are a border whose coefficients ride in front
// of the data columns of the right-hand sides. The band reduction leaves below it a small dense problem in the
// border alone; its solution is then substituted back through the band.
void solve_periodic_bordered(PeriodicShape s, const double *data, const double *params, const int *span_index,
                             const double *knots, int dim, int solved, double *matrix, double *rhs,
                             double *periodic_work, double *poles, int *rc) {
  do {
    const int k = s.k, D = s.D, R = s.R;
    if (D < 2 * k - 1) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int nband = D - k + 1, c0 = k - 1, ldb = c0 + solved;
    BSscratch<300> tables;
    BSscratch<16> basis;
    double *tab = tables.take(doubles_for_ints(3LL * R)), *N = basis.take(static_cast<std::size_t>(k));
    if (!tab || !N) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    int *rows = int_block(tab), *nrows = rows + R, *first = nrows + R, nblocks = 0;
    // Rows whose band wraps (they reach both the first and the last distinct poles) go first.
    auto start_col = [&](int i) { return static_cast<long long>(span_index[i]) - k + 1 - s.h; };
    auto wraps = [&](int i) { return start_col(i) < 0 || start_col(i) + k - 1 > D - 1; };
    int count = 0;
    for (int pass = 0; pass < 2; ++pass)
      for (int r = 0; r < R; ++r)
        if (wraps(s.row0 + r) == (pass == 0)) rows[count++] = s.row0 + r;
    for (int r = 0; r < R && *rc == 0; ++r) {
      const int i = rows[r];
      const long long c = start_col(i);
      const int fr = wraps(i) ? 0 : static_cast<int>(c < nband - k ? c : nband - k);
      if (r == 0 || fr != first[nblocks - 1]) {
        first[nblocks] = fr;
        nrows[nblocks++] = 0;
      }
      ++nrows[nblocks - 1];
      if (!BSmansf0(rc, k, knots, span_index[i], params[i], N)) break;
      double *a = matrix + at(r, k), *b = rhs + at(r, ldb);
      for (int e = 0; e < k; ++e) a[e] = 0;
      for (int e = 0; e < c0; ++e) b[e] = 0;
      for (int e = 0; e < solved; ++e) b[c0 + e] = data[at(i, dim) + e];
      for (int j = 0; j < k; ++j) {
        const int col = wrap(c + j, D);
        if (col >= nband)
          b[col - nband] += N[j];
        else
          a[col - fr] += N[j];
      }
    }
    if (*rc != 0) break;
    if (first[nblocks - 1] + k != nband) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSbndhshdtr(matrix, nblocks, nrows, k, first, ldb, rhs, rc);
    if (*rc != 0) break;
    int m2 = R - nband;
    BSscratch<0> border;
    double *E = border.take(at(m2, c0 + solved));
    if (!E) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *Y = E + at(m2, c0);
    for (int r = 0; r < m2; ++r) {
      const double *b = rhs + at(nband + r, ldb);
      for (int e = 0; e < c0; ++e) E[at(r, c0) + e] = b[e];
      for (int e = 0; e < solved; ++e) Y[at(r, solved) + e] = b[c0 + e];
    }
    int cols = c0;
    if (!BShousehld(rc, &m2, &cols, E, &solved, Y, periodic_work)) break;
    for (int j = 0; j < c0; ++j)
      for (int e = 0; e < solved; ++e) rhs[at(nband + j, ldb) + c0 + e] = periodic_work[at(j, solved) + e];
    BSbndhsback(matrix, nblocks, k, first, ldb, c0, rhs, rc);
    if (*rc != 0) break;
    // The distinct poles in order: the band's, then the border's (already in rhs rows nband ..).
    write_periodic_poles(s, dim, solved, rhs + c0, ldb, poles);
  } while (false);
}

// The periodic fits share their checks and differ in the solve; each reports under its own name.
void periodic_fit(bool bordered, int n, const double *data, const double *params, const int *span_index,
                  std::int16_t order, int num_poles, const double *knots, int dim, int solved, double *matrix,
                  double *rhs, double *periodic_work, double *poles, int *rc) {
  PeriodicShape s{};
  *rc = periodic_check(n, data, params, span_index, order, num_poles, knots, dim, solved, matrix, rhs, periodic_work,
                       poles, &s);
  if (*rc == 0)
    (bordered ? solve_periodic_bordered : solve_periodic_dense)(s, data, params, span_index, knots, dim, solved,
                                                                matrix, rhs, periodic_work, poles, rc);
  if (bordered)
    BSexit(rc, "BSprftwbsol", "bsprftwbsol");
  else
    BSexit(rc, "BSperiodfit", "bsperiodfit");
}

}  // namespace

void BSperiodfit(int n, const double *data, const double *params, const int *span_index, std::int16_t order,
                 int num_poles, const double *knots, int dim, int solved, double *matrix, double *rhs,
                 double *periodic_work, double *poles, int *rc) {
  periodic_fit(false, n, data, params, span_index, order, num_poles, knots, dim, solved, matrix, rhs, periodic_work,
               poles, rc);
}

void BSprftwbsol(int n, const double *data, const double *params, const int *span_index, std::int16_t order,
                 int num_poles, const double *knots, int dim, int solved, double *matrix, double *rhs,
                 double *periodic_work, double *poles, int *rc) {
  periodic_fit(true, n, data, params, span_index, order, num_poles, knots, dim, solved, matrix, rhs, periodic_work,
               poles, rc);
}

// ---------------------------------------------------------------------------------------------------------------
// End tangents

void BStanffit(std::int16_t end, const double p0[3], const double p1[3], const double p2[3], double tangent[3],
               int *rc) {
  *rc = 0;
  do {
    if (!p0 || !p1 || !p2 || !tangent) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if ((end != 0 && end != 1) || !BSallfinite(3, p0) || !BSallfinite(3, p1) || !BSallfinite(3, p2)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double k[3], t[3];
    for (int c = 0; c < 3; ++c) k[c] = end == 0 ? p1[c] - p0[c] : p2[c] - p1[c];
    double centre[3], radius = 0, normal[3];
    if (!BScircprop(rc, p0, p1, p2, centre, &radius, normal)) {
      // Collinear points have no circle: the chord is the tangent.
      if (*rc != BSRC_OUT_OF_RANGE) break;
      *rc = 0;
      if (BSnorvec(rc, k)) std::memcpy(tangent, k, sizeof k);
      break;
    }
    if (!BSnorvec(rc, k)) break;
    double r[3], circle[3], side[3], other[3];
    const double *p = end == 0 ? p0 : p2;
    for (int c = 0; c < 3; ++c) r[c] = p[c] - centre[c];
    if (!BSnorvec(rc, r)) break;
    BSvcross(rc, r, normal, circle);
    // The circle's tangent is turned to run the way the points go.
    double turn;
    if (end == 0) {
      for (int c = 0; c < 3; ++c) other[c] = p2[c] - p0[c];
      BSvcross(rc, other, k, side);
      turn = -BSvdot(rc, side, normal);
    } else {
      for (int c = 0; c < 3; ++c) other[c] = p0[c] - p2[c];
      BSvcross(rc, k, other, side);
      turn = BSvdot(rc, side, normal);
    }
    for (int c = 0; c < 3; ++c) t[c] = (turn > 0 ? -circle[c] : circle[c]) + k[c];
    if (BSnorvec(rc, t)) std::memcpy(tangent, t, sizeof t);
  } while (false);
  BSexit(rc, "BStanffit", "bstanffit");
}

namespace {

// BSfndtnpol2 without its exit. kept: the estimated direction, taken from there when *known and left there
// after it is estimated; the estimate reads only the points at the end, so it holds on any knots. checked: the
// caller has found the knots, data, parameters and weights sound already (checked again under a test hook,
// which must see every name).
void tangent_pole(int n, const double *data, const double *weights, const double *params, std::int16_t order,
                  int num_poles, const double *knots, int dim, int code, std::int16_t end, double pole_weight,
                  const double *value, double *pole, double *kept, bool *known, bool checked, int *rc) {
  *rc = 0;
  do {
    if (!pole || (code != BSTAN_ESTIMATE && !value)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (dim < 1 || dim > 3 || (end != 0 && end != 1)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (code == BSTAN_POLE) {
      if (!BSallfinite(dim, value))
        *rc = BSRC_OUT_OF_RANGE;
      else
        std::memcpy(pole, value, sizeof(double) * dim);
      break;
    }
    const int k = order, P = num_poles;
    if (!data || !params || !knots) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const bool again = !checked || bstest::slow_roads();
    if (n < 2 || !sizes_ok(n, k, P, dim, dim) || (code != BSTAN_ESTIMATE && code != BSTAN_DIRECTION) ||
        (again && (!knots_ok(P + k, knots) || !BSallfinite(n * dim, data) || !BSallfinite(n, params))) ||
        (code == BSTAN_DIRECTION && dim > 1 && !BSallfinite(dim, value))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (again && (*rc = weights_check(n, weights)) != 0) break;
    if (dim == 1) {
      // The tangent pole's weight, from the weights at the end.
      pole[0] = end == 0 ? data[0] + kReach * (data[1] - data[0]) / (k - 1)
                         : data[n - 1] - kReach * (data[n - 1] - data[n - 2]) / (k - 1);
      break;
    }
    if (weights && !(pole_weight > 0 && std::isfinite(pole_weight))) {
      *rc = BSRC_DEGENERATE;
      break;
    }
    // Reach: the data interpolated linearly at the end of the first (last) span, measured from the end point.
    // Parameters that do not cover that span take the first or last pair of points.
    int i0 = 0, i1 = 1;
    const double u = end == 0 ? knots[k] : knots[P - 1];
    if (end == 0) {
      int i = 0;
      while (i < n && params[i] < u) ++i;
      if (i == n)
        i0 = n - 2, i1 = n - 1;
      else if (i > 0)
        i0 = i - 1, i1 = i;
    } else {
      int i = n - 1;
      while (i >= 0 && params[i] > u) --i;
      i0 = n - 2, i1 = n - 1;
      if (i < 0)
        i0 = 0, i1 = 1;
      else if (i < n - 1)
        i0 = i, i1 = i + 1;
    }
    double a[3], b[3], x[3], ep[3];
    point3(data, weights, dim, i0, a);
    point3(data, weights, dim, i1, b);
    point3(data, weights, dim, end == 0 ? 0 : n - 1, ep);
    const double dp = params[i1] - params[i0], s = dp > 0 ? (u - params[i0]) / dp : 1.0;
    for (int c = 0; c < 3; ++c) x[c] = a[c] + s * (b[c] - a[c]);
    const double reach = kReach * std::sqrt(dist_sq(ep, x)) / (k - 1);

    double dir[3] = {0, 0, 0};
    if (code == BSTAN_DIRECTION) {
      for (int c = 0; c < dim; ++c) dir[c] = value[c];
    } else if (n == 2) {
      double q[3];
      point3(data, weights, dim, 1, q);
      point3(data, weights, dim, 0, a);
      for (int c = 0; c < 3; ++c) dir[c] = q[c] - a[c];
    } else if (known && *known && !bstest::slow_roads()) {
      std::memcpy(dir, kept, sizeof dir);
    } else {
      // Three points at the end; one further in when the end pair coincides.
      const double tol = BStoltab[bstol::dist_sqtol];
      int j = end == 0 ? 0 : n - 3;
      double q0[3], q1[3];
      point3(data, weights, dim, end == 0 ? 0 : n - 2, q0);
      point3(data, weights, dim, end == 0 ? 1 : n - 1, q1);
      if (n >= 4 && dist_sq(q0, q1) < tol) j = end == 0 ? 1 : n - 4;
      double t0[3], t1[3], t2[3];
      point3(data, weights, dim, j, t0);
      point3(data, weights, dim, j + 1, t1);
      point3(data, weights, dim, j + 2, t2);
      BStanffit(end, t0, t1, t2, dir, rc);
      if (*rc != 0) break;
      if (known) {
        std::memcpy(kept, dir, sizeof dir);
        *known = true;
      }
    }
    const double len = length3(dir), zt = BStoltab[bstol::zero_tol];
    if (!(len >= zt * zt)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double step = (end == 0 ? reach : -reach) / len, w = weights ? pole_weight : 1.0;
    for (int c = 0; c < dim; ++c) pole[c] = (ep[c] + step * dir[c]) * w;
  } while (false);
}

}  // namespace

void BSfndtnpol2(int n, const double *data, const double *weights, const double *params, std::int16_t order,
                 int num_poles, const double *knots, int dim, int code, std::int16_t end, double pole_weight,
                 const double *value, double *pole, int *rc) {
  tangent_pole(n, data, weights, params, order, num_poles, knots, dim, code, end, pole_weight, value, pole, nullptr,
               nullptr, false, rc);
  BSexit(rc, "BSfndtnpol2", "bsfndtnpol2");
}

// Reports nothing of its own: its callees trace their failures.
void BSfttnhiord(int n, const double *data, const double *weights, const double *params, const int *span_index,
                 std::int16_t order, int num_poles, const double *knots, int dim, int solved, int start_code,
                 int end_code, const double *start_value, const double *end_value, double start_pole_weight,
                 double end_pole_weight, double *matrix, double *rhs, double *poles, int *rc) {
  *rc = 0;
  const int k = order, P = num_poles;
  if (!data || !params || !span_index || !knots || !poles) {
    *rc = BSRC_NULL_CURVE;
    return;
  }
  if (k < 5 || n < 2 || !sizes_ok(n, k, P, dim, solved) || !knots_ok(P + k, knots) || !code_ok(start_code) ||
      !code_ok(end_code)) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  const int h = (k - 1) / 2, m = 4 - k % 2, drop = k - m;
  const bool single = P - k < 2;
  // The lower-order curve's knots, poles (rows of dim) and span indices, with the distinct values beneath.
  BSscratch<0> work;
  double *kl = work.take(at(2, P + k) + at(P, dim) + doubles_for_ints(static_cast<long long>(P) + k + n));
  if (!kl) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  double *values = kl + (P + k), *Ql = values + (P + k);
  int *mults = int_block(Ql + at(P, dim)), *spans = mults + (P + k);
  int Pl = 0;
  if (single) {
    Pl = P - drop;
    std::memcpy(kl, knots + drop, sizeof(double) * at(Pl + m, 1));
    for (int i = 0; i < n; ++i) spans[i] = span_index[i] - drop;
  } else {
    // The breakpoints of the active range, the ends m times and each interior value once.
    const std::int16_t one = 1;
    int active = P - k + 1, c = 0;
    BSgetmult(rc, &one, &active, knots + k - 1, &c, values, mults);
    if (*rc != 0) return;
    Pl = m + c - 2;
    for (int j = 0; j < m; ++j) kl[j] = values[0], kl[Pl + j] = values[c - 1];
    for (int j = 1; j < c - 1; ++j) kl[m - 1 + j] = values[j];
    BSfndspnarr(static_cast<std::int16_t>(m), Pl, n, params, kl, spans, rc);
    if (*rc != 0) return;
  }
  if (Pl < 4) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  const std::int16_t lorder = static_cast<std::int16_t>(m);
  for (int c = 0; c < dim; ++c) Ql[c] = data[c], Ql[at(Pl - 1, dim) + c] = data[at(n - 1, dim) + c];
  const int codes[2] = {start_code, end_code};
  const double *vals[2] = {start_value, end_value}, pws[2] = {start_pole_weight, end_pole_weight};
  for (int e = 0; e < 2; ++e) {
    if (codes[e] == 3) continue;
    // The tangent pole's weight is the one the weight data give it, unless the caller fixed the pole.
    double pw = 1.0;
    if (codes[e] == BSTAN_POLE) {
      pw = pws[e];
    } else if (weights) {
      BSfndtnpol2(n, weights, nullptr, params, lorder, Pl, kl, 1, BSTAN_ESTIMATE, static_cast<std::int16_t>(e), 1.0,
                  nullptr, &pw, rc);
      if (*rc != 0) return;
    }
    BSfndtnpol2(n, data, weights, params, lorder, Pl, kl, dim, codes[e], static_cast<std::int16_t>(e), pw, vals[e],
                Ql + at(e == 0 ? 1 : Pl - 2, dim), rc);
    if (*rc != 0) return;
  }
  const bool start3 = start_code == 3, end3 = end_code == 3;
  if (n > 2 || Pl > 4)
    BSnpftwcns2(n, data, params, spans, lorder, Pl, kl, dim, solved, tangent_fit_type(start3, end3), matrix, rhs, Ql,
                rc);
  else if (start3 || end3)
    *rc = place_ratio_poles(start3, end3, m, Pl, kl, dim, Ql);
  if (*rc != 0) return;

  // The poles next to the ends from the lower-order curve raised to the order.
  OwnedCurve lower, piece;
  BSallocvoqcv(lorder, Pl, BSFALSE, 0, &lower.cv, rc);
  if (*rc == 0) BSallocvoqcv(lorder, lorder, BSFALSE, 0, &piece.cv, rc);
  if (*rc != 0) return;
  VOQbsp_curve &lc = *lower.cv;
  lc.order = lorder;
  lc.num_poles = Pl;
  lc.num_knots = Pl + m;
  lc.periodic = lc.non_uniform = lc.planar = lc.phy_closed = 0;
  lc.rational = 0;
  lc.weights = nullptr;
  lc.num_boundaries = 0;
  lc.bdrys = nullptr;
  std::memcpy(lc.knots, kl, sizeof(double) * at(Pl + m, 1));
  for (int i = 0; i < Pl; ++i)
    for (int c = 0; c < 3; ++c) lc.poles[at(i, 3) + c] = c < dim ? Ql[at(i, dim) + c] : 0.0;
  if (single) {
    *rc = raise_poles(&lc, k, 1, h, 1, -1 - h, h, P - 1 - h, dim, poles);
  } else {
    const int spans_at[2] = {m - 1, Pl - 1};
    for (int e = 0; e < 2 && *rc == 0; ++e) {
      if (!BSextrcvspn(rc, &spans_at[e], &lc, piece.cv, nullptr, nullptr)) break;
      *rc = raise_poles(piece.cv, k, e == 0 ? 1 : k - 1 - h, h, e == 0 ? 1 : P - 1 - h, 0, 0, 0, dim, poles);
    }
  }
  if (*rc != 0) return;
  const int U = P - 2 * (h + 1);
  if (n > 2 || U > 0)
    BSnpftwcns2(n, data, params, span_index, order, P, knots, dim, solved, BSCNS_HIGH, matrix, rhs, poles, rc);
  for (int i = 0; *rc == 0 && i < P; ++i)
    for (int c = solved; c < dim; ++c) poles[at(i, dim) + c] = 0;
}

// ---------------------------------------------------------------------------------------------------------------
// The driver

namespace {

// One run of the solvers: on the weights (one dimension) or on the weighted points.
struct Pass {
  const double *data;
  const double *weights;  // the data's weights (NULL for the weight pass and for polynomial data)
  int dim, solved;
  double *out;
  bool is_weights;
};

}  // namespace

void bsfit::fit_points(int n, const double *points, const double *weights, const double *params,
                       const int *span_index, std::int16_t order, int num_poles, const double *knots, int dim,
                       int solved, std::int16_t periodic, int end_type, int start_code, int end_code,
                       const double *start_value, const double *end_value, double start_weight, double end_weight,
                       double *matrix, double *rhs, double *periodic_work, double *poles, double *out_weights,
                       EndTangents *kept, int *rc) {
  *rc = 0;
  do {
    const int k = order, P = num_poles;
    const bool rational = weights != nullptr;
    if (!points || !params || !span_index || !knots || !poles || !matrix || !rhs || (rational && !out_weights) ||
        (periodic && !periodic_work)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const bool sound = kept && kept->sound && !bstest::slow_roads();
    if (!sizes_ok(n, k, P, dim, solved) || !knots_ok(P + k, knots) ||
        (!sound && (!BSallfinite(n * dim, points) || !BSallfinite(n, params)))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if ((*rc = weights_check(n, weights)) != 0) break;

    // Straight copy.
    if (k == 2 && n == P && (n <= 2 || (start_code == 0 && end_code == 0))) {
      std::memcpy(poles, points, sizeof(double) * at(n, dim));
      if (rational) std::memcpy(out_weights, weights, sizeof(double) * n);
      break;
    }
    // All points at one place.
    double mean[3] = {0, 0, 0}, mean_w = 0, q[3];
    for (int i = 0; i < (sound ? 0 : n); ++i) {
      point3(points, weights, dim, i, q);
      for (int c = 0; c < 3; ++c) mean[c] += q[c] / n;
      mean_w += rational ? weights[i] / n : 0.0;
    }
    bool together = !sound;
    for (int i = 0; i < n && together; ++i) {
      point3(points, weights, dim, i, q);
      together = dist_sq(q, mean) < BStoltab[bstol::dist_sqtol];
    }
    if (kept && !together) kept->sound = true;
    if (together) {
      for (int i = 0; i < P; ++i) {
        for (int c = 0; c < dim; ++c) poles[at(i, dim) + c] = mean[c] * (rational ? mean_w : 1.0);
        if (rational) out_weights[i] = mean_w;
      }
      break;
    }
    // Uniform weights are set, not fitted.
    bool fit_weights = false;
    if (rational) {
      for (int i = 1; i < n; ++i) fit_weights = fit_weights || std::fabs(weights[i] - weights[0]) > kUniformWeights;
      if (!fit_weights) {
        for (int i = 0; i < P; ++i) out_weights[i] = weights[0];
        out_weights[P - 1] = weights[n - 1];
      }
    }
    // Three points closing on themselves.
    if (n == 3 && start_code == 0 && end_code == 0) {
      double a[3], b[3];
      point3(points, weights, dim, 0, a);
      point3(points, weights, dim, 2, b);
      if (dist_sq(a, b) < BStoltab[bstol::dist_sqtol]) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
    }
    Pass passes[2];
    int npass = 0;
    if (fit_weights) passes[npass++] = {weights, nullptr, 1, 1, out_weights, true};
    passes[npass++] = {points, weights, dim, solved, poles, false};
    auto weights_fail = [&](const Pass &p) {
      if (p.is_weights && !weights_usable(P, out_weights)) *rc = BSRC_DEGENERATE;
      return *rc != 0;
    };

    if (periodic) {
      const int D = P - k + 1;
      for (int p = 0; p < npass; ++p) {
        const Pass &ps = passes[p];
        (D > 2 * k - 1 ? BSprftwbsol : BSperiodfit)(n, ps.data, params, span_index, order, P, knots, ps.dim, ps.solved,
                                                    matrix, rhs, periodic_work, ps.out, rc);
        if (*rc != 0 || weights_fail(ps)) break;
      }
      break;
    }

    if (end_type == 2 && (!code_ok(start_code) || !code_ok(end_code) ||
                          ((start_code == BSTAN_POLE || start_code == BSTAN_DIRECTION) && !start_value) ||
                          ((end_code == BSTAN_POLE || end_code == BSTAN_DIRECTION) && !end_value))) {
      *rc = start_value && end_value ? BSRC_OUT_OF_RANGE : BSRC_NULL_CURVE;
      break;
    }
    const double *values[2] = {start_value, end_value};
    const int codes[2] = {start_code, end_code};
    const double given_w[2] = {start_weight, end_weight};
    for (int e = 0; e < 2; ++e)
      if (end_type == 2 && codes[e] != BSTAN_ESTIMATE && codes[e] != 3 && !BSallfinite(dim, values[e])) {
        *rc = BSRC_OUT_OF_RANGE;
      }
    if (*rc != 0) break;

    // Two points with end tangents: a segment's Bezier form.
    if (n == 2 && end_type == 2 && !rational) {
      if (P != k) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      double p0[3], p1[3], d[3];
      point3(points, nullptr, dim, 0, p0);
      point3(points, nullptr, dim, 1, p1);
      for (int c = 0; c < 3; ++c) d[c] = p1[c] - p0[c];
      const double L = BSvlength(rc, d);
      if (!BSnorvec(rc, d)) break;
      if (start_code == 3 && end_code == 3) {
        for (int i = 0; i < P; ++i)
          for (int c = 0; c < dim; ++c)
            poles[at(i, dim) + c] = i == P - 1 ? p1[c] : p0[c] + (static_cast<double>(i) / (k - 1)) * L * d[c];
        break;
      }
      if (k < 4 || (k > 4 && (start_code == BSTAN_POLE || end_code == BSTAN_POLE))) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      OwnedCurve bez;
      BSallocvoqcv(4, 4, BSFALSE, 0, &bez.cv, rc);
      if (*rc != 0) break;
      double *b = bez.cv->poles;
      for (int c = 0; c < 3; ++c) {
        const double v0 = c < dim ? (start_value ? start_value[c] : 0.0) : 0.0;
        const double v1 = c < dim ? (end_value ? end_value[c] : 0.0) : 0.0;
        b[c] = p0[c];
        b[3 + c] = start_code == BSTAN_POLE ? v0 : p0[c] + L / 3 * (start_code == BSTAN_DIRECTION ? v0 : d[c]);
        b[6 + c] = end_code == BSTAN_POLE ? v1 : p1[c] - L / 3 * (end_code == BSTAN_DIRECTION ? v1 : d[c]);
        b[9 + c] = p1[c];
      }
      if (k == 4) {
        for (int i = 0; i < 4; ++i)
          for (int c = 0; c < dim; ++c) poles[at(i, dim) + c] = b[at(i, 3) + c];
        break;
      }
      VOQbsp_curve &cv = *bez.cv;
      cv.order = 4;
      cv.num_poles = 4;
      cv.num_knots = 8;
      cv.periodic = cv.non_uniform = cv.planar = cv.phy_closed = cv.rational = 0;
      cv.weights = nullptr;
      cv.num_boundaries = 0;
      cv.bdrys = nullptr;
      for (int j = 0; j < 8; ++j) cv.knots[j] = j < 4 ? 0.0 : 1.0;
      *rc = raise_poles(&cv, k, 0, k, 0, 0, 0, 0, dim, poles);
      break;
    }

    if (end_type == 0) {
      for (int p = 0; p < npass; ++p) {
        open_fit(n, passes[p].data, params, span_index, order, P, knots, passes[p].dim, passes[p].solved, BSCNS_FREE,
                 matrix, rhs, passes[p].out, true, rc);
        if (*rc != 0 || weights_fail(passes[p])) break;
      }
      break;
    }
    if (end_type != 1 && end_type != 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (end_type == 2 && P < 4) {
      // The tangent poles would be the end poles themselves.
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // The end poles are the end points (and their weights).
    for (int p = 0; p < npass; ++p)
      for (int c = 0; c < passes[p].dim; ++c) {
        passes[p].out[c] = passes[p].data[c];
        passes[p].out[at(P - 1, passes[p].dim) + c] = passes[p].data[at(n - 1, passes[p].dim) + c];
      }
    const double *wts = rational ? out_weights : nullptr;
    if (end_type == 1) {
      for (int p = 0; p < npass; ++p) {
        open_fit(n, passes[p].data, params, span_index, order, P, knots, passes[p].dim, passes[p].solved, BSCNS_ENDS,
                 matrix, rhs, passes[p].out, true, rc);
        if (*rc != 0 || weights_fail(passes[p])) break;
      }
      break;
    }

    const bool start3 = start_code == 3, end3 = end_code == 3;
    if (k <= 4 && P < 5 && !(start_code == BSTAN_POLE && end_code == BSTAN_POLE) && n > 3) {
      // Few poles: fit the tangent poles with the rest, then put each on its tangent.
      for (int p = 0; p < npass; ++p) {
        open_fit(n, passes[p].data, params, span_index, order, P, knots, passes[p].dim, passes[p].solved, BSCNS_ENDS,
                 matrix, rhs, passes[p].out, true, rc);
        if (*rc != 0 || weights_fail(passes[p])) break;
      }
      if (*rc != 0) break;
      for (int e = 0; e < 2 && *rc == 0; ++e) {
        const int t = e == 0 ? 1 : P - 2;
        if (codes[e] == BSTAN_DIRECTION) {
          *rc = aim_tangent_pole(e == 1, P, dim, values[e], poles, wts);
        } else if (codes[e] == BSTAN_POLE) {
          std::memcpy(poles + at(t, dim), values[e], sizeof(double) * dim);
          if (rational) out_weights[t] = given_w[e];
        }
      }
      if (*rc == 0 && (start3 || end3)) {
        *rc = place_ratio_poles(start3, end3, k, P, knots, dim, poles);
        if (*rc == 0 && fit_weights) *rc = place_ratio_poles(start3, end3, k, P, knots, 1, out_weights);
      }
      if (*rc == 0 && rational && !weights_usable(P, out_weights)) *rc = BSRC_DEGENERATE;
      break;
    }

    if (k <= 4) {
      // The tangent poles first, then the poles between them.
      for (int p = 0; p < npass && *rc == 0; ++p) {
        const Pass &ps = passes[p];
        for (int e = 0; e < 2 && *rc == 0; ++e) {
          if (codes[e] == 3) continue;
          const int t = e == 0 ? 1 : P - 2;
          const double pw = wts ? out_weights[t] : 1.0;
          const bool keep = kept && !ps.is_weights;
          tangent_pole(n, ps.data, ps.weights, params, order, P, knots, ps.dim, codes[e], static_cast<std::int16_t>(e),
                       pw, ps.is_weights ? &given_w[e] : values[e], ps.out + at(t, ps.dim),
                       keep ? kept->dir[e] : nullptr, keep ? &kept->known[e] : nullptr, true, rc);
          BSexit(rc, "BSfndtnpol2", "bsfndtnpol2");
          if (*rc == 0 && !ps.is_weights && rational && codes[e] == BSTAN_POLE) out_weights[t] = given_w[e];
        }
        if (*rc != 0) break;
        if (P > 4)
          open_fit(n, ps.data, params, span_index, order, P, knots, ps.dim, ps.solved,
                   tangent_fit_type(start3, end3), matrix, rhs, ps.out, true, rc);
        else if (start3 || end3)
          *rc = place_ratio_poles(start3, end3, k, P, knots, ps.dim, ps.out);
        if (*rc == 0) weights_fail(ps);
      }
      if (*rc == 0 && rational && !weights_usable(P, out_weights)) *rc = BSRC_DEGENERATE;
      break;
    }

    // Orders of 5 or more, by way of a lower-order curve; then the tangent poles given are honoured exactly.
    for (int p = 0; p < npass && *rc == 0; ++p) {
      const Pass &ps = passes[p];
      BSfttnhiord(n, ps.data, ps.weights, params, span_index, order, P, knots, ps.dim, ps.solved, start_code, end_code,
                  ps.is_weights ? &given_w[0] : start_value, ps.is_weights ? &given_w[1] : end_value, start_weight,
                  end_weight, matrix, rhs, ps.out, rc);
      if (*rc == 0) weights_fail(ps);
    }
    for (int e = 0; e < 2 && *rc == 0; ++e) {
      const int t = e == 0 ? 1 : P - 2;
      if (codes[e] == BSTAN_DIRECTION) {
        *rc = aim_tangent_pole(e == 1, P, dim, values[e], poles, wts);
      } else if (codes[e] == BSTAN_POLE) {
        std::memcpy(poles + at(t, dim), values[e], sizeof(double) * dim);
        if (rational) out_weights[t] = given_w[e];
      }
    }
  } while (false);
  if (*rc == 0 && poles)
    for (int i = 0; i < num_poles; ++i)
      for (int c = solved; c < dim; ++c) poles[at(i, dim) + c] = 0;
  BSexit(rc, "BSfitratpts", "bsfitratpts");
}

void BSfitratpts(int n, const double *points, const double *weights, const double *params, const int *span_index,
                 std::int16_t order, int num_poles, const double *knots, int dim, int solved, std::int16_t periodic,
                 int end_type, int start_code, int end_code, const double *start_value, const double *end_value,
                 std::int32_t, std::int32_t, double start_weight, double end_weight, std::int32_t, double, std::int32_t,
                 double *matrix, double *rhs, double *periodic_work, double *poles, double *out_weights, int *rc) {
  bsfit::fit_points(n, points, weights, params, span_index, order, num_poles, knots, dim, solved, periodic, end_type,
                    start_code, end_code, start_value, end_value, start_weight, end_weight, matrix, rhs,
                    periodic_work, poles, out_weights, nullptr, rc);
}

// ---------------------------------------------------------------------------------------------------------------
// Parameters and knots

void BSavgprsfft(int sets, int n, const double *points, const double *weights, int dim, int used, std::int16_t,
                 double *length, double *params, int *rc) {
  *rc = 0;
  do {
    if (!points || !length || !params) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (sets < 1 || n < 2 || dim < 1 || dim > 3 || used < 1 || used > dim ||
        static_cast<long long>(sets) * n * dim > INT_MAX || !BSallfinite(sets * n * dim, points)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if ((*rc = weights_check(sets * n, weights)) != 0) break;
    BSscratch<100> work;
    double *cum = work.take(static_cast<std::size_t>(n - 1));
    if (!cum) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    // The first set's choice of chords or square roots rules, unless a later set needs chords: then every set
    // is measured again with chords.
    int fixed = -1, counted = 0;
    for (bool again = true; again && *rc == 0;) {
      again = false;
      counted = 0;
      *length = 0;
      for (int i = 0; i < n; ++i) params[i] = 0;
      for (int s = 0; s < sets && !again; ++s) {
        int option = fixed >= 0 ? fixed : 2;
        BScumdstopt(n, points + at(at(s, n), dim), weights ? weights + at(s, n) : nullptr, dim, used, &option, cum, rc);
        if (*rc != 0) break;
        if (s == 0 && fixed < 0 && option == 0) fixed = 0;
        if (s > 0 && fixed < 0 && option == 0) {
          fixed = 0;
          again = true;
          break;
        }
        const double total = cum[n - 2];
        if (!(total > BStoltab[bstol::dist_tol])) continue;
        ++counted;
        *length += total;
        for (int i = 1; i < n - 1; ++i) params[i] += cum[i - 1] / total;
      }
    }
    if (*rc != 0) break;
    if (counted == 0) {
      for (int i = 0; i < n; ++i) params[i] = static_cast<double>(i) / (n - 1);
    } else {
      for (int i = 1; i < n - 1; ++i) params[i] /= counted;
      *length /= counted;
    }
    params[0] = 0.0;
    params[n - 1] = 1.0;
  } while (false);
  BSexit(rc, "BSavgprsfft", "bsavgprsfft");
}

void BSkts_f_fit(std::int16_t order, std::int16_t periodic, int method, double tol, int num_spans, int n,
                 const double *params, int *num_knots, double *knots, int *span_index, int *rc) {
  *rc = 0;
  do {
    if (!params || !num_knots || !knots || !span_index) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const int k = order, S = num_spans;
    if (method != 4 || k < 2 || S < 1 || n < 2 || S > INT_MAX - 2 * k || !std::isfinite(tol) || tol < 0 ||
        !knots_ok(n, params) || (periodic && S == 1)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double *u = params;
    if (S == 1) {
      for (int j = 0; j < k; ++j) knots[j] = u[0], knots[k + j] = u[n - 1];
      for (int i = 0; i < n; ++i) span_index[i] = k - 1;
      *num_knots = 2 * k;
      break;
    }
    const bool odd = k % 2 == 1;
    bool shifted = false;
    if (n == S - (odd ? 1 : 0) + 1 && !(periodic && odd) && !(odd && n < 3)) {
      // As many poles as points: knots at the parameters (even orders) or between them (odd orders).
      knots[k - 1] = u[0];
      if (!odd) {
        for (int i = 1; i < n - 1; ++i) knots[k - 1 + i] = u[i];
        knots[n + k - 2] = u[n - 1];
      } else {
        knots[k] = (u[0] + 2 * u[1]) / 3;
        for (int i = 1; i <= n - 3; ++i) knots[k + i] = (u[i] + u[i + 1]) / 2;
        knots[n + k - 2] = (2 * u[n - 2] + u[n - 1]) / 3;
        knots[n + k - 1] = u[n - 1];
      }
    } else {
      knots[k - 1] = u[0];
      knots[S + k - 1] = u[n - 1];
      for (int j = 1; j < S; ++j) {
        const double x = static_cast<double>(j) * (n - 1) / S;
        int i = static_cast<int>(x);
        if (i > n - 2) i = n - 2;
        knots[k - 1 + j] = u[i] + (x - i) * (u[i + 1] - u[i]);
      }
      if (periodic && n == S + 1) {
        // Odd-order periodic interpolation: the knots move to the middles between the parameters.
        for (int i = S + k - 1; i >= k; --i) knots[i] = (knots[i] + knots[i - 1]) / 2;
        knots[k - 1] -= (u[n - 1] - u[n - 2]) / 2;
        shifted = true;
      }
    }
    *num_knots = S + 2 * k - 1;
    const int P = *num_knots - k;
    BSfndspnarr(order, P, shifted ? n - 1 : n, u, knots, span_index, rc);
    if (*rc != 0) break;
    if (shifted) span_index[n - 1] = P;
    for (int i = 0; i <= k - 2; ++i) {
      if (periodic) {
        knots[k - 2 - i] = knots[k - 1] - (knots[S + k - 1] - knots[S + k - 2 - i]);
        knots[S + k + i] = knots[S + k - 1] + (knots[k + i] - knots[k - 1]);
      } else {
        knots[i] = knots[k - 1];
        knots[S + k + i] = knots[S + k - 1];
      }
    }
    if (knots[k] - knots[k - 1] < tol || knots[S + k - 1] - knots[S + k - 2] < tol) *rc = BSRC_ZERO_WEIGHT;
  } while (false);
  BSexit(rc, "BSkts_f_fit", "bskts_f_fit");
}
