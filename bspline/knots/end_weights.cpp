// Weighting and unweighting pole arrays, and bringing the end weights of rational curves to 1. On a Bezier
// segment of degree d the weights w_i may become w_i a^(d-i) b^i for any positive a, b without changing the
// shape; choosing a or b from an end weight makes that end weight 1.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"

#include <cmath>

namespace {
void scale_poles(double *poles, int first, int last, const double *w, bool divide) {
  for (int i = first; i <= last; ++i)
    for (int c = 0; c < 3; ++c) poles[3 * i + c] = divide ? poles[3 * i + c] / w[i] : poles[3 * i + c] * w[i];
}

// The segment of d + 1 poles and weights starting at poles / w: the chosen ends get weight 1, the interior
// weights follow, and only the poles whose weight changes are unweighted and reweighted.
void reweight_segment(double *poles, double *w, int d, bool start, bool end) {
  const int first = start ? 0 : 1, last = end ? d : d - 1;
  scale_poles(poles, first, last, w, true);
  const double w0 = w[0], wd = w[d];
  int rc = 0;
  for (int i = 1; i <= d - 1; ++i) {
    double f = 1;
    if (start) f *= BSrpower(w0, static_cast<double>(d - i) / d, &rc);
    if (end) f *= BSrpower(wd, static_cast<double>(i) / d, &rc);
    w[i] /= f;
  }
  if (start) w[0] = 1;
  if (end) w[d] = 1;
  scale_poles(poles, first, last, w, false);
}

void scale_curve(VOQbsp_curve *cv, double f) {
  for (int i = 0; i < cv->num_poles; ++i) {
    cv->weights[i] /= f;
    for (int c = 0; c < 3; ++c) cv->poles[3 * i + c] /= f;
  }
}

// A curve whose end weights are equal is brought to end weights 1 by one common factor.
void equal_ends_to_one(VOQbsp_curve *cv) {
  const int n = cv->num_poles;
  scale_curve(cv, (cv->weights[0] + cv->weights[n - 1]) / 2);
  cv->weights[0] = cv->weights[n - 1] = 1;
}

// Shared by BSchgecvwts and BSchgcvewlr: the copy, clamped (the end rules hold only for the end segments of a
// clamped curve), and its knot tolerance.
bool prepare_copy(const VOQbsp_curve *in, VOQbsp_curve *out, double *ktol, int *rc) {
  if (BScv_copy(rc, in, out) && BScnvtomkt(rc, out))
    BScvkttol2(out->order, out->knots, out->num_poles, out->poles, out->weights, ktol, rc);
  return *rc == 0;
}

// Splits the end segments off (ends chosen by start/end) at full multiplicity and applies the segment rules.
void normalise_end_segments(VOQbsp_curve **out, double ktol, bool start, bool end, int *rc) {
  const int d = (*out)->order - 1;
  {
    bsknots::KnotTolScope scope(ktol);
    const double ua = (*out)->knots[d + 1], ub = (*out)->knots[(*out)->num_poles - 1];
    if (start) BSadd_1kt_tot(*out, ua, d, BSFALSE, out, rc);
    if (*rc == 0 && end) BSadd_1kt_tot(*out, ub, d, BSFALSE, out, rc);
  }
  if (*rc == 0) {
    VOQbsp_curve *cv = *out;
    const int n = cv->num_poles;
    if (start) reweight_segment(cv->poles, cv->weights, d, true, false);
    if (end) reweight_segment(cv->poles + 3 * (n - 1 - d), cv->weights + (n - 1 - d), d, false, true);
  }
}
}  // namespace

BSboolean BSwght_p(int *rc, const double *poles, const double *weights, const int *num_poles, double *out) {
  *rc = 0;
  for (int i = 0; i < *num_poles; ++i)
    for (int c = 0; c < 3; ++c) out[3 * i + c] = poles[3 * i + c] * weights[i];
  BSexit(rc, "BSwght_p", "bswght_p");
  return BSTRUE;
}

BSboolean BSunwght_p(int *rc, const double *poles, const double *weights, const int *num_poles, double *out) {
  *rc = 0;
  for (int i = 0; i < *num_poles; ++i)
    for (int c = 0; c < 3; ++c) out[3 * i + c] = poles[3 * i + c] / weights[i];
  BSexit(rc, "BSunwght_p", "bsunwght_p");
  return BSTRUE;
}

void BSchgewtlr(VOQbsp_curve *cv, VOQbsp_curve *out, BSboolean right_end, int *rc) {
  *rc = 0;
  if (!cv) {
    *rc = BSRC_NULL_CURVE;
  } else if (!cv->rational || cv->num_poles != cv->order) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    VOQbsp_curve *target = cv;
    if (out && out != cv) {
      BScv_copy(rc, cv, out);
      target = out;
    }
    if (*rc == 0)
      reweight_segment(target->poles, target->weights, target->num_poles - 1, !right_end, right_end != 0);
  }
  BSexit(rc, "BSchgewtlr", "bschgewtlr");
}

void BSchgewts(const VOQbsp_curve *in, VOQbsp_curve *out, int *rc) {
  *rc = 0;
  if (!in || !out) {
    *rc = BSRC_NULL_CURVE;
  } else if (!in->rational) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if ((out == in || BScv_copy(rc, in, out)) && out->num_poles != out->order) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (*rc == 0) {
    const int d = out->num_poles - 1;
    const double t = BStoltab[bstol::zero_tol] * BStoltab[bstol::zero_tol];
    if (!(std::fabs(out->weights[0] - 1) < t && std::fabs(out->weights[d] - 1) < t))
      reweight_segment(out->poles, out->weights, d, true, true);
  }
  BSexit(rc, "BSchgewts", "bschgewts");
}

void BSchgecvwts(const VOQbsp_curve *in, VOQbsp_curve **out, int *rc) {
  *rc = 0;
  if (!in || !out) {
    *rc = BSRC_NULL_CURVE;
  } else if (!in->rational) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    if (!*out) BSallocvoqcv(in->order, in->num_poles, in->rational, 0, out, rc);
    double ktol = 0;
    if (*rc != 0) {
    } else if (in->num_poles == in->order) {
      BSchgewts(in, *out, rc);
    } else if (prepare_copy(in, *out, &ktol, rc)) {
      // `in` may be *out and be replaced below: from here on only *out is read.
      VOQbsp_curve *cv = *out;
      const int n = cv->num_poles;
      double mean = 0;
      for (int i = 0; i < n; ++i) mean += cv->weights[i];
      scale_curve(cv, mean / n);
      if (std::fabs(cv->weights[0] - cv->weights[n - 1]) < 1e-10)
        equal_ends_to_one(cv);
      else
        normalise_end_segments(out, ktol, true, true, rc);
    }
  }
  BSexit(rc, "BSchgecvwts", "bschgecvwts");
}

void BSchgcvewlr(const VOQbsp_curve *in, int side, VOQbsp_curve **out, int *rc) {
  *rc = 0;
  if (!in || !out || !*out) {
    *rc = BSRC_NULL_CURVE;
  } else if (!in->rational || side < 0 || side > 2) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (in->num_poles == in->order) {
    // A single segment: the routines of one Bezier curve, which leave in alone unless it is *out.
    if (side == 2)
      BSchgewts(in, *out, rc);
    else
      BSchgewtlr(const_cast<VOQbsp_curve *>(in), *out, side == 1 ? BSTRUE : BSFALSE, rc);
  } else {
    double ktol = 0;
    if (prepare_copy(in, *out, &ktol, rc)) {
      VOQbsp_curve *cv = *out;
      const int n = cv->num_poles;
      if (side == 2 && std::fabs(cv->weights[0] - cv->weights[n - 1]) < BStoltab[bstol::basis_tol])
        equal_ends_to_one(cv);
      else
        normalise_end_segments(out, ktol, side != 1, side != 0, rc);
    }
  }
  BSexit(rc, "BSchgcvewlr", "bschgcvewlr");
}
