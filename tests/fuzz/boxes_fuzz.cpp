// Boxes and distance bounds of any record. On a well-formed curve: every pole lies in the pole box, every
// point of the curve in its oriented box, and the squared distance from a query point to any point of the curve
// lies between the bounds answered for it.
#include <cfloat>

#include "bspline/measure.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// The coordinates of p in the frame of the half-axes (rows), by Cramer's rule; false for a singular frame.
bool box_coordinates(const double axes[9], const double center[3], const double p[3], double t[3]) {
  const double *A = axes, *B = axes + 3, *C = axes + 6;
  auto det = [](const double *x, const double *y, const double *z) {
    return x[0] * (y[1] * z[2] - y[2] * z[1]) - x[1] * (y[0] * z[2] - y[2] * z[0]) + x[2] * (y[0] * z[1] - y[1] * z[0]);
  };
  const double d = det(A, B, C);
  if (!(std::fabs(d) > 1e-12)) return false;
  const double r[3] = {p[0] - center[0], p[1] - center[1], p[2] - center[2]};
  // r = t0 A + t1 B + t2 C
  double m[3][3], col[3];
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) {
      m[0][i] = A[i];
      m[1][i] = B[i];
      m[2][i] = C[i];
    }
    for (int i = 0; i < 3; ++i) col[i] = r[i];
    for (int i = 0; i < 3; ++i) m[j][i] = col[i];
    t[j] = det(m[0], m[1], m[2]) / d;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const auto c = fuzz::read_curve(in, 48);
  const bool sane = fuzz::well_formed(*c);
  const int k = c->order(), n = c->n();
  double query[3 * 4];
  for (double &x : query) x = in.number();
  BStraceclear();
  const double tol = 1e-9 * fuzz::scale_of(*c);

  double lo[3], hi[3];
  int rc = 0;
  BSpolesbox(&rc, &n, c->cv.poles, c->cv.weights, lo, hi);
  if (rc == 0 && sane)
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < 3; ++j) FUZZ_CHECK(c->pole(i, j) >= lo[j] - tol && c->pole(i, j) <= hi[j] + tol);

  // Coordinate blocks, the weights after them.
  const bool rational = !c->weights.empty();
  std::vector<double> blocks(static_cast<std::size_t>(3 + rational) * n);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < 3; ++j) blocks[j * n + i] = c->poles[3 * i + j];
    if (rational) blocks[3 * n + i] = c->weights[i];
  }
  double center[3], axes[9];
  BSoblboxbsc(k, n, c->knots.data(), 3, rational, blocks.data(), center, axes, &rc);
  const bool boxed = rc == 0;
  if (boxed && sane) FUZZ_CHECK(fuzz::finite(center, 3) && fuzz::finite(axes, 9));

  // Queries in coordinate blocks, all active.
  double qblocks[12];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) qblocks[j * 4 + i] = query[3 * i + j];
  unsigned char active[4] = {1, 1, 1, 1};
  double min_sq[4], max_sq[4];
  BSminmaxbsc(k, n, 3, rational, c->knots.data(), blocks.data(), 4, qblocks, active, min_sq, max_sq, &rc);
  const bool bounded = rc == 0;
  if (!sane) return 0;
  const bool queries_sane = fuzz::finite(query, 12);

  for (int s = 0; s <= 32; ++s) {
    const double u = c->start() + (c->end() - c->start()) * s / 32;
    double p[3];
    ref_point(*c, u, p);
    double t[3];
    if (boxed && box_coordinates(axes, center, p, t))
      for (int i = 0; i < 3; ++i) {
        // A thin box gets the curve's rounding as slack across it.
        const double len = std::sqrt(axes[3 * i] * axes[3 * i] + axes[3 * i + 1] * axes[3 * i + 1] +
                                     axes[3 * i + 2] * axes[3 * i + 2]);
        FUZZ_CHECK(std::fabs(t[i]) <= 1 + 1e-9 + tol / len);
      }
    if (bounded && queries_sane)
      for (int i = 0; i < 4; ++i) {
        if (!active[i]) continue;
        double d = 0;
        for (int j = 0; j < 3; ++j) d += (p[j] - query[3 * i + j]) * (p[j] - query[3 * i + j]);
        const double slack = 1e-9 * (d + fuzz::scale_of(*c) * fuzz::scale_of(*c));
        FUZZ_CHECK(min_sq[i] <= d + slack);
        FUZZ_CHECK(max_sq[i] == DBL_MAX || d <= max_sq[i] + slack);
      }
  }
  return 0;
}
