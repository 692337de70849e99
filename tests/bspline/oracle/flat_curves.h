// Curves of ours and of the peers flattened to one form for comparison: Cartesian poles, weights (1 for a
// polynomial curve) and the full knot vector. OpenCASCADE keeps Cartesian poles and separate weights, SISL
// weighted coefficients with the weight last.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bspline/knots.h"
#include "tests/bspline/knots_fixtures.h"
#include "tests/bspline/oracle/peer_curves.h"

// Our record as Cartesian poles, weights (1 when polynomial) and the full knot vector.
struct Flat {
  std::vector<double> poles, weights, knots;
};

inline Flat flat_of(const VOQbsp_curve &cv) {
  Flat f;
  for (int i = 0; i < cv.num_poles; ++i) {
    const double w = cv.rational ? cv.weights[i] : 1.0;
    for (int c = 0; c < 3; ++c) f.poles.push_back(cv.poles[3 * i + c] / w);
    f.weights.push_back(w);
  }
  f.knots.assign(cv.knots, cv.knots + cv.num_knots);
  return f;
}

inline Flat flat_of(const Handle(Geom_BSplineCurve) & cv) {
  Flat f;
  for (int i = 1; i <= cv->NbPoles(); ++i) {
    const gp_Pnt P = cv->Pole(i);
    f.poles.insert(f.poles.end(), {P.X(), P.Y(), P.Z()});
    f.weights.push_back(cv->Weight(i));
  }
  TColStd_Array1OfReal seq(1, cv->NbPoles() + cv->Degree() + 1);
  cv->KnotSequence(seq);
  for (int i = 1; i <= seq.Length(); ++i) f.knots.push_back(seq(i));
  return f;
}

inline Flat flat_of(const SISLCurve *cv) {
  Flat f;
  const bool rational = cv->ikind == 2 || cv->ikind == 4;
  for (int i = 0; i < cv->in; ++i) {
    const double w = rational ? cv->rcoef[4 * i + 3] : 1.0;
    for (int c = 0; c < 3; ++c) f.poles.push_back(rational ? cv->rcoef[4 * i + c] / w : cv->ecoef[3 * i + c]);
    f.weights.push_back(w);
  }
  f.knots.assign(cv->et, cv->et + cv->in + cv->ik);
  return f;
}

inline void expect_same(const Flat &ours, const Flat &theirs, double tol, const char *who) {
  ASSERT_EQ(ours.knots.size(), theirs.knots.size()) << who;
  ASSERT_EQ(ours.poles.size(), theirs.poles.size()) << who;
  for (size_t i = 0; i < ours.knots.size(); ++i) EXPECT_NEAR(ours.knots[i], theirs.knots[i], 1e-13) << who << " knot " << i;
  // Weights of a rational curve are fixed up to one common factor; the peers keep the input's scale, as we do.
  for (size_t i = 0; i < ours.weights.size(); ++i)
    EXPECT_NEAR(ours.weights[i], theirs.weights[i], tol * std::max(1.0, std::fabs(theirs.weights[i])))
        << who << " weight " << i;
  for (size_t i = 0; i < ours.poles.size(); ++i)
    EXPECT_NEAR(ours.poles[i], theirs.poles[i], tol * std::max(1.0, std::fabs(theirs.poles[i])))
        << who << " pole coordinate " << i;
}
