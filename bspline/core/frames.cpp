// Frames from a direction, point transformations between frames, rotation about an axis.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "bspline/numerics.h"

#include <cmath>

namespace {
constexpr double kAxisEps = 1e-15;

void set3(double v[3], double a, double b, double c) {
  v[0] = a;
  v[1] = b;
  v[2] = c;
}
}  // namespace

BSboolean BSbasisvect(int *rc, const double d[3], double z[3], double x[3], double y[3]) {
  *rc = 0;
  int lrc = 0;
  set3(z, d[0], d[1], d[2]);
  if (!BSnorvec(&lrc, z)) {
    *rc = lrc;
  } else if (std::fabs(z[1]) < kAxisEps && std::fabs(z[2]) < kAxisEps) {
    // On a coordinate axis the frame is fixed, so that equal directions always give the same frame.
    if (z[0] > 0) {
      set3(z, 1, 0, 0), set3(x, 0, 1, 0), set3(y, 0, 0, 1);
    } else {
      set3(z, -1, 0, 0), set3(x, 0, 0, 1), set3(y, 0, 1, 0);
    }
  } else if (std::fabs(z[0]) < kAxisEps && std::fabs(z[2]) < kAxisEps) {
    if (z[1] > 0) {
      set3(z, 0, 1, 0), set3(x, 0, 0, 1), set3(y, 1, 0, 0);
    } else {
      set3(z, 0, -1, 0), set3(x, 1, 0, 0), set3(y, 0, 0, 1);
    }
  } else if (std::fabs(z[0]) < kAxisEps && std::fabs(z[1]) < kAxisEps) {
    if (z[2] > 0) {
      set3(z, 0, 0, 1), set3(x, 1, 0, 0), set3(y, 0, 1, 0);
    } else {
      set3(z, 0, 0, -1), set3(x, 0, 1, 0), set3(y, 1, 0, 0);
    }
  } else {
    // x is perpendicular to z in the plane of z's two larger components; i is the smaller of the two.
    const double a0 = std::fabs(z[0]), a1 = std::fabs(z[1]), a2 = std::fabs(z[2]);
    int i, j;
    if (a0 >= a1 - kAxisEps) {
      if (a1 >= a2 - kAxisEps) {
        i = 1, j = 0;  // 2 smallest
      } else if (a0 >= a2 - kAxisEps) {
        i = 2, j = 0;  // 1 smallest
      } else {
        i = 0, j = 2;  // 1 smallest
      }
    } else if (a1 >= a2 - kAxisEps) {
      if (a0 >= a2 - kAxisEps)
        i = 0, j = 1;  // 2 smallest
      else
        i = 2, j = 1;  // 0 smallest
    } else {
      i = 1, j = 2;  // 0 smallest
    }
    const double r = std::sqrt(z[i] * z[i] + z[j] * z[j]);
    x[0] = x[1] = x[2] = 0;
    x[i] = z[j] / r;
    x[j] = -z[i] / r;
    BSvcross(&lrc, z, x, y);
  }
  BSexit(rc, "BSbasisvect", "bsbasisvect");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

namespace {
// Shared loop of the two point transformations; rational points are mapped unweighted and weighted again.
template <class Map>
void map_points(int n, BSboolean rational, const double *in, const double *weights, double *out, Map map) {
  for (int k = 0; k < n; ++k) {
    const double w = rational && weights ? weights[k] : 1.0;
    const double p[3] = {in[3 * k] / w, in[3 * k + 1] / w, in[3 * k + 2] / w};
    double q[3];
    map(p, q);
    for (int c = 0; c < 3; ++c) out[3 * k + c] = q[c] * w;
  }
}
}  // namespace

BSboolean BSptsnwtold(const double o[3], const double M[9], double s, int n, BSboolean rational, const double *in,
                      const double *weights, double *out, int *rc) {
  *rc = 0;
  map_points(n, rational, in, weights, out, [&](const double p[3], double q[3]) {
    for (int c = 0; c < 3; ++c) q[c] = (p[0] * M[c] + p[1] * M[3 + c] + p[2] * M[6 + c]) / s + o[c];
  });
  BSexit(rc, "BSptsnwtold", "bsptsnwtold");
  return BSTRUE;
}

BSboolean BSptsoldtnw(const double o[3], const double M[9], double s, int n, BSboolean rational, const double *in,
                      const double *weights, double *out, int *rc) {
  *rc = 0;
  map_points(n, rational, in, weights, out, [&](const double p[3], double q[3]) {
    const double d[3] = {p[0] - o[0], p[1] - o[1], p[2] - o[2]};
    for (int r = 0; r < 3; ++r) q[r] = s * (M[3 * r] * d[0] + M[3 * r + 1] * d[1] + M[3 * r + 2] * d[2]);
  });
  BSexit(rc, "BSptsoldtnw", "bsptsoldtnw");
  return BSTRUE;
}

BSboolean BSroto(int *rc, const double a[3], const double b[3], const BSboolean *sense, const double *angle,
                 const double c[3], double out[3]) {
  // Drawing code rotates many points by one angle in a row; the last cosine and sine are kept.
  static double cached_angle = 47000000000000.0;
  static double cached_cos = std::cos(47000000000000.0), cached_sin = std::sin(47000000000000.0);
  *rc = 0;
  const double line[6] = {a[0], a[1], a[2], b[0], b[1], b[2]};
  double f[3], d[3], e[3], g[3];
  if (BSproj0(rc, c, line, f)) {
    for (int i = 0; i < 3; ++i) d[i] = *sense ? b[i] - a[i] : a[i] - b[i];
    if (BSnorvec(rc, d)) {
      if (*angle != cached_angle) {
        cached_angle = *angle;
        cached_cos = std::cos(cached_angle);
        cached_sin = std::sin(cached_angle);
      }
      for (int i = 0; i < 3; ++i) e[i] = c[i] - f[i];
      BSvcross(rc, d, e, g);
      for (int i = 0; i < 3; ++i) out[i] = f[i] + cached_cos * e[i] + cached_sin * g[i];
    }
  }
  BSexit(rc, "BSroto", "bsroto");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BStrans1(int *rc, const double o1[3], const double n1[3], const double o2[3], const double n2[3],
                   double t[3], double M[9], double *scale) {
  *rc = 0;
  for (int i = 0; i < 3; ++i) t[i] = 0;
  for (int i = 0; i < 9; ++i) M[i] = 0;
  *scale = 0;
  double F1[9], F2[9];  // rows x, y, z
  int lrc = 0;
  if (!BSbasisvect(&lrc, n1, F1 + 6, F1, F1 + 3) || !BSbasisvect(&lrc, n2, F2 + 6, F2, F2 + 3)) {
    *rc = BSRC_ALLOC_CURVE;
  } else {
    // M = F2^T F1 takes frame 1's axes onto frame 2's. BSptsnwtold applies M^T, so the translation is built
    // with M^T as well: BSptsnwtold maps plane 2 onto plane 1 and BSptsoldtnw maps it back.
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) M[3 * r + c] = F2[r] * F1[c] + F2[3 + r] * F1[3 + c] + F2[6 + r] * F1[6 + c];
    for (int c = 0; c < 3; ++c) t[c] = o1[c] - (M[c] * o2[0] + M[3 + c] * o2[1] + M[6 + c] * o2[2]);
    *scale = 1.0;
  }
  BSexit(rc, "BStrans1", "bstrans1");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSlocalcord(int *rc, const double p0[3], const double p1[3], const double p2[3], const BSboolean *sense,
                      double frame[9]) {
  *rc = 0;
  if (BScollin(rc, p0, p1, p2)) {
    *rc = BSRC_ZERO_WEIGHT;
  } else if (*rc == 0) {
    double *x = frame, *y = frame + 3, *z = frame + 6;
    double e[3];
    for (int i = 0; i < 3; ++i) {
      x[i] = p1[i] - p0[i];
      e[i] = p2[i] - p0[i];
    }
    if (BSnorvec(rc, x)) {
      BSvcross(rc, x, e, z);
      if (BSnorvec(rc, z)) {
        BSvcross(rc, z, x, y);
        if (!*sense)
          for (int i = 0; i < 3; ++i) z[i] = -z[i];
      }
    }
  }
  BSexit(rc, "BSlocalcord", "bslocalcord");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BStrans2(const double n[3], const BSboolean *sense, double frame[9], int *rc) {
  *rc = 0;
  double z[3], x[3], y[3];
  const double origin[3] = {0, 0, 0};
  if (BSbasisvect(rc, n, z, x, y)) BSlocalcord(rc, origin, x, y, sense, frame);
  BSexit(rc, "BStrans2", "bstrans2");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
