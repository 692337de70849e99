// Two Bezier spans of any record, or a span against a piece of itself. On two well-formed spans an answer of rc 0
// gives at most the results the caller's arrays hold, each on both spans at its parameters; an overlap is two
// results with the stretch between them on both spans; in the plane no isolated crossing of the two is missing.
#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

// The part of span c over [0, t], or [t, 1] with `right`, as a span of its own on [0, 1]: de Casteljau on the
// weighted poles.
std::unique_ptr<TestCurve> part_of(const TestCurve &c, double t, bool right) {
  const int k = c.order();
  std::vector<double> h(4 * static_cast<std::size_t>(k)), left(h.size()), rest(h.size());
  for (int i = 0; i < k; ++i) {
    for (int j = 0; j < 3; ++j) h[4 * i + j] = c.poles[3 * i + j];
    h[4 * i + 3] = c.weights.empty() ? 1 : c.weights[i];
  }
  for (int r = 0; r < k; ++r) {
    if (r > 0)
      for (int i = 0; i + r < k; ++i)
        for (int j = 0; j < 4; ++j) h[4 * i + j] = (1 - t) * h[4 * i + j] + t * h[4 * (i + 1) + j];
    for (int j = 0; j < 4; ++j) left[4 * r + j] = h[j], rest[4 * (k - 1 - r) + j] = h[4 * (k - 1 - r) + j];
  }
  const std::vector<double> &part = right ? rest : left;
  std::vector<double> poles, weights, knots;
  for (int i = 0; i < k; ++i) {
    const double w = part[4 * i + 3];
    for (int j = 0; j < 3; ++j) poles.push_back(part[4 * i + j] / w);
    if (!c.weights.empty()) weights.push_back(w);
  }
  for (int i = 0; i < 2 * k; ++i) knots.push_back(i < k ? 0.0 : 1.0);
  return std::make_unique<TestCurve>(k, poles, knots, weights);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  auto s1 = fuzz::read_span(in);
  std::unique_ptr<TestCurve> s2;
  if ((opts & 0x40) && s1->order() >= 1 && s1->order() <= 16 && s1->n() == s1->order())
    s2 = part_of(*s1, in.parameter(0, 1), opts & 0x80);
  else
    s2 = fuzz::read_span(in);
  const bool plane = !(opts & 0x20);
  if (plane) fuzz::flatten(*s1), fuzz::flatten(*s2);
  const bool sane = fuzz::well_formed(*s1) && fuzz::well_formed(*s2);
  BStraceclear();
  const fuzz::BlockCount blocks;

  int n = -1, rc = 0;
  std::vector<double> pts(3 * BSSPAN_RESULTS), par1(BSSPAN_RESULTS), par2(BSSPAN_RESULTS);
  BSboolean overlap = 7;
  BSbzbz_int(&s1->cv, &s2->cv, &n, pts.data(), par1.data(), par2.data(), &overlap, &rc);
  if (std::getenv("FUZZ_DUMP")) {
    std::fprintf(stderr, "rc %d: %d results, overlap %d\n", rc, n, overlap);
    for (int i = 0; i < n && i < BSSPAN_RESULTS; ++i)
      std::fprintf(stderr, "  %.17g %.17g %.17g at %.17g, %.17g\n", pts[3 * i], pts[3 * i + 1], pts[3 * i + 2],
                   par1[i], par2[i]);
  }
  if (rc != 0) FUZZ_CHECK(n == 0);
  if (rc == 0) FUZZ_CHECK(n >= 0 && n <= BSSPAN_RESULTS && (!overlap || n == 2));
  if (rc == 0 && sane) {
    const VOQbsp_curve &cv1 = s1->cv, &cv2 = s2->cv;
    const double scale = std::fmax(fuzz::scale_of(*s1), fuzz::scale_of(*s2));
    const double on = 10 * BStoltab[bstol::dist_tol] + 1e-9 * scale;
    for (int i = 0; i < n; ++i) {
      // Parameters lie in each span's own range: [0, 1] unless its knots were read raw.
      FUZZ_CHECK(par1[i] >= s1->start() && par1[i] <= s1->end() && par2[i] >= s2->start() && par2[i] <= s2->end());
      FUZZ_CHECK(fuzz::gap_at(cv1, par1[i], &pts[3 * i]) <= on);
      FUZZ_CHECK(fuzz::gap_at(cv2, par2[i], &pts[3 * i]) <= on);
    }
    if (overlap) {
      for (double f : {0.25, 0.5, 0.75}) {
        double mid[3];
        FUZZ_CHECK(fuzz::point_at(cv1, par1[0] + f * (par1[1] - par1[0]), mid));
        FUZZ_CHECK(fuzz::distance_to(cv2, mid) <= on);
      }
    }
    if (plane && !overlap) {
      for (const fuzz::Crossing &x : fuzz::planar_crossings(cv1, cv2, scale, 0.05, 1e-3 * scale)) {
        if (std::getenv("FUZZ_DUMP"))
          std::fprintf(stderr, "  crossing %.17g %.17g at %.17g, %.17g\n", x.p[0], x.p[1], x.s, x.t);
        bool reported = false;
        for (int i = 0; i < n && !reported; ++i) reported = fuzz::dist3(&pts[3 * i], x.p) <= 1e3 * on;
        FUZZ_CHECK(reported);
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
