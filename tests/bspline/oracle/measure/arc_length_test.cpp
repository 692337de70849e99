// Arc lengths beside SISL (s1240, whole curves), OpenCASCADE (GCPnts_AbscissaPoint, whole curves and parts),
// GSL's adaptive integration of the curve's speed (lengths of rational curves with uneven weights, and the
// parameter at a given length, root-found on GSL's lengths), and exact lengths.
#include <gtest/gtest.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>
#include <gsl/gsl_roots.h>

#include <GCPnts_AbscissaPoint.hxx>
#include <GeomAdaptor_Curve.hxx>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/measure_fixtures.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace {

double occt_length(const OcctCurve &oc, double a, double b) {
  GeomAdaptor_Curve ad(oc.cv);
  return GCPnts_AbscissaPoint::Length(ad, a, b, 1e-12);
}

// The speed of a test curve at u in span s (knots[s] <= u <= knots[s+1]) by the definition: the span's basis
// functions and their first derivatives by the Cox-de Boor triangle, and the quotient rule on the weighted poles.
// Neither the library's evaluators nor a peer's, and it takes knots of any multiplicity (a curve that breaks at
// k equal knots is measured span by span, as the library measures it).
double definition_speed(const TestCurve &c, int s, double u) {
  const int p = c.order() - 1;
  const double *t = c.knots.data();
  double left[16], right[16], ndu[16][16];
  ndu[0][0] = 1;
  for (int j = 1; j <= p; ++j) {
    left[j] = u - t[s + 1 - j];
    right[j] = t[s + j] - u;
    double saved = 0;
    for (int r = 0; r < j; ++r) {
      ndu[j][r] = right[r + 1] + left[j - r];  // knot differences below the diagonal
      const double temp = ndu[r][j - 1] / ndu[j][r];
      ndu[r][j] = saved + right[r + 1] * temp;
      saved = left[j - r] * temp;
    }
    ndu[j][j] = saved;
  }
  double A[3] = {0, 0, 0}, dA[3] = {0, 0, 0}, W = 0, dW = 0;
  for (int r = 0; r <= p; ++r) {
    const int i = s - p + r;
    double dN = 0;  // N_i' = p (N_i,p-1 / (t[i+p] - t[i]) - N_i+1,p-1 / (t[i+p+1] - t[i+1]))
    if (r >= 1) dN += ndu[r - 1][p - 1] / ndu[p][r - 1];
    if (r < p) dN -= ndu[r][p - 1] / ndu[p][r];
    dN *= p;
    const double w = c.weights.empty() ? 1.0 : c.weights[i];
    for (int k = 0; k < 3; ++k) {
      A[k] += ndu[r][p] * c.poles[3 * i + k];
      dA[k] += dN * c.poles[3 * i + k];
    }
    W += ndu[r][p] * w;
    dW += dN * w;
  }
  double s2 = 0;
  for (int k = 0; k < 3; ++k) s2 += std::pow((dA[k] * W - A[k] * dW) / (W * W), 2);
  return std::sqrt(s2);
}

// Lengths by GSL's adaptive Gauss-Kronrod integration (61 points) of the speed, span by span. On the curves below
// it comes within 2e-8 of their lengths (taken at 30 digits), where GSL's CQUAD was 4e-8 off, claiming 2e-10, and
// OpenCASCADE's own length up to 37% off.
class GslArc {
 public:
  explicit GslArc(const TestCurve &c) : c_(c), ws_(gsl_integration_workspace_alloc(5000)) {
    gsl_set_error_handler_off();
  }
  ~GslArc() { gsl_integration_workspace_free(ws_); }
  GslArc(const GslArc &) = delete;
  GslArc &operator=(const GslArc &) = delete;

  // The length between a and b (either order) inside the range.
  double length(double a, double b) {
    if (a > b) std::swap(a, b);
    double total = 0;
    for (int s = c_.order() - 1; s < c_.n(); ++s) {
      const double lo = std::max(a, c_.knots[s]), hi = std::min(b, c_.knots[s + 1]);
      if (hi > lo) total += span(s, lo, hi);
    }
    return total;
  }

  // The parameter at length dist from u0 towards `to` (an end of the range): the span where the running length
  // passes dist, then Brent's method on the length within it.
  double parameter(double u0, double to, double dist) {
    const int dir = to > u0 ? 1 : -1;
    const int k = c_.order(), n = c_.n();
    double at = u0, run = 0;
    for (int s = dir > 0 ? k - 1 : n - 1; s >= k - 1 && s < n; s += dir) {
      const double lo = std::max(std::min(u0, to), c_.knots[s]), hi = std::min(std::max(u0, to), c_.knots[s + 1]);
      if (!(hi > lo)) continue;
      const double part = span(s, lo, hi);
      if (run + part < dist) {
        run += part;
        at = dir > 0 ? hi : lo;
        continue;
      }
      struct Goal {
        GslArc *arc;
        int s;
        double from, want;
      } goal{this, s, at, dist - run};
      gsl_function f{[](double u, void *g) {
                       auto *q = static_cast<Goal *>(g);
                       return q->arc->span(q->s, std::min(q->from, u), std::max(q->from, u)) - q->want;
                     },
                     &goal};
      gsl_root_fsolver *solver = gsl_root_fsolver_alloc(gsl_root_fsolver_brent);
      gsl_root_fsolver_set(solver, &f, lo, hi);
      double u = (lo + hi) / 2;
      for (int i = 0; i < 200; ++i) {
        gsl_root_fsolver_iterate(solver);
        u = gsl_root_fsolver_root(solver);
        if (gsl_root_test_interval(gsl_root_fsolver_x_lower(solver), gsl_root_fsolver_x_upper(solver), 0, 1e-15) ==
            GSL_SUCCESS)
          break;
      }
      gsl_root_fsolver_free(solver);
      return u;
    }
    return to;
  }

 private:
  double span(int s, double lo, double hi) {
    struct At {
      const TestCurve *c;
      int s;
    } at{&c_, s};
    gsl_function f{[](double u, void *a) {
                     const auto *q = static_cast<const At *>(a);
                     return definition_speed(*q->c, q->s, u);
                   },
                   &at};
    double part = 0, err = 0;
    // A status of lost accuracy still leaves its best estimate, which on these curves is within 1e-8.
    gsl_integration_qag(&f, lo, hi, 1e-13, 1e-12, 5000, GSL_INTEG_GAUSS61, ws_, &part, &err);
    return part;
  }

  const TestCurve &c_;
  gsl_integration_workspace *ws_;
};

// A rational curve of the kind that squeezes stretches of itself into slivers of its parameter: orders 2 to 9,
// weights log-uniform over 1e-3 to 1e3 pole by pole, every third with an end pole below 0.01, interior knots
// repeated up to the order (k equal knots break the curve), in the unit cube (flat every other one), some small
// (1e-3) and some far out (1e5).
std::unique_ptr<TestCurve> uneven_curve(std::mt19937 &rng, int trial) {
  std::uniform_real_distribution<double> unit(0, 1), exponent(-3, 3), light(-3, -2);
  const int order = 2 + trial % 8, n = order + static_cast<int>(unit(rng) * 6);
  std::vector<double> knots(order, 0.0);
  while (static_cast<int>(knots.size()) < n) {
    const double t = unit(rng);
    const int m = 1 + static_cast<int>(unit(rng) * order);
    for (int j = 0; j < m && static_cast<int>(knots.size()) < n; ++j) knots.push_back(t);
  }
  std::sort(knots.begin() + order, knots.end());
  knots.insert(knots.end(), order, 1.0);
  const double scale = trial % 7 == 5 ? 1e-3 : 1, offset = trial % 11 == 3 ? 1e5 : 0;
  std::vector<double> poles, weights;
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) poles.push_back(offset + scale * (k == 2 && trial % 2 ? 0.0 : unit(rng)));
    weights.push_back(std::pow(10.0, exponent(rng)));
  }
  if (trial % 3 == 0) weights[unit(rng) < 0.5 ? 0 : n - 1] = std::pow(10.0, light(rng));
  return std::make_unique<TestCurve>(order, poles, knots, weights);
}

TEST(ArcLengthOracle, RandomCurvesAgreeWithSislAndOpenCascade) {
  TolScope accuracy(15, 1e-10);
  std::mt19937 rng(1240);
  for (int order = 2; order <= 9; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int clamped = 0; clamped <= 1; ++clamped) {
        auto c = random_curve(rng, order, order + 6, rational, clamped, clamped ? order - 1 : 1);
        int rc = 0;
        const double ours = arclength(c->cv, c->start(), c->end(), &rc);
        ASSERT_EQ(rc, 0);
        OcctCurve oc(*c);
        const double occt = occt_length(oc, c->start(), c->end());
        EXPECT_NEAR(ours, occt, 1e-11 * occt) << "OpenCASCADE, order " << order << " rational " << rational;
        if (clamped) {
          // s1240 measures a refined control polygon: at a resolution of 1e-8 it comes within about 1e-8 of the
          // length, relative, and a finer one costs it seconds per curve.
          SislCurve sc(*c);
          double sisl = 0;
          int stat = 0;
          s1240(sc.cv, 1e-8, &sisl, &stat);
          ASSERT_GE(stat, 0);
          EXPECT_NEAR(ours, sisl, 3e-8 * sisl) << "SISL, order " << order << " rational " << rational;
        }
        // Parts of it, against OpenCASCADE.
        std::uniform_real_distribution<double> ud(c->start(), c->end());
        for (int k = 0; k < 4; ++k) {
          const double a = ud(rng), b = ud(rng);
          const double part = arclength(c->cv, a, b, &rc);
          ASSERT_EQ(rc, 0);
          const double ref = occt_length(oc, std::min(a, b), std::max(a, b));
          EXPECT_NEAR(part, ref, 1e-11 * std::max(1.0, ref)) << "order " << order << " part " << k;
        }
      }
}

// Rational curves whose weights range over 1e-3 to 1e3: where the weight nearly vanishes beside the parameter
// range (between poles of heavy weight) the speed has a peak narrower than the nodes of any rule, and where it is
// small the speed's numerator as one polynomial drowns in its rounding; at orders 2 to 12, at clustered knots, far
// from the origin and small. Each length holds the absolute accuracy asked of it (the peer is good to 2e-8).
TEST(ArcLengthOracle, UnevenWeightsHoldTheAccuracyAgainstGsl) {
  std::mt19937 rng(1342);
  std::uniform_real_distribution<double> unit(0, 1), exponent(-3, 3);
  for (int trial = 0; trial < 160; ++trial) {
    const int order = 2 + trial % 11, n = order + trial % 4;
    const bool clustered = trial % 3 == 1;
    const double scale = trial % 5 == 2 ? 1e-3 : 1, offset = trial % 7 == 3 ? 1e5 : 0;
    std::vector<double> poles, weights, knots(order, 0.0);
    for (int i = order; i < n; ++i) knots.push_back(clustered ? 0.5 + 1e-5 * unit(rng) : unit(rng));
    std::sort(knots.begin() + order, knots.end());
    knots.insert(knots.end(), order, 1.0);
    for (int i = 0; i < n; ++i) {
      for (int k = 0; k < 3; ++k) poles.push_back(scale * (k == 2 && trial % 2 ? 0.0 : unit(rng)));
      weights.push_back(std::pow(10.0, exponent(rng)));
    }
    // The reference is taken near the origin, where the peer's speed carries no rounding of the offset.
    const double ref = GslArc(TestCurve(order, poles, knots, weights)).length(0, 1);
    for (double &x : poles) x += offset;
    TestCurve c(order, poles, knots, weights);
    for (double accuracy : {1e-3, 1e-6}) {
      TolScope entry15(15, accuracy);
      int rc = 0;
      const double ours = arclength(c.cv, 0, 1, &rc);
      ASSERT_EQ(rc, 0) << "trial " << trial << " at " << accuracy;
      EXPECT_NEAR(ours, ref, accuracy) << "trial " << trial << ", order " << order << " at " << accuracy;
    }
  }
}

// The parameter at a length, from a parameter inside the range or at an end, forwards and backwards, against the
// parameter where GSL's length reaches it: on curves of mild weights, and on 1,000 rational curves whose weights
// squeeze stretches of them into slivers of the parameter (the lengths up to points there came out as the length
// up to the range's end, which no parameter then reached). The length between the two parameters holds the search's
// tolerance, dist_tol, beside the accuracy asked of the lengths and the two ends each read within its own parameter
// tolerance (where the curve moves by dist_tol).
TEST(ArcLengthOracle, ParameterAtALengthAgreesWithGsl) {
  std::mt19937 rng(1241);
  std::uniform_real_distribution<double> unit(0, 1);
  int worse = 0;
  for (int trial = 0; trial < 1012 && worse < 10; ++trial) {
    const bool mild = trial < 12;
    auto c = mild ? random_curve(rng, 3 + trial % 4, 8 + trial % 4, trial % 2 == 1, true) : uneven_curve(rng, trial);
    const double first = c->start(), last = c->end();
    const double u0 = unit(rng) < 0.2 ? (unit(rng) < 0.5 ? first : last) : first + (last - first) * unit(rng);
    const double to = u0 == first || (u0 != last && unit(rng) < 0.5) ? last : first;
    GslArc gsl(*c);
    const double dist = (mild ? 0.4 : unit(rng)) * gsl.length(u0, to);
    const double accuracy = trial % 2 ? 1e-6 : 1e-9;
    TolScope entry15(15, accuracy);
    int rc = 0;
    double par = 0;
    BSiarcln(&rc, &c->cv, &u0, &dist, &to, &par);
    ASSERT_EQ(rc, 0) << "trial " << trial;
    const double theirs = gsl.parameter(u0, to, dist), apart = gsl.length(par, theirs);
    const bool ok = apart <= 3 * BStoltab[1] + accuracy + 1e-9 * dist;
    EXPECT_TRUE(ok) << "trial " << trial << ", order " << c->order() << ": from " << u0 << " towards " << to
                    << ", length " << dist << ": " << par << ", GSL " << theirs << ", " << apart << " apart";
    worse += !ok;
  }
}

TEST(ArcLengthOracle, ExactLengthsOfLinesAndCircularArcs) {
  TolScope accuracy(15, 1e-12);
  for (double sweep : {0.1, 1.0, M_PI / 2, 2.5, M_PI, 5.0, 2 * M_PI})
    for (int segments : {1, 2, 4, 7}) {
      if (sweep / segments >= M_PI) continue;  // one rational quadratic piece spans less than half a circle
      auto arc = circular_arc(3.25, -0.4, sweep, segments, 2, 1, -1);
      int rc = 0;
      EXPECT_NEAR(arclength(arc->cv, 0, segments, &rc), 3.25 * sweep, 1e-11) << sweep << " / " << segments;
      OcctCurve oc(*arc);
      EXPECT_NEAR(occt_length(oc, 0, segments), 3.25 * sweep, 1e-9);
    }
  std::mt19937 rng(1242);
  std::uniform_real_distribution<double> ud(-5, 5);
  for (int order = 2; order <= 6; ++order) {
    // Poles along a line in increasing order: the curve runs along it once.
    const double a[3] = {ud(rng), ud(rng), ud(rng)}, d[3] = {ud(rng), ud(rng), ud(rng)};
    std::vector<double> poles, knots;
    double t = 0;
    for (int i = 0; i < order + 3; ++i) {
      t += 0.2 + std::fabs(ud(rng));
      for (int k = 0; k < 3; ++k) poles.push_back(a[k] + t * d[k]);
    }
    for (int i = 0; i < order; ++i) knots.push_back(0);
    for (int i = 1; i <= 3; ++i) knots.push_back(i);
    for (int i = 0; i < order; ++i) knots.push_back(4);
    TestCurve line(order, poles, knots);
    const int n = line.n();
    const double exact = std::sqrt(std::pow(poles[3 * (n - 1)] - poles[0], 2) +
                                   std::pow(poles[3 * (n - 1) + 1] - poles[1], 2) +
                                   std::pow(poles[3 * (n - 1) + 2] - poles[2], 2));
    int rc = 0;
    EXPECT_NEAR(arclength(line.cv, 0, 4, &rc), exact, 1e-12 * exact) << order;
  }
}

}  // namespace
