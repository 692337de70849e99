// Offsets of a chain of plane curves of any records, joined end to start, by one distance or one each, with loop
// removal on request, with each corner option. On well-formed components an answer of rc 0 gives sound pieces
// within the room, one after another end to start (and back to the first on a closed chain). Once loops are
// removed from the offset of a chain that closes, no piece comes nearer to the chain than its distance less the
// offset tolerance; once they are removed from an open chain's offset, no piece comes nearer than that to the
// side of another component it was offset to, where the nearest point lies within the component (the far side is
// not offset, and an open chain's ends have no caps). A connecting line of the straight corners (option 2), and any
// line bridging two different distances, is judged by its ends, which lie at the distances: its middle cuts the
// corner. Nothing leaks, also when a heap request fails.
#include "bspline/core/test_support.h"
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
  // The corner option's high bit comes last, so that inputs made before it read as they did.
  const std::int16_t option = static_cast<std::int16_t>(((opts >> 2) & 1) | (in.byte() & 1) << 1);
  const std::int16_t loop_mode = static_cast<std::int16_t>((opts >> 3) & 3);
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
      std::fprintf(stderr, "side %d closed %d option %d loop mode %d single %d distances", side, closed, option,
                   loop_mode, single);
      for (double d : dists) std::fprintf(stderr, " %.17g", d);
      std::fprintf(stderr, "\nrc %d: %d pieces, %d loops\n", rc, num_pieces, num_loops);
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
      // closes off every stretch of its offset that comes nearer by a crossing of the offset with itself. Of an
      // open chain's offset, no piece nearer to another component, on the side it was offset to, than that
      // component's distance, where the nearest point lies within it; a point nearest to an end, or a corner within
      // a component, or lying behind it, is not judged.
      double dmin = dists[0];
      for (int i = 1; i < (single ? 1 : n); ++i) dmin = std::fmin(dmin, dists[i]);
      double first[3], last[3];
      FUZZ_CHECK(fuzz::point_at(comps[0]->cv, comps[0]->start(), first));
      FUZZ_CHECK(fuzz::point_at(comps[n - 1]->cv, comps[n - 1]->end(), last));
      const bool closes = closed && fuzz::dist3(first, last) <= BStoltab[bstol::dist_tol];
      // An open chain is judged where it is offset by one distance and each component's own offset is regular (no
      // cusp, no fold): what enters a band there does so past a corner of the chain. (A component offset by less
      // than another may itself run within the other's distance.)
      bool regular = single;
      for (int k = 0; k < n && regular; ++k) regular = fuzz::smooth_for(*comps[k], dists[0]);
      const bool judged = !(opts & 0x80) && (loop_mode == 1 || loop_mode == 2) &&
                          (closes || (!closed && !(opts & 0x40) && regular));
      const int dir = side ? 1 : -1;
      for (int i = 0; judged && i < num_pieces; ++i) {
        const VOQbsp_curve &p = *pieces[i];
        const bool line = tags[i] == BSJOIN_SEGMENT && (option == 2 || !single);
        for (int s = 0; s <= 16; s += line ? 16 : 1) {
          double q[3];
          FUZZ_CHECK(fuzz::point_at(p, fuzz::range_start(p) + (fuzz::range_end(p) - fuzz::range_start(p)) * s / 16, q));
          for (int k = 0; k < n; ++k) {
            const double dk = single ? dists[0] : dists[k];
            if (closes) {
              FUZZ_CHECK(fuzz::distance_to(comps[k]->cv, q) >= dmin - tol);
              continue;
            }
            // A component's own offset against itself is the single-curve offset's to keep apart.
            if (k == tags[i]) continue;
            // An open chain's ends have no caps: where the chain hooks back, the offset of a component that is not
            // an end component's neighbour may run into that component's band through its open end, crossing no
            // offset on the way (loop removal trims the offset against itself, not against the chain).
            if (!closes && (k == 0 || k == n - 1) && tags[i] >= 0 && std::abs(tags[i] - k) >= 2) continue;
            double u = 0, foot[3], dist = 0;
            int rc2 = 0;
            BSmdstptcv(&comps[k]->cv, q, &u, foot, &dist, &rc2);
            if (rc2 != 0 || !(dist < dk - tol)) continue;
            const double u0 = comps[k]->start(), u1 = comps[k]->end(), ends = 1e-9 * (u1 - u0);
            // Where the nearest point of both components about a corner is the corner, the point is judged on the
            // side the corner's two normals point to; the chain's own ends have no caps.
            const int at_end = u <= u0 + ends ? 0 : u >= u1 - ends ? 1 : -1;
            if (at_end >= 0) {
              const int other = k + (at_end ? 1 : -1);
              if (other < 0 || other >= n) continue;
              // A point nearer to the inside of the other component than to the corner is that one's to judge
              // (and on its far side, not at all).
              double uo = 0, fo[3], near_other = 0;
              int rc3 = 0;
              BSmdstptcv(&comps[other]->cv, q, &uo, fo, &near_other, &rc3);
              const double o0 = comps[other]->start(), o1 = comps[other]->end(), oends = 1e-9 * (o1 - o0);
              if (rc3 != 0 || (at_end ? uo > o0 + oends : uo < o1 - oends)) continue;
              const TestCurve &first = at_end ? *comps[k] : *comps[other], &second = at_end ? *comps[other] : *comps[k];
              double v[3], ta[3], tb[3], w0[3];
              if (!fuzz::point_and_tangent(first.cv, first.end(), v, ta) ||
                  !fuzz::point_and_tangent(second.cv, second.start(), w0, tb))
                continue;
              const double la = std::hypot(ta[0], ta[1]), lb = std::hypot(tb[0], tb[1]);
              if (!(la > 0 && lb > 0)) continue;
              // side (T x normal) for each, summed.
              const double nx = dir * (ta[1] / la + tb[1] / lb), ny = -dir * (ta[0] / la + tb[0] / lb);
              if (std::getenv("FUZZ_DUMP") && (q[0] - v[0]) * nx + (q[1] - v[1]) * ny > 0)
                std::fprintf(stderr, "piece %d at %.17g %.17g: %.17g from a corner of component %d\n", i, q[0], q[1],
                             dist, k);
              FUZZ_CHECK(!((q[0] - v[0]) * nx + (q[1] - v[1]) * ny > 0));
              continue;
            }
            double at[3], d1[3];
            if (!fuzz::point_and_tangent(comps[k]->cv, u, at, d1)) continue;
            // Perpendicular to the component there, and on its offset side: side (T x normal), normal (0, 0, 1).
            const double w[2] = {q[0] - at[0], q[1] - at[1]}, t = std::hypot(d1[0], d1[1]), r = std::hypot(w[0], w[1]);
            if (!(t > 0) || std::fabs(w[0] * d1[0] + w[1] * d1[1]) > 1e-6 * r * t) continue;
            if (std::getenv("FUZZ_DUMP") && dir * (w[0] * d1[1] - w[1] * d1[0]) > 0)
              std::fprintf(stderr, "piece %d at %.17g %.17g: %.17g from component %d at %.17g\n", i, q[0], q[1], dist,
                           k, u);
            FUZZ_CHECK(!(dir * (w[0] * d1[1] - w[1] * d1[0]) > 0));
          }
        }
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
