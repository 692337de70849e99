// Test doubles of the host's drawable elements: graphics with a range that draw one polyline into the render
// target of the draw context, optionally answering IJStyleUser for a set of style IDs and keeping a style ID as
// the host's styled elements do. Each persists as far as a copy needs: its clone is a new element of the same
// description. Every element records what it is asked in one log that all elements share, so that tests see the
// order across elements. An element may also live in a style library as the symbol of a symbol fill.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "display/style/stylesrv_itf.h"

namespace host_app {

// One step of what a symbol does when it draws into a symbol fill's capture: report attributes through the
// capture record's callback (`attributes`, or null), hand a primitive to the record's geometry interface, or
// run a hook of the test's.
struct CaptureStep {
  enum Kind { Attributes, NullAttributes, Primitive, Hook } kind = Primitive;
  SymbolCaptureAttributes attributes{};
  std::vector<double> points;  // x, y, z per point, mapped by the display object's transform
  bool oneOutline = false;     // bit 0x10000 of the primitive's first word
  bool withoutPointList = false;
  DWORD count = 0;  // the point count handed over; 0: the points' own
  std::function<void()> hook;
};

struct GraphicElementSetup {
  std::vector<double> points;  // x, y, z per point: the polyline that Draw draws
  bool hasRange = true;        // GetRange writes `range` (else leaves the caller's box alone)
  GraphicRange range{};
  StyleExtent extent{};  // what GetRange writes into an extent record
  bool styleUser = false;  // answers IJStyleUser
  std::vector<DWORD> usedStyleIDs;  // UsesStyleID answers TRUE for these
  HRESULT announceResult = S_OK;    // what the second IJStyleUser operation answers
  HRESULT copyStyleUseResult = S_OK;  // what the first IJStyleUser operation answers
  bool styled = false;  // answers IJStyledElement, keeping `styleID`
  DWORD styleID = 0;
  // Answers IJManageStyle2 as a style of the type `category` kept in a style library: equal to an element that
  // draws the same points, copied into another library as a new element of the same description.
  bool managed = false;
  GUID category = GUID_NULL;
  // Answers IJElementStyleCopy: carries its styles into another library itself, answering this.
  bool copiesStyles = false;
  HRESULT copyStylesResult = S_OK;
  // With steps, Draw takes the capture record through the draw context's filter and runs them, keeping each
  // step's answer in `answers` (when given), then answers `drawResult`.
  std::vector<CaptureStep> capture;
  std::vector<HRESULT>* answers = nullptr;
  HRESULT drawResult = S_OK;
};

// What an element's IJPersist reports as its class.
inline constexpr CLSID CLSID_HostGraphicElement = {
    0x5B1E0C10, 0x77A2, 0x4C1D, {0x8E, 0x31, 0x40, 0x9A, 0x12, 0x6F, 0x20, 0x10}};

// A new element, as its IUnknown with one reference.
IUnknown* CreateGraphicElement(const GraphicElementSetup& setup);
// An element that draws the polyline through the points (x, y, z each) and whose range is their box.
IUnknown* CreatePolylineElement(const std::vector<double>& points, bool styleUser = false,
                                const std::vector<DWORD>& usedStyleIDs = {});

enum class ElementOp { Draw, GetRange, CopyStyleUse, AnnounceOwner, UsesStyleID, Clone, SetStyleID, CopyStylesTo };

struct ElementCall {
  IUnknown* element;  // its identity, without a reference
  ElementOp op;
  const void* argument;  // Draw: the context; AnnounceOwner, CopyStyleUse and CopyStylesTo: the first argument
  DWORD value;           // UsesStyleID, SetStyleID: the ID; CopyStyleUse: the last argument
  const void* more[3];   // CopyStyleUse and CopyStylesTo: their second to fourth arguments
};

// The style ID a styled element keeps (0 for any other object).
DWORD ElementStyleID(IUnknown* element);

std::vector<ElementCall> ElementCalls();
// The elements a kind of call reached, in order.
std::vector<IUnknown*> ElementsCalled(ElementOp op);
void ClearElementCalls();

// Elements and copy contexts alive.
LONG LiveObjects();
// Kept by the doubles' constructors and destructors.
void CountLiveObject(LONG delta);

}  // namespace host_app
