#include "tests/hatch/hatch_fixtures.h"

void RegisterHatchVersions() {
  RegisterLineVersions();
  ArchiveRegisterClassVersion(&CLSID_JStyleHatchFill, 3);
}

StyleComPtr<IJStyleDashTypeRender> NewDash(std::vector<double> lengths) {
  StyleComPtr<IJStyleSimpleDashType> dash(
      NewStyle<IJStyleSimpleDashType>(CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType));
  EXPECT_EQ(dash->SetLengths(static_cast<DWORD>(lengths.size()), lengths.data()), S_OK);
  return Query<IJStyleDashTypeRender>(dash.Get(), IID_IJStyleDashTypeRender);
}

HatchFamilyDesc Family(DWORD id, double angle, DWORD keepMask, IJStyleDashTypeRender* dash) {
  HatchFamilyDesc family{};
  family.familyId = id;
  family.angle = angle;
  family.spacing = angle + 1.0;
  family.shift = angle / 2;
  family.originX = angle;
  family.originY = -angle;
  family.color = id;
  family.width = 0.25;
  family.dashType = dash;
  family.keepMask = keepMask;
  return family;
}

HRESULT SetFamilies(IJStyleHatchFill* hatch, std::vector<HatchFamilyDesc> families, DWORD keepMask) {
  HatchFillData data{};
  data.originX = 1.0;
  data.originY = 2.0;
  data.scale = 0.5;
  data.unitsCode = 11;
  data.familyCount = static_cast<DWORD>(families.size());
  data.families = families.data();
  data.keepMask = keepMask;
  return hatch->SetData(&data);
}

HatchFillData DataOf(IJStyleHatchFill* hatch) {
  HatchFillData data{};
  EXPECT_EQ(hatch->GetData(&data), S_OK);
  return data;
}

bool SameFamily(const HatchFamilyDesc& a, const HatchFamilyDesc& b) {
  return a.marker == b.marker && a.familyId == b.familyId && a.angle == b.angle && a.spacing == b.spacing &&
         a.shift == b.shift && a.originX == b.originX && a.originY == b.originY && a.originZ == b.originZ &&
         a.color == b.color && a.width == b.width && a.dashType == b.dashType && a.keepMask == b.keepMask;
}

DWORD AddTo(styllib_test::TestLibrary& library, IUnknown* style, const wchar_t* name, const GUID& type) {
  GUID typeCopy = type;
  StyleRecord record{const_cast<LPWSTR>(name), nullptr, styllib_test::IdentityOf(style), &typeCopy, 0, 0};
  DWORD id = 0;
  EXPECT_EQ(library->AddStyleNoCreate(&record, &id), S_OK);
  return id;
}

std::vector<DWORD> UseCounts(const styllib_test::TestLibrary& library, std::vector<DWORD> ids) {
  for (DWORD& id : ids) id = library.UseCount(id);
  return ids;
}

std::vector<DWORD> DashIDs(IJStyleHatchFill* hatch) {
  DWORD count = 0;
  hatch->GetFamilyCount(&count);
  std::vector<DWORD> ids(count);
  for (DWORD i = 0; i < count; ++i) EXPECT_EQ(hatch->GetFamilyDashTypeId(static_cast<LONG>(i), &ids[i]), S_OK);
  return ids;
}
