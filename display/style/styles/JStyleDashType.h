// JStyleDashType: the base of the dash types, the styles through which a line style breaks a run of points
// into dashes. It keeps the client styles (styles that draw at the entries of the pattern, such as points along
// a line) by style ID with their persistence, comparison, copying and use counts, and offers the drawing entry
// point that line styles call. It draws nothing itself: a concrete dash type supplies its description, its
// class ID and RenderDashes.
#pragma once

#include "display/style/stylbas/JStyleBase.h"
#include "display/style/StyleGrowableArray.h"

class JStyleDashType : public JStyleBase {
 public:
  explicit JStyleDashType(IUnknown* outer = nullptr);

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleDashType"; }

  // ---- JStyleBase operations ----

  // True for a client's ID and for every ID that a client uses.
  BOOL UsesStyleID(DWORD id) override;
  // The older record: the base's, then the counted client IDs. Concrete classes call it from their older
  // record versions.
  HRESULT Serialize(JArchive* archive) override;
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  // The client lists compared in order, then the base's comparison.
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  // Moves the clients' uses from the old owner's library to the new one's.
  HRESULT SetOwner(IUnknown* owner) override;
  HRESULT ReleaseStyleRefs(DWORD value) override;
  HRESULT EnumStyleRefs(StyleRefCallback callback) override;
  // The copy, with the clients copied into the target library first.
  HRESULT CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                        IUnknown** out) override;
  GUID* GetStyleCategory(GUID* out) override;
  // `newStyle` is the replacing style object (an IUnknown pointer in the word).
  HRESULT OnStyleChanged(DWORD id, DWORD newStyle) override;

  // ---- the dash type's main-table operations, in slot order ----

  virtual double GetScaleForUnits(DWORD code, const RenderContextScales* context);
  virtual double ConvertStyleLength(double value, DWORD code, const RenderContextScales* context, BOOL clamp);
  // Dashes one run into the target; E_NOTIMPL here.
  virtual HRESULT RenderDashes(const StylePointRun* run, IRenderTarget2d* target, const RenderContextScales* context,
                               DWORD fitRequest, const tagStyleOverride* record, const StyleElementRecord* element,
                               DWORD colour, double width);
  // Builds the client cache from the IDs through the owner, unless it exists already.
  virtual HRESULT ResolveClients();
  virtual HRESULT ReleaseClientInterfaces();
  virtual HRESULT FreeClientCache();
  virtual HRESULT ResizeClientCache(LONG n);
  // The client count in 16 bits, for the current records of the concrete classes.
  virtual HRESULT SerializeClientCount(JArchive* archive, WORD* scratch);
  virtual HRESULT SerializeClientIDs(JArchive* archive);

  // ---- the client list ----

  // Client i with a reference, or null: from the cache, else fetched through the owner.
  IJStyleDashTypeClient* GetClient(LONG i);
  HRESULT SetClients(LONG count, IJStyleDashTypeClient** clients);
  HRESULT SetClientIDs(LONG count, const DWORD* ids);
  HRESULT GetClients(LONG count, IJStyleDashTypeClient** out);
  HRESULT GetClientIDs(LONG count, DWORD* out);
  // Raises each field of *extent to the extents of the clients that can be had.
  HRESULT GetExtents(StyleExtent* extent, const RenderContextScales* context, const tagStyleOverride* record);

  // The style ID of client i, 0 beyond the ID array.
  DWORD ClientID(LONG i) const { return i >= 0 && static_cast<DWORD>(i) < m_clientIDs.Size() ? m_clientIDs[i] : 0; }

  // ---- nested interfaces ----

  STYLE_BEGIN_INTERFACE_PART(JStyleDashType, IJStyleDashTypeRender)
  HRESULT STDMETHODCALLTYPE NotOffered3(DWORD) override;
  HRESULT STDMETHODCALLTYPE GetExtents(StyleExtent* extent, const RenderContextScales* context, DWORD,
                                       const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE RenderDashes(const StylePointRun* run, IRenderTarget2d* target,
                                         const RenderContextScales* context, DWORD fitRequest,
                                         const tagStyleOverride* record, const StyleElementRecord* element,
                                         DWORD colour, double width) override;
  STYLE_END_INTERFACE_PART(IJStyleDashTypeRender)

  STYLE_BEGIN_INTERFACE_PART(JStyleDashType, IJStyleDashType)
  HRESULT STDMETHODCALLTYPE NotOffered3(DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered4(DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered5(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered6(DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered7(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered8(DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered9(DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered10(DWORD, DWORD, DWORD, DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE SetClients(LONG count, IJStyleDashTypeClient** clients) override;
  HRESULT STDMETHODCALLTYPE SetClientIDs(LONG count, const DWORD* ids) override;
  HRESULT STDMETHODCALLTYPE GetClients(LONG count, IJStyleDashTypeClient** out) override;
  HRESULT STDMETHODCALLTYPE GetClientIDs(LONG count, DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleDashType)

  // A dash type refers to no style besides its clients: the referenced-style operations store nothing.
  STYLE_BEGIN_INTERFACE_PART(JStyleDashType, IJStyleSetup2d)
  HRESULT STDMETHODCALLTYPE GetOwner(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetLibrarian(IUnknown* librarian) override;
  HRESULT STDMETHODCALLTYPE SetReferencedStyle(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE SetReferencedStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetReferencedStyle(IJStyleRender** out) override;
  HRESULT STDMETHODCALLTYPE GetReferencedStyleID(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleSetup2d)

 protected:
  ~JStyleDashType();

  // Makes the ID array hold at least `size` entries, new entries zero.
  HRESULT GrowClientIDs(DWORD size);
  // Moves `count` client IDs in the archive's direction; a load checks the count against the archive first.
  HRESULT ExchangeClientIDs(JArchive* archive, DWORD count, int loadLine, int storeLine, int freeLine);
  // The object of a client ID through the owner (reported at `line`), or the failure.
  HRESULT FetchClient(DWORD id, IJStyleDashTypeClient** out, int line);
  // Client i as any interface of the client object, for the operations that ask it for another interface.
  HRESULT ClientObject(LONG i, IUnknown** out);

  LONG m_clientCount = 0;
  LONG m_clientCacheSize = 0;
  IJStyleDashTypeClient** m_clientCache = nullptr;  // each slot holds a reference; a mirror of the IDs
  // The style IDs of the clients: the references themselves. Never shrinks except through SetClients.
  StyleGrowableArray<DWORD> m_clientIDs{8};

 private:
  HRESULT SetClient(LONG i, IJStyleDashTypeClient* client);
  HRESULT SetClientID(LONG i, DWORD id);
  HRESULT CopyClientsToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                               IJStyleDashTypeClient** copies);
};
