// The text-style exports: refusals, finding and activating paragraph styles, and the unnamed children that
// carry a text element's own values.
#include "display/style/stylspt/StyleExportHelpers.h"
#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using ::testing::ElementsAreArray;

constexpr char kText[] = "TEXTSPT";
constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);

std::wstring NameOf(const Drawing& drawing, DWORD id) {
  WCHAR buffer[32] = {};
  DWORD length = 32;
  return SUCCEEDED(drawing->GetStyleName(id, buffer, &length)) ? buffer : L"<none>";
}

// Null pointers, an unknown name, a style the library does not hold, and a document without a library: each
// call answers its code, reported once under the text source, hands out nothing and adds nothing.
TEST_F(StyleExportsTest, TextExportsRefuseWhatTheyCannotUse) {
  Drawing drawing;
  StyleComPtr<IUnknown> body = drawing.Style<IUnknown>(
      drawing.Create(CLSID_JStyleTextPara, L"Body", STYLETYPE_TextPara), IID_IUnknown);
  StyleComPtr<IUnknown> loose;
  ASSERT_EQ(HCreateRawStyleTextChar(loose.Put()), S_OK);
  IJDocumentNamedObjects* bare = nullptr;
  ASSERT_EQ(HostDocumentCreate(&bare), S_OK);
  IUnknown *D = drawing.D(), *B = body.Get(), *L = loose.Get(), *out = nullptr;
  const DWORD count = drawing.StyleCount();
  const LONG live = Live();
  stylesrv_test::ClearReports();

  constexpr HRESULT X = E_INVALIDARG;
  const struct {
    const char* what;
    HRESULT hr, expected;
  } calls[] = {
      {"HGetTextStyle document first", HGetTextStyle(nullptr, nullptr, &out), X},
      {"HGetTextStyle name", HGetTextStyle(D, nullptr, &out), X},
      {"HGetTextStyle out", HGetTextStyle(D, L"Body", nullptr), X},
      {"HGetTextStyle unknown name", HGetTextStyle(D, L"Missing", &out), kNameUnknown},
      {"HGetActiveTextStyle out", HGetActiveTextStyle(D, nullptr), X},
      {"HSetActiveTextStyle style", HSetActiveTextStyle(D, nullptr), X},
      {"HCreateRawStyleTextPara", HCreateRawStyleTextPara(nullptr), X},
      {"HGetParaOverride out", HGetParaOverride(D, nullptr), X},
      {"HAddParaToLibrary style", HAddParaToLibrary(&out, D, B, nullptr), X},
      {"HAddCharToLibrary parent", HAddCharToLibrary(&out, D, nullptr, L), X},
      {"HGetCharOverride out", HGetCharOverride(D, B, nullptr), X},
      {"HGetCharOverride base", HGetCharOverride(D, nullptr, &out), X},
      {"HGetCharOverride foreign base", HGetCharOverride(D, L, &out), E_FAIL},
      {"HSetActiveTextStyle foreign", HSetActiveTextStyle(D, L), E_FAIL},
      {"no library: HGetTextStyle", HGetTextStyle(bare, L"Body", &out), E_FAIL},
      {"no library: HGetActiveTextStyle", HGetActiveTextStyle(bare, &out), E_FAIL},
      {"no library: HAddParaToLibrary", HAddParaToLibrary(&out, bare, B, L), E_FAIL},
  };
  std::vector<HRESULT> answers;
  for (const auto& call : calls) {
    EXPECT_EQ(call.hr, call.expected) << call.what;
    answers.push_back(call.expected);
  }
  EXPECT_THAT(ReportedBy(kText), ElementsAreArray(answers));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(drawing.StyleCount(), count);
  EXPECT_EQ(Live(), live);
  DWORD active = 0;
  EXPECT_EQ(drawing->GetActiveStyleID(&STYLETYPE_TextPara, &active, 0), S_OK);
  EXPECT_EQ(active, 0u);
  bare->Release();
}

// A library without paragraph styles makes its default, which refers to a character style; asked again, the
// library answers it.
TEST_F(StyleExportsTest, TheActiveParagraphStyleIsMadeWhenTheLibraryHasNone) {
  Drawing drawing;
  StyleComPtr<IUnknown> active, chars;
  ASSERT_EQ(HGetActiveTextStyle(drawing.D(), active.Put()), S_OK);
  DWORD id = 0;
  EXPECT_EQ(drawing->GetActiveStyleID(&STYLETYPE_TextPara, &id, 1), S_OK);
  EXPECT_EQ(IdentityOf(active.Get()), drawing.Style<IUnknown>(id, IID_IUnknown).Get());
  StyleComPtr<IJStyleTextPara> para;
  ASSERT_EQ(stylspt::Ask(active.Get(), IID_IJStyleTextPara, para), S_OK);
  EXPECT_EQ(para->GetCharStyle(chars.Put()), S_OK);
  EXPECT_TRUE(chars);
}

// The paragraph override is a fresh object no library lists; the character override and the added children
// enter the library unnamed under their parent (one of another library is brought in by name) and go by its
// name.
TEST_F(StyleExportsTest, TextChildrenAreUnnamedUnderTheirParent) {
  Drawing drawing, other;
  auto styleOf = [](const Drawing& d, DWORD id) { return d.Style<IUnknown>(id, IID_IUnknown); };
  auto body = styleOf(drawing, drawing.Create(CLSID_JStyleTextPara, L"Body", STYLETYPE_TextPara));
  auto serif = styleOf(drawing, drawing.Create(CLSID_JStyleTextChar, L"Serif", STYLETYPE_TextChar));
  auto sans = styleOf(drawing, drawing.Create(CLSID_JStyleTextChar, L"Sans", STYLETYPE_TextChar));
  auto heading = styleOf(other, other.Create(CLSID_JStyleTextPara, L"Heading", STYLETYPE_TextPara));
  StyleComPtr<IUnknown> para, para2, chars, added[4];
  ASSERT_EQ(HGetParaOverride(drawing.D(), para.Put()), S_OK);
  ASSERT_EQ(HGetParaOverride(drawing.D(), para2.Put()), S_OK);
  ASSERT_EQ(HCreateRawStyleTextChar(chars.Put()), S_OK);
  EXPECT_TRUE(stylspt::Answers(para.Get(), IID_IJStyleTextPara));
  DWORD id = 0;
  EXPECT_EQ(drawing->FindStyleID(para.Get(), &id), E_FAIL);

  ASSERT_EQ(HGetCharOverride(drawing.D(), serif.Get(), added[0].Put()), S_OK);
  ASSERT_EQ(HAddCharToLibrary(added[1].Put(), drawing.D(), sans.Get(), chars.Get()), S_OK);
  ASSERT_EQ(HAddParaToLibrary(added[2].Put(), drawing.D(), body.Get(), para.Get()), S_OK);
  ASSERT_EQ(HAddParaToLibrary(added[3].Put(), drawing.D(), heading.Get(), para2.Get()), S_OK);
  const wchar_t* parents[] = {L"Serif", L"Sans", L"Body", L"Heading"};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(drawing->FindStyleID(added[i].Get(), &id), S_OK);
    DWORD parent = 0;
    ASSERT_EQ(drawing->GetParentID(id, &parent), S_OK);
    EXPECT_EQ(NameOf(drawing, parent), parents[i]);
    EXPECT_EQ(NameOf(drawing, id), parents[i]);  // an unnamed entry goes by its parent's name
  }
}

}  // namespace
}  // namespace stylspt_test
