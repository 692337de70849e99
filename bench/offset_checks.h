// What the offset benchmarks share: a smooth cubic that runs left to right, with the distance and side of its
// offset and how far a contender's offset strays from that distance; the contenders of a cubic's offset (ours,
// SISL's, OpenCASCADE's) made ready alike; and GEOS's offset of a polyline.
#pragma once

#include <Geom2dConvert_ApproxCurve.hxx>
#include <Geom2d_BSplineCurve.hxx>
#include <Geom2d_OffsetCurve.hxx>
#include <geos_c.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "bench/bench_checks.h"
#include "tests/bspline/oracle/curve_pairs.h"

namespace offsets {

// A cubic of n poles heading within 45 degrees of +x (so that it runs left to right and never comes back near
// itself), on uniform knots or on uneven ones, offset by 0.4 of its least radius of curvature to its right, where
// a side point just off its middle lies. The exact offset then has no cusp, and its distance from the curve is the
// distance from the nearest point of the curve.
struct Cubic {
  std::unique_ptr<TestCurve> curve;
  Handle(Geom2d_BSplineCurve) base;
  double dist = INFINITY, side[3] = {0, 0, 0};
  std::vector<double> xs, us;  // 64 samples a span: x (rising) and parameter

  Cubic(int n, unsigned seed, bool uneven) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> step(1, 3), heading(-M_PI / 4, M_PI / 4), gap(0.3, 2);
    std::vector<double> poles{0, 0, 0}, knots(4, 0);
    for (int i = 1; i < n; ++i) {
      const double a = heading(rng), s = step(rng);
      poles.insert(poles.end(), {poles[3 * i - 3] + s * std::cos(a), poles[3 * i - 2] + s * std::sin(a), 0});
    }
    for (int i = 4; i < n; ++i) knots.push_back(uneven ? knots.back() + gap(rng) : i - 3);
    const double end = uneven ? knots.back() + gap(rng) : n - 3;
    knots.insert(knots.end(), 4, end);
    curve = std::make_unique<TestCurve>(4, poles, knots);
    curve->cv.planar = 1;
    base = cvpairs::Occt(*curve);
    const int samples = 64 * (n - 3);
    for (int i = 0; i <= samples; ++i) {
      const double u = end * i / samples;
      gp_Pnt2d q;
      gp_Vec2d v1, v2;
      base->D2(u, q, v1, v2);
      dist = std::fmin(dist, 0.4 * std::pow(v1.Magnitude(), 3) / std::fabs(v1.Crossed(v2)));
      xs.push_back(q.X());
      us.push_back(u);
    }
    gp_Pnt2d m;
    gp_Vec2d t;
    base->D1(end / 2, m, t);
    t.Normalize();
    side[0] = m.X() + 0.1 * t.Y(), side[1] = m.Y() - 0.1 * t.X();
  }

  // The distance from p to the curve: the nearest sample within reach in x, polished by Newton steps.
  double Distance(const gp_Pnt2d &p) const {
    const double reach = dist + 3.0 / 64 * 4;  // the offset distance and more than a sample's step in x
    auto lo = std::lower_bound(xs.begin(), xs.end(), p.X() - reach);
    auto hi = std::upper_bound(xs.begin(), xs.end(), p.X() + reach);
    if (lo == hi) return INFINITY;
    double best = INFINITY, u = 0;
    for (auto it = lo; it != hi; ++it) {
      const double v = us[it - xs.begin()], d = p.SquareDistance(base->Value(v));
      if (d < best) best = d, u = v;
    }
    u = bench::NewtonFoot<gp_Pnt2d, gp_Vec2d>(*base, p, u, us.front(), us.back());
    return std::sqrt(std::min(best, p.SquareDistance(base->Value(u))));
  }

  // How densely a contender's offset is sampled: twenty samples per pole of the curve, at least 50.
  int Samples() const { return std::max(50, 20 * curve->n()); }

  // The farthest that `count` + 1 samples of a contender's curve over [a, b] lie from the offset distance.
  double Deviation(const std::function<gp_Pnt2d(double)> &at, double a, double b, int count) const {
    double worst = 0;
    for (int i = 0; i <= count; ++i) {
      const double e = std::fabs(Distance(at(a + (b - a) * i / count)) - dist);
      worst = std::isnan(e) || e > worst ? e : worst;
    }
    return std::isnan(worst) ? INFINITY : worst;
  }
};


// A contender's offset of the cubic, checked by its samples against twice the tolerance; the counter "poles" holds
// its pole count. `make` makes one (null on failure), `at` evaluates it, `range` gives its parameter range and
// pole count, `free` releases it.
template <class Curve, class Make, class At, class Range, class Free>
bench::Ready CheckedOffset(const std::shared_ptr<const Cubic> &c, double tol, Make make, At at, Range range, Free free,
                           const std::string &who) {
  Curve out = make(*c);
  if (!out) return bench::Failed(who + " failed");
  const auto [a, b, poles] = range(out);
  const double err = c->Deviation([&](double u) { return at(out, u); }, a, b, c->Samples());
  free(out);
  bench::Ready r = bench::Checked(err, 2 * tol, [c, make, free] { free(make(*c)); }, who + " strays from the distance");
  r.counters["poles"] = poles;
  return r;
}

// Ours, made by `make` (the single-curve or the span offset).
inline bench::Ready OursOffset(const std::shared_ptr<const Cubic> &c, double tol,
                               VOQbsp_curve *(*make)(const Cubic &)) {
  return CheckedOffset<VOQbsp_curve *>(
      c, tol, make,
      [](VOQbsp_curve *out, double u) {
        double p[3];
        int rc = 0;
        BScveval_n(out, u, 0, p, &rc);
        return gp_Pnt2d(p[0], p[1]);
      },
      [](VOQbsp_curve *out) {
        return std::tuple(out->knots[out->order - 1], out->knots[out->num_poles], double(out->num_poles));
      },
      [](VOQbsp_curve *out) {
        int rc = 0;
        if (out) BSfreevoqcv(out, &rc);
      },
      "our offset");
}

// SISL's offset approximation (s1360) at the tolerance, to the right of a planar curve. It is given a maximal
// step of 0.25, a quarter of the shortest leg of the curves' control polygons: at its default step (the curve's
// box side) its tolerance test passes over stretches where the offset strays from the distance by up to 96 times
// the tolerance, whatever the tolerance asked.
inline SISLCurve *SislOffset(const TestCurve &curve, double dist, double tol) {
  SISLCurve *base = cvpairs::Sisl(curve), *out = nullptr;
  double norm[3] = {0, 0, 1};
  int stat = 0;
  s1360(base, -dist, tol, norm, 0.25, 2, &out, &stat);  // SISL's positive offset lies to the left
  freeCurve(base);
  if (stat < 0 && out) freeCurve(out);
  return stat < 0 ? nullptr : out;
}
const char *const kSislOffset = "sisl_s1360_max_step_0.25";

inline bench::Ready SislOffsetChecked(const std::shared_ptr<const Cubic> &c, double tol) {
  return CheckedOffset<SISLCurve *>(
      c, tol, [tol](const Cubic &k) { return SislOffset(*k.curve, k.dist, tol); },
      [](SISLCurve *out, double u) {
        double q[2];
        int left = 0, st = 0;
        s1221(out, 0, u, &left, q, &st);
        return gp_Pnt2d(q[0], q[1]);
      },
      [](SISLCurve *out) { return std::tuple(out->et[out->ik - 1], out->et[out->in], double(out->in)); },
      [](SISLCurve *out) {
        if (out) freeCurve(out);
      },
      "s1360");
}

// OpenCASCADE's approximation of the exact offset curve (to the right) at the tolerance.
inline bench::Ready OcctOffsetChecked(const std::shared_ptr<const Cubic> &c, double tol) {
  return CheckedOffset<Handle(Geom2d_BSplineCurve)>(
      c, tol,
      [tol](const Cubic &k) {
        Geom2dConvert_ApproxCurve a(new Geom2d_OffsetCurve(k.base, k.dist), tol, GeomAbs_C2, 100000, 3);
        return a.HasResult() ? a.Curve() : Handle(Geom2d_BSplineCurve)();
      },
      [](const Handle(Geom2d_BSplineCurve) & out, double u) { return out->Value(u); },
      [](const Handle(Geom2d_BSplineCurve) & out) {
        return std::tuple(out->FirstParameter(), out->LastParameter(), double(out->NbPoles()));
      },
      [](const Handle(Geom2d_BSplineCurve) &) {}, "Geom2dConvert_ApproxCurve");
}

// GEOS's offset curve of a polyline, its context and line built beforehand: what is timed. (The answer is
// checked through geos_offset, which builds its own.)
class GeosOffsetter {
 public:
  // xy: the polyline's points, x, y pairs.
  explicit GeosOffsetter(const std::vector<double> &xy) {
    GEOSCoordSequence *seq = GEOSCoordSeq_create_r(ctx_.get(), static_cast<unsigned>(xy.size() / 2), 2);
    for (unsigned i = 0; i < xy.size() / 2; ++i) GEOSCoordSeq_setXY_r(ctx_.get(), seq, i, xy[2 * i], xy[2 * i + 1]);
    line_ = GEOSGeom_createLineString_r(ctx_.get(), seq);
  }
  ~GeosOffsetter() { GEOSGeom_destroy_r(ctx_.get(), line_); }
  GeosOffsetter(const GeosOffsetter &) = delete;
  GeosOffsetter &operator=(const GeosOffsetter &) = delete;

  // The offset by d (positive to the left), mitred or round (its arcs by `quadrant` chords a quadrant; 64 as
  // peer_geos.h's geos_offset asks for it), freed; its lines handed back as x, y pairs when `lines` is given.
  void Offset(double d, bool round, int quadrant = 64, std::vector<std::vector<double>> *lines = nullptr) const {
    GEOSGeometry *g = GEOSOffsetCurve_r(ctx_.get(), line_, d, round ? quadrant : 8,
                                        round ? GEOSBUF_JOIN_ROUND : GEOSBUF_JOIN_MITRE, 1e9);
    if (g && lines) Lines(g, lines);
    if (g) GEOSGeom_destroy_r(ctx_.get(), g);
  }

 private:
  // The points of each line of g.
  void Lines(const GEOSGeometry *g, std::vector<std::vector<double>> *lines) const {
    lines->clear();
    for (int k = 0; k < GEOSGetNumGeometries_r(ctx_.get(), g); ++k) {
      const GEOSCoordSequence *cs = GEOSGeom_getCoordSeq_r(ctx_.get(), GEOSGetGeometryN_r(ctx_.get(), g, k));
      unsigned int m = 0;
      if (cs) GEOSCoordSeq_getSize_r(ctx_.get(), cs, &m);
      std::vector<double> &xy = lines->emplace_back();
      for (unsigned int i = 0; i < m; ++i) {
        double x = 0, y = 0;
        GEOSCoordSeq_getXY_r(ctx_.get(), cs, i, &x, &y);
        xy.insert(xy.end(), {x, y});
      }
    }
  }

  std::shared_ptr<std::remove_pointer_t<GEOSContextHandle_t>> ctx_{GEOS_init_r(), GEOS_finish_r};
  GEOSGeometry *line_ = nullptr;
};

}  // namespace offsets
