// The peers of the banded least-squares benchmarks: the normal equations of rows given in band layout, solved by
// LAPACK's banded Cholesky (dpbsv) or by Eigen's SimplicialLDLT on a pattern analysed beforehand; and the basis
// functions of a span by the triangle, the plain form the peers build their rows with.
#pragma once

#include <lapacke.h>

#include <Eigen/SparseCholesky>
#include <algorithm>
#include <type_traits>
#include <vector>

namespace bench {

// The basis functions of degree p at u on span s (t[s] <= u < t[s+1]) by the triangle; dN, when given, their first
// derivatives, from the last level's quotients. p is an int, or a std::integral_constant for a kernel whose order
// is fixed at compile time (its loops then unroll).
template <class Degree>
[[gnu::always_inline]] inline void BasisTriangleOf(Degree p, const double *t, int s, double u, double *N,
                                                   double *dN) {
  double left[16], right[16];
  N[0] = 1;
  for (int j = 1; j <= p; ++j) {
    left[j] = u - t[s + 1 - j];
    right[j] = t[s + j] - u;
  }
  // Degrees 1 .. p - 1, then the last level, whose quotients also give the derivatives.
  for (int j = 1; j < p; ++j) {
    double saved = 0;
    for (int r = 0; r < j; ++r) {
      const double q = N[r] / (right[r + 1] + left[j - r]);
      N[r] = saved + right[r + 1] * q;
      saved = left[j - r] * q;
    }
    N[j] = saved;
  }
  double saved = 0, previous = 0;
  for (int r = 0; r < p; ++r) {
    const double q = N[r] / (right[r + 1] + left[p - r]);
    N[r] = saved + right[r + 1] * q;
    saved = left[p - r] * q;
    if (dN) dN[r] = p * (previous - q);
    previous = q;
  }
  N[p] = saved;
  if (dN) dN[p] = p * previous;
}

// The k basis functions of degree k - 1, the order a run-time value.
inline void BasisTriangle(int k, const double *t, int s, double u, double *N, double *dN = nullptr) {
  BasisTriangleOf(k - 1, t, s, u, N, dN);
}

// The normal equations A^T A x = A^T b of n unknowns, from rows of `width` entries (entry c standing for unknown
// first + c) with nrhs right-hand sides each; the matrix in LAPACK's lower band storage.
class NormalEquations {
 public:
  NormalEquations(int n, int width, int nrhs)
      : n_(n), width_(width), nrhs_(nrhs), band_(static_cast<std::size_t>(width) * n), rhs_(static_cast<std::size_t>(n) * nrhs) {
    // The same band as an Eigen matrix (lower triangle), its pattern analysed once, here.
    std::vector<Eigen::Triplet<double>> entries;
    for (int j = 0; j < n; ++j)
      for (int i = j; i < std::min(n, j + width); ++i) entries.emplace_back(i, j, 1.0);
    matrix_.resize(n, n);
    matrix_.setFromTriplets(entries.begin(), entries.end());
    matrix_.makeCompressed();
    ldlt_.analyzePattern(matrix_);
  }

  void Clear() {
    std::fill(band_.begin(), band_.end(), 0.0);
    std::fill(rhs_.begin(), rhs_.end(), 0.0);
  }

  void Add(int first, const double *row, const double *rhs) {
    for (int c = 0; c < width_; ++c) {
      double *column = &band_[static_cast<std::size_t>(first + c) * width_];
      for (int r = c; r < width_; ++r) column[r - c] += row[c] * row[r];
      for (int k = 0; k < nrhs_; ++k) rhs_[static_cast<std::size_t>(k) * n_ + first + c] += row[c] * rhs[k];
    }
  }

  // LAPACK's banded Cholesky; the solution replaces the right-hand sides.
  bool SolveLapack() {
    return LAPACKE_dpbsv_work(LAPACK_COL_MAJOR, 'L', n_, width_ - 1, nrhs_, band_.data(), width_, rhs_.data(), n_) ==
           0;
  }

  // Eigen's SimplicialLDLT on the pattern analysed beforehand: the band's values copied in, factorised, solved.
  bool SolveEigen() {
    double *values = matrix_.valuePtr();
    for (int j = 0; j < n_; ++j) {
      const int count = std::min(width_, n_ - j);
      std::copy_n(&band_[static_cast<std::size_t>(j) * width_], count, values + matrix_.outerIndexPtr()[j]);
    }
    ldlt_.factorize(matrix_);
    if (ldlt_.info() != Eigen::Success) return false;
    Eigen::Map<Eigen::MatrixXd> b(rhs_.data(), n_, nrhs_);
    const Eigen::MatrixXd x = ldlt_.solve(b);
    b = x;
    return ldlt_.info() == Eigen::Success;
  }

  // Unknown i of right-hand side k, after a solve.
  double X(int i, int k) const { return rhs_[static_cast<std::size_t>(k) * n_ + i]; }

 private:
  int n_, width_, nrhs_;
  std::vector<double> band_, rhs_;
  Eigen::SparseMatrix<double> matrix_;
  Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower> ldlt_;
};

}  // namespace bench
