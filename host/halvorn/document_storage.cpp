// What a host document writes to a compound file and reads back: its objects, each as its IJPersist stores it
// in a versioned archive, and its named objects by persistent ID. Whatever the file holds is checked against
// the stream's length before it is taken: files are read that other programs wrote or that were cut short.
#include <cstring>

#include "display/style/stylesrv_itf.h"
#include "host/halvorn/engine_internal.h"
#include "host/halvorn/halvorn.h"

namespace {

constexpr wchar_t kObjectsStream[] = L"HostObjects";
constexpr wchar_t kNamesStream[] = L"HostNames";
// No document of the stand-in comes near this; a larger stream is damage.
constexpr ULONGLONG kLargestStream = 64u << 20;

// Persistent IDs run up from 0x10000; a stored ID at or above this one is damage.
constexpr DWORD kHighestPersistentID = 0x70000000;

const HRESULT kDamaged = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

void Append(std::vector<BYTE>& bytes, const void* data, std::size_t count) {
  const BYTE* p = static_cast<const BYTE*>(data);
  bytes.insert(bytes.end(), p, p + count);
}

template <class T>
void Put(std::vector<BYTE>& bytes, T value) {
  Append(bytes, &value, sizeof value);
}

// Reads what a stream holds, from its start.
class Reader {
 public:
  explicit Reader(const std::vector<BYTE>& bytes) : m_bytes(bytes) {}

  bool Take(void* out, std::size_t count) {
    if (count > m_bytes.size() - m_position) return false;
    if (count) std::memcpy(out, m_bytes.data() + m_position, count);
    m_position += count;
    return true;
  }
  template <class T>
  bool Get(T* out) {
    return Take(out, sizeof *out);
  }
  std::size_t Left() const { return m_bytes.size() - m_position; }

 private:
  const std::vector<BYTE>& m_bytes;
  std::size_t m_position = 0;
};

HRESULT WriteStream(IStorage* storage, LPCWSTR name, const std::vector<BYTE>& bytes) {
  IStream* stream = nullptr;
  HRESULT hr = storage->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream);
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (SUCCEEDED(hr) && written != bytes.size()) hr = STG_E_WRITEFAULT;
  stream->Release();
  return hr;
}

HRESULT ReadStream(IStorage* storage, LPCWSTR name, std::vector<BYTE>* bytes) {
  IStream* stream = nullptr;
  HRESULT hr = storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
  if (FAILED(hr)) return hr;
  STATSTG stat{};
  hr = stream->Stat(&stat, STATFLAG_NONAME);
  if (SUCCEEDED(hr) && stat.cbSize.QuadPart > kLargestStream) hr = kDamaged;
  if (SUCCEEDED(hr)) {
    bytes->resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
    ULONG read = 0;
    hr = stream->Read(bytes->data(), static_cast<ULONG>(bytes->size()), &read);
    if (SUCCEEDED(hr) && read != bytes->size()) hr = kDamaged;
  }
  stream->Release();
  return hr;
}

}  // namespace

HRESULT StoreObjectRecord(IUnknown* object, CLSID* clsid, std::vector<BYTE>* record) {
  IJPersist* persist = nullptr;
  HRESULT hr = object->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist));
  if (FAILED(hr)) return hr;
  hr = persist->GetClassID(clsid);
  persist->Release();
  if (FAILED(hr)) return hr;
  JArchive* archive = ArchiveCreate(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  if (!archive) return E_OUTOFMEMORY;
  hr = ArchiveSerializeObject(archive, object);
  if (SUCCEEDED(hr)) record->assign(ArchiveData(archive), ArchiveData(archive) + ArchiveSize(archive));
  ArchiveDestroy(archive);
  return hr;
}

HRESULT LoadObjectRecord(IUnknown* object, const std::vector<BYTE>& record) {
  JArchive* archive = ArchiveCreate(ARCHIVE_LOADING | ARCHIVE_VERSIONED);
  if (!archive) return E_OUTOFMEMORY;
  ArchiveSetData(archive, record.data(), static_cast<DWORD>(record.size()));
  const HRESULT hr = ArchiveSerializeObject(archive, object);
  ArchiveDestroy(archive);
  return hr;
}

HRESULT WriteDocumentStreams(IStorage* storage, const std::vector<DocumentObjectRecord>& objects,
                             const std::vector<DocumentNameRecord>& names) {
  if (!storage) return E_INVALIDARG;
  std::vector<BYTE> bytes;
  Put(bytes, static_cast<DWORD>(objects.size()));
  for (const DocumentObjectRecord& object : objects) {
    Put(bytes, object.persistentID);
    Put(bytes, object.clsid);
    Put(bytes, static_cast<DWORD>(object.record.size()));
    Append(bytes, object.record.data(), object.record.size());
  }
  HRESULT hr = WriteStream(storage, kObjectsStream, bytes);
  if (FAILED(hr)) return hr;
  bytes.clear();
  Put(bytes, static_cast<DWORD>(names.size()));
  for (const DocumentNameRecord& name : names) {
    Put(bytes, static_cast<DWORD>(name.name.size()));
    Append(bytes, name.name.data(), name.name.size() * sizeof(wchar_t));
    Put(bytes, name.persistentID);
  }
  return WriteStream(storage, kNamesStream, bytes);
}

HRESULT ReadDocumentStreams(IStorage* storage, std::vector<DocumentObjectRecord>* objects,
                            std::vector<DocumentNameRecord>* names) {
  if (!storage || !objects || !names) return E_INVALIDARG;
  std::vector<BYTE> bytes;
  HRESULT hr = ReadStream(storage, kObjectsStream, &bytes);
  if (FAILED(hr)) return hr;
  Reader objectReader(bytes);
  DWORD count = 0;
  if (!objectReader.Get(&count)) return kDamaged;
  for (DWORD i = 0; i < count; ++i) {
    DocumentObjectRecord object;
    DWORD size = 0;
    if (!objectReader.Get(&object.persistentID) || !objectReader.Get(&object.clsid) || !objectReader.Get(&size) ||
        size > objectReader.Left()) {
      return kDamaged;
    }
    object.record.resize(size);
    objectReader.Take(object.record.data(), size);
    // An ID names one object, and is one the engine hands out: not 0, and far below the library's markers.
    if (object.persistentID == 0 || object.persistentID >= kHighestPersistentID) return kDamaged;
    for (const DocumentObjectRecord& earlier : *objects) {
      if (earlier.persistentID == object.persistentID) return kDamaged;
    }
    objects->push_back(std::move(object));
  }

  hr = ReadStream(storage, kNamesStream, &bytes);
  if (FAILED(hr)) return hr;
  Reader nameReader(bytes);
  if (!nameReader.Get(&count)) return kDamaged;
  for (DWORD i = 0; i < count; ++i) {
    DocumentNameRecord name;
    DWORD units = 0;
    if (!nameReader.Get(&units) || units > nameReader.Left() / sizeof(wchar_t)) return kDamaged;
    name.name.resize(units);
    nameReader.Take(name.name.data(), units * sizeof(wchar_t));
    if (!nameReader.Get(&name.persistentID)) return kDamaged;
    names->push_back(std::move(name));
  }
  return S_OK;
}
