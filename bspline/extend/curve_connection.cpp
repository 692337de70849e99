// The end of one curve joined to the start of another: both trimmed where their straight extensions cross, an
// end pole moved along a straight end onto the other curve, or a connecting line between the two.
#include "bspline/core/exit.h"
#include "bspline/extend.h"
#include "bspline/extend/extend_internal.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/legendre.h"
#include "bspline/numerics.h"

#include <cmath>
#include <initializer_list>

using bsknots::cartesian_pole;
using bsknots::plain_view;

namespace {

// An extension reaches ten times the end derivative, its piece ten times the curve's parameter length.
constexpr double kReach = 10.0;
// Room of the crossing and overlap arrays handed to the intersection.
constexpr int kCrossings = 100, kOverlaps = 20;

double distance(const double a[3], const double b[3]) { return std::sqrt(bsknots::squared_distance(a, b)); }

// 0 for a curve that can be extended and joined: a readable record of order 2 at least with a parameter range of
// some length and positive weights (an end pole is divided by its weight); else 3 or -2.
int joinable(const VOQbsp_curve *cv) {
  const int code = BScvcheck(cv);
  if (code != 0) return code;
  if (cv->order < 2 || !(cv->knots[cv->num_poles] > cv->knots[cv->order - 1])) return BSRC_OUT_OF_RANGE;
  for (int i = 0; cv->rational && i < cv->num_poles; ++i)
    if (!(cv->weights[i] > 0)) return BSRC_OUT_OF_RANGE;
  return 0;
}

bool clamped(const VOQbsp_curve &cv) {
  const int k = cv.order, n = cv.num_poles;
  return cv.knots[0] == cv.knots[k - 1] && cv.knots[n] == cv.knots[n + k - 1];
}

// in copied into out (room for in's poles), clamped when it is not: the end poles are then the end points, which
// the pole moves and the joins below rely on.
void clamped_copy(const VOQbsp_curve &in, VOQbsp_curve *out, int *rc) {
  if (BScv_copy(rc, &in, out) && !clamped(in)) BScnvtomkt(rc, out);
}

// Pole i of cv set to the Cartesian point p, weighted with the pole's own weight.
void set_pole(VOQbsp_curve *cv, int i, const double p[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) cv->poles[3 * i + c] = p[c] * w;
}

// The results of one intersection call: the room handed to it, or the arrays it allocated for more.
struct Crossings {
  double pts[3 * kCrossings], par1[kCrossings], par2[kCrossings];
  double over_pts[6 * kOverlaps], over_par1[2 * kOverlaps], over_par2[2 * kOverlaps];
  int n_int = 0, n_over = 0;
  BSboolean int_alloc = BSFALSE, over_alloc = BSFALSE;
  double *a_pts = nullptr, *a_par1 = nullptr, *a_par2 = nullptr;
  double *a_over_pts = nullptr, *a_over_par1 = nullptr, *a_over_par2 = nullptr;
  Crossings() = default;
  Crossings(const Crossings &) = delete;
  Crossings &operator=(const Crossings &) = delete;
  ~Crossings() {
    for (double *a : {a_pts, a_par1, a_par2, a_over_pts, a_over_par1, a_over_par2})
      if (a) BSdbgfree(a);
  }
  void find(VOQbsp_curve *cv1, VOQbsp_curve *cv2, int *rc) {
    BScvcvint(cv1, cv2, BSTRUE, kCrossings, kOverlaps, pts, par1, par2, over_pts, over_par1, over_par2, &n_int,
              &n_over, &int_alloc, &over_alloc, &a_pts, &a_par1, &a_par2, &a_over_pts, &a_over_par1, &a_over_par2,
              rc);
  }
  const double *points() const { return int_alloc ? a_pts : pts; }
  const double *on1() const { return int_alloc ? a_par1 : par1; }
  const double *on2() const { return int_alloc ? a_par2 : par2; }
  const double *over_on1() const { return over_alloc ? a_over_par1 : over_par1; }
  const double *over_on2() const { return over_alloc ? a_over_par2 : over_par2; }
};

// One curve of a join: its clamped copy's selected end (parameter, far parameter, end point).
struct JoinEnd {
  int pole = 0;
  double par = 0, far = 0, point[3] = {0, 0, 0};
  void take(const VOQbsp_curve &cv, int which) {
    const int k = cv.order, n = cv.num_poles;
    pole = which ? n - 1 : 0;
    par = which ? cv.knots[n] : cv.knots[k - 1];
    far = which ? cv.knots[k - 1] : cv.knots[n];
    cartesian_pole(cv, pole, point);
  }
};

double norm(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Whether the end of cv (clamped) at its last (at_end) or first pole is straight, and then the unit direction of
// the end in dir: an order-2 curve's end leg, else the end derivative when the order's last (first) poles lie on
// one line (the line's own direction where the derivative vanishes). An end leg shorter than the distance
// tolerance has no direction and is not straight.
bool straight_end(const VOQbsp_curve &cv, bool at_end, double dir[3], int *rc) {
  const int k = cv.order, n = cv.num_poles;
  const double tol = BStoltab[bstol::dist_tol];
  if (k == 2) {
    double end[3], next[3];
    cartesian_pole(cv, at_end ? n - 1 : 0, end);
    cartesian_pole(cv, at_end ? n - 2 : 1, next);
    for (int c = 0; c < 3; ++c) dir[c] = end[c] - next[c];
    if (norm(dir) < tol) return false;
  } else {
    BSscratch<48> scratch;
    double *pts = scratch.take(3 * static_cast<std::size_t>(k));
    if (!pts) {
      *rc = BSRC_NO_SCRATCH;
      return false;
    }
    for (int i = 0; i < k; ++i) cartesian_pole(cv, (at_end ? n - k : 0) + i, pts + 3 * i);
    int type = 0;
    double point[3], vec[3], deviation = 0, pd[6];
    BSlsqptlnpl(k, pts, nullptr, BSFIT_LINE, &type, point, vec, &deviation, rc);
    if (*rc != 0 || type != BSKIND_LINE) return false;
    const double u = at_end ? cv.knots[n] : cv.knots[k - 1];
    BScveval_n(&cv, u, 1, pd, rc);
    if (*rc != 0) return false;
    const bool still = norm(pd + 3) * (cv.knots[n] - cv.knots[k - 1]) < tol;
    for (int c = 0; c < 3; ++c) dir[c] = still ? vec[c] : pd[3 + c];
  }
  return BSnorvec(rc, dir) != 0;
}

}  // namespace

void BSlinxcvext(const VOQbsp_curve *curve, double end_param, BSboolean at_end, VOQbsp_curve *out, int *rc) {
  *rc = 0;
  if (!curve || !out || !out->poles || !out->knots) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = joinable(curve)) != 0) {
  } else if (curve->rational && !out->weights) {
    *rc = BSRC_NULL_CURVE;
  } else if (!std::isfinite(end_param)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const VOQbsp_curve cv = plain_view(*curve);
    const int k = cv.order, n = cv.num_poles;
    const double start = cv.knots[k - 1], end = cv.knots[n], length = end - start;
    const double u = at_end ? end : start;
    double ktol = 0, pd[6] = {};
    BScvkttol2(cv.order, cv.knots, n, cv.poles, cv.weights, &ktol, rc);
    if (*rc == 0 && std::fabs(end_param - u) > ktol) *rc = BSRC_OUT_OF_RANGE;
    if (*rc == 0) BScveval_n(&cv, u, 1, pd, rc);
    double far[3];
    const double sign = at_end ? kReach : -kReach;
    for (int c = 0; c < 3; ++c) far[c] = pd[c] + sign * pd[3 + c];
    if (*rc == 0 && !BSallfinite(3, far)) *rc = BSRC_OUT_OF_RANGE;
    if (*rc != 0) {
    } else if (k == 2) {
      if (BScv_copy(rc, &cv, out)) set_pole(out, at_end ? n - 1 : 0, far);
    } else {
      bsknots::ScratchCurve own, piece;
      const VOQbsp_curve *base = &cv;
      if (!piece.take(k, k, false) || (!clamped(cv) && !own.take(k, n, cv.rational))) {
        *rc = BSRC_NO_SCRATCH;
      } else if (!clamped(cv)) {
        clamped_copy(cv, &own.cv, rc);
        base = &own.cv;
      }
      if (*rc == 0) {
        // A straight polynomial piece of the same order, its poles evenly spaced, on a range of its own.
        VOQbsp_curve &p = piece.cv;
        p.order = static_cast<std::int16_t>(k);
        p.periodic = 0;
        p.non_uniform = 1;
        p.num_poles = k;
        p.num_knots = 2 * k;
        p.rational = 0;
        p.weights = nullptr;
        p.planar = 0;
        p.phy_closed = 0;
        p.num_boundaries = 0;
        p.bdrys = nullptr;
        const double *from = at_end ? pd : far, *to = at_end ? far : pd;
        for (int i = 0; i < k; ++i) {
          const double s = static_cast<double>(i) / (k - 1);
          for (int c = 0; c < 3; ++c) p.poles[3 * i + c] = from[c] + s * (to[c] - from[c]);
        }
        const double a = at_end ? end : start - kReach * length, b = at_end ? end + kReach * length : start;
        for (int i = 0; i < k; ++i) p.knots[i] = a, p.knots[k + i] = b;
        if (at_end)
          BScomb2cvs(base, &p, out, rc);
        else
          BScomb2cvs(&p, base, out, rc);
      }
      if (*rc == 0 && out->rational) {
        // The join leaves the piece with the curve's end weight; the weights are brought back to 1 at both ends
        // in a record of the normaliser's own, which may grow it by inserting knots.
        VOQbsp_curve *normal = nullptr;
        BSchgecvwts(out, &normal, rc);
        if (*rc == 0) BScv_copy(rc, normal, out);
        if (normal) {
          int rel = 0;
          BSfreevoqcv(normal, &rel);
          if (*rc == 0) *rc = rel;
        }
      }
    }
  }
  BSexit(rc, "BSlinxcvext", "bslinxcvext");
}

void BSlinxcvcv(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const int ends[2], int mode, VOQbsp_curve *out1,
                VOQbsp_curve *out2, int *rc) {
  bsextend::meet_straight(cv1, cv2, ends, mode, out1, out2, nullptr, rc);
  BSexit(rc, "BSlinxcvcv", "bslinxcvcv");
}

void bsextend::meet_straight(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const int ends[2], int mode,
                             VOQbsp_curve *out1, VOQbsp_curve *out2, bool *points, int *rc) {
  *rc = 0;
  if (points) points[0] = points[1] = false;
  if (!cv1 || !cv2 || !ends || !out1 || !out2 || !out1->poles || !out1->knots || !out2->poles || !out2->knots) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = joinable(cv1)) != 0 || (*rc = joinable(cv2)) != 0) {
  } else if ((cv1->rational && !out1->weights) || (cv2->rational && !out2->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else if (mode < 0 || mode > 2 || (ends[0] != 0 && ends[0] != 1) || (ends[1] != 0 && ends[1] != 1) ||
             cv1->phy_closed || cv2->phy_closed) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const bool change1 = mode != 2, change2 = mode != 1;
    JoinEnd e1, e2;
    clamped_copy(plain_view(*cv1), out1, rc);
    if (*rc == 0) clamped_copy(plain_view(*cv2), out2, rc);
    if (*rc == 0) {
      e1.take(*out1, ends[0]);
      e2.take(*out2, ends[1]);
    }
    if (*rc != 0) {
    } else if (distance(e1.point, e2.point) < BStoltab[bstol::dist_tol]) {
      double meet[3];
      for (int c = 0; c < 3; ++c)
        meet[c] = mode == 0 ? (e1.point[c] + e2.point[c]) / 2 : mode == 1 ? e2.point[c] : e1.point[c];
      if (change1) set_pole(out1, e1.pole, meet);
      if (change2) set_pole(out2, e2.pole, meet);
    } else {
      // Work records with room for an extension and the knots its end weights may take.
      bsknots::ScratchCurve x1, x2;
      const int k1 = out1->order, k2 = out2->order;
      if (!x1.take(k1, out1->num_poles - 2 + 2 * k1, out1->rational) ||
          !x2.take(k2, out2->num_poles - 2 + 2 * k2, out2->rational)) {
        *rc = BSRC_NO_SCRATCH;
      } else {
        if (change1)
          BSlinxcvext(out1, e1.par, static_cast<BSboolean>(ends[0]), &x1.cv, rc);
        else
          BScv_copy(rc, out1, &x1.cv);
        if (*rc == 0 && change2)
          BSlinxcvext(out2, e2.par, static_cast<BSboolean>(ends[1]), &x2.cv, rc);
        else if (*rc == 0)
          BScv_copy(rc, out2, &x2.cv);
      }
      Crossings found;
      if (*rc == 0) found.find(&x1.cv, &x2.cv, rc);
      if (*rc == 0 && found.n_int == 0 && found.n_over == 0) *rc = BSRC_EXTENSIONS_APART;
      double t1 = 0, t2 = 0;
      if (*rc != 0) {
      } else if (found.n_int > 0) {
        // The crossing nearest the ends that move; the first of equal costs stays.
        double best = 0;
        for (int i = 0; i < found.n_int; ++i) {
          const double *X = found.points() + 3 * i;
          const double cost = (change1 ? distance(X, e1.point) : 0.0) + (change2 ? distance(X, e2.point) : 0.0);
          if (i == 0 || cost < best) {
            best = cost;
            t1 = found.on1()[i];
            t2 = found.on2()[i];
          }
        }
      } else {
        // Only common stretches: the stretch end nearest the end of the curve that is scanned, with its partner.
        const bool scan2 = mode == 2;
        const double *scan = scan2 ? found.over_on2() : found.over_on1();
        const double *partner = scan2 ? found.over_on1() : found.over_on2();
        // Where that end lies on its extension: at its own parameter, but an order-2 extension stretches the end
        // leg over the leg's range, and the end point moves inwards in parameter.
        const JoinEnd &e = scan2 ? e2 : e1;
        VOQbsp_curve *xs = scan2 ? &x2.cv : &x1.cv;
        double target = e.par;
        if (xs->order == 2) {
          double base[3], d = 0;
          BSmdstptcv(xs, e.point, &target, base, &d, rc);
        }
        int chosen = 0;
        for (int i = 1; *rc == 0 && i < 2 * found.n_over; ++i)
          if (std::fabs(scan[i] - target) < std::fabs(scan[chosen] - target)) chosen = i;
        t1 = scan2 ? partner[chosen] : scan[chosen];
        t2 = scan2 ? scan[chosen] : partner[chosen];
        if (*rc == 0 && mode == 0) {
          // The junction moves halfway back towards cv1's end, cv2 following by projection.
          t1 = (t1 + target) / 2;
          double X[3], base[3], d = 0;
          BScveval_n(&x1.cv, t1, 0, X, rc);
          if (*rc == 0) BSmdstptcv(&x2.cv, X, &t2, base, &d, rc);
          if (*rc == 0 && d > 10 * BStoltab[bstol::dist_tol]) *rc = BSRC_NOT_JOINED;
        }
      }
      if (!points) {
        if (*rc == 0 && change1) BSactivsplt(rc, &x1.cv, &t1, &e1.far, out1, nullptr);
        if (*rc == 0 && change2) BSactivsplt(rc, &x2.cv, &t2, &e2.far, out2, nullptr);
      } else {
        // A curve cut at its far end is one point: that point, of order 2.
        VOQbsp_curve *const x[2] = {&x1.cv, &x2.cv}, *const out[2] = {out1, out2};
        const double at[2] = {t1, t2}, far[2] = {e1.far, e2.far};
        const bool change[2] = {change1, change2};
        for (int i = 0; i < 2 && *rc == 0; ++i) {
          double a = at[i], b = far[i], p[3];
          if (!change[i] || bsknots::active_split(rc, x[i], &a, &b, out[i], nullptr, false, &points[i]) || *rc != 0)
            continue;
          if (!points[i]) *rc = BSRC_OUT_OF_RANGE;
          if (*rc == 0) BScveval_n(x[i], at[i], 0, p, rc);
          if (*rc == 0) BSptcvgen(p, 2, BSFALSE, out[i], rc);
        }
      }
      if (*rc == 0 && points && (points[0] || points[1])) {
        // The other curve ends where the one that is a point lies.
        const int keep = points[0] ? 1 : 0;
        VOQbsp_curve *kept = keep ? out2 : out1, *gone = keep ? out1 : out2;
        double q[3];
        cartesian_pole(*gone, 0, q);
        if (!points[keep]) set_pole(kept, ends[keep] ? kept->num_poles - 1 : 0, q);
      } else if (*rc == 0 && mode == 0) {
        // Both junction poles on the middle of the two trimmed ends.
        const int j1 = ends[0] ? out1->num_poles - 1 : 0, j2 = ends[1] ? out2->num_poles - 1 : 0;
        double a[3], b[3], mid[3];
        cartesian_pole(*out1, j1, a);
        cartesian_pole(*out2, j2, b);
        for (int c = 0; c < 3; ++c) mid[c] = (a[c] + b[c]) / 2;
        set_pole(out1, j1, mid);
        set_pole(out2, j2, mid);
      }
    }
  }
}

void BSlineconcvs(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int mode, VOQbsp_curve **first,
                  VOQbsp_curve **second, VOQbsp_curve **third, int *rc) {
  bsextend::connect_ends(cv1, cv2, mode, first, second, third, nullptr, rc);
  BSexit(rc, "BSlineconcvs", "bslineconcvs");
}

void bsextend::connect_ends(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int mode, VOQbsp_curve **first,
                            VOQbsp_curve **second, VOQbsp_curve **third, bool *points, int *rc) {
  *rc = 0;
  if (points) points[0] = points[1] = false;
  VOQbsp_curve *copy1 = nullptr, *copy2 = nullptr, *line = nullptr;
  if (!first || !second || !third) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = joinable(cv1)) != 0 || (*rc = joinable(cv2)) != 0) {
  } else {
    const VOQbsp_curve a = plain_view(*cv1), b = plain_view(*cv2);
    // Trimmed extensions may hold up to two orders more poles than their curves.
    const int room1 = mode == 0 ? a.num_poles - 2 + 2 * a.order : a.num_poles;
    const int room2 = mode == 0 ? b.num_poles - 2 + 2 * b.order : b.num_poles;
    BSallocvoqcv(a.order, room1, a.rational, 0, &copy1, rc);
    if (*rc == 0) BSallocvoqcv(b.order, room2, b.rational, 0, &copy2, rc);
    bool joined = false;
    if (*rc == 0 && mode == 0) {
      const int ends[2] = {1, 0};
      if (points)
        bsextend::meet_straight(&a, &b, ends, 0, copy1, copy2, points, rc);
      else
        BSlinxcvcv(&a, &b, ends, 0, copy1, copy2, rc);
      if (*rc == 0) joined = true;
      // Extensions that never meet are joined by a line.
      if (*rc == BSRC_EXTENSIONS_APART) *rc = 0;
    }
    if (*rc == 0 && !joined) {
      clamped_copy(a, copy1, rc);
      if (*rc == 0) clamped_copy(b, copy2, rc);
    }
    if (*rc == 0 && !joined) {
      double end1[3], start2[3];
      cartesian_pole(*copy1, copy1->num_poles - 1, end1);
      cartesian_pole(*copy2, 0, start2);
      if (mode >= 2) {
        // The pivot curve's straight end is continued onto the other curve's end point when the gap lies along
        // it; a gap below the distance tolerance is closed by the move whatever the end's shape.
        const bool pivot1 = mode == 2;
        double dir[3], chord[3];
        for (int c = 0; c < 3; ++c) chord[c] = start2[c] - end1[c];
        bool along = norm(chord) < BStoltab[bstol::dist_tol];
        if (!along && straight_end(pivot1 ? *copy1 : *copy2, pivot1, dir, rc) && BSnorvec(rc, chord)) {
          double cross[3];
          BSvcross(rc, chord, dir, cross);
          along = norm(cross) < 0.5 * BStoltab[bstol::dist_tol];
        }
        if (*rc == 0 && along) {
          if (pivot1)
            set_pole(copy1, copy1->num_poles - 1, start2);
          else
            set_pole(copy2, 0, end1);
          joined = true;
        }
      }
      if (*rc == 0 && !joined) {
        BSallocvoqcv(2, 2, BSFALSE, 0, &line, rc);
        if (*rc == 0) BSlngen(rc, end1, start2, line, nullptr);
      }
    }
    if (*rc == 0) {
      *first = copy1;
      if (line) {
        *second = line;
        *third = copy2;
      } else {
        *second = copy2;
      }
    }
  }
  if (*rc != 0) {
    // Released on failure only, where the failure's own code stays.
    for (VOQbsp_curve *cv : {copy1, copy2, line})
      if (cv) {
        int rel = 0;
        BSfreevoqcv(cv, &rel);
      }
    for (VOQbsp_curve **out : {first, second, third})
      if (out) *out = nullptr;
  }
}
