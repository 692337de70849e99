// Where two spans of a chain meet they mostly meet at their ends, which an interior method finds badly: the ends
// are settled here first and exactly, then merged with the interior results into one list along the first span.
#include <cmath>
#include <cstring>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/intersect/span_end_foot.h"
#include "bspline/knots.h"

namespace {

constexpr int kEndTol = 18;  // tolerance entry within which two ends, or an end and a span, are a candidate

// A span's end: its point (pole 0 or pole order - 1, as a point) and its parameter.
struct SpanEnd {
  double pt[3];
  double par;
};

SpanEnd span_end(const VOQbsp_curve &cv, bool last) {
  const int i = last ? cv.order - 1 : 0;
  const double w = cv.rational ? cv.weights[i] : 1.0;
  SpanEnd e{};
  for (int c = 0; c < 3; ++c) e.pt[c] = cv.poles[3 * i + c] / w;
  e.par = cv.knots[last ? cv.num_poles : cv.order - 1];
  return e;
}

struct EndResults {
  int n = 0;
  double *pts, *par1, *par2;
  bool coincident[2] = {false, false};

  // A later candidate counts only apart from result 0 on both spans and from every recorded point.
  bool distinct(double u1, double u2, const double pt[3], double k1, double k2, double sqtol) const {
    return n == 0 || (std::fabs(u1 - par1[0]) >= k1 && std::fabs(u2 - par2[0]) >= k2 &&
                      !BSptnearlst(pt, n, pts, sqtol));
  }
  void record(const double a[3], const double b[3], double u1, double u2, bool coinc) {
    for (int c = 0; c < 3; ++c) pts[3 * n + c] = (a[c] + b[c]) / 2;
    par1[n] = u1;
    par2[n] = u2;
    coincident[n] = coinc;
    ++n;
  }
};

// The code of the first damaged record of the two (0 when both can be read).
int check_pair(const VOQbsp_curve *a, const VOQbsp_curve *b) {
  const int bad = BScvcheck(a);
  return bad != 0 ? bad : BScvcheck(b);
}

// The foot of point on cv at the current distance tolerance: settled on the span where it can be, else by the
// global search.
void end_foot(const VOQbsp_curve *cv, const double point[3], double *par, double foot[3], double *dist, int *rc) {
  if (!bsendfoot::local_foot(*cv, point, BStoltab[bstol::dist_tol], par, foot, dist))
    BSmdstptcv(cv, point, par, foot, dist, rc);
}

void copy_result(const double *pts, const double *par1, const double *par2, int from, double *out_pts,
                 double *out_par1, double *out_par2, int to) {
  std::memmove(out_pts + 3 * to, pts + 3 * from, 3 * sizeof(double));
  out_par1[to] = par1[from];
  out_par2[to] = par2[from];
}

}  // namespace

BSboolean BSptnearlst(const double point[3], int count, const double *points, double tol) {
  for (int i = 0; i < count; ++i) {
    const double *p = points + 3 * i;
    const double sq =
        (p[0] - point[0]) * (p[0] - point[0]) + (p[1] - point[1]) * (p[1] - point[1]) + (p[2] - point[2]) * (p[2] - point[2]);
    if (sq < tol) return BSTRUE;
  }
  return BSFALSE;
}

BSboolean BSendpoint(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int *n, double pts[6], double par1[2],
                     double par2[2]) {
  *rc = 0;
  if (n) *n = 0;
  const double saved_tol = BStoltab[bstol::dist_tol], saved_sqtol = BStoltab[bstol::dist_sqtol];
  const double r = BStoltab[kEndTol], r2 = r * r;
  EndResults res{0, pts, par1, par2};
  bool changed = false;
  if (!cv1 || !cv2 || !n || !pts || !par1 || !par2) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int bad = check_pair(cv1, cv2)) {
    *rc = bad;
  } else {
    double k1 = 0, k2 = 0;
    BScvkttol2(cv1->order, cv1->knots, cv1->num_poles, cv1->poles, cv1->weights, &k1, rc);
    if (*rc == 0) BScvkttol2(cv2->order, cv2->knots, cv2->num_poles, cv2->poles, cv2->weights, &k2, rc);
    const SpanEnd ends1[2] = {span_end(*cv1, false), span_end(*cv1, true)};
    const SpanEnd ends2[2] = {span_end(*cv2, false), span_end(*cv2, true)};
    bool recorded[2][2] = {{false, false}, {false, false}};  // [end of span 1][end of span 2]
    for (int pair = 0; pair < 4 && *rc == 0; ++pair) {
      const SpanEnd &X = ends1[pair / 2], &Y = ends2[pair % 2];
      const double d2 = BSpdistsq(rc, X.pt, Y.pt);
      if (*rc != 0 || !(d2 < r2) || res.n >= 2) continue;
      double mid[3];
      for (int c = 0; c < 3; ++c) mid[c] = (X.pt[c] + Y.pt[c]) / 2;
      if (!res.distinct(X.par, Y.par, mid, k1, k2, saved_sqtol)) continue;
      double u1 = X.par, u2 = Y.par, A[3], B[3], dist = 0;
      std::memcpy(A, X.pt, sizeof A);
      std::memcpy(B, Y.pt, sizeof B);
      bool coinc = d2 < saved_sqtol;
      if (!coinc) {
        end_foot(cv1, Y.pt, &u1, A, &dist, rc);
        coinc = *rc == 0 && dist <= saved_tol;
      }
      if (*rc == 0 && !coinc) {
        end_foot(cv2, X.pt, &u2, B, &dist, rc);
        coinc = *rc == 0 && dist < saved_tol;
      }
      if (*rc != 0) break;
      res.record(A, B, u1, u2, coinc);
      recorded[pair / 2][pair % 2] = true;
    }
    if (*rc == 0 && res.n == 2 &&
        !(std::fabs(par1[1] - par1[0]) >= k1 && std::fabs(par2[1] - par2[0]) >= k2 &&
          !BSptnearlst(pts + 3, 1, pts, saved_sqtol)))
      res.n = 1;
    else if (*rc == 0 && res.n < 2) {
      // The free ends are projected at the candidate distance, the projection's own tolerances with it.
      int trc = 0;
      changed = true;
      if (BSchangepar(&trc, bstol::dist_tol, r) && BSchangepar(&trc, bstol::dist_sqtol, r2)) {
        struct Try {
          int side;  // 1: an end of span 2 onto span 1; 2: an end of span 1 onto span 2
          int end;
        } tries[4] = {{1, 0}, {1, 1}, {2, 0}, {2, 1}};
        for (const Try &t : tries) {
          if (*rc != 0 || res.n >= 2) break;
          const bool taken = t.side == 1 ? recorded[0][t.end] || recorded[1][t.end]
                                         : recorded[t.end][0] || recorded[t.end][1];
          if (taken) continue;
          const SpanEnd &E = t.side == 1 ? ends2[t.end] : ends1[t.end];
          const VOQbsp_curve *onto = t.side == 1 ? cv1 : cv2;
          // An end certainly out of reach of the span is passed over unprojected, as its foot would be.
          if (!bstest::switches.global_feet && bsendfoot::beyond(*onto, E.pt, r)) continue;
          double u = 0, foot[3], dist = 0;
          end_foot(onto, E.pt, &u, foot, &dist, rc);
          if (*rc != 0 || !(dist < r)) continue;
          const double u1 = t.side == 1 ? u : E.par, u2 = t.side == 1 ? E.par : u;
          if (!res.distinct(u1, u2, foot, k1, k2, saved_sqtol)) continue;
          res.record(E.pt, foot, u1, u2, dist < saved_tol);
        }
      }
    }
  }
  if (changed) {
    // Put back on every path, with a code of their own so that a callee's failure is what the caller sees.
    int trc1 = 0, trc2 = 0;
    BSchangepar(&trc1, bstol::dist_tol, saved_tol);
    BSchangepar(&trc2, bstol::dist_sqtol, saved_sqtol);
    if (*rc == 0) *rc = trc1 != 0 ? trc1 : trc2;
  }
  if (res.n == 2 && par1[1] < par1[0]) {
    double tp[3];
    std::memcpy(tp, pts, sizeof tp);
    std::memmove(pts, pts + 3, sizeof tp);
    std::memcpy(pts + 3, tp, sizeof tp);
    std::swap(par1[0], par1[1]);
    std::swap(par2[0], par2[1]);
  }
  if (res.n == 1 && !res.coincident[0]) res.n = 0;
  if (n) *n = res.n;
  BSexit(rc, "BSendpoint", "bsendpoint");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSpt_pt(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int *n, double point[3], double *par1,
                  double *par2) {
  *rc = 0;
  if (n) *n = 0;
  if (!cv1 || !cv2 || !n || !point || !par1 || !par2) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int bad = check_pair(cv1, cv2)) {
    *rc = bad;
  } else {
    const double saved_sqtol = BStoltab[bstol::dist_sqtol];
    double pts[6], u1[2], u2[2];
    int found = 0;
    if (BSchangepar(rc, bstol::dist_sqtol, saved_sqtol * saved_sqtol)) {
      BSendpoint(rc, cv1, cv2, &found, pts, u1, u2);
      int trc = 0;
      BSchangepar(&trc, bstol::dist_sqtol, saved_sqtol);
      if (*rc == 0) *rc = trc;
    }
    if (*rc == 0 && found == 2) {
      // Two points that are both single points: one result, in the middle of each range.
      for (int c = 0; c < 3; ++c) point[c] = (pts[c] + pts[3 + c]) / 2;
      *par1 = (cv1->knots[cv1->order - 1] + cv1->knots[cv1->num_poles]) / 2;
      *par2 = (cv2->knots[cv2->order - 1] + cv2->knots[cv2->num_poles]) / 2;
      *n = 1;
    } else if (*rc == 0 && found == 1) {
      copy_result(pts, u1, u2, 0, point, par1, par2, 0);
      *n = 1;
    }
  }
  BSexit(rc, "BSpt_pt", "bspt_pt");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BScvcv_comb(int n_end, int n_int, BSboolean tangency, double *end_pts, double *int_pts, double *end_par1,
                 double *end_par2, double *int_par1, double *int_par2, int *n, double *pts, double *par1, double *par2,
                 int *rc) {
  *rc = 0;
  if (n) *n = 0;
  std::uint16_t local_keep[100];
  std::uint16_t *keep = local_keep;
  double *scratch = nullptr;
  if (!n || (n_end > 0 && (!end_pts || !end_par1 || !end_par2)) ||
      (n_int > 0 && (!int_pts || !int_par1 || !int_par2)) || (n_end + n_int > 0 && (!pts || !par1 || !par2))) {
    *rc = BSRC_NULL_CURVE;
  } else if (n_end < 0 || n_int < 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n_int > 100) {
    scratch = BSscratchtake((static_cast<std::size_t>(n_int) * sizeof(std::uint16_t) + sizeof(double) - 1) /
                                sizeof(double),
                            nullptr);
    if (!scratch)
      *rc = BSRC_NO_SCRATCH;
    else
      keep = reinterpret_cast<std::uint16_t *>(scratch);
  }
  if (*rc == 0) {
    int kept = n_int;
    for (int j = 0; j < n_int; ++j) keep[j] = 1;
    if (n_end > 0 && n_int > 0) {
      const double threshold = BStoltab[bstol::dist_sqtol] * (tangency ? BSTOUCH_DROP_FACTOR : 1.0);
      for (int i = 0; i < n_end && *rc == 0; ++i)
        for (int j = 0; j < n_int && *rc == 0; ++j)
          if (keep[j] && BSpdistsq(rc, end_pts + 3 * i, int_pts + 3 * j) < threshold) {
            keep[j] = 0;
            --kept;
          }
    }
    // The callers' arrays hold BSSPAN_RESULTS merged results: a longer list is refused whole, never cut short.
    if (*rc == 0 && n_end + kept > BSSPAN_RESULTS) *rc = BSRC_TOO_MANY_RESULTS;
    int out = 0, next_end = 0;
    for (int j = 0; j < n_int && *rc == 0; ++j) {
      if (!keep[j]) continue;
      while (next_end < n_end && end_par1[next_end] <= int_par1[j])
        copy_result(end_pts, end_par1, end_par2, next_end++, pts, par1, par2, out++);
      copy_result(int_pts, int_par1, int_par2, j, pts, par1, par2, out++);
    }
    while (*rc == 0 && next_end < n_end) copy_result(end_pts, end_par1, end_par2, next_end++, pts, par1, par2, out++);
    if (*rc == 0) *n = out;
  }
  BSscratchrelease(scratch);
  BSexit(rc, "BScvcv_comb", "bscvcv_comb");
}
