// The numerics beside their peers: all roots of degree-6 polynomials (ours, GSL's companion-matrix solver); the
// singular value decomposition of 3x3 and 4x4 matrices (ours, Eigen's JacobiSVD) and of 20x20 and 60x40 matrices
// with both factors (ours, Eigen's BDCSVD, LAPACK's dgesvd); and a banded least-squares fit (ours, the normal
// equations by LAPACK's banded Cholesky and by Eigen's SimplicialLDLT). Every contender's answers are checked on
// the whole data set before it is timed.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_poly.h>
#include <lapacke.h>

#include <Eigen/Dense>
#include <Eigen/SparseCholesky>
#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include "bench/band_solvers.h"
#include "bench/bench_checks.h"
#include "bspline/numerics.h"
#include "tests/bspline/polynomials.h"

namespace {

constexpr int kDegree = 6;

// `count` polynomials from known, reasonably separated roots (real ones and conjugate pairs), ascending
// coefficients.
std::shared_ptr<const std::vector<double>> Polynomials(int count) {
  return bench::Once(count, [count] {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> mag(0.5, 4.0), ang(0.3, 2.8), coin(0, 1);
    auto out = std::make_shared<std::vector<double>>();
    out->reserve(static_cast<std::size_t>(count) * (kDegree + 1));
    for (int p = 0; p < count; ++p) {
      std::vector<cplx> roots;
      while (roots.size() < kDegree) {
        if (kDegree - roots.size() >= 2 && coin(rng) < 0.5) {
          const cplx z = std::polar(mag(rng), ang(rng));
          roots.push_back(z);
          roots.push_back(std::conj(z));
        } else {
          roots.push_back((coin(rng) < 0.5 ? -1.0 : 1.0) * mag(rng));
        }
      }
      const auto c = poly_from_roots(roots);
      out->insert(out->end(), c.begin(), c.end());
    }
    return std::shared_ptr<const std::vector<double>>(out);
  });
}

// Roots of every polynomial as interleaved (re, im) pairs; NaN where the solver failed.
using RootSolver = std::function<void(const std::vector<double> &, std::vector<double> *)>;

void SolveOurs(const std::vector<double> &c, std::vector<double> *out) {
  const std::int16_t degree = kDegree;
  double re[kDegree], im[kDegree];
  const std::size_t count = c.size() / (kDegree + 1);
  for (std::size_t p = 0; p < count; ++p) {
    int rc = 0;
    BSrpoly(&rc, &c[p * (kDegree + 1)], &degree, re, im);
    if (out)
      for (int j = 0; j < kDegree; ++j) {
        (*out)[(p * kDegree + j) * 2] = rc == 0 ? re[j] : NAN;
        (*out)[(p * kDegree + j) * 2 + 1] = rc == 0 ? im[j] : NAN;
      }
    benchmark::DoNotOptimize(re);
    benchmark::DoNotOptimize(im);
  }
}

RootSolver GslSolver() {
  std::shared_ptr<gsl_poly_complex_workspace> w(gsl_poly_complex_workspace_alloc(kDegree + 1),
                                                gsl_poly_complex_workspace_free);
  return [w](const std::vector<double> &c, std::vector<double> *out) {
    double z[2 * kDegree];
    const std::size_t count = c.size() / (kDegree + 1);
    for (std::size_t p = 0; p < count; ++p) {
      const int status = gsl_poly_complex_solve(&c[p * (kDegree + 1)], kDegree + 1, w.get(), z);
      if (out)
        for (int j = 0; j < 2 * kDegree; ++j) (*out)[p * kDegree * 2 + j] = status == GSL_SUCCESS ? z[j] : NAN;
      benchmark::DoNotOptimize(z);
    }
  };
}

// The largest relative residual of any root (a few pairs of close roots keep it near 1e-11 in every solver).
double WorstResidual(const std::vector<double> &c, const std::vector<double> &roots) {
  double worst = 0;
  for (std::size_t p = 0; p < c.size() / (kDegree + 1); ++p)
    for (int j = 0; j < kDegree; ++j) {
      const double *z = &roots[(p * kDegree + j) * 2];
      const double r = relative_residual(&c[p * (kDegree + 1)], kDegree, cplx(z[0], z[1]));
      worst = std::isnan(r) || r > worst ? r : worst;
    }
  return std::isnan(worst) ? INFINITY : worst;
}

void RegisterRoots(const char *contender, std::function<RootSolver()> make) {
  bench::Contender("polynomial_roots", "degree6", contender, bench::Sizes({1000, 10000, 100000}), "polynomials",
                   [make](int count) {
                     const auto c = Polynomials(count);
                     const RootSolver solve = make();
                     std::vector<double> roots(c->size() / (kDegree + 1) * kDegree * 2);
                     solve(*c, &roots);
                     return bench::Checked(WorstResidual(*c, roots), 1e-9, [c, solve] { solve(*c, nullptr); },
                                           "a root has a large residual");
                   });
}

// Singular values of `count` row-major m x m matrices with entries in [-1, 1], m per matrix, decreasing; the
// reference values are the square roots of the eigenvalues of A^T A from Eigen's symmetric solver, which shares
// nothing with any contender.
struct SmallSet {
  std::vector<double> a, reference;
};

std::shared_ptr<const SmallSet> Small(int m, int count) {
  return bench::Once(std::pair(m, count), [m, count] {
    auto set = std::make_shared<SmallSet>();
    std::mt19937 rng(77 + m);
    std::uniform_real_distribution<double> d(-1, 1);
    set->a.resize(static_cast<std::size_t>(count) * m * m);
    for (double &x : set->a) x = d(rng);
    for (int p = 0; p < count; ++p) {
      const Eigen::Map<const Eigen::MatrixXd> At(&set->a[static_cast<std::size_t>(p) * m * m], m, m);
      const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> es(At * At.transpose(), Eigen::EigenvaluesOnly);
      for (int k = 0; k < m; ++k) set->reference.push_back(std::sqrt(std::max(es.eigenvalues()(m - 1 - k), 0.0)));
    }
    return std::shared_ptr<const SmallSet>(set);
  });
}

using SvdFn = void (*)(int m, const double *a, double *s);

void SvdOurs(int m, const double *a, double *s) {
  double u[16], v[16];
  int rc = 0;
  BSsingval(m, m, a, u, s, v, &rc);
  if (rc != 0)
    for (int k = 0; k < m; ++k) s[k] = NAN;
}

// The library's three-dimensional path: the matrix's rows taken as three points.
void SvdOursPoints(int, const double *a, double *s) {
  double rows[9], v[9];
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) rows[k * 3 + i] = a[3 * i + k];
  int rc = 0;
  BSsngvald3v(3, rows, s, v, &rc);
  if (rc != 0)
    for (int k = 0; k < 3; ++k) s[k] = NAN;
}

template <int M>
void SvdEigen(int, const double *a, double *s) {
  const Eigen::Map<const Eigen::Matrix<double, M, M, Eigen::RowMajor>> A(a);
  Eigen::JacobiSVD<Eigen::Matrix<double, M, M>> svd;
  svd.compute(A, Eigen::ComputeFullU | Eigen::ComputeFullV);
  const Eigen::Matrix<double, M, 1> values = svd.singularValues();
  for (int k = 0; k < M; ++k) s[k] = values(k);
}

void RegisterSmall(int m, const char *contender, SvdFn fn) {
  const std::string row = std::to_string(m) + "x" + std::to_string(m);
  bench::Contender("svd", row, contender, bench::Sizes({1000, 10000, 100000}), "matrices", [m, fn](int count) {
    const auto set = Small(m, count);
    double worst = 0, s[4];
    for (int p = 0; p < count; ++p) {
      fn(m, &set->a[static_cast<std::size_t>(p) * m * m], s);
      const double *want = &set->reference[static_cast<std::size_t>(p) * m];
      // Small values are known to the Gram route only to sqrt(eps) of the largest.
      for (int k = 0; k < m; ++k) worst = std::fmax(worst, std::fabs(s[k] - want[k]) / (1.0 + want[0]));
      if (std::isnan(s[0])) worst = INFINITY;
    }
    return bench::Checked(worst, 1e-7, [set, m, fn, count] {
      double values[4];
      for (int p = 0; p < count; ++p) {
        fn(m, &set->a[static_cast<std::size_t>(p) * m * m], values);
        benchmark::DoNotOptimize(values);
      }
    }, "a singular value is off");
  });
}

// Decompositions with both factors of column-major m x n matrices, entries in [-1, 1]; reference values as above.
struct DenseSet {
  std::vector<double> a, reference;  // count blocks of m n, and of n (decreasing)
};

std::shared_ptr<const DenseSet> Dense(int m, int n, int count) {
  return bench::Once(std::tuple(m, n, count), [m, n, count] {
    auto set = std::make_shared<DenseSet>();
    std::mt19937 rng(91 + m + n);
    std::uniform_real_distribution<double> d(-1, 1);
    set->a.resize(static_cast<std::size_t>(count) * m * n);
    for (double &x : set->a) x = d(rng);
    for (int p = 0; p < count; ++p) {
      const Eigen::Map<const Eigen::MatrixXd> A(&set->a[static_cast<std::size_t>(p) * m * n], m, n);
      const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> es(A.transpose() * A, Eigen::EigenvaluesOnly);
      for (int k = 0; k < n; ++k) set->reference.push_back(std::sqrt(std::max(es.eigenvalues()(n - 1 - k), 0.0)));
    }
    return std::shared_ptr<const DenseSet>(set);
  });
}

// Each contender keeps its factors and work space between calls; solve(a, s) leaves the n values in s.
struct DenseOurs {
  int m, n;
  std::vector<double> u, v, work;
  DenseOurs(int m_, int n_) : m(m_), n(n_), u(m_ * n_), v(n_ * n_), work(3 * n_) {}
  void solve(const double *a, double *s) {
    int rc = 0;
    BSsingsv(u.data(), m, 1, s, v.data(), n, 1, const_cast<double *>(a), m, m, n, work.data(), &rc);
    if (rc != 0) s[0] = NAN;
    benchmark::DoNotOptimize(u.data());
    benchmark::DoNotOptimize(v.data());
  }
};

struct DenseEigenBdc {
  int m, n;
  Eigen::BDCSVD<Eigen::MatrixXd> svd;
  DenseEigenBdc(int m_, int n_) : m(m_), n(n_), svd(m_, n_, Eigen::ComputeThinU | Eigen::ComputeThinV) {}
  void solve(const double *a, double *s) {
    svd.compute(Eigen::Map<const Eigen::MatrixXd>(a, m, n), Eigen::ComputeThinU | Eigen::ComputeThinV);
    for (int k = 0; k < n; ++k) s[k] = svd.singularValues()(k);
    benchmark::DoNotOptimize(svd.matrixU().data());
    benchmark::DoNotOptimize(svd.matrixV().data());
  }
};

struct DenseLapack {
  int m, n;
  std::vector<double> copy, u, vt, work;
  DenseLapack(int m_, int n_) : m(m_), n(n_), copy(m_ * n_), u(m_ * n_), vt(n_ * n_) {
    double size = 0.0;
    LAPACKE_dgesvd_work(LAPACK_COL_MAJOR, 'S', 'S', m, n, copy.data(), m, nullptr, u.data(), m, vt.data(), n, &size,
                        -1);
    work.resize(static_cast<std::size_t>(size));
  }
  void solve(const double *a, double *s) {
    std::copy(a, a + m * n, copy.begin());  // the routine overwrites its input
    const lapack_int info = LAPACKE_dgesvd_work(LAPACK_COL_MAJOR, 'S', 'S', m, n, copy.data(), m, s, u.data(), m,
                                                vt.data(), n, work.data(), static_cast<lapack_int>(work.size()));
    if (info != 0) s[0] = NAN;
    benchmark::DoNotOptimize(u.data());
    benchmark::DoNotOptimize(vt.data());
  }
};

template <class Solver>
void RegisterDense(int m, int n, const char *contender) {
  const std::string row = std::to_string(m) + "x" + std::to_string(n) + "_with_factors";
  bench::Contender("svd", row, contender, bench::Sizes({10, 100, 1000}), "matrices", [m, n](int count) {
    const auto set = Dense(m, n, count);
    auto solver = std::make_shared<Solver>(m, n);
    auto s = std::make_shared<std::vector<double>>(n);
    double worst = 0;
    for (int p = 0; p < count; ++p) {
      solver->solve(&set->a[static_cast<std::size_t>(p) * m * n], s->data());
      const double *want = &set->reference[static_cast<std::size_t>(p) * n];
      for (int k = 0; k < n; ++k) worst = std::fmax(worst, std::fabs((*s)[k] - want[k]) / want[0]);
      if (std::isnan((*s)[0])) worst = INFINITY;
    }
    return bench::Checked(worst, 1e-9, [set, solver, s, m, n, count] {
      for (int p = 0; p < count; ++p) {
        solver->solve(&set->a[static_cast<std::size_t>(p) * m * n], s->data());
        benchmark::DoNotOptimize(s->data());
      }
    }, "a singular value is off");
  });
}

// A cubic spline fit by least squares: ten rows per unknown of the four uniform B-spline basis values at points
// spread over the spans, three coordinates as right-hand sides, in the band solver's block layout; the reference
// is Eigen's sparse product and SimplicialLDLT on the normal equations (well conditioned here).
struct BandFit {
  static constexpr int kBand = 4, kRhs = 3;
  int unknowns = 0, rows = 0;
  std::vector<int> first, nrows;
  std::vector<double> band, rhs, reference;  // reference: unknowns x kRhs
};

std::shared_ptr<const BandFit> Band(int unknowns) {
  return bench::Once(unknowns, [unknowns] {
    auto f = std::make_shared<BandFit>();
    f->unknowns = unknowns, f->rows = 10 * unknowns;
    const int spans = unknowns - BandFit::kBand + 1;
    std::mt19937 rng(38);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Eigen::Triplet<double>> entries;
    Eigen::MatrixXd dense_rhs(f->rows, BandFit::kRhs);
    for (int s = 0, r = 0; s < spans; ++s) {
      f->first.push_back(s);
      f->nrows.push_back(f->rows / spans + (s < f->rows % spans ? 1 : 0));
      for (int i = 0; i < f->nrows.back(); ++i, ++r) {
        const double t = unit(rng), u = 1.0 - t, x = (s + t) / spans;
        const double basis[4] = {u * u * u / 6, (3 * t * t * t - 6 * t * t + 4) / 6,
                                 (-3 * t * t * t + 3 * t * t + 3 * t + 1) / 6, t * t * t / 6};
        for (int c = 0; c < 4; ++c) {
          f->band.push_back(basis[c]);
          entries.emplace_back(r, s + c, basis[c]);
        }
        const double coords[3] = {std::cos(9 * x), std::sin(7 * x), x * x};
        for (int c = 0; c < 3; ++c) f->rhs.push_back(dense_rhs(r, c) = coords[c]);
      }
    }
    Eigen::SparseMatrix<double> sparse(f->rows, unknowns);
    sparse.setFromTriplets(entries.begin(), entries.end());
    const Eigen::SparseMatrix<double> normal = sparse.transpose() * sparse;
    const Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> ldlt(normal);
    const Eigen::MatrixXd x = ldlt.solve(sparse.transpose() * dense_rhs);
    for (int i = 0; i < unknowns; ++i)
      for (int c = 0; c < 3; ++c) f->reference.push_back(x(i, c));
    return std::shared_ptr<const BandFit>(f);
  });
}

// The largest distance of a solution (unknown i, coordinate c) from the reference, relative to 1 + its size.
template <class Solution>
double BandError(const BandFit &f, Solution x) {
  double worst = 0;
  for (int i = 0; i < f.unknowns; ++i)
    for (int c = 0; c < 3; ++c) {
      const double want = f.reference[3 * i + c], d = std::fabs(x(i, c) - want) / (1.0 + std::fabs(want));
      worst = std::isnan(d) || d > worst ? d : worst;
    }
  return std::isnan(worst) ? INFINITY : worst;
}

const std::vector<int> kBandSizes = bench::Sizes({200, 2000, 20000});

void RegisterBand() {
  // Ours works in place: restoring its input between calls is not timed.
  bench::Contender("band_least_squares", "cubic_10_rows_per_unknown", "ours", kBandSizes, "unknowns", [](int n) {
    const auto f = Band(n);
    auto A = std::make_shared<std::vector<double>>(f->band), B = std::make_shared<std::vector<double>>(f->rhs);
    auto solve = [f, A, B] {
      int rc = 0;
      BSbndhshold(A->data(), static_cast<int>(f->first.size()), f->nrows.data(), BandFit::kBand, f->first.data(),
                  BandFit::kRhs, B->data(), &rc);
      return rc;
    };
    const int rc = solve();
    bench::Ready r = bench::Checked(rc != 0 ? INFINITY : BandError(*f, [&](int i, int c) { return (*B)[3 * i + c]; }),
                                    1e-9, [solve] { benchmark::DoNotOptimize(solve()); }, "the solution is off");
    r.untimed = [f, A, B] { *A = f->band, *B = f->rhs; };
    return r;
  });
  for (const bool lapack : {true, false}) {
    const char *contender = lapack ? "lapack_dpbsv_normal_equations" : "eigen_SimplicialLDLT_normal_equations";
    bench::Contender("band_least_squares", "cubic_10_rows_per_unknown", contender, kBandSizes, "unknowns",
                     [lapack](int n) {
                       const auto f = Band(n);
                       auto eq = std::make_shared<bench::NormalEquations>(n, BandFit::kBand, BandFit::kRhs);
                       auto solve = [f, eq, lapack] {
                         eq->Clear();
                         for (std::size_t b = 0, r = 0; b < f->first.size(); ++b)
                           for (int i = 0; i < f->nrows[b]; ++i, ++r)
                             eq->Add(f->first[b], &f->band[BandFit::kBand * r], &f->rhs[BandFit::kRhs * r]);
                         return lapack ? eq->SolveLapack() : eq->SolveEigen();
                       };
                       const bool ok = solve();
                       return bench::Checked(ok ? BandError(*f, [&](int i, int c) { return eq->X(i, c); }) : INFINITY,
                                             1e-9, [solve] { benchmark::DoNotOptimize(solve()); },
                                             "the solution is off");
                     });
  }
}

const bool registered = [] {
  bench::Describe("polynomial_roots",
                  "All roots of degree-6 polynomials built from known real roots and conjugate pairs; size: "
                  "polynomials. Every root of every polynomial is checked to a relative residual of 1e-9.");
  RegisterRoots("ours", [] { return RootSolver(SolveOurs); });
  RegisterRoots("gsl_poly_complex_solve", GslSolver);
  bench::Describe("svd",
                  "Singular values of random matrices (entries in [-1, 1]): 3x3 and 4x4 values only, 20x20 and 60x40 "
                  "with both factors; size: matrices. Checked against the square roots of the eigenvalues of A^T A "
                  "(Eigen's symmetric solver): to 1e-7 of the largest for the small ones (the Gram route's own "
                  "limit), 1e-9 for the others. `ours_point_path` is the library's three-point road.");
  RegisterSmall(3, "ours", SvdOurs);
  RegisterSmall(3, "ours_point_path", SvdOursPoints);
  RegisterSmall(3, "eigen_JacobiSVD", SvdEigen<3>);
  RegisterSmall(4, "ours", SvdOurs);
  RegisterSmall(4, "eigen_JacobiSVD", SvdEigen<4>);
  RegisterDense<DenseOurs>(20, 20, "ours");
  RegisterDense<DenseEigenBdc>(20, 20, "eigen_BDCSVD");
  RegisterDense<DenseLapack>(20, 20, "lapack_dgesvd");
  RegisterDense<DenseOurs>(60, 40, "ours");
  RegisterDense<DenseEigenBdc>(60, 40, "eigen_BDCSVD");
  RegisterDense<DenseLapack>(60, 40, "lapack_dgesvd");
  bench::Describe("band_least_squares",
                  "A cubic spline fit by least squares, ten rows of four basis values per unknown and three "
                  "right-hand sides; size: unknowns. Every contender starts from the same rows in band layout and "
                  "is timed to the solution: ours by its banded Householder accumulation (restoring the input it "
                  "overwrites is not timed), the peers by forming the normal equations and solving them with "
                  "LAPACK's banded Cholesky or with Eigen's SimplicialLDLT (its pattern analysed beforehand, "
                  "untimed). Checked against a sparse normal-equations solve to 1e-9.");
  RegisterBand();
  return true;
}();

}  // namespace
