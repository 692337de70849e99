// Point and first derivative of a random clamped curve of n poles at 10^5 random parameters: ours beside the
// fastest plain form (the basis functions by the triangle, then one dot product per coordinate, written here) with
// the order a run-time value and with the order fixed at compile time, SISL's s1221 and OpenCASCADE's D1. One row
// per order (2, 3, 4, 6) and one for a rational cubic.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "bench/band_solvers.h"
#include "bench/bench_checks.h"
#include "bspline/core/test_support.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace {

constexpr int kParams = 100000;

struct Row {
  const char *name;
  int order;
  bool rational;
};
constexpr Row kRows[] = {
    {"order2", 2, false}, {"order3", 3, false}, {"order4", 4, false}, {"order6", 6, false}, {"rational_order4", 4, true},
};

struct Fixture {
  std::unique_ptr<TestCurve> curve;
  std::vector<double> params;
  std::vector<double> ours;  // 6 per parameter
  Fixture(const Row &row, int poles) {
    std::mt19937 rng(60 + row.order + (row.rational ? 100 : 0) + poles);
    curve = random_curve(rng, row.order, poles, row.rational, true);
    std::uniform_real_distribution<double> ud(curve->start(), curve->end());
    params.resize(kParams);
    for (double &u : params) u = ud(rng);
    ours.resize(6 * kParams);
    // The answers of the general road (every call takes it while the slow roads are asked for), so that the
    // row of ours shows how far its shortcut strays from them.
    const bstest::SlowRoads slow;
    for (int i = 0; i < kParams; ++i) {
      int rc = 0;
      BScveval_n(&curve->cv, params[i], 1, &ours[6 * i], &rc);
      if (rc != 0) ours[6 * i] = NAN;
    }
  }
};

std::shared_ptr<const Fixture> fixture(const Row &row, int poles) {
  return bench::Once(std::pair(&row, poles), [&] { return std::make_shared<const Fixture>(row, poles); });
}

// The largest deviation from ours, each value relative to the largest magnitude (at least 1) of its row.
double deviation(const Fixture &f, const std::vector<double> &theirs) {
  double worst = 0.0;
  for (int i = 0; i < kParams; ++i)
    for (int r = 0; r < 2; ++r) {
      double scale = 1;
      for (int k = 0; k < 3; ++k) scale = std::max(scale, std::fabs(f.ours[6 * i + 3 * r + k]));
      for (int k = 0; k < 3; ++k) {
        const double d = std::fabs(theirs[6 * i + 3 * r + k] - f.ours[6 * i + 3 * r + k]) / scale;
        worst = d > worst || std::isnan(d) ? d : worst;
      }
    }
  return worst;
}

// The plain form on span s: the basis functions and their derivatives by the triangle, then one dot product per
// coordinate (homogeneous for a rational curve, whose weights are not NULL, then the quotient rule). p is the
// degree: an int, or a std::integral_constant for the kernel of a fixed order, whose loops then unroll.
template <class Degree>
[[gnu::always_inline]] inline void plain_d1(Degree p, const double *t, int s, const double *poles,
                                            const double *weights, double u, double out[6]) {
  double N[16], dN[16];
  bench::BasisTriangleOf(p, t, s, u, N, dN);
  const double *P = poles + 3 * (s - p);
  double A[3] = {0, 0, 0}, D[3] = {0, 0, 0};
  for (int r = 0; r <= p; ++r)
    for (int d = 0; d < 3; ++d) A[d] += N[r] * P[3 * r + d], D[d] += dN[r] * P[3 * r + d];
  if (!weights) {
    for (int d = 0; d < 3; ++d) out[d] = A[d], out[3 + d] = D[d];
    return;
  }
  const double *W = weights + (s - p);
  double w = 0, w1 = 0;
  for (int r = 0; r <= p; ++r) w += N[r] * W[r], w1 += dN[r] * W[r];
  for (int d = 0; d < 3; ++d) {
    out[d] = A[d] / w;
    out[3 + d] = (D[d] - out[d] * w1) / w;
  }
}

// The plain form with the order a run-time value, the span by binary search (t[s] <= u < t[s+1]).
void basis_triangle_d1(const TestCurve &c, double u, double out[6]) {
  const int k = c.order(), n = c.n();
  const double *t = c.knots.data();
  const int s = static_cast<int>(std::upper_bound(t + k, t + n, u) - t) - 1;
  plain_d1(k - 1, t, s, c.poles.data(), c.weights.empty() ? nullptr : c.weights.data(), u, out);
}

// The plain form with the order (and the weighting) fixed at compile time and the whole body inlined in the loop
// over the parameters, without a check: the span by bisection (t[s] <= u < t[s+1], the last span closed at the
// end), the triangle unrolled for the order.
template <int K, bool Rational>
[[gnu::always_inline]] inline void fixed_order_d1(const double *t, int n, const double *poles, const double *weights,
                                                  double u, double out[6]) {
  int s = K - 1, hi = n;
  while (hi - s > 1) {
    const int mid = (s + hi) / 2;
    if (u < t[mid])
      hi = mid;
    else
      s = mid;
  }
  plain_d1(std::integral_constant<int, K - 1>(), t, s, poles, Rational ? weights : nullptr, u, out);
}

template <int K, bool Rational>
void fixed_order_run(const TestCurve &c, const std::vector<double> &params, double *out) {
  const double *t = c.knots.data(), *poles = c.poles.data(), *weights = Rational ? c.weights.data() : nullptr;
  const int n = c.n(), count = static_cast<int>(params.size());
  for (int i = 0; i < count; ++i) fixed_order_d1<K, Rational>(t, n, poles, weights, params[i], out + 6 * i);
}

// Runs a contender once over every parameter, checks its answers against ours to 1e-12, then times it.
using Evaluate = std::function<void(const Fixture &, std::vector<double> &)>;

void Register(const char *contender, const std::function<Evaluate(const Fixture &)> &prepare) {
  for (const Row &row : kRows)
    bench::Contender(
        "evaluation", std::string(row.name) + "_point_d1", contender, bench::Sizes({10, 60, 100, 1000}), "poles",
        [&row, prepare](int poles) {
          const std::shared_ptr<const Fixture> f = fixture(row, poles);
          const Evaluate run = prepare(*f);
          auto out = std::make_shared<std::vector<double>>(6 * kParams);
          run(*f, *out);
          return bench::Checked(deviation(*f, *out), 1e-12, [f, run, out] {
            run(*f, *out);
            benchmark::DoNotOptimize(out->data());
          }, "disagrees with ours");
        });
}

const bool registered = [] {
  bench::Describe("evaluation",
                  "Point and first derivative of a random clamped curve at 10^5 random parameters; size: poles. The "
                  "basis-triangle kernel is the fastest plain form (basis functions by the triangle, then one dot "
                  "product per coordinate); the fixed-order kernel is the same with the order fixed at compile time "
                  "and inlined in the loop. Every answer is checked against ours' general road to 1e-12 relative.");
  Register("ours", [](const Fixture &) -> Evaluate {
    return [](const Fixture &f, std::vector<double> &out) {
      int rc = 0;
      for (int i = 0; i < kParams; ++i) BScveval_n(&f.curve->cv, f.params[i], 1, &out[6 * i], &rc);
    };
  });
  Register("basis_triangle_kernel", [](const Fixture &) -> Evaluate {
    return [](const Fixture &f, std::vector<double> &out) {
      for (int i = 0; i < kParams; ++i) basis_triangle_d1(*f.curve, f.params[i], &out[6 * i]);
    };
  });
  Register("fixed_order_kernel", [](const Fixture &f) -> Evaluate {
    using Run = void (*)(const TestCurve &, const std::vector<double> &, double *);
    Run run = nullptr;
    const bool rational = f.curve->cv.rational;
    switch (f.curve->order()) {  // the orders of kRows
      case 2: run = rational ? fixed_order_run<2, true> : fixed_order_run<2, false>; break;
      case 3: run = rational ? fixed_order_run<3, true> : fixed_order_run<3, false>; break;
      case 4: run = rational ? fixed_order_run<4, true> : fixed_order_run<4, false>; break;
      case 6: run = rational ? fixed_order_run<6, true> : fixed_order_run<6, false>; break;
    }
    return [run](const Fixture &g, std::vector<double> &out) { run(*g.curve, g.params, out.data()); };
  });
  Register("sisl_s1221", [](const Fixture &f) -> Evaluate {
    auto sc = std::make_shared<SislCurve>(*f.curve);
    return [sc](const Fixture &g, std::vector<double> &out) {
      int ileft = 0, stat = 0;
      for (int i = 0; i < kParams; ++i) s1221(sc->cv, 1, g.params[i], &ileft, &out[6 * i], &stat);
    };
  });
  Register("occt_Geom_BSplineCurve_D1", [](const Fixture &f) -> Evaluate {
    auto oc = std::make_shared<OcctCurve>(*f.curve);
    return [oc](const Fixture &g, std::vector<double> &out) {
      gp_Pnt P;
      gp_Vec V;
      for (int i = 0; i < kParams; ++i) {
        oc->cv->D1(g.params[i], P, V);
        double *o = &out[6 * i];
        o[0] = P.X(), o[1] = P.Y(), o[2] = P.Z(), o[3] = V.X(), o[4] = V.Y(), o[5] = V.Z();
      }
    };
  });
  return true;
}();

}  // namespace
