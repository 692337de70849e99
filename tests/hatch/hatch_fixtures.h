// What the hatch fill tests share: hatch fills and simple dash types made by stylesrv.dll's class objects, and
// families that tell apart by their angle.
#pragma once

#include <vector>

#include "display/style/styles/JStyleHatchFill.h"
#include "geometry/geometry.h"
#include "tests/lines/line_fixtures.h"
#include "tests/styllib/library_fixtures.h"

inline constexpr char kHatchSource[] = "HTCHFILL";

// The engine keeps the current record version of every class it stores; the tests tell it the hatch fill's.
void RegisterHatchVersions();

inline StyleComPtr<IJStyleHatchFill> NewHatch() {
  return StyleComPtr<IJStyleHatchFill>(NewStyle<IJStyleHatchFill>(CLSID_JStyleHatchFill, IID_IJStyleHatchFill));
}

// A simple dash type of these lengths, with one reference.
StyleComPtr<IJStyleDashTypeRender> NewDash(std::vector<double> lengths);

// A family whose other lengths follow from its angle: spacing angle + 1, shift angle / 2, origin (angle, -angle).
HatchFamilyDesc Family(DWORD id, double angle, DWORD keepMask = 0, IJStyleDashTypeRender* dash = nullptr);

// Replaces the fill's description by these families, in units 11 with origin (1, 2) and scale 0.5.
HRESULT SetFamilies(IJStyleHatchFill* hatch, std::vector<HatchFamilyDesc> families, DWORD keepMask = 0);

// Field by field (the descriptor has padding), dash type pointers included.
bool SameFamily(const HatchFamilyDesc& a, const HatchFamilyDesc& b);

// Adds a style to a library under a name (or none); the library holds it. Answers the ID.
DWORD AddTo(styllib_test::TestLibrary& library, IUnknown* style, const wchar_t* name, const GUID& type);
// The library's use count of each ID.
std::vector<DWORD> UseCounts(const styllib_test::TestLibrary& library, std::vector<DWORD> ids);
// The dash type ID of each family.
std::vector<DWORD> DashIDs(IJStyleHatchFill* hatch);

// The fill's description; the caller gives it back with FreeHatchFillData.
HatchFillData DataOf(IJStyleHatchFill* hatch);
