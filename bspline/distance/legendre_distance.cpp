// The nearest point of one span in Legendre form: the distance equation (X - p) . X', formed once per point in the
// Chebyshev basis where products are cheap, and a branch-and-bound that halves the curve and its equation together
// until the surviving pieces are line segments or points, which are solved in closed form.
#include "bspline/distance.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "bspline/core/exit.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"

namespace {

constexpr int EQ_LIMIT = BSHLF_LIMIT;        // both the conversions (325) and the halving (320) reach it
constexpr double NARROWEST = 0x1p-49;         // a piece of width below 2^-50 of [-1, 1] is solved as a point
constexpr double BOX_SLACK = 1.00000000000001;

std::size_t sz(int n) { return n < 0 ? 0 : static_cast<std::size_t>(n) + 1; }

double abs_sum(int n, const double *c) {
  double s = 0;
  for (int k = 0; k <= n; ++k) s += std::fabs(c[k]);
  return s;
}

bool equation_too_high(int n, bool rational) { return rational ? 3 * n - 2 > EQ_LIMIT : 2 * n - 1 > EQ_LIMIT; }

bool finite_inputs(int n, int dim, bool rational, const double *coef, int npts, const double *points,
                   const unsigned char *active) {
  if (!BSallfinite(static_cast<int>(sz(n) * (dim + rational)), coef)) return false;
  for (int i = 0; i < npts; ++i)
    if ((!active || active[i]) && !BSallfinite(dim, points + static_cast<std::size_t>(i) * dim)) return false;
  return true;
}

int first_active(int npts, const unsigned char *active) {
  for (int i = 0; i < npts; ++i)
    if (active[i]) return i;
  return -1;
}

// One component of a rational curve moved by -x, in Legendre (or any linear) form: P - x w.
void moved_component(int n, const double *pc, const double *wc, double x, double *out) {
  for (std::size_t k = 0; k < sz(n); ++k) out[k] = pc[k] - x * wc[k];
}

// The Legendre series `deg` of a Chebyshev series added into out (work: deg + 1 doubles).
int add_legendre(int deg, const double *cheb, double *work, double *out) {
  int rc = 0;
  BStchtlgd(deg, cheb, work, &rc);
  for (int k = 0; rc == 0 && k <= deg; ++k) out[k] += work[k];
  return rc;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// The distance equation

void BSformeqep(int n, int dim, const double *coef, int npts, const double *points, const unsigned char *active,
                int *degrees, double *const *equations, int *rc) {
  *rc = 0;
  BSscratch<246> scratch;
  const int first = npts < 1 ? -1 : first_active(npts, active);
  if (n < 0 || dim < 1 || equation_too_high(n, false)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (first < 0) {
  } else if (n == 0) {
    for (int i = 0; i < npts; ++i)
      if (active[i]) degrees[i] = -1;
  } else {
    // X - p and X' per component, then their Chebyshev forms, their product and the running sum.
    const std::size_t c1 = sz(n), cd = sz(n - 1), ce = 2 * sz(n - 1);
    double *w = scratch.take(c1 + cd * dim + c1 + cd + 2 * ce);
    if (!w) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *x = w, *der = x + c1, *tx = der + cd * dim, *td = tx + c1, *prod = td + cd, *sum = prod + ce;
      const double *p = points + static_cast<std::size_t>(first) * dim;
      std::memset(sum, 0, sizeof(double) * ce);
      for (int c = 0; c < dim && *rc == 0; ++c) {
        std::memcpy(x, coef + c * c1, sizeof(double) * c1);
        x[0] -= p[c];
        BSderpolgd(n, x, der + c * cd);
        BSlgdttch(n, x, tx, rc);
        if (*rc == 0) BSlgdttch(n - 1, der + c * cd, td, rc);
        if (*rc == 0) BSprodpoltch(n, tx, n - 1, td, prod, rc);
        for (std::size_t k = 0; *rc == 0 && k < ce; ++k) sum[k] += prod[k];
      }
      if (*rc == 0) BStchtlgd(2 * n - 1, sum, equations[first], rc);
      if (*rc == 0) degrees[first] = 2 * n - 1;
      // A later point q differs only by (p - q) . X', which is already in the Legendre basis.
      for (int i = first + 1; *rc == 0 && i < npts; ++i) {
        if (!active[i]) continue;
        const double *q = points + static_cast<std::size_t>(i) * dim;
        double *e = equations[i];
        std::memcpy(e, equations[first], sizeof(double) * ce);
        for (int c = 0; c < dim; ++c)
          for (std::size_t k = 0; k < cd; ++k) e[k] += (p[c] - q[c]) * der[c * cd + k];
        degrees[i] = 2 * n - 1;
      }
    }
  }
  BSexit(rc, "BSformeqep", "bsformeqep");
}

void BSformeqer(int n, int dim, const double *coef, int npts, const double *points, const unsigned char *active,
                int *degrees, double *const *equations, int *rc) {
  *rc = 0;
  BSscratch<614> scratch;
  const int first = npts < 1 ? -1 : first_active(npts, active);
  if (n < 0 || dim < 1 || equation_too_high(n, true)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (first < 0) {
  } else if (n == 0) {
    for (int i = 0; i < npts; ++i)
      if (active[i]) degrees[i] = -1;
  } else {
    // Q = P - p w, the curve moved to the first point, then the Chebyshev forms of Q, w, Q', w';
    // N_c = Q'_c w - Q_c w' (its top term cancels: degree 2n - 2) per component, then sum_c Q_c N_c of degree
    // 3n - 2. N does not depend on where the curve lies, but formed from P it would difference absolute
    // coordinates and cancel as many digits as the curve is far from the point relative to its size.
    const int dn = 2 * n - 2, de = 3 * n - 2;
    const std::size_t c1 = sz(n), cd = sz(n - 1), cp = sz(2 * n - 1), cn = sz(dn), ce = sz(de);
    double *w = scratch.take(c1 * (dim + 1) + cd * 2 + cp * 2 + cn * dim + ce * 3 + c1);
    if (!w) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *tp = w, *tw = tp + c1 * dim, *der = tw + c1, *td = der + cd, *pa = td + cd, *pb = pa + cp;
      double *nn = pb + cp, *sum = nn + cn * dim, *prod = sum + ce, *lg = prod + ce, *q = lg + ce;
      const double *wc = coef + dim * c1;
      const double *p = points + static_cast<std::size_t>(first) * dim;
      BSlgdttch(n, wc, tw, rc);
      double *tdw = der;  // w' in the Chebyshev basis stays in der
      BSderpolgd(n, wc, td);
      if (*rc == 0) BSlgdttch(n - 1, td, tdw, rc);
      for (int c = 0; c < dim && *rc == 0; ++c) {
        moved_component(n, coef + c * c1, wc, p[c], q);
        BSlgdttch(n, q, tp + c * c1, rc);
        BSderpolgd(n, q, lg);
        if (*rc == 0) BSlgdttch(n - 1, lg, td, rc);
        if (*rc == 0) BSprodpoltch(n - 1, td, n, tw, pa, rc);
        if (*rc == 0) BSprodpoltch(n, tp + c * c1, n - 1, tdw, pb, rc);
        for (std::size_t k = 0; k < cn; ++k) nn[c * cn + k] = pa[k] - pb[k];
      }
      std::memset(sum, 0, sizeof(double) * ce);
      for (int c = 0; c < dim && *rc == 0; ++c) {
        BSprodpoltch(n, tp + c * c1, dn, nn + c * cn, prod, rc);
        for (std::size_t k = 0; k < ce; ++k) sum[k] += prod[k];
      }
      if (*rc == 0) BStchtlgd(de, sum, equations[first], rc);
      if (*rc == 0) degrees[first] = de;
      for (int i = first + 1; *rc == 0 && i < npts; ++i) {
        if (!active[i]) continue;
        const double *q = points + static_cast<std::size_t>(i) * dim;
        // sum_c (p_c - q_c) N_c, times w.
        for (std::size_t k = 0; k < cn; ++k) {
          double g = 0;
          for (int c = 0; c < dim; ++c) g += (p[c] - q[c]) * nn[c * cn + k];
          pa[k] = g;
        }
        BSprodpoltch(dn, pa, n, tw, prod, rc);
        std::memcpy(equations[i], equations[first], sizeof(double) * ce);
        *rc = add_legendre(de, prod, lg, equations[i]);
        if (*rc == 0) degrees[i] = de;
      }
    }
  }
  BSexit(rc, "BSformeqer", "bsformeqer");
}

void BSformeqe(int n, int dim, BSboolean rational, const double *coef, int npts, const double *points,
               const unsigned char *active, double tol, int *degrees, double *const *equations, double *eqtol,
               int *rc) {
  *rc = 0;
  const int first = npts < 1 ? -1 : first_active(npts, active);
  if (first < 0) {
  } else if (n < 0 || dim < 1 || equation_too_high(n, rational != 0) || !std::isfinite(tol) || tol < 0 ||
             !finite_inputs(n, dim, rational != 0, coef, npts, points, active)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    if (rational)
      BSformeqer(n, dim, coef, npts, points, active, degrees, equations, rc);
    else
      BSformeqep(n, dim, coef, npts, points, active, degrees, equations, rc);
    if (*rc == 0) {
      // The curve's variation about the first point: about the origin a rational curve's would grow with its
      // distance from the origin (P = X w), and so would shrink the tolerance below the equation's rounding.
      double s = 0;
      BSscratch<64> room;
      double *q = rational ? room.take(sz(n)) : nullptr;
      const double *p = points + static_cast<std::size_t>(first) * dim;
      if (rational && !q) *rc = BSRC_NO_SCRATCH;
      for (int c = 0; c < dim && *rc == 0; ++c) {
        if (rational) moved_component(n, coef + c * sz(n), coef + dim * sz(n), p[c], q);
        s += abs_sum(n - 1, (rational ? q : coef + c * sz(n)) + 1);
      }
      if (rational) s /= std::fabs(coef[dim * sz(n)]);
      double m = DBL_MAX;
      for (int i = 0; i < npts; ++i)
        if (active[i]) m = std::fmin(m, abs_sum(degrees[first], equations[i]));
      if (*rc == 0) *eqtol = s == 0 || !std::isfinite(s) ? DBL_MAX : m * tol / s;
    }
  }
  BSexit(rc, "BSformeqe", "bsformeqe");
}

// ---------------------------------------------------------------------------------------------------------------
// Pieces

void BSmdlgeffdg(int degree, int ncomp, const double *coef, double tol, int *m, double *out) {
  int eff = degree;
  if (tol >= 0) {
    double acc = 0;
    eff = -1;
    for (int k = degree; k >= 0; --k) {
      for (int c = 0; c < ncomp; ++c) acc += std::fabs(coef[c * sz(degree) + k]);
      if (!(acc <= tol)) {
        eff = k;
        break;
      }
    }
  }
  *m = eff;
  // Packing forward never overwrites a coefficient that is still to be read.
  for (int c = 0; c < ncomp; ++c) std::memmove(out + c * sz(eff), coef + c * sz(degree), sizeof(double) * sz(eff));
  BSfaulthook("bsmdlgeffdg", nullptr);
}

void BSmdlgeffdr(int degree, int dim, const double *coef, double tol, int *m, double *out) {
  const double *wc = coef + dim * sz(degree);
  double s = 0;
  for (int c = 0; c < dim; ++c) s += abs_sum(degree, coef + c * sz(degree));
  const double wlow = std::fabs(wc[0]) - abs_sum(degree - 1, wc + 1);
  int eff = degree;
  if (s == 0) {
    eff = -1;
  } else if (wlow >= 0) {
    const double ptol = wlow * tol / 2, wtol = ptol * wlow / s;
    double pacc = 0, wacc = 0;
    eff = -1;
    for (int k = degree; k >= 0; --k) {
      for (int c = 0; c < dim; ++c) pacc += std::fabs(coef[c * sz(degree) + k]);
      wacc += std::fabs(wc[k]);
      if (!(pacc <= ptol) || !(wacc <= wtol)) {
        eff = k;
        break;
      }
    }
  }
  *m = eff;
  for (int c = 0; c <= dim; ++c) std::memmove(out + c * sz(eff), coef + c * sz(degree), sizeof(double) * sz(eff));
  BSfaulthook("bsmdlgeffdr", nullptr);
}

void BSmdlgptpc(int degree, int dim, BSboolean rational, const double *coef, double tol, BSboolean *flag,
                double *point) {
  *flag = BSFALSE;
  const std::size_t c1 = sz(degree);
  if (degree >= 0) {
    if (rational) {
      const double *wc = coef + dim * c1;
      const double wlow = wc[0] - abs_sum(degree - 1, wc + 1);
      if (wlow > 0) {
        double sq = 0;
        for (int c = 0; c < dim; ++c) {
          const double q = coef[c * c1] / wc[0];
          for (std::size_t k = 1; k < c1; ++k) {
            const double v = coef[c * c1 + k] - wc[k] * q;
            sq += v * v;
          }
        }
        if (sq <= wlow * wlow * tol * tol) {
          *flag = BSTRUE;
          for (int c = 0; c < dim; ++c) point[c] = coef[c * c1] / wc[0];
        }
      }
    } else {
      double spread = 0;
      for (std::size_t k = 1; k < c1; ++k) {
        double sq = 0;
        for (int c = 0; c < dim; ++c) sq += coef[c * c1 + k] * coef[c * c1 + k];
        spread += std::sqrt(sq);
      }
      if (spread <= tol) {
        *flag = BSTRUE;
        for (int c = 0; c < dim; ++c) point[c] = coef[c * c1];
      }
    }
  }
  BSfaulthook("bsmdlgptpc", nullptr);
}

void BSmdlghlfcv(int degree, int ncomp, const double *coef, double *half1, double *half2, int *rc) {
  *rc = 0;
  const std::size_t c1 = sz(degree);
  for (int c = 0; c < ncomp && *rc == 0; ++c) BShlfcpolgd(degree, coef + c * c1, half1 + c * c1, half2 + c * c1, rc);
  BSfaulthook("bsmdlghlfcv", rc);
}

void BSreassurf(int u1, int v1, int dim, BSboolean rational, const double *coef1, int u2, int v2,
                const double *coef2, int npts, const double *points, const unsigned char *active, BSboolean *which,
                int *rc) {
  *rc = 0;
  *which = BSTRUE;
  BSscratch<6> scratch;
  double *mean = npts < 1 ? nullptr : scratch.take(2 * static_cast<std::size_t>(dim));
  if (npts >= 1 && !mean) {
    *rc = BSRC_NO_SCRATCH;
  } else if (npts >= 1) {
    const std::size_t s1 = sz(u1) * sz(v1), s2 = sz(u2) * sz(v2);
    for (int c = 0; c < dim; ++c) {
      mean[c] = coef1[c * s1] / (rational ? coef1[dim * s1] : 1.0);
      mean[dim + c] = coef2[c * s2] / (rational ? coef2[dim * s2] : 1.0);
    }
    double d1 = 0, d2 = 0;
    for (int i = 0; i < npts; ++i) {
      if (!active[i]) continue;
      for (int c = 0; c < dim; ++c) {
        d1 += std::fabs(points[static_cast<std::size_t>(i) * dim + c] - mean[c]);
        d2 += std::fabs(points[static_cast<std::size_t>(i) * dim + c] - mean[dim + c]);
      }
    }
    *which = d1 <= d2 ? BSTRUE : BSFALSE;
  }
  BSexit(rc, "BSreassurf", "bsreassurf");
}

void BSmdptlnlg(int dim, BSboolean rational, const double *coef, const double *point, double tol, double *dist,
                double *par, double *curve_point, int *rc) {
  *rc = 0;
  BSscratch<35> scratch;
  const double w0 = rational ? coef[2 * dim] : 1.0, w1 = rational ? coef[2 * dim + 1] : 0.0;
  double *w = nullptr;
  if (dim < 1 || !BSallfinite(2 * (dim + (rational ? 1 : 0)), coef) || !BSallfinite(dim, point) ||
      !std::isfinite(tol) || tol < 0 || (w0 == 0 && w1 == 0)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!(w = scratch.take(9 * static_cast<std::size_t>(dim) + 8 * (rational ? 1 : 0)))) {
    *rc = BSRC_NO_SCRATCH;
  } else {
    double *d = w, *e = d + dim, *f = e + dim, *hi = f + dim, *lo = hi + dim;
    double df = 0, ef = 0, ff = 0;
    for (int c = 0; c < dim; ++c) {
      const double a = coef[2 * c], b = coef[2 * c + 1];
      d[c] = a - w0 * point[c];
      e[c] = b - w1 * point[c];
      f[c] = w0 * b - w1 * a;
      df += d[c] * f[c];
      ef += e[c] * f[c];
      ff += f[c] * f[c];
    }
    const double ts = ef == 0 ? DBL_MAX : -df / ef, fn = std::sqrt(ff);
    const double h1 = fn == 0 ? DBL_MAX : (w0 + w1) * (w0 + w1) * tol / fn;
    const double h0 = fn == 0 ? DBL_MAX : (w0 - w1) * (w0 - w1) * tol / fn;
    double t;
    if (!(std::fabs(ts - 1) < h1)) {
      if (std::fabs(ts + 1) < h0) {
        t = -1;
      } else if (ts >= -1 && ts <= 1) {
        t = ts;
      } else {
        // The nearer end; an end of zero weight lies at infinity.
        double sq_hi = 0, sq_lo = 0;
        for (int c = 0; c < dim; ++c) {
          const double a = coef[2 * c], b = coef[2 * c + 1];
          hi[c] = (a + b) / (w0 + w1) - point[c];
          lo[c] = (a - b) / (w0 - w1) - point[c];
          sq_hi += hi[c] * hi[c];
          sq_lo += lo[c] * lo[c];
        }
        t = std::isnan(sq_lo) || sq_hi <= sq_lo ? 1 : -1;
      }
    } else if (std::fabs(ts + 1) < h0) {
      t = ts == DBL_MAX ? 0 : std::fmin(1.0, std::fmax(-1.0, ts));
    } else {
      t = 1;
    }
    const double wt = w0 + w1 * t;
    double sq = 0;
    for (int c = 0; c < dim; ++c) {
      curve_point[c] = (coef[2 * c] + coef[2 * c + 1] * t) / wt;
      sq += (curve_point[c] - point[c]) * (curve_point[c] - point[c]);
    }
    *par = t;
    *dist = std::sqrt(sq);
  }
  BSexit(rc, "BSmdptlnlg", "bsmdptlnlg");
}

// ---------------------------------------------------------------------------------------------------------------
// The search

namespace {

// The slot table in one heap block: per slot its piece (own degree, stride degree + 1), interval, equation, active
// byte and used flag; a stack of slot indices orders the work.
struct Slots {
  int K = 0, ncomp = 0, eroom = 0;
  std::size_t croom = 0;
  void *block = nullptr;
  double *coef = nullptr, *eq = nullptr, *lo = nullptr, *hi = nullptr;
  int *deg = nullptr, *edeg = nullptr, *stack = nullptr;
  unsigned char *active = nullptr, *used = nullptr;

  bool allocate(int k, int n, int dim, bool rational, int e) {
    K = k;
    ncomp = dim + (rational ? 1 : 0);
    croom = sz(n) * ncomp;
    eroom = e + 1;
    const std::size_t doubles = static_cast<std::size_t>(K) * (croom + eroom + 2);
    const std::size_t bytes = doubles * sizeof(double) + static_cast<std::size_t>(K) * (3 * sizeof(int) + 2);
    if (bytes > INT_MAX) return false;
    block = BSdbgmalloc(static_cast<int>(bytes));
    if (!block) return false;
    coef = static_cast<double *>(block);
    eq = coef + K * croom;
    lo = eq + static_cast<std::size_t>(K) * eroom;
    hi = lo + K;
    deg = reinterpret_cast<int *>(hi + K);
    edeg = deg + K;
    stack = edeg + K;
    active = reinterpret_cast<unsigned char *>(stack + K);
    used = active + K;
    std::memset(used, 0, static_cast<std::size_t>(K));
    return true;
  }
  void release() {
    BSdbgfree(block);
    block = nullptr;
  }
  double *piece(int s) const { return coef + s * croom; }
  double *equation(int s) const { return eq + static_cast<std::size_t>(s) * eroom; }
  // The two lowest free slots; false when there are fewer.
  bool two_free(int *f1, int *f2) const {
    *f1 = *f2 = -1;
    for (int s = 0; s < K; ++s) {
      if (used[s]) continue;
      if (*f1 < 0) {
        *f1 = s;
      } else {
        *f2 = s;
        return true;
      }
    }
    return false;
  }
};

// A rational span stays the same curve when all its coefficients are scaled alike. Weights far from 1 (a record
// may have any positive ones) square or cube below the smallest double in the bounds and the distance equation,
// which then bound nothing: the search halves every piece down to the narrowest or settles on a wrong piece. The
// power of two that brings the largest weight coefficient near 1 (0 when it is near 1 already): scaling by it
// keeps every digit short of pushing a coefficient below the normal range.
int weight_shift(int n, int dim, const double *coef) {
  const double *w = coef + dim * sz(n);
  double top = 0;
  for (std::size_t k = 0; k < sz(n); ++k) top = std::fmax(top, std::fabs(w[k]));
  int e = 0;
  std::frexp(top, &e);
  return top > 0 && (e < -32 || e > 32) ? -e : 0;
}

// The pieces one pass of a search may look at before it gives up.
constexpr long kPieceBudget = 1L << 20;

// The working values of one point's search.
struct Search {
  int n, dim;
  bool rational;
  const double *coef, *point;
  double tol, carried;
  double bound, result, par;
  double *result_point;
  bool found = false;
  int status = BSRC_NOT_BEATEN;
  int stagnation = 0, saved = 0;
  bool refine = true;

  double distance_to(const double *q) const {
    double sq = 0;
    for (int c = 0; c < dim; ++c) sq += (q[c] - point[c]) * (q[c] - point[c]);
    return std::sqrt(sq);
  }
  // A new result at distance d: fewer than five small improvements in a row keep refining.
  void accept(double d, double t, const double *q, int top) {
    if (stagnation == 0) {
      stagnation = 1;
    } else if (result - d < tol) {
      if (++stagnation == 5) {
        refine = false;
        saved = top;
      }
    } else {
      stagnation = 1;
    }
    result = bound = d;
    par = t;
    for (int c = 0; c < dim; ++c) result_point[c] = q[c];
    found = true;
    status = 0;
    if (d < tol) {
      refine = false;
      saved = top;
    }
  }
  // The input curve at t.
  void evaluate(double t, double *q) const {
    double w = 1;
    if (rational) BSevalpolgd(n, coef + dim * sz(n), t, &w);
    for (int c = 0; c < dim; ++c) {
      BSevalpolgd(n, coef + c * sz(n), t, &q[c]);
      q[c] /= w;
    }
  }

  // One pass over a table of K slots: 0 done, 1 out of slots (restart), else a failure code.
  int pass(Slots &S, int e, double eqtol) {
    const int nc = S.ncomp;
    // A piece is a line or a point once its higher terms fall below the piece tolerance, or below the rounding
    // its coordinates carry (those of the curve as given, before it was moved to the point): far from the origin
    // no halving brings them under an absolute tolerance, and the search would halve on for hundreds of levels.
    const double ptol = std::fmax(tol * 0.0078125, 64 * DBL_EPSILON * carried), rtol = eqtol / 128;
    double *slot0 = S.piece(0);
    std::memcpy(slot0, coef, sizeof(double) * sz(n) * nc);
    S.deg[0] = n;
    S.lo[0] = -1;
    S.hi[0] = 1;
    S.used[0] = 1;
    S.active[0] = 1;
    if (e >= 0) std::memcpy(S.equation(0), equation0, sizeof(double) * sz(e));
    S.edeg[0] = e;
    S.stack[0] = 0;
    int top = 0;
    double q[64];  // the callers refuse dim > 64
    // A search of an ordinary curve looks at some tens of thousands of pieces at most; one whose pieces no bound
    // tells apart (a coordinate of 1e120 beside others of 5, weights of 1e-323) would halve every piece down to the
    // narrowest, 2^50 of them.
    long pieces = 0;
    while (top >= 0) {
      if (++pieces > kPieceBudget) return BSRC_DEGENERATE;
      const int s = S.stack[top];
      double *pc = S.piece(s);
      const double a = S.lo[s], b = S.hi[s];
      auto drop = [&] {
        S.used[s] = 0;
        --top;
      };
      // Refining has stopped below the saved depth: a piece left there is searched on only when its box could
      // still hold a point nearer than the result by the tolerance (the result need not lie in the branch that
      // stagnated, and the global minimum is owed).
      const bool stale = top < saved && !refine;
      int d;
      if (rational)
        BSmdlgeffdr(S.deg[s], dim, pc, ptol, &d, pc);
      else
        BSmdlgeffdg(S.deg[s], dim, pc, ptol, &d, pc);
      if (d < 0) {
        // A piece within the tolerance of the origin is still a point of the curve: keep its mean.
        d = 0;
        for (int c = 0; c < nc; ++c) pc[c] = S.piece(s)[c * sz(S.deg[s])];
        if (rational && pc[dim] == 0) pc[dim] = 1;  // zero numerators: the origin, whatever the weight
      }
      S.deg[s] = d;
      if (b - a < NARROWEST && d > 0) {
        for (int c = 0; c < nc; ++c) pc[c] = pc[c * sz(d)];
        d = S.deg[s] = 0;
      }
      if (rational) {
        BSboolean one = BSFALSE;
        BSmdlgptpc(d, dim, BSTRUE, pc, ptol, &one, q);
        if (one) {
          const double dq = distance_to(q);
          if (dq < bound) bound = dq;
          if (dq < result) accept(dq, (a + b) / 2, q, top);
          drop();
          continue;
        }
      }
      double *es = S.equation(s);
      int rc = 0;
      double L = 0, U = 0;
      unsigned char one_active = 1;
      BSboxcvlgd(d, dim, rational ? BSTRUE : BSFALSE, pc, 1, point, &bound, &one_active, &L, &U, &rc);
      if (rc != 0) return rc;
      if (stale && !(result > tol && L < (result - tol) * (result - tol))) S.active[s] = 0;
      const bool live = S.active[s] != 0;
      if (live && S.edeg[s] >= 0) {
        int m = 0;
        BSeffdeg(S.edeg[s], es, rtol, &m);
        S.edeg[s] = m < 0 ? 0 : m;
      }
      if (live) {
        if (bound == DBL_MAX)
          bound = std::sqrt(U);
        else if (U < bound * bound)
          bound = std::sqrt(U);
      }
      const bool reachable = bound == DBL_MAX ? L <= bound * BOX_SLACK : L <= bound * bound * BOX_SLACK;
      if (!live || !reachable) {
        drop();
        continue;
      }
      if (S.edeg[s] >= 0) {
        BSboolean maybe = BSTRUE;
        BStstrtlgd(S.edeg[s], es, eqtol, &maybe);
        if (!maybe) {
          S.active[s] = 0;
          drop();
          continue;
        }
      }
      if (d == 1) {
        double dl = 0, t = 0;
        BSmdptlnlg(dim, rational ? BSTRUE : BSFALSE, pc, point, ptol, &dl, &t, q, &rc);
        if (rc != 0) return rc;
        if (dl < bound) bound = dl;
        if (dl < result) {
          const double tt = ((b - a) * t + b + a) / 2;
          evaluate(tt, q);
          accept(distance_to(q), tt, q, top);
        }
        drop();
        continue;
      }
      if (d == 0) {
        for (int c = 0; c < dim; ++c) q[c] = pc[c] / (rational ? pc[dim] : 1.0);
        const double dq = distance_to(q);
        if (dq < result) accept(dq, (a + b) / 2, q, top);
        drop();
        continue;
      }
      // Halve into the two lowest free slots; the parent is freed once both halves are written.
      int f1, f2;
      if (!S.two_free(&f1, &f2)) return 1;
      BSmdlghlfcv(d, nc, pc, S.piece(f1), S.piece(f2), &rc);
      if (rc == 0 && S.edeg[s] >= 0)
        BShlfcpolgd(S.edeg[s], es, S.equation(f1), S.equation(f2), &rc);
      if (rc != 0) return rc;
      const double mid = (a + b) / 2;
      S.lo[f1] = a;
      S.hi[f1] = mid;
      S.lo[f2] = mid;
      S.hi[f2] = b;
      for (int f : {f1, f2}) {
        S.deg[f] = d;
        S.edeg[f] = S.edeg[s];
        S.active[f] = S.active[s];
        S.used[f] = 1;
      }
      S.used[s] = 0;
      one_active = 1;
      BSboolean which = BSTRUE;
      BSreassurf(d, 0, dim, rational ? BSTRUE : BSFALSE, S.piece(f1), d, 0, S.piece(f2), 1, point, &one_active,
                 &which, &rc);
      if (rc != 0) return rc;
      S.stack[top] = which ? f2 : f1;
      S.stack[++top] = which ? f1 : f2;
      if (saved != 0) saved = top;
      int g1, g2;
      if (!S.two_free(&g1, &g2)) return 1;
    }
    return 0;
  }
  const double *equation0 = nullptr;
};

}  // namespace

void BSmdptlgcv1(int n, int dim, BSboolean rational, const double *coef, const double *point, double tol,
                 double bound, double dist, double *bound_out, double *dist_out, double *par_out, double *point_out,
                 int *rc) {
  *rc = 0;
  const bool rat = rational != 0;
  if (n < 0 || dim < 1 || dim > 64 || equation_too_high(n, rat) || !std::isfinite(tol) || tol < 0 ||
      !std::isfinite(bound) || bound < 0 || std::isnan(dist) || !finite_inputs(n, dim, rat, coef, 1, point, nullptr)) {
    *rc = BSRC_OUT_OF_RANGE;
    BSexit(rc, "BSmdptlgcv1", "bsmdptlgcv1");
    return;
  }
  *bound_out = bound;
  *dist_out = dist;
  const int e = n == 0 ? -1 : rat ? 3 * n - 2 : 2 * n - 1;
  BSscratch<64> eqroom, scaled_room;
  double *eq0 = eqroom.take(sz(e));
  const int shift = rat ? weight_shift(n, dim, coef) : 0;
  double *scaled = shift != 0 ? scaled_room.take((dim + 1) * sz(n)) : nullptr;
  if (scaled) {
    for (std::size_t i = 0; i < (dim + 1) * sz(n); ++i) scaled[i] = std::ldexp(coef[i], shift);
    coef = scaled;
  }
  // The search runs about the point: the curve moved so that the point is the origin. The distance equation,
  // the bounds of the pieces and their line forms all difference coordinates, and for a curve far from the origin
  // absolute ones would cancel as many digits as it is far relative to its size (a rational curve's weighted
  // poles carry its distance from the origin into every coefficient); moved, the answer does not depend on where
  // the curve lies.
  const std::size_t ncoef = (dim + (rat ? 1 : 0)) * sz(n);
  double carried = 0;
  for (std::size_t i = 0; i < ncoef; ++i) carried = std::fmax(carried, std::fabs(coef[i]));
  BSscratch<64> moved_room;
  double *moved = moved_room.take(ncoef);
  if (moved) {
    std::memcpy(moved, coef, sizeof(double) * ncoef);
    for (int c = 0; c < dim; ++c) {
      if (rat)
        moved_component(n, coef + c * sz(n), coef + dim * sz(n), point[c], moved + c * sz(n));
      else
        moved[c * sz(n)] -= point[c];
    }
  }
  // A rational curve moved to a point far beyond its own size carries the point in every weighted coefficient,
  // rounded to its size: the pieces are points or lines within that rounding, and a tighter piece tolerance
  // would halve them all alike (none nearer than another) down to the narrowest.
  if (moved && rat)
    for (std::size_t i = 0; i < dim * sz(n); ++i) carried = std::fmax(carried, std::fabs(moved[i]));
  const double origin[64] = {};
  double found_point[64];
  double eqtol = DBL_MAX;
  int edeg = -1;
  const unsigned char on = 1;
  if (!eq0 || (shift != 0 && !scaled) || !moved) {
    *rc = BSRC_NO_SCRATCH;
  } else {
    BSformeqe(n, dim, rational, moved, 1, origin, &on, tol, &edeg, &eq0, &eqtol, rc);
  }
  if (*rc == 0) {
    Search srch{n, dim, rat, moved, origin, tol, carried, bound, dist, 0.0, found_point};
    srch.equation0 = eq0;
    int K = bstest::switches.first_slots > 0 ? bstest::switches.first_slots : 8 * (n + 1);
    for (;;) {
      Slots S;
      if (!S.allocate(K, n, dim, rat, e)) {
        *rc = BSRC_ALLOC_CURVE;
        break;
      }
      srch.stagnation = 0;
      srch.refine = true;
      srch.saved = 0;
      const int r = srch.pass(S, edeg, eqtol);
      S.release();
      if (r == 1) {
        K += 8 * (n + 1);
        continue;
      }
      *rc = r;
      break;
    }
    *bound_out = srch.bound;
    if (srch.found) {
      *dist_out = srch.result;
      *par_out = srch.par;
      for (int c = 0; c < dim; ++c) point_out[c] = found_point[c] + point[c];
    }
    if (*rc == 0 && (!srch.found || srch.status == BSRC_NOT_BEATEN)) *rc = BSRC_NOT_BEATEN;
  }
  BSexit(rc, "BSmdptlgcv1", "bsmdptlgcv1");
}

void BSmdptlgend(int n, int dim, BSboolean rational, const double *coef, int npts, const double *points, double tol,
                 const double *bound_in, const double *dist_in, double *bound_out, double *dist_out,
                 double *par_out, double *point_out, int *rc) {
  *rc = BSRC_NOT_BEATEN;
  const std::size_t c1 = sz(n);
  double ends[2][64];
  const int dd = dim < 1 ? 0 : dim > 64 ? 64 : dim;
  for (int side = 0; side < 2; ++side) {
    double w = 1;
    if (rational) BSevalpolgd(n, coef + dim * c1, side == 0 ? -1.0 : 1.0, &w);
    for (int c = 0; c < dd; ++c) {
      BSevalpolgd(n, coef + c * c1, side == 0 ? -1.0 : 1.0, &ends[side][c]);
      ends[side][c] /= w;
    }
  }
  for (int i = 0; i < npts && dd == dim; ++i) {
    double b = bound_in[i];
    bound_out[i] = b;
    dist_out[i] = dist_in[i];
    const double *p = points + static_cast<std::size_t>(i) * dim;
    for (int side = 0; side < 2; ++side) {
      double sq = 0;
      for (int c = 0; c < dim; ++c) sq += (ends[side][c] - p[c]) * (ends[side][c] - p[c]);
      const double d = std::sqrt(sq);
      if (d < (b == DBL_MAX ? b : b + tol / 2)) {
        b = bound_out[i] = dist_out[i] = d;
        par_out[i] = side == 0 ? -1 : 1;
        std::memcpy(point_out + static_cast<std::size_t>(i) * dim, ends[side], sizeof(double) * dim);
        *rc = 0;
      }
    }
  }
  BSfaulthook("bsmdptlgend", rc);
}

void BSmdptlgcv(int n, int dim, BSboolean rational, const double *coef, int npts, const double *points, double tol,
                const double *bound_in, const double *dist_in, const unsigned char *active, double *bound_out,
                double *dist_out, double *par_out, double *point_out, int *status, int *rc) {
  *rc = 0;
  if (npts < 1) {
  } else if (n < 0 || dim < 1 || dim > 64 || equation_too_high(n, rational != 0) || !std::isfinite(tol) ||
             tol < 0 || !finite_inputs(n, dim, rational != 0, coef, npts, points, active)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    for (int i = 0; i < npts; ++i) {
      if (active[i] && (!std::isfinite(bound_in[i]) || bound_in[i] < 0 || std::isnan(dist_in[i])))
        *rc = BSRC_OUT_OF_RANGE;
    }
    for (int i = 0; i < npts && *rc == 0; ++i) {
      status[i] = BSRC_NOT_BEATEN;
      if (bound_out != bound_in) bound_out[i] = bound_in[i];
      if (dist_out != dist_in) dist_out[i] = dist_in[i];
    }
    // The first code of each point waits in its status until the ends have been tried.
    for (int i = 0; i < npts && *rc == 0; ++i) {
      if (!active[i]) continue;
      const double b = bound_in[i];
      const std::size_t at = static_cast<std::size_t>(i) * dim;
      int code = 0;
      BSmdptlgcv1(n, dim, rational, coef, points + at, tol, b, dist_out[i], &bound_out[i], &dist_out[i], &par_out[i],
                  point_out + at, &code);
      if (code != 0 && code != BSRC_NOT_BEATEN) {
        *rc = code;
      } else {
        bound_out[i] = code == BSRC_NOT_BEATEN ? b : std::fmin(b, dist_out[i]);
        status[i] = code;
      }
    }
    for (int i = 0; i < npts && *rc == 0; ++i) {
      if (!active[i]) {
        status[i] = 0;
        continue;
      }
      const std::size_t at = static_cast<std::size_t>(i) * dim;
      int code = 0;
      BSmdptlgend(n, dim, rational, coef, 1, points + at, tol, &bound_out[i], &dist_out[i], &bound_out[i],
                  &dist_out[i], &par_out[i], point_out + at, &code);
      status[i] = status[i] == BSRC_NOT_BEATEN && code == BSRC_NOT_BEATEN ? BSRC_NOT_BEATEN : 0;
    }
  }
  BSexit(rc, "BSmdptlgcv", "bsmdptlgcv");
}
