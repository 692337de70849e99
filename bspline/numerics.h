// The B-spline library's numerics: closed-form and iterative polynomial roots, singular values and Jacobi
// rotations, symmetric eigen-analysis, the principal axes and least-squares point, line or plane of a point set,
// and the planarity and collinearity tests built on them.
//
// The conventions are the core's (bspline/bspline.h): rc set to 0 on entry (BSrpoly3 excepted, see below),
// left nonzero on failure, and every named routine leaves through BSexit under its exact name.
// Matrices are row by row unless said otherwise; eigen- and singular vectors come back as rows.
#pragma once

#include "bspline/bspline.h"

#include <cstdint>

// ---------------------------------------------------------------------------------------------------------------
// Closed-form roots. Coefficients in ascending powers; root j is re[j] + i im[j]; a real root has im exactly 0.
// A leading coefficient of exactly 0 leaves a root at infinity: DBL_MAX in the last slot.

// flag = 1 when x is a root of the polynomial relative to the size of its terms at x (no rc, no trace).
void BSisroot(int degree, const double *coef, double x, BSboolean *flag);
// out = 1 / (re + i im); the caller never passes 0.
void BScxrecip(double re, double im, double *out_re, double *out_im);
// A square root: the one whose argument lies in (-pi/4, 3pi/4].
void BScxsqrt(double re, double im, double *out_re, double *out_im);
// Roots of t^3 + p t + q with D = 4 p^3 + 27 q^2.
void BScubdep(double p, double q, double D, double roots[3], double imag[3]);

void BSquadsolve(const double c[3], double re[2], double im[2]);
// rc is not cleared on entry: the caller has cleared it; it becomes -1 on failure.
void BSrpoly3(const double c[4], double re[3], double im[3], int *rc);
// A multiple root (double, triple, quadruple, a double pair) fills as many slots as it counts: it is found as a
// root of the quartic and of its derivatives within rounding, on the quartic scaled by a power of two to roots
// near unit modulus, so that coefficients that were rounded and roots of any magnitude are told alike. Every slot
// is then refined on the quartic and verified as one of its roots (rc -1 otherwise).
void BSrpoly4(const double c[5], double re[4], double im[4], int *rc);
double BSpower(int *rc, double base, int exponent);

// Steps of the cubic and quartic solvers.
void BSdepcubic(const double c[4], double *p, double *q, double *D);
void BSdepquart(const double c[5], double *p, double *q, double *r);
// y^4 + p y^2 + q y + r = (y^2 + u y + g)(y^2 - u y + h)
void BSquartfac(double p, double q, double r, double *u, double *g, double *h, int *rc);
void BSdefl4re(double x, const double c[5], double re[4], double im[4], int *rc);
void BSdefl4cx(double xr, double xi, const double c[5], double re[4], double im[4]);

// ---------------------------------------------------------------------------------------------------------------
// Polynomial roots of any degree: degree + 1 coefficients in ascending powers; re and im receive degree roots,
// unsorted, a complex pair in adjacent slots. Degrees 2 to 4 are solved in closed form (slots as above), the
// others by the three-stage shifted iteration (roots at the origin first, a pair with the positive imaginary
// part first). From degree 4 on every root is refined by Newton steps on the polynomial given and answered only
// when it is one of its roots within rounding. rc -2 for a degree below 1, a coefficient that is not finite or,
// in the iteration, a leading coefficient below 2^-97; -1 when the iteration does not converge (the slots filled
// so far are valid); 33 without scratch memory.
BSboolean BSrpoly(int *rc, const double *coef, const std::int16_t *degree, double *re, double *im);

// ---------------------------------------------------------------------------------------------------------------
// Singular values and Jacobi rotations

// Symmetric 3x3 (upper triangle read): values decreasing, row k of vectors the eigenvector of value k.
void BSjacobmat3(const double a[9], double values[3], double vectors[9], int *rc);
// p: 3 rows of n coordinates. values: eigenvalues of p p^T (squared singular values), decreasing.
void BSsngvaljc3(int n, const double *p, double values[3], double vectors[9], int *rc);
// p: 2 rows of n coordinates. sv decreasing; v rows the right singular vectors, determinant +1.
void BSsngvald2v(int n, const double *p, double sv[2], double v[4], int *rc);
// p: 3 rows of n coordinates. sv decreasing; v rows the right singular vectors.
void BSsngvald3v(int n, const double *p, double sv[3], double v[9], int *rc);
// a: n points of m coordinates (needs n >= m). u: n x m left factor point by point; s: min(m, n) values,
// decreasing and non-negative; v: m groups of m doubles, group k the right singular vector k.
void BSsingval(int m, int n, const double *a, double *u, double *s, double *v, int *rc);
// Column-major core: a is rows x columns (leading dimension lda == rows); both factors must be asked for
// (ju == jv == 1); work holds 3 min(rows, columns) - 1 doubles.
void BSsingsv(double *u, int ldu, int ju, double *s, double *v, int ldv, int jv, double *a, int lda, int rows,
              int columns, double *work, int *rc);
// Householder reduction of the column-major rows x columns matrix a (rows >= columns; a is not changed) to upper
// bidiagonal form: s the diagonal, e the superdiagonal; u (rows x columns) and v (columns x columns) are formed
// when their job code is 1 to 3 (code 2 for u with a square matrix forms none).
void BSbidag2sv(double *s, double *e, double *u, int ju, double *v, int jv, const double *a, int rows, int columns,
                int *rc);
// Shifted QR iteration by fast Givens rotations on the bidiagonal (s, e) of order k; rotations applied to the
// columns of u (rows rows, leading dimension ldu) when ju is 1 and of v (columns rows, leading dimension ldv) when
// jv is 1; wide exchanges their roles. e is destroyed; scale1 and scale2 take k doubles each. On success the values
// are non-negative (a sign goes into the matching column of u) and decreasing, equal values in reverse order of
// their places, the columns permuted alike and of unit length, and scale1[0] = k. More than 50 k sweeps give
// rc -1 with a valid partial decomposition: u diag-bidiagonal(s, e) v^T still equals the matrix reduced, the
// values after the first k - scale1[0] + 1 final and non-negative, in place.
void BSsingbval(double *s, int k, double *e, BSboolean wide, double *u, int ldu, int rows, int ju, double *v,
                int ldv, int columns, int jv, double *scale1, double *scale2, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Eigenvalues and eigenvectors of symmetric matrices

// count: 3 on success; values in decreasing magnitude.
void BSeigval3x3(const double m[9], int *count, double values[3], int *rc);
// The eigenvectors of lambda of the given multiplicity (1 to 3) into the first count rows of vectors.
void BSeigvcm3x3(const double m[9], double lambda, int multiplicity, int *count, double vectors[9], int *rc);
// Closed form: values in decreasing magnitude, nearly equal values merged; rows of vectors (not normalised for a
// repeated value) form a right-handed frame.
void BSeig3x3(const double m[9], int *count, double values[3], double vectors[9], int *rc);
// Cyclic Jacobi on the upper triangle of the n x n matrix a (leading dimension lda); job 2 also forms the
// vectors (n rows of n); values decreasing.
void BSeigmatvv1(int n, int lda, const double *a, int job, double *values, double *vectors, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Shape of a point set, least-squares point, line or plane

// Shape codes of BSgmprppts3.
enum : int { BSSHAPE_COINCIDENT = 0, BSSHAPE_COLLINEAR = 1, BSSHAPE_COPLANAR = -1, BSSHAPE_SPATIAL = -7 };
// Fit modes and fit types of BSlsqptlnpl (kinds of BSplanar2 and BSptlnplan use the same numbering).
enum : int { BSFIT_POINT = 1, BSFIT_LINE = 2, BSFIT_PLANE = 3, BSFIT_PLANE_THICK = 4 };
enum : int { BSKIND_POINT = 1, BSKIND_LINE = 2, BSKIND_PLANE = 3, BSKIND_NONE = 4 };

// points: n records of 3 doubles. vec: unit line direction (shape 1) or plane normal (shape -1), else untouched.
void BSgmprppts3(int n, const double *points, double tol, int *shape, double centroid[3], double vec[3], int *rc);
// weights may be NULL; rc 49 when a weight lies below a quarter of their mean (callers rely on that refusal; a
// shape test that must decide every positive weighting divides the points first and passes no weights).
// Writes one deviation double.
void BSlsqptlnpl(int n, const double *points, const double *weights, int mode, int *type, double point[3],
                 double vec[3], double *deviation, int *rc);
// order: indices sorted by the coordinate along dir's largest component (stable).
void BSsrtptslnv(int n, const double *points, BSboolean rational, const double *weights, const double dir[3],
                 int *order, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Planarity and collinearity. With weights the points are the records divided by them: any positive weights are
// decided, whatever their spread; rc 49 when a weight is not positive.

void BStst_plan(int n, const double *poles, const double *weights, BSboolean *planar, double normal[3], int *rc);
void BSplanar2(int n, const double *points, const double *weights, BSboolean *kind, double vec[3], int *rc);
void BSptlnplan(int n, int ignored, const double *points, const double *weights, int *kind, double vec[3], int *rc);
void BScollinmn2(int n, const double *points, const double *weights, BSboolean *collinear, int *rc);
BSboolean BScollin(int *rc, const double p0[3], const double p1[3], const double p2[3]);
void BScollinmn3(const VOQbsp_curve *cv, BSboolean *collinear, int *rc);
// TRUE when the four points span exactly a plane.
BSboolean BSpoint3(int *rc, const double a[3], const double b[3], const double c[3], const double d[3]);

// ---------------------------------------------------------------------------------------------------------------
// Real roots in an interval, and the helpers of the cubic and quartic solvers under their second names

// The real roots of c[0..*n] (ascending powers) in [*lo, *hi], in BSrpoly's order: a root counts as real when
// |im| < 1e-6 or |im| < 1e-7 |re|, and one within 1e-12 outside the interval is clamped onto its end. roots needs
// room for *n values. Returns BSrpoly's answer; rc -2 for a coefficient or end that is not finite or lo > hi.
BSboolean BSpoly2(int *rc, const std::int16_t *n, const double *c, const double *lo, const double *hi,
                  std::uint16_t *count, double *roots);
// BSpoly2 after dropping the top coefficients at most dist_tol^4 1e14 in magnitude: nothing left, or a negative
// *n, gives count 65535 (the polynomial is identically zero), a constant gives count 0, both TRUE.
BSboolean BSpoly3(int *rc, const std::int16_t *n, const double *c, const double *lo, const double *hi,
                  std::uint16_t *count, double *roots);
// isroot = 1 when |p(x)| < 1e-14 max |c_k| |x|^k (x = 0: when c[0] = 0).
void BStstrtcan(int n, const double *c, double x, BSboolean *isroot);
// BScxrecip, BScxsqrt and BScubdep.
void BScplxinv(double re, double im, double *out_re, double *out_im);
void BScplxsqrt(double re, double im, double *out_re, double *out_im);
void BScubicrt(double p, double q, double d, double re[3], double im[3]);
// The real cube root (0 for 0, v itself when not finite).
void BScbrt(double v, double *r);
// The positive k-th root of a > 0 (finite, k >= 1) by Newton steps from pow(a, 1/k): at most 21, stopping when a
// step is 0 or turns back, when the better of the two last iterates is kept.
double BSnewtkroot(double a, int k);

// ---------------------------------------------------------------------------------------------------------------
// Householder least squares (householder.cpp)
//
// Dense matrices are row-major: A m rows of n, right-hand sides B m rows of nrhs. Pivots are tested against
// zero_tol (entry [16], 1e-14 unless changed) as absolute values: the solvers expect entries of about unit size.
// rc -2 answers a size below 1, a bad block layout or an entry that is not finite, before anything changes; rc -1
// a rank defect, with the solution left unwritten. The rank test is on lengths, not squared lengths: a column is
// rank-deficient when its part on and below the diagonal, after the reflections of the columns before it, is
// shorter than zero_tol, or when its diagonal in R ends below zero_tol (the accumulating solvers test only the
// diagonals). A column is left unreflected only when half the squared length of its reflection vector is below
// zero_tol squared, so that a column merely small in one block of a band is still reflected.

// Triangularises A (R on and above the diagonal, reflection tails below it) and replaces B by Q^T B.
void BShshldtran(int m, int n, int nrhs, double *A, double *B, int *rc);
// Least-squares solution X (n rows of nrhs) of A X = B, m >= n; A and B are overwritten.
BSboolean BShousehld(int *rc, const int *m, const int *n, double *A, const int *nrhs, double *B, double *X);

// Band storage: block b has nrows[b] rows of nb entries, entry c standing for variable first[b] + c; the blocks'
// rows follow each other from row 0 of A, the right-hand-side rows at the same indices of B. first[0] = 0,
// first[] non-decreasing in steps of at most nb; n = first[nblocks-1] + nb variables. After accumulation row r
// holds row r of R relative to the largest first[b] <= r (its diagonal at entry r - first[b]). Every variable
// needs rows: a block must leave one for each variable below the next block's first column (rc -2).
void BSbndhshdtr(double *A, int nblocks, const int *nrows, int nb, const int *first, int nrhs, double *B, int *rc);
// Accumulates (dropping rows that no longer carry band entries) and solves: B rows 0 .. n-1 hold the solution.
void BSbndhshold(double *A, int nblocks, const int *nrows, int nb, const int *first, int nrhs, double *B, int *rc);
// Back substitution through an accumulated band whose rows also couple to c0 extra variables: B has ldb columns;
// columns 0 .. c0-1 of row r are row r's coefficients of the extra variables, columns c0 .. ldb-1 its right-hand
// sides; the extra variables' values stand in rows n .. n+c0-1, columns c0 .. ldb-1.
void BSbndhsback(const double *A, int nblocks, int nb, const int *first, int ldb, int c0, double *B, int *rc);

// The constraint matrix K: nj junctions of nc rows; junction j has the block C1[j] (nc x k) on span j and C2[j]
// on span j+1 of nj + 1 spans of k coefficients. BShouslgbspc replaces each of nseries coefficient vectors
// (nj + 1 spans of k) by its projection onto the row space of K (out may be in); rc -1 for linearly dependent
// constraint rows, with out unchanged.
void BShouslgbspc(int nj, int k, int nc, const double *C1, const double *C2, int nseries, const double *in,
                  double *out, int *rc);
// K = L Q: F[j] the lower-triangular diagonal blocks of L, G[j] junction j+1's rows in junction j's columns
// (G[nj-1] is zero). nj blocks of nc x nc each.
void BShoushcstm(int nj, int k, int nc, const double *C1, const double *C2, double *F, double *G, int *rc);
// One junction j: W its rows on span j after the reflections of the junctions before it, T its block C2[j], N
// the next junction's block C1[j+1]; gives F[j], G[j] and Wnext, the next junction's rows on span j+1 after this
// junction's reflections (the next call's W).
void BShoushcstl(int k, int nc, const double *W, const double *T, const double *N, double *Wnext, double *F,
                 double *G, int *rc);
// The last junction: F from the rows (W[r], T[r]).
void BShoushcstf(int k, int nc, const double *W, const double *T, double *F, int *rc);
// W = F times rows with orthonormal rows, F lower triangular.
void BShoustrian(int k, int nc, const double *W, double *F, int *rc);
// Householder triangularisation of the column-stored m x n matrix A (column j at j*m), applied also to the extra
// columns behind it: R on and above the diagonal (diagonals of the columns' signs), reflection tails below.
void BShoustrcol(int m, int n, int extra, double *A);
// L z = b and L^T y = z for the block bidiagonal L (y may be z); no divisor is tested: callers test F first.
void BShouslgfwd(int nj, int nc, const double *F, const double *G, const double *b, double *z);
void BShouslgback(int nj, int nc, const double *F, const double *G, const double *z, double *y);

// ---------------------------------------------------------------------------------------------------------------
// Bounded Newton solvers and the dense LU decomposition beneath them

// The residual of a Newton problem: the n values of f at x into f, TRUE on success; a FALSE answer or a nonzero rc
// ends the solver with that outcome. x is the solver's own work array, so a residual may move the point inside its
// range in place and the solver carries on from there. data_address is the address of the record's data field.
using BSnewtonfunc = BSboolean (*)(int *rc, double *x, double *f, void *data_address);

// The problem record of BSqnwt and BSqnwt2; its field order is shared with the records the callers fill.
struct BSnewtonrec {
  double *lo;               // n lower bounds
  double *hi;               // n upper bounds
  double ftol;              // residual tolerance > 0; multiplied in place by sqrt(n) on every call
  double xtol;              // step tolerance > 0; multiplied in place by sqrt(n) on every call
  std::int32_t n;           // variables and equations, >= 1
  std::int32_t max_iter;    // >= 1; reaching it is an ordinary end
  std::int32_t full_step;   // BSqnwt only: nonzero = undamped steps throughout
  std::uint16_t *periodic;  // n flags: the variable is periodic on [lo, hi] (needs hi > lo)
  void *data;               // the caller's context
  double *x0;               // start, inside [lo, hi]
  std::int32_t iterations;  // out
  double *x;                // out: the result, n values
  double fnorm;             // out: |f| at the last evaluation (the Euclidean norm; n = 1 the absolute value)
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(BSnewtonrec) == 64, "BSnewtonrec must keep its 32-bit layout");
#endif

// Newton iteration with a finite-difference Jacobian. rc -2 for a bad record (nothing evaluated, the record left
// as it was), -1 for a singular Jacobian, a residual or step that is not finite, or a periodic variable more than
// 10 periods out of range, 33 when scratch memory fails (the work arrays reach the heap from n = 21), or the
// residual's own code. FALSE whenever rc is nonzero or the residual answered FALSE. BSqnwt damps every step unless
// full_step is set; BSqnwt2 damps the first two.
BSboolean BSqnwt(int *rc, BSnewtonrec *problem, BSnewtonfunc func);
BSboolean BSqnwt2(int *rc, BSnewtonrec *problem, BSnewtonfunc func);
// In-place LU of the row-major n x n matrix a with partial pivoting (unit lower triangle; among equally large
// candidates the upper row): rc -1 for a pivot below (tolerance entry [16])^2, -2 for n outside 1 .. 46340 or an
// entry that is not finite. With *permute_rhs == 1 the row exchanges are applied to rhs as well.
BSboolean BSdecomp(int *rc, const int *n, double *a, const BSboolean *permute_rhs, double *rhs);
// Solves LU y = b in place (b already permuted by BSdecomp). rc -2 for n < 1 or a b that is not finite.
BSboolean BSsolve(int *rc, const int *n, const double *lu, double *b);
// out = x with each periodic variable outside its range brought back by whole periods; rc -2 for a periodic
// variable whose range is empty or not finite, or whose value is not finite.
BSboolean BSadjust(int *rc, const int *n, const double *lo, const double *hi, const BSboolean *periodic,
                   const double *x, double *out);
