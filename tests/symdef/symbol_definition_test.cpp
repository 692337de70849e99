// The symbol definition's elements: made through CreateLiteSymbol, bound to the document of its first document
// element, removed by object and by ID, drawn and measured, and nested.
#include <cmath>

#include "tests/symdef/symdef_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::Reports;

namespace symdef_test {
namespace {

TEST_F(SymbolDefTest, CreateLiteSymbolHoldsTheElementsInOrder) {
  IUnknown* a = Element();
  IUnknown* b = Element();
  IUnknown* c = Element();
  {
    Definition d = Make({a, b, c});
    EXPECT_EQ(d.Count(), 3u);
    EXPECT_THAT(d.Elements(), ElementsAre(a, b, c));
    // Elements are known by their identity, whichever of their interfaces is asked about.
    StyleComPtr<IJGraphic> bAsGraphic;
    ASSERT_EQ(b->QueryInterface(IID_IJGraphic, bAsGraphic.PutVoid()), S_OK);
    EXPECT_EQ(d.def->IsElement(bAsGraphic.Get()), S_OK);
    EXPECT_EQ(d.def->IsElement(a), S_OK);
    EXPECT_EQ(d.def->IsElement(c), S_OK);
    EXPECT_EQ(d.def->IsElement(Element()), S_FALSE);
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE);

    Definition empty = Make();
    EXPECT_EQ(empty.Count(), 0u);
  }
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

// Bad arguments are refused where they arrive, each with its own report; nothing is made or changed.
TEST_F(SymbolDefTest, BadArgumentsAreRefused) {
  IUnknown* a = Element();
  IUnknown* out = reinterpret_cast<IUnknown*>(0x1);
  EXPECT_EQ(createLiteSymbol(&a, 1, nullptr), E_INVALIDARG);
  EXPECT_EQ(createLiteSymbol(nullptr, 2, &out), E_INVALIDARG);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(server.internals().GetLiveObjectCount(), 0);

  Definition d = Make({a});
  StyleComPtr<IJGraphic> self;
  ASSERT_EQ(d.unknown->QueryInterface(IID_IJGraphic, self.PutVoid()), S_OK);
  const struct {
    const char* what;
    HRESULT answer;
  } cases[] = {
      {"AddElement(null)", d.def->AddElement(nullptr, 0)},
      {"AddElement(itself)", d.def->AddElement(self.Get(), 0)},
      {"AddElements(2, null)", d.def->AddElements(2, nullptr)},
      {"RemoveElement(not an element)", d.def->RemoveElement(Element())},
      {"RemoveElements(1, null)", d.def->RemoveElements(1, nullptr)},
      {"IsElement(null)", d.def->IsElement(nullptr)},
      {"GetElementCount(null)", d.def->GetElementCount(nullptr)},
      {"GetElements(null)", d.def->GetElements(nullptr)},
      {"GetClassID(null)", d.persist->GetClassID(nullptr)},
      {"Clone(outer, null)", d.persist->Clone(nullptr, nullptr)},
      {"ListRelatedObjects(null)", d.participant->ListRelatedObjects(nullptr)},
      {"Draw(null)", d.graphic->Draw(nullptr)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.answer, E_INVALIDARG) << c.what;
  EXPECT_EQ(Reports().size(), std::size(cases) + 2);
  for (const PellowReport& r : Reports()) EXPECT_STREQ(r.source, kSource);
  EXPECT_THAT(d.Elements(), ElementsAre(a));
}

// A failed add answers the failure and hands out the definition made so far, which the caller releases.
TEST_F(SymbolDefTest, CreateLiteSymbolKeepsThePartialDefinitionWhenAnAddFails) {
  IUnknown* a = Element();
  IUnknown* elements[] = {a, nullptr, Element()};
  IUnknown* out = nullptr;
  EXPECT_EQ(createLiteSymbol(elements, 3, &out), E_INVALIDARG);
  ASSERT_NE(out, nullptr);
  Definition d(out);
  EXPECT_THAT(d.Elements(), ElementsAre(a));
}

TEST_F(SymbolDefTest, ElementsOutsideADocumentLeaveTheDefinitionUnbound) {
  TestDocument document;
  IUnknown* loose = Element();
  IUnknown* kept = Element();
  document.Register(kept);
  Definition d = Make({loose});
  HostClearDocumentCalls();
  // Not bound, so a document element joins without any registration, and a loose one is still taken.
  EXPECT_EQ(d.def->AddElement(kept, 0), S_OK);
  EXPECT_EQ(d.def->AddElement(Element(), 0), S_OK);
  EXPECT_EQ(d.Count(), 3u);
  EXPECT_THAT(DocumentCalls(), IsEmpty());
  EXPECT_THAT(d.StoredIDs(), IsEmpty());
}

TEST_F(SymbolDefTest, TheFirstDocumentElementBindsTheDefinition) {
  TestDocument document;
  IUnknown* element = Element();
  const DWORD id = document.Register(element);
  Definition d = Make();
  HostClearDocumentCalls();
  ASSERT_EQ(d.def->AddElement(element, 0), S_OK);

  const std::vector<HostDocumentCall> calls = DocumentCalls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].kind, DWORD{HOST_DOC_REGISTER});
  EXPECT_EQ(calls[0].object, element);
  EXPECT_EQ(calls[0].persistentID, id);
  EXPECT_EQ(calls[1].kind, DWORD{HOST_DOC_REGISTER});
  EXPECT_EQ(calls[1].object, d.unknown.Get());
  EXPECT_EQ(calls[2].kind, DWORD{HOST_DOC_CONTAINER_OF_ID});
  EXPECT_EQ(calls[2].persistentID, calls[1].persistentID);
  EXPECT_EQ(calls[3].kind, DWORD{HOST_DOC_LINK_ELEMENT});
  EXPECT_EQ(calls[3].object, element);
  EXPECT_EQ(calls[3].container, static_cast<IUnknown*>(document.get()));  // the definition lies in the document

  // Now only elements of its own document are taken.
  TestDocument other;
  IUnknown* foreign = Element();
  other.Register(foreign);
  EXPECT_EQ(d.def->AddElement(Element(), 0), S_FALSE);
  EXPECT_EQ(d.def->AddElement(foreign, 0), E_INVALIDARG);
  EXPECT_THAT(d.StoredIDs(), ElementsAre(id));
  EXPECT_EQ(d.Count(), 1u);
}

// Each document call of the binding can fail: the failure is reported and answered, the element stays.
TEST_F(SymbolDefTest, AFailedBindingStepIsAnsweredAndTheElementStays) {
  for (DWORD kind : {HOST_DOC_REGISTER, HOST_DOC_CONTAINER_OF_ID, HOST_DOC_LINK_ELEMENT}) {
    SCOPED_TRACE(kind);
    TestDocument document;
    IUnknown* element = Element();
    document.Register(element);
    Definition d = Make();
    stylesrv_test::ClearReports();
    HostFailDocumentCall(kind, 1, E_ACCESSDENIED);
    EXPECT_EQ(d.def->AddElement(element, 0), E_ACCESSDENIED);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].hr, E_ACCESSDENIED);
    EXPECT_EQ(d.def->IsElement(element), S_OK);
  }
}

TEST_F(SymbolDefTest, RemovedElementsTakeTheirOwnIDsWithThem) {
  TestDocument document;
  IUnknown* a = Element();
  IUnknown* b = Element();
  IUnknown* c = Element();
  const DWORD idA = document.Register(a);
  const DWORD idB = document.Register(b);
  const DWORD idC = document.Register(c);
  Definition d = Make({a});
  // b's registration fails while it is added: it is an element without an ID in the list.
  HostFailDocumentCall(HOST_DOC_REGISTER, 1, E_FAIL);
  EXPECT_EQ(d.def->AddElement(b, 0), E_FAIL);
  EXPECT_EQ(d.def->AddElement(c, 0), S_OK);
  EXPECT_THAT(d.StoredIDs(), ElementsAre(idA, idC));

  HostClearDocumentCalls();
  EXPECT_EQ(d.def->RemoveElement(b), S_OK);
  EXPECT_THAT(d.StoredIDs(), ElementsAre(idA, idC));
  EXPECT_EQ(d.def->RemoveElement(c), S_OK);
  EXPECT_THAT(d.Elements(), ElementsAre(a));
  EXPECT_THAT(d.StoredIDs(), ElementsAre(idA));
  std::vector<HostDocumentCall> told = DocumentCallsOf(HOST_DOC_NOTIFY_ID);
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].persistentID, idB);
  EXPECT_EQ(told[1].persistentID, idC);
  EXPECT_EQ(d.def->RemoveElement(c), E_INVALIDARG);

  HostClearDocumentCalls();
  EXPECT_EQ(d.def->RemoveAllElements(), S_OK);
  told = DocumentCallsOf(HOST_DOC_NOTIFY_ID);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].persistentID, idA);
  EXPECT_EQ(d.Count(), 0u);
  EXPECT_THAT(d.StoredIDs(), IsEmpty());
}

TEST_F(SymbolDefTest, DrawDrawsEveryGraphicWithTheCallersContextInOrder) {
  IUnknown* a = Element({0, 0, 0, 1, 0, 0});
  IUnknown* notAGraphic = Hold(host_app::TestCopyContext::Create());
  IUnknown* b = Element({0, 1, 0, 1, 1, 0, 1, 2, 0});
  Definition d = Make({a, notAGraphic, b});
  TestTarget target;
  GraphicDrawContext context{};
  context.display = target.target();
  EXPECT_EQ(d.graphic->Draw(&context), S_OK);
  EXPECT_THAT(host_app::ElementsCalled(host_app::ElementOp::Draw), ElementsAre(a, b));
  for (const host_app::ElementCall& call : host_app::ElementCalls()) EXPECT_EQ(call.argument, &context);
  const std::vector<SitheCall> drawn = target.Calls();
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].pointCount, 2u);
  EXPECT_EQ(drawn[1].pointCount, 3u);
}

// The caller's box and extent are grown, never cleared; an element without a usable range changes nothing.
TEST_F(SymbolDefTest, GetRangeGrowsWhatTheCallerGives) {
  const double nan = std::nan("");
  host_app::GraphicElementSetup wide;
  wide.range = {-2, 0, 0, 1, 3, 0};
  wide.extent = {4, 0.5, 0.1};
  host_app::GraphicElementSetup broken;
  broken.range = {nan, 0, 0, 100, 100, 0};
  broken.extent = {1, nan, 7.0};
  host_app::GraphicElementSetup silent;
  silent.hasRange = false;
  Definition d = Make({Hold(host_app::CreateGraphicElement(wide)), Hold(host_app::CreateGraphicElement(broken)),
                       Hold(host_app::CreateGraphicElement(silent))});

  const struct {
    GraphicRange given;
    StyleExtent givenExtent;
    GraphicRange expected;
    StyleExtent expectedExtent;
  } cases[] = {
      {{0, 0, 0, 1, 1, 0}, {2, 1.0, 0.0}, {-2, 0, 0, 1, 3, 0}, {4, 1.0, 7.0}},
      {{-5, -5, -1, 5, 5, 1}, {9, 0.0, 9.0}, {-5, -5, -1, 5, 5, 1}, {9, 0.5, 9.0}},
      // The empty box takes the elements' box.
      {{1e30, 1e30, 1e30, -1e30, -1e30, -1e30}, {}, {-2, 0, 0, 1, 3, 0}, {4, 0.5, 7.0}},
  };
  for (const auto& c : cases) {
    GraphicRange range = c.given;
    StyleExtent extent = c.givenExtent;
    EXPECT_EQ(d.graphic->GetRange(&range, &extent), S_OK);
    EXPECT_EQ(std::memcmp(&range, &c.expected, sizeof range), 0)
        << range.xmin << " " << range.ymin << " " << range.zmin << " " << range.xmax << " " << range.ymax;
    EXPECT_EQ(extent.value, c.expectedExtent.value);
    EXPECT_EQ(extent.first, c.expectedExtent.first);
    EXPECT_EQ(extent.second, c.expectedExtent.second);
  }
  EXPECT_EQ(d.graphic->GetRange(nullptr, nullptr), S_OK);
}

TEST_F(SymbolDefTest, ADefinitionWhoseElementsAreMissingDrawsAndMeasuresNothing) {
  TestDocument document;
  IUnknown* element = Element();
  Definition d = Make();
  document.Register(d.unknown.Get());
  const DWORD missing = document.Register(element) + 1000;
  TestArchive archive(ARCHIVE_LOADING);
  const DWORD record[] = {1, missing};
  ArchiveSetData(archive.get(), record, sizeof record);
  ASSERT_EQ(d.persist->Load(archive.get()), S_OK);

  GraphicRange range{0, 0, 0, 1, 1, 1};
  StyleExtent extent{3, 0.25, 0.5};
  GraphicDrawContext context{};
  EXPECT_EQ(d.graphic->Draw(&context), S_OK);
  EXPECT_EQ(d.graphic->GetRange(&range, &extent), S_OK);
  EXPECT_EQ(range.xmax, 1.0);
  EXPECT_EQ(extent.value, 3u);
  EXPECT_EQ(extent.second, 0.5);
  EXPECT_THAT(host_app::ElementCalls(), IsEmpty());
  EXPECT_THAT(Reports(), ::testing::Contains(::testing::Field(&PellowReport::hr, E_FAIL)));
}

TEST_F(SymbolDefTest, NestedDefinitionsAreReachedThroughTheOuterOne) {
  TestDocument document;
  IUnknown* deep = Element({}, true, {7});
  IUnknown* plain = Element({}, true, {});
  const DWORD deepID = document.Register(deep);
  // The inner definition lies in the document with only its IDs, as a load leaves it.
  Definition inner = Make();
  document.Register(inner.unknown.Get());
  TestArchive archive(ARCHIVE_LOADING);
  const DWORD record[] = {1, deepID};
  ArchiveSetData(archive.get(), record, sizeof record);
  ASSERT_EQ(inner.persist->Load(archive.get()), S_OK);
  IUnknown* after = Element({}, true, {8});
  Definition outer = Make({plain, inner.unknown.Get(), after});

  HostClearDocumentCalls();
  EXPECT_EQ(outer.def->ResolveElements(), S_OK);
  const std::vector<HostDocumentCall> fetched = DocumentCallsOf(HOST_DOC_FETCH_BY_ID);
  ASSERT_EQ(fetched.size(), 1u);
  EXPECT_EQ(fetched[0].persistentID, deepID);
  EXPECT_THAT(inner.Elements(), ElementsAre(deep));

  host_app::ClearElementCalls();
  EXPECT_TRUE(outer.user->UsesStyleID(7));
  EXPECT_TRUE(outer.user->UsesStyleID(8));
  EXPECT_FALSE(outer.user->UsesStyleID(9));
  // The first TRUE ends the question: `after` is not asked about 7.
  EXPECT_THAT(host_app::ElementsCalled(host_app::ElementOp::UsesStyleID),
              ElementsAre(plain, deep, plain, deep, after, plain, deep, after));

  EXPECT_EQ(outer.user->AnnounceOwner(document.get(), nullptr), S_OK);
  EXPECT_THAT(host_app::ElementsCalled(host_app::ElementOp::AnnounceOwner), ElementsAre(plain, deep, after));
  EXPECT_EQ(outer.user->CopyStyleUse(nullptr, nullptr, nullptr, nullptr, 0), E_FAIL);
}

TEST_F(SymbolDefTest, AFailingElementStopsTheOwnerAnnouncement) {
  host_app::GraphicElementSetup failing;
  failing.styleUser = true;
  failing.announceResult = E_ACCESSDENIED;
  IUnknown* first = Hold(host_app::CreateGraphicElement(failing));
  Definition d = Make({first, Element({}, true)});
  EXPECT_EQ(d.user->AnnounceOwner(nullptr, nullptr), E_ACCESSDENIED);
  EXPECT_THAT(host_app::ElementsCalled(host_app::ElementOp::AnnounceOwner), ElementsAre(first));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0].hr, E_ACCESSDENIED);
  EXPECT_STREQ(Reports()[0].source, kSource);
}

// Definitions that hold each other: every recursive operation ends at the depth bound, and drawing and
// measuring such a definition fail, reported once each.
TEST_F(SymbolDefTest, DefinitionsThatHoldEachOtherEnd) {
  IUnknown* leaf = Element({0, 0, 0, 1, 1, 0}, true, {});
  Definition a = Make({leaf});
  Definition b = Make({a.unknown.Get()});
  ASSERT_EQ(a.def->AddElement(b.unknown.Get(), 0), S_OK);

  stylesrv_test::ClearReports();
  GraphicDrawContext context{};
  EXPECT_EQ(a.graphic->Draw(&context), E_FAIL);
  GraphicRange range{1e30, 1e30, 1e30, -1e30, -1e30, -1e30};
  EXPECT_EQ(b.graphic->GetRange(&range, nullptr), E_FAIL);
  EXPECT_EQ(range.xmax, 1.0);
  const auto bound = stylesrv_test::IsReport(E_FAIL, "STYDEPTH", 1);
  EXPECT_THAT(Reports(), ElementsAre(bound, bound));
  EXPECT_FALSE(a.user->UsesStyleID(3));
  EXPECT_EQ(a.user->AnnounceOwner(nullptr, nullptr), S_OK);
  EXPECT_EQ(b.def->ResolveElements(), S_OK);
  EXPECT_FALSE(host_app::ElementsCalled(host_app::ElementOp::Draw).empty());

  // The cycle holds both alive; the host breaks it by emptying one.
  EXPECT_EQ(a.def->RemoveAllElements(), S_OK);
}

}  // namespace
}  // namespace symdef_test
