// Typed curves built the way the layer's own are (record blocks and arrays from the geometry library), the
// fixture that holds every test to zero live blocks in both allocators, and readers of library curves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
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

// Nearest and farthest distance from the input to samples of each of the result's pieces, both evaluated through
// the library form; a failed conversion answers {1e30, 1e30}.
inline std::pair<double, double> DistanceRange(const GTypedCurve& in, const GTypedCurve* pieces, std::uint32_t count,
                                               int samples = 20) {
  VOQbsp_curve* string = nullptr;
  int rc = 0;
  IMGTCIcv(&in, &string, &rc);
  std::pair<double, double> range{1e30, rc == 0 ? 0.0 : 1e30};
  for (std::uint32_t k = 0; rc == 0 && k < count; ++k) {
    VOQbsp_curve* cv = nullptr;
    IMGTCIcv(&pieces[k], &cv, &rc);
    for (int i = 0; rc == 0 && i <= samples; ++i) {
      const double lo = cv->knots[cv->order - 1], hi = cv->knots[cv->num_poles];
      const GPosition p = Evaluate(cv, lo + (hi - lo) * i / samples);
      const double q[3] = {p.x, p.y, p.z};
      double u = 0, d = 0, foot[3];
      BSmdstptcv(string, q, &u, foot, &d, &rc);
      range = {std::min(range.first, d), std::max(range.second, d)};
    }
    Free(cv);
  }
  Free(string);
  return rc == 0 ? range : std::pair<double, double>{1e30, 1e30};
}

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

  // Fails the n-th allocation of either allocator in turn, n = 1, 2, ... until the offset succeeds: every failure
  // answers 1 or 6 with an empty result and leaves no block of the library, its scratch heap or (when inputs is
  // given) the layer's own beyond the inputs'; more than `reached` steps must have been passed.
  void ExpectAllocationFailuresLeaveNothing(const std::function<int(GTypedCurve* out)>& offset, int reached,
                                            int inputs = -1) {
    for (const bool library : {false, true}) {
      int rc = -1, failing = 1;
      for (; rc != 0 && failing < 5000; ++failing) {
        if (library) BSallocfailat(failing); else QnGeomFailAllocAt(failing);
        GTypedCurve out{};
        rc = offset(&out);
        BSallocfailat(0);
        QnGeomFailAllocAt(0);
        EXPECT_TRUE(rc == 0 || rc == 1 || rc == 6) << failing << ": " << rc;
        EXPECT_EQ(out.pCurve != nullptr, rc == 0) << failing;
        if (out.pCurve) Free(out);
        if (inputs >= 0) {
          EXPECT_EQ(QnGeomLiveBlocks(), inputs) << failing;
        }
        EXPECT_EQ(BSdbgliveblocks(), lib_) << failing;
        EXPECT_EQ(BSscratchheapblocks(), scratch_) << failing;
      }
      EXPECT_GT(failing, reached) << library;
    }
  }
  int geom_ = 0, lib_ = 0, scratch_ = 0;
};

}  // namespace tcb
