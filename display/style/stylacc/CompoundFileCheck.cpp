#include "display/style/stylacc/CompoundFileCheck.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr BYTE kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr DWORD kEndOfChain = 0xFFFFFFFE;
constexpr DWORD kNoEntry = 0xFFFFFFFF;
constexpr DWORD kFreeSector = 0xFFFFFFFF;
constexpr DWORD kHeaderFatSectors = 109;  // the FAT sectors the header itself lists
constexpr DWORD kMiniSectorSize = 64;
constexpr DWORD kMiniStreamCutoff = 4096;
constexpr DWORD kEntrySize = 128;
constexpr BYTE kStorage = 1;
constexpr BYTE kStream = 2;
constexpr BYTE kRoot = 5;

const HRESULT kCorrupt = STG_E_DOCFILECORRUPT;

DWORD Word(const BYTE* at) {
  DWORD value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

WORD Half(const BYTE* at) {
  WORD value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Tables past this many words are more than any file's frame needs; they are not held.
constexpr ULONGLONG kMostWords = ULONGLONG{1} << 26;

// A table of 32-bit words from the heap; empty when it could not be had.
struct Words {
  explicit Words(ULONGLONG n)
      : data(n <= kMostWords ? new (std::nothrow) DWORD[n ? n : 1] : nullptr),
        count(data ? static_cast<DWORD>(n) : 0) {}
  std::unique_ptr<DWORD[]> data;
  DWORD count;
};

class CompoundFile {
 public:
  explicit CompoundFile(LPCWSTR path)
      : m_handle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)),
        m_opened(m_handle != INVALID_HANDLE_VALUE ? S_OK : HRESULT_FROM_WIN32(GetLastError())) {}
  ~CompoundFile() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
  }
  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

  HRESULT Check();

 private:
  bool Read(ULONGLONG offset, void* out, DWORD count) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return SetFilePointerEx(m_handle, at, nullptr, FILE_BEGIN) && ReadFile(m_handle, out, count, &read, nullptr) &&
           read == count;
  }
  bool ReadSector(DWORD sector, void* out) {
    return sector < m_sectors && Read((ULONGLONG{sector} + 1) << m_shift, out, m_sectorSize);
  }
  // The length of the chain that starts at `first` in a table of `limit` usable places; false for a chain
  // that leaves them or comes back to a place it passed (it would be longer than the places there are).
  static bool ChainLength(const Words& table, DWORD limit, DWORD first, DWORD* length) {
    if (limit > table.count) limit = table.count;
    *length = 0;
    for (DWORD at = first; at != kEndOfChain; at = table.data[at]) {
      if (at >= limit || ++*length > limit) return false;
    }
    return true;
  }
  // Reads the sectors of a chain one after the other into a table of words.
  HRESULT ReadChain(DWORD first, DWORD length, Words* out) {
    *out = Words(ULONGLONG{length} * (m_sectorSize / 4));
    if (length && !out->count) return E_OUTOFMEMORY;
    DWORD at = first;
    for (DWORD i = 0; i < length; ++i, at = m_fat.data[at]) {
      if (!ReadSector(at, reinterpret_cast<BYTE*>(out->data.get()) + i * m_sectorSize)) return kCorrupt;
    }
    return S_OK;
  }
  HRESULT ReadFat(const BYTE* header);
  HRESULT CheckTree(const Words& directory, DWORD entries, const Words& miniFat, DWORD miniSectors);

  HANDLE m_handle;
  HRESULT m_opened;
  DWORD m_shift = 9;
  DWORD m_sectorSize = 512;
  DWORD m_sectors = 0;  // after the header
  Words m_fat{0};
};

HRESULT CompoundFile::ReadFat(const BYTE* header) {
  const DWORD fatSectors = Word(header + 0x2C);
  if (fatSectors > m_sectors) return kCorrupt;
  Words where(fatSectors);
  if (fatSectors && !where.count) return E_OUTOFMEMORY;
  DWORD known = 0;
  for (; known < fatSectors && known < kHeaderFatSectors; ++known) where.data[known] = Word(header + 0x4C + 4 * known);
  // The rest are listed in a chain of DIFAT sectors, each ending with the number of the next.
  const DWORD perSector = m_sectorSize / 4 - 1;
  Words difat(perSector + 1);
  if (!difat.count) return E_OUTOFMEMORY;
  DWORD next = Word(header + 0x44);
  for (DWORD passed = 0; known < fatSectors; ++passed) {
    if (passed >= m_sectors || !ReadSector(next, difat.data.get())) return kCorrupt;
    for (DWORD i = 0; i < perSector && known < fatSectors; ++i) where.data[known++] = difat.data[i];
    next = difat.data[perSector];
  }
  m_fat = Words(ULONGLONG{fatSectors} * (m_sectorSize / 4));
  if (fatSectors && !m_fat.count) return E_OUTOFMEMORY;
  for (DWORD i = 0; i < fatSectors; ++i) {
    if (!ReadSector(where.data[i], reinterpret_cast<BYTE*>(m_fat.data.get()) + i * m_sectorSize)) return kCorrupt;
  }
  return S_OK;
}

HRESULT CompoundFile::CheckTree(const Words& directory, DWORD entries, const Words& miniFat, DWORD miniSectors) {
  const BYTE* table = reinterpret_cast<const BYTE*>(directory.data.get());
  Words pending(entries);
  Words seen(entries);
  if (!pending.count || !seen.count) return E_OUTOFMEMORY;
  std::memset(seen.data.get(), 0, entries * sizeof(DWORD));
  DWORD depth = 0;
  const DWORD rootChild = Word(table + 0x4C);
  if (rootChild != kNoEntry) pending.data[depth++] = rootChild;
  while (depth > 0) {
    const DWORD index = pending.data[--depth];
    // Every entry of the tree is reached once, from its one parent: a second way to it is a loop or a join.
    if (index >= entries || seen.data[index]) return kCorrupt;
    seen.data[index] = 1;
    const BYTE* entry = table + index * kEntrySize;
    const WORD nameBytes = Half(entry + 0x40);
    const BYTE type = entry[0x42];
    if (nameBytes > 64 || nameBytes % 2 || (type != kStorage && type != kStream)) return kCorrupt;
    for (const DWORD link :
         {Word(entry + 0x44), Word(entry + 0x48), type == kStorage ? Word(entry + 0x4C) : kNoEntry}) {
      if (link == kNoEntry) continue;
      if (depth >= entries) return kCorrupt;
      pending.data[depth++] = link;
    }
    if (type != kStream) continue;
    // Versions 3 and 4 alike: only the low word of a size counts in files of 512-byte sectors.
    const ULONGLONG size = m_shift == 9 ? Word(entry + 0x78) : Word(entry + 0x78) | ULONGLONG{Word(entry + 0x7C)} << 32;
    if (size == 0) continue;
    DWORD length = 0;
    if (size < kMiniStreamCutoff) {
      if (!ChainLength(miniFat, miniSectors, Word(entry + 0x74), &length) ||
          length < (size + kMiniSectorSize - 1) / kMiniSectorSize) {
        return kCorrupt;
      }
    } else if (!ChainLength(m_fat, m_sectors, Word(entry + 0x74), &length) ||
               length < (size + m_sectorSize - 1) / m_sectorSize) {
      return kCorrupt;
    }
  }
  return S_OK;
}

HRESULT CompoundFile::Check() {
  if (FAILED(m_opened)) return m_opened;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(m_handle, &size)) return HRESULT_FROM_WIN32(GetLastError());
  BYTE header[512];
  if (size.QuadPart < static_cast<LONGLONG>(sizeof header) || !Read(0, header, sizeof header)) return kCorrupt;
  if (std::memcmp(header, kSignature, sizeof kSignature) != 0 || Half(header + 0x1C) != 0xFFFE) return kCorrupt;
  // Version 3 has sectors of 512 bytes, version 4 of 4096; the mini sectors and the cutoff are fixed.
  m_shift = Half(header + 0x1E);
  const WORD version = Half(header + 0x1A);
  if (!((version == 3 && m_shift == 9) || (version == 4 && m_shift == 12)) || Half(header + 0x20) != 6 ||
      Word(header + 0x38) != kMiniStreamCutoff) {
    return kCorrupt;
  }
  m_sectorSize = 1u << m_shift;
  // A compound file is made of whole sectors.
  if (size.QuadPart % m_sectorSize != 0) return kCorrupt;
  const ULONGLONG sectors = static_cast<ULONGLONG>(size.QuadPart) / m_sectorSize - 1;
  if (sectors > 0x7FFFFFFF) return kCorrupt;
  m_sectors = static_cast<DWORD>(sectors);

  HRESULT hr = ReadFat(header);
  if (FAILED(hr)) return hr;
  DWORD length = 0;
  if (!ChainLength(m_fat, m_sectors, Word(header + 0x30), &length) || length == 0) return kCorrupt;
  Words directory(0);
  if (FAILED(hr = ReadChain(Word(header + 0x30), length, &directory))) return hr;
  const DWORD entries = length * (m_sectorSize / kEntrySize);
  const BYTE* root = reinterpret_cast<const BYTE*>(directory.data.get());
  if (root[0x42] != kRoot) return kCorrupt;

  // The mini stream is the root's; the mini FAT a chain of its own.
  const ULONGLONG miniStream =
      m_shift == 9 ? Word(root + 0x78) : Word(root + 0x78) | ULONGLONG{Word(root + 0x7C)} << 32;
  if (miniStream > static_cast<ULONGLONG>(size.QuadPart)) return kCorrupt;
  if (miniStream && (!ChainLength(m_fat, m_sectors, Word(root + 0x74), &length) ||
                     length < (miniStream + m_sectorSize - 1) / m_sectorSize)) {
    return kCorrupt;
  }
  const DWORD miniSectors = static_cast<DWORD>((miniStream + kMiniSectorSize - 1) / kMiniSectorSize);
  // A file without a mini FAT has "end" or "free" for its first sector, as its writer chose.
  Words miniFat(0);
  const DWORD miniFatFirst = Word(header + 0x3C);
  if (miniFatFirst != kFreeSector) {
    if (!ChainLength(m_fat, m_sectors, miniFatFirst, &length)) return kCorrupt;
    if (FAILED(hr = ReadChain(miniFatFirst, length, &miniFat))) return hr;
  }
  return CheckTree(directory, entries, miniFat, miniSectors);
}

}  // namespace

HRESULT CheckCompoundFileFrame(LPCWSTR path) {
  CompoundFile file(path);
  return file.Check();
}
