#include "display/style/stylbas/JStyleBase.h"

#include <cstdint>

#include "display/style/stylbas/StyleCallDepth.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "STYLEBAS";
// GetStyleByID reports under the render base's name: it is the render base that resolves references.
constexpr char kRenderSource[] = "ustylr2d";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

bool IsUsableID(DWORD id) { return id != kNoStyleID && id != kInvalidStyleID; }

}  // namespace

JStyleBase::JStyleBase() : UUnknown() {}

JStyleBase::JStyleBase(IUnknown* outer) : UUnknown(outer) {}

JStyleBase::~JStyleBase() = default;

void* JStyleBase::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJManageStyle) || IsEqualIID(iid, IID_IJManageStyle2)) return &m_IJManageStyle2Imp;
  if (IsEqualIID(iid, IID_IJPersist) || IsEqualIID(iid, IID_IPersist)) return &m_IJPersistImp;
  if (IsEqualIID(iid, IID_IJStyleCopy)) return &m_IJStyleCopyImp;
  if (IsEqualIID(iid, IID_IJStyleUser)) return &m_IJStyleUserImp;
  return UUnknown::GetInterface(iid);
}

IUnknown* JStyleBase::Identity() { return GetControllingUnknown(); }

HRESULT JStyleBase::OwnerLibrarian(IJSLLibrarian** out) const {
  *out = nullptr;
  if (!m_owner) return E_FAIL;
  return m_owner->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(out));
}

// ---- main-table operations ----

BOOL JStyleBase::UsesStyleID(DWORD) { return FALSE; }

HRESULT JStyleBase::Serialize(JArchive*) { return S_OK; }

HRESULT JStyleBase::Clone(IUnknown*, IUnknown** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT JStyleBase::InitNew() { return S_OK; }

HRESULT JStyleBase::CopyFrom(IUnknown* source, DWORD) {
  if (!source) return Report(E_INVALIDARG, 1229);
  return S_OK;
}

HRESULT JStyleBase::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = TRUE;
  if (other == Identity()) return S_OK;

  // Each style's library services and ID, when its owner is a librarian.
  StyleComPtr<IJSLManageStyleServices> ownServices;
  if (m_ownerIsLibrarian && m_owner) {
    HRESULT hr = m_owner->QueryInterface(IID_IJSLManageStyleServices, ownServices.PutVoid());
    if (FAILED(hr)) Report(hr, 1307);
  }
  StyleComPtr<IJSLManageStyleServices> otherServices;
  DWORD otherID = kNoStyleID;
  StyleComPtr<IJManageStyle2> otherManage;
  if (SUCCEEDED(other->QueryInterface(IID_IJManageStyle2, otherManage.PutVoid()))) {
    StyleComPtr<IUnknown> otherOwner;
    StyleComPtr<IJSLLibrarian> otherLibrarian;
    if (SUCCEEDED(otherManage->GetOwner(otherOwner.Put())) && otherOwner &&
        SUCCEEDED(otherOwner->QueryInterface(IID_IJSLLibrarian, otherLibrarian.PutVoid()))) {
      HRESULT hr = otherOwner->QueryInterface(IID_IJSLManageStyleServices, otherServices.PutVoid());
      if (FAILED(hr)) Report(hr, 1329);
      if (FAILED(otherManage->GetID(nullptr, &otherID))) otherID = kNoStyleID;
    }
  }

  // The first style asked that is persisted under a name makes the two unequal; the second is asked only
  // when the first is not.
  const auto persistedUnderName = [](IJSLManageStyleServices* services, DWORD id, int line) {
    if (!services || !IsUsableID(id)) return false;
    LPWSTR name = nullptr;
    const HRESULT hr = services->GetPersistedStyleName(id, &name);
    if (FAILED(hr)) Report(hr, line);
    return SUCCEEDED(hr) && name != nullptr;
  };
  if (persistedUnderName(ownServices.Get(), m_styleID, 1307) ||
      persistedUnderName(otherServices.Get(), otherID, 1329)) {
    *same = FALSE;
  }
  return S_OK;
}

BOOL JStyleBase::AlwaysTrueHook() { return TRUE; }

HRESULT JStyleBase::SetID(DWORD id) {
  m_styleID = id;
  return S_OK;
}

HRESULT JStyleBase::GetID(WORD* n, DWORD* id) {
  if (id) {
    *id = m_styleID;
    return S_OK;
  }
  if (!n) return E_INVALIDARG;
  *n = 1;
  return S_OK;
}

HRESULT JStyleBase::GetOwner(IUnknown** out) {
  if (!out) return Report(E_INVALIDARG, 1435);
  *out = nullptr;
  if (!m_owner) return S_OK;
  HRESULT hr = m_owner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
  if (FAILED(hr)) Report(hr, 1443);
  return hr;
}

HRESULT JStyleBase::SetOwner(IUnknown* owner) {
  m_ownerIsLibrarian = 0;
  if (owner) {
    StyleComPtr<IJSLLibrarian> librarian;
    if (SUCCEEDED(owner->QueryInterface(IID_IJSLLibrarian, librarian.PutVoid()))) m_ownerIsLibrarian = 1;
  }
  m_owner = owner;
  return S_OK;
}

HRESULT JStyleBase::ReleaseStyleRefs(DWORD) { return S_OK; }

HRESULT JStyleBase::EnumStyleRefs(StyleRefCallback) { return S_OK; }

HRESULT JStyleBase::CopyToLibrary(IJSLLibrarian*, IJSLLibrarian*, IUnknown*, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  StyleComPtr<IJPersist> persist;
  HRESULT hr = QueryInterface(IID_IPersist, persist.PutVoid());
  if (FAILED(hr)) return Report(hr, 1543);
  hr = persist->Clone(nullptr, out);
  if (FAILED(hr)) Report(hr, 1547);
  return hr;
}

GUID* JStyleBase::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_Linear;
  return out;
}

HRESULT JStyleBase::OnStyleChanged(DWORD, DWORD) { return S_FALSE; }

// ---- persistence ----

HRESULT JStyleBase::SerializeVersioned(JArchive* archive) {
  if (IsVersioned(archive)) {
    m_versioned = 1;
    WORD version = 0;
    DWORD scratch;
    HRESULT hr = ArchiveSerializeClassHeader(archive, &CLASSTAG_JStyleBase, &version, &scratch);
    if (FAILED(hr)) return Report(hr, 1634);
    if (version == 2 || version == 3) {
      hr = SerializeLegacyBlock(archive);
      if (FAILED(hr)) return Report(hr, 1643);
    }
  }
  HRESULT hr = Serialize(archive);
  if (FAILED(hr)) Report(hr, 1660);
  return hr;
}

// Records of header versions 2 and 3 carry the style ID in 16 bits, and the flag word.
HRESULT JStyleBase::SerializeLegacyBlock(JArchive* archive) {
  WORD id = static_cast<WORD>(m_styleID);
  HRESULT hr = Exchange(archive, id);
  if (FAILED(hr)) return Report(hr, 1738);
  if (IsLoading(archive)) m_styleID = id;
  hr = Exchange(archive, m_flagWord);
  if (FAILED(hr)) return Report(hr, 1746);
  return S_OK;
}

HRESULT JStyleBase::SerializeBase(JArchive* archive, StyleBaseRecord* record) {
  if (!record) return E_INVALIDARG;
  HRESULT hr;
  if (IsStoring(archive)) {
    hr = GetID(nullptr, &record->styleID);
    if (FAILED(hr)) return Report(hr, 1690);
  }
  if (FAILED(hr = Exchange(archive, record->flags))) return Report(hr, 1694);
  if (FAILED(hr = Exchange(archive, record->styleID))) return Report(hr, 1696);
  if (FAILED(hr = Exchange(archive, record->reserved))) return Report(hr, 1698);
  if (FAILED(hr = Exchange(archive, record->referencedStyleID))) return Report(hr, 1700);
  if (IsLoading(archive)) {
    hr = SetID(record->styleID);
    if (FAILED(hr)) return Report(hr, 1705);
  }
  return S_OK;
}

HRESULT JStyleBase::CheckArchiveCount(JArchive* archive, DWORD count, DWORD elementSize) {
  if (!IsLoading(archive)) return S_OK;
  const std::uint64_t needed = std::uint64_t{count} * elementSize;
  if (needed > ArchiveBytesLeft(archive) || needed > 0x7FFFFFFFu) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  return S_OK;
}

HRESULT JStyleBase::GetDocumentObjectID(DWORD* out, IUnknown* object) {
  if (!out) return E_INVALIDARG;
  *out = 0;
  if (!object) return S_OK;
  StyleComPtr<IJDocumentNamedObjects> document;
  HRESULT hr = GetObjectDocument(Identity(), document.Put());
  if (FAILED(hr) && m_ownerIsLibrarian && m_owner) hr = GetObjectDocument(m_owner, document.Put());
  if (FAILED(hr)) return hr;
  StyleComPtr<IUnknown> unknown;
  hr = object->QueryInterface(IID_IUnknown, unknown.PutVoid());
  if (FAILED(hr)) return Report(hr, 1874);
  return document->RegisterObject(unknown.Get(), out, nullptr);
}

HRESULT JStyleBase::GetActiveDocStyleObject(IUnknown** out, DWORD id) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (id == 0) return S_OK;
  StyleComPtr<IJDocumentNamedObjects> document;
  HRESULT hr = GetObjectDocument(Identity(), document.Put());
  if (FAILED(hr)) return Report(hr, 1911);
  return document->FindObjectByID(id, IID_IUnknown, reinterpret_cast<void**>(out));
}

// ---- IJManageStyle2 operations ----

HRESULT JStyleBase::IsSameStyle(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  // Comparing styles compares what they refer to; a cycle of references must not compare for ever.
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  StyleComPtr<IJPersist> persist;
  if (FAILED(other->QueryInterface(IID_IJPersist, persist.PutVoid()))) return S_OK;
  CLSID theirs;
  HRESULT hr = persist->GetClassID(&theirs);
  if (FAILED(hr)) return Report(hr, 539);
  CLSID mine;
  if (!IsEqualCLSID(*GetClassID(&mine), theirs)) return S_OK;
  StyleComPtr<IUnknown> object;
  if (FAILED(other->QueryInterface(IID_IUnknown, object.PutVoid()))) return S_OK;
  hr = IsEqual(object.Get(), same);
  if (FAILED(hr)) Report(hr, 552);
  return hr;
}

HRESULT JStyleBase::SetLibrarian(IUnknown* librarian) {
  HRESULT hr;
  if (librarian) {
    IJSLLibrarian* asked = nullptr;
    hr = librarian->QueryInterface(IID_IJSLLibrarian2, reinterpret_cast<void**>(&asked));
    if (FAILED(hr)) return Report(hr, 712);
    asked->Release();  // the owner is never reference counted
    if (static_cast<IUnknown*>(asked) == m_owner) return S_OK;
    hr = SetOwner(asked);
  } else {
    if (!m_owner) return S_OK;
    hr = SetOwner(nullptr);
  }
  if (FAILED(hr)) Report(hr, 720);
  return hr;
}

HRESULT JStyleBase::CopyStyleToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                       DWORD* newID) {
  if (!newID) return E_INVALIDARG;
  *newID = 0;
  if (!target) return E_INVALIDARG;
  // A style copies the styles it refers to first; a cycle of references must end.
  StyleCallDepth depth;
  if (!depth.Entered()) return E_FAIL;
  return CopyStyleToLibraryCore(source, target, targetDocument, newID);
}

HRESULT JStyleBase::CopyStyleToLibraryCore(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                           DWORD* newID) {
  StyleComPtr<IJSLLibrarian> ownerLibrarian;
  if (m_owner) OwnerLibrarian(ownerLibrarian.Put());

  // A style of another library may already be known to the target, or the target copies it in itself.
  if (source && m_owner && !StyleSameObject(m_owner, source)) {
    HRESULT hr = target->GetStyleID(Identity(), newID);
    if (SUCCEEDED(hr)) return hr;
    *newID = 0;
  }
  if (!source) source = ownerLibrarian.Get();

  StyleComPtr<IUnknown> clone;
  HRESULT hr = CopyToLibrary(source, target, targetDocument, clone.Put());
  if (FAILED(hr)) return Report(hr, 814);

  // The record of the style in its own library gives the copy its name, type and parent; a style that is
  // in no library goes in as a blank record of its category.
  StyleRecord* ownerRecord = nullptr;
  if (ownerLibrarian) {
    DWORD id = 0;
    hr = ownerLibrarian->FindStyleID(Identity(), &id);
    if (FAILED(hr)) {
      Report(hr, 827);
    } else if (id != 0) {
      hr = ownerLibrarian->GetStyleRecord(id, &ownerRecord);
      if (FAILED(hr)) return Report(hr, 836);
      if (ownerRecord->parentID != 0) {
        hr = CopyParentToTarget(target, &ownerRecord->parentID);
        if (FAILED(hr)) {
          ownerLibrarian->FreeStyleRecord(&ownerRecord);
          return hr;
        }
      }
    }
  }
  GUID category;
  StyleRecord blank{};
  StyleRecord* record = ownerRecord;
  if (!record) {
    blank.type = GetStyleCategory(&category);
    record = &blank;
  }

  if (record->styleObject) record->styleObject->Release();
  record->styleObject = clone.Get();
  record->styleObject->AddRef();
  hr = target->AddStyle(record, newID);
  if (*newID > 0) {
    hr = S_OK;
  } else {
    if (SUCCEEDED(hr)) hr = E_FAIL;
    Report(hr, 883);
  }

  if (ownerRecord) {
    ownerLibrarian->FreeStyleRecord(&ownerRecord);
  } else {
    blank.styleObject->Release();
  }
  return hr;
}

// Replaces the parent ID of the owner's record by the parent's ID in the target, which copies the parent in
// when it does not hold it. The owner library's flags are cleared meanwhile (so that it creates no shared
// entries) and restored on every path.
HRESULT JStyleBase::CopyParentToTarget(IJSLLibrarian* target, DWORD* parentID) {
  StyleComPtr<IJSLLibrarian> library;
  HRESULT hr = m_owner->QueryInterface(IID_IJSLLibrarian, library.PutVoid());
  if (FAILED(hr)) return Report(hr, 843);
  DWORD saved = 0;
  hr = library->GetFlags(&saved);
  if (FAILED(hr)) return Report(hr, 847);
  hr = library->SetFlags(0);
  if (FAILED(hr)) {
    Report(hr, 849);
  } else {
    StyleComPtr<IUnknown> parent;
    hr = library->GetStyle(*parentID, parent.Put());
    if (FAILED(hr)) {
      Report(hr, 851);
    } else {
      hr = target->GetStyleID(parent.Get(), parentID);
      if (FAILED(hr)) Report(hr, 853);
    }
  }
  const HRESULT restored = library->SetFlags(saved);
  if (FAILED(restored)) {
    Report(restored, 855);
    if (SUCCEEDED(hr)) hr = restored;
  }
  return hr;
}

// ---- references ----

DWORD JStyleBase::GetStyleID(IUnknown* style) {
  if (!style) return kNoStyleID;
  StyleComPtr<IJSLLibrarian> librarian;
  if (FAILED(OwnerLibrarian(librarian.Put()))) return kInvalidStyleID;
  DWORD id = 0;
  if (FAILED(librarian->GetStyleID(style, &id))) return kInvalidStyleID;
  return id;
}

HRESULT JStyleBase::SetStyleRefID(DWORD* field, DWORD newID) {
  if (!field) return E_INVALIDARG;
  if (!m_owner) {
    if (IsUsableID(newID)) return E_FAIL;
    *field = newID;
    return S_OK;
  }
  if (newID == *field) return S_OK;
  StyleComPtr<IJSLLibrarian> librarian;
  const HRESULT found = OwnerLibrarian(librarian.Put());
  HRESULT hr = S_OK;
  // The new use first: the old and the new ID may be one style's, whose count must not reach 0 between. An ID
  // the owner will not count is no reference: the field keeps the old one, and the old one keeps its use.
  if (newID != kNoStyleID) {
    hr = librarian ? librarian->AddRefStyleID(newID) : found;
    if (FAILED(hr)) return hr;
  }
  const DWORD old = *field;
  *field = newID;
  if (IsUsableID(old) && librarian) librarian->ReleaseStyleID(old);
  return hr;
}

HRESULT JStyleBase::SetStyleRefPtr(DWORD* idField, IUnknown** pointerField, IUnknown* style) {
  return HoldStyleRef(idField, pointerField, style, style);
}

HRESULT JStyleBase::SetStyleRefQI(DWORD* idField, IUnknown** pointerField, IUnknown* style, REFIID iid) {
  if (!style) return SetStyleRefPtr(idField, pointerField, nullptr);
  StyleComPtr<IUnknown> wanted;
  const HRESULT hr = style->QueryInterface(iid, wanted.PutVoid());
  // A style without the interface is refused; the reference stays whole, whatever the cache was.
  if (FAILED(hr)) return Report(hr, 2078);
  return HoldStyleRef(idField, pointerField, style, wanted.Get());
}

HRESULT JStyleBase::HoldStyleRef(DWORD* idField, IUnknown** pointerField, IUnknown* style, IUnknown* kept) {
  if (style && !m_owner) {
    *idField = kInvalidStyleID;
  } else if (!style && !m_owner) {
    *idField = kNoStyleID;
  } else {
    // An owner that cannot name the style leaves the ID as it was.
    const DWORD id = style ? GetStyleID(style) : kNoStyleID;
    if (id != kInvalidStyleID) {
      // The pointer follows the ID: a refused ID leaves both as they were.
      const HRESULT hr = SetStyleRefID(idField, id);
      if (FAILED(hr)) return hr;
    }
  }
  IUnknown* previous = *pointerField;
  *pointerField = kept;
  if (kept) kept->AddRef();
  if (previous) previous->Release();
  return S_OK;
}

HRESULT JStyleBase::GetStyleByID(DWORD id, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!IsUsableID(id) || !m_owner) return S_OK;
  StyleComPtr<IJSLLibrarian> librarian;
  StyleComPtr<IUnknown> style;
  HRESULT hr = OwnerLibrarian(librarian.Put());
  if (SUCCEEDED(hr)) hr = librarian->GetStyle(id, style.Put());
  if (FAILED(hr)) {
    HRerr(hr, 0, kRenderSource, 2096);
    return hr;
  }
  if (!style) return E_FAIL;
  return style->QueryInterface(iid, out);
}

// ---- IJPersist ----

HRESULT STDMETHODCALLTYPE JStyleBase::IJPersistImp::GetClassID(CLSID* out) {
  if (!out) return Report(E_INVALIDARG, 320);
  Object()->GetClassID(out);
  return S_OK;
}

void* STDMETHODCALLTYPE JStyleBase::IJPersistImp::GetImplementation() { return Object(); }

HRESULT STDMETHODCALLTYPE JStyleBase::IJPersistImp::Load(JArchive* archive) {
  if (!archive) return E_INVALIDARG;
  return Object()->SerializeVersioned(archive);
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJPersistImp::Store(JArchive* archive) {
  if (!archive) return E_INVALIDARG;
  return Object()->SerializeVersioned(archive);
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJPersistImp::Clone(IUnknown* outer, IUnknown** out) {
  return Object()->Clone(outer, out);
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJPersistImp::InitNew() { return Object()->InitNew(); }

// ---- IJManageStyle2 ----

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::CopyFrom(IUnknown* source, DWORD flags) {
  return Object()->CopyFrom(source, flags);
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::IsSameStyle(IUnknown* other, BOOL* same) {
  return Object()->IsSameStyle(other, same);
}

BOOL STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::IsFlagWordClear() { return Object()->m_flagWord == 0; }

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::SetID(DWORD id) {
  HRESULT hr = Object()->SetID(id);
  if (FAILED(hr)) Report(hr, 631);
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::GetID(WORD* n, DWORD* id) {
  HRESULT hr = Object()->GetID(n, id);
  if (FAILED(hr)) Report(hr, 657);
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::SetFlagWord(WORD flags) {
  Object()->m_flagWord = flags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::GetOwner(IUnknown** out) {
  HRESULT hr = Object()->GetOwner(out);
  if (FAILED(hr)) Report(hr, 682);
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::SetLibrarian(IUnknown* librarian) {
  return Object()->SetLibrarian(librarian);
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::ReleaseStyleRefs(DWORD value) {
  Object()->ReleaseStyleRefs(value);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::EnumStyleRefs(StyleRefCallback callback) {
  return Object()->EnumStyleRefs(callback);
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::CopyStyleToLibrary(IJSLLibrarian* source,
                                                                            IJSLLibrarian* target,
                                                                            IUnknown* targetDocument,
                                                                            DWORD* newID) {
  return Object()->CopyStyleToLibrary(source, target, targetDocument, newID);
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::GetStyleCategory(GUID* out) {
  if (!out) return E_INVALIDARG;
  Object()->GetStyleCategory(out);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJManageStyle2Imp::OnStyleChanged(DWORD id, DWORD value) {
  return Object()->OnStyleChanged(id, value);
}

// ---- IJStyleCopy ----

HRESULT STDMETHODCALLTYPE JStyleBase::IJStyleCopyImp::Copy(IJSLLibrarian* source, IJSLLibrarian* target,
                                                          IUnknown* targetDocument, DWORD* newID) {
  return Object()->CopyStyleToLibrary(source, target, targetDocument, newID);
}

// ---- IJStyleUser ----

HRESULT STDMETHODCALLTYPE JStyleBase::IJStyleUserImp::CopyStyleUse(IUnknown*, IUnknown*, IUnknown*, IUnknown*,
                                                                  DWORD) {
  return E_FAIL;
}

HRESULT STDMETHODCALLTYPE JStyleBase::IJStyleUserImp::AnnounceOwner(IUnknown*, DWORD*) { return S_OK; }

BOOL STDMETHODCALLTYPE JStyleBase::IJStyleUserImp::UsesStyleID(DWORD id) {
  // Every style a style uses answers through here; past the bound a cycle uses nothing more.
  StyleCallDepth depth;
  if (!depth.Entered()) return FALSE;
  return Object()->UsesStyleID(id);
}
