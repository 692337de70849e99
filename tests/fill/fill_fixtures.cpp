#include "tests/fill/fill_fixtures.h"

HRESULT TestRenderContext::QueryInterface(REFIID iid, void** out) {
  if (IsEqualIID(iid, IID_IUnknown) || (answersContext && IsEqualIID(iid, IID_IJRenderContext))) {
    *out = static_cast<IJRenderContext*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT TestRenderContext::GetSpaceTransform(G4x4* matrix, DWORD fromSpace, DWORD toSpace) {
  spaces.emplace_back(fromSpace, toSpace);
  if (SUCCEEDED(answer)) *matrix = transform;
  return answer;
}
