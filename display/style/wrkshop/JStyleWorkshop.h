// JStyleWorkshop: the style library's editor service for the style types whose editors live outside the
// server, the two text style types. The library makes it as an aggregated inner object on the first request for
// one of its interfaces and tells it of itself (ConnectLibrary). It opens an outside editor for a stored or a
// new style, hands the editor a JStyleDescriptor with the style's record and ID, and writes what the editor
// reports back (IJStyleEdit) into the library. Every other type answers E_FAIL: the library's workbenches edit
// those.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

class JStyleWorkshop : public UUnknown {
 public:
  JStyleWorkshop() = default;
  explicit JStyleWorkshop(IUnknown* outer) : UUnknown(outer) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleWorkshop)

  HRESULT Init() override;
  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleWorkshop"; }

  STYLE_BEGIN_INTERFACE_PART(JStyleWorkshop, IJStyleEdit)
  HRESULT STDMETHODCALLTYPE AddEditedStyle(IJStylDes* descriptor, IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE NotImplemented4(IJStylDes*, IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE StoreEditedStyle(IJStylDes* descriptor, IUnknown* style) override;
  STYLE_END_INTERFACE_PART(IJStyleEdit)

  STYLE_BEGIN_INTERFACE_PART(JStyleWorkshop, IJShopServices)
  HRESULT STDMETHODCALLTYPE ConnectLibrary() override;
  HRESULT STDMETHODCALLTYPE GetLibrarian(IJSLLibrarian** out) override;
  STYLE_END_INTERFACE_PART(IJShopServices)

  STYLE_BEGIN_INTERFACE_PART(JStyleWorkshop, IJWrkShop)
  HRESULT STDMETHODCALLTYPE OpenEditor(DWORD id, BOOL derived, IUnknown** editor) override;
  HRESULT STDMETHODCALLTYPE OpenEditorByName(LPCWSTR name, const GUID* type, BOOL newStyle, BOOL derived,
                                             IUnknown** editor) override;
  HRESULT STDMETHODCALLTYPE OpenEditorForStyle(IUnknown* style, BOOL derived, IUnknown** editor) override;
  HRESULT STDMETHODCALLTYPE AttachEditor(IUnknown* editor, DWORD* id) override;
  STYLE_END_INTERFACE_PART(IJWrkShop)

 protected:
  ~JStyleWorkshop() = default;

 private:
  // The outside editor of a text style type, asked for IJTextStyleEditor; E_FAIL, unreported, for any other.
  static HRESULT CreateEditorForType(const GUID* type, IJTextStyleEditor** out);
  // A new descriptor of this server that owns `record` from here on (also when this fails), under `id`.
  static HRESULT NewDescriptor(StyleRecord* record, DWORD id, IJStylDes** out);
  HRESULT OpenEditor(DWORD id, BOOL derived, IUnknown** editor);
  HRESULT OpenDerivedEditor(DWORD id, IJStylDes* first, IJTextStyleEditor* firstEditor, IUnknown** editor);
  HRESULT AddEditedStyle(IJStylDes* descriptor, IUnknown* style);
  HRESULT StoreEditedStyle(IJStylDes* descriptor, IUnknown* style);

  // Held without a reference: the workshop lives inside the library it points to.
  IJSLLibrarian* m_librarian = nullptr;
};

// The record and ID of a descriptor of this server behind an IJStylDes, with a reference; E_INVALIDARG for a
// descriptor of anyone else, whose record the workshop cannot take.
HRESULT StyleDescriptorRecordOf(IJStylDes* descriptor, IJStyleDescriptorRecord** out);
