// Arc length: the length between two parameters (the arc through a given parameter on a closed curve), the
// length of whole polynomial and rational curves span by span, each span's squared speed built exactly as a
// polynomial in a normalised variable and its root integrated by the Gauss-Legendre ladder, and the shortcuts
// for poles at one point, on one line or in one plane.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"
#include "bspline/numerics.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {
// Accuracy asked of a whole curve by BSarclen.
constexpr int kLengthTolEntry = 15;

bool usable(const VOQbsp_curve *cv) {
  return cv && cv->poles && cv->knots && (!cv->rational || cv->weights);
}

// Poles on a line: when every step of the polygon runs the same way along the line, the curve runs monotonically
// along it (variation diminishing, positive weights) and its length is the distance between its end points.
// Steps shorter than dist_tol are noise across the line and do not count either way.
bool runs_one_way(const VOQbsp_curve &cv, const double dir[3]) {
  const double tol = BStoltab[bstol::dist_tol];
  bool forward = false, backward = false;
  double a[3], b[3];
  bsknots::cartesian_pole(cv, 0, a);
  for (int i = 1; i < cv.num_poles; ++i) {
    bsknots::cartesian_pole(cv, i, b);
    const double step = (b[0] - a[0]) * dir[0] + (b[1] - a[1]) * dir[1] + (b[2] - a[2]) * dir[2];
    forward = forward || step > tol;
    backward = backward || step < -tol;
    a[0] = b[0], a[1] = b[1], a[2] = b[2];
  }
  return !(forward && backward);
}

// A curve whose poles lie on the line through point along the unit dir but turn back along it: the distance it
// travels along the line, summed between the turning points of each span (the zeros of the derivative of its
// coordinate along the line). Its speed vanishes where it turns, and a square root of a squared speed that
// touches zero there neither settles under the Gauss ladder nor stays above zero in rounding; along the line the
// length is exact. False (rc 0) when the turning points cannot be found: the caller integrates instead.
bool length_along_line(const VOQbsp_curve &cv, const double point[3], const double dir[3], double *length,
                       int *rc) {
  const int k = cv.order, n = cv.num_poles, d = k - 1;
  const bool rational = cv.rational != 0;
  const int D = rational ? 2 : 1, m = rational ? 2 * d - 2 : d - 1;
  BSscratch<300> work;
  // Coordinate blocks, the span polynomial, its derivative numerator, the roots.
  double *block = work.take(static_cast<std::size_t>(n) * D + 2 * static_cast<std::size_t>(k) + 4 * (m + 2));
  if (!block) {
    *rc = BSRC_NO_SCRATCH;
    return false;
  }
  double *coef = block + static_cast<std::size_t>(n) * D, *der = coef + 2 * k, *re = der + m + 2,
         *im = re + m + 2, *at = im + m + 2;
  const double along0 = bsmeasure::dot3(point, dir);
  for (int i = 0; i < n; ++i) {
    const double w = rational ? cv.weights[i] : 1.0;
    block[i] = bsmeasure::dot3(cv.poles + 3 * i, dir) - w * along0;
    if (rational) block[n + i] = w;
  }
  double total = 0;
  for (int i = d; i < n; ++i) {
    while (i < n && cv.knots[i] == cv.knots[i + 1]) ++i;
    if (i >= n) break;
    BSspantocan(d, n, D, block, cv.knots, i, coef, rc);
    if (*rc != 0) return false;
    const double *x = coef, *w = coef + k;
    // x' (polynomial), or x' w - x w' whose top coefficient cancels (rational).
    for (int j = 0; j <= m; ++j) der[j] = 0;
    if (!rational) {
      for (int j = 0; j < d; ++j) der[j] = (j + 1) * x[j + 1];
    } else {
      for (int a = 0; a < d; ++a)
        for (int b = 0; b <= d; ++b) {
          if (a + b <= m) der[a + b] += (a + 1) * x[a + 1] * w[b];
          if (a + b <= m) der[a + b] -= (a + 1) * w[a + 1] * x[b];
        }
    }
    double big = 0;
    for (int j = 0; j <= m; ++j) big = std::fmax(big, std::fabs(der[j]));
    int deg = m;
    while (deg > 0 && std::fabs(der[deg]) <= 1e-14 * big) --deg;
    int count = 0;
    at[count++] = -1;
    if (deg > 0) {
      const std::int16_t dg = static_cast<std::int16_t>(deg);
      int prc = 0;
      if (!BSrpoly(&prc, der, &dg, re, im)) return false;
      for (int j = 0; j < deg; ++j)
        if (im[j] == 0 && re[j] > -1 && re[j] < 1) at[count++] = re[j];
      std::sort(at + 1, at + count);
    }
    at[count++] = 1;
    auto value = [&](double s) {
      double xv = 0, wv = 0;
      for (int j = d; j >= 0; --j) {
        xv = xv * s + x[j];
        if (rational) wv = wv * s + w[j];
      }
      return rational ? xv / wv : xv;
    };
    double prev = value(at[0]);
    for (int j = 1; j < count; ++j) {
      const double v = value(at[j]);
      total += std::fabs(v - prev);
      prev = v;
    }
  }
  *length = total;
  return true;
}

// The length of a whole curve of either kind; rational selects the span routine and the weight component.
void whole_length(const VOQbsp_curve &cv_in, double tol, bool rational, double *length, int *rc) {
  const VOQbsp_curve cv = bsknots::plain_view(cv_in);
  const int k = cv.order, n = cv.num_poles, d = k - 1;
  if (k < 2 || n < k || !(tol > 0) || !std::isfinite(tol) || BScvcheck(&cv) != 0) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  const double *weights = rational ? cv.weights : nullptr;
  int type = 4;
  double point[3], vec[3], deviation = 0;
  BSlsqptlnpl(n, cv.poles, weights, BSFIT_PLANE, &type, point, vec, &deviation, rc);
  // Weights too uneven for the poles to say where the curve lies: measure it in space.
  if (rational && *rc == BSRC_DEGENERATE) {
    *rc = 0;
    type = BSKIND_NONE;
  }
  if (*rc != 0) return;
  if (type == BSKIND_POINT) return;
  if (type == BSKIND_LINE) {
    // k equal knots inside the knot vector let the curve jump: the polygon and the end points then count the
    // jump, which is no part of the length; the spans are measured one by one instead.
    bool jumps = false;
    for (int j = 1; j < n && !jumps; ++j) jumps = cv.knots[j] == cv.knots[j + k - 1];
    if (k == 2 && !jumps) {
      BScumdist(rc, &n, cv.poles, weights, length);
      return;
    }
    if (!jumps && runs_one_way(cv, vec)) {
      double a[3], b[3];
      BScveval_n(&cv, cv.knots[k - 1], 0, a, rc);
      if (*rc == 0) BScveval_n(&cv, cv.knots[n], 0, b, rc);
      if (*rc == 0) *length = std::sqrt(bsknots::squared_distance(a, b));
      return;
    }
    if (length_along_line(cv, point, vec, length, rc) || *rc != 0) return;
    type = BSKIND_NONE;
  }
  const int dim = type == BSKIND_PLANE ? 2 : 3, D = dim + (rational ? 1 : 0);
  BSscratch<0> work;
  double *block = work.take(static_cast<std::size_t>(n + k) * D);
  if (!block) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  if (type == BSKIND_PLANE) {
    double e1[3], e2[3];
    BSplnframe(vec, e1, e2);
    BSprjpolpl(&cv, point, e1, e2, block);
  } else {
    // A rational curve is measured about the mean of its poles weighted by the sizes of their weights, as a planar
    // one about its plane's point: the speed's numerator P'W - PW' does not depend on where the curve lies, but
    // formed from weighted poles far from the origin it differences absolute coordinates and cancels as many digits
    // as the curve is far relative to its size. Weighted, a pole of tiny weight (far out as a point) does not carry
    // the mean away.
    double origin[3] = {0, 0, 0}, sum = 0;
    for (int i = 0; rational && i < n; ++i) {
      const double sign = cv.weights[i] < 0 ? -1.0 : 1.0;
      for (int c = 0; c < 3; ++c) origin[c] += sign * cv.poles[3 * i + c];
      sum += std::fabs(cv.weights[i]);
    }
    for (int c = 0; c < 3 && sum > 0; ++c) origin[c] /= sum;
    for (int i = 0; i < n; ++i) {
      const double w = rational ? cv.weights[i] : 1.0;
      for (int c = 0; c < 3; ++c) block[c * n + i] = cv.poles[3 * i + c] - w * origin[c];
      if (rational) block[3 * n + i] = w;
    }
  }
  double *coef = block + static_cast<std::size_t>(n) * D;
  const double ts = tol / (n - d);
  for (int i = d; i < n && *rc == 0; ++i) {
    // Empty spans are skipped; the skip stops at the last span, whatever the multiplicity of the end knot.
    while (i < n && cv.knots[i] == cv.knots[i + 1]) ++i;
    if (i >= n) break;
    BSspantocan(d, n, D, block, cv.knots, i, coef, rc);
    double L = 0;
    if (*rc == 0) {
      if (rational)
        BSspnlen4(d, dim, coef, ts, &L, rc);
      else
        BSspnlen3(d, dim, coef, ts, &L, rc);
    }
    if (*rc == 0) *length += L;
  }
}

// Length between low and high of an open curve (or a closed one whose flag is cleared): the piece between them is
// cut out and measured whole. Each end is snapped onto a knot only within its own parameter tolerance (the step
// that moves the curve by dist_tol there), never within the curve's knot tolerance, which comes from the size of
// its polygon: where an end pole of tiny weight squeezes a whole stretch of the curve into the last millionth of
// the parameter, that tolerance spans the stretch, and lengths up to points on it came out as the length up to
// the end. *length stays DBL_MAX when the cutting fails.
void measure_between(VOQbsp_curve *cv, double low, double high, double t_low, double t_high, BSboolean *status,
                     double *length, int *rc) {
  const int k = cv->order, n = cv->num_poles;
  bsknots::ScratchCurve piece;
  if (!piece.take(k, n, cv->rational != 0)) {
    *rc = BSRC_NO_SCRATCH;
    *status = BSFALSE;
    return;
  }
  // Beyond the range the curve is measured up to its end, as a cut there leaves the whole curve.
  const double dist_tol = BStoltab[bstol::dist_tol];
  if (low < cv->knots[k - 1]) {
    low = cv->knots[k - 1];
    BSlocknttol(cv, low, dist_tol, &t_low, rc);
  }
  if (*rc == 0 && high > cv->knots[n]) {
    high = cv->knots[n];
    BSlocknttol(cv, high, dist_tol, &t_high, rc);
  }
  if (*rc != 0) {
    *status = BSFALSE;
    return;
  }
  // An end within its own tolerance of the other is that end: the piece between is no longer than the tolerance
  // reaches (and its knot would not be inserted so close to the other end).
  if (!(high - low >= std::fmax(t_low, t_high))) {
    *length = 0;
    return;
  }
  const BSboolean no = BSFALSE;
  bool point = false;
  // BSarclen has checked the curve.
  *status = bsknots::active_split(rc, cv, &low, &high, &piece.cv, &no, true, &point) ? BSTRUE : BSFALSE;
  // Ends that are one point within their tolerances: the piece between is no longer than those tolerances reach.
  if (!*status && *rc == 0) {
    *status = BSTRUE;
    *length = 0;
    return;
  }
  if (!*status) return;
  const double tol = BStoltab[kLengthTolEntry];
  double L = 0;
  if (cv->rational)
    BSarclg4ds(&piece.cv, tol, &L, rc);
  else
    BSarclg3ds(&piece.cv, tol, &L, rc);
  *length = *rc == 0 ? L : 0;
}
}  // namespace

double BSarclen(int *rc, BSboolean *status, VOQbsp_curve *cv, const double *par0, const double *par1,
                const double *through, double *length) {
  *rc = 0;
  *length = DBL_MAX;
  *status = BSTRUE;
  do {
    if (!usable(cv)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (cv->order < 2 || cv->num_poles < cv->order || !std::isfinite(*par0) || !std::isfinite(*par1) ||
        (through && !std::isfinite(*through)) || BScvcheck(cv) != 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double dist_tol = BStoltab[bstol::dist_tol];
    double t0 = 0, t1 = 0;
    BSlocknttol(cv, *par0, dist_tol, &t0, rc);
    if (*rc == 0) BSlocknttol(cv, *par1, dist_tol, &t1, rc);
    if (*rc != 0) break;
    const double ptol = std::min(t0, t1);
    const double low = std::min(*par0, *par1), high = std::max(*par0, *par1);
    if (cv->phy_closed) {
      const std::uint16_t closed = cv->phy_closed;
      cv->phy_closed = 0;
      const double start = cv->knots[cv->order - 1], end = cv->knots[cv->num_poles];
      const double thr = through ? *through : (low + high) / 2;
      if ((high < thr && thr <= end) || (start <= thr && thr < low)) {
        // The arc through `through` runs over the seam.
        BSboolean s = BSTRUE;
        double first = 0, second = 0;
        BSarclen(rc, &s, cv, &start, &low, nullptr, &first);
        if (*rc != 0) {
          *length = first;
        } else {
          BSarclen(rc, &s, cv, &high, &end, nullptr, &second);
          *length = *rc == 0 ? first + second : second;
        }
      } else {
        BSarclen(rc, status, cv, &low, &high, nullptr, length);
      }
      cv->phy_closed = closed;
      break;
    }
    if (high - low <= ptol) {
      *length = 0;
      break;
    }
    measure_between(cv, low, high, *par0 <= *par1 ? t0 : t1, *par0 <= *par1 ? t1 : t0, status, length, rc);
  } while (false);
  BSexit(rc, "BSarclen", "bsarclen");
  if (*rc != 0) *status = BSFALSE;
  return *length;
}

BSboolean BSarclength(int *rc, VOQbsp_curve *cv, const double *par0, const double *par1, double *length) {
  const double through = (*par0 + *par1) / 2;
  BSboolean status = BSTRUE;
  BSarclen(rc, &status, cv, par0, par1, &through, length);
  BSexit(rc, "BSarclength", "bsarclength");
  return *rc == 0 ? status : BSFALSE;
}

void BSarclg3ds(const VOQbsp_curve *cv, double tol, double *length, int *rc) {
  *rc = 0;
  *length = 0;
  if (!usable(cv))
    *rc = BSRC_NULL_CURVE;
  else
    whole_length(*cv, tol, false, length, rc);
  BSexit(rc, "BSarclg3ds", "bsarclg3ds");
}

void BSarclg4ds(const VOQbsp_curve *cv, double tol, double *length, int *rc) {
  *rc = 0;
  *length = 0;
  if (!usable(cv))
    *rc = BSRC_NULL_CURVE;
  else if (!cv->rational)
    *rc = BSRC_OUT_OF_RANGE;
  else
    whole_length(*cv, tol, true, length, rc);
  BSexit(rc, "BSarclg4ds", "bsarclg4ds");
}

void BSspantocan(int degree, int num_poles, int dim, const double *poles, const double *knots, int span,
                 double *coef, int *rc) {
  *rc = 0;
  const double a = knots[span], b = knots[span + 1];
  const double mid = (a + b) / 2, h = b - a;
  BSscratch<100> work;
  double *ders = work.take(static_cast<std::size_t>(degree + 1) * dim);
  if (!ders) {
    *rc = BSRC_NO_SCRATCH;
  } else {
    BScvevaln(degree, num_poles, dim, poles, knots, mid, span, degree, ders, rc);
    if (*rc == 0) {
      // c_j = D^j(mid) (h/2)^j / j!: the Taylor coefficients in s, where u = mid + s h / 2.
      double f = 1;
      for (int j = 0; j <= degree; ++j) {
        if (j > 0) f = f * (h * 0.5) / j;
        for (int c = 0; c < dim; ++c) coef[c * (degree + 1) + j] = ders[j * dim + c] * f;
      }
    }
  }
  BSexit(rc, "BSspantocan", "bsspantocan");
}

void BSspnlen3(int degree, int dim, const double *coef, double tol, double *length, int *rc) {
  *rc = 0;
  *length = 0;
  if (degree >= 1) {
    const int d = degree, degS = 2 * (d - 1);
    BSscratch<200> work;
    double *q = work.take(static_cast<std::size_t>(d) * dim + degS + 1);
    if (!q) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *S = q + static_cast<std::size_t>(d) * dim;
      for (int i = 0; i <= degS; ++i) S[i] = 0;
      for (int c = 0; c < dim; ++c) {
        double *qc = q + c * d;
        for (int j = 0; j < d; ++j) qc[j] = (j + 1) * coef[c * (d + 1) + j + 1];
        for (int i = 0; i < d; ++i)
          for (int j = 0; j < d; ++j) S[i + j] += qc[i] * qc[j];
      }
      BSintsqrtp(degS, S, tol, 0, length, rc);
    }
  }
  BSexit(rc, "BSspnlen3", "bsspnlen3");
}

void BSspnlen4(int degree, int dim, const double *coef, double tol, double *length, int *rc) {
  *rc = 0;
  *length = 0;
  if (degree >= 1) {
    const int d = degree, degD = 2 * d - 2, degN = 4 * (d - 1);
    BSscratch<500> work;
    // W', P_k', A, B, N
    double *Wd = work.take(static_cast<std::size_t>(d) * 2 + 4 * static_cast<std::size_t>(d) + degN + 1);
    if (!Wd) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      const double *W = coef + dim * (d + 1);
      double *Pd = Wd + d, *A = Pd + d, *B = A + 2 * d, *N = B + 2 * d;
      for (int j = 0; j < d; ++j) Wd[j] = (j + 1) * W[j + 1];
      for (int i = 0; i <= degN; ++i) N[i] = 0;
      for (int c = 0; c < dim; ++c) {
        const double *P = coef + c * (d + 1);
        for (int j = 0; j < d; ++j) Pd[j] = (j + 1) * P[j + 1];
        BSpolymul(d - 1, Pd, d, W, A);
        BSpolymul(d, P, d - 1, Wd, B);
        // The top coefficient (degree 2d - 1) of P'W - PW' cancels; the rest is the numerator of the speed. N, its
        // square, only tells where the speed nearly vanishes: the speed itself is taken from P and W at each node.
        for (int j = 0; j <= degD; ++j) A[j] -= B[j];
        for (int i = 0; i <= degD; ++i)
          for (int j = 0; j <= degD; ++j) N[i + j] += A[i] * A[j];
      }
      bsmeasure::rational_span_length(d, dim, coef, degN, N, tol, length, rc);
    }
  }
  BSexit(rc, "BSspnlen4", "bsspnlen4");
}

void BSplnframe(const double normal[3], double e1[3], double e2[3]) {
  int k = 0;
  for (int i = 1; i < 3; ++i)
    if (std::fabs(normal[i]) < std::fabs(normal[k])) k = i;
  for (int i = 0; i < 3; ++i) e1[i] = (i == k ? 1.0 : 0.0) - normal[k] * normal[i];
  int rc = 0;
  BSnorvec(&rc, e1);
  bsmeasure::cross3(normal, e1, e2);
  BSfaulthook("bsplnframe", nullptr);
}

void BSprjpolpl(const VOQbsp_curve *cv, const double origin[3], const double e1[3], const double e2[3],
                double *out) {
  const int n = cv->num_poles;
  const bool rational = cv->rational && cv->weights;
  for (int i = 0; i < n; ++i) {
    const double w = rational ? cv->weights[i] : 1.0;
    double v[3];
    for (int c = 0; c < 3; ++c) v[c] = cv->poles[3 * i + c] - w * origin[c];
    out[i] = bsmeasure::dot3(v, e1);
    out[n + i] = bsmeasure::dot3(v, e2);
    if (rational) out[2 * n + i] = w;
  }
  BSfaulthook("bsprjpolpl", nullptr);
}
