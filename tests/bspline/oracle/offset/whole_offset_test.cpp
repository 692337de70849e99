// The offset of a whole curve beside the peers: random zig-zag polylines against GEOS's offset curve with mitre
// joins (corner code 0) and round joins (code 1), and smooth cubics whose knots were raised to corner knots (cut
// into pieces that meet without corners) against OpenCASCADE's exact offset curve.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/offset.h"
#include "tests/bspline/oracle/offset/offset_checks.h"
#include "tests/bspline/oracle/peer_geos.h"

namespace {

const double kUp[3] = {0, 0, 1};

// The distance of (x, y) from the line through the points xy (x, y pairs).
double to_line(const std::vector<double> &xy, double x, double y) {
  double best = INFINITY;
  for (std::size_t i = 0; i + 3 < xy.size(); i += 2) {
    const double ax = xy[i], ay = xy[i + 1], bx = xy[i + 2] - ax, by = xy[i + 3] - ay, len = bx * bx + by * by;
    const double t = len > 0 ? std::fmax(0, std::fmin(1, ((x - ax) * bx + (y - ay) * by) / len)) : 0;
    best = std::fmin(best, std::hypot(x - ax - t * bx, y - ay - t * by));
  }
  return best;
}

TEST(WholeOffsetOracle, ZigZagsAgreeWithGeosMitreAndRoundJoins) {
  std::mt19937 rng(8902);
  std::uniform_real_distribution<double> step(2.5, 4), amp(0.5, 1.5);
  const double d = 0.4;
  for (int trial = 0; trial < 20; ++trial) {
    // x rising, y alternating: legs long beside d and turns of at most about 110 degrees, so that neither offset
    // crosses itself.
    const int n = 3 + trial * 47 / 19;
    std::vector<double> p, k = {0};
    for (int i = 0; i < n; ++i) {
      p.insert(p.end(), {i ? p[3 * i - 3] + step(rng) : 0, (i % 2 ? 1 : -1) * amp(rng), 0.0});
      k.push_back(i);
    }
    k.push_back(n - 1);
    const TestCurve c(2, p, k);
    for (int side : {1, -1})
      for (int code : {0, 1}) {
        VOQbsp_curve *out = nullptr;
        int rc = 0;
        BSxycvoff(&c.cv, d, static_cast<std::int16_t>(code), kUp, side, &out, &rc);
        ASSERT_EQ(rc, 0) << trial;
        // side +1 about +z lies to the right, where GEOS takes a negative distance.
        const std::vector<double> peer = geos_offset(c, -side * d, code == 1);
        if (code == 0) {
          ASSERT_EQ(out->num_poles * 2, static_cast<int>(peer.size())) << trial;
          for (int i = 0; i < out->num_poles; ++i)
            for (int j = 0; j < 2; ++j) EXPECT_NEAR(out->poles[3 * i + j], peer[2 * i + j], 1e-9) << trial;
        } else {
          // Ours, sampled span by span (a corner arc has a parameter interval of a few knot tolerances), lies
          // within the peer's chord error of its line; the peer's line follows ours (no part left out).
          std::vector<double> ours;
          for (int sp = out->order - 1; sp < out->num_poles; ++sp)
            for (int j = 0; j <= 64 && out->knots[sp + 1] > out->knots[sp]; ++j) {
              double q[3];
              BScveval_n(out, out->knots[sp] + (out->knots[sp + 1] - out->knots[sp]) * j / 64, 0, q, &rc);
              ours.insert(ours.end(), {q[0], q[1]});
            }
          double chord = 0;
          for (std::size_t i = 0; i + 3 < peer.size(); i += 2) {
            const double half = std::hypot(peer[i + 2] - peer[i], peer[i + 3] - peer[i + 1]) / 2;
            if (half < d / 2) chord = std::fmax(chord, d - std::sqrt(d * d - half * half));
          }
          for (std::size_t i = 0; i < ours.size(); i += 2)
            EXPECT_LE(to_line(peer, ours[i], ours[i + 1]), chord + 1e-9) << trial;
          for (std::size_t i = 0; i < peer.size(); i += 2) EXPECT_LE(to_line(ours, peer[i], peer[i + 1]), 1e-4);
        }
        BSfreevoqcv(out, &rc);
      }
  }
}

TEST(WholeOffsetOracle, SmoothCubicCutAtCornerKnotsAgreesWithOpenCascade) {
  std::mt19937 rng(8903);
  std::uniform_real_distribution<double> turn(-0.5, 0.5);
  const double tol = BStoltab[bstol::offset_tol], d = 0.3;
  for (int trial = 0; trial < 12; ++trial) {
    const int n = 5 + trial % 4;
    std::vector<double> p, knots = {0, 0, 0, 0};
    double angle = 0, x = 0, y = 0;
    for (int i = 0; i < n; ++i) {
      p.insert(p.end(), {x, y, 0.0});
      angle += turn(rng);
      x += std::cos(angle), y += std::sin(angle);
    }
    for (int i = 1; i <= n - 4; ++i) knots.push_back(i);
    knots.insert(knots.end(), 4, n - 3);
    const TestCurve c(4, p, knots);
    VOQbsp_curve *cut = nullptr;
    int rc = 0;
    BSallocvoqcv(4, n, 0, 0, &cut, &rc);
    BScv_copy(&rc, &c.cv, cut);
    for (int i = 1; i <= n - 4 && rc == 0; ++i) BSadd_1kt_tot(cut, i, 3, BSFALSE, &cut, &rc);
    ASSERT_EQ(rc, 0);
    for (int side : {1, -1}) offsets_oracle::CheckWholeOffset(c, cut, side, 0, d, 2 * tol, std::to_string(trial));
    BSfreevoqcv(cut, &rc);
  }
}

}  // namespace
