// Chains of lines and arcs in the plane z = 0 for the composite offset oracle and benchmark: random open chains
// that never turn back (so that their offsets do not touch themselves) and closed star-shaped polygons; our
// composite offset of them, and the peers' offsets as paths of segments and arcs (OpenCASCADE's offset of the
// open wire, GEOS's offset curve of a line chain, Clipper's offset of a closed one). Agreement is judged both ways:
// our pieces sampled against a peer's path, the peer's path sampled against our pieces.
#pragma once

#include <BRepAdaptor_Curve.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepOffsetAPI_MakeOffset.hxx>
#include <GC_MakeArcOfCircle.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp_Circ.hxx>
#include <polyclipping/clipper.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "bspline/intersect.h"
#include "bspline/offset.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/peer_geos.h"

namespace chains {

// A segment, or an arc about (cx, cy) of radius r from angle a0 through the signed sweep.
struct Element {
  bool arc = false;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0, cx = 0, cy = 0, r = 0, a0 = 0, sweep = 0;
  void at(double t, double *x, double *y) const {
    if (arc) {
      *x = cx + r * std::cos(a0 + t * sweep), *y = cy + r * std::sin(a0 + t * sweep);
    } else {
      *x = x0 + t * (x1 - x0), *y = y0 + t * (y1 - y0);
    }
  }
  double distance(double x, double y) const {
    if (arc) {
      // The angle from the start, in the sweep's sense, on [0, 2 pi).
      double a = std::atan2(y - cy, x - cx) - a0;
      if (sweep < 0) a = -a;
      a = std::fmod(std::fmod(a, 2 * M_PI) + 2 * M_PI, 2 * M_PI);
      if (a <= std::fabs(sweep)) return std::fabs(std::hypot(x - cx, y - cy) - r);
      double ex, ey;
      at(1, &ex, &ey);
      return std::min(std::hypot(x - x0, y - y0), std::hypot(x - ex, y - ey));
    }
    const double dx = x1 - x0, dy = y1 - y0, l2 = dx * dx + dy * dy;
    const double t = l2 > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / l2, 0.0, 1.0) : 0.0;
    return std::hypot(x - x0 - t * dx, y - y0 - t * dy);
  }
  // The unit normal at t to the right of the element's direction.
  void right(double t, double *nx, double *ny) const {
    if (arc) {
      const double a = a0 + t * sweep, s = sweep > 0 ? 1 : -1;
      *nx = s * std::cos(a), *ny = s * std::sin(a);
    } else {
      const double l = std::hypot(x1 - x0, y1 - y0);
      *nx = (y1 - y0) / l, *ny = -(x1 - x0) / l;
    }
  }
  // A box holding the element.
  void box(double lo[2], double hi[2]) const {
    if (arc) {
      lo[0] = cx - r, lo[1] = cy - r, hi[0] = cx + r, hi[1] = cy + r;
    } else {
      lo[0] = std::min(x0, x1), lo[1] = std::min(y0, y1), hi[0] = std::max(x0, x1), hi[1] = std::max(y0, y1);
    }
  }
};

// Elements with a coarse grid over their boxes, so that a distance looks at the few elements near the point.
struct Path {
  std::vector<Element> elements;
  double cell = 1, lo[2] = {0, 0};
  int nx = 0, ny = 0;
  std::vector<std::vector<int>> grid;

  void index() {
    grid.clear(), nx = ny = 0;
    if (elements.empty()) return;
    double hi[2] = {-1e300, -1e300};
    lo[0] = lo[1] = 1e300;
    for (const Element &e : elements) {
      double a[2], b[2];
      e.box(a, b);
      for (int c = 0; c < 2; ++c) lo[c] = std::min(lo[c], a[c]), hi[c] = std::max(hi[c], b[c]);
    }
    cell = std::max({hi[0] - lo[0], hi[1] - lo[1], 1e-3}) / std::max(1.0, std::sqrt(double(elements.size())));
    nx = static_cast<int>((hi[0] - lo[0]) / cell) + 1, ny = static_cast<int>((hi[1] - lo[1]) / cell) + 1;
    grid.assign(static_cast<size_t>(nx) * ny, {});
    for (size_t k = 0; k < elements.size(); ++k) {
      double a[2], b[2];
      elements[k].box(a, b);
      for (int i = cx(a[0]); i <= cx(b[0]); ++i)
        for (int j = cy(a[1]); j <= cy(b[1]); ++j) grid[static_cast<size_t>(j) * nx + i].push_back(int(k));
    }
  }
  int cx(double x) const { return std::clamp(static_cast<int>((x - lo[0]) / cell), 0, nx - 1); }
  int cy(double y) const { return std::clamp(static_cast<int>((y - lo[1]) / cell), 0, ny - 1); }
  // The distance from (x, y) to the path, looked for in growing rings of cells.
  double distance(double x, double y) const {
    double best = INFINITY;
    if (grid.empty()) return best;
    const int i0 = cx(x), j0 = cy(y);
    for (int ring = 0; ring <= std::max(nx, ny); ++ring) {
      // Everything farther than `ring` cells away lies beyond what the rings so far could hold.
      if (best < (ring - 1) * cell) break;
      for (int i = i0 - ring; i <= i0 + ring; ++i)
        for (int j = j0 - ring; j <= j0 + ring; ++j) {
          if (i < 0 || j < 0 || i >= nx || j >= ny || (std::abs(i - i0) != ring && std::abs(j - j0) != ring)) continue;
          for (int k : grid[static_cast<size_t>(j) * nx + i]) best = std::min(best, elements[k].distance(x, y));
        }
    }
    return best;
  }
};

// A chain of components with the path they draw.
struct Chain {
  std::vector<std::unique_ptr<TestCurve>> curves;
  Path path;
  bool closed = false, lines_only = true;
  std::vector<const VOQbsp_curve *> comps() const {
    std::vector<const VOQbsp_curve *> out;
    for (const auto &c : curves) out.push_back(&c->cv);
    return out;
  }
  void add_line(double x0, double y0, double x1, double y1) {
    curves.push_back(line_curve(x0, y0, x1, y1));
    Element e;
    e.x0 = x0, e.y0 = y0, e.x1 = x1, e.y1 = y1;
    path.elements.push_back(e);
  }
  static std::unique_ptr<TestCurve> line_curve(double x0, double y0, double x1, double y1) {
    return std::make_unique<TestCurve>(2, std::vector<double>{x0, y0, 0, x1, y1, 0}, std::vector<double>{0, 0, 1, 1});
  }
};

// n components heading within 60 degrees of +x, so that the chain never turns back: lines 2.5 to 4 long and
// (with arcs, never two in a row) arcs of radius 2 to 4 sweeping 30 to 120 degrees. Every corner turns by at
// least 0.1 radian: where two offsets meet at a shallower angle the library finds their crossing only to its
// distance tolerance. Offsets by up to 0.25 keep every component and never touch themselves.
inline Chain random_chain(std::mt19937 &rng, int n, bool arcs) {
  std::uniform_real_distribution<double> heading(-M_PI / 3, M_PI / 3), len(2.5, 4), radius(2, 4), coin(0, 1);
  Chain c;
  double x = 0, y = 0;
  bool after_arc = false;
  double last = 1e9;  // the heading the chain arrived with
  for (int k = 0; k < n; ++k) {
    double h0 = heading(rng);
    while (std::fabs(h0 - last) < 0.1) h0 = heading(rng);
    double h1 = heading(rng);
    if (arcs && !after_arc && coin(rng) < 0.5 && std::fabs(h1 - h0) >= M_PI / 6) {
      after_arc = true;
      const double r = radius(rng), s = h1 > h0 ? 1 : -1;
      Element e;
      e.arc = true, e.r = r, e.sweep = h1 - h0, e.a0 = h0 - s * M_PI / 2;
      e.cx = x - s * r * std::sin(h0), e.cy = y + s * r * std::cos(h0);
      e.x0 = x, e.y0 = y;
      e.at(1, &e.x1, &e.y1);
      c.curves.push_back(circular_arc(r, e.a0, e.sweep, 1, e.cx, e.cy));
      c.path.elements.push_back(e);
      x = e.x1, y = e.y1, last = h1;
      c.lines_only = false;
    } else {
      const double l = len(rng);
      after_arc = false;
      c.add_line(x, y, x + l * std::cos(h0), y + l * std::sin(h0));
      x += l * std::cos(h0), y += l * std::sin(h0), last = h0;
    }
  }
  c.path.index();
  return c;
}

// A closed polygon of n corners round the origin (counter-clockwise): angles spread evenly with jitter, radii 4.5
// to 5, so that an offset by 0.1 keeps every side.
inline Chain random_polygon(std::mt19937 &rng, int n) {
  std::uniform_real_distribution<double> jitter(-0.3, 0.3), radius(4.5, 5);
  std::vector<double> xy;
  for (int k = 0; k < n; ++k) {
    const double a = 2 * M_PI * (k + jitter(rng)) / n, r = radius(rng);
    xy.insert(xy.end(), {r * std::cos(a), r * std::sin(a)});
  }
  Chain c;
  c.closed = true;
  for (int k = 0; k < n; ++k)
    c.add_line(xy[2 * k], xy[2 * k + 1], xy[2 * ((k + 1) % n)], xy[2 * ((k + 1) % n) + 1]);
  c.path.index();
  return c;
}

// How far an offset of the chain by d to the right (left when negative) strays from the exact one, judged by
// the offset's samples and its distance function: samples nearer the chain than |d|, and points of the exact
// offset (the chain's points moved by d along their normals, where nothing of the chain comes nearer) that the
// offset misses. Corners are judged only through the legs around them.
inline double exact_miss(const Chain &c, double d, const std::vector<std::array<double, 2>> &samples,
                         const std::function<double(double, double)> &to_offset, int per = 16) {
  double worst = 0;
  for (const auto &p : samples) worst = std::max(worst, std::fabs(d) - c.path.distance(p[0], p[1]));
  for (const Element &e : c.path.elements)
    for (int i = 1; i < per; ++i) {
      double x, y, nx, ny;
      e.at(double(i) / per, &x, &y);
      e.right(double(i) / per, &nx, &ny);
      x += d * nx, y += d * ny;
      if (c.path.distance(x, y) >= std::fabs(d) - 1e-12) worst = std::max(worst, to_offset(x, y));
    }
  return worst;
}

// `per` + 1 samples of each element.
inline std::vector<std::array<double, 2>> samples_of(const Path &p, int per = 16) {
  std::vector<std::array<double, 2>> out;
  for (const Element &e : p.elements)
    for (int i = 0; i <= per; ++i) {
      double x, y;
      e.at(double(i) / per, &x, &y);
      out.push_back({x, y});
    }
  return out;
}

// Our composite offset (single distance d, type 51) to the side (TRUE: right of the chain's direction); loop mode
// 2 as the geometry layer asks for it, unless told otherwise.
struct Ours {
  int rc = 0, m = 0, loops = 0;
  std::vector<VOQbsp_curve *> pieces, loop_curves;
  std::vector<int> tags, per_loop, loop_tags;
  Ours(const Chain &c, BSboolean side, double d, std::int16_t option, std::int16_t loop_mode = 2) {
    const std::vector<const VOQbsp_curve *> comps = c.comps();
    const int n = static_cast<int>(comps.size()), type = BSCMP_ORDINARY;
    const double up[3] = {0, 0, 1};
    pieces.assign(2 * n + 1, nullptr), loop_curves.assign(2 * n + 1, nullptr);
    tags.assign(2 * n + 1, 0), per_loop.assign(2 * n + 1, 0), loop_tags.assign(2 * n + 1, 0);
    BScmpcvoffl(n, comps.data(), side, up, &d, BSTRUE, &type, option, loop_mode, c.closed ? BSTRUE : BSFALSE, &m,
                pieces.data(), tags.data(), &loops, per_loop.data(), loop_curves.data(), loop_tags.data(), &rc);
    for (int k = 0; k < m; ++k) {
      const VOQbsp_curve *cv = pieces[k];
      std::array<double, 4> b{1e300, 1e300, -1e300, -1e300};
      for (int i = 0; i < cv->num_poles; ++i) {
        const double w = cv->rational ? cv->weights[i] : 1.0;
        for (int c = 0; c < 2; ++c)
          b[c] = std::min(b[c], cv->poles[3 * i + c] / w), b[c + 2] = std::max(b[c + 2], cv->poles[3 * i + c] / w);
      }
      boxes.push_back(b);
    }
  }
  ~Ours() {
    int frc = 0;
    for (auto *list : {&pieces, &loop_curves})
      for (VOQbsp_curve *cv : *list)
        if (cv) BSfreevoqcv(cv, &frc);
  }
  Ours(const Ours &) = delete;
  Ours &operator=(const Ours &) = delete;
  // `per` + 1 samples of each piece (NaN where it cannot be evaluated).
  std::vector<std::array<double, 2>> samples(int per = 16) const {
    std::vector<std::array<double, 2>> out;
    for (int k = 0; k < m; ++k) {
      const VOQbsp_curve *cv = pieces[k];
      const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
      for (int i = 0; i <= per; ++i) {
        double q[3];
        int rc2 = 0;
        BScveval_n(cv, a + (b - a) * i / per, 0, q, &rc2);
        out.push_back({rc2 == 0 ? q[0] : NAN, q[1]});
      }
    }
    return out;
  }
  // Each piece drawn as the `per` chords between its samples, indexed.
  Path drawn(int per = 16) const {
    const std::vector<std::array<double, 2>> points = samples(per);
    Path path;
    for (std::size_t k = 0; k < points.size(); ++k) {
      if (k % (per + 1) == 0) continue;
      Element e;
      e.x0 = points[k - 1][0], e.y0 = points[k - 1][1], e.x1 = points[k][0], e.y1 = points[k][1];
      path.elements.push_back(e);
    }
    path.index();
    return path;
  }
  // The farthest that `per` samples of each piece lie from the path.
  double to(const Path &p, int per = 16) const {
    double worst = 0;
    for (const auto &q : samples(per)) worst = std::max(worst, std::isnan(q[0]) ? INFINITY : p.distance(q[0], q[1]));
    return worst;
  }
  // The distance from (x, y) to cv near its parameter u, polished by Newton steps on the squared distance: the
  // library's own answer stops at its tolerance, well short of what the comparisons need.
  static double refined(const VOQbsp_curve *cv, double x, double y, double u) {
    const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
    double e[9];
    int rc = 0;
    for (int it = 0; it < 4; ++it) {
      BScveval_n(cv, u, 2, e, &rc);
      const double dx = e[0] - x, dy = e[1] - y, g = dx * e[3] + dy * e[4];
      const double h = e[3] * e[3] + e[4] * e[4] + dx * e[6] + dy * e[7];
      if (rc != 0 || !(h > 0)) break;
      u = std::clamp(u - g / h, a, b);
    }
    BScveval_n(cv, u, 0, e, &rc);
    return rc == 0 ? std::hypot(e[0] - x, e[1] - y) : INFINITY;
  }
  // The farthest that `per` samples of each element of the path lie from our pieces.
  double from(const Path &p, int per = 16) const {
    double worst = 0;
    for (const auto &q : samples_of(p, per)) worst = std::max(worst, distance(q[0], q[1]));
    return worst;
  }
  // The distance from (x, y) to the pieces; only pieces whose pole box (which holds the piece) comes near enough
  // are asked.
  double distance(double x, double y) const {
    double best = INFINITY;
    for (int k = 0; k < m; ++k) {
      const auto &b = boxes[k];
      if (std::max({b[0] - x, x - b[2], b[1] - y, y - b[3], 0.0}) >= best) continue;
      const double q[3] = {x, y, 0};
      double u = 0, foot[3], d = INFINITY;
      int rc2 = 0;
      BSmdstptcv(pieces[k], q, &u, foot, &d, &rc2);
      if (rc2 == 0) best = std::min({best, d, refined(pieces[k], x, y, u)});
    }
    return best;
  }
  std::vector<std::array<double, 4>> boxes;
};

// OpenCASCADE's offset of the open wire by d to the right of the chain (its positive side), with intersection or
// arc joins; an empty path when it fails.
inline Path occt_offset(const Chain &c, double d, bool round) {
  BRepBuilderAPI_MakeWire wire;
  for (const Element &e : c.path.elements) {
    const gp_Pnt a(e.x0, e.y0, 0), b(e.x1, e.y1, 0);
    if (e.arc) {
      double mx, my;
      e.at(0.5, &mx, &my);
      wire.Add(BRepBuilderAPI_MakeEdge(GC_MakeArcOfCircle(a, gp_Pnt(mx, my, 0), b).Value()).Edge());
    } else {
      wire.Add(BRepBuilderAPI_MakeEdge(a, b).Edge());
    }
  }
  Path out;
  BRepOffsetAPI_MakeOffset offset(wire.Wire(), round ? GeomAbs_Arc : GeomAbs_Intersection, Standard_True);
  offset.Perform(d);
  if (!offset.IsDone()) return out;
  for (TopExp_Explorer x(offset.Shape(), TopAbs_EDGE); x.More(); x.Next()) {
    const BRepAdaptor_Curve cv(TopoDS::Edge(x.Current()));
    const gp_Pnt a = cv.Value(cv.FirstParameter()), b = cv.Value(cv.LastParameter());
    Element e;
    e.x0 = a.X(), e.y0 = a.Y(), e.x1 = b.X(), e.y1 = b.Y();
    if (cv.GetType() == GeomAbs_Circle) {
      const gp_Circ circ = cv.Circle();
      const bool ccw = circ.Axis().Direction().Z() > 0;
      e.arc = true, e.cx = circ.Location().X(), e.cy = circ.Location().Y(), e.r = circ.Radius();
      e.a0 = std::atan2(a.Y() - e.cy, a.X() - e.cx);
      e.sweep = (ccw ? 1 : -1) * (cv.LastParameter() - cv.FirstParameter());
    } else if (cv.GetType() != GeomAbs_Line) {
      return Path{};
    }
    out.elements.push_back(e);
  }
  out.index();
  return out;
}

// The farther of the two ways that `per` samples of each element of one path lie from the other path.
inline double path_gap(const Path &a, const Path &b, int per = 16) {
  double worst = 0;
  for (const auto &[from, to] : {std::pair{&a, &b}, std::pair{&b, &a}})
    for (const Element &e : from->elements)
      for (int i = 0; i <= per; ++i) {
        double x, y;
        e.at(double(i) / per, &x, &y);
        worst = std::max(worst, to->distance(x, y));
      }
  return worst;
}

// A polyline's x, y pairs as a path of segments (closing it when asked).
inline Path polyline_path(const std::vector<double> &xy, bool closed) {
  Path out;
  const size_t n = xy.size() / 2;
  for (size_t k = 0; k + (closed ? 0 : 1) < n; ++k) {
    Element e;
    e.x0 = xy[2 * k], e.y0 = xy[2 * k + 1], e.x1 = xy[2 * ((k + 1) % n)], e.y1 = xy[2 * ((k + 1) % n) + 1];
    out.elements.push_back(e);
  }
  out.index();
  return out;
}

// The chain's corners as a polyline (arcs drawn by `per_arc` chords) in the plane z = 0.
inline std::unique_ptr<TestCurve> corners(const Chain &c, int per_arc) {
  std::vector<double> xyz{c.path.elements[0].x0, c.path.elements[0].y0, 0};
  for (const Element &e : c.path.elements)
    for (int i = 1, n = e.arc ? per_arc : 1; i <= n; ++i) {
      double x, y;
      e.at(double(i) / n, &x, &y);
      xyz.insert(xyz.end(), {x, y, 0});
    }
  return polyline_xyz(xyz);
}

// GEOS's offset curve of the open chain by d to the right (mitred, or round with 64 segments a quadrant).
inline Path geos_offset_path(const Chain &c, double d, bool round, int per_arc = 1) {
  return polyline_path(geos_offset(*corners(c, per_arc), -d, round), false);
}

// The outline of GEOS's round buffer of a line chain by d (its arcs by quadrant_segments chords a quadrant), as
// a path of segments.
inline Path geos_buffer_path(const Chain &c, double d, int quadrant_segments) {
  std::vector<double> xy;
  for (const Element &e : c.path.elements) xy.insert(xy.end(), {e.x0, e.y0});
  if (!c.closed) xy.insert(xy.end(), {c.path.elements.back().x1, c.path.elements.back().y1});
  Path out;
  for (const std::vector<double> &ring : geos_round_buffer(xy, c.closed, d, quadrant_segments))
    for (std::size_t k = 2; k + 1 < ring.size(); k += 2) {
      Element e;
      e.x0 = ring[k - 2], e.y0 = ring[k - 1], e.x1 = ring[k], e.y1 = ring[k + 1];
      out.elements.push_back(e);
    }
  out.index();
  return out;
}

// Clipper's offset of the closed polygon by d outwards (inwards when negative), mitred without a limit that
// matters, on the grid of 1e-6; an empty path unless it gives one polygon.
inline Path clipper_offset(const Chain &c, double d) {
  const double scale = 1e6;
  ClipperLib::Path in;
  for (const Element &e : c.path.elements)
    in.emplace_back(static_cast<ClipperLib::cInt>(std::llround(e.x0 * scale)),
                    static_cast<ClipperLib::cInt>(std::llround(e.y0 * scale)));
  ClipperLib::ClipperOffset offset(1e6);
  offset.AddPath(in, ClipperLib::jtMiter, ClipperLib::etClosedPolygon);
  ClipperLib::Paths out;
  offset.Execute(out, d * scale);
  if (out.size() != 1) return Path{};
  std::vector<double> xy;
  for (const ClipperLib::IntPoint &p : out[0]) xy.insert(xy.end(), {p.X / scale, p.Y / scale});
  return polyline_path(xy, true);
}

}  // namespace chains
