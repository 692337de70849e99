// The style workshop inside the real style library, with real text styles and the host's editor doubles: which
// styles it opens editors for, what the editors' descriptors carry, and what the editors' reports change.
#include <iterator>
#include <memory>
#include <tuple>

#include "host/app/graphic_element.h"
#include "host/app/text_style_editor.h"
#include "tests/styllib/library_fixtures.h"

using host_app::TextEditorCall;
using host_app::TextEditorCalls;
using stylesrv_test::CallSlot;
using styllib_test::IdentityOf;

namespace {

// What an editor's descriptor carried in a call: slot, name, second string, type, parent, entry word and ID.
auto Carried(const TextEditorCall& c) {
  return std::make_tuple(c.slot, c.named ? c.name : L"(none)", c.secondString, c.type, c.parentID, c.entryWord,
                         c.styleID);
}

constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);

class WorkshopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    TextEditorCalls().clear();
    doublesBefore = host_app::LiveObjects();
    ASSERT_EQ(host_app::RegisterTextEditorClasses(&charCookie, &paraCookie), S_OK);
    library = std::make_unique<styllib_test::TestLibrary>();
    shop = Shop(*library);
  }
  void TearDown() override {
    for (IUnknown* object : kept) object->Release();
    shop->Release();
    other.reset();
    library.reset();
    CoRevokeClassObject(charCookie);
    CoRevokeClassObject(paraCookie);
    EXPECT_EQ(host_app::LiveObjects(), doublesBefore) << "editor doubles leaked";
  }

  static IJWrkShop* Shop(const styllib_test::TestLibrary& in) {
    IJWrkShop* found = nullptr;
    EXPECT_EQ(in->QueryInterface(IID_IJWrkShop, reinterpret_cast<void**>(&found)), S_OK);
    return found;
  }
  IUnknown* Keep(IUnknown* object) {
    if (object) kept.push_back(object);
    return object;
  }
  // A new text character style of that colour, kept by the fixture.
  IUnknown* NewChar(DWORD colour) {
    IJStyleTextChar* text = nullptr;
    EXPECT_EQ(styllib_test::CreateObject(library->server(), CLSID_JStyleTextChar, IID_IJStyleTextChar,
                                         reinterpret_cast<void**>(&text)),
              S_OK);
    EXPECT_EQ(text->SetColor(colour), S_OK);
    return Keep(text);
  }
  IUnknown* NewPara() {
    IUnknown* para = nullptr;
    EXPECT_EQ(styllib_test::CreateObject(library->server(), CLSID_JStyleTextPara, IID_IUnknown,
                                         reinterpret_cast<void**>(&para)),
              S_OK);
    return Keep(para);
  }
  // A text character style added to a library with the entry's fields; its ID.
  DWORD AddChar(const styllib_test::TestLibrary& to, const wchar_t* name, DWORD colour = 0, DWORD parent = 0,
                const wchar_t* second = nullptr, DWORD word = 0) {
    GUID type = STYLETYPE_TextChar;
    StyleRecord record{const_cast<LPWSTR>(name), const_cast<LPWSTR>(second), NewChar(colour), &type, parent, word};
    DWORD id = 0;
    EXPECT_EQ(to->AddStyle(&record, &id), S_OK);
    return id;
  }
  IUnknown* StyleOf(DWORD id) {
    StyleComPtr<IUnknown> style;
    EXPECT_EQ((*library)->GetStyle(id, style.Put()), S_OK);
    return IdentityOf(style.Get());
  }
  static DWORD Colour(IUnknown* style) {
    StyleComPtr<IJStyleTextChar> text;
    DWORD colour = 0xDEAD;
    if (SUCCEEDED(style->QueryInterface(IID_IJStyleTextChar, text.PutVoid()))) text->GetColor(&colour);
    return colour;
  }
  // The editor of a style opened through `by`, kept by the fixture and handed this library's IJStyleEdit.
  IUnknown* OpenAttached(IJWrkShop* by, DWORD id, BOOL derived = FALSE) {
    IUnknown* editor = nullptr;
    EXPECT_EQ(by->OpenEditor(id, derived, &editor), S_OK);
    DWORD attached = 0xDEAD;
    if (editor) { EXPECT_EQ(shop->AttachEditor(Keep(editor), &attached), S_OK); }
    return editor;
  }
  static IJStylDes* DescriptorOf(IUnknown* editor) { return host_app::TextEditorDescriptor(editor); }
  static DWORD DescriptorID(IUnknown* editor) { return host_app::TextEditorCarries(editor).styleID; }

  std::unique_ptr<styllib_test::TestLibrary> library;
  std::unique_ptr<styllib_test::TestLibrary> other;
  IJWrkShop* shop = nullptr;
  std::vector<IUnknown*> kept;  // released before the libraries
  LONG doublesBefore = 0;
  DWORD charCookie = 0;
  DWORD paraCookie = 0;
};

// The three interfaces by place; each slot is told apart by what it answers.
TEST_F(WorkshopTest, ByPlace) {
  const DWORD body = AddChar(*library, L"Body", 0x11);
  IJShopServices* services = nullptr;
  IJStyleEdit* edit = nullptr;
  ASSERT_EQ(shop->QueryInterface(IID_IJShopServices, reinterpret_cast<void**>(&services)), S_OK);
  ASSERT_EQ(shop->QueryInterface(IID_IJStyleEdit, reinterpret_cast<void**>(&edit)), S_OK);
  Keep(services);
  Keep(edit);
  EXPECT_EQ(IdentityOf(shop), IdentityOf(library->librarian));
  EXPECT_EQ(CallSlot(services, 3), S_OK);
  IJSLLibrarian* librarian = nullptr;
  ASSERT_EQ(CallSlot(services, 4, &librarian), S_OK);
  EXPECT_EQ(IdentityOf(Keep(librarian)), IdentityOf(library->librarian));

  IUnknown* opened = nullptr;
  IUnknown* fresh = nullptr;
  IUnknown* forStyle = nullptr;
  ASSERT_EQ(CallSlot(shop, 3, DWORD{body}, BOOL{FALSE}, &opened), S_OK);
  ASSERT_EQ(CallSlot(shop, 4, static_cast<LPCWSTR>(nullptr), &STYLETYPE_TextPara, BOOL{TRUE}, BOOL{FALSE}, &fresh),
            S_OK);
  ASSERT_EQ(CallSlot(shop, 5, StyleOf(body), BOOL{FALSE}, &forStyle), S_OK);
  EXPECT_EQ(host_app::TextEditorClass(Keep(opened)), CLSID_TextCharEditor);
  EXPECT_EQ(host_app::TextEditorClass(Keep(fresh)), CLSID_TextParaEditor);
  EXPECT_EQ(host_app::TextEditorClass(Keep(forStyle)), CLSID_TextCharEditor);
  DWORD id = 0;
  EXPECT_EQ(CallSlot(shop, 6, opened, &id), S_OK);
  EXPECT_EQ(id, body);

  IUnknown* edited = NewChar(0x22);
  EXPECT_EQ(CallSlot(edit, 4, DescriptorOf(opened), edited), E_NOTIMPL);
  EXPECT_EQ(CallSlot(edit, 5, DescriptorOf(opened), edited), S_OK);
  EXPECT_EQ(Colour(StyleOf(body)), 0x22u);
  EXPECT_EQ(DescriptorOf(forStyle)->SetName(nullptr), S_OK);
  EXPECT_EQ(CallSlot(edit, 3, DescriptorOf(forStyle), edited), S_OK);
  EXPECT_NE(DescriptorID(forStyle), body);  // a new entry
}

TEST_F(WorkshopTest, TypesWithoutAnOutsideEditorFailAndLeakNothing) {
  for (const GUID& type : {STYLETYPE_Linear, STYLETYPE_Dash, STYLETYPE_Fill}) {
    const DWORD id = library->AddLine(L"L", 1, 0, type);
    TestLineStyle* style = library->Line(id);
    const LONG refs = style->GetRefCount();
    for (BOOL derived : {FALSE, TRUE}) {
      IUnknown* editor = reinterpret_cast<IUnknown*>(1);
      EXPECT_EQ(shop->OpenEditor(id, derived, &editor), E_FAIL);
      EXPECT_EQ(editor, nullptr);
    }
    EXPECT_EQ(style->GetRefCount(), refs);
    style->Release();
  }
  EXPECT_TRUE(TextEditorCalls().empty());
}

// Opened by ID or by its object, the editor gets the entry in its descriptor and the workshop's IJWrkShop.
TEST_F(WorkshopTest, TheEditorGetsTheEntry) {
  const DWORD base = AddChar(*library, L"Base");
  const DWORD body = AddChar(*library, L"Body", 0, base, L"Serif", 0x40);
  for (bool byObject : {false, true}) {
    TextEditorCalls().clear();
    IUnknown* editor = nullptr;
    ASSERT_EQ(byObject ? shop->OpenEditorForStyle(StyleOf(body), FALSE, &editor) : shop->OpenEditor(body, FALSE, &editor),
              S_OK);
    Keep(editor);
    ASSERT_EQ(TextEditorCalls().size(), 1u);
    const TextEditorCall& call = TextEditorCalls()[0];
    EXPECT_EQ(call.editor, IdentityOf(editor));
    EXPECT_EQ(Carried(call), std::make_tuple(3, L"Body", L"Serif", STYLETYPE_TextChar, base, 0x40u, body));
    EXPECT_EQ(call.shop, IdentityOf(shop));
  }
}

// A derived editor edits a nameless style under the entry, with the first editor as its context; finished, it
// is a new entry of that parent.
TEST_F(WorkshopTest, ADerivedStyleBecomesAChildEntry) {
  const DWORD body = AddChar(*library, L"Body", 0, 0, L"Serif", 0x40);
  IUnknown* editor = OpenAttached(shop, body, TRUE);
  ASSERT_EQ(TextEditorCalls().size(), 3u);  // EditStyle, EditDerivedStyle, SetStyleEdit
  const TextEditorCall& derived = TextEditorCalls()[1];
  EXPECT_EQ(derived.editor, IdentityOf(editor));
  EXPECT_EQ(Carried(derived), std::make_tuple(5, L"(none)", L"", STYLETYPE_TextChar, body, 0x40u, 0u));
  EXPECT_EQ(derived.context, TextEditorCalls()[0].editor);
  ASSERT_EQ(host_app::FinishTextEdit(editor, true, NewChar(0x33)), S_OK);
  const DWORD child = DescriptorID(editor);
  DWORD parent = 0;
  EXPECT_EQ((*library)->GetParentID(child, &parent), S_OK);
  EXPECT_EQ(parent, body);
  EXPECT_EQ(Colour(StyleOf(child)), 0x33u);
}

TEST_F(WorkshopTest, OpenByName) {
  const DWORD body = AddChar(*library, L"Body");
  struct Case {
    const wchar_t* name;
    const GUID* type;
    BOOL newStyle;
    HRESULT hr;
    int slot;
  };
  const Case cases[] = {{L"BODY", &STYLETYPE_TextChar, FALSE, S_OK, 3},
                        {L"Unknown", &STYLETYPE_TextPara, FALSE, kNameUnknown, 0},
                        {nullptr, &STYLETYPE_TextPara, TRUE, S_OK, 4},
                        {L"New", &STYLETYPE_TextChar, TRUE, S_OK, 4},
                        {L"New", &STYLETYPE_Linear, TRUE, E_FAIL, 0},
                        {L"Body", nullptr, FALSE, E_INVALIDARG, 0}};
  IUnknown* editors[std::size(cases)] = {};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    TextEditorCalls().clear();
    IUnknown*& editor = editors[i];
    EXPECT_EQ(shop->OpenEditorByName(c.name, c.type, c.newStyle, FALSE, &editor), c.hr);
    Keep(editor);
    ASSERT_EQ(TextEditorCalls().size(), c.slot ? 1u : 0u);
    if (!c.slot) continue;
    const TextEditorCall& call = TextEditorCalls()[0];
    EXPECT_EQ(call.slot, c.slot);
    EXPECT_EQ(call.named, c.name != nullptr);
    EXPECT_EQ(call.type, *c.type);
    EXPECT_EQ(call.styleID, c.newStyle ? 0u : body);
  }

  // The new styles, finished, are new entries: the descriptor then holds the new ID and the library's object.
  for (std::size_t i : {2u, 3u}) {
    IUnknown* editor = editors[i];
    DWORD id = 0;
    ASSERT_EQ(shop->AttachEditor(editor, &id), S_OK);
    ASSERT_EQ(host_app::FinishTextEdit(editor, true, i == 2 ? NewPara() : NewChar(0x44)), S_OK);
    const DWORD added = DescriptorID(editor);
    EXPECT_NE(added, 0u);
    StyleComPtr<IUnknown> held;
    EXPECT_EQ(DescriptorOf(editor)->GetStyleObject(held.Put()), S_OK);
    EXPECT_EQ(IdentityOf(held.Get()), StyleOf(added));
  }
}

// Finished with StoreEditedStyle, a named style keeps its entry and object; a changed name renames the entry.
TEST_F(WorkshopTest, StoringANamedStyleCopiesIntoTheEntry) {
  for (const wchar_t* name : {L"Body", L"Text"}) {
    const DWORD body = AddChar(*library, L"Body", 0x11);
    IUnknown* object = StyleOf(body);
    IUnknown* editor = OpenAttached(shop, body);
    EXPECT_EQ(DescriptorOf(editor)->SetName(name), S_OK);
    ASSERT_EQ(host_app::FinishTextEdit(editor, true, NewChar(0x55)), S_OK);
    EXPECT_EQ(DescriptorID(editor), body);
    EXPECT_EQ(StyleOf(body), object);
    EXPECT_EQ(Colour(object), 0x55u);
    WCHAR stored[16] = {};
    DWORD length = 16;
    EXPECT_EQ((*library)->GetStyleName(body, stored, &length), S_OK);
    EXPECT_STREQ(stored, name);
    EXPECT_EQ((*library)->RemoveStyle(body), S_OK);
  }
}

// A style derived from an editor that started from a style of another library is refused.
TEST_F(WorkshopTest, AContextFromAnotherLibraryIsRefused) {
  other = std::make_unique<styllib_test::TestLibrary>();
  const DWORD foreign = AddChar(*other, L"Foreign");
  IJWrkShop* otherShop = Shop(*other);
  IUnknown* editor = OpenAttached(static_cast<IJWrkShop*>(Keep(otherShop)), foreign, TRUE);
  const DWORD before = library->StyleCount();
  EXPECT_EQ(host_app::FinishTextEdit(editor, false, NewChar(0x66)), E_FAIL);
  EXPECT_EQ(library->StyleCount(), before);
}

}  // namespace
