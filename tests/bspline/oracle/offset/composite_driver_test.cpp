// The composite offset driver beside the peers: random open chains of lines and arcs against OpenCASCADE's wire
// offset and (line chains) GEOS's offset curve, sharp corners exactly and round ones within the peers' chord error;
// closed polygons against Clipper's mitred offset on its integer grid; and what remains of a chain whose offset
// crosses itself, once its loops are cut out, checked for crossings by OpenCASCADE.
#include <gtest/gtest.h>

#include <Geom2dAPI_InterCurveCurve.hxx>

#include <cmath>
#include <memory>
#include <random>
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
    Chain c;
    for (size_t k = 2; k < r.xy.size(); k += 2) c.add_line(r.xy[k - 2], r.xy[k - 1], r.xy[k], r.xy[k + 1]);
    c.path.index();
    const Ours joined(c, r.right, r.d, 0, 0), cut(c, r.right, r.d, 0, 1);
    ASSERT_EQ(joined.rc, 0);
    ASSERT_EQ(cut.rc, 0);
    EXPECT_GT(crossings(joined), 0);
    EXPECT_GT(cut.loops, 0);
    EXPECT_EQ(crossings(cut), 0);
  }
}

}  // namespace
