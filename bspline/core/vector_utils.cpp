// Vector and point arithmetic, projections, distances and point-set tests, and the effective degree of a series.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "bspline/core/finite_internal.h"
#include "bspline/numerics.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {
constexpr double kEps = 2.220446049250313e-15;

BSboolean ok(const int *rc) { return *rc == 0 ? BSTRUE : BSFALSE; }
}  // namespace

BSboolean BSnorvec(int *rc, double v[3]) {
  *rc = 0;
  const double sq = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  // 2^-970: below it the square root no longer gives a usable reciprocal.
  if (sq <= 1.0020841800044864e-292) {
    *rc = BSRC_NULL_VECTOR;
  } else {
    const double len = std::sqrt(sq);
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
  }
  BSexit(rc, "BSnorvec", "bsnorvec");
  return ok(rc);
}

BSboolean BSvcross(int *rc, const double a[3], const double b[3], double out[3]) {
  *rc = 0;
  const double x = a[1] * b[2] - a[2] * b[1];
  const double y = a[2] * b[0] - a[0] * b[2];
  const double z = a[0] * b[1] - a[1] * b[0];
  out[0] = x;
  out[1] = y;
  out[2] = z;
  BSexit(rc, "BSvcross", "bsvcross");
  return BSTRUE;
}

double BSvdot(int *rc, const double a[3], const double b[3]) {
  *rc = 0;
  BSexit(rc, "BSvdot", "bsvdot");
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double BSvlength(int *rc, const double v[3]) {
  *rc = 0;
  BSexit(rc, "BSvlength", "bsvlength");
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

double BSvlengthsq(int *rc, const double v[3]) {
  *rc = 0;
  BSexit(rc, "BSvlengthsq", "bsvlengthsq");
  return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}

BSboolean BSvdiff(int *rc, double out[3], const double a[3], const double b[3]) {
  *rc = 0;
  for (int i = 0; i < 3; ++i) out[i] = b[i] - a[i];
  BSexit(rc, "BSvdiff", "bsvdiff");
  return BSTRUE;
}

double BSpdistsq(int *rc, const double a[3], const double b[3]) {
  *rc = 0;
  const double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
  BSexit(rc, "BSpdistsq", "bspdistsq");
  return dx * dx + dy * dy + dz * dz;
}

double BSpdist(int *rc, const double a[3], const double b[3]) {
  const double d = std::sqrt(BSpdistsq(rc, a, b));
  BSexit(rc, "BSpdist", "bspdist");
  return d;
}

double BShpdistsq(int *rc, const double p[3], double wp, const double q[3], double wq) {
  *rc = 0;
  double sum = 0;
  for (int i = 0; i < 3; ++i) {
    const double d = q[i] / wq - p[i] / wp;
    sum += d * d;
  }
  BSexit(rc, "BShpdistsq", "bshpdistsq");
  return sum;
}

int BSnotfinite(double x) {
  BSfaulthook("bsnotfinite", nullptr);
  return std::isfinite(x) ? 0 : 1;
}

// Every check of a whole curve comes through here, most of them on the few poles and knots of one span: x - x is 0
// for every finite x and a NaN for an infinity or a NaN, and a NaN survives every sum of such differences, so
// running sums judge the values without a branch each, two to a packed operation.
bool bsfinite::all(const double *values, std::size_t n) {
  typedef double Pair __attribute__((vector_size(16)));
  Pair z0 = {0, 0}, z1 = {0, 0};
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    Pair a, b;
    std::memcpy(&a, values + i, sizeof a);
    std::memcpy(&b, values + i + 2, sizeof b);
    z0 += a - a;
    z1 += b - b;
  }
  double z = (z0[0] + z0[1]) + (z1[0] + z1[1]);
  for (; i < n; ++i) z += values[i] - values[i];
  return z == 0;
}

namespace {
// Whether n values are all finite; a count below 1 holds none.
bool finite_values(int n, const double *values) { return n < 1 || bsfinite::all(values, static_cast<std::size_t>(n)); }

// The knots of cv finite and never decreasing.
bool knots_ordered(const VOQbsp_curve &cv) {
  const int nk = cv.num_poles + cv.order;
  if (!finite_values(nk, cv.knots)) return false;
  bool down = false;
  for (int i = 1; i < nk; ++i) down |= cv.knots[i] < cv.knots[i - 1];
  return !down;
}
}  // namespace

BSboolean BSallfinite(int n, const double *values) {
  const bool finite = finite_values(n, values);
  BSfaulthook("bsallfinite", nullptr);
  return finite ? BSTRUE : BSFALSE;
}

BSboolean BScvfinite(const VOQbsp_curve *cv) {
  bool finite = true;
  if (cv && cv->num_poles > 0) {
    if (cv->poles) finite = BSallfinite(3 * cv->num_poles, cv->poles);
    if (finite && cv->rational && cv->weights) finite = BSallfinite(cv->num_poles, cv->weights);
  }
  BSfaulthook("bscvfinite", nullptr);
  return finite ? BSTRUE : BSFALSE;
}

int BScvcheck(const VOQbsp_curve *cv) {
  if (!cv || !cv->poles || !cv->knots || (cv->rational && !cv->weights)) {
    BSfaulthook("bscvcheck", nullptr);
    return BSRC_NULL_CURVE;
  }
  if (cv->order < 1 || cv->num_poles < cv->order) {
    BSfaulthook("bscvcheck", nullptr);
    return BSRC_OUT_OF_RANGE;
  }
  // Every span-pair solve checks its spans several times over; where no hook is installed, none of the finiteness
  // tests' exits is seen, and the values are judged in place.
  bool sound;
  if (bstest::slow_roads()) {
    sound = BScvfinite(cv) && knots_ordered(*cv);
    BSfaulthook("bscvcheck", nullptr);
  } else {
    sound = finite_values(3 * cv->num_poles, cv->poles) &&
            (!cv->rational || finite_values(cv->num_poles, cv->weights)) && knots_ordered(*cv);
  }
  return sound ? 0 : BSRC_OUT_OF_RANGE;
}

BSboolean BSfuzzyeq(double a, double b) {
  std::uint64_t ba, bb;
  std::memcpy(&ba, &a, sizeof ba);
  std::memcpy(&bb, &b, sizeof bb);
  constexpr std::uint64_t mask = ~static_cast<std::uint64_t>(0x7FF);
  BSfaulthook("bsfuzzyeq", nullptr);
  return (ba & mask) == (bb & mask) ? BSTRUE : BSFALSE;
}

double BSdmod(double x, double y, int *rc) {
  *rc = 0;
  double r = 0;
  const double ay = std::fabs(y);
  if (ay < kEps) {
    *rc = BSRC_ZERO_INTERVAL;
  } else {
    const double ratio = x / ay;
    const double q = std::trunc(ratio);
    r = (ratio - q) * ay;
    // A remainder that is the divisor itself, up to rounding, is a whole multiple.
    if (std::fabs(r) < kEps || std::fabs(r - ay) < kEps) r = 0;
  }
  BSexit(rc, "BSdmod", "bsdmod");
  return r;
}

double BSrpower(double x, double y, int *rc) {
  *rc = 0;
  const double v = y == 0 ? 1.0 : std::exp2(y * std::log2(x));
  BSexit(rc, "BSrpower", "bsrpower");
  return v;
}

BSboolean BSeqspaces(int *rc, const double a[3], const double b[3], const int *n, double *out) {
  *rc = 0;
  // A count below 1 has no spacing; it is refused rather than divided by.
  if ((a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) || *n < 1) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const int cnt = *n;
    for (int i = 0; i <= cnt; ++i)
      for (int c = 0; c < 3; ++c) out[3 * i + c] = a[c] + (b[c] - a[c]) * i / cnt;
    for (int c = 0; c < 3; ++c) {
      out[c] = a[c];
      out[3 * cnt + c] = b[c];
    }
  }
  BSexit(rc, "BSeqspaces", "bseqspaces");
  return ok(rc);
}

BSboolean BSavgpts(int *rc, int n, const double *points, const double *weights, double out[3]) {
  *rc = 0;
  out[0] = out[1] = out[2] = 0;
  if (n < 1) {
    *rc = BSRC_DEGENERATE;
  } else {
    double mean_w = 0;
    if (weights) {
      for (int i = 0; i < n; ++i) mean_w += weights[i];
      mean_w /= n;
      // Weights that are all zero pass the quarter-of-the-mean test and would divide by zero below.
      if (!(mean_w > 0)) *rc = BSRC_DEGENERATE;
      for (int i = 0; i < n && *rc == 0; ++i)
        if (weights[i] < 0.25 * mean_w) *rc = BSRC_DEGENERATE;
    }
    if (*rc == 0) {
      for (int i = 0; i < n; ++i) {
        const double w = weights ? weights[i] : 1.0;
        for (int c = 0; c < 3; ++c) out[c] += points[3 * i + c] / w;
      }
      for (int c = 0; c < 3; ++c) out[c] /= n;
    }
  }
  BSexit(rc, "BSavgpts", "bsavgpts");
  return ok(rc);
}

BSboolean BSproj0(int *rc, const double q[3], const double line[6], double foot[3]) {
  *rc = 0;
  const double *a = line, *b = line + 3;
  double ab[3], aq[3];
  for (int i = 0; i < 3; ++i) {
    ab[i] = b[i] - a[i];
    aq[i] = q[i] - a[i];
  }
  const double len2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
  if (len2 < BStoltab[bstol::zero_tol]) {
    for (int i = 0; i < 3; ++i) foot[i] = a[i];
    *rc = -15;
  } else {
    const double t = (aq[0] * ab[0] + aq[1] * ab[1] + aq[2] * ab[2]) / len2;
    for (int i = 0; i < 3; ++i) foot[i] = a[i] + t * ab[i];
  }
  BSexit(rc, "BSproj0", "bsproj0");
  return ok(rc);
}

BSboolean BSproj1(int *rc, const double a[3], const double u[3], const double q[3], double out[3]) {
  *rc = 0;
  const double t = (q[0] - a[0]) * u[0] + (q[1] - a[1]) * u[1] + (q[2] - a[2]) * u[2];
  for (int i = 0; i < 3; ++i) out[i] = a[i] + t * u[i];
  BSexit(rc, "BSproj1", "bsproj1");
  return BSTRUE;
}

BSboolean BSdistptli(int *rc, const double q[3], const double a[3], const double b[3], double *dist) {
  *rc = 0;
  double ab[3], aq[3], c[3];
  for (int i = 0; i < 3; ++i) {
    ab[i] = b[i] - a[i];
    aq[i] = q[i] - a[i];
  }
  const double len = std::sqrt(ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2]);
  if (len < BStoltab[bstol::dist_tol]) {
    *rc = 8;
  } else {
    c[0] = aq[1] * ab[2] - aq[2] * ab[1];
    c[1] = aq[2] * ab[0] - aq[0] * ab[2];
    c[2] = aq[0] * ab[1] - aq[1] * ab[0];
    *dist = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) / len;
  }
  BSexit(rc, "BSdistptli", "bsdistptli");
  return ok(rc);
}

BSboolean BSdistnct2(int *rc, const double a[3], const double b[3]) {
  *rc = 0;
  const double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
  const bool distinct = dx * dx + dy * dy + dz * dz > BStoltab[bstol::dist_sqtol];
  BSexit(rc, "BSdistnct2", "bsdistnct2");
  return distinct ? BSTRUE : BSFALSE;
}

BSboolean BScoincids(int n, const double *const *points, int *rc) {
  *rc = 0;
  const double tol = BStoltab[bstol::dist_tol];
  bool same = true;
  for (int i = 1; i < n && same; ++i) {
    const double *p = points[i - 1], *q = points[i];
    same = std::fabs(q[2] - p[2]) <= tol && std::fabs(q[1] - p[1]) <= tol && std::fabs(q[0] - p[0]) <= tol;
  }
  BSexit(rc, "BScoincids", "bscoincids");
  return same ? BSTRUE : BSFALSE;
}

BSboolean BScoincidpa(int n, const double **points, int *rc) {
  *rc = 0;
  BSboolean same = BSFALSE;
  BSsorttrpls(n, points, rc);
  if (*rc == 0) same = BScoincids(n, points, rc);
  BSexit(rc, "BScoincidpa", "bscoincidpa");
  return *rc == 0 ? same : BSFALSE;
}

BSboolean BSssln(int *rc, const double a[3], const double b[3], const int *n, const double *const *points) {
  *rc = 0;
  bool one_side = true;
  if (*n >= 2) {
    double d[3], e[3], c0[3], ci[3];
    for (int i = 0; i < 3; ++i) {
      d[i] = a[i] - b[i];
      e[i] = points[0][i] - a[i];
    }
    BSvcross(rc, d, e, c0);
    for (int k = 1; k < *n && one_side; ++k) {
      for (int i = 0; i < 3; ++i) e[i] = points[k][i] - a[i];
      BSvcross(rc, d, e, ci);
      one_side = ci[0] * c0[0] + ci[1] * c0[1] + ci[2] * c0[2] > 0;
    }
  }
  BSexit(rc, "BSssln", "bsssln");
  return one_side ? BSTRUE : BSFALSE;
}

void BSeffdegvec(int n, int dim, const double *coef, double tol, int *m, double **out) {
  const int len = n + 1;
  double total = 0;
  for (int i = 0; i < dim * len; ++i) total += std::fabs(coef[i]);
  const double small = 1e-14 * total;
  if (tol < 0) {
    *m = n;
  } else {
    double tail = 0;
    *m = -1;
    for (int k = n; k >= 0; --k) {
      double sq = 0;
      for (int c = 0; c < dim; ++c) sq += coef[c * len + k] * coef[c * len + k];
      const double norm = std::sqrt(sq);
      if (norm > small) tail += norm;
      if (tail > tol) {
        *m = k;
        break;
      }
    }
  }
  if (*m >= 0) {
    const int keep = *m + 1;
    if (!*out) *out = static_cast<double *>(BSdbgmalloc(static_cast<int>(sizeof(double)) * keep * dim));
    if (*out)
      for (int c = 0; c < dim; ++c) std::memcpy(*out + c * keep, coef + c * len, sizeof(double) * keep);
  }
  BSfaulthook("bseffdegvec", nullptr);
}

BSboolean BScvnormal(int *rc, const VOQbsp_curve *cv, double normal[3]) {
  *rc = 0;
  if (!cv || !cv->poles || (cv->rational && !cv->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else if (cv->num_poles < 3) {
    *rc = -7;
  } else {
    const int n = cv->num_poles;
    BSscratch<0> work;
    const double *pts = cv->poles;
    if (cv->rational) {
      double *unweighted = work.take(3 * static_cast<std::size_t>(n));
      if (!unweighted) {
        *rc = BSRC_NO_SCRATCH;
      } else {
        for (int i = 0; i < n; ++i)
          for (int c = 0; c < 3; ++c) unweighted[3 * i + c] = cv->poles[3 * i + c] / cv->weights[i];
      }
      pts = unweighted;
    }
    if (*rc == 0) {
      BSboolean planar = BSFALSE;
      BStst_plan(n, pts, nullptr, &planar, normal, rc);
      if (*rc == 0 && !planar) *rc = -7;
    }
  }
  BSexit(rc, "BScvnormal", "bscvnormal");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
