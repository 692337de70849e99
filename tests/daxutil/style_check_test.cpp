// The style reference-count checker on documents whose elements and styles hold references the library counts
// right or wrong: what each level repairs, what the log says byte for byte, and the library's own check.
#include <direct.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/daxutil/daxutil_fixtures.h"

namespace daxutil_test {
namespace {

using ::testing::EndsWith;
using ::testing::StartsWith;

constexpr char kSwitch[] = "VERIFY_STYLE_REF_CNT";
constexpr char kLogFolder[] = "style_check_logs";

class StyleCheckTest : public DocumentServicesTest {
 protected:
  void SetUp() override {
    DocumentServicesTest::SetUp();
    _mkdir(kLogFolder);
    char folder[MAX_PATH];
    GetFullPathNameA(kLogFolder, MAX_PATH, folder, nullptr);
    logPath = std::string(folder) + "\\StyleCheck.log";
    DeleteFileA(logPath.c_str());
    GetEnvironmentVariableA("temp", savedTemp, MAX_PATH);
    SetEnvironmentVariableA("temp", folder);
  }
  void TearDown() override {
    SetSwitch(-1);
    SetEnvironmentVariableA("temp", savedTemp);
    DeleteFileA(logPath.c_str());
    DocumentServicesTest::TearDown();
  }

  // The host's debug entry; -1 removes it.
  static void SetSwitch(int value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, PELLOW_DEBUG_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    if (value < 0) {
      RegDeleteValueA(key, kSwitch);
    } else {
      const DWORD data = static_cast<DWORD>(value);
      RegSetValueExA(key, kSwitch, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    }
    RegCloseKey(key);
  }

  bool LogExists() const { return GetFileAttributesA(logPath.c_str()) != INVALID_FILE_ATTRIBUTES; }
  std::string Log() const {
    std::ifstream in(logPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::string logPath;
  char savedTemp[MAX_PATH] = {};
};

// A drawing: a library kept by its document as "StyleLibrarian", and elements that hold style IDs.
struct Drawing : TestLibrary {
  Drawing() { HostDocumentSetNamedObject(document, L"StyleLibrarian", librarian); }
  // An element of the document keeping `id`, counted as the exports count it unless said otherwise.
  void Element(DWORD id, bool counted = true) {
    HostStyledElement::Create(document, id)->Release();  // the document holds it
    if (counted) librarian->AddRefStyleID(id);
  }
  void AddUses(DWORD id, DWORD n) {
    for (DWORD i = 0; i < n; ++i) librarian->AddRefStyleID(id);
  }
  // The use count, or "gone" as 0xDEAD when the library no longer holds the ID.
  DWORD Uses(DWORD id) const {
    DWORD n = 0;
    return librarian->GetUseCount(id, &n) == S_OK ? n : 0xDEAD;
  }
};

constexpr DWORD kGone = 0xDEAD;

TEST_F(StyleCheckTest, EachLevelRepairsWhatItShouldAndNoMore) {
  struct Row {
    const char* what;
    int switchValue;  // -1: unset
    DWORD level;
    bool named;
    DWORD elements;  // counted elements holding the style
    DWORD extraUses;  // uses the library counts beyond them (an uncounted element when ~0u)
    DWORD usesAfter;
  };
  const DWORD kUncounted = ~0u;
  const Row rows[] = {
      {"switch unset, level 2 asked", -1, 2, false, 0, 0, 0},
      {"switch 0 asks nothing", 0, 0, false, 0, 0, 0},
      {"a level above 3 does nothing", 2, 4, false, 0, 0, 0},
      {"unused unnamed, no use, level 2: removed", 1, 2, false, 0, 0, kGone},
      {"unused unnamed, no use, level 1: reported only", 1, 1, false, 0, 0, 0},
      {"the switch's level when none is asked", 2, 0, false, 0, 0, kGone},
      {"unused unnamed, 3 uses, level 2: reported only", 1, 2, false, 0, 3, 3},
      {"unused unnamed, 3 uses, level 3: released", 1, 3, false, 0, 3, kGone},
      {"unused named, 2 uses, level 2: kept", 1, 2, true, 0, 2, 2},
      {"unused named, 2 uses, level 3: released", 1, 3, true, 0, 2, 0},
      {"count too low, level 1", 1, 1, true, 1, kUncounted, 1},
      {"count too low, level 2: raised", 1, 2, true, 1, kUncounted, 2},
      {"count too high, level 2", 1, 2, true, 2, 1, 3},
      {"count too high, level 3: lowered", 1, 3, true, 2, 1, 2},
      {"right count", 1, 3, true, 2, 0, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SetSwitch(row.switchValue);
    Drawing drawing;
    const DWORD id = drawing.AddLine(row.named ? L"Centre" : nullptr);
    ASSERT_NE(id, 0u);
    for (DWORD i = 0; i < row.elements; ++i) drawing.Element(id);
    if (row.extraUses == kUncounted) {
      drawing.Element(id, false);
    } else {
      drawing.AddUses(id, row.extraUses);
    }
    EXPECT_EQ(services->StyleCheck(drawing.document, row.level, FALSE), S_OK);
    EXPECT_EQ(drawing.Uses(id), row.usesAfter);
  }
}

// Released with the override that nobody uses, its references come off what the dash type and the line it is
// built on are counted: the dash type, compared after it, is counted once (its element) and left alone.
TEST_F(StyleCheckTest, AReleasedOverrideNoLongerCountsForTheStylesItUses) {
  SetSwitch(1);
  Drawing drawing;
  const DWORD line = drawing.AddLine(L"Base");
  StyleComPtr<IJStyleOverride> override;
  StyleComPtr<IJStyleSimpleDashType> dash;
  ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JStyleOverride, IID_IJStyleOverride, override.PutVoid()), S_OK);
  ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType, dash.PutVoid()),
            S_OK);
  GUID linear = STYLETYPE_Linear, dashType = STYLETYPE_Dash;
  StyleRecord overrideRecord{nullptr, nullptr, override.Get(), &linear, 0, 0};
  StyleRecord dashRecord{nullptr, nullptr, dash.Get(), &dashType, 0, 0};
  DWORD overrideID = 0, dashID = 0;
  ASSERT_EQ(drawing->AddStyleNoCreate(&overrideRecord, &overrideID), S_OK);
  ASSERT_EQ(drawing->AddStyleNoCreate(&dashRecord, &dashID), S_OK);
  ASSERT_LT(overrideID, dashID);
  StyleComPtr<IJStyleSetup2d> setup;
  ASSERT_EQ(override->QueryInterface(IID_IJStyleSetup2d, setup.PutVoid()), S_OK);
  ASSERT_EQ(setup->SetReferencedStyleID(line), S_OK);
  ASSERT_EQ(override->SetDashType(dash.Get()), S_OK);
  drawing.Element(dashID);
  ASSERT_EQ(drawing.Uses(dashID), 2u);

  EXPECT_EQ(services->StyleCheck(drawing.document, 3, TRUE), S_OK);
  EXPECT_EQ(drawing.Uses(overrideID), kGone);
  EXPECT_EQ(drawing.Uses(dashID), 1u);
  EXPECT_THAT(Log(), EndsWith("Summary: 1 UnusedStyles, 0 MissingStyles, 0 LibCountHigh, 0 LibCountLow\r\n\r\n"));
}

TEST_F(StyleCheckTest, TheLogHasAHeaderALinePerProblemAndASummaryOnlyWhenThereIsAProblem) {
  SetSwitch(1);
  {
    Drawing clean;
    clean.Element(clean.AddLine(L"Centre"));
    EXPECT_EQ(services->StyleCheck(clean.document, 1, TRUE), S_OK);
    EXPECT_TRUE(LogExists());
    EXPECT_EQ(Log(), "");
  }

  Drawing drawing;
  const DWORD unused = drawing.AddLine(nullptr);
  const DWORD high = drawing.AddLine(L"A rather long style name");
  const DWORD low = drawing.AddLine(L"Low");
  drawing.AddUses(high, 2);
  drawing.Element(low, false);
  drawing.Element(99);
  char name[64] = {};
  StyleComPtr<IJDocument2> named;
  ASSERT_EQ(drawing.document->QueryInterface(IID_IJDocument2, named.PutVoid()), S_OK);
  ASSERT_EQ(named->GetName(name, sizeof name), S_OK);

  EXPECT_EQ(services->StyleCheck(drawing.document, 1, TRUE), S_OK);
  const std::string log = Log();
  const std::string header = std::string("Style EleRefCnt Problems in Document: ") + name + ",  Reported at: ";
  ASSERT_THAT(log, StartsWith(header));
  const std::string body = log.substr(log.find("\r\n") + 2);
  char expected[1024];
  std::snprintf(expected, sizeof expected,
                "Librarian missing used Style ID = 99\r\n"
                "Style ID = %3lu, Name = <      *UNNAMED*>, Type =            Linear, File Count =   0, Librarian Count =   0\r\n"
                "Style ID = %3lu, Name = <A rather long style name>, Type =            Linear, File Count =   0, Librarian Count =   2\r\n"
                "Style ID = %3lu, Name = <            Low>, Type =            Linear, File Count =   1, Librarian Count =   0\r\n"
                "Summary: 1 UnusedStyles, 1 MissingStyles, 1 LibCountHigh, 1 LibCountLow\r\n\r\n",
                unused, high, low);
  EXPECT_EQ(body, expected);

  // A second run appends: a header and its lines again.
  EXPECT_EQ(services->StyleCheck(drawing.document, 1, TRUE), S_OK);
  EXPECT_EQ(Log().size(), 2 * log.size());
}

// The library checks its own document at level 2 while the switch asks for checks; a level-2 check writes no
// log.
TEST_F(StyleCheckTest, TheLibraryChecksItsDocumentAtLevelTwo) {
  for (const int switchValue : {-1, 3}) {
    SCOPED_TRACE(switchValue);
    SetSwitch(switchValue);
    Drawing drawing;
    const DWORD low = drawing.AddLine(L"Low");
    const DWORD high = drawing.AddLine(L"High");
    drawing.Element(low, false);
    drawing.AddUses(high, 1);
    StyleComPtr<IJStyleConvertR1Elements> convert;
    ASSERT_EQ(drawing->QueryInterface(IID_IJStyleConvertR1Elements, convert.PutVoid()), S_OK);
    EXPECT_EQ(convert->CheckStyleReferences(0), S_OK);
    EXPECT_EQ(drawing.Uses(low), switchValue > 0 ? 1u : 0u);
    EXPECT_EQ(drawing.Uses(high), 1u);  // lowered at level 3 only
    EXPECT_FALSE(LogExists());
  }
}

}  // namespace
}  // namespace daxutil_test
