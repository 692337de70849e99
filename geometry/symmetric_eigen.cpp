#include <cfloat>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "geometry/geometry.h"

namespace {

// Small matrices, which is all the geometry layer asks about, are solved without touching the heap.
constexpr std::size_t kLocalWorkspace = 80;
constexpr int kMaxSweeps = 50;

// One plane rotation applied to a pair of elements.
inline void Rotate(double& first, double& second, double s, double tau) {
  const double g = first, h = second;
  first = g - s * (h + g * tau);
  second = h + s * (g - h * tau);
}

}  // namespace

// Cyclic Jacobi rotations on the upper triangle. The diagonal is accumulated separately in b and z during a
// sweep so that rounding in the many small updates does not pile up in the eigenvalues.
void SymmetricEigen(int n, int lda, const double* a, int job, double* d, double* v, int* rc) {
  if (rc) *rc = 0;
  if (n <= 0) return;
  const std::size_t un = static_cast<std::size_t>(n);
  const std::size_t needed = (un + 2) * un;
  double local[kLocalWorkspace];
  std::unique_ptr<double[]> heap;
  double* work = local;
  if (needed > kLocalWorkspace) {
    heap.reset(new (std::nothrow) double[needed]);
    if (!heap) {
      if (rc) *rc = 1;
      return;
    }
    work = heap.get();
  }
  double* const w = work;
  double* const b = w + un * un;
  double* const z = b + un;
  auto W = [w, n](int i, int j) -> double& { return w[static_cast<std::size_t>(i) * n + j]; };
  auto A = [a, lda](int i, int j) { return a[static_cast<std::ptrdiff_t>(i) * lda + j]; };
  auto V = [v, n](int i, int j) -> double& { return v[static_cast<std::size_t>(i) * n + j]; };
  const bool vectors = job == 2;

  for (int i = 0; i < n; ++i)
    for (int j = i; j < n; ++j) W(i, j) = A(i, j);
  if (vectors) {
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) V(i, j) = i == j ? 1.0 : 0.0;
  }
  double sd = 0.0;
  for (int i = 0; i < n; ++i) {
    d[i] = b[i] = A(i, i);
    z[i] = 0.0;
    sd += std::fabs(A(i, i));
  }
  const double tol = (10 * n) * sd * kGeomDivideGuard;

  for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
    double sm = 0.0;
    for (int p = 0; p < n - 1; ++p)
      for (int q = p + 1; q < n; ++q) sm += std::fabs(W(p, q));
    if (sm <= tol) break;
    const double thresh = sweep < 4 ? 0.2 * sm / (n * n) : 1e-50;

    for (int p = 0; p < n - 1; ++p) {
      for (int q = p + 1; q < n; ++q) {
        const double g = 100.0 * std::fabs(W(p, q));
        // Once the sweeps have settled, an element too small to move either diagonal value is dropped.
        if (sweep >= 5 && std::fabs(d[p] + g) == std::fabs(d[p]) && std::fabs(d[q] + g) == std::fabs(d[q])) {
          W(p, q) = 0.0;
          continue;
        }
        if (!(std::fabs(W(p, q)) > thresh)) continue;
        double h = d[q] - d[p];
        double t = 0.0;
        if (std::fabs(h) + g == std::fabs(h)) {
          t = W(p, q) / h;
        } else if (W(p, q) != 0.0) {
          const double theta = 0.5 * h / W(p, q);
          t = 1.0 / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
          if (theta < 0.0) t = -t;
        }
        const double c = 1.0 / std::sqrt(t * t + 1.0);
        const double s = t * c;
        const double tau = s / (1.0 + c);
        h = t * W(p, q);
        z[p] -= h;
        z[q] += h;
        d[p] -= h;
        d[q] += h;
        W(p, q) = 0.0;
        for (int j = 0; j < p; ++j) Rotate(W(j, p), W(j, q), s, tau);
        for (int j = p + 1; j < q; ++j) Rotate(W(p, j), W(j, q), s, tau);
        for (int j = q + 1; j < n; ++j) Rotate(W(p, j), W(q, j), s, tau);
        if (vectors) {
          for (int j = 0; j < n; ++j) Rotate(V(p, j), V(q, j), s, tau);
        }
      }
    }
    for (int i = 0; i < n; ++i) {
      b[i] += z[i];
      d[i] = b[i];
      z[i] = 0.0;
    }
  }

  // Descending; among equal values the later one comes first.
  for (int i = 0; i < n - 1; ++i) {
    int k = i;
    for (int j = i + 1; j < n; ++j)
      if (d[j] >= d[k]) k = j;
    if (k == i) continue;
    std::swap(d[i], d[k]);
    if (vectors) {
      for (int j = 0; j < n; ++j) std::swap(V(i, j), V(k, j));
    }
  }
}

void IsUniformScale(const double* a, int n, int* uniform, double* scale, int* rc) {
  *rc = 0;
  *uniform = 1;
  *scale = DBL_MAX;
  const double r = GetRelativeTolerance();

  double s[9];
  if (n == 3) {
    const GMatrix m(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
    GMatrix mt;
    const GMatrix p = m.Transpose(mt) * m;
    for (int i = 0; i < 9; ++i) s[i] = p.m[i / 3][i % 3];
  } else if (n == 2) {
    const GMatrix2d m(a[0], a[1], a[2], a[3]);
    GMatrix2d mt;
    const GMatrix2d p = m.Transpose(mt) * m;
    for (int i = 0; i < 4; ++i) s[i] = p.m[i / 2][i % 2];
  } else {
    *uniform = 0;
    return;
  }

  double eigenvalues[3] = {};
  double vectors[9];
  SymmetricEigen(n, n, s, 2, eigenvalues, vectors, rc);
  if (*rc != 0) *uniform = 0;

  // A NaN eigenvalue says as little about the scale as a zero one and is treated alike.
  double singular[3];
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    if (!(eigenvalues[i] > 0.0)) {
      *uniform = 0;
      return;
    }
    singular[i] = std::sqrt(eigenvalues[i]);
    sum += singular[i];
  }
  const double mean = sum / n;
  for (int i = 0; i < n; ++i) {
    if (!(std::fabs(singular[i] / mean - 1.0) <= r)) {
      *uniform = 0;
      *scale = mean;
      return;
    }
  }
  *scale = mean;
}
