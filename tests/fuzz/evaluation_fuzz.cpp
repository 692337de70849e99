// Curve evaluation of any record: a point, derivatives and parameter arrays. A well-formed curve's point
// agrees with the plain Cox-de Boor definition on the span that ends at the parameter; an answer of rc 0 on
// finite input is finite.
#include <algorithm>

#include "bspline/core/test_support.h"
#include "bspline/measure.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const auto c = fuzz::read_curve(in);
  const bool sane = fuzz::well_formed(*c);
  const bool finite_input = BScvcheck(&c->cv) == 0;
  const bool valid_range = c->order() >= 1 && c->n() >= c->order();
  const double a = valid_range ? c->start() : 0, b = valid_range ? c->end() : 1;
  const int nder = in.byte() % 5;
  double u[4];
  for (double &x : u) x = in.parameter(a, b);
  BStraceclear();

  double out[3 * 5];
  int rc = 0;
  BScveval_n(&c->cv, u[0], nder, out, &rc);
  if (rc == 0 && finite_input) FUZZ_CHECK(fuzz::finite(out, 3 * (nder + 1)));
  if (sane && std::isfinite(u[0]) && u[0] >= a && u[0] <= b) {
    FUZZ_CHECK(rc == 0);
    FUZZ_CHECK(fuzz::finite(out, 3 * (nder + 1)));
    double ref[3];
    ref_point(*c, u[0], ref, /*from_left=*/true);
    const double tol = 1e-9 * fuzz::scale_of(*c);
    for (int j = 0; j < 3; ++j) FUZZ_CHECK(std::fabs(out[j] - ref[j]) <= tol);
  }

  // The same points over an ascending parameter array. Its walk takes for the first parameter the span that starts
  // at its knot, and keeps it for repeats of that parameter; a later knot is met by the span that ends there, as
  // BScveval_n takes it. At an inner knot of full multiplicity those two spans are pieces that need not meet, so
  // the rows of the first parameter there are held to the definition's point, from the right.
  std::sort(u, u + 4, [](double x, double y) { return x < y || (std::isnan(y) && !std::isnan(x)); });
  const bool first_at_jump = u[0] > a && u[0] < b && std::count(c->knots.begin(), c->knots.end(), u[0]) >= c->order();
  double rows[4 * 3 * 5];
  rc = 0;
  BScvarreval(&rc, &c->cv, u, 4, nder, rows);
  if (rc == 0 && finite_input)
    for (int i = 0; i < 4; ++i) FUZZ_CHECK(fuzz::finite(rows + 3 * (nder + 1) * i, 3 * (nder + 1)));
  if (rc == 0 && sane) {
    for (int i = 0; i < 4; ++i) {
      double p[3];
      int prc = 0;
      BScveval_n(&c->cv, u[i], 0, p, &prc);
      FUZZ_CHECK(prc == 0);
      if (first_at_jump && u[i] == u[0]) ref_point(*c, u[0], p);
      for (int j = 0; j < 3; ++j)
        FUZZ_CHECK(std::fabs(p[j] - rows[3 * (nder + 1) * i + j]) <= 1e-9 * fuzz::scale_of(*c));
    }
  }
  return 0;
}
