// Boxes and distance bounds of any record. On a well-formed curve: every pole lies in the pole box, every
// point of the curve in its oriented box, and the squared distance from a query point to any point of the curve
// lies between the bounds answered for it.
#include <cfloat>

#include "bspline/core/test_support.h"
#include "bspline/measure.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// The coordinates of p in the frame of the half-axes (rows), by elimination with partial pivoting in long
// double: a thin box of long, nearly parallel axes is ill-conditioned, and the check must not fail on its own
// rounding. False for a singular frame.
bool box_coordinates(const double axes[9], const double center[3], const double p[3], double t[3]) {
  long double m[3][4];
  for (int r = 0; r < 3; ++r) {
    for (int j = 0; j < 3; ++j) m[r][j] = axes[3 * j + r];
    m[r][3] = static_cast<long double>(p[r]) - center[r];
  }
  for (int c = 0; c < 3; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 3; ++r)
      if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
    if (!(std::fabs(m[pivot][c]) > 1e-300L)) return false;
    for (int j = 0; j < 4; ++j) std::swap(m[c][j], m[pivot][j]);
    for (int r = 0; r < 3; ++r) {
      if (r == c) continue;
      const long double f = m[r][c] / m[c][c];
      for (int j = c; j < 4; ++j) m[r][j] -= f * m[c][j];
    }
  }
  for (int i = 0; i < 3; ++i) t[i] = static_cast<double>(m[i][3] / m[i][i]);
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
  if (std::getenv("FUZZ_DUMP") && boxed)
    std::fprintf(stderr, "box about (%.17g %.17g %.17g), axes %.17g %.17g %.17g / %.17g %.17g %.17g / %.17g %.17g %.17g\n",
                 center[0], center[1], center[2], axes[0], axes[1], axes[2], axes[3], axes[4], axes[5], axes[6], axes[7],
                 axes[8]);
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
    // Held to the range: the last sample's sum may round past a tiny end, where no span is.
    const double u = std::fmin(c->end(), c->start() + (c->end() - c->start()) * s / 32);
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
        if (std::getenv("FUZZ_DUMP") && !(min_sq[i] <= d + slack))
          std::fprintf(stderr, "query %d (%.17g %.17g %.17g): min %.17g, curve point at %.17g %.17g away%s\n", i,
                       query[3 * i], query[3 * i + 1], query[3 * i + 2], min_sq[i], u, d,
                       boxed ? "" : " (no box)");
        FUZZ_CHECK(min_sq[i] <= d + slack);
        FUZZ_CHECK(max_sq[i] == DBL_MAX || d <= max_sq[i] + slack);
      }
  }
  return 0;
}
