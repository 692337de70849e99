// Legendre spans back to B-splines within a tolerance. A span whose degree fits the order becomes one Bezier
// segment exactly. Otherwise the size of the span's k-th derivative places breaks so that a piece of degree k-1
// fits each interval, each interval gets the Legendre truncation of the series re-expanded on it, the pieces are
// made continuous by the least change, and their Bezier points are assembled into the poles of one spline with
// simple interior knots. A continuity change beyond the tolerance sends the drivers back with finer breaks.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "bspline/numerics.h"

#include <climits>
#include <cmath>
#include <cstring>

namespace {

constexpr int kMaxOrder = 64;       // orders from here on are refused where an approximation is needed
constexpr int kMarchLimit = 9999;   // steps of one break march
constexpr int kRetries = 10;        // finer break placements after a missed continuity step

bool finite_all(std::size_t count, const double *v) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

std::size_t series_size(int n, int nser) { return n < 0 ? 0 : (static_cast<std::size_t>(n) + 1) * nser; }

// A heap array of count doubles handed to the caller, or NULL (also when the byte count leaves int).
double *caller_array(std::size_t count) {
  const double bytes = 8.0 * static_cast<double>(count);
  if (bytes > INT_MAX) return nullptr;
  return static_cast<double *>(BSdbgmalloc(static_cast<int>(bytes)));
}

void release(double **p) {
  BSdbgfree(*p);
  *p = nullptr;
}

double to_unit(double b) { return (b + 1.0) / 2.0; }

// Breaks a conversion can run on: -1 first, 1 last, strictly increasing in between.
bool breaks_ok(int nspans, const double *b) {
  if (nspans < 1 || !b || b[0] != -1.0 || b[nspans] != 1.0) return false;
  for (int s = 0; s < nspans; ++s)
    if (!(b[s + 1] > b[s])) return false;
  return true;
}

// The exact form of a series of degree d < k: one Bezier segment of d+1 poles (one pole of zeros for the zero
// series), knots d+1 zeros and d+1 ones. The arrays are the caller's from the moment they are obtained.
void exact_segment(int d, int nser, const double *coef, int *num_poles, double **poles, double **knots, int *rc) {
  const int np = d < 0 ? 1 : d + 1;
  *poles = caller_array(static_cast<std::size_t>(np) * nser);
  if (*poles) *knots = caller_array(2 * static_cast<std::size_t>(np));
  if (!*poles || !*knots) {
    *rc = BSRC_ALLOC_CURVE;
    return;
  }
  *num_poles = np;
  if (d < 0)
    for (int q = 0; q < nser; ++q) (*poles)[q] = 0.0;
  else
    BScvlgdtbez(d, nser, coef, *poles, rc);
  for (int i = 0; i < np; ++i) (*knots)[i] = 0.0, (*knots)[np + i] = 1.0;
}

// With continuity 0 joins nothing corrects the pieces after their truncation, and the breaks size a piece by its
// first dropped term alone: at high degree the terms after it add up, and at a few samples the sum can hide. A
// piece is the series' truncation on its interval with its end points moved to the joint poles: it strays from the
// series by at most its dropped terms' size plus the larger move of an end. Where that exceeds what the placement
// allows (three times tol) the breaks are placed again, finer.
bool pieces_missed(int n, int nser, const double *coef, int k, int nspans, const double *breaks, double tol, int np,
                   const double *poles, int *rc) {
  if (np != (k - 1) * nspans + 1 || !poles) return false;
  const std::size_t stride = static_cast<std::size_t>(n) + 1;
  BSscratch<0> scratch;
  double *on = scratch.take(stride);
  if (!on) {
    *rc = BSRC_NO_SCRATCH;
    return false;
  }
  for (int j = 0; j < nspans; ++j) {
    double tail = 0.0, start = 0.0, end = 0.0;
    for (int q = 0; q < nser; ++q) {
      BSlimlgdab(n, coef + q * stride, breaks[j], breaks[j + 1], on, rc);
      if (*rc != 0) return false;
      double t = 0.0, at_start = 0.0, at_end = 0.0;
      for (int i = 0; i <= n; ++i) {
        if (i >= k) {
          t += std::fabs(on[i]);
          continue;
        }
        at_start += i % 2 ? -on[i] : on[i];
        at_end += on[i];
      }
      const double *row = poles + static_cast<std::size_t>(q) * np + static_cast<std::size_t>(k - 1) * j;
      tail += t * t;
      start += (row[0] - at_start) * (row[0] - at_start);
      end += (row[k - 1] - at_end) * (row[k - 1] - at_end);
    }
    if (!(std::sqrt(tail) + std::sqrt(std::fmax(start, end)) <= 3 * tol)) return true;
  }
  return false;
}

// The drivers' approximation: breaks placed from `place` under place_tol, `coef` approximated on them under tol;
// a missed continuity step (or, with continuity 0 joins, a break missed) frees everything handed out and places the
// breaks again under half the tolerance, up to kRetries times, after which rc 55 stays with the last result.
void approximate(int n, int nser, const double *place, const double *coef, int k, int cont, double place_tol,
                 double tol, int *num_poles, double **poles, double **knots, int *rc) {
  int nspans = 0;
  double *breaks = nullptr;
  for (int retry = 0;; ++retry) {
    BSfndktslg(n, 1, nser, place, k, cont, place_tol, &nspans, &breaks, rc);
    if (*rc == 0) BSlgdbspspn(n, 1, nser, coef, k, cont, nspans, breaks, tol, num_poles, poles, knots, rc);
    if (*rc == 0 && cont == -1 && pieces_missed(n, nser, coef, k, nspans, breaks, tol, *num_poles, *poles, rc))
      *rc = BSRC_CONTINUITY_MISSED;
    if (*rc != BSRC_CONTINUITY_MISSED || retry == kRetries) break;
    release(&breaks);
    release(poles);
    release(knots);
    *num_poles = 0;
    *rc = 0;
    place_tol /= 2;
  }
  BSdbgfree(breaks);
}

// The outputs of a converter cleared on entry; false (rc 3) when one of them is missing.
bool clear_outputs(int *num_poles, double **poles, double **knots, int *rc) {
  if (!num_poles || !poles || !knots) {
    *rc = BSRC_NULL_CURVE;
    return false;
  }
  *num_poles = 0;
  *poles = *knots = nullptr;
  return true;
}

// The drivers' first checks: the outputs cleared (rc 3 when one is missing), rc 3 without coefficients, rc -2 for
// arguments out of range and for a tolerance or coefficients that are not finite.
bool driver_args_ok(int n, int dim, int nser, const double *coef, int k, double tol, int *num_poles, double **poles,
                    double **knots, int *rc) {
  if (!clear_outputs(num_poles, poles, knots, rc)) return false;
  if (n >= 0 && !coef)
    *rc = BSRC_NULL_CURVE;
  else if (dim < 1 || k < 2 || n < -1 || !std::isfinite(tol) || tol < 0 || !finite_all(series_size(n, nser), coef))
    *rc = BSRC_OUT_OF_RANGE;
  return *rc == 0;
}

// Orders other than 3, 4 and 5: the Bezier points of three series at a time as the poles of a chain with interior
// knots of multiplicity k-1, whose knots are removed down to the simple ones by least squares (exact for pieces
// that already join with k-2 continuous derivatives).
void assemble_general(int k, int nspans, int nser, const double *bez, const double *knots, int np, double *poles,
                      int *rc) {
  const int cnp = (k - 1) * nspans + 1;
  VOQbsp_curve chain{}, target{};
  chain.order = target.order = static_cast<std::int16_t>(k);
  chain.non_uniform = target.non_uniform = 1;
  chain.num_poles = cnp, chain.num_knots = cnp + k;
  target.num_poles = np, target.num_knots = np + k;
  chain.poles = BSscratchtake(3 * static_cast<std::size_t>(cnp), nullptr);
  chain.knots = BSscratchtake(static_cast<std::size_t>(cnp) + k, nullptr);
  target.poles = BSscratchtake(3 * static_cast<std::size_t>(np), nullptr);
  target.knots = BSscratchtake(static_cast<std::size_t>(np) + k, nullptr);
  if (!chain.poles || !chain.knots || !target.poles || !target.knots) {
    *rc = BSRC_NO_SCRATCH;
  } else {
    // The chain's knots are the target's with every inner knot k-1 times.
    double *ck = chain.knots;
    for (int i = 0; i < k; ++i) ck[i] = knots[0], ck[cnp + i] = knots[np + k - 1];
    for (int j = 1; j < nspans; ++j)
      for (int r = 0; r < k - 1; ++r) ck[k + (j - 1) * (k - 1) + r] = knots[k - 1 + j];
    const VOQbsp_curve *in[1] = {&chain};
    VOQbsp_curve *out[1] = {&target};
    for (int g = 0; g < nser && *rc == 0; g += 3) {
      for (int s = 0; s < nspans; ++s)
        for (int i = 0; i < (s + 1 < nspans ? k - 1 : k); ++i)
          for (int c = 0; c < 3; ++c) {
            const int q = g + c;
            chain.poles[3 * ((k - 1) * s + i) + c] = q < nser ? bez[(static_cast<std::size_t>(s) * nser + q) * k + i]
                                                               : 0.0;
          }
      BSbrapproxs(1, in, np, knots, BSFALSE, BSFALSE, out, rc);
      for (int c = 0; c < 3 && g + c < nser && *rc == 0; ++c)
        for (int j = 0; j < np; ++j) poles[static_cast<std::size_t>(g + c) * np + j] = target.poles[3 * j + c];
    }
  }
  // BSbrapproxs leaves the target without a weight array; the records' own arrays go back either way.
  int rc2 = 0;
  BSstfrecvfl(&rc2, &chain);
  if (*rc == 0) *rc = rc2;
  BSstfrecvfl(&rc2, &target);
  if (*rc == 0) *rc = rc2;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Drivers

void BSlgdbspl1(int n, int dim, const double *coef, int k, int cont, double tol, int *num_poles, double **poles,
                double **knots, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    if (!driver_args_ok(n, dim, dim, coef, k, tol, num_poles, poles, knots, rc)) break;
    double *trunc = scratch.take(series_size(n, dim));
    if (!trunc) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    int m = n;
    if (n >= 1) {
      BSlgdcvint(n, dim, coef, tol, &m, &trunc, rc);
      if (*rc != 0) break;
    } else if (n == 0) {
      std::memcpy(trunc, coef, sizeof(double) * dim);
    }
    if (m < k) {
      exact_segment(m, dim, trunc, num_poles, poles, knots, rc);
    } else if (k >= kMaxOrder || !(tol > 0)) {
      // Breaks for tol 0 would have zero width: the march would only ever end at its step limit.
      *rc = BSRC_OUT_OF_RANGE;
    } else {
      approximate(n, dim, coef, coef, k, cont, tol, tol, num_poles, poles, knots, rc);
    }
  } while (false);
  BSexit(rc, "BSlgdbspl1", "bslgdbspl1");
}

void BSlgdbsplr(int n, int dim, const double *coef, int k, int cont, double tol, int *num_poles, double **poles,
                double **knots, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    const int nser = dim + 1;
    if (!driver_args_ok(n, dim, nser, coef, k, tol, num_poles, poles, knots, rc)) break;
    if (k >= kMaxOrder && k < n + 1) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (n < 0) {  // the zero series is no weight
      *rc = BSRC_NOT_POSITIVE;
      break;
    }
    if (n + 1 <= k) {
      exact_segment(n, nser, coef, num_poles, poles, knots, rc);
      break;
    }
    if (!(tol > 0)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t stride = static_cast<std::size_t>(n) + 1, numerators = stride * dim;
    const double *W = coef + numerators;
    double wmin = 0.0;
    BSminpollgd(n, W, &wmin, rc);
    if (*rc == 0 && !(wmin > 0)) *rc = BSRC_NOT_POSITIVE;
    if (*rc != 0) break;
    double *scaled = scratch.take(stride * nser);
    if (!scaled) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    // The breaks follow the error of X/W: the numerators' share divided by the least weight, the weight's share
    // times the largest |X/W| bound over the least weight.
    double S = 0.0;
    for (std::size_t i = 0; i < numerators; ++i) S += std::fabs(coef[i]);
    for (std::size_t i = 0; i < numerators; ++i) scaled[i] = coef[i] / wmin;
    const double wscale = S / wmin / wmin;
    for (std::size_t i = 0; i < stride; ++i) scaled[numerators + i] = W[i] * wscale;
    if (!finite_all(stride * nser, scaled)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    approximate(n, nser, scaled, coef, k, cont, tol, wmin * tol, num_poles, poles, knots, rc);
  } while (false);
  BSexit(rc, "BSlgdbsplr", "bslgdbsplr");
}

// ---------------------------------------------------------------------------------------------------------------
// Break placement

void BSkroot(double v, int k, double *root, int *rc) {
  *rc = 0;
  if (k < 1 || !std::isfinite(v) || (v < 0 && k % 2 == 0)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (v == 0) {
    *root = 0.0;
  } else {
    const double r = BSnewtkroot(std::fabs(v), k);
    *root = v < 0 ? -r : r;
  }
  BSexit(rc, "BSkroot", "bskroot");
}

void BSmaxnrmlgd(int n, int ns, int dim, const double *coef, double t, double *max) {
  const std::size_t stride = n < 0 ? 0 : static_cast<std::size_t>(n) + 1;
  double top = 0.0;
  for (int i = 0; i < ns; ++i) {
    double sum = 0.0;
    for (int j = 0; j < dim; ++j) {
      double v = 0.0;
      BSevalpolgd(n, coef + (static_cast<std::size_t>(j) * ns + i) * stride, t, &v);
      sum += v * v;
    }
    const double norm = std::sqrt(sum);
    if (!(norm <= top)) top = norm;  // NaN sticks
  }
  *max = top;
  BSfaulthook("bsmaxnrmlgd", nullptr);
}

void BSfndktslg(int n, int ns, int dim, const double *coef, int k, int cont, double tol, int *nspans,
                double **breaks, int *rc) {
  *rc = 0;
  BSscratch<0> deriv_scratch;
  BSscratch<512> marks;
  do {
    if (!nspans || !breaks || (n >= 0 && !coef)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *nspans = 0;
    *breaks = nullptr;
    if (ns < 1 || dim < 1 || k < 2 || k >= kMaxOrder || n < -1 || !std::isfinite(tol) || !(tol > 0) ||
        !finite_all(series_size(n, ns * dim), coef)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (n < k) break;
    const int dn = n - k;
    double *deriv = deriv_scratch.take(series_size(dn, ns * dim));
    if (!deriv) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    BSdercvlgd(n, ns * dim, coef, k, deriv, rc);
    if (*rc != 0) break;

    // F = k (k-1-c)! (2k-1)!! / k!, the last two as one running product; continuity beyond k-1 counts as k-1.
    const int c = cont < 0 ? 0 : (cont > k - 1 ? k - 1 : cont);
    double F = k;
    for (int i = 2; i <= k - 1 - c; ++i) F *= i;
    for (int i = 1; i <= k; ++i) F *= (2.0 * i - 1.0) / i;
    const auto norm = [&](double t) {
      double D = 0.0;
      BSmaxnrmlgd(dn, ns, dim, deriv, t, &D);
      return D;
    };
    // The half-width of a piece under a derivative norm D, at most 1: a wider piece covers the whole span anyway,
    // and an unbounded one would throw the outermost march point, and with it the mapping of every break, far out.
    const auto half_width = [&](double D, double *h) -> int {
      if (!std::isfinite(D)) return BSRC_OUT_OF_RANGE;
      const double ratio = F * tol / D;
      if (D == 0 || !(ratio < 1)) {
        *h = 1.0;
        return 0;
      }
      int krc = 0;
      BSkroot(ratio, k, h, &krc);
      if (*h > 1) *h = 1.0;
      return krc;
    };

    const double D0 = norm(0.0);
    double h0 = 1.0;
    if ((*rc = half_width(D0, &h0)) != 0) break;
    const double Dl = norm(-h0), Dr = norm(h0);
    double Dmax = D0 > Dl ? D0 : Dl;
    if (Dr > Dmax) Dmax = Dr;
    double h = h0;
    if (Dmax != D0) {
      if (Dmax == 0) h = 1.0;
      else if ((*rc = half_width(Dmax, &h)) != 0) break;
    }

    // Each march keeps its points from the piece's end outwards; both sides share one array, grown once to the
    // full step limit when the local one runs out.
    double *pts = marks.take(512);
    int cap = 256;
    int count[2] = {0, 0};
    for (int side = 0; side < 2 && *rc == 0; ++side) {
      const double dir = side == 0 ? -1.0 : 1.0;
      double x = dir * h, D = side == 0 ? Dl : Dr;
      pts[side * cap] = x;
      // The left march runs while x > -1, the right one while x <= 1.
      while (side == 0 ? x > -1.0 : x <= 1.0) {
        if (count[side] == kMarchLimit) {
          *rc = BSRC_ALLOC_CURVE;
          break;
        }
        if (count[side] + 1 == cap) {
          double *grown = marks.take(2 * static_cast<std::size_t>(kMarchLimit + 1));
          if (!grown) {
            *rc = BSRC_NO_SCRATCH;
            break;
          }
          std::memcpy(grown, pts, sizeof(double) * (count[0] + 1));
          if (side == 1) std::memcpy(grown + kMarchLimit + 1, pts + cap, sizeof(double) * (count[1] + 1));
          pts = grown;
          cap = kMarchLimit + 1;
        }
        double step = 0.0;
        if ((*rc = half_width(D, &step)) != 0) break;
        double far = x + dir * 2.0 * step;
        if (far < -1.0) far = -1.0;
        if (far > 1.0) far = 1.0;
        const double Dfar = norm(far);
        if (Dfar > D && (*rc = half_width(Dfar, &step)) != 0) break;
        const double next = x + dir * 2.0 * step;
        // A step below the rounding of x would repeat itself until the step limit.
        if (next == x) {
          *rc = BSRC_ALLOC_CURVE;
          break;
        }
        x = next;
        pts[side * cap + ++count[side]] = x;
        D = Dfar;
      }
    }
    if (*rc != 0) break;

    const int L = count[0], R = count[1], total = L + R + 1;
    double *b = caller_array(static_cast<std::size_t>(total) + 1);
    if (!b) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    const double *left = pts, *right = pts + cap, lo = left[L], hi = right[R];
    for (int i = 0; i <= L; ++i) b[i] = left[L - i];
    for (int i = 0; i <= R; ++i) b[L + 1 + i] = right[i];
    for (int i = 1; i < total; ++i) b[i] = -1.0 + 2.0 * (b[i] - lo) / (hi - lo);
    b[0] = -1.0;
    b[total] = 1.0;
    *nspans = total;
    *breaks = b;
    if (!breaks_ok(total, b)) *rc = BSRC_ALLOC_CURVE;  // breaks finer than the rounding of the span
  } while (false);
  BSexit(rc, "BSfndktslg", "bsfndktslg");
}

// ---------------------------------------------------------------------------------------------------------------
// Approximation on given breaks

void BSncslgdbsp(int n, int nser, const double *coef, int k, double tol, int nspans, const double *breaks,
                 double *pieces, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    if (!breaks || !pieces || (n >= 0 && !coef)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (nser < 1 || k < 2 || n < -1 || !std::isfinite(tol) || tol < 0 || !breaks_ok(nspans, breaks) ||
        !finite_all(series_size(n, nser), coef)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t stride = static_cast<std::size_t>(n) + 1;
    if (nspans == 1) {
      for (int q = 0; q < nser; ++q)
        for (int i = 0; i < k; ++i) pieces[static_cast<std::size_t>(q) * k + i] = i <= n ? coef[q * stride + i] : 0.0;
      break;
    }
    // A node of m spans sits at stack level L only while m <= ceil(nspans / 2^L): levels 0 .. ceil(log2 nspans),
    // each with its slot of series, and one slot more for the re-expansion.
    int levels = 1;
    while ((1 << (levels - 1)) < nspans) ++levels;
    const int top_degree = n > k - 1 ? n : k - 1;
    const std::size_t slot = (static_cast<std::size_t>(top_degree) + 1) * nser;
    double *work = scratch.take(slot * (levels + 1));
    if (!work) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *temp = work + slot * levels;
    // Low degrees are re-expanded in the power basis, high ones in the Chebyshev basis. The power form of a
    // series can be far larger than the series (P_20's coefficients reach 1e5), and its rounding then shows in
    // the pieces: where that rounding is not well below tol, the Chebyshev basis serves the low degrees too.
    bool power = n < 21;
    for (int q = 0; q < nser && power && *rc == 0; ++q) {
      BSlgdtcan(n, coef + q * stride, work + q * stride, rc);
      double sum = 0.0;
      for (std::size_t j = 0; j < stride; ++j) sum += std::fabs(work[q * stride + j]);
      power = 64 * 2.220446049250313e-16 * sum <= tol;
    }
    for (int q = 0; q < nser && !power && *rc == 0; ++q) BSlgdttch(n, coef + q * stride, work + q * stride, rc);
    if (*rc != 0) break;
    struct Node {
      int spans, first, degree;
    };
    Node stack[34];
    int top = 0;
    stack[0] = {nspans, 0, n};
    const double cut = tol / 1024;
    while (top >= 0 && *rc == 0) {
      Node &node = stack[top];
      double *data = work + slot * top;
      const int d = node.degree;
      const std::size_t w = d < 0 ? 0 : static_cast<std::size_t>(d) + 1;
      if (node.spans == 1) {
        for (int q = 0; q < nser && *rc == 0; ++q) {
          double *lgd = temp + q * w;
          if (d < 0) break;
          if (power)
            BScantlgd(d, data + q * w, lgd, rc);
          else
            BStchtlgd(d, data + q * w, lgd, rc);
          double *piece = pieces + (static_cast<std::size_t>(q) * nspans + node.first) * k;
          for (int i = 0; i < k; ++i) piece[i] = i <= d ? lgd[i] : 0.0;
        }
        if (d < 0)
          for (int q = 0; q < nser; ++q)
            for (int i = 0; i < k; ++i) pieces[(static_cast<std::size_t>(q) * nspans + node.first) * k + i] = 0.0;
        --top;
        continue;
      }
      const int m = node.spans, s = node.first;
      int half = m / 2;
      if (m % 2 && (breaks[s + half] + breaks[s + half + 1]) / 2 <= (breaks[s] + breaks[s + m]) / 2) ++half;
      const double x = 2 * (breaks[s + half] - breaks[s]) / (breaks[s + m] - breaks[s]) - 1;
      // Left part into the next level's slot, then the right part over the node's own.
      int degrees[2] = {d, d};
      for (int part = 0; part < 2 && *rc == 0; ++part) {
        const double a = part == 0 ? -1.0 : x, b = part == 0 ? x : 1.0;
        double *dst = part == 0 ? data + slot : data;
        if (d < 0) {
          degrees[part] = -1;
          continue;
        }
        if (power)
          for (int q = 0; q < nser; ++q) BSlimcanab(d, data + q * w, a, b, temp + q * w);
        else
          BSlimtchab(d, nser, data, a, b, temp, rc);
        if (*rc == 0) BSlgdcvmin(d, nser, temp, k - 1, cut, &degrees[part], &dst, rc);
      }
      if (*rc != 0) break;
      node = {m - half, s + half, degrees[1]};
      stack[++top] = {half, s, degrees[0]};
    }
  } while (false);
  BSexit(rc, "BSncslgdbsp", "bsncslgdbsp");
}

void BSlgdbspspn(int n, int ns, int dim, const double *coef, int k, int cont, int nspans, const double *breaks,
                 double tol, int *num_poles, double **poles, double **knots, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  do {
    if (!clear_outputs(num_poles, poles, knots, rc)) break;
    if (n >= 0 && !coef) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const int nser = ns * dim;
    if (ns < 1 || dim < 1 || k < 2 || n < -1 || !finite_all(series_size(n, nser), coef)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (n < k) {
      exact_segment(n, nser, coef, num_poles, poles, knots, rc);
      break;
    }
    if (!std::isfinite(tol) || !(tol > 0) || !breaks_ok(nspans, breaks)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t size = static_cast<std::size_t>(nser) * k * nspans;
    double *leg = scratch.take(3 * size);
    if (!leg) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *cst = leg + size, *bez = cst + size;
    BSncslgdbsp(n, nser, coef, k, tol, nspans, breaks, leg, rc);
    if (*rc != 0) break;
    if (cont == -1) {
      BSlgdbspcm1(k, nspans, nser, leg, breaks, num_poles, poles, knots, rc);
      break;
    }
    BScstlgdbsp(ns, dim, k, k - 2, nspans, breaks, leg, tol, cst, rc);
    const bool missed = *rc == BSRC_CONTINUITY_MISSED;
    if (missed) *rc = 0;
    if (*rc != 0) break;
    for (int s = 0; s < nspans && *rc == 0; ++s)
      for (int q = 0; q < nser && *rc == 0; ++q)
        BSlgdtbez(k - 1, cst + (static_cast<std::size_t>(q) * nspans + s) * k,
                  bez + (static_cast<std::size_t>(s) * nser + q) * k, rc);
    if (*rc != 0) break;
    const int np = nspans + k - 1;
    double *K = caller_array(static_cast<std::size_t>(np) + k);
    if (!K) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    *knots = K;
    for (int i = 0; i < k; ++i) K[i] = 0.0, K[np + i] = 1.0;
    for (int j = 1; j < nspans; ++j) K[k - 1 + j] = to_unit(breaks[j]);
    double *P = caller_array(static_cast<std::size_t>(np) * nser);
    if (!P) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    *poles = P;
    *num_poles = np;
    if (k == 3)
      BSbeztbsp3(nspans, nser, bez, P);
    else if (k == 4)
      BSbeztbsp4(nspans, nser, bez, breaks, P);
    else if (k == 5)
      BSbeztbsp5(nspans, nser, bez, breaks, P, rc);
    else
      assemble_general(k, nspans, nser, bez, K, np, P, rc);
    if (*rc == 0 && missed) *rc = BSRC_CONTINUITY_MISSED;
  } while (false);
  BSexit(rc, "BSlgdbspspn", "bslgdbspspn");
}

// ---------------------------------------------------------------------------------------------------------------
// Assembly

void BSlgdbspcm1(int k, int nspans, int nser, const double *pieces, const double *breaks, int *num_poles,
                 double **poles, double **knots, int *rc) {
  *rc = 0;
  do {
    if (!clear_outputs(num_poles, poles, knots, rc)) break;
    if (!pieces || !breaks) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (k < 2 || nser < 1 || !breaks_ok(nspans, breaks)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int np = (k - 1) * nspans + 1;
    double *P = caller_array(static_cast<std::size_t>(np) * nser);
    if (P) *poles = P;
    double *K = P ? caller_array(static_cast<std::size_t>(np) + k) : nullptr;
    if (!K) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    *knots = K;
    *num_poles = np;
    for (int q = 0; q < nser && *rc == 0; ++q) {
      double *row = P + static_cast<std::size_t>(q) * np;
      for (int j = 0; j < nspans && *rc == 0; ++j) {
        double *at = row + static_cast<std::size_t>(k - 1) * j;
        const double before = j > 0 ? at[0] : 0.0;
        BSlgdtbez(k - 1, pieces + (static_cast<std::size_t>(q) * nspans + j) * k, at, rc);
        if (j > 0) at[0] = (before + at[0]) / 2;
      }
    }
    int i = 0;
    K[i++] = to_unit(breaks[0]);
    for (int j = 0; j <= nspans; ++j)
      for (int r = 0; r < k - 1; ++r) K[i++] = to_unit(breaks[j]);
    K[i] = to_unit(breaks[nspans]);
  } while (false);
  BSexit(rc, "BSlgdbspcm1", "bslgdbspcm1");
}

// In the three below, B(j, i) is Bezier point i of span j of the series being assembled, and its poles are row q
// of the output (nspans + k - 1 poles per series).

void BSbeztbsp3(int nspans, int nser, const double *bez, double *poles) {
  const int np = nspans + 2;
  for (int q = 0; q < nser; ++q) {
    const auto B = [&](int j, int i) { return bez[(static_cast<std::size_t>(j) * nser + q) * 3 + i]; };
    double *out = poles + static_cast<std::size_t>(q) * np;
    out[0] = B(0, 0);
    for (int j = 0; j < nspans; ++j) out[1 + j] = B(j, 1);
    out[np - 1] = B(nspans - 1, 2);
  }
  BSfaulthook("bsbeztbsp3", nullptr);
}

void BSbeztbsp4(int nspans, int nser, const double *bez, const double *b, double *poles) {
  const int np = nspans + 3;
  for (int q = 0; q < nser; ++q) {
    const auto B = [&](int j, int i) { return bez[(static_cast<std::size_t>(j) * nser + q) * 4 + i]; };
    double *out = poles + static_cast<std::size_t>(q) * np;
    out[0] = B(0, 0);
    out[1] = B(0, 1);
    for (int j = 1; j < nspans; ++j)
      out[1 + j] = ((b[j + 1] - b[j - 1]) * B(j - 1, 2) - (b[j + 1] - b[j]) * B(j - 1, 1)) / (b[j] - b[j - 1]);
    out[np - 2] = B(nspans - 1, 2);
    out[np - 1] = B(nspans - 1, 3);
  }
  BSfaulthook("bsbeztbsp4", nullptr);
}

void BSbeztbsp5(int nspans, int nser, const double *bez, const double *b, double *poles, int *rc) {
  *rc = 0;
  const int N = nspans, np = N + 4;
  BSscratch<64> scratch;
  double *Q = N >= 3 ? scratch.take(static_cast<std::size_t>(N)) : nullptr;
  if (N >= 3 && !Q) {
    *rc = BSRC_NO_SCRATCH;
  } else {
    for (int q = 0; q < nser; ++q) {
      const auto P = [&](int j, int i) { return bez[(static_cast<std::size_t>(j) * nser + q) * 5 + i]; };
      double *out = poles + static_cast<std::size_t>(q) * np;
      if (N == 1) {
        for (int i = 0; i < 5; ++i) out[i] = P(0, i);
        continue;
      }
      out[0] = P(0, 0);
      out[1] = P(0, 1);
      out[2] = ((b[2] - b[0]) * P(0, 2) - (b[2] - b[1]) * P(0, 1)) / (b[1] - b[0]);
      if (N == 2) {
        out[3] = ((b[2] - b[0]) * P(1, 2) - (b[1] - b[0]) * P(1, 3)) / (b[2] - b[1]);
        out[4] = P(1, 3);
        out[5] = P(1, 4);
        continue;
      }
      for (int j = 1; j <= N - 1; ++j)
        Q[j - 1] = ((b[j + 1] - b[j - 1]) * P(j - 1, 3) - (b[j + 1] - b[j]) * P(j - 1, 2)) / (b[j] - b[j - 1]);
      out[3] = ((b[3] - b[0]) * Q[0] - (b[3] - b[1]) * out[2]) / (b[1] - b[0]);
      for (int i = 0; i <= N - 5; ++i) {
        const double Y = ((b[i + 3] - b[i]) * P(i + 1, 2) - (b[i + 3] - b[i + 2]) * Q[i]) / (b[i + 2] - b[i]);
        out[4 + i] = ((b[i + 4] - b[i + 1]) * Q[i + 1] - (b[i + 4] - b[i + 2]) * Y) / (b[i + 2] - b[i + 1]);
      }
      out[N + 3] = P(N - 1, 4);
      out[N + 2] = P(N - 1, 3);
      out[N + 1] = ((b[N - 2] - b[N]) * P(N - 1, 2) - (b[N - 2] - b[N - 1]) * P(N - 1, 3)) / (b[N - 1] - b[N]);
      out[N] = ((b[N - 3] - b[N]) * Q[N - 2] - (b[N - 3] - b[N - 1]) * out[N + 1]) / (b[N - 1] - b[N]);
    }
  }
  BSfaulthook("bsbeztbsp5", rc);
}
