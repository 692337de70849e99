// The unit settings object: values kept as given, and its record through the archive.
#include <cstring>

#include "tests/styllib/library_fixtures.h"

using styllib_test::CreateObject;

namespace {

class UnitSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateObject(server, CLSID_JStyleUnit, IID_IJStyleUnitSettings, reinterpret_cast<void**>(&units)),
              S_OK);
    ASSERT_EQ(units->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist)), S_OK);
  }
  void TearDown() override {
    if (persist) persist->Release();
    if (units) units->Release();
  }
  // A table whose entry i holds (i, 2i, 3i).
  static StyleUnitTable Table(BYTE count) {
    StyleUnitTable table{};
    table.count = count;
    for (int i = 0; i < 256; ++i) {
      table.first[i] = static_cast<BYTE>(i);
      table.second[i] = static_cast<BYTE>(2 * i);
      table.third[i] = static_cast<BYTE>(3 * i);
    }
    return table;
  }

  stylesrv_test::ServerModule server;
  IJStyleUnitSettings* units = nullptr;
  IJPersist* persist = nullptr;
};

// Null pointers are refused; the value goes in before the code is looked at.
TEST_F(UnitSettingsTest, NullPointersAreRefusedAfterTheValueIsTaken) {
  const double value = 0.0254, other = 2.5;
  const DWORD code = 12;
  ASSERT_EQ(units->SetUnitValues(&value, &code), S_OK);
  EXPECT_EQ(units->SetUnitValues(&other, nullptr), E_INVALIDARG);
  double outValue = 0;
  DWORD outCode = 0;
  EXPECT_EQ(units->GetUnitValues(&outValue, &outCode), S_OK);
  EXPECT_EQ(outValue, other);
  EXPECT_EQ(outCode, code);
  EXPECT_EQ(units->SetUnitValues(nullptr, &code), E_INVALIDARG);
  EXPECT_EQ(units->SetUnitTable(nullptr), E_INVALIDARG);
  EXPECT_EQ(units->GetUnitTable(nullptr), E_INVALIDARG);
  EXPECT_EQ(persist->GetClassID(nullptr), E_INVALIDARG);
  IUnknown* none = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(units->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(units->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_JStyleUnit));
}

TEST_F(UnitSettingsTest, TheRecordReloadsEqualAndCarriesOnlyTheEntriesInUse) {
  const double value = 1.5;
  const DWORD code = 11;
  units->SetUnitValues(&value, &code);
  // Every count from none to the whole table travels, and only the entries in use.
  for (BYTE count : {BYTE{0}, BYTE{2}, BYTE{255}}) {
    const StyleUnitTable table = Table(count);
    units->SetUnitTable(&table);
    TestArchive archive(ARCHIVE_STORING);
    ASSERT_EQ(persist->Load(archive.get()), S_OK);  // the record alone, in the archive's direction
    EXPECT_EQ(archive.Bytes().size(), 13u + 3u * count);

    IJStyleUnitSettings* loaded = nullptr;
    ASSERT_EQ(CreateObject(server, CLSID_JStyleUnit, IID_IJStyleUnitSettings, reinterpret_cast<void**>(&loaded)),
              S_OK);
    IJPersist* loadedPersist = nullptr;
    loaded->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&loadedPersist));
    archive.Reload();
    ASSERT_EQ(loadedPersist->Load(archive.get()), S_OK);
    double outValue = 0;
    DWORD outCode = 0;
    StyleUnitTable read{};
    loaded->GetUnitValues(&outValue, &outCode);
    loaded->GetUnitTable(&read);
    EXPECT_EQ(outValue, value);
    EXPECT_EQ(outCode, code);
    StyleUnitTable expected{};
    expected.count = count;
    for (int i = 0; i < count; ++i) {
      expected.first[i] = table.first[i];
      expected.second[i] = table.second[i];
      expected.third[i] = table.third[i];
    }
    EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << "count " << int{count};
    loadedPersist->Release();
    loaded->Release();
  }
}

// As a sub-object of a library's record the object travels with its class header both ways.
TEST_F(UnitSettingsTest, TheHeaderedRecordRoundTripsThroughTheEngine) {
  const double value = 3.0;
  const DWORD code = 13;
  units->SetUnitValues(&value, &code);
  const StyleUnitTable table = Table(4);
  units->SetUnitTable(&table);
  TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ASSERT_EQ(ArchiveSerializeObject(archive.get(), units), S_OK);
  EXPECT_EQ(archive.Bytes().size(), 18u + 13u + 12u);  // header, record, four entries

  IUnknown* clone = nullptr;
  ASSERT_EQ(persist->Clone(nullptr, &clone), S_OK);
  IJStyleUnitSettings* copy = nullptr;
  ASSERT_EQ(clone->QueryInterface(IID_IJStyleUnitSettings, reinterpret_cast<void**>(&copy)), S_OK);
  double outValue = 7;
  DWORD outCode = 7;
  copy->GetUnitValues(&outValue, &outCode);
  EXPECT_EQ(outValue, 0.0);  // a clone starts empty
  EXPECT_EQ(outCode, 0u);

  archive.Reload();
  ASSERT_EQ(ArchiveSerializeObject(archive.get(), clone), S_OK);
  copy->GetUnitValues(&outValue, &outCode);
  EXPECT_EQ(outValue, value);
  EXPECT_EQ(outCode, code);
  StyleUnitTable read{};
  copy->GetUnitTable(&read);
  EXPECT_EQ(read.count, 4);
  EXPECT_EQ(read.third[3], 9);
  copy->Release();
  clone->Release();

  // A record cut short fails the load with the engine's answer, reported.
  stylesrv_test::ClearReports();
  std::vector<BYTE> bytes = archive.Bytes();
  bytes.resize(bytes.size() - 2);
  ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
  EXPECT_EQ(ArchiveSerializeObject(archive.get(), units), HRESULT_FROM_WIN32(ERROR_HANDLE_EOF));
  EXPECT_FALSE(stylesrv_test::Reports().empty());
}

}  // namespace
