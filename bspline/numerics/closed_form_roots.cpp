// Closed-form roots of quadratics, cubics and quartics. Each solver first peels off the cases in which the general
// formula loses accuracy (a vanishing leading or constant coefficient, a tiny root, multiple roots, symmetric
// forms); the general cubic and quartic formulas then run on the reversed polynomial, whose largest root is the
// original's smallest, so that the root most exposed to cancellation is found first and divided out.
#include "bspline/numerics.h"

#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/numerics/numerics_internal.h"

namespace {

constexpr double kTwoPiThirds = 2.0943951023931953;

// The real cube root: pow refined by Newton steps, since pow(x, 1/3) is a few ulps off and the cubic's roots
// inherit that error.
double real_cbrt(double x) {
  if (x == 0.0 || !std::isfinite(x)) return x;
  const double a = std::fabs(x);
  double y = std::pow(a, 1.0 / 3.0);
  for (int i = 0; i < 2; ++i) {
    const double y2 = y * y;
    if (y2 == 0.0) break;
    y -= (y2 * y - a) / (3.0 * y2);
  }
  return x < 0.0 ? -y : y;
}

void set_real(double *re, double *im, int slot, double x) {
  re[slot] = x;
  im[slot] = 0.0;
}

// x^2 + (c2/c3 + r) x - (c0/c3)/r: the cubic with its real root r divided out.
void deflated_quadratic(const double c[4], double r, double *re, double *im) {
  const double q[3] = {-(c[0] / c[3]) / r, c[2] / c[3] + r, 1.0};
  BSquadsolve(q, re, im);
}

double modulus_sq(double re, double im) { return re * re + im * im; }

struct Poly {
  int degree;
  const double *c;
};

// The last of the n candidate points at which every one of the polynomials passes BSisroot.
bool last_common_root(const double *x, int n, std::initializer_list<Poly> polys, double *root) {
  bool found = false;
  for (int i = 0; i < n; ++i) {
    bool all = true;
    for (const Poly &p : polys) {
      BSboolean f;
      BSisroot(p.degree, p.c, x[i], &f);
      all = all && f;
    }
    if (all) {
      found = true;
      *root = x[i];
    }
  }
  return found;
}

// The quartic of steps past the symmetric forms, c0 and c4 both non-zero. rc is 0 on entry.
void solve_general(const double c[5], double re[4], double im[4], int *rc) {
  // A root of multiplicity m is a root of the first m - 1 derivatives too. Each candidate is held against each
  // polynomial by its backward error there, the test the answer is verified with: coefficients that were
  // rounded make a multiple root no exact root of any of them, and a test relative to the largest term alone
  // (BSisroot) misses it where the terms cancel, as they do at every negative root of a quartic whose roots
  // share their sign. A multiple root that goes undetected reaches Ferrari's formula, whose resolvent has a
  // multiple root then too, and comes out split by the square or fourth root of the rounding.
  const double d1[4] = {c[1], 2.0 * c[2], 3.0 * c[3], 4.0 * c[4]};
  const double d2[3] = {2.0 * c[2], 6.0 * c[3], 12.0 * c[4]};
  const auto root_of = [](const double *poly, int degree, double x, double y) {
    return bsroots::within_rounding(poly, degree, x, y);
  };

  const double x0 = -c[3] / (4.0 * c[4]);
  if (root_of(d2, 2, x0, 0.0) && root_of(d1, 3, x0, 0.0) && root_of(c, 4, x0, 0.0)) {
    for (int i = 0; i < 4; ++i) set_real(re, im, i, x0);
    return;
  }

  {
    // A triple root is a zero of the second derivative at which the first derivative and the quartic vanish.
    double tr[2], ti[2], t = 0.0;
    bool triple = false;
    BSquadsolve(d2, tr, ti);
    for (int i = 0; i < 2 && ti[0] == 0.0; ++i)
      if (root_of(d1, 3, tr[i], 0.0) && root_of(c, 4, tr[i], 0.0)) t = tr[i], triple = true;
    if (triple) {
      for (int i = 0; i < 3; ++i) set_real(re, im, i, t);
      set_real(re, im, 3, c[0] / (t * t * t * c[4]));
      return;
    }
  }

  {
    // c4 (x^2 + h x + g)^2: a double real or complex root of the factor is one of the quartic and its derivative.
    const double h = c[3] / (2.0 * c[4]);
    if (h != 0.0) {
      const double g = c[1] / (2.0 * h * c[4]);
      const double qd[3] = {g, h, 1.0};
      double rr[2], ri[2];
      BSquadsolve(qd, rr, ri);
      bool square = true;
      for (int i = 0; i < (ri[0] != 0.0 ? 1 : 2); ++i)
        square = square && root_of(d1, 3, rr[i], ri[i]) && root_of(c, 4, rr[i], ri[i]);
      if (square) {
        re[0] = re[1] = rr[0];
        im[0] = im[1] = ri[0];
        re[2] = re[3] = rr[1];
        im[2] = im[3] = ri[1];
        return;
      }
    }
  }

  {
    // A double root is a real critical point at which the quartic vanishes.
    double cr[3], ci[3], d = 0.0;
    bool twice = false;
    BSrpoly3(d1, cr, ci, rc);
    if (*rc != 0) return;
    for (int i = 0; i < 3; ++i)
      if (ci[i] == 0.0 && root_of(c, 4, cr[i], 0.0)) d = cr[i], twice = true;
    if (twice) {
      set_real(re, im, 2, d);
      set_real(re, im, 3, d);
      const double qd[3] = {(c[0] / c[4]) / (d * d), c[3] / c[4] + 2.0 * d, 1.0};
      BSquadsolve(qd, re, im);
      return;
    }
  }

  // Ferrari on the reversed polynomial, whose largest root is the original's smallest: that one is divided out,
  // as a complex pair when the y of largest modulus is complex, else as a real root. The count of real roots
  // that a factorisation of the polynomial itself gives does not choose between the two: where the roots spread
  // over many orders of magnitude it is wrong either way (a small complex pair deflated as two real roots, two
  // real roots answered as a double one), and that factorisation can fail on a sound quartic.
  double p, q, r, u, g, h;
  const double rev[5] = {c[4], c[3], c[2], c[1], c[0]};
  BSdepquart(rev, &p, &q, &r);
  BSquartfac(p, q, r, &u, &g, &h, rc);
  if (*rc != 0) return;
  double yr[4], yi[4];
  const double qa[3] = {g, u, 1.0}, qb[3] = {h, -u, 1.0};
  BSquadsolve(qa, yr, yi);
  BSquadsolve(qb, yr + 2, yi + 2);
  const double shift = -c[1] / (4.0 * c[0]);
  for (int i = 0; i < 4; ++i) yr[i] += shift;

  int best = -1;
  double big = 0.0;
  for (int i = 0; i < 4; ++i) {
    const double mi = modulus_sq(yr[i], yi[i]);
    if (mi > big) {
      big = mi;
      best = i;
    }
  }
  if (best < 0) {
    *rc = -1;
    return;
  }
  if (yi[best] != 0.0) {
    double xr, xi;
    BScxrecip(yr[best], yi[best], &xr, &xi);
    BSdefl4cx(xr, xi, c, re, im);
  } else {
    BSdefl4re(1.0 / yr[best], c, re, im, rc);
  }
}

// Two simple roots closer than the square root of the rounding come out of the formulas as nearly one value
// twice, or as a pair with a tiny imaginary part, that is a root of neither; the refinement cannot part them, as
// each slot keeps away from the other. The quadratic model of the quartic at their midpoint m,
// p(m) + p'(m) e + p''(m) e^2 / 2, does: its two roots e place them, and Newton steps finish. True when a slot
// changed.
bool part_close_roots(const double c[5], double re[4], double im[4]) {
  bool changed = false, done[4] = {false, false, false, false};
  for (int j = 0; j < 4; ++j)
    for (int k = j + 1; k < 4 && !done[j]; ++k) {
      const bool both_real = im[j] == 0.0 && im[k] == 0.0;
      const bool pair = re[j] == re[k] && im[j] == -im[k];
      const double gap = std::hypot(re[j] - re[k], im[j] - im[k]);
      if (done[k] || !(both_real || pair) || !(gap <= 1e-4 * std::hypot(re[j], im[j])) ||
          bsroots::within_rounding(c, 4, re[j], im[j]) || bsroots::within_rounding(c, 4, re[k], im[k]))
        continue;
      const double m = (re[j] + re[k]) / 2.0;
      double p = c[4], d = 0.0, h = 0.0;  // p, p' and p'' / 2 at m by Horner
      for (int i = 3; i >= 0; --i) {
        h = h * m + d;
        d = d * m + p;
        p = p * m + c[i];
      }
      const double model[3] = {p, d, h};
      double er[2], ei[2];
      BSquadsolve(model, er, ei);
      if (!std::isfinite(er[0]) || !std::isfinite(er[1]) || std::fabs(er[0]) == DBL_MAX) continue;
      // A pair goes into adjacent slots: j and the slot after it, whose value moves to k.
      const int k2 = j + 1;
      if (k2 != k) {
        std::swap(re[k2], re[k]);
        std::swap(im[k2], im[k]);
      }
      re[j] = m + er[0];
      re[k2] = m + er[1];
      im[j] = std::fabs(ei[0]);
      im[k2] = -im[j];
      done[j] = done[k2] = changed = true;
    }
  if (changed) bsroots::polish_roots(c, 4, 0, re, im);
  return changed;
}

}  // namespace

void BSisroot(int degree, const double *coef, double x, BSboolean *flag) {
  if (x == 0.0) {
    *flag = coef[0] == 0.0 ? BSTRUE : BSFALSE;
    return;
  }
  // The scale keeps the sign of x^i: odd powers of a negative x never raise it.
  double m = std::fabs(coef[0]);
  double xi = 1.0;
  for (int i = 1; i <= degree; ++i) {
    xi *= x;
    const double t = xi * std::fabs(coef[i]);
    if (t > m) m = t;
  }
  double v = coef[degree];
  for (int i = degree - 1; i >= 0; --i) v = v * x + coef[i];
  *flag = std::fabs(v) < 1e-14 * m ? BSTRUE : BSFALSE;
}

void BScxrecip(double re, double im, double *out_re, double *out_im) {
  const double d = re * re + im * im;
  *out_re = re / d;
  *out_im = -im / d;
}

void BScxsqrt(double re, double im, double *out_re, double *out_im) {
  if (re == 0.0 && im == 0.0) {
    *out_re = 0.0;
    *out_im = 0.0;
    return;
  }
  const double r = std::hypot(re, im);
  // The argument in (-pi/2, 3pi/2], the root's in (-pi/4, 3pi/4]. atan2 gives it to full accuracy where
  // asin(im / r) would lose half the digits near the imaginary axis.
  double theta = std::atan2(im, re);
  if (theta < -M_PI / 2.0) theta += 2.0 * M_PI;
  const double sr = std::sqrt(r);
  *out_re = sr * std::cos(theta / 2.0);
  *out_im = sr * std::sin(theta / 2.0);
}

void BScubdep(double p, double q, double D, double roots[3], double imag[3]) {
  if (D >= 0.0) {
    const double half_root = std::sqrt(D / 27.0) / 2.0;
    const double S = std::fabs(q) / 2.0 + half_root;
    if (S == 0.0) {
      // p = q = 0: t^3 = 0. The general branch would divide 0 by 0 here.
      for (int i = 0; i < 3; ++i) roots[i] = imag[i] = 0.0;
      return;
    }
    const double A = real_cbrt(S);
    const double B = real_cbrt(-p * p * p / (27.0 * S));
    double real, diff;
    if (std::fabs(q) / 2.0 - half_root <= 0.0) {
      // A and B of opposite signs: A + B would cancel, A^3 + B^3 = |q| does not.
      real = std::fabs(q) / (A * A - A * B + B * B);
      diff = A - B;
    } else {
      real = A + B;
      diff = 2.0 * half_root / (A * A + A * B + B * B);
    }
    roots[0] = real;
    imag[0] = 0.0;
    roots[1] = roots[2] = -real / 2.0;
    imag[1] = std::sqrt(3.0) * diff / 2.0;
    imag[2] = -imag[1];
    if (q > 0.0)
      for (int i = 0; i < 3; ++i) {
        roots[i] = -roots[i];
        imag[i] = -imag[i];
      }
    return;
  }
  const double r = std::sqrt(-p / 3.0);
  double phi = q == 0.0 ? M_PI / 2.0 : std::atan(std::sqrt(-D / 27.0) * 0.5 / (-q / 2.0));
  if (-q / 2.0 < 0.0) phi += M_PI;
  phi /= 3.0;
  roots[0] = 2.0 * r * std::cos(phi);
  roots[1] = 2.0 * r * std::cos(phi + kTwoPiThirds);
  roots[2] = 2.0 * r * std::cos(phi - kTwoPiThirds);
  imag[0] = imag[1] = imag[2] = 0.0;
}

void BSquadsolve(const double c[3], double re[2], double im[2]) {
  im[0] = im[1] = 0.0;
  if (c[2] == 0.0) {
    re[0] = DBL_MAX;
    re[1] = c[1] != 0.0 ? -c[0] / c[1] : DBL_MAX;
    return;
  }
  const double m = std::fmin(std::fabs(c[0]), std::fmin(std::fabs(c[1]), std::fabs(c[2])));
  if (1e-14 * m > std::fabs(c[0] - c[1] * c[1] / (4.0 * c[2]))) {
    re[0] = re[1] = -c[1] / (2.0 * c[2]);
    return;
  }
  const double d = c[1] * c[1] - 4.0 * c[0] * c[2];
  if (d <= 0.0) {
    re[0] = re[1] = -c[1] / (2.0 * c[2]);
    im[0] = std::sqrt(-d) / (2.0 * c[2]);
    im[1] = -im[0];
    return;
  }
  // The root of larger magnitude without cancellation, the other from the product of the roots.
  const double s = std::sqrt(d);
  const double w = c[1] >= 0.0 ? -c[1] - s : s - c[1];
  re[0] = w / (2.0 * c[2]);
  re[1] = c[0] / (re[0] * c[2]);
}

void BSdepcubic(const double c[4], double *p, double *q, double *D) {
  const double a = c[2] / c[3], b = c[1] / c[3], cc = c[0] / c[3];
  *p = b - a * a / 3.0;
  *q = 0.07407407407407407 * a * a * a - a * b / 3.0 + cc;
  const double from_pq = 4.0 * *p * *p * *p + 27.0 * *q * *q;
  *D = from_pq;
  if (std::fabs(*p) >= 1.0 && std::fabs(*q) >= 1.0) {
    *D = 4.0 * b * b * b - a * a * b * b + (4.0 * a * a * a + 27.0 * cc) * cc - 18.0 * a * b * cc;
    // The expanded form cancels as badly as p itself where the roots spread over many orders of magnitude; a
    // negative D with p >= 0 is impossible and would send the solver to sqrt(-p).
    if (*D < 0.0 && *p >= 0.0) *D = from_pq;
  }
}

void BSrpoly3(const double c[4], double re[3], double im[3], int *rc) {
  do {
    if (!BSallfinite(4, c)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (c[3] == 0.0) {
      BSquadsolve(c, re, im);
      set_real(re, im, 2, DBL_MAX);
      break;
    }
    const bool tiny_root = c[0] != 0.0 && c[1] != 0.0 && std::fabs(c[0] / c[1]) < 1e-20;
    if (tiny_root) {
      // Divided out forwards: the quotient's constant c1/c3 + (c2/c3 + r) r needs no division by the tiny root,
      // whose constant term may be subnormal and carry only a few bits.
      const double r = -c[0] / c[1];
      set_real(re, im, 2, r);
      const double q[3] = {c[1] / c[3] + (c[2] / c[3] + r) * r, c[2] / c[3] + r, 1.0};
      BSquadsolve(q, re, im);
      break;
    }
    const double m =
        std::fmax(std::fmax(std::fabs(c[0]), std::fabs(c[1])), std::fmax(std::fabs(c[2]), std::fabs(c[3])));
    if (std::fabs(c[0]) < 1e-40 * m || c[0] == 0.0) {
      // A root at the origin (or one too small to tell from it).
      BSquadsolve(c + 1, re, im);
      set_real(re, im, 2, 0.0);
      break;
    }

    const double x0 = -c[2] / (3.0 * c[3]);
    const double d1[3] = {c[1], 2.0 * c[2], 3.0 * c[3]};
    double x;
    if (last_common_root(&x0, 1, {{2, d1}, {3, c}}, &x)) {
      for (int i = 0; i < 3; ++i) set_real(re, im, i, x);
      break;
    }

    // A double root is a critical point at which the cubic vanishes.
    double cr[2], ci[2], d;
    BSquadsolve(d1, cr, ci);
    if (ci[0] == 0.0 && last_common_root(cr, 2, {{3, c}}, &d)) {
      set_real(re, im, 0, d);
      set_real(re, im, 1, d);
      set_real(re, im, 2, -c[0] / (d * d * c[3]));
      break;
    }

    // General case on the reversed polynomial c3 + c2 y + c1 y^2 + c0 y^3, y = 1/x.
    const double rev[4] = {c[3], c[2], c[1], c[0]};
    double p, q, D;
    BSdepcubic(rev, &p, &q, &D);
    double t[3], ti[3];
    BScubdep(p, q, D, t, ti);
    const double shift = c[1] / (3.0 * c[0]);
    double y[3];
    for (int i = 0; i < 3; ++i) y[i] = t[i] - shift;
    if (ti[1] != 0.0) {
      const double m1 = modulus_sq(y[1], ti[1]);
      if (std::sqrt(m1) <= std::fabs(y[0])) {
        const double r = 1.0 / y[0];
        set_real(re, im, 0, r);
        deflated_quadratic(c, r, re + 1, im + 1);
      } else {
        re[1] = y[1] / m1;
        im[1] = ti[1] / m1;
        re[2] = re[1];
        im[2] = -im[1];
        set_real(re, im, 0, -(c[0] / c[3]) * m1);
      }
      break;
    }
    int best = -1;
    double big = 0.0;
    for (int i = 0; i < 3; ++i)
      if (std::fabs(y[i]) > big) {
        big = std::fabs(y[i]);
        best = i;
      }
    if (best < 0) {
      *rc = -1;
      break;
    }
    const double r = 1.0 / y[best];
    set_real(re, im, 2, r);
    deflated_quadratic(c, r, re, im);
  } while (false);
  BSexit(rc, "BSrpoly3", "bsrpoly3");
}

void BSdepquart(const double c[5], double *p, double *q, double *r) {
  const double a = c[3] / c[4], b = c[2] / c[4], cc = c[1] / c[4], d = c[0] / c[4];
  const double a2 = a * a;
  *p = b - 0.375 * a2;
  *q = 0.125 * a2 * a - 0.5 * a * b + cc;
  *r = (0.0625 * b - 0.01171875 * a2) * a2 - 0.25 * a * cc + d;
}

void BSquartfac(double p, double q, double r, double *u, double *g, double *h, int *rc) {
  *rc = 0;
  do {
    const double resolvent[4] = {-q * q, p * p - 4.0 * r, 2.0 * p, 1.0};
    double zr[3], zi[3];
    BSrpoly3(resolvent, zr, zi, rc);
    if (*rc != 0) break;
    bool found = false;
    double z = 0.0;
    for (int i = 0; i < 3; ++i)
      if (zi[i] == 0.0 && zr[i] > 0.0 && (!found || zr[i] < z)) {
        z = zr[i];
        found = true;
      }
    if (found) {
      *u = std::sqrt(z);
      const double s = z + p, t = q / *u;
      // g + h = s and h - g = t: the sum without cancellation directly, the other factor from g h = r, unless
      // that factor is 0 (y^2 (y^2 + p) after the shift), when the difference gives it.
      if (t * s <= 0.0) {
        *g = (s - t) / 2.0;
        *h = *g != 0.0 ? r / *g : (s + t) / 2.0;
      } else {
        *h = (s + t) / 2.0;
        *g = *h != 0.0 ? r / *h : (s - t) / 2.0;
      }
      break;
    }
    const double w[3] = {r, p, 1.0};
    double wr[2], wi[2];
    BSquadsolve(w, wr, wi);
    if (wi[0] != 0.0) {
      *rc = -1;
      break;
    }
    *u = 0.0;
    *g = -wr[0];
    *h = -wr[1];
  } while (false);
  BSexit(rc, "BSquartfac", "bsquartfac");
}

void BSdefl4re(double x, const double c[5], double re[4], double im[4], int *rc) {
  *rc = 0;
  set_real(re, im, 3, x);
  const double a = c[3] / c[4];
  const double cubic[4] = {-(c[0] / c[4]) / x, c[2] / c[4] + (a + x) * x, a + x, 1.0};
  BSrpoly3(cubic, re, im, rc);
  BSexit(rc, "BSdefl4re", "bsdefl4re");
}

void BSdefl4cx(double xr, double xi, const double c[5], double re[4], double im[4]) {
  re[2] = re[3] = xr;
  im[2] = std::fabs(xi);
  im[3] = -std::fabs(xi);
  const double quad[3] = {(c[0] / c[4]) / (xr * xr + xi * xi), c[3] / c[4] + 2.0 * xr, 1.0};
  BSquadsolve(quad, re, im);
}

void BSrpoly4(const double c[5], double re[4], double im[4], int *rc) {
  *rc = 0;
  do {
    if (!BSallfinite(5, c)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (c[4] == 0.0) {
      BSrpoly3(c, re, im, rc);
      set_real(re, im, 3, DBL_MAX);
      break;
    }

    if (c[1] == 0.0 && c[3] == 0.0) {
      // Biquadratic: a quadratic in x^2.
      const double qd[3] = {c[0], c[2], c[4]};
      double zr[2], zi[2];
      BSquadsolve(qd, zr, zi);
      double s0r, s0i, s1r, s1i;
      BScxsqrt(zr[0], zi[0], &s0r, &s0i);
      BScxsqrt(zr[1], zi[1], &s1r, &s1i);
      if (zi[0] == 0.0) {
        re[0] = s0r, im[0] = s0i;
        re[1] = -s0r, im[1] = -s0i;
        re[2] = s1r, im[2] = s1i;
        re[3] = -s1r, im[3] = -s1i;
      } else {
        re[0] = s0r, im[0] = s0i;
        re[1] = s0r, im[1] = -s0i;
        re[2] = -s0r, im[2] = s0i;
        re[3] = -s0r, im[3] = -s0i;
      }
      break;
    }

    if (c[0] == c[4] && c[1] == c[3]) {
      // Palindromic: with z = x + 1/x, c0 z^2 + c1 z + (c2 - 2 c0) = 0, and each z gives x^2 - z x + 1 = 0.
      const double qd[3] = {c[2] - 2.0 * c[0], c[1], c[0]};
      double zr[2], zi[2];
      BSquadsolve(qd, zr, zi);
      if (zi[0] != 0.0) {
        const double wr = zr[0] * zr[0] - zi[0] * zi[0] - 4.0, wi = 2.0 * zr[0] * zi[0];
        double sr, si;
        BScxsqrt(wr, wi, &sr, &si);
        const double xr = (zr[0] + sr) / 2.0, xi = (zi[0] + si) / 2.0;
        re[0] = xr, im[0] = xi;
        re[1] = xr, im[1] = -xi;
        BScxrecip(xr, xi, &re[2], &im[2]);
        BScxrecip(xr, -xi, &re[3], &im[3]);
      } else if (zr[0] != zr[1]) {
        const double q0[3] = {1.0, -zr[0], 1.0}, q1[3] = {1.0, -zr[1], 1.0};
        BSquadsolve(q0, re, im);
        BSquadsolve(q1, re + 2, im + 2);
      } else {
        const double z = -c[1] / (2.0 * c[0]);
        const double q0[3] = {1.0, -z, 1.0};
        BSquadsolve(q0, re, im);
        re[2] = re[0], im[2] = im[0];
        re[3] = re[1], im[3] = im[1];
      }
      break;
    }

    if (c[0] == 0.0) {
      BSrpoly3(c + 1, re, im, rc);
      if (*rc == 0) set_real(re, im, 3, 0.0);
      break;
    }

    // The roots are brought near unit modulus by a power of two, exact both ways (x = 2^k y): the thresholds of
    // the cubic solver (a constant term below 1e-40 of the others counts as 0, a root below 1e-20 of the next
    // coefficient is tiny) would otherwise judge the roots by the units they are given in, and a quartic whose
    // roots are all near 1e-20 has critical points that the cubic puts at the origin.
    const int k = (std::ilogb(c[0]) - std::ilogb(c[4])) / 4;
    double b[5];
    bool scaled = true;
    for (int i = 0; i <= 4; ++i) {
      b[i] = std::ldexp(c[i], k * (i - 4));
      scaled = scaled && std::isfinite(b[i]) && (b[i] != 0.0) == (c[i] != 0.0);
    }
    solve_general(scaled ? b : c, re, im, rc);
    if (*rc == 0 && scaled)
      for (int i = 0; i < 4; ++i) {
        re[i] = std::ldexp(re[i], k);
        im[i] = std::ldexp(im[i], k);
      }
  } while (false);
  if (*rc == 0 && c[4] != 0.0) {
    // Deflation leaves the roots divided out last with the error of the first: Newton steps on the quartic
    // itself give each its own accuracy, and a slot that is no root of it is never answered as one.
    bsroots::polish_roots(c, 4, 0, re, im);
    if (!bsroots::roots_verified(c, 4, 0, re, im) && !(part_close_roots(c, re, im) &&
                                                       bsroots::roots_verified(c, 4, 0, re, im)))
      *rc = -1;
  }
  BSexit(rc, "BSrpoly4", "bsrpoly4");
}

double BSpower(int *rc, double base, int exponent) {
  *rc = 0;
  double result = 1.0;
  if (exponent != 0) {
    const int e = exponent < 0 ? -exponent : exponent;
    if (e < 10) {
      result = base;
      for (int i = 1; i < e; ++i) result *= base;
      if (exponent < 0) result = 1.0 / result;
    } else {
      result = std::exp(exponent * std::log(std::fabs(base)));
      if (base < 0.0 && (e & 1)) result = -result;
    }
  }
  BSexit(rc, "BSpower", "bspower");
  return result;
}

// ---------------------------------------------------------------------------------------------------------------
// The root check relative to the largest term, the helpers under their second names, and the Newton k-th root

void BStstrtcan(int n, const double *c, double x, BSboolean *isroot) {
  if (x == 0.0) {
    *isroot = c[0] == 0.0 ? BSTRUE : BSFALSE;
    return;
  }
  // Unlike BSisroot, every term counts with its magnitude.
  const double ax = std::fabs(x);
  double m = std::fabs(c[0]), xk = 1.0;
  for (int k = 1; k <= n; ++k) {
    xk *= ax;
    m = std::fmax(m, std::fabs(c[k]) * xk);
  }
  double v = n >= 0 ? c[n] : 0.0;
  for (int k = n - 1; k >= 0; --k) v = v * x + c[k];
  *isroot = std::fabs(v) < 1e-14 * m ? BSTRUE : BSFALSE;
}

void BScplxinv(double re, double im, double *out_re, double *out_im) { BScxrecip(re, im, out_re, out_im); }

void BScplxsqrt(double re, double im, double *out_re, double *out_im) { BScxsqrt(re, im, out_re, out_im); }

void BScubicrt(double p, double q, double d, double re[3], double im[3]) { BScubdep(p, q, d, re, im); }

double BSnewtkroot(double a, int k) {
  const auto power = [k](double r) {
    double p = 1.0;
    for (int i = 0; i < k; ++i) p *= r;
    return p;
  };
  double r = std::pow(a, 1.0 / k), previous = 0.0;
  for (int it = 0; it < 21; ++it) {
    const double rk1 = power(r) / r;
    const double residual = a - rk1 * r;
    const double step = residual / (k * rk1);
    if (step == 0.0 || !std::isfinite(step)) break;
    if (it > 0 && (step > 0.0) != (previous > 0.0)) {
      // Rounding makes the last steps go back and forth by an ulp: keep the iterate with the smaller residual.
      if (std::fabs(a - power(r + step)) <= std::fabs(residual)) r += step;
      break;
    }
    r += step;
    previous = step;
  }
  return r;
}

void BScbrt(double v, double *r) {
  if (v == 0.0 || !std::isfinite(v)) {
    *r = v;
    return;
  }
  const double root = BSnewtkroot(std::fabs(v), 3);
  *r = v < 0.0 ? -root : root;
}
