// Problems for the least-squares tests: banded observations in the block layout of the band solvers with their
// dense expansion, and block-bidiagonal constraint matrices with theirs.
#pragma once

#include <random>
#include <vector>

#include "tests/bspline/numerics_fixtures.h"

struct BandProblem {
  int nb = 0, nrhs = 0, n = 0, rows = 0;
  std::vector<int> first, nrows;
  Mat A, B;  // rows of nb band entries and of nrhs right-hand sides

  // The rows x n matrix the band stands for.
  Mat dense() const {
    Mat d(static_cast<std::size_t>(rows) * n, 0.0);
    for (int b = 0, r = 0; b < static_cast<int>(first.size()); ++b)
      for (int i = 0; i < nrows[b]; ++i, ++r)
        for (int c = 0; c < nb; ++c) d[static_cast<std::size_t>(r) * n + first[b] + c] = A[r * nb + c];
    return d;
  }
};

// Steps of first columns from 0 (repeated) to nb; blocks of nb to nb + nrhs + 4 rows, so that some retire.
inline BandProblem random_band(std::mt19937 &rng, int nb, int nblocks, int nrhs) {
  BandProblem p;
  p.nb = nb, p.nrhs = nrhs;
  std::uniform_int_distribution<int> step(0, nb), count(nb, nb + nrhs + 4);
  for (int b = 0; b < nblocks; ++b) {
    p.first.push_back(b == 0 ? 0 : p.first.back() + step(rng));
    p.nrows.push_back(count(rng));
    p.rows += p.nrows.back();
  }
  p.n = p.first.back() + nb;
  p.A = random_matrix(rng, p.rows, nb);
  p.B = random_matrix(rng, p.rows, nrhs);
  return p;
}

// K for nj junctions of nc rows on nj + 1 spans of k coefficients, from the blocks C1 and C2 (nj x nc x k).
inline Mat constraint_matrix(int nj, int k, int nc, const Mat &C1, const Mat &C2) {
  const int cols = (nj + 1) * k;
  Mat K(static_cast<std::size_t>(nj) * nc * cols, 0.0);
  for (int j = 0; j < nj; ++j)
    for (int r = 0; r < nc; ++r)
      for (int c = 0; c < k; ++c) {
        const std::size_t row = static_cast<std::size_t>(j * nc + r) * cols, at = (j * nc + r) * k + c;
        K[row + j * k + c] = C1[at];
        K[row + (j + 1) * k + c] = C2[at];
      }
  return K;
}
