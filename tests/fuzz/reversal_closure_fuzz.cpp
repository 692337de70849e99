// Reversal, closure and parameter rescaling of any record. On a well-formed curve: the reversed curve runs the
// same points backwards, the closed one ends where it starts, the rescaled one is the same curve on [lo, hi].
#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// A second record over its own copies of c's arrays.
struct Copy {
  std::vector<double> poles, knots, weights;
  VOQbsp_curve cv;
  explicit Copy(const TestCurve &c) : poles(c.poles), knots(c.knots), weights(c.weights), cv(c.cv) {
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.weights = weights.empty() ? nullptr : weights.data();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const auto c = fuzz::read_curve(in);
  const bool sane = fuzz::well_formed(*c);
  const double a = sane ? c->start() : 0, b = sane ? c->end() : 1;
  const double lo = in.number(), hi = in.number();
  BStraceclear();
  const double tol = 1e-9 * fuzz::scale_of(*c);

  Copy rev(*c);
  int rc = 0;
  BSrev_cv(&rc, &rev.cv);
  if (rc == 0 && sane) FUZZ_CHECK(fuzz::shape_gap(rev.cv, a, b, c->cv, b, a) <= tol);

  Copy closed(*c);
  BScvsetclsd(&closed.cv, &rc);
  if (rc == 0 && sane && c->cv.phy_closed) {
    double p[3], q[3];
    int prc = 0, qrc = 0;
    BScveval_n(&closed.cv, fuzz::range_start(closed.cv), 0, p, &prc);
    BScveval_n(&closed.cv, fuzz::range_end(closed.cv), 0, q, &qrc);
    FUZZ_CHECK(prc == 0 && qrc == 0);
    for (int j = 0; j < 3; ++j) FUZZ_CHECK(std::fabs(p[j] - q[j]) <= tol);
  }

  fuzz::RoomCurve out(std::max(c->n(), 1), std::max(c->order(), 1), c->cv.rational);
  BSreparmcv(&c->cv, lo, hi, &out.cv, &rc);
  if (rc == 0 && sane && std::isfinite(lo) && std::isfinite(hi) && std::fabs(hi - lo) > 1e-3 &&
      std::fabs(lo) < 1e6 && std::fabs(hi) < 1e6) {
    FUZZ_CHECK(fuzz::finite(out.cv.knots, static_cast<std::size_t>(c->n() + c->order())));
    FUZZ_CHECK(fuzz::shape_gap(out.cv, lo, hi, c->cv, a, b) <= tol);
  }
  return 0;
}
