// Circular and general conic arcs built from points, and conic arcs lengthened or shortened along their conic. On
// finite points an answer of rc 0 is a sound order-3 record: an arc about a centre keeps its radius, starts at its
// start and ends on the ray to its end, turning counter-clockwise about the normal; an arc through three points
// starts and ends at the outer two and passes the middle one; a conic arc starts and ends at its end points,
// touches both tangent lines there and passes its shoulder point. A conic arc changed by a length keeps its other
// end, changes its length by that much and stays on its conic. Nothing leaks.
#include "bspline/conics.h"
#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "bspline/measure.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

double cross_dot(const double *u, const double *v, const double *n) {
  return (u[1] * v[2] - u[2] * v[1]) * n[0] + (u[2] * v[0] - u[0] * v[2]) * n[1] + (u[0] * v[1] - u[1] * v[0]) * n[2];
}

bool sound_arc(const VOQbsp_curve &cv) {
  return cv.order == 3 && cv.num_poles >= 3 && cv.num_poles <= 9 && BScvcheck(&cv) == 0 &&
         fuzz::finite(cv.poles, 3 * static_cast<std::size_t>(cv.num_poles));
}

// The unit tangent of cv at u, false where it vanishes.
bool unit_tangent(const VOQbsp_curve &cv, double u, double t[3]) {
  double p[3];
  if (!fuzz::point_and_tangent(cv, u, p, t)) return false;
  const double len = std::hypot(t[0], t[1], t[2]);
  if (!(len > 0)) return false;
  for (int j = 0; j < 3; ++j) t[j] /= len;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  double P[5][3];
  for (double *p : P) fuzz::read_point(in, p);
  // In the plane z = 0 unless asked otherwise; the normal of an arc about a centre (P3) stays as read.
  if (!(opts & 0x20))
    for (int i = 0; i < 5; ++i)
      if (i != 3 || (opts & 3) != 0) P[i][2] = 0;
  bool finite = true;
  double scale = 1;
  for (double *p : P) {
    finite = finite && fuzz::finite(p, 3);
    for (int j = 0; j < 3; ++j) scale = std::fmax(scale, std::fabs(p[j]));
  }
  const bool sane = finite && scale <= 1e4;
  const double tol = 1e-9 * scale + 10 * BStoltab[bstol::dist_tol];
  BStraceclear();
  const fuzz::BlockCount blocks;
  fuzz::RoomCurve cv(9, 3, true);
  int rc = 0, type = 0;
  double normal_out[3];
  double x[3], t[3];

  switch (opts & 3) {
    case 0: {  // About a centre: start P0, centre P1, end on the ray to P2, normal P3.
      BSprepcarc(&rc, P[0], P[1], P[2], P[3], &cv.cv, normal_out, &type);
      if (rc == 0 && sane) {
        FUZZ_CHECK(sound_arc(cv.cv) && type == BSCONIC_CIRCLE);
        const double r = fuzz::dist3(P[0], P[1]);
        FUZZ_CHECK(fuzz::point_at(cv.cv, fuzz::range_start(cv.cv), x) && fuzz::dist3(x, P[0]) <= tol);
        FUZZ_CHECK(fuzz::point_at(cv.cv, fuzz::range_end(cv.cv), x));
        double to_end[3], got[3];
        for (int j = 0; j < 3; ++j) to_end[j] = P[2][j] - P[1][j], got[j] = x[j] - P[1][j];
        FUZZ_CHECK(std::fabs(cross_dot(to_end, got, normal_out)) <= tol * fuzz::dist3(P[2], P[1]));
        FUZZ_CHECK(to_end[0] * got[0] + to_end[1] * got[1] + to_end[2] * got[2] > 0);
        for (int s = 0; s <= 16; ++s) {
          const double u = fuzz::range_start(cv.cv) + (fuzz::range_end(cv.cv) - fuzz::range_start(cv.cv)) * s / 16;
          FUZZ_CHECK(fuzz::point_at(cv.cv, u, x) && std::fabs(fuzz::dist3(x, P[1]) - r) <= tol);
          // Counter-clockwise: the tangent turns about the normal the way the radius does.
          double radial[3];
          for (int j = 0; j < 3; ++j) radial[j] = x[j] - P[1][j];
          if (unit_tangent(cv.cv, u, t)) FUZZ_CHECK(cross_dot(radial, t, normal_out) > 0);
        }
      }
      break;
    }
    case 1: {  // Through three points.
      BSarc3pts(&rc, P[0], P[1], P[2], &cv.cv);
      type = rc == 0 ? BSCONIC_CIRCLE : 0;
      if (rc == 0 && sane) {
        FUZZ_CHECK(sound_arc(cv.cv));
        FUZZ_CHECK(fuzz::point_at(cv.cv, fuzz::range_start(cv.cv), x) && fuzz::dist3(x, P[0]) <= tol);
        FUZZ_CHECK(fuzz::point_at(cv.cv, fuzz::range_end(cv.cv), x) && fuzz::dist3(x, P[2]) <= tol);
        FUZZ_CHECK(fuzz::distance_to(cv.cv, P[1]) <= tol);
      }
      break;
    }
    default: {  // 2, 3: a conic from A = P0 to B = P1 tangent to A-TA (TA = P2) and B-TB (TB = P3), through S = P4.
      BSconicgen3(&rc, P[0], P[1], P[2], P[3], P[4], &cv.cv, normal_out, &type);
      if (rc == 0 && sane) {
        FUZZ_CHECK(sound_arc(cv.cv) && type >= BSCONIC_PARABOLA && type <= BSCONIC_CIRCLE);
        FUZZ_CHECK(fuzz::point_at(cv.cv, fuzz::range_start(cv.cv), x) && fuzz::dist3(x, P[0]) <= tol);
        FUZZ_CHECK(fuzz::point_at(cv.cv, fuzz::range_end(cv.cv), x) && fuzz::dist3(x, P[1]) <= tol);
        FUZZ_CHECK(fuzz::distance_to(cv.cv, P[4]) <= tol);
        for (const auto &[u, from, to] : {std::tuple{fuzz::range_start(cv.cv), P[0], P[2]},
                                          std::tuple{fuzz::range_end(cv.cv), P[1], P[3]}}) {
          double dir[3];
          for (int j = 0; j < 3; ++j) dir[j] = to[j] - from[j];
          const double len = std::hypot(dir[0], dir[1], dir[2]);
          if (unit_tangent(cv.cv, u, t))
            FUZZ_CHECK(std::hypot(t[1] * dir[2] - t[2] * dir[1], t[2] * dir[0] - t[0] * dir[2],
                                  t[0] * dir[1] - t[1] * dir[0]) <= 1e-6 * len);
        }
      }
      break;
    }
  }
  if (std::getenv("FUZZ_DUMP")) {
    std::fprintf(stderr, "built: rc %d, type %d\n", rc, type);
    if (rc == 0) fuzz::dump("arc", cv.cv);
  }

  // The arc lengthened or shortened at the end nearer the parameter given.
  if (rc == 0 && (opts & 0x40) && type >= BSCONIC_PARABOLA) {
    const double dist = in.number(), par = in.parameter(fuzz::range_start(cv.cv), fuzz::range_end(cv.cv));
    const double old_len = fuzz::curve_length(cv.cv), entry15 = BStoltab[15];
    VOQbsp_curve *out = nullptr;
    BSallocvoqcv(3, 9, BSTRUE, 0, &out, &rc);
    if (rc == 0) BScncxtdst(static_cast<std::int16_t>(type), &cv.cv, dist, par, &out, &rc);
    const fuzz::HeapCurve own(out);
    if (std::getenv("FUZZ_DUMP")) {
      std::fprintf(stderr, "by length %.17g at %.17g: rc %d, from %.17g\n", dist, par, rc, old_len);
      if (rc == 0) fuzz::dump("changed", *out);
    }
    FUZZ_CHECK(BStoltab[15] == entry15);
    if (rc == 0 && sane && std::fabs(dist) <= 1e3 && !cv.cv.phy_closed && !out->phy_closed) {
      FUZZ_CHECK(sound_arc(*out));
      const bool at_end = par >= 0.5 * (fuzz::range_start(cv.cv) + fuzz::range_end(cv.cv));
      double kept[3];
      FUZZ_CHECK(fuzz::point_at(cv.cv, at_end ? fuzz::range_start(cv.cv) : fuzz::range_end(cv.cv), kept));
      FUZZ_CHECK(fuzz::point_at(*out, at_end ? fuzz::range_start(*out) : fuzz::range_end(*out), x));
      FUZZ_CHECK(fuzz::dist3(kept, x) <= tol);
      FUZZ_CHECK(std::fabs(fuzz::curve_length(*out) - (old_len + dist)) <= std::fabs(dist) / 25 + 4 * entry15 + tol);
      // On the same conic: its geometry from the input holds for the output's samples.
      int ptype = 0;
      double Z[3], a = 0, b = 0, F1[3], F2[3], V1[3], V2[3], M1[3], M2[3];
      BSconicprp(&cv.cv, &ptype, Z, &a, &b, F1, F2, V1, V2, M1, M2, &rc);
      if (rc == 0 && ptype == BSCONIC_CIRCLE)
        for (int s = 0; s <= 16; ++s) {
          FUZZ_CHECK(fuzz::point_at(*out, fuzz::range_start(*out) + (fuzz::range_end(*out) - fuzz::range_start(*out)) * s / 16, x));
          FUZZ_CHECK(std::fabs(fuzz::dist3(x, Z) - a) <= 1e-8 * scale + tol);
        }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
