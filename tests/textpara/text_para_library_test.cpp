// The paragraph style in a style library: its character style referred to by ID with exact use counts, the
// library's character exception style for a paragraph that names none, and the character style carried along
// when the paragraph is copied or moved to another library.
#include "tests/styllib/library_fixtures.h"
#include "tests/textpara/para_fixtures.h"

#include <string>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::ClearReports;
using stylesrv_test::Reports;
using styllib_test::IdentityOf;

namespace {

// A library that the exported functions find from its own librarian, as a host's document lets them: the
// paragraph gets its exception style through them.
class TestLibrary : public styllib_test::TestLibrary {
 public:
  TestLibrary() { HostDocumentSetNamedObject(document, L"StyleLibrarian", librarian); }
};

// What the paragraph style itself reported. (Finding a library from its librarian reports on the way, for want
// of the workshop.)
std::vector<int> ParaReportLines() {
  std::vector<int> lines;
  for (const PellowReport& report : Reports()) {
    if (std::string(report.source) == kParaSource) lines.push_back(report.line);
  }
  return lines;
}

class TextParaLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearReports(); }

  // Adds a style to the library (which then holds it) under a name, or unnamed. Answers the ID.
  static DWORD Add(TestLibrary& library, IUnknown* style, const wchar_t* name, const GUID& type) {
    GUID typeCopy = type;
    StyleRecord record{const_cast<LPWSTR>(name), nullptr, IdentityOf(style), &typeCopy, 0, 0};
    DWORD id = 0;
    EXPECT_TRUE(SUCCEEDED(library->AddStyleNoCreate(&record, &id)));
    return id;
  }
  static DWORD AddChar(TestLibrary& library, const wchar_t* name, DWORD units = 11, DWORD colour = 0x00FF00) {
    StyleComPtr<IUnknown> text(NewCharStyle(units, colour));
    return Add(library, text.Get(), name, STYLETYPE_TextChar);
  }
  static DWORD CharID(IJStyleTextPara* para) {
    DWORD id = 0xDEAD;
    EXPECT_EQ(para->GetCharStyleID(&id), S_OK);
    return id;
  }
  static IUnknown* StyleOf(TestLibrary& library, DWORD id) {
    StyleComPtr<IUnknown> style;
    EXPECT_EQ(library->GetStyle(id, style.Put()), S_OK);
    return IdentityOf(style.Get());
  }
  static std::vector<DWORD> enumerated;
  static HRESULT WINAPI Enumerate(DWORD id) {
    enumerated.push_back(id);
    return S_OK;
  }
};

std::vector<DWORD> TextParaLibraryTest::enumerated;

// Every step moves exactly the uses it should: the exception style is taken once, a new ID takes a use from the
// old one (an unnamed style that loses its last use leaves the library), and releasing the references gives
// the last one back.
TEST_F(TextParaLibraryTest, CharacterStyleIDCarriesOneUseOfTheLibrary) {
  TestLibrary library;
  IJStyleTextPara* para = NewPara();
  ASSERT_EQ(para->SetParaUnits(12), S_OK);
  Add(library, para, L"Body", STYLETYPE_TextPara);
  const DWORD styles = library.StyleCount();

  const TextParaData d = ReadPara(para);
  const DWORD exception = CharID(para);
  ASSERT_NE(exception, 0u);
  EXPECT_EQ(IdentityOf(d.charStyle), StyleOf(library, exception));
  EXPECT_EQ(library.UseCount(exception), 1u);
  EXPECT_EQ(library.StyleCount(), styles + 1);
  DWORD units = 0;
  EXPECT_EQ(Query<IJStyleTextChar>(d.charStyle, IID_IJStyleTextChar)->GetUnits(&units), S_OK);
  EXPECT_EQ(units, 12u);  // in the paragraph's units
  ReadPara(para);
  EXPECT_EQ(CharID(para), exception);
  EXPECT_EQ(library.UseCount(exception), 1u);

  // The record handed back in keeps the one unnamed style, whose use never drops to nothing meanwhile.
  ASSERT_EQ(para->SetParaData(&d, 1), S_OK);
  EXPECT_EQ(CharID(para), exception);
  EXPECT_EQ(library.UseCount(exception), 1u);
  EXPECT_EQ(library.StyleCount(), styles + 1);

  const DWORD heading = AddChar(library, L"Heading");
  ASSERT_EQ(para->SetCharStyleID(heading), S_OK);
  EXPECT_EQ(library.UseCount(heading), 1u);
  EXPECT_EQ(library.StyleCount(), styles + 1);  // the exception style went with its last use
  EXPECT_EQ(IdentityOf(ReadPara(para).charStyle), StyleOf(library, heading));

  // An ID the library does not hold is refused and changes nothing.
  ClearReports();
  EXPECT_TRUE(FAILED(para->SetCharStyleID(heading + 40)));
  EXPECT_FALSE(Reports().empty());
  EXPECT_EQ(CharID(para), heading);
  EXPECT_EQ(library.UseCount(heading), 1u);

  // The paragraph's units follow the character style's, once.
  EXPECT_EQ(para->SyncUnitsFromCharStyle(), E_FAIL);
  DWORD paraUnits = 0;
  EXPECT_EQ(para->GetParaUnits(&paraUnits), S_OK);
  EXPECT_EQ(paraUnits, 11u);
  EXPECT_EQ(para->SyncUnitsFromCharStyle(), S_OK);

  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(para, IID_IJManageStyle2);
  enumerated.clear();
  ASSERT_EQ(manage->EnumStyleRefs(&Enumerate), S_OK);
  EXPECT_THAT(enumerated, ElementsAre(heading));
  ASSERT_EQ(manage->ReleaseStyleRefs(0), S_OK);
  EXPECT_EQ(library.UseCount(heading), 0u);
  EXPECT_EQ(CharID(para), 0u);
  para->Release();

  // Without a library there is no character style to fall back on, and nothing to report.
  IJStyleTextPara* loose = NewPara();
  ClearReports();
  IUnknown* none = nullptr;
  EXPECT_EQ(loose->GetCharStyle(&none), kNoCharStyle);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(loose->SyncUnitsFromCharStyle(), kNoCharStyle);
  EXPECT_THAT(Reports(), IsEmpty());
  EXPECT_EQ(loose->SetCharStyleID(3), E_FAIL);
  EXPECT_EQ(CharID(loose), 0u);
  loose->Release();
}

// A copy into another library brings its character style along once, found there by name or copied in, and
// refers to it by the ID it has there; a paragraph given to another owner moves its use along.
TEST_F(TextParaLibraryTest, CopiedOrMovedParagraphTakesItsCharacterStyleAlong) {
  TestLibrary source;
  TestLibrary target;
  target.AddLine(L"Filler");  // the copies' IDs must differ from the source's
  const DWORD heading = AddChar(source, L"Heading");
  IJStyleTextPara* named = NewPara();
  IJStyleTextPara* plain = NewPara();
  IJStyleTextPara* other = NewPara();
  Add(source, named, L"Body", STYLETYPE_TextPara);
  Add(source, plain, L"Plain", STYLETYPE_TextPara);
  Add(source, other, L"Other", STYLETYPE_TextPara);
  ASSERT_EQ(named->SetCharStyleID(heading), S_OK);
  ASSERT_EQ(other->SetCharStyleID(heading), S_OK);
  ReadPara(plain);  // takes the exception style
  const DWORD exception = CharID(plain);
  const DWORD before = target.StyleCount();

  for (IJStyleTextPara* para : {named, plain, other}) {
    DWORD copyID = 0;
    ASSERT_EQ(Query<IJManageStyle2>(para, IID_IJManageStyle2)
                  ->CopyStyleToLibrary(source.librarian, target.librarian, target.document, &copyID),
              S_OK);
    StyleComPtr<IUnknown> copy;
    ASSERT_EQ(target->GetStyle(copyID, copy.Put()), S_OK);
    StyleComPtr<IJStyleTextPara> copied = Query<IJStyleTextPara>(copy.Get(), IID_IJStyleTextPara);
    const DWORD there = CharID(copied.Get());
    EXPECT_EQ(IdentityOf(ReadPara(copied.Get()).charStyle), StyleOf(target, there));
  }
  const GUID textChar = STYLETYPE_TextChar;
  DWORD headingThere = 0;
  ASSERT_EQ(target->FindStyleIDByName(L"Heading", &textChar, &headingThere), S_OK);
  // Three paragraphs and two character styles: the named one came once for both that use it.
  EXPECT_EQ(target.StyleCount(), before + 5);
  EXPECT_EQ(target.UseCount(headingThere), 2u);
  EXPECT_EQ(source.UseCount(heading), 2u);
  EXPECT_EQ(source.UseCount(exception), 1u);

  // Moved to the other library and then out of any.
  IJStyleTextPara* loose = NewPara();
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(loose, IID_IJManageStyle2);
  ASSERT_EQ(manage->SetLibrarian(source.librarian), S_OK);
  ASSERT_EQ(loose->SetCharStyleID(heading), S_OK);
  EXPECT_EQ(source.UseCount(heading), 3u);
  const DWORD usesThere = target.UseCount(headingThere);
  ASSERT_EQ(manage->SetLibrarian(target.librarian), S_OK);
  EXPECT_EQ(source.UseCount(heading), 2u);
  EXPECT_EQ(CharID(loose), headingThere);
  EXPECT_EQ(target.UseCount(headingThere), usesThere + 1);
  ASSERT_EQ(manage->SetLibrarian(nullptr), S_OK);
  EXPECT_EQ(target.UseCount(headingThere), usesThere);
  EXPECT_EQ(IdentityOf(ReadPara(loose).charStyle), StyleOf(target, headingThere));
  loose->Release();
  for (IJStyleTextPara* para : {named, plain, other}) para->Release();
  EXPECT_THAT(ParaReportLines(), IsEmpty());
}

// In one library the character styles are the same by ID; across libraries they are compared as styles.
TEST_F(TextParaLibraryTest, CharacterStylesCompareByIDInOneLibraryAndAsStylesAcross) {
  TestLibrary first;
  TestLibrary second;
  const DWORD red = AddChar(first, nullptr, 11, 0x0000FF);
  const DWORD redThere = AddChar(second, nullptr, 11, 0x0000FF);
  const DWORD blueThere = AddChar(second, nullptr, 11, 0xFF0000);
  const auto paraIn = [](TestLibrary& library, DWORD charID) {
    IJStyleTextPara* para = NewPara();
    EXPECT_EQ(Query<IJManageStyle2>(para, IID_IJManageStyle2)->SetLibrarian(library.librarian), S_OK);
    EXPECT_EQ(para->SetCharStyleID(charID), S_OK);
    return para;
  };
  IJStyleTextPara* a = paraIn(first, red);
  IJStyleTextPara* b = paraIn(first, red);
  IJStyleTextPara* c = paraIn(second, redThere);
  IJStyleTextPara* d = paraIn(second, blueThere);
  const auto same = [](IJStyleTextPara* x, IJStyleTextPara* y) {
    BOOL answer = 2;
    EXPECT_EQ(Query<IJManageStyle2>(x, IID_IJManageStyle2)->IsSameStyle(y, &answer), S_OK);
    return answer;
  };
  EXPECT_TRUE(same(a, b));
  EXPECT_TRUE(same(a, c));
  EXPECT_FALSE(same(a, d));
  EXPECT_FALSE(same(d, c));
  for (IJStyleTextPara* para : {a, b, c, d}) {
    Query<IJManageStyle2>(para, IID_IJManageStyle2)->ReleaseStyleRefs(0);
    para->Release();
  }
}

// When the library replaces the character style, the paragraph uses the new one: held as an object, the new
// object itself; held by ID, the style of the ID fetched again.
TEST_F(TextParaLibraryTest, ReplacedCharacterStyleIsTheOneUsed) {
  for (BYTE mode : {BYTE{0}, BYTE{1}}) {
    TestLibrary library;
    const DWORD heading = AddChar(library, L"Heading");
    IJStyleTextPara* para = NewPara();
    Add(library, para, L"Body", STYLETYPE_TextPara);
    TextParaData d = ReadPara(para);
    d.unitsCode = 11;
    d.charStyleMode = mode;
    ASSERT_EQ(para->SetParaData(&d, 1), S_OK);
    ASSERT_EQ(para->SetCharStyleID(heading), S_OK);
    StyleComPtr<IUnknown> replacement(NewCharStyle(13));
    ASSERT_EQ(library->ReplaceStyle(heading, replacement.Get()), S_OK);
    IUnknown* now = nullptr;
    ASSERT_EQ(para->GetCharStyle(&now), S_OK);
    EXPECT_EQ(IdentityOf(now), IdentityOf(replacement.Get())) << int{mode};
    now->Release();
    para->Release();
  }
}

}  // namespace
