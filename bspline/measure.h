// Measuring and sampling curves: arc length by Gauss-Legendre integration and its tables, the parameter at a
// given length, the degeneracy test, evaluation over parameter arrays with the Bezier and polar forms, cusps and
// node values, principal normals, and the bounding boxes and distance bounds that prune intersection searches.
//
// Conventions are the core's (bspline/bspline.h): rc set to 0 on entry and nonzero on failure, every routine
// leaving through BSexit under its exact name, 16-bit booleans, points as arrays of 3 doubles. Raw pole arrays
// ("coordinate blocks") hold dim consecutive blocks of num_poles doubles, one per coordinate, followed for a
// rational curve by the block of weights; the coordinates of a rational curve are weighted. BSarclen clears and
// restores the caller's phy_closed flag during a call: like the rest of the library, one thread at a time.
#pragma once

#include "bspline/bspline.h"

#include <cstdint>

// Codes beyond the core's.
enum : int {
  BSRC_NOT_REACHED = 9,         // the length asked for lies beyond the end of an open curve
  BSRC_BAD_SPEED = 35,          // a rational span whose speed cannot be measured at a node
  BSRC_NO_OBLIQUE_BOX = 50,     // a degenerate axis or coefficient direction; a dimension other than 2 or 3
  BSRC_NO_NORMAL = -12,         // no principal normal at the parameter
  BSRC_SINGULAR_AXES = -14,     // box axes without a dual basis
  BSRC_TOO_DEEP = -1,           // the integrator bisected deeper than 30 levels
};

// ---------------------------------------------------------------------------------------------------------------
// Gauss-Legendre tables: rules of 4, 8, 12, 16, 20, 40, 80, 160 and 320 points on [-1, 1]. BSglnodes holds each
// rule's nodes in increasing order, rule after rule (offsets 0, 4, 12, 24, 40, 60, 100, 180, 340); BSglweights the
// weights of each rule's positive nodes, nearest to 0 first (offsets 0, 2, 6, 12, 20, 30, 50, 90, 170).

constexpr int BSGL_NODE_COUNT = 660;
constexpr int BSGL_WEIGHT_COUNT = 330;
extern const std::int32_t BSglmaxsize;
extern const double BSglnodes[BSGL_NODE_COUNT];
extern const double BSglweights[BSGL_WEIGHT_COUNT];

// *nodes = the n nodes of rule n; rc -2 when n is not a tabulated size.
void BSextrtlgd(int n, const double **nodes, int *rc);
void BSglmaxrule(int *n);
// The n-point sum of values given at the nodes of rule n in increasing node order.
void BSintegval(int n, const double *values, double *sum, int *rc);

// Polynomials in ascending powers.
// p(x) and p(-x) in one pass.
void BSpolevpm(int deg, const double *p, double x, double *at_plus, double *at_minus);
// left(s) = p((s - 1)/2), right(s) = p((s + 1)/2).
void BSpolhalves(int deg, const double *p, double *left, double *right);
// c = a b (m + n + 1 coefficients).
void BSpolymul(int m, const double *a, int n, const double *b, double *c);

// Integral over [-1, 1] of sqrt(p) (of sqrt(N) / W^2), bisecting while the rule ladder does not settle within tol.
void BSintsqrtp(int deg, const double *p, double tol, int depth, double *result, int *rc);
void BSintsqrtpw(int degN, const double *N, int degW, const double *W, double tol, int depth, double *result,
                 int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Arc length

// The length between *par0 and *par1 (either order); for a closed curve the arc that holds *through.
double BSarclen(int *rc, BSboolean *status, VOQbsp_curve *cv, const double *par0, const double *par1,
                const double *through, double *length);
BSboolean BSarclength(int *rc, VOQbsp_curve *cv, const double *par0, const double *par1, double *length);
// Whole curves, tol absolute for the curve; BSarclg4ds answers rc -2 for a polynomial curve.
void BSarclg3ds(const VOQbsp_curve *cv, double tol, double *length, int *rc);
void BSarclg4ds(const VOQbsp_curve *cv, double tol, double *length, int *rc);
// One span from its span polynomial (coef[c (degree + 1) + j], components after each other; weight last).
void BSspnlen3(int degree, int dim, const double *coef, double tol, double *length, int *rc);
void BSspnlen4(int degree, int dim, const double *coef, double tol, double *length, int *rc);
// The span polynomial of a non-empty span in s on [-1, 1]; poles in coordinate blocks.
void BSspantocan(int degree, int num_poles, int dim, const double *poles, const double *knots, int span,
                 double *coef, int *rc);
// e1, e2: the in-plane frame of a unit normal; BSprjpolpl: the poles in that frame (two blocks, weights after).
void BSplnframe(const double normal[3], double e1[3], double e2[3]);
void BSprjpolpl(const VOQbsp_curve *cv, const double origin[3], const double e1[3], const double e2[3],
                double *out);

// ---------------------------------------------------------------------------------------------------------------
// Parameter at a given length (the polygon lengths are with the knot routines, bspline/knots.h)

BSboolean BSiarcln(int *rc, VOQbsp_curve *cv, const double *par0, const double *dist, const double *dir_par,
                   double *par);
BSboolean BSiarcln2(int *rc, VOQbsp_curve *cv, const double *total, const double *par0, const double *dist,
                    const double *end, double *par);
// Knots respaced on [0, 1] so that the pieces between C0 joints get parameter lengths proportional to their
// control polygons; the shape does not change.
void BSarclnparc(int *rc, VOQbsp_curve *cv);

// ---------------------------------------------------------------------------------------------------------------
// Degeneracy

void BStstcvdegn(const VOQbsp_curve *cv, BSboolean *degenerate, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Evaluation over ascending parameter arrays, Bezier and polar forms

// 3 (nder + 1) doubles per parameter.
void BScvarreval(int *rc, const VOQbsp_curve *cv, const double *params, int count, int nder, double *out);
void BScvarrev0(int *rc, const VOQbsp_curve *cv, const double *params, int count, double *out);
// 4 doubles per parameter for a rational curve (x w, y w, z w, w), else 3.
void BScvarrev0w(const VOQbsp_curve *cv, int count, const double *params, double *out, int *rc);
// 6 per parameter: the point, then the point dist along the unit tangent.
void BScvarrevt(const VOQbsp_curve *cv, const double *params, int count, double dist, double *out, int *rc);
// 6 per parameter: the point, then the end of its curvature marker (left unwritten without a finite radius).
void BScvarrevc(const VOQbsp_curve *cv, int count, const double *params, double maxlen, double *curvature,
                double *radius, double *out, int *rc);
constexpr int BSDCAST_SIZE = 16;
// The de Casteljau triangle of a Bezier curve at *u: entry [i][j] is level j built on pole i; weighted.
BSboolean BSdcastelj(int *rc, const VOQbsp_curve *cv, const double *u, double points[BSDCAST_SIZE][BSDCAST_SIZE][3],
                     double weights[BSDCAST_SIZE][BSDCAST_SIZE]);
// out[f count + i]: scalar Bezier function f of degree n on interval at params[i].
void BSevlcvbez1(int nfunc, int n, const double *coef, int count, const double *params, const double interval[2],
                 double *out, int *rc);
// The polar (blossom) basis of span s at the order - 1 arguments.
void BSpolarnif(int order, const double *knots, int span, const double *args, double *basis, int *rc);
// The blossom of a curve; poles dim per pole.
void BScvevpgbnd(std::int16_t dim, int order, const double *poles, const double *knots, const double *args, int span,
                 double *out, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Cusps, C0 knots, span lists and node values

BSboolean BStstcvcusp(int *rc, const VOQbsp_curve *cv, int pole_index, BSboolean *is_cusp);
void BSfndcvcsp(const VOQbsp_curve *cv, int *count, double *params, int *rc);
void BScvktncsp(const VOQbsp_curve *cv, int *count, double *params, int *indices, int *rc);
void BSangvecs(const double a[3], const double b[3], const double ref[3], double *angle, int *rc);
void BSfndspnarr(std::int16_t order, int num_poles, int num_params, const double *params, const double *knots,
                 int *spans, int *rc);
// nodes: room for 1 + (num_knots - order - 1)(num_between + 1) values.
void BSnodevals(std::int16_t order, int num_knots, const double *knots, int num_between, int *num_nodes,
                double *nodes, int *rc);
// nodes: room for what BSnodevals writes and 4 more.
void BSnodvalrg(std::int16_t order, BSboolean periodic, int num_knots, const double *knots, int num_between,
                double offset, BSboolean use_range, const double range[2], int *num_nodes, double *nodes, int *rc);
void BScvnodpts(const VOQbsp_curve *cv, int num_between, int *num_nodes, double *nodes, double *points, int *rc);
void BSclamppar(const double *knots, std::int16_t order, int num_poles, double *u, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Principal normals

BSboolean BSprncp_nor(int *rc, const VOQbsp_curve *cv, const double *u, double left[3], double right[3],
                      BSboolean *two_normals);

// ---------------------------------------------------------------------------------------------------------------
// Bounding boxes and distance bounds. An oriented box is a center and dim half-axes of dim doubles each; min and
// max squared distances of DBL_MAX and 0 mean "no bound".

BSboolean BSbxint(int *rc, const double min1[3], const double max1[3], const double min2[3], const double max2[3]);
BSboolean BSptinbx(int *rc, const double *p, const double *min, const double *max, const int *dim);
BSboolean BSbx3(int *rc, const double p[3], const double min[3], const double max[3], double *dist_sq);
void BSendptinbx(int *rc, const VOQbsp_curve *cv, BSboolean *inside);
// Whether some direction exists along which every step between consecutive poles (unweighted, all weights
// positive) strictly advances; repeated poles are no step. The curve then advances along it too and cannot meet
// itself. FALSE says nothing: the direction is sought, not proven absent.
bool BSpoles_advance(const VOQbsp_curve *cv);
// The axis-aligned box of poles (rows of 3, divided by their weights when weights are given).
BSboolean BSpolesbox(int *rc, const int *num_poles, const double *poles, const double *weights, double min[3],
                     double max[3]);
void BSboxinvab(const double m[4], double inv[4], int *rc);
void BSboxinvabc(const double axes[9], double dual[9], int *rc);
void BSboxpole(int n, int dim, const double *pts, const double *dirs, double *center, double *half_axes, int *rc);
void BSoblboxbsc(int order, int num_poles, const double *knots, int dim, int rational, const double *poles,
                 double *center, double *half_axes, int *rc);
void BSminmaxbox(int dim, const double *half_axes, const double *center, const double *p, double *min_sq,
                 double *max_sq, int *rc);
void BSmnmxbx2(const double *half_axes, const double *center, const double *p, double *min_sq, double *max_sq,
               int *rc);
void BSmnmxbx3(const double *half_axes, const double *center, const double *p, double *min_sq, double *max_sq,
               int *rc);
void BSmnmxpt2(int dim, const double *center, const double *a1, const double *a2, const double *p, double *min_sq,
               double *max_sq, int *rc);
void BSmnmxseg(int dim, const double *center, const double *a1, const double *p, double *min_sq, double *max_sq);
void BSptsphere(int dim, int n, const double *pts, double *center, double *radius);
// Query points in coordinate blocks (dim blocks of num_pts).
void BSminmaxbsc(int order, int num_poles, int dim, int rational, const double *knots, const double *poles,
                 int num_pts, const double *pts, const unsigned char *active, double *min_sq, double *max_sq,
                 int *rc);
// One span as Legendre series (coordinate blocks of deg + 1 coefficients, weight block last when rational).
void BSboxcvlgd(int deg, int dim, BSboolean rational, const double *coeffs, int num_pts, const double *pts,
                const double *limit, unsigned char *active, double *min_sq, double *max_sq, int *rc);
void BSboxcvlgp(int deg, int dim, const double *coeffs, double *center, double *half_axes, int *rc);
void BSboxcvlgr(int deg, int dim, const double *coeffs, double *center, double *half_axes, int *rc);
// `zero` is not read; callers pass 0.
void BSlgdsphere(int deg, int zero, int dim, const double *coeffs, double *center, double *radius);
void BSlgdsphrat(int deg, int zero, int dim, const double *coeffs, double *center, double *radius);
