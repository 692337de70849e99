// Circular fillets between two curves: two lines in closed form, any other planar pair by Newton on the two curve
// parameters (the points where the curves' offsets by the radius meet), and pieces that are not quite planar by
// filleting their projections and lifting the arc's end poles back onto the pieces' tangent lines.
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/extend.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

namespace {

constexpr int kIterations = 25;
constexpr int kArcPoles = 9;  // three segments of a rational quadratic and a knot inserted twice

// What the Newton residual sees: both curves in the local frame, the radius and the reference point.
struct FilletData {
  const VOQbsp_curve *cv1, *cv2;
  double r;
  double ref[3];
};

// The whole tolerance table, put back entry by entry: a caller's hand-set dependent entries survive a call that derives
// them from a small radius. A failing restore replaces only a zero rc.
class SavedTable {
 public:
  SavedTable() {
    for (int i = 0; i < BSTOL_COUNT; ++i) v_[i] = BStoltab[i];
  }
  void restore(int *rc) const {
    for (int i = 0; i < BSTOL_COUNT; ++i) {
      if (BStoltab[i] == v_[i]) continue;
      int lrc = 0;
      BSchangepar(&lrc, i, v_[i]);
      if (lrc != 0 && *rc == 0) *rc = lrc;
    }
  }
  double entry(int i) const { return v_[i]; }

 private:
  double v_[BSTOL_COUNT];
};

// A record whose arrays come from scratch memory, sized for poles poles and knots knots; released by BSstfrecvfl.
bool take_scratch_curve(VOQbsp_curve *cv, int poles, int knots, bool rational) {
  *cv = VOQbsp_curve{};
  cv->rational = rational ? 1 : 0;
  cv->poles = BSscratchtake(3 * static_cast<std::size_t>(poles), nullptr);
  cv->knots = BSscratchtake(static_cast<std::size_t>(knots), nullptr);
  cv->weights = rational ? BSscratchtake(static_cast<std::size_t>(poles), nullptr) : nullptr;
  return cv->poles && cv->knots && (!rational || cv->weights);
}

void release_scratch_curve(VOQbsp_curve *cv, int *rc) {
  int lrc = 0;
  cv->rational = 1;  // whatever the copy became, its weights array (if any) is scratch too
  BSstfrecvfl(&lrc, cv);
  if (lrc != 0 && *rc == 0) *rc = lrc;
}

void pole(const VOQbsp_curve *cv, int i, double out[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = cv->poles[3 * i + c] / w;
}

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

bool finite_points(std::initializer_list<const double *> points) {
  for (const double *p : points)
    if (!BSallfinite(3, p)) return false;
  return true;
}

// The xy length of the offset difference at (u1, u2).
bool residual_norm(int *rc, const FilletData &d, double u1, double u2, double *norm) {
  double f[3];
  if (!BSeval(rc, d.cv1, d.cv2, &u1, &u2, &d.r, d.ref, f)) return false;
  *norm = std::hypot(f[0], f[1]);
  return true;
}

// The two lines in closed form (step 4 of the construction).
void fillet_lines(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double side1[3],
                  const double side2[3], const double corner[3], double r, VOQbsp_curve *arc, double centre[3],
                  double par[2]) {
  double a1[3], b1[3], a2[3], b2[3], d1[3], d2[3];
  pole(cv1, 0, a1), pole(cv1, cv1->num_poles - 1, b1);
  pole(cv2, 0, a2), pole(cv2, cv2->num_poles - 1, b2);
  for (int c = 0; c < 3; ++c) d1[c] = b1[c] - a1[c], d2[c] = b2[c] - a2[c];
  if (!BSnorvec(rc, d1) || !BSnorvec(rc, d2)) return;
  BSboolean parallel = BSFALSE;
  double dist = 0, c1[3], c2[3];
  BSlldist(rc, a1, a2, d1, d2, &parallel, &dist, c1, c2);
  if (*rc != 0) return;
  double n[3], p1[3], p2[3];
  cross(d1, d2, n);
  if (parallel || dist > BStoltab[bstol::dist_tol] || dot(n, n) < BStoltab[5]) {
    *rc = BSRC_ZERO_WEIGHT;
    return;
  }
  cross(n, d1, p1), cross(n, d2, p2);
  if (!BSnorvec(rc, p1) || !BSnorvec(rc, p2)) return;
  double to1[3], to2[3];
  for (int c = 0; c < 3; ++c) to1[c] = corner[c] - side1[c], to2[c] = corner[c] - side2[c];
  const double s1 = dot(p1, to1) >= 0 ? r : -r, s2 = dot(p2, to2) >= 0 ? r : -r;
  double seg1[6], seg2[6], pts[6], t1[2], t2[2];
  for (int c = 0; c < 3; ++c) {
    seg1[c] = a1[c] + s1 * p1[c], seg1[3 + c] = b1[c] + s1 * p1[c];
    seg2[c] = a2[c] + s2 * p2[c], seg2[3 + c] = b2[c] + s2 * p2[c];
  }
  int count = 0;
  BSxlnln(seg1, seg2, &count, pts, t1, t2, rc);
  if (*rc == 0 && count == 0) *rc = BSRC_ZERO_WEIGHT;
  if (*rc != 0) return;
  double T1[3], T2[3], e1[3], e2[3], normal[3];
  for (int c = 0; c < 3; ++c) {
    centre[c] = pts[c];
    T1[c] = a1[c] + t1[0] * (b1[c] - a1[c]);
    T2[c] = a2[c] + t2[0] * (b2[c] - a2[c]);
    e1[c] = T1[c] - centre[c], e2[c] = T2[c] - centre[c];
  }
  cross(e1, e2, normal);
  if (!BSnorvec(rc, normal) || !BSprepcarc(rc, T1, centre, T2, normal, arc, nullptr, nullptr)) return;
  BSboolean on1 = BSFALSE, on2 = BSFALSE;
  if (BSprptoncv(rc, cv1, T1, &par[0], &on1) && BSprptoncv(rc, cv2, T2, &par[1], &on2) && !(on1 && on2))
    *rc = BSRC_ZERO_WEIGHT;
}

// Any other planar pair in the frame of the plane (steps 5 to 9).
void fillet_general(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double plane_normal[3],
                    const double side1[3], const double side2[3], const double corner[3], double r, VOQbsp_curve *arc,
                    double centre[3], double par[2]) {
  // The side points are on or near the curves, perhaps off their plane: the fillet is made in the curves' plane,
  // so the frame is set up at side1's foot on it (through cv1's first pole), and side2's foot stands for side2.
  double un[3] = {plane_normal[0], plane_normal[1], plane_normal[2]}, p0[3], on1[3], on2[3];
  if (!BSnorvec(rc, un)) return;
  pole(cv1, 0, p0);
  for (const auto &[from, to] : {std::pair{side1, on1}, std::pair{side2, on2}}) {
    const double off = (from[0] - p0[0]) * un[0] + (from[1] - p0[1]) * un[1] + (from[2] - p0[2]) * un[2];
    for (int c = 0; c < 3; ++c) to[c] = from[c] - off * un[c];
  }
  side1 = on1, side2 = on2;
  // The corner in the plane through side1.
  double foot[3], pc[3];
  BSproj1(rc, side1, plane_normal, corner, foot);
  for (int c = 0; c < 3; ++c) pc[c] = corner[c] - (foot[c] - side1[c]);
  const double origin[3] = {0, 0, 0}, z[3] = {0, 0, 1};
  double t[3], M[9], scale = 1;
  if (!BStrans1(rc, side1, plane_normal, origin, z, t, M, &scale)) return;
  VOQbsp_curve local[2];
  const VOQbsp_curve *src[2] = {cv1, cv2};
  bool taken = true;
  for (int i = 0; i < 2; ++i)
    taken =
        take_scratch_curve(&local[i], src[i]->num_poles, src[i]->num_poles + src[i]->order, src[i]->rational) && taken;
  if (!taken) *rc = BSRC_NO_SCRATCH;
  for (int i = 0; i < 2 && *rc == 0; ++i) {
    if (BScv_copy(rc, src[i], &local[i]) && BScvoton(rc, t, M, &scale, &local[i], &local[i])) {
      BScvtstclsd(&local[i], rc);
      // Classified as planar or straight by the caller: the normal routine may rely on it.
      local[i].planar = 1;
    }
  }
  FilletData data{&local[0], &local[1], r, {0, 0, 0}};
  double s1[3], s2[3];
  if (*rc == 0) BSptoldtnw(rc, t, M, &scale, pc, data.ref);
  if (*rc == 0) BSptoldtnw(rc, t, M, &scale, side1, s1);
  if (*rc == 0) BSptoldtnw(rc, t, M, &scale, side2, s2);
  double start[2] = {0, 0}, x[2] = {0, 0};
  const int n = 4;
  if (*rc == 0) BSgoodstart(rc, &n, &local[0], &local[1], s1, s2, data.ref, &r, start);
  if (*rc == 0) {
    double lo[2] = {local[0].knots[local[0].order - 1], local[1].knots[local[1].order - 1]};
    double hi[2] = {local[0].knots[local[0].num_poles], local[1].knots[local[1].num_poles]};
    double kt1 = 0, kt2 = 0;
    BScvkttol2(local[0].order, local[0].knots, local[0].num_poles, local[0].poles,
               local[0].rational ? local[0].weights : nullptr, &kt1, rc);
    if (*rc == 0)
      BScvkttol2(local[1].order, local[1].knots, local[1].num_poles, local[1].poles,
                 local[1].rational ? local[1].weights : nullptr, &kt2, rc);
    std::uint16_t wrap[2] = {static_cast<std::uint16_t>(local[0].phy_closed != 0),
                             static_cast<std::uint16_t>(local[1].phy_closed != 0)};
    BSnewtonrec problem{
        lo, hi, BStoltab[bstol::dist_tol], std::fmin(kt1, kt2), 2, kIterations, 1, wrap, &data, start, 0, x, 0};
    // A solver that stops on a short step with the offsets still apart has not closed the pair either.
    if (*rc == 0 && BSqnwt(rc, &problem, BSfilletres) &&
        (problem.iterations >= kIterations || !(problem.fnorm <= problem.ftol)))
      *rc = BSRC_NULL_VECTOR;
    // The solver's fnorm is the residual where it last formed a Jacobian; the point it hands back is one step
    // further on, and a step onto a corner knot meets the mean normal there, far from the normal the step was
    // aimed with. So each answer is measured where it stands, and the pair must close there.
    double closure = 0;
    if (*rc == 0) BSclamppar(local[0].knots, local[0].order, local[0].num_poles, &x[0], rc);
    if (*rc == 0) BSclamppar(local[1].knots, local[1].order, local[1].num_poles, &x[1], rc);
    if (*rc == 0) residual_norm(rc, data, x[0], x[1], &closure);
    // Closed to dist_tol, the offset points may still be a good part of it apart, and so would be the centre from
    // either curve: a second pass from there closes the pair to the precision of the evaluation.
    if (*rc == 0) {
      double polished[2] = {x[0], x[1]}, from[2] = {x[0], x[1]}, there = 0;
      BSnewtonrec again{
          lo,       hi, BStoltab[bstol::dist_tol] * 1e-6, std::fmin(kt1, kt2), 2, kIterations, 1, wrap, &data, from, 0,
          polished, 0};
      int lrc = 0;
      if (BSqnwt(&lrc, &again, BSfilletres)) {
        BSclamppar(local[0].knots, local[0].order, local[0].num_poles, &polished[0], &lrc);
        if (lrc == 0) BSclamppar(local[1].knots, local[1].order, local[1].num_poles, &polished[1], &lrc);
        if (lrc == 0 && residual_norm(&lrc, data, polished[0], polished[1], &there) && there <= closure)
          x[0] = polished[0], x[1] = polished[1], closure = there;
      }
    }
    if (*rc == 0 && !(closure <= problem.ftol)) *rc = BSRC_NULL_VECTOR;
  }
  double P1[3], P2[3], O1[3], O2[3], a[3], b[3], axb[3];
  if (*rc == 0) BScveval_n(&local[0], x[0], 0, P1, rc);
  if (*rc == 0) BScveval_n(&local[1], x[1], 0, P2, rc);
  if (*rc == 0 && BSoffsetpt(rc, &local[0], &x[0], data.ref, &r, O1) &&
      BSoffsetpt(rc, &local[1], &x[1], data.ref, &r, O2)) {
    double m[3];
    for (int c = 0; c < 3; ++c) m[c] = (O1[c] + O2[c]) / 2, a[c] = P1[c] - m[c], b[c] = P2[c] - m[c];
    par[0] = x[0], par[1] = x[1];
    cross(a, b, axb);
    const double la = std::sqrt(dot(a, a)), lb = std::sqrt(dot(b, b));
    if (!(std::sqrt(dot(axb, axb)) >= BStoltab[4] * la * lb) || la * lb == 0) *rc = BSRC_NULL_VECTOR;
    double w1[3], w2[3], normal[3];
    if (*rc == 0 && BSptnwtold(rc, t, M, &scale, P1, w1) && BSptnwtold(rc, t, M, &scale, P2, w2) &&
        BSptnwtold(rc, t, M, &scale, m, centre)) {
      for (int c = 0; c < 3; ++c) normal[c] = M[c] * axb[0] + M[3 + c] * axb[1] + M[6 + c] * axb[2];
      BSprepcarc(rc, w1, centre, w2, normal, arc, nullptr, nullptr);
    }
  }
  for (VOQbsp_curve &cv : local) release_scratch_curve(&cv, rc);
}

}  // namespace

BSboolean BSget_u_nor(int *rc, const VOQbsp_curve *cv, const double *u, const double ref[3], double nor[3]) {
  *rc = 0;
  BSboolean planar = cv->planar;
  if (!planar) BScollinmn2(cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &planar, rc);
  BSboolean on = BSFALSE;
  double ignored = 0, rows[6], right[6];
  if (*rc == 0 && !planar) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (*rc == 0 && BSprptoncv(rc, cv, ref, &ignored, &on) && on) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (*rc == 0) {
    const int one = 1;
    BSboolean two_sided = BSFALSE;
    if (BScveval_b(rc, cv, u, &one, nullptr, &two_sided, rows, right) && two_sided)
      for (int c = 3; c < 6; ++c) rows[c] = (rows[c] + right[c]) / 2;
  }
  if (*rc == 0) {
    double d[3], txd[3];
    for (int c = 0; c < 3; ++c) d[c] = ref[c] - rows[c];
    cross(rows + 3, d, txd);
    cross(txd, rows + 3, nor);
    const double len = std::sqrt(dot(nor, nor));
    if (!(len > 0) || !std::isfinite(len)) {
      *rc = BSRC_OUT_OF_RANGE;
    } else {
      for (int c = 0; c < 3; ++c) nor[c] /= len;
    }
  }
  BSexit(rc, "BSget_u_nor", "bsget_u_nor");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSoffsetpt(int *rc, const VOQbsp_curve *cv, const double *u, const double ref[3], const double *r,
                     double out[3]) {
  *rc = 0;
  double p[3], n[3];
  BScveval_n(cv, *u, 0, p, rc);
  if (*rc == 0 && BSget_u_nor(rc, cv, u, ref, n))
    for (int c = 0; c < 3; ++c) out[c] = p[c] + *r * n[c];
  BSexit(rc, "BSoffsetpt", "bsoffsetpt");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSeval(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double *u1, const double *u2,
                 const double *r, const double ref[3], double f[3]) {
  *rc = 0;
  double o1[3], o2[3];
  if (BSoffsetpt(rc, cv1, u1, ref, r, o1) && BSoffsetpt(rc, cv2, u2, ref, r, o2))
    for (int c = 0; c < 3; ++c) f[c] = o2[c] - o1[c];
  BSexit(rc, "BSeval", "bseval");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSgoodstart(int *rc, const int *n, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double side1[3],
                      const double side2[3], const double ref[3], const double *r, double start[2]) {
  *rc = 0;
  const VOQbsp_curve *cvs[2] = {cv1, cv2};
  const double *sides[2] = {side1, side2};
  double foot[2] = {0, 0}, lo[2] = {0, 0}, hi[2] = {0, 0};
  for (int i = 0; i < 2 && *rc == 0; ++i) {
    BSboolean found = BSFALSE;
    int position = 0;
    // A side point beyond a curve's end has no foot there: its nearest point seeds instead.
    if (BSperpa(rc, cvs[i], sides[i], sides[i], &found, &foot[i], &position) && !found) {
      double base[3], dist = 0;
      BSmdstptcv(cvs[i], sides[i], &foot[i], base, &dist, rc);
    }
    const double a = foot[i], s = cvs[i]->knots[cvs[i]->order - 1], e = cvs[i]->knots[cvs[i]->num_poles];
    const bool nearer_start = std::fabs(a - s) <= std::fabs(e - a);
    lo[i] = a + (s - a) / (nearer_start ? 3 : 4);
    hi[i] = a + (e - a) / (nearer_start ? 4 : 3);
  }
  const FilletData data{cv1, cv2, *r, {ref[0], ref[1], ref[2]}};
  double best = 0;
  if (*rc == 0 && residual_norm(rc, data, foot[0], foot[1], &best)) {
    start[0] = foot[0], start[1] = foot[1];
    const double h = 1.0 / (*n + 1);
    for (int i = 1; i <= *n && *rc == 0; ++i)
      for (int j = 1; j <= *n && *rc == 0; ++j) {
        const double u1 = lo[0] + i * h * (hi[0] - lo[0]), u2 = lo[1] + j * h * (hi[1] - lo[1]);
        double norm = 0;
        if (residual_norm(rc, data, u1, u2, &norm) && norm <= best) best = norm, start[0] = u1, start[1] = u2;
      }
  }
  BSexit(rc, "BSgoodstart", "bsgoodstart");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSfilletres(int *rc, double x[2], double f[2], void *data_address) {
  *rc = 0;
  const auto *d = static_cast<const FilletData *>(*static_cast<void **>(data_address));
  double diff[3];
  BSclamppar(d->cv1->knots, d->cv1->order, d->cv1->num_poles, &x[0], rc);
  if (*rc == 0) BSclamppar(d->cv2->knots, d->cv2->order, d->cv2->num_poles, &x[1], rc);
  if (*rc == 0 && BSeval(rc, d->cv1, d->cv2, &x[0], &x[1], &d->r, d->ref, diff)) f[0] = diff[0], f[1] = diff[1];
  BSexit(rc, "BSfilletres", "bsfilletres");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSfillet(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double side1[3],
                   const double side2[3], const double corner[3], const double *radius, VOQbsp_curve *arc,
                   double centre[3], double par[2]) {
  *rc = 0;
  if (!side1 || !side2 || !corner || !radius || !arc || !centre || !par) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int bad = BScvcheck(cv1) ? BScvcheck(cv1) : BScvcheck(cv2)) {
    *rc = bad;
  } else if (!(*radius > 0) || !std::isfinite(*radius) || !finite_points({side1, side2, corner})) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  if (*rc == 0) {
    const SavedTable saved;
    const double r = *radius;
    // A radius below the basis tolerance would vanish beside the tolerances: they follow it for the call.
    if (r < BStoltab[bstol::basis_tol]) BSchgdeppar(r * 0.001, rc);
    int kind1 = 0, kind2 = 0;
    double v1[3], v2[3];
    if (*rc == 0) BSptlnplan(cv1->num_poles, 0, cv1->poles, cv1->rational ? cv1->weights : nullptr, &kind1, v1, rc);
    if (*rc == 0) BSptlnplan(cv2->num_poles, 0, cv2->poles, cv2->rational ? cv2->weights : nullptr, &kind2, v2, rc);
    const bool lines = kind1 == BSKIND_LINE && kind2 == BSKIND_LINE;
    if (*rc == 0 && (kind1 == BSKIND_POINT || kind1 == BSKIND_NONE || kind2 == BSKIND_POINT || kind2 == BSKIND_NONE)) {
      *rc = BSRC_ZERO_WEIGHT;
    } else if (*rc == 0 && kind1 == BSKIND_PLANE && kind2 == BSKIND_PLANE) {
      double c[3];
      cross(v1, v2, c);
      if (dot(c, c) > BStoltab[5]) *rc = BSRC_ZERO_WEIGHT;
    } else if (*rc == 0 && !lines) {
      // A line against a planar curve: the line must lie in that plane, on either side within entry 3.
      const VOQbsp_curve *line = kind1 == BSKIND_LINE ? cv1 : cv2;
      const double *n = kind1 == BSKIND_PLANE ? v1 : v2;
      double a[3], b[3], f1[3], f2[3], d[3], e[3];
      pole(line, 0, a), pole(line, line->num_poles - 1, b), pole(cv1, 0, f1), pole(cv2, 0, f2);
      for (int c = 0; c < 3; ++c) d[c] = b[c] - a[c], e[c] = f2[c] - f1[c];
      if (std::fabs(dot(d, n)) > BStoltab[3] || std::fabs(dot(e, n)) > BStoltab[3]) *rc = BSRC_ZERO_WEIGHT;
    }
    if (*rc == 0 && lines) {
      fillet_lines(rc, cv1, cv2, side1, side2, corner, r, arc, centre, par);
    } else if (*rc == 0) {
      fillet_general(rc, cv1, cv2, kind1 == BSKIND_PLANE ? v1 : v2, side1, side2, corner, r, arc, centre, par);
    }
    saved.restore(rc);
  }
  BSexit(rc, "BSfillet", "bsfillet");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSfillet3d(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double radius, const double side1[3],
                const double side2[3], const double corner[3], const double normal[3], VOQbsp_curve *result, int *rc) {
  *rc = 0;
  if (!side1 || !side2 || !corner || !normal || !result || !result->poles || !result->knots) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int bad = BScvcheck(cv1) ? BScvcheck(cv1) : BScvcheck(cv2)) {
    *rc = bad;
  } else if (!(radius > 0) || !std::isfinite(radius) || !finite_points({side1, side2, corner, normal})) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  if (*rc == 0) {
    const SavedTable saved;
    const int room = result->num_poles;
    double n[3] = {normal[0], normal[1], normal[2]}, origin[3];
    pole(cv1, 0, origin);
    VOQbsp_curve proj[2], arc;
    const VOQbsp_curve *src[2] = {cv1, cv2};
    bool taken = take_scratch_curve(&arc, kArcPoles, kArcPoles + 2, true);
    for (int i = 0; i < 2; ++i)
      taken =
          take_scratch_curve(&proj[i], src[i]->num_poles, src[i]->num_poles + src[i]->order, src[i]->rational) && taken;
    if (!taken) *rc = BSRC_NO_SCRATCH;
    if (*rc == 0) BSnorvec(rc, n);
    for (int i = 0; i < 2 && *rc == 0; ++i) BSprj_cv_pl(rc, src[i], origin, n, n, &proj[i]);
    // The guide points moved onto the plane along its normal.
    double p[3][3];
    const double *guide[3] = {corner, side1, side2};
    for (int g = 0; g < 3 && *rc == 0; ++g) {
      double foot[3];
      BSproj1(rc, origin, n, guide[g], foot);
      for (int c = 0; c < 3; ++c) p[g][c] = guide[g][c] - (foot[c] - origin[c]);
    }
    double centre[3], par[2];
    if (*rc == 0) BSfillet(rc, &proj[0], &proj[1], p[1], p[2], p[0], &radius, &arc, centre, par);
    if (*rc == 0 && arc.num_poles < 5) {
      double ktol = 0;
      BScvkttol2(arc.order, arc.knots, arc.num_poles, arc.poles, arc.weights, &ktol, rc);
      if (*rc == 0) BSchangepar(rc, bstol::knot_tol, ktol);
      VOQbsp_curve *out = &arc;
      if (*rc == 0) BSadd_1kt_mul(&arc, (arc.knots[arc.order - 1] + arc.knots[arc.num_poles]) / 2, 2, BSTRUE, &out, rc);
      int lrc = 0;
      BSchangepar(&lrc, bstol::knot_tol, saved.entry(bstol::knot_tol));
      if (lrc != 0 && *rc == 0) *rc = lrc;
    }
    // The result record was allocated by the caller for room poles: an arc that does not fit is refused.
    if (*rc == 0 && arc.num_poles > room) *rc = BSRC_OUT_OF_RANGE;
    const int np = arc.num_poles;
    if (*rc == 0 && BScv_copy(rc, &arc, result)) BSunwght_p(rc, arc.poles, arc.weights, &np, result->poles);
    // Where the arc leaves each projected piece, and the lifts of its two end poles on that side onto the piece's
    // tangent line in space.
    const struct {
      const VOQbsp_curve *piece, *projected;
      int end, next;
    } sides[2] = {{cv1, &proj[0], 0, 1}, {cv2, &proj[1], np - 1, np - 2}};
    for (const auto &s : sides) {
      if (*rc != 0) break;
      std::int16_t nint = 0, npar = 0;
      double *params = nullptr, *intervals = nullptr, dist = 0, u = 0;
      BSmdistptcv(const_cast<VOQbsp_curve *>(s.projected), result->poles + 3 * s.end, &nint, &npar, &params, &dist,
                  &intervals, rc);
      if (*rc == 0 && (npar < 1 || dist > BStoltab[bstol::dist_tol])) *rc = BSRC_ZERO_WEIGHT;
      if (*rc == 0) u = params[0];
      BSdbgfree(params), BSdbgfree(intervals);
      double tangent[6];
      if (*rc == 0) BScveval_n(s.piece, u, 1, tangent, rc);
      for (int k : {s.end, s.next}) {
        if (*rc != 0) break;
        double *q = result->poles + 3 * k, a[3], b[3], tip[3], closest[6], params2[2], gap = 0;
        int type = 0;
        for (int c = 0; c < 3; ++c) a[c] = q[c], b[c] = q[c] + n[c], tip[c] = tangent[c] + tangent[3 + c];
        if (BSdistll(rc, a, b, tangent, tip, &type, &gap, closest, params2) && !(gap < BStoltab[bstol::dist_tol]))
          *rc = BSRC_ZERO_WEIGHT;
        for (int c = 0; c < 3 && *rc == 0; ++c) q[c] = (closest[c] + closest[3 + c]) / 2;
      }
    }
    // Five poles: the middle one back between its lifted neighbours, which keeps the arc symmetric. With more,
    // re-spacing would flatten the arc, so only the lifted poles move.
    if (*rc == 0 && np == 5) {
      const int intervals = np - 3;
      double row[9];
      if (BSeqspaces(rc, result->poles + 3, result->poles + 3 * (np - 2), &intervals, row))
        for (int c = 0; c < 3; ++c) result->poles[6 + c] = row[3 + c];
    }
    if (*rc == 0) BSwght_p(rc, result->poles, arc.weights, &np, result->poles);
    release_scratch_curve(&arc, rc);
    for (VOQbsp_curve &cv : proj) release_scratch_curve(&cv, rc);
    saved.restore(rc);
  }
  BSexit(rc, "BSfillet3d", "bsfillet3d");
}
