#include "tests/symbols/point_symbol_fixtures.h"

#include "display/style/symdef/JSymbolDef.h"

namespace symbols_test {

PointSymbol::PointSymbol(const stylesrv_test::ServerModule& server) {
  StyleComPtr<IClassFactory> factory;
  EXPECT_EQ(server.GetClassObject(CLSID_JStylePointSymbol, IID_IClassFactory, factory.PutVoid()), S_OK);
  if (!factory) return;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.PutVoid()), S_OK);
  if (!unknown) return;
  EXPECT_EQ(unknown->QueryInterface(IID_IJStylePointSymbol, style.PutVoid()), S_OK);
  EXPECT_EQ(unknown->QueryInterface(IID_IJStyleRender, render.PutVoid()), S_OK);
  EXPECT_EQ(unknown->QueryInterface(IID_IJGraphic, graphic.PutVoid()), S_OK);
  EXPECT_EQ(unknown->QueryInterface(IID_IJPersist, persist.PutVoid()), S_OK);
  EXPECT_EQ(unknown->QueryInterface(IID_IJManageStyle2, manage.PutVoid()), S_OK);
}

Points Points::Plain(std::vector<double> xyz) {
  Points points;
  points.values = std::move(xyz);
  points.run.count = static_cast<DWORD>(points.values.size() / 3);
  points.Link();
  return points;
}

Points Points::Oriented(const std::vector<double>& xyzDirection) {
  Points points;
  for (std::size_t i = 0; i + 4 < xyzDirection.size(); i += 5) {
    const double* p = &xyzDirection[i];
    points.values.insert(points.values.end(), {p[0], p[1], p[2], 0, 0, 1, p[3], p[4], 0});
  }
  points.run.count = static_cast<DWORD>(points.values.size() / 9);
  points.record.type = kGeometryOrientedPoints;
  points.Link();
  return points;
}

void Points::Link() {
  run.points = values.data();
  record.pointList = &run;
}

RenderContextScales Context(double s13, double f) {
  RenderContextScales context = Scales(1.0, 1.0, s13);
  context.verticalAxisFactor = f;
  return context;
}

ClusterDocument::ClusterDocument(bool withCluster) {
  EXPECT_EQ(HostDocumentCreate(document.Put()), S_OK);
  if (!withCluster) return;
  // Any object of the document serves as the cluster.
  StyleComPtr<IUnknown> object(host_app::CreatePolylineElement({}));
  cluster = object.Get();
  Register(cluster);
  EXPECT_EQ(HostDocumentSetNamedObject(document.Get(), L"StyleCluster", cluster), S_OK);
}

DWORD ClusterDocument::Register(IUnknown* object) const {
  DWORD id = 0;
  EXPECT_EQ(document->RegisterObject(object, &id, nullptr), S_OK);
  return id;
}

IUnknown* ClusterDocument::ContainerOf(DWORD id) const {
  StyleComPtr<IUnknown> container;
  if (FAILED(document->GetContainerOfID(id, container.Put()))) return nullptr;
  return IdentityOf(container.Get());
}

void PointSymbolTest::SetUp() {
  stylesrv_test::ClearReports();
  HostClearDocumentCalls();
  host_app::ClearElementCalls();
  ASSERT_TRUE(server.loaded());
}

void PointSymbolTest::TearDown() {
  for (IUnknown* object : m_held) object->Release();
  m_held.clear();
}

HRESULT PointSymbolTest::Draw(IJStyleRender* render, const Points& points, const RenderContextScales& context,
                              const tagStyleOverride* record) {
  StyleElementRecord element{};
  element.display = target.target();
  return render->RenderWithContext(&points.record, target.target(), &context, nullptr, record, &element);
}

IUnknown* PointSymbolTest::Definition(std::vector<IUnknown*> elements) {
  const auto create = stylesrv_test::FindExport<decltype(&CreateLiteSymbol)>(server.handle(), "CreateLiteSymbol");
  IUnknown* definition = nullptr;
  EXPECT_EQ(create(elements.data(), static_cast<DWORD>(elements.size()), &definition), S_OK);
  return Hold(definition);
}

IUnknown* PointSymbolTest::Element(std::vector<double> points) {
  return Hold(host_app::CreatePolylineElement(points));
}

IUnknown* PointSymbolTest::Hold(IUnknown* object) {
  m_held.push_back(object);
  return object;
}

std::vector<std::vector<double>> PointSymbolTest::Placements() const {
  std::vector<std::vector<double>> matrices;
  const std::vector<SitheCall> calls = target.Calls();
  for (DWORD i = 0; i < calls.size(); ++i) {
    if (calls[i].itf != SITHE_ELEMENT_DISPLAY || calls[i].slot != 3) continue;
    std::vector<double> m(16);
    target.recording()->GetCallMatrix(i, m.data());
    matrices.push_back(m);
  }
  return matrices;
}

}  // namespace symbols_test
