// GEOS's offset of a test polyline and a polyline whose mitred offsets never cross themselves, shared by the
// offset oracles and the offset benchmarks.
#pragma once

#include <geos_c.h>

#include <cmath>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "tests/bspline/curve_fixtures.h"

// GEOS's offset of the polyline (positive to the left) as x, y pairs, in the polyline's direction; nothing when
// it is not one line, whose count then goes to *lines when asked for.
inline std::vector<double> geos_offset(const TestCurve &c, double d, bool round, int *lines = nullptr) {
  GEOSContextHandle_t h = GEOS_init_r();
  GEOSCoordSequence *seq = GEOSCoordSeq_create_r(h, c.n(), 2);
  for (int i = 0; i < c.n(); ++i) GEOSCoordSeq_setXY_r(h, seq, i, c.pole(i, 0), c.pole(i, 1));
  GEOSGeometry *line = GEOSGeom_createLineString_r(h, seq);
  GEOSGeometry *off =
      GEOSOffsetCurve_r(h, line, d, round ? 64 : 8, round ? GEOSBUF_JOIN_ROUND : GEOSBUF_JOIN_MITRE, 1e9);
  const bool one = GEOSGeomTypeId_r(h, off) == GEOS_LINESTRING && !GEOSisEmpty_r(h, off);
  if (lines) *lines = one ? 1 : GEOSGeomTypeId_r(h, off) == GEOS_LINESTRING ? 0 : GEOSGetNumGeometries_r(h, off);
  unsigned int m = 0;
  const GEOSCoordSequence *os = one ? GEOSGeom_getCoordSeq_r(h, off) : nullptr;
  if (os) GEOSCoordSeq_getSize_r(h, os, &m);
  std::vector<double> xy(2 * m);
  for (unsigned int i = 0; i < m; ++i) GEOSCoordSeq_getXY_r(h, os, i, &xy[2 * i], &xy[2 * i + 1]);
  GEOSGeom_destroy_r(h, off);
  GEOSGeom_destroy_r(h, line);
  GEOS_finish_r(h);
  // Some versions hand a curve to the right back reversed; one that starts far from the polyline's start because
  // its first legs left nothing keeps its direction.
  const auto from_start = [&](unsigned int i) {
    return std::hypot(xy[2 * i] - c.pole(0, 0), xy[2 * i + 1] - c.pole(0, 1));
  };
  if (m > 0 && from_start(0) > 1.5 * std::fabs(d) && from_start(m - 1) < from_start(0))
    for (unsigned int i = 0; i < m / 2; ++i)
      for (int k = 0; k < 2; ++k) std::swap(xy[2 * i + k], xy[2 * (m - 1 - i) + k]);
  return xy;
}

// The outline of GEOS's buffer of the polyline through the points (x, y pairs; closed: round to the first again)
// by d, with round joins and ends drawn by quadrant_segments chords a quadrant: its rings as x, y pairs.
inline std::vector<std::vector<double>> geos_round_buffer(const std::vector<double> &xy, bool closed, double d,
                                                          int quadrant_segments) {
  GEOSContextHandle_t h = GEOS_init_r();
  const unsigned int n = static_cast<unsigned int>(xy.size() / 2) + (closed ? 1 : 0);
  GEOSCoordSequence *seq = GEOSCoordSeq_create_r(h, n, 2);
  for (unsigned int i = 0; i < n; ++i) {
    const unsigned int k = i % static_cast<unsigned int>(xy.size() / 2);
    GEOSCoordSeq_setXY_r(h, seq, i, xy[2 * k], xy[2 * k + 1]);
  }
  GEOSGeometry *line = GEOSGeom_createLineString_r(h, seq);
  GEOSGeometry *buffer =
      GEOSBufferWithStyle_r(h, line, d, quadrant_segments, GEOSBUF_CAP_ROUND, GEOSBUF_JOIN_ROUND, 5.0);
  GEOSGeometry *outline = GEOSBoundary_r(h, buffer);
  std::vector<std::vector<double>> rings;
  for (int g = 0; g < GEOSGetNumGeometries_r(h, outline); ++g) {
    const GEOSCoordSequence *cs = GEOSGeom_getCoordSeq_r(h, GEOSGetGeometryN_r(h, outline, g));
    unsigned int m = 0;
    GEOSCoordSeq_getSize_r(h, cs, &m);
    std::vector<double> ring(2 * m);
    for (unsigned int i = 0; i < m; ++i) GEOSCoordSeq_getXY_r(h, cs, i, &ring[2 * i], &ring[2 * i + 1]);
    rings.push_back(ring);
  }
  for (GEOSGeometry *g : {outline, buffer, line}) GEOSGeom_destroy_r(h, g);
  GEOS_finish_r(h);
  return rings;
}

// A zig-zag of n points, x rising, legs 2.5 to 4 long beside offset distances up to 0.4 and turns of at most about
// 110 degrees, so that no mitred offset crosses itself (order 2, knots the point indices).
inline std::unique_ptr<TestCurve> zigzag(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> step(2.5, 4), amp(0.5, 1.5);
  std::vector<double> p, k = {0};
  for (int i = 0; i < n; ++i) {
    p.insert(p.end(), {i ? p[3 * i - 3] + step(rng) : 0, (i % 2 ? 1 : -1) * amp(rng), 0.0});
    k.push_back(i);
  }
  k.push_back(n - 1);
  return std::make_unique<TestCurve>(2, p, k);
}
