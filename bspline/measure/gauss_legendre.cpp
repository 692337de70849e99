// Gauss-Legendre quadrature of square roots of polynomials: access to the rule tables, the rule sum, the small
// polynomial tools the integrators need, and the two integrators behind every arc length.
#include "bspline/core/exit.h"
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

// Settled: two rules agree within tol, within the rounding of the sum itself (a tol below that could never be met,
// and the bisection would run 2^30 integrations before it gave up), or within `noise`, what the rounding of the
// integrand's values can move the sums by (where the values are all rounding, no two rules agree by any less).
bool settled(double I, double prev, double tol, double noise) {
  const double d = std::fabs(I - prev);
  return d < tol || d <= 16 * DBL_EPSILON * std::fabs(I) || d <= noise;
}

// Settled beyond chance: a smooth speed converges so fast that two rules agree far inside tol. Where the speed
// nearly vanishes inside the span its root has a kink, the rules' errors wander, and two neighbouring rules can
// agree within tol while both miss by several times tol; such an agreement waits for the next rule's (the top
// rule's agreement excepted: bisecting a span whose every half holds the kink again would only run too deep).
bool settled_firmly(double I, double prev, double tol, double noise) { return settled(I, prev, 1e-3 * tol, noise); }

// Refusals shared by both integrators: too deep a bisection, a tolerance that is not positive.
bool refused(int depth, double tol, int *rc) {
  if (depth > kMaxDepth)
    *rc = BSRC_TOO_DEEP;
  else if (!(tol > 0) || !std::isfinite(tol))
    *rc = BSRC_OUT_OF_RANGE;
  return *rc != 0;
}

// Climbs the rule ladder. at_pair(x, &f(x), &f(-x), &e(x), &e(-x)) gives the integrand at a node and its mirror,
// false when it cannot (rc becomes `bad`); when Noisy, also the factors e by which noise() (what the rounding of the
// integrand's parts comes to) turns into the rounding those values may carry. True with *result once two rules
// agree; false with rc 0 when none settled.
template <bool Noisy, class AtPair, class Noise>
bool climb_ladder(AtPair at_pair, int bad, double tol, Noise noise, double *result, int *rc) {
  double values[160], factors[Noisy ? 160 : 1];
  double prev = 0;
  bool agreed = false;  // the previous two rules agreed within tol
  for (int r = 0; r < 6; ++r) {
    const int n = kLadder[r];
    if (n > BSglmaxsize) break;
    // The top rule has none after it to confirm an agreement: it is taken as it stands.
    const bool last = r == 5 || kLadder[r + 1] > BSglmaxsize;
    const double *x = nullptr;
    BSextrtlgd(n, &x, rc);
    for (int i = 0; i < n / 2 && *rc == 0; ++i) {
      double *e = Noisy ? factors : nullptr;
      if (!at_pair(x[i], &values[i], &values[n - 1 - i], Noisy ? &e[i] : nullptr, Noisy ? &e[n - 1 - i] : nullptr))
        *rc = bad;
    }
    double I = 0;
    if (*rc == 0) BSintegval(n, values, &I, rc);
    if (*rc == 0 && !std::isfinite(I)) *rc = bad;
    if (*rc != 0) return false;
    // What the values' rounding moves two sums by (twice this one's), only when they do not agree without it (the
    // first sum, compared with 0, agrees only when it is that small).
    double both = 0;
    if (Noisy && r > 0 && !settled(I, prev, tol, 0)) {
      BSintegval(n, factors, &both, rc);
      both *= 2 * noise();
    }
    const bool agrees = settled(I, prev, tol, both);
    if (agrees && (agreed || last || settled_firmly(I, prev, tol, both))) {
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

// What a level integrates over [-1, 1]: sqrt(p) of one polynomial; sqrt(N) / W^2 of two; or the speed
// |P'W - PW'| / W^2 of a rational span from its components P and its weight W, the weight last. The speed of a
// span whose weight spans several orders of magnitude is taken from P, P', W and W' at each node, never from
// N = sum (P'W - PW')^2 formed as one polynomial: N follows W^4, its coefficients are of the size of its largest
// values, and where the weight is small its values drown in their rounding (a quintic with weights 0.0016 to 135
// lost 2.7% of its speed at an end, 0.16% of its length).
enum class Kind { kRoot, kRootOverWeight, kCurve };

struct Form {
  Kind kind;
  int count;           // polynomials
  int deg[2];          // kCurve: every component's degree in deg[0]
  const double *c[2];  // kCurve: c[0] holds the components one after another, the weight last
  int degree(int i) const { return kind == Kind::kCurve ? deg[0] : deg[i]; }
  const double *poly(int i) const {
    return kind == Kind::kCurve ? c[0] + static_cast<std::size_t>(i) * (deg[0] + 1) : c[i];
  }
  std::size_t size() const {
    std::size_t s = 0;
    for (int i = 0; i < count; ++i) s += static_cast<std::size_t>(degree(i)) + 1;
    return s;
  }
  // The same form on polynomials laid out one after another from room (size() doubles).
  Form at(double *room) const {
    Form f = *this;
    f.c[0] = room;
    if (kind == Kind::kRootOverWeight) f.c[1] = room + deg[0] + 1;
    return f;
  }
};

// p and p' at x and -x in one pass: p(+-x) = E +- x O and p'(+-x) = E' +- x O', each a Horner sum in x^2.
inline void value_slope_pm(int deg, const double *p, double x, double *vp, double *vm, double *sp, double *sm) {
  const double y = x * x;
  double E = 0, O = 0, Ed = 0, Od = 0;
  int j = deg;
  if (j % 2) {
    O = p[j];
    Ed = j * p[j];
    --j;
  }
  for (; j >= 2; j -= 2) {
    E = E * y + p[j];
    Od = Od * y + j * p[j];
    O = O * y + p[j - 1];
    Ed = Ed * y + (j - 1) * p[j - 1];
  }
  E = E * y + p[0];
  *vp = E + x * O;
  *vm = E - x * O;
  *sp = Ed + x * Od;
  *sm = Ed - x * Od;
}

// A rational span's speed at x and -x from its dim components and weight (dim 0: as f says), and 1 / W^2 there,
// which turns the rounding of the speed's numerators into that of the speed.
template <int Dim>
bool curve_pm(const Form &f, double x, double *plus, double *minus, double *eplus, double *eminus) {
  const int dim = Dim ? Dim : f.count - 1, d = f.deg[0];
  const double *c = f.c[0];
  double w[2], dw[2], sq[2] = {0, 0};
  value_slope_pm(d, c + static_cast<std::size_t>(dim) * (d + 1), x, &w[0], &w[1], &dw[0], &dw[1]);
  for (int k = 0; k < dim; ++k) {
    double v[2], dv[2];
    value_slope_pm(d, c + static_cast<std::size_t>(k) * (d + 1), x, &v[0], &v[1], &dv[0], &dv[1]);
    for (int s = 0; s < 2; ++s) {
      const double n = dv[s] * w[s] - v[s] * dw[s];
      sq[s] += n * n;
    }
  }
  const double wp = 1 / (w[0] * w[0]), wm = 1 / (w[1] * w[1]);
  *plus = std::sqrt(sq[0]) * wp;
  *minus = std::sqrt(sq[1]) * wm;
  *eplus = wp;
  *eminus = wm;
  // A weight that vanishes at a node makes the speed infinite there (or NaN): no length can be given.
  return std::isfinite(*plus + *minus);
}

// The rounding of the speed's numerators P'W - PW' of a rational span on [-1, 1]: a unit of the sizes of the
// products that meet in them, as it mostly comes out (the bound of every term, degree times larger, stopped the
// ladder short of what the values could still give). A half or a piece carries that rounding, scaled as its
// variable is.
double numerator_rounding(const Form &f) {
  const int dim = f.count - 1, d = f.deg[0];
  auto sizes = [d](const double *p, double *value, double *slope) {
    *value = *slope = 0;
    for (int j = 0; j <= d; ++j) *value += std::fabs(p[j]), *slope += j * std::fabs(p[j]);
  };
  double W = 0, dW = 0, sum = 0;
  sizes(f.poly(dim), &W, &dW);
  for (int k = 0; k < dim; ++k) {
    double P = 0, dP = 0;
    sizes(f.poly(k), &P, &dP);
    sum += dP * W + P * dW;
  }
  return DBL_EPSILON * sum;
}

// The integrand at x and -x; false when it has no value there.
template <Kind K>
bool integrand_pm(const Form &f, double x, double floor, double *plus, double *minus, double *eplus,
                  double *eminus) {
  if constexpr (K == Kind::kCurve) {
    return f.count == 3   ? curve_pm<2>(f, x, plus, minus, eplus, eminus)
           : f.count == 4 ? curve_pm<3>(f, x, plus, minus, eplus, eminus)
                          : curve_pm<0>(f, x, plus, minus, eplus, eminus);
  }
  (void)eplus, (void)eminus;
  double a, b;
  BSpolevpm(f.deg[0], f.c[0], x, &a, &b);
  if (!usable_square(a, floor) || !usable_square(b, floor)) return false;
  *plus = std::sqrt(std::fmax(a, 0.0));
  *minus = std::sqrt(std::fmax(b, 0.0));
  if constexpr (K == Kind::kRoot) return true;
  double wa, wb;
  BSpolevpm(f.deg[1], f.c[1], x, &wa, &wb);
  // A weight that vanishes at a node makes the speed infinite there: no length can be given.
  if (!(wa != 0 && wb != 0) || !std::isfinite(wa) || !std::isfinite(wb)) return false;
  *plus /= wa * wa;
  *minus /= wb * wb;
  return true;
}

// A part of [-1, 1] of half width `half`, stretched over [-1, 1], is integrated in its own variable: the value of
// that integral in the whole's. A curve's speed is a derivative and carries the stretch itself; a square root of a
// given polynomial does not.
double in_parent(const Form &f, double half) { return f.kind == Kind::kCurve ? 1.0 : half; }

void report(const Form &f, int *rc) {
  if (f.kind == Kind::kRoot)
    BSexit(rc, "BSintsqrtp", "bsintsqrtp");
  else
    BSexit(rc, "BSintsqrtpw", "bsintsqrtpw");
}

// The integrator proper: the ladder, bisecting while it does not settle. floor: the allowance for a squared speed
// below zero (for a curve, the rounding of the speed's numerators), fixed at the top level: a half's coefficients
// shrink with each bisection while the rounding that its values carry stays that of the whole, so an allowance
// recomputed from them refused the zero of the speed where a curve turns back.
template <Kind K>
void level(const Form &f, double tol, int depth, double floor, double *result, int *rc) {
  *rc = 0;
  if (!refused(depth, tol, rc)) {
    auto at_pair = [&](double x, double *plus, double *minus, double *eplus, double *eminus) {
      return integrand_pm<K>(f, x, floor, plus, minus, eplus, eminus);
    };
    // A curve's top level finds the rounding of its numerators only when it needs it (floor < 0 until then).
    auto noise = [&] {
      if (floor < 0) floor = numerator_rounding(f);
      return floor;
    };
    const int bad = K == Kind::kRoot ? static_cast<int>(BSRC_OUT_OF_RANGE) : static_cast<int>(BSRC_BAD_SPEED);
    if (!climb_ladder<K == Kind::kCurve>(at_pair, bad, tol, noise, result, rc) && *rc == 0) {
      bsmeasure::LocalWork<256> work;
      double *halves = work.take(2 * f.size());
      if (!halves) {
        *rc = BSRC_NO_SCRATCH;
      } else {
        const Form left = f.at(halves), right = f.at(halves + f.size());
        for (int i = 0; i < f.count; ++i)
          BSpolhalves(f.degree(i), f.poly(i), halves + (left.poly(i) - halves), halves + (right.poly(i) - halves));
        // A curve's halves carry the numerators' rounding at half the scale of their variable.
        double hfloor = K == Kind::kCurve ? noise() / 2 : floor;
        if constexpr (K != Kind::kCurve) {
          const double l = rounding_floor(f.deg[0], left.c[0]), r = rounding_floor(f.deg[0], right.c[0]);
          hfloor = std::fmax(floor, std::fmax(l, r));
        }
        double L = 0, R = 0;
        level<K>(left, tol, depth + 1, hfloor, &L, rc);
        if (*rc == 0) level<K>(right, tol, depth + 1, hfloor, &R, rc);
        if (*rc == 0) *result = (L + R) * in_parent(f, 0.5);
      }
    }
  }
  report(f, rc);
}

void level_of(const Form &f, double tol, int depth, double floor, double *result, int *rc) {
  switch (f.kind) {
    case Kind::kRoot:
      return level<Kind::kRoot>(f, tol, depth, floor, result, rc);
    case Kind::kRootOverWeight:
      return level<Kind::kRootOverWeight>(f, tol, depth, floor, result, rc);
    case Kind::kCurve:
      return level<Kind::kCurve>(f, tol, depth, floor, result, rc);
  }
}

// Where the squared speed nearly vanishes inside [-1, 1] its root has a kink: a feature narrower than any rule's
// nodes, on which several rules in a row can agree with each other while all of them miss by far more than tol.
// It sits at an interior minimum of the squared speed that is small beside its largest value on [-1, 1]; the
// integral is split there, so that the kink lies at the end of a piece, where it costs a rule little. Adds those
// points of p to at[count..] and returns the new count; scratch holds 3 deg doubles. A polynomial whose roots
// cannot be found is not split: the ladder and its bisection stay as they are.
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

// A weight that nearly vanishes off [-1, 1] (a pair of roots beside it, or a root just beyond an end) gives the
// speed a peak as narrow as the root is near: 1 / W^2 there, between the nodes of every rule, which then agree
// with each other while all of them miss it, by several per cent of the length. The integrand is analytic but at
// those roots (and the squared speed's), and a rule on a piece converges the faster the farther its nearest root
// stands from it, measured by the ellipse with foci at the piece's ends that passes through the root. A root
// whose ellipse about [-1, 1] has a parameter below kPoleRho is graded out: pieces doubling in width from the
// point of [-1, 1] nearest it, the first as wide as the root is far, keep it outside the ellipse of parameter 4.6
// about each piece, where the ladder's rules converge by a factor of 20 a node and two of them agreeing is a true
// estimate. Adds those points to at[count..] and returns the new count; scratch holds 2 deg doubles.
constexpr double kPoleRho = 2;
constexpr int kPoleSteps = 40;  // 2^-40 of [-1, 1]: a peak narrower still is left to the bisection

int add_weight_roots(int deg, const double *W, double *at, int count, double *scratch) {
  // No root within |s| <= (rho + 1/rho) / 2 when the constant term outweighs the others there: the disk holds the
  // ellipse, and most weights are this even.
  const double reach = (kPoleRho + 1 / kPoleRho) / 2;
  double rest = 0, power = 1, big = 0;
  for (int j = 1; j <= deg; ++j) {
    power *= reach;
    rest += std::fabs(W[j]) * power;
    big = std::fmax(big, std::fabs(W[j]));
  }
  if (std::fabs(W[0]) > rest) return count;
  int m = deg;
  while (m > 0 && !(std::fabs(W[m]) > 1e-14 * std::fmax(big, std::fabs(W[0])))) --m;
  if (m < 1) return count;
  double *re = scratch, *im = re + deg;
  const std::int16_t dg = static_cast<std::int16_t>(m);
  int prc = 0;
  if (!BSrpoly(&prc, W, &dg, re, im)) return count;
  for (int j = 0; j < m; ++j) {
    const double x = re[j], y = im[j];
    // Half the sum of the distances to the foci -1 and 1 is the semi-major axis of the root's ellipse.
    if (!(std::hypot(x - 1, y) + std::hypot(x + 1, y) < 2 * reach)) continue;
    // A root on [-1, 1] itself leaves no finite integral to grade towards: the ladder meets it as it comes.
    const double x0 = std::fmax(-1.0, std::fmin(1.0, x)), off = std::hypot(x - x0, y);
    if (off == 0) continue;
    const double r = std::fmax(off, std::ldexp(1.0, -kPoleSteps));
    if (x0 > -1 && x0 < 1) at[count++] = x0;
    for (int side = -1; side <= 1; side += 2) {
      double step = r;
      for (int k = 0; k <= kPoleSteps; ++k, step *= 2) {
        const double y1 = x0 + side * step;
        if (!(y1 > -1 && y1 < 1)) break;
        at[count++] = y1;
      }
    }
  }
  return count;
}

// Interior split points of the integrand in at[1..count-2], -1 and 1 at the ends, sorted and apart; at holds
// split_room(degN, degW) doubles.
std::size_t split_room(int degN, int degW) {
  return static_cast<std::size_t>(std::max(degN, 0)) * (2 * kGradeSteps + 1) +
         static_cast<std::size_t>(std::max(degW, 0)) * (2 * kPoleSteps + 3) + 2;
}

int pieces_of(int degN, const double *N, int degW, const double *W, double tol, double *at, double *scratch) {
  int count = 1;
  at[0] = -1;
  count = add_features(degN, N, tol, at, count, scratch);
  if (W) count = add_weight_roots(degW, W, at, count, scratch);
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

// The form's integral over [-1, 1], piece by piece: each piece's integral over its own [-1, 1] times its half width,
// with the whole tol, so that the errors add up to tol at most. The pieces come from the kinks of N (the squared
// speed) and the roots of W (the weight; null: none).
void integrate_pieces(const Form &f, int degN, const double *N, int degW, const double *W, double tol, int depth,
                      double *result, int *rc) {
  *rc = 0;
  // floor: for a square root, the allowance for a value below zero; for a curve, the rounding of the speed's
  // numerators, which a whole span finds when it needs it and its pieces take from it.
  const double floor = f.kind == Kind::kCurve ? -1.0 : rounding_floor(degN, N);
  const int most = std::max({degN, degW, 0});
  // Called once per span, not recursively: the frame holds the split points of a cubic span, rational or not.
  bsmeasure::LocalWork<1024> work;
  const std::size_t points = split_room(degN, W ? degW : 0);
  double *at = work.take(points + std::max(3 * static_cast<std::size_t>(most) + 2, f.size()));
  if (!at) {
    *rc = BSRC_NO_SCRATCH;
    report(f, rc);
    return;
  }
  double *scratch = at + points;
  const int count = pieces_of(degN, N, degW, W, tol, at, scratch);
  if (count == 2) {
    level_of(f, tol, depth, floor, result, rc);
    return;
  }
  // The pieces' polynomials take the place of the root scratch, which is done with.
  const Form piece = f.at(scratch);
  const double rounding = f.kind == Kind::kCurve ? numerator_rounding(f) : 0.0;
  double total = 0;
  for (int j = 0; j + 1 < count && *rc == 0; ++j) {
    const double mid = (at[j] + at[j + 1]) / 2, half = (at[j + 1] - at[j]) / 2;
    for (int i = 0; i < f.count; ++i)
      piece_poly(f.degree(i), f.poly(i), mid, half, scratch + (piece.poly(i) - scratch));
    // The piece's values carry the rounding of the whole, its coefficients may carry more.
    const double pfloor =
        f.kind == Kind::kCurve ? rounding * half : std::fmax(floor, rounding_floor(degN, piece.c[0]));
    double I = 0;
    level_of(piece, tol, depth, pfloor, &I, rc);
    total += I * in_parent(f, half);
  }
  if (*rc == 0) *result = total;
}

}  // namespace

void BSintsqrtp(int deg, const double *p, double tol, int depth, double *result, int *rc) {
  const Form f{Kind::kRoot, 1, {deg, 0}, {p, nullptr}};
  integrate_pieces(f, deg, p, 0, nullptr, tol, depth, result, rc);
}

void BSintsqrtpw(int degN, const double *N, int degW, const double *W, double tol, int depth, double *result,
                 int *rc) {
  const Form f{Kind::kRootOverWeight, 2, {degN, degW}, {N, W}};
  integrate_pieces(f, degN, N, degW, W, tol, depth, result, rc);
}

void bsmeasure::rational_span_length(int degree, int dim, const double *coef, int degN, const double *N, double tol,
                                     double *result, int *rc) {
  const Form f{Kind::kCurve, dim + 1, {degree, 0}, {coef, nullptr}};
  integrate_pieces(f, degN, N, degree, f.poly(dim), tol, 0, result, rc);
}
