// The exported style functions whose names begin with H: a host creates, adds, finds, activates and names
// styles in a document through them. D is the document, or any object of one: the functions find its style
// library through GetStyleLibrarian (services/daxutil) and release it before they return.
//
// How the H functions are exported (every one follows this):
// - Each is WINAPI (stdcall) and answers an HRESULT, except the standard-dash functions, which leave the clean-up
//   of their arguments to the caller (__cdecl, listed in stylesrv.def without @bytes).
// - A name with one form has C linkage. stylesrv.def lists it as name@bytes; the DLL is linked with --kill-at,
//   so the export is the plain name (GetProcAddress finds it so), and the import library keeps name@bytes.
// - A name with two forms (one hands out or takes a style object, the other a style ID) is declared twice with
//   C++ linkage and exported under the compiler's mangled names, listed in stylesrv.def the same way (mangled
//   name@bytes, exported without @bytes). The argument types are part of those names: keep them as declared
//   here (DWORD for IDs and lengths, LPWSTR or LPCWSTR as given). Hosts reach them through the import library.
// - Null pointers the function must write through or read from answer E_INVALIDARG, reported.
// - Failures are reported through HRerr where they arise, under the source name of the group ("STYLESPT" for
//   creation, finding, names and overrides; "AssignID" and "styidspt" for the style IDs of elements; "USTYLSPT"
//   for the utilities and exception styles), and answered unchanged. Objects handed out carry one reference
//   for the caller; nothing else is kept.
// - New exports are declared here and listed at the end of stylesrv.def.
//
// Name buffers: wide, with *length in characters; on entry the buffer's capacity, on return the length the name
// needs with its terminating zero. A name longer than the capacity is not copied.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "display/style/stylesrv_itf.h"

class GUserText;  // the utility library's text (host/pellow/pellow.h)

// A style of that name and type already exists: its ID and object are handed out in place of adding one.
inline constexpr HRESULT kStyleNameExists = 0x40B51;

extern "C" {

// ---- creation and adding ----

// A new object of the class, added to no library. `document`, `unused` and `reserved` are not used.
HRESULT WINAPI HCreateStyle(IUnknown** out, IUnknown* document, const CLSID* clsid, DWORD unused, void* reserved);

// Adds the style to the library under the type, the name (null for none) and the parent. A name the type
// already has hands out that style (kStyleNameExists) and adds nothing. A style the library refuses goes to the
// engine's NotifyObjectRegistration, and the refusal (E_FAIL when it came without a code) or the notice's own
// failure is answered with *outID 0 and *outObject untouched. `outObject` may be null.
HRESULT WINAPI HAddStyleToLibrary(DWORD* outID, IUnknown** outObject, IUnknown* document, IUnknown* style,
                                  const GUID* type, LPCWSTR name, DWORD parentID);

// Creates an object of the class and adds it as HAddStyleToLibrary does; a refused object is destroyed, the
// engine is not told, and the refusal is answered. `outObject` may be null; `outID` may not.
HRESULT WINAPI HCreateStyleInLib(IUnknown* document, const CLSID* clsid, LPCWSTR name, const GUID* type,
                                 DWORD parentID, DWORD* outID, IUnknown** outObject);

// A new simple line from the engine's simple-line extension (asked for `object`, which is handed the two texts),
// with the line data and, when given, a new simple dash type of the dash data as its dash type. Added to no
// library; *out is the line's IJStyleSimpleLine.
HRESULT WINAPI HCreateSimpleLineStyle(LPCWSTR first, LPCWSTR second, IUnknown* object,
                                      const tagStyleSimpleLineData* lineData,
                                      const tagStyleSimpleDashTypeData* dashData, IUnknown** out);

// A new simple dash type carrying the data, added to no library; *out is its IJStyleSimpleDashType. The first
// three arguments are not used.
HRESULT WINAPI HCreateSimpleDashTypeStyle(LPCWSTR unused1, LPCWSTR unused2, IUnknown* unused3,
                                          const tagStyleSimpleDashTypeData* data, IUnknown** out);

// ---- objects of IDs and names ----

HRESULT WINAPI HGetStyleFromID(IUnknown* document, DWORD id, IUnknown** out);

// The name of a style in the library that owns it (`document` is not used). A style without an owner answers
// E_NOINTERFACE.
HRESULT WINAPI HGetLinearStyleName(IUnknown* document, IUnknown* style, LPWSTR buffer, DWORD* length);

// The style's name, or that of its nearest named ancestor; for a style with neither, the name of the style it
// refers to (one level). 0x40223 when none of them has a name.
HRESULT WINAPI HGetStyleName(IUnknown* document, DWORD id, LPWSTR buffer, DWORD* length);
// The same for a style of the document's library given as an object.
HRESULT WINAPI HGetStyleNameFromPtr(IUnknown* document, IUnknown* style, LPWSTR buffer, DWORD* length);

}  // extern "C"

// ---- finding by name and the active line style (two forms each) ----

// The "Linear" style of the name (a name of a style-library file gets its entry). An unknown name answers
// 0x80040221: reported by the object form, not by the ID form.
HRESULT WINAPI HGetLinearStyle(IUnknown* document, LPWSTR name, IUnknown** out);
HRESULT WINAPI HGetLinearStyle(IUnknown* document, LPWSTR name, DWORD* outID);

// The "Dash" style of the name. For an unknown name the object form answers S_OK and leaves *out as it was; the
// ID form answers 0x80040221 unreported.
HRESULT WINAPI HGetDashStyle(IUnknown* document, LPCWSTR name, IUnknown** out);
HRESULT WINAPI HGetDashStyle(IUnknown* document, LPWSTR name, DWORD* outID);

// Makes the style the active "Linear" style; the engine hears first that the library changes.
HRESULT WINAPI HSetActiveLinearStyle(IUnknown* document, IUnknown* style);
HRESULT WINAPI HSetActiveLinearStyle(IUnknown* document, DWORD id);

// The active "Linear" style; a library without one makes it (its first named line, else a default line).
HRESULT WINAPI HGetActiveLinearStyle(IUnknown* document, IUnknown** out);
HRESULT WINAPI HGetActiveLinearStyle(IUnknown* document, DWORD* outID);

// The name of a dash type: the style's own, in the library that owns it (`document` not used) ...
HRESULT WINAPI HGetDashStyleName(IUnknown* document, IUnknown* style, LPWSTR buffer, DWORD* length);
// ... or, by ID, that of the dash type the line or override of the ID uses (success with nothing written when it
// uses none), or the ID's own name when it is a dash type.
HRESULT WINAPI HGetDashStyleName(IUnknown* document, DWORD id, LPWSTR buffer, DWORD* length);

// ---- override styles ----
//
// An override changes some values of the style it is built on (its referenced style) without copying it. The
// override exports never build an override on an override: given one as the base, they build on its referenced
// style with the base's values merged under the caller's. A new override enters the library unnamed, under the
// base's style type, with the base as its parent unless it has a second style. It stays there when a later
// step fails.

// The proxy kind of HGetProxyStyle is not offered.
inline constexpr HRESULT kProxyKindNotOffered = static_cast<HRESULT>(0x80040B50);

extern "C" {

// A new override of `base` carrying `data`, and `second` (may be null) as its second style; added to the
// library and handed out as the library hands it out (an equal unnamed override already there is shared).
HRESULT WINAPI HCreateOverrideStyle(IUnknown* document, const tagStyleOverride* data, IUnknown* base,
                                    IUnknown** out, IUnknown* second);

// Copies the flagged fields of `source` into `target` (the dash type without a reference), a non-zero units
// code, and ORs the flags words. The three codes' flags are ORed in although the codes are not copied. Always
// S_OK; a null source or target changes nothing.
HRESULT WINAPI HloadOverrideData(const tagStyleOverride* source, tagStyleOverride* target);

// Gives each override without a parent the ID of the style it is built on as parent. Overrides of overrides,
// and named entries whose name the library does not find, are left alone.
HRESULT WINAPI HPatchOverrideParents(IJSLLibrarian* librarian);

// An override forces "no dash type" (flag 0x80, none held); a simple line drops its dash type; any other
// style is left as it is (S_OK).
HRESULT WINAPI HResetDashesOnLinearStyle(IUnknown* style);

// Proxy styles are not offered: kinds 1 to 4 answer kProxyKindNotOffered unreported, other kinds E_INVALIDARG.
// Kind 2 still finds (or makes) the "Linear" style of the name first and answers its failures; *out becomes 0.
// `unused` and `record` are not used.
HRESULT WINAPI HGetProxyStyle(IUnknown* document, LPCWSTR name, IUnknown* target, DWORD kind, DWORD unused,
                              tagStyleOverride record, DWORD* out);

// Tells the style through its automation method "SetIsEditable" whether it may be edited: a style of the
// library may, unless it is a multiplexer; a text style outside it may when the host's text interface says so.
// A style without that method answers GetIDsOfNames's code.
HRESULT WINAPI HSetStyleWritableAutomationFlag(IDispatch* style, IJSLLibrarian* librarian, const GUID* type);

}  // extern "C"

// An override of `base` (steps above) whose values are the caller's record ...
HRESULT WINAPI HGetOverrideStyle(IUnknown* document, tagStyleOverride* data, IUnknown* base, IUnknown** out);
HRESULT WINAPI HGetOverrideStyle(IUnknown* document, tagStyleOverride* data, IUnknown* base, DWORD* outID);
// ... or only a new unnamed dash type of the description, added to the library (null: "no dash type") ...
HRESULT WINAPI HGetOverrideStyle(IUnknown* document, tagStyleSimpleDashTypeData* dashData, IUnknown* base,
                                 IUnknown** out);
HRESULT WINAPI HGetOverrideStyle(IUnknown* document, tagStyleSimpleDashTypeData* dashData, IUnknown* base,
                                 DWORD* outID);
// ... or only the given dash type (null: "no dash type").
HRESULT WINAPI HGetOverrideStyle(IUnknown* document, IJStyleDashTypeRender* dashType, IUnknown* base,
                                 IUnknown** out);
HRESULT WINAPI HGetOverrideStyle(IUnknown* document, IJStyleDashTypeRender* dashType, IUnknown* base,
                                 DWORD* outID);

// ---- style IDs of elements ----
//
// An element of the host keeps the ID of the style it uses in a 32-bit slot of its own; these functions take
// the slot's address and never keep it. A library's use count of an ID is the number of slots and styles that
// hold the ID: IDs 0 and 0xFFFFFFFF name no style and count nothing.

// HAssignCopiedObjectStyleID's flags.
inline constexpr DWORD kCopyStyleByObject = 0x1;  // copy through the style object, not by the source library's ID
inline constexpr DWORD kCopyEngineTold = 0x8;     // the caller has told the engine that the target library changes

extern "C" {

// Puts `newID` in the slot with the counts moved: the engine hears once that the library changes (unless
// `alreadyMarked` says the caller told it), the new ID gains a use, then the old ID loses one. When the engine or
// the new ID's use refuses, the slot keeps its old ID, no count moves and the refusal is answered; a refused
// release of the old ID leaves the new ID in the slot and is answered. An ID equal to the slot's changes nothing.
HRESULT WINAPI HAssignStyleID(IJSLLibrarian* librarian, DWORD newID, DWORD* slot, DWORD alreadyMarked);
// HAssignStyleID with the engine not told yet.
HRESULT WINAPI HSetStyleID(IJSLLibrarian* librarian, DWORD newID, DWORD* slot);

// Gives the slot of an element copied into the target library the ID there of the style `styleID` of the source
// library: the same ID within one library, else the source library's copy of the entry by ID, else (and always
// with kCopyStyleByObject) the style object's own copy into the target. 0 and 0xFFFFFFFF are assigned as they
// are. The assignment is HAssignStyleID's, with kCopyEngineTold as its alreadyMarked.
HRESULT WINAPI HAssignCopiedObjectStyleID(DWORD flags, DWORD styleID, IJSLLibrarian* source,
                                          IUnknown* targetDocument, IJSLLibrarian* target, DWORD* slot);

// The calling thread's assign-persist-IDs state, a word the host keeps with the server (0 at first). A thread
// that started before the server was loaded has none: E_FAIL.
HRESULT WINAPI HStyleAssignPersistIdsCallback(DWORD value);
HRESULT WINAPI HStyleGetAssignPersistIdsState(DWORD* out);

// ---- utilities ----

// Whether a style-library file would clash with one the list names: 1 when the list names the same path, 2 when
// it names a file of the same file name in another folder (case ignored both times), else 0. A list that cannot
// be read answers 0.
DWORD WINAPI HStyleResource_PotentialConflicts(IJStyleResourceList* list, LPCWSTR path);

// The name of a special colour reference from the string table of the resource module (any other colour gets
// the name of a custom colour). Always S_OK for a given text.
HRESULT WINAPI HGetNameFromColorRef(HMODULE module, LONG colour, GUserText* out);

// The style workshop of the document's library, as IJWrkShop.
HRESULT WINAPI HGetStyleWorkshop(IUnknown* document, void** out);

// ---- exception styles: what elements whose own style cannot be used are drawn with ----

// A text character style in the exception colour, 0.003175 high in units 11, in "Arial", in the given units,
// added unnamed to the library `librarian` (an equal one already there is handed out). Both outs are required.
HRESULT WINAPI HGetCharExceptionStyle(DWORD* outID, IUnknown** outObject, DWORD unitsCode, IUnknown* librarian);
// A host dimension style set up with the default dimension record and the exception changes, added unnamed to
// the document's library. `outObject` may be null.
HRESULT WINAPI HGetDimExceptionStyle(DWORD* outID, IUnknown** outObject, IUnknown* document);
// The library's exception style of the "Linear" (or "Fill") type, made when it has none; the object only when
// `outObject` is given.
HRESULT WINAPI HGetLinearExceptionStyle(DWORD* outID, IUnknown** outObject, IUnknown* librarian);
HRESULT WINAPI HGetFillExceptionStyle(DWORD* outID, IUnknown** outObject, IUnknown* librarian);
// An unnamed simple line for imported line codes (colour 0, width 0.00035 in units 11, style flag 0x1) added to
// the library.
HRESULT WINAPI HGetDefaultUSTNLineStyle(IUnknown* librarian, DWORD* outID);

}  // extern "C"

// Not exported: whether a name can name a style. *valid = 1 when the name, trimmed of leading and trailing white
// space, has 1 to 253 characters and none of \ ; { }; else 0. S_OK either way; a null or unreadable name, or a
// null `valid`, answers E_INVALIDARG.
HRESULT WINAPI ValidateStyleName(LPCWSTR name, DWORD* valid);
// ---- standard dashes ----
//
// The host names line patterns by dash numbers: 0 and 9 the continuous line; 1 to 4 (and their twins 10 to 13)
// and 18 to 23 patterns with fixed lengths in metres (units code 11). Number 22 has lengths but no name. The
// line functions write colour, width, units and a dash into a simple line, with the locked fields saying what
// was given: 0x1 a colour (not 0), 0x2 a width (not 0.0), 0x90 a dash type. A width or length that is not
// finite answers E_INVALIDARG before anything changes. A step that fails ends the call; the steps before it
// stay applied. Hosts call these with the caller's clean-up of the stack (__cdecl), under their plain names.

extern "C" {

// The name of a standard number, from the resource module. E_FAIL for a number without a name (`name` is left
// as it was) and for a name that cannot be loaded.
HRESULT __cdecl HGetStdDashStyleNameFromNumber(LONG number, GUserText* name);

// Loads the number's lengths into the dash type; a number without lengths leaves it as it was (S_OK).
HRESULT __cdecl HSetStdDashTypeData(DWORD number, IJStyleSimpleDashType* dash);

// A continuous line: no dash type.
HRESULT __cdecl HSetContinuousLineStyleData(IJStyleSimpleLine* line, DWORD colour, double width,
                                            DWORD unitsCode);

// The line gets `dash` as its dash type (first loaded with the number's lengths when `loadDash` is set) and
// its fit flag (style flag 0x1). `dash` may be null only when `loadDash` is 0: the line then has none.
HRESULT __cdecl HSetStdDashStyleData(IJStyleSimpleLine* line, IJStyleSimpleDashType* dash, DWORD number,
                                     DWORD colour, double width, DWORD unitsCode, BOOL loadDash);

// As HSetStdDashStyleData, with the caller's `count` lengths (at least one) in the units of `unitsCode`,
// repeated, with an end fraction of 0.5. A first length above 0.0 is stored negated.
HRESULT __cdecl HSetCustomDashStyleData(IJStyleSimpleLine* line, IJStyleSimpleDashType* dash, DWORD count,
                                        const double* lengths, DWORD colour, double width, DWORD unitsCode);

}  // extern "C"

// ---- text styles (source "TEXTSPT") ----
//
// Paragraph styles are found and activated under "TextPara". A text style added by these functions enters the
// library unnamed, as a child of another style: its name queries answer that ancestor's name.

extern "C" {

// The "TextPara" style of the name (a name of a style-library file gets its entry); an unknown name answers
// 0x80040221 and hands out nothing.
HRESULT WINAPI HGetTextStyle(IUnknown* document, LPCWSTR name, IUnknown** out);
// The active "TextPara" style; a library without one makes it.
HRESULT WINAPI HGetActiveTextStyle(IUnknown* document, IUnknown** out);
// Makes a style of the library the active "TextPara" style. The engine hears that the library changes even when
// the style turns out not to be the library's.
HRESULT WINAPI HSetActiveTextStyle(IUnknown* document, IUnknown* style);

// A new paragraph (character) style object, in no library.
HRESULT WINAPI HCreateRawStyleTextPara(IUnknown** out);
HRESULT WINAPI HCreateRawStyleTextChar(IUnknown** out);

// A new paragraph style object in no library, for a text element's own values.
HRESULT WINAPI HGetParaOverride(IUnknown* document, IUnknown** out);
// Adds `style` unnamed under `parent` (a style of any library: one of another is matched by name or copied
// in); `added` (may be null) gets what the library holds for it. The new ID is not handed out.
HRESULT WINAPI HAddParaToLibrary(IUnknown** added, IUnknown* document, IUnknown* parent, IUnknown* style);
HRESULT WINAPI HAddCharToLibrary(IUnknown** added, IUnknown* document, IUnknown* parent, IUnknown* style);
// A new character style added unnamed under `base`, which must be a style of the document's library.
HRESULT WINAPI HGetCharOverride(IUnknown* document, IUnknown* base, IUnknown** out);

}  // extern "C"

// ---- fill styles (source "FILLSPT") ----
//
// Fills are found, named and activated under "Fill". A fill's pattern is a hatch (kind 2) or symbol (kind 3)
// fill style; kind 0 is none. A simple fill refers to its pattern; an override reaches it through the style it
// is built on.

// The pattern kinds.
inline constexpr DWORD kFillPatternNone = 0;
inline constexpr DWORD kFillPatternHatch = 2;
inline constexpr DWORD kFillPatternSymbol = 3;

extern "C" {

// The name of a fill of the library, or that of its nearest named ancestor.
HRESULT WINAPI HGetFillStyleName(IUnknown* document, IUnknown* style, LPWSTR buffer, DWORD* length);

// The kind of pattern a hatch or symbol fill is, or that a simple fill, or an override built on one, uses.
// Other classes answer S_OK with kind 0; an override built on nothing answers E_FAIL (not reported).
HRESULT WINAPI HGetPatternStyleType(IUnknown* style, DWORD* kind);

// The pattern of a simple fill (or of the simple fill an override is built on), as IJStyleHatchFill (kind 2)
// or IJStyleSymbolFill (kind 3); S_OK with a null pattern and kind 0 when it has none.
HRESULT WINAPI HGetFillPattern(IUnknown* style, IUnknown** pattern, DWORD* kind);

// A fill made by the engine's fill factory (extension classes asked for `context`), and for a fill of pattern
// kind 2 or 3 the pattern its hatch or symbol factory makes of the fill's pattern data, attached to the fill.
// `first` and `second` are the engine's. An output once set is the caller's even when a later step fails;
// the outputs not reached are null.
HRESULT WINAPI HCreateFillStyle(DWORD first, DWORD second, IUnknown* context, IUnknown** fill,
                                IUnknown** hatchPattern, IUnknown** symbolPattern);

}  // extern "C"

// The "Fill" style of the name. The object form reports an unknown name (0x80040221); the ID form answers the
// library's result unreported.
HRESULT WINAPI HGetFillStyle(IUnknown* document, LPCWSTR name, IUnknown** out);
HRESULT WINAPI HGetFillStyle(IUnknown* document, LPWSTR name, DWORD* outID);

// The active "Fill" style; a library without one makes it.
HRESULT WINAPI HGetActiveFillStyle(IUnknown* document, IUnknown** out);
HRESULT WINAPI HGetActiveFillStyle(IUnknown* document, DWORD* outID);

// Makes the style the active "Fill" style. The engine hears that the library changes even when the style turns
// out not to be the library's.
HRESULT WINAPI HSetActiveFillStyle(IUnknown* document, IUnknown* style);
HRESULT WINAPI HSetActiveFillStyle(IUnknown* document, DWORD id);
