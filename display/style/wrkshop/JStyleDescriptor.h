// JStyleDescriptor: one style carried between the style workshop and an editor outside the server: the style's
// record as the library hands it out, its ID, and the editor of the style a new style derives from. Editors read
// and change it through IJStylDes; the workshop fills it through IJStyleDescriptorRecord.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

class JStyleDescriptor : public UUnknown {
 public:
  JStyleDescriptor() = default;
  explicit JStyleDescriptor(IUnknown* outer) : UUnknown(outer) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleDescriptor)

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleDescriptor"; }

  // Frees the record's strings, object, type block and the record itself, with the runtime heap that the
  // library's GetStyleRecord and the workshop allocate them from.
  static void FreeRecord(StyleRecord* record);

  STYLE_BEGIN_INTERFACE_PART(JStyleDescriptor, IJStylDes)
  HRESULT STDMETHODCALLTYPE GetName(LPWSTR* out) override;
  HRESULT STDMETHODCALLTYPE SetName(LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE GetSecondString(LPWSTR* out) override;
  HRESULT STDMETHODCALLTYPE SetSecondString(LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE GetStyleObject(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetStyleObject(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE GetType(GUID* out) override;
  HRESULT STDMETHODCALLTYPE SetType(const GUID* type) override;
  HRESULT STDMETHODCALLTYPE GetContext(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetContext(IUnknown* context) override;
  HRESULT STDMETHODCALLTYPE GetEntryWord(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetEntryWord(DWORD word) override;
  STYLE_END_INTERFACE_PART(IJStylDes)

  STYLE_BEGIN_INTERFACE_PART(JStyleDescriptor, IJStyleDescriptorRecord)
  HRESULT STDMETHODCALLTYPE SetRecord(StyleRecord* record) override;
  HRESULT STDMETHODCALLTYPE GetRecord(StyleRecord** out) override;
  HRESULT STDMETHODCALLTYPE SetStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetStyleID(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleDescriptorRecord)

 protected:
  ~JStyleDescriptor();

 private:
  // The record, or null after a report of E_FAIL under the caller's line.
  StyleRecord* Record(int line);
  HRESULT CopyOut(LPCWSTR text, LPWSTR* out, int line);
  HRESULT Replace(LPWSTR* field, LPCWSTR text, int line);

  IUnknown* m_context = nullptr;   // a reference
  StyleRecord* m_record = nullptr;  // owned
  DWORD m_styleID = kNoStyleID;
};
