// The loops of an offset curve cut out: the curve's self-intersections sorted into loops, the stretches outside
// the outer loops joined into one curve, and on request each loop handed back as a closed curve of its own.
#include <cmath>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::copy_of;
using bsoffset::end_of;
using bsoffset::start_of;

// The stretch [u, v] of cv into the work record; false with rc 0 when it is too short to be cut out at all. cv
// has been checked (checked): a stretch inside it is cut from the spans about it alone rather than from a copy of
// the whole curve, so that cutting out many stretches costs their own length.
bool extract(const VOQbsp_curve *cv, double u, double v, bsknots::ScratchCurve &work, int *rc,
             bool checked = false) {
  work.cv.weights = work.weight_array;
  const BSboolean no_planar_test = BSFALSE;
  if (bsknots::active_split(rc, cv, &u, &v, &work.cv, &no_planar_test, checked)) return true;
  if (*rc == BSRC_OUT_OF_RANGE) *rc = 0;
  return false;
}

void release(VOQbsp_curve **cv) {
  int rc = 0;
  if (*cv) BSfreevoqcv(*cv, &rc);
  *cv = nullptr;
}

// The outer intervals (sorted by start) as ascending cuts: intervals that nest or touch become one. Each interval
// runs between two parameters of one point, where the parts about it join. One that starts inside the cut so far
// and ends past it interlocks with it (a crossing loop and a loop of a stretch the curve runs twice are selected
// apart): their union would join the part before the cut to a part after it from another point, and the bridge
// between the two leaves the curve. It is passed over, as interlocking crossings are, unless the union's ends are
// one point after all.
int merge_cuts(const VOQbsp_curve *cv, int n, const double *outer, double *cuts, int *rc) {
  int c = 0;
  for (int i = 0; i < n && *rc == 0; ++i) {
    const double a = outer[2 * i], b = outer[2 * i + 1];
    if (c > 0 && a <= cuts[2 * c - 1]) {
      if (b <= cuts[2 * c - 1]) continue;
      if (a < cuts[2 * c - 1]) {
        double p[3], q[3];
        BScveval_n(cv, cuts[2 * c - 2], 0, p, rc);
        if (*rc == 0) BScveval_n(cv, b, 0, q, rc);
        if (*rc != 0 || BSpdist(rc, p, q) > 100 * BStoltab[bstol::dist_tol]) continue;
      }
      cuts[2 * c - 1] = b;
    } else {
      cuts[2 * c] = a, cuts[2 * c + 1] = b, ++c;
    }
  }
  return c;
}

// Loop curve i of the loop list (cv checked): one stretch, or two joined end to start (kind 4); closed, knots on
// [0, 1]. No curve (*loop stays NULL, rc 0) for a loop whose crossings lie closer than a stretch can be cut, both
// stretches of a kind 4 loop alike: it has no extent (the self-intersection finds such nests of loops round a
// cusp).
void make_loop(const VOQbsp_curve *cv, std::int32_t kind, const double *p, bsknots::ScratchCurve &w1,
               bsknots::ScratchCurve &w2, VOQbsp_curve **loop, int *rc) {
  if (kind == 4) {
    // Two crossings closer than a stretch can be cut leave the other stretch as the whole loop.
    const bool has1 = extract(cv, p[0], p[1], w1, rc, true), has2 = *rc == 0 && extract(cv, p[2], p[3], w2, rc, true);
    if (*rc != 0 || (!has1 && !has2)) return;
    const int np = (has1 ? w1.cv.num_poles : 0) + (has2 ? w2.cv.num_poles : 0) - (has1 && has2 ? 1 : 0);
    BSallocvoqcv(cv->order, np, cv->rational, 0, loop, rc);
    w1.cv.phy_closed = 0, w2.cv.phy_closed = 0;
    if (*rc == 0 && has1 && has2) {
      // A stretch of no extent (the loop closes where the two crossings nearly meet) is joined on as it is.
      BScomb2cvs(&w1.cv, &w2.cv, *loop, rc);
      if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
      if (*rc == 0) BSnorkts(rc, &(*loop)->order, &(*loop)->num_poles, (*loop)->knots);
    } else if (*rc == 0 && BScv_copy(rc, has1 ? &w1.cv : &w2.cv, *loop))
      BSnorkts(rc, &(*loop)->order, &(*loop)->num_poles, (*loop)->knots);
  } else {
    if (!extract(cv, p[0], p[1], w1, rc, true)) return;
    BSallocvoqcv(cv->order, w1.cv.num_poles, cv->rational, 0, loop, rc);
    if (*rc == 0 && BScv_copy(rc, &w1.cv, *loop)) BSnorkts(rc, &(*loop)->order, &(*loop)->num_poles, (*loop)->knots);
  }
  // A loop ends where it starts by construction; the crossing is found only to the self-intersection's accuracy.
  if (*rc == 0) {
    (*loop)->phy_closed = 1;
    BScvsetclsd(*loop, rc);
  }
}

}  // namespace

void BSremloop(int *rc, const VOQbsp_curve *cv, const int *c, const double *cuts, VOQbsp_curve *out) {
  *rc = 0;
  const int nc = c ? *c : 0;
  if (!cv || !c || !out || (nc > 0 && !cuts)) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv)) == 0 && (nc < 0 || !BSallfinite(2 * nc, cuts))) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  if (*rc == 0) {
    const double s0 = start_of(cv), s1 = end_of(cv);
    for (int i = 0; i < 2 * nc && *rc == 0; ++i)
      if (cuts[i] < s0 || cuts[i] > s1 || (i > 0 && cuts[i] < cuts[i - 1]) || (i % 2 == 1 && cuts[i] == cuts[i - 1]))
        *rc = BSRC_OUT_OF_RANGE;
  }
  // The kept parts, each in a record of its own, are joined in pairs, then the pairs in pairs, and so on: each
  // join copies the two it joins, so joining them one after another onto the curve so far copied that curve
  // once a part, and a curve with many loops cost the square of its length.
  bsknots::ScratchCurve part;
  BSscratch<16> list_room;
  VOQbsp_curve **parts = nullptr;
  int np = 0;
  if (*rc == 0 && !part.take(cv->order, cv->num_poles, cv->rational)) *rc = BSRC_NO_SCRATCH;
  if (*rc == 0 && !(parts = reinterpret_cast<VOQbsp_curve **>(
                        list_room.take((static_cast<std::size_t>(nc) + 1) * sizeof(VOQbsp_curve *) / sizeof(double) + 1))))
    *rc = BSRC_NO_SCRATCH;
  for (int i = 0; i <= nc && *rc == 0; ++i) {
    const double u = i == 0 ? start_of(cv) : cuts[2 * i - 1], v = i == nc ? end_of(cv) : cuts[2 * i];
    if (!extract(cv, u, v, part, rc, true)) continue;
    part.cv.phy_closed = 0;
    parts[np] = nullptr;
    BSallocvoqcv(cv->order, part.cv.num_poles, cv->rational, 0, &parts[np], rc);
    if (*rc == 0 && BScv_copy(rc, &part.cv, parts[np])) ++np;
    else release(&parts[np]);
  }
  if (*rc == 0 && np == 0) *rc = BSRC_OUT_OF_RANGE;
  while (*rc == 0 && np > 1) {
    int m = 0;
    for (int i = 0; i < np; i += 2) {
      if (i + 1 == np || *rc != 0) {
        parts[m++] = parts[i];
        if (i + 1 < np) parts[m++] = parts[i + 1];
        continue;
      }
      // The second part follows on at the parameter where the first ends: the combination shifts its knots
      // there, which keeps every span's shape (moving only the end knots would bend the end spans).
      VOQbsp_curve *joined = nullptr;
      BSallocvoqcv(cv->order, parts[i]->num_poles + parts[i + 1]->num_poles - 1, cv->rational, 0, &joined, rc);
      if (*rc == 0) {
        parts[i]->phy_closed = 0, parts[i + 1]->phy_closed = 0;
        BScomb2cvs(parts[i], parts[i + 1], joined, rc);
        if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
      }
      if (*rc != 0) {
        release(&joined);
        parts[m++] = parts[i], parts[m++] = parts[i + 1];
        continue;
      }
      release(&parts[i]), release(&parts[i + 1]);
      parts[m++] = joined;
    }
    np = m;
  }
  if (*rc == 0) {
    BScv_copy(rc, parts[0], out);
    if (*rc == 0) {
      out->num_boundaries = 0;
      BSnorkts(rc, &out->order, &out->num_poles, out->knots);
    }
  }
  for (int i = 0; i < np; ++i) release(&parts[i]);
  BSexit(rc, "BSremloop", "bsremloop");
}

BSboolean BSpartloop2(int *rc, const VOQbsp_curve *cv, int *n_int, double *first, double *second, int *n_over,
                      double *ofs, double *ofe, double *oss, double *ose, std::int16_t loop_mode,
                      VOQbsp_curve **out, int *n_loops, VOQbsp_curve ***loops) {
  *rc = 0;
  if (!out || !n_loops || !loops) {
    *rc = BSRC_NULL_CURVE;
    BSexit(rc, "BSpartloop2", "bspartloop2");
    return BSFALSE;
  }
  *out = nullptr, *loops = nullptr, *n_loops = 0;
  int n_outer = 0, n_inner = 0;
  double *outer = nullptr, *inner = nullptr;
  std::int32_t *kinds = nullptr;
  BSpreploop(rc, cv, n_int, first, second, n_over, ofs, ofe, oss, ose, &n_outer, &outer, &n_inner, &kinds, &inner);
  int built = 0;
  if (*rc == 0 && loop_mode == 1 && n_inner > 0) {
    *loops = static_cast<VOQbsp_curve **>(BSdbgmalloc(static_cast<int>(n_inner * sizeof(VOQbsp_curve *))));
    bsknots::ScratchCurve w1, w2;
    if (!*loops)
      *rc = BSRC_ALLOC_CURVE;
    else if (!w1.take(cv->order, cv->num_poles, cv->rational) || !w2.take(cv->order, cv->num_poles, cv->rational))
      *rc = BSRC_NO_SCRATCH;
    const double *p = inner;
    for (int i = 0; i < n_inner && *rc == 0; ++i) {
      (*loops)[built] = nullptr;
      make_loop(cv, kinds[i], p, w1, w2, &(*loops)[built], rc);
      if ((*loops)[built]) ++built;
      p += kinds[i] == 4 ? 4 : 2;
    }
  }
  if (*rc == 0) {
    BSscratch<16> cut_room;
    double *cuts = cut_room.take(2 * static_cast<std::size_t>(n_outer));
    if (!cuts) *rc = BSRC_NO_SCRATCH;
    const int c = cuts ? merge_cuts(cv, n_outer, outer, cuts, rc) : 0;
    if (*rc == 0 && c == 0) {
      *out = copy_of(cv, 0, true, rc);
      if (*rc == 0 && (*out)->phy_closed) BScvsetclsd(*out, rc);
      if (*rc == 0) BSnorkts(rc, &(*out)->order, &(*out)->num_poles, (*out)->knots);
    } else if (*rc == 0) {
      const long room = static_cast<long>(cv->order) * c + cv->num_poles;
      if (room > 0x3FFFFFFF) *rc = BSRC_OUT_OF_RANGE;
      if (*rc == 0) BSallocvoqcv(cv->order, static_cast<std::int32_t>(room), cv->rational, 0, out, rc);
      if (*rc == 0) BSremloop(rc, cv, &c, cuts, *out);
      if (*rc == 0 && (*out)->phy_closed) BScvsetclsd(*out, rc);
    }
  }
  if (*rc == 0) {
    *n_loops = loop_mode == 1 ? built : 0;
  } else {
    release(out);
    for (int i = 0; i < built; ++i) release(&(*loops)[i]);
    BSdbgfree(*loops);
    *loops = nullptr;
  }
  BSdbgfree(outer), BSdbgfree(kinds), BSdbgfree(inner);
  BSexit(rc, "BSpartloop2", "bspartloop2");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSofrmlp3(VOQbsp_curve *cv, std::int16_t loop_mode, int *n_loops, VOQbsp_curve ***loops, VOQbsp_curve **out,
               int *rc) {
  *rc = 0;
  if (out) *out = nullptr;
  if (!cv || !out || (loop_mode == 1 && (!n_loops || !loops))) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv)) == 0 && cv->order < 2) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  // The whole table is put back as it was, entries set by hand included: later offsets must not depend on
  // whether a removal ran before them.
  double saved[BSTOL_COUNT];
  std::memcpy(saved, BStoltab, sizeof saved);
  if (*rc == 0) BSchgdeppar(BStoltab[bstol::basis_tol] / 10.0, rc);

  int n_int = 0, n_over = 0, k = 0;
  double *first = nullptr, *second = nullptr, *ofs = nullptr, *ofe = nullptr, *oss = nullptr, *ose = nullptr;
  VOQbsp_curve **found = nullptr;
  if (*rc == 0) BScv_slfint(rc, cv, &n_int, &first, &second, &n_over, &ofs, &ofe, &oss, &ose);
  if (*rc == 0 && n_int == 0 && n_over == 0) {
    *out = copy_of(cv, 0, true, rc);
  } else if (*rc == 0) {
    if (BSpartloop2(rc, cv, &n_int, first, second, &n_over, ofs, ofe, oss, ose, loop_mode, out, &k, &found))
      BSofrparcv(*out, start_of(cv), end_of(cv), rc);
  }
  // The loops go to the caller's list only once nothing else can fail.
  if (*rc == 0 && loop_mode == 1 && k > 0) {
    const int old = *n_loops < 1 ? 0 : *n_loops;
    const int bytes = static_cast<int>((static_cast<std::size_t>(old) + k) * sizeof(VOQbsp_curve *));
    VOQbsp_curve **list = static_cast<VOQbsp_curve **>(*loops ? BSdbgralloc(*loops, bytes) : BSdbgmalloc(bytes));
    if (!list) {
      *rc = BSRC_ALLOC_CURVE;
      BStracepush(*rc, "BSofrmlp3");
    } else {
      for (int i = 0; i < k; ++i) list[old + i] = found[i];
      *loops = list;
      *n_loops = old + k;
      k = 0;
    }
  }
  for (int i = 0; i < k; ++i) release(&found[i]);
  BSdbgfree(found);
  for (double *p : {first, second, ofs, ofe, oss, ose}) BSdbgfree(p);
  if (*rc != 0 && out) release(out);
  std::memcpy(BStoltab, saved, sizeof saved);
  if (*rc != 0) *rc = BSRC_LOOPS_FAILED;
  BSexit(rc, "BSofrmlp3", "bsofrmlp3");
}
