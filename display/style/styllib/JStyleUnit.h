// JStyleUnit: settings a style library keeps for the host (an 8-byte value, a code and a table of up to 255
// three-byte entries), aggregated by the library on demand and persisted inside its record. It carries an
// IUnknown of its own rather than UUnknown's: its main table has five operations.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"
#include "display/style/styllib/StyleOwnUnknown.h"

class JStyleUnit : public StyleOwnUnknown<IUnknown> {
 public:
  STYLE_ENGINE_ALLOCATED

  explicit JStyleUnit(IUnknown* outer = nullptr);

  // ---- the main table: the non-delegating IUnknown, the deleting destructor, one more ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleUnit)
  virtual DWORD AnswersZero() { return 0; }

  // The record, in the archive's direction.
  HRESULT SerializeRecord(JArchive* archive);

  STYLE_BEGIN_INTERFACE_PART(JStyleUnit, IJStyleUnitSettings)
  HRESULT STDMETHODCALLTYPE SetUnitValues(const void* value, const DWORD* code) override;
  HRESULT STDMETHODCALLTYPE GetUnitValues(void* value, DWORD* code) override;
  HRESULT STDMETHODCALLTYPE SetUnitTable(const StyleUnitTable* table) override;
  HRESULT STDMETHODCALLTYPE GetUnitTable(StyleUnitTable* table) override;
  STYLE_END_INTERFACE_PART(IJStyleUnitSettings)

  STYLE_BEGIN_INTERFACE_PART(JStyleUnit, IJPersist)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
  void* STDMETHODCALLTYPE GetImplementation() override;
  // The record alone.
  HRESULT STDMETHODCALLTYPE Load(JArchive* archive) override;
  // The class header, then the record.
  HRESULT STDMETHODCALLTYPE Store(JArchive* archive) override;
  // A new, empty object aggregated under `outer`; the values are not copied.
  HRESULT STDMETHODCALLTYPE Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  STYLE_END_INTERFACE_PART(IJPersist)

 protected:
  ~JStyleUnit();

 private:
  BYTE m_unitValue[8] = {};
  DWORD m_unitCode = 0;
  StyleUnitTable m_table = {};
};
