// Boundaries for the fill geometry tests, what a decomposition holds, and the failures the fill code reported
// (kept by the native platform side, or by the utility library's stand-in under Windows).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "geometry/fill.h"
#include "geometry/platform.h"
#ifdef _WIN32
#include "host/pellow/pellow.h"
#endif

struct FillReportSeen {
  FillResult hr;
  std::string source;
};

inline std::vector<FillReportSeen> FillReports() {
  std::vector<FillReportSeen> seen;
#ifdef _WIN32
  for (LONG i = 0; i < PellowReportCount(); ++i) {
    PellowReport report{};
    if (PellowGetReport(i, &report)) seen.push_back({report.hr, report.source});
  }
#else
  for (int i = 0; i < geomplatform::FillFailureCount(); ++i) {
    const geomplatform::FillFailureReport report = geomplatform::GetFillFailure(i);
    seen.push_back({report.hr, report.source});
  }
#endif
  return seen;
}

inline void ClearFillReports() {
#ifdef _WIN32
  PellowClearReports();
#else
  geomplatform::ClearFillFailures();
#endif
}

// A boundary built loop by loop; loops are separated by a point with x = -DBL_MAX.
class Boundary {
 public:
  Boundary() = default;
  Boundary(std::initializer_list<std::pair<double, double>> loop) { Loop(loop); }

  Boundary& Loop(std::initializer_list<std::pair<double, double>> loop) {
    return Loop(std::vector<std::pair<double, double>>(loop));
  }
  Boundary& Loop(const std::vector<std::pair<double, double>>& loop) {
    if (!points.empty()) points.emplace_back(kFillLoopSeparatorX, 0.0, 0.0);
    for (const auto& [x, y] : loop) points.emplace_back(x, y, 0.0);
    return *this;
  }

  const GPosition* data() const { return points.data(); }
  std::uint32_t size() const { return static_cast<std::uint32_t>(points.size()); }

  std::vector<GPosition> points;
};

// A 4 by 4 square at the origin with a 2 by 2 hole in its middle.
inline Boundary SquareWithHole() {
  Boundary b{{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  return b.Loop({{1, 1}, {1, 3}, {3, 3}, {3, 1}});
}

// One loop of n vertices folded over itself: four passes over the strip [0, 1] x [0, height], up, down, up,
// down, each zig-zagging from one side of the strip to the other, so that in nearly every band between two
// vertices' heights the passes' edges cross a few times. Its decomposition grows linearly with n.
inline std::vector<std::pair<double, double>> FoldedLoop(std::mt19937& rng, int n, double height) {
  const auto uniform = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  const int perPass = std::max(2, n / 4);
  std::vector<std::pair<double, double>> loop;
  for (int pass = 0; pass < 4; ++pass) {
    const bool up = pass % 2 == 0;
    for (int k = 0; k < perPass; ++k) {
      const double t = (k + uniform(0.05, 0.95)) / perPass;
      const double x = (k + pass) % 2 == 0 ? uniform(0.0, 0.25) : uniform(0.75, 1.0);
      loop.emplace_back(x, height * (up ? t : 1 - t));
    }
  }
  return loop;
}

// The area of a boundary of one simple loop.
inline double LoopArea(const Boundary& boundary) {
  const auto& p = boundary.points;
  double twice = 0;
  for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) twice += p[j].x * p[i].y - p[i].x * p[j].y;
  return std::fabs(twice) / 2;
}

inline std::vector<const FillTrapTrapezoid*> Trapezoids(const FillTrap& trap) {
  std::vector<const FillTrapTrapezoid*> all;
  for (std::uint32_t r = 0; r + 1 < trap.RowCount(); ++r) {
    for (const FillTrapTrapezoid* t = trap.Rows()[r].firstTrapezoid; t; t = t->next) all.push_back(t);
  }
  return all;
}

inline double TrapezoidArea(const FillTrapTrapezoid& t) {
  const auto* c = t.corners;
  const double bottom = c[FillTrapTrapezoid::kBottomRight]->x - c[FillTrapTrapezoid::kBottomLeft]->x;
  const double top = c[FillTrapTrapezoid::kTopRight]->x - c[FillTrapTrapezoid::kTopLeft]->x;
  return 0.5 * (bottom + top) * (t.yTop - t.yBottom);
}

inline double TotalArea(const FillTrap& trap) {
  double area = 0;
  for (const FillTrapTrapezoid* t : Trapezoids(trap)) area += TrapezoidArea(*t);
  return area;
}

// Corners on the trapezoid's rows, left of right at both, and the range box over the corners.
inline ::testing::AssertionResult WellFormed(const FillTrapTrapezoid& t) {
  const auto* c = t.corners;
  const FillTrapNode* bl = c[FillTrapTrapezoid::kBottomLeft];
  const FillTrapNode* br = c[FillTrapTrapezoid::kBottomRight];
  const FillTrapNode* tr = c[FillTrapTrapezoid::kTopRight];
  const FillTrapNode* tl = c[FillTrapTrapezoid::kTopLeft];
  if (bl->y != t.yBottom || br->y != t.yBottom || tl->y != t.yTop || tr->y != t.yTop || !(t.yBottom < t.yTop)) {
    return ::testing::AssertionFailure() << "corners off the rows at y " << t.yBottom;
  }
  if (bl->x > br->x || tl->x > tr->x) {
    return ::testing::AssertionFailure() << "twisted trapezoid at y " << t.yBottom << ": bottom " << bl->x << ".."
                                         << br->x << ", top " << tl->x << ".." << tr->x;
  }
  const double lo = std::fmin(std::fmin(bl->x, br->x), std::fmin(tl->x, tr->x));
  const double hi = std::fmax(std::fmax(bl->x, br->x), std::fmax(tl->x, tr->x));
  if (t.xMin != lo || t.xMax != hi) return ::testing::AssertionFailure() << "range box off the corners";
  return ::testing::AssertionSuccess();
}

// Even-odd: whether a point lies inside the loops (no point on an edge).
inline bool InsideLoops(const Boundary& boundary, double x, double y) {
  bool inside = false;
  const auto& p = boundary.points;
  std::size_t start = 0;
  while (start < p.size()) {
    std::size_t end = start;
    while (end < p.size() && p[end].x != kFillLoopSeparatorX) ++end;
    for (std::size_t i = start, j = end - 1; i < end; j = i++) {
      if ((p[i].y > y) != (p[j].y > y) && x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x) {
        inside = !inside;
      }
    }
    start = end + 1;
  }
  return inside;
}

// Whether a point lies inside one of the trapezoids.
inline bool InsideTrapezoids(const FillTrap& trap, double x, double y) {
  for (const FillTrapTrapezoid* t : Trapezoids(trap)) {
    if (y <= t->yBottom || y >= t->yTop) continue;
    const auto* c = t->corners;
    const double s = (y - t->yBottom) / (t->yTop - t->yBottom);
    const double left = c[0]->x + s * (c[3]->x - c[0]->x);
    const double right = c[1]->x + s * (c[2]->x - c[1]->x);
    if (x > left && x < right) return true;
  }
  return false;
}
