// One step of the piece stack of a span's self-intersection: the top pair is taken off for the caller to
// intersect, and each of its pieces that may still cross itself is halved and its halves pushed as a new pair.
// A piece whose control polygon does not cross itself, whose end points lie outside the box of its other poles,
// and whose poles all advance along one direction, cannot meet itself and is done.
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/measure.h"

namespace {

// A record of the stack with its blocks, all from the library heap.
void release_piece(VOQbsp_curve *cv) {
  if (!cv) return;
  BSdbgfree(cv->poles);
  BSdbgfree(cv->knots);
  if (cv->rational) BSdbgfree(cv->weights);
  BSdbgfree(cv);
}

int check_piece(const VOQbsp_curve *cv) {
  if (const int bad = BScvcheck(cv)) return bad;
  // The working arrays hold the unweighted poles of one Bezier piece.
  return cv->num_poles > BSXBZ_MAX_ORDER ? BSRC_OUT_OF_RANGE : 0;
}

// Whether a working curve is to be halved. Curve 1 keeps pieces whose middle lies exactly a knot tolerance from
// an end or whose polygon is exactly dist_tol long; curve 2 does not (strict against inclusive comparisons).
bool wants_split(int *rc, const VOQbsp_curve *cv, BSboolean crosses, double ktol, bool inclusive, double *middle) {
  if (!crosses) {
    BSboolean inside = 0;
    BSendptinbx(rc, cv, &inside);
    if (*rc != 0) return false;
    // Neither test sees a loop whose polygon stays simple and keeps the end poles outside: a piece that turns
    // through a half turn or more is halved all the same.
    if (!inside && BSpoles_advance(cv)) return false;
  }
  const int n = cv->num_poles;
  const double t0 = cv->knots[0], t1 = cv->knots[n], m = 0.5 * (t0 + t1);
  double length = 0;
  if (!BScumdist(rc, &n, cv->poles, cv->rational ? cv->weights : nullptr, &length)) return false;
  const double tol = BStoltab[bstol::dist_tol];
  const bool keep = inclusive ? length <= tol || m - t0 <= ktol || t1 - m <= ktol
                              : length < tol || m - t0 < ktol || t1 - m < ktol;
  *middle = m;
  return !keep;
}

// The two halves of cv in fresh records; both NULL (nothing left allocated) on failure.
bool halve(int *rc, const VOQbsp_curve *cv, double m, VOQbsp_curve *halves[2]) {
  halves[0] = static_cast<VOQbsp_curve *>(BSdbgcalloc(1, sizeof(VOQbsp_curve)));
  halves[1] = halves[0] ? static_cast<VOQbsp_curve *>(BSdbgcalloc(1, sizeof(VOQbsp_curve))) : nullptr;
  if (!halves[1]) {
    *rc = BSRC_NO_HEAP;
  } else {
    BScvsplit(rc, cv, &m, halves[0], halves[1], nullptr);
  }
  if (*rc == 0) return true;
  // A failed split has released the blocks it took; the records are still ours.
  for (int h = 0; h < 2; ++h) {
    release_piece(halves[h]);
    halves[h] = nullptr;
  }
  return false;
}

}  // namespace

BSboolean BStst_stack(int *rc, std::int32_t *count, VOQbsp_curve ***stack, VOQbsp_curve *wc1, VOQbsp_curve *wc2) {
  *rc = 0;
  do {
    if (!count || !stack || !*stack || !wc1 || !wc2) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (*count < 2 || *count % 2 != 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    VOQbsp_curve **slots = *stack;
    VOQbsp_curve *top[2] = {slots[*count - 2], slots[*count - 1]};
    VOQbsp_curve *work[2] = {wc1, wc2};
    if ((*rc = check_piece(top[0])) != 0 || (*rc = check_piece(top[1])) != 0) break;
    if (!BScv_copy(rc, top[0], wc1) || !BScv_copy(rc, top[1], wc2)) break;
    release_piece(top[0]);
    release_piece(top[1]);
    slots[*count - 2] = slots[*count - 1] = nullptr;
    *count -= 2;

    BSboolean crosses[2] = {0, 0};
    double ktol[2] = {0, 0};
    for (int c = 0; c < 2 && *rc == 0; ++c) {
      const VOQbsp_curve *cv = work[c];
      const int n = cv->num_poles;
      double poles[3 * BSXBZ_MAX_ORDER];
      if (cv->rational)
        BSunwght_p(rc, cv->poles, cv->weights, &n, poles);
      else
        std::memcpy(poles, cv->poles, 3 * static_cast<std::size_t>(n) * sizeof(double));
      if (*rc == 0) BSls_slfint(rc, &n, poles, &crosses[c]);
    }
    for (int c = 0; c < 2 && *rc == 0; ++c) {
      const VOQbsp_curve *cv = work[c];
      BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &ktol[c],
                 rc);
    }
    if (*rc != 0) break;

    double m = 0;
    VOQbsp_curve *halves[2] = {nullptr, nullptr};
    const bool split1 = wants_split(rc, wc1, crosses[0], ktol[0], false, &m);
    if (*rc != 0) break;
    if (split1) {
      if (!halve(rc, wc1, m, halves)) break;
      slots[*count] = halves[0];
      slots[*count + 1] = halves[1];
      *count += 2;
    }
    const bool split2 = wants_split(rc, wc2, crosses[1], ktol[1], true, &m);
    if (*rc != 0 || !split2) break;
    if (!halve(rc, wc2, m, halves)) break;
    if (split1) {
      void *grown = BSdbgralloc(slots, static_cast<int>((*count + 2) * sizeof(VOQbsp_curve *)));
      if (!grown) {
        release_piece(halves[0]);
        release_piece(halves[1]);
        *rc = BSRC_NO_HEAP;
        break;
      }
      *stack = slots = static_cast<VOQbsp_curve **>(grown);
    }
    slots[*count] = halves[0];
    slots[*count + 1] = halves[1];
    *count += 2;
  } while (false);
  BSexit(rc, "BStst_stack", "bstst_stack");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
