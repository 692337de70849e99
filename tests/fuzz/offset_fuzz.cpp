// Offsets of one plane curve of any record: the whole curve with its corners joined and, on request, its loops
// removed, and one smooth piece by itself. On a well-formed curve an answer of rc 0 is a sound record whose
// samples keep the distance: within it plus the offset tolerance of the curve where corners are rounded, never
// nearer than it less the tolerance once loops are removed from the offset of a closed curve that does not meet
// itself (the loops handed back lie nearer, and so does an offset reversed as a whole without meeting itself,
// which loop removal hands back as it is); every point at the distance from a smooth curve, outside any loop,
// lies on the offset; a smooth piece's offset follows its true offset within the tolerance. Nothing leaks, also
// when a heap request fails.
#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

void check_record(const VOQbsp_curve *cv) {
  FUZZ_CHECK(cv && BScvcheck(cv) == 0);
  FUZZ_CHECK(fuzz::finite(cv->poles, 3 * static_cast<std::size_t>(cv->num_poles)));
}

// Whether cv runs over itself the same way: two samples a stretch apart both lie within tol of parts of the curve
// at least two chords away from them that head the same way there. Loop removal takes the stretch between two such
// runs as a loop, as it takes the loop a crossing closes, but the runs do not cross: the crossing search sees
// nothing there. Runs the opposite way make no loop and do not count.
bool runs_over_itself(const VOQbsp_curve &cv, double tol, double scale) {
  struct Sample {
    double u, p[3], t[3];
  };
  std::vector<Sample> at;
  for (int s = cv.order - 1; s < cv.num_poles; ++s) {
    const double a = cv.knots[s], b = cv.knots[s + 1];
    if (!(a < b)) continue;
    for (int i = at.empty() ? 0 : 1; i <= 24; ++i) {
      Sample x{a + (b - a) * i / 24, {}, {}};
      if (!fuzz::point_and_tangent(cv, x.u, x.p, x.t)) return false;
      at.push_back(x);
    }
  }
  const double r = fuzz::range_end(cv) - fuzz::range_start(cv);
  auto heads = [&](const double t[3]) { return std::hypot(t[0], t[1]) * r > 1e-6 * scale; };
  auto same_way = [](const double t[3], double x, double y) { return t[0] * x + t[1] * y > 0; };
  // Sample i on the chord [j, j + 1] of another stretch, heading the same way.
  auto on_other = [&](std::size_t i) {
    const Sample &x = at[i];
    if (!heads(x.t)) return false;
    for (std::size_t j = 0; j + 1 < at.size(); ++j) {
      if (j + 3 > i && j < i + 2) continue;
      const Sample &a = at[j], &b = at[j + 1];
      const double ex = b.p[0] - a.p[0], ey = b.p[1] - a.p[1], wx = x.p[0] - a.p[0], wy = x.p[1] - a.p[1];
      const double len = std::hypot(ex, ey);
      if (!same_way(x.t, ex, ey)) continue;
      const double f = std::clamp((ex * wx + ey * wy) / (len * len), 0.0, 1.0);
      // The curve keeps within about a chord's length of its chord: only near chords are searched.
      if (std::hypot(wx - f * ex, wy - f * ey) > tol + len) continue;
      // The foot on the curve between the chord's ends, by Newton steps from the chord's.
      double u = a.u + f * (b.u - a.u), p[3], t[3];
      bool found = true;
      for (int it = 0; it < 6 && found; ++it) {
        found = fuzz::point_and_tangent(cv, u, p, t) && heads(t);
        if (found)
          u = std::clamp(u + ((x.p[0] - p[0]) * t[0] + (x.p[1] - p[1]) * t[1]) / (t[0] * t[0] + t[1] * t[1]), a.u, b.u);
      }
      if (found && fuzz::point_and_tangent(cv, u, p, t) && std::hypot(x.p[0] - p[0], x.p[1] - p[1]) <= tol &&
          heads(t) && same_way(x.t, t[0], t[1]))
        return true;
    }
    return false;
  };
  std::vector<signed char> on(at.size(), -1);
  auto on_cached = [&](std::size_t i) {
    if (on[i] < 0) on[i] = on_other(i);
    return on[i] == 1;
  };
  for (std::size_t i = 0; i + 1 < at.size(); ++i)
    if (std::hypot(at[i + 1].p[0] - at[i].p[0], at[i + 1].p[1] - at[i].p[1]) > 2 * tol && on_cached(i) &&
        on_cached(i + 1))
      return true;
  return false;
}

// Twice the area cv encloses in xy, positive where it runs anticlockwise: its samples, every span's ends among
// them, taken as a polygon (a connecting line squeezed into a span of no visible length is one of its legs).
double signed_area(const VOQbsp_curve &cv) {
  double sum = 0, first[3] = {}, prev[3] = {};
  bool have = false;
  for (int s = cv.order - 1; s < cv.num_poles; ++s) {
    const double a = cv.knots[s], b = cv.knots[s + 1];
    if (!(a < b)) continue;
    for (int i = 0; i <= 24; ++i) {
      double p[3];
      if (!fuzz::point_at(cv, a + (b - a) * i / 24, p)) return 0;
      if (have) sum += prev[0] * p[1] - p[0] * prev[1];
      else std::copy(p, p + 3, first), have = true;
      std::copy(p, p + 3, prev);
    }
  }
  return sum + prev[0] * first[1] - first[0] * prev[1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  fuzz::InjectedFailure failure(in.byte());
  const auto c = fuzz::read_curve(in, 16);
  fuzz::flatten(*c);
  const double d = std::fabs(in.number());
  const BSboolean side_flag = opts & 1;
  const int corner_mode = (opts >> 1) & 1, side = side_flag ? 1 : -1;
  const std::int16_t loop_mode = static_cast<std::int16_t>((opts >> 2) & 3);
  const bool sane = fuzz::sound(*c) && d <= 1e3;
  const double scale = fuzz::scale_of(*c) + d;
  const double tol = 2 * BStoltab[bstol::offset_tol] + 1e-9 * scale;
  const double normal[3] = {0, 0, 1}, no_side[3] = {0, 0, 0};
  BStraceclear();
  const fuzz::BlockCount blocks;
  {
    VOQbsp_curve *result = nullptr, **pieces = nullptr;
    int count = -1, rc = 0;
    BSboolean flag = side_flag;
    failure.arm();
    BScvoffsetd(&c->cv, d, no_side, BSTRUE, corner_mode, loop_mode, &flag, normal, &result, &count, &pieces, &rc);
    failure.disarm();
    const fuzz::HeapCurve own_result(result);
    std::vector<fuzz::HeapCurve> own_pieces;
    for (int i = 0; i < count; ++i) own_pieces.emplace_back(pieces[i]);
    const fuzz::HeapArray<VOQbsp_curve *> own_array(pieces);
    if (std::getenv("FUZZ_DUMP")) {
      std::fprintf(stderr, "whole at %.17g, corners %d, loops %d, side %d: rc %d, %d pieces\n", d, corner_mode,
                   loop_mode, side, rc, count);
      if (result) fuzz::dump("offset", *result);
    }
    FUZZ_CHECK(count >= 0 && (count > 0) == (pieces != nullptr));
    if (rc != 0 && rc != BSRC_OFFSET_PASSES) FUZZ_CHECK(!result && count == 0);
    if (rc == 0 || rc == BSRC_OFFSET_PASSES) {
      check_record(result);
      for (int i = 0; i < count; ++i) check_record(pieces[i]);
    }
    if (rc == 0 && sane && !failure.hit()) {
      // Loop removal leaves nothing nearer than the distance only where every stretch of the offset that comes
      // nearer is closed off by a crossing of the offset with itself: on a closed curve that does not meet itself,
      // whose one side is one region. An open curve's offset has no caps at its ends, and the offset of one stretch
      // may enter the band of another from that one's far side, which is not offset: no crossing marks either.
      // A curve that runs over itself the same way meets itself as well: its offset does so too, and the stretch
      // between the two runs is a loop.
      const bool removes = loop_mode == 1 || loop_mode == 2;
      // Every crossing counts, also two found at one point where the curve passes three times (a negative
      // `apart` keeps those the crossing search would drop as not isolated) and two so near that one pair of
      // chords holds both.
      // The seam of a closed curve, where its end meets its start, is no crossing.
      auto at_seam = [&](const fuzz::Crossing &x) {
        const double lo = fuzz::range_start(c->cv), hi = fuzz::range_end(c->cv), e = 1e-9 * (hi - lo);
        return c->cv.phy_closed && std::fmin(x.s, x.t) - lo <= e && hi - std::fmax(x.s, x.t) <= e;
      };
      auto meets_itself = [&, known = -1]() mutable {
        if (known < 0) {
          const auto xs = fuzz::planar_crossings(c->cv, c->cv, scale, 0, -1, 24, true);
          known = std::any_of(xs.begin(), xs.end(), [&](const fuzz::Crossing &x) { return !at_seam(x); }) ||
                  runs_over_itself(c->cv, tol, scale);
          if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "  the curve %s itself\n", known ? "meets" : "misses");
        }
        return known == 1;
      };
      const bool removed_all = removes && c->cv.phy_closed && !meets_itself();
      // An offset that does not meet itself and runs against the curve (a closed curve offset inwards past its
      // inradius, reversed as a whole) goes through loop removal as it is: the result is that offset, nearer.
      auto handed_as_is = [&, known = -1]() mutable {
        if (known < 0) {
          VOQbsp_curve *raw = nullptr, **raw_pieces = nullptr;
          int raw_count = 0, raw_rc = 0;
          BSboolean raw_flag = side_flag;
          BScvoffsetd(&c->cv, d, no_side, BSTRUE, corner_mode, 0, &raw_flag, normal, &raw, &raw_count, &raw_pieces,
                      &raw_rc);
          const fuzz::HeapCurve own_raw(raw);
          FUZZ_CHECK(raw_count == 0 && !raw_pieces);
          const double lo = raw ? fuzz::range_start(*raw) : 0, hi = raw ? fuzz::range_end(*raw) : 0;
          auto seam = [&](const fuzz::Crossing &x) {
            return std::fmin(x.s, x.t) - lo <= 1e-9 * (hi - lo) && hi - std::fmax(x.s, x.t) <= 1e-9 * (hi - lo);
          };
          bool same = (raw_rc == 0 || raw_rc == BSRC_OFFSET_PASSES) && raw->num_poles == result->num_poles &&
                      raw->order == result->order && raw->rational == result->rational;
          for (int i = 0; same && i < raw->num_poles + raw->order; ++i) same = raw->knots[i] == result->knots[i];
          for (int i = 0; same && i < 3 * raw->num_poles; ++i) same = raw->poles[i] == result->poles[i];
          if (same) {
            const auto xs = fuzz::planar_crossings(*raw, *raw, scale, 0, -1, 24, true);
            same = std::all_of(xs.begin(), xs.end(), seam) && signed_area(*raw) * signed_area(c->cv) < 0;
          }
          known = same;
          if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "  offset %s as it is\n", same ? "reversed," : "not kept");
        }
        return known == 1;
      };
      std::vector<const VOQbsp_curve *> parts = {result};
      for (int i = 0; i < count; ++i) parts.push_back(pieces[i]);
      for (const VOQbsp_curve *part : parts) {
        for (int s = 0; s <= 32; ++s) {
          double q[3];
          FUZZ_CHECK(fuzz::point_at(*part, fuzz::range_start(*part) + (fuzz::range_end(*part) - fuzz::range_start(*part)) * s / 32, q));
          const double to_curve = fuzz::distance_to(c->cv, q);
          if (std::getenv("FUZZ_DUMP"))
            std::fprintf(stderr, "  sample %d (%.17g, %.17g): %.17g from the curve\n", s, q[0], q[1], to_curve);
          if (corner_mode == 1) FUZZ_CHECK(to_curve <= d + tol);
          // Loop mode 1 hands back the loops it removed: those come nearer.
          if (removed_all && part == result) FUZZ_CHECK(to_curve >= d - tol || handed_as_is());
        }
      }
      // Every offset point outside the loops of a smooth curve is on the offset. Where the curve meets itself,
      // loop removal also takes the loops its crossings and same-way runs make, whose points keep the distance.
      if (fuzz::smooth_for(*c, d) && !(removes && meets_itself())) {
        for (int s = 1; s < 32; ++s) {
          double target[3];
          if (!fuzz::offset_point(c->cv, c->start() + (c->end() - c->start()) * s / 32, d, side, scale, target)) continue;
          if (fuzz::distance_to(c->cv, target) < d - tol) continue;
          double nearest = fuzz::distance_to(*result, target);
          for (int i = 0; i < count; ++i) nearest = std::fmin(nearest, fuzz::distance_to(*pieces[i], target));
          if (std::getenv("FUZZ_DUMP"))
            std::fprintf(stderr, "  target %d (%.17g, %.17g): %.17g from the offset\n", s, target[0], target[1],
                         nearest);
          FUZZ_CHECK(nearest <= tol);
        }
      }
    }
  }
  // One smooth piece by itself: the polygon offset, refined until it follows the true offset.
  if (opts & 0x10) {
    VOQbsp_curve *out = nullptr;
    int rc = 0;
    if (c->order() >= 1 && c->order() <= 16 && c->n() >= c->order()) {
      BSallocvoqcv(c->cv.order, c->n(), c->cv.rational, 0, &out, &rc);
      failure.arm();
      if (rc == 0) BSspnoffset(&c->cv, d, normal, side, &out, &rc);
      failure.disarm();
      const fuzz::HeapCurve own(out);
      if (std::getenv("FUZZ_DUMP")) {
        std::fprintf(stderr, "piece: rc %d\n", rc);
        if (rc == 0) fuzz::dump("piece offset", *out);
      }
      if (rc == 0 || rc == BSRC_OFFSET_PASSES) check_record(out);
      if (rc == 0 && sane && !failure.hit() && fuzz::smooth_for(*c, d)) {
        for (int s = 0; s <= 32; ++s) {
          double target[3];
          if (fuzz::offset_point(c->cv, c->start() + (c->end() - c->start()) * s / 32, d, side, scale, target)) {
            if (std::getenv("FUZZ_DUMP"))
              std::fprintf(stderr, "  at %d: %.17g off\n", s, fuzz::distance_to(*out, target));
            FUZZ_CHECK(fuzz::distance_to(*out, target) <= tol);
          }
        }
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
