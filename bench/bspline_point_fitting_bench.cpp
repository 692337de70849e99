// An open least-squares fit of ten points per pole by a cubic on uneven knots: ours (the point-fitting driver with
// its band solver) beside the normal equations built from the same points, parameters, spans and knots (basis
// functions by the triangle) and solved by LAPACK's banded Cholesky or by Eigen's SimplicialLDLT. Every answer is
// compared with a sparse normal-equations reference before it is timed.
#include <Eigen/SparseCholesky>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bench/band_solvers.h"
#include "bench/bench_checks.h"
#include "bspline/fitting.h"
#include "bspline/measure.h"

namespace {

constexpr int kOrder = 4, kPerPole = 10;

struct Problem {
  int points = 0, poles = 0;
  std::vector<double> pts, u, knots;
  std::vector<int> spans;
  Eigen::MatrixXd reference;  // poles x 3
};

std::shared_ptr<const Problem> Make(int poles) {
  return bench::Once(poles, [poles] {
    auto f = std::make_shared<Problem>();
    const int n = kPerPole * poles, k = kOrder;
    f->points = n, f->poles = poles;
    std::mt19937 rng(5000);
    std::uniform_real_distribution<double> gap(0.5, 2.0), unit(0.0, 1.0);
    f->knots.assign(k, 0.0);
    double t = 0;
    for (int j = 0; j < poles - k; ++j) f->knots.push_back(t += gap(rng));
    t += gap(rng);
    f->knots.resize(poles + k, t);
    for (int i = 0; i < n; ++i) f->u.push_back(t * i / (n - 1));
    // As wavy per pole at every size.
    const double waves = poles / 12.5;
    Eigen::MatrixXd rhs(n, 3);
    for (int i = 0; i < n; ++i) {
      const double x = f->u[i] / t;
      const double c[3] = {std::cos(waves * x), std::sin(0.8 * waves * x), x * x + 0.01 * (unit(rng) - 0.5)};
      for (int d = 0; d < 3; ++d) f->pts.push_back(rhs(i, d) = c[d]);
    }
    f->spans.resize(n);
    int rc = 0;
    BSfndspnarr(k, poles, n, f->u.data(), f->knots.data(), f->spans.data(), &rc);
    std::vector<Eigen::Triplet<double>> entries;
    double N[k];
    for (int i = 0; i < n; ++i) {
      BSmansf0(&rc, k, f->knots.data(), f->spans[i], f->u[i], N);
      for (int j = 0; j < k; ++j) entries.emplace_back(i, f->spans[i] - k + 1 + j, N[j]);
    }
    Eigen::SparseMatrix<double> collocation(n, poles);
    collocation.setFromTriplets(entries.begin(), entries.end());
    const Eigen::SparseMatrix<double> normal = collocation.transpose() * collocation;
    const Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> ldlt(normal);
    f->reference = ldlt.solve(collocation.transpose() * rhs);
    return std::shared_ptr<const Problem>(f);
  });
}

// The largest distance of a pole coordinate from the reference; infinite when the fit failed.
template <class Pole>
double Error(const Problem &p, bool ok, Pole pole) {
  if (!ok) return INFINITY;
  double worst = 0;
  for (int j = 0; j < p.poles; ++j)
    for (int d = 0; d < 3; ++d) {
      const double e = std::fabs(pole(j, d) - p.reference(j, d));
      worst = std::isnan(e) || e > worst ? e : worst;
    }
  return std::isnan(worst) ? INFINITY : worst;
}

const std::vector<int> kSizes = bench::Sizes({50, 500, 5000});

const bool registered = [] {
  bench::Describe("point_fitting",
                  "An open least-squares fit of ten points per pole by a cubic on uneven knots, parameters and spans "
                  "given; size: poles. Every contender starts from the points, parameters, spans and knots and is "
                  "timed to the poles: ours through the point-fitting driver and its band solver, the peers by "
                  "building the rows (basis functions by the triangle), forming the normal equations and solving "
                  "them with LAPACK's banded Cholesky or with Eigen's SimplicialLDLT (its pattern analysed "
                  "beforehand, untimed). Checked against a sparse normal-equations solve to 1e-9.");
  bench::Contender("point_fitting", "open_cubic_10_points_per_pole", "ours", kSizes, "poles", [](int poles) {
    const auto p = Make(poles);
    struct Work {
      std::vector<double> matrix, rhs, periodic, out;
    };
    auto w = std::make_shared<Work>();
    w->matrix.resize(static_cast<std::size_t>(p->points) * kOrder);
    w->rhs.resize(static_cast<std::size_t>(p->points) * 3);
    w->periodic.resize(static_cast<std::size_t>(3) * poles);
    w->out.resize(static_cast<std::size_t>(3) * poles);
    auto fit = [p, w] {
      int rc = 0;
      BSfitratpts(p->points, p->pts.data(), nullptr, p->u.data(), p->spans.data(), kOrder, p->poles, p->knots.data(),
                  3, 3, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 1, 1, 0, 0.0, 0, w->matrix.data(), w->rhs.data(),
                  w->periodic.data(), w->out.data(), nullptr, &rc);
      return rc;
    };
    const bool ok = fit() == 0;
    return bench::Checked(Error(*p, ok, [&](int j, int d) { return w->out[3 * j + d]; }), 1e-9,
                          [fit] { benchmark::DoNotOptimize(fit()); }, "a pole differs from the reference");
  });
  for (const bool lapack : {true, false}) {
    const char *contender = lapack ? "lapack_dpbsv_normal_equations" : "eigen_SimplicialLDLT_normal_equations";
    bench::Contender("point_fitting", "open_cubic_10_points_per_pole", contender, kSizes, "poles", [lapack](int poles) {
      const auto p = Make(poles);
      auto eq = std::make_shared<bench::NormalEquations>(poles, kOrder, 3);
      auto fit = [p, eq, lapack] {
        eq->Clear();
        double N[kOrder];
        for (int i = 0; i < p->points; ++i) {
          bench::BasisTriangle(kOrder, p->knots.data(), p->spans[i], p->u[i], N);
          eq->Add(p->spans[i] - kOrder + 1, N, &p->pts[3 * i]);
        }
        return lapack ? eq->SolveLapack() : eq->SolveEigen();
      };
      const bool ok = fit();
      return bench::Checked(Error(*p, ok, [&](int j, int d) { return eq->X(j, d); }), 1e-9,
                            [fit] { benchmark::DoNotOptimize(fit()); }, "a pole differs from the reference");
    });
  }
  return true;
}();

}  // namespace
