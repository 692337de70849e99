// Spans that are straight lines or circular arcs meet in closed form: the line or circle that carries a span is
// longer than the span, so every candidate is kept only when it projects onto both spans. Beside them, the test
// whether two spans that meet at both ends coincide between those ends.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"

namespace {

constexpr int kParallelNormalsTol = 3;  // tolerance entry of | |N1 . N2| - 1 | for one circle
constexpr int kParallelPlanesTol = 4;   // tolerance entry of |N1 x N2| for parallel planes
constexpr int kOverlapTol = 18;         // tolerance entry whose square places the overlap samples
constexpr int kDenseSamples = 16;       // pieces of each span sampled when their parametrisations differ
// 2^-970: a distance at or below it gives no usable reciprocal.
constexpr double kTinyLength = 1.0020841800044864e-292;

bool finite_circle(const double centre[3], double radius) {
  return BSallfinite(3, centre) && std::isfinite(radius) && radius >= 0;
}

// Pole i of a span as a point.
void cartesian_pole(const VOQbsp_curve &cv, int i, double p[3]) {
  const double w = cv.rational ? cv.weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) p[c] = cv.poles[3 * i + c] / w;
}

// Keeps each candidate that lies on both spans, with its parameter on each; a projection failure stops.
void keep_on_both(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int count, const double *cand, std::int16_t *m,
                  double *pts, double *par1, double *par2, int *rc) {
  for (int i = 0; i < count && *rc == 0; ++i) {
    const double *p = cand + 3 * i;
    double u1 = 0, u2 = 0;
    BSboolean on1 = BSFALSE, on2 = BSFALSE;
    if (!BSprptoncv(rc, cv1, p, &u1, &on1) || !on1) continue;
    if (!BSprptoncv(rc, cv2, p, &u2, &on2) || !on2) continue;
    std::memmove(pts + 3 * *m, p, 3 * sizeof(double));
    par1[*m] = u1;
    par2[*m] = u2;
    ++*m;
  }
  if (*rc != 0) *m = 0;
}

// The code of the first damaged record of the two (0 when both can be read).
int check_pair(const VOQbsp_curve *a, const VOQbsp_curve *b) {
  const int bad = BScvcheck(a);
  return bad != 0 ? bad : BScvcheck(b);
}

double dist_sq(const double a[3], const double b[3]) {
  return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
}

// The point of cv at u.
void point_at(const VOQbsp_curve &cv, double u, double p[3], int *rc) {
  int span = cv.order - 1;
  const int n = cv.num_poles;
  BSfndspan(rc, &cv, &n, cv.knots, &u, &span);
  if (*rc == 0) BScveval0(rc, cv.order, cv.poles, cv.rational ? cv.weights : nullptr, cv.knots, span, u, p);
}

}  // namespace

void BSxlnsph(const double L0[3], const double L1[3], const double centre[3], double radius, std::int16_t *k,
              double pts[6], int *rc) {
  *rc = 0;
  if (k) *k = 0;
  if (!L0 || !L1 || !centre || !k || !pts) {
    *rc = BSRC_NULL_CURVE;
  } else if (!BSallfinite(3, L0) || !BSallfinite(3, L1) || !finite_circle(centre, radius)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double line[6] = {L0[0], L0[1], L0[2], L1[0], L1[1], L1[2]};
    double foot[3];
    // A line too short to project onto carries no points.
    if (BSproj0(rc, centre, line, foot)) {
      const double d = std::sqrt(dist_sq(centre, foot));
      if (std::fabs(radius - d) < BStoltab[bstol::dist_tol]) {
        std::memmove(pts, foot, sizeof foot);
        *k = 1;
      } else if (d <= radius) {
        // Rounding may put d / radius a little above 1, whose arc cosine is NaN.
        const double ratio = radius > 0 ? std::min(1.0, d / radius) : 1.0;
        const double h = radius * std::sin(std::acos(ratio));
        double u[3] = {L1[0] - L0[0], L1[1] - L0[1], L1[2] - L0[2]};
        if (BSnorvec(rc, u)) {
          for (int c = 0; c < 3; ++c) {
            pts[c] = foot[c] + h * u[c];
            pts[3 + c] = foot[c] - h * u[c];
          }
          *k = 2;
        }
      }
    }
    *rc = 0;
  }
  BSexit(rc, "BSxlnsph", "bsxlnsph");
}

void BSpl_pl(const double P1[3], const double N1[3], const double P2[3], const double N2[3], int *code,
             double point[3], double dir[3], int *rc) {
  *rc = 0;
  if (code) *code = 0;
  if (!P1 || !N1 || !P2 || !N2 || !code || !point || !dir) {
    *rc = BSRC_NULL_CURVE;
  } else if (!BSallfinite(3, P1) || !BSallfinite(3, N1) || !BSallfinite(3, P2) || !BSallfinite(3, N2)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (BSvlengthsq(rc, N1) == 0 || BSvlengthsq(rc, N2) == 0) {
    // A zero normal would make every plane parallel to the other, and coincident with it.
    *rc = BSRC_NULL_VECTOR;
  } else {
    *code = 5;
    double D[3];
    BSvcross(rc, N1, N2, D);
    const double len = std::sqrt(D[0] * D[0] + D[1] * D[1] + D[2] * D[2]);
    if (len < BStoltab[kParallelPlanesTol]) {
      *code = 3;
      const double off = (P1[0] - P2[0]) * N1[0] + (P1[1] - P2[1]) * N1[1] + (P1[2] - P2[2]) * N1[2];
      if (std::fabs(off) < BStoltab[bstol::dist_tol]) *code = 4;
    } else {
      const double d1 = N1[0] * P1[0] + N1[1] * P1[1] + N1[2] * P1[2];
      const double d2 = N2[0] * P2[0] + N2[1] * P2[1] + N2[2] * P2[2];
      // The coordinate of the largest |D| component is fixed at 1; its determinant is that component, the
      // largest and so the best conditioned of the three.
      int i = 0;
      for (int c = 1; c < 3; ++c)
        if (std::fabs(D[c]) > std::fabs(D[i])) i = c;
      const int j = (i + 1) % 3, l = (i + 2) % 3;
      const double e1 = d1 - N1[i], e2 = d2 - N2[i];
      point[i] = 1;
      point[j] = (e1 * N2[l] - e2 * N1[l]) / D[i];
      point[l] = (N1[j] * e2 - N2[j] * e1) / D[i];
      for (int c = 0; c < 3; ++c) dir[c] = D[c] / len;
    }
  }
  BSexit(rc, "BSpl_pl", "bspl_pl");
}

void BSxarcarc(const double c1[3], double r1, const double N1[3], const double c2[3], double r2, const double N2[3],
               std::int16_t *k, double pts[6], int *rc) {
  *rc = 0;
  if (k) *k = 0;
  if (!c1 || !N1 || !c2 || !N2 || !k || !pts) {
    *rc = BSRC_NULL_CURVE;
  } else if (!finite_circle(c1, r1) || !finite_circle(c2, r2) || !BSallfinite(3, N1) || !BSallfinite(3, N2)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double tol = BStoltab[bstol::dist_tol];
    const double d = std::sqrt(dist_sq(c1, c2));
    const double cosn = N1[0] * N2[0] + N1[1] * N2[1] + N1[2] * N2[2];
    if (d < tol && std::fabs(r1 - r2) < tol && std::fabs(std::fabs(cosn) - 1) < BStoltab[kParallelNormalsTol]) {
      *rc = 46;
    } else {
      double u[3] = {c2[0] - c1[0], c2[1] - c1[1], c2[2] - c1[2]};
      if (d > kTinyLength)
        for (double &x : u) x /= d;
      if (std::fabs(d - (r1 + r2)) < tol) {
        for (int c = 0; c < 3; ++c) pts[c] = ((c1[c] + r1 * u[c]) + (c2[c] - r2 * u[c])) / 2;
        *k = 1;
      } else if (std::fabs(d - std::fabs(r1 - r2)) < tol) {
        const double s = r1 <= r2 ? -1 : 1;
        for (int c = 0; c < 3; ++c) pts[c] = ((c1[c] + s * r1 * u[c]) + (c2[c] + s * r2 * u[c])) / 2;
        *k = 1;
      } else if (d > 0 && d < r1 + r2 && std::max(r1, r2) <= std::min(r1, r2) + d) {
        // The chord's middle from either centre, averaged so that neither circle is favoured.
        const double x1 = (d * d + r1 * r1 - r2 * r2) / (2 * d), x2 = (d * d + r2 * r2 - r1 * r1) / (2 * d);
        double s[3], w[3];
        const double sign = cosn >= 0 ? 1 : -1;
        for (int c = 0; c < 3; ++c) s[c] = N1[c] + sign * N2[c];
        BSvcross(rc, s, u, w);
        if (BSnorvec(rc, w)) {
          // Nearly touching circles may round r1^2 - x^2 below 0.
          const double h = std::sqrt(std::max(0.0, r1 * r1 - x1 * x1));
          for (int c = 0; c < 3; ++c) {
            const double mid = ((c1[c] + x1 * u[c]) + (c2[c] - x2 * u[c])) / 2;
            pts[c] = mid + h * w[c];
            pts[3 + c] = mid - h * w[c];
          }
          *k = 2;
        }
      }
    }
  }
  BSexit(rc, "BSxarcarc", "bsxarcarc");
}

void BSxbzlnarc(const VOQbsp_curve *line, const VOQbsp_curve *arc, const double centre[3], double radius,
                std::int16_t *m, double pts[6], double par_line[2], double par_arc[2], int *rc) {
  *rc = 0;
  if (m) *m = 0;
  if (!line || !arc || !centre || !m || !pts || !par_line || !par_arc) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int bad = check_pair(line, arc)) {
    *rc = bad;
  } else if (!finite_circle(centre, radius)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double L0[3], L1[3], cand[6];
    cartesian_pole(*line, 0, L0);
    cartesian_pole(*line, line->num_poles - 1, L1);
    std::int16_t k = 0;
    BSxlnsph(L0, L1, centre, radius, &k, cand, rc);
    keep_on_both(arc, line, *rc == 0 ? k : 0, cand, m, pts, par_arc, par_line, rc);
  }
  BSexit(rc, "BSxbzlnarc", "bsxbzlnarc");
}

void BSxbzarcarc(const VOQbsp_curve *arc1, const double c1[3], double r1, const VOQbsp_curve *arc2,
                 const double c2[3], double r2, std::int16_t *m, double pts[6], double par1[2], double par2[2],
                 int *rc) {
  *rc = 0;
  if (m) *m = 0;
  if (!arc1 || !arc2 || !c1 || !c2 || !m || !pts || !par1 || !par2) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int bad = check_pair(arc1, arc2)) {
    *rc = bad;
  } else if (!finite_circle(c1, r1) || !finite_circle(c2, r2)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double N1[3], N2[3], P1[3], P2[3], cand[6], point[3], dir[3];
    std::int16_t k = 0;
    int code = 0;
    cartesian_pole(*arc1, 0, P1);
    cartesian_pole(*arc2, 0, P2);
    if (BScvnormal(rc, arc1, N1) && BScvnormal(rc, arc2, N2)) BSpl_pl(P1, N1, P2, N2, &code, point, dir, rc);
    if (*rc == 0 && code == 4) {
      BSxarcarc(c1, r1, N1, c2, r2, N2, &k, cand, rc);
      // One circle: the spans meet where their ends do, which the end-point stage has settled.
      if (*rc == 46) {
        *rc = 0;
        k = 0;
      }
    } else if (*rc == 0 && code == 5) {
      const double far[3] = {point[0] + dir[0], point[1] + dir[1], point[2] + dir[2]};
      BSxlnsph(point, far, c1, r1, &k, cand, rc);
    }
    keep_on_both(arc1, arc2, *rc == 0 ? k : 0, cand, m, pts, par1, par2, rc);
  }
  BSexit(rc, "BSxbzarcarc", "bsxbzarcarc");
}

void BSbzoverlap(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double par1[2], const double par2[2],
                 BSboolean *overlap, int *rc) {
  *rc = 0;
  if (overlap) *overlap = BSFALSE;
  VOQbsp_curve *w1 = nullptr, *w2 = nullptr;
  if (!cv1 || !cv2 || !par1 || !par2 || !overlap) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int bad = check_pair(cv1, cv2)) {
    *rc = bad;
  } else if (!BSallfinite(2, par1) || !BSallfinite(2, par2)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const BSboolean no_planar_test = BSFALSE;
    BSallocvoqcv(cv1->order, cv1->num_poles, cv1->rational, 0, &w1, rc);
    if (*rc == 0) BSallocvoqcv(cv2->order, cv2->num_poles, cv2->rational, 0, &w2, rc);
    if (*rc == 0) BSactivsplt(rc, cv1, &par1[0], &par1[1], w1, &no_planar_test);
    if (*rc == 0) BSactivsplt(rc, cv2, &par2[0], &par2[1], w2, &no_planar_test);
    if (*rc == 0 && w1->order < w2->order)
      BSupthedeg(w1, static_cast<std::int16_t>(w2->order - 1), BSFALSE, &w1, rc);
    else if (*rc == 0 && w2->order < w1->order)
      BSupthedeg(w2, static_cast<std::int16_t>(w1->order - 1), BSFALSE, &w2, rc);
    // End weights of 1 make the first poles points, comparable without division.
    if (*rc == 0 && w1->rational) BSchgewts(w1, w1, rc);
    if (*rc == 0 && w2->rational) BSchgewts(w2, w2, rc);
    if (*rc == 0) {
      const double r2 = BStoltab[kOverlapTol] * BStoltab[kOverlapTol];
      const int p = w1->order, q = p - 1;
      const double a1 = w1->knots[p - 1], b1 = w1->knots[w1->num_poles];
      const double a2 = w2->knots[p - 1], b2 = w2->knots[w2->num_poles];
      const bool forward = dist_sq(w1->poles, w2->poles) <= r2;
      // A sample of one piece away from its partner on the other lies on the other only where a foot of the other
      // reaches it; one without a foot is judged by its nearest point there (a piece that turns back has samples
      // beyond the other's end). Both pieces are sampled against each other: either may cover more.
      auto off = [&](const VOQbsp_curve &b, const double x[3]) {
        BSboolean found = BSFALSE;
        double foot = 0, y[3], dist = 0;
        int position = 0;
        BSperpa(rc, &b, x, x, &found, &foot, &position);
        if (*rc == 0 && found) {
          point_at(b, foot, y, rc);
          return *rc == 0 && dist_sq(x, y) > r2;
        }
        if (*rc == 0) BSmdstptcv(&b, x, &foot, y, &dist, rc);
        return *rc == 0 && dist * dist > r2;
      };
      bool apart = false, matched = true;
      for (int i = 1; i <= p - 2 && *rc == 0 && !apart; ++i) {
        const double u1 = a1 + i * (b1 - a1) / q;
        const double u2 = forward ? a2 + i * (b2 - a2) / q : b2 - i * (b2 - a2) / q;
        double x1[3], x2[3];
        point_at(*w1, u1, x1, rc);
        if (*rc == 0) point_at(*w2, u2, x2, rc);
        if (*rc != 0 || dist_sq(x1, x2) <= r2) continue;
        matched = false;
        apart = off(*w2, x1) || (*rc == 0 && off(*w1, x2));
      }
      // Samples that agree pair by pair prove one polynomial piece; pieces parametrised apart prove nothing by
      // lying on each other at q - 1 places. A straight piece that turns back (its end's foot taken on the way
      // back) has every one of them on the other piece and still runs past the other's end in between: such
      // pieces are judged on dense samples of both.
      for (int i = 1; i < kDenseSamples && !matched && *rc == 0 && !apart; ++i) {
        double x1[3], x2[3];
        point_at(*w1, a1 + i * (b1 - a1) / kDenseSamples, x1, rc);
        if (*rc == 0) point_at(*w2, a2 + i * (b2 - a2) / kDenseSamples, x2, rc);
        apart = *rc == 0 && (off(*w2, x1) || (*rc == 0 && off(*w1, x2)));
      }
      if (*rc == 0) *overlap = !apart && p > 2 ? BSTRUE : BSFALSE;
    }
  }
  for (VOQbsp_curve *w : {w1, w2})
    if (w) {
      int frc = 0;
      BSfreevoqcv(w, &frc);
      if (*rc == 0) *rc = frc;
    }
  if (*rc != 0 && overlap) *overlap = BSFALSE;
  BSexit(rc, "BSbzoverlap", "bsbzoverlap");
}
