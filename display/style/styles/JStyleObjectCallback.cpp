#include "display/style/styles/JStyleObjectCallback.h"

#include "display/style/server.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styles/LineStyleShared.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/StyleExportHelpers.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/halvorn/elements.h"
#include "services/daxutil/daxutil.h"

namespace {

constexpr char kSource[] = "JSTYOBCB";

// Bits of the thread's assign-persist-IDs state: the host asks for the librarians on every copy, and the
// style users hear that the call comes from a copy.
constexpr DWORD kLookUpEveryCopy = 0x4;
constexpr DWORD kFromObjectCopy = 0x8;

// The lines under which the copy handler's failures are reported.
enum ReportLine : int {
  kLineArguments = 289,
  kLineState = 293,
  kLineSourceLibrarian = 301,
  kLineTargetLibrarian = 313,
  kLineMarkTarget = 317,
  kLineElementCopy = 364,
  kLineSourceStyle = 385,
  kLineManageStyle = 388,
  kLineCopyStyle = 393,
  kLineCopyStyled = 398,
  kLineSetCopyID = 401,
};

// Takes a reference on `value` and lets go of what `held` kept.
template <class T>
void Hold(T*& held, T* value) {
  value->AddRef();
  ReleaseCache(held);
  held = value;
}

// The container's librarian, with a reference; a lookup that answers no librarian is a failure.
HRESULT LookUpLibrarian(IUnknown* container, StyleComPtr<IJSLLibrarian>& out, int line) {
  HRESULT hr = GetStyleLibrarian(container, out.Put());
  if (SUCCEEDED(hr) && !out) hr = E_FAIL;
  if (FAILED(hr)) return StyleReport(kSource, hr, line);
  return hr;
}

// The ID in `target` of the style `id` of `source`: the entry the target already has for its name (or an
// equal style), else a copy of the style object made into the target.
HRESULT CarryStyle(DWORD id, IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* m_targetContainer,
                   DWORD* newID) {
  *newID = kNoStyleID;
  if (SUCCEEDED(source->CopyStyleTo(id, target, newID)) && *newID != kNoStyleID) return S_OK;
  *newID = kNoStyleID;
  StyleComPtr<IUnknown> style;
  HRESULT hr = source->GetStyle(id, style.Put());
  if (SUCCEEDED(hr) && !style) hr = E_POINTER;
  if (FAILED(hr)) return StyleReport(kSource, hr, kLineSourceStyle);
  StyleComPtr<IJManageStyle2> manage;
  hr = stylspt::Ask(style.Get(), IID_IJManageStyle2, manage);
  if (FAILED(hr)) return StyleReport(kSource, hr, kLineManageStyle);
  hr = manage->CopyStyleToLibrary(source, target, m_targetContainer, newID);
  // A copy that names no entry would leave the element without its style while answering success.
  if (SUCCEEDED(hr) && *newID == kNoStyleID) hr = E_FAIL;
  if (FAILED(hr)) return StyleReport(kSource, hr, kLineCopyStyle);
  return hr;
}

}  // namespace

// The callback holds the containers and librarians it caches, and while it exists the server must stay loaded.
JStyleObjectCallback::JStyleObjectCallback(IUnknown* outer) : UUnknown(outer) { IncrementLiveObjectCount(); }

JStyleObjectCallback::~JStyleObjectCallback() {
  m_IJObjectCallbackImp.DeletingDestructor(0);
  DecrementLiveObjectCount();
}

void* JStyleObjectCallback::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJObjectCallback)) return &m_IJObjectCallbackImp;
  return UUnknown::GetInterface(iid);
}

void JStyleObjectCallback::IJObjectCallbackImp::DeletingDestructor(unsigned) {
  ReleaseCache(m_sourceLibrarian);
  ReleaseCache(m_sourceContainer);
  ReleaseCache(m_targetLibrarian);
  ReleaseCache(m_targetContainer);
}

HRESULT STDMETHODCALLTYPE JStyleObjectCallback::IJObjectCallbackImp::OnObjectCopied(IUnknown* sourceContainer,
                                                                                     IUnknown* source,
                                                                                     IUnknown* targetContainer,
                                                                                     IUnknown* copy) {
  if (!sourceContainer || !source || !targetContainer || !copy) {
    return StyleReport(kSource, E_INVALIDARG, kLineArguments);
  }
  DWORD state = 0;
  HRESULT hr = HStyleGetAssignPersistIdsState(&state);
  if (FAILED(hr)) return StyleReport(kSource, hr, kLineState);
  const bool everyCopy = (state & kLookUpEveryCopy) != 0;

  // A container is remembered only with the librarian found for it, so that a failed lookup is tried again.
  if (everyCopy || sourceContainer != m_sourceContainer) {
    StyleComPtr<IJSLLibrarian> found;
    hr = LookUpLibrarian(sourceContainer, found, kLineSourceLibrarian);
    if (FAILED(hr)) return hr;
    Hold(m_sourceLibrarian, found.Get());
    Hold(m_sourceContainer, sourceContainer);
  }
  if (everyCopy || targetContainer != m_targetContainer) {
    StyleComPtr<IJSLLibrarian> found;
    hr = LookUpLibrarian(targetContainer, found, kLineTargetLibrarian);
    if (FAILED(hr)) return hr;
    hr = MarkObjectModified(found.Get());
    if (FAILED(hr)) return StyleReport(kSource, hr, kLineMarkTarget);
    Hold(m_targetLibrarian, found.Get());
    Hold(m_targetContainer, targetContainer);
  }
  state |= kFromObjectCopy;

  // A copy that carries its style uses over itself ends the work; this system's styles decline (E_FAIL).
  StyleComPtr<IJStyleUser> user;
  if (SUCCEEDED(stylspt::Ask(copy, IID_IJStyleUser, user))) {
    hr = user->CopyStyleUse(targetContainer, m_targetLibrarian, m_sourceLibrarian, source, state);
    if (SUCCEEDED(hr)) return hr;
  }
  StyleComPtr<IJElementStyleCopy> elementCopy;
  if (SUCCEEDED(stylspt::Ask(source, IID_IJElementStyleCopy, elementCopy))) {
    hr = elementCopy->CopyStylesTo(m_sourceLibrarian, m_targetLibrarian, targetContainer, copy);
    if (FAILED(hr)) StyleReport(kSource, hr, kLineElementCopy);
    return hr;
  }

  // An element that keeps no style ID has nothing to carry over: its answer is the caller's to judge.
  StyleComPtr<IJStyledElement> styled;
  hr = stylspt::Ask(source, IID_IJStyledElement, styled);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  hr = styled->GetStyleID(&id);
  if (FAILED(hr)) return hr;
  if (id == kNoStyleID) return S_OK;

  DWORD newID = kNoStyleID;
  hr = CarryStyle(id, m_sourceLibrarian, m_targetLibrarian, targetContainer, &newID);
  if (FAILED(hr)) return hr;
  StyleComPtr<IJStyledElement> copyStyled;
  hr = stylspt::Ask(copy, IID_IJStyledElement, copyStyled);
  if (FAILED(hr)) return StyleReport(kSource, hr, kLineCopyStyled);
  hr = copyStyled->SetStyleID(newID);
  if (FAILED(hr)) StyleReport(kSource, hr, kLineSetCopyID);
  return hr;
}
