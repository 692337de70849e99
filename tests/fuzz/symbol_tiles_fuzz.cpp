// The walk of one slot's symbol lattice over a region. A slot is refused exactly when a value is not finite or
// a spacing lies below 1.19e-7. Each cell of the walk comes once, sits where the lattice puts it (origin plus
// the turned indices times the spacings, odd rows and columns shifted), and its footprint (the cell and the
// symbol's box, in the lattice's axes) meets the region; every cell whose footprint overlaps the region comes.
// A cell answered inside the boundary has its whole footprint inside: its sides inside the loops and no
// boundary vertex within it.
#include <set>

#include "tests/fuzz/geometry_input.h"

namespace {

using gfuzz::Edge;

double ReadAngle(gfuzz::Reader& in) {
  static constexpr double kAngles[] = {0, kFillHalfPi, kFillPi, kFillThreeHalfPi, kFillTwoPi, -kFillHalfPi, 0.5, 4.0};
  const std::uint8_t b = in.byte();
  if (b < 0x80) return kAngles[b % 8] + ((b >> 3) % 8 - 4) * 4e-8;
  if (b < 0xC0) return (b - 0x80) / 64.0 * kFillTwoPi;
  return in.number();
}

double ReadSpacing(gfuzz::Reader& in) {
  const std::uint8_t b = in.byte();
  return b < 0xF0 ? (b % 120 + 1) / 16.0 * (b >= 120 ? -1 : 1) : in.number();
}

// The lattice as the definition has it: a cell's point by its indices, and the frame turned by -angle.
struct Frame {
  TileGenLattice lattice;
  double c, s;  // cos and sin of the angle
  GPosition2d World(double u, double v) const {
    return {lattice.originX + u * c + v * s, lattice.originY - u * s + v * c};
  }
  double U(double x, double y) const { return (x - lattice.originX) * c - (y - lattice.originY) * s; }
  double V(double x, double y) const { return (x - lattice.originX) * s + (y - lattice.originY) * c; }
  // The cell's own point, in the lattice's axes.
  double CellU(std::int64_t i, std::int64_t j) const {
    return static_cast<double>(i) * std::fabs(lattice.spacingX) + (j & 1 ? lattice.rowShift : 0.0);
  }
  double CellV(std::int64_t i, std::int64_t j) const {
    return static_cast<double>(j) * std::fabs(lattice.spacingY) - (i & 1 ? lattice.columnShift : 0.0);
  }
};

// Whether the rectangle [u0, u1] x [v0, v1] of the lattice's axes and the region box overlap by more than
// `margin` (a negative margin: come within it), by separating axes.
bool Overlaps(const Frame& f, double u0, double u1, double v0, double v1, const GBox2d& region, double margin) {
  const GPosition2d corners[4] = {f.World(u0, v0), f.World(u1, v0), f.World(u1, v1), f.World(u0, v1)};
  double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
  for (const GPosition2d& p : corners)
    x0 = std::fmin(x0, p.x), x1 = std::fmax(x1, p.x), y0 = std::fmin(y0, p.y), y1 = std::fmax(y1, p.y);
  const double rx[4] = {region.low.x, region.high.x, region.high.x, region.low.x};
  const double ry[4] = {region.low.y, region.low.y, region.high.y, region.high.y};
  double ru0 = HUGE_VAL, ru1 = -HUGE_VAL, rv0 = HUGE_VAL, rv1 = -HUGE_VAL;
  for (int k = 0; k < 4; ++k) {
    ru0 = std::fmin(ru0, f.U(rx[k], ry[k])), ru1 = std::fmax(ru1, f.U(rx[k], ry[k]));
    rv0 = std::fmin(rv0, f.V(rx[k], ry[k])), rv1 = std::fmax(rv1, f.V(rx[k], ry[k]));
  }
  const auto over = [margin](double a0, double a1, double b0, double b1) {
    return std::fmin(a1, b1) - std::fmax(a0, b0) > margin;
  };
  return over(x0, x1, region.low.x, region.high.x) && over(y0, y1, region.low.y, region.high.y) &&
         over(u0, u1, ru0, ru1) && over(v0, v1, rv0, rv1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gfuzz::Reader in(data, size);
  geomplatform::ClearFillFailures();
  TileGenLattice lattice{};
  lattice.angle = ReadAngle(in);
  lattice.spacingX = ReadSpacing(in);
  lattice.spacingY = ReadSpacing(in);
  const std::uint8_t form = in.byte();
  lattice.rowShift = form & 1 ? in.number() : 0.0;
  lattice.columnShift = form & 2 ? in.number() : 0.0;
  lattice.originX = in.number();
  lattice.originY = in.number();
  GBox2d symbol(in.number(), in.number(), in.number(), in.number());
  gfuzz::Decomposed fill(in);
  const gfuzz::Boundary& boundary = fill.boundary;
  const bool built = fill.built;
  GBox2d region;
  FillBoundaryRange(fill.count(), fill.points(), &region);
  if (form & 4) region = GBox2d(in.number(), in.number(), in.number(), in.number());

  TileGen gen;
  FillResult hr = gen.SetSlot(lattice, region);
  const double values[] = {lattice.angle,       lattice.spacingX, lattice.spacingY, lattice.rowShift,
                           lattice.columnShift, lattice.originX,  lattice.originY,  region.low.x,
                           region.low.y,        region.high.x,    region.high.y};
  bool finite = true;
  for (double v : values) finite = finite && std::isfinite(v);
  const bool spaced = std::fabs(lattice.spacingX) >= kFillAngleEpsilon && std::fabs(lattice.spacingY) >= kFillAngleEpsilon;
  FUZZ_CHECK(hr == (finite && spaced ? kFillOk : kFillInvalidArg));
  if (hr != kFillOk) return 0;
  hr = gen.SetClosedPieces(nullptr, 0, symbol);
  const bool symbolFinite = gfuzz::Finite(symbol);
  FUZZ_CHECK(hr == (symbolFinite ? kFillOk : kFillInvalidArg));
  if (hr != kFillOk) return 0;
  gen.Classify();
  if (gen.Start(built ? &fill.trap : nullptr) != kFillOk) return 0;

  // The reference frame of the definition, with the snap of cos and sin to 0 and 1 that the walk also takes.
  Frame f{lattice, gen.Cos(), -gen.Sin()};
  symbol = GBox2d(std::fmin(0.0, symbol.low.x), std::fmin(0.0, symbol.low.y), std::fmax(0.0, symbol.high.x),
                  std::fmax(0.0, symbol.high.y));
  double u0 = std::fmin(0.0, lattice.spacingX), u1 = std::fmax(0.0, lattice.spacingX);
  double v0 = std::fmin(0.0, lattice.spacingY), v1 = std::fmax(0.0, lattice.spacingY);
  const double sx[4] = {symbol.low.x, symbol.high.x, symbol.high.x, symbol.low.x};
  const double sy[4] = {symbol.low.y, symbol.low.y, symbol.high.y, symbol.high.y};
  for (int k = 0; k < 4; ++k) {
    const double u = sx[k] * f.c - sy[k] * f.s, v = sx[k] * f.s + sy[k] * f.c;
    u0 = std::fmin(u0, u), u1 = std::fmax(u1, u), v0 = std::fmin(v0, v), v1 = std::fmax(v1, v);
  }
  const double reach = std::max({std::fabs(region.low.x), std::fabs(region.low.y), std::fabs(region.high.x),
                                  std::fabs(region.high.y), std::fabs(lattice.originX), std::fabs(lattice.originY),
                                  u1 - u0, v1 - v0, std::fabs(lattice.rowShift), std::fabs(lattice.columnShift)});
  // A boundary point far out (x of +DBL_MAX is no separator) leaves the decomposition no digits for the cells.
  if (!(reach <= 1e6) || !(boundary.extent <= 1e6)) return 0;
  const double tol = 1e-9 * reach;
  const std::vector<Edge> edges = gfuzz::EdgesOf(boundary.points);

  std::set<std::pair<std::int64_t, std::int64_t>> seen;
  bool done = false;
  for (int cells = 0; cells < 5000; ++cells) {
    bool found = false, inside = true;
    FUZZ_CHECK(gen.NextTile(&found, &inside) == kFillOk);
    if (!found) {
      done = true;
      break;
    }
    const std::int64_t i = gen.Column(), j = gen.Row();
    FUZZ_CHECK(seen.insert({i, j}).second);
    const double u = f.CellU(i, j), v = f.CellV(i, j);
    const GPosition2d at = f.World(u, v);
    FUZZ_CHECK(std::fabs(gen.Translation().x - at.x) <= tol && std::fabs(gen.Translation().y - at.y) <= tol);
    FUZZ_CHECK(Overlaps(f, u + u0, u + u1, v + v0, v + v1, region, -tol));
    if (!inside) continue;
    FUZZ_CHECK(built);
    // Whole sides inside and no vertex within: the footprint lies inside.
    const GPosition2d corners[4] = {f.World(u + u0, v + v0), f.World(u + u1, v + v0), f.World(u + u1, v + v1),
                                    f.World(u + u0, v + v1)};
    const double near = 1e-6 + tol;
    for (int k = 0; k < 4; ++k)
      for (int t = 0; t <= 8; ++t) {
        const GPosition2d& a = corners[k];
        const GPosition2d& b = corners[(k + 1) % 4];
        const double x = a.x + (b.x - a.x) * t / 8, y = a.y + (b.y - a.y) * t / 8;
        if (!gfuzz::InsideOrNear(edges, x, y, near)) {
          std::fprintf(stderr, "cell (%lld, %lld) answered inside has (%.17g, %.17g) of its side %.3g outside\n",
                       static_cast<long long>(i), static_cast<long long>(j), x, y, gfuzz::DistanceToEdges(edges, x, y));
          FUZZ_CHECK(false);
        }
      }
    for (const Edge& e : edges) {
      // A point repeated, or a loop of one point, bounds nothing.
      if (e.x0 == e.x1 && e.y0 == e.y1) continue;
      const double pu = f.U(e.x0, e.y0) - u, pv = f.V(e.x0, e.y0) - v;
      if (pu > u0 + near && pu < u1 - near && pv > v0 + near && pv < v1 - near) {
        std::fprintf(stderr, "cell (%lld, %lld) answered inside has the vertex (%.17g, %.17g) within\n",
                     static_cast<long long>(i), static_cast<long long>(j), e.x0, e.y0);
        FUZZ_CHECK(false);
      }
    }
  }
  if (!done) return 0;

  // Every cell whose footprint overlaps the region came.
  double ru0 = HUGE_VAL, ru1 = -HUGE_VAL, rv0 = HUGE_VAL, rv1 = -HUGE_VAL;
  const double rx[4] = {region.low.x, region.high.x, region.high.x, region.low.x};
  const double ry[4] = {region.low.y, region.low.y, region.high.y, region.high.y};
  for (int k = 0; k < 4; ++k) {
    ru0 = std::fmin(ru0, f.U(rx[k], ry[k])), ru1 = std::fmax(ru1, f.U(rx[k], ry[k]));
    rv0 = std::fmin(rv0, f.V(rx[k], ry[k])), rv1 = std::fmax(rv1, f.V(rx[k], ry[k]));
  }
  const double px = std::fabs(lattice.spacingX), py = std::fabs(lattice.spacingY);
  const double i0 = std::floor((ru0 - u1 - std::fabs(lattice.rowShift)) / px) - 1;
  const double i1 = std::ceil((ru1 - u0 + std::fabs(lattice.rowShift)) / px) + 1;
  const double j0 = std::floor((rv0 - v1 - std::fabs(lattice.columnShift)) / py) - 1;
  const double j1 = std::ceil((rv1 - v0 + std::fabs(lattice.columnShift)) / py) + 1;
  if (!((i1 - i0 + 1) * (j1 - j0 + 1) <= 20000)) return 0;
  for (auto j = static_cast<std::int64_t>(j0); j <= static_cast<std::int64_t>(j1); ++j)
    for (auto i = static_cast<std::int64_t>(i0); i <= static_cast<std::int64_t>(i1); ++i) {
      const double u = f.CellU(i, j), v = f.CellV(i, j);
      if (Overlaps(f, u + u0, u + u1, v + v0, v + v1, region, tol) && !seen.count({i, j})) {
        std::fprintf(stderr, "cell (%lld, %lld) overlaps the region but was not walked\n", static_cast<long long>(i),
                     static_cast<long long>(j));
        FUZZ_CHECK(false);
      }
    }
  return 0;
}
