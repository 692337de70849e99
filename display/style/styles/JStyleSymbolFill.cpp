#include "display/style/styles/JStyleSymbolFill.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "display/style/server.h"
#include "display/style/styles/LineStyleShared.h"
#include "display/style/stylesrv_clsid.h"
#include "geometry/fill.h"
#include "geometry/fill_internal.h"
#include "geometry/geometry.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

constexpr char kSource[] = "SYMBFILL";

// The host engine's extension class of symbol fills.
constexpr GUID kSymbolFillExtension = {0x1EA6C2DB, 0x1BB3, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};

// Bytes of one slot in the records of each layout.
constexpr DWORD kCurrentSlotBytes = 80;
constexpr DWORD kOlderSlotBytes = 84;

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

bool IsUsableID(DWORD id) { return id != kNoStyleID && id != kInvalidStyleID; }

bool Near(double a, double b) { return std::fabs(a - b) < kFillAngleEpsilon; }

// A spacing or scale a lattice can be drawn with.
bool UsableLength(double value) { return std::isfinite(value) && std::fabs(value) >= kFillAngleEpsilon; }

bool AcceptableRecord(const SymbolSlotRecord& r) {
  return std::isfinite(r.angle) && UsableLength(r.spacingX) && UsableLength(r.spacingY) && std::isfinite(r.rowShift) &&
         std::isfinite(r.columnShift) && UsableLength(r.scale) && std::isfinite(r.offsetX) &&
         std::isfinite(r.offsetY) && std::isfinite(r.offsetZ);
}

bool FinitePosition(const GPosition* p) { return p && std::isfinite(p->x) && std::isfinite(p->y) && std::isfinite(p->z); }

GPosition OffsetOf(const SymbolSlotRecord& r) { return GPosition(r.offsetX, r.offsetY, r.offsetZ); }

// ---- capture ----

constexpr DWORD kCaptureRecordValue = 3;
constexpr DWORD kModeLines = 2;
constexpr DWORD kModeAreas = 3;
// Bit of a primitive's first word: its points are one closed outline.
constexpr DWORD kOneOutline = 0x10000;
constexpr std::size_t kPointBytes = 3 * sizeof(double);
// The most points a primitive may bring: a copy of them with a closing point must fit in the address space.
constexpr std::size_t kMostPiecePoints = SIZE_MAX / kPointBytes - 1;

HRESULT WINAPI SymbolCaptureCallback(const SymbolCaptureAttributes* attributes);

// Frees a list of pieces with their points, styles and elements.
template <class Piece>
void FreePieces(Piece* piece) {
  while (piece) {
    Piece* next = piece->next;
    FillFree(piece->points);
    if constexpr (requires { piece->elements; }) FillFree(piece->elements);
    if (piece->style) piece->style->Release();
    FillFree(piece);
    piece = next;
  }
}

// The captured part of a node back to zero; the pieces go after the node is settled, since releasing a style
// may reach the fill again.
void FreeSlotGeometry(SymbolSlot* node) {
  OpenPiece* open = node->openHead;
  ClosedPiece* closed = node->closedHead;
  std::memset(static_cast<void*>(&node->maxPiecePoints), 0, sizeof(SymbolSlot) - offsetof(SymbolSlot, maxPiecePoints));
  FreePieces(open);
  FreePieces(closed);
}

// A new piece at the end of a list: a copy of the points, the first appended when `closing`, and the style
// with a reference. When the points cannot be copied the piece stays with count 0 and E_OUTOFMEMORY.
template <class Piece>
HRESULT AppendPiece(Piece** head, Piece** tail, LONG count, const double* points, bool closing, IJStyleRender* style,
                    Piece** out) {
  *out = nullptr;
  auto* piece = static_cast<Piece*>(FillAllocate(sizeof(Piece)));
  if (!piece) return E_OUTOFMEMORY;
  std::memset(static_cast<void*>(piece), 0, sizeof(Piece));
  const std::size_t stored = static_cast<std::size_t>(count) + (closing ? 1 : 0);
  piece->points = static_cast<double*>(FillAllocateArray(stored, kPointBytes));
  if (piece->points) {
    std::memcpy(piece->points, points, static_cast<std::size_t>(count) * kPointBytes);
    if (closing) std::memcpy(piece->points + 3 * static_cast<std::size_t>(count), points, kPointBytes);
    piece->count = static_cast<LONG>(stored);
  }
  piece->style = style;
  if (style) style->AddRef();
  if (*tail) {
    (*tail)->next = piece;
  } else {
    *head = piece;
  }
  *tail = piece;
  *out = piece;
  return piece->points ? S_OK : E_OUTOFMEMORY;
}

// Whether the points can join a slot whose extent is `extent`: every coordinate finite (outline separators
// aside when `separators`), and the grown extent's width and height finite too.
bool Capturable(std::size_t count, const double* points, bool separators, const SymbolExtent& extent) {
  double xmin = extent.xmin, ymin = extent.ymin, xmax = extent.xmax, ymax = extent.ymax;
  for (std::size_t i = 0; i < count; ++i) {
    const double* p = points + 3 * i;
    if (separators && p[0] == DBL_MAX) continue;
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) return false;
    xmin = std::fmin(xmin, p[0]);
    xmax = std::fmax(xmax, p[0]);
    ymin = std::fmin(ymin, p[1]);
    ymax = std::fmax(ymax, p[1]);
  }
  return std::isfinite(xmax - xmin) && std::isfinite(ymax - ymin);
}

// The slots of `list` from `first` to `last` turned one place: the slot at `first` goes to `last`.
void Rotate(SymbolSlotList& list, LONG first, LONG last) {
  SymbolSlot* moved = list.slots[first];
  if (first < last) {
    std::memmove(&list.slots[first], &list.slots[first + 1], (last - first) * sizeof(SymbolSlot*));
  } else {
    std::memmove(&list.slots[last + 1], &list.slots[last], (first - last) * sizeof(SymbolSlot*));
  }
  list.slots[last] = moved;
}

}  // namespace

bool SymbolSlotList::Append(SymbolSlot* node) {
  if (highest + 1 >= capacity) {
    if (capacity > 0x7FFFFFFF - 5) return false;
    const LONG grown = capacity + 5;
    auto** fresh = static_cast<SymbolSlot**>(std::calloc(grown, sizeof(SymbolSlot*)));
    if (!fresh) return false;
    if (slots) std::memcpy(static_cast<void*>(fresh), slots, capacity * sizeof(SymbolSlot*));
    std::free(slots);
    slots = fresh;
    capacity = grown;
  }
  slots[++highest] = node;
  return true;
}

JStyleSymbolFill::JStyleSymbolFill(IUnknown* outer) : JStyleFillType(outer) {
  m_styleKind = STYLE_KIND_FILL;
  m_unitsCode = STYLE_UNITS_11;
  m_capture = {sizeof(SymbolCaptureRecord), kCaptureRecordValue, &m_IJStyleSymbolFillGeometryImp,
               &SymbolCaptureCallback, kSymbolAttributesStyle, kModeLines, nullptr};
}

JStyleSymbolFill::~JStyleSymbolFill() {
  SymbolSlotList none;
  ReplaceSlots(none, false);
  ResetCaptureAttributes();
}

void* JStyleSymbolFill::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleSymbolFill)) return &m_IJStyleSymbolFillImp;
  return JStyleFillType::GetInterface(iid);
}

void* JStyleSymbolFill::GetAggregateInterface(REFIID iid) {
  if (void* found = JStyleFillType::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&kSymbolFillExtension, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleSymbolFill::GetClassID(GUID* out) {
  *out = CLSID_JStyleSymbolFill;
  return out;
}

GUID* JStyleSymbolFill::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_SymbolFillPattern;
  return out;
}

void JStyleSymbolFill::InvalidateRenderCache() {
  m_cachedUnitScale = 0.0;
  m_cachedScale = 0.0;
  m_cachedRotation = 0.0;
  m_dirtyFlags = 0xFFFFFFFF;
}

// ---- slots ----

HRESULT JStyleSymbolFill::SlotAt(LONG index, SymbolSlot** out, int line) {
  *out = nullptr;
  if (index < 0 || index > m_slots.highest) return Report(E_INVALIDARG, line);
  if (!m_slots.slots[index]) return Report(E_FAIL, line);
  *out = m_slots.slots[index];
  return S_OK;
}

// The slot's graphic becomes `graphic`'s IJGraphic, and its ID the one the owner knows it by. An owner that
// cannot name it leaves the slot with the object alone (ID 0) rather than with the ID of what it held before.
HRESULT JStyleSymbolFill::HoldGraphic(SymbolSlotRecord* record, IUnknown* graphic) {
  StyleComPtr<IJGraphic> taken;
  if (graphic) {
    const HRESULT hr = graphic->QueryInterface(IID_IJGraphic, taken.PutVoid());
    if (FAILED(hr)) return Report(hr, __LINE__);
  }
  HRESULT hr = S_OK;
  if (!m_owner) {
    record->graphicID = taken ? kInvalidStyleID : kNoStyleID;
  } else {
    const DWORD id = taken ? GetStyleID(taken.Get()) : kNoStyleID;
    hr = SetStyleRefID(&record->graphicID, id == kInvalidStyleID ? kNoStyleID : id);
    // A refused ID leaves the slot as it was, its graphic included.
    if (FAILED(hr)) return Report(hr, __LINE__);
  }
  IJGraphic* previous = record->graphic;
  record->graphic = taken.Detach();
  if (previous) previous->Release();
  return hr;
}

HRESULT JStyleSymbolFill::NewSlot(const SymbolSlotRecord& record, bool takeUse, SymbolSlot** out) {
  *out = nullptr;
  auto* node = static_cast<SymbolSlot*>(std::calloc(1, sizeof(SymbolSlot)));
  if (!node) return Report(E_OUTOFMEMORY, __LINE__);
  node->record = record;
  node->record.graphic = nullptr;
  node->record.graphicID = kNoStyleID;
  HRESULT hr = S_OK;
  if (!takeUse) {
    node->record.graphicID = record.graphicID;
  } else if (record.graphic && (!IsUsableID(record.graphicID) || !m_owner)) {
    hr = HoldGraphic(&node->record, record.graphic);
  } else if (record.graphic &&
             FAILED(hr = record.graphic->QueryInterface(IID_IJGraphic, reinterpret_cast<void**>(&node->record.graphic)))) {
    node->record.graphic = nullptr;
    Report(hr, __LINE__);
  } else if (IsUsableID(record.graphicID) && !m_owner) {
    // Without an owner an ID is kept as a loaded one is: the library it came from counted it.
    node->record.graphicID = record.graphicID;
  } else if (IsUsableID(record.graphicID) && FAILED(hr = SetStyleRefID(&node->record.graphicID, record.graphicID))) {
    Report(hr, __LINE__);
  }
  if (FAILED(hr)) {
    ReleaseCache(node->record.graphic);
    std::free(node);
    return hr;
  }
  *out = node;
  return S_OK;
}

void JStyleSymbolFill::DeleteSlot(SymbolSlot* node, bool dropUse) {
  FreeSlotGeometry(node);
  if (dropUse && m_owner && IsUsableID(node->record.graphicID)) SetStyleRefID(&node->record.graphicID, kNoStyleID);
  ReleaseCache(node->record.graphic);
  std::free(node);
}

void JStyleSymbolFill::ReplaceSlots(SymbolSlotList& fresh, bool dropUses) {
  const SymbolSlotList old = m_slots;
  m_slots = fresh;
  fresh = SymbolSlotList{};
  // Releasing a graphic may reach this fill again, which must find the new list settled.
  for (LONG i = 0; i <= old.highest; ++i) {
    if (old.slots[i]) DeleteSlot(old.slots[i], dropUses);
  }
  std::free(old.slots);
}

HRESULT JStyleSymbolFill::AddSlot(const SymbolSlotRecord* record, DWORD* index) {
  if (!index) return Report(E_INVALIDARG, __LINE__);
  if (!record || !AcceptableRecord(*record)) return Report(E_INVALIDARG, __LINE__);
  SymbolSlot* node = nullptr;
  HRESULT hr = NewSlot(*record, true, &node);
  if (FAILED(hr)) return hr;
  if (!m_slots.Append(node)) {
    DeleteSlot(node, true);
    return Report(E_OUTOFMEMORY, __LINE__);
  }
  *index = static_cast<DWORD>(m_slots.highest);
  InvalidateRenderCache();
  return S_OK;
}

// The new slot takes its uses before the old one gives its up: the two may hold one graphic, whose entry must
// not leave the library between.
HRESULT JStyleSymbolFill::ReplaceSlot(LONG index, const SymbolSlotRecord* record) {
  SymbolSlot* old = nullptr;
  HRESULT hr = SlotAt(index, &old, __LINE__);
  if (FAILED(hr)) return hr;
  if (!record || !AcceptableRecord(*record)) return Report(E_INVALIDARG, __LINE__);
  SymbolSlot* node = nullptr;
  if (FAILED(hr = NewSlot(*record, true, &node))) return hr;
  m_slots.slots[index] = node;
  DeleteSlot(old, true);
  InvalidateRenderCache();
  return S_OK;
}

HRESULT JStyleSymbolFill::RemoveSlot(LONG index) {
  SymbolSlot* node = nullptr;
  const HRESULT hr = SlotAt(index, &node, __LINE__);
  if (FAILED(hr)) return hr;
  Rotate(m_slots, index, m_slots.highest);
  m_slots.slots[m_slots.highest--] = nullptr;
  DeleteSlot(node, true);
  InvalidateRenderCache();
  return S_OK;
}

HRESULT JStyleSymbolFill::MoveSlot(LONG from, LONG to) {
  SymbolSlot* node = nullptr;
  const HRESULT hr = SlotAt(from, &node, __LINE__);
  if (FAILED(hr)) return hr;
  const LONG target = to < 0 ? 0 : (to > m_slots.highest ? m_slots.highest : to);
  if (target != from) Rotate(m_slots, from, target);
  InvalidateRenderCache();
  return S_OK;
}

HRESULT JStyleSymbolFill::ResolveSlotGraphic(LONG index) {
  SymbolSlot* node = nullptr;
  HRESULT hr = SlotAt(index, &node, __LINE__);
  if (FAILED(hr) || node->record.graphic || !IsUsableID(node->record.graphicID)) return hr;
  hr = GetStyleByID(node->record.graphicID, IID_IJGraphic, reinterpret_cast<void**>(&node->record.graphic));
  if (FAILED(hr)) {
    node->record.graphic = nullptr;
    Report(hr, __LINE__);
  }
  return hr;
}

HRESULT JStyleSymbolFill::SetSlotGraphic(LONG index, IUnknown* graphic) {
  SymbolSlot* node = nullptr;
  HRESULT hr = SlotAt(index, &node, __LINE__);
  if (SUCCEEDED(hr)) hr = HoldGraphic(&node->record, graphic);
  InvalidateRenderCache();
  return hr;
}

HRESULT JStyleSymbolFill::GetSlotGraphic(LONG index, IJGraphic** out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = nullptr;
  HRESULT hr = ResolveSlotGraphic(index);
  if (FAILED(hr)) return hr;
  *out = m_slots.slots[index]->record.graphic;
  if (*out) (*out)->AddRef();
  return S_OK;
}

HRESULT JStyleSymbolFill::GetSlotRecord(LONG index, SymbolSlotRecord* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  SymbolSlot* node = nullptr;
  HRESULT hr = SlotAt(index, &node, __LINE__);
  if (FAILED(hr)) return hr;
  const SymbolSlotRecord& record = node->record;
  if (m_owner && IsUsableID(record.graphicID)) {
    StyleComPtr<IJSLLibrarian> librarian;
    hr = OwnerLibrarian(librarian.Put());
    if (SUCCEEDED(hr)) hr = librarian->AddRefStyleID2(record.graphicID);
    if (FAILED(hr)) return Report(hr, __LINE__);
  }
  *out = record;
  if (out->graphic) out->graphic->AddRef();
  return S_OK;
}

// ---- captured symbol geometry ----

HRESULT JStyleSymbolFill::ClearSlotGeometry(LONG index) {
  SymbolSlot* node = nullptr;
  const HRESULT hr = SlotAt(index, &node, __LINE__);
  if (SUCCEEDED(hr)) FreeSlotGeometry(node);
  return hr;
}

HRESULT JStyleSymbolFill::GrowExtent(LONG count, const double* points, LONG index) {
  SymbolSlot* node = nullptr;
  const HRESULT hr = SlotAt(index, &node, __LINE__);
  if (FAILED(hr)) return hr;
  if (count < 0 || (count && !points)) return Report(E_INVALIDARG, __LINE__);
  SymbolExtent& e = node->extent;
  for (LONG i = 0; i < count; ++i) {
    const double* p = points + 3 * static_cast<std::size_t>(i);
    if (p[0] < e.xmin) e.xmin = p[0];
    if (p[0] > e.xmax) e.xmax = p[0];
    if (p[1] < e.ymin) e.ymin = p[1];
    if (p[1] > e.ymax) e.ymax = p[1];
  }
  e.width = e.xmax - e.xmin;
  e.height = e.ymax - e.ymin;
  return S_OK;
}

HRESULT JStyleSymbolFill::AddOpenPiece(LONG count, const double* points, IJStyleRender* style, LONG index) {
  return AddPiece(false, count, points, style, index);
}

HRESULT JStyleSymbolFill::AddClosedPiece(LONG count, const double* points, IJStyleRender* style, LONG index) {
  return AddPiece(true, count, points, style, index);
}

HRESULT JStyleSymbolFill::AddPiece(bool closed, LONG count, const double* points, IJStyleRender* style, LONG index) {
  SymbolSlot* node = nullptr;
  HRESULT hr = SlotAt(index, &node, __LINE__);
  if (FAILED(hr)) return hr;
  if (count < (closed ? 1 : 0) || (count && !points)) return Report(E_INVALIDARG, __LINE__);
  if (closed) {
    const double* last = points + 3 * (static_cast<std::size_t>(count) - 1);
    const bool closing = last[0] != points[0] || last[1] != points[1];
    ClosedPiece* piece = nullptr;
    hr = AppendPiece(&node->closedHead, &node->closedTail, count, points, closing, style, &piece);
    if (piece) ++node->closedPieceCount;
  } else {
    OpenPiece* piece = nullptr;
    hr = AppendPiece(&node->openHead, &node->openTail, count, points, false, style, &piece);
    if (piece) ++node->openPieceCount;
  }
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (count > node->maxPiecePoints) node->maxPiecePoints = count;
  return GrowExtent(count, points, index);
}

HRESULT JStyleSymbolFill::AddClosedPieces(const StyleGeometryRecord* primitive, IJStyleRender* style, LONG index) {
  if (!primitive || !primitive->pointList) return Report(E_INVALIDARG, __LINE__);
  const auto* points = static_cast<const double*>(primitive->pointList->points);
  const std::size_t count = primitive->pointList->count;
  if (count && !points) return Report(E_INVALIDARG, __LINE__);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= count; ++i) {
    if (i < count && points[3 * i] != DBL_MAX) continue;
    if (i - start >= 3) {
      const HRESULT hr = AddClosedPiece(static_cast<LONG>(i - start), points + 3 * start, style, index);
      if (FAILED(hr)) return hr;
    }
    start = i + 1;
  }
  return S_OK;
}

void JStyleSymbolFill::ResetCaptureAttributes() {
  IJStyleRender* held = m_capture.attributeStyle;
  m_capture.attributeCode = kSymbolAttributesStyle;
  m_capture.captureMode = kModeLines;
  m_capture.attributeStyle = nullptr;
  if (held) held->Release();
}

// The attributes change together or not at all.
HRESULT JStyleSymbolFill::TakeCaptureAttributes(const SymbolCaptureAttributes* attributes) {
  if (!attributes || (attributes->code != kSymbolAttributesStyle && attributes->code != kSymbolAttributesStyleID)) {
    ResetCaptureAttributes();
    return S_OK;
  }
  IJStyleRender* style = nullptr;
  if (attributes->code == kSymbolAttributesStyle) {
    style = attributes->style;
    if (style) style->AddRef();
  } else {
    const HRESULT hr = GetStyleByID(attributes->styleID, IID_IJStyleRender, reinterpret_cast<void**>(&style));
    if (FAILED(hr)) return Report(hr, __LINE__);
  }
  IJStyleRender* held = m_capture.attributeStyle;
  m_capture.attributeCode = attributes->code;
  m_capture.captureMode = attributes->mode;
  m_capture.attributeStyle = style;
  if (held) held->Release();
  return S_OK;
}

HRESULT JStyleSymbolFill::CaptureModeOf(IJStyleRender** style, DWORD* mode) {
  *style = nullptr;
  *mode = kModeLines;
  IJStyleRender* attribute = m_capture.attributeStyle;
  if (!attribute || attribute->GetVariant() != 1) return S_OK;
  DWORD chosen = m_capture.captureMode;
  if (chosen == 0) {
    const HRESULT hr = attribute->GetStyleKind(&chosen);
    if (FAILED(hr)) return Report(hr, __LINE__);
  }
  *style = attribute;
  *mode = chosen;
  return S_OK;
}

HRESULT JStyleSymbolFill::CapturePrimitive(const StyleGeometryRecord* primitive) {
  if (!primitive || !primitive->pointList) return Report(E_INVALIDARG, __LINE__);
  const StylePointRun& run = *primitive->pointList;
  if (run.count > kMostPiecePoints) return Report(E_OUTOFMEMORY, __LINE__);
  const auto* points = static_cast<const double*>(run.points);
  if (run.count && !points) return Report(E_INVALIDARG, __LINE__);
  SymbolSlot* node = nullptr;
  HRESULT hr = SlotAt(m_captureSlot, &node, __LINE__);
  if (FAILED(hr)) return hr;
  IJStyleRender* style = nullptr;
  DWORD mode = kModeLines;
  if (FAILED(hr = CaptureModeOf(&style, &mode))) return hr;
  if (mode != kModeLines && mode != kModeAreas) return S_OK;
  const LONG count = static_cast<LONG>(run.count);
  if (count < (mode == kModeLines ? 2 : 3)) return Report(E_INVALIDARG, __LINE__);
  const bool outlines = mode == kModeAreas && !(primitive->word0 & kOneOutline);
  // A damaged point would spoil the extent of the whole symbol, and with it every cell of the lattice.
  if (!Capturable(run.count, points, outlines, node->extent)) return Report(E_INVALIDARG, __LINE__);
  if (mode == kModeLines) return AddOpenPiece(count, points, style, m_captureSlot);
  if (!outlines) return AddClosedPiece(count, points, style, m_captureSlot);
  return AddClosedPieces(primitive, style, m_captureSlot);
}

// The slot's geometry goes first, so that a slot whose symbol cannot be had draws nothing rather than what it
// showed before. The thread's context is put back on every path, so that a capture nested in another's returns
// to its outer fill.
HRESULT JStyleSymbolFill::CaptureSlotGeometry(LONG index, IUnknown* display, double scale) {
  SymbolSlot* node = nullptr;
  HRESULT hr = SlotAt(index, &node, __LINE__);
  if (FAILED(hr)) return hr;
  if (!display || !std::isfinite(scale)) return Report(E_INVALIDARG, __LINE__);
  StyleTlsBlock* block = GetStyleTlsBlock();
  if (!block) return Report(E_FAIL, __LINE__);
  // A symbol that draws the very fill that captures it would pull the pieces from under its own capture.
  if (m_capturing) return Report(E_UNEXPECTED, __LINE__);
  FreeSlotGeometry(node);
  if (!node->record.graphic) ResolveSlotGraphic(index);
  StyleComPtr<IJGraphic> graphic(node->record.graphic);
  if (!graphic) return S_FALSE;
  graphic->AddRef();

  HeldDrawContext held;
  GraphicDrawContext& draw = held.context;
  if (FAILED(hr = display->QueryInterface(IID_IJElementDisplay, reinterpret_cast<void**>(&draw.display)))) {
    draw.display = nullptr;
    return Report(hr, __LINE__);
  }
  draw.word400 = 1;
  draw.displayIid = &IID_IJElementDisplay;
  draw.slot412Iid = &IID_IUnknown;
  IJStyleSymbolFillFilter* filter = &m_IJStyleSymbolFillFilterImp;
  filter->AddRef();
  draw.filter = filter;
  // The draw context's place of a filter, whichever style hands one out.
  draw.filterIid = &IID_IJStylePointSymbolFilter;

  StyleComPtr<IJElementDisplayScope> scope;
  if (FAILED(hr = display->QueryInterface(IID_IJElementDisplayScope, scope.PutVoid()))) return Report(hr, __LINE__);
  G4x4 scaling;
  int rc = 0;
  u4x4ScaleUniform(scale, scaling, &rc);
  if (FAILED(hr = scope->SetDisplayTransform(scaling.m_matrix))) return Report(hr, __LINE__);

  ResetCaptureAttributes();
  void* const previous = block->symbolFillContext;
  block->symbolFillContext = this;
  m_captureSlot = index;
  m_capturing = true;
  hr = graphic->Draw(&draw);
  if (FAILED(hr)) Report(hr, __LINE__);
  m_capturing = false;
  m_captureSlot = -1;
  block->symbolFillContext = previous;
  ResetCaptureAttributes();
  const HRESULT ended = scope->EndDisplayPass();
  if (FAILED(ended)) {
    Report(ended, __LINE__);
    if (SUCCEEDED(hr)) hr = ended;
  }
  return FAILED(hr) ? hr : S_OK;
}

HRESULT JStyleSymbolFill::CaptureSlotOf(IUnknown* fill, LONG index, IUnknown* display, double scale) {
  StyleComPtr<IJPersist> persist;
  CLSID clsid{};
  if (!fill || FAILED(fill->QueryInterface(IID_IJPersist, persist.PutVoid())) || FAILED(persist->GetClassID(&clsid)) ||
      !IsEqualCLSID(clsid, CLSID_JStyleSymbolFill)) {
    return Report(E_INVALIDARG, __LINE__);
  }
  auto* self = static_cast<JStyleSymbolFill*>(static_cast<JStyleBase*>(persist->GetImplementation()));
  return self->CaptureSlotGeometry(index, display, scale);
}

namespace {

HRESULT WINAPI SymbolCaptureCallback(const SymbolCaptureAttributes* attributes) {
  StyleTlsBlock* block = GetStyleTlsBlock();
  if (!block || !block->symbolFillContext) return Report(E_UNEXPECTED, __LINE__);
  return static_cast<JStyleSymbolFill*>(block->symbolFillContext)->TakeCaptureAttributes(attributes);
}

}  // namespace

// ---- the whole description ----

HRESULT JStyleSymbolFill::SetAllSlots(const SymbolFillData* data) {
  if (!data || data->highestSlot < -1 || data->highestSlot >= data->slotCapacity) return Report(E_INVALIDARG, __LINE__);
  if (data->highestSlot >= 0 && !data->slots) return Report(E_INVALIDARG, __LINE__);
  const GPosition origin(data->originX, data->originY, data->originZ);
  if (!FinitePosition(&origin) || !std::isfinite(data->rotation) || !IsStorableUnitsCode(data->unitsCode)) {
    return Report(E_INVALIDARG, __LINE__);
  }
  for (LONG i = 0; i <= data->highestSlot; ++i) {
    if (data->slots[i] && !AcceptableRecord(*data->slots[i])) return Report(E_INVALIDARG, __LINE__);
  }
  // The new uses are taken before the old go.
  SymbolSlotList fresh;
  HRESULT hr = S_OK;
  for (LONG i = 0; SUCCEEDED(hr) && i <= data->highestSlot; ++i) {
    if (!data->slots[i]) continue;
    SymbolSlot* node = nullptr;
    if (FAILED(hr = NewSlot(*data->slots[i], true, &node))) break;
    if (!fresh.Append(node)) {
      DeleteSlot(node, true);
      hr = Report(E_OUTOFMEMORY, __LINE__);
    }
  }
  if (FAILED(hr)) {
    for (LONG i = 0; i <= fresh.highest; ++i) DeleteSlot(fresh.slots[i], true);
    std::free(fresh.slots);
    return hr;
  }
  ReplaceSlots(fresh, true);
  m_fillTag = data->fillTag;
  m_originX = data->originX;
  m_originY = data->originY;
  m_originZ = data->originZ;
  m_rotation = data->rotation;
  m_unitsCode = data->unitsCode;
  InvalidateRenderCache();
  return S_OK;
}

HRESULT JStyleSymbolFill::GetAllSlots(SymbolFillData* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = SymbolFillData{};
  out->highestSlot = -1;
  out->fillTag = m_fillTag;
  out->originX = m_originX;
  out->originY = m_originY;
  out->originZ = m_originZ;
  out->rotation = m_rotation;
  out->unitsCode = m_unitsCode;
  if (!m_slots.slots) return S_OK;
  // A graphic that cannot be fetched travels as its ID.
  for (LONG i = 0; i <= m_slots.highest; ++i) ResolveSlotGraphic(i);
  SymbolFillData made = *out;
  made.slotCapacity = m_slots.capacity;
  made.slots = static_cast<SymbolSlotRecord**>(CoTaskMemAlloc(m_slots.capacity * sizeof(SymbolSlotRecord*)));
  if (!made.slots) return Report(E_OUTOFMEMORY, __LINE__);
  std::memset(static_cast<void*>(made.slots), 0, m_slots.capacity * sizeof(SymbolSlotRecord*));
  for (LONG i = 0; i <= m_slots.highest; ++i) {
    auto* record = static_cast<SymbolSlotRecord*>(CoTaskMemAlloc(sizeof(SymbolSlotRecord)));
    if (!record) {
      FreeSymbolFillData(&made);
      return Report(E_OUTOFMEMORY, __LINE__);
    }
    *record = m_slots.slots[i]->record;
    if (record->graphic) record->graphic->AddRef();
    made.slots[i] = record;
  }
  made.highestSlot = m_slots.highest;
  *out = made;
  return S_OK;
}

// ---- copying and comparing ----

HRESULT JStyleSymbolFill::CopyFrom(IUnknown*, DWORD) { return E_NOTIMPL; }

HRESULT JStyleSymbolFill::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  // The copy holds the graphics themselves: it has no owner to fetch them by ID from.
  HRESULT hr;
  for (LONG i = 0; i <= m_slots.highest; ++i) {
    if (FAILED(hr = ResolveSlotGraphic(i))) return hr;
  }
  auto* made = new JStyleSymbolFill(outer);
  if (!made) return Report(E_OUTOFMEMORY, __LINE__);
  made->AddRef();
  StyleComPtr<IUnknown> copy(static_cast<UUnknown*>(made));
  made->m_fillTag = m_fillTag;
  made->m_originX = m_originX;
  made->m_originY = m_originY;
  made->m_originZ = m_originZ;
  made->m_rotation = m_rotation;
  made->m_styleKind = m_styleKind;
  made->m_unitsCode = m_unitsCode;
  for (LONG i = 0; i <= m_slots.highest; ++i) {
    SymbolSlotRecord record = m_slots.slots[i]->record;
    // An ID that names no graphic in the owner means nothing to the copy.
    if (record.graphic || m_owner) record.graphicID = kNoStyleID;
    SymbolSlot* node = nullptr;
    if (FAILED(hr = made->NewSlot(record, true, &node))) return hr;
    if (!made->m_slots.Append(node)) {
      made->DeleteSlot(node, true);
      return Report(E_OUTOFMEMORY, __LINE__);
    }
  }
  *out = copy.Detach();
  return S_OK;
}

HRESULT JStyleSymbolFill::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleSymbolFill> fill;
  if (FAILED(other->QueryInterface(IID_IJStyleSymbolFill, fill.PutVoid()))) return S_OK;
  SymbolFillData theirs{};
  HRESULT hr = fill->GetAllSlots(&theirs);
  if (FAILED(hr)) return Report(hr, __LINE__);
  // Lengths in other units are other lengths.
  bool equal = m_unitsCode == theirs.unitsCode &&
               GPosition(m_originX, m_originY, m_originZ).IsEqual({theirs.originX, theirs.originY, theirs.originZ}) &&
               Near(m_rotation, theirs.rotation) && m_fillTag == theirs.fillTag &&
               m_slots.highest == theirs.highestSlot;
  for (LONG i = 0; equal && i <= m_slots.highest; ++i) {
    const SymbolSlotRecord* t = theirs.slots[i];
    const SymbolSlotRecord& m = m_slots.slots[i]->record;
    equal = t && m.color == t->color && m.fillStyleWord == t->fillStyleWord && Near(m.angle, t->angle) &&
            Near(m.spacingX, t->spacingX) && Near(m.spacingY, t->spacingY) && Near(m.rowShift, t->rowShift) &&
            Near(m.columnShift, t->columnShift) && Near(m.scale, t->scale) && OffsetOf(m).IsEqual(OffsetOf(*t));
    if (!equal) break;
    ResolveSlotGraphic(i);
    BOOL sameGraphic = FALSE;
    hr = SameReferencedStyle(m_slots.slots[i]->record.graphic, t->graphic, &sameGraphic, kSource, __LINE__);
    equal = SUCCEEDED(hr) && sameGraphic;
  }
  FreeSymbolFillData(&theirs);
  if (FAILED(hr) || !equal) return hr;
  hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// ---- references ----

BOOL JStyleSymbolFill::UsesStyleID(DWORD id) {
  if (IsUsableID(id)) {
    for (LONG i = 0; i <= m_slots.highest; ++i) {
      if (m_slots.slots[i]->record.graphicID == id) return TRUE;
    }
  }
  for (LONG i = 0; i <= m_slots.highest; ++i) {
    ResolveSlotGraphic(i);
    IJGraphic* graphic = m_slots.slots[i]->record.graphic;
    if (!graphic) continue;
    StyleComPtr<IJStyleUser> user;
    if (SUCCEEDED(graphic->QueryInterface(IID_IJStyleUser, user.PutVoid())) && user->UsesStyleID(id)) return TRUE;
  }
  return CStyleRdr2dBase::UsesStyleID(id);
}

// Each slot's graphic is taken as an object, the new owner names it, its use at the old owner goes, the base
// part moves, and the new owner counts the slot's use under its own ID. The new owner names the graphics first:
// a symbol whose last use was this fill's would otherwise leave the old library before the new one could copy
// it in. A fill that gets its first owner keeps the IDs it was loaded with: the library counted them when it
// stored them.
HRESULT JStyleSymbolFill::SetOwner(IUnknown* owner) {
  bool cached = false;
  for (LONG i = 0; i <= m_slots.highest; ++i) cached = cached || m_slots.slots[i]->record.graphic;
  HRESULT hr;
  if (!m_owner && !cached) {
    hr = CStyleRdr2dBase::SetOwner(owner);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }
  const bool hadOwner = m_owner != nullptr;
  const LONG count = m_slots.Count();
  auto* newIDs = static_cast<DWORD*>(std::calloc(count ? count : 1, sizeof(DWORD)));
  if (!newIDs) return Report(E_OUTOFMEMORY, __LINE__);
  StyleComPtr<IJSLLibrarian> librarian;
  if (owner) owner->QueryInterface(IID_IJSLLibrarian, librarian.PutVoid());
  for (LONG i = 0; i < count; ++i) {
    // A graphic that cannot be had is not carried over; its use still goes.
    if (hadOwner) ResolveSlotGraphic(i);
    IJGraphic* graphic = m_slots.slots[i]->record.graphic;
    if (!graphic) continue;
    newIDs[i] = kInvalidStyleID;
    if (owner && (!librarian || FAILED(librarian->GetStyleID(graphic, &newIDs[i])))) newIDs[i] = kNoStyleID;
  }
  if (hadOwner) {
    for (LONG i = 0; i < count; ++i) {
      SymbolSlotRecord& record = m_slots.slots[i]->record;
      if (IsUsableID(record.graphicID)) SetStyleRefID(&record.graphicID, kNoStyleID);
    }
  }
  hr = CStyleRdr2dBase::SetOwner(owner);
  if (FAILED(hr)) {
    std::free(newIDs);
    return Report(hr, __LINE__);
  }
  for (LONG i = 0; i < count; ++i) {
    SymbolSlotRecord& record = m_slots.slots[i]->record;
    if (record.graphic && m_owner) {
      if (FAILED(hr = SetStyleRefID(&record.graphicID, newIDs[i]))) Report(hr, __LINE__);
    } else if (record.graphic || hadOwner) {
      record.graphicID = record.graphic ? kInvalidStyleID : kNoStyleID;
    }
  }
  std::free(newIDs);
  InvalidateRenderCache();
  return S_OK;
}

HRESULT JStyleSymbolFill::ReleaseStyleRefs(DWORD value) {
  for (LONG i = 0; i <= m_slots.highest; ++i) {
    SymbolSlotRecord& record = m_slots.slots[i]->record;
    if (m_owner && IsUsableID(record.graphicID)) SetStyleRefID(&record.graphicID, kNoStyleID);
    record.graphicID = kNoStyleID;
    ReleaseCache(record.graphic);
  }
  return CStyleRdr2dBase::ReleaseStyleRefs(value);
}

HRESULT JStyleSymbolFill::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return E_INVALIDARG;
  HRESULT hr;
  for (LONG i = 0; i <= m_slots.highest; ++i) {
    if (FAILED(hr = callback(m_slots.slots[i]->record.graphicID))) return Report(hr, __LINE__);
  }
  hr = CStyleRdr2dBase::EnumStyleRefs(callback);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// Graphics known by ID are fetched again; one the owner cannot name is all the slot has, and stays.
HRESULT JStyleSymbolFill::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = CStyleRdr2dBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) Report(hr, __LINE__);
  for (LONG i = 0; i <= m_slots.highest; ++i) {
    SymbolSlotRecord& record = m_slots.slots[i]->record;
    if (IsUsableID(record.graphicID)) ReleaseCache(record.graphic);
  }
  InvalidateRenderCache();
  return hr;
}

// The graphics go to the target first, so that the copy can refer to them there.
HRESULT JStyleSymbolFill::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                        IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const LONG count = m_slots.Count();
  DWORD* newIDs = nullptr;
  if (count) {
    newIDs = static_cast<DWORD*>(std::calloc(count, sizeof(DWORD)));
    if (!newIDs) return Report(E_OUTOFMEMORY, __LINE__);
  }
  const auto copies = [this](LONG i) {
    const SymbolSlotRecord& record = m_slots.slots[i]->record;
    return record.graphicID != kNoStyleID || record.graphic != nullptr;
  };
  HRESULT hr = S_OK;
  for (LONG i = 0; SUCCEEDED(hr) && i < count; ++i) {
    if (!copies(i)) continue;
    const SymbolSlotRecord& record = m_slots.slots[i]->record;
    hr = CopyReferenceToLibrary(this, record.graphicID, record.graphic, source, target, targetDocument, &newIDs[i],
                                kSource, __LINE__, __LINE__, __LINE__, __LINE__);
  }
  StyleComPtr<IUnknown> clone;
  if (SUCCEEDED(hr)) {
    hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, clone.Put());
    if (FAILED(hr)) Report(hr, __LINE__);
  }
  StyleComPtr<IJStyleSymbolFill> copy;
  if (SUCCEEDED(hr) && count) {
    hr = clone->QueryInterface(IID_IJStyleSymbolFill, copy.PutVoid());
    if (FAILED(hr)) Report(hr, __LINE__);
  }
  for (LONG i = 0; SUCCEEDED(hr) && i < count; ++i) {
    if (!copies(i)) continue;
    StyleComPtr<IUnknown> object;
    StyleComPtr<IJGraphic> graphic;
    hr = target ? target->GetStyle(newIDs[i], object.Put()) : E_INVALIDARG;
    if (SUCCEEDED(hr)) hr = object ? object->QueryInterface(IID_IJGraphic, graphic.PutVoid()) : E_FAIL;
    if (SUCCEEDED(hr)) hr = copy->SetSlotGraphic(i, graphic.Get());
    if (FAILED(hr)) Report(hr, __LINE__);
  }
  std::free(newIDs);
  if (SUCCEEDED(hr)) *out = clone.Detach();
  return hr;
}

// ---- drawing ----

HRESULT JStyleSymbolFill::SetReferencedStyle(IUnknown*) {
  DropReferencedStyle();
  return S_OK;
}

namespace {

constexpr char kDrawSource[] = "SYMBLSYM";
constexpr double kTurn = 6.283185307179586;
// Below this many device units a lattice cell cannot show its symbol: the slot fills the run instead.
constexpr double kSmallestDeviceCell = 3.5;
constexpr DWORD kNoColour = 0xFFFFFFFF;

HRESULT DrawReport(HRESULT hr, int line) {
  HRerr(hr, 0, kDrawSource, line);
  return hr;
}

// The generator hands each piece out with a reference on its attribute style; the sink gives it back.
void HoldStyle(void* style) { static_cast<IJStyleRender*>(style)->AddRef(); }

// An array of the ordinary allocator, freed on every path.
template <class T>
class ScopedArray {
 public:
  explicit ScopedArray(std::size_t count)
      : m_items(static_cast<T*>(FillAllocateArray(count ? count : 1, sizeof(T)))) {}
  ~ScopedArray() { FillFree(m_items); }
  ScopedArray(const ScopedArray&) = delete;
  ScopedArray& operator=(const ScopedArray&) = delete;
  T* Get() const { return m_items; }

 private:
  T* m_items;
};

// The pieces of a list as the generator copies them.
template <class Piece>
void ListPieces(const Piece* piece, TileGenPiece* out) {
  for (; piece; piece = piece->next, ++out) {
    *out = {static_cast<std::uint32_t>(piece->count), reinterpret_cast<const GPosition*>(piece->points),
            piece->style};
  }
}

// Draws what one slot's lattice hands out: through the piece's attribute style with a geometry record of its
// own, or, for a line string without one, as a plain polyline of the target.
class SymbolDrawSink final : public FillSymbolSink {
 public:
  SymbolDrawSink(const StyleGeometryRecord* boundary, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, const tagStyleOverride* working, const StyleElementRecord* setup)
      : m_boundary(boundary), m_target(target), m_context(context), m_substitute(substitute), m_working(working),
        m_setup(setup) {}

  FillResult WholePiece(bool, const GPosition* points, std::uint32_t count, void* style) override {
    return Draw(points, count, style);
  }
  FillResult Segment(const GPosition& start, const GPosition& end, void* style) override {
    const GPosition line[2] = {start, end};
    return Draw(line, 2, style);
  }
  FillResult Polygon(const GPosition* points, std::uint32_t count, void* style) override {
    return Draw(points, count, style);
  }
  void Release(void* style) override { static_cast<IJStyleRender*>(style)->Release(); }

 private:
  FillResult Draw(const GPosition* points, std::uint32_t count, void* style) {
    void* xyz = const_cast<GPosition*>(points);
    if (!style) {
      m_target->BeginDrawing(0, 0);
      m_target->SetPenColor(m_working->colour);
      m_target->SetPenWidth(1.0);
      m_target->SetDashPattern(0, nullptr);
      const HRESULT hr = m_target->DrawPolyline(count, static_cast<const double*>(xyz));
      return FAILED(hr) ? hr : kFillOk;
    }
    StylePointRun run{xyz, count, {0, 0}};
    StyleGeometryRecord piece = *m_boundary;
    piece.type = 1;
    piece.pointList = &run;
    const HRESULT hr = static_cast<IJStyleRender*>(style)->RenderWithContext(&piece, m_target, m_context,
                                                                             m_substitute, m_working, m_setup);
    return FAILED(hr) ? hr : kFillOk;
  }

  const StyleGeometryRecord* m_boundary;
  IRenderTarget2d* m_target;
  const RenderContextScales* m_context;
  IJStyleRender* m_substitute;
  const tagStyleOverride* m_working;
  const StyleElementRecord* m_setup;
};

}  // namespace

// The seventh argument is the drawing set-up (FillDrawingSetup). The captured symbols and the converted lattices
// stay with the slots between draws; what the record or the context changed since the last draw is redone.
HRESULT JStyleSymbolFill::Render(const StyleGeometryRecord* boundary, IRenderTarget2d* target,
                                 const RenderContextScales* context, IJStyleRender* substitute,
                                 tagStyleOverride* record, BOOL, const StyleElementRecord* seventh) {
  const FillDrawingSetup* setup = AsFillDrawingSetup(seventh);
  if (!HasPointList(boundary) || !target || !record || !setup) return DrawReport(E_INVALIDARG, __LINE__);
  const StylePointRun& list = *boundary->pointList;
  if (list.count < 3) return S_OK;
  // A fill without slots is a valid style that draws nothing.
  if (m_slots.Count() == 0) return S_OK;
  const auto* points = static_cast<const GPosition*>(list.points);

  // What changed since the cache was taken. The symbols take on the context's own scale as well as the
  // record's, so a change of either captures them again.
  const double rotation = (record->flags & OVR_ROTATION) ? record->rotationAngle : m_rotation;
  const bool contextUnits = context && context->contextUnitsCode != STYLE_UNITS_NONE;
  const double contextScale = contextUnits ? context->contextScale : 1.0;
  const double s = ((record->flags & OVR_SCALE) ? record->scaleFactor : 1.0) * contextScale;
  const double unitScale = ConvertStyleLength(1.0, m_unitsCode, context, FALSE);
  if (!std::isfinite(rotation) || !std::isfinite(s) || !std::isfinite(unitScale)) {
    return DrawReport(E_INVALIDARG, __LINE__);
  }
  if (!(record->flags & OVR_ROTATION) || rotation != m_cachedRotation) m_dirtyFlags |= 0x2;
  if (!(record->flags & OVR_SCALE) || std::fabs(unitScale - m_cachedUnitScale) >= FLT_EPSILON ||
      std::fabs(s - m_cachedScale) >= FLT_EPSILON) {
    m_dirtyFlags |= 0x1;
  }
  m_cachedUnitScale = unitScale;
  m_cachedScale = s;
  m_cachedRotation = rotation;
  const bool device = setup->unitsCode == STYLE_UNITS_13;

  // The cells that can meet the run: every loop's, cut to the clip box with a margin.
  GBox2d region;
  if (AllZero(boundary->rangeBox, 6)) {
    FillBoundaryRange(list.count, points, &region);
  } else {
    region = GBox2d(boundary->rangeBox[0], boundary->rangeBox[1], boundary->rangeBox[3], boundary->rangeBox[4]);
  }
  const double* clip = setup->clipBox;
  if (!AllFinite(clip, 4)) return DrawReport(E_INVALIDARG, __LINE__);
  if (!AllZero(clip, 4)) region = GBox2d::Intersect(region, GBox2d(clip[0] - 1, clip[1] - 1, clip[2] + 1, clip[3] + 1));

  G4x4 units, turn;
  int rc = 0;
  u4x4Scale(unitScale, unitScale * contextScale, unitScale, units, &rc);
  if (rc != 0) return DrawReport(E_FAIL, __LINE__);
  const GPosition fillOrigin(m_originX, m_originY, 0.0);
  u4x4RotateAngleAtPoint(rotation, GUnitVector(0, 0, 1), fillOrigin, turn, &rc);
  if (rc != 0) return DrawReport(E_INVALIDARG, __LINE__);
  const G4x4 placing = units * turn;

  FillTrap trap;
  HRESULT hr = trap.Build(points, list.count);
  if (FAILED(hr)) return DrawReport(hr, __LINE__);

  // An attribute style may lead back to this fill and change its slots: each is read afresh by its index, and
  // an edit made meanwhile marks the cache anew for the next draw. What a failed draw left undone stays marked.
  const DWORD dirty = m_dirtyFlags;
  m_dirtyFlags = 0;
  struct DirtyKeeper {
    DWORD* flags;
    DWORD dirty;
    bool done;
    ~DirtyKeeper() {
      if (!done) *flags |= dirty;
    }
  } keeper{&m_dirtyFlags, dirty, false};
  target->BeginDrawing(0, 0);
  HRESULT refused = S_OK;
  for (LONG i = 0; i < m_slots.Count(); ++i) {
    SymbolSlot* node = m_slots.slots[i];
    if (!node) continue;
    tagStyleOverride working = *record;
    if (!(record->flags & OVR_COLOUR) && node->record.color != kNoColour) {
      working.colour = working.fillColour = node->record.color;
      working.flags |= OVR_COLOUR | OVR_FILL_COLOUR;
    }
    // The lattice is redone whole on any change, so that a turn keeps the converted sizes and a new size the
    // turn; only a change of size captures the symbol again.
    if (dirty) {
      SymbolSlotRecord& w = node->working;
      w = node->record;
      double angle = rotation + w.angle;
      angle -= std::floor(angle / kTurn) * kTurn;
      if (!(angle >= 0.0 && angle < kTurn)) angle = 0.0;
      if (!device && angle > 0.0) angle = kTurn - angle;
      w.angle = angle;
      w.spacingX = ConvertStyleLength(w.spacingX * s, m_unitsCode, context, FALSE);
      w.spacingY = ConvertStyleLength(w.spacingY * s, m_unitsCode, context, FALSE);
      w.rowShift = ConvertStyleLength(w.rowShift * s, m_unitsCode, context, FALSE);
      w.columnShift = ConvertStyleLength(w.columnShift * s, m_unitsCode, context, FALSE);
      if (dirty & 0x1) {
        hr = CaptureSlotGeometry(i, setup->display, s * node->record.scale);
        if (FAILED(hr)) return DrawReport(hr, __LINE__);
        if (hr == S_FALSE) continue;
        node = m_slots.slots[i];
        if (!node) continue;
      }
    }
    SymbolSlotRecord& w = node->working;
    if (!node->record.graphic) continue;
    // The lattice's origin: the slot's offset from the fill origin, turned with the fill about it.
    const GPosition origin =
        placing * GPosition(m_originX + node->record.offsetX * s, m_originY + node->record.offsetY * s, 0.0);
    w.offsetX = origin.x;
    w.offsetY = origin.y;
    w.offsetZ = 0.0;

    if (device && (std::fabs(w.spacingX) < kSmallestDeviceCell || std::fabs(w.spacingY) < kSmallestDeviceCell)) {
      target->BeginDrawing(node->record.fillStyleWord, working.colour);
      target->SetFillColor(working.colour);
      target->FillArea(list.count, static_cast<const double*>(list.points));
      continue;
    }
    if (node->openPieceCount + node->closedPieceCount == 0) continue;

    TileGen gen(HoldStyle);
    const TileGenLattice lattice{w.angle, w.spacingX, w.spacingY, w.rowShift, w.columnShift, w.offsetX, w.offsetY};
    const GBox2d symbolBox(node->extent.xmin, node->extent.ymin, node->extent.xmax, node->extent.ymax);
    ScopedArray<TileGenPiece> open(static_cast<std::size_t>(node->openPieceCount));
    ScopedArray<TileGenPiece> closed(static_cast<std::size_t>(node->closedPieceCount));
    if (!open.Get() || !closed.Get()) return DrawReport(E_OUTOFMEMORY, __LINE__);
    ListPieces(node->openHead, open.Get());
    ListPieces(node->closedHead, closed.Get());
    hr = gen.SetSlot(lattice, region);
    if (SUCCEEDED(hr)) hr = gen.SetOpenPieces(open.Get(), static_cast<std::uint32_t>(node->openPieceCount), symbolBox);
    if (SUCCEEDED(hr)) {
      hr = gen.SetClosedPieces(closed.Get(), static_cast<std::uint32_t>(node->closedPieceCount), symbolBox);
    }
    if (SUCCEEDED(hr)) {
      gen.Classify();
      hr = gen.Start(&trap);
    }
    // A lattice the generator refuses (a damaged or vanishing size) leaves this slot out, not the others.
    if (hr == kFillInvalidArg) {
      refused = DrawReport(E_INVALIDARG, __LINE__);
      continue;
    }
    if (FAILED(hr)) return DrawReport(hr, __LINE__);
    std::uint32_t mostElements = 0;
    if (FAILED(hr = gen.BuildBoundaryElements(&mostElements))) return DrawReport(hr, __LINE__);
    SymbolDrawSink sink(boundary, target, context, substitute, &working, seventh);
    // A captured polygon gets a closing point.
    hr = FillSymbolLattice(&gen, &trap, static_cast<std::uint32_t>(node->maxPiecePoints) + 1, mostElements, device,
                           &sink);
    if (FAILED(hr)) return DrawReport(hr, __LINE__);
  }
  keeper.done = true;
  return refused;
}

HRESULT JStyleSymbolFill::PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales*, double) {
  if (!record) return Report(E_INVALIDARG, __LINE__);
  if (!(record->flags & OVR_ROTATION)) {
    record->flags |= OVR_ROTATION;
    record->rotationAngle = m_rotation;
  }
  if (!(record->flags & OVR_SCALE)) {
    record->flags |= OVR_SCALE;
    record->scaleFactor = 1.0;
  }
  if (record->unitsCode == STYLE_UNITS_NONE) record->unitsCode = m_unitsCode;
  return S_OK;
}

HRESULT JStyleSymbolFill::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  return S_OK;
}

HRESULT JStyleSymbolFill::GetExtentRecord(StyleExtent* extent, const RenderContextScales*, tagStyleOverride*) {
  return GetExtentDelta(extent);
}

// ---- persistence ----

HRESULT JStyleSymbolFill::Serialize(JArchive* archive) {
  const HRESULT hr = SerializeCurrent(archive);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// A load that fails changes nothing: the base values it read are put back, and the slots read so far are
// dropped.
HRESULT JStyleSymbolFill::SerializeCurrent(JArchive* archive) {
  WORD version = 0;
  DWORD scratch = 0;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleSymbolFill, &version, &scratch);
  if (FAILED(hr)) return Report(hr, __LINE__);
  const bool older = version == 1;
  const DWORD units = m_unitsCode, kind = m_styleKind, referencedID = m_referencedStyleID, styleID = m_styleID;
  const auto fail = [&](HRESULT failure, int line) {
    if (IsLoading(archive)) {
      m_unitsCode = units;
      m_styleKind = kind;
      m_referencedStyleID = referencedID;
      m_styleID = styleID;
    }
    return Report(failure, line);
  };
  if (older) {
    hr = SerializeClass(archive);
  } else {
    StyleBaseRecord base{};
    hr = SerializeBase(archive, &base);
  }
  if (FAILED(hr)) return fail(hr, __LINE__);

  DWORD tag = m_fillTag;
  LONG highest = m_slots.highest;
  double rotation = m_rotation, originX = m_originX, originY = m_originY, originZ = m_originZ;
  const auto move = [&](auto& value) {
    if (SUCCEEDED(hr)) hr = Exchange(archive, value);
  };
  move(tag);
  if (older) {
    move(originX);
    move(originY);
    move(originZ);
    move(rotation);
    move(highest);
  } else {
    move(highest);
    move(rotation);
    move(originX);
    move(originY);
  }
  if (FAILED(hr)) return fail(hr, __LINE__);
  SymbolSlotList loaded;
  hr = SerializeSlots(archive, older, highest, &loaded);
  if (FAILED(hr)) return fail(hr, __LINE__);
  if (IsLoading(archive)) {
    ReplaceSlots(loaded, false);
    m_fillTag = tag;
    m_rotation = rotation;
    m_originX = originX;
    m_originY = originY;
    m_originZ = older ? originZ : 0.0;
    InvalidateRenderCache();
  }
  return S_OK;
}

// A load moves no use counts: the library's counts were stored with it. The loaded slots hold no graphic yet;
// they fetch it by ID on first use.
HRESULT JStyleSymbolFill::SerializeSlots(JArchive* archive, bool older, LONG highest, SymbolSlotList* loaded) {
  const bool loading = IsLoading(archive);
  if (loading) {
    if (highest < -1) return Report(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), __LINE__);
    HRESULT hr = CheckArchiveCount(archive, static_cast<DWORD>(highest) + 1, older ? kOlderSlotBytes : kCurrentSlotBytes);
    if (FAILED(hr)) return Report(hr, __LINE__);
  }
  HRESULT hr = S_OK;
  const auto move = [&](auto& value) {
    if (SUCCEEDED(hr)) hr = Exchange(archive, value);
  };
  for (LONG i = 0; SUCCEEDED(hr) && i <= highest; ++i) {
    SymbolSlotRecord r = loading ? SymbolSlotRecord{} : m_slots.slots[i]->record;
    if (!loading && r.graphicID == kInvalidStyleID) r.graphicID = GetStyleID(r.graphic);
    if (older) {
      move(r.color);
      move(r.fillStyleWord);
      move(r.graphicID);
    } else {
      DWORD reserved = 0;
      move(r.fillStyleWord);
      move(r.graphicID);
      move(r.color);
      move(reserved);
    }
    move(r.angle);
    move(r.spacingX);
    move(r.spacingY);
    move(r.rowShift);
    move(r.columnShift);
    move(r.scale);
    move(r.offsetX);
    move(r.offsetY);
    if (older) move(r.offsetZ);
    if (!loading || FAILED(hr)) continue;
    r.graphic = nullptr;
    SymbolSlot* node = nullptr;
    if (SUCCEEDED(hr = NewSlot(r, false, &node)) && !loaded->Append(node)) {
      DeleteSlot(node, false);
      hr = E_OUTOFMEMORY;
    }
  }
  if (FAILED(hr)) {
    for (LONG i = 0; i <= loaded->highest; ++i) DeleteSlot(loaded->slots[i], false);
    std::free(loaded->slots);
    *loaded = SymbolSlotList{};
    return Report(hr, __LINE__);
  }
  return S_OK;
}

// ---- IJStyleSymbolFill ----

using Imp = JStyleSymbolFill::IJStyleSymbolFillImp;

template <class T>
HRESULT JStyleSymbolFill::GetSlotValue(LONG index, T SymbolSlotRecord::*field, T* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  SymbolSlot* node = nullptr;
  const HRESULT hr = SlotAt(index, &node, __LINE__);
  if (SUCCEEDED(hr)) *out = node->record.*field;
  return hr;
}

template <class Edit>
HRESULT JStyleSymbolFill::EditSlot(LONG index, bool acceptable, HRESULT refusal, bool report, Edit edit) {
  SymbolSlot* node = nullptr;
  HRESULT hr = SlotAt(index, &node, __LINE__);
  if (SUCCEEDED(hr)) {
    if (!acceptable) {
      hr = report ? Report(refusal, __LINE__) : refusal;
    } else {
      edit(node->record);
    }
  }
  InvalidateRenderCache();
  return hr;
}

HRESULT STDMETHODCALLTYPE Imp::SetUnits(DWORD unitsCode) {
  if (!IsStorableUnitsCode(unitsCode)) return Report(E_INVALIDARG, __LINE__);
  Object()->m_unitsCode = unitsCode;
  Object()->InvalidateRenderCache();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetUnits(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotCount(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = static_cast<DWORD>(Object()->m_slots.Count());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetSlotColor(LONG slot, DWORD colour) {
  return Object()->EditSlot(slot, true, S_OK, false, [=](SymbolSlotRecord& r) { r.color = colour; });
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotColor(LONG slot, DWORD* out) {
  return Object()->GetSlotValue(slot, &SymbolSlotRecord::color, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetSlotOffset(LONG slot, const GPosition* offset) {
  if (!offset) return Report(E_INVALIDARG, __LINE__);
  const GPosition o = *offset;
  return Object()->EditSlot(slot, FinitePosition(&o), E_INVALIDARG, true, [&](SymbolSlotRecord& r) {
    r.offsetX = o.x;
    r.offsetY = o.y;
    r.offsetZ = o.z;
  });
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotOffset(LONG slot, GPosition* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  SymbolSlotRecord record{};
  HRESULT hr = Object()->GetSlotValue(slot, &SymbolSlotRecord::offsetX, &record.offsetX);
  if (SUCCEEDED(hr)) hr = Object()->GetSlotValue(slot, &SymbolSlotRecord::offsetY, &record.offsetY);
  if (SUCCEEDED(hr)) hr = Object()->GetSlotValue(slot, &SymbolSlotRecord::offsetZ, &record.offsetZ);
  if (SUCCEEDED(hr)) *out = OffsetOf(record);
  return hr;
}

HRESULT STDMETHODCALLTYPE Imp::SetSlotAngle(LONG slot, double angle) {
  const double stored = angle < 0.0 ? angle + kFillTwoPi : angle;
  return Object()->EditSlot(slot, std::isfinite(angle), E_INVALIDARG, true,
                            [=](SymbolSlotRecord& r) { r.angle = stored; });
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotAngle(LONG slot, double* out) {
  return Object()->GetSlotValue(slot, &SymbolSlotRecord::angle, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetSlotScale(LONG slot, double scale) {
  return Object()->EditSlot(slot, UsableLength(scale), E_FAIL, false, [=](SymbolSlotRecord& r) { r.scale = scale; });
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotScale(LONG slot, double* out) {
  return Object()->GetSlotValue(slot, &SymbolSlotRecord::scale, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetSlotSpacingX(LONG slot, double spacing) {
  return Object()->EditSlot(slot, UsableLength(spacing), E_INVALIDARG, true,
                            [=](SymbolSlotRecord& r) { r.spacingX = spacing; });
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotSpacingX(LONG slot, double* out) {
  return Object()->GetSlotValue(slot, &SymbolSlotRecord::spacingX, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetSlotSpacingY(LONG slot, double spacing) {
  return Object()->EditSlot(slot, UsableLength(spacing), E_INVALIDARG, true,
                            [=](SymbolSlotRecord& r) { r.spacingY = spacing; });
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotSpacingY(LONG slot, double* out) {
  return Object()->GetSlotValue(slot, &SymbolSlotRecord::spacingY, out);
}

// A lattice shifts its rows or its columns, never both.
HRESULT STDMETHODCALLTYPE Imp::SetSlotRowShift(LONG slot, double shift) {
  return Object()->EditSlot(slot, std::isfinite(shift), E_INVALIDARG, true, [=](SymbolSlotRecord& r) {
    r.rowShift = shift;
    if (shift != 0.0) r.columnShift = 0.0;
  });
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotRowShift(LONG slot, double* out) {
  return Object()->GetSlotValue(slot, &SymbolSlotRecord::rowShift, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetSlotColumnShift(LONG slot, double shift) {
  return Object()->EditSlot(slot, std::isfinite(shift), E_INVALIDARG, true, [=](SymbolSlotRecord& r) {
    r.columnShift = shift;
    if (shift != 0.0) r.rowShift = 0.0;
  });
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotColumnShift(LONG slot, double* out) {
  return Object()->GetSlotValue(slot, &SymbolSlotRecord::columnShift, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetSlotGraphic(LONG slot, IUnknown* graphic) {
  return Object()->SetSlotGraphic(slot, graphic);
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotGraphic(LONG slot, IJGraphic** out) { return Object()->GetSlotGraphic(slot, out); }

HRESULT STDMETHODCALLTYPE Imp::AddSlot(const SymbolSlotRecord* record, DWORD* index) {
  return Object()->AddSlot(record, index);
}

HRESULT STDMETHODCALLTYPE Imp::GetSlotRecord(LONG slot, SymbolSlotRecord* out) {
  return Object()->GetSlotRecord(slot, out);
}

HRESULT STDMETHODCALLTYPE Imp::ReplaceSlot(LONG slot, const SymbolSlotRecord* record) {
  return Object()->ReplaceSlot(slot, record);
}

HRESULT STDMETHODCALLTYPE Imp::RemoveSlot(LONG slot) { return Object()->RemoveSlot(slot); }

HRESULT STDMETHODCALLTYPE Imp::MoveSlot(LONG from, LONG to) { return Object()->MoveSlot(from, to); }

HRESULT STDMETHODCALLTYPE Imp::SetFillTag(DWORD tag) {
  Object()->m_fillTag = tag;
  Object()->InvalidateRenderCache();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetFillTag(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_fillTag;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetFillRotation(double rotation) {
  if (!std::isfinite(rotation)) return Report(E_INVALIDARG, __LINE__);
  Object()->m_rotation = rotation;
  Object()->InvalidateRenderCache();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetFillRotation(double* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_rotation;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetFillOrigin(const GPosition* origin) {
  if (!origin || !std::isfinite(origin->x) || !std::isfinite(origin->y)) return Report(E_INVALIDARG, __LINE__);
  JStyleSymbolFill* self = Object();
  self->m_originX = origin->x;
  self->m_originY = origin->y;
  self->m_originZ = 0.0;
  self->InvalidateRenderCache();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetFillOrigin(GPosition* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  const JStyleSymbolFill* self = Object();
  *out = GPosition(self->m_originX, self->m_originY, self->m_originZ);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetAllSlots(const SymbolFillData* data) { return Object()->SetAllSlots(data); }

HRESULT STDMETHODCALLTYPE Imp::GetAllSlots(SymbolFillData* out) { return Object()->GetAllSlots(out); }

HRESULT STDMETHODCALLTYPE Imp::InvalidateRenderCache() {
  Object()->InvalidateRenderCache();
  return S_OK;
}

// ---- the capture interfaces ----

using GeometryImp = JStyleSymbolFill::IJStyleSymbolFillGeometryImp;

HRESULT STDMETHODCALLTYPE GeometryImp::Operation1() { return S_FALSE; }
HRESULT STDMETHODCALLTYPE GeometryImp::Operation2(DWORD, DWORD, DWORD, DWORD) { return S_FALSE; }
HRESULT STDMETHODCALLTYPE GeometryImp::Operation3() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE GeometryImp::Operation4(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = 2;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GeometryImp::Operation5() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE GeometryImp::Operation6(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = 4;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GeometryImp::Operation7() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE GeometryImp::Operation8() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE GeometryImp::CapturePrimitive(const StyleGeometryRecord* primitive, DWORD, DWORD, DWORD,
                                                        DWORD, DWORD) {
  return Object()->CapturePrimitive(primitive);
}

HRESULT STDMETHODCALLTYPE GeometryImp::Operation10() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE GeometryImp::Operation11() { return E_NOTIMPL; }

using FilterImp = JStyleSymbolFill::IJStyleSymbolFillFilterImp;

HRESULT STDMETHODCALLTYPE FilterImp::GetCaptureRecord(SymbolCaptureRecord** out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = &Object()->m_capture;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterImp::NotOffered4() { return E_NOTIMPL; }
