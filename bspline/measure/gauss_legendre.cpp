// Gauss-Legendre quadrature of square roots of polynomials: access to the rule tables, the rule sum, the small
// polynomial tools the integrators need, and the two integrators behind every arc length.
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"
#include "bspline/numerics.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

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

// Where the squared speed nearly vanishes inside [-1, 1] its root has a kink, and where a weight nearly vanishes
// the speed has a narrow bump: features narrower than any rule's nodes, on which several rules in a row can agree
// with each other while all of them miss by far more than tol. Both sit at interior minima of a polynomial that
// are small beside its largest value on [-1, 1]; the integral is split there, so that every such feature lies at
// the end of a piece, where it costs a rule little. Adds those points of p to at[count..] and returns the new
// count; scratch holds 3 deg doubles. A polynomial whose roots cannot be found is not split: the ladder and its
// bisection stay as they are.
constexpr double kFeature = 1e-2;
constexpr int kGradeSteps = 26;  // 4^-26 of the room: below the spacing of doubles near the point

int add_features(int deg, const double *p, double tol, double *at, int count, double *scratch) {
  // p(0) less the other terms' sizes bounds p from below on [-1, 1], plus them from above: a polynomial
  // that cannot dip below kFeature of its top needs no roots.
  double rest = 0;
  for (int j = 1; j <= deg; ++j) rest += std::fabs(p[j]);
  if (p[0] - rest > kFeature * (p[0] + rest)) return count;
  double *der = scratch, *re = der + deg, *im = re + deg;
  double big = 0;
  for (int j = 1; j <= deg; ++j) {
    der[j - 1] = j * p[j];
    big = std::fmax(big, std::fabs(der[j - 1]));
  }
  int m = deg - 1;
  while (m > 0 && !(std::fabs(der[m]) > 1e-14 * big)) --m;
  if (m < 1 || !std::isfinite(big)) return count;
  const std::int16_t dg = static_cast<std::int16_t>(m);
  int prc = 0;
  if (!BSrpoly(&prc, der, &dg, re, im)) return count;
  auto at_x = [&](double x) {
    double v = 0;
    for (int j = deg; j >= 0; --j) v = v * x + p[j];
    return v;
  };
  double top = std::fmax(std::fabs(at_x(-1)), std::fabs(at_x(1)));
  for (int j = 0; j < m; ++j)
    if (std::fabs(im[j]) <= 1e-9 && std::fabs(re[j]) < 1) top = std::fmax(top, std::fabs(at_x(re[j])));
  for (int j = 0; j < m; ++j) {
    // A complex pair this close to the axis is a near double root: its real part is the point.
    const double x = re[j], low = std::fabs(at_x(x));
    if (!(std::fabs(im[j]) <= 1e-9 && std::fabs(x) < 1 - 1e-9 && low <= kFeature * top)) continue;
    at[count++] = x;
    // The feature is as wide as the stretch over which p grows a few times over its least value; a piece that
    // ends at it but is much longer than that holds it as a corner the rules resolve only slowly. Pieces
    // shrinking by four towards the point reach down to that width, or to where the piece's whole contribution
    // (its width times the root of p) no longer counts against tol.
    for (int side = -1; side <= 1; side += 2) {
      const double room = side < 0 ? x + 1 : 1 - x;
      for (int k = 1; k <= kGradeSteps; ++k) {
        const double step = std::ldexp(room, -2 * k), y = x + side * step, v = std::fabs(at_x(y));
        at[count++] = y;
        if (v <= 4 * low || step * std::sqrt(v) <= 1e-3 * tol) break;
      }
    }
  }
  return count;
}

// Interior split points of the integrand in at[1..count-2], -1 and 1 at the ends, sorted and apart; at holds
// (degN + degW) (2 kGradeSteps + 1) + 2 doubles.
int pieces_of(int degN, const double *N, int degW, const double *W, double tol, double *at, double *scratch) {
  int count = 1;
  at[0] = -1;
  count = add_features(degN, N, tol, at, count, scratch);
  if (W) count = add_features(degW, W, tol, at, count, scratch);
  std::sort(at + 1, at + count);
  int kept = 1;
  for (int j = 1; j < count; ++j)
    if (at[j] > at[kept - 1]) at[kept++] = at[j];
  at[kept++] = 1;
  return kept;
}

// q(s) = p(mid + half s): the piece [mid - half, mid + half] of [-1, 1] stretched over [-1, 1].
void piece_poly(int deg, const double *p, double mid, double half, double *q) {
  for (int j = 0; j <= deg; ++j) q[j] = p[j];
  for (int i = 0; i < deg; ++i)
    for (int j = deg - 1; j >= i; --j) q[j] += mid * q[j + 1];
  double f = 1;
  for (int j = 0; j <= deg; ++j, f *= half) q[j] *= f;
}

// Both integrals over [-1, 1], piece by piece: each piece's integral over its own [-1, 1] times its half width,
// with the whole tol, so that the errors add up to tol at most. W null: no weight.
void integrate_pieces(int degN, const double *N, int degW, const double *W, double tol, int depth, double *result,
                      int *rc) {
  *rc = 0;
  const double floor = rounding_floor(degN, N);
  const int most = std::max({degN, degW, 0});
  // Called once per span, not recursively: the frame holds the split points of a cubic span, rational or not.
  bsmeasure::LocalWork<1024> work;
  const std::size_t points =
      static_cast<std::size_t>(std::max(degN, 0) + std::max(degW, 0)) * (2 * kGradeSteps + 1) + 2;
  double *at = work.take(points + 3 * static_cast<std::size_t>(most) + 2);
  if (!at) {
    *rc = BSRC_NO_SCRATCH;
    BSexit(rc, W ? "BSintsqrtpw" : "BSintsqrtp", W ? "bsintsqrtpw" : "bsintsqrtp");
    return;
  }
  double *scratch = at + points;
  const int count = pieces_of(degN, N, degW, W, tol, at, scratch);
  if (count == 2) {
    if (W)
      sqrtpw_level(degN, N, degW, W, tol, depth, floor, result, rc);
    else
      sqrtp_level(degN, N, tol, depth, floor, result, rc);
    return;
  }
  // The pieces' polynomials take the place of the root scratch, which is done with.
  double *qN = scratch, *qW = qN + degN + 1;
  double total = 0;
  for (int j = 0; j + 1 < count && *rc == 0; ++j) {
    const double mid = (at[j] + at[j + 1]) / 2, half = (at[j + 1] - at[j]) / 2;
    piece_poly(degN, N, mid, half, qN);
    // The piece's values carry the rounding of the whole, its coefficients may carry more.
    const double pfloor = std::fmax(floor, rounding_floor(degN, qN));
    double I = 0;
    if (W) {
      piece_poly(degW, W, mid, half, qW);
      sqrtpw_level(degN, qN, degW, qW, tol, depth, pfloor, &I, rc);
    } else {
      sqrtp_level(degN, qN, tol, depth, pfloor, &I, rc);
    }
    total += half * I;
  }
  if (*rc == 0) *result = total;
}

}  // namespace

void BSintsqrtp(int deg, const double *p, double tol, int depth, double *result, int *rc) {
  integrate_pieces(deg, p, 0, nullptr, tol, depth, result, rc);
}

void BSintsqrtpw(int degN, const double *N, int degW, const double *W, double tol, int depth, double *result,
                 int *rc) {
  integrate_pieces(degN, N, degW, W, tol, depth, result, rc);
}
