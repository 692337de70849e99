// The composite Legendre form: allocation of its arrays and the exact conversion of a B-spline into it, Bezier
// segment by Bezier segment.
#include "bspline/legendre.h"

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Components of a dimension-2 span by code: x, y; X, y, W; x, Y, W; X, Y, Wx, Wy.
constexpr int kPlaneComps[4] = {2, 3, 3, 4};

bool finite_all(std::size_t count, const double *v) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

void release_int(int **p) {
  BSdbgfree(*p);
  *p = nullptr;
}

// One component of degree d >= 4, from the top degree down. b holds the d + 1 Bernstein coefficients and is
// destroyed; binom(i, j) = binom[i * stride + j] for j <= i <= d and binom(2i, i) is read for i <= d.
void bezier_to_legendre(int d, double *b, const double *binom, int stride, double *out) {
  for (int i = d; i >= 1; --i) {
    const double *row = binom + static_cast<std::size_t>(i) * stride;
    // The top Legendre coefficient is the alternating binomial sum over binom(2i, i); even and odd distances
    // are summed apart so that the cancellation happens once.
    double even = 0.0, odd = 0.0;
    for (int j = i; j >= 0; j -= 2) even += row[j] * b[j];
    for (int j = i - 1; j >= 0; j -= 2) odd += row[j] * b[j];
    const double L = (even - odd) / binom[static_cast<std::size_t>(2 * i) * stride + i];
    out[i] = L;
    // Remove L times the shifted P_i, whose degree-i Bernstein coefficients are (-1)^(i-j) binom(i, j).
    for (int j = 0; j <= i; ++j) b[j] -= ((i - j) % 2 ? -row[j] : row[j]) * L;
    // The remainder is of degree i - 1: undo one degree elevation, inward from both ends where each step damps
    // the error it inherits. The back half is held one place up (position k keeps c_k-1 once b_k is used) and
    // moved down at the end; for odd i the back value of the middle coefficient wins.
    const int half = i / 2;
    for (int j = i - 1; j >= half + 1; --j) {
      const int kf = i - j;
      b[kf] = b[kf - 1] + (b[kf] - b[kf - 1]) * i / (i - kf);
      const int kb = j;
      b[kb] = b[kb + 1] + (b[kb] - b[kb + 1]) * i / kb;
    }
    for (int k = half + 1; k <= i; ++k) b[k - 1] = b[k];
  }
  out[0] = b[0];
}

// Above this degree the alternating binomial sums of the top-down scheme lose about a bit per degree (1e-13 of
// the largest coefficient near degree 40, nothing useful by 150); the Gauss-Legendre fit of the sampled curve has
// no such cancellation.
constexpr int kMaxBinomialDegree = 30;
constexpr int kMaxFitDegree = 319;

// One component of degree kMaxBinomialDegree < d <= kMaxFitDegree: the polynomial sampled by de Casteljau's
// scheme at the nodes of an n-point rule (n > d), whose fit is exact up to degree n - 1. work holds 2n + d + 1
// doubles.
void fit_component(int d, int n, const double *nodes, const double *b, double *work, double *out, int *rc) {
  double *samples = work, *fit = work + n, *w = work + 2 * n;
  for (int k = 0; k < n; ++k) {
    const double u = (nodes[k] + 1) / 2, v = 1 - u;
    std::memcpy(w, b, (static_cast<std::size_t>(d) + 1) * sizeof(double));
    for (int p = d; p >= 1; --p)
      for (int j = 0; j < p; ++j) w[j] = v * w[j] + u * w[j + 1];
    samples[k] = w[0];
  }
  BShifit(n, samples, fit, rc);
  if (*rc == 0) std::memcpy(out, fit, (static_cast<std::size_t>(d) + 1) * sizeof(double));
}

}  // namespace

int BScmlgdcomps(int dim, int code) {
  BSfaulthook("bscmlgdcomps", nullptr);
  if (dim == 2) return code >= 0 && code <= 3 ? kPlaneComps[code] : -1;
  return code == 0 || code == 1 ? 3 + code : -1;
}

void BSallcmplgd(int dim, int n, const int *degrees, const int *codes, double ***spans, int *rc) {
  *rc = 0;
  do {
    if (!degrees || !codes || !spans) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *spans = nullptr;
    if ((dim != 2 && dim != 3 && dim != 4) || n < 1) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // The block is sized for dim + code components (the dimension-2 table for dim 2), the spans laid out with
    // BScmlgdcomps; a size beyond the allocator's int argument counts as exhausted memory.
    long long total = 0;
    for (int i = 0; i < n && *rc == 0; ++i) {
      const int comps = BScmlgdcomps(dim, codes[i]);
      if (degrees[i] < 0 || comps < 0)
        *rc = BSRC_OUT_OF_RANGE;
      else if (total <= INT_MAX)
        total += (static_cast<long long>(degrees[i]) + 1) * (dim == 2 ? comps : dim + codes[i]);
    }
    if (*rc != 0) break;
    double **pointers = static_cast<double **>(BSdbgcalloc(n, static_cast<int>(sizeof(double *))));
    if (!pointers) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    *spans = pointers;
    double *block = nullptr;
    if (total <= INT_MAX / static_cast<long long>(sizeof(double)))
      block = static_cast<double *>(BSdbgcalloc(static_cast<int>(total), static_cast<int>(sizeof(double))));
    if (!block) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    pointers[0] = block;
    for (int i = 0; i + 1 < n; ++i)
      pointers[i + 1] = pointers[i] + static_cast<std::size_t>(degrees[i] + 1) * BScmlgdcomps(dim, codes[i]);
  } while (false);
  BSexit(rc, "BSallcmplgd", "bsallcmplgd");
}

void BSalldeflgd(int n, int **degrees, int **codes, int **kinds, double **breakpoints, int *rc) {
  *rc = 0;
  do {
    if (!degrees || !codes || !kinds || !breakpoints) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *degrees = *codes = *kinds = nullptr;
    *breakpoints = nullptr;
    if (n < 1 || n == INT_MAX) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int isz = static_cast<int>(sizeof(int));
    if (!(*degrees = static_cast<int *>(BSdbgcalloc(n, isz))) || !(*codes = static_cast<int *>(BSdbgcalloc(n, isz))) ||
        !(*kinds = static_cast<int *>(BSdbgcalloc(n, isz))) ||
        !(*breakpoints = static_cast<double *>(BSdbgcalloc(n + 1, static_cast<int>(sizeof(double)))))) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    for (int i = 0; i < n; ++i) (*kinds)[i] = 1;
  } while (false);
  BSexit(rc, "BSalldeflgd", "bsalldeflgd");
}

void BSbsp2cmlgd(int dim, int num_poles, int order, BSboolean rational, const double *poles, const double *knots,
                 int *n, int **degrees, int **codes, double ***spans, double **breakpoints, double range[2],
                 int *rc) {
  *rc = 0;
  int *kinds = nullptr;
  bool outputs_cleared = false;
  BSscratch<500> points_scratch, weights_scratch;
  const int code = rational ? 1 : 0;
  do {
    if (!poles || !knots || !n || !degrees || !codes || !spans || !breakpoints || !range) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *n = 0;
    *degrees = *codes = nullptr;
    *spans = nullptr;
    *breakpoints = nullptr;
    outputs_cleared = true;
    // In dimension 2 code 1 would read as a denominator of x alone: a rational plane curve has no code here.
    if ((dim != 2 && dim != 3) || order < 1 || num_poles < order || (dim == 2 && code)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t np = static_cast<std::size_t>(num_poles);
    if (!finite_all(np * (dim + code), poles) || !finite_all(np + order, knots)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }

    // The point test asks for points of three coordinates; it can only pick the shortcut, never fail the call.
    double *pts = points_scratch.take(3 * np);
    double *wts = code ? weights_scratch.take(np) : nullptr;
    if (!pts || (code && !wts)) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    std::memset(pts, 0, 3 * np * sizeof(double));
    for (int c = 0; c < dim; ++c)
      for (std::size_t j = 0; j < np; ++j) pts[3 * j + c] = poles[c * np + j];
    if (code) std::memcpy(wts, poles + dim * np, np * sizeof(double));
    int type = 0, test_rc = 0;
    double centroid[3], vec[3], deviation;
    BSlsqptlnpl(num_poles, pts, wts, BSFIT_POINT, &type, centroid, vec, &deviation, &test_rc);

    if (test_rc == 0 && type == BSKIND_POINT) {
      BSalldeflgd(1, degrees, codes, &kinds, breakpoints, rc);
      if (*rc != 0) break;
      BSallcmplgd(dim, 1, *degrees, *codes, spans, rc);
      if (*rc != 0) break;
      *n = 1;
      for (int c = 0; c < dim; ++c) (*spans)[0][c] = centroid[c];
      (*breakpoints)[0] = 0.0;
      (*breakpoints)[1] = 1.0;
      range[0] = 0.0;
      range[1] = 1.0;
      break;
    }

    const int m = num_poles - order + 1;
    BSalldeflgd(m, degrees, codes, &kinds, breakpoints, rc);
    if (*rc != 0) break;
    for (int i = 0; i < m; ++i) {
      (*degrees)[i] = order - 1;
      (*codes)[i] = code;
    }
    BSallcmplgd(dim, m, *degrees, *codes, spans, rc);
    if (*rc != 0) break;
    BSbstolgd(order - 1, num_poles, dim + code, knots, poles, n, (*spans)[0], *breakpoints, rc);
    if (*rc != 0) break;
    range[0] = (*breakpoints)[0];
    range[1] = (*breakpoints)[*n];
  } while (false);
  BSdbgfree(kinds);
  if (*rc != 0 && outputs_cleared) {
    release_int(degrees);
    release_int(codes);
    BSdbgfree(*breakpoints);
    *breakpoints = nullptr;
    *n = 0;
  }
  BSexit(rc, "BSbsp2cmlgd", "bsbsp2cmlgd");
}

void BSbstolgd(int degree, int num_poles, int ncomp, const double *knots, const double *poles, int *n,
               double *coefficients, double *breakpoints, int *rc) {
  *rc = 0;
  do {
    if (!knots || !poles || !n || !coefficients || !breakpoints) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *n = 0;
    if (degree < 0 || num_poles <= degree || ncomp < 1) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    int count = 0;
    BSbstobez(degree, num_poles, ncomp, knots, poles, &count, coefficients, breakpoints, rc);
    if (*rc != 0) break;
    const std::size_t segment = static_cast<std::size_t>(degree + 1) * ncomp;
    for (int s = 0; s < count && *rc == 0; ++s) {
      double *seg = coefficients + s * segment;
      BSbeztolgd(degree, ncomp, seg, seg, rc);
    }
    if (*rc == 0) *n = count;
  } while (false);
  BSexit(rc, "BSbstolgd", "bsbstolgd");
}

void BSbeztolgd(int degree, int ncomp, const double *bezier, double *legendre, int *rc) {
  *rc = 0;
  const int d = degree;
  BSscratch<16> work_scratch;
  BSscratch<0> table_scratch;
  do {
    if (d < -1 || d > kMaxFitDegree || ncomp < 0) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (d == -1 || ncomp == 0) break;
    if (!bezier || !legendre) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const std::size_t w = static_cast<std::size_t>(d) + 1;
    if (d <= 3) {
      for (int c = 0; c < ncomp; ++c) {
        const double *b = bezier + c * w;
        double *L = legendre + c * w;
        if (d == 0) {
          L[0] = b[0];
        } else if (d == 1) {
          const double b0 = b[0], b1 = b[1];
          L[0] = (b0 + b1) / 2;
          L[1] = (b1 - b0) / 2;
        } else if (d == 2) {
          const double s = (b[0] + b[2]) / 3, b1 = b[1], half_diff = (b[2] - b[0]) / 2;
          L[0] = s + b1 / 3;
          L[1] = half_diff;
          L[2] = s / 2 - b1 / 3;
        } else {
          const double S = b[0] + b[3], T = b[1] + b[2], D = b[3] - b[0], E = 0.15 * (b[2] - b[1]);
          L[0] = (S + T) / 4;
          L[1] = 0.45 * D + E;
          L[2] = (S - T) / 4;
          L[3] = 0.05 * D - E;
        }
      }
      break;
    }

    if (d > kMaxBinomialDegree) {
      int n = 40;
      while (n <= d) n *= 2;
      const double *nodes = nullptr;
      BSextrtlgd(n, &nodes, rc);
      if (*rc != 0) break;
      double *work = table_scratch.take(2 * static_cast<std::size_t>(n) + w);
      if (!work) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      for (int c = 0; c < ncomp && *rc == 0; ++c)
        fit_component(d, n, nodes, bezier + c * w, work, legendre + c * w, rc);
      break;
    }

    // binom(2i, i) up to i = d lies in the fixed table only while 2d < 16; beyond, a (2d+1)-square table gets
    // the fixed one in its corner, rows up to d by Pascal's rule and the central values by their recurrence.
    const double *binom = BSbinom16;
    std::size_t stride = 16;
    if (2 * d >= 16) {
      stride = 2 * w - 1;
      // A side whose square overflows the size type cannot be held either.
      double *table = stride <= 0xFFFFu ? table_scratch.take(stride * stride) : nullptr;
      if (!table) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      for (std::size_t i = 0; i < 16; ++i) std::memcpy(table + i * stride, BSbinom16 + 16 * i, 16 * sizeof(double));
      for (std::size_t i = 16; i <= static_cast<std::size_t>(d); ++i) {
        double *row = table + i * stride;
        const double *above = row - stride;
        row[0] = above[0];
        row[i] = above[i - 1];
        for (std::size_t j = 1; j < i; ++j) row[j] = above[j - 1] + above[j];
      }
      for (std::size_t k = 8; k <= static_cast<std::size_t>(d); ++k)
        table[2 * k * stride + k] = table[(2 * k - 2) * stride + k - 1] * static_cast<double>(4 * k - 2) / k;
      binom = table;
    }
    double *b = work_scratch.take(w);
    if (!b) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (int c = 0; c < ncomp; ++c) {
      std::memcpy(b, bezier + c * w, w * sizeof(double));
      bezier_to_legendre(d, b, binom, static_cast<int>(stride), legendre + c * w);
    }
  } while (false);
  BSexit(rc, "BSbeztolgd", "bsbeztolgd");
}
