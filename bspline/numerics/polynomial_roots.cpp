// Roots of real polynomials of any degree. Degrees 2 to 4 go to the closed-form solvers; degree 1 and degrees 5 and
// above to the three-stage shifted iteration for real polynomials: a few steps without shift to bring out the
// small roots, a stage of fixed shifts on a circle of the roots' lower modulus bound, and a stage of variable
// shifts that converges to one real root or to a real quadratic factor. Each root or pair found is refined on the
// polynomial given and answered only as one of its roots, then divided out, and the search starts again on the
// quotient. All state of the iteration lives in the call.
#include "bspline/numerics.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "bspline/core/exit.h"
#include "bspline/numerics/numerics_internal.h"

namespace {

// Below this magnitude a value counts as zero in the iteration.
constexpr double kZero = 6.310887241768095e-30;         // 2^-97
constexpr double kEta = 2.220446049250313e-16;          // 2^-52
constexpr double kBig = 3.4028234663852886e38;          // the largest single-precision value
constexpr double kLo = 2.842170943040401e-14;           // kZero / kEta
constexpr double kAre = kEta, kMre = kEta;              // rounding errors of addition and multiplication
constexpr double kRotation = 1.5009831567151233;        // 86 degrees; the shift point turns by 94
constexpr int kLocal = 100;

// The working state of one solve. p is the current polynomial in descending powers (degree n), qp its quotient,
// k the K polynomial (degree n - 1) and qk its quotient, svk a saved K.
struct Iteration {
  int n = 0;
  double *p = nullptr, *qp = nullptr, *k = nullptr, *qk = nullptr, *svk = nullptr;
  double u = 0, v = 0, sr = 0;
  double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, g = 0, h = 0;
  double a1 = 0, a3 = 0, a7 = 0;
  double szr = 0, szi = 0, lzr = 0, lzi = 0;
};

// Roots of a z^2 + b1 z + c: the one of smaller magnitude first; a complex pair with the positive imaginary
// part first.
void BSquadzeros(double a, double b1, double c, double *sr, double *si, double *lr, double *li) {
  *si = *li = 0.0;
  if (std::fabs(a) < kZero) {
    *sr = std::fabs(b1) >= kZero ? -c / b1 : 0.0;
    *lr = 0.0;
    return;
  }
  if (std::fabs(c) < kZero) {
    *sr = 0.0;
    *lr = -b1 / a;
    return;
  }
  // The discriminant in a form that neither overflows nor cancels.
  const double b = b1 / 2.0;
  double e, d;
  if (std::fabs(b) >= std::fabs(c)) {
    e = 1.0 - (a / b) * (c / b);
    d = std::sqrt(std::fabs(e)) * std::fabs(b);
  } else {
    e = c < 0.0 ? -a : a;
    e = b * (b / std::fabs(c)) - e;
    d = std::sqrt(std::fabs(e)) * std::sqrt(std::fabs(c));
  }
  if (e < kZero) {
    *sr = *lr = -b / a;
    *si = std::fabs(d / a);
    *li = -*si;
    return;
  }
  if (b >= kZero) d = -d;
  *lr = (-b + d) / a;
  *sr = std::fabs(*lr) >= kZero ? (c / *lr) / a : 0.0;
}

// static_cast<int>(std::log2(sc) + 0.5) for a normal sc > 0, read from its binary exponent: with sc = m 2^e,
// m in [1/2, 1), the sum lies in [e - 1/2, e) below m = sqrt(1/2) and in (e, e + 1/2] above it, and the cast cuts
// toward zero. Within 1e-6 of sqrt(1/2), where the rounding of log2 could tip the sum, log2 itself decides.
int scale_exponent(double sc) {
  std::uint64_t bits;
  std::memcpy(&bits, &sc, sizeof bits);
  const int biased = static_cast<int>(bits >> 52 & 0x7ff);
  if (!(sc > 0.0) || biased == 0 || biased == 0x7ff) return static_cast<int>(std::log2(sc) + 0.5);
  const int e = biased - 1022;
  bits = (bits & 0x000fffffffffffffULL) | 0x3fe0000000000000ULL;
  double m;
  std::memcpy(&m, &bits, sizeof m);
  if (m < 0.70710578) return e >= 1 ? e - 1 : e;
  if (m > 0.70710778) return e >= 0 ? e : e + 1;
  return static_cast<int>(std::log2(sc) + 0.5);
}

// 2^l as BSpower gives it (exact below 2^10, exp(l ln 2) beyond), without its exit where no fault hook needs to see
// the name. The exponents that the scaling of polynomials
// of ordinary size meets are looked up, computed once by the same expression (ln 2 read through a volatile, so
// that the compiler's own exp cannot stand in for the library's).
double power_of_two(int l) {
  if (l > -10 && l < 10) return std::ldexp(1.0, l);
  constexpr int kReach = 128;
  static const std::array<double, 2 * kReach + 1> table = [] {
    volatile double ln2 = 0.6931471805599453;
    std::array<double, 2 * kReach + 1> t{};
    for (int i = -kReach; i <= kReach; ++i) t[i + kReach] = std::exp(i * ln2);
    return t;
  }();
  if (l >= -kReach && l <= kReach) return table[l + kReach];
  return std::exp(l * 0.6931471805599453);
}

// Calls f with the degree n as a compile-time constant where it is small (0 standing for any other degree), so
// that the short recurrences of the iteration are unrolled.
template <class F>
auto by_degree(int n, F f) {
  switch (n) {
    case 3:
      return f(std::integral_constant<int, 3>());
    case 4:
      return f(std::integral_constant<int, 4>());
    case 5:
      return f(std::integral_constant<int, 5>());
    case 6:
      return f(std::integral_constant<int, 6>());
    default:
      return f(std::integral_constant<int, 0>());
  }
}

// Divides the degree-n polynomial p by z^2 + u z + v; the remainder is b (z + u) + a.
template <int N = 0>
void BSquaddiv(int n, double u, double v, const double *p, double *q, double *a, double *b) {
  if (N > 0) n = N;
  q[0] = p[0];
  q[1] = p[1] - u * q[0];
  for (int i = 2; i <= n; ++i) q[i] = p[i] - u * q[i - 1] - v * q[i - 2];
  *a = q[n];
  *b = q[n - 1];
}

// Divides K by the current quadratic and forms the scalars of the next K and of the new quadratic. Type 3 means
// the quadratic is almost a factor of K. This and the next two are inlined into the stages: called, every step
// paid for the calls and for the state they pass through memory.
template <int N>
[[gnu::always_inline]] inline int BSshiftscal(Iteration &s) {
  const int n = N > 0 ? N : s.n;
  BSquaddiv<N == 0 ? 0 : N - 1>(n - 1, s.u, s.v, s.k, s.qk, &s.c, &s.d);
  if (std::fabs(s.c) <= std::fabs(s.k[n - 1]) * 100.0 * kEta && std::fabs(s.d) <= std::fabs(s.k[n - 2]) * 100.0 * kEta)
    return 3;
  if (std::fabs(s.d) >= std::fabs(s.c)) {
    s.e = s.a / s.d;
    s.f = s.c / s.d;
    s.g = s.u * s.b;
    s.h = s.v * s.b;
    s.a3 = (s.a + s.g) * s.e + s.h * (s.b / s.d);
    s.a1 = s.b * s.f - s.a;
    s.a7 = (s.f + s.u) * s.a + s.h;
    return 2;
  }
  s.e = s.a / s.c;
  s.f = s.d / s.c;
  s.g = s.u * s.e;
  s.h = s.v * s.b;
  s.a3 = s.a * s.e + (s.h / s.c + s.g) * s.b;
  s.a1 = s.b - s.a * (s.d / s.c);
  s.a7 = s.a + s.g * s.d + s.h * s.f;
  return 1;
}

template <int N>
[[gnu::always_inline]] inline void BSnextkpol(Iteration &s, int type) {
  const int n = N > 0 ? N : s.n;
  double *k = s.k;
  if (type == 3) {
    k[0] = k[1] = 0.0;
    for (int i = 2; i < n; ++i) k[i] = s.qk[i - 2];
    return;
  }
  const double temp = type == 1 ? s.b : s.a;
  if (std::fabs(s.a1) <= std::fabs(temp) * 10.0 * kEta) {
    // a1 nearly vanishes: the unscaled recurrence.
    k[0] = 0.0;
    k[1] = -s.a7 * s.qp[0];
    for (int i = 2; i < n; ++i) k[i] = s.a3 * s.qk[i - 2] - s.a7 * s.qp[i - 1];
    return;
  }
  s.a7 /= s.a1;
  s.a3 /= s.a1;
  k[0] = s.qp[0];
  k[1] = s.qp[1] - s.a7 * s.qp[0];
  for (int i = 2; i < n; ++i) k[i] = s.a3 * s.qk[i - 2] - s.a7 * s.qp[i - 1] + s.qp[i];
}

template <int N>
[[gnu::always_inline]] inline void BSnewquad(const Iteration &s, int type, double *uu, double *vv) {
  *uu = *vv = 0.0;
  if (type == 3) return;
  const int n = N > 0 ? N : s.n;
  double a4, a5;
  if (type == 2) {
    a4 = (s.a + s.g) * s.f + s.h;
    a5 = (s.f + s.u) * s.c + s.v * s.d;
  } else {
    a4 = s.a + s.u * s.b + s.h * s.f;
    a5 = s.c + (s.u + s.v * s.f) * s.d;
  }
  const double b1 = -s.k[n - 1] / s.p[n];
  const double b2 = -(s.k[n - 2] + b1 * s.p[n - 1]) / s.p[n];
  const double c1 = s.v * b2 * s.a1;
  const double c2 = b1 * s.a7;
  const double c3 = b1 * b1 * s.a3;
  const double c4 = c1 - c2 - c3;
  const double temp = a5 + b1 * a4 - c4;
  if (std::fabs(temp) < kZero) return;
  *uu = s.u - (s.u * (c3 + c2) + s.v * (b1 * s.a1 + b2 * s.a7)) / temp;
  *vv = s.v * (1.0 + c4 / temp);
}

// Variable-shift iteration towards a real root from s. Returns 1 when a root is found (szr). Sets near_double
// when the steps stall in what looks like a cluster of roots near the real axis; s then holds the point reached.
template <int N>
int BSrealshift(Iteration &st, double *sss, bool *near_double) {
  const int n = N > 0 ? N : st.n;
  double s = *sss, t = 0.0, omp = 0.0;
  *near_double = false;
  for (int j = 1;; ++j) {
    double pv = st.p[0];
    st.qp[0] = pv;
    for (int i = 1; i <= n; ++i) {
      pv = pv * s + st.p[i];
      st.qp[i] = pv;
    }
    const double mp = std::fabs(pv);
    const double ms = std::fabs(s);
    // A bound on the rounding error of evaluating p at s.
    double ee = (kMre / (kAre + kMre)) * std::fabs(st.qp[0]);
    for (int i = 1; i <= n; ++i) ee = ee * ms + std::fabs(st.qp[i]);
    if (mp <= 20.0 * ((kAre + kMre) * ee - kMre * mp)) {
      st.szr = s;
      st.szi = 0.0;
      return 1;
    }
    if (j > 10) return 0;
    if (j >= 2 && std::fabs(t) <= 0.001 * std::fabs(s - t) && mp > omp) {
      *near_double = true;
      *sss = s;
      return 0;
    }
    omp = mp;
    double kv = st.k[0];
    st.qk[0] = kv;
    for (int i = 1; i < n; ++i) {
      kv = kv * s + st.k[i];
      st.qk[i] = kv;
    }
    if (std::fabs(kv) <= std::fabs(st.k[n - 1]) * 10.0 * kEta) {
      st.k[0] = 0.0;
      for (int i = 1; i < n; ++i) st.k[i] = st.qk[i - 1];
    } else {
      t = -pv / kv;
      st.k[0] = st.qp[0];
      for (int i = 1; i < n; ++i) st.k[i] = t * st.qk[i - 1] + st.qp[i];
    }
    kv = st.k[0];
    for (int i = 1; i < n; ++i) kv = kv * s + st.k[i];
    t = std::fabs(kv) > std::fabs(st.k[n - 1]) * 10.0 * kEta ? -pv / kv : 0.0;
    s += t;
  }
}

// Variable-shift iteration towards a quadratic factor from (uu, vv). Returns 2 when both of its roots are found
// (szr, szi, lzr, lzi).
template <int N>
int BSquadshift(Iteration &st, double uu, double vv) {
  const int n = N > 0 ? N : st.n;
  bool tried = false;
  double omp = 0.0, relstp = 0.0;
  st.u = uu;
  st.v = vv;
  for (int j = 0;;) {
    BSquadzeros(1.0, st.u, st.v, &st.szr, &st.szi, &st.lzr, &st.lzi);
    // Two real roots of clearly different magnitude: not a quadratic factor worth pursuing.
    if (std::fabs(std::fabs(st.szr) - std::fabs(st.lzr)) > 0.01 * std::fabs(st.lzr)) return 0;
    BSquaddiv<N>(n, st.u, st.v, st.p, st.qp, &st.a, &st.b);
    // p(z) = b (z + u) + a at a root z of the quadratic: a - b szr at the larger one (and at a complex pair),
    // a - b lzr at the smaller one. Compared with a bound on the rounding error of evaluating p there.
    const double zm = std::sqrt(std::fabs(st.v));
    double base = 2.0 * std::fabs(st.qp[0]);
    for (int i = 1; i < n; ++i) base = base * zm + std::fabs(st.qp[i]);
    auto converged = [&](double t, double mp) {
      double ee = base * zm + std::fabs(st.a + t);
      ee = (5.0 * kMre + 4.0 * kAre) * ee -
           (5.0 * kMre + 2.0 * kAre) * (std::fabs(st.a + t) + std::fabs(st.b) * zm) + 2.0 * kAre * std::fabs(t);
      return mp <= 20.0 * ee;
    };
    const double mp = std::fabs(st.a - st.szr * st.b) + std::fabs(st.szi * st.b);
    // For a real pair the first test says nothing of the smaller root, which a factor still off can leave
    // wrong in the seventh digit: both must pass.
    if (converged(-st.szr * st.b, mp) &&
        (st.szi != 0.0 || converged(-st.lzr * st.b, std::fabs(st.a - st.lzr * st.b))))
      return 2;
    if (++j > 20) return 0;
    if (j >= 2 && relstp <= 0.01 && mp >= omp && !tried) {
      // Stalled near a cluster of roots: nudge the quadratic and let K recover for a few steps.
      if (relstp < kEta) relstp = kEta;
      relstp = std::sqrt(relstp);
      st.u -= st.u * relstp;
      st.v += st.v * relstp;
      BSquaddiv<N>(n, st.u, st.v, st.p, st.qp, &st.a, &st.b);
      for (int i = 0; i < 5; ++i) BSnextkpol<N>(st, BSshiftscal<N>(st));
      tried = true;
      j = 0;
    }
    omp = mp;
    int type = BSshiftscal<N>(st);
    BSnextkpol<N>(st, type);
    type = BSshiftscal<N>(st);
    double ui, vi;
    BSnewquad<N>(st, type, &ui, &vi);
    if (std::fabs(vi) < kZero) return 0;
    relstp = std::fabs((vi - st.v) / vi);
    st.u = ui;
    st.v = vi;
  }
}

// The fixed-shift stage with at most l steps; when the shifted estimates settle it hands over to the variable
// shifts. Returns the number of roots found (0, 1 or 2).
template <int N>
int BSfixshift(Iteration &st, int l) {
  const int n = N > 0 ? N : st.n;
  double betav = 0.25, betas = 0.25;
  double oss = st.sr, ovv = st.v, otv = 0.0, ots = 0.0;
  BSquaddiv<N>(n, st.u, st.v, st.p, st.qp, &st.a, &st.b);
  int type = BSshiftscal<N>(st);
  for (int j = 1; j <= l; ++j) {
    BSnextkpol<N>(st, type);
    type = BSshiftscal<N>(st);
    double ui, vi;
    BSnewquad<N>(st, type, &ui, &vi);
    const double vv = vi;
    const double ss = std::fabs(st.k[n - 1]) >= kZero ? -st.p[n] / st.k[n - 1] : 0.0;
    double tv = 1.0, ts = 1.0;
    if (j != 1 && type != 3) {
      if (std::fabs(vv) >= kZero) tv = std::fabs((vv - ovv) / vv);
      if (std::fabs(ss) >= kZero) ts = std::fabs((ss - oss) / ss);
      const double tvv = tv < otv ? tv * otv : 1.0;
      const double tss = ts < ots ? ts * ots : 1.0;
      const bool vpass = tvv < betav;
      const bool spass = tss < betas;
      if (vpass || spass) {
        const double svu = st.u, svv = st.v;
        for (int i = 0; i < n; ++i) st.svk[i] = st.k[i];
        double s = ss;
        bool vtry = false, stry = false;
        enum { kQuadratic, kLinear, kRestore } step = spass && (!vpass || tss < tvv) ? kLinear : kQuadratic;
        for (bool done = false; !done;) {
          switch (step) {
            case kQuadratic:
              if (BSquadshift<N>(st, ui, vi) == 2) return 2;
              vtry = true;
              betav *= 0.25;
              if (spass && !stry) {
                for (int i = 0; i < n; ++i) st.k[i] = st.svk[i];
                step = kLinear;
              } else {
                step = kRestore;
              }
              break;
            case kLinear: {
              bool near_double = false;
              if (BSrealshift<N>(st, &s, &near_double) == 1) return 1;
              stry = true;
              betas *= 0.25;
              if (near_double) {
                ui = -(s + s);
                vi = s * s;
                step = kQuadratic;
              } else {
                step = kRestore;
              }
              break;
            }
            case kRestore:
              st.u = svu;
              st.v = svv;
              for (int i = 0; i < n; ++i) st.k[i] = st.svk[i];
              if (vpass && !vtry) {
                step = kQuadratic;
              } else {
                BSquaddiv<N>(n, st.u, st.v, st.p, st.qp, &st.a, &st.b);
                type = BSshiftscal<N>(st);
                done = true;
              }
              break;
          }
        }
      }
    }
    ovv = vv;
    oss = ss;
    otv = tv;
    ots = ts;
  }
  return 0;
}

// fabs(dx / x) > bound (a positive bound below 1), without the division where the products tell it beyond doubt:
// the loop's exit then waits on one division fewer.
bool relative_step_above(double dx, double x, double bound) {
  const double adx = std::fabs(dx), ax = std::fabs(x);
  if (ax >= 0x1p-900 && ax <= 0x1p900) {
    if (adx > bound * (1.0 + 1e-9) * ax) return true;
    if (adx < bound * (1.0 - 1e-9) * ax) return false;
  }
  return std::fabs(dx / x) > bound;
}

// True when x^n b / a, formed without overflow or underflow, falls below 1 - 1e-9: x then lies below
// (a / b)^(1/n) by about 1e-9 / n relative, a margin that neither the rounding of that product (n + 1
// roundings) nor that of exp((log a - log b) / n) (about 7e-13 / n + 3e-16 relative) can close for any degree
// the solver takes, so x is also below the value so computed.
bool clearly_below_root(double x, int n, double b, double a) {
  if (!(b >= DBL_MIN && b <= DBL_MAX)) return false;
  // The products move monotonically from b, so a normal last one means every one was normal.
  double t = b;
  for (int i = 0; i < n; ++i) t *= x;
  if (!(t >= DBL_MIN && t <= DBL_MAX)) return false;
  const double r = t / a;
  return r >= DBL_MIN && r < 1.0 - 1e-9;
}

// For the current polynomial of degree st.n (at least 3): K after the five steps without shift, and the lower
// bound of the root moduli that places the shift points, which it answers. pt is scratch for st.n + 1 values.
template <int N>
double BSprepare(Iteration &st, double *pt) {
  const int n = N > 0 ? N : st.n;
  // A lower bound of the root moduli: the positive root of |p0| x^n + ... + |p(n-1)| x - |pn|. Newton starts from
  // the smaller of (|pn| / |p0|)^(1/n) and |pn| / |p(n-1)|; the first, two logarithms and an exponential, is formed
  // only where the second does not lie clearly below it.
  for (int i = 0; i <= n; ++i) pt[i] = std::fabs(st.p[i]);
  pt[n] = -pt[n];
  const bool linear = std::fabs(pt[n - 1]) >= kZero;
  const double xm = linear ? -pt[n] / pt[n - 1] : 0.0;
  double x = xm;
  if (!(linear && clearly_below_root(xm, n, pt[0], -pt[n]))) {
    x = std::exp((std::log(-pt[n]) - std::log(pt[0])) / n);
    if (linear && xm < x) x = xm;
  }
  // Chop x by tenths while the polynomial stays positive at a tenth of it: Newton then starts to the right
  // of the root, where the convex polynomial makes it converge monotonically. Started to the left, the first
  // step can throw x out by many orders of magnitude (x^n - 1 overflows) and the bound is lost.
  for (;;) {
    const double xm = x * 0.1;
    double ff = pt[0];
    for (int i = 1; i <= n; ++i) ff = ff * xm + pt[i];
    if (!(ff > 0.0)) break;
    x = xm;
  }
  for (int it = 0; it < 1000; ++it) {
    double ff = pt[0], df = ff;
    for (int i = 1; i < n; ++i) {
      ff = ff * x + pt[i];
      df = df * x + ff;
    }
    ff = ff * x + pt[n];
    const double dx = ff / df;
    x -= dx;
    if (!relative_step_above(dx, x, 0.005)) break;
  }

  // First stage: K starts as the scaled derivative; five steps without shift.
  st.k[0] = st.p[0];
  for (int i = 1; i < n; ++i) st.k[i] = (n - i) * st.p[i] / n;
  bool zerok = std::fabs(st.k[n - 1]) < kZero;
  for (int step = 0; step < 5; ++step) {
    if (!zerok) {
      const double t = -st.p[n] / st.k[n - 1];
      for (int j = n - 1; j >= 1; --j) st.k[j] = t * st.k[j - 1] + st.p[j];
      st.k[0] = st.p[0];
      zerok = std::fabs(st.k[n - 1]) <= std::fabs(st.p[n - 1]) * 10.0 * kEta;
    } else {
      for (int j = n - 1; j >= 1; --j) st.k[j] = st.k[j - 1];
      st.k[0] = 0.0;
      zerok = std::fabs(st.k[n - 1]) < kZero;
    }
  }
  return x;
}

using Complex = std::complex<double>;

constexpr int kPolishSteps = 10;
constexpr int kRefineSteps = 60;
constexpr double kSqrtEta = 1.4901161193847656e-08;  // 2^-26
// A root passes when |p(z)| is within this many degree x eps of sum |c_i| |z|^i.
constexpr double kVerifyFactor = 16.0;

// p(z) / p'(z) is kept as its numerator and denominator: the refinement divides only where it takes another step,
// not at the point it ends on.
struct RootEval {
  double numr = 0.0, numi = 0.0, denr = 0.0, deni = 0.0;
  double backward = 0.0;  // |p(z)| / sum |c_i| |z|^i
};

// (a + i b) / (c + i d) by Smith's rule, which neither overflows nor underflows on the way.
Complex quotient(double a, double b, double c, double d) {
  if (std::fabs(c) >= std::fabs(d)) {
    const double r = d / c, t = c + d * r;
    return {(a + b * r) / t, (b - a * r) / t};
  }
  const double r = c / d, t = c * r + d;
  return {(a * r + b) / t, (b * r - a) / t};
}

// p(z) / p'(z) from e; false where p' vanishes or the quotient is not finite.
bool newton_ratio(const RootEval &e, Complex *ratio) {
  if (e.denr == 0.0 && e.deni == 0.0) return false;
  *ratio = quotient(e.numr, e.numi, e.denr, e.deni);
  return std::isfinite(ratio->real()) && std::isfinite(ratio->imag());
}

// |x + i y| by the plain formula where it neither overflows nor underflows, else by hypot.
double modulus(double x, double y) {
  const double m = std::sqrt(x * x + y * y);
  return std::isfinite(m) && m > 1e-150 ? m : std::hypot(x, y);
}

// Beyond the unit circle both come from the reversed polynomial in w = 1/z, p(z) = z^n R(w), so that high degrees
// at large |z| neither overflow nor lose their small terms. The arithmetic is written out: a real z stays real,
// and the library's complex products would check every step for infinities.
RootEval evaluate(const double *c, int n, Complex z) {
  RootEval e;
  const double x = z.real(), y = z.imag();
  const double mz2 = x * x + y * y;
  const bool inside = mz2 <= 1.0;
  // Horner in v = z on the coefficients from the top (inside), or in v = 1/z from the bottom (outside).
  double vr = x, vi = y, mv = std::sqrt(mz2);
  if (!inside) {
    if (y == 0.0 && std::isfinite(x)) {
      // Smith's quotient below at a real point, to the bit, in one division instead of three in a row.
      vr = 1.0 / x;
      vi = x > 0.0 ? 0.0 : -0.0;
    } else {
      const Complex w = quotient(1.0, 0.0, x, y);
      vr = w.real();
      vi = w.imag();
    }
    mv = 1.0 / mv;
  }
  const int step = inside ? -1 : 1;
  const double *k = inside ? c + n : c;
  double pr = *k, pi = 0.0, dr = 0.0, di = 0.0, s = std::fabs(*k);
  if (vi == 0.0) {
    for (int i = 1; i <= n; ++i) {
      k += step;
      dr = dr * vr + pr;
      pr = pr * vr + *k;
      s = s * mv + std::fabs(*k);
    }
  } else {
    for (int i = 1; i <= n; ++i) {
      k += step;
      const double tdr = dr * vr - di * vi + pr, tdi = dr * vi + di * vr + pi;
      const double tpr = pr * vr - pi * vi + *k, tpi = pr * vi + pi * vr;
      dr = tdr, di = tdi, pr = tpr, pi = tpi;
      s = s * mv + std::fabs(*k);
    }
  }
  if (inside) {
    e.numr = pr, e.numi = pi, e.denr = dr, e.deni = di;
  } else {
    // p(z) / p'(z) = z R / (n R - w R'(w))
    e.numr = x * pr - y * pi;
    e.numi = x * pi + y * pr;
    e.denr = n * pr - (vr * dr - vi * di);
    e.deni = n * pi - (vr * di + vi * dr);
  }
  // With pi 0 (a real point), sqrt(pr^2) is |pr| to the bit in binary rounding to nearest, unless pr^2 underflows;
  // where it overflows the hypot below gives |pr| too.
  const double mp = pi == 0.0 && std::fabs(pr) >= 0x1p-500 ? std::fabs(pr) : std::sqrt(pr * pr + pi * pi);
  e.backward = s > 0.0 ? (std::isfinite(mp) ? mp : std::hypot(pr, pi)) / s : 0.0;
  return e;
}

bool usable_slot(double re, double im) {
  return std::isfinite(re) && std::isfinite(im) && std::fabs(re) != DBL_MAX;
}

// Newton steps on z, kept while they lower the backward error and stay within limit of the start; a real root
// stays on the real axis and a complex one off it, on its own side.
void polish_one(const double *c, int n, double limit, double *re, double *im) {
  if (!usable_slot(*re, *im)) return;
  const bool real = *im == 0.0;
  const Complex start(*re, *im);
  Complex z = start;
  RootEval e = evaluate(c, n, z);
  Complex ratio;
  for (int it = 0; it < kPolishSteps && e.backward > 0.0 && newton_ratio(e, &ratio); ++it) {
    const Complex step = real ? Complex(ratio.real(), 0.0) : ratio;
    const Complex next = z - step;
    if (!real && !(next.imag() * z.imag() > 0.0)) break;
    if (!(std::abs(next - start) <= limit)) break;
    const RootEval f = evaluate(c, n, next);
    if (!(f.backward < e.backward)) break;
    z = next;
    e = f;
    if (std::abs(step) <= kEta * std::abs(z)) break;
  }
  *re = z.real();
  *im = real ? 0.0 : z.imag();
}

// A root refined on the polynomial, with its backward error there.
struct Refined {
  Complex z;
  double err;
};

bool verified(int n, const Refined &r) {
  return usable_slot(r.z.real(), r.z.imag()) && r.err <= kVerifyFactor * n * kEta;
}

// Newton steps on p(z) / prod (z - z_j) over the roots already answered (slots 0 .. found-1). The answered roots
// repel the step, so a candidate that a drifting quotient misplaced reaches the root it stands for and not one
// answered before; a repeated root is still reached, since p keeps it after one copy is divided out. The
// iterate with the lowest backward error on p is kept (the candidate itself when nothing improves on it).
Refined refine(const double *c, int n, const double *re, const double *im, int found, Complex z, bool real) {
  RootEval e = evaluate(c, n, z);
  Refined best{z, e.backward};
  const double tol = kVerifyFactor * n * kEta;
  Complex ratio;
  for (int it = 0; it < kRefineSteps && e.backward > 0.0 && newton_ratio(e, &ratio); ++it) {
    double sr = 0.0, si = 0.0;
    for (int j = 0; j < found; ++j) {
      const double a = z.real() - re[j], b = z.imag() - im[j], m = a * a + b * b;
      sr += a / m;
      // b / m is a zero for b 0 and m > 0, and si (never -0) stays as it is: the division is spared.
      if (!(b == 0.0 && m > 0.0)) si -= b / m;
    }
    const double nr = ratio.real(), ni = ratio.imag();
    Complex step = quotient(nr, ni, 1.0 - (nr * sr - ni * si), -(nr * si + ni * sr));
    if (real) step = Complex(step.real(), 0.0);
    if (!std::isfinite(step.real()) || !std::isfinite(step.imag())) break;
    z -= step;
    e = evaluate(c, n, z);
    if (e.backward < best.err) {
      best = {z, e.backward};
    } else if (best.err <= tol) {
      break;  // at rounding level: further steps only wander
    }
    // A step this small leaves a next one below rounding (or the root is multiple, and its error is small).
    if (best.err <= tol && std::norm(step) <= kEta * std::norm(z)) break;
  }
  return best;
}

// r refined from a complex start, answered at slot: as a pair when it stayed off the real axis, else as the real
// root it closed onto (refined again on the axis). Returns the slots filled, 0 when it is no root of c.
int answer_complex(const double *c, int degree, double *re, double *im, int slot, Refined r) {
  if (r.z.imag() < 0.0) r.z = std::conj(r.z);
  // A pair takes two slots; where one is left, the last root of the real polynomial is real.
  if (slot + 1 < degree && r.z.imag() > kSqrtEta * modulus(r.z.real(), r.z.imag())) {
    if (!verified(degree, r)) return 0;
    re[slot] = re[slot + 1] = r.z.real();
    im[slot] = r.z.imag();
    im[slot + 1] = -r.z.imag();
    return 2;
  }
  const Refined x = refine(c, degree, re, im, slot, Complex(r.z.real(), 0.0), true);
  if (!verified(degree, x)) return 0;
  re[slot] = x.z.real();
  im[slot] = 0.0;
  return 1;
}

// The candidates of the iteration (one real root r1, the pair r1 +- i i1, or the real pair r1, r2) are roots of
// the current quotient; they are answered only as roots of the polynomial c itself, refined on it, from slot on.
// Returns the number of slots filled (which may differ from nz), 0 when nothing became a root of c.
int settle(const double *c, int degree, double *re, double *im, int slot, int nz, double r1, double i1, double r2) {
  int got = 0;
  if (nz == 2 && i1 != 0.0) {
    got = answer_complex(c, degree, re, im, slot, refine(c, degree, re, im, slot, Complex(r1, std::fabs(i1)), false));
  } else {
    for (int k = 0; k < nz; ++k) {
      const Refined x = refine(c, degree, re, im, slot + got, Complex(k == 0 ? r1 : r2, 0.0), true);
      if (!verified(degree, x)) break;
      re[slot + got] = x.z.real();
      im[slot + got] = 0.0;
      ++got;
    }
  }
  if (got > 0) return got;
  // Where the quotient has lost the roots it still holds (its values there drown in the rounding of its
  // coefficients), its candidate only tells where they lie. Started beside it, off the real axis, the refinement
  // can reach a pair as well as a real root.
  const double mod = std::hypot(r1, i1);
  const Complex start(r1, std::fabs(i1) + 0.125 * (mod > 0.0 ? mod : 1.0));
  return answer_complex(c, degree, re, im, slot, refine(c, degree, re, im, slot, start, false));
}

// Divides the root in re[0], im[0] (got 1) or the pair or real pair in slots 0 and 1 (got 2) out of the current
// polynomial st.p of degree n, which becomes the quotient; answers its degree.
int divide_out(Iteration &st, int n, const double *re, const double *im, int got) {
  if (got == 1) {
    st.qp[0] = st.p[0];
    for (int i = 1; i < n; ++i) st.qp[i] = st.p[i] + re[0] * st.qp[i - 1];
  } else {
    const bool pair = im[0] != 0.0;
    const double uu = pair ? -2.0 * re[0] : -(re[0] + re[1]);
    const double vv = pair ? re[0] * re[0] + im[0] * im[0] : re[0] * re[1];
    double ra, rb;
    BSquaddiv(n, uu, vv, st.p, st.qp, &ra, &rb);
  }
  for (int i = 0; i <= n - got; ++i) st.p[i] = st.qp[i];
  return n - got;
}

// Degree 1 and degrees of 5 and more.
void solve_iterative(const double *coef, int degree, double *re, double *im, int *rc) {
  if (std::fabs(coef[degree]) < kZero) {
    *rc = -2;
    return;
  }
  // Roots at the origin fill the first slots; the iteration never sees a zero constant term.
  int n = degree;
  for (int j = 0; std::fabs(coef[j]) < kZero; ++j) {
    re[j] = im[j] = 0.0;
    --n;
  }

  constexpr int kArrays = 7;  // p, qp, pt, k, saved K, qk, svk
  const std::size_t m = static_cast<std::size_t>(n) + 1;
  double local[kArrays * kLocal];
  double *block = local;
  double *heap = nullptr;
  if (m > kLocal) {
    heap = BSscratchtake(kArrays * m, nullptr);
    if (!heap) {
      *rc = BSRC_NO_SCRATCH;
      return;
    }
    block = heap;
  }
  const std::size_t stride = m > kLocal ? m : kLocal;
  Iteration st;
  st.p = block;
  st.qp = block + stride;
  double *pt = block + 2 * stride;
  st.k = block + 3 * stride;
  double *saved_k = block + 4 * stride;
  st.qk = block + 5 * stride;
  st.svk = block + 6 * stride;

  for (int i = 0; i <= n; ++i) st.p[i] = coef[degree - i];

  const double cosr = -std::cos(kRotation), sinr = std::sin(kRotation);
  double xx = 0.70710678118654752, yy = -xx;

  while (n >= 1) {
    const int slot = degree - n;
    int got = 0;
    if (n <= 2) {
      double r1, i1, r2 = 0.0, i2 = 0.0;
      if (n == 1) {
        r1 = -st.p[1] / st.p[0];
        i1 = 0.0;
      } else {
        BSquadzeros(st.p[0], st.p[1], st.p[2], &r1, &i1, &r2, &i2);
      }
      got = settle(coef, degree, re, im, slot, n, r1, i1, r2);
      if (got == 0) {
        *rc = -1;
        break;
      }
      n = got == n ? 0 : divide_out(st, n, re + slot, im + slot, got);  // the last roots leave nothing to divide
      continue;
    }
    st.n = n;

    // Scale by a power of two so that the coefficients neither overflow nor underflow in the tests below.
    double mx = 0.0;
    for (int i = 0; i <= n; ++i) mx = std::fabs(st.p[i]) > mx ? std::fabs(st.p[i]) : mx;  // fmax is a call
    double mn = mx;
    for (int i = 0; i <= n; ++i) {
      // The smallest nonzero magnitude; a zero stands in as mx, which never lowers mn (no branch to mispredict).
      const double x = std::fabs(st.p[i]) > 0.0 ? std::fabs(st.p[i]) : mx;
      mn = x < mn ? x : mn;
    }
    double sc = kLo / mn;
    if ((sc > 1.0 && mx <= kBig / sc) || (sc <= 1.0 && mx >= 10.0)) {
      if (std::fabs(sc) < kZero) sc = kZero;
      const int l = scale_exponent(sc);
      double factor = power_of_two(l);
      if (bstest::slow_roads()) {
        factor = BSpower(rc, 2.0, l);
        if (*rc != 0) break;
      }
      if (factor != 1.0)
        for (int i = 0; i <= n; ++i) st.p[i] *= factor;
    }

    const double bnd = by_degree(n, [&](auto d) { return BSprepare<d>(st, pt); });
    for (int i = 0; i < n; ++i) saved_k[i] = st.k[i];

    // Second and third stages from shift points turning round the circle of radius bnd, with v = bnd as the
    // shift quadratic's constant term; where none of them converges, the same again with v = bnd^2, whose
    // roots lie on that circle (with v = bnd they lie at sqrt(bnd), far outside it when every root is small).
    for (int pass = 0; pass < 2 && got == 0; ++pass) {
      const double v = pass == 0 ? bnd : bnd * bnd;
      for (int attempt = 1; attempt <= 20 && got == 0; ++attempt) {
        const double xxx = cosr * xx - sinr * yy;
        yy = sinr * xx + cosr * yy;
        xx = xxx;
        st.sr = bnd * xx;
        st.u = -2.0 * st.sr;
        st.v = v;
        const int nz = by_degree(n, [&](auto d) { return BSfixshift<d>(st, 20 * attempt); });
        if (nz > 0) got = settle(coef, degree, re, im, slot, nz, st.szr, st.szi, st.lzr);
        if (got == 0)
          for (int i = 0; i < n; ++i) st.k[i] = saved_k[i];
      }
    }
    if (got == 0) {
      *rc = -1;
      break;
    }
    n = divide_out(st, n, re + slot, im + slot, got);
  }
  BSscratchrelease(heap);
}

}  // namespace

namespace bsroots {

void polish_roots(const double *coef, int degree, int from, double *re, double *im) {
  for (int j = from; j < degree; ++j) {
    const bool pair = im[j] != 0.0 && j + 1 < degree && re[j + 1] == re[j] && im[j + 1] == -im[j];
    double nearest = INFINITY;
    for (int k = from; k < degree; ++k)
      if (k != j) nearest = std::fmin(nearest, std::hypot(re[j] - re[k], im[j] - im[k]));
    polish_one(coef, degree, nearest / 2.0, &re[j], &im[j]);
    if (pair) {
      re[j + 1] = re[j];
      im[j + 1] = -im[j];
      ++j;
    }
  }
}

bool within_rounding(const double *coef, int degree, double re, double im) {
  return usable_slot(re, im) && evaluate(coef, degree, Complex(re, im)).backward <= kVerifyFactor * degree * kEta;
}

bool roots_verified(const double *coef, int degree, int from, const double *re, const double *im) {
  for (int j = from; j < degree; ++j) {
    if (!usable_slot(re[j], im[j])) return false;
    if (!(evaluate(coef, degree, Complex(re[j], im[j])).backward <= kVerifyFactor * degree * kEta)) return false;
  }
  return true;
}

}  // namespace bsroots

BSboolean BSrpoly(int *rc, const double *coef, const std::int16_t *degree, double *re, double *im) {
  *rc = 0;
  const int deg = *degree;
  if (deg < 1 || !BSallfinite(deg + 1, coef))
    *rc = BSRC_OUT_OF_RANGE;
  else if (deg == 2)
    BSquadsolve(coef, re, im);
  else if (deg == 3)
    BSrpoly3(coef, re, im, rc);
  else if (deg == 4)
    BSrpoly4(coef, re, im, rc);
  else
    solve_iterative(coef, deg, re, im, rc);
  BSexit(rc, "BSrpoly", "bsrpoly");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

// ---------------------------------------------------------------------------------------------------------------
// Real roots in an interval

BSboolean BSpoly2(int *rc, const std::int16_t *n, const double *c, const double *lo, const double *hi,
                  std::uint16_t *count, double *roots) {
  *rc = 0;
  *count = 0;
  const int deg = *n;
  bool finite = std::isfinite(*lo) && std::isfinite(*hi);
  for (int k = 0; k <= deg && finite; ++k) finite = std::isfinite(c[k]);
  if (!finite || *lo > *hi) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    BSscratch<2 * kLocal> scratch;
    double *re = scratch.take(deg > 0 ? 2 * static_cast<std::size_t>(deg) : 0);
    if (!re) {
      *rc = BSRC_NO_SCRATCH;
    } else if (BSrpoly(rc, c, n, re, re + deg)) {
      const double *im = re + deg;
      for (int j = 0; j < deg; ++j) {
        if (std::fabs(im[j]) >= 1e-6 && std::fabs(im[j]) >= 1e-7 * std::fabs(re[j])) continue;
        if (re[j] + 1e-12 >= *lo && re[j] - 1e-12 <= *hi) roots[(*count)++] = std::fmin(std::fmax(re[j], *lo), *hi);
      }
    }
  }
  BSexit(rc, "BSpoly2", "bspoly2");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSpoly3(int *rc, const std::int16_t *n, const double *c, const double *lo, const double *hi,
                  std::uint16_t *count, double *roots) {
  *rc = 0;
  *count = 0;
  const int deg = *n;
  bool finite = true;
  for (int k = 0; k <= deg && finite; ++k) finite = std::isfinite(c[k]);
  if (deg < 0) {
    *count = 65535;
  } else if (!finite) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double d = BStoltab[bstol::dist_tol];
    const double negligible = d * d * d * d * 1e14;
    int m = deg;
    while (m >= 0 && !(std::fabs(c[m]) > negligible)) --m;
    if (m <= 0) {
      *count = m < 0 ? 65535 : 0;
    } else {
      const std::int16_t m16 = static_cast<std::int16_t>(m);
      BSpoly2(rc, &m16, c, lo, hi, count, roots);
    }
  }
  BSexit(rc, "BSpoly3", "bspoly3");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
