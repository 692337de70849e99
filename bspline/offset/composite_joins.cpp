// The joins at the corners of a composite curve's offset: the last piece of the output so far and the offset of
// the next component are joined by merging (tangent-continuous corner), by trimming at their crossing (the
// offsets overlap) or by extension, a connection or a corner curve (they leave a gap). Every join works on its
// own copies, hands its results back as new records and writes the output lists only once all of it succeeded.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/extend.h"
#include "bspline/extend/extend_internal.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/legendre.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::FlatZ;
using bsoffset::OwnedCurve;
using bsoffset::end_of;
using bsoffset::pole_point;
using bsoffset::set_pole;
using bsoffset::start_of;
using bsknots::ScratchCurve;

constexpr int kAlongTol = 3;          // tolerance entry: a gap this close to the end tangent runs along it
constexpr double kLevelTol = 1e-10;   // poles within this of one z keep a line a line
constexpr double kFarAway = 9999999.99;

// A new record holding cv, with room for extra poles beyond cv's own.
bool copy_new(const VOQbsp_curve *cv, int extra, OwnedCurve &into, int *rc) {
  BSallocvoqcv(cv->order, cv->num_poles + extra, cv->rational, 0, &into.cv, rc);
  return *rc == 0 && BScv_copy(rc, cv, into.cv);
}

// The entries a join adds to the output lists, written only when the whole join succeeded.
struct Entries {
  int n = 0;
  int index[2] = {0, 0};
  double dist[2] = {0, 0};
  void add(int i, double d) { index[n] = i, dist[n] = d, ++n; }
  void append(int *count, int *indices, double *distances) const {
    for (int i = 0; i < n; ++i) indices[*count] = index[i], distances[*count] = dist[i], ++*count;
  }
};

// Work copies are released at the end of a join; a release that fails turns a success into -1.
void release_work(std::initializer_list<OwnedCurve *> work, int *rc) {
  for (OwnedCurve *w : work)
    if (w->release() != 0 && *rc == 0) *rc = -1;
}

// The results go to the caller only after a complete join; otherwise they are released here.
void hand_over(int rc, std::initializer_list<std::pair<OwnedCurve *, VOQbsp_curve **>> results) {
  for (const auto &r : results) {
    if (rc == 0 && r.second) {
      *r.second = r.first->cv;
      r.first->cv = nullptr;
    }
    r.first->release();
  }
}

// The checks all three joins share. rc 3 for a missing argument, a record's own code for a damaged curve, -2 for
// a distance, pending point or count that cannot be used.
bool usable_input(std::initializer_list<const VOQbsp_curve *> curves, std::initializer_list<double> dists,
                  const std::int16_t *trim_flag, const double *point, const int *count, const int *indices,
                  const double *distances, int *rc) {
  if (!trim_flag || !point || !count || !indices || !distances) {
    *rc = BSRC_NULL_CURVE;
    return false;
  }
  for (const VOQbsp_curve *cv : curves)
    if ((*rc = BScvcheck(cv)) != 0) return false;
  for (double d : dists)
    if (!std::isfinite(d)) *rc = BSRC_OUT_OF_RANGE;
  if ((*trim_flag && !BSallfinite(3, point)) || *count < 0) *rc = BSRC_OUT_OF_RANGE;
  return *rc == 0;
}

// The pending front trim of the previous piece, applied to the join's own copy; the flag is cleared once done.
bool front_trim(VOQbsp_curve *cv, std::int16_t *trim_flag, const double point[3], int *rc) {
  if (!*trim_flag) return true;
  BSoftrmfrnt(cv, point, rc);
  if (*rc != 0) return false;
  *trim_flag = 0;
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Extension of two pieces to their crossing, worked out flat: every pole's z goes aside (unweighted) and comes
// back on the pieces made from them.

// The unweighted z of each pole of cv, which is left at z 0.
double *level_out(VOQbsp_curve *cv, BSscratch<100> &store) {
  double *z = store.take(static_cast<std::size_t>(cv->num_poles));
  if (!z) return nullptr;
  for (int i = 0; i < cv->num_poles; ++i) {
    z[i] = cv->poles[3 * i + 2] / (cv->rational ? cv->weights[i] : 1.0);
    cv->poles[3 * i + 2] = 0.0;
  }
  return z;
}

// Pole i of cv at height z[i] (the last of the n heights for poles beyond them; z0 when there are none).
void level_in(VOQbsp_curve *cv, const double *z, int n, double z0) {
  for (int i = 0; i < cv->num_poles; ++i) {
    const double h = n > 0 ? z[std::min(i, n - 1)] : z0;
    cv->poles[3 * i + 2] = h * (cv->rational ? cv->weights[i] : 1.0);
  }
}

// The unweighted z of the poles of cv into z (room for cv's poles).
void levels_of(const VOQbsp_curve *cv, double *z) {
  for (int i = 0; i < cv->num_poles; ++i) z[i] = cv->poles[3 * i + 2] / (cv->rational ? cv->weights[i] : 1.0);
}

// Two split parts of cv, with room for any cut of it.
struct Parts {
  ScratchCurve left, right;
  bool take(const VOQbsp_curve *cv) {
    return left.take(cv->order, cv->num_poles + cv->order, cv->rational != 0) &&
           right.take(cv->order, cv->num_poles + cv->order, cv->rational != 0);
  }
  bool split(const VOQbsp_curve *cv, double u, int *rc) {
    if (!take(cv)) {
      *rc = BSRC_NO_SCRATCH;
      return false;
    }
    const BSboolean no_planar_test = BSFALSE;
    return BScvsplit(rc, cv, &u, &left.cv, &right.cv, &no_planar_test) != BSFALSE;
  }
};

// head then tail (or the one of them that has poles) into a new record.
bool combine(const VOQbsp_curve *head, const VOQbsp_curve *tail, OwnedCurve &into, int *rc) {
  if (head->num_poles == 0 || tail->num_poles == 0) return copy_new(head->num_poles ? head : tail, 0, into, rc);
  BSallocvoqcv(head->order, head->num_poles + tail->num_poles - 1, head->rational || tail->rational, 0, &into.cv,
               rc);
  if (*rc == 0) BScomb2cvs(head, tail, into.cv, rc);
  // A stretch too short to judge still joins: the combined curve is complete.
  if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
  return *rc == 0;
}

// The extended (or cut) piece ext of the offset cv, with cv's heights back: the part within cv's range takes
// them pole by pole, a stretch beyond cv's end (at_end) or before its start the height of that end's pole.
// ktol is the knot tolerance of the component the offset was made from.
bool restore_piece(const VOQbsp_curve *cv, const double *z, VOQbsp_curve *ext, bool at_end, double ktol,
                   OwnedCurve &into, int *rc) {
  const int n = cv->num_poles;
  const double c_end = at_end ? end_of(cv) : start_of(cv), e_end = at_end ? end_of(ext) : start_of(ext);
  Parts parts;
  BSscratch<100> store;
  if (at_end ? e_end - ktol <= c_end : c_end <= ktol + e_end) {
    // Shortened or kept: the offset cut at the same parameter has the heights.
    if (!parts.split(cv, e_end, rc)) return false;
    const VOQbsp_curve &kept = at_end ? parts.left.cv : parts.right.cv;
    double *kz = store.take(static_cast<std::size_t>(kept.num_poles));
    if (!kz) {
      *rc = BSRC_NO_SCRATCH;
      return false;
    }
    levels_of(&kept, kz);
    // Nothing kept: the piece shrank to the end it is cut from.
    level_in(ext, kz, kept.num_poles, z[at_end ? 0 : n - 1]);
    return copy_new(ext, 0, into, rc);
  }
  if (!parts.split(ext, c_end, rc)) return false;
  VOQbsp_curve &within = at_end ? parts.left.cv : parts.right.cv, &beyond = at_end ? parts.right.cv : parts.left.cv;
  level_in(&within, z, n, z[0]);
  level_in(&beyond, z + (at_end ? n - 1 : 0), 1, 0.0);
  return at_end ? combine(&within, &beyond, into, rc) : combine(&beyond, &within, into, rc);
}

// A 2-pole line that came back with its old end as a third pole on the line is a 2-pole line again.
void keep_line(const VOQbsp_curve *in, VOQbsp_curve *out) {
  if (in->order != 2 || in->num_poles != 2 || out->order != 2 || out->num_poles != 3) return;
  double p[3], p0[3];
  pole_point(out, 0, p0);
  for (int i = 1; i < 3; ++i) {
    pole_point(out, i, p);
    if (std::fabs(p[2] - p0[2]) > kLevelTol) return;
  }
  for (int c = 0; c < 3; ++c) out->poles[3 + c] = out->poles[6 + c];
  if (out->rational) out->weights[1] = out->weights[2];
  out->knots[2] = out->knots[3], out->knots[3] = out->knots[4];
  out->num_poles = 2, out->num_knots = 4, out->non_uniform = 0;
}

// Mode 0 of the gap join: c1 and c2 extended to their crossing into r1 and r2. False with rc -12 when the
// extensions do not meet; c1 and c2 keep their heights on every way out. A piece that the crossing swallows
// whole, the crossing at its far end (as where a tiny chain's short offset ends on the other's line), is the point
// there, at the height of that end, as a vanished piece is in the trimming join.
bool extend_to_crossing(const VOQbsp_curve *comp1, const VOQbsp_curve *comp2, VOQbsp_curve *c1, VOQbsp_curve *c2,
                        OwnedCurve &r1, OwnedCurve &r2, int *rc) {
  BSscratch<100> store1, store2;
  double *z1 = level_out(c1, store1);
  double *z2 = z1 ? level_out(c2, store2) : nullptr;
  if (!z2) {
    if (z1) level_in(c1, z1, c1->num_poles, 0.0);
    *rc = BSRC_NO_SCRATCH;
    return false;
  }
  ScratchCurve e1, e2;
  const std::int32_t ends[2] = {1, 0};
  if (!e1.take(c1->order, c1->num_poles + 2 * c1->order - 2, c1->rational != 0) ||
      !e2.take(c2->order, c2->num_poles + 2 * c2->order - 2, c2->rational != 0))
    *rc = BSRC_NO_SCRATCH;
  bool point[2] = {false, false};
  if (*rc == 0) bsoffset::extend_to_meet(c1, c2, ends, &e1.cv, &e2.cv, point, rc);
  level_in(c1, z1, c1->num_poles, 0.0);
  level_in(c2, z2, c2->num_poles, 0.0);
  if (*rc != 0) return false;
  double k1 = 0, k2 = 0;
  bsoffset::knot_tolerance(comp1, &k1, rc);
  if (*rc == 0) bsoffset::knot_tolerance(comp2, &k2, rc);
  const auto piece = [&](const VOQbsp_curve *c, const double *z, VOQbsp_curve *e, bool at_end, double ktol,
                         bool is_point, OwnedCurve &into) {
    if (!is_point) return restore_piece(c, z, e, at_end, ktol, into, rc);
    level_in(e, z + (at_end ? 0 : c->num_poles - 1), 1, 0.0);
    return copy_new(e, 0, into, rc);
  };
  if (*rc != 0 || !piece(c1, z1, &e1.cv, true, k1, point[0], r1) || !piece(c2, z2, &e2.cv, false, k2, point[1], r2))
    return false;
  for (VOQbsp_curve *out : {r1.cv, r2.cv})
    if (!BSnorkts(rc, &out->order, &out->num_poles, out->knots)) return false;
  keep_line(c1, r1.cv);
  keep_line(c2, r2.cv);
  return true;
}

// The gap join proper, on the copies c1 and c2 (results into r1 .. r3, entries into add).
void gap_join(const VOQbsp_curve *comp1, const VOQbsp_curve *comp2, VOQbsp_curve *c1, VOQbsp_curve *c2,
              std::int16_t mode, double d1, double d2, const double normal[3], int side, int index, Entries &add,
              OwnedCurve &r1, OwnedCurve &r2, OwnedCurve &r3, int *rc) {
  if (mode == 2) {
    const int how = d1 == 0 ? 2 : d2 == 0 ? 3 : 0;
    // A piece that the other's line crosses at its far end is the point there (as in mode 0 below).
    bool point[2] = {false, false};
    bsextend::connect_ends(c1, c2, how, &r1.cv, &r2.cv, &r3.cv, point, rc);
    if (*rc == 0 && r3.cv) add.add(BSJOIN_SEGMENT, std::max(d1, d2));
    add.add(index, d2);
    return;
  }
  if (mode == 0) {
    if (extend_to_crossing(comp1, comp2, c1, c2, r1, r2, rc)) {
      add.add(index, d2);
      return;
    }
    if (*rc != BSRC_NO_JOIN) return;
    // The extensions miss each other: a sharp corner instead.
    r1.release();
    r2.release();
    *rc = 0;
  }
  // The corner curve is made about the components' corner; it looks only at the sizes of the distances.
  int code = BSJOIN_NONE;
  VOQbsp_curve *arc = nullptr;
  BSofk3arc(comp1, comp2, c1, c2, mode, std::fabs(d1), std::fabs(d2), normal, side, &code, &arc, rc);
  OwnedCurve joint;
  joint.cv = arc;
  if (*rc != 0) return;
  if (!copy_new(c1, 0, r1, rc)) return;
  if (joint.cv) {
    add.add(code, std::max(d1, d2));
    std::swap(r2.cv, joint.cv);
    copy_new(c2, 0, r3, rc);
  } else {
    copy_new(c2, 0, r2, rc);
  }
  add.add(index, d2);
}

// ---------------------------------------------------------------------------------------------------------------
// Merging at a tangent-continuous corner.

void merge_join(VOQbsp_curve *c1, VOQbsp_curve *c2, double d1, double d2, int index, std::int16_t *trim_flag,
                double point[3], Entries &add, OwnedCurve &r1, OwnedCurve &r2, OwnedCurve &r3, int *rc) {
  double E[3], S[3];
  const int last = c1->num_poles - 1;
  pole_point(c1, last, E);
  pole_point(c2, 0, S);
  double gap[3], sq = 0;
  for (int c = 0; c < 3; ++c) gap[c] = E[c] - S[c], sq += gap[c] * gap[c];
  bool moved = false;
  if (sq < BStoltab[bstol::dist_sqtol]) {
    double mid[3];
    for (int c = 0; c < 3; ++c) mid[c] = (E[c] + S[c]) / 2;
    set_pole(c1, last, mid);
    set_pole(c2, 0, mid);
    moved = true;
  } else if (std::fabs(d1 - d2) <= BStoltab[bstol::dist_tol]) {
    double ev[6];
    BScveval_n(c1, end_of(c1), 1, ev, rc);
    if (*rc != 0) return;
    // A piece with no tangent at its end (a point) gives no direction to move along.
    const double lt = std::sqrt(ev[3] * ev[3] + ev[4] * ev[4] + ev[5] * ev[5]), lg = std::sqrt(sq);
    const double along = lt > 0 ? (gap[0] * ev[3] + gap[1] * ev[4] + gap[2] * ev[5]) / (lg * lt) : 0.0;
    if (std::fabs(std::fabs(along) - 1) <= BStoltab[kAlongTol]) {
      set_pole(c1, last, S);
      moved = true;
    }
  }
  if (moved) {
    add.add(index, d2);
    if (copy_new(c1, 0, r1, rc)) copy_new(c2, 0, r2, rc);
    return;
  }
  BSallocvoqcv(c1->order, c1->num_poles + 2 * c1->order, c1->rational, 0, &r1.cv, rc);
  if (*rc == 0) BSallocvoqcv(c2->order, c2->num_poles + 2 * c2->order, c2->rational, 0, &r3.cv, rc);
  if (*rc != 0) return;
  VOQbsp_curve *line = nullptr;
  std::int16_t flag = 0;
  BSexttrmcmp(c1, c2, d1, d2, trim_flag, point, &line, &flag, r1.cv, r3.cv, rc);
  OwnedCurve joint;
  joint.cv = line;
  const bool joined = *rc != BSRC_NO_JOIN;
  if (!joined) *rc = 0;
  if (*rc == 0) BSofrparcv(r1.cv, start_of(c1), end_of(c1), rc);
  if (*rc == 0) BSofrparcv(r3.cv, start_of(c2), end_of(c2), rc);
  if (*rc != 0) return;
  if (flag != 0 || (joined && !joint.cv)) {
    std::swap(r2.cv, r3.cv);
    add.add(index, d2);
    return;
  }
  add.add(BSJOIN_SEGMENT, std::max(d1, d2));
  add.add(index, d2);
  if (joint.cv) {
    std::swap(r2.cv, joint.cv);
    return;
  }
  // Neither extended nor connected: the gap is bridged by a straight line of its own.
  BSallocvoqcv(2, 2, BSFALSE, 0, &r2.cv, rc);
  int code = 0;
  if (*rc == 0) BSlngen(rc, E, S, r2.cv, &code);
}

// ---------------------------------------------------------------------------------------------------------------
// Trimming at an inner corner.

// A piece's parameter range, to be given back after a cut.
struct Range {
  double a = 0, b = 0;
  void of(const VOQbsp_curve *cv) {
    if (cv) a = start_of(cv), b = end_of(cv);
  }
  bool put(VOQbsp_curve *cv, int *rc) const {
    BSofrparcv(cv, a, b, rc);
    return *rc == 0;
  }
};

// The end pole of p1 nearer to the pending point's place on p2 (the last on a tie), moved there when it is not
// there already: both pieces then end and start at one point, p2's height included.
bool close_on_next(VOQbsp_curve *p1, VOQbsp_curve *p2, const double point[3], int *rc) {
  double u = start_of(p2);
  {
    FlatZ flat;
    if (!flat.flatten(p2)) {
      *rc = BSRC_NO_SCRATCH;
      return false;
    }
    // The point carries p2's height; flat, it is looked for where p2 lies flat.
    const double in_plane[3] = {point[0], point[1], 0.0};
    BSboolean on = BSFALSE;
    BSprptoncv(rc, p2, in_plane, &u, &on);
  }
  double Q[3];
  if (*rc == 0) BScveval_n(p2, u, 0, Q, rc);
  if (*rc != 0) return false;
  double best = kFarAway;
  int pick = -1;
  for (int i : {0, p1->num_poles - 1}) {
    double p[3];
    pole_point(p1, i, p);
    const double d = std::hypot(p[0] - Q[0], p[1] - Q[1]);
    if (d <= best) best = d, pick = i;
  }
  if (pick < 0) return true;
  double p[3];
  pole_point(p1, pick, p);
  if (std::sqrt((p[0] - Q[0]) * (p[0] - Q[0]) + (p[1] - Q[1]) * (p[1] - Q[1]) + (p[2] - Q[2]) * (p[2] - Q[2])) >
      BStoltab[bstol::dist_tol])
    set_pole(p1, pick, Q);
  return true;
}

}  // namespace

void BScmpextoff(const VOQbsp_curve *comp1, const VOQbsp_curve *comp2, const VOQbsp_curve *prev,
                 const VOQbsp_curve *next, std::int16_t mode, double d1, double d2, const double normal[3],
                 int side, int index, std::int16_t *trim_flag, double point[3], int *count, int *indices,
                 double *distances, VOQbsp_curve **out1, VOQbsp_curve **out2, VOQbsp_curve **out3, int *rc) {
  *rc = 0;
  for (VOQbsp_curve **o : {out1, out2, out3})
    if (o) *o = nullptr;
  if (!out1 || !out2 || !out3 || !normal) {
    *rc = BSRC_NULL_CURVE;
  } else if (usable_input({comp1, comp2, prev, next}, {d1, d2}, trim_flag, point, count, indices, distances,
                          rc)) {
    if (!BSallfinite(3, normal)) *rc = BSRC_OUT_OF_RANGE;
    OwnedCurve c1, c2, r1, r2, r3;
    Entries add;
    if (*rc == 0 && copy_new(prev, 0, c1, rc) && copy_new(next, 0, c2, rc) &&
        front_trim(c1.cv, trim_flag, point, rc))
      gap_join(comp1, comp2, c1.cv, c2.cv, mode, d1, d2, normal, side, index, add, r1, r2, r3, rc);
    release_work({&c1, &c2}, rc);
    if (*rc == 0) add.append(count, indices, distances);
    hand_over(*rc, {{&r1, out1}, {&r2, out2}, {&r3, out3}});
  }
  BSexit(rc, "BScmpextoff", "bscmpextoff");
}

void BScmpmrgoff(const VOQbsp_curve *prev, const VOQbsp_curve *next, double d1, double d2, int index,
                 std::int16_t *trim_flag, double point[3], int *count, int *indices, double *distances,
                 VOQbsp_curve **out1, VOQbsp_curve **out2, VOQbsp_curve **out3, int *rc) {
  *rc = 0;
  for (VOQbsp_curve **o : {out1, out2, out3})
    if (o) *o = nullptr;
  if (!out1 || !out2 || !out3) {
    *rc = BSRC_NULL_CURVE;
  } else if (usable_input({prev, next}, {d1, d2}, trim_flag, point, count, indices, distances, rc)) {
    OwnedCurve c1, c2, r1, r2, r3;
    Entries add;
    if (copy_new(prev, 0, c1, rc) && copy_new(next, 0, c2, rc) && front_trim(c1.cv, trim_flag, point, rc))
      merge_join(c1.cv, c2.cv, d1, d2, index, trim_flag, point, add, r1, r2, r3, rc);
    release_work({&c1, &c2}, rc);
    if (*rc == 0) add.append(count, indices, distances);
    hand_over(*rc, {{&r1, out1}, {&r2, out2}, {&r3, out3}});
  }
  BSexit(rc, "BScmpmrgoff", "bscmpmrgoff");
}

void BScmpintoff(const VOQbsp_curve *prev2, const VOQbsp_curve *prev, const VOQbsp_curve *next, int position,
                 double d0, double d1, double d2, int index, int *count, int *indices, double *distances,
                 std::int16_t *trim_flag, double point[3], VOQbsp_curve **out1, VOQbsp_curve **out2,
                 VOQbsp_curve **out3, VOQbsp_curve **out4, int *rc) {
  *rc = 0;
  for (VOQbsp_curve **o : {out1, out2, out3, out4})
    if (o) *o = nullptr;
  if (!out1 || !out2 || !out3 || !out4) {
    *rc = BSRC_NULL_CURVE;
  } else if (usable_input({prev, next}, {d0, d1, d2}, trim_flag, point, count, indices, distances, rc)) {
    // A dropped previous piece hands its entry to the next one: there must be one.
    if (prev2) *rc = BScvcheck(prev2);
    if (*rc == 0 && *count < 1) *rc = BSRC_OUT_OF_RANGE;
    OwnedCurve p0, p1, p2, line, r1, r2, r3, r4;
    Range range0, range1, range2;
    if (*rc == 0) range0.of(prev2), range1.of(prev), range2.of(next);
    bool ok = *rc == 0 && (!prev2 || copy_new(prev2, 0, p0, rc)) && copy_new(prev, 0, p1, rc) &&
              copy_new(next, 0, p2, rc) && front_trim(p1.cv, trim_flag, point, rc);
    int spare = 0;
    if (ok) BScvinttrmd(d1, d2, p1.cv, p2.cv, position, point, trim_flag, &spare, rc);
    ok = ok && (*rc == 0 || *rc == BSRC_NO_JOIN);
    bool skipped = false, drop1 = false, drop2 = false;
    if (ok && *rc == 0 && spare == 0) {
      ok = range1.put(p1.cv, rc) && range2.put(p2.cv, rc) && close_on_next(p1.cv, p2.cv, point, rc);
    } else if (ok) {
      *rc = 0;
      if (p0.cv && *count >= 2) {
        // The previous piece may have vanished between the two: the one before it is tried against the next.
        BScvinttrmd(d0, d2, p0.cv, p2.cv, position, point, trim_flag, &spare, rc);
        ok = *rc == 0 || *rc == BSRC_NO_JOIN;
        skipped = ok && *rc == 0 && spare == 0;
        if (skipped) {
          BSoftrmfrnt(p2.cv, point, rc);
          ok = *rc == 0 && range0.put(p0.cv, rc) && range2.put(p2.cv, rc);
        } else if (ok) {
          *rc = 0;
        }
      }
      if (ok && !skipped) {
        OwnedCurve e1, e2;
        std::int16_t flag = 0;
        BSallocvoqcv(p1.cv->order, p1.cv->num_poles + 2 * p1.cv->order, p1.cv->rational, 0, &e1.cv, rc);
        if (*rc == 0)
          BSallocvoqcv(p2.cv->order, p2.cv->num_poles + 2 * p2.cv->order, p2.cv->rational, 0, &e2.cv, rc);
        if (*rc == 0) BSexttrmcmp(p1.cv, p2.cv, d1, d2, trim_flag, point, &line.cv, &flag, e1.cv, e2.cv, rc);
        ok = *rc == 0 && range1.put(e1.cv, rc) && range2.put(e2.cv, rc);
        if (ok) {
          std::swap(p1.cv, e1.cv);
          std::swap(p2.cv, e2.cv);
          drop1 = flag == -1, drop2 = flag == -2;
        }
        release_work({&e1, &e2}, rc);
        ok = *rc == 0;
      }
    }
    if (ok && skipped) {
      // What is left of the vanished piece is the point where its neighbours now meet.
      OwnedCurve dot;
      BSallocvoqcv(2, 2, BSFALSE, 0, &dot.cv, rc);
      if (*rc == 0) BSptcvgen(point, 2, BSFALSE, dot.cv, rc);
      if (*rc == 0) std::swap(p1.cv, dot.cv);
      release_work({&dot}, rc);
      ok = *rc == 0;
    }
    Entries add;
    const bool has_line = line.cv != nullptr;
    if (ok && (!p0.cv || copy_new(p0.cv, 0, r1, rc)) && (drop1 || copy_new(p1.cv, 0, r2, rc))) {
      if (has_line) {
        add.add(BSJOIN_SEGMENT, std::max(d1, d2));
        add.add(index, d2);
        std::swap(r3.cv, line.cv);
        copy_new(p2.cv, 0, r4, rc);
      } else if (!drop2 && copy_new(p2.cv, 0, r3, rc) && !drop1) {
        add.add(index, d2);
      }
    }
    release_work({&p0, &p1, &p2}, rc);
    if (*rc == 0) {
      add.append(count, indices, distances);
      // The next piece takes the place, and the entry, of the previous one that was dropped.
      if (drop1 && !has_line) indices[*count - 1] = index, distances[*count - 1] = d2;
    }
    hand_over(*rc, {{&r1, out1}, {&r2, out2}, {&r3, out3}, {&r4, out4}, {&line, nullptr}});
  }
  BSexit(rc, "BScmpintoff", "bscmpintoff");
}
