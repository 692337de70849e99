// Real roots in [-1, 1] of Legendre series of degree 20, each with six simple real roots there and seven complex
// pairs off the interval: ours by bisection of the Legendre series, GSL's companion-matrix solver on the same
// polynomials in the power basis (converted before timing). Every contender's answers are checked on the whole
// data set before it is timed.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_poly.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/legendre.h"
#include "tests/bspline/legendre_from_roots.h"

namespace {

constexpr int kCount = 10000;  // series drawn; a size takes the first of them
constexpr int kDegree = 20;
constexpr int kReal = 6;

struct Data {
  std::vector<double> legendre, power, roots;  // kDegree + 1 coefficients, kReal sorted roots per series
};

const Data &data() {
  static const Data d = [] {
    std::mt19937 rng(203);
    std::uniform_real_distribution<double> in(-0.95, 0.95), re(-1.5, 1.5), im(0.5, 2);
    Data out;
    while (static_cast<int>(out.roots.size()) < kCount * kReal) {
      std::vector<double> real;
      while (static_cast<int>(real.size()) < kReal) {
        const double r = in(rng);
        if (std::all_of(real.begin(), real.end(), [r](double x) { return std::fabs(x - r) > 0.05; }))
          real.push_back(r);
      }
      std::sort(real.begin(), real.end());
      std::vector<Quadratic> pairs;
      for (int k = 0; k < (kDegree - kReal) / 2; ++k) {
        const double x = re(rng), y = im(rng);
        pairs.push_back({-2 * x, x * x + y * y});
      }
      std::vector<double> lgd = legendre_from_roots(real, pairs);
      // Scaled to a largest value of 1 on [-1, 1], so that one absolute tolerance suits every series; a series
      // whose slope at a root falls below 1e-3 of that (complex pairs close above the interval) is drawn again.
      double top = 0;
      for (int i = 0; i <= 200; ++i) {
        double v = 0;
        BSevalpolgd(kDegree, lgd.data(), -1 + i / 100.0, &v);
        top = std::max(top, std::fabs(v));
      }
      for (double &c : lgd) c /= top;
      bool steep = true;
      for (double r : real) {
        double slope = 0;
        int rc = 0;
        BSevalgder(kDegree, lgd.data(), 1, r, &slope, &rc);
        steep = steep && std::fabs(slope) > 1e-3;
      }
      if (!steep) continue;
      std::vector<double> power(kDegree + 1);
      int rc = 0;
      BSlgdtcan(kDegree, lgd.data(), power.data(), &rc);
      out.legendre.insert(out.legendre.end(), lgd.begin(), lgd.end());
      out.power.insert(out.power.end(), power.begin(), power.end());
      out.roots.insert(out.roots.end(), real.begin(), real.end());
    }
    return out;
  }();
  return d;
}

bool roots_ok(int p, const std::vector<double> &found, std::string *why) {
  const double *want = &data().roots[static_cast<std::size_t>(p) * kReal];
  bool ok = found.size() == kReal;
  for (std::size_t j = 0; ok && j < found.size(); ++j) ok = std::fabs(found[j] - want[j]) < 1e-8;
  if (!ok) *why = "series " + std::to_string(p) + ": the real roots are not those built in";
  return ok;
}

void solve_ours(int p, std::vector<double> *found) {
  double roots[kDegree];
  int count = 0, rc = 0;
  BSfndrtlgd1(kDegree, &data().legendre[static_cast<std::size_t>(p) * (kDegree + 1)], 1e-12, &count, roots, &rc);
  benchmark::DoNotOptimize(roots);
  if (found) found->assign(roots, roots + (rc == 0 && count > 0 ? count : 0));
}

void solve_gsl(gsl_poly_complex_workspace *w, int p, std::vector<double> *found) {
  double z[2 * kDegree];
  const int status = gsl_poly_complex_solve(&data().power[static_cast<std::size_t>(p) * (kDegree + 1)], kDegree + 1,
                                            w, z);
  benchmark::DoNotOptimize(z);
  if (found) {
    found->clear();
    for (int j = 0; status == GSL_SUCCESS && j < kDegree; ++j)
      if (std::fabs(z[2 * j + 1]) < 1e-7 && std::fabs(z[2 * j]) <= 1) found->push_back(z[2 * j]);
    std::sort(found->begin(), found->end());
  }
}

using Solve = std::function<void(int p, std::vector<double> *found)>;

void Register(const char *contender, std::function<Solve()> make) {
  bench::Contender("legendre_roots", "degree20_six_real_roots", contender, bench::Sizes({100, 1000, 10000}), "series",
                   [make](int count) {
                     const Solve solve = make();
                     std::vector<double> found;
                     std::string why;
                     for (int p = 0; p < count; ++p) {
                       solve(p, &found);
                       if (!roots_ok(p, found, &why)) return bench::Failed(why);
                     }
                     return bench::Passed([solve, count] {
                       for (int p = 0; p < count; ++p) solve(p, nullptr);
                     });
                   });
}

const bool registered = [] {
  bench::Describe("legendre_roots",
                  "The real roots in [-1, 1] of Legendre series of degree 20 with six simple real roots there and "
                  "seven complex pairs off it; size: series. Every series' roots are checked against those built in, "
                  "to 1e-8. GSL's solver gets the same polynomials in the power basis, converted beforehand.");
  Register("ours", [] { return Solve(solve_ours); });
  Register("gsl_poly_complex_solve", [] {
    std::shared_ptr<gsl_poly_complex_workspace> w(gsl_poly_complex_workspace_alloc(kDegree + 1),
                                                  gsl_poly_complex_workspace_free);
    return Solve([w](int p, std::vector<double> *found) { solve_gsl(w.get(), p, found); });
  });
  return true;
}();

}  // namespace
