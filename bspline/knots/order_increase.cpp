// Order increase of clamped splines on plain coordinate blocks. A single segment is raised by the Bernstein
// recurrence; a spline of several segments one order at a time as the average of k splines of the next order,
// variant j having the knots and poles of index j modulo k doubled, after which its remaining inner knot values
// are inserted once so that all variants share one knot vector. Each step is a sum of convex combinations of the
// poles, so the error does not grow with the order. The degree raising of curve records (BSupthedeg) reaches the
// same curve by polar forms; each is a check on the other.
#include "bspline/core/exit.h"
#include "bspline/knots.h"

#include <climits>
#include <cmath>
#include <cstring>

namespace {

bool finite_all(std::size_t count, const double *v) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// The number of distinct knot values less one (L) of a clamped knot vector that the variants can average: both
// ends of multiplicity exactly k, none inside above k, non-decreasing and finite; -1 otherwise.
int clamped_segments(int k, int dim, int np, const double *poles, const double *knots) {
  if (k < 2 || dim < 1 || np < k || static_cast<long long>(dim) * np > INT_MAX / 8) return -1;
  const std::size_t nk = static_cast<std::size_t>(np) + k;
  if (!finite_all(nk, knots) || !finite_all(static_cast<std::size_t>(dim) * np, poles)) return -1;
  int L = -1;
  for (std::size_t i = 0; i < nk;) {
    std::size_t j = i + 1;
    while (j < nk && knots[j] == knots[i]) ++j;
    if (j < nk && knots[j] < knots[i]) return -1;
    const std::size_t mult = j - i;
    const bool end = i == 0 || j == nk;
    if ((end && mult != static_cast<std::size_t>(k)) || mult > static_cast<std::size_t>(k)) return -1;
    ++L;
    i = j;
  }
  return L;
}

int check(int k, int dim, int np, const double *poles, const double *knots, int *L) {
  if (!poles || !knots) return BSRC_NULL_CURVE;
  *L = clamped_segments(k, dim, np, poles, knots);
  return *L < 1 ? BSRC_OUT_OF_RANGE : 0;
}

// Whether the knots i .. e-1 (one distinct value) hold an index of class j modulo k: at most one does, as no
// multiplicity exceeds k.
bool doubled_in(int j, int k, int i, int e) { return ((j - i) % k + k) % k < e - i; }

// One variant of the spline (order k -> k+1), added to sum (dim blocks of np + L). V and V2 hold dim (np + L)
// doubles, vk np + L + k + 1.
void add_variant(int k, int dim, int np, const double *knots, const double *poles, int j, double *V, double *V2,
                 double *vk, double *sum, std::size_t size) {
  int nv = np + (np - 1 - j) / k + 1;  // poles of index j modulo k appear twice
  for (int c = 0; c < dim; ++c) {
    const double *P = poles + static_cast<std::size_t>(c) * np;
    double *dst = V + static_cast<std::size_t>(c) * nv;
    for (int i = 0, w = 0; i < np; ++i) {
      dst[w++] = P[i];
      if (i % k == j) dst[w++] = P[i];
    }
  }
  const int nk = np + k;
  int nvk = 0;
  for (int i = 0; i < nk;) {
    int e = i + 1;
    while (e < nk && knots[e] == knots[i]) ++e;
    for (int r = 0; r < e - i + doubled_in(j, k, i, e); ++r) vk[nvk++] = knots[i];
    i = e;
  }
  // The inner values this variant did not double are inserted once, left to right.
  for (int i = k; i < np;) {
    int e = i + 1;
    while (knots[e] == knots[i]) ++e;
    if (!doubled_in(j, k, i, e)) {
      const double u = knots[i];
      int r = nvk - 1;
      while (vk[r] > u) --r;
      BSinsknot1(k + 1, dim, nv, V, vk, r, u, V2);
      std::memmove(vk + r + 2, vk + r + 1, sizeof(double) * (nvk - r - 1));
      vk[r + 1] = u;
      ++nvk;
      ++nv;
      double *swap = V;
      V = V2;
      V2 = swap;
    }
    i = e;
  }
  for (std::size_t x = 0; x < size; ++x) sum[x] += V[x];
}

std::size_t raise_work(int dim, int np, int k, int L) {
  return 2 * static_cast<std::size_t>(dim) * (np + L) + np + L + k + 1;
}

}  // namespace

void BSincordbz(int d, int dim, const double *in, int D, double *out) {
  if (d >= 0 && D >= d && dim >= 1) {
    for (int c = 0; c < dim; ++c) {
      const double *p = in + static_cast<std::size_t>(c) * (d + 1);
      double *q = out + static_cast<std::size_t>(c) * (D + 1);
      std::memmove(q, p, sizeof(double) * (d + 1));
      for (int i = d + 1; i <= D; ++i) q[i] = p[d];
      for (int r = d + 1; r <= D; ++r)
        for (int j = r - 1; j >= 1; --j) {
          const double a = static_cast<double>(j) / r;
          q[j] = a * q[j - 1] + (1.0 - a) * q[j];
        }
    }
  }
  BSfaulthook("bsincordbz", nullptr);
}

void BSinsknot1(int k, int dim, int np, const double *poles, const double *knots, int r, double t, double *out) {
  for (int c = 0; c < dim; ++c) {
    const double *P = poles + static_cast<std::size_t>(c) * np;
    double *Q = out + static_cast<std::size_t>(c) * (np + 1);
    for (int i = 0; i <= r + 1 - k; ++i) Q[i] = P[i];
    for (int i = r; i < np; ++i) Q[i + 1] = P[i];
    // The new pole sits at its Greville abscissa between those of its neighbours; the ratio of the abscissa
    // differences is taken from the knots themselves, not from differences of knot sums, which would cancel.
    for (int i = r + 2 - k; i <= r; ++i) {
      const double a = (t - knots[i]) / (knots[i + k - 1] - knots[i]);
      Q[i] = (1.0 - a) * P[i - 1] + a * P[i];
    }
  }
  BSfaulthook("bsinsknot1", nullptr);
}

void BSincord1(int k, int dim, int np, const double *knots, const double *poles, int *new_np, double *new_poles,
               double *new_knots, int *rc) {
  BSscratch<10> scratch;
  int L = 0;
  *rc = new_np && new_poles && new_knots ? check(k, dim, np, poles, knots, &L) : BSRC_NULL_CURVE;
  double *work = *rc == 0 ? scratch.take(raise_work(dim, np, k, L)) : nullptr;
  if (*rc == 0 && !work) *rc = BSRC_NO_SCRATCH;
  if (*rc == 0) {
    const int n = np + L;
    const std::size_t size = static_cast<std::size_t>(dim) * n;
    double *V = work, *V2 = V + size, *vk = V2 + size;
    for (std::size_t x = 0; x < size; ++x) new_poles[x] = 0.0;
    for (int j = 0; j < k; ++j) add_variant(k, dim, np, knots, poles, j, V, V2, vk, new_poles, size);
    for (std::size_t x = 0; x < size; ++x) new_poles[x] /= k;
    // The end poles are the curve's end points in every variant; the mean of k copies need not round back.
    for (int c = 0; c < dim; ++c) {
      new_poles[static_cast<std::size_t>(c) * n] = poles[static_cast<std::size_t>(c) * np];
      new_poles[static_cast<std::size_t>(c) * n + n - 1] = poles[static_cast<std::size_t>(c) * np + np - 1];
    }
    const int nk = np + k;
    for (int i = 0, w = 0; i < nk;) {
      int e = i + 1;
      while (e < nk && knots[e] == knots[i]) ++e;
      for (int r = 0; r <= e - i; ++r) new_knots[w++] = knots[i];
      i = e;
    }
    *new_np = n;
  }
  BSexit(rc, "BSincord1", "bsincord1");
}

void BSincord(int k, int dim, int np, const double *poles, const double *knots, int newk, int *new_np,
              double **new_poles, double **new_knots, int *rc) {
  *rc = 0;
  BSscratch<0> scratch;
  double *P = nullptr, *T = nullptr;
  do {
    if (!new_np || !new_poles || !new_knots) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *new_poles = *new_knots = nullptr;
    int L = 0;
    *rc = check(k, dim, np, poles, knots, &L);
    if (*rc == 0 && newk < k) *rc = BSRC_OUT_OF_RANGE;
    const int steps = newk - k;
    const long long final_np = np == k ? newk : np + static_cast<long long>(steps) * L;
    if (*rc == 0 && (final_np + newk) * (dim + 1) > INT_MAX / 8) *rc = BSRC_OUT_OF_RANGE;
    if (*rc != 0) break;
    const int n_out = static_cast<int>(final_np), nk_out = n_out + newk;
    P = static_cast<double *>(BSdbgmalloc(static_cast<int>(sizeof(double)) * dim * n_out));
    T = static_cast<double *>(BSdbgmalloc(static_cast<int>(sizeof(double)) * nk_out));
    if (!P || !T) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    if (np == k) {
      BSincordbz(k - 1, dim, poles, newk - 1, P);
      for (int i = 0; i < newk; ++i) T[i] = knots[0], T[newk + i] = knots[k];
    } else if (steps == 0) {
      std::memcpy(P, poles, sizeof(double) * dim * np);
      std::memcpy(T, knots, sizeof(double) * nk_out);
    } else {
      // Two step buffers of the final size; the last step writes the results.
      const std::size_t poles_room = static_cast<std::size_t>(dim) * n_out;
      double *buf = steps > 1 ? scratch.take(2 * (poles_room + nk_out)) : nullptr;
      if (steps > 1 && !buf) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      const double *from_poles = poles, *from_knots = knots;
      int n = np;
      for (int s = 0; s < steps && *rc == 0; ++s) {
        const bool last = s + 1 == steps;
        double *to_poles = last ? P : buf + (s % 2) * poles_room;
        double *to_knots = last ? T : buf + 2 * poles_room + (s % 2) * static_cast<std::size_t>(nk_out);
        BSincord1(k + s, dim, n, from_knots, from_poles, &n, to_poles, to_knots, rc);
        from_poles = to_poles;
        from_knots = to_knots;
      }
      if (*rc != 0) break;
    }
    *new_np = n_out;
    *new_poles = P;
    *new_knots = T;
    P = T = nullptr;
  } while (false);
  BSdbgfree(P);
  BSdbgfree(T);
  BSexit(rc, "BSincord", "bsincord");
}
