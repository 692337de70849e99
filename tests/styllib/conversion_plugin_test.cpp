// The conversion exports with the plug-in absent, and with a test build of it copied beside the program: what
// each forwards, what it answers, and when the plug-in is loaded and let go.
#include <cstdio>
#include <string>

#include "display/style/stylspt/ConversionPlugin.h"
#include "host/mossgrave/mossgrave.h"
#include "tests/styllib/library_fixtures.h"

using stylesrv_test::FindExport;

namespace {

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// The test run's own working folder: the platform's search finds a plug-in there, and no other test program
// does.
std::string CurrentFolder() {
  char path[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, path);
  return std::string(path) + "\\";
}

class ConversionPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.loaded());
    const HMODULE dll = server.handle();
    styleConvertR1 = FindExport<decltype(&HStyleConvertR1)>(dll, "HStyleConvertR1");
    postUnknown = FindExport<decltype(&HPostR1UnknownForConversion)>(dll, "HPostR1UnknownForConversion");
    postForAfterAux = FindExport<decltype(&HPostR1forAfterAuxConversion)>(dll, "HPostR1forAfterAuxConversion");
    postExceptions =
        FindExport<decltype(&HPostR1ExceptionsforAfterAuxConversion)>(dll, "HPostR1ExceptionsforAfterAuxConversion");
    markStyleAsUsed = FindExport<decltype(&HConvertMarkStyleAsUsed)>(dll, "HConvertMarkStyleAsUsed");
    getTlsListPtrs = FindExport<decltype(&HGetTLSListPtrs)>(dll, "HGetTLSListPtrs");
    setTlsListPtrs = FindExport<decltype(&HSetTLSListPtrs)>(dll, "HSetTLSListPtrs");
    afterAux = FindExport<decltype(&HAfterAuxConversion)>(dll, "HAfterAuxConversion");
    unload = FindExport<decltype(&UnloadMossgraveDll)>(dll, "UnloadMossgraveDll");
    ASSERT_TRUE(styleConvertR1 && postUnknown && postForAfterAux && postExceptions && markStyleAsUsed &&
                getTlsListPtrs && setTlsListPtrs && afterAux && unload);
    pending = server.internals().GetTlsConversionState();
    ASSERT_NE(pending, nullptr);

    char address[32];
    std::snprintf(address, sizeof address, "%lx", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(&log)));
    SetEnvironmentVariableA(MOSSGRAVE_LOG_VARIABLE, address);
    installed = CurrentFolder() + "Mossgrave.dex";
    DeleteFileA(installed.c_str());
    unload();
  }
  void TearDown() override {
    unload();
    DeleteFileA(installed.c_str());
    SetEnvironmentVariableA(MOSSGRAVE_LOG_VARIABLE, nullptr);
  }

  // Puts a build of the plug-in in the working folder, where the platform's search finds it.
  void Install(const char* variant) {
    const std::string source = ProgramFolder() + "..\\mossgrave\\" + variant + "\\Mossgrave.dex";
    ASSERT_TRUE(CopyFileA(source.c_str(), installed.c_str(), FALSE)) << source;
  }
  static bool PluginLoaded() { return GetModuleHandleA("Mossgrave.dex") != nullptr; }

  stylesrv_test::ServerModule server;
  MossgraveLog log{};
  std::string installed;
  std::uint32_t* pending = nullptr;
  decltype(&HStyleConvertR1) styleConvertR1 = nullptr;
  decltype(&HPostR1UnknownForConversion) postUnknown = nullptr;
  decltype(&HPostR1forAfterAuxConversion) postForAfterAux = nullptr;
  decltype(&HPostR1ExceptionsforAfterAuxConversion) postExceptions = nullptr;
  decltype(&HConvertMarkStyleAsUsed) markStyleAsUsed = nullptr;
  decltype(&HGetTLSListPtrs) getTlsListPtrs = nullptr;
  decltype(&HSetTLSListPtrs) setTlsListPtrs = nullptr;
  decltype(&HAfterAuxConversion) afterAux = nullptr;
  decltype(&UnloadMossgraveDll) unload = nullptr;
};

TEST_F(ConversionPluginTest, WithoutThePluginEveryExportThatNeedsItFails) {
  EXPECT_EQ(styleConvertR1(1, 2, 0, 4, 5, 6), S_OK);  // nothing to convert
  EXPECT_EQ(styleConvertR1(1, 2, 3, 4, 5, 6), E_FAIL);
  EXPECT_EQ(postUnknown(1), E_FAIL);
  EXPECT_EQ(markStyleAsUsed(1), E_FAIL);
  EXPECT_EQ(getTlsListPtrs(1, 2), E_FAIL);
  EXPECT_EQ(setTlsListPtrs(nullptr, nullptr), E_FAIL);
  EXPECT_EQ(afterAux(1), S_OK);  // nothing posted on this thread
  EXPECT_EQ(*pending, 0u);

  // A post marks the thread even when it cannot be forwarded; the auxiliary conversion then tries and fails.
  EXPECT_EQ(postForAfterAux(1), E_FAIL);
  EXPECT_EQ(*pending, 1u);
  EXPECT_EQ(afterAux(1), E_FAIL);
  EXPECT_EQ(*pending, 1u);
  unload();
  EXPECT_EQ(*pending, 0u);
  EXPECT_EQ(postExceptions(1), E_FAIL);
  EXPECT_EQ(*pending, 1u);
  EXPECT_EQ(log.attaches, 0);
  EXPECT_EQ(log.count, 0);

  // A plug-in put there later is found by the next call.
  Install("full");
  EXPECT_EQ(postUnknown(7), S_OK);
  EXPECT_EQ(log.attaches, 1);
}

TEST_F(ConversionPluginTest, EachExportForwardsItsArgumentsAndAnswerUnchangedToThePluginLoadedOnce) {
  Install("full");
  for (DWORD i = 0; i < MOSSGRAVE_ENTRY_COUNT; ++i) log.answers[i] = static_cast<HRESULT>(0x80040100 + i);
  int probeA = 0, probeB = 0;

  EXPECT_EQ(styleConvertR1(11, 12, 13, 14, 15, 16), static_cast<HRESULT>(0x80040100));
  EXPECT_EQ(postUnknown(21), static_cast<HRESULT>(0x80040101));
  EXPECT_EQ(postForAfterAux(31), static_cast<HRESULT>(0x80040102));
  EXPECT_EQ(markStyleAsUsed(41), static_cast<HRESULT>(0x80040104));
  EXPECT_EQ(postExceptions(51), static_cast<HRESULT>(0x80040105));
  EXPECT_EQ(setTlsListPtrs(&probeA, &probeB), static_cast<HRESULT>(0x80040106));
  EXPECT_EQ(getTlsListPtrs(61, 62), static_cast<HRESULT>(0x80040107));
  // The plug-in was there before: the auxiliary conversion leaves it loaded and the thread marked.
  EXPECT_EQ(afterAux(71), static_cast<HRESULT>(0x80040103));
  EXPECT_TRUE(PluginLoaded());
  EXPECT_EQ(*pending, 1u);
  EXPECT_EQ(log.attaches, 1);

  ASSERT_EQ(log.count, 8);
  const DWORD ptrA = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(&probeA));
  const DWORD ptrB = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(&probeB));
  const MossgraveCall expected[] = {
      {MOSSGRAVE_STYLE_CONVERT_R1, {11, 12, 13, 14, 15, 16}}, {MOSSGRAVE_POST_UNKNOWN, {21}},
      {MOSSGRAVE_POST_FOR_AFTER_AUX, {31}},                  {MOSSGRAVE_MARK_STYLE_AS_USED, {41}},
      {MOSSGRAVE_POST_EXCEPTIONS, {51}},                     {MOSSGRAVE_SET_TLS_LIST_PTRS, {ptrA, ptrB}},
      {MOSSGRAVE_GET_TLS_LIST_PTRS, {61, 62}},               {MOSSGRAVE_AFTER_AUX, {71}}};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log.calls[i].entry, expected[i].entry);
    for (int a = 0; a < 6; ++a) EXPECT_EQ(log.calls[i].args[a], expected[i].args[a]);
  }

  // A loaded plug-in also gets a conversion without a third argument.
  log.answers[MOSSGRAVE_STYLE_CONVERT_R1] = S_FALSE;
  EXPECT_EQ(styleConvertR1(1, 2, 0, 4, 5, 6), S_FALSE);

  // Two null list pointers are forwarded and end the conversion.
  log.answers[MOSSGRAVE_SET_TLS_LIST_PTRS] = S_OK;
  EXPECT_EQ(setTlsListPtrs(nullptr, nullptr), S_OK);
  EXPECT_EQ(log.count, 10);
  EXPECT_EQ(log.calls[9].entry, DWORD{MOSSGRAVE_SET_TLS_LIST_PTRS});
  EXPECT_FALSE(PluginLoaded());
  EXPECT_EQ(log.detaches, 1);
  EXPECT_EQ(*pending, 0u);

  // Gone, the list pointers are not forwarded; the next forwarding export loads the plug-in again.
  EXPECT_EQ(setTlsListPtrs(&probeA, nullptr), E_FAIL);
  EXPECT_EQ(log.attaches, 1);
  EXPECT_EQ(markStyleAsUsed(3), static_cast<HRESULT>(0x80040104));
  EXPECT_EQ(log.attaches, 2);
  unload();
  EXPECT_FALSE(PluginLoaded());
  EXPECT_EQ(log.detaches, 2);
}

TEST_F(ConversionPluginTest, TheAuxiliaryConversionLoadsThePluginForItselfOnlyWhenTheThreadPosted) {
  Install("full");
  log.answers[MOSSGRAVE_AFTER_AUX] = static_cast<HRESULT>(0x00040200);
  EXPECT_EQ(afterAux(5), S_OK);
  EXPECT_EQ(log.attaches, 0);

  *pending = 1;
  EXPECT_EQ(afterAux(5), static_cast<HRESULT>(0x00040200));
  EXPECT_EQ(log.attaches, 1);
  EXPECT_EQ(log.detaches, 1);
  EXPECT_FALSE(PluginLoaded());
  EXPECT_EQ(*pending, 0u);
  ASSERT_EQ(log.count, 1);
  EXPECT_EQ(log.calls[0].entry, DWORD{MOSSGRAVE_AFTER_AUX});
  EXPECT_EQ(log.calls[0].args[0], 5u);
}

TEST_F(ConversionPluginTest, APluginWithoutTheExceptionsEntryStillGetsTheListPointers) {
  Install("partial");
  log.answers[MOSSGRAVE_GET_TLS_LIST_PTRS] = static_cast<HRESULT>(0x00040300);
  EXPECT_EQ(postExceptions(1), E_FAIL);
  EXPECT_EQ(*pending, 1u);
  EXPECT_EQ(log.attaches, 1);
  EXPECT_EQ(getTlsListPtrs(8, 9), static_cast<HRESULT>(0x00040300));
  EXPECT_EQ(setTlsListPtrs(nullptr, nullptr), S_OK);
  EXPECT_FALSE(PluginLoaded());
  ASSERT_EQ(log.count, 2);
  EXPECT_EQ(log.calls[0].entry, DWORD{MOSSGRAVE_GET_TLS_LIST_PTRS});
  EXPECT_EQ(log.calls[1].entry, DWORD{MOSSGRAVE_SET_TLS_LIST_PTRS});
}

// A library loaded through the document posts itself for the auxiliary conversion of the older release.
TEST_F(ConversionPluginTest, ALoadedLibraryIsPostedToThePlugin) {
  Install("full");
  styllib_test::TestLibrary library;
  library.AddLine(L"Posted");
  TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ASSERT_EQ(ArchiveSerializeObject(archive.get(), library.librarian), S_OK);
  EXPECT_EQ(log.count, 0);
  archive.Reload();
  EXPECT_EQ(ArchiveSerializeObject(archive.get(), library.librarian), S_OK);
  ASSERT_EQ(log.count, 1);
  EXPECT_EQ(log.calls[0].entry, DWORD{MOSSGRAVE_POST_FOR_AFTER_AUX});
  EXPECT_EQ(log.calls[0].args[0],
            static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(styllib_test::IdentityOf(library.librarian))));
  EXPECT_EQ(*pending, 1u);
}

}  // namespace
