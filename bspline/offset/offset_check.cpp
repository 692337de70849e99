// The acceptance check of an offset span: each true offset point is projected onto the offset curve by a Newton
// iteration started at its own parameter. The offset is good where the point lies on the curve and its foot lies
// near the curve point of the same parameter, so that the curve follows the true offset in step, not only in
// shape.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

// BSqnwt2's answer when its step is singular or leaves the doubles.
constexpr int kNewtonBroke = -1;

// The projection must resolve the check it serves: a tangential residual or a dead zone of dist_tol would hide
// the offset tolerance when that is set finer than the distance tolerance.
double projection_tol() { return std::fmin(BStoltab[bstol::dist_tol], 0.075 * BStoltab[bstol::offset_tol]); }

// The Newton steps taken with the exact derivative before the damped solver is left to finish.
constexpr int kExactSteps = 8;

// The foot of pt by plain Newton steps on the tangential residual with its exact derivative, from u0 in
// [lo, hi]: the checked points start at their own parameter, on a good offset a step or two from their feet,
// where the damped solver with its difference quotients takes four steps of two evaluations each. It stops
// where that solver does, on the residual (with the same dead zone) or the step; false where it cannot go on
// plainly (a residual whose derivative strays from the squared speed by a tenth of it or more, a step out of the
// range, no convergence in kExactSteps), and the damped solver takes the point from its start, so that it is
// judged as it always was.
bool exact_newton(const VOQbsp_curve *cv, double lo, double hi, double ftol, double xtol, double u0,
                  const double pt[3], double *u, int *rc) {
  const double zone = projection_tol(), dead = std::fmin(BStoltab[bstol::dist_sqtol], zone * zone);
  double x = u0;
  for (int step = 0; step < kExactSteps; ++step) {
    double ev[9];
    BScveval_n(cv, x, 2, ev, rc);
    if (*rc != 0) return false;
    double v[3];
    for (int k = 0; k < 3; ++k) v[k] = ev[k] - pt[k];
    const double sq = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    const double speed_sq = ev[3] * ev[3] + ev[4] * ev[4] + ev[5] * ev[5];
    if (!(speed_sq > 1e-292)) return false;
    const double g = v[0] * ev[3] + v[1] * ev[4] + v[2] * ev[5];
    if (sq < dead || std::fabs(g) / std::sqrt(speed_sq) <= ftol) {
      *u = x;
      return true;
    }
    // Towards a centre of curvature (about a cusp of the offset) the residual flattens, and the damped solver
    // may wander off or give up (the global search then decides) where plain steps find a nearby foot.
    const double rise = speed_sq + v[0] * ev[6] + v[1] * ev[7] + v[2] * ev[8];
    if (!(rise > 0.9 * speed_sq && rise < 1.1 * speed_sq) || !std::isfinite(rise)) return false;
    double next = x - g / rise;
    if (!std::isfinite(next)) return false;
    // A foot beyond a range end is the damped solver's to judge: held at the end, its steps do not shrink, and
    // where it gives up the global search decides.
    if (next < lo || next > hi) return false;
    const double moved = std::fabs(next - x);
    x = next;
    if (moved <= xtol) {
      *u = x;
      return true;
    }
  }
  return false;
}

// The projection on a curve already checked, with its knot tolerance: a caller that projects many points on one
// curve checks it and measures its tolerance once.
void project_near(const VOQbsp_curve *cv, double ktol, double u0, const double pt[3], double *u, double foot[3],
                  double *dist, int *rc) {
  assert(cv && cv->poles && cv->knots && cv->num_poles >= cv->order && std::isfinite(ktol) && std::isfinite(u0) &&
         std::isfinite(pt[0] + pt[1] + pt[2]));
  *rc = 0;
  do {
    double lo = cv->knots[cv->order - 1], hi = cv->knots[cv->num_poles], x = u0;
    const double ftol = projection_tol();
    // The knot tolerance stands for dist_tol along the curve; a finer check needs a finer step in proportion.
    const double xtol = ktol * (projection_tol() / BStoltab[bstol::dist_tol]);
    if (!exact_newton(cv, lo, hi, ftol, xtol, u0, pt, &x, rc)) {
      *rc = 0;
      x = u0;
      // Everything the residual needs travels in the solver's record: nothing is kept between calls.
      BSprptdata data{cv, {pt[0], pt[1], pt[2]}};
      std::uint16_t periodic = cv->phy_closed ? 1 : 0;
      BSnewtonrec rec{};
      rec.lo = &lo;
      rec.hi = &hi;
      rec.ftol = ftol;
      rec.xtol = xtol;
      rec.n = 1;
      rec.max_iter = BSOFFSET_MAX_NEWTON;
      rec.periodic = &periodic;
      rec.data = &data;
      rec.x0 = &u0;
      rec.x = &x;
      BSqnwt2(rc, &rec, BSprptnrfn);
      if (*rc != 0) break;
      if (rec.iterations >= BSOFFSET_MAX_NEWTON) {
        *rc = BSRC_NO_CONVERGENCE;
        break;
      }
    }
    BSclamppar(cv->knots, cv->order, cv->num_poles, &x, rc);
    if (*rc == 0) BScveval_n(cv, x, 0, foot, rc);
    if (*rc != 0) break;
    *u = x;
    *dist = BSpdist(rc, foot, pt);
  } while (false);
}

// The spans of a curve filed by their pole boxes on a grid, for the nearest-point search that takes over where a
// Newton run gives up. The caller only asks whether the curve comes within a reach of the point and where: a span
// whose box, grown by the reach, does not hold the point cannot, so only the few spans about the point are
// searched. A search over every span made each such point cost the whole curve, and a long curve's check
// quadratic. Built at the first point that needs it; where it cannot be built (weights not all positive, boxes
// that would fill the grid many times over, no heap) the whole curve is searched as before.
class SpanGrid {
 public:
  SpanGrid(const VOQbsp_curve *cv, double reach) : cv_(cv), reach_(reach) {}

  // The nearest point of cv to q by the global search, restricted to the spans within reach where the grid
  // stands: *dist is then infinite when none is.
  void nearest(const double q[3], double *u, double foot[3], double *dist, int *rc) {
    if (state_ == 0) state_ = build() ? 1 : -1;
    if (state_ < 0) {
      BSmdstptcv(cv_, q, u, foot, dist, rc);
      return;
    }
    *dist = INFINITY;
    const int c = cell(q[0] / side_ - lo_[0], nx_) + nx_ * cell(q[1] / side_ - lo_[1], ny_);
    int found = 0;
    for (int e = starts_[c]; e < starts_[c + 1]; ++e) {
      const int b = entries_[e];
      const double *box = boxes_ + 6 * b;
      bool holds = true;
      for (int k = 0; k < 3; ++k) holds = holds && q[k] >= box[k] - reach_ && q[k] <= box[3 + k] + reach_;
      if (holds) hits_[found++] = spans_[b];
    }
    std::sort(hits_, hits_ + found);
    // Neighbouring spans within reach searched as one curve: the poles and knots that bear on them.
    const int k = cv_->order;
    for (int i = 0; i < found && *rc == 0;) {
      int j = i;
      while (j + 1 < found && hits_[j + 1] <= hits_[j] + k) ++j;
      const int first = hits_[i] - k + 1;
      VOQbsp_curve run = *cv_;
      run.num_poles = hits_[j] - hits_[i] + k;
      run.num_knots = run.num_poles + k;
      run.poles = cv_->poles + 3 * first;
      run.knots = cv_->knots + first;
      run.weights = cv_->rational ? cv_->weights + first : nullptr;
      run.phy_closed = 0;
      run.periodic = 0;
      run.num_boundaries = 0;
      run.bdrys = nullptr;
      double v = 0, f[3], d = 0;
      BSmdstptcv(&run, q, &v, f, &d, rc);
      if (*rc == 0 && d < *dist) *dist = d, *u = v, std::memcpy(foot, f, sizeof f);
      i = j + 1;
    }
  }

 private:
  // Cell of a coordinate counted in cells from the grid's low corner.
  static int cell(double x, int n) {
    const double at = std::floor(x);
    return !(at >= 0) ? 0 : at >= n - 1 ? n - 1 : static_cast<int>(at);
  }

  // The cells that span b's box, grown by the reach, covers along axis c.
  void cover(int b, int c, int *from, int *to) const {
    const int n = c == 0 ? nx_ : ny_;
    *from = cell((boxes_[6 * b + c] - reach_) / side_ - lo_[c], n);
    *to = cell((boxes_[6 * b + 3 + c] + reach_) / side_ - lo_[c], n);
  }

  bool build() {
    const int k = cv_->order, n = cv_->num_poles;
    if (!std::isfinite(reach_) || !(reach_ >= 0)) return false;
    if (n - k + 1 < kFewSpans) return false;
    if (cv_->rational)
      for (int i = 0; i < n; ++i)
        if (!(cv_->weights[i] > 0)) return false;
    // Six doubles a span for its box; as ints: span indices, cell starts (no more than 4 n + 17) and a query's hits.
    const std::size_t ints = 6 * static_cast<std::size_t>(n) + 32;
    double *work = box_room_.take(6 * static_cast<std::size_t>(n) + ints / 2 + 1);
    if (!work) return false;
    boxes_ = work;
    spans_ = reinterpret_cast<int *>(work + 6 * static_cast<std::size_t>(n));
    double all[4] = {INFINITY, INFINITY, -INFINITY, -INFINITY};
    int m = 0;
    for (int s = k - 1; s < n; ++s) {
      if (!(cv_->knots[s + 1] > cv_->knots[s])) continue;
      double *box = boxes_ + 6 * m;
      for (int c = 0; c < 3; ++c) box[c] = INFINITY, box[3 + c] = -INFINITY;
      for (int i = s - k + 1; i <= s; ++i) {
        const double w = cv_->rational ? cv_->weights[i] : 1.0;
        for (int c = 0; c < 3; ++c) {
          const double x = cv_->poles[3 * i + c] / w;
          box[c] = std::fmin(box[c], x), box[3 + c] = std::fmax(box[3 + c], x);
        }
      }
      for (int c = 0; c < 2; ++c)
        all[c] = std::fmin(all[c], box[c] - reach_), all[2 + c] = std::fmax(all[2 + c], box[3 + c] + reach_);
      spans_[m++] = s;
    }
    const double w = all[2] - all[0], h = all[3] - all[1];
    if (m < kFewSpans || !std::isfinite(w) || !std::isfinite(h)) return false;
    // About one cell a span, none narrower than the reach.
    side_ = std::fmax(std::sqrt(w * h / m), std::fmax(std::fmax(w, h) / m, reach_));
    if (!(side_ > 0) || !std::isfinite(side_)) return false;
    const double cells_x = std::floor(w / side_) + 1, cells_y = std::floor(h / side_) + 1;
    if (!(cells_x * cells_y <= 4.0 * m + 16)) return false;
    nx_ = static_cast<int>(cells_x), ny_ = static_cast<int>(cells_y);
    lo_[0] = all[0] / side_, lo_[1] = all[1] / side_;
    const int ncells = nx_ * ny_;
    starts_ = spans_ + m;
    hits_ = starts_ + ncells + 1;
    std::fill(starts_, starts_ + ncells + 1, 0);
    long total = 0;
    for (int b = 0; b < m; ++b) {
      int x0, x1, y0, y1;
      cover(b, 0, &x0, &x1), cover(b, 1, &y0, &y1);
      // Spans that fill the grid many times over (a curve far longer than the reach in a few spans, or one whose
      // spans pile up): the whole curve is searched.
      total += static_cast<long>(x1 - x0 + 1) * (y1 - y0 + 1);
      if (total > 64L * m + 1024) return false;
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) ++starts_[x + nx_ * y + 1];
    }
    for (int c = 0; c < ncells; ++c) starts_[c + 1] += starts_[c];
    double *block = entry_room_.take(static_cast<std::size_t>(total) / 2 + 1);
    if (!block) return false;
    entries_ = reinterpret_cast<int *>(block);
    for (int b = 0; b < m; ++b) {
      int x0, x1, y0, y1;
      cover(b, 0, &x0, &x1), cover(b, 1, &y0, &y1);
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) entries_[starts_[x + nx_ * y]++] = b;
    }
    // The fill left each cell's start at the next cell's: back by one cell.
    for (int c = ncells; c > 0; --c) starts_[c] = starts_[c - 1];
    starts_[0] = 0;
    return true;
  }

  // A curve of fewer spans is searched whole: the grid would save little, and the search keeps the exits it has
  // always shown.
  static constexpr int kFewSpans = 64;

  const VOQbsp_curve *cv_;
  double reach_;
  int state_ = 0;  // 0 not built yet, 1 built, -1 the whole curve searched
  BSscratch<0> box_room_, entry_room_;
  double *boxes_ = nullptr;
  int *spans_ = nullptr, *starts_ = nullptr, *hits_ = nullptr, *entries_ = nullptr;
  int nx_ = 0, ny_ = 0;
  double lo_[2] = {0, 0}, side_ = 1;
};

}  // namespace

BSboolean BSprptnrfn(int *rc, double *u, double *f, void *data) {
  *rc = 0;
  const BSprptdata *d = *static_cast<BSprptdata *const *>(data);
  const VOQbsp_curve *cv = d->cv;
  double ev[6];
  BSclamppar(cv->knots, cv->order, cv->num_poles, u, rc);
  if (*rc == 0) BScveval_n(cv, *u, 1, ev, rc);
  if (*rc == 0 && BSnorvec(rc, ev + 3)) {
    double v[3];
    for (int k = 0; k < 3; ++k) v[k] = ev[k] - d->pt[k];
    const double sq = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    const double zone = projection_tol();
    *f = sq < std::fmin(BStoltab[bstol::dist_sqtol], zone * zone) ? 0.0 : v[0] * ev[3] + v[1] * ev[4] + v[2] * ev[5];
  }
  BSexit(rc, "BSprptnrfn", "bsprptnrfn");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSprptnrcv(const VOQbsp_curve *cv, double u0, const double pt[3], double *u, double foot[3], double *dist,
                int *rc) {
  *rc = 0;
  do {
    if (!pt || !u || !foot || !dist) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if ((*rc = BScvcheck(cv)) != 0) break;
    if (!std::isfinite(u0) || !BSallfinite(3, pt)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double ktol = 0;
    BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->weights, &ktol, rc);
    if (*rc == 0) project_near(cv, ktol, u0, pt, u, foot, dist, rc);
  } while (false);
  BSexit(rc, "BSprptnrcv", "bsprptnrcv");
}

namespace {

// Point i of params and targets kept as failing (the parameters in kept, their targets from kept + n on), its span of
// span_cv marked in bad (room for n). False with rc set where its span cannot be found.
bool keep_failing(const VOQbsp_curve *span_cv, int n, int i, const double *params, const double *targets,
                  double *kept, int *nbad, int *bad, int *nkeep, BSboolean *ok, int *rc) {
  const int span_poles = span_cv->num_poles;
  int s = 0;
  if (!BSfndspan(rc, span_cv, &span_poles, span_cv->knots, params + i, &s)) return false;
  bad[(*nbad)++] = s;
  *ok = BSFALSE;
  kept[*nkeep] = params[i];
  std::memcpy(kept + n + 3 * *nkeep, targets + 3 * i, 3 * sizeof(double));
  ++*nkeep;
  return true;
}

}  // namespace

void BStstspn1(int n, double tol, double *params, double *targets, const VOQbsp_curve *span_cv,
               const VOQbsp_curve *off_cv, int *nbad, int *bad, int *nkeep, BSboolean *ok, int *rc) {
  bsoffset::check_span(n, tol, params, targets, span_cv, off_cv, nullptr, nbad, bad, nkeep, ok, rc);
}

void bsoffset::check_span(int n, double tol, double *params, double *targets, const VOQbsp_curve *span_cv,
                          const VOQbsp_curve *off_cv, double *points, int *nbad, int *bad, int *nkeep, BSboolean *ok,
                          int *rc) {
  *rc = 0;
  do {
    if (!nbad || !nkeep || !ok) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *nbad = 0;
    *nkeep = 0;
    *ok = BSTRUE;
    if (n > 0 && (!params || !targets || !bad)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if ((*rc = BScvcheck(span_cv)) != 0 || (*rc = BScvcheck(off_cv)) != 0) break;
    if (n < 0 || !(tol >= 0) || !std::isfinite(tol) || !BSallfinite(n, params) || !BSallfinite(3 * n, targets)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (n == 0) break;
    const double t_off = 0.75 * BStoltab[bstol::offset_tol] * (0.75 * BStoltab[bstol::offset_tol]);
    // tol is a length compared with a squared distance on purpose: the foot only has to stay roughly in step.
    const double t_par = std::fmax(tol, t_off);
    BSscratch<300> point_work;
    BSscratch<400> keep_work;
    if (!points) points = point_work.take(3 * static_cast<std::size_t>(n));
    double *kept = keep_work.take(4 * static_cast<std::size_t>(n));
    if (!points || !kept) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *kept_targets = kept + n;
    BScvarrev0(rc, off_cv, params, n, points);
    if (*rc != 0) break;
    // The offset curve and the points were checked above: the projections share its knot tolerance. A fault
    // handler must see every projection's exit, so it gets the checked entry.
    const bool shared = !bstest::slow_roads();
    // A point passes only within sqrt(t_off) of the offset: the search past a Newton run that gave up looks no
    // farther (the slow road searches the whole curve).
    SpanGrid near_spans(off_cv, std::sqrt(t_off) + BStoltab[bstol::dist_tol]);
    double ktol = 0;
    if (shared) {
      BScvkttol2(off_cv->order, off_cv->knots, off_cv->num_poles, off_cv->poles, off_cv->weights, &ktol, rc);
      if (*rc != 0) BSexit(rc, "BSprptnrcv", "bsprptnrcv");
    }
    for (int i = 0; i < n && *rc == 0; ++i) {
      double u = 0, foot[3] = {targets[3 * i], targets[3 * i + 1], targets[3 * i + 2]}, d = 0;
      if (!shared) {
        BSprptnrcv(off_cv, params[i], targets + 3 * i, &u, foot, &d, rc);
      } else {
        project_near(off_cv, ktol, params[i], targets + 3 * i, &u, foot, &d, rc);
        if (*rc != 0) BSexit(rc, "BSprptnrcv", "bsprptnrcv");
      }
      // A Newton run that gives up (its iterations used up, or a flat residual or a step out of the doubles on a
      // wild curve) has only missed the nearest point; the global search finds it.
      if (*rc == BSRC_NO_CONVERGENCE || *rc == kNewtonBroke) {
        if (shared) {
          *rc = 0;
          near_spans.nearest(targets + 3 * i, &u, foot, &d, rc);
        } else {
          BSmdstptcv(off_cv, targets + 3 * i, &u, foot, &d, rc);
        }
      }
      if (*rc != 0) break;
      const double d_par = BSpdistsq(rc, foot, points + 3 * i);
      if (d * d <= t_off && d_par <= t_par) continue;
      if (!keep_failing(span_cv, n, i, params, targets, kept, nbad, bad, nkeep, ok, rc)) break;
    }
    if (*rc != 0) break;
    std::memcpy(params, kept, static_cast<std::size_t>(*nkeep) * sizeof(double));
    std::memcpy(targets, kept_targets, 3 * static_cast<std::size_t>(*nkeep) * sizeof(double));
    int m = 0;
    for (int j = 0; j < *nbad; ++j)
      if (m == 0 || bad[m - 1] != bad[j]) bad[m++] = bad[j];
    *nbad = m;
  } while (false);
  BSexit(rc, "BStstspn1", "bststspn1");
}

void bsoffset::foot_distance(const VOQbsp_curve *cv, double ktol, double u0, const double pt[3], double *dist,
                             int *rc) {
  double u = 0, foot[3];
  project_near(cv, ktol, u0, pt, &u, foot, dist, rc);
  if (*rc == BSRC_NO_CONVERGENCE || *rc == kNewtonBroke) BSmdstptcv(cv, pt, &u, foot, dist, rc);
}

void bsoffset::check_distance(int n, double dist, double *params, double *targets, const VOQbsp_curve *span_cv,
                              const double *points, const double *on_curve, int *nbad, int *bad, int *nkeep,
                              BSboolean *ok, int *rc) {
  *rc = 0;
  *nbad = 0;
  *nkeep = 0;
  *ok = BSTRUE;
  do {
    if (n == 0) break;
    BSscratch<400> keep_work;
    double *kept = keep_work.take(4 * static_cast<std::size_t>(n));
    if (!kept) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *kept_targets = kept + n;
    const double far = dist + 2 * BStoltab[bstol::offset_tol];
    // Only whether the curve comes within far of a point decides: the search past a Newton run that gave up looks
    // no farther (the slow road searches the whole curve).
    SpanGrid near_spans(span_cv, far + BStoltab[bstol::dist_tol]);
    double ktol = -1;
    for (int i = 0; i < n; ++i) {
      const double *q = points + 3 * i;
      int prc = 0;
      // No nearer than the curve point of its own parameter, in the plane: within reach of that, the point keeps
      // the distance.
      const double dx = q[0] - on_curve[3 * i], dy = q[1] - on_curve[3 * i + 1];
      if (dx * dx + dy * dy <= far * far) continue;
      if (ktol < 0) {
        BScvkttol2(span_cv->order, span_cv->knots, span_cv->num_poles, span_cv->poles, span_cv->weights, &ktol, &prc);
        if (prc != 0) break;
      }
      // Where the Newton projection gives up (by a near-cusp at an end), the nearest point decides: a point
      // farther than that from the whole curve strays wherever its foot lies.
      double e = 0, u = 0, foot[3];
      project_near(span_cv, ktol, params[i], q, &u, foot, &e, &prc);
      if (prc == BSRC_NO_CONVERGENCE || prc == kNewtonBroke) {
        prc = 0;
        if (bstest::slow_roads())
          BSmdstptcv(span_cv, q, &u, foot, &e, &prc);
        else
          near_spans.nearest(q, &u, foot, &e, &prc);
      }
      if (prc != 0 || !(e > far)) continue;
      if (!keep_failing(span_cv, n, i, params, targets, kept, nbad, bad, nkeep, ok, rc)) break;
    }
    if (*rc != 0) break;
    // The points come in any order: the few failing ones and their spans are put in order.
    for (int j = 1; j < *nkeep; ++j)
      for (int m = j; m > 0 && kept[m - 1] > kept[m]; --m) {
        std::swap(kept[m - 1], kept[m]);
        for (int c = 0; c < 3; ++c) std::swap(kept_targets[3 * (m - 1) + c], kept_targets[3 * m + c]);
      }
    std::sort(bad, bad + *nbad);
    *nbad = static_cast<int>(std::unique(bad, bad + *nbad) - bad);
    std::memcpy(params, kept, static_cast<std::size_t>(*nkeep) * sizeof(double));
    std::memcpy(targets, kept_targets, 3 * static_cast<std::size_t>(*nkeep) * sizeof(double));
  } while (false);
}
