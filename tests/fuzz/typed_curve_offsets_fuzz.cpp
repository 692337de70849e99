// Offsets of typed curves towards a side point. Every call answers one of the documented codes, with a result
// exactly when it succeeded (an empty one for a record of the geometry library or an unknown type) and a member
// map whose entries name a member or a join, within its room. Where no corner is mitred (lines, conics, round
// corners) no sample of the offset of a sane planar curve lies farther than the distance from the curve, and for
// circles and whole ellipses none nearer. A line moves by d towards the side point with its bounds kept, a circle
// keeps its centre, and a complex string offset by less than the distance tolerance is a copy. Nothing is left
// allocated.
#include <climits>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
#include "tests/fuzz/geometry_input.h"

namespace {

using gfuzz::Piece;

double Dot(const GVector& a, const GVector& b) { return GVector::Dot(a, b); }

// A line's offset: the same direction and bounds, the root point moved by d along the perpendicular towards the
// side point.
void CheckLine(const GLine& in, const GLine& out, const GPosition& side, double d, double tol) {
  FUZZ_CHECK(out.direction.x == in.direction.x && out.direction.y == in.direction.y &&
             out.direction.z == in.direction.z && out.start == in.start && out.end == in.end);
  const GVector u(in.direction.x, in.direction.y, in.direction.z);
  const GVector w = side - in.rootPoint;
  const GVector across = w - Dot(w, u) * u;
  const double length = across.Length();
  if (!(length > 1e-6)) return;
  const GVector moved = out.rootPoint - in.rootPoint;
  FUZZ_CHECK(std::fabs(Dot(moved, across) / length - d) <= tol);
  FUZZ_CHECK(std::fabs(Dot(moved, u)) <= tol);
}

// The offset's samples against the curve, where no corner is mitred: none lies farther than |d| from the curve,
// and for circles and whole ellipses (`whole`) none nearer. Elsewhere an offset may lie nearer: an open curve's
// offset may come nearer to another part of the curve than to the part it offsets, which loop removal does not
// look at, and where two offsets cannot be joined the library bridges them with a straight line.
void CheckDistance(const std::vector<Piece>& curve, const std::vector<Piece>& offset, double d, double tol,
                   bool whole) {
  for (const GPosition& p : gfuzz::Spread(offset, 48)) {
    const double nearest = gfuzz::Nearest(curve, p);
    if (!(nearest <= std::fabs(d) + tol) || (whole && !(nearest >= std::fabs(d) - tol))) {
      std::fprintf(stderr, "offset point (%.17g, %.17g, %.17g) at %.17g from the curve, distance %.17g\n", p.x, p.y,
                   p.z, nearest, d);
      FUZZ_CHECK(false);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gfuzz::Reader in(data, size);
  const gfuzz::Untouched before;
  gfuzz::Shape shape;
  const bool planar = in.byte() % 8 != 0;
  GTypedCurve tc = gfuzz::ReadCurve(in, planar, 0, shape);
  const GPosition side = gfuzz::ReadPoint(in, planar);
  const double d = in.number();
  const int corner = in.byte() % 3;
  BStraceclear();

  // Room for 2 n + 1 entries, and one more that must stay as it was.
  const std::uint32_t members =
      tc.type == kCurveComplexString && tc.pCurve ? gfuzz::Rec<GComplexString>(tc).numCurves : 0;
  std::vector<int> map(2 * members + 2, INT_MIN);
  GTypedCurve result{};
  int rc = -1;
  IMTCOffI(&tc, &side, d, corner, &result, map.data(), &rc);
  FUZZ_CHECK(rc == 0 || rc == 1 || rc == 2 || rc == 4 || rc == 5 || rc == 6);
  const bool known = tc.type == kCurveLine || tc.type == kCurveLineString || tc.type == kCurveEllipse ||
                     tc.type == kCurveArc || tc.type == kCurveBspline || tc.type == kCurveComplexString;
  FUZZ_CHECK((result.pCurve != nullptr) == (rc == 0 && known));
  FUZZ_CHECK(map.back() == INT_MIN);
  if (rc == 0 && tc.type != kCurveComplexString) FUZZ_CHECK(map[0] == 0);
  if (rc == 0 && result.pCurve && tc.type == kCurveComplexString) {
    const GComplexString& out = gfuzz::Rec<GComplexString>(result);
    FUZZ_CHECK(out.numCurves >= 1 && out.numCurves <= 2 * members + 1);
    for (std::uint32_t i = 0; i < out.numCurves; ++i)
      FUZZ_CHECK(map[i] < 0 || map[i] < static_cast<int>(members));
  }

  const bool finite = std::isfinite(side.x) && std::isfinite(side.y) && std::fabs(side.x) <= gfuzz::kBound &&
                      std::fabs(side.y) <= gfuzz::kBound;
  if (rc == 0 && result.pCurve && shape.sane && planar && finite && std::fabs(d) >= 1e-3 &&
      std::fabs(d) <= gfuzz::kBound) {
    const double scale = std::fmax(shape.scale, std::fabs(d));
    // The library holds its offset to 0.75 of the tolerance at its check points; between them, most of all by a
    // cusp of the offset, it strays further.
    const double tol = 3 * BStoltab[bstol::offset_tol] + 1e-9 * scale;
    std::vector<Piece> curve, offset;
    gfuzz::PiecesOf(tc, curve);
    gfuzz::PiecesOf(result, offset);
    FUZZ_CHECK(!offset.empty());
    if (tc.type == kCurveLine) {
      CheckLine(gfuzz::Rec<GLine>(tc), gfuzz::Rec<GLine>(result), side, d, 1e-9 * scale);
    } else if (tc.type == kCurveComplexString && d < GetDistanceTolerance()) {
      FUZZ_CHECK(gfuzz::Apart(curve, offset) <= 1e-12 * scale);
    } else {
      const bool conic = tc.type == kCurveEllipse || tc.type == kCurveArc;
      const bool circle = conic && gfuzz::Rec<GEllipse>(tc).minorMajorRatio == 1.0;
      if (circle) {
        FUZZ_CHECK(result.type == tc.type);
        FUZZ_CHECK(gfuzz::Rec<GEllipse>(result).center.IsEqual(gfuzz::Rec<GEllipse>(tc).center));
      }
      // Line strings and B-spline records may have corners, which sharp joins mitre.
      if (conic || corner == 1) CheckDistance(curve, offset, d, tol, circle || tc.type == kCurveEllipse);
    }
  }
  gfuzz::FreeCurve(result);
  gfuzz::FreeCurve(tc);
  FUZZ_CHECK(before.blocks());
  FUZZ_CHECK(before.tolerances());
  return 0;
}
