// Offsets of a chain of plane curves of any records, joined end to start, by one distance or one each, with loop
// removal on request. On well-formed components an answer of rc 0 gives sound pieces within the room, one after
// another end to start (and back to the first on a closed chain); once loops are removed from the offset of a
// chain that closes, no piece comes nearer to the chain than its distance less the offset tolerance. Nothing
// leaks, also when a heap request fails.
#include "bspline/offset.h"
#include "tests/fuzz/fuzz_oracles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  fuzz::InjectedFailure failure(in.byte());
  const int n = 2 + in.byte() % 4;
  std::vector<std::unique_ptr<TestCurve>> comps;
  bool sane = true;
  double scale = 1;
  for (int i = 0; i < n; ++i) {
    comps.push_back(fuzz::read_curve(in, 8));
    TestCurve &c = *comps.back();
    fuzz::flatten(c);
    c.cv.phy_closed = 0;
    sane = sane && fuzz::sound(c);
    // Each component starts where the one before ends (unless the input asks for a gap).
    if (i > 0 && sane && !(opts & 0x40)) {
      double from[3], to[3];
      FUZZ_CHECK(fuzz::point_at(comps[i - 1]->cv, comps[i - 1]->end(), to));
      FUZZ_CHECK(fuzz::point_at(c.cv, c.start(), from));
      for (int k = 0; k < c.n(); ++k)
        for (int j = 0; j < 2; ++j) c.poles[3 * k + j] += (to[j] - from[j]) * (c.weights.empty() ? 1 : c.weights[k]);
    }
    scale = std::fmax(scale, fuzz::scale_of(c));
  }
  const BSboolean single = !(opts & 0x20);
  std::vector<double> dists(n);
  for (double &d : dists) d = std::fabs(in.number());
  std::vector<int> types(n, BSCMP_ORDINARY);
  if (opts & 0x80)
    for (int &t : types) t = BSCMP_ORDINARY + in.byte() % 3;
  const BSboolean side = opts & 1, closed = (opts >> 1) & 1;
  const std::int16_t option = static_cast<std::int16_t>((opts >> 2) & 1), loop_mode = static_cast<std::int16_t>((opts >> 3) & 3);
  double dmax = 0;
  for (int i = 0; i < (single ? 1 : n); ++i) dmax = std::fmax(dmax, dists[i]);
  sane = sane && dmax <= 1e3;
  const double normal[3] = {0, 0, 1};
  std::vector<const VOQbsp_curve *> ptrs;
  for (const auto &c : comps) ptrs.push_back(&c->cv);
  BStraceclear();
  const fuzz::BlockCount blocks;
  {
    const int room = 2 * n + 1;
    std::vector<VOQbsp_curve *> pieces(room, nullptr), loop_curves(room, nullptr);
    std::vector<int> tags(room, -999), per_loop(room, -999), loop_tags(room, -999);
    int num_pieces = -1, num_loops = -1, rc = 0;
    failure.arm();
    BScmpcvoffl(n, ptrs.data(), side, normal, dists.data(), single, types.data(), option, loop_mode, closed,
                &num_pieces, pieces.data(), tags.data(), &num_loops, per_loop.data(), loop_curves.data(),
                loop_tags.data(), &rc);
    failure.disarm();
    std::vector<fuzz::HeapCurve> own;
    for (VOQbsp_curve *p : pieces) own.emplace_back(p);
    for (VOQbsp_curve *p : loop_curves) own.emplace_back(p);
    if (std::getenv("FUZZ_DUMP")) {
      std::fprintf(stderr, "rc %d: %d pieces, %d loops\n", rc, num_pieces, num_loops);
      for (int i = 0; i < num_pieces && i < room; ++i)
        if (pieces[i]) fuzz::dump("piece", *pieces[i]);
    }
    FUZZ_CHECK(num_pieces >= 0 && num_pieces <= room && num_loops >= 0);
    int made = 0;
    for (int i = 0; i < room; ++i) made += pieces[i] != nullptr;
    FUZZ_CHECK(made == num_pieces);
    if (rc != 0 && rc != 47) FUZZ_CHECK(num_pieces == 0);
    if ((rc == 0 || rc == 47) && !failure.hit()) {
      for (int i = 0; i < num_pieces; ++i)
        FUZZ_CHECK(pieces[i] && BScvcheck(pieces[i]) == 0 &&
                   fuzz::finite(pieces[i]->poles, 3 * static_cast<std::size_t>(pieces[i]->num_poles)));
    }
    if (rc == 0 && sane && !failure.hit() && num_pieces > 0) {
      const double tol = 2 * BStoltab[bstol::offset_tol] + 1e-9 * (scale + dmax);
      const double joint = 10 * BStoltab[bstol::dist_tol] + 1e-9 * (scale + dmax);
      // End to start, piece after piece.
      for (int i = 0; i + 1 < num_pieces; ++i) {
        double e[3], s[3];
        FUZZ_CHECK(fuzz::point_at(*pieces[i], fuzz::range_end(*pieces[i]), e));
        FUZZ_CHECK(fuzz::point_at(*pieces[i + 1], fuzz::range_start(*pieces[i + 1]), s));
        FUZZ_CHECK(fuzz::dist3(e, s) <= joint);
      }
      // Each loop handed back runs end to start through its curves and closes on itself.
      int at = 0;
      for (int l = 0; l < num_loops && loop_mode == 1; ++l) {
        FUZZ_CHECK(per_loop[l] >= 1 && at + per_loop[l] <= room);
        double first[3], prev[3], s[3];
        for (int k = 0; k < per_loop[l]; ++k, ++at) {
          const VOQbsp_curve *c = loop_curves[at];
          FUZZ_CHECK(c && BScvcheck(c) == 0 && fuzz::point_at(*c, fuzz::range_start(*c), s));
          if (k == 0) std::copy(s, s + 3, first);
          FUZZ_CHECK(k == 0 || fuzz::dist3(prev, s) <= joint);
          FUZZ_CHECK(fuzz::point_at(*c, fuzz::range_end(*c), prev));
        }
        FUZZ_CHECK(fuzz::dist3(prev, first) <= joint);
      }
      // Loops removed: no piece nearer to the chain than the least distance it was offset by. Only a closed chain
      // closes off every stretch of its offset that comes nearer by a crossing of the offset with itself: an open
      // chain's offset has no caps at its ends, and may enter the band of a stretch from that one's far side,
      // which is not offset, without crossing anything.
      double dmin = dists[0];
      for (int i = 1; i < (single ? 1 : n); ++i) dmin = std::fmin(dmin, dists[i]);
      double first[3], last[3];
      FUZZ_CHECK(fuzz::point_at(comps[0]->cv, comps[0]->start(), first));
      FUZZ_CHECK(fuzz::point_at(comps[n - 1]->cv, comps[n - 1]->end(), last));
      const bool closes = closed && fuzz::dist3(first, last) <= BStoltab[bstol::dist_tol];
      if ((loop_mode == 1 || loop_mode == 2) && !(opts & 0x80) && closes)
        for (int i = 0; i < num_pieces; ++i)
          for (int s = 0; s <= 16; ++s) {
            double q[3];
            const VOQbsp_curve &p = *pieces[i];
            FUZZ_CHECK(fuzz::point_at(p, fuzz::range_start(p) + (fuzz::range_end(p) - fuzz::range_start(p)) * s / 16, q));
            double near = std::numeric_limits<double>::infinity();
            for (const auto &c : comps) near = std::fmin(near, fuzz::distance_to(c->cv, q));
            FUZZ_CHECK(near >= dmin - tol);
          }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
