// The exported utilities: style names that can name a style, clashes of style-library files, names of special
// colours, and the exception styles and imported-line default that a library is given.
#include <cstring>
#include <string>

#include "host/app/dimension_style.h"
#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using ::testing::ElementsAre;

TEST_F(StyleExportsTest, ANameNamesAStyleWhenItsTrimmedTextFitsAndHoldsNoReservedCharacter) {
  const auto validate = server.internals().ValidateStyleName;
  ASSERT_NE(validate, nullptr);
  const std::wstring longest(253, L'x');
  const struct {
    std::wstring name;
    DWORD valid;
  } rows[] = {
      {L" \t abc \r\n", 1},   {L"x", 1},          {longest, 1},     {L"  " + longest + L"\t", 1},
      {longest + L"x", 0},    {L"", 0},           {L" \t\r\n ", 0}, {L"a;b", 0},
      {L"back\\slash", 0},    {L"{brace", 0},     {L"brace}", 0},   {L"in ner", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.name));
    DWORD valid = 7;
    EXPECT_EQ(validate(row.name.c_str(), &valid), S_OK);
    EXPECT_EQ(valid, row.valid);
  }
  // A name in read-only memory is read, not written.
  DWORD valid = 7;
  EXPECT_EQ(validate(L"Centre line", &valid), S_OK);
  EXPECT_EQ(valid, 1u);
  stylesrv_test::ClearReports();
  valid = 7;
  EXPECT_EQ(validate(nullptr, &valid), E_INVALIDARG);
  EXPECT_EQ(valid, 0u);
  EXPECT_EQ(validate(L"x", nullptr), E_INVALIDARG);
  EXPECT_THAT(ReportedBy("USTYLSPT"), ElementsAre(E_INVALIDARG, E_INVALIDARG));
}

TEST_F(StyleExportsTest, AStyleFileClashesWithAListedPathOrFileName) {
  IJStyleResourceList* list = nullptr;
  ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JStyleResource, IID_IJStyleResourceList,
                                       reinterpret_cast<void**>(&list)),
            S_OK);
  EXPECT_EQ(HStyleResource_PotentialConflicts(list, L"C:\\Styles\\Lines.sty"), 0u);  // nothing listed
  ASSERT_EQ(list->Add(L"C:\\Styles\\Lines.sty"), S_OK);
  ASSERT_EQ(list->Add(L"Plain.sty"), S_OK);
  const struct {
    const wchar_t* path;
    DWORD answer;
  } rows[] = {
      {L"c:\\styles\\LINES.STY", 1}, {L"D:\\Other\\lines.Sty", 2}, {L"lines.sty", 2},  {L"C:\\Styles\\plain.sty", 2},
      {L"PLAIN.STY", 1},             {L"C:\\Styles\\Dashes.sty", 0}, {L"C:\\Styles", 0}, {L"", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(row.path)));
    EXPECT_EQ(HStyleResource_PotentialConflicts(list, row.path), row.answer);
  }
  list->Release();
}

TEST_F(StyleExportsTest, ASpecialColourIsNamedFromTheResourceModuleAndAnyOtherIsCustom) {
  HMODULE resources = LoadLibraryExA("Tellury.drx", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(resources, nullptr);
  const struct {
    LONG colour;
    const wchar_t* name;
  } rows[] = {
      {0x0000FF, L"Red"},        {0xFF0000, L"Blue"},       {0x808080, L"Grey"}, {0x949494, L"Medium Grey"},
      {0x000080, L"Dark Red"},   {-1, L"Automatic"},        {0x0000FE, L"Custom"}, {0x01000000, L"Custom"},
  };
  for (const auto& row : rows) {
    GUserText name;
    EXPECT_EQ(HGetNameFromColorRef(resources, row.colour, &name), S_OK);
    EXPECT_STREQ(name.Wide(), row.name) << std::hex << row.colour;
  }
  FreeLibrary(resources);
}

TEST_F(StyleExportsTest, TheDimensionExceptionStyleGetsTheDefaultRecordWithTheExceptionChanges) {
  DWORD cookie = 0;
  ASSERT_EQ(HostDimensionStyle::Register(&cookie), S_OK);
  const DWORD colour = server.SetExceptionColor(0x00123456);
  {
    Drawing drawing;
    DWORD id = 0;
    StyleComPtr<IUnknown> style;
    ASSERT_EQ(HGetDimExceptionStyle(&id, style.Put(), drawing.D()), S_OK);
    EXPECT_NE(id, 0u);
    const HostDimensionStyle* dimension = HostDimensionStyle::From(style.Get());
    ASSERT_NE(dimension, nullptr);
    const std::vector<BYTE>& record = dimension->Record();
    ASSERT_EQ(record.size(), 1321u);
    auto byteAt = [&](size_t at) { return record[at]; };
    auto doubleAt = [&](size_t at) {
      double value;
      std::memcpy(&value, &record[at], sizeof value);
      return value;
    };
    auto wordAt = [&](size_t at) {
      DWORD value;
      std::memcpy(&value, &record[at], sizeof value);
      return value;
    };
    auto textAt = [&](size_t at) { return std::wstring(reinterpret_cast<const wchar_t*>(&record[at])); };
    // The exception changes ...
    const std::pair<size_t, BYTE> changed[] = {{3, 1},   {8, 5},   {11, 5},  {13, 0},  {14, 1},  {100, 3},
                                               {103, 4}, {105, 1}, {106, 0}, {497, 1}, {498, 2}, {505, 1},
                                               {593, 0}, {866, 7}, {888, 1}, {1297, 2}, {1298, 2}};
    for (const auto& [at, value] : changed) EXPECT_EQ(byteAt(at), value) << "byte " << at;
    EXPECT_EQ(doubleAt(200), 0.003175);
    EXPECT_EQ(doubleAt(224), 0.8);
    EXPECT_EQ(doubleAt(552), 0.5);
    for (size_t at : {892u, 896u, 900u}) EXPECT_EQ(wordAt(at), 0x00123456u) << "word " << at;
    // ... on top of defaults that stay, next to them and elsewhere.
    const std::pair<size_t, BYTE> kept[] = {{2, 1}, {4, 12}, {9, 3}, {12, 1}, {15, 0}, {101, 3}, {104, 1},
                                            {496, 1}, {499, 2}, {504, 7}, {592, 0}, {864, 1}, {1296, 0},
                                            {1299, 1}, {1320, 0}};
    for (const auto& [at, value] : kept) EXPECT_EQ(byteAt(at), value) << "byte " << at;
    EXPECT_EQ(doubleAt(208), 1.0);
    EXPECT_EQ(doubleAt(544), 0.00035);
    EXPECT_EQ(doubleAt(560), 0.5);
    EXPECT_EQ(textAt(240), L"Arial");
    EXPECT_EQ(textAt(598), L"continuous");
    EXPECT_EQ(textAt(1040), L"Chain");

    // The library hands out the same unnamed style when asked again.
    DWORD again = 0;
    EXPECT_EQ(HGetDimExceptionStyle(&again, nullptr, drawing.D()), 0x40222);
    EXPECT_EQ(again, id);
  }
  server.SetExceptionColor(colour);
  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(HostDimensionStyle::LiveCount(), 0);
}

TEST_F(StyleExportsTest, TheLineAndFillExceptionStylesAndTheImportedLineDefaultComeFromTheLibrary) {
  Drawing drawing;
  for (const auto exception : {&HGetLinearExceptionStyle, &HGetFillExceptionStyle}) {
    DWORD id = 0;
    EXPECT_EQ(exception(&id, nullptr, drawing.librarian), S_OK);
    ASSERT_NE(id, 0u);
    DWORD again = 0;
    StyleComPtr<IUnknown> style;
    EXPECT_EQ(exception(&again, style.Put(), drawing.librarian), S_OK);
    EXPECT_EQ(again, id);
    EXPECT_EQ(IdentityOf(style.Get()), IdentityOf(drawing.Style<IUnknown>(id, IID_IUnknown).Get()));
  }

  DWORD imported = 0;
  ASSERT_EQ(HGetDefaultUSTNLineStyle(drawing.librarian, &imported), S_OK);
  auto line = drawing.Style<IJStyleSimpleLine>(imported, IID_IJStyleSimpleLine);
  ASSERT_TRUE(line);
  tagStyleSimpleLineData data{};
  ASSERT_EQ(line->GetData(&data), S_OK);
  EXPECT_EQ(data.colour, 0u);
  EXPECT_EQ(data.width, 0.00035);
  EXPECT_EQ(data.unitsCode, 11u);
  EXPECT_EQ(data.styleFlags & 0x1, 0x1u);
  WCHAR name[8] = {};
  DWORD length = 8;
  EXPECT_EQ(drawing->GetStyleName(imported, name, &length), 0x40223);  // unnamed
  EXPECT_EQ(drawing.UseCount(imported), 0u);
}

// The text exception style: the exception colour, a fixed height and font in the caller's units, added
// unnamed; units no text style takes are refused before anything is added.
TEST_F(StyleExportsTest, TheTextExceptionStyleIsAddedInTheCallersUnits) {
  Drawing drawing;
  const DWORD count = drawing.StyleCount();
  const DWORD colour = server.SetExceptionColor(0x00654321);
  DWORD id = 0;
  StyleComPtr<IUnknown> style;
  EXPECT_TRUE(FAILED(HGetCharExceptionStyle(&id, style.Put(), 7, drawing.librarian)));
  EXPECT_EQ(style.Get(), nullptr);
  EXPECT_EQ(drawing.StyleCount(), count);

  ASSERT_EQ(HGetCharExceptionStyle(&id, style.Put(), 12, drawing.librarian), S_OK);
  server.SetExceptionColor(colour);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(drawing.StyleCount(), count + 1);
  StyleComPtr<IJStyleTextChar> text;
  ASSERT_EQ(style->QueryInterface(IID_IJStyleTextChar, text.PutVoid()), S_OK);
  DWORD value = 0;
  EXPECT_EQ(text->GetColor(&value), S_OK);
  EXPECT_EQ(value, 0x00654321u);
  EXPECT_EQ(text->GetUnits(&value), S_OK);
  EXPECT_EQ(value, 12u);
  double size = 0;
  DWORD sizeUnits = 11;
  EXPECT_EQ(text->GetSize(&size, &sizeUnits), S_OK);
  EXPECT_DOUBLE_EQ(size, 0.003175);
  WCHAR font[256] = {};
  EXPECT_EQ(text->GetFontName(font), S_OK);
  EXPECT_STREQ(font, L"Arial");
}

}  // namespace
}  // namespace stylspt_test
