#include "display/style/styles/JStyleLinePointGen.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "display/style/StaticSection.h"
#include "display/style/server.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LinePointPlacement.h"
#include "display/style/styles/LineStyleShared.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "LINPNTGN";

// Points buffered before they are drawn in one call of the symbol; the buffer has room for one more.
constexpr DWORD kBatch = 31;
constexpr double kNoSymbolPending = -1.0;
// What each entry takes in the records of versions 2 and 3, and in the current one.
constexpr DWORD kEntryBytesV2 = 30;
constexpr DWORD kEntryBytes = 40;
constexpr BYTE kFlagAbsolute = 0x1;
constexpr BYTE kFlagUpright = 0x2;

static_assert(sizeof(LinePoint) == sizeof(StyleOrientedPoint));
static_assert(offsetof(LinePoint, direction) == offsetof(StyleOrientedPoint, direction));

// The state of one served pattern entry through one run: the dash generation keeps it in the entry's state word.
struct LinePointRunState {
  DWORD index;
  double remaining;  // from the base point to the symbol's place; kNoSymbolPending when none
  double scale;
  double angle;
  double fraction;
  IJStyleRender* symbol;  // the entry's cache, without a reference of its own
  DWORD absolute;
  DWORD upright;
  double along;  // in render units
  double across;
  double base[3];
  StyleOrientedPoint* write;
  StyleOrientedPoint* end;
  StyleOrientedPoint points[kBatch + 1];
};

// The one run state that needs no allocation, and the critical section that guards whether a run holds it. The
// section is held only to test and set the flag, never while drawing. Before the initialiser ran or after the
// destructor (the section's bytes all zero) the flag is used without it.
class StaticRunState {
 public:
  StaticRunState() = default;
  StaticRunState(const StaticRunState&) = delete;
  StaticRunState& operator=(const StaticRunState&) = delete;

  // The static block when it is free, else a new one from the heap; null when there is no memory.
  LinePointRunState* Take() {
    m_section.Enter();
    const bool free = !m_inUse;
    m_inUse = true;
    m_section.Leave();
    if (free) return &m_block;
    return static_cast<LinePointRunState*>(std::malloc(sizeof(LinePointRunState)));
  }
  void GiveBack(LinePointRunState* block) {
    if (block != &m_block) {
      std::free(block);
      return;
    }
    m_section.Enter();
    m_inUse = false;
    m_section.Leave();
  }
  bool InUse() const { return m_inUse; }

 private:
  StaticSection m_section;
  volatile bool m_inUse = false;
  LinePointRunState m_block{};
};

__attribute__((init_priority(STYLESRV_INIT_POINT_GENERATOR))) StaticRunState g_runState;

bool IsUsableID(DWORD id) { return id != kNoStyleID && id != kInvalidStyleID; }

bool ArePlacementValues(double fraction, double along, double across, double angle) {
  return std::isfinite(fraction) && std::isfinite(along) && std::isfinite(across) && std::isfinite(angle);
}

// Hands the buffered points to the symbol in one drawing call, whatever it answers.
void Flush(LinePointRunState* block, const DashClientContext* context) {
  const auto count = static_cast<DWORD>(block->write - block->points);
  block->write = block->points;
  if (count == 0 || !context) return;
  StylePointRun run{block->points, count, {0, 0}};
  StyleGeometryRecord geometry{};
  geometry.type = kGeometryOrientedPoints;
  geometry.pointList = &run;
  block->symbol->RenderWithContext(&geometry, context->target, context->context,
                                   reinterpret_cast<IJStyleRender*>(context->zero), context->record,
                                   context->element);
}

// The symbol of this occurrence at the remaining distance along the piece of direction u.
void PlaceSymbol(LinePointRunState* block, const DashClientContext* context, const double* u) {
  const double distance = block->remaining;
  block->remaining = kNoSymbolPending;
  if (!u) return;
  if (block->write > block->end) Flush(block, context);
  LinePointPlacement placement;
  placement.along = block->along;
  placement.across = block->across;
  placement.angle = block->angle;
  placement.absolute = block->absolute != 0;
  placement.upright = block->upright != 0;
  placement.verticalFactor = context && context->context ? context->context->verticalAxisFactor : 1.0;
  // A place that is no number is no place: the occurrence gets no symbol.
  if (placement.Place(block->base, distance, u, reinterpret_cast<LinePoint*>(block->write))) ++block->write;
}

void SetPlacement(LinePointEntry& entry, float fraction, double along, double across, double angle, DWORD absolute,
                  DWORD upright) {
  entry.fraction = fraction;
  entry.along = along;
  entry.across = across;
  entry.angle = angle;
  entry.absolute = absolute;
  entry.upright = upright;
}

bool SymbolPending(const LinePointRunState* block) { return block->remaining > -kLinePointEpsilon; }

}  // namespace

JStyleLinePointGen::JStyleLinePointGen(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_POINTS;
  m_unitsCode = STYLE_UNITS_11;
}

JStyleLinePointGen::~JStyleLinePointGen() {
  for (DWORD i = 0; i < m_entries.Size(); ++i) ReleaseCache(m_entries[i].symbol);
  m_entries.RemoveAll();
}

HRESULT JStyleLinePointGen::Init() {
  HRESULT hr = CStyleRdr2dBase::Init();
  if (FAILED(hr)) return REPORT(hr);
  ShrinkTo(0);
  if (!m_entries.SetSize(kMinEntries)) return REPORT(E_OUTOFMEMORY);
  return S_OK;
}

void* JStyleLinePointGen::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleDashTypeClient)) return &m_IJStyleDashTypeClientImp;
  if (IsEqualIID(iid, IID_IJStyleLinePointGen)) return &m_IJStyleLinePointGenImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

GUID* JStyleLinePointGen::GetClassID(GUID* out) {
  *out = CLSID_JStyleLinePointGen;
  return out;
}

GUID* JStyleLinePointGen::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_LinePointGen;
  return out;
}

bool JStyleLinePointGen::StaticRunStateInUse() { return g_runState.InUse(); }

// ---- the entries ----

LinePointEntry* JStyleLinePointGen::At(LONG index) {
  return index >= 0 && static_cast<DWORD>(index) < m_entries.Size() ? &m_entries[index] : nullptr;
}

HRESULT JStyleLinePointGen::Reach(LONG index, DWORD* oldCount) {
  *oldCount = m_entries.Size();
  if (index < 0 || static_cast<DWORD>(index) >= kMaxEntries) return E_INVALIDARG;
  if (static_cast<DWORD>(index) < m_entries.Size()) return S_OK;
  return m_entries.SetSize(static_cast<DWORD>(index) + 1) ? S_OK : E_OUTOFMEMORY;
}

void JStyleLinePointGen::ShrinkTo(DWORD count) {
  for (DWORD i = count; i < m_entries.Size(); ++i) ReleaseCache(m_entries[i].symbol);
  // The array zeroes only what it grows into; what lay beyond the count must be empty again.
  if (count < m_entries.Size()) {
    std::memset(static_cast<void*>(&m_entries[count]), 0, (m_entries.Size() - count) * sizeof(LinePointEntry));
    m_entries.SetSize(count);
  }
}

HRESULT JStyleLinePointGen::Resolve(LinePointEntry& entry, IJStyleRender** out) {
  *out = entry.symbol;
  if (entry.symbol || !IsUsableID(entry.symbolID)) return S_OK;
  const HRESULT hr = GetStyleByID(entry.symbolID, IID_IJStyleRender, reinterpret_cast<void**>(&entry.symbol));
  if (FAILED(hr)) return REPORT(hr);
  *out = entry.symbol;
  return S_OK;
}

HRESULT JStyleLinePointGen::SetSymbol(LONG index, IUnknown* style) {
  DWORD old = 0;
  HRESULT hr = Reach(index, &old);
  if (FAILED(hr)) return REPORT(hr);
  if (static_cast<DWORD>(index) < old && !style) return RemoveSymbol(index);
  LinePointEntry& entry = m_entries[index];
  hr = SetStyleRefQI(&entry.symbolID, AsUnknownSlot(&entry.symbol), style, IID_IJStyleRender);
  if (FAILED(hr)) {
    ShrinkTo(old);
    return REPORT(hr);
  }
  return S_OK;
}

HRESULT JStyleLinePointGen::SetEntry(LONG index, IUnknown* style, float fraction, double along, double across,
                                     double angle, DWORD absolute, DWORD upright) {
  if (!ArePlacementValues(fraction, along, across, angle)) return REPORT(E_INVALIDARG);
  DWORD old = 0;
  HRESULT hr = Reach(index, &old);
  if (FAILED(hr)) return REPORT(hr);
  LinePointEntry& entry = m_entries[index];
  hr = SetStyleRefQI(&entry.symbolID, AsUnknownSlot(&entry.symbol), style, IID_IJStyleRender);
  if (FAILED(hr)) {
    ShrinkTo(old);
    return REPORT(hr);
  }
  SetPlacement(entry, fraction, along, across, angle, absolute, upright);
  return S_OK;
}

HRESULT JStyleLinePointGen::SetEntryByID(LONG index, DWORD id, float fraction, double along, double across,
                                         double angle, DWORD absolute, DWORD upright) {
  if (!ArePlacementValues(fraction, along, across, angle)) return REPORT(E_INVALIDARG);
  DWORD old = 0;
  HRESULT hr = Reach(index, &old);
  if (FAILED(hr)) return REPORT(hr);
  LinePointEntry& entry = m_entries[index];
  hr = SetStyleRefID(&entry.symbolID, id);
  if (FAILED(hr)) {
    // A refused ID leaves an entry that was there as it was, its symbol included.
    ShrinkTo(old);
    return REPORT(hr);
  }
  ReleaseCache(entry.symbol);
  SetPlacement(entry, fraction, along, across, angle, absolute, upright);
  hr = GetStyleByID(id, IID_IJStyleRender, reinterpret_cast<void**>(&entry.symbol));
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JStyleLinePointGen::RemoveSymbol(LONG index) {
  LinePointEntry* entry = At(index);
  if (!entry) return REPORT(E_INVALIDARG);
  ReleaseCache(entry->symbol);
  // The use the entry held goes back to the library with the reference.
  const HRESULT hr = SetStyleRefID(&entry->symbolID, kNoStyleID);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JStyleLinePointGen::GetSymbol(LONG index, IJStylePointSymbol** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  LinePointEntry* entry = At(index);
  if (!entry) return REPORT(E_INVALIDARG);
  if (!entry->symbol) return S_OK;
  const HRESULT hr = entry->symbol->QueryInterface(IID_IJStylePointSymbol, reinterpret_cast<void**>(out));
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JStyleLinePointGen::GetEntry(LONG index, IJStylePointSymbol** style, float* fraction, double* along,
                                     double* across, double* angle, DWORD* absolute, DWORD* upright) {
  if (style) *style = nullptr;
  if (fraction) *fraction = 0;
  if (along) *along = 0;
  if (across) *across = 0;
  if (angle) *angle = 0;
  if (absolute) *absolute = 0;
  if (upright) *upright = 0;
  if (!style || !fraction || !along || !across || !angle || !absolute || !upright) return REPORT(E_INVALIDARG);
  LinePointEntry* entry = At(index);
  if (!entry) return REPORT(E_INVALIDARG);
  if (entry->symbolID == kNoStyleID) return REPORT(E_FAIL);
  IJStyleRender* symbol = nullptr;
  HRESULT hr = Resolve(*entry, &symbol);
  if (FAILED(hr)) return hr;
  if (!symbol) return REPORT(E_FAIL);
  if (FAILED(hr = symbol->QueryInterface(IID_IJStylePointSymbol, reinterpret_cast<void**>(style)))) {
    return REPORT(hr);
  }
  *fraction = entry->fraction;
  *along = entry->along;
  *across = entry->across;
  *angle = entry->angle;
  *absolute = entry->absolute;
  *upright = entry->upright;
  return S_OK;
}

// ---- the client protocol ----

HRESULT JStyleLinePointGen::AcceptsEntry(DWORD index) {
  if (index >= m_entries.Size()) return S_FALSE;
  LinePointEntry& entry = m_entries[index];
  IJStyleRender* symbol = nullptr;
  const HRESULT hr = Resolve(entry, &symbol);
  if (FAILED(hr)) return hr;
  return symbol && entry.symbolID != kNoStyleID ? S_OK : S_FALSE;
}

HRESULT JStyleLinePointGen::BeginRun(void** state, const DashClientContext* context, DWORD index) {
  if (!state) return REPORT(E_INVALIDARG);
  *state = nullptr;
  if (!context || index >= m_entries.Size()) return REPORT(E_INVALIDARG);
  LinePointEntry& entry = m_entries[index];
  IJStyleRender* symbol = nullptr;
  HRESULT hr = Resolve(entry, &symbol);
  if (FAILED(hr)) return hr;
  if (!symbol) return REPORT(E_FAIL);
  LinePointRunState* block = g_runState.Take();
  if (!block) return REPORT(E_OUTOFMEMORY);

  block->index = index;
  block->remaining = kNoSymbolPending;
  const tagStyleOverride* record = context->record;
  block->scale = record && (record->flags & OVR_SCALE) ? record->scaleFactor : 1.0;
  block->angle = entry.angle;
  block->absolute = entry.absolute;
  block->upright = entry.upright;
  block->symbol = symbol;
  block->fraction = entry.fraction;
  const auto convert = [&](double length) {
    if (!(std::fabs(length) > kLinePointEpsilon)) return 0.0;
    return ConvertStyleLength(length, m_unitsCode, context->context, FALSE) * block->scale;
  };
  block->along = convert(entry.along);
  block->across = convert(entry.across);
  block->base[0] = block->base[1] = block->base[2] = 0.0;
  block->write = block->points;
  block->end = block->points + kBatch;
  *state = block;
  return S_OK;
}

HRESULT JStyleLinePointGen::EndRun(void** state, const DashClientContext* context) {
  auto* block = static_cast<LinePointRunState*>(*state);
  if (!block) return S_OK;
  const bool drew = block->write != block->points && context;
  Flush(block, context);
  g_runState.GiveBack(block);
  *state = nullptr;
  return drew ? 1 : S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleDashTypeClientImp::AcceptsEntry(DWORD index) {
  return Object()->AcceptsEntry(index);
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleDashTypeClientImp::BeginRun(void** state,
                                                                                const DashClientContext* context,
                                                                                DWORD index) {
  return Object()->BeginRun(state, context, index);
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleDashTypeClientImp::EndRun(void** state,
                                                                              const DashClientContext* context,
                                                                              DWORD index) {
  // A bad argument changes nothing: a state the caller still holds stays its own to end.
  if (!state || index >= Object()->m_entries.Size()) return REPORT(E_INVALIDARG);
  return Object()->EndRun(state, context);
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleDashTypeClientImp::EntryStart(
    void** state, const DashClientContext*, DWORD, double x, double y, double z, double offset, double value) {
  if (!state) return REPORT(E_INVALIDARG);
  auto* block = static_cast<LinePointRunState*>(*state);
  if (!block) return S_OK;
  double d = (value == -DBL_MAX ? 0.0 : value * block->fraction) - offset;
  if (!std::isfinite(d)) d = kNoSymbolPending;
  block->remaining = d;
  // A place before the start of this walk gets no symbol in this occurrence.
  if (SymbolPending(block)) {
    block->base[0] = x;
    block->base[1] = y;
    block->base[2] = z;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleDashTypeClientImp::CornerReached(
    void** state, const DashClientContext* context, DWORD, double x, double y, double z, double pieceLength,
    const double* direction) {
  if (!state) return REPORT(E_INVALIDARG);
  auto* block = static_cast<LinePointRunState*>(*state);
  if (!block || !SymbolPending(block)) return S_OK;
  if (pieceLength + kLinePointEpsilon <= block->remaining) {
    // The place lies beyond the corner: measure on from it.
    block->base[0] = x;
    block->base[1] = y;
    block->base[2] = z;
    block->remaining -= pieceLength;
    return S_OK;
  }
  PlaceSymbol(block, context, direction);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleDashTypeClientImp::EntryEnd(
    void** state, const DashClientContext* context, DWORD, double, double, double, double pieceLength,
    const double* direction, double) {
  if (!state) return REPORT(E_INVALIDARG);
  auto* block = static_cast<LinePointRunState*>(*state);
  if (!block) return S_OK;
  if (SymbolPending(block)) {
    // A place beyond the end of the entry gets no symbol.
    if (pieceLength + kLinePointEpsilon <= block->remaining) {
      block->remaining -= pieceLength;
    } else {
      PlaceSymbol(block, context, direction);
    }
  }
  if (block->write < block->end || !context) return S_OK;
  Flush(block, context);
  return 1;
}

// ---- references, copying and comparing ----

BOOL JStyleLinePointGen::UsesStyleID(DWORD id) {
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    if (id != kNoStyleID && m_entries[i].symbolID == id) return TRUE;
  }
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    IJStyleRender* symbol = nullptr;
    if (FAILED(Resolve(m_entries[i], &symbol)) || !symbol) continue;
    StyleComPtr<IJStyleUser> user;
    if (SUCCEEDED(symbol->QueryInterface(IID_IJStyleUser, user.PutVoid())) && user->UsesStyleID(id)) return TRUE;
  }
  return CStyleRdr2dBase::UsesStyleID(id);
}

HRESULT JStyleLinePointGen::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = CStyleRdr2dBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) return REPORT(hr);
  bool had = false;
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    if (id == kNoStyleID || m_entries[i].symbolID != id) continue;
    // The entry fetches the new style by its ID on next use.
    ReleaseCache(m_entries[i].symbol);
    had = true;
  }
  if (!had) return hr;
  if (auto* style = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle))) {
    StyleComPtr<IJStyleRender> render;
    const HRESULT asked = style->QueryInterface(IID_IJStyleRender, render.PutVoid());
    if (FAILED(asked)) return REPORT(asked);
  }
  return S_OK;
}

HRESULT JStyleLinePointGen::SetOwner(IUnknown* owner) {
  bool anyCached = false;
  for (DWORD i = 0; i < m_entries.Size(); ++i) anyCached = anyCached || m_entries[i].symbol;
  HRESULT hr;
  if (!m_owner && !anyCached) {
    hr = CStyleRdr2dBase::SetOwner(owner);
    return FAILED(hr) ? REPORT(hr) : S_OK;
  }
  // The symbols are taken as objects, so that their uses can move from the old library to the new.
  const DWORD n = m_entries.Size();
  auto** taken = static_cast<IJStyleRender**>(std::calloc(n, sizeof(IJStyleRender*)));
  if (!taken) return REPORT(E_OUTOFMEMORY);
  for (DWORD i = 0; i < n; ++i) {
    IJStyleRender* symbol = nullptr;
    if (SUCCEEDED(Resolve(m_entries[i], &symbol)) && symbol) {
      symbol->AddRef();
      taken[i] = symbol;
    }
    ReleaseCache(m_entries[i].symbol);
  }
  if (m_owner) {
    for (DWORD i = 0; i < n; ++i) SetStyleRefID(&m_entries[i].symbolID, kNoStyleID);
  }
  hr = CStyleRdr2dBase::SetOwner(owner);
  if (FAILED(hr)) {
    REPORT(hr);
  } else {
    for (DWORD i = 0; i < n; ++i) {
      SetStyleRefPtr(&m_entries[i].symbolID, AsUnknownSlot(&m_entries[i].symbol), taken[i]);
    }
  }
  for (DWORD i = 0; i < n; ++i) ReleaseCache(taken[i]);
  std::free(taken);
  return hr;
}

HRESULT JStyleLinePointGen::ReleaseStyleRefs(DWORD value) {
  // The entries keep their IDs; only the uses go back.
  StyleComPtr<IJSLLibrarian> librarian;
  if (m_owner && SUCCEEDED(OwnerLibrarian(librarian.Put()))) {
    for (DWORD i = 0; i < m_entries.Size(); ++i) {
      if (IsUsableID(m_entries[i].symbolID)) librarian->ReleaseStyleID(m_entries[i].symbolID);
    }
  }
  return CStyleRdr2dBase::ReleaseStyleRefs(value);
}

HRESULT JStyleLinePointGen::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return REPORT(E_INVALIDARG);
  HRESULT hr;
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    if (FAILED(hr = callback(m_entries[i].symbolID))) return REPORT(hr);
  }
  hr = CStyleRdr2dBase::EnumStyleRefs(callback);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JStyleLinePointGen::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                          IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  if (!target) return REPORT(E_INVALIDARG);
  const DWORD n = m_entries.Size();
  auto* copiedIDs = static_cast<DWORD*>(std::calloc(n, sizeof(DWORD)));
  if (!copiedIDs) return REPORT(E_OUTOFMEMORY);
  HRESULT hr = S_OK;
  for (DWORD i = 0; i < n && SUCCEEDED(hr); ++i) {
    const LinePointEntry& entry = m_entries[i];
    if (entry.symbolID == kNoStyleID) continue;
    hr = CopyReferenceToLibrary(this, entry.symbolID, entry.symbol, source, target, targetDocument, &copiedIDs[i],
                                kSource, __LINE__, __LINE__, __LINE__, __LINE__);
  }
  StyleComPtr<IUnknown> clone;
  if (SUCCEEDED(hr)) hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, clone.Put());
  StyleComPtr<IJStyleLinePointGen> copy;
  if (SUCCEEDED(hr)) hr = clone->QueryInterface(IID_IJStyleLinePointGen, copy.PutVoid());
  for (DWORD i = 0; i < n && SUCCEEDED(hr); ++i) {
    if (copiedIDs[i] == kNoStyleID) continue;
    StyleComPtr<IUnknown> symbol;
    hr = target->GetStyle(copiedIDs[i], symbol.Put());
    if (SUCCEEDED(hr)) hr = copy->SetSymbol(static_cast<LONG>(i), symbol.Get());
  }
  std::free(copiedIDs);
  if (FAILED(hr)) return REPORT(hr);
  *out = clone.Detach();
  return S_OK;
}

HRESULT JStyleLinePointGen::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  auto* copy = new JStyleLinePointGen(outer);
  if (!copy) return REPORT(E_OUTOFMEMORY);
  copy->AddRef();
  HRESULT hr = copy->Init();
  if (SUCCEEDED(hr) && !copy->m_entries.SetSize(m_entries.Size())) hr = E_OUTOFMEMORY;
  if (FAILED(hr)) {
    copy->Release();
    return REPORT(hr);
  }
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    LinePointEntry& to = copy->m_entries[i];
    to = m_entries[i];
    to.symbolID = kNoStyleID;
    to.symbol = nullptr;
  }
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleLinePointGen::CopyFrom(IUnknown*, DWORD) { return S_OK; }

HRESULT JStyleLinePointGen::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return REPORT(E_INVALIDARG);
  *same = FALSE;
  HRESULT hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) return REPORT(hr);
  if (!*same) return S_OK;
  *same = FALSE;
  auto* theirs = StyleImplementationOf<JStyleLinePointGen>(other, CLSID_JStyleLinePointGen);
  if (!theirs || theirs->m_entries.Size() != m_entries.Size()) return S_OK;
  const auto close = [](double a, double b) { return std::fabs(a - b) < kLinePointEpsilon; };
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    LinePointEntry& a = m_entries[i];
    LinePointEntry& b = theirs->m_entries[i];
    if (!(std::fabs(a.fraction - b.fraction) < 1.1920929e-07f) || !close(a.along, b.along) ||
        !close(a.across, b.across) || !close(a.angle, b.angle) || a.absolute != b.absolute || a.upright != b.upright) {
      return S_OK;
    }
    if (m_owner == theirs->m_owner && a.symbolID == b.symbolID) continue;
    IJStyleRender* mine = nullptr;
    IJStyleRender* their = nullptr;
    if (FAILED(hr = Resolve(a, &mine)) || FAILED(hr = theirs->Resolve(b, &their))) return hr;
    BOOL equal = FALSE;
    if (FAILED(hr = SameReferencedStyle(mine, their, &equal, kSource, __LINE__)) || !equal) return hr;
  }
  *same = TRUE;
  return S_OK;
}

// ---- drawing and extents ----

HRESULT JStyleLinePointGen::Render(const StyleGeometryRecord*, IRenderTarget2d*, const RenderContextScales*,
                                   IJStyleRender*, tagStyleOverride*, BOOL, const StyleElementRecord*) {
  return REPORT(E_FAIL);
}

HRESULT JStyleLinePointGen::GetExtentDelta(StyleExtent*) { return S_OK; }

HRESULT JStyleLinePointGen::GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                                            tagStyleOverride* record) {
  if (!extent) return REPORT(E_INVALIDARG);
  HRESULT hr;
  StyleComPtr<IJStyleRender> referenced(GetReferencedStyle());
  if (referenced && FAILED(hr = referenced->GetRangeWithContext(extent, context, nullptr, record))) {
    return REPORT(hr);
  }
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    IJStyleRender* symbol = nullptr;
    if (FAILED(hr = Resolve(m_entries[i], &symbol))) return hr;
    if (!symbol) continue;
    StyleExtent local{};
    if (FAILED(hr = symbol->GetRangeWithContext(&local, context, nullptr, record))) return REPORT(hr);
    const double across = std::fabs(m_entries[i].across);
    switch (m_unitsCode) {
      case STYLE_UNITS_13:
        local.value = AddSaturated(local.value, TruncateExtent(across));
        break;
      case STYLE_UNITS_11:
        local.first += across;
        break;
      default:
        local.second += across;
        break;
    }
    if (local.value > extent->value) extent->value = local.value;
    if (local.first > extent->first) extent->first = local.first;
    if (local.second > extent->second) extent->second = local.second;
  }
  return S_OK;
}

// ---- persistence ----

HRESULT JStyleLinePointGen::Serialize(JArchive* archive) {
  if (!IsVersioned(archive)) return SerializeCurrent(archive);
  WORD version = 0;
  DWORD scratch = 0;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleLinePointGen, &version, &scratch);
  if (FAILED(hr)) return REPORT(hr);
  if (version == 2 || version == 3) return SerializeOlder(archive, version);
  if (version == kCurrentVersion) return SerializeCurrent(archive);
  return S_OK;
}

HRESULT JStyleLinePointGen::SerializeCurrent(JArchive* archive) {
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return REPORT(hr);
  BYTE reserved[6] = {};
  auto count = static_cast<WORD>(m_entries.Size());
  if (FAILED(hr = Exchange(archive, reserved)) || FAILED(hr = Exchange(archive, count))) return REPORT(hr);
  return ExchangeEntries(archive, kCurrentVersion, count);
}

HRESULT JStyleLinePointGen::SerializeOlder(JArchive* archive, WORD version) {
  HRESULT hr = SerializeClass(archive);
  if (FAILED(hr)) return REPORT(hr);
  DWORD units = m_unitsCode;
  DWORD count = m_entries.Size();
  if (FAILED(hr = Exchange(archive, units)) || FAILED(hr = Exchange(archive, count))) return REPORT(hr);
  if (IsLoading(archive) && (!IsStorableUnitsCode(units) || count >= kMaxEntries)) {
    return REPORT(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  }
  if (FAILED(hr = ExchangeEntries(archive, version, count))) return hr;
  m_unitsCode = units;
  return S_OK;
}

HRESULT JStyleLinePointGen::ExchangeEntries(JArchive* archive, WORD version, DWORD count) {
  const bool loading = IsLoading(archive);
  HRESULT hr = CheckArchiveCount(archive, count, version == 2 ? kEntryBytesV2 : kEntryBytes);
  if (FAILED(hr)) return REPORT(hr);
  StyleGrowableArray<LinePointEntry> loaded;
  if (loading && !loaded.SetSize(count)) return REPORT(E_OUTOFMEMORY);
  for (DWORD i = 0; i < count; ++i) {
    LinePointEntry entry = loading ? (i < m_entries.Size() ? m_entries[i] : LinePointEntry{}) : m_entries[i];
    if (FAILED(hr = Exchange(archive, entry.symbolID))) break;
    if (version == 2) {
      WORD ignored = 0;
      if (FAILED(hr = Exchange(archive, entry.along)) || FAILED(hr = Exchange(archive, entry.across)) ||
          FAILED(hr = Exchange(archive, entry.angle)) || FAILED(hr = Exchange(archive, ignored))) {
        break;
      }
    } else {
      if (FAILED(hr = Exchange(archive, entry.fraction)) || FAILED(hr = Exchange(archive, entry.along)) ||
          FAILED(hr = Exchange(archive, entry.across)) || FAILED(hr = Exchange(archive, entry.angle))) {
        break;
      }
      if (version == 3) {
        if (FAILED(hr = Exchange(archive, entry.absolute)) || FAILED(hr = Exchange(archive, entry.upright))) break;
      } else {
        BYTE flags[8] = {};
        flags[0] = (entry.absolute ? kFlagAbsolute : 0) | (entry.upright ? kFlagUpright : 0);
        if (FAILED(hr = Exchange(archive, flags))) break;
        entry.absolute = (flags[0] & kFlagAbsolute) ? 1 : 0;
        entry.upright = (flags[0] & kFlagUpright) ? 1 : 0;
      }
    }
    if (loading && !ArePlacementValues(entry.fraction, entry.along, entry.across, entry.angle)) {
      hr = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
      break;
    }
    if (loading) loaded[i] = entry;
  }
  if (FAILED(hr)) return REPORT(hr);
  if (!loading) return S_OK;

  // A longer record makes the array exactly as long; a shorter one overwrites the first entries.
  const DWORD size = count > kMinEntries || count > m_entries.Size() ? count : m_entries.Size();
  if (size > m_entries.Size() && !m_entries.SetSize(size)) return REPORT(E_OUTOFMEMORY);
  ShrinkTo(size);
  for (DWORD i = 0; i < count; ++i) {
    LinePointEntry& entry = m_entries[i];
    IJStyleRender* cache = entry.symbol;
    // A load moves no use counts; a cache of another ID goes, and every cache when the load asks for it.
    if (DropsCachedReferences(archive) || loaded[i].symbolID != entry.symbolID) {
      ReleaseCache(entry.symbol);
      cache = nullptr;
    }
    entry = loaded[i];
    entry.symbol = cache;
  }
  return S_OK;
}

// ---- IJStyleLinePointGen ----

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::SetUnits(DWORD unitsCode) {
  // Only a code the record can carry.
  if (!IsStorableUnitsCode(unitsCode)) return REPORT(E_INVALIDARG);
  Object()->m_unitsCode = unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::GetUnits(DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::SetOrientation(LONG index, double angle,
                                                                                    DWORD absolute,
                                                                                    DWORD upright) {
  LinePointEntry* entry = Object()->At(index);
  if (!entry || !std::isfinite(angle)) return REPORT(E_INVALIDARG);
  entry->angle = angle;
  entry->absolute = absolute;
  entry->upright = upright;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::GetOrientation(LONG index, double* angle,
                                                                                    DWORD* absolute,
                                                                                    DWORD* upright) {
  if (angle) *angle = 0;
  if (absolute) *absolute = 0;
  if (upright) *upright = 0;
  LinePointEntry* entry = Object()->At(index);
  if (!entry || !angle || !absolute || !upright) return REPORT(E_INVALIDARG);
  *angle = entry->angle;
  *absolute = entry->absolute;
  *upright = entry->upright;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::SetOffsets(LONG index, double along,
                                                                                double across) {
  LinePointEntry* entry = Object()->At(index);
  if (!entry || !std::isfinite(along) || !std::isfinite(across)) return REPORT(E_INVALIDARG);
  entry->along = along;
  entry->across = across;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::GetOffsets(LONG index, double* along,
                                                                                double* across) {
  if (along) *along = 0;
  if (across) *across = 0;
  LinePointEntry* entry = Object()->At(index);
  if (!entry || !along || !across) return REPORT(E_INVALIDARG);
  *along = entry->along;
  *across = entry->across;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::SetSymbol(LONG index, IUnknown* style) {
  return Object()->SetSymbol(index, style);
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::GetSymbol(LONG index,
                                                                               IJStylePointSymbol** out) {
  return Object()->GetSymbol(index, out);
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::SetEntry(LONG index, IUnknown* style,
                                                                              float fraction, double along,
                                                                              double across, double angle,
                                                                              DWORD absolute, DWORD upright) {
  return Object()->SetEntry(index, style, fraction, along, across, angle, absolute, upright);
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::GetEntry(
    LONG index, IJStylePointSymbol** style, float* fraction, double* along, double* across, double* angle,
    DWORD* absolute, DWORD* upright) {
  return Object()->GetEntry(index, style, fraction, along, across, angle, absolute, upright);
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::SetEntryByID(LONG index, DWORD symbolID,
                                                                                  float fraction, double along,
                                                                                  double across, double angle,
                                                                                  DWORD absolute, DWORD upright) {
  return Object()->SetEntryByID(index, symbolID, fraction, along, across, angle, absolute, upright);
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::GetEntryByID(
    LONG index, DWORD* symbolID, float* fraction, double* along, double* across, double* angle, DWORD* absolute,
    DWORD* upright) {
  if (symbolID) *symbolID = kNoStyleID;
  if (!symbolID || !fraction || !along || !across || !angle || !absolute || !upright) {
    return REPORT(E_INVALIDARG);
  }
  *fraction = 0;
  *along = *across = *angle = 0;
  *absolute = *upright = 0;
  LinePointEntry* entry = Object()->At(index);
  if (!entry) return REPORT(E_INVALIDARG);
  if (entry->symbolID == kNoStyleID) return REPORT(E_FAIL);
  *symbolID = entry->symbolID;
  *fraction = entry->fraction;
  *along = entry->along;
  *across = entry->across;
  *angle = entry->angle;
  *absolute = entry->absolute;
  *upright = entry->upright;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::GetCount(DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_entries.Size();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLinePointGen::IJStyleLinePointGenImp::RemoveSymbol(LONG index) {
  return Object()->RemoveSymbol(index);
}
