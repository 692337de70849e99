// Unclamped ends turned into ends of full multiplicity, one knot step at a time, without changing the curve or
// its pole count: the outermost knot and the pole it governs outside the active range drop out at each step.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"

#include <cmath>

namespace {
void blend(VOQbsp_curve *cv, int dst, int a_index, double a, int b_index, double b) {
  for (int c = 0; c < 3; ++c) cv->poles[3 * dst + c] = a * cv->poles[3 * a_index + c] + b * cv->poles[3 * b_index + c];
  if (cv->rational && cv->weights) cv->weights[dst] = a * cv->weights[a_index] + b * cv->weights[b_index];
}

// The fraction of u along [lo, hi]; an empty interval means u already sits there.
double ratio(double u, double lo, double hi) { return hi > lo ? (u - lo) / (hi - lo) : 0.0; }

// Where the end knot runs more than order times, the poles beyond the first live span carry no weight in the
// range: they take that span's end pole, so that the end pole is the end point as a clamped end promises.
void settle_orphans(VOQbsp_curve *cv, bool at_end) {
  const int k = cv->order, n = cv->num_poles;
  const double *t = cv->knots;
  int run = 1;
  if (!at_end) {
    while (run < n && t[run] == t[0]) ++run;
    for (int i = 0; i < run - k; ++i) blend(cv, i, run - k, 1.0, run - k, 0.0);
  } else {
    while (run < n && t[n + k - 1 - run] == t[n + k - 1]) ++run;
    for (int i = n - 1 - (run - k) + 1; i < n && run > k; ++i) blend(cv, i, n - 1 - (run - k), 1.0, n - 1 - (run - k), 0.0);
  }
}

void clamp_end(VOQbsp_curve *cv, bool at_end, double ktol, int *rc) {
  const int k = cv->order, n = cv->num_poles;
  double *t = cv->knots;
  if (!at_end) {
    if (std::fabs(t[k - 1] - t[0]) >= ktol) {
      const double u = t[k - 1];
      for (int j = k - 2; j >= 0 && *rc == 0; --j) BSadd_ekt(rc, cv, &u, &j);
    }
  } else if (std::fabs(t[n + k - 1] - t[n]) >= ktol) {
    const double u = t[n];
    for (int j = n; j <= n + k - 2 && *rc == 0; ++j) BSadd_ekt(rc, cv, &u, &j);
  }
  if (*rc == 0) settle_orphans(cv, at_end);
}

bool knot_tolerance(VOQbsp_curve *cv, double *ktol, int *rc) {
  if (!cv || !cv->knots || !cv->poles) {
    *rc = BSRC_NULL_CURVE;
    return false;
  }
  if (!cv->rational) cv->weights = nullptr;
  if ((*rc = BScvcheck(cv)) != 0) return false;
  BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->weights, ktol, rc);
  return *rc == 0;
}
}  // namespace

BSboolean BSadd_ekt(int *rc, VOQbsp_curve *cv, const double *u, const int *j) {
  *rc = 0;
  const int k = cv->order, n = cv->num_poles, jj = *j;
  double *t = cv->knots;
  const double x = *u;
  if (!std::isfinite(x)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (jj + 1 < k) {
    for (int i = 1; i <= jj; ++i) {
      const double a = ratio(x, t[i], t[i + k - 1]);
      blend(cv, i - 1, i - 1, 1 - a, i, a);
    }
    for (int i = 0; i < jj; ++i) t[i] = t[i + 1];
    t[jj] = x;
  } else if (jj + 1 > n) {
    for (int i = n - 1; i >= jj - k + 2; --i) {
      const double a = ratio(x, t[i], t[i + k - 1]);
      blend(cv, i, i, a, i - 1, 1 - a);
    }
    for (int i = n + k - 1; i > jj + 1; --i) t[i] = t[i - 1];
    t[jj + 1] = x;
  }
  BSexit(rc, "BSadd_ekt", "bsadd_ekt");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BScnvtomkt(int *rc, VOQbsp_curve *cv) {
  *rc = 0;
  double ktol = 0;
  if (knot_tolerance(cv, &ktol, rc)) {
    clamp_end(cv, false, ktol, rc);
    if (*rc == 0) clamp_end(cv, true, ktol, rc);
    cv->periodic = 0;
  }
  BSexit(rc, "BScnvtomkt", "bscnvtomkt");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BScnvtmekt(BSboolean which_end, VOQbsp_curve *cv, int *rc) {
  *rc = 0;
  double ktol = 0;
  if (knot_tolerance(cv, &ktol, rc)) {
    clamp_end(cv, which_end != 0, ktol, rc);
    cv->periodic = 0;
  }
  BSexit(rc, "BScnvtmekt", "bscnvtmekt");
}
