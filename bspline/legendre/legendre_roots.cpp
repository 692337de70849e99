// Real roots of a Legendre series on [-1, 1] by bisection: each half is re-expanded exactly in its own parameter
// (table rows, not samples), halves that cannot hold a root are dropped by a coefficient-sum bound, and pieces
// whose series has come down to degree 1 or 2 are solved in closed form. A series that vanishes on a whole half
// has a multiple root; the multiple roots come from the roots of the first and second derivatives, and are divided
// out together before the search starts again. Also the minimum bound of a series and the roots of a Bezier
// polynomial.
#include "bspline/core/exit.h"
#include "bspline/legendre.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

bool finite_series(int n, const double *c) {
  for (int k = 0; k <= n; ++k)
    if (!std::isfinite(c[k])) return false;
  return true;
}

double abs_sum(int from, int n, const double *c) {
  double s = 0;
  for (int k = from; k <= n; ++k) s += std::fabs(c[k]);
  return s;
}

// Euclidean norm, scaled so that squares of large coefficients do not overflow.
double norm(int n, const double *c) {
  double top = 0;
  for (int k = 0; k <= n; ++k) top = std::fmax(top, std::fabs(c[k]));
  if (top == 0) return 0;
  double sq = 0;
  for (int k = 0; k <= n; ++k) sq += (c[k] / top) * (c[k] / top);
  return top * std::sqrt(sq);
}

// -1, 1 or 0 when x lies within tr of it (in that order), else x.
double snap(double x, double tr) {
  if (std::fabs(x - 1) < tr) return 1;
  if (std::fabs(x + 1) < tr) return -1;
  if (std::fabs(x) < tr) return 0;
  return x;
}

// One node of the bisection. A node's series in pool[index] is spent once its halves are made, so that slot
// collects the node's roots: the left subtree hands its roots straight into it, the right subtree leaves its own
// in pool[index+1]. Nothing is kept on the stack per level, and the recursion can run hundreds of levels deep.
int bisect(int n, double *const *pool, double tol, double a, double b, int index, int L, int *count, double *roots) {
  *count = 0;
  const double *s = pool[index];
  if (index == 0 && n < 5) BSeffdeg(n, s, tol / 128, &n);
  if (n < 0) return BSRC_MULTIPLE_ROOT;
  BSboolean maybe = 0;
  BStstrtlgd(n, s, tol, &maybe);
  if (!maybe) return 0;
  if (n == 1 || n == 2) {
    double r[2];
    int k = 0;
    BSboolean spread = 0;
    if (n == 1)
      BSlinrtlgd(s, tol, &k, r);
    else
      BSquadrtlgd(s, tol, &k, r, &spread);
    if (spread) return BSRC_NOT_ISOLATED;
    for (int i = 0; i < k; ++i) roots[(*count)++] = r[i];
    return 0;
  }
  if (index + 2 >= L) return BSRC_NO_SCRATCH;
  double *left = pool[index + 2], *right = pool[index + 1], *own = pool[index];
  int rc = 0;
  BShlfcpolgd(n, s, left, right, &rc);
  if (rc != 0) return rc;
  BSboolean zl = 0, zr = 0;
  BStstzlgd(n, left, tol, &zl);
  BStstzlgd(n, right, tol, &zr);
  if (zl || zr) return BSRC_MULTIPLE_ROOT;
  int nl = n, nr = n;
  BSeffdeg(n, left, tol / 128, &nl);
  BSeffdeg(n, right, tol / 128, &nr);
  const double mid = (a + b) / 2;

  int cl = 0, cr = 0;
  rc = bisect(nl, pool, tol, a, mid, index + 2, L, &cl, own);
  if (rc != 0) return rc;
  for (int i = 0; i < cl; ++i) own[i] = own[i] / 2 - 0.5;
  rc = bisect(nr, pool, tol, mid, b, index + 1, L, &cr, right);
  if (rc != 0) return rc;
  // A root at the division point is reported by both halves when both see it, but a tolerance can snap a root
  // of one half onto it that the other half, where the series only comes within tol at its end, never sees. The
  // halves' ends map exactly onto 0, so the copies there are counted and the larger count kept.
  int at_left = 0, at_right = 0;
  while (at_left < cl && own[cl - 1 - at_left] == 0.0) ++at_left;
  while (at_right < cr && right[at_right] == -1.0) ++at_right;
  const int twice = std::min(at_left, at_right);
  cr -= twice;
  right += twice;
  if (cl + cr > n) return BSRC_NOT_ISOLATED;
  for (int i = 0; i < cr; ++i) own[cl + i] = (right[i] + 1) / 2;
  *count = cl + cr;
  if (roots != own) std::memcpy(roots, own, sizeof(double) * static_cast<std::size_t>(*count));
  return 0;
}

// A root of multiplicity mult is a simple root of the (mult-1)-th derivative, and there it is as sharp as a simple
// root; found as a run of roots of c'', a root of multiplicity 4 and more is a multiple root of c'', only as close
// as that root's band, and dividing by (t - r)^mult there changes the series by far more than its rounding.
// Newton steps on the derivative bring r to that derivative's root; a step that does not reduce it ends the walk.
int polish(int m, const double *c, int mult, double *r) {
  double x = *r, g = 0, g1 = 0;
  int rc = 0;
  BSevalgder(m, c, mult - 1, x, &g, &rc);
  for (int step = 0; step < 8 && rc == 0 && g != 0; ++step) {
    BSevalgder(m, c, mult, x, &g1, &rc);
    if (rc != 0 || !(g1 != 0)) break;
    const double y = x - g / g1;
    if (!(std::fabs(y) < 1)) break;
    double gy = 0;
    BSevalgder(m, c, mult - 1, y, &gy, &rc);
    if (rc != 0 || !(std::fabs(gy) < std::fabs(g))) break;
    x = y;
    g = gy;
  }
  *r = x;
  return rc;
}

// The least tolerance the k-th derivative of c can be judged within: the rounding of its value, from the
// largest a P_j^(k) reaches on [-1, 1], P_j^(k)(1) = (j+k)! / (2^k k! (j-k)!). Beside the rounding of the
// series' value, which the tolerance is already raised to, that of a derivative grows with the degree as j^2k.
double derivative_tol(int m, const double *c, int k, double tol) {
  double sum = 0;
  for (int j = k; j <= m; ++j) {
    double top = 1;
    for (int i = 1; i <= k; ++i) top *= (j + i) * ((j - k + i) / (2.0 * i));
    sum += std::fabs(c[j]) * top;
  }
  return std::fmax(tol, 4 * DBL_EPSILON * sum);
}

// What dividing c by (t - r)^mult changes, in exact arithmetic: its Taylor terms at r below mult, at most
// sum |c^(k)(r)| (1 + |r|)^k / k! on [-1, 1]. Each derivative counts beyond its rounding only: at a root of
// multiplicity 5 at an end, the 4th derivative of a degree-16 series rounds to more than the tolerance.
double division_change(int m, const double *c, double r, int mult, int *rc) {
  double change = 0, power = 1, factorial = 1;
  for (int k = 0; k < mult && *rc == 0; ++k) {
    double D = 0;
    BSevalgder(m, c, k, r, &D, rc);
    change += std::fmax(0.0, std::fabs(D) - derivative_tol(m, c, k, 0)) * power / factorial;
    power *= 1 + std::fabs(r);
    factorial *= k + 1;
  }
  return change;
}

// The place and multiplicity of a multiple root near r, at least mult: snapped onto 0 or an end within its
// reach, grown while further derivatives vanish within tol (or their rounding), then polished. band: how far
// from it the series stays within tol, as far as its lowest derivative that does not vanish tells.
int settle(int m, const double *c, double tol, double *r, int *mult, double *band) {
  int rc = 0;
  *band = 0;
  if (std::fabs(*r) != 1 && *r != 0) {
    // |D| eps^mult / mult! = tol.
    double D = 0;
    BSevalgder(m, c, *mult, *r, &D, &rc);
    if (rc != 0) return rc;
    if (D != 0 && std::isfinite(D)) {
      const double eps = std::exp((std::lgamma(*mult + 1.0) + std::log(tol) - std::log(std::fabs(D))) / *mult);
      double to = *r;
      if (std::fabs(*r) <= eps)
        to = 0;
      else if (std::fabs(*r - 1) <= eps)
        to = 1;
      else if (std::fabs(*r + 1) <= eps)
        to = -1;
      // The reach assumes the series is its multiple root's power alone: a wide reach (a large tolerance) can
      // span to an end where the series is far from zero, and even where it is not, its slope there can be far
      // from zero. The snapped place must still be a multiple root within tol, or the deflation below, which
      // makes it an exact one, would change the series by more than tol.
      if (to != *r && division_change(m, c, to, *mult, &rc) <= tol && rc == 0) *r = to;
      if (rc != 0) return rc;
    }
  }
  while (*mult < m - 1) {
    double D = 0;
    BSevalgder(m, c, *mult, *r, &D, &rc);
    if (rc != 0 || std::fabs(D) > derivative_tol(m, c, *mult, tol)) break;
    ++*mult;
  }
  if (rc == 0 && std::fabs(*r) != 1 && *r != 0) rc = polish(m, c, *mult, r);
  double D = 0;
  if (rc == 0) BSevalgder(m, c, *mult, *r, &D, &rc);
  if (rc == 0 && D != 0 && std::isfinite(D))
    *band = std::exp((std::lgamma(*mult + 1.0) + std::log(tol) - std::log(std::fabs(D))) / *mult);
  return rc;
}

// The quotient is the series less what the divisions dropped, and with several multiple roots that is more than
// each drop: the rounding of one root's place comes back wherever the other factors are large against their size
// at that root. A simple root of the quotient then sits where the series is that far from zero. Newton steps on
// the series bring it back, as long as each reduces the value and the whole move stays within twice the first:
// a place where the quotient only comes near zero is not carried off to some other root. Nor beyond [lo, hi], half
// the way to its neighbours: from a root of the quotient far from any of the series, a first step can reach
// across the interval, where the search for a crossing near it would then look on the wrong side of its bounds.
void refine(int m, const double *c, const double *d1, double lo, double hi, double *x, double *v) {
  double at = *x, value = *v, first = 0;
  for (int step = 0; step < 4; ++step) {
    double slope = 0;
    BSevalpolgd(m - 1, d1, at, &slope);
    if (!(slope != 0)) break;
    const double y = at - value / slope;
    if (step == 0) first = std::fabs(y - at);
    double vy = 0;
    if (!(y >= lo && y <= hi) || !(std::fabs(y - *x) <= 2 * first)) break;
    BSevalpolgd(m, c, y, &vy);
    if (!(std::fabs(vy) < std::fabs(value))) break;
    at = y;
    value = vy;
  }
  *x = at;
  *v = value;
}

void find_all(int n, const double *c, double tol, int doubles, int *count, double *roots, int *rc);

// The attempts one call of BSfndrtlgd1 may make in all. Each multiple root sends the search down the series'
// derivatives, every level retrying at narrower tolerances, so that a high degree with roots clustered everywhere
// would fan out beyond any wait; past the budget the roots count as not isolated. Ordinary multiple roots, two to
// four of multiplicity 4 to 12 at least 0.1 apart (degree up to 48) under 1e-12, need at most 398 where each
// comes back with its multiplicity (1,297 of 3,000 drawn; most others lie within tol of each other over wide
// stretches); the budget is five times that. Those that spend it go on, given more, to 10^5 attempts and more and
// are refused all the same, or answer a handful of roots for dozens.
constexpr int kAttemptBudget = 2000;
struct AttemptBudget {
  int depth = 0;  // find_all calls open on this thread
  int used = 0;   // attempts made since the outermost one began
};
thread_local AttemptBudget attempt_budget;

// The place in [lo, hi] where c changes sign (va and vb its values at the ends, of opposite signs or one of them
// zero), to the last bits the evaluation tells: bisection, since it is taken where the series is flat and a
// secant would crawl.
double crossing(int m, const double *c, double lo, double hi, double va, double vb) {
  if (va == 0) return lo;
  if (vb == 0) return hi;
  for (int step = 0; step < 200; ++step) {
    const double mid = lo + (hi - lo) / 2;
    if (!(mid > lo && mid < hi)) break;
    double v = 0;
    BSevalpolgd(m, c, mid, &v);
    if (v == 0) return mid;
    if ((v > 0) == (va > 0)) {
      lo = mid;
      va = v;
    } else {
      hi = mid;
    }
  }
  return std::fabs(va) <= std::fabs(vb) ? lo : hi;
}

// A crossing of c near x within reach (and inside [lo, hi] and [-1, 1]): the nearest sign change found by steps
// growing from the Newton step at x, solved on c. False when c keeps its sign that far.
bool crossing_near(int m, const double *c, const double *d1, double x, double reach, double lo, double hi,
                   double *at) {
  double v = 0, slope = 0;
  BSevalpolgd(m, c, x, &v);
  if (v == 0) {
    *at = x;
    return true;
  }
  BSevalpolgd(m - 1, d1, x, &slope);
  lo = std::fmax(lo, std::fmax(-1.0, x - reach));
  hi = std::fmin(hi, std::fmin(1.0, x + reach));
  double step = slope != 0 ? std::fabs(v / slope) : reach / 1024;
  step = std::fmin(std::fmax(step, reach / (1 << 20)), reach);
  // Downhill first (where the Newton step points), then both ways.
  const double toward = slope * v > 0 ? -1 : 1;
  for (; step <= 2 * reach; step *= 2)
    for (const double sign : {toward, -toward}) {
      const double y = std::fmin(hi, std::fmax(lo, x + sign * step));
      double vy = 0;
      BSevalpolgd(m, c, y, &vy);
      if (vy == 0 || (vy > 0) != (v > 0)) {
        *at = sign > 0 ? crossing(m, c, x, y, v, vy) : crossing(m, c, y, x, vy, v);
        return true;
      }
    }
  return false;
}


// The series' clean crossings: places a < b where it lies beyond tol with opposite signs and, between them, only
// within tol (brackets[2i], brackets[2i+1]; at most m of them). Each holds a root whatever the search makes of
// the stretches where the series stays within tol, and nothing a tolerance decides can move it. Found by a sweep
// of pieces re-expanded as in the bisection, cut until each is monotone (its derivative's constant term beats the
// rest), lies beyond tol throughout or within tol throughout; the pieces' ends, in order, are where the series is
// read. A piece that stays undecided (its derivative lost in the rounding, beside a turn) is read at its ends only:
// the depth and the number of pieces are bounded, so that a series within its rounding over a whole stretch does
// not cut it into pieces without end.
// touches[2i], touches[2i+1] (at most m + 1 of them): places where the series lies beyond tol with the same sign
// and, between them, was read within tol; an end read within tol bounds one too. Roots there (a near-double root, a
// cluster within its band) are what no crossing tells.
int clean_brackets(int m, const double *c, double tol, int *count, double *brackets, int *touched,
                   double *touches) {
  *count = 0;
  *touched = 0;
  if (m < 1) return 0;
  constexpr int kDepth = 40;
  const std::size_t w = static_cast<std::size_t>(m) + 1;
  BSscratch<0> scratch;
  // kDepth + 2 pieces on the stack (one pending right half per level), each with its ends and depth, and one
  // series for the derivative.
  double *block = scratch.take((kDepth + 3) * (w + 3));
  if (!block) return BSRC_NO_SCRATCH;
  const auto slot = [&](int i) { return block + static_cast<std::size_t>(i) * (w + 3); };
  double *derivative = slot(kDepth + 2);
  int top = 0, pieces = 0;
  const int budget = 16 * (m + 1) + 256;
  std::memcpy(slot(0), c, sizeof(double) * w);
  slot(0)[w] = -1, slot(0)[w + 1] = 1, slot(0)[w + 2] = 0;
  double last_x = -1, last_v = 0;  // the last place read beyond tol
  BSevalpolgd(m, c, -1, &last_v);
  if (!(std::fabs(last_v) > tol)) last_v = 0;
  bool within = last_v == 0;  // read within tol since last_x
  while (top >= 0) {
    double *s = slot(top);
    const double a = s[w], b = s[w + 1];
    const int depth = static_cast<int>(s[w + 2]);
    ++pieces;
    BSboolean maybe = 1, flat = 0;
    BStstrtlgd(m, s, tol, &maybe);
    if (maybe) BStstzlgd(m, s, tol, &flat);
    bool leaf = !maybe || flat || depth >= kDepth || pieces >= budget || !(b - a > 0);
    if (!leaf) {
      BSderpolgd(m, s, derivative);
      const double rest = abs_sum(1, m - 1, derivative);
      leaf = std::fabs(derivative[0]) > rest + 1e-14 * rest;
    }
    if (leaf) {
      --top;
      double v = 0;
      BSevalpolgd(m, c, b, &v);
      if (std::fabs(v) > tol) {
        if (last_v != 0 && (v > 0) != (last_v > 0) && *count < m) {
          brackets[2 * *count] = last_x;
          brackets[2 * *count + 1] = b;
          ++*count;
        } else if (within && *touched <= m) {
          touches[2 * *touched] = last_x;
          touches[2 * *touched + 1] = b;
          ++*touched;
        } else if (within) {
          *touched = m + 2;  // more than are kept: none can be judged
        }
        last_x = b;
        last_v = v;
        within = false;
      } else {
        within = true;
      }
      continue;
    }
    // The right half goes where the piece was, the left above it, so that the pieces are read from left to right.
    if (top + 1 > kDepth + 1) return BSRC_NO_SCRATCH;
    double *left = slot(top + 1);
    int rc = 0;
    std::memcpy(derivative, s, sizeof(double) * w);
    BShlfcpolgd(m, derivative, left, s, &rc);
    if (rc != 0) return rc;
    const double mid = a + (b - a) / 2;
    s[w] = mid, s[w + 1] = b, s[w + 2] = depth + 1;
    left[w] = a, left[w + 1] = mid, left[w + 2] = depth + 1;
    ++top;
  }
  if (within && *touched <= m) {
    touches[2 * *touched] = last_x;
    touches[2 * *touched + 1] = 1;
    ++*touched;
  } else if (within) {
    *touched = m + 2;
  }
  return 0;
}

// Every clean crossing (above) without a root among roots[0..count) gets its own, the series' crossing in its
// bracket. Where that makes more roots than the degree, roots answered where the series stays within tol (a
// cluster that cannot be told apart) give way to it, the farthest from zero first; of those in a bracket, the one
// nearest zero stays, as the bracket's own.
int answer_crossings(int m, const double *c, int nb, const double *brackets, int *count, double *roots) {
  int k = *count;
  BSscratch<128> scratch;
  double *value = scratch.take(2 * static_cast<std::size_t>(m) + 2);  // |c| at each root, then whether it stays
  if (!value) return BSRC_NO_SCRATCH;
  double *stays = value + m + 1;
  for (int j = 0; j < k; ++j) {
    BSevalpolgd(m, c, roots[j], &value[j]);
    value[j] = std::fabs(value[j]);
  }
  for (int i = 0; i < nb; ++i) {
    const double lo = brackets[2 * i], hi = brackets[2 * i + 1];
    if (std::any_of(roots, roots + k, [&](double r) { return r >= lo && r <= hi; })) continue;
    if (k >= m) {
      std::fill(stays, stays + k, 0.0);
      for (int b = 0; b < nb; ++b) {
        int own = -1;
        for (int j = 0; j < k; ++j)
          if (roots[j] >= brackets[2 * b] && roots[j] <= brackets[2 * b + 1] && (own < 0 || value[j] < value[own]))
            own = j;
        if (own >= 0) stays[own] = 1;
      }
      int worst = -1;
      for (int j = 0; j < k; ++j)
        if (stays[j] == 0 && (worst < 0 || value[j] > value[worst])) worst = j;
      if (worst < 0) break;
      std::memmove(roots + worst, roots + worst + 1, sizeof(double) * static_cast<std::size_t>(k - worst - 1));
      std::memmove(value + worst, value + worst + 1, sizeof(double) * static_cast<std::size_t>(k - worst - 1));
      --k;
    }
    double vlo = 0, vhi = 0;
    BSevalpolgd(m, c, lo, &vlo);
    BSevalpolgd(m, c, hi, &vhi);
    const double x = crossing(m, c, lo, hi, vlo, vhi);
    int at = 0;
    while (at < k && roots[at] < x) ++at;
    std::memmove(roots + at + 1, roots + at, sizeof(double) * static_cast<std::size_t>(k - at));
    std::memmove(value + at + 1, value + at, sizeof(double) * static_cast<std::size_t>(k - at));
    roots[at] = x;
    BSevalpolgd(m, c, x, &value[at]);
    value[at] = std::fabs(value[at]);
    ++k;
  }
  *count = k;
  return 0;
}

// Roots that the bisection reports within each other's bands (where the series stays within tol of zero about
// each: tol over the first derivative, or a double root's reach over the second) are one place of the series,
// and their number must be what the series does there. The closed forms of neighbouring pieces can each report
// the same near-double root (one snapped onto the division point between them), or a flat crossing (a triple
// root lifted off zero by a few tol) as two roots or a double one. Such a group stands as a multiple root where
// the series' derivatives at its best root allow one (and its crossings agree, odd or even); else it becomes the
// series' own crossings across it, read between its distinct roots, or a double root where it has none.
int settle_clusters(int m, const double *c, double tol, int *count, double *roots) {
  const int k = *count;
  if (k < 2 || m < 2) return 0;
  BSscratch<192> scratch;
  double *band = scratch.take(4 * static_cast<std::size_t>(k) + 2 + static_cast<std::size_t>(m));
  if (!band) return BSRC_NO_SCRATCH;
  // band: where the series stays within tol about a root as far as its first or second derivative tells (the
  // nearer); wide: beyond either, where the series has left tol on both sides of a near-double root. The first
  // derivative's reach alone is no smaller, so roots apart by more than theirs form no group: that is all of them
  // as a rule, and the second derivative is read only where it is not.
  double *wide = band + k, *d1 = band + 2 * k, *at_x = d1 + m, *at_v = at_x + k + 1;
  BSderpolgd(m, c, d1);
  bool near = false;
  for (int i = 0; i < k; ++i) {
    double slope = 0;
    BSevalpolgd(m - 1, d1, roots[i], &slope);
    band[i] = slope != 0 ? tol / std::fabs(slope) : 2.0;
    near = near || (i > 0 && roots[i] - roots[i - 1] <= band[i - 1] + band[i]);
  }
  if (!near) return 0;
  for (int i = 0; i < k; ++i) {
    double d2 = 0;
    int rc = 0;
    BSevalgder(m, c, 2, roots[i], &d2, &rc);
    const double second = d2 != 0 ? std::sqrt(2 * tol / std::fabs(d2)) : 2.0;
    wide[i] = 2 * std::fmax(band[i], second);
    band[i] = std::fmin(band[i], second);
  }
  int out = 0;
  for (int i = 0; i < k;) {
    int j = i + 1;
    while (j < k && roots[j] - roots[j - 1] <= band[j - 1] + band[j]) ++j;
    const int group = j - i;
    int keep = group;
    double at = roots[i];
    // The series' sign is read beyond the group, short of its neighbours; a group reaching an end of [-1, 1] is
    // left as found: what the series does beyond the end is unknown.
    const double a = std::fmax(roots[i] - wide[i], i > 0 ? (roots[i - 1] + roots[i]) / 2 : -2.0);
    const double z = std::fmin(roots[j - 1] + wide[j - 1], j < k ? (roots[j - 1] + roots[j]) / 2 : 2.0);
    int crossings = 0;
    if (group >= 2 && a > -1 && z < 1) {
      // The series' sign beyond the group and between its distinct roots: its crossings there.
      int points = 0;
      at_x[points++] = a;
      for (int r = i + 1; r < j; ++r)
        if (roots[r] != roots[r - 1]) at_x[points++] = (roots[r - 1] + roots[r]) / 2;
      at_x[points++] = z;
      for (int p = 0; p < points; ++p) BSevalpolgd(m, c, at_x[p], &at_v[p]);
      for (int p = 1; p < points; ++p) crossings += (at_v[p - 1] >= 0) != (at_v[p] >= 0);
      double best = INFINITY;
      for (int r = i; r < j; ++r) {
        double v = 0;
        BSevalpolgd(m, c, roots[r], &v);
        if (std::fabs(v) < best) best = std::fabs(v), at = roots[r];
      }
      // The multiplicity the derivatives allow at the best root: a multiple root within tol stands as such.
      int mult = 1, rc = 0;
      for (double d = 0; mult < group && rc == 0; ++mult) {
        BSevalgder(m, c, mult, at, &d, &rc);
        if (!(std::fabs(d) <= derivative_tol(m, c, mult, tol))) break;
      }
      if (mult >= 2 && mult % 2 == crossings % 2)
        keep = mult;
      else if (crossings > 0)
        keep = crossings;
      else
        keep = 2;  // a near-double root, reported more than twice
      if (keep == group) {
        crossings = 0;  // as found
      } else if (keep == crossings) {
        for (int p = 1; p < points; ++p)
          if ((at_v[p - 1] >= 0) != (at_v[p] >= 0))
            roots[out++] = crossing(m, c, at_x[p - 1], at_x[p], at_v[p - 1], at_v[p]);
        i = j;
        continue;
      }
    }
    for (int r = 0; r < keep; ++r) roots[out++] = group == keep ? roots[i + r] : at;
    i = j;
  }
  *count = out;
  return 0;
}

// The multiple-root treatment of one attempt on c[0..m] (m >= 0): roots of multiplicity 3 and more are simple
// roots of c'' (runs of equal roots for more), double roots simple roots of c', in both cases where c and the
// derivatives below vanish within tol. Every one found is divided out as often as its multiplicity, in one
// quotient, whose roots are the rest. One quotient for all: a quotient searched for the next multiple root within
// a tolerance shrunk by each division before it, as it must be (below), sees its rounding before that root, and
// a triple root in it becomes a single crossing, a double root none.
int deflate_multiple(int m, const double *c, double attempt_tol, double tol, int doubles, int nb,
                     const double *brackets, int nt, const double *touches, int *count, double *roots) {
  if (m < 3) return BSRC_NOT_ISOLATED;
  const std::size_t w = static_cast<std::size_t>(m) + 1;
  double *block = BSscratchtake(11 * w, nullptr);
  if (!block) return BSRC_NO_SCRATCH;
  double *d1 = block, *d2 = block + w, *found_at = block + 2 * w, *work = block + 3 * w, *bands = block + 4 * w;
  double *droots = block + 5 * w, *mults = block + 6 * w;  // multiplicities, as whole numbers
  double *flat_at = block + 7 * w, *saved = block + 8 * w;  // saved: found_at, bands, mults before the divisions
  int rc = 0;
  do {
    BSderpolgd(m, c, d1);
    BSderpolgd(m - 1, d1, d2);
    int found = 0, total = 0;
    const double rounding = derivative_tol(m, c, 0, 0), tol1 = derivative_tol(m, c, 1, tol);
    const double rounding1 = derivative_tol(m, c, 1, 0);
    // What a faithful division may leave (below), and the value within which a root of the quotient is one of c.
    const double evaluation = 64 * DBL_EPSILON * (m + 1) * abs_sum(0, m, c);
    const double keep = 16 * tol + evaluation, accept = tol + 2 * rounding;
    // A root at r of at least multiplicity mult, unless it is one already found (a root of c' inside the band of
    // a root found before is that root again) or more than the degree allows.
    const auto take = [&](double r, int mult) {
      // An end where the series is within tol is taken first, as a simple root, but its band can be that of a
      // multiple root just inside it (or just beyond): a multiple root found within it is what the series has
      // there, and takes the end's place, or else it is divided out as a simple root and the quotient is not the
      // series'.
      int replaces = -1;
      for (int f = 0; f < found; ++f)
        if (std::fabs(r - found_at[f]) <= bands[f] || r == found_at[f]) {
          if (replaces < 0 && mult > 1 && mults[f] == 1 && std::fabs(found_at[f]) == 1 && r != found_at[f]) {
            replaces = f;
            continue;
          }
          return 0;
        }
      double band = 0;
      const int code = settle(m, c, tol, &r, &mult, &band);
      // The series' clean crossings are roots whatever else it has: those that no root found holds keep their
      // share of the degree, which a stretch within tol, turning there many times, would otherwise take up.
      int reserved = 0;
      for (int b = 0; b < nb; ++b) {
        const double lo = brackets[2 * b], hi = brackets[2 * b + 1];
        const auto in = [lo, hi](double x) { return x >= lo && x <= hi; };
        reserved += !in(r) && std::none_of(found_at, found_at + found, in);
      }
      bool again = false;
      for (int f = 0; f < found; ++f) again = again || (f != replaces && found_at[f] == r);
      if (code != 0 || total - (replaces >= 0) + mult + reserved > m || again) return code;
      if (replaces >= 0) {
        for (int f = replaces; f + 1 < found; ++f) {
          found_at[f] = found_at[f + 1];
          bands[f] = bands[f + 1];
          mults[f] = mults[f + 1];
        }
        --found;
        --total;
      }
      found_at[found] = r;
      bands[found] = band;
      mults[found++] = mult;
      total += mult;
      return 0;
    };
    // An inflection where the series comes near zero but not within tol (or not flat enough for a triple root):
    // where the search saw a half vanish within tol and no multiple root is found, the series crosses there
    // through a flat stretch, a triple root lifted off zero. Its crossing is found on the series itself, between
    // the places where a cubic of the series' third derivative there would have passed the lift twice over, and
    // divided out as a simple root: a quotient searched for it under its own tolerance sees the lift as rounding
    // and no root it can isolate.
    int flats = 0, flat_roots = 0;
    const auto take_flat = [&](double r) {
      double third = 0, v = 0;
      int code = 0;
      BSevalgder(m, c, 3, r, &third, &code);
      BSevalpolgd(m, c, r, &v);
      if (code != 0 || !(third != 0) || !std::isfinite(third) || total >= m) return code;
      const double reach = 2 * std::cbrt(6 * std::fabs(v) / std::fabs(third));
      const double lo = std::fmax(-1.0, r - reach), hi = std::fmin(1.0, r + reach);
      double vlo = 0, vhi = 0;
      BSevalpolgd(m, c, lo, &vlo);
      BSevalpolgd(m, c, hi, &vhi);
      if ((vlo >= 0) == (vhi >= 0)) return 0;
      const double x = crossing(m, c, lo, hi, vlo, vhi);
      double slope = 0;
      BSevalpolgd(m - 1, d1, x, &slope);
      for (int f = 0; f < found; ++f)
        if (std::fabs(x - found_at[f]) <= bands[f]) return 0;
      found_at[found] = x;
      bands[found] = slope != 0 ? tol / std::fabs(slope) : 0.0;
      mults[found++] = 1;
      ++total;
      ++flat_roots;
      return 0;
    };
    // Whether the series about a turn at x is a parabola over the band where it stays within tol, as a double
    // root's is: its cubic term stays within an eighth of the tolerance there (a triple root split into three
    // crossings has turns within tol whose cubic terms reach a third of it).
    const auto parabola = [&](double x) {
      double second = 0, third = 0;
      int code = 0;
      BSevalgder(m, c, 2, x, &second, &code);
      BSevalgder(m, c, 3, x, &third, &code);
      const double band = second != 0 ? std::sqrt(2 * tol / std::fabs(second)) : INFINITY;
      return code == 0 && std::fabs(third) * band * band * band / 6 <= tol / 8;
    };
    // A root at an end of [-1, 1] comes first, with the multiplicity its derivatives there give: a multiple root
    // at an end is a root of c'' or c' there that may come out just beyond it, or just inside and one short. And
    // after the divisions the quotient's tolerance is the series' shrunk by the factors' reach: a simple root
    // that the series has exactly at an end, the quotient has a rounding beyond it, where no closed form reaches.
    // The series itself within tol at an end has a root there, as the closed forms snap it.
    for (double end : {-1.0, 1.0}) {
      double v = 0;
      BSevalpolgd(m, c, end, &v);
      if (rc == 0 && std::fabs(v) <= tol) rc = take(end, 1);
    }
    // Then the roots of c'' (order 2) and of c' (order 1), in runs of equal values. A search for roots of c'
    // looks for double roots of its own one level less deep: at a root of multiplicity k, searches that each
    // looked for them all the way down would fan out into a tree of 2^k branches of derivatives.
    for (int order = 2; order >= (doubles > 0 ? 1 : 2) && rc == 0; --order) {
      int nd = 0;
      find_all(m - order, order == 2 ? d2 : d1, attempt_tol, order == 2 ? doubles : doubles - 1, &nd, droots, &rc);
      for (int i = 0; i < nd && rc == 0;) {
        int j = i + 1;
        while (j < nd && droots[j] == droots[i]) ++j;
        double v1 = 0, v0 = 0;
        BSevalpolgd(m - 1, d1, droots[i], &v1);
        BSevalpolgd(m, c, droots[i], &v0);
        // A turn of the series within its rounding is a double root. One within tol but beyond is either two
        // crossings, which the quotient keeps as its own and a division would merge, a near miss, which the
        // quotient's closed forms judge as the series' own would have, or a stretch the series spends within tol
        // about a root of higher order (a turn inside a triple root's band is none of its own). But the quotient's
        // tolerance is the series' shrunk by the factors' reach, and there a double root of a series rounded a
        // little off zero was a near miss and lost. So a turn within tol is a double root, as the series' closed
        // forms take a near-double root, where the parabola about it holds over its band.
        bool turn = order == 1 && j - i == 1 && std::fabs(v0) <= tol;
        if (turn && std::fabs(v0) > 8 * rounding) turn = parabola(droots[i]);
        // Where c' is judged by its rounding rather than tol, the root of c'' is itself placed only within its
        // search's rounding, and c' there is off by that much more: a triple root split by the rounding of the
        // coefficients came out just over it (2.8e-13 against 2.7e-13) and was lost. Twice the rounding takes it
        // (a simple root of c'' of the caller's series, a triple root: a run of them is a higher one, and in the
        // searches of derivatives and quotients below, taken so loosely, roots of multiplicity 10 were lost); what
        // the division then changes is still judged.
        const bool loose = j - i == 1 && attempt_budget.depth == 1;
        if (order == 1 && j - i == 1 ? turn
                                     : std::fabs(v0) <= tol && (order == 1 || std::fabs(v1) <= (loose ? std::fmax(tol1, 2 * rounding1) : tol1)))
          rc = take(droots[i], j - i + order);
        else if (order == 2 && j - i == 1 && std::fabs(v0) > tol && std::fabs(v0) <= 64 * keep)
          flat_at[flats++] = droots[i];
        i = j;
      }
    }
    if (rc != 0) break;
    // The flat crossings are divided out at once where no multiple root is found, else only when the quotient
    // of the multiple roots alone cannot be searched.
    int first_flat = found, k = 0;
    const int found0 = found, total0 = total;
    bool quotient_refused = false;
    std::memcpy(saved, found_at, sizeof(double) * static_cast<std::size_t>(found));
    std::memcpy(saved + found, bands, sizeof(double) * static_cast<std::size_t>(found));
    std::memcpy(saved + 2 * static_cast<std::size_t>(found), mults, sizeof(double) * static_cast<std::size_t>(found));
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (attempt > 0) {
        if (flats == 0 || flat_roots > 0) break;
        rc = 0;
        found = found0;
        total = total0;
        std::memcpy(found_at, saved, sizeof(double) * static_cast<std::size_t>(found));
        std::memcpy(bands, saved + found, sizeof(double) * static_cast<std::size_t>(found));
        std::memcpy(mults, saved + 2 * static_cast<std::size_t>(found),
                    sizeof(double) * static_cast<std::size_t>(found));
      }
      first_flat = found;
      if (attempt > 0 || std::none_of(mults, mults + found, [](double q) { return q > 1; }))
        for (int f = 0; f < flats && rc == 0; ++f) rc = take_flat(flat_at[f]);
      if (rc != 0) break;
      if (flat_roots == 0 && std::none_of(mults, mults + found, [](double q) { return q > 1; })) {
        rc = BSRC_NOT_ISOLATED;
        continue;
      }
      // The division is only as faithful as each root is multiple: where r is a steep crossing that merely
      // passes within tol, the quotient differs from the series by far more than tol and crosses elsewhere. Such
      // a deflation fails the attempt, and a narrower one isolates the roots instead.
      for (int f = 0; f < found && rc == 0; ++f)
        if (!(division_change(m, c, found_at[f], static_cast<int>(mults[f]), &rc) <= keep) && rc == 0)
          rc = BSRC_NOT_ISOLATED;
      if (rc != 0) continue;

      // What the divisions drop at one root, the others' factors carry to the rest of [-1, 1], multiplied by how
      // much larger they are there than at that root: the rounding of roots close together comes back far from
      // them that much larger (its reach, below), and so does what each root leaves within tol. Beyond that
      // reach and tol the quotient is not the series' any more; then the first multiple root alone is divided
      // out, as its search then finds the next one in the quotient.
      double grown = 1, reach = 1;
      int deg = m;
      for (int pass = 0;; ++pass) {
        // grown: the factor the rescaling has multiplied the quotient by, so that c = prod (t - r)^mult work /
        // grown.
        std::memcpy(work, c, sizeof(double) * w);
        grown = reach = 1;
        deg = m;
        for (int f = 0; f < found; ++f) {
          const double r = found_at[f];
          reach *= std::pow(1 + std::fabs(r), mults[f]);
          for (int q = 0; q < mults[f]; ++q, --deg) {
            double v = 0;
            BSevalpolgd(deg, work, r, &v);
            work[0] -= v;  // r becomes an exact root, so the division leaves no remainder
            BSdefllgd(deg, work, r, work);
            work[deg] = 0;
            const double before = norm(deg, work);
            BSrescllgd(m, c, deg, work);
            if (before > 0) grown *= norm(deg, work) / before;
          }
        }
        bool faithful = true;
        for (int i = 0; i <= 64 && faithful; ++i) {
          const double x = -1 + i / 32.0;
          double vc = 0, vq = 0, factors = 1, carried = 0;
          BSevalpolgd(m, c, x, &vc);
          BSevalpolgd(deg, work, x, &vq);
          for (int f = 0; f < found; ++f) {
            factors *= std::pow(x - found_at[f], mults[f]);
            double own = 0, power = 1, factorial = 1, others = 1;
            for (int q = 0; q < mults[f]; ++q, power *= std::fabs(x - found_at[f]), factorial *= q)
              own += derivative_tol(m, c, q, 0) * power / factorial;
            for (int g = 0; g < found; ++g)
              if (g != f) others *= std::pow(std::fabs((x - found_at[g]) / (found_at[f] - found_at[g])), mults[g]);
            carried += own * others;
          }
          faithful = std::fabs(vc - vq * factors / grown) <= keep + 16 * carried;
        }
        if (faithful) break;
        const double *first = std::find_if(mults, mults + found, [](double q) { return q > 1; });
        if (pass > 0 || found == 1 || first == mults + found) {
          rc = BSRC_NOT_ISOLATED;
          break;
        }
        found_at[0] = found_at[first - mults];
        mults[0] = *first;
        found = 1;
        first_flat = 1;
      }
      if (rc != 0) continue;
      // Equal coefficient norms do not make equal values: a quotient whose coefficients cancel can stay far
      // under tol across runs of crossings of the series, and searched with tol it would vanish there and lose
      // them. A change of the quotient within its own tolerance moves the series by at most that times reach /
      // grown.
      const double qtol = tol * grown / reach;
      k = 0;
      find_all(deg, work, std::isfinite(qtol) ? qtol : tol, doubles, &k, roots, &rc);
      if (rc == 0 && k < 0) rc = BSRC_NOT_ISOLATED;
      quotient_refused = rc == BSRC_NOT_ISOLATED;
      if (rc != BSRC_NOT_ISOLATED) break;
    }
    // A faithful quotient is still read in doubles: divided by a multiple root's factors, it is large about that
    // root and small elsewhere, so that its own rounding can exceed what a cluster of the series far from the
    // root leaves of it (bumps of hundreds of tol in the series, under the rounding in the quotient), and its
    // search refuses what the series tells apart. The caller's series then answers for itself: its clean
    // crossings (each added below, in answer_crossings) beside the multiple roots found, as long as every
    // stretch where it comes within tol without crossing holds one of those: else a cluster inside its band is
    // there, which the crossings do not tell, and the refusal stands.
    if (rc == BSRC_NOT_ISOLATED && quotient_refused && nb > 0) {
      bool told = nt <= m + 1;
      for (int t = 0; t < nt && told; ++t)
        told = std::any_of(found_at, found_at + found,
                           [&](double x) { return x >= touches[2 * t] && x <= touches[2 * t + 1]; });
      if (told) {
        rc = 0;
        k = 0;
      }
    }
    if (rc != 0) break;
    // The rest are roots of the quotient, rescaled: where the tolerance is wide, the quotient can vanish within it
    // where the series itself does not, and where the divisions carry more than the series' own size there, its
    // roots lie off the series' roots: a flat crossing of the series (a triple root lifted off zero by more than
    // tol) came back 1e-5 away, where the series is 26 tol off zero, or as a double or triple root of the
    // quotient, or not at all. Only roots of the series are kept. A root of the quotient where the series is
    // within tol (and its rounding) stays as it is, a run of equal ones as a multiple root, unless it is an even
    // run where the series crosses once; any other gives the series' own crossings beside it, sought no further
    // than half the way to the neighbouring roots (the quotient's and those found): one for an odd run, and for
    // an even one its turn where the series is within tol there, else one on either side. A
    // simple root snapped onto an end or 0, beside which the series keeps its sign, is kept within what the
    // divisions carry, as the closed forms put it there; a flat crossing found on the series before (within its
    // band) is not counted again.
    // A simple root on a division point of the quotient's bisection can come from both halves, snapped onto the
    // point by one and just beside it by the other: two crossings the same way within the rounding of the
    // series' value are one root (two roots of the series that close cross opposite ways).
    std::memcpy(droots, roots, sizeof(double) * static_cast<std::size_t>(k));
    int kept = 0;
    const auto add = [&](double x) {
      for (int f = first_flat; f < found; ++f)
        if (std::fabs(x - found_at[f]) <= bands[f]) return;
      roots[kept++] = x;
    };
    for (int i = 0; i < k;) {
      int j = i + 1;
      while (j < k && droots[j] == droots[i]) ++j;
      const int run = j - i;
      double x = droots[i], v = 0;
      BSevalpolgd(m, c, x, &v);
      double lo = i > 0 ? (droots[i - 1] + droots[i]) / 2 : -1.0, hi = j < k ? (droots[i] + droots[j]) / 2 : 1.0;
      for (int f = 0; f < found; ++f) {
        if (found_at[f] < droots[i]) lo = std::fmax(lo, (found_at[f] + droots[i]) / 2);
        if (found_at[f] > droots[i]) hi = std::fmin(hi, (found_at[f] + droots[i]) / 2);
      }
      if (run == 1 && std::fabs(x) != 1 && x != 0) refine(m, c, d1, lo, hi, &x, &v);
      const double reach = std::fmax(x - lo, hi - x);
      bool stays = std::fabs(v) <= accept;
      if (stays && run % 2 == 0) {
        // A turn stays on one side of zero beyond its band, as far as tol and the value there reach.
        double second = 0;
        int code = 0;
        BSevalgder(m, c, 2, x, &second, &code);
        const double band = second != 0 ? 2 * std::sqrt(2 * (tol + std::fabs(v)) / std::fabs(second)) : reach;
        double below = 0, above = 0;
        BSevalpolgd(m, c, std::fmax(lo, x - band), &below);
        BSevalpolgd(m, c, std::fmin(hi, x + band), &above);
        stays = code == 0 && (below >= 0) == (above >= 0) && parabola(x);
      }
      double at = 0;
      if (stays) {
        for (int r = i; r < j; ++r) add(x);
      } else if (run % 2 == 1) {
        if (crossing_near(m, c, d1, x, reach, lo, hi, &at))
          add(at);
        else if (run == 1 && (std::fabs(x) == 1 || x == 0) && std::fabs(v) <= keep)
          add(x);
      } else {
        // A double root placed off its turn (snapped onto a division point of the quotient's search, beyond both
        // of its crossings if it has any) stays, at the turn, when the series is within tol there; a flat
        // crossing has no such turn, and two crossings about a turn beyond tol are two roots.
        double turn = 0, vt = INFINITY;
        if (crossing_near(m - 1, d1, d2, x, reach, lo, hi, &turn)) BSevalpolgd(m, c, turn, &vt);
        if (std::fabs(vt) <= accept && parabola(turn)) {
          add(turn);
          add(turn);
        } else {
          if (crossing_near(m, c, d1, x, reach, lo, x, &at)) add(at);
          if (crossing_near(m, c, d1, x, reach, x, hi, &at)) add(at);
        }
      }
      i = j;
    }
    std::sort(roots, roots + kept);  // the steps can carry a root past a neighbour of the quotient's
    k = 0;
    double last_slope = 0;
    for (int i = 0; i < kept; ++i) {
      double slope = 0;
      BSevalpolgd(m - 1, d1, roots[i], &slope);
      const bool same = k > 0 && roots[i] != roots[k - 1] && slope * last_slope > 0 &&
                        roots[i] - roots[k - 1] <= rounding / std::fabs(slope);
      if (same) continue;
      last_slope = slope;
      roots[k++] = roots[i];
    }
    // A flat crossing can also come back as its crossing and a root of the quotient beside it, within its band.
    rc = settle_clusters(m, c, tol, &k, roots);
    if (rc != 0) break;
    for (int f = 0; f < found; ++f) {
      const int mult = static_cast<int>(mults[f]);
      int at = 0;
      while (at < k && roots[at] < found_at[f]) ++at;
      std::memmove(roots + at + mult, roots + at, sizeof(double) * static_cast<std::size_t>(k - at));
      for (int i = 0; i < mult; ++i) roots[at + i] = found_at[f];
      k += mult;
    }
    *count = k;
  } while (false);
  BSscratchrelease(block);
  return rc;
}

// One attempt of BSfndrtlgd1 with the attempt's tolerance t (tol is the caller's).
int find_roots(int n, const double *c, double t, double tol, int doubles, int *count, double *roots) {
  if (++attempt_budget.used > kAttemptBudget) return BSRC_NOT_ISOLATED;
  int m = -1;
  BSeffdeg(n, c, t, &m);
  if (m < 0) {
    *count = -1;
    return 0;
  }
  const int L = 4 * m + 128;
  const std::size_t w = static_cast<std::size_t>(m) + 1;
  double *series = BSscratchtake(static_cast<std::size_t>(L) * w, nullptr);
  double **pool = static_cast<double **>(BSdbgmalloc(static_cast<int>(sizeof(double *)) * L));
  int rc = 0;
  if (!series || !pool) {
    rc = BSRC_NO_SCRATCH;
  } else {
    for (int i = 0; i < L; ++i) pool[i] = series + static_cast<std::size_t>(i) * w;
    std::memcpy(pool[0], c, sizeof(double) * w);
    *count = 0;
    BSfndrtlgd2(m, pool, t, -1, 1, 0, L, count, roots, &rc);
  }
  // The pool is not needed by the multiple-root treatment, which recurses with pools of its own.
  BSdbgfree(pool);
  BSscratchrelease(series);
  // A piece on which the series stays within tol from end to end (a near-double root spread over it), or more
  // roots than the degree, is a multiple root the bisection cannot isolate, as much as a vanishing half is: the
  // multiple-root treatment looks for it before a narrower attempt, under which every multiple root is lost.
  if (rc == BSRC_MULTIPLE_ROOT || rc == BSRC_NOT_ISOLATED) {
    BSscratch<64> scratch;
    double *brackets = scratch.take(4 * w + 2), *touches = brackets + 2 * w;
    int nb = 0, nt = 0;
    // Only for the caller's series: the searches below it (derivatives, quotients) are judged on it in the end.
    rc = !brackets                    ? BSRC_NO_SCRATCH
         : attempt_budget.depth == 1 ? clean_brackets(m, c, tol, &nb, brackets, &nt, touches)
                                      : 0;
    if (rc == 0) rc = deflate_multiple(m, c, t, tol, doubles, nb, brackets, nt, touches, count, roots);
    if (rc == 0 && *count >= 0) rc = answer_crossings(m, c, nb, brackets, count, roots);
  } else if (rc == 0)
    rc = settle_clusters(m, c, t, count, roots);
  return rc;
}

// BSfndrtlgd1; doubles: how many levels of searches for roots of c' (double roots) the multiple-root treatment
// may still go down.
void find_all(int n, const double *c, double tol, int doubles, int *count, double *roots, int *rc) {
  *rc = 0;
  *count = 0;
  if (n > BSHLF_LIMIT || !(tol >= 0) || !std::isfinite(tol) || !finite_series(n, c)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n < 0) {
    *count = -1;
  } else {
    // A tolerance under the rounding of the series values cannot be met: the bisection would never see a piece
    // come down to degree 1 or 2.
    const double floor = 4 * DBL_EPSILON * abs_sum(0, n, c);
    if (attempt_budget.depth++ == 0) attempt_budget.used = 0;
    double t = tol;
    for (int attempt = 0; attempt < 3; ++attempt, t *= 0.0009765625) {
      *rc = find_roots(n, c, std::fmax(t, floor), std::fmax(tol, floor), doubles, count, roots);
      if (*rc != BSRC_NOT_ISOLATED) break;
    }
    // A budget spent anywhere below leaves the roots found incomplete, whatever the levels above made of it.
    if (--attempt_budget.depth == 0 && attempt_budget.used > kAttemptBudget) *rc = BSRC_NOT_ISOLATED;
    if (*rc != 0) *count = 0;
  }
  BSexit(rc, "BSfndrtlgd1", "bsfndrtlgd1");
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Tests and closed forms

void BStstrtlgd(int n, const double *c, double tol, BSboolean *maybe) {
  if (n < 0) {
    *maybe = 1;
  } else {
    const double S = abs_sum(1, n, c);
    *maybe = std::fabs(c[0]) <= S + std::fmax(tol, 1e-14 * S) ? 1 : 0;
  }
  BSfaulthook("bststrtlgd", nullptr);
}

void BStstzlgd(int n, const double *c, double tol, BSboolean *zero) {
  *zero = 1;
  double sum = 0;
  for (int k = 0; k <= n; ++k) {
    sum += std::fabs(c[k]);
    if (!(sum <= tol)) {
      *zero = 0;
      break;
    }
  }
  BSfaulthook("bststzlgd", nullptr);
}

void BShlfcpolgd(int n, const double *c, double *left, double *right, int *rc) {
  *rc = 0;
  if (n > BSHLF_LIMIT) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // Coefficient j of the right half is e + o: e from the c[k] with k - j even, o from those with k - j odd;
    // P_k(-x) = (-1)^k P_k(x) turns the left half into e - o.
    for (int j = 0; j <= n; ++j) {
      double e = c[j], o = 0;
      if (j > 0) {
        const double *row = BShlftabE + BShlfrow(j - 1);
        e = 0;
        for (int s = 0; j + 2 * s <= n; ++s) e += c[j + 2 * s] * row[s];
      }
      if (j < n) {
        const double *row = BShlftabO + BShlfrow(j);
        for (int s = 0; j + 1 + 2 * s <= n; ++s) o += c[j + 1 + 2 * s] * row[s];
      }
      right[j] = e + o;
      left[j] = e - o;
    }
  }
  BSexit(rc, "BShlfcpolgd", "bshlfcpolgd");
}

void BSlinrtlgd(const double c[2], double tol, int *count, double *root) {
  *count = 0;
  if (c[1] != 0) {
    const double r = -c[0] / c[1];
    const double tr = std::fmax(tol / std::fabs(c[1]), 1e-14);
    if (std::fabs(r) < 1 + tr) {
      *root = snap(r, tr);
      *count = 1;
    }
  }
  BSfaulthook("bslinrtlgd", nullptr);
}

void BSquadrtlgd(const double c_in[3], double tol, int *count, double roots[2], BSboolean *spread) {
  *count = 0;
  *spread = 0;
  // The discriminant squares the coefficients, which underflows (or overflows) far from 1 and turns two simple
  // roots into a double one at the vertex. Scaled together with tol by a power of two, the coefficients come near
  // 1 and nothing else changes: every step below is exact in the scaling.
  const double top = std::fmax(std::fabs(c_in[0]), std::fmax(std::fabs(c_in[1]), std::fabs(c_in[2])));
  const int e = top > 0 && std::isfinite(top) ? std::ilogb(top) : 0;
  const double c[3] = {std::ldexp(c_in[0], -e), std::ldexp(c_in[1], -e), std::ldexp(c_in[2], -e)};
  tol = std::ldexp(tol, -e);
  if (c[2] == 0) {
    BSlinrtlgd(c, tol, count, roots);
    BSfaulthook("bsquadrtlgd", nullptr);
    return;
  }
  // Power form p2 t^2 + p1 t + p0.
  const double p2 = 1.5 * c[2], p1 = c[1], p0 = c[0] - 0.5 * c[2];
  const auto f = [&](double x) { return (p2 * x + p1) * x + p0; };
  const double v = -p1 / (2 * p2), fv = f(v);
  if (std::fabs(fv) >= tol) {
    const double D = p1 * p1 - 4 * p2 * p0;
    if (D >= 0) {
      // The root of larger magnitude without cancellation, the other from the product.
      const double q = -(p1 + (p1 >= 0 ? 1 : -1) * std::sqrt(D));
      const double r1 = q / (2 * p2);
      const double cand[2] = {r1, r1 != 0 ? p0 / (p2 * r1) : 0.0};
      for (double r : cand) {
        const double tr = std::fmax(tol / std::fabs(2 * p2 * r + p1), 1e-14);
        if (!(std::fabs(r) < 1 + tr)) continue;
        const double s = snap(r, tr);
        const bool on = std::fabs(f(s)) <= tol;
        if (on) r = s;
        if (on || std::fabs(r) <= 1) roots[(*count)++] = r;
      }
      if (*count == 2 && roots[0] > roots[1]) {
        const double t = roots[0];
        roots[0] = roots[1];
        roots[1] = t;
      }
    }
  } else {
    // A near-double root: the band where |f| stays within tol around the vertex.
    const double width = fv * p2 <= 0 ? std::fabs(fv) + tol : tol - std::fabs(fv);
    const double d = std::sqrt(width / std::fabs(p2));
    if (std::fabs(v) < d + 1) {
      if (v - d < -1 && v + d > 1) {
        *spread = 1;
      } else {
        roots[0] = roots[1] = snap(v, d);
        *count = 2;
      }
    }
  }
  BSfaulthook("bsquadrtlgd", nullptr);
}

void BSdefllgd(int n, const double *c, double r, double *q) {
  if (n >= 1) {
    // Synthetic division with t P_k = ((k+1) P_k+1 + k P_k-1) / (2k+1) run backwards.
    if (q != c) std::memcpy(q, c, sizeof(double) * static_cast<std::size_t>(n));
    double b = c[n];
    for (int k = n; k >= 2; --k) {
      const double f = (2.0 * k - 1) / k;
      q[k - 2] -= (k - 1.0) / k * b;
      const double nb = f * b * r + q[k - 1];
      q[k - 1] = f * b;
      b = nb;
    }
    q[0] = b;
  }
  BSfaulthook("bsdefllgd", nullptr);
}

void BSrescllgd(int n, const double *c, int m, double *q) {
  const double nq = norm(m, q);
  if (nq > 0) {
    const double f = norm(n, c) / nq;
    for (int k = 0; k <= m; ++k) q[k] *= f;
  }
  BSfaulthook("bsrescllgd", nullptr);
}

// ---------------------------------------------------------------------------------------------------------------
// Roots

void BSfndrtlgd2(int n, double *const *pool, double tol, double a, double b, int index, int L, int *count,
                 double *roots, int *rc) {
  *rc = bisect(n, pool, tol, a, b, index, L, count, roots);
  BSexit(rc, "BSfndrtlgd2", "bsfndrtlgd2");
}

void BSfndrtlgd1(int n, const double *c, double tol, int *count, double *roots, int *rc) {
  find_all(n, c, tol, 2, count, roots, rc);
}

// ---------------------------------------------------------------------------------------------------------------
// Minimum

void BSminpollgd(int n, const double *c, double *min, int *rc) {
  *rc = 0;
  if (n > BSHLF_LIMIT || !finite_series(n, c)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n < 0 || abs_sum(0, n, c) == 0) {
    *min = 0;
    *rc = BSRC_NOT_POSITIVE;
  } else {
    const double c0 = c[0], cheap = c0 - abs_sum(1, n, c);
    if (c0 > 0 && cheap > c0 / 8) {
      *min = cheap;
    } else if (n == 0) {
      *min = c0;
    } else {
      const std::size_t w = static_cast<std::size_t>(n);
      double *block = BSscratchtake(2 * w - 1, nullptr);
      if (!block) {
        *rc = BSRC_NO_SCRATCH;
      } else {
        double *d = block, *crit = block + w;
        const double margin = 0.001 * std::fabs(c0);
        int k = 0;
        BSderpolgd(n, c, d);
        BSfndrtlgd1(n - 1, d, margin, &k, crit, rc);
        if (*rc == 0 && k < 0) *rc = BSRC_NOT_ISOLATED;
        if (*rc == 0) {
          *min = DBL_MAX;
          double v = 0;
          for (int i = 0; i < k; ++i) {
            BSevalpolgd(n, c, crit[i], &v);
            if (v < *min) *min = v - margin;
          }
          for (double end : {-1.0, 1.0}) {
            BSevalpolgd(n, c, end, &v);
            if (v < *min) *min = v;
          }
        }
        BSscratchrelease(block);
      }
    }
    if (*rc == 0 && *min < 0)
      *rc = n >= 160 && *min <= -std::fmax(std::fabs(c[n]), std::fabs(c[n - 1])) ? -1 : BSRC_NOT_POSITIVE;
  }
  BSexit(rc, "BSminpollgd", "bsminpollgd");
}

// ---------------------------------------------------------------------------------------------------------------
// Bezier polynomials

void BSbeztlgd(int n, const double *b, double *lgd, int *rc) {
  // One conversion for the library: through the power basis, as the right half's power form in w = t would
  // give it, the coefficients cancel like the binomials (ten digits lost at degree 20, all of them at 40).
  BSbeztolgd(n < 0 ? -1 : n, 1, b, lgd, rc);
  BSexit(rc, "BSbeztlgd", "bsbeztlgd");
}

void BSbzur1pls(int n, const double *b, const double range[2], double tol, int *count, double *roots, int *rc) {
  *rc = 0;
  *count = 0;
  if (!std::isfinite(range[0]) || !std::isfinite(range[1]) || n >= 320) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n < 0) {
    *count = -1;
  } else {
    double *lgd = static_cast<double *>(BSdbgmalloc(8 * (n + 1)));
    if (!lgd) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      BSbeztlgd(n, b, lgd, rc);
      if (*rc == 0) BSfndrtlgd1(n, lgd, tol, count, roots, rc);
      // Written so that t = -1 and t = 1 land exactly on the range ends.
      for (int i = 0; i < *count; ++i)
        roots[i] = range[0] * ((1 - roots[i]) / 2) + range[1] * ((1 + roots[i]) / 2);
      BSdbgfree(lgd);
    }
  }
  BSexit(rc, "BSbzur1pls", "bsbzur1pls");
}
