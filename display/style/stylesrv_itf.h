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

// The style type of dash types.
inline constexpr GUID STYLETYPE_Dash = {0x93ADC030, 0x0CB6, 0x11D0, {0xB2, 0x9B, 0x08, 0x00, 0x36, 0x22, 0xD7, 0x02}};

// The host engine's extension class of line styles: what a line style does not answer itself, the engine may.
inline constexpr GUID CLASSEXT_LineStyle = {0x42F2A7C0, 0xFFE3, 0x11CD, {0xA8, 0x2A, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};

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
inline constexpr IID IID_IJStyleDashType = {0x5CAEABF1, 0xCC2A, 0x11CE, {0x95, 0xC7, 0x08, 0x00, 0x36, 0x48, 0x39, 0x02}};
inline constexpr IID IID_IJStyleDashTypeRender = {0xEA1ACBD2, 0xE20A, 0x11CE, {0x95, 0xCA, 0x08, 0x00, 0x36, 0x48, 0x39, 0x02}};
inline constexpr IID IID_IJStyleSimpleDashType = {0xEA1ACBD1, 0xE20A, 0x11CE, {0x95, 0xCA, 0x08, 0x00, 0x36, 0x48, 0x39, 0x02}};
inline constexpr IID IID_IJStyleDashTypeClient = {0x5B4D6900, 0xFF52, 0x11CF, {0xA9, 0xE6, 0x08, 0x00, 0x36, 0x56, 0xCA, 0x02}};

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
  // Read by the symbol fill: the context's own scale, which symbols take on when the context has a units code.
  double contextScale;
  DWORD contextUnitsCode;  // 0 = none
};
static_assert(offsetof(RenderContextScales, deviceMode) == 24);
static_assert(offsetof(RenderContextScales, furtherFactor) == 32);
static_assert(offsetof(RenderContextScales, deviceMaximum) == 56);
static_assert(offsetof(RenderContextScales, verticalAxisFactor) == 64);
static_assert(offsetof(RenderContextScales, smallestSpacing) == 72);
static_assert(offsetof(RenderContextScales, originsConverted) == 80);
static_assert(offsetof(RenderContextScales, contextScale) == 88);
static_assert(offsetof(RenderContextScales, contextUnitsCode) == 96);
static_assert(sizeof(RenderContextScales) == 104);

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
  BYTE unused4[4];
  // The range box of the points: the x, y and z of its low corner, then of its high corner; all zero when the
  // host gives none (a fill pattern then takes the points' own range).
  double rangeBox[6];
  StylePointRun* pointList;
  BYTE unused60[4];
};
static_assert(sizeof(StyleGeometryRecord) == 64);
static_assert(offsetof(StyleGeometryRecord, rangeBox) == 8);
static_assert(offsetof(StyleGeometryRecord, pointList) == 56);

// The host's record of the element drawn. Styles hand it on unchanged; the dash generation reads three fields,
// the point symbol the element's display object, the offset line the element code and the reference length.
struct StyleElementRecord {
  double runLength;   // 0.0: none given, the run's own length counts
  double phase;       // where in the dash pattern the run starts
  IUnknown* display;  // the element's display object, without a reference: placed symbols draw through it
  DWORD elementCode;  // 115, 116 and 127 never restart the pattern at corners; 103 to 105 take quadrant offsets
  double referenceLength;  // quadrant offsets shorter than half of it are not drawn
};
static_assert(sizeof(StyleElementRecord) == 32);
static_assert(offsetof(StyleElementRecord, display) == 16);
static_assert(offsetof(StyleElementRecord, elementCode) == 20);
static_assert(offsetof(StyleElementRecord, referenceLength) == 24);

// The description of a simple dash type, handed to and from it and across the exported style API.
struct tagStyleSimpleDashTypeData {
  DWORD unitsCode;
  DWORD count;
  const double* lengths;  // count signed lengths: > 0 a dash, < 0 a gap, 0.0 or -DBL_MAX an empty entry
  DWORD flags;            // bits 0-3 the pattern mode; 0x10 strokes hidden; 0x20 restart at corners
  double endFraction;     // the part of the first entry that shows at each run end
  DWORD strokesHidden;    // 0 or 1; non-zero is read as set
};
static_assert(sizeof(tagStyleSimpleDashTypeData) == 32);
static_assert(offsetof(tagStyleSimpleDashTypeData, endFraction) == 16);
static_assert(offsetof(tagStyleSimpleDashTypeData, strokesHidden) == 24);

// Flags word of a simple dash type.
enum StyleDashFlags : DWORD {
  DASH_MODE_MASK = 0xF,
  DASH_MODE_REPEAT = 0,
  DASH_MODE_STRETCH = 1,  // the pattern once over the run, gaps stretched
  DASH_MODE_FIT = 2,      // whole patterns, gaps stretched so that the run ends on a dash
  DASH_MODE_AUTOMATIC = 8,  // fit when the line asks for it, else repeat
  DASH_STROKES_HIDDEN = 0x10,  // only the clients draw
  DASH_CORNER_RESTART = 0x20,  // the pattern starts again at corners sharper than pi/6
  DASH_CURRENT_FORM = 0x1000000,
  DASH_CLEARED_BITS = 0x7E000000,  // bits 25-30
  DASH_OLD_FORM = 0x80000000,
};

// What the dash generation tells its clients about the drawing call, nine words.
struct DashClientContext {
  IRenderTarget2d* target;
  const RenderContextScales* context;
  UINT_PTR zero;
  const tagStyleOverride* record;
  const StyleElementRecord* element;
  const RenderContextScales* context2;
  UINT_PTR zero2;
  const tagStyleOverride* record2;
  const StyleElementRecord* element2;
};
static_assert(sizeof(DashClientContext) == 9 * sizeof(void*));

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
// An ID that names a style of a library, and so holds a use of it.
inline constexpr bool IsUsableStyleID(DWORD id) { return id != kNoStyleID && id != kInvalidStyleID; }

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
  // Collects the values of the style and of its chain of referenced styles, without unit conversion. The
  // record holds one reference on the line style it names, before the call and after it.
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

// ---- dash types ----

// A style that draws at the entries of a dash pattern while a dash type walks a run. Each served entry has a
// state word that belongs to the client; it is zero before BeginRun and may hold a pointer of the client's.
struct IJStyleDashTypeClient : public IUnknown {
  // S_OK when the client serves the pattern entry.
  virtual HRESULT STDMETHODCALLTYPE AcceptsEntry(DWORD index) = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginRun(void** state, const DashClientContext* context, DWORD index) = 0;
  virtual HRESULT STDMETHODCALLTYPE EndRun(void** state, const DashClientContext* context, DWORD index) = 0;
  // `offset`: how far into the entry the walk begins; `value`: the entry's scaled length.
  virtual HRESULT STDMETHODCALLTYPE EntryStart(void** state, const DashClientContext* context, DWORD index, double x,
                                               double y, double z, double offset, double value) = 0;
  // `pieceLength`: the entry's piece on the incoming segment, whose unit direction (x, y) is `direction`.
  virtual HRESULT STDMETHODCALLTYPE CornerReached(void** state, const DashClientContext* context, DWORD index,
                                                  double x, double y, double z, double pieceLength,
                                                  const double* direction) = 0;
  // Answers 1 when the client drew and the dash type must set its pen again.
  virtual HRESULT STDMETHODCALLTYPE EntryEnd(void** state, const DashClientContext* context, DWORD index, double x,
                                             double y, double z, double pieceLength, const double* direction,
                                             double value) = 0;
};

// The drawing interface of dash types, through which line styles dash their runs.
struct IJStyleDashTypeRender : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotOffered3(DWORD) = 0;
  // Raises each field of *extent to the clients' extents.
  virtual HRESULT STDMETHODCALLTYPE GetExtents(StyleExtent* extent, const RenderContextScales* context, DWORD,
                                               const tagStyleOverride* record) = 0;
  // Dashes one run. `fitRequest` matters in the automatic mode only; `width` is already converted.
  virtual HRESULT STDMETHODCALLTYPE RenderDashes(const StylePointRun* run, IRenderTarget2d* target,
                                                 const RenderContextScales* context, DWORD fitRequest,
                                                 const tagStyleOverride* record, const StyleElementRecord* element,
                                                 DWORD colour, double width) = 0;
};

// The client list of a dash type: styles kept by style ID, each holding one use of its ID.
struct IJStyleDashType : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotOffered3(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered4(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered5(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered6(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered7(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered8(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered9(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered10(DWORD, DWORD, DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetClients(LONG count, IJStyleDashTypeClient** clients) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetClientIDs(LONG count, const DWORD* ids) = 0;
  // Each client handed out with a reference, or null. S_FALSE when `count` is below the client count.
  virtual HRESULT STDMETHODCALLTYPE GetClients(LONG count, IJStyleDashTypeClient** out) = 0;
  // S_FALSE when fewer IDs were copied than the ID array holds.
  virtual HRESULT STDMETHODCALLTYPE GetClientIDs(LONG count, DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* out) = 0;
};

// The description of a simple dash type.
struct IJStyleSimpleDashType : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLengths(DWORD count, const double* lengths) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCount(DWORD* out) = 0;
  // Answers 8, writing nothing, when *count is below the number of lengths.
  virtual HRESULT STDMETHODCALLTYPE GetLengths(DWORD* count, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetData(const tagStyleSimpleDashTypeData* data) = 0;
  // Answers 8, with only the units code written, when the record's count is below the number of lengths.
  virtual HRESULT STDMETHODCALLTYPE GetData(tagStyleSimpleDashTypeData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLockedFields(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLockedFields(DWORD fields) = 0;
  // The pattern mode and the nominal length of one pattern, unconverted.
  virtual HRESULT STDMETHODCALLTYPE GetPatternLength(DWORD* mode, double* length) = 0;
};

// Answered by GetLengths and GetData when the caller's buffer is too small: retry with GetCount slots.
inline constexpr HRESULT kDashBufferTooSmall = 8;

// ---- line styles ----

inline constexpr IID IID_IJStyleSimpleLine = {0x30E4C060, 0x6204, 0x11CE, {0xBA, 0x54, 0x08, 0x00, 0x36, 0x01, 0x9E, 0xE7}};
inline constexpr IID IID_IJStyleLineSolid = {0x581C81C7, 0xADF4, 0x11D1, {0xBC, 0xA1, 0x08, 0x00, 0x36, 0x92, 0xD0, 0x02}};
inline constexpr IID IID_IJStyleOverride = {0x3A7355D0, 0xD286, 0x11CE, {0xBB, 0x7F, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};
// Interfaces that the host engine may add to an override style as class extensions, and the extension classes
// it is asked under.
inline constexpr IID IID_OverrideExtension1 = {0x8D7A7D60, 0xB7D0, 0x11CE, {0xBB, 0x76, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};
inline constexpr IID IID_OverrideExtension2 = {0x6457BB8E, 0x1AE1, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};
inline constexpr GUID CLASSEXT_OverrideExtension2 = {0x1EA6C2DA, 0x1BB3, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};

// Style flags of a simple line.
enum StyleSimpleLineFlags : DWORD {
  SLINE_FIT = 0x1,            // handed to the dash generation as its fit request
  SLINE_WIDTH_FIXED = 0x2,    // filling the record's width also flags it
  SLINE_COLOUR_FIXED = 0x4,   // filling the record's colour also flags it
  SLINE_FIRST_CODE_SHIFT = 3,   // bits 3-5, 0 to 3
  SLINE_SECOND_CODE_SHIFT = 6,  // bits 6-8, 0 to 2
  SLINE_DASH_ID_STORED = 0x800,     // only inside the current record
  SLINE_OVERLAY_ID_STORED = 0x1000,  // only inside the current record
  SLINE_THIRD_CODE_SHIFT = 13,  // bits 13-15, 0 to 2
  SLINE_MODE_SKIP = 0x10000,    // nothing is drawn in render modes 2 and 4
  SLINE_OLD_FORM = 0x80000000,  // such a word keeps only its bit 0
};

// Locked fields of a simple line: what a selective CopyFrom leaves alone.
enum StyleSimpleLineLocks : DWORD {
  SLINE_LOCK_COLOUR_WIDTH = 0x1,
  SLINE_LOCK_FIT = 0x10,
  SLINE_LOCK_DASH_TYPE = 0x80,
  SLINE_LOCK_COLOUR_FIXED = 0x800,
  SLINE_LOCK_WIDTH_FIXED = 0x1000,
};

// Locked fields of a solid line.
enum StyleLineSolidLocks : DWORD {
  LSOLID_LOCK_COLOUR = 0x1,
  LSOLID_LOCK_WIDTH = 0x2,
};

// The data of a simple line; callers pass a zero-filled block.
struct tagStyleSimpleLineData {
  DWORD unitsCode;
  double width;
  DWORD colour;
  DWORD styleFlags;
  DWORD lockedFields;
};
static_assert(sizeof(tagStyleSimpleLineData) == 32);
static_assert(offsetof(tagStyleSimpleLineData, width) == 8);
static_assert(offsetof(tagStyleSimpleLineData, lockedFields) == 24);

// The data of a solid line; callers pass a zero-filled block.
struct tagStyleLineSolidData {
  DWORD unitsCode;
  double width;
  DWORD colour;
};
static_assert(sizeof(tagStyleLineSolidData) == 24);
static_assert(offsetof(tagStyleLineSolidData, colour) == 16);

struct IJStyleSimpleLine : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWidth(double width) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWidth(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetData(const tagStyleSimpleLineData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetData(tagStyleSimpleLineData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLockedFields(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLockedFields(DWORD fields) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDashType(IUnknown* dashType) = 0;
  // With a reference, or null.
  virtual HRESULT STDMETHODCALLTYPE GetDashType(IJStyleDashTypeRender** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOverlayStyle(IUnknown* style) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOverlayStyle(IJStyleRender** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDashTypeID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDashTypeID(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOverlayStyleID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOverlayStyleID(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWidthFixed() = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearWidthFixed() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColorFixed() = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearColorFixed() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFirstCode(DWORD code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFirstCode(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSecondCode(DWORD code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSecondCode(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetThirdCode(DWORD code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetThirdCode(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetModeSkip(DWORD skip) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetModeSkip(DWORD* out) = 0;
};

struct IJStyleLineSolid : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWidth(double width) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWidth(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetData(const tagStyleLineSolidData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetData(tagStyleLineSolidData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLockedFields(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLockedFields(DWORD fields) = 0;
};

struct IJStyleOverride : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetKind(DWORD kind) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFlags(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFlags(DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWidth(double width) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWidth(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSecondLength(double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSecondLength(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetThirdLength(double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetThirdLength(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFitRequest(DWORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFitRequest(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFourthLength(double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFourthLength(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFirstValue(WORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFirstValue(WORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSecondValue(WORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSecondValue(WORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFillColor(DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFillColor(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDashType(IUnknown* dashType) = 0;
  // With a reference, or null.
  virtual HRESULT STDMETHODCALLTYPE GetDashType(IJStyleDashTypeRender** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOtherStyle(IUnknown* style) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOtherStyle(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetData(const tagStyleOverride* data) = 0;
  // With flag 0x80, the record's dash type carries a reference for the caller.
  virtual HRESULT STDMETHODCALLTYPE GetData(tagStyleOverride* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDashTypeID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDashTypeID(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOtherStyleID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOtherStyleID(DWORD* out) = 0;
};

// What travels through a chain of prerender interfaces: a header that only the caller reads, then a record.
struct StylePrerenderBlock {
  BYTE header[16];
  tagStyleOverride record;
};
static_assert(sizeof(StylePrerenderBlock) == 104);

// The render interface of styles that prepare records for the styles they refer to (variant 2). The caller's
// arguments of the second and third operations are handed along the chain unread.
struct IJStylePrerender : public IUnknown {
  virtual DWORD STDMETHODCALLTYPE GetVariant() = 0;
  virtual HRESULT STDMETHODCALLTYPE Prepare(UINT_PTR a1, UINT_PTR a2, UINT_PTR a3, UINT_PTR a4) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareRecord(UINT_PTR a1, UINT_PTR a2, UINT_PTR a3, StylePrerenderBlock* block,
                                                  UINT_PTR a5, UINT_PTR a6) = 0;
};

// ---- what the automation flag of a style reads ----

// The multiplexed line style's own interface; a multiplexer in a library is not edited through automation.
inline constexpr IID IID_IJStyleMultiplexer = {0xAF387A90, 0x5333, 0x11CE, {0xBA, 0x54, 0x08, 0x00, 0x36, 0x01, 0x9E, 0xE7}};

// The host's interface of its text styles: slot 6 answers whether a text style outside the library may be
// edited (non-zero: it may). The meaning of the other slots is the host's.
inline constexpr IID IID_IJTextStyleEditable = {0x0A2277A7, 0x1CDF, 0x46E9, {0x9C, 0x88, 0x22, 0x04, 0x90, 0x9D, 0xE5, 0x2E}};
struct IJTextStyleEditable : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotCalled3() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled4() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled5() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEditable(DWORD* value) = 0;  // 6
};

// ---- the style library ----

class JSymbolDescriptor;  // a name of a style type's name table, with the style behind it
struct IWorkbenchAdmin;   // the binding interface of a workbench

// The style types a new library registers, in this order: "Dash" and "Linear" (above), then these.
inline constexpr GUID STYLETYPE_Fill = {0x606FE421, 0x0025, 0x11D0, {0xA1, 0xE1, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr GUID STYLETYPE_TextChar = {0x606FE422, 0x0025, 0x11D0, {0xA1, 0xE1, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr GUID STYLETYPE_TextPara = {0x606FE423, 0x0025, 0x11D0, {0xA1, 0xE1, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr GUID STYLETYPE_Dimension = {0x606FE424, 0x0025, 0x11D0, {0xA1, 0xE1, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr GUID STYLETYPE_BriskFrame = {0x606FE425, 0x0025, 0x11D0, {0xA1, 0xE1, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr GUID STYLETYPE_HatchFillPattern = {0x551147C0, 0x0E6B, 0x11D0, {0x80, 0x50, 0x08, 0x00, 0x36, 0x01, 0xB3, 0xD4}};
inline constexpr GUID STYLETYPE_SymbolFillPattern = {0x9C76B380, 0x2559, 0x11D2, {0xAB, 0xF0, 0x08, 0x00, 0x36, 0x3C, 0x8C, 0x03}};
inline constexpr GUID STYLETYPE_SegmentedStyle = {0x01B0AB10, 0x4D5F, 0x11D0, {0x83, 0xB9, 0x08, 0x00, 0x36, 0x17, 0x05, 0x02}};
inline constexpr GUID STYLETYPE_PointSymbol = {0x1B5F70A1, 0x708A, 0x11D0, {0x94, 0x19, 0x08, 0x00, 0x36, 0x01, 0xBE, 0x52}};
inline constexpr GUID STYLETYPE_LinePointGen = {0x1B5F70A2, 0x708A, 0x11D0, {0x94, 0x19, 0x08, 0x00, 0x36, 0x01, 0xBE, 0x52}};
inline constexpr GUID STYLETYPE_Mux3d = {0x8D7F1D46, 0xB368, 0x11D1, {0xBC, 0x42, 0x08, 0x00, 0x36, 0x93, 0xE1, 0x02}};

// Interfaces under which the library hands out the styles of a type (its category), besides IJStyleRender,
// IJStylePrerender and IJStyleDashTypeRender above.
inline constexpr IID IID_IJStyleTextPara = {0x0391DF90, 0x5D4C, 0x11CE, {0xBB, 0x2E, 0x08, 0x00, 0x36, 0x01, 0xBD, 0xA9}};
inline constexpr IID IID_IJStyleFillTypeRender = {0xA99F1CA0, 0x2DD4, 0x11CF, {0xB2, 0x71, 0x08, 0x00, 0x36, 0x82, 0x56, 0x02}};

// The library's interfaces besides the librarian.
inline constexpr IID IID_IJSLRender = {0xF0B95481, 0xDF14, 0x11CF, {0x80, 0x90, 0x08, 0x00, 0x36, 0xCE, 0x6C, 0x02}};
inline constexpr IID IID_IJSLibAccess = {0xAE5344C1, 0x3019, 0x11D0, {0x80, 0xF3, 0x08, 0x00, 0x36, 0xCE, 0x6C, 0x02}};
inline constexpr IID IID_IJSLWorkShop = {0x3F7C1EBA, 0xC4DE, 0x11D1, {0x99, 0x2C, 0x08, 0x00, 0x36, 0xBB, 0x75, 0x02}};
inline constexpr IID IID_IJStyleConvertR1Elements = {0x317A0050, 0x56B2, 0x11D0, {0xA2, 0x2D, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr IID IID_IJStyleResourceList = {0x1D388880, 0x31D5, 0x11D0, {0xA9, 0xFE, 0x08, 0x00, 0x36, 0x56, 0xCA, 0x02}};
inline constexpr IID IID_IJStyleUnitSettings = {0x2ED06BE3, 0x415F, 0x11D0, {0x81, 0x01, 0x08, 0x00, 0x36, 0xCE, 0x6C, 0x02}};
// Answered for the library by the engine's library extension.
inline constexpr IID IID_IJSLExtension = {0x22CAC700, 0x7655, 0x101B, {0xB3, 0x82, 0x08, 0x00, 0x36, 0x01, 0xB2, 0x0D}};
// Answered for the library by the document that holds it.
inline constexpr IID IID_IJSLDocumentInterface = {0xC2AA2CFC, 0x38DC, 0x11D0, {0x9D, 0xE2, 0x08, 0x00, 0x36, 0xD8, 0x27, 0x02}};
// The workshop's link to the library that aggregates it.
inline constexpr IID IID_IJShopServices = {0x4587E0A0, 0x0922, 0x11D1, {0x91, 0x2B, 0x08, 0x00, 0x36, 0x23, 0xD2, 0x02}};
inline constexpr IID IID_IWorkbenchAdmin = {0x33C8948A, 0xC29C, 0x11D1, {0xBC, 0xC2, 0x08, 0x00, 0x36, 0x92, 0xD0, 0x02}};

// Persistent IDs of a library entry besides the document's own.
inline constexpr DWORD kPersistentIDNone = 0;                // a name whose object comes from a style-library file
inline constexpr DWORD kPersistentIDNoDocument = 0x77777777;  // added while the library works without a document
inline constexpr DWORD kPersistentIDReleased = 0xFFFFFFFF;    // released from the document

// Entry flags the library sets itself.
inline constexpr DWORD kEntryDetached = 0x4;  // the object was detached from the library while it was removed

// One entry of a style library: eleven words, indexed by style ID. A zeroed record is a free slot.
struct StyleEntry {
  WORD typeIndex;  // in the library's type table
  WORD removing;   // set while the library removes the entry; never persisted
  DWORD entryFlags;
  LPWSTR name;             // owned; null for an unnamed style
  LPWSTR auxText;          // owned
  IUnknown* typedStyle;    // the object under its type's category interface (or its identity); a reference
  IUnknown* styleObject;   // the object's identity, a reference; null while not loaded
  DWORD useCount;          // references held by elements and other styles
  DWORD persistentID;      // the document's ID of the object, or one of the kPersistentID values
  DWORD parentID;
  DWORD spare;             // kept and persisted, not interpreted
  DWORD holdCount;         // second use count, not persisted
};
static_assert(sizeof(StyleEntry) == 44);

// One style type of a library.
struct StyleTypeRecord {
  GUID type;
  StyleNameMap* names;  // owned
  DWORD activeID;
  DWORD defaultID;  // the type's default (exception) style
  IID category;     // the interface every style of the type is asked for
};
static_assert(sizeof(StyleTypeRecord) == 44);
static_assert(offsetof(StyleTypeRecord, category) == 28);

// Called for each name descriptor of a type; a failure stops the walk.
using StyleDescriptorCallback = HRESULT(WINAPI*)(JSymbolDescriptor* descriptor, void* context);

// The library's fast path while drawing, and its use counts.
struct IJSLRender : public IUnknown {
  // The ID's style under its type's category interface, without a reference; *type, when asked, its type.
  virtual HRESULT STDMETHODCALLTYPE GetStyleForRender(DWORD id, IUnknown** out, StyleTypeRecord** type) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddRefStyleID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseStyleID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddRefStyleID2(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseStyleID2(DWORD id) = 0;
};

// How a custodian reads the names of an opened style-library file.
struct IJSLibAccess : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EnumTypeItems(const GUID* type, StyleDescriptorCallback callback,
                                                  void* context) = 0;
};

// The library's registry of the workbenches that edit its styles.
struct IJSLWorkShop : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetWorkbench(DWORD id, BOOL forceNew, IWorkbenchAdmin** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWorkbenchByName(LPCWSTR name, const GUID* type, BOOL createNew,
                                                       BOOL detached, IWorkbenchAdmin** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWorkbenchOfStyle(IUnknown* style, BOOL forceNew, IWorkbenchAdmin** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE ForgetWorkbench(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterWorkbench(DWORD id, IUnknown* workbench) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveWorkbench(DWORD newID, DWORD oldID, IUnknown* workbench) = 0;
};

// The binding interface of a workbench, the editing object of one style (its class is the style type's GUID).
struct IWorkbenchAdmin : public IUnknown {
  // Binds to a new style of the library that derives from the parent (0 for none); registers nothing.
  virtual HRESULT STDMETHODCALLTYPE AttachNew(DWORD parentID, IUnknown* library) = 0;
  // Binds to an existing style: a use of the ID is added and the style's record copied.
  virtual HRESULT STDMETHODCALLTYPE Attach(DWORD id, IUnknown* library) = 0;
  virtual HRESULT STDMETHODCALLTYPE AttachObject(IUnknown* style) = 0;
  virtual HRESULT STDMETHODCALLTYPE Save(DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStyleObject(void** out, REFIID iid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLibrarian(IJSLLibrarian** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR** out) = 0;
  // S_FALSE when the name is taken.
  virtual HRESULT STDMETHODCALLTYPE SetName(LPCWSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSecondString(LPWSTR** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSecondString(LPCWSTR text) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetParentWorkbench(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE DetachFromParent() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR** out) = 0;
};

inline constexpr IID IID_IWorkbenchNotify = {0x33C8948C, 0xC29C, 0x11D1, {0xBC, 0xC2, 0x08, 0x00, 0x36, 0x92, 0xD0, 0x02}};

// What a workbench hears of its style's parent. S_FALSE asks the library to tell the style's own children.
struct IWorkbenchNotify : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ParentChanged(IUnknown* parentWorkbench) = 0;
  virtual HRESULT STDMETHODCALLTYPE ParentRemoved(IUnknown* parentWorkbench) = 0;
};

struct IJStyleConvertR1Elements : public IUnknown {
  // Runs the style reference-count check on the library's document.
  virtual HRESULT STDMETHODCALLTYPE CheckStyleReferences(DWORD) = 0;
};

// The first operation of the workshop that the library aggregates: the workshop finds its library.
struct IJShopServices : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ConnectLibrary() = 0;
  // The librarian the workshop found, with a reference; null before ConnectLibrary.
  virtual HRESULT STDMETHODCALLTYPE GetLibrarian(IJSLLibrarian** out) = 0;
};

// ---- the style workshop: text styles edited by editors outside the server ----

inline constexpr IID IID_IJWrkShop = {0xF6536E51, 0xF7C8, 0x11D0, {0x91, 0x22, 0x08, 0x00, 0x36, 0x23, 0xD2, 0x02}};
inline constexpr IID IID_IJStyleEdit = {0x2F2643D0, 0x09B1, 0x11D1, {0x91, 0x2C, 0x08, 0x00, 0x36, 0x23, 0xD2, 0x02}};
inline constexpr IID IID_IJStylDes = {0xB21A3AD1, 0x1EE2, 0x11D1, {0x91, 0x43, 0x08, 0x00, 0x36, 0x23, 0xD2, 0x02}};
// The host's editors of the two text style types, and what they answer.
inline constexpr CLSID CLSID_TextCharEditor = {0x4E2A00C9, 0x2535, 0x11D1, {0x84, 0x20, 0x08, 0x00, 0x36, 0xD8, 0x27, 0x02}};
inline constexpr CLSID CLSID_TextParaEditor = {0x4E2A00CA, 0x2535, 0x11D1, {0x84, 0x20, 0x08, 0x00, 0x36, 0xD8, 0x27, 0x02}};
inline constexpr IID IID_IJTextStyleEditor = {0x677FC58F, 0x128A, 0x11D1, {0x84, 0x18, 0x08, 0x00, 0x36, 0xD8, 0x27, 0x02}};
inline constexpr IID IID_IJEditedStyleSource = {0xE8D95A76, 0x1FDB, 0x11D1, {0x84, 0x1F, 0x08, 0x00, 0x36, 0xD8, 0x27, 0x02}};
// In-process only, never handed to a host: the record and ID of a descriptor of this server.
inline constexpr IID IID_IJStyleDescriptorRecord = {
    0x6C0E2B71, 0x3F5A, 0x4D2E, {0x9B, 0x47, 0x1A, 0x52, 0xC8, 0x0D, 0x6E, 0x93}};

// One style carried between the workshop and an editor. Strings handed out are fresh copies on the runtime
// heap, which the caller frees with free. Without a record every operation answers E_FAIL.
struct IJStylDes : public IUnknown {
  // No name: *out stays as it was, S_OK.
  virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR* out) = 0;
  // A null or empty name leaves the style without one.
  virtual HRESULT STDMETHODCALLTYPE SetName(LPCWSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSecondString(LPWSTR* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSecondString(LPCWSTR text) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStyleObject(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetStyleObject(IUnknown* style) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetType(GUID* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetType(const GUID* type) = 0;
  // The editor of the style a new style derives from.
  virtual HRESULT STDMETHODCALLTYPE GetContext(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetContext(IUnknown* context) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEntryWord(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEntryWord(DWORD word) = 0;
};

// How the workshop fills and reads a descriptor of this server: the record is taken over, not copied.
struct IJStyleDescriptorRecord : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetRecord(StyleRecord* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRecord(StyleRecord** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetStyleID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStyleID(DWORD* out) = 0;
};

// The host's opening of an editor for a style of the library; E_FAIL for a type without an outside editor.
struct IJWrkShop : public IUnknown {
  // derived: the editor edits a new style that derives from this one.
  virtual HRESULT STDMETHODCALLTYPE OpenEditor(DWORD id, BOOL derived, IUnknown** editor) = 0;
  // newStyle: a style not yet in the library (the name may be null); otherwise the named style, created when
  // the library can.
  virtual HRESULT STDMETHODCALLTYPE OpenEditorByName(LPCWSTR name, const GUID* type, BOOL newStyle, BOOL derived,
                                                     IUnknown** editor) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEditorForStyle(IUnknown* style, BOOL derived, IUnknown** editor) = 0;
  // Hands the editor the workshop's IJStyleEdit; *id is the style ID of the editor's descriptor.
  virtual HRESULT STDMETHODCALLTYPE AttachEditor(IUnknown* editor, DWORD* id) = 0;
};

// What an editor reports when it is done.
struct IJStyleEdit : public IUnknown {
  // A new style: added to the library, and the descriptor then holds its ID and the library's object.
  virtual HRESULT STDMETHODCALLTYPE AddEditedStyle(IJStylDes* descriptor, IUnknown* style) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotImplemented4(IJStylDes* descriptor, IUnknown* style) = 0;
  // An edit of a stored style: copied into the library's object in place (a nameless one is added).
  virtual HRESULT STDMETHODCALLTYPE StoreEditedStyle(IJStylDes* descriptor, IUnknown* style) = 0;
};

// The host's text style editors.
struct IJTextStyleEditor : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EditStyle(IJStylDes* descriptor, IJWrkShop* shop) = 0;
  virtual HRESULT STDMETHODCALLTYPE EditNewStyle(IJStylDes* descriptor, IJWrkShop* shop) = 0;
  virtual HRESULT STDMETHODCALLTYPE EditDerivedStyle(IJStylDes* descriptor, IJWrkShop* shop) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetStyleEdit(IJStyleEdit* edit) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescriptor(IUnknown** out) = 0;
};

struct IJEditedStyleSource : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotCalled3() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled4() = 0;
  // The style the editor started from, with a reference.
  virtual HRESULT STDMETHODCALLTYPE GetSourceStyle(IUnknown** out) = 0;
};

// The list of style-library files whose styles a library shares: ordered, no name twice (case ignored).
struct IJStyleResourceList : public IUnknown {
  // A new enumerator over the names; E_FAIL when the list holds none.
  virtual HRESULT STDMETHODCALLTYPE Enum(DWORD, IEnumString** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE NewEnum(DWORD, IUnknown** out) = 0;
  // S_FALSE, changing nothing, for a name already listed.
  virtual HRESULT STDMETHODCALLTYPE SetAt(DWORD index, LPCWSTR name) = 0;
  // *byteSize: the buffer's size in bytes; answered with the size the name needs when there is no buffer
  // or it is too small.
  virtual HRESULT STDMETHODCALLTYPE GetAt(DWORD index, LPWSTR buffer, DWORD* byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(LPCWSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertAt(DWORD index, LPCWSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveAll() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveAt(DWORD index) = 0;
};

// The unit table of the unit settings: up to 255 entries of three bytes, kept in three parallel arrays.
struct StyleUnitTable {
  BYTE count;
  BYTE first[256];
  BYTE second[256];
  BYTE third[256];
};
static_assert(sizeof(StyleUnitTable) == 769);

// Settings the host keeps with a style library; the library only stores, hands out and persists them.
struct IJStyleUnitSettings : public IUnknown {
  // `value`: 8 bytes, kept as they are.
  virtual HRESULT STDMETHODCALLTYPE SetUnitValues(const void* value, const DWORD* code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnitValues(void* value, DWORD* code) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnitTable(const StyleUnitTable* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnitTable(StyleUnitTable* table) = 0;
};

// The diagnostic hook of the optional library Quillet (its entry GetQuillet answers it). Every style library
// tells it what happens to it; a non-zero answer of the entry, count, freed and load-end notices asks to stop
// in the debugger. `library` is the library's controlling unknown, without a reference.
struct IQuilletHook {
  virtual LONG STDMETHODCALLTYPE LibraryCreated(IUnknown* library) = 0;
  virtual LONG STDMETHODCALLTYPE LibraryDestroyed(IUnknown* library) = 0;
  virtual LONG STDMETHODCALLTYPE EntryAdded(IUnknown* library, DWORD id, const StyleEntry* entry) = 0;
  virtual LONG STDMETHODCALLTYPE UseCountChanged(IUnknown* library, DWORD id, DWORD count) = 0;
  virtual LONG STDMETHODCALLTYPE HoldCountChanged(IUnknown* library, DWORD id, DWORD count) = 0;
  virtual LONG STDMETHODCALLTYPE EntryFreed(IUnknown* library, DWORD id) = 0;
  // Around a load that drops cached references first.
  virtual LONG STDMETHODCALLTYPE LoadBegins(IUnknown* library) = 0;
  virtual LONG STDMETHODCALLTYPE LoadEnds(IUnknown* library) = 0;
};

// ---- symbol definitions and the host's copy protocol ----

struct IJObjectList;  // the engine's list of object entries (host/halvorn/halvorn.h)

inline constexpr IID IID_IJSymbolDefinition = {0x22A0C900, 0xC016, 0x11CD, {0xBF, 0x29, 0x08, 0x00, 0x36, 0x01, 0xB1, 0xFE}};
inline constexpr IID IID_IJCopyParticipant = {0xBF9796E0, 0x023B, 0x11CE, {0x99, 0x6B, 0x08, 0x00, 0x36, 0x01, 0xC5, 0x37}};
inline constexpr IID IID_IJCopyProvider = {0x7741FA80, 0x7658, 0x101B, {0xB3, 0x82, 0x08, 0x00, 0x36, 0x01, 0xB2, 0x0D}};
// What a symbol definition reports as its copy provider's type.
inline constexpr GUID COPYPROVIDER_SymbolDefinition = {0x92DD9660, 0x37B4, 0x11CE, {0xAB, 0x4F, 0x08, 0x00, 0x36, 0x01, 0xC6, 0xEB}};

// Flags of the entries that travel through the copy protocol.
enum CopyEntryFlags : DWORD {
  COPYENTRY_CLONE = 0x4000000,        // with COPYENTRY_PERSISTENT: the object is cloned
  COPYENTRY_CLONED = 0x10000000,      // handed to the context with a clone
  COPYENTRY_PERSISTENT = 0x40000000,  // the entry takes part in the persistent copy
  COPYENTRY_RELATED = 0x80000000,     // listed as a related object
};

// An ordered set of graphics that together form one symbol, kept by object and by persistent ID.
struct IJSymbolDefinition : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotOffered3(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered4(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE AnswersFalse() = 0;
  // S_OK when the object is an element, S_FALSE otherwise.
  virtual HRESULT STDMETHODCALLTYPE IsElement(IUnknown* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetElementCount(DWORD* count) = 0;
  // The elements in order, as the engine's object collection (an IEnumUnknown), with one reference.
  virtual HRESULT STDMETHODCALLTYPE GetElements(IUnknown** out) = 0;
  // S_FALSE, adding nothing, for an element without document once the definition keeps document elements.
  virtual HRESULT STDMETHODCALLTYPE AddElement(IUnknown* element, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddElements(DWORD n, IUnknown** elements) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveElement(IUnknown* element) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveElements(DWORD n, IUnknown** elements) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveAllElements() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered14(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered15(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered16(DWORD, DWORD) = 0;
  // Makes every nested definition fetch its element objects.
  virtual HRESULT STDMETHODCALLTYPE ResolveElements() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered18(DWORD, DWORD, DWORD) = 0;
};

// The host's record of one copy operation: which copy each original got.
struct IJCopyContext : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotCalled3() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled4() = 0;
  // 5: the copy of an original (with a reference, or null) and its flags word; S_FALSE when there is none.
  virtual HRESULT STDMETHODCALLTYPE GetCopy(IUnknown* original, IUnknown** copy, DWORD* flags) = 0;
  // 6: records the copy (or none) of an original.
  virtual HRESULT STDMETHODCALLTYPE SetCopy(IUnknown* original, IUnknown* copy, DWORD flags) = 0;
};

// How an object takes part in the host's copy of a set of objects.
struct IJCopyParticipant : public IUnknown {
  // The objects that go with this one (itself first), as a new engine object list.
  virtual HRESULT STDMETHODCALLTYPE ListRelatedObjects(IJObjectList** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyPersistentEntries(IJObjectList* entries, IJCopyContext* context) = 0;
  // Points the copy at the copies of what the original pointed at.
  virtual HRESULT STDMETHODCALLTYPE RelinkCopy(IJObjectList* entries, IJCopyContext* context, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered6(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE AnswersFalse() = 0;
};

struct IJCopyProvider : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotOffered3(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered4(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered5(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered6(DWORD, DWORD) = 0;
  // *first = *second = null; for IID_IJCopyParticipant the participant goes into *second.
  virtual HRESULT STDMETHODCALLTYPE GetParticipant(const IID* iid, void** first, void** second, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProviderType(GUID* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered9(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE AnswersOk(DWORD) = 0;
};

// ---- fill patterns ----

class G4x4;  // geometry/geometry.h

// The host's render context of a drawing. Only its fourth operation is used.
inline constexpr IID IID_IJRenderContext = {0x06939217, 0xFC58, 0x11CF, {0xA1, 0x93, 0x08, 0x00, 0x36, 0xBA, 0xBA, 0x02}};
struct IJRenderContext : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotOffered3() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered4() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered5() = 0;
  // Writes the transform from one space to another: 2, 3 and 0 are the spaces of units codes 11, 12 and 13.
  virtual HRESULT STDMETHODCALLTYPE GetSpaceTransform(G4x4* matrix, DWORD fromSpace, DWORD toSpace) = 0;
};

// The host's drawing set-up of a fill. It is the seventh argument of a fill's render operations, in the place
// that a line style's element record takes, and travels through them unread until a pattern uses it.
struct FillDrawingSetup {
  IUnknown* context;  // answers IJRenderContext
  DWORD unitsCode;    // of the drawing: 11, 12 or 13
  double clipBox[4];  // xmin, ymin, xmax, ymax; all zero for none
  IUnknown* display;  // the host display object through which symbols are captured; not held
};
static_assert(offsetof(FillDrawingSetup, clipBox) == 8);
static_assert(offsetof(FillDrawingSetup, display) == 40);
static_assert(sizeof(FillDrawingSetup) == 48);

inline const FillDrawingSetup* AsFillDrawingSetup(const StyleElementRecord* seventh) {
  return reinterpret_cast<const FillDrawingSetup*>(seventh);
}
inline const StyleElementRecord* AsSeventhArgument(const FillDrawingSetup* setup) {
  return reinterpret_cast<const StyleElementRecord*>(setup);
}

// The interface through which a simple fill hands each run of its boundary to its pattern (a hatch or symbol
// fill); IID_IJStyleFillTypeRender above.
struct IJStyleFillTypeRender : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Render(const StyleGeometryRecord* boundary, IRenderTarget2d* target,
                                           const RenderContextScales* context, IJStyleRender* substitute,
                                           tagStyleOverride* record, BOOL recordGiven,
                                           const FillDrawingSetup* setup) = 0;
};

// ---- point symbols and the element display that places them ----

inline constexpr IID IID_IJStylePointSymbol = {0x06956DF0, 0x1617, 0x11CF, {0xBB, 0x8E, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};
inline constexpr IID IID_IJStylePointSymbolFilter = {0xAC93CBE0, 0xE7C8, 0x11CE, {0x81, 0xD3, 0x08, 0x00, 0x36, 0x01, 0xC6, 0x1B}};
// The element display object's interfaces (the display word of StyleElementRecord): the first places what is
// drawn, the second brackets the drawing done on behalf of a style library.
inline constexpr IID IID_IJElementDisplay = {0x06939214, 0xFC58, 0x11CF, {0xA1, 0x93, 0x08, 0x00, 0x36, 0xBA, 0xBA, 0x02}};
inline constexpr IID IID_IJElementDisplayScope = {0x06939218, 0xFC58, 0x11CF, {0xA1, 0x93, 0x08, 0x00, 0x36, 0xBA, 0xBA, 0x02}};

// A point of a geometry record of type 264: where it is, its normal and its direction.
struct StyleOrientedPoint {
  double position[3];
  double normal[3];
  double direction[3];
};
static_assert(sizeof(StyleOrientedPoint) == 72);

// What a point symbol's filter hands out while its symbol draws: a header of four words, then the render record
// of the latest drawing call (its rotation angle set for oriented points).
struct StylePointSymbolFilterBlock {
  DWORD code;     // 22
  DWORD version;  // 2
  DWORD reserved[2];
  tagStyleOverride record;
};
static_assert(sizeof(StylePointSymbolFilterBlock) == 104);
static_assert(offsetof(StylePointSymbolFilterBlock, record) == 16);

struct IJStylePointSymbol : public IUnknown {
  // Null drops the symbol.
  virtual HRESULT STDMETHODCALLTYPE SetGraphic(IUnknown* symbol) = 0;
  // With a reference. Null with S_OK when there is no symbol, null with S_FALSE when it cannot be found.
  virtual HRESULT STDMETHODCALLTYPE GetGraphic(IJGraphic** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  // A null pointer is accepted.
  virtual HRESULT STDMETHODCALLTYPE GetSymbolFlags(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSymbolFlags(DWORD flags) = 0;
};

// Reached only through a GraphicDrawContext: the symbol asks it what the drawing style was given.
struct IJStylePointSymbolFilter : public IUnknown {
  // The style's block, without a copy; it changes with the next drawing call.
  virtual HRESULT STDMETHODCALLTYPE GetFilterBlock(StylePointSymbolFilterBlock** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered4() = 0;
};

// The typed editing interface of a workbench, whichever its class: each workbench answers its own one here too.
inline constexpr IID IID_IWorkbenchTyped = {0x33C8948B, 0xC29C, 0x11D1, {0xBC, 0xC2, 0x08, 0x00, 0x36, 0x92, 0xD0, 0x02}};
inline constexpr IID IID_IWorkbenchPointSymbol = {0x3ADE9B66, 0xC9A7, 0x11D1, {0xBC, 0x4A, 0x08, 0x00, 0x36, 0x93, 0xE1, 0x02}};

// The editing interface of the point-symbol workbench. Nothing is loaded first; every operation answers S_OK.
struct IWorkbenchPointSymbol : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  // Null changes nothing. Otherwise the graphic counts as set in this style, also when it is the one held.
  virtual HRESULT STDMETHODCALLTYPE SetGraphic(IUnknown* graphic) = 0;
  // With a reference; null when there is none.
  virtual HRESULT STDMETHODCALLTYPE GetGraphic(IUnknown** out) = 0;
};

#define STYLE_DISPLAY_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE NotCalled##n() = 0;

struct IJElementDisplay : public IUnknown {
  // 3: what is drawn until EndPlacement is placed by the matrix: sixteen f64 in row order, applied to row vectors
  // (x, y, z, 1), the translation in elements 12 to 14. Placements nest.
  virtual HRESULT STDMETHODCALLTYPE BeginPlacement(const double* matrix, DWORD flag) = 0;
  STYLE_DISPLAY_UNUSED_SLOT(4)
  // 5: ends the latest placement.
  virtual HRESULT STDMETHODCALLTYPE EndPlacement() = 0;
};

struct IJElementDisplayScope : public IUnknown {
  // 3: what is displayed until EndDisplayPass is mapped by the matrix (sixteen f64, as BeginPlacement takes them).
  virtual HRESULT STDMETHODCALLTYPE SetDisplayTransform(const double* matrix) = 0;
  // 4: ends the display pass; the transform goes with it.
  virtual HRESULT STDMETHODCALLTYPE EndDisplayPass() = 0;
  STYLE_DISPLAY_UNUSED_SLOT(5) STYLE_DISPLAY_UNUSED_SLOT(6)
  STYLE_DISPLAY_UNUSED_SLOT(7) STYLE_DISPLAY_UNUSED_SLOT(8) STYLE_DISPLAY_UNUSED_SLOT(9) STYLE_DISPLAY_UNUSED_SLOT(10)
  STYLE_DISPLAY_UNUSED_SLOT(11) STYLE_DISPLAY_UNUSED_SLOT(12) STYLE_DISPLAY_UNUSED_SLOT(13)
  STYLE_DISPLAY_UNUSED_SLOT(14) STYLE_DISPLAY_UNUSED_SLOT(15) STYLE_DISPLAY_UNUSED_SLOT(16)
  STYLE_DISPLAY_UNUSED_SLOT(17) STYLE_DISPLAY_UNUSED_SLOT(18) STYLE_DISPLAY_UNUSED_SLOT(19)
  STYLE_DISPLAY_UNUSED_SLOT(20)
  // 21: what follows is drawn for the owner, a style library (without a reference).
  virtual HRESULT STDMETHODCALLTYPE BeginOwner(IUnknown* owner) = 0;
  // 22: ends it.
  virtual HRESULT STDMETHODCALLTYPE EndOwner() = 0;
};

#undef STYLE_DISPLAY_UNUSED_SLOT

// ---- hatch fills ----

class GPosition;  // geometry/geometry.h

inline constexpr IID IID_IJStyleHatchFill = {0xB197C5C0, 0x109B, 0x11CF, {0xB2, 0x51, 0x08, 0x00, 0x36, 0x82, 0x56, 0x02}};

// What a merging copy keeps of a hatch family: the bits of the family's keep mask.
enum HatchFamilyKeepBits : DWORD {
  HATCH_KEEP_MARKER_ORIGIN = 0x8,
  HATCH_KEEP_ANGLE = 0x10,
  HATCH_KEEP_SPACING = 0x20,
  HATCH_KEEP_SHIFT = 0x40,
  HATCH_KEEP_COLOUR = 0x80,
  HATCH_KEEP_WIDTH = 0x100,
  HATCH_KEEP_DASH_TYPE = 0x200,
};

// The bits of the hatch fill's own keep mask.
enum HatchFillKeepBits : DWORD {
  HATCH_KEEP_FLAGS = 0x1,
  HATCH_KEEP_OWN_ORDER = 0x2,  // a merge keeps the own family order
  HATCH_KEEP_FILL_ORIGIN = 0x8,
  HATCH_KEEP_SCALE = 0x10,
};

// The hatch fill's flags: what the fill scale scales while drawing.
enum HatchFillFlags : DWORD {
  HATCH_SCALE_SPACING = 0x1,  // spacing and stagger of every family
  HATCH_SCALE_ORIGINS = 0x2,  // the family origins
};

// One family of parallel hatch lines as it crosses the interface. Lengths are in the fill's units.
struct HatchFamilyDesc {
  DWORD marker;    // 0 or 1
  DWORD familyId;  // identifies the family when two hatch fills merge
  double angle;    // radians
  double spacing;  // between lines; never 0
  double shift;    // stagger along the lines from one line to the next
  double originX, originY, originZ;  // z is always 0 in the fill
  DWORD color;
  double width;
  IJStyleDashTypeRender* dashType;  // or null for solid lines
  DWORD keepMask;                   // HatchFamilyKeepBits
};
static_assert(offsetof(HatchFamilyDesc, angle) == 8);
static_assert(offsetof(HatchFamilyDesc, color) == 56);
static_assert(offsetof(HatchFamilyDesc, width) == 64);
static_assert(offsetof(HatchFamilyDesc, dashType) == 72);
static_assert(sizeof(HatchFamilyDesc) == 80);

// The whole description of a hatch fill. The family flags are not part of it.
struct HatchFillData {
  double originX, originY, originZ;
  double scale;
  DWORD unitsCode;
  DWORD familyCount;
  HatchFamilyDesc* families;  // familyCount descriptors
  DWORD reserved;
  DWORD keepMask;  // HatchFillKeepBits
};
static_assert(offsetof(HatchFillData, unitsCode) == 32);
static_assert(offsetof(HatchFillData, families) == 40);
static_assert(offsetof(HatchFillData, keepMask) == 48);
static_assert(sizeof(HatchFillData) == 56);

// The description of a hatch fill. Family indices are signed: an index outside the families answers
// E_INVALIDARG, a fill without families E_FAIL for any other index; -1 names the fill itself for the keep mask.
struct IJStyleHatchFill : public IUnknown {
  // 0 answers E_INVALIDARG.
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOriginScaling(BOOL scale) = 0;
  // The flags' HATCH_SCALE_ORIGINS bit.
  virtual HRESULT STDMETHODCALLTYPE GetOriginScaling(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFlags(DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFlags(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFamilyCount(DWORD* out) = 0;
  // Appends a family with a new family ID; *index is -1 until it succeeds.
  virtual HRESULT STDMETHODCALLTYPE AddFamily(const HatchFamilyDesc* family, LONG* index) = 0;
  // Every field but the family ID.
  virtual HRESULT STDMETHODCALLTYPE SetFamily(LONG index, const HatchFamilyDesc* family) = 0;
  // The descriptor's dash type carries a reference for the caller.
  virtual HRESULT STDMETHODCALLTYPE GetFamily(LONG index, HatchFamilyDesc* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFamilyAngle(LONG index, double angle) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFamilyAngle(LONG index, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFamilyOrigin(LONG index, const GPosition* origin) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFamilyOrigin(LONG index, GPosition* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFamilySpacing(LONG index, double spacing) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFamilySpacing(LONG index, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFamilyShift(LONG index, double shift) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFamilyShift(LONG index, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFamilyColor(LONG index, DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFamilyColor(LONG index, DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFamilyWidth(LONG index, double width) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFamilyWidth(LONG index, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFamilyDashType(LONG index, IJStyleDashTypeRender* dashType) = 0;
  // With a reference, or null.
  virtual HRESULT STDMETHODCALLTYPE GetFamilyDashType(LONG index, IJStyleDashTypeRender** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFamilyKeepMask(LONG index, DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFamilyKeepMask(LONG index, DWORD keepMask) = 0;
  // A to index past the last family moves the family to the end.
  virtual HRESULT STDMETHODCALLTYPE MoveFamily(LONG from, LONG to) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetScale(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetScale(double scale) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOrigin(GPosition* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOrigin(const GPosition* origin) = 0;
  // Replaces the whole description; the reserved word is not read.
  virtual HRESULT STDMETHODCALLTYPE SetData(const HatchFillData* data) = 0;
  // The descriptor array comes from CoTaskMemAlloc (null without families) and belongs to the caller, each
  // dash type with a reference: FreeHatchFillData gives both back.
  virtual HRESULT STDMETHODCALLTYPE GetData(HatchFillData* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFamilyDashTypeId(LONG index, DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFamilyDashTypeId(LONG index, DWORD* out) = 0;
};

// Gives back what GetData handed out: each descriptor's dash type and the descriptor array.
inline void FreeHatchFillData(HatchFillData* data) {
  if (!data || !data->families) return;
  for (DWORD i = 0; i < data->familyCount; ++i) {
    if (data->families[i].dashType) data->families[i].dashType->Release();
  }
  CoTaskMemFree(data->families);
  data->families = nullptr;
  data->familyCount = 0;
}

// ---- simple fills ----

inline constexpr IID IID_IJStyleSolidFill = {0xA8B7DA00, 0x5572, 0x11CE, {0xA8, 0x2A, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};
inline constexpr IID IID_IJStyleSimpleFill = {0x285E4511, 0x211D, 0x11CF, {0xB2, 0x64, 0x08, 0x00, 0x36, 0x82, 0x56, 0x02}};

// The fill colour that means no colour: the area is not filled, only the pattern drawn.
inline constexpr DWORD kNoFillColour = 0xFFFFFFFE;

// Bits of a simple fill's lock mask: the fields a partial copy leaves alone.
enum StyleSimpleFillLocks : DWORD {
  SFILL_LOCK_COLOUR = 0x1,
  SFILL_LOCK_PATTERN = 0x2,
  SFILL_LOCK_SCALE = 0x4,
};

// What IJStyleSimpleFill sets and reads as a whole. The pattern travels with a reference when read.
struct SimpleFillData {
  DWORD colour;
  DWORD hasColour;
  IJStyleFillTypeRender* pattern;
  DWORD lockMask;
};
static_assert(sizeof(SimpleFillData) == 16);

struct IJStyleSolidFill : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetFillColor(DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFillColor(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFillColorByRef(const DWORD* colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFillColor2(DWORD* out) = 0;
  // Accepted and ignored.
  virtual HRESULT STDMETHODCALLTYPE AnswersOk1(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE AnswersOk2(DWORD) = 0;
};

struct IJStyleSimpleFill : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) = 0;
  // FALSE takes the colour away; TRUE does nothing (a colour comes only through SetColor).
  virtual HRESULT STDMETHODCALLTYPE SetHasColor(BOOL hasColour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHasColor(BOOL* out) = 0;
  // A style that answers IJStyleFillTypeRender, or null for none.
  virtual HRESULT STDMETHODCALLTYPE SetPattern(IUnknown* pattern) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPattern(IJStyleFillTypeRender** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFillData(const SimpleFillData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFillData(SimpleFillData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLockMask(DWORD mask) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLockMask(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPatternID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPatternID(DWORD* out) = 0;
  // Multiplies the pattern's lengths; a scale that is not finite or below 1.1920928955078125e-7 in magnitude
  // is refused.
  virtual HRESULT STDMETHODCALLTYPE SetScale(double scale) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetScale(double* out) = 0;
};

// ---- points generated along a line ----

inline constexpr IID IID_IJStyleLinePointGen = {0x54923540, 0x34A3, 0x11CF, {0xBB, 0x97, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};

// A client of the dash generation that places point symbols along a dashed line: one placement entry per
// pattern entry, by index. Indices run from 0 to GetCount() - 1; a setter given an index at or beyond the count
// makes the entries up to it, up to 65534.
struct IJStyleLinePointGen : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOrientation(LONG index, double angle, DWORD absolute, DWORD upright) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOrientation(LONG index, double* angle, DWORD* absolute, DWORD* upright) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOffsets(LONG index, double along, double across) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOffsets(LONG index, double* along, double* across) = 0;
  // Null removes the entry's symbol.
  virtual HRESULT STDMETHODCALLTYPE SetSymbol(LONG index, IUnknown* style) = 0;
  // With a reference; null with S_OK when the entry holds no symbol object.
  virtual HRESULT STDMETHODCALLTYPE GetSymbol(LONG index, IJStylePointSymbol** out) = 0;
  // `fraction`: where in its pattern entry the symbol sits (0 its start, 1 its end).
  virtual HRESULT STDMETHODCALLTYPE SetEntry(LONG index, IUnknown* style, float fraction, double along, double across,
                                             double angle, DWORD absolute, DWORD upright) = 0;
  // E_FAIL for an entry without symbol.
  virtual HRESULT STDMETHODCALLTYPE GetEntry(LONG index, IJStylePointSymbol** style, float* fraction, double* along,
                                             double* across, double* angle, DWORD* absolute, DWORD* upright) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEntryByID(LONG index, DWORD symbolID, float fraction, double along,
                                                 double across, double angle, DWORD absolute, DWORD upright) = 0;
  // E_FAIL for an entry without symbol.
  virtual HRESULT STDMETHODCALLTYPE GetEntryByID(LONG index, DWORD* symbolID, float* fraction, double* along,
                                                 double* across, double* angle, DWORD* absolute,
                                                 DWORD* upright) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCount(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveSymbol(LONG index) = 0;
};

// ---- multiplexed line styles ----

// Interfaces the host engine may add to a multiplexer as class extensions: the first under the line styles'
// extension class (a multiplexer of lines), the second under the fill styles' (a multiplexer of fills).
inline constexpr IID IID_MultiplexerLineExtension = {0xA6BBEBC7, 0xBAB0, 0x11D1, {0xA3, 0x1F, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr IID IID_MultiplexerFillExtension = {0xEAF591CF, 0x22E4, 0x11D0, {0xA1, 0xF5, 0x08, 0x00, 0x36, 0x52, 0xD6, 0x02}};

// An ordered list of styles of the owning library, drawn one over the other. Indices are signed where a count
// is; an index outside the entries answers E_INVALIDARG.
struct IJStyleMultiplexer : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetKind(DWORD kind) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCount(LONG count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCount(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEntry(LONG index, IJStyleRender* style) = 0;
  // With a reference, or null for an entry that names no style.
  virtual HRESULT STDMETHODCALLTYPE GetEntry(LONG index, IJStyleRender** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveAll() = 0;
  // Accepted and ignored.
  virtual HRESULT STDMETHODCALLTYPE Reserved1(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved2(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEntryID(LONG index, DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEntryID(DWORD index, DWORD* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCurrentIndex(DWORD index) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentIndex(DWORD* out) = 0;
};

// Two styles held as objects, drawn first and second.
inline constexpr IID IID_IJStyleSimpleMultiplexer = {0xD8FEC3A0, 0xD666, 0x11CE, {0xBB, 0x7F, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};
struct IJStyleSimpleMultiplexer : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetFirstStyle(IUnknown* style) = 0;
  // With a reference; S_OK and null when there is none.
  virtual HRESULT STDMETHODCALLTYPE GetFirstStyle(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSecondStyle(IUnknown* style) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSecondStyle(IUnknown** out) = 0;
  // Accepted and ignored.
  virtual HRESULT STDMETHODCALLTYPE Reserved1(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved2(DWORD) = 0;
};

// ---- style-library files ----

inline constexpr IID IID_IJSLAccess = {0x53A9CDB2, 0xE944, 0x11CF, {0x80, 0x94, 0x08, 0x00, 0x36, 0xCE, 0x6C, 0x02}};

// One style-library file as the custodian uses it: opened once, then asked for the names of its library. The
// operations it does not call are known by their arity alone (stdcall: an implementation pops what is pushed).
struct IJSLAccess : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotOffered3(DWORD) = 0;
  // 4: opens the file, a full path of at most 259 characters. E_ACCESSDENIED for a file that is missing or of
  // another version than the application writes; any other failure for a file that cannot be read.
  virtual HRESULT STDMETHODCALLTYPE Open(LPCWSTR path) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered5(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered6(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered7(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered8(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered9(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered10(DWORD, DWORD) = 0;
  // 11: the callback for each name descriptor of the type in the file's library, with the context; a failing
  // callback ends the walk. E_UNEXPECTED while no file is open.
  virtual HRESULT STDMETHODCALLTYPE EnumTypeItems(const GUID* type, StyleDescriptorCallback callback,
                                                  void* context) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered12(DWORD, DWORD) = 0;
};

// ---- line terminators ----

inline constexpr IID IID_IJStyleLineTerminator = {0x7F29B5F0, 0x29C9, 0x11CF, {0xBB, 0x96, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};

// A point symbol at each end of a line, turned outward. The terminators are point symbol styles of the owning
// library, held by style ID; the lengths are in the style's units.
struct IJStyleLineTerminator : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetStartLength(double length) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStartLength(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEndLength(double length) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEndLength(double* out) = 0;
  // Null clears the terminator.
  virtual HRESULT STDMETHODCALLTYPE SetStartStyle(IUnknown* style) = 0;
  // The terminator's IJStylePointSymbol with a reference; null with S_OK when there is none.
  virtual HRESULT STDMETHODCALLTYPE GetStartStyle(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEndStyle(IUnknown* style) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEndStyle(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetStartStyleID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStartStyleID(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEndStyleID(DWORD id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEndStyleID(DWORD* out) = 0;
};

// ---- what the exception styles are made of ----

// The text character style's interface (IJStyleTextChar, below) sets up the exception text style.

// The host's dimension-style class, which this server does not serve; the default and exception dimension
// styles are objects of it, set up through slot 4 of its interface with a dimension record of
// kDimensionRecordSize bytes (display/style/styllib/JStyleLib.h) whose fields are the host's.
inline constexpr CLSID CLSID_HostDimensionStyle = {0x47FCC33E, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr IID IID_IJHostDimensionStyle = {0xFA97BFD0, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
struct IJHostDimensionStyle : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotCalled3() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRecord(const BYTE* record) = 0;  // 4
};

// ---- the custodian ----

inline constexpr IID IID_IJSCustodian = {0xF45C3820, 0xFF4E, 0x11CF, {0xA1, 0xE0, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
inline constexpr IID IID_IJStyleSearchPath = {0x24D03E90, 0x4C90, 0x11D0, {0xA2, 0x17, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
// The class the host supplies for style-library files with the extension "RSC"; every custodian starts with it.
inline constexpr CLSID CLSID_HostRscAccess = {0x8B93F980, 0xFD2E, 0x11CF, {0xB1, 0x47, 0x08, 0x00, 0x36, 0x01, 0xF0, 0x50}};

// One extension of a custodian's file-type table: the class that opens files with it. The class is the
// registrant's GUID, not a copy: it must outlive the registration.
struct StyleFileType {
  LPWSTR extension;  // upper case, at most three characters
  const CLSID* clsid;
};
static_assert(sizeof(StyleFileType) == 8);

// A file-type table as CopyFileTypes hands it out: the element array and every extension come from
// CoTaskMemAlloc and belong to the caller (FreeStyleFileTypes gives them back).
struct StyleFileTypeTable {
  StyleFileType* elements;
  DWORD count;
  DWORD capacity;
  DWORD growBy;
};
static_assert(sizeof(StyleFileTypeTable) == 16);

inline void FreeStyleFileTypes(StyleFileTypeTable* table) {
  if (!table) return;
  for (DWORD i = 0; table->elements && i < table->count; ++i) CoTaskMemFree(table->elements[i].extension);
  CoTaskMemFree(table->elements);
  *table = StyleFileTypeTable{};
}

// The calling thread's keeper of style-library files: which class opens which extension, and the files already
// opened, whose style names it copies into a document library's name tables.
struct IJSCustodian : public IUnknown {
  // 3: every file of the resource list (an IUnknown answering IJStyleResourceList; null for none), found along
  // the search path and opened once, gives the names of its styles of the type to `names` that the table does
  // not know yet. E_ACCESSDENIED, after the names of the files before it, for a file of another version.
  virtual HRESULT STDMETHODCALLTYPE LoadLibraries(const GUID* type, IUnknown* resourceList, StyleNameMap* names) = 0;
  // 4: 1 while LoadLibraries runs, else 0; not an HRESULT.
  virtual DWORD STDMETHODCALLTYPE IsLoading() = 0;
  // 5: the extension (up to three characters, stored upper-cased) is opened by the class. E_INVALIDARG for an
  // extension already registered.
  virtual HRESULT STDMETHODCALLTYPE RegisterFileType(const CLSID* clsid, LPCWSTR extension) = 0;
  // 6: removes the extensions exactly equal to the given one (case counts); always S_OK.
  virtual HRESULT STDMETHODCALLTYPE UnregisterFileType(LPCWSTR extension) = 0;
  // 7: the class of an extension exactly equal to the given one; *found 0 without one.
  virtual HRESULT STDMETHODCALLTYPE LookupFileType(BOOL* found, CLSID* clsid, LPCWSTR extension) = 0;
  // 8: a copy of the table that belongs to the caller.
  virtual HRESULT STDMETHODCALLTYPE CopyFileTypes(StyleFileTypeTable* out) = 0;
};

// The custodian's ordered search directories. Indices below the count are the directories in use; a slot left
// empty by SetAt past the end holds "" and is passed over by FindFile.
struct IJStyleSearchPath : public IUnknown {
  // 3: a new enumerator over the directories in use.
  virtual HRESULT STDMETHODCALLTYPE Enum(DWORD, IEnumString** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered4(DWORD, DWORD) = 0;
  // 5: an absolute name that exists (index 0xFFFFFFFF), else the file part of the name in the first directory
  // that has it (its index). `path` must hold MAX_PATH characters; *byteSize: (length + 1) * 2. Every out may
  // be null. E_INVALIDARG when nothing is found.
  virtual HRESULT STDMETHODCALLTYPE FindFile(LPCWSTR name, LPWSTR path, DWORD* byteSize, DWORD* index) = 0;
  // 6: *byteSize: the buffer's size in bytes; answered with the bytes the directory needs when there is no
  // buffer, or when it is too small (then E_INVALIDARG), or with the bytes copied.
  virtual HRESULT STDMETHODCALLTYPE GetAt(DWORD index, LPWSTR buffer, DWORD* byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAt(DWORD index, LPCWSTR directory) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(LPCWSTR directory, DWORD* index) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertAt(DWORD index, LPCWSTR directory) = 0;
  // 10: the first directory in use exactly equal to the given one (case counts); E_INVALIDARG for none.
  virtual HRESULT STDMETHODCALLTYPE Remove(LPCWSTR directory, DWORD* index) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveAt(DWORD index) = 0;
};

// ---- text paragraph styles ----

// Bits of a paragraph style's lock mask: the fields a partial copy leaves alone.
enum StyleTextParaLocks : DWORD {
  TPARA_LOCK_VALUE_BYTE_1 = 0x1,
  TPARA_LOCK_VALUE_BYTE_2 = 0x2,
  TPARA_LOCK_DISTANCE_1 = 0x4,
  TPARA_LOCK_DISTANCE_2 = 0x8,
  TPARA_LOCK_DISTANCE_3 = 0x10,
  TPARA_LOCK_LINE_SPACING = 0x20,  // line spacing and its mode
  TPARA_LOCK_DISTANCE_4 = 0x40,
  TPARA_LOCK_DISTANCE_5 = 0x80,
  TPARA_LOCK_STOPS = 0x100,
  TPARA_LOCK_CHAR_STYLE = 0x200,
};

// One stop of a paragraph. The filler is neither stored nor compared; the style keeps and hands it out as zero.
struct ParaStopEntry {
  double value;
  BYTE byte1;
  BYTE byte2;
  WORD word;
  BYTE filler12[4];
};
static_assert(sizeof(ParaStopEntry) == 16);
static_assert(offsetof(ParaStopEntry, byte1) == 8);
static_assert(offsetof(ParaStopEntry, word) == 10);

// A paragraph has exactly this many stops; they are set and read all at once.
inline constexpr DWORD kParaStopCount = 14;

// The record of a paragraph style, handed over whole. The character style is the style's IJStyleRenderText
// pointer without a reference: it stays valid while the paragraph style holds that character style. The filler
// bytes carry nothing; the style hands them out as zero.
struct TextParaData {
  DWORD unitsCode;  // 0 or 11 to 14
  IUnknown* charStyle;
  BYTE charStyleMode;  // 1: the character style is held as an object; such styles never compare equal
  BYTE filler9;
  BYTE valueByte1;
  BYTE valueByte2;
  BYTE filler12[4];
  double distance1;  // the five distances are never negative
  double distance2;
  double distance3;
  double lineSpacing;
  double distance4;
  double distance5;
  ParaStopEntry stops[kParaStopCount];
  DWORD lockMask;  // StyleTextParaLocks
  DWORD lineSpacingMode;
};
static_assert(sizeof(TextParaData) == 296);
static_assert(offsetof(TextParaData, charStyle) == 4);
static_assert(offsetof(TextParaData, charStyleMode) == 8);
static_assert(offsetof(TextParaData, valueByte1) == 10);
static_assert(offsetof(TextParaData, valueByte2) == 11);
static_assert(offsetof(TextParaData, distance1) == 16);
static_assert(offsetof(TextParaData, distance3) == 32);
static_assert(offsetof(TextParaData, lineSpacing) == 40);
static_assert(offsetof(TextParaData, distance5) == 56);
static_assert(offsetof(TextParaData, stops) == 64);
static_assert(offsetof(TextParaData, lockMask) == 288);
static_assert(offsetof(TextParaData, lineSpacingMode) == 292);

// The paragraph style of text. Distances and line spacings that are negative or not finite are refused with
// E_INVALIDARG; getters answer E_INVALIDARG for a null out-pointer. The character style is referred to by ID in
// the owner library; a paragraph in a library that has none takes the library's character exception style.
struct IJStyleTextPara : public IUnknown {
  // 0 or 11 to 14.
  virtual HRESULT STDMETHODCALLTYPE SetParaUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetParaValueByte1(BYTE value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetParaValueByte2(BYTE value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDistance2(double distance) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDistance1(double distance) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDistance3(double distance) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLineSpacing(double spacing) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLineSpacingWithMode(double spacing, DWORD mode) = 0;
  // Stored as given; neither persisted nor compared.
  virtual HRESULT STDMETHODCALLTYPE SetExtraValue(double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDistance4(double distance) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDistance5(double distance) = 0;
  // `count` must be kParaStopCount (E_INVALIDARG); entries that cannot be read answer E_POINTER.
  virtual HRESULT STDMETHODCALLTYPE SetStopEntries(DWORD count, const ParaStopEntry* entries) = 0;
  // A style that answers IJStyleRenderText; null is refused. The DWORD has no effect.
  virtual HRESULT STDMETHODCALLTYPE SetCharStyle(IUnknown* style, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetParaLockMask(DWORD mask) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetParaUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetParaValueByte1(BYTE* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetParaValueByte2(BYTE* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDistance2(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDistance1(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDistance3(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLineSpacing(double* out) = 0;
  // The mode is written even when the spacing pointer is null (which still answers E_INVALIDARG).
  virtual HRESULT STDMETHODCALLTYPE GetLineSpacingWithMode(double* spacing, DWORD* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetExtraValue(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDistance4(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDistance5(double* out) = 0;
  // As SetStopEntries; entries that cannot be written answer E_POINTER.
  virtual HRESULT STDMETHODCALLTYPE GetStopEntries(DWORD count, ParaStopEntry* entries) = 0;
  // In/out: what *style held is released first. The character style's IJStyleRenderText with a reference;
  // 0x40221 when there is none.
  virtual HRESULT STDMETHODCALLTYPE GetCharStyle(IUnknown** style) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetParaLockMask(DWORD* out) = 0;
  // Negative or unusable distances become 0.0 and the answer E_INVALIDARG; the other fields are taken. The
  // DWORD has no effect.
  virtual HRESULT STDMETHODCALLTYPE SetParaData(const TextParaData* data, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetParaData(TextParaData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearCharStyle() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCharStyleID(DWORD id) = 0;
  // Takes the character style's units when they differ, answering E_FAIL then; 0x40221 without a character
  // style.
  virtual HRESULT STDMETHODCALLTYPE SyncUnitsFromCharStyle() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCharStyleID(DWORD* out) = 0;
};

// ---- text character styles ----

inline constexpr IID IID_IJStyleTextChar = {0xFE86A620, 0x5D4B, 0x11CE, {0xBB, 0x2E, 0x08, 0x00, 0x36, 0x01, 0xBD, 0xA9}};
inline constexpr IID IID_IJStyleRenderText = {0xF4191990, 0x5D4B, 0x11CE, {0xBB, 0x2E, 0x08, 0x00, 0x36, 0x01, 0xBD, 0xA9}};

// Called once for each language of a font, on the calling thread, before the enumeration returns. The first
// argument carries nothing.
using TextLanguageCallback = void(WINAPI*)(DWORD, WORD language);

// Bits of a text character style's lock mask: the fields a partial copy leaves alone.
enum StyleTextCharLocks : DWORD {
  TCHAR_LOCK_LANGUAGE = 0x1,
  TCHAR_LOCK_SIZE = 0x2,  // size and size units
  TCHAR_LOCK_THOUSANDTHS = 0x4,
  TCHAR_LOCK_ATTRIBUTES = 0x8,
  TCHAR_LOCK_FONT_NAME = 0x10,
  TCHAR_LOCK_FACTOR = 0x20,
  TCHAR_LOCK_PERCENT = 0x40,
  TCHAR_LOCK_VALUE_BYTE_1 = 0x80,
  TCHAR_LOCK_COLOUR = 0x100,
  TCHAR_LOCK_FOUR_BYTES = 0x200,
  TCHAR_LOCK_ANGLE = 0x400,
  TCHAR_LOCK_VALUE_BYTE_2 = 0x800,
  TCHAR_LOCK_VALUE_BYTE_3 = 0x1000,
  TCHAR_LOCK_UNITS = 0x2000,  // and with it size, size units and factor
  TCHAR_LOCK_SCALED_LENGTH = 0x4000,
};

// The character record of a text character style, handed over whole. The filler bytes carry nothing; the
// style hands them out as zero.
struct TextCharData {
  DWORD unitsCode;    // 0 or 11 to 14
  LPWSTR fontName;    // null for none
  WORD language;      // a Windows language identifier
  WORD attributeBits;
  BYTE valueByte1;
  BYTE spareByte1;
  BYTE filler14[2];
  DWORD colour;
  DWORD sizeUnits;    // 0 or 10 to 14
  BYTE valueByte2;
  BYTE valueByte3;
  BYTE filler26[6];
  double size;        // the character height, greater than 0
  WORD thousandths;
  BYTE filler42[2];
  float factor;
  signed char percent;  // whole hundredths
  BYTE fourBytes[4];
  BYTE filler53;
  WORD scaledLength;
  signed char angle;    // whole degrees, strictly between -90 and 90
  BYTE spareByte2;
  BYTE filler58[2];
  DWORD lockMask;       // StyleTextCharLocks
};
static_assert(sizeof(TextCharData) == 64);
static_assert(offsetof(TextCharData, fontName) == 4);
static_assert(offsetof(TextCharData, language) == 8);
static_assert(offsetof(TextCharData, attributeBits) == 10);
static_assert(offsetof(TextCharData, valueByte1) == 12);
static_assert(offsetof(TextCharData, colour) == 16);
static_assert(offsetof(TextCharData, sizeUnits) == 20);
static_assert(offsetof(TextCharData, valueByte2) == 24);
static_assert(offsetof(TextCharData, size) == 32);
static_assert(offsetof(TextCharData, thousandths) == 40);
static_assert(offsetof(TextCharData, factor) == 44);
static_assert(offsetof(TextCharData, percent) == 48);
static_assert(offsetof(TextCharData, fourBytes) == 49);
static_assert(offsetof(TextCharData, scaledLength) == 54);
static_assert(offsetof(TextCharData, angle) == 56);
static_assert(offsetof(TextCharData, spareByte2) == 57);
static_assert(offsetof(TextCharData, lockMask) == 60);

// The character style of text. Setters answer S_OK for valid input; getters answer E_INVALIDARG for a null
// out-pointer.
struct IJStyleTextChar : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  // With a font name, stored only when the font takes the language.
  virtual HRESULT STDMETHODCALLTYPE SetLanguage(WORD language) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(double size, DWORD sizeUnits) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetThousandths(WORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAttributeBits(WORD bits) = 0;
  // A null or empty name answers E_OUTOFMEMORY and keeps the old one.
  virtual HRESULT STDMETHODCALLTYPE SetFontName(LPCWSTR name) = 0;
  // A name that does not fit 255 characters answers E_INVALIDARG.
  virtual HRESULT STDMETHODCALLTYPE SetFontNameA(LPCSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFactor(double factor) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPercent(double fraction) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValueByte1(BYTE value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFourBytes(const DWORD* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAngle(double degrees) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValueByte2(BYTE value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValueByte3(BYTE value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLockMask(DWORD mask) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetScaledLength(WORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLanguage(WORD* out) = 0;
  // `sizeUnits` (in/out, may be null) asks for the size in other units and tells the units answered.
  virtual HRESULT STDMETHODCALLTYPE GetSize(double* size, DWORD* sizeUnits) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetThousandths(WORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributeBits(WORD* out) = 0;
  // The buffer must hold the name and its terminator; an empty string when there is none.
  virtual HRESULT STDMETHODCALLTYPE GetFontName(LPWSTR buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFactor(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPercent(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValueByte1(BYTE* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFourBytes(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAngle(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValueByte2(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValueByte3(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLockMask(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetScaledLength(WORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCharData(const TextCharData* data) = 0;
  // A record that brings a null name pointer gets a copy of the name from CoTaskMemAlloc, the caller's to free;
  // one that brings a buffer gets the name copied into it.
  virtual HRESULT STDMETHODCALLTYPE GetCharData(TextCharData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLockMask2(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLockMask2(DWORD mask) = 0;
  virtual HRESULT STDMETHODCALLTYPE FontOperation23(DWORD a1, DWORD a2) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumFontLanguages(TextLanguageCallback callback) = 0;
};

// ---- text drawing and measuring ----

// What a text character style hands the font manager before each text operation: the style's character values
// under the caller's render context and render record. The filler is zero.
struct TextAttributeRecord {
  WORD fontNumber;
  WORD language;
  DWORD sizeUnits;
  double height;       // in the render context's units
  double thousandths;  // the style's thousandths × 0.001
  double factor;
  WORD attributeBits;
  BYTE filler34[2];
  DWORD callerFlags;   // low four bits only
  double angle;        // degrees
  DWORD colour;
  BYTE filler52[4];
  double scaledLength;
};
static_assert(sizeof(TextAttributeRecord) == 64);
static_assert(offsetof(TextAttributeRecord, sizeUnits) == 4);
static_assert(offsetof(TextAttributeRecord, height) == 8);
static_assert(offsetof(TextAttributeRecord, thousandths) == 16);
static_assert(offsetof(TextAttributeRecord, factor) == 24);
static_assert(offsetof(TextAttributeRecord, attributeBits) == 32);
static_assert(offsetof(TextAttributeRecord, callerFlags) == 36);
static_assert(offsetof(TextAttributeRecord, angle) == 40);
static_assert(offsetof(TextAttributeRecord, colour) == 48);
static_assert(offsetof(TextAttributeRecord, scaledLength) == 56);

// The host's drawing state of a piece of text. The style reads only the flags; the font manager the rest.
struct TextDrawingState {
  DWORD callerFlags;
  DWORD reserved;
  double origin[3];  // where the text starts
};
static_assert(offsetof(TextDrawingState, origin) == 8);

// The host's text item, the first argument of a text style's drawing and measuring. Words 1 to 8 are the host's.
struct TextDrawItem {
  TextDrawingState* state;  // word 0
  DWORD hostWords[8];
  DWORD measureCount;       // word 9: handed to the font manager's measuring after word 10
  DWORD measureText;        // word 10
};
static_assert(sizeof(TextDrawItem) == 44);
static_assert(offsetof(TextDrawItem, measureCount) == 36);

// The drawing options of a text style's render operation, in the place a line style's element record takes.
struct TextDrawOptions {
  double value;  // handed to the font manager's drawing; 3.0 when no options are given
};
inline const TextDrawOptions* AsTextDrawOptions(const StyleElementRecord* seventh) {
  return reinterpret_cast<const TextDrawOptions*>(seventh);
}
inline const StyleElementRecord* AsSeventhArgument(const TextDrawOptions* options) {
  return reinterpret_cast<const StyleElementRecord*>(options);
}

// The drawing and measuring interface of a text character style. Its first operations are IJStyleRender's, slot
// for slot, so that the style answers IJStyleRender with it. Every text operation first makes the style's
// attribute record current in the font manager; the arguments a1 to a8 pass through to the font manager.
struct IJStyleRenderText : public IJStyleRender {
  virtual HRESULT STDMETHODCALLTYPE NotOffered14(DWORD) = 0;
  // The item's measured extent divided by the host's factor of the units code: `factors` holds at least 17
  // doubles (index 16 the text factor, applied with code 11). *a: the sum of the second and third results;
  // *b: the first.
  virtual HRESULT STDMETHODCALLTYPE MeasureInUnits(const TextDrawItem* item, DWORD ignored, const double* factors,
                                                   DWORD unitsCode, double* a, double* b) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered16(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp17(void* a1, const RenderContextScales* context,
                                             const tagStyleOverride* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp18(double* metrics, const RenderContextScales* context,
                                             const tagStyleOverride* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp19(double* metrics, const RenderContextScales* context, DWORD flags,
                                             const tagStyleOverride* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp20(void* a1, const RenderContextScales* context, DWORD a3, DWORD a4,
                                             DWORD flags, DWORD a6, DWORD a7, const tagStyleOverride* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp21(void* a1, DWORD a2, const RenderContextScales* context, DWORD a4,
                                             DWORD a5, DWORD flags, DWORD a7, DWORD a8,
                                             const tagStyleOverride* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp22(double* a1, double* a2, double* a3, const RenderContextScales* context,
                                             DWORD a5, DWORD a6, DWORD flags, const tagStyleOverride* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp23(void* a1, const RenderContextScales* context, DWORD a3, DWORD a4,
                                             DWORD flags, DWORD a6, const tagStyleOverride* record) = 0;
  // A null a1 or a4 answers E_INVALIDARG.
  virtual HRESULT STDMETHODCALLTYPE TextOp24(void* a1, const RenderContextScales* context, DWORD flags, void* a4,
                                             const tagStyleOverride* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE FontOperation23(DWORD a1, DWORD a2) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumFontLanguages(TextLanguageCallback callback) = 0;
};

// ---- symbol fills ----

inline constexpr IID IID_IJStyleSymbolFill = {0x25F8824C, 0x1B7E, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};

// The capture target a symbol draws itself into, and the filter through which the symbol finds it; both are
// reached only through the capture record and the draw context, never by QueryInterface.
struct IJStyleSymbolFillGeometry : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Operation1() = 0;  // S_FALSE
  virtual HRESULT STDMETHODCALLTYPE Operation2(DWORD a, DWORD b, DWORD c, DWORD d) = 0;  // S_FALSE
  virtual HRESULT STDMETHODCALLTYPE Operation3() = 0;  // E_NOTIMPL
  virtual HRESULT STDMETHODCALLTYPE Operation4(DWORD* out) = 0;  // writes 2
  virtual HRESULT STDMETHODCALLTYPE Operation5() = 0;  // E_NOTIMPL
  virtual HRESULT STDMETHODCALLTYPE Operation6(DWORD* out) = 0;  // writes 4
  virtual HRESULT STDMETHODCALLTYPE Operation7() = 0;  // E_NOTIMPL
  virtual HRESULT STDMETHODCALLTYPE Operation8() = 0;  // E_NOTIMPL
  // 9: one primitive: its point list, three f64 a point; bit 0x10000 of its first word marks one closed
  // outline, else a point whose x is +DBL_MAX separates outlines. The other arguments are not read.
  virtual HRESULT STDMETHODCALLTYPE CapturePrimitive(const StyleGeometryRecord* primitive, DWORD a, DWORD b, DWORD c,
                                                     DWORD d, DWORD e) = 0;
  virtual HRESULT STDMETHODCALLTYPE Operation10() = 0;  // E_NOTIMPL
  virtual HRESULT STDMETHODCALLTYPE Operation11() = 0;  // E_NOTIMPL
};

// One slot of a symbol fill: a graphic of the owner library repeated over its own lattice. Lengths are in the
// fill's units.
struct SymbolSlotRecord {
  DWORD color;          // 0xFFFFFFFF: the render record's colour
  DWORD fillStyleWord;  // handed to the render target with the colour when the slot fills areas
  double angle;         // of the lattice, radians
  double spacingX;      // between columns; at least 1.1920928955078125e-7 in magnitude
  double spacingY;      // between rows; likewise
  double rowShift;      // of every other row
  double columnShift;   // of every other column
  double scale;         // of the symbol; at least 1.1920928955078125e-7 in magnitude
  double offsetX, offsetY, offsetZ;  // of the lattice; z is not stored
  IJGraphic* graphic;  // the symbol, with a reference of whoever holds the record
  DWORD graphicID;     // its style ID in the fill's owner library; 0 none, 0xFFFFFFFF not known yet
};
static_assert(offsetof(SymbolSlotRecord, angle) == 8);
static_assert(offsetof(SymbolSlotRecord, scale) == 48);
static_assert(offsetof(SymbolSlotRecord, offsetX) == 56);
static_assert(offsetof(SymbolSlotRecord, graphic) == 80);
static_assert(offsetof(SymbolSlotRecord, graphicID) == 84);
static_assert(sizeof(SymbolSlotRecord) == 88);

// A whole symbol fill. Slot indices run from 0 to highestSlot; the array has slotCapacity entries, of which those
// past highestSlot, and any given as null, hold no slot.
struct SymbolFillData {
  DWORD reserved;  // not read
  DWORD fillTag;
  double originX, originY, originZ;
  double rotation;
  DWORD unitsCode;
  LONG highestSlot;  // -1 without slots
  LONG slotCapacity;
  SymbolSlotRecord** slots;
};
static_assert(offsetof(SymbolFillData, originX) == 8);
static_assert(offsetof(SymbolFillData, rotation) == 32);
static_assert(offsetof(SymbolFillData, unitsCode) == 40);
static_assert(offsetof(SymbolFillData, slots) == 52);
static_assert(sizeof(SymbolFillData) == 56);

// What a symbol fill hands the graphic that draws into it: where the pieces go, and the attributes the graphic
// reports through the callback while it draws.
// The attributes a symbol reports before the primitives they apply to (the host's protocol): code 21 brings
// its style, code 29 names it by style ID in the capturing fill's library; any other code means plain lines.
enum : DWORD { kSymbolAttributesStyle = 21, kSymbolAttributesStyleID = 29 };
struct SymbolCaptureAttributes {
  DWORD code;
  DWORD mode;             // 2 lines, 3 areas; 0: what the style's kind says
  IJStyleRender* style;   // code 21; the callback takes its own reference
  DWORD styleID;          // code 29
};
static_assert(offsetof(SymbolCaptureAttributes, style) == 8);
static_assert(sizeof(SymbolCaptureAttributes) == 16);

// Acts on the fill that captures on the calling thread; E_UNEXPECTED when none does.
using SymbolCaptureCallbackFn = HRESULT(WINAPI*)(const SymbolCaptureAttributes* attributes);
struct SymbolCaptureRecord {
  DWORD size;   // 28
  DWORD value;  // 3
  IJStyleSymbolFillGeometry* geometry;
  SymbolCaptureCallbackFn callback;
  DWORD attributeCode;
  DWORD captureMode;  // 2 lines, 3 areas
  IJStyleRender* attributeStyle;  // owned by the fill, or null
};
static_assert(offsetof(SymbolCaptureRecord, geometry) == 8);
static_assert(offsetof(SymbolCaptureRecord, attributeCode) == 16);
static_assert(offsetof(SymbolCaptureRecord, attributeStyle) == 24);
static_assert(sizeof(SymbolCaptureRecord) == 28);

struct IJStyleSymbolFillFilter : public IUnknown {
  // The fill's capture record, without a copy.
  virtual HRESULT STDMETHODCALLTYPE GetCaptureRecord(SymbolCaptureRecord** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotOffered4() = 0;  // E_NOTIMPL
};

// The description of a symbol fill. Slot indices run from 0 to the count minus 1; another index answers
// E_INVALIDARG. A spacing or scale below 1.1920928955078125e-7 in magnitude, or a value that is not finite, is
// refused and changes nothing.
struct IJStyleSymbolFill : public IUnknown {
  // A code the stored record cannot carry answers E_INVALIDARG.
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlotCount(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSlotColor(LONG slot, DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlotColor(LONG slot, DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSlotOffset(LONG slot, const GPosition* offset) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlotOffset(LONG slot, GPosition* out) = 0;
  // A negative angle has 2 pi added, once.
  virtual HRESULT STDMETHODCALLTYPE SetSlotAngle(LONG slot, double angle) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlotAngle(LONG slot, double* out) = 0;
  // A refused scale answers E_FAIL.
  virtual HRESULT STDMETHODCALLTYPE SetSlotScale(LONG slot, double scale) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlotScale(LONG slot, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSlotSpacingX(LONG slot, double spacing) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlotSpacingX(LONG slot, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSlotSpacingY(LONG slot, double spacing) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlotSpacingY(LONG slot, double* out) = 0;
  // A shift other than 0 clears the other one.
  virtual HRESULT STDMETHODCALLTYPE SetSlotRowShift(LONG slot, double shift) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlotRowShift(LONG slot, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSlotColumnShift(LONG slot, double shift) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlotColumnShift(LONG slot, double* out) = 0;
  // An object that answers IJGraphic, or null for none.
  virtual HRESULT STDMETHODCALLTYPE SetSlotGraphic(LONG slot, IUnknown* graphic) = 0;
  // With a reference; null with S_OK when the slot has none.
  virtual HRESULT STDMETHODCALLTYPE GetSlotGraphic(LONG slot, IJGraphic** out) = 0;
  // Appends a slot; a graphic given without its ID is looked up in the owner library.
  virtual HRESULT STDMETHODCALLTYPE AddSlot(const SymbolSlotRecord* record, DWORD* index) = 0;
  // The record's graphic carries a reference for the caller; when the fill has an owner and the ID is neither 0
  // nor 0xFFFFFFFF, the caller also holds the ID once (IJSLLibrarian::AddRefStyleID2) and gives it back with
  // ReleaseStyleID2.
  virtual HRESULT STDMETHODCALLTYPE GetSlotRecord(LONG slot, SymbolSlotRecord* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReplaceSlot(LONG slot, const SymbolSlotRecord* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveSlot(LONG slot) = 0;
  // `to` is brought into 0 .. count - 1; the slots between move one place toward `from`.
  virtual HRESULT STDMETHODCALLTYPE MoveSlot(LONG from, LONG to) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFillTag(DWORD tag) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFillTag(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFillRotation(double rotation) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFillRotation(double* out) = 0;
  // z is set to 0.
  virtual HRESULT STDMETHODCALLTYPE SetFillOrigin(const GPosition* origin) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFillOrigin(GPosition* out) = 0;
  // Replaces the whole description, the origin's z as given; the non-null records become the slots in order.
  virtual HRESULT STDMETHODCALLTYPE SetAllSlots(const SymbolFillData* data) = 0;
  // The array and each record come from CoTaskMemAlloc (null without a slot array) and belong to the caller,
  // each graphic with a reference: FreeSymbolFillData gives them back.
  virtual HRESULT STDMETHODCALLTYPE GetAllSlots(SymbolFillData* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE InvalidateRenderCache() = 0;
};

// Gives back what GetAllSlots handed out: each record's graphic, the records and the array.
inline void FreeSymbolFillData(SymbolFillData* data) {
  if (!data || !data->slots) return;
  for (LONG i = 0; i < data->slotCapacity; ++i) {
    SymbolSlotRecord* record = data->slots[i];
    if (!record) continue;
    if (record->graphic) record->graphic->Release();
    CoTaskMemFree(record);
  }
  CoTaskMemFree(data->slots);
  data->slots = nullptr;
  data->highestSlot = -1;
  data->slotCapacity = 0;
}

// ---- bitmap styles ----

inline constexpr IID IID_IJStyleBitmap = {0x3D8E0851, 0xE868, 0x11CE, {0x95, 0xCA, 0x08, 0x00, 0x36, 0x48, 0x39, 0x02}};

// A picture drawn at a point, with a second bitmap that travels with it. The style owns the bitmaps it is given
// (it deletes them when they are replaced and when it goes); one handle given as both is owned once. A handle
// that is not a bitmap is refused.
struct IJStyleBitmap : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetBitmap(HBITMAP picture) = 0;
  // The picture, still owned by the style.
  virtual HRESULT STDMETHODCALLTYPE GetBitmap(HBITMAP* out) = 0;
  // Accepted and ignored.
  virtual HRESULT STDMETHODCALLTYPE Reserved1(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved2(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetBitmaps(HBITMAP picture, HBITMAP second) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBitmaps(HBITMAP* picture, HBITMAP* second) = 0;
  // The units code is stored as given; a size of 0 becomes 1.0, one that is not finite is refused.
  virtual HRESULT STDMETHODCALLTYPE SetSize(DWORD unitsCode, double size) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSizeAndUnits(DWORD* unitsCode, double* size) = 0;
  // Handed to the render target with the picture.
  virtual HRESULT STDMETHODCALLTYPE SetMode(DWORD mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMode(DWORD* out) = 0;
};

// ---- the host's notices about copied objects ----

inline constexpr IID IID_IJObjectCallback = {0xC689B320, 0x7C10, 0x11CE, {0xBA, 0xB9, 0x08, 0x00, 0x36, 0xC5, 0x0D, 0x02}};
// Told by the host as it copies objects between containers (documents), or within one.
struct IJObjectCallback : public IUnknown {
  // 3 and 4: notices whose meaning is the host's; a style component has nothing to do there.
  virtual HRESULT STDMETHODCALLTYPE Notice3(IUnknown*, IUnknown*, IUnknown*) = 0;
  virtual HRESULT STDMETHODCALLTYPE Notice4(IUnknown*, IUnknown*, IUnknown*) = 0;
  // 5: `copy` was made of `source`; the copy is to use, in the target container's library, the styles the
  // source uses in its own.
  virtual HRESULT STDMETHODCALLTYPE OnObjectCopied(IUnknown* sourceContainer, IUnknown* source,
                                                   IUnknown* targetContainer, IUnknown* copy) = 0;
};

// ---- the 3D multiplexer workbench ----

// The 3D multiplexer and its appearance component: classes of the host that the workbench only creates and fills.
inline constexpr CLSID CLSID_Mux3dStyle = {0x987B2916, 0x8EBE, 0x11D1, {0xBC, 0x39, 0x08, 0x00, 0x36, 0x93, 0xE1, 0x02}};
inline constexpr CLSID CLSID_Mux3dAppearance = {0xE57106A2, 0x9281, 0x11D1, {0xBC, 0x39, 0x08, 0x00, 0x36, 0x93, 0xE1, 0x02}};
inline constexpr IID IID_IJMux3dStyle = {0x9493773C, 0x8EB3, 0x11D1, {0xBC, 0x39, 0x08, 0x00, 0x36, 0x93, 0xE1, 0x02}};
inline constexpr IID IID_IJMux3dAppearance = {0xE5C1FA30, 0x927C, 0x11D1, {0xBC, 0x39, 0x08, 0x00, 0x36, 0x93, 0xE1, 0x02}};
inline constexpr IID IID_IMux3dWrkBench = {0x69119F0E, 0xB37E, 0x11D1, {0xBC, 0x42, 0x08, 0x00, 0x36, 0x93, 0xE1, 0x02}};
inline constexpr IID IID_ICommonWrkBench = {0x3D12C884, 0xB396, 0x11D1, {0xBC, 0x42, 0x08, 0x00, 0x36, 0x93, 0xE1, 0x02}};

// What CreateStyle answers when the library already has a 3D multiplexer of the workbench's name.
inline constexpr HRESULT kMux3dStyleExists = 0x40B51;

// The appearance component's records, built from the workbench's colours. The header points at the other two;
// the component copies all three during the call that hands it the header.
struct Mux3dAppearanceA {
  DWORD kind;  // 3
  COLORREF colour;
  WORD one;   // 1
  WORD mask;  // 0xFFFF
  float scale;  // 1.0
};
static_assert(sizeof(Mux3dAppearanceA) == 16);

struct Mux3dAppearanceB {
  DWORD kind;           // 0
  float triples[4][3];  // red, green, blue in 0 .. 1
  float first;          // 1.0
  float second;         // 1.0
};
static_assert(sizeof(Mux3dAppearanceB) == 60);

struct Mux3dAppearanceHeader {
  DWORD version;  // 1
  BYTE size;      // 8
  Mux3dAppearanceA* a;
  Mux3dAppearanceB* b;
  DWORD reserved;  // 0
};
static_assert(sizeof(Mux3dAppearanceHeader) == 20);

#define STYLE_MUX3D_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE NotCalled##n() = 0;

// The 3D multiplexer: two lines and an appearance, each set as its IJStyleRender and handed out as IUnknown with
// a reference. The slots between are not called.
struct IJMux3dStyle : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetFirstLine(IJStyleRender* line) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE GetFirstLine(IUnknown** out) = 0;
  STYLE_MUX3D_UNUSED_SLOT(5) STYLE_MUX3D_UNUSED_SLOT(6)
  virtual HRESULT STDMETHODCALLTYPE SetSecondLine(IJStyleRender* line) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE GetSecondLine(IUnknown** out) = 0;
  STYLE_MUX3D_UNUSED_SLOT(9) STYLE_MUX3D_UNUSED_SLOT(10)
  virtual HRESULT STDMETHODCALLTYPE SetAppearance(IJStyleRender* appearance) = 0;  // 11
  virtual HRESULT STDMETHODCALLTYPE GetAppearance(IUnknown** out) = 0;
};

struct IJMux3dAppearance : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetHeader(const Mux3dAppearanceHeader* header) = 0;  // 3
};

// The workbench's two interfaces are objects of their own whose slots 3 to 14 are the implementing object's base
// operations, not for callers: each interface's operations begin at slot 15.
#define STYLE_MUX3D_BASE_SLOTS                                                                             \
  STYLE_MUX3D_UNUSED_SLOT(3) STYLE_MUX3D_UNUSED_SLOT(4) STYLE_MUX3D_UNUSED_SLOT(5) STYLE_MUX3D_UNUSED_SLOT(6) \
  STYLE_MUX3D_UNUSED_SLOT(7) STYLE_MUX3D_UNUSED_SLOT(8) STYLE_MUX3D_UNUSED_SLOT(9)                         \
  STYLE_MUX3D_UNUSED_SLOT(10) STYLE_MUX3D_UNUSED_SLOT(11) STYLE_MUX3D_UNUSED_SLOT(12)                      \
  STYLE_MUX3D_UNUSED_SLOT(13) STYLE_MUX3D_UNUSED_SLOT(14)

// Name and colour of the style to build. Slots 17, 18 and 21 to 23 take their arguments and do nothing.
struct IMux3dWrkBench : public IUnknown {
  STYLE_MUX3D_BASE_SLOTS
  // 15: null leaves the name as it is.
  virtual HRESULT STDMETHODCALLTYPE SetName(LPCWSTR name) = 0;
  // A fresh copy from the runtime heap (the caller frees it with free), or null.
  virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE NoEffect17(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NoEffect18(DWORD) = 0;
  // 19: recolours a style already built, in place.
  virtual HRESULT STDMETHODCALLTYPE SetColour(COLORREF colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColour(COLORREF* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE NoEffect21(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NoEffect22(DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NoEffect23(DWORD, DWORD, DWORD) = 0;
};

// Building the style in a library and handing it out.
struct ICommonWrkBench : public IUnknown {
  STYLE_MUX3D_BASE_SLOTS
  // 15: the library is asked for its librarian.
  virtual HRESULT STDMETHODCALLTYPE CreateStyle(IUnknown* library) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCreatedStyleID(DWORD* out) = 0;
  // Nothing is written, with S_OK, while no style is held or without `out`.
  virtual HRESULT STDMETHODCALLTYPE QueryStyle(REFIID iid, void** out) = 0;
};

#undef STYLE_MUX3D_BASE_SLOTS
#undef STYLE_MUX3D_UNUSED_SLOT

// ---- the dash-pattern workbench ----

inline constexpr IID IID_IWorkbenchLinearPattern = {0x33C89489, 0xC29C, 0x11D1, {0xBC, 0xC2, 0x08, 0x00, 0x36, 0x92, 0xD0, 0x02}};
// The same interface under the IID of its second release.
inline constexpr IID IID_IWorkbenchLinearPattern2 = {0x0FDC4D43, 0xF4F3, 0x11D1, {0xBD, 0x06, 0x08, 0x00, 0x36, 0x92, 0xD0, 0x02}};

// The editing interface of the dash-pattern workbench: the lengths of a dash pattern and, per pattern entry, a
// point symbol (its own point-symbol workbench) with a placement and four values. Index arguments are signed;
// an index outside the entries answers E_INVALIDARG.
struct IWorkbenchLinearPattern : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDashes(LONG count, const double* lengths) = 0;
  // Answers 8 (kDashBufferTooSmall), writing nothing, when `size` is below the dash count.
  virtual HRESULT STDMETHODCALLTYPE GetDashes(DWORD size, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDashCount(LONG* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetKind(DWORD kind) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetKind(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFlagA(DWORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFlagA(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetScale(double scale) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetScale(double* out) = 0;
  // Makes room for one more dash, which SetDash(*index, value) then appends.
  virtual HRESULT STDMETHODCALLTYPE AddDash(LONG* index) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDash(LONG index, double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDash(LONG index, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsDrawnDash(LONG index, BOOL* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSymbolWorkbench(LONG index, IUnknown* workbench) = 0;
  // With a reference, or null.
  virtual HRESULT STDMETHODCALLTYPE GetSymbolWorkbench(LONG index, IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFirstValue(LONG index, double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFirstValue(LONG index, double* out) = 0;
  // 0 free, 1 at an absolute angle, 2 kept upright.
  virtual HRESULT STDMETHODCALLTYPE SetPlacement(LONG index, DWORD placement) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPlacement(LONG index, DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSecondValue(LONG index, double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSecondValue(LONG index, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetThirdValue(LONG index, double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetThirdValue(LONG index, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFourthValue(LONG index, double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFourthValue(LONG index, double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFlagB(DWORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFlagB(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetKindDetail(DWORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetKindDetail(DWORD* out) = 0;
};

// ---- the offset line ----

inline constexpr IID IID_IJStyleOLG = {0x1C565A4C, 0xD983, 0x11CE, {0xA0, 0x21, 0x08, 0x00, 0x36, 0x12, 0x28, 0x02}};

struct OLGData {
  DWORD unitsCode;
  double offset;
  DWORD mode;
};
static_assert(sizeof(OLGData) == 24);

// A line style that draws the style it refers to (IJStyleRender's referenced style) at a signed offset. The mode
// is the direction code: 0 to the side only, 1 to 4 a quadrant.
struct IJStyleOLG : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetOffset(double offset) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOffset(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetData(const OLGData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetData(OLGData* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMode(DWORD mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMode(DWORD* out) = 0;
};

// ---- the linear-style workbench ----

inline constexpr IID IID_IWorkbenchLinear = {0xA2D3D22D, 0xBDC7, 0x11D1, {0xBC, 0xB8, 0x08, 0x00, 0x36, 0x92, 0xD0, 0x02}};

// The editing interface of the linear-style workbench: a list of lines (components), of which the current one
// takes the per-line operations. The style is read on the first operation; a failure to read it is answered by
// every operation.
struct IWorkbenchLinear : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColorFixed(BOOL fixed) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColorFixed(BOOL* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWidth(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWidth(double width) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWidthFixed(BOOL fixed) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWidthFixed(BOOL* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDashWorkbench(IUnknown* workbench) = 0;
  // With a reference, or null.
  virtual HRESULT STDMETHODCALLTYPE GetDashWorkbench(IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetTerminatorWorkbench(BOOL first, IUnknown* workbench) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTerminatorWorkbench(BOOL first, IUnknown** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHeldCode(DWORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHeldCode(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHeldValue1(double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHeldValue1(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHeldValue2(double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHeldValue2(double* out) = 0;
  // 23 to 28: E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE NotImplemented23(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotImplemented24(DWORD*) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotImplemented25(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotImplemented26(DWORD*) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotImplemented27(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotImplemented28(DWORD*) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOffset(double offset) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOffset(double* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOffsetDirection(DWORD code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOffsetDirection(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddComponent(DWORD* index) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCurrentComponent(DWORD index) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentComponent(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetComponentCount(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteComponent(DWORD index) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLineCode1(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLineCode1(DWORD code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLineCode2(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLineCode2(DWORD code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLineCode3(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLineCode3(DWORD code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSkipFlag(DWORD* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSkipFlag(DWORD flag) = 0;
};
