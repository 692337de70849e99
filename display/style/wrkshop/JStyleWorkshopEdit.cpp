// What an outside editor reports back through IJStyleEdit: a finished new style, added to the library, or a
// finished edit of a stored style, copied into the library's object of that style.
#include <cwchar>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/wrkshop/JStyleWorkshop.h"

namespace {

constexpr char kSource[] = "display/style/wrkshop/styledit";

}  // namespace

HRESULT JStyleWorkshop::AddEditedStyle(IJStylDes* descriptor, IUnknown* style) {
  if (!style) return REPORT(E_INVALIDARG);
  if (!m_librarian) return REPORT(E_UNEXPECTED);
  StyleComPtr<IJStyleDescriptorRecord> access;
  HRESULT hr = StyleDescriptorRecordOf(descriptor, access.Put());
  if (FAILED(hr)) return REPORT(hr);

  // A style derived from another must derive from a style of this library.
  StyleComPtr<IUnknown> context;
  hr = descriptor->GetContext(context.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (context) {
    StyleComPtr<IJEditedStyleSource> source;
    StyleComPtr<IUnknown> sourceStyle;
    hr = context->QueryInterface(IID_IJEditedStyleSource, source.PutVoid());
    if (SUCCEEDED(hr)) hr = source->GetSourceStyle(sourceStyle.Put());
    if (FAILED(hr)) return REPORT(hr);
    DWORD sourceID = kNoStyleID;
    if (FAILED(m_librarian->FindStyleID(sourceStyle.Get(), &sourceID)) || sourceID == kNoStyleID) {
      return REPORT(E_FAIL);
    }
  }

  StyleRecord* record = nullptr;
  hr = access->GetRecord(&record);
  if (SUCCEEDED(hr) && !record) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  // The record's previous object (the library's, for an edited entry) is let go, not leaked.
  style->AddRef();
  if (record->styleObject) record->styleObject->Release();
  record->styleObject = style;

  DWORD id = kNoStyleID;
  hr = m_librarian->AddStyle(record, &id);
  if (SUCCEEDED(hr) && id == kNoStyleID) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  access->SetStyleID(id);
  StyleComPtr<IUnknown> stored;
  hr = m_librarian->GetStyle(id, stored.Put());
  if (SUCCEEDED(hr)) hr = descriptor->SetStyleObject(stored.Get());
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

HRESULT JStyleWorkshop::StoreEditedStyle(IJStylDes* descriptor, IUnknown* style) {
  if (!style) return REPORT(E_INVALIDARG);
  if (!m_librarian) return REPORT(E_UNEXPECTED);
  StyleComPtr<IJStyleDescriptorRecord> access;
  HRESULT hr = StyleDescriptorRecordOf(descriptor, access.Put());
  StyleRecord* record = nullptr;
  DWORD id = kNoStyleID;
  if (SUCCEEDED(hr)) hr = access->GetRecord(&record);
  if (SUCCEEDED(hr)) hr = access->GetStyleID(&id);
  if (SUCCEEDED(hr) && !record) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  // A nameless style, or a named one that was never stored, has no entry to write into: it becomes one.
  if (!record->name || !*record->name || !IsUsableStyleID(id)) return AddEditedStyle(descriptor, style);

  // The library refuses a name that its type already has, the entry's own included: only a changed name is a
  // rename.
  StyleRecord* stored = nullptr;
  hr = m_librarian->GetStyleRecord(id, &stored);
  if (FAILED(hr)) return REPORT(hr);
  const bool renamed = !stored->name || std::wcscmp(stored->name, record->name) != 0;
  m_librarian->FreeStyleRecord(&stored);
  if (renamed && FAILED(hr = m_librarian->RenameStyle(id, record->name, 0))) return REPORT(hr);
  hr = m_librarian->NoEffect41(id, record->entryFlags);
  if (FAILED(hr)) return REPORT(hr);

  // Into the library's own object of the entry, in place: the entry and the object stay the same.
  StyleComPtr<IUnknown> target;
  StyleComPtr<IJManageStyle2> manage;
  hr = m_librarian->GetStyle(id, target.Put());
  if (SUCCEEDED(hr)) hr = target->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (SUCCEEDED(hr)) hr = manage->CopyFrom(style, 0);
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleWorkshop::IJStyleEditImp::AddEditedStyle(IJStylDes* descriptor, IUnknown* style) {
  return Object()->AddEditedStyle(descriptor, style);
}

HRESULT STDMETHODCALLTYPE JStyleWorkshop::IJStyleEditImp::StoreEditedStyle(IJStylDes* descriptor,
                                                                           IUnknown* style) {
  return Object()->StoreEditedStyle(descriptor, style);
}
