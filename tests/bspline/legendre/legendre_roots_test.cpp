#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"
#include "tests/bspline/legendre_from_roots.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(LegendreRoots, Table) {
  const double s3 = 1 / std::sqrt(3.0), s35 = std::sqrt(0.6);
  // Triple roots at -0.4446 and 0.7588, double roots at 0.2866 and 0.6003, a simple one at -0.0385, and a triple
  // root at -0.94865 lifted 2.1e-13 off zero (slope 2.6e-12 there): within 1e-13 or less it crosses once, at
  // -0.94864802864491937 (bisection in long double), through a stretch where it stays within tol. The crossing
  // came back 1.2e-5 off, where the series is 26 tol off zero, and under 1e-14 not at all.
  const std::vector<double> lifted = {
      -0.080194833584130334, 0.52974862458715632,  0.035375099415950725, 0.33708020619811302,  0.89793314623681375,
      -0.20500572629480326,  1,                    0.24026507204845579,  0.19515962942385301,  0.6543423697420605,
      -0.09335520109243936,  0.35257757278211299,  0.18765935587086477,  -0.17752708027091502, 0.34780137144090878,
      -0.1634929393910301,   0.078069323086224454};
  // (t + 0.7)^2 (t + 0.2) (t - 0.8)^3 (t - 0.3 + s) (t - 0.3) (t - 0.3 - s), largest value on [-1, 1] near 1.
  const auto split_roots = [](double s) {
    return std::vector<double>{-0.7, -0.7, -0.2, 0.3 - s, 0.3, 0.3 + s, 0.8, 0.8, 0.8};
  };
  const auto split = [&](double s) {
    std::vector<double> c = legendre_from_roots(split_roots(s));
    double top = 0;
    for (int i = 0; i <= 200; ++i) {
      double v = 0;
      BSevalpolgd(9, c.data(), -1 + i / 100.0, &v);
      top = std::max(top, std::fabs(v));
    }
    for (double &x : c) x /= top;
    return c;
  };
  const std::vector<double> lifted_roots = {-0.94864802864491937, -0.4446035665517315,  -0.4446035665517315,
                                            -0.4446035665517315,  -0.038517408593863656, 0.28658153480089776,
                                            0.28658153480089776,  0.60027318114665862,  0.60027318114665862,
                                            0.75879527016804849,  0.75879527016804849,  0.75879527016804849};
  // Roots of multiplicity 11 and 12: of the ordinary multiple roots drawn to set the attempt budget, the one that
  // needs the most attempts, a fifth of the budget. Scaled to a largest coefficient of 1.
  std::vector<double> high_roots(11, -0.73778688148388727), high;
  high_roots.insert(high_roots.end(), 12, 0.76885379566823087);
  high = legendre_from_roots(high_roots);
  const double high_top = std::fabs(*std::max_element(high.begin(), high.end(), [](double a, double b) {
    return std::fabs(a) < std::fabs(b);
  }));
  for (double &x : high) x /= high_top;
  const struct {
    const char *what;
    std::vector<double> c;
    double tol;
    int rc, count;
    std::vector<double> roots;
    double within;  // 0: exactly
    int n = -2;     // -2: the degree of c
  } cases[] = {
      {"zero series", {0, 0, 0}, 1e-12, 0, -1, {}, 0},
      {"degree -1", {0}, 1e-12, 0, -1, {}, 0, -1},
      {"root outside", {2, 1}, 1e-12, 0, 0, {}, 0},
      {"P1", {0, 1}, 1e-12, 0, 1, {0}, 0},
      {"P2, ascending", {0, 0, 1}, 1e-12, 0, 2, {-s3, s3}, 1e-15},
      {"(t - 0.5)^2 from the near-double branch", {7.0 / 12, -1, 2.0 / 3}, 1e-12, 0, 2, {0.5, 0.5}, 1e-12},
      {"P3: the division point 0 once", {0, 0, 0, 1}, 1e-12, 0, 3, {-s35, 0, s35}, 1e-15},
      {"within tr of -1 snaps", {0.9999999999999, 1}, 1e-12, 0, 1, {-1}, 0},
      {"triple root by deflation", legendre_from_roots({0.3, 0.3, 0.3, -0.5}), 1e-12, 0, 4, {-0.5, 0.3, 0.3, 0.3},
       1e-12},
      {"double root at the end", legendre_from_roots({1, 1, -0.2}), 1e-12, 0, 3, {-0.2, 1, 1}, 1e-12},
      {"a root of multiplicity 24", legendre_from_roots(std::vector<double>(24, 0.3)), 1e-12, 0, 24,
       std::vector<double>(24, 0.3), 1e-9},
      {"P4 times 1e-274, whose pieces' discriminants would underflow", {0, 0, 0, 0, -3.7e-274, 0}, 0, 0, 4,
       {-0.8611363115940526, -0.3399810435848563, 0.3399810435848563, 0.8611363115940526}, 1e-12},
      {"NaN where the bound would exclude", {10, 0, kNaN}, 1e-12, -2, 0, {}, 0},
      {"negative tol", {0, 1}, -1, -2, 0, {}, 0},
      {"degree 321", std::vector<double>(322, 1.0), 1e-12, -2, 0, {}, 0},
      {"a triple root lifted off zero crosses once, under 1e-13", lifted, 1e-13, 0, 12, lifted_roots, 2e-6},
      {"a triple root lifted off zero crosses once, under 1e-14", lifted, 1e-14, 0, 12, lifted_roots, 2e-6},
      // A triple root at 0.3 split into three crossings 1.6e-4 apart, (t - r)^3 - s^2 (t - r), whose turns lie a
      // tenth of the tolerance off zero: each turn is no double root (the series is no parabola over its band),
      // and the three crossings stand, beside a double root and a triple one. Under half the tolerance, likewise.
      {"a triple root split a tenth of tol deep", split(1.5712e-4), 1e-12, 0, 9, split_roots(1.5712e-4), 2e-5},
      {"a triple root split half of tol deep", split(2.6866e-4), 1e-12, 0, 9, split_roots(2.6866e-4), 2e-5},
      // A triple root 1.04e-3 inside -1, within whose band the series reaches the end: the end, taken first as a
      // simple root, swallowed the triple root found in its band, and dividing out the end alone was refused.
      {"a triple root whose band reaches an end",
       {0.28246471177240096, 0.75590390091670601, 1, 0.98368994674744303, 0.78004702662774261, 0.50970448459876605,
        0.27407385252356403, 0.11916808128488512, 0.040426812347623013, 0.010033121056819945, 0.0016117735095939072,
        0.00012464217656556027},
       1e-12, 0, 7,
       {-0.99896236924645943, -0.99896236924645943, -0.99896236924645943, -0.16173066954479168, -0.15929624766560571,
        -0.062312981490648123, 0.22471648250464704},
       1e-8},
      {"multiplicities 11 and 12 within the attempt budget", high, 1e-12, 0, 23, high_roots, 1e-12},
  };
  for (const auto &cs : cases) {
    const int n = cs.n == -2 ? static_cast<int>(cs.c.size()) - 1 : cs.n;
    std::vector<double> roots(cs.c.size() + 1, 7.0);
    int count = 99, rc = 99;
    BSfndrtlgd1(n, cs.c.data(), cs.tol, &count, roots.data(), &rc);
    EXPECT_EQ(rc, cs.rc) << cs.what;
    ASSERT_EQ(count, cs.count) << cs.what;
    for (int i = 0; i < count; ++i) EXPECT_NEAR(roots[i], cs.roots[i], cs.within) << cs.what << " root " << i;
  }

  // A tolerance as wide as the coefficients: the multiple roots found within it are divided out, and what the
  // quotient then offers within the tolerance is kept only where the series itself is within it (at t = 1 it is
  // -272).
  const std::vector<double> wide = {-11.625, -11.625, -11.625, -11.625, -15,     -14.5,   -3.625,
                                    0,       0.625,   0,       -11.625, -11.625, -11.625, -11.625,
                                    -13.625, -11.625, -12.625, -11.625, -11.625, -11.625, -11.625,
                                    -12.625, -11.625, -11.625, -11.625, -11.625, -11.625, 8.625};
  std::vector<double> roots(wide.size(), 7.0);
  int count = 0, rc = 0;
  BSfndrtlgd1(27, wide.data(), 11.875, &count, roots.data(), &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_GT(count, 0);
  for (int i = 0; i < count; ++i) {
    double v = 0;
    BSevalpolgd(27, wide.data(), roots[i], &v);
    EXPECT_LE(std::fabs(v), 2 * 11.875) << roots[i];
  }
  // Degree 44 with tolerance 2: a near-triple root at -0.395 is divided out, and the quotient's coefficients cancel
  // so that its values stay far under 2 where the series crosses zero at 0.93, 0.955, 0.976 and 0.994 (it is -190
  // at t = 1). Searched with the series' tolerance, the quotient vanished there and the crossings were lost. The
  // second series, under tolerance 1.25, offers a triple root snapped to 0 where it is no multiple root: divided
  // out there, the quotient differs from the series by more than the tolerance and crosses elsewhere. In the third,
  // the half right of 0.572265625 snaps its crossing onto that division point, where the half on its left only
  // comes within the tolerance and reports nothing. In the fourth, two triple roots within tolerance 8.875, each
  // faithful on its own, divided out together carry what each leaves into the other's far side, and the quotient
  // lost the crossings above 0.77. Every clear change of sign must hold a root.
  const struct {
    std::vector<double> c;
    double tol;
  } crossings[] = {
      {{1.0, -0.5, -4.375, -4.375, 6.375, -7.75, 8.875, -1.1724546634323473e-25, -0.875, -11.5, 8.375, 8.375, 3.25,
        -9.75, -15.0, -15.0, -15.0, -15.0, -15.0, -7.625, 9.625, -15.0, -15.0, -15.0, -15.0, -14.125, -15.0, -15.0,
        -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, 8.875, -5.8727609312813546e-21, 4.375, 8.375, 8.375, 8.375, 8.375,
        8.375, 8.375, 8.375, 8.375},
       2.0},
      {{1.0, -0.5, -4.375, -4.375, 6.375, -7.75, 8.875, -1.1724546634323473e-25, -0.875, -11.5, 8.375, 8.375, 3.25,
        -9.75, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -7.625, 9.625, -15.0, -15.0, -15.0, -15.0, -14.125,
        -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, -15.0, 1.25, 1.25, 1.25, 1.25, 1.25, 1.25, 1.25, 1.25, 1.25},
       1.25},
      {{1.0, 0.5, 0.3333333333333333, 0.25, 0.2, 0.16666666666666666, 0.14285714285714285, 0.125, 0.11111116396366721,
        0.1, 0.09090909090909091, 0.08333333333333333, 0.07692307692307693, 0.07142857142857142, 0.06666666666666667,
        0.0625, 0.058823529411764705, 0.05555555555555555, 0.05263157894736842, 0.05, 0.047619047619047616,
        0.045454545454545456, 0.043478260869565216, 2.829327721e-314, -15.0, -15.0, -15.0, -2.875, -4.375, -4.375,
        5.625, -7.125, 0.04, 0.038461538461538464, -2.9546214356418107e-140, -7.125, 0.03571428571428571,
        0.034482758620689655, 0.03333333333333333, 0.03225806451612903, 0.03125, 0.030303030303030304,
        0.029411764705882353, 0.02857142857142857, 0.027777777777777776, 0.02702702702702703, 0.02631578947368421,
        0.02564102564102564, 0.025, 0.024390243902439025, 0.023809523809523808, 0.023255813953488372,
        0.022727272727272728, 0.022222222222222223, 0.021739130434782608, 0.02127659574468085, 0.020833333333333332,
        0.02040816326530612, 0.02, 0.0196078431372549, 0.019230769230769232, 0.018867924528301886,
        0.018518518518518517, 0.01818181818181818, 0.017857142857142856, 0.017543859649122806, 0.017241379310344827,
        0.01694915254237288, 0.016666666666666666, 0.01639344262295082, 0.016129032258064516, 0.015873015873015872,
        0.015625, 0.015384615384615385, 0.015151515151515152, 0.014925373134328358, 0.014705882352941176,
        0.014492753623188406, 0.014285714285714285, 0.014084507042253521, 0.013888888888888888, 0.0136986301369863,
        0.013513513513513514, -1.844196110252037e-254, -7.125, 0.013157894736842105, 0.012987012987012988,
        0.01282051282051282, 0.012658227848101266, 0.0125, 0.012345679012345678, 0.012195121951219513,
        0.012048192771084338, 0.011904761904761904, 0.011764705882352941, 0.011627906976744186, 0.011494252873563218,
        0.011363636363636364, 0.011235955056179775, 0.011111111111111112, 0.01098901098901099, 0.010869565217391304,
        0.010752688172043012, 0.010638297872340425, 0.010038034539473684, 0.010416666666666666, 0.010309278350515464,
        0.01020408163265306, 0.010101010101010102, 0.01, 0.009900990099009901, 0.00980392156862745,
        -5.828043759125046e-290, -7.125, 0.009615384615384616, 0.009523809523809525, 0.009433962264150943,
        0.009345794392523364, 0.009259259259259259, 0.009174311926605505, 0.00909090909090909, 0.009009009009009009,
        0.008928571428571428, 0.008849557522123894, 0.008771929824561403, 0.008695652173913044, 0.008620689655172414,
        0.008547008547008548},
       0.0084745762711864406},
      {{1, -0.5, 8.375, 8.375, 8.375, 8.375, 8.375, 8.375, 4.375, 8.375, 8.375, 8.375, 8.375, 8.375, 8.375, 2, -15,
        13.375, 9.875, -0.875, -11.5, 8.375, 8.375, 3.25, -9.75, -15, -15, -15, -15, -15, -7.625, 9.625, -15, -15,
        -14.125, -15, -15, -15, -15, -15, -15, -15, -15, -15, -15},
       8.875},
  };
  for (const auto &cs : crossings) {
    const int n = static_cast<int>(cs.c.size()) - 1;
    std::vector<double> troots(cs.c.size(), 7.0);
    BSfndrtlgd1(n, cs.c.data(), cs.tol, &count, troots.data(), &rc);
    ASSERT_EQ(rc, 0) << cs.tol;
    ASSERT_GE(count, 0) << cs.tol;
    double prev = 0;
    BSevalpolgd(n, cs.c.data(), -1, &prev);
    for (int s = 1; s <= 256; ++s) {
      const double a = -1 + (s - 1) / 128.0, b = -1 + s / 128.0;
      double v = 0;
      BSevalpolgd(n, cs.c.data(), b, &v);
      if (std::fabs(prev) > 16 * cs.tol && std::fabs(v) > 16 * cs.tol && (prev > 0) != (v > 0)) {
        EXPECT_TRUE(std::any_of(troots.begin(), troots.begin() + count, [&](double r) { return r >= a && r <= b; }))
            << "tolerance " << cs.tol << ": crossing in [" << a << ", " << b << "]";
      }
      prev = v;
    }
  }
}

// Series whose coefficients decay, so that each stays within 1e-15 to 1e-13 over a stretch with a cluster of
// roots and crosses cleanly elsewhere. Turns within tol in the stretch were each divided out as a double root until
// the degree was spent, and crossings elsewhere were lost under one tolerance between two that found them: 0.898289
// in the first under 1e-13, -0.60053, -0.54490 and 0.03669 in the second under 1e-13, -0.726288, -0.709824,
// 0.157012 and 0.176673 in the third under 1e-14; in the fourth, -0.83155, -0.72529 and -0.71909 under 1e-14, where
// a root of the quotient left after the divisions, far from any of the series', was carried by a Newton step across
// the interval and answered where the series is 2.3e-9. At ten tolerances from 1e-10 to 1e-15, those are answered,
// and so is every crossing where the series lies beyond ten times tol on both sides (samples 5e-5 apart, summed in
// long double), within its band about the crossing (bisection in long double), whatever the answer makes of the
// stretch; and no root is answered where the series is beyond 16 tol.
TEST(LegendreRoots, CleanCrossingsDoNotDependOnTheTolerance) {
  const std::vector<double> series[] = {
      {0.033275317050349598, 0.15780227740862926, 0.39817424840294463, 0.69627859309263673, 0.92673372471575177, 1,
       0.91475659554006772, 0.73675698232270281, 0.53713730843586438, 0.35979162546925009, 0.21951518152045379,
       0.11905093926018723, 0.055093762138331809, 0.020888135792747144, 0.0060815657286189852,
       0.0012605442584621173, 0.00015089294505710358},
      {0.24513757382981327, 0.67042438381760094, 0.93974698442905591, 1, 0.89777279972121449, 0.68405102556313868,
       0.45904656772651747, 0.26165481987147793, 0.13144866405533984, 0.053407701547495662, 0.018774052492528073,
       0.0044636191318745628, 0.00088814833777619228},
      {0.22865952842500825, 0.63449328269872529, 0.90497281893737636, 1, 0.93514506219894566, 0.7617813094414656,
       0.54841254196888778, 0.34888373153139807, 0.19631989397994204, 0.096337009908044474, 0.04097145190268222,
       0.014529863607518035, 0.004233844475213815, 0.00088775092776041036, 0.00012934593433989612},
      {-0.066737176763608144, -0.17453306024267218, -0.21494566517496169, -0.15703281019005816,
       -0.0018147077620943165, 0.23449436513347385, 0.50273082398330393, 0.75279785108437003, 0.92876148611778853, 1,
       0.95857767355439327, 0.82542118280288557, 0.63916389110698968, 0.44185709034487103, 0.27011413669142076,
       0.14269379757448011, 0.063537455740468096, 0.022586412420733989, 0.0058934326575548826,
       0.00092438740827904061},
      {0.27150480144722677, -0.55353694039337453, 0.23691748312972591, 0.46277761286770142, -0.94530469169758935,
       0.81499779799488214, -0.11633818995212539, -0.68998780218274169, 1, -0.67419184358603101,
       0.030856400154320965, 0.49561084159701835, -0.60088109214786534, 0.32152109705092669, 0.012157428178069063,
       -0.19927519960879655, 0.21071450546867479, -0.11459456024089527, 0.025046895963249362},
      {-0.19202755268258262, -0.58305560516626953, -1, -0.9246511565532628, -0.99989069227702909,
       -0.46006163877948497, -0.31714409235613411, 0.13196146953698559, 0.34518203629203686, 0.85251918196128318,
       0.68615775475638752, 0.81063712710308067, 0.59422627551610285, 0.54487441442544182, 0.36095916008187307,
       0.22493683485069135},
      {0.16207418535930196, 0.40536124511309413, 0.68631621456918768, 0.80885192001365291, 1, 0.97171397104869728,
       0.92432762058955864, 0.83490670895483854, 0.72014202252634796, 0.59949259495501483, 0.40566588195652681,
       0.27794550381523631, 0.18620989620988024, 0.11913440708578232, 0.060887557718524082, 0.013597936063148243},
      {0.15592515278327548, 0.45141552127125162, 0.7010546974212567, 0.88096046282206808, 0.98222033622148341, 1,
       0.94747174813823665, 0.83869582276180321, 0.69751475522741324, 0.54329593407916565, 0.39808450846668808,
       0.27080460368714038, 0.17111041400958218, 0.098198487512890661, 0.05009577312123533, 0.02152248659307128,
       0.0074332688092591985, 0.0014702767543422657},
  };
  const std::vector<double> named[] = {{0.8982893549645421},
                                       {-0.6005288650, -0.5449029217, 0.0366936268},
                                       {-0.726288, -0.709824, 0.157012, 0.176673},
                                       {-0.8315472410, -0.7252915638, -0.7190899975},
                                       {-0.9670436760, -0.0694298327, -0.0693764368, -0.0670707644},
                                       {-0.8415831716, -0.8411113934, -0.8396981889, -0.8368854105, -0.8365002826},
                                       {-0.3527705595, -0.3522236426, -0.3503448814, -0.3482383111},
                                       {-0.8422149811, -0.8399314306, -0.8316541542, -0.8284417816, -0.8275864124}};
  // The last four each hold a cluster of four or five roots 0.005 to 0.013 wide (and a triple root) whose bumps
  // clear 1e-14 by hundreds of times; under 3e-12 and above their clusters come within their bands, where the
  // answer may be anything the search tells or a refusal, and their values round to near 1e-14, where a triple
  // root splits into crossings no double tells: they are held from 1e-12 to 1e-14.
  const std::vector<double> ten = {1e-10, 3e-11, 1e-11, 3e-12, 1e-12, 3e-13, 1e-13, 3e-14, 1e-14, 1e-15};
  const std::vector<double> below = {1e-12, 3e-13, 1e-13, 3e-14, 1e-14};
  const auto value = [](const std::vector<double> &c, long double t) {
    long double p0 = 1, p1 = t, sum = c[0] + c[1] * t;
    for (std::size_t k = 2; k < c.size(); ++k) {
      const long double p2 = ((2 * k - 1) * t * p1 - (k - 1) * p0) / k;
      sum += c[k] * p2;
      p0 = p1, p1 = p2;
    }
    return sum;
  };
  constexpr int kSamples = 40000;
  for (std::size_t which = 0; which < std::size(series); ++which) {
    const std::vector<double> &c = series[which];
    const int n = static_cast<int>(c.size()) - 1;
    std::vector<long double> v(kSamples + 1);
    for (int k = 0; k <= kSamples; ++k) v[k] = value(c, -1 + 2.0L * k / kSamples);
    for (const double tol : which < 4 ? ten : below) {
      std::vector<double> roots(n);
      int count = 0, rc = 99;
      BSfndrtlgd1(n, c.data(), tol, &count, roots.data(), &rc);
      ASSERT_EQ(rc, 0) << "series " << which << " under " << tol;
      for (int i = 0; i < count; ++i)
        EXPECT_LE(std::fabs(value(c, roots[i])), 16 * tol) << "series " << which << " under " << tol << ": "
                                                           << roots[i];
      for (double x : named[which]) {
        const auto near = [x](double r) { return std::fabs(r - x) < 1e-6; };
        EXPECT_TRUE(std::any_of(roots.begin(), roots.begin() + count, near))
            << "series " << which << " under " << tol << ": " << x << " is not answered";
      }
      for (int k = 1; k <= kSamples; ++k) {
        if (!(std::fabs(v[k]) > 10 * tol && std::fabs(v[k - 1]) > 10 * tol && (v[k] > 0) != (v[k - 1] > 0))) continue;
        long double lo = -1 + 2.0L * (k - 1) / kSamples, hi = -1 + 2.0L * k / kSamples;
        for (int i = 0; i < 64; ++i) {
          const long double mid = (lo + hi) / 2;
          ((value(c, mid) > 0) == (v[k - 1] > 0) ? lo : hi) = mid;
        }
        const double at = static_cast<double>(lo);
        double slope = 0;
        BSevalgder(n, c.data(), 1, at, &slope, &rc);
        const double band = 2 * tol / std::fabs(slope) + 1e-15;
        EXPECT_TRUE(std::any_of(roots.begin(), roots.begin() + count,
                                [&](double r) { return std::fabs(r - at) <= band; }))
            << "series " << which << " under " << tol << ": the crossing at " << at << " is not answered";
      }
    }
  }
}

// The tables behind the halves: each half is the same polynomial, up to degree 320 and in the rows that low
// degrees reach.
// A tolerance far above the coefficients puts the whole interval within it: every level of derivatives holds
// multiple roots, and the search down them, retried at narrower tolerances level by level, once ran for minutes
// at degree 127. The roots cannot be isolated, and the call says so at once.
TEST(LegendreRoots, ClustersEverywhereAreRefusedWithinTheAttemptBudget) {
  const std::vector<double> c = {
      1, 0.5, 1e-300, -4.375, -4.375, -4.375, -4.375, -4.375, -4.375, 11.625, -7.125, 0.25, 0.20000000000000001,
      0.16666666666666666, 0.14285714285714285, 0.125, 0.11111116396366721, 0.10000000000000001,
      0.090909090909090912, 0.083333333333333329, 0.076923076923076927, 0.071428571428571425,
      0.066666666666666666, 0.0625, 0.058823529411764705, 0.055555555555555552, 0.052631578947368418,
      0.050000000000000003, 0.047619047619047616, 0.045454545454545456, 0.043478260869565216,
      2.8293277211223412e-314, -15, -15, -15, -2.875, -4.375, -4.375, 5.625, -7.125, 0.040000000000000001,
      0.038461538461538464, -2.9546214356418107e-140, -7.125, 0.035714285714285712, 0.034482758620689655,
      0.033333333333333333, 0.032258064516129031, 0.03125, 0.030303030303030304, 0.029411764705882353,
      0.028571428571428571, 0.027777777777777776, 0.027027027027027029, 0.026315789473684209,
      0.02564102564102564, 0.025000000000000001, 0.024390243902439025, 0.023809523809523808,
      0.023255813953488372, 0.022727272727272728, 0.022222222222222223, 0.021739130434782608,
      0.021276595744680851, 0.020833333333333332, 0.020408163265306121, 0.02, 0.019607843137254902,
      0.019230769230769232, 0.018867924528301886, 0.018518518518518517, 0.018181818181818181,
      0.017857142857142856, 0.017543859649122806, 0.017241379310344827, 0.016949152542372881,
      0.016666666666666666, 0.016393442622950821, 0.016129032258064516, 0.015873015873015872, 0.015625,
      0.015384615384615385, 0.015151515151515152, 0.014925373134328358, 0.014705882352941176,
      0.014492753623188406, 0.014285714285714285, 0.014084507042253521, 0.013888888888888888,
      0.013698630136986301, 0.013513513513513514, -1.8441961102520368e-254, -7.125, 0.013157894736842105,
      0.012987012987012988, 0.01282051282051282, 0.012658227848101266, 0.012500000000000001,
      0.012345679012345678, 0.012195121951219513, 0.012048192771084338, 0.011904761904761904,
      0.011764705882352941, 0.011627906976744186, 0.011494252873563218, 0.011363636363636364,
      0.011235955056179775, 0.011111111111111112, 0.01098901098901099, 3.9625663149763029e-306, -11.625,
      -11.625, -10.375, -11.625, -11.625, -11.625, -15, -14.5, -3.625, 0, 0.625, 12.125, 12.125, 12.125, 12.125,
      12.125, 12.125, 12.125};
  ASSERT_EQ(c.size(), 128u);
  std::vector<double> roots(127, -7);
  int count = -7, rc = 0;
  BSfndrtlgd1(127, c.data(), 12.125, &count, roots.data(), &rc);
  EXPECT_EQ(rc, BSRC_NOT_ISOLATED);
  EXPECT_EQ(count, 0);
  // The budget is per call: a plain series right after is answered in full.
  const double line[2] = {0.25, 1};
  BSfndrtlgd1(1, line, 1e-12, &count, roots.data(), &rc);
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(count, 1);
  EXPECT_NEAR(roots[0], -0.25, 1e-15);
}

TEST(LegendreRoots, HalfIntervalReexpansion) {
  std::mt19937 rng(41);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int n : {0, 1, 3, 7, 320}) {
    std::vector<double> c(n + 1), halves[2] = {c, c};
    for (double &x : c) x = u(rng);
    int rc = 99;
    BShlfcpolgd(n, c.data(), halves[0].data(), halves[1].data(), &rc);
    ASSERT_EQ(rc, 0);
    for (double s : {-1.0, -0.77, 0.0, 0.31, 1.0})
      for (int h = 0; h < 2; ++h) {
        double mine, want;
        BSevalpolgd(n, halves[h].data(), s, &mine);
        BSevalpolgd(n, c.data(), (s + 2 * h - 1) / 2, &want);
        EXPECT_NEAR(mine, want, 1e-14 * (n + 1)) << "degree " << n << " half " << h << " at " << s;
      }
  }
}

TEST(LegendreRoots, MinimumBound) {
  std::vector<double> deg160(161, 0.0);
  deg160[0] = -5;
  deg160[160] = 1;
  const struct {
    const char *what;
    std::vector<double> c;
    double min;
    int rc;
    double within;
  } cases[] = {
      {"2 + t, the cheap bound", {2, 1}, 1, 0, 0},
      {"0.1 + t", {0.1, 1}, -0.9, -12, 1e-15},
      {"-2 + 0.1t is not positive", {-2, 0.1}, -2.1, -12, 1e-15},
      {"zero series", {0, 0}, 0, -12, 0},
      {"1 + 0.9 P2: the interior minimum less the margin", {1, 0, 0.9}, 0.549, 0, 1e-12},
      {"t^2 touches 0", {1.0 / 3, 0, 2.0 / 3}, -1.0 / 3000, -12, 1e-12},
      {"degree 160 far below", deg160, -5.4, -1, 0.01},
      {"NaN", {1, kNaN}, 7, -2, 0},
  };
  for (const auto &cs : cases) {
    double min = 7;
    int rc = 99;
    BSminpollgd(static_cast<int>(cs.c.size()) - 1, cs.c.data(), &min, &rc);
    EXPECT_EQ(rc, cs.rc) << cs.what;
    EXPECT_NEAR(min, cs.min, cs.within) << cs.what;
  }
}

double de_casteljau(const std::vector<double> &b, double u) {
  std::vector<double> w = b;
  for (std::size_t p = w.size() - 1; p >= 1; --p)
    for (std::size_t j = 0; j < p; ++j) w[j] = (1 - u) * w[j] + u * w[j + 1];
  return w[0];
}

TEST(LegendreRoots, BezierPolynomials) {
  // The Legendre form holds at every degree (to the rounding of 2n+1 fitted coefficients); through the power
  // basis degree 40 would lose every digit.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int n : {3, 40, 319}) {
    std::vector<double> b(n + 1), lgd(n + 1);
    for (double &x : b) x = u(rng);
    int rc = 99;
    BSbeztlgd(n, b.data(), lgd.data(), &rc);
    ASSERT_EQ(rc, 0);
    for (int i = 0; i <= 50; ++i) {
      double v;
      BSevalpolgd(n, lgd.data(), 2 * (i / 50.0) - 1, &v);
      EXPECT_NEAR(v, de_casteljau(b, i / 50.0), 1e-15 * (n + 1) * (n + 1)) << "degree " << n << " at " << i / 50.0;
    }
  }

  const struct {
    const char *what;
    std::vector<double> b;
    double range[2];
    int rc, count;
    std::vector<double> roots;
  } cases[] = {
      {"(-1, 1) on [2, 4]", {-1, 1}, {2, 4}, 0, 1, {3}},
      {"a root at u = 0 lands on the range start", {0, 1, 3}, {0.1, 0.7}, 0, 1, {0.1}},
      {"double root", {1, -1, 1}, {0, 1}, 0, 2, {0.5, 0.5}},
      {"vanishing: count -1, nothing written", {0, 0, 0}, {0, 1}, 0, -1, {}},
      {"NaN range", {-1, 1}, {0, kNaN}, -2, 0, {}},
  };
  for (const auto &cs : cases) {
    std::vector<double> roots(cs.b.size(), 7.0);
    int count = 99, rc = 99;
    BSbzur1pls(static_cast<int>(cs.b.size()) - 1, cs.b.data(), cs.range, 1e-12, &count, roots.data(), &rc);
    EXPECT_EQ(rc, cs.rc) << cs.what;
    ASSERT_EQ(count, cs.count) << cs.what;
    for (int i = 0; i < count; ++i) EXPECT_EQ(roots[i], cs.roots[i]) << cs.what;
    EXPECT_TRUE(count > 0 || roots[0] == 7.0) << cs.what;
  }
}

// Every heap request of the multiple-root path (roots of c'' and c', the division, the quotient's search) fails
// once in turn, up to the first the call no longer makes: rc 33, nothing left allocated; the same call afterwards
// still finds the roots.
TEST(LegendreRoots, AllocationFailures) {
  const std::vector<double> c = legendre_from_roots({0.3, 0.3, 0.3, -0.5, -0.1, -0.1, 0.8});
  bool consumed = true;
  int k = 1;
  for (; consumed && k < 1000; ++k) {
    std::vector<double> roots(7);
    int count = 0, rc = 99;
    BSallocfailat(k);
    BSfndrtlgd1(7, c.data(), 1e-12, &count, roots.data(), &rc);
    consumed = BSallocfailpending() == 0;
    BSallocfailat(0);
    EXPECT_EQ(rc, consumed ? 33 : 0) << "request " << k;
    EXPECT_EQ(count, consumed ? 0 : 7) << "request " << k;
    EXPECT_EQ(BSscratchheapblocks(), 0) << "request " << k;
  }
  EXPECT_FALSE(consumed);
}

}  // namespace
