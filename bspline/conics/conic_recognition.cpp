// Conic recognition. A planar rational quadratic segment is judged two ways: its power form, brought to a weight
// without linear term, shows an elliptic segment directly as Z + A cos t + B sin t, from which the principal
// semi-axes follow by a 2x2 singular value decomposition; every other segment is classified from its Bezier
// triangle through the invariant k = w0 w2 / w1^2 (k = 1 parabola, k < 1 hyperbola, k > 1 ellipse), whose
// quadratic form in the triangle's coordinates gives centre, axes and foci.
#include "bspline/conics.h"

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure/measure_internal.h"
#include "bspline/numerics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

using bsmeasure::cross3;
using bsmeasure::dot3;

constexpr double kShapeTol = 3e-10;

bool all_finite(int n, const double *v) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// out = a + s b
void axpy(const double a[3], double s, const double b[3], double out[3]) {
  for (int c = 0; c < 3; ++c) out[c] = a[c] + s * b[c];
}

void diff(const double a[3], const double b[3], double out[3]) {
  for (int c = 0; c < 3; ++c) out[c] = a[c] - b[c];
}

double length(const double v[3]) { return std::sqrt(dot3(v, v)); }

// The outputs of one recognition, with the set of fields its type fills; written to the caller only on success.
struct Conic {
  enum : unsigned { kZ = 1, kA = 2, kB = 4, kF1 = 8, kF2 = 16, kV1 = 32, kV2 = 64, kM1 = 128, kM2 = 256 };
  int type = 0;
  unsigned fields = 0;
  double Z[3] = {0, 0, 0}, a = 0, b = 0;
  double F1[3] = {0, 0, 0}, F2[3] = {0, 0, 0}, V1[3] = {0, 0, 0}, V2[3] = {0, 0, 0}, M1[3] = {0, 0, 0},
         M2[3] = {0, 0, 0};

  bool finite() const {
    const double scalars[2] = {a, b};
    return all_finite(3, Z) && all_finite(2, scalars) && all_finite(3, F1) && all_finite(3, F2) &&
           all_finite(3, V1) && all_finite(3, V2) && all_finite(3, M1) && all_finite(3, M2);
  }

  void write(int *type_out, double Zo[3], double *ao, double *bo, double F1o[3], double F2o[3], double V1o[3],
             double V2o[3], double M1o[3], double M2o[3]) const {
    auto put = [this](unsigned bit, double *to, const double *from, int n) {
      if ((fields & bit) && to) std::memcpy(to, from, static_cast<std::size_t>(n) * sizeof(double));
    };
    if (type_out) *type_out = type;
    put(kZ, Zo, Z, 3);
    put(kA, ao, &a, 1);
    put(kB, bo, &b, 1);
    put(kF1, F1o, F1, 3);
    put(kF2, F2o, F2, 3);
    put(kV1, V1o, V1, 3);
    put(kV2, V2o, V2, 3);
    put(kM1, M1o, M1, 3);
    put(kM2, M2o, M2, 3);
  }
};

// The segment's 4 x 3 Bezier coefficients (weighted x, y, z, then the weights), component after component.
void bezier_coefficients(const VOQbsp_curve &bez, double out[12]) {
  for (int i = 0; i < 3; ++i) {
    for (int c = 0; c < 3; ++c) out[3 * c + i] = bez.poles[3 * i + c];
    out[9 + i] = bez.weights[i];
  }
}

// rc for a record that is not a rational quadratic Bezier segment.
int segment_check(const VOQbsp_curve *bez) {
  if (!bez || !bez->poles) return BSRC_NULL_CURVE;
  if (bez->order != 3 || bez->num_poles != 3 || !bez->rational) return BSRC_OUT_OF_RANGE;
  return bez->weights ? 0 : BSRC_NULL_CURVE;
}

double binomial(int n, int k) {
  double r = 1.0;
  for (int t = 1; t <= k; ++t) r = r * (n - k + t) / t;
  return r;
}

// BSeigcon leaves the direction of a (numerically) double eigenvalue unscaled: no axis can be told.
bool unit_direction(const double d[3], int *rc) {
  if (std::fabs(dot3(d, d) - 1.0) <= 1e-6) return true;
  *rc = BSRC_NULL_VECTOR;
  return false;
}

// BScncprop's classification into c (on success; c untouched otherwise).
void classify_segment(const double normal[3], const double P0[3], const double P1[3], const double P2[3], double w0,
                      double w1, double w2, Conic *out, int *rc) {
  const double e = kShapeTol;
  if (BScollin(rc, P0, P1, P2)) {
    *rc = BSRC_COLLINEAR_POLES;
    return;
  }
  if (*rc != 0) return;
  if (w0 * w2 <= e) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  if (std::fabs(w1) <= e) {
    *rc = BSRC_NULL_VECTOR;
    return;
  }
  Conic c;
  double u[3], v[3], uv_sum[3], chord[3];
  diff(P0, P1, u);
  diff(P2, P1, v);
  for (int i = 0; i < 3; ++i) uv_sum[i] = u[i] + v[i];
  diff(P0, P2, chord);
  const double uu = dot3(u, u), uv = dot3(u, v), vv = dot3(v, v);
  const double k = w0 * w2 / (w1 * w1);

  if (std::fabs(k - 1.0) < e) {
    c.type = BSCONIC_PARABOLA;
    c.fields = Conic::kF1 | Conic::kV1;
    const double E = uu + 2.0 * uv + vv;
    for (int i = 0; i < 3; ++i) {
      c.F1[i] = P1[i] + (uu * v[i] + vv * u[i]) / E;
      const double sv = (uu + uv) / E, su = (vv + uv) / E;
      c.V1[i] = P1[i] + sv * sv * v[i] + su * su * u[i];
    }
  } else {
    const double ratio = (k / 2.0) / (k - 1.0);
    axpy(P1, ratio, uv_sum, c.Z);
    const double G = uu * vv - uv * uv;
    const double f = (k / 4.0) * dot3(chord, chord) + uv;
    const double q = G * (k - 1.0);
    // Rounding may push the discriminant of a circle a hair below zero.
    const double root = std::sqrt(std::max(0.0, f * f - q));
    double la, lb;
    if (f > e) {
      lb = f + root;
      la = q / lb;
    } else {
      la = f - root;
      lb = q / la;
    }
    const double disc = 1.0 - q / (f * f);
    double toZ[3];
    diff(P0, c.Z, toZ);
    if (disc < e * length(toZ) / std::sqrt(uu)) {
      // A circle: the centre where the normals at the two ends meet is steadier than the formula above.
      c.type = BSCONIC_CIRCLE;
      c.fields = Conic::kZ | Conic::kA;
      double nu[3], nv[3], c1[3], c2[3], dist = 0;
      cross3(u, normal, nu);
      cross3(v, normal, nv);
      BSboolean parallel = BSFALSE;
      if (!BSlldist(rc, P0, P2, nu, nv, &parallel, &dist, c1, c2)) return;
      for (int i = 0; i < 3; ++i) c.Z[i] = (c1[i] + c2[i]) / 2.0;
      double r0[3], r2[3];
      diff(c.Z, P0, r0);
      diff(c.Z, P2, r2);
      c.a = (length(r0) + length(r2)) / 2.0;
    } else {
      c.a = std::sqrt(G * ratio / la);
      const double k4 = k / 4.0;
      double alpha = 0, beta = 0, d1[3];
      BSeigcon(rc, &uu, &uv, &vv, &k4, &G, &la, &alpha, &beta);
      for (int i = 0; i < 3; ++i) d1[i] = alpha * u[i] + beta * v[i];
      if (!unit_direction(d1, rc)) return;
      if (k - 1.0 <= e) {
        c.type = BSCONIC_HYPERBOLA;
        c.fields = Conic::kZ | Conic::kA | Conic::kF1 | Conic::kV1 | Conic::kM1 | Conic::kM2;
        double toP2[3];
        diff(P2, c.Z, toP2);
        if (dot3(toP2, d1) < 0)
          for (double &x : d1) x = -x;
        axpy(c.Z, c.a, d1, c.V1);
        // b from a second point of the branch: y^2 / (x^2 - a^2) = b^2 / a^2 in the axes' frame.
        double w[3];
        diff(P2, c.V1, w);
        if (dot3(w, w) <= BStoltab[bstol::dist_sqtol]) diff(P0, c.V1, w);
        const double t = std::fabs(dot3(d1, w));
        const double r = (dot3(w, w) - t * t) / ((2.0 * c.a + t) * t);
        const double bh = c.a * std::sqrt(r);
        axpy(c.Z, c.a * std::sqrt(r + 1.0), d1, c.F1);
        double m[3];
        cross3(normal, d1, m);
        axpy(c.V1, bh, m, c.M1);
        axpy(c.V1, -bh, m, c.M2);
      } else {
        c.type = BSCONIC_ELLIPSE;
        c.fields = Conic::kZ | Conic::kA | Conic::kB | Conic::kF1 | Conic::kF2 | Conic::kV1 | Conic::kV2 |
                   Conic::kM1 | Conic::kM2;
        c.b = std::sqrt(G * ratio / lb);
        double d2[3];
        BSeigcon(rc, &uu, &uv, &vv, &k4, &G, &lb, &alpha, &beta);
        for (int i = 0; i < 3; ++i) d2[i] = alpha * u[i] + beta * v[i];
        if (!unit_direction(d2, rc)) return;
        const double fc = std::sqrt(c.a * c.a - c.b * c.b);
        axpy(c.Z, c.a, d1, c.V1);
        axpy(c.Z, -c.a, d1, c.V2);
        axpy(c.Z, c.b, d2, c.M1);
        axpy(c.Z, -c.b, d2, c.M2);
        axpy(c.Z, fc, d1, c.F1);
        axpy(c.Z, -fc, d1, c.F2);
      }
    }
  }
  if (!c.finite()) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  *out = c;
}

// Step of BSconicprp for an ellipse: V1 (with F1) the vertex nearer the curve's first pole, then M1 on the side
// that makes V1, M1 turn as the segment runs. The segment leaves its first pole S0 along (w1 / w0)(S1 - S0): towards
// its second pole, or away from it when the middle weight has the other sign (the complementary arc).
void orient_ellipse(const VOQbsp_curve &cv, const double S0[3], const double S1[3], const double w[3], Conic *c,
                    int *rc) {
  double P0[3];
  bsknots::cartesian_pole(cv, 0, P0);
  if (bsknots::squared_distance(P0, c->V1) > bsknots::squared_distance(P0, c->V2)) {
    std::swap(c->V1, c->V2);
    std::swap(c->F1, c->F2);
  }
  double u1[3], u2[3], q0[3], q1[3];
  diff(c->V1, c->Z, u1);
  diff(c->M1, c->Z, u2);
  diff(S0, c->Z, q0);
  diff(S1, c->Z, q1);
  if (!BSnorvec(rc, u1) || !BSnorvec(rc, u2) || !BSnorvec(rc, q0) || !BSnorvec(rc, q1)) return;
  double axes[3], run[3];
  cross3(u1, u2, axes);
  cross3(q0, q1, run);
  if (dot3(axes, run) * (w[0] * w[1] < 0 ? -1.0 : 1.0) < 0) std::swap(c->M1, c->M2);
}

// The planarity test of BSconicprp on the curve's segments in standard form, halved: a segment of weights w0, w1,
// w2 is the same curve with 1, w, 1 (w = w1 / sqrt(w0 w2), a change of its parameter), and its halves at the
// middle of that parameter have the weights 1, sqrt((1 + w) / 2), 1. Weights that fall over the curve as a whole,
// which no knot insertion evens out, pass then, and so does a segment that turns through nearly half a turn. A
// segment whose end weights are not positive, or whose w is not above -1, still answers 49.
void standard_form_planarity(const VOQbsp_curve &cv, BSboolean *kind, double normal[3], int *rc) {
  int spans[8], count = 0;
  BScvndegspn(&cv, &count, spans, rc);
  if (*rc != 0) return;
  double points[5 * 3 * 8], weights[5 * 8];
  for (int j = 0; j < count; ++j) {
    double seg_poles[9], seg_knots[6], seg_weights[3];
    VOQbsp_curve seg{};
    seg.poles = seg_poles;
    seg.knots = seg_knots;
    seg.weights = seg_weights;
    if (!BSspn_t_bz(rc, &spans[j], &cv, &seg, nullptr, nullptr)) return;
    const double w0 = seg_weights[0], w2 = seg_weights[2];
    const double w = w0 > 0.0 && w2 > 0.0 ? seg_weights[1] / std::sqrt(w0 * w2) : -1.0;
    if (!(w > -1.0)) {
      *rc = BSRC_DEGENERATE;
      return;
    }
    double P[3][3];
    for (int i = 0; i < 3; ++i) bsknots::cartesian_pole(seg, i, P[i]);
    const double v = std::sqrt((1.0 + w) / 2.0);
    double *q = points + 15 * j;
    for (int k = 0; k < 3; ++k) {
      const double M = (P[0][k] + 2.0 * w * P[1][k] + P[2][k]) / (2.0 + 2.0 * w);
      const double half[5] = {P[0][k], (P[0][k] + w * P[1][k]) / (1.0 + w), M, (w * P[1][k] + P[2][k]) / (1.0 + w),
                              P[2][k]};
      for (int i = 0; i < 5; ++i) q[3 * i + k] = half[i] * (i % 2 ? v : 1.0);
    }
    for (int i = 0; i < 5; ++i) weights[5 * j + i] = i % 2 ? v : 1.0;
  }
  BSplanar2(5 * count, points, weights, kind, normal, rc);
}

// The plane normal of BSconicprp: from the segment itself, or from the poles; when their weights are too uneven
// for the planarity test, from the poles of the curve refined once, and when even those are, from its segments in
// standard form, halved.
void curve_normal(const VOQbsp_curve &cv, double normal[3], int *rc) {
  if (cv.num_poles == 3 && cv.rational) {
    BScncbeznrm(&cv, normal, rc);
    return;
  }
  BSboolean kind = 0;
  const double *weights = cv.rational ? cv.weights : nullptr;
  BSplanar2(cv.num_poles, cv.poles, weights, &kind, normal, rc);
  if (*rc == BSRC_DEGENERATE) {
    *rc = 0;
    VOQbsp_curve *refined = nullptr;
    bsknots::refine_midpoints(cv, &refined, rc);
    if (*rc == 0) BSplanar2(refined->num_poles, refined->poles, refined->weights, &kind, normal, rc);
    if (refined) {
      int frc = 0;
      BSfreevoqcv(refined, &frc);
      if (*rc == 0 && frc != 0) *rc = frc;
    }
  }
  if (*rc == BSRC_DEGENERATE) {
    *rc = 0;
    standard_form_planarity(cv, &kind, normal, rc);
  }
  // Weights that no change of parameter evens out leave the plane undecided: no conic this routine can tell.
  if (*rc == BSRC_DEGENERATE) *rc = BSRC_NOT_CONIC;
  if (*rc != 0) return;
  if (kind != BSKIND_PLANE) {
    *rc = BSRC_NOT_CONIC;
    return;
  }
  BSnorvec(rc, normal);
}

// The span of the longest control polygon among the non-degenerate ones (the first of equals).
int longest_span(const VOQbsp_curve &cv, int *rc) {
  const int k = cv.order;
  if (cv.num_poles == k) return k - 1;
  int spans[16], count = 0;
  BScvndegspn(&cv, &count, spans, rc);
  if (*rc != 0) return k - 1;
  int best = spans[0];
  double best_len = -1.0;
  for (int j = 0; j < count; ++j) {
    double len = 0.0, prev[3], next[3];
    bsknots::cartesian_pole(cv, spans[j] - k + 1, prev);
    for (int i = spans[j] - k + 2; i <= spans[j]; ++i) {
      bsknots::cartesian_pole(cv, i, next);
      len += std::sqrt(bsknots::squared_distance(prev, next));
      std::memcpy(prev, next, sizeof prev);
    }
    if (len > best_len) {
      best_len = len;
      best = spans[j];
    }
  }
  return best;
}

}  // namespace

void BSbeztopow(int ncomp, int degree, const double *bez, double *pow) {
  if (ncomp < 1 || degree < 0 || !bez || !pow) {
    BSfaulthook("bsbeztopow", nullptr);
    return;
  }
  const int n = degree;
  for (int comp = 0; comp < ncomp; ++comp) {
    const double *b = bez + comp * (n + 1);
    double *p = pow + comp * (n + 1);
    if (n == 0) {
      p[0] = b[0];
    } else if (n == 1) {
      p[0] = (b[0] + b[1]) / 2.0;
      p[1] = (b[1] - b[0]) / 2.0;
    } else if (n == 2) {
      p[0] = (b[0] + b[2]) / 4.0 + b[1] / 2.0;
      p[1] = (b[2] - b[0]) / 2.0;
      p[2] = (b[0] + b[2]) / 4.0 - b[1] / 2.0;
    } else {
      // B_i(t) with t = (1 + s) / 2 is C(n, i) (1 + s)^i (1 - s)^(n - i) / 2^n.
      const double scale = std::ldexp(1.0, -n);
      for (int j = 0; j <= n; ++j) {
        double sum = 0.0;
        for (int i = 0; i <= n; ++i) {
          double coef = 0.0;
          for (int l = std::max(0, j - (n - i)); l <= std::min(i, j); ++l)
            coef += ((j - l) % 2 ? -1.0 : 1.0) * binomial(i, l) * binomial(n - i, j - l);
          sum += b[i] * binomial(n, i) * coef;
        }
        p[j] = sum * scale;
      }
    }
  }
  BSfaulthook("bsbeztopow", nullptr);
}

void BSnormfrdg2_n(int ncomp, const double *coef, double *out, int *rc) {
  *rc = 0;
  do {
    if (ncomp < 1 || !coef || !out) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int wi = 3 * (ncomp - 1);
    const double w0 = coef[wi], w1 = coef[wi + 1], w2 = coef[wi + 2];
    const double S = w0 + w2, D = S * S - w1 * w1;
    // D is the product of the end weights: a sign change or a zero end weight has no normal form.
    if (!(D > 0.0) || !all_finite(3 * ncomp, coef)) {
      *rc = BSRC_NO_NORMAL_FORM;
      break;
    }
    const double h = std::sqrt(D) / S, DS = D / S;
    // Every value is checked before any is written, so out may be coef and a failure leaves it as it was.
    auto component = [&](int c, double r[3]) {
      const double c0 = coef[3 * c], c1 = coef[3 * c + 1], c2 = coef[3 * c + 2];
      if (c == ncomp - 1) {
        r[0] = ((c0 - c2) * h + DS) / 2.0;
        r[1] = 0.0;
        r[2] = (DS - (c0 - c2) * h) / 2.0;
      } else {
        const double m = ((c0 + c2) * S - c1 * w1) / S;
        r[0] = ((c0 - c2) * h + m) / 2.0;
        r[1] = (c1 * S - (c0 + c2) * w1) / S;
        r[2] = (m - (c0 - c2) * h) / 2.0;
      }
    };
    bool finite = std::isfinite(h) && std::isfinite(DS);
    for (int c = 0; c < ncomp && finite; ++c) {
      double r[3];
      component(c, r);
      finite = all_finite(3, r);
    }
    if (!finite) {
      *rc = BSRC_NO_NORMAL_FORM;
      break;
    }
    for (int c = 0; c < ncomp; ++c) component(c, out + 3 * c);
  } while (false);
  BSexit(rc, "BSnormfrdg2_n", "bsnormfrdg2_n");
}

void BScan2conic_n(int rational, double coef[12], double Z[3], double A1[3], double A2[3], int *rc) {
  *rc = 0;
  do {
    if (!rational || !coef) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!all_finite(12, coef)) {
      *rc = BSRC_NO_NORMAL_FORM;
      break;
    }
    if (coef[10] != 0.0) {
      double normal_form[12];
      BSnormfrdg2_n(4, coef, normal_form, rc);
      if (*rc != 0) break;
      if (normal_form[10] != 0.0) {
        *rc = BSRC_NO_NORMAL_FORM;
        break;
      }
      std::memcpy(coef, normal_form, sizeof normal_form);
    }
    // Without a linear term the weight w0 + w2 s^2 has no real root only when w0 and w2 share a sign; after the
    // normal form of a segment with positive end weights w0 + w2 > 0, so both must be positive. A segment whose
    // weight vanishes inside it (w0 <= 0 < w2) is a hyperbola, not an ellipse.
    const double w0 = coef[9], w2 = coef[11];
    if (!(w2 > 0.0) || !(w0 > 0.0)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double r = w2 / w0, sr = std::sqrt(r);
    double P[3], A[3], B[3], center[3];
    for (int c = 0; c < 3; ++c) {
      P[c] = coef[3 * c] / w0;
      const double q1 = coef[3 * c + 1] / w0 / sr;
      const double q2 = (coef[3 * c + 2] - w2 * P[c]) / w0 / r;
      A[c] = -q2 / 2.0;
      B[c] = q1 / 2.0;
      center[c] = P[c] + q2 / 2.0;
    }
    const double pair[6] = {A[0], A[1], A[2], B[0], B[1], B[2]};
    double sv[2], vec[4];
    BSsngvald2v(3, pair, sv, vec, rc);
    if (*rc != 0) break;
    if (sv[1] < 0.0) {
      *rc = BSRC_NOT_CONIC;
      break;
    }
    double a1[3], a2[3];
    if (std::fabs(sv[0] - sv[1]) >= BStoltab[bstol::basis_tol] / 2.0) {
      for (int c = 0; c < 3; ++c) {
        a1[c] = vec[0] * A[c] + vec[1] * B[c];
        a2[c] = vec[2] * A[c] + vec[3] * B[c];
      }
    } else {
      // A circle: any two perpendicular radii are principal; A and B already are, up to rounding of their length.
      const double radius = (sv[0] + sv[1]) / 2.0;
      if (!BSnorvec(rc, A) || !BSnorvec(rc, B)) break;
      for (int c = 0; c < 3; ++c) {
        a1[c] = radius * A[c];
        a2[c] = radius * B[c];
      }
    }
    if (!all_finite(3, center) || !all_finite(3, a1) || !all_finite(3, a2)) {
      *rc = BSRC_NO_NORMAL_FORM;
      break;
    }
    std::memcpy(Z, center, sizeof center);
    std::memcpy(A1, a1, sizeof a1);
    std::memcpy(A2, a2, sizeof a2);
  } while (false);
  BSexit(rc, "BScan2conic_n", "bscan2conic_n");
}

void BSbsp2conic_n(const VOQbsp_curve *bez, double Z[3], double A1[3], double A2[3], int *rc) {
  *rc = segment_check(bez);
  if (*rc == 0) {
    double bcoef[12], pcoef[12];
    bezier_coefficients(*bez, bcoef);
    BSbeztopow(4, 2, bcoef, pcoef);
    BScan2conic_n(1, pcoef, Z, A1, A2, rc);
  }
  BSexit(rc, "BSbsp2conic_n", "bsbsp2conic_n");
}

void BSbezprop(const VOQbsp_curve *bez, double tol, double A[3], double B[3], int *rc) {
  *rc = segment_check(bez);
  if (*rc == 0) {
    double bcoef[12], p[12];
    bezier_coefficients(*bez, bcoef);
    BSbeztopow(4, 2, bcoef, p);
    const double w[3] = {p[9], p[10], p[11]};
    // x[i]: the weighted coordinates' coefficient of s^i. The homogeneous points (x[i], w[i]) span the plane;
    // differences against a pivot with a weight not near 0 are directions in it.
    double x[3][3];
    for (int i = 0; i < 3; ++i)
      for (int c = 0; c < 3; ++c) x[i][c] = p[3 * c + i];
    int pivot = 2;
    if (std::fabs(w[2]) < tol) pivot = std::fabs(w[0]) >= std::fabs(w[1]) ? 0 : 1;
    if (std::fabs(w[pivot]) < tol) {
      *rc = BSRC_OUT_OF_RANGE;
    } else {
      const int i1 = pivot == 0 ? 1 : 0, i2 = pivot == 2 ? 1 : 2;
      double a[3], b[3];
      axpy(x[i1], -w[i1] / w[pivot], x[pivot], a);
      axpy(x[i2], -w[i2] / w[pivot], x[pivot], b);
      const bool usable = length(a) >= tol || length(b) >= tol;
      for (int c = 0; c < 3; ++c) {
        A[c] = usable ? a[c] : 0.0;
        B[c] = usable ? b[c] : 0.0;
      }
    }
  }
  BSexit(rc, "BSbezprop", "bsbezprop");
}

void BScncbeznrm(const VOQbsp_curve *bez, double normal[3], int *rc) {
  *rc = segment_check(bez);
  if (*rc == 0) {
    double A[3], B[3], n[3];
    BSbezprop(bez, BStoltab[bstol::dist_tol], A, B, rc);
    if (*rc == 0 && BSvcross(rc, A, B, n) && BSnorvec(rc, n)) std::memcpy(normal, n, sizeof n);
  }
  BSexit(rc, "BScncbeznrm", "bscncbeznrm");
}

BSboolean BSeigcon(int *rc, const double *uu, const double *uv, const double *vv, const double *k4, const double *G,
                   const double *lambda, double *alpha, double *beta) {
  *rc = 0;
  const double r1 = (2.0 * *k4 - 1.0) * *G - *uv * *lambda;
  const double r2 = *lambda * *uu - 2.0 * *k4 * *G;
  const double r3 = *lambda * *vv - 2.0 * *k4 * *G;
  double a = r1, b = r2;
  if (std::fabs(r3) > std::fabs(r2)) a = r3, b = r1;
  const double len = std::sqrt(a * a * *uu + 2.0 * a * b * *uv + b * b * *vv);
  // A null direction (a circle's) is left unscaled; the caller tells it by its length.
  if (len > 0.0) a /= len, b /= len;
  *alpha = a;
  *beta = b;
  BSexit(rc, "BSeigcon", "bseigcon");
  return BSTRUE;
}

BSboolean BScncprop(int *rc, const double normal[3], const double P0[3], const double P1[3], const double P2[3],
                    const double *w0, const double *w1, const double *w2, int *type, double Z[3], double *a,
                    double *b, double F1[3], double F2[3], double V1[3], double V2[3], double M1[3], double M2[3]) {
  *rc = 0;
  if (!normal || !P0 || !P1 || !P2 || !w0 || !w1 || !w2) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double weights[3] = {*w0, *w1, *w2};
    if (!all_finite(3, normal) || !all_finite(3, P0) || !all_finite(3, P1) || !all_finite(3, P2) ||
        !all_finite(3, weights)) {
      *rc = BSRC_OUT_OF_RANGE;
    } else {
      Conic c;
      classify_segment(normal, P0, P1, P2, *w0, *w1, *w2, &c, rc);
      if (*rc == 0) c.write(type, Z, a, b, F1, F2, V1, V2, M1, M2);
    }
  }
  BSexit(rc, "BScncprop", "bscncprop");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSconicprp(const VOQbsp_curve *cv, int *type, double Z[3], double *a, double *b, double F1[3], double F2[3],
                double V1[3], double V2[3], double M1[3], double M2[3], int *rc) {
  *rc = 0;
  do {
    if (!cv || !cv->poles || !cv->knots || (cv->rational && !cv->weights)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const int n = cv->num_poles;
    if (cv->order != 3 || (n != 3 && n != 5 && n != 7 && n != 9)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!all_finite(3 * n, cv->poles) || !all_finite(n + 3, cv->knots) ||
        (cv->rational && !all_finite(n, cv->weights))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const VOQbsp_curve in = bsknots::plain_view(*cv);
    double normal[3];
    curve_normal(in, normal, rc);
    if (*rc != 0) break;
    int span = longest_span(in, rc);
    if (*rc != 0) break;

    double seg_poles[9], seg_knots[6], seg_weights[3] = {1.0, 1.0, 1.0};
    VOQbsp_curve seg{};
    seg.poles = seg_poles;
    seg.knots = seg_knots;
    seg.weights = seg_weights;
    if (!BSspn_t_bz(rc, &span, &in, &seg, nullptr, nullptr)) break;
    // A polynomial segment is the rational one with weights 1 (BSextrcvspn dropped the weights pointer).
    seg.weights = seg_weights;
    seg.rational = BSTRUE;
    double S[3][3];
    for (int i = 0; i < 3; ++i) bsknots::cartesian_pole(seg, i, S[i]);

    Conic c;
    double A1[3], A2[3];
    BSbsp2conic_n(&seg, c.Z, A1, A2, rc);
    if (*rc == 0) {
      c.a = length(A1);
      c.b = length(A2);
      if (std::fabs(c.a - c.b) >= BStoltab[bstol::basis_tol]) {
        if (c.a < c.b) {
          *rc = BSRC_NOT_CONIC;
          break;
        }
        c.type = BSCONIC_ELLIPSE;
        c.fields = Conic::kZ | Conic::kA | Conic::kB | Conic::kF1 | Conic::kF2 | Conic::kV1 | Conic::kV2 |
                   Conic::kM1 | Conic::kM2;
        const double ce = std::sqrt(c.a * c.a - c.b * c.b) / c.a;
        axpy(c.Z, ce, A1, c.F1);
        axpy(c.Z, -ce, A1, c.F2);
        axpy(c.Z, 1.0, A1, c.V1);
        axpy(c.Z, -1.0, A1, c.V2);
        axpy(c.Z, 1.0, A2, c.M1);
        axpy(c.Z, -1.0, A2, c.M2);
      } else {
        c.type = BSCONIC_CIRCLE;
        c.fields = Conic::kZ | Conic::kA | Conic::kB;
      }
    } else if (*rc == BSRC_OUT_OF_RANGE) {
      // Not elliptic by the power form: the Bezier triangle tells parabola, hyperbola or (negative middle weight)
      // ellipse.
      *rc = 0;
      classify_segment(normal, S[0], S[1], S[2], seg.weights[0], seg.weights[1], seg.weights[2], &c, rc);
      if (*rc != 0) break;
    } else {
      break;
    }
    if (c.type == BSCONIC_ELLIPSE) {
      orient_ellipse(in, S[0], S[1], seg.weights, &c, rc);
      if (*rc != 0) break;
    }
    c.write(type, Z, a, b, F1, F2, V1, V2, M1, M2);
  } while (false);
  BSexit(rc, "BSconicprp", "bsconicprp");
}

std::int16_t BSgenus(int *rc, const double A[3], const double B[3], const double M[3], const double TA[3],
                     const double TB[3]) {
  *rc = 0;
  std::int16_t genus = 0;
  do {
    if (!A || !B || !M || !TA || !TB || !all_finite(3, A) || !all_finite(3, B) || !all_finite(3, M) ||
        !all_finite(3, TA) || !all_finite(3, TB)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double tA[3], tB[3];
    diff(TA, A, tA);
    diff(TB, B, tB);
    if (!BSnorvec(rc, tA) || !BSnorvec(rc, tB)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (std::fabs(std::fabs(dot3(tA, tB)) - 1.0) <= BStoltab[3]) {
      genus = BSCONIC_ELLIPSE;
      break;
    }
    double c1[3], c2[3], dist = 0;
    BSboolean parallel = BSFALSE;
    if (!BSlldist(rc, A, B, tA, tB, &parallel, &dist, c1, c2)) break;
    double K[3], MA[3], BA[3], KA[3], MK[3], KB[3], X1[3], X2[3], X3[3];
    for (int i = 0; i < 3; ++i) K[i] = (c1[i] + c2[i]) / 2.0;
    diff(M, A, MA);
    diff(B, A, BA);
    diff(K, A, KA);
    diff(M, K, MK);
    diff(K, B, KB);
    cross3(MA, BA, X1);
    cross3(MA, KA, X2);
    cross3(MK, KB, X3);
    // M within the distance tolerance of a tangent line (or at K) lies on no conic of these tangents through A
    // and B; g would be a quotient of rounding errors.
    const double tol = BStoltab[bstol::dist_tol];
    if (length(X2) <= tol * length(KA) || length(X3) <= tol * length(KB)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // With barycentric coordinates of M in the triangle A, B, K, g = 4 / k of the conic's Bezier form.
    const double g = dot3(X1, X1) / (length(X2) * length(X3));
    if (!std::isfinite(g)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (std::fabs(g - 4.0) < BStoltab[6])
      genus = BSCONIC_PARABOLA;
    else
      genus = g >= 4.0 ? BSCONIC_HYPERBOLA : BSCONIC_ELLIPSE;
  } while (false);
  BSexit(rc, "BSgenus", "bsgenus");
  return *rc == 0 ? genus : 0;
}
