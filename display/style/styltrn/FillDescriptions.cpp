// The fill branch of HCreateStyleFromUF and HSetFillDataFromUF: a simple fill with, when the description has
// lines, a hatch pattern of one family per line; or, for a fill the library has, an override of it.
#include <cstdint>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/StyleExportHelpers.h"
#include "display/style/stylspt/StyleExports.h"
#include "display/style/styltrn/DescriptionSteps.h"
#include "host/halvorn/halvorn.h"

namespace styltrn {

namespace {

using stylspt::Ask;

// The dash of each hatch line, for HSetFillDataFromUF; every entry and the array go when it does. From the
// engine's allocator, whose outstanding blocks the host counts.
class DashSlots {
 public:
  DashSlots() = default;
  ~DashSlots() {
    for (LONG i = 0; i < m_count; ++i) {
      if (m_slots[i]) m_slots[i]->Release();
    }
    EngineFree(m_slots);
  }
  DashSlots(const DashSlots&) = delete;
  DashSlots& operator=(const DashSlots&) = delete;

  bool Allocate(LONG count) {
    if (static_cast<std::size_t>(count) > SIZE_MAX / sizeof(IUnknown*)) return false;
    const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(IUnknown*);
    m_slots = static_cast<IUnknown**>(EngineAlloc(bytes));
    if (!m_slots) return false;
    for (LONG i = 0; i < count; ++i) m_slots[i] = nullptr;
    m_count = count;
    return true;
  }
  IUnknown** Slot(LONG i) { return &m_slots[i]; }
  IUnknown** Get() { return m_slots; }

 private:
  IUnknown** m_slots = nullptr;
  LONG m_count = 0;
};

// The values in which the description differs from the fill found by its name, as an override record.
tagStyleOverride OverrideValues(const UFFillData& data) {
  tagStyleOverride record{};
  record.unitsCode = data.unitsCode;
  if (data.fillColour != kUFColourNotGiven) {
    record.fillColour = data.fillColour;
    record.flags |= OVR_FILL_COLOUR;
  }
  if (data.patternScale != 0.0) {
    record.rotationAngle = data.patternScale;
    record.flags |= OVR_ROTATION;
  }
  if (data.fillScale != 1.0 && data.fillScale != 0.0) {
    record.scaleFactor = data.fillScale;
    record.flags |= OVR_SCALE;
  }
  // Only a description with lines has a first line to read.
  if (data.lineCount > 0) {
    const UFHatchLine& first = data.lines[0];
    if (first.colour != kUFColourNotGiven) {
      record.colour = first.colour;
      record.flags |= OVR_COLOUR;
    }
    if (first.width != 0.0) {
      record.width = first.width;
      record.flags |= OVR_WIDTH;
    }
  }
  return record;
}

// A fresh simple fill (in no library yet) made into the description's fill and added under its name.
HRESULT CompleteNewFill(const UFFillData& data, IUnknown* document, IJSLLibrarian* librarian,
                        HINSTANCE resourceModule, IUnknown* made, DWORD* outID, IUnknown** outObject) {
  StyleComPtr<IJStyleSimpleFill> fill;
  HRESULT hr = Ask(made, IID_IJStyleSimpleFill, fill);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> hatch;
  StyleComPtr<IJStyleHatchFill> hatchFill;
  DashSlots slots;
  if (data.lineCount > 0) {
    if (FAILED(hr = HCreateStyle(hatch.Put(), document, &CLSID_JStyleHatchFill, 0, nullptr))) return hr;
    if (FAILED(hr = Ask(hatch.Get(), IID_IJStyleHatchFill, hatchFill))) return REPORT(hr);
    if (!slots.Allocate(data.lineCount)) return REPORT(E_OUTOFMEMORY);
    for (LONG i = 0; i < data.lineCount; ++i) {
      DWORD dashID = kNoStyleID;
      hr = ResolveUFDashRef(document, data.lines[i].dash, librarian, resourceModule, &dashID, slots.Slot(i),
                            data.unitsCode);
      if (FAILED(hr)) return hr;
    }
  }
  // The hatch is filled before it is added: an unnamed hatch may be shared with an equal one already there,
  // which must not be changed under the fills that use it.
  if (FAILED(hr = HSetFillDataFromUF(fill.Get(), hatchFill.Get(), &data, slots.Get()))) return hr;
  if (hatch) {
    DWORD hatchID = kNoStyleID;
    StyleComPtr<IUnknown> stored;
    hr = AddToLibrary(librarian, hatch.Get(), STYLETYPE_HatchFillPattern, nullptr, kNoStyleID, &hatchID,
                      stored.Put());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = fill->SetPattern(stored.Get()))) return REPORT(hr);
  }
  return AddToLibrary(librarian, made, STYLETYPE_Fill, data.name, kNoStyleID, outID, outObject);
}

}  // namespace

HRESULT CheckFillDescription(const UFFillData& data, HINSTANCE resourceModule) {
  if (!AllFinite({data.originX, data.originY, data.originZ, data.patternScale, data.fillScale})) {
    return REPORT(E_INVALIDARG);
  }
  if (data.lineCount <= 0) return S_OK;
  if (!data.lines) return REPORT(E_INVALIDARG);
  for (LONG i = 0; i < data.lineCount; ++i) {
    const UFHatchLine& line = data.lines[i];
    // The hatch takes no family without spacing: refused here, before any of the line dashes is added.
    if (!AllFinite({line.angle, line.spacing, line.shift, line.originX, line.originY, line.originZ, line.width}) ||
        line.spacing == 0.0) {
      return REPORT(E_INVALIDARG);
    }
    const HRESULT hr = CheckDashRef(line.dash, resourceModule);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CreateFillFromDescription(const UFFillData& data, IUnknown* document, IJSLLibrarian* librarian,
                                  HINSTANCE resourceModule, DWORD* outID, IUnknown** outObject) {
  DWORD id = kNoStyleID;
  StyleComPtr<IUnknown> fill;
  BOOL found = FALSE;
  HRESULT hr = FindOrCreateStyleByName(data.name, librarian, CLSID_JStyleSimpleFill, document, STYLETYPE_Fill, &id,
                                       fill.Put(), &found);
  if (FAILED(hr)) return hr;
  if (!found) return CompleteNewFill(data, document, librarian, resourceModule, fill.Get(), outID, outObject);
  const tagStyleOverride record = OverrideValues(data);
  if (record.flags == 0) {
    *outID = id;
    *outObject = fill.Detach();
    return S_OK;
  }
  return AddOverride(document, librarian, record, fill.Get(), STYLETYPE_Fill, outID, outObject);
}

}  // namespace styltrn

using styltrn::kSource;

HRESULT WINAPI HSetFillDataFromUF(IJStyleSimpleFill* fill, IJStyleHatchFill* hatch, const UFFillData* data,
                                  IUnknown** dashTypes) {
  if (!fill || !data) return E_INVALIDARG;
  const LONG count = data->lineCount;
  if (count > 0 && (!hatch || !dashTypes || !data->lines)) return E_INVALIDARG;
  HRESULT hr = fill->SetColor(data->fillColour);
  if (FAILED(hr)) return REPORT(hr);
  if (FAILED(hr = fill->SetLockMask(SFILL_LOCK_COLOUR | SFILL_LOCK_PATTERN))) return REPORT(hr);
  if (count <= 0) return S_OK;

  const HatchFillData whole{data->originX, data->originY, data->originZ, data->patternScale, data->unitsCode,
                            0, nullptr, data->patternWord, 0xFFFFFFFF};
  if (FAILED(hr = hatch->SetData(&whole))) return REPORT(hr);
  for (LONG i = 0; i < count; ++i) {
    const UFHatchLine& line = data->lines[i];
    StyleComPtr<IJStyleDashTypeRender> dash;
    if (dashTypes[i] && FAILED(hr = stylspt::Ask(dashTypes[i], IID_IJStyleDashTypeRender, dash))) {
      return REPORT(hr);
    }
    const HatchFamilyDesc family{0,           0,           line.angle,   line.spacing, line.shift,
                                 line.originX, line.originY, line.originZ, line.colour,  line.width,
                                 dash.Get(),  0xFFFFFFFF};
    LONG index = -1;
    if (FAILED(hr = hatch->AddFamily(&family, &index))) return REPORT(hr);
  }
  return S_OK;
}
