// The host stand-ins as the style bases rely on them: the archive's failures and the documents' identities.
#include "tests/bases/test_styles.h"

namespace {

TEST(ArchiveTest, MovesBytesBothWaysAndFailsAsTold) {
  TestArchive archive(ARCHIVE_STORING);
  DWORD value = 0x01020304;
  WORD version = 0;
  DWORD scratch = 0xCAFE;
  ASSERT_EQ(ArchiveSerializeBytes(archive.get(), 4, &value), S_OK);
  ASSERT_EQ(ArchiveSerializeClassHeader(archive.get(), &CLASSTAG_JStyleBase, &version, &scratch), S_OK);
  EXPECT_EQ(version, 4u);
  EXPECT_EQ(scratch, 0xCAFEu);
  EXPECT_EQ(ArchiveSize(archive.get()), 4u + 18);
  EXPECT_EQ(ArchiveBytesLeft(archive.get()), 0u);

  archive.Reload();
  EXPECT_EQ(ArchiveBytesLeft(archive.get()), 22u);
  value = 0;
  ASSERT_EQ(ArchiveSerializeBytes(archive.get(), 4, &value), S_OK);
  EXPECT_EQ(value, 0x01020304u);
  // Another tag where a header stands is damaged data; the position stays.
  EXPECT_EQ(ArchiveSerializeClassHeader(archive.get(), &CLASSTAG_CStyleRdr2dBase, &version, &scratch),
            HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  EXPECT_EQ(ArchivePosition(archive.get()), 4u);
  ArchiveFailExchange(archive.get(), 2, E_ABORT);
  version = 0;
  EXPECT_EQ(ArchiveSerializeClassHeader(archive.get(), &CLASSTAG_JStyleBase, &version, &scratch), S_OK);
  EXPECT_EQ(version, 4u);
  EXPECT_EQ(ArchiveSerializeBytes(archive.get(), 1, &value), E_ABORT);
  EXPECT_EQ(ArchiveSerializeBytes(archive.get(), 1, &value), HRESULT_FROM_WIN32(ERROR_HANDLE_EOF));

  // A class the engine keeps no version for cannot be stored.
  TestArchive unknown(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  const GUID tag = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(ArchiveSerializeClassHeader(unknown.get(), &tag, &version, &scratch), E_FAIL);
}

// A sub-object persists itself through its IJPersist, in the archive's direction.
TEST(ArchiveTest, SubObjectPersistsItself) {
  TestLineStyle* stored = TestLineStyle::Create(0xABC, 0.25);
  TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ASSERT_EQ(ArchiveSerializeObject(archive.get(), stored->RenderItf()), S_OK);
  TestLineStyle* loaded = TestLineStyle::Create(0, 0);
  archive.Reload();
  ASSERT_EQ(ArchiveSerializeObject(archive.get(), loaded->Unknown()), S_OK);
  EXPECT_EQ(loaded->colour, 0xABCu);
  EXPECT_EQ(loaded->width, 0.25);
  EXPECT_EQ(ArchiveBytesLeft(archive.get()), 0u);
  EXPECT_EQ(ArchiveSerializeObject(archive.get(), nullptr), E_INVALIDARG);
  loaded->Release();
  stored->Release();
}

TEST(HostDocumentTest, RegistersAnObjectOnceAndKnowsItsDocument) {
  IJDocumentNamedObjects* first = nullptr;
  IJDocumentNamedObjects* second = nullptr;
  ASSERT_EQ(HostDocumentCreate(&first), S_OK);
  ASSERT_EQ(HostDocumentCreate(&second), S_OK);
  TestLineStyle* style = TestLineStyle::Create();
  DWORD id = 0, again = 0, second_word = 7;
  ASSERT_EQ(first->RegisterObject(style->RenderItf(), &id, &second_word), S_OK);
  EXPECT_EQ(second_word, 0u);
  ASSERT_EQ(first->RegisterObject(style->Unknown(), &again, nullptr), S_OK);
  EXPECT_EQ(again, id);
  EXPECT_EQ(second->RegisterObject(style->Unknown(), &again, nullptr), E_FAIL);

  IJDocumentNamedObjects* found = nullptr;
  ASSERT_EQ(GetObjectDocument(style->Persist(), &found), S_OK);
  EXPECT_EQ(found, first);
  found->Release();
  IJStyleRender* render = nullptr;
  ASSERT_EQ(first->FindObjectByID(id, IID_IJStyleRender, reinterpret_cast<void**>(&render)), S_OK);
  EXPECT_EQ(render, style->RenderItf());
  render->Release();
  EXPECT_EQ(GetObjectDocument(style->Unknown(), nullptr), E_INVALIDARG);
  style->Release();
  first->Release();
  second->Release();
  EXPECT_EQ(HostDocumentLiveCount(), 0);
}

}  // namespace
