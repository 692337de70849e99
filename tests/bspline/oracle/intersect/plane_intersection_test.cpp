// Plane/curve intersection beside the peers: OpenCASCADE's curve/surface intersector against a plane and SISL's
// s1850, on random clamped polynomial and rational cubics. Neither peer reports a curve lying in the plane over
// whole spans as a range (one gives scattered points, the other a single point), so the zero ranges are left to
// the unit tests.
#include <gtest/gtest.h>

#include <GeomAPI_IntCS.hxx>
#include <Geom_Plane.hxx>
#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "bspline/plane_intersection.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace {

struct Ours {
  std::vector<double> params, starts, ends;
};

Ours ours(const TestCurve &c, const double p[3], const double nrm[3]) {
  const int n = c.n();
  std::vector<double> pts(3 * n);
  Ours o;
  o.params.resize(n), o.starts.resize(n), o.ends.resize(n);
  int rc = 0, ni = 0, ns = 0;
  EXPECT_TRUE(BSpl_cv_int(&rc, &c.cv, p, nrm, &ni, pts.data(), o.params.data(), &ns, o.starts.data(),
                          o.ends.data()));
  o.params.resize(ni), o.starts.resize(ns), o.ends.resize(ns);
  return o;
}

// Sorted, a parameter met twice (a tangent point, a knot) kept once.
std::vector<double> distinct(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end(), [](double a, double b) { return std::fabs(a - b) < 1e-9; }), v.end());
  return v;
}

std::vector<double> occt_params(const TestCurve &c, const double p[3], const double nrm[3]) {
  OcctCurve oc(c);
  Handle(Geom_Plane) plane = new Geom_Plane(gp_Pnt(p[0], p[1], p[2]), gp_Dir(nrm[0], nrm[1], nrm[2]));
  GeomAPI_IntCS inter(oc.cv, plane);
  std::vector<double> out;
  EXPECT_TRUE(inter.IsDone());
  for (int i = 1; i <= inter.NbPoints(); ++i) {
    double u = 0, v = 0, w = 0;
    inter.Parameters(i, u, v, w);
    out.push_back(w);
  }
  return distinct(out);
}

struct SislResult {
  std::vector<double> params;
};

SislResult sisl_params(const TestCurve &c, const double p[3], const double nrm[3]) {
  SislCurve sc(c);
  double pt[3] = {p[0], p[1], p[2]}, nv[3] = {nrm[0], nrm[1], nrm[2]};
  int jpt = 0, jcrv = 0, stat = 0;
  double *gpar = nullptr;
  SISLIntcurve **segs = nullptr;
  s1850(sc.cv, pt, nv, 3, 1e-15, 1e-10, &jpt, &gpar, &jcrv, &segs, &stat);
  EXPECT_GE(stat, 0);
  SislResult r;
  r.params.assign(gpar, gpar + jpt);
  r.params = distinct(r.params);
  if (segs) freeIntcrvlist(segs, jcrv);
  std::free(gpar);
  return r;
}

void expect_same_params(const std::vector<double> &a, const std::vector<double> &b, const char *who) {
  ASSERT_EQ(a.size(), b.size()) << who;
  for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-9) << who << " " << i;
}

TEST(PlaneIntersectionOracle, RandomCubicsAgreeWithPeers) {
  std::mt19937 rng(7219);
  std::uniform_real_distribution<double> ud(-1, 1);
  int met = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const bool rational = trial % 2;
    auto c = random_curve(rng, 4, 6 + trial % 7, rational, true);
    const double p[3] = {3 * ud(rng), 3 * ud(rng), 3 * ud(rng)}, nrm[3] = {ud(rng), ud(rng), ud(rng)};
    SCOPED_TRACE(trial);
    const Ours o = ours(*c, p, nrm);
    EXPECT_TRUE(o.starts.empty());
    expect_same_params(o.params, occt_params(*c, p, nrm), "OpenCASCADE");
    expect_same_params(o.params, sisl_params(*c, p, nrm).params, "SISL");
    met += static_cast<int>(o.params.size());
  }
  EXPECT_GT(met, 60);  // the planes do cut the curves
}

}  // namespace
