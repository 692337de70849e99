// From lengths to parameters: the parameter a given distance along a curve from a start parameter (walked pole
// by pole on polylines, found by regula falsi on the arc length otherwise, wrapping over the seam of a closed
// curve), and the respacing of a knot vector so that the pieces between C0 joints get parameter lengths in
// proportion to their control polygons.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/measure.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

namespace {
// The regula falsi converges linearly at worst; far more steps than any curve needs means the lengths it is fed
// no longer change (a tolerance below their accuracy), and the last estimate is as good as any later one.
constexpr int kMaxFalsiSteps = 200;

double segment(const double *poles, int a, int b) {
  double s = 0;
  for (int c = 0; c < 3; ++c) {
    const double d = poles[3 * b + c] - poles[3 * a + c];
    s += d * d;
  }
  return std::sqrt(s);
}

// Order 2, not rational: pole i sits at parameter knots[i + 1] and the parameter runs linearly along each leg.
BSboolean walk_polyline(int *rc, const VOQbsp_curve &cv, double par0, double dist, double end, double *par) {
  const int n = cv.num_poles;
  const double *P = cv.poles, *t = cv.knots;
  int s = -1;
  if (!BSfndspan(rc, &cv, &n, t, &par0, &s)) {
    if (*rc == 0) *rc = BSRC_OUT_OF_RANGE;
    return BSFALSE;
  }
  double Q[3];
  BScveval0(rc, cv.order, P, nullptr, t, s, par0, Q);
  if (*rc != 0) return BSFALSE;
  const int step = end <= par0 ? -1 : 1;
  int i = step < 0 ? s - 1 : s;
  double acc = 0;
  for (int c = 0; c < 3; ++c) acc += (Q[c] - P[3 * i + c]) * (Q[c] - P[3 * i + c]);
  acc = std::sqrt(acc);
  const bool closed = cv.phy_closed != 0;
  int steps = 2;
  while (acc < dist) {
    int next;
    if (!closed) {
      if ((step > 0 && i == n - 1) || (step < 0 && i == 0)) break;
      next = i + step;
    } else {
      if (steps >= n) break;
      ++steps;
      next = i + step;
      if (next == n) next = 0;
      if (next < 0) next = n - 1;
    }
    // A leg over no parameter interval (two equal knots: the curve breaks there) is a jump, not length.
    const int lo = std::min(i, next);
    const bool jump = std::abs(next - i) == 1 && t[lo + 1] == t[lo + 2];
    if (!jump) acc += segment(P, i, next);
    i = next;
  }
  if (acc < dist) {
    *rc = BSRC_NOT_REACHED;
    return BSFALSE;
  }
  const int j = i, p = j - step;
  if (p < 0 || p > n - 1) {
    // Reached on the closing leg between the last pole and pole 0, which has no parameter interval of its own
    // (and no length on an exactly closed polyline): the pole reached is the answer.
    *par = t[j + 1];
    return BSTRUE;
  }
  const double seg = segment(P, p, j), over = acc - dist;
  *par = seg >= 2.220446049250313e-16 ? (t[p + 1] * over + (seg - over) * t[j + 1]) / seg : t[j + 1];
  return BSTRUE;
}
}  // namespace

BSboolean BSiarcln2(int *rc, VOQbsp_curve *cv, const double *total, const double *par0, const double *dist,
                    const double *end, double *par) {
  *rc = 0;
  BSboolean status = BSTRUE;
  const double tol = BStoltab[bstol::dist_tol];
  do {
    if (!cv || !cv->poles || !cv->knots || (cv->rational && !cv->weights)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    // Lengths are not negative; a walk backwards is asked for by the end parameter, not by the sign.
    if (!(*total >= 0) || !(*dist >= 0) || !std::isfinite(*total) || !std::isfinite(*dist) ||
        !std::isfinite(*par0) || !std::isfinite(*end) || BScvcheck(cv) != 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // A start past the range: the lengths of the caller (BSarclen cuts at the ends) and the walk (which
    // extrapolates the end piece) would measure from different points; no answer can serve both.
    const double first = cv->knots[cv->order - 1], last = cv->knots[cv->num_poles];
    double ktol = 0;
    BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
    if (*rc != 0) break;
    if (*par0 < first - ktol || *par0 > last + ktol) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (std::fabs(*dist - *total) < tol) {
      *par = *end;
      break;
    }
    if (cv->order == 2 && !cv->rational) {
      status = walk_polyline(rc, *cv, *par0, *dist, *end, par);
      break;
    }
    const int k = cv->order, n = cv->num_poles;
    double a = *par0, D = *dist, T = *total;
    if (!cv->phy_closed) {
      if (T < D) {
        *rc = BSRC_NOT_REACHED;
        break;
      }
    } else {
      // Past the seam: every further turn starts again at the other end of the range.
      const double start = cv->knots[k - 1], stop = cv->knots[n];
      while (T < D && status) {
        D -= T;
        a = *end == start ? stop : start;
        const double mid = (a + *end) / 2;
        BSarclen(rc, &status, cv, &a, end, &mid, &T);
        // A curve of no length never gets any nearer.
        if (status && !(T > 0)) *rc = BSRC_NOT_REACHED;
        if (*rc != 0) status = BSFALSE;
        // From here on every turn is the whole curve: whole turns are taken at once, since a distance many
        // orders above the curve's length would not change under repeated subtraction and the walk would not end.
        if (status && T < D) {
          D = std::fmod(D, T);
          if (D == 0) D = T;
        }
      }
      if (!status) break;
    }
    const double from = a;
    double b = *end, fa = -D, fb = T - D, prev = -D;
    *par = a;
    // The bracket closes on the length, not on the knot tolerance: where the curve races through a short span
    // (beside a stretch where it stands still, the tolerance is long) a bracket the size of the tolerance still
    // holds a good part of the length. Each trial is measured from the start: a piece shorter than the knot
    // tolerance measures nothing, so the lengths of ever shorter pieces cannot be added up.
    for (int steps = 0; std::fabs(b - a) > 4 * DBL_EPSILON * (std::fabs(a) + std::fabs(b)) && steps < kMaxFalsiSteps;
         ++steps) {
      const double u = (fb * a - fa * b) / (fb - fa);
      *par = u;
      const double lo = std::fmin(from, u), hi = std::fmax(from, u), mid = (lo + hi) / 2;
      double L = 0;
      BSarclen(rc, &status, cv, &lo, &hi, &mid, &L);
      if (!status) break;
      const double g = L - D;
      if (std::fabs(g) < tol) break;
      if (g <= 0) {
        a = u;
        fa = g;
        if (prev < 0) fb /= 2;
      } else {
        // Illinois: the end kept twice in a row has its value halved, on either side (a flat stretch of the
        // length beyond the target otherwise holds the bracket's far end where it is for every step).
        b = u;
        fb = g;
        if (prev > 0) fa /= 2;
      }
      prev = g;
    }
  } while (false);
  BSexit(rc, "BSiarcln2", "bsiarcln2");
  // After the exit hook, which may have forced a code: the answer follows the code that is handed back.
  return *rc == 0 ? status : BSFALSE;
}

BSboolean BSiarcln(int *rc, VOQbsp_curve *cv, const double *par0, const double *dist, const double *dir_par,
                   double *par) {
  *rc = 0;
  BSboolean status = BSTRUE;
  if (!cv || !cv->knots) {
    *rc = BSRC_NULL_CURVE;
  } else if (!std::isfinite(*par0) || !std::isfinite(*dir_par) || !(*dist >= 0) || !std::isfinite(*dist)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if ((*rc = BScvcheck(cv)) != 0) {
    // The range ends are read below before any routine that checks the record: an order below 1 or a pole
    // count past the knots would read outside the arrays.
  } else {
    const double mid = (*dir_par + *par0) / 2;
    double end, total = 0;
    if (*dir_par <= *par0) {
      end = cv->knots[cv->order - 1];
      BSarclen(rc, &status, cv, &end, par0, &mid, &total);
    } else {
      end = cv->knots[cv->num_poles];
      BSarclen(rc, &status, cv, par0, &end, &mid, &total);
    }
    if (status) status = BSiarcln2(rc, cv, &total, par0, dist, &end, par);
  }
  BSexit(rc, "BSiarcln", "bsiarcln");
  return *rc == 0 ? status : BSFALSE;
}

void BSarclnparc(int *rc, VOQbsp_curve *cv) {
  *rc = 0;
  do {
    if (!cv || !cv->knots || !cv->poles) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!cv->rational) cv->weights = nullptr;
    const int k = cv->order, n = cv->num_poles;
    double *t = cv->knots;
    if (!BSnorkts(rc, &cv->order, &n, t)) break;
    if (k >= n) break;
    // The knot tolerance scales with the parameter range, so it is taken on the knots it is applied to.
    double ktol = 0;
    BScvkttol2(cv->order, t, n, cv->poles, cv->weights, &ktol, rc);
    if (*rc != 0) break;
    const std::size_t nk = static_cast<std::size_t>(n + k);
    std::unique_ptr<double[]> p(new (std::nothrow) double[nk]), F(new (std::nothrow) double[nk + 1]);
    std::unique_ptr<int[]> idx(new (std::nothrow) int[nk]);
    if (!p || !F || !idx) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    int count = 0;
    BSfindmkts(rc, &cv->order, &n, t, &ktol, &count, p.get(), idx.get());
    if (*rc != 0 || count == 0) break;
    // Control-polygon length of each piece; neighbours share their joint pole.
    double total = 0;
    for (int i = 0; i <= count && *rc == 0; ++i) {
      const int first = i == 0 ? 0 : idx[i - 1] - 1;
      const int last = i == count ? n - 1 : idx[i] - 1;
      const int m = last - first + 1;
      double len = 0;
      BScumdist(rc, &m, cv->poles + 3 * first, cv->weights ? cv->weights + first : nullptr, &len);
      if (len < BStoltab[bstol::dist_tol]) len = 100 * ktol;
      total += len;
      F[i] = total;
    }
    if (*rc != 0) break;
    for (int i = 0; i <= count; ++i) F[i] /= total;
    F[count] = 1;
    // Piecewise-linear map of the parameter, one linear piece per polygon piece. The knots below the range
    // follow the first piece and those above it the last, so that an unclamped end keeps its shape too.
    auto map = [&](double x, int piece) {
      const double p0 = piece == 0 ? 0.0 : p[piece - 1], p1 = piece == count ? 1.0 : p[piece];
      const double f0 = piece == 0 ? 0.0 : F[piece - 1], f1 = F[piece];
      return f0 + (x - p0) * (f1 - f0) / (p1 - p0);
    };
    for (int i = 0; i < k - 1; ++i) t[i] = map(t[i], 0);
    for (int i = k; i < idx[0]; ++i) t[i] = map(t[i], 0);
    for (int j = 0; j < count; ++j) {
      for (int c = 0; c < k - 1; ++c) t[idx[j] + c] = F[j];
      const int from = idx[j] + k - 1, to = j + 1 < count ? idx[j + 1] : n;
      for (int i = from; i < to; ++i) t[i] = map(t[i], j + 1);
    }
    for (int i = n + 1; i < n + k; ++i) t[i] = map(t[i], count);
  } while (false);
  BSexit(rc, "BSarclnparc", "bsarclnparc");
}
