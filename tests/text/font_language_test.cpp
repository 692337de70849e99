// The language a character style settles on for its font: the order of the candidates, the host's switch that
// turns the check off, and the per-thread scratch behind the font manager's callback.
#include <cstdio>
#include <functional>

#include "tests/text/text_fixtures.h"

using stylesrv_test::ClearReports;
using stylesrv_test::Reports;

namespace {

constexpr WORD kThreadLanguage = 0x0407;
constexpr WORD kRequested = 0x0411;
constexpr WORD kOther1 = 0x0416, kOther2 = 0x0816;  // in no candidate

WORD KeyboardLanguage() {
  char name[KL_NAMELENGTH] = {};
  unsigned int layout = 0;
  return GetKeyboardLayoutNameA(name) && std::sscanf(name, "%x", &layout) == 1 ? LOWORD(layout) : 0;
}

WORD LanguageOf(IJStyleTextChar* style) {
  WORD language = 0xFFFF;
  EXPECT_EQ(style->GetLanguage(&language), S_OK);
  return language;
}

// The language a new style settles on when the font is named after the request was stored.
WORD Settle(const wchar_t* font, WORD requested) {
  StyleComPtr<IJStyleTextChar> style = NewTextChar();
  EXPECT_EQ(style->SetLanguage(requested), S_OK);
  EXPECT_EQ(style->SetFontName(font), S_OK);
  return LanguageOf(style.Get());
}

class FontLanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_locale = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(MAKELCID(kThreadLanguage, SORT_DEFAULT)));
    keyboard = KeyboardLanguage();
    user = LOWORD(GetUserDefaultLCID());
    system = LOWORD(GetSystemDefaultLCID());
    for (WORD own : {kThreadLanguage, kRequested, kOther1, kOther2}) {
      ASSERT_NE(own, keyboard);
      ASSERT_NE(own, user);
      ASSERT_NE(own, system);
    }
    ClearReports();
  }
  void TearDown() override {
    SetThreadLocale(m_locale);
    SetFonts({});
  }

  WORD keyboard = 0, user = 0, system = 0;

 private:
  LCID m_locale = 0;
};

TEST_F(FontLanguageTest, CandidatesInTheirOrderThenTheFontsFirst) {
  const struct {
    const char* what;
    FontEntry font;
    WORD expected;
  } rows[] = {
      {"request listed beside the keyboard's", {L"F1", {keyboard, kRequested}}, kRequested},
      {"keyboard's before the thread's", {L"F2", {kThreadLanguage, keyboard}}, keyboard},
      {"thread's before the font's first", {L"F3", {kOther1, kThreadLanguage}}, kThreadLanguage},
      {"user's before the system's", {L"F4", {system, user}}, user},
      {"no candidate: the font's first", {L"F5", {kOther2, kOther1}}, kOther2},
      {"no languages", {L"F6", {}}, 0},
      {"a font without language", {L"F7", {kRequested}, true}, 0},
  };
  std::vector<FontEntry> fonts;
  for (const auto& row : rows) fonts.push_back(row.font);
  SetFonts(fonts);
  for (const auto& row : rows) EXPECT_EQ(Settle(row.font.name.c_str(), kRequested), row.expected) << row.what;
  EXPECT_EQ(Settle(L"Unknown", kRequested), 0) << "a font the manager does not know";

  // A request the font does not take leaves the language as it was, and is no error.
  StyleComPtr<IJStyleTextChar> style = NewTextChar();
  ASSERT_EQ(style->SetFontName(L"F5"), S_OK);
  ASSERT_EQ(style->SetLanguage(kOther1), S_OK);
  EXPECT_EQ(style->SetLanguage(kRequested), S_OK);
  EXPECT_EQ(LanguageOf(style.Get()), kOther1);
  EXPECT_THAT(Reports(), ::testing::IsEmpty());
}

// Without a font nothing is checked and no font manager is made; the style's one manager goes with it.
TEST_F(FontLanguageTest, FontManagerOnlyForANamedFont) {
  SetFonts({{L"F", {kOther1}}});
  const LONG before = SitheLiveFontMgrs();
  {
    StyleComPtr<IJStyleTextChar> style = NewTextChar();
    ASSERT_EQ(style->SetLanguage(kRequested), S_OK);
    TextCharData data{};
    data.size = 1.0;
    data.language = kThreadLanguage;
    ASSERT_EQ(style->SetCharData(&data), S_OK);
    EXPECT_EQ(LanguageOf(style.Get()), kThreadLanguage);
    EXPECT_EQ(SitheLiveFontMgrs(), before);
    ASSERT_EQ(style->SetFontName(L"F"), S_OK);
    ASSERT_EQ(style->SetFontName(L"G"), S_OK);
    EXPECT_EQ(SitheLiveFontMgrs(), before + 1);
  }
  EXPECT_EQ(SitheLiveFontMgrs(), before);

  // A font manager that cannot be had fails the request, reported; the name is still taken.
  StyleComPtr<IJStyleTextChar> style = NewTextChar();
  SitheFailFontOp(0, E_ACCESSDENIED);
  EXPECT_EQ(style->SetFontName(L"F"), S_OK);
  EXPECT_EQ(style->SetLanguage(kOther1), E_ACCESSDENIED);
  SitheFailFontOp(0, S_OK);
  EXPECT_THAT(Reports(), ::testing::Each(::testing::Field(&PellowReport::hr, E_ACCESSDENIED)));
  EXPECT_EQ(Reports().size(), 2u);
}

TEST_F(FontLanguageTest, HostSwitchTurnsTheCheckOff) {
  SetFonts({{L"F", {kOther1}}});
  const CLSID unregistered = {0x5B1E0C11, 0x77A2, 0x4C1D, {0x8E, 0x31, 0x40, 0x9A, 0x12, 0x6F, 0x20, 0x01}};
  using Setup = std::function<void(TestHostApplication&)>;
  const std::string tooLong(70, '1');
  const DWORD one = 1;
  const struct {
    const char* what;
    Setup setup;
    bool off;
    HRESULT reported;  // S_OK for no report
    const wchar_t* progId = L"StylesrvTest.Host.1";
  } rows[] = {
      {"\"1\"", [](auto& h) { h.SetSwitchText("1"); }, true, S_OK},
      {"\"0\"", [](auto& h) { h.SetSwitchText("0"); }, false, S_OK},
      {"empty", [](auto& h) { h.SetSwitchText(""); }, false, S_OK},
      {"expandable \"7\"", [](auto& h) { h.SetSwitch(REG_EXPAND_SZ, "7", 2); }, true, S_OK},
      {"a number, not a text", [&](auto& h) { h.SetSwitch(REG_DWORD, &one, sizeof one); }, false, S_OK},
      {"a text too long to be one", [&](auto& h) { h.SetSwitchText(tooLong.c_str()); }, false, S_OK},
      {"no switch", [](auto&) {}, false, S_OK},
      {"host without identity", [](auto&) { HostSetApplicationIdentity(E_NOTIMPL, nullptr); }, false, S_OK},
      {"host refusing its identity", [](auto&) { HostSetApplicationIdentity(E_UNEXPECTED, nullptr); }, false,
       E_UNEXPECTED},
      {"host class without ProgID", [&](auto&) { HostSetApplicationIdentity(S_OK, &unregistered); }, false,
       REGDB_E_CLASSNOTREG},
      {"a ProgID the runtime cannot narrow", [](auto&) {}, false, HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW),
       L"Host\x0100"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TestHostApplication host(row.progId);
    row.setup(host);
    ClearReports();
    EXPECT_EQ(Settle(L"F", kRequested), row.off ? kRequested : kOther1);
    if (row.reported == S_OK) {
      EXPECT_THAT(Reports(), ::testing::IsEmpty());
    } else {
      EXPECT_THAT(Reports(), ::testing::ElementsAre(::testing::Field(&PellowReport::hr, row.reported)));
    }
  }
}

struct Resolver {
  const wchar_t* font;
  WORD expected;
  HANDLE start;
  int wrong = 0;
  StyleComPtr<IJStyleTextChar> style = NewTextChar();
};

DWORD WINAPI ResolveOften(void* argument) {
  auto* resolver = static_cast<Resolver*>(argument);
  WaitForSingleObject(resolver->start, INFINITE);
  for (int i = 0; i < 2000; ++i) {
    TextCharData data{};
    data.size = 1.0;
    data.language = kRequested;
    data.fontName = const_cast<LPWSTR>(resolver->font);
    resolver->style->SetCharData(&data);
    WORD language = 0;
    resolver->style->GetLanguage(&language);
    if (language != resolver->expected) ++resolver->wrong;
  }
  return 0;
}

// Each thread's choice lives in its own scratch, which goes with the thread.
TEST_F(FontLanguageTest, ThreadsChooseApartAndTheirScratchGoesWithThem) {
  // Long enumerations give the two threads' callbacks every chance to interleave.
  SetFonts({{L"A", {kOther1, kOther2, kOther1, kOther2, kOther1}}, {L"B", {kOther2, kOther1, kOther2, kOther1}}});
  stylesrv_test::ServerModule server;
  ASSERT_TRUE(server.loaded());
  StyleTlsProbe probe{};
  server.internals().SetTlsProbe(&probe);
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  Resolver a{L"A", kOther1, start}, b{L"B", kOther2, start};
  HANDLE threads[] = {CreateThread(nullptr, 0, &ResolveOften, &a, 0, nullptr),
                      CreateThread(nullptr, 0, &ResolveOften, &b, 0, nullptr)};
  SetEvent(start);
  WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  CloseHandle(start);
  for (HANDLE thread : threads) CloseHandle(thread);
  server.internals().SetTlsProbe(nullptr);
  EXPECT_EQ(a.wrong, 0);
  EXPECT_EQ(b.wrong, 0);
  EXPECT_EQ(probe.textScratchFreed, 2);
}

// A thread the library never attached has no scratch: its request stands unchecked.
TEST_F(FontLanguageTest, ThreadWithoutBlockKeepsTheRequest) {
  SetFonts({{L"F", {kOther1}}});
  StyleComPtr<IJStyleTextChar> style = NewTextChar();
  ASSERT_EQ(style->SetFontName(L"F"), S_OK);
  struct Job {
    IJStyleTextChar* style;
    HRESULT hr;
  } job{style.Get(), E_FAIL};
  RunOnThreadOlderThanTheServer([](void* argument) {
    auto* j = static_cast<Job*>(argument);
    j->hr = j->style->SetLanguage(kRequested);
  }, &job);
  EXPECT_EQ(job.hr, S_OK);
  EXPECT_EQ(LanguageOf(style.Get()), kRequested);
  EXPECT_THAT(Reports(), ::testing::IsEmpty());
}

}  // namespace
