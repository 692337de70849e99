// The shape of a point set and its least-squares point, line or plane. An answer of rc 0 on finite points is
// finite with unit directions, and the shape named holds: the root-mean-square spread across the plane, line or
// point is within the tolerance that named it.
#include "bspline/core/test_support.h"
#include "bspline/numerics.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

double dot(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

bool unit(const double v[3]) { return std::fabs(dot(v, v) - 1) <= 1e-9; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const int n = static_cast<std::int8_t>(in.byte());
  const int mode = in.byte() % 6;
  const double tol = in.number();
  const bool weighted = in.byte() & 1;
  const int count = n > 0 ? n : 0;
  std::vector<double> pts(3 * static_cast<std::size_t>(count) + 3), weights(static_cast<std::size_t>(count) + 1);
  for (int i = 0; i < 3 * count; ++i) pts[i] = in.number();
  for (int i = 0; i < count; ++i) weights[i] = in.number();
  BStraceclear();
  const bool finite_pts = fuzz::finite(pts.data(), 3 * static_cast<std::size_t>(count));
  bool moderate = finite_pts;
  for (int i = 0; i < 3 * count; ++i) moderate = moderate && std::fabs(pts[i]) <= 1e6;

  int shape = 99, rc = 0;
  double centroid[3], vec[3];
  BSgmprppts3(n, pts.data(), tol, &shape, centroid, vec, &rc);
  if (rc == 0 && moderate) {
    FUZZ_CHECK(fuzz::finite(centroid, 3));
    double across = 0, spread = 0;  // squared distances from the named shape, and from the centroid
    for (int i = 0; i < n; ++i) {
      double d[3] = {pts[3 * i] - centroid[0], pts[3 * i + 1] - centroid[1], pts[3 * i + 2] - centroid[2]};
      spread += dot(d, d);
      if (shape == BSSHAPE_COPLANAR) across += dot(d, vec) * dot(d, vec);
      if (shape == BSSHAPE_COLLINEAR) across += dot(d, d) - dot(d, vec) * dot(d, vec);
      if (shape == BSSHAPE_COINCIDENT) across += dot(d, d);
    }
    if (shape == BSSHAPE_COPLANAR || shape == BSSHAPE_COLLINEAR) FUZZ_CHECK(unit(vec));
    const double room = shape == BSSHAPE_COPLANAR ? 1 : shape == BSSHAPE_COLLINEAR ? 2 : 3;
    if (shape != BSSHAPE_SPATIAL) FUZZ_CHECK(across <= room * n * tol * tol * (1 + 1e-9) + 1e-12 * spread + 1e-300);
  }

  int type = 0;
  double point[3] = {0, 0, 0}, dir[3] = {0, 0, 0}, deviation = -1;
  BSlsqptlnpl(n, pts.data(), weighted ? weights.data() : nullptr, mode, &type, point, dir, &deviation, &rc);
  if (rc == 0 && moderate && (!weighted || fuzz::finite(weights.data(), count))) {
    FUZZ_CHECK(fuzz::finite(point, 3) && std::isfinite(deviation) && deviation >= 0);
    if (type == BSKIND_LINE || type == BSKIND_PLANE) FUZZ_CHECK(unit(dir));
  }
  return 0;
}
