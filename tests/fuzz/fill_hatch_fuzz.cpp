// Hatch lines of one family inside a decomposed boundary. A family is refused exactly as documented (a failed
// decomposition, a value that is not finite, a spacing of 0, lines that cannot be counted); otherwise every piece
// lies inside the boundary and on a line of the family (the lines through the origin at the spacing, across
// their direction), a dashed piece runs with its quadrant, lies in the clip box and has a phase no shorter than
// itself, measured from a reference point on its own line, and every point of a family line well inside the
// boundary and the range lies on a piece of that line.
#include <map>

#include "tests/fuzz/geometry_input.h"

namespace {

using gfuzz::Edge;

// Angles that the classification and the quadrants turn on, and their near neighbours.
double ReadAngle(gfuzz::Reader& in) {
  static constexpr double kAngles[] = {0, kFillHalfPi, kFillPi, kFillThreeHalfPi, kFillTwoPi, 0.5, 2.0, 4.0, 5.5};
  const std::uint8_t b = in.byte();
  if (b < 0x80) return kAngles[b % 9] + ((b >> 4) - 4) * 5e-8;
  if (b < 0xC0) return (b - 0x80) / 64.0 * kFillTwoPi;
  return in.number();
}

struct Lines {
  double nx, ny;  // unit normal of the family's lines
  double ox, oy, spacing;
  // The line number of a point: its distance along the normal from the origin's line over the spacing.
  double Number(double x, double y) const { return ((x - ox) * nx + (y - oy) * ny) / spacing; }
};

// The lines run along (cos b, sin b) for b = 2pi - a as rounded, which for an angle of many turns is another
// direction than a's own by the rounding of b; those within the classification's epsilon of an axis are on it.
Lines FamilyLines(const FillHatchFamily& f) {
  const double a = f.angle, b = kFillTwoPi - a, e = kFillAngleEpsilon;
  Lines l{-std::sin(b), std::cos(b), f.originX, f.originY, std::fabs(f.spacing)};
  if (std::fabs(a) < e || std::fabs(a - kFillPi) < e) l.nx = 0, l.ny = 1;
  if (std::fabs(a - kFillHalfPi) < e || std::fabs(a - kFillThreeHalfPi) < e) l.nx = 1, l.ny = 0;
  return l;
}

bool InBox(double x, double y, const GBox2d& box, double tol) {
  return x >= box.low.x - tol && x <= box.high.x + tol && y >= box.low.y - tol && y <= box.high.y + tol;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gfuzz::Reader in(data, size);
  geomplatform::ClearFillFailures();
  gfuzz::Decomposed fill(in);
  const gfuzz::Boundary& boundary = fill.boundary;
  const bool built = fill.built;

  FillHatchFamily family{};
  family.angle = ReadAngle(in);
  const std::uint8_t form = in.byte();
  family.spacing = form & 1 ? in.number() : (in.byte() + 1) / 64.0 * (form & 2 ? -1 : 1);
  family.shift = in.number();
  family.originX = in.number();
  family.originY = in.number();
  family.dashed = form & 4;
  GBox2d clip, range;
  FillBoundaryRange(fill.count(), fill.points(), &range);
  if (form & 8) {
    clip = GBox2d(in.number(), in.number(), in.number(), in.number());
    family.clipBox = &clip;
  }
  if (form & 16) range = GBox2d(in.number(), in.number(), in.number(), in.number());

  FillHatchLines hatch;
  const FillResult hr = hatch.Start(built ? &fill.trap : nullptr, range, family);
  const bool finite = std::isfinite(family.angle) && std::isfinite(family.spacing) && std::isfinite(family.shift) &&
                      std::isfinite(family.originX) && std::isfinite(family.originY) &&
                      gfuzz::Finite(range) && (!family.dashed || !family.clipBox || gfuzz::Finite(clip));
  const bool empty = range.low.x > range.high.x || range.low.y > range.high.y;
  if (!built || !finite || family.spacing == 0) {
    FUZZ_CHECK(hr == kFillInvalidArg);
    return 0;
  }
  const FillLineState lines = FillHatchLines::Stepping(range, family);
  FUZZ_CHECK(hr == (empty || lines.lineCount > 0 ? kFillOk : kFillInvalidArg));
  FUZZ_CHECK(hatch.LineCount() == (empty || hr != kFillOk ? 0 : lines.lineCount));
  if (hr != kFillOk || hatch.LineCount() > 3000 || !(boundary.extent <= 1e4)) return 0;
  const double reach = std::fmax(boundary.extent, std::fmax(std::fabs(family.originX), std::fabs(family.originY)));
  // A spacing far beyond the range puts the lines' ends, on the range grown by the spacing, so far out that
  // their rounding exceeds the boundary: the clipping then has no position of the line left to work with.
  if (!(reach <= 1e6) || !(std::fabs(family.shift) <= 1e6) ||
      !(std::fabs(family.spacing) >= 1e-3) ||
      !(std::fabs(family.spacing) <= 1e6 * reach) ||
      !(std::fabs(range.low.x) + std::fabs(range.low.y) + std::fabs(range.high.x) + std::fabs(range.high.y) <= 1e6))
    return 0;

  const std::vector<Edge> edges = gfuzz::EdgesOf(boundary.points);
  const Lines l = FamilyLines(family);
  const double tol = 1e-4 + 1e-5 * reach;     // the clipping's own
  const double onLine = 1e-7 + 1e-9 * reach;  // rounding of a line's position
  std::map<long long, std::vector<std::pair<GPosition, GPosition>>> byLine;
  std::size_t pieces = 0;
  for (bool found = true; found && pieces < 20000; ++pieces) {
    FillHatchPiece piece{};
    FUZZ_CHECK(hatch.Next(&piece, &found) == kFillOk);
    if (!found) break;
    const GPosition &s = piece.start, &e = piece.end;
    FUZZ_CHECK(s.z == 0 && e.z == 0 && std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(e.x) && std::isfinite(e.y));
    const double k = std::nearbyint(l.Number(s.x, s.y));
    if (!(std::fabs(l.Number(s.x, s.y) - k) * l.spacing <= onLine &&
          std::fabs(l.Number(e.x, e.y) - k) * l.spacing <= onLine)) {
      std::fprintf(stderr, "piece (%.17g, %.17g)-(%.17g, %.17g) off the lines: numbers %.17g, %.17g\n", s.x, s.y,
                   e.x, e.y, l.Number(s.x, s.y), l.Number(e.x, e.y));
      FUZZ_CHECK(false);
    }
    for (int j = 0; j <= 4; ++j) {
      const double x = s.x + (e.x - s.x) * j / 4, y = s.y + (e.y - s.y) * j / 4;
      if (!gfuzz::InsideOrNear(edges, x, y, tol)) {
        std::fprintf(stderr, "piece (%.17g, %.17g)-(%.17g, %.17g) leaves the boundary\n", s.x, s.y, e.x, e.y);
        FUZZ_CHECK(false);
      }
    }
    if (family.dashed) {
      const double q = std::trunc(family.angle * 0.6366197723675814 + kFillAngleEpsilon);
      // The ends are put in the quadrant's order before the clip box cuts them; a piece the box leaves shorter than
      // the tolerance keeps its ends where rounding put them, which may reverse it by an ulp.
      FUZZ_CHECK(!(q == 0 && s.x > e.x + tol) && !(q == 1 && s.y < e.y - tol) && !(q == 2 && s.x < e.x - tol) &&
                 !(q == 3 && s.y > e.y + tol));
      if (family.clipBox) FUZZ_CHECK(InBox(s.x, s.y, clip, tol) && InBox(e.x, e.y, clip, tol));
      // The dashes start at the piece's start, or at the reference point behind it; one that lies on the piece
      // itself is behind or ahead of the start as rounding decides when the piece is all but across x.
      const FillLineState& at = hatch.Line();
      const bool referenceOnPiece = gfuzz::SegmentDistance(at.referenceX, at.referenceY, s.x, s.y, e.x, e.y) <= tol;
      FUZZ_CHECK(piece.phase >= std::hypot(e.x - s.x, e.y - s.y) - tol ||
                 (referenceOnPiece &&
                  std::fabs(piece.phase - std::hypot(e.x - at.referenceX, e.y - at.referenceY)) <= tol));
      // The reference point is stepped line by line: its rounding grows with the lines walked.
      const double walked = (std::fabs(family.shift) + l.spacing) * (std::fabs(k) + hatch.LineCount());
      FUZZ_CHECK(std::fabs(l.Number(at.referenceX, at.referenceY) - k) * l.spacing <= onLine + 1e-12 * walked);
    } else {
      FUZZ_CHECK(piece.phase == 0);
    }
    byLine[static_cast<long long>(k)].push_back({s, e});
  }
  if (pieces >= 20000) return 0;

  // Every line that crosses the boundary, sampled where it lies inside, the range and the clip box.
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (const Edge& e : edges) lo = std::fmin(lo, l.Number(e.x0, e.y0)), hi = std::fmax(hi, l.Number(e.x0, e.y0));
  const bool axisAligned = l.nx == 0 || l.ny == 0;
  for (double k = std::ceil(lo); k <= hi && edges.size() >= 3; ++k) {
    const double bx = l.ox + k * l.spacing * l.nx, by = l.oy + k * l.spacing * l.ny;
    double t0 = HUGE_VAL, t1 = -HUGE_VAL;
    for (const Edge& e : edges) {
      const double t = (e.x0 - bx) * l.ny - (e.y0 - by) * l.nx;
      t0 = std::fmin(t0, t), t1 = std::fmax(t1, t);
    }
    for (int j = 1; j < 24; ++j) {
      const double t = t0 + (t1 - t0) * j / 24, x = bx + t * l.ny, y = by - t * l.nx;
      if (!gfuzz::InsideLoops(edges, x, y) || gfuzz::DistanceToEdges(edges, x, y) <= tol) continue;
      if (!InBox(x, y, range, -tol) || (family.dashed && family.clipBox && !InBox(x, y, clip, -tol))) continue;
      // The general lines stop where they leave the range grown by the spacing; axis lines cross it whole.
      bool covered = false;
      for (const auto& [s, e] : byLine[static_cast<long long>(k)])
        covered = covered || gfuzz::SegmentDistance(x, y, s.x, s.y, e.x, e.y) <= tol;
      if (!covered) {
        std::fprintf(stderr, "(%.17g, %.17g) on line %g (%s) is inside but on no piece\n", x, y, k,
                     axisAligned ? "axis" : "general");
        FUZZ_CHECK(false);
      }
    }
  }
  return 0;
}
