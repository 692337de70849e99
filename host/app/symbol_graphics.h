// Doubles of the host's graphic group (CLSID_HostGraphicGroup: draws its members in turn) and line segment
// (CLSID_HostLineSegment: takes a geometry record and a style ID, draws its segment), of which the default
// symbol line's symbol is made. Register() makes both classes reachable through CoCreateInstance for the calling
// apartment until the cookies are revoked.
#pragma once

#include <windows.h>

#include <vector>

#include "host/halvorn/elements.h"
#include "host/quarnet/quarnet.h"

namespace host_app {

struct SymbolGraphicClasses {
  DWORD groupCookie = 0;
  DWORD lineCookie = 0;
};
HRESULT RegisterSymbolGraphicClasses(SymbolGraphicClasses* cookies);
void RevokeSymbolGraphicClasses(const SymbolGraphicClasses& cookies);

// Groups and segments alive.
LONG SymbolGraphicsLive();

// What a segment holds, for an object of the class (false for another object).
struct SegmentState {
  QuarnetGeometry2d geometry;
  DWORD styleID;
};
bool ReadSegment(IUnknown* object, SegmentState* out);
// The members of a group in order, without references (empty for another object).
std::vector<IUnknown*> GroupMembers(IUnknown* object);

}  // namespace host_app
