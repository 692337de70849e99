// What the point symbol's tests share: styles made through stylesrv.dll's class object, points handed to them as
// a host hands them, the recording target as the element's display, and documents with a "StyleCluster".
#pragma once

#include <vector>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/stylesrv_itf.h"
#include "host/app/graphic_element.h"
#include "tests/bases/test_styles.h"

namespace symbols_test {

inline constexpr char kSource[] = "PNTSYMBL";

// A point symbol style with the interfaces the tests use, one reference each.
struct PointSymbol {
  explicit PointSymbol(const stylesrv_test::ServerModule& server);
  StyleComPtr<IUnknown> unknown;
  StyleComPtr<IJStylePointSymbol> style;
  StyleComPtr<IJStyleRender> render;
  StyleComPtr<IJGraphic> graphic;
  StyleComPtr<IJPersist> persist;
  StyleComPtr<IJManageStyle2> manage;
};

// Points as a geometry record: plain points (x, y, z each), or oriented points given as (x, y, z, dx, dy) each,
// with normal (0, 0, 1).
struct Points {
  static Points Plain(std::vector<double> xyz);
  static Points Oriented(const std::vector<double>& xyzDirection);
  Points(const Points& other) : values(other.values), run(other.run), record(other.record) { Link(); }
  void Link();
  std::vector<double> values;
  StylePointRun run{};
  StyleGeometryRecord record{};

 private:
  Points() = default;
};

// A render context whose third scale is s13 and whose vertical-axis factor is f.
RenderContextScales Context(double s13, double f = 1.0);

using stylesrv_test::CallSlot;
using stylesrv_test::IdentityOf;

// A host document whose "StyleCluster" is an object it holds.
class ClusterDocument {
 public:
  explicit ClusterDocument(bool withCluster = true);
  IJDocumentNamedObjects* get() const { return document.Get(); }
  // Registers the object and answers its persistent ID.
  DWORD Register(IUnknown* object) const;
  // The container that holds the object of the ID (identity), or null.
  IUnknown* ContainerOf(DWORD id) const;
  StyleComPtr<IJDocumentNamedObjects> document;
  IUnknown* cluster = nullptr;  // held by the document
};

class PointSymbolTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Draws the points with the style through RenderWithContext, the recording target being the element's
  // display.
  HRESULT Draw(IJStyleRender* render, const Points& points, const RenderContextScales& context,
               const tagStyleOverride* record = nullptr);
  // A symbol definition of the elements, kept to the end of the test.
  IUnknown* Definition(std::vector<IUnknown*> elements);
  // A polyline element, kept to the end of the test.
  IUnknown* Element(std::vector<double> points = {-4, -1, 0, 3, 2, 0});
  IUnknown* Hold(IUnknown* object);
  // The matrices of the BeginPlacement calls, in order.
  std::vector<std::vector<double>> Placements() const;

  stylesrv_test::ServerModule server;
  TestTarget target;

 private:
  std::vector<IUnknown*> m_held;  // one reference each
};

}  // namespace symbols_test
