// Planar curves that cross themselves, for the self-intersection oracle test and benchmark: cubics interpolated
// through samples of OpenCASCADE's offset of a tight curve (an offset past the curve's radius of curvature forms
// loops), and random polylines; with OpenCASCADE's self-intersection and GEOS's noding as answers.
#pragma once

#include <geos_c.h>

#include <Geom2dAPI_InterCurveCurve.hxx>
#include <Geom2dAPI_Interpolate.hxx>
#include <Geom2d_BSplineCurve.hxx>
#include <Geom2d_OffsetCurve.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt2d.hxx>
#include <TColgp_HArray1OfPnt2d.hxx>
#include <memory>
#include <random>
#include <vector>

#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/oracle/curve_pairs.h"

namespace loops {

// The flat form of OpenCASCADE's curve (z = 0).
inline std::unique_ptr<TestCurve> FromOcct(const Handle(Geom2d_BSplineCurve) & c) {
  std::vector<double> poles, knots;
  for (int i = 1; i <= c->NbPoles(); ++i) poles.insert(poles.end(), {c->Pole(i).X(), c->Pole(i).Y(), 0});
  for (int i = 1; i <= c->NbKnots(); ++i)
    for (int m = 0; m < c->Multiplicity(i); ++m) knots.push_back(c->Knot(i));
  return std::make_unique<TestCurve>(c->Degree() + 1, poles, knots);
}

// The offset by d of a random cubic through `waves` turns, sampled at `samples` points and interpolated.
inline std::unique_ptr<TestCurve> LoopingCubic(std::mt19937 &rng, int waves, int samples, double d) {
  std::uniform_real_distribution<double> amp(1.0, 2.5);
  TColgp_Array1OfPnt2d poles(1, waves + 3);
  for (int i = 1; i <= waves + 3; ++i) poles.SetValue(i, gp_Pnt2d(2.0 * i, (i % 2 ? 1 : -1) * amp(rng)));
  TColStd_Array1OfReal knots(1, waves + 1);
  TColStd_Array1OfInteger mult(1, waves + 1);
  for (int i = 1; i <= waves + 1; ++i) {
    knots.SetValue(i, i - 1);
    mult.SetValue(i, i == 1 || i == waves + 1 ? 4 : 1);
  }
  Handle(Geom2d_BSplineCurve) base = new Geom2d_BSplineCurve(poles, knots, mult, 3);
  Handle(Geom2d_OffsetCurve) offset = new Geom2d_OffsetCurve(base, d);
  Handle(TColgp_HArray1OfPnt2d) pts = new TColgp_HArray1OfPnt2d(1, samples);
  const double a = offset->FirstParameter(), b = offset->LastParameter();
  for (int i = 1; i <= samples; ++i) pts->SetValue(i, offset->Value(a + (b - a) * (i - 1) / (samples - 1)));
  Geom2dAPI_Interpolate fit(pts, Standard_False, 1e-9);
  fit.Perform();
  return FromOcct(fit.Curve());
}

// A polyline of n random points in a 100 square (order 2, knots the point indices).
inline std::unique_ptr<TestCurve> RandomPolyline(std::mt19937 &rng, int n) {
  std::uniform_real_distribution<double> u(0, 100);
  std::vector<double> poles, knots = {0};
  for (int i = 0; i < n; ++i) {
    poles.insert(poles.end(), {u(rng), u(rng), 0});
    knots.push_back(i);
  }
  knots.push_back(n - 1);
  return std::make_unique<TestCurve>(2, poles, knots);
}

// OpenCASCADE's self-crossings as points (x, y); *segments when it reports a stretch run over twice.
inline std::vector<double> OcctSelfCrossings(const TestCurve &c, bool *segments) {
  Geom2dAPI_InterCurveCurve x(cvpairs::Occt(c), 1e-7);
  *segments = x.NbSegments() > 0;
  std::vector<double> out;
  for (int i = 1; i <= x.NbPoints(); ++i) out.insert(out.end(), {x.Point(i).X(), x.Point(i).Y()});
  return out;
}

// The self-crossings GEOS's noding finds in a polyline: every transversal crossing splits both passes, so the
// noded line has two more pieces per crossing.
inline int GeosSelfCrossings(GEOSContextHandle_t ctx, const TestCurve &c) {
  GEOSCoordSequence *seq = GEOSCoordSeq_create_r(ctx, static_cast<unsigned>(c.n()), 2);
  for (int i = 0; i < c.n(); ++i) GEOSCoordSeq_setXY_r(ctx, seq, static_cast<unsigned>(i), c.pole(i, 0), c.pole(i, 1));
  GEOSGeometry *line = GEOSGeom_createLineString_r(ctx, seq);
  GEOSGeometry *noded = GEOSNode_r(ctx, line);
  const int pieces = GEOSGetNumGeometries_r(ctx, noded);
  GEOSGeom_destroy_r(ctx, noded);
  GEOSGeom_destroy_r(ctx, line);
  return (pieces - 1) / 2;
}

}  // namespace loops
