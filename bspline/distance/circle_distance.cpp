// The nearest point of a circular arc in closed form: it lies on the ray from the centre through the point, so
// only the ray's angle is tested against the arc and turned back into a parameter of the rational quadratic
// representation (equal symmetric segments, each with a half-angle tangent linear in its parameter).
#include "bspline/distance.h"

#include <cmath>

#include "bspline/knots.h"
#include "bspline/legendre.h"

namespace {

constexpr double kEps = 2.220446049250313e-14;
constexpr double kPi = 3.14159265358979323846;

// The angle of a direction of length r in (-pi, pi], through its half-angle tangent.
double angle_of(double r, double dx, double dy) {
  BSboolean flag = 0;
  double t = 0;
  BShlfangtan(r, dx, dy, &flag, &t);
  return flag ? kPi : 2 * std::atan(t);
}

}  // namespace

void BShlfangtan(double r, double dx, double dy, BSboolean *flag, double *t) {
  *flag = 0;
  const double q = dx / r;
  *t = (((1 - std::fabs(q)) / (1 + std::fabs(q))) + 1) * dy / (2 * r);
  if (q < 0) {
    if (*t != 0)
      *t = 1 / *t;
    else
      *flag = 1;
  }
}

void BSinvbspcrc(double angle, int n, const double *knots, const double *poles, double *par, int *rc) {
  *rc = 0;
  BSscratch<15> bez_room;
  BSscratch<16> pow_room;
  if (!knots || !poles || n < 3 || !std::isfinite(angle)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const int segs_max = n - 2;
    double *bez = bez_room.take(4 * static_cast<std::size_t>(segs_max) + 1);
    double *pw = pow_room.take(3 * static_cast<std::size_t>(segs_max));
    int m = 0;
    if (!bez || !pw) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *breaks = bez + 3 * segs_max;
      BSbstobez(2, n, 1, knots, poles + 2 * static_cast<std::size_t>(n), &m, bez, breaks, rc);
      // Each segment spans two knots: anything else is not the representation this inverse knows.
      if (*rc == 0 && 2 * m + 1 != n) *rc = BSRC_ZERO_WEIGHT;
      for (int k = 0; *rc == 0 && k < m; ++k) {
        double half[3];
        BSbezrhalf(2, bez + 3 * k, half);
        BSbeztcan(2, half, pw + 3 * k);
        const double *a = pw + 3 * k;
        if (!(std::fabs(a[1]) < kEps) ||
            (k > 0 && !(std::fabs(a[0] - pw[0]) < kEps && std::fabs(a[2] - pw[2]) < kEps)))
          *rc = BSRC_ZERO_WEIGHT;
      }
      double beta = 0, H = 0;
      if (*rc == 0) {
        if (std::fabs(pw[0]) < kEps || pw[2] / pw[0] < 0) {
          *rc = BSRC_NOT_BEATEN;
        } else {
          beta = 2 * std::atan(std::sqrt(pw[2] / pw[0]));
          H = m * beta;
        }
      }
      if (*rc == 0) {
        if (std::fabs(angle - H) < kEps) angle = H;
        if (std::fabs(angle + H) < kEps) angle = -H;
        if (angle > H || angle < -H) *rc = BSRC_NOT_BEATEN;
      }
      int seg = -1;
      for (int k = 0; *rc == 0 && k < m && seg < 0; ++k)
        if (std::fabs((2 * k - m + 1) * beta - angle) <= beta) seg = k;
      if (*rc == 0 && seg < 0) {
        if (std::fabs(angle - H) < kEps)
          seg = m - 1;
        else if (std::fabs(angle + H) < kEps)
          seg = 0;
        else
          *rc = BSRC_NOT_BEATEN;
      }
      if (*rc == 0) {
        const double c = (2 * seg - m + 1) * beta, a = knots[2 * seg + 2], b = knots[2 * seg + 4];
        const double tb = std::tan(beta / 2);
        if (tb < kEps) {
          *rc = BSRC_NOT_BEATEN;
        } else {
          double u = ((std::tan((angle - c) / 2) / tb) * (b - a) + b + a) / 2;
          const double lo = knots[0], hi = knots[n + 2];
          if (u < lo) {
            if (lo - u <= kEps)
              u = lo;
            else
              *rc = BSRC_NOT_BEATEN;
          } else if (u > hi) {
            if (u - hi <= kEps)
              u = hi;
            else
              *rc = BSRC_NOT_BEATEN;
          }
          if (*rc == 0) *par = u;
        }
      }
    }
  }
  if (*rc != 0) BStracepush(*rc, "BSinvbspcrc");
}

void BSmdptcrcv(int n, const double *knots, const double *poles, const double centre[2], const double middle[2],
                double h, const double point[2], double *dist, double *curve_point, double *par, int *rc) {
  *rc = 0;
  if (!knots || !poles || !centre || !middle || !point) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double mx = middle[0] - centre[0], my = middle[1] - centre[1];
    const double px = point[0] - centre[0], py = point[1] - centre[1];
    const double r = std::hypot(mx, my), rho = std::hypot(px, py);
    if (rho < kEps) {
      curve_point[0] = middle[0];
      curve_point[1] = middle[1];
      *dist = r;
      *par = (knots[0] + knots[n + 2]) / 2;
    } else if (r < kEps) {
      curve_point[0] = middle[0];
      curve_point[1] = middle[1];
      *dist = rho;
      *par = knots[0];
    } else {
      double phi = angle_of(rho, px, py) - angle_of(r, mx, my);
      while (phi > kPi) phi -= 2 * kPi;
      while (phi < -kPi) phi += 2 * kPi;
      if (std::fabs(phi) > h + kEps) {
        *rc = 50;
      } else {
        phi = std::fmin(h, std::fmax(-h, phi));
        double u = 0;
        BSinvbspcrc(phi, n, knots, poles, &u, rc);
        if (*rc == 0) {
          *dist = std::fabs(rho - r);
          curve_point[0] = centre[0] + r * px / rho;
          curve_point[1] = centre[1] + r * py / rho;
          *par = u;
        }
      }
    }
  }
  if (*rc != 0) BStracepush(*rc, "BSmdptcrcv");
}
