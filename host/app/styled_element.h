// A host element that keeps a style ID, as the host's drawing elements do: it answers IJStyledElement and the
// element's style source (slot 12 of IJElementStyleSource). Tests set what it answers and read what it was told.
#pragma once

#include "host/halvorn/elements.h"
#include "host/halvorn/halvorn.h"

class HostStyledElement final : public IJStyledElement, public IJElementStyleSource {
 public:
  // A new element with one reference, keeping `styleID`. With a document it is registered there, and the
  // document holds it too.
  static HostStyledElement* Create(IJDocumentNamedObjects* document = nullptr, DWORD styleID = 0);

  IUnknown* Unknown() { return static_cast<IJStyledElement*>(this); }
  DWORD StoredID() const { return m_id; }
  // The element's own slot of its style ID, whose address the host hands to HAssignStyleID.
  DWORD* Slot() { return &m_id; }
  // What slot 12 answers (the element holds a reference; null for none).
  void SetStyleObject(IUnknown* object);

  HRESULT setResult = S_OK;          // what SetStyleID answers; a failure keeps the ID
  LONG setCalls = 0;                 // SetStyleID calls
  bool offersStyleSource = true;     // whether it answers IJElementStyleSource

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- IJStyledElement ----
  HRESULT STDMETHODCALLTYPE SetStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetStyleID(DWORD* id) override;
  HRESULT STDMETHODCALLTYPE EnumStyleIDs(StyledElementIDCallback callback) override;

  // ---- IJElementStyleSource ----
  HRESULT STDMETHODCALLTYPE Slot3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Slot4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Slot5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Slot6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Slot7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Slot8() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Slot9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Slot10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Slot11() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStyleObject(IUnknown** out) override;

 private:
  explicit HostStyledElement(DWORD id) : m_id(id) {}
  ~HostStyledElement();

  volatile LONG m_refs = 1;
  DWORD m_id;
  IUnknown* m_styleObject = nullptr;
};
