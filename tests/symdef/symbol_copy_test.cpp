// The symbol definition in the host's copy protocol, its class object, and each interface operation at its
// place in the table.
#include "tests/symdef/symdef_fixtures.h"

using ::testing::ElementsAre;
using stylesrv_test::Reports;

namespace symdef_test {
namespace {

std::vector<HostObjectEntry> ReadAll(IJObjectList* list) {
  std::vector<HostObjectEntry> entries;
  list->Reset();
  HostObjectEntry entry{};
  ULONG fetched = 0;
  while (list->Next(1, &entry, &fetched) == S_OK) entries.push_back(entry);
  list->Reset();
  return entries;
}

// A new engine list of the entries, with one reference.
IJObjectList* ListOf(std::vector<HostObjectEntry> entries) {
  IJObjectList* list = nullptr;
  EXPECT_EQ(CreateObjectList(static_cast<ULONG>(entries.size()), 0, &list), S_OK);
  for (ULONG i = 0; i < entries.size(); ++i) EXPECT_EQ(list->SetItem(i, &entries[i]), S_OK);
  return list;
}

// Six elements need more than the five in-place slots.
TEST_F(SymbolDefTest, ListRelatedObjectsListsTheDefinitionThenItsElements) {
  std::vector<IUnknown*> elements;
  for (int i = 0; i < 6; ++i) elements.push_back(Element());
  Definition d = Make(elements);
  StyleComPtr<IJObjectList> list;
  ASSERT_EQ(d.participant->ListRelatedObjects(list.Put()), S_OK);
  const std::vector<HostObjectEntry> entries = ReadAll(list.Get());
  ASSERT_EQ(entries.size(), 7u);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].object, i == 0 ? d.unknown.Get() : elements[i - 1]);
    EXPECT_TRUE(IsEqualIID(entries[i].iid, IID_IUnknown));
    EXPECT_EQ(entries[i].flags, 0x80000000u);
  }

  // No memory for the element array: nothing is listed and every fetched element is let go again (the
  // fixture's end checks that no element outlives the test).
  StyleComPtr<IJObjectList> none;
  EngineFailNextAllocations(1);
  EXPECT_EQ(d.participant->ListRelatedObjects(none.Put()), E_OUTOFMEMORY);
  EngineFailNextAllocations(0);
  EXPECT_EQ(none.Get(), nullptr);
  EXPECT_EQ(Reports().back().hr, E_OUTOFMEMORY);
}

TEST_F(SymbolDefTest, CopyPersistentEntriesClonesWhatIsFlaggedForIt) {
  IUnknown* kept = Element();
  IUnknown* skipped = Element();
  Definition d = Make({kept, skipped});
  StyleComPtr<IJObjectList> entries(ListOf({{d.unknown.Get(), IID_IUnknown, 0x40000000 | 0x4000000},
                                              {kept, IID_IUnknown, 0x40000000},
                                              {skipped, IID_IUnknown, 0x80000000}}));
  StyleComPtr<host_app::TestCopyContext> context(host_app::TestCopyContext::Create());
  ASSERT_EQ(d.participant->CopyPersistentEntries(entries.Get(), context.Get()), S_OK);

  const auto& calls = context->SetCopyCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].original, d.unknown.Get());
  EXPECT_EQ(calls[0].flags, 0x10000000u);
  ASSERT_NE(calls[0].copy, nullptr);
  EXPECT_NE(calls[0].copy, d.unknown.Get());
  calls[0].copy->AddRef();  // the context keeps its own reference
  Definition clone(calls[0].copy);
  CLSID clsid{};
  EXPECT_EQ(clone.persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_JSymbolDef));
  EXPECT_EQ(clone.Count(), 0u);  // the elements come with the relink
  EXPECT_EQ(calls[1].original, kept);
  EXPECT_EQ(calls[1].copy, nullptr);
  EXPECT_EQ(calls[1].flags, 0u);
}

TEST_F(SymbolDefTest, RelinkCopyAppendsTheElementCopiesToTheDefinitionsCopy) {
  IUnknown* a = Element();
  IUnknown* b = Element();
  IUnknown* unmapped = Element();
  Definition d = Make({a, b, unmapped});
  Definition copy = Make();
  IUnknown* copyOfA = Element();
  StyleComPtr<host_app::TestCopyContext> context(host_app::TestCopyContext::Create());
  context->MapCopy(d.unknown.Get(), copy.unknown.Get());
  context->MapCopy(a, copyOfA);
  context->MapCopy(b, copy.unknown.Get());  // the copy itself is never its own element
  StyleComPtr<IJObjectList> entries(ListOf({{d.unknown.Get(), IID_IUnknown, 0x80000000},
                                              {a, IID_IUnknown, 0x80000000},
                                              {b, IID_IUnknown, 0x80000000},
                                              {unmapped, IID_IUnknown, 0x40000000}}));
  ASSERT_EQ(d.participant->RelinkCopy(entries.Get(), context.Get(), 0), S_OK);
  EXPECT_THAT(copy.Elements(), ElementsAre(copyOfA));
  const auto& calls = context->SetCopyCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].original, unmapped);
  EXPECT_EQ(calls[0].copy, copy.unknown.Get());
  EXPECT_EQ(calls[0].flags, 0x40000000u);

  // Without a copy of the definition there is nothing to relink.
  for (HRESULT answer : {S_OK, S_FALSE}) {
    StyleComPtr<host_app::TestCopyContext> lacking(host_app::TestCopyContext::Create());
    if (answer == S_FALSE) lacking->MapCopy(d.unknown.Get(), copy.unknown.Get(), 0, S_FALSE);
    StyleComPtr<IJObjectList> again(ListOf({{d.unknown.Get(), IID_IUnknown, 0}}));
    stylesrv_test::ClearReports();
    EXPECT_EQ(d.participant->RelinkCopy(again.Get(), lacking.Get(), 0), E_UNEXPECTED);
    EXPECT_EQ(Reports().size(), 1u);
  }
}

// Calls slot `slot` of an interface's table directly, as a host that knows only the places would.
template <class... Args>
HRESULT CallSlot(void* itf, int slot, Args... args) {
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, Args...);
  void** table = *reinterpret_cast<void***>(itf);
  return reinterpret_cast<Fn>(table[slot])(itf, args...);
}

void* Query(IUnknown* object, const IID& iid) {
  void* out = nullptr;
  EXPECT_EQ(object->QueryInterface(iid, &out), S_OK);
  if (out) object->Release();  // the test's Definition keeps the object alive
  return out;
}

// Made by the class object, as a host makes it; every operation answers at its place.
TEST_F(SymbolDefTest, EveryOperationAnswersAtItsPlace) {
  StyleComPtr<IClassFactory> factory;
  ASSERT_EQ(server.GetClassObject(CLSID_JSymbolDef, IID_IClassFactory, factory.PutVoid()), S_OK);
  IUnknown* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  Definition d(object);
  IUnknown* element = Element();
  ASSERT_EQ(d.def->AddElement(element, 0), S_OK);

  void* def = Query(object, IID_IJSymbolDefinition);
  DWORD count = 0;
  EXPECT_EQ(CallSlot(def, 3, 0, 0, 0), E_NOTIMPL);
  EXPECT_EQ(CallSlot(def, 4, 0, 0), E_NOTIMPL);
  EXPECT_EQ(CallSlot(def, 5), S_FALSE);
  EXPECT_EQ(CallSlot(def, 6, element), S_OK);
  EXPECT_EQ(CallSlot(def, 7, &count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(CallSlot(def, 14, 0, 0, 0), E_NOTIMPL);
  EXPECT_EQ(CallSlot(def, 15, 0), E_NOTIMPL);
  EXPECT_EQ(CallSlot(def, 16, 0, 0), E_NOTIMPL);
  EXPECT_EQ(CallSlot(def, 17), S_OK);
  EXPECT_EQ(CallSlot(def, 18, 0, 0, 0), E_NOTIMPL);
  IUnknown* collection = nullptr;
  EXPECT_EQ(CallSlot(def, 8, &collection), S_OK);
  ASSERT_NE(collection, nullptr);
  collection->Release();
  IUnknown* more[] = {Element(), Element()};
  EXPECT_EQ(CallSlot(def, 9, more[0], 0), S_OK);
  EXPECT_EQ(CallSlot(def, 10, 1, &more[1]), S_OK);
  EXPECT_EQ(CallSlot(def, 12, 2, more), S_OK);
  EXPECT_EQ(CallSlot(def, 11, element), S_OK);
  EXPECT_EQ(d.Count(), 0u);
  EXPECT_EQ(CallSlot(def, 9, element, 0), S_OK);
  EXPECT_EQ(CallSlot(def, 13), S_OK);
  EXPECT_EQ(d.Count(), 0u);

  void* graphic = Query(object, IID_IJGraphic);
  GraphicDrawContext context{};
  GraphicRange range{};
  EXPECT_EQ(CallSlot(graphic, 3, &count), S_OK);
  EXPECT_EQ(CallSlot(graphic, 4, 0, 0, 0, nullptr), S_FALSE);
  EXPECT_EQ(CallSlot(graphic, 5, &context), S_OK);
  EXPECT_EQ(CallSlot(graphic, 6, &range, nullptr), S_OK);

  void* persist = Query(object, IID_IJPersist);
  EXPECT_EQ(persist, Query(object, IID_IPersist));
  CLSID clsid{};
  EXPECT_EQ(CallSlot(persist, 3, &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_JSymbolDef));
  using Implementation = void*(STDMETHODCALLTYPE*)(void*);
  EXPECT_NE(reinterpret_cast<Implementation>((*reinterpret_cast<void***>(persist))[4])(persist), nullptr);
  EXPECT_EQ(CallSlot(persist, 8), S_OK);
  TestArchive plain(ARCHIVE_STORING);
  TestArchive versioned(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  EXPECT_EQ(CallSlot(persist, 5, plain.get()), S_OK);
  EXPECT_EQ(CallSlot(persist, 6, versioned.get()), S_OK);
  EXPECT_EQ(plain.Bytes().size(), 4u);
  EXPECT_EQ(versioned.Bytes().size(), 22u);
  IUnknown* clone = nullptr;
  EXPECT_EQ(CallSlot(persist, 7, nullptr, &clone), S_OK);
  ASSERT_NE(clone, nullptr);
  clone->Release();

  void* participant = Query(object, IID_IJCopyParticipant);
  IJObjectList* list = nullptr;
  EXPECT_EQ(CallSlot(participant, 3, &list), S_OK);
  ASSERT_NE(list, nullptr);
  StyleComPtr<host_app::TestCopyContext> context2(host_app::TestCopyContext::Create());
  EXPECT_EQ(CallSlot(participant, 4, list, context2.Get()), S_OK);
  list->Reset();
  EXPECT_EQ(CallSlot(participant, 5, list, context2.Get(), 0), E_UNEXPECTED);  // the context knows no copy
  list->Release();
  EXPECT_EQ(CallSlot(participant, 6, 0, 0), E_NOTIMPL);
  EXPECT_EQ(CallSlot(participant, 7), S_FALSE);

  void* provider = Query(object, IID_IJCopyProvider);
  for (int slot : {3, 6}) EXPECT_EQ(CallSlot(provider, slot, 0, 0), E_NOTIMPL) << slot;
  for (int slot : {4, 5, 9}) EXPECT_EQ(CallSlot(provider, slot, 0), E_NOTIMPL) << slot;
  EXPECT_EQ(CallSlot(provider, 10, 0), S_OK);
  // The provider hands out its participant, in the second place only, and nothing else.
  void* first = reinterpret_cast<void*>(1);
  void* second = reinterpret_cast<void*>(1);
  EXPECT_EQ(CallSlot(provider, 7, &IID_IJGraphic, &first, &second, 0), S_OK);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(CallSlot(provider, 7, &IID_IJCopyParticipant, &first, &second, 0), S_OK);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(second, participant);
  static_cast<IUnknown*>(second)->Release();
  GUID type{};
  EXPECT_EQ(CallSlot(provider, 8, &type), S_OK);
  EXPECT_TRUE(IsEqualGUID(type, COPYPROVIDER_SymbolDefinition));
  EXPECT_EQ(CallSlot(provider, 8, nullptr), E_INVALIDARG);

  void* user = Query(object, IID_IJStyleUser);
  EXPECT_EQ(CallSlot(user, 3, nullptr, nullptr, nullptr, nullptr, 0), E_FAIL);
  EXPECT_EQ(CallSlot(user, 4, nullptr, nullptr), S_OK);
  EXPECT_EQ(CallSlot(user, 5, 1), FALSE);

  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(object->QueryInterface(IID_IJStyleRender, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
}  // namespace symdef_test
