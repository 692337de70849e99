// Evaluation of the composite Legendre form at a global parameter, and the span-by-span searches built on it:
// where a projected coordinate stops growing (turning points) and where the tangent has turned a right angle from
// the start of its span (transitions).
#include "bspline/core/exit.h"
#include "bspline/legendre.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

constexpr int kMaxRationalOrder = 320;

// A derivative within this angle (in radians, nearly) of perpendicular to a direction counts as perpendicular:
// well above the rounding of the Legendre conversion, far below any turn a curve makes on purpose.
constexpr double kFlat = 1e-10;
// The derivative orders that may tell how a projection moves beside a joint.
constexpr int kSideOrders = 4;

bool finite_all(std::size_t count, const double *v) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// Derivatives 0..k of N/W from those of N and W (k + 1 values each) by Leibniz's rule solved for the quotient,
// into q[0..k]; the answer is q[k]. A zero denominator, or a quotient that overflows, is no value: DBL_MAX and
// false.
bool quotient_rule(int k, const double *N, const double *W, double *q, double *out) {
  const double w = W[0];
  bool ok = w != 0;
  for (int j = 0; j <= k && ok; ++j) {
    double s = N[j], binom = 1;
    for (int i = 0; i < j; ++i) {
      s -= binom * q[i] * W[j - i];
      binom = binom * (j - i) / (i + 1);
    }
    q[j] = s / w;
    ok = std::isfinite(q[j]);
  }
  *out = ok ? q[k] : DBL_MAX;
  return ok;
}

// A rational span: every component and its derivatives 0..deriv at u, then each coordinate over its own
// denominator. Orders 1 and 2 are the textbook quotient rule; higher orders continue the same recurrence, which
// keeps the accuracy of the series values where a fitted and truncated quotient series loses about a digit per
// order.
void rational_span(int degree, int dim, int code, const double *span, int deriv, double u, double *out, int *rc) {
  const int q = dim == 3 ? 4 : BScmlgdcomps(2, code);
  const std::size_t rows = static_cast<std::size_t>(deriv) + 1;
  // rows x q component values, then numerator, denominator and quotient columns of rows each.
  BSscratch<500> scratch;
  double *work = scratch.take(rows * (q + 3));
  if (!work) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  double *values = work, *N = work + rows * q, *W = N + rows, *Q = W + rows;
  for (std::size_t k = 0; k < rows && *rc == 0; ++k)
    BSpocvlgder(degree, q, span, static_cast<int>(k), u, values + k * q, rc);
  if (*rc != 0) return;
  bool ok = true;
  for (int c = 0; c < dim; ++c) {
    // Plane codes: 1 X, y, W; 2 x, Y, W; 3 X, Y, Wx, Wy. A coordinate without a denominator is over 1.
    const int den = dim == 3 ? 3 : c == 0 ? (code == 2 ? -1 : 2) : (code == 1 ? -1 : code == 2 ? 2 : 3);
    for (std::size_t k = 0; k < rows; ++k) {
      N[k] = values[k * q + c];
      W[k] = den < 0 ? (k == 0 ? 1.0 : 0.0) : values[k * q + den];
    }
    ok = quotient_rule(deriv, N, W, Q, out + c) && ok;
  }
  if (!ok) *rc = BSRC_BAD_DENOMINATOR;
}

// A B-spline curve record as a composite of dimension 3, its arrays released with it.
struct CurveComposite {
  int n = 0;
  int *degrees = nullptr;
  int *codes = nullptr;
  double **spans = nullptr;
  double *breakpoints = nullptr;

  CurveComposite() = default;
  CurveComposite(const CurveComposite &) = delete;
  CurveComposite &operator=(const CurveComposite &) = delete;
  ~CurveComposite() {
    BSfreecmplgd(&spans);
    BSdbgfree(degrees);
    BSdbgfree(codes);
    BSdbgfree(breakpoints);
  }

  void convert(const VOQbsp_curve *cv, int *rc) {
    if (!cv->knots || cv->num_poles < 1) {
      *rc = cv->knots ? BSRC_OUT_OF_RANGE : BSRC_NULL_CURVE;
      return;
    }
    const int ncomp = cv->rational ? 4 : 3;
    BSscratch<100> scratch;
    double *blocks = scratch.take(static_cast<std::size_t>(ncomp) * cv->num_poles);
    if (!blocks) {
      *rc = BSRC_NO_SCRATCH;
      return;
    }
    BSicv2bsp(cv, 3, blocks, rc);
    double range[2];
    if (*rc == 0)
      BSbsp2cmlgd(3, cv->num_poles, cv->order, cv->rational ? BSTRUE : BSFALSE, blocks, cv->knots, &n, &degrees,
                  &codes, &spans, &breakpoints, range, rc);
  }

  // f = sum over the coordinates of v[c] times component c of span i, with the weight series after it when the
  // span is rational; f holds 2 (d_i + 1) doubles.
  void project(int i, const double v[3], double *f) const {
    const std::size_t w = static_cast<std::size_t>(degrees[i]) + 1;
    const double *s = spans[i];
    for (std::size_t k = 0; k < w; ++k) f[k] = v[0] * s[k] + v[1] * s[w + k] + v[2] * s[2 * w + k];
    if (codes[i]) std::memcpy(f + w, s + 3 * w, w * sizeof(double));
  }

  void tangent(int i, double u, double D[3], int *rc) const {
    BSevalgdsng(degrees[i], 3, codes[i], spans[i], 1, u, D, rc);
  }

  // The tangent of span i at its end u = +-1, or in its middle when it vanishes there.
  void side_tangent(int i, double end, double D[3], int *rc) const {
    tangent(i, end, D, rc);
    const double tol = BStoltab[bstol::dist_tol];
    if (*rc == 0 && D[0] * D[0] + D[1] * D[1] + D[2] * D[2] <= tol * tol) tangent(i, 0.0, D, rc);
  }

  // How the projection on dir moves just inside span i beside its end u = end (+1 or -1) as the parameter runs
  // forward: +1 rising, -1 falling, 0 standing still. D is the side's tangent there; where it is perpendicular to
  // dir (within kFlat), the first higher derivative that is not gives the way a step inside.
  int side_sign(int i, double end, const double D[3], const double dir[3], int *rc) const {
    const double dn = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    double Dk[3] = {D[0], D[1], D[2]};
    for (int k = 1; k <= kSideOrders; ++k) {
      if (k > 1) {
        BSevalgdsng(degrees[i], 3, codes[i], spans[i], k, end, Dk, rc);
        if (*rc != 0) return 0;
      }
      const double a = dir[0] * Dk[0] + dir[1] * Dk[1] + dir[2] * Dk[2];
      if (std::fabs(a) <= kFlat * dn * std::sqrt(Dk[0] * Dk[0] + Dk[1] * Dk[1] + Dk[2] * Dk[2])) continue;
      // f'(1 - h) = f^(k)(1) (-h)^(k-1) / (k-1)! at the span's end, f'(-1 + h) = f^(k)(-1) h^(k-1) / (k-1)! at
      // its start.
      const int sign = a > 0 ? 1 : -1;
      return end > 0 && k % 2 == 0 ? -sign : sign;
    }
    return 0;
  }

  void point(double t, double out[3], int *rc) const {
    BSevalgdcmp(3, 0, n, degrees, codes, nullptr, spans, breakpoints, 0, t, out, rc);
  }

  // Work for project(): 2 (d + 1) doubles for the largest span.
  std::size_t projection_size() const {
    int d = 0;
    for (int i = 0; i < n; ++i) d = degrees[i] > d ? degrees[i] : d;
    return 2 * (static_cast<std::size_t>(d) + 1);
  }
};

bool curve_arrays_present(const VOQbsp_curve *cv) {
  return cv && cv->poles && cv->knots && (!cv->rational || cv->weights);
}

}  // namespace

void BSevalgdcmp(int dim, int periodic, int n, const int *degrees, const int *codes, const int *kinds,
                 double **spans, const double *breakpoints, int deriv, double t, double *out, int *rc) {
  *rc = 0;
  do {
    if (!degrees || !codes || !spans || !breakpoints || !out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (n < 1 || deriv < 0 || !std::isfinite(t)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double b0 = breakpoints[0], bn = breakpoints[n];
    if (periodic) {
      const double P = bn - b0;
      if (!(P > 0) || !std::isfinite(P)) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      if (t > bn)
        t -= (std::trunc((t - bn) / P) + 1) * P;
      else if (t < b0)
        t += (std::trunc((b0 - t) / P) + 1) * P;
    }
    int i;
    if (t <= b0 || n == 1) {
      i = 0;
    } else if (t >= bn) {
      i = n - 1;
    } else {
      int lo = 0, hi = n;
      while (hi != lo + 1) {
        const int mid = (lo + hi) / 2;
        if (t >= breakpoints[mid])
          lo = mid;
        else
          hi = mid;
      }
      i = lo;
    }
    const double a = breakpoints[i], b = breakpoints[i + 1];
    if (!std::isfinite(a) || !std::isfinite(b) || !(b > a)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double u = 2 * (t - a) / (b - a) - 1;
    const int kind = kinds ? kinds[i] : 1;
    if (kind == 0) {
      BSevacansng(degrees[i], dim, codes[i], spans[i], deriv, u, out, rc);
    } else if (kind == 1) {
      BSevalgdsng(degrees[i], dim, codes[i], spans[i], deriv, u, out, rc);
    } else {
      *rc = BSRC_OUT_OF_RANGE;
    }
    if (deriv > 0 && (*rc == 0 || *rc == BSRC_BAD_DENOMINATOR)) {
      // The chain rule of u = 2 (t - a)/(b - a) - 1; a coordinate that has no value keeps DBL_MAX.
      const double scale = std::pow(2 / (b - a), deriv);
      for (int c = 0; c < dim; ++c)
        if (*rc == 0 || out[c] != DBL_MAX) out[c] *= scale;
    }
  } while (false);
  BSexit(rc, "BSevalgdcmp", "bsevalgdcmp");
}

void BSevalgdsng(int degree, int dim, int code, const double *span, int deriv, double u, double *out, int *rc) {
  *rc = 0;
  do {
    if (!span || !out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    // A rational order beyond the longest quotient series the library holds is refused: the recurrence is
    // quadratic in the order.
    const int q = code == 0 ? dim : BScmlgdcomps(dim, code);
    if (degree < 0 || deriv < 0 || !std::isfinite(u) || q < 0 || (code != 0 && (dim != 2 && dim != 3)) ||
        (code != 0 && deriv > kMaxRationalOrder) ||
        !finite_all((static_cast<std::size_t>(degree) + 1) * q, span)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (code == 0)
      BSpocvlgder(degree, dim, span, deriv, u, out, rc);
    else
      rational_span(degree, dim, code, span, deriv, u, out, rc);
  } while (false);
  BSexit(rc, "BSevalgdsng", "bsevalgdsng");
}

void BScvtrndir(int degree, int rational, const double *f, const double range[2], double tol, int *count,
                double **params, int *rc) {
  *rc = 0;
  BSscratch<100> scratch;
  do {
    if (!count || !params || !f || !range) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *count = 0;
    *params = nullptr;
    if (degree < 0 || !std::isfinite(range[0]) || !std::isfinite(range[1]) || !(range[0] < range[1]) ||
        !(tol >= 0) || !std::isfinite(tol)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (degree == 0) break;  // a constant, or a quotient of two constants
    const std::size_t d = static_cast<std::size_t>(degree);
    // g = f' (degree d - 1), or f' w - f w' whose top coefficient cancels (degree 2d - 2); roots has room for
    // as many roots as g's degree.
    const int gdeg = rational ? 2 * degree - 2 : degree - 1;
    double *work = scratch.take(rational ? 8 * d : 2 * d);
    if (!work) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *g, *roots;
    if (rational) {
      double *fd = work, *wd = work + d, *p1 = work + 2 * d, *p2 = work + 4 * d;
      const double *w = f + d + 1;
      BSderpolgd(degree, f, fd);
      BSderpolgd(degree, w, wd);
      BSprodpolgd(degree - 1, degree, fd, w, p1, rc);
      if (*rc == 0) BSprodpolgd(degree, degree - 1, f, wd, p2, rc);
      if (*rc != 0) break;
      g = work + 6 * d;
      for (int k = 0; k <= gdeg; ++k) g[k] = p1[k] - p2[k];
      roots = work;  // the factors are spent
    } else {
      g = work;
      roots = work + d;
      BSderpolgd(degree, f, g);
    }
    int found = 0;
    BSfndrtlgd1(gdeg, g, tol, &found, roots, rc);
    if (*rc != 0) break;
    int kept = 0;
    for (int k = 0; k < found; ++k)
      if (roots[k] != -1.0 && roots[k] != 1.0) roots[kept++] = roots[k];
    if (kept == 0) break;  // count -1: the derivative vanishes throughout, no isolated root
    double *p = static_cast<double *>(BSdbgmalloc(kept * static_cast<int>(sizeof(double))));
    if (!p) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    const double m = (range[0] + range[1]) / 2, h = (range[1] - range[0]) / 2;
    for (int k = 0; k < kept; ++k) p[k] = m + h * roots[k];
    *params = p;
    *count = kept;
  } while (false);
  BSexit(rc, "BScvtrndir", "bscvtrndir");
}

void BSfndcvturn(const VOQbsp_curve *cv, const double dir[3], double t0, double *t, double point[3], int *rc) {
  *rc = 0;
  CurveComposite comp;
  BSscratch<100> scratch;
  do {
    if (!curve_arrays_present(cv) || !dir || !t || !point) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!std::isfinite(t0) || !finite_all(3, dir) || dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2] == 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    comp.convert(cv, rc);
    if (*rc != 0) break;
    double *f = scratch.take(comp.projection_size());
    if (!f) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double best = DBL_MAX, best_t = 0;
    bool found = false;
    const double *b = comp.breakpoints;
    for (int i = 0; i < comp.n && *rc == 0; ++i) {
      comp.project(i, dir, f);
      int count = 0;
      double *params = nullptr;
      const double range[2] = {b[i], b[i + 1]};
      BScvtrndir(comp.degrees[i], comp.codes[i], f, range, BStoltab[bstol::dist_tol], &count, &params, rc);
      for (int k = 0; k < count; ++k)
        if (std::fabs(params[k] - t0) < best) best = std::fabs(params[k] - t0), best_t = params[k], found = true;
      BSdbgfree(params);
    }
    // Joints. One where the curve doubles back turns whatever the direction. The tangents are compared at the
    // joint itself: in the middles of curved spans they may point apart on a smooth curve (the three spans of a
    // whole circle lie 120 degrees apart). A side whose tangent vanishes at the joint (coincident poles) shows its
    // way in its middle. A joint turns with respect to dir, too, where the projection on dir rises on one side
    // and falls on the other: the top of an arc whose segments meet there, where the derivative along dir
    // vanishes on the span ends that the spans' own search leaves out, or the apex of a roof. A projection that
    // stands still beside the joint (a leg perpendicular to dir) or keeps its way across it makes no turn. The
    // start of an open curve is no joint: only a closed curve runs on from its last span into the first, and its
    // seam is both ends of the range, whichever is nearer.
    const int joints = cv->phy_closed ? comp.n : comp.n - 1;
    for (int i = 0; i < joints && *rc == 0; ++i) {
      const int j = i + 1 < comp.n ? i + 1 : 0;
      double Di[3], Dj[3];
      comp.side_tangent(i, 1.0, Di, rc);
      if (*rc == 0) comp.side_tangent(j, -1.0, Dj, rc);
      const int si = *rc == 0 ? comp.side_sign(i, 1.0, Di, dir, rc) : 0;
      const int sj = *rc == 0 ? comp.side_sign(j, -1.0, Dj, dir, rc) : 0;
      if (*rc != 0) break;
      const bool turns = Di[0] * Dj[0] + Di[1] * Dj[1] + Di[2] * Dj[2] < 0 || si * sj < 0;
      if (!turns) continue;
      const double seam[2] = {b[j], j == 0 ? b[comp.n] : b[j]};
      for (const double at : seam)
        if (std::fabs(at - t0) < best) best = std::fabs(at - t0), best_t = at, found = true;
    }
    if (*rc != 0) break;
    if (!found) {
      *rc = BSRC_NO_TURN;
      break;
    }
    double p[3];
    comp.point(best_t, p, rc);
    if (*rc != 0) break;
    *t = best_t;
    std::memcpy(point, p, sizeof p);
  } while (false);
  BSexit(rc, "BSfndcvturn", "bsfndcvturn");
}

void BSfndcvtrns(const VOQbsp_curve *cv, int *count, double points[][3], double *params, int *rc) {
  *rc = 0;
  CurveComposite comp;
  BSscratch<100> scratch;
  do {
    if (!curve_arrays_present(cv) || !count || !points || !params) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *count = 0;
    comp.convert(cv, rc);
    if (*rc != 0) break;
    double *f = scratch.take(comp.projection_size());
    if (!f) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    int total = 0;
    const double *b = comp.breakpoints;
    for (int i = 0; i < comp.n && *rc == 0; ++i) {
      double D[3];
      comp.tangent(i, -1.0, D, rc);
      // Where the span starts at rest (coincident poles), the first derivative that does not vanish there is the
      // way it leaves its start: a zero tangent would make every parameter, or none, a transition.
      const double tol = BStoltab[bstol::dist_tol];
      for (int k = 2; k <= comp.degrees[i] && *rc == 0 && D[0] * D[0] + D[1] * D[1] + D[2] * D[2] <= tol * tol; ++k)
        BSevalgdsng(comp.degrees[i], 3, comp.codes[i], comp.spans[i], k, -1.0, D, rc);
      if (*rc != 0) break;
      comp.project(i, D, f);
      int found = 0;
      double *found_params = nullptr;
      const double range[2] = {b[i], b[i + 1]};
      BScvtrndir(comp.degrees[i], comp.codes[i], f, range, BStoltab[bstol::dist_tol], &found, &found_params, rc);
      if (found > 0) std::memcpy(params + total, found_params, found * sizeof(double));
      total += found;
      BSdbgfree(found_params);
    }
    for (int k = 0; k < total && *rc == 0; ++k) comp.point(params[k], points[k], rc);
    if (*rc == 0) *count = total;
  } while (false);
  BSexit(rc, "BSfndcvtrns", "bsfndcvtrns");
}
