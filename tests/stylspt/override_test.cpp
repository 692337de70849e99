// Override styles made through the exports: what they are built on, their values, parents and dash types, the
// merge of override records, the repair of missing parents, and what an override looks like when drawn.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using daxutil_test::RefCount;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr HRESULT kNoName = 0x40223;

template <class T>
StyleComPtr<T> As(IUnknown* object, REFIID iid) {
  T* typed = nullptr;
  if (object) object->QueryInterface(iid, reinterpret_cast<void**>(&typed));
  return StyleComPtr<T>(typed);
}

bool Answers(IUnknown* object, REFIID iid) { return As<IUnknown>(object, iid).Get() != nullptr; }

// The style an override is built on.
IUnknown* BuiltOn(IUnknown* override) {
  StyleComPtr<IJStyleRender> referenced;
  auto setup = As<IJStyleSetup2d>(override, IID_IJStyleSetup2d);
  if (!setup || FAILED(setup->GetReferencedStyle(referenced.Put()))) return nullptr;
  return IdentityOf(referenced.Get());
}

// An override's own record, without the reference GetData hands with the dash type.
tagStyleOverride DataOf(IUnknown* override) {
  tagStyleOverride data{};
  auto typed = As<IJStyleOverride>(override, IID_IJStyleOverride);
  EXPECT_TRUE(typed) << "no override";
  if (typed && SUCCEEDED(typed->GetData(&data)) && data.dashType) data.dashType->Release();
  return data;
}

DWORD IdOf(const Drawing& drawing, IUnknown* style) {
  DWORD id = 0;
  EXPECT_EQ(drawing->FindStyleID(style, &id), S_OK);
  return id;
}

DWORD ParentOf(const Drawing& drawing, DWORD id) {
  DWORD parent = 0xDEAD;
  EXPECT_EQ(drawing->GetParentID(id, &parent), S_OK);
  return parent;
}

std::vector<double> LengthsOf(IUnknown* dash) {
  auto pattern = As<IJStyleSimpleDashType>(dash, IID_IJStyleSimpleDashType);
  DWORD count = 0;
  if (!pattern || FAILED(pattern->GetCount(&count))) return {-1.0};
  std::vector<double> lengths(count);
  if (count && FAILED(pattern->GetLengths(&count, lengths.data()))) return {-1.0};
  return lengths;
}

// A dash description of the lengths, repeated along the run.
struct DashData {
  explicit DashData(std::vector<double> l) : lengths(std::move(l)) {
    data.unitsCode = STYLE_UNITS_UNSCALED;
    data.count = static_cast<DWORD>(lengths.size());
    data.lengths = lengths.data();
  }
  std::vector<double> lengths;
  tagStyleSimpleDashTypeData data{};
};

// An override of an override is built on the innermost style, with the base override's values under the
// caller's, the base's second style, and no parent (a second style rules it out). Its dash type is held once
// more, by the new override alone.
TEST_F(StyleExportsTest, AnOverrideOfAnOverrideIsBuiltOnTheInnermostStyle) {
  Drawing drawing;
  const DWORD lineID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  const DWORD otherID = drawing.Create(CLSID_JStyleSimpleLine, L"Other");
  const DWORD dashID = drawing.Create(CLSID_JStyleSimpleDashType, L"Dots", STYLETYPE_Dash);
  auto line = drawing.Style<IUnknown>(lineID, IID_IUnknown);
  auto other = drawing.Style<IUnknown>(otherID, IID_IUnknown);
  auto dash = drawing.Style<IJStyleDashTypeRender>(dashID, IID_IJStyleDashTypeRender);

  tagStyleOverride first{};
  first.flags = OVR_COLOUR | OVR_WIDTH | OVR_DASH_TYPE;
  first.unitsCode = STYLE_UNITS_11;
  first.colour = 0x0000FF;
  first.width = 0.7;
  first.dashType = dash.Get();
  StyleComPtr<IUnknown> base;
  ASSERT_EQ(HCreateOverrideStyle(drawing.D(), &first, line.Get(), base.Put(), other.Get()), S_OK);
  const LONG dashRefs = RefCount(dash.Get());
  const DWORD dashUses = drawing.UseCount(dashID);
  const DWORD count = drawing.StyleCount();

  tagStyleOverride second{};
  second.flags = OVR_COLOUR | OVR_THIRD_CODE;
  second.colour = 0x00FF00;
  StyleComPtr<IUnknown> made;
  ASSERT_EQ(HGetOverrideStyle(drawing.D(), &second, base.Get(), made.Put()), S_OK);
  EXPECT_EQ(drawing.StyleCount(), count + 1);
  EXPECT_EQ(BuiltOn(made.Get()), IdentityOf(line.Get()));
  EXPECT_FALSE(Answers(BuiltOn(made.Get()), IID_IJStylePrerender));
  EXPECT_FALSE(Answers(BuiltOn(made.Get()), IID_IJStyleOverride));

  const tagStyleOverride data = DataOf(made.Get());
  EXPECT_EQ(data.flags, DWORD{OVR_COLOUR | OVR_WIDTH | OVR_DASH_TYPE | OVR_THIRD_CODE});
  EXPECT_EQ(data.colour, 0x00FF00u);
  EXPECT_EQ(data.width, 0.7);
  EXPECT_EQ(data.unitsCode, DWORD{STYLE_UNITS_11});
  EXPECT_EQ(IdentityOf(data.dashType), IdentityOf(dash.Get()));
  StyleComPtr<IUnknown> madeOther;
  ASSERT_EQ(As<IJStyleOverride>(made.Get(), IID_IJStyleOverride)->GetOtherStyle(madeOther.Put()), S_OK);
  EXPECT_EQ(IdentityOf(madeOther.Get()), IdentityOf(other.Get()));
  const DWORD madeID = IdOf(drawing, made.Get());
  EXPECT_EQ(ParentOf(drawing, madeID), 0u);
  EXPECT_EQ(RefCount(dash.Get()), dashRefs + 1);
  EXPECT_EQ(drawing.UseCount(dashID), dashUses + 1);

  // The ID form hands out the same override: an equal unnamed one is shared, not added again.
  DWORD id = 0;
  EXPECT_EQ(HGetOverrideStyle(drawing.D(), &second, base.Get(), &id), S_OK);
  EXPECT_EQ(id, madeID);
  EXPECT_EQ(drawing.StyleCount(), count + 1);
  EXPECT_EQ(RefCount(dash.Get()), dashRefs + 1);
  EXPECT_THAT(ReportedBy(kSource), IsEmpty());
}

// A new override is an unnamed entry of its base's type; the base is its parent unless it has a second style,
// and the librarian names it after that parent.
TEST_F(StyleExportsTest, ANewOverrideTakesItsBasesTypeAndItsBaseAsParent) {
  struct Row {
    const char* what;
    const GUID* type;
    bool second;
  };
  const Row rows[] = {
      {"a line", &STYLETYPE_Linear, false},
      {"a line, with a second style", &STYLETYPE_Linear, true},
      {"a style of another type", &STYLETYPE_Dimension, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Drawing drawing;
    const DWORD otherID = drawing.Create(CLSID_JStyleSimpleLine, L"Other");
    drawing.Create(CLSID_JStyleSimpleLine, L"Spare");
    const DWORD baseID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin", *row.type);
    ASSERT_EQ(baseID, 3u);
    auto base = drawing.Style<IUnknown>(baseID, IID_IUnknown);
    auto other = drawing.Style<IUnknown>(otherID, IID_IUnknown);
    tagStyleOverride data{};
    data.flags = OVR_COLOUR;
    StyleComPtr<IUnknown> made;
    ASSERT_EQ(HCreateOverrideStyle(drawing.D(), &data, base.Get(), made.Put(), row.second ? other.Get() : nullptr),
              S_OK);
    const DWORD id = IdOf(drawing, made.Get());
    StyleRecord* record = nullptr;
    ASSERT_EQ(drawing->GetStyleRecord(id, &record), S_OK);
    EXPECT_EQ(record->name, nullptr);
    EXPECT_TRUE(IsEqualGUID(*record->type, *row.type));
    EXPECT_EQ(record->parentID, row.second ? 0u : baseID);
    drawing->FreeStyleRecord(&record);

    WCHAR name[16] = {};
    DWORD length = 16;
    const HRESULT named = drawing->GetStyleName(id, name, &length);
    EXPECT_EQ(named, row.second ? kNoName : S_OK);
    if (!row.second) {
      EXPECT_STREQ(name, L"Thin");
    }
  }
}

// The dash forms give the new override one new value, its dash type (flag 0x80 even without one), and keep a
// base override's values. Dash data becomes a new unnamed dash type of the library.
TEST_F(StyleExportsTest, TheDashFormsGiveTheOverrideOnlyANewDashType) {
  Drawing drawing;
  const DWORD lineID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  const DWORD dotsID = drawing.Create(CLSID_JStyleSimpleDashType, L"Dots", STYLETYPE_Dash);
  const DWORD dashesID = drawing.Create(CLSID_JStyleSimpleDashType, L"Dashes", STYLETYPE_Dash);
  auto line = drawing.Style<IUnknown>(lineID, IID_IUnknown);
  auto dots = drawing.Style<IJStyleDashTypeRender>(dotsID, IID_IJStyleDashTypeRender);
  auto dashes = drawing.Style<IJStyleDashTypeRender>(dashesID, IID_IJStyleDashTypeRender);
  tagStyleOverride coloured{};
  coloured.flags = OVR_COLOUR | OVR_DASH_TYPE;
  coloured.colour = 0x123456;
  coloured.dashType = dots.Get();
  StyleComPtr<IUnknown> onLine;
  ASSERT_EQ(HCreateOverrideStyle(drawing.D(), &coloured, line.Get(), onLine.Put(), nullptr), S_OK);
  DashData pattern({2.0, -1.0});

  struct Row {
    const char* what;
    tagStyleSimpleDashTypeData* data;  // the data form when `render` is not used
    IJStyleDashTypeRender* render;
    bool dataForm;
    bool onOverride;
    DWORD added;  // library entries
  };
  const Row rows[] = {
      {"dash data", &pattern.data, nullptr, true, false, 2},
      {"dash data, on an override", &pattern.data, nullptr, true, true, 1},  // the dash type is shared
      {"no dash data", nullptr, nullptr, true, false, 1},
      {"another dash type, on an override", nullptr, dashes.Get(), false, true, 1},
      {"no dash type, on an override", nullptr, nullptr, false, true, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    IUnknown* base = row.onOverride ? onLine.Get() : line.Get();
    const DWORD count = drawing.StyleCount();
    StyleComPtr<IUnknown> made;
    DWORD id = 0;
    if (row.dataForm) {
      ASSERT_EQ(HGetOverrideStyle(drawing.D(), row.data, base, made.Put()), S_OK);
      EXPECT_EQ(HGetOverrideStyle(drawing.D(), row.data, base, &id), S_OK);
    } else {
      ASSERT_EQ(HGetOverrideStyle(drawing.D(), row.render, base, made.Put()), S_OK);
      EXPECT_EQ(HGetOverrideStyle(drawing.D(), row.render, base, &id), S_OK);
    }
    EXPECT_EQ(id, IdOf(drawing, made.Get()));
    EXPECT_EQ(drawing.StyleCount(), count + row.added);
    EXPECT_EQ(BuiltOn(made.Get()), IdentityOf(line.Get()));

    const tagStyleOverride data = DataOf(made.Get());
    EXPECT_EQ(data.flags, row.onOverride ? DWORD{OVR_COLOUR | OVR_DASH_TYPE} : DWORD{OVR_DASH_TYPE});
    if (row.onOverride) {
      EXPECT_EQ(data.colour, 0x123456u);
    }
    if (row.data) {
      EXPECT_THAT(LengthsOf(data.dashType), ElementsAre(2.0, -1.0));
      StyleRecord* record = nullptr;
      ASSERT_EQ(drawing->GetStyleRecord(IdOf(drawing, data.dashType), &record), S_OK);
      EXPECT_EQ(record->name, nullptr);
      EXPECT_TRUE(IsEqualGUID(*record->type, STYLETYPE_Dash));
      drawing->FreeStyleRecord(&record);
    } else {
      EXPECT_EQ(IdentityOf(data.dashType), IdentityOf(row.render));
    }
  }
  EXPECT_THAT(ReportedBy(kSource), IsEmpty());
}

// An unnamed dash type without lengths already in the library (as a step that failed may leave one) is not the
// one that takes a new pattern, although the library shares it with any new dash type that has none yet.
TEST_F(StyleExportsTest, ANewDashPatternLeavesAnEmptyDashTypeOfTheLibraryAlone) {
  Drawing drawing;
  auto line = drawing.Style<IUnknown>(drawing.Create(CLSID_JStyleSimpleLine, L"Thin"), IID_IUnknown);
  DWORD emptyID = 0;
  ASSERT_EQ(HCreateStyleInLib(drawing.D(), &CLSID_JStyleSimpleDashType, nullptr, &STYLETYPE_Dash, 0, &emptyID,
                              nullptr),
            S_OK);
  DashData dashed({3.0, -1.0});
  StyleComPtr<IUnknown> made;
  ASSERT_EQ(HGetOverrideStyle(drawing.D(), &dashed.data, line.Get(), made.Put()), S_OK);
  EXPECT_THAT(LengthsOf(drawing.Style<IUnknown>(emptyID, IID_IUnknown).Get()), IsEmpty());
  EXPECT_THAT(LengthsOf(DataOf(made.Get()).dashType), ElementsAre(3.0, -1.0));
}

// Exactly the flagged fields travel, the dash type without a reference; a non-zero units code replaces the
// target's; the flags words are ORed, the three codes' flags included although their codes stay.
TEST_F(StyleExportsTest, LoadingOverrideDataCopiesExactlyTheFlaggedFields) {
  auto dashHolder = StyleComPtr<IUnknown>();
  ASSERT_EQ(HCreateStyle(dashHolder.Put(), nullptr, &CLSID_JStyleSimpleDashType, 0, nullptr), S_OK);
  auto dash = As<IJStyleDashTypeRender>(dashHolder.Get(), IID_IJStyleDashTypeRender);
  const LONG dashRefs = RefCount(dash.Get());

  auto filled = [](double base, IJStyleDashTypeRender* dashType) {
    tagStyleOverride r{};
    r.recordCode = kStyleOverrideRecordCode;
    r.unitsCode = static_cast<DWORD>(base) + 11;
    r.colour = static_cast<DWORD>(base) + 1;
    r.width = base + 2;
    r.secondLength = base + 3;
    r.thirdLength = base + 4;
    r.dashGenerationFlag = static_cast<DWORD>(base) + 5;
    r.fourthLength = base + 6;
    r.firstValue = static_cast<WORD>(base + 7);
    r.secondValue = static_cast<WORD>(base + 8);
    r.dashType = dashType;
    r.fillColour = static_cast<DWORD>(base) + 9;
    r.firstCode = static_cast<DWORD>(base) + 10;
    r.secondCode = static_cast<DWORD>(base) + 11;
    r.thirdCode = static_cast<DWORD>(base) + 12;
    return r;
  };
  using Field = std::pair<const char*, double (*)(const tagStyleOverride&)>;
  const Field fields[] = {
      {"colour", [](const tagStyleOverride& r) { return double(r.colour); }},
      {"fill colour", [](const tagStyleOverride& r) { return double(r.fillColour); }},
      {"width", [](const tagStyleOverride& r) { return r.width; }},
      {"second length", [](const tagStyleOverride& r) { return r.secondLength; }},
      {"third length", [](const tagStyleOverride& r) { return r.thirdLength; }},
      {"boolean", [](const tagStyleOverride& r) { return double(r.dashGenerationFlag); }},
      {"fourth length", [](const tagStyleOverride& r) { return r.fourthLength; }},
      {"values", [](const tagStyleOverride& r) { return double(r.firstValue) * 65536 + r.secondValue; }},
      {"dash type", [](const tagStyleOverride& r) { return double(reinterpret_cast<UINT_PTR>(r.dashType)); }},
      {"codes", [](const tagStyleOverride& r) { return double(r.firstCode + 100 * r.secondCode + 10000 * r.thirdCode); }},
      {"record code", [](const tagStyleOverride& r) { return double(r.recordCode); }},
  };
  struct Row {
    DWORD flag;
    const char* copied;  // the one field that travels, or null
  };
  const Row rows[] = {
      {OVR_COLOUR, "colour"},           {OVR_FILL_COLOUR, "fill colour"}, {OVR_WIDTH, "width"},
      {OVR_SCALE, "second length"},     {OVR_ROTATION, "third length"},   {OVR_DASH_FLAG, "boolean"},
      {OVR_FURTHER_LENGTH, "fourth length"}, {OVR_VALUES, "values"},    {OVR_DASH_TYPE, "dash type"},
      {OVR_FIRST_CODE, nullptr},        {OVR_SECOND_CODE, nullptr},       {OVR_THIRD_CODE, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flag);
    tagStyleOverride source = filled(100, dash.Get());
    tagStyleOverride target = filled(200, nullptr);
    source.flags = row.flag;
    target.flags = 0x1000;
    const tagStyleOverride before = target;
    EXPECT_EQ(HloadOverrideData(&source, &target), S_OK);
    for (const Field& field : fields) {
      const bool copied = row.copied && std::string(row.copied) == field.first;
      EXPECT_EQ(field.second(target), field.second(copied ? source : before)) << field.first;
    }
    EXPECT_EQ(target.unitsCode, source.unitsCode);
    EXPECT_EQ(target.flags, 0x1000 | row.flag);
  }
  EXPECT_EQ(RefCount(dash.Get()), dashRefs);

  // No units code keeps the target's; a null source or target changes nothing.
  tagStyleOverride source = filled(100, nullptr), target = filled(200, nullptr);
  source.unitsCode = STYLE_UNITS_NONE;
  EXPECT_EQ(HloadOverrideData(&source, &target), S_OK);
  EXPECT_EQ(target.unitsCode, 211u);
  const tagStyleOverride kept = target;
  EXPECT_EQ(HloadOverrideData(nullptr, &target), S_OK);
  EXPECT_EQ(std::memcmp(&kept, &target, sizeof target), 0);
  EXPECT_EQ(HloadOverrideData(&source, nullptr), S_OK);
}

// The repair walks the entries until it has seen as many in use as the library counts, deleted ones included
// and free slots not. An unnamed override without a parent, and a named one whose name the library finds, get
// the style they are built on as parent; an override of an override, a named entry the name lookup does not
// find and an override that has a parent keep theirs.
TEST_F(StyleExportsTest, PatchingParentsGivesOrphanOverridesTheirBase) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  SetProcessLibrarian(library->Librarian());
  HostStyledElement* loose = HostStyledElement::Create();  // in no document: the process library serves it
  StyleComPtr<IUnknown> line, other;
  ASSERT_EQ(HCreateStyle(line.Put(), nullptr, &CLSID_JStyleSimpleLine, 0, nullptr), S_OK);
  ASSERT_EQ(HCreateStyle(other.Put(), nullptr, &CLSID_JStyleSimpleLine, 0, nullptr), S_OK);
  const DWORD lineID = library->Add(line.Get(), L"Thin", 0, true);
  const DWORD otherID = library->Add(other.Get(), L"Other", 0, true);

  tagStyleOverride data{};
  data.flags = OVR_COLOUR;
  // With a second style an override enters the library without a parent.
  auto orphan = [&](IUnknown* base) {
    StyleComPtr<IUnknown> made;
    EXPECT_EQ(HCreateOverrideStyle(loose->Unknown(), &data, base, made.Put(), other.Get()), S_OK);
    return library->IdOf(made.Get());
  };
  auto named = [&](const wchar_t* name, bool persisted) {
    StyleComPtr<IUnknown> made;
    EXPECT_EQ(HCreateStyle(made.Put(), nullptr, &CLSID_JStyleOverride, 0, nullptr), S_OK);
    auto render = As<IJStyleRender>(line.Get(), IID_IJStyleRender);
    EXPECT_EQ(As<IJStyleRender>(made.Get(), IID_IJStyleRender)->SetReferencedStyle(render.Get()), S_OK);
    return library->Add(made.Get(), name, 0, persisted);
  };
  const DWORD freeID = orphan(line.Get());
  const DWORD deletedID = orphan(line.Get());
  const DWORD orphanID = orphan(line.Get());
  const DWORD nestedID = orphan(library->At(orphanID).object);
  const DWORD parentedID = orphan(line.Get());
  ASSERT_EQ(library->SetParentID(parentedID, otherID), S_OK);
  const DWORD knownID = named(L"Known", true);
  const DWORD strayID = named(L"Stray", false);
  const DWORD pastID = orphan(line.Get());
  library->slotAnswers[freeID] = E_FAIL;
  library->slotAnswers[deletedID] = S_FALSE;
  library->styleCount = pastID - 2;  // all but the free slot and the last entry
  library->log.clear();

  ASSERT_EQ(HPatchOverrideParents(library->Librarian()), S_OK);
  struct Row {
    const char* what;
    DWORD id;
    DWORD parent;
  };
  const Row rows[] = {
      {"the line", lineID, 0},          {"in a free slot", freeID, 0},
      {"deleted", deletedID, 0},        {"orphan", orphanID, lineID},
      {"override of an override", nestedID, 0}, {"with a parent", parentedID, otherID},
      {"named and known", knownID, lineID},     {"named, name unknown", strayID, 0},
      {"past the count", pastID, 0},
  };
  for (const Row& row : rows) EXPECT_EQ(library->At(row.id).parentID, row.parent) << row.what;
  const auto calls = [&](const std::string& prefix) {
    return std::count_if(library->log.begin(), library->log.end(),
                         [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
  };
  EXPECT_EQ(calls("IsDeletedSlot("), pastID - 1);
  EXPECT_EQ(calls("GetStyleRecord("), pastID - 3);  // not for the free and the deleted slot
  EXPECT_EQ(calls("FreeStyleRecord("), calls("GetStyleRecord("));
  EXPECT_THAT(ReportedBy(kSource), IsEmpty());
  EXPECT_EQ(HPatchOverrideParents(nullptr), E_INVALIDARG);

  SetProcessLibrarian(nullptr);
  loose->Release();
  library->Release();
}

// An override forces "no dash type" over its parent's; a simple line drops its own; other styles stay as they
// are, and the engine hears of no change to them.
TEST_F(StyleExportsTest, ResettingDashesRemovesTheDashTypeOfOverridesAndSimpleLines) {
  Drawing drawing;
  const DWORD dotsID = drawing.Create(CLSID_JStyleSimpleDashType, L"Dots", STYLETYPE_Dash);
  const DWORD lineID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  auto dots = drawing.Style<IJStyleDashTypeRender>(dotsID, IID_IJStyleDashTypeRender);
  auto line = drawing.Style<IJStyleSimpleLine>(lineID, IID_IJStyleSimpleLine);
  ASSERT_EQ(line->SetDashType(dots.Get()), S_OK);
  StyleComPtr<IUnknown> override;
  tagStyleOverride data{};
  data.flags = OVR_COLOUR | OVR_DASH_TYPE;
  data.dashType = dots.Get();
  ASSERT_EQ(HCreateOverrideStyle(drawing.D(), &data, line.Get(), override.Put(), nullptr), S_OK);

  struct Row {
    const char* what;
    IUnknown* style;
    HRESULT answer;
    bool marked;
  };
  const Row rows[] = {
      {"override", override.Get(), S_OK, true},
      {"simple line", line.Get(), S_OK, true},
      {"dash type", dots.Get(), S_OK, false},
      {"nothing", nullptr, E_INVALIDARG, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    HostClearNotifications();
    const DWORD uses = drawing.UseCount(dotsID);
    EXPECT_EQ(HResetDashesOnLinearStyle(row.style), row.answer);
    EXPECT_EQ(styllib_test::NotificationsOf(HOST_MARK_MODIFIED).size(), row.marked ? 1u : 0u);
    EXPECT_EQ(drawing.UseCount(dotsID), row.marked ? uses - 1 : uses);
  }
  const tagStyleOverride after = DataOf(override.Get());
  EXPECT_EQ(after.flags, DWORD{OVR_COLOUR | OVR_DASH_TYPE});
  EXPECT_EQ(after.dashType, nullptr);
  StyleComPtr<IJStyleDashTypeRender> lineDash;
  EXPECT_EQ(line->GetDashType(lineDash.Put()), S_OK);
  EXPECT_FALSE(lineDash);
  EXPECT_THAT(ReportedBy(kSource), ElementsAre(E_INVALIDARG));
}

// The picture of a dashed line and, beneath it, its override in another colour and pattern: the override draws
// the line with its own values.
TEST_F(StyleExportsTest, AnOverrideDrawsItsBaseInItsOwnColourAndDashes) {
  Drawing drawing;
  const DWORD lineID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  auto line = drawing.Style<IJStyleSimpleLine>(lineID, IID_IJStyleSimpleLine);
  const tagStyleSimpleLineData lineData{STYLE_UNITS_UNSCALED, 0.25, 0x0000CC, 0, 0};
  ASSERT_EQ(line->SetData(&lineData), S_OK);
  DashData long_({4.0, -2.0});
  StyleComPtr<IUnknown> longDash;
  ASSERT_EQ(HCreateSimpleDashTypeStyle(nullptr, nullptr, nullptr, &long_.data, longDash.Put()), S_OK);
  ASSERT_EQ(line->SetDashType(longDash.Get()), S_OK);

  DashData short_({1.0, -1.0});
  StyleComPtr<IUnknown> dashed, recoloured;
  ASSERT_EQ(HGetOverrideStyle(drawing.D(), &short_.data, line.Get(), dashed.Put()), S_OK);
  tagStyleOverride colour{};
  colour.flags = OVR_COLOUR;
  colour.colour = 0x008800;
  ASSERT_EQ(HGetOverrideStyle(drawing.D(), &colour, dashed.Get(), recoloured.Put()), S_OK);

  TestTarget target;
  target.recording()->SetDashesItself(TRUE);
  const RenderContextScales context = Scales(1.0, 1.0, 1.0);
  tagStyleOverride empty{};
  empty.recordCode = kStyleOverrideRecordCode;
  TestGeometry upper({0, 0, 0, 12, 0, 0});
  TestGeometry lower({0, -3, 0, 12, -3, 0});
  ASSERT_EQ(As<IJStyleRender>(line.Get(), IID_IJStyleRender)
                ->RenderWithContext(&upper.record, target.target(), &context, nullptr, &empty, nullptr),
            S_OK);
  ASSERT_EQ(As<IJStyleRender>(recoloured.Get(), IID_IJStyleRender)
                ->RenderWithContext(&lower.record, target.target(), &context, nullptr, &empty, nullptr),
            S_OK);

  const char* path = "override_of_a_line.svg";
  ASSERT_EQ(target.recording()->WriteSvg(path), S_OK);
  std::ifstream in(path, std::ios::binary);
  const std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> shown;
  const std::regex polyline(R"re(<polyline[^>]* stroke="([^"]*)" stroke-width="([^"]*)" stroke-dasharray="([^"]*)" points="([^"]*)"/>)re");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), polyline); it != std::sregex_iterator(); ++it) {
    shown.push_back((*it)[1].str() + " " + (*it)[2].str() + " [" + (*it)[3].str() + "] " + (*it)[4].str());
  }
  EXPECT_THAT(shown, ElementsAre("#CC0000 0.25 [4 2] 0,0 12,0", "#008800 0.25 [1 1] 0,3 12,3"));
}

}  // namespace
}  // namespace stylspt_test
