// Cutting curves beside SISL: s1710 (subdivision at one parameter) and s1712 (the part between two parameters),
// on random polynomial and rational curves, clamped and not.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/bspline/oracle/flat_curves.h"

namespace {

TEST(SplittingOracle, CutAtOneParameterAgreesWithSisl) {
  std::mt19937 rng(1310);
  const BSboolean no = BSFALSE;
  for (int order = 2; order <= 9; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, order + 5, rational, true, std::max(order - 2, 1));
      std::uniform_real_distribution<double> ud(c->start() + 0.05, c->end() - 0.05);
      const double u = ud(rng);
      RoomCurve left(c->n() + order, order, rational), right(c->n() + order, order, rational);
      int rc = 0;
      ASSERT_TRUE(BScvsplit(&rc, &c->cv, &u, &left.cv, &right.cv, &no));
      SislCurve sc(*c);
      SISLCurve *s1 = nullptr, *s2 = nullptr;
      int stat = 0;
      s1710(sc.cv, u, &s1, &s2, &stat);
      ASSERT_GE(stat, 0);
      expect_same(flat_of(left.cv), flat_of(s1), 1e-12, "SISL left");
      expect_same(flat_of(right.cv), flat_of(s2), 1e-12, "SISL right");
      freeCurve(s1);
      freeCurve(s2);
    }
}

TEST(SplittingOracle, PartBetweenTwoParametersAgreesWithSisl) {
  std::mt19937 rng(1311);
  const BSboolean no = BSFALSE;
  for (int order = 2; order <= 9; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, order + 6, rational, true);
      const double a = c->knots[order] + 0.3 * (c->knots[order + 1] - c->knots[order]);
      const double b = c->knots[c->n() - 1] + 0.6 * (c->knots[c->n()] - c->knots[c->n() - 1]);
      RoomCurve out(c->n(), order, rational);
      int rc = 0;
      ASSERT_TRUE(BSactivsplt(&rc, &c->cv, &a, &b, &out.cv, &no));
      SislCurve sc(*c);
      SISLCurve *part = nullptr;
      int stat = 0;
      s1712(sc.cv, a, b, &part, &stat);
      ASSERT_GE(stat, 0);
      expect_same(flat_of(out.cv), flat_of(part), 1e-12, "SISL part");
      freeCurve(part);
    }
}

}  // namespace
