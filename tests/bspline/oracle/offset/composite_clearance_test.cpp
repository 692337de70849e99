// Composite offsets of long chains of legs short beside the distance, a digitised outline and a zig-zag: every
// corner option, both sides, open and closed, against the distance and against GEOS's offset of the same polyline.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <utility>
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

namespace {

// A digitised line of n points 0.025 to 0.075 apart: a wave, an arc of a circle over 300 degrees, or a spiral
// winding out from a radius of 2; with noise of a fifth of the spacing, or none.
std::vector<double> digitised(std::mt19937 &rng, int n, int kind, bool noisy, bool closed) {
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> noise(0, 0.01);
  const double step = 0.05 * (0.5 + u(rng)), sweep = 5 * M_PI / 3, radius = step * n / sweep;
  std::vector<double> xy;
  double turn = 0;
  for (int i = 0; i < n; ++i) {
    double x, y;
    if (kind == 0) {
      x = step * i, y = 0.6 * std::sin(2 * M_PI * x / 3) + 0.05 * std::sin(7.3 * x);
    } else if (kind == 1) {
      x = radius * std::cos(sweep * i / n), y = radius * std::sin(sweep * i / n);
    } else {
      const double r = 2 + 0.2 * turn;
      x = r * std::cos(turn), y = r * std::sin(turn), turn += step / r;
    }
    if (noisy) x += noise(rng), y += noise(rng);
    xy.insert(xy.end(), {x, y});
  }
  // Closed, a wave runs on below itself and back; the arc's and the spiral's ends are joined by the closing line.
  if (closed && kind == 0) xy.insert(xy.end(), {xy[xy.size() - 2], -3, xy[0], -3});
  return xy;
}

// The legs within reach of (x, y) on the path: their positions along the chain and distances.
std::vector<std::pair<int, double>> legs_near(const chains::Path &p, double x, double y, double reach) {
  std::vector<std::pair<int, double>> out;
  const int rings = static_cast<int>(std::ceil(reach / p.cell)) + 1, i0 = p.cx(x), j0 = p.cy(y);
  std::vector<char> seen(p.elements.size(), 0);
  for (int i = std::max(0, i0 - rings); i <= std::min(p.nx - 1, i0 + rings); ++i)
    for (int j = std::max(0, j0 - rings); j <= std::min(p.ny - 1, j0 + rings); ++j)
      for (const int k : p.grid[static_cast<std::size_t>(j) * p.nx + i]) {
        if (seen[k]) continue;
        seen[k] = 1;
        const double g = p.elements[k].distance(x, y);
        if (g <= reach) out.push_back({k, g});
      }
  return out;
}

}  // namespace

// Digitised lines of 100 to 10,000 points (waves, arcs, spirals; smooth and noisy; far out and tiny) given as one
// polyline component, with a line on from its end or closing it, as a line string reaches the offset: both sides,
// every corner option, loop modes 1 and 2. Wherever the same legs given apart are answered, so is the polyline
// (rc 0, or 47 where the offset falls apart; sharp and round corners, whose own corners are the legs' too), within
// the routine's room (5 pieces for two components); and no
// point of an answer lies nearer to the chain than the distance unless it lies at the distance from a leg two or
// more places from every leg it is nearer to (the chain's far parts, which a one-sided offset does not see).
// STYLESRV_ORACLE_SCALE multiplies the count of lines and lets them grow to 10,000 points.
TEST(CompositeClearanceOracle, PolylinesAsOneComponentAreAnsweredAsTheirLegs) {
  const char *scale_env = std::getenv("STYLESRV_ORACLE_SCALE");
  const int scale = scale_env ? std::max(1, std::atoi(scale_env)) : 1;
  const int sizes[] = {100, 200, 400, 1000, 3000, 10000};
  std::mt19937 rng(15403);
  const double d = 1;
  int answered = 0;
  for (int t = 0; t < 4 * scale; ++t) {
    const int kind = t % 3, n = sizes[scale > 1 ? t % 6 : t % 4];
    const bool noisy = t % 2 == 1, closed = kind != 2 && (t / 3) % 2 == 1;
    // Every third line far out (1e5 to 1e7) or tiny.
    const double shift = t % 3 == 2 ? std::pow(10.0, 5 + (t / 3) % 3) : 0, f = t % 5 == 3 ? 1e-3 : 1;
    std::vector<double> xy = digitised(rng, n, kind, noisy, closed);
    for (std::size_t k = 0; k < xy.size(); ++k) xy[k] = shift + f * xy[k];
    const double x = xy[xy.size() - 2], y = xy.back();
    Chain legs, one;
    for (std::size_t k = 2; k < xy.size(); k += 2) legs.add_line(xy[k - 2], xy[k - 1], xy[k], xy[k + 1]);
    std::vector<double> xyz;
    for (std::size_t k = 0; k < xy.size(); k += 2) xyz.insert(xyz.end(), {xy[k], xy[k + 1], 0});
    one.curves.push_back(polyline_xyz(xyz));
    one.path = legs.path;
    const double ex = closed ? xy[0] : x + 0.4 * f, ey = closed ? xy[1] : y - 0.3 * f;
    legs.add_line(x, y, ex, ey), one.add_line(x, y, ex, ey);
    legs.closed = one.closed = closed;
    legs.path.index(), one.path.index();
    const int count = static_cast<int>(one.path.elements.size());
    const double dd = d * f, tol = BStoltab[bstol::dist_tol] + 1e-13 * std::fabs(shift);
    for (const BSboolean right : {BSTRUE, BSFALSE})
      for (const std::int16_t option : {0, 1, 2})
        for (const std::int16_t loop_mode : {1, 2}) {
          SCOPED_TRACE(testing::Message() << "line " << t << " (" << n << " points, kind " << kind << ", noisy "
                                          << noisy << ", closed " << closed << ", shift " << shift << ", scale " << f
                                          << "), right " << int(right) << ", option " << option << ", loop mode "
                                          << loop_mode);
          const chains::Ours apart(legs, right, dd, option, loop_mode);
          const chains::Ours ours(one, right, dd, option, loop_mode);
          // With straight corners a polyline's own corners are mitred, as its offset makes them, and its legs'
          // given apart are not: its answer is judged where it answers.
          if (apart.rc != 0 && apart.rc != 47 && option != 2) continue;
          if (option == 2 && ours.rc != 0 && ours.rc != 47) continue;
          ++answered;
          if (!(ours.rc == 0 || ours.rc == 47)) {
            ADD_FAILURE() << "rc " << ours.rc << " where the legs apart answer " << apart.rc;
            continue;
          }
          EXPECT_LE(ours.m, 5);
          // Four samples a span.
          int most = 1;
          for (int k = 0; k < ours.m; ++k)
            most = std::max(most, ours.pieces[k]->num_poles - ours.pieces[k]->order + 1);
          const int per = 4 * most;
          const auto samples = ours.samples(per);
          int wrong = 0;
          double worst = INFINITY, at[2] = {0, 0};
          for (std::size_t i = 0; i < samples.size(); ++i) {
            const int k = static_cast<int>(i) / (per + 1), s = static_cast<int>(i) % (per + 1);
            if (option == 2 && ours.tags[k] == BSJOIN_SEGMENT && s != 0 && s != per) continue;
            const double px = samples[i][0], py = samples[i][1];
            if (one.path.distance(px, py) >= dd - tol) continue;
            // A piece's own legs are its component's, a join's those of the pieces about it; a point may lie at the
            // distance from an own leg's line past its end, where a mitre carries the offset on.
            const int own[3] = {ours.tags[k], ours.tags[k] >= 0 || k == 0 ? -1 : ours.tags[k - 1],
                                ours.tags[k] >= 0 || k + 1 == ours.m ? -1 : ours.tags[k + 1]};
            const auto mine = [&](int leg) {
              const int comp = leg < count - 1 ? 0 : 1;
              return comp == own[0] || comp == own[1] || comp == own[2];
            };
            const auto on_line = [&](int leg) {
              const chains::Element &e = one.path.elements[leg];
              const double dx = e.x1 - e.x0, dy = e.y1 - e.y0;
              return std::fabs(std::fabs(dx * (py - e.y0) - dy * (px - e.x0)) / std::hypot(dx, dy) - dd) <= tol;
            };
            const auto near = legs_near(one.path, px, py, 20 * dd);
            bool explained = false;
            for (const auto &[a, ga] : near) {
              if (!(std::fabs(ga - dd) <= tol) && !(mine(a) && on_line(a))) continue;
              explained = true;
              for (const auto &[b, gb] : near) {
                const int gap = closed ? std::min(std::abs(a - b), count - std::abs(a - b)) : std::abs(a - b);
                if (gb < dd - tol && gap < 2) explained = false;
              }
              if (explained) break;
            }
            if (explained) continue;
            ++wrong;
            if (one.path.distance(px, py) < worst) worst = one.path.distance(px, py), at[0] = px, at[1] = py;
          }
          EXPECT_EQ(wrong, 0) << "nearest " << worst << " at (" << at[0] << ", " << at[1] << ")";
        }
  }
  EXPECT_GT(answered, 0);
}
