// The numerics beside their peers: all roots of 10^5 degree-6 polynomials (ours, GSL's companion-matrix solver),
// the singular value decomposition of 10^5 3x3 and 4x4 matrices (ours, Eigen's JacobiSVD) and of 10^4 20x20 and
// 60x40 matrices with both factors (ours, Eigen's BDCSVD, LAPACK's dgesvd), and a banded least-squares fit of
// 20,000 rows on 2,000 unknowns (ours, Eigen's SparseQR). Every contender's answers are checked on the whole data
// set before it is timed; a wrong contender is reported, not timed.
#include <benchmark/benchmark.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_poly.h>
#include <lapacke.h>

#include <Eigen/Dense>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseQR>
#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include "bspline/numerics.h"
#include "tests/bspline/polynomials.h"

namespace {

constexpr int kCount = 100000;
constexpr int kDegree = 6;

// Polynomials from known, reasonably separated roots (real ones and conjugate pairs), ascending coefficients.
const std::vector<double> &polynomials() {
  static const std::vector<double> data = [] {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> mag(0.5, 4.0), ang(0.3, 2.8), coin(0, 1);
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(kCount) * (kDegree + 1));
    for (int p = 0; p < kCount; ++p) {
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
      out.insert(out.end(), c.begin(), c.end());
    }
    return out;
  }();
  return data;
}

// Row-major m x m matrices with entries in [-1, 1].
const std::vector<double> &matrices(int m) {
  static std::vector<double> data[5];
  if (data[m].empty()) {
    std::mt19937 rng(77 + m);
    std::uniform_real_distribution<double> d(-1, 1);
    data[m].resize(static_cast<std::size_t>(kCount) * m * m);
    for (double &x : data[m]) x = d(rng);
  }
  return data[m];
}

// Roots as interleaved (re, im) pairs: each satisfies its polynomial to a small backward error (a few pairs of
// close roots keep errors near 1e-11 in every solver).
bool roots_ok(const std::vector<double> &roots, std::string *why) {
  const auto &c = polynomials();
  for (int p = 0; p < kCount; ++p)
    for (int j = 0; j < kDegree; ++j) {
      const double *z = &roots[(static_cast<std::size_t>(p) * kDegree + j) * 2];
      const double *poly = &c[static_cast<std::size_t>(p) * (kDegree + 1)];
      if (!(relative_residual(poly, kDegree, cplx(z[0], z[1])) < 1e-9)) {
        *why = "polynomial " + std::to_string(p) + " root " + std::to_string(j) + " has a large residual";
        return false;
      }
    }
  return true;
}

void solve_ours(std::vector<double> *out) {
  const auto &c = polynomials();
  const std::int16_t degree = kDegree;
  double re[kDegree], im[kDegree];
  for (int p = 0; p < kCount; ++p) {
    int rc = 0;
    BSrpoly(&rc, &c[static_cast<std::size_t>(p) * (kDegree + 1)], &degree, re, im);
    if (out)
      for (int j = 0; j < kDegree; ++j) {
        (*out)[(static_cast<std::size_t>(p) * kDegree + j) * 2] = rc == 0 ? re[j] : NAN;
        (*out)[(static_cast<std::size_t>(p) * kDegree + j) * 2 + 1] = rc == 0 ? im[j] : NAN;
      }
    benchmark::DoNotOptimize(re);
    benchmark::DoNotOptimize(im);
  }
}

void solve_gsl(gsl_poly_complex_workspace *w, std::vector<double> *out) {
  const auto &c = polynomials();
  double z[2 * kDegree];
  for (int p = 0; p < kCount; ++p) {
    const int status = gsl_poly_complex_solve(&c[static_cast<std::size_t>(p) * (kDegree + 1)], kDegree + 1, w, z);
    if (out)
      for (int j = 0; j < 2 * kDegree; ++j)
        (*out)[static_cast<std::size_t>(p) * kDegree * 2 + j] = status == GSL_SUCCESS ? z[j] : NAN;
    benchmark::DoNotOptimize(z);
  }
}

void BM_Roots_Degree6_Ours(benchmark::State &state) {
  std::vector<double> roots(static_cast<std::size_t>(kCount) * kDegree * 2);
  solve_ours(&roots);
  std::string why;
  if (!roots_ok(roots, &why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  for (auto _ : state) solve_ours(nullptr);
  state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_Roots_Degree6_GSL(benchmark::State &state) {
  gsl_poly_complex_workspace *w = gsl_poly_complex_workspace_alloc(kDegree + 1);
  std::vector<double> roots(static_cast<std::size_t>(kCount) * kDegree * 2);
  solve_gsl(w, &roots);
  std::string why;
  if (!roots_ok(roots, &why)) {
    state.SkipWithError(why.c_str());
  } else {
    for (auto _ : state) solve_gsl(w, nullptr);
    state.SetItemsProcessed(state.iterations() * kCount);
  }
  gsl_poly_complex_workspace_free(w);
}

// Singular values of every matrix, decreasing, m per matrix.
using SvdFn = void (*)(int m, const double *a, double *s);

void svd_ours(int m, const double *a, double *s) {
  double u[16], v[16];
  int rc = 0;
  BSsingval(m, m, a, u, s, v, &rc);
  if (rc != 0)
    for (int k = 0; k < m; ++k) s[k] = NAN;
}

// The library's three-dimensional path: the matrix's rows taken as three points.
void svd_ours_points(int m, const double *a, double *s) {
  double rows[9], v[9];
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) rows[k * 3 + i] = a[3 * i + k];
  int rc = 0;
  BSsngvald3v(3, rows, s, v, &rc);
  if (rc != 0)
    for (int k = 0; k < 3; ++k) s[k] = NAN;
}

template <int M>
void svd_eigen(int, const double *a, double *s) {
  const Eigen::Map<const Eigen::Matrix<double, M, M, Eigen::RowMajor>> A(a);
  const Eigen::JacobiSVD<Eigen::Matrix<double, M, M>> svd(A, Eigen::ComputeFullU | Eigen::ComputeFullV);
  for (int k = 0; k < M; ++k) s[k] = svd.singularValues()(k);
}

// Reference values: the square roots of the eigenvalues of A^T A from Eigen's symmetric solver, which shares
// nothing with either contender.
bool svd_ok(int m, SvdFn fn, std::string *why) {
  const auto &a = matrices(m);
  double s[4];
  for (int p = 0; p < kCount; ++p) {
    const double *mat = &a[static_cast<std::size_t>(p) * m * m];
    fn(m, mat, s);
    Eigen::MatrixXd A(m, m);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < m; ++j) A(i, j) = mat[i * m + j];
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> es(A.transpose() * A, Eigen::EigenvaluesOnly);
    for (int k = 0; k < m; ++k) {
      const double want = std::sqrt(std::max(es.eigenvalues()(m - 1 - k), 0.0));
      // Small values are known to the Gram route only to sqrt(eps) of the largest.
      if (!(std::fabs(s[k] - want) < 1e-7 * (1.0 + std::sqrt(es.eigenvalues()(m - 1))))) {
        *why = "matrix " + std::to_string(p) + " value " + std::to_string(k) + " is off";
        return false;
      }
    }
  }
  return true;
}

void run_svd(benchmark::State &state, int m, SvdFn fn) {
  std::string why;
  if (!svd_ok(m, fn, &why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  const auto &a = matrices(m);
  double s[4];
  for (auto _ : state)
    for (int p = 0; p < kCount; ++p) {
      fn(m, &a[static_cast<std::size_t>(p) * m * m], s);
      benchmark::DoNotOptimize(s);
    }
  state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_Svd3x3_Ours(benchmark::State &state) { run_svd(state, 3, svd_ours); }
void BM_Svd3x3_OursPointPath(benchmark::State &state) { run_svd(state, 3, svd_ours_points); }
void BM_Svd3x3_EigenJacobi(benchmark::State &state) { run_svd(state, 3, svd_eigen<3>); }
void BM_Svd4x4_Ours(benchmark::State &state) { run_svd(state, 4, svd_ours); }
void BM_Svd4x4_EigenJacobi(benchmark::State &state) { run_svd(state, 4, svd_eigen<4>); }

// Decompositions with both factors of 10^4 column-major m x n matrices, entries in [-1, 1]; the reference values
// are the square roots of the eigenvalues of A^T A from Eigen's symmetric solver, as above. Under the sanitizers
// (CTest's run, which only shows that every contender still answers right) a few hundred do.
#ifdef __SANITIZE_ADDRESS__
constexpr int kDense = 200;
#else
constexpr int kDense = 10000;
#endif

struct DenseSet {
  std::vector<double> a, reference;  // kDense blocks of m n, and of n (decreasing)
};

const DenseSet &dense_set(int m, int n) {
  static DenseSet sets[2];
  DenseSet &set = sets[m == 20 ? 0 : 1];
  if (set.a.empty()) {
    std::mt19937 rng(91 + m + n);
    std::uniform_real_distribution<double> d(-1, 1);
    set.a.resize(static_cast<std::size_t>(kDense) * m * n);
    for (double &x : set.a) x = d(rng);
    for (int p = 0; p < kDense; ++p) {
      const Eigen::Map<const Eigen::MatrixXd> A(&set.a[static_cast<std::size_t>(p) * m * n], m, n);
      const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> es(A.transpose() * A, Eigen::EigenvaluesOnly);
      for (int k = 0; k < n; ++k) set.reference.push_back(std::sqrt(std::max(es.eigenvalues()(n - 1 - k), 0.0)));
    }
  }
  return set;
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

template <class Contender>
void run_dense(benchmark::State &state, int m, int n) {
  const DenseSet &set = dense_set(m, n);
  Contender c(m, n);
  std::vector<double> s(n);
  for (int p = 0; p < kDense; ++p) {
    c.solve(&set.a[static_cast<std::size_t>(p) * m * n], s.data());
    const double *want = &set.reference[static_cast<std::size_t>(p) * n];
    for (int k = 0; k < n; ++k)
      if (!(std::fabs(s[k] - want[k]) < 1e-9 * want[0])) {
        const std::string why = "matrix " + std::to_string(p) + " value " + std::to_string(k) + " is off";
        state.SkipWithError(why.c_str());
        return;
      }
  }
  for (auto _ : state)
    for (int p = 0; p < kDense; ++p) {
      c.solve(&set.a[static_cast<std::size_t>(p) * m * n], s.data());
      benchmark::DoNotOptimize(s.data());
    }
  state.SetItemsProcessed(state.iterations() * kDense);
}

void BM_Svd20x20_Ours(benchmark::State &state) { run_dense<DenseOurs>(state, 20, 20); }
void BM_Svd20x20_EigenBDCSVD(benchmark::State &state) { run_dense<DenseEigenBdc>(state, 20, 20); }
void BM_Svd20x20_LapackDgesvd(benchmark::State &state) { run_dense<DenseLapack>(state, 20, 20); }
void BM_Svd60x40_Ours(benchmark::State &state) { run_dense<DenseOurs>(state, 60, 40); }
void BM_Svd60x40_EigenBDCSVD(benchmark::State &state) { run_dense<DenseEigenBdc>(state, 60, 40); }
void BM_Svd60x40_LapackDgesvd(benchmark::State &state) { run_dense<DenseLapack>(state, 60, 40); }

// A cubic spline fit by least squares: 20,000 rows of the four uniform B-spline basis values at points spread
// over 1,997 spans (2,000 unknowns), three coordinates as right-hand sides, in the band solver's block layout.
struct BandFit {
  static constexpr int kRows = 20000, kUnknowns = 2000, kBand = 4, kRhs = 3;
  std::vector<int> first, nrows;
  std::vector<double> band, rhs, reference;  // reference: kUnknowns x kRhs
  Eigen::SparseMatrix<double> sparse;
  Eigen::MatrixXd dense_rhs;
};

const BandFit &band_fit() {
  static const BandFit fit = [] {
    BandFit f;
    const int spans = BandFit::kUnknowns - BandFit::kBand + 1;
    std::mt19937 rng(38);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Eigen::Triplet<double>> entries;
    f.dense_rhs.resize(BandFit::kRows, BandFit::kRhs);
    for (int s = 0, r = 0; s < spans; ++s) {
      f.first.push_back(s);
      f.nrows.push_back(BandFit::kRows / spans + (s < BandFit::kRows % spans ? 1 : 0));
      for (int i = 0; i < f.nrows.back(); ++i, ++r) {
        const double t = unit(rng), u = 1.0 - t, x = (s + t) / spans;
        const double basis[4] = {u * u * u / 6, (3 * t * t * t - 6 * t * t + 4) / 6,
                                 (-3 * t * t * t + 3 * t * t + 3 * t + 1) / 6, t * t * t / 6};
        for (int c = 0; c < 4; ++c) {
          f.band.push_back(basis[c]);
          entries.emplace_back(r, s + c, basis[c]);
        }
        const double coords[3] = {std::cos(9 * x), std::sin(7 * x), x * x};
        for (int c = 0; c < 3; ++c) f.rhs.push_back(f.dense_rhs(r, c) = coords[c]);
      }
    }
    f.sparse.resize(BandFit::kRows, BandFit::kUnknowns);
    f.sparse.setFromTriplets(entries.begin(), entries.end());
    f.sparse.makeCompressed();
    // The normal equations by sparse Cholesky: well conditioned here, and sharing nothing with either QR.
    const Eigen::SparseMatrix<double> normal = f.sparse.transpose() * f.sparse;
    const Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> ldlt(normal);
    const Eigen::MatrixXd x = ldlt.solve(f.sparse.transpose() * f.dense_rhs);
    for (int i = 0; i < BandFit::kUnknowns; ++i)
      for (int c = 0; c < 3; ++c) f.reference.push_back(x(i, c));
    return f;
  }();
  return fit;
}

bool band_solution_ok(const double *x, std::string *why) {
  const auto &ref = band_fit().reference;
  for (std::size_t i = 0; i < ref.size(); ++i)
    if (!(std::fabs(x[i] - ref[i]) < 1e-9 * (1.0 + std::fabs(ref[i])))) {
      *why = "unknown " + std::to_string(i / 3) + " is off";
      return false;
    }
  return true;
}

void BM_BandLeastSquares_Ours(benchmark::State &state) {
  const BandFit &f = band_fit();
  std::vector<double> A, B;
  auto solve = [&] {
    int rc = 0;
    BSbndhshold(A.data(), static_cast<int>(f.first.size()), f.nrows.data(), BandFit::kBand, f.first.data(),
                BandFit::kRhs, B.data(), &rc);
    return rc;
  };
  A = f.band, B = f.rhs;
  std::string why = "rc " + std::to_string(solve());
  if (B.size() != f.rhs.size() || !band_solution_ok(B.data(), &why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();  // the solver works in place
    A = f.band, B = f.rhs;
    state.ResumeTiming();
    benchmark::DoNotOptimize(solve());
  }
  state.SetItemsProcessed(state.iterations() * BandFit::kRows);
}

void BM_BandLeastSquares_EigenSparseQR(benchmark::State &state) {
  const BandFit &f = band_fit();
  auto solve = [&] {
    Eigen::SparseQR<Eigen::SparseMatrix<double>, Eigen::COLAMDOrdering<int>> qr(f.sparse);
    return Eigen::MatrixXd(qr.solve(f.dense_rhs));
  };
  const Eigen::MatrixXd x = solve();
  std::vector<double> flat;
  for (int i = 0; i < x.rows(); ++i)
    for (int c = 0; c < 3; ++c) flat.push_back(x(i, c));
  std::string why;
  if (!band_solution_ok(flat.data(), &why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(solve());
  state.SetItemsProcessed(state.iterations() * BandFit::kRows);
}

}  // namespace

BENCHMARK(BM_Roots_Degree6_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Roots_Degree6_GSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd3x3_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd3x3_OursPointPath)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd3x3_EigenJacobi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd4x4_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd4x4_EigenJacobi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd20x20_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd20x20_EigenBDCSVD)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd20x20_LapackDgesvd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd60x40_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd60x40_EigenBDCSVD)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svd60x40_LapackDgesvd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BandLeastSquares_Ours)->Unit(benchmark::kMillisecond);
// One timed solve: Eigen's Householder vectors fill in on a tall band, so a solve takes seconds.
BENCHMARK(BM_BandLeastSquares_EigenSparseQR)->Unit(benchmark::kMillisecond)->Iterations(1);
