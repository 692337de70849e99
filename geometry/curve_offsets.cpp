// Offsets of planar typed curves towards the side of a side point. Lines and circles move exactly here; every
// other curve goes through the B-spline library's single-curve offset and comes back as a typed curve, and the
// members of a complex string through its composite offset, which joins them at their corners.
#include <algorithm>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <limits>

#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/measure.h"
#include "bspline/offset.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "geometry/typed_curves_internal.h"

namespace {

namespace qn = geomplatform;
using typedcurves::DropCurve;

constexpr double kTiny = 2.220446049250313e-16;
// The loop mode of the library's offset: loops are cut away and the main piece kept.
constexpr std::int16_t kLoopMode = 2;

bool Finite(const GPosition& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// A weight the offset could not be handed back with: the conversion back from the library refuses it.
bool WeightVanishes(const VOQbsp_curve& cv) {
  for (int i = 0; cv.rational && i < cv.num_poles; ++i)
    if (!(std::fabs(cv.weights[i]) > kTiny)) return true;
  return false;
}

// The library's offset of one curve, through BScvoffsetd (driver) or BScvoffset. Whatever the library wrote is
// released unless it is handed back: the pieces split off by loop removal always, the offset on any non-zero
// code (its shortfall code 5 included, which this layer cannot tell from a sound result). A library failure is
// rc 1; *out is null then.
void LibraryOffset(const VOQbsp_curve* cv, double distance, const GPosition& side, int corner, bool driver,
                   VOQbsp_curve** out, int* rc) {
  VOQbsp_curve* off = nullptr;
  VOQbsp_curve** pieces = nullptr;
  int count = 0;
  int libRc = 0;
  const double point[3] = {side.x, side.y, side.z};
  if (driver) {
    BSboolean sideFlag = BSTRUE;
    const double normal[3] = {0.0, 0.0, 0.0};
    BScvoffsetd(cv, distance, point, BSFALSE, corner, kLoopMode, &sideFlag, normal, &off, &count, &pieces, &libRc);
  } else {
    const std::int16_t mode = kLoopMode;
    BScvoffset(&libRc, cv, &distance, point, &corner, &mode, &off, &count, &pieces);
  }
  int freeRc = 0;
  if (pieces) {
    for (int i = 0; i < count; ++i) DropCurve(&pieces[i], &freeRc);
    BSdbgfree(pieces);
  }
  if (libRc != 0 || freeRc != 0) {
    DropCurve(&off, &freeRc);
    *rc = 1;
  }
  *out = off;
}

// The inside test of a non-circular conic: the side point is inside when the curve point at its angle lies
// farther from the centre. Taken on the whole ellipse, since a side point beyond an arc's angles is valid; one on
// the curve itself names no side (rc 5), and the library's offset would take either.
void InwardTooFar(const GEllipse& el, std::uint8_t type, const GPosition& side, double distance, int* rc) {
  double t = 0.0;
  IMGGElPFGPo(&el, &side, &t, rc);
  GPosition onCurve;
  if (*rc == 0) IMGGElGPoFP(&el, t, &onCurve, rc);
  if (*rc != 0) return;
  if (!(GPosition::Distance(side, onCurve) > GetDistanceTolerance())) {
    int arcRc = 0;
    if (type == kCurveArc) IMGGArPFGPo(static_cast<const GArc*>(&el), &side, &t, &arcRc);
    if (arcRc == 0) {
      *rc = 5;
      return;
    }
  }
  const double minor = el.majorAxis.Length() * el.minorMajorRatio;
  const bool inside = GPosition::Distance(onCurve, el.center) > GPosition::Distance(side, el.center);
  // A negative distance goes to the far side, so an outside side point with one moves inwards.
  const bool inwards = inside ? distance > 0 : distance < 0;
  if (inwards && std::fabs(distance) > minor) *rc = 5;
}

// A circle or circular arc: the radius grows or shrinks by the distance, centre, normal and angles kept.
void CircleOffset(const GEllipse& el, std::uint8_t type, const GPosition& side, double distance,
                  GTypedCurve* result, int* rc) {
  double r = 0.0;
  IMElGtMRd(&el, &r, rc);
  if (*rc != 0) return;
  const double tol = GetDistanceTolerance();
  const double d = GPosition::Distance(side, el.center);
  const double r2 = r + (d <= r ? -distance : distance);
  const double axis = el.majorAxis.Length();
  if (r < tol || r2 < tol || axis < kTiny) {
    *rc = 5;
    return;
  }
  result->type = type;
  result->pCurve = qn::GeomCalloc(1, sizeof(GArc));
  if (!result->pCurve) {
    *rc = 6;
    return;
  }
  if (type == kCurveArc) {
    IMArCopy(static_cast<const GArc*>(&el), static_cast<GArc*>(result->pCurve), rc);
  } else {
    IMGElCopy(&el, static_cast<GEllipse*>(result->pCurve), rc);
  }
  if (*rc == 0) static_cast<GEllipse*>(result->pCurve)->majorAxis *= r2 / axis;
}

void ConicOffset(const GEllipse* el, std::uint8_t type, const GPosition* side, double distance,
                 GTypedCurve* result, int* rc) {
  *rc = 0;
  if (!el || !side || !result || !std::isfinite(distance) || !Finite(*side)) {
    *rc = 5;
    return;
  }
  result->pCurve = nullptr;
  int circle = 0;
  IMElIsCir(el, &circle, rc);
  if (*rc != 0) return;
  if (circle) {
    CircleOffset(*el, type, *side, distance, result, rc);
    return;
  }
  InwardTooFar(*el, type, *side, distance, rc);
  if (*rc != 0) return;
  if (type == kCurveArc) {
    VOQbsp_curve* cv = nullptr;
    VOQbsp_curve* off = nullptr;
    IMGArIcv(static_cast<const GArc*>(el), &cv, rc);
    if (*rc == 0) LibraryOffset(cv, distance, *side, 0, false, &off, rc);
    if (*rc == 0) IMIcvGTC(off, kCurveBspline, result, rc);
    DropCurve(&off, rc);
    DropCurve(&cv, rc);
    return;
  }
  GBspCurve temp{};
  IMEl3dCv3d(el, &temp, rc);
  if (*rc == 0) {
    result->type = kCurveBspline;
    result->pCurve = qn::GeomCalloc(1, sizeof(GArc));
    if (!result->pCurve) *rc = 6;
  }
  if (*rc == 0) IMCvOff(&temp, side, distance, 1, static_cast<GBspCurve*>(result->pCurve), rc);
  int freeRc = 0;
  IMGCvFree(&temp, &freeRc);
  if (*rc == 0) *rc = freeRc;
}

// ---------------------------------------------------------------------------------------------------------
// Complex strings

// Every member is offset in one pass by the library's composite offset, as one distance along its whole length.
constexpr int kWholeComponent = 51;
constexpr std::size_t kLocalEntries = 50;

// Working entries of a string's offset: local up to kLocalEntries, beyond that from the geometry library's
// allocator and released on every path. Zero-filled either way; null when the allocation failed.
template <typename T>
class Working {
 public:
  explicit Working(std::size_t count) {
    if (count <= kLocalEntries) {
      std::fill(local_, local_ + kLocalEntries, T{});
      data_ = local_;
    } else {
      data_ = static_cast<T*>(qn::GeomCalloc(count, sizeof(T)));
    }
  }
  ~Working() {
    if (data_ != local_) qn::GeomFree(data_);
  }
  Working(const Working&) = delete;
  Working& operator=(const Working&) = delete;
  T* get() const { return data_; }
  T& operator[](std::size_t i) const { return data_[i]; }

 private:
  T local_[kLocalEntries];
  T* data_ = nullptr;
};

// The types whose members the offset can make; a nested string and a geometry-library record are not among them.
bool Offsettable(std::uint8_t type) {
  return type == kCurveLine || type == kCurveLineString || type == kCurveEllipse || type == kCurveArc ||
         type == kCurveBspline;
}

GVector Unit(const GVector& v) {
  const double length = v.Length();
  return length > kTiny ? v * (1.0 / length) : GVector(0, 0, 0);
}

// The plane of a string of several members and the side of the side point in it, from the member point nearest
// the side point (closed members skipped) and its tangent T: the normal is that of the plane through the end
// points; for end points on one line, of the plane through that line and T, or, when T runs along the line too
// (a straight string), through T and the side point. toSide: the side point lies towards T x normal.
void PlaneAndSide(const GComplexString& cs, VOQbsp_curve* const* members, const GPosition* ends,
                  const GPosition& side, double normal[3], BSboolean* toSide, int* rc) {
  const int n = static_cast<int>(cs.numCurves);
  const double point[3] = {side.x, side.y, side.z};
  int nearest = -1;
  double best = std::numeric_limits<double>::infinity(), parameter = 0.0, foot[3] = {0, 0, 0};
  for (int i = 0; i < n; ++i) {
    if (ends[2 * i].IsEqual(ends[2 * i + 1])) continue;
    double u = 0.0, base[3], d = 0.0;
    int libRc = 0;
    BSmdstptcv(members[i], point, &u, base, &d, &libRc);
    if (libRc != 0) {
      *rc = 1;
      return;
    }
    if (d < best) {  // the first of equally near members
      best = d, nearest = i, parameter = u;
      std::copy(base, base + 3, foot);
    }
  }
  if (nearest < 0) {
    *rc = 5;  // every member closed: no point of the string tells the side
    return;
  }
  // A side point within the distance tolerance of the string names no side; rounding alone would choose one.
  const GVector v = side - GPosition(foot[0], foot[1], foot[2]);
  if (!(v.Length() > GetDistanceTolerance())) {
    *rc = 5;
    return;
  }
  double ev[6];
  int libRc = 0;
  BScveval_n(members[nearest], parameter, 1, ev, &libRc);
  if (libRc != 0) {
    *rc = 1;
    return;
  }
  const GVector t = Unit({ev[3], ev[4], ev[5]});
  int kind = 0;
  GVector centroid, fitted;
  IMLsqPtLnPl(2 * n, ends, &kind, &centroid, &fitted, rc);
  if (*rc != 0) return;
  if (kind == 1) {
    *rc = 5;
    return;
  }
  GVector plane = fitted;
  if (kind == 2) {
    plane = GVector::Cross(Unit(fitted), t);
    if (plane.Length() <= GetRelativeTolerance()) plane = GVector::Cross(t, v);
  }
  plane = Unit(plane);
  const GVector c = GVector::Cross(t, plane);
  if (!(c.Length() > kTiny)) {
    *rc = 5;
    return;
  }
  normal[0] = plane.x, normal[1] = plane.y, normal[2] = plane.z;
  *toSide = GVector::Dot(v, c) >= 0 ? BSTRUE : BSFALSE;
}

// The type a piece of the offset becomes: a join by the kind of join the library made, a member's offset by
// its member's type where the piece still has that shape, else a B-spline curve.
std::uint8_t PieceType(const GComplexString& cs, VOQbsp_curve* const* members, const VOQbsp_curve& piece, int tag,
                       int corner) {
  if (tag == BSJOIN_SEGMENT) return kCurveLine;
  if (tag == BSJOIN_POLYLINE) return kCurveLineString;
  if (tag == BSJOIN_ARC) return kCurveArc;
  if (tag < 0 || tag >= static_cast<int>(cs.numCurves)) return kCurveBspline;
  const GTypedCurve& source = cs.curves[tag];
  const VOQbsp_curve& form = *members[tag];
  switch (source.type) {
    case kCurveEllipse:
    case kCurveArc: {
      if (static_cast<const GEllipse*>(source.pCurve)->minorMajorRatio == 1.0) return source.type;
      const bool same = piece.num_poles == form.num_poles && piece.rational == form.rational &&
                        (!piece.rational || std::equal(piece.weights, piece.weights + piece.num_poles, form.weights));
      return same ? source.type : kCurveBspline;
    }
    case kCurveLineString: {
      // A rounded corner is a rational span with a lighter middle pole. Loop removal may cut away as many poles
      // as the corners added, so the count alone does not tell a polyline; taken as one, the arc's poles would
      // become a mitre.
      const bool arcs = piece.order > 2 && piece.rational &&
                        std::any_of(piece.weights, piece.weights + piece.num_poles,
                                    [&piece](double w) { return w != piece.weights[0]; });
      if (corner != 0 && (piece.num_poles != form.num_poles || arcs)) return kCurveBspline;
      return piece.num_poles == 2 ? kCurveLine : kCurveLineString;
    }
    default:
      return source.type;
  }
}

// The one member offset on its own, in a string of its own.
void OffsetOneMember(const GComplexString& cs, const GPosition& side, double distance, int corner,
                     GComplexString* result, int* map, int* rc) {
  if (!Offsettable(cs.curves[0].type)) {
    *rc = 5;
    return;
  }
  result->curves = static_cast<GTypedCurve*>(qn::GeomCalloc(1, sizeof(GTypedCurve)));
  if (!result->curves) {
    *rc = 6;
    return;
  }
  IMTCOffI(&cs.curves[0], &side, distance, corner, &result->curves[0], map, rc);
  if (*rc != 0) return;
  result->numCurves = 1;
  IMGCSStSc(result, rc);
  if (*rc == 0) IMGCSStFrm(result, rc);
}

// The pieces of the library's offset made into members, degenerate ones left out; each member's map entry is
// its piece's tag.
void MembersFromPieces(const GComplexString& cs, VOQbsp_curve* const* members, VOQbsp_curve** pieces,
                       const int* tags, int m, int corner, GComplexString* result, int* map, int* rc) {
  int kept = 0;
  for (int i = 0; i < m; ++i) {
    BSboolean degenerate = BSFALSE;
    int libRc = 0;
    BStstcvdegn(pieces[i], &degenerate, &libRc);
    if (libRc != 0) {
      *rc = 1;
      return;
    }
    if (degenerate) {
      DropCurve(&pieces[i], rc);
      if (*rc != 0) return;
    } else {
      ++kept;
    }
  }
  if (kept == 0) {
    *rc = 4;
    return;
  }
  result->curves = static_cast<GTypedCurve*>(qn::GeomCalloc(kept, sizeof(GTypedCurve)));
  if (!result->curves) {
    *rc = 6;
    return;
  }
  for (int i = 0; i < m && *rc == 0; ++i) {
    if (!pieces[i]) continue;
    const std::uint8_t type = PieceType(cs, members, *pieces[i], tags[i], corner);
    GTypedCurve& member = result->curves[result->numCurves];
    IMIcvGTC(pieces[i], type, &member, rc);
    // A shape the type cannot hold is made a B-spline curve instead; a want of memory is not retried, so that
    // the types do not depend on what memory there was.
    if (*rc != 0 && *rc != 6 && type != kCurveBspline) {
      *rc = 0;
      IMIcvGTC(pieces[i], kCurveBspline, &member, rc);
    }
    if (*rc != 0) return;
    if (map) map[result->numCurves] = tags[i];
    ++result->numCurves;
  }
  IMGCSStSc(result, rc);
  if (*rc == 0) IMGCSStFrm(result, rc);
}

// Several members offset together by the library's composite offset.
void OffsetMembers(const GComplexString& cs, const GPosition& side, double distance, int corner,
                   GComplexString* result, int* map, int* rc) {
  const std::size_t n = cs.numCurves;
  // The library counts pieces in 32-bit ints: 2 n + 1 of them must fit.
  if (n > 0x3FFFFFF0u) {
    *rc = 5;
    return;
  }
  for (std::size_t i = 0; i < n; ++i)
    if (!Offsettable(cs.curves[i].type)) {
      *rc = 5;
      return;
    }
  const std::size_t room = 2 * n + 1;
  Working<VOQbsp_curve*> members(n), pieces(room), loopCurves(room);
  Working<GPosition> ends(2 * n);
  Working<int> tags(room), loopTags(room), curvesPerLoop(room);
  if (!members.get() || !pieces.get() || !loopCurves.get() || !ends.get() || !tags.get() || !loopTags.get() ||
      !curvesPerLoop.get()) {
    *rc = 6;
    return;
  }
  for (std::size_t i = 0; i < n && *rc == 0; ++i) {
    IMGTCIcv(&cs.curves[i], &members[i], rc);
    if (*rc == 0 && WeightVanishes(*members[i])) *rc = 5;
    if (*rc == 0) IMGGTCEPts(&cs.curves[i], &ends[2 * i], &ends[2 * i + 1], rc);
  }
  double normal[3] = {0, 0, 0};
  BSboolean toSide = BSFALSE;
  if (*rc == 0) PlaneAndSide(cs, members.get(), ends.get(), side, normal, &toSide, rc);
  int m = 0;
  if (*rc == 0) {
    const bool closed = cs.form == 0 ? ends[0].IsEqual(ends[2 * n - 1]) : cs.form >= 2;
    // With one distance for every member the library reads one type.
    const int types[1] = {kWholeComponent};
    int numLoops = 0, libRc = 0;
    BScmpcvoffl(static_cast<int>(n), members.get(), toSide, normal, &distance, BSTRUE, types,
                static_cast<std::int16_t>(corner != 0 ? 1 : 0), kLoopMode, closed ? BSTRUE : BSFALSE, &m,
                pieces.get(), tags.get(), &numLoops, curvesPerLoop.get(), loopCurves.get(), loopTags.get(), &libRc);
    // A code that still hands pieces back (47, the pieces leave gaps) is no offset either.
    if (libRc != 0) *rc = 1;
    if (m < 0 || static_cast<std::size_t>(m) > room) m = 0;
  }
  if (*rc == 0) MembersFromPieces(cs, members.get(), pieces.get(), tags.get(), m, corner, result, map, rc);
  if (*rc == 0 && IsValidateMathEnabled() == 1) {
    int valid = 0;
    int valRc = 0;
    IMCSVal(result, &valid, &valRc);
  }
  for (std::size_t i = 0; i < room; ++i) {
    DropCurve(&pieces[i], rc);
    DropCurve(&loopCurves[i], rc);
  }
  for (std::size_t i = 0; i < n; ++i) DropCurve(&members[i], rc);
}

}  // namespace

void IMTCOff(const GTypedCurve* curve, const GPosition* side, const double* distance, const int* corner,
             GTypedCurve* result, int* rc) {
  *rc = 0;
  if (!distance || !corner) {
    *rc = 5;
  } else {
    IMTCOffI(curve, side, *distance, *corner, result, nullptr, rc);
  }
  BSexit(rc, "IMTCOff", "imtcoff");
}

void IMTCOffI(const GTypedCurve* curve, const GPosition* side, double distance, int corner, GTypedCurve* result,
              int* map, int* rc) {
  *rc = 0;
  const std::uint8_t type = curve ? curve->type : 0;
  const bool known = type == kCurveLine || type == kCurveLineString || type == kCurveEllipse || type == kCurveArc ||
                     type == kCurveBspline || type == kCurveComplexString;
  if (!curve || !side || !result || (known && (!curve->pCurve || !std::isfinite(distance) || !Finite(*side)))) {
    *rc = 5;
    BSexit(rc, "IMTCOffI", "imtcoffi");
    return;
  }
  result->pCurve = nullptr;
  if (map && type != kCurveComplexString) map[0] = 0;
  switch (type) {
    case kCurveLine:
    case kCurveBspline:
      result->type = type;
      result->pCurve = qn::GeomCalloc(1, sizeof(GArc));
      if (!result->pCurve) {
        *rc = 6;
      } else if (type == kCurveLine) {
        IMLnOff(static_cast<const GLine*>(curve->pCurve), side, distance, static_cast<GLine*>(result->pCurve), rc);
      } else {
        IMCvOff(static_cast<const GBspCurve*>(curve->pCurve), side, distance, corner,
                static_cast<GBspCurve*>(result->pCurve), rc);
      }
      break;
    case kCurveLineString:
      IMLSOff(static_cast<const GLineString*>(curve->pCurve), side, distance, corner, result, rc);
      break;
    case kCurveEllipse:
      IMElOff(static_cast<const GEllipse*>(curve->pCurve), side, distance, result, rc);
      break;
    case kCurveArc:
      IMArOff(static_cast<const GArc*>(curve->pCurve), distance, side, result, rc);
      break;
    case kCurveComplexString:
      result->type = type;
      result->pCurve = qn::GeomCalloc(1, sizeof(GComplexString));
      if (!result->pCurve) {
        *rc = 6;
      } else {
        IMCSOff(static_cast<const GComplexString*>(curve->pCurve), side, distance, corner,
                static_cast<GComplexString*>(result->pCurve), map, rc);
      }
      break;
    default:
      break;
  }
  if (*rc != 0) {
    // The per-type routines may leave arrays in a partly made record: the whole result goes.
    int freeRc = 0;
    IMGTCFree(result, &freeRc);
    result->pCurve = nullptr;
  } else if (result->pCurve && IsValidateMathEnabled() == 1) {
    int valid = 0;
    int valRc = 0;
    IMTCVal(result, &valid, &valRc);
  }
  BSexit(rc, "IMTCOffI", "imtcoffi");
}

void IMLnOff(const GLine* ln, const GPosition* side, double distance, GLine* result, int* rc) {
  *rc = 0;
  if (!ln || !side || !result || !std::isfinite(distance) || !Finite(*side)) {
    *rc = 5;
  } else {
    int on = 0;
    IMIGPoGLn(side, ln, &on, rc);
    if (*rc == 0 && on) *rc = 5;
  }
  if (*rc == 0) {
    const GVector dir(ln->direction.x, ln->direction.y, ln->direction.z);
    const GVector w = *side - ln->rootPoint;
    const GVector c(dir.y * w.z - dir.z * w.y, dir.z * w.x - dir.x * w.z, dir.x * w.y - dir.y * w.x);
    const GVector p(c.y * dir.z - c.z * dir.y, c.z * dir.x - c.x * dir.z, c.x * dir.y - c.y * dir.x);
    const double length = p.Length();
    // Rounding in w leaves a perpendicular of the order of the epsilon times the coordinates' size even for a
    // side point on the line's extension; such a perpendicular has no direction.
    const double root = GPosition::Distance(ln->rootPoint, GPosition(0, 0, 0));
    if (!(length >= 4 * kTiny * (1.0 + w.Length() + root))) {
      *rc = 4;
    } else {
      *result = *ln;
      result->rootPoint += p * (distance / length);
    }
  }
  BSexit(rc, "IMLnOff", "imlnoff");
}

void IMArOff(const GArc* ar, double distance, const GPosition* side, GTypedCurve* result, int* rc) {
  ConicOffset(ar, kCurveArc, side, distance, result, rc);
  BSexit(rc, "IMArOff", "imaroff");
}

void IMElOff(const GEllipse* el, const GPosition* side, double distance, GTypedCurve* result, int* rc) {
  ConicOffset(el, kCurveEllipse, side, distance, result, rc);
  BSexit(rc, "IMElOff", "imeloff");
}

void IMLSOff(const GLineString* ls, const GPosition* side, double distance, int corner, GTypedCurve* result,
             int* rc) {
  *rc = 0;
  if (!ls || !side || !result || !std::isfinite(distance) || !Finite(*side)) {
    *rc = 5;
  } else {
    result->pCurve = nullptr;
    VOQbsp_curve* cv = nullptr;
    VOQbsp_curve* off = nullptr;
    IMGLSIcv(ls, &cv, rc);
    if (*rc == 0) LibraryOffset(cv, distance, *side, corner, true, &off, rc);
    // The input curve goes before the result is made, so that a long line string's arrays are not all held at
    // once.
    DropCurve(&cv, rc);
    if (*rc == 0) IMIcvGTC(off, corner == 1 ? kCurveBspline : kCurveLineString, result, rc);
    DropCurve(&off, rc);
  }
  BSexit(rc, "IMLSOff", "imlsoff");
}

void IMCvOff(const GBspCurve* cv, const GPosition* side, double distance, int corner, GBspCurve* result,
             int* rc) {
  *rc = 0;
  if (result) *result = GBspCurve{};
  if (!cv || !side || !result || !std::isfinite(distance) || !Finite(*side)) {
    *rc = 5;
  } else {
    VOQbsp_curve* in = nullptr;
    VOQbsp_curve* off = nullptr;
    IMGCvIcv(cv, &in, rc);
    if (*rc == 0 && WeightVanishes(*in)) *rc = 5;
    if (*rc == 0) LibraryOffset(in, distance, *side, corner, true, &off, rc);
    if (*rc == 0) IMIcvGCv(off, result, rc);
    DropCurve(&off, rc);
    DropCurve(&in, rc);
    if (*rc == 0 && IsValidateMathEnabled() == 1) {
      int valid = 0;
      int valRc = 0;
      IMCvVal(result, &valid, &valRc);
    }
  }
  BSexit(rc, "IMCvOff", "imcvoff");
}

void IMCSOff(const GComplexString* cs, const GPosition* side, double distance, int corner, GComplexString* result,
             int* map, int* rc) {
  *rc = 0;
  if (!cs || !result || cs == result) {
    *rc = 5;
  } else {
    *result = GComplexString{};
    if (!side || !cs->curves || cs->numCurves == 0 || !std::isfinite(distance) || !Finite(*side)) {
      *rc = 5;
    } else if (distance < GetDistanceTolerance()) {
      IMGCSCopy(cs, result, rc);
      for (std::uint32_t i = 0; *rc == 0 && map && i < cs->numCurves; ++i) map[i] = static_cast<int>(i);
    } else if (cs->numCurves == 1) {
      OffsetOneMember(*cs, *side, distance, corner, result, map, rc);
    } else {
      OffsetMembers(*cs, *side, distance, corner, result, map, rc);
    }
    if (*rc != 0) {
      // Nothing of a failed offset stays: no member and no member array.
      int freeRc = 0;
      IMGCSFree(result, &freeRc);
      *result = GComplexString{};
    }
  }
  BSexit(rc, "IMCSOff", "imcsoff");
}
