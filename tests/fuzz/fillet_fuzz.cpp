// Circular fillets between two plane curves of any records. On two well-formed curves an answer of rc 0 is a sound
// arc of the radius about the centre given, from the tangent point on the first curve to the one on the second,
// each touching its curve there: the centre lies the radius away along the curve's normal. The tolerance table
// is the same after the call as before, and nothing leaks.
#include <cstring>

#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "tests/fuzz/fuzz_oracles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  const auto c1 = fuzz::read_curve(in, 12), c2 = fuzz::read_curve(in, 12);
  if (!(opts & 0x20)) fuzz::flatten(*c1), fuzz::flatten(*c2);
  const bool ranges = c1->order() >= 1 && c1->n() >= c1->order() && c2->order() >= 1 && c2->n() >= c2->order();
  // Side points on the curves (or anywhere), the corner beside their middle.
  double side1[3] = {0, 0, 0}, side2[3] = {0, 0, 0}, corner[3];
  if (ranges && !(opts & 0x40)) {
    fuzz::point_at(c1->cv, in.parameter(c1->start(), c1->end()), side1);
    fuzz::point_at(c2->cv, in.parameter(c2->start(), c2->end()), side2);
  } else {
    fuzz::read_point(in, side1);
    fuzz::read_point(in, side2);
  }
  for (int j = 0; j < 3; ++j) corner[j] = 0.5 * (side1[j] + side2[j]) + in.number();
  if (!(opts & 0x20)) corner[2] = 0;
  const double radius = in.number();
  const bool sane = fuzz::sound(*c1) && fuzz::sound(*c2) && std::isfinite(radius) && radius > 1e-3 && radius < 1e3 &&
                    fuzz::finite(side1, 3) && fuzz::finite(side2, 3) && fuzz::finite(corner, 3);
  const double scale = std::fmax(fuzz::scale_of(*c1), fuzz::scale_of(*c2)) + radius;
  BStraceclear();
  const fuzz::BlockCount blocks;
  double table[BSTOL_COUNT];
  std::memcpy(table, BStoltab, sizeof table);

  fuzz::RoomCurve arc(7, 3, true);
  double centre[3] = {-777, -777, -777}, par[2] = {-777, -777};
  int rc = 0;
  BSfillet(&rc, &c1->cv, &c2->cv, side1, side2, corner, &radius, &arc.cv, centre, par);
  if (std::getenv("FUZZ_DUMP")) {
    std::fprintf(stderr, "rc %d: centre %.17g %.17g %.17g, at %.17g and %.17g\n", rc, centre[0], centre[1], centre[2],
                 par[0], par[1]);
    if (rc == 0) fuzz::dump("arc", arc.cv);
  }
  FUZZ_CHECK(std::memcmp(table, BStoltab, sizeof table) == 0);
  if (rc == 0 && sane) {
    const double tol = 10 * BStoltab[bstol::dist_tol] + 1e-9 * scale;
    FUZZ_CHECK(arc.cv.order == 3 && arc.cv.num_poles <= 7 && BScvcheck(&arc.cv) == 0);
    FUZZ_CHECK(par[0] >= c1->start() && par[0] <= c1->end() && par[1] >= c2->start() && par[1] <= c2->end());
    double a[3], b[3], q[3];
    FUZZ_CHECK(fuzz::point_at(arc.cv, fuzz::range_start(arc.cv), a) && fuzz::point_at(arc.cv, fuzz::range_end(arc.cv), b));
    FUZZ_CHECK(fuzz::gap_at(c1->cv, par[0], a) <= tol);
    FUZZ_CHECK(fuzz::gap_at(c2->cv, par[1], b) <= tol);
    for (int s = 0; s <= 16; ++s) {
      FUZZ_CHECK(fuzz::point_at(arc.cv, fuzz::range_start(arc.cv) + (fuzz::range_end(arc.cv) - fuzz::range_start(arc.cv)) * s / 16, q));
      FUZZ_CHECK(std::fabs(fuzz::dist3(q, centre) - radius) <= tol);
    }
    // Touching: the way from each tangent point to the centre is normal to its curve.
    for (const auto &[cv, u] : {std::pair{&c1->cv, par[0]}, std::pair{&c2->cv, par[1]}}) {
      double p[3], t[3];
      if (!fuzz::point_and_tangent(*cv, u, p, t) || fuzz::at_corner(*cv, u)) continue;
      const double speed = std::hypot(t[0], t[1], t[2]);
      if (!(speed * (fuzz::range_end(*cv) - fuzz::range_start(*cv)) > 1e-6 * scale)) continue;
      const double along = ((centre[0] - p[0]) * t[0] + (centre[1] - p[1]) * t[1] + (centre[2] - p[2]) * t[2]) / speed;
      FUZZ_CHECK(std::fabs(along) <= tol);
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
