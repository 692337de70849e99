// The offset of a composite curve: random open chains of lines and arcs, offset with sharp corners and with round
// ones; ours beside OpenCASCADE's exact offset of the open wire (intersection or arc joins) and GEOS's offset curve
// of the chain with every arc cut into 64 chords (mitred or round joins). Each answer is checked against the exact
// offset before it is timed: none of it nearer the chain than the distance, none of the exact offset's legs missed
// (ours and OpenCASCADE's to 1e-12 of the chain's length, at least 1e-9; GEOS's within what its chords and its
// simplification of the input at 1% of the distance leave out). The peers' wire and line are built beforehand, as
// our chain is. A second family offsets a digitised polyline, a chain of a great many short legs, beside GEOS.
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepOffsetAPI_MakeOffset.hxx>
#include <GC_MakeArcOfCircle.hxx>
#include <TopoDS_Wire.hxx>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <random>

#include "bench/bench_checks.h"
#include "bench/offset_checks.h"
#include "tests/bspline/oracle/peer_chains.h"

namespace {

using chains::Chain;

const double kD = 0.25;
const int kChords = 64;

std::shared_ptr<const Chain> ChainOf(int n) {
  return bench::Once(n, [n] {
    std::mt19937 rng(9112 + n);
    return std::make_shared<const Chain>(chains::random_chain(rng, n, true));
  });
}

// The chain's length, 1e-9 for short ones: the rounding of coordinates that far out.
double Slack(const Chain &c) { return std::max(1e-9, 1e-12 * c.path.elements.back().x1); }

double PathMiss(const Chain &c, const chains::Path &p) {
  if (p.elements.empty()) return INFINITY;
  return chains::exact_miss(c, kD, chains::samples_of(p), [&](double x, double y) { return p.distance(x, y); });
}

// Our offset of the chain as the geometry layer asks for it (single distance, type 51, loop mode 2) to the side,
// its outputs freed: the call that is timed.
std::function<void()> OffsetCall(const std::shared_ptr<const Chain> &c, BSboolean side, double dist,
                                 std::int16_t option) {
  struct Call {
    std::vector<const VOQbsp_curve *> comps;
    std::vector<VOQbsp_curve *> pieces, loops;
    std::vector<int> tags, per_loop, loop_tags;
  };
  auto call = std::make_shared<Call>();
  call->comps = c->comps();
  const std::size_t room = 2 * c->curves.size() + 1;
  call->pieces.resize(room), call->loops.resize(room), call->tags.resize(room), call->per_loop.resize(room);
  call->loop_tags.resize(room);
  return [c, call, side, dist, option] {
    const int type = BSCMP_ORDINARY;
    const double up[3] = {0, 0, 1};
    double d = dist;
    int m = 0, loops = 0, rc = 0;
    BScmpcvoffl(static_cast<int>(call->comps.size()), call->comps.data(), side, up, &d, BSTRUE, &type, option, 2,
                BSFALSE, &m, call->pieces.data(), call->tags.data(), &loops, call->per_loop.data(), call->loops.data(),
                call->loop_tags.data(), &rc);
    for (auto *list : {&call->pieces, &call->loops})
      for (VOQbsp_curve *&cv : *list)
        if (cv) BSfreevoqcv(cv, &rc), cv = nullptr;
  };
}

bench::Ready Ours(int n, std::int16_t option) {
  const auto c = ChainOf(n);
  double err = INFINITY;
  int pieces = 0;
  {
    const chains::Ours first(*c, BSTRUE, kD, option);
    if (first.rc == 0)
      err = chains::exact_miss(*c, kD, first.samples(), [&](double x, double y) { return first.distance(x, y); });
    pieces = first.m;
  }
  bench::Ready r =
      bench::Checked(err, Slack(*c), OffsetCall(c, BSTRUE, kD, option), "our offset strays from the exact one");
  r.counters["pieces"] = pieces;
  return r;
}

// OpenCASCADE's offset of the open wire: checked through the chains' own conversion of its answer, timed on a
// wire built here beforehand from the same elements.
bench::Ready Occt(int n, bool round) {
  const auto c = ChainOf(n);
  const chains::Path first = chains::occt_offset(*c, kD, round);
  BRepBuilderAPI_MakeWire make;
  for (const chains::Element &e : c->path.elements) {
    const gp_Pnt a(e.x0, e.y0, 0), b(e.x1, e.y1, 0);
    if (e.arc) {
      double mx, my;
      e.at(0.5, &mx, &my);
      make.Add(BRepBuilderAPI_MakeEdge(GC_MakeArcOfCircle(a, gp_Pnt(mx, my, 0), b).Value()).Edge());
    } else {
      make.Add(BRepBuilderAPI_MakeEdge(a, b).Edge());
    }
  }
  const TopoDS_Wire wire = make.Wire();
  bench::Ready r = bench::Checked(PathMiss(*c, first), Slack(*c), [wire, round] {
    BRepOffsetAPI_MakeOffset offset(wire, round ? GeomAbs_Arc : GeomAbs_Intersection, Standard_True);
    offset.Perform(kD);
    benchmark::DoNotOptimize(offset.IsDone());
  }, "OpenCASCADE's offset strays from the exact one");
  r.counters["pieces"] = static_cast<double>(first.elements.size());
  return r;
}

// The chords of an arc of radius at most 4 sweeping at most 120 degrees, and their offsets, lie within
// 4.25 (1 - cos(pi / 3 / 64)) < 6e-4 of the arcs they stand for; GEOS's simplification adds 0.0025.
bench::Ready Geos(int n, bool round) {
  const auto c = ChainOf(n);
  const std::unique_ptr<TestCurve> line = chains::corners(*c, kChords);
  std::vector<double> xy;
  for (int i = 0; i < line->n(); ++i) xy.insert(xy.end(), {line->pole(i, 0), line->pole(i, 1)});
  auto geos = std::make_shared<offsets::GeosOffsetter>(xy);
  const chains::Path path = chains::geos_offset_path(*c, kD, round, kChords);
  bench::Ready r = bench::Checked(PathMiss(*c, path), 3.1e-3, [geos, round] { geos->Offset(-kD, round); },
                                  "GEOS strays from the exact offset");
  r.counters["pieces"] = static_cast<double>(path.elements.size());
  return r;
}

// Composite offsets of a digitised polyline: the wavy line y = 0.6 sin(2 pi x / 3) + 0.05 sin(7.3 x) sampled every
// 0.05, each leg a component, offset by 1 to its left (side FALSE): on its concave side legs give way by the
// hundred, as they do on a traced contour.
const double kWaveD = 1.0;
const int kQuadrant = 8;

std::shared_ptr<const Chain> WaveOf(int n) {
  return bench::Once(n, [n] {
    const auto y = [](double x) { return 0.6 * std::sin(2 * M_PI * x / 3) + 0.05 * std::sin(7.3 * x); };
    auto c = std::make_shared<Chain>();
    for (int k = 0; k < n; ++k) c->add_line(0.05 * k, y(0.05 * k), 0.05 * (k + 1), y(0.05 * (k + 1)));
    c->path.index();
    return std::shared_ptr<const Chain>(c);
  });
}

// The same wave given as polylines, as a line string reaches the offset: its two halves as order-2 components of
// n / 2 legs each, the path leg by leg as before.
std::shared_ptr<const Chain> WavePolylinesOf(int n) {
  return bench::Once(n, [n] {
    const auto y = [](double x) { return 0.6 * std::sin(2 * M_PI * x / 3) + 0.05 * std::sin(7.3 * x); };
    auto c = std::make_shared<Chain>();
    for (const auto &[from, to] : {std::pair{0, n / 2}, std::pair{n / 2, n}}) {
      std::vector<double> xyz;
      for (int k = from; k <= to; ++k) xyz.insert(xyz.end(), {0.05 * k, y(0.05 * k), 0.0});
      c->curves.push_back(polyline_xyz(xyz));
    }
    for (int k = 0; k < n; ++k) {
      chains::Element e;
      e.x0 = 0.05 * k, e.y0 = y(0.05 * k), e.x1 = 0.05 * (k + 1), e.y1 = y(0.05 * (k + 1));
      c->path.elements.push_back(e);
    }
    c->path.index();
    return std::shared_ptr<const Chain>(c);
  });
}

// How far an answer strays: its samples nearer the polyline than the distance, and points of the exact offset (the
// legs' points moved by the distance, where nothing comes nearer) farther than that from the answer, whose distance
// function `to` is. Near the polyline's far end its last legs bend towards the offset side more tightly than the
// distance; GEOS keeps their raw offsets there (its last points come within 0.51 of the distance at 100 legs), and
// what is kept of the legs before them is cut at a corner ours and GEOS's place apart. The end is judged for
// neither, within twice the distance of its point.
double WaveMiss(const Chain &c, const std::vector<std::array<double, 2>> &samples,
                const std::function<double(double, double)> &to) {
  const chains::Element &last = c.path.elements.back();
  const auto judged = [&](double x, double y) { return std::hypot(x - last.x1, y - last.y1) > 2 * kWaveD; };
  double worst = 0;
  for (const auto &p : samples)
    if (std::isnan(p[0]) || judged(p[0], p[1])) worst = std::max(worst, kWaveD - c.path.distance(p[0], p[1]));
  for (const chains::Element &e : c.path.elements)
    for (int i = 1; i < 16; ++i) {
      double x, y, nx, ny;
      e.at(i / 16.0, &x, &y);
      e.right(i / 16.0, &nx, &ny);
      x -= kWaveD * nx, y -= kWaveD * ny;
      if (judged(x, y) && c.path.distance(x, y) >= kWaveD - 1e-12) worst = std::max(worst, to(x, y));
    }
  return std::isnan(worst) ? INFINITY : worst;
}

bench::Ready OursWave(int n, std::int16_t option, bool polylines = false) {
  const auto c = polylines ? WavePolylinesOf(n) : WaveOf(n);
  double err = INFINITY;
  int pieces = 0;
  // Given as polylines, the other side is answered too, within the routine's room, nothing nearer than the
  // distance less the offset tolerance away from the ends.
  if (polylines) {
    const chains::Ours other(*c, BSTRUE, kWaveD, option);
    if (other.rc != 0 || other.m > 5) return bench::Checked(INFINITY, 0, [] {}, "our offset to the right is refused");
    const chains::Element &first = c->path.elements.front(), &last = c->path.elements.back();
    double worst = 0;
    for (const auto &p : other.samples(64))
      if (std::hypot(p[0] - first.x0, p[1] - first.y0) > 2 * kWaveD &&
          std::hypot(p[0] - last.x1, p[1] - last.y1) > 2 * kWaveD)
        worst = std::max(worst, kWaveD - c->path.distance(p[0], p[1]));
    if (!(worst <= BStoltab[bstol::offset_tol]))
      return bench::Checked(worst, BStoltab[bstol::offset_tol], [] {}, "our offset to the right comes nearer");
  }
  {
    const chains::Ours first(*c, BSFALSE, kWaveD, option);
    if (first.rc == 0 && (!polylines || first.m <= 5)) {
      // The distance to our pieces through each one drawn by 64 chords a span, off by their sagitta at most.
      int spans = 1;
      for (int k = 0; k < first.m; ++k)
        spans = std::max(spans, first.pieces[k]->num_poles - first.pieces[k]->order + 1);
      const chains::Path drawn = first.drawn(64 * spans);
      err = WaveMiss(*c, first.samples(), [&](double x, double y) { return drawn.distance(x, y); });
    }
    pieces = first.m;
  }
  bench::Ready r = bench::Checked(err, BStoltab[bstol::offset_tol], OffsetCall(c, BSFALSE, kWaveD, option),
                                  "our offset comes nearer than the distance or misses the exact offset");
  r.counters["pieces"] = pieces;
  return r;
}

// GEOS's offset curve of the same polyline, to its left: its points judged as ours are, and the chords of its round
// joins allowed their sagitta. A join of less than one and a half quanta (a quadrant's share, pi / 16) is drawn by
// one chord, which lies inside its arc by d (1 - cos(3 pi / 64)) = 0.0108 d at most.
bench::Ready GeosWave(int n, bool round) {
  const auto c = WaveOf(n);
  std::vector<double> xy{c->path.elements[0].x0, c->path.elements[0].y0};
  for (const chains::Element &e : c->path.elements) xy.insert(xy.end(), {e.x1, e.y1});
  auto geos = std::make_shared<offsets::GeosOffsetter>(xy);
  std::vector<std::vector<double>> lines;
  geos->Offset(kWaveD, round, kQuadrant, &lines);
  chains::Path answer;
  std::vector<std::array<double, 2>> corners;
  for (const std::vector<double> &line : lines) {
    for (std::size_t k = 0; k + 1 < line.size(); k += 2) corners.push_back({line[k], line[k + 1]});
    const chains::Path p = chains::polyline_path(line, false);
    answer.elements.insert(answer.elements.end(), p.elements.begin(), p.elements.end());
  }
  answer.index();
  const auto to = [&](double x, double y) { return answer.distance(x, y); };
  const double chord = round ? kWaveD * (1 - std::cos(0.75 * M_PI / 2 / kQuadrant)) : 0.0;
  const double err = corners.empty() ? INFINITY
                                     : std::max(WaveMiss(*c, corners, to),
                                                WaveMiss(*c, chains::samples_of(answer), to) - chord);
  bench::Ready r = bench::Checked(err, BStoltab[bstol::offset_tol], [geos, round] {
    geos->Offset(kWaveD, round, kQuadrant);
  }, "GEOS comes nearer than the distance or misses the exact offset");
  r.counters["pieces"] = static_cast<double>(answer.elements.size());
  return r;
}

const bool registered = [] {
  bench::Describe("composite_offset",
                  "The offset of a random open chain of lines and arcs (arcs never two in a row) by 0.25 to its "
                  "right; size: pieces. Sharp corners: ours beside OpenCASCADE's exact offset of the open wire with "
                  "intersection joins, the like-for-like row, and GEOS's mitred offset curve of the chain with "
                  "every arc cut into 64 chords. Round corners: ours (corner option 1) beside OpenCASCADE's arc "
                  "joins and GEOS's round joins. Checked against the exact offset: nothing nearer the chain than the "
                  "distance and no leg missed, to 1e-12 of the chain's length (GEOS: 3.1e-3, what its chords and its "
                  "simplification leave out). The peers' wire and line are built beforehand. OpenCASCADE's sharp "
                  "corners fail at 100 pieces through its own fault: where a line follows an arc whose offset it "
                  "meets on its backward extension, it keeps the chord of the line's offset between its two "
                  "crossings with the arc's offset circle and loses the leg itself (1.67 from the exact offset).");
  const std::vector<int> sizes = bench::Sizes({10, 100, 1000});
  for (const bool round : {false, true}) {
    const char *row = round ? "round_corners" : "sharp_corners";
    bench::Contender("composite_offset", row, "ours", sizes, "pieces", [round](int n) { return Ours(n, round ? 1 : 0); },
                     benchmark::kMicrosecond);
    bench::Contender("composite_offset", row,
                     round ? "occt_BRepOffsetAPI_MakeOffset_wire_arc_joins"
                           : "occt_BRepOffsetAPI_MakeOffset_wire_intersection_joins",
                     sizes, "pieces", [round](int n) { return Occt(n, round); }, benchmark::kMicrosecond);
    bench::Contender("composite_offset", row,
                     round ? "geos_OffsetCurve_round_arcs_as_64_chords" : "geos_OffsetCurve_mitre_arcs_as_64_chords",
                     sizes, "pieces", [round](int n) { return Geos(n, round); }, benchmark::kMicrosecond);
  }
  bench::Describe("composite_offset_of_a_digitised_polyline",
                  "Composite offsets of a digitised polyline: y = 0.6 sin(2 pi x / 3) + 0.05 sin(7.3 x) sampled "
                  "every 0.05, each leg a line component, offset by 1 to its left (side FALSE, normal +z, single "
                  "distance, type 51, open, loop mode 2); size: legs. On the concave side of each wave the legs give "
                  "way by the dozen. Sharp corners: ours with corner option 0 beside GEOS's mitred offset curve; "
                  "round corners: ours with option 1 beside GEOS's round joins of 8 chords a quadrant. Checked: no "
                  "sample nearer the polyline than the distance less the offset tolerance (1e-3) and no point of "
                  "the exact offset farther than it from the answer, but within twice the distance of the "
                  "polyline's far end, whose last legs bend towards the offset side more tightly than the "
                  "distance: GEOS keeps their raw offsets there, up to 0.51 nearer. GEOS's round chords are "
                  "allowed their sagitta, 0.0108. `ours_as_two_polylines`: the same line given as two order-2 "
                  "components, its halves, as a line string reaches the offset; checked alike, and answered to the "
                  "right as well within the routine's room (5 pieces).");
  const std::vector<int> legs = bench::Sizes({100, 1000, 10000});
  for (const bool round : {false, true}) {
    const char *row = round ? "round_corners" : "sharp_corners";
    bench::Contender("composite_offset_of_a_digitised_polyline", row, "ours", legs, "legs",
                     [round](int n) { return OursWave(n, round ? 1 : 0); }, benchmark::kMicrosecond);
    bench::Contender("composite_offset_of_a_digitised_polyline", row, "ours_as_two_polylines", legs, "legs",
                     [round](int n) { return OursWave(n, round ? 1 : 0, true); }, benchmark::kMicrosecond);
    bench::Contender("composite_offset_of_a_digitised_polyline", row,
                     round ? "geos_OffsetCurve_round_8_chords_a_quadrant" : "geos_OffsetCurve_mitre", legs, "legs",
                     [round](int n) { return GeosWave(n, round); }, benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
