// Validation of typed-curve records: one message per condition that the rest of the layer assumes and the
// record breaks, and a dated dump of the record in the validation log when the debug level asks for it. Run on
// the results of offsets and conversions when ValidateMathEnabled is on; a verdict never changes a caller's rc.
#include <cmath>
#include <cstdio>
#include <ctime>

#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "geometry/typed_curves_internal.h"

namespace {

using typedcurves::ReadablePoles;

constexpr double kTwoPi = 6.283185307179586;
constexpr int kMaxOrder = 16;  // the highest order the library evaluates
constexpr int kNoGuard = -1;

bool NotFinite(double v) { return BSnotfinite(v) != 0; }

template <typename Point>
bool NotFinite(const Point& p) {
  return NotFinite(p.x) || NotFinite(p.y) || NotFinite(p.z);
}

template <typename Point>
bool AnyBeyond(const Point& p, double limit) {
  return std::fabs(p.x) >= limit || std::fabs(p.y) >= limit || std::fabs(p.z) >= limit;
}

// The verdict under way: a failed condition clears it and writes its message.
struct Verdict {
  std::FILE* stream;
  int* valid;

  void Fail(const char* message) const {
    *valid = 0;
    GeomLogMessage(stream, message, 1);
  }
  void Fail(const char* format, int a, int b = 0) const {
    char message[96];
    std::snprintf(message, sizeof message, format, a, b);
    Fail(message);
  }
  // A callee's verdict counts whatever its rc: a record found invalid is never answered as valid.
  void Take(int calleeValid) const {
    if (!calleeValid) *valid = 0;
  }
};

// The frame every validator shares: with the switch off the record is valid and nothing else happens (not even
// the exit hook); a record of a type whose validation is under way counts as valid; otherwise the guard is
// held over the checks and the dump, and released on every path, a stop on a callee's rc included.
template <typename Record, typename Checks>
void Validate(std::FILE* stream, const Record* record, int code, void (*dump)(const Record*, int, std::FILE**),
              int* valid, int* rc, const char* name, const char* lname, Checks checks) {
  *rc = 0;
  if (valid) *valid = 1;
  if (GetValidationSwitch() == 0) return;
  if (!valid) {
    *rc = 5;
  } else if (code == kNoGuard || !TestTypeGuard(code)) {
    if (code != kNoGuard) SetTypeGuard(code);
    checks(Verdict{stream, valid});
    if (!*valid && record && dump) dump(record, code, &stream);
    if (code != kNoGuard) ClearTypeGuard(code);
  }
  BSexit(rc, name, lname);
}

void DumpRecord(const void* record, int type, std::FILE** stream) {
  if (!record || !stream) return;
  const bool opened = !*stream;
  const int level = OpenDumpLog(stream, 3);
  if (*stream && level >= 3) {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    std::fprintf(*stream, "#-#\n#-# Date: %s#-#\n", local ? std::asctime(local) : "unknown\n");
    GTypedCurve tc{const_cast<void*>(record), static_cast<std::uint8_t>(type)};
    int rc = 0;
    IMPrtTC(*stream, &tc, &rc);
  }
  if (opened && *stream) {
    std::fclose(*stream);
    *stream = nullptr;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Validators

void IMTCVal2(std::FILE* stream, const GTypedCurve* tc, int* valid, int* rc) {
  Validate<GTypedCurve>(stream, tc, kNoGuard, nullptr, valid, rc, "IMTCVal2", "imtcval2", [&](const Verdict& v) {
    if (!tc || !tc->pCurve) return v.Fail("GTypedCurve: NULL pointer");
    int calleeValid = 1;
    switch (tc->type) {
      case kCurveLine:
        IMLnVal2(stream, static_cast<const GLine*>(tc->pCurve), &calleeValid, rc);
        break;
      case kCurveLineString:
        IMLSVal2(stream, static_cast<const GLineString*>(tc->pCurve), &calleeValid, rc);
        break;
      case kCurveComplexString:
        IMCSVal2(stream, static_cast<const GComplexString*>(tc->pCurve), &calleeValid, rc);
        break;
      case kCurveEllipse:
        IMElVal2(stream, static_cast<const GEllipse*>(tc->pCurve), &calleeValid, rc);
        break;
      case kCurveArc:
        IMArVal2(stream, static_cast<const GArc*>(tc->pCurve), &calleeValid, rc);
        break;
      case kCurveBspline:
        IMCvVal2(stream, static_cast<const GBspCurve*>(tc->pCurve), &calleeValid, rc);
        break;
      case kCurveLibrary:
        geomplatform::GeomType150Validate(stream, tc->pCurve, &calleeValid, rc);
        break;
      default:
        return v.Fail("GTypedCurve: invalid curve type");
    }
    v.Take(calleeValid);
  });
}

void IMLnVal2(std::FILE* stream, const GLine* ln, int* valid, int* rc) {
  Validate(stream, ln, kCurveLine, IMLnDmp, valid, rc, "IMLnVal2", "imlnval2", [&](const Verdict& v) {
    if (!ln) return v.Fail("GLine: NULL pointer");
    const double dist = GetDistanceTolerance();
    if (NotFinite(ln->rootPoint)) v.Fail("GLine: root point coordinate is NaN");
    if (NotFinite(ln->direction)) v.Fail("GLine: direction coordinate is NaN");
    const double workingDomain = dist / GetRelativeTolerance() * 100;
    const GPosition& p = ln->rootPoint;
    if (std::fabs(p.x) > workingDomain || std::fabs(p.y) > workingDomain || std::fabs(p.z) > workingDomain)
      v.Fail("GLine: root point coordinate is outside working_domain");
    if (NotFinite(ln->start) || NotFinite(ln->end)) v.Fail("GLine: start or end is NaN");
    if (std::fabs(GVector(ln->direction).Length() - 1) > dist) v.Fail("GLine: direction vector is not a unit vector");
    if (ln->end < ln->start) v.Fail("GLine: start > end");
  });
}

void IMLSVal2(std::FILE* stream, const GLineString* ls, int* valid, int* rc) {
  Validate(stream, ls, kCurveLineString, IMLSDmp, valid, rc, "IMLSVal2", "imlsval2", [&](const Verdict& v) {
    if (!ls || !ls->pPoints) return v.Fail("GLineString: NULL pointer");
    if (ls->numPoints < 2) return v.Fail("GLineString: less than 2 points");
    for (std::uint32_t i = 0; i < ls->numPoints; ++i)
      if (NotFinite(ls->pPoints[i])) v.Fail("GLineString: point has NaN coordinate");
    if (ls->scope > 4 && ls->scope != 6) v.Fail("GLineString: scope out of range");
    if (ls->form > 6) v.Fail("GLineString: form out of range");
  });
}

void IMCSVal2(std::FILE* stream, const GComplexString* cs, int* valid, int* rc) {
  Validate(stream, cs, kCurveComplexString, IMCSDmp, valid, rc, "IMCSVal2", "imcsval2", [&](const Verdict& v) {
    if (!cs || !cs->curves) return v.Fail("GComplexString: NULL pointer");
    if (cs->numCurves < 1) return v.Fail("GComplexString: contains no curves");
    GPosition previousEnd;
    for (std::uint32_t i = 0; i < cs->numCurves; ++i) {
      const GTypedCurve& member = cs->curves[i];
      const int index = static_cast<int>(i);
      if (member.type == kCurveComplexString) v.Fail("GComplexString: curve[%d] contains GComplexString", index);
      int memberValid = 1;
      IMTCVal2(stream, &member, &memberValid, rc);
      v.Take(memberValid);
      if (*rc != 0) return;
      GPosition start, end;
      IMGGTCEPts(&member, &start, &end, rc);
      if (*rc != 0) return;
      if (i > 0 && !previousEnd.IsEqual(start))
        v.Fail("GComplexString: curve[%d] and [%d] are not connected", index, index - 1);
      previousEnd = end;
    }
    if (cs->form > 6) v.Fail("GComplexString: form out of range");
    if (cs->scope > 4 && cs->scope != 6) v.Fail("GComplexString: scope out of range");
  });
}

void IMElVal2(std::FILE* stream, const GEllipse* el, int* valid, int* rc) {
  Validate(stream, el, kCurveEllipse, IMElDmp, valid, rc, "IMElVal2", "imelval2", [&](const Verdict& v) {
    if (!el) return v.Fail("GEllipse: NULL pointer");
    if (NotFinite(el->center)) v.Fail("GEllipse: center coordinate is NaN");
    if (NotFinite(el->normal)) v.Fail("GEllipse: normal vector coordinate is NaN");
    if (NotFinite(el->majorAxis)) v.Fail("GEllipse: majorAxis coordinate is NaN");
    if (NotFinite(el->minorMajorRatio)) v.Fail("GEllipse: minorMajorRatio is NaN");
    if (AnyBeyond(el->center, kGeomInfinity)) v.Fail("GEllipse: center coordinate is >= GINFINITY");
    const bool infiniteMajor = AnyBeyond(el->majorAxis, kGeomInfinity);
    if (infiniteMajor) v.Fail("GEllipse: majorAxis coordinate is >= GINFINITY");
    const double dist = GetDistanceTolerance(), rel = GetRelativeTolerance();
    const double major = infiniteMajor ? kGeomInfinity : el->majorAxis.Length();
    const double minor = major * el->minorMajorRatio;
    if (major < rel) v.Fail("GEllipse: major axis length is zero");
    if (minor < rel) v.Fail("GEllipse: minor axis length is zero");
    if (major < dist && minor < dist) v.Fail("GEllipse: major and minor lengths are < dist_tol");
    if (std::fabs(GVector(el->normal).Length() - 1) > dist) v.Fail("GEllipse: normal vector is not a unit vector");
    // A null major axis is perpendicular to anything; asking would only log the null unit vector it makes.
    if (!infiniteMajor && major > kGeomNullLimit && !el->normal.IsPerpendicular(el->majorAxis))
      v.Fail("GEllipse: normal is not orthogonal");
  });
}

void IMArVal2(std::FILE* stream, const GArc* ar, int* valid, int* rc) {
  Validate(stream, ar, kCurveArc, IMArDmp, valid, rc, "IMArVal2", "imarval2", [&](const Verdict& v) {
    if (!ar) return v.Fail("GArc: NULL pointer");
    if (NotFinite(ar->endAngle)) v.Fail("GArc: end angle is NaN");
    if (NotFinite(ar->startAngle)) v.Fail("GArc: start angle is NaN");
    double sweep = ar->endAngle - ar->startAngle;
    if (sweep < 0) sweep = (kTwoPi - ar->startAngle) + ar->endAngle;
    if (sweep < 0) sweep = std::fabs(sweep);
    if (sweep > kTwoPi + GetRelativeTolerance()) v.Fail("GArc: parameter range > 2PI");
    GPosition start, end;
    IMGGArEPts(ar, &start, &end, rc);
    if (*rc != 0) return;
    if (start.IsEqual(end) && ar->majorAxis.Length() * sweep < GetDistanceTolerance())
      v.Fail("GArc: start point and end point are the same");
    int ellipseValid = 1;
    IMElVal2(stream, ar, &ellipseValid, rc);
    v.Take(ellipseValid);
  });
}

void IMCvVal2(std::FILE* stream, const GBspCurve* cv, int* valid, int* rc) {
  Validate(stream, cv, kCurveBspline, IMCvDmp, valid, rc, "IMCvVal2", "imcvval2", [&](const Verdict& v) {
    if (!cv || !cv->pPoles || !cv->pKnots || (cv->rational && !cv->pWeights))
      return v.Fail("GBspCurve: NULL pointer");
    if (cv->order < 2) v.Fail("GBspCurve: order < 2");
    if (cv->order > kMaxOrder) v.Fail("GBspCurve: order > 16");
    if (cv->numPoles < cv->order) v.Fail("GBspCurve: numPoles < order");
    const bool countsAgree = std::uint64_t{cv->numKnots} == std::uint64_t{cv->numPoles} + cv->order;
    if (!countsAgree) v.Fail("GBspCurve: numKnots != order + numPoles");

    // Knots are read only when their count is known to be right; poles and weights only as far as the
    // counts allow (a record with one count damaged is read within its arrays).
    bool knotsFinite = countsAgree && cv->order >= 2;
    if (knotsFinite) {
      for (std::uint32_t i = 0; i < cv->numKnots; ++i)
        if (NotFinite(cv->pKnots[i])) {
          v.Fail("GBspCurve: knot value is NAN");
          knotsFinite = false;
        }
    }
    const std::uint32_t poles = ReadablePoles(*cv);
    for (std::uint32_t i = 0; i < poles; ++i)
      if (NotFinite(cv->pPoles[i])) v.Fail("GBspCurve: pole value is NAN");
    if (cv->rational) {
      for (std::uint32_t i = 0; i < poles; ++i)
        if (NotFinite(cv->pWeights[i])) v.Fail("GBspCurve: weight value is NAN");
    }
    if (NotFinite(cv->length)) v.Fail("GBspCurve: length is NaN");

    // The knot check needs a record of sound shape with finite knots; the failures above already tell
    // what is wrong with any other.
    if (knotsFinite && typedcurves::IsShaped(*cv)) {
      double tolerance = 0;
      IMCvKtTl(cv, &tolerance, rc);
      if (*rc != 0) return;
      int ok = 1;
      geomplatform::GeomValidateKnots(static_cast<int>(cv->numKnots), cv->order, cv->pKnots, tolerance, &ok, rc);
      if (*rc != 0) return;
      if (!ok) v.Fail("GBspCurve: Invalid knots");
    }

    if (cv->scope > 4 && cv->scope != 6) v.Fail("GBspCurve: scope out of range");
    if (cv->form > 6) v.Fail("GBspCurve: form out of range");
    if (cv->properties >= 4) v.Fail("GBspCurve: properties out of range");
    if (cv->curve) {
      int attachedValid = 1;
      IMTCVal2(stream, cv->curve, &attachedValid, rc);
      v.Take(attachedValid);
    }
  });
}

void IMTCVal(const GTypedCurve* tc, int* valid, int* rc) { IMTCVal2(nullptr, tc, valid, rc); }
void IMLnVal(const GLine* ln, int* valid, int* rc) { IMLnVal2(nullptr, ln, valid, rc); }
void IMLSVal(const GLineString* ls, int* valid, int* rc) { IMLSVal2(nullptr, ls, valid, rc); }
void IMCSVal(const GComplexString* cs, int* valid, int* rc) { IMCSVal2(nullptr, cs, valid, rc); }
void IMElVal(const GEllipse* el, int* valid, int* rc) { IMElVal2(nullptr, el, valid, rc); }
void IMArVal(const GArc* ar, int* valid, int* rc) { IMArVal2(nullptr, ar, valid, rc); }
void IMCvVal(const GBspCurve* cv, int* valid, int* rc) { IMCvVal2(nullptr, cv, valid, rc); }

// ---------------------------------------------------------------------------------------------------------
// Dumps

void IMLnDmp(const GLine* ln, int type, std::FILE** stream) { DumpRecord(ln, type, stream); }
void IMLSDmp(const GLineString* ls, int type, std::FILE** stream) { DumpRecord(ls, type, stream); }
void IMCSDmp(const GComplexString* cs, int type, std::FILE** stream) { DumpRecord(cs, type, stream); }
void IMElDmp(const GEllipse* el, int type, std::FILE** stream) { DumpRecord(el, type, stream); }
void IMArDmp(const GArc* ar, int type, std::FILE** stream) { DumpRecord(ar, type, stream); }
void IMCvDmp(const GBspCurve* cv, int type, std::FILE** stream) { DumpRecord(cv, type, stream); }
