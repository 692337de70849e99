// Test doubles of the host's drawable elements: graphics with a range that draw one polyline into the render
// target of the draw context, optionally answering IJStyleUser for a set of style IDs. Every element records
// what it is asked in one log that all elements share, so that tests see the order across elements.
#pragma once

#include <windows.h>

#include <vector>

#include "display/style/stylesrv_itf.h"

namespace host_app {

struct GraphicElementSpec {
  std::vector<double> points;  // x, y, z per point: the polyline that Draw draws
  bool hasRange = true;        // GetRange writes `range` (else leaves the caller's box alone)
  GraphicRange range{};
  StyleExtent extent{};  // what GetRange writes into an extent record
  bool styleUser = false;  // answers IJStyleUser
  std::vector<DWORD> usedStyleIDs;  // UsesStyleID answers TRUE for these
  HRESULT announceResult = S_OK;    // what the second IJStyleUser operation answers
};

// A new element, as its IUnknown with one reference.
IUnknown* CreateGraphicElement(const GraphicElementSpec& spec);
// An element that draws the polyline through the points (x, y, z each) and whose range is their box.
IUnknown* CreatePolylineElement(const std::vector<double>& points, bool styleUser = false,
                                const std::vector<DWORD>& usedStyleIDs = {});

enum class ElementOp { Draw, GetRange, CopyStyleUse, AnnounceOwner, UsesStyleID };

struct ElementCall {
  IUnknown* element;  // its identity, without a reference
  ElementOp op;
  const void* argument;  // Draw: the context; AnnounceOwner: the owner
  DWORD value;           // UsesStyleID: the ID
};

std::vector<ElementCall> ElementCalls();
// The elements a kind of call reached, in order.
std::vector<IUnknown*> ElementsCalled(ElementOp op);
void ClearElementCalls();

// Elements and copy contexts alive.
LONG LiveObjects();
// Kept by the doubles' constructors and destructors.
void CountLiveObject(LONG delta);

}  // namespace host_app
