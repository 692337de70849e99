// Curve against curve, of any two records, with the caller's arrays of any capacity. On two well-formed curves an
// answer of rc 0 puts every point on both curves at its parameters, in the order of the first curve, and every
// overlap's ends on both curves with its middle on the second; in the plane no isolated crossing of the two is
// missing. A refusal hands nothing out; nothing leaks, also when a heap request fails.
#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/bspline/intersection_call.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

constexpr int kSizes[4] = {0, 1, 2, 300};

// The second curve made from the first: the same points under another parametrisation (shifted and scaled
// knots), or run the other way.
std::unique_ptr<TestCurve> same_shape(const TestCurve &c, bool reversed, double shift, double stretch) {
  std::vector<double> poles, knots, weights;
  const int n = c.n();
  for (int i = 0; i < n; ++i) {
    const int from = reversed ? n - 1 - i : i;
    for (int j = 0; j < 3; ++j) poles.push_back(c.pole(from, j));
    if (!c.weights.empty()) weights.push_back(c.weights[from]);
  }
  for (std::size_t i = 0; i < c.knots.size(); ++i) {
    const double t = reversed ? -c.knots[c.knots.size() - 1 - i] : c.knots[i];
    knots.push_back(shift + stretch * t);
  }
  auto out = std::make_unique<TestCurve>(c.order(), poles, knots, weights);
  out->cv.phy_closed = c.cv.phy_closed;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  fuzz::InjectedFailure failure(in.byte());
  auto c1 = fuzz::read_curve(in, 24);
  std::unique_ptr<TestCurve> c2;
  if (opts & 0x40) {
    const double shift = in.number(), stretch = 0.25 + in.byte() / 64.0;
    c2 = same_shape(*c1, opts & 0x80, shift, stretch);
  } else {
    c2 = fuzz::read_curve(in, 24);
  }
  // Most inputs are plane curves, where crossings are the rule rather than the exception.
  const bool plane = !(opts & 0x20);
  if (plane) fuzz::flatten(*c1), fuzz::flatten(*c2);
  const bool sane = fuzz::sound(*c1) && fuzz::sound(*c2);
  const BSboolean merge = opts & 1;
  BStraceclear();
  const fuzz::BlockCount blocks;
  {
    CallResults r(kSizes[(opts >> 1) & 3], kSizes[(opts >> 3) & 3]);
    failure.arm();
    r.cvcv(&c1->cv, &c2->cv, merge);
    failure.disarm();
    if (std::getenv("FUZZ_DUMP")) {
      std::fprintf(stderr, "rc %d: %d points, %d overlaps\n", r.rc, r.n_int, r.n_over);
      for (int i = 0; i < r.n_int; ++i)
        std::fprintf(stderr, "  point %.17g %.17g %.17g at %.17g, %.17g\n", r.pts()[3 * i], r.pts()[3 * i + 1],
                     r.pts()[3 * i + 2], r.par1()[i], r.par2()[i]);
      for (int i = 0; i < r.n_over; ++i)
        std::fprintf(stderr, "  overlap %.17g .. %.17g on 1, %.17g .. %.17g on 2\n", r.over_par1()[2 * i],
                     r.over_par1()[2 * i + 1], r.over_par2()[2 * i], r.over_par2()[2 * i + 1]);
    }
    if (r.rc != 0) {
      // A failure leaves the counts 0 and hands nothing out.
      FUZZ_CHECK(r.n_int == 0 && r.n_over == 0);
      for (double *p : r.a) FUZZ_CHECK(p == nullptr);
    }
    if (r.rc == 0) {
      FUZZ_CHECK(r.n_int >= 0 && r.n_over >= 0);
      // Results beyond the caller's room come in arrays of their own; the pointers of a kind that did not are NULL.
      FUZZ_CHECK(r.int_alloc ? r.n_int > 0 : r.n_int <= r.int_size && !r.a[0] && !r.a[1] && !r.a[2]);
      FUZZ_CHECK(r.over_alloc ? r.n_over > 0 : r.n_over <= r.over_size && !r.a[3] && !r.a[4] && !r.a[5]);
    }
    if (r.rc == 0 && sane && !failure.hit()) {
      const VOQbsp_curve &cv1 = c1->cv, &cv2 = c2->cv;
      const double scale = std::fmax(fuzz::scale_of(*c1), fuzz::scale_of(*c2));
      const double on = 10 * BStoltab[bstol::dist_tol] + 1e-9 * scale;
      const double a1 = c1->start(), b1 = c1->end(), a2 = c2->start(), b2 = c2->end();
      const double *pts = r.pts(), *p1 = r.par1(), *p2 = r.par2();
      for (int i = 0; i < r.n_int; ++i) {
        FUZZ_CHECK(p1[i] >= a1 && p1[i] <= b1 && p2[i] >= a2 && p2[i] <= b2);
        if (i > 0) FUZZ_CHECK(p1[i] >= p1[i - 1]);
        FUZZ_CHECK(fuzz::gap_at(cv1, p1[i], pts + 3 * i) <= on);
        FUZZ_CHECK(fuzz::gap_at(cv2, p2[i], pts + 3 * i) <= on);
      }
      const double *ops = r.over_pts(), *o1 = r.over_par1(), *o2 = r.over_par2();
      for (int i = 0; i < r.n_over; ++i) {
        FUZZ_CHECK(o1[2 * i] <= o1[2 * i + 1]);
        for (int e = 0; e < 2; ++e) {
          FUZZ_CHECK(o1[2 * i + e] >= a1 && o1[2 * i + e] <= b1 && o2[2 * i + e] >= a2 && o2[2 * i + e] <= b2);
          FUZZ_CHECK(fuzz::gap_at(cv1, o1[2 * i + e], ops + 6 * i + 3 * e) <= on);
          FUZZ_CHECK(fuzz::gap_at(cv2, o2[2 * i + e], ops + 6 * i + 3 * e) <= on);
        }
        // The middle of the stretch on the first curve lies on the second.
        double mid[3];
        FUZZ_CHECK(fuzz::point_at(cv1, 0.5 * (o1[2 * i] + o1[2 * i + 1]), mid));
        FUZZ_CHECK(fuzz::distance_to(cv2, mid) <= on);
      }
      // Every isolated transversal crossing of two plane curves is reported, as a point or inside an overlap.
      if (plane) {
        for (const fuzz::Crossing &x : fuzz::planar_crossings(cv1, cv2, scale, 0.05, 1e-3 * scale)) {
          if (std::getenv("FUZZ_DUMP"))
            std::fprintf(stderr, "  crossing %.17g %.17g at %.17g, %.17g\n", x.p[0], x.p[1], x.s, x.t);
          bool reported = false;
          for (int i = 0; i < r.n_int && !reported; ++i) reported = fuzz::dist3(pts + 3 * i, x.p) <= 1e3 * on;
          // An overlap reports the crossings inside its stretch, and, as points are judged, the places of its
          // ends: a curve that comes back to an overlap's end meets the other there at a parameter of its own,
          // which the end results of a span pair give once per place. Merging by distance drops every point that
          // lies on an overlap, also where the other curve passes the stretch again at a parameter of its own.
          for (int i = 0; i < r.n_over && !reported; ++i) {
            const double lo2 = std::fmin(o2[2 * i], o2[2 * i + 1]), hi2 = std::fmax(o2[2 * i], o2[2 * i + 1]);
            reported = (x.s >= o1[2 * i] - 1e-9 * (b1 - a1) && x.s <= o1[2 * i + 1] + 1e-9 * (b1 - a1)) ||
                       (merge && x.t >= lo2 - 1e-9 * (b2 - a2) && x.t <= hi2 + 1e-9 * (b2 - a2)) ||
                       fuzz::dist3(ops + 6 * i, x.p) <= 1e3 * on || fuzz::dist3(ops + 6 * i + 3, x.p) <= 1e3 * on;
          }
          FUZZ_CHECK(reported);
        }
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
