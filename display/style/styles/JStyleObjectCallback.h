// JStyleObjectCallback: what the host tells when it copies an element from one container (document) into
// another, or within one. The copy is to use in the target's style library the style the original uses in the
// source's: the style is carried over and the copy given its ID there. A series of copies between the same two
// containers asks for their librarians once.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

class JStyleObjectCallback : public UUnknown {
 public:
  static constexpr char kClassName[] = "JStyleObjectCallback";

  explicit JStyleObjectCallback(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleObjectCallback)

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return kClassName; }

  STYLE_BEGIN_INTERFACE_PART(JStyleObjectCallback, IJObjectCallback)
  HRESULT STDMETHODCALLTYPE Notice3(IUnknown*, IUnknown*, IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Notice4(IUnknown*, IUnknown*, IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnObjectCopied(IUnknown* sourceContainer, IUnknown* source, IUnknown* targetContainer,
                                           IUnknown* copy) override;
  // The table's last slot: the implementation's own destructor. It lets go of the cached containers and
  // librarians; the storage belongs to the object.
  virtual void DeletingDestructor(unsigned flags);

  // The containers last seen and their librarians, each with a reference: a container kept alive cannot be
  // freed and its address reused by another document, which would then be served this one's librarian.
  IUnknown* m_sourceContainer = nullptr;
  IJSLLibrarian* m_sourceLibrarian = nullptr;
  IUnknown* m_targetContainer = nullptr;
  IJSLLibrarian* m_targetLibrarian = nullptr;
  STYLE_END_INTERFACE_PART(IJObjectCallback)

 protected:
  ~JStyleObjectCallback();
};
