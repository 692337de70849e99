// The wrappers of the engine's change notifications and document services: which calls the engine gets, in
// which order and with which arguments, and what a null argument or a failing call answers.
#include "tests/daxutil/daxutil_fixtures.h"

namespace daxutil_test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class DocumentHelpersTest : public DocumentServicesTest {
 protected:
  static HostNotification Call(LONG index) {
    HostNotification call{};
    EXPECT_TRUE(HostGetNotification(index, &call));
    return call;
  }
};

TEST_F(DocumentHelpersTest, ChangeNotices) {
  HostStyledElement* element = HostStyledElement::Create();
  IUnknown* object = element->Unknown();

  EXPECT_EQ(services->UHelperBeginChange(nullptr, &IID_IJStyledElement), S_OK);
  EXPECT_EQ(services->UHelperNotifyChange(nullptr, TRUE), S_OK);
  EXPECT_EQ(services->UHelperRefreshObject(nullptr), S_OK);
  EXPECT_THAT(EngineCalls(), IsEmpty());

  EXPECT_EQ(services->UHelperBeginChange(object, &IID_IJStyledElement), S_OK);
  EXPECT_TRUE(IsEqualIID(Call(0).iid, IID_IJStyledElement));
  EXPECT_EQ(Call(0).object, object);

  HostClearNotifications();
  EXPECT_EQ(services->UHelperNotifyChange(object, TRUE), S_OK);
  EXPECT_EQ(services->UHelperNotifyChange(object, FALSE), S_OK);
  EXPECT_THAT(EngineCalls(), ElementsAre(HOST_OBJECT_CHANGE, HOST_CHANGE_DONE, HOST_OBJECT_CHANGE));

  // A failing first notice ends the call, reported.
  HostClearNotifications();
  HostFailNotification(HOST_OBJECT_CHANGE, 1, E_ACCESSDENIED);
  EXPECT_EQ(services->UHelperNotifyChange(object, TRUE), E_ACCESSDENIED);
  EXPECT_THAT(EngineCalls(), ElementsAre(HOST_OBJECT_CHANGE));
  EXPECT_THAT(ReportedBy("UHELPERS"), ElementsAre(E_ACCESSDENIED));
  element->Release();
}

// An object of a document with a re-link service is re-linked under its persistent ID before the refresh.
TEST_F(DocumentHelpersTest, RefreshRelinksThroughTheDocumentsService) {
  IJDocumentNamedObjects* document = nullptr;
  ASSERT_EQ(HostDocumentCreate(&document), S_OK);
  HostStyledElement* service = HostStyledElement::Create();
  HostStyledElement* element = HostStyledElement::Create(document);
  DWORD persistentID = 0;
  ASSERT_EQ(document->RegisterObject(element->Unknown(), &persistentID, nullptr), S_OK);

  EXPECT_EQ(services->UHelperRefreshObject(element->Unknown()), S_OK);
  EXPECT_THAT(EngineCalls(),
              ElementsAre(HOST_DOCUMENT_RELINK_SERVICE, HOST_OBJECT_REFRESH, HOST_CHANGE_DONE));

  HostClearNotifications();
  HostDocumentSetServices(document, nullptr, service->Unknown());
  EXPECT_EQ(services->UHelperRefreshObject(element->Unknown()), S_OK);
  EXPECT_THAT(EngineCalls(), ElementsAre(HOST_DOCUMENT_RELINK_SERVICE, HOST_RELINK_OBJECT, HOST_OBJECT_REFRESH,
                                         HOST_CHANGE_DONE));
  const HostNotification relink = Call(1);
  EXPECT_EQ(relink.other, service->Unknown());
  EXPECT_EQ(relink.value, persistentID);
  EXPECT_EQ(relink.document, document);
  EXPECT_EQ(relink.mode, 0u);

  element->Release();
  service->Release();
  document->Release();
}

TEST_F(DocumentHelpersTest, ASymbolDefinitionRegistersWithItsDocument) {
  constexpr IID kService = {0x22A0C900, 0xC016, 0x11CD, {0xBF, 0x29, 0x08, 0x00, 0x36, 0x01, 0xB1, 0xFE}};
  IJDocumentNamedObjects* document = nullptr;
  ASSERT_EQ(HostDocumentCreate(&document), S_OK);
  HostStyledElement* inDocument = HostStyledElement::Create(document);
  HostStyledElement* loose = HostStyledElement::Create();

  EXPECT_EQ(services->UHelperRegisterSymbolDefinition(inDocument->Unknown(), 5), S_OK);
  ASSERT_THAT(EngineCalls(), ElementsAre(HOST_REGISTER_SERVICE));
  EXPECT_EQ(Call(0).document, document);
  EXPECT_TRUE(IsEqualIID(Call(0).iid, kService));
  EXPECT_EQ(Call(0).value, 5u);

  HostClearNotifications();
  EXPECT_EQ(services->UHelperRegisterSymbolDefinition(loose->Unknown(), 5), E_NOINTERFACE);
  EXPECT_EQ(services->UHelperRegisterSymbolDefinition(nullptr, 5), E_INVALIDARG);
  EXPECT_THAT(EngineCalls(), IsEmpty());
  EXPECT_THAT(ReportedBy("UHELPERS"), ElementsAre(E_NOINTERFACE, E_INVALIDARG));

  loose->Release();
  inDocument->Release();
  document->Release();
}

// Which services are called and with which context: the caller's, the document's own, or the engine's default
// (passed as 2).
TEST_F(DocumentHelpersTest, ACallIntoTheDocumentServices) {
  IJDocumentNamedObjects* document = nullptr;
  ASSERT_EQ(HostDocumentCreate(&document), S_OK);
  HostStyledElement* element = HostStyledElement::Create(document);
  HostStyledElement* target = HostStyledElement::Create();
  HostStyledElement* given = HostStyledElement::Create();
  HostStyledElement* own = HostStyledElement::Create();
  HostSetActiveDocument(document);

  struct Row {
    const char* what;
    IUnknown* object;
    IUnknown* context;
    IUnknown* documentContext;
    std::vector<DWORD> calls;
    ULONG_PTR passed;
  };
  const Row rows[] = {
      {"caller's context", element->Unknown(), given->Unknown(), own->Unknown(),
       {HOST_HANDLES_TARGET, HOST_DOCUMENT_CALL_SERVICE}, reinterpret_cast<ULONG_PTR>(given->Unknown())},
      {"document's context", element->Unknown(), nullptr, own->Unknown(),
       {HOST_HANDLES_TARGET, HOST_DOCUMENT_SERVICE_CONTEXT, HOST_DOCUMENT_CALL_SERVICE},
       reinterpret_cast<ULONG_PTR>(own->Unknown())},
      {"engine's default", element->Unknown(), nullptr, nullptr,
       {HOST_HANDLES_TARGET, HOST_DOCUMENT_SERVICE_CONTEXT, HOST_OBJECT_CONTEXT, HOST_DOCUMENT_CALL_SERVICE}, 2},
      {"active document", nullptr, nullptr, nullptr,
       {HOST_HANDLES_TARGET, HOST_DOCUMENT_SERVICE_CONTEXT, HOST_OBJECT_CONTEXT, HOST_DOCUMENT_CALL_SERVICE}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    HostClearNotifications();
    HostDocumentSetServices(document, row.documentContext, nullptr);
    EXPECT_EQ(services->UHelperCallDocument(row.object, target->Unknown(), 4, row.context, 6), S_OK);
    ASSERT_THAT(EngineCalls(), ElementsAreArray(row.calls));
    const HostNotification call = Call(static_cast<LONG>(row.calls.size()) - 1);
    EXPECT_EQ(call.document, document);
    EXPECT_EQ(call.object, target->Unknown());
    EXPECT_EQ(call.value, 4u);
    EXPECT_EQ(call.context, row.passed);
    EXPECT_EQ(call.mode, 6u);
  }

  // A target the engine serves itself, and no target at all.
  HostClearNotifications();
  HostSetEngineHandlesTarget(1);
  EXPECT_EQ(services->UHelperCallDocument(element->Unknown(), target->Unknown(), 4, nullptr, 6), S_OK);
  EXPECT_THAT(EngineCalls(), ElementsAre(HOST_HANDLES_TARGET));
  HostClearNotifications();
  EXPECT_EQ(services->UHelperCallDocument(element->Unknown(), nullptr, 4, nullptr, 6), E_FAIL);
  EXPECT_THAT(EngineCalls(), IsEmpty());
  EXPECT_THAT(ReportedBy("UHELPERS"), ElementsAre(E_FAIL));

  HostSetActiveDocument(nullptr);
  HostDocumentSetServices(document, nullptr, nullptr);
  own->Release();
  given->Release();
  target->Release();
  element->Release();
  document->Release();
}

TEST_F(DocumentHelpersTest, TheEngineStateIsTakenOnlyWhenFree) {
  EXPECT_TRUE(services->UHelperEngineToggle());
  EXPECT_FALSE(services->UHelperEngineToggle());
  EXPECT_THAT(EngineCalls(), ElementsAre(HOST_ENGINE_GET_STATE, HOST_ENGINE_SET_STATE, HOST_ENGINE_GET_STATE));
}

}  // namespace
}  // namespace daxutil_test
