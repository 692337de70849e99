// Typed curves built the way the layer's own are (record blocks and arrays from the geometry library), the
// fixture that holds every test to zero live blocks in both allocators, and readers of library curves.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "bspline/bspline.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "host/quarnet/geom_services.h"

namespace tcb {

constexpr double kPi = 3.141592653589793;

template <typename T>
GTypedCurve Make(std::uint8_t type, const T& record) {
  GTypedCurve tc{geomplatform::GeomCalloc(1, sizeof(GArc)), type};
  std::memcpy(tc.pCurve, &record, sizeof record);
  return tc;
}

template <typename T>
T& Rec(const GTypedCurve& tc) { return *static_cast<T*>(tc.pCurve); }

inline GTypedCurve Line(GPosition from, GPosition to) {
  const GVector d = to - from;
  const double length = d.Length();
  const GUnitVector u = length > 0 ? GUnitVector(d) : GUnitVector(1, 0, 0);
  return Make(kCurveLine, GLine{from, u, 0.0, length});
}

inline GTypedCurve LineString(const std::vector<GPosition>& points) {
  GLineString ls{};
  int rc = 0;
  IMGLSAlloc(static_cast<std::uint32_t>(points.size()), &ls, &rc);
  std::uint32_t i = 0;
  for (const GPosition& p : points) ls.pPoints[i++] = p;
  return Make(kCurveLineString, ls);
}

inline GTypedCurve Arc(GPosition center, GUnitVector normal, GVector major, double ratio, double start, double end) {
  return Make(kCurveArc, GArc{{center, normal, major, ratio}, start, end});
}

inline GTypedCurve Ellipse(GPosition center, GUnitVector normal, GVector major, double ratio) {
  return Make(kCurveEllipse, GEllipse{center, normal, major, ratio});
}

// Weights empty: not rational.
inline GTypedCurve Bspline(int order, const std::vector<GPosition>& poles, const std::vector<double>& knots,
                           const std::vector<double>& weights = {}) {
  GBspCurve cv{};
  int rc = 0;
  IMGCvAlloc(static_cast<std::uint32_t>(poles.size()), static_cast<std::uint8_t>(order), !weights.empty(), &cv, &rc);
  for (std::size_t i = 0; i < poles.size(); ++i) cv.pPoles[i] = poles[i];
  for (std::size_t i = 0; i < knots.size() && i < cv.numKnots; ++i) cv.pKnots[i] = knots[i];
  for (std::size_t i = 0; i < weights.size(); ++i) cv.pWeights[i] = weights[i];
  cv.length = -1.0;
  cv.form = 1;
  cv.scope = 1;
  return Make(kCurveBspline, cv);
}

inline GTypedCurve Complex(const std::vector<GTypedCurve>& members) {
  GComplexString cs{};
  cs.curves = static_cast<GTypedCurve*>(geomplatform::GeomMalloc(members.size() * sizeof(GTypedCurve)));
  for (const GTypedCurve& m : members) cs.curves[cs.numCurves++] = m;
  return Make(kCurveComplexString, cs);
}

inline GTypedCurve Complex(std::initializer_list<GTypedCurve> members) { return Complex(std::vector(members)); }

inline void Free(GTypedCurve& tc) {
  int rc = -1;
  IMGTCFree(&tc, &rc);
  EXPECT_EQ(rc, 0);
}

inline void Free(VOQbsp_curve*& cv) {
  int rc = 0;
  if (cv) BSfreevoqcv(cv, &rc);
  cv = nullptr;
}

// Pole i divided by its weight.
inline GPosition Pole(const VOQbsp_curve* cv, int i) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  return {cv->poles[3 * i] / w, cv->poles[3 * i + 1] / w, cv->poles[3 * i + 2] / w};
}

inline GPosition Evaluate(const VOQbsp_curve* cv, double u) {
  double p[3] = {0, 0, 0};
  int rc = 0;
  BScveval_n(cv, u, 0, p, &rc);
  EXPECT_EQ(rc, 0);
  return {p[0], p[1], p[2]};
}

inline double Distance(const GPosition& a, const GPosition& b) { return GPosition::Distance(a, b); }

// What a writer put into a temporary stream.
inline std::string Captured(const std::function<void(std::FILE*)>& write) {
  std::FILE* f = std::tmpfile();
  if (!f) return "<no temporary file>";
  write(f);
  std::fflush(f);
  std::rewind(f);
  std::string text;
  char buffer[512];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, got);
  std::fclose(f);
  return text;
}

// Every test leaves both allocators and the library's scratch heap as it found them, and the process-wide
// settings it touched back at their defaults.
class TypedCurves : public ::testing::Test {
 protected:
  void SetUp() override {
    QnGeomReset();
    BStraceclear();
    geom_ = QnGeomLiveBlocks();
    lib_ = BSdbgliveblocks();
    scratch_ = BSscratchheapblocks();
  }
  void TearDown() override {
    EXPECT_EQ(QnGeomLiveBlocks(), geom_);
    EXPECT_EQ(BSdbgliveblocks(), lib_);
    EXPECT_EQ(BSscratchheapblocks(), scratch_);
    EXPECT_EQ(QnGeomForeignFrees(), 0);
    BSsetfaulthook(nullptr);
    BSallocfailat(0);
    QnGeomReset();
    BStraceclear();
  }
  int geom_ = 0, lib_ = 0, scratch_ = 0;
};

}  // namespace tcb
