// The clearing's plane geometry on its own: what a proof of clearance rests on must never claim more room than
// there is (a distance no larger than the true one), across the angle wrap of an arc's sweep and on degenerate
// segments; the circle through three points refuses points nearly in line; the two indexes find what brute force
// finds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/offset/clearance_plane.h"

namespace {

using bsoffset::clearance::Arc;
using bsoffset::clearance::BoxTree;
using bsoffset::clearance::CellIndex;

constexpr double kDeg = M_PI / 180;

TEST(ClearancePlane, SegmentDistanceNeverExceedsTheTrueOne) {
  struct Row {
    const char *what;
    double a[2], b[2], c[2], d[2], true2;
    bool exact;  // else only a lower bound is promised (segments that may meet, to the orientation test)
  } rows[] = {
      {"crossing", {0, 0}, {2, 2}, {0, 2}, {2, 0}, 0, true},
      {"touching inside", {0, 0}, {2, 0}, {1, 0}, {1, 1}, 0, true},
      {"sharing an end", {0, 0}, {1, 0}, {1, 0}, {2, 1}, 0, true},
      {"parallel", {0, 0}, {2, 0}, {0, 1}, {2, 1}, 1, true},
      {"apart at the ends", {0, 0}, {1, 0}, {2, 1}, {3, 5}, 2, true},
      {"a point beside a segment", {1, 1}, {1, 1}, {0, 0}, {2, 0}, 1, true},
      {"in line and apart", {0, 0}, {1, 0}, {3, 0}, {4, 0}, 4, false},
      {"two points", {0, 0}, {0, 0}, {3, 4}, {3, 4}, 25, false},
  };
  for (const Row &r : rows) {
    for (int swap = 0; swap < 2; ++swap) {
      const double got = swap ? bsoffset::clearance::seg_seg2(r.c, r.d, r.a, r.b)
                              : bsoffset::clearance::seg_seg2(r.a, r.b, r.c, r.d);
      if (r.exact) {
        EXPECT_DOUBLE_EQ(got, r.true2) << r.what;
      }
      EXPECT_LE(got, r.true2) << r.what;
      EXPECT_GE(got, 0.0) << r.what;
    }
  }
}

// Where a segment enters and leaves a leg's band (the leg (0, 0) (4, 0), width 1): through the strip, along the
// leg's line through both end discs, tangent to the band's edge (not inside), grazing it 1e-9 inside (half the
// chord kept to its digits), from a point on the edge inwards and outwards (the line inside only before the
// segment starts), and a neighbour's band without the half-plane beyond the end it shares (the disc about that
// end gone, the strip's end square at it).
TEST(ClearancePlane, SegmentsEnterAndLeaveBandsInClosedForm) {
  const double y = 1 - 1e-9, graze = std::sqrt((1 - y) * (1 + y));
  struct Row {
    const char *what;
    double a[2], b[2];
    int shared;
    bool found;
    double f0, f1;
  } rows[] = {
      {"across the strip", {2, -3}, {2, 3}, -1, true, 1.0 / 3, 2.0 / 3},
      {"along the leg's line", {-3, 0}, {7, 0}, -1, true, 0.2, 0.8},
      {"tangent to the edge", {-2, 1}, {6, 1}, -1, false, 0, 0},
      {"tangent to an end disc", {-1, -2}, {-1, 2}, -1, false, 0, 0},
      {"grazing inside", {-2, y}, {6, y}, -1, true, (2 - graze) / 8, (6 + graze) / 8},
      {"from the edge inwards", {2, 1}, {2, -1}, -1, true, 0, 1},
      {"from the edge outwards, inside only before it", {2, 1}, {2, 3}, -1, true, -1, 0},
      {"a neighbour at its start", {-3, 0.5}, {3, 0.5}, 0, true, 0.5, (7 + std::sqrt(0.75)) / 6},
      {"the same, not a neighbour", {-3, 0.5}, {3, 0.5}, -1, true, (3 - std::sqrt(0.75)) / 6,
       (7 + std::sqrt(0.75)) / 6},
      {"a neighbour at its end", {5.5, 0.5}, {-0.5, 0.5}, 1, true, 0.25, (5.5 + std::sqrt(0.75)) / 6},
      {"a neighbour at both ends", {-3, 0}, {7, 0}, 2, true, 0.3, 0.7},
      {"beyond the shared end only", {-1.5, -2}, {-0.5, 2}, 0, false, 0, 0},
  };
  const double p[2] = {0, 0}, q[2] = {4, 0};
  for (const Row &r : rows) {
    double f[2] = {NAN, NAN};
    const bool found = bsoffset::clearance::line_in_band(r.a, r.b, p, q, 1.0, r.shared, f);
    EXPECT_EQ(found, r.found) << r.what;
    if (!found || !r.found) continue;
    EXPECT_NEAR(f[0], r.f0, 1e-13) << r.what;
    EXPECT_NEAR(f[1], r.f1, 1e-13) << r.what;
  }
  // Two lines crossing, and two parallel.
  const double a[2] = {0, 0}, b[2] = {4, 4}, c[2] = {0, 3}, d[2] = {3, 0}, e[2] = {1, 1}, g[2] = {5, 5};
  double f = 0;
  EXPECT_TRUE(bsoffset::clearance::line_cross(a, b, c, d, &f));
  EXPECT_DOUBLE_EQ(f, 0.375);
  EXPECT_FALSE(bsoffset::clearance::line_cross(a, b, e, g, &f));
}

Arc make_arc(double cx, double cy, double r, double a0, double sweep) {
  Arc arc;
  arc.c[0] = cx, arc.c[1] = cy, arc.r = r, arc.a0 = a0, arc.sweep = sweep;
  for (int e = 0; e < 2; ++e) {
    const double a = a0 + e * sweep;
    arc.ends[e][0] = cx + r * std::cos(a), arc.ends[e][1] = cy + r * std::sin(a);
  }
  return arc;
}

std::vector<std::array<double, 2>> samples(const Arc &arc, int n) {
  std::vector<std::array<double, 2>> pts;
  for (int i = 0; i <= n; ++i) {
    const double a = arc.a0 + arc.sweep * i / n;
    pts.push_back({arc.c[0] + arc.r * std::cos(a), arc.c[1] + arc.r * std::sin(a)});
  }
  return pts;
}

// Point, segment and arc distances of arcs whose sweep passes the angle wrap (through 180 degrees, through 0, or
// nearly a whole turn) against dense samples of the arc: never above the sampled distance, and within its spacing.
TEST(ClearancePlane, ArcDistancesAcrossTheWrapAgainstSamples) {
  const Arc arcs[] = {make_arc(0, 0, 1, 170 * kDeg, 40 * kDeg),  make_arc(0, 0, 1, 190 * kDeg, -40 * kDeg),
                      make_arc(1, 2, 3, -10 * kDeg, 20 * kDeg),  make_arc(0, 0, 2, 100 * kDeg, 350 * kDeg),
                      make_arc(-1, 0, 0.5, 350 * kDeg, -340 * kDeg)};
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> coord(-4, 4);
  const int n = 1500;
  for (const Arc &arc : arcs) {
    const auto on_arc = samples(arc, n);
    const double spacing = arc.r * std::fabs(arc.sweep) / n;
    const auto sampled_to = [&](const double p[2]) {
      double best = INFINITY;
      for (const auto &q : on_arc) best = std::min(best, std::hypot(p[0] - q[0], p[1] - q[1]));
      return best;
    };
    for (int t = 0; t < 25; ++t) {
      const double p[2] = {coord(gen), coord(gen)}, q[2] = {coord(gen), coord(gen)};
      const double slow_point = sampled_to(p);
      EXPECT_LE(arc.to_point(p), slow_point + 1e-12);
      EXPECT_NEAR(arc.to_point(p), slow_point, spacing);
      double slow_segment = INFINITY;
      const int m = 150;
      for (int i = 0; i <= m; ++i) {
        const double x[2] = {p[0] + (q[0] - p[0]) * i / m, p[1] + (q[1] - p[1]) * i / m};
        slow_segment = std::min(slow_segment, sampled_to(x));
      }
      const double fast = arc.to_segment(p, q);
      EXPECT_LE(fast, slow_segment + 1e-12);
      EXPECT_NEAR(fast, slow_segment, spacing + std::hypot(q[0] - p[0], q[1] - p[1]) / m);
    }
    for (const Arc &other : arcs) {
      double slow = INFINITY;
      for (const auto &q : samples(other, 500)) slow = std::min(slow, sampled_to(q.data()));
      const double fast = arc.to_arc(other);
      EXPECT_LE(fast, slow + 1e-12);
      EXPECT_NEAR(fast, slow, spacing + other.r * std::fabs(other.sweep) / 500);
    }
  }
}

TEST(ClearancePlane, CircleThroughRefusesPointsNearlyInLine) {
  struct Row {
    const char *what;
    double s[2], m[2], e[2];
    bool found;
    double r;
  } rows[] = {
      {"a shallow bow", {0, 0}, {1, 1e-3}, {2, 0}, true, (1 + 1e-6) / 2e-3},
      {"the same far out", {1e7, 1e7}, {1e7 + 1, 1e7 + 1e-3}, {1e7 + 2, 1e7}, true, (1 + 1e-6) / 2e-3},
      {"in line within the ratio", {0, 0}, {1, 1e-12}, {2, 0}, false, 0},
      {"in line", {0, 0}, {1, 1}, {3, 3}, false, 0},
      {"two points at one", {0, 0}, {0, 0}, {2, 0}, false, 0},
  };
  for (const Row &r : rows) {
    double c[2] = {0, 0}, rad = 0;
    ASSERT_EQ(bsoffset::clearance::circle_through(r.s, r.m, r.e, 1e-9, c, &rad), r.found) << r.what;
    if (!r.found) continue;
    EXPECT_NEAR(rad, r.r, 1e-5 * r.r) << r.what;
    for (const double *p : {r.s, r.m, r.e})
      EXPECT_NEAR(std::hypot(p[0] - c[0], p[1] - c[1]), rad, 1e-5 * rad) << r.what;
  }
}

// Boxes along a wandering chain (some empty, as a leg with no offset is entered) with reaches; every query's answer
// against the plain rule for each box.
TEST(ClearancePlane, BoxTreeFindsWhatBruteForceFinds) {
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> step(-1, 1), size(0, 0.8), reach(0, 0.5), unit(0, 1);
  for (const int count : {1, 2, 3, 7, 64, 500}) {
    struct Box {
      double lo[2], hi[2], reach;
    };
    std::vector<Box> boxes;
    BoxTree tree;
    double at[2] = {0, 0};
    for (int i = 0; i < count; ++i) {
      Box b{};
      for (int k = 0; k < 2; ++k) at[k] += step(gen), b.lo[k] = at[k], b.hi[k] = at[k] + size(gen);
      if (unit(gen) < 0.1) b.lo[0] = b.lo[1] = INFINITY, b.hi[0] = b.hi[1] = -INFINITY;
      b.reach = reach(gen);
      boxes.push_back(b);
      tree.add(b.lo, b.hi, b.reach);
    }
    tree.build();
    for (int t = 0; t < 100; ++t) {
      double lo[2], hi[2];
      for (int k = 0; k < 2; ++k) lo[k] = at[k] * unit(gen) + 3 * step(gen), hi[k] = lo[k] + size(gen);
      const double bound = 2 * unit(gen);
      std::vector<int> slow;
      for (int i = 0; i < count; ++i) {
        const Box &b = boxes[i];
        const double dx = std::max({b.lo[0] - hi[0], lo[0] - b.hi[0], 0.0});
        const double dy = std::max({b.lo[1] - hi[1], lo[1] - b.hi[1], 0.0});
        if (std::sqrt(dx * dx + dy * dy) - b.reach < bound) slow.push_back(i);
      }
      std::vector<int> fast = tree.near(lo, hi, bound);
      std::sort(fast.begin(), fast.end());
      EXPECT_EQ(fast, slow) << count << " boxes, query " << t;
    }
  }
}

// Starts spread over a region (and one too far out to take a cell); every start within half the side of a query
// point is found, the answer ascending and with nothing farther than the cells beside the point's.
TEST(ClearancePlane, CellIndexFindsEveryStartWithinHalfTheSide) {
  struct Item {
    double p[2][3];
  };
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> coord(-3, 3);
  for (const double side : {0.05, 0.4, 3.0}) {
    std::vector<Item> items(400);
    for (Item &it : items) it.p[0][0] = coord(gen), it.p[0][1] = coord(gen), it.p[0][2] = 0;
    items[17].p[0][0] = 1e300;
    const CellIndex index(items, side);
    std::vector<int> fast;
    for (int t = 0; t < 300; ++t) {
      // Queries on starts themselves, and beside them by up to the side.
      const Item &near_it = items[t % items.size() == 17 ? 0 : t % items.size()];
      const double p[3] = {near_it.p[0][0] + side * coord(gen) / 3, near_it.p[0][1] + side * coord(gen) / 3, 0};
      index.near(p, &fast);
      EXPECT_TRUE(std::is_sorted(fast.begin(), fast.end()));
      EXPECT_TRUE(std::adjacent_find(fast.begin(), fast.end()) == fast.end());
      for (int q = 0; q < static_cast<int>(items.size()); ++q) {
        const double dx = items[q].p[0][0] - p[0], dy = items[q].p[0][1] - p[1];
        const bool listed = std::binary_search(fast.begin(), fast.end(), q);
        if (std::hypot(dx, dy) <= side / 2) {
          EXPECT_TRUE(listed) << "side " << side << " start " << q;
        }
        if (listed) {
          EXPECT_TRUE(std::fabs(dx) < 2 * side && std::fabs(dy) < 2 * side) << "side " << side;
        }
      }
    }
  }
}

}  // namespace
