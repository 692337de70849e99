// The style library's record in the document's archive. The reader and the writer move the same fields in the
// same order; a loading archive's bytes are untrusted: every count is held against what the archive still
// holds before anything is allocated from it, and nothing read replaces the library's types and entries until
// the whole entry table has been read and checked.
#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/QuilletHook.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"
#include "display/style/stylspt/ConversionPlugin.h"

namespace {

constexpr char kSource[] = "SLPERST";

// The body follows the class header only for this version.
constexpr WORD kLibraryRecordVersion = 1;

// A type as stored: 40 bytes.
struct StoredType {
  GUID type;
  DWORD activeID;
  DWORD defaultID;
  IID category;
};
static_assert(sizeof(StoredType) == 40);

// The smallest stored entry: type index, flags, two zero lengths, use count, persistent ID, parent, spare.
constexpr DWORD kMinStoredEntry = 2 + 4 + 4 + 4 + 4 + 4 + 4 + 4;

HRESULT Move(JArchive* archive, DWORD count, void* data) { return ArchiveSerializeBytes(archive, count, data); }

// A text as a length in UTF-16 units and the units. A loaded text gets a terminator; its length is bounded by
// the bytes the archive still holds.
HRESULT MoveText(JArchive* archive, LPWSTR* text, bool loading) {
  DWORD units = !loading && *text ? static_cast<DWORD>(std::wcslen(*text)) : 0;
  HRESULT hr = Move(archive, sizeof units, &units);
  if (FAILED(hr)) return hr;
  if (!loading) return units ? Move(archive, units * sizeof(WCHAR), *text) : S_OK;
  *text = nullptr;
  if (units == 0) return S_OK;
  if (units > ArchiveBytesLeft(archive) / sizeof(WCHAR)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  LPWSTR loaded = static_cast<LPWSTR>(std::calloc(units + 1, sizeof(WCHAR)));
  if (!loaded) return E_OUTOFMEMORY;
  hr = Move(archive, units * sizeof(WCHAR), loaded);
  if (FAILED(hr)) {
    StyleFreeText(loaded);
    return hr;
  }
  *text = loaded;
  return S_OK;
}

// One entry's stored fields in archive order.
HRESULT MoveEntry(JArchive* archive, StyleEntry* entry, bool loading) {
  HRESULT hr;
  if (FAILED(hr = Move(archive, sizeof entry->typeIndex, &entry->typeIndex))) return hr;
  if (FAILED(hr = Move(archive, sizeof entry->entryFlags, &entry->entryFlags))) return hr;
  if (FAILED(hr = MoveText(archive, &entry->name, loading))) return hr;
  if (FAILED(hr = MoveText(archive, &entry->auxText, loading))) return hr;
  if (FAILED(hr = Move(archive, sizeof entry->useCount, &entry->useCount))) return hr;
  if (FAILED(hr = Move(archive, sizeof entry->persistentID, &entry->persistentID))) return hr;
  if (FAILED(hr = Move(archive, sizeof entry->parentID, &entry->parentID))) return hr;
  return Move(archive, sizeof entry->spare, &entry->spare);
}

void FreeLoadedTexts(StyleEntry* entries, DWORD count) {
  for (DWORD i = 1; i <= count; ++i) {
    StyleFreeText(entries[i].name);
    StyleFreeText(entries[i].auxText);
    entries[i].name = entries[i].auxText = nullptr;
  }
}

}  // namespace

// ---- the record ----

HRESULT JStyleLib::Serialize(JArchive* archive) {
  if (!archive) return REPORT(E_INVALIDARG);
  const bool loading = (archive->flags & ARCHIVE_LOADING) != 0;
  const bool storing = !loading && (archive->flags & ARCHIVE_STORING) != 0;
  if (!loading && !storing) return REPORT(E_INVALIDARG);
  const bool dropCached = loading && (archive->flags & ARCHIVE_DROP_CACHED) != 0;

  if (dropCached) ClearLibrary();
  HRESULT hr;
  if (archive->flags & ARCHIVE_VERSIONED) {
    WORD version = 0;
    DWORD scratch = 0;
    hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleLib, &version, &scratch);
    if (FAILED(hr)) return REPORT(hr);
    // A record of another layout is not ours to read; the library stays as it is.
    if (version != kLibraryRecordVersion) return hr;
  }

  if (storing) {
    hr = StoreBody(archive);
    if (FAILED(hr)) return hr;
    RepairParents();
    return S_OK;
  }

  if (dropCached && m_hook) QuilletAnswered(m_hook->LoadBegins(Identity()), __LINE__);
  bool hadResourceList = false;
  hr = LoadBody(archive, dropCached, &hadResourceList);
  if (SUCCEEDED(hr) && hadResourceList) {
    StyleComPtr<IJApplicationStyleFiles> application;
    DWORD applicationLoadsNames = 0;
    if (SUCCEEDED(GetAppInterface(&IID_IJApplicationStyleFiles, application.PutVoid())) && application) {
      if (FAILED(application->GetLoadsStyleFileNames(&applicationLoadsNames))) applicationLoadsNames = 0;
    }
    if (applicationLoadsNames == 0) {
      hr = LoadResourceStyleNames();
      if (FAILED(hr)) REPORT(hr);
    }
  }
  if (SUCCEEDED(hr)) {
    if (dropCached) {
      // A style that cannot be fetched now is reported and fetched again on its next use.
      for (DWORD id = 1; id <= m_highestID; ++id) {
        if (IsValidID(id) && m_entries[id].persistentID != kPersistentIDNone && !m_entries[id].styleObject) {
          LoadEntryObject(id);
        }
      }
    }
    RepairParents();
  }
  // Told also after a failed load, so that the hook never believes a load is still running.
  if (dropCached && m_hook) QuilletAnswered(m_hook->LoadEnds(Identity()), __LINE__);
  return hr;
}

HRESULT JStyleLib::StoreBody(JArchive* archive) {
  HRESULT hr;
  WORD typeCount = m_types.Count();
  if (FAILED(hr = Move(archive, sizeof typeCount, &typeCount))) return REPORT(hr);
  for (WORD i = 0; i < typeCount; ++i) {
    const StyleTypeRecord* type = m_types.At(i);
    StoredType stored{type->type, type->activeID, type->defaultID, type->category};
    if (FAILED(hr = Move(archive, sizeof stored, &stored))) return REPORT(hr);
  }
  DWORD count = m_highestID;
  if (FAILED(hr = Move(archive, sizeof count, &count))) return REPORT(hr);
  for (DWORD id = 1; id <= count; ++id) {
    StyleEntry stored{};
    if (!IsFreeSlot(id)) stored = m_entries[id];
    if (FAILED(hr = MoveEntry(archive, &stored, false))) return REPORT(hr);
  }
  DWORD flag = 0;
  if (FAILED(hr = SerializeCompanion(archive, &m_resourceList, CLSID_JStyleResource, false, &flag))) return hr;
  return SerializeCompanion(archive, &m_unitSettings, CLSID_JStyleUnit, false, &flag);
}

HRESULT JStyleLib::LoadBody(JArchive* archive, bool dropCached, bool* hadResourceList) {
  HRESULT hr;
  WORD typeCount = 0;
  if (FAILED(hr = Move(archive, sizeof typeCount, &typeCount))) return REPORT(hr);
  if (typeCount > ArchiveBytesLeft(archive) / sizeof(StoredType)) {
    return REPORT(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  }
  StyleGrowableArray<StoredType> types;
  if (!types.SetSize(typeCount)) return REPORT(E_OUTOFMEMORY);
  for (WORD t = 0; t < typeCount; ++t) {
    if (FAILED(hr = Move(archive, sizeof(StoredType), &types[t]))) return REPORT(hr);
  }

  DWORD count = 0;
  if (FAILED(hr = Move(archive, sizeof count, &count))) return REPORT(hr);
  if (count > ArchiveBytesLeft(archive) / kMinStoredEntry) return REPORT(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  StyleGrowableArray<StyleEntry> loaded;
  if (!loaded.SetSize(count + 1)) return REPORT(E_OUTOFMEMORY);
  for (DWORD id = 1; id <= count; ++id) {
    StyleEntry& entry = loaded[id];
    hr = MoveEntry(archive, &entry, true);
    if (SUCCEEDED(hr) && entry.typeIndex >= typeCount) hr = E_FAIL;
    if (FAILED(hr)) {
      FreeLoadedTexts(loaded.Data(), id);
      return REPORT(hr);
    }
    if (entry.parentID > count) entry.parentID = 0;
  }

  // Everything the entries need was read: from here on the library's own tables change.
  m_types.RemoveAll();
  for (WORD t = 0; t < typeCount; ++t) {
    const StoredType& stored = types[t];
    // The category is the type's fixed one, whatever was stored.
    hr = m_types.AddType(stored.type, stored.activeID, stored.defaultID, stored.category, nullptr);
    if (FAILED(hr)) {
      FreeLoadedTexts(loaded.Data(), count);
      return REPORT(hr);
    }
  }
  hr = InstallEntries(loaded.Data(), count, dropCached);
  if (FAILED(hr)) return hr;

  DWORD flag = 0;
  if (FAILED(hr = SerializeCompanion(archive, &m_resourceList, CLSID_JStyleResource, true, &flag))) return hr;
  *hadResourceList = flag == 1;
  return SerializeCompanion(archive, &m_unitSettings, CLSID_JStyleUnit, true, &flag);
}

HRESULT JStyleLib::InstallEntries(StyleEntry* loaded, DWORD count, bool dropCached) {
  if (m_entries.Size() < count + 1 && !m_entries.SetSize(count + 1)) {
    FreeLoadedTexts(loaded, count);
    return REPORT(E_OUTOFMEMORY);
  }
  // What a library held before a load without the drop flag goes now, with what its entries held.
  if (!dropCached) {
    for (DWORD id = 1; id <= m_highestID; ++id) DropEntryContents(&m_entries[id]);
    ResetEntryTable();
  }
  m_renderCacheID = 0;
  m_renderCacheStyle = nullptr;
  m_liveCount = 0;
  m_freeSlotCount = 0;
  for (DWORD id = 1; id <= count; ++id) {
    StyleEntry entry = loaded[id];
    // An entry released from the document while it was stored has nothing to come back to.
    if (!dropCached && entry.persistentID == kPersistentIDReleased) {
      StyleFreeText(entry.name);
      StyleFreeText(entry.auxText);
      entry = StyleEntry{};
    }
    m_entries[id] = entry;
    m_highestID = id;
    if (entry.name || entry.persistentID != kPersistentIDNone) ++m_liveCount;
    if (m_hook) QuilletAnswered(m_hook->EntryAdded(Identity(), id, &m_entries[id]), __LINE__);
    if (IsFreeSlot(id)) ++m_freeSlotCount;
    if (entry.name && entry.persistentID != kPersistentIDNone && FAILED(FileName(m_entries[id], nullptr))) {
      // The entry stays; its name is found again through the entry, not the table.
      REPORT(E_FAIL);
    }
  }
  return S_OK;
}

// Flag 1 and the companion's own record, or flag 0. A loaded flag 0 lets the companion go; flag 1 makes it
// when the library has none.
HRESULT JStyleLib::SerializeCompanion(JArchive* archive, IUnknown** slot, REFCLSID clsid, bool loading,
                                      DWORD* flag) {
  *flag = !loading && *slot ? 1 : 0;
  HRESULT hr = Move(archive, sizeof *flag, flag);
  if (FAILED(hr)) return REPORT(hr);
  if (loading) {
    if (*flag == 0) {
      if (IUnknown* companion = *slot) {
        *slot = nullptr;
        companion->Release();
      }
      return S_OK;
    }
    if (*flag != 1) return REPORT(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    if (!*slot) {
      hr = CreateOwnInstance(clsid, Identity(), IID_IUnknown, reinterpret_cast<void**>(slot));
      if (FAILED(hr)) return REPORT(hr);
    }
  }
  if (*flag == 0) return S_OK;
  hr = ArchiveSerializeObject(archive, *slot);
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

void JStyleLib::ResetEntryTable() {
  for (DWORD id = 1; id <= m_highestID && id < m_entries.Size(); ++id) m_entries[id] = StyleEntry{};
  m_highestID = 0;
  m_liveCount = 0;
  m_freeSlotCount = 0;
}

// Each walk up from an entry marks the parents it reaches with the entry's own stamp, so that the marks need no
// clearing between walks and every walk ends within highestID steps, however many entries there are.
void JStyleLib::RepairParents() {
  const DWORD count = m_highestID;
  if (count == 0) return;
  StyleGrowableArray<DWORD> marks;
  if (!marks.SetSize(count + 1)) {
    REPORT(E_OUTOFMEMORY);
    return;
  }
  for (DWORD start = 1; start <= count; ++start) {
    const WORD startType = m_entries[start].typeIndex;
    DWORD current = start;
    DWORD previous = 0;
    for (;;) {
      StyleEntry& entry = m_entries[current];
      if (previous != 0 && entry.parentID != 0 && entry.typeIndex != startType) {
        m_entries[previous].parentID = 0;
        break;
      }
      const DWORD parent = entry.parentID;
      if (parent == 0) break;
      if (parent > count || marks[parent] == start) {
        entry.parentID = 0;
        break;
      }
      marks[parent] = start;
      previous = current;
      current = parent;
    }
  }
}

// ---- IJPersist ----

HRESULT STDMETHODCALLTYPE JStyleLib::IJPersistImp::Load(JArchive* archive) { return Object()->Serialize(archive); }

// The document's own call, whichever the direction: the class header comes first in every archive.
HRESULT STDMETHODCALLTYPE JStyleLib::IJPersistImp::Store(JArchive* archive) {
  if (!archive) return REPORT(E_INVALIDARG);
  JStyleLib* library = Object();
  WORD version = 0;
  DWORD scratch = 0;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleLib, &version, &scratch);
  if (FAILED(hr)) return REPORT(hr);
  hr = library->Serialize(archive);
  if (FAILED(hr)) return REPORT(hr);
  if (archive->flags & (ARCHIVE_LOADING | ARCHIVE_DROP_CACHED)) {
    // A loaded library may hold styles of the older release: they are converted after the elements.
    HPostR1forAfterAuxConversion(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(library->Identity())));
  }
  return S_OK;
}
