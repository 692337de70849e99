#include "tests/symdef/symdef_fixtures.h"

namespace symdef_test {

Definition::Definition(IUnknown* object) : unknown(object) {
  if (!object) return;
  EXPECT_EQ(object->QueryInterface(IID_IJSymbolDefinition, def.PutVoid()), S_OK);
  EXPECT_EQ(object->QueryInterface(IID_IJGraphic, graphic.PutVoid()), S_OK);
  EXPECT_EQ(object->QueryInterface(IID_IJPersist, persist.PutVoid()), S_OK);
  EXPECT_EQ(object->QueryInterface(IID_IJStyleUser, user.PutVoid()), S_OK);
  EXPECT_EQ(object->QueryInterface(IID_IJCopyParticipant, participant.PutVoid()), S_OK);
}

DWORD Definition::Count() const {
  DWORD count = 0xFFFFFFFF;
  EXPECT_EQ(def->GetElementCount(&count), S_OK);
  return count;
}

std::vector<IUnknown*> Definition::Elements() const {
  std::vector<IUnknown*> elements;
  StyleComPtr<IUnknown> collection;
  EXPECT_EQ(def->GetElements(collection.Put()), S_OK);
  StyleComPtr<IEnumUnknown> enumerator;
  if (!collection || FAILED(collection->QueryInterface(IID_IEnumUnknown, enumerator.PutVoid()))) return elements;
  IUnknown* element = nullptr;
  while (enumerator->Next(1, &element, nullptr) == S_OK) {
    elements.push_back(element);
    element->Release();  // the definition keeps it
  }
  return elements;
}

std::vector<DWORD> Definition::StoredIDs() const {
  TestArchive archive(ARCHIVE_STORING);
  EXPECT_EQ(persist->Load(archive.get()), S_OK);  // the plain exchange, here in the storing direction
  const std::vector<BYTE> bytes = archive.Bytes();
  std::vector<DWORD> ids;
  for (std::size_t at = 4; at + 4 <= bytes.size(); at += 4) ids.push_back(ReadAt<DWORD>(bytes, at));
  EXPECT_EQ(ReadAt<DWORD>(bytes, 0), ids.size());
  return ids;
}

IUnknown* IdentityOf(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return nullptr;
  identity->Release();
  return identity;
}

TestDocument::TestDocument() { EXPECT_EQ(HostDocumentCreate(m_document.Put()), S_OK); }

DWORD TestDocument::Register(IUnknown* object) const {
  DWORD id = 0;
  EXPECT_EQ(m_document->RegisterObject(object, &id, nullptr), S_OK);
  return id;
}

std::vector<HostDocumentCall> DocumentCalls() {
  std::vector<HostDocumentCall> calls(static_cast<std::size_t>(HostDocumentCallCount()));
  for (LONG i = 0; i < static_cast<LONG>(calls.size()); ++i) HostGetDocumentCall(i, &calls[i]);
  return calls;
}

std::vector<HostDocumentCall> DocumentCallsOf(DWORD kind) {
  std::vector<HostDocumentCall> calls;
  for (const HostDocumentCall& call : DocumentCalls()) {
    if (call.kind == kind) calls.push_back(call);
  }
  return calls;
}

void SymbolDefTest::SetUp() {
  stylesrv_test::ClearReports();
  HostClearDocumentCalls();
  host_app::ClearElementCalls();
  ASSERT_TRUE(server.loaded());
  createLiteSymbol = stylesrv_test::FindExport<decltype(&CreateLiteSymbol)>(server.handle(), "CreateLiteSymbol");
  ASSERT_NE(createLiteSymbol, nullptr);
}

void SymbolDefTest::TearDown() {
  for (IUnknown* object : m_held) object->Release();
  m_held.clear();
  // Everything the definitions held or handed out is gone with them.
  EXPECT_EQ(host_app::LiveObjects(), 0);
  EXPECT_EQ(HostCollectionLiveCount(), 0);
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

Definition SymbolDefTest::Make(std::vector<IUnknown*> elements) {
  IUnknown* object = nullptr;
  EXPECT_EQ(createLiteSymbol(elements.data(), static_cast<DWORD>(elements.size()), &object), S_OK);
  return Definition(object);
}

IUnknown* SymbolDefTest::Element(std::vector<double> points, bool styleUser, std::vector<DWORD> usedStyleIDs) {
  return Hold(host_app::CreatePolylineElement(points, styleUser, usedStyleIDs));
}

IUnknown* SymbolDefTest::Hold(IUnknown* object) {
  m_held.push_back(object);
  return object;
}

}  // namespace symdef_test
