// Small constructors of curve records: a point as a degenerate curve, a segment, a polyline with chord-length
// knots, a curve from coordinate blocks and knots, and the way back from a record to coordinate blocks.
#include "bspline/legendre.h"

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/numerics.h"

#include <cmath>
#include <cstring>

namespace {

bool finite_all(std::size_t count, const double *v) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

double distance(const double a[3], const double b[3]) {
  const double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The fields every constructed curve shares: no periodicity, no boundaries.
void plain_fields(VOQbsp_curve *cv, int order, int num_poles, BSboolean rational) {
  cv->order = static_cast<std::int16_t>(order);
  cv->periodic = 0;
  cv->num_poles = num_poles;
  cv->rational = rational;
  cv->num_boundaries = 0;
  cv->bdrys = nullptr;
}

}  // namespace

void BSptcvgen(const double point[3], short order, BSboolean rational, VOQbsp_curve *cv, int *rc) {
  *rc = 0;
  do {
    if (!point || !cv || !cv->poles || !cv->knots || (rational && !cv->weights)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (order < 1 || !finite_all(3, point)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int k = order;
    plain_fields(cv, k, k, rational ? BSTRUE : BSFALSE);
    cv->non_uniform = 0;
    cv->num_knots = 2 * k;
    cv->planar = 0;
    cv->phy_closed = 0;
    for (int i = 0; i < k; ++i) {
      std::memcpy(cv->poles + 3 * i, point, 3 * sizeof(double));
      cv->knots[i] = 0.0;
      cv->knots[k + i] = 1.0;
    }
    if (rational)
      for (int i = 0; i < k; ++i) cv->weights[i] = 1.0;
    else
      cv->weights = nullptr;
  } while (false);
  BSexit(rc, "BSptcvgen", "bsptcvgen");
}

BSboolean BSptlngen(int *rc, const double p0[3], const double p1[3], VOQbsp_curve *cv, int *code) {
  *rc = BSRC_NULL_CURVE;
  if (p0 && p1 && (!finite_all(3, p0) || !finite_all(3, p1))) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (p0 && p1 && cv) {
    plain_fields(cv, 2, 2, BSFALSE);
    cv->non_uniform = 0;
    cv->num_knots = 4;
    cv->weights = nullptr;
    cv->planar = 0;
    cv->phy_closed = 0;
    if (cv->poles && cv->knots) {
      const BSboolean distinct = BSdistnct2(rc, p0, p1);
      if (code) *code = distinct ? BSLINE_DISTINCT : BSLINE_COINCIDENT;
      cv->knots[0] = cv->knots[1] = 0.0;
      cv->knots[2] = cv->knots[3] = 1.0;
      std::memcpy(cv->poles, p0, 3 * sizeof(double));
      std::memcpy(cv->poles + 3, p1, 3 * sizeof(double));
    }
  }
  BSexit(rc, "BSptlngen", "bsptlngen");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSlngen(int *rc, const double p0[3], const double p1[3], VOQbsp_curve *cv, int *code) {
  int line_code = 0;
  if (BSptlngen(rc, p0, p1, cv, &line_code)) {
    if (line_code == BSLINE_COINCIDENT)
      *rc = BSRC_NULL_VECTOR;
    else if (code)
      *code = line_code;
  }
  BSexit(rc, "BSlngen", "bslngen");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSlinintnkt(int n, const double *points, VOQbsp_curve *cv, double dir[3], int *rc) {
  *rc = 0;
  do {
    if (n < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!points || !cv || !cv->poles || (n > 2 && !dir)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!finite_all(3 * static_cast<std::size_t>(n), points)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (n == 2) {
      BSlngen(rc, points, points + 3, cv, nullptr);
      break;
    }
    plain_fields(cv, 2, n, BSFALSE);
    cv->non_uniform = 1;
    cv->num_knots = 0;
    cv->weights = nullptr;
    int kind = 0;
    BSptlnplan(n, 0, points, nullptr, &kind, dir, rc);
    if (*rc != 0) break;
    if (kind == BSKIND_POINT) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    cv->planar = kind == BSKIND_PLANE ? BSTRUE : BSFALSE;
    if (cv->poles != points) std::memmove(cv->poles, points, 3 * static_cast<std::size_t>(n) * sizeof(double));
    double *first = cv->poles, *last = cv->poles + 3 * (n - 1);
    if (distance(first, last) < BStoltab[bstol::dist_tol]) {
      cv->phy_closed = 1;
      for (int k = 0; k < 3; ++k) first[k] = last[k] = (first[k] + last[k]) / 2;
    } else {
      cv->phy_closed = 0;
    }
  } while (false);
  BSexit(rc, "BSlinintnkt", "bslinintnkt");
}

BSboolean BSlininter(int *rc, const int *n, const double *points, VOQbsp_curve *cv, double dir[3]) {
  *rc = 0;
  do {
    if (!n || !cv || !cv->knots) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const int count = *n;
    if (count < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSlinintnkt(count, points, cv, dir, rc);
    if (*rc != 0) break;
    cv->num_knots = count + 2;
    double *knots = cv->knots;
    const double *P = cv->poles;
    const double tol = BStoltab[bstol::dist_tol];
    knots[0] = knots[1] = 0.0;
    for (int i = 1; i < count && *rc == 0; ++i) {
      double d = distance(P + 3 * (i - 1), P + 3 * i);
      if (d < tol) {
        // A repeated point takes half of the leg after it, so the parameter keeps moving.
        const double next = i + 1 < count ? distance(P + 3 * i, P + 3 * (i + 1)) : 0.0;
        if (i + 1 == count || next < tol) {
          *rc = BSRC_OUT_OF_RANGE;
          break;
        }
        d = next / 2;
      }
      knots[i + 1] = knots[i] + d;
    }
    if (*rc != 0) break;
    knots[count + 1] = knots[count];
    const std::int16_t order = 2;
    BSnorkts(rc, &order, &count, knots);
  } while (false);
  BSexit(rc, "BSlininter", "bslininter");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSplktbspcv(int order, int dim, BSboolean rational, int num_poles, const double *poles, const double *knots,
                 double tol, VOQbsp_curve **cv, int *rc) {
  *rc = 0;
  BSscratch<100> mid_scratch, buffer_scratch;
  do {
    if (!poles || !knots || !cv) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *cv = nullptr;
    if (dim >= 4) {
      *rc = BSRC_ZERO_WEIGHT;
      break;
    }
    if (dim < 1 || order < 1 || num_poles < 1 || order > 0x7FFF) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int ncomp = dim + (rational ? 1 : 0);
    if (!finite_all(static_cast<std::size_t>(num_poles) * ncomp, poles) ||
        !finite_all(static_cast<std::size_t>(num_poles) + order, knots)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    int k = order < num_poles ? order : num_poles;
    int np = num_poles;
    const double *P = poles, *T = knots;

    if (rational && np >= 3) {
      bool refine = false;
      for (int j = 1; j <= np - 2 && !refine; ++j) refine = !(P[dim * np + j] > 0.0);
      if (refine) {
        // A zero or negative interior weight is split up by a knot in the middle of every non-empty interval,
        // which spreads the neighbouring weights over it.
        double *mids = mid_scratch.take(static_cast<std::size_t>(np - k + 1));
        if (!mids) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        int m = 0;
        for (int i = k - 1; i < np; ++i)
          if (T[i + 1] > T[i]) mids[m++] = (T[i] + T[i + 1]) / 2;
        const std::size_t poles_room = static_cast<std::size_t>(m + np) * ncomp;
        const std::size_t side = poles_room + k + m + np;
        double *buffers = buffer_scratch.take(2 * side);
        if (!buffers) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        for (int i = 0; i < m && *rc == 0; ++i) {
          double *out_poles = buffers + (i % 2) * side, *out_knots = out_poles + poles_room;
          BSinsertmkt(k, ncomp, np, P, T, 1, mids + i, out_poles, out_knots, rc);
          P = out_poles;
          T = out_knots;
          ++np;
        }
        if (*rc != 0) break;
      }
    }

    BSallocvoqcv(static_cast<std::int16_t>(k), np, rational ? BSTRUE : BSFALSE, 0, cv, rc);
    if (*rc != 0) break;
    VOQbsp_curve *c = *cv;
    plain_fields(c, k, np, rational ? BSTRUE : BSFALSE);
    c->non_uniform = 1;
    c->num_knots = k + np;
    std::memset(c->poles, 0, 3 * static_cast<std::size_t>(np) * sizeof(double));
    for (int d = 0; d < dim; ++d)
      for (int j = 0; j < np; ++j) c->poles[3 * j + d] = P[d * np + j];
    if (rational)
      std::memcpy(c->weights, P + dim * np, static_cast<std::size_t>(np) * sizeof(double));
    std::memcpy(c->knots, T, static_cast<std::size_t>(k + np) * sizeof(double));
    double normal[3];
    BStst_plan(np, c->poles, c->weights, &c->planar, normal, rc);
    if (*rc == BSRC_DEGENERATE) {
      c->planar = 0;
      *rc = 0;
    }
    if (*rc != 0) break;
    double first[3], last[3];
    const double w0 = rational ? c->weights[0] : 1.0, w1 = rational ? c->weights[np - 1] : 1.0;
    for (int d = 0; d < 3; ++d) {
      first[d] = c->poles[d] / w0;
      last[d] = c->poles[3 * (np - 1) + d] / w1;
    }
    c->phy_closed = distance(first, last) < tol ? 1 : 0;
  } while (false);
  BSexit(rc, "BSplktbspcv", "bsplktbspcv");
}

void BSicv2bsp(const VOQbsp_curve *cv, int dim, double *out, int *rc) {
  *rc = 0;
  do {
    if (!cv || !out || !cv->poles || (cv->rational && !cv->weights)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (dim < 1 || dim > 3 || cv->num_poles < 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t n = static_cast<std::size_t>(cv->num_poles);
    for (int c = 0; c < dim; ++c)
      for (std::size_t j = 0; j < n; ++j) out[c * n + j] = cv->poles[3 * j + c];
    if (cv->rational) std::memcpy(out + dim * n, cv->weights, n * sizeof(double));
  } while (false);
  BSexit(rc, "BSicv2bsp", "bsicv2bsp");
}
