#include "display/style/wrkshop/JStyleDescriptor.h"

#include <cstdlib>

#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"

namespace {

constexpr char kSource[] = "display/style/wrkshop/styldesc";

// An out argument the descriptor may write `size` bytes to; editors are outside code, so it is probed rather
// than trusted.
bool IsUsableOut(void* out, UINT_PTR size) { return out && !IsBadReadPtr(out, size) && !IsBadWritePtr(out, size); }

bool IsEmpty(LPCWSTR text) { return !text || !*text; }

// Takes the new reference before letting go of the old one, so that setting the held object again is harmless.
void ReplaceReference(IUnknown** slot, IUnknown* object) {
  if (object) object->AddRef();
  IUnknown* old = *slot;
  *slot = object;
  if (old) old->Release();
}

}  // namespace

JStyleDescriptor::~JStyleDescriptor() {
  FreeRecord(m_record);
  if (m_context) m_context->Release();
}

void JStyleDescriptor::FreeRecord(StyleRecord* record) {
  if (!record) return;
  StyleFreeText(record->name);
  StyleFreeText(record->auxText);
  if (record->styleObject) record->styleObject->Release();
  std::free(record->type);
  std::free(record);
}

void* JStyleDescriptor::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStylDes)) return &m_IJStylDesImp;
  if (IsEqualIID(iid, IID_IJStyleDescriptorRecord)) return &m_IJStyleDescriptorRecordImp;
  return UUnknown::GetInterface(iid);
}

StyleRecord* JStyleDescriptor::Record(int line) {
  if (!m_record) StyleReport(kSource, E_FAIL, line);
  return m_record;
}

HRESULT JStyleDescriptor::CopyOut(LPCWSTR text, LPWSTR* out, int line) {
  if (!Record(line)) return E_FAIL;
  if (!IsUsableOut(out, sizeof *out)) return StyleReport(kSource, E_FAIL, line);
  if (!text) return S_OK;
  LPWSTR copy = StyleDupText(text);
  if (!copy) return StyleReport(kSource, E_FAIL, line);
  *out = copy;
  return S_OK;
}

HRESULT JStyleDescriptor::Replace(LPWSTR* field, LPCWSTR text, int line) {
  if (!StyleReplaceText(field, IsEmpty(text) ? nullptr : text)) return StyleReport(kSource, E_FAIL, line);
  return S_OK;
}

// ---- IJStylDes ----

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::GetName(LPWSTR* out) {
  JStyleDescriptor* self = Object();
  return self->CopyOut(self->m_record ? self->m_record->name : nullptr, out, __LINE__);
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::SetName(LPCWSTR name) {
  StyleRecord* record = Object()->Record(__LINE__);
  return record ? Object()->Replace(&record->name, name, __LINE__) : E_FAIL;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::GetSecondString(LPWSTR* out) {
  JStyleDescriptor* self = Object();
  return self->CopyOut(self->m_record ? self->m_record->auxText : nullptr, out, __LINE__);
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::SetSecondString(LPCWSTR text) {
  StyleRecord* record = Object()->Record(__LINE__);
  return record ? Object()->Replace(&record->auxText, text, __LINE__) : E_FAIL;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::GetStyleObject(IUnknown** out) {
  StyleRecord* record = Object()->Record(__LINE__);
  if (!record) return E_FAIL;
  if (!IsUsableOut(out, sizeof *out)) return REPORT(E_FAIL);
  *out = record->styleObject;
  if (*out) (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::SetStyleObject(IUnknown* style) {
  StyleRecord* record = Object()->Record(__LINE__);
  if (!record) return E_FAIL;
  ReplaceReference(&record->styleObject, style);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::GetType(GUID* out) {
  StyleRecord* record = Object()->Record(__LINE__);
  if (!record) return E_FAIL;
  if (!IsUsableOut(out, sizeof *out) || !record->type) return REPORT(E_FAIL);
  *out = *record->type;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::SetType(const GUID* type) {
  StyleRecord* record = Object()->Record(__LINE__);
  if (!record) return E_FAIL;
  if (!type) return REPORT(E_FAIL);
  // The block stays the record's own, freed with it; a record that came without one gets one.
  if (!record->type) record->type = static_cast<GUID*>(std::malloc(sizeof(GUID)));
  if (!record->type) return REPORT(E_FAIL);
  *record->type = *type;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::GetContext(IUnknown** out) {
  JStyleDescriptor* self = Object();
  if (!self->Record(__LINE__)) return E_FAIL;
  if (!IsUsableOut(out, sizeof *out)) return REPORT(E_FAIL);
  *out = self->m_context;
  if (*out) (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::SetContext(IUnknown* context) {
  JStyleDescriptor* self = Object();
  if (!self->Record(__LINE__)) return E_FAIL;
  ReplaceReference(&self->m_context, context);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::GetEntryWord(DWORD* out) {
  StyleRecord* record = Object()->Record(__LINE__);
  if (!record) return E_FAIL;
  if (!IsUsableOut(out, sizeof *out)) return REPORT(E_FAIL);
  *out = record->entryFlags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStylDesImp::SetEntryWord(DWORD word) {
  StyleRecord* record = Object()->Record(__LINE__);
  if (!record) return E_FAIL;
  record->entryFlags = word;
  return S_OK;
}

// ---- IJStyleDescriptorRecord ----

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStyleDescriptorRecordImp::SetRecord(StyleRecord* record) {
  JStyleDescriptor* self = Object();
  if (record != self->m_record) FreeRecord(self->m_record);
  self->m_record = record;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStyleDescriptorRecordImp::GetRecord(StyleRecord** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_record;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStyleDescriptorRecordImp::SetStyleID(DWORD id) {
  Object()->m_styleID = id;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDescriptor::IJStyleDescriptorRecordImp::GetStyleID(DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_styleID;
  return S_OK;
}
