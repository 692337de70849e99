// Where two spans nearly touch, the crossing Newton iteration of the intersector stalls: its Jacobian is nearly
// singular. Here the touching point is solved from the tangency equations instead (a straight segment leaves one
// unknown), and when that does not settle, a shrinking-window sampling search finds the nearest points.
#include <cmath>
#include <cstring>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

namespace {

constexpr int kAcceptTol = 3;             // tolerance entry whose tenth accepts a solution
constexpr int kTangencyIterations = 25;   // a solve that needs all of them has not settled
constexpr double kWindowSteps = 1000.0;   // first sampling step, in knot tolerances
constexpr double kWindowShrink = 0.8;
constexpr int kSamplingPasses = 9;
constexpr int kMaxSamples = 5;

double lo_par(const VOQbsp_curve *cv) { return cv->knots[cv->order - 1]; }
double hi_par(const VOQbsp_curve *cv) { return cv->knots[cv->num_poles]; }

double distance(const double *p, const double *q) {
  const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

double dot3(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void copy3(const double *from, double *to) {
  for (int c = 0; c < 3; ++c) to[c] = from[c];
}

// The checks every routine here makes: records readable, parameters and knot tolerances finite, tolerances
// positive, the start inside both ranges.
int check_pair(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double t1, double t2, double k1, double k2) {
  if (const int bad = BScvcheck(cv1)) return bad;
  if (const int bad = BScvcheck(cv2)) return bad;
  const double values[4] = {t1, t2, k1, k2};
  if (!BSallfinite(4, values) || !(k1 > 0) || !(k2 > 0)) return BSRC_OUT_OF_RANGE;
  if (t1 < lo_par(cv1) || t1 > hi_par(cv1) || t2 < lo_par(cv2) || t2 > hi_par(cv2)) return BSRC_OUT_OF_RANGE;
  return 0;
}

// Position, unit tangent and principal normal of cv at u (clamped in place).
bool frame_at(int *rc, const VOQbsp_curve *cv, double *u, double point[3], double tangent[3], double normal[3]) {
  double ev[6], right[3];
  BSboolean two = 0;
  BSclamppar(cv->knots, cv->order, cv->num_poles, u, rc);
  if (*rc == 0) BScveval_n(cv, *u, 1, ev, rc);
  if (*rc != 0 || !BSnorvec(rc, ev + 3) || !BSprncp_nor(rc, cv, u, normal, right, &two)) return false;
  copy3(ev, point);
  copy3(ev + 3, tangent);
  return true;
}

// A curve's frame at the parameter last asked for. The solver's probes move one parameter at a time, so the frame
// of the other curve is asked for again at the very same parameter: a frame depends on the curve and the
// parameter alone, and the one kept is the one evaluating again would give.
struct KeptFrame {
  bool valid = false;
  double asked = 0, u = 0, point[3] = {}, tangent[3] = {}, normal[3] = {};
};

bool kept_frame_at(int *rc, const VOQbsp_curve *cv, double *u, KeptFrame *kept, double point[3], double tangent[3],
                   double normal[3]) {
  if (!kept->valid || std::memcmp(&kept->asked, u, sizeof *u) != 0) {
    const double asked = *u;
    kept->valid = false;
    if (!frame_at(rc, cv, u, kept->point, kept->tangent, kept->normal)) return false;
    kept->valid = true, kept->asked = asked, kept->u = *u;
  }
  *u = kept->u;
  copy3(kept->point, point);
  copy3(kept->tangent, tangent);
  copy3(kept->normal, normal);
  return true;
}

// The residuals of BStan2cvfn from the two frames.
void tangency_residuals(const double p1[3], const double t1[3], const double n1[3], const double p2[3],
                        const double t2[3], const double n2[3], double *f) {
  f[0] = 0.5 * (std::fabs(dot3(n1, t2)) + std::fabs(dot3(n2, t1)));
  f[1] = distance(p1, p2);
}

// BStan2cvfn over spans whose frames are kept between calls (one solve's own block).
struct KeptSpans {
  BStanspans spans;
  KeptFrame frame[2];
};

BSboolean tan2cvfn_kept(int *rc, double *x, double *f, void *block) {
  *rc = 0;
  KeptSpans *kept = *static_cast<KeptSpans *const *>(block);
  double p1[3], t1[3], n1[3], p2[3], t2[3], n2[3];
  if (!kept_frame_at(rc, kept->spans.cv1, x, &kept->frame[0], p1, t1, n1) ||
      !kept_frame_at(rc, kept->spans.cv2, x + 1, &kept->frame[1], p2, t2, n2))
    return BSFALSE;
  tangency_residuals(p1, t1, n1, p2, t2, n2, f);
  return BSTRUE;
}

// The pole of a two-pole segment, unweighted.
void segment_pole(const VOQbsp_curve *seg, int i, double out[3]) {
  const double w = seg->rational ? seg->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = seg->poles[3 * i + c] / w;
}

// Evaluation in ascending order (the array evaluator walks the knots forwards), results in the given order.
void evaluate_samples(int *rc, const VOQbsp_curve *cv, const double *params, int count, double *points) {
  int order[kMaxSamples];
  for (int i = 0; i < count; ++i) order[i] = i;
  for (int i = 1; i < count; ++i)
    for (int j = i; j > 0 && params[order[j - 1]] > params[order[j]]; --j) std::swap(order[j - 1], order[j]);
  double sorted[kMaxSamples] = {}, pts[3 * kMaxSamples];
  for (int i = 0; i < count; ++i) sorted[i] = params[order[i]];
  BScvarreval(rc, cv, sorted, count, 0, pts);
  if (*rc != 0) return;
  for (int i = 0; i < count; ++i) copy3(pts + 3 * i, points + 3 * order[i]);
}

// Samples around c (a list of up to five, c itself kept at index 2 while the lower ones are added).
void sample_around(double c, double h, double lo, double hi, int *count, double *params) {
  *count = 0;
  params[2] = c;
  BSsmplprm(lo, h, 0, count, params);
  params[(*count)++] = c;
  params[2] = c;
  BSsmplprm(hi, h, 1, count, params);
}

}  // namespace

void BSsmplprm(double limit, double h, std::int16_t direction, int *count, double *params) {
  const double c = params[2];
  if (direction == 0) {
    bool limited = false;
    for (int i = 2; i >= 1; --i) {
      const double value = c - i * h;
      if (value > limit) {
        params[(*count)++] = value;
      } else if (!limited) {
        params[(*count)++] = limit;
        limited = true;
      }
    }
  } else {
    for (int i = 1; i <= 2; ++i) {
      const double value = c + i * h;
      if (value >= limit) {
        params[(*count)++] = limit;
        break;
      }
      params[(*count)++] = value;
    }
  }
}

BSboolean BStan2cvfn(int *rc, double *x, double *f, void *block) {
  *rc = 0;
  const BStanspans *spans = *static_cast<BStanspans *const *>(block);
  double p1[3], t1[3], n1[3], p2[3], t2[3], n2[3];
  if (!frame_at(rc, spans->cv1, x, p1, t1, n1) || !frame_at(rc, spans->cv2, x + 1, p2, t2, n2)) return BSFALSE;
  tangency_residuals(p1, t1, n1, p2, t2, n2, f);
  return BSTRUE;
}

BSboolean BStanlnfn(int *rc, double *x, double *f, void *block) {
  *rc = 0;
  const BStanspans *spans = *static_cast<BStanspans *const *>(block);
  double s0[3], s1[3], p[3], t[3], n[3];
  segment_pole(spans->cv1, 0, s0);
  segment_pole(spans->cv1, 1, s1);
  double line[3] = {s1[0] - s0[0], s1[1] - s0[1], s1[2] - s0[2]};
  if (!BSnorvec(rc, line) || !frame_at(rc, spans->cv2, x, p, t, n)) return BSFALSE;
  f[0] = std::fabs(dot3(line, n));
  return BSTRUE;
}

void BSpttan2cvs(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double t1, double t2, double k1, double k2,
                 double *t1_out, double *t2_out, double p1[3], double p2[3], int *rc) {
  *rc = 0;
  do {
    if (!t1_out || !t2_out || !p1 || !p2) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if ((*rc = check_pair(cv1, cv2, t1, t2, k1, k2)) != 0) break;
    double c1[3], c2[3];
    BScveval_n(cv1, t1, 0, c1, rc);
    if (*rc == 0) BScveval_n(cv2, t2, 0, c2, rc);
    if (*rc != 0) break;
    const double d0 = distance(c1, c2), accept = 0.1 * BStoltab[kAcceptTol];

    // With a straight segment on one side only the curved span's parameter is free: the point where its tangent
    // runs along the segment, then checked to lie on the segment.
    const bool line1 = cv1->num_poles == 2, line2 = !line1 && cv2->num_poles == 2;
    const VOQbsp_curve *curved = line1 ? cv2 : cv1, *straight = line1 ? cv1 : cv2;
    BStanspans spans = line1 || line2 ? BStanspans{straight, curved} : BStanspans{cv1, cv2};
    double lo[2], hi[2], start[2], x[2];
    std::uint16_t periodic[2];
    BSnewtonrec rec{};
    if (line1 || line2) {
      lo[0] = lo_par(curved), hi[0] = hi_par(curved), start[0] = line1 ? t2 : t1;
      periodic[0] = curved->phy_closed ? 1 : 0;
      rec.n = 1;
      rec.xtol = line1 ? k2 : k1;
    } else {
      lo[0] = lo_par(cv1), hi[0] = hi_par(cv1), start[0] = t1;
      lo[1] = lo_par(cv2), hi[1] = hi_par(cv2), start[1] = t2;
      periodic[0] = cv1->phy_closed ? 1 : 0;
      periodic[1] = cv2->phy_closed ? 1 : 0;
      rec.n = 2;
      rec.xtol = 0.1 * std::fmin(k1, k2);
    }
    rec.lo = lo, rec.hi = hi;
    rec.ftol = accept;
    rec.max_iter = kTangencyIterations;
    rec.periodic = periodic;
    KeptSpans kept{spans, {}};
    rec.data = line1 || line2 ? static_cast<void *>(&spans) : static_cast<void *>(&kept);
    rec.x0 = start, rec.x = x;
    BSqnwt2(rc, &rec, line1 || line2 ? BStanlnfn : tan2cvfn_kept);
    if (*rc != 0) break;
    if (rec.iterations >= kTangencyIterations) {
      *rc = BSRC_NO_TANGENCY;
      break;
    }
    double u1 = 0, u2 = 0;
    if (line1 || line2) {
      double on_curve[3], foot[3], d = 0, u = 0;
      BSclamppar(curved->knots, curved->order, curved->num_poles, x, rc);
      if (*rc == 0) BScveval_n(curved, x[0], 0, on_curve, rc);
      if (*rc == 0) BSmdstptcv(straight, on_curve, &u, foot, &d, rc);
      if (*rc != 0) break;
      if (d > accept) {
        *rc = BSRC_NO_TANGENCY;
        break;
      }
      u1 = line1 ? u : x[0];
      u2 = line1 ? x[0] : u;
    } else {
      BSclamppar(cv1->knots, cv1->order, cv1->num_poles, x, rc);
      if (*rc == 0) BSclamppar(cv2->knots, cv2->order, cv2->num_poles, x + 1, rc);
      if (*rc != 0) break;
      u1 = x[0], u2 = x[1];
    }
    double q1[3], q2[3];
    BScveval_n(cv1, u1, 0, q1, rc);
    if (*rc == 0) BScveval_n(cv2, u2, 0, q2, rc);
    if (*rc != 0) break;
    // A solution farther apart than the start is no improvement: the start stands.
    const bool better = distance(q1, q2) < d0;
    *t1_out = better ? u1 : t1;
    *t2_out = better ? u2 : t2;
    copy3(better ? q1 : c1, p1);
    copy3(better ? q2 : c2, p2);
  } while (false);
  BSexit(rc, "BSpttan2cvs", "bspttan2cvs");
}

void BSmdstbzbz(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double t1, double t2, double k1, double k2,
                double *t1_out, double *t2_out, double p1[3], double p2[3], double *dist, int *rc) {
  *rc = 0;
  do {
    if (!t1_out || !t2_out || !p1 || !p2 || !dist) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if ((*rc = check_pair(cv1, cv2, t1, t2, k1, k2)) != 0) break;
    const double a1 = lo_par(cv1), b1 = hi_par(cv1), a2 = lo_par(cv2), b2 = hi_par(cv2);
    const double ends_par[2] = {a2, b2};
    double ends[6], c1[3], c2[3];
    BScvarreval(rc, cv2, ends_par, 2, 0, ends);
    if (*rc == 0) BScveval_n(cv1, t1, 0, c1, rc);
    if (*rc == 0) BScveval_n(cv2, t2, 0, c2, rc);
    if (*rc != 0) break;
    // The start is the answer until a pass finds a nearer pair.
    const double d0 = distance(c1, c2), tol = BStoltab[bstol::dist_tol];
    *t1_out = t1, *t2_out = t2, *dist = d0;
    copy3(c1, p1);
    copy3(c2, p2);

    double h1 = kWindowSteps * k1, h2 = kWindowSteps * k2;
    double s1[kMaxSamples], s2[kMaxSamples], pts1[3 * kMaxSamples], pts2[3 * kMaxSamples];
    int n1 = 0, n2 = 0;
    sample_around(t1, h1, a1, b1, &n1, s1);
    evaluate_samples(rc, cv1, s1, n1, pts1);
    // First pass: each sample of span 1 chooses its partner on span 2, an end it lies on or its foot.
    for (int i = 0; i < n1 && *rc == 0; ++i) {
      const double *p = pts1 + 3 * i;
      if (distance(p, ends) <= tol) {
        s2[n2++] = a2;
      } else if (distance(p, ends + 3) <= tol) {
        s2[n2++] = b2;
      } else {
        BSboolean found = 0;
        int position = 0;
        double u = 0;
        BSperpa(rc, cv2, p, p, &found, &u, &position);
        if (*rc == 0 && found) s2[n2++] = u;
      }
    }
    if (*rc != 0) break;
    for (int pass = 1;;) {
      evaluate_samples(rc, cv2, s2, n2, pts2);
      int i1 = 0, i2 = 0;
      double d = 0;
      if (*rc == 0) BSmdstptarr(n1, pts1, n2, pts2, &i1, &i2, &d, rc);
      if (*rc != 0 || n2 == 0 || d > d0) break;
      t1 = s1[i1], t2 = s2[i2];
      ++pass;
      h1 *= kWindowShrink, h2 *= kWindowShrink;
      if (pass > kSamplingPasses || d <= tol) {
        *t1_out = t1, *t2_out = t2, *dist = d;
        copy3(pts1 + 3 * i1, p1);
        copy3(pts2 + 3 * i2, p2);
        break;
      }
      sample_around(t1, h1, a1, b1, &n1, s1);
      sample_around(t2, h2, a2, b2, &n2, s2);
      evaluate_samples(rc, cv1, s1, n1, pts1);
      if (*rc != 0) break;
    }
  } while (false);
  BSexit(rc, "BSmdstbzbz", "bsmdstbzbz");
}
