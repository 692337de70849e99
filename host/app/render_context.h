// A double of the host's render context of a drawing (IJRenderContext): it answers the space transform with
// the matrix and result its user sets, and notes the spaces of each call. It lives on its user's stack and only
// counts its references.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "display/style/stylesrv_itf.h"
#include "geometry/geometry.h"

namespace host_app {

class RenderContext : public IJRenderContext {
 public:
  RenderContext() {
    for (int i : {0, 5, 10, 15}) transform.m_matrix[i] = 1;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE NotOffered3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSpaceTransform(G4x4* matrix, DWORD fromSpace, DWORD toSpace) override;

  ULONG references = 1;
  bool answersContext = true;  // answers IJRenderContext to QueryInterface
  HRESULT answer = S_OK;
  G4x4 transform;  // the identity at first
  std::vector<std::pair<DWORD, DWORD>> spaces;  // of each call
};

}  // namespace host_app
