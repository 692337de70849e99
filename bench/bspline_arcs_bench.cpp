// Building circular arcs (centre, ends and normal) and elliptical arcs (centre, axis ends, parametric angles) as
// rational quadratic B-splines, as the geometry layer does for every arc it draws: ours beside OpenCASCADE's
// GC_MakeArcOf* followed by GeomConvert. Every contender's every curve is checked once before the timing (its ends
// and its middle on the analytic arc, within 1e-9 of the size).
#include <ElCLib.hxx>
#include <GC_MakeArcOfCircle.hxx>
#include <GC_MakeArcOfEllipse.hxx>
#include <GeomConvert.hxx>
#include <Geom_BSplineCurve.hxx>
#include <gp_Circ.hxx>
#include <gp_Elips.hxx>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <random>
#include <vector>

#include "bench/bench_checks.h"
#include "tests/bspline/conic_fixtures.h"

namespace {

constexpr int kArcs = 100000;  // arcs drawn; a size takes the first of them

struct ArcCase {
  gp_Ax2 axes;
  double r1, r2;      // r2 = r1 for a circular arc
  double start, sweep;  // parametric angles, counter-clockwise about the axes' normal
  // The analytic point at parametric angle t.
  void at(double t, double out[3]) const {
    const gp_Pnt p = ElCLib::EllipseValue(t, axes, r1, r2);
    out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z();
  }
};

// Random placements, radii 0.1 .. 50, sweeps 1 .. 359 degrees; ellipses with r1 >= r2 as the peer needs.
std::vector<ArcCase> make_cases(bool ellipse) {
  std::mt19937 rng(ellipse ? 2822 : 2821);
  std::uniform_real_distribution<double> d(-1, 1), o(-10, 10), r(0.1, 50), ratio(0.05, 1), ang(0, 2 * M_PI),
      sweep(M_PI / 180, 359 * M_PI / 180);
  std::vector<ArcCase> cases;
  while (static_cast<int>(cases.size()) < kArcs) {
    const gp_Vec vn(d(rng), d(rng), d(rng)), vx(d(rng), d(rng), d(rng));
    const gp_Vec perp = vx - vn.Normalized() * vx.Dot(vn.Normalized());
    if (vn.Magnitude() < 0.2 || perp.Magnitude() < 0.2) continue;
    const double r1 = r(rng);
    cases.push_back({gp_Ax2(gp_Pnt(o(rng), o(rng), o(rng)), gp_Dir(vn), gp_Dir(perp)), r1,
                     ellipse ? r1 * ratio(rng) : r1, ang(rng), sweep(rng)});
  }
  return cases;
}

const std::vector<ArcCase> &circle_cases() {
  static const std::vector<ArcCase> c = make_cases(false);
  return c;
}
const std::vector<ArcCase> &ellipse_cases() {
  static const std::vector<ArcCase> c = make_cases(true);
  return c;
}

// A contender builds case i and reports the points of its curve at the start, middle and end parameter
// (check = true) or only builds it. False when it failed.
using Contender = std::function<bool(const ArcCase &, bool check, double pts[9])>;

// Checks the first `count` cases once, then times building them.
bench::Ready Checked(const std::vector<ArcCase> &cases, int count, const Contender &run, const char *wrong) {
  for (int i = 0; i < count; ++i) {
    const ArcCase &k = cases[i];
    double pts[9], want[3];
    bool ok = run(k, true, pts);
    for (int j = 0; j < 3 && ok; ++j) {
      k.at(k.start + j * k.sweep / 2, want);
      for (int c = 0; c < 3; ++c) ok = ok && std::fabs(pts[3 * j + c] - want[c]) <= 1e-9 * (10 + k.r1);
    }
    if (!ok) return bench::Failed(std::string(wrong) + " at arc " + std::to_string(i));
  }
  return bench::Passed([&cases, count, run] {
    double scratch[9];
    for (int i = 0; i < count; ++i) benchmark::DoNotOptimize(run(cases[i], false, scratch));
  });
}

void xyz(const gp_XYZ &p, double out[3]) { out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z(); }

// Our record's points at 0, 1/2 and 1 (weights 1, w, 1 symmetric: the middle parameter is the middle angle).
void our_points(const ArcRecord &rec, double pts[9]) {
  for (int j = 0; j < 3; ++j) rec.point(j / 2.0, pts + 3 * j);
}

// The peer's arc converted, and when asked its points at the start, middle and end parameter (its spans are
// equal in angle and symmetric: the middle parameter is the middle angle).
template <class Maker>
bool peer_converted(const Maker &arc, bool check, double pts[9]) {
  if (!arc.IsDone()) return false;
  const Handle(Geom_BSplineCurve) bs = GeomConvert::CurveToBSplineCurve(arc.Value());
  if (bs.IsNull()) return false;
  const double a = bs->FirstParameter(), b = bs->LastParameter();
  for (int j = 0; j < 3 && check; ++j) xyz(bs->Value(a + j * (b - a) / 2).XYZ(), pts + 3 * j);
  return true;
}

Contender OursCircle() {
  auto rec = std::make_shared<ArcRecord>();
  return [rec](const ArcCase &k, bool check, double pts[9]) {
    double s[3], e[3], c[3], n[3], nout[3];
    k.at(k.start, s);
    k.at(k.start + k.sweep, e);
    xyz(k.axes.Location().XYZ(), c);
    xyz(k.axes.Direction().XYZ(), n);
    int rc = 0;
    if (!BSprepcarc(&rc, s, c, e, n, &rec->cv, nout, nullptr)) return false;
    if (check) our_points(*rec, pts);
    return true;
  };
}

bool PeerCircle(const ArcCase &k, bool check, double pts[9]) {
  const gp_Circ circ(k.axes, k.r1);
  return peer_converted(
      GC_MakeArcOfCircle(circ, ElCLib::Value(k.start, circ), ElCLib::Value(k.start + k.sweep, circ), true), check,
      pts);
}

Contender OursEllipse() {
  auto rec = std::make_shared<ArcRecord>();
  return [rec](const ArcCase &k, bool check, double pts[9]) {
    double c[3], p1[3], p2[3];
    const gp_XYZ o = k.axes.Location().XYZ();
    xyz(o, c);
    xyz(o + k.r1 * k.axes.XDirection().XYZ(), p1);
    xyz(o + k.r2 * k.axes.YDirection().XYZ(), p2);
    int rc = 0;
    std::uint16_t is_circle = 0;
    BSelarptang(c, p1, p2, k.start, k.sweep, 1, nullptr, nullptr, rec.get(), nullptr, nullptr, &is_circle,
                &rec->ptr, &rc);
    if (rc != 0) return false;
    if (check) our_points(*rec, pts);
    return true;
  };
}

bool PeerEllipse(const ArcCase &k, bool check, double pts[9]) {
  return peer_converted(GC_MakeArcOfEllipse(gp_Elips(k.axes, k.r1, k.r2), k.start, k.start + k.sweep, true), check,
                        pts);
}

void Register(bool ellipse, const char *contender, std::function<Contender()> make, const char *wrong) {
  bench::Contender("arcs", ellipse ? "elliptical_arcs" : "circular_arcs", contender, bench::Sizes({1000, 10000, 100000}),
                   "arcs", [ellipse, make, wrong](int count) {
                     return Checked(ellipse ? ellipse_cases() : circle_cases(), count, make(), wrong);
                   });
}

const bool registered = [] {
  bench::Describe("arcs",
                  "Circular arcs (centre, ends, normal) and elliptical arcs (centre, axis ends, parametric angles) "
                  "built as rational quadratic B-splines, radii 0.1 to 50, sweeps 1 to 359 degrees; size: arcs. "
                  "Every curve's ends and middle are checked on the analytic arc within 1e-9 of its size.");
  Register(false, "ours_BSprepcarc", OursCircle, "BSprepcarc is wrong");
  Register(false, "occt_GC_MakeArcOfCircle_GeomConvert", [] { return Contender(PeerCircle); },
           "GC_MakeArcOfCircle + GeomConvert is wrong");
  Register(true, "ours_BSelarptang", OursEllipse, "BSelarptang is wrong");
  Register(true, "occt_GC_MakeArcOfEllipse_GeomConvert", [] { return Contender(PeerEllipse); },
           "GC_MakeArcOfEllipse + GeomConvert is wrong");
  return true;
}();

}  // namespace
