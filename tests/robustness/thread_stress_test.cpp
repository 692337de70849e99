// Eight host threads in stylesrv.dll at once, under Wine. Each has its own apartment, per-thread block and
// custodian, and round after round makes a document library, adds a line, loads the names of a style-library
// file through its custodian, draws the file's line and its own, removes its own, draws a scene through the state
// the server shares between threads (the standard dashes, the fill's pools), and stops its custodian, which closes
// the file; now and then it writes its file again, or lists a file of another version that stops the load. Every
// thread has a file of the same name in a folder of its own, with a line of the same name and a width of its own:
// a thread that saw another's search path, cache, file types, names or per-thread words would draw another width
// or find another name, and its scene must draw as it does on one thread alone. At the end every object is gone,
// and DllCanUnloadNow answers S_FALSE while the custodians run and S_OK once they are stopped.
// STYLESRV_STRESS_ROUNDS sets the rounds of a thread.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/app/render_context.h"
#include "tests/bases/test_styles.h"
#include "tests/stylcst/custodian_fixtures.h"

namespace {

using stylesrv_test::IdentityOf;

constexpr int kThreads = 8;
constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);
constexpr wchar_t kFileName[] = L"shared.stl";
constexpr wchar_t kOldFileName[] = L"old.stl";

// The main thread and the workers meet here: no one passes until all have come.
class Meeting {
 public:
  explicit Meeting(int parties) : m_parties(parties) {
    InitializeCriticalSection(&m_lock);
    InitializeConditionVariable(&m_all);
  }
  ~Meeting() { DeleteCriticalSection(&m_lock); }
  Meeting(const Meeting&) = delete;
  Meeting& operator=(const Meeting&) = delete;

  void Wait() {
    EnterCriticalSection(&m_lock);
    const int generation = m_generation;
    if (++m_arrived == m_parties) {
      m_arrived = 0;
      ++m_generation;
      WakeAllConditionVariable(&m_all);
    }
    while (generation == m_generation) SleepConditionVariableCS(&m_all, &m_lock, INFINITE);
    LeaveCriticalSection(&m_lock);
  }

 private:
  CRITICAL_SECTION m_lock;
  CONDITION_VARIABLE m_all;
  int m_parties;
  int m_arrived = 0;
  int m_generation = 0;
};

// What all threads share: the loaded server, its exports and the meeting.
struct Common {
  const stylesrv_test::ServerModule* server;
  const stylcst_test::Service* service;
  decltype(&::HStyleAssignPersistIdsCallback) setPersistIdsState;
  decltype(&::HStyleGetAssignPersistIdsState) getPersistIdsState;
  decltype(&::HSetStdDashStyleData) setStdDash;
  Meeting* meeting;
  int rounds;
};

// One host thread, and what it saw for the main thread to compare with the others'.
struct Worker {
  int index = 0;
  const Common* common = nullptr;
  std::wstring folder;
  double fileWidth = 0;  // of the line "Shared" in the thread's file, as last written
  StyleTlsBlock* block = nullptr;
  IUnknown* custodian = nullptr;  // the one running at the meeting; no reference
  int rounds = 0;
  std::string scene;  // what the thread drew of its scene in its first round

  std::wstring OwnName() const { return L"Only" + std::to_wstring(index); }
  std::wstring OtherName() const { return L"Only" + std::to_wstring((index + 1) % kThreads); }
  std::wstring Extension() const { return L"T" + std::to_wstring(index); }
};

std::vector<std::wstring> FileTypes(IJSCustodian* custodian) {
  StyleFileTypeTable table{};
  EXPECT_EQ(custodian->CopyFileTypes(&table), S_OK);
  std::vector<std::wstring> types;
  for (DWORD i = 0; i < table.count; ++i) types.push_back(table.elements[i].extension);
  FreeStyleFileTypes(&table);
  return types;
}

std::vector<std::wstring> SearchPath(IJStyleSearchPath* path) {
  std::vector<std::wstring> directories;
  IEnumString* directoriesEnum = nullptr;
  EXPECT_EQ(path->Enum(0, &directoriesEnum), S_OK);
  if (!directoriesEnum) return directories;
  LPOLESTR directory = nullptr;
  ULONG fetched = 0;
  while (directoriesEnum->Next(1, &directory, &fetched) == S_OK && fetched == 1) {
    directories.push_back(directory);
    CoTaskMemFree(directory);
  }
  directoriesEnum->Release();
  return directories;
}

// The widths a line of the library draws with.
std::vector<double> DrawnWidths(IJSLLibrarian* librarian, DWORD id) {
  std::vector<double> widths;
  IUnknown* style = nullptr;
  EXPECT_EQ(librarian->GetStyle(id, &style), S_OK);
  if (!style) return widths;
  IJStyleRender* render = nullptr;
  EXPECT_EQ(style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render)), S_OK);
  if (render) {
    TestTarget target;
    TestGeometry line({0, 0, 0, 40, 0, 0, 40, 40, 0});
    const RenderContextScales context = Scales(1.0, 1.0, 1.0);
    tagStyleOverride record{};
    record.recordCode = kStyleOverrideRecordCode;
    EXPECT_EQ(render->RenderWithContext(&line.record, target.target(), &context, nullptr, &record, nullptr), S_OK);
    for (const SitheCall& call : target.Calls()) {
      if (std::string(call.name) == "SetPenWidth") widths.push_back(call.d[0]);
    }
    render->Release();
  }
  style->Release();
  return widths;
}

// An object of a class of the server with the interface asked for; null when there is none.
template <class T>
StyleComPtr<T> Make(const stylesrv_test::ServerModule& server, REFCLSID clsid, REFIID iid) {
  StyleComPtr<IClassFactory> factory;
  T* made = nullptr;
  if (SUCCEEDED(server.GetClassObject(clsid, IID_IClassFactory, factory.PutVoid()))) {
    factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&made));
  }
  EXPECT_NE(made, nullptr);
  return StyleComPtr<T>(made);
}

// The answer and the picture of one style drawn over the points.
std::string Picture(IUnknown* style, std::vector<double> xyz, const FillDrawingSetup* setup) {
  StyleComPtr<IJStyleRender> render;
  EXPECT_EQ(style->QueryInterface(IID_IJStyleRender, render.PutVoid()), S_OK);
  if (!render) return "no render interface";
  TestTarget target;
  TestGeometry geometry(std::move(xyz));
  const RenderContextScales context = Scales(1.0, 1.0, 1.0);
  tagStyleOverride record{};
  record.recordCode = kStyleOverrideRecordCode;
  const HRESULT hr = render->RenderWithContext(&geometry.record, target.target(), &context, nullptr, &record,
                                               AsSeventhArgument(setup));
  return std::to_string(hr) + "\n" + target.Svg();
}

// Each thread's scene, drawn through state the server keeps for the whole process: a line with a standard dash
// loaded from the resource module, and a hatch under a fill, cut into trapezoids from the fill's shared pools.
std::string DrawScene(const Common& common, int index) {
  const stylesrv_test::ServerModule& server = *common.server;
  const DWORD dashNumbers[kThreads] = {1, 2, 3, 4, 18, 20, 21, 22};
  std::string picture;
  StyleComPtr<IJStyleSimpleLine> line = Make<IJStyleSimpleLine>(server, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine);
  StyleComPtr<IJStyleSimpleDashType> dash =
      Make<IJStyleSimpleDashType>(server, CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType);
  if (line && dash) {
    EXPECT_EQ(common.setStdDash(line.Get(), dash.Get(), dashNumbers[index], 0x0000FF, 0.00035, STYLE_UNITS_11, TRUE),
              S_OK);
    const double end = 0.05 + 0.01 * index;
    picture += Picture(line.Get(), {0, 0, 0, end, 0, 0, end, end, 0}, nullptr);
  }
  StyleComPtr<IJStyleHatchFill> hatch = Make<IJStyleHatchFill>(server, CLSID_JStyleHatchFill, IID_IJStyleHatchFill);
  StyleComPtr<IJStyleSimpleFill> fill = Make<IJStyleSimpleFill>(server, CLSID_JStyleSimpleFill, IID_IJStyleSimpleFill);
  if (hatch && fill) {
    EXPECT_EQ(hatch->SetUnits(STYLE_UNITS_11), S_OK);
    for (const double angle : {0.1 + 0.2 * index, 1.7 + 0.2 * index}) {
      HatchFamilyDesc family{};
      family.angle = angle;
      family.spacing = 0.1;
      family.color = 0xFF0000;
      family.width = 0.0005;
      LONG at = -1;
      EXPECT_EQ(hatch->AddFamily(&family, &at), S_OK);
    }
    EXPECT_EQ(fill->SetColor(0x00FF00 + index), S_OK);
    EXPECT_EQ(fill->SetPattern(hatch.Get()), S_OK);
    // A square with a square hole, turned with the thread.
    const double a = 0.1 * index, c = std::cos(a), s = std::sin(a);
    std::vector<double> xyz;
    for (const auto& [x, y] : std::vector<std::pair<double, double>>{
             {0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {DBL_MAX, 0}, {0.3, 0.3}, {0.7, 0.3}, {0.7, 0.7}, {0.3, 0.7}}) {
      if (x == DBL_MAX) {
        xyz.insert(xyz.end(), {-DBL_MAX, -DBL_MAX, -DBL_MAX});
      } else {
        xyz.insert(xyz.end(), {c * x - s * y, s * x + c * y, 0});
      }
    }
    host_app::RenderContext context;
    FillDrawingSetup setup{};
    setup.context = &context;
    setup.unitsCode = STYLE_UNITS_11;
    picture += Picture(fill.Get(), xyz, &setup);
  }
  return picture;
}

void WriteFile(Worker& worker, int round) {
  worker.fileWidth = 0.25 * (worker.index + 1) + round / 4096.0;
  stylcst_test::WriteLibraryFile(worker.folder + L"\\" + kFileName,
                                 {{L"Shared", worker.fileWidth, L"Dots"}, {worker.OwnName().c_str(), 0.5}});
}

// The custodian of the thread, started afresh, with the two file types and the one folder of this thread.
IJSCustodian* StartCustodian(Worker& worker, const std::string& where) {
  const stylcst_test::Service& service = *worker.common->service;
  EXPECT_EQ(service.start(), S_OK) << where;
  IJSCustodian* custodian = nullptr;
  EXPECT_EQ(service.get(&custodian), S_OK) << where;
  if (!custodian) return nullptr;
  EXPECT_EQ(IdentityOf(custodian), worker.block->custodian) << where << ": the custodian is the one in the block";
  EXPECT_EQ(custodian->RegisterFileType(&CLSID_JVOQStyleAccess, L"stl"), S_OK) << where;
  EXPECT_EQ(custodian->RegisterFileType(&CLSID_JVOQStyleAccess, worker.Extension().c_str()), S_OK) << where;
  EXPECT_EQ(FileTypes(custodian), (std::vector<std::wstring>{L"RSC", L"STL", worker.Extension()})) << where;
  IJStyleSearchPath* path = stylcst_test::Query<IJStyleSearchPath>(custodian, IID_IJStyleSearchPath);
  if (path) {
    EXPECT_EQ(path->Add(worker.folder.c_str(), nullptr), S_OK) << where;
    EXPECT_EQ(SearchPath(path), std::vector<std::wstring>{worker.folder}) << where;
    WCHAR found[MAX_PATH] = L"";
    DWORD index = 99;
    EXPECT_EQ(path->FindFile(kFileName, found, nullptr, &index), S_OK) << where;
    EXPECT_EQ(found, worker.folder + L"\\" + kFileName) << where;
    EXPECT_EQ(index, 0u) << where;
    path->Release();
  }
  return custodian;
}

// One round of a thread; the custodian of the last round keeps running for the meeting.
void Round(Worker& worker, int round) {
  const Common& common = *worker.common;
  const std::string where = "thread " + std::to_string(worker.index) + ", round " + std::to_string(round);
  const DWORD persistIds = static_cast<DWORD>(worker.index) << 16 | static_cast<DWORD>(round);
  EXPECT_EQ(common.server->internals().GetStyleTlsBlock(), worker.block) << where << ": the thread's block";
  EXPECT_EQ(worker.block->custodian, nullptr) << where << ": the last round stopped its custodian";
  EXPECT_EQ(common.setPersistIdsState(persistIds), S_OK) << where;

  IJSCustodian* custodian = StartCustodian(worker, where);
  if (!custodian) return;
  {
    stylcst_test::DocumentLibrary document(*common.server);
    const double ownWidth = 1.0 + worker.index;
    const DWORD own = document.AddLine(L"Own", ownWidth);
    // Now and then a file of another version after the thread's own: it stops the load.
    const bool withOld = round % 16 == worker.index;
    document.ListFiles(withOld ? std::vector<std::wstring>{kFileName, kOldFileName}
                               : std::vector<std::wstring>{kFileName});
    EXPECT_EQ(document.librarian->LoadResourceStyleNames(), withOld ? E_ACCESSDENIED : S_OK) << where;
    DWORD shared = 0;
    DWORD id = 0;
    EXPECT_EQ(document.librarian->FindOrCreateStyleID(L"Shared", &STYLETYPE_Linear, &shared),
              withOld ? kNameUnknown : S_OK)
        << where;
    EXPECT_EQ(document.librarian->FindOrCreateStyleID(worker.OwnName().c_str(), &STYLETYPE_Linear, &id),
              withOld ? kNameUnknown : S_OK)
        << where;
    EXPECT_EQ(document.librarian->FindOrCreateStyleID(worker.OtherName().c_str(), &STYLETYPE_Linear, &id), kNameUnknown)
        << where << ": another thread's name";
    if (shared) {
      EXPECT_THAT(DrawnWidths(document.librarian, shared), ::testing::Each(worker.fileWidth)) << where;
    }
    EXPECT_THAT(DrawnWidths(document.librarian, own), ::testing::ElementsAre(ownWidth)) << where;
    // The line keeps its entry and loses its name; the library then loads its files' names again, which the
    // file of another version stops once more.
    EXPECT_EQ(document.librarian->RemoveStyle(own), withOld ? E_ACCESSDENIED : S_OK) << where;
    EXPECT_NE(document.librarian->FindStyleIDByName(L"Own", &STYLETYPE_Linear, &id), S_OK) << where;
  }
  // The scene draws the same in every round.
  const std::string scene = DrawScene(common, worker.index);
  if (round == 0) worker.scene = scene;
  EXPECT_EQ(scene, worker.scene) << where << ": the scene drew otherwise than in the first round";
  DWORD state = 0;
  EXPECT_EQ(common.getPersistIdsState(&state), S_OK) << where;
  EXPECT_EQ(state, persistIds) << where << ": the thread's persist-ID state";
  EXPECT_EQ(common.service->release(custodian), S_OK) << where;
  if (round + 1 == common.rounds) return;
  EXPECT_EQ(common.service->stop(), S_OK) << where;
  EXPECT_EQ(worker.block->custodian, nullptr) << where;
  // With its custodian gone the file is closed and may be written again.
  if (round % 32 == 31) WriteFile(worker, round);
}

DWORD WINAPI RunWorker(void* argument) {
  Worker& worker = *static_cast<Worker*>(argument);
  const Common& common = *worker.common;
  // A host initialises COM on its threads before it calls in, and has its classes registered in each apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EXPECT_EQ(com, S_OK);
  {
    stylcst_test::ClassRegistration classes(*common.server);
    worker.block = common.server->internals().GetStyleTlsBlock();
    EXPECT_NE(worker.block, nullptr) << "a thread started after the load has its block";
    if (worker.block) {
      WriteFile(worker, 0);
      for (int round = 0; round < common.rounds && !::testing::Test::HasFailure(); ++round, ++worker.rounds) {
        Round(worker, round);
      }
      worker.custodian = worker.block->custodian;
    }
    common.meeting->Wait();  // the main thread looks at the running custodians
    common.meeting->Wait();
    const HRESULT stopped = common.service->stop();
    EXPECT_TRUE(stopped == S_OK || stopped == kCustodianNotRunning) << std::hex << stopped;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

int Rounds() {
  char text[16];
  const DWORD n = GetEnvironmentVariableA("STYLESRV_STRESS_ROUNDS", text, sizeof text);
  const int rounds = n > 0 && n < sizeof text ? std::atoi(text) : 0;
  return rounds > 0 ? rounds : 300;
}

TEST(ThreadStress, EightThreadsEachKeepTheirOwnState) {
  stylesrv_test::ServerModule server;
  ASSERT_TRUE(server.loaded());
  stylcst_test::SetCurrentVersion();
  stylcst_test::UseOwnTemporaryFolder(L"stress-temporary");
  const stylcst_test::Service service(server);
  Meeting meeting(kThreads + 1);
  const Common common{
      &server,
      &service,
      stylesrv_test::FindExport<decltype(common.setPersistIdsState)>(server.handle(), "HStyleAssignPersistIdsCallback"),
      stylesrv_test::FindExport<decltype(common.getPersistIdsState)>(server.handle(), "HStyleGetAssignPersistIdsState"),
      stylesrv_test::FindExport<decltype(common.setStdDash)>(server.handle(), "HSetStdDashStyleData"),
      &meeting,
      Rounds()};
  ASSERT_TRUE(common.setPersistIdsState && common.getPersistIdsState && common.setStdDash);
  const LONG objects = server.internals().GetLiveObjectCount();
  const LONG blocks = EngineLiveBlocks();
  const LONG documents = HostDocumentLiveCount();
  const std::vector<std::wstring> copies = stylcst_test::TemporaryCopies();

  std::vector<Worker> workers(kThreads);
  {
    // The file of another version that some rounds list, in every thread's folder; written before they start.
    stylcst_test::ClassRegistration classes(server);
    for (int i = 0; i < kThreads; ++i) {
      workers[i].index = i;
      workers[i].common = &common;
      workers[i].folder = stylcst_test::Folder(L"stress-" + std::to_wstring(i));
      CreateDirectoryW(workers[i].folder.c_str(), nullptr);
      stylcst_test::WriteLibraryFile(workers[i].folder + L"\\" + kOldFileName, {{L"Old", 0.75}}, 2);
    }
  }
  const DWORD start = GetTickCount();
  std::vector<HANDLE> threads;
  for (Worker& worker : workers) threads.push_back(CreateThread(nullptr, 0, &RunWorker, &worker, 0, nullptr));
  ASSERT_EQ(std::count(threads.begin(), threads.end(), nullptr), 0);

  meeting.Wait();
  // Every thread has a block and a custodian of its own, and while they run the server stays loaded.
  std::set<void*> blocksSeen, custodiansSeen;
  for (const Worker& worker : workers) {
    EXPECT_EQ(worker.rounds, common.rounds) << "thread " << worker.index;
    blocksSeen.insert(worker.block);
    custodiansSeen.insert(worker.custodian);
  }
  EXPECT_EQ(blocksSeen.size(), std::size_t{kThreads});
  EXPECT_EQ(custodiansSeen.size(), std::size_t{kThreads});
  EXPECT_EQ(custodiansSeen.count(nullptr), 0u);
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE) << "the custodians are alive";
  meeting.Wait();
  WaitForMultipleObjects(kThreads, threads.data(), TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);
  std::printf("[ stress   ] %d threads, %d rounds each, in %lu ms\n", kThreads, common.rounds,
              static_cast<unsigned long>(GetTickCount() - start));

  EXPECT_EQ(server.internals().GetLiveObjectCount(), objects);
  EXPECT_EQ(server.CanUnloadNow(), S_OK) << "the custodians are stopped";
  EXPECT_EQ(EngineLiveBlocks(), blocks);
  EXPECT_EQ(HostDocumentLiveCount(), documents);
  EXPECT_EQ(stylcst_test::TemporaryCopies(), copies);
  // Drawn again on one thread alone, each scene is what its thread drew among the others.
  for (const Worker& worker : workers) {
    EXPECT_EQ(DrawScene(common, worker.index), worker.scene) << "thread " << worker.index;
  }
}

}  // namespace
