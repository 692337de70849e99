// Curve ends lengthened or shortened by an arc length, and two curves connected end to start, of any records. On a
// well-formed open curve an answer of rc 0 keeps the curve's points over its old range when it lengthens (the end
// span is continued, not refitted), keeps the far end where it was, and measures the length of the curve plus what
// it says it added (or less what it took away, the rest lying on the curve). A connection hands back curves that
// meet end to start; a failure hands back nothing. Nothing leaks.
#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "bspline/measure.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

bool straight(const TestCurve &c) {
  const int n = c.n();
  double dir[3] = {0, 0, 0};
  for (int i = 1; i < n && dir[0] == 0 && dir[1] == 0 && dir[2] == 0; ++i)
    for (int j = 0; j < 3; ++j) dir[j] = c.pole(i, j) - c.pole(0, j);
  const double len = std::hypot(dir[0], dir[1], dir[2]);
  for (int i = 1; i < n; ++i) {
    double v[3];
    for (int j = 0; j < 3; ++j) v[j] = c.pole(i, j) - c.pole(0, j);
    const double cross = std::hypot(v[1] * dir[2] - v[2] * dir[1], v[2] * dir[0] - v[0] * dir[2], v[0] * dir[1] - v[1] * dir[0]);
    if (cross > 1e-9 * len * (std::hypot(v[0], v[1], v[2]) + 1)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  const auto c = fuzz::read_curve(in, 12);
  if (!(opts & 0x20)) fuzz::flatten(*c);
  const bool ranges = c->order() >= 1 && c->n() >= c->order();
  const bool at_end = opts & 1;
  double end_point[3] = {0, 0, 0};
  if (ranges) fuzz::point_at(c->cv, at_end ? c->end() : c->start(), end_point);
  const double dist = in.number();
  const bool sane = fuzz::sound(*c) && !c->cv.phy_closed && std::isfinite(dist) && std::fabs(dist) <= 1e3 &&
                    fuzz::finite(end_point, 3);
  const double scale = fuzz::scale_of(*c) + std::fabs(dist);
  BStraceclear();
  const fuzz::BlockCount blocks;
  {
    VOQbsp_curve *out = nullptr;
    int rc = 0;
    if (ranges && c->order() <= 32) {
      BSallocvoqcv(c->cv.order, c->n() + c->order() - 1, c->cv.rational, 0, &out, &rc);
      double achieved = -777;
      if (rc == 0) BSpolxtdst0(&c->cv, end_point, dist, &out, &achieved, &rc);
      const fuzz::HeapCurve own(out);
      if (std::getenv("FUZZ_DUMP")) {
        std::fprintf(stderr, "by length: rc %d, achieved %.17g\n", rc, achieved);
        if (rc == 0) fuzz::dump("extended", *out);
      }
      const double whole = sane ? fuzz::curve_length(c->cv) : 0;
      if (rc == 0 && sane && whole > BStoltab[bstol::dist_tol] && std::fabs(dist) > BStoltab[bstol::dist_tol]) {
        FUZZ_CHECK(BScvcheck(out) == 0);
        const double tol = 10 * BStoltab[bstol::dist_tol] + 1e-9 * scale;
        const double ltol = 4 * BStoltab[15] + 1e-9 * scale;
        // The far end stays, unless the end point is also reached in the far half of the range (a curve that
        // stands still at its end, or comes back to it): the end to change is then the routine's to choose.
        double far[3], q[3];
        FUZZ_CHECK(fuzz::point_at(c->cv, at_end ? c->start() : c->end(), far));
        FUZZ_CHECK(fuzz::point_at(*out, at_end ? fuzz::range_start(*out) : fuzz::range_end(*out), q));
        const double mid = 0.5 * (c->start() + c->end());
        const bool ambiguous = fuzz::sampled_distance(c->cv, end_point, nullptr, 64, at_end ? c->start() : mid,
                                                      at_end ? mid : c->end()) <= tol;
        if (!ambiguous) FUZZ_CHECK(fuzz::dist3(far, q) <= tol);
        if (std::getenv("FUZZ_DUMP"))
          std::fprintf(stderr, "  length %.17g before, %.17g after, %.17g asked\n", whole, fuzz::curve_length(*out), dist);
        if (dist > 0) {
          FUZZ_CHECK(achieved >= 0 && achieved <= dist + ltol);
          FUZZ_CHECK(std::fabs(fuzz::curve_length(*out) - whole - achieved) <= ltol);
          // A rational result's changed end is brought to weight 1, which moves its parameters: its points stay.
          if (!straight(*c))
            for (int s = 0; s <= 16; ++s) {
              const double u = c->start() + (c->end() - c->start()) * s / 16;
              FUZZ_CHECK(fuzz::point_at(c->cv, u, far));
              FUZZ_CHECK((c->cv.rational ? fuzz::distance_to(*out, far) : fuzz::gap_at(*out, u, far)) <= tol);
            }
        } else {
          FUZZ_CHECK(std::fabs(fuzz::curve_length(*out) - (whole + dist)) <= ltol);
          for (int s = 0; s <= 16; ++s) {
            FUZZ_CHECK(fuzz::point_at(*out, fuzz::range_start(*out) + (fuzz::range_end(*out) - fuzz::range_start(*out)) * s / 16, q));
            FUZZ_CHECK(fuzz::distance_to(c->cv, q) <= tol);
          }
        }
      }
    }
  }
  // The curve connected to a second one.
  if (opts & 0x10) {
    const auto c2 = fuzz::read_curve(in, 12);
    if (!(opts & 0x20)) fuzz::flatten(*c2);
    const int mode = in.byte() % 5;
    VOQbsp_curve *first = reinterpret_cast<VOQbsp_curve *>(1), *second = first, *third = nullptr;
    int rc = 0;
    BSlineconcvs(&c->cv, &c2->cv, mode, &first, &second, &third, &rc);
    const fuzz::HeapCurve own1(rc == 0 ? first : nullptr), own2(rc == 0 ? second : nullptr), own3(third);
    if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "connected: rc %d, %s\n", rc, third ? "with a line" : "moved");
    if (rc != 0) FUZZ_CHECK(!first && !second && !third);
    if (rc == 0 && sane && fuzz::sound(*c2)) {
      const double tol = 10 * BStoltab[bstol::dist_tol] + 1e-9 * std::fmax(scale, fuzz::scale_of(*c2));
      FUZZ_CHECK(first && second && BScvcheck(first) == 0 && BScvcheck(second) == 0);
      std::vector<const VOQbsp_curve *> chain = {first, second};
      if (third) chain.push_back(third);
      for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        double e[3], s[3];
        FUZZ_CHECK(fuzz::point_at(*chain[i], fuzz::range_end(*chain[i]), e));
        FUZZ_CHECK(fuzz::point_at(*chain[i + 1], fuzz::range_start(*chain[i + 1]), s));
        FUZZ_CHECK(fuzz::dist3(e, s) <= tol);
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
