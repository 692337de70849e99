// Arc length and the parameter at a length, of any record. On a well-formed curve with positive weights: a
// length lies between the chord and the control polygon, the whole length agrees with the sum of its parts, and
// the parameter found for a distance measures back to that distance.
#include <algorithm>

#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

double length_between(VOQbsp_curve &cv, double p, double q, int *rc) {
  double len = -1;
  BSarclength(rc, &cv, &p, &q, &len);
  return len;
}

// The lengths of the polylines through 65 points of each non-empty span (each span's own: where a knot of full
// multiplicity breaks the curve, the jump is no part of its length).
double inscribed_length(const VOQbsp_curve &cv) {
  double total = 0;
  for (int s = cv.order - 1; s < cv.num_poles; ++s) {
    if (!(cv.knots[s] < cv.knots[s + 1])) continue;
    double prev[3];
    for (int i = 0; i <= 64; ++i) {
      double P[3];
      int rc = 0;
      BScveval0(&rc, cv.order, cv.poles, cv.rational ? cv.weights : nullptr, cv.knots, s,
                cv.knots[s] + (cv.knots[s + 1] - cv.knots[s]) * i / 64, P);
      if (i > 0)
        total += std::sqrt((P[0] - prev[0]) * (P[0] - prev[0]) + (P[1] - prev[1]) * (P[1] - prev[1]) +
                           (P[2] - prev[2]) * (P[2] - prev[2]));
      prev[0] = P[0], prev[1] = P[1], prev[2] = P[2];
    }
  }
  return total;
}

// True when k equal knots inside the range break the curve between lo and hi (either included): a chord across
// the break counts its jump, which is no part of the length.
bool breaks_between(const VOQbsp_curve &cv, double lo, double hi) {
  const int k = cv.order, n = cv.num_poles;
  for (int i = 1; i < n; ++i) {
    const double t = cv.knots[i];
    if (t == cv.knots[i + k - 1] && t > cv.knots[k - 1] && t < cv.knots[n] && t >= lo && t <= hi) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const auto c = fuzz::read_curve(in, 32);
  const bool sane = fuzz::well_formed(*c) && !c->cv.phy_closed;
  const bool valid_range = c->order() >= 1 && c->n() >= c->order();
  const double a = valid_range ? c->start() : 0, b = valid_range ? c->end() : 1;
  const double p = in.parameter(a, b), q = in.parameter(a, b), dist = in.number();
  BStraceclear();

  int rc = 0;
  const double part = length_between(c->cv, p, q, &rc);
  if (rc != 0 || !sane) {
    // Only that nothing breaks: the other routines on the same record.
    double len = 0, par = 0, total = 0;
    BSarclg3ds(&c->cv, 1e-6, &len, &rc);
    BSiarcln(&rc, &c->cv, &p, &dist, &q, &par);
    BSarclg4ds(&c->cv, 1e-6, &total, &rc);
    return 0;
  }
  // BSarclength measures to the absolute accuracy of tolerance entry 15 over the whole piece; the other
  // routines' answers are held to that accuracy, not to a finer one it never claims.
  const double scale = fuzz::scale_of(*c), tol = BStoltab[15] + 1e-6 * scale;
  FUZZ_CHECK(std::isfinite(part) && part >= 0);
  // A parameter past an end measures to that end: the chord is taken between the points actually measured.
  double P[3], Q[3];
  int prc = 0, qrc = 0;
  BScveval_n(&c->cv, std::clamp(p, a, b), 0, P, &prc);
  BScveval_n(&c->cv, std::clamp(q, a, b), 0, Q, &qrc);
  FUZZ_CHECK(prc == 0 && qrc == 0);
  const double chord = std::sqrt((P[0] - Q[0]) * (P[0] - Q[0]) + (P[1] - Q[1]) * (P[1] - Q[1]) +
                                 (P[2] - Q[2]) * (P[2] - Q[2]));
  if (!breaks_between(c->cv, std::min(p, q), std::max(p, q))) FUZZ_CHECK(part >= chord - tol);

  double polygon = 0;
  const int n = c->n();
  BScumdist(&rc, &n, c->cv.poles, c->cv.weights, &polygon);
  FUZZ_CHECK(rc == 0);
  const double whole = length_between(c->cv, a, b, &rc);
  FUZZ_CHECK(rc == 0 && whole <= polygon + tol && part <= whole + tol);
  double whole3 = 0;
  // The whole-curve routines: 4ds for rational curves, 3ds for polynomial ones.
  if (c->cv.rational)
    BSarclg4ds(&c->cv, 1e-9 * scale, &whole3, &rc);
  else
    BSarclg3ds(&c->cv, 1e-9 * scale, &whole3, &rc);
  if (rc == 0) FUZZ_CHECK(std::fabs(whole3 - whole) <= tol);
  // A polyline inscribed in the curve is never longer than it: dense enough in every span, it catches a length
  // that falls short where the quadrature missed a feature of the speed (both lengths above could miss alike).
  FUZZ_CHECK(whole >= inscribed_length(c->cv) - tol);

  // Walk dist (a fraction of what lies ahead when dist itself is out of reach) and measure back.
  if (std::isfinite(dist) && dist >= 0 && p < b) {
    const double ahead = length_between(c->cv, p, b, &rc);
    FUZZ_CHECK(rc == 0);
    const double want = dist <= ahead ? dist : ahead * (dist - std::floor(dist));
    double par = 0;
    BSiarcln(&rc, &c->cv, &p, &want, &b, &par);
    if (rc == 0) {
      FUZZ_CHECK(par >= p - 1e-12 * (b - a) && par <= b + 1e-12 * (b - a));
      // The search sums the lengths of the pieces it passes, each to the accuracy above, and the length
      // measured back has that accuracy again.
      FUZZ_CHECK(std::fabs(length_between(c->cv, p, par, &rc) - want) <= 3 * tol);
    }
  }
  return 0;
}
