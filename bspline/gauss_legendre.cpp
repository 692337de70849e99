// Gauss-Legendre quadrature of square roots of polynomials: access to the rule tables, the rule sum, the small
// polynomial tools the integrators need, and the two integrators behind every arc length.
#include "bspline/measure.h"
#include "bspline/measure_internal.h"

#include <cfloat>
#include <cmath>

namespace {
constexpr int kSizes[9] = {4, 8, 12, 16, 20, 40, 80, 160, 320};
constexpr int kNodeOffsets[9] = {0, 4, 12, 24, 40, 60, 100, 180, 340};
// The rules the integrators climb through; 8, 16 and 320 points are only for other callers of the tables.
constexpr int kLadder[6] = {4, 12, 20, 40, 80, 160};
constexpr int kMaxDepth = 30;

// Index of rule n in the tables, or -1.
int rule_index(int n) {
  if (n > BSglmaxsize) return -1;
  for (int i = 0; i < 9; ++i)
    if (kSizes[i] == n) return i;
  return -1;
}

// Polynomial values at the nodes are sums of terms up to sum |p_j| (|x| <= 1); a value that falls below zero by
// no more than the rounding of such a sum is a zero of the speed, not a fault of the curve.
double rounding_floor(int deg, const double *p) {
  double s = 0;
  for (int j = 0; j <= deg; ++j) s += std::fabs(p[j]);
  return 64 * DBL_EPSILON * s;
}

// Settled: two rules agree within tol, or within the rounding of the sum itself (a tol below that could never
// be met, and the bisection would run 2^30 integrations before it gave up).
bool settled(double I, double prev, double tol) {
  const double d = std::fabs(I - prev);
  return d < tol || d <= 16 * DBL_EPSILON * std::fabs(I);
}

// Settled beyond chance: a smooth speed converges so fast that two rules agree far inside tol. Where the speed
// nearly vanishes inside the span its root has a kink, the rules' errors wander, and two neighbouring rules can
// agree within tol while both miss by several times tol; such an agreement waits for the next rule's (the top
// rule's agreement excepted: bisecting a span whose every half holds the kink again would only run too deep).
bool settled_firmly(double I, double prev, double tol) { return settled(I, prev, 1e-3 * tol); }

// Refusals shared by both integrators: too deep a bisection, a tolerance that is not positive.
bool refused(int depth, double tol, int *rc) {
  if (depth > kMaxDepth)
    *rc = BSRC_TOO_DEEP;
  else if (!(tol > 0) || !std::isfinite(tol))
    *rc = BSRC_OUT_OF_RANGE;
  return *rc != 0;
}

// Climbs the rule ladder. at_pair(x, &f(x), &f(-x)) gives the integrand at a node and its mirror, false when it
// cannot (rc becomes `bad`). True with *result once two rules agree; false with rc 0 when none settled.
template <class AtPair>
bool climb_ladder(AtPair at_pair, int bad, double tol, double *result, int *rc) {
  double values[160];
  double prev = 0;
  bool agreed = false;  // the previous two rules agreed within tol
  for (int r = 0; r < 6; ++r) {
    const int n = kLadder[r];
    if (n > BSglmaxsize) break;
    // The top rule has none after it to confirm an agreement: it is taken as it stands.
    const bool last = r == 5 || kLadder[r + 1] > BSglmaxsize;
    const double *x = nullptr;
    BSextrtlgd(n, &x, rc);
    for (int i = 0; i < n / 2 && *rc == 0; ++i)
      if (!at_pair(x[i], &values[i], &values[n - 1 - i])) *rc = bad;
    double I = 0;
    if (*rc == 0) BSintegval(n, values, &I, rc);
    if (*rc == 0 && !std::isfinite(I)) *rc = bad;
    if (*rc != 0) return false;
    const bool agrees = settled(I, prev, tol);
    if (agrees && (agreed || last || settled_firmly(I, prev, tol))) {
      *result = I;
      return true;
    }
    agreed = agrees;
    prev = I;
  }
  return false;
}

// A squared speed at a node: usable when finite and not below zero by more than rounding (NaN fails both).
bool usable_square(double v, double floor) { return v >= -floor && std::isfinite(v); }
}  // namespace

void BSextrtlgd(int n, const double **nodes, int *rc) {
  *rc = 0;
  const int r = rule_index(n);
  if (r < 0)
    *rc = BSRC_OUT_OF_RANGE;
  else
    *nodes = BSglnodes + kNodeOffsets[r];
  BSexit(rc, "BSextrtlgd", "bsextrtlgd");
}

void BSglmaxrule(int *n) {
  *n = BSglmaxsize;
  BSfaulthook("bsglmaxrule", nullptr);
}

void BSintegval(int n, const double *values, double *sum, int *rc) {
  *rc = 0;
  const int r = rule_index(n);
  if (r < 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double *w = BSglweights + kNodeOffsets[r] / 2;
    const int h = n / 2;
    double s = 0;
    for (int j = 0; j < h; ++j) s += w[j] * (values[h - 1 - j] + values[h + j]);
    *sum = s;
  }
  BSexit(rc, "BSintegval", "bsintegval");
}

void BSpolevpm(int deg, const double *p, double x, double *at_plus, double *at_minus) {
  if (deg < 0) {
    *at_plus = *at_minus = 0;
  } else if (deg == 0) {
    *at_plus = *at_minus = p[0];
  } else {
    const double x2 = x * x;
    const int top_even = deg - deg % 2, top_odd = deg % 2 ? deg : deg - 1;
    double E = p[top_even], O = p[top_odd];
    for (int j = top_even - 2; j >= 0; j -= 2) E = E * x2 + p[j];
    for (int j = top_odd - 2; j >= 1; j -= 2) O = O * x2 + p[j];
    *at_plus = E + x * O;
    *at_minus = E - x * O;
  }
  BSfaulthook("bspolevpm", nullptr);
}

void BSpolhalves(int deg, const double *p, double *left, double *right) {
  // right(s) = r(s + 1) and left(s) = r(s - 1) with r(s) = p(s / 2); the shift by one is repeated synthetic
  // division, and r(s - 1) is reached through the mirrored polynomial r(-s).
  double scale = 1;
  for (int j = 0; j <= deg; ++j) {
    right[j] = p[j] * scale;
    left[j] = j % 2 ? -right[j] : right[j];
    scale *= 0.5;
  }
  for (int i = 0; i < deg; ++i)
    for (int j = deg - 1; j >= i; --j) {
      right[j] += right[j + 1];
      left[j] += left[j + 1];
    }
  for (int j = 1; j <= deg; j += 2) left[j] = -left[j];
  BSfaulthook("bspolhalves", nullptr);
}

void BSpolymul(int m, const double *a, int n, const double *b, double *c) {
  for (int i = 0; i <= m + n; ++i) c[i] = 0;
  for (int i = 0; i <= m; ++i)
    for (int j = 0; j <= n; ++j) c[i + j] += a[i] * b[j];
  BSfaulthook("bspolymul", nullptr);
}

namespace {

// The integrators proper. floor: the allowance for a squared speed below zero, fixed at the top level: a half's
// coefficients shrink with each bisection while the rounding that its values carry stays that of the whole,
// so an allowance recomputed from them refused the zero of the speed where a curve turns back.
void sqrtp_level(int deg, const double *p, double tol, int depth, double floor, double *result, int *rc) {
  *rc = 0;
  if (!refused(depth, tol, rc)) {
    auto at_pair = [&](double x, double *plus, double *minus) {
      double a, b;
      BSpolevpm(deg, p, x, &a, &b);
      if (!usable_square(a, floor) || !usable_square(b, floor)) return false;
      *plus = std::sqrt(std::fmax(a, 0.0));
      *minus = std::sqrt(std::fmax(b, 0.0));
      return true;
    };
    if (!climb_ladder(at_pair, BSRC_OUT_OF_RANGE, tol, result, rc) && *rc == 0) {
      bsmeasure::LocalWork<200> work;
      double *halves = work.take(2 * static_cast<std::size_t>(deg) + 2);
      if (!halves) {
        *rc = BSRC_NO_SCRATCH;
      } else {
        double *left = halves, *right = halves + deg + 1;
        BSpolhalves(deg, p, left, right);
        const double hfloor = std::fmax(floor, std::fmax(rounding_floor(deg, left), rounding_floor(deg, right)));
        double L = 0, R = 0;
        sqrtp_level(deg, left, tol, depth + 1, hfloor, &L, rc);
        if (*rc == 0) sqrtp_level(deg, right, tol, depth + 1, hfloor, &R, rc);
        // Each half was integrated over [-1, 1], twice its own width.
        if (*rc == 0) *result = (L + R) / 2;
      }
    }
  }
  BSexit(rc, "BSintsqrtp", "bsintsqrtp");
}

void sqrtpw_level(int degN, const double *N, int degW, const double *W, double tol, int depth, double floor,
                  double *result, int *rc) {
  *rc = 0;
  if (!refused(depth, tol, rc)) {
    auto at_pair = [&](double x, double *plus, double *minus) {
      double a, b, wa, wb;
      BSpolevpm(degN, N, x, &a, &b);
      BSpolevpm(degW, W, x, &wa, &wb);
      // A weight that vanishes at a node makes the speed infinite there: no length can be given.
      if (!usable_square(a, floor) || !usable_square(b, floor) || !(wa != 0 && wb != 0) || !std::isfinite(wa) ||
          !std::isfinite(wb))
        return false;
      *plus = std::sqrt(std::fmax(a, 0.0)) / (wa * wa);
      *minus = std::sqrt(std::fmax(b, 0.0)) / (wb * wb);
      return true;
    };
    if (!climb_ladder(at_pair, BSRC_BAD_SPEED, tol, result, rc) && *rc == 0) {
      bsmeasure::LocalWork<500> work;
      double *halves = work.take(2 * static_cast<std::size_t>(degN + degW) + 4);
      if (!halves) {
        *rc = BSRC_NO_SCRATCH;
      } else {
        double *Nl = halves, *Nr = Nl + degN + 1, *Wl = Nr + degN + 1, *Wr = Wl + degW + 1;
        BSpolhalves(degN, N, Nl, Nr);
        BSpolhalves(degW, W, Wl, Wr);
        const double hfloor = std::fmax(floor, std::fmax(rounding_floor(degN, Nl), rounding_floor(degN, Nr)));
        double L = 0, R = 0;
        sqrtpw_level(degN, Nl, degW, Wl, tol, depth + 1, hfloor, &L, rc);
        if (*rc == 0) sqrtpw_level(degN, Nr, degW, Wr, tol, depth + 1, hfloor, &R, rc);
        if (*rc == 0) *result = (L + R) / 2;
      }
    }
  }
  BSexit(rc, "BSintsqrtpw", "bsintsqrtpw");
}

}  // namespace

void BSintsqrtp(int deg, const double *p, double tol, int depth, double *result, int *rc) {
  sqrtp_level(deg, p, tol, depth, rounding_floor(deg, p), result, rc);
}

void BSintsqrtpw(int degN, const double *N, int degW, const double *W, double tol, int depth, double *result,
                 int *rc) {
  sqrtpw_level(degN, N, degW, W, tol, depth, rounding_floor(degN, N), result, rc);
}
