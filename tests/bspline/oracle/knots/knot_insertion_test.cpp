// Knot insertion and refinement beside OpenCASCADE (Geom_BSplineCurve::InsertKnot, InsertKnots) and SISL (s1017,
// s1018), on random polynomial and rational curves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/knots.h"
#include "tests/bspline/knots_fixtures.h"
#include "tests/bspline/oracle/flat_curves.h"

namespace {

TEST(KnotInsertionOracle, OneKnotAgreesWithOpenCascadeAndSisl) {
  std::mt19937 rng(1301);
  for (int order = 2; order <= 10; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int trial = 0; trial < 3; ++trial) {
        auto c = random_curve(rng, order, order + 5, rational, true, std::max(order - 2, 1));
        std::uniform_real_distribution<double> ud(c->start() + 0.05, c->end() - 0.05);
        // Trial 2 inserts at an existing interior knot, raising its multiplicity by one.
        double u = ud(rng);
        if (trial == 2) u = c->knots[order + 1];
        if (std::count(c->knots.begin(), c->knots.end(), u) >= order - 1) continue;
        VOQbsp_curve *out = nullptr;
        int rc = 0;
        BSadd_1kt_mul(&c->cv, u, 1, BSFALSE, &out, &rc);
        ASSERT_EQ(rc, 0) << order << " " << u;
        const Flat ours = flat_of(*out);
        BSfreevoqcv(out, &rc);

        OcctCurve oc(*c);
        oc.cv->InsertKnot(u, 1, 0.0, Standard_True);
        expect_same(ours, flat_of(oc.cv), 1e-12, "OpenCASCADE");

        SislCurve sc(*c);
        SISLCurve *snew = nullptr;
        int stat = 0;
        s1017(sc.cv, &snew, u, &stat);
        ASSERT_GE(stat, 0);
        expect_same(ours, flat_of(snew), 1e-12, "SISL");
        freeCurve(snew);
      }
}

TEST(KnotInsertionOracle, RefinementAgreesWithOpenCascadeAndSisl) {
  std::mt19937 rng(1302);
  for (int order = 2; order <= 9; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, order + 4, rational, true);
      std::uniform_real_distribution<double> ud(c->start() + 0.01, c->end() - 0.01);
      std::vector<double> ins;
      for (int i = 0; i < 5; ++i) ins.push_back(ud(rng));
      if (order > 2) ins.push_back(ins[0]);  // one of them twice (the peers cap multiplicities at the degree)
      std::sort(ins.begin(), ins.end());
      std::vector<double> t(c->knots);
      for (double x : ins) t.insert(std::upper_bound(t.begin(), t.end(), x), x);
      const int nn = static_cast<int>(t.size()) - order;
      RoomCurve out(nn, order, rational);
      int rc = 0;
      BSadd_kts(&c->cv, nn, t.data(), &out.cv, &rc);
      ASSERT_EQ(rc, 0);
      const Flat ours = flat_of(out.cv);

      OcctCurve oc(*c);
      std::vector<double> distinct;
      std::vector<int> mult;
      for (double x : ins) {
        if (!distinct.empty() && distinct.back() == x) {
          ++mult.back();
        } else {
          distinct.push_back(x);
          mult.push_back(1);
        }
      }
      TColStd_Array1OfReal K(1, static_cast<int>(distinct.size()));
      TColStd_Array1OfInteger M(1, static_cast<int>(distinct.size()));
      for (size_t i = 0; i < distinct.size(); ++i) {
        K(static_cast<int>(i) + 1) = distinct[i];
        M(static_cast<int>(i) + 1) = mult[i];
      }
      oc.cv->InsertKnots(K, M, 0.0, Standard_True);
      expect_same(ours, flat_of(oc.cv), 1e-12, "OpenCASCADE");

      SislCurve sc(*c);
      SISLCurve *snew = nullptr;
      int stat = 0;
      s1018(sc.cv, ins.data(), static_cast<int>(ins.size()), &snew, &stat);
      ASSERT_GE(stat, 0);
      expect_same(ours, flat_of(snew), 1e-12, "SISL");
      freeCurve(snew);
    }
}

}  // namespace
