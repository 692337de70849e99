// The two-style multiplexer: the kind its second style decides, its record of document object IDs and the
// styles fetched from the document after a load, its copies, and changes of its styles in the owner library.
#include "display/style/stylesrv_itf.h"
#include "tests/lines/line_fixtures.h"

using ::testing::ElementsAre;
using stylesrv_test::IdentityOf;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

IJStyleSimpleMultiplexer* NewSimpleMux() {
  return NewStyle<IJStyleSimpleMultiplexer>(CLSID_JStyleSimpleMultiplexer, IID_IJStyleSimpleMultiplexer);
}

DWORD KindOf(IUnknown* style) {
  DWORD kind = 99;
  EXPECT_EQ(Query<IJStyleRender>(style, IID_IJStyleRender)->GetStyleKind(&kind), S_OK);
  return kind;
}

class SimpleMultiplexerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    mux = NewSimpleMux();
    first = EntryStyle::Create(STYLE_KIND_LINE, 0x11);
    second = EntryStyle::Create(STYLE_KIND_LINE, 0x22);
  }
  void TearDown() override {
    mux->Release();
    first->Release();
    second->Release();
  }

  // What a style draws of a segment with an unflagged record: the colours of its pens.
  static std::vector<DWORD> Drawn(IUnknown* style) {
    TestTarget target;
    TestGeometry geometry{{0, 0, 0, 4, 0, 0}};
    const RenderContextScales context = UnitScales();
    const tagStyleOverride record = EmptyRecord();
    EXPECT_EQ(Query<IJStyleRender>(style, IID_IJStyleRender)
                  ->RenderWithContext(&geometry.record, target.target(), &context, nullptr, &record, nullptr),
              S_OK);
    return PenColours(target);
  }

  IJStyleSimpleMultiplexer* mux = nullptr;
  EntryStyle* first = nullptr;
  EntryStyle* second = nullptr;
};

// The second style decides the kind, a fill making it 3 and anything else 2; the first never does. A missing or
// self style is refused; a slot without style answers S_OK and null.
TEST_F(SimpleMultiplexerTest, SecondStyleDecidesTheKind) {
  IUnknown* none = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(mux->GetFirstStyle(&none), S_OK);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(KindOf(mux), DWORD{STYLE_KIND_LINE});
  const struct {
    bool secondSlot;
    DWORD styleKind;
    DWORD kind;
  } steps[] = {{true, STYLE_KIND_FILL, 3}, {false, STYLE_KIND_LINE, 3}, {true, STYLE_KIND_LINE, 2},
               {false, STYLE_KIND_FILL, 2}, {true, STYLE_KIND_POINTS, 2}, {true, STYLE_KIND_FILL, 3}};
  for (const auto& step : steps) {
    StyleComPtr<IUnknown> style(EntryStyle::Create(step.styleKind)->Unknown());
    ASSERT_EQ(step.secondSlot ? mux->SetSecondStyle(style.Get()) : mux->SetFirstStyle(style.Get()), S_OK);
    EXPECT_EQ(KindOf(mux), step.kind);
  }
  EXPECT_EQ(mux->SetFirstStyle(nullptr), E_INVALIDARG);
  EXPECT_EQ(mux->SetSecondStyle(mux), E_INVALIDARG);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, kSimpleMuxSource, 330),
                                     IsReport(E_INVALIDARG, kSimpleMuxSource, 440)));
}

// The record carries the two styles' document object IDs after the render base's older record; a multiplexer
// loaded from it in the same document fetches both styles when it first draws, and stores the same record
// again before it has.
TEST_F(SimpleMultiplexerTest, RecordNamesBothStylesByDocumentObjectID) {
  IJDocumentNamedObjects* document = nullptr;
  ASSERT_EQ(HostDocumentCreate(&document), S_OK);
  DWORD id = 0;
  ASSERT_EQ(document->RegisterObject(mux, &id, nullptr), S_OK);
  EXPECT_TRUE(Drawn(mux).empty());
  ASSERT_EQ(mux->SetFirstStyle(first->Unknown()), S_OK);
  ASSERT_EQ(mux->SetSecondStyle(second->Unknown()), S_OK);
  TestArchive archive(ARCHIVE_STORING);
  ASSERT_EQ(Query<IJPersist>(mux, IID_IJPersist)->Store(archive.get()), S_OK);
  const std::vector<BYTE> record = archive.Bytes();
  ASSERT_EQ(record.size(), 16u);
  DWORD firstID = 0, secondID = 0;
  ASSERT_EQ(document->RegisterObject(first->Unknown(), &firstID, nullptr), S_OK);
  ASSERT_EQ(document->RegisterObject(second->Unknown(), &secondID, nullptr), S_OK);
  EXPECT_EQ(ReadAt<DWORD>(record, 8), firstID);
  EXPECT_EQ(ReadAt<DWORD>(record, 12), secondID);

  IJStyleSimpleMultiplexer* loaded = NewSimpleMux();
  ASSERT_EQ(document->RegisterObject(loaded, &id, nullptr), S_OK);
  archive.Reload();
  ASSERT_EQ(Query<IJPersist>(loaded, IID_IJPersist)->Load(archive.get()), S_OK);
  TestArchive again(ARCHIVE_STORING);
  ASSERT_EQ(Query<IJPersist>(loaded, IID_IJPersist)->Store(again.get()), S_OK);
  EXPECT_EQ(again.Bytes(), record);
  StyleComPtr<IUnknown> fetched;
  ASSERT_EQ(loaded->GetFirstStyle(fetched.Put()), S_OK);
  EXPECT_FALSE(fetched);
  EXPECT_EQ(Drawn(loaded), (std::vector<DWORD>{0x11, 0x22}));
  ASSERT_EQ(loaded->GetSecondStyle(fetched.Put()), S_OK);
  EXPECT_EQ(fetched.Get(), second->Unknown());

  fetched.Reset();
  loaded->Release();
  document->Release();
}

// A clone and a copy take both styles and their IDs and compare equal to the source; another second style
// makes them differ.
TEST_F(SimpleMultiplexerTest, CopiesTakeBothStyles) {
  ASSERT_EQ(mux->SetFirstStyle(first->Unknown()), S_OK);
  ASSERT_EQ(mux->SetSecondStyle(second->Unknown()), S_OK);
  StyleComPtr<IUnknown> clone;
  ASSERT_EQ(Query<IJPersist>(mux, IID_IJPersist)->Clone(nullptr, clone.Put()), S_OK);
  StyleComPtr<IJStyleSimpleMultiplexer> copy(NewSimpleMux());
  ASSERT_EQ(Query<IJManageStyle2>(copy.Get(), IID_IJManageStyle2)->CopyFrom(mux, 0), S_OK);
  for (IUnknown* made : {clone.Get(), static_cast<IUnknown*>(copy.Get())}) {
    BOOL same = FALSE;
    ASSERT_EQ(Query<IJManageStyle2>(made, IID_IJManageStyle2)->IsSameStyle(mux, &same), S_OK);
    EXPECT_TRUE(same);
    EXPECT_EQ(Drawn(made), (std::vector<DWORD>{0x11, 0x22}));
  }
  ASSERT_EQ(copy->SetSecondStyle(first->Unknown()), S_OK);
  BOOL same = TRUE;
  ASSERT_EQ(Query<IJManageStyle2>(copy.Get(), IID_IJManageStyle2)->IsSameStyle(mux, &same), S_OK);
  EXPECT_FALSE(same);
}

// A change the owner library announces names a style ID there: the held style the owner knows by that ID is
// replaced, whatever the document calls it.
TEST_F(SimpleMultiplexerTest, ChangedStyleIsFoundByItsIDInTheOwner) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  const DWORD firstID = library->Add(first->Unknown());
  library->Add(mux);
  ASSERT_EQ(mux->SetFirstStyle(first->Unknown()), S_OK);
  ASSERT_EQ(mux->SetSecondStyle(second->Unknown()), S_OK);
  StyleComPtr<IUnknown> replacement(EntryStyle::Create(STYLE_KIND_LINE, 0x33)->Unknown());
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(mux, IID_IJManageStyle2);
  const auto announce = [&](DWORD id) {
    return manage->OnStyleChanged(id, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(replacement.Get())));
  };
  EXPECT_EQ(announce(firstID + 5), S_FALSE);
  EXPECT_EQ(Drawn(mux), (std::vector<DWORD>{0x11, 0x22}));
  EXPECT_EQ(announce(firstID), S_OK);
  EXPECT_EQ(Drawn(mux), (std::vector<DWORD>{0x33, 0x22}));
  library->Release();
}

}  // namespace
