// The librarian's two enumerators: every loaded style of the library by ID, and the styles behind the names of
// one type.
#include <algorithm>
#include <vector>

#include "tests/styllib/library_fixtures.h"

using styllib_test::IdentityOf;
using styllib_test::TestLibrary;

namespace {

// Everything an enumerator hands out from where it stands, one at a time.
std::vector<IUnknown*> Drain(IEnumUnknown* enumerator) {
  std::vector<IUnknown*> out;
  IUnknown* object = nullptr;
  ULONG fetched = 0;
  while (enumerator->Next(1, &object, &fetched) == S_OK) {
    EXPECT_EQ(fetched, 1u);
    out.push_back(object);
    object->Release();
  }
  return out;
}

IUnknown* StyleOf(TestLibrary& library, DWORD id) {
  IUnknown* object = nullptr;
  library->GetStyle(id, &object);
  if (object) object->Release();
  return object;
}

TEST(StyleEnumTest, WalksLiveStylesInIDOrderAndIgnoresLaterOnes) {
  TestLibrary library;
  IEnumUnknown* enumerator = nullptr;
  EXPECT_EQ(library->EnumStyles(nullptr, &enumerator), E_FAIL);  // an empty library
  EXPECT_EQ(enumerator, nullptr);

  const DWORD a = library.AddLine(L"A", 1);
  const DWORD gone = library.AddLine(nullptr, 2);
  const DWORD released = library.AddLine(L"Released", 3);
  const DWORD b = library.AddLine(nullptr, 4);
  library->AddRefStyleID(gone);
  library->ReleaseStyleID(gone);  // freed
  // Held while it is removed: the slot stays, released from the document.
  library->AddRefStyleID2(released);
  ASSERT_EQ(library->RemoveStyle(released), S_OK);
  ASSERT_EQ(library->IsDeletedSlot(released), S_FALSE);

  ASSERT_EQ(library->EnumStyles(nullptr, &enumerator), S_OK);
  EXPECT_EQ(Drain(enumerator), (std::vector<IUnknown*>{StyleOf(library, a), StyleOf(library, b)}));
  EXPECT_EQ(library.AddLine(L"Later", 5), gone);  // takes the freed slot
  EXPECT_EQ(library.AddLine(L"Latest", 6), b + 1);

  // Reset starts over; the later IDs stay out. Several at once: S_FALSE when fewer were there.
  ASSERT_EQ(enumerator->Reset(), S_OK);
  IUnknown* objects[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(enumerator->Next(4, objects, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 3u);  // slot 2 holds "Later" now, which lies below the limit
  for (ULONG i = 0; i < fetched; ++i) objects[i]->Release();

  EXPECT_EQ(enumerator->Next(0, objects, &fetched), E_INVALIDARG);
  EXPECT_EQ(enumerator->Next(1, nullptr, &fetched), E_INVALIDARG);
  EXPECT_EQ(enumerator->Skip(0), S_OK);
  EXPECT_EQ(enumerator->Skip(1), S_FALSE);
  IUnknown* unknown = nullptr;
  EXPECT_EQ(enumerator->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(enumerator));
  unknown->Release();
  EXPECT_EQ(enumerator->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(&unknown)), E_NOINTERFACE);
  EXPECT_EQ(enumerator->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  library->ReleaseStyleID2(released);
  EXPECT_EQ(enumerator->Release(), 0u);
}

// The enumerator holds its library: the caller may let the library go first, and the library goes with the
// enumerator's last release.
TEST(StyleEnumTest, KeepsItsLibraryUntilItsLastRelease) {
  IEnumUnknown* enumerator = nullptr;
  std::vector<IUnknown*> all;
  {
    TestLibrary library(false);
    for (DWORD colour : {1, 2, 3}) all.push_back(StyleOf(library, library.AddLine(nullptr, colour)));
    ASSERT_EQ(library->EnumStyles(nullptr, &enumerator), S_OK);
  }
  IUnknown* first = nullptr;
  ASSERT_EQ(enumerator->Next(1, &first, nullptr), S_OK);
  EXPECT_EQ(first, all[0]);
  first->Release();
  // A clone goes on from where the original stands, on its own.
  IEnumUnknown* clone = nullptr;
  ASSERT_EQ(enumerator->Clone(&clone), S_OK);
  EXPECT_EQ(Drain(clone), (std::vector<IUnknown*>{all[1], all[2]}));
  EXPECT_EQ(enumerator->Skip(1), S_FALSE);
  EXPECT_EQ(Drain(enumerator), (std::vector<IUnknown*>{all[1], all[2]}));
  ASSERT_EQ(clone->Reset(), S_OK);
  EXPECT_EQ(enumerator->Release(), 0u);
  EXPECT_EQ(Drain(clone), all);

  stylesrv_test::ServerModule server;
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(clone->Release(), 0u);
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

TEST(StyleNewEnumTest, HandsOutTheStylesOfOneTypesNames) {
  TestLibrary library;
  const DWORD first = library.AddLine(L"First", 1);
  const DWORD second = library.AddLine(L"Second", 2);
  library.AddLine(nullptr, 3);              // unnamed: not listed
  library.AddLine(L"Dashed", 4, 0, STYLETYPE_Dash);  // another type

  IEnumUnknown* names = nullptr;
  ASSERT_EQ(library->NewEnumStyles(&STYLETYPE_Linear, &names), S_OK);
  IUnknown* objects[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(names->Next(3, objects, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  std::vector<IUnknown*> got{IdentityOf(objects[0]), IdentityOf(objects[1])};
  std::vector<IUnknown*> want{StyleOf(library, first), StyleOf(library, second)};
  EXPECT_TRUE(std::is_permutation(got.begin(), got.end(), want.begin()));
  objects[0]->Release();
  objects[1]->Release();

  // A clone stands where the original stood and holds its own objects.
  ASSERT_EQ(names->Reset(), S_OK);
  ASSERT_EQ(names->Next(1, objects, nullptr), S_OK);
  objects[0]->Release();
  IEnumUnknown* clone = nullptr;
  ASSERT_EQ(names->Clone(&clone), S_OK);
  EXPECT_EQ(names->Release(), 0u);
  EXPECT_EQ(Drain(clone), (std::vector<IUnknown*>{got[1]}));
  // Moving onto the end is refused like moving past it.
  ASSERT_EQ(clone->Reset(), S_OK);
  EXPECT_EQ(clone->Skip(2), S_FALSE);
  EXPECT_EQ(clone->Skip(1), S_OK);
  EXPECT_EQ(Drain(clone), (std::vector<IUnknown*>{got[1]}));
  clone->Release();
}

TEST(StyleNewEnumTest, TypesWithoutNamesGiveNothing) {
  TestLibrary library;
  IEnumUnknown* names = nullptr;
  EXPECT_EQ(library->NewEnumStyles(&STYLETYPE_Fill, &names), E_FAIL);  // an empty library
  library.AddLine(L"Solid");
  for (const GUID* type : {&STYLETYPE_Fill, &CLSID_TestLineStyle}) {  // a registered type and an unknown one
    ASSERT_EQ(library->NewEnumStyles(type, &names), S_OK);
    IUnknown* object = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(names->Next(1, &object, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(names->Skip(0), S_FALSE);
    names->Release();
  }
  EXPECT_EQ(library->NewEnumStyles(&STYLETYPE_Fill, nullptr), E_FAIL);
}

}  // namespace
