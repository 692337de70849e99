// JVOQStyleAccess: one opened style-library file. Open checks that the file is of the version the application
// writes now, lets the engine build a document from the file's storage and reaches the style library inside
// it; the custodian then walks that library's names. Toward the style code the accessor also stands in for the
// file's document: its IJDocument2 leads to the file's library and refuses everything else.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

class JVOQStyleAccess : public UUnknown {
 public:
  explicit JVOQStyleAccess(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JVOQStyleAccess)

  void FinalRelease() override;
  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override;

  // The text of the last message that refused a file of another version ("" before the first), for the
  // project's tests.
  static const char* LastVersionMessage();

  STYLE_BEGIN_INTERFACE_PART(JVOQStyleAccess, IJSLAccess)
  HRESULT STDMETHODCALLTYPE NotOffered3(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Open(LPCWSTR path) override;
  HRESULT STDMETHODCALLTYPE NotOffered5(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered6(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered7(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered8(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered9(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered10(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumTypeItems(const GUID* type, StyleDescriptorCallback callback,
                                          void* context) override;
  HRESULT STDMETHODCALLTYPE NotOffered12(DWORD, DWORD) override { return E_NOTIMPL; }
  STYLE_END_INTERFACE_PART(IJSLAccess)

  STYLE_BEGIN_INTERFACE_PART(JVOQStyleAccess, IJDocument2)
  // Every slot refuses but these: 20 leads to the file's library, 43 accepts its argument and ignores it.
  HALVORN_DOC2_REFUSED_SLOTS
  HRESULT STDMETHODCALLTYPE GetName(LPSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLibraryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE Doc2Slot43(ULONG_PTR) override { return S_OK; }
  STYLE_END_INTERFACE_PART(IJDocument2)

 protected:
  ~JVOQStyleAccess();

 private:
  HRESULT Open(LPCWSTR path);
  // Opens the file's document and reaches its library through the document's named object "StyleLibrarian".
  HRESULT ReachLibrary(LPCWSTR path);
  // Reads the file's version and builds its document. S_FALSE, with nothing opened, when the registry holds no
  // current version. On failure the outs hold nothing.
  HRESULT OpenLibraryFile(LPCWSTR path, IUnknown** document, IJDocumentNamedObjects** namedObjects,
                          IStorage** storage, BOOL* readOnly);
  // Drops the file's library and document.
  void Close();

  IJSLibAccess* m_libraryAccess = nullptr;          // one reference; null until Open succeeds
  IJDocumentNamedObjects* m_namedObjects = nullptr;  // borrowed: the document keeps it alive
  IUnknown* m_document = nullptr;                    // one reference
  WCHAR m_fileName[MAX_PATH] = {};                   // the opened path; empty while none is open
};
