// The persistence archive: a growable byte buffer moved little-endian in the archive's direction, with class
// headers and the versions the engine keeps for each class tag.
#include <cstring>
#include <new>
#include <vector>

#include "display/style/stylesrv_itf.h"
#include "host/halvorn/halvorn.h"

namespace {

struct ClassVersion {
  GUID tag;
  WORD version;
};

// The engine's version of each class tag: the one whose branch is the class's current layout.
SRWLOCK g_versionsLock = SRWLOCK_INIT;
std::vector<ClassVersion>& Versions() {
  static std::vector<ClassVersion> versions{
      {CLASSTAG_JStyleBase, 4},       // no legacy block
      {CLASSTAG_CStyleRdr2dBase, 2},  // with the referenced style ID
      // The style library and its companions: one layout each so far.
      {{0x9196D9D1, 0xE94A, 0x11CF, {0x80, 0x94, 0x08, 0x00, 0x36, 0xCE, 0x6C, 0x02}}, 1},
      {{0x2ED06BE2, 0x415F, 0x11D0, {0x81, 0x01, 0x08, 0x00, 0x36, 0xCE, 0x6C, 0x02}}, 1},
      {{0xAA1B6DE0, 0x32AA, 0x11D0, {0xA9, 0xFE, 0x08, 0x00, 0x36, 0x56, 0xCA, 0x02}}, 1},
      // The simple dash type: the record with lengths, flags, end fraction and clients.
      {{0x47FCC336, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 4},
      // The simple line (IDs flagged in the style flags), the override style (the record's units code in the base
      // record) and the solid line (the base record, locked fields, width, colour).
      {{0x47FCC335, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      {{0x47FCC338, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      {{0xF199C621, 0xADF3, 0x11D1, {0xBC, 0xA1, 0x08, 0x00, 0x36, 0x92, 0xD0, 0x02}}, 2},
      // The offset line: the base record with the mode in its flags, and the offset.
      {{0x47FCC339, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      // The symbol definition: its ID list. Version 1 is the older release's, whose IDs go to conversion.
      {{0xDADA7CF0, 0x0699, 0x11D0, {0xA1, 0xC4, 0x08, 0x00, 0x36, 0xF1, 0xDB, 0x02}}, 2},
      // The point symbol: the base record and the symbol's persistent ID.
      {{0x47FCC33B, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      // The text character style: the base record, the character record and the name counted in 16 bits.
      {{0x47FCC333, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      // The text paragraph style: the base record and the paragraph's fields without its stops.
      {{0x47FCC334, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 4},
      // The multiplexer, the simple and hatch fills, the bitmap style, the line terminator and the points along a
      // line: each one's current layout.
      {{0x47FCC330, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      {{0x47FCC331, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      {{0x47FCC332, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      {{0x47FCC33A, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      {{0x47FCC33C, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 3},
      {{0x47FCC33D, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}}, 4},
      // The symbol fill: any version but the first reads the current layout.
      {{0x25F8824B, 0x1B7E, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}}, 2},
  };
  return versions;
}

bool FindVersion(const std::vector<ClassVersion>& table, const GUID& tag, WORD* version) {
  for (const ClassVersion& row : table) {
    if (IsEqualGUID(row.tag, tag)) {
      *version = row.version;
      return true;
    }
  }
  return false;
}

void SetVersion(std::vector<ClassVersion>& table, const GUID& tag, WORD version) {
  for (ClassVersion& row : table) {
    if (IsEqualGUID(row.tag, tag)) {
      row.version = version;
      return;
    }
  }
  table.push_back({tag, version});
}

struct Archive : JArchive {
  std::vector<BYTE> bytes;
  DWORD position = 0;
  LONG exchanges = 0;
  LONG failAt = 0;  // exchange number that fails, 0 for none
  HRESULT failResult = E_FAIL;
  std::vector<ClassVersion> versions;  // this archive's own answers
};

Archive* Impl(JArchive* archive) { return static_cast<Archive*>(archive); }

// Every operation is one exchange; the one a test chose fails before it moves anything.
HRESULT BeginExchange(Archive* archive) {
  ++archive->exchanges;
  if (archive->failAt != 0 && archive->exchanges == archive->failAt) {
    archive->failAt = 0;
    return archive->failResult;
  }
  const DWORD direction = archive->flags & (ARCHIVE_STORING | ARCHIVE_LOADING);
  if (direction != ARCHIVE_STORING && direction != ARCHIVE_LOADING) return E_UNEXPECTED;
  return S_OK;
}

HRESULT Move(Archive* archive, DWORD count, void* data) {
  if (archive->flags & ARCHIVE_STORING) {
    const std::size_t end = std::size_t{archive->position} + count;
    if (end > 0x7FFFFFFF) return E_OUTOFMEMORY;
    if (archive->bytes.size() < end) archive->bytes.resize(end);
    if (count) std::memcpy(archive->bytes.data() + archive->position, data, count);
  } else {
    if (count > archive->bytes.size() - archive->position) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    if (count) std::memcpy(data, archive->bytes.data() + archive->position, count);
  }
  archive->position += count;
  return S_OK;
}

}  // namespace

extern "C" {

HRESULT ArchiveSerializeBytes(JArchive* archive, DWORD count, void* data) {
  if (!archive || (count && !data)) return E_INVALIDARG;
  Archive* impl = Impl(archive);
  HRESULT hr = BeginExchange(impl);
  if (FAILED(hr)) return hr;
  return Move(impl, count, data);
}

HRESULT ArchiveSerializeClassHeader(JArchive* archive, const GUID* tag, WORD* version, DWORD*) {
  if (!archive || !tag || !version) return E_INVALIDARG;
  Archive* impl = Impl(archive);
  HRESULT hr = BeginExchange(impl);
  if (FAILED(hr)) return hr;
  GUID storedTag = *tag;
  WORD storedVersion = 0;
  if (impl->flags & ARCHIVE_STORING) {
    if (!FindVersion(impl->versions, *tag, &storedVersion)) {
      AcquireSRWLockShared(&g_versionsLock);
      const bool known = FindVersion(Versions(), *tag, &storedVersion);
      ReleaseSRWLockShared(&g_versionsLock);
      // A class the engine has no version for cannot be stored readably.
      if (!known) return E_FAIL;
    }
  }
  const DWORD start = impl->position;
  hr = Move(impl, sizeof storedTag, &storedTag);
  if (SUCCEEDED(hr)) hr = Move(impl, sizeof storedVersion, &storedVersion);
  if (FAILED(hr)) {
    impl->position = start;
    return hr;
  }
  if (!IsEqualGUID(storedTag, *tag)) {
    impl->position = start;
    return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  }
  *version = storedVersion;
  return S_OK;
}

HRESULT ArchiveSerializeObject(JArchive* archive, IUnknown* object) {
  if (!archive || !object) return E_INVALIDARG;
  Archive* impl = Impl(archive);
  HRESULT hr = BeginExchange(impl);
  if (FAILED(hr)) return hr;
  IJPersist* persist = nullptr;
  hr = object->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist));
  if (FAILED(hr)) return hr;
  // The same operation both ways: the one with the object's class header (for styles the two are the same;
  // for the library and its companions only this one reads what it wrote). The archive's flags give the
  // direction.
  hr = persist->Store(archive);
  persist->Release();
  return hr;
}

DWORD ArchiveBytesLeft(JArchive* archive) {
  if (!archive || !(archive->flags & ARCHIVE_LOADING)) return 0;
  Archive* impl = Impl(archive);
  return static_cast<DWORD>(impl->bytes.size() - impl->position);
}

JArchive* ArchiveCreate(DWORD flags) {
  Archive* archive = new (std::nothrow) Archive;
  if (archive) archive->flags = flags;
  return archive;
}

void ArchiveDestroy(JArchive* archive) { delete Impl(archive); }

void ArchiveRestart(JArchive* archive, DWORD flags) {
  archive->flags = flags;
  Impl(archive)->position = 0;
}

DWORD ArchiveSize(JArchive* archive) { return static_cast<DWORD>(Impl(archive)->bytes.size()); }

const BYTE* ArchiveData(JArchive* archive) { return Impl(archive)->bytes.data(); }

void ArchiveSetData(JArchive* archive, const void* data, DWORD size) {
  const BYTE* begin = static_cast<const BYTE*>(data);
  Impl(archive)->bytes.assign(begin, begin + size);
  Impl(archive)->position = 0;
}

DWORD ArchivePosition(JArchive* archive) { return Impl(archive)->position; }

LONG ArchiveExchangeCount(JArchive* archive) { return Impl(archive)->exchanges; }

void ArchiveFailExchange(JArchive* archive, LONG n, HRESULT hr) {
  Archive* impl = Impl(archive);
  impl->failAt = n > 0 ? impl->exchanges + n : 0;
  impl->failResult = hr;
}

void ArchiveSetClassVersion(JArchive* archive, const GUID* tag, WORD version) {
  SetVersion(Impl(archive)->versions, *tag, version);
}

void ArchiveRegisterClassVersion(const GUID* tag, WORD version) {
  AcquireSRWLockExclusive(&g_versionsLock);
  SetVersion(Versions(), *tag, version);
  ReleaseSRWLockExclusive(&g_versionsLock);
}

}  // extern "C"
