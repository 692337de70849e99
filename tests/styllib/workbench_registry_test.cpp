// The library's registry of workbenches, the notices its children's workbenches get when a parent is edited,
// replaced or removed, and the order of what a replacement tells. The workbench classes are not served yet:
// the tests register workbenches of their own, as a workbench registers itself.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/styllib/library_fixtures.h"

using styllib_test::NotificationsOf;
using styllib_test::TestLibrary;

namespace {

// A workbench as the library sees one: it forgets itself in the registry when it goes, records the notices it
// gets and answers them as told.
class TestWorkbench : public IWorkbenchAdmin, public IWorkbenchNotify {
 public:
  struct Notice {
    bool removed;  // ParentRemoved rather than ParentChanged
    IUnknown* parent;
  };

  TestWorkbench(IJSLWorkShop* shop, DWORD id) : m_shop(shop), m_id(id) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWorkbenchAdmin)) {
      *out = static_cast<IWorkbenchAdmin*>(this);
    } else if (IsEqualIID(iid, IID_IWorkbenchNotify)) {
      *out = static_cast<IWorkbenchNotify*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_refs;
    if (left == 0) {
      if (m_shop) m_shop->ForgetWorkbench(m_id);
      delete this;
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE AttachNew(DWORD, IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Attach(DWORD, IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AttachObject(IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Save(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStyleObject(void**, REFIID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLibrarian(IJSLLibrarian**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetName(LPWSTR**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetName(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSecondString(LPWSTR**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSecondString(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetParentWorkbench(IUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DetachFromParent() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR**) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE ParentChanged(IUnknown* parent) override {
    notices.push_back({false, parent});
    return answer;
  }
  HRESULT STDMETHODCALLTYPE ParentRemoved(IUnknown* parent) override {
    notices.push_back({true, parent});
    return answer;
  }

  IWorkbenchAdmin* Admin() { return this; }
  void Moved(DWORD id) { m_id = id; }

  std::vector<Notice> notices;
  HRESULT answer = S_OK;

 private:
  virtual ~TestWorkbench() = default;
  ULONG m_refs = 1;
  IJSLWorkShop* m_shop;
  DWORD m_id;
};

class WorkbenchRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    HostClearNotifications();
    ASSERT_EQ(library->QueryInterface(IID_IJSLWorkShop, reinterpret_cast<void**>(&shop)), S_OK);
    ASSERT_EQ(library->RegisterType(kUnservedType, 0, 0, IID_IJStyleRender), S_OK);
  }
  // A style type whose workbench class nothing serves.
  static constexpr GUID kUnservedType = {0x6E0B7D21, 0x3A5C, 0x4F19, {0x9B, 0x2D, 0x71, 0x0C, 0x5E, 0x83, 0xA4, 0x16}};
  void TearDown() override {
    for (TestWorkbench* w : open) w->Release();
    if (shop) shop->Release();
  }
  // A workbench registered for the ID, kept open for the test.
  TestWorkbench* Open(DWORD id) {
    auto* workbench = new TestWorkbench(shop, id);
    EXPECT_EQ(shop->RegisterWorkbench(id, workbench->Admin()), S_OK);
    open.push_back(workbench);
    return workbench;
  }
  IWorkbenchAdmin* Registered(DWORD id) {
    IWorkbenchAdmin* out = nullptr;
    if (FAILED(shop->GetWorkbench(id, FALSE, &out))) return nullptr;
    out->Release();
    return out;
  }

  TestLibrary library;
  IJSLWorkShop* shop = nullptr;
  std::vector<TestWorkbench*> open;
};

TEST_F(WorkbenchRegistryTest, OneWorkbenchPerIDAndAMissingClassIsAFatalReport) {
  DWORD ids[5];
  for (DWORD& id : ids) id = library.AddLine(nullptr, 0x10 + (&id - ids), 0, kUnservedType);
  TestWorkbench* five = Open(5);
  IWorkbenchAdmin* first = nullptr;
  IWorkbenchAdmin* second = nullptr;
  ASSERT_EQ(shop->GetWorkbench(5, FALSE, &first), S_OK);
  ASSERT_EQ(shop->GetWorkbench(5, FALSE, &second), S_OK);
  EXPECT_EQ(first, five->Admin());
  EXPECT_EQ(second, first);
  first->Release();
  second->Release();

  // A fresh workbench is made by the style type's class, which nothing serves: a fatal report, nothing out.
  stylesrv_test::ClearReports();
  IWorkbenchAdmin* fresh = reinterpret_cast<IWorkbenchAdmin*>(0x1);
  EXPECT_TRUE(FAILED(shop->GetWorkbench(5, TRUE, &fresh)));
  EXPECT_EQ(fresh, nullptr);
  const auto reports = stylesrv_test::Reports();
  ASSERT_FALSE(reports.empty());
  EXPECT_TRUE(reports.front().fatal);
  EXPECT_TRUE(IsEqualCLSID(reports.front().clsid, kUnservedType));
  EXPECT_EQ(Registered(5), five->Admin());  // the registered one is untouched

  // IDs that are not styles have no workbench.
  for (DWORD bad : {DWORD{0}, DWORD{6}, kInvalidStyleID}) {
    IWorkbenchAdmin* none = reinterpret_cast<IWorkbenchAdmin*>(0x1);
    EXPECT_EQ(shop->GetWorkbench(bad, FALSE, &none), E_FAIL);
    EXPECT_EQ(none, nullptr);
  }
}

TEST_F(WorkbenchRegistryTest, WorkbenchesMoveAndForgetTheirIDs) {
  for (DWORD i = 0; i < 40; ++i) library.AddLine(nullptr, 0x100 + i, 0, kUnservedType);
  TestWorkbench* moving = Open(3);
  // IDs 17 and 18 share a bucket; 16 and 32 do not.
  TestWorkbench* a = Open(17);
  TestWorkbench* b = Open(18);
  TestWorkbench* c = Open(16);
  TestWorkbench* d = Open(32);
  ASSERT_EQ(shop->MoveWorkbench(5, 3, moving->Admin()), S_OK);
  moving->Moved(5);
  EXPECT_EQ(Registered(5), moving->Admin());
  stylesrv_test::ClearReports();
  EXPECT_EQ(Registered(3), nullptr);  // no node: a new workbench is attempted and cannot be made
  EXPECT_FALSE(stylesrv_test::Reports().empty());
  EXPECT_EQ(Registered(17), a->Admin());
  EXPECT_EQ(Registered(18), b->Admin());
  EXPECT_EQ(Registered(16), c->Admin());
  EXPECT_EQ(Registered(32), d->Admin());

  EXPECT_EQ(shop->ForgetWorkbench(17), S_OK);
  EXPECT_EQ(shop->ForgetWorkbench(17), S_OK);  // nothing left to forget is no failure
  EXPECT_EQ(Registered(18), b->Admin());
  EXPECT_EQ(Registered(17), nullptr);
  EXPECT_EQ(shop->RegisterWorkbench(17, nullptr), E_INVALIDARG);
}

TEST_F(WorkbenchRegistryTest, ByNameAndOfStyleFindTheRegisteredWorkbench) {
  const DWORD solid = library.AddLine(L"Solid");
  TestWorkbench* workbench = Open(solid);
  IWorkbenchAdmin* out = nullptr;
  ASSERT_EQ(shop->GetWorkbenchByName(L"solid", &STYLETYPE_Linear, FALSE, FALSE, &out), S_OK);
  EXPECT_EQ(out, workbench->Admin());
  out->Release();
  TestLineStyle* style = library.Line(solid);
  ASSERT_EQ(shop->GetWorkbenchOfStyle(style->Unknown(), FALSE, &out), S_OK);
  EXPECT_EQ(out, workbench->Admin());
  out->Release();
  style->Release();

  // Refused before anything is made: both kinds at once, a detached one without a name, a new one whose name
  // is taken, and none without a name.
  EXPECT_EQ(shop->GetWorkbenchByName(L"x", &STYLETYPE_Linear, TRUE, TRUE, &out), E_INVALIDARG);
  EXPECT_EQ(shop->GetWorkbenchByName(L"", &STYLETYPE_Linear, FALSE, TRUE, &out), E_INVALIDARG);
  stylesrv_test::ClearReports();
  EXPECT_EQ(shop->GetWorkbenchByName(L"SOLID", &STYLETYPE_Linear, TRUE, FALSE, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  for (const auto& report : stylesrv_test::Reports()) EXPECT_FALSE(report.fatal);  // no class was asked for
  EXPECT_EQ(shop->GetWorkbenchByName(nullptr, &STYLETYPE_Linear, FALSE, FALSE, &out), E_FAIL);
  EXPECT_EQ(shop->GetWorkbenchByName(L"Unknown", &STYLETYPE_Linear, FALSE, FALSE, &out),
            static_cast<HRESULT>(0x80040221));
}

// parent <- child <- grandchild, and a second child that answers S_OK: only a child answering S_FALSE passes
// the update on to its own children.
TEST_F(WorkbenchRegistryTest, ChildUpdatesGoDownFromChildrenThatAskForIt) {
  const DWORD parent = library.AddLine(L"Parent", 1);
  const DWORD child = library.AddLine(L"Child", 2, parent);
  const DWORD grandchild = library.AddLine(L"Grandchild", 3, child);
  const DWORD other = library.AddLine(L"Other", 4, parent);
  const DWORD otherChild = library.AddLine(L"OtherChild", 5, other);
  TestWorkbench* p = Open(parent);
  TestWorkbench* c = Open(child);
  TestWorkbench* g = Open(grandchild);
  TestWorkbench* o = Open(other);
  TestWorkbench* oc = Open(otherChild);
  c->answer = S_FALSE;

  ASSERT_EQ(library->UpdateChildStyles(parent), S_OK);
  ASSERT_EQ(c->notices.size(), 1u);
  EXPECT_FALSE(c->notices[0].removed);
  EXPECT_EQ(c->notices[0].parent, p->Admin());
  ASSERT_EQ(g->notices.size(), 1u);
  EXPECT_EQ(g->notices[0].parent, c->Admin());
  EXPECT_EQ(o->notices.size(), 1u);
  EXPECT_TRUE(oc->notices.empty());
  EXPECT_TRUE(p->notices.empty());

  // A failing child is reported and skipped; its siblings still hear of the edit.
  c->answer = E_UNEXPECTED;
  stylesrv_test::ClearReports();
  EXPECT_EQ(library->UpdateChildStyles(parent), S_OK);
  EXPECT_EQ(o->notices.size(), 2u);
  EXPECT_EQ(g->notices.size(), 1u);
  EXPECT_FALSE(stylesrv_test::Reports().empty());
}

TEST_F(WorkbenchRegistryTest, ARemovedParentsChildHearsOfItsNewParent) {
  const DWORD top = library.AddLine(L"Top", 1);
  const DWORD middle = library.AddLine(nullptr, 2, top);
  const DWORD child = library.AddLine(nullptr, 3, middle);
  TestWorkbench* t = Open(top);
  TestWorkbench* c = Open(child);
  library->AddRefStyleID(child);
  library->AddRefStyleID(middle);
  ASSERT_EQ(library->ReleaseStyleID(middle), S_OK);  // the last use: the middle style goes
  EXPECT_EQ(library->IsDeletedSlot(middle), E_FAIL);
  ASSERT_EQ(c->notices.size(), 1u);
  EXPECT_TRUE(c->notices[0].removed);
  EXPECT_EQ(c->notices[0].parent, t->Admin());
  DWORD parent = 0;
  ASSERT_EQ(library->GetParentID(child, &parent), S_OK);
  EXPECT_EQ(parent, top);
}

// A style that tells, with the number of engine notices so far, when it is given a librarian and ID, when it
// gives its references back and when it hears of a changed style.
std::vector<std::pair<std::string, LONG>> g_calls;

class RecordingLine : public TestLineStyle {
 public:
  STYLE_DECLARE_DELETING_DESTRUCTOR(RecordingLine)
  static RecordingLine* Create(const char* tag, DWORD colour) {
    auto* style = new RecordingLine(tag);
    style->colour = colour;
    style->AddRef();
    return style;
  }
  HRESULT SetOwner(IUnknown* owner) override {
    if (owner) Log("librarian");
    return TestLineStyle::SetOwner(owner);
  }
  HRESULT SetID(DWORD id) override {
    Log("id");
    return TestLineStyle::SetID(id);
  }
  HRESULT ReleaseStyleRefs(DWORD word) override {
    Log("release refs");
    return TestLineStyle::ReleaseStyleRefs(word);
  }
  HRESULT OnStyleChanged(DWORD id, DWORD value) override {
    Log("changed " + std::to_string(id));
    return TestLineStyle::OnStyleChanged(id, value);
  }

 protected:
  ~RecordingLine() = default;

 private:
  explicit RecordingLine(const char* tag) : m_tag(tag) {}
  void Log(const std::string& what) { g_calls.emplace_back(m_tag + " " + what, HostNotificationCount()); }
  std::string m_tag;
};

LONG CallAt(const std::string& what) {
  auto it = std::find_if(g_calls.begin(), g_calls.end(), [&](const auto& c) { return c.first == what; });
  return it == g_calls.end() ? -1 : it->second;
}

LONG NoticeIndex(DWORD kind, IUnknown* object) {
  for (LONG i = 0; i < HostNotificationCount(); ++i) {
    HostNotification n{};
    HostGetNotification(i, &n);
    if (n.kind == kind && n.object == object) return i;
  }
  return -1;
}

TEST_F(WorkbenchRegistryTest, ReplaceStyleTellsInOrderAndTheChildrenHearOfIt) {
  RecordingLine* old = RecordingLine::Create("old", 1);
  RecordingLine* watcher = RecordingLine::Create("watcher", 2);
  StyleRecord record{const_cast<LPWSTR>(L"Edited"), nullptr, old->Unknown(), const_cast<GUID*>(&STYLETYPE_Linear),
                     0, 0};
  DWORD id = 0;
  ASSERT_EQ(library->AddStyle(&record, &id), S_OK);
  record = {const_cast<LPWSTR>(L"Watcher"), nullptr, watcher->Unknown(), const_cast<GUID*>(&STYLETYPE_Linear), 0, 0};
  DWORD watcherID = 0;
  ASSERT_EQ(library->AddStyle(&record, &watcherID), S_OK);
  const DWORD child = library.AddLine(L"Child", 3, id);
  TestWorkbench* parentBench = Open(id);
  TestWorkbench* childBench = Open(child);

  RecordingLine* edited = RecordingLine::Create("new", 9);
  g_calls.clear();
  HostClearNotifications();
  ASSERT_EQ(library->ReplaceStyle(id, edited->Unknown()), S_OK);

  const LONG entryChange = NoticeIndex(HOST_ENTRY_CHANGE, edited->Unknown());
  const LONG leaves = NoticeIndex(HOST_OBJECT_REGISTRATION, old->Unknown());
  const LONG released = NoticeIndex(HOST_RELEASE_ENTRY, old->Unknown());
  ASSERT_GE(entryChange, 0);
  ASSERT_GE(leaves, 0);
  ASSERT_GE(released, 0);
  // Counts of notices made before each call: the entry change comes first, then the new object's librarian and
  // ID, then the old object leaves (registration notice, its references, the document's release), then the
  // broadcast.
  EXPECT_GT(CallAt("new librarian"), entryChange);
  EXPECT_LE(CallAt("new librarian"), leaves);
  EXPECT_LE(CallAt("new id"), leaves);
  EXPECT_GT(CallAt("old release refs"), leaves);
  EXPECT_LE(CallAt("old release refs"), released);
  EXPECT_GT(CallAt("watcher changed " + std::to_string(id)), released);
  ASSERT_EQ(childBench->notices.size(), 1u);
  EXPECT_EQ(childBench->notices[0].parent, parentBench->Admin());

  // The entry hands out the new object, by ID and by name.
  TestLineStyle* now = library.Line(id);
  EXPECT_EQ(now, static_cast<TestLineStyle*>(edited));
  if (now) now->Release();
  DWORD found = 0;
  EXPECT_EQ(library->FindStyleIDByName(L"Edited", &STYLETYPE_Linear, &found), S_OK);
  EXPECT_EQ(found, id);
  EXPECT_EQ(library->ReplaceStyle(id + 100, edited->Unknown()), E_FAIL);
  edited->Release();
  old->Release();
  watcher->Release();
}

TEST(WorkbenchRegistryNoDocumentTest, ReplaceStyleWorksWithoutADocument) {
  TestLibrary library(false);
  const DWORD id = library.AddLine(L"Solid", 1);
  TestLineStyle* edited = TestLineStyle::Create(2);
  ASSERT_EQ(library->ReplaceStyle(id, edited->Unknown()), S_OK);
  TestLineStyle* now = library.Line(id);
  EXPECT_EQ(now, edited);
  if (now) now->Release();
  edited->Release();
}

}  // namespace
