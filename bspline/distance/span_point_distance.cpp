// The nearest points of a curve to many points, span by span: every Bezier span gets a box of its poles, each point
// tries the span whose box looks nearest and then every span whose box is nearer than its best so far, and a span
// is searched by de Casteljau halving down to flat pieces, solved as chords and polished by Newton steps. One
// point's result bounds the next, which suits points that follow the curve.
#include "bspline/distance.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "bspline/core/even_weights_internal.h"
#include "bspline/core/exit.h"
#include "bspline/core/far_weights_internal.h"
#include "bspline/knots.h"

namespace {

constexpr int kLevels = 50;
constexpr int kMaxOrder = 16;
int depth_limit() {
  const int d = bstest::switches.depth;
  return d > 0 && d <= kLevels ? d : kLevels;
}

double sqdist(int dim, const double *a, const double *b) {
  double s = 0;
  for (int c = 0; c < dim; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
  return s;
}

// Cartesian pole j of a component-major piece of k poles.
[[gnu::always_inline]] inline void cartesian(int dim, BSboolean rational, int k, const double *poles, int j,
                                             double *q) {
  if (rational) {
    const double w = poles[dim * k + j];
    for (int c = 0; c < dim; ++c) q[c] = poles[c * k + j] / w;
  } else {
    for (int c = 0; c < dim; ++c) q[c] = poles[c * k + j];
  }
}

struct Level {
  double poles[64];
  double lower, a, b;
};

// The pieces that lost to the best chord, or were passed over by their boxes, by less than the search can tell
// apart: a chord stands up to the flatness tolerance off its piece, so a piece whose chord lies a little farther
// than the best one may still hold the nearer point (a rise narrower than a piece, near an end of the span, hides
// under its chord). The search only notes them with what it has at hand, a chord's squared distance and how far
// its poles stand off it, or a box's squared distance; they are bounded more closely only once the result is
// known and only those that might beat it (see contest), which keeps the search as cheap as it was without them.
// The best piece's own are kept beside.
struct Rivals {
  static constexpr int kRoom = 64;
  // apart: a chord's bound of its poles' squared distance from it (flat_k), or -1 for a box.
  double a[kRoom + 1], b[kRoom + 1], sq[kRoom + 1], apart[kRoom + 1];
  int count = 0;
  bool spilled = false;
  double best_a = 0, best_b = 0, best_apart = 0;
  // Written whether kept or not, and counted only when kept: where a piece is a rival now and then, a branch on
  // it would be mispredicted as often.
  void note(bool keep, double pa, double pb, double psq, double papart) {
    const int i = count;
    a[i] = pa, b[i] = pb, sq[i] = psq, apart[i] = papart;
    const bool full = i == kRoom;
    count = i + (keep & !full);
    spilled = spilled | (keep & full);
  }
};

}  // namespace

void BSptboxdst(int dim, const double *point, const double *box, double *sq) {
  double s = 0;
  for (int c = 0; c < dim; ++c) {
    const double x = point[c], lo = box[c], hi = box[dim + c];
    if (x < lo)
      s += (lo - x) * (lo - x);
    else if (x > hi)
      s += (x - hi) * (x - hi);
  }
  *sq = s;
}

void BSbzboxpl(int order, int dim, BSboolean rational, const double *poles, double *box) {
  double q[64];
  for (int j = 0; j < order; ++j) {
    cartesian(dim, rational, order, poles, j, q);
    for (int c = 0; c < dim; ++c) {
      if (j == 0 || q[c] < box[c]) box[c] = q[c];
      if (j == 0 || q[c] > box[dim + c]) box[dim + c] = q[c];
    }
  }
}

void BSbzboxdst(int degree, int dim, BSboolean rational, const double *poles, const double *point, double *sq) {
  double box[128];
  BSbzboxpl(degree + 1, dim, rational, poles, box);
  BSptboxdst(dim, point, box, sq);
}

void BSbzhalve(int degree, int ncomp, const double *poles, double *left, double *right) {
  const int k = degree + 1;
  double tri[kMaxOrder];
  for (int c = 0; c < ncomp; ++c) {
    std::memcpy(tri, poles + c * k, sizeof(double) * k);
    for (int r = 0; r < k; ++r) {
      left[c * k + r] = tri[0];
      right[c * k + degree - r] = tri[degree - r];
      for (int j = 0; j < degree - r; ++j) tri[j] = (tri[j] + tri[j + 1]) * 0.5;
    }
  }
}

void BSmdptchord(int dim, BSboolean rational, const double *chord, const double *point, double tol, double *sq,
                 double *q, double *t) {
  const int st = dim + rational;
  const double *P0 = chord, *P1 = chord + st;
  const double w0 = rational ? P0[dim] : 1.0, w1 = rational ? P1[dim] : 1.0;
  double N = 0, D = 0;
  for (int c = 0; c < dim; ++c) {
    if (rational) {
      const double dP = P1[c] - P0[c], dw = w1 - w0, e = w0 * dP - dw * P0[c];
      N += (w0 * point[c] - P0[c]) * e;
      D += (dP - dw * point[c]) * e;
    } else {
      N += (point[c] - P0[c]) * (P1[c] - P0[c]);
      D += (P1[c] - P0[c]) * (P1[c] - P0[c]);
    }
  }
  auto at = [&](double u) {
    const double w = rational ? w0 + u * (w1 - w0) : 1.0;
    for (int c = 0; c < dim; ++c) q[c] = (P0[c] + u * (P1[c] - P0[c])) / w;
  };
  double u;
  if (D >= tol * tol) {
    u = std::fmin(1, std::fmax(0, N / D));
    // A foot within tol of an end of the chord is put on it. The test is on the points, not on u: on a long
    // chord a parameter tol short of an end is far from it.
    at(u);
    if (u > 0 && u < 1) {
      double e[64];
      for (int c = 0; c < dim; ++c) e[c] = u < 0.5 ? P0[c] / w0 : P1[c] / w1;
      if (sqdist(dim, q, e) < tol * tol) u = u < 0.5 ? 0 : 1;
    }
  } else {
    u = N > 0 ? 1 : 0;
  }
  at(u);
  *t = u;
  *sq = sqdist(dim, q, point);
}

void BSmdptbznwt(int degree, int dim, BSboolean rational, const double *poles, const double *point, double tol,
                 double *sq, double *t, double *q, BSboolean *converged, int *rc) {
  *rc = 0;
  *converged = BSFALSE;
  double knots[2 * kMaxOrder], der[3 * 64];
  for (int i = 0; i <= degree; ++i) {
    knots[i] = 0;
    knots[degree + 1 + i] = 1;
  }
  double u = *t, prev = 0;
  for (int step = 0; step <= 15; ++step) {
    BSevalbsp(degree, degree + 1, dim, rational, poles, knots, u, 2, der, rc);
    if (*rc != 0) return;
    double s = 0, f = 0, dd = 0, e2 = 0, size = 0;
    for (int c = 0; c < dim; ++c) {
      const double r = der[c] - point[c];
      s += r * r;
      f += r * der[dim + c];
      dd += der[dim + c] * der[dim + c];
      e2 += r * der[2 * dim + c];
      size = std::fmax(size, std::fabs(der[c]) + std::fabs(point[c]));
    }
    // A tolerance finer than the squared distance's rounding still converges: the difference of the coordinates
    // rounds by some units of their size (far from the origin many more than of the distance), and the squared
    // distance by twice the distance times that.
    const double dr = 2 * DBL_EPSILON * size, noise = dr * (2 * std::sqrt(std::fmax(s, prev)) + dr);
    if (std::fabs(s - prev) < std::fmax(std::fmax(tol * tol, 1e-15 * (s + prev)), noise)) {
      *converged = BSTRUE;
      *sq = s;
      *t = u;
      std::memcpy(q, der, sizeof(double) * dim);
      return;
    }
    if (step == 15) return;
    // Where the curve stands still (poles repeated at a span's end, a cusp) f vanishes whatever the geometry,
    // and the step would stay put and pass for converged: such a point cannot be polished from.
    if (dd <= (64 * DBL_EPSILON * size) * (64 * DBL_EPSILON * size)) return;
    // Away from a minimum (a negative curvature term) the step falls back to Gauss-Newton, which still descends.
    double den = dd + e2;
    if (den <= 0) den = dd;
    if (den == 0) return;
    prev = s;
    u = std::fmin(1, std::fmax(0, u - f / den));
  }
}

namespace {
// The subdivision search of BSmdptbezcv over the pieces of one span, for K poles of D coordinates, R weighted
// (0: any order up to 16, any dimension, and -1: the flag as passed), with the operations of BSbzhalve,
// BSbzboxdst, BSbzflat and BSmdptchord in their order; fixed sizes let the compiler unroll every loop.

// De Casteljau at 1/2 as BSbzhalve; left may be poles itself.
template <int K>
[[gnu::always_inline]] inline void halve_k(int kk, int ncomp, const double *poles, double *left, double *right) {
  const int k = K ? K : kk;
  for (int c = 0; c < ncomp; ++c) {
    double tri[K ? K : kMaxOrder];
#pragma GCC unroll 16
    for (int j = 0; j < k; ++j) tri[j] = poles[c * k + j];
#pragma GCC unroll 16
    for (int r = 0; r < k; ++r) {
      left[c * k + r] = tri[0];
      right[c * k + k - 1 - r] = tri[k - 1 - r];
#pragma GCC unroll 16
      for (int j = 0; j < k - 1 - r; ++j) tri[j] = (tri[j] + tri[j + 1]) * 0.5;
    }
  }
}

// BSbzboxdst: the squared distance of point from the box of the k poles.
template <int K, int D, int R>
[[gnu::always_inline]] inline double box_lower(int kk, int dd, BSboolean rr, const double *poles,
                                               const double *point) {
  const int k = K ? K : kk, dim = D ? D : dd;
  const bool rational = R >= 0 ? R != 0 : rr != 0;
  double s = 0;
  for (int c = 0; c < dim; ++c) {
    double lo, hi;
    if (rational) {
      lo = hi = poles[c * k] / poles[dim * k];
#pragma GCC unroll 16
      for (int j = 1; j < k; ++j) {
        const double q = poles[c * k + j] / poles[dim * k + j];
        lo = q < lo ? q : lo;
        hi = q > hi ? q : hi;
      }
    } else {
      lo = hi = poles[c * k];
#pragma GCC unroll 16
      for (int j = 1; j < k; ++j) {
        const double q = poles[c * k + j];
        lo = q < lo ? q : lo;
        hi = q > hi ? q : hi;
      }
    }
    const double x = point[c];
    if (x < lo)
      s += (lo - x) * (lo - x);
    else if (x > hi)
      s += (x - hi) * (x - hi);
  }
  return s;
}

// BSbzflat with tol and the degree k - 1. With `beside` the interior poles must also keep within the tolerance
// of the chord's ends along it: the search solves a flat piece on its chord, and a piece folded back along its
// chord's line (a curve that reverses there) runs past the chord's end however flat it is. A flat piece's
// largest squared distance of an interior pole from the chord's line goes to *worst when it is given, and to
// *turns whether its poles step back along the chord anywhere (a fold within the tolerance). *apart bounds the
// squared distance of the interior poles from the chord itself rather than its line: *worst and the square of
// the farthest any lies past an end.
template <int K, int D, int R>
[[gnu::always_inline]] inline bool flat_k(int kk, int dn, BSboolean rr, const double *poles, double tol,
                                          bool beside = false, double *worst = nullptr, bool *turns = nullptr,
                                          double *apart = nullptr) {
  const int k = K ? K : kk, degree = k - 1, dim = D ? D : dn;
  const BSboolean rational = R >= 0 ? static_cast<BSboolean>(R) : rr;
  if (degree < 2) return true;
  double p0[64], p1[64], q[64], d[64];
  cartesian(dim, rational, k, poles, 0, p0);
  cartesian(dim, rational, k, poles, degree, p1);
  double dd = 0;
  for (int c = 0; c < dim; ++c) {
    d[c] = p1[c] - p0[c];
    dd += d[c] * d[c];
  }
  const double limit = 1.8 * tol * tol;
  double most = 0, along = 0, past = 0;
  bool back = false;
#pragma GCC unroll 16
  for (int j = 1; j < degree; ++j) {
    cartesian(dim, rational, k, poles, j, q);
    double vv = 0, vd = 0;
    for (int c = 0; c < dim; ++c) {
      const double v = q[c] - p0[c];
      vv += v * v;
      vd += v * d[c];
    }
    const double off = dd >= 1e-15 ? vv - vd * vd / dd : vv;
    if (off > limit) return false;
    most = off > most ? off : most;
    // Along the chord, in units of its length: before the start or beyond the end (without a branch on it).
    past = -vd > past ? -vd : past;
    past = vd - dd > past ? vd - dd : past;
    back = back || vd < along;
    along = vd;
    // Past an end by more than the tolerance: before the start, or beyond the end (measured from it).
    if (beside && ((vd < 0 && vd * vd > limit * dd) || (vd > dd && (vd - dd) * (vd - dd) > limit * dd)))
      return false;
  }
  if (worst) *worst = most;
  if (turns) *turns = back || dd < along;
  if (apart) *apart = dd >= 1e-15 ? most + past * past / dd : most;
  return true;
}

// A lower bound of the distance from point to the piece, from the Bernstein coefficients of the squared distance:
// with H(u) the weighted poles' curve and w(u) its weight, the squared distance is f(u) / g(u), f = |H - w point|^2
// and g = w^2 both of degree 2 (k - 1) in Bernstein form, and f >= m g for m the least ratio of their coefficients
// (the Bernstein polynomials are not negative on [0, 1]; g's coefficients are positive). Unlike a bound from the
// poles' hull, it follows the curve itself: on an arc seen from its axis, where the chord stands nearer than the
// arc by its sagitta, the ratios are all the one squared distance. Less what the rounding of the differences and
// sums may have added.
template <int K, int D, int R>
[[gnu::always_inline]] inline double bernstein_lower(int kk, int dn, BSboolean rr, const double *poles,
                                                     const double *point) {
  const int k = K ? K : kk, degree = k - 1, dim = D ? D : dn;
  const bool rational = R >= 0 ? R != 0 : rr != 0;
  constexpr double eps = DBL_EPSILON;
  double v[64], w[kMaxOrder], len[kMaxOrder], err[kMaxOrder], binom[kMaxOrder], pp = 0;
  for (int c = 0; c < dim; ++c) pp += point[c] * point[c];
  pp = std::sqrt(pp);
  for (int i = 0; i < k; ++i) {
    w[i] = rational ? poles[dim * k + i] : 1.0;
    double vv = 0, hh = 0;
    for (int c = 0; c < dim; ++c) {
      const double h = poles[c * k + i], x = h - w[i] * point[c];
      v[c * k + i] = x;
      vv += x * x;
      hh += h * h;
    }
    len[i] = std::sqrt(vv);
    // Each difference rounds by at most 2 eps of its terms' sizes (the product and the difference).
    err[i] = 4 * eps * (std::sqrt(hh) + w[i] * pp) + 4 * eps * len[i];
    binom[i] = i == 0 ? 1 : binom[i - 1] * (degree - i + 1) / i;
  }
  double lowest = DBL_MAX;
  for (int m = 0; m <= 2 * degree; ++m) {
    double f = 0, g = 0, slack = 0;
    for (int i = m > degree ? m - degree : 0, top = m < degree ? m : degree; i <= top; ++i) {
      const int j = m - i;
      const double c = binom[i] * binom[j];
      double dot = 0;
      for (int e = 0; e < dim; ++e) dot += v[e * k + i] * v[e * k + j];
      f += c * dot;
      g += c * w[i] * w[j];
      const double si = len[i] + err[i], sj = len[j] + err[j];
      slack += c * (err[i] * sj + si * err[j] + (dim + 2 * k + 8) * eps * si * sj);
    }
    const double r = f > 2 * slack ? (f - 2 * slack) / g * (1 - (4 * k + 8) * eps) : 0;
    lowest = r < lowest ? r : lowest;
  }
  return std::sqrt(lowest);
}

// A flat piece's poles stand at most 1.8 tw^2 (squared) off its chord's line and as much past its ends along it
// (flat_k with beside), so at most sqrt(3.6) tw from the chord itself: the search keeps the chords that lose by
// less than that and twice the tolerance.
constexpr double kOffChord = 1.9;

// Whether some rival apart from the result's own piece (and those touching it, which share its basin) may hold a
// point nearer than d - slack, the result's parameter being t. The rivals' bounds from the search come first: a
// box's distance, or a chord's (which may have been put on an end up to tw away) less how far its poles stand
// off it. A rival they leave in doubt is made again from the span, halved down to as the search
// did (the same operations, so the same poles), and bounded more closely: by the least of its poles along the
// way to its chord's nearest point (a piece bending away from the point lies beyond the plane through that point
// square to the way there) and by the Bernstein coefficients of its squared distance, which follow an arc where
// the chord lets its sagitta through.
template <int K, int D, int R>
bool contest(const Rivals &rivals, int kk, int dn, BSboolean rr, const double *poles, const double *point,
             double tw, double d, double slack, double t) {
  if (rivals.spilled) return true;
  const int k = K ? K : kk, degree = k - 1, dim = D ? D : dn;
  const BSboolean rational = R >= 0 ? static_cast<BSboolean>(R) : rr;
  const int nc = dim + rational;
  const double from = rivals.best_a < t ? rivals.best_a : t, to = rivals.best_b > t ? rivals.best_b : t;
  const double below = d - slack;
  // Most calls have none in doubt: that is settled first without a branch on each.
  bool doubt = false;
  for (int i = 0; i < rivals.count; ++i) {
    const double apart = rivals.apart[i], reach = below + std::sqrt(apart > 0 ? apart : 0);
    const bool beside = (rivals.b[i] < from) | (rivals.a[i] > to);
    doubt = doubt | (beside & (reach > 0) & (rivals.sq[i] - (apart < 0 ? 0 : tw * tw) < reach * reach));
  }
  if (!doubt) return false;
  for (int i = 0; i < rivals.count; ++i) {
    if (!(rivals.b[i] < from || rivals.a[i] > to)) continue;
    const bool box = rivals.apart[i] < 0;
    const double reach = box ? below : below + std::sqrt(rivals.apart[i]);
    if (reach <= 0 || rivals.sq[i] - (box ? 0 : tw * tw) >= reach * reach) continue;
    double piece[64], right[64], lo = 0, hi = 1;
    std::memcpy(piece, poles, sizeof(double) * nc * k);
    for (int level = 0; level < kLevels && (lo < rivals.a[i] || hi > rivals.b[i]); ++level) {
      const double mid = (lo + hi) / 2;
      halve_k<K>(k, nc, piece, piece, right);
      if (rivals.a[i] >= mid)
        std::memcpy(piece, right, sizeof(double) * nc * k), lo = mid;
      else
        hi = mid;
    }
    if (!box) {
      double ends[2 * 65], q[64], sq = 0, u = 0, way[64], len = 0, near = DBL_MAX, pj[64];
      for (int c = 0; c < nc; ++c) ends[c] = piece[c * k], ends[nc + c] = piece[c * k + degree];
      BSmdptchord(dim, rational, ends, point, tw, &sq, q, &u);
      for (int c = 0; c < dim; ++c) way[c] = q[c] - point[c], len += way[c] * way[c];
      len = std::sqrt(len);
      for (int j = 0; j < k && len > 0; ++j) {
        cartesian(dim, rational, k, piece, j, pj);
        double s = 0;
        for (int c = 0; c < dim; ++c) s += (pj[c] - point[c]) * way[c];
        near = s / len < near ? s / len : near;
      }
      if (len > 0 && !(near < below)) continue;
    }
    if (bernstein_lower<K, D, R>(k, dim, rational, piece, point) < below) return true;
  }
  return false;
}

// The search keeps the nearest chord point and, in *best_off, the largest squared distance of its piece's
// interior poles from the chord's line: the piece runs from one end of the chord to the other within that
// distance of it, so some point of the piece lies within it of the chord's point; *best_turns says whether that
// piece folds back along its chord.
template <int K, int D, int R>
void search_pieces(int kk, int dd, BSboolean rr, const double *poles, const double *point, double tw,
                   double *threshold, double *best, double *best_t, double *best_q, double *best_off,
                   bool *best_turns, Rivals *rivals, int *rc) {
  const int k = K ? K : kk, degree = k - 1, dim = D ? D : dd;
  const BSboolean rational = R >= 0 ? static_cast<BSboolean>(R) : rr;
  const int nc = dim + rational;
  // The pieces live in a pool; the stack holds pool slots, so that ordering the two halves moves no poles.
  // Position p of the stack uses slot[p]; the halves of the top piece go to its own slot and the next one.
  Level pool[kLevels + 1];
  int slot[kLevels + 1];
  slot[0] = 0;
  int top = 0, halvings = 0, used = 1;
  std::memcpy(pool[0].poles, poles, sizeof(double) * nc * k);
  pool[0].lower = 0;
  pool[0].a = 0;
  pool[0].b = 1;
  // A piece passed over, or a chord that lost, whose bound from the search comes within twice the tolerance of
  // the best chord is a rival: the result lies within the tolerance of that chord. Checked on squares; -1 until a
  // chord is found.
  double box_band = -1, chord_band = -1;
  while (top >= 0 && *rc == 0) {
    Level &L = pool[slot[top]];
    if (!(L.lower < *threshold)) {
      rivals->note(L.lower < box_band, L.a, L.b, L.lower, -1);
      --top;
      continue;
    }
    double off = 0, apart = 0;
    bool turns = false;
    if (halvings > 2 && flat_k<K, D, R>(k, dim, rational, L.poles, tw, true, &off, &turns, &apart)) {
      double chord[2 * 65], q[64], sq = 0, t = 0;
      for (int c = 0; c < nc; ++c) {
        chord[c] = L.poles[c * k];
        chord[nc + c] = L.poles[c * k + degree];
      }
      BSmdptchord(dim, rational, chord, point, tw, &sq, q, &t);
      if (sq < *best) {
        const double was = *best;
        *best = sq;
        const double band = std::sqrt(sq) + 2 * tw, reach = band + kOffChord * tw;
        box_band = band * band, chord_band = reach * reach + tw * tw;
        rivals->note(was < chord_band, rivals->best_a, rivals->best_b, was, rivals->best_apart);
        rivals->best_a = L.a, rivals->best_b = L.b, rivals->best_apart = apart;
        *threshold = *best + tw;
        *best_t = L.a + (L.b - L.a) * t;
        *best_off = off;
        *best_turns = turns;
        std::memcpy(best_q, q, sizeof(double) * dim);
      } else {
        rivals->note(sq < chord_band, L.a, L.b, sq, apart);
      }
      --top;
      continue;
    }
    // A piece of a finite span is flat long before it is 2^-kLevels wide; one that is not holds points that are
    // not finite, and its halves would be halved for ever, one kept at a time, with the stack never growing.
    if (L.b - L.a < 0x1p-50) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // The left half replaces the piece, the right one takes the next slot.
    if (top + 1 == used) slot[used] = used, ++used;
    Level &left = L, &right = pool[slot[top + 1]];
    halve_k<K>(k, nc, L.poles, left.poles, right.poles);
    ++halvings;
    const double mid = (L.a + L.b) / 2;
    right.a = mid;
    right.b = L.b;
    left.b = mid;
    left.lower = box_lower<K, D, R>(k, dim, rational, left.poles, point);
    right.lower = box_lower<K, D, R>(k, dim, rational, right.poles, point);
    // The nearer half goes on top; the farther one below it only while its box can still beat the threshold.
    const bool right_first = right.lower < left.lower;
    const bool keep_far = (right_first ? left.lower : right.lower) < *threshold;
    // One branch on both, taken seldom: the halves dropped alone are as good as random.
    const Level &far = right_first ? left : right;
    if (!keep_far & (far.lower < box_band)) rivals->note(true, far.a, far.b, far.lower, -1);
    if (keep_far && top + 1 >= depth_limit()) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    // Wanted: far at top and near above it, or near alone at top.
    if (right_first != keep_far) std::swap(slot[top], slot[top + 1]);
    if (keep_far) ++top;
  }
}
}  // namespace

void BSbzflat(int degree, int dim, BSboolean rational, const double *poles, double tol, BSboolean *flag) {
  *flag = flat_k<0, 0, -1>(degree + 1, dim, rational, poles, tol) ? BSTRUE : BSFALSE;
}

void BSmdptbezcv(int degree, int dim, BSboolean rational, const double *poles, const double *point, double tol,
                 double bound, double *dist_out, double *point_out, double *par_out, int *rc) {
  *rc = 0;
  const int k = degree + 1, nc = dim + rational;
  if (k > kMaxOrder) {
    *rc = 50;
  } else if (degree < 1 || dim < 1 || nc * k > 64 || !BSallfinite(nc * k, poles) || !BSallfinite(dim, point)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // The pieces are solved as chords once flat to a thousandth, of a unit or, on a span smaller than that, of the
    // span: a span a thousandth across would be one chord, and its polish would stay in whichever basin that
    // chord's point falls in, however much nearer another is. Never below the rounding of the span's coordinates,
    // which no halving makes flatter.
    double box[128], extent = 0, magnitude = 0;
    BSbzboxpl(k, dim, rational, poles, box);
    for (int c = 0; c < dim; ++c) {
      extent = std::fmax(extent, box[dim + c] - box[c]);
      magnitude = std::fmax(magnitude, std::fmax(std::fabs(box[c]), std::fabs(box[dim + c])));
    }
    const double tw =
        std::fmax(tol, std::fmin(0.001, std::fmax(0.001 * extent, 64 * DBL_EPSILON * magnitude)));
    double threshold = bound == DBL_MAX ? DBL_MAX : (tw + bound) * (tw + bound);
    double best = DBL_MAX, best_t = 0, best_q[64];
    *dist_out = DBL_MAX;
    // Weights that are not all normal numbers (a curve's subnormal weights blend to 0 in its spans) leave the
    // pieces' points infinite or undefined, which no halving makes flat; the span solver answers or refuses.
    bool faint = false;
    for (int j = 0; rational && j < k; ++j) faint = faint || !(poles[dim * k + j] >= DBL_MIN);
    if (rational && (faint || bseven::uneven(degree, dim, poles))) {
      // Weights far apart: the curve runs through nearly all of its length within slivers of the parameter, which
      // the halving reached only level by level and then crept along (milliseconds a span), settling on wrong pieces
      // (distances off by a tenth of the span). The span solver cuts such a span where its evened parameter halves.
      double b = threshold == DBL_MAX ? DBL_MAX : tw + bound, e = DBL_MAX, q[64];
      int status = 0;
      const unsigned char on = 1;
      BSmdptbzcv(degree, dim, rational, poles, 1, point, tol, &b, &e, &on, &b, &e, &best_t, q, &status, rc);
      if (*rc == 0 && status == 0) {
        *dist_out = e;
        *par_out = best_t;
        std::memcpy(point_out, q, sizeof(double) * dim);
      }
      BSexit(rc, "BSmdptbezcv", "bsmdptbezcv");
      return;
    }
    using Search = void (*)(int, int, BSboolean, const double *, const double *, double, double *, double *,
                            double *, double *, double *, bool *, Rivals *, int *);
    // Orders 2 to 6 in three dimensions, polynomial or rational; the others by the general body.
    static constexpr Search kSearch[5][2] = {
        {search_pieces<2, 3, 0>, search_pieces<2, 3, 1>}, {search_pieces<3, 3, 0>, search_pieces<3, 3, 1>},
        {search_pieces<4, 3, 0>, search_pieces<4, 3, 1>}, {search_pieces<5, 3, 0>, search_pieces<5, 3, 1>},
        {search_pieces<6, 3, 0>, search_pieces<6, 3, 1>}};
    using Contest = bool (*)(const Rivals &, int, int, BSboolean, const double *, const double *, double, double,
                             double, double);
    static constexpr Contest kContest[5][2] = {{contest<2, 3, 0>, contest<2, 3, 1>}, {contest<3, 3, 0>, contest<3, 3, 1>},
                                               {contest<4, 3, 0>, contest<4, 3, 1>}, {contest<5, 3, 0>, contest<5, 3, 1>},
                                               {contest<6, 3, 0>, contest<6, 3, 1>}};
    const bool fixed = k >= 2 && k <= 6 && dim == 3 && rational <= 1;
    const Search search = fixed ? kSearch[k - 2][rational] : search_pieces<0, 0, -1>;
    const Contest contested = fixed ? kContest[k - 2][rational] : contest<0, 0, -1>;
    double best_off = 0;
    bool best_turns = false;
    Rivals rivals;
    search(k, dim, rational, poles, point, tw, &threshold, &best, &best_t, best_q, &best_off, &best_turns, &rivals,
           rc);
    if (*rc == 0 && best < DBL_MAX) {
      double d = std::sqrt(best), t = best_t, q[64], sq = 0;
      std::memcpy(q, best_q, sizeof(double) * dim);
      // The span solved exactly replaces the result when nearer than below.
      auto solve_exactly = [&](double below) {
        double b = DBL_MAX, e = DBL_MAX, te = 0;
        int status = 0;
        const unsigned char on = 1;
        BSmdptbzcv(degree, dim, rational, poles, 1, point, tol, &b, &e, &on, &b, &e, &te, q, &status, rc);
        if (*rc == 0 && status == 0 && (below == DBL_MAX || e < below)) {
          d = e;
          best_t = te;
          std::memcpy(best_q, q, sizeof(double) * dim);
        }
      };
      BSboolean conv = BSFALSE;
      BSmdptbznwt(degree, dim, rational, poles, point, tol, &sq, &t, q, &conv, rc);
      // The polish stays in the chord point's basin only if it comes within the piece's distance from its chord
      // (and rounding) of that point's distance: a piece that turns back along its chord line holds a second
      // basin beside the first, and the steps may end in it, farther than the chord promised.
      double extent = 1;
      for (int c = 0; c < dim; ++c) extent = std::fmax(extent, std::fabs(point[c]));
      const double reach = d + std::fmin(tw, std::sqrt(best_off) + tol + 1e-12 * (extent + d));
      if (*rc == 0 && conv && sq < reach * reach) {
        d = std::sqrt(sq);
        best_t = t;
        std::memcpy(best_q, q, sizeof(double) * dim);
      } else if (*rc == 0) {
        // The chord's point is off the curve by up to tol': without a polish the span is solved exactly.
        solve_exactly(DBL_MAX);
      }
      // A result just inside an end gives way to the end itself when that is within tol/2 as near.
      if (*rc == 0 && ((best_t > 0 && best_t < 0.01) || (best_t > 0.99 && best_t < 1))) {
        const int j = best_t >= 0.5 ? degree : 0;
        cartesian(dim, rational, k, poles, j, q);
        const double de = std::sqrt(sqdist(dim, q, point));
        if (de < tol / 2 + d) {
          d = de;
          best_t = j == 0 ? 0 : 1;
          std::memcpy(best_q, q, sizeof(double) * dim);
        }
      }
      // The search settles in the basin of the nearest chord, and a chord may stand the flatness tolerance off
      // its piece: an end of the span nearer than the point it settled on is the nearer point.
      for (const int j : {0, degree}) {
        if (*rc != 0) break;
        cartesian(dim, rational, k, poles, j, q);
        const double de = std::sqrt(sqdist(dim, q, point));
        if (de < d) {
          d = de;
          best_t = j == 0 ? 0 : 1;
          std::memcpy(best_q, q, sizeof(double) * dim);
        }
      }
      // A piece that folds back by less than the flatness tolerance at an end passes for its chord, and the
      // chord's nearest point (put on the end when within that tolerance of it) may lie on the end's side of the
      // fold while the foot lies on the other: the end is then a nearest point of its own basin, which no polish
      // leaves. An end still off the point, found on such a piece, is checked against the span solved exactly;
      // within tol/2 the end keeps the tie, as above.
      if (*rc == 0 && best_turns && (best_t == 0 || best_t == 1) && d > tol) solve_exactly(d - tol / 2);
      // The polish settles one basin; another piece that the chords could not tell from it may hold a point
      // nearer by more than tol (and the rounding of the distances out there), which only the span solved
      // exactly shows.
      else if (*rc == 0 && contested(rivals, k, dim, rational, poles, point, tw, d, tol + 1e-12 * (extent + d), best_t))
        solve_exactly(d - tol / 2);
      if (*rc == 0) {
        *dist_out = d;
        *par_out = best_t;
        std::memcpy(point_out, best_q, sizeof(double) * dim);
      }
    }
  }
  BSexit(rc, "BSmdptbezcv", "bsmdptbezcv");
}

namespace {
// BSptboxdst without its branches, which a search over many boxes mispredicts: inside the box both differences
// are negative and the term is 0, which leaves the sum as it was; outside, the larger difference is the one that
// BSptboxdst squares. Hence the same bits.
template <int D>
[[gnu::always_inline]] inline double box_distance_d(int dn, const double *p, const double *box) {
  const int dim = D ? D : dn;
  double s = 0;
#pragma GCC unroll 3
  for (int c = 0; c < dim; ++c) {
    const double below = box[c] - p[c], above = p[c] - box[dim + c];
    const double d = below > above ? below : above;
    const double e = d > 0 ? d : 0;
    s += e * e;
  }
  return s;
}
[[gnu::always_inline]] inline double box_distance(int dim, const double *p, const double *box) {
  return dim == 3 ? box_distance_d<3>(3, p, box) : box_distance_d<0>(dim, p, box);
}

// The span boxes and, above them, boxes of pairs of boxes level by level up to one: a box holds the boxes beneath
// it, so its squared distance from a point is no larger than theirs (each term rounds the same way), and a box
// not nearer than the bound can pass over every span beneath it, as the span-by-span test would.
struct BoxTree {
  int dim = 0, levels = 0;
  int count[32] = {};
  double *level[32] = {};
  // Builds the levels above the span boxes (6 doubles each) into room, which holds 6 (spans - 1) doubles.
  void build(int d, int spans, double *boxes, double *room) {
    dim = d;
    levels = 1;
    count[0] = spans;
    level[0] = boxes;
    while (count[levels - 1] > 1) {
      const int below = count[levels - 1], here = (below + 1) / 2;
      const double *b = level[levels - 1];
      double *h = room;
      room += 6 * static_cast<std::size_t>(here);
      for (int i = 0; i < here; ++i) {
        const double *l = b + 12 * static_cast<std::size_t>(i), *r = 2 * i + 1 < below ? l + 6 : l;
        for (int c = 0; c < dim; ++c) {
          h[6 * i + c] = l[c] < r[c] ? l[c] : r[c];
          h[6 * i + dim + c] = l[dim + c] > r[dim + c] ? l[dim + c] : r[dim + c];
        }
      }
      level[levels] = h;
      count[levels++] = here;
    }
  }
  // Calls visit(s) in increasing order for every span s whose box lies nearer to p than *bound (squared, as
  // bound * bound); visit may lower *bound.
  template <class Visit>
  void each_near(const double *p, const double *bound, Visit visit) const {
    // Level and index in arrays of their own: a pair written as two ints and read back as one 8-byte load
    // waits for both stores to retire, on every node of every point.
    int stack_lv[64], stack_i[64];
    int top = 0;
    stack_lv[top] = levels - 1, stack_i[top++] = 0;
    while (top > 0) {
      --top;
      const int lv = stack_lv[top], i = stack_i[top];
      const double sq = box_distance(dim, p, level[lv] + 6 * static_cast<std::size_t>(i));
      if (!(sq < *bound * *bound)) continue;
      if (lv == 0) {
        visit(i);
        continue;
      }
      const int child = 2 * i;
      if (child + 1 < count[lv - 1]) stack_lv[top] = lv - 1, stack_i[top++] = child + 1;
      stack_lv[top] = lv - 1, stack_i[top++] = child;
    }
  }
};
}  // namespace

void BSmdptsbscv(int degree, int n, int dim, BSboolean rational, const double *poles, const double *knots, int npts,
                 const double *points, double tol, double *dist_out, double *point_out, double *par_out, int *rc) {
  *rc = 0;
  const int nk = n + degree + 1;
  bool ok = degree >= 1 && n >= degree + 1 && dim >= 1 && dim <= 3 && rational <= 1 && npts >= 0 && poles &&
            knots && points && std::isfinite(tol) && tol >= 0 && BSallfinite(nk, knots) &&
            BSallfinite(n * (dim + rational), poles) && BSallfinite(npts * dim, points);
  for (int i = 1; ok && i < nk; ++i) ok = knots[i] >= knots[i - 1];
  ok = ok && knots[degree] < knots[n];
  for (int i = 0; ok && rational && i < n; ++i) ok = poles[dim * n + i] > 0;
  // As BSmdptbscv: poles (as points) and points within 2^500, whose squared distances stay finite.
  for (int i = 0; ok && i < n; ++i)
    for (int c = 0; ok && c < dim; ++c)
      ok = std::fabs(poles[c * n + i] / (rational ? poles[dim * n + i] : 1.0)) <= 0x1p500;
  for (int i = 0; ok && i < npts * dim; ++i) ok = std::fabs(points[i]) <= 0x1p500;
  if (!ok) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (degree + 1 > kMaxOrder) {
    *rc = 50;
  } else if (npts > 0) {
    const int k = degree + 1, nc = dim + rational, segs_max = n - degree;
    const std::size_t per = static_cast<std::size_t>(nc) * k;
    BSscratch<1000> room;
    // Bezier poles, breaks, span boxes, and the boxes above them (fewer than one per span and one per level).
    double *table = room.take((per + 13) * segs_max + 1 + 6 * 32);
    int segs = 0;
    if (!table) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *bez = table, *breaks = bez + per * segs_max, *boxes = breaks + segs_max + 1;
      double *above = boxes + 6 * static_cast<std::size_t>(segs_max);
      // Weights all far from 1 (near the least subnormal, say) carry the curve in a few bits, which the Bezier
      // conversion's sums round away: the block is searched as the same curve with its weights about 1.
      const double *block = poles;
      BSscratch<0> near_one;
      const int e = rational ? bsweights::largest_exponent(poles + static_cast<std::size_t>(dim) * n, n) : 0;
      if (e <= -256 || e >= 256) {
        double *scaled = near_one.take(static_cast<std::size_t>(nc) * n);
        if (!scaled) *rc = BSRC_NO_SCRATCH;
        else if (bsweights::scale_exactly(poles, static_cast<std::size_t>(nc) * n, e, scaled)) block = scaled;
      }
      if (*rc == 0) BSbstobez(degree, n, nc, knots, block, &segs, bez, breaks, rc);
      for (int s = 0; *rc == 0 && s < segs; ++s) BSbzboxpl(k, dim, rational, bez + s * per, boxes + 6 * s);
      BoxTree tree;
      if (*rc == 0 && segs > 0) tree.build(dim, segs, boxes, above);
      if (segs < 1) npts = 0;
      auto lower = [&](const double *p, int s) { return box_distance(dim, p, boxes + 6 * s); };
      double bound = DBL_MAX;
      for (int i = 0; *rc == 0 && i < npts; ++i) {
        const double *p = points + static_cast<std::size_t>(i) * dim;
        double best = DBL_MAX, best_par = 0, best_q[3];
        auto try_span = [&](int s) {
          double d = 0, q[3], t = 0;
          BSmdptbezcv(degree, dim, rational, bez + s * per, p, tol, bound, &d, q, &t, rc);
          if (*rc != 0 || d == DBL_MAX || !(d < best - 1e-16)) return;
          best = d;
          // Held to the span: the sum can round past its end where the span's length absorbs a tiny end.
          best_par = std::fmax(breaks[s], std::fmin(breaks[s + 1], breaks[s] + (breaks[s + 1] - breaks[s]) * t));
          std::memcpy(best_q, q, sizeof(double) * dim);
          bound = d + 1e-16;
        };
        for (int pass = 0; pass < 2 && best == DBL_MAX && *rc == 0; ++pass) {
          // A seeded bound that no span beats (it can only be too tight at a tie) falls back to none.
          if (pass == 1) {
            if (bound == DBL_MAX) break;
            bound = DBL_MAX;
          }
          // The span whose box looks nearest, by halving on the boxes' distances; then every other span whose
          // box is nearer than the bound, in order.
          int lo = 0, hi = segs - 1;
          double at_lo = lower(p, lo), at_hi = lower(p, hi);
          while (hi - lo > 1) {
            if (at_hi < at_lo)
              lo = (lo + hi) / 2, at_lo = lower(p, lo);
            else
              hi = (lo + hi) / 2, at_hi = lower(p, hi);
          }
          const int first = at_hi < at_lo ? hi : lo;
          try_span(first);
          if (*rc == 0)
            tree.each_near(p, &bound, [&](int s) {
              if (s != first && *rc == 0) try_span(s);
            });
        }
        if (*rc != 0) break;
        if (best < DBL_MAX) {
          dist_out[i] = best;
          par_out[i] = best_par;
          std::memcpy(point_out + static_cast<std::size_t>(i) * dim, best_q, sizeof(double) * dim);
        }
        // The next point starts from the distance to this point's foot.
        if (i + 1 < npts && best < DBL_MAX) {
          const double d2 = sqdist(dim, p + dim, best_q);
          bound = d2 <= tol * tol ? tol : std::sqrt(d2) + tol;
        } else {
          bound = DBL_MAX;
        }
      }
    }
  }
  BSexit(rc, "BSmdptsbscv", "bsmdptsbscv");
}
