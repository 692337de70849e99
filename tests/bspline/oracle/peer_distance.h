// The global nearest point of a test curve as the peers find it: OpenCASCADE's projections plus both ends, and
// SISL's extremal points (s1953) polished by s1774, plus both ends; each with the curve's points at its interior
// knots, where a corner of a degree-1 or multiple-knot curve can be nearest without being an extremum.
#pragma once

#include <GeomAPI_ProjectPointOnCurve.hxx>
#include <Standard_Failure.hxx>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "tests/bspline/oracle/peer_curves.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

struct PeerFoot {
  double dist = DBL_MAX, par = 0;
  bool unique = true;  // no second foot within 1e-7 of the distance at another parameter
};

inline void peer_consider(PeerFoot *f, double d, double u, double *second) {
  if (d < f->dist) {
    if (std::fabs(u - f->par) > 1e-6) *second = std::fmin(*second, f->dist);
    f->dist = d;
    f->par = u;
  } else if (std::fabs(u - f->par) > 1e-6) {
    *second = std::fmin(*second, d);
  }
}

inline PeerFoot occt_nearest(const OcctCurve &oc, const double q[3]) {
  PeerFoot f;
  double second = DBL_MAX;
  const gp_Pnt p(q[0], q[1], q[2]);
  const double a = oc.cv->FirstParameter(), b = oc.cv->LastParameter();
  peer_consider(&f, p.Distance(oc.cv->Value(a)), a, &second);
  peer_consider(&f, p.Distance(oc.cv->Value(b)), b, &second);
  for (double u : oc.distinct)
    if (u > a && u < b) {
      double v[3];
      oc.left_d0(u, v);
      peer_consider(&f, p.Distance(gp_Pnt(v[0], v[1], v[2])), u, &second);
    }
  try {
    GeomAPI_ProjectPointOnCurve proj(p, oc.cv);
    for (int i = 1; i <= proj.NbPoints(); ++i) peer_consider(&f, proj.Distance(i), proj.Parameter(i), &second);
  } catch (const Standard_Failure &) {
  }
  f.unique = second > f.dist + 1e-7;
  return f;
}

inline PeerFoot sisl_nearest(SISLCurve *sc, const double q[3]) {
  PeerFoot f;
  double second = DBL_MAX;
  const double a = sc->et[sc->ik - 1], b = sc->et[sc->in];
  auto at = [&](double u) {
    double p[3];
    int left = 0, stat = 0;
    s1221(sc, 0, u, &left, p, &stat);
    return std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) + (p[2] - q[2]) * (p[2] - q[2]));
  };
  peer_consider(&f, at(a), a, &second);
  peer_consider(&f, at(b), b, &second);
  for (int i = sc->ik; i < sc->in; ++i)
    if (sc->et[i] > a && sc->et[i] < b) peer_consider(&f, at(sc->et[i]), sc->et[i], &second);
  int npar = 0, ncu = 0, stat = 0;
  double *par = nullptr;
  SISLIntcurve **cu = nullptr;
#ifdef __SANITIZE_ADDRESS__
  __lsan_disable();  // s1953 leaks its work arrays when it fails on a curve
#endif
  s1953(sc, const_cast<double *>(q), 3, 1e-12, 1e-12, &npar, &par, &ncu, &cu, &stat);
#ifdef __SANITIZE_ADDRESS__
  __lsan_enable();
#endif
  for (int i = 0; stat >= 0 && i < npar; ++i) {
    double foot = par[i];
    int st = 0;
    s1774(sc, const_cast<double *>(q), 3, 1e-15, a, b, par[i], &foot, &st);
    peer_consider(&f, at(foot), foot, &second);
  }
  if (par) std::free(par);
  if (cu) freeIntcrvlist(cu, ncu);
  f.unique = second > f.dist + 1e-7;
  return f;
}

// The loose layout of the distance routines: component-major poles (weighted), then the weights.
inline std::vector<double> component_major(const TestCurve &c, int dim = 3) {
  std::vector<double> out;
  for (int k = 0; k < dim; ++k)
    for (int i = 0; i < c.n(); ++i) out.push_back(c.poles[3 * i + k]);
  for (double w : c.weights) out.push_back(w);
  return out;
}

// Points scattered around the curve: near it (a curve point and a small offset) and far from it.
inline std::vector<double> points_around(std::mt19937 &rng, const TestCurve &c, int np, double spread) {
  std::uniform_real_distribution<double> u(c.start(), c.end()), off(-spread, spread), far(-25, 25);
  std::vector<double> pts;
  for (int i = 0; i < np; ++i) {
    double q[3];
    ref_point(c, u(rng), q);
    for (double &v : q) v = i % 4 == 3 ? far(rng) : v + off(rng);
    pts.insert(pts.end(), q, q + 3);
  }
  return pts;
}
