#include "tests/symbols/line_points_fixtures.h"

namespace line_points_test {

Generator::Generator(const stylesrv_test::ServerModule& server) {
  StyleComPtr<IClassFactory> factory;
  EXPECT_EQ(server.GetClassObject(CLSID_JStyleLinePointGen, IID_IClassFactory, factory.PutVoid()), S_OK);
  if (!factory) return;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.PutVoid()), S_OK);
  if (!unknown) return;
  EXPECT_EQ(unknown->QueryInterface(IID_IJStyleLinePointGen, gen.PutVoid()), S_OK);
  EXPECT_EQ(unknown->QueryInterface(IID_IJStyleDashTypeClient, client.PutVoid()), S_OK);
  EXPECT_EQ(unknown->QueryInterface(IID_IJPersist, persist.PutVoid()), S_OK);
  EXPECT_EQ(unknown->QueryInterface(IID_IJManageStyle2, manage.PutVoid()), S_OK);
}

DWORD Generator::Count() const {
  DWORD n = 0xDEAD;
  EXPECT_EQ(gen->GetCount(&n), S_OK);
  return n;
}

RecordingSymbol::RecordingSymbol(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_LINE;
}

RecordingSymbol* RecordingSymbol::Create() {
  auto* style = new RecordingSymbol(nullptr);
  style->AddRef();
  return style;
}

GUID* RecordingSymbol::GetClassID(GUID* out) {
  *out = CLSID_RecordingSymbol;
  return out;
}

HRESULT RecordingSymbol::SerializeCurrent(JArchive* archive) {
  StyleBaseRecord base{};
  return SerializeBase(archive, &base);
}

HRESULT RecordingSymbol::RenderWithContext(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                           const RenderContextScales* context, IJStyleRender* substitute,
                                           const tagStyleOverride* record, const StyleElementRecord* element) {
  const auto* points = static_cast<const StyleOrientedPoint*>(geometry->pointList->points);
  calls.push_back({geometry->type, {points, points + geometry->pointList->count}, target, context, substitute,
                   record, element});
  return answer;
}

HRESULT RecordingSymbol::GetRangeWithContext(StyleExtent* extent, const RenderContextScales*, IJStyleRender*,
                                             const tagStyleOverride*) {
  *extent = range;
  return S_OK;
}

ClientCall::ClientCall() : scales(symbols_test::Context(1.0)) {
  record.recordCode = kStyleOverrideRecordCode;
  context.target = reinterpret_cast<IRenderTarget2d*>(0x1000);
  context.context = &scales;
  context.record = &record;
  context.element = &element;
}

}  // namespace line_points_test
