// Degree raising of any record, through the curve routine and on plain clamped arrays. On a well-formed curve
// an answer of rc 0 keeps the shape; a refusal hands out nothing.
#include <algorithm>

#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const auto c = fuzz::read_curve(in, 40);
  const bool sane = fuzz::well_formed(*c);
  const double a = sane ? c->start() : 0, b = sane ? c->end() : 1;
  const int raise = static_cast<std::int8_t>(in.byte()) % 8;
  BStraceclear();
  const int blocks = BSdbgliveblocks();

  // BSupthedeg clamps the curve it is given: raise a copy so that the original stays the reference.
  TestCurve work(std::max(c->order(), 1), {}, c->knots);
  work.poles = c->poles;
  work.weights = c->weights;
  work.cv = c->cv;
  work.cv.poles = work.poles.data();
  work.cv.knots = work.knots.data();
  work.cv.weights = work.weights.empty() ? nullptr : work.weights.data();
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSupthedeg(&work.cv, static_cast<std::int16_t>(c->order() - 1 + raise), BSFALSE, &out, &rc);
  fuzz::HeapCurve raised(out);
  // Raising to the curve's own degree does nothing and hands out nothing.
  if (rc != 0 || raise == 0) FUZZ_CHECK(out == nullptr);
  if (rc == 0 && sane && raise > 0) {
    FUZZ_CHECK(raised->order == c->order() + raise);
    FUZZ_CHECK(fuzz::finite(raised->poles, 3 * static_cast<std::size_t>(raised->num_poles)));
    FUZZ_CHECK(fuzz::shape_gap(*raised, a, b, c->cv, a, b) <= 1e-8 * fuzz::scale_of(*c));
  }
  raised.reset();

  // The same raise on coordinate blocks of a non-rational curve.
  if (c->weights.empty() && c->order() >= 1) {
    const int n = c->n(), k = c->order();
    std::vector<double> blocks3(3 * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < 3; ++j) blocks3[j * n + i] = c->poles[3 * i + j];
    int np = 0;
    double *poles = nullptr, *knots = nullptr;
    BSincord(k, 3, n, blocks3.data(), c->knots.data(), k + raise, &np, &poles, &knots, &rc);
    if (rc != 0) FUZZ_CHECK(poles == nullptr && knots == nullptr);
    if (rc == 0 && sane) {
      FUZZ_CHECK(fuzz::finite(poles, 3 * static_cast<std::size_t>(np)));
      std::vector<double> rows(3 * static_cast<std::size_t>(np));
      for (int i = 0; i < np; ++i)
        for (int j = 0; j < 3; ++j) rows[3 * i + j] = poles[j * np + i];
      VOQbsp_curve r{};
      r.order = static_cast<std::int16_t>(k + raise);
      r.num_poles = np;
      r.num_knots = np + k + raise;
      r.poles = rows.data();
      r.knots = knots;
      FUZZ_CHECK(fuzz::shape_gap(r, a, b, c->cv, a, b) <= 1e-8 * fuzz::scale_of(*c));
    }
    BSdbgfree(poles);
    BSdbgfree(knots);
  }
  FUZZ_CHECK(BSdbgliveblocks() == blocks);
  return 0;
}
