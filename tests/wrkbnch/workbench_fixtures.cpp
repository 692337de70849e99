#include "tests/wrkbnch/workbench_fixtures.h"

#include <string>

TestWorkbench* TestWorkbench::Create(const GUID& type) {
  auto* workbench = new TestWorkbench(type);
  workbench->AddRef();
  EXPECT_EQ(workbench->Init(), S_OK);
  return workbench;
}

HRESULT TestWorkbench::InitNewStyle() {
  m_type = m_newType;
  colour = 0;
  return S_OK;
}

HRESULT TestWorkbench::StoreStyle() {
  if (storesNothing) return S_OK;
  TestLineStyle* style = TestLineStyle::Create(colour);
  HRESULT hr = SetStyleObject(style->Unknown());
  style->Release();
  return hr;
}

HRESULT TestWorkbench::BuildDescription() {
  ++descriptionsBuilt;
  return SetDescriptionText(std::to_wstring(colour).c_str());
}

HRESULT ProbeGraphic::QueryInterface(REFIID iid, void** out) {
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJGraphic)) *out = static_cast<IJGraphic*>(this);
  if (IsEqualIID(iid, IID_IPersist)) *out = static_cast<IPersist*>(this);
  if (!*out) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

void SymbolLibraryTest::SetUp() {
  SymbolWorkbenchTest::SetUp();
  ASSERT_EQ(library->QueryInterface(IID_IJSLWorkShop, shop.PutVoid()), S_OK);
  IUnknown* cluster = Element();
  DWORD id = 0;
  ASSERT_EQ(library.document->RegisterObject(cluster, &id, nullptr), S_OK);
  ASSERT_EQ(HostDocumentSetNamedObject(library.document, L"StyleCluster", cluster), S_OK);
  for (ProbeGraphic* probe : {&g, &h, &k}) {
    ASSERT_EQ(DocumentInsertObject(library.document, probe->AsGraphic(), 0, cluster, GUID_NULL), S_OK);
  }
}
