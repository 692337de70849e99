// The interfaces, GUIDs and records that style objects, the style library and the host pass between each other:
// one definition each. Interface tables list their operations in slot order; slots 0 to 2 are IUnknown's.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstddef>

struct JArchive;                // the host engine's persistence archive (host/halvorn/halvorn.h)
struct IRenderTarget2d;         // the host's render target (host/sithe/sithe.h)
struct IJStyleDashTypeRender;   // the drawing interface of dash types
struct StyleElementRecord;      // the host's record of the element drawn; handed on unchanged
class StyleNameMap;             // a style type's name table in the style library

// ---- style types and class tags ----

// The style type of line styles, and the category a style reports unless its class says otherwise.
inline constexpr GUID STYLETYPE_Linear = {0x606FE420, 0x0025, 0x11D0, {0xA1, 0xE1, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};

// Class tags of the headers that the bases exchange with a versioned archive.
inline constexpr GUID CLASSTAG_JStyleBase = {0x19F333B0, 0x4F81, 0x11D0, {0xA2, 0x23, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr GUID CLASSTAG_CStyleRdr2dBase = {0x19F333B3, 0x4F81, 0x11D0, {0xA2, 0x23, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};

// ---- interface IDs ----

inline constexpr IID IID_IJPersist = {0x008789C0, 0xE6C1, 0x11CD, {0xAF, 0x23, 0x08, 0x00, 0x36, 0x35, 0x02, 0x02}};
inline constexpr IID IID_IJManageStyle = {0xC018BBF0, 0x952D, 0x11CE, {0xA8, 0x2B, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};
inline constexpr IID IID_IJManageStyle2 = {0x4C95CFE1, 0x54D8, 0x11D0, {0xA4, 0x8A, 0x08, 0x00, 0x36, 0x01, 0xE4, 0x3C}};
inline constexpr IID IID_IJStyleCopy = {0xD2F3CE10, 0x398A, 0x11D0, {0x80, 0x8D, 0x08, 0x00, 0x36, 0x01, 0xB3, 0xD4}};
inline constexpr IID IID_IJStyleUser = {0xF17D06D0, 0x89D2, 0x11D0, {0xA1, 0xD7, 0x08, 0x00, 0x36, 0x23, 0xD2, 0x02}};
inline constexpr IID IID_IJStyleRender = {0x571A3A00, 0x3D33, 0x11CE, {0xBA, 0x54, 0x08, 0x00, 0x36, 0x01, 0x9E, 0xE7}};
// The same table under a second IID; asked when a copy's reference is rebuilt.
inline constexpr IID IID_IJStyleRender2 = {0xFF6A1421, 0x46A3, 0x11D0, {0xA4, 0x8A, 0x08, 0x00, 0x36, 0x01, 0xE4, 0x3C}};
// A render table whose variant is 2: it prepares records before rendering (the override style's).
inline constexpr IID IID_IJStylePrerender = {0x250F87A1, 0x46A4, 0x11D0, {0xA4, 0x8A, 0x08, 0x00, 0x36, 0x01, 0xE4, 0x3C}};
inline constexpr IID IID_IJStyleSetup2d = {0xA39623A0, 0x0B18, 0x11D0, {0xA1, 0xAC, 0x08, 0x00, 0x36, 0x23, 0xD2, 0x02}};
inline constexpr IID IID_IJGraphic = {0xF073D730, 0xCEE6, 0x11CD, {0x8B, 0xA4, 0x08, 0x00, 0x36, 0x24, 0xFC, 0x01}};
// Both IIDs of the librarian answer the same table.
inline constexpr IID IID_IJSLLibrarian = {0x53A9CDB1, 0xE944, 0x11CF, {0x80, 0x94, 0x08, 0x00, 0x36, 0xCE, 0x6C, 0x02}};
inline constexpr IID IID_IJSLLibrarian2 = {0xF42739B1, 0x7AFB, 0x11D0, {0x81, 0x31, 0x08, 0x00, 0x36, 0xCE, 0x6C, 0x02}};
inline constexpr IID IID_IJSLManageStyleServices = {0x74A329BA, 0xB9B5, 0x11D4, {0x9C, 0x03, 0x08, 0x00, 0x36, 0x01, 0x01, 0x74}};

// ---- units codes and style kinds ----

// A length's units code selects one of the render context's three scale factors; 14 and 0 mean no conversion.
enum StyleUnitsCode : DWORD {
  STYLE_UNITS_NONE = 0,
  STYLE_UNITS_11 = 11,
  STYLE_UNITS_12 = 12,
  STYLE_UNITS_13 = 13,
  STYLE_UNITS_UNSCALED = 14,
};

// What a renderable style draws into; a style draws directly only into a target of its own kind.
enum StyleKind : DWORD {
  STYLE_KIND_MULTIPLEXER = 0,
  STYLE_KIND_POINTS = 1,  // points along a line, bitmaps
  STYLE_KIND_LINE = 2,
  STYLE_KIND_FILL = 3,
  STYLE_KIND_TEXT = 4,
};

// ---- records ----

// The render and override record that travels with every drawing call. A producer sets a field and its flag
// bit together; a consumer reads only flagged fields. A style fills only fields whose bit is still clear.
enum StyleOverrideFlags : DWORD {
  OVR_COLOUR = 0x1,
  OVR_WIDTH = 0x2,  // with the record's units code
  OVR_SCALE = 0x4,
  OVR_ROTATION = 0x8,
  OVR_DASH_FLAG = 0x10,
  OVR_FURTHER_LENGTH = 0x20,
  OVR_VALUES = 0x40,  // both 16-bit values
  OVR_DASH_TYPE = 0x80,
  OVR_FILL_COLOUR = 0x100,
  OVR_FIRST_CODE = 0x200,
  OVR_SECOND_CODE = 0x400,
  OVR_THIRD_CODE = 0x800,
  OVR_FILL_COLOUR_BY_OVERRIDE = 0x40000000,
};

inline constexpr DWORD kStyleOverrideRecordCode = 4;

struct tagStyleOverride {
  DWORD recordCode;  // always 4
  DWORD unitsCode;   // of the lengths in the record
  DWORD flags;
  DWORD colour;
  double width;
  union {
    double scaleFactor;   // applied to symbols by the point symbol style
    double secondLength;
    double dashScale;     // scales the dash pattern
  };
  union {
    double rotationAngle;  // set by the point symbol style for oriented points
    double thirdLength;
  };
  DWORD dashGenerationFlag;  // the boolean handed to the dash generation (its fit request)
  DWORD unused44;
  union {
    double furtherLength;
    double fourthLength;
  };
  WORD firstValue;
  WORD secondValue;  // travels with the first value's flag
  IJStyleDashTypeRender* dashType;
  DWORD fillColour;
  DWORD firstCode;   // 0 to 3
  DWORD secondCode;  // 0 to 2
  DWORD thirdCode;   // 0 to 2
  BYTE unused80[8];
};
static_assert(sizeof(tagStyleOverride) == 88);
static_assert(offsetof(tagStyleOverride, width) == 16);
static_assert(offsetof(tagStyleOverride, scaleFactor) == 24);
static_assert(offsetof(tagStyleOverride, rotationAngle) == 32);
static_assert(offsetof(tagStyleOverride, dashGenerationFlag) == 40);
static_assert(offsetof(tagStyleOverride, furtherLength) == 48);
static_assert(offsetof(tagStyleOverride, firstValue) == 56);
static_assert(offsetof(tagStyleOverride, secondValue) == 58);
static_assert(offsetof(tagStyleOverride, dashType) == 60);
static_assert(offsetof(tagStyleOverride, fillColour) == 64);
static_assert(offsetof(tagStyleOverride, thirdCode) == 76);

// The caller's render context, handed to every drawing call.
struct RenderContextScales {
  double scale11;  // for units code 11
  double scale12;
  double scale13;
  DWORD deviceMode;  // non-zero: lengths of code 11 map to device units
  union {
    double furtherFactor;
    double textFactor;  // as the text styles read it
  };
  double deviceFactor;   // for code 11 in device mode
  double deviceOffset;   // for code 11 in device mode
  DWORD deviceMaximum;   // 0 = none
  union {
    double verticalAxisFactor;  // placed symbols scale their y axis by it and measure their angles with it
    double orientation;         // the text styles' direction
  };
  // Read by the fill styles.
  double smallestSpacing;  // smallest drawable spacing
  DWORD originsConverted;
};
static_assert(offsetof(RenderContextScales, deviceMode) == 24);
static_assert(offsetof(RenderContextScales, furtherFactor) == 32);
static_assert(offsetof(RenderContextScales, deviceMaximum) == 56);
static_assert(offsetof(RenderContextScales, verticalAxisFactor) == 64);
static_assert(offsetof(RenderContextScales, smallestSpacing) == 72);
static_assert(offsetof(RenderContextScales, originsConverted) == 80);
static_assert(sizeof(RenderContextScales) == 88);

// A style's extent. Ranges merge extents field by field, keeping the larger value.
struct StyleExtent {
  DWORD value;
  double first;
  double second;
};
static_assert(sizeof(StyleExtent) == 24);

// Points handed to a style: a point list of the geometry record, or one run of it.
struct StylePointRun {
  void* points;  // three f64 each (x, y, z); oriented points (geometry type 264) are nine f64
  DWORD count;
  BYTE flags[2];
};
static_assert(sizeof(StylePointRun) == 12);

// The host's description of the element being drawn.
inline constexpr WORD kGeometryOrientedPoints = 264;
struct StyleGeometryRecord {
  union {
    WORD type;   // 264: oriented points; any other: plain points
    DWORD word0;  // bit 16: the point list is one run
  };
  BYTE unused4[52];
  StylePointRun* pointList;
  BYTE unused60[4];
};
static_assert(sizeof(StyleGeometryRecord) == 64);
static_assert(offsetof(StyleGeometryRecord, pointList) == 56);

// The record handed to a graphic's Draw; its layout is the host's graphic protocol.
struct GraphicDrawContext {
  BYTE unused0[192];
  BYTE byte192;
  BYTE unused193[199];
  BYTE byte392;
  BYTE unused393[7];
  DWORD word400;
  IUnknown* display;  // the element's display interface, with a reference
  const IID* displayIid;
  IUnknown* slot412;  // released with the record
  const IID* slot412Iid;
  IUnknown* filter;  // released with the record
  const IID* filterIid;
  DWORD words428[3];
  BYTE unused440[16];
};
static_assert(sizeof(GraphicDrawContext) == 456);
static_assert(offsetof(GraphicDrawContext, byte392) == 392);
static_assert(offsetof(GraphicDrawContext, word400) == 400);
static_assert(offsetof(GraphicDrawContext, display) == 404);
static_assert(offsetof(GraphicDrawContext, filter) == 420);
static_assert(offsetof(GraphicDrawContext, words428) == 428);

// A graphic's range: two 3D corners.
struct GraphicRange {
  double xmin, ymin, zmin;
  double xmax, ymax, zmax;
};
static_assert(sizeof(GraphicRange) == 48);

// The base record with which every current-layout style record begins. In the archive it takes 14 bytes, moved
// field by field; callers pass it zero-filled.
struct StyleBaseRecord {
  WORD flags;  // bits 0-2: units code minus 10 (renderable styles), 0 for no units code
  DWORD styleID;
  DWORD reserved;
  DWORD referencedStyleID;
};
inline constexpr WORD kStyleBaseUnitsMask = 0x7;

// The library's description of a style, handed in to add one and handed out by GetStyleRecord.
struct StyleRecord {
  LPWSTR name;
  LPWSTR auxText;
  IUnknown* styleObject;  // holds a reference
  GUID* type;
  DWORD parentID;
  DWORD entryFlags;
};
static_assert(sizeof(StyleRecord) == 24);

// Style IDs: 0 means none, 0xFFFFFFFF a reference without a usable ID.
inline constexpr DWORD kNoStyleID = 0;
inline constexpr DWORD kInvalidStyleID = 0xFFFFFFFF;

// Called once for each style ID a style refers to.
using StyleRefCallback = HRESULT(WINAPI*)(DWORD styleID);

// ---- interfaces of the style library ----

struct IJSLLibrarian : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetStyle(DWORD id, IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddRefStyleID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseStyleID(DWORD id) = 0;
  // The ID of a style object, adopting a style of another library when needed.
  virtual HRESULT STDMETHODCALLTYPE GetStyleID(IUnknown* object, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindStyleID(IUnknown* object, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStyleRecord(DWORD id, StyleRecord** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeStyleRecord(StyleRecord** record) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddStyle(StyleRecord* record, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindOrAddName(LPCWSTR name, const GUID* type, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindOrCreateStyleID(LPCWSTR name, const GUID* type, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStyleName(DWORD id, LPWSTR buffer, DWORD* length) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameStyle(DWORD id, LPCWSTR name, DWORD force) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveStyle(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveStyleByName(LPCWSTR name, const GUID* type) = 0;
  virtual HRESULT STDMETHODCALLTYPE DropStyleName(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered16(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetActiveStyleID(const GUID* type, DWORD* id, BYTE create) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetActiveStyleID(const GUID* type, DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetParentID(DWORD id, DWORD* parent) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetParentID(DWORD id, DWORD parent) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetTypeCategory(GUID type, GUID iid) = 0;
  virtual HRESULT STDMETHODCALLTYPE LoadResourceStyleNames() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeNameMap(GUID type, StyleNameMap** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumStyles(const GUID* type, IEnumUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE NewEnumStyles(const GUID* type, IEnumUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNamedStyleCount(DWORD* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStyleCount(DWORD* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNamedStyleCountOfType(const GUID* type, DWORD* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeNameCount(const GUID* type, DWORD* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetKeptStyleCount(DWORD* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnkeptStyleCount(DWORD* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeCount(DWORD* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeGUID(WORD index, GUID* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindStyleIDByName(LPCWSTR name, const GUID* type, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyStyleTo(DWORD id, IUnknown* otherLibrary, DWORD* newID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLibraryDocumentObject(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetExceptionStyleID(GUID type, DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetExceptionStyleID(GUID type, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindEqualStyleIDUnderParent(DWORD parent, IUnknown* object, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterType(GUID type, DWORD activeID, DWORD defaultID, GUID iid) = 0;
  virtual HRESULT STDMETHODCALLTYPE NoEffect41(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NoEffect42(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUseCount(DWORD id, DWORD* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered44(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered45(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddStyleNoCreate(StyleRecord* record, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReplaceStyle(DWORD id, IUnknown* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE NameChanged(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NoEffect49(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFlags(DWORD* flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFlags(DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLibraryValue(DWORD* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyStyleFromLibrary(DWORD id, IUnknown* otherLibrary, DWORD* newID) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindStyleIDByName2(LPCWSTR name, const GUID* type, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsDeletedSlot(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveUnusedStyles(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddRefStyleID2(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseStyleID2(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindEqualStyleID(IUnknown* object, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateChildStyles(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChangeStyleType(DWORD id, const GUID* type) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResyncStyleTypes() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLiveCount(DWORD* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetStyleNameString(LPCWSTR name, const GUID* type, LPCWSTR text) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDocumentBacked(BYTE backed) = 0;
};

struct IJSLManageStyleServices : public IUnknown {
  // The entry's own name when the ID is valid and persisted; *name stays as it was otherwise. Always S_OK.
  virtual HRESULT STDMETHODCALLTYPE GetPersistedStyleName(DWORD id, LPWSTR* name) = 0;
};

// ---- interfaces of style objects ----

struct IJPersist : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) = 0;
  // The object that implements the style, without a reference.
  virtual void* STDMETHODCALLTYPE GetImplementation() = 0;
  virtual HRESULT STDMETHODCALLTYPE Load(JArchive* archive) = 0;
  virtual HRESULT STDMETHODCALLTYPE Store(JArchive* archive) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IUnknown* outer, IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitNew() = 0;
};

struct IJManageStyle2 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CopyFrom(IUnknown* source, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsSameStyle(IUnknown* other, BOOL* same) = 0;
  virtual BOOL STDMETHODCALLTYPE IsFlagWordClear() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetID(WORD* n, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFlagWord(WORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOwner(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLibrarian(IUnknown* librarian) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseStyleRefs(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumStyleRefs(StyleRefCallback callback) = 0;
  // Copies the style, with the styles it refers to, into the target library; *newID is the copy's ID there.
  virtual HRESULT STDMETHODCALLTYPE CopyStyleToLibrary(IJSLLibrarian* source, IJSLLibrarian* target,
                                                       IUnknown* targetDocument, DWORD* newID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStyleCategory(GUID* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStyleChanged(DWORD id, DWORD) = 0;
};

struct IJStyleCopy : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Copy(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                         DWORD* newID) = 0;
};

struct IJStyleUser : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CopyStyleUse(IUnknown* sourceLibrary, IUnknown* targetLibrarian,
                                                 IUnknown* targetDocument, IUnknown* source, DWORD) = 0;
  // A style announces its owner library to what it uses (a point symbol to its symbol).
  virtual HRESULT STDMETHODCALLTYPE AnnounceOwner(IUnknown* ownerLibrarian, DWORD* out) = 0;
  virtual BOOL STDMETHODCALLTYPE UsesStyleID(DWORD id) = 0;
};

struct IJStyleRender : public IUnknown {
  // 1 for a plain render table, 2 for one that prepares records before rendering.
  virtual DWORD STDMETHODCALLTYPE GetVariant() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRangeWithContext(StyleExtent* extent, const RenderContextScales* context,
                                                        IJStyleRender* substitute,
                                                        const tagStyleOverride* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReferencedStyle(IUnknown* style) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStyleKind(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReferencedStyle(IJStyleRender** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFixedQuery1(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFixedQuery2(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFixedQuery3(DWORD value, DWORD* out) = 0;
  // The caller's record is never changed.
  virtual HRESULT STDMETHODCALLTYPE RenderWithContext(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                                      const RenderContextScales* context, IJStyleRender* substitute,
                                                      const tagStyleOverride* record,
                                                      const StyleElementRecord* element) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetExtentDelta(StyleExtent* extent) = 0;
  // Collects the values of the style and of its chain of referenced styles, without unit conversion.
  virtual HRESULT STDMETHODCALLTYPE ApplyToGraphic(tagStyleOverride* record) = 0;
};

struct IJStyleSetup2d : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetOwner(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLibrarian(IUnknown* librarian) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReferencedStyle(IUnknown* style) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReferencedStyleID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReferencedStyle(IJStyleRender** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReferencedStyleID(DWORD* out) = 0;
};

// The host's sink of a graphic's notice: the graphic calls only its second operation after IUnknown's. Declared
// here, with external linkage, so that no unit may take it for a type that nothing implements.
struct IJGraphicNotifySink : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE First() = 0;
  virtual HRESULT STDMETHODCALLTYPE Second() = 0;
};

// A drawable graphic: symbols, symbol definitions, the missing-graphic placeholder.
struct IJGraphic : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetGraphicType(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE Notify(DWORD a, DWORD b, DWORD c, IUnknown* sink) = 0;
  virtual HRESULT STDMETHODCALLTYPE Draw(GraphicDrawContext* context) = 0;
  // Either pointer may be null.
  virtual HRESULT STDMETHODCALLTYPE GetRange(GraphicRange* range, StyleExtent* extent) = 0;
};
