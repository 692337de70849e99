// Planarity and collinearity of point sets and of curve poles: thin wrappers around the shape classification of
// BSgmprppts3 at the distance tolerance, each answering in the form its callers want.
#include "bspline/numerics.h"

#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"

namespace {

// Divides the points by their weights into scratch and classifies them. Where positive-weighted points lie does
// not depend on how their weights compare, so any spread of positive weights is decided; rc 49 only for a weight
// that is not positive, which puts its point at infinity or behind it.
void classify(int n, const double *points, const double *weights, int *shape, double vec[3], int *rc) {
  BSstackblock stack;
  double *unweighted = nullptr;
  do {
    const double *pts = points;
    if (n > 0 && (!BSallfinite(3 * n, points) || (weights && !BSallfinite(n, weights)))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (weights && n > 0) {
      bool unusable = false;
      for (int i = 0; i < n && !unusable; ++i) unusable = !(weights[i] > 0.0);
      if (unusable) {
        *rc = BSRC_DEGENERATE;
        break;
      }
      unweighted = BSscratchtake(3 * static_cast<std::size_t>(n), &stack);
      if (!unweighted) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      for (int i = 0; i < n; ++i)
        for (int k = 0; k < 3; ++k) unweighted[3 * i + k] = points[3 * i + k] / weights[i];
      pts = unweighted;
    }
    double centroid[3];
    BSgmprppts3(n, pts, BStoltab[bstol::dist_tol], shape, centroid, vec, rc);
  } while (false);
  BSscratchrelease(unweighted);
}

int kind_of(int shape) {
  switch (shape) {
    case BSSHAPE_COINCIDENT: return BSKIND_POINT;
    case BSSHAPE_COLLINEAR: return BSKIND_LINE;
    case BSSHAPE_COPLANAR: return BSKIND_PLANE;
    default: return BSKIND_NONE;
  }
}

void clear3(double v[3]) { v[0] = v[1] = v[2] = 0.0; }

// True when points certainly lie on no line at the distance tolerance, from their second moments alone: with
// G = B^T B for the centred points B and its eigenvalues l1 >= l2 >= l3, the sum of G's 2 x 2 principal minors
// e2 = l1 l2 + l1 l3 + l2 l3 is at most 3 l1 l2 and l1 is at most the trace e1, so l2 >= e2 / (3 e1). The
// classification calls the points collinear only when the second singular value sqrt(l2) is below tol sqrt(n);
// twice that, with e2 standing well clear of its rounding, settles it without the decomposition. False for
// anything else (non-finite points included), which the decomposition then decides.
bool clearly_not_collinear(int n, const double *pts, double tol) {
  if (n < 3 || !(tol >= 0) || !std::isfinite(tol)) return false;
  double c[3] = {0.0, 0.0, 0.0};
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) c[k] += pts[3 * i + k];
  for (double &x : c) x /= n;
  double g[3][3] = {};
  for (int i = 0; i < n; ++i) {
    const double b[3] = {pts[3 * i] - c[0], pts[3 * i + 1] - c[1], pts[3 * i + 2] - c[2]};
    for (int r = 0; r < 3; ++r)
      for (int k = r; k < 3; ++k) g[r][k] += b[r] * b[k];
  }
  const double e1 = g[0][0] + g[1][1] + g[2][2];
  const double e2 = (g[0][0] * g[1][1] - g[0][1] * g[0][1]) + (g[0][0] * g[2][2] - g[0][2] * g[0][2]) +
                    (g[1][1] * g[2][2] - g[1][2] * g[1][2]);
  if (!(e1 > 0) || !std::isfinite(e1) || !std::isfinite(e2)) return false;
  return e2 > 1e-8 * e1 * e1 && e2 > 12.0 * n * tol * tol * e1;
}

}  // namespace

void BStst_plan(int n, const double *poles, const double *weights, BSboolean *planar, double normal[3], int *rc) {
  *rc = 0;
  *planar = BSFALSE;
  clear3(normal);
  int shape = 0;
  classify(n, poles, weights, &shape, normal, rc);
  if (*rc == 0 && shape == BSSHAPE_COPLANAR) *planar = BSTRUE;
  BSexit(rc, "BStst_plan", "bstst_plan");
}

void BSplanar2(int n, const double *points, const double *weights, BSboolean *kind, double vec[3], int *rc) {
  *rc = 0;
  *kind = 0;
  clear3(vec);
  int shape = 0;
  classify(n, points, weights, &shape, vec, rc);
  if (*rc == 0) *kind = static_cast<BSboolean>(kind_of(shape));
  BSexit(rc, "BSplanar2", "bsplanar2");
}

void BSptlnplan(int n, int ignored, const double *points, const double *weights, int *kind, double vec[3], int *rc) {
  *rc = 0;
  clear3(vec);
  int shape = 0;
  classify(n, points, weights, &shape, vec, rc);
  if (*rc == 0) *kind = kind_of(shape);
  BSexit(rc, "BSptlnplan", "bsptlnplan");
}

void BScollinmn2(int n, const double *points, const double *weights, BSboolean *collinear, int *rc) {
  *rc = 0;
  int shape = 0;
  double vec[3] = {0.0, 0.0, 0.0};
  classify(n, points, weights, &shape, vec, rc);
  if (*rc == 0)
    *collinear = shape == BSSHAPE_COINCIDENT || shape == BSSHAPE_COLLINEAR ? BSTRUE : BSFALSE;
  BSexit(rc, "BScollinmn2", "bscollinmn2");
}

BSboolean BScollin(int *rc, const double p0[3], const double p1[3], const double p2[3]) {
  *rc = 0;
  double pts[9];
  for (int k = 0; k < 3; ++k) {
    pts[k] = p0[k];
    pts[3 + k] = p1[k];
    pts[6 + k] = p2[k];
  }
  BSboolean flag = BSFALSE;
  BScollinmn2(3, pts, nullptr, &flag, rc);
  BSexit(rc, "BScollin", "bscollin");
  return *rc == 0 ? flag : BSFALSE;
}

BSboolean BSpoint3(int *rc, const double a[3], const double b[3], const double c[3], const double d[3]) {
  *rc = 0;
  double pts[12];
  for (int k = 0; k < 3; ++k) {
    pts[k] = a[k];
    pts[3 + k] = b[k];
    pts[6 + k] = c[k];
    pts[9 + k] = d[k];
  }
  BSboolean kind = 0;
  double vec[3];
  BSplanar2(4, pts, nullptr, &kind, vec, rc);
  BSexit(rc, "BSpoint3", "bspoint3");
  return *rc == 0 && kind == BSKIND_PLANE ? BSTRUE : BSFALSE;
}

void BScollinmn3(const VOQbsp_curve *cv, BSboolean *collinear, int *rc) {
  *rc = 0;
  VOQbsp_curve *refined = nullptr;
  do {
    if (!cv) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    // Most spans handed here bend clearly: no decomposition for them (unless a fault hook must see every exit).
    if (!cv->rational && cv->poles && !bstest::slow_roads() &&
        clearly_not_collinear(cv->num_poles, cv->poles, BStoltab[bstol::dist_tol])) {
      *collinear = BSFALSE;
      break;
    }
    BScollinmn2(cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, collinear, rc);
    if (*rc != BSRC_DEGENERATE) break;
    // A weight that is not positive: one knot in the middle of every knot interval blends it with its
    // neighbours, which may lift it.
    *rc = 0;
    bsknots::refine_midpoints(*cv, &refined, rc);
    if (*rc != 0) break;
    BScollinmn2(refined->num_poles, refined->poles, refined->rational ? refined->weights : nullptr, collinear, rc);
  } while (false);
  if (refined) {
    int frc = 0;
    BSfreevoqcv(refined, &frc);
    if (*rc == 0 && frc != 0) *rc = frc;
  }
  BSexit(rc, "BScollinmn3", "bscollinmn3");
}
