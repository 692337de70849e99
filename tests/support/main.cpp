// The main of every Windows test executable. After the last test it fails the run when an object of the server
// is still alive, a server lock is still held or a block of the engine allocator was never freed, counting what
// copies of stylesrv.dll unloaded during the run still held: a leaked reference anywhere fails the suite.
#include <gtest/gtest.h>

#include "tests/support/stylesrv_test.h"

namespace {

// GoogleTest gives a thread a watcher thread the first time the thread keeps a thread-local value (its first
// SCOPED_TRACE, say). Started by one of the last tests, the watcher may still be starting up when the process
// ends, and Wine then kills the process with a segmentation fault after every test has passed. So the main
// thread takes its value before the first test, and the run waits until a thread has attached since.
volatile LONG g_threadAttaches = 0;

void NTAPI CountThreadAttach(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_ATTACH) InterlockedIncrement(&g_threadAttaches);
}

// Called by the loader for every thread of the program, from the runtime's list of TLS callbacks.
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK kCountThreadAttach =
    CountThreadAttach;

void StartMainThreadWatcher() {
  const LONG before = g_threadAttaches;
  { SCOPED_TRACE("the main thread's trace stack"); }
  for (int waited = 0; g_threadAttaches == before && waited < 5000; ++waited) Sleep(1);
}

class ServerLeakCheck : public ::testing::Environment {
 public:
  void TearDown() override {
    {
      stylesrv_test::ServerModule server;
      if (server.loaded()) {
        const stylesrv_test::ServerCounts gone = stylesrv_test::UnloadedCopyCounts();
        EXPECT_EQ(gone.objects + server.internals().GetLiveObjectCount(), 0) << "objects of stylesrv are still alive";
        EXPECT_EQ(gone.locks + server.internals().GetServerLockCount(), 0) << "server locks are still held";
        EXPECT_EQ(server.CanUnloadNow(), S_OK) << "DllCanUnloadNow";
      }
    }
    EXPECT_EQ(EngineLiveBlocks(), 0) << "blocks of the engine allocator were never freed";
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ServerLeakCheck);
  StartMainThreadWatcher();
  // A host initialises COM on its threads before it calls in; the server itself never does.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = RUN_ALL_TESTS();
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
