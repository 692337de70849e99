// The offset of one planar curve by a distance that varies along it. A constant offset by the larger end distance
// fixes order, knots and sample parameters; the true variable offset is sampled at its node values, positioned by
// arc length along the curve, and one interpolating fit goes through the samples. Joints where the constant
// offset is smooth are made tangent-continuous again. A two-segment polyline gets exact poles instead, and a
// quadratic that nearly turns back on itself is refined before anything else.
#include <cmath>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/fitting.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

constexpr int kLocal = 100;
constexpr double kTurnBack = -0.9848;  // cosine of about 170 degrees between the legs of a quadratic
constexpr int kArcTol = 15;            // tolerance entry of the arc-length measure

std::size_t sz(long long a, long long b = 1) { return static_cast<std::size_t>(a) * static_cast<std::size_t>(b); }

// Work curves released on every way out; a failed release turns success into failure.
struct WorkCurves {
  VOQbsp_curve *c[4] = {nullptr, nullptr, nullptr, nullptr};
  bool release() {
    bool ok = true;
    for (VOQbsp_curve *&cv : c) {
      int r = 0;
      if (cv) BSfreevoqcv(cv, &r);
      ok = ok && r == 0;
      cv = nullptr;
    }
    return ok;
  }
  ~WorkCurves() { release(); }
};

// Tolerance entry 15 put back however the measurement ends.
class ArcTolerance {
 public:
  ArcTolerance() : saved_(BStoltab[kArcTol]) {}
  ~ArcTolerance() {
    int r = 0;
    BSchangepar(&r, kArcTol, saved_);
  }

 private:
  double saved_;
};

// The z coordinates of a curve's poles set aside while it is measured in the xy plane.
class Flattened {
 public:
  Flattened(VOQbsp_curve *cv, double *store) : cv_(cv), z_(store) {
    for (int i = 0; i < cv_->num_poles; ++i) z_[i] = cv_->poles[3 * i + 2], cv_->poles[3 * i + 2] = 0.0;
  }
  ~Flattened() {
    for (int i = 0; i < cv_->num_poles; ++i) cv_->poles[3 * i + 2] = z_[i];
  }
  Flattened(const Flattened &) = delete;
  Flattened &operator=(const Flattened &) = delete;

 private:
  VOQbsp_curve *cv_;
  double *z_;
};

// cv refined at the ascending knots ins (already inside its range) into a new record.
void insert_knots(const VOQbsp_curve *cv, int count, const double *ins, VOQbsp_curve **out, int *rc) {
  const int k = cv->order, P = cv->num_poles + count;
  BSscratch<kLocal> knot_scratch;
  double *t = knot_scratch.take(sz(P + k));
  if (!t) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  int i = 0, j = 0, o = 0;
  while (i < cv->num_knots || j < count) t[o++] = j >= count || (i < cv->num_knots && cv->knots[i] <= ins[j]) ? cv->knots[i++] : ins[j++];
  BSallocvoqcv(cv->order, P, cv->rational, 0, out, rc);
  if (*rc != 0) return;
  BScv_copy(rc, cv, *out);
  if (*rc == 0) BSadd_kts(cv, P, t, *out, rc);
  if (*rc == 0) (*out)->non_uniform = 1;
}

void unweighted_pole(const VOQbsp_curve *cv, int i, double out[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = cv->poles[3 * i + c] / w;
}

void set_pole(VOQbsp_curve *cv, int i, const double p[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) cv->poles[3 * i + c] = p[c] * w;
}

// The right-hand normal (T x z) of the leg a -> b in the xy plane, and its length.
bool leg_normal(const double a[3], const double b[3], double n[3], double *len) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  *len = std::hypot(dx, dy);
  if (!(*len > 0)) return false;
  n[0] = dy / *len, n[1] = -dx / *len, n[2] = 0.0;
  return true;
}

// The exact offset of a two-segment polyline: end poles along their legs' normals, the middle pole on the chord
// of the ends for collinear legs, else where the two offset legs cross.
void polyline_offset(const VOQbsp_curve *C2, const VOQbsp_curve *C3, double sign, double d0, double d1, bool is_line,
                     VOQbsp_curve **result, int *rc) {
  // The constant offset of two legs keeps their three poles; should it have been refined, the legs' own record
  // carries the exact poles instead.
  *result = bsoffset::copy_of(C3->num_poles == 3 ? C3 : C2, 0, false, rc);
  if (*rc != 0) return;
  double P[3][3];
  for (int i = 0; i < 3; ++i) unweighted_pole(C2, i, P[i]), P[i][2] = 0.0;
  double Na[3], Nb[3], la, lb;
  if (!leg_normal(P[0], P[1], Na, &la) || !leg_normal(P[1], P[2], Nb, &lb)) {
    *rc = BSRC_NULL_VECTOR;
    return;
  }
  double z[3];
  for (int i = 0; i < 3; ++i) z[i] = C2->poles[3 * i + 2] / (C2->rational ? C2->weights[i] : 1.0);
  double R0[3], R2[3], R1[3];
  for (int c = 0; c < 3; ++c) {
    R0[c] = P[0][c] + sign * d0 * Na[c];
    R2[c] = P[2][c] + sign * d1 * Nb[c];
  }
  R0[2] = z[0], R2[2] = z[2];
  if (is_line) {
    for (int c = 0; c < 3; ++c) R1[c] = (lb * R0[c] + la * R2[c]) / (la + lb);
  } else {
    double a0[3], a1[3], b0[3], b1[3], X[3];
    for (int c = 0; c < 3; ++c) {
      a0[c] = P[0][c] + sign * d0 * Na[c], a1[c] = P[1][c] + sign * d0 * Na[c];
      b0[c] = P[2][c] + sign * d1 * Nb[c], b1[c] = P[1][c] + sign * d1 * Nb[c];
    }
    if (!BSxln(rc, a0, a1, b0, b1, X)) {
      if (*rc == 0) *rc = BSRC_NULL_VECTOR;
      return;
    }
    R1[0] = X[0], R1[1] = X[1], R1[2] = z[1];
  }
  set_pole(*result, 0, R0);
  set_pole(*result, 1, R1);
  set_pole(*result, 2, R2);
}

// Steps of the offset past the work copies; every code it leaves is a callee's (or -1 of its own checks).
void offset_curve(WorkCurves &w, const VOQbsp_curve *curve, const double side_point[3], BSboolean side_by_flag,
                  BSboolean side_flag, double a, double b, const BSdistlaw &law, double u0, double u1,
                  VOQbsp_curve **result, int *rc) {
  VOQbsp_curve *&C0 = w.c[0], *&C1 = w.c[1], *&C2 = w.c[2], *&C3 = w.c[3];
  const double zaxis[3] = {0, 0, 1};

  // Working copy with clamped ends; room for the poles an unclamped end may need.
  BSallocvoqcv(curve->order, curve->num_poles + 2 * (curve->order - 1), curve->rational, 0, &C0, rc);
  if (*rc != 0 || !BScv_copy(rc, curve, C0) || !BScnvtomkt(rc, C0)) return;
  C0->periodic = 0;

  // Refined copy.
  const int k = C0->order;
  if (k <= 2 || C0->num_poles >= 8) {
    C1 = bsoffset::copy_of(C0, 0, false, rc);
  } else if (k == 3 && C0->num_poles == 3) {
    BSvrofq3ref(C0, &C1, rc);
  } else {
    BSscratch<kLocal> mid_scratch;
    double *mids = mid_scratch.take(sz(C0->num_knots));
    if (!mids) {
      *rc = BSRC_NO_SCRATCH;
      return;
    }
    int count = 0;
    for (int i = 1; i < C0->num_knots; ++i)
      if (C0->knots[i] - C0->knots[i - 1] > 2 * BStoltab[bstol::knot_tol])
        mids[count++] = (C0->knots[i] + C0->knots[i - 1]) / 2;
    insert_knots(C0, count, mids, &C1, rc);
  }
  if (*rc != 0) return;

  BSscratch<kLocal> z_scratch;
  double *zs = z_scratch.take(sz(C1->num_poles + 4 * k + 16));
  if (!zs) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  // A straight curve.
  bool is_line;
  {
    Flattened flat(C1, zs);
    int kind = 0;
    double vec[3];
    BSptlnplan(C1->num_poles, 0, C1->poles, C1->weights, &kind, vec, rc);
    if (*rc != 0) return;
    is_line = kind == BSKIND_LINE;
  }

  // Side.
  int side = side_flag ? 1 : 0;
  if (!side_by_flag) {
    Flattened flat(C1, zs);
    const double q[3] = {side_point[0], side_point[1], 0.0};
    double t = 0, foot[3], d = 0, ders[6];
    BSmdstptcv(C1, q, &t, foot, &d, rc);
    if (*rc != 0) return;
    if (d < BStoltab[bstol::dist_tol]) {
      *rc = BSRC_ZERO_WEIGHT;
      return;
    }
    BScveval_n(C1, t, 1, ders, rc);
    if (*rc != 0) return;
    const double s = (side_point[0] - ders[0]) * ders[4] - (side_point[1] - ders[1]) * ders[3];
    side = s >= 0 ? 1 : 0;
  }
  const double sign = side ? 1.0 : -1.0;

  // The copy that is offset and sampled: a single quadratic gets a knot in its middle.
  if (C1->order == 3 && C1->num_poles == 3)
    BSadd_1kt_tot(C1, (C1->knots[2] + C1->knots[3]) / 2, 1, BSFALSE, &C2, rc);
  else
    C2 = bsoffset::copy_of(C1, 0, false, rc);
  if (*rc != 0) return;

  // End distances, and the constant offset by the larger.
  double ends[2];
  const double end_pos[2] = {u0, u1};
  BSlawcvvals(law.curve, a, b, law.t0, law.t1, 2, end_pos, law.linear ? BSTRUE : BSFALSE, ends, rc);
  if (*rc != 0) return;
  BSallocvoqcv(C2->order, C2->num_poles, C2->rational, 0, &C3, rc);
  if (*rc != 0) return;
  BSspnoffset(C2, ends[0] > ends[1] ? ends[0] : ends[1], zaxis, static_cast<int>(sign), &C3, rc);
  if (*rc != 0) return;

  if (C2->order == 2 && C2->num_poles == 3) {
    polyline_offset(C2, C3, sign, ends[0], ends[1], is_line, result, rc);
    return;
  }

  // Enough poles in the constant offset for the samples to follow the law.
  const int k2 = C2->order, P2 = C2->num_poles;
  if (k2 > 2 && P2 < 6) {
    double ins[kLocal];
    int count = 0;
    if (k2 == 4 && P2 == 4) {
      const double s = C2->knots[3], e = C2->knots[4];
      ins[count++] = (2 * s + e) / 3, ins[count++] = (s + 2 * e) / 3;
    } else {
      double ktol = 0;
      BScvkttol2(C2->order, C2->knots, P2, C2->poles, C2->weights, &ktol, rc);
      if (*rc != 0) return;
      for (int i = k2 - 1; i <= P2 - 1; ++i)
        if (C2->knots[i + 1] - C2->knots[i] > ktol) ins[count++] = (C2->knots[i] + C2->knots[i + 1]) / 2;
    }
    VOQbsp_curve *finer = nullptr;
    insert_knots(C3, count, ins, &finer, rc);
    int r = 0;
    BSfreevoqcv(C3, &r);
    C3 = finer;
    if (*rc != 0) return;
  }

  // Sample parameters, and their arc-length positions along the law.
  const int m3 = C3->num_poles;
  BSscratch<kLocal> A_scratch, B_scratch, D_scratch, W_scratch, span_scratch;
  BSscratch<3 * kLocal> Q_scratch;
  BSscratch<6 * kLocal> ev_scratch;
  double *A = A_scratch.take(sz(m3 + 1)), *B = B_scratch.take(sz(m3 + 1)), *D = D_scratch.take(sz(m3 + 1));
  int m = 0;
  if (!A || !B || !D) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  BSnodevals(C3->order, C3->num_knots, C3->knots, 0, &m, A, rc);
  if (*rc != 0) return;
  if (m < 2) {
    *rc = BSRC_ZERO_WEIGHT;
    return;
  }
  {
    ArcTolerance keep;
    double L = 0;
    const int n2 = C2->num_poles;
    if (!BScumdist(rc, &n2, C2->poles, C2->weights, &L) || !BSchangepar(rc, kArcTol, 0.01 * L)) return;
    Flattened flat(C2, zs);
    B[0] = 0.0;
    for (int i = 1; i < m; ++i) {
      BSboolean status = BSFALSE;
      double len = 0;
      const double mid = (A[i - 1] + A[i]) / 2;
      BSarclen(rc, &status, C2, &A[i - 1], &A[i], &mid, &len);
      if (*rc != 0) return;
      B[i] = B[i - 1] + len;
    }
  }
  const double total = B[m - 1] - B[0];
  if (!(total > 0)) {
    *rc = BSRC_ZERO_WEIGHT;
    return;
  }
  for (int i = 0; i < m; ++i) B[i] = u0 + (u1 - u0) * B[i] / total;  // lengths run from B[0] = 0
  B[m - 1] = u1;  // the last position is the end's own, not a quotient that may stray past 1
  BSlawcvvals(law.curve, a, b, law.t0, law.t1, m, B, law.linear ? BSTRUE : BSFALSE, D, rc);
  if (*rc != 0) return;

  // Samples of the variable offset, weighted like the curve when it is rational.
  double *ev = ev_scratch.take(sz(m, 6)), *Q = Q_scratch.take(sz(m, 3));
  double *W = C2->rational ? W_scratch.take(sz(m, 4)) : nullptr;
  int *spans = reinterpret_cast<int *>(span_scratch.take(sz(m)));
  if (!ev || !Q || !spans || (C2->rational && !W)) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  BScvarreval(rc, C2, A, m, 1, ev);
  if (*rc != 0) return;
  for (int i = 0; i < m; ++i) {
    double T[3] = {ev[6 * i + 3], ev[6 * i + 4], 0.0}, N[3];
    if (!BSnorvec(rc, T) || !BSvcross(rc, T, zaxis, N)) return;
    for (int c = 0; c < 3; ++c) Q[3 * i + c] = ev[6 * i + c] + sign * D[i] * N[c];
  }
  if (W) {
    BScvarrev0w(C2, m, A, W, rc);
    if (*rc != 0) return;
    for (int i = 0; i < m; ++i) {
      W[i] = W[4 * i + 3];
      for (int c = 0; c < 3; ++c) Q[3 * i + c] *= W[i];
    }
  }
  BSfndspnarr(C3->order, C3->num_poles, m, A, C3->knots, spans, rc);
  if (*rc != 0) return;

  // One interpolating fit on the constant offset's knots.
  double vec[3] = {0, 0, 0}, mean = 0, worst = 0, worst_point[3];
  int worst_index = 0;
  BSfitratcv(m, Q, W, A, spans, C3->order, C3->num_knots, C3->knots, static_cast<std::int16_t>(C3->periodic), 1, 0, 0,
             vec, vec, 0, 0, 0.0, 0.0, 0, 0.0, 0, 1, 0.0, result, &mean, &worst, &worst_index, worst_point, rc);
  if (*rc != 0) return;
  BSboolean degenerate = BSFALSE;
  BStstcvdegn(*result, &degenerate, rc);
  if (*rc != 0 || degenerate) return;

  // Tangent continuity where the constant offset has it: the pole the fit passes through at such a joint goes
  // onto the chord of its neighbours, dividing it as the two legs do.
  BSscratch<kLocal> joint_scratch, index_scratch;
  double *joints = joint_scratch.take(sz(C3->num_knots));
  int *index = reinterpret_cast<int *>(index_scratch.take(sz(C3->num_knots)));
  if (!joints || !index) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  int count = 0;
  BScvktncsp(C3, &count, joints, index, rc);
  if (*rc != 0) return;
  VOQbsp_curve *R = *result;
  for (int j = 0; j < count; ++j) {
    const int p = index[j] - 1;
    if (p < 1 || p > R->num_poles - 2) continue;
    double prev[3], here[3], next[3];
    unweighted_pole(R, p - 1, prev), unweighted_pole(R, p, here), unweighted_pole(R, p + 1, next);
    const double la = std::sqrt(BSpdistsq(rc, here, prev)), lb = std::sqrt(BSpdistsq(rc, next, here));
    if (!(la + lb > 0)) continue;
    for (int c = 0; c < 3; ++c) here[c] = (lb * prev[c] + la * next[c]) / (la + lb);
    set_pole(R, p, here);
  }
}

}  // namespace

void BSvrofq3ref(const VOQbsp_curve *curve, VOQbsp_curve **out, int *rc) {
  *rc = 0;
  do {
    if (!curve || !out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *out = nullptr;
    if ((*rc = BScvcheck(curve)) != 0) break;
    if (curve->order != 3 || curve->num_poles != 3) {
      *out = bsoffset::copy_of(curve, 0, false, rc);
      break;
    }
    double P[3][3], la, lb, u[3], v[3];
    for (int i = 0; i < 3; ++i) unweighted_pole(curve, i, P[i]);
    for (int c = 0; c < 3; ++c) u[c] = P[1][c] - P[0][c], v[c] = P[2][c] - P[1][c];
    la = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    lb = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(la > 0 && lb > 0) || (u[0] * v[0] + u[1] * v[1] + u[2] * v[2]) / (la * lb) >= kTurnBack) {
      *out = bsoffset::copy_of(curve, 0, false, rc);
      break;
    }
    // Knots crowded about the turn, on the curve's own range.
    const double r = la / (la + lb);
    const double unit[11] = {0, 0, 0, r - 0.025 * r, r - 0.01 * r, r, r + 0.01 * (1 - r), r + 0.025 * (1 - r), 1, 1, 1};
    const double s = curve->knots[2], e = curve->knots[3];
    double t[11];
    for (int i = 0; i < 11; ++i) t[i] = s + (e - s) * unit[i];
    BSallocvoqcv(3, 8, curve->rational, 0, out, rc);
    if (*rc == 0 && BScv_copy(rc, curve, *out)) BSadd_kts(curve, 8, t, *out, rc);
    if (*rc == 0) (*out)->non_uniform = 1;
  } while (false);
  BSexit(rc, "BSvrofq3ref", "bsvrofq3ref");
}

void BSvrcvofntp(const VOQbsp_curve *curve, const double side_point[3], BSboolean side_by_flag,
                 const double[3], BSboolean side_flag, double a, double b, const BSdistlaw *law, double u0,
                 double u1, VOQbsp_curve **result, int *rc) {
  *rc = 0;
  if (result) *result = nullptr;
  if (!curve || !law || !result || (!side_by_flag && !side_point) || BScvcheck(curve) != 0 ||
      (!side_by_flag && !BSallfinite(3, side_point))) {
    *rc = BSRC_ZERO_WEIGHT;
  } else {
    WorkCurves work;
    offset_curve(work, curve, side_point, side_by_flag, side_flag, a, b, *law, u0, u1, result, rc);
    if (!work.release() && *rc == 0) *rc = BSRC_ZERO_WEIGHT;
    if (*rc != 0) *rc = BSRC_ZERO_WEIGHT;
  }
  BSexit(rc, "BSvrcvofntp", "bsvrcvofntp");
}
