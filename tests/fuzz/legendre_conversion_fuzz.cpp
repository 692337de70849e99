// Polynomial spans in Legendre form to B-splines within a tolerance, and B-spline curves of any record to the
// composite Legendre form and back. On finite input an answer of rc 0 is the same curve: a span's B-spline within
// the tolerance of the series at every sample (a piecewise fit joined with continuity 0 may miss it up to three
// times), the composite form at every parameter exactly the curve (within rounding), and the B-spline made back
// from it the same shape within the tolerance. What the caller owns is released, nothing else leaks.
#include "bspline/core/test_support.h"
#include "bspline/legendre.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

// A curve record over B-spline arrays whose poles come in coordinate blocks (weights last when rational).
std::unique_ptr<TestCurve> from_blocks(int order, int n, int dim, bool rational, const double *poles,
                                       const double *knots) {
  std::vector<double> p(3 * static_cast<std::size_t>(n), 0.0), w, k(knots, knots + n + order);
  for (int i = 0; i < n; ++i) {
    const double wt = rational ? poles[dim * n + i] : 1;
    for (int j = 0; j < dim; ++j) p[3 * i + j] = poles[j * n + i] / wt;
    if (rational) w.push_back(wt);
  }
  return std::make_unique<TestCurve>(order, p, k, w);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  BStraceclear();
  const fuzz::BlockCount blocks;
  if (!(opts & 1)) {
    // One span of degree n in three coordinates to a B-spline of order k.
    const int n = static_cast<std::int8_t>(in.byte()) % 40, k = static_cast<std::int8_t>(in.byte()) % 24;
    const int cont = (opts & 2) ? -1 : 1;
    const double tol = in.number();
    std::vector<double> coef(3 * static_cast<std::size_t>(std::max(n + 1, 0)));
    for (double &x : coef) x = in.number();
    bool moderate = fuzz::finite(coef.data(), coef.size());
    double size_c = 0;
    for (double x : coef) moderate = moderate && std::fabs(x) <= 1e4, size_c += std::fabs(x);
    // A finite span many orders above its tolerance takes thousands of pieces (the march stops at 9999): a
    // second of work that says nothing new. Damaged input still goes in.
    const bool worth = !fuzz::finite(coef.data(), coef.size()) || !std::isfinite(tol) ||
                       (moderate && std::fabs(tol) >= 1e-9 * (size_c + 1));
    int num = -1, rc = 0;
    double *poles = nullptr, *knots = nullptr;
    if (worth) BSlgdbspl1(n, 3, coef.data(), k, cont, tol, &num, &poles, &knots, &rc);
    const fuzz::HeapArray<double> own_poles(poles), own_knots(knots);
    if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "span: rc %d, %d poles\n", rc, num);
    if (worth && rc == 0 && moderate && n >= 0 && std::isfinite(tol) && tol >= 1e-9 * (size_c + 1)) {
      FUZZ_CHECK(num >= 1 && poles && knots);
      const int order = std::min(num, k);
      const auto c = from_blocks(order, num, 3, false, poles, knots);
      FUZZ_CHECK(fuzz::finite(c->poles.data(), c->poles.size()) && c->start() == 0 && c->end() == 1);
      if (std::getenv("FUZZ_DUMP"))
        for (int s = 0; s <= 256; ++s) {
          const double t = -1 + 2.0 * s / 256;
          double x[3], want[3];
          for (int j = 0; j < 3; ++j) want[j] = fuzz::legendre_value(n, &coef[j * (n + 1)], t);
          if (fuzz::point_at(c->cv, (t + 1) / 2, x))
            std::fprintf(stderr, "  at %.17g: %.17g off (tol %.17g, size %.17g)\n", t, fuzz::dist3(x, want), tol, size_c);
        }
      for (int s = 0; s <= 32; ++s) {
        const double t = -1 + 2.0 * s / 32;
        double x[3], want[3];
        for (int j = 0; j < 3; ++j) want[j] = fuzz::legendre_value(n, &coef[j * (n + 1)], t);
        FUZZ_CHECK(fuzz::point_at(c->cv, (t + 1) / 2, x));
        FUZZ_CHECK(fuzz::dist3(x, want) <= 3.5 * tol + 1e-12 * (n + 1) * size_c);
      }
    }
  } else {
    // A curve to the composite form and back.
    const auto c = fuzz::read_curve(in, 16);
    const double tol = std::fabs(in.number());
    const int order_back = 2 + in.byte() % 8;
    const int n = c->n(), k = c->order();
    const bool rational = c->cv.rational;
    std::vector<double> blocks_in(static_cast<std::size_t>(std::max(n, 0)) * (3 + rational));
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < 3; ++j) blocks_in[j * n + i] = c->cv.poles[3 * i + j];
      if (rational) blocks_in[3 * n + i] = c->weights[i];
    }
    int spans = 0, rc = 0, *degrees = nullptr, *codes = nullptr;
    double **series = nullptr, *breaks = nullptr, range[2] = {0, 0};
    BSbsp2cmlgd(3, n, k, c->cv.rational, blocks_in.data(), c->knots.data(), &spans, &degrees, &codes, &series, &breaks,
                range, &rc);
    const fuzz::HeapArray<int> own_degrees(degrees), own_codes(codes);
    const fuzz::HeapArray<double> own_breaks(breaks);
    if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "composite: rc %d, %d spans\n", rc, spans);
    const bool sane = fuzz::sound(*c) && fuzz::scale_of(*c) <= 1e4;
    if (rc == 0 && sane) {
      const double scale = fuzz::scale_of(*c);
      FUZZ_CHECK(spans >= 1 && degrees && codes && series && breaks);
      // The composite at the curve's own parameters, unless the poles made one point (then over [0, 1]).
      const bool point = degrees[0] == 0 && spans == 1;
      if (!point) {
        FUZZ_CHECK(range[0] == c->start() && range[1] == c->end());
        for (int s = 0; s <= 24; ++s) {
          const double u = c->start() + (c->end() - c->start()) * s / 24;
          if (fuzz::at_jump(c->cv, u)) continue;
          double x[3], y[3];
          BSevalgdcmp(3, 0, spans, degrees, codes, nullptr, series, breaks, 0, u, x, &rc);
          FUZZ_CHECK(rc == 0 && fuzz::point_at(c->cv, u, y));
          FUZZ_CHECK(fuzz::dist3(x, y) <= 1e-9 * scale);
        }
      }
      // Back to one B-spline over the whole range, the same shape within the tolerance.
      if (tol >= 1e-6 * scale && tol <= scale) {
        int out_order = 0, out_n = 0, out_rational = 0;
        double *out_poles = nullptr, *out_knots = nullptr;
        BScmlgd2bsp(1, 3, spans, degrees, codes, series, breaks, range, tol, order_back, &out_order, &out_n,
                    &out_rational, &out_poles, &out_knots, &rc);
        const fuzz::HeapArray<double> own_out_poles(out_poles), own_out_knots(out_knots);
        if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "back: rc %d, order %d, %d poles\n", rc, out_order, out_n);
        if (rc == 0 && !point) {
          const auto back = from_blocks(out_order, out_n, 3, out_rational, out_poles, out_knots);
          FUZZ_CHECK(BScvcheck(&back->cv) == 0);
          for (int s = 0; s <= 24; ++s) {
            double x[3];
            FUZZ_CHECK(fuzz::point_at(back->cv, back->start() + (back->end() - back->start()) * s / 24, x));
            FUZZ_CHECK(fuzz::distance_to(c->cv, x) <= 4 * tol + 1e-9 * scale);
          }
        }
      }
    }
    BSfreecmplgd(&series);
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
