// The peers of the fill geometry's oracle tests and benchmark: random loops, GEOS geometries and pieces of a
// segment inside a polygon, and AGG's even-odd coverage.
#pragma once

#include <agg_rasterizer_scanline_aa.h>
#include <agg_scanline_u.h>
#include <geos_c.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "tests/geometry/fill_fixtures.h"

namespace fillpeers {

using Loop = std::vector<std::pair<double, double>>;

class Random {
 public:
  explicit Random(unsigned seed) : rng_(seed) {}
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  // A star-shaped loop around (cx, cy), counter-clockwise, radii between r0 and r1.
  Loop Star(double cx, double cy, double r0, double r1, int n) {
    std::vector<double> angles(n);
    for (int k = 0; k < n; ++k) angles[k] = (k + Uniform(0.05, 0.95)) * 2 * M_PI / n;
    Loop loop;
    for (double a : angles) {
      const double r = Uniform(r0, r1);
      loop.emplace_back(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    return loop;
  }

  // fill_fixtures.h's FoldedLoop, from this generator.
  Loop Folded(int n, double height) { return FoldedLoop(rng_, n, height); }

 private:
  std::mt19937 rng_;
};

// A shell of radius 3 to 5 with up to four holes of radius at most 0.6 that cannot meet it or each other.
inline std::vector<Loop> PolygonWithHoles(Random& random) {
  std::vector<Loop> loops{random.Star(0, 0, 3, 5, random.Int(8, 40))};
  const double centres[4][2] = {{-1.2, -1.2}, {1.2, -1.2}, {1.2, 1.2}, {-1.2, 1.2}};
  for (const auto& c : centres) {
    if (random.Uniform(0, 1) < 0.75) {
      Loop hole = random.Star(c[0], c[1], 0.2, 0.6, random.Int(3, 10));
      if (random.Uniform(0, 1) < 0.5) std::reverse(hole.begin(), hole.end());
      loops.push_back(hole);
    }
  }
  return loops;
}

inline Boundary ToBoundary(const std::vector<Loop>& loops) {
  Boundary b;
  for (const Loop& loop : loops) b.Loop(loop);
  return b;
}

class Geos {
 public:
  Geos() : ctx_(GEOS_init_r()) {}
  ~Geos() { GEOS_finish_r(ctx_); }
  Geos(const Geos&) = delete;
  Geos& operator=(const Geos&) = delete;
  GEOSContextHandle_t ctx() const { return ctx_; }

  GEOSGeometry* Ring(const Loop& loop) const {
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx_, static_cast<unsigned>(loop.size() + 1), 2);
    for (std::size_t i = 0; i <= loop.size(); ++i) {
      const auto& p = loop[i % loop.size()];
      GEOSCoordSeq_setXY_r(ctx_, seq, static_cast<unsigned>(i), p.first, p.second);
    }
    return GEOSGeom_createLinearRing_r(ctx_, seq);
  }

  GEOSGeometry* Polygon(const std::vector<Loop>& loops) const {
    std::vector<GEOSGeometry*> holes;
    for (std::size_t i = 1; i < loops.size(); ++i) holes.push_back(Ring(loops[i]));
    return GEOSGeom_createPolygon_r(ctx_, Ring(loops[0]), holes.data(), static_cast<unsigned>(holes.size()));
  }

  GEOSGeometry* Line(double x1, double y1, double x2, double y2) const {
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx_, 2, 2);
    GEOSCoordSeq_setXY_r(ctx_, seq, 0, x1, y1);
    GEOSCoordSeq_setXY_r(ctx_, seq, 1, x2, y2);
    return GEOSGeom_createLineString_r(ctx_, seq);
  }

  double Area(const GEOSGeometry* g) const {
    double area = 0;
    GEOSArea_r(ctx_, g, &area);
    return area;
  }

  void Destroy(GEOSGeometry* g) const { GEOSGeom_destroy_r(ctx_, g); }

 private:
  GEOSContextHandle_t ctx_;
};

struct Span {
  double x1, y1, x2, y2;
};

inline double Length(const Span& s) { return std::hypot(s.x2 - s.x1, s.y2 - s.y1); }

// The pieces a hatch family's walk hands out, by the position of the line each lies on; a walk that fails is a
// test failure and ends the walk. *lines, where asked, the number of lines the walk stepped.
inline std::map<double, std::vector<Span>> HatchPiecesByLine(FillTrap& trap, const GBox2d& range,
                                                             const FillHatchFamily& family,
                                                             std::uint32_t* lines = nullptr) {
  std::map<double, std::vector<Span>> out;
  FillHatchLines walk;
  EXPECT_EQ(walk.Start(&trap, range, family), kFillOk);
  FillHatchPiece piece{};
  for (bool found = true; found;) {
    const auto rc = walk.Next(&piece, &found);
    EXPECT_EQ(rc, kFillOk);
    if (rc != kFillOk) break;
    if (found) out[walk.Line().position].push_back({piece.start.x, piece.start.y, piece.end.x, piece.end.y});
  }
  if (lines) *lines = walk.LineCount();
  return out;
}

// Joins pieces that meet end to end (in either orientation) within the tolerance.
inline std::vector<Span> Joined(std::vector<Span> pieces, double tolerance) {
  const auto near = [&](double ax, double ay, double bx, double by) {
    return std::fabs(ax - bx) <= tolerance && std::fabs(ay - by) <= tolerance;
  };
  for (bool merged = true; merged;) {
    merged = false;
    for (std::size_t i = 0; i < pieces.size() && !merged; ++i) {
      for (std::size_t j = 0; j < pieces.size() && !merged; ++j) {
        if (i == j) continue;
        Span& a = pieces[i];
        Span b = pieces[j];
        if (near(a.x2, a.y2, b.x2, b.y2)) std::swap(b.x1, b.x2), std::swap(b.y1, b.y2);
        if (!near(a.x2, a.y2, b.x1, b.y1)) continue;
        a.x2 = b.x2;
        a.y2 = b.y2;
        pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(j));
        merged = true;
      }
    }
  }
  // Ends ordered, then pieces ordered, along the axis the (collinear) pieces run with most, so that two lists
  // compare element by element even where the clipping's x of a vertical line wavers in its last bits.
  const bool alongX =
      pieces.empty() || std::fabs(pieces[0].x2 - pieces[0].x1) >= std::fabs(pieces[0].y2 - pieces[0].y1);
  const auto key = [alongX](double x, double y) { return alongX ? x : y; };
  for (Span& s : pieces) {
    if (key(s.x1, s.y1) > key(s.x2, s.y2)) std::swap(s.x1, s.x2), std::swap(s.y1, s.y2);
  }
  std::sort(pieces.begin(), pieces.end(),
            [&key](const Span& a, const Span& b) { return key(a.x1, a.y1) < key(b.x1, b.y1); });
  return pieces;
}

inline std::vector<Span> GeosPieces(const Geos& geos, const GEOSGeometry* polygon, const Span& s) {
  GEOSGeometry* line = geos.Line(s.x1, s.y1, s.x2, s.y2);
  GEOSGeometry* inside = GEOSIntersection_r(geos.ctx(), line, polygon);
  std::vector<Span> pieces;
  const int parts = GEOSGetNumGeometries_r(geos.ctx(), inside);
  for (int i = 0; i < parts; ++i) {
    const GEOSGeometry* part = GEOSGetGeometryN_r(geos.ctx(), inside, i);
    if (GEOSGeomTypeId_r(geos.ctx(), part) != GEOS_LINESTRING) continue;  // a touching point is no piece
    const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(geos.ctx(), part);
    unsigned size = 0;
    if (!seq || !GEOSCoordSeq_getSize_r(geos.ctx(), seq, &size) || size < 2) continue;  // an empty answer
    Span p{};
    GEOSCoordSeq_getXY_r(geos.ctx(), seq, 0, &p.x1, &p.y1);
    GEOSCoordSeq_getXY_r(geos.ctx(), seq, size - 1, &p.x2, &p.y2);
    pieces.push_back(p);
  }
  geos.Destroy(inside);
  geos.Destroy(line);
  return pieces;
}

inline double PointSegmentDistance(double px, double py, const Span& s) {
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
  const double d2 = dx * dx + dy * dy;
  const double t = d2 > 0 ? std::clamp(((px - s.x1) * dx + (py - s.y1) * dy) / d2, 0.0, 1.0) : 0.0;
  return std::hypot(s.x1 + t * dx - px, s.y1 + t * dy - py);
}

// Clipping takes a crossing within 5e-6 of a side's or the segment's parameter range: a segment that ends at
// the boundary or at a scan row (the y of a vertex), or passes a vertex, closer than that is cut where the
// tolerance says, not where GEOS cuts.
inline bool ClearOfTolerances(const std::vector<Loop>& loops, const Span& s) {
  const double clearance = 1e-4;
  for (const Loop& loop : loops) {
    for (std::size_t i = 0; i < loop.size(); ++i) {
      const auto& a = loop[i];
      const auto& b = loop[(i + 1) % loop.size()];
      const Span edge{a.first, a.second, b.first, b.second};
      if (PointSegmentDistance(a.first, a.second, s) < clearance) return false;
      if (std::fabs(a.second - s.y1) < clearance || std::fabs(a.second - s.y2) < clearance) return false;
      if (PointSegmentDistance(s.x1, s.y1, edge) < clearance || PointSegmentDistance(s.x2, s.y2, edge) < clearance) {
        return false;
      }
    }
  }
  return true;
}

// The length of the lines inside the polygon of the loops, as GEOS gives it with the polygon prepared: each
// line that meets it is intersected with it.
inline double GeosPreparedLength(const Geos& geos, const std::vector<Loop>& loops, const std::vector<Span>& lines) {
  GEOSGeometry* polygon = geos.Polygon(loops);
  const GEOSPreparedGeometry* prepared = GEOSPrepare_r(geos.ctx(), polygon);
  double length = 0;
  for (const Span& line : lines) {
    GEOSGeometry* segment = geos.Line(line.x1, line.y1, line.x2, line.y2);
    if (GEOSPreparedIntersects_r(geos.ctx(), prepared, segment)) {
      GEOSGeometry* inside = GEOSIntersection_r(geos.ctx(), segment, polygon);
      double part = 0;
      GEOSLength_r(geos.ctx(), inside, &part);
      length += part;
      geos.Destroy(inside);
    }
    geos.Destroy(segment);
  }
  GEOSPreparedGeom_destroy_r(geos.ctx(), prepared);
  geos.Destroy(polygon);
  return length;
}

// The length of GEOS's pieces of the lines inside the polygon of the loops: as they are, and with the gaps below
// 5e-5 closed (as our clipping joins the pieces on either side of a sliver); and how far ours may differ on the
// lines that pass a vertex or end near the boundary closer than the clipping's tolerances (it takes a crossing
// within 5e-6 of a parameter range, so each end of a piece may move by that part of the line).
struct GeosReference {
  double plain = 0;
  double joined = 0;
  double tolerance = 0;
};

inline GeosReference GeosReferenceLengths(const std::vector<Loop>& loops, const std::vector<Span>& lines) {
  Geos geos;
  GEOSGeometry* polygon = geos.Polygon(loops);
  GeosReference r;
  for (const Span& line : lines) {
    const std::vector<Span> pieces = GeosPieces(geos, polygon, line);
    for (const Span& piece : pieces) r.plain += Length(piece);
    for (const Span& piece : Joined(pieces, kFillJoinTolerance)) r.joined += Length(piece);
    if (!ClearOfTolerances(loops, line)) r.tolerance += 2 * kFillParameterTolerance * Length(line);
  }
  geos.Destroy(polygon);
  return r;
}

// AGG's coverage in pixels of the loops scaled by `scale`, filled even-odd; each pixel's cover runs to 255.
inline double AggEvenOddCoverage(const std::vector<Loop>& loops, double scale) {
  agg::rasterizer_scanline_aa<> rasterizer;
  rasterizer.filling_rule(agg::fill_even_odd);
  for (const Loop& loop : loops) {
    rasterizer.move_to_d(loop[0].first * scale, loop[0].second * scale);
    for (std::size_t i = 1; i < loop.size(); ++i) rasterizer.line_to_d(loop[i].first * scale, loop[i].second * scale);
    rasterizer.close_polygon();
  }
  double covered = 0;
  if (!rasterizer.rewind_scanlines()) return 0;
  agg::scanline_u8 scanline;
  scanline.reset(rasterizer.min_x(), rasterizer.max_x());
  while (rasterizer.sweep_scanline(scanline)) {
    auto span = scanline.begin();
    for (unsigned n = scanline.num_spans(); n > 0; --n, ++span) {
      for (int k = 0; k < span->len; ++k) covered += span->covers[k];
    }
  }
  return covered / 255.0;
}

}  // namespace fillpeers
