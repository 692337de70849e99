// Random planar line-string pairs for the line-string intersection oracle test and benchmark, with GEOS's answer.
// Both strings are monotone in x, so neither crosses itself; the second may copy a stretch of the first (from a
// segment's midpoint on), forwards or backwards. Vertices lie on a 1/64 grid, so a copied stretch is collinear in
// floating point too, and a pair is kept only when every end lies on the other string exactly or at least 1e-5
// from it and every two crossing segments differ in direction by at least 1e-3 rad.
#pragma once

#include <geos_c.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace lspairs {

struct Pair {
  std::vector<double> a, b;  // x, y, z of each pole; z is 0
};

inline double Grid(double v) { return std::round(v * 64) / 64; }

// n poles over x in [x0, x1), y in [-50, 50].
inline std::vector<double> Monotone(std::mt19937 &rng, int n, double x0, double x1) {
  std::uniform_real_distribution<double> u(0, 1), y(-50, 50);
  std::vector<double> xs(n);
  for (double &x : xs) x = Grid(x0 + (x1 - x0) * u(rng));
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::vector<double> p;
  for (double x : xs) p.insert(p.end(), {x, Grid(y(rng)), 0});
  return p;
}

inline long double Cross(const double *o, const double *a, const double *b) {
  return (static_cast<long double>(a[0]) - o[0]) * (static_cast<long double>(b[1]) - o[1]) -
         (static_cast<long double>(a[1]) - o[1]) * (static_cast<long double>(b[0]) - o[0]);
}

inline long double EndDistance(const double *x, const double *s) {
  const long double dx = s[3] - s[0], dy = s[4] - s[1], wx = x[0] - s[0], wy = x[1] - s[1];
  const long double t = std::clamp((wx * dx + wy * dy) / (dx * dx + dy * dy), 0.0L, 1.0L);
  return std::hypot(wx - t * dx, wy - t * dy);
}

inline bool WellPosed(const double *s, const double *q) {
  if (Cross(s, s + 3, q) == 0 && Cross(s, s + 3, q + 3) == 0) return true;  // collinear: exact by construction
  const double *ends[4][2] = {{s, q}, {s + 3, q}, {q, s}, {q + 3, s}};
  bool touch = false;
  for (const auto &e : ends) {
    const long double d = EndDistance(e[0], e[1]);
    if (d != 0 && d < 1e-5L) return false;
    touch = touch || d == 0;
  }
  const long double c1 = Cross(s, s + 3, q), c2 = Cross(s, s + 3, q + 3), c3 = Cross(q, q + 3, s),
                    c4 = Cross(q, q + 3, s + 3);
  if (!touch && ((c1 > 0) == (c2 > 0) || (c3 > 0) == (c4 > 0))) return true;  // apart
  const long double ax = s[3] - s[0], ay = s[4] - s[1], bx = q[3] - q[0], by = q[4] - q[1];
  return std::fabs(ax * by - ay * bx) / (std::hypot(ax, ay) * std::hypot(bx, by)) >= 1e-3L;
}

inline bool WellPosed(const Pair &p) {
  for (std::size_t i = 0; i + 3 < p.a.size(); i += 3)
    for (std::size_t j = 0; j + 3 < p.b.size(); j += 3)
      if (!WellPosed(&p.a[i], &p.b[j])) return false;
  return true;
}

// A pair of strings of 3 to max_poles poles (the second may have a few more when it copies a stretch).
inline Pair MakePair(std::mt19937 &rng, int max_poles) {
  std::uniform_int_distribution<int> count(3, max_poles), coin(0, 1);
  for (;;) {
    Pair p;
    p.a = Monotone(rng, count(rng), -100, 100);
    const int na = static_cast<int>(p.a.size() / 3);
    if (na >= 4 && coin(rng)) {
      std::uniform_int_distribution<int> first(0, na - 3);
      const int i0 = first(rng), i1 = std::min(na - 1, i0 + 1 + static_cast<int>(rng() % 6));
      const double x0 = p.a[3 * i0], x1 = p.a[3 * i1];
      std::vector<double> stretch;
      if (coin(rng)) {
        stretch.insert(stretch.end(), {(x0 + p.a[3 * i0 + 3]) / 2, (p.a[3 * i0 + 1] + p.a[3 * i0 + 4]) / 2, 0});
      } else {
        stretch.insert(stretch.end(), p.a.begin() + 3 * i0, p.a.begin() + 3 * i0 + 3);
      }
      stretch.insert(stretch.end(), p.a.begin() + 3 * i0 + 3, p.a.begin() + 3 * i1 + 3);
      std::vector<double> before = Monotone(rng, count(rng) / 2, -110, stretch[0]),
                          after = Monotone(rng, count(rng) / 2, x1, 110);
      while (!before.empty() && before[before.size() - 3] >= stretch[0]) before.resize(before.size() - 3);
      while (!after.empty() && after[0] <= x1) after.erase(after.begin(), after.begin() + 3);
      p.b = before;
      p.b.insert(p.b.end(), stretch.begin(), stretch.end());
      p.b.insert(p.b.end(), after.begin(), after.end());
    } else {
      p.b = Monotone(rng, count(rng), -100, 100);
    }
    if (coin(rng))
      for (std::size_t i = 0, j = p.b.size() - 3; i < j; i += 3, j -= 3) std::swap_ranges(&p.b[i], &p.b[i] + 3, &p.b[j]);
    if (p.a.size() >= 6 && p.b.size() >= 6 && WellPosed(p)) return p;
  }
}

// GEOS's intersection: the crossing points, and the shared stretches merged into maximal lines (their two ends).
struct Answer {
  std::vector<double> points;   // x, y
  std::vector<double> stretches;  // x0, y0, x1, y1
};

inline GEOSGeometry *Line(GEOSContextHandle_t ctx, const std::vector<double> &p) {
  const unsigned n = static_cast<unsigned>(p.size() / 3);
  GEOSCoordSequence *seq = GEOSCoordSeq_create_r(ctx, n, 2);
  for (unsigned i = 0; i < n; ++i) GEOSCoordSeq_setXY_r(ctx, seq, i, p[3 * i], p[3 * i + 1]);
  return GEOSGeom_createLineString_r(ctx, seq);
}

inline Answer GeosAnswer(GEOSContextHandle_t ctx, const Pair &p) {
  GEOSGeometry *a = Line(ctx, p.a), *b = Line(ctx, p.b), *x = GEOSIntersection_r(ctx, a, b);
  Answer r;
  std::vector<GEOSGeometry *> lines;
  for (int i = 0; i < GEOSGetNumGeometries_r(ctx, x); ++i) {
    const GEOSGeometry *g = GEOSGetGeometryN_r(ctx, x, i);
    if (GEOSisEmpty_r(ctx, g)) continue;
    if (GEOSGeomTypeId_r(ctx, g) == GEOS_POINT) {
      double px, py;
      GEOSGeomGetX_r(ctx, g, &px);
      GEOSGeomGetY_r(ctx, g, &py);
      r.points.insert(r.points.end(), {px, py});
    } else {
      lines.push_back(GEOSGeom_clone_r(ctx, g));
    }
  }
  if (!lines.empty()) {
    GEOSGeometry *all = GEOSGeom_createCollection_r(ctx, GEOS_MULTILINESTRING, lines.data(),
                                                    static_cast<unsigned>(lines.size()));
    GEOSGeometry *merged = GEOSLineMerge_r(ctx, all);
    for (int i = 0; i < GEOSGetNumGeometries_r(ctx, merged); ++i) {
      const GEOSCoordSequence *seq = GEOSGeom_getCoordSeq_r(ctx, GEOSGetGeometryN_r(ctx, merged, i));
      unsigned size = 0;
      GEOSCoordSeq_getSize_r(ctx, seq, &size);
      double e[4];
      GEOSCoordSeq_getXY_r(ctx, seq, 0, &e[0], &e[1]);
      GEOSCoordSeq_getXY_r(ctx, seq, size - 1, &e[2], &e[3]);
      r.stretches.insert(r.stretches.end(), e, e + 4);
    }
    GEOSGeom_destroy_r(ctx, merged);
    GEOSGeom_destroy_r(ctx, all);
  }
  GEOSGeom_destroy_r(ctx, a);
  GEOSGeom_destroy_r(ctx, b);
  GEOSGeom_destroy_r(ctx, x);
  return r;
}

}  // namespace lspairs
