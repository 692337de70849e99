// The offset of a composite curve in its own plane: the components carried into a frame whose z axis is the
// plane normal, degenerate ones dropped, offset and joined in one pass, carried back, and on request the loops of
// the joined offset found on one merged curve and cut out of the pieces. Positions along the chain are chain
// parameters: piece i covers [i, i + 1], each piece's knots on [0, 1].
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "bspline/core/exit.h"
#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::OwnedCurve;

const double kOrigin[3] = {0.0, 0.0, 0.0};
const double kUnitScale = 1.0;
const double kZ[3] = {0.0, 0.0, 1.0};

VOQbsp_curve *new_curve(int order, int num_poles, BSboolean rational, int *rc) {
  VOQbsp_curve *out = nullptr;
  BSallocvoqcv(static_cast<std::int16_t>(order), num_poles, rational, 0, &out, rc);
  return *rc == 0 ? out : nullptr;
}

VOQbsp_curve *copy_of(const VOQbsp_curve *cv, int *rc) {
  VOQbsp_curve *out = new_curve(cv->order, cv->num_poles, cv->rational, rc);
  if (out && !BScv_copy(rc, cv, out)) {
    int frc = 0;
    BSfreevoqcv(out, &frc);
    out = nullptr;
  }
  return out;
}

void release_all(std::vector<VOQbsp_curve *> *list) {
  for (VOQbsp_curve *&cv : *list)
    if (cv) {
      int frc = 0;
      BSfreevoqcv(cv, &frc);
      cv = nullptr;
    }
  list->clear();
}

// A piece of the chain with the tag of the piece it comes from.
struct Tagged {
  std::vector<VOQbsp_curve *> cv;
  std::vector<int> tag, from;  // from: the place among the offset's pieces of the one it comes from
  Tagged() = default;
  Tagged(const Tagged &) = delete;
  Tagged &operator=(const Tagged &) = delete;
  ~Tagged() { release_all(&cv); }
  void push(VOQbsp_curve *c, int t, int f) { cv.push_back(c), tag.push_back(t), from.push_back(f); }
};

// A merged stretch of the chain. A polynomial merge clears the weights pointer of the record it writes; the
// array stays the record's, kept here to be put back before the record is released or written again.
struct Merged {
  VOQbsp_curve *cv = nullptr;
  double *weights = nullptr;
  Merged() = default;
  Merged(const Merged &) = delete;
  Merged &operator=(const Merged &) = delete;
  ~Merged() {
    if (!cv) return;
    if (!cv->weights) cv->weights = weights;
    int frc = 0;
    BSfreevoqcv(cv, &frc);
  }
};

// pieces[lo, hi) (two at least) merged into out, of order kmax with room for poles[hi] - poles[lo] poles: each half
// merged first, so that a pole is copied and a curve tested for degeneracy about log m times rather than m times.
void merge_range(const std::vector<VOQbsp_curve *> &pieces, const std::vector<long> &poles, int lo, int hi, int kmax,
                 Merged *out, int *rc) {
  const int mid = (lo + hi) / 2;
  Merged halves[2];
  VOQbsp_curve *parts[2] = {pieces[lo], pieces[mid]};
  const int ends[2][2] = {{lo, mid}, {mid, hi}};
  for (int h = 0; h < 2 && *rc == 0; ++h)
    if (ends[h][1] - ends[h][0] > 1) {
      merge_range(pieces, poles, ends[h][0], ends[h][1], kmax, &halves[h], rc);
      if (*rc == 0 && !halves[h].cv->rational) halves[h].cv->weights = nullptr;
      parts[h] = halves[h].cv;
    }
  if (*rc != 0) return;
  out->cv = new_curve(kmax, static_cast<int>(poles[hi] - poles[lo]), BSTRUE, rc);
  if (*rc != 0) return;
  out->weights = out->cv->weights;
  const BSboolean closed[2] = {parts[0]->phy_closed, parts[1]->phy_closed};
  parts[0]->phy_closed = BSFALSE, parts[1]->phy_closed = BSFALSE;
  BSmergecvnn(parts[0], parts[1], out->cv, rc);
  parts[0]->phy_closed = closed[0], parts[1]->phy_closed = closed[1];
  if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
}

// A stretch of the chain as merge_range merges it, in plain arrays: the same numbers, without the records, the
// copies and the tests on the way that only the merge's rare cases need.
struct Run {
  std::int16_t order = 0;
  bool rational = false;
  int n = 0;
  std::vector<double> poles, weights, knots;  // weights empty unless rational

  // A record over the arrays, the flags as a merge leaves them.
  VOQbsp_curve view() {
    VOQbsp_curve v{};
    v.order = order, v.num_poles = n, v.num_knots = n + order, v.poles = poles.data(), v.knots = knots.data();
    v.rational = rational, v.weights = rational ? weights.data() : nullptr, v.non_uniform = 1;
    return v;
  }
  void take(const VOQbsp_curve &cv) {
    order = cv.order, rational = cv.rational != 0, n = cv.num_poles;
    poles.assign(cv.poles, cv.poles + 3 * static_cast<std::size_t>(n));
    knots.assign(cv.knots, cv.knots + n + order);
    if (rational) weights.assign(cv.weights, cv.weights + n);
    else weights.clear();
  }
  // Whether the end (at_end) or the start is clamped with exactly `order` equal knots, which the merge's
  // clamping leaves as it is.
  bool clamped(bool at_end) const {
    const int k = order;
    const double *t = knots.data() + (at_end ? n : 0);
    for (int i = 1; i < k; ++i)
      if (t[i] != t[0]) return false;
    return at_end ? t[-1] != t[0] : t[k] != t[0];
  }
};

double gap3(const double a[3], const double b[3]) {
  double s = 0;
  for (int c = 0; c < 3; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
  return std::sqrt(s);
}

// The end (at_end) or the start of a run as the merge evaluates it; false where it cannot be had.
bool run_end(Run &r, bool at_end, double p[3]) {
  const VOQbsp_curve v = r.view();
  int erc = 0;
  BScveval_n(&v, r.knots[at_end ? r.n : r.order - 1], 0, p, &erc);
  return erc == 0;
}

// r raised to order k, as the merge raises its copy of it; false where that fails. A polyline raised to order 3
// (each leg the quadratic through its middle, the corners' knots doubled) is written in place, number for number
// as the general raise writes it, without a record.
bool raise_run(Run &r, int k) {
  const int n = r.n;
  const std::vector<double> &t = r.knots;
  // Order 2, polynomial, clamped, its corners' knots single.
  bool polyline = k == 3 && r.order == 2 && !r.rational && n >= 2 && !bstest::slow_roads() && t[0] == t[1] &&
                  t[n] == t[n + 1];
  for (int i = 1; i < n && polyline; ++i) polyline = t[i] < t[i + 1];
  if (polyline) {
    r.poles.resize(3 * static_cast<std::size_t>(2 * n - 1));
    for (int i = n - 1; i >= 0; --i) {
      double *q = r.poles.data();
      for (int c = 0; c < 3; ++c) {
        if (i + 1 < n) q[3 * (2 * i + 1) + c] = 0.5 * q[3 * i + c] + 0.5 * q[3 * (i + 1) + c];
        q[3 * (2 * i) + c] = q[3 * i + c];
      }
    }
    r.knots.resize(static_cast<std::size_t>(2 * n + 2));
    for (int i = n; i >= 1; --i) {
      const double at = r.knots[i];
      r.knots[2 * i] = r.knots[2 * i - 1] = at;
    }
    r.knots[2 * n + 1] = r.knots[2 * n];
    r.knots[0] = r.knots[1];
    r.order = 3, r.n = 2 * n - 1;
    return true;
  }
  VOQbsp_curve v = r.view();
  VOQbsp_curve *c = nullptr;
  int erc = 0;
  BSallocvoqcv(v.order, v.num_poles, v.rational, 0, &c, &erc);
  if (erc == 0) BScv_copy(&erc, &v, c);
  if (erc == 0) BSupthedeg(c, static_cast<std::int16_t>(k - 1), BSFALSE, &c, &erc);
  if (erc == 0) r.take(*c);
  int frc = 0;
  if (c) BSfreevoqcv(c, &frc);
  return erc == 0;
}

// pieces[lo, hi) merged into out as merge_range merges them (without the planar flag, which only the whole chain's
// merge keeps); *closed as its join leaves the record's closure. False where the merge meets one of its rare cases
// (pieces turned round or not clamped, a failure on the way), which merge_range then takes. The halves at each depth
// of the merge are written into the same two runs of pool (two a depth, as deep as the merge goes), whose arrays
// keep their room from one merge to the next.
bool merge_run(const std::vector<VOQbsp_curve *> &pieces, int lo, int hi, Run *out, bool *closed,
               std::vector<Run> &pool, std::size_t depth = 0) {
  if (hi - lo == 1) {
    out->take(*pieces[lo]);
    *closed = false;
    return true;
  }
  const int mid = (lo + hi) / 2;
  Run &a = pool[2 * depth], &b = pool[2 * depth + 1];
  bool ignored = false;
  if (!merge_run(pieces, lo, mid, &a, &ignored, pool, depth + 1) ||
      !merge_run(pieces, mid, hi, &b, &ignored, pool, depth + 1))
    return false;
  const double tol = BStoltab[bstol::dist_tol];
  double e1[3], s2[3];
  // Any other way round, the pieces are turned first.
  if (!run_end(a, true, e1) || !run_end(b, false, s2) || !(gap3(e1, s2) <= tol)) return false;
  if (b.order < a.order ? !raise_run(b, a.order) : !b.clamped(false)) return false;
  if (a.order < b.order ? !raise_run(a, b.order) : !a.clamped(true)) return false;
  // The join itself, number for number.
  const int k = a.order, N = a.n + b.n - 1;
  const bool rational = a.rational || b.rational;
  Run &r = *out;
  r.order = static_cast<std::int16_t>(k), r.rational = rational, r.n = N;
  r.knots.resize(static_cast<std::size_t>(N + k));
  r.poles.resize(3 * static_cast<std::size_t>(N));
  r.weights.assign(rational ? static_cast<std::size_t>(N) : 0, 0.0);
  const VOQbsp_curve va = a.view(), vb = b.view();
  VOQbsp_curve vr = r.view();
  bsknots::join_at_joint(va, vb, false, &vr);
  *closed = false;
  double p0[3], p1[3];
  for (int c = 0; c < 3; ++c) {
    p0[c] = r.poles[c] / (rational ? r.weights[0] : 1.0);
    p1[c] = r.poles[3 * (N - 1) + c] / (rational ? r.weights[N - 1] : 1.0);
  }
  if (gap3(p0, p1) < tol) {
    // Ends that meet close the record unless a part of it has no extent.
    bool degenerate = false;
    for (Run *part : {&a, &b}) {
      const VOQbsp_curve v = part->view();
      int trc = 0;
      BSboolean too_small = BSFALSE;
      BStstcvdegn(&v, &too_small, &trc);
      if (too_small || trc != 0) degenerate = true;
    }
    if (!degenerate) {
      *closed = true;
      for (int c = 0; c < 3; ++c) {
        const double m = (p0[c] + p1[c]) / 2;
        r.poles[c] = rational ? m * r.weights[0] : m;
        r.poles[3 * (N - 1) + c] = rational ? m * r.weights[N - 1] : m;
      }
    }
  }
  return true;
}

// The merge of many pieces in plain arrays into out (allocated with room for `room` poles, rational) as
// merge_range makes it; false (nothing written) where the chain meets one of the merge's rare cases or has
// coordinates or weights the planarity test would refuse, which merge_range then decides.
bool merge_plain(const std::vector<VOQbsp_curve *> &pieces, long room, int kmax, Merged *out, int *rc) {
  if (bstest::slow_roads()) return false;
  for (const VOQbsp_curve *p : pieces) {
    if (p->periodic || BScvcheck(p) != 0) return false;
    for (int i = 0; i < 3 * p->num_poles; ++i)
      if (!(std::fabs(p->poles[i]) < 1e150)) return false;
    for (int i = 0; p->rational && i < p->num_poles; ++i)
      if (!(p->weights[i] > 1e-150 && p->weights[i] < 1e150)) return false;
  }
  Run r;
  bool closed = false;
  std::size_t depth = 1;
  while ((std::size_t{1} << depth) < pieces.size()) ++depth;
  std::vector<Run> pool(2 * depth + 2);
  if (!merge_run(pieces, 0, static_cast<int>(pieces.size()), &r, &closed, pool) || r.order != kmax) return false;
  int prc = 0, kind = 0;
  double vec[3];
  BSptlnplan(r.n, 0, r.poles.data(), r.rational ? r.weights.data() : nullptr, &kind, vec, &prc);
  if (prc != 0 && prc != BSRC_DEGENERATE) return false;
  out->cv = new_curve(kmax, static_cast<int>(room), BSTRUE, rc);
  if (*rc != 0) return true;
  VOQbsp_curve *cv = out->cv;
  out->weights = cv->weights;
  cv->order = r.order, cv->num_poles = r.n, cv->num_knots = r.n + r.order, cv->rational = r.rational;
  std::copy(r.poles.begin(), r.poles.end(), cv->poles);
  std::copy(r.knots.begin(), r.knots.end(), cv->knots);
  if (r.rational) std::copy(r.weights.begin(), r.weights.end(), cv->weights);
  else cv->weights = nullptr;
  cv->planar = prc == 0 && kind == BSKIND_PLANE ? 1 : 0;
  cv->phy_closed = closed ? 1 : 0;
  cv->periodic = 0, cv->non_uniform = 1, cv->num_boundaries = 0, cv->bdrys = nullptr;
  return true;
}

// The pieces merged into one new curve on [0, 1], each piece over an equal share (a copy for a single piece).
// A degenerate piece (a join that closed up to a point) is merged like the others: it keeps its share of the
// chain parameter, which the cuts rely on.
VOQbsp_curve *merge_chain(const std::vector<VOQbsp_curve *> &pieces, int *rc) {
  if (pieces.size() == 1) return copy_of(pieces[0], rc);
  int kmax = 0;
  for (const VOQbsp_curve *p : pieces) kmax = std::max<int>(kmax, p->order);
  // Raising a piece of order k by r adds at most r (n - k + 1) poles; poles[i] is the room for the first i.
  std::vector<long> poles{0};
  for (const VOQbsp_curve *p : pieces)
    poles.push_back(poles.back() + p->num_poles + static_cast<long>(kmax - p->order) * (p->num_poles + 1));
  if (poles.back() > 0x3FFFFFFF) {
    *rc = BSRC_NO_SCRATCH;
    return nullptr;
  }
  Merged all;
  const bool plain = merge_plain(pieces, poles.back(), kmax, &all, rc);
  if (!plain)
    merge_range(pieces, poles, 0, static_cast<int>(pieces.size()), kmax, &all, rc);
  if (*rc == 0) BSnorkts(rc, &all.cv->order, &all.cv->num_poles, all.cv->knots);
  if (*rc != 0) return nullptr;
  if (!all.cv->weights) all.cv->weights = all.weights;
  VOQbsp_curve *result = all.cv;
  all.cv = nullptr;
  return result;
}

// Whether each piece meets the next end to end (either way round) within dist_tol, as merging them needs. A chain
// left in pieces has no one curve to search for loops: it is handed back as it is, for the connection test to
// report its gaps, rather than lost to the merge's failure. FALSE also when an end cannot be evaluated (rc set).
bool pieces_meet(const std::vector<VOQbsp_curve *> &pieces, int *rc) {
  const double tol = BStoltab[bstol::dist_tol];
  const auto apart = [](const double a[3], const double b[3]) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
  };
  for (std::size_t k = 0; k + 1 < pieces.size() && *rc == 0; ++k) {
    const VOQbsp_curve *a = pieces[k], *b = pieces[k + 1];
    double s1[3], e1[3], s2[3], e2[3];
    BScveval_n(a, bsoffset::start_of(a), 0, s1, rc);
    if (*rc == 0) BScveval_n(a, bsoffset::end_of(a), 0, e1, rc);
    if (*rc == 0) BScveval_n(b, bsoffset::start_of(b), 0, s2, rc);
    if (*rc == 0) BScveval_n(b, bsoffset::end_of(b), 0, e2, rc);
    if (*rc == 0 && std::min({apart(e1, s2), apart(e2, s1), apart(e1, e2), apart(s1, s2)}) > tol) return false;
  }
  return *rc == 0;
}

// The part of pieces[i] between local parameters u and v, knots on [0, 1]; NULL when the part is empty.
VOQbsp_curve *part_of(const VOQbsp_curve *cv, double u, double v, int *rc) {
  const double a = bsoffset::start_of(cv), b = bsoffset::end_of(cv);
  if (!(v > u)) return nullptr;
  if (u <= a && v >= b) return copy_of(cv, rc);
  VOQbsp_curve *out = new_curve(cv->order, cv->num_poles + 2 * cv->order, cv->rational, rc);
  if (!out) return nullptr;
  const BSboolean no = BSFALSE;
  // A part shorter than its parameters' tolerances is one point, where two of the loops' cuts fall together (on a
  // tiny chain they can lie within the distance tolerance of each other): it has no curve, and fails nothing.
  bool point = false;
  const bool made = bsknots::active_split(rc, cv, &u, &v, out, &no, false, &point);
  if (made) BSnorkts(rc, &out->order, &out->num_poles, out->knots);
  else if (*rc == 0 && !point) *rc = BSRC_OUT_OF_RANGE;
  if (*rc != 0 || !made) {
    int frc = 0;
    BSfreevoqcv(out, &frc);
    out = nullptr;
  }
  return out;
}

// The stretch [s1, s2] of the chain appended to out, piece by piece, each part with its piece's tag and place.
void cut_stretch(const std::vector<VOQbsp_curve *> &pieces, const std::vector<int> &tags,
                 const std::vector<int> &from, double s1, double s2, Tagged *out, int *rc) {
  const int m = static_cast<int>(pieces.size());
  const int i1 = std::clamp(static_cast<int>(s1), 0, m - 1), i2 = std::clamp(static_cast<int>(s2), 0, m - 1);
  for (int i = i1; i <= i2 && *rc == 0; ++i) {
    const VOQbsp_curve *cv = pieces[i];
    const double a = bsoffset::start_of(cv), b = bsoffset::end_of(cv);
    const double u = i == i1 ? a + (s1 - i) * (b - a) : a, v = i == i2 ? a + (s2 - i) * (b - a) : b;
    VOQbsp_curve *part = part_of(cv, u, v, rc);
    if (part) out->push(part, tags[i], from[i]);
  }
}

// first then second, parts of one piece on each side of a removed loop, into one new curve, second's parameters
// running on from first's end. The knots at the joint are left as they are: moved to meet each other, they would
// reshape the spans on both sides of the joint.
VOQbsp_curve *join_parts(VOQbsp_curve *first, VOQbsp_curve *second, bool wrap, int *rc) {
  const int cap = first->num_poles + second->num_poles +
                  std::abs(first->order - second->order) * (std::max(first->num_poles, second->num_poles) + 1);
  VOQbsp_curve *out = new_curve(std::max(first->order, second->order), cap, BSTRUE, rc);
  if (!out) return nullptr;
  if (wrap) {
    BSmerge_cv(rc, first, second, out);
  } else {
    BSmergecvnn(first, second, out, rc);
    if (*rc == 0) BSnorkts(rc, &out->order, &out->num_poles, out->knots);
  }
  if (*rc != 0) {
    int frc = 0;
    BSfreevoqcv(out, &frc);
    out = nullptr;
  }
  return out;
}

// Loop curves beyond the caller's room for them (loops cut next to each other each take a part of the pieces
// they share): within one of a loop's stretches, where its curves follow each other, the join pieces that follow
// one another are made one curve, then a join piece one with the curve before it, then a join piece that starts
// its stretch one with the curve after it, as far as that makes them fit. A curve made of several carries the tag
// of the one piece of a component among them, else that of its first; no curve ever takes in two components'
// pieces. stretch_of tells each curve's stretch.
void fit_loops(std::size_t room, const std::vector<int> &stretch_of, Tagged *loops, std::vector<int> *sizes,
               int *rc) {
  const std::size_t n = loops->cv.size();
  if (n <= room) return;
  std::size_t count = n;
  // onto[k]: curve k is made one with curve k - 1.
  std::vector<char> onto(n, 0);
  const auto mates = [&](std::size_t k) { return stretch_of[k] >= 0 && stretch_of[k] == stretch_of[k - 1]; };
  const auto made = [&](std::size_t k) { return loops->tag[k] < 0; };
  // Whether the curve that k ends up in, k included, holds a component's piece.
  const auto has_leg = [&](std::size_t k) {
    for (std::size_t j = k;; --j) {
      if (!made(j)) return true;
      if (j == 0 || !onto[j]) return false;
    }
  };
  for (std::size_t k = 1; k < n && count > room; ++k)
    if (mates(k) && made(k) && made(k - 1)) onto[k] = 1, --count;
  for (std::size_t k = 1; k < n && count > room; ++k)
    if (mates(k) && made(k) && !onto[k]) onto[k] = 1, --count;
  for (std::size_t k = 1; k < n && count > room; ++k)
    if (mates(k) && !made(k) && made(k - 1) && !onto[k] && !has_leg(k - 1)) onto[k] = 1, --count;
  if (count == n) return;
  Tagged fit;
  std::size_t loop = 0, left = static_cast<std::size_t>(sizes->empty() ? 0 : (*sizes)[0]);
  std::vector<int> fit_sizes(sizes->size(), 0);
  for (std::size_t k = 0; k < n && *rc == 0; ++k) {
    while (left == 0 && loop + 1 < sizes->size()) left = static_cast<std::size_t>((*sizes)[++loop]);
    --left;
    if (!onto[k]) {
      fit.push(loops->cv[k], loops->tag[k], loops->from[k]);
      loops->cv[k] = nullptr;
      ++fit_sizes[loop];
      continue;
    }
    VOQbsp_curve *joined = join_parts(fit.cv.back(), loops->cv[k], false, rc);
    if (!joined) break;
    int frc = 0;
    BSfreevoqcv(fit.cv.back(), &frc);
    fit.cv.back() = joined;
    if (fit.tag.back() < 0 && !made(k)) fit.tag.back() = loops->tag[k], fit.from.back() = loops->from[k];
  }
  if (*rc != 0) return;
  release_all(&loops->cv);
  loops->cv.swap(fit.cv), loops->tag.swap(fit.tag), loops->from.swap(fit.from);
  *sizes = fit_sizes;
}

// Whether a closed chain's merged offset starts inside a loop: the segment from the first component's point
// just after its start to the offset's point just after its start meets the offset elsewhere than at its ends.
bool start_in_loop(const VOQbsp_curve *first_comp, VOQbsp_curve *merged, int *rc) {
  const double delta = 100.0 * std::max(BStoltab[bstol::knot_tol], 1e-6);
  double p[3], q[3];
  BScveval_n(first_comp, bsoffset::start_of(first_comp) + delta, 0, p, rc);
  if (*rc == 0) BScveval_n(merged, bsoffset::start_of(merged) + delta, 0, q, rc);
  if (*rc != 0) return false;
  int n_int = 0;
  double pts[9], w[3];
  if (!bsoffset::segment_crossings(p, q, merged, &n_int, pts, w, rc)) return false;
  // Exact comparisons: the intersection puts a crossing at an end on the end parameter itself.
  if (n_int > 2) return true;
  return n_int == 2 && !(w[0] == bsoffset::start_of(merged) && w[1] == bsoffset::end_of(merged));
}

struct SelfCrossings {
  int n_int = 0, n_over = 0;
  double *first = nullptr, *second = nullptr, *ofs = nullptr, *ofe = nullptr, *oss = nullptr, *ose = nullptr;
  ~SelfCrossings() {
    for (double *p : {first, second, ofs, ofe, oss, ose}) BSdbgfree(p);
  }
  void find(VOQbsp_curve *cv, int *rc) {
    BScv_slfint(rc, cv, &n_int, &first, &second, &n_over, &ofs, &ofe, &oss, &ose);
  }
  void scale(double f) {
    for (int i = 0; i < n_int; ++i) first[i] *= f, second[i] *= f;
    for (int i = 0; i < n_over; ++i) ofs[i] *= f, ofe[i] *= f, oss[i] *= f, ose[i] *= f;
  }
};

void scale_knots(VOQbsp_curve *cv, double f) {
  for (int k = 0; k < cv->num_poles + cv->order; ++k) cv->knots[k] *= f;
}

// Re-start of a closed chain between the two smallest crossing parameters; the pieces, their tags and places are
// rotated (the first piece split when the new start falls inside it). Nothing changes when the offset does not
// cross itself.
void restart(std::vector<VOQbsp_curve *> *pieces, std::vector<int> *tags, std::vector<int> *from,
             VOQbsp_curve **merged, int *rc) {
  const int m = static_cast<int>(pieces->size());
  SelfCrossings x;
  x.find(*merged, rc);
  if (*rc != 0 || x.n_int < 1) return;
  std::vector<double> keys;
  for (int i = 0; i < x.n_int; ++i) keys.push_back(x.first[i] * m), keys.push_back(x.second[i] * m);
  std::sort(keys.begin(), keys.end());
  const double s = 0.5 * (keys[0] + keys[1]);
  const int i = static_cast<int>(s);
  std::vector<VOQbsp_curve *> next;
  std::vector<int> next_tags, next_from;
  if (s > 0.0 && s < 1.0) {
    const VOQbsp_curve *cv = (*pieces)[0];
    VOQbsp_curve *head = part_of(cv, 0.0, s, rc);
    VOQbsp_curve *tail = *rc == 0 ? part_of(cv, s, 1.0, rc) : nullptr;
    if (*rc != 0 || !head || !tail) {
      int frc = 0;
      for (VOQbsp_curve *c : {head, tail})
        if (c) BSfreevoqcv(c, &frc);
      if (*rc == 0) *rc = BSRC_OUT_OF_RANGE;
      return;
    }
    next.push_back(tail), next_tags.push_back((*tags)[0]), next_from.push_back((*from)[0]);
    for (int k = 1; k < m; ++k)
      next.push_back((*pieces)[k]), next_tags.push_back((*tags)[k]), next_from.push_back((*from)[k]);
    next.push_back(head), next_tags.push_back((*tags)[0]), next_from.push_back((*from)[0]);
    int frc = 0;
    BSfreevoqcv((*pieces)[0], &frc);
  } else {
    if (m < 2) return;
    const int first = std::max(1, std::min(i, m - 1));
    for (int k = 0; k < m; ++k) {
      next.push_back((*pieces)[(first + k) % m]);
      next_tags.push_back((*tags)[(first + k) % m]);
      next_from.push_back((*from)[(first + k) % m]);
    }
  }
  *pieces = next, *tags = next_tags, *from = next_from;
  VOQbsp_curve *again = merge_chain(*pieces, rc);
  if (*rc != 0) return;
  int frc = 0;
  BSfreevoqcv(*merged, &frc);
  *merged = again;
  BSboolean deg_first = BSFALSE, deg_last = BSFALSE;
  BStstcvdegn(pieces->front(), &deg_first, rc);
  if (*rc == 0) BStstcvdegn(pieces->back(), &deg_last, rc);
  if (*rc == 0 && (deg_first || deg_last)) {
    double a[3], b[3];
    bsoffset::pole_point(again, 0, a), bsoffset::pole_point(again, again->num_poles - 1, b);
    const double d2 = (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
    if (d2 < BStoltab[bstol::dist_sqtol]) again->phy_closed = BSTRUE;
  }
}

// rc 47 when one of the n pieces ends apart from the next one's start. The pieces are handed back in chain order
// and with the chain's direction, so that pieces a chain could only be made of turned round or taken in another
// order leave gaps. The closing junction is not counted: only inner gaps leave the chain in pieces.
void report_gaps(int n, VOQbsp_curve **pieces, int *rc) {
  for (int i = 0; i + 1 < n && *rc == 0; ++i) {
    double e[3], s[3];
    BScveval_n(pieces[i], bsoffset::end_of(pieces[i]), 0, e, rc);
    if (*rc == 0) BScveval_n(pieces[i + 1], bsoffset::start_of(pieces[i + 1]), 0, s, rc);
    const double d2 = (e[0] - s[0]) * (e[0] - s[0]) + (e[1] - s[1]) * (e[1] - s[1]) + (e[2] - s[2]) * (e[2] - s[2]);
    if (*rc == 0 && !(d2 < BStoltab[bstol::dist_sqtol])) *rc = 47;
  }
}

// After a failure nothing made here stays with the caller: the pieces in the room and the loop curves handed
// over are released and the counts set to 0.
void release_handed(int room, VOQbsp_curve **pieces, int *num_pieces, int loop_curves_handed,
                    VOQbsp_curve **loop_curves, int *num_loops) {
  for (int k = 0; k < room; ++k)
    if (pieces[k]) {
      int frc = 0;
      BSfreevoqcv(pieces[k], &frc);
      pieces[k] = nullptr;
    }
  for (int k = 0; k < loop_curves_handed; ++k) {
    int frc = 0;
    BSfreevoqcv(loop_curves[k], &frc);
    loop_curves[k] = nullptr;
  }
  *num_pieces = 0, *num_loops = 0;
}

}  // namespace

void BScmpcvoffl(int n, const VOQbsp_curve *const *comps, BSboolean side, const double normal[3],
                 const double *dists, BSboolean single, const int *types, std::int16_t option,
                 std::int16_t loop_mode, BSboolean closed, int *num_pieces, VOQbsp_curve **pieces, int *tags,
                 int *num_loops, int *curves_per_loop, VOQbsp_curve **loop_curves, int *loop_tags, int *rc) {
  *rc = 0;
  if (!num_pieces || !pieces || !tags || !num_loops || !comps || !normal || !dists || !types) {
    *rc = BSRC_NULL_CURVE;
    BSexit(rc, "BScmpcvoffl", "bscmpcvoffl");
    return;
  }
  *num_pieces = 0, *num_loops = 0;
  const int room = n >= 1 ? 2 * n + 1 : 0;
  for (int i = 0; i < room; ++i) pieces[i] = nullptr;
  if (n < 2) *rc = BSRC_OUT_OF_RANGE;
  for (int i = 0; i < n && *rc == 0; ++i)
    if (!comps[i]) *rc = BSRC_NULL_CURVE;
  // A damaged component is refused before anything is copied from it: its counts size the copies.
  for (int i = 0; i < n && *rc == 0; ++i) *rc = BScvcheck(comps[i]);
  if (*rc == 0 && loop_mode == 1 && (!curves_per_loop || !loop_curves || !loop_tags)) *rc = BSRC_NULL_CURVE;
  if (*rc != 0) {
    BSexit(rc, "BScmpcvoffl", "bscmpcvoffl");
    return;
  }

  const double dist_tol = BStoltab[bstol::dist_tol];
  bool nothing = single ? dists[0] < dist_tol : true;
  for (int i = 0; !single && i < n; ++i) nothing = nothing && dists[i] <= dist_tol;
  if (nothing) {
    for (int i = 0; i < n && *rc == 0; ++i) pieces[i] = copy_of(comps[i], rc), tags[i] = i;
    if (*rc == 0) *num_pieces = n;
    // Copies of a chain with a gap are a chain with the same gap.
    if (*rc == 0) report_gaps(n, pieces, rc);
    if (*rc != 0 && *rc != 47) release_handed(room, pieces, num_pieces, 0, loop_curves, num_loops);
    BSexit(rc, "BScmpcvoffl", "bscmpcvoffl");
    return;
  }

  const int dir = side ? 1 : -1;
  double frame[9];
  const BSboolean flag1 = BSTRUE;
  std::vector<VOQbsp_curve *> local_comps(static_cast<std::size_t>(n), nullptr);
  std::vector<VOQbsp_curve *> local_out(static_cast<std::size_t>(room), nullptr), world;
  std::vector<int> local_tags(static_cast<std::size_t>(room), 0), order, all_types, piece_tags;
  std::vector<double> all_dists;
  VOQbsp_curve *merged = nullptr;
  BStrans2(normal, &flag1, frame, rc);

  // Local frame and degeneracy: the plane's z set aside for the test only.
  for (int i = 0; i < n && *rc == 0; ++i) {
    local_comps[i] = new_curve(comps[i]->order, comps[i]->num_poles, comps[i]->rational, rc);
    if (*rc == 0) BScvoton(rc, kOrigin, frame, &kUnitScale, comps[i], local_comps[i]);
    if (*rc != 0) break;
    BSboolean degenerate = BSFALSE;
    {
      bsoffset::FlatZ flat;
      if (!flat.flatten(local_comps[i])) *rc = BSRC_NO_SCRATCH;
      // A component whose ends lie far apart has nothing for the degeneracy test to find.
      if (*rc == 0 && (bstest::slow_roads() || !bsknots::clamped_extent(*local_comps[i])))
        BStstcvdegn(local_comps[i], &degenerate, rc);
    }
    if (*rc == 0 && !degenerate) order.push_back(i);
  }
  // The closing joint is made at the corner where the last component ends, turning onto the first one's start.
  // A seam gap within the offset tolerance is closed over, as the offset itself may stray by as much; across a
  // wider one there is no such corner, and the last offset would be bridged onto the first by a piece that runs
  // anywhere, near the chain too. Such a chain is offset as the open chain it is.
  if (*rc == 0 && closed && !order.empty()) {
    double s[3], e[3];
    const VOQbsp_curve *first = local_comps[order.front()], *last = local_comps[order.back()];
    BScveval_n(first, bsoffset::start_of(first), 0, s, rc);
    if (*rc == 0) BScveval_n(last, bsoffset::end_of(last), 0, e, rc);
    const double d2 = (s[0] - e[0]) * (s[0] - e[0]) + (s[1] - e[1]) * (s[1] - e[1]) + (s[2] - e[2]) * (s[2] - e[2]);
    const double tol = BStoltab[bstol::offset_tol];
    if (*rc == 0 && !(d2 <= tol * tol)) closed = BSFALSE;
  }
  for (int i = 0; i < n; ++i) {
    all_types.push_back(single ? types[0] : types[i]);
    all_dists.push_back(single ? dists[0] : dists[i]);
  }

  // The one-pass offset numbers the working list from 0; its component tags are mapped back to input positions.
  int m = 0;
  std::vector<const VOQbsp_curve *> working;
  if (*rc == 0) {
    std::vector<int> work_types, work_order;
    std::vector<double> work_dists;
    for (int i : order) {
      work_order.push_back(static_cast<int>(working.size()));
      working.push_back(local_comps[i]), work_types.push_back(all_types[i]), work_dists.push_back(all_dists[i]);
    }
    BScmpcvoff1(static_cast<int>(working.size()), working.data(), work_types.data(), work_order.data(), dir, kZ,
                work_dists.data(), option, closed, &m, local_out.data(), local_tags.data(), rc);
    for (int i = 0; i < m; ++i)
      if (local_tags[i] >= 0 && local_tags[i] < static_cast<int>(order.size())) local_tags[i] = order[local_tags[i]];
  }
  // The offset's pieces carried back, each with its place among them (from), which a re-start turns round.
  std::vector<int> from;
  // Each piece's record is carried back where it lies, as a copy would be carried: its poles mapped, its
  // boundaries left behind. A record of ours need not be copied to be handed on.
  const auto carry_back = [&] {
    for (int i = 0; i < m && *rc == 0; ++i) {
      VOQbsp_curve *w = local_out[i];
      if (bstest::slow_roads()) {
        w = new_curve(local_out[i]->order, local_out[i]->num_poles, local_out[i]->rational, rc);
        if (*rc == 0) BScvntoo(rc, kOrigin, frame, &kUnitScale, local_out[i], w);
      } else {
        local_out[i] = nullptr;
        w->num_boundaries = 0, w->bdrys = nullptr;
        BSptsnwtold(kOrigin, frame, kUnitScale, w->num_poles, w->rational, w->poles, w->weights, w->poles, rc);
      }
      if (w) world.push_back(w), piece_tags.push_back(local_tags[i]), from.push_back(i);
      if (*rc == 0) BSnorkts(rc, &w->order, &w->num_poles, w->knots);
    }
    release_all(&local_out);
  };
  carry_back();
  // The tags about each piece as the joins made them.
  std::vector<int> raw_tags = piece_tags;

  Tagged result, loops;
  std::vector<int> loop_sizes;
  bool searched = false;
  const auto cut_loops = [&] {
    if (*rc == 0 && (loop_mode == 1 || loop_mode == 2) && !world.empty() && pieces_meet(world, rc)) {
      merged = merge_chain(world, rc);
      if (*rc == 0 && closed && start_in_loop(comps[order.empty() ? 0 : order[0]], merged, rc) &&
          !(single && dists[0] == 0.0))
        restart(&world, &piece_tags, &from, &merged, rc);
      SelfCrossings x;
      if (*rc == 0) x.find(merged, rc);
      // A crossing (or a run of overlap) whose stretch between its parameters stays within a few dist_tol of it
      // closes no loop: where a leg gives way about where its neighbours' offsets cross, three offsets nearly meet
      // in one point, and the pieces on either side of the short one between them touch across it. Cut there, the
      // offset falls apart by that piece's length. Each knot span's part of the stretch is asked at its ends, its
      // middle and its quarters; the first point far off ends the test.
      const auto small = [&](double a, double b) {
        double at[3];
        BScveval_n(merged, a, 0, at, rc);
        bool near = *rc == 0;
        const double *knots = merged->knots, *last = knots + merged->num_poles + 1;
        for (const double *k = std::upper_bound(knots + merged->order - 1, last, a); near && k < last; ++k) {
          const double lo = std::max(a, k[-1]), hi = std::min(b, k[0]);
          for (int i = 0; near && i <= 4 && hi > lo; ++i) {
            double p[3];
            BScveval_n(merged, lo + (hi - lo) * i / 4, 0, p, rc);
            near = *rc == 0 && gap3(p, at) <= 10 * dist_tol;
          }
          if (!(k[0] < b)) break;
        }
        return near;
      };
      int kept = 0;
      for (int k = 0; *rc == 0 && k < x.n_int; ++k)
        if (!small(std::min(x.first[k], x.second[k]), std::max(x.first[k], x.second[k])))
          x.first[kept] = x.first[k], x.second[kept] = x.second[k], ++kept;
      if (*rc == 0) x.n_int = kept, kept = 0;
      for (int k = 0; *rc == 0 && k < x.n_over; ++k)
        if (!small(std::min({x.ofs[k], x.ofe[k], x.oss[k], x.ose[k]}),
                   std::max({x.ofs[k], x.ofe[k], x.oss[k], x.ose[k]})))
          x.ofs[kept] = x.ofs[k], x.ofe[kept] = x.ofe[k], x.oss[kept] = x.oss[k], x.ose[kept] = x.ose[k], ++kept;
      if (*rc == 0) x.n_over = kept;
      if (*rc == 0 && (x.n_int > 0 || x.n_over > 0)) {
        searched = true;
        const double u0 = bsoffset::start_of(merged), u1 = bsoffset::end_of(merged);
        if (x.n_int > 0 && ((x.first[0] == u0 && x.second[0] != u1 && merged->phy_closed) ||
                            (x.first[0] != u0 && x.second[0] == u1))) {
          for (int k = 1; k < x.n_int; ++k) x.first[k - 1] = x.first[k], x.second[k - 1] = x.second[k];
          --x.n_int;
        }
        const double mm = static_cast<double>(world.size());
        scale_knots(merged, mm);
        x.scale(mm);
        int n_outer = 0, n_inner = 0;
        double *outer = nullptr, *inner = nullptr;
        std::int32_t *kinds = nullptr;
        BSpreploop(rc, merged, &x.n_int, x.first, x.second, &x.n_over, x.ofs, x.ofe, x.oss, x.ose, &n_outer, &outer,
                   &n_inner, &kinds, &inner);
        // Loops, each as its one or two stretches. A loop whose stretches are too short to cut leaves no curve, and
        // is no loop to hand back: counted, it would also need a count slot beyond its curves' room.
        // The loops' parameters are packed: two for a loop of kind 2, four for one of kind 4.
        const double *p = inner;
        std::vector<int> stretch_of(loops.cv.size(), -1);
        const auto cut = [&](double s1, double s2) {
          cut_stretch(world, piece_tags, from, s1, s2, &loops, rc);
          stretch_of.resize(loops.cv.size(), static_cast<int>(stretch_of.size()));
        };
        for (int k = 0; k < n_inner && *rc == 0 && loop_mode == 1; p += kinds[k] == 4 ? 4 : 2, ++k) {
          const std::size_t before = loops.cv.size();
          cut(p[0], p[1]);
          if (*rc == 0 && kinds[k] == 4) cut(p[2], p[3]);
          if (loops.cv.size() > before) loop_sizes.push_back(static_cast<int>(loops.cv.size() - before));
        }
        if (*rc == 0 && loop_mode == 1) fit_loops(static_cast<std::size_t>(room), stretch_of, &loops, &loop_sizes, rc);
        // What lies outside the outer intervals; parts of one piece on both sides of a loop joined.
        std::vector<double> ends{0.0};
        for (int k = 0; k < n_outer; ++k) ends.push_back(outer[2 * k]), ends.push_back(outer[2 * k + 1]);
        ends.push_back(mm);
        std::size_t head_count = 0;
        for (std::size_t k = 0; k + 1 < ends.size() && *rc == 0; k += 2) {
          Tagged part;
          cut_stretch(world, piece_tags, from, ends[k], ends[k + 1], &part, rc);
          if (k == 0) head_count = part.cv.size();
          for (std::size_t j = 0; j < part.cv.size() && *rc == 0; ++j) {
            const bool same_piece = j == 0 && k > 0 && !result.cv.empty() && result.tag.back() == part.tag[j] &&
                                    std::clamp(static_cast<int>(ends[k - 1]), 0, static_cast<int>(world.size()) - 1) ==
                                        std::clamp(static_cast<int>(ends[k]), 0, static_cast<int>(world.size()) - 1) &&
                                    ends[k - 1] > std::floor(ends[k - 1]) && ends[k] > std::floor(ends[k]);
            // Parts whose ends the loop's cut left apart stay apart, as the same legs' pieces given apart would: the
            // offset falls apart there, and the gap is reported.
            VOQbsp_curve *joined = same_piece ? join_parts(result.cv.back(), part.cv[j], false, rc) : nullptr;
            if (same_piece && *rc == BSRC_NOT_JOINED) *rc = 0;
            if (joined) {
              int frc = 0;
              BSfreevoqcv(result.cv.back(), &frc);
              result.cv.back() = joined;
            } else if (*rc == 0) {
              result.push(part.cv[j], part.tag[j], part.from[j]);
              part.cv[j] = nullptr;
            }
          }
        }
        // A closed chain whose remaining stretch runs over its start: the part before the start joined to the part
        // after it when both come from the same piece (a single piece, or the two halves of a re-started one).
        if (*rc == 0 && closed && n_outer > 0 && ends[1] > 0.0 && ends[ends.size() - 2] < mm && head_count > 0 &&
            result.cv.size() > head_count && result.tag.front() == result.tag.back() &&
            (world.size() == 1 || static_cast<int>(world.size()) == m + 1)) {
          VOQbsp_curve *joined = join_parts(result.cv.back(), result.cv.front(), true, rc);
          if (joined) {
            int frc = 0;
            BSfreevoqcv(result.cv.back(), &frc);
            BSfreevoqcv(result.cv.front(), &frc);
            result.cv.back() = joined;
            result.cv.erase(result.cv.begin());
            result.tag.erase(result.tag.begin());
            result.from.erase(result.from.begin());
          }
        }
        for (void *p : {static_cast<void *>(outer), static_cast<void *>(inner), static_cast<void *>(kinds)})
          BSdbgfree(p);
      }
    }
    if (merged) {
      int frc = 0;
      BSfreevoqcv(merged, &frc);
      merged = nullptr;
    }
  };
  cut_loops();
  // A join's piece lies about its corner, between the offsets of the corner's two legs, and was judged there; the
  // cuts can leave it between pieces of other legs (the loop between them gone), where it is judged again, as the
  // pieces about it now tell its legs. A chain of ordinary components whose offset then comes nearer to the chain
  // than the distance is cleared whole, as where the joins' pieces do before the loops are cut.
  bool ordinary = !order.empty();
  for (int i : order) ordinary = ordinary && all_types[i] == BSCMP_ORDINARY;
  if (*rc == 0 && searched && ordinary) {
    const int kept = static_cast<int>(result.cv.size());
    const auto legs_of = [](int tag) { return tag >= 0 ? tag : -1; };
    const auto tag_at = [](const std::vector<int> &tags, int k) {
      return k >= 0 && k < static_cast<int>(tags.size()) ? tags[k] : -1;
    };
    std::vector<char> judge(static_cast<std::size_t>(kept), 0);
    bool any = false;
    for (int k = 0; k < kept; ++k) {
      const int f = result.from[k];
      judge[k] = result.tag[k] < 0 && (legs_of(tag_at(result.tag, k - 1)) != legs_of(tag_at(raw_tags, f - 1)) ||
                                       legs_of(tag_at(result.tag, k + 1)) != legs_of(tag_at(raw_tags, f + 1)));
      any = any || judge[k];
    }
    std::vector<VOQbsp_curve *> left;
    for (int k = 0; k < kept && any && *rc == 0; ++k) {
      const VOQbsp_curve *w = result.cv[k];
      VOQbsp_curve *lc = new_curve(w->order, w->num_poles, w->rational, rc);
      if (lc) left.push_back(lc);
      if (*rc == 0) BScvoton(rc, kOrigin, frame, &kUnitScale, w, lc);
    }
    int again = 0;
    local_out.assign(static_cast<std::size_t>(room), nullptr), local_tags.assign(static_cast<std::size_t>(room), 0);
    if (any && *rc == 0 &&
        bsoffset::clear_astray(static_cast<int>(working.size()), working.data(), order.data(), dir, kZ,
                               all_dists.data(), option, closed, kept, left.data(), result.tag.data(), judge.data(),
                               &again, local_out.data(), local_tags.data(), rc)) {
      for (Tagged *t : {&result, &loops}) release_all(&t->cv), t->tag.clear(), t->from.clear();
      loop_sizes.clear(), searched = false;
      release_all(&world);
      piece_tags.clear(), from.clear();
      m = again;
      carry_back();
      raw_tags = piece_tags;
      cut_loops();
    }
    release_all(&left);
    release_all(&local_out);
  }
  release_all(&local_comps);

  // Hand over: the loop search's pieces, or the world pieces themselves.
  int loop_curves_handed = 0;
  if (*rc == 0) {
    Tagged &src = result;
    if (!searched) {
      src.cv = world, src.tag = piece_tags;
      world.clear();
    }
    if (static_cast<int>(src.cv.size()) > room || static_cast<int>(loops.cv.size()) > room) *rc = BSRC_OUT_OF_RANGE;
    for (std::size_t k = 0; k < src.cv.size() && *rc == 0; ++k) {
      pieces[k] = src.cv[k], tags[k] = src.tag[k];
      BSnorkts(rc, &pieces[k]->order, &pieces[k]->num_poles, pieces[k]->knots);
      src.cv[k] = nullptr;
    }
    if (*rc == 0) *num_pieces = static_cast<int>(src.cv.size());
    if (*rc == 0 && loop_mode == 1) {
      for (std::size_t k = 0; k < loop_sizes.size(); ++k) curves_per_loop[k] = loop_sizes[k];
      for (std::size_t k = 0; k < loops.cv.size(); ++k) loop_curves[k] = loops.cv[k], loop_tags[k] = loops.tag[k];
      loop_curves_handed = static_cast<int>(loops.cv.size());
      loops.cv.clear();
      *num_loops = static_cast<int>(loop_sizes.size());
    }
  }
  release_all(&world);

  if (*rc == 0) report_gaps(*num_pieces, pieces, rc);
  if (*rc != 0 && *rc != 47) release_handed(room, pieces, num_pieces, loop_curves_handed, loop_curves, num_loops);
  BSexit(rc, "BScmpcvoffl", "bscmpcvoffl");
}
