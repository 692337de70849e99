// Point fitting: the driver's settled cases and refusals, end tangents at every order, periodic fits of closed
// data, and the parameters and knots a fit starts from.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "bspline/fitting.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

using Vec = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One call of the driver with work arrays of the largest shapes.
struct Fit {
  int n = 0, k = 4, P = 0, dim = 3, solved = 3, end_type = 0, codes[2] = {0, 0};
  short periodic = 0;
  Vec pts, w, u, knots, values[2] = {Vec(3, 0.0), Vec(3, 0.0)};
  double pw[2] = {1, 1};
  std::vector<int> spans;
  Vec poles, wout;

  // Parameters by chord length and knots for P poles (open or periodic).
  void prepare(int order, int num_poles) {
    k = order, P = num_poles, n = static_cast<int>(pts.size()) / 3;
    u.assign(n, 0.0);
    double len = 0;
    int rc = 0;
    BSavgprsfft(1, n, pts.data(), w.empty() ? nullptr : w.data(), 3, 3, k, &len, u.data(), &rc);
    ASSERT_EQ(rc, 0);
    knots.assign(P + k, 0.0);
    spans.assign(n, 0);
    int nk = 0;
    BSkts_f_fit(k, periodic, 4, 0.0, P - k + 1, n, u.data(), &nk, knots.data(), spans.data(), &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(nk, P + k);
  }
  int run() {
    poles.assign(static_cast<std::size_t>(P) * dim, kNaN);
    wout.assign(P, kNaN);
    Vec M(static_cast<std::size_t>(n) * k + 1), B(static_cast<std::size_t>(n) * (k + 3)), W(P * 3 + 3);
    int rc = 0;
    BSfitratpts(n, pts.data(), w.empty() ? nullptr : w.data(), u.data(), spans.data(), static_cast<short>(k), P,
                knots.data(), dim, solved, periodic, end_type, codes[0], codes[1], values[0].data(), values[1].data(),
                0, 0, pw[0], pw[1], 0, 0.0, 0, M.data(), B.data(), W.data(), poles.data(), wout.data(), &rc);
    return rc;
  }
  double pole(int i, int c) const { return w.empty() ? poles[i * dim + c] : poles[i * dim + c] / wout[i]; }
};

// Weighted points on a wavy planar curve, n of them.
Vec wave(int n, double scale = 1.0) {
  Vec p;
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / (n - 1);
    p.insert(p.end(), {scale * 3 * t, scale * std::sin(4 * t), scale * 0.5 * t * t});
  }
  return p;
}

// The angle between two vectors, from their cross and dot products (accurate near 0).
double angle_between(const double *a, const double *b) {
  const double x[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  return std::atan2(std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]), a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
}

// ---------------------------------------------------------------------------------------------------------------

TEST(PointFitting, SettledCasesAndRefusals) {
  struct Case {
    const char *what;
    void (*setup)(Fit &);
    int rc;
    void (*check)(const Fit &);
  };
  const Case cases[] = {
      {"order 2 with as many points as poles copies them",
       [](Fit &f) {
         f.pts = wave(6);
         f.prepare(2, 6);
         f.end_type = 2;
         f.codes[0] = f.codes[1] = 0;
       },
       0,
       [](const Fit &f) {
         for (int i = 0; i < 18; ++i) EXPECT_EQ(f.poles[i], f.pts[i]);
       }},
      {"points within the tolerance of their mean give the mean",
       [](Fit &f) {
         f.pts = {1, 2, 3, 1 + 1e-9, 2, 3, 1, 2 - 1e-9, 3, 1, 2, 3 + 1e-9, 1, 2, 3};
         f.w = {2, 1, 1, 1, 1};
         for (int i = 0; i < 5; ++i)
           for (int c = 0; c < 3; ++c) f.pts[3 * i + c] *= f.w[i];
         f.u = {0, .25, .5, .75, 1};
         f.k = 3;
         f.P = 4;
         f.n = 5;
         f.knots = {0, 0, 0, .5, 1, 1, 1};
         f.spans = {2, 2, 2, 3, 3};
       },
       0,
       [](const Fit &f) {
         for (int i = 0; i < 4; ++i) {
           EXPECT_DOUBLE_EQ(f.wout[i], 1.2);
           for (int c = 0; c < 3; ++c)
             EXPECT_NEAR(f.pole(i, c), 1 + c + ((c == 0) - (c == 1) + (c == 2)) * 2e-10, 1e-15);
         }
       }},
      {"weights within 1e-10 are set, not fitted",
       [](Fit &f) {
         f.pts = wave(20);
         f.w.assign(20, 1.5);
         f.w[7] += 5e-11;
         f.w[19] += 0.9e-10;
         for (int i = 0; i < 60; ++i) f.pts[i] *= f.w[i / 3];
         f.prepare(4, 8);
       },
       0,
       [](const Fit &f) {
         for (int i = 0; i < 7; ++i) EXPECT_EQ(f.wout[i], 1.5);
         EXPECT_EQ(f.wout[7], f.w[19]);
       }},
      {"a fitted weight below 0.001",
       [](Fit &f) {
         f.pts = wave(12);
         f.w = {1, 1, 1, 1, 1, 1e-6, 1e-6, 1, 1, 1, 1, 1};
         for (int i = 0; i < 36; ++i) f.pts[i] *= f.w[i / 3];
         f.prepare(4, 10);
       },
       49, nullptr},
      {"a weight that is not positive",
       [](Fit &f) {
         f.pts = wave(8);
         f.w.assign(8, 1.0);
         f.prepare(4, 5);
         f.w[3] = 0;
       },
       49, nullptr},
      {"three points closing on themselves",
       [](Fit &f) {
         f.pts = {0, 0, 0, 1, 1, 0, 1e-9, 0, 0};
         f.prepare(3, 3);
         f.end_type = 1;
       },
       -2, nullptr},
      {"a point that is NaN",
       [](Fit &f) {
         f.pts = wave(8);
         f.prepare(4, 5);
         f.pts[10] = kNaN;
       },
       -2, nullptr},
      {"a parameter that is NaN",
       [](Fit &f) {
         f.pts = wave(8);
         f.prepare(4, 5);
         f.u[3] = kNaN;
       },
       -2, nullptr},
      {"a span index outside the knots",
       [](Fit &f) {
         f.pts = wave(8);
         f.prepare(4, 5);
         f.spans[4] = 5;
       },
       -2, nullptr},
      {"fewer poles than the order",
       [](Fit &f) {
         f.pts = wave(8);
         f.prepare(4, 5);
         f.P = 3;
       },
       -2, nullptr},
      {"four coordinates",
       [](Fit &f) {
         f.pts = wave(8);
         f.prepare(4, 5);
         f.dim = 4;
       },
       -2, nullptr},
      {"more solved than given",
       [](Fit &f) {
         f.pts = wave(8);
         f.prepare(4, 5);
         f.dim = 2;
         f.solved = 3;
       },
       -2, nullptr},
      {"an unknown end condition",
       [](Fit &f) {
         f.pts = wave(8);
         f.prepare(4, 5);
         f.end_type = 3;
       },
       -2, nullptr},
      {"fewer points than poles",
       [](Fit &f) {
         f.pts = wave(8);
         f.prepare(4, 5);
         f.P = 9;
         f.knots.resize(13, 1.0);
       },
       -2, nullptr},
      {"periodic with fewer rows than distinct poles",
       [](Fit &f) {
         f.pts = wave(6);
         f.periodic = 1;
         f.prepare(4, 9);
       },
       -2, nullptr},
      {"a code-3 tangent pole between three points and four poles",
       [](Fit &f) {
         f.pts = {0, 0, 0, 1, 1, 0, 2, 0, 0};
         f.w = {1, 2, 1};
         for (int i = 0; i < 9; ++i) f.pts[i] *= f.w[i / 3];
         f.prepare(4, 4);
         f.end_type = 2;
         f.codes[0] = 3;
         f.codes[1] = 0;
       },
       0,
       [](const Fit &f) {
         for (int c = 0; c < 3; ++c) EXPECT_NEAR(f.poles[3 + c], f.poles[c] + (f.poles[6 + c] - f.poles[c]) / 2, 1e-14);
       }},
  };
  for (const Case &c : cases) {
    Fit f;
    c.setup(f);
    EXPECT_EQ(f.run(), c.rc) << c.what;
    if (c.check && c.rc == 0) c.check(f);
  }
}

// Two points with end tangents: the segment's Bezier form at order 4, raised above it.
TEST(PointFitting, TwoPointSegments) {
  struct Case {
    int k, codes[2], rc;
    Vec fractions;  // where each pole lies on the segment
  };
  const Case cases[] = {
      {4, {0, 0}, 0, {0, 1. / 3, 2. / 3, 1}},
      {5, {3, 3}, 0, {0, .25, .5, .75, 1}},
      {6, {0, 3}, 0, {0, .2, .4, .6, .8, 1}},
      {3, {0, 0}, -2, {}},
      {5, {-1, 0}, -2, {}},
      {2, {3, 3}, 0, {0, 1}},
  };
  for (const Case &c : cases) {
    Fit f;
    f.pts = {1, 2, 0, 4, 6, 0};
    f.n = 2, f.k = c.k, f.P = c.k, f.end_type = 2, f.codes[0] = c.codes[0], f.codes[1] = c.codes[1];
    f.u = {0, 1};
    f.spans = {c.k - 1, c.k - 1};
    f.knots.assign(c.k, 0.0);
    f.knots.resize(2 * c.k, 1.0);
    ASSERT_EQ(f.run(), c.rc) << c.k;
    for (std::size_t i = 0; i < c.fractions.size(); ++i)
      for (int ci = 0; ci < 2; ++ci)
        EXPECT_NEAR(f.poles[3 * i + ci], f.pts[ci] + c.fractions[i] * (f.pts[3 + ci] - f.pts[ci]), 1e-14)
            << c.k << " pole " << i;
  }
}

// Each end leaves along its given unit tangent at every order (orders above 4 through the lower-order curve),
// with polynomial, uniformly weighted and fitted-weight data and with the pole given outright.
TEST(PointFitting, EndTangentsAtEveryOrder) {
  const double t0[3] = {0.6, 0.8, 0}, t1[3] = {0, -0.6, 0.8};
  for (int k = 2; k <= 8; ++k)
    for (int weighting = 0; weighting < 3; ++weighting)
      for (int P : {k + 2, k + 9}) {
        if (P < 4) continue;
        Fit f;
        f.pts = wave(40);
        if (weighting > 0) {
          f.w.assign(40, 1.0);
          for (int i = 0; i < 40; ++i) f.w[i] = weighting == 1 ? 2.0 : 1.0 + 0.3 * std::sin(0.05 * i);
          for (int i = 0; i < 120; ++i) f.pts[i] *= f.w[i / 3];
        }
        f.prepare(k, P);
        f.end_type = 2, f.codes[0] = f.codes[1] = 1;
        f.values[0] = Vec(t0, t0 + 3), f.values[1] = Vec(t1, t1 + 3);
        ASSERT_EQ(f.run(), 0) << k << " " << weighting << " " << P;
        double d0[3], d1[3];
        for (int c = 0; c < 3; ++c) {
          EXPECT_NEAR(f.pole(0, c), f.pts[c] / (f.w.empty() ? 1 : f.w[0]), 1e-12);
          d0[c] = f.pole(1, c) - f.pole(0, c);
          d1[c] = f.pole(P - 1, c) - f.pole(P - 2, c);
        }
        EXPECT_LT(angle_between(d0, t0), 1e-12) << k << " " << weighting << " " << P;
        EXPECT_LT(angle_between(d1, t1), 1e-12) << k << " " << weighting << " " << P;
        // The tangent pole given outright, with its own weight.
        f.codes[0] = -1;
        f.values[0] = {0.5, 0.25, 0.1};
        f.pw[0] = 1.25;
        ASSERT_EQ(f.run(), 0) << k << " " << weighting << " " << P;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(f.poles[3 + c], f.values[0][c]);
        if (weighting > 0) {
          EXPECT_EQ(f.wout[1], 1.25);
        }
      }
}

// Closed data: the wrapped poles repeat exactly, and the dense and banded solvers give one answer.
TEST(PointFitting, PeriodicFitsCloseUp) {
  for (int k = 2; k <= 7; ++k)
    for (int D : {2 * k - 1, 2 * k + 5, 40}) {
      Fit f;
      const int n = 3 * D + 1;
      for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / (n - 1) + 0.1 * std::sin(3.0 * i);
        f.pts.insert(f.pts.end(), {std::cos(a) * (2 + std::cos(3 * a)), std::sin(a) * 2, 0.3 * std::sin(2 * a)});
      }
      f.pts[3 * (n - 1)] = f.pts[0], f.pts[3 * (n - 1) + 1] = f.pts[1], f.pts[3 * (n - 1) + 2] = f.pts[2];
      f.periodic = 1;
      f.prepare(k, D + k - 1);
      ASSERT_EQ(f.run(), 0) << k << " " << D;
      for (int i = 0; i + D < f.P; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(f.poles[3 * i + c], f.poles[3 * (i + D) + c]) << k << " " << D;
      // Both solvers where both apply.
      if (D < 2 * k - 1) continue;
      Vec M(n * std::max(k, D)), B(n * (k + 2)), W(3 * D), dense(3 * f.P), band(3 * f.P);
      int rc = 0;
      BSperiodfit(n, f.pts.data(), f.u.data(), f.spans.data(), k, f.P, f.knots.data(), 3, 3, M.data(), B.data(),
                  W.data(), dense.data(), &rc);
      ASSERT_EQ(rc, 0);
      BSprftwbsol(n, f.pts.data(), f.u.data(), f.spans.data(), k, f.P, f.knots.data(), 3, 3, M.data(), B.data(),
                  W.data(), band.data(), &rc);
      ASSERT_EQ(rc, 0);
      for (int i = 0; i < 3 * f.P; ++i) EXPECT_NEAR(dense[i], band[i], 1e-11) << k << " " << D;
    }
}

TEST(PointFitting, TangentEstimates) {
  int rc = 0;
  double t[3];
  // Collinear points: the chord, with rc 0.
  const double a[3] = {0, 0, 0}, b[3] = {1, 2, 2}, c[3] = {2, 4, 4};
  BStanffit(1, a, b, c, t, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NEAR(t[0], 1. / 3, 1e-15);
  EXPECT_NEAR(t[1], 2. / 3, 1e-15);
  EXPECT_NEAR(t[2], 2. / 3, 1e-15);
  // On a circle about (1, 1) of radius 2: the mean of the circle's tangent and the chord, each way round.
  const double angles[3] = {0.3, 0.9, 1.7};
  double p[3][3];
  for (int i = 0; i < 3; ++i) p[i][0] = 1 + 2 * std::cos(angles[i]), p[i][1] = 1 + 2 * std::sin(angles[i]), p[i][2] = 0;
  for (int end = 0; end < 2; ++end)
    for (int reversed = 0; reversed < 2; ++reversed) {
      const int first = reversed ? 2 : 0, last = 2 - first;
      BStanffit(static_cast<short>(end), p[first], p[1], p[last], t, &rc);
      ASSERT_EQ(rc, 0);
      const int at = end == 0 ? first : last;
      const double sense = reversed ? -1 : 1, ang = angles[at];
      double want[3] = {-std::sin(ang) * sense, std::cos(ang) * sense, 0}, chord[3];
      const double *from = end == 0 ? p[first] : p[1], *to = end == 0 ? p[1] : p[last];
      double len = 0;
      for (int i = 0; i < 3; ++i) chord[i] = to[i] - from[i], len += chord[i] * chord[i];
      double norm = 0;
      for (int i = 0; i < 3; ++i) want[i] += chord[i] / std::sqrt(len), norm += want[i] * want[i];
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(t[i], want[i] / std::sqrt(norm), 1e-14) << end << reversed;
    }

  // Tangent poles on a line through data x = 2u: the reach is the data at the end of the first span.
  Vec data, u;
  for (int i = 0; i < 7; ++i) u.push_back(i / 6.0), data.insert(data.end(), {2 * i / 6.0, 0, 0});
  const Vec knots = {0, 0, 0, 0, 0.3, 0.7, 1, 1, 1, 1};
  const double dir[3] = {0, 1, 0}, given[3] = {7, 8, 9};
  double pole[3];
  BSfndtnpol2(7, data.data(), nullptr, u.data(), 4, 6, knots.data(), 3, -1, 0, 1.0, given, pole, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(pole[2], 9.0);
  BSfndtnpol2(7, data.data(), nullptr, u.data(), 4, 6, knots.data(), 3, 1, 0, 1.0, dir, pole, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NEAR(pole[1], 1.1 * 0.6 / 3, 1e-15);
  BSfndtnpol2(7, data.data(), nullptr, u.data(), 4, 6, knots.data(), 3, 1, 1, 1.0, dir, pole, &rc);
  EXPECT_NEAR(pole[0], 2.0, 1e-15);
  EXPECT_NEAR(pole[1], -1.1 * 0.6 / 3, 1e-15);
  // Parameters that stop short of the first span, or start beyond the last, reach with the end pairs.
  const struct {
    double scale, shift, start_x, end_x;
  } reach[] = {{0.2, 0, 1.1 * 3 / 3, 2 - 1.1 * 5 / 3}, {1, 1, 1.1 * 1.4 / 3, 2 - 1.1 * 2.6 / 3}};
  for (const auto &r : reach) {
    Vec v = u;
    for (double &x : v) x = x * r.scale + r.shift;
    for (short end = 0; end < 2; ++end) {
      BSfndtnpol2(7, data.data(), nullptr, v.data(), 4, 6, knots.data(), 3, 0, end, 1.0, nullptr, pole, &rc);
      EXPECT_EQ(rc, 0);
      EXPECT_NEAR(pole[0], end == 0 ? r.start_x : r.end_x, 1e-14) << r.scale << " " << end;
    }
  }
  // Weighted data: the pole formed unweighted, times its own weight; weights as data give the pole's weight.
  Vec wdata = data, w(7, 2.0);
  for (double &x : wdata) x *= 2;
  BSfndtnpol2(7, wdata.data(), w.data(), u.data(), 4, 6, knots.data(), 3, 1, 0, 3.0, dir, pole, &rc);
  EXPECT_NEAR(pole[1], 3 * 1.1 * 0.6 / 3, 1e-15);
  const Vec ws = {1, 1.3, 1.5, 1.5, 1.5, 1.2, 1};
  BSfndtnpol2(7, ws.data(), nullptr, u.data(), 4, 6, knots.data(), 1, 0, 1, 1.0, nullptr, pole, &rc);
  EXPECT_NEAR(pole[0], 1 - 1.1 * -0.2 / 3, 1e-15);
}

TEST(PointFitting, KnotsFromParameters) {
  const Vec u = {0, 0.1, 0.3, 0.6, 0.7, 1.0};
  struct Case {
    short k, periodic;
    int method, spans;
    double tol;
    int rc;
    Vec active;  // knots k-1 .. S+k-1
  };
  const Case cases[] = {
      {4, 0, 4, 5, 0, 0, {0, 0.1, 0.3, 0.6, 0.7, 1.0}},
      {3, 0, 4, 6, 0, 0, {0, 0.2 / 3, 0.2, 0.45, 0.65, 2.4 / 3, 1.0}},
      {4, 0, 4, 2, 0, 0, {0, 0.45, 1.0}},
      {4, 0, 4, 3, 0, 0, {0, 0.2 + 0.1 / 3, 0.6 + 0.1 / 3, 1.0}},
      {4, 0, 4, 5, 0.2, -1, {0, 0.1, 0.3, 0.6, 0.7, 1.0}},
      {4, 1, 4, 5, 0, 0, {0, 0.1, 0.3, 0.6, 0.7, 1.0}},
      {3, 1, 4, 5, 0, 0, {-0.15, 0.05, 0.2, 0.45, 0.65, 0.85}},
      {4, 0, 3, 5, 0, -2, {}},
      {4, 1, 4, 1, 0, -2, {}},
      {4, 0, 4, 1, 0, 0, {0, 1}},
  };
  for (const Case &c : cases) {
    Vec t(40, kNaN);
    std::vector<int> spans(6, -9);
    int nk = 0, rc = 0;
    BSkts_f_fit(c.k, c.periodic, c.method, c.tol, c.spans, 6, u.data(), &nk, t.data(), spans.data(), &rc);
    ASSERT_EQ(rc, c.rc) << c.k << " " << c.spans;
    if (c.active.empty()) continue;
    const int k = c.k, S = c.spans, P = nk - k;
    ASSERT_EQ(nk, S + 2 * k - 1);
    for (int j = 0; j <= S; ++j) EXPECT_NEAR(t[k - 1 + j], c.active[j], 1e-15) << c.k << " " << S << " " << j;
    // The end knots: clamped, or the period carried on.
    for (int i = 0; i < k - 1; ++i) {
      const double period = t[S + k - 1] - t[k - 1];
      EXPECT_NEAR(t[i], c.periodic ? t[i + S] - period : t[k - 1], 1e-15);
      EXPECT_NEAR(t[S + k + i], c.periodic ? t[k + i] + period : t[S + k - 1], 1e-15);
    }
    for (int i = 0; i < 6; ++i) {
      if (c.periodic && k == 3 && i == 5) {
        EXPECT_EQ(spans[i], P);  // the point that closes the data lies beyond the shifted range
        continue;
      }
      EXPECT_TRUE(spans[i] >= k - 1 && spans[i] <= P - 1 && t[spans[i]] <= u[i] && u[i] <= t[spans[i] + 1]) << i;
    }
  }
}

TEST(PointFitting, AveragedParameters) {
  int rc = 0;
  double len = 0;
  Vec u(4);
  // Chords of 4, 1 and 9: at least 1.0 gives the square roots (2, 1, 3), one shorter gives the chords.
  const Vec far = {0, 0, 0, 4, 0, 0, 4, 1, 0, 4, 10, 0}, near = {0, 0, 0, 4, 0, 0, 4, 0.5, 0, 4, 10, 0};
  BSavgprsfft(1, 4, far.data(), nullptr, 3, 3, 4, &len, u.data(), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NEAR(u[1], 2. / 6, 1e-15);
  EXPECT_NEAR(u[2], 3. / 6, 1e-15);
  EXPECT_NEAR(len, 6, 1e-15);
  BSavgprsfft(1, 4, near.data(), nullptr, 3, 3, 4, &len, u.data(), &rc);
  EXPECT_NEAR(u[1], 4. / 14, 1e-15);
  EXPECT_NEAR(u[2], 4.5 / 14, 1e-15);
  EXPECT_NEAR(len, 14, 1e-15);
  // A later set that needs chords measures the first one again with chords; the two are averaged.
  Vec both = far;
  both.insert(both.end(), near.begin(), near.end());
  BSavgprsfft(2, 4, both.data(), nullptr, 3, 3, 4, &len, u.data(), &rc);
  EXPECT_NEAR(u[1], (4. / 14 + 4. / 14) / 2, 1e-15);
  EXPECT_NEAR(u[2], (5. / 14 + 4.5 / 14) / 2, 1e-15);
  EXPECT_NEAR(len, 14, 1e-15);
  // No set with any length: uniform parameters.
  const Vec still(24, 1.0);
  BSavgprsfft(2, 4, still.data(), nullptr, 3, 3, 4, &len, u.data(), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(u[1], 1. / 3);
  EXPECT_EQ(u[2], 2. / 3);
  EXPECT_EQ(u[3], 1.0);
  Vec bad = far;
  bad[4] = kNaN;
  BSavgprsfft(1, 4, bad.data(), nullptr, 3, 3, 4, &len, u.data(), &rc);
  EXPECT_EQ(rc, -2);
}

}  // namespace
