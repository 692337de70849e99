// Which conic a rational quadratic curve lies on, and whether it is a circular arc: of conic arcs built from points
// and tangents, of arcs through three points, and of any order-3 record. On a well-formed curve an answer of rc 0
// gives geometry every sample of the curve satisfies: a circle's radius about its centre, an ellipse's sum of
// focal distances, a hyperbola's difference of them, a parabola's focus as far as its directrix. A conic built
// as some type is recognised as that type, and a circular arc found by the arc test lies on its circle.
#include "bspline/conics.h"
#include "bspline/core/test_support.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

// How far sample x misses the conic of the given type and geometry (in units of length).
double conic_miss(int type, const double *x, const double *Z, double a, const double *F1, const double *F2,
                  const double *V1) {
  switch (type) {
    case BSCONIC_CIRCLE:
      return std::fabs(fuzz::dist3(x, Z) - a);
    case BSCONIC_ELLIPSE:
      return std::fabs(fuzz::dist3(x, F1) + fuzz::dist3(x, F2) - 2 * a) / 2;
    case BSCONIC_HYPERBOLA: {
      double G[3];
      for (int j = 0; j < 3; ++j) G[j] = 2 * Z[j] - F1[j];
      return std::fabs(std::fabs(fuzz::dist3(x, F1) - fuzz::dist3(x, G)) - 2 * a) / 2;
    }
    case BSCONIC_PARABOLA: {
      // The directrix is as far behind the vertex as the focus is before it.
      double u[3];
      const double f = fuzz::dist3(F1, V1);
      for (int j = 0; j < 3; ++j) u[j] = (F1[j] - V1[j]) / f;
      const double behind = (x[0] - V1[0]) * u[0] + (x[1] - V1[1]) * u[1] + (x[2] - V1[2]) * u[2] + f;
      return std::fabs(fuzz::dist3(x, F1) - behind);
    }
  }
  return std::numeric_limits<double>::infinity();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  // The curve: a conic arc from end points, tangent points and a shoulder point; an arc through three points; or
  // any record.
  std::unique_ptr<TestCurve> raw;
  fuzz::RoomCurve built(9, 3, true);
  VOQbsp_curve *cv = &built.cv;
  int built_type = 0, rc = 0;
  const int how = opts & 3;
  if (how == 0) {
    double A[3], B[3], TA[3], TB[3], S[3], normal[3];
    for (double *p : {A, B, TA, TB, S}) fuzz::read_point(in, p), p[2] = (opts & 0x20) ? p[2] : 0;
    BSconicgen3(&rc, A, B, TA, TB, S, cv, normal, &built_type);
  } else if (how == 1) {
    double P[3][3];
    for (double *p : P) fuzz::read_point(in, p);
    BSarc3pts(&rc, P[0], P[1], P[2], cv);
    built_type = BSCONIC_CIRCLE;
  } else {  // 2, 3
    raw = fuzz::read_curve(in, 9);
    cv = &raw->cv;
  }
  if (rc != 0) return 0;
  cv->num_knots = cv->num_poles + cv->order;
  const bool sane = raw ? fuzz::sound(*raw) : BScvcheck(cv) == 0;
  double scale = 1;
  for (int i = 0; i < cv->num_poles && sane; ++i)
    for (int j = 0; j < 3; ++j) scale = std::fmax(scale, std::fabs(cv->poles[3 * i + j] / (cv->rational ? cv->weights[i] : 1)));
  if (std::getenv("FUZZ_DUMP")) fuzz::dump("conic", *cv);
  BStraceclear();
  const fuzz::BlockCount blocks;

  int type = -1;
  double Z[3], a = -1, b = -1, F1[3], F2[3], V1[3], V2[3], M1[3], M2[3];
  BSconicprp(cv, &type, Z, &a, &b, F1, F2, V1, V2, M1, M2, &rc);
  if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "rc %d: type %d (built %d), a %.17g, b %.17g\n", rc, type, built_type, a, b);
  if (rc == 0 && sane && scale <= 1e4) {
    FUZZ_CHECK(type >= BSCONIC_PARABOLA && type <= BSCONIC_CIRCLE);
    // Circle against ellipse is ill-conditioned on a flat arc of a huge circle: axes that differ by less than
    // 1e-6 of their length may go either way.
    const bool round = (type == BSCONIC_ELLIPSE || type == BSCONIC_CIRCLE) && std::fabs(a - b) <= 1e-6 * a;
    if (built_type)
      FUZZ_CHECK(type == built_type || (built_type == BSCONIC_ELLIPSE && type == BSCONIC_CIRCLE) ||
                 (built_type == BSCONIC_CIRCLE && round));
    // The geometry of the longest span holds for every span of a curve on one conic: the built ones are.
    const int spans = built_type ? cv->num_poles - 2 : 1;
    const double lo = fuzz::range_start(*cv), hi = built_type ? fuzz::range_end(*cv) : cv->knots[cv->order];
    const double tol = 1e-8 * scale + BStoltab[bstol::dist_tol];
    if (built_type || cv->num_poles == 3)
      for (int s = 0; s <= 8 * spans; ++s) {
        double x[3];
        FUZZ_CHECK(fuzz::point_at(*cv, lo + (hi - lo) * s / (8 * spans), x));
        FUZZ_CHECK(conic_miss(type, x, Z, a, F1, F2, V1) <= tol);
      }
  }

  // The arc test: a circular arc of the curve lies on the circle found.
  std::uint16_t is_arc = 9;
  double centre[3], radius = -1;
  fuzz::RoomCurve arc(7, 3, true);
  BStstcvfarc(cv, &is_arc, centre, &radius, &arc.cv, &rc);
  if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "arc test: rc %d, %d, radius %.17g\n", rc, is_arc, radius);
  if (rc == 0 && sane && scale <= 1e4) {
    FUZZ_CHECK(is_arc <= 2);
    if (built_type == BSCONIC_CIRCLE) FUZZ_CHECK(is_arc >= 1);
    if (is_arc) {
      const double tol = 1e-8 * scale + 10 * BStoltab[bstol::dist_tol];
      for (int s = 0; s <= 16; ++s) {
        double x[3];
        FUZZ_CHECK(fuzz::point_at(*cv, fuzz::range_start(*cv) + (fuzz::range_end(*cv) - fuzz::range_start(*cv)) * s / 16, x));
        FUZZ_CHECK(std::fabs(fuzz::dist3(x, centre) - radius) <= tol);
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
