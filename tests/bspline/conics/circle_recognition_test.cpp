#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/conic_fixtures.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

const double kUp[3] = {0, 0, 1}, kDown[3] = {0, 0, -1}, kCentre[3] = {2, -1, 0};
const double kC = 0.7071067811865476;

// The coefficient rows of a planar record, all multiplied by scale: weighted x, weighted y, weights.
std::vector<double> rows_of(const VOQbsp_curve &cv, double scale = 1) {
  const int n = cv.num_poles;
  std::vector<double> r(3 * n);
  for (int i = 0; i < n; ++i)
    r[i] = scale * cv.poles[3 * i], r[n + i] = scale * cv.poles[3 * i + 1], r[2 * n + i] = scale * cv.weights[i];
  return r;
}

struct Answer {
  int rc = 99, is_circle = 7;
  double centre[2] = {kUnset, kUnset}, mid[2] = {kUnset, kUnset}, sweep = kUnset;
  std::vector<double> work;
  Answer(int degree, int n, const std::vector<double> &knots, int dim, int rational, const std::vector<double> &rows,
         double tol)
      : work(3 * std::max(n, 0), kUnset) {
    BSgeocrcbsp(degree, n, knots.data(), dim, rational, rows.data(), tol, &is_circle, centre, mid, work.data(),
                &sweep, &rc);
  }
};

// Arcs of one, two and three segments, the whole circle, and an arc with every coefficient a million times larger:
// centre, middle point, half the sweep, and canonical rows that are the curve's rows moved to the unit circle.
TEST(CircleRecognition, StandardArcs) {
  const double r = 3;
  for (double deg : {90.0, 200.0, 300.0, 360.0, -300.0}) {
    SCOPED_TRACE(deg);
    ArcRecord arc;
    int rc = 0;
    const double a = std::fabs(deg) * M_PI / 180, scale = deg < 0 ? 1e6 : 1;
    const double s[3] = {kCentre[0] + r * std::cos(0.4), kCentre[1] + r * std::sin(0.4), 0};
    const double e[3] = {kCentre[0] + r * std::cos(0.4 + a), kCentre[1] + r * std::sin(0.4 + a), 0};
    ASSERT_TRUE(deg == 360 ? BSprepcirc(&rc, kCentre, &r, kUp, &arc.cv, nullptr, nullptr)
                           : BSprepcarc(&rc, s, kCentre, e, kUp, &arc.cv, nullptr, nullptr));
    const int n = arc.cv.num_poles;
    const Answer got(2, n, arc.knot_vector(), 2, 1, rows_of(arc.cv, scale), 1e-9);
    ASSERT_EQ(got.rc, 0);
    ASSERT_EQ(got.is_circle, 1);
    EXPECT_NEAR(got.sweep, a / 2, 1e-14);
    double mid[3];
    arc.point(0.5, mid);
    for (int k = 0; k < 2; ++k) {
      EXPECT_NEAR(got.centre[k], kCentre[k], 1e-13);
      EXPECT_NEAR(got.mid[k], mid[k], 1e-14);
    }
    // Weighted pole i = centre W_i + r (X_i m + Y_i t), m towards the middle point and t a quarter turn on.
    const double m[2] = {(mid[0] - kCentre[0]) / r, (mid[1] - kCentre[1]) / r}, t[2] = {-m[1], m[0]};
    const double *X = got.work.data(), *Y = X + n, *W = Y + n;
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(W[i], scale * arc.weights[i]) << i;
      for (int k = 0; k < 2; ++k)
        EXPECT_NEAR(kCentre[k] * W[i] + r * (X[i] * m[k] + Y[i] * t[k]), scale * arc.poles[3 * i + k], 1e-13 * scale);
    }
  }
}

std::vector<std::string> g_names;
void record(const char *lname, int *) { g_names.push_back(lname); }

// No circle: rc 0 and is_circle cleared, or rc -2 pushed on the trace without the test hook.
TEST(CircleRecognition, NotCircles) {
  const std::vector<double> one = {0, 0, 0, 1, 1, 1};
  // A quarter ellipse; the quarter circle reweighted 1, 2w, 4 (its points, another parametrisation).
  const std::vector<double> ellipse = {1, kC, 0, 0, 2 * kC, 2, 1, kC, 1};
  const std::vector<double> reweighted = {1, 2 * kC, 0, 0, 2 * kC, 4, 1, 2 * kC, 4};
  ArcRecord cw;
  int rc = 0;
  const double s[3] = {5, -1, 0}, e[3] = {2, 2, 0};
  ASSERT_TRUE(BSprepcarc(&rc, s, kCentre, e, kDown, &cw.cv, nullptr, nullptr));
  std::vector<double> nan_rows = reweighted;
  nan_rows[1] = NAN;
  const struct {
    const char *what;
    int degree, n, dim, rational;
    std::vector<double> knots, rows;
    double tol;
    int rc;
  } cases[] = {
      {"quarter ellipse", 2, 3, 2, 1, one, ellipse, 1e-9, 0},
      {"weights 1, 2w, 4", 2, 3, 2, 1, one, reweighted, 1e-9, 0},
      {"clockwise arc", 2, 7, 2, 1, cw.knot_vector(), rows_of(cw.cv), 1e-9, 0},
      {"simple inner knot", 2, 4, 2, 1, {0, 0, 0, 0.5, 1, 1, 1}, {1, 1, 0, 0, 0, 0.5, 1, 1, 1, kC, kC, 1}, 1e-9, 0},
      {"degree 3", 3, 3, 2, 1, one, ellipse, 1e-9, 0},
      {"polynomial", 2, 3, 2, 0, one, ellipse, 1e-9, 0},
      {"three dimensions", 2, 3, 3, 1, one, ellipse, 1e-9, 0},
      {"tol 0", 2, 3, 2, 1, one, ellipse, 0, -2},
      {"NaN tol", 2, 3, 2, 1, one, ellipse, NAN, -2},
      {"NaN coefficient", 2, 3, 2, 1, one, nan_rows, 1e-9, -2},
      {"two poles", 2, 2, 2, 1, {0, 0, 1, 1}, {1, 0, 0, 1, 1, 1}, 1e-9, -2},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE(cs.what);
    BStraceclear();
    g_names.clear();
    HookGuard hook(record);
    const Answer got(cs.degree, cs.n, cs.knots, cs.dim, cs.rational, cs.rows, cs.tol);
    EXPECT_EQ(got.rc, cs.rc);
    EXPECT_EQ(got.is_circle, 0);
    EXPECT_EQ(std::count(g_names.begin(), g_names.end(), "bsgeocrcbsp"), 0);
    if (cs.rc == 0) continue;
    ASSERT_GT(BStracecount(), 0);
    EXPECT_STREQ(BStracetable()[BStracecount() - 1].name, "BSgeocrcbsp");
  }
}

}  // namespace
