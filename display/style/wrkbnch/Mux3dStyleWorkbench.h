// Mux3dStyleWorkbench: builds a 3D multiplexer style (two simple lines and an appearance component, all drawn
// from one colour) in a style library, and recolours the style it built in place. Unlike the other workbenches
// it binds to no entry and keeps no working copy: only a name, the colours, the resulting style and its ID. It
// counts as a live object of the server.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

// The head of one of the workbench's two interface objects. Each is an object of its own built on UUnknown, so
// that its table repeats UUnknown's operations in slots 3 to 14 and the interface's operations, which follow,
// begin at slot 15, where callers reach them by place. Its IUnknown operations step back to the workbench.
#define MUX3D_BEGIN_INTERFACE_PART(Itf)                                                                   \
  class Itf##Imp : public UUnknown {                                                                      \
   public:                                                                                                \
    static constexpr const char kTraceName[] = "Mux3dStyleWorkbench::" #Itf "Imp";                       \
    Mux3dStyleWorkbench* Object() {                                                                       \
      return reinterpret_cast<Mux3dStyleWorkbench*>(reinterpret_cast<char*>(this) -                       \
                                                    STYLE_MEMBER_OFFSET(Mux3dStyleWorkbench, m_##Itf##Imp)); \
    }                                                                                                     \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {                           \
      return Object()->OuterQueryInterface(iid, out, kTraceName);                                         \
    }                                                                                                     \
    ULONG STDMETHODCALLTYPE AddRef() override { return Object()->OuterAddRef(kTraceName); }              \
    ULONG STDMETHODCALLTYPE Release() override { return Object()->OuterRelease(kTraceName); }

#define MUX3D_END_INTERFACE_PART(Itf) \
  }                                   \
  m_##Itf##Imp;

class Mux3dStyleWorkbench : public UUnknown {
 public:
  static constexpr char kClassName[] = "Mux3dStyleWorkbench";

  explicit Mux3dStyleWorkbench(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(Mux3dStyleWorkbench)

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return kClassName; }

  HRESULT SetName(LPCWSTR name);
  HRESULT GetName(LPWSTR* out);
  HRESULT SetColour(COLORREF colour);
  HRESULT GetColour(COLORREF* out);
  HRESULT CreateStyle(IUnknown* library);
  HRESULT GetCreatedStyleID(DWORD* out);
  HRESULT QueryStyle(REFIID iid, void** out);

  // The interfaces' operations, in slot order from 15 (IMux3dWrkBench and ICommonWrkBench of stylesrv_itf.h).
  MUX3D_BEGIN_INTERFACE_PART(IMux3dWrkBench)
  virtual HRESULT STDMETHODCALLTYPE SetName(LPCWSTR name);
  virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR* out);
  virtual HRESULT STDMETHODCALLTYPE NoEffect17(DWORD);
  virtual HRESULT STDMETHODCALLTYPE NoEffect18(DWORD);
  virtual HRESULT STDMETHODCALLTYPE SetColour(COLORREF colour);
  virtual HRESULT STDMETHODCALLTYPE GetColour(COLORREF* out);
  virtual HRESULT STDMETHODCALLTYPE NoEffect21(DWORD);
  virtual HRESULT STDMETHODCALLTYPE NoEffect22(DWORD);
  virtual HRESULT STDMETHODCALLTYPE NoEffect23(DWORD, DWORD, DWORD);
  MUX3D_END_INTERFACE_PART(IMux3dWrkBench)

  MUX3D_BEGIN_INTERFACE_PART(ICommonWrkBench)
  virtual HRESULT STDMETHODCALLTYPE CreateStyle(IUnknown* library);
  virtual HRESULT STDMETHODCALLTYPE GetCreatedStyleID(DWORD* out);
  virtual HRESULT STDMETHODCALLTYPE QueryStyle(REFIID iid, void** out);
  MUX3D_END_INTERFACE_PART(ICommonWrkBench)

 protected:
  ~Mux3dStyleWorkbench();

 private:
  // The records handed to the components, from the colours. The header points into this object: it is built in
  // place and never copied.
  struct Records {
    tagStyleSimpleLineData first;
    tagStyleSimpleLineData second;
    Mux3dAppearanceHeader header;
    Mux3dAppearanceA a;
    Mux3dAppearanceB b;
  };
  void BuildRecords(Records* records) const;
  // Adds a component as a nameless entry of the 3D multiplexer type and answers the library's object of it as
  // the multiplexer takes it.
  HRESULT AddComponent(IJSLLibrarian* librarian, IUnknown* component, IJStyleRender** out);
  HRESULT AddLine(IJSLLibrarian* librarian, const tagStyleSimpleLineData& data, IJStyleRender** out);
  // Applies the colours to the held style's components.
  HRESULT UpdateStyle();
  void ReleaseStyle();

  DWORD m_styleID = 0;
  IUnknown* m_style = nullptr;  // a reference
  LPWSTR m_name = nullptr;
  COLORREF m_colour1 = 0xC0C0C0;  // first line and appearance record A
  COLORREF m_colour2 = 0x808080;  // second line
  COLORREF m_colour3 = 0xFFFFFF;  // the second triple of appearance record B
  COLORREF m_colour4 = 0xC0C0C0;  // its first triple
  COLORREF m_colour5 = 0xC0C0C0;  // its third triple
  COLORREF m_colour6 = 0;         // its fourth triple
};

#undef MUX3D_BEGIN_INTERFACE_PART
#undef MUX3D_END_INTERFACE_PART
