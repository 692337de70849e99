// The variable-distance offset of cubics under a linear law, against the definition: the offset at parameter t
// is P(t) + D(s(t)) N(t), with s the arc-length position in the xy plane measured by OpenCASCADE and D the law.
// At the fit's nodes the result passes through those points; between them it keeps within 2e-3 of that curve.
#include <GCPnts_AbscissaPoint.hxx>
#include <GeomAdaptor_Curve.hxx>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "bspline/offset.h"
#include "tests/bspline/oracle/peer_curves.h"

TEST(VariableOffsetOracle, CubicsFollowTheLawAlongTheirArcLength) {
  std::mt19937 rng(217);
  std::uniform_real_distribution<double> coord(-1, 1), dist(0.05, 0.6);
  for (int trial = 0; trial < 12; ++trial) {
    SCOPED_TRACE(trial);
    // One to four spans, bending gently enough that the offsets stay free of loops.
    const int spans = 1 + trial % 4, P = spans + 3;
    std::vector<double> poles, flat, knots(4, 0.0);
    for (int i = 0; i < P; ++i) poles.insert(poles.end(), {4.0 * i + coord(rng), 2 * coord(rng), coord(rng)});
    for (int j = 1; j < spans; ++j) knots.push_back(static_cast<double>(j) / spans);
    knots.resize(P + 4, 1.0);
    flat = poles;
    for (int i = 0; i < P; ++i) flat[3 * i + 2] = 0;  // lengths are measured in the plane of the offset
    TestCurve c(4, poles, knots);
    OcctCurve occ(c), occ_flat(TestCurve(4, flat, knots));
    GeomAdaptor_Curve adaptor(occ_flat.cv);
    const double total = GCPnts_AbscissaPoint::Length(adaptor, 0.0, 1.0);
    const double d0 = dist(rng), d1 = dist(rng), u0 = 0.2, u1 = 0.9, sign = trial % 2 ? 1.0 : -1.0;
    auto ideal = [&](double t, double out[3]) {
      const double D = d0 + (d1 - d0) * (u0 + (u1 - u0) * GCPnts_AbscissaPoint::Length(adaptor, 0.0, t) / total);
      gp_Pnt p;
      gp_Vec v;
      occ.cv->D1(t, p, v);
      const double len = std::hypot(v.X(), v.Y());
      out[0] = p.X() + sign * D * v.Y() / len, out[1] = p.Y() - sign * D * v.X() / len, out[2] = p.Z();
    };
    const BSdistlaw law{1, nullptr, 0, 0};
    VOQbsp_curve *out = nullptr;
    int rc = 0;
    BSvrcvofntp(&c.cv, nullptr, 1, nullptr, trial % 2, d0, d1, &law, u0, u1, &out, &rc);
    ASSERT_EQ(rc, 0);
    double got[3], want[3], a[3], b[3];
    for (int i = 0; i < out->num_poles; ++i) {
      const double t = (out->knots[i + 1] + out->knots[i + 2] + out->knots[i + 3]) / 3;
      BScveval_n(out, t, 0, got, &rc);
      ideal(t, want);
      EXPECT_LT(std::hypot(got[0] - want[0], got[1] - want[1], got[2] - want[2]), 1e-6) << t;
    }
    for (int i = 0; i <= 40; ++i) {
      // The distance to the ideal offset, as a fine polyline about the same parameter.
      BScveval_n(out, i / 40.0, 0, got, &rc);
      double best = 1e9;
      ideal(std::max(0.0, i / 40.0 - 0.05), a);
      for (int j = 1; j <= 500; ++j) {
        ideal(std::clamp(i / 40.0 - 0.05 + j * 2e-4, 0.0, 1.0), b);
        double ab[3], ag[3], l2 = 0, dot = 0;
        for (int k = 0; k < 3; ++k) ab[k] = b[k] - a[k], ag[k] = got[k] - a[k], l2 += ab[k] * ab[k], dot += ab[k] * ag[k];
        const double f = l2 > 0 ? std::clamp(dot / l2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(ag[0] - f * ab[0], ag[1] - f * ab[1], ag[2] - f * ab[2]));
        std::copy(b, b + 3, a);
      }
      EXPECT_LT(best, 2e-3) << i;
    }
    BSfreevoqcv(out, &rc);
  }
}
