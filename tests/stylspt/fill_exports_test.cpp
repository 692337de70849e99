// The fill-style exports: refusals, finding, naming and activating fills, the pattern a fill uses, and fills
// made by the engine's factories.
#include "display/style/stylspt/StyleExportHelpers.h"
#include "host/app/fill_engine.h"
#include "host/app/render_context.h"
#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using ::testing::ElementsAreArray;
using Engine = host_app::FillEngine;

constexpr char kFillSource[] = "FILLSPT";

StyleComPtr<IUnknown> NewStyle(REFCLSID clsid) {
  StyleComPtr<IUnknown> style;
  EXPECT_EQ(HCreateStyle(style.Put(), nullptr, &clsid, 0, nullptr), S_OK);
  return StyleComPtr<IUnknown>(style.Detach());
}

// Null pointers, a document without a library, a style the library does not hold and a missing fill factory:
// each call answers its code, reported once under the fill source, and hands out nothing; the active fill stays
// (the engine still hears that the library changes); the fill's name is still handed out.
TEST_F(StyleExportsTest, FillExportsRefuseWhatTheyCannotUse) {
  Drawing drawing;
  const DWORD solidID = drawing.Create(CLSID_JStyleSimpleFill, L"Solid", STYLETYPE_Fill);
  StyleComPtr<IUnknown> solid = drawing.Style<IUnknown>(solidID, IID_IUnknown);
  StyleComPtr<IUnknown> foreign = NewStyle(CLSID_JStyleSimpleFill);
  ASSERT_EQ(HSetActiveFillStyle(drawing.D(), solidID), S_OK);
  IJDocumentNamedObjects* bare = nullptr;
  ASSERT_EQ(HostDocumentCreate(&bare), S_OK);
  IUnknown *D = drawing.D(), *S = solid.Get(), *out = nullptr, *hatch = nullptr, *symbol = nullptr;
  WCHAR name[] = L"Solid", buffer[8] = {};
  DWORD id = 0, length = 8;
  auto* noOut = static_cast<IUnknown**>(nullptr);
  auto* noID = static_cast<DWORD*>(nullptr);
  const LPCWSTR constName = name;
  const LONG live = Live();
  stylesrv_test::ClearReports();
  HostClearNotifications();

  constexpr HRESULT X = E_INVALIDARG;
  const struct {
    const char* what;
    HRESULT hr, expected;
  } calls[] = {
      {"HGetFillStyle document", HGetFillStyle(nullptr, constName, &out), X},
      {"HGetFillStyle ID", HGetFillStyle(D, name, noID), X},
      {"HGetActiveFillStyle out", HGetActiveFillStyle(D, noOut), X},
      {"HGetActiveFillStyle ID", HGetActiveFillStyle(D, noID), X},
      {"HSetActiveFillStyle style", HSetActiveFillStyle(D, static_cast<IUnknown*>(nullptr)), X},
      {"HGetFillStyleName length", HGetFillStyleName(D, S, buffer, nullptr), X},
      {"HGetPatternStyleType kind", HGetPatternStyleType(S, nullptr), X},
      {"HGetFillPattern kind", HGetFillPattern(S, &out, nullptr), X},
      {"HCreateFillStyle symbol", HCreateFillStyle(0, 0, D, &out, &hatch, nullptr), X},
      {"HCreateFillStyle no factory", HCreateFillStyle(0, 0, D, &out, &hatch, &symbol), E_NOINTERFACE},
      {"HSetActiveFillStyle foreign", HSetActiveFillStyle(D, foreign.Get()), E_FAIL},
      {"no library: HGetFillStyle ID", HGetFillStyle(bare, name, &id), E_FAIL},
      {"no library: HGetActiveFillStyle", HGetActiveFillStyle(bare, &out), E_FAIL},
      {"no library: HSetActiveFillStyle ID", HSetActiveFillStyle(bare, solidID), E_FAIL},
      {"no library: HGetFillStyleName", HGetFillStyleName(bare, S, buffer, &length), E_FAIL},
  };
  std::vector<HRESULT> answers;
  for (const auto& call : calls) {
    EXPECT_EQ(call.hr, call.expected) << call.what;
    answers.push_back(call.expected);
  }
  EXPECT_THAT(ReportedBy(kFillSource), ElementsAreArray(answers));
  EXPECT_EQ(styllib_test::NotificationsOf(HOST_MARK_MODIFIED).size(), 1u);  // the foreign style's
  EXPECT_EQ(HGetActiveFillStyle(D, &id), S_OK);
  EXPECT_EQ(id, solidID);
  EXPECT_TRUE(out == nullptr && hatch == nullptr && symbol == nullptr);
  EXPECT_EQ(Live(), live);
  length = 8;
  EXPECT_EQ(HGetFillStyleName(D, S, buffer, &length), S_OK);
  EXPECT_STREQ(buffer, L"Solid");
  bare->Release();
}

// The pattern kind and the pattern of each kind of style: the fills themselves, simple fills with and without
// patterns, overrides on fills, on a line and on nothing, and a line. What each reports under the fill source.
TEST_F(StyleExportsTest, ThePatternOfEachKindOfStyle) {
  // A new style of the class; given a base, a simple fill takes it as its pattern, an override is built on it.
  auto make = [](REFCLSID clsid, IUnknown* base = nullptr) {
    StyleComPtr<IUnknown> style = NewStyle(clsid);
    StyleComPtr<IJStyleSimpleFill> fill;
    StyleComPtr<IJStyleRender> render;
    if (base && SUCCEEDED(stylspt::Ask(style.Get(), IID_IJStyleSimpleFill, fill))) {
      EXPECT_EQ(fill->SetPattern(base), S_OK);
    } else if (base && SUCCEEDED(stylspt::Ask(style.Get(), IID_IJStyleRender, render))) {
      EXPECT_EQ(render->SetReferencedStyle(base), S_OK);
    }
    return StyleComPtr<IUnknown>(style.Detach());
  };
  auto hatch = make(CLSID_JStyleHatchFill), symbol = make(CLSID_JStyleSymbolFill), line = make(CLSID_JStyleSimpleLine);
  auto bare = make(CLSID_JStyleSimpleFill), hatched = make(CLSID_JStyleSimpleFill, hatch.Get());
  auto overSymbolled = make(CLSID_JStyleOverride, make(CLSID_JStyleSimpleFill, symbol.Get()).Get());
  auto overLine = make(CLSID_JStyleOverride, line.Get()), overNothing = make(CLSID_JStyleOverride);

  struct Answer {
    HRESULT hr;
    DWORD kind;
    bool reported;
  };
  const struct {
    const char* what;
    IUnknown* style;
    Answer type;
    Answer pattern;
    IUnknown* handedOut;
  } rows[] = {
      {"hatch fill", hatch.Get(), {S_OK, 2, false}, {E_FAIL, 0, true}, nullptr},
      {"symbol fill", symbol.Get(), {S_OK, 3, false}, {E_FAIL, 0, true}, nullptr},
      {"simple fill without pattern", bare.Get(), {S_OK, 0, false}, {S_OK, 0, false}, nullptr},
      {"simple fill with hatch", hatched.Get(), {S_OK, 2, false}, {S_OK, 2, false}, hatch.Get()},
      {"override on a symbol-pattern fill", overSymbolled.Get(), {S_OK, 3, false}, {S_OK, 3, false}, symbol.Get()},
      {"override on nothing", overNothing.Get(), {E_FAIL, 0, false}, {E_FAIL, 0, true}, nullptr},
      {"override on a line", overLine.Get(), {E_NOINTERFACE, 0, true}, {E_FAIL, 0, true}, nullptr},
      {"line", line.Get(), {S_OK, 0, false}, {E_FAIL, 0, true}, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    stylesrv_test::ClearReports();
    DWORD kind = 0xDEAD;
    EXPECT_EQ(HGetPatternStyleType(row.style, &kind), row.type.hr);
    EXPECT_EQ(kind, row.type.kind);
    EXPECT_EQ(ReportedBy(kFillSource).size(), row.type.reported ? 1u : 0u);

    stylesrv_test::ClearReports();
    kind = 0xDEAD;
    StyleComPtr<IUnknown> pattern;
    EXPECT_EQ(HGetFillPattern(row.style, pattern.Put(), &kind), row.pattern.hr);
    EXPECT_EQ(kind, row.pattern.kind);
    EXPECT_EQ(ReportedBy(kFillSource).size(), row.pattern.reported ? 1u : 0u);
    EXPECT_EQ(IdentityOf(pattern.Get()), IdentityOf(row.handedOut));
    if (pattern) {
      EXPECT_TRUE(stylspt::Answers(pattern.Get(), kind == 2 ? IID_IJStyleHatchFill : IID_IJStyleSymbolFill));
    }
  }
}

// A fill made by the engine's factories, by pattern kind and failing step: the calls in order with the values
// handed on, the extensions asked for with the context, what is handed out, and every reference not handed
// out back where it was.
TEST_F(StyleExportsTest, FillsMadeByTheEngineFactories) {
  using Call = Engine::Call;
  constexpr DWORD kFirst = 0x11, kSecond = 0x22, kData = 0x33;
  const Call make{Engine::kFillFactory, 11, kFirst, kSecond}, kindRead{Engine::kFill, 11, 0, 0};
  const Call dataRead{Engine::kFill, 10, 0, 0}, attach{Engine::kFill, 9, kFirst, 0};
  const Call hatchMake{Engine::kHatchFactory, 11, kFirst, kData}, symbolMake{Engine::kSymbolFactory, 11, kFirst, kData};
  const std::pair<GUID, IID> extensionOf[] = {{CLASSEXT_FillFactory, IID_IJFillFactory},
                                              {CLASSEXT_HatchPatternFactory, IID_IJHatchPatternFactory},
                                              {CLASSEXT_SymbolPatternFactory, IID_IJSymbolPatternFactory}};
  enum : int { F = 1, H = 2, S = 4 };  // what is handed out: the fill, the hatch, the symbol pattern
  const struct {
    DWORD kind;
    Engine::Role failing;  // kRoles: none
    DWORD slot;            // 0: QueryInterface for the role's own interface
    HRESULT answer;
    std::vector<Call> calls;
    int handedOut;
  } rows[] = {
      {0, Engine::kRoles, 0, S_OK, {make, kindRead}, F},
      {1, Engine::kRoles, 0, S_OK, {make, kindRead}, F},
      {2, Engine::kRoles, 0, S_OK, {make, kindRead, dataRead, hatchMake, attach}, F | H},
      {3, Engine::kRoles, 0, S_OK, {make, kindRead, dataRead, symbolMake, attach}, F | S},
      {7, Engine::kRoles, 0, S_OK, {make, kindRead, dataRead}, F},
      {2, Engine::kFillFactory, 11, E_OUTOFMEMORY, {make}, 0},
      {2, Engine::kFill, 0, E_NOINTERFACE, {make}, 0},
      {2, Engine::kFill, 11, E_UNEXPECTED, {make, kindRead}, F},
      {2, Engine::kHatchFactory, 11, E_OUTOFMEMORY, {make, kindRead, dataRead, hatchMake}, F},
      {3, Engine::kSymbolPattern, 0, E_NOINTERFACE, {make, kindRead, dataRead, symbolMake}, F},
      {3, Engine::kFill, 9, E_ACCESSDENIED, {make, kindRead, dataRead, symbolMake, attach}, F | S},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "kind " << row.kind << ", failing role " << row.failing);
    Engine engine;
    engine.kind = row.kind;
    engine.patternData = kData;
    engine.failures[{row.failing, row.slot}] = row.answer;
    ULONG start[Engine::kRoles];
    for (DWORD r = 0; r < Engine::kRoles; ++r) start[r] = engine[Engine::Role(r)].references;
    host_app::RenderContext context;
    HostClearClassExtensionCalls();
    stylesrv_test::ClearReports();

    IUnknown* out[3] = {};
    EXPECT_EQ(HCreateFillStyle(kFirst, kSecond, &context, &out[0], &out[1], &out[2]), row.answer);
    EXPECT_THAT(engine.calls, ElementsAreArray(row.calls));
    std::vector<std::pair<GUID, IID>> asked, expected;
    for (const Call& call : row.calls) {
      if (call.role <= Engine::kSymbolFactory) expected.push_back(extensionOf[call.role]);
    }
    HostClassExtensionCall call;
    for (LONG i = 0; HostGetClassExtensionCall(i, &call); ++i) {
      asked.emplace_back(call.extension, call.iid);
      EXPECT_EQ(call.outer, static_cast<IUnknown*>(&context));
    }
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(ReportedBy(kFillSource), FAILED(row.answer) ? std::vector<HRESULT>{row.answer} : std::vector<HRESULT>{});
    const Engine::Role made[] = {Engine::kFill, Engine::kHatchPattern, Engine::kSymbolPattern};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(out[i], (row.handedOut & (1 << i)) ? engine[made[i]].Unknown() : nullptr) << i;
      if (out[i]) out[i]->Release();
    }
    for (DWORD r = 0; r < Engine::kRoles; ++r) EXPECT_EQ(engine[Engine::Role(r)].references, start[r]) << r;
    EXPECT_EQ(context.references, 1u);
  }
}

}  // namespace
}  // namespace stylspt_test
