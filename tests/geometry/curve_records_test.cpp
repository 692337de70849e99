// Typed curve records: deep copies of every type, refusals that must leave the destination as it was, and
// allocation failures at every step with what they leave behind, in memory and in the error trace.
#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "host/quarnet/geom_services.h"
#include "tests/geometry/geometry_test_support.h"

namespace {

using Trace = std::vector<std::pair<std::string, int>>;

Trace TraceRecords() {
  Trace out;
  for (int i = 0; i < BStracecount(); ++i) out.emplace_back(BStracetable()[i].name, BStracetable()[i].rc);
  return out;
}

// ---- Sources, built the way the layer's own records are: record blocks and arrays from the library.

GTypedCurve NewRecord(std::uint8_t type) { return {geomplatform::GeomCalloc(1, sizeof(GArc)), type}; }

template <typename T>
T& Rec(const GTypedCurve& tc) { return *static_cast<T*>(tc.pCurve); }

GTypedCurve Line(double s) {
  GTypedCurve tc = NewRecord(kCurveLine);
  Rec<GLine>(tc) = {{s, 1, 2}, {0, 0, 1}, -s, s};
  return tc;
}

GTypedCurve Arc(std::uint8_t type, double s) {
  GTypedCurve tc = NewRecord(type);
  Rec<GArc>(tc) = {{{s, 0, 1}, {0, 0, 1}, {2, 0, 0}, 0.5}, 0.25, 3.0};
  return tc;
}

GTypedCurve LineString(std::uint32_t n) {
  GTypedCurve tc = NewRecord(kCurveLineString);
  int rc = 0;
  IMGLSAlloc(n, &Rec<GLineString>(tc), &rc);
  for (std::uint32_t i = 0; i < n; ++i) Rec<GLineString>(tc).pPoints[i] = {1.0 * i, 2.0 * i, -1.0 * i};
  Rec<GLineString>(tc).form = 1;
  Rec<GLineString>(tc).scope = 2;
  return tc;
}

GTypedCurve Bspline(std::uint32_t rational, bool attached) {
  GTypedCurve tc = NewRecord(kCurveBspline);
  GBspCurve& cv = Rec<GBspCurve>(tc);
  int rc = 0;
  IMGCvAlloc(4, 3, rational, &cv, &rc);
  const double knots[7] = {0, 0, 0, 0.5, 1, 1, 1};
  for (int i = 0; i < 4; ++i) {
    cv.pPoles[i] = {1.0 * i, i % 2 ? 1.0 : 0.0, 0};
    if (rational) cv.pWeights[i] = 1.0 + i;
  }
  for (int i = 0; i < 7; ++i) cv.pKnots[i] = knots[i];
  cv.length = -1.0;
  cv.form = 1;
  cv.scope = 1;
  cv.properties = 2;
  if (attached) {
    cv.curve = static_cast<GTypedCurve*>(geomplatform::GeomMalloc(sizeof(GTypedCurve)));
    *cv.curve = Line(7);
  }
  return tc;
}

GTypedCurve Library(std::uintptr_t count, std::uintptr_t closed) {
  std::vector<double> xy;
  for (std::uintptr_t i = 0; i < 2 * count; ++i) xy.push_back(0.5 * i);
  GTypedCurve tc = NewRecord(kCurveLibrary);
  int rc = 0;
  geomplatform::GeomType150Copy(count, reinterpret_cast<std::uintptr_t>(xy.data()), closed, 2, tc.pCurve, &rc);
  EXPECT_EQ(rc, 0);
  return tc;
}

GTypedCurve Complex(const std::vector<GTypedCurve>& members) {
  GTypedCurve tc = NewRecord(kCurveComplexString);
  GComplexString& cs = Rec<GComplexString>(tc);
  cs.curves = static_cast<GTypedCurve*>(geomplatform::GeomMalloc(members.size() * sizeof(GTypedCurve)));
  for (const GTypedCurve& m : members) cs.curves[cs.numCurves++] = m;
  cs.form = 2;
  cs.scope = 1;
  return tc;
}

void Free(GTypedCurve& tc) {
  int rc = -1;
  IMGTCFree(&tc, &rc);
  EXPECT_EQ(rc, 0);
}

// ---- Everything a typed curve holds: its doubles (to compare and to scribble on), its codes and counts, and
// the blocks it owns.
struct Contents {
  std::vector<double*> values;
  std::vector<std::uint64_t> codes;
  std::vector<const void*> blocks;

  std::vector<double> Values() const {
    std::vector<double> out;
    for (const double* v : values) out.push_back(*v);
    return out;
  }
};

void Collect(const GTypedCurve& tc, Contents& c) {
  c.codes.push_back(tc.type);
  c.blocks.push_back(tc.pCurve);
  if (!tc.pCurve) return;
  auto doubles = [&c](void* first, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) c.values.push_back(static_cast<double*>(first) + i);
  };
  switch (tc.type) {
    case kCurveLine:
      return doubles(tc.pCurve, sizeof(GLine) / 8);
    case kCurveEllipse:
      return doubles(tc.pCurve, sizeof(GEllipse) / 8);
    case kCurveArc:
      return doubles(tc.pCurve, sizeof(GArc) / 8);
    case kCurveLineString: {
      const GLineString& ls = Rec<GLineString>(tc);
      c.codes.insert(c.codes.end(), {ls.numPoints, ls.form, ls.scope});
      c.blocks.push_back(ls.pPoints);
      return doubles(ls.pPoints, 3 * ls.numPoints);
    }
    case kCurveComplexString: {
      const GComplexString& cs = Rec<GComplexString>(tc);
      c.codes.insert(c.codes.end(), {cs.numCurves, cs.form, cs.scope});
      c.blocks.push_back(cs.curves);
      for (std::uint32_t i = 0; i < cs.numCurves; ++i) Collect(cs.curves[i], c);
      return;
    }
    case kCurveBspline: {
      GBspCurve& cv = Rec<GBspCurve>(tc);
      c.codes.insert(c.codes.end(), {cv.numPoles, cv.numKnots, cv.rational, cv.order, cv.form, cv.scope,
                                     cv.properties, cv.curve != nullptr});
      c.blocks.insert(c.blocks.end(), {cv.pPoles, cv.pKnots, cv.pWeights, cv.curve});
      doubles(&cv.length, 1);
      doubles(cv.pPoles, 3 * cv.numPoles);
      doubles(cv.pKnots, cv.numKnots);
      if (cv.rational) doubles(cv.pWeights, cv.numPoles);
      if (cv.curve) Collect(*cv.curve, c);
      return;
    }
    case kCurveLibrary: {
      const std::uintptr_t* w = static_cast<const std::uintptr_t*>(tc.pCurve);
      c.codes.insert(c.codes.end(), {w[0], w[1], w[4], w[5]});
      c.blocks.push_back(reinterpret_cast<const void*>(w[2]));
      return doubles(reinterpret_cast<void*>(w[2]), 2 * w[1]);
    }
    default:
      return;
  }
}

Contents Of(const GTypedCurve& tc) {
  Contents c;
  Collect(tc, c);
  return c;
}

void ExpectDeepCopy(const GTypedCurve& src, const GTypedCurve& copy) {
  Contents a = Of(src), b = Of(copy);
  EXPECT_EQ(a.codes, b.codes);
  EXPECT_EQ(a.Values(), b.Values());
  for (const void* block : b.blocks) {
    if (block) {
      EXPECT_EQ(std::count(a.blocks.begin(), a.blocks.end(), block), 0) << "shared block";
    }
  }
  const std::vector<double> before = a.Values();
  for (double* v : b.values) *v += 1.0;
  EXPECT_EQ(Of(src).Values(), before);
}

class CurveRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    QnGeomReset();
    BStraceclear();
    live_ = QnGeomLiveBlocks();
  }
  void TearDown() override {
    EXPECT_EQ(QnGeomLiveBlocks(), live_);
    EXPECT_EQ(QnGeomForeignFrees(), 0);
    QnGeomReset();
    BStraceclear();
  }
  int live_ = 0;
};

TEST_F(CurveRecords, EveryTypeCopiesDeeplyAndFreesCompletely) {
  const std::vector<std::function<GTypedCurve()>> sources = {
      [] { return Line(3); },
      [] { return LineString(5); },
      [] { return Arc(kCurveEllipse, 1); },
      [] { return Arc(kCurveArc, 2); },
      [] { return Bspline(0, false); },
      [] { return Bspline(1, true); },  // the copy gets an attached curve of its own
      [] { return Library(4, 1); },
      [] { return Complex({Line(1), LineString(3), Bspline(1, true), Library(2, 0), Arc(kCurveArc, 4)}); },
  };
  for (const auto& make : sources) {
    GTypedCurve src = make(), copy{nullptr, 0};
    int rc = -1;
    IMTCAllocWC(&src, &copy, &rc);
    ASSERT_EQ(rc, 0) << int(src.type);
    IMTCCopy(&src, &copy, &rc);
    ASSERT_EQ(rc, 0) << int(src.type);
    ExpectDeepCopy(src, copy);
    Free(copy);
    EXPECT_EQ(copy.type, src.type);
    EXPECT_EQ(copy.pCurve, nullptr);
    Free(src);
    EXPECT_EQ(QnGeomLiveBlocks(), live_) << int(src.type);
  }
  EXPECT_TRUE(TraceRecords().empty());
}

TEST_F(CurveRecords, FreeingEmptiesTheCurveAndKeepsItsType) {
  GTypedCurve empty{nullptr, kCurveLine};
  int rc = -1;
  IMGTCFree(&empty, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(QnGeomLiveBlocks(), live_);

  // A type the layer does not know still has its block freed (TearDown counts the blocks).
  GTypedCurve unknown = NewRecord(14);
  Free(unknown);
  EXPECT_EQ(unknown.type, 14);
  EXPECT_EQ(unknown.pCurve, nullptr);
}

TEST_F(CurveRecords, NullRecordsAreRefusedByName) {
  GTypedCurve tc{nullptr, kCurveLine};
  GLineString ls{};
  GBspCurve cv{};
  const std::vector<std::pair<const char*, std::function<void(int*)>>> calls = {
      {"IMGTCFree", [](int* rc) { IMGTCFree(nullptr, rc); }},
      {"IMGLSFree", [](int* rc) { IMGLSFree(nullptr, rc); }},
      {"IMGCSFree", [](int* rc) { IMGCSFree(nullptr, rc); }},
      {"IMGCvFree", [](int* rc) { IMGCvFree(nullptr, rc); }},
      {"IMGLSAlloc", [](int* rc) { IMGLSAlloc(3, nullptr, rc); }},
      {"IMGCvAlloc", [](int* rc) { IMGCvAlloc(3, 2, 0, nullptr, rc); }},
      {"IMCSAlloFTC", [](int* rc) { IMCSAlloFTC(2, nullptr, nullptr, rc); }},
      {"IMTCAllocWC", [&](int* rc) { IMTCAllocWC(&tc, &tc, rc); }},  // an empty source
      {"IMTCCopy", [&](int* rc) { IMTCCopy(&tc, &tc, rc); }},
      {"IMGLnCopy", [](int* rc) { IMGLnCopy(nullptr, nullptr, rc); }},
      {"IMArCopy", [](int* rc) { IMArCopy(nullptr, nullptr, rc); }},
      {"IMGLSCopy", [&](int* rc) { IMGLSCopy(&ls, &ls, rc); }},  // no arrays
      {"IMGCSCopyNA", [](int* rc) { IMGCSCopyNA(nullptr, nullptr, rc); }},
      {"IMGCvCopy", [&](int* rc) { IMGCvCopy(&cv, &cv, rc); }},
      {"IMGCSCopy", [](int* rc) { IMGCSCopy(nullptr, nullptr, rc); }},
  };
  const int requests = QnGeomRequests();
  for (const auto& [name, call] : calls) {
    BStraceclear();
    int rc = -1;
    call(&rc);
    EXPECT_EQ(rc, 5) << name;
    ASSERT_FALSE(TraceRecords().empty()) << name;
    EXPECT_EQ(TraceRecords().back(), (std::pair<std::string, int>{name, 5}));
  }
  EXPECT_EQ(QnGeomRequests(), requests);
}

TEST_F(CurveRecords, RefusedCopiesLeaveTheDestinationAsItWas) {
  struct Case {
    const char* what;
    std::function<GTypedCurve()> src, dst;
    std::uint8_t typeAfter;
  };
  const std::vector<Case> cases = {
      {"an unknown type is written, then refused", [] { return NewRecord(14); }, [] { return Line(1); }, 14},
      {"a destination of another type", [] { return LineString(2); }, [] { return Line(1); }, kCurveLine},
      {"rational into non-rational", [] { return Bspline(1, false); }, [] { return Bspline(0, false); },
       kCurveBspline},
      {"5 points into room for 3", [] { return LineString(5); }, [] { return LineString(3); }, kCurveLineString},
      {"3 members into 2", [] { return Complex({Line(1), Line(2), Line(3)}); },
       [] { return Complex({Line(4), Line(5)}); }, kCurveComplexString},
      {"2 members into 3", [] { return Complex({Line(1), Line(2)}); },
       [] { return Complex({Line(4), Line(5), Line(6)}); }, kCurveComplexString},
      {"an attached curve into one of another type", [] { return Bspline(0, true); },
       [] {
         GTypedCurve tc = Bspline(0, true);
         Free(*Rec<GBspCurve>(tc).curve);
         *Rec<GBspCurve>(tc).curve = Arc(kCurveArc, 1);
         return tc;
       },
       kCurveBspline},
  };
  for (const Case& c : cases) {
    GTypedCurve src = c.src(), dst = c.dst();
    const Contents before = Of(dst);
    int rc = -1;
    IMTCCopy(&src, &dst, &rc);
    EXPECT_EQ(rc, 5) << c.what;
    EXPECT_EQ(dst.type, c.typeAfter) << c.what;
    dst.type = static_cast<std::uint8_t>(before.codes[0]);
    const Contents after = Of(dst);
    EXPECT_EQ(after.Values(), before.Values()) << c.what;
    EXPECT_EQ(after.blocks, before.blocks) << c.what;
    Free(src);
    Free(dst);
  }
}

TEST_F(CurveRecords, BsplineAllocationShapesAndKeepsWhatItMadeOnFailure) {
  GBspCurve cv{};
  int rc = -1;
  IMGCvAlloc(4, 3, 0, &cv, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(cv.numKnots, 7u);
  EXPECT_EQ(cv.pWeights, nullptr);
  EXPECT_TRUE(cv.pPoles && cv.pKnots && !cv.curve);
  IMGCvFree(&cv, &rc);

  for (int failing = 1; failing <= 3; ++failing) {
    QnGeomFailAllocAt(failing);
    IMGCvAlloc(4, 3, 1, &cv, &rc);
    EXPECT_EQ(rc, 1) << failing;
    const void* arrays[3] = {cv.pPoles, cv.pKnots, cv.pWeights};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(arrays[i] != nullptr, i + 1 < failing) << failing;
    IMGCvFree(&cv, &rc);
    EXPECT_EQ(QnGeomLiveBlocks(), live_);
  }
}

TEST_F(CurveRecords, ByteSizesBeyondMemoryTakeNothing) {
  // 0x0AAAAAAB positions wrap to 8 bytes in 32 bits, as do 0x20000001 members of 8 bytes.
  const bool narrow = sizeof(std::size_t) == 4;
  GLineString ls{};
  GBspCurve cv{};
  GComplexString cs{};
  GTypedCurve members[2] = {Line(1), Line(2)};
  const std::vector<std::pair<int, std::function<void(int*)>>> calls = {
      {6, [&](int* rc) { IMGLSAlloc(0x0AAAAAABu, &ls, rc); }},
      {1, [&](int* rc) { IMGCvAlloc(0x0AAAAAABu, 4, 1, &cv, rc); }},
      {1, [&](int* rc) { IMGCvAlloc(0xFFFFFFFFu, 4, 0, &cv, rc); }},  // numPoles + order past 32 bits
      {6, [&](int* rc) { IMCSAlloFTC(0x20000001u, members, &cs, rc); }},
  };
  for (const auto& [code, call] : calls) {
    const int requests = QnGeomRequests();
    int rc = -1;
    call(&rc);
    EXPECT_EQ(rc, code);
    EXPECT_EQ(QnGeomLiveBlocks(), live_ + 2);
    if (narrow) {
      EXPECT_EQ(QnGeomRequests(), requests);
    }
  }
  EXPECT_TRUE(!ls.pPoints && !cv.pPoles && !cs.curves && cs.numCurves == 0);
  Free(members[0]);
  Free(members[1]);
}

TEST_F(CurveRecords, NestedComplexMemberIsRefusedAndNothingIsLeft) {
  GTypedCurve inner = Complex({Line(9)});
  GTypedCurve members[4] = {Line(1), LineString(3), inner, Line(2)};
  const int before = QnGeomLiveBlocks();
  GComplexString out{};
  int rc = -1;
  IMCSAlloFTC(4, members, &out, &rc);
  EXPECT_EQ(rc, 5);
  EXPECT_EQ(out.curves, nullptr);
  EXPECT_EQ(out.numCurves, 0u);
  EXPECT_EQ(QnGeomLiveBlocks(), before);
  for (GTypedCurve& m : members) Free(m);
}

TEST_F(CurveRecords, ComplexCopyFailingAtEachAllocationUndoesItselfAndTracesEachLevel) {
  GTypedCurve src = Complex({Line(1), LineString(3), Bspline(1, true), Library(2, 0)});
  const GComplexString& from = Rec<GComplexString>(src);
  const int before = QnGeomLiveBlocks();
  const std::vector<std::pair<int, std::vector<std::string>>> expected = {
      {6, {"IMGCSCopy"}},                                              // member array
      {6, {"IMTCAllocWC", "IMGCSCopy"}},                               // line block
      {6, {"IMTCAllocWC", "IMGCSCopy"}},                               // line string block
      {6, {"IMGLSAlloc", "IMTCAllocWC", "IMGCSCopy"}},                 // its points
      {6, {"IMTCAllocWC", "IMGCSCopy"}},                               // B-spline block
      {1, {"IMGCvAlloc", "IMTCAllocWC", "IMGCSCopy"}},                 // poles
      {1, {"IMGCvAlloc", "IMTCAllocWC", "IMGCSCopy"}},                 // knots
      {1, {"IMGCvAlloc", "IMTCAllocWC", "IMGCSCopy"}},                 // weights
      {6, {"IMGCvCopy", "IMTCCopy", "IMGCSCopy"}},                     // attached curve block
      {6, {"IMTCAllocWC", "IMGCvCopy", "IMTCCopy", "IMGCSCopy"}},      // its record block
      {6, {"IMTCAllocWC", "IMGCSCopy"}},                               // library curve block
      {6, {"IMTCAllocWC", "IMGCSCopy"}},                               // the library's own array
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    BStraceclear();
    QnGeomFailAllocAt(static_cast<int>(i + 1));
    GComplexString dst{};
    int rc = -1;
    IMGCSCopy(&from, &dst, &rc);
    EXPECT_EQ(rc, expected[i].first) << "allocation " << i + 1;
    EXPECT_TRUE(dst.curves == nullptr && dst.numCurves == 0) << "allocation " << i + 1;
    EXPECT_EQ(QnGeomLiveBlocks(), before) << "allocation " << i + 1;
    Trace want;
    for (const std::string& name : expected[i].second) want.emplace_back(name, expected[i].first);
    EXPECT_EQ(TraceRecords(), want) << "allocation " << i + 1;
  }
  // One more allocation than there are: the copy completes.
  GTypedCurve copy = NewRecord(kCurveComplexString);
  QnGeomFailAllocAt(static_cast<int>(expected.size() + 1));
  int rc = -1;
  IMGCSCopy(&from, &Rec<GComplexString>(copy), &rc);
  QnGeomFailAllocAt(0);
  ASSERT_EQ(rc, 0);
  ExpectDeepCopy(src, copy);
  Free(copy);
  Free(src);
}

}  // namespace
