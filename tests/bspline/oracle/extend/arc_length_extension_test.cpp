// Curve ends lengthened by an arc length beside OpenCASCADE: the peer's length of the added piece of our result, and
// the peer's point at that arc length along its own curve run on past the end (its end span's polynomial).
#include <gtest/gtest.h>

#include <GCPnts_AbscissaPoint.hxx>
#include <GeomAdaptor_Curve.hxx>

#include <cmath>
#include <random>
#include <string>

#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace {

TEST(ArcLengthExtensionOracle, AddedLengthAndEndPoint) {
  std::mt19937 rng(2290);
  std::uniform_real_distribution<double> unit(0, 1);
  int compared = 0;
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const int k = 3 + trial % 3;
    auto c = random_curve(rng, k, k + trial % 4, false, true);
    const bool at_end = trial % 2 == 0;
    const double a = c->start(), b = c->end(), e = at_end ? b : a;
    OcctCurve peer(*c);
    GeomAdaptor_Curve own(peer.cv);
    const double L = GCPnts_AbscissaPoint::Length(own, a, b, 1e-12);
    const double dist = (0.05 + 0.5 * unit(rng)) * L;
    double pt[3];
    ref_point(*c, e, pt);
    VOQbsp_curve *out = nullptr;
    int rc = 0;
    BSallocvoqcv(static_cast<std::int16_t>(k), c->n() + k - 1, BSFALSE, 0, &out, &rc);
    double achieved = 0;
    BSpolxtdst0(&c->cv, pt, dist, &out, &achieved, &rc);
    ASSERT_EQ(rc, 0);
    if (achieved == dist) {
      ++compared;
      const double ne = at_end ? out->knots[out->num_poles] : out->knots[out->order - 1];
      TestCurve result(out->order, std::vector<double>(out->poles, out->poles + 3 * out->num_poles),
                       std::vector<double>(out->knots, out->knots + out->num_knots));
      OcctCurve ours(result);
      GeomAdaptor_Curve added(ours.cv);
      EXPECT_NEAR(GCPnts_AbscissaPoint::Length(added, std::min(e, ne), std::max(e, ne), 1e-12), dist, 1e-6);
      // The peer's own curve, its range opened past the end so that it runs on along the end span.
      GeomAdaptor_Curve beyond(peer.cv, at_end ? a : a - 10 * (b - a), at_end ? b + 10 * (b - a) : b);
      GCPnts_AbscissaPoint at(1e-12, beyond, at_end ? dist : -dist, e);
      ASSERT_TRUE(at.IsDone());
      const gp_Pnt want = peer.cv->Value(at.Parameter());
      double got[3];
      BScveval_n(out, ne, 0, got, &rc);
      EXPECT_LT(std::hypot(want.X() - got[0], want.Y() - got[1], want.Z() - got[2]), 1e-6);
    }
    BSfreevoqcv(out, &rc);
  }
  EXPECT_GE(compared, 30);
  BStraceclear();
}

}  // namespace
