// A curve end lengthened or shortened so that its arc length changes by a given distance. Lengthening continues the
// end span's own polynomial in parameter steps until the added piece is long enough, then cuts it at the distance;
// where the continuation turns back or runs over the curve, a straight piece along the end tangent or the
// self-overlap limit takes its place, and a continuation that never gets long enough is replaced by the Bezier form
// of the end span continued in one construction.
#include <algorithm>
#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/extend.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"

namespace {

constexpr int kFurtherTrials = 10;
constexpr double kWeightLimit = 4.0;  // an end weight above this makes the continuation too uneven to go on
constexpr int kCrossRoom = 50, kOverlapRoom = 20;
constexpr int kMaxOrder = 16;

using SpanRecord = bsknots::FixedCurve<kMaxOrder, kMaxOrder>;
using ContinuedRecord = bsknots::FixedCurve<2 * kMaxOrder, kMaxOrder>;

double range_start(const VOQbsp_curve &cv) { return cv.knots[cv.order - 1]; }
double range_end(const VOQbsp_curve &cv) { return cv.knots[cv.num_poles]; }

// A release failure is reported only when nothing failed before.
void release(VOQbsp_curve **cv, int *rc) {
  if (!*cv) return;
  int frc = 0;
  BSfreevoqcv(*cv, &frc);
  *cv = nullptr;
  if (*rc == 0) *rc = frc;
}

// The room of the caller's record as it came: results are copied in without a check of their own, so every
// result larger than that replaces the record first.
struct Room {
  int poles = 0, knots = 0;
  bool weights = false;
  explicit Room(const VOQbsp_curve &out)
      : poles(out.num_poles), knots(out.num_knots), weights(out.rational && out.weights != nullptr) {}
};

bool make_room(int *rc, VOQbsp_curve **out, Room *room, int order, int poles, bool rational) {
  if (poles <= room->poles && poles + order <= room->knots && (!rational || room->weights)) return true;
  (*out)->rational = rational ? 1 : 0;
  BSreallocvoqcv(static_cast<std::int16_t>(order), poles, 0, out, rc);
  if (*rc != 0) return false;
  room->poles = poles;
  room->knots = poles + order;
  room->weights = rational;
  return true;
}

bool put(int *rc, const VOQbsp_curve &result, VOQbsp_curve **out, Room *room) {
  return make_room(rc, out, room, result.order, result.num_poles, result.rational != 0) &&
         BScv_copy(rc, &result, *out);
}

// The end weights of a rational result brought to 1 at the changed end.
void end_weight_to_one(int *rc, VOQbsp_curve **out, bool at_end) {
  if (*rc == 0 && (*out)->rational) BSchgcvewlr(*out, at_end ? 1 : 0, out, rc);
}

// Clamped: the end knots run exactly order times (a longer run leaves poles beyond the range at the ends).
bool is_clamped(const VOQbsp_curve &cv) {
  const int k = cv.order, n = cv.num_poles;
  for (int i = 0; i + 1 < k; ++i)
    if (cv.knots[i] != cv.knots[k - 1] || cv.knots[n + 1 + i] != cv.knots[n]) return false;
  return cv.knots[k] != cv.knots[k - 1] && cv.knots[n - 1] != cv.knots[n];
}

// The curve to work on: the input itself, or its clamped copy, so that its end poles are its end points.
bool working_curve(int *rc, const VOQbsp_curve &in, bsknots::ScratchCurve *store, VOQbsp_curve *cv) {
  *cv = bsknots::plain_view(in);
  if (is_clamped(*cv)) return true;
  if (!store->take(in.order, in.num_poles, in.rational != 0)) {
    *rc = BSRC_NO_SCRATCH;
    return false;
  }
  if (BScv_copy(rc, cv, &store->cv) && BScnvtomkt(rc, &store->cv)) *cv = store->cv;
  return *rc == 0;
}

// Refusals shared by the entries: 3 for a missing argument, the record check's code, -2 for a non-finite distance
// or point and an order below 2.
bool refused(int *rc, const VOQbsp_curve *curve, const double point[3], double dist, VOQbsp_curve **out) {
  if (!curve || !point || !out || !*out)
    *rc = BSRC_NULL_CURVE;
  else if ((*rc = BScvcheck(curve)) != 0) {
  } else if (!std::isfinite(dist) || !BSallfinite(3, point) || curve->order < 2)
    *rc = BSRC_OUT_OF_RANGE;
  return *rc != 0;
}

// The end nearer, in parameter, to the point's nearest parameter (or the start of its first interval of nearest
// points). Both lists are released on every path; rc -1 when the search gives neither.
bool choose_end(int *rc, VOQbsp_curve *cv, const double point[3], bool *at_end) {
  std::int16_t n_int = 0, n_par = 0;
  double *params = nullptr, *intervals = nullptr, min_dist = 0;
  BSmdistptcv(cv, point, &n_int, &n_par, &params, &min_dist, &intervals, rc);
  if (*rc == 0) {
    if (n_par > 0 && params)
      *at_end = (range_start(*cv) + range_end(*cv)) / 2 <= params[0];
    else if (n_int > 0 && intervals)
      *at_end = (range_start(*cv) + range_end(*cv)) / 2 <= intervals[0];
    else
      *rc = BSRC_ZERO_WEIGHT;
  }
  BSdbgfree(params);
  BSdbgfree(intervals);
  return *rc == 0;
}

bool whole_length(int *rc, VOQbsp_curve *cv, double *length) {
  const double a = range_start(*cv), b = range_end(*cv);
  return BSarclength(rc, cv, &a, &b, length) != 0;
}

// The parameter at arc length len from u0 toward u1 (total the length between them). The length search stops
// within dist_tol; a few Newton steps on the measured length take the parameter to the accuracy of the length
// itself, which the extension promises.
bool parameter_at(int *rc, VOQbsp_curve *cv, double u0, double u1, double total, double len, double *u) {
  BSiarcln2(rc, cv, &total, &u0, &len, &u1, u);
  if (*rc != 0) return false;
  const double lo = std::min(u0, u1), hi = std::max(u0, u1), sense = u1 >= u0 ? 1.0 : -1.0;
  for (int step = 0; step < 4; ++step) {
    double got = 0, d[6];
    if (!BSarclength(rc, cv, &u0, u, &got)) return false;
    const double miss = len - got;
    if (std::fabs(miss) <= 1e-13 * (1 + len)) break;
    BScveval_n(cv, *u, 1, d, rc);
    if (*rc != 0) return false;
    const double speed = std::sqrt(d[3] * d[3] + d[4] * d[4] + d[5] * d[5]);
    if (!(speed > 0)) break;
    *u = std::clamp(*u + sense * miss / speed, lo, hi);
  }
  return true;
}

// A curve of the curve's order whose poles all lie at point, over the curve's range: what is left of a curve
// shortened by its whole length.
void point_curve(int *rc, const VOQbsp_curve &cv, const double point[3], VOQbsp_curve **out, Room *room) {
  const int k = cv.order;
  if (!make_room(rc, out, room, k, k, cv.rational != 0)) return;
  BSlngenord(point, point, cv.order, cv.rational, *out, rc);
  if (*rc != 0) return;
  for (int i = 0; i < k; ++i) {
    (*out)->knots[i] = range_start(cv);
    (*out)->knots[k + i] = range_end(cv);
  }
  (*out)->non_uniform = 1;
}

// The curve shortened by -dist (at most its length) at the chosen end.
void shorten(int *rc, VOQbsp_curve *cv, bool at_end, double dist, double length, VOQbsp_curve **out, Room *room) {
  const double a = range_start(*cv), b = range_end(*cv);
  if (length + dist <= BStoltab[bstol::dist_tol]) {
    double far[3];
    bsknots::cartesian_pole(*cv, at_end ? 0 : cv->num_poles - 1, far);
    point_curve(rc, *cv, far, out, room);
    return;
  }
  double p = 0;
  if (!parameter_at(rc, cv, a, b, length, at_end ? length + dist : -dist, &p)) return;
  bsknots::ScratchCurve part;
  if (!part.take(cv->order, cv->num_poles, cv->rational != 0)) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  if (BSactivsplt(rc, cv, at_end ? &a : &p, at_end ? &p : &b, &part.cv, nullptr)) put(rc, part.cv, out, room);
}

// The straight extension along the outward unit direction dir from the end pole B: one straight curve from the far
// end to the new end point when the curve shrinks or its order is below 3, else a straight piece of the curve's
// order joined at B by a knot of multiplicity order - 1. *out needs room for num_poles + order - 1 poles. The new
// end parameter moves by dist at the curve's mean parametric speed, so that the range keeps its orientation.
void straight_extension(int *rc, const VOQbsp_curve &cv, bool at_end, double dist, double length,
                        const double dir[3], VOQbsp_curve *out) {
  const int k = cv.order, n = cv.num_poles;
  const double a = range_start(cv), b = range_end(cv);
  if (!(length > 0)) {
    *rc = BSRC_NULL_VECTOR;
    return;
  }
  double B[3], F[3], N[3];
  bsknots::cartesian_pole(cv, at_end ? n - 1 : 0, B);
  bsknots::cartesian_pole(cv, at_end ? 0 : n - 1, F);
  for (int c = 0; c < 3; ++c) N[c] = B[c] + dist * dir[c];
  const double step = dist * (b - a) / length, new_par = at_end ? b + step : a - step;
  // Shortened, a straight curve is one piece from its far end; lengthened, any curve (a polyline too) keeps all
  // it has and gains the straight piece.
  if (dist <= 0) {
    BSlngenord(at_end ? F : N, at_end ? N : F, cv.order, cv.rational, out, rc);
    if (*rc != 0) return;
    for (int i = 0; i < k; ++i) {
      out->knots[i] = at_end ? a : new_par;
      out->knots[k + i] = at_end ? new_par : b;
    }
    out->non_uniform = 1;
    return;
  }
  // The straight piece's poles are laid straight into place around the curve's, which move over when the start
  // is extended.
  bsknots::ScratchCurve line;
  if (!line.take(k, k, false)) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  BSlngenord(at_end ? B : N, at_end ? N : B, cv.order, BSFALSE, &line.cv, rc);
  if (*rc != 0) return;
  const int total = n + k - 1, shift = at_end ? 0 : k - 1, first_new = at_end ? n : 0;
  for (int i = n - 1; i >= 0; --i) {
    for (int c = 0; c < 3; ++c) out->poles[3 * (i + shift) + c] = cv.poles[3 * i + c];
    if (cv.rational) out->weights[i + shift] = cv.weights[i];
  }
  for (int j = 0; j < k - 1; ++j) {
    const int from = at_end ? j + 1 : j;  // the line's pole at B is the curve's own
    for (int c = 0; c < 3; ++c) out->poles[3 * (first_new + j) + c] = line.cv.poles[3 * from + c];
    if (cv.rational) out->weights[first_new + j] = 1.0;
  }
  // Knots: the curve's, with its end knots at the extended side down to multiplicity order - 1, and order new
  // end knots there.
  if (at_end) {
    for (int i = n + k - 2; i >= 0; --i) out->knots[i] = cv.knots[i];
    for (int j = 0; j < k; ++j) out->knots[n + k - 1 + j] = new_par;
  } else {
    for (int i = n + k - 1; i >= 1; --i) out->knots[i + k - 1] = cv.knots[i];
    for (int j = 0; j < k; ++j) out->knots[j] = new_par;
  }
  out->order = cv.order;
  out->periodic = 0;
  out->non_uniform = 1;
  out->num_poles = total;
  out->num_knots = total + k;
  out->rational = cv.rational;
  if (!cv.rational) out->weights = nullptr;
  out->planar = cv.planar;
  out->phy_closed = 0;
  out->num_boundaries = 0;
  out->bdrys = nullptr;
}

// The outward unit direction of the curve's end leg: from the nearest pole that differs from the end pole (a
// doubled end pole leaves the tangent on the next leg).
bool end_leg_direction(int *rc, const VOQbsp_curve &cv, bool at_end, double dir[3]) {
  const int n = cv.num_poles;
  double B[3], A[3];
  bsknots::cartesian_pole(cv, at_end ? n - 1 : 0, B);
  const double tol = BStoltab[bstol::dist_tol];
  for (int j = 1; j < n; ++j) {
    bsknots::cartesian_pole(cv, at_end ? n - 1 - j : j, A);
    for (int c = 0; c < 3; ++c) dir[c] = B[c] - A[c];
    if (std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]) > tol) break;
  }
  return BSnorvec(rc, dir) != 0;
}

// Whether the poles lie on one line (type 2) or at one point (rc -2).
bool straight_poles(int *rc, const VOQbsp_curve &cv, bool *straight) {
  int type = 0;
  double point[3], vec[3], deviation = 0;
  // Cartesian poles: the fit refuses weights spread beyond a quarter of their mean, which says nothing of where
  // the poles lie.
  BSscratch<300> store;
  double *cartesian = store.take(3 * static_cast<std::size_t>(cv.num_poles));
  if (!cartesian) {
    *rc = BSRC_NO_SCRATCH;
    return false;
  }
  for (int i = 0; i < cv.num_poles; ++i) bsknots::cartesian_pole(cv, i, cartesian + 3 * i);
  BSlsqptlnpl(cv.num_poles, cartesian, nullptr, BSFIT_LINE, &type, point, vec, &deviation, rc);
  if (*rc != 0) return false;
  if (type == BSKIND_POINT) {
    *rc = BSRC_OUT_OF_RANGE;
    return false;
  }
  // Straight also means running one way along the line: a curve that turns back on it is measured along its
  // path, which a straight piece from its far end does not follow. The poles' steps along the line keep one sign.
  bool forward = false, backward = false;
  const double len = std::sqrt(vec[0] * vec[0] + vec[1] * vec[1] + vec[2] * vec[2]);
  for (int i = 1; i < cv.num_poles && len > 0; ++i) {
    const double *p = cartesian + 3 * (i - 1), *q = cartesian + 3 * i;
    const double step = ((q[0] - p[0]) * vec[0] + (q[1] - p[1]) * vec[1] + (q[2] - p[2]) * vec[2]) / len;
    forward = forward || step > BStoltab[bstol::dist_tol], backward = backward || step < -BStoltab[bstol::dist_tol];
  }
  // Nor may it jump (an inner knot of full multiplicity): the jump is no part of its length.
  bool jumps = false;
  for (int i = cv.order, m = 1; i < cv.num_poles && !jumps; i += m) {
    for (m = 1; i + m < cv.num_poles && cv.knots[i + m] == cv.knots[i]; ++m) {
    }
    jumps = m >= cv.order;
  }
  *straight = type == BSKIND_LINE && !(forward && backward) && !jumps;
  return true;
}

double end_weight(const VOQbsp_curve &cv, bool at_end) {
  return cv.rational ? cv.weights[at_end ? cv.num_poles - 1 : 0] : 1.0;
}

// The crossings of the curve and the piece continuing it, without their contact at the joint (parameter e on
// both, within each one's knot tolerance). A common stretch away from the joint counts as a crossing.
bool crosses(int *rc, VOQbsp_curve *cv, VOQbsp_curve *piece, double e, bool *crossing) {
  double pts[3 * kCrossRoom], par1[kCrossRoom], par2[kCrossRoom];
  double over_pts[6 * kOverlapRoom], over1[2 * kOverlapRoom], over2[2 * kOverlapRoom];
  double *a[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  int n_int = 0, n_over = 0;
  BSboolean int_alloc = BSFALSE, over_alloc = BSFALSE;
  double t1 = 0, t2 = 0;
  BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &t1, rc);
  if (*rc == 0)
    BScvkttol2(piece->order, piece->knots, piece->num_poles, piece->poles, piece->rational ? piece->weights : nullptr,
               &t2, rc);
  if (*rc == 0)
    BScvcvint(cv, piece, BSFALSE, kCrossRoom, kOverlapRoom, pts, par1, par2, over_pts, over1, over2, &n_int, &n_over,
              &int_alloc, &over_alloc, &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], rc);
  *crossing = false;
  if (*rc == 0) {
    const double *p1 = int_alloc ? a[1] : par1, *p2 = int_alloc ? a[2] : par2;
    const double *o1 = over_alloc ? a[4] : over1, *o2 = over_alloc ? a[5] : over2;
    auto at_joint = [&](double u1, double u2) { return std::fabs(u1 - e) <= t1 && std::fabs(u2 - e) <= t2; };
    for (int i = 0; i < n_int && !*crossing; ++i) *crossing = !at_joint(p1[i], p2[i]);
    for (int i = 0; i < n_over && !*crossing; ++i)
      *crossing = !at_joint(o1[2 * i], o2[2 * i]) || !at_joint(o1[2 * i + 1], o2[2 * i + 1]);
  }
  for (double *p : a) BSdbgfree(p);
  return *rc == 0;
}

// One trial continuation: the piece it adds (range and length), and, where the continuation was limited short of
// the distance, the result at once (done): the continuation up to its self-overlap (flag 2), or the straight
// extension (flag 1).
void turn(const VOQbsp_curve *curve, VOQbsp_curve *trial, double start, double end, double trial_start,
          double trial_end, double target_par, double reached_par, std::uint16_t flag, double dist, bool at_end,
          double length, double *piece_start, double *piece_end, double *piece_len, double *achieved, bool *done,
          VOQbsp_curve **out, Room *room, int *rc) {
  *rc = 0;
  *done = false;
  *piece_len = 0;
  VOQbsp_curve cv = *curve;
  do {
    const double e = at_end ? end : start, far = at_end ? trial_end : trial_start;
    if (!(flag == 1 && far == e)) {
      // Measured on the trial itself, which runs through the piece with the same parameter: a piece too short to
      // be cut out still has its length.
      *piece_start = at_end ? end : trial_start;
      *piece_end = at_end ? trial_end : start;
      if (!BSarclength(rc, trial, piece_start, piece_end, piece_len) || flag == 0) break;
    }
    if (*piece_len >= dist && reached_par == target_par) break;
    // Limited at its self-overlap: what lies before it is the result, unless it already holds the distance. A
    // continuation that doubles over the curve from the end itself (the curve stands still there and its polynomial
    // runs back the way it came) has nothing before it: the straight extension, as for a turn.
    double valid = 0;
    if (flag == 2 && (!BSarclength(rc, trial, &e, &reached_par, &valid) || valid >= dist)) break;
    if (flag == 2 && valid > BStoltab[bstol::dist_tol]) {
      bsknots::ScratchCurve cut;
      if (!cut.take(trial->order, trial->num_poles + trial->order, trial->rational != 0)) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      if (!BSactivsplt(rc, trial, at_end ? &trial_start : &reached_par, at_end ? &reached_par : &trial_end, &cut.cv,
                       nullptr) ||
          !put(rc, cut.cv, out, room))
        break;
      *achieved = valid;
      BScvtstclsd(*out, rc);
      *done = *rc == 0;
    } else if (flag == 1 || flag == 2) {
      if (!make_room(rc, out, room, cv.order, cv.num_poles + cv.order - 1, cv.rational != 0)) break;
      BSpolxtdlin(&cv, at_end ? BSTRUE : BSFALSE, dist, length, *out, rc);
      end_weight_to_one(rc, out, at_end);
      *done = *rc == 0;
    }
  } while (false);
  BSexit(rc, "turn", "bspolxtdst0");
}

}  // namespace

void BSpolxtdlin(const VOQbsp_curve *curve, BSboolean at_end, double dist, double length, VOQbsp_curve *out,
                 int *rc) {
  *rc = 0;
  do {
    if (!curve || !out || !out->poles || !out->knots) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if ((*rc = BScvcheck(curve)) != 0) break;
    if (!std::isfinite(dist) || !std::isfinite(length) || curve->order < 2 || !is_clamped(*curve)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const VOQbsp_curve cv = bsknots::plain_view(*curve);
    const int need = dist <= 0 ? cv.order : cv.num_poles + cv.order - 1;
    if (out->num_poles < need || out->num_knots < need + cv.order || (cv.rational && !out->weights)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double dir[3];
    if (end_leg_direction(rc, cv, at_end != 0, dir)) straight_extension(rc, cv, at_end != 0, dist, length, dir, out);
  } while (false);
  BSexit(rc, "BSpolxtdlin", "bspolxtdlin");
}

void BSpolyxd0(const VOQbsp_curve *curve, const double end_point[3], double dist, VOQbsp_curve **out, int *rc) {
  *rc = 0;
  bsknots::ScratchCurve clamp;
  do {
    if (refused(rc, curve, end_point, dist, out)) break;
    if (curve->phy_closed) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    Room room(**out);
    VOQbsp_curve cv{};
    if (!working_curve(rc, *curve, &clamp, &cv)) break;
    if (dist == 0) {
      put(rc, cv, out, &room);
      break;
    }
    bool at_end = true, straight = false;
    double L = 0;
    if (!choose_end(rc, &cv, end_point, &at_end) || !whole_length(rc, &cv, &L)) break;
    if (dist < 0 && -dist > L - BStoltab[bstol::dist_tol]) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!straight_poles(rc, cv, &straight)) break;
    const int k = cv.order, n = cv.num_poles;
    const double e = at_end ? range_end(cv) : range_start(cv);
    if (k > kMaxOrder && !straight && dist > 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (straight) {
      // Along the line from the first pole to the last.
      double first[3], last[3], dir[3];
      bsknots::cartesian_pole(cv, 0, first);
      bsknots::cartesian_pole(cv, n - 1, last);
      for (int c = 0; c < 3; ++c) dir[c] = at_end ? last[c] - first[c] : first[c] - last[c];
      if (BSnorvec(rc, dir) && make_room(rc, out, &room, k, n + k - 1, cv.rational != 0))
        straight_extension(rc, cv, at_end, dist, L, dir, *out);
    } else if (dist < 0) {
      shorten(rc, &cv, at_end, dist, L, out, &room);
    } else {
      SpanRecord bz;
      ContinuedRecord cont, piece;
      const int span = at_end ? n - 1 : k - 1;
      const std::int16_t side = at_end ? 1 : 0;
      if (n == k ? !BScv_copy(rc, &cv, &bz.cv) : !BSspn_t_bz(rc, &span, &cv, &bz.cv, nullptr, nullptr)) break;
      if (!BSpoly_ext(rc, &bz.cv, &side, &cont.cv)) break;
      double reach = 0, far = at_end ? range_end(cont.cv) : range_start(cont.cv);
      if (!BSarclength(rc, &cont.cv, &e, &far, &reach)) break;
      if (reach < dist) {
        double span_len = 0;
        if (!whole_length(rc, &bz.cv, &span_len)) break;
        double factor = 3.0;
        if (n != k && span_len > 0) factor = std::min(std::max(3.0, std::floor(L / span_len)), 1e6);
        if (!BSpolyextfc(&bz.cv, at_end, static_cast<int>(factor), &cont.cv, rc)) break;
        far = at_end ? range_end(cont.cv) : range_start(cont.cv);
        if (!BSarclength(rc, &cont.cv, &e, &far, &reach)) break;
        if (reach < dist) {
          *rc = BSRC_EXTENSION_SHORT;
          break;
        }
      }
      double p = 0;
      if (!parameter_at(rc, &cont.cv, e, far, reach, dist, &p) ||
          !BSactivsplt(rc, &cont.cv, at_end ? &e : &p, at_end ? &p : &e, &piece.cv, nullptr))
        break;
      bool crossing = false;
      if (!crosses(rc, &cv, &piece.cv, e, &crossing)) break;
      if (crossing) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      if (!make_room(rc, out, &room, k, n + piece.cv.num_poles - 1, cv.rational != 0)) break;
      BScomb2cvs(at_end ? &cv : &piece.cv, at_end ? &piece.cv : &cv, *out, rc);
      if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
    }
    end_weight_to_one(rc, out, at_end);
  } while (false);
  BSexit(rc, "BSpolyxd0", "bspolyxd0");
}

void BSpolxtdst0(const VOQbsp_curve *curve, const double end_point[3], double dist, VOQbsp_curve **out,
                 double *achieved, int *rc) {
  *rc = 0;
  VOQbsp_curve *trial = nullptr;
  bsknots::ScratchCurve clamp;
  do {
    if (!achieved) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *achieved = dist;
    if (refused(rc, curve, end_point, dist, out)) break;
    Room room(**out);
    VOQbsp_curve cv{};
    if (!working_curve(rc, *curve, &clamp, &cv)) break;
    if (dist == 0) {
      put(rc, cv, out, &room);
      break;
    }
    if (cv.phy_closed && dist > 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int k = cv.order, n = cv.num_poles;
    const double start = range_start(cv), end = range_end(cv);
    bool at_end = true, straight = false;
    double length = 0;
    if (!choose_end(rc, &cv, end_point, &at_end) || !whole_length(rc, &cv, &length)) break;
    if (dist < 0 && -dist > length) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!straight_poles(rc, cv, &straight)) break;
    if (straight && length + dist > BStoltab[bstol::dist_tol]) {
      if (!make_room(rc, out, &room, k, n + k - 1, cv.rational != 0)) break;
      BSpolxtdlin(&cv, at_end ? BSTRUE : BSFALSE, dist, length, *out, rc);
      end_weight_to_one(rc, out, at_end);
      break;
    }
    if (dist < 0) {
      shorten(rc, &cv, at_end, dist, length, out, &room);
      end_weight_to_one(rc, out, at_end);
      break;
    }
    // The parameter step that adds about dist at the end's speed.
    const double e = at_end ? end : start;
    double d[6], h = 0;
    BScveval_n(&cv, e, 1, d, rc);
    if (*rc != 0) break;
    const double speed = std::sqrt(d[3] * d[3] + d[4] * d[4] + d[5] * d[5]);
    // An end leg within dist_tol is a doubled end pole (as the straight extension takes it): the speed left there is
    // rounding (the clamped copy of an unclamped curve keeps some), and a step of dist over it runs the continuation
    // out to where its poles are noise.
    double P0[3], P1[3];
    bsknots::cartesian_pole(cv, at_end ? n - 1 : 0, P0);
    bsknots::cartesian_pole(cv, at_end ? n - 2 : 1, P1);
    const double leg = std::hypot(P1[0] - P0[0], P1[1] - P0[1], P1[2] - P0[2]);
    if (speed >= BStoltab[bstol::zero_tol] && leg > BStoltab[bstol::dist_tol]) {
      h = at_end ? dist / speed : -(dist / speed);
    } else {
      h = at_end ? end - cv.knots[n - 1] : start - cv.knots[k];
      if (std::fabs(h) > 0.0001) h = (end - start) * (at_end ? 0.1 : -0.1);
    }
    if (!(h != 0) || !std::isfinite(e + h)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double target = e + h, reached = target, piece_start = 0, piece_end = 0, added = 0;
    std::uint16_t flag = 1;
    bool done = false;
    if (dist < BStoltab[bstol::dist_tol]) {
      // Below the length's resolution the trials measure nothing; one step at the end's speed is exact to within
      // the square of the distance.
      BSextpolcv0(&cv, target, &flag, &trial, &reached, rc);
      if (*rc == 0 && put(rc, *trial, out, &room)) end_weight_to_one(rc, out, at_end);
      break;
    }
    auto try_once = [&]() {
      release(&trial, rc);
      if (*rc != 0) return false;
      flag = 1;
      BSextpolcv0(&cv, target, &flag, &trial, &reached, rc);
      if (*rc != 0) return false;
      turn(&cv, trial, start, end, range_start(*trial), range_end(*trial), target, reached, flag, dist, at_end, length,
           &piece_start, &piece_end, &added, achieved, &done, out, &room, rc);
      return *rc == 0 && !done;
    };
    auto accept = [&](bool weights_to_one) {
      if (put(rc, *trial, out, &room)) {
        *achieved = added;
        if (weights_to_one) end_weight_to_one(rc, out, at_end);
      }
    };
    if (!try_once()) break;
    const bool limited = reached != target;
    if (added < dist && (limited || end_weight(*trial, at_end) > kWeightLimit)) {
      accept(false);
      break;
    }
    bool finished = false;
    for (int further = 0; added < dist && !finished; ++further) {
      if (reached != target) {
        accept(true);
        finished = true;
      } else if (further == kFurtherTrials) {
        // The steps never reach the distance: one construction from the end span's Bezier form instead, and the
        // longest trial when even that falls short.
        BSpolyxd0(&cv, end_point, dist, out, rc);
        if (*rc == BSRC_EXTENSION_SHORT) {
          *rc = 0;
          accept(true);
          if (*rc == 0) *rc = BSRC_EXTENSION_SHORT;
        }
        finished = true;
      } else {
        target += h;
        if (!try_once()) {
          finished = true;
        } else if (added < dist && end_weight(*trial, at_end) > kWeightLimit) {
          accept(true);
          finished = true;
        }
      }
    }
    if (finished || *rc != 0) break;
    // Long enough: cut at the distance, measured along the added piece from the old end.
    double p = 0;
    if (!parameter_at(rc, trial, e, at_end ? piece_end : piece_start, added, dist, &p)) break;
    if (p == e) {
      // The continuation holds the distance, yet none of it lies past the end (where the curve stands still at its
      // end, its polynomial turns back there): the straight extension along the end leg instead, not the curve
      // unchanged.
      if (make_room(rc, out, &room, k, n + k - 1, cv.rational != 0)) {
        BSpolxtdlin(&cv, at_end ? BSTRUE : BSFALSE, dist, length, *out, rc);
        end_weight_to_one(rc, out, at_end);
      }
      break;
    }
    release(&trial, rc);
    flag = 0;
    if (*rc == 0) BSextpolcv0(&cv, p, &flag, &trial, &reached, rc);
    if (*rc != 0) break;
    if (flag != 0 || reached != p) {
      // The continuation to the cut was limited after all (its check found it turning back short of it): the
      // straight extension along the end leg holds the distance instead.
      if (make_room(rc, out, &room, k, n + k - 1, cv.rational != 0)) {
        BSpolxtdlin(&cv, at_end ? BSTRUE : BSFALSE, dist, length, *out, rc);
        end_weight_to_one(rc, out, at_end);
      }
      break;
    }
    if (put(rc, *trial, out, &room)) end_weight_to_one(rc, out, at_end);
    // A rational continuation can run far out where its weight falls towards zero, and a polynomial one of a short
    // end span taken many of its lengths on loses digits to a power of the degree: the curve then cut at the
    // distance is not the one measured, and a result whose length misses the distance gives way to the straight
    // extension along the end leg. A polynomial result keeps the old range and its parameters, so that only the
    // added piece is measured, not the whole curve again.
    double got = 0;
    room = Room(**out);  // the weight change may have replaced the record
    const double tip = at_end ? range_end(**out) : range_start(**out), lo = std::min(e, tip), hi = std::max(e, tip);
    if (*rc == 0 &&
        (cv.rational ? whole_length(rc, *out, &got) : BSarclength(rc, *out, &lo, &hi, &got) != 0) &&
        !(std::fabs(got - (cv.rational ? length + dist : dist)) <= 4 * BStoltab[15] + 1e-9 * (length + dist)) &&
        make_room(rc, out, &room, k, n + k - 1, true)) {
      BSpolxtdlin(&cv, at_end ? BSTRUE : BSFALSE, dist, length, *out, rc);
      end_weight_to_one(rc, out, at_end);
    }
  } while (false);
  release(&trial, rc);
  BSexit(rc, "BSpolxtdst0", "bspolxtdst0");
}

void BSpolyxtdst(const VOQbsp_curve *curve, const double end_point[3], double dist, VOQbsp_curve **out, int *rc) {
  double achieved = 0;
  BSpolxtdst0(curve, end_point, dist, out, &achieved, rc);
  BSexit(rc, "BSpolyxtdst", "bspolyxtdst");
}
