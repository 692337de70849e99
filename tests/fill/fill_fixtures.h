// What the fill styles' tests share: a test double of the host's render context, and a drawing set-up that
// carries it.
#pragma once

#include <utility>
#include <vector>

#include "display/style/stylesrv_itf.h"
#include "geometry/geometry.h"

// The host's render context: answers IJRenderContext unless told not to, counts its references (it lives on
// the test's stack) and answers the space transform with the matrix and result a test sets.
class TestRenderContext : public IJRenderContext {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE NotOffered3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSpaceTransform(G4x4* matrix, DWORD fromSpace, DWORD toSpace) override;

  ULONG references = 1;
  bool answersContext = true;
  HRESULT answer = S_OK;
  G4x4 transform = G4x4::Identity();
  std::vector<std::pair<DWORD, DWORD>> spaces;  // of each call
};

// A drawing set-up in the given units with the context, and no clip box.
inline FillDrawingSetup DrawingSetup(IUnknown* context, DWORD unitsCode) {
  FillDrawingSetup setup{};
  setup.context = context;
  setup.unitsCode = unitsCode;
  return setup;
}
