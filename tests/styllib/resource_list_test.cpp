// The style-resource name list: an ordered list of file names without a name twice, its enumerator, and its
// record through the archive.
#include <cwchar>

#include "tests/styllib/library_fixtures.h"

using styllib_test::CreateObject;

namespace {

class ResourceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    ASSERT_EQ(CreateObject(server, CLSID_JStyleResource, IID_IJStyleResourceList, reinterpret_cast<void**>(&list)),
              S_OK);
  }
  void TearDown() override {
    if (list) list->Release();
  }
  std::vector<std::wstring> Names(IJStyleResourceList* of = nullptr) {
    if (!of) of = list;
    std::vector<std::wstring> names;
    DWORD count = 0;
    of->GetCount(&count);
    for (DWORD i = 0; i < count; ++i) {
      WCHAR buffer[64];
      DWORD size = sizeof buffer;
      if (SUCCEEDED(of->GetAt(i, buffer, &size))) names.emplace_back(buffer);
    }
    return names;
  }
  // Everything an enumerator still hands out, one Next at a time.
  static std::vector<std::wstring> Drain(IEnumString* enumerator) {
    std::vector<std::wstring> names;
    LPOLESTR name = nullptr;
    ULONG fetched = 0;
    while (enumerator->Next(1, &name, &fetched) == S_OK) {
      names.emplace_back(name);
      CoTaskMemFree(name);
    }
    return names;
  }
  using Names_t = std::vector<std::wstring>;

  stylesrv_test::ServerModule server;
  IJStyleResourceList* list = nullptr;
};

TEST_F(ResourceListTest, NamesKeepTheirOrderAndNoNameIsListedTwice) {
  EXPECT_EQ(list->Add(L"lines.rsc"), S_OK);
  EXPECT_EQ(list->Add(L"LINES.RSC"), S_FALSE);
  EXPECT_EQ(list->Add(L"fills.rsc"), S_OK);
  EXPECT_EQ(list->InsertAt(0, L"first.rsc"), S_OK);
  EXPECT_EQ(list->InsertAt(1, L"Fills.RSC"), S_FALSE);
  EXPECT_EQ(list->InsertAt(3, L"last.rsc"), S_OK);
  EXPECT_EQ(Names(), (Names_t{L"first.rsc", L"lines.rsc", L"fills.rsc", L"last.rsc"}));
  EXPECT_EQ(list->SetAt(1, L"dash.rsc"), S_OK);
  EXPECT_EQ(list->SetAt(2, L"DASH.rsc"), S_FALSE);
  EXPECT_EQ(list->SetAt(4, L"appended.rsc"), S_OK);
  EXPECT_EQ(Names(), (Names_t{L"first.rsc", L"dash.rsc", L"fills.rsc", L"last.rsc", L"appended.rsc"}));
  // No gaps: an index past the names is refused; so are null names.
  EXPECT_EQ(list->SetAt(9, L"gap.rsc"), E_INVALIDARG);
  EXPECT_EQ(list->InsertAt(9, L"gap.rsc"), E_INVALIDARG);
  EXPECT_EQ(list->Add(nullptr), E_INVALIDARG);
  EXPECT_EQ(list->SetAt(0, nullptr), E_INVALIDARG);

  EXPECT_EQ(list->RemoveAt(0), S_OK);
  EXPECT_EQ(list->RemoveAt(4), E_INVALIDARG);
  EXPECT_EQ(Names(), (Names_t{L"dash.rsc", L"fills.rsc", L"last.rsc", L"appended.rsc"}));
}

TEST_F(ResourceListTest, GetAtChecksItsIndexAndTheBufferSize) {
  list->Add(L"abc");
  DWORD size = 0;
  EXPECT_EQ(list->GetAt(0, nullptr, &size), S_OK);
  EXPECT_EQ(size, 8u);  // four UTF-16 units with the terminator
  WCHAR small[3] = {L'x', L'x', L'x'};
  size = sizeof small;
  EXPECT_EQ(list->GetAt(0, small, &size), E_INVALIDARG);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(small[0], L'x');
  WCHAR buffer[4];
  size = sizeof buffer;
  EXPECT_EQ(list->GetAt(0, buffer, &size), S_OK);
  EXPECT_STREQ(buffer, L"abc");
  EXPECT_EQ(list->GetAt(1, buffer, &size), E_INVALIDARG);
  EXPECT_EQ(list->GetAt(0, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(list->GetAt(0, buffer, nullptr), E_INVALIDARG);
}

TEST_F(ResourceListTest, EnumeratorsHandOutTheNamesInOrder) {
  IEnumString* enumerator = nullptr;
  EXPECT_EQ(list->Enum(0, &enumerator), E_FAIL);
  EXPECT_EQ(enumerator, nullptr);
  list->Add(L"a.rsc");
  list->Add(L"b.rsc");
  ASSERT_EQ(list->Enum(0, &enumerator), S_OK);

  LPOLESTR names[3] = {};
  ULONG fetched = 9;
  EXPECT_EQ(enumerator->Next(3, names, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_STREQ(names[0], L"a.rsc");
  EXPECT_STREQ(names[1], L"b.rsc");
  CoTaskMemFree(names[0]);
  CoTaskMemFree(names[1]);
  EXPECT_EQ(enumerator->Next(0, names, &fetched), E_INVALIDARG);
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Skip(5), S_FALSE);
  EXPECT_EQ(enumerator->Skip(0), S_OK);
  EXPECT_TRUE(Drain(enumerator).empty());

  // A clone goes on from where its original stood.
  enumerator->Reset();
  EXPECT_EQ(enumerator->Skip(1), S_OK);
  IEnumString* clone = nullptr;
  ASSERT_EQ(enumerator->Clone(&clone), S_OK);
  EXPECT_EQ(Drain(clone), (Names_t{L"b.rsc"}));
  clone->Release();

  // The same walk as VARIANTs, one name a call.
  IEnumVARIANT* variants = nullptr;
  ASSERT_EQ(enumerator->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&variants)), S_OK);
  variants->Reset();
  VARIANT value;
  VariantInit(&value);
  ASSERT_EQ(variants->Next(1, &value, &fetched), S_OK);
  EXPECT_EQ(value.vt, VT_BSTR);
  EXPECT_STREQ(value.bstrVal, L"a.rsc");
  VariantClear(&value);
  VARIANT two[2];
  EXPECT_EQ(variants->Next(2, two, &fetched), E_INVALIDARG);
  IEnumVARIANT* variantClone = nullptr;
  ASSERT_EQ(variants->Clone(&variantClone), S_OK);
  ASSERT_EQ(variantClone->Next(1, &value, &fetched), S_OK);
  EXPECT_STREQ(value.bstrVal, L"b.rsc");
  VariantClear(&value);
  EXPECT_EQ(variantClone->Next(1, &value, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  variantClone->Release();
  variants->Release();
  enumerator->Release();
}

// An enumerator reads the list as it is: names removed under it are not read, and it keeps the list alive.
TEST_F(ResourceListTest, EnumeratorsStayWithinTheNamesLeft) {
  list->Add(L"a.rsc");
  list->Add(L"b.rsc");
  list->Add(L"c.rsc");
  IEnumString* enumerator = nullptr;
  ASSERT_EQ(list->Enum(0, &enumerator), S_OK);
  EXPECT_EQ(enumerator->Skip(1), S_OK);
  list->RemoveAt(2);
  list->RemoveAt(1);
  EXPECT_TRUE(Drain(enumerator).empty());
  EXPECT_EQ(enumerator->Skip(1), S_FALSE);
  list->RemoveAll();
  enumerator->Reset();
  EXPECT_TRUE(Drain(enumerator).empty());

  // Emptied, the list enumerates nothing and takes names again.
  IEnumString* none = nullptr;
  EXPECT_EQ(list->Enum(0, &none), E_FAIL);
  EXPECT_EQ(list->Add(L"d.rsc"), S_OK);
  enumerator->Reset();
  EXPECT_EQ(Drain(enumerator), (Names_t{L"d.rsc"}));

  // Let go by its owner, the list lives on for its enumerator.
  list->Release();
  list = nullptr;
  enumerator->Reset();
  EXPECT_EQ(Drain(enumerator), (Names_t{L"d.rsc"}));
  enumerator->Release();
}

TEST_F(ResourceListTest, TheRecordReloadsEqualAndDropsRepeatedNames) {
  for (const wchar_t* name : {L"A", L"B", L"long name with spaces.rsc"}) list->Add(name);
  IJPersist* persist = nullptr;
  ASSERT_EQ(list->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist)), S_OK);
  TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ASSERT_EQ(ArchiveSerializeObject(archive.get(), persist), S_OK);

  IJStyleResourceList* loaded = nullptr;
  ASSERT_EQ(CreateObject(server, CLSID_JStyleResource, IID_IJStyleResourceList, reinterpret_cast<void**>(&loaded)),
            S_OK);
  loaded->Add(L"dropped by the load");
  archive.Reload();
  ASSERT_EQ(ArchiveSerializeObject(archive.get(), loaded), S_OK);
  EXPECT_EQ(Names(loaded), (Names_t{L"A", L"B", L"long name with spaces.rsc"}));

  // The record alone: the count, then each name as its length and its UTF-16 units.
  list->RemoveAll();
  list->Add(L"A");
  list->Add(L"a2");
  TestArchive plain(ARCHIVE_STORING);
  ASSERT_EQ(persist->Load(plain.get()), S_OK);
  EXPECT_EQ(plain.Bytes(), (std::vector<BYTE>{2, 0, 0, 0, 1, 0, 0, 0, 'A', 0, 2, 0, 0, 0, 'a', 0, '2', 0}));

  // A stored list that repeats a name in another case loads it once.
  const std::vector<BYTE> record = {3, 0, 0, 0, 1, 0, 0, 0, 'A', 0, 1, 0, 0, 0, 'a', 0, 1, 0, 0, 0, 'B', 0};
  plain.Reload();
  ArchiveSetData(plain.get(), record.data(), static_cast<DWORD>(record.size()));
  IJPersist* loadedPersist = nullptr;
  ASSERT_EQ(loaded->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&loadedPersist)), S_OK);
  ASSERT_EQ(loadedPersist->Load(plain.get()), S_OK);
  EXPECT_EQ(Names(loaded), (Names_t{L"A", L"B"}));

  // A count larger than the record can hold is damage: refused before anything is allocated for it.
  stylesrv_test::ClearReports();
  std::vector<BYTE> damaged = {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 'A', 0};
  ArchiveSetData(plain.get(), damaged.data(), static_cast<DWORD>(damaged.size()));
  EXPECT_EQ(loadedPersist->Load(plain.get()), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  EXPECT_FALSE(stylesrv_test::Reports().empty());
  DWORD count = 9;
  loaded->GetCount(&count);
  EXPECT_EQ(count, 0u);
  loadedPersist->Release();
  loaded->Release();
  persist->Release();
}

}  // namespace
