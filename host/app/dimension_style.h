// The host's dimension style (CLSID_HostDimensionStyle), which the host serves and this server only creates:
// slot 4 of its interface keeps the dimension record it is given, and it takes part in a style library as a
// style does (IJManageStyle2: its library and ID, equality by the record). That interface's table is a plain
// array of function pointers, so that a caller that reaches the wrong slot fails. Register() makes the class
// reachable through CoCreateInstance for the calling apartment.
#pragma once

#include <vector>

#include "display/style/stylesrv_itf.h"

namespace host_app {
template <class T>
class HostFactoryOf;
}  // namespace host_app

class HostDimensionStyle final : public IJManageStyle2 {
 public:
  // The class object registered for the calling thread, until the cookie is revoked (CoRevokeClassObject).
  static HRESULT Register(DWORD* cookie);
  // Objects of the class alive.
  static LONG LiveCount();
  // The object behind an interface of one, or null for any other object.
  static HostDimensionStyle* From(IUnknown* object);

  // The record slot 4 kept, empty before it was called.
  const std::vector<BYTE>& Record() const { return m_record; }

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- IJManageStyle2 ----
  HRESULT STDMETHODCALLTYPE CopyFrom(IUnknown*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsSameStyle(IUnknown* other, BOOL* same) override;
  BOOL STDMETHODCALLTYPE IsFlagWordClear() override { return TRUE; }
  HRESULT STDMETHODCALLTYPE SetID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetID(WORD* n, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE SetFlagWord(WORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetOwner(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetLibrarian(IUnknown* librarian) override;
  HRESULT STDMETHODCALLTYPE ReleaseStyleRefs(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnumStyleRefs(StyleRefCallback) override { return S_OK; }  // it refers to no style
  HRESULT STDMETHODCALLTYPE CopyStyleToLibrary(IJSLLibrarian*, IJSLLibrarian*, IUnknown*, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetStyleCategory(GUID* out) override;
  HRESULT STDMETHODCALLTYPE OnStyleChanged(DWORD, DWORD) override { return S_OK; }

 private:
  template <class T>
  friend class host_app::HostFactoryOf;

  // The dimension-style interface: its table first, then the style it belongs to.
  struct DimensionFace {
    const void* const* table;
    HostDimensionStyle* self;
  };
  static HRESULT STDMETHODCALLTYPE FaceQueryInterface(DimensionFace* face, REFIID iid, void** out);
  static ULONG STDMETHODCALLTYPE FaceAddRef(DimensionFace* face);
  static ULONG STDMETHODCALLTYPE FaceRelease(DimensionFace* face);
  static HRESULT STDMETHODCALLTYPE FaceNotCalled(DimensionFace* face);
  static HRESULT STDMETHODCALLTYPE FaceSetRecord(DimensionFace* face, const BYTE* record);
  static void* const s_table[5];

  HostDimensionStyle();
  ~HostDimensionStyle();

  volatile LONG m_refs = 1;
  DimensionFace m_face;
  std::vector<BYTE> m_record;
  IUnknown* m_librarian = nullptr;  // the owning library, without a reference (it holds this style)
  DWORD m_id = 0;
};
