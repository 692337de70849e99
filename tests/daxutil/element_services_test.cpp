// The element helpers: storing an ID with the engine told around it, the active style and a library's style
// given to an element, and the style an element shows.
#include "tests/daxutil/daxutil_fixtures.h"

namespace daxutil_test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class ElementServicesTest : public DocumentServicesTest {};

// What the engine and the element answer decides the answer and whether the element keeps its old ID (7).
TEST_F(ElementServicesTest, SetElementStyleIDAroundTheEngine) {
  struct Row {
    const char* what;
    DWORD before, after;
    HRESULT beforeFails, elementAnswers, doneFails;
    HRESULT answer;
    DWORD stored;
    std::vector<DWORD> calls;
  };
  const Row rows[] = {
      {"no notices", 0, 0, S_OK, S_OK, S_OK, S_OK, 9, {}},
      {"both notices", 1, 1, S_OK, S_OK, S_OK, S_OK, 9, {HOST_BEFORE_CHANGE, HOST_CHANGE_DONE}},
      {"before refused", 1, 1, E_ACCESSDENIED, S_OK, S_OK, E_ACCESSDENIED, 7, {HOST_BEFORE_CHANGE}},
      {"done answers for the element", 0, 1, S_OK, S_FALSE, S_OK, S_OK, 9, {HOST_CHANGE_DONE}},
      {"done fails", 0, 1, S_OK, S_OK, E_UNEXPECTED, E_UNEXPECTED, 9, {HOST_CHANGE_DONE}},
      {"element refuses", 1, 1, S_OK, E_ACCESSDENIED, S_OK, E_ACCESSDENIED, 7, {HOST_BEFORE_CHANGE, HOST_CHANGE_DONE}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    HostClearNotifications();
    HostFailNotification(HOST_BEFORE_CHANGE, row.beforeFails != S_OK ? 1 : 0, row.beforeFails);
    HostFailNotification(HOST_CHANGE_DONE, row.doneFails != S_OK ? 1 : 0, row.doneFails);
    HostStyledElement* element = HostStyledElement::Create(nullptr, 7);
    element->setResult = row.elementAnswers;

    EXPECT_EQ(services->SetElementStyleID(element->Unknown(), 9, row.before, row.after), row.answer);
    EXPECT_EQ(element->StoredID(), row.stored);
    EXPECT_THAT(EngineCalls(), ElementsAreArray(row.calls));
    if (!row.calls.empty() && row.calls.front() == HOST_BEFORE_CHANGE) {
      HostNotification before{};
      ASSERT_TRUE(HostGetNotification(0, &before));
      EXPECT_EQ(before.object, element->Unknown());
      EXPECT_TRUE(IsEqualIID(before.iid, IID_IJStyledElement));
    }
    element->Release();
  }
  EXPECT_EQ(services->SetElementStyleID(nullptr, 9, 1, 1), S_OK);
}

// An empty library makes the style, which it keeps as the type's default.
TEST_F(ElementServicesTest, TheActiveLinearStyleIsCreatedAndGivenToTheElement) {
  TestLibrary library;
  Name(library, library.document);
  HostStyledElement* element = HostStyledElement::Create(library.document);

  ASSERT_EQ(services->ApplyActiveStyle(element->Unknown(), nullptr, 0, 0), S_OK);
  DWORD made = 0;
  ASSERT_EQ(library->GetExceptionStyleID(STYLETYPE_Linear, &made), S_OK);
  EXPECT_NE(made, 0u);
  EXPECT_EQ(element->StoredID(), made);

  EXPECT_EQ(services->ApplyActiveStyle2(nullptr, nullptr, 0, 0), E_INVALIDARG);
  element->Release();
}

TEST_F(ElementServicesTest, AStyleObjectIsGivenByItsIDInTheElementsLibrary) {
  TestLibrary library;
  Name(library, library.document);
  const DWORD id = library.AddLine(L"kept");
  TestLineStyle* kept = library.Line(id);
  TestLineStyle* foreign = TestLineStyle::Create();
  HostStyledElement* element = HostStyledElement::Create(library.document, 3);

  EXPECT_EQ(services->ApplyStyleObject(element->Unknown(), foreign->Unknown()), E_FAIL);
  EXPECT_EQ(element->StoredID(), 3u);
  EXPECT_EQ(services->ApplyStyleObject(element->Unknown(), kept->Unknown()), S_OK);
  EXPECT_EQ(element->StoredID(), id);

  element->Release();
  foreign->Release();
  kept->Release();
}

// The style an element shows: by its ID in its library, or for ID 0 through its style source, which may be
// missing or answer nothing.
TEST_F(ElementServicesTest, TheStyleAnElementShows) {
  TestLibrary library;
  Name(library, library.document);
  const DWORD id = library.AddLine(L"shown");
  TestLineStyle* byID = library.Line(id);
  TestLineStyle* bySource = TestLineStyle::Create();

  struct Row {
    const char* what;
    DWORD id;
    bool offersSource;
    IUnknown* source;
    HRESULT answer;
    IUnknown* shown;
  };
  const Row rows[] = {
      {"by ID", id, true, bySource->Unknown(), S_OK, byID->Unknown()},
      {"by its source", 0, true, bySource->Unknown(), S_OK, bySource->Unknown()},
      {"source answers nothing", 0, true, nullptr, S_OK, nullptr},
      {"no source", 0, false, bySource->Unknown(), E_NOINTERFACE, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    stylesrv_test::ClearReports();
    HostStyledElement* element = HostStyledElement::Create(library.document, row.id);
    element->offersStyleSource = row.offersSource;
    element->SetStyleObject(row.source);

    IUnknown* const untouched = reinterpret_cast<IUnknown*>(0x1234);
    IUnknown* shown = untouched;
    EXPECT_EQ(services->GetElementStyle(element->Unknown(), &shown), row.answer);
    ASSERT_NE(shown, untouched);
    EXPECT_EQ(shown ? IdentityOf(shown) : nullptr, row.shown);
    EXPECT_THAT(ReportedBy("ustyle"), IsEmpty());
    if (shown) shown->Release();
    element->Release();
  }
  bySource->Release();
  byID->Release();
}

}  // namespace
}  // namespace daxutil_test
