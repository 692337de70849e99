// A reference that is refused, because the owner will not count its ID or because the style handed in lacks
// what the reference is held by, changes nothing: not the ID, not the style held, not its cache, not the other
// fields the setter would touch, not one use count. Every road by which a style sets a reference is tried,
// with and without owner and cache, in the real library and in the recording one, which can be made to refuse
// and whose lookups can be cut off, so that a cache that was dropped shows.
#include <functional>
#include <string>
#include <vector>

#include "display/style/stylbas/StyleComPtr.h"
#include "tests/bases/recording_librarian.h"
#include "tests/styllib/library_fixtures.h"

using styllib_test::IdentityOf;
using styllib_test::TestLibrary;

namespace {

constexpr DWORD kUnknownID = 9999;

// What a reference refers to.
enum class Kind { Dash, Line, Pattern, Symbol, Client, Graphic };

const CLSID& ClassOf(Kind kind) {
  switch (kind) {
    case Kind::Dash: return CLSID_JStyleSimpleDashType;
    case Kind::Line: return CLSID_JStyleLineSolid;
    case Kind::Pattern: return CLSID_JStyleHatchFill;
    case Kind::Symbol: return CLSID_JStylePointSymbol;
    case Kind::Client: return CLSID_JStyleLinePointGen;
    case Kind::Graphic: break;
  }
  return CLSID_JSymbolDef;
}

const GUID& TypeOf(Kind kind) {
  switch (kind) {
    case Kind::Dash: return STYLETYPE_Dash;
    case Kind::Line: return STYLETYPE_Linear;
    case Kind::Pattern: return STYLETYPE_HatchFillPattern;
    case Kind::Symbol: return STYLETYPE_PointSymbol;
    case Kind::Client: return STYLETYPE_LinePointGen;
    case Kind::Graphic: break;
  }
  return STYLETYPE_SymbolFillPattern;
}

// A style that lacks the interface a reference of the kind is held by.
Kind WrongFor(Kind kind) { return kind == Kind::Dash ? Kind::Line : Kind::Dash; }

// The library that owns the styles of a row.
class Owner {
 public:
  virtual ~Owner() = default;
  // Adds a style (the library gives it its owner and ID); answers the ID.
  virtual DWORD Add(IUnknown* style, const wchar_t* name, const GUID& type) = 0;
  // The use count of every ID, as the library answers it.
  virtual std::vector<DWORD> Uses() const = 0;
  // An ID that no entry holds: a freed slot, or one past the last.
  virtual DWORD FreedID(IUnknown* spare, const GUID& type) = 0;
  // From now on, every use the library is asked to add is refused; false when the library cannot be made to.
  virtual bool RefuseUses() { return false; }
  // From now on, no style can be looked up by ID; false when the library cannot be made to.
  virtual bool ForbidLookups() { return false; }
};

class RealOwner final : public Owner {
 public:
  DWORD Add(IUnknown* style, const wchar_t* name, const GUID& type) override {
    GUID typeCopy = type;
    StyleRecord record{const_cast<LPWSTR>(name), nullptr, IdentityOf(style), &typeCopy, 0, 0};
    DWORD id = 0;
    EXPECT_TRUE(SUCCEEDED(m_library->AddStyleNoCreate(&record, &id)));
    return id;
  }
  std::vector<DWORD> Uses() const override {
    std::vector<DWORD> uses;
    for (DWORD id = 1; id <= 8; ++id) uses.push_back(m_library.UseCount(id));
    return uses;
  }
  DWORD FreedID(IUnknown* spare, const GUID& type) override {
    const DWORD id = Add(spare, nullptr, type);
    m_library->AddRefStyleID(id);
    m_library->ReleaseStyleID(id);  // an unnamed style goes with its last use
    EXPECT_EQ(m_library->IsDeletedSlot(id), E_FAIL);
    return id;
  }

 private:
  TestLibrary m_library;
};

class RecordingOwner final : public Owner {
 public:
  RecordingOwner() : m_library(RecordingLibrarian::Create()) {}
  ~RecordingOwner() override { m_library->Release(); }
  DWORD Add(IUnknown* style, const wchar_t* name, const GUID&) override { return m_library->Add(style, name); }
  std::vector<DWORD> Uses() const override {
    std::vector<DWORD> uses;
    for (DWORD id = 1; id <= m_library->Count(); ++id) uses.push_back(m_library->UseCount(id));
    return uses;
  }
  DWORD FreedID(IUnknown*, const GUID&) override { return m_library->Count() + 1; }
  bool RefuseUses() override {
    m_library->failures["AddRefStyleID"] = E_OUTOFMEMORY;
    return true;
  }
  bool ForbidLookups() override {
    m_library->failures["GetStyle"] = E_ABORT;
    return true;
  }

 private:
  RecordingLibrarian* m_library;
};

// Another interface of an object, with a reference; null when it has none.
template <class T>
StyleComPtr<T> As(IUnknown* object, REFIID iid) {
  T* typed = nullptr;
  if (object && FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&typed)))) typed = nullptr;
  return StyleComPtr<T>(typed);
}

// What an out pointer was handed, as its identity, released.
template <class T>
HRESULT Identity(HRESULT hr, T* got, IUnknown** out) {
  *out = IdentityOf(got);
  if (got) got->Release();
  return hr;
}

using Fields = std::vector<double>;

// One way a style holds a reference: its class, what it refers to, and its operations.
struct Road {
  const char* name;
  const CLSID* subject;
  Kind kind;
  std::function<void(IUnknown*)> prepare;  // what the style needs before it can hold the reference
  std::function<HRESULT(IUnknown*, DWORD)> setID;  // null where the style is given its reference only as an object
  std::function<HRESULT(IUnknown*, IUnknown*)> setObject;
  bool takesAnyObject;  // the object setter takes any object, so that one of the wrong kind can be handed in
  bool setsOneReference;  // the object setter sets one reference (not a whole list, whose cache goes first)
  std::function<DWORD(IUnknown*)> getID;
  std::function<HRESULT(IUnknown*, IUnknown**)> getObject;  // the identity of what is held, or null
  std::function<Fields(IUnknown*)> fields;  // further fields that the setters touch
};

Fields NoFields(IUnknown*) { return {}; }

#define SIMPLE_LINE(style) As<IJStyleSimpleLine>(style, IID_IJStyleSimpleLine)
#define OVERRIDE(style) As<IJStyleOverride>(style, IID_IJStyleOverride)
#define SETUP(style) As<IJStyleSetup2d>(style, IID_IJStyleSetup2d)
#define HATCH(style) As<IJStyleHatchFill>(style, IID_IJStyleHatchFill)
#define MUX(style) As<IJStyleMultiplexer>(style, IID_IJStyleMultiplexer)
#define TERMINATOR(style) As<IJStyleLineTerminator>(style, IID_IJStyleLineTerminator)
#define POINTS(style) As<IJStyleLinePointGen>(style, IID_IJStyleLinePointGen)
#define CLIENTS(style) As<IJStyleDashType>(style, IID_IJStyleDashType)
#define SYMBOLS(style) As<IJStyleSymbolFill>(style, IID_IJStyleSymbolFill)

// The graphic ID of a symbol fill's first slot. Read with an owner, the ID is held once for the reader, and
// given back here.
DWORD SlotGraphicID(IUnknown* fill) {
  SymbolSlotRecord record{};
  if (FAILED(SYMBOLS(fill)->GetSlotRecord(0, &record))) return 0xBAD;
  if (record.graphic) record.graphic->Release();
  StyleComPtr<IUnknown> owner;
  if (record.graphicID != kNoStyleID && record.graphicID != kInvalidStyleID &&
      SUCCEEDED(As<IJManageStyle2>(fill, IID_IJManageStyle2)->GetOwner(owner.Put())) && owner) {
    As<IJSLLibrarian>(owner.Get(), IID_IJSLLibrarian)->ReleaseStyleID2(record.graphicID);
  }
  return record.graphicID;
}

template <class Getter>
DWORD IDOf(Getter get) {
  DWORD id = 0xBAD;
  if (FAILED(get(&id))) return 0xBAD;
  return id;
}

const std::vector<Road>& Roads() {
  static const std::vector<Road> roads = {
      {"line dash type", &CLSID_JStyleSimpleLine, Kind::Dash, nullptr,
       [](IUnknown* s, DWORD id) { return SIMPLE_LINE(s)->SetDashTypeID(id); },
       [](IUnknown* s, IUnknown* o) { return SIMPLE_LINE(s)->SetDashType(o); }, true, true,
       [](IUnknown* s) { return IDOf([&](DWORD* id) { return SIMPLE_LINE(s)->GetDashTypeID(id); }); },
       [](IUnknown* s, IUnknown** out) {
         IJStyleDashTypeRender* got = nullptr;
         const HRESULT hr = SIMPLE_LINE(s)->GetDashType(&got);
         return Identity(hr, got, out);
       },
       NoFields},
      {"line overlay", &CLSID_JStyleSimpleLine, Kind::Line, nullptr,
       [](IUnknown* s, DWORD id) { return SIMPLE_LINE(s)->SetOverlayStyleID(id); },
       [](IUnknown* s, IUnknown* o) { return SIMPLE_LINE(s)->SetOverlayStyle(o); }, true, true,
       [](IUnknown* s) { return IDOf([&](DWORD* id) { return SIMPLE_LINE(s)->GetOverlayStyleID(id); }); },
       [](IUnknown* s, IUnknown** out) {
         IJStyleRender* got = nullptr;
         const HRESULT hr = SIMPLE_LINE(s)->GetOverlayStyle(&got);
         return Identity(hr, got, out);
       },
       NoFields},
      {"referenced style", &CLSID_JStyleOLG, Kind::Line, nullptr,
       [](IUnknown* s, DWORD id) { return SETUP(s)->SetReferencedStyleID(id); },
       [](IUnknown* s, IUnknown* o) { return SETUP(s)->SetReferencedStyle(o); }, true, true,
       [](IUnknown* s) { return IDOf([&](DWORD* id) { return SETUP(s)->GetReferencedStyleID(id); }); },
       [](IUnknown* s, IUnknown** out) {
         IJStyleRender* got = nullptr;
         const HRESULT hr = SETUP(s)->GetReferencedStyle(&got);
         return Identity(hr, got, out);
       },
       NoFields},
      {"override dash type", &CLSID_JStyleOverride, Kind::Dash, nullptr,
       [](IUnknown* s, DWORD id) { return OVERRIDE(s)->SetDashTypeID(id); },
       [](IUnknown* s, IUnknown* o) { return OVERRIDE(s)->SetDashType(o); }, true, true,
       [](IUnknown* s) { return IDOf([&](DWORD* id) { return OVERRIDE(s)->GetDashTypeID(id); }); },
       [](IUnknown* s, IUnknown** out) {
         IJStyleDashTypeRender* got = nullptr;
         const HRESULT hr = OVERRIDE(s)->GetDashType(&got);
         return Identity(hr, got, out);
       },
       [](IUnknown* s) {
         DWORD flags = 0;
         OVERRIDE(s)->GetFlags(&flags);
         return Fields{static_cast<double>(flags)};
       }},
      {"override substitute", &CLSID_JStyleOverride, Kind::Line, nullptr,
       [](IUnknown* s, DWORD id) { return OVERRIDE(s)->SetOtherStyleID(id); },
       [](IUnknown* s, IUnknown* o) { return OVERRIDE(s)->SetOtherStyle(o); }, true, true,
       [](IUnknown* s) { return IDOf([&](DWORD* id) { return OVERRIDE(s)->GetOtherStyleID(id); }); },
       [](IUnknown* s, IUnknown** out) {
         IUnknown* got = nullptr;
         const HRESULT hr = OVERRIDE(s)->GetOtherStyle(&got);
         return Identity(hr, got, out);
       },
       NoFields},
      {"override parent", &CLSID_JStyleOverride, Kind::Line, nullptr,
       [](IUnknown* s, DWORD id) { return SETUP(s)->SetReferencedStyleID(id); },
       [](IUnknown* s, IUnknown* o) { return SETUP(s)->SetReferencedStyle(o); }, true, true,
       [](IUnknown* s) { return IDOf([&](DWORD* id) { return SETUP(s)->GetReferencedStyleID(id); }); },
       [](IUnknown* s, IUnknown** out) {
         IJStyleRender* got = nullptr;
         const HRESULT hr = SETUP(s)->GetReferencedStyle(&got);
         return Identity(hr, got, out);
       },
       NoFields},
      {"fill pattern", &CLSID_JStyleSimpleFill, Kind::Pattern, nullptr,
       [](IUnknown* s, DWORD id) { return As<IJStyleSimpleFill>(s, IID_IJStyleSimpleFill)->SetPatternID(id); },
       [](IUnknown* s, IUnknown* o) { return As<IJStyleSimpleFill>(s, IID_IJStyleSimpleFill)->SetPattern(o); },
       true, true,
       [](IUnknown* s) {
         return IDOf([&](DWORD* id) { return As<IJStyleSimpleFill>(s, IID_IJStyleSimpleFill)->GetPatternID(id); });
       },
       [](IUnknown* s, IUnknown** out) {
         IJStyleFillTypeRender* got = nullptr;
         const HRESULT hr = As<IJStyleSimpleFill>(s, IID_IJStyleSimpleFill)->GetPattern(&got);
         return Identity(hr, got, out);
       },
       NoFields},
      {"hatch family dash type", &CLSID_JStyleHatchFill, Kind::Dash,
       [](IUnknown* s) {
         HatchFamilyDesc family{};
         family.spacing = 1.0;
         LONG index = -1;
         EXPECT_EQ(HATCH(s)->AddFamily(&family, &index), S_OK);
       },
       [](IUnknown* s, DWORD id) { return HATCH(s)->SetFamilyDashTypeId(0, id); },
       [](IUnknown* s, IUnknown* o) {
         return HATCH(s)->SetFamilyDashType(0, As<IJStyleDashTypeRender>(o, IID_IJStyleDashTypeRender).Get());
       },
       false, true, [](IUnknown* s) { return IDOf([&](DWORD* id) { return HATCH(s)->GetFamilyDashTypeId(0, id); }); },
       [](IUnknown* s, IUnknown** out) {
         IJStyleDashTypeRender* got = nullptr;
         const HRESULT hr = HATCH(s)->GetFamilyDashType(0, &got);
         return Identity(hr, got, out);
       },
       [](IUnknown* s) {
         DWORD count = 0;
         HATCH(s)->GetFamilyCount(&count);
         return Fields{static_cast<double>(count)};
       }},
      {"multiplexer entry", &CLSID_JStyleMultiplexer, Kind::Line,
       [](IUnknown* s) { EXPECT_EQ(MUX(s)->SetCount(1), S_OK); },
       [](IUnknown* s, DWORD id) { return MUX(s)->SetEntryID(0, id); },
       [](IUnknown* s, IUnknown* o) { return MUX(s)->SetEntry(0, As<IJStyleRender>(o, IID_IJStyleRender).Get()); },
       false, true, [](IUnknown* s) { return IDOf([&](DWORD* id) { return MUX(s)->GetEntryID(0, id); }); },
       [](IUnknown* s, IUnknown** out) {
         IJStyleRender* got = nullptr;
         const HRESULT hr = MUX(s)->GetEntry(0, &got);
         return Identity(hr, got, out);
       },
       [](IUnknown* s) {
         DWORD count = 0, kind = 0;
         MUX(s)->GetCount(&count);
         As<IJStyleRender>(s, IID_IJStyleRender)->GetStyleKind(&kind);
         return Fields{static_cast<double>(count), static_cast<double>(kind)};
       }},
      {"line terminator", &CLSID_JStyleLineTerminator, Kind::Symbol, nullptr,
       [](IUnknown* s, DWORD id) { return TERMINATOR(s)->SetStartStyleID(id); },
       [](IUnknown* s, IUnknown* o) { return TERMINATOR(s)->SetStartStyle(o); }, true, true,
       [](IUnknown* s) { return IDOf([&](DWORD* id) { return TERMINATOR(s)->GetStartStyleID(id); }); },
       [](IUnknown* s, IUnknown** out) {
         IUnknown* got = nullptr;
         const HRESULT hr = TERMINATOR(s)->GetStartStyle(&got);
         return Identity(hr, got, out);
       },
       NoFields},
      {"point symbol entry", &CLSID_JStyleLinePointGen, Kind::Symbol, nullptr,
       [](IUnknown* s, DWORD id) { return POINTS(s)->SetEntryByID(0, id, 0.5f, 1.0, 2.0, 3.0, 1, 0); },
       [](IUnknown* s, IUnknown* o) { return POINTS(s)->SetEntry(0, o, 0.25f, 4.0, 5.0, 6.0, 0, 1); }, true, true,
       [](IUnknown* s) {
         DWORD id = 0, absolute = 0, upright = 0;
         float fraction = 0;
         double along = 0, across = 0, angle = 0;
         const HRESULT hr = POINTS(s)->GetEntryByID(0, &id, &fraction, &along, &across, &angle, &absolute, &upright);
         return SUCCEEDED(hr) ? id : 0xBAD;
       },
       [](IUnknown* s, IUnknown** out) {
         DWORD count = 0;
         POINTS(s)->GetCount(&count);
         *out = nullptr;
         if (count == 0) return S_OK;
         IJStylePointSymbol* got = nullptr;
         const HRESULT hr = POINTS(s)->GetSymbol(0, &got);
         return Identity(hr, got, out);
       },
       [](IUnknown* s) {
         DWORD count = 0, absolute = 0, upright = 0;
         POINTS(s)->GetCount(&count);
         double angle = 0, along = 0, across = 0;
         POINTS(s)->GetOrientation(0, &angle, &absolute, &upright);
         POINTS(s)->GetOffsets(0, &along, &across);
         return Fields{static_cast<double>(count), angle, static_cast<double>(absolute), static_cast<double>(upright),
                       along, across};
       }},
      {"dash type client", &CLSID_JStyleSimpleDashType, Kind::Client, nullptr,
       [](IUnknown* s, DWORD id) { return CLIENTS(s)->SetClientIDs(1, &id); },
       [](IUnknown* s, IUnknown* o) {
         StyleComPtr<IJStyleDashTypeClient> client = As<IJStyleDashTypeClient>(o, IID_IJStyleDashTypeClient);
         IJStyleDashTypeClient* list[] = {client.Get()};
         return CLIENTS(s)->SetClients(1, list);
       },
       false, false,
       [](IUnknown* s) {
         DWORD id = 0xBAD;
         CLIENTS(s)->GetClientIDs(1, &id);
         return id;
       },
       [](IUnknown* s, IUnknown** out) {
         IJStyleDashTypeClient* got = nullptr;
         const HRESULT hr = CLIENTS(s)->GetClients(1, &got);
         return Identity(hr, got, out);
       },
       [](IUnknown* s) {
         DWORD count = 0, ids[16] = {};
         CLIENTS(s)->GetClientCount(&count);
         // S_FALSE while the ID array holds more than asked: its size shows.
         const HRESULT sized = CLIENTS(s)->GetClientIDs(16, ids);
         return Fields{static_cast<double>(count), static_cast<double>(sized)};
       }},
      {"symbol fill graphic", &CLSID_JStyleSymbolFill, Kind::Graphic,
       [](IUnknown* s) {
         SymbolSlotRecord slot{};
         slot.spacingX = slot.spacingY = slot.scale = 1.0;
         DWORD index = 0;
         EXPECT_EQ(SYMBOLS(s)->AddSlot(&slot, &index), S_OK);
       },
       nullptr, [](IUnknown* s, IUnknown* o) { return SYMBOLS(s)->SetSlotGraphic(0, o); }, true, true,
       SlotGraphicID,
       [](IUnknown* s, IUnknown** out) {
         IJGraphic* got = nullptr;
         const HRESULT hr = SYMBOLS(s)->GetSlotGraphic(0, &got);
         return Identity(hr, got, out);
       },
       [](IUnknown* s) {
         DWORD count = 0;
         SYMBOLS(s)->GetSlotCount(&count);
         return Fields{static_cast<double>(count)};
       }},
  };
  return roads;
}

// What a row tries.
enum class Attempt {
  UnknownID,       // an ID the library does not hold
  InvalidID,       // 0xFFFFFFFF
  FreedID,         // an ID whose entry is gone
  SameID,          // the ID already held
  HeldID,          // an ID the library holds, which a style without owner cannot take
  OwnerRefusesID,  // an ID the library holds but will not count this time
  OwnerRefusesStyle,  // a style of the library whose ID the library will not count this time
  WrongKind,       // a style that lacks what the reference is held by
};

struct Row {
  const char* what;
  bool owned;
  bool held;    // a reference is held before (by ID with an owner, by object without)
  bool cached;  // and its style has been looked up
  Attempt attempt;
  HRESULT expected;
};

const Row kRows[] = {
    {"an ID not held", true, true, false, Attempt::UnknownID, E_INVALIDARG},
    {"an ID not held, cached", true, true, true, Attempt::UnknownID, E_INVALIDARG},
    {"the invalid ID", true, true, true, Attempt::InvalidID, E_INVALIDARG},
    {"a freed ID", true, true, false, Attempt::FreedID, E_INVALIDARG},
    {"an ID not held, none before", true, false, false, Attempt::UnknownID, E_INVALIDARG},
    {"the invalid ID, none before", true, false, false, Attempt::InvalidID, E_INVALIDARG},
    {"the same ID again", true, true, true, Attempt::SameID, S_OK},
    {"an ID the owner will not count", true, true, true, Attempt::OwnerRefusesID, E_OUTOFMEMORY},
    {"a style the owner will not count", true, true, true, Attempt::OwnerRefusesStyle, E_OUTOFMEMORY},
    {"a style of the wrong kind", true, true, true, Attempt::WrongKind, E_NOINTERFACE},
    {"an ID without owner", false, true, true, Attempt::HeldID, E_FAIL},
    {"an ID without owner, none before", false, false, false, Attempt::HeldID, E_FAIL},
    {"a style of the wrong kind without owner", false, true, true, Attempt::WrongKind, E_NOINTERFACE},
};

class RefusedReferencesTest : public ::testing::Test {
 protected:
  void SetUp() override { stylesrv_test::ClearReports(); }

  StyleComPtr<IUnknown> New(const CLSID& clsid) {
    IUnknown* object = nullptr;
    EXPECT_EQ(styllib_test::CreateObject(m_server, clsid, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    return StyleComPtr<IUnknown>(object);
  }

  // One row on one road with one owner; nothing when the row does not apply.
  void Run(const Road& road, const Row& row, Owner& owner) {
    const bool byID = row.attempt != Attempt::WrongKind && row.attempt != Attempt::OwnerRefusesStyle;
    if (byID && !road.setID) return;
    if (row.attempt == Attempt::WrongKind && !road.takesAnyObject) return;
    if (row.attempt == Attempt::OwnerRefusesStyle && !road.setsOneReference) return;
    StyleComPtr<IUnknown> subject = New(*road.subject);
    StyleComPtr<IUnknown> dots = New(ClassOf(road.kind));
    StyleComPtr<IUnknown> other = New(ClassOf(road.kind));
    StyleComPtr<IUnknown> spare = New(ClassOf(road.kind));
    StyleComPtr<IUnknown> wrong = New(ClassOf(WrongFor(road.kind)));
    const DWORD dotsID = owner.Add(dots.Get(), L"Dots", TypeOf(road.kind));
    const DWORD otherID = owner.Add(other.Get(), L"Other", TypeOf(road.kind));
    if (row.owned) owner.Add(subject.Get(), L"Subject", STYLETYPE_Linear);
    const DWORD freedID = owner.FreedID(spare.Get(), TypeOf(road.kind));
    if (road.prepare) road.prepare(subject.Get());
    if (row.held) {
      EXPECT_EQ(row.owned && road.setID ? road.setID(subject.Get(), dotsID) : road.setObject(subject.Get(), dots.Get()),
                S_OK);
    }
    if (row.cached) {
      IUnknown* seen = nullptr;
      EXPECT_EQ(road.getObject(subject.Get(), &seen), S_OK);
      EXPECT_EQ(seen, IdentityOf(dots.Get()));
    }
    const DWORD idBefore = road.getID(subject.Get());
    if (row.held) {
      EXPECT_EQ(idBefore, row.owned ? dotsID : kInvalidStyleID);
    }
    const std::vector<DWORD> usesBefore = owner.Uses();
    const Fields fieldsBefore = road.fields(subject.Get());
    if ((row.attempt == Attempt::OwnerRefusesID || row.attempt == Attempt::OwnerRefusesStyle) && !owner.RefuseUses()) {
      return;
    }
    HRESULT hr = E_UNEXPECTED;
    switch (row.attempt) {
      case Attempt::UnknownID: hr = road.setID(subject.Get(), kUnknownID); break;
      case Attempt::InvalidID: hr = road.setID(subject.Get(), kInvalidStyleID); break;
      case Attempt::FreedID: hr = road.setID(subject.Get(), freedID); break;
      case Attempt::SameID: hr = road.setID(subject.Get(), idBefore); break;
      case Attempt::HeldID:
      case Attempt::OwnerRefusesID: hr = road.setID(subject.Get(), otherID); break;
      case Attempt::OwnerRefusesStyle: hr = road.setObject(subject.Get(), other.Get()); break;
      case Attempt::WrongKind: hr = road.setObject(subject.Get(), wrong.Get()); break;
    }
    EXPECT_EQ(hr, row.expected);
    EXPECT_EQ(road.getID(subject.Get()), idBefore);
    EXPECT_EQ(owner.Uses(), usesBefore);
    EXPECT_EQ(road.fields(subject.Get()), fieldsBefore);
    // A cached style is still at hand without a lookup; the recording library answers none from here on.
    if (row.cached) owner.ForbidLookups();
    IUnknown* held = nullptr;
    EXPECT_EQ(road.getObject(subject.Get(), &held), S_OK);
    EXPECT_EQ(held, row.held ? IdentityOf(dots.Get()) : nullptr);
  }

  stylesrv_test::ServerModule m_server;
};

TEST_F(RefusedReferencesTest, ARefusedReferenceChangesNothing) {
  for (const Road& road : Roads()) {
    for (const Row& row : kRows) {
      SCOPED_TRACE(std::string(road.name) + ": " + row.what);
      {
        SCOPED_TRACE("real library");
        RealOwner owner;
        Run(road, row, owner);
      }
      {
        SCOPED_TRACE("recording library");
        RecordingOwner owner;
        Run(road, row, owner);
      }
    }
  }
}

}  // namespace
