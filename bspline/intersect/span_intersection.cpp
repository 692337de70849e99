// Two Bezier spans meet where their ends do, or in the interior. The ends are settled first and exactly; then each
// pair goes to the cheapest exact method: spans that coincide between two end results are an overlap, a straight
// span or a circular arc against a straight span or an arc meets in closed form, and anything else goes to the
// polygon intersector. The end results and the interior ones come back as one list along the first span.
#include <algorithm>
#include <cfloat>
#include <cstring>

#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/intersect/polygon_intersector.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/numerics.h"

namespace {

enum SpanKind { kArc = 0, kLine = 1, kGeneral = 2 };

// A span's kind, with the circle of an arc; degenerate is set for a two-pole span shorter than sqrt(dist_sqtol).
struct Classified {
  SpanKind kind = kGeneral;
  bool degenerate = false;
  double centre[3] = {0, 0, 0};
  double radius = DBL_MAX;
};

void classify(const VOQbsp_curve *cv, Classified *out, int *rc) {
  if (cv->order == 2) {
    const double sq = cv->rational ? BShpdistsq(rc, cv->poles, cv->weights[0], cv->poles + 3, cv->weights[1])
                                   : BSpdistsq(rc, cv->poles, cv->poles + 3);
    if (*rc != 0) return;
    out->degenerate = sq < BStoltab[bstol::dist_sqtol];
    out->kind = kLine;
    return;
  }
  BSboolean collinear = BSFALSE;
  BScollinmn3(cv, &collinear, rc);
  if (*rc != 0) return;
  if (collinear) {
    out->kind = kLine;
    return;
  }
  if (!cv->rational) return;
  // The standard arc that the test rebuilds has at most 7 poles; it is not used here.
  bsknots::FixedCurve<7, 3> arc;
  std::uint16_t is_arc = 0;
  double centre[3], radius = DBL_MAX;
  BStstcvfarc(cv, &is_arc, centre, &radius, &arc.cv, rc);
  // A span the arc test cannot judge is no worse for the general method.
  if (*rc != 0) {
    *rc = 0;
    return;
  }
  if (is_arc != 0) {
    out->kind = kArc;
    std::memcpy(out->centre, centre, sizeof centre);
    out->radius = radius;
  }
}

// Whether the span's poles lie on one line. Weights too uneven for the pole test (rc 49) do not make a valid span
// fail: two poles always lie on one line, and more are judged on the refined poles.
bool straight(const VOQbsp_curve *cv, int *rc) {
  int kind = 0;
  double dir[3];
  BSptlnplan(cv->num_poles, cv->rational, cv->poles, cv->rational ? cv->weights : nullptr, &kind, dir, rc);
  if (*rc != BSRC_DEGENERATE) return *rc == 0 && kind == BSKIND_LINE;
  *rc = 0;
  if (cv->order == 2) return true;
  BSboolean collinear = BSFALSE;
  BScollinmn3(cv, &collinear, rc);
  return *rc == 0 && collinear;
}

// Whether a span runs one way from its first pole to its last: the projections of its poles (Cartesian) onto that
// chord never fall back. A straight span that turns back covers part of its stretch twice, so two end results
// on it need not bound a common stretch.
bool one_way(const VOQbsp_curve *cv) {
  const int n = cv->num_poles;
  auto pole = [cv](int i, double *p) {
    const double w = cv->rational ? cv->weights[i] : 1.0;
    for (int c = 0; c < 3; ++c) p[c] = cv->poles[3 * i + c] / w;
  };
  double a[3], b[3], dir[3];
  pole(0, a);
  pole(n - 1, b);
  for (int c = 0; c < 3; ++c) dir[c] = b[c] - a[c];
  const double len2 = dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2];
  if (!(len2 > 0)) return false;
  double prev = 0;
  for (int i = 1; i < n; ++i) {
    double p[3];
    pole(i, p);
    const double along = (p[0] - a[0]) * dir[0] + (p[1] - a[1]) * dir[1] + (p[2] - a[2]) * dir[2];
    if (along < prev - 1e-12 * len2) return false;
    prev = std::max(prev, along);
  }
  return true;
}

// The spans taken here: one Bezier span each, of an order the polygon intersector accepts.
int check_span(const VOQbsp_curve *cv) {
  if (const int bad = BScvcheck(cv)) return bad;
  if (cv->order < 2 || cv->order > BSXBZ_MAX_ORDER || cv->num_poles != cv->order) return BSRC_OUT_OF_RANGE;
  return 0;
}

// Whether a span's end knots are full, so that it starts and ends on its end poles.
bool clamped(const VOQbsp_curve *cv) {
  const int k = cv->order;
  for (int i = 1; i < k; ++i)
    if (cv->knots[i] != cv->knots[0] || cv->knots[k + i] != cv->knots[k]) return false;
  return true;
}

// A span record whose end knots are not full does not pass through its end poles, which the end and interior
// methods take as its ends: it is clamped in a copy of its own, over the same range.
struct Clamped {
  bsknots::FixedCurve<BSXBZ_MAX_ORDER, BSXBZ_MAX_ORDER> copy;
  VOQbsp_curve *take(VOQbsp_curve *cv, int *rc) {
    if (clamped(cv)) return cv;
    BScv_copy(rc, cv, &copy.cv);
    if (*rc == 0) BScnvtomkt(rc, &copy.cv);
    return &copy.cv;
  }
};

void copy_results(int count, const double *pts, const double *u1, const double *u2, double *out_pts,
                  double *out_u1, double *out_u2) {
  std::memcpy(out_pts, pts, 3 * static_cast<std::size_t>(count) * sizeof(double));
  std::memcpy(out_u1, u1, static_cast<std::size_t>(count) * sizeof(double));
  std::memcpy(out_u2, u2, static_cast<std::size_t>(count) * sizeof(double));
}

// The interior results under the tangency flag less those that are an end result's touch again, kept in their
// order; the count left. The flag lets the results' merge drop every interior result within the wide touch distance
// of an end result, but a shallow crossing there, with the spans parting between it and the end, is a meeting of
// its own and stays. What lies within dist_tol of an end result is left to the merge.
int drop_touch_repeats(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int n_end, const double *end_pts,
                       const double *end_par1, const double *end_par2, int m, double *pts, double *par1,
                       double *par2, int *rc) {
  const double sqtol = BStoltab[bstol::dist_sqtol], wide = BSTOUCH_DROP_FACTOR * sqtol;
  int kept = 0;
  for (int j = 0; j < m && *rc == 0; ++j) {
    bool repeat = false;
    for (int i = 0; i < n_end && !repeat && *rc == 0; ++i) {
      const double sq = BSpdistsq(rc, end_pts + 3 * i, pts + 3 * j);
      repeat = *rc == 0 && sq >= sqtol && sq < wide &&
               bsxbz::one_touch(cv1, cv2, end_pts + 3 * i, end_par1[i], end_par2[i], pts + 3 * j, par1[j], par2[j],
                                wide, rc);
    }
    if (repeat || *rc != 0) continue;
    if (kept < j) copy_results(1, pts + 3 * j, par1 + j, par2 + j, pts + 3 * kept, par1 + kept, par2 + kept);
    ++kept;
  }
  return kept;
}

}  // namespace

void BSbzbz_int(VOQbsp_curve *cv1, VOQbsp_curve *cv2, int *n, double *points, double *par1, double *par2,
                BSboolean *overlap, int *rc) {
  *rc = 0;
  if (n) *n = 0;
  if (overlap) *overlap = BSFALSE;
  do {
    if (!cv1 || !cv2 || !n || !points || !par1 || !par2 || !overlap) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if ((*rc = check_span(cv1)) != 0 || (*rc = check_span(cv2)) != 0) break;
    Clamped own1, own2;
    cv1 = own1.take(cv1, rc);
    if (*rc == 0) cv2 = own2.take(cv2, rc);
    if (*rc != 0) break;

    double end_pts[6], end_par1[2], end_par2[2];
    int n_end = 0;
    if (!BSendpoint(rc, cv1, cv2, &n_end, end_pts, end_par1, end_par2)) break;

    // Two end results bound a common stretch when both spans run one way along one line, or when the spans agree
    // between them.
    if (n_end == 2) {
      const bool both = straight(cv1, rc) && straight(cv2, rc) && one_way(cv1) && one_way(cv2);
      if (*rc != 0) break;
      if (both)
        *overlap = BSTRUE;
      else
        BSbzoverlap(cv1, cv2, end_par1, end_par2, overlap, rc);
      if (*rc != 0) break;
      if (*overlap) {
        copy_results(2, end_pts, end_par1, end_par2, points, par1, par2);
        *n = 2;
        break;
      }
    }

    Classified c1, c2;
    classify(cv1, &c1, rc);
    // A span collapsed to a point meets the other only where an end does.
    if (*rc == 0 && !c1.degenerate) classify(cv2, &c2, rc);
    if (*rc != 0) break;
    if (c1.degenerate || c2.degenerate) {
      copy_results(n_end, end_pts, end_par1, end_par2, points, par1, par2);
      *n = n_end;
      break;
    }

    // Room for everything the polygon intersector can return; the closed forms give at most 2.
    static_assert(BSXBZ_MAX_RESULTS >= 2, "the closed forms fit the interior arrays");
    double int_pts[3 * BSXBZ_MAX_RESULTS], int_par1[BSXBZ_MAX_RESULTS], int_par2[BSXBZ_MAX_RESULTS];
    std::int32_t m = 0;
    BSboolean tangency = BSFALSE;
    const int sum = c1.kind + c2.kind;
    if (sum <= kLine) {
      std::int16_t m16 = 0;
      if (sum == kArc) {
        BSxbzarcarc(cv1, c1.centre, c1.radius, cv2, c2.centre, c2.radius, &m16, int_pts, int_par1, int_par2, rc);
      } else if (c1.kind == kLine) {
        BSxbzlnarc(cv1, cv2, c2.centre, c2.radius, &m16, int_pts, int_par1, int_par2, rc);
      } else {
        BSxbzlnarc(cv2, cv1, c1.centre, c1.radius, &m16, int_pts, int_par2, int_par1, rc);
      }
      m = m16;
      // The closed forms find the meetings at the ends as well, exactly.
      if (*rc == 0 && m >= 1) n_end = 0;
    } else {
      BSxbzs4(cv1, cv2, &m, int_pts, int_par1, int_par2, &tangency, rc);
    }
    if (*rc != 0) break;
    if (tangency && n_end > 0 && m > 0) {
      m = drop_touch_repeats(cv1, cv2, n_end, end_pts, end_par1, end_par2, m, int_pts, int_par1, int_par2, rc);
      if (*rc != 0) break;
      tangency = BSFALSE;
    }

    if (n_end > 0 || m > 0)
      BScvcv_comb(n_end, m, tangency, end_pts, int_pts, end_par1, end_par2, int_par1, int_par2, n, points, par1,
                  par2, rc);
  } while (false);
  BSexit(rc, "BSbzbz_int", "bsbzbz_int");
}
