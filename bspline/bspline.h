// The B-spline library core: the curve record, return codes and error trace, heap and scratch memory, the
// tolerance table, knot-span search and basis functions, curve evaluation, and the small vector, point, frame and
// sorting utilities that the rest of the library shares.
//
// Conventions of every routine here:
// - `rc` (an int pointer, last argument in most routines, first in some) is set to 0 on entry and left 0 on
//   success; a routine that receives a nonzero code from a callee stops and passes that same code up.
// - On exit a routine with a nonzero rc pushes {its exact name, rc} onto the error trace, and every routine passes
//   its lower-case name to the fault hook (bspline/core/exit.h; a no-op unless a test installs a handler).
// - Booleans are 16-bit words (BSTRUE 1, BSFALSE 0); points and vectors are arrays of 3 doubles.
// - A curve parameter, distance or tolerance that is NaN or infinite, and a negative distance or tolerance, is
//   refused with rc -2; so are non-finite poles, points and coefficients in the routines that read all of them.
// - The library is used from one thread at a time: the trace, the tolerance table and a few caches are
//   unsynchronised process-wide state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

using BSboolean = std::uint16_t;
constexpr BSboolean BSTRUE = 1;
constexpr BSboolean BSFALSE = 0;

// ---------------------------------------------------------------------------------------------------------------
// Curve record

// Field order and widths are shared with the geometry layer; with 32-bit pointers the record takes 44 bytes.
struct VOQbsp_curve {
  std::int16_t order;          // k = degree + 1
  std::uint16_t periodic;
  std::uint16_t non_uniform;
  std::int32_t num_poles;      // n >= k
  double *poles;               // n x (x, y, z), weighted when rational
  std::int32_t num_knots;      // n + k
  double *knots;
  std::uint16_t rational;
  double *weights;             // n weights when rational, else NULL
  std::uint16_t planar;
  std::uint16_t phy_closed;
  std::int16_t num_boundaries; // 0 .. 10000
  double *bdrys;               // 2 per boundary, or NULL
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(VOQbsp_curve) == 44, "VOQbsp_curve must keep its 32-bit layout");
#endif

// Header bytes in front of the arrays of a block made by BSallocvoqcv (44 on the 32-bit platform).
constexpr std::size_t BSVOQCV_HEADER = sizeof(VOQbsp_curve);

void BSallocvoqcv(std::int16_t order, std::int32_t num_poles, BSboolean rational, std::int16_t num_boundaries,
                  VOQbsp_curve **cv, int *rc);
void BSfreevoqcv(VOQbsp_curve *cv, int *rc);
void BSreallocvoqcv(std::int16_t order, std::int32_t num_poles, std::int16_t num_boundaries, VOQbsp_curve **cv,
                    int *rc);
// Releases poles, knots and weights that the caller took with BSscratchtake; the record stays the caller's.
BSboolean BSstfrecvfl(int *rc, VOQbsp_curve *cv);
// Stream NULL means stderr.
BSboolean BSprtcv(std::FILE *stream, const char *name, const VOQbsp_curve *cv, BSboolean verbose);
BSboolean BSprtcvimp(std::FILE *stream, const char *name, const VOQbsp_curve *cv, BSboolean verbose, int unused);

// Copies a curve into a record whose arrays are large enough (boundaries are not copied). Defined with the
// curve copy and splitting routines; the transformations below rely on it.
BSboolean BScv_copy(int *rc, const VOQbsp_curve *in, VOQbsp_curve *out);

// ---------------------------------------------------------------------------------------------------------------
// Return codes and error trace

enum : int {
  BSRC_OK = 0,
  BSRC_BINOM_ROW = 2,       // binomial row outside the table; order below 2
  BSRC_NULL_CURVE = 3,      // NULL curve or missing array
  BSRC_TOL_INDEX = 27,      // tolerance index outside 0..18
  BSRC_NO_SCRATCH = 33,     // scratch memory unavailable
  BSRC_DEGENERATE = 49,     // degenerate input or too few points
  BSRC_ZERO_WEIGHT = -1,    // zero weight at the evaluated point
  BSRC_OUT_OF_RANGE = -2,   // argument outside its range or table; empty knot span
  BSRC_ZERO_INTERVAL = -5,  // zero knot interval inside the basis recurrence
  BSRC_NULL_VECTOR = -6,    // null vector; vanishing divisor in evaluation
  BSRC_ALLOC_CURVE = -13,   // curve record allocation failed
};

struct BStracerecord {
  char name[20];
  std::int32_t rc;
};
static_assert(sizeof(BStracerecord) == 24, "trace records are 24 bytes");
constexpr int BSTRACE_SIZE = 1000;

// Appends {name, rc} while fewer than 1000 records are held; later records are dropped.
void BStracepush(int rc, const char *name);
// Inspection of the trace (the system itself never reads it back).
int BStracecount();
const BStracerecord *BStracetable();

// ---------------------------------------------------------------------------------------------------------------
// Memory

// Plain heap blocks, released only with BSdbgfree.
void *BSdbgmalloc(int size);
void *BSdbgcalloc(int count, int size);
void *BSdbgralloc(void *p, int size);
void BSdbgfree(void *p);
// Releases a composite Legendre representation: the coefficient block owned by (*spans)[0], then the pointer
// array; sets *spans to NULL.
void BSfreecmplgd(double ***spans);

// Live scratch heap blocks (for leak and double-release checks in tests).
int BSscratchheapblocks();
// Live blocks of BSdbgmalloc, BSdbgcalloc and BSdbgralloc (tests compare it before and after a call whose
// results they have freed).
int BSdbgliveblocks();

// Scratch arrays. A scratch array carries a 32-bit flag word right in front of it: 0 for a stack block (nothing
// to release), 1 for a heap block (released on exit). A block reserves 8 header bytes so that the array stays
// aligned for doubles; the flag word is the last 4 of them.
constexpr std::size_t BSSTACK_BYTES = 4092;        // a need of fewer bytes goes on the stack
constexpr std::size_t BSSCRATCH_HEADER = 8;

struct BSstackblock {
  alignas(8) unsigned char bytes[BSSCRATCH_HEADER + BSSTACK_BYTES];
};

// m doubles: in the caller's stack block when 8m < 4092 and a block is given, else on the heap; NULL when the
// heap is exhausted (the caller answers rc 33). m == 0 gives a valid empty array.
double *BSscratchtake(std::size_t m, BSstackblock *stack);
// Frees a heap scratch array (flag word 1); stack arrays and NULL are left alone.
void BSscratchrelease(double *array);
// The flag word of a scratch array: 0 stack, 1 heap.
std::int32_t BSscratchflag(const double *array);

// The rule of a routine with a local array of Local doubles: local up to the limit, else a stack block in the
// routine's frame, else the heap; released when the routine leaves.
template <std::size_t Local>
class BSscratch {
 public:
  BSscratch() = default;
  BSscratch(const BSscratch &) = delete;
  BSscratch &operator=(const BSscratch &) = delete;
  ~BSscratch() { BSscratchrelease(taken_); }

  // NULL when the heap is exhausted. A second call replaces the first array.
  double *take(std::size_t m) {
    BSscratchrelease(taken_);
    taken_ = nullptr;
    if (Local > 0 && m <= Local) return local_;
    taken_ = BSscratchtake(m, &stack_);
    return taken_;
  }
  bool is_local(const double *p) const { return p == local_; }

 private:
  double local_[Local > 0 ? Local : 1];
  BSstackblock stack_;
  double *taken_ = nullptr;
};

// ---------------------------------------------------------------------------------------------------------------
// Tolerance table

constexpr int BSTOL_COUNT = 19;
// Routines read the entries directly; BSchangepar and BSchgdeppar are the setters.
extern double BStoltab[BSTOL_COUNT];
namespace bstol {
constexpr int dist_tol = 1;
constexpr int dist_sqtol = 2;
constexpr int offset_tol = 9;
constexpr int chrdht_tol = 10;
constexpr int basis_tol = 12;
constexpr int knot_tol = 8;   // knot tolerance of multiplicity, insertion and splitting
constexpr int zero_tol = 16;  // pivots and zero tests of the numerics
}  // namespace bstol

// The library's name of an entry ("dist_tol" ...), or NULL for an entry known only by its index.
const char *BStolname(int index);
// The index of a named entry, or -1.
int BStolindex(const char *name);
// The table's initial value of an entry (0 outside 0..18).
double BStoldefault(int index);

BSboolean BSchangepar(int *rc, int index, double value);
BSboolean BSchgdeppar(double basis, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Knot spans and basis functions

BSboolean BSfndspan(int *rc, const VOQbsp_curve *cv, const int *num_poles, const double *knots, const double *u,
                    int *span);
void BSfndknotiv(std::int16_t order, int num_poles, const double *knots, double u, int *index, int *rc);
BSboolean BSmansf0(int *rc, int k, const double *knots, int s, double u, double *N);
BSboolean BSmansf1(int *rc, int k, const double *knots, int s, double u, double *N, double *D1);
BSboolean BSmansf2(int *rc, int k, const double *knots, int s, double u, double *N, double *D1, double *D2);
// Values and derivatives 1..nder of the k basis functions of span s, in (nder + 1) rows of k (rows above k-1 are
// zero); the same recurrence and thresholds as BSmansf1, for any order and derivative count.
BSboolean BSmansfn(int *rc, int k, const double *knots, int s, double u, int nder, double *ders);

// ---------------------------------------------------------------------------------------------------------------
// Curve evaluation

// out: (nder + 1) rows of 3 doubles, row d the d-th derivative.
void BScveval_n(const VOQbsp_curve *cv, double u, int nder, double *out, int *rc);
void BScveval0(int *rc, int order, const double *poles, const double *weights, const double *knots, int span,
               double u, double out[3]);
void BScveval1(int *rc, int order, const double *poles, const double *weights, const double *knots, int span,
               double u, double out[6]);
void BScveval2(int *rc, int order, const double *poles, const double *weights, const double *knots, int span,
               double u, double out[9]);
// One span of degree p by forward differences and re-expansion (Bohm's scheme; it loses accuracy quickly above
// order 10, so the evaluators use basis derivatives instead): local_poles holds dim rows of p+1 values (destroyed); recip[(j-1)(p+1) + i] holds
// 1 / (knots[s+1+i-j] - knots[s-p+i]) for j = 1..p, i = j..p; offsets[j] = u - knots[s-p+j] for j = 1..p.
// out: (nder + 1) rows of dim values.
void BSspnderiv(int p, int dim, int nder, double *local_poles, const double *recip, const double *offsets,
                double *out);
void BSsetder_cv(int dim, int rational, int nder, const double *in, double *out, int *rc);
// Raw pole arrays, component-major (component c of pole i at poles[c n + i]); out row-major.
void BScvevaln(int p, int num_poles, int dim, const double *poles, const double *knots, double u, int span_hint,
               int nder, double *out, int *rc);
void BScvevaln0(int p, int num_poles, int dim, const double *poles, const double *knots, double u, int span_hint,
                double *out, int *rc);
void BSevalbsp(int degree, int num_poles, int dim, int rational, const double *poles, const double *knots, double u,
               int nder, double *out, int *rc);
BSboolean BScveval_b(int *rc, const VOQbsp_curve *cv, const double *u, const int *nder, const void *unused,
                     BSboolean *two_sided, double *left, double *right);
BSboolean BSbspl(int *rc, const double *poles, const double *weights, const double *knots, const std::int16_t *order,
                 const BSboolean *rational, const int *span, const int *nder, const double *u, double *out);
BSboolean BSrspl(int *rc, const int *nder, const VOQbsp_curve *cv, double *rows);
BSboolean BSbinomcoef(int *rc, const int *m, double *out);
void BScvtstclsd(VOQbsp_curve *cv, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Vector and point arithmetic

BSboolean BSnorvec(int *rc, double v[3]);
BSboolean BSvcross(int *rc, const double a[3], const double b[3], double out[3]);
double BSvdot(int *rc, const double a[3], const double b[3]);
double BSvlength(int *rc, const double v[3]);
double BSvlengthsq(int *rc, const double v[3]);
// out = b - a
BSboolean BSvdiff(int *rc, double out[3], const double a[3], const double b[3]);
double BSpdist(int *rc, const double a[3], const double b[3]);
double BSpdistsq(int *rc, const double a[3], const double b[3]);
double BShpdistsq(int *rc, const double p[3], double wp, const double q[3], double wq);
int BSnotfinite(double x);
// TRUE when each of the n values is finite (no NaN, no infinity).
BSboolean BSallfinite(int n, const double *values);
// TRUE when every pole of cv, and every weight of a rational cv, is finite (missing arrays are not read).
BSboolean BScvfinite(const VOQbsp_curve *cv);
// 0 for a record the representation routines can read: order 1 .. num_poles, num_poles + order finite
// non-decreasing knots, finite poles and weights; 3 (BSRC_NULL_CURVE) for a NULL record or a missing array
// (weights when rational), -2 (BSRC_OUT_OF_RANGE) for anything else. No rc, no trace: callers answer the code.
int BScvcheck(const VOQbsp_curve *cv);
BSboolean BSfuzzyeq(double a, double b);
double BSdmod(double x, double y, int *rc);
double BSrpower(double x, double y, int *rc);
// out: n + 1 points from a to b
BSboolean BSeqspaces(int *rc, const double a[3], const double b[3], const int *n, double *out);
BSboolean BSavgpts(int *rc, int n, const double *points, const double *weights, double out[3]);

// Projections, distances and tests

// line: the points a (line[0..2]) and b (line[3..5])
BSboolean BSproj0(int *rc, const double q[3], const double line[6], double foot[3]);
BSboolean BSproj1(int *rc, const double a[3], const double u[3], const double q[3], double out[3]);
BSboolean BSdistptli(int *rc, const double q[3], const double a[3], const double b[3], double *dist);
BSboolean BSdistnct2(int *rc, const double a[3], const double b[3]);
BSboolean BScoincids(int n, const double *const *points, int *rc);
BSboolean BScoincidpa(int n, const double **points, int *rc);
BSboolean BSssln(int *rc, const double a[3], const double b[3], const int *n, const double *const *points);
BSboolean BScvnormal(int *rc, const VOQbsp_curve *cv, double normal[3]);
// Intersection of the line through p1 towards p2 with the line through p3 towards p4: x and TRUE when they come
// within dist_tol; else FALSE with rc 43 (skew), 45 (parallel) or 46 (the same line).
BSboolean BSxln(int *rc, const double p1[3], const double p2[3], const double p3[3], const double p4[3], double x[3]);

// Frames and transformations

BSboolean BSbasisvect(int *rc, const double d[3], double z[3], double x[3], double y[3]);
// p' = (M^T p) / s + o, M row by row; rational points are unweighted first and weighted again after.
BSboolean BSptsnwtold(const double o[3], const double M[9], double s, int n, BSboolean rational, const double *in,
                      const double *weights, double *out, int *rc);
// p' = s M (p - o)
BSboolean BSptsoldtnw(const double o[3], const double M[9], double s, int n, BSboolean rational, const double *in,
                      const double *weights, double *out, int *rc);
BSboolean BScvntoo(int *rc, const double o[3], const double M[9], const double *s, const VOQbsp_curve *in,
                   VOQbsp_curve *out);
BSboolean BScvoton(int *rc, const double o[3], const double M[9], const double *s, const VOQbsp_curve *in,
                   VOQbsp_curve *out);
BSboolean BSroto(int *rc, const double a[3], const double b[3], const BSboolean *sense, const double *angle,
                 const double c[3], double out[3]);
BSboolean BSlocalcord(int *rc, const double p0[3], const double p1[3], const double p2[3], const BSboolean *sense,
                      double frame[9]);
BSboolean BStrans2(const double n[3], const BSboolean *sense, double frame[9], int *rc);
BSboolean BStrans1(int *rc, const double o1[3], const double n1[3], const double o2[3], const double n2[3],
                   double t[3], double M[9], double *scale);
// 0 on failure, 2 skew, 3 parallel, 4 coincident, 5 intersecting
int BSrelplnln(int *rc, const double a1[3], const double b1[3], const double a2[3], const double b2[3]);
BSboolean BSdistll(int *rc, const double a1[3], const double b1[3], const double a2[3], const double b2[3],
                   int *type, double *dist, double closest[6], double params[2]);
BSboolean BSlldist(int *rc, const double p1[3], const double p2[3], const double d1[3], const double d2[3],
                   BSboolean *parallel, double *dist, double closest1[3], double closest2[3]);
// A: 3 x 2 row by row
BSboolean BSlsq3x2(int *rc, const double A[6], const double rhs[3], double sol[2]);

// Sorting

BSboolean BStagsort(int *rc, const int *n, const double *keys, int *tags);
void BSquicksort(int *rc, const int *lo, const int *hi, int unused, double *a);
// Records of 16 bytes; the comparator answers negative, 0 or positive and may fail through its rc.
using BSsortcompare = int (*)(const void *a, const void *b, int *rc);
void BSsort(int cutoff, BSsortcompare compare, int n, void *records, int *rc);
void BSsorttrpls(int n, const double **points, int *rc);
int BStrplcomp(const double a[3], const double b[3], int *rc);

// Series utility: effective degree of a dim-component series of degree n (no rc).
void BSeffdegvec(int n, int dim, const double *coef, double tol, int *m, double **out);
