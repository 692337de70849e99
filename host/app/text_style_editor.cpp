#include "host/app/text_style_editor.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "host/app/graphic_element.h"
#include "host/app/host_double.h"

namespace host_app {

namespace {

void Hold(IUnknown** slot, IUnknown* object) {
  if (object) object->AddRef();
  if (*slot) (*slot)->Release();
  *slot = object;
}

class TextStyleEditor;
std::vector<TextStyleEditor*> g_editors;  // alive, for FinishTextEdit

class TextStyleEditor final : public IJTextStyleEditor, public IJEditedStyleSource {
 public:
  explicit TextStyleEditor(const CLSID& clsid) : clsid(clsid) {
    CountLiveObject(1);
    g_editors.push_back(this);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJTextStyleEditor)) {
      *out = static_cast<IJTextStyleEditor*>(this);
    } else if (IsEqualIID(iid, IID_IJEditedStyleSource)) {
      *out = static_cast<IJEditedStyleSource*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = --m_refs;
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  HRESULT STDMETHODCALLTYPE EditStyle(IJStylDes* d, IJWrkShop* shop) override { return Edit(3, d, shop); }
  HRESULT STDMETHODCALLTYPE EditNewStyle(IJStylDes* d, IJWrkShop* shop) override { return Edit(4, d, shop); }
  HRESULT STDMETHODCALLTYPE EditDerivedStyle(IJStylDes* d, IJWrkShop* shop) override { return Edit(5, d, shop); }
  HRESULT STDMETHODCALLTYPE SetStyleEdit(IJStyleEdit* edit) override {
    Hold(reinterpret_cast<IUnknown**>(&m_edit), edit);
    Record(6, edit);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDescriptor(IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = m_descriptor;
    if (*out) (*out)->AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE NotCalled3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotCalled4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSourceStyle(IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = m_source;
    if (*out) (*out)->AddRef();
    return S_OK;
  }

  HRESULT Finish(bool store, IUnknown* style) {
    if (!m_edit || !m_descriptor) return E_UNEXPECTED;
    return store ? m_edit->StoreEditedStyle(m_descriptor, style) : m_edit->AddEditedStyle(m_descriptor, style);
  }

  TextEditorCall Carries() {
    TextEditorCall call{static_cast<IJTextStyleEditor*>(this), 0, false, {}, {}, GUID_NULL, 0, 0, 0, nullptr,
                        nullptr};
    IJStylDes* d = m_descriptor;
    if (!d) return call;
    LPWSTR text = nullptr;
    if (SUCCEEDED(d->GetName(&text)) && text) {
      call.named = true;
      call.name = text;
      std::free(text);
    }
    text = nullptr;
    if (SUCCEEDED(d->GetSecondString(&text)) && text) {
      call.secondString = text;
      std::free(text);
    }
    d->GetType(&call.type);
    d->GetEntryWord(&call.entryWord);
    IUnknown* context = nullptr;
    if (SUCCEEDED(d->GetContext(&context)) && context) {
      call.context = IdentityOf(context);
      context->Release();
    }
    // The parent and the ID are not on IJStylDes; a descriptor of the server shows them in process.
    IJStyleDescriptorRecord* access = nullptr;
    if (SUCCEEDED(d->QueryInterface(IID_IJStyleDescriptorRecord, reinterpret_cast<void**>(&access)))) {
      StyleRecord* record = nullptr;
      if (SUCCEEDED(access->GetRecord(&record)) && record) call.parentID = record->parentID;
      access->GetStyleID(&call.styleID);
      access->Release();
    }
    return call;
  }
  IJStylDes* Descriptor() const { return m_descriptor; }

  const CLSID clsid;

 private:
  ~TextStyleEditor() {
    for (IUnknown* held : {static_cast<IUnknown*>(m_descriptor), static_cast<IUnknown*>(m_edit), m_source}) {
      if (held) held->Release();
    }
    g_editors.erase(std::find(g_editors.begin(), g_editors.end(), this));
    CountLiveObject(-1);
  }

  HRESULT Edit(int slot, IJStylDes* descriptor, IJWrkShop* shop) {
    if (!descriptor) return E_INVALIDARG;
    Hold(reinterpret_cast<IUnknown**>(&m_descriptor), descriptor);
    IUnknown* source = nullptr;
    descriptor->GetStyleObject(&source);
    Hold(&m_source, source);
    if (source) source->Release();
    Record(slot, shop);
    return S_OK;
  }

  void Record(int slot, IUnknown* shop) {
    TextEditorCall call = Carries();
    call.slot = slot;
    call.shop = IdentityOf(shop);
    TextEditorCalls().push_back(call);
  }

  LONG m_refs = 0;
  IJStylDes* m_descriptor = nullptr;  // each a reference
  IJStyleEdit* m_edit = nullptr;
  IUnknown* m_source = nullptr;
};

TextStyleEditor* Find(IUnknown* object) {
  IUnknown* identity = IdentityOf(object);
  for (TextStyleEditor* editor : g_editors) {
    if (static_cast<IJTextStyleEditor*>(editor) == identity) return editor;
  }
  return nullptr;
}

HostClassFactory g_charFactory([]() -> IUnknown* {
  return static_cast<IJTextStyleEditor*>(new (std::nothrow) TextStyleEditor(CLSID_TextCharEditor));
});
HostClassFactory g_paraFactory([]() -> IUnknown* {
  return static_cast<IJTextStyleEditor*>(new (std::nothrow) TextStyleEditor(CLSID_TextParaEditor));
});

}  // namespace

std::vector<TextEditorCall>& TextEditorCalls() {
  static std::vector<TextEditorCall> calls;
  return calls;
}

CLSID TextEditorClass(IUnknown* editor) {
  const TextStyleEditor* found = Find(editor);
  return found ? found->clsid : GUID_NULL;
}

HRESULT RegisterTextEditorClasses(DWORD* charCookie, DWORD* paraCookie) {
  const HRESULT hr = g_charFactory.Register(CLSID_TextCharEditor, charCookie);
  return SUCCEEDED(hr) ? g_paraFactory.Register(CLSID_TextParaEditor, paraCookie) : hr;
}

TextEditorCall TextEditorCarries(IUnknown* editor) {
  TextStyleEditor* found = Find(editor);
  return found ? found->Carries() : TextEditorCall{};
}

IJStylDes* TextEditorDescriptor(IUnknown* editor) {
  TextStyleEditor* found = Find(editor);
  return found ? found->Descriptor() : nullptr;
}

HRESULT FinishTextEdit(IUnknown* editor, bool store, IUnknown* style) {
  TextStyleEditor* found = Find(editor);
  return found ? found->Finish(store, style) : E_INVALIDARG;
}

}  // namespace host_app
