// The custodian service: sequences of calls on one thread, and a thread that has no per-thread block.
#include "tests/stylcst/custodian_fixtures.h"

namespace {

constexpr HRESULT kNotRunning = 1062;

// Get keeps the reference handed out; ReleaseHeld gives the last one back, ReleaseAgain gives it back once
// more (the caller then holds none of its own); ReleaseOther gives back a custodian that is not the thread's.
enum class Step { Start, Stop, Get, GetNull, ReleaseHeld, ReleaseAgain, ReleaseNull, ReleaseOther };

struct Call {
  Step step;
  HRESULT answer;
  bool reported;
};

TEST(CustodianServiceTest, SequencesOfCallsOnOneThread) {
  struct Row {
    const char* what;
    std::vector<Call> calls;
    bool runsAfter;
  };
  const Row rows[] = {
      {"stop without start", {{Step::Stop, kNotRunning, false}}, false},
      {"start, stop, stop", {{Step::Start, S_OK, false}, {Step::Stop, S_OK, false}, {Step::Stop, kNotRunning, false}},
       false},
      {"a second start keeps the first", {{Step::Start, S_OK, false}, {Step::Start, S_FALSE, false}}, true},
      {"get without start", {{Step::Get, S_OK, false}, {Step::ReleaseHeld, S_OK, false}}, true},
      {"stop while a reference is out",
       {{Step::Start, S_OK, false},
        {Step::Get, S_OK, false},
        {Step::Get, S_OK, false},
        {Step::ReleaseHeld, S_OK, false},
        {Step::Stop, E_UNEXPECTED, true},
        {Step::ReleaseHeld, S_OK, false},
        {Step::Stop, S_OK, false}},
       false},
      {"a release by a caller without a reference",
       {{Step::Get, S_OK, false}, {Step::ReleaseHeld, S_OK, false}, {Step::ReleaseAgain, E_FAIL, true}},
       true},
      {"another custodian", {{Step::Start, S_OK, false}, {Step::ReleaseOther, E_INVALIDARG, true}}, true},
      {"null arguments",
       {{Step::ReleaseNull, kNotRunning, false},
        {Step::GetNull, E_INVALIDARG, true},
        {Step::Start, S_OK, false},
        {Step::ReleaseNull, E_INVALIDARG, true}},
       true},
  };
  stylesrv_test::ServerModule server;
  const stylcst_test::Service service(server);
  IUnknown** word = server.internals().GetTlsCustodianSlot();
  ASSERT_NE(word, nullptr);
  const LONG objects = server.internals().GetLiveObjectCount();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<IJSCustodian*> held;
    IJSCustodian* given = nullptr;
    IUnknown* first = nullptr;
    for (const Call& call : row.calls) {
      stylesrv_test::ClearReports();
      HRESULT hr = E_NOTIMPL;
      IJSCustodian* custodian = nullptr;
      switch (call.step) {
        case Step::Start: hr = service.start(); break;
        case Step::Stop: hr = service.stop(); break;
        case Step::Get:
          hr = service.get(&custodian);
          if (custodian) held.push_back(custodian);
          break;
        case Step::GetNull: hr = service.get(nullptr); break;
        case Step::ReleaseHeld:
          given = held.back();
          held.pop_back();
          hr = service.release(given);
          break;
        case Step::ReleaseAgain: hr = service.release(given); break;
        case Step::ReleaseNull: hr = service.release(nullptr); break;
        case Step::ReleaseOther: {
          IClassFactory* factory = nullptr;
          EXPECT_EQ(server.GetClassObject(CLSID_JSCustodian, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                    S_OK);
          EXPECT_EQ(factory->CreateInstance(nullptr, IID_IJSCustodian, reinterpret_cast<void**>(&custodian)), S_OK);
          factory->Release();
          hr = service.release(custodian);
          EXPECT_EQ(custodian->Release(), 0u) << "the service released another's custodian";
          break;
        }
      }
      EXPECT_EQ(hr, call.answer) << static_cast<int>(call.step);
      EXPECT_EQ(stylesrv_test::Reports().size(), call.reported ? 1u : 0u) << static_cast<int>(call.step);
      // One custodian in the word from its start to its stop, and the one handed out.
      if (*word && !first) first = *word;
      if (*word) { EXPECT_EQ(*word, first); }
      for (IJSCustodian* out : held) EXPECT_EQ(stylesrv_test::IdentityOf(out), *word);
    }
    EXPECT_TRUE(held.empty());
    EXPECT_EQ(*word != nullptr, row.runsAfter);
    if (*word) { EXPECT_EQ(service.stop(), S_OK); }
    EXPECT_EQ(server.internals().GetLiveObjectCount(), objects);
  }
}

struct EarlyThread {
  const stylcst_test::Service* service = nullptr;
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  IJSCustodian* custodian = nullptr;
  HRESULT answers[4] = {};
};

DWORD WINAPI RunEarlyThread(void* arg) {
  auto& run = *static_cast<EarlyThread*>(arg);
  SetEvent(run.ready);
  WaitForSingleObject(run.go, INFINITE);
  run.answers[0] = run.service->start();
  run.answers[1] = run.service->get(&run.custodian);
  run.answers[2] = run.service->stop();
  run.answers[3] = run.service->release(nullptr);
  return 0;
}

TEST(CustodianServiceTest, AThreadWithoutABlockRunsNoCustodian) {
  EarlyThread run;
  // Running before the library is loaded, the thread never gets its block.
  HANDLE thread = CreateThread(nullptr, 0, &RunEarlyThread, &run, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(run.ready, INFINITE);
  {
    stylesrv_test::ServerModule server;
    const stylcst_test::Service service(server);
    run.service = &service;
    stylesrv_test::ClearReports();
    SetEvent(run.go);
    WaitForSingleObject(thread, INFINITE);
    EXPECT_EQ(run.answers[0], E_FAIL);
    EXPECT_EQ(run.answers[1], E_FAIL);
    EXPECT_EQ(run.answers[2], kNotRunning);
    EXPECT_EQ(run.answers[3], kNotRunning);
    EXPECT_EQ(run.custodian, nullptr);
    EXPECT_EQ(stylesrv_test::Reports().size(), 2u) << "the start and the get are reported, the 1062 answers not";
  }
  for (HANDLE handle : {thread, run.ready, run.go}) CloseHandle(handle);
}

}  // namespace
