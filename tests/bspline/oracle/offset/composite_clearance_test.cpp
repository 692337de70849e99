// Composite offsets of long chains of legs short beside the distance, a digitised outline and a zig-zag: every
// corner option, both sides, open and closed, against the distance and against GEOS's offset of the same polyline.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/bspline/oracle/peer_chains.h"

namespace {

using chains::Chain;

// The wave y = 0.6 sin(2 pi x / 3) + 0.05 sin(7.3 x) sampled every 0.05 (legs of 0.05 to 0.1, curving by up to
// 5 a unit: on the inside of each crest the offset by 1 leaves no room to dozens of legs), from its leg `from` on;
// closed, it runs on down to y = -3 and back to its start.
Chain wave(int legs, bool closed, int from = 0) {
  const auto y = [](double x) { return 0.6 * std::sin(2 * M_PI * x / 3) + 0.05 * std::sin(7.3 * x); };
  Chain c;
  for (int k = from; k < from + legs; ++k) c.add_line(0.05 * k, y(0.05 * k), 0.05 * (k + 1), y(0.05 * (k + 1)));
  if (closed) {
    const double x0 = 0.05 * from, x = 0.05 * (from + legs);
    c.add_line(x, y(x), x, -3);
    c.add_line(x, -3, x0, -3);
    c.add_line(x0, -3, x0, y(x0));
    c.closed = true;
  }
  c.path.index();
  return c;
}

// A zig-zag of equal legs, 0.3 along and 0.4 across: every valley leaves its two legs no room, and all of them
// go at the same distance.
Chain zigzag(int legs) {
  Chain c;
  for (int k = 0; k < legs; ++k) c.add_line(0.3 * k, k % 2 ? 0.2 : -0.2, 0.3 * (k + 1), k % 2 ? -0.2 : 0.2);
  c.path.index();
  return c;
}

// Every option and loop mode, to both sides: rc 0, the pieces end to end, nothing nearer the chain than the
// distance (a connecting line of option 2 judged by its ends, which lie at the distance), and with round and
// straight corners every leg's offset point (its middle moved by the distance) that keeps the distance from the
// whole chain on the offset: nothing of it is left out. Near x = 766 the wave's legs turn by 1.5e-5: the
// straight join takes such ends for overlapping and meets them in the middle of the overlap. Away from an open
// chain's ends, where GEOS keeps the raw offsets of the last legs, GEOS is a second opinion: its mitred offset
// curve is ours of option 0 (up to its simplification of the input by 1% of the distance), and our round corners
// lie on its round buffer's outline within the chords it draws its arcs with.
TEST(CompositeClearanceOracle, LongChainsOfShortLegsKeepTheDistance) {
  const double d = 1, tol = 1e-9, chords = 1 - std::cos(M_PI / 2 / 64);
  const struct {
    const char *what;
    Chain c;
    int legs;
  } rows[] = {{"wave", wave(400, false), 400},
              {"closed wave", wave(400, true), 400},
              {"zig-zag", zigzag(200), 200},
              {"wave from x = 762.5", wave(150, false, 15250), 150}};
  for (const auto &r : rows) {
    const Chain &c = r.c;
    const bool closed = c.closed;
    const chains::Element &first = c.path.elements.front(), &last = c.path.elements[r.legs - 1];
    const auto judged = [&](double x, double y) {
      return closed || (std::hypot(x - first.x0, y - first.y0) > 2 * d && std::hypot(x - last.x1, y - last.y1) > 2 * d);
    };
    for (const BSboolean right : {BSTRUE, BSFALSE}) {
      std::vector<double> xy{first.x0, first.y0};
      for (int k = 0; k < r.legs; ++k) xy.insert(xy.end(), {c.path.elements[k].x1, c.path.elements[k].y1});
      std::vector<double> xyz;
      for (std::size_t k = 0; k < xy.size(); k += 2) xyz.insert(xyz.end(), {xy[k], xy[k + 1], 0});
      const chains::Path mitre = chains::polyline_path(geos_offset(*polyline_xyz(xyz), right ? -d : d, false), false);
      for (const std::int16_t option : {0, 1, 2})
        for (const std::int16_t loop_mode : {1, 2}) {
          SCOPED_TRACE(testing::Message() << r.what << ", right " << int(right) << ", option " << option
                                          << ", loop mode " << loop_mode);
          const chains::Ours ours(c, right, d, option, loop_mode);
          ASSERT_EQ(ours.rc, 0);
          double nearest = INFINITY, gap = 0, off_geos = 0;
          const int per = 16;
          const auto samples = ours.samples(per);
          for (std::size_t i = 0; i < samples.size(); ++i) {
            const int k = static_cast<int>(i) / (per + 1), at = static_cast<int>(i) % (per + 1);
            if (option == 2 && ours.tags[k] == BSJOIN_SEGMENT && at != 0 && at != per) continue;
            nearest = std::min(nearest, c.path.distance(samples[i][0], samples[i][1]));
            if (at == 0 && i > 0) {
              const auto &e = samples[i - 1], &s = samples[i];
              gap = std::max(gap, std::hypot(e[0] - s[0], e[1] - s[1]));
            }
            if (!closed && option == 0 && judged(samples[i][0], samples[i][1]))
              off_geos = std::max(off_geos, mitre.distance(samples[i][0], samples[i][1]));
          }
          EXPECT_GE(nearest, d - tol);
          EXPECT_LE(gap, tol);
          if (option != 0) {
            double left_out = 0;
            for (int k = 0; k < r.legs; ++k) {
              const chains::Element &e = c.path.elements[k];
              double x, y, nx, ny;
              e.at(0.5, &x, &y), e.right(0.5, &nx, &ny);
              const double s = right ? d : -d, px = x + s * nx, py = y + s * ny;
              if (c.path.distance(px, py) >= d - tol && judged(px, py))
                left_out = std::max(left_out, ours.distance(px, py));
            }
            EXPECT_LE(left_out, 1e-9);
          }
          if (!closed && option == 0) {
            EXPECT_LE(off_geos, 1e-6);
            double missed = 0;
            for (const auto &q : chains::samples_of(mitre))
              if (judged(q[0], q[1])) missed = std::max(missed, ours.distance(q[0], q[1]));
            EXPECT_LE(missed, 1e-6);
          }
          if (!closed && option == 1) {
            const chains::Path outline = chains::geos_buffer_path(c, d, 64);
            double off = 0;
            for (const auto &q : samples)
              if (judged(q[0], q[1])) off = std::max(off, outline.distance(q[0], q[1]));
            EXPECT_LE(off, d * chords + tol);
          }
        }
    }
  }
}

}  // namespace
