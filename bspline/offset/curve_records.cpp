// Curve records the offset steps make alike: copies, and the circle a rational curve may be.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset {

VOQbsp_curve *copy_of(const VOQbsp_curve *cv, int extra_poles, bool boundaries, int *rc) {
  const int nb = boundaries && cv->bdrys ? cv->num_boundaries : 0;
  VOQbsp_curve *out = nullptr;
  BSallocvoqcv(cv->order, cv->num_poles + extra_poles, cv->rational, nb, &out, rc);
  if (*rc != 0) return nullptr;
  if (BScv_copy(rc, cv, out) && nb > 0) {
    out->num_boundaries = nb;
    std::memcpy(out->bdrys, cv->bdrys, sizeof(double) * 2 * static_cast<std::size_t>(nb));
  }
  if (*rc != 0) {
    int ignored = 0;
    BSfreevoqcv(out, &ignored);
    return nullptr;
  }
  return out;
}

VOQbsp_curve *join_pairwise(std::vector<VOQbsp_curve *> *parts, int *rc) {
  std::vector<VOQbsp_curve *> &ps = *parts;
  const auto release = [](VOQbsp_curve *&cv) {
    int ignored = 0;
    if (cv) BSfreevoqcv(cv, &ignored);
    cv = nullptr;
  };
  std::int16_t k = 0;
  for (const VOQbsp_curve *p : ps) k = std::max(k, p->order);
  for (VOQbsp_curve *&p : ps)
    if (*rc == 0 && p->order < k) BSupthedeg(p, static_cast<std::int16_t>(k - 1), BSFALSE, &p, rc);
  BSboolean small = BSFALSE;
  int trc = 0;
  if (*rc == 0 && !ps.empty()) BStstcvdegn(ps.back(), &small, &trc);
  const bool degenerate = small || trc != 0;
  while (ps.size() > 1 && *rc == 0) {
    std::vector<VOQbsp_curve *> up;
    for (std::size_t q = 0; q < ps.size(); q += 2) {
      if (q + 1 == ps.size()) {
        up.push_back(ps[q]), ps[q] = nullptr;
        continue;
      }
      const VOQbsp_curve *a = ps[q], *b = ps[q + 1];
      const bool rational = a->rational || b->rational;
      VOQbsp_curve *j = nullptr;
      if (*rc == 0) BSallocvoqcv(k, a->num_poles + b->num_poles - 1, rational ? BSTRUE : BSFALSE, 0, &j, rc);
      if (*rc == 0) {
        bsknots::join_at_joint(*a, *b, false, j);
        j->order = k, j->num_poles = a->num_poles + b->num_poles - 1, j->num_knots = j->num_poles + k;
        j->rational = rational ? BSTRUE : BSFALSE;
        if (!rational) j->weights = nullptr;
        j->periodic = 0, j->non_uniform = 1, j->num_boundaries = 0, j->bdrys = nullptr, j->phy_closed = 0;
      }
      up.push_back(j);
      release(ps[q]), release(ps[q + 1]);
    }
    ps.swap(up);
  }
  if (*rc != 0 || ps.empty()) {
    for (VOQbsp_curve *&p : ps) release(p);
    ps.clear();
    return nullptr;
  }
  VOQbsp_curve *all = ps[0];
  ps.clear();
  if (!degenerate) {
    double p0[3], p1[3];
    pole_point(all, 0, p0), pole_point(all, all->num_poles - 1, p1);
    if (std::sqrt((p0[0] - p1[0]) * (p0[0] - p1[0]) + (p0[1] - p1[1]) * (p0[1] - p1[1]) +
                  (p0[2] - p1[2]) * (p0[2] - p1[2])) < BStoltab[bstol::dist_tol]) {
      all->phy_closed = 1;
      double mid[3];
      for (int c = 0; c < 3; ++c) mid[c] = 0.5 * (p0[c] + p1[c]);
      set_pole(all, 0, mid), set_pole(all, all->num_poles - 1, mid);
    }
  }
  return all;
}

std::uint16_t circular_arc(const VOQbsp_curve *cv, double centre[3], double *radius, int *rc) {
  OwnedCurve arc;
  BSallocvoqcv(3, 7, BSTRUE, 0, &arc.cv, rc);
  std::uint16_t is_arc = 0;
  if (*rc == 0) BStstcvfarc(cv, &is_arc, centre, radius, arc.cv, rc);
  return *rc == 0 ? is_arc : 0;
}

}  // namespace bsoffset
