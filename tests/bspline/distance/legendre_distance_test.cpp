#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/distance.h"
#include "bspline/legendre.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A random Legendre span of degree n in dim coordinates, with a weight series bounded away from 0 when rational.
std::vector<double> random_span(std::mt19937 &rng, int n, int dim, bool rational) {
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<double> c((n + 1) * (dim + rational));
  for (double &v : c) v = u(rng);
  if (rational) {
    double *w = c.data() + dim * (n + 1);
    w[0] = 2;
    for (int k = 1; k <= n; ++k) w[k] = 0.9 * u(rng) / n;
  }
  return c;
}

struct Equations {
  std::vector<std::vector<double>> room;
  std::vector<double *> ptr;
  std::vector<int> deg;
  double eqtol = -1;
  int rc = 99;
  Equations(int n, int dim, bool rational, const std::vector<double> &c, const std::vector<double> &pts,
            std::vector<unsigned char> active, double tol = 1e-6) {
    const int np = static_cast<int>(active.size());
    room.assign(np, std::vector<double>(3 * n + 4, 7.0));
    for (auto &r : room) ptr.push_back(r.data());
    deg.assign(np, -9);
    BSformeqe(n, dim, rational ? BSTRUE : BSFALSE, c.data(), np, pts.data(), active.data(), tol, deg.data(),
              ptr.data(), &eqtol, &rc);
  }
};

TEST(DistanceEquation, FormedEquations) {
  // The line (1 + 2t, 1 - ... ) of the example: X - p = (1 + 2t, -4, 0), X' = (2, 0, 0).
  Equations line(1, 3, false, {1, 2, 1, 0, 0, 0}, {0, 5, 0}, {1});
  ASSERT_EQ(line.rc, 0);
  EXPECT_EQ(line.deg[0], 1);
  EXPECT_DOUBLE_EQ(line.room[0][0], 2);
  EXPECT_DOUBLE_EQ(line.room[0][1], 4);
  EXPECT_DOUBLE_EQ(line.room[0][2], 7.0);  // nothing beyond the degree

  // A second active point gets the equation formed for it alone; an inactive one is untouched.
  std::mt19937 rng(235);
  for (int rational = 0; rational <= 1; ++rational) {
    const int n = 5;
    const auto c = random_span(rng, n, 3, rational);
    const std::vector<double> pts = {0.3, -2, 1, 9, 9, 9, 1.5, 0.2, -0.7};
    Equations both(n, 3, rational, c, pts, {1, 0, 1});
    Equations alone(n, 3, rational, c, {1.5, 0.2, -0.7}, {1});
    ASSERT_EQ(both.rc, 0);
    ASSERT_EQ(alone.rc, 0);
    const int e = rational ? 3 * n - 2 : 2 * n - 1;
    EXPECT_EQ(both.deg[2], e);
    EXPECT_EQ(both.deg[1], -9);
    EXPECT_EQ(both.room[1][0], 7.0);
    for (int k = 0; k <= e; ++k) EXPECT_NEAR(both.room[2][k], alone.room[0][k], 1e-13) << rational << " " << k;
  }

  const struct {
    const char *what;
    int n;
    bool rational;
    std::vector<double> c;
    std::vector<unsigned char> active;
    int rc, deg;
    double eqtol;  // -1: not checked; -2: not written
  } cases[] = {
      {"constant curve: no equation", 0, false, {3, 4}, {1}, 0, -1, DBL_MAX},
      {"no variation above c[0]", 2, false, {3, 0, 0, 4, 0, 0}, {1}, 0, 3, DBL_MAX},
      {"no active point writes nothing", 2, false, {3, 1, 0, 4, 0, 0}, {0}, 0, -9, -2},
      {"negative degree", -1, false, {}, {1}, -2, -9, -2},
      {"NaN coefficient", 1, false, {kNaN, 1, 0, 1}, {1}, -2, -9, -2},
      {"rational NaN weight", 1, true, {0, 1, 0, 1, 1, kNaN}, {1}, -2, -9, -2},
      {"polynomial equation above degree 320", 161, false, std::vector<double>(324, 0.5), {1}, -2, -9, -2},
      {"rational equation above degree 320", 108, true, std::vector<double>(327, 0.5), {1}, -2, -9, -2},
  };
  for (const auto &t : cases) {
    Equations eq(t.n, 2, t.rational, t.c, {0.5, 0.5}, t.active);
    EXPECT_EQ(eq.rc, t.rc) << t.what;
    EXPECT_EQ(eq.deg[0], t.deg) << t.what;
    if (t.eqtol == -2) { EXPECT_EQ(eq.eqtol, -1) << t.what; }
    if (t.eqtol >= 0) { EXPECT_EQ(eq.eqtol, t.eqtol) << t.what; }
  }
  int rc = 0, deg = -9;
  double room[4] = {7, 7, 7, 7}, *ptr = room;
  const double c[2] = {1, 2}, p[1] = {0};
  const unsigned char on = 1;
  BSformeqep(-1, 1, c, 1, p, &on, &deg, &ptr, &rc);
  EXPECT_EQ(rc, -2);
}

TEST(DistanceEquation, RationalEquationIsTheNumeratorOfTheDistanceDerivative) {
  // The equation equals w^3 (X - p) . X' everywhere, so its zeros and sign changes are those of (X - p) . X'.
  std::mt19937 rng(2350);
  std::uniform_real_distribution<double> u(-1.5, 1.5);
  for (int trial = 0; trial < 24; ++trial) {
    const int n = 1 + trial % 8, dim = 2 + trial % 2;
    const auto c = random_span(rng, n, dim, true);
    std::vector<double> p(dim);
    for (double &v : p) v = u(rng);
    Equations eq(n, dim, true, c, p, {1});
    ASSERT_EQ(eq.rc, 0);
    ASSERT_EQ(eq.deg[0], 3 * n - 2);
    int changes_eq = 0, changes_ref = 0;
    double prev_eq = 0, prev_ref = 0;
    for (int s = 0; s <= 400; ++s) {
      const double t = -1 + s / 200.0;
      double w = 0, dw = 0, value = 0, ref = 0;
      int rc = 0;
      BSevalpolgd(n, c.data() + dim * (n + 1), t, &w);
      BSevalgder(n, c.data() + dim * (n + 1), 1, t, &dw, &rc);
      for (int k = 0; k < dim; ++k) {
        double x = 0, dx = 0;
        BSevalpolgd(n, c.data() + k * (n + 1), t, &x);
        BSevalgder(n, c.data() + k * (n + 1), 1, t, &dx, &rc);
        ref += (x / w - p[k]) * (dx * w - x * dw) / (w * w);
      }
      BSevalpolgd(eq.deg[0], eq.room[0].data(), t, &value);
      EXPECT_NEAR(value, ref * w * w * w, 1e-11 * (1 + std::fabs(value))) << trial << " t " << t;
      if (s > 0) {
        changes_eq += (value > 0) != (prev_eq > 0);
        changes_ref += (ref > 0) != (prev_ref > 0);
      }
      prev_eq = value;
      prev_ref = ref;
    }
    EXPECT_EQ(changes_eq, changes_ref) << trial;
  }
}

// The equation of a span and a point moved together 1e5 to 1e7 from the origin is the equation near the origin, and
// so is its tolerance: formed from absolute coordinates, a rational span's equation cancelled as many digits as it
// was far relative to its size, and its tolerance (measured by the variation of P = X w) shrank in proportion.
TEST(DistanceEquation, DoesNotDependOnWhereTheSpanLies) {
  std::mt19937 rng(2351);
  for (int rational = 0; rational <= 1; ++rational)
    for (double far : {1e5, 1e6, 1e7}) {
      const int n = 5, dim = 3, e = rational ? 3 * n - 2 : 2 * n - 1;
      const std::vector<double> home = random_span(rng, n, dim, rational), p = {0.3, -0.4, 0.2};
      // Moved by (far, -far / 2, far / 4): X + o, that is P + o w, the weight's series times o.
      std::vector<double> moved = home, q = p;
      for (int k = 0; k < dim; ++k) {
        const double o = far * (k == 0 ? 1 : k == 1 ? -0.5 : 0.25);
        q[k] += o;
        for (int j = 0; j <= n; ++j) moved[k * (n + 1) + j] += o * (rational ? home[dim * (n + 1) + j] : j == 0);
      }
      const Equations a(n, dim, rational, home, p, {1}), b(n, dim, rational, moved, q, {1});
      ASSERT_EQ(a.rc, 0);
      ASSERT_EQ(b.rc, 0);
      double size = 0;
      for (int k = 0; k <= e; ++k) size += std::fabs(a.room[0][k]);
      for (int k = 0; k <= e; ++k)
        EXPECT_NEAR(b.room[0][k], a.room[0][k], 1e-8 * size) << "rational " << rational << " at " << far << ", " << k;
      EXPECT_NEAR(b.eqtol, a.eqtol, 1e-6 * a.eqtol) << "rational " << rational << " at " << far;
    }
}

TEST(LegendreDistance, LinePieces) {
  const struct {
    const char *what;
    bool rational;
    std::vector<double> c;  // c0, c1 per component, then w0, w1
    std::vector<double> p;
    int rc;
    double t, dist;
  } cases[] = {
      {"foot inside", false, {0, 1, 0, 0}, {0.25, 2}, 0, 0.25, 2},
      {"beyond t = 1 gets that end", false, {0, 1, 0, 0}, {3, 1}, 0, 1, std::sqrt(5.0)},
      {"beyond t = -1 gets that end", false, {0, 1, 0, 0}, {-4, 0}, 0, -1, 3},
      {"foot within the tolerance of an end snaps", false, {0, 1, 0, 0}, {1 - 1e-9, 1}, 0, 1, 1},
      {"point curve: t = 1", false, {2, 0, 2, 0}, {0, 0}, 0, 1, std::sqrt(8.0)},
      // (2t, 0) / (1 + 0.5 t): x runs from -4 to 4/3; the foot of x = 0 is t = 0.
      {"rational foot", true, {0, 2, 0, 0, 1, 0.5}, {0, 1}, 0, 0, 1},
      {"both end weights zero", true, {0, 2, 0, 0, 0, 0}, {0, 1}, -2, 9, 9},
      {"NaN point", false, {0, 1, 0, 0}, {kNaN, 0}, -2, 9, 9},
  };
  for (const auto &t : cases) {
    int rc = 0;
    double dist = 9, par = 9, q[2] = {9, 9};
    BSmdptlnlg(2, t.rational ? BSTRUE : BSFALSE, t.c.data(), t.p.data(), 1e-6, &dist, &par, q, &rc);
    EXPECT_EQ(rc, t.rc) << t.what;
    EXPECT_NEAR(par, t.t, 1e-15) << t.what;
    EXPECT_NEAR(dist, t.dist, 1e-15) << t.what;
  }
}

// One call of the driver over the points of a curve, the outputs primed with sentinels.
struct Nearest {
  std::vector<double> bound, dist, par, pt;
  std::vector<int> status;
  int rc = 99;
  Nearest(int n, int dim, bool rational, const std::vector<double> &c, const std::vector<double> &pts,
          std::vector<double> bound_in, std::vector<unsigned char> active, double tol = 1e-8) {
    const int np = static_cast<int>(active.size());
    std::vector<double> dist_in(np, DBL_MAX);
    bound.assign(np, -5);
    dist.assign(np, -5);
    par.assign(np, -5);
    pt.assign(np * dim, -5);
    status.assign(np, 99);
    BSmdptlgcv(n, dim, rational ? BSTRUE : BSFALSE, c.data(), np, pts.data(), tol, bound_in.data(), dist_in.data(),
               active.data(), bound.data(), dist.data(), par.data(), pt.data(), status.data(), &rc);
  }
};

TEST(LegendreDistance, SearchOutcomes) {
  // (t, t^2 - 1): from (0, 1) both ends lie at sqrt 2 and the interior is farther; the second end wins.
  const std::vector<double> bow = {0, 1, 0, -2.0 / 3, 0, 2.0 / 3};
  Nearest ends(2, 2, false, bow, {0, 1, 0, -3, 5, 5}, {DBL_MAX, 0.5, DBL_MAX}, {1, 1, 0});
  ASSERT_EQ(ends.rc, 0);
  EXPECT_EQ(ends.status[0], 0);
  EXPECT_EQ(ends.par[0], 1);
  EXPECT_DOUBLE_EQ(ends.dist[0], std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(ends.bound[0], std::sqrt(2.0));
  // A bound below the true distance (2, at t = 0): -12 and the outputs as they came in.
  EXPECT_EQ(ends.status[1], -12);
  EXPECT_EQ(ends.bound[1], 0.5);
  EXPECT_EQ(ends.dist[1], DBL_MAX);
  EXPECT_EQ(ends.par[1], -5);
  EXPECT_EQ(ends.pt[2], -5);
  // An inactive point: status 0, nothing else written.
  EXPECT_EQ(ends.status[2], 0);
  EXPECT_EQ(ends.par[2], -5);
  EXPECT_EQ(ends.pt[4], -5);

  // From below the vertex: the interior point t = 0.
  Nearest inner(2, 2, false, bow, {0, -1.5}, {DBL_MAX}, {1});
  ASSERT_EQ(inner.rc, 0);
  EXPECT_NEAR(inner.par[0], 0, 1e-8);
  EXPECT_NEAR(inner.dist[0], 0.5, 1e-12);

  // The cubic (0, 0), (0, 0), (0, 12), (4, 12) stands still at its start; seen from (12, 0) the results beside the
  // start improve by less than the tolerance five times over, yet the nearest point lies farther in, 2.2e-4 nearer.
  const std::vector<double> still_start = {0, 0, 0, 4, 0, 0, 12, 12};
  std::vector<double> lgd(8);
  int lrc = 0;
  BSbeztolgd(3, 2, still_start.data(), lgd.data(), &lrc);
  ASSERT_EQ(lrc, 0);
  Nearest beyond_stagnation(3, 2, false, lgd, {12, 0}, {DBL_MAX}, {1}, 1e-6);
  ASSERT_EQ(beyond_stagnation.rc, 0);
  EXPECT_NEAR(beyond_stagnation.dist[0], 11.99978002675022106, 1e-9);
  EXPECT_NEAR(beyond_stagnation.par[0], -0.87650167494593349, 1e-5);

  // Damaged input.
  Nearest nan_point(2, 2, false, bow, {kNaN, 1}, {DBL_MAX}, {1});
  EXPECT_EQ(nan_point.rc, -2);
  Nearest inf_bound(2, 2, false, bow, {0, 1}, {INFINITY}, {1});
  EXPECT_EQ(inf_bound.rc, -2);
  Nearest nan_tol(2, 2, false, bow, {0, 1}, {DBL_MAX}, {1}, kNaN);
  EXPECT_EQ(nan_tol.rc, -2);
  Nearest flat_rational(1, 2, true, {0, 1, 0, 0, 0, 0}, {0, 1}, {DBL_MAX}, {1});
  EXPECT_EQ(flat_rational.rc, -2);
}

TEST(LegendreDistance, SearchState) {
  std::mt19937 rng(234);
  // A forced small slot table restarts and ends where a large one does.
  for (int rational = 0; rational <= 1; ++rational) {
    const int n = 7;
    const auto c = random_span(rng, n, 3, rational);
    const double p[3] = {0.4, -0.3, 2};
    double big[5], small[5], pt[3];
    int rc_big = 0, rc_small = 0;
    BSmdptlgcv1(n, 3, rational, c.data(), p, 1e-9, DBL_MAX, DBL_MAX, &big[0], &big[1], &big[2], pt, &rc_big);
    bstest::set_first_slots(3);
    BSmdptlgcv1(n, 3, rational, c.data(), p, 1e-9, DBL_MAX, DBL_MAX, &small[0], &small[1], &small[2], pt,
                &rc_small);
    bstest::set_first_slots(0);
    ASSERT_EQ(rc_big, 0);
    EXPECT_EQ(rc_small, 0);
    EXPECT_EQ(small[1], big[1]) << rational;
    EXPECT_EQ(small[2], big[2]) << rational;
  }
  // The parabola (t^2 - 1, t) and the point (0, 0.5), both scaled: far from the origin (by 1e120) no halving brings
  // a piece under the absolute piece tolerance, and the search stops at the rounding of its coordinates; weights
  // of 2^-700 square and cube below the smallest double in the bounds and the distance equation, and the search
  // scales them, to end where weights of 1 do. Either way it ends a few dozen halvings in; past a cap the hook
  // stops it with a code.
  {
    static int halvings = 0;
    const BSfaulthandler before = BSsetfaulthook([](const char *name, int *rc) {
      if (std::strcmp(name, "bsmdlghlfcv") == 0 && ++halvings > 1000 && rc) *rc = -1;
    });
    const double big = 1e120, w = std::ldexp(1.0, -700);
    const struct {
      const char *what;
      BSboolean rational;
      std::vector<double> span;
      double scale;
    } cases[] = {
        {"far from the origin", BSFALSE, {-big * 2 / 3, 0, big * 2 / 3, 0, big, 0}, big},
        {"weights of 2^-700", BSTRUE, {-w * 2 / 3, 0, w * 2 / 3, 0, w, 0, w, 0, 0}, 1},
    };
    for (const bool slow : {false, true}) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      for (const auto &c : cases) {
        const double far_point[2] = {0, 0.5 * c.scale};
        double fb = 0, fd = 0, ft = 0, fq[2], ud = 0, ut = 0;
        int frc = 0;
        if (c.rational) {
          std::vector<double> unit = c.span;
          for (double &x : unit) x /= w;
          BSmdptlgcv1(2, 2, BSTRUE, unit.data(), far_point, 1e-6, DBL_MAX, DBL_MAX, &fb, &ud, &ut, fq, &frc);
        }
        halvings = 0;
        BSmdptlgcv1(2, 2, c.rational, c.span.data(), far_point, 1e-6, DBL_MAX, DBL_MAX, &fb, &fd, &ft, fq, &frc);
        EXPECT_EQ(frc, 0) << c.what;
        EXPECT_TRUE(halvings > 0 && halvings <= 40) << c.what << ": " << halvings;
        if (c.rational) {
          EXPECT_EQ(fd, ud) << c.what;
          EXPECT_EQ(ft, ut) << c.what;
        } else {
          EXPECT_NEAR(fd / c.scale, 0.44183247709352910, 1e-14) << c.what;
        }
      }
    }
    BSsetfaulthook(before);
  }
  // A piece within the piece tolerance of the origin is still solved, as a point.
  const double tiny[4] = {1e-13, 1e-14, -1e-13, 0};
  const double p[2] = {3, 4};
  double b = 0, d = 0, t = 9, q[2] = {9, 9};
  int rc = 0;
  BSmdptlgcv1(1, 2, BSFALSE, tiny, p, 1e-8, DBL_MAX, DBL_MAX, &b, &d, &t, q, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NEAR(d, 5, 1e-12);
  EXPECT_NEAR(q[0], 0, 1e-12);
  // No slot table: -13, nothing left allocated.
  const int live = BSdbgliveblocks();
  const auto c = random_span(rng, 3, 2, false);
  BSallocfailat(1);
  BSmdptlgcv1(3, 2, BSFALSE, c.data(), p, 1e-8, DBL_MAX, DBL_MAX, &b, &d, &t, q, &rc);
  BSallocfailat(0);
  EXPECT_EQ(rc, -13);
  EXPECT_EQ(BSdbgliveblocks(), live);
}

TEST(LegendreDistance, PieceHelpers) {
  // Effective degree: the first coefficient from the top whose running sum exceeds the tolerance.
  const struct {
    const char *what;
    bool rational;
    std::vector<double> c;  // degree 2, two components (+ weight)
    double tol;
    int m;
  } cases[] = {
      {"top terms within tol", false, {1, 2, 1e-9, 3, 0, 1e-9}, 1e-8, 1},
      {"whole piece within tol", false, {1e-9, 0, 0, 0, 0, 1e-9}, 1e-8, -1},
      {"negative tol keeps the degree", false, {1, 0, 0, 1, 0, 0}, -1, 2},
      {"NaN counts", false, {1, 0, kNaN, 1, 0, 0}, 1e-8, 2},
      {"rational: weight varies too much", true, {1, 0, 0, 1, 0, 0, 1, 0, 1}, 1e-3, 2},
      {"rational: a straight rational piece", true, {1, 2, 0, 1, 0, 0, 2, 0.5, 0}, 1e-8, 1},
      {"rational: zero point components", true, {0, 0, 0, 0, 0, 0, 1, 0.2, 0}, 1e-8, -1},
  };
  for (const auto &t : cases) {
    std::vector<double> out(t.c.size(), 9);
    int m = -9;
    if (t.rational)
      BSmdlgeffdr(2, 2, t.c.data(), t.tol, &m, out.data());
    else
      BSmdlgeffdg(2, 2, t.c.data(), t.tol, &m, out.data());
    EXPECT_EQ(m, t.m) << t.what;
    const int comps = 2 + t.rational;
    for (int k = 0; k < comps && m >= 0; ++k)
      for (int j = 0; j <= m; ++j) {
        const double got = out[k * (m + 1) + j], want = t.c[k * 3 + j];
        EXPECT_TRUE(got == want || (std::isnan(got) && std::isnan(want))) << t.what;
      }
  }
  // One point: a rational piece whose numerators follow the weight.
  const double follows[6] = {2, 0.2, 4, 0.4, 2, 0.2}, apart[6] = {2, 0.3, 4, 0.4, 2, 0.2};
  BSboolean flag = BSFALSE;
  double q[2] = {0, 0};
  BSmdlgptpc(1, 2, BSTRUE, follows, 1e-9, &flag, q);
  EXPECT_EQ(flag, BSTRUE);
  EXPECT_EQ(q[1], 2);
  BSmdlgptpc(1, 2, BSTRUE, apart, 1e-9, &flag, q);
  EXPECT_EQ(flag, BSFALSE);
  // Which half first: the one whose mean is nearer in L1.
  const double h1[4] = {0, 1, 0, 0}, h2[4] = {5, 1, 0, 0}, pts[4] = {4, 0, 1, 0};
  const unsigned char act[2] = {1, 0}, none[2] = {0, 0};
  BSboolean which = 7;
  int rc = 0;
  BSreassurf(1, 0, 2, BSFALSE, h1, 1, 0, h2, 2, pts, act, &which, &rc);
  EXPECT_EQ(which, BSFALSE);
  BSreassurf(1, 0, 2, BSFALSE, h1, 1, 0, h2, 2, pts, none, &which, &rc);
  EXPECT_EQ(which, BSTRUE);
}

}  // namespace
