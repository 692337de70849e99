// The steps that the description exports (StyleDescriptions.h) share between the line and the fill branches.
#pragma once

#include <initializer_list>

#include "display/style/styltrn/StyleDescriptions.h"

class GUserText;

namespace styltrn {

inline constexpr char kSource[] = "STYLETRN";

// The style of the name and type when the library knows the name (*found 1), else a fresh object of the class
// that is in no library yet (ID 0, *found 0). A null name always makes a fresh one.
HRESULT FindOrCreateStyleByName(LPCWSTR name, IJSLLibrarian* librarian, REFCLSID clsid, IUnknown* document,
                                const GUID& type, DWORD* outID, IUnknown** outObject, BOOL* found);

// A hatch line's dash: its ID and object (either may be 0 or null).
HRESULT ResolveUFDashRef(IUnknown* document, const UFDashRef& dash, IJSLLibrarian* librarian,
                         HINSTANCE resourceModule, DWORD* outID, IUnknown** outObject, DWORD unitsCode);

// The "Dash" style of a dash number's name, or an unnamed new one, loaded with the number's lengths when the
// number is standard. The continuous numbers answer no dash.
HRESULT FindOrCreateStdDashType(DWORD number, IUnknown* document, IJSLLibrarian* librarian,
                                HINSTANCE resourceModule, DWORD* outID, IUnknown** outObject);

// The name of a dash number: its standard name (*standard true), else the resource module's string of the
// number. E_FAIL, reported, when it has neither.
HRESULT DashNumberName(DWORD number, HINSTANCE resourceModule, GUserText* name, bool* standard);

// Adds an object of this call to the library under the type and the name (null: unnamed) and answers the
// entry's ID and the library's object of it: a style of that name already there, or an equal unnamed one, is
// handed out in its place.
HRESULT AddToLibrary(IJSLLibrarian* librarian, IUnknown* object, const GUID& type, LPCWSTR name, DWORD parentID,
                     DWORD* outID, IUnknown** outObject);

// An unnamed override of `base` carrying the record, added to the library under the type.
HRESULT AddOverride(IUnknown* document, IJSLLibrarian* librarian, const tagStyleOverride& record, IUnknown* base,
                    const GUID& type, DWORD* outID, IUnknown** outObject);

bool AllFinite(std::initializer_list<double> values);

// A hatch line's dash that cannot be resolved: E_INVALIDARG for missing lengths or name, E_FAIL for a number
// without a name; reported.
HRESULT CheckDashRef(const UFDashRef& dash, HINSTANCE resourceModule);

// What the fill branch will read, checked before anything is touched.
HRESULT CheckFillDescription(const UFFillData& data, HINSTANCE resourceModule);
// The fill branch of HCreateStyleFromUF, for a checked description.
HRESULT CreateFillFromDescription(const UFFillData& data, IUnknown* document, IJSLLibrarian* librarian,
                                  HINSTANCE resourceModule, DWORD* outID, IUnknown** outObject);

}  // namespace styltrn
