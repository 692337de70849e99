// A curve against itself, of any record. On a well-formed curve an answer of rc 0 gives crossings whose two
// parameters are two places of the curve at one point, and overlaps whose two intervals cover the same points; in
// the plane every isolated crossing of the curve with itself is among them. Sets of no entries are NULL, a failure
// hands nothing out, and nothing leaks, also when a heap request fails.
#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/fuzz/fuzz_oracles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  fuzz::InjectedFailure failure(in.byte());
  const auto c = fuzz::read_curve(in, 24);
  const bool plane = !(opts & 0x20);
  if (plane) fuzz::flatten(*c);
  const bool sane = fuzz::sound(*c);
  BStraceclear();
  const fuzz::BlockCount blocks;
  {
    int rc = 0, n_int = -1, n_over = -1;
    double *raw[6] = {};
    failure.arm();
    BScv_slfint(&rc, &c->cv, &n_int, &raw[0], &raw[1], &n_over, &raw[2], &raw[3], &raw[4], &raw[5]);
    failure.disarm();
    const fuzz::HeapArray<double> first(raw[0]), second(raw[1]), fs(raw[2]), fe(raw[3]), ss(raw[4]), se(raw[5]);
    if (std::getenv("FUZZ_DUMP")) {
      std::fprintf(stderr, "rc %d: %d crossings, %d overlaps\n", rc, n_int, n_over);
      for (int i = 0; i < n_int; ++i) std::fprintf(stderr, "  crossing %.17g, %.17g\n", first[i], second[i]);
      for (int i = 0; i < n_over; ++i)
        std::fprintf(stderr, "  overlap %.17g .. %.17g, %.17g .. %.17g\n", fs[i], fe[i], ss[i], se[i]);
    }
    if (rc != 0) FUZZ_CHECK(n_int == 0 && n_over == 0);
    FUZZ_CHECK(n_int >= 0 && n_over >= 0);
    FUZZ_CHECK((n_int == 0) == (!first && !second));
    FUZZ_CHECK((n_over == 0) == (!fs && !fe && !ss && !se));
    if (rc == 0 && sane && !failure.hit()) {
      const VOQbsp_curve &cv = c->cv;
      const double scale = fuzz::scale_of(*c), a = c->start(), b = c->end();
      const double on = 10 * BStoltab[bstol::dist_tol] + 1e-9 * scale;
      // How far apart the curve's points at u and v are. A parameter at a jump names the points on both sides of
      // it (a stationary stretch or a piece may start or end there), so either side may answer, for u as gap_at
      // allows for v.
      auto pair_gap = [&](double u, double v) {
        double p[3];
        double gap = fuzz::point_at(cv, u, p) ? fuzz::gap_at(cv, v, p) : std::nan("");
        if (fuzz::at_jump(cv, u)) {
          const double h = 1e-13 * (std::fabs(u) + b - a);
          for (double w : {u - h, u + h})
            if (fuzz::point_at(cv, std::clamp(w, a, b), p)) gap = std::fmin(gap, fuzz::gap_at(cv, v, p));
        }
        return gap;
      };
      for (int i = 0; i < n_int; ++i) {
        FUZZ_CHECK(first[i] >= a && first[i] <= b && second[i] >= a && second[i] <= b);
        FUZZ_CHECK(std::fabs(first[i] - second[i]) > 1e-12 * (b - a));
        double p[3];
        FUZZ_CHECK(fuzz::point_at(cv, first[i], p));
        FUZZ_CHECK(pair_gap(first[i], second[i]) <= 2 * on);
      }
      for (int i = 0; i < n_over; ++i) {
        double p[3], q[3];
        FUZZ_CHECK(fuzz::point_at(cv, fs[i], p) && fuzz::point_at(cv, fe[i], q));
        FUZZ_CHECK(pair_gap(fs[i], ss[i]) <= 2 * on && pair_gap(fe[i], se[i]) <= 2 * on);
        // The middle of the first interval lies on the stretch of the second (a point where the curve stands still).
        double mid[3];
        FUZZ_CHECK(fuzz::point_at(cv, 0.5 * (fs[i] + fe[i]), mid));
        const double lo = std::fmin(ss[i], se[i]), hi = std::fmax(ss[i], se[i]);
        if (std::getenv("FUZZ_DUMP"))
          std::fprintf(stderr, "  overlap %d: middle (%.17g, %.17g, %.17g) %.17g off the second\n", i, mid[0], mid[1],
                       mid[2], lo < hi ? fuzz::sampled_distance(cv, mid, nullptr, 64, lo, hi) : fuzz::gap_at(cv, lo, mid));
        FUZZ_CHECK((lo < hi ? fuzz::sampled_distance(cv, mid, nullptr, 64, lo, hi) : fuzz::gap_at(cv, lo, mid)) <=
                   2 * on);
      }
      if (plane) {
        const double slack = 1e-5 * (b - a);
        for (const fuzz::Crossing &x : fuzz::planar_crossings(cv, cv, scale, 0.05, 1e-3 * scale)) {
          if (std::getenv("FUZZ_DUMP"))
            std::fprintf(stderr, "  reference %.17g %.17g at %.17g, %.17g\n", x.p[0], x.p[1], x.s, x.t);
          // Where the ends meet, the curve closes; that is no crossing.
          if (x.s <= a + slack && x.t >= b - slack) continue;
          bool reported = false;
          for (int i = 0; i < n_int && !reported; ++i) {
            double p[3];
            reported = fuzz::point_at(cv, first[i], p) && fuzz::dist3(p, x.p) <= 1e3 * on;
          }
          // On an overlap, its ends included, a crossing is part of the overlap: on either of its stretches (where
          // the curve all but stands still on one, the crossing can lie well off that stretch in parameter).
          for (int i = 0; i < n_over && !reported; ++i)
            for (const auto &[from, to] : {std::pair{fs[i], fe[i]}, std::pair{ss[i], se[i]}}) {
              const double lo = std::fmin(from, to) - slack, hi = std::fmax(from, to) + slack;
              reported = reported || (x.s >= lo && x.s <= hi) || (x.t >= lo && x.t <= hi);
            }
          FUZZ_CHECK(reported);
        }
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
