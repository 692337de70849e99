// What the geometry layer's fuzz targets share: typed curves and fill boundaries read from the fuzzer's bytes
// (numbers through fuzz::Reader), evaluations by the records' definitions that share no code with the layer, a
// nearest-point search to hold one shape to another, the even-odd inside test and area of a boundary, and the
// counts of live blocks and process-wide tolerances that a run must leave as it found them.
//
// Typed curve, read front to back: a kind byte (low 3 bits: 0 line, 1 line string, 2 ellipse, 3 and 6 arc, 4
// B-spline record, 5 complex string, 7 a record of the geometry library or of an unknown type; bit 3 asks for a
// damaged record), then the record:
//   line: root point, direction (normalised unless damaged), start and end (ordered unless damaged);
//   line string: a count byte (% 10) and the points;
//   ellipse, arc: centre, normal (in the plane: a sign byte), major axis (turned across the normal unless
//          damaged), ratio, and for an arc its two angles;
//   B-spline: order byte (% 6 + 1), pole count byte (% 10), flags (rational 1, clamped 2, raw knots 4), the
//          knots (raw numbers, or a start number and a gap byte each, gap / 32), the poles and the weights; a
//          damaged record then has one count off by one;
//   complex string: a count byte (% 5), then the members (a damaged string may nest one), each moved so that it
//          starts where the one before ends.
// Points are three numbers, or two with z 0 in the plane.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "bspline/bspline.h"
#include "geometry/fill.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "host/quarnet/geom_services.h"
#include "tests/fuzz/fuzz_input.h"

namespace gfuzz {

using fuzz::Reader;

// Coordinates beyond this make no shape the checks hold to a tolerance.
inline constexpr double kBound = 1e4;

// ---------------------------------------------------------------------------------------------------------
// State a run must leave as it found it

// Live blocks of the geometry library's allocator, the B-spline library's and its scratch heap, and the
// tolerances that the small-conic construction narrows and puts back.
struct Untouched {
  int geom = QnGeomLiveBlocks();
  int lib = BSdbgliveblocks();
  int scratch = BSscratchheapblocks();
  double dist = GetDistanceTolerance(), rel = GetRelativeTolerance();
  double libDist = QnGeomDistTolerance(), libRel = QnGeomRelTolerance();
  double table = BStoltab[bstol::dist_tol], squared = BStoltab[bstol::dist_sqtol];

  bool blocks() const {
    return QnGeomLiveBlocks() == geom && BSdbgliveblocks() == lib && BSscratchheapblocks() == scratch &&
           QnGeomForeignFrees() == 0;
  }
  bool tolerances() const {
    return GetDistanceTolerance() == dist && GetRelativeTolerance() == rel && QnGeomDistTolerance() == libDist &&
           QnGeomRelTolerance() == libRel && BStoltab[bstol::dist_tol] == table &&
           BStoltab[bstol::dist_sqtol] == squared;
  }
};

// ---------------------------------------------------------------------------------------------------------
// Typed curves from the input

// Whether the checks may hold a curve to its shape: finite, within kBound, and shaped as its type's definition
// asks (unit directions and normals, an axis across the normal, a ratio in [0.01, 1], ordered bounds and
// angles, at least two points, chained members, a B-spline record with sound counts, knots and weights).
struct Shape {
  bool sane = true;
  double scale = 1;  // the largest coordinate, at least 1

  void take(double v) {
    if (!(std::fabs(v) <= kBound))
      sane = false;
    else
      scale = std::fmax(scale, std::fabs(v));
  }
  void take(const GPosition& p) { take(p.x), take(p.y), take(p.z); }
  void need(bool condition) { sane = sane && condition; }
};

inline GPosition ReadPoint(Reader& in, bool planar) {
  const double x = in.number(), y = in.number();
  return {x, y, planar ? 0.0 : in.number()};
}

inline double Length(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

// A record block as the layer makes them: as large as a GArc, zero-filled, from the geometry library.
inline GTypedCurve Block(std::uint8_t type) { return {geomplatform::GeomCalloc(1, sizeof(GArc)), type}; }

template <typename T>
T& Rec(const GTypedCurve& tc) {
  return *static_cast<T*>(tc.pCurve);
}

inline void FreeCurve(GTypedCurve& tc) {
  int rc = 0;
  IMGTCFree(&tc, &rc);
}

inline void FreeCurve(VOQbsp_curve*& cv) {
  int rc = 0;
  if (cv) BSfreevoqcv(cv, &rc);
  cv = nullptr;
}

inline void Move(const GTypedCurve& tc, const GVector& v) {
  if (!tc.pCurve) return;
  switch (tc.type) {
    case kCurveLine:
      Rec<GLine>(tc).rootPoint += v;
      break;
    case kCurveLineString: {
      GLineString& ls = Rec<GLineString>(tc);
      for (std::uint32_t i = 0; i < ls.numPoints; ++i) ls.pPoints[i] += v;
      break;
    }
    case kCurveEllipse:
    case kCurveArc:
      Rec<GEllipse>(tc).center += v;
      break;
    case kCurveBspline: {
      GBspCurve& cv = Rec<GBspCurve>(tc);
      for (std::uint32_t i = 0; i < cv.numPoles; ++i) cv.pPoles[i] += v;
      break;
    }
    case kCurveComplexString: {
      GComplexString& cs = Rec<GComplexString>(tc);
      for (std::uint32_t i = 0; i < cs.numCurves; ++i) Move(cs.curves[i], v);
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------------------
// Evaluation by the records' definitions

// A smooth parametric piece of a curve over [a, b].
struct Piece {
  std::function<GPosition(double)> at;
  double a, b;
  // The parameter at fraction f of the range, b itself at 1: a + (b - a) may round past b, where a curve's
  // evaluation by the definition has no span.
  double At(double f) const { return f >= 1 ? b : a + (b - a) * f; }
};

// The point of a record of order k at u by the definition: sum N_i w_i P_i / sum N_i w_i.
inline GPosition RecordPoint(const GBspCurve& cv, double u) {
  const std::vector<double> knots(cv.pKnots, cv.pKnots + cv.numKnots);
  const std::vector<double> N = ref_basis_all(knots, cv.order, u, cv.pKnots[cv.numPoles]);
  double A[3] = {0, 0, 0}, W = 0;
  for (std::uint32_t i = 0; i < cv.numPoles; ++i) {
    const double w = cv.rational ? cv.pWeights[i] : 1.0;
    for (int k = 0; k < 3; ++k) A[k] += N[i] * w * cv.pPoles[i][k];
    W += N[i] * w;
  }
  return {A[0] / W, A[1] / W, A[2] / W};
}

inline GPosition ConicPoint(const GEllipse& el, double t) {
  const GVector n(el.normal.x, el.normal.y, el.normal.z);
  const GVector minor = GVector::Cross(n, el.majorAxis) * el.minorMajorRatio;
  return el.center + std::cos(t) * el.majorAxis + std::sin(t) * minor;
}

// The sweep of an arc as the layer reads it.
inline double Sweep(const GArc& ar) {
  const double s = ar.endAngle - ar.startAngle;
  return s < 0 ? s + 6.283185307179586 : s;
}

// The smooth pieces of a sane typed curve, in order along it: B-spline records span by span, line strings
// segment by segment, complex strings member by member.
inline void PiecesOf(const GTypedCurve& tc, std::vector<Piece>& out) {
  switch (tc.type) {
    case kCurveLine: {
      const GLine ln = Rec<GLine>(tc);
      const GVector d(ln.direction.x, ln.direction.y, ln.direction.z);
      out.push_back({[ln, d](double t) { return ln.rootPoint + t * d; }, ln.start, ln.end});
      break;
    }
    case kCurveLineString: {
      const GLineString& ls = Rec<GLineString>(tc);
      for (std::uint32_t i = 0; i + 1 < ls.numPoints; ++i) {
        const GPosition p = ls.pPoints[i], q = ls.pPoints[i + 1];
        out.push_back({[p, q](double t) { return GPosition::Interpolate(t, p, q); }, 0.0, 1.0});
      }
      break;
    }
    case kCurveEllipse: {
      const GEllipse el = Rec<GEllipse>(tc);
      out.push_back({[el](double t) { return ConicPoint(el, t); }, 0.0, 6.283185307179586});
      break;
    }
    case kCurveArc: {
      const GArc ar = Rec<GArc>(tc);
      out.push_back({[ar](double t) { return ConicPoint(ar, t); }, ar.startAngle, ar.startAngle + Sweep(ar)});
      break;
    }
    case kCurveBspline: {
      const GBspCurve* cv = &Rec<GBspCurve>(tc);
      for (std::uint32_t i = cv->order - 1; i < cv->numPoles; ++i)
        if (cv->pKnots[i + 1] > cv->pKnots[i])
          out.push_back({[cv](double u) { return RecordPoint(*cv, u); }, cv->pKnots[i], cv->pKnots[i + 1]});
      break;
    }
    case kCurveComplexString: {
      const GComplexString& cs = Rec<GComplexString>(tc);
      for (std::uint32_t i = 0; i < cs.numCurves; ++i) PiecesOf(cs.curves[i], out);
      break;
    }
    default:
      break;
  }
}

// The non-empty spans of a library curve, evaluated by the definition. The curve must outlive the pieces.
inline void PiecesOf(const VOQbsp_curve* cv, std::vector<Piece>& out) {
  for (int i = cv->order - 1; i < cv->num_poles; ++i)
    if (cv->knots[i + 1] > cv->knots[i])
      out.push_back({[cv](double u) {
                       double p[3];
                       ref_point(*cv, u, p);
                       return GPosition(p[0], p[1], p[2]);
                     },
                     cv->knots[i], cv->knots[i + 1]});
}

inline GPosition StartOf(const std::vector<Piece>& pieces) { return pieces.front().at(pieces.front().a); }
inline GPosition EndOf(const std::vector<Piece>& pieces) { return pieces.back().at(pieces.back().b); }

// The least value of f(piece, t) over the pieces: each piece is sampled, and about its eight smallest sampled
// local minima f is refined by golden section. Never below the true least value; on smooth functions within
// rounding of it.
template <typename F>
double Least(const std::vector<Piece>& pieces, F f, int samples = 48) {
  double best = HUGE_VAL;
  std::vector<double> v(samples + 1);
  for (const Piece& piece : pieces) {
    const auto param = [&](int i) { return piece.At(static_cast<double>(i) / samples); };
    const auto g = [&](double t) { return f(piece, t); };
    for (int i = 0; i <= samples; ++i) v[i] = g(param(i));
    std::vector<int> minima;
    for (int i = 0; i <= samples; ++i)
      if ((i == 0 || v[i] <= v[i - 1]) && (i == samples || v[i] <= v[i + 1])) minima.push_back(i);
    std::sort(minima.begin(), minima.end(), [&](int i, int j) { return v[i] < v[j]; });
    if (minima.size() > 8) minima.resize(8);
    for (int i : minima) {
      best = std::fmin(best, v[i]);
      double lo = param(std::max(i - 1, 0)), hi = param(std::min(i + 1, samples));
      const double r = 0.3819660112501051;
      double x1 = lo + r * (hi - lo), x2 = hi - r * (hi - lo), f1 = g(x1), f2 = g(x2);
      for (int it = 0; it < 60 && hi - lo > 1e-15 * (std::fabs(lo) + std::fabs(hi)); ++it) {
        if (f1 < f2) {
          hi = x2, x2 = x1, f2 = f1;
          x1 = lo + r * (hi - lo);
          f1 = g(x1);
        } else {
          lo = x1, x1 = x2, f1 = f2;
          x2 = hi - r * (hi - lo);
          f2 = g(x2);
        }
      }
      best = std::fmin(best, std::fmin(f1, f2));
    }
  }
  return best;
}

// The distance from p to the pieces.
inline double Nearest(const std::vector<Piece>& pieces, const GPosition& p, int samples = 48) {
  return Least(pieces, [&p](const Piece& piece, double t) { return GPosition::Distance(piece.at(t), p); }, samples);
}

// Samples of the pieces: the ends of each and `inner` points between.
inline std::vector<GPosition> Samples(const std::vector<Piece>& pieces, int inner) {
  std::vector<GPosition> out;
  for (const Piece& piece : pieces)
    for (int i = 0; i <= inner + 1; ++i) out.push_back(piece.at(piece.At(static_cast<double>(i) / (inner + 1))));
  return out;
}

// About `count` samples spread evenly over the pieces by their index, and the two ends: for curves of many
// spans, where a few samples of each would cost too much.
inline std::vector<GPosition> Spread(const std::vector<Piece>& pieces, int count) {
  const double n = static_cast<double>(pieces.size());
  if (pieces.size() * 7 <= static_cast<std::size_t>(count)) return Samples(pieces, 5);
  std::vector<GPosition> out = {StartOf(pieces), EndOf(pieces)};
  for (int k = 0; k < count; ++k) {
    const double s = (k + 0.5) * n / count;
    const Piece& piece = pieces[std::min(pieces.size() - 1, static_cast<std::size_t>(s))];
    out.push_back(piece.at(piece.At(s - std::floor(s))));
  }
  return out;
}

// The larger of the two one-sided distances between the shapes, by samples of each held to the other.
inline double Apart(const std::vector<Piece>& a, const std::vector<Piece>& b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty() ? 0.0 : HUGE_VAL;
  double worst = 0;
  for (const GPosition& p : Spread(a, 64)) worst = std::fmax(worst, Nearest(b, p));
  for (const GPosition& p : Spread(b, 64)) worst = std::fmax(worst, Nearest(a, p));
  return worst;
}

// ---------------------------------------------------------------------------------------------------------
// Reading typed curves

inline void ReadLine(Reader& in, bool planar, bool damaged, GTypedCurve& tc, Shape& s) {
  GLine& ln = Rec<GLine>(tc);
  ln.rootPoint = ReadPoint(in, planar);
  const GPosition d = ReadPoint(in, planar);
  ln.start = in.number();
  ln.end = in.number();
  const double length = Length(d.x, d.y, d.z);
  if (damaged || !(length > 1e-3 && length <= kBound)) {
    ln.direction.x = d.x, ln.direction.y = d.y, ln.direction.z = d.z;
    s.need(false);
  } else {
    ln.direction.x = d.x / length, ln.direction.y = d.y / length, ln.direction.z = d.z / length;
  }
  if (!damaged && ln.start > ln.end) std::swap(ln.start, ln.end);
  s.take(ln.rootPoint);
  s.take(ln.start), s.take(ln.end);
  s.need(ln.start <= ln.end);
}

inline void ReadLineString(Reader& in, bool planar, GTypedCurve& tc, Shape& s) {
  GLineString& ls = Rec<GLineString>(tc);
  const std::uint32_t n = in.byte() % 10;
  ls.pPoints = static_cast<GPosition*>(geomplatform::GeomCalloc(n ? n : 1, sizeof(GPosition)));
  ls.numPoints = n;
  ls.form = 1;
  ls.scope = 1;
  for (std::uint32_t i = 0; i < n; ++i) {
    ls.pPoints[i] = ReadPoint(in, planar);
    s.take(ls.pPoints[i]);
  }
  s.need(n >= 2);
}

inline void ReadConic(Reader& in, bool planar, bool damaged, bool arc, GTypedCurve& tc, Shape& s) {
  GArc& ar = Rec<GArc>(tc);
  ar.center = ReadPoint(in, planar);
  GVector n(0, 0, in.byte() & 1 ? -1.0 : 1.0);
  if (!planar) {
    const GPosition q = ReadPoint(in, false);
    n = GVector(q.x, q.y, q.z);
  }
  const GPosition m = ReadPoint(in, planar);
  GVector major(m.x, m.y, m.z);
  const double nl = n.Length();
  if (!damaged && nl > 1e-3 && nl <= kBound) {
    n = n * (1.0 / nl);
    major = major - GVector::Dot(major, n) * n;
  } else {
    s.need(false);
  }
  ar.normal.x = n.x, ar.normal.y = n.y, ar.normal.z = n.z;
  ar.majorAxis = major;
  ar.minorMajorRatio = in.number();
  if (arc) {
    ar.startAngle = in.number();
    ar.endAngle = in.number();
    s.take(ar.startAngle), s.take(ar.endAngle);
    const double sweep = Sweep(ar);
    s.need(sweep >= 1e-3 && sweep <= 6.283185307179586);
  }
  s.take(ar.center);
  s.take(GPosition(major.x, major.y, major.z));
  s.need(major.Length() >= 1e-3 && ar.minorMajorRatio >= 0.01 && ar.minorMajorRatio <= 1);
}

inline void ReadBspline(Reader& in, bool planar, bool damaged, GTypedCurve& tc, Shape& s) {
  GBspCurve& cv = Rec<GBspCurve>(tc);
  const int order = in.byte() % 6 + 1, n = in.byte() % 10;
  const std::uint8_t flags = in.byte();
  const bool rational = flags & 1, clamped = flags & 2, rawKnots = flags & 4;
  const int numKnots = n + order;
  // The arrays are as large as the counts say before any damage, so that a read past them shows.
  cv.pPoles = static_cast<GPosition*>(geomplatform::GeomCalloc(n ? n : 1, sizeof(GPosition)));
  cv.pKnots = static_cast<double*>(geomplatform::GeomCalloc(numKnots, sizeof(double)));
  cv.pWeights = rational ? static_cast<double*>(geomplatform::GeomCalloc(n ? n : 1, sizeof(double))) : nullptr;
  cv.numPoles = n;
  cv.numKnots = numKnots;
  cv.order = static_cast<std::uint8_t>(order);
  cv.rational = rational;
  cv.length = -1.0;
  cv.form = 1;
  cv.scope = planar ? 1 : 4;
  if (rawKnots) {
    for (int i = 0; i < numKnots; ++i) cv.pKnots[i] = in.number();
  } else {
    double t = in.number();
    for (int i = 0; i < numKnots; ++i) {
      if (i > 0 && !(clamped && (i < order || i > n))) t += in.byte() / 32.0 + (clamped && i == n ? 1.0 : 0.0);
      cv.pKnots[i] = t;
    }
  }
  for (int i = 0; i < n; ++i) {
    cv.pPoles[i] = ReadPoint(in, planar);
    s.take(cv.pPoles[i]);
  }
  for (int i = 0; rational && i < n; ++i) {
    cv.pWeights[i] = in.number();
    s.need(cv.pWeights[i] >= 1.0 / 64 && cv.pWeights[i] <= 64);
  }
  // Sound knots: finite, non-decreasing, no inner knot above the multiplicity order - 1 (the library keeps its
  // curves continuous), a range wider than 1e-3 and no inner gap narrower than 1e-6 of it.
  s.need(order >= 2 && n >= order);
  if (s.sane) {
    for (int i = 0; i < numKnots; ++i) s.take(cv.pKnots[i]);
    const double range = cv.pKnots[n] - cv.pKnots[order - 1];
    s.need(range > 1e-3);
    int mult = 1;
    for (int i = 1; i < numKnots && s.sane; ++i) {
      const double gap = cv.pKnots[i] - cv.pKnots[i - 1];
      s.need(gap >= 0 && (gap == 0 || gap >= 1e-6 * range));
      mult = gap == 0 ? mult + 1 : 1;
      s.need(mult < order || i < order || i > n);
    }
  }
  if (damaged) {
    switch (in.byte() % 3) {
      case 0:
        cv.numKnots += in.byte() & 1 ? 1 : -1;
        break;
      case 1:
        cv.numPoles += in.byte() & 1 ? 1 : -1;
        break;
      default:
        cv.order = static_cast<std::uint8_t>(cv.order + (in.byte() & 1 ? 1 : -1));
        break;
    }
    s.need(false);
  }
}

inline GTypedCurve ReadCurve(Reader& in, bool planar, int depth, Shape& s);

inline void ReadComplex(Reader& in, bool planar, bool damaged, int depth, GTypedCurve& tc, Shape& s) {
  GComplexString& cs = Rec<GComplexString>(tc);
  const std::uint32_t n = in.byte() % 5;
  cs.curves = static_cast<GTypedCurve*>(geomplatform::GeomCalloc(n ? n : 1, sizeof(GTypedCurve)));
  cs.form = 0;
  cs.scope = planar ? 1 : 4;
  s.need(n >= 1);
  for (std::uint32_t i = 0; i < n; ++i) {
    cs.curves[i] = ReadCurve(in, planar, damaged ? depth : depth + 1, s);
    ++cs.numCurves;
    if (i == 0 || !s.sane) continue;
    std::vector<Piece> before, member;
    PiecesOf(cs.curves[i - 1], before);
    PiecesOf(cs.curves[i], member);
    if (before.empty() || member.empty()) {
      s.need(false);
      continue;
    }
    Move(cs.curves[i], EndOf(before) - StartOf(member));
    member.clear();
    PiecesOf(cs.curves[i], member);
    s.take(StartOf(member)), s.take(EndOf(member));
  }
}

// A typed curve from the input; the caller frees it with IMGTCFree.
inline GTypedCurve ReadCurve(Reader& in, bool planar, int depth, Shape& s) {
  const std::uint8_t kind = in.byte();
  const bool damaged = kind & 8;
  switch (kind & 7) {
    case 0: {
      GTypedCurve tc = Block(kCurveLine);
      ReadLine(in, planar, damaged, tc, s);
      return tc;
    }
    case 1: {
      GTypedCurve tc = Block(kCurveLineString);
      ReadLineString(in, planar, tc, s);
      return tc;
    }
    case 2: {
      GTypedCurve tc = Block(kCurveEllipse);
      ReadConic(in, planar, damaged, false, tc, s);
      return tc;
    }
    case 3:
    case 6: {
      GTypedCurve tc = Block(kCurveArc);
      ReadConic(in, planar, damaged, true, tc, s);
      return tc;
    }
    case 5:
      if (depth == 0 || damaged) {
        GTypedCurve tc = Block(kCurveComplexString);
        ReadComplex(in, planar, damaged, depth, tc, s);
        if (depth > 0 || damaged) s.need(false);
        return tc;
      }
      [[fallthrough]];
    case 4: {
      GTypedCurve tc = Block(kCurveBspline);
      ReadBspline(in, planar, damaged, tc, s);
      return tc;
    }
    default:
      // An empty record of the geometry library, or a type no routine knows.
      s.need(false);
      return Block(damaged ? 99 : kCurveLibrary);
  }
}

// ---------------------------------------------------------------------------------------------------------
// Fill boundaries

// Boundary, read front to back: a header byte (loop count 1 + h % 4; coordinate kind (h >> 2) % 4: 0 a grid of
// sixteenths in [-8, 8), 1 whole numbers in [-8, 8), 2 any number, 3 the sixteenths moved by up to 1.3e-7, for
// crossings and vertices close together), then per loop a point count byte (% 16) and the points, two
// coordinates each. Loops are joined by a point whose x is -DBL_MAX.
struct Boundary {
  std::vector<GPosition> points;
  bool finite = true;  // every coordinate apart from the separators
  double extent = 1;   // the largest coordinate, at least 1
};

inline double ReadCoordinate(Reader& in, int kind) {
  switch (kind) {
    case 0:
      return (in.byte() - 128) / 16.0;
    case 1:
      return in.byte() % 16 - 8.0;
    case 2:
      return in.number();
    default: {
      const double grid = (in.byte() - 128) / 16.0;
      return grid + (in.byte() - 128) * 1e-9;
    }
  }
}

inline Boundary ReadBoundary(Reader& in, int mostPoints = 16) {
  Boundary b;
  const std::uint8_t header = in.byte();
  const int loops = 1 + header % 4, kind = (header >> 2) % 4;
  for (int l = 0; l < loops; ++l) {
    if (l > 0) b.points.emplace_back(kFillLoopSeparatorX, 0.0, 0.0);
    const int n = in.byte() % mostPoints;
    for (int i = 0; i < n; ++i) {
      const double x = ReadCoordinate(in, kind), y = ReadCoordinate(in, kind);
      b.points.emplace_back(x, y, 0.0);
      if (x == kFillLoopSeparatorX) continue;
      if (!std::isfinite(x) || !std::isfinite(y)) b.finite = false;
      else b.extent = std::fmax(b.extent, std::fmax(std::fabs(x), std::fabs(y)));
    }
  }
  return b;
}

// A boundary read from the input and its decomposition.
struct Decomposed {
  Boundary boundary;
  FillTrap trap;
  bool built;

  explicit Decomposed(Reader& in)
      : boundary(ReadBoundary(in)), built(trap.Build(boundary.points.data(), count()) == kFillOk) {}
  std::uint32_t count() const { return static_cast<std::uint32_t>(boundary.points.size()); }
  const GPosition* points() const { return boundary.points.data(); }
};

inline bool Finite(const GBox2d& box) {
  return std::isfinite(box.low.x) && std::isfinite(box.low.y) && std::isfinite(box.high.x) &&
         std::isfinite(box.high.y);
}

struct Edge {
  double x0, y0, x1, y1;
};

// The edges of every loop, each loop closed; a separator ends a loop.
inline std::vector<Edge> EdgesOf(const std::vector<GPosition>& points) {
  std::vector<Edge> edges;
  std::size_t start = 0;
  while (start < points.size()) {
    std::size_t end = start;
    while (end < points.size() && points[end].x != kFillLoopSeparatorX) ++end;
    for (std::size_t i = start; i < end; ++i) {
      const GPosition& p = points[i];
      const GPosition& q = points[i + 1 < end ? i + 1 : start];
      edges.push_back({p.x, p.y, q.x, q.y});
    }
    start = end + 1;
  }
  return edges;
}

// Even-odd: whether a point lies inside the loops (meaningful away from the edges).
inline bool InsideLoops(const std::vector<Edge>& edges, double x, double y) {
  bool inside = false;
  for (const Edge& e : edges)
    if ((e.y0 > y) != (e.y1 > y) && x < e.x0 + (y - e.y0) / (e.y1 - e.y0) * (e.x1 - e.x0)) inside = !inside;
  return inside;
}

inline double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double ex = bx - ax, ey = by - ay, l2 = ex * ex + ey * ey;
  double t = l2 > 0 ? ((px - ax) * ex + (py - ay) * ey) / l2 : 0.0;
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return std::hypot(px - (ax + t * ex), py - (ay + t * ey));
}

inline double DistanceToEdges(const std::vector<Edge>& edges, double x, double y) {
  double best = HUGE_VAL;
  for (const Edge& e : edges) best = std::fmin(best, SegmentDistance(x, y, e.x0, e.y0, e.x1, e.y1));
  return best;
}

// Inside, or within tol of an edge.
inline bool InsideOrNear(const std::vector<Edge>& edges, double x, double y, double tol) {
  return InsideLoops(edges, x, y) || DistanceToEdges(edges, x, y) <= tol;
}

// The even-odd area of the loops, by slabs between the heights of every vertex and every crossing of two
// edges: within a slab no edges cross, so the inside is trapezoids between pairs of edges in x order.
inline double EvenOddArea(const std::vector<Edge>& edges) {
  std::vector<double> ys;
  for (const Edge& e : edges) ys.push_back(e.y0), ys.push_back(e.y1);
  for (std::size_t i = 0; i < edges.size(); ++i)
    for (std::size_t j = i + 1; j < edges.size(); ++j) {
      const Edge &a = edges[i], &b = edges[j];
      const double dax = a.x1 - a.x0, day = a.y1 - a.y0, dbx = b.x1 - b.x0, dby = b.y1 - b.y0;
      const double den = dax * dby - day * dbx;
      if (den == 0) continue;
      const double t = ((b.x0 - a.x0) * dby - (b.y0 - a.y0) * dbx) / den;
      const double u = ((b.x0 - a.x0) * day - (b.y0 - a.y0) * dax) / den;
      if (t > 0 && t < 1 && u > 0 && u < 1) ys.push_back(a.y0 + t * day);
    }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  double area = 0;
  std::vector<std::pair<double, std::pair<double, double>>> xs;  // x at the middle, then at the bottom and top
  for (std::size_t s = 0; s + 1 < ys.size(); ++s) {
    const double y0 = ys[s], y1 = ys[s + 1], ym = 0.5 * (y0 + y1);
    xs.clear();
    for (const Edge& e : edges) {
      const double lo = std::fmin(e.y0, e.y1), hi = std::fmax(e.y0, e.y1);
      if (!(lo < ym && ym < hi)) continue;
      const auto x = [&](double y) { return e.x0 + (y - e.y0) / (e.y1 - e.y0) * (e.x1 - e.x0); };
      xs.push_back({x(ym), {x(y0), x(y1)}});
    }
    std::sort(xs.begin(), xs.end());
    for (std::size_t i = 0; i + 1 < xs.size(); i += 2)
      area += 0.5 * ((xs[i + 1].second.first - xs[i].second.first) + (xs[i + 1].second.second - xs[i].second.second)) *
              (y1 - y0);
  }
  return area;
}

}  // namespace gfuzz
