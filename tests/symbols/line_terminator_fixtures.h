// What the line terminator's tests share: the style made through stylesrv.dll's class object, and line styles
// that keep what each end was handed.
#pragma once

#include "tests/symbols/point_symbol_fixtures.h"

namespace symbols_test {

struct Terminator {
  explicit Terminator(const stylesrv_test::ServerModule& server) {
    StyleComPtr<IClassFactory> factory;
    EXPECT_EQ(server.GetClassObject(CLSID_JStyleLineTerminator, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.PutVoid()), S_OK);
    unknown->QueryInterface(IID_IJStyleLineTerminator, style.PutVoid());
    unknown->QueryInterface(IID_IJStyleRender, render.PutVoid());
    unknown->QueryInterface(IID_IJPersist, persist.PutVoid());
    unknown->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  }
  StyleComPtr<IUnknown> unknown;
  StyleComPtr<IJStyleLineTerminator> style;
  StyleComPtr<IJStyleRender> render;
  StyleComPtr<IJPersist> persist;
  StyleComPtr<IJManageStyle2> manage;
};

// A line style that keeps what each drawing handed it, and answers `answer`.
class Probe : public TestLineStyle {
 public:
  STYLE_DECLARE_DELETING_DESTRUCTOR(Probe)
  struct Seen {
    WORD type;
    DWORD count;
    std::vector<double> point;  // the first point's nine f64
    BOOL recordGiven;
    DWORD colour;
    const StyleElementRecord* element;
  };
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d*, const RenderContextScales*, IJStyleRender*,
                 tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element) override {
    const auto* p = static_cast<const double*>(geometry->pointList->points);
    seen.push_back({geometry->type, geometry->pointList->count, {p, p + 9}, recordGiven, record->colour, element});
    return answer;
  }
  std::vector<Seen> seen;
  HRESULT answer = S_OK;

 protected:
  ~Probe() = default;
};

class LineTerminatorTest : public PointSymbolTest {
 protected:
  void SetUp() override {
    PointSymbolTest::SetUp();
    element.display = target.target();
  }
  // A new probe, kept to the end of the test.
  Probe* NewProbe() {
    auto* probe = new Probe;
    probe->AddRef();
    Hold(probe->Unknown());
    return probe;
  }
  HRESULT DrawTerminators(IJStyleRender* render, const Points& points, const tagStyleOverride* record = nullptr) {
    return render->RenderWithContext(&points.record, target.target(), &context, nullptr, record, &element);
  }

  RenderContextScales context = Context(1.0);
  StyleElementRecord element{};  // the recording target as the element's display
};

}  // namespace symbols_test
