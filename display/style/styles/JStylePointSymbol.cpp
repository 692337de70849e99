#include "display/style/styles/JStylePointSymbol.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "display/style/stylbas/JMissingGraphic.h"
#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "display/style/styles/SymbolPlacement.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/symdef/SymbolElements.h"
#include "host/halvorn/elements.h"

namespace {

constexpr char kSource[] = "PNTSYMBL";

constexpr DWORD kFilterCode = 22;
constexpr DWORD kFilterVersion = 2;
// What the display interface is told with each placement.
constexpr DWORD kPlacementFlag = 1;

constexpr wchar_t kClusterName[] = L"StyleCluster";

// The document's cluster of style symbols, with a reference. A document without one answers E_FAIL.
HRESULT FindCluster(IJDocumentNamedObjects* document, IUnknown** out) {
  HRESULT hr = document->FindNamedObject(kClusterName, out);
  if (hr == HALVORN_E_NO_NAMED_OBJECT || (SUCCEEDED(hr) && !*out)) hr = E_FAIL;
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT ClusterCopy(IUnknown* sourceLibrary, IJSLLibrarian* targetLibrarian, IJDocumentNamedObjects* document,
                    IUnknown* source, IUnknown** out);

// Takes a copy that could not be completed out of the document again, with the element copies made for it.
void DiscardCopy(IJDocumentNamedObjects* document, IUnknown* copy) {
  StyleCallDepth depth;
  if (!depth.Entered()) return;
  StyleComPtr<IJSymbolDefinition> definition;
  DWORD count = 0;
  if (SUCCEEDED(copy->QueryInterface(IID_IJSymbolDefinition, definition.PutVoid())) &&
      SUCCEEDED(definition->GetElementCount(&count))) {
    ElementBuffer elements;
    FetchElements(definition.Get(), count, &elements);
    for (DWORD i = 0; i < elements.Count(); ++i) {
      if (elements[i]) DiscardCopy(document, elements[i]);
    }
  }
  ReleaseEntryInDocument(document, copy);
}

// A copy without elements keeps the style its source uses: the copy takes the use itself, or else the source's
// style ID is copied into the target library and given to the copy.
HRESULT CopyStyleUse(IUnknown* sourceLibrary, IJSLLibrarian* targetLibrarian, IJDocumentNamedObjects* document,
                     IUnknown* source, IUnknown* copy) {
  StyleComPtr<IJStyleUser> user;
  if (SUCCEEDED(copy->QueryInterface(IID_IJStyleUser, user.PutVoid())) &&
      SUCCEEDED(user->CopyStyleUse(sourceLibrary, targetLibrarian, document, source, 0))) {
    return S_OK;
  }
  StyleComPtr<IJStyledElement> styled;
  if (FAILED(source->QueryInterface(IID_IJStyledElement, styled.PutVoid()))) return S_OK;
  DWORD id = kNoStyleID;
  HRESULT hr = styled->GetStyleID(&id);
  if (FAILED(hr)) return REPORT(hr);
  if (id == kNoStyleID || id == kInvalidStyleID) return S_OK;

  StyleComPtr<IJSLLibrarian> library;
  if (!sourceLibrary) return REPORT(E_INVALIDARG);
  if (FAILED(hr = sourceLibrary->QueryInterface(IID_IJSLLibrarian, library.PutVoid()))) return REPORT(hr);
  DWORD newID = kNoStyleID;
  if (FAILED(library->CopyStyleTo(id, targetLibrarian, &newID)) || newID == kNoStyleID) {
    StyleComPtr<IUnknown> style;
    if (FAILED(hr = library->GetStyle(id, style.Put()))) return REPORT(hr);
    if (!style) return REPORT(E_FAIL);
    StyleComPtr<IJManageStyle2> manage;
    if (FAILED(hr = style->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) return REPORT(hr);
    newID = kNoStyleID;
    if (FAILED(hr = manage->CopyStyleToLibrary(library.Get(), targetLibrarian, document, &newID))) {
      return REPORT(hr);
    }
  }
  StyleComPtr<IJStyledElement> copied;
  if (FAILED(hr = copy->QueryInterface(IID_IJStyledElement, copied.PutVoid()))) return REPORT(hr);
  if (FAILED(hr = copied->SetStyleID(newID))) return REPORT(hr);
  return S_OK;
}

// Copies each element of the source definition into the cluster and appends the copy to the copied definition.
HRESULT CopyElements(IUnknown* sourceLibrary, IJSLLibrarian* targetLibrarian, IJDocumentNamedObjects* document,
                     IJSymbolDefinition* source, DWORD count, IUnknown* copy) {
  StyleComPtr<IJSymbolDefinition> target;
  HRESULT hr = copy->QueryInterface(IID_IJSymbolDefinition, target.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  ElementBuffer elements;
  if (FAILED(hr = FetchElements(source, count, &elements))) return REPORT(hr);
  for (DWORD i = 0; i < elements.Count(); ++i) {
    if (!elements[i]) continue;
    StyleComPtr<IJGraphic> graphic;
    if (FAILED(hr = elements[i]->QueryInterface(IID_IJGraphic, graphic.PutVoid()))) return REPORT(hr);
    StyleComPtr<IUnknown> elementCopy;
    if (FAILED(hr = ClusterCopy(sourceLibrary, targetLibrarian, document, graphic.Get(), elementCopy.Put()))) {
      return hr;
    }
    if (FAILED(hr = target->AddElement(elementCopy.Get(), 0))) {
      DiscardCopy(document, elementCopy.Get());
      return REPORT(hr);
    }
  }
  return S_OK;
}

// A copy of the source graphic in the document's cluster, with copies of its elements when it is a symbol
// definition, handed out as IUnknown. A failure leaves nothing of the copy behind.
HRESULT ClusterCopy(IUnknown* sourceLibrary, IJSLLibrarian* targetLibrarian, IJDocumentNamedObjects* document,
                    IUnknown* source, IUnknown** out) {
  *out = nullptr;
  // Definitions may contain each other.
  StyleCallDepth depth;
  if (!depth.Entered()) return REPORT(E_FAIL);
  StyleComPtr<IUnknown> cluster;
  HRESULT hr = FindCluster(document, cluster.Put());
  if (FAILED(hr)) return hr;
  StyleComPtr<IJSymbolDefinition> definition;
  DWORD count = 0;
  if (SUCCEEDED(source->QueryInterface(IID_IJSymbolDefinition, definition.PutVoid()))) {
    if (FAILED(hr = definition->GetElementCount(&count))) return REPORT(hr);
  }

  StyleComPtr<IJPersist> persist;
  if (FAILED(hr = source->QueryInterface(IID_IJPersist, persist.PutVoid()))) return REPORT(hr);
  StyleComPtr<IUnknown> copy;
  if (FAILED(hr = persist->Clone(nullptr, copy.Put()))) return REPORT(hr);
  if (!copy) return REPORT(E_FAIL);
  if (FAILED(hr = DocumentInsertObject(document, copy.Get(), 0, cluster.Get(), GUID_NULL))) return REPORT(hr);

  hr = count == 0 ? CopyStyleUse(sourceLibrary, targetLibrarian, document, source, copy.Get())
                  : CopyElements(sourceLibrary, targetLibrarian, document, definition.Get(), count, copy.Get());
  if (FAILED(hr)) {
    DiscardCopy(document, copy.Get());
    return hr;
  }
  *out = copy.Detach();
  return S_OK;
}

// The point symbol behind an object made by this class (a clone), or null.
JStylePointSymbol* AsPointSymbol(IUnknown* object) {
  StyleComPtr<IJPersist> persist;
  CLSID clsid{};
  if (!object || FAILED(object->QueryInterface(IID_IJPersist, persist.PutVoid())) ||
      FAILED(persist->GetClassID(&clsid)) || !IsEqualCLSID(clsid, CLSID_JStylePointSymbol)) {
    return nullptr;
  }
  return static_cast<JStylePointSymbol*>(static_cast<JStyleBase*>(persist->GetImplementation()));
}

}  // namespace

JStylePointSymbol::JStylePointSymbol(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_LINE;
  m_filter = StylePointSymbolFilterBlock{kFilterCode, kFilterVersion, {0, 0}, {}};
}

JStylePointSymbol::~JStylePointSymbol() { ReleaseCache(m_symbol); }

void* JStylePointSymbol::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStylePointSymbol)) return &m_IJStylePointSymbolImp;
  if (IsEqualIID(iid, IID_IJGraphic)) return &m_IJGraphicImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

void* JStylePointSymbol::GetAggregateInterface(REFIID iid) {
  if (void* found = CStyleRdr2dBase::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&CLSID_JStylePointSymbol, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStylePointSymbol::GetClassID(GUID* out) {
  *out = CLSID_JStylePointSymbol;
  return out;
}

GUID* JStylePointSymbol::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_PointSymbol;
  return out;
}

// ---- the symbol ----

void JStylePointSymbol::DropSymbol() {
  ReleaseCache(m_symbol);
  m_symbolID = 0;
  // A new symbol has not heard of the owner yet.
  m_ownerAnnounced = 0;
}

void JStylePointSymbol::KeepSymbol(IJGraphic* symbol) {
  DropSymbol();
  symbol->AddRef();
  m_symbol = symbol;
  // A symbol that lives in no document of the style has no ID here yet: the adoption gives it one.
  DWORD id = 0;
  if (SUCCEEDED(GetDocumentObjectID(&id, symbol))) m_symbolID = id;
}

HRESULT JStylePointSymbol::ResolveSymbol(IJGraphic** out) {
  *out = nullptr;
  if (!m_symbol) {
    if (m_symbolID == 0) return S_OK;
    StyleComPtr<IUnknown> object;
    if (FAILED(GetActiveDocStyleObject(object.Put(), m_symbolID)) || !object) return S_FALSE;
    IJGraphic* found = nullptr;
    const HRESULT hr = object->QueryInterface(IID_IJGraphic, reinterpret_cast<void**>(&found));
    if (FAILED(hr)) return REPORT(hr);
    m_symbol = found;
  }
  m_symbol->AddRef();
  *out = m_symbol;
  return S_OK;
}

HRESULT JStylePointSymbol::DrawnSymbol(IJGraphic** out, bool* placeholder) {
  *placeholder = false;
  const HRESULT hr = ResolveSymbol(out);
  if (hr != S_FALSE) return hr;
  *placeholder = true;
  const HRESULT found = GetMissingGraphic()->QueryInterface(IID_IJGraphic, reinterpret_cast<void**>(out));
  return FAILED(found) ? REPORT(found) : S_OK;
}

void JStylePointSymbol::AnnounceOwner(IJGraphic* symbol) {
  if (m_ownerAnnounced || !m_owner || !m_ownerIsLibrarian) return;
  StyleComPtr<IJStyleUser> user;
  if (SUCCEEDED(symbol->QueryInterface(IID_IJStyleUser, user.PutVoid()))) {
    DWORD answer = 0;
    user->AnnounceOwner(m_owner, &answer);
  }
  m_ownerAnnounced = 1;
}

HRESULT JStylePointSymbol::SetGraphic(IUnknown* symbol) {
  if (!symbol) {
    DropSymbol();
    return S_OK;
  }
  StyleComPtr<IJGraphic> graphic;
  HRESULT hr = symbol->QueryInterface(IID_IJGraphic, graphic.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  // The style as its own symbol would draw itself for ever and keep itself alive.
  if (StyleSameObject(graphic.Get(), Identity())) return REPORT(E_INVALIDARG);

  // The old symbol stays until the new one has its place in the owner's document.
  StyleComPtr<IJGraphic> previous(m_symbol);
  const DWORD previousID = m_symbolID;
  const BYTE previousAnnounced = m_ownerAnnounced;
  m_symbol = nullptr;
  KeepSymbol(graphic.Get());
  if (FAILED(hr = AdoptSymbol())) {
    ReleaseCache(m_symbol);
    m_symbol = previous.Detach();
    m_symbolID = previousID;
    m_ownerAnnounced = previousAnnounced;
  }
  return hr;
}

HRESULT JStylePointSymbol::GetGraphic(IJGraphic** out) {
  if (!out) return REPORT(E_INVALIDARG);
  return ResolveSymbol(out);
}

HRESULT JStylePointSymbol::AdoptSymbol() {
  if (!m_symbol || !m_owner) return S_OK;
  StyleCallDepth depth;
  if (!depth.Entered()) return REPORT(E_FAIL);
  StyleComPtr<IJDocumentNamedObjects> ownerDocument;
  StyleComPtr<IJDocumentNamedObjects> symbolDocument;
  if (FAILED(GetObjectDocument(m_owner, ownerDocument.Put())) ||
      FAILED(GetObjectDocument(m_symbol, symbolDocument.Put()))) {
    return S_OK;
  }

  DWORD symbolID = 0;
  DWORD second = 0;
  HRESULT hr = symbolDocument->RegisterObject(m_symbol, &symbolID, &second);
  if (FAILED(hr)) return REPORT(hr);
  DWORD answer = 0;
  if (FAILED(hr = symbolDocument->NotifyID(symbolID, &answer))) return REPORT(hr);
  StyleComPtr<IUnknown> container;
  if (FAILED(hr = symbolDocument->GetContainerOfID(symbolID, container.Put()))) return REPORT(hr);
  StyleComPtr<IUnknown> cluster;
  if (FAILED(hr = FindCluster(ownerDocument.Get(), cluster.Put()))) return hr;

  if (!StyleSameObject(container.Get(), cluster.Get())) {
    StyleComPtr<IJSLLibrarian> librarian;
    if (FAILED(hr = m_owner->QueryInterface(IID_IJSLLibrarian, librarian.PutVoid()))) return REPORT(hr);
    StyleComPtr<IUnknown> copy;
    hr = ClusterCopy(m_owner, librarian.Get(), ownerDocument.Get(), m_symbol, copy.Put());
    if (FAILED(hr)) return hr;
    StyleComPtr<IJGraphic> graphic;
    if (FAILED(hr = copy->QueryInterface(IID_IJGraphic, graphic.PutVoid()))) {
      DiscardCopy(ownerDocument.Get(), copy.Get());
      return REPORT(hr);
    }
    KeepSymbol(graphic.Get());
  }

  if (m_symbolID == 0) {
    DWORD id = 0;
    if (FAILED(hr = ownerDocument->RegisterObject(m_symbol, &id, nullptr))) return REPORT(hr);
    if (FAILED(hr = ownerDocument->NotifyID(id, &answer))) return REPORT(hr);
    m_symbolID = id;
  }
  return S_OK;
}

// ---- drawing ----

HRESULT JStylePointSymbol::Render(const StyleGeometryRecord* geometry, IRenderTarget2d*,
                                  const RenderContextScales* context, IJStyleRender*, tagStyleOverride* record,
                                  BOOL recordGiven, const StyleElementRecord* element) {
  if (!geometry || !geometry->pointList || !element || !element->display) return REPORT(E_INVALIDARG);
  const StylePointRun* list = geometry->pointList;
  if (list->count == 0) return S_OK;
  if (!list->points) return REPORT(E_INVALIDARG);
  StyleComPtr<IJGraphic> symbol;
  bool placeholder = false;
  HRESULT hr = DrawnSymbol(symbol.Put(), &placeholder);
  if (FAILED(hr) || !symbol) return hr;
  return DrawAtPoints(geometry, context, record, recordGiven && record, element, symbol.Get(), placeholder);
}

HRESULT JStylePointSymbol::DrawAtPoints(const StyleGeometryRecord* geometry, const RenderContextScales* context,
                                        tagStyleOverride* record, BOOL recordGiven,
                                        const StyleElementRecord* element, IJGraphic* symbol, bool placeholder) {
  const bool oriented = geometry->type == kGeometryOrientedPoints;
  const auto* points = static_cast<const double*>(geometry->pointList->points);
  const DWORD count = geometry->pointList->count;

  double scale = ConvertStyleLength(1.0, m_unitsCode, context, FALSE);
  if (recordGiven && (record->flags & OVR_SCALE)) scale *= record->scaleFactor;
  const SymbolPlacement placement(scale, context ? context->verticalAxisFactor : 1.0);
  // A matrix of NaNs or infinities would place the symbol nowhere; nothing is drawn for it.
  if (!placement.IsValid() || !SymbolPlacement::ArePlaceable(points, count, oriented)) {
    return REPORT(E_INVALIDARG);
  }

  HeldDrawContext held;
  GraphicDrawContext& draw = held.context;
  IJElementDisplay* display = nullptr;
  HRESULT hr = element->display->QueryInterface(IID_IJElementDisplay, reinterpret_cast<void**>(&display));
  if (FAILED(hr)) return REPORT(hr);
  draw.word400 = 1;
  draw.display = display;
  draw.displayIid = &IID_IJElementDisplay;
  draw.slot412Iid = &IID_IUnknown;
  const auto giveFilter = [&] {
    IJStylePointSymbolFilter* filter = &m_IJStylePointSymbolFilterImp;
    filter->AddRef();
    draw.filter = filter;
    draw.filterIid = &IID_IJStylePointSymbolFilter;
  };
  if (recordGiven) {
    m_filter.record = *record;
    giveFilter();
  } else {
    m_filter.record.flags = 0;
  }

  StyleComPtr<IJElementDisplayScope> scope;
  if (FAILED(hr = element->display->QueryInterface(IID_IJElementDisplayScope, scope.PutVoid()))) return REPORT(hr);
  if (m_owner && FAILED(hr = scope->BeginOwner(m_owner))) return REPORT(hr);

  for (DWORD i = 0; i < count && SUCCEEDED(hr); ++i) {
    G4x4 matrix;
    if (oriented) {
      const auto* point = reinterpret_cast<const StyleOrientedPoint*>(points) + i;
      const double angle = placement.Angle(point->direction[0], point->direction[1]);
      if (!draw.filter) giveFilter();
      // Only the first oriented point tells the symbol its angle, unless the caller's record carried one.
      if (!(m_filter.record.flags & OVR_ROTATION)) {
        m_filter.record.flags |= OVR_ROTATION;
        m_filter.record.rotationAngle = angle;
      }
      matrix = placement.At(point->position, angle);
    } else {
      matrix = placement.At(points + std::size_t{i} * 3);
    }
    if (FAILED(hr = display->BeginPlacement(matrix.m_matrix, kPlacementFlag))) {
      REPORT(hr);
      break;
    }
    if (!placeholder) AnnounceOwner(symbol);
    hr = symbol->Draw(&draw);
    // A placement begun is ended even when the symbol failed, or all the display draws later would be placed.
    const HRESULT ended = display->EndPlacement();
    if (SUCCEEDED(hr)) hr = ended;
    if (FAILED(hr)) REPORT(hr);
  }

  if (m_owner) {
    const HRESULT ended = scope->EndOwner();
    if (FAILED(ended)) {
      REPORT(ended);
      if (SUCCEEDED(hr)) hr = ended;
    }
  }
  return FAILED(hr) ? hr : S_OK;
}

// ---- extents ----

HRESULT JStylePointSymbol::AddSymbolReach(StyleExtent* extent, bool withSymbolExtent) {
  StyleComPtr<IJGraphic> symbol;
  bool placeholder = false;
  HRESULT hr = DrawnSymbol(symbol.Put(), &placeholder);
  if (FAILED(hr) || !symbol) return hr;
  GraphicRange box{};
  StyleExtent own{};
  if (FAILED(hr = symbol->GetRange(&box, withSymbolExtent ? &own : nullptr))) return REPORT(hr);
  const double reach = std::hypot(std::max(std::fabs(box.xmin), std::fabs(box.xmax)),
                                  std::max(std::fabs(box.ymin), std::fabs(box.ymax)));
  // A range that is not a number says nothing of where the symbol reaches.
  if (!std::isfinite(reach)) return S_OK;
  switch (m_unitsCode) {
    case STYLE_UNITS_13:
      extent->value = AddSaturated(extent->value, TruncateExtent(reach + 2.0 * own.value));
      break;
    case STYLE_UNITS_11:
      extent->first += reach + 2.0 * own.first;
      break;
    case STYLE_UNITS_12:
      extent->second += reach + 2.0 * own.second;
      break;
    default:
      break;
  }
  return S_OK;
}

HRESULT JStylePointSymbol::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return REPORT(E_INVALIDARG);
  return AddSymbolReach(extent, false);
}

HRESULT JStylePointSymbol::GetExtentRecord(StyleExtent* extent, const RenderContextScales*, tagStyleOverride*) {
  if (!extent) return REPORT(E_INVALIDARG);
  return AddSymbolReach(extent, true);
}

// ---- references, copying and comparing ----

BOOL JStylePointSymbol::UsesStyleID(DWORD id) {
  if (m_symbol) {
    StyleComPtr<IJStyleUser> user;
    if (SUCCEEDED(m_symbol->QueryInterface(IID_IJStyleUser, user.PutVoid())) && user->UsesStyleID(id)) return TRUE;
  }
  return CStyleRdr2dBase::UsesStyleID(id);
}

HRESULT JStylePointSymbol::SetReferencedStyle(IUnknown*) {
  DropReferencedStyle();
  m_referencedStyleID = kNoStyleID;
  return S_OK;
}

HRESULT JStylePointSymbol::SetOwner(IUnknown* owner) {
  HRESULT hr = CStyleRdr2dBase::SetOwner(owner);
  if (FAILED(hr)) return REPORT(hr);
  return m_symbolID == 0 ? AdoptSymbol() : S_OK;
}

HRESULT JStylePointSymbol::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  auto* copy = new JStylePointSymbol(outer);
  if (!copy) return REPORT(E_OUTOFMEMORY);
  copy->AddRef();
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStylePointSymbol::CopyFrom(IUnknown*, DWORD) { return S_OK; }

HRESULT JStylePointSymbol::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                         IUnknown** out) {
  HRESULT hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, out);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> made(*out);
  *out = nullptr;
  JStylePointSymbol* copy = AsPointSymbol(made.Get());
  if (!copy) return REPORT(E_UNEXPECTED);
  StyleComPtr<IJGraphic> symbol;
  if (FAILED(hr = ResolveSymbol(symbol.Put()))) return hr;
  if (symbol) {
    StyleComPtr<IJDocumentNamedObjects> document;
    if (!targetDocument || FAILED(targetDocument->QueryInterface(IID_IJDocumentNamedObjects, document.PutVoid()))) {
      // No document to hold a copy: the copy shares the symbol, and its owner's document adopts it later.
      copy->KeepSymbol(symbol.Get());
    } else {
      StyleComPtr<IUnknown> symbolCopy;
      if (FAILED(hr = ClusterCopy(source, target, document.Get(), symbol.Get(), symbolCopy.Put()))) return hr;
      StyleComPtr<IJGraphic> graphic;
      DWORD id = 0;
      DWORD answer = 0;
      hr = symbolCopy->QueryInterface(IID_IJGraphic, graphic.PutVoid());
      if (SUCCEEDED(hr)) hr = document->RegisterObject(graphic.Get(), &id, nullptr);
      if (SUCCEEDED(hr)) hr = document->NotifyID(id, &answer);
      if (FAILED(hr)) {
        DiscardCopy(document.Get(), symbolCopy.Get());
        return REPORT(hr);
      }
      copy->DropSymbol();
      copy->m_symbol = graphic.Detach();
      copy->m_symbolID = id;
    }
  }
  *out = made.Detach();
  return S_OK;
}

HRESULT JStylePointSymbol::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return REPORT(E_INVALIDARG);
  *same = FALSE;
  if (StyleSameObject(other, Identity())) {
    *same = TRUE;
    return S_OK;
  }
  HRESULT hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) return REPORT(hr);
  if (!*same) return S_OK;
  *same = FALSE;
  StyleComPtr<IJStylePointSymbol> theirs;
  if (FAILED(other->QueryInterface(IID_IJStylePointSymbol, theirs.PutVoid()))) return S_OK;
  StyleComPtr<IJGraphic> theirSymbol;
  const HRESULT theirAnswer = theirs->GetGraphic(theirSymbol.Put());
  if (FAILED(theirAnswer)) return REPORT(theirAnswer);
  StyleComPtr<IJGraphic> mySymbol;
  const HRESULT myAnswer = ResolveSymbol(mySymbol.Put());
  if (FAILED(myAnswer)) return myAnswer;
  // A symbol that cannot be found is no symbol held: two such styles are not known to hold the same.
  if (myAnswer == S_FALSE || theirAnswer == S_FALSE) return S_OK;
  *same = StyleSameObject(mySymbol.Get(), theirSymbol.Get());
  return S_OK;
}

// ---- persistence ----

HRESULT JStylePointSymbol::ExchangeSymbolID(JArchive* archive) {
  DWORD id = m_symbolID;
  const HRESULT hr = Exchange(archive, id);
  if (FAILED(hr)) return REPORT(hr);
  if (IsLoading(archive)) {
    // The next use fetches the symbol again by its ID.
    if (DropsCachedReferences(archive) || id != m_symbolID) ReleaseCache(m_symbol);
    m_symbolID = id;
  }
  return S_OK;
}

HRESULT JStylePointSymbol::Serialize(JArchive* archive) {
  if (!IsVersioned(archive)) return SerializeCurrent(archive);
  WORD version = 0;
  DWORD scratch = 0;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStylePointSymbol, &version, &scratch);
  if (FAILED(hr)) return REPORT(hr);
  if (version == 1 || version == 2) {
    if (FAILED(hr = SerializeClass(archive))) return REPORT(hr);
    DWORD units = m_unitsCode;
    if (FAILED(hr = Exchange(archive, units))) return REPORT(hr);
    if (IsLoading(archive)) {
      if (!IsStorableUnitsCode(units)) return REPORT(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
      m_unitsCode = units;
    }
  } else if (version == kCurrentVersion) {
    StyleBaseRecord base{};
    if (FAILED(hr = SerializeBase(archive, &base))) return REPORT(hr);
  }
  // Every version carries the symbol's ID, a version this class does not know as well.
  return ExchangeSymbolID(archive);
}

HRESULT JStylePointSymbol::SerializeCurrent(JArchive* archive) {
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return REPORT(hr);
  return ExchangeSymbolID(archive);
}

// ---- IJStylePointSymbol ----

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJStylePointSymbolImp::SetGraphic(IUnknown* symbol) {
  return Object()->SetGraphic(symbol);
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJStylePointSymbolImp::GetGraphic(IJGraphic** out) {
  return Object()->GetGraphic(out);
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJStylePointSymbolImp::SetUnits(DWORD unitsCode) {
  // Only a code the style's record can carry.
  if (!IsStorableUnitsCode(unitsCode)) return REPORT(E_INVALIDARG);
  Object()->m_unitsCode = unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJStylePointSymbolImp::GetUnits(DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJStylePointSymbolImp::GetSymbolFlags(DWORD* out) {
  if (out) *out = Object()->m_symbolFlags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJStylePointSymbolImp::SetSymbolFlags(DWORD flags) {
  Object()->m_symbolFlags = flags;
  return S_OK;
}

// ---- IJStylePointSymbolFilter ----

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJStylePointSymbolFilterImp::GetFilterBlock(
    StylePointSymbolFilterBlock** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = &Object()->m_filter;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJStylePointSymbolFilterImp::NotOffered4() { return E_NOTIMPL; }

// ---- IJGraphic ----

template <class Call>
HRESULT JStylePointSymbol::ThroughSymbol(bool draws, Call call) {
  // A symbol may be a point symbol too.
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  StyleComPtr<IJGraphic> symbol;
  bool placeholder = false;
  const HRESULT hr = DrawnSymbol(symbol.Put(), &placeholder);
  if (FAILED(hr)) return hr;
  if (!symbol) return REPORT(E_FAIL);
  if (draws && !placeholder) AnnounceOwner(symbol.Get());
  return call(symbol.Get());
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJGraphicImp::GetGraphicType(DWORD* out) {
  return Object()->ThroughSymbol(false, [=](IJGraphic* symbol) { return symbol->GetGraphicType(out); });
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJGraphicImp::Notify(DWORD a, DWORD b, DWORD c, IUnknown* sink) {
  return Object()->ThroughSymbol(false, [=](IJGraphic* symbol) { return symbol->Notify(a, b, c, sink); });
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJGraphicImp::Draw(GraphicDrawContext* context) {
  return Object()->ThroughSymbol(true, [=](IJGraphic* symbol) { return symbol->Draw(context); });
}

HRESULT STDMETHODCALLTYPE JStylePointSymbol::IJGraphicImp::GetRange(GraphicRange* range, StyleExtent* extent) {
  return Object()->ThroughSymbol(false, [=](IJGraphic* symbol) { return symbol->GetRange(range, extent); });
}
