// The checks of the offset oracles, shared by every table that runs them: a single-curve offset and a whole-curve
// offset of a plane curve beside OpenCASCADE's exact offset, distances measured also to polylines that follow the
// peer's curves.
#pragma once

#include <gtest/gtest.h>

#include <Geom2dAPI_InterCurveCurve.hxx>
#include <Geom2dAPI_ProjectPointOnCurve.hxx>
#include <Geom2d_OffsetCurve.hxx>
#include <GeomAPI_ProjectPointOnCurve.hxx>
#include <Geom_OffsetCurve.hxx>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bspline/intersect.h"
#include "bspline/offset.h"
#include "tests/bspline/oracle/curve_pairs.h"
#include "tests/bspline/oracle/dense_polyline.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace offsets_oracle {

// The distance of q from the peer's curve (its perpendicular foot or either end), or from the polyline that
// follows it, whichever is nearer: the peer's search for the foot misses the points of a curve whose weights
// spread far.
inline double ToBase(const Handle(Geom2d_BSplineCurve) & base, const dense::Polyline &follow, const gp_Pnt2d &q) {
  double d = std::min(q.Distance(base->Value(base->FirstParameter())), q.Distance(base->Value(base->LastParameter())));
  Geom2dAPI_ProjectPointOnCurve foot(q, base);
  if (foot.NbPoints() > 0) d = std::min(d, foot.LowerDistance());
  return std::min(d, dense::Distance(follow, q.X(), q.Y()));
}

// The polyline that follows the peer's curve over the knot intervals of its range, with their parameters when
// asked.
template <class Curve>
dense::Polyline Follow(const Handle(Curve) & cv, std::vector<double> *params = nullptr) {
  std::vector<double> breaks;
  for (int i = 1; i <= cv->NbKnots(); ++i)
    breaks.push_back(std::clamp(cv->Knot(i), cv->FirstParameter(), cv->LastParameter()));
  return dense::Follow(
      [&cv](double u, double *p) {
        const auto q = cv->Value(u);
        p[0] = q.X(), p[1] = q.Y();
      },
      breaks, params);
}

// The least radius of curvature of the peer's plane curve, at the points of the polyline that follows it.
inline double LeastRadius(const Handle(Geom2d_BSplineCurve) & cv) {
  std::vector<double> params;
  Follow(cv, &params);
  double least = INFINITY;
  for (double u : params) {
    gp_Pnt2d q;
    gp_Vec2d v1, v2;
    cv->D2(u, q, v1, v2);
    least = std::fmin(least, std::pow(v1.Magnitude(), 3) / std::fabs(v1.Crossed(v2)));
  }
  return least;
}

// Point i of n + 1 even steps over cv's parameter range.
inline void Sample(const VOQbsp_curve *cv, int i, int n, double p[3]) {
  const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
  int rc = 0;
  BScveval_n(cv, a + (b - a) * i / n, 0, p, &rc);
}

// The distance of q from the nearest of our curves: its nearest point by the library, or the polyline that
// follows it, whichever is nearer (the distance checks what the offset covers, not the nearest-point routine).
inline double ToOurs(const std::vector<const VOQbsp_curve *> &ours, const gp_Pnt2d &q) {
  double best = INFINITY;
  for (const VOQbsp_curve *cv : ours) {
    const double p[3] = {q.X(), q.Y(), 0};
    double u = 0, foot[3], d = 0;
    int rc = 0;
    BSmdstptcv(cv, p, &u, foot, &d, &rc);
    if (rc == 0) best = std::min(best, d);
    if (!(best > BStoltab[bstol::offset_tol])) continue;
    const std::vector<double> breaks(cv->knots + cv->order - 1, cv->knots + cv->num_poles + 1);
    const dense::Polyline follow = dense::Follow(
        [cv](double v, double *xy) {
          double r[3];
          ref_point(*cv, v, r);
          xy[0] = r[0], xy[1] = r[1];
        },
        breaks);
    best = std::min(best, dense::Distance(follow, q.X(), q.Y()));
  }
  return best;
}

// BScvoffsetd of the plane curve c (flagged planar) by d towards a side point just off its middle (sign +1: to the
// left of its tangent there), with loop mode loop_mode, beside OpenCASCADE's exact offset: rc 0 or 5; every sample
// of ours lies no farther than d + tol from the curve and, where loops were removed, those of the result no nearer
// than d - tol; every sample of the exact offset that keeps its distance lies within tol of ours; and an open
// polynomial result with its loops removed does not cross itself.
inline void CheckSingleOffset(TestCurve &c, double d, double sign, std::int16_t loop_mode, double tol,
                              const std::string &what) {
  const Handle(Geom2d_BSplineCurve) base = cvpairs::Occt(c);
  const dense::Polyline follow = Follow(base);
  const double um = 0.5 * (base->FirstParameter() + base->LastParameter());
  gp_Pnt2d pm;
  gp_Vec2d tm;
  base->D1(um, pm, tm);
  tm.Normalize();
  // The side point off the middle of the curve, close enough that it is nearest there.
  const double side[3] = {pm.X() - sign * 0.1 * tm.Y(), pm.Y() + sign * 0.1 * tm.X(), 0};
  const double zero[3] = {0, 0, 0};
  VOQbsp_curve *out = nullptr, **pieces = nullptr;
  int count = 0, rc = 0;
  BSboolean flag = 0;
  BScvoffsetd(&c.cv, d, side, BSFALSE, 0, loop_mode, &flag, zero, &out, &count, &pieces, &rc);
  ASSERT_TRUE(rc == 0 || rc == BSRC_OFFSET_PASSES) << what << " rc " << rc;
  std::vector<const VOQbsp_curve *> ours{out};
  for (int i = 0; i < count; ++i) ours.push_back(pieces[i]);
  for (size_t k = 0; k < ours.size(); ++k)
    for (int i = 0; i <= 200; ++i) {
      double p[3];
      Sample(ours[k], i, 200, p);
      const double dist = ToBase(base, follow, gp_Pnt2d(p[0], p[1]));
      if (k == 0 && loop_mode != 0) {
        EXPECT_GE(dist, d - tol) << what << " sample " << i;
      }
      EXPECT_LE(dist, d + tol) << what << " piece " << k << " sample " << i;
    }
  // OpenCASCADE offsets to the right of the tangent by a positive distance; the side point lies left for +1.
  Handle(Geom2d_OffsetCurve) exact = new Geom2d_OffsetCurve(base, -sign * d);
  for (int i = 0; i <= 400; ++i) {
    const gp_Pnt2d e = exact->Value(base->FirstParameter() + (base->LastParameter() - base->FirstParameter()) * i / 400);
    if (ToBase(base, follow, e) < d - tol) continue;
    EXPECT_LE(ToOurs(ours, e), tol) << what << " exact sample " << i;
  }
  if (!out->rational && !out->phy_closed && loop_mode != 0) {
    Geom2dAPI_InterCurveCurve self(cvpairs::Occt(*std::make_unique<TestCurve>(
                                       out->order, std::vector<double>(out->poles, out->poles + 3 * out->num_poles),
                                       std::vector<double>(out->knots, out->knots + out->num_poles + out->order))),
                                   1e-6);
    EXPECT_EQ(self.NbPoints(), 0) << what;
  }
  for (int i = 0; i < count; ++i) BSfreevoqcv(pieces[i], &rc);
  BSdbgfree(pieces);
  BSfreevoqcv(out, &rc);
}

// BSxycvoff of cut (c with its knots raised to corner knots, or c itself) by d to side `side` about +z, with the
// corner code `corner`, beside OpenCASCADE's exact offset of c: rc 0, 201 samples of ours within tol of the exact
// offset and 201 of the exact offset within tol of ours.
inline void CheckWholeOffset(const TestCurve &c, const VOQbsp_curve *cut, int side, std::int16_t corner, double d,
                             double tol, const std::string &what) {
  const double up[3] = {0, 0, 1};
  const OcctCurve base(c);
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSxycvoff(cut, d, corner, up, side, &out, &rc);
  ASSERT_EQ(rc, 0) << what;
  // OpenCASCADE offsets along T x V: to the right about +z, as side +1 does.
  Handle(Geom_OffsetCurve) exact = new Geom_OffsetCurve(base.cv, side * d, gp_Dir(0, 0, 1));
  std::vector<double> breaks;
  for (int i = 1; i <= base.cv->NbKnots(); ++i)
    breaks.push_back(std::clamp(base.cv->Knot(i), base.cv->FirstParameter(), base.cv->LastParameter()));
  const dense::Polyline follow = dense::Follow(
      [&exact](double u, double *p) {
        const gp_Pnt q = exact->Value(u);
        p[0] = q.X(), p[1] = q.Y();
      },
      breaks);
  const double a = out->knots[out->order - 1], b = out->knots[out->num_poles];
  const double e0 = base.cv->FirstParameter(), e1 = base.cv->LastParameter();
  for (int j = 0; j <= 200; ++j) {
    double q[3];
    BScveval_n(out, a + (b - a) * j / 200.0, 0, q, &rc);
    const gp_Pnt p(q[0], q[1], 0);
    GeomAPI_ProjectPointOnCurve proj(p, exact);
    double near = std::fmin(exact->Value(e0).Distance(p), exact->Value(e1).Distance(p));
    if (proj.NbPoints() > 0) near = std::fmin(near, proj.LowerDistance());
    EXPECT_LE(std::fmin(near, dense::Distance(follow, q[0], q[1])), tol) << what << " sample " << j;
    const gp_Pnt e = exact->Value(e0 + (e1 - e0) * j / 200.0);
    EXPECT_LE(ToOurs({out}, gp_Pnt2d(e.X(), e.Y())), tol) << what << " exact sample " << j;
  }
  BSfreevoqcv(out, &rc);
}

}  // namespace offsets_oracle
