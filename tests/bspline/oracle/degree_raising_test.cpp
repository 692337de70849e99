// Degree raising beside OpenCASCADE (Geom_BSplineCurve::IncreaseDegree) and SISL (s1750), on random polynomial
// and rational curves with interior knots of several multiplicities.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/bspline/oracle/flat_curves.h"

namespace {

TEST(DegreeRaisingOracle, AgreesWithOpenCascadeAndSisl) {
  std::mt19937 rng(1303);
  for (int order = 2; order <= 8; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int raise = 1; raise <= 3; ++raise) {
        auto c = random_curve(rng, order, order + 4, rational, true, std::max(order - 2, 1));
        OcctCurve oc(*c);
        SislCurve sc(*c);
        VOQbsp_curve *out = nullptr;
        int rc = 0;
        BSupthedeg(&c->cv, static_cast<std::int16_t>(order - 1 + raise), BSFALSE, &out, &rc);
        ASSERT_EQ(rc, 0);
        const Flat ours = flat_of(*out);
        BSfreevoqcv(out, &rc);

        oc.cv->IncreaseDegree(order - 1 + raise);
        expect_same(ours, flat_of(oc.cv), 1e-12, "OpenCASCADE");

        SISLCurve *snew = nullptr;
        int stat = 0;
        s1750(sc.cv, order + raise, &snew, &stat);
        ASSERT_GE(stat, 0);
        expect_same(ours, flat_of(snew), 1e-12, "SISL");
        freeCurve(snew);
      }
}

}  // namespace
