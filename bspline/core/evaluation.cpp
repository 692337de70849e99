// Points and derivatives of polynomial and rational curves: the curve entry BScveval_n with its 0-, 1- and
// 2-derivative bodies, the local-difference scheme for higher derivatives, raw pole arrays of any dimension, the
// homogeneous de Boor triangle for both sides of a knot, and the closure test.
#include "bspline/bspline.h"
#include "bspline/core/evaluation_internal.h"
#include "bspline/core/exit.h"
#include "bspline/core/far_weights_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <emmintrin.h>

namespace {
// Rows 0..15 of the binomial triangle, row after row; row m starts at m(m+1)/2.
struct BinomialTable {
  double rows[136];
  constexpr BinomialTable() : rows() {
    for (int m = 0; m < 16; ++m) {
      const int b = m * (m + 1) / 2;
      rows[b] = 1;
      rows[b + m] = 1;
      for (int i = 1; i < m; ++i) rows[b + i] = rows[b - m + i - 1] + rows[b - m + i];
    }
  }
  constexpr double operator()(int m, int i) const { return rows[m * (m + 1) / 2 + i]; }
};
constexpr BinomialTable kBinom;

constexpr int kMaxOrder = 16;

// q[m] = a[m] / b[m] for m < M, two at a time: a division of a pair costs the divider what one of a single
// double does, and each quotient is the correctly rounded one either way.
typedef double Pair __attribute__((vector_size(16)));
template <int M>
[[gnu::always_inline]] inline void divide_pairs(const double *a, const double *b, double *q) {
#pragma GCC unroll 8
  for (int m = 0; m + 1 < M; m += 2) {
    const Pair x = {a[m], a[m + 1]}, y = {b[m], b[m + 1]};
    const Pair r = x / y;
    q[m] = r[0];
    q[m + 1] = r[1];
  }
  if (M % 2) q[M - 1] = a[M - 1] / b[M - 1];
}
constexpr int kMaxDeriv = 15;

// Two compares of doubles at once: each lane pair of the result is -1 (all bits) where the knot lies below u.
typedef int Lanes __attribute__((vector_size(16)));
[[gnu::always_inline]] inline Lanes count_below(const double *knots, Pair u) {
  Pair x;
  std::memcpy(&x, knots, sizeof x);
  return reinterpret_cast<Lanes>(x < u);
}

BSboolean ok(const int *rc) { return *rc == 0 ? BSTRUE : BSFALSE; }

// Sums of basis values (or derivatives) times poles and weights on span s of order k.
[[gnu::always_inline]] inline void weighted_sum(int k, int s, const double *B, const double *poles,
                                                const double *weights, double A[3], double *W) {
  A[0] = A[1] = A[2] = 0;
  double w = 0;
  for (int i = 0; i < k; ++i) {
    const double *P = poles + 3 * (s - k + 1 + i);
    A[0] += B[i] * P[0];
    A[1] += B[i] * P[1];
    A[2] += B[i] * P[2];
    if (weights) w += B[i] * weights[s - k + 1 + i];
  }
  *W = w;
}
// The quotient rule of BScveval0, 1 and 2: nd + 1 rows (nd up to 2) of out from the sums A and W of the rows 0 .. nd
// of basis values times the weighted poles and the weights.
[[gnu::always_inline]] inline void quotient_rule(int nd, const double (*A)[3], const double *W, double *out) {
  for (int c = 0; c < 3; ++c) {
    const double Q = A[0][c] / W[0];
    out[c] = Q;
    if (nd >= 1) {
      const double Q1 = (A[1][c] - Q * W[1]) / W[0];
      out[3 + c] = Q1;
      if (nd >= 2) out[6 + c] = (A[2][c] - 2 * Q1 * W[1] - Q * W[2]) / W[0];
    }
  }
}
// A parameter far outside the knots extrapolates the end polynomial beyond the range of doubles: such a result
// is refused rather than handed out as infinities or NaN.
void refuse_overflow(int *rc, int count, const double *out) {
  for (int i = 0; i < count && *rc == 0; ++i)
    if (!std::isfinite(out[i])) *rc = BSRC_OUT_OF_RANGE;
}

// A span's k poles (3 doubles each) and weights scaled by the power of two that brings its largest weight to
// [1/2, 1), at room: 3k poles, then k weights. False where that changes nothing or would lose a digit: the span is
// then taken as it is. The evaluators take it where the weight sum at their parameter lies far from 1 (the curve
// entry by the rule of quotient_rows, on its shortcut and its general road alike, so that both give the same bits).
bool span_about_one(int k, const double *P, const double *w, double *room) {
  const std::size_t n = static_cast<std::size_t>(k);
  const int e = bsweights::largest_exponent(w, n);
  return e != 0 && bsweights::scale_exactly(P, 3 * n, e, room) && bsweights::scale_exactly(w, n, e, room + 3 * n);
}

// The sums and quotient rule of BScveval0, 1 and 2 over the rows B[0 .. nd] of basis values on span s (nd up to
// 2), into nd + 1 rows of out. The span is brought about 1 where its weight sum lies below 2^-500, and where it
// lies above 2^501 and the answer as given is not finite (short of that it is the same answer, bit for bit);
// the shortcut of BScveval_n takes the same rule.
void quotient_rows(int *rc, int k, int s, const double *poles, const double *weights, int nd, const double *const *B,
                   double *out) {
  double A[3][3], W[3];
  auto sums = [&](const double *P, const double *w, int span) {
    for (int d = 0; d <= nd; ++d) weighted_sum(k, span, B[d], P, w, A[d], &W[d]);
    if (!w) W[0] = 1, W[1] = 0, W[2] = 0;
  };
  BSscratch<4 * kMaxOrder> work;
  auto about_one = [&] {
    double *room = work.take(4 * static_cast<std::size_t>(k));
    const bool scaled = room && span_about_one(k, poles + 3 * (s - k + 1), weights + (s - k + 1), room);
    if (scaled) sums(room, room + 3 * k, k - 1);
    return scaled;
  };
  auto quotients = [&] { quotient_rule(nd, A, W, out); };
  sums(poles, weights, s);
  if (weights && bsweights::below(W[0])) about_one();
  if (W[0] == 0) {
    *rc = BSRC_ZERO_WEIGHT;
    return;
  }
  quotients();
  const int count = 3 * (nd + 1);
  if (weights && bsweights::above(W[0]) && !std::all_of(out, out + count, [](double v) { return std::isfinite(v); }) &&
      about_one())
    quotients();
  refuse_overflow(rc, count, out);
}

// Rows of homogeneous values (dim coordinates and the weight last, rows + 1 of them) scaled by the power of two that
// brings the weight of the first row to [1/2, 1), at room; false where the weight is near 1 or a digit would go.
// The quotient rule then works on values whose products neither overflow nor underflow, and answers the same.
bool rows_about_one(int dim, int rows, const double *in, double *room) {
  const double w0 = in[dim];
  if (bsweights::near_one(w0)) return false;
  const int e = bsweights::largest_exponent(&w0, 1);
  return e != 0 && bsweights::scale_exactly(in, static_cast<std::size_t>(dim + 1) * (rows + 1), e, room);
}
}  // namespace

void BScveval0(int *rc, int order, const double *poles, const double *weights, const double *knots, int span,
               double u, double out[3]) {
  *rc = 0;
  BSscratch<kMaxOrder> work;
  double *N = work.take(order > 0 ? static_cast<std::size_t>(order) : 1);
  if (!N) {
    *rc = BSRC_NO_SCRATCH;
  } else if (BSmansf0(rc, order, knots, span, u, N)) {
    const double *rows[1] = {N};
    quotient_rows(rc, order, span, poles, weights, 0, rows, out);
  }
  BSexit(rc, "BScveval0", "bscveval0");
}

void BScveval1(int *rc, int order, const double *poles, const double *weights, const double *knots, int span,
               double u, double out[6]) {
  *rc = 0;
  BSscratch<2 * kMaxOrder> work;
  double *N = work.take(order > 0 ? 2 * static_cast<std::size_t>(order) : 2);
  if (!N) {
    *rc = BSRC_NO_SCRATCH;
  } else if (BSmansf1(rc, order, knots, span, u, N, N + order)) {
    const double *rows[2] = {N, N + order};
    quotient_rows(rc, order, span, poles, weights, 1, rows, out);
  }
  BSexit(rc, "BScveval1", "bscveval1");
}

void BScveval2(int *rc, int order, const double *poles, const double *weights, const double *knots, int span,
               double u, double out[9]) {
  *rc = 0;
  double N[kMaxOrder], D1[kMaxOrder], D2[kMaxOrder];
  // Fixed arrays: orders above 16 are refused.
  if (order < 1 || order > kMaxOrder) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    if (order <= 2) {
      if (BSmansf1(rc, order, knots, span, u, N, D1))
        for (int i = 0; i < order; ++i) D2[i] = 0;
    } else {
      BSmansf2(rc, order, knots, span, u, N, D1, D2);
    }
    if (*rc == 0) {
      const double *rows[3] = {N, D1, D2};
      quotient_rows(rc, order, span, poles, weights, 2, rows, out);
    }
  }
  BSexit(rc, "BScveval2", "bscveval2");
}

void BSspnderiv(int p, int dim, int nder, double *local_poles, const double *recip, const double *offsets,
                double *out) {
  const int k = p + 1;
  for (int comp = 0; comp < dim; ++comp) {
    double *c = local_poles + comp * k;
    // Divided differences level by level; descending i keeps c[i-1] from before the level.
    for (int j = 1; j <= p; ++j)
      for (int i = p; i >= j; --i) c[i] = (c[i] - c[i - 1]) * recip[(j - 1) * k + i];
    // Re-expansion of the Newton form at u.
    for (int j = 0; j < p; ++j)
      for (int i = j; i >= 0; --i) c[i] += offsets[j + 1] * c[i + 1];
    out[comp] = c[0];
    double factor = 1;
    for (int d = 1; d <= nder; ++d) {
      if (d <= p) {
        factor *= p - d + 1;
        out[d * dim + comp] = factor * c[d];
      } else {
        out[d * dim + comp] = 0;
      }
    }
  }
  BSfaulthook("bsspnderiv", nullptr);
}

void BSsetder_cv(int dim, int rational, int nder, const double *in, double *out, int *rc) {
  *rc = 0;
  for (int i = 0; i < (nder + 1) * dim; ++i) out[i] = 0;
  if (!rational) {
    for (int d = 0; d <= nder; ++d)
      for (int c = 0; c < dim; ++c) out[d * dim + c] = in[d * dim + c];
  } else if (nder > kMaxDeriv) {
    *rc = BSRC_OUT_OF_RANGE;  // the binomial table ends at derivative order 15
  } else {
    const int w = dim + 1;
    if (in[dim] == 0) {
      *rc = BSRC_ZERO_WEIGHT;
    } else {
      BSscratch<4 * (kMaxDeriv + 1)> work;
      double *room = bsweights::near_one(in[dim]) ? nullptr : work.take(static_cast<std::size_t>(w) * (nder + 1));
      if (room && rows_about_one(dim, nder, in, room)) in = room;
      const double w0 = in[dim];
      for (int d = 0; d <= nder; ++d)
        for (int c = 0; c < dim; ++c) {
          double v = in[d * w + c];
          for (int i = 1; i <= d; ++i) v -= kBinom(d, i) * in[i * w + dim] * out[(d - i) * dim + c];
          out[d * dim + c] = v / w0;
        }
    }
  }
  BSexit(rc, "BSsetder_cv", "bssetder_cv");
}

namespace {
// The span for the raw evaluators: the caller's hint when it names a valid span, else the search.
int raw_span(int p, int num_poles, const double *knots, double u, int hint) {
  if (hint >= p && hint <= num_poles - 1) return hint;
  VOQbsp_curve probe{};
  probe.order = static_cast<std::int16_t>(p + 1);
  int span = p, rc = 0;
  BSfndspan(&rc, &probe, &num_poles, knots, &u, &span);
  return span;
}
}  // namespace

namespace {
// The common case of BScveval_n as fast as the plain algorithm allows: a point and up to two derivatives of a
// curve of order 2 to 8 whose span and basis need no refusal. The span comes from halvings and counts of knots
// below the parameter, the basis and the sums from the very operations of BSfndspan, BSmansf0 / BSmansf1 /
// BSmansf2 and BScveval0 / BScveval1 / BScveval2 in the same order (hence the same bits), unrolled for the order,
// without scratch memory and without the callees' exits. Each order, weighting and derivative count has a body of
// its own, small enough to keep its values in registers. Anything unusual goes to the general road, which refuses
// and reports as before; so does every call while the slow roads are asked for.

// The count of the knots b[0..W-1] below u, two compares at a time, summed as a tree.
template <int W>
[[gnu::always_inline]] inline int count_window(const double *b, Pair u) {
  Lanes part[W / 2];
#pragma GCC unroll 8
  for (int i = 0; i < W / 2; ++i) part[i] = count_below(b + 2 * i, u);
#pragma GCC unroll 8
  for (int w = W / 4; w >= 1; w /= 2)
#pragma GCC unroll 8
    for (int i = 0; i < w; ++i) part[i] += part[i + w];
  // Each lane pair holds the negated count of its knots.
  const __m128i sum = reinterpret_cast<__m128i>(part[0]);
  return -_mm_cvtsi128_si32(_mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4e)));
}

// The span whose knots bracket u (knots[s] < u <= knots[s+1]), for t[K-1] < u <= t[n], or -1: the span before
// the first of t[K..n-1] not below u. Halvings whose count depends on n alone (so that their loop is always
// foreseen) and whose choices are conditional moves stop at a window of W knots, whose count of knots below u is
// taken at once: its compares overlap where the halvings would wait on one another. On a vector that does not
// decrease, the knots before the window are below u and those past the halvings' range are not, so the count
// gives the same span also where the window is moved back to stay inside the knot array, and the only span that
// brackets u is the one BSfndspan finds, from any hint. (A damaged vector that decreases somewhere may have two
// bracketing spans, and the two searches may then choose differently.) A span outside k-1 .. n-1 or one that does
// not bracket u (a damaged vector) answers -1.
template <int K, int W>
[[gnu::always_inline]] inline int counted_span(const double *t, int n, double u) {
  const double *b = t + K;
  for (std::ptrdiff_t len = n - K; len > W;) {
    const std::ptrdiff_t half = len / 2;
    b = b[half] < u ? b + half : b;
    len -= half;
  }
  b = std::min(b, t + n + K - W);
  const int s = static_cast<int>(b - t) + count_window<W>(b, Pair{u, u}) - 1;
  return static_cast<unsigned>(s - (K - 1)) <= static_cast<unsigned>(n - K) && t[s] < u && u <= t[s + 1] ? s : -1;
}

// counted_span with the widest window the n + K >= 2 K + 1 >= 5 knots hold.
template <int K>
[[gnu::always_inline]] inline int counted_span(const double *t, int n, double u) {
  return n + K >= 16 ? counted_span<K, 16>(t, n, u)
         : n + K >= 8 ? counted_span<K, 8>(t, n, u)
                      : counted_span<K, 4>(t, n, u);
}

// The span BSfndspan answers from the hint k-1 (knots[s] < u <= knots[s+1], the ends snapped) for a record of at
// least K poles, or -1 where it is left to BSfndspan: the road for parameters within 1e-20 of an end, where
// BSfndspan snaps to the first or last span with length, and for the vectors that quick_span cannot answer.
template <int K>
[[gnu::noinline]] int span_near_ends(const double *t, int n, double u) {
  if (K == n || (t[K - 1] < u && u <= t[K])) return K - 1;
  if (t[K] < u && u <= t[K + 1]) return K;
  // At the ends BSfndspan passes over empty spans to the first or last one with length; those are left to it.
  if (u <= t[K - 1] + 1e-20) return t[K] > t[K - 1] ? K - 1 : -1;
  if (u > t[n] - 1e-20) return t[n] > t[n - 1] ? n - 1 : -1;
  return counted_span<K>(t, n, u);
}

// The same span for a parameter clear of both ends (the common case), or -1 where span_near_ends must answer.
// Away from the ends BSfndspan's hints and snaps take the one span that brackets u, so the search is all.
template <int K>
[[gnu::always_inline]] inline int quick_span(const double *t, int n, double u) {
  if (n <= K) return -1;
  // t[K-1] + 1e-20 < u and u <= t[n] - 1e-20 as one test of a pair of compares (a NaN fails either).
  const Pair ends = Pair{t[K - 1], t[n]} + Pair{1e-20, -1e-20}, U = {u, u};
  if (_mm_movemask_pd(_mm_move_sd(_mm_cmple_pd(U, ends), _mm_cmplt_pd(ends, U))) != 3) return -1;
  return counted_span<K>(t, n, u);
}

// The span of BSfndspan from the hint k-1 anywhere, or -1.
template <int K>
[[gnu::always_inline]] inline int shortcut_span(const double *t, int n, double u) {
  const int s = quick_span<K>(t, n, u);
  return s >= 0 || n < K ? s : span_near_ends<K>(t, n, u);
}

// v / d for the derivative scheme of BSmansf1 (derive): place i of order q takes L[i-1] / d(i) - L[i] / d(i+1),
// with d(i) the interval of ratio i on the level that raised order q-1 to q, times q - 1. Each quotient is shared
// by the two places that use it, as derive's own divisions give the same bits. derive starts each place from 0
// (0 + L[i-1] / d(i), 0 - L[i] / d(i+1)); that changes at most the sign of a zero, which no sum of basis values
// times poles can show: each such sum starts from 0 too, and after that a zero term of either sign leaves it as
// it is. So the places are taken without it.
// den[i] is the interval of ratio i + 1.
template <int Q>
[[gnu::always_inline]] inline void quick_derive(const double *den, const double *L, double *out) {
  double z[Q];
  divide_pairs<Q - 1>(L, den, z);
  out[0] = (Q - 1) * -z[0];
#pragma GCC unroll 8
  for (int i = 1; i < Q - 1; ++i) out[i] = (Q - 1) * (z[i - 1] - z[i]);
  out[Q - 1] = (Q - 1) * z[Q - 2];
}

// Where quick_basis keeps the ratio of level j, place i (the ratio (u - t[s-j+i]) / (t[s+i] - t[s-j+i]), for
// i = 1 .. j) among its slots, taken two at a time: two neighbouring places of a level share a pair, whose knots
// are then neighbours too, and the place left over by a level of odd length shares one with that of the next such
// level. Pairs come in the order the levels need them, as the divider takes them in that order.
template <int K>
struct RatioSlots {
  static constexpr int M = K * (K - 1) / 2, P = (M + 1) / 2;
  int slot[K][K] = {};  // [j][i]
  int level[2 * P] = {}, place[2 * P] = {};
  constexpr RatioSlots() {
    int pairs = 0, open = -1;  // open: a pair whose second lane awaits a leftover
    for (int j = 1; j < K; ++j) {
      for (int i = 1; i + 1 <= j; i += 2) {
        slot[j][i] = 2 * pairs;
        slot[j][i + 1] = 2 * pairs++ + 1;
      }
      if (j % 2 == 0) continue;
      if (open >= 0) {
        slot[j][j] = 2 * open + 1;
        open = -1;
      } else {
        open = pairs++;
        slot[j][j] = 2 * open;
      }
    }
    for (int j = 1; j < K; ++j)
      for (int i = 1; i <= j; ++i) level[slot[j][i]] = j, place[slot[j][i]] = i;
    // A lane left without a ratio repeats its pair's first.
    if (open >= 0) level[2 * open + 1] = level[2 * open], place[2 * open + 1] = place[2 * open];
  }
};

// The basis values of order K >= 3 on span s at u (and Nder derivatives) by the operations of BSmansf0 /
// BSmansf1 / BSmansf2 in the same order. Every ratio of the triangle depends on u and the knots alone, so all are
// taken first, two at a time, where their divisions overlap. false for an interval below eps (a negative one, of
// a damaged vector, too), where the general road refuses.
template <int K, int Nder>
[[gnu::always_inline]] inline bool quick_triangle(const double *t, int s, double u, double eps, double (&B)[3][K]) {
  static constexpr RatioSlots<K> kSlots;
  constexpr int P = RatioSlots<K>::P;
  Pair den[P], ratio[P];
  Pair least = {eps, eps};
  const Pair U = {u, u};
#pragma GCC unroll 16
  for (int q = 0; q < P; ++q) {
    const int j0 = kSlots.level[2 * q], i0 = kSlots.place[2 * q];
    const int j1 = kSlots.level[2 * q + 1], i1 = kSlots.place[2 * q + 1];
    const Pair lo = {t[s - j0 + i0], t[s - j1 + i1]}, hi = {t[s + i0], t[s + i1]};
    den[q] = hi - lo;
    ratio[q] = (U - lo) / den[q];
    least = _mm_min_pd(den[q], least);
  }
  if (_mm_movemask_pd(_mm_cmplt_pd(least, Pair{eps, eps}))) return false;
  // r(j, i): the ratio of level j, place i; d(j, i) its interval.
  auto r = [&](int j, int i) { const int m = kSlots.slot[j][i]; return ratio[m / 2][m % 2]; };
  auto d = [&](int j, int i) { const int m = kSlots.slot[j][i]; return den[m / 2][m % 2]; };
  double *N = B[0];
  double lower2[K], lower1[K];
  N[0] = 1;
#pragma GCC unroll 8
  for (int j = 1; j < K; ++j) {
    if (Nder >= 2 && j == K - 2)
#pragma GCC unroll 8
      for (int i = 0; i < K - 2; ++i) lower2[i] = N[i];
    if (Nder >= 1 && j == K - 1)
#pragma GCC unroll 8
      for (int i = 0; i < K - 1; ++i) lower1[i] = N[i];
    N[j] = r(j, j) * N[j - 1];
#pragma GCC unroll 8
    for (int i = j - 1; i >= 1; --i) N[i] = r(j, i) * N[i - 1] + (1 - r(j, i + 1)) * N[i];
    N[0] = (1 - r(j, 1)) * N[0];
  }
  double dlast[K], dbefore[K];
#pragma GCC unroll 8
  for (int i = 1; i < K; ++i) dlast[i - 1] = d(K - 1, i);
  if (Nder >= 1) quick_derive<K>(dlast, lower1, B[1]);
  if (Nder >= 2) {
#pragma GCC unroll 8
    for (int i = 1; i < K - 1; ++i) dbefore[i - 1] = d(K - 2, i);
    double d1lower[K];
    quick_derive<K - 1>(dbefore, lower2, d1lower);
    quick_derive<K>(dlast, d1lower, B[2]);
  }
  return true;
}

// A load of two neighbours.
[[gnu::always_inline]] inline Pair load2(const double *p) {
  Pair x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

// The basis values of order K on span s at u (b[0]) and Nder derivatives (b[1], b[2]); false where the general
// road must answer. Order 2, and order 4 up to the first derivative, have closed forms that take the operations of
// quick_triangle (those of BSmansf0 / BSmansf1) lane by lane: the ratios of order 4 are divided in pairs whose
// knots come from shared loads, and each level is a product of pairs, so that its values stay in registers
// without the shuffles of the general triangle.
template <int K, int Nder>
[[gnu::always_inline]] inline bool quick_basis(const double *t, int s, double u, double eps, double (&b)[3][K]) {
  const Pair U = {u, u}, one = {1, 1};
  if constexpr (K == 2) {
    // The ratio and, for the derivatives, 1 / d (derive's quotient of the order-1 value 1), in one division.
    const double d = t[s + 1] - t[s];
    if (d < eps) return false;
    const Pair q = Pair{u - t[s], 1} / Pair{d, d}, c = Pair{1, 0} - q;
    b[0][0] = c[0], b[0][1] = q[0];
    if (Nder >= 1) b[1][0] = c[1], b[1][1] = q[1];
    if (Nder >= 2) b[2][0] = b[2][1] = 0;
    return true;
  } else if constexpr (K == 4 && Nder <= 1) {
    // Knots t[s-2] .. t[s+3]; r(j, i) = (u - t[s-j+i]) / (t[s+i] - t[s-j+i]). r11 and r33 share u - t[s],
    // levels 2 and 3 the upper knots {t[s+1], t[s+2]} of their first two ratios.
    const double *k = t + s;
    const Pair lo3 = load2(k - 2), lo2 = load2(k - 1), hi = load2(k + 1), k0 = {k[0], k[0]};
    const Pair dA = Pair{k[1], k[3]} - k0, d2 = hi - lo2, d3 = hi - lo3;  // {d11, d33}, {d21, d22}, {d31, d32}
    // The least interval as quick_triangle takes it: minpd answers its second operand where either is NaN, so
    // the one carried on is always that operand, and a NaN interval (of a damaged vector) hides no other.
    const Pair E = {eps, eps};
    if (_mm_movemask_pd(_mm_cmplt_pd(_mm_min_pd(d3, _mm_min_pd(d2, _mm_min_pd(dA, E))), E))) return false;
    const Pair rA = (U - k0) / dA, r2 = (U - lo2) / d2, r3 = (U - lo3) / d3;
    const Pair omA = one - rA, om2 = one - r2, om3 = one - r3;
    const Pair L = _mm_unpacklo_pd(omA, rA);                             // level 1: {1 - r11, r11}
    const Pair m02 = _mm_move_sd(r2, om2) * L;                           // level 2: {M0, M2}
    const Pair mid = _mm_move_sd(om2, r2) * L;
    const Pair m1 = mid + _mm_unpackhi_pd(mid, mid);                     // M1 in the low lane
    const Pair m01 = _mm_unpacklo_pd(m02, m1), m12 = _mm_move_sd(m02, m1);
    const Pair ends = _mm_move_sd(rA, om3) * m02;                        // level 3: {N0, N3}
    const Pair inner = r3 * m01 + _mm_shuffle_pd(om3, omA, 3) * m12;     // {N1, N2}
    b[0][0] = ends[0], b[0][1] = inner[0], b[0][2] = inner[1], b[0][3] = ends[1];
    if (Nder >= 1) {
      // derive: 3 (-z0), 3 (z0 - z1), 3 (z1 - z2), 3 z2 for z = {M0, M1, M2} / {d31, d32, d33}; z1 is taken
      // twice, so that both differences come from one subtraction of pairs.
      const Pair z01 = m01 / d3, z12 = m12 / _mm_shuffle_pd(d3, dA, 3), three = {3, 3};
      const Pair inner1 = three * (z01 - z12);
      const Pair ends1 = three * _mm_xor_pd(_mm_move_sd(z12, z01), Pair{-0.0, 0.0});
      b[1][0] = ends1[0], b[1][1] = inner1[0], b[1][2] = inner1[1], b[1][3] = ends1[1];
    }
    return true;
  } else {
    return quick_triangle<K, Nder>(t, s, u, eps, b);
  }
}

// A damaged record (a NaN knot or pole) or an overflow gives values the general road refuses: x - x is 0 for
// every finite x and NaN for the others. A sum of values is not finite where one of them is not (an infinity plus
// a finite value is one, plus the other infinity NaN), so where a sum is finite so is each of its terms; a sum
// may also overflow where its terms do not, and then plain_at_span must judge.
[[gnu::always_inline]] inline bool finite(Pair sum) {
  return _mm_movemask_pd(_mm_cmpneq_pd(sum - sum, Pair{})) == 0;
}
[[gnu::always_inline]] inline bool finite_row(const double *v) {
  const Pair xy = {v[0], v[1]}, d = xy - xy;
  return d[0] + d[1] + (v[2] - v[2]) == 0;
}

// The shortcut's answer on span s by the very operations of BScveval0 / BScveval1 / BScveval2, one value at a
// time: the road of the rare calls whose paired test below fails (a NaN or an infinity, which this road refuses
// too, or a sum of rows that overflows), so that each is answered or refused by the rule of those operations and
// not sent to the general road, whose span search may choose another span on a damaged vector. The last row of
// the quotient rule is not finite where an earlier one is not (each row takes the one before it times a weight
// derivative, and a product with an infinity or a NaN is never finite, even by 0), so that row alone is tested.
// P and w are the span's first pole and weight (w NULL without weights).
template <int K, bool Rational, int Nder>
[[gnu::noinline, gnu::cold]] bool plain_at_span(const double *P, const double *w, const double *knots, int s,
                                                double u, double eps, double *out);

// The rare roads of a rational span, where its rows are not finite or its weight sum W0 at u lies far from 1.
template <int K, int Nder>
[[gnu::noinline, gnu::cold]] bool far_at_span(const double *P, const double *w, const double *knots, int s, double u,
                                              double eps, double W0, double *out);

// The shortcut's sums and quotients on span s over the basis values b, the span's first pole P and weight w;
// Watch sends a weight sum far from 1 to far_at_span. The knots, s, u and eps serve the rare roads.
template <int K, bool Rational, int Nder, bool Watch>
[[gnu::always_inline]] inline bool quick_sums(const double (&b)[3][K], const double *P, const double *w,
                                              const double *knots, int s, double u, double eps, double *out) {
  // The sums of weighted_sum, each lane of a pair taking the operations of its own in the same order: x and y
  // as a pair, and z with the weight as another where there is a weight.
  Pair xy[Nder + 1], zw[Nder + 1];
  double z[Nder + 1];
#pragma GCC unroll 3
  for (int d = 0; d <= Nder; ++d) xy[d] = Pair{}, zw[d] = Pair{}, z[d] = 0;
#pragma GCC unroll 8
  for (int i = 0; i < K; ++i) {
    const Pair pxy = load2(P + 3 * i), pzw = {P[3 * i + 2], Rational ? w[i] : 0};
#pragma GCC unroll 3
    for (int d = 0; d <= Nder; ++d) {
      xy[d] += b[d][i] * pxy;
      if (Rational) zw[d] += b[d][i] * pzw;
    }
    // Without weights z of the point and of the first derivative make a pair, z of the second is alone.
    if (!Rational) {
      const double pz = P[3 * i + 2];
      zw[0] += Pair{b[0][i], Nder >= 1 ? b[1][i] : b[0][i]} * Pair{pz, pz};
      if (Nder == 2) z[2] += b[2][i] * pz;
    }
  }
  if (!Rational) {
    // BScveval1 and 2 divide by the weight sum 1 and subtract the rows before times the weight derivatives 0:
    // neither changes a finite value's bits (a sum that starts from 0 is never -0, and x - 0 * q is x for every
    // finite q), so where every row is finite the sums are the answer. BScveval2 also takes 2 Q1 0, which is NaN
    // where 2 Q1 overflows: that row enters the test doubled, so that such a call goes where it goes today.
    Pair sum = Nder == 2 ? xy[0] + (zw[0] + zw[0]) + (xy[1] + xy[1]) + (xy[2] + Pair{z[2], z[2]})
                         : xy[0] + zw[0];
    if (Nder == 1) sum += xy[1];
#pragma GCC unroll 3
    for (int d = 0; d <= Nder; ++d) {
      std::memcpy(out + 3 * d, &xy[d], sizeof(Pair));
      out[3 * d + 2] = d < 2 ? zw[0][d] : z[2];
    }
    return finite(sum) || plain_at_span<K, Rational, Nder>(P, w, knots, s, u, eps, out);
  }
  // The quotient rule of BScveval1 and 2, on the pairs: the z lane of each quotient is that of BScveval1 and 2.
  // A zero weight sum leaves the point without a finite value, and the last row is not finite where an earlier one
  // is not (each row takes the one before it times a weight derivative, and a product with an infinity or a NaN is
  // never finite, even by 0): that row alone is tested, and the general road refuses. No one reads the weight
  // lanes: in the point's and the last row's 2^524 stands for the weight, so that the last row's lane holds
  // 2^524 / W0, which overflows where the weight sum lies at or below 2^-500 (bsweights::below) and sends such a
  // sum to far_at_span by the same test, for a move of a pair. A sum above 2^501 needs no test of its own: it
  // changes an answer only where the rows overflow, which that test sees.
  const Pair W0 = _mm_unpackhi_pd(zw[0], zw[0]), C = {0x1p524, 0x1p524};
  static_assert(0x1p524 * bsweights::kNearOneLow == 0x1p24, "2^524 / |w| overflows where |w| <= kNearOneLow");
  Pair Qxy = xy[0] / W0, Qzw = _mm_move_sd(C, zw[0]) / W0, Q1xy = {}, Q1zw = {}, last = Qxy, lastzw = Qzw;
  if (Nder >= 1) {
    const Pair W1 = _mm_unpackhi_pd(zw[1], zw[1]);
    Q1xy = (xy[1] - Qxy * W1) / W0;
    Q1zw = (Nder == 1 ? _mm_move_sd(C, zw[1] - Qzw * W1) : zw[1] - Qzw * W1) / W0;
    last = Q1xy, lastzw = Q1zw;
    if (Nder >= 2) {
      const Pair W2 = _mm_unpackhi_pd(zw[2], zw[2]);
      last = (xy[2] - 2 * Q1xy * W1 - Qxy * W2) / W0;
      lastzw = _mm_move_sd(C, zw[2] - 2 * Q1zw * W1 - Qzw * W2) / W0;
    }
  }
  std::memcpy(out, &Qxy, sizeof(Pair));
  out[2] = Qzw[0];
  if (Nder >= 1) {
    std::memcpy(out + 3 * Nder, &last, sizeof(Pair));
    out[3 * Nder + 2] = lastzw[0];
  }
  if (Nder == 2) {
    std::memcpy(out + 3, &Q1xy, sizeof(Pair));
    out[5] = Q1zw[0];
  }
  if constexpr (Watch) {
    if (__builtin_expect(finite(last + lastzw), 1)) return true;
    return far_at_span<K, Nder>(P, w, knots, s, u, eps, W0[0], out);
  }
  return finite(last + lastzw) || plain_at_span<K, Rational, Nder>(P, w, knots, s, u, eps, out);
}

// The shortcut's answer on span s (one that brackets u, of the span search's choice); false where the general
// road must answer (out may then be written: that road writes it again).
template <int K, bool Rational, int Nder>
[[gnu::always_inline]] inline bool quick_at_span(const VOQbsp_curve &cv, int s, double u, double *out) {
  // BSmansf0 compares intervals with the squared tolerance, the derivative schemes with the tolerance itself.
  const double tol = BStoltab[bstol::zero_tol], eps = Nder == 0 ? tol * tol : tol;
  double b[3][K];
  if (!quick_basis<K, Nder>(cv.knots, s, u, eps, b)) return false;
  const double *P = cv.poles + 3 * (s - K + 1), *w = Rational ? cv.weights + (s - K + 1) : nullptr;
  return quick_sums<K, Rational, Nder, Rational>(b, P, w, cv.knots, s, u, eps, out);
}

// By the rule of quotient_rows: the span brought about 1 where the weight sum lies below, and where it lies above
// and the rows as they stand are not finite; else, and where the span declines, those rows judged as ever.
template <int K, int Nder>
bool far_at_span(const double *P, const double *w, const double *knots, int s, double u, double eps, double W0,
                 double *out) {
  double room[4 * K];
  if (!bsweights::below(W0)) {
    const bool plain = plain_at_span<K, true, Nder>(P, w, knots, s, u, eps, out);
    if (plain || !bsweights::above(W0) || !span_about_one(K, P, w, room)) return plain;
  } else if (!span_about_one(K, P, w, room)) {
    return plain_at_span<K, true, Nder>(P, w, knots, s, u, eps, out);
  }
  double b[3][K];
  if (!quick_basis<K, Nder>(knots, s, u, eps, b)) return false;
  return quick_sums<K, true, Nder, false>(b, room, room + 3 * K, knots, s, u, eps, out);
}

template <int K, bool Rational, int Nder>
bool plain_at_span(const double *P, const double *w, const double *knots, int s, double u, double eps, double *out) {
  double B[3][K];
  if (!quick_basis<K, Nder>(knots, s, u, eps, B)) return false;
  double A[3][3], W[3];
  // weighted_sum on a span that starts at P: its span index K - 1.
  for (int d = 0; d <= Nder; ++d) weighted_sum(K, K - 1, B[d], P, Rational ? w : nullptr, A[d], &W[d]);
  if (!Rational) W[0] = 1, W[1] = 0, W[2] = 0;
  double v[3 * (Nder + 1)];
  quotient_rule(Nder, A, W, v);
  for (int i = 0; i < 3 * (Nder + 1); ++i) out[i] = v[i];
  return finite_row(v + 3 * Nder);
}

// The shortcut whole, for the callers inside the library that check their records themselves.
template <int K, bool Rational, int Nder>
[[gnu::always_inline]] inline bool quick_body(const VOQbsp_curve &cv, double u, double *out) {
  const int s = shortcut_span<K>(cv.knots, cv.num_poles, u);
  return s >= 0 && quick_at_span<K, Rational, Nder>(cv, s, u, out);
}

void general_eval(const VOQbsp_curve *cv, double u, int nder, double *out, int *rc);

// BScveval_n near the ends of the range (and on damaged vectors): kept out of the common road below, so that
// that one makes no call but its last and keeps no frame.
template <int K, bool Rational, int Nder>
[[gnu::noinline]] void quick_eval_near_ends(const VOQbsp_curve *cv, double u, int, double *out, int *rc) {
  const int s = cv->num_poles >= K && std::isfinite(u) ? span_near_ends<K>(cv->knots, cv->num_poles, u) : -1;
  if (s < 0 || !quick_at_span<K, Rational, Nder>(*cv, s, u, out)) general_eval(cv, u, Nder, out, rc);
}

// BScveval_n for a record of order K whose order, weighting and derivative count its entry has read: the
// shortcut when the record and u allow it, else (and while the slow roads are asked for) the general road, which
// refuses and reports.
template <int K, bool Rational, int Nder>
[[gnu::noinline]] void quick_eval(const VOQbsp_curve *cv, double u, int, double *out, int *rc) {
  if (!cv->poles || !cv->knots || (Rational && !cv->weights) || bstest::slow_roads())
    return general_eval(cv, u, Nder, out, rc);
  // A record of too few poles, and a u that is not finite, fail the span search's first test.
  const int s = quick_span<K>(cv->knots, cv->num_poles, u);
  if (s < 0) return quick_eval_near_ends<K, Rational, Nder>(cv, u, Nder, out, rc);
  if (!quick_at_span<K, Rational, Nder>(*cv, s, u, out)) general_eval(cv, u, Nder, out, rc);
}

using QuickEval = void (*)(const VOQbsp_curve *, double, int, double *, int *);
template <int K>
constexpr QuickEval kQuickOrder[6] = {quick_eval<K, false, 0>, quick_eval<K, false, 1>, quick_eval<K, false, 2>,
                                      quick_eval<K, true, 0>,  quick_eval<K, true, 1>,  quick_eval<K, true, 2>};
// Order 2 to 8, polynomial or rational, 0 to 2 derivatives: entry 6 (order - 2) + 3 rational + nder.
constexpr const QuickEval *kQuick[7] = {kQuickOrder<2>, kQuickOrder<3>, kQuickOrder<4>, kQuickOrder<5>,
                                        kQuickOrder<6>, kQuickOrder<7>, kQuickOrder<8>};

// The general road of BScveval_n, kept out of line so that the shortcut's callers pay nothing for its frame.
[[gnu::noinline]] void general_eval(const VOQbsp_curve *cv, double u, int nder, double *out, int *rc) {
  if (!cv) {
    *rc = BSRC_NULL_CURVE;
  } else if (cv->order < 1) {
    out[0] = out[1] = out[2] = 0;
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!cv->poles || !cv->knots || (cv->rational && !cv->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else if (nder < 0 || cv->num_poles < cv->order || !std::isfinite(u)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const int k = cv->order;
    const double *weights = cv->rational ? cv->weights : nullptr;
    int span = k - 1;
    if (k != cv->num_poles) {
      int frc = 0;
      const int n = cv->num_poles;
      if (!BSfndspan(&frc, cv, &n, cv->knots, &u, &span)) span = k - 1;
    }
    if (nder == 0) {
      BScveval0(rc, k, cv->poles, weights, cv->knots, span, u, out);
    } else if (nder == 1) {
      BScveval1(rc, k, cv->poles, weights, cv->knots, span, u, out);
    } else {
      // Homogeneous derivatives from basis-function derivatives, then the rational quotient rule. Forward
      // differences of the poles (BSspnderiv) would be cheaper but lose up to 1e-9 relative at order 16.
      const int p = k - 1, r = weights ? 1 : 0, D = 3 + r, dm = std::min(nder, p);
      const std::size_t need = static_cast<std::size_t>(p) * k + k +
                               (nder < p ? 2 * static_cast<std::size_t>(D) * k
                                         : static_cast<std::size_t>(nder + 1) * D + static_cast<std::size_t>(D) * k);
      BSscratch<500> work;
      double *w = work.take(need);
      if (!w) {
        *rc = BSRC_NO_SCRATCH;
      } else {
        double *ders = w, *hom = ders + static_cast<std::size_t>(dm + 1) * k;
        if (BSmansfn(rc, k, cv->knots, span, u, dm, ders)) {
          // The homogeneous rows over the span's poles SP and weights SW.
          auto rows = [&](const double *SP, const double *SW) {
            for (int d = 0; d <= nder; ++d) {
              double *row = hom + d * D;
              for (int c = 0; c < D; ++c) row[c] = 0;
              if (d > dm) continue;
              for (int i = 0; i < k; ++i) {
                const double b = ders[d * k + i];
                for (int c = 0; c < 3; ++c) row[c] += b * SP[3 * i + c];
                if (r) row[3] += b * SW[i];
              }
            }
          };
          const int first = span - p;
          rows(cv->poles + 3 * first, r ? weights + first : nullptr);
          if (r && !bsweights::near_one(hom[3])) {
            BSscratch<4 * kMaxOrder> far;
            double *room = far.take(4 * static_cast<std::size_t>(k));
            if (room && span_about_one(k, cv->poles + 3 * first, weights + first, room)) rows(room, room + 3 * k);
          }
          BSsetder_cv(3, r, nder, hom, out, rc);
          refuse_overflow(rc, 3 * (nder + 1), out);
        }
      }
    }
  }
  BSexit(rc, "BScveval_n", "bscveval");
}
}  // namespace

bool bseval::cubic_point(const VOQbsp_curve &cv, double u, double out[3]) {
  return std::isfinite(u) && quick_body<4, false, 0>(cv, u, out);
}

bool bseval::cubic_point_tangent(const VOQbsp_curve &cv, double u, double out[6]) {
  return std::isfinite(u) && quick_body<4, false, 1>(cv, u, out);
}

void BScveval_n(const VOQbsp_curve *cv, double u, int nder, double *out, int *rc) {
  *rc = 0;
  if (cv && static_cast<unsigned>(nder) <= 2 && static_cast<unsigned>(cv->order - 2) <= 6)
    kQuick[cv->order - 2][(cv->rational ? 3 : 0) + nder](cv, u, nder, out, rc);
  else
    general_eval(cv, u, nder, out, rc);
}

void BScvevaln0(int p, int num_poles, int dim, const double *poles, const double *knots, double u, int,
                double *out, int *rc) {
  *rc = 0;
  if (p < 0 || num_poles < p + 1 || dim < 1) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    int index = 0;
    BSfndknotiv(static_cast<std::int16_t>(p + 1), num_poles, knots, u, &index, rc);
    if (*rc != 0) {
      BSexit(rc, "BScvevaln0", "bscvevaln0");
      return;
    }
    const int s = index - 1;
    int m = 0;
    for (int i = s; i >= 0 && knots[i] == u; --i) ++m;
    const int h = m <= p ? p - m : 0;
    // A knot of multiplicity above the degree (a clamped start) makes the curve take pole s-p itself.
    const int top = s - std::min(m, p);
    const int k = p + 1;
    BSscratch<500> work;
    double *Q = work.take(static_cast<std::size_t>(dim) * k);
    if (!Q) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      for (int c = 0; c < dim; ++c) {
        double *q = Q + c * k - (s - p);  // q[i] for pole i
        for (int i = s - p; i <= top; ++i) q[i] = poles[c * num_poles + i];
        for (int r = 1; r <= h; ++r)
          for (int i = top; i >= s - p + r; --i) {
            const double a = (u - knots[i]) / (knots[i + p + 1 - r] - knots[i]);
            q[i] = (1 - a) * q[i - 1] + a * q[i];
          }
        out[c] = q[top];
      }
    }
  }
  BSexit(rc, "BScvevaln0", "bscvevaln0");
}

namespace {
// The shortcut of BScvevaln for one or two derivatives of orders 2 to 6: the span of raw_span, the basis of
// BSmansfn (whose derivative rows are those of BSmansf1 and BSmansf2) and the same sums, component by component.
// false where the general road may refuse, and while a test handler watches the exits.
template <int K, int Nder>
[[gnu::noinline]] bool quick_raw(int num_poles, int dim, const double *poles, const double *knots, double u,
                                 int hint, double *out) {
  const int s = hint >= K - 1 && hint <= num_poles - 1 ? hint : shortcut_span<K>(knots, num_poles, u);
  double B[3][K];
  if (s < 0 || !quick_basis<K, Nder>(knots, s, u, BStoltab[bstol::zero_tol], B)) return false;
  for (int d = 0; d <= Nder; ++d)
    for (int c = 0; c < dim; ++c) {
      const double *P = poles + static_cast<std::size_t>(c) * num_poles + s - K + 1;
      double v = 0;
      if (d < K)
#pragma GCC unroll 8
        for (int i = 0; i < K; ++i) v += B[d][i] * P[i];
      out[d * dim + c] = v;
    }
  return true;
}

using QuickRaw = bool (*)(int, int, const double *, const double *, double, int, double *);
template <int K>
constexpr QuickRaw kQuickRawOrder[2] = {quick_raw<K, 1>, quick_raw<K, 2>};
constexpr const QuickRaw *kQuickRaw[5] = {kQuickRawOrder<2>, kQuickRawOrder<3>, kQuickRawOrder<4>,
                                          kQuickRawOrder<5>, kQuickRawOrder<6>};
}  // namespace

void BScvevaln(int p, int num_poles, int dim, const double *poles, const double *knots, double u, int span_hint,
               int nder, double *out, int *rc) {
  *rc = 0;
  if (p >= 1 && p <= 5 && (nder == 1 || nder == 2) && num_poles >= p + 1 && dim >= 1 && std::isfinite(u) &&
      !bstest::slow_roads() && kQuickRaw[p - 1][nder - 1](num_poles, dim, poles, knots, u, span_hint, out))
    return;
  if (p < 0) {
    for (int i = 0; i < (nder + 1) * dim; ++i) out[i] = 0;
  } else if (nder == 0) {
    BScvevaln0(p, num_poles, dim, poles, knots, u, span_hint, out, rc);
  } else if (nder < 0 || num_poles < p + 1 || dim < 1) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const int s = raw_span(p, num_poles, knots, u, span_hint);
    const int k = p + 1, dm = std::min(nder, p);
    BSscratch<500> work;
    double *ders = work.take(static_cast<std::size_t>(dim + 1) * k + static_cast<std::size_t>(p) * k);
    if (!ders) {
      *rc = BSRC_NO_SCRATCH;
    } else if (BSmansfn(rc, k, knots, s, u, dm, ders)) {
      for (int d = 0; d <= nder; ++d)
        for (int c = 0; c < dim; ++c) {
          double v = 0;
          if (d <= dm)
            for (int i = 0; i < k; ++i) v += ders[d * k + i] * poles[c * num_poles + s - p + i];
          out[d * dim + c] = v;
        }
    }
  }
  BSexit(rc, "BScvevaln", "bscvevaln");
}

namespace {
// BSevalbsp's homogeneous rows (nc components, the weight last) again where the weight at u lies far from 1: over
// the poles of the span that BScvevaln takes, brought about 1, as a record of that span alone (its knots from the
// span's first, so that the span's own knots and the parameter stay as they are). rows stays as it is where the
// span's weights lie near 1 already or a digit would go.
void raw_rows_about_one(int p, int n, int nc, const double *poles, const double *knots, double u, int nder,
                        double *rows) {
  int s = p, frc = 0;
  if (nder == 0) {
    int index = 0;
    BSfndknotiv(static_cast<std::int16_t>(p + 1), n, knots, u, &index, &frc);
    s = index - 1;
  } else {
    s = raw_span(p, n, knots, u, -1);
  }
  const int k = p + 1, first = s - p;
  const std::size_t block = static_cast<std::size_t>(nc) * k, count = static_cast<std::size_t>(nc) * (nder + 1);
  BSscratch<500> work;
  double *room = work.take(block + count);
  const int e = room && frc == 0 ? bsweights::largest_exponent(poles + static_cast<std::size_t>(nc - 1) * n + first, k)
                                 : 0;
  if (e == 0) return;
  for (int c = 0; c < nc; ++c)
    if (!bsweights::scale_exactly(poles + static_cast<std::size_t>(c) * n + first, k, e, room + c * k)) return;
  int lrc = 0;
  BScvevaln(p, k, nc, room, knots + first, u, p, nder, room + block, &lrc);
  if (lrc == 0) std::memcpy(rows, room + block, sizeof(double) * count);
}
}  // namespace

void BSevalbsp(int degree, int num_poles, int dim, int rational, const double *poles, const double *knots, double u,
               int nder, double *out, int *rc) {
  *rc = 0;
  if (degree < 0 || num_poles < degree + 1 || !(knots[0] <= u && u <= knots[degree + num_poles])) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!rational) {
    BScvevaln(degree, num_poles, dim, poles, knots, u, -1, nder, out, rc);
  } else {
    BSscratch<100> work;
    double *hom = work.take(static_cast<std::size_t>(dim + 1) * (nder + 1));
    if (!hom) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      BScvevaln(degree, num_poles, dim + 1, poles, knots, u, -1, nder, hom, rc);
      if (*rc == 0 && !bsweights::near_one(hom[dim]))
        raw_rows_about_one(degree, num_poles, dim + 1, poles, knots, u, nder, hom);
      if (*rc == 0) BSsetder_cv(dim, 1, nder, hom, out, rc);
    }
  }
  BSexit(rc, "BSevalbsp", "bsevalbsp");
}

BSboolean BSbinomcoef(int *rc, const int *m, double *out) {
  *rc = 0;
  if (*m < 0 || *m > kMaxDeriv) {
    *rc = BSRC_BINOM_ROW;
  } else {
    for (int i = 0; i <= *m; ++i) out[i] = kBinom(*m, i);
  }
  BSexit(rc, "BSbinomcoef", "bsbinomcoef");
  return ok(rc);
}

namespace {
// The homogeneous triangle of BSbspl on one span: P and w (NULL: without weights) from the span's first pole,
// t from its first knot (that of the first pole), for an order and derivative count already checked.
void bspl_triangle(int *rc, int k, const double *P, const double *w, const double *t, int nd, double u, double *out) {
  const int p = k - 1;
  const double tol = BStoltab[bstol::zero_tol];
  // Without weights the weight row is 1 at every level, (b + a) / (a + b) being exactly 1, and its derivatives
  // exactly 0: only the coordinates are worked out, and the weight row is written as those values.
  const bool weighted = w != nullptr;
  const int lanes = weighted ? 4 : 3;
  // tri[r][i][c]: level r of the triangle, i counted from the span's first pole; homogeneous (x w, y w, z w, w).
  double tri[kMaxOrder][kMaxOrder][4];
  for (int i = 0; i <= p; ++i) {
    for (int c = 0; c < 3; ++c) tri[0][i][c] = P[3 * i + c];
    tri[0][i][3] = weighted ? w[i] : 1.0;
  }
  for (int r = 1; r <= p && *rc == 0; ++r)
    for (int i = r; i <= p; ++i) {
      const double a = u - t[i], b = t[i + p + 1 - r] - u;
      if (a + b < tol) {
        *rc = BSRC_NULL_VECTOR;
        break;
      }
      const double *before = tri[r - 1][i - 1], *after = tri[r - 1][i];
      double *to = tri[r][i];
      for (int c = 0; c < lanes; ++c) to[c] = (b * before[c] + a * after[c]) / (a + b);
      if (!weighted) to[3] = 1.0;
    }
  if (*rc == 0) {
    for (int c = 0; c < 4; ++c) out[c] = tri[p][p][c];
    // Derivative d from the d+1 points of level p-d: d levels of divided differences, times p!/(p-d)!.
    double q[kMaxOrder][4];
    double factor = 1;
    for (int d = 1; d <= std::min(nd, p) && *rc == 0; ++d) {
      factor *= p - d + 1;
      for (int i = p - d; i <= p; ++i) std::memcpy(q[i], tri[p - d][i], sizeof q[i]);
      for (int j = 1; j <= d && *rc == 0; ++j)
        for (int i = p; i >= p - d + j; --i) {
          const double den = t[i + d + 1 - j] - t[i];
          if (den < tol) {
            *rc = BSRC_NULL_VECTOR;
            break;
          }
          for (int c = 0; c < lanes; ++c) q[i][c] = (q[i][c] - q[i - 1][c]) / den;
        }
      if (*rc == 0)
        for (int c = 0; c < lanes; ++c) out[4 * d + c] = factor * q[p][c];
    }
  }
}
}  // namespace

BSboolean BSbspl(int *rc, const double *poles, const double *weights, const double *knots, const std::int16_t *order,
                 const BSboolean *rational, const int *span, const int *nder, const double *u, double *out) {
  *rc = 0;
  const int k = *order, nd = *nder, s = *span;
  const double t = *u;
  if (nd >= 0 && nd <= kMaxDeriv)
    for (int i = 0; i < (nd + 1) * 4; ++i) out[i] = 0;
  if (k < 2) {
    *rc = BSRC_BINOM_ROW;
  } else if (k > kMaxOrder || nd < 0 || nd > kMaxDeriv || !std::isfinite(t)) {
    *rc = BSRC_OUT_OF_RANGE;  // fixed triangle of order 16
  } else {
    const int first = s - (k - 1);
    bspl_triangle(rc, k, poles + 3 * first, *rational && weights ? weights + first : nullptr, knots + first, nd, t,
                  out);
  }
  BSexit(rc, "BSbspl", "bsbspl");
  return ok(rc);
}

BSboolean BSrspl(int *rc, const int *nder, const VOQbsp_curve *, double *rows) {
  *rc = 0;
  if (*nder < 0 || *nder > kMaxDeriv) {
    *rc = BSRC_OUT_OF_RANGE;  // beyond the binomial table, as in BScveval_b
  } else if (rows[3] == 0) {
    *rc = BSRC_ZERO_WEIGHT;
  } else {
    // Rows whose weight lies far from 1 are worked on a copy brought about 1; only their coordinates, the curve's
    // own, are handed back, and the weights stay as given.
    double room[4 * (kMaxDeriv + 1)];
    double *r = rows_about_one(3, *nder, rows, room) ? room : rows;
    const double w0 = r[3];
    for (int c = 0; c < 3; ++c) r[c] /= w0;
    double binom[kMaxDeriv + 1];
    for (int d = 1; d <= *nder; ++d) {
      if (!BSbinomcoef(rc, &d, binom)) break;
      for (int c = 0; c < 3; ++c) {
        double S = 0;
        for (int i = 1; i <= d; ++i) S += binom[i] * r[4 * i + 3] * r[4 * (d - i) + c];
        r[4 * d + c] = (r[4 * d + c] - S) / w0;
      }
    }
    if (r == room)
      for (int d = 0; d <= *nder; ++d)
        for (int c = 0; c < 3; ++c) rows[4 * d + c] = room[4 * d + c];
  }
  BSexit(rc, "BSrspl", "bsrspl");
  return ok(rc);
}

BSboolean BScveval_b(int *rc, const VOQbsp_curve *cv, const double *u, const int *nder, const void *,
                     BSboolean *two_sided, double *left, double *right) {
  *rc = 0;
  BSboolean result = BSFALSE;
  const int nd = *nder;
  if (nd > kMaxDeriv || nd < 0 || !std::isfinite(*u)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!cv || !cv->poles || !cv->knots || (cv->rational && !cv->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else if (cv->order < 2 || cv->order > kMaxOrder || cv->num_poles < cv->order) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const int k = cv->order, n = cv->num_poles;
    const double *knots = cv->knots;
    const double t = *u;
    const int e = cv->rational ? nd : std::min(nd, k - 1);
    int s = k - 1;
    int frc = 0;
    if (BSfndspan(&frc, cv, &n, knots, u, &s)) {
      int s2 = s;
      if (s < n - 1 && t == knots[s + 1]) {
        int j = s + 2;
        while (j <= n && knots[j] <= t) ++j;
        if (j > n)
          *rc = BSRC_NULL_VECTOR;
        else
          s2 = j - 1;
      }
      if (*rc == 0) {
        const int m = std::abs(s2 - s);
        *two_sided = s2 != s && k - 1 - m < e ? BSTRUE : BSFALSE;
        const int sides = *two_sided ? 2 : 1;
        double rows[(kMaxDeriv + 1) * 4];
        for (int side = 0; side < sides && *rc == 0; ++side) {
          const int span = *two_sided ? (side == 0 ? std::min(s, s2) : std::max(s, s2)) : s;
          double *dst = side == 0 ? left : right;
          bool got = BSbspl(rc, cv->poles, cv->weights, knots, &cv->order, &cv->rational, &span, &nd, u, rows);
          // A weight far from 1 at u: the triangle again over the span brought about 1, whose sums keep the digits
          // that the record holds (BSbspl hands out the record's own homogeneous values, so it is left as it is).
          if (got && cv->rational && !bsweights::near_one(rows[3])) {
            const int first = span - (k - 1);
            double room[4 * kMaxOrder];
            if (span_about_one(k, cv->poles + 3 * first, cv->weights + first, room))
              bspl_triangle(rc, k, room, room + 3 * k, knots + first, nd, t, rows);
            got = *rc == 0;
          }
          if (got && (!cv->rational || BSrspl(rc, &nd, cv, rows)))
            for (int d = 0; d <= nd; ++d)
              for (int c = 0; c < 3; ++c) {
                dst[3 * d + c] = rows[4 * d + c];
                // Sums that overflowed are refused, as the curve's evaluation refuses them.
                if (!std::isfinite(dst[3 * d + c])) *rc = BSRC_OUT_OF_RANGE;
              }
        }
        result = ok(rc);
      }
    }
  }
  BSexit(rc, "BScveval_b", "bscveval_b");
  return result;
}

void BScvtstclsd(VOQbsp_curve *cv, int *rc) {
  *rc = 0;
  double a[3], b[3];
  if (!cv || !cv->knots) {
    *rc = BSRC_NULL_CURVE;
  } else if (cv->order < 1 || cv->num_poles < cv->order) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    BScveval_n(cv, cv->knots[cv->order - 1], 0, a, rc);
    if (*rc == 0) BScveval_n(cv, cv->knots[cv->num_poles], 0, b, rc);
    if (*rc == 0) {
      const double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
      cv->phy_closed = dx * dx + dy * dy + dz * dz < BStoltab[bstol::dist_sqtol] ? 1 : 0;
    }
  }
  BSexit(rc, "BScvtstclsd", "bscvtstclsd");
}
