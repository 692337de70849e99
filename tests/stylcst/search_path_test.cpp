// The custodian's file-type table and search path, called by place as a caller built apart from the server
// calls them: extensions, directories in use with gaps and removals, the enumerator, and finding files.
#include <string>

#include "tests/stylcst/custodian_fixtures.h"

namespace {

using stylcst_test::Folder;
using stylesrv_test::CallSlot;

class SearchPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(service.get(&custodian), S_OK);
    path = stylcst_test::Query<IJStyleSearchPath>(custodian, IID_IJStyleSearchPath);
  }
  void TearDown() override {
    if (path) path->Release();
    EXPECT_EQ(service.release(custodian), S_OK);
    EXPECT_EQ(service.stop(), S_OK);
  }

  // IJSCustodian slots 5 to 8; IJStyleSearchPath slots 3 and 5 to 11.
  HRESULT Register(LPCWSTR extension) { return CallSlot(custodian, 5, &kClass, extension); }
  HRESULT Unregister(LPCWSTR extension) { return CallSlot(custodian, 6, extension); }
  BOOL Lookup(LPCWSTR extension) {
    BOOL found = 2;
    CLSID clsid{};
    EXPECT_EQ(CallSlot(custodian, 7, &found, &clsid, extension), S_OK);
    return found;
  }
  HRESULT Find(LPCWSTR name, WCHAR* found, DWORD* size, DWORD* index) {
    return CallSlot(path, 5, name, found, size, index);
  }
  HRESULT GetAt(DWORD index, WCHAR* buffer, DWORD* size) { return CallSlot(path, 6, index, buffer, size); }
  HRESULT SetAt(DWORD index, LPCWSTR directory) { return CallSlot(path, 7, index, directory); }
  HRESULT Add(LPCWSTR directory, DWORD* index) { return CallSlot(path, 8, directory, index); }
  HRESULT InsertAt(DWORD index, LPCWSTR directory) { return CallSlot(path, 9, index, directory); }
  HRESULT Remove(LPCWSTR directory, DWORD* index) { return CallSlot(path, 10, directory, index); }
  HRESULT RemoveAt(DWORD index) { return CallSlot(path, 11, index); }

  static std::vector<std::wstring> Rest(IEnumString* directories) {
    std::vector<std::wstring> out;
    LPOLESTR text = nullptr;
    while (directories->Next(1, &text, nullptr) == S_OK) {
      out.push_back(text);
      CoTaskMemFree(text);
    }
    return out;
  }
  std::vector<std::wstring> Directories() {
    IEnumString* directories = nullptr;
    EXPECT_EQ(CallSlot(path, 3, 0u, &directories), S_OK);
    std::vector<std::wstring> out = Rest(directories);
    directories->Release();
    return out;
  }

  static constexpr CLSID kClass = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  stylesrv_test::ServerModule server;
  stylcst_test::Service service{server};
  IJSCustodian* custodian = nullptr;
  IJStyleSearchPath* path = nullptr;
};

TEST_F(SearchPathTest, ExtensionsAreRegisteredUpperCasedAndOnce) {
  const std::pair<LPCWSTR, HRESULT> rows[] = {
      {L"rsc", E_INVALIDARG},  // every custodian starts with "RSC"
      {L"stl", S_OK}, {L"sTL", E_INVALIDARG}, {L"a", S_OK}, {L"abcd", E_INVALIDARG}, {L"", E_INVALIDARG},
      {nullptr, E_INVALIDARG},
  };
  for (const auto& [extension, answer] : rows) EXPECT_EQ(Register(extension), answer);
  // Lookups and removals compare exactly; only the upper-case forms are there.
  EXPECT_FALSE(Lookup(L"rsc"));
  EXPECT_TRUE(Lookup(L"RSC"));
  EXPECT_EQ(Unregister(L"stl"), S_OK);
  EXPECT_TRUE(Lookup(L"STL"));
  EXPECT_EQ(Unregister(L"A"), S_OK);
  EXPECT_FALSE(Lookup(L"A"));

  // The copy is the caller's, from the task allocator: freeing it leaves the table as it was.
  StyleFileTypeTable copy{};
  ASSERT_EQ(CallSlot(custodian, 8, &copy), S_OK);
  ASSERT_EQ(copy.count, 2u);
  EXPECT_STREQ(copy.elements[0].extension, L"RSC");
  EXPECT_EQ(*copy.elements[0].clsid, CLSID_HostRscAccess);
  EXPECT_STREQ(copy.elements[1].extension, L"STL");
  FreeStyleFileTypes(&copy);
  EXPECT_TRUE(Lookup(L"STL"));
  EXPECT_EQ(CallSlot(custodian, 4), 0) << "not loading";
  EXPECT_EQ(CallSlot(custodian, 3, &STYLETYPE_Linear, nullptr, nullptr), S_OK) << "no list, nothing to load";
}

TEST_F(SearchPathTest, DirectoriesInUseWithGapsAndRemovals) {
  const std::wstring tooLong(MAX_PATH, L'd');
  DWORD index = 99;
  EXPECT_EQ(Add(L"C:\\one", &index), S_OK);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(InsertAt(0, L"C:\\zero"), S_OK);
  EXPECT_EQ(SetAt(4, L"C:\\four"), S_OK);  // past the end: the slots between are empty and in use
  EXPECT_EQ(InsertAt(6, L"C:\\six"), S_OK);
  EXPECT_EQ(SetAt(1, L"C:\\One"), S_OK);
  EXPECT_EQ(Directories(), (std::vector<std::wstring>{L"C:\\zero", L"C:\\One", L"", L"", L"C:\\four", L"", L"C:\\six"}));
  for (LPCWSTR refused : {static_cast<LPCWSTR>(nullptr), tooLong.c_str()}) {
    EXPECT_EQ(Add(refused, &index), E_INVALIDARG);
    EXPECT_EQ(SetAt(0, refused), E_INVALIDARG);
    EXPECT_EQ(InsertAt(0, refused), E_INVALIDARG);
  }
  EXPECT_EQ(SetAt(0xFFFFFFFF, L"C:\\x"), E_INVALIDARG);
  EXPECT_EQ(Remove(L"C:\\one", &index), E_INVALIDARG) << "case counts";
  EXPECT_EQ(Remove(L"C:\\One", &index), S_OK);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(RemoveAt(6), E_INVALIDARG);
  EXPECT_EQ(RemoveAt(5), S_OK);
  EXPECT_EQ(Directories(), (std::vector<std::wstring>{L"C:\\zero", L"", L"", L"C:\\four", L""}));

  // The size alone; too small a buffer (the size needed, nothing copied); a buffer that fits; bad calls.
  WCHAR buffer[16] = L"untouched";
  DWORD size = 0;
  EXPECT_EQ(GetAt(3, nullptr, &size), S_OK);
  EXPECT_EQ(size, 16u);
  size = 15;
  EXPECT_EQ(GetAt(3, buffer, &size), E_INVALIDARG);
  EXPECT_EQ(size, 16u);
  EXPECT_STREQ(buffer, L"untouched");
  size = sizeof buffer;
  EXPECT_EQ(GetAt(3, buffer, &size), S_OK);
  EXPECT_EQ(size, 16u);
  EXPECT_STREQ(buffer, L"C:\\four");
  EXPECT_EQ(GetAt(5, buffer, &size), E_INVALIDARG);
  EXPECT_EQ(GetAt(0, buffer, nullptr), E_INVALIDARG);
  EXPECT_EQ(CallSlot(path, 4, 0u, 0u), E_NOTIMPL);
}

TEST_F(SearchPathTest, EnumeratorsReadOnlyWhatIsStillThere) {
  for (LPCWSTR directory : {L"C:\\a", L"C:\\b", L"C:\\c", L"C:\\d"}) EXPECT_EQ(Add(directory, nullptr), S_OK);
  IEnumString* directories = nullptr;
  ASSERT_EQ(CallSlot(path, 3, 0u, &directories), S_OK);
  EXPECT_EQ(directories->Skip(1), S_OK);
  IEnumString* clone = nullptr;
  ASSERT_EQ(directories->Clone(&clone), S_OK);
  EXPECT_EQ(Rest(clone), (std::vector<std::wstring>{L"C:\\b", L"C:\\c", L"C:\\d"}));
  clone->Release();
  // Removed under it: the enumerator ends where the directories end now.
  EXPECT_EQ(RemoveAt(3), S_OK);
  EXPECT_EQ(RemoveAt(2), S_OK);
  EXPECT_EQ(directories->Skip(5), S_FALSE);
  EXPECT_EQ(directories->Reset(), S_OK);
  LPOLESTR texts[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(directories->Next(4, texts, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  for (LPOLESTR text : {texts[0], texts[1]}) CoTaskMemFree(text);
  IUnknown* other = nullptr;
  EXPECT_EQ(directories->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&other)), E_NOINTERFACE);

  // It holds the custodian: stopped meanwhile, the custodian stays for it.
  path->Release();
  path = nullptr;
  EXPECT_EQ(service.release(custodian), S_OK);
  EXPECT_EQ(service.stop(), E_UNEXPECTED);
  EXPECT_EQ(directories->Reset(), S_OK);
  EXPECT_EQ(Rest(directories), (std::vector<std::wstring>{L"C:\\a", L"C:\\b"}));
  directories->Release();
  ASSERT_EQ(service.get(&custodian), S_OK);
}

TEST_F(SearchPathTest, FilesAreFoundAlongTheDirectoriesInUse) {
  const std::wstring first = Folder(L"first"), second = Folder(L"second"), absolute = Folder(L"absolute.stl");
  const std::wstring inSecond = second + L"\\found.stl";
  CreateDirectoryW(first.c_str(), nullptr);
  CreateDirectoryW(second.c_str(), nullptr);
  CreateDirectoryW((first + L"\\folder.stl").c_str(), nullptr);
  for (const std::wstring& file : {inSecond, absolute}) {
    CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  struct Row {
    std::wstring name;
    HRESULT answer;
    std::wstring found;
    DWORD index;
  };
  auto check = [&](const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE(testing::PrintToString(row.name));
      WCHAR found[MAX_PATH] = L"";
      DWORD size = 0, index = 0;
      EXPECT_EQ(Find(row.name.c_str(), found, &size, &index), row.answer);
      if (row.answer != S_OK) continue;
      EXPECT_EQ(std::wstring(found), row.found);
      EXPECT_EQ(size, (row.found.size() + 1) * 2);
      EXPECT_EQ(index, row.index);
    }
  };
  // No directory in use: only an absolute name is found.
  check({{L"found.stl", E_INVALIDARG, L"", 0}, {absolute, S_OK, absolute, 0xFFFFFFFF}});
  // The first directory ends in its separator; the third slot is empty.
  EXPECT_EQ(Add((first + L"\\").c_str(), nullptr), S_OK);
  EXPECT_EQ(SetAt(1, second.c_str()), S_OK);
  EXPECT_EQ(SetAt(2, L""), S_OK);
  check({
      {L"found.stl", S_OK, inSecond, 1},
      {L"elsewhere\\found.stl", S_OK, inSecond, 1},
      {L"Z:\\missing\\found.stl", S_OK, inSecond, 1},  // a missing absolute name by its file part
      {absolute, S_OK, absolute, 0xFFFFFFFF},
      {L"folder.stl", E_INVALIDARG, L"", 0},  // a folder is no file
      {L"missing.stl", E_INVALIDARG, L"", 0},
      {std::wstring(MAX_PATH, L'n'), E_INVALIDARG, L"", 0},
      {L"found.stl\\", E_INVALIDARG, L"", 0},
  });
  EXPECT_EQ(Find(nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(Find(L"found.stl", nullptr, nullptr, nullptr), S_OK) << "every out may be null";
}

}  // namespace
