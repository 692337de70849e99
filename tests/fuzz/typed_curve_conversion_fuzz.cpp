// Typed curves to the B-spline library's curve and back. Every record converts or is refused with one of the
// documented codes and nothing handed out; a sane record converts, to a curve of its shape (each held within
// tolerance of the other, the same ends). The curve comes back as the type asked: a B-spline record through the
// same points, a line string of its poles, the line between its end poles, or, for a conic, a record on which
// the curve lies; a conic comes back as the conic it was made from. Nothing is left allocated, and the
// tolerances narrowed for small conics are put back.
#include "bspline/core/test_support.h"
#include "tests/fuzz/geometry_input.h"

namespace {

using gfuzz::Piece;

bool Near(const GPosition& a, const GPosition& b, double tol) { return GPosition::Distance(a, b) <= tol; }

// The unweighted pole i of a library curve.
GPosition Pole(const VOQbsp_curve& cv, int i) {
  const double w = cv.rational ? cv.weights[i] : 1.0;
  return {cv.poles[3 * i] / w, cv.poles[3 * i + 1] / w, cv.poles[3 * i + 2] / w};
}

// The record IMIcvGTC made from cv, held to cv by what its type promises.
void CheckBack(const VOQbsp_curve& cv, const std::vector<Piece>& converted, const GTypedCurve& in,
               const GTypedCurve& back, double scale) {
  const double exact = 1e-9 * scale, conic = 1e-5 + 1e-7 * scale;
  std::vector<Piece> pieces;
  gfuzz::PiecesOf(back, pieces);
  switch (back.type) {
    case kCurveBspline:
      FUZZ_CHECK(gfuzz::Apart(pieces, converted) <= exact);
      break;
    case kCurveLineString: {
      const GLineString& ls = gfuzz::Rec<GLineString>(back);
      FUZZ_CHECK(ls.numPoints == static_cast<std::uint32_t>(cv.num_poles));
      for (int i = 0; i < cv.num_poles; ++i) FUZZ_CHECK(Near(ls.pPoints[i], Pole(cv, i), exact));
      break;
    }
    case kCurveLine:
      FUZZ_CHECK(Near(pieces.front().at(pieces.front().a), Pole(cv, 0), exact));
      FUZZ_CHECK(Near(pieces.back().at(pieces.back().b), Pole(cv, cv.num_poles - 1), exact));
      break;
    case kCurveEllipse:
      // The whole ellipse the curve lies on; it is the curve itself when the curve was a whole ellipse.
      for (const GPosition& p : gfuzz::Samples(converted, 7)) FUZZ_CHECK(gfuzz::Nearest(pieces, p) <= conic);
      if (in.type == kCurveEllipse) FUZZ_CHECK(gfuzz::Apart(pieces, converted) <= conic);
      break;
    case kCurveArc:
      FUZZ_CHECK(gfuzz::Apart(pieces, converted) <= conic);
      FUZZ_CHECK(Near(gfuzz::StartOf(pieces), gfuzz::StartOf(converted), conic));
      FUZZ_CHECK(Near(gfuzz::EndOf(pieces), gfuzz::EndOf(converted), conic));
      break;
    default:
      FUZZ_CHECK(false);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gfuzz::Reader in(data, size);
  const gfuzz::Untouched before;
  gfuzz::Shape shape;
  const bool planar = in.byte() & 1;
  GTypedCurve tc = gfuzz::ReadCurve(in, planar, 0, shape);
  const std::uint8_t asked = in.byte();
  BStraceclear();

  VOQbsp_curve* cv = nullptr;
  int rc = -1;
  IMGTCIcv(&tc, &cv, &rc);
  FUZZ_CHECK((rc == 0) == (cv != nullptr));
  FUZZ_CHECK(rc == 0 || rc == 1 || rc == 2 || rc == 5 || rc == 6);
  if (shape.sane && rc != 0) {
    std::fprintf(stderr, "a sane record of type %d refused with %d\n", tc.type, rc);
    FUZZ_CHECK(false);
  }
  FUZZ_CHECK(before.tolerances());

  if (cv) {
    std::vector<Piece> converted;
    gfuzz::PiecesOf(cv, converted);
    if (shape.sane) {
      const double tol = 1e-5 + 1e-9 * shape.scale;
      std::vector<Piece> typed;
      gfuzz::PiecesOf(tc, typed);
      FUZZ_CHECK(!converted.empty());
      FUZZ_CHECK(Near(gfuzz::StartOf(typed), gfuzz::StartOf(converted), tol));
      FUZZ_CHECK(Near(gfuzz::EndOf(typed), gfuzz::EndOf(converted), tol));
      FUZZ_CHECK(gfuzz::Apart(typed, converted) <= tol);
    }

    // Mostly the record's own type, to come back to what it was; otherwise any, an unknown code included.
    static constexpr std::uint8_t kTypes[] = {kCurveLine, kCurveLineString, kCurveEllipse,
                                              kCurveArc,  kCurveBspline,    99};
    const bool own = asked < 128 && tc.type != kCurveComplexString;
    const std::uint8_t type = own ? tc.type : kTypes[asked % 6];
    GTypedCurve back{};
    int brc = -1;
    IMIcvGTC(cv, type, &back, &brc);
    FUZZ_CHECK((brc == 0) == (back.pCurve != nullptr));
    FUZZ_CHECK(back.type == (type == 99 ? kCurveBspline : type));
    FUZZ_CHECK(brc == 0 || brc == 1 || brc == 2 || brc == 4 || brc == 5 || brc == 6 || brc == 10 || brc == 11);
    // What was made from a sane record comes back; a line string of coincident points comes back as its two.
    if (shape.sane && own) FUZZ_CHECK(brc == 0);
    if (brc == 0 && shape.sane && !converted.empty()) CheckBack(*cv, converted, tc, back, shape.scale);
    gfuzz::FreeCurve(back);
    FUZZ_CHECK(before.tolerances());
  }
  gfuzz::FreeCurve(cv);
  gfuzz::FreeCurve(tc);
  FUZZ_CHECK(before.blocks());
  FUZZ_CHECK(before.tolerances());
  return 0;
}
