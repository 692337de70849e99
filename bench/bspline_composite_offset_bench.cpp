// The offset of a composite curve: random open chains of lines and arcs, offset with sharp corners and with round
// ones; ours beside OpenCASCADE's exact offset of the open wire (intersection or arc joins) and GEOS's offset curve
// of the chain with every arc cut into 64 chords (mitred or round joins). Each answer is checked against the exact
// offset before it is timed: none of it nearer the chain than the distance, none of the exact offset's legs missed
// (ours and OpenCASCADE's to 1e-12 of the chain's length, at least 1e-9; GEOS's within what its chords and its
// simplification of the input at 1% of the distance leave out). The peers' wire and line are built beforehand, as
// our chain is.
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepOffsetAPI_MakeOffset.hxx>
#include <GC_MakeArcOfCircle.hxx>
#include <TopoDS_Wire.hxx>

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
  // The call as the geometry layer makes it (single distance, type 51, loop mode 2), outputs freed.
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
  bench::Ready r = bench::Checked(err, Slack(*c), [c, call, option] {
    const int type = BSCMP_ORDINARY;
    const double up[3] = {0, 0, 1};
    double d = kD;
    int m = 0, loops = 0, rc = 0;
    BScmpcvoffl(static_cast<int>(call->comps.size()), call->comps.data(), BSTRUE, up, &d, BSTRUE, &type, option, 2,
                BSFALSE, &m, call->pieces.data(), call->tags.data(), &loops, call->per_loop.data(), call->loops.data(),
                call->loop_tags.data(), &rc);
    for (auto *list : {&call->pieces, &call->loops})
      for (VOQbsp_curve *&cv : *list)
        if (cv) BSfreevoqcv(cv, &rc), cv = nullptr;
  }, "our offset strays from the exact one");
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
  return true;
}();

}  // namespace
