// A name of a style type's name table, with the style object behind it. The library makes one for each of its
// named styles, and a custodian copies those of style-library files into a document library's tables, so a
// descriptor may outlive the library it came from: it keeps its own copies of its texts and a reference on its
// style object.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

// Callers of other modules use only its virtual operations, in the order of its table and in the compiler's
// convention for member operations; the table ends with the one-slot deleting destructor.
class JSymbolDescriptor {
 public:
  STYLE_ORDINARY_ALLOCATED

  // A descriptor with reference count 0; null when the memory is not there. `style` may be null.
  static JSymbolDescriptor* Create(StyleTypeRecord* type, IUnknown* style, LPCWSTR name, LPCWSTR auxText);

  // ---- the table, in order ----
  virtual HRESULT GetTypeRecord(StyleTypeRecord** out);
  // The style object's interface `iid`, with a reference. E_FAIL when the descriptor has no style.
  virtual HRESULT QueryStyle(REFIID iid, void** out);
  // The descriptor's own texts, not copies: valid while the descriptor lives and its texts are not replaced.
  virtual HRESULT GetName(LPCWSTR* out);
  virtual HRESULT GetAuxText(LPCWSTR* out);
  virtual HRESULT GetLastWord(DWORD* out);
  virtual HRESULT NotOffered(DWORD);
  virtual ULONG AddRef();
  // Deletes the descriptor when the count was 1. Answers the count before the release.
  virtual ULONG Release();
  virtual DWORD GetKind();
  // Runs the destructor; with bit 0 of flags set also frees the storage.
  virtual void DeletingDestructor(unsigned flags);

  // ---- for the library ----
  IUnknown* Style() const { return m_style; }
  // Takes a reference on the new style, releasing the old one.
  void SetStyle(IUnknown* style);
  // False, changing nothing, when the memory is not there.
  bool SetAuxText(LPCWSTR text);
  // As Create, for a name of another library: the descriptor also holds a reference on each of `keep` (null
  // ones skipped), what the type record and the style belong to, which must live as long as it does.
  static JSymbolDescriptor* CreateKeeping(StyleTypeRecord* type, IUnknown* style, LPCWSTR name, LPCWSTR auxText,
                                          IUnknown* const (&keep)[2]);

 protected:
  // Not virtual: destruction goes through DeletingDestructor.
  ~JSymbolDescriptor();

 private:
  JSymbolDescriptor() = default;

  ULONG m_refCount = 0;
  StyleTypeRecord* m_type = nullptr;
  DWORD m_zero1 = 0;
  IUnknown* m_style = nullptr;  // one reference
  LPWSTR m_name = nullptr;      // owned
  LPWSTR m_auxText = nullptr;   // owned
  DWORD m_zero2 = 0;
  IUnknown* m_keep[2] = {};  // a reference each: what the type record and the style belong to
};
