// Offsets of one plane curve of any record by a distance running linearly from one value at its start to another
// at its end, its corners joined sharp or round. An answer of rc 0 is a sound record; on a well-formed open curve
// smooth enough to give one piece it starts and ends at the true offset points of the curve's ends, at their own
// distances, and comes no farther from the curve than the larger distance (within the offset tolerance and the
// error of its single fit). Nothing leaks, also when a heap request fails.
#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/fuzz/fuzz_oracles.h"


extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  fuzz::InjectedFailure failure(in.byte());
  const auto c = fuzz::read_curve(in, 16);
  fuzz::flatten(*c);
  const double d0 = in.number(), d1 = in.number();
  const int side = opts & 1 ? 1 : -1;
  const std::int16_t arc_flag = static_cast<std::int16_t>((opts >> 1) & 1);
  const double dmax = std::fmax(std::fabs(d0), std::fabs(d1));
  const bool sane = fuzz::sound(*c) && !c->cv.phy_closed && dmax <= 1e3 && d0 >= 0 && d1 >= 0;
  const double scale = fuzz::scale_of(*c) + dmax;
  const double normal[3] = {0, 0, 1};
  const BSdistlaw law{1, nullptr, 0, 0};
  BStraceclear();
  const fuzz::BlockCount blocks;
  {
    VOQbsp_curve *out = nullptr;
    int rc = 0;
    failure.arm();
    BSxycvoffwl(&c->cv, d0, d1, &law, arc_flag, normal, side, &out, &rc);
    failure.disarm();
    const fuzz::HeapCurve own(out);
    if (std::getenv("FUZZ_DUMP")) {
      std::fprintf(stderr, "rc %d\n", rc);
      if (out) fuzz::dump("offset", *out);
    }
    if (rc != 0) FUZZ_CHECK(!out);
    if (rc == 0) FUZZ_CHECK(out && BScvcheck(out) == 0 && fuzz::finite(out->poles, 3 * static_cast<std::size_t>(out->num_poles)));
    // Held to the distances only where the offset is one piece: a smooth curve bending nowhere tighter than the
    // larger distance. At corners pieces are trimmed, extended or joined, and may end anywhere.
    if (rc == 0 && sane && !failure.hit() && dmax >= 1e-14 && fuzz::smooth_for(*c, dmax)) {
      const double tol = 2 * BStoltab[bstol::offset_tol] + 1e-9 * scale;
      double q[3], target[3];
      if (fuzz::offset_point(c->cv, c->start(), d0, side, scale, target)) {
        FUZZ_CHECK(fuzz::point_at(*out, fuzz::range_start(*out), q));
        FUZZ_CHECK(fuzz::dist3(q, target) <= tol);
      }
      if (fuzz::offset_point(c->cv, c->end(), d1, side, scale, target)) {
        FUZZ_CHECK(fuzz::point_at(*out, fuzz::range_end(*out), q));
        FUZZ_CHECK(fuzz::dist3(q, target) <= tol);
      }
      // One fit through samples, with no test after it: held to a tenth of the distance between them.
      for (int s = 0; s <= 32; ++s) {
          FUZZ_CHECK(fuzz::point_at(*out, fuzz::range_start(*out) + (fuzz::range_end(*out) - fuzz::range_start(*out)) * s / 32, q));
          FUZZ_CHECK(fuzz::distance_to(c->cv, q) <= 1.1 * dmax + tol);
        }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
