#include "display/style/styles/JStyleSimpleMultiplexer.h"

#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "SIMPLMUX";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

constexpr int kFirst = 0;
constexpr int kSecond = 1;

}  // namespace

JStyleSimpleMultiplexer::JStyleSimpleMultiplexer(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_LINE;
}

JStyleSimpleMultiplexer::~JStyleSimpleMultiplexer() {
  for (Held& held : m_held) ReleaseCache(held.style);
}

void* JStyleSimpleMultiplexer::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleSimpleMultiplexer)) return &m_IJStyleSimpleMultiplexerImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

GUID* JStyleSimpleMultiplexer::GetClassID(GUID* out) {
  *out = CLSID_JStyleSimpleMultiplexer;
  return out;
}

// ---- the two styles ----

HRESULT JStyleSimpleMultiplexer::SetStyle(int which, IUnknown* style) {
  const int line = which == kFirst ? 330 : 440;
  if (!style || IsSelf(style)) return Report(E_INVALIDARG, line);
  IJStyleRender* render = nullptr;
  const HRESULT hr = style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
  if (FAILED(hr)) return Report(hr, line + 4);
  ReleaseCache(m_held[which].style);
  m_held[which].style = render;
  if (which == kSecond) {
    DWORD kind = STYLE_KIND_LINE;
    m_styleKind = SUCCEEDED(render->GetStyleKind(&kind)) && kind == STYLE_KIND_FILL ? STYLE_KIND_FILL
                                                                                     : STYLE_KIND_LINE;
  }
  return S_OK;
}

HRESULT JStyleSimpleMultiplexer::GetStyle(int which, IUnknown** out) {
  const int line = which == kFirst ? 380 : 490;
  if (!out) return Report(E_INVALIDARG, line);
  *out = nullptr;
  if (!m_held[which].style) return S_OK;
  const HRESULT hr = m_held[which].style->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
  if (FAILED(hr)) Report(hr, line + 6);
  return hr;
}

HRESULT JStyleSimpleMultiplexer::Fetch(Held& held, int line) {
  if (held.style || held.objectID == 0) return S_OK;
  StyleComPtr<IUnknown> object;
  HRESULT hr = GetActiveDocStyleObject(object.Put(), held.objectID);
  if (SUCCEEDED(hr) && !object) hr = E_FAIL;
  if (FAILED(hr)) return Report(hr, line);
  // A record that names this style itself would keep it alive for ever.
  if (IsSelf(object.Get())) return Report(E_INVALIDARG, line);
  IJStyleRender* render = nullptr;
  hr = object->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
  if (FAILED(hr)) return Report(hr, line);
  held.style = render;
  return S_OK;
}

// Every path that reaches the two styles fetches them first: a loaded record draws and measures what it names.
template <class Call>
HRESULT JStyleSimpleMultiplexer::ForEachStyle(Call call, int line) {
  HRESULT hr = S_OK;
  for (Held& held : m_held) {
    const HRESULT fetched = Fetch(held, line);
    if (FAILED(fetched)) return fetched;
    if (!held.style) continue;
    held.style->AddRef();
    StyleComPtr<IJStyleRender> style(held.style);
    hr = call(style.Get());
    if (FAILED(hr)) return Report(hr, line);
  }
  return hr;
}

// ---- drawing and extents ----

HRESULT JStyleSimpleMultiplexer::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                        const RenderContextScales* context, IJStyleRender* substitute,
                                        tagStyleOverride* record, BOOL recordGiven,
                                        const StyleElementRecord* element) {
  const tagStyleOverride* given = recordGiven ? record : nullptr;
  return ForEachStyle(
      [&](IJStyleRender* style) {
        return style->RenderWithContext(geometry, target, context, substitute, given, element);
      },
      1208);
}

HRESULT JStyleSimpleMultiplexer::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  return ForEachStyle([&](IJStyleRender* style) { return MergeExtentDeltaOf(style, extent); }, 1420);
}

HRESULT JStyleSimpleMultiplexer::GetRange(StyleExtent* extent, const RenderContextScales* context,
                                          IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven) {
  if (!extent) return E_INVALIDARG;
  const tagStyleOverride* given = recordGiven ? record : nullptr;
  return ForEachStyle(
      [&](IJStyleRender* style) { return MergeRangeOf(style, extent, context, substitute, given); }, 1770);
}

HRESULT JStyleSimpleMultiplexer::SetReferencedStyle(IUnknown*) {
  DropReferencedStyle();
  m_referencedStyleID = kNoStyleID;
  return S_OK;
}

// The changed ID is a style ID of the owner library: a held style is the changed one when the owner names it so.
HRESULT JStyleSimpleMultiplexer::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = CStyleRdr2dBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) return Report(hr, 2823);
  StyleComPtr<IJSLLibrarian> librarian;
  if (id == kNoStyleID || id == kInvalidStyleID || FAILED(OwnerLibrarian(librarian.Put()))) return hr;
  auto* object = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle));
  bool matched = false;
  for (Held& held : m_held) {
    DWORD found = kNoStyleID;
    if (!held.style || FAILED(librarian->FindStyleID(held.style, &found)) || found != id) continue;
    matched = true;
    ReleaseCache(held.style);
    if (!object || IsSelf(object)) continue;
    IJStyleRender* render = nullptr;
    const HRESULT asked = object->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
    if (FAILED(asked)) return Report(asked, 2836);
    held.style = render;
  }
  return matched ? S_OK : hr;
}

// ---- copying and comparing ----

void JStyleSimpleMultiplexer::CopyStylesFrom(const JStyleSimpleMultiplexer& source) {
  for (int i = kFirst; i <= kSecond; ++i) {
    IJStyleRender* style = source.m_held[i].style;
    if (style && IsSelf(style)) style = nullptr;
    if (style) style->AddRef();
    ReleaseCache(m_held[i].style);
    m_held[i].style = style;
    m_held[i].objectID = source.m_held[i].objectID;
  }
  m_styleKind = source.m_styleKind;
  m_unitsCode = source.m_unitsCode;
}

HRESULT JStyleSimpleMultiplexer::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return Report(E_INVALIDARG, 1935);
  auto* copy = new JStyleSimpleMultiplexer(outer);
  if (!copy) return Report(E_OUTOFMEMORY, 1940);
  copy->AddRef();
  copy->CopyStylesFrom(*this);
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleSimpleMultiplexer::CopyFrom(IUnknown* source, DWORD flags) {
  const HRESULT hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return Report(hr, 1976);
  // The styles and their IDs come only from another simple multiplexer; of any other style only the base data.
  auto* other = StyleImplementationOf<JStyleSimpleMultiplexer>(source, CLSID_JStyleSimpleMultiplexer);
  if (!other) return S_OK;
  if (other != this) CopyStylesFrom(*other);
  return S_OK;
}

HRESULT JStyleSimpleMultiplexer::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleSimpleMultiplexer> theirs;
  if (FAILED(other->QueryInterface(IID_IJStyleSimpleMultiplexer, theirs.PutVoid()))) return S_OK;
  HRESULT hr;
  for (int which = kFirst; which <= kSecond; ++which) {
    StyleComPtr<IUnknown> mine;
    if (FAILED(hr = GetStyle(which, mine.Put()))) return hr;
    StyleComPtr<IUnknown> their;
    hr = which == kFirst ? theirs->GetFirstStyle(their.Put()) : theirs->GetSecondStyle(their.Put());
    if (FAILED(hr)) return Report(hr, 2083);
    BOOL equal = FALSE;
    hr = SameReferencedStyle(mine.Get(), their.Get(), &equal, kSource, 2090);
    if (FAILED(hr) || !equal) return hr;
  }
  hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, 2154);
  return hr;
}

// ---- persistence ----

HRESULT JStyleSimpleMultiplexer::Serialize(JArchive* archive) { return SerializeCurrent(archive); }

HRESULT JStyleSimpleMultiplexer::SerializeCurrent(JArchive* archive) {
  HRESULT hr = SerializeClass(archive);
  if (FAILED(hr)) return Report(hr, 1777);
  DWORD ids[2] = {m_held[kFirst].objectID, m_held[kSecond].objectID};
  if (IsStoring(archive)) {
    // A held style is named by the document; one only loaded and not yet fetched keeps the ID it came with.
    for (int i = kFirst; i <= kSecond; ++i) {
      if (m_held[i].style && FAILED(hr = GetDocumentObjectID(&ids[i], m_held[i].style))) return Report(hr, 1790);
    }
  }
  for (DWORD& id : ids) {
    if (FAILED(hr = Exchange(archive, id))) return Report(hr, 1795);
  }
  if (IsLoading(archive)) {
    // The record names the styles from here on; they are fetched from the document when first needed.
    for (int i = kFirst; i <= kSecond; ++i) {
      ReleaseCache(m_held[i].style);
      m_held[i].objectID = ids[i];
    }
  }
  return S_OK;
}

HRESULT JStyleSimpleMultiplexer::SerializeWithHeader(JArchive* archive) {
  WORD version = 0;
  DWORD scratch = 0;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleSimpleMultiplexer, &version, &scratch);
  if (FAILED(hr)) return Report(hr, 1810);
  hr = Serialize(archive);
  if (FAILED(hr)) Report(hr, 1813);
  return hr;
}

// ---- IJStyleSimpleMultiplexer ----

HRESULT STDMETHODCALLTYPE JStyleSimpleMultiplexer::IJStyleSimpleMultiplexerImp::SetFirstStyle(IUnknown* style) {
  return Object()->SetStyle(kFirst, style);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleMultiplexer::IJStyleSimpleMultiplexerImp::GetFirstStyle(IUnknown** out) {
  return Object()->GetStyle(kFirst, out);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleMultiplexer::IJStyleSimpleMultiplexerImp::SetSecondStyle(IUnknown* style) {
  return Object()->SetStyle(kSecond, style);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleMultiplexer::IJStyleSimpleMultiplexerImp::GetSecondStyle(IUnknown** out) {
  return Object()->GetStyle(kSecond, out);
}
