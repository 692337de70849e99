// Typed curve records: freeing, allocation and copies, all on the geometry library's memory.
#include <cstdint>
#include <cstring>

#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "geometry/typed_curves_internal.h"

namespace {

namespace qn = geomplatform;

// `count` elements of `each` bytes; null when memory is short or the byte size does not fit in memory at all
// (a 32-bit count of positions can exceed the 32-bit address space), in which case nothing is asked for.
template <typename T>
T* TakeArray(std::uint64_t count) {
  if (count > SIZE_MAX / sizeof(T)) return nullptr;
  return static_cast<T*>(qn::GeomMalloc(static_cast<std::size_t>(count) * sizeof(T)));
}

void Release(void* block) {
  if (block) qn::GeomFree(block);
}

// Zero-filled, so that a record whose shaping fails half-way is still safe to free.
void* TakeRecordBlock() { return qn::GeomCalloc(1, sizeof(GArc)); }

bool IsCopiedType(std::uint8_t type) {
  switch (type) {
    case kCurveLine:
    case kCurveLineString:
    case kCurveComplexString:
    case kCurveEllipse:
    case kCurveArc:
    case kCurveBspline:
    case kCurveLibrary:
      return true;
    default:
      return false;
  }
}

// Gives a fresh record block the arrays of a line string or B-spline source; other types need none.
void ShapeArrays(const GTypedCurve& src, void* block, int* rc) {
  if (src.type == kCurveBspline) {
    const auto* cv = static_cast<const GBspCurve*>(src.pCurve);
    IMGCvAlloc(cv->numPoles, cv->order, cv->rational, static_cast<GBspCurve*>(block), rc);
  } else if (src.type == kCurveLineString) {
    IMGLSAlloc(static_cast<const GLineString*>(src.pCurve)->numPoints, static_cast<GLineString*>(block), rc);
  }
}

// One more member of `out` shaped like `src`.
void AppendShapedMember(const GTypedCurve& src, GComplexString* out, int* rc) {
  if (src.type == kCurveComplexString ||
      (!src.pCurve && (src.type == kCurveBspline || src.type == kCurveLineString))) {
    *rc = 5;
    return;
  }
  void* block = TakeRecordBlock();
  if (!block) {
    *rc = 6;
    return;
  }
  GTypedCurve& member = out->curves[out->numCurves++];
  member.pCurve = block;
  member.type = src.type;
  ShapeArrays(src, block, rc);
}

// A copy reads every pole and knot the counts name, so counts that disagree are refused: the arrays were sized
// by two of them, and which one is wrong cannot be told.
bool IsSound(const GBspCurve& cv) {
  return (cv.numPoles == 0 || cv.pPoles) && (cv.numKnots == 0 || cv.pKnots) &&
         (!cv.rational || cv.numPoles == 0 || cv.pWeights) && cv.numPoles <= typedcurves::ReadablePoles(cv) &&
         cv.numKnots <= typedcurves::ReadableKnots(cv);
}

bool HasRoomFor(const GBspCurve& src, const GBspCurve& dst) {
  return dst.pPoles && dst.pKnots && (!src.rational || dst.pWeights) && dst.numPoles >= src.numPoles &&
         dst.numKnots >= src.numKnots;
}

// Copies the source's attached curve into the destination's, making and shaping that one first when it is
// missing; what was made here is taken back on failure.
bool CopyAttachedCurve(const GTypedCurve* from, GBspCurve* dst, int* rc) {
  GTypedCurve* target = dst->curve;
  const bool madeBlock = !target;
  if (madeBlock) {
    target = static_cast<GTypedCurve*>(qn::GeomMalloc(sizeof(GTypedCurve)));
    if (!target) {
      *rc = 6;
      return false;
    }
    target->pCurve = nullptr;
    target->type = 0;
  }
  const bool shaped = !target->pCurve;
  if (shaped) IMTCAllocWC(from, target, rc);
  if (*rc == 0) IMTCCopy(from, target, rc);
  if (*rc != 0) {
    int dropped = 0;
    if (shaped) IMGTCFree(target, &dropped);
    if (madeBlock) qn::GeomFree(target);
    return false;
  }
  dst->curve = target;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Freeing

void IMGTCFree(GTypedCurve* tc, int* rc) {
  *rc = 0;
  if (!tc) {
    *rc = 5;
  } else if (tc->pCurve) {
    switch (tc->type) {
      case kCurveBspline:
        IMGCvFree(static_cast<GBspCurve*>(tc->pCurve), rc);
        break;
      case kCurveLineString:
        IMGLSFree(static_cast<GLineString*>(tc->pCurve), rc);
        break;
      case kCurveComplexString:
        IMGCSFree(static_cast<GComplexString*>(tc->pCurve), rc);
        break;
      case kCurveLibrary:
        qn::GeomType150Free(tc->pCurve, rc);
        break;
      default:
        break;
    }
    qn::GeomFree(tc->pCurve);
    tc->pCurve = nullptr;
  }
  BSexit(rc, "IMGTCFree", "imgtcfree");
}

void IMGLSFree(GLineString* ls, int* rc) {
  *rc = 0;
  if (!ls) {
    *rc = 5;
  } else {
    Release(ls->pPoints);
    ls->pPoints = nullptr;
    ls->numPoints = 0;
  }
  BSexit(rc, "IMGLSFree", "imglsfree");
}

void IMGCSFree(GComplexString* cs, int* rc) {
  *rc = 0;
  if (!cs) {
    *rc = 5;
  } else {
    if (cs->curves) {
      for (std::uint32_t i = 0; i < cs->numCurves; ++i) {
        int memberRc = 0;
        IMGTCFree(&cs->curves[i], &memberRc);
        if (memberRc != 0) *rc = memberRc;
      }
      qn::GeomFree(cs->curves);
      cs->curves = nullptr;
    }
    cs->numCurves = 0;
  }
  BSexit(rc, "IMGCSFree", "imgcsfree");
}

void IMGCvFree(GBspCurve* cv, int* rc) {
  *rc = 0;
  if (!cv) {
    *rc = 5;
  } else {
    Release(cv->pPoles);
    Release(cv->pKnots);
    Release(cv->pWeights);
    cv->pPoles = nullptr;
    cv->pKnots = nullptr;
    cv->pWeights = nullptr;
    if (cv->curve) {
      IMGTCFree(cv->curve, rc);
      qn::GeomFree(cv->curve);
      cv->curve = nullptr;
    }
    cv->numPoles = 0;
    cv->numKnots = 0;
  }
  BSexit(rc, "IMGCvFree", "imgcvfree");
}

// ---------------------------------------------------------------------------------------------------------
// Allocation

void IMGLSAlloc(std::uint32_t numPoints, GLineString* out, int* rc) {
  *rc = 0;
  if (!out) {
    *rc = 5;
  } else {
    out->numPoints = numPoints;
    out->pPoints = TakeArray<GPosition>(numPoints);
    if (!out->pPoints) *rc = 6;
  }
  BSexit(rc, "IMGLSAlloc", "imglsalloc");
}

void IMGCvAlloc(std::uint32_t numPoles, std::uint8_t order, std::uint32_t rational, GBspCurve* out, int* rc) {
  *rc = 0;
  if (!out) {
    *rc = 5;
  } else {
    const std::uint64_t numKnots = std::uint64_t{numPoles} + order;
    out->order = order;
    out->numPoles = numPoles;
    // A knot count past 32 bits cannot be stored; the record then asks for nothing.
    out->numKnots = numKnots <= UINT32_MAX ? static_cast<std::uint32_t>(numKnots) : 0;
    out->rational = rational ? 1 : 0;
    out->pPoles = nullptr;
    out->pWeights = nullptr;
    out->pKnots = nullptr;
    out->curve = nullptr;
    if (numKnots > UINT32_MAX || !(out->pPoles = TakeArray<GPosition>(numPoles)) ||
        !(out->pKnots = TakeArray<double>(numKnots)) ||
        (out->rational && !(out->pWeights = TakeArray<double>(numPoles)))) {
      *rc = 1;
    }
  }
  BSexit(rc, "IMGCvAlloc", "imgcvalloc");
}

void IMCSAlloFTC(std::uint32_t numCurves, const GTypedCurve* members, GComplexString* out, int* rc) {
  *rc = 0;
  if (!out || (numCurves && !members)) {
    *rc = 5;
  } else {
    out->numCurves = 0;
    out->curves = TakeArray<GTypedCurve>(numCurves);
    if (!out->curves) *rc = 6;
    for (std::uint32_t i = 0; *rc == 0 && i < numCurves; ++i) AppendShapedMember(members[i], out, rc);
    if (*rc != 0) {
      int dropped = 0;
      IMGCSFree(out, &dropped);
    }
  }
  BSexit(rc, "IMCSAlloFTC", "imcsalloftc");
}

void IMTCAllocWC(const GTypedCurve* src, GTypedCurve* dst, int* rc) {
  *rc = 0;
  // A destination that is the source itself would lose the source's record.
  if (!src || !dst || src == dst || !src->pCurve) {
    *rc = 5;
  } else {
    void* block = TakeRecordBlock();
    dst->pCurve = block;
    if (!block) {
      *rc = 6;
    } else {
      dst->type = src->type;
      if (src->type == kCurveComplexString) {
        const auto* cs = static_cast<const GComplexString*>(src->pCurve);
        IMCSAlloFTC(cs->numCurves, cs->curves, static_cast<GComplexString*>(block), rc);
      } else if (src->type == kCurveLibrary) {
        const auto* words = static_cast<const std::uintptr_t*>(src->pCurve);
        qn::GeomType150Copy(words[1], words[2], words[4], words[5], block, rc);
      } else {
        ShapeArrays(*src, block, rc);
      }
    }
  }
  BSexit(rc, "IMTCAllocWC", "imtcallocwc");
}

// ---------------------------------------------------------------------------------------------------------
// Copying into shaped records

void IMTCCopy(const GTypedCurve* src, GTypedCurve* dst, int* rc) {
  *rc = 0;
  // A record shaped for another type would be read through the wrong layout.
  if (!src || !dst || !src->pCurve || !dst->pCurve || (IsCopiedType(src->type) && dst->type != src->type)) {
    *rc = 5;
  } else {
    dst->type = src->type;
    switch (src->type) {
      case kCurveLine:
        IMGLnCopy(static_cast<const GLine*>(src->pCurve), static_cast<GLine*>(dst->pCurve), rc);
        break;
      case kCurveLineString:
        IMGLSCopy(static_cast<const GLineString*>(src->pCurve), static_cast<GLineString*>(dst->pCurve), rc);
        break;
      case kCurveComplexString:
        IMGCSCopyNA(static_cast<const GComplexString*>(src->pCurve), static_cast<GComplexString*>(dst->pCurve),
                    rc);
        break;
      case kCurveEllipse:
        IMGElCopy(static_cast<const GEllipse*>(src->pCurve), static_cast<GEllipse*>(dst->pCurve), rc);
        break;
      case kCurveArc:
        IMArCopy(static_cast<const GArc*>(src->pCurve), static_cast<GArc*>(dst->pCurve), rc);
        break;
      case kCurveBspline:
        IMGCvCopy(static_cast<const GBspCurve*>(src->pCurve), static_cast<GBspCurve*>(dst->pCurve), rc);
        break;
      case kCurveLibrary:
        qn::GeomType150Clone(src->pCurve, dst->pCurve, rc);
        break;
      default:
        *rc = 5;
        break;
    }
  }
  BSexit(rc, "IMTCCopy", "imtccopy");
}

void IMGLnCopy(const GLine* src, GLine* dst, int* rc) {
  *rc = 0;
  if (!src || !dst)
    *rc = 5;
  else
    *dst = *src;
  BSexit(rc, "IMGLnCopy", "imglncopy");
}

void IMGElCopy(const GEllipse* src, GEllipse* dst, int* rc) {
  *rc = 0;
  if (!src || !dst)
    *rc = 5;
  else
    *dst = *src;
  BSexit(rc, "IMGElCopy", "imgelcopy");
}

void IMArCopy(const GArc* src, GArc* dst, int* rc) {
  *rc = 0;
  IMGElCopy(src, dst, rc);
  if (*rc == 0) {
    dst->startAngle = src->startAngle;
    dst->endAngle = src->endAngle;
  }
  BSexit(rc, "IMArCopy", "imarcopy");
}

void IMGLSCopy(const GLineString* src, GLineString* dst, int* rc) {
  *rc = 0;
  if (!src || !dst || (src->numPoints && !src->pPoints) || !dst->pPoints || dst->numPoints < src->numPoints) {
    *rc = 5;
  } else {
    const std::uint32_t n = src->numPoints;
    if (n) std::memmove(dst->pPoints, src->pPoints, n * sizeof(GPosition));
    dst->numPoints = n;
    dst->form = src->form;
    dst->scope = src->scope;
  }
  BSexit(rc, "IMGLSCopy", "imglscopy");
}

void IMGCSCopyNA(const GComplexString* src, GComplexString* dst, int* rc) {
  *rc = 0;
  if (!src || !dst || !dst->curves || (src->numCurves && !src->curves) || dst->numCurves != src->numCurves) {
    *rc = 5;
  } else {
    dst->form = src->form;
    dst->scope = src->scope;
    for (std::uint32_t i = 0; *rc == 0 && i < src->numCurves; ++i) IMTCCopy(&src->curves[i], &dst->curves[i], rc);
  }
  BSexit(rc, "IMGCSCopyNA", "imgcscopyna");
}

void IMGCvCopy(const GBspCurve* src, GBspCurve* dst, int* rc) {
  *rc = 0;
  if (!src || !dst || !IsSound(*src) || !HasRoomFor(*src, *dst)) {
    *rc = 5;
  } else if (!src->curve || src->curve == dst->curve || CopyAttachedCurve(src->curve, dst, rc)) {
    dst->length = src->length;
    dst->numPoles = src->numPoles;
    dst->numKnots = src->numKnots;
    dst->order = src->order;
    dst->form = src->form;
    dst->scope = src->scope;
    dst->properties = src->properties;
    dst->rational = src->rational;
    if (src->numPoles) std::memmove(dst->pPoles, src->pPoles, src->numPoles * sizeof(GPosition));
    if (src->numKnots) std::memmove(dst->pKnots, src->pKnots, src->numKnots * sizeof(double));
    if (src->rational && src->numPoles) std::memmove(dst->pWeights, src->pWeights, src->numPoles * sizeof(double));
  }
  BSexit(rc, "IMGCvCopy", "imgcvcopy");
}

// ---------------------------------------------------------------------------------------------------------
// Copying with allocation

void IMGCSCopy(const GComplexString* src, GComplexString* dst, int* rc) {
  *rc = 0;
  if (!src || !dst || src == dst || (src->numCurves && !src->curves)) {
    *rc = 5;
  } else {
    dst->numCurves = src->numCurves;
    dst->form = src->form;
    dst->scope = src->scope;
    dst->curves = static_cast<GTypedCurve*>(qn::GeomCalloc(src->numCurves, sizeof(GTypedCurve)));
    if (!dst->curves) *rc = 6;
    for (std::uint32_t i = 0; *rc == 0 && i < src->numCurves; ++i) {
      IMTCAllocWC(&src->curves[i], &dst->curves[i], rc);
      if (*rc == 0) IMTCCopy(&src->curves[i], &dst->curves[i], rc);
    }
    if (*rc != 0) {
      int dropped = 0;
      IMGCSFree(dst, &dropped);
    }
  }
  BSexit(rc, "IMGCSCopy", "imgcscopy");
}
