#include <cstdlib>
#include <cstring>

#include "tests/support/stylesrv_test.h"

namespace {

// Signals between a test and the thread it runs.
struct Gate {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~Gate() { CloseHandle(event); }
  void Open() { SetEvent(event); }
  void Wait() { WaitForSingleObject(event, INFINITE); }
};

struct ThreadView {
  const StyleServerInternals* server = nullptr;
  bool hasBlock = false;
  bool blockZero = false;
  bool accessorsInBlock = false;
  bool noAccessors = false;
  bool setScratch = false;
  Gate ready;    // the thread looked at its block
  Gate proceed;  // the thread may go on to its end
  Gate go;       // the thread may look
};

void LookAtBlock(ThreadView& view) {
  StyleTlsBlock* block = view.server->GetStyleTlsBlock();
  view.hasBlock = block != nullptr;
  if (block) {
    static const StyleTlsBlock zero{};
    view.blockZero = std::memcmp(block, &zero, sizeof zero) == 0;
    view.accessorsInBlock = view.server->GetTlsConversionState() == &block->conversionPending &&
                            view.server->GetTlsCustodianSlot() == &block->custodian;
    // What the text character style does on the thread; the block's end must free it.
    if (view.setScratch) block->textScratch = std::malloc(16);
  } else {
    view.noAccessors = !view.server->GetTlsConversionState() && !view.server->GetTlsCustodianSlot();
  }
}

DWORD WINAPI LookAndLeave(void* arg) {
  auto& view = *static_cast<ThreadView*>(arg);
  LookAtBlock(view);
  return 0;
}

DWORD WINAPI LookThenWait(void* arg) {
  auto& view = *static_cast<ThreadView*>(arg);
  LookAtBlock(view);
  view.ready.Open();
  view.proceed.Wait();
  return 0;
}

DWORD WINAPI WaitThenLook(void* arg) {
  auto& view = *static_cast<ThreadView*>(arg);
  view.ready.Open();
  view.go.Wait();
  LookAtBlock(view);
  return 0;
}

void Join(HANDLE thread) {
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

TEST(ThreadBlockTest, LoadingThreadHasABlockAndTheResourceModuleIsAttached) {
  stylesrv_test::ServerModule server;
  ASSERT_TRUE(server.loaded());
  ThreadView view;
  view.server = &server.internals();
  LookAtBlock(view);
  EXPECT_TRUE(view.hasBlock);
  EXPECT_TRUE(view.blockZero);
  EXPECT_TRUE(view.accessorsInBlock);

  HMODULE resources = server.internals().GetResourceModule();
  ASSERT_NE(resources, nullptr);
  EXPECT_EQ(resources, GetModuleHandleA("Tellury.drx"));
}

TEST(ThreadBlockTest, ThreadStartedAfterLoadingGetsAZeroedBlockAndFreesItAtItsEnd) {
  stylesrv_test::ServerModule server;
  ASSERT_TRUE(server.loaded());
  StyleTlsProbe probe{};
  server.internals().SetTlsProbe(&probe);
  const UINT blocks = server.internals().GetTlsBlockCount();

  ThreadView view;
  view.server = &server.internals();
  view.setScratch = true;
  Join(CreateThread(nullptr, 0, &LookAndLeave, &view, 0, nullptr));

  EXPECT_TRUE(view.hasBlock);
  EXPECT_TRUE(view.blockZero);
  EXPECT_TRUE(view.accessorsInBlock);
  EXPECT_EQ(probe.blocksAttached, 1);
  EXPECT_EQ(probe.blocksFreed, 1);
  EXPECT_EQ(probe.textScratchFreed, 1);
  EXPECT_EQ(server.internals().GetTlsBlockCount(), blocks);
  server.internals().SetTlsProbe(nullptr);
}

TEST(ThreadBlockTest, ThreadRunningBeforeLoadingHasNoBlock) {
  ThreadView view;
  HANDLE thread = CreateThread(nullptr, 0, &WaitThenLook, &view, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  // Only a thread that already runs is passed over: one that starts later is attached like any other.
  view.ready.Wait();
  {
    stylesrv_test::ServerModule server;
    ASSERT_TRUE(server.loaded());
    const UINT blocks = server.internals().GetTlsBlockCount();
    view.server = &server.internals();
    view.go.Open();
    Join(thread);
    EXPECT_FALSE(view.hasBlock);
    EXPECT_TRUE(view.noAccessors);
    EXPECT_EQ(server.internals().GetTlsBlockCount(), blocks);
  }
}

TEST(ThreadBlockTest, ProcessDetachFreesTheBlocksOfTheLoadingThreadAndOfThreadsStillRunning) {
  const LONG chunks = JPlexLiveChunks();
  StyleTlsProbe probe{};
  ThreadView view;
  view.setScratch = true;
  HANDLE thread = nullptr;
  {
    stylesrv_test::ServerModule server;
    ASSERT_TRUE(server.loaded());
    EXPECT_EQ(JPlexLiveChunks(), chunks + 1);
    server.internals().SetTlsProbe(&probe);
    view.server = &server.internals();
    thread = CreateThread(nullptr, 0, &LookThenWait, &view, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    view.ready.Wait();
    ASSERT_TRUE(view.hasBlock);
    EXPECT_EQ(server.internals().GetTlsBlockCount(), 2u);
  }
  // The library is gone while the thread still runs: its block and this thread's went with it.
  EXPECT_EQ(probe.blocksAttached, 1);
  EXPECT_EQ(probe.blocksFreed, 2);
  EXPECT_EQ(probe.textScratchFreed, 1);
  EXPECT_EQ(JPlexLiveChunks(), chunks);
  EXPECT_EQ(GetModuleHandleA("Tellury.drx"), nullptr);
  view.proceed.Open();
  Join(thread);
}

}  // namespace
