// The standard dashes: the resource holder of stylesrv.dll (through the internal table) and the dash-number
// exports (by their plain names), on a copy of stylesrv.dll loaded for each test, so that every test starts
// with the resource module not yet attached. Expected texts and pictures are read from the resource module.
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/stylspt/StdDashResources.h"
#include "display/style/stylspt/StyleExports.h"
#include "tests/support/stylesrv_test.h"

namespace {

using stylesrv_test::FindExport;
using stylesrv_test::IdentityOf;

constexpr DWORD kCurrentForm = 0x1000000;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::wstring StringOf(HMODULE module, UINT id) {
  const WCHAR* text = nullptr;
  const int n = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 ? std::wstring(text, n) : std::wstring();
}

// What a dash type holds.
struct DashState {
  DWORD units = 0;
  DWORD flags = 0;
  double endFraction = 0;
  std::vector<double> lengths;
  bool operator==(const DashState&) const = default;
};

DashState Read(IJStyleSimpleDashType* dash) {
  double buffer[16] = {};
  tagStyleSimpleDashTypeData data{0, 16, buffer, 0, 0, 0};
  EXPECT_EQ(dash->GetData(&data), S_OK);
  return {data.unitsCode, data.flags, data.endFraction, std::vector<double>(buffer, buffer + data.count)};
}

tagStyleSimpleLineData Read(IJStyleSimpleLine* line) {
  tagStyleSimpleLineData data{};
  EXPECT_EQ(line->GetData(&data), S_OK);
  return data;
}

// Argument words as a call lays them out, the first at the lowest address.
struct Arguments {
  std::vector<DWORD> words;
  template <class T>
  Arguments& operator<<(T value) {
    static_assert(sizeof(T) % sizeof(DWORD) == 0);
    DWORD split[sizeof(T) / sizeof(DWORD)];
    std::memcpy(split, &value, sizeof value);
    words.insert(words.end(), std::begin(split), std::end(split));
    return *this;
  }
};

// Calls `function` as a caller that cleans up after it: pushes the words, calls, and answers how many bytes of
// them the callee took off the stack itself (none for a caller-cleans function).
int BytesPoppedByCallee(FARPROC function, const Arguments& arguments, HRESULT* hr) {
  int count = static_cast<int>(arguments.words.size());
  int popped;
  __asm__ volatile(
      "movl %%esp, %%esi\n"
      "1: testl %%ecx, %%ecx; jz 2f; pushl -4(%%edi,%%ecx,4); decl %%ecx; jmp 1b\n"
      "2: movl %%esp, %%edi; call *%%ebx\n"
      "movl %%esp, %%edx; subl %%edi, %%edx; movl %%esi, %%esp"
      : "=a"(*hr), "=d"(popped), "+c"(count)
      : "D"(arguments.words.data()), "b"(function)
      : "esi", "memory", "cc");
  return popped;
}

IUnknown* DashOf(IJStyleSimpleLine* line) {
  StyleComPtr<IJStyleDashTypeRender> dash;
  EXPECT_EQ(line->GetDashType(dash.Put()), S_OK);
  return IdentityOf(dash.Get());
}

class StandardDashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.loaded());
    res = server.internals().GetStdDashResources();
    const HMODULE m = server.handle();
    getName = FindExport<decltype(getName)>(m, "HGetStdDashStyleNameFromNumber");
    setType = FindExport<decltype(setType)>(m, "HSetStdDashTypeData");
    setContinuous = FindExport<decltype(setContinuous)>(m, "HSetContinuousLineStyleData");
    setStd = FindExport<decltype(setStd)>(m, "HSetStdDashStyleData");
    setCustom = FindExport<decltype(setCustom)>(m, "HSetCustomDashStyleData");
    ASSERT_TRUE(res && getName && setType && setContinuous && setStd && setCustom);
    stylesrv_test::ClearReports();
  }
  void TearDown() override { PellowFailNextAttaches(0); }

  // The resource module as stylesrv attached it (attached now through the holder).
  HMODULE Tellury() {
    GUserText text;
    res->GetCustomName(&text);
    return GetModuleHandleA("Tellury.drx");
  }

  template <class T>
  T* Make(REFCLSID clsid, REFIID iid) {
    StyleComPtr<IClassFactory> factory;
    T* object = nullptr;
    EXPECT_EQ(server.GetClassObject(clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object)), S_OK);
    }
    return object;
  }
  // A new line, and a new dash type holding `earlier` (none when `withDash` is false).
  void MakeLineAndDash(StyleComPtr<IJStyleSimpleLine>& line, StyleComPtr<IJStyleSimpleDashType>& dash,
                       bool withDash = true) {
    *line.Put() = Make<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine);
    if (!withDash) return;
    *dash.Put() = Make<IJStyleSimpleDashType>(CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType);
    static const double earlier[] = {0.25, -0.5, 0.125};
    const tagStyleSimpleDashTypeData data{13, 3, earlier, 2, 0.75, 0};
    EXPECT_EQ(dash->SetData(&data), S_OK);
  }

  // Bad arguments are reported by the export that refused them.
  bool ReportedInvalidArg() {
    for (const PellowReport& r : stylesrv_test::Reports()) {
      if (r.hr == E_INVALIDARG && std::string(r.source) == "STYLESPT") return true;
    }
    return false;
  }

  stylesrv_test::ServerModule server;
  const StdDashResourceFunctions* res = nullptr;
  decltype(&HGetStdDashStyleNameFromNumber) getName = nullptr;
  decltype(&HSetStdDashTypeData) setType = nullptr;
  decltype(&HSetContinuousLineStyleData) setContinuous = nullptr;
  decltype(&HSetStdDashStyleData) setStd = nullptr;
  decltype(&HSetCustomDashStyleData) setCustom = nullptr;
};

// ---- the resource holder ----

TEST_F(StandardDashTest, EntriesMapToTheirIdsAndIndexesOutOfRangeAreRefused) {
  DWORD count = 0;
  EXPECT_EQ(res->GetCount(&count, false), S_OK);
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(res->GetCount(&count, true), S_OK);
  EXPECT_EQ(count, 11u);
  struct Row {
    bool custom;
    DWORD index, nameId, bitmapId;  // nameId 0: the index is out of range
  };
  const Row rows[] = {{false, 0, 12217, 101}, {false, 4, 12221, 105}, {false, 9, 12226, 110},
                      {true, 0, 12227, 232},  {true, 1, 12217, 101},  {true, 10, 12226, 110},
                      {false, 10, 0, 0},      {true, 11, 0, 0},       {false, 0xFFFFFFFF, 0, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "custom " << r.custom << " index " << r.index);
    const HRESULT expected = r.nameId ? S_OK : E_INVALIDARG;
    DWORD nameId = 0, bitmapId = 0, image = 7;
    GUserText text;
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
    EXPECT_EQ(res->GetNameId(r.index, &nameId, r.custom), expected);
    EXPECT_EQ(res->GetBitmapId(r.index, &bitmapId, r.custom), expected);
    EXPECT_EQ(res->GetName(r.index, &text, r.custom), expected);
    EXPECT_EQ(res->GetBitmap(r.index, &bitmap, r.custom), expected);
    EXPECT_EQ(res->GetImage(r.index, &image, r.custom), expected);
    EXPECT_EQ(nameId, r.nameId);
    EXPECT_EQ(bitmapId, r.bitmapId);
    EXPECT_EQ(std::wstring(text.Wide()), r.nameId ? StringOf(Tellury(), r.nameId) : L"");
    EXPECT_EQ(bitmap != nullptr, r.nameId != 0);
    EXPECT_EQ(image != 0, r.nameId != 0);
    if (bitmap) DeleteObject(bitmap);
  }
  EXPECT_EQ(res->GetNameId(0, nullptr, false), E_INVALIDARG);
  EXPECT_EQ(res->GetCount(nullptr, true), E_INVALIDARG);
  EXPECT_EQ(res->GetName(0, nullptr, true), E_INVALIDARG);
  EXPECT_EQ(res->GetImageById(101, nullptr), E_INVALIDARG);
  EXPECT_EQ(res->GetBitmapById(101, nullptr), E_INVALIDARG);
}

TEST_F(StandardDashTest, AFailedAttachIsRetriedAtTheNextUseAndASucceededOneNever) {
  const LONG before = PellowAttachCount();
  DWORD id = 0;  // the ID getters need no module
  EXPECT_EQ(res->GetNameId(3, &id, false), S_OK);
  EXPECT_EQ(res->GetBitmapId(3, &id, true), S_OK);
  EXPECT_EQ(PellowAttachCount(), before);

  // With no module every loader fails and leaves nothing behind; the count needs none.
  PellowFailNextAttaches(5);
  GUserText text;
  HBITMAP bitmap = nullptr;
  DWORD image = 9, count = 0;
  EXPECT_EQ(res->GetName(0, &text, false), E_FAIL);
  EXPECT_EQ(res->GetCustomName(&text), E_FAIL);
  EXPECT_STREQ(text.Wide(), L"");
  EXPECT_EQ(res->GetBitmap(0, &bitmap, false), E_FAIL);
  EXPECT_EQ(bitmap, nullptr);
  EXPECT_EQ(res->GetImage(0, &image, false), E_FAIL);
  EXPECT_EQ(image, 0u);
  EXPECT_EQ(res->GetCount(&count, false), S_OK);
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(PellowAttachCount(), before + 5);

  // The next use attaches; later ones do not.
  EXPECT_EQ(res->GetName(0, &text, false), S_OK);
  EXPECT_EQ(res->GetBitmap(1, &bitmap, false), S_OK);
  DeleteObject(bitmap);
  EXPECT_EQ(res->GetImage(1, &image, false), S_OK);
  EXPECT_EQ(res->GetCustomName(&text), S_OK);
  EXPECT_EQ(PellowAttachCount(), before + 6);
}

struct RacingUse {
  const StdDashResourceFunctions* res;
  HANDLE start;
  HRESULT hr;
};

DWORD WINAPI UseAtTheStart(void* arg) {
  auto* use = static_cast<RacingUse*>(arg);
  WaitForSingleObject(use->start, INFINITE);
  GUserText text;
  use->hr = use->res->GetName(2, &text, false);
  return 0;
}

TEST_F(StandardDashTest, EightThreadsMakingTheFirstUseTogetherAttachOnce) {
  const LONG before = PellowAttachCount();
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  RacingUse uses[8];
  HANDLE threads[8];
  for (int i = 0; i < 8; ++i) {
    uses[i] = {res, start, E_UNEXPECTED};
    threads[i] = CreateThread(nullptr, 0, &UseAtTheStart, &uses[i], 0, nullptr);
    ASSERT_NE(threads[i], nullptr);
  }
  SetEvent(start);
  WaitForMultipleObjects(8, threads, TRUE, INFINITE);
  for (int i = 0; i < 8; ++i) {
    CloseHandle(threads[i]);
    EXPECT_EQ(uses[i].hr, S_OK);
  }
  CloseHandle(start);
  EXPECT_EQ(PellowAttachCount(), before + 1);
}

TEST_F(StandardDashTest, BitmapsAreTheModulesPicturesAndImagesComeFromTheEngine) {
  const HMODULE tellury = Tellury();
  ASSERT_NE(tellury, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  for (DWORD index = 0; index <= 10; ++index) {
    SCOPED_TRACE(testing::Message() << "index " << index);
    DWORD id = 0;
    ASSERT_EQ(res->GetBitmapId(index, &id, true), S_OK);
    HRSRC found = FindResourceA(tellury, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
    ASSERT_NE(found, nullptr);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(tellury, found)));
    ASSERT_EQ(header->biBitCount, 24);
    HBITMAP bitmap = nullptr;
    ASSERT_EQ(res->GetBitmap(index, &bitmap, true), S_OK);
    BITMAP object{};
    ASSERT_EQ(GetObjectA(bitmap, sizeof object, &object), static_cast<int>(sizeof object));
    EXPECT_EQ(object.bmWidth, header->biWidth);
    EXPECT_EQ(object.bmHeight, header->biHeight);
    // The pixels too: each picture is another pattern.
    BITMAPINFO info{};
    info.bmiHeader = *header;
    const std::size_t size = (header->biWidth * 3 + 3) / 4 * 4 * header->biHeight;
    std::vector<BYTE> pixels(size);
    EXPECT_EQ(GetDIBits(dc, bitmap, 0, header->biHeight, pixels.data(), &info, DIB_RGB_COLORS), header->biHeight);
    EXPECT_EQ(std::memcmp(pixels.data(), header + 1, size), 0);
    DeleteObject(bitmap);
  }
  DeleteDC(dc);
  HBITMAP none = reinterpret_cast<HBITMAP>(1);
  EXPECT_EQ(res->GetBitmapById(999, &none), E_FAIL);
  EXPECT_EQ(none, nullptr);

  // The engine gets the module and the ID's low 16 bits; a bitmap the module lacks has no image.
  struct Row {
    DWORD id, passed;
    HRESULT hr;
  };
  for (const Row& r : {Row{232, 232, S_OK}, Row{0x12340065, 101, S_OK}, Row{999, 999, E_FAIL}}) {
    HostClearNotifications();
    DWORD image = 7;
    EXPECT_EQ(res->GetImageById(r.id, &image), r.hr);
    EXPECT_EQ(image != 0, r.hr == S_OK);
    HostNotification call{};
    ASSERT_EQ(HostNotificationCount(), 1);
    HostGetNotification(0, &call);
    EXPECT_EQ(call.kind, static_cast<DWORD>(HOST_LOAD_RESOURCE_IMAGE));
    EXPECT_EQ(call.context, reinterpret_cast<ULONG_PTR>(tellury));
    EXPECT_EQ(call.value, r.passed);
  }
}

TEST_F(StandardDashTest, UnloadingTheServerReleasesTheResourceModule) {
  ASSERT_NE(Tellury(), nullptr);
  server.Unload();
  EXPECT_EQ(GetModuleHandleA("Tellury.drx"), nullptr);
}

// ---- the dash-number exports ----

TEST_F(StandardDashTest, NamesOfNumbersAndNumbersWithoutOne) {
  const HMODULE tellury = Tellury();
  struct Row {
    LONG number;
    DWORD id;  // 0: no name
  };
  const Row rows[] = {{0, 12217},  {9, 12217},  {1, 12218},  {10, 12218}, {2, 12222}, {11, 12222}, {3, 12223},
                      {12, 12223}, {4, 12225},  {13, 12225}, {18, 12219}, {19, 12220}, {20, 12221}, {21, 12224},
                      {23, 12226}, {22, 0},     {5, 0},      {14, 0},     {-1, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "number " << r.number);
    GUserText text;
    ASSERT_EQ(text.LoadStringResource(tellury, 12227), TRUE);
    EXPECT_EQ(getName(r.number, &text), r.id ? S_OK : E_FAIL);
    EXPECT_EQ(std::wstring(text.Wide()), StringOf(tellury, r.id ? r.id : 12227));
  }
  EXPECT_EQ(getName(0, nullptr), E_INVALIDARG);
  EXPECT_TRUE(ReportedInvalidArg());
}

TEST_F(StandardDashTest, DashNumbersLoadTheirLengthsAndOthersChangeNothing) {
  const DashState dashed{11, kCurrentForm, 0.5, {-0.0035, -0.00175}};
  const DashState dotted{11, kCurrentForm, 1.0, {0.00035, -0.00175}};
  const DashState dashDot{11, kCurrentForm, 0.5, {-0.007, 0.00175, 0.00035, 0.00175}};
  const DashState dashDotDot{11, kCurrentForm, 0.5, {-0.014, 0.00175, 0.00035, 0.00175, 0.00035, 0.00175}};
  const DashState longShort{11, kCurrentForm, 0.5, {-0.014, 0.00175, 0.00175, 0.00175}};
  const std::pair<DWORD, DashState> rows[] = {
      {1, dashed}, {10, dashed}, {2, dotted}, {11, dotted}, {3, dashDot}, {12, dashDot}, {4, dashDotDot},
      {13, dashDotDot}, {18, longShort}, {19, {11, kCurrentForm | 1, 0.5, longShort.lengths}},
      {20, {11, kCurrentForm, 0.5, {-0.014, 0.00175, 0.00175, 0.00175, 0.00175, 0.00175}}},
      {21, {11, kCurrentForm, 0.5, {-0.014, 0.00175, -0.014, 0.00175, 0.00035, 0.00175}}},
      {22, {11, kCurrentForm | 1, 0.5, {-0.014, 0.007}}},
      {23, {11, kCurrentForm | 1, 0.0, {0.0, 0.0015875, -0.003175, 0.0015875}}},
      // No lengths: the dash type keeps what it had.
      {0, {}}, {9, {}}, {5, {}}, {14, {}}, {17, {}}, {24, {}}, {0xFFFFFFFF, {}}};
  for (const auto& [number, state] : rows) {
    SCOPED_TRACE(testing::Message() << "number " << number);
    StyleComPtr<IJStyleSimpleLine> line;
    StyleComPtr<IJStyleSimpleDashType> dash;
    MakeLineAndDash(line, dash);
    const DashState unchanged = Read(dash.Get());
    EXPECT_EQ(setType(number, dash.Get()), S_OK);
    EXPECT_EQ(Read(dash.Get()), state.lengths.empty() ? unchanged : state);
  }
  EXPECT_EQ(setType(1, nullptr), E_INVALIDARG);
  EXPECT_TRUE(ReportedInvalidArg());
}

TEST_F(StandardDashTest, AContinuousLineHasNoDashAndLocksWhatWasGiven) {
  struct Row {
    DWORD colour;
    double width;
    HRESULT hr;
    DWORD locked;  // after the call
  };
  const Row rows[] = {{0, 0.0, S_OK, 0},           {0xFF00, 0.0, S_OK, 0x1},          {0, 0.0005, S_OK, 0x2},
                      {0xFF00, -0.5, S_OK, 0x3},   {0xFF00, kNaN, E_INVALIDARG, 0x80}, {1, kInf, E_INVALIDARG, 0x80}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "colour " << r.colour << " width " << r.width);
    StyleComPtr<IJStyleSimpleLine> line;
    StyleComPtr<IJStyleSimpleDashType> dash;
    MakeLineAndDash(line, dash);
    const tagStyleSimpleLineData start{13, 0.25, 0, 0, 0x80};
    ASSERT_EQ(line->SetData(&start), S_OK);
    ASSERT_EQ(line->SetDashType(dash.Get()), S_OK);
    EXPECT_EQ(setContinuous(line.Get(), r.colour, r.width, 12), r.hr);
    const tagStyleSimpleLineData data = Read(line.Get());
    const bool done = r.hr == S_OK;
    EXPECT_EQ(data.lockedFields, r.locked);
    EXPECT_EQ(DashOf(line.Get()), done ? nullptr : IdentityOf(dash.Get()));
    EXPECT_EQ(data.colour, done ? r.colour : 0);
    EXPECT_EQ(data.width, done ? r.width : 0.25);
    EXPECT_EQ(data.unitsCode, done ? 12u : 13u);
  }
  EXPECT_EQ(setContinuous(nullptr, 0, 0.0, 11), E_INVALIDARG);
  EXPECT_TRUE(ReportedInvalidArg());
}

TEST_F(StandardDashTest, AStandardDashLineTakesTheDashTheFitFlagAndLocksIt) {
  struct Row {
    bool withDash;
    BOOL loadDash;
    DWORD number, colour;
    double width;
    HRESULT hr;
    DWORD locked;
    bool loaded;  // the dash holds the number's lengths afterwards
  };
  const Row rows[] = {{true, TRUE, 3, 0xFF, 0.35, S_OK, 0x93, true},   {true, TRUE, 12, 0, 0.0, S_OK, 0x90, true},
                      {true, FALSE, 3, 0xFF, 0.0, S_OK, 0x91, false},  {true, TRUE, 5, 0, 0.35, S_OK, 0x92, false},
                      {false, FALSE, 3, 0xFF, 0.35, S_OK, 0x3, false}, {false, TRUE, 3, 0xFF, 0.35, E_INVALIDARG, 0x4, false},
                      {true, TRUE, 3, 0xFF, kNaN, E_INVALIDARG, 0x4, false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "dash " << r.withDash << " load " << r.loadDash << " number " << r.number);
    StyleComPtr<IJStyleSimpleLine> line;
    StyleComPtr<IJStyleSimpleDashType> dash;
    MakeLineAndDash(line, dash, r.withDash);
    const DashState unchanged = dash ? Read(dash.Get()) : DashState{};
    const tagStyleSimpleLineData start{13, 0.25, 0x10, SLINE_COLOUR_FIXED, 0x4};
    ASSERT_EQ(line->SetData(&start), S_OK);
    EXPECT_EQ(setStd(line.Get(), dash.Get(), r.number, r.colour, r.width, 11, r.loadDash), r.hr);
    const tagStyleSimpleLineData data = Read(line.Get());
    const bool done = r.hr == S_OK;
    EXPECT_EQ(data.lockedFields, r.locked);
    EXPECT_EQ(!dash || Read(dash.Get()) == unchanged, !r.loaded);
    EXPECT_EQ(data.styleFlags, SLINE_COLOUR_FIXED | (done ? DWORD{SLINE_FIT} : 0u));
    EXPECT_EQ(DashOf(line.Get()), done ? IdentityOf(dash.Get()) : nullptr);
    EXPECT_EQ(data.colour, done ? r.colour : 0x10);
    EXPECT_EQ(data.width, done ? r.width : 0.25);
    EXPECT_EQ(data.unitsCode, done ? 11u : 13u);
  }
  EXPECT_EQ(setStd(nullptr, nullptr, 1, 0, 0.0, 11, FALSE), E_INVALIDARG);
  EXPECT_TRUE(ReportedInvalidArg());
}

TEST_F(StandardDashTest, ACustomDashKeepsItsFirstLengthAtOrBelowZeroAndBadInputChangesNothing) {
  constexpr double kLowest = -std::numeric_limits<double>::max();  // an empty entry
  struct Row {
    std::vector<double> given;
    bool nullLengths;
    std::vector<double> stored;  // empty: refused with E_INVALIDARG, nothing changed
  };
  const Row rows[] = {{{0.0035, 0.00175}, false, {-0.0035, 0.00175}}, {{-0.0035, 0.00175}, false, {-0.0035, 0.00175}},
                      {{0.0, 0.002, -0.001}, false, {0.0, 0.002, -0.001}}, {{0.004}, false, {-0.004}},
                      {{kLowest, 0.001}, false, {kLowest, 0.001}},        {{}, false, {}},
                      {{0.001, 0.002}, true, {}},                         {{0.001, kNaN}, false, {}},
                      {{kInf, 0.002}, false, {}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.given.size() << " lengths, first " << (r.given.empty() ? 0 : r.given[0]));
    StyleComPtr<IJStyleSimpleLine> line;
    StyleComPtr<IJStyleSimpleDashType> dash;
    MakeLineAndDash(line, dash);
    const DashState unchanged = Read(dash.Get());
    const double* lengths = r.nullLengths ? nullptr : r.given.data();
    const bool done = !r.stored.empty();
    EXPECT_EQ(setCustom(line.Get(), dash.Get(), static_cast<DWORD>(r.given.size()), lengths, 0xFF, 0.0, 12),
              done ? S_OK : E_INVALIDARG);
    const tagStyleSimpleLineData data = Read(line.Get());
    EXPECT_EQ(Read(dash.Get()), done ? (DashState{12, kCurrentForm, 0.5, r.stored}) : unchanged);
    EXPECT_EQ(data.lockedFields, done ? 0x91u : 0u);
    EXPECT_EQ(data.styleFlags, done ? DWORD{SLINE_FIT} : 0u);
    EXPECT_EQ(DashOf(line.Get()), done ? IdentityOf(dash.Get()) : nullptr);
  }
  const double one[] = {0.001};
  StyleComPtr<IJStyleSimpleLine> line;
  StyleComPtr<IJStyleSimpleDashType> dash;
  MakeLineAndDash(line, dash);
  EXPECT_EQ(setCustom(line.Get(), nullptr, 1, one, 0, 0.0, 11), E_INVALIDARG);
  EXPECT_EQ(setCustom(nullptr, dash.Get(), 1, one, 0, 0.0, 11), E_INVALIDARG);
  EXPECT_EQ(setCustom(line.Get(), dash.Get(), 1, one, 0, kNaN, 11), E_INVALIDARG);
  EXPECT_TRUE(ReportedInvalidArg());
}

// A host finds these by their plain names and calls them through caller-cleans pointers, taking the arguments
// off the stack itself; a function that took them too would leave the host's stack pointer off by their size.
TEST_F(StandardDashTest, CallsThroughCallerCleansPointersLeaveTheStackToTheCaller) {
  StyleComPtr<IJStyleSimpleLine> continuous, standard, custom;
  StyleComPtr<IJStyleSimpleDashType> loaded, standardDash, customDash;
  MakeLineAndDash(continuous, loaded);
  MakeLineAndDash(standard, standardDash);
  MakeLineAndDash(custom, customDash);
  ASSERT_EQ(continuous->SetDashType(loaded.Get()), S_OK);
  GUserText text;
  const double lengths[] = {0.002, -0.001};
  const struct {
    const char* name;
    Arguments arguments;
    HRESULT hr;
  } rows[] = {
      {"HGetStdDashStyleNameFromNumber", Arguments() << LONG{18} << &text, S_OK},
      {"HGetStdDashStyleNameFromNumber", Arguments() << LONG{22} << &text, E_FAIL},
      {"HSetStdDashTypeData", Arguments() << DWORD{21} << loaded.Get(), S_OK},
      {"HSetStdDashTypeData", Arguments() << DWORD{1} << static_cast<void*>(nullptr), E_INVALIDARG},
      {"HSetContinuousLineStyleData", Arguments() << continuous.Get() << DWORD{0xFF} << 0.5 << DWORD{12}, S_OK},
      {"HSetStdDashStyleData",
       Arguments() << standard.Get() << standardDash.Get() << DWORD{3} << DWORD{0x10} << 0.25 << DWORD{11} << TRUE,
       S_OK},
      {"HSetCustomDashStyleData",
       Arguments() << custom.Get() << customDash.Get() << DWORD{2} << &lengths[0] << DWORD{0x20} << 0.125
                   << DWORD{13},
       S_OK},
      {"HSetCustomDashStyleData",
       Arguments() << custom.Get() << customDash.Get() << DWORD{2} << &lengths[0] << DWORD{0x20} << kNaN << DWORD{13},
       E_INVALIDARG},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const FARPROC function = GetProcAddress(server.handle(), row.name);
    ASSERT_NE(function, nullptr);
    HRESULT hr = E_UNEXPECTED;
    EXPECT_EQ(BytesPoppedByCallee(function, row.arguments, &hr), 0);
    EXPECT_EQ(hr, row.hr);
  }
  // What arrived: the name of 18, the lengths of 21 and of the caller, each line's double and the code behind it.
  EXPECT_EQ(std::wstring(text.Wide()), StringOf(Tellury(), 12219));
  EXPECT_EQ(Read(loaded.Get()).lengths.size(), 6u);
  EXPECT_EQ(Read(customDash.Get()).lengths, (std::vector<double>{-0.002, -0.001}));
  const tagStyleSimpleLineData a = Read(continuous.Get()), b = Read(standard.Get()), c = Read(custom.Get());
  EXPECT_EQ(std::make_tuple(a.width, a.unitsCode, b.width, b.unitsCode, c.width, c.unitsCode),
            std::make_tuple(0.5, 12ul, 0.25, 11ul, 0.125, 13ul));
}

}  // namespace
