#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "tests/bspline/conic_fixtures.h"

namespace {

using namespace conic_test;

const double kQuarter[6] = {1, 0, 1, 1, 0, 1};  // (x, y) of the quarter-circle poles

PlaneFrame random_frame(std::mt19937 &rng) {
  std::uniform_real_distribution<double> d(-1, 1);
  PlaneFrame f;
  double n[3];
  do {
    for (int k = 0; k < 3; ++k) f.e1[k] = d(rng), n[k] = d(rng), f.origin[k] = 5 * d(rng);
    cross(f.e1, n, f.e2);
  } while (dot(f.e2, f.e2) < 0.1 || dot(f.e1, f.e1) < 0.1);
  const double l1 = std::sqrt(dot(f.e1, f.e1)), l2 = std::sqrt(dot(f.e2, f.e2));
  for (int k = 0; k < 3; ++k) f.e1[k] /= l1, f.e2[k] /= l2;
  return f;
}

// Poles of the elliptic arc x = A cos t, y = B sin t from t0 to t1 (t1 - t0 < pi): the circular arc's Bezier
// triangle stretched, weights 1, cos(half angle), 1.
std::vector<double> ellipse_arc(double A, double B, double t0, double t1, double *w) {
  const double h = (t1 - t0) / 2, m = (t0 + t1) / 2;
  *w = std::cos(h);
  return {A * std::cos(t0), B * std::sin(t0), A * std::cos(m) / *w, B * std::sin(m) / *w, A * std::cos(t1),
          B * std::sin(t1)};
}

// The quarter-circle poles in the plane z = 5 under several weights: the plane off the origin makes the plane
// normal of a weight without quadratic term (1 1.5 2) or without any s term (1 1 1) depend on the right
// coefficients; the negative middle weights give the complementary arcs.
TEST(ConicRecognition, QuarterPolesByWeights) {
  PlaneFrame z5;
  z5.origin[2] = 5;
  const struct {
    std::vector<double> w;  // empty: polynomial
    int type;
  } cases[] = {{{1, std::sqrt(0.5), 1}, BSCONIC_CIRCLE}, {{1, 1, 1}, BSCONIC_PARABOLA}, {{}, BSCONIC_PARABOLA},
               {{1, 2, 1}, BSCONIC_HYPERBOLA},           {{1, 0.5, 1}, BSCONIC_ELLIPSE},  {{1, 1.5, 2}, BSCONIC_HYPERBOLA},
               {{1, -2, 1}, BSCONIC_HYPERBOLA},          {{1, -0.5, 1}, BSCONIC_ELLIPSE}};
  for (const auto &cs : cases) {
    SCOPED_TRACE(cs.w.empty() ? std::string("polynomial") : "w1 " + std::to_string(cs.w[1]));
    auto c = plane_segment(z5, {kQuarter, kQuarter + 6}, cs.w);
    const ConicOut o = conic_of(c->cv);
    EXPECT_EQ(o.type, cs.type);
    expect_on_conic(*c, o, 1e-12);
    if (cs.type == BSCONIC_CIRCLE) {
      EXPECT_NEAR(std::fabs(o.Z[0]) + std::fabs(o.Z[1]) + std::fabs(o.Z[2] - 5), 0.0, 1e-15);
      EXPECT_NEAR(o.a, 1.0, 1e-15);
    }
    if (cs.type == BSCONIC_PARABOLA) {
      EXPECT_NEAR(o.F1[0], 0.5, 1e-15);
      EXPECT_NEAR(o.V1[1], 0.75, 1e-15);
    }
  }
}

// Random segments in random planes, every sign pattern of the middle weight: the type follows k = w0 w2 / w1^2,
// the curve lies on the conic, and an ellipse has V1 nearer the first pole with V1, M1 turning as the curve runs.
TEST(ConicRecognition, RandomSegmentsLieOnTheirConics) {
  std::mt19937 rng(2701);
  std::uniform_real_distribution<double> xy(-5, 5), wd(0.3, 3), mid(0.1, 3);
  int seen[10] = {};
  for (int trial = 0; trial < 400; ++trial) {
    const PlaneFrame f = random_frame(rng);
    std::vector<double> p(6);
    for (double &x : p) x = xy(rng);
    const double area = (p[0] - p[2]) * (p[5] - p[3]) - (p[1] - p[3]) * (p[4] - p[2]);
    if (std::fabs(area) < 1.0) continue;
    const double w0 = wd(rng), w2 = wd(rng), w1 = (trial % 3 == 0 ? -1 : 1) * mid(rng);
    const double k = w0 * w2 / (w1 * w1);
    if (std::fabs(k - 1) < 1e-3) continue;
    auto c = plane_segment(f, p, {w0, w1, w2});
    SCOPED_TRACE("trial " + std::to_string(trial));
    const ConicOut o = conic_of(c->cv);
    ASSERT_EQ(o.rc, 0);
    if (o.type != BSCONIC_CIRCLE) {
      EXPECT_EQ(o.type, k < 1 ? BSCONIC_HYPERBOLA : BSCONIC_ELLIPSE);
    }
    ++seen[o.type];
    expect_on_conic(*c, o, 1e-8);
    if (o.type == BSCONIC_ELLIPSE) {
      const double P0[3] = {c->pole(0, 0), c->pole(0, 1), c->pole(0, 2)};
      EXPECT_LE(dist(P0, o.V1), dist(P0, o.V2));
      double X0[3], X1[3], r0[3], r1[3], u1[3], u2[3], run[3], axes[3];
      ref_point(*c, 0.0, X0);
      ref_point(*c, 1e-3, X1);
      sub(X0, o.Z, r0), sub(X1, o.Z, r1), sub(o.V1, o.Z, u1), sub(o.M1, o.Z, u2);
      cross(r0, r1, run), cross(u1, u2, axes);
      EXPECT_GT(dot(run, axes), 0.0) << "V1, M1 turn against the curve";
    }
  }
  EXPECT_GT(seen[BSCONIC_ELLIPSE], 50);
  EXPECT_GT(seen[BSCONIC_HYPERBOLA], 50);
}

TEST(ConicRecognition, EllipseArcsForwardAndReversed) {
  const double pi = std::acos(-1.0), deg = pi / 180;
  const struct {
    double t0, t1;
    double v1x, m1y;          // forwards: sign of V1's x and M1's y
    double rev_v1x, rev_m1y;  // reversed
  } cases[] = {{10, 80, 1, 1, 1, -1}, {100, 170, -1, -1, -1, 1}, {20, 160, 1, 1, -1, 1}};
  for (const auto &cs : cases) {
    double w;
    const auto xy = ellipse_arc(3, 1, cs.t0 * deg, cs.t1 * deg, &w);
    auto c = plane_segment(PlaneFrame(), xy, {1, w, 1});
    SCOPED_TRACE("arc from " + std::to_string(cs.t0));
    for (bool reversed : {false, true}) {
      int rc = 0;
      if (reversed) {
        ASSERT_TRUE(BSrev_cv(&rc, &c->cv));
      }
      const ConicOut o = conic_of(c->cv);
      ASSERT_EQ(o.rc, 0);
      ASSERT_EQ(o.type, BSCONIC_ELLIPSE);
      EXPECT_NEAR(o.a, 3, 1e-13);
      EXPECT_NEAR(o.b, 1, 1e-13);
      EXPECT_NEAR(o.V1[0], 3 * (reversed ? cs.rev_v1x : cs.v1x), 1e-13);
      EXPECT_NEAR(o.F1[0], std::sqrt(8.0) * (reversed ? cs.rev_v1x : cs.v1x), 1e-13);
      EXPECT_NEAR(o.M1[1], reversed ? cs.rev_m1y : cs.m1y, 1e-13);
      EXPECT_NEAR(o.M2[1], -(reversed ? cs.rev_m1y : cs.m1y), 1e-13);
    }
  }
}

// Curves of several spans, each span on a conic of its own: the longest control polygon decides, whichever place
// it has. Two circle arcs of 170 degrees weigh their middle poles below a quarter of the mean weight, so the
// planarity test needs the refined curve; weights that fall a hundredfold along a semicircle are not evened out
// by any refinement, only by the segments' standard form, and a segment near a half turn only by both. A weight
// of 0 at a joint leaves the plane undecided.
TEST(ConicRecognition, MultiSpanCurvesJudgedOnTheLongestSpan) {
  const double pi = std::acos(-1.0), c45 = std::sqrt(0.5), c88 = std::cos(88 * pi / 180);
  struct Arc {
    double A, B, t0, t1;
  };
  const struct {
    std::vector<Arc> arcs;
    int longest;
    int type;
    std::vector<double> weights = {};  // in place of 1, w, 1, w, 1 ...: the same curve otherwise parametrised
    int rc = 0;
  } cases[] = {
      {{{1, 1, 0, pi / 2}, {1, 1, pi / 2, pi}}, 0, BSCONIC_CIRCLE, {1, 0.1 * c45, 0.01, 0.01 * c45, 0.01}},
      {{{1, 1, 0, pi / 2}, {1, 1, pi / 2, pi}}, 1, BSCONIC_CIRCLE, {0.007, std::sqrt(0.007) * c45, 1, 0.7 * c45, 0.49}},
      {{{2, 2, 0, 176 * pi / 180}, {2, 2, 176 * pi / 180, 352 * pi / 180}}, 0, BSCONIC_CIRCLE,
       {1, 0.1 * c88, 0.01, 0.1 * c88, 1}},
      {{{1, 1, 0, pi / 2}, {1, 1, pi / 2, pi}}, 0, 0, {1, c45, 0, c45, 1}, -1},
      {{{1, 1, 0, 0.5}, {4, 2, 0.5, 2.0}}, 1, BSCONIC_ELLIPSE},
      {{{4, 2, 0, 1.5}, {1, 1, 1.5, 2.0}}, 0, BSCONIC_ELLIPSE},
      {{{2, 2, 0, 0.3}, {2, 2, 0.3, 0.6}, {5, 1, 0.6, 2.5}, {3, 3, 2.5, 2.8}}, 2, BSCONIC_ELLIPSE},
      {{{2, 2, 0, 0.3}, {6, 6, 0.3, 2.8}, {2, 2, 2.8, 3.0}}, 1, BSCONIC_CIRCLE},
      {{{2, 2, 0, 170 * pi / 180}, {2, 2, 170 * pi / 180, 340 * pi / 180}}, 0, BSCONIC_CIRCLE},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE("curve of " + std::to_string(cs.arcs.size()) + " spans");
    std::vector<double> xy, w, knots = {0, 0, 0};
    for (size_t s = 0; s < cs.arcs.size(); ++s) {
      double wm;
      // Arcs of different conics meet where their end points are made to: each is shifted onto the last end.
      auto p = ellipse_arc(cs.arcs[s].A, cs.arcs[s].B, cs.arcs[s].t0, cs.arcs[s].t1, &wm);
      const double dx = s ? xy[xy.size() - 2] - p[0] : 0, dy = s ? xy.back() - p[1] : 0;
      for (size_t i = s ? 1 : 0; i < 3; ++i) xy.push_back(p[2 * i] + dx), xy.push_back(p[2 * i + 1] + dy);
      if (s == 0) w.push_back(1);
      w.push_back(wm);
      w.push_back(1);
      knots.push_back(s + 1.0), knots.push_back(s + 1.0);
    }
    knots.push_back(knots.back());
    if (!cs.weights.empty()) w = cs.weights;
    auto c = plane_segment(PlaneFrame(), xy, w);
    c->knots = knots;
    c->cv.knots = c->knots.data();
    c->cv.num_knots = static_cast<int>(knots.size());
    ASSERT_EQ(c->n() + 3, c->cv.num_knots);
    const ConicOut o = conic_of(c->cv);
    ASSERT_EQ(o.rc, cs.rc);
    if (cs.rc != 0) {
      EXPECT_TRUE(o.all_untouched());
      continue;
    }
    EXPECT_EQ(o.type, cs.type);
    const Arc &arc = cs.arcs[cs.longest];
    EXPECT_NEAR(o.a, std::max(arc.A, arc.B), 1e-12);
    if (o.type == BSCONIC_ELLIPSE) {
      EXPECT_NEAR(o.b, std::min(arc.A, arc.B), 1e-12);
    }
  }
}

TEST(ConicRecognition, RefusalsLeaveTheOutputsAlone) {
  const auto quarter = [](std::vector<double> w) {
    return plane_segment(PlaneFrame(), {kQuarter, kQuarter + 6}, std::move(w));
  };
  auto order4 = std::make_unique<TestCurve>(4, std::vector<double>{1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0},
                                            std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1});
  auto four = std::make_unique<TestCurve>(3, std::vector<double>{1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0},
                                          std::vector<double>{0, 0, 0, 0.5, 1, 1, 1});
  auto spatial = std::make_unique<TestCurve>(3, std::vector<double>{1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1},
                                             std::vector<double>{0, 0, 0, 1, 1, 2, 2, 2}, std::vector<double>{});
  auto nan_pole = quarter({1, 0.5, 1});
  nan_pole->poles[4] = std::nan("");
  auto inf_weight = quarter({1, 0.5, 1});
  inf_weight->weights[1] = INFINITY;
  auto opposite = quarter({1, 0.5, -1});
  auto zero_end = quarter({0, 0.5, 1});
  const struct {
    const char *what;
    const VOQbsp_curve *cv;
    int rc;
    std::vector<std::string> trace;  // innermost first
  } cases[] = {
      {"null curve", nullptr, 3, {"BSconicprp"}},
      {"order 4", &order4->cv, -2, {"BSconicprp"}},
      {"four poles", &four->cv, -2, {"BSconicprp"}},
      {"poles out of plane", &spatial->cv, -1, {"BSconicprp"}},
      {"NaN pole", &nan_pole->cv, -2, {"BSconicprp"}},
      {"infinite weight", &inf_weight->cv, -2, {"BSconicprp"}},
      {"end weights of opposite sign", &opposite->cv, 50,
       {"BSnormfrdg2_n", "BScan2conic_n", "BSbsp2conic_n", "BSconicprp"}},
      // A weighted pole with weight 0 is the origin: what is left is the straight line from P1 to P2.
      {"end weight 0", &zero_end->cv, -6, {"BSnorvec", "BScncbeznrm", "BSconicprp"}},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE(cs.what);
    ConicOut o;
    BStraceclear();
    BSconicprp(cs.cv, &o.type, o.Z, &o.a, &o.b, o.F1, o.F2, o.V1, o.V2, o.M1, o.M2, &o.rc);
    EXPECT_EQ(o.rc, cs.rc);
    EXPECT_TRUE(o.all_untouched());
    // The failing chain ends the trace (a callee may leave a record of a code it absorbed before it).
    const int count = BStracecount(), first = count - static_cast<int>(cs.trace.size());
    ASSERT_GE(first, 0);
    for (size_t i = 0; i < cs.trace.size(); ++i) {
      EXPECT_EQ(BStracetable()[first + i].name, cs.trace[i]);
      EXPECT_EQ(BStracetable()[first + i].rc, cs.rc);
    }
  }
  BStraceclear();
}

TEST(ConicRecognition, EveryAllocationOfTheRefinementMayFail) {
  // Two half circles of radius 2, each with its middle pole at infinity (weight 0, the record its direction
  // times the radius): planarity is undecided on the poles and takes the refinement path.
  auto c = plane_segment(PlaneFrame(), {2, 0, 0, 0, -2, 0, 0, 0, 2, 0}, {1, 0, 1, 0, 1});
  c->poles[4] = 2;
  c->poles[10] = -2;
  c->knots = {0, 0, 0, 1, 1, 2, 2, 2};
  c->cv.knots = c->knots.data();
  c->cv.num_knots = 8;
  const int scratch_before = BSscratchheapblocks();
  int failures = 0;
  for (int n = 1;; ++n) {
    BSallocfailat(n);
    const ConicOut o = conic_of(c->cv);
    const bool injected = BSallocfailpending() == 0;
    BSallocfailat(0);
    EXPECT_EQ(BSscratchheapblocks(), scratch_before);
    if (!injected) {
      ASSERT_EQ(o.rc, 0);
      EXPECT_EQ(o.type, BSCONIC_CIRCLE);
      EXPECT_NEAR(o.a, 2, 1e-13);
      break;
    }
    ++failures;
    EXPECT_EQ(o.rc, -13) << "allocation " << n;
    EXPECT_TRUE(o.all_untouched());
  }
  EXPECT_GE(failures, 4) << "knot values, multiplicities, refined knots and the refined record";
  BStraceclear();
}

TEST(ConicSegments, NormalFormAndPowerForm) {
  // Bezier to power form on [-1, 1] agrees with the Bernstein sum at t = (s + 1) / 2 for every degree.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> d(-3, 3);
  for (int deg = 0; deg <= 7; ++deg) {
    std::vector<double> bez(2 * (deg + 1)), pow(bez.size());
    for (double &x : bez) x = d(rng);
    BSbeztopow(2, deg, bez.data(), pow.data());
    for (double s : {-1.0, -0.3, 0.4, 1.0}) {
      const double t = (s + 1) / 2;
      for (int comp = 0; comp < 2; ++comp) {
        double bern = 0, power = 0;
        for (int i = 0; i <= deg; ++i) {
          bern += bez[comp * (deg + 1) + i] * std::tgamma(deg + 1.0) /
                  (std::tgamma(i + 1.0) * std::tgamma(deg - i + 1.0)) * std::pow(t, i) * std::pow(1 - t, deg - i);
          power += pow[comp * (deg + 1) + i] * std::pow(s, i);
        }
        EXPECT_NEAR(power, bern, 1e-12) << "degree " << deg;
      }
    }
  }
  // A sign change of the weight (end weights 1 and -1) or an end weight 0 has no normal form; nothing is written.
  const double sign_change[6] = {1, 2, 3, 0.25, -1, -0.25}, zero_end[6] = {1, 2, 3, 0.5, 0.5, 0};
  int rc = 0;
  for (const double *form : {sign_change, zero_end}) {
    double out[6] = {7, 7, 7, 7, 7, 7};
    BSnormfrdg2_n(2, form, out, &rc);
    EXPECT_EQ(rc, 50);
    EXPECT_EQ(out[4], 7.0);
  }
  double nan_form[12] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5};
  nan_form[1] = std::nan("");
  double Z[3] = {7, 7, 7}, A1[3], A2[3];
  BScan2conic_n(1, nan_form, Z, A1, A2, &rc);
  EXPECT_EQ(rc, 50);
  EXPECT_EQ(Z[0], 7.0);
  BScan2conic_n(0, nan_form, Z, A1, A2, &rc);
  EXPECT_EQ(rc, -2);
  BStraceclear();
}

TEST(ConicGenus, TableOfConfigurations) {
  // Tangent lines from A and B meet at K; M's barycentric coordinates in A, B, K decide.
  const double A[3] = {0, 0, 0}, B[3] = {4, 0, 0}, K[3] = {2, 2, 0}, up[3] = {0, 1, 0}, up_b[3] = {4, 3, 0},
               low[3] = {2, 0.5, 0}, mid[3] = {2, 1, 0}, high[3] = {2, 1.5, 0}, on_tangent[3] = {1, 1, 0},
               nan3[3] = {NAN, 0, 0};
  const struct {
    const char *what;
    const double *M, *TA, *TB;
    int genus, rc;
  } cases[] = {
      {"below the parabola's point", low, K, K, 8, 0},
      {"the parabola's point", mid, K, K, 6, 0},
      {"above it", high, K, K, 7, 0},
      {"parallel tangents", mid, up, up_b, 8, 0},
      {"parallel tangents, M on one", on_tangent, up, up_b, 8, 0},
      {"zero tangent", mid, A, K, 0, -2},
      {"M on a tangent line", on_tangent, K, K, 0, -2},
      {"M at the meeting point", K, K, K, 0, -2},
      {"NaN", nan3, K, K, 0, -2},
  };
  for (const auto &cs : cases) {
    int rc = 99;
    EXPECT_EQ(BSgenus(&rc, A, B, cs.M, cs.TA, cs.TB), cs.genus) << cs.what;
    EXPECT_EQ(rc, cs.rc) << cs.what;
  }
  BStraceclear();
}

// On random triangles A, K, B with a random middle weight, the point M of the curve makes BSgenus answer the type
// of the weight (1 parabola, above 1 hyperbola, below ellipse), as the segment's own recognition does.
TEST(ConicGenus, AgreesWithTheSegmentsType) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> d(-5, 5), wlow(0.2, 0.95), whigh(1.05, 5), td(0.05, 0.95);
  for (int trial = 0; trial < 300; ++trial) {
    double A[3], B[3], K[3];
    for (int k = 0; k < 3; ++k) A[k] = d(rng), B[k] = d(rng), K[k] = d(rng);
    double u[3], v[3], n[3];
    sub(A, K, u), sub(B, K, v), cross(u, v, n);
    const double nn = std::sqrt(dot(n, n));
    if (nn < 2) continue;
    for (double &x : n) x /= nn;
    const double w = trial % 3 == 0 ? 1.0 : trial % 3 == 1 ? wlow(rng) : whigh(rng);
    TestCurve c(3, {A[0], A[1], A[2], K[0], K[1], K[2], B[0], B[1], B[2]}, {0, 0, 0, 1, 1, 1}, {1, w, 1});
    double M[3], TA[3], TB[3];
    ref_point(c, td(rng), M);
    for (int k = 0; k < 3; ++k) TA[k] = 2 * A[k] - K[k], TB[k] = K[k];  // either way along the tangent
    int rc = 0, type = 0;
    double Z[3], a, b, F1[3], F2[3], V1[3], V2[3], M1[3], M2[3];
    const double one = 1;
    ASSERT_TRUE(BScncprop(&rc, n, A, K, B, &one, &w, &one, &type, Z, &a, &b, F1, F2, V1, V2, M1, M2));
    const int expected = w == 1 ? BSCONIC_PARABOLA : w > 1 ? BSCONIC_HYPERBOLA : BSCONIC_ELLIPSE;
    EXPECT_EQ(type == BSCONIC_CIRCLE ? BSCONIC_ELLIPSE : type, expected) << "trial " << trial;
    EXPECT_EQ(BSgenus(&rc, A, B, M, TA, TB), expected) << "trial " << trial << " weight " << w;
    EXPECT_EQ(rc, 0);
  }
}

}  // namespace
