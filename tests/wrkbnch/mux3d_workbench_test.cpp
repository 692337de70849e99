// The 3D multiplexer workbench of stylesrv.dll, reached only by slot as the style-description code reaches it,
// building into the real style library and into the bases' recording librarian, with the host's multiplexer and
// appearance doubles registered (or not).
#include <cstdlib>
#include <cstring>
#include <memory>
#include <tuple>

#include "host/app/graphic_element.h"
#include "host/app/mux3d_components.h"
#include "tests/bases/recording_librarian.h"
#include "tests/styllib/library_fixtures.h"

using stylesrv_test::CallSlot;
using stylesrv_test::IdentityOf;
using styllib_test::CreateObject;
using styllib_test::TestLibrary;

namespace {

constexpr char kSource[] = "display/style/wrkbnch/mux3dwb";
constexpr CLSID kWorkbench = {0xFD1EA2D6, 0xB42E, 0x11D1, {0xBC, 0x42, 0x08, 0x00, 0x36, 0x93, 0xE1, 0x02}};

// Slots of IMux3dWrkBench and ICommonWrkBench.
enum : int { kSetName = 15, kGetName = 16, kSetColour = 19, kGetColour = 20 };
enum : int { kCreateStyle = 15, kGetID = 16, kQueryStyle = 17 };

class Mux3dWorkbenchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    host_app::Mux3dComponentCalls() = {};
    doublesBefore = host_app::LiveObjects();
    ASSERT_EQ(host_app::RegisterMux3dStyleClass(&styleCookie), S_OK);
    ASSERT_EQ(host_app::RegisterMux3dAppearanceClass(&appearanceCookie), S_OK);
    library = std::make_unique<TestLibrary>();
  }
  void TearDown() override {
    for (IUnknown* held : benches) held->Release();
    if (recording) recording->Release();
    library.reset();
    if (styleCookie) CoRevokeClassObject(styleCookie);
    if (appearanceCookie) CoRevokeClassObject(appearanceCookie);
    EXPECT_EQ(host_app::LiveObjects(), doublesBefore) << "multiplexer or appearance doubles leaked";
  }

  // A new workbench as IMux3dWrkBench; the fixture releases it.
  IUnknown* NewBench() {
    IUnknown* bench = nullptr;
    EXPECT_EQ(CreateObject(library->server(), kWorkbench, IID_IMux3dWrkBench, reinterpret_cast<void**>(&bench)),
              S_OK);
    if (bench) benches.push_back(bench);
    return bench;
  }
  // The workbench's ICommonWrkBench, without a reference (the workbench holds it).
  static IUnknown* Common(IUnknown* bench) {
    IUnknown* common = nullptr;
    EXPECT_EQ(bench->QueryInterface(IID_ICommonWrkBench, reinterpret_cast<void**>(&common)), S_OK);
    common->Release();
    return common;
  }
  RecordingLibrarian* Recording() {
    recording = RecordingLibrarian::Create();
    recording->logsMarks = true;
    return recording;
  }
  static DWORD CreatedID(IUnknown* bench) {
    DWORD id = 0xDEAD;
    EXPECT_EQ(CallSlot(Common(bench), kGetID, &id), S_OK);
    return id;
  }
  static IUnknown* QueryUnknown(IUnknown* bench) {
    IUnknown* style = nullptr;
    EXPECT_EQ(CallSlot(Common(bench), kQueryStyle, &IID_IUnknown, reinterpret_cast<void**>(&style)), S_OK);
    if (style) style->Release();  // the library keeps it
    return style;
  }
  // Units code, width and colour of a simple line of the library.
  static std::tuple<DWORD, double, COLORREF> LineData(IJSLLibrarian* librarian, DWORD id) {
    tagStyleSimpleLineData data{};
    IUnknown* object = nullptr;
    IJStyleSimpleLine* line = nullptr;
    if (SUCCEEDED(librarian->GetStyle(id, &object)) &&
        SUCCEEDED(object->QueryInterface(IID_IJStyleSimpleLine, reinterpret_cast<void**>(&line)))) {
      line->GetData(&data);
      line->Release();
    }
    if (object) object->Release();
    return {data.unitsCode, data.width, data.colour};
  }
  static bool Reported(HRESULT hr) {
    for (const PellowReport& report : stylesrv_test::Reports()) {
      if (report.hr == hr && std::string(report.source) == kSource) return true;
    }
    return false;
  }

  std::unique_ptr<TestLibrary> library;
  RecordingLibrarian* recording = nullptr;
  std::vector<IUnknown*> benches;
  DWORD styleCookie = 0;
  DWORD appearanceCookie = 0;
  LONG doublesBefore = 0;
};

TEST_F(Mux3dWorkbenchTest, ANewWorkbenchIsALiveObjectWithDefaultsAndSlotsThatDoNothing) {
  const auto& internals = library->server().internals();
  const LONG live = internals.GetLiveObjectCount();
  IUnknown* bench = NewBench();
  ASSERT_NE(bench, nullptr);
  EXPECT_EQ(internals.GetLiveObjectCount(), live + 1);
  EXPECT_EQ(library->server().CanUnloadNow(), S_FALSE);

  // The two interface objects lead to one object.
  IUnknown* common = Common(bench);
  IUnknown* back = nullptr;
  ASSERT_EQ(common->QueryInterface(IID_IMux3dWrkBench, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, bench);
  back->Release();

  for (int slot : {17, 18, 21, 22}) EXPECT_EQ(CallSlot(bench, slot, DWORD{0x123}), S_OK) << slot;
  EXPECT_EQ(CallSlot(bench, 23, DWORD{1}, DWORD{2}, DWORD{3}), S_OK);
  COLORREF colour = 0;
  EXPECT_EQ(CallSlot(bench, kGetColour, &colour), S_OK);
  EXPECT_EQ(colour, 0xC0C0C0u);
  LPWSTR name = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(CallSlot(bench, kGetName, &name), S_OK);
  EXPECT_EQ(name, nullptr);

  // Names: each GetName a copy of its own; a null name leaves the name.
  EXPECT_EQ(CallSlot(bench, kSetName, L"Rail3d"), S_OK);
  EXPECT_EQ(CallSlot(bench, kSetName, static_cast<LPCWSTR>(nullptr)), S_OK);
  LPWSTR first = nullptr, second = nullptr;
  EXPECT_EQ(CallSlot(bench, kGetName, &first), S_OK);
  EXPECT_EQ(CallSlot(bench, kGetName, &second), S_OK);
  EXPECT_STREQ(first, L"Rail3d");
  EXPECT_STREQ(second, L"Rail3d");
  EXPECT_NE(first, second);
  std::free(first);
  std::free(second);

  // Nothing built: no ID, nothing handed out, also with a null out.
  EXPECT_EQ(CreatedID(bench), 0u);
  void* untouched = &colour;
  EXPECT_EQ(CallSlot(common, kQueryStyle, &IID_IUnknown, &untouched), S_OK);
  EXPECT_EQ(untouched, &colour);
  EXPECT_EQ(CallSlot(common, kQueryStyle, &IID_IUnknown, static_cast<void**>(nullptr)), S_OK);

  // No librarian to build in.
  EXPECT_EQ(CallSlot(common, kCreateStyle, static_cast<IUnknown*>(nullptr)), E_INVALIDARG);
  EXPECT_EQ(CallSlot(common, kCreateStyle, bench), E_INVALIDARG);
  EXPECT_TRUE(Reported(E_INVALIDARG));
  EXPECT_EQ(CreatedID(bench), 0u);

  benches.clear();
  bench->Release();
  EXPECT_EQ(internals.GetLiveObjectCount(), live);
}

TEST_F(Mux3dWorkbenchTest, BuildsTwoLinesAnAppearanceAndTheMultiplexerFromOneColour) {
  IUnknown* bench = NewBench();
  ASSERT_NE(bench, nullptr);
  IJSLLibrarian* librarian = library->librarian;
  const DWORD before = library->StyleCount();
  EXPECT_EQ(CallSlot(bench, kSetName, L"Rail3d"), S_OK);
  EXPECT_EQ(CallSlot(bench, kSetColour, COLORREF{0x0000FF}), S_OK);
  ASSERT_EQ(CallSlot(Common(bench), kCreateStyle, static_cast<IUnknown*>(librarian)), S_OK);

  ASSERT_EQ(library->StyleCount(), before + 4);
  const DWORD first = before + 1;
  for (DWORD id = first; id <= first + 3; ++id) {
    StyleRecord* record = nullptr;
    ASSERT_EQ(librarian->GetStyleRecord(id, &record), S_OK);
    if (id < first + 3) {
      EXPECT_EQ(record->name, nullptr) << id;
    } else {
      EXPECT_STREQ(record->name, L"Rail3d");
    }
    EXPECT_TRUE(IsEqualGUID(*record->type, STYLETYPE_Mux3d)) << id;
    EXPECT_EQ(record->parentID, 0u) << id;
    librarian->FreeStyleRecord(&record);
  }
  EXPECT_EQ(LineData(librarian, first), std::make_tuple(13ul, 2.0, 0x0000FFul));
  EXPECT_EQ(LineData(librarian, first + 1), std::make_tuple(13ul, 1.0, 0x0000FFul));

  IUnknown* objects[4] = {};
  for (DWORD i = 0; i < 4; ++i) {
    ASSERT_EQ(librarian->GetStyle(first + i, &objects[i]), S_OK);
    objects[i]->Release();  // the library keeps them
  }
  const auto& log = host_app::Mux3dComponentCalls();
  ASSERT_EQ(log.sets.size(), 3u);
  const int slots[3] = {3, 7, 11};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(log.sets[i].multiplexer, IdentityOf(objects[3])) << i;
    EXPECT_EQ(log.sets[i].slot, slots[i]);
    EXPECT_EQ(log.sets[i].component, IdentityOf(objects[i])) << i;
  }
  ASSERT_EQ(log.copies.size(), 1u);
  const host_app::Mux3dAppearanceCopy& copy = log.copies[0];
  EXPECT_EQ(copy.appearance, IdentityOf(objects[2]));
  EXPECT_EQ(std::make_tuple(copy.header.version, copy.header.size, copy.header.reserved),
            std::make_tuple(1ul, BYTE{8}, 0ul));
  const Mux3dAppearanceA a{3, 0x0000FF, 1, 0xFFFF, 1.0f};
  EXPECT_EQ(std::memcmp(&copy.a, &a, sizeof a), 0);
  EXPECT_EQ(copy.b.kind, 0u);
  const float triples[4][3] = {{1, 0, 0}, {1, 1, 1}, {1, 0, 0}, {0, 0, 0}};
  for (int t = 0; t < 4; ++t) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(copy.b.triples[t][c], triples[t][c], 1e-6) << t << "," << c;
  }
  EXPECT_EQ(std::make_pair(copy.b.first, copy.b.second), std::make_pair(1.0f, 1.0f));

  // Handed out: the fourth entry, its object with one new reference; it has no other interface asked here.
  EXPECT_EQ(CreatedID(bench), first + 3);
  const ULONG refs = objects[3]->AddRef();
  objects[3]->Release();
  IUnknown* style = nullptr;
  ASSERT_EQ(CallSlot(Common(bench), kQueryStyle, &IID_IUnknown, reinterpret_cast<void**>(&style)), S_OK);
  EXPECT_EQ(style, IdentityOf(objects[3]));
  EXPECT_EQ(style->AddRef(), refs + 1);
  style->Release();
  style->Release();
  void* typed = nullptr;
  EXPECT_EQ(CallSlot(Common(bench), kQueryStyle, &IID_IJStyleSimpleLine, &typed), E_NOINTERFACE);
  EXPECT_TRUE(Reported(E_NOINTERFACE));
}

TEST_F(Mux3dWorkbenchTest, EachEntryIsMarkedBeforeItIsAddedAndRecolouringCallsNoLibrary) {
  RecordingLibrarian* librarian = Recording();
  IUnknown* bench = NewBench();
  ASSERT_NE(bench, nullptr);
  EXPECT_EQ(CallSlot(bench, kSetName, L"Rail3d"), S_OK);
  ASSERT_EQ(CallSlot(Common(bench), kCreateStyle, static_cast<IUnknown*>(librarian->Librarian())), S_OK);
  const std::vector<std::string> expected = {
      "FindStyleIDByName(Rail3d)", "MarkObjectModified", "AddStyle(0)", "GetStyle(1)",
      "MarkObjectModified",        "AddStyle(0)",        "GetStyle(2)", "MarkObjectModified",
      "AddStyle(0)",               "GetStyle(3)",        "MarkObjectModified", "AddStyle(0)", "GetStyle(4)"};
  EXPECT_EQ(librarian->Calls(), expected);
  EXPECT_EQ(librarian->At(4).name, L"Rail3d");
  EXPECT_EQ(LineData(librarian, 1), std::make_tuple(13ul, 2.0, 0xC0C0C0ul));  // the defaults
  EXPECT_EQ(LineData(librarian, 2), std::make_tuple(13ul, 1.0, 0x808080ul));

  // Afterwards a colour goes into the same objects, without a word to the library.
  const std::size_t calls = librarian->Calls().size();
  EXPECT_EQ(CallSlot(bench, kSetColour, COLORREF{0x00FF00}), S_OK);
  EXPECT_EQ(librarian->Calls().size(), calls);
  EXPECT_EQ(librarian->Count(), 4u);
  EXPECT_EQ(LineData(librarian, 1), std::make_tuple(13ul, 2.0, 0x00FF00ul));
  EXPECT_EQ(LineData(librarian, 2), std::make_tuple(13ul, 1.0, 0x00FF00ul));
  const auto& copies = host_app::Mux3dComponentCalls().copies;
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(copies[1].appearance, copies[0].appearance);
  EXPECT_EQ(copies[1].a.colour, 0x00FF00u);
  EXPECT_NEAR(copies[1].b.triples[0][1], 1.0, 1e-6);
  EXPECT_NEAR(copies[1].b.triples[0][0], 0.0, 1e-6);
  EXPECT_NEAR(copies[1].b.triples[1][2], 1.0, 1e-6);  // always white
}

TEST_F(Mux3dWorkbenchTest, AnExistingNameIsHandedOutAndNamelessBuildsAreNew) {
  IJSLLibrarian* librarian = library->librarian;
  IUnknown* builder = NewBench();
  ASSERT_NE(builder, nullptr);
  EXPECT_EQ(CallSlot(builder, kSetName, L"Rail3d"), S_OK);
  ASSERT_EQ(CallSlot(Common(builder), kCreateStyle, static_cast<IUnknown*>(librarian)), S_OK);
  const DWORD count = library->StyleCount();

  IUnknown* finder = NewBench();
  EXPECT_EQ(CallSlot(finder, kSetName, L"RAIL3D"), S_OK);
  EXPECT_EQ(CallSlot(Common(finder), kCreateStyle, static_cast<IUnknown*>(librarian)), kMux3dStyleExists);
  EXPECT_EQ(CreatedID(finder), CreatedID(builder));
  EXPECT_EQ(QueryUnknown(finder), QueryUnknown(builder));
  EXPECT_EQ(library->StyleCount(), count);
  EXPECT_EQ(host_app::Mux3dComponentCalls().sets.size(), 3u);

  // Without a name every build is a new multiplexer; the style held before is let go.
  IUnknown* nameless = NewBench();
  ASSERT_EQ(CallSlot(Common(nameless), kCreateStyle, static_cast<IUnknown*>(librarian)), S_OK);
  const DWORD firstID = CreatedID(nameless);
  IUnknown* firstStyle = QueryUnknown(nameless);
  const ULONG heldRefs = firstStyle->AddRef();
  ASSERT_EQ(CallSlot(Common(nameless), kCreateStyle, static_cast<IUnknown*>(librarian)), S_OK);
  EXPECT_EQ(firstStyle->Release(), heldRefs - 2);
  const DWORD secondID = CreatedID(nameless);
  EXPECT_NE(secondID, firstID);
  EXPECT_NE(QueryUnknown(nameless), firstStyle);
}

// A style found by name that is no 3D multiplexer: recolouring it fails and leaves it as it was.
TEST_F(Mux3dWorkbenchTest, RecolouringAStyleOfAnotherKindChangesNothing) {
  RecordingLibrarian* librarian = Recording();
  IJStyleSimpleLine* line = nullptr;
  ASSERT_EQ(CreateObject(library->server(), CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine,
                         reinterpret_cast<void**>(&line)),
            S_OK);
  line->SetColor(0x123456);
  const DWORD plain = librarian->Add(line, L"Plain");
  librarian->EntryOf(plain).type = STYLETYPE_Mux3d;
  line->Release();

  IUnknown* bench = NewBench();
  EXPECT_EQ(CallSlot(bench, kSetName, L"Plain"), S_OK);
  EXPECT_EQ(CallSlot(Common(bench), kCreateStyle, static_cast<IUnknown*>(librarian->Librarian())),
            kMux3dStyleExists);
  EXPECT_EQ(CallSlot(bench, kSetColour, COLORREF{0xFF}), E_NOINTERFACE);
  EXPECT_TRUE(Reported(E_NOINTERFACE));
  EXPECT_EQ(std::get<2>(LineData(librarian, plain)), 0x123456ul);
  EXPECT_TRUE(host_app::Mux3dComponentCalls().copies.empty());
}

// Each failure stops the build, reported; what was added before stays, and the workbench, which held a style
// from an earlier build, holds none.
TEST_F(Mux3dWorkbenchTest, AFailedBuildIsReportedAndLeavesNoStyleHeld) {
  enum class Break { AddFails, AddGivesNoID, NoAppearanceClass, NoMultiplexerClass };
  struct Case {
    Break cut;
    HRESULT answer;        // 0: whatever the platform answers for an unregistered class
    DWORD entriesAdded;    // by the failed build
  };
  const Case cases[] = {{Break::AddFails, E_FAIL, 0},
                        {Break::AddGivesNoID, E_FAIL, 0},
                        {Break::NoAppearanceClass, 0, 2},
                        {Break::NoMultiplexerClass, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.cut));
    RecordingLibrarian* librarian = RecordingLibrarian::Create();
    IUnknown* bench = NewBench();
    ASSERT_EQ(CallSlot(Common(bench), kCreateStyle, static_cast<IUnknown*>(librarian->Librarian())), S_OK);
    ASSERT_NE(CreatedID(bench), 0u);
    const DWORD count = librarian->Count();
    switch (c.cut) {
      case Break::AddFails: librarian->failures["AddStyle"] = E_OUTOFMEMORY; break;
      case Break::AddGivesNoID: librarian->addGivesNoID = true; break;
      case Break::NoAppearanceClass: CoRevokeClassObject(appearanceCookie), appearanceCookie = 0; break;
      case Break::NoMultiplexerClass: CoRevokeClassObject(styleCookie), styleCookie = 0; break;
    }
    stylesrv_test::ClearReports();
    const HRESULT hr = CallSlot(Common(bench), kCreateStyle, static_cast<IUnknown*>(librarian->Librarian()));
    EXPECT_TRUE(FAILED(hr));
    if (c.answer) {
      EXPECT_EQ(hr, c.answer);
    }
    EXPECT_TRUE(Reported(hr));
    EXPECT_EQ(librarian->Count(), count + c.entriesAdded);
    EXPECT_EQ(CreatedID(bench), 0u);
    void* untouched = librarian;
    EXPECT_EQ(CallSlot(Common(bench), kQueryStyle, &IID_IUnknown, &untouched), S_OK);
    EXPECT_EQ(untouched, librarian);
    librarian->Release();
    if (!appearanceCookie) {
      ASSERT_EQ(host_app::RegisterMux3dAppearanceClass(&appearanceCookie), S_OK);
    }
    if (!styleCookie) {
      ASSERT_EQ(host_app::RegisterMux3dStyleClass(&styleCookie), S_OK);
    }
  }
}

}  // namespace
