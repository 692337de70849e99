#include "display/style/styllib/JStyleTypeTable.h"

#include <new>

#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/StyleNameMap.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "jslibutl";

void DeleteRecord(StyleTypeRecord* record) {
  if (record->names) record->names->DeletingDestructor(1);
  delete record;
}

}  // namespace

const GUID* const JStyleTypeTable::kStandardTypes[kStandardTypeCount] = {
    &STYLETYPE_Dash,         &STYLETYPE_Linear,         &STYLETYPE_Fill,           &STYLETYPE_TextChar,
    &STYLETYPE_TextPara,     &STYLETYPE_Dimension,      &STYLETYPE_BriskFrame,     &STYLETYPE_HatchFillPattern,
    &STYLETYPE_SymbolFillPattern, &STYLETYPE_SegmentedStyle, &STYLETYPE_PointSymbol, &STYLETYPE_LinePointGen,
    &STYLETYPE_Mux3d,
};

const IID& JStyleTypeTable::CategoryOf(const GUID& type) {
  if (IsEqualGUID(type, STYLETYPE_Dash)) return IID_IJStyleDashTypeRender;
  if (IsEqualGUID(type, STYLETYPE_TextPara)) return IID_IJStyleTextPara;
  if (IsEqualGUID(type, STYLETYPE_Dimension) || IsEqualGUID(type, STYLETYPE_BriskFrame)) return IID_IUnknown;
  if (IsEqualGUID(type, STYLETYPE_HatchFillPattern) || IsEqualGUID(type, STYLETYPE_SymbolFillPattern)) {
    return IID_IJStyleFillTypeRender;
  }
  if (IsEqualGUID(type, STYLETYPE_SegmentedStyle)) return IID_IJStylePrerender;
  return IID_IJStyleRender;
}

bool JStyleTypeTable::Reserve(DWORD capacity, DWORD growBy) {
  const DWORD count = m_records.Size();
  if (!m_records.SetSize(capacity, growBy)) return false;
  m_records.SetSize(count);
  return true;
}

bool JStyleTypeTable::FindType(const GUID& type, WORD* index) const {
  for (WORD i = 0; i < m_count; ++i) {
    if (IsEqualGUID(m_records[i]->type, type)) {
      if (index) *index = i;
      return true;
    }
  }
  if (index) *index = 0;
  return false;
}

HRESULT JStyleTypeTable::AddType(const GUID& type, DWORD activeID, DWORD defaultID, const IID&, WORD* index) {
  if (index) *index = 0;
  if (m_count == 0xFFFF) return E_FAIL;
  auto* record = new (std::nothrow) StyleTypeRecord{};
  if (!record) return E_FAIL;
  record->type = type;
  record->names = new StyleNameMap;
  if (!record->names || FAILED(record->names->Init())) {
    DeleteRecord(record);
    return E_FAIL;
  }
  record->activeID = activeID;
  record->defaultID = defaultID;
  record->category = CategoryOf(type);
  if (!m_records.SetSize(m_count + 1u)) {
    DeleteRecord(record);
    return E_FAIL;
  }
  m_records[m_count] = record;
  if (index) *index = m_count;
  ++m_count;
  return S_OK;
}

bool JStyleTypeTable::CallNameMap(WORD index, LPCWSTR name) const {
  StyleTypeRecord* record = At(index);
  return record && record->names && record->names->Exists(name);
}

HRESULT JStyleTypeTable::ForwardToStyle(WORD index, LPCWSTR name, void*, void** out) const {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  StyleTypeRecord* record = At(index);
  if (!record || !record->names) return E_FAIL;
  JSymbolDescriptor* descriptor = nullptr;
  HRESULT hr = record->names->Find(name, &descriptor);
  if (FAILED(hr)) return hr;
  hr = descriptor->QueryStyle(record->category, out);
  if (FAILED(hr)) HRerr(hr, 0, kSource, __LINE__);
  return hr;
}

void JStyleTypeTable::RemoveAll() {
  for (WORD i = 0; i < m_count; ++i) DeleteRecord(m_records[i]);
  m_count = 0;
  m_records.SetSize(0);
}
