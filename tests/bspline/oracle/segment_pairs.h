// Planar segment pairs for the segment-intersection oracle test and benchmark, with GEOS's answer for each. The
// pairs keep away from the tolerance boundaries: an end lies on the other segment exactly or at least 1e-5 from
// it, crossing directions differ by at least 1e-3 rad, and collinear pairs lie on dyadic points, where they are
// collinear in floating point too.
#pragma once

#include <geos_c.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace segpairs {

struct Pair {
  double a[6], b[6];  // x, y, z of each end; z is 0
};

// A peer's answer: 0, 1 or 2 points (x, y), two ordered along a.
struct Answer {
  int n = 0;
  double p[2][2] = {};
};

// The distance from x to the segment s, in long double so that the screening does not depend on either contender.
inline long double EndDistance(const double *x, const double *s) {
  const long double dx = s[3] - s[0], dy = s[4] - s[1], wx = x[0] - s[0], wy = x[1] - s[1];
  const long double t = std::clamp((wx * dx + wy * dy) / (dx * dx + dy * dy), 0.0L, 1.0L);
  return std::hypot(wx - t * dx, wy - t * dy);
}

inline bool WellPosed(const Pair &q) {
  const double *ends[4][2] = {{q.a, q.b}, {q.a + 3, q.b}, {q.b, q.a}, {q.b + 3, q.a}};
  for (const auto &e : ends) {
    const long double d = EndDistance(e[0], e[1]);
    if (d != 0 && d < 1e-5L) return false;
  }
  const long double ax = q.a[3] - q.a[0], ay = q.a[4] - q.a[1], bx = q.b[3] - q.b[0], by = q.b[4] - q.b[1];
  const long double sine = std::fabs(ax * by - ay * bx) / (std::hypot(ax, ay) * std::hypot(bx, by));
  return sine >= 1e-3L;
}

// count pairs: 60 % in general position, 20 % sharing an end exactly, 20 % collinear (overlapping, touching end
// to end or apart); with `built` false all in general position.
inline std::vector<Pair> MakePairs(unsigned seed, int count, bool built = true) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  std::uniform_int_distribution<int> kind(0, 9), grid(-64, 64), step(-3, 3), at(-32, 32);
  std::vector<Pair> pairs;
  pairs.reserve(count);
  while (static_cast<int>(pairs.size()) < count) {
    Pair q{{u(rng), u(rng), 0, u(rng), u(rng), 0}, {u(rng), u(rng), 0, u(rng), u(rng), 0}};
    const int k = built ? kind(rng) : 0;
    if (k >= 8) {
      const double ox = grid(rng) / 64.0, oy = grid(rng) / 64.0, dx = step(rng), dy = step(rng);
      double t[4] = {at(rng) / 16.0, at(rng) / 16.0, at(rng) / 16.0, at(rng) / 16.0};
      if (k == 9) t[2] = t[1];  // touching or overlapping from a's end
      if ((dx == 0 && dy == 0) || t[0] == t[1] || t[2] == t[3]) continue;
      for (int e = 0; e < 4; ++e) {
        double *p = (e < 2 ? q.a : q.b) + 3 * (e % 2);
        p[0] = ox + t[e] * dx, p[1] = oy + t[e] * dy;
      }
      pairs.push_back(q);
      continue;
    }
    if (k >= 6) std::copy(q.a + 3 * (k % 2), q.a + 3 * (k % 2) + 3, q.b + 3 * (rng() % 2));
    if (WellPosed(q)) pairs.push_back(q);
  }
  return pairs;
}

// GEOS's intersection of the two segments as line strings.
inline Answer GeosAnswer(GEOSContextHandle_t ctx, const Pair &q) {
  auto line = [ctx](const double *s) {
    GEOSCoordSequence *seq = GEOSCoordSeq_create_r(ctx, 2, 2);
    GEOSCoordSeq_setXY_r(ctx, seq, 0, s[0], s[1]);
    GEOSCoordSeq_setXY_r(ctx, seq, 1, s[3], s[4]);
    return GEOSGeom_createLineString_r(ctx, seq);
  };
  GEOSGeometry *a = line(q.a), *b = line(q.b), *x = GEOSIntersection_r(ctx, a, b);
  Answer r;
  if (x && !GEOSisEmpty_r(ctx, x)) {
    if (GEOSGeomTypeId_r(ctx, x) == GEOS_POINT) {
      r.n = 1;
      GEOSGeomGetX_r(ctx, x, &r.p[0][0]);
      GEOSGeomGetY_r(ctx, x, &r.p[0][1]);
    } else if (GEOSGeomTypeId_r(ctx, x) == GEOS_LINESTRING) {
      const GEOSCoordSequence *seq = GEOSGeom_getCoordSeq_r(ctx, x);
      unsigned size = 0;
      GEOSCoordSeq_getSize_r(ctx, seq, &size);
      r.n = 2;
      GEOSCoordSeq_getXY_r(ctx, seq, 0, &r.p[0][0], &r.p[0][1]);
      GEOSCoordSeq_getXY_r(ctx, seq, size - 1, &r.p[1][0], &r.p[1][1]);
      const double dx = q.a[3] - q.a[0], dy = q.a[4] - q.a[1];
      if ((r.p[1][0] - r.p[0][0]) * dx + (r.p[1][1] - r.p[0][1]) * dy < 0) std::swap(r.p[0], r.p[1]);
    } else {
      r.n = -1;  // a shape two segments cannot make
    }
  }
  GEOSGeom_destroy_r(ctx, a);
  GEOSGeom_destroy_r(ctx, b);
  if (x) GEOSGeom_destroy_r(ctx, x);
  return r;
}

}  // namespace segpairs
