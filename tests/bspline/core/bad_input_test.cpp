// NaN, infinities and negative distances handed to the routines that take a curve parameter, a distance or a
// tolerance, or that read every pole or coefficient: each refuses with rc -2, leaves its own name last on the
// trace and hands out nothing (a one-span curve once answered rc 0 with NaN knots and poles).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A clamped cubic of three spans, a one-span cubic, their rational forms, and a closed unclamped cubic.
std::unique_ptr<TestCurve> cubic(bool rational = false) {
  return std::make_unique<TestCurve>(
      4, std::vector<double>{0, 0, 0, 1, 2, 0, 3, 2, 1, 4, 0, 1, 6, 1, 0, 7, 3, 2},
      std::vector<double>{0, 0, 0, 0, 1, 2, 3, 3, 3, 3},
      rational ? std::vector<double>{1, 0.8, 1.3, 0.9, 1.1, 1} : std::vector<double>{});
}
std::unique_ptr<TestCurve> one_span() {
  return std::make_unique<TestCurve>(4, std::vector<double>{0, 0, 0, 1, 2, 0, 3, 2, 1, 4, 0, 1},
                                     std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1});
}
std::unique_ptr<TestCurve> closed_loop() {
  const double P[5][3] = {{0, 0, 0}, {3, -1, 0}, {4, 2, 1}, {1, 4, 0}, {-1, 2, 0}};
  std::vector<double> poles;
  for (int i = 0; i < 8; ++i) poles.insert(poles.end(), P[i % 5], P[i % 5] + 3);
  auto c = std::make_unique<TestCurve>(4, poles, std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  c->cv.phy_closed = 1;
  return c;
}
// The same curve with coordinate c of pole i replaced.
std::unique_ptr<TestCurve> spoiled(std::unique_ptr<TestCurve> c, int i, double bad) {
  c->poles[3 * i + 1] = bad;
  return c;
}

struct Case {
  const char *routine;  // the name the refusal leaves last on the trace
  const char *input;    // which input carries the bad value
  bool negative;        // a negative value is refused too (a distance or tolerance no Part gives a meaning)
  std::function<int(double)> call;  // the routine with the bad value in place; answers rc
};

// Releases what a routine allocated into *out.
int released(int rc, VOQbsp_curve *out) {
  int ignored = 0;
  if (out) BSfreevoqcv(out, &ignored);
  return rc;
}

// Routines that several rows call with one value spoiled; each answers rc.
int arclen(TestCurve &c, double a, double b, double through) {
  int rc = 0;
  BSboolean status = BSTRUE;
  double len = 0;
  BSarclen(&rc, &status, &c.cv, &a, &b, &through, &len);
  return rc;
}
int iarcln(TestCurve &c, double start, double dist, double dir) {
  int rc = 0;
  double par = 0;
  BSiarcln(&rc, &c.cv, &start, &dist, &dir, &par);
  return rc;
}
int iarcln2(TestCurve &c, double total, double start, double dist, double end) {
  int rc = 0;
  double par = 0;
  BSiarcln2(&rc, &c.cv, &total, &start, &dist, &end, &par);
  return rc;
}
// The array evaluators on a cubic at {0.5, u}: which 0 BScvarreval, 1 BScvarrev0, 2 BScvarrev0w, 3 BScvarrevt
// (dist), 4 BScvarrevc (maxlen).
int arrays(double u, int which, double extra = 1.0) {
  auto c = cubic();
  const double params[2] = {0.5, u};
  double out[12], curvature[2], radius[2];
  int rc = 0;
  switch (which) {
    case 0: BScvarreval(&rc, &c->cv, params, 2, 1, out); break;
    case 1: BScvarrev0(&rc, &c->cv, params, 2, out); break;
    case 2: BScvarrev0w(&c->cv, 2, params, out, &rc); break;
    case 3: BScvarrevt(&c->cv, params, 2, extra, out, &rc); break;
    default: BScvarrevc(&c->cv, 2, params, extra, curvature, radius, out, &rc); break;
  }
  return rc;
}
// The point and derivatives (nder 1 or 2) of span 4 of a cubic at u.
int span_values(double u, int nder) {
  auto c = cubic();
  int rc = 0;
  double out[9];
  if (nder == 1)
    BScveval1(&rc, 4, c->cv.poles, nullptr, c->cv.knots, 4, u, out);
  else
    BScveval2(&rc, 4, c->cv.poles, nullptr, c->cv.knots, 4, u, out);
  return rc;
}
// A quadratic Bezier function on [0, b] at 0.5 and u.
int bezier_values(double u, double b) {
  const double coef[3] = {1, 2, 0}, interval[2] = {0, b}, params[2] = {0.5, u};
  double out[2];
  int rc = 0;
  BSevlcvbez1(1, 2, coef, 2, params, interval, out, &rc);
  return rc;
}
int add_1kt_tot(const TestCurve &c, double u) {
  int rc = 0;
  VOQbsp_curve *out = nullptr;
  BSadd_1kt_tot(&c.cv, u, 2, BSFALSE, &out, &rc);
  return released(rc, out);
}
int add_1kt_mul(const TestCurve &c, double u) {
  int rc = 0;
  VOQbsp_curve *out = nullptr;
  BSadd_1kt_mul(&c.cv, u, 1, BSFALSE, &out, &rc);
  return released(rc, out);
}
int activsplt(const TestCurve &c, double u1, double u2) {
  RoomCurve out(c.n(), c.order(), false);
  int rc = 0;
  const BSboolean no = BSFALSE;
  BSactivsplt(&rc, &c.cv, &u1, &u2, &out.cv, &no);
  return rc;
}
int clcvshffl(const TestCurve &c, double u) {
  RoomCurve out(c.n() + c.order(), c.order(), false);
  int rc = 0;
  const BSboolean same = BSTRUE;
  BSclcvshffl(&rc, &c.cv, &u, &same, &out.cv);
  return rc;
}

const std::vector<Case> &cases() {
  static const std::vector<Case> table = {
      // Knot spans, basis functions, evaluation.
      {"BSfndspan", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0, n = c->n(), s = -1;
         BSfndspan(&rc, &c->cv, &n, c->cv.knots, &u, &s);
         return rc;
       }},
      {"BSfndknotiv", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0, index = 0;
         BSfndknotiv(4, c->n(), c->cv.knots, u, &index, &rc);
         return rc;
       }},
      {"BSmansf0", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0;
         double N[4];
         BSmansf0(&rc, 4, c->cv.knots, 4, u, N);
         return rc;
       }},
      {"BSmansf1", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0;
         double N[4], D[4];
         BSmansf1(&rc, 4, c->cv.knots, 4, u, N, D);
         return rc;
       }},
      {"BSmansf2", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0;
         double N[4], D[4], E[4];
         BSmansf2(&rc, 4, c->cv.knots, 4, u, N, D, E);
         return rc;
       }},
      {"BSmansfn", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0;
         double ders[16];
         BSmansfn(&rc, 4, c->cv.knots, 4, u, 3, ders);
         return rc;
       }},
      {"BScveval_n", "parameter of a one-span curve", false, [](double u) {
         auto c = one_span();
         int rc = 0;
         double out[3];
         BScveval_n(&c->cv, u, 0, out, &rc);
         return rc;
       }},
      {"BScveval_n", "parameter, derivatives", false, [](double u) {
         auto c = cubic(true);
         int rc = 0;
         double out[12];
         BScveval_n(&c->cv, u, 3, out, &rc);
         return rc;
       }},
      {"BScveval1", "parameter", false, [](double u) { return span_values(u, 1); }},
      {"BScveval2", "parameter", false, [](double u) { return span_values(u, 2); }},
      {"BScvevaln0", "parameter", false, [](double u) {
         auto c = cubic();
         std::vector<double> blocks(18);
         for (int i = 0; i < 6; ++i)
           for (int k = 0; k < 3; ++k) blocks[k * 6 + i] = c->poles[3 * i + k];
         int rc = 0;
         double out[3];
         BScvevaln0(3, 6, 3, blocks.data(), c->cv.knots, u, -1, out, &rc);
         return rc;
       }},
      {"BScvevaln", "parameter", false, [](double u) {
         auto c = cubic();
         std::vector<double> blocks(18, 1.0);
         int rc = 0;
         double out[6];
         BScvevaln(3, 6, 3, blocks.data(), c->cv.knots, u, -1, 1, out, &rc);
         return rc;
       }},
      {"BSevalbsp", "parameter", false, [](double u) {
         auto c = cubic();
         std::vector<double> blocks(24, 1.0);
         int rc = 0;
         double out[6];
         BSevalbsp(3, 6, 3, 1, blocks.data(), c->cv.knots, u, 1, out, &rc);
         return rc;
       }},
      {"BScveval_b", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0, nder = 2;
         BSboolean two = BSFALSE;
         double left[9], right[9];
         BScveval_b(&rc, &c->cv, &u, &nder, nullptr, &two, left, right);
         return rc;
       }},
      {"BSbspl", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0, span = 4, nder = 1;
         const BSboolean rational = 0;
         double out[8];
         BSbspl(&rc, c->cv.poles, nullptr, c->cv.knots, &c->cv.order, &rational, &span, &nder, &u, out);
         return rc;
       }},
      {"BSrspl", "derivative order 16", false, [](double) {
         std::vector<double> rows(17 * 4, 1.0);
         int rc = 0, nder = 16;
         BSrspl(&rc, &nder, nullptr, rows.data());
         return rc;
       }},
      // Evaluation over parameter arrays, Bezier and polar forms, normals, node values.
      {"BScvarreval", "parameter", false, [](double u) { return arrays(u, 0); }},
      {"BScvarrev0", "parameter", false, [](double u) { return arrays(u, 1); }},
      {"BScvarrev0w", "parameter", false, [](double u) { return arrays(u, 2); }},
      {"BScvarrevt", "parameter", false, [](double u) { return arrays(u, 3); }},
      {"BScvarrevt", "distance", false, [](double d) { return arrays(1.5, 3, d); }},
      {"BScvarrevc", "parameter", false, [](double u) { return arrays(u, 4); }},
      {"BScvarrevc", "marker length", true, [](double d) { return arrays(1.5, 4, d); }},
      {"BSdcastelj", "parameter", false, [](double u) {
         auto c = one_span();
         double points[BSDCAST_SIZE][BSDCAST_SIZE][3], weights[BSDCAST_SIZE][BSDCAST_SIZE];
         int rc = 0;
         BSdcastelj(&rc, &c->cv, &u, points, weights);
         return rc;
       }},
      {"BSevlcvbez1", "parameter", false, [](double u) { return bezier_values(u, 1); }},
      {"BSevlcvbez1", "interval end", false, [](double b) { return bezier_values(0.5, b); }},
      {"BScvevpgbnd", "polar argument", false, [](double x) {
         auto c = cubic();
         const double args[3] = {1.2, x, 1.7};
         double out[3];
         int rc = 0;
         BScvevpgbnd(3, 4, c->cv.poles, c->cv.knots, args, 4, out, &rc);
         return rc;
       }},
      {"BSprncp_nor", "parameter", false, [](double u) {
         auto c = cubic();
         double left[3], right[3];
         BSboolean two = BSFALSE;
         int rc = 0;
         BSprncp_nor(&rc, &c->cv, &u, left, right, &two);
         return rc;
       }},
      {"BSclamppar", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0;
         const double given = u;
         BSclamppar(c->cv.knots, 4, 6, &u, &rc);
         return std::isnan(given) == std::isnan(u) && (std::isnan(u) || u == given) ? rc : 1000;
       }},
      {"BSfndspnarr", "parameter", false, [](double u) {
         auto c = cubic();
         const double params[2] = {0.5, u};
         int spans[2], rc = 0;
         BSfndspnarr(4, 6, 2, params, c->cv.knots, spans, &rc);
         return rc;
       }},
      {"BSnodvalrg", "offset", false, [](double offset) {
         auto c = cubic();
         const double range[2] = {0.5, 2.5};
         double nodes[40];
         int count = 0, rc = 0;
         BSnodvalrg(4, BSFALSE, 10, c->cv.knots, 1, offset, BSTRUE, range, &count, nodes, &rc);
         return rc;
       }},
      {"BSlocknttol", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0;
         double tol = 0;
         BSlocknttol(&c->cv, u, 1e-6, &tol, &rc);
         return rc;
       }},
      {"BSlocknttol", "distance", true, [](double d) {
         auto c = cubic();
         int rc = 0;
         double tol = 0;
         BSlocknttol(&c->cv, 1.5, d, &tol, &rc);
         return rc;
       }},
      // Knot insertion and splitting.
      {"BSadd_1kt_tot", "parameter of a one-span curve", false, [](double u) { return add_1kt_tot(*one_span(), u); }},
      {"BSadd_1kt_tot", "pole", false, [](double bad) { return add_1kt_tot(*spoiled(cubic(), 2, bad), 1.5); }},
      {"BSadd_1kt_mul", "parameter", false, [](double u) { return add_1kt_mul(*cubic(), u); }},
      {"BSadd_1kt_mul", "pole", false, [](double bad) { return add_1kt_mul(*spoiled(cubic(), 0, bad), 1.5); }},
      {"BSadd_kts", "new knot", false, [](double bad) {
         auto c = cubic();
         std::vector<double> knots = {0, 0, 0, 0, 1, bad, 2, 3, 3, 3, 3};
         RoomCurve out(7, 4, false);
         int rc = 0;
         BSadd_kts(&c->cv, 7, knots.data(), &out.cv, &rc);
         return rc;
       }},
      {"BSadd_kts", "pole", false, [](double bad) {
         auto c = spoiled(cubic(), 3, bad);
         std::vector<double> knots = {0, 0, 0, 0, 1, 1.5, 2, 3, 3, 3, 3};
         RoomCurve out(7, 4, false);
         int rc = 0;
         BSadd_kts(&c->cv, 7, knots.data(), &out.cv, &rc);
         return rc;
       }},
      {"BSinsertmkt", "inserted knot", false, [](double bad) {
         auto c = cubic();
         std::vector<double> blocks(18, 1.0), out_poles(21), out_knots(11);
         const double ins[1] = {bad};
         int rc = 0;
         BSinsertmkt(4, 3, 6, blocks.data(), c->cv.knots, 1, ins, out_poles.data(), out_knots.data(), &rc);
         return rc;
       }},
      {"BSadd_ekt", "parameter", false, [](double u) {
         auto c = closed_loop();
         int rc = 0, j = 0;
         BSadd_ekt(&rc, &c->cv, &u, &j);
         return rc;
       }},
      {"BScvsplit", "parameter of a one-span curve", false, [](double u) {
         auto c = one_span();
         RoomCurve left(4, 4, false), right(4, 4, false);
         int rc = 0;
         const BSboolean no = BSFALSE;
         BScvsplit(&rc, &c->cv, &u, &left.cv, &right.cv, &no);
         return rc;
       }},
      {"BScvsplit", "pole", false, [](double bad) {
         auto c = spoiled(cubic(), 5, bad);
         RoomCurve left(6, 4, false), right(6, 4, false);
         int rc = 0;
         const BSboolean no = BSFALSE;
         const double u = 1.5;
         BScvsplit(&rc, &c->cv, &u, &left.cv, &right.cv, &no);
         return rc;
       }},
      {"BSactivsplt", "first parameter", false, [](double u) { return activsplt(*cubic(), u, 2.5); }},
      {"BSactivsplt", "second parameter", false, [](double u) { return activsplt(*cubic(), 0.5, u); }},
      {"BSfindmkts", "tolerance", true, [](double tol) {
         auto c = cubic();
         const std::int16_t order = 4;
         const int n = 6;
         int rc = 0, count = 0, idx[10];
         double params[10];
         BSfindmkts(&rc, &order, &n, c->cv.knots, &tol, &count, params, idx);
         return rc;
       }},
      // Degree raising, restarting closed curves.
      {"BSupthedeg", "pole", false, [](double bad) {
         auto c = spoiled(cubic(true), 1, bad);
         int rc = 0;
         VOQbsp_curve *out = nullptr;
         BSupthedeg(&c->cv, 5, BSFALSE, &out, &rc);
         return released(rc, out);
       }},
      {"BSclcvshffl", "parameter", false, [](double u) { return clcvshffl(*closed_loop(), u); }},
      {"BSclcvshffl", "pole", false, [](double bad) { return clcvshffl(*spoiled(closed_loop(), 4, bad), 5.5); }},
      {"BScv_shffl", "parameter", false, [](double u) {
         auto c = cubic();
         RoomCurve out(6, 4, false);
         int rc = 0;
         const BSboolean same = BSTRUE;
         BScv_shffl(&rc, &c->cv, &u, &same, &out.cv);
         return rc;
       }},
      // Arc length and the parameter at a length.
      {"BSarclen", "first parameter", false, [](double u) { return arclen(*cubic(), u, 2, 1); }},
      {"BSarclen", "second parameter", false, [](double u) { return arclen(*cubic(), 1, u, 1); }},
      {"BSarclen", "parameter the arc runs through", false,
       [](double u) { return arclen(*closed_loop(), 4, 6, u); }},
      {"BSarclen", "pole", false, [](double bad) { return arclen(*spoiled(cubic(), 1, bad), 0.5, 2.5, 1); }},
      {"BSarclength", "parameter", false, [](double u) {
         auto c = cubic();
         int rc = 0;
         double len = 0;
         const double b = 2;
         BSarclength(&rc, &c->cv, &u, &b, &len);
         return rc;
       }},
      {"BSarclg3ds", "tolerance", true, [](double tol) {
         auto c = cubic();
         int rc = 0;
         double len = 0;
         BSarclg3ds(&c->cv, tol, &len, &rc);
         return rc;
       }},
      {"BSarclg3ds", "pole", false, [](double bad) {
         auto c = spoiled(cubic(), 4, bad);
         int rc = 0;
         double len = 0;
         BSarclg3ds(&c->cv, 1e-6, &len, &rc);
         return rc;
       }},
      {"BSarclg4ds", "weight", false, [](double bad) {
         auto c = cubic(true);
         c->weights[2] = bad;
         int rc = 0;
         double len = 0;
         BSarclg4ds(&c->cv, 1e-6, &len, &rc);
         return rc;
       }},
      {"BSspnlen3", "tolerance", true, [](double tol) {
         const double coef[6] = {0, 1, 0.5, 0, 2, -1};
         int rc = 0;
         double len = 0;
         BSspnlen3(2, 2, coef, tol, &len, &rc);
         return rc;
       }},
      {"BSintsqrtpw", "tolerance", true, [](double tol) {
         const double N[3] = {1, 0.5, 2}, W[2] = {1, 0.1};
         int rc = 0;
         double len = 0;
         BSintsqrtpw(2, N, 1, W, tol, 0, &len, &rc);
         return rc;
       }},
      {"BSiarcln", "start parameter", false, [](double u) { return iarcln(*cubic(), u, 1, 3); }},
      {"BSiarcln", "distance", true, [](double dist) { return iarcln(*cubic(), 0.5, dist, 3); }},
      {"BSiarcln", "direction parameter", false, [](double dir) { return iarcln(*cubic(), 0.5, 1, dir); }},
      {"BSiarcln", "pole", false, [](double bad) { return iarcln(*spoiled(cubic(), 2, bad), 0.5, 1, 3); }},
      {"BSiarcln2", "length to the end", true,
       [](double total) { return iarcln2(*closed_loop(), total, 4, 30, 8); }},
      {"BSiarcln2", "distance", true, [](double dist) { return iarcln2(*cubic(), 5, 0.5, dist, 3); }},
      {"BSiarcln2", "end parameter", false, [](double end) { return iarcln2(*cubic(), 5, 0.5, 1, end); }},
      // Point-set shape, planarity, polynomial roots, singular values and eigen-analysis.
      {"BSgmprppts3", "tolerance", true, [](double tol) {
         auto c = cubic();
         int rc = 0, shape = 0;
         double centroid[3], vec[3];
         BSgmprppts3(6, c->cv.poles, tol, &shape, centroid, vec, &rc);
         return rc;
       }},
      {"BSgmprppts3", "point", false, [](double bad) {
         auto c = spoiled(cubic(), 3, bad);
         int rc = 0, shape = 0;
         double centroid[3], vec[3];
         BSgmprppts3(6, c->cv.poles, 1e-6, &shape, centroid, vec, &rc);
         return rc;
       }},
      {"BSlsqptlnpl", "point", false, [](double bad) {
         auto c = spoiled(cubic(), 0, bad);
         int rc = 0, type = 0;
         double point[3], vec[3], dev = 0;
         BSlsqptlnpl(6, c->cv.poles, nullptr, BSFIT_PLANE, &type, point, vec, &dev, &rc);
         return rc;
       }},
      {"BSlsqptlnpl", "weight", false, [](double bad) {
         auto c = cubic(true);
         c->weights[4] = bad;
         int rc = 0, type = 0;
         double point[3], vec[3], dev = 0;
         BSlsqptlnpl(6, c->cv.poles, c->cv.weights, BSFIT_LINE, &type, point, vec, &dev, &rc);
         return rc;
       }},
      {"BSsrtptslnv", "point", false, [](double bad) {
         auto c = spoiled(cubic(), 1, bad);
         const double dir[3] = {0, 1, 0};
         int rc = 0, order[6];
         BSsrtptslnv(6, c->cv.poles, BSFALSE, nullptr, dir, order, &rc);
         return rc;
       }},
      {"BStst_plan", "point", false, [](double bad) {
         auto c = spoiled(cubic(), 2, bad);
         int rc = 0;
         BSboolean planar = BSFALSE;
         double normal[3];
         BStst_plan(6, c->cv.poles, nullptr, &planar, normal, &rc);
         return rc;
       }},
      {"BSplanar2", "point", false, [](double bad) {
         auto c = spoiled(cubic(), 2, bad);
         int rc = 0;
         BSboolean kind = 0;
         double vec[3];
         BSplanar2(6, c->cv.poles, nullptr, &kind, vec, &rc);
         return rc;
       }},
      {"BScollinmn3", "pole", false, [](double bad) {
         auto c = spoiled(cubic(true), 5, bad);
         int rc = 0;
         BSboolean collinear = BSFALSE;
         BScollinmn3(&c->cv, &collinear, &rc);
         return rc;
       }},
      {"BScollin", "point", false, [](double bad) {
         const double a[3] = {0, 0, 0}, b[3] = {1, bad, 0}, c[3] = {2, 0, 0};
         int rc = 0;
         BScollin(&rc, a, b, c);
         return rc;
       }},
      {"BSpoint3", "point", false, [](double bad) {
         const double a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0}, d[3] = {1, 1, bad};
         int rc = 0;
         BSpoint3(&rc, a, b, c, d);
         return rc;
       }},
      {"BSrpoly", "coefficient of a sextic", false, [](double bad) {
         const double c[7] = {1, -2, bad, 0.5, 1, -1, 1};
         const std::int16_t degree = 6;
         double re[6], im[6];
         int rc = 0;
         BSrpoly(&rc, c, &degree, re, im);
         return rc;
       }},
      {"BSrpoly4", "coefficient", false, [](double bad) {
         const double c[5] = {1, bad, 0.5, 1, 1};
         double re[4], im[4];
         int rc = 0;
         BSrpoly4(c, re, im, &rc);
         return rc;
       }},
      {"BSrpoly3", "coefficient", false, [](double bad) {
         const double c[4] = {1, -2, bad, 1};
         double re[3], im[3];
         int rc = 0;
         BSrpoly3(c, re, im, &rc);
         return rc;
       }},
      {"BSjacobmat3", "matrix entry", false, [](double bad) {
         const double a[9] = {2, 1, 0, 1, 3, bad, 0, bad, 1};
         double values[3], vectors[9];
         int rc = 0;
         BSjacobmat3(a, values, vectors, &rc);
         return rc;
       }},
      {"BSsngvaljc3", "point", false, [](double bad) {
         const double p[12] = {0, 1, 2, 3, 0, 1, bad, 1, 0, 0, 1, 1};
         double values[3], vectors[9];
         int rc = 0;
         BSsngvaljc3(4, p, values, vectors, &rc);
         return rc;
       }},
      {"BSsngvald2v", "point", false, [](double bad) {
         const double p[8] = {0, 1, 2, 3, 0, bad, 1, 1};
         double sv[2], v[4];
         int rc = 0;
         BSsngvald2v(4, p, sv, v, &rc);
         return rc;
       }},
      {"BSsngvald3v", "point", false, [](double bad) {
         const double p[12] = {0, 1, 2, 3, 0, 1, 1, 1, 0, 0, bad, 1};
         double sv[3], v[9];
         int rc = 0;
         BSsngvald3v(4, p, sv, v, &rc);
         return rc;
       }},
      {"BSsingval", "matrix entry", false, [](double bad) {
         const double a[12] = {1, 2, 3, 4, 5, 6, 7, bad, 9, 1, 0, 2};
         double u[12], s[3], v[9];
         int rc = 0;
         BSsingval(3, 4, a, u, s, v, &rc);
         return rc;
       }},
      {"BSeigval3x3", "matrix entry", false, [](double bad) {
         const double m[9] = {2, 1, 0, 1, bad, 0, 0, 0, 1};
         int rc = 0, count = 0;
         double values[3];
         BSeigval3x3(m, &count, values, &rc);
         return rc;
       }},
      {"BSeig3x3", "matrix entry", false, [](double bad) {
         const double m[9] = {bad, 1, 0, 1, 2, 0, 0, 0, 1};
         int rc = 0, count = 0;
         double values[3], vectors[9];
         BSeig3x3(m, &count, values, vectors, &rc);
         return rc;
       }},
      {"BSeigvcm3x3", "eigenvalue", false, [](double lambda) {
         const double m[9] = {2, 1, 0, 1, 2, 0, 0, 0, 1};
         int rc = 0, count = 0;
         double vectors[9];
         BSeigvcm3x3(m, lambda, 1, &count, vectors, &rc);
         return rc;
       }},
      {"BSeigmatvv1", "matrix entry", false, [](double bad) {
         const double a[16] = {4, 1, 0, bad, 1, 3, 1, 0, 0, 1, 2, 1, bad, 0, 1, 1};
         int rc = 0;
         double values[4], vectors[16];
         BSeigmatvv1(4, 4, a, 2, values, vectors, &rc);
         return rc;
       }},
      // The tolerance table.
      {"BSchangepar", "tolerance", true, [](double value) {
         const double saved = BStoltab[bstol::dist_tol];
         int rc = 0;
         BSchangepar(&rc, bstol::dist_tol, value);
         const bool kept = BStoltab[bstol::dist_tol] == saved;
         BStoltab[bstol::dist_tol] = saved;
         return kept ? rc : 1000;
       }},
      {"BSchgdeppar", "tolerance", true, [](double value) {
         double saved[BSTOL_COUNT];
         for (int i = 0; i < BSTOL_COUNT; ++i) saved[i] = BStoltab[i];
         int rc = 0;
         BSchgdeppar(value, &rc);
         bool kept = true;
         for (int i = 0; i < BSTOL_COUNT; ++i) {
           kept = kept && BStoltab[i] == saved[i];
           BStoltab[i] = saved[i];
         }
         return kept ? rc : 1000;
       }},
  };
  return table;
}

TEST(BadInput, EveryRoutineRefusesNonFiniteAndNegativeValues) {
  for (const Case &c : cases()) {
    std::vector<double> bad = {kNaN, kInf, -kInf};
    if (c.negative) bad.push_back(-1e-3);
    for (double value : bad) {
      BStraceclear();
      const int rc = c.call(value);
      EXPECT_EQ(rc, BSRC_OUT_OF_RANGE) << c.routine << ", " << c.input << " = " << value;
      const int count = BStracecount();
      EXPECT_STREQ(count > 0 ? BStracetable()[count - 1].name : "(no trace)", c.routine)
          << c.input << " = " << value;
    }
  }
  BStraceclear();
}

}  // namespace
