#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {

DWORD Drawing::Create(REFCLSID clsid, const wchar_t* name, const GUID& type) const {
  DWORD id = 0;
  const HRESULT hr = HCreateStyleInLib(D(), &clsid, name, &type, 0, &id, nullptr);
  EXPECT_EQ(hr, S_OK) << "style not created";
  return id;
}

}  // namespace stylspt_test
