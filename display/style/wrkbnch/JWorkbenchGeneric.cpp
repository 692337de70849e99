#include "display/style/wrkbnch/JWorkbenchGeneric.h"

#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "display/style/wrkbnch/wbgenerc";

}  // namespace

HRESULT JWorkbenchGeneric::CopyFromParent(IUnknown* parent) {
  HRESULT hr = FetchLibraryStyleObject();
  if (FAILED(hr)) return REPORT(hr);
  // Only a workbench of this server has fields to read (the base's, which every workbench class has); any other
  // parent counts as one without a style.
  JWorkbenchBase* parentBench = WorkbenchImplementationOf(parent);
  if (parentBench) {
    hr = parentBench->FetchLibraryStyleObject();
    if (FAILED(hr)) return REPORT(hr);
  }
  if (!StyleObject() || !parentBench || !parentBench->StyleObject()) return S_FALSE;
  StyleComPtr<IJManageStyle2> manage;
  hr = StyleObject()->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = manage->CopyFrom(parentBench->StyleObject(), 1);
  if (FAILED(hr)) return REPORT(hr);
  return S_FALSE;
}
