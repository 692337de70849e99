// Composite offsets of long digitised contours (chains of a great many short legs, as a digitiser or an import
// hands them over: noisy circles, letter-like outlines, spirals, wavy lines, zig-zags, far from the origin and
// tiny) judged by the plain rule and beside GEOS: rc 0, the pieces end to end, nothing nearer the chain than the
// distance less the offset tolerance, and nothing of the exact offset left out.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/bspline/oracle/peer_chains.h"

namespace {

using chains::Chain;

// The chain of segments through the points (x, y pairs); closed, back to the first.
Chain through(const std::vector<double> &xy, bool closed) {
  Chain c;
  const std::size_t n = xy.size() / 2;
  for (std::size_t k = 0; k + (closed ? 0 : 1) < n; ++k)
    c.add_line(xy[2 * k], xy[2 * k + 1], xy[2 * ((k + 1) % n)], xy[2 * ((k + 1) % n) + 1]);
  c.closed = closed;
  c.path.index();
  return c;
}

// Digitised contours: points about every `step` along a shape, each moved by up to `noise` either way in x and y.
struct Digitiser {
  std::mt19937 rng;
  double noise;
  std::vector<double> xy;
  void add(double x, double y) {
    std::uniform_real_distribution<double> e(-noise, noise);
    xy.push_back(x + e(rng)), xy.push_back(y + e(rng));
  }
  // The segment to (x, y) from the last point, in steps of about `step`.
  void line_to(double x, double y, double step) {
    const double x0 = xy[xy.size() - 2], y0 = xy.back();
    const int n = std::max(1, static_cast<int>(std::hypot(x - x0, y - y0) / step));
    for (int i = 1; i <= n; ++i) add(x0 + (x - x0) * i / n, y0 + (y - y0) * i / n);
  }
};

// A circle of radius r about the origin, counter-clockwise, in n points.
std::vector<double> noisy_circle(std::mt19937 &rng, int n, double r, double noise) {
  Digitiser g{std::mt19937(rng()), noise, {}};
  for (int i = 0; i < n; ++i) g.add(r * std::cos(2 * M_PI * i / n), r * std::sin(2 * M_PI * i / n));
  return g.xy;
}

// A letter-like outline of about n points, counter-clockwise: an E, an L, a T or a U of strokes 3 wide (at an
// offset by 1 each side keeps room inside), rounded nowhere, its corners sharp.
std::vector<double> letter(std::mt19937 &rng, int n, int which, double noise) {
  static const std::vector<std::vector<double>> shapes = {
      {0, 0, 12, 0, 12, 3, 3, 3, 3, 7, 9, 7, 9, 10, 3, 10, 3, 14, 12, 14, 12, 17, 0, 17},  // E
      {0, 0, 12, 0, 12, 3, 3, 3, 3, 17, 0, 17},                                             // L
      {4.5, 0, 7.5, 0, 7.5, 14, 12, 14, 12, 17, 0, 17, 0, 14, 4.5, 14},                     // T
      {0, 0, 12, 0, 12, 17, 9, 17, 9, 3, 3, 3, 3, 17, 0, 17},                               // U
  };
  const std::vector<double> &s = shapes[static_cast<std::size_t>(which) % shapes.size()];
  const std::size_t k = s.size() / 2;
  double perimeter = 0;
  for (std::size_t i = 0; i < k; ++i)
    perimeter += std::hypot(s[2 * ((i + 1) % k)] - s[2 * i], s[2 * ((i + 1) % k) + 1] - s[2 * i + 1]);
  Digitiser g{std::mt19937(rng()), noise, {}};
  g.add(s[0], s[1]);
  for (std::size_t i = 1; i <= k; ++i) g.line_to(s[2 * (i % k)], s[2 * (i % k) + 1], perimeter / n);
  g.xy.resize(g.xy.size() - 2);  // the last point is the first again
  return g.xy;
}

// An open spiral of n points, its turns 3.5 apart, from radius 4 outwards.
std::vector<double> spiral(std::mt19937 &rng, int n, double noise) {
  Digitiser g{std::mt19937(rng()), noise, {}};
  double t = 0;
  for (int i = 0; i < n; ++i) {
    const double r = 4 + 3.5 * t / (2 * M_PI);
    g.add(r * std::cos(t), r * std::sin(t));
    t += 0.08 / r;
  }
  return g.xy;
}

// The wave y = 0.6 sin(2 pi x / 3) + 0.05 sin(7.3 x) in n points 0.05 apart, from x0.
std::vector<double> wave(std::mt19937 &rng, int n, double x0, double noise) {
  Digitiser g{std::mt19937(rng()), noise, {}};
  for (int i = 0; i < n; ++i) {
    const double x = x0 + 0.05 * i;
    g.add(x, 0.6 * std::sin(2 * M_PI * x / 3) + 0.05 * std::sin(7.3 * x));
  }
  return g.xy;
}

// A zig-zag of n points, legs 0.05 to 0.15 along and 0.1 to 0.4 across.
std::vector<double> zigzag(std::mt19937 &rng, int n, double noise) {
  std::uniform_real_distribution<double> along(0.05, 0.15), across(0.1, 0.4);
  Digitiser g{std::mt19937(rng()), noise, {}};
  double x = 0;
  for (int i = 0; i < n; ++i) g.add(x, (i % 2 ? 0.5 : -0.5) * across(rng)), x += along(rng);
  return g.xy;
}

// The points scaled by f and moved by (dx, dy).
std::vector<double> placed(std::vector<double> xy, double f, double dx, double dy) {
  for (std::size_t k = 0; k < xy.size(); k += 2) xy[k] = xy[k] * f + dx, xy[k + 1] = xy[k + 1] * f + dy;
  return xy;
}

// The side of (x, y) from a chain of lines: 1 right of its nearest leg, -1 left of it, 2 where its nearest point is a
// corner or an end.
int side_of(const chains::Path &p, double x, double y) {
  double best = INFINITY;
  int side = 0;
  const int i0 = p.cx(x), j0 = p.cy(y);
  for (int ring = 0; ring <= std::max(p.nx, p.ny); ++ring) {
    if (best < (ring - 1) * p.cell) break;
    for (int i = i0 - ring; i <= i0 + ring; ++i)
      for (int j = j0 - ring; j <= j0 + ring; ++j) {
        if (i < 0 || j < 0 || i >= p.nx || j >= p.ny || (std::abs(i - i0) != ring && std::abs(j - j0) != ring)) continue;
        for (int k : p.grid[static_cast<std::size_t>(j) * p.nx + i]) {
          const chains::Element &e = p.elements[k];
          const double dd = e.distance(x, y);
          if (!(dd < best)) continue;
          const double dx = e.x1 - e.x0, dy = e.y1 - e.y0, l2 = dx * dx + dy * dy;
          const double t = l2 > 0 ? ((x - e.x0) * dx + (y - e.y0) * dy) / l2 : 0;
          best = dd, side = t > 1e-9 && t < 1 - 1e-9 ? ((dx * (y - e.y0) - dy * (x - e.x0)) < 0 ? 1 : -1) : 2;
        }
      }
  }
  return side;
}

// What is wrong with our offset of the chain by d (or nothing): rc, a gap between pieces (closed: round to the
// first), a point nearer the chain than d less the offset tolerance (a connecting line of option 2 judged by its
// ends, which lie at the distance, its middle cutting the corner), GEOS's distance to the chain disagreeing with
// ours, or a point of the exact offset (a leg's middle moved by d to the side) that keeps the distance from the
// whole chain and that the offset leaves out. Near an open chain's ends the exact offset is not judged.
std::string fault(const Chain &c, const chains::Ours &ours, BSboolean right, double d, std::int16_t option,
                  const chains::Path *geos_outline = nullptr, bool apart = false) {
  char why[200];
  if ((ours.rc != 0 && ours.rc != 47) || ours.m < 1) {
    std::snprintf(why, sizeof why, "rc %d with %d pieces", ours.rc, ours.m);
    return why;
  }
  const double gap_tol = BStoltab[bstol::dist_tol], tol = BStoltab[bstol::offset_tol];
  const int per = 16;
  const auto samples = ours.samples(per);
  // rc 47 tells where the offset falls apart.
  for (int k = 0; ours.rc == 47 && !apart && k + 1 < ours.m; ++k) {
    const auto &e = samples[static_cast<std::size_t>(k) * (per + 1) + per], &s = samples[(k + 1) * (per + 1)];
    const double gap = std::hypot(e[0] - s[0], e[1] - s[1]);
    if (gap > gap_tol) {
      std::snprintf(why, sizeof why, "rc 47: piece %d (tag %d) of %d ends %.3g from the next at (%.17g, %.17g)", k,
                    ours.tags[k], ours.m, gap, e[0], e[1]);
      return why;
    }
  }
  if (ours.rc == 47 && !apart) return "rc 47";
  for (int k = 0; ours.rc == 0 && k + (c.closed ? 0 : 1) < ours.m; ++k) {
    const auto &e = samples[static_cast<std::size_t>(k) * (per + 1) + per];
    const auto &s = samples[static_cast<std::size_t>((k + 1) % ours.m) * (per + 1)];
    const double gap = std::hypot(e[0] - s[0], e[1] - s[1]);
    if (!(gap <= gap_tol)) {
      std::snprintf(why, sizeof why, "piece %d of %d ends %.3g from the next at (%.17g, %.17g)", k, ours.m, gap, e[0],
                    e[1]);
      return why;
    }
  }
  // The offset as a path of chords, for what it leaves out.
  const chains::Path drawn = ours.drawn(per);
  const double scale = std::max(1.0, std::fabs(c.path.elements[0].x0) + std::fabs(c.path.elements[0].y0));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const int k = static_cast<int>(i / (per + 1)), at = static_cast<int>(i % (per + 1));
    if (option == 2 && ours.tags[k] == BSJOIN_SEGMENT && at != 0 && at != per) continue;
    const double x = samples[i][0], y = samples[i][1], near = c.path.distance(x, y);
    if (!(near >= d - tol)) {
      std::snprintf(why, sizeof why, "piece %d (tag %d) comes within %.9g at (%.17g, %.17g)", k, ours.tags[k], near, x,
                    y);
      return why;
    }
  }
  const auto &first = c.path.elements.front(), &last = c.path.elements.back();
  const auto judged = [&](double x, double y) {
    return c.closed || (std::hypot(x - first.x0, y - first.y0) > 2 * d && std::hypot(x - last.x1, y - last.y1) > 2 * d);
  };
  for (const chains::Element &e : c.path.elements) {
    if (option == 2) break;
    double x, y, nx, ny;
    e.at(0.5, &x, &y), e.right(0.5, &nx, &ny);
    const double s = right ? d : -d, px = x + s * nx, py = y + s * ny;
    if (!(c.path.distance(px, py) >= d * (1 - 1e-9)) || !judged(px, py)) continue;
    // The chords' miss is confirmed on the pieces themselves: an arc's chords lie inside it.
    const double allowed = 10 * BStoltab[bstol::dist_tol] * std::max(1.0, scale * 1e-6);
    double miss = drawn.distance(px, py);
    if (!(miss <= allowed)) miss = ours.distance(px, py);
    if (!(miss <= allowed)) {
      std::snprintf(why, sizeof why, "leaves out (%.17g, %.17g) by %.3g", px, py, miss);
      return why;
    }
  }
  // GEOS's round buffer: its outline's points on our side, away from the corners, lie on our offset (within the
  // buffer's own simplification of the input by a hundredth of the distance), and with round corners every one.
  if (geos_outline)
    for (const chains::Element &g : geos_outline->elements) {
      const double x = g.x0, y = g.y0;
      if (!judged(x, y)) continue;
      // The side of (x, y): that of the nearest leg's interior point, or none at a corner.
      const int side = side_of(c.path, x, y);
      if (side != (right ? 1 : -1) && !(option == 1 && side == 2)) continue;
      if (side == 2) {
        // A round corner's point: on our side when the offset passes near it at all.
        const double miss = drawn.distance(x, y);
        if (miss < 0.5 * d && miss > 0.011 * d) {
          std::snprintf(why, sizeof why, "GEOS's corner point (%.17g, %.17g) lies %.3g from ours", x, y, miss);
          return why;
        }
        continue;
      }
      const double miss = drawn.distance(x, y);
      if (!(miss <= 0.011 * d)) {
        std::snprintf(why, sizeof why, "GEOS's outline point (%.17g, %.17g) lies %.3g from ours", x, y, miss);
        return why;
      }
    }
  return "";
}

// The contours by value that came back with rc 47: an offset with no loop cut by the loop removal; a clear arc
// where three corner circles nearly meet; mitre-extended fragments kept apart from a noisy circle's ring; a corner
// turning by 7.85e-4 radian 4.8e5 from the origin, cut twice; a letter's corner 7.7e6 from the origin where two
// corners that hardly turn lie beside the crossing, and the roundings of their bands left a sliver of one leg's
// offset along the other's that took the crossing's link. Tiny ones, offset by a hundredth: a corner whose offsets'
// ends lie 1.03e-6 apart, which the corner join took for ends that meet and left open; a zig-zag whose spike of
// two legs' straight corners, a tenth of the distance long, was dropped as a twin of the stretch beside it; one
// whose second leg gives way 1.1e-6 from where its neighbours' offsets cross, the two touching across that leg's
// short piece, which the loop removal cut out as a loop.
TEST(ContourOffsetOracle, ContoursByValue) {
  const struct {
    const char *what;
    std::vector<double> xy;
    bool closed;
    BSboolean right;
    std::vector<std::int16_t> options;
    double d = 1;
  } rows[] = {
      {"closed six-point chain",
       {10.372673395648237, -5.947427640948062, 10.39748325661062, -5.9038463006844841, 10.421995546415925,
        -5.8602960203935162, 10.446542744814931, -5.8167099055641422, 10.470755980055962, -5.7730685662949179,
        10.494690236296632, -5.7291157045820427},
       true,
       BSTRUE,
       {1}},
      {"three corner circles",
       {0.15850229026923035, 23.77022016280489, 0.28583598867566429, 23.779564618319093, 0.40070995448420166,
        23.700070183614635, 0.56108392486826775, 23.723797632761237, 0.76940340679900299, 23.693155372620172,
        0.83736622211282219, 23.745949604800217, 1.0348530822881676, 23.699391380736269},
       false,
       BSFALSE,
       {1}},
      {"wavy line far out",
       {-404322.29026816064, 251021.24618222879, -404322.32956838346, 251021.31546983798, -404322.37891167338,
        251021.38168564311, -404322.43047580041, 251021.44453430048, -404322.4754185417, 251021.50623703795,
        -404322.50257481448, 251021.56500941014, -404322.53062085615, 251021.62558249503},
       false,
       BSFALSE,
       {1, 2}},
      {"letter's corner far out, outside",
       {1935002.5788555997, -7660124.8145022802, 1935002.6556315459, -7660124.8145552119, 1935002.7327065694,
        -7660124.8145452365, 1935002.8095300747, -7660124.8145766081, 1935002.8864376429, -7660124.8146389071,
        1935002.9634558139, -7660124.8144957358, 1935003.0402709411, -7660124.814548484, 1935003.1172842057,
        -7660124.8145048432, 1935003.1941533904, -7660124.8146549435, 1935003.2710532744, -7660124.8145645857,
        1935003.3480538223, -7660124.8145720037, 1935003.4249527468, -7660124.8146021366, 1935003.5017360824,
        -7660124.814574833, 1935003.5787768464, -7660124.8145359419, 1935003.6557282684, -7660124.8144858321,
        1935003.732520706, -7660124.8146381322, 1935003.809544072, -7660124.8146026935, 1935003.8863959464,
        -7660124.8145446824, 1935003.9633071746, -7660124.8144821534, 1935004.04037215, -7660124.8146440051,
        1935004.0403255525, -7660124.7376617352, 1935004.0403662864, -7660124.6606979724, 1935004.040447996,
        -7660124.583916164, 1935004.040295531, -7660124.5069258111, 1935004.0402672065, -7660124.42995134,
        1935004.0403359267, -7660124.3531216504, 1935004.0402776452, -7660124.2761884127, 1935004.0403062503,
        -7660124.1992716659, 1935004.0403665693, -7660124.1223386694, 1935004.0403850896, -7660124.0453648781,
        1935004.0403055272, -7660123.9685495114, 1935004.0402693909, -7660123.8914961368, 1935004.040405805,
        -7660123.8146158597, 1935004.0404261334, -7660123.7377426689, 1935004.0404138889, -7660123.6608248595,
        1935004.0403684992, -7660123.583920965, 1935004.0403610303, -7660123.5068778684},
       false,
       BSFALSE,
       {1, 2}},
      {"tiny corner turning by the distance tolerance over the distance",
       {0.24735062412056744, -0.14109882655583289, 0.2476006165953499, -0.14065928858520868, 0.24785162169524425,
        -0.14021807570693931},
       false,
       BSFALSE,
       {1},
       0.01},
      {"tiny zig-zag's spike a tenth of the distance long",
       {3.1723969290545835, -0.0015287437486384379, 3.1735890681285994, 0.0013726182755209764, 3.1745930242120188,
        -0.0019204255462782482, 3.1756167534693884, 0.00077921862698036165, 3.1768071385859571,
        -0.0013518249740230789, 3.1778572930955824, 0.0012761236121048123, 3.179318935079877, -0.0018585097907602122,
        3.1804180041527714, 0.0015096854367386825, 3.181488529328198, -0.0013628659140551445},
       false,
       BSFALSE,
       {2},
       0.01},
      {"tiny zig-zag whose second leg gives way where its neighbours' offsets cross",
       {73.658425519217815, -0.0011697643792883752, 73.659667387760578, 0.0015024007440603844, 73.660747764742354,
        -0.0015182117924144403, 73.661894805917967, 0.0016040858468553462, 73.662781868915616, -0.0017799295392205746},
       false,
       BSFALSE,
       {2},
       0.01},
  };
  for (const auto &r : rows) {
    const Chain c = through(r.xy, r.closed);
    for (const std::int16_t option : r.options)
      for (const std::int16_t loop_mode : {1, 2}) {
        SCOPED_TRACE(testing::Message() << r.what << ", option " << option << ", loop mode " << loop_mode);
        const chains::Ours ours(c, r.right, r.d, option, loop_mode);
        EXPECT_EQ(fault(c, ours, r.right, r.d, option), "");
      }
  }
}

// A mitred chain of lines and arcs whose middle legs give way: the join where the first arc's offset meets the
// line after it kept a stretch 0.08 inside the first leg's band. Its offset falls apart into the end line's piece
// and a ring in the fold (rc 47), nothing of it nearer than the distance. By value, to both loop modes.
TEST(ContourOffsetOracle, MitredArcsAndLinesKeepTheFirstLegsBand) {
  Chain c;
  const auto arc = [&](double cx, double cy, double r, double x0, double y0, double sweep) {
    chains::Element e;
    e.arc = true, e.cx = cx, e.cy = cy, e.r = r, e.a0 = std::atan2(y0 - cy, x0 - cx), e.sweep = sweep;
    e.at(0, &e.x0, &e.y0), e.at(1, &e.x1, &e.y1);
    c.curves.push_back(circular_arc(r, e.a0, sweep, 1, cx, cy));
    c.path.elements.push_back(e);
    c.lines_only = false;
  };
  arc(2.2875888142844238, -0.68172186403573931, 2.387008019078189, 0, 0, 1.6488048657272212);
  c.add_line(c.path.elements.back().x1, c.path.elements.back().y1, 3.8599706980546058, -2.004011439915367);
  c.add_line(3.8599706980546058, -2.004011439915367, 3.6265060942062086, -0.020513754644092774);
  arc(3.5977033590284186, 0.89476921710018631, 0.91573605144646386, 3.6265060942062086, -0.020513754644092774,
      -1.7033951202423736);
  arc(2.6788098922172296, -0.73817373779973816, 1.7254209392008899, c.path.elements.back().x1,
      c.path.elements.back().y1, 0.93115608313691811);
  c.add_line(c.path.elements.back().x1, c.path.elements.back().y1, 0.27517480508361136, 2.3225480124018274);
  c.path.index();
  for (const std::int16_t loop_mode : {1, 2}) {
    SCOPED_TRACE(testing::Message() << "loop mode " << loop_mode);
    const chains::Ours ours(c, BSFALSE, 1.0, 0, loop_mode);
    EXPECT_EQ(fault(c, ours, BSFALSE, 1.0, 0, nullptr, true), "");
  }
}

// Long digitised contours, none crossing itself: noisy circles, letter-like outlines with digitiser noise, spirals,
// wavy lines and zig-zags of 1,000 to 10,000 legs, at the origin, far out (1e5 to 1e7) and tiny (a hundredth, the
// distance with them); every corner option, loop modes 1 and 2, both sides. Each answer is judged by the plain rule
// and beside GEOS's round buffer. STYLESRV_ORACLE_SCALE multiplies the number of contours, and from 4 on lets them
// run to 10,000 legs.
TEST(ContourOffsetOracle, LongDigitisedContoursKeepTheDistance) {
  const char *scale_env = std::getenv("STYLESRV_ORACLE_SCALE");
  const int scale = scale_env ? std::max(1, std::atoi(scale_env)) : 1;
  std::mt19937 rng(7154);
  std::uniform_real_distribution<double> u(0, 1);
  int calls = 0, failing = 0;
  for (int t = 0; t < 10 * scale; ++t) {
    const int family = t % 5;
    const int n = scale >= 4 ? 1000 + static_cast<int>(9000 * u(rng) * u(rng)) : 1000 + static_cast<int>(500 * u(rng));
    const double noise = 1e-4;
    std::vector<double> xy;
    bool closed = true;
    switch (family) {
      case 0: xy = noisy_circle(rng, n, 5 + 10 * u(rng) * n / 1000.0, noise); break;
      case 1: xy = letter(rng, n, t / 5, noise); break;
      case 2: xy = spiral(rng, n, noise), closed = false; break;
      case 3: xy = wave(rng, n, 100 * u(rng), noise), closed = false; break;
      default: xy = zigzag(rng, n, noise), closed = false; break;
    }
    // Every third contour far out, every third tiny (the distance with it).
    const int where = (t / 5) % 3;
    const double f = where == 2 ? 0.01 : 1, far = std::pow(10.0, 5 + 2 * u(rng));
    const double a = 2 * M_PI * u(rng);
    xy = placed(xy, f, where == 1 ? far * std::cos(a) : 0, where == 1 ? far * std::sin(a) : 0);
    const Chain c = through(xy, closed);
    const double d = f;
    const chains::Path outline = chains::geos_buffer_path(c, d, 16);
    for (const BSboolean right : {BSTRUE, BSFALSE})
      for (const std::int16_t option : {0, 1, 2})
        for (const std::int16_t loop_mode : {1, 2}) {
          SCOPED_TRACE(testing::Message() << "contour " << t << " (family " << family << ", " << n << " points, at "
                                          << xy[0] << ", " << xy[1] << "), right " << int(right) << ", option "
                                          << option << ", loop mode " << loop_mode);
          const chains::Ours ours(c, right, d, option, loop_mode);
          ++calls;
          const std::string why = fault(c, ours, right, d, option, &outline);
          if (!why.empty()) ++failing;
          EXPECT_EQ(why, "");
        }
  }
  EXPECT_EQ(failing, 0) << "of " << calls;
}


}  // namespace
