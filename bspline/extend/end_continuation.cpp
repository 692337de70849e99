// A curve continued past one of its ends along the polynomial of its end span (for a rational curve its homogeneous
// polynomial): the curve is not re-fitted, so the old range keeps its points exactly. New poles come from the
// blossom of the end span; a rational continuation whose weights sink toward zero is shortened to where the weight
// function reaches a small level. The continuation is then checked: one that turns back is cut before the turn,
// one that runs back over the curve is limited at the overlap, and one that crosses the curve is not used.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/extend.h"
#include "bspline/extend/extend_internal.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/plane_intersection.h"

namespace {

constexpr int kMaxOrder = 16;
constexpr int kMaxLevels = 10;            // recursion levels of the rational continuation
constexpr double kWeightFloor = 0.25;     // of the mean weight
constexpr double kWeightLevel = 0.004;    // where a sinking weight function is cut
constexpr double kRootTol = 1e-12;
constexpr double kBlowUp = 10000.0;
constexpr double kDerivativeFloor = 1e-10;
constexpr double kFullTurn = 6.283185307179586;

double range_start(const VOQbsp_curve *cv) { return cv->knots[cv->order - 1]; }
double range_end(const VOQbsp_curve *cv) { return cv->knots[cv->num_poles]; }

bool weights_hold(int n, const double *w) {
  double mean = 0;
  for (int i = 0; i < n; ++i) mean += w[i];
  mean /= n;
  for (int i = 0; i < n; ++i)
    if (!(w[i] >= kWeightFloor * mean)) return false;
  return true;
}

void release(VOQbsp_curve *&cv) {
  if (!cv) return;
  int rc = 0;
  BSfreevoqcv(cv, &rc);
  cv = nullptr;
}

// A new record holding a copy of cv.
void copy_of(int *rc, const VOQbsp_curve *cv, VOQbsp_curve **out) {
  BSallocvoqcv(cv->order, cv->num_poles, cv->rational, 0, out, rc);
  if (*rc == 0 && !BScv_copy(rc, cv, *out) && *rc == 0) *rc = BSRC_ZERO_WEIGHT;
  if (*rc != 0) release(*out);
}

// A record whose curve was refused: order above 16 or damaged.
int refused(const VOQbsp_curve *cv) {
  if (const int bad = BScvcheck(cv)) return bad;
  return cv->order < 2 || cv->order > kMaxOrder ? BSRC_OUT_OF_RANGE : 0;
}

void header_like(const VOQbsp_curve *cv, VOQbsp_curve *out) {
  out->order = cv->order;
  out->periodic = cv->periodic;
  out->non_uniform = 1;
  out->num_poles = cv->num_poles;
  out->num_knots = cv->num_poles + cv->order;
  out->rational = cv->rational;
  if (!cv->rational) out->weights = nullptr;
  out->planar = cv->planar;
  out->phy_closed = cv->phy_closed;
  out->num_boundaries = 0;
  out->bdrys = nullptr;
}

// The continued end span's poles written into *out (allocated like cv).
void continue_poles(int *rc, const VOQbsp_curve *cv, double target, VOQbsp_curve *out) {
  const int n = cv->num_poles, k = cv->order;
  const double a = range_start(cv), b = range_end(cv);
  if (!cv->rational) {
    BSextpolcv1(3, k, n, cv->poles, cv->knots, a, b, target, out->poles, out->knots, rc);
    return;
  }
  BSscratch<4 * 300> work;
  double *packed = work.take(4 * static_cast<std::size_t>(n));
  if (!packed) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  for (int i = 0; i < n; ++i) {
    std::memcpy(packed + 4 * i, cv->poles + 3 * i, 3 * sizeof(double));
    packed[4 * i + 3] = cv->weights[i];
  }
  BSextpolcv1(4, k, n, packed, cv->knots, a, b, target, packed, out->knots, rc);
  for (int i = 0; i < n && *rc == 0; ++i) {
    std::memcpy(out->poles + 3 * i, packed + 4 * i, 3 * sizeof(double));
    out->weights[i] = packed[4 * i + 3];
  }
}

// The continuation of the curve with its end span's polynomial, recursion counted in *level.
void continue_rational(int *rc, const VOQbsp_curve *cv, double target, int *level, VOQbsp_curve **out,
                       double *reached);

// Whether the curve with the new poles (fresh, the k - 1 poles at the continued end) and the continued end knots
// keeps its points over the old spans that those poles reach. In exact arithmetic the blossom makes it so; but a
// short end span evaluated far beyond itself (the blossom of a span a hundredth of its neighbours' length, at their
// knots) loses digits to a power of the degree, and the old curve would move by up to the distance tolerance and
// beyond without a pole running away. Checked at interior points of each of those spans, on a window of the
// poles and knots around them.
bool keeps_old_range(int dim, int k, int n, const double *poles, const double *knots, const double *fresh,
                     double target, bool at_end) {
  const int first = at_end ? n - k + 1 : 0;
  // Spans whose poles include a new one, and the window of poles and knots that they use.
  const int s0 = at_end ? std::max(k - 1, n - k + 1) : k - 1, s1 = at_end ? n - 1 : std::min(n - 1, 2 * k - 3);
  const int w0 = s0 - (k - 1), w1 = s1;  // poles w0..w1, knots w0..w1 + k
  double wp[4 * 3 * kMaxOrder], wk[4 * kMaxOrder];
  for (int i = w0; i <= w1; ++i)
    for (int c = 0; c < dim; ++c)
      wp[dim * (i - w0) + c] = i >= first && i < first + k - 1 ? fresh[dim * (i - first) + c] : poles[dim * i + c];
  for (int i = w0; i <= w1 + k; ++i) wk[i - w0] = (at_end ? i >= n : i < k) ? target : knots[i];
  // Rounding, not the distance tolerance: the fallback keeps the old range exactly.
  const double tol = 1e-3 * BStoltab[bstol::dist_tol];
  for (int s = s0; s <= s1; ++s) {
    if (!(knots[s] < knots[s + 1])) continue;
    for (int j = 1; j <= 4; ++j) {
      const double u = knots[s] + (knots[s + 1] - knots[s]) * j / 5;
      double args[kMaxOrder], was[4], now[4];
      for (int r = 0; r + 1 < k; ++r) args[r] = u;
      int erc = 0;
      BScvevpgbnd(static_cast<std::int16_t>(dim), k, poles, knots, args, s, was, &erc);
      if (erc == 0) BScvevpgbnd(static_cast<std::int16_t>(dim), k, wp, wk, args, s - w0, now, &erc);
      if (erc != 0) return false;
      // Homogeneous (dim 4): the points themselves are compared.
      const double ww = dim == 4 ? was[3] : 1, wn = dim == 4 ? now[3] : 1;
      double gap = 0, size = 0;
      for (int c = 0; c < 3; ++c)
        gap += (was[c] / ww - now[c] / wn) * (was[c] / ww - now[c] / wn), size = std::max(size, std::fabs(was[c] / ww));
      if (!(std::sqrt(gap) <= tol + 1e-14 * size)) return false;
    }
  }
  return true;
}

}  // namespace

void BSextpolcv1(int dim, int order, int num_poles, const double *poles, const double *knots, double start, double end,
                 double target, double *out_poles, double *out_knots, int *rc) {
  *rc = 0;
  do {
    if (!poles || !knots || !out_poles || !out_knots) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const int k = order, n = num_poles;
    const bool at_end = target > end;
    if (k < 2 || k > kMaxOrder || n < k || (dim != 3 && dim != 4) || !std::isfinite(target) ||
        !std::isfinite(start) || !std::isfinite(end) || (!at_end && !(target < start))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // The blossom arguments of the new poles: the span's inner knots with the target in place of the end knots.
    double args[2 * kMaxOrder];
    int m = 0;
    const int span = at_end ? n - 1 : k - 1;
    if (at_end) {
      for (int j = n - k + 2; j <= n - 1; ++j) args[m++] = knots[j];
      for (int r = 0; r < k - 1; ++r) args[m++] = target;
    } else {
      for (int r = 0; r < k - 1; ++r) args[m++] = target;
      for (int j = k; j <= 2 * k - 2; ++j) args[m++] = knots[j];
    }
    double fresh[4 * kMaxOrder];
    const int first = at_end ? n - k + 1 : 0;
    double previous = 0;
    for (int i = 0; i + 1 < k && *rc == 0; ++i) {
      BScvevpgbnd(static_cast<std::int16_t>(dim), k, poles, knots, args + i, span, fresh + dim * i, rc);
      if (*rc != 0 || dim != 3) continue;
      const double moved = BSpdist(rc, fresh + 3 * i, poles + 3 * (first + i));
      if (i > 0 && moved > kBlowUp * previous) *rc = BSRC_BLOWS_UP;
      previous = moved;
    }
    if (*rc == 0 && !keeps_old_range(dim, k, n, poles, knots, fresh, target, at_end)) *rc = BSRC_BLOWS_UP;
    if (*rc != 0) break;
    std::memmove(out_poles, poles, static_cast<std::size_t>(dim) * n * sizeof(double));
    std::memmove(out_knots, knots, static_cast<std::size_t>(n + k) * sizeof(double));
    std::memcpy(out_poles + dim * first, fresh, static_cast<std::size_t>(dim) * (k - 1) * sizeof(double));
    for (int j = 0; j < k; ++j) out_knots[at_end ? n + j : j] = target;
  } while (false);
  BSexit(rc, "BSextpolcv1", "bsextpolcv1");
}

namespace {

void continue_rational(int *rc, const VOQbsp_curve *cv, double target, int *level, VOQbsp_curve **out,
                       double *reached) {
  ++*level;
  *reached = target;
  const int n = cv->num_poles, k = cv->order;
  const double a = range_start(cv), b = range_end(cv);
  const bool at_end = target > b;
  double ktol = 0;
  BScvkttol2(cv->order, cv->knots, n, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
  if (*rc == 0) BSallocvoqcv(cv->order, n, cv->rational, 0, out, rc);
  if (*rc == 0) continue_poles(rc, cv, target, *out);
  if (*rc != 0) return;
  header_like(cv, *out);
  if (!cv->rational || weights_hold(n, (*out)->weights)) return;
  if (*level > kMaxLevels) {
    *rc = BSRC_ZERO_WEIGHT;
    return;
  }
  // Where the weight function of the continued span falls to the level, nearest the curve.
  double coef[kMaxOrder], roots[kMaxOrder];
  const double *w = (*out)->weights + (at_end ? n - k : 0);
  for (int j = 0; j < k; ++j) coef[j] = w[j] - kWeightLevel;
  const double unit[2] = {0.0, 1.0};
  int count = 0;
  BSbzur1pls(k - 1, coef, unit, kRootTol, &count, roots, rc);
  if (*rc != 0) return;
  if (count <= 0) {
    // The weights dip without reaching the level: knots at the old end spread them over more poles.
    const double e = at_end ? b : a;
    for (int i = 0; i < k - 1 && *rc == 0 && !weights_hold((*out)->num_poles, (*out)->weights); ++i)
      BSadd_1kt_mul(*out, e, 1, BSFALSE, out, rc);
    if (*rc == 0 && !weights_hold((*out)->num_poles, (*out)->weights)) *rc = BSRC_WEIGHTS_UNREPAIRED;
    return;
  }
  const double u = at_end ? *std::min_element(roots, roots + count) : *std::max_element(roots, roots + count);
  const double next = at_end ? cv->knots[n - 1] + u * (target - cv->knots[n - 1])
                             : cv->knots[k] + (1 - u) * (target - cv->knots[k]);
  release(*out);
  if (*level <= kMaxLevels && std::fabs(next - target) >= ktol && (at_end ? next > b : next < a))
    continue_rational(rc, cv, next, level, out, reached);
  else
    *rc = BSRC_ZERO_WEIGHT;
}

}  // namespace

void BSxtpolcvrc(const VOQbsp_curve *cv, double target, int *level, VOQbsp_curve **out, double *reached, int *rc) {
  *rc = 0;
  do {
    if (!cv || !level || !out || !reached) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *out = nullptr;
    *reached = target;
    if ((*rc = refused(cv)) != 0) break;
    if (!std::isfinite(target) || (target >= range_start(cv) && target <= range_end(cv))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    continue_rational(rc, cv, target, level, out, reached);
  } while (false);
  if (*rc != 0 && out) release(*out);
  BSexit(rc, "BSxtpolcvrc", "bsxtpolcvrc");
}

void BSxtpolcv00(const VOQbsp_curve *cv, double target, VOQbsp_curve **out, double *reached, int *rc) {
  int level = 0;
  BSxtpolcvrc(cv, target, &level, out, reached, rc);
  BSexit(rc, "BSxtpolcv00", "bsxtpolcv00");
  if (*rc != 0 && out) release(*out);
}

BSboolean BSpolyextfc(const VOQbsp_curve *bezier, BSboolean at_end, int factor, VOQbsp_curve *out, int *rc) {
  *rc = 0;
  if (!bezier || !out || !out->poles || !out->knots || (bezier->rational && !out->weights))
    *rc = BSRC_NULL_CURVE;
  else if ((*rc = BScvcheck(bezier)) == 0 && factor < 2)
    *rc = BSRC_OUT_OF_RANGE;
  else if (*rc == 0)
    bsextend::continue_bezier(rc, bezier, at_end != 0, factor, out);
  BSexit(rc, "BSpolyextfc", "bspolyextfc");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSxtpolcv01(const VOQbsp_curve *cv, BSboolean is_arc, const VOQbsp_curve *continued, double reached_in,
                 std::uint16_t *flag, VOQbsp_curve **out, double *reached, int *rc) {
  *rc = 0;
  do {
    if (!cv || !continued || !flag || !out || !reached) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *out = nullptr;
    *reached = reached_in;
    if ((*rc = refused(cv)) != 0 || (*rc = refused(continued)) != 0) break;
    if (!std::isfinite(reached_in)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double a = range_start(cv), b = range_end(cv);
    if (reached_in >= a && reached_in <= b) {
      copy_of(rc, cv, out);
      break;
    }
    *flag = 0;
    const bool at_end = reached_in > b;
    const double e = at_end ? b : a;
    if (!is_arc) {
      double far[6], near[6];
      BScveval_n(continued, reached_in, 1, far, rc);
      if (*rc == 0) BScveval_n(continued, e, 1, near, rc);
      if (*rc != 0) break;
      if (BSvlength(rc, far + 3) < kDerivativeFloor) {
        copy_of(rc, cv, out);
        break;
      }
      if (BSvdot(rc, near + 3, far + 3) < 0) {
        // The continuation has turned back. A plane across it where it starts (or, meeting it only there, where it
        // ends) cuts it twice close together around a tight turn.
        const int room = continued->num_poles;
        BSscratch<300> pts_work;
        BSscratch<100> par_work, s0_work, s1_work;
        double *pts = pts_work.take(3 * static_cast<std::size_t>(room)), *pars = par_work.take(room);
        double *s0 = s0_work.take(room), *s1 = s1_work.take(room);
        if (!pts || !pars || !s0 || !s1) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        int cuts = 0, segs = 0;
        BSpl_cv_int(rc, continued, near, near + 3, &cuts, pts, pars, &segs, s0, s1);
        if (*rc == 0 && cuts == 1) BSpl_cv_int(rc, continued, far, far + 3, &cuts, pts, pars, &segs, s0, s1);
        if (*rc != 0) break;
        const double chrdht = BStoltab[bstol::chrdht_tol];
        if (cuts == 2 && BSpdist(rc, pts, pts + 3) < 10.0 * chrdht) {
          const double lo = std::min(pars[0], pars[1]), hi = std::max(pars[0], pars[1]);
          double t0 = 0.5 * (lo + hi), turn = 0, point[3];
          if (t0 > e) t0 = e;
          BSfndcvturn(continued, near + 3, t0, &turn, point, rc);
          if (*rc == BSRC_NO_TANGENCY) *rc = 0;
          if (*rc != 0 || !(turn >= lo && turn <= hi)) break;  // no result: the caller reports it
          *flag = 1;
          double ktol = 0;
          BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
          const double short_target = at_end ? turn - ktol : turn + ktol;
          if (*rc == 0 && (short_target > b || short_target < a)) {
            double got = short_target;
            BSxtpolcv00(cv, short_target, out, &got, rc);
            *reached = short_target;
          } else if (*rc == 0) {
            copy_of(rc, cv, out);
            *reached = e;
          }
          break;
        }
      }
    }
    copy_of(rc, continued, out);
    if (*rc != 0) break;
    int src = 0, n_int = 0, n_over = 0;
    double *lists[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    BScv_slfint(&src, *out, &n_int, &lists[0], &lists[1], &n_over, &lists[2], &lists[3], &lists[4], &lists[5]);
    if (src == 0 && n_over > 0) {
      // Of the ends of the first overlap that reaches the continuation, the one on it nearest the old end limits
      // it (overlaps within the old curve, such as a small back and forth by its start, leave it alone).
      double best = 0;
      bool found = false;
      for (int o = 0; o < n_over && !found; ++o)
        for (int j = 2; j < 6; ++j) {
          const double v = lists[j][o];
          if ((at_end ? v >= b : v <= a) && (!found || std::fabs(v - e) < std::fabs(best - e)))
            best = v, found = true;
        }
      if (found) {
        *flag = 2;
        *reached = best;
      }
    } else if (src == 0 && n_int > 0) {
      release(*out);
      copy_of(rc, cv, out);
      *flag = 1;
      *reached = e;
    }
    for (double *l : lists) BSdbgfree(l);
  } while (false);
  if (*rc != 0 && out) release(*out);
  BSexit(rc, "BSxtpolcv01", "bsxtpolcv01");
}

void BSextpolcv0(const VOQbsp_curve *cv, double target, std::uint16_t *flag, VOQbsp_curve **out, double *reached,
                 int *rc) {
  *rc = 0;
  VOQbsp_curve *continued = nullptr;
  do {
    if (!cv || !flag || !out || !reached) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *out = nullptr;
    *reached = target;
    if ((*rc = refused(cv)) != 0) break;
    const int n = cv->num_poles, k = cv->order;
    const double a = range_start(cv), b = range_end(cv);
    if (!std::isfinite(target) || (target >= a && target <= b)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const bool at_end = target > b;
    const double e = at_end ? b : a;
    BSboolean is_arc = BSFALSE;
    if (cv->rational && k == 3) {
      int answer = 0;
      double radius = 0;
      BStstdrkarc(cv, &answer, &radius, rc);
      if (*rc != 0) break;
      is_arc = answer != 0;
    }
    if (is_arc) {
      BScircdesc arc{};
      arc.kind = 6;
      arc.curve = cv;
      BScirc_prop(&arc, rc);
      double d[6];
      if (*rc == 0) BScveval_n(cv, e, 1, d, rc);
      if (*rc != 0) break;
      const double r = arc.radius, tol = BStoltab[bstol::dist_tol];
      if (std::fabs(target - e) * BSvlength(rc, d + 3) / r + arc.end_angle > kFullTurn - tol / r) {
        *rc = BSRC_CLOSES_CIRCLE;
        break;
      }
    }
    double got = target;
    BSxtpolcv00(cv, target, &continued, &got, rc);
    if (*rc != 0) {
      // The Bezier form of the end span continued far enough to hold the target, cut at the target and joined on.
      *rc = 0;
      const int span = at_end ? n - 1 : k - 1;
      const double step = cv->knots[span + 1] - cv->knots[span];
      if (!(step > 0)) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      const double factor = std::floor(std::fabs(target - e) / step) + 2;
      if (factor > 1e6) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      bsknots::FixedCurve<kMaxOrder, kMaxOrder> bz;
      bsknots::FixedCurve<2 * kMaxOrder, kMaxOrder> cont, piece;
      if (!BSspn_t_bz(rc, &span, cv, &bz.cv, nullptr, nullptr) ||
          !BSpolyextfc(&bz.cv, at_end, static_cast<int>(factor), &cont.cv, rc))
        break;
      const double far = at_end ? range_end(&cont.cv) : range_start(&cont.cv);
      got = at_end ? std::min(target, far) : std::max(target, far);
      if (!BSactivsplt(rc, &cont.cv, &e, &got, &piece.cv, nullptr)) break;
      BSallocvoqcv(cv->order, n + 2 * k - 1, cv->rational, 0, &continued, rc);
      if (*rc != 0) break;
      BScomb2cvs(at_end ? cv : &piece.cv, at_end ? &piece.cv : cv, continued, rc);
      if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
      if (*rc != 0) break;
    }
    BSxtpolcv01(cv, is_arc, continued, got, flag, out, reached, rc);
    if (*rc == 0 && !*out) *rc = BSRC_ZERO_WEIGHT;
  } while (false);
  release(continued);
  if (*rc != 0 && out) release(*out);
  BSexit(rc, "BSextpolcv0", "bsextpolcv0");
}
