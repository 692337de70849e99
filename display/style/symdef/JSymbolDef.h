// JSymbolDef: a symbol definition, an ordered set of graphic elements of a host document that together form one
// symbol. It is itself a graphic: drawing it draws every element, its range is the union of theirs. In its
// document it keeps the elements as persistent IDs beside the element objects, and completes whichever of the
// two lists is missing as soon as it can reach the document. It takes part in the host's copy protocol and
// answers for the styles its elements use. It carries an IUnknown of its own rather than UUnknown's.
#pragma once

#include "display/style/ptrlist.h"
#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"
#include "display/style/styllib/StyleOwnUnknown.h"

class JSymbolDef : public StyleOwnUnknown<IUnknown> {
 public:
  STYLE_ENGINE_ALLOCATED

  explicit JSymbolDef(IUnknown* outer = nullptr);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  STYLE_DECLARE_DELETING_DESTRUCTOR(JSymbolDef)

  // The step the class object runs after the first AddRef. There is nothing to prepare: it answers S_FALSE.
  static HRESULT PostConstruct(IUnknown* object);

  STYLE_BEGIN_INTERFACE_PART(JSymbolDef, IJGraphic)
  HRESULT STDMETHODCALLTYPE GetGraphicType(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE Notify(DWORD a, DWORD b, DWORD c, IUnknown* sink) override;
  HRESULT STDMETHODCALLTYPE Draw(GraphicDrawContext* context) override;
  // Grows what is given by the elements' ranges; clears neither.
  HRESULT STDMETHODCALLTYPE GetRange(GraphicRange* range, StyleExtent* extent) override;
  STYLE_END_INTERFACE_PART(IJGraphic)

  STYLE_BEGIN_INTERFACE_PART(JSymbolDef, IJSymbolDefinition)
  HRESULT STDMETHODCALLTYPE NotOffered3(DWORD, DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered4(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE AnswersFalse() override;
  HRESULT STDMETHODCALLTYPE IsElement(IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE GetElementCount(DWORD* count) override;
  HRESULT STDMETHODCALLTYPE GetElements(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE AddElement(IUnknown* element, DWORD) override;
  HRESULT STDMETHODCALLTYPE AddElements(DWORD n, IUnknown** elements) override;
  HRESULT STDMETHODCALLTYPE RemoveElement(IUnknown* element) override;
  HRESULT STDMETHODCALLTYPE RemoveElements(DWORD n, IUnknown** elements) override;
  HRESULT STDMETHODCALLTYPE RemoveAllElements() override;
  HRESULT STDMETHODCALLTYPE NotOffered14(DWORD, DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered15(DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered16(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE ResolveElements() override;
  HRESULT STDMETHODCALLTYPE NotOffered18(DWORD, DWORD, DWORD) override;
  STYLE_END_INTERFACE_PART(IJSymbolDefinition)

  STYLE_BEGIN_INTERFACE_PART(JSymbolDef, IJPersist)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
  void* STDMETHODCALLTYPE GetImplementation() override;
  // The ID list alone.
  HRESULT STDMETHODCALLTYPE Load(JArchive* archive) override;
  // The class header, then the ID list.
  HRESULT STDMETHODCALLTYPE Store(JArchive* archive) override;
  // A new, empty definition aggregated under `outer`: the copy protocol gives it its elements.
  HRESULT STDMETHODCALLTYPE Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  STYLE_END_INTERFACE_PART(IJPersist)

  STYLE_BEGIN_INTERFACE_PART(JSymbolDef, IJCopyParticipant)
  HRESULT STDMETHODCALLTYPE ListRelatedObjects(IJObjectList** out) override;
  HRESULT STDMETHODCALLTYPE CopyPersistentEntries(IJObjectList* entries, IJCopyContext* context) override;
  HRESULT STDMETHODCALLTYPE RelinkCopy(IJObjectList* entries, IJCopyContext* context, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered6(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE AnswersFalse() override;
  STYLE_END_INTERFACE_PART(IJCopyParticipant)

  STYLE_BEGIN_INTERFACE_PART(JSymbolDef, IJCopyProvider)
  HRESULT STDMETHODCALLTYPE NotOffered3(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered4(DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered5(DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered6(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE GetParticipant(const IID* iid, void** first, void** second, DWORD) override;
  HRESULT STDMETHODCALLTYPE GetProviderType(GUID* out) override;
  HRESULT STDMETHODCALLTYPE NotOffered9(DWORD) override;
  HRESULT STDMETHODCALLTYPE AnswersOk(DWORD) override;
  STYLE_END_INTERFACE_PART(IJCopyProvider)

  STYLE_BEGIN_INTERFACE_PART(JSymbolDef, IJStyleUser)
  HRESULT STDMETHODCALLTYPE CopyStyleUse(IUnknown* sourceLibrary, IUnknown* targetLibrarian,
                                         IUnknown* targetDocument, IUnknown* source, DWORD value) override;
  HRESULT STDMETHODCALLTYPE AnnounceOwner(IUnknown* ownerLibrarian, DWORD* out) override;
  BOOL STDMETHODCALLTYPE UsesStyleID(DWORD id) override;
  STYLE_END_INTERFACE_PART(IJStyleUser)

 protected:
  ~JSymbolDef();

 private:
  // Completes the missing one of the two lists from the other when the definition reaches its document.
  void Synchronise();
  // Calls `call` with each element that answers `Itf`, in element order, after the synchronisation. The
  // elements are taken first, each with a reference: an element may change the definition while it is called.
  // An answer other than S_OK stops the walk and is answered, a failure reported.
  template <class Itf, class Call>
  HRESULT ForEachElement(REFIID iid, Call call);
  HRESULT AddElementCore(IUnknown* element);
  HRESULT RemoveElementCore(IUnknown* element);
  // Releases the elements and empties both lists.
  void ClearLists();
  // The definition's COM identity, without a reference: what documents know it by.
  IUnknown* Identity();
  // The ID list in the archive's direction; a load replaces both lists, and only when it succeeds.
  HRESULT ExchangeIDs(JArchive* archive);
  HRESULT ExchangeVersioned(JArchive* archive);

  DWORD m_documentBound = 0;  // the definition keeps elements of a document (and their IDs)
  JPtrList m_elements{10};    // element identities, each with a reference
  JPtrList m_ids{10};         // their persistent IDs in the document, in the same order
};

extern "C" {
// A new symbol definition holding the n elements in order, handed out as its IUnknown with one reference.
// A null out, or null elements with n > 0, answers E_INVALIDARG and creates nothing. When adding an element
// fails, the failure is answered and the definition made so far stays in *out: the caller releases it.
HRESULT WINAPI CreateLiteSymbol(IUnknown** elements, DWORD n, IUnknown** out);
}
