// A point symbol keeps its symbol in its owner's document: a symbol of another document is copied, with copies
// of its elements, into the owner document's "StyleCluster"; copying the style to another library copies the
// symbol into the target document's cluster, with the styles its copy uses.
#include <algorithm>

#include "display/style/styles/JStylePointSymbol.h"
#include "tests/symbols/point_symbol_fixtures.h"

using ::testing::ElementsAre;
using stylesrv_test::Reports;

namespace symbols_test {
namespace {

// The document that holds an object (identity, without a reference), or null.
IUnknown* DocumentOf(IUnknown* object) {
  StyleComPtr<IJDocumentNamedObjects> document;
  if (FAILED(GetObjectDocument(object, document.Put()))) return nullptr;
  return document.Get();
}

struct Call {
  DWORD kind;
  IUnknown* document;
  bool operator==(const Call&) const = default;
};

std::vector<Call> DocumentCallKinds(std::size_t n) {
  std::vector<Call> calls;
  for (LONG i = 0; i < HostDocumentCallCount() && calls.size() < n; ++i) {
    HostDocumentCall call{};
    HostGetDocumentCall(i, &call);
    calls.push_back({call.kind, call.document});
  }
  return calls;
}

// An owner library kept by a document with a cluster, and a point symbol it owns.
struct OwnedSymbol {
  OwnedSymbol(const stylesrv_test::ServerModule& server, bool withCluster)
      : document(withCluster), owner(RecordingLibrarian::Create()), symbol(server) {
    document.Register(owner->Librarian());
    owner->Add(symbol.unknown.Get());
  }
  ClusterDocument document;
  StyleComPtr<RecordingLibrarian> owner;
  PointSymbol symbol;
  JStylePointSymbol* Style() const { return AsStyle<JStylePointSymbol>(symbol.unknown.Get()); }
};

TEST_F(PointSymbolTest, ASymbolOfAnotherDocumentIsCopiedIntoTheOwnersCluster) {
  OwnedSymbol owned(server, true);
  ClusterDocument elsewhere(false);
  std::vector<IUnknown*> elements;
  for (int i = 0; i < 6; ++i) elements.push_back(Element({0, 0, 0, double(i), 1, 0}));
  IUnknown* definition = Definition(elements);
  elsewhere.Register(definition);
  HostClearDocumentCalls();

  ASSERT_EQ(owned.symbol.style->SetGraphic(definition), S_OK);
  IUnknown* owner = owned.document.get();
  IUnknown* source = elsewhere.get();
  // The owner's document cannot give the symbol an ID; the symbol's document is asked, then the owner's for
  // its cluster, once for the adoption and once for the copy.
  EXPECT_THAT(DocumentCallKinds(6),
              ElementsAre(Call{HOST_DOC_REGISTER, owner}, Call{HOST_DOC_REGISTER, source},
                          Call{HOST_DOC_NOTIFY_ID, source}, Call{HOST_DOC_CONTAINER_OF_ID, source},
                          Call{HOST_DOC_NAMED_OBJECT, owner}, Call{HOST_DOC_NAMED_OBJECT, owner}));

  StyleComPtr<IJGraphic> copy;
  ASSERT_EQ(owned.symbol.style->GetGraphic(copy.Put()), S_OK);
  ASSERT_NE(IdentityOf(copy.Get()), IdentityOf(definition));
  EXPECT_EQ(DocumentOf(copy.Get()), owner);
  const DWORD id = owned.Style()->SymbolID();
  EXPECT_EQ(id, owned.document.Register(copy.Get()));
  EXPECT_EQ(owned.document.ContainerOf(id), owned.document.cluster);

  StyleComPtr<IJSymbolDefinition> copied;
  ASSERT_EQ(copy->QueryInterface(IID_IJSymbolDefinition, copied.PutVoid()), S_OK);
  DWORD count = 0;
  ASSERT_EQ(copied->GetElementCount(&count), S_OK);
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(host_app::ElementsCalled(host_app::ElementOp::Clone).size(), 6u);
  for (IUnknown* element : elements) EXPECT_NE(DocumentOf(element), owner);  // the originals stay where they were
}

TEST_F(PointSymbolTest, AnAdoptionThatFailsLeavesTheStyleAndTheDocumentAsTheyWere) {
  const struct {
    bool cluster;
    DWORD failingKind;  // a document call that fails, and which one of its kind
    LONG failingCall;
    LONG failingAllocations;
    HRESULT expected;
  } cases[] = {
      {false, 0, 0, 0, E_FAIL},
      {true, 0, 0, 1, E_OUTOFMEMORY},             // the definition's copy
      {true, HOST_DOC_INSERT, 3, 0, E_FAIL},      // the second element's copy: the first is taken out again
      {true, HOST_DOC_NAMED_OBJECT, 3, 0, E_FAIL},  // inside the first element's copy
  };
  for (const auto& c : cases) {
    OwnedSymbol owned(server, c.cluster);
    ClusterDocument elsewhere(false);
    IUnknown* definition = Definition({Element(), Element()});
    elsewhere.Register(definition);
    const LONG liveElements = host_app::LiveObjects();
    const LONG liveObjects = server.internals().GetLiveObjectCount();
    stylesrv_test::ClearReports();
    if (c.failingKind) HostFailDocumentCall(c.failingKind, c.failingCall, E_FAIL);
    EngineFailNextAllocations(c.failingAllocations);
    EXPECT_EQ(owned.symbol.style->SetGraphic(definition), c.expected);
    EngineFailNextAllocations(0);
    HostFailDocumentCall(c.failingKind, 0, S_OK);
    EXPECT_FALSE(Reports().empty());
    StyleComPtr<IJGraphic> kept;
    EXPECT_EQ(owned.symbol.style->GetGraphic(kept.Put()), S_OK);
    EXPECT_EQ(kept.Get(), nullptr);
    EXPECT_EQ(owned.Style()->SymbolID(), 0u);
    // No copy outlives the failure, in the document or anywhere else.
    EXPECT_EQ(host_app::LiveObjects(), liveElements) << c.expected;
    EXPECT_EQ(server.internals().GetLiveObjectCount(), liveObjects) << c.expected;
  }
}

TEST_F(PointSymbolTest, ACopyToAnotherLibraryTakesACopyOfTheSymbolWithItsStyle) {
  StyleComPtr<RecordingLibrarian> source(RecordingLibrarian::Create());
  StyleComPtr<RecordingLibrarian> target(RecordingLibrarian::Create());
  ClusterDocument targetDocument;
  StyleComPtr<TestLineStyle> line(TestLineStyle::Create());
  const DWORD lineID = source->Add(line->Unknown());
  StyleComPtr<TestLineStyle> other(TestLineStyle::Create());
  target->Add(other->Unknown());
  // An element that keeps the line's ID and cannot carry its use over by itself.
  host_app::GraphicElementSetup setup;
  setup.styleUser = true;
  setup.copyStyleUseResult = E_FAIL;
  setup.styled = true;
  setup.styleID = lineID;
  IUnknown* element = Hold(host_app::CreateGraphicElement(setup));
  PointSymbol symbol(server);
  source->Add(symbol.unknown.Get());
  ASSERT_EQ(symbol.style->SetGraphic(element), S_OK);
  auto* style = AsStyle<JStylePointSymbol>(symbol.unknown.Get());

  StyleComPtr<IUnknown> made;
  ASSERT_EQ(style->CopyToLibrary(source->Librarian(), target->Librarian(), targetDocument.get(), made.Put()), S_OK);
  auto* copy = AsStyle<JStylePointSymbol>(made.Get());
  IUnknown* clone = IdentityOf(copy->CachedSymbol());
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone, IdentityOf(element));
  EXPECT_EQ(targetDocument.ContainerOf(copy->SymbolID()), targetDocument.cluster);
  const std::vector<host_app::ElementCall> calls = host_app::ElementCalls();
  const auto use = std::find_if(calls.begin(), calls.end(), [](const host_app::ElementCall& call) {
    return call.op == host_app::ElementOp::CopyStyleUse;
  });
  ASSERT_NE(use, calls.end());
  EXPECT_EQ(use->element, clone);
  EXPECT_EQ(use->argument, source->Librarian());
  EXPECT_THAT(use->more, ElementsAre(target->Librarian(), targetDocument.get(), IdentityOf(element)));
  EXPECT_EQ(use->value, 0u);
  // The line went to the target library, and the clone keeps its ID there.
  ASSERT_EQ(target->Count(), 2u);
  EXPECT_EQ(host_app::ElementStyleID(clone), 2u);
  EXPECT_EQ(host_app::ElementStyleID(element), lineID);

  // Without a target document the copy shares the symbol until an owner's document adopts it.
  StyleComPtr<IUnknown> shared;
  ASSERT_EQ(style->CopyToLibrary(source->Librarian(), target->Librarian(), nullptr, shared.Put()), S_OK);
  EXPECT_EQ(IdentityOf(AsStyle<JStylePointSymbol>(shared.Get())->CachedSymbol()), IdentityOf(element));
}

}  // namespace
}  // namespace symbols_test
