// The object callback: a copied element's style carried from the source document's library into the target's,
// with the librarians looked up once per pair of documents, as the host's copies reach it.
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/app/graphic_element.h"
#include "host/halvorn/elements.h"
#include "tests/styllib/library_fixtures.h"

namespace {

using host_app::ElementOp;
using host_app::GraphicElementSetup;
using stylesrv_test::CallSlot;
using stylesrv_test::IsReport;
using styllib_test::IdentityOf;
using styllib_test::TestLibrary;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kSource[] = "JSTYOBCB";

class ObjectCallbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const TestLibrary* library : {&source, &target, &other}) Name(*library, library->librarian);
    setState = stylesrv_test::FindExport<decltype(&HStyleAssignPersistIdsCallback)>(server.handle(),
                                                                                   "HStyleAssignPersistIdsCallback");
    ASSERT_NE(setState, nullptr);
    ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JStyleObjectCallback, IID_IJObjectCallback,
                                         reinterpret_cast<void**>(&callback)),
              S_OK);
    stylesrv_test::ClearReports();
    HostClearNotifications();
    host_app::ClearElementCalls();
  }
  void TearDown() override {
    setState(0);
    if (callback) callback->Release();
  }

  // The library answers as its document's "StyleLibrarian" (null: the document keeps none).
  static void Name(const TestLibrary& library, IUnknown* librarian) {
    HostDocumentSetNamedObject(library.document, L"StyleLibrarian", librarian);
  }
  HRESULT Copy(IUnknown* element, IUnknown* copy, const TestLibrary& to) const {
    return callback->OnObjectCopied(source.document, element, to.document, copy);
  }
  // The engine's marks of a library since the last HostClearNotifications.
  static size_t Marks(const TestLibrary& library) {
    size_t n = 0;
    for (const HostNotification& mark : styllib_test::NotificationsOf(HOST_MARK_MODIFIED)) {
      n += mark.object == IdentityOf(library.librarian);
    }
    return n;
  }
  static std::vector<PellowReport> Reported() {
    std::vector<PellowReport> mine;
    for (const PellowReport& report : stylesrv_test::Reports()) {
      if (std::string(report.source) == kSource) mine.push_back(report);
    }
    return mine;
  }
  // An element that keeps a style ID.
  static StyleComPtr<IUnknown> Element(DWORD styleID = 0) {
    GraphicElementSetup setup;
    setup.styled = true;
    setup.styleID = styleID;
    return StyleComPtr<IUnknown>(host_app::CreateGraphicElement(setup));
  }
  // Whether a recorded argument is the object.
  static bool Same(const void* argument, IUnknown* object) {
    return IdentityOf(static_cast<IUnknown*>(const_cast<void*>(argument))) == IdentityOf(object);
  }

  stylesrv_test::ServerModule server;
  TestLibrary source, target, other;
  IJObjectCallback* callback = nullptr;
  decltype(&HStyleAssignPersistIdsCallback) setState = nullptr;
};

TEST_F(ObjectCallbackTest, TheClassTakesTheHostsNoticesThroughItsTableAndKeepsTheServerLoaded) {
  EXPECT_STREQ(static_cast<UUnknown*>(IdentityOf(callback))->GetClassName(), "JStyleObjectCallback");
  IUnknown* any = source.document;
  EXPECT_EQ(CallSlot(callback, 3, any, any, any), S_OK);
  EXPECT_EQ(CallSlot(callback, 4, any, any, any), S_OK);

  // A missing argument is refused before anything is looked up.
  StyleComPtr<IUnknown> element = Element(), copy = Element();
  IUnknown* const sets[][4] = {{nullptr, element.Get(), any, copy.Get()},
                               {any, nullptr, any, copy.Get()},
                               {any, element.Get(), nullptr, copy.Get()},
                               {any, element.Get(), any, nullptr}};
  for (IUnknown* const* set : sets) {
    EXPECT_EQ(CallSlot(callback, 5, set[0], set[1], set[2], set[3]), E_INVALIDARG);
  }
  EXPECT_THAT(Reported(), ::testing::Each(IsReport(E_INVALIDARG, kSource, 289)));
  EXPECT_EQ(Reported().size(), 4u);
  EXPECT_THAT(styllib_test::NotificationsOf(HOST_MARK_MODIFIED), IsEmpty());

  const LONG live = server.internals().GetLiveObjectCount();
  callback->Release();
  callback = nullptr;
  EXPECT_EQ(server.internals().GetLiveObjectCount(), live - 1);
}

TEST_F(ObjectCallbackTest, LibrariansAreLookedUpOncePerContainerUnlessTheHostAsksOnEveryCopy) {
  struct Row {
    DWORD state;
    size_t marksAfterTwo;
    HRESULT afterNamesDropped;
  };
  for (const Row& row : {Row{0, 1, S_OK}, Row{0x4, 2, E_FAIL}}) {
    SCOPED_TRACE(row.state);
    Name(source, source.librarian);
    Name(target, target.librarian);
    ASSERT_EQ(callback->Release(), 0u);
    callback = nullptr;
    ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JStyleObjectCallback, IID_IJObjectCallback,
                                         reinterpret_cast<void**>(&callback)),
              S_OK);
    setState(row.state);
    HostClearNotifications();
    stylesrv_test::ClearReports();

    StyleComPtr<IUnknown> element = Element(), copy = Element();
    EXPECT_EQ(Copy(element.Get(), copy.Get(), target), S_OK);
    EXPECT_EQ(Copy(element.Get(), copy.Get(), target), S_OK);
    EXPECT_EQ(Marks(target), row.marksAfterTwo);
    EXPECT_EQ(Marks(source), 0u);

    // Without the names only librarians already held can serve.
    Name(source, nullptr);
    Name(target, nullptr);
    EXPECT_EQ(Copy(element.Get(), copy.Get(), target), row.afterNamesDropped);
    if (FAILED(row.afterNamesDropped)) {
      EXPECT_THAT(Reported(), ElementsAre(IsReport(E_FAIL, kSource, 301)));
    }
  }

  // Another target is looked up and marked; the source is still the one held.
  setState(0);
  Name(other, other.librarian);
  HostClearNotifications();
  StyleComPtr<IUnknown> element = Element(), copy = Element();
  EXPECT_EQ(Copy(element.Get(), copy.Get(), other), S_OK);
  EXPECT_EQ(Marks(other), 1u);
}

TEST_F(ObjectCallbackTest, AFailedLookupOrMarkIsTriedAgainAndAFoundContainerIsHeld) {
  StyleComPtr<IUnknown> element = Element(), copy = Element();
  Name(source, nullptr);
  EXPECT_EQ(Copy(element.Get(), copy.Get(), target), E_FAIL);
  Name(source, source.librarian);
  HostFailNotification(HOST_MARK_MODIFIED, 1, E_ACCESSDENIED);
  EXPECT_EQ(Copy(element.Get(), copy.Get(), target), E_ACCESSDENIED);
  EXPECT_THAT(Reported(), ElementsAre(IsReport(E_FAIL, kSource, 301), IsReport(E_ACCESSDENIED, kSource, 317)));

  HostClearNotifications();
  const ULONG before = target.document->AddRef() - 1;
  target.document->Release();
  EXPECT_EQ(Copy(element.Get(), copy.Get(), target), S_OK);
  EXPECT_EQ(Marks(target), 1u);
  // The callback keeps the document it remembers alive, so that no other document can take its address.
  EXPECT_EQ(target.document->AddRef() - 1, before + 1);
  target.document->Release();
  callback->Release();
  callback = nullptr;
  EXPECT_EQ(target.document->AddRef() - 1, before);
  target.document->Release();
}

TEST_F(ObjectCallbackTest, TheCopyOrTheSourceMayCarryTheStyleOverThemselves) {
  const DWORD thin = source.AddLine(L"Thin");
  ASSERT_NE(thin, 0u);
  StyleComPtr<IUnknown> ourStyle;
  ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JStyleSimpleLine, IID_IUnknown, ourStyle.PutVoid()), S_OK);
  enum Outcome { kCopyUntouched, kCopyGetsID, kSourceCarries };
  struct Row {
    const char* what;
    GraphicElementSetup from, to;
    bool ourStyleAsCopy;
    HRESULT answer;
    int reportedLine;  // 0: nothing reported
    Outcome outcome;
  };
  GraphicElementSetup styled, userDone, userDeclines, copier, refusingCopier, unstyled, noStyle;
  styled.styled = userDone.styled = true;
  styled.styleID = thin;
  userDone.styleUser = true;
  userDeclines = userDone;
  userDeclines.copyStyleUseResult = E_FAIL;
  copier = styled;
  copier.copiesStyles = true;
  refusingCopier = copier;
  refusingCopier.copyStylesResult = E_ACCESSDENIED;
  noStyle.styled = true;
  const Row rows[] = {
      {"the copy's style use answers", styled, userDone, false, S_OK, 0, kCopyUntouched},
      {"the copy declines, its ID is set", styled, userDeclines, false, S_OK, 0, kCopyGetsID},
      {"the source carries, refusing", refusingCopier, styled, false, E_ACCESSDENIED, 364, kSourceCarries},
      {"a style of ours as the copy declines too", copier, styled, true, S_OK, 0, kSourceCarries},
      {"a source without a style ID", unstyled, styled, false, E_NOINTERFACE, 0, kCopyUntouched},
      {"a source whose style is none", noStyle, styled, false, S_OK, 0, kCopyUntouched},
      {"a copy without a style ID", styled, unstyled, false, E_NOINTERFACE, 398, kCopyUntouched},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    host_app::ClearElementCalls();
    stylesrv_test::ClearReports();
    GraphicElementSetup to = row.to;
    to.styleID = 0;
    StyleComPtr<IUnknown> element(host_app::CreateGraphicElement(row.from));
    StyleComPtr<IUnknown> copy(host_app::CreateGraphicElement(to));
    IUnknown* theCopy = row.ourStyleAsCopy ? ourStyle.Get() : copy.Get();
    EXPECT_EQ(Copy(element.Get(), theCopy, target), row.answer);
    if (row.reportedLine) {
      EXPECT_THAT(Reported(), ElementsAre(IsReport(row.answer, kSource, row.reportedLine)));
    } else {
      EXPECT_THAT(Reported(), IsEmpty());
    }
    const std::vector<host_app::ElementCall> calls = host_app::ElementCalls();
    if (row.to.styleUser) {
      ASSERT_FALSE(calls.empty());
      const host_app::ElementCall& use = calls.front();
      EXPECT_EQ(use.op, ElementOp::CopyStyleUse);
      EXPECT_EQ(use.argument, target.document);
      EXPECT_TRUE(Same(use.more[0], target.librarian));
      EXPECT_TRUE(Same(use.more[1], source.librarian));
      EXPECT_EQ(use.more[2], element.Get());
      EXPECT_EQ(use.value, 0x8u);
    }
    if (row.outcome == kSourceCarries) {
      ASSERT_FALSE(calls.empty());
      const host_app::ElementCall& carry = calls.back();
      EXPECT_EQ(carry.op, ElementOp::CopyStylesTo);
      EXPECT_TRUE(Same(carry.argument, source.librarian));
      EXPECT_TRUE(Same(carry.more[0], target.librarian));
      EXPECT_EQ(carry.more[1], target.document);
      EXPECT_EQ(carry.more[2], theCopy);
    }
    EXPECT_EQ(host_app::ElementStyleID(copy.Get()) != 0, row.outcome == kCopyGetsID);
  }
}

TEST_F(ObjectCallbackTest, ANamedStyleArrivesOnceAndAnEqualStyleIsTakenAsItIs) {
  const DWORD thin = source.AddLine(L"Thin", 0x11);
  const DWORD plain = source.AddLine(nullptr, 0x22);
  const DWORD equal = target.AddLine(nullptr, 0x22);
  ASSERT_NE(thin, 0u);
  ASSERT_NE(equal, 0u);
  const DWORD styles = target.StyleCount();

  auto copyOf = [&](DWORD id, HRESULT answer) {
    StyleComPtr<IUnknown> element = Element(id), copy = Element();
    EXPECT_EQ(Copy(element.Get(), copy.Get(), target), answer);
    return host_app::ElementStyleID(copy.Get());
  };
  const DWORD arrived = copyOf(thin, S_OK);
  ASSERT_NE(arrived, 0u);
  WCHAR name[16] = {};
  DWORD length = 16;
  EXPECT_EQ(target->GetStyleName(arrived, name, &length), S_OK);
  EXPECT_STREQ(name, L"Thin");
  EXPECT_EQ(target.StyleCount(), styles + 1);

  EXPECT_EQ(copyOf(thin, S_OK), arrived);
  EXPECT_EQ(copyOf(plain, S_OK), equal);
  EXPECT_EQ(target.StyleCount(), styles + 1);
  EXPECT_THAT(Reported(), IsEmpty());

  // A style the source library does not have is a failure, reported; the copy keeps no ID.
  EXPECT_EQ(copyOf(plain + 40, E_FAIL), 0u);
  EXPECT_THAT(Reported(), ElementsAre(IsReport(E_FAIL, kSource, 385)));
}

}  // namespace
