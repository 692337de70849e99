// What the line styles share: the cutting of a point list into runs at separator points, the truncation of
// extents to their u32 field, the two steps of copying and comparing the styles a line refers to, and the draw
// context through which a symbol displays itself.
#pragma once

#include <cfloat>
#include <cmath>
#include <initializer_list>

#include "display/style/stylbas/JStyleBase.h"

// A draw context for a symbol: it holds its interfaces and releases them with itself, on every path.
struct HeldDrawContext {
  GraphicDrawContext context{};
  HeldDrawContext() = default;
  HeldDrawContext(const HeldDrawContext&) = delete;
  HeldDrawContext& operator=(const HeldDrawContext&) = delete;
  ~HeldDrawContext() {
    for (IUnknown* held : {context.display, context.slot412, context.filter}) {
      if (held) held->Release();
    }
  }
};

// A point whose |x| or |y| is DBL_MAX separates runs and is never drawn.
inline bool IsRunSeparator(const double* point) {
  return std::fabs(point[0]) == DBL_MAX || std::fabs(point[1]) == DBL_MAX;
}

// Draws each maximal stretch of non-separator points of the geometry record's point list through
// drawRun(geometry) with a copy of the record whose point list is that run; every run is drawn whatever the one
// before answered. Answers the last run's answer, S_OK when there was none. The caller has checked that the
// record has a point list.
template <class DrawRun>
HRESULT ForEachPointRun(const StyleGeometryRecord* geometry, DrawRun drawRun) {
  const StylePointRun* all = geometry->pointList;
  StyleGeometryRecord copy = *geometry;
  StylePointRun run = *all;
  copy.pointList = &run;
  const auto* points = static_cast<const double*>(all->points);
  HRESULT hr = S_OK;
  DWORD start = 0;
  for (DWORD i = 0; i <= all->count; ++i) {
    if (i < all->count && !IsRunSeparator(points + std::size_t{i} * 3)) continue;
    if (i > start) {
      run.points = const_cast<double*>(points + std::size_t{start} * 3);
      run.count = i - start;
      hr = drawRun(&copy);
    }
    start = i + 1;
  }
  return hr;
}

// Draws the point list as one run when `whole` (bit 16 of the geometry record's first word), else each run
// between separator points. A run without points is never handed to drawRun: a target is never asked to draw
// an empty polyline.
template <class DrawRun>
HRESULT ForEachRun(const StyleGeometryRecord* geometry, bool whole, DrawRun drawRun) {
  if (!whole) return ForEachPointRun(geometry, drawRun);
  return geometry->pointList->count ? drawRun(geometry) : S_OK;
}

// A reference's cache slot as the reference helpers of the bases take it.
template <class T>
IUnknown** AsUnknownSlot(T** slot) {
  return reinterpret_cast<IUnknown**>(slot);
}

// Drops a cached interface; the slot is cleared before the release, which may call back into the style.
template <class T>
void ReleaseCache(T*& cache) {
  if (cache) {
    T* p = cache;
    cache = nullptr;
    p->Release();
  }
}

// A point list the line styles can walk: present, and with points when it counts any.
inline bool HasPointList(const StyleGeometryRecord* geometry) {
  return geometry && geometry->pointList && (geometry->pointList->count == 0 || geometry->pointList->points);
}

// The line style a render record names (its flag set), or null.
inline IJStyleDashTypeRender* NamedLineStyle(const tagStyleOverride& record) {
  return (record.flags & OVR_DASH_TYPE) ? record.dashType : nullptr;
}

// An extent length truncated toward zero into the extent's u32; lengths that are not numbers or are negative
// give 0, lengths beyond the u32 its largest value.
// Style parameters arrive from stored records and callers alike; these decide what is drawable.
inline bool AllZero(const double* values, int count) {
  for (int i = 0; i < count; ++i) {
    if (values[i] != 0.0) return false;
  }
  return true;
}

inline bool AllFinite(const double* values, int count) {
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(values[i])) return false;
  }
  return true;
}

inline DWORD TruncateExtent(double value) {
  if (!(value >= 1.0)) return 0;
  if (value >= 4294967295.0) return 0xFFFFFFFF;
  return static_cast<DWORD>(value);
}

// Copies the style that `style` refers to under `id` into the target library and answers its ID there:
// through the target library when the owner can name the style, else through the style object itself (the
// cached interface, or the owner's object of that ID). Failures are reported under `source` at the lines given
// (getting the style, asking it for IJManageStyle2, copying it).
HRESULT CopyReferenceToLibrary(JStyleBase* style, DWORD id, IUnknown* cached, IJSLLibrarian* source,
                               IJSLLibrarian* target, IUnknown* targetDocument, DWORD* newID, const char* reportSource,
                               int cachedLine, int getLine, int queryLine, int copyLine);

// Whether two referenced styles are the same style: the same pointer, or both present and equal through
// IJManageStyle2's IsSameStyle. A style without IJManageStyle2 is unequal; a failing comparison is reported
// under `source` at `line` and answered.
HRESULT SameReferencedStyle(IUnknown* mine, IUnknown* theirs, BOOL* same, const char* source, int line);

// The object behind a style of the given class made by this server (a clone or a library's style), or null when
// the object is of another class.
template <class T>
T* StyleImplementationOf(IUnknown* object, REFCLSID clsid) {
  StyleComPtr<IJPersist> persist;
  CLSID theirs{};
  if (!object || FAILED(object->QueryInterface(IID_IJPersist, persist.PutVoid())) ||
      FAILED(persist->GetClassID(&theirs)) || !IsEqualCLSID(theirs, clsid)) {
    return nullptr;
  }
  return static_cast<T*>(static_cast<JStyleBase*>(persist->GetImplementation()));
}

// Merges an extent into another field by field, keeping the larger value (the u32 compared unsigned), as ranges
// gather the extents of the styles they draw.
inline void MergeExtentMaximum(StyleExtent* into, const StyleExtent& from) {
  if (from.value > into->value) into->value = from.value;
  if (!(into->first >= from.first)) into->first = from.first;
  if (!(into->second >= from.second)) into->second = from.second;
}

// Merges a drawn style's extent without context, and its range under a context, into what a style that draws
// several gathers.
inline HRESULT MergeExtentDeltaOf(IJStyleRender* style, StyleExtent* into) {
  StyleExtent own{};
  const HRESULT hr = style->GetExtentDelta(&own);
  if (SUCCEEDED(hr)) MergeExtentMaximum(into, own);
  return hr;
}

inline HRESULT MergeRangeOf(IJStyleRender* style, StyleExtent* into, const RenderContextScales* context,
                            IJStyleRender* substitute, const tagStyleOverride* record) {
  StyleExtent own{};
  const HRESULT hr = style->GetRangeWithContext(&own, context, substitute, record);
  if (SUCCEEDED(hr)) MergeExtentMaximum(into, own);
  return hr;
}

// An extent's u32 grown by `b`, stopping at its largest value.
inline DWORD AddSaturated(DWORD a, DWORD b) {
  const DWORD sum = a + b;
  return sum < a ? 0xFFFFFFFF : sum;
}

// A units code the base record can carry: a style given any other could never be stored again.
inline bool IsStorableUnitsCode(DWORD code) {
  return code == STYLE_UNITS_NONE || (code >= STYLE_UNITS_11 && code <= STYLE_UNITS_UNSCALED);
}
