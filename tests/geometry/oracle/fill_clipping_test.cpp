// Segments clipped against decomposed boundaries, judged by the plain even-odd rule: the segment's line cut at
// every boundary edge, the stretches between cuts alternately outside and inside. Boundaries of the shapes fills
// come in (stars with holes, folded loops, combs, spirals, nested rings, grids of cells sharing edges, sides
// strewn with vertices closer than the point tolerance), 100 to 40,000 vertices, as given and turned, far from
// the origin and a thousandth in size; segments of every slope, level ones on rows and through vertices, from
// vertex to vertex and along edges among them; and hatch families line by line. The length clipped is the inside
// length within the clipping's tolerances, and no stretch is handed out twice.
//
// STYLESRV_ORACLE_SCALE multiplies the number of boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <random>
#include <vector>

#include "tests/geometry/fill_fixtures.h"
#include "tests/geometry/oracle/fill_peers.h"

namespace {

using Point = std::pair<double, double>;
using Loop = std::vector<Point>;

using fillpeers::Span;

class Shapes {
 public:
  explicit Shapes(unsigned seed) : m_rng(seed) {}
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(m_rng); }
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  std::mt19937& Rng() { return m_rng; }

  Loop Star(double cx, double cy, double r0, double r1, int n) {
    Loop loop;
    for (int k = 0; k < n; ++k) {
      const double a = (k + Uniform(0.05, 0.95)) * 2 * M_PI / n, r = Uniform(r0, r1);
      loop.emplace_back(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    return loop;
  }

  // The kinds, about n vertices each, within some ten units of the origin.
  std::vector<Loop> Make(int kind, int n) {
    std::vector<Loop> loops;
    switch (kind) {
      case 0: {  // a star with holes, some turned the other way
        loops.push_back(Star(0, 0, 3, 5, n));
        for (const double c : {-1.2, 1.2}) {
          Loop hole = Star(c, -c, 0.2, 0.6, std::max(3, n / 20));
          if (Int(0, 1)) std::reverse(hole.begin(), hole.end());
          loops.push_back(hole);
        }
        break;
      }
      case 1: {  // folded over itself, crossing in nearly every band
        Loop loop = FoldedLoop(m_rng, n, 10);
        for (auto& p : loop) p.first *= 10;
        loops.push_back(loop);
        break;
      }
      case 2: {  // a comb: teeth of whole-number corners on two rows
        const int teeth = std::max(2, n / 4);
        Loop loop{{0, 0}, {2.0 * teeth, 0}};
        for (int k = teeth - 1; k >= 0; --k) {
          loop.emplace_back(2.0 * k + 1, 1);
          loop.emplace_back(2.0 * k + 1, 3);
          loop.emplace_back(2.0 * k, 3);
          loop.emplace_back(2.0 * k, 1);
        }
        loop.pop_back();
        loops.push_back(loop);
        break;
      }
      case 3: {  // a spiral strip, its two sides one loop
        const int half = std::max(4, n / 2);
        Loop outer, inner;
        for (int k = 0; k < half; ++k) {
          const double a = 6 * M_PI * k / half, r = 1 + 0.5 * a;
          outer.emplace_back(r * std::cos(a), r * std::sin(a));
          inner.emplace_back((r - 0.6) * std::cos(a), (r - 0.6) * std::sin(a));
        }
        std::reverse(inner.begin(), inner.end());
        outer.insert(outer.end(), inner.begin(), inner.end());
        loops.push_back(outer);
        break;
      }
      case 4: {  // nested rings, each inside the last
        const int rings = Int(2, 6), each = std::max(3, n / rings);
        for (int k = 0; k < rings; ++k) {
          const double r = 5.0 - 0.8 * k;
          loops.push_back(Star(0, 0, r - 0.3, r, each));
          if (k % 2) std::reverse(loops.back().begin(), loops.back().end());
        }
        break;
      }
      case 5: {  // a grid of cells sharing edges, a few left out
        const int side = std::max(2, static_cast<int>(std::sqrt(n / 4.0)));
        for (int i = 0; i < side; ++i) {
          for (int j = 0; j < side; ++j) {
            if (Int(0, 5) == 0) continue;
            const double x = 0.5 * i, y = 0.5 * j;
            loops.push_back({{x, y}, {x + 0.5, y}, {x + 0.5, y + 0.5}, {x, y + 0.5}});
          }
        }
        if (loops.empty()) loops.push_back({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
        break;
      }
      default: {  // sides strewn with vertices closer together than the point tolerance
        Loop loop{{0, 0}, {4, 0}};
        const double step = Uniform(1e-7, 4.9e-7);
        const int strewn = std::max(1, n - 4);
        const double y0 = Uniform(0.1, 2);
        loop.emplace_back(4, y0);
        for (int k = 1; k <= strewn; ++k) loop.emplace_back(4 + (k % 3 == 0 ? 1e-7 : 0), y0 + k * step);
        loop.emplace_back(4, 3);
        loop.emplace_back(0, 3);
        loops.push_back(loop);
        if (Int(0, 1)) loops.push_back({{1, 1}, {2, 1}, {2, 2}, {1, 2}});
      }
    }
    return loops;
  }

 private:
  std::mt19937 m_rng;
};

std::vector<Loop> Placed(const std::vector<Loop>& loops, double angle, double scale, double ox, double oy) {
  const double c = std::cos(angle), s = std::sin(angle);
  std::vector<Loop> placed;
  for (const Loop& loop : loops) {
    placed.emplace_back();
    for (const auto& [x, y] : loop) {
      const double rx = angle == 0 ? x : c * x - s * y, ry = angle == 0 ? y : s * x + c * y;
      placed.back().emplace_back(ox + scale * rx, oy + scale * ry);
    }
  }
  return placed;
}

Boundary ToBoundary(const std::vector<Loop>& loops) {
  Boundary b;
  for (const Loop& loop : loops) b.Loop(loop);
  return b;
}

// The plain rule's answer for one segment. Each vertex is put on one side of the segment's line, so that every
// edge crosses the line once or not at all; the line is inside between the odd and the next even crossing along
// it. A vertex within the point tolerance of the line could be taken on either side, and an edge along the line
// too: both choices are made. What is inside by both lies inside; what is inside by one lies on the boundary (the
// line along a row or an edge, inside on one side of it) and may be counted; so may a gap the clipping closes
// (its ends within the join tolerance in x and y). Taken within the tolerance, both edges of a sliver thinner
// than it fall on one side, and a line along one of them would seem outside the sliver on both: the vertices are
// also put on the side their exact distance gives (those on the line above, then below), and what is inside by
// either of those lies on the boundary as well.
struct Reference {
  double low = 0, high = 0;  // inside length: inside by both choices, inside by either
  double joinedHigh = 0;     // by either, with the gaps the clipping closes closed
  double tolerance = 0;      // how far the clipping's ends may lie from the crossings
  bool grazing = false;      // the segment meets an edge at so small an angle that its ends are not judged
};

class EvenOdd {
 public:
  explicit EvenOdd(const std::vector<Loop>& loops) : m_loops(loops) {
    for (const Loop& loop : loops) {
      for (const auto& p : loop) m_reach = std::max({m_reach, std::fabs(p.first), std::fabs(p.second)});
    }
  }

  Reference Judge(const Span& s) const {
    const double ex = s.x2 - s.x1, ey = s.y2 - s.y1, length = std::hypot(ex, ey);
    const double scale = m_reach + length;
    const double slack = kFillPointTolerance + 1e-12 * scale;
    Reference r;
    if (length == 0) return r;
    constexpr int kChoices = 4;
    std::vector<std::pair<double, double>> inside[kChoices];
    double tolerance = 0;
    std::vector<bool> met;  // per edge: a crossing near the segment by some choice, its tolerance counted
    for (int choice = 0; choice < kChoices; ++choice) {
      std::vector<double> cuts;
      std::size_t edge = 0;
      for (const Loop& loop : m_loops) {
        const std::size_t n = loop.size();
        for (std::size_t i = 0; i < n; ++i, ++edge) {
          if (met.size() <= edge) met.push_back(false);
          const Point& p = loop[i];
          const Point& q = loop[(i + 1) % n];
          const double dp = Side(s, p, ex, ey, length), dq = Side(s, q, ex, ey, length);
          const bool up = Up(dp, choice, slack), uq = Up(dq, choice, slack);
          if (up == uq) continue;
          double t = dp / (dp - dq);
          if (!std::isfinite(t)) t = 0.5;
          t = std::clamp(t, 0.0, 1.0);
          const double x = p.first + t * (q.first - p.first), y = p.second + t * (q.second - p.second);
          const double u = ((x - s.x1) * ex + (y - s.y1) * ey) / (length * length);
          cuts.push_back(u);
          // An edge that only touches the line at a vertex is crossed by one choice alone; near the segment it
          // stays within the tolerance of the line as long as one that crosses it there. One crossed by the exact
          // sides alone lies within the tolerance of the line all along, which the choices above cover.
          if (choice < 2 && !met[edge] && u > -1e-3 && u < 1 + 1e-3) {
            met[edge] = true;
            // Where the segment meets an edge at a small angle, the clipping's crossing (taken within the
            // point tolerance of the side) may lie that tolerance over the sine from the true one.
            const double fx = q.first - p.first, fy = q.second - p.second, f = std::hypot(fx, fy);
            const double sine = f > 0 ? std::fabs(ex * fy - ey * fx) / (length * f) : 1.0;
            if (sine < 1e-3) r.grazing = true;
            tolerance += 4 * slack / std::max(sine, 1e-3);
          }
        }
      }
      std::sort(cuts.begin(), cuts.end());
      for (std::size_t k = 0; k + 1 < cuts.size(); k += 2) {
        const double a = std::max(cuts[k], 0.0), b = std::min(cuts[k + 1], 1.0);
        if (a < b) inside[choice].emplace_back(a, b);
      }
    }
    // Inside on both sides of the line within the tolerance is inside for certain; inside by any choice, on the
    // boundary.
    std::vector<std::pair<double, double>> either;
    for (const auto& choice : inside) either.insert(either.end(), choice.begin(), choice.end());
    std::sort(either.begin(), either.end());
    std::vector<std::pair<double, double>> united;
    for (const auto& i : either) {
      if (!united.empty() && i.first <= united.back().second) {
        united.back().second = std::max(united.back().second, i.second);
      } else {
        united.push_back(i);
      }
    }
    for (const auto& a : inside[0]) {
      for (const auto& b : inside[1]) r.low += std::max(0.0, std::min(a.second, b.second) - std::max(a.first, b.first));
    }
    r.low *= length;
    for (std::size_t k = 0; k < united.size(); ++k) {
      r.high += (united[k].second - united[k].first) * length;
      if (k + 1 < united.size()) {
        const double gap = united[k + 1].first - united[k].second;
        if (std::fabs(gap * ex) <= kFillJoinTolerance && std::fabs(gap * ey) <= kFillJoinTolerance) {
          r.joinedHigh += gap * length;
        }
      }
    }
    r.joinedHigh += r.high;
    r.tolerance = tolerance + 4 * slack;
    return r;
  }

 private:
  // Signed distance from the segment's line.
  static double Side(const Span& s, const Point& p, double ex, double ey, double length) {
    return (ex * (p.second - s.y1) - ey * (p.first - s.x1)) / length;
  }
  // Choices 0 and 1 put a vertex within `near` of the line above it, then below; 2 and 3 by its exact side.
  static bool Up(double d, int choice, double near) {
    switch (choice) {
      case 0: return d > -near;
      case 1: return d > near;
      case 2: return d >= 0;
      default: return d > 0;
    }
  }

  const std::vector<Loop>& m_loops;
  double m_reach = 0;
};

// What the clipping hands out for one segment: the total length, and how much of it covers a stretch twice.
struct Clipped {
  double length = 0;
  double twice = 0;
  std::uint32_t pieces = 0;
};

Clipped Measure(const std::vector<Span>& pieces, const Span& s) {
  const double ex = s.x2 - s.x1, ey = s.y2 - s.y1, length2 = ex * ex + ey * ey;
  Clipped c;
  c.pieces = static_cast<std::uint32_t>(pieces.size());
  std::vector<std::pair<double, double>> along;
  double sum = 0;
  for (const Span& p : pieces) {
    sum += std::hypot(p.x2 - p.x1, p.y2 - p.y1);
    if (length2 == 0) continue;
    double a = ((p.x1 - s.x1) * ex + (p.y1 - s.y1) * ey) / length2;
    double b = ((p.x2 - s.x1) * ex + (p.y2 - s.y1) * ey) / length2;
    if (a > b) std::swap(a, b);
    along.emplace_back(a, b);
  }
  std::sort(along.begin(), along.end());
  double united = 0, reach = -HUGE_VAL;
  for (const auto& [a, b] : along) {
    const double from = std::max(a, reach);
    if (b > from) united += (b - from) * std::sqrt(length2);
    reach = std::max(reach, b);
  }
  c.length = length2 == 0 ? sum : united;
  c.twice = length2 == 0 ? 0 : sum - united;
  return c;
}

std::vector<Span> ClipAll(FillTrap& trap, const Span& s) {
  trap.ClearSegments();
  std::uint32_t count = 0;
  GPosition piece[2];
  std::vector<Span> pieces;
  EXPECT_EQ(trap.ClipSegment({s.x1, s.y1}, {s.x2, s.y2}, &count, piece), kFillOk);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (i > 0 && !trap.NextSegment(piece)) {
      ADD_FAILURE() << "piece " << i << " of " << count << " missing";
      break;
    }
    pieces.push_back({piece[0].x, piece[0].y, piece[1].x, piece[1].y});
  }
  return pieces;
}

std::string Listed(const std::vector<Span>& pieces) {
  std::ostringstream out;
  out << std::setprecision(17);
  for (std::size_t i = 0; i < pieces.size() && i < 8; ++i) {
    out << "\n  (" << pieces[i].x1 << ", " << pieces[i].y1 << ") to (" << pieces[i].x2 << ", " << pieces[i].y2 << ")";
  }
  return out.str();
}

struct Tally {
  int judged = 0, grazing = 0, onRows = 0, faults = 0;
};

// One segment against the rule; a fault is reported with what reproduces it.
void Check(const EvenOdd& rule, const std::vector<Span>& pieces, const Span& s, const char* what, Tally* tally) {
  const Reference r = rule.Judge(s);
  const Clipped c = Measure(pieces, s);
  ++tally->judged;
  const bool doubled = c.twice > kFillJoinTolerance;
  bool off = false;
  if (r.grazing) {
    ++tally->grazing;
  } else {
    off = c.length < r.low - r.tolerance || c.length > r.joinedHigh + r.tolerance;
  }
  if ((doubled || off) && ++tally->faults <= 10) {
    ADD_FAILURE() << what << ": segment (" << s.x1 << ", " << s.y1 << ") to (" << s.x2 << ", " << s.y2 << ")"
                  << std::setprecision(17) << ": clipped " << c.length << " in " << c.pieces << " pieces, "
                  << c.twice << " of it twice; the rule " << r.low << " to " << r.high << " (joined "
                  << r.joinedHigh << "), tolerance " << r.tolerance << Listed(pieces);
  }
}

// Boundaries the random ones found, cut down, where the rule itself is easily misread. A segment along the edge
// of a sliver thinner than the point tolerance lies on the boundary all its length, inside on one side: the
// clipping hands it out whole, which the rule allows only when it puts the vertices by their exact side too. A
// line through a hole's lowest vertex, far out where the tolerance has grown with the coordinates, runs within
// it of the hole's steep side for a while above the vertex: the stretch the clipping keeps there is the
// tolerance over that side's sine, and the side only touches the line, so no choice of side crosses it but one.
TEST(FillClippingOracleTest, SliversAndTouchingSides) {
  const Loop vertexHole{{993622.3333542113, -2609570.0147150275},
                        {993622.4341780562, -2609569.8715466573},
                        {993622.3331093722, -2609569.935154259}};
  const struct {
    const char* name;
    std::vector<Loop> loops;
    Span s;
    double length;  // what the clipping hands out
  } cases[] = {
      {"along a sliver's edge, turned, a thousandth in size",
       {{{0, 0}, {-0.00696, 0.00523}, {-1.5e-7, -2e-7}}},
       {0, 0, -0.00696, 0.00523},
       std::hypot(0.00696, 0.00523)},
      {"the same far out",
       {{{1e5, 0}, {1e5 - 0.00696, 0.00523}, {1e5 - 1.5e-7, -2e-7}}},
       {1e5 - 0.00696, 0.00523, 1e5, 0},
       std::hypot(0.00696, 0.00523)},
      // The outer ring's vertex on its left side makes a row 1.1e-3 above the hole's vertex.
      {"up through a hole's lowest vertex far out",
       {{{993600, -2609590}, {993640, -2609590}, {993640, -2609550}, {993600, -2609550},
         {993600, -2609570.013603994}},
        vertexHole},
       {993622.3333542113, -2609577.4288317133, 993622.3333542113, -2609565.5087682516},
       (-2609570.0136039942 + 2609577.4288317133) + (-2609565.5087682516 + 2609569.9350001696)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Boundary boundary = ToBoundary(c.loops);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    const std::vector<Span> pieces = ClipAll(trap, c.s);
    EXPECT_NEAR(Measure(pieces, c.s).length, c.length, 1e-9);
    const EvenOdd rule(c.loops);
    EXPECT_FALSE(rule.Judge(c.s).grazing);
    Tally tally;
    Check(rule, pieces, c.s, "segment", &tally);
    EXPECT_EQ(tally.faults, 0);
  }
}

int OracleScale() {
  const char* scale = std::getenv("STYLESRV_ORACLE_SCALE");
  return scale ? std::max(1, std::atoi(scale)) : 1;
}

struct Placement {
  double angle, scale, ox, oy;
};

Placement Place(Shapes& shapes, int round) {
  Placement p{0, 1, 0, 0};
  if (round % 2 == 1) p.angle = shapes.Uniform(0, 2 * M_PI);  // the turned copy of the round before
  switch (round / 2 % 4) {
    case 1: p.scale = 1e-3; break;
    case 2: p.ox = std::pow(10.0, shapes.Uniform(5, 7)), p.oy = -std::pow(10.0, shapes.Uniform(5, 7)); break;
    case 3: p.scale = 1e-3, p.ox = 1e5; break;
    default: break;
  }
  return p;
}

// The vertex counts: a spread over 100 to 40,000, the larger ones rarer.
int VertexCount(Shapes& shapes, int round) {
  if (round % 16 == 5) return 40000;
  return static_cast<int>(std::pow(10.0, shapes.Uniform(2, round % 4 == 0 ? 4 : 3)));
}

TEST(FillClippingOracleTest, ClippedLengthIsTheEvenOddInsideLength) {
  const int rounds = 2 * 7 * 4 * OracleScale();
  Shapes shapes(9091);
  Tally tally;
  std::vector<Loop> base;
  for (int round = 0; round < rounds; ++round) {
    // Pairs of rounds: a boundary as given, then the same turned.
    // Turned, a folded loop's or a grid's edges each cross a row at nearly every vertex: their decomposition
    // grows with the square of the vertices, so those stay smaller.
    if (round % 2 == 0) {
      const int kind = round / 2 % 7;
      const int n = VertexCount(shapes, round);
      base = shapes.Make(kind, kind == 1 || kind == 5 ? std::min(n, 2000) : n);
    }
    const Placement at = Place(shapes, round);
    SCOPED_TRACE(testing::Message() << "round " << round << ": kind " << round / 2 % 7 << ", " << base.size()
                                    << " loops, turned " << at.angle << ", scale " << at.scale << ", at " << at.ox
                                    << ", " << at.oy);
    const std::vector<Loop> loops = Placed(base, at.angle, at.scale, at.ox, at.oy);
    const Boundary boundary = ToBoundary(loops);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk) << "round " << round;
    const EvenOdd rule(loops);
    GBox2d range;
    FillBoundaryRange(boundary.size(), boundary.data(), &range);
    const double w = range.high.x - range.low.x, h = range.high.y - range.low.y;
    std::vector<Point> vertices;
    std::vector<std::pair<Point, Point>> edges;
    for (const Loop& loop : loops) {
      for (std::size_t i = 0; i < loop.size(); ++i) {
        vertices.push_back(loop[i]);
        edges.emplace_back(loop[i], loop[(i + 1) % loop.size()]);
      }
    }
    const auto vertex = [&]() { return vertices[shapes.Int(0, static_cast<int>(vertices.size()) - 1)]; };
    const auto anywhere = [&]() -> Point {
      return {range.low.x + shapes.Uniform(-0.1, 1.1) * w, range.low.y + shapes.Uniform(-0.1, 1.1) * h};
    };
    const int segments = 120;
    for (int k = 0; k < segments; ++k) {
      Span s{};
      const Point a = anywhere(), b = anywhere(), v = vertex(), u = vertex();
      switch (k % 8) {
        case 0: s = {a.first, a.second, b.first, b.second}; break;
        case 1: s = {range.low.x - 0.1 * w, v.second, range.high.x + 0.1 * w, v.second}; break;  // on a row
        case 2: s = {a.first, v.second, v.first, v.second}; break;  // on a row, to a vertex
        case 3: s = {v.first, v.second, u.first, u.second}; break;
        case 4: {  // along an edge
          const auto& e = edges[shapes.Int(0, static_cast<int>(edges.size()) - 1)];
          s = {e.first.first, e.first.second, e.second.first, e.second.second};
          break;
        }
        case 5: s = {v.first, range.low.y - 0.1 * h, v.first, range.high.y + 0.1 * h}; break;
        case 6: s = {v.first, v.second, a.first, a.second}; break;
        default: {  // short, of any slope: often wholly inside, across thin bands
          const double d = std::pow(10.0, shapes.Uniform(-4, -1)) * std::max(w, h), t = shapes.Uniform(0, 2 * M_PI);
          s = {a.first, a.second, a.first + d * std::cos(t), a.second + d * std::sin(t)};
        }
      }
      if (k % 16 == 9) std::swap(s.x1, s.x2), std::swap(s.y1, s.y2);
      tally.onRows += s.y1 == s.y2;
      SCOPED_TRACE(testing::Message() << "segment " << k);
      Check(rule, ClipAll(trap, s), s, "segment", &tally);
    }
  }
  RecordProperty("judged", tally.judged);
  RecordProperty("grazing", tally.grazing);
  EXPECT_EQ(tally.faults, 0);
  EXPECT_LT(tally.grazing, tally.judged / 5);
  EXPECT_GT(tally.onRows, tally.judged / 5);
}

// Hatch families over the same kinds of boundary: every line's pieces by the line they lie on, against the rule
// for that line; level families on the boundary's rows among them.
TEST(FillClippingOracleTest, HatchLinesLineByLine) {
  const int rounds = 2 * 7 * 2 * OracleScale();
  Shapes shapes(4242);
  Tally tally;
  for (int round = 0; round < rounds; ++round) {
    const int kind = round / 2 % 7;
    const std::vector<Loop> loops =
        Placed(shapes.Make(kind, static_cast<int>(std::pow(10.0, shapes.Uniform(2, 3.3)))), 0, 1, 0, 0);
    const Placement at = Place(shapes, round);
    const std::vector<Loop> placed = Placed(loops, at.angle, at.scale, at.ox, at.oy);
    const Boundary boundary = ToBoundary(placed);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    const EvenOdd rule(placed);
    GBox2d range;
    FillBoundaryRange(boundary.size(), boundary.data(), &range);
    const double size = std::max(range.high.x - range.low.x, range.high.y - range.low.y);
    const Point v = placed[0][shapes.Int(0, static_cast<int>(placed[0].size()) - 1)];
    const double plain[] = {0, M_PI / 2, M_PI, 3 * M_PI / 2};
    const bool level = round % 3 != 2;
    const double angle = level ? plain[round % 4] : shapes.Uniform(0, 2 * M_PI);
    // Level families step through a vertex, by a spacing that meets the grids' and combs' rows again.
    const double spacing = level ? size / shapes.Int(20, 120) : size / shapes.Uniform(15, 100);
    const FillHatchFamily family{angle, spacing, shapes.Uniform(-1, 1) * spacing, v.first, v.second,
                                 round % 2 == 1, nullptr};
    std::map<double, std::vector<Span>> ours = fillpeers::HatchPiecesByLine(trap, range, family);
    FillLineState state = FillHatchLines::Stepping(range, family);
    for (std::uint32_t i = 0; i < state.lineCount; ++i) {
      if (!state.NextLine()) continue;
      const Span line{state.startX, state.startY, state.endX, state.endY};
      tally.onRows += line.y1 == line.y2;
      Check(rule, ours[state.position], line, "hatch line", &tally);
    }
  }
  RecordProperty("judged", tally.judged);
  RecordProperty("grazing", tally.grazing);
  EXPECT_EQ(tally.faults, 0);
  EXPECT_GT(tally.judged, 1000);
  EXPECT_LT(tally.grazing, tally.judged / 5);
}

}  // namespace
