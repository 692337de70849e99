// The style creators: what the linear-style workbench passes every style it builds through, to decide whether
// the style becomes an entry of the style library (and is replaced by the library's own object of the new
// entry) or is handed back as it is. The direct creator always hands it back; the library creator adds it,
// except for the outermost style of a build that is not part of a multiplexer, which its workbench commits
// itself.
//
// Plain classes without COM identity, held by value or made with new. Their table starts with the one-slot
// deleting destructor rather than a C++ virtual destructor, which would take two slots: a creator made with new
// is destroyed through DeletingDestructor(1).
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

class CStylCreator {
 public:
  CStylCreator() = default;
  // Not virtual: destruction through a base pointer goes through DeletingDestructor.
  ~CStylCreator();
  CStylCreator(const CStylCreator&) = delete;
  CStylCreator& operator=(const CStylCreator&) = delete;

  STYLE_ORDINARY_ALLOCATED

  // ---- the table, in order ----
  // Runs the destructor; with bit 0 of flags set also frees the storage.
  virtual void DeletingDestructor(unsigned flags);
  // The style to use for `style` of type `type`: *id its library entry (0 for none) and *made the object, with a
  // reference. Both are 0 and null on failure. The base class answers E_NOTIMPL and touches nothing.
  virtual HRESULT MakeStyle(IUnknown* style, GUID type, DWORD* id, IUnknown** made);
  // The same for the outermost style of a build.
  virtual HRESULT MakeTopStyle(IUnknown* style, GUID type, DWORD* id, IUnknown** made);

  // ---- for the owner ----
  // Takes a reference on each library pointer that is not null, letting go of the one it replaces; a null one
  // leaves the held reference as it is.
  void SetLibraries(IJSLLibrarian* library, IJSLLibrarian* librarian);
  void SetPartOfMultiplexer(bool part) { m_partOfMultiplexer = part ? 1 : 0; }
  bool PartOfMultiplexer() const { return m_partOfMultiplexer != 0; }
  DWORD LibraryMode() const { return m_libraryMode; }
  IJSLLibrarian* Library() const { return m_library; }

 protected:
  // The direct creator's answer: the style itself with a reference, no entry.
  static HRESULT HandBack(IUnknown* style, DWORD* id, IUnknown** made);

  LPWSTR m_name = nullptr;          // of the entries made; owned
  LPWSTR m_secondString = nullptr;  // owned
  IJSLLibrarian* m_library = nullptr;    // where entries are added; a reference
  IJSLLibrarian* m_librarian = nullptr;  // held alongside, not used; a reference
  DWORD m_libraryMode = 0;
  DWORD m_partOfMultiplexer = 0;
};

// Hands every style back unchanged.
class CStylCreatorDirect : public CStylCreator {
 public:
  CStylCreatorDirect() { m_libraryMode = 0; }
  STYLE_DECLARE_DELETING_DESTRUCTOR(CStylCreatorDirect)

  HRESULT MakeStyle(IUnknown* style, GUID type, DWORD* id, IUnknown** made) override;
  HRESULT MakeTopStyle(IUnknown* style, GUID type, DWORD* id, IUnknown** made) override;
};

// Adds every style to its library as a nameless entry of the type; without a library it is the direct creator.
// The outermost style becomes an entry only while the creator builds part of a multiplexer.
class CStylCreatorLibrary : public CStylCreator {
 public:
  CStylCreatorLibrary() { m_libraryMode = 1; }
  STYLE_DECLARE_DELETING_DESTRUCTOR(CStylCreatorLibrary)

  HRESULT MakeStyle(IUnknown* style, GUID type, DWORD* id, IUnknown** made) override;
  HRESULT MakeTopStyle(IUnknown* style, GUID type, DWORD* id, IUnknown** made) override;
};
