#include "host/app/render_context.h"

namespace host_app {

HRESULT RenderContext::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  if (IsEqualIID(iid, IID_IUnknown) || (answersContext && IsEqualIID(iid, IID_IJRenderContext))) {
    *out = static_cast<IJRenderContext*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT RenderContext::GetSpaceTransform(G4x4* matrix, DWORD fromSpace, DWORD toSpace) {
  spaces.emplace_back(fromSpace, toSpace);
  if (SUCCEEDED(answer) && matrix) *matrix = transform;
  return answer;
}

}  // namespace host_app
