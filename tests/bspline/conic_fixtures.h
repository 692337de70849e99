// Conic recognition in the tests: the outputs of BSconicprp over sentinel values, rational quadratic segments in
// a given plane, and the checks that a recognised conic really carries the curve (focal and metric properties
// evaluated on points of the curve by the reference evaluation, sharing no code with the library).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "bspline/conics.h"
#include "tests/bspline/curve_fixtures.h"

constexpr double kUnset = -4242.0;

struct ConicOut {
  int rc = 12345, type = -1;
  double Z[3], a = kUnset, b = kUnset, F1[3], F2[3], V1[3], V2[3], M1[3], M2[3];
  ConicOut() {
    for (double *v : {Z, F1, F2, V1, V2, M1, M2}) std::fill(v, v + 3, kUnset);
  }
  bool untouched(const double *v) const { return v[0] == kUnset && v[1] == kUnset && v[2] == kUnset; }
  bool all_untouched() const {
    return type == -1 && a == kUnset && b == kUnset && untouched(Z) && untouched(F1) && untouched(F2) &&
           untouched(V1) && untouched(V2) && untouched(M1) && untouched(M2);
  }
};

inline ConicOut conic_of(const VOQbsp_curve &cv) {
  ConicOut o;
  BSconicprp(&cv, &o.type, o.Z, &o.a, &o.b, o.F1, o.F2, o.V1, o.V2, o.M1, o.M2, &o.rc);
  return o;
}

namespace conic_test {
inline double dist(const double *p, const double *q) {
  return std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) + (p[2] - q[2]) * (p[2] - q[2]));
}
inline double dot(const double *p, const double *q) { return p[0] * q[0] + p[1] * q[1] + p[2] * q[2]; }
inline void sub(const double *p, const double *q, double *out) {
  for (int i = 0; i < 3; ++i) out[i] = p[i] - q[i];
}
inline void cross(const double *a, const double *b, double *out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}
}  // namespace conic_test

// A point of the plane through `origin` spanned by the unit vectors e1, e2.
struct PlaneFrame {
  double origin[3] = {0, 0, 0}, e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0};
  std::vector<double> at(double x, double y) const {
    return {origin[0] + x * e1[0] + y * e2[0], origin[1] + x * e1[1] + y * e2[1], origin[2] + x * e1[2] + y * e2[2]};
  }
  void normal(double n[3]) const { conic_test::cross(e1, e2, n); }
};

// The one-segment curve with planar poles (x, y) pairs and weights (empty: polynomial).
inline std::unique_ptr<TestCurve> plane_segment(const PlaneFrame &f, const std::vector<double> &xy,
                                                const std::vector<double> &w) {
  std::vector<double> poles;
  for (size_t i = 0; i + 1 < xy.size(); i += 2) {
    const auto p = f.at(xy[i], xy[i + 1]);
    poles.insert(poles.end(), p.begin(), p.end());
  }
  return std::make_unique<TestCurve>(3, poles, std::vector<double>{0, 0, 0, 1, 1, 1}, w);
}

// The curve lies on the conic that o describes, and o fills exactly the fields of its type and no others.
inline void expect_on_conic(const TestCurve &c, const ConicOut &o, double tol) {
  using namespace conic_test;
  ASSERT_EQ(o.rc, 0);
  const bool filled_b = o.type == BSCONIC_ELLIPSE || (o.type == BSCONIC_CIRCLE && o.b != kUnset);
  EXPECT_EQ(o.untouched(o.Z), o.type == BSCONIC_PARABOLA);
  EXPECT_EQ(o.a == kUnset, o.type == BSCONIC_PARABOLA);
  EXPECT_EQ(o.b != kUnset, filled_b);
  EXPECT_EQ(o.untouched(o.F1), o.type == BSCONIC_CIRCLE);
  EXPECT_EQ(o.untouched(o.F2), o.type != BSCONIC_ELLIPSE);
  EXPECT_EQ(o.untouched(o.V2), o.type != BSCONIC_ELLIPSE);
  EXPECT_EQ(o.untouched(o.M1), o.type == BSCONIC_CIRCLE || o.type == BSCONIC_PARABOLA);
  double scale = 1.0;
  for (int i = 0; i < c.n(); ++i)
    for (int k = 0; k < 3; ++k) scale = std::max(scale, std::fabs(c.pole(i, k)));
  const double eps = tol * scale;
  double F2[3], axis[3], D0[3];
  if (o.type == BSCONIC_HYPERBOLA)
    for (int k = 0; k < 3; ++k) F2[k] = 2 * o.Z[k] - o.F1[k];
  if (o.type == BSCONIC_PARABOLA) {
    sub(o.F1, o.V1, axis);
    const double p = std::sqrt(dot(axis, axis));
    for (int k = 0; k < 3; ++k) axis[k] /= p, D0[k] = o.V1[k] - p * axis[k];
  }
  if (o.type == BSCONIC_ELLIPSE) {
    const double c2 = o.a * o.a - o.b * o.b;
    EXPECT_NEAR(dist(o.F1, o.Z) * dist(o.F1, o.Z), c2, eps * scale);
    EXPECT_NEAR(dist(o.V1, o.Z), o.a, eps);
    EXPECT_NEAR(dist(o.M1, o.Z), o.b, eps);
    double u[3], v[3];
    sub(o.V1, o.Z, u);
    sub(o.M1, o.Z, v);
    EXPECT_NEAR(dot(u, v), 0.0, eps * scale);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(o.V1[k] + o.V2[k], 2 * o.Z[k], eps);
      EXPECT_NEAR(o.M1[k] + o.M2[k], 2 * o.Z[k], eps);
      EXPECT_NEAR(o.F1[k] + o.F2[k], 2 * o.Z[k], eps);
    }
    EXPECT_LE(dist(o.F1, o.V1), dist(o.F2, o.V1)) << "F1 beside V1";
  }
  if (o.type == BSCONIC_HYPERBOLA) {
    // M1, M2 stand at V1, b' either side along the minor direction: c^2 = a^2 + b'^2.
    const double bh = dist(o.M1, o.V1), cf = dist(o.F1, o.Z);
    EXPECT_NEAR(dist(o.M2, o.V1), bh, eps);
    EXPECT_NEAR(cf * cf, o.a * o.a + bh * bh, eps * scale);
    EXPECT_NEAR(dist(o.V1, o.Z), o.a, eps);
  }
  int checked = 0;
  for (int s = 1; s < 20; ++s) {
    double X[3];
    ref_point(c, s / 20.0, X);
    if (!std::isfinite(X[0]) || dist(X, o.type == BSCONIC_PARABOLA ? o.V1 : o.Z) > 1e3 * scale) continue;
    ++checked;
    const double d1 = o.type == BSCONIC_CIRCLE ? 0 : dist(X, o.F1);
    switch (o.type) {
      case BSCONIC_CIRCLE: EXPECT_NEAR(dist(X, o.Z), o.a, eps) << "t " << s / 20.0; break;
      case BSCONIC_ELLIPSE: EXPECT_NEAR(d1 + dist(X, o.F2), 2 * o.a, eps) << "t " << s / 20.0; break;
      case BSCONIC_HYPERBOLA: EXPECT_NEAR(std::fabs(d1 - dist(X, F2)), 2 * o.a, eps) << "t " << s / 20.0; break;
      case BSCONIC_PARABOLA: {
        double XD[3];
        sub(X, D0, XD);
        EXPECT_NEAR(d1, dot(XD, axis), eps) << "t " << s / 20.0;
        break;
      }
      default: ADD_FAILURE() << "type " << o.type; return;
    }
  }
  EXPECT_GT(checked, 5);
}

// A caller's record for the arc and circle builders: room for 7 poles, 10 knots and 7 weights, filled with a
// marker so that a field the builder should have written shows.
struct ArcRecord {
  double poles[21], knots[10], weights[7];
  VOQbsp_curve cv{};
  VOQbsp_curve *ptr = &cv;
  ArcRecord() {
    std::fill(poles, poles + 21, kUnset);
    std::fill(knots, knots + 10, kUnset);
    std::fill(weights, weights + 7, kUnset);
    cv.poles = poles;
    cv.knots = knots;
    cv.weights = weights;
  }
  // Cartesian pole i.
  double pole(int i, int k) const { return poles[3 * i + k] / weights[i]; }
  std::vector<double> knot_vector() const { return {knots, knots + cv.num_knots}; }
  // The point at u by the definition (shares no code with the library).
  void point(double u, double out[3]) const {
    const std::vector<double> N = ref_basis_all(knot_vector(), cv.order, u, knots[cv.num_poles]);
    double A[3] = {0, 0, 0}, W = 0;
    for (int i = 0; i < cv.num_poles; ++i) {
      for (int k = 0; k < 3; ++k) A[k] += N[i] * poles[3 * i + k];
      W += N[i] * weights[i];
    }
    for (int k = 0; k < 3; ++k) out[k] = A[k] / W;
  }
};

// The distance, to first order, of X from the conic that carries the record's first segment (the barycentric
// equation tau1^2 w0 w2 = 4 w1^2 tau0 tau2 over its gradient), or from its plane, whichever is larger.
inline double conic_distance(const ArcRecord &r, const double X[3]) {
  using namespace conic_test;
  double P[3][3], w[3], tau[3], g[3][3], e1[3], e2[3], n[3];
  for (int i = 0; i < 3; ++i) {
    w[i] = r.cv.rational ? r.weights[i] : 1.0;
    for (int k = 0; k < 3; ++k) P[i][k] = r.poles[3 * i + k] / w[i];
  }
  sub(P[1], P[0], e1);
  sub(P[2], P[0], e2);
  cross(e1, e2, n);
  const double nn = dot(n, n);
  for (int i = 0; i < 3; ++i) {
    const double *a = P[(i + 1) % 3], *b = P[(i + 2) % 3];
    double xa[3], xb[3], c[3], ab[3];
    sub(a, X, xa);
    sub(b, X, xb);
    cross(xa, xb, c);
    tau[i] = dot(c, n) / nn;
    sub(b, a, ab);
    cross(n, ab, g[i]);
  }
  double grad[3], off[3];
  const double F = tau[1] * tau[1] * w[0] * w[2] - 4 * w[1] * w[1] * tau[0] * tau[2];
  for (int k = 0; k < 3; ++k)
    grad[k] = (2 * tau[1] * w[0] * w[2] * g[1][k] - 4 * w[1] * w[1] * (tau[0] * g[2][k] + tau[2] * g[0][k])) / nn;
  sub(X, P[0], off);
  return std::max(std::fabs(F) / std::sqrt(dot(grad, grad)), std::fabs(dot(off, n)) / std::sqrt(nn));
}

// The record is the conic arc from A to B tangent to A-TA and B-TB through S: five conditions fix the conic, so
// the exact ends, parallel end tangents and S at distance below tol from the conic say it all. End weights 1.
inline void expect_conic_arc(const ArcRecord &r, const double A[3], const double B[3], const double TA[3],
                             const double TB[3], const double S[3], double tol) {
  using namespace conic_test;
  const int last = r.cv.num_poles - 1;
  ASSERT_GE(last, 2);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(r.poles[k], A[k]);
    EXPECT_EQ(r.poles[3 * last + k], B[k]);
  }
  EXPECT_EQ(r.weights[0], 1.0);
  EXPECT_EQ(r.weights[last], 1.0);
  const double *ends[2][3] = {{A, TA, r.poles + 3}, {B, TB, r.poles + 3 * last - 3}};
  for (int e = 0; e < 2; ++e) {
    double t[3], p[3], c[3];
    const double w = r.cv.rational ? r.weights[e ? last - 1 : 1] : 1.0;
    for (int k = 0; k < 3; ++k) p[k] = ends[e][2][k] / w - ends[e][0][k];
    sub(ends[e][1], ends[e][0], t);
    cross(t, p, c);
    EXPECT_LT(std::sqrt(dot(c, c)), 1e-9 * std::sqrt(dot(t, t) * dot(p, p))) << "end tangent " << e;
  }
  EXPECT_LT(conic_distance(r, S), tol);
}
