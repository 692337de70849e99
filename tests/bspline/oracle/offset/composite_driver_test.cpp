// The composite offset driver beside the peers: random open chains of lines and arcs against OpenCASCADE's wire
// offset and (line chains) GEOS's offset curve, sharp corners exactly and round ones within the peers' chord error;
// line chains whose legs are short beside the distance against GEOS's mitred offset curve; closed polygons against
// Clipper's mitred offset on its integer grid; and what remains of a chain whose offset crosses itself, once its
// loops are cut out, checked for crossings by OpenCASCADE.
#include <gtest/gtest.h>

#include <Geom2dAPI_InterCurveCurve.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/bspline/oracle/curve_pairs.h"
#include "tests/bspline/oracle/peer_chains.h"

namespace {

using chains::Chain;
using chains::Ours;

const double kD = 0.25;

// Sides both ways and both corner options on chains of 2 to 30 components, half of them lines only. No arc
// follows an arc: there OpenCASCADE's intersection join takes the circles' other crossing and breaks its wire.
// Where its answer misses the exact offset anyway, ours is held to the exact offset alone.
TEST(CompositeDriverOracle, OpenChainsAgreeWithOpenCascadeAndGeos) {
  std::mt19937 rng(9110);
  // GEOS draws a round corner by chords of about a 64th of a quadrant, their count rounded to the nearest whole
  // (a corner under half that angle gets one chord): a chord spans at most 1.5 of them, and lies this far inside.
  const double chord = kD * (1 - std::cos(1.5 * M_PI / 256));
  int geos_cases = 0, occt_astray = 0;
  for (int t = 0; t < 16; ++t) {
    const Chain c = chains::random_chain(rng, 2 + t * 28 / 15, t % 2 == 1);
    for (const BSboolean right : {BSTRUE, BSFALSE})
      for (const std::int16_t option : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "chain " << t << " right " << int(right) << " option " << option);
        const Ours ours(c, right, kD, option);
        ASSERT_EQ(ours.rc, 0);
        EXPECT_EQ(ours.loops, 0);
        const double d = right ? kD : -kD;
        const chains::Path occt = chains::occt_offset(c, d, option == 1);
        if (chains::exact_miss(c, d, chains::samples_of(occt), [&](double x, double y) { return occt.distance(x, y); }) >
            1e-9) {
          ++occt_astray;
          EXPECT_LE(chains::exact_miss(c, d, ours.samples(), [&](double x, double y) { return ours.distance(x, y); }),
                    1e-9);
        } else {
          EXPECT_LE(ours.to(occt), 1e-9);
          EXPECT_LE(ours.from(occt), 1e-9);
        }
        if (!c.lines_only) continue;
        ++geos_cases;
        const chains::Path geos = chains::geos_offset_path(c, d, option == 1);
        const double tol = option == 1 ? chord + 1e-9 : 1e-9;
        EXPECT_LE(ours.to(geos), tol);
        EXPECT_LE(ours.from(geos), tol);
      }
  }
  EXPECT_EQ(geos_cases, 32);
  EXPECT_LE(occt_astray, 2);
}

// The chain of segments through the points x0, y0, x1, y1, ...
Chain polyline_chain(const std::vector<double> &xy) {
  Chain c;
  for (size_t k = 2; k < xy.size(); k += 2) c.add_line(xy[k - 2], xy[k - 1], xy[k], xy[k + 1]);
  c.path.index();
  return c;
}

// A chain of n legs, each shorter than twice d: rectilinear (legs along x, to the right, and along y, up or down,
// in turn) or a zig-zag (points to the right, in turn above and below the axis). With a quantum every length is a
// multiple of it, so that offset lines fall on each other and corners on other legs' lines. Closed, it runs on
// from its last point down to 20 d below the axis, back and up to its start.
Chain short_legs(std::mt19937 &rng, int n, bool zigzag, double d, double quantum, bool closed) {
  std::uniform_real_distribution<double> leg(0.05 * d, 1.95 * d), step(0.05 * d, 1.2 * d), amp(0.05 * d, 0.6 * d);
  const auto q = [&](double v) { return quantum > 0 ? std::max(quantum, std::round(v / quantum) * quantum) : v; };
  std::vector<double> xy{0, 0};
  for (int k = 0; k < n; ++k) {
    const double x = xy[xy.size() - 2], y = xy.back(), sign = std::bernoulli_distribution(0.5)(rng) ? 1 : -1;
    if (zigzag)
      xy.insert(xy.end(), {x + q(step(rng)), (k % 2 ? -1 : 1) * q(amp(rng))});
    else
      xy.insert(xy.end(), {k % 2 ? x : x + q(leg(rng)), k % 2 ? y + sign * q(leg(rng)) : y});
  }
  if (closed) xy.insert(xy.end(), {xy[xy.size() - 2] + d, -20 * d, -d, -20 * d, 0, 0});
  Chain c = polyline_chain(xy);
  c.closed = closed;
  return c;
}

// The corners of our offset: the first piece's start and each piece's end, leaving out pieces of no length and
// points where the offset runs straight on.
std::vector<std::array<double, 2>> corners_of(const Ours &o) {
  std::vector<std::array<double, 2>> out;
  for (int k = 0; k < o.m; ++k)
    for (const bool at_end : {false, true}) {
      const VOQbsp_curve *cv = o.pieces[k];
      double p[3];
      ref_point(*cv, at_end ? cv->knots[cv->num_poles] : cv->knots[cv->order - 1], p);
      if (!out.empty() && std::hypot(p[0] - out.back()[0], p[1] - out.back()[1]) < 1e-9) continue;
      if (out.size() >= 2) {
        const auto &a = out[out.size() - 2], &b = out.back();
        if (std::fabs((b[0] - a[0]) * (p[1] - b[1]) - (b[1] - a[1]) * (p[0] - b[0])) < 1e-12) out.pop_back();
      }
      out.push_back({p[0], p[1]});
    }
  return out;
}

// Our offset of the chain by d keeps the distance less the offset tolerance; where GEOS's mitred offset curve is
// one line that keeps the distance itself (its flat ends can reach back to the chain's ends), ours has its ends
// and its corners. An offset of which nothing is left fails with -12, where GEOS has none either or comes closer.
// The failure, or nothing; *compared counts the offsets held to GEOS's, and *corners_only tells that only corners
// between matching ends differ.
std::string short_leg_fault(const Chain &c, const Ours &ours, BSboolean right, double d, int *compared,
                            bool *corners_only) {
  *corners_only = false;
  int lines = 0;
  const std::vector<double> xy = geos_offset(*chains::corners(c, 1), right ? -d : d, false, &lines);
  const chains::Path geos = chains::polyline_path(xy, false);
  double geos_near = INFINITY, near = INFINITY;
  for (const auto &q : chains::samples_of(geos)) geos_near = std::min(geos_near, c.path.distance(q[0], q[1]));
  const bool held = lines == 1 && geos_near >= d * (1 - 1e-9);
  if (ours.rc == BSRC_NO_JOIN && ours.m == 0) return held ? "nothing left where GEOS keeps the distance" : "";
  if (ours.rc != 0) return "rc " + std::to_string(ours.rc);
  for (const auto &q : ours.samples()) near = std::min(near, c.path.distance(q[0], q[1]));
  if (!(near >= d - BStoltab[bstol::offset_tol])) return "comes within " + std::to_string(near);
  if (!held) return "";
  ++*compared;
  const auto ends = corners_of(ours);
  const double first = std::hypot(ends.front()[0] - xy[0], ends.front()[1] - xy[1]);
  const double last = std::hypot(ends.back()[0] - xy[xy.size() - 2], ends.back()[1] - xy.back());
  const double gap = std::max({ours.to(geos), ours.from(geos), first, last});
  *corners_only = std::max(first, last) <= 1e-9;
  char why[80];
  std::snprintf(why, sizeof why, "strays %.3g from GEOS", gap);
  return gap > 1e-9 ? why : "";
}

// Legs shorter than twice the distance: a corner that turns towards the offset can leave a leg no room, or only a
// stretch of its line beyond its own offset, and a corner's mitre can reach past a neighbouring line.
TEST(CompositeDriverOracle, ShortLegsKeepTheDistanceAndTheMitredCorners) {
  const struct {
    const char *what;
    std::vector<double> xy;
    double d;
    std::vector<std::array<double, 2>> corners;
  } rows[] = {
      // The middle leg's offset starts beyond its own end and runs on to the next corner.
      {"step", {0, 0, 10, 0, 10, 1, 20, 1}, 2, {{0, 2}, {8, 2}, {8, 3}, {20, 3}}},
      // Each valley leaves the leg after it only a stretch of its line beyond its own offset.
      {"zig-zag", {0, 0, 1, 1, 2, 0, 3, 1, 4, 0}, 2,
       {{-M_SQRT2, M_SQRT2}, {1, 1 + 2 * M_SQRT2}, {2, 2 * M_SQRT2}, {3, 1 + 2 * M_SQRT2}, {4 + M_SQRT2, M_SQRT2}}},
      // A notch narrower than twice the distance leaves nothing of its three legs.
      {"notch", {0, 0, 10, 0, 10, -1, 11, -1, 11, 0, 20, 0}, 2, {{0, 2}, {20, 2}}},
      // The bottom of a notch vanishes with its shorter wall; the longer wall still steps between the two sides.
      {"uneven notch", {0, 0, 1, 0, 1, -0.75, 2.5, -0.75, 2.5, 0.25, 4, 0.25}, 1, {{0, 1}, {1.5, 1}, {1.5, 1.25},
       {4, 1.25}}},
  };
  int compared = 0;
  for (const auto &r : rows) {
    SCOPED_TRACE(r.what);
    const Chain c = polyline_chain(r.xy);
    const Ours ours(c, BSFALSE, r.d, 0, 1);
    bool corners_only = false;
    EXPECT_EQ(short_leg_fault(c, ours, BSFALSE, r.d, &compared, &corners_only), "");
    const auto corners = corners_of(ours);
    EXPECT_EQ(corners.size(), r.corners.size());
    for (size_t k = 0; k < std::min(corners.size(), r.corners.size()); ++k)
      EXPECT_LT(std::hypot(corners[k][0] - r.corners[k][0], corners[k][1] - r.corners[k][1]), 1e-12) << k;
  }
  EXPECT_EQ(compared, 2);  // GEOS runs the zig-zag's flat ends, and the uneven notch's first, back to the chain
  // Chains of 3 to 12 legs; every other pair with lengths in quarters of the distance. Closed ones are judged by
  // their distance alone.
  std::mt19937 rng(122);
  int failing = 0, spikes = 0, open = 0, closed = 0;
  compared = 0;
  for (int t = 0; t < 300; ++t) {
    const bool zigzag = t % 2 == 1;
    const Chain c = short_legs(rng, 3 + t % 10, zigzag, 1.0, t % 4 >= 2 ? 0.25 : 0.0, t >= 200);
    for (const BSboolean right : {BSTRUE, BSFALSE}) {
      if (c.closed) {
        const Ours ours(c, right, 1.0, 0, 2);
        ++closed;
        double near = INFINITY;
        for (const auto &q : ours.samples()) near = std::min(near, c.path.distance(q[0], q[1]));
        if ((ours.rc != 0 || !(near >= 1.0 - BStoltab[bstol::offset_tol])) && ++failing <= 5)
          ADD_FAILURE() << "closed " << t << " right " << int(right) << ": rc " << ours.rc << ", comes within " << near;
        continue;
      }
      const Ours ours(c, right, 1.0, 0, static_cast<std::int16_t>(1 + t % 2));
      bool corners_only = false;
      const std::string fault = short_leg_fault(c, ours, right, 1.0, &compared, &corners_only);
      ++open;
      // GEOS's buffer keeps the mitre of a corner between two legs that vanished where it reaches out past the
      // offset of a longer leg; ours, following the legs as the distance grows, has no such corner.
      if (!fault.empty() && corners_only && zigzag) {
        ++spikes;
        continue;
      }
      if (!fault.empty() && ++failing <= 5)
        ADD_FAILURE() << (zigzag ? "zig-zag " : "rectilinear ") << t << " right " << int(right) << ": " << fault;
    }
  }
  EXPECT_EQ(failing, 0) << "of " << open + closed;
  EXPECT_LE(spikes, open / 50);
  EXPECT_GT(compared, open / 4);
}

// Star-shaped polygons of 3 to 30 corners, offset out and in. Clipper rounds the corners to its grid of 1e-6, and
// its mitres carry that rounding out along the corner's bisector.
TEST(CompositeDriverOracle, ClosedLineChainsAgreeWithClipper) {
  std::mt19937 rng(9111);
  for (int t = 0; t < 10; ++t) {
    const Chain c = chains::random_polygon(rng, 3 + t * 3);
    for (const BSboolean out : {BSTRUE, BSFALSE}) {
      SCOPED_TRACE(testing::Message() << "polygon " << t << " out " << int(out));
      const Ours ours(c, out, 0.1, 0);
      ASSERT_EQ(ours.rc, 0);
      EXPECT_EQ(ours.m, 3 + t * 3);
      const chains::Path clipper = chains::clipper_offset(c, out ? 0.1 : -0.1);
      ASSERT_FALSE(clipper.elements.empty());
      EXPECT_LE(ours.to(clipper), 5e-6);
      EXPECT_LE(ours.from(clipper), 5e-6);
    }
  }
}

// OpenCASCADE's plane curve of one of our pieces.
Handle(Geom2d_BSplineCurve) occt_piece(const VOQbsp_curve *cv) {
  std::vector<double> xyz, w;
  for (int i = 0; i < cv->num_poles; ++i) {
    const double wi = cv->rational ? cv->weights[i] : 1.0;
    for (int c = 0; c < 3; ++c) xyz.push_back(cv->poles[3 * i + c] / wi);
    if (cv->rational) w.push_back(wi);
  }
  return cvpairs::Occt(TestCurve(cv->order, xyz, std::vector<double>(cv->knots, cv->knots + cv->num_poles + cv->order), w));
}

// Points where two of the pieces meet, other than the end one shares with the start of the next.
int crossings(const Ours &o) {
  int count = 0;
  for (int i = 0; i < o.m; ++i)
    for (int j = i + 1; j < o.m; ++j) {
      Geom2dAPI_InterCurveCurve x(occt_piece(o.pieces[i]), occt_piece(o.pieces[j]), 1e-7);
      count += x.NbSegments();
      for (int k = 1; k <= x.NbPoints(); ++k) {
        const VOQbsp_curve *next = o.pieces[j];
        double s[3];
        ref_point(*next, next->knots[next->order - 1], s);
        count += !(j == i + 1 && x.Point(k).Distance(gp_Pnt2d(s[0], s[1])) < 1e-7);
      }
    }
  return count;
}

// Chains that turn back across themselves, offset inwards: the joined offset (loop mode 0) crosses itself, and
// what remains once the loops are cut out (loop mode 1) does not.
TEST(CompositeDriverOracle, PiecesLeftAfterTheLoopsDoNotCross) {
  const struct {
    const char *what;
    std::vector<double> xy;
    BSboolean right;
    double d;
  } rows[] = {
      {"spiral", {0, 0, 10, 0, 10, 10, 5, 10, 5, -5}, BSTRUE, 1},
      {"almost closed", {0, 0, 10, 0, 10, 3, 0, 3, 0, 0.5}, BSFALSE, 1},
      {"two turns", {0, 0, 8, 0, 8, 6, 2, 6, 2, 2, 6, 2, 6, -3}, BSFALSE, 0.8},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.what);
    const Chain c = polyline_chain(r.xy);
    const Ours joined(c, r.right, r.d, 0, 0), cut(c, r.right, r.d, 0, 1);
    ASSERT_EQ(joined.rc, 0);
    ASSERT_EQ(cut.rc, 0);
    EXPECT_GT(crossings(joined), 0);
    EXPECT_GT(cut.loops, 0);
    EXPECT_EQ(crossings(cut), 0);
  }
}

}  // namespace
