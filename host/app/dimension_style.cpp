#include "host/app/dimension_style.h"

#include <new>

#include "host/app/host_double.h"

namespace {

// Of kDimensionRecordSize in display/style/styllib/JStyleLib.h; the host's own number.
constexpr std::size_t kRecordSize = 1321;

volatile LONG g_live = 0;

template <class F>
void* Slot(F f) {
  return reinterpret_cast<void*>(f);
}

}  // namespace


namespace {
host_app::HostFactoryOf<HostDimensionStyle> g_factory;
}  // namespace

HRESULT HostDimensionStyle::Register(DWORD* cookie) {
  return CoRegisterClassObject(CLSID_HostDimensionStyle, &g_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                               cookie);
}

LONG HostDimensionStyle::LiveCount() { return g_live; }

void* const HostDimensionStyle::s_table[5] = {Slot(&FaceQueryInterface), Slot(&FaceAddRef), Slot(&FaceRelease),
                                              Slot(&FaceNotCalled), Slot(&FaceSetRecord)};

HostDimensionStyle::HostDimensionStyle() : m_face{s_table, this} { InterlockedIncrement(&g_live); }
HostDimensionStyle::~HostDimensionStyle() { InterlockedDecrement(&g_live); }

HostDimensionStyle* HostDimensionStyle::From(IUnknown* object) {
  void* face = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IJHostDimensionStyle, &face)) || !face) return nullptr;
  HostDimensionStyle* self = static_cast<DimensionFace*>(face)->self;
  self->Release();  // the caller holds the object
  return self;
}

HRESULT STDMETHODCALLTYPE HostDimensionStyle::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJManageStyle2)) {
    *out = static_cast<IJManageStyle2*>(this);
  } else if (IsEqualIID(iid, IID_IJHostDimensionStyle)) {
    *out = &m_face;
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE HostDimensionStyle::Release() {
  const LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE HostDimensionStyle::FaceQueryInterface(DimensionFace* face, REFIID iid, void** out) {
  return face->self->QueryInterface(iid, out);
}

ULONG STDMETHODCALLTYPE HostDimensionStyle::FaceAddRef(DimensionFace* face) { return face->self->AddRef(); }

ULONG STDMETHODCALLTYPE HostDimensionStyle::FaceRelease(DimensionFace* face) { return face->self->Release(); }

HRESULT STDMETHODCALLTYPE HostDimensionStyle::FaceNotCalled(DimensionFace*) { return E_UNEXPECTED; }

HRESULT STDMETHODCALLTYPE HostDimensionStyle::FaceSetRecord(DimensionFace* face, const BYTE* record) {
  if (!record) return E_POINTER;
  face->self->m_record.assign(record, record + kRecordSize);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HostDimensionStyle::IsSameStyle(IUnknown* other, BOOL* same) {
  if (!same) return E_INVALIDARG;
  const HostDimensionStyle* that = From(other);
  *same = that && that->m_record == m_record;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HostDimensionStyle::SetID(DWORD id) {
  m_id = id;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HostDimensionStyle::GetID(WORD* n, DWORD* id) {
  if (n) *n = 0;
  if (!id) return E_INVALIDARG;
  *id = m_id;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HostDimensionStyle::GetOwner(IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = m_librarian;
  if (*out) (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HostDimensionStyle::SetLibrarian(IUnknown* librarian) {
  m_librarian = librarian;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HostDimensionStyle::GetStyleCategory(GUID* out) {
  if (!out) return E_INVALIDARG;
  *out = STYLETYPE_Dimension;
  return S_OK;
}
