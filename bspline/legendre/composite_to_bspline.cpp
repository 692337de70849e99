// A run of spans of a composite Legendre form back to one B-spline: the range located on the breakpoints, its
// first and last spans trimmed, each span converted within the tolerance by the per-span converters, the pieces
// raised to one order, scaled to meet with equal weights and joined end to end (a jump between them kept), every
// span on a knot interval of the same length.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"

#include <climits>
#include <cmath>
#include <cstring>

namespace {

// Per-span descriptors in one scratch block: the pointers in the first n slots, the degrees and codes after them.
struct Descriptors {
  double **spans = nullptr;
  int *degrees = nullptr;
  int *codes = nullptr;
};

constexpr std::size_t descriptor_slots(int n) { return 2 * static_cast<std::size_t>(n); }

Descriptors carve(double *block, int n) {
  static_assert(sizeof(double *) <= sizeof(double) && 2 * sizeof(int) == sizeof(double), "slot sizes");
  Descriptors d;
  d.spans = reinterpret_cast<double **>(block);
  d.degrees = reinterpret_cast<int *>(block + n);
  d.codes = d.degrees + n;
  return d;
}

// Spans in the ring of a composite: a closed composite that repeats its first span as its last counts it once.
int ring_size(int n, double *const *spans) { return n > 1 && spans[0] == spans[n - 1] ? n - 1 : n; }

// One converted span. The arrays are the caller's from the converter on and released by release_pieces.
struct Piece {
  double *P;     // comps blocks of np, the weights last when comps > dim
  double *K;     // np + order knots
  double scale;  // applied to coordinates and weights alike when the pieces are joined
  int np;
  int order;     // min(np, requested order)
  int comps;
  int apart;     // set by join_pieces: starts away from the previous piece's end, across a jump of the composite
};
constexpr std::size_t kPieceSlots = (sizeof(Piece) + sizeof(double) - 1) / sizeof(double);

void release_pieces(Piece *pieces, int count) {
  for (int i = 0; i < count; ++i) {
    BSdbgfree(pieces[i].P);
    BSdbgfree(pieces[i].K);
    pieces[i].P = pieces[i].K = nullptr;
  }
}

// Weight of pole i; a polynomial piece in a rational result weighs 1.
double weight(const Piece &p, int dim, int i) { return p.comps > dim ? p.P[static_cast<std::size_t>(dim) * p.np + i] : 1.0; }

// The pole of a piece in Cartesian coordinates, or false when its weight vanishes.
bool cartesian(const Piece &p, int dim, int i, double *out) {
  const double w = weight(p, dim, i);
  for (int q = 0; q < dim; ++q) out[q] = p.P[static_cast<std::size_t>(q) * p.np + i] / w;
  for (int q = 0; q < dim; ++q)
    if (!std::isfinite(out[q])) return false;
  return true;
}

// A heap array of count doubles handed to the caller, or NULL (also when the byte count leaves int).
double *caller_array(long long count) {
  if (count < 1 || count > INT_MAX / static_cast<long long>(sizeof(double))) return nullptr;
  return static_cast<double *>(BSdbgmalloc(static_cast<int>(count * sizeof(double))));
}

bool in_unit(double u) { return std::isfinite(u) && u >= -1.0 && u <= 1.0; }

// Every span every converter is asked about: degrees from 0, codes in the table, coefficients present.
bool spans_ok(int n, const int *degrees, const int *codes, double *const *spans, int lowest_code, int highest_code,
              int *rc) {
  for (int i = 0; i < n; ++i) {
    if (!spans[i]) {
      *rc = BSRC_NULL_CURVE;
      return false;
    }
    if (degrees[i] < 0 || codes[i] < lowest_code || codes[i] > highest_code) {
      *rc = BSRC_OUT_OF_RANGE;
      return false;
    }
  }
  return true;
}

// Joins p >= 1 pieces of one order k into the result arrays (steps of BScnvlgdnt after the order raising).
void join_pieces(int dim, bool rational, int k, int p, Piece *pieces, double tol, int *num_poles, double **poles,
                 double **knots, int *rc) {
  // Neighbours meet with one weight: each piece is scaled by the previous piece's (scaled) last weight over its
  // own first weight, which leaves its curve unchanged.
  for (int j = 0; j < p; ++j) pieces[j].scale = 1.0;
  for (int j = 1; j < p && rational; ++j) {
    const Piece &prev = pieces[j - 1];
    const double first = weight(pieces[j], dim, 0);
    const double s = prev.scale * weight(prev, dim, prev.np - 1) / first;
    if (!std::isfinite(s) || s == 0.0) {
      *rc = BSRC_NOT_POSITIVE;
      return;
    }
    pieces[j].scale = s;
  }
  // A composite made from a curve with jumps keeps them: pieces whose ends are further apart than the tolerance
  // (and their rounding) are not pulled together through a shared pole, which would move both ends by half the
  // jump, but meet at a knot of full multiplicity with a pole each.
  long long total = 1;
  for (int j = 0; j < p; ++j) {
    Piece &pc = pieces[j];
    pc.apart = 0;
    double a[3], b[3];
    if (j > 0 && cartesian(pieces[j - 1], dim, pieces[j - 1].np - 1, a) && cartesian(pc, dim, 0, b)) {
      double d2 = 0, size = 0;
      for (int q = 0; q < dim; ++q) {
        d2 += (a[q] - b[q]) * (a[q] - b[q]);
        size = std::fmax(size, std::fmax(std::fabs(a[q]), std::fabs(b[q])));
      }
      pc.apart = std::sqrt(d2) > tol + 1e-12 * size ? 1 : 0;
    }
    total += pc.np - 1 + pc.apart;
  }
  const int R = dim + (rational ? 1 : 0);
  if (total > INT_MAX / (R + 1) - k) {
    *rc = BSRC_ALLOC_CURVE;
    return;
  }
  const int N = static_cast<int>(total);
  double *P = caller_array(static_cast<long long>(R) * N), *K = P ? caller_array(N + k) : nullptr;
  if (!P || !K) {
    BSdbgfree(P);
    *rc = BSRC_ALLOC_CURVE;
    return;
  }
  int off = 0, kt = 0;
  for (int i = 0; i < k; ++i) K[kt++] = 0.0;
  for (int j = 0; j < p; ++j) {
    const Piece &pc = pieces[j];
    off += pc.apart;
    for (int q = 0; q < R; ++q) {
      double *dst = P + static_cast<std::size_t>(q) * N + off;
      for (int i = 0; i < pc.np; ++i) {
        double v = (q < dim ? pc.P[static_cast<std::size_t>(q) * pc.np + i] : weight(pc, dim, i)) * pc.scale;
        // The shared pole: the mean of both sides' coordinates (the weights already agree).
        if (j > 0 && i == 0 && q < dim && !pc.apart) v = (dst[0] + v) / 2;
        dst[i] = v;
      }
    }
    // A piece of several spans keeps its inner knots, mapped from its own range onto [j, j + 1].
    const double lo = pc.K[k - 1], hi = pc.K[pc.np];
    for (int i = k; i < pc.np; ++i) K[kt++] = j + (pc.K[i] - lo) / (hi - lo);
    if (j + 1 < p)
      for (int r = 0; r < k - 1 + pieces[j + 1].apart; ++r) K[kt++] = j + 1;
    off += pc.np - 1;
  }
  for (int i = 0; i < k; ++i) K[kt++] = p;
  const std::int16_t order = static_cast<std::int16_t>(k);
  BSnorkts(rc, &order, &N, K);
  if (*rc != 0) {
    BSdbgfree(P);
    BSdbgfree(K);
    return;
  }
  *num_poles = N;
  *poles = P;
  *knots = K;
}

// A callee's result arrays, handed to the caller only when the call succeeded and released otherwise (a callee
// may fail after it has written them, for instance at its exit).
struct Arrays {
  int order = 0, num_poles = 0, rational = 0;
  double *poles = nullptr, *knots = nullptr;
  void hand_over(int rc, int *out_order, int *out_num_poles, int *out_rational, double **out_poles,
                 double **out_knots) {
    if (rc != 0) {
      BSdbgfree(poles);
      BSdbgfree(knots);
      return;
    }
    *out_order = order, *out_num_poles = num_poles, *out_rational = rational;
    *out_poles = poles, *out_knots = knots;
  }
};

}  // namespace

void BSlimlgdab(int degree, const double *coef, double a, double b, double *out, int *rc) {
  *rc = 0;
  BSscratch<100> scratch;
  do {
    if (degree < -1 || !in_unit(a) || !in_unit(b)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (degree == -1) break;
    if (!coef || !out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const std::size_t w = static_cast<std::size_t>(degree) + 1;
    // The whole interval is the series itself, exactly (no rounding through the matrix).
    if (degree == 0 || (a == -1.0 && b == 1.0)) {
      std::memmove(out, coef, w * sizeof(double));
      break;
    }
    double *M = scratch.take(w * w);
    if (!M) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    BSlgdaffmat(degree, (b - a) / 2, (a + b) / 2, M);
    // Ascending rows read only coefficients at or above their own index, so out may be coef.
    for (std::size_t k = 0; k < w; ++k) {
      double s = 0.0;
      for (std::size_t j = k; j < w; ++j) s += M[k * w + j] * coef[j];
      out[k] = s;
    }
  } while (false);
  BSexit(rc, "BSlimlgdab", "bslimlgdab");
}

void BScnvlgdnt(int dim, int n, const int *degrees, const int *codes, double **spans, double tol, int order,
                int continuity, int *out_order, int *out_num_poles, int *out_rational, double **out_knots,
                double **out_poles, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  Piece *pieces = nullptr;
  int held = 0;
  do {
    if (!degrees || !codes || !spans || !out_order || !out_num_poles || !out_rational || !out_knots ||
        !out_poles) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (n < 1 || (dim != 2 && dim != 3) || order < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!spans_ok(n, degrees, codes, spans, 0, 1, rc)) break;
    bool rational = false;
    for (int i = 0; i < n; ++i) rational = rational || codes[i] != 0;
    double *block = scratch.take(kPieceSlots * n);
    if (!block) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    pieces = reinterpret_cast<Piece *>(block);
    std::memset(pieces, 0, sizeof(Piece) * n);
    held = n;

    const int cont = continuity < order - 2 ? continuity : order - 2;
    int k = 1;
    for (int i = 0; i < n && *rc == 0; ++i) {
      Piece &pc = pieces[i];
      (codes[i] ? BSlgdbsplr : BSlgdbspl1)(degrees[i], dim, spans[i], order, cont, tol, &pc.np, &pc.P, &pc.K, rc);
      pc.comps = dim + (codes[i] ? 1 : 0);
      pc.order = pc.np < order ? pc.np : order;
      if (pc.order > k) k = pc.order;
    }
    if (*rc != 0) break;

    if (k == 1) {  // every span a point: the segment from the first to the last
      double *P = caller_array(2 * dim), *K = P ? caller_array(4) : nullptr;
      double first[3], last[3];
      if (!cartesian(pieces[0], dim, 0, first) || !cartesian(pieces[n - 1], dim, pieces[n - 1].np - 1, last))
        *rc = BSRC_NOT_POSITIVE;
      else if (!P || !K)
        *rc = BSRC_ALLOC_CURVE;
      if (*rc != 0) {
        BSdbgfree(P);
        BSdbgfree(K);
        break;
      }
      for (int q = 0; q < dim; ++q) P[2 * q] = first[q], P[2 * q + 1] = last[q];
      K[0] = K[1] = 0.0;
      K[2] = K[3] = 1.0;
      *out_order = 2;
      *out_num_poles = 2;
      *out_rational = 0;
      *out_poles = P;
      *out_knots = K;
      break;
    }

    // Points among curves carry nothing: they go, and the others are brought to the common order.
    int p = 0;
    for (int i = 0; i < n; ++i) {
      if (pieces[i].order <= 1) {
        release_pieces(pieces + i, 1);
        continue;
      }
      pieces[p++] = pieces[i];
    }
    held = p;
    for (int j = 0; j < p && *rc == 0; ++j) {
      Piece &pc = pieces[j];
      if (pc.order == k) continue;
      int np = 0;
      double *P = nullptr, *K = nullptr;
      BSincord(pc.order, pc.comps, pc.np, pc.P, pc.K, k, &np, &P, &K, rc);
      if (*rc != 0) {
        BSdbgfree(P);
        BSdbgfree(K);
        break;
      }
      release_pieces(&pc, 1);
      pc.P = P, pc.K = K, pc.np = np, pc.order = k;
    }
    if (*rc != 0) break;

    int num_poles = 0;
    double *P = nullptr, *K = nullptr;
    join_pieces(dim, rational, k, p, pieces, tol, &num_poles, &P, &K, rc);
    if (*rc != 0) break;
    *out_order = k;
    *out_num_poles = num_poles;
    *out_rational = rational ? 1 : 0;
    *out_poles = P;
    *out_knots = K;
  } while (false);
  if (pieces) release_pieces(pieces, held);
  BSexit(rc, "BScnvlgdnt", "bscnvlgdnt");
}

void BScnvlgd2d(int n, const int *degrees, const int *codes, double **spans, double tol, int order, int continuity,
                int *out_order, int *out_num_poles, int *out_rational, double **out_knots, double **out_poles,
                int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  Arrays res;
  constexpr int kQuot = 320;  // coefficients of a quotient series
  do {
    if (!degrees || !codes || !spans || !out_order || !out_num_poles || !out_rational || !out_knots ||
        !out_poles) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (n < 1 || !std::isfinite(tol) || tol < 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!spans_ok(n, degrees, codes, spans, 0, 3, rc)) break;
    bool polynomial = true, exact = true;
    for (int i = 0; i < n; ++i) {
      polynomial = polynomial && codes[i] == 0;
      exact = exact && (codes[i] == 1 || codes[i] == 2);
    }
    if (polynomial) {
      BScnvlgdnt(2, n, degrees, codes, spans, tol, order, continuity, &res.order, &res.num_poles, &res.rational,
                 &res.knots, &res.poles, rc);
      break;
    }
    const double cut = tol / 1024;
    // Room per span: X, Y, W of degree 2d (exact path) or x, y of degree up to max(d, 319) (polynomial path),
    // and the work of one span: the common-denominator form or two quotients.
    long long room = 0, work = exact ? 0 : 2 * kQuot;
    for (int i = 0; i < n; ++i) {
      const long long d = degrees[i];
      const long long span_room = exact ? 3 * (2 * d + 1) : 2 * ((codes[i] && d < kQuot ? kQuot - 1 : d) + 1);
      room += span_room;
      if (exact && span_room > work) work = span_room;
    }
    const long long need = static_cast<long long>(descriptor_slots(n)) + room + work;
    double *block = need <= INT_MAX / 8 ? scratch.take(static_cast<std::size_t>(need)) : nullptr;
    if (!block) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    const Descriptors out = carve(block, n);
    double *next = block + descriptor_slots(n), *w = block + descriptor_slots(n) + room;
    for (int i = 0; i < n && *rc == 0; ++i) {
      const int d = degrees[i];
      const std::size_t s = static_cast<std::size_t>(d) + 1;
      const double *c = spans[i];
      out.spans[i] = next;
      if (exact) {
        // One denominator for both coordinates, truncated where its terms no longer count.
        int m = 0, me = 0;
        BSlgdratstd(d, codes[i], c, &m, w, rc);
        double *dest = next;
        if (*rc == 0) BSlgdcvint(m, 3, w, cut, &me, &dest, rc);
        out.degrees[i] = me;
        out.codes[i] = 1;
        next += 3 * (2 * static_cast<std::size_t>(d) + 1);
        continue;
      }
      // Each coordinate over its own denominator as one polynomial series.
      int mx = d, my = d;
      double *qx = w, *qy = w + kQuot;
      const double *x = c, *y = c + s;
      if (codes[i] == 1 || codes[i] == 3) {
        BSdivlgdlgd(d, c, d, c + 2 * s, &mx, qx, rc);
        if (*rc == 0) BSeffdeg(mx, qx, cut, &mx);
        x = qx;
      }
      if (*rc == 0 && (codes[i] == 2 || codes[i] == 3)) {
        BSdivlgdlgd(d, c + s, d, c + (codes[i] == 3 ? 3 : 2) * s, &my, qy, rc);
        if (*rc == 0) BSeffdeg(my, qy, cut, &my);
        y = qy;
      }
      if (*rc != 0) break;
      // A quotient that keeps all its coefficients above the cut is not resolved by the fit.
      if ((x == qx && mx >= kQuot - 1) || (y == qy && my >= kQuot - 1)) {
        *rc = BSRC_QUOTIENT_DEGREE;
        break;
      }
      // Codes 1 and 2 keep the plain coordinate's degree at least; code 3 takes the larger quotient.
      int D = codes[i] == 3 ? (mx > my ? mx : my) : (x == qx ? mx : my);
      if (codes[i] != 3 && D < d) D = d;
      if (D < 0) D = 0;
      const int len[2] = {x == qx ? mx + 1 : d + 1, y == qy ? my + 1 : d + 1};
      const double *src[2] = {x, y};
      for (int q = 0; q < 2; ++q)
        for (int j = 0; j <= D; ++j) next[q * (D + 1) + j] = j < len[q] ? src[q][j] : 0.0;
      out.degrees[i] = D;
      out.codes[i] = 0;
      next += 2 * (static_cast<std::size_t>(D) + 1);
    }
    if (*rc != 0) break;
    BScnvlgdnt(2, n, out.degrees, out.codes, out.spans, tol, order, continuity, &res.order, &res.num_poles,
               &res.rational, &res.knots, &res.poles, rc);
  } while (false);
  if (out_order && out_num_poles && out_rational && out_knots && out_poles)
    res.hand_over(*rc, out_order, out_num_poles, out_rational, out_poles, out_knots);
  BSexit(rc, "BScnvlgd2d", "bscnvlgd2d");
}

void BScmlg2bsab(int general, int dim, int n, const int *degrees, const int *codes, double **spans,
                 const int span_range[2], const double local_range[2], double tol, int order, int *out_order,
                 int *out_num_poles, int *out_rational, double **out_poles, double **out_knots, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  Arrays res;
  do {
    if (!degrees || !codes || !spans || !span_range || !local_range || !out_order || !out_num_poles ||
        !out_rational || !out_poles || !out_knots) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (n < 1 || (general ? dim != 2 && dim != 3 : dim != 2)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!spans_ok(n, degrees, codes, spans, 0, general ? 1 : 3, rc)) break;
    // The ring repeats with period r; a last span before the first runs over the end of the ring.
    const int r = ring_size(n, spans);
    const int s = span_range[0], e = span_range[1];
    const double ua = local_range[0], ub = local_range[1];
    const long long m = e >= s ? static_cast<long long>(e) - s + 1 : static_cast<long long>(e) - s + r + 1;
    if (s < 0 || s >= n || e < 0 || e >= n + r || m > r + 1 || !in_unit(ua) || !in_unit(ub) ||
        (m == 1 && ua - ub > 1e-12)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int count = static_cast<int>(m);
    const int first = s % r, last = (s + count - 1) % r;
    auto comps = [&](int i) { return general ? dim + codes[i] : BScmlgdcomps(2, codes[i]); };
    const std::size_t first_size = (static_cast<std::size_t>(degrees[first]) + 1) * comps(first);
    const std::size_t last_size = (static_cast<std::size_t>(degrees[last]) + 1) * comps(last);
    double *block = scratch.take(descriptor_slots(count) + first_size + (count > 1 ? last_size : 0));
    if (!block) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    const Descriptors run = carve(block, count);
    for (int j = 0; j < count; ++j) {
      const int i = (s + j) % r;
      run.spans[j] = spans[i];
      run.degrees[j] = degrees[i];
      run.codes[j] = codes[i];
    }
    // The end spans are trimmed into buffers of their own; the caller's spans are only read.
    double *trim[2] = {block + descriptor_slots(count), block + descriptor_slots(count) + first_size};
    const int ends[2] = {0, count - 1};
    const double from[2] = {ua, -1.0}, to[2] = {count == 1 ? ub : 1.0, ub};
    for (int t = 0; t < (count > 1 ? 2 : 1) && *rc == 0; ++t) {
      const int j = ends[t], d = run.degrees[j];
      const double *src = run.spans[j];
      for (int c = 0; c < comps(j == 0 ? first : last) && *rc == 0; ++c)
        BSlimlgdab(d, src + static_cast<std::size_t>(c) * (d + 1), from[t], to[t],
                   trim[t] + static_cast<std::size_t>(c) * (d + 1), rc);
      run.spans[j] = trim[t];
    }
    if (*rc != 0) break;
    if (general)
      BScnvlgdnt(dim, count, run.degrees, run.codes, run.spans, tol, order, 1, &res.order, &res.num_poles,
                 &res.rational, &res.knots, &res.poles, rc);
    else
      BScnvlgd2d(count, run.degrees, run.codes, run.spans, tol, order, 1, &res.order, &res.num_poles,
                 &res.rational, &res.knots, &res.poles, rc);
    res.hand_over(*rc, out_order, out_num_poles, out_rational, out_poles, out_knots);
  } while (false);
  BSexit(rc, "BScmlg2bsab", "bscmlg2bsab");
}

void BScmlgd2bsp(int general, int dim, int n, const int *degrees, const int *codes, double **spans,
                 const double *breakpoints, const double range[2], double tol, int order, int *out_order,
                 int *out_num_poles, int *out_rational, double **out_poles, double **out_knots, int *rc) {
  *rc = 0;
  do {
    if (!degrees || !codes || !spans || !breakpoints || !range || !out_order || !out_num_poles || !out_rational ||
        !out_poles || !out_knots) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (n < 1 || !std::isfinite(range[0]) || !std::isfinite(range[1])) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    bool increasing = std::isfinite(breakpoints[0]);
    for (int i = 0; i < n && increasing; ++i) increasing = std::isfinite(breakpoints[i + 1]) && breakpoints[i + 1] > breakpoints[i];
    const double a = range[0], b = range[1], b0 = breakpoints[0], bn = breakpoints[n];
    // A range end outside the breakpoints would extrapolate an end span's series.
    auto outside = [&](double t) { return (t < b0 && !BSfuzzyeq(t, b0)) || (t > bn && !BSfuzzyeq(t, bn)); };
    if (!increasing || outside(a) || outside(b)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    auto local = [&](int i, double t) {
      if (BSfuzzyeq(t, breakpoints[i])) return -1.0;
      if (BSfuzzyeq(t, breakpoints[i + 1])) return 1.0;
      const double h = (breakpoints[i + 1] - breakpoints[i]) / 2, u = (t - (breakpoints[i] + h)) / h;
      return u < -1.0 ? -1.0 : u > 1.0 ? 1.0 : u;
    };
    // The start lies in the first span that ends after it, the end in the first span that reaches it.
    int s = 0, e = 0;
    while (s < n && !(breakpoints[s + 1] >= a && !BSfuzzyeq(breakpoints[s + 1], a))) ++s;
    while (e < n && !(breakpoints[e + 1] >= b || BSfuzzyeq(breakpoints[e + 1], b))) ++e;
    if (s == n || e == n) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double ua = local(s, a), ub = local(e, b);
    // Positions in the ring: a start at the end of its span is the start of the next, an end at the start of its
    // span the end of the one before; an end before the start runs over the end of the ring.
    const int r = ring_size(n, spans);
    s %= r;
    e %= r;
    if (ua == 1.0) s = (s + 1) % r, ua = -1.0;
    if (ub == -1.0) e = (e + r - 1) % r, ub = 1.0;
    if (e < s || (e == s && ua - ub > 1e-12)) e += r;
    const int span_range[2] = {s, e};
    const double local_range[2] = {ua, ub};
    Arrays res;
    BScmlg2bsab(general, dim, n, degrees, codes, spans, span_range, local_range, tol, order, &res.order,
                &res.num_poles, &res.rational, &res.poles, &res.knots, rc);
    res.hand_over(*rc, out_order, out_num_poles, out_rational, out_poles, out_knots);
  } while (false);
  BSexit(rc, "BScmlgd2bsp", "bscmlgd2bsp");
}
