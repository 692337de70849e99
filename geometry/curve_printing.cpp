// The text form of typed curves, in which the validation log dumps the records it refuses. It must read the
// same, byte for byte, in the Windows build and natively, so that dumps from either can be compared: numbers
// go through the conforming printf of both runtimes (two-digit exponents) and counts as plain C types.
#include <cstdio>

#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "geometry/typed_curves_internal.h"

namespace {

using typedcurves::ReadableKnots;
using typedcurves::ReadablePoles;

std::FILE* Out(std::FILE* stream) { return stream ? stream : stderr; }

void Number(std::FILE* f, double value) { std::fprintf(f, "%22.17le\n", value); }

template <typename Point>
void Triple(std::FILE* f, const Point& p) {
  Number(f, p.x);
  Number(f, p.y);
  Number(f, p.z);
}

template <typename Point>
void Labelled(std::FILE* f, const char* label, const Point& p) {
  std::fprintf(f, "%s\n", label);
  Triple(f, p);
}

void Labelled(std::FILE* f, const char* label, double value) {
  std::fprintf(f, "%s\n", label);
  Number(f, value);
}

// The record in the library's form between its delimiters; the converted curve is freed on every path.
template <typename Record>
void VerboseBlock(std::FILE* f, const Record* record, void (*convert)(const Record*, VOQbsp_curve**, int*),
                  const char* name, int* rc) {
  VOQbsp_curve* cv = nullptr;
  convert(record, &cv, rc);
  if (*rc != 0) return;
  std::fprintf(f, "VOQbsp_curve{\n");
  if (BSprtcv(f, name, cv, BSTRUE))
    std::fprintf(f, "}VOQbsp_curve\n");
  else
    *rc = 1;
  typedcurves::DropCurve(&cv, rc);
}

}  // namespace

void IMPrtTC(std::FILE* stream, const GTypedCurve* tc, int* rc) {
  *rc = 0;
  IMPrtGTC(stream, tc, 1, rc);
  if (stream) std::fflush(stream);
  BSexit(rc, "IMPrtTC", "imprttc");
}

void IMPrtGTC(std::FILE* stream, const GTypedCurve* tc, int verbose, int* rc) {
  *rc = 0;
  std::FILE* f = Out(stream);
  if (!tc) {
    *rc = 5;
  } else {
    std::fprintf(f, "GTypedCurve{\n");
    std::fprintf(f, "type %d\n", tc->type);
    switch (tc->type) {
      case kCurveLine:
        IMPrtGLn(f, static_cast<const GLine*>(tc->pCurve), verbose, rc);
        break;
      case kCurveLineString:
        IMPrtGLS(f, static_cast<const GLineString*>(tc->pCurve), verbose, rc);
        break;
      case kCurveComplexString:
        IMPrtGCS(f, static_cast<const GComplexString*>(tc->pCurve), verbose, rc);
        break;
      case kCurveEllipse:
        IMPrtGEl(f, static_cast<const GEllipse*>(tc->pCurve), verbose, rc);
        break;
      case kCurveArc:
        IMPrtGAr(f, static_cast<const GArc*>(tc->pCurve), verbose, rc);
        break;
      case kCurveBspline:
        IMPrtGCv(f, static_cast<const GBspCurve*>(tc->pCurve), verbose, rc);
        break;
      case kCurveLibrary:
        geomplatform::GeomType150Print(f, tc->pCurve, verbose, rc);
        break;
      default:
        *rc = 1;
        break;
    }
    if (*rc == 0) std::fprintf(f, "}GTypedCurve\n");
  }
  BSexit(rc, "IMPrtGTC", "imprtgtc");
}

void IMPrtGLn(std::FILE* stream, const GLine* ln, int verbose, int* rc) {
  *rc = 0;
  std::FILE* f = Out(stream);
  if (!ln) {
    *rc = 5;
  } else {
    std::fprintf(f, "GLine{\n");
    Labelled(f, "rootPoint", ln->rootPoint);
    Labelled(f, "direction", ln->direction);
    Labelled(f, "start", ln->start);
    Labelled(f, "end", ln->end);
    if (verbose) VerboseBlock(f, ln, IMGLnIcv, "GLine", rc);
    if (*rc == 0) std::fprintf(f, "}GLine\n");
  }
  BSexit(rc, "IMPrtGLn", "imprtgln");
}

void IMPrtGLS(std::FILE* stream, const GLineString* ls, int verbose, int* rc) {
  *rc = 0;
  std::FILE* f = Out(stream);
  if (!ls) {
    *rc = 5;
  } else {
    std::fprintf(f, "GLineString{\n");
    std::fprintf(f, "numPoints %u\n", static_cast<unsigned>(ls->numPoints));
    std::fprintf(f, "pPoints\n");
    if (!ls->pPoints) *rc = 5;
    for (std::uint32_t i = 0; *rc == 0 && i < ls->numPoints; ++i) Triple(f, ls->pPoints[i]);
    if (*rc == 0) {
      std::fprintf(f, "form %d\n", ls->form);
      std::fprintf(f, "scope %d\n", ls->scope);
      if (verbose) VerboseBlock(f, ls, IMGLSIcv, "GLineString", rc);
    }
    if (*rc == 0) std::fprintf(f, "}GLineString\n");
  }
  BSexit(rc, "IMPrtGLS", "imprtgls");
}

void IMPrtGCS(std::FILE* stream, const GComplexString* cs, int verbose, int* rc) {
  *rc = 0;
  std::FILE* f = Out(stream);
  if (!cs) {
    *rc = 5;
  } else {
    std::fprintf(f, "GComplexString{\n");
    std::fprintf(f, "numCurves %u\n", static_cast<unsigned>(cs->numCurves));
    if (!cs->curves) *rc = 5;
    for (std::uint32_t i = 0; *rc == 0 && i < cs->numCurves; ++i) {
      if (i > 0) std::fprintf(f, "\n");
      IMPrtGTC(f, &cs->curves[i], verbose, rc);
    }
    if (*rc == 0) {
      std::fprintf(f, "form %d\n", cs->form);
      std::fprintf(f, "scope %d\n", cs->scope);
      std::fprintf(f, "}GComplexString\n");
    }
  }
  BSexit(rc, "IMPrtGCS", "imprtgcs");
}

void IMPrtGEl(std::FILE* stream, const GEllipse* el, int verbose, int* rc) {
  *rc = 0;
  std::FILE* f = Out(stream);
  if (!el) {
    *rc = 5;
  } else {
    std::fprintf(f, "GEllipse{\n");
    Labelled(f, "center", el->center);
    Labelled(f, "normal", el->normal);
    Labelled(f, "majorAxis", el->majorAxis);
    Labelled(f, "minorMajorRatio", el->minorMajorRatio);
    if (verbose) VerboseBlock(f, el, IMGElIcv, "GEllipse", rc);
    if (*rc == 0) std::fprintf(f, "}GEllipse\n");
  }
  BSexit(rc, "IMPrtGEl", "imprtgel");
}

void IMPrtGAr(std::FILE* stream, const GArc* ar, int verbose, int* rc) {
  *rc = 0;
  std::FILE* f = Out(stream);
  if (!ar) {
    *rc = 5;
  } else {
    std::fprintf(f, "GArc{\n");
    IMPrtGEl(f, ar, 0, rc);
    if (*rc == 0) {
      Labelled(f, "startAngle", ar->startAngle);
      Labelled(f, "endAngle", ar->endAngle);
      if (verbose) VerboseBlock(f, ar, IMGArIcv, "GArc", rc);
    }
    if (*rc == 0) std::fprintf(f, "}GArc\n");
  }
  BSexit(rc, "IMPrtGAr", "imprtgar");
}

void IMPrtGCv(std::FILE* stream, const GBspCurve* cv, int verbose, int* rc) {
  *rc = 0;
  std::FILE* f = Out(stream);
  if (!cv) {
    *rc = 5;
  } else {
    std::fprintf(f, "GBspCurve{\n");
    std::fprintf(f, "order %d\n", cv->order);
    std::fprintf(f, "numPoles %lu\n", static_cast<unsigned long>(cv->numPoles));
    std::fprintf(f, "numKnots %lu\n", static_cast<unsigned long>(cv->numKnots));
    std::fprintf(f, "rational %d\n", static_cast<int>(cv->rational));
    std::fprintf(f, "pPoles\n");
    if (!cv->pPoles) *rc = 5;
    for (std::uint32_t i = 0; *rc == 0 && i < ReadablePoles(*cv); ++i) {
      if (i > 0) std::fprintf(f, "\n");
      Triple(f, cv->pPoles[i]);
    }
    if (*rc == 0 && cv->rational) {
      std::fprintf(f, "pWeights\n");
      if (!cv->pWeights) *rc = 5;
      for (std::uint32_t i = 0; *rc == 0 && i < ReadablePoles(*cv); ++i) Number(f, cv->pWeights[i]);
    }
    if (*rc == 0) {
      std::fprintf(f, "pKnots\n");
      if (!cv->pKnots) *rc = 5;
      for (std::uint32_t i = 0; *rc == 0 && i < ReadableKnots(*cv); ++i) Number(f, cv->pKnots[i]);
    }
    if (*rc == 0) {
      Labelled(f, "length", cv->length);
      std::fprintf(f, "form %d\n", cv->form);
      std::fprintf(f, "scope %d\n", cv->scope);
      std::fprintf(f, "properties %d\n", cv->properties);
      if (cv->curve) {
        std::fprintf(f, "curve_flag 1\n");
        IMPrtGTC(f, cv->curve, verbose, rc);
      } else {
        std::fprintf(f, "curve_flag 0\n");
      }
    }
    if (*rc == 0 && verbose) VerboseBlock(f, cv, IMGCvIcv, "GBspCurve", rc);
    if (*rc == 0) std::fprintf(f, "}GBspCurve\n");
  }
  BSexit(rc, "IMPrtGCv", "imprtgcv");
}
