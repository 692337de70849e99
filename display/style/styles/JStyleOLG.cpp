#include "display/style/styles/JStyleOLG.h"

#include <cfloat>
#include <cmath>
#include <memory>
#include <new>

#include "display/style/StaticSection.h"
#include "display/style/server.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "geometry/offset_side.h"
#include "geometry/typed_curves.h"
#include "host/pellow/pellow.h"
#include "host/quarnet/quarnet.h"

namespace {

constexpr char kSource[] = "OLG";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

// The class's own section: made at load and deleted at exit like the others, though no path enters it.
__attribute__((init_priority(STYLESRV_INIT_OFFSET_LINE))) StaticSection g_offsetLineSection;

constexpr DWORD kHighestMode = 4;
constexpr WORD kModeMask = 0x38;
constexpr int kModeShift = 3;

// Element codes whose paths move towards a quadrant; 105 is a closed one.
constexpr DWORD kFirstQuadrantElement = 103;
constexpr DWORD kClosedQuadrantElement = 105;

static_assert(sizeof(GPosition) == 3 * sizeof(double), "a point list is read as positions in place");

}  // namespace

JStyleOLG::JStyleOLG(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_LINE;
  SetFactorsFromMode();
}

void* JStyleOLG::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleOLG)) return &m_IJStyleOLGImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

void* JStyleOLG::GetAggregateInterface(REFIID iid) {
  if (void* found = CStyleRdr2dBase::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&CLASSEXT_LineStyle, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleOLG::GetClassID(GUID* out) {
  *out = CLSID_JStyleOLG;
  return out;
}

// Modes past 4 are kept as they came (a stored record may carry them) and move as mode 3 does.
void JStyleOLG::SetFactorsFromMode() {
  switch (m_mode) {
    case 1:
      m_xFactor = 1.0, m_yFactor = -1.0;
      break;
    case 2:
      m_xFactor = -1.0, m_yFactor = -1.0;
      break;
    case 4:
      m_xFactor = -1.0, m_yFactor = 1.0;
      break;
    default:
      m_xFactor = 1.0, m_yFactor = 1.0;
      break;
  }
}

// ---- the data ----

HRESULT JStyleOLG::SetData(const OLGData* data) {
  if (!data || !std::isfinite(data->offset)) return Report(E_INVALIDARG, 640);
  m_offsetUnits = data->unitsCode;
  m_unitsCode = data->unitsCode;
  m_offset = data->offset;
  m_mode = data->mode;
  SetFactorsFromMode();
  return S_OK;
}

HRESULT JStyleOLG::GetData(OLGData* data) {
  if (!data) return Report(E_INVALIDARG, 676);
  data->unitsCode = m_offsetUnits;
  data->offset = m_offset;
  data->mode = m_mode;
  return S_OK;
}

HRESULT JStyleOLG::SetMode(DWORD mode) {
  m_mode = mode;
  SetFactorsFromMode();
  return S_OK;
}

// ---- drawing ----

HRESULT JStyleOLG::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                          const RenderContextScales* context, IJStyleRender* substitute, tagStyleOverride* record,
                          BOOL, const StyleElementRecord* element) {
  if (!HasPointList(geometry)) return Report(E_INVALIDARG, 1208);
  const double scale = record && (record->flags & OVR_SCALE) ? record->dashScale : 1.0;
  const bool quadrant = m_mode != 0 && element && element->elementCode >= kFirstQuadrantElement &&
                        element->elementCode <= kClosedQuadrantElement;
  // Each run between separators moves on its own, even when the host asks for the list as one run: a separator
  // is no point of any path and must not reach the offset or the meeting points.
  // The later runs are still drawn after a failed one, but the failure is the answer.
  HRESULT failed = S_OK;
  const HRESULT last = ForEachPointRun(geometry, [&](const StyleGeometryRecord* run) {
    // A quadrant offset needs a segment; a lone point moves as the side offset's unit segment does.
    const HRESULT hr = quadrant && run->pointList->count >= 2
                           ? DrawQuadrantOffset(run, target, context, substitute, record, element, scale)
                           : DrawSideOffset(run, target, context, substitute, record, element, scale);
    if (FAILED(hr) && SUCCEEDED(failed)) failed = hr;
    return hr;
  });
  return FAILED(failed) ? failed : last;
}

HRESULT JStyleOLG::RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                 const RenderContextScales* context, const StyleElementRecord* element) {
  return Render(geometry, target, context, nullptr, nullptr, FALSE, element);
}

HRESULT JStyleOLG::DrawSideOffset(const StyleGeometryRecord* run, IRenderTarget2d* target,
                                  const RenderContextScales* context, IJStyleRender* substitute,
                                  tagStyleOverride* record, const StyleElementRecord* element, double scale) {
  const StylePointRun& given = *run->pointList;
  const auto* points = static_cast<const double*>(given.points);
  StylePointRun line = given;
  double widened[6];
  if (given.count == 1) {
    // A unit segment along +x from the point.
    widened[0] = points[0], widened[1] = points[1], widened[2] = points[2];
    widened[3] = points[0] + 1.0, widened[4] = points[1], widened[5] = 0.0;
    line = StylePointRun{widened, 2, {1, 1}};
    points = widened;
  }
  // An offset that cannot be made draws nothing; points that are not numbers cannot be moved.
  if (!AllFinite(points, static_cast<int>(3 * line.count))) return S_OK;
  GLineString path{reinterpret_cast<GPosition*>(const_cast<double*>(points)), line.count, 1, 1};
  const GTypedCurve curve{&path, kCurveLineString};
  const GPosition side = OffsetSidePoint(path.pPoints[0], path.pPoints[1], m_offset);
  const double distance = ConvertStyleLength(std::fabs(m_offset), m_offsetUnits, context, FALSE) * scale;
  const int corner = 0;
  GTypedCurve moved{};
  int rc = 0;
  IMTCOff(&curve, &side, &distance, &corner, &moved, &rc);
  if (rc != 0) return S_OK;
  HRESULT hr = S_OK;
  // Only a line string is a point list: the referenced style is never handed another record.
  if (moved.type == kCurveLineString && moved.pCurve) {
    const auto* movedPath = static_cast<const GLineString*>(moved.pCurve);
    StylePointRun movedRun{movedPath->pPoints, movedPath->numPoints, {line.flags[0], line.flags[1]}};
    StyleGeometryRecord copy = *run;
    copy.pointList = &movedRun;
    hr = RenderReferenced(&copy, target, context, substitute, record, TRUE, element);
    if (FAILED(hr)) Report(hr, 1388);
  }
  int freed = 0;
  IMGTCFree(&moved, &freed);
  if (FAILED(hr)) return hr;
  if (freed != 0) return Report(E_FAIL, 1402);
  return hr;
}

void JStyleOLG::QuadrantNormal(const double* a, const double* b, double* u) const {
  GVector2d v(b[0] - a[0], b[1] - a[1]);
  if (v.IsNull()) v = GVector2d(1.0, 0.0);
  const GUnitVector2d left(-v.y, v.x);
  // Mostly vertical segments move sideways by the x factor, mostly horizontal ones and those at 45 degrees
  // (within single precision) up or down by the y factor.
  const double ax = std::fabs(left.x), ay = std::fabs(left.y);
  const bool byY = std::fabs(ay - ax) < FLT_EPSILON || ay > ax;
  const double part = byY ? left.y : left.x;
  const double factor = byY ? m_yFactor : m_xFactor;
  const bool turned = factor < 0 ? !(part < 0) : !(part >= 0);
  u[0] = turned ? -left.x : left.x;
  u[1] = turned ? -left.y : left.y;
}

HRESULT JStyleOLG::DrawQuadrantOffset(const StyleGeometryRecord* run, IRenderTarget2d* target,
                                      const RenderContextScales* context, IJStyleRender* substitute,
                                      tagStyleOverride* record, const StyleElementRecord* element, double scale) {
  const StylePointRun& given = *run->pointList;
  const DWORD count = given.count;
  const auto* points = static_cast<const double*>(given.points);
  const double distance = std::fabs(ConvertStyleLength(m_offset, m_offsetUnits, context, FALSE) * scale);
  // Too short an offset for the element, or one that cannot be made, draws nothing.
  if (!(distance >= 0.5 * element->referenceLength) || !std::isfinite(distance) ||
      !AllFinite(points, static_cast<int>(3 * count))) {
    return S_OK;
  }
  std::unique_ptr<double[]> moved(new (std::nothrow) double[3 * std::size_t{count}]);
  if (!moved) return Report(E_OUTOFMEMORY, 1540);

  struct MovedSegment {
    QuarnetGeometry2d line;
    double start[2];
    double end[2];
  };
  const auto move = [&](DWORD i, MovedSegment* out) {
    const double* a = points + 3 * std::size_t{i};
    const double* b = a + 3;
    double u[2];
    QuadrantNormal(a, b, u);
    out->start[0] = a[0] + u[0] * distance, out->start[1] = a[1] + u[1] * distance;
    out->end[0] = b[0] + u[0] * distance, out->end[1] = b[1] + u[1] * distance;
    LONG rc = 0;
    GeomFromTwoPoints2d(&out->line, out->start, out->end, &rc);
    return rc == 0;
  };
  // Lines that do not meet in one point (parallel or collinear segments) take the later segment's moved start:
  // a collinear run keeps its inner points on the moved line.
  const auto corner = [&](const MovedSegment& earlier, const MovedSegment& later, double* at) {
    double point[2];
    LONG rc = 0;
    GeomCurveCurveRelation(&earlier.line, &later.line, 1, point, &rc);
    const double* chosen = rc == 0 ? point : later.start;
    at[0] = chosen[0], at[1] = chosen[1], at[2] = 0.0;
  };

  MovedSegment first{};
  if (!move(0, &first)) return Report(E_FAIL, 1560);
  moved[0] = first.start[0], moved[1] = first.start[1], moved[2] = 0.0;
  MovedSegment previous = first;
  for (DWORD i = 1; i + 1 < count; ++i) {
    MovedSegment segment{};
    if (!move(i, &segment)) return Report(E_FAIL, 1568);
    corner(previous, segment, &moved[3 * std::size_t{i}]);
    previous = segment;
  }
  double* last = &moved[3 * std::size_t{count - 1}];
  // One segment closes on nothing: its own moved line would meet itself.
  if (element->elementCode == kClosedQuadrantElement && count > 2) {
    corner(previous, first, last);
    // A closed outline that repeats its first point starts at that same corner, not on a stub beyond it.
    const double* end = points + 3 * std::size_t{count - 1};
    if (count > 2 && end[0] == points[0] && end[1] == points[1]) {
      moved[0] = last[0], moved[1] = last[1];
    }
  } else {
    last[0] = previous.end[0], last[1] = previous.end[1], last[2] = 0.0;
  }

  StylePointRun movedRun{moved.get(), count, {given.flags[0], given.flags[1]}};
  StyleGeometryRecord copy = *run;
  copy.pointList = &movedRun;
  const HRESULT hr = RenderReferenced(&copy, target, context, substitute, record, TRUE, element);
  if (FAILED(hr)) Report(hr, 1602);
  return hr;
}

// ---- extents ----

HRESULT JStyleOLG::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  // The referenced style is resolved when only its ID is known; without one the offset alone counts.
  StyleComPtr<IJStyleRender> referenced(GetReferencedStyle());
  if (referenced) {
    const HRESULT hr = referenced->GetExtentDelta(extent);
    if (FAILED(hr)) return Report(hr, 1461);
  }
  const double a = std::fabs(m_offset);
  extent->value = AddSaturated(extent->value, AddSaturated(TruncateExtent(a), 1));
  extent->first += a;
  extent->second += a;
  return S_OK;
}

HRESULT JStyleOLG::GetExtentRecord(StyleExtent* extent, const RenderContextScales* context, tagStyleOverride*) {
  if (!extent) return E_INVALIDARG;
  const double a = std::fabs(m_offset);
  switch (m_unitsCode) {
    case STYLE_UNITS_13:
      extent->value = AddSaturated(TruncateExtent(a), 1);
      break;
    case STYLE_UNITS_11:
      extent->first = a;
      break;
    case STYLE_UNITS_12:
      extent->second = a;
      break;
    default:
      break;
  }
  if (context && context->deviceMode) {
    extent->value = TruncateExtent(ConvertStyleLength(a, m_unitsCode, context, TRUE));
  }
  return S_OK;
}

HRESULT JStyleOLG::GetRange(StyleExtent* extent, const RenderContextScales* context, IJStyleRender* substitute,
                            tagStyleOverride* record, BOOL recordGiven) {
  if (!extent) return E_INVALIDARG;
  StyleComPtr<IJStyleRender> referenced(GetReferencedStyle());
  if (!referenced) return S_OK;
  tagStyleOverride* given = recordGiven ? record : nullptr;
  StyleExtent drawn{};
  HRESULT hr = referenced->GetRangeWithContext(&drawn, context, substitute, given);
  if (FAILED(hr)) return Report(hr, 1740);
  StyleExtent own{};
  hr = GetExtentRecord(&own, context, given);
  if (FAILED(hr)) return Report(hr, 1746);
  const StyleExtent sum{AddSaturated(drawn.value, own.value), drawn.first + own.first, drawn.second + own.second};
  MergeExtentMaximum(extent, sum);
  return S_OK;
}

// ---- copying and comparing ----

HRESULT JStyleOLG::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleOLG(outer);
  if (!copy) return Report(E_OUTOFMEMORY, 566);
  copy->AddRef();
  copy->m_styleKind = m_styleKind;
  copy->m_offsetUnits = m_offsetUnits;
  copy->m_offset = m_offset;
  copy->m_mode = m_mode;
  copy->m_unitsCode = m_unitsCode;
  copy->SetFactorsFromMode();
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleOLG::CopyFrom(IUnknown* source, DWORD flags) {
  if (!source) return Report(E_INVALIDARG, 609);
  HRESULT hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return Report(hr, 611);
  StyleComPtr<IJStyleOLG> other;
  if (FAILED(hr = source->QueryInterface(IID_IJStyleOLG, other.PutVoid()))) return Report(hr, 614);
  OLGData data{};
  if (FAILED(hr = other->GetData(&data))) return Report(hr, 616);
  if (FAILED(hr = SetData(&data))) return Report(hr, 620);
  return S_OK;
}

HRESULT JStyleOLG::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleOLG> theirs;
  if (FAILED(other->QueryInterface(IID_IJStyleOLG, theirs.PutVoid()))) return S_OK;
  OLGData data{};
  if (FAILED(theirs->GetData(&data))) return S_OK;
  if (!(std::fabs(m_offset - data.offset) < FLT_EPSILON) || m_mode != data.mode || m_offsetUnits != data.unitsCode) {
    return S_OK;
  }
  const HRESULT hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, 680);
  return hr;
}

// ---- persistence ----

HRESULT JStyleOLG::Serialize(JArchive* archive) {
  if (IsVersioned(archive)) return SerializeWithHeader(archive);
  const HRESULT hr = SerializeCurrent(archive);
  if (FAILED(hr)) Report(hr, 496);
  return hr;
}

HRESULT JStyleOLG::SerializeWithHeader(JArchive* archive) {
  WORD version = 0;
  DWORD scratch = 0;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleOLG, &version, &scratch);
  if (FAILED(hr)) return Report(hr, 467);
  if (version == kCurrentVersion) {
    if (FAILED(hr = SerializeCurrent(archive))) return Report(hr, 485);
  } else if (version == 1 || version == 2) {
    if (FAILED(hr = SerializeOldRecord(archive))) return Report(hr, 473);
  }
  return S_OK;
}

// The offset's units code follows the base's on every way out, a failed load included, which may already have
// changed the base's.
struct JStyleOLG::UnitsFollowBase {
  JStyleOLG* style;
  ~UnitsFollowBase() { style->m_offsetUnits = style->m_unitsCode; }
};

HRESULT JStyleOLG::SerializeCurrent(JArchive* archive) {
  const UnitsFollowBase follow{this};
  const bool loading = IsLoading(archive);
  // The mode has three bits of the base record's flags; a mode they cannot carry is refused before anything
  // is written.
  if (!loading && m_mode > kHighestMode) return Report(E_INVALIDARG, 520);
  StyleBaseRecord base{};
  base.flags = static_cast<WORD>(m_mode << kModeShift);
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return Report(hr, 525);
  double offset = m_offset;
  if (FAILED(hr = Exchange(archive, offset))) return Report(hr, 531);
  if (loading) {
    if (!std::isfinite(offset)) return Report(E_FAIL, 533);
    m_mode = (base.flags & kModeMask) >> kModeShift;
    m_offset = offset;
    SetFactorsFromMode();
  }
  return S_OK;
}

// Records of versions 1 and 2 carry no mode: they load with mode 0. Storing one leaves the style's mode alone.
HRESULT JStyleOLG::SerializeOldRecord(JArchive* archive) {
  const UnitsFollowBase follow{this};
  const bool loading = IsLoading(archive);
  HRESULT hr = SerializeClass(archive);
  if (FAILED(hr)) return Report(hr, 560);
  double offset = m_offset;
  DWORD units = m_unitsCode;
  if (FAILED(hr = Exchange(archive, offset))) return Report(hr, 563);
  if (FAILED(hr = Exchange(archive, units))) return Report(hr, 565);
  if (loading) {
    // A style given a code the current record cannot carry, or an offset that is no length, could never be
    // stored or drawn again.
    if (!std::isfinite(offset) || !IsStorableUnitsCode(units)) return Report(E_FAIL, 568);
    m_offset = offset;
    m_mode = 0;
    SetFactorsFromMode();
    m_unitsCode = units;
  }
  return S_OK;
}

// ---- IJStyleOLG ----

HRESULT STDMETHODCALLTYPE JStyleOLG::IJStyleOLGImp::SetOffset(double offset) {
  if (!std::isfinite(offset)) return Report(E_INVALIDARG, 210);
  Object()->m_offset = offset;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleOLG::IJStyleOLGImp::GetOffset(double* out) {
  if (!out) return Report(E_INVALIDARG, 245);
  *out = Object()->m_offset;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleOLG::IJStyleOLGImp::SetUnits(DWORD unitsCode) {
  Object()->m_offsetUnits = unitsCode;
  Object()->m_unitsCode = unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleOLG::IJStyleOLGImp::GetUnits(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 302);
  *out = Object()->m_offsetUnits;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleOLG::IJStyleOLGImp::SetData(const OLGData* data) { return Object()->SetData(data); }

HRESULT STDMETHODCALLTYPE JStyleOLG::IJStyleOLGImp::GetData(OLGData* data) { return Object()->GetData(data); }

HRESULT STDMETHODCALLTYPE JStyleOLG::IJStyleOLGImp::SetMode(DWORD mode) { return Object()->SetMode(mode); }

HRESULT STDMETHODCALLTYPE JStyleOLG::IJStyleOLGImp::GetMode(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 760);
  *out = Object()->m_mode;
  return S_OK;
}
