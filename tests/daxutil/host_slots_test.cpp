// The host interfaces the document services call, each operation at the place in the table that the services
// rely on: called here directly by place, as a host that knows only the places would be called.
#include "tests/daxutil/daxutil_fixtures.h"

namespace daxutil_test {
namespace {

using ::testing::ElementsAre;

template <class R = HRESULT, class... Args>
R CallSlot(void* itf, int slot, Args... args) {
  using Fn = R(STDMETHODCALLTYPE*)(void*, Args...);
  void** table = *reinterpret_cast<void***>(itf);
  return reinterpret_cast<Fn>(table[slot])(itf, args...);
}

DWORD g_seen = 0;
HRESULT WINAPI See(DWORD styleID) {
  g_seen = styleID;
  return S_OK;
}

class HostSlotsTest : public DocumentServicesTest {};

TEST_F(HostSlotsTest, DocumentApplicationAndElementOperationsSitAtTheirPlaces) {
  TestLibrary library;
  Name(library, library.document);
  IJDocumentNamedObjects* named = library.document;
  HostStyledElement* context = HostStyledElement::Create();
  HostDocumentSetServices(named, context->Unknown(), context->Unknown());

  // Named objects: slot 9 gives a holder whose slot 3 gives the object.
  void* holder = nullptr;
  ASSERT_EQ(CallSlot(named, 9, L"StyleLibrarian", &holder), S_OK);
  IUnknown* target = nullptr;
  ASSERT_EQ(CallSlot(holder, 3, &target), S_OK);
  EXPECT_EQ(IdentityOf(target), IdentityOf(library.librarian));
  target->Release();
  static_cast<IUnknown*>(holder)->Release();

  // Slots 14 and 23 answer the services, slot 17 is the call into them.
  IUnknown* answered = nullptr;
  ASSERT_EQ(CallSlot(named, 14, &answered), S_OK);
  answered->Release();
  ASSERT_EQ(CallSlot(named, 23, &answered), S_OK);
  answered->Release();
  EXPECT_EQ(CallSlot(named, 17, context->Unknown(), DWORD{1}, ULONG_PTR{2}, DWORD{3}), S_OK);
  EXPECT_THAT(EngineCalls(), ElementsAre(HOST_DOCUMENT_SERVICE_CONTEXT, HOST_DOCUMENT_RELINK_SERVICE,
                                         HOST_DOCUMENT_CALL_SERVICE));

  // The document's own interface: its name at 6 and its library at 20.
  IJDocument2* document = nullptr;
  ASSERT_EQ(named->QueryInterface(IID_IJDocument2, reinterpret_cast<void**>(&document)), S_OK);
  char name[260] = {};
  EXPECT_EQ(CallSlot(document, 6, static_cast<LPSTR>(name), DWORD{sizeof name}), S_OK);
  EXPECT_STRNE(name, "");
  IJSLLibrarian* found = nullptr;
  ASSERT_EQ(CallSlot(document, 20, &IID_IJSLLibrarian, &found), S_OK);
  EXPECT_EQ(IdentityOf(found), IdentityOf(library.librarian));
  found->Release();

  // The application: the active document at 4.
  HostSetActiveDocument(named);
  IJApplicationStyleFiles* application = nullptr;
  ASSERT_EQ(GetAppInterface(&IID_IJApplicationStyleFiles, reinterpret_cast<void**>(&application)), S_OK);
  IUnknown* active = nullptr;
  ASSERT_EQ(CallSlot(application, 4, &IID_IJDocument2, &active), S_OK);
  EXPECT_EQ(IdentityOf(active), IdentityOf(named));
  active->Release();
  application->Release();
  HostSetActiveDocument(nullptr);

  // The element: set at 3, get at 4, enumerate at 5; its style source at 12.
  HostStyledElement* element = HostStyledElement::Create();
  element->SetStyleObject(context->Unknown());
  EXPECT_EQ(CallSlot(static_cast<IJStyledElement*>(element), 3, DWORD{5}), S_OK);
  DWORD id = 0;
  EXPECT_EQ(CallSlot(static_cast<IJStyledElement*>(element), 4, &id), S_OK);
  EXPECT_EQ(id, 5u);
  g_seen = 0;
  EXPECT_EQ(CallSlot(static_cast<IJStyledElement*>(element), 5, &See), S_OK);
  EXPECT_EQ(g_seen, 5u);
  ASSERT_EQ(CallSlot(static_cast<IJElementStyleSource*>(element), 12, &answered), S_OK);
  EXPECT_EQ(answered, context->Unknown());
  answered->Release();

  element->Release();
  document->Release();
  HostDocumentSetServices(named, nullptr, nullptr);
  context->Release();
}

}  // namespace
}  // namespace daxutil_test
