// Bounded Newton solvers for square systems whose variables live in ranges, some of them periodic (parameters of
// closed curves), with a one-sided finite-difference Jacobian and a dense LU decomposition with partial pivoting.
// The fillet construction uses BSqnwt; the tangency and point-projection routines use BSqnwt2.
#include <cmath>
#include <cstdint>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/numerics.h"

namespace {

// The work arrays (the Jacobian and four vectors) of n = 5 stay in the routine's frame.
constexpr int kVectors = 4;
constexpr std::size_t kLocal = 5 * 5 + kVectors * 5;
// A periodic value farther out than this many periods is brought back by one exact remainder: a period at a time
// would take too long, or never end where the period is below the spacing of the doubles.
constexpr int kStepwisePeriods = 1000;
// A step that leaves more periods behind than this is not a step towards a root.
constexpr double kMaxWrapPeriods = 10.0;
// The largest n whose n x n matrix is counted in an int.
constexpr int kMaxDim = 46340;

double norm(const double *v, int n) {
  if (n == 1) return std::fabs(v[0]);
  double s = 0.0, big = 0.0;
  for (int i = 0; i < n; ++i) {
    s += v[i] * v[i];
    big = std::fmax(big, std::fabs(v[i]));
  }
  if (big == 0.0 || (std::isfinite(s) && s >= 1e-290)) return std::sqrt(s);
  // Squares that overflow or underflow: scale by the largest entry.
  s = 0.0;
  for (int i = 0; i < n; ++i) s += (v[i] / big) * (v[i] / big);
  return big * std::sqrt(s);
}

bool usable_period(double lo, double hi) { return hi - lo > 0.0 && std::isfinite(hi - lo); }

// v (finite, outside [lo, hi]) moved by whole periods hi - lo into the range.
double wrapped(double v, double lo, double hi) {
  const double period = hi - lo;
  if (lo - v > kStepwisePeriods * period) v = lo + std::fmod(v - lo, period);
  if (v - hi > kStepwisePeriods * period) v = hi + std::fmod(v - hi, period);
  for (int k = 0; v < lo && k <= kStepwisePeriods; ++k) v += period;
  for (int k = 0; v > hi && k <= kStepwisePeriods; ++k) v -= period;
  return v < lo ? lo : v > hi ? hi : v;
}

bool acceptable(const BSnewtonrec *p, BSnewtonfunc func) {
  if (!p || !func || !p->lo || !p->hi || !p->periodic || !p->x0 || !p->x) return false;
  if (p->n < 1 || p->n > kMaxDim || p->max_iter < 1) return false;
  if (!(p->ftol > 0.0 && std::isfinite(p->ftol) && p->xtol > 0.0 && std::isfinite(p->xtol))) return false;
  for (int i = 0; i < p->n; ++i) {
    if (!(p->lo[i] <= p->x0[i] && p->x0[i] <= p->hi[i]) || !std::isfinite(p->x0[i])) return false;
    if (p->periodic[i] && !usable_period(p->lo[i], p->hi[i])) return false;
  }
  return true;
}

// The residual at x; false when it failed, answered FALSE or gave a value that is not finite (rc -1).
bool evaluate(int *rc, BSnewtonfunc func, BSnewtonrec *p, double *x, double *f, BSboolean *answer) {
  *answer = func(rc, x, f, &p->data);
  if (*rc != 0 || !*answer) return false;
  if (BSallfinite(p->n, f)) return true;
  *rc = -1;
  return false;
}

// The two solvers differ only in which iterations are damped.
BSboolean newton(int *rc, BSnewtonrec *p, BSnewtonfunc func, bool damp_first_two) {
  *rc = 0;
  BSboolean answer = BSTRUE;
  if (!acceptable(p, func)) {
    *rc = BSRC_OUT_OF_RANGE;
    return BSFALSE;
  }
  const int n = p->n;
  const double *lo = p->lo, *hi = p->hi;
  const std::uint64_t need = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n + kVectors);
  BSscratch<kLocal> work;
  double *jac = need <= (SIZE_MAX - BSSCRATCH_HEADER) / 8 ? work.take(static_cast<std::size_t>(need)) : nullptr;
  if (!jac) {
    *rc = BSRC_NO_SCRATCH;
    return BSFALSE;
  }
  double *f = jac + static_cast<std::size_t>(n) * n, *fp = f + n, *xp = fp + n, *d = xp + n;
  double *x = p->x;

  double h = 0.1 * p->xtol, previous = 0.0, lambda = 0.25;
  p->iterations = 0;
  p->ftol *= std::sqrt(static_cast<double>(n));
  p->xtol *= std::sqrt(static_cast<double>(n));
  const double ftol = p->ftol, xtol = p->xtol;
  for (int i = 0; i < n; ++i) x[i] = p->x0[i];
  if (!evaluate(rc, func, p, x, f, &answer)) return BSFALSE;
  p->fnorm = norm(f, n);

  for (;;) {
    for (int i = 0; i < n; ++i)
      if (x[i] - hi[i] >= 0.0 && x[i] - hi[i] < xtol) x[i] = hi[i];
    if (!BSadjust(rc, &n, lo, hi, p->periodic, x, xp) || !evaluate(rc, func, p, xp, f, &answer)) break;
    const double fnorm = p->fnorm = norm(f, n);
    const double g = norm(xp, n);
    p->iterations += 1;
    h = std::fmax(std::fmin(h, fnorm), BStoltab[bstol::zero_tol]);

    // Jacobian by columns, each probe stepping away from the upper bound; a probe that lands on a root ends it all.
    bool probe_done = false;
    for (int j = 0; j < n && *rc == 0; ++j) {
      const double saved = xp[j];
      const bool up = saved + h < hi[j];
      xp[j] = up ? saved + h : saved - h;
      if (!evaluate(rc, func, p, xp, fp, &answer)) break;
      const double pnorm = norm(fp, n);
      if (pnorm < ftol) {
        for (int i = 0; i < n; ++i) x[i] = xp[i];
        p->fnorm = pnorm;
        probe_done = true;
        break;
      }
      for (int i = 0; i < n; ++i) {
        double &entry = jac[i * n + j];
        entry = up ? (fp[i] - f[i]) / h : (f[i] - fp[i]) / h;
        if (!std::isfinite(entry)) *rc = -1;
      }
      xp[j] = saved;
    }
    if (*rc != 0 || !answer || probe_done) break;

    // The step solves J d = f(x'), the residual where the Jacobian was formed (the last probe's values would aim
    // the step at a point about h away).
    for (int i = 0; i < n; ++i) d[i] = f[i];
    const BSboolean permute = BSTRUE;
    if (!BSdecomp(rc, &n, jac, &permute, d) || !BSsolve(rc, &n, jac, d)) break;
    const double dn = norm(d, n);

    double mu = 1.0;
    if (damp_first_two ? p->iterations <= 2 : p->full_step == 0) {
      lambda = fnorm < previous && p->iterations > 1 ? std::fmin(lambda + 0.25, 1.0) : 0.25;
      if (dn <= xtol) {
        mu = lambda;
      } else {
        const double c = (1.0 - lambda) * 1.3333333333333333;
        mu = (1.0 - c) + 0.25 * std::fmin(g / dn, 1.0) * c;
      }
    } else {
      lambda = 1.0;
    }
    for (int i = 0; i < n; ++i) x[i] = xp[i] - mu * d[i];
    if (!BSallfinite(n, x) || !std::isfinite(dn)) {
      *rc = -1;
      break;
    }

    for (int i = 0; i < n && *rc == 0; ++i) {
      if (!(x[i] < lo[i] || x[i] > hi[i])) continue;
      const double bound = x[i] < lo[i] ? lo[i] : hi[i];
      const double out = std::fabs(x[i] - bound);
      if (out < xtol || !p->periodic[i]) {
        x[i] = bound;
      } else if (out > kMaxWrapPeriods * (hi[i] - lo[i])) {
        *rc = -1;
      } else {
        x[i] = wrapped(x[i], lo[i], hi[i]);
        lambda = 0.25;
      }
    }
    if (*rc != 0) break;
    previous = fnorm;
    if (p->iterations >= p->max_iter || dn <= xtol || fnorm <= ftol) break;
  }
  return *rc == 0 ? answer : BSFALSE;
}

}  // namespace

BSboolean BSqnwt(int *rc, BSnewtonrec *problem, BSnewtonfunc func) {
  const BSboolean ok = newton(rc, problem, func, false);
  BSexit(rc, "BSqnwt", "bsqnwt");
  return ok;
}

BSboolean BSqnwt2(int *rc, BSnewtonrec *problem, BSnewtonfunc func) {
  const BSboolean ok = newton(rc, problem, func, true);
  BSexit(rc, "BSqnwt2", "bsqnwt2");
  return ok;
}

BSboolean BSdecomp(int *rc, const int *n_in, double *a, const BSboolean *permute_rhs, double *rhs) {
  *rc = 0;
  do {
    const bool permute = permute_rhs && *permute_rhs == 1;
    if (!n_in || *n_in < 1 || *n_in > kMaxDim || !a || (permute && !rhs) || !BSallfinite(*n_in * *n_in, a)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int n = *n_in;
    // Absolute, not relative to the entries: a matrix of small but regular entries is still solved.
    const double threshold = BStoltab[bstol::zero_tol] * BStoltab[bstol::zero_tol];
    for (int k = 0; k < n; ++k) {
      for (int i = 0; i < n; ++i) {
        double s = a[i * n + k];
        for (int j = 0, m = i < k ? i : k; j < m; ++j) s -= a[i * n + j] * a[j * n + k];
        a[i * n + k] = s;
      }
      int p = k;  // the upper of equally large candidates
      for (int i = k + 1; i < n; ++i)
        if (std::fabs(a[i * n + k]) > std::fabs(a[p * n + k])) p = i;
      if (!(std::fabs(a[p * n + k]) >= threshold)) {
        *rc = -1;
        break;
      }
      if (p != k) {
        for (int j = 0; j < n; ++j) std::swap(a[p * n + j], a[k * n + j]);
        if (permute) std::swap(rhs[p], rhs[k]);
      }
      for (int i = k + 1; i < n; ++i) a[i * n + k] /= a[k * n + k];
    }
  } while (false);
  BSexit(rc, "BSdecomp", "bsdecomp");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSsolve(int *rc, const int *n_in, const double *lu, double *b) {
  *rc = 0;
  if (!n_in || *n_in < 1 || !lu || !b || !BSallfinite(*n_in, b)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const int n = *n_in;
    for (int i = 1; i < n; ++i)
      for (int j = 0; j < i; ++j) b[i] -= lu[i * n + j] * b[j];
    for (int i = n - 1; i >= 0; --i) {
      for (int j = i + 1; j < n; ++j) b[i] -= lu[i * n + j] * b[j];
      b[i] /= lu[i * n + i];
    }
  }
  BSexit(rc, "BSsolve", "bssolve");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSadjust(int *rc, const int *n, const double *lo, const double *hi, const BSboolean *periodic,
                   const double *x, double *out) {
  *rc = 0;
  if (!n || !lo || !hi || !periodic || !x || !out) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    for (int i = 0; i < *n; ++i) {
      out[i] = x[i];
      if (!periodic[i]) continue;
      if (!usable_period(lo[i], hi[i])) {
        *rc = BSRC_OUT_OF_RANGE;
      } else if (!(x[i] >= lo[i] && x[i] <= hi[i])) {
        if (std::isfinite(x[i]))
          out[i] = wrapped(x[i], lo[i], hi[i]);
        else
          *rc = BSRC_OUT_OF_RANGE;
      }
    }
  }
  BSexit(rc, "BSadjust", "bsadjust");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
