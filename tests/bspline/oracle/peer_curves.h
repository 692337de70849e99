// The same curve for the peers: SISL takes the full knot vector with homogeneous (weighted) coefficients,
// OpenCASCADE distinct knots with multiplicities, Cartesian poles and separate weights.
#pragma once

#include <Geom_BSplineCurve.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <sisl.h>

#include <vector>

#include "tests/bspline/curve_fixtures.h"

struct SislCurve {
  SISLCurve *cv = nullptr;
  explicit SislCurve(const TestCurve &c) {
    std::vector<double> knots(c.knots), coef;
    const bool rational = !c.weights.empty();
    for (int i = 0; i < c.n(); ++i) {
      for (int k = 0; k < 3; ++k) coef.push_back(c.poles[3 * i + k]);  // weighted, as stored
      if (rational) coef.push_back(c.weights[i]);
    }
    cv = newCurve(c.n(), c.order(), knots.data(), coef.data(), rational ? 2 : 1, 3, 1);
  }
  ~SislCurve() { freeCurve(cv); }
  SislCurve(const SislCurve &) = delete;
  SislCurve &operator=(const SislCurve &) = delete;
};

struct OcctCurve {
  Handle(Geom_BSplineCurve) cv;
  std::vector<double> distinct;  // distinct knots, 0-based
  explicit OcctCurve(const TestCurve &c) {
    std::vector<int> mults;
    for (double t : c.knots) {
      if (distinct.empty() || t != distinct.back()) {
        distinct.push_back(t);
        mults.push_back(1);
      } else {
        ++mults.back();
      }
    }
    TColgp_Array1OfPnt poles(1, c.n());
    for (int i = 0; i < c.n(); ++i) poles.SetValue(i + 1, gp_Pnt(c.pole(i, 0), c.pole(i, 1), c.pole(i, 2)));
    TColStd_Array1OfReal knots(1, static_cast<int>(distinct.size()));
    TColStd_Array1OfInteger mult(1, static_cast<int>(mults.size()));
    for (size_t i = 0; i < distinct.size(); ++i) {
      knots.SetValue(static_cast<int>(i) + 1, distinct[i]);
      mult.SetValue(static_cast<int>(i) + 1, mults[i]);
    }
    if (c.weights.empty()) {
      cv = new Geom_BSplineCurve(poles, knots, mult, c.order() - 1);
    } else {
      TColStd_Array1OfReal w(1, c.n());
      for (int i = 0; i < c.n(); ++i) w.SetValue(i + 1, c.weights[i]);
      cv = new Geom_BSplineCurve(poles, w, knots, mult, c.order() - 1);
    }
  }
  // Index j (0-based) of u among the interior distinct knots, or -1.
  int interior_knot(double u) const {
    for (size_t i = 1; i + 1 < distinct.size(); ++i)
      if (distinct[i] == u) return static_cast<int>(i);
    return -1;
  }
  // The point at u, on the span that ends at u when u is an interior knot (the left side).
  void left_d0(double u, double out[3]) const {
    gp_Pnt P;
    const int j = interior_knot(u);
    if (j > 0)
      cv->LocalD0(u, j, j + 1, P);  // 1-based indices: the span from distinct[j-1] to u
    else
      cv->D0(u, P);
    out[0] = P.X(), out[1] = P.Y(), out[2] = P.Z();
  }
  // Point and derivatives 1..3, left side at interior knots.
  void left_d3(double u, double out[12]) const {
    gp_Pnt P;
    gp_Vec V1, V2, V3;
    const int j = interior_knot(u);
    if (j > 0)
      cv->LocalD3(u, j, j + 1, P, V1, V2, V3);
    else
      cv->D3(u, P, V1, V2, V3);
    const double v[12] = {P.X(), P.Y(), P.Z(), V1.X(), V1.Y(), V1.Z(), V2.X(), V2.Y(), V2.Z(), V3.X(), V3.Y(), V3.Z()};
    for (int i = 0; i < 12; ++i) out[i] = v[i];
  }
};
