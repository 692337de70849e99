#include "display/style/styles/JStyleSimpleDashType.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "display/style/stylesrv_clsid.h"
#include "geometry/geometry.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

constexpr char kSource[] = "DTSIMPLE";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

// A turn sharper than this restarts the pattern; a turn of exactly pi/6 does not.
constexpr double kCornerAngle = 0.5235987755982989;

// Element codes whose lines never restart the pattern at corners.
bool KeepsPatternAtCorners(const StyleElementRecord* element) {
  return element && (element->elementCode == 115 || element->elementCode == 116 || element->elementCode == 127);
}

// The sums of the dash lengths and of the gap lengths, each taken through `convert`; empty entries count in
// neither.
template <class Convert>
void SumLengths(const double* lengths, DWORD count, Convert convert, double* dashes, double* gaps) {
  *dashes = 0.0;
  *gaps = 0.0;
  for (DWORD i = 0; i < count; ++i) {
    const double v = lengths[i];
    if (IsEmptyDashLength(v)) continue;
    if (v > 0) {
      *dashes += convert(v);
    } else {
      *gaps += convert(-v);
    }
  }
}

// A copy of `count` lengths, or null (also for count 0).
double* CopyLengths(DWORD count, const double* lengths) {
  if (count == 0 || count > 0x0FFFFFFF) return nullptr;
  auto* copy = static_cast<double*>(std::malloc(std::size_t{count} * sizeof(double)));
  if (copy) std::memcpy(copy, lengths, std::size_t{count} * sizeof(double));
  return copy;
}

// The flags word as a description record or an older record hands it in: an old-form word stands for mode 1.
DWORD CurrentFormFlags(DWORD flags, bool strokesHidden) {
  if (flags & DASH_OLD_FORM) flags = DASH_MODE_STRETCH;
  flags = (flags & ~(DASH_CLEARED_BITS | DASH_STROKES_HIDDEN)) | DASH_CURRENT_FORM;
  if (strokesHidden) flags |= DASH_STROKES_HIDDEN;
  return flags;
}

}  // namespace

JStyleSimpleDashType::JStyleSimpleDashType(IUnknown* outer) : JStyleDashType(outer) {}

JStyleSimpleDashType::~JStyleSimpleDashType() { std::free(m_lengths); }

void* JStyleSimpleDashType::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleSimpleDashType)) return &m_IJStyleSimpleDashTypeImp;
  return JStyleDashType::GetInterface(iid);
}

// What the class does not answer itself, the host engine may add as an extension of line styles.
void* JStyleSimpleDashType::GetAggregateInterface(REFIID iid) {
  if (void* found = JStyleDashType::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&CLASSEXT_LineStyle, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleSimpleDashType::GetClassID(GUID* out) {
  *out = CLSID_JStyleSimpleDashType;
  return out;
}

// ---- the description ----

void JStyleSimpleDashType::DescriptionChanged() {
  m_pattern.Invalidate();
  m_totalsContext = DashContextKey{};
}

void JStyleSimpleDashType::UpdateLengthTotals() {
  SumLengths(m_lengths, m_count, [](double v) { return v; }, &m_rawDashTotal, &m_rawGapTotal);
}

HRESULT JStyleSimpleDashType::ReplaceLengths(DWORD count, const double* lengths) {
  double* copy = CopyLengths(count, lengths);
  const bool failed = count > 0 && !copy;
  std::free(m_lengths);
  m_lengths = copy;
  m_count = failed ? 0 : count;
  UpdateLengthTotals();
  DescriptionChanged();
  return failed ? E_OUTOFMEMORY : S_OK;
}

HRESULT JStyleSimpleDashType::SetLengths(DWORD count, const double* lengths) {
  if (!lengths) return Report(E_INVALIDARG, 1525);
  const HRESULT hr = ReplaceLengths(count, lengths);
  if (FAILED(hr)) Report(hr, 1540);
  return hr;
}

HRESULT JStyleSimpleDashType::SetData(const tagStyleSimpleDashTypeData* data) {
  if (!data) return E_INVALIDARG;
  if (data->count == 0 || !data->lengths) return Report(E_INVALIDARG, 1654);
  m_units = data->unitsCode;
  const HRESULT hr = ReplaceLengths(data->count, data->lengths);
  if (FAILED(hr)) return Report(hr, 1675);
  m_flags = CurrentFormFlags(data->flags, data->strokesHidden != 0);
  m_endFraction = data->endFraction;
  DescriptionChanged();
  return S_OK;
}

HRESULT JStyleSimpleDashType::GetData(tagStyleSimpleDashTypeData* data) {
  if (!data) return Report(E_INVALIDARG, 1727);
  data->unitsCode = m_units;
  if (data->count < m_count) return kDashBufferTooSmall;
  // A style without lengths has nothing to copy, so it needs no buffer.
  if (m_count && !data->lengths) return Report(E_INVALIDARG, 1737);
  // The record carries the caller's buffer behind a pointer to const.
  if (m_count) std::memcpy(const_cast<double*>(data->lengths), m_lengths, std::size_t{m_count} * sizeof(double));
  data->count = m_count;
  data->flags = m_flags;
  data->endFraction = m_endFraction;
  data->strokesHidden = StrokesHidden() ? 1 : 0;
  return S_OK;
}

HRESULT JStyleSimpleDashType::GetPatternLength(DWORD* mode, double* length) {
  if (!mode || !length) return Report(E_INVALIDARG, 1790);
  *mode = m_flags & DASH_MODE_MASK;
  double sum = 0.0;
  for (DWORD i = 0; i < m_count; ++i) {
    if (!IsEmptyDashLength(m_lengths[i])) sum += std::fabs(m_lengths[i]);
  }
  // Stretched once over a run, the pattern shows only the end fraction of its first entry at each end.
  if (*mode == DASH_MODE_STRETCH && m_count > 0 && std::isfinite(m_lengths[0]) && m_lengths[0] != kDashEmpty &&
      !IsEmptyDashLength(m_lengths[m_count - 1])) {
    const double a = std::fabs(m_lengths[0]);
    sum = sum - a + 2 * a * m_endFraction;
  }
  *length = sum;
  return S_OK;
}

// ---- JStyleBase operations ----

HRESULT JStyleSimpleDashType::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleSimpleDashType(outer);
  if (!copy) return Report(E_OUTOFMEMORY, 2329);
  copy->AddRef();
  copy->m_units = m_units;
  copy->m_flags = m_flags;
  copy->m_endFraction = m_endFraction;
  copy->m_rawGapTotal = m_rawGapTotal;
  copy->m_rawDashTotal = m_rawDashTotal;
  if (m_count) {
    copy->m_lengths = CopyLengths(m_count, m_lengths);
    if (!copy->m_lengths) {
      copy->Release();
      return Report(E_OUTOFMEMORY, 2348);
    }
    copy->m_count = m_count;
  }
  copy->m_cloneFlag = StrokesHidden() ? 1 : 0;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleSimpleDashType::CopyFrom(IUnknown* source, DWORD selective) {
  HRESULT hr = JStyleDashType::CopyFrom(source, selective);
  if (FAILED(hr)) return Report(hr, 2382);
  StyleComPtr<IJStyleSimpleDashType> other;
  if (FAILED(source->QueryInterface(IID_IJStyleSimpleDashType, other.PutVoid()))) return S_OK;
  DWORD count = 0;
  hr = other->GetCount(&count);
  if (FAILED(hr)) return Report(hr, 2393);
  if (count == 0) return Report(E_INVALIDARG, 2408);
  double* buffer = count <= 0x0FFFFFFF ? static_cast<double*>(std::malloc(std::size_t{count} * sizeof(double)))
                                       : nullptr;
  if (!buffer) return Report(E_OUTOFMEMORY, 2401);
  tagStyleSimpleDashTypeData data{};
  data.count = count;
  data.lengths = buffer;
  hr = other->GetData(&data);
  // The buffer was sized from the source's own count; a source that still finds it too small is not sound.
  if (hr == kDashBufferTooSmall) hr = E_UNEXPECTED;
  if (FAILED(hr)) {
    Report(hr, 2390);
  } else if (selective == 0) {
    hr = SetData(&data);
    if (FAILED(hr)) Report(hr, 2442);
    m_lockedFields = 0;
  } else {
    if (!(m_lockedFields & LOCK_LENGTHS)) {
      hr = SetLengths(data.count, data.lengths);
      if (FAILED(hr)) Report(hr, 2416);
    }
    if (!(m_lockedFields & LOCK_STROKES_HIDDEN)) {
      m_flags = data.strokesHidden ? m_flags | DASH_STROKES_HIDDEN : m_flags & ~DWORD{DASH_STROKES_HIDDEN};
    }
    if (!(m_lockedFields & LOCK_MODE)) m_flags = (m_flags & ~DWORD{DASH_MODE_MASK}) | (data.flags & DASH_MODE_MASK);
    if (!(m_lockedFields & LOCK_END_FRACTION)) m_endFraction = data.endFraction;
    DescriptionChanged();
  }
  std::free(buffer);
  return hr;
}

HRESULT JStyleSimpleDashType::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJPersist> persist;
  if (FAILED(other->QueryInterface(IID_IJPersist, persist.PutVoid()))) return S_OK;
  CLSID theirs;
  if (FAILED(persist->GetClassID(&theirs)) || !IsEqualCLSID(theirs, CLSID_JStyleSimpleDashType)) return S_OK;
  const auto* that =
      static_cast<const JStyleSimpleDashType*>(static_cast<JStyleBase*>(persist->GetImplementation()));
  if (that->m_units != m_units || that->m_count != m_count || that->m_flags != m_flags ||
      !(std::fabs(that->m_endFraction - m_endFraction) < kDashEpsilon) || that->m_cloneFlag != m_cloneFlag) {
    return S_OK;
  }
  for (DWORD i = 0; i < m_count; ++i) {
    if (!(std::fabs(that->m_lengths[i] - m_lengths[i]) < kDashEpsilon)) return S_OK;
  }
  const HRESULT hr = JStyleDashType::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, 2510);
  return hr;
}

HRESULT JStyleSimpleDashType::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = JStyleDashType::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) Report(hr, 2534);
  // Whatever the new client answered, the old one no longer serves any entry.
  bool client = false;
  for (LONG i = 0; i < m_clientCount; ++i) client = client || (id != kNoStyleID && ClientID(i) == id);
  if (hr == S_OK || client) m_entryClients.Empty();
  return hr;
}

HRESULT JStyleSimpleDashType::ReleaseClientInterfaces() {
  const HRESULT hr = JStyleDashType::ReleaseClientInterfaces();
  if (FAILED(hr)) Report(hr, 3466);
  m_entryClients.Empty();
  return hr;
}

// ---- persistence ----

HRESULT JStyleSimpleDashType::SerializeChecked(JArchive* archive) {
  const HRESULT hr = Serialize(archive);
  if (FAILED(hr)) Report(hr, 2299);
  return hr;
}

HRESULT JStyleSimpleDashType::Serialize(JArchive* archive) {
  HRESULT hr;
  if (!IsVersioned(archive)) {
    hr = SerializeCurrent(archive);
    if (FAILED(hr)) Report(hr, 2239);
    return hr;
  }
  WORD version = 0;
  DWORD scratch;
  hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleSimpleDashType, &version, &scratch);
  if (FAILED(hr)) return Report(hr, 2211);
  switch (version) {
    case 2:
    case 3:
      hr = JStyleDashType::Serialize(archive);
      if (FAILED(hr)) return Report(hr, version == 2 ? 2221 : 2227);
      hr = SerializeOlderBody(archive, version);
      if (FAILED(hr)) Report(hr, version == 2 ? 2223 : 2229);
      return hr;
    case kCurrentVersion:
      hr = SerializeCurrent(archive);
      if (FAILED(hr)) Report(hr, 2233);
      return hr;
    default:
      return S_OK;
  }
}

HRESULT JStyleSimpleDashType::SerializeOlderBody(JArchive* archive, WORD version) {
  const bool loading = IsLoading(archive);
  DWORD units = m_units;
  HRESULT hr = Exchange(archive, units);
  if (FAILED(hr)) return Report(hr, 1984);
  DWORD count = m_count;
  if (FAILED(hr = Exchange(archive, count))) return Report(hr, 1987);
  double* loaded = nullptr;
  if (loading && count) {
    if (FAILED(hr = CheckArchiveCount(archive, count, sizeof(double)))) return Report(hr, 2001);
    loaded = static_cast<double*>(std::malloc(std::size_t{count} * sizeof(double)));
    if (!loaded) {
      ReplaceLengths(0, nullptr);
      return Report(E_OUTOFMEMORY, 2001);
    }
  }
  double* moved = loading ? loaded : m_lengths;
  for (DWORD i = 0; i < count; ++i) {
    if (FAILED(hr = Exchange(archive, moved[i]))) {
      std::free(loaded);
      return Report(hr, 2005);
    }
  }
  DWORD flags = m_flags;
  double endFraction = m_endFraction;
  DWORD hidden = StrokesHidden() ? 1 : 0;
  DWORD locked = m_lockedFields;
  if (FAILED(hr = Exchange(archive, flags))) {
    hr = Report(hr, 2018);
  } else if (FAILED(hr = Exchange(archive, endFraction))) {
    hr = Report(hr, 2020);
  } else if (FAILED(hr = Exchange(archive, hidden))) {
    hr = Report(hr, 2024);
  } else if (version == 3 && FAILED(hr = Exchange(archive, locked))) {
    hr = Report(hr, loading ? 2078 : 2075);
  }
  if (FAILED(hr) || !loading) {
    std::free(loaded);
    return hr;
  }

  m_units = units;
  std::free(m_lengths);
  m_lengths = loaded;
  m_count = count;
  UpdateLengthTotals();
  DescriptionChanged();
  m_endFraction = endFraction;
  m_lockedFields = version == 3 ? locked : kLoadedLockedFields;
  // Older records knew no automatic mode by its number: a word without mode and form bits meant it.
  if (!(flags & DASH_OLD_FORM) && (flags & DASH_MODE_MASK) == 0 && (flags & 0x7F000000) == 0) {
    flags |= DASH_MODE_AUTOMATIC;
  }
  m_flags = CurrentFormFlags(flags, hidden != 0);
  return S_OK;
}

HRESULT JStyleSimpleDashType::SerializeCurrent(JArchive* archive) {
  const bool loading = IsLoading(archive);
  StyleBaseRecord base{};
  if (!loading) {
    if (m_units != STYLE_UNITS_NONE && (m_units < STYLE_UNITS_11 || m_units > STYLE_UNITS_UNSCALED)) {
      return Report(E_INVALIDARG, 2110);
    }
    // The record counts lengths and clients in 16 bits; more would be stored unreadably.
    if (m_count > 0xFFFF || m_clientCount > 0xFFFF) return Report(E_INVALIDARG, 2110);
    base.flags = static_cast<WORD>(m_units ? m_units - 10 : 0);
  }
  HRESULT hr = JStyleBase::SerializeBase(archive, &base);
  if (FAILED(hr)) return Report(hr, 2114);
  if (loading) {
    const WORD units = base.flags & kStyleBaseUnitsMask;
    // Codes past the last one would load into a dash type that can never be stored again.
    if (units > STYLE_UNITS_UNSCALED - 10) return Report(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), 2115);
    m_units = units ? units + 10u : DWORD{STYLE_UNITS_NONE};
  }
  if (FAILED(hr = Exchange(archive, m_flags))) return Report(hr, 2117);
  if (FAILED(hr = Exchange(archive, m_lockedFields))) return Report(hr, 2119);
  if (FAILED(hr = Exchange(archive, m_endFraction))) return Report(hr, 2122);
  DWORD reserved = 0;
  if (FAILED(hr = Exchange(archive, reserved))) return Report(hr, 2124);
  WORD scratch = 0;
  if (FAILED(hr = SerializeClientCount(archive, &scratch))) return Report(hr, 2126);
  WORD count = static_cast<WORD>(m_count);
  if (FAILED(hr = Exchange(archive, count))) return Report(hr, 2128);

  if (loading) {
    double* loaded = nullptr;
    if (count) {
      if (FAILED(hr = CheckArchiveCount(archive, count, sizeof(double)))) return Report(hr, 2146);
      loaded = static_cast<double*>(std::malloc(std::size_t{count} * sizeof(double)));
      if (!loaded) {
        ReplaceLengths(0, nullptr);
        return Report(E_OUTOFMEMORY, 2146);
      }
      for (WORD i = 0; i < count; ++i) {
        if (FAILED(hr = Exchange(archive, loaded[i]))) {
          std::free(loaded);
          return Report(hr, 2149);
        }
      }
    }
    std::free(m_lengths);
    m_lengths = loaded;
    m_count = count;
    UpdateLengthTotals();
    DescriptionChanged();
    if (count) m_lockedFields = kLoadedLockedFields;
  } else {
    for (DWORD i = 0; i < m_count; ++i) {
      if (FAILED(hr = Exchange(archive, m_lengths[i]))) return Report(hr, 2175);
    }
  }
  if (FAILED(hr = SerializeClientIDs(archive))) return Report(hr, 2180);
  return S_OK;
}

// ---- drawing ----

HRESULT JStyleSimpleDashType::RenderDashes(const StylePointRun* run, IRenderTarget2d* target,
                                           const RenderContextScales* context, DWORD fitRequest,
                                           const tagStyleOverride* record, const StyleElementRecord* element,
                                           DWORD colour, double width) {
  if (!run || !target || (run->count && !run->points)) return Report(E_INVALIDARG, 2590);
  // An empty run has nothing to draw and nothing to tell the clients.
  if (run->count == 0) return S_OK;
  const auto* points = static_cast<const double*>(run->points);
  const DWORD count = run->count;
  HRESULT hr;
  if (!(m_flags & DASH_CORNER_RESTART) || count < 3 || KeepsPatternAtCorners(element)) {
    hr = GenerateDashes(points, count, target, context, fitRequest, record, element, colour, width);
    if (FAILED(hr)) Report(hr, 2633);
    return hr;
  }
  // Each piece between sharp corners is dashed on its own, starting the pattern afresh.
  DWORD start = 0;
  DWORD pieceCount = 2;
  for (DWORD i = 1; i + 1 < count; ++i) {
    const double* a = points + std::size_t{i - 1} * 3;
    const double* b = a + 3;
    const double* c = b + 3;
    const double turn = GVector2d::Angle(GVector2d(b[0] - a[0], b[1] - a[1]), GVector2d(c[0] - b[0], c[1] - b[1]));
    if (!(std::fabs(turn) > kCornerAngle)) {
      ++pieceCount;
      continue;
    }
    target->SetPenWidth(width);
    target->SetPenColor(colour);
    hr = GenerateDashes(points + std::size_t{start} * 3, pieceCount, target, context, fitRequest, record, element,
                        colour, width);
    if (FAILED(hr)) return Report(hr, 2608);
    start = i;
    pieceCount = 2;
  }
  target->SetPenWidth(width);
  target->SetPenColor(colour);
  hr = GenerateDashes(points + std::size_t{start} * 3, pieceCount, target, context, fitRequest, record, element,
                      colour, width);
  if (FAILED(hr)) Report(hr, 2627);
  return hr;
}

DashPatternSource JStyleSimpleDashType::PatternSource(const RenderContextScales* context) const {
  return {m_lengths, m_count, m_units, context, StrokesHidden(), m_endFraction};
}

void JStyleSimpleDashType::UpdateConvertedTotals(const RenderContextScales* context, double dashScale) {
  if (!context || !context->deviceMode) {
    m_gapTotal = ConvertStyleLength(m_rawGapTotal, m_units, context, FALSE) * dashScale;
    m_dashTotal = ConvertStyleLength(m_rawDashTotal, m_units, context, FALSE) * dashScale;
  } else {
    // Device units do not scale in proportion: each length is converted by itself.
    SumLengths(
        m_lengths, m_count, [&](double v) { return ConvertStyleLength(v, m_units, context, FALSE); }, &m_dashTotal,
        &m_gapTotal);
  }
  // A stretched pattern was fitted with the totals it had.
  m_pattern.Invalidate();
}

HRESULT JStyleSimpleDashType::BuildPattern(DWORD mode, double runLength, double dashScale,
                                           const RenderContextScales* context, const DashContextKey& key,
                                           bool* endFractionApplies) {
  const DashPatternSource source = PatternSource(context);
  *endFractionApplies = false;
  HRESULT hr;
  if (mode == DASH_MODE_REPEAT) {
    hr = BuildScaledPattern(m_pattern, source, dashScale, dashScale);
    if (FAILED(hr)) Report(hr, 3788);
    return hr;
  }
  if (!(key == m_totalsContext) || !(dashScale == m_totalsDashScale)) {
    UpdateConvertedTotals(context, dashScale);
    m_totalsContext = key;
    m_totalsDashScale = dashScale;
  }
  if (!(m_gapTotal > 0)) {
    // Nothing to stretch: the pattern repeats.
    hr = BuildScaledPattern(m_pattern, source, dashScale, dashScale);
    if (FAILED(hr)) Report(hr, 3773);
    return hr;
  }
  *endFractionApplies = true;
  if (mode == DASH_MODE_STRETCH) {
    hr = BuildStretchedPattern(m_pattern, source, runLength, m_gapTotal, m_dashTotal);
    if (FAILED(hr)) Report(hr, 3694);
    return hr;
  }

  // Fit: as many whole patterns as the run holds, the gaps stretched so that it ends as it began.
  double first = 0.0;
  if (!IsEmptyDashLength(m_lengths[0])) {
    const double converted = ConvertStyleLength(std::fabs(m_lengths[0]), m_units, context, FALSE) * dashScale;
    first = m_lengths[0] < 0 ? -converted : converted;
  }
  const double a = std::fabs(first);
  const double b = a * m_endFraction;
  const double gaps = (m_count & 1) ? 2 * m_gapTotal : m_gapTotal;
  const double dashes = (m_count & 1) ? 2 * m_dashTotal : m_dashTotal;
  const double k = std::trunc((runLength + a - 2 * b + 0.25 * gaps) / (gaps + dashes));
  double stretch = 1.0;
  if (k > 0 && gaps != 0) {
    if (first < 0) {
      const double r = ((k - 1) * gaps + (gaps - a) + 2 * b) / gaps;
      if (r != 0) stretch = (runLength - k * dashes) / r / gaps;
    } else {
      stretch = (runLength - (k - 1) * dashes - (dashes - a) - 2 * b) / (k * gaps);
    }
  }
  hr = BuildScaledPattern(m_pattern, source, dashScale * stretch, dashScale);
  if (FAILED(hr)) Report(hr, 3758);
  return hr;
}

HRESULT JStyleSimpleDashType::AssignEntryClients() {
  const DWORD entries = m_count + (m_count & 1);
  if (entries > 0 && m_entryClients.rowCount == entries) return S_OK;
  HRESULT hr = ResolveClients();
  if (FAILED(hr)) return Report(hr, 3385);
  if (FAILED(hr = m_entryClients.Reset(entries))) return hr;
  // Every client is asked for every entry; a later client takes over an entry from an earlier one.
  for (LONG c = 0; c < m_clientCount; ++c) {
    StyleComPtr<IJStyleDashTypeClient> client(GetClient(c));
    if (!client) continue;
    for (DWORD j = 0; j < entries; ++j) {
      if (client->AcceptsEntry(j) != S_OK) continue;
      DashEntryClientRow& row = m_entryClients.rows[j];
      if (row.client) row.client->Release();
      row.client = client.Get();
      row.client->AddRef();
      m_entryClients.anyClient = true;
    }
  }
  m_entryClients.rowCount = entries;
  return S_OK;
}

HRESULT JStyleSimpleDashType::GenerateDashes(const double* points, DWORD count, IRenderTarget2d* target,
                                             const RenderContextScales* context, DWORD fitRequest,
                                             const tagStyleOverride* record, const StyleElementRecord* element,
                                             DWORD colour, double width) {
  const double runLength =
      element && element->runLength != 0.0 ? element->runLength : DashRunLength(points, count);
  const bool withClients = m_clientCount > 0;
  const DashClientContext clientContext{target, context, 0, record, element, context, 0, record, element};
  HRESULT hr;

  // Without a pattern, or without length to dash, the piece is drawn solid; its clients still see the run.
  if (m_count == 0 || !(std::fabs(runLength) >= kDashEpsilon)) {
    if (!StrokesHidden()) {
      target->SetDashPattern(0, nullptr);
      target->DrawPolyline(count, points);
    }
    if (m_count > 0 && withClients) {
      if (FAILED(hr = AssignEntryClients())) return Report(hr, 3806);
      BeginClientRuns(m_entryClients, clientContext);
      EndClientRuns(m_entryClients, clientContext);
    }
    return S_OK;
  }

  DWORD mode = m_flags & DASH_MODE_MASK;
  if (mode == DASH_MODE_AUTOMATIC) mode = fitRequest ? DASH_MODE_FIT : DASH_MODE_REPEAT;
  // A mode this class does not know repeats the pattern.
  if (mode != DASH_MODE_STRETCH && mode != DASH_MODE_FIT) mode = DASH_MODE_REPEAT;
  const double givenPhase = element ? element->phase : 0.0;
  const double dashScale =
      record && (record->flags & OVR_SCALE) && record->dashScale != 0.0 ? record->dashScale : 1.0;

  // The pattern built for another context is no use in this one, however it was scaled.
  const DashContextKey key = DashContextKey::Of(context);
  if (!(key == m_pattern.context)) m_pattern.Invalidate();
  bool endFractionApplies = false;
  if (FAILED(hr = BuildPattern(mode, runLength, dashScale, context, key, &endFractionApplies))) return hr;
  m_pattern.context = key;

  double phase = givenPhase;
  if (phase < 0) {
    const double period = m_pattern.period;
    phase = period > 0 && std::isfinite(period) ? period - std::fmod(std::fabs(phase), period) : 0.0;
  }
  if (endFractionApplies) phase += (1 - m_endFraction) * m_pattern.Length(0);
  DashWalk walk{points, count, &m_pattern, phase, DashWalkKind::Stroke, target, &m_entryClients, &clientContext,
                colour, width};

  if (!withClients) {
    if (StrokesHidden()) return S_OK;
    if (m_pattern.noGaps) {
      target->SetDashPattern(0, nullptr);
      target->DrawPolyline(count, points);
      return S_OK;
    }
    // A target that dashes by itself draws the whole piece at once, when it starts at the pattern's start.
    if (!endFractionApplies && givenPhase == 0.0 && target->SetDashPattern(m_pattern.count, m_pattern.entries) == S_OK) {
      target->DrawPolyline(count, points);
      return S_OK;
    }
    target->SetDashPattern(0, nullptr);
    WalkDashRun(walk);
    return S_OK;
  }

  if (FAILED(hr = AssignEntryClients())) return Report(hr, 3806);
  BeginClientRuns(m_entryClients, clientContext);
  if (m_pattern.noVisible) {
    walk.kind = DashWalkKind::ClientsOnly;
  } else if (m_pattern.noGaps) {
    target->SetDashPattern(0, nullptr);
    target->DrawPolyline(count, points);
    walk.kind = DashWalkKind::ClientsOnly;
  } else {
    target->SetDashPattern(0, nullptr);
    walk.kind = DashWalkKind::StrokeWithClients;
  }
  WalkDashRun(walk);
  EndClientRuns(m_entryClients, clientContext);
  return S_OK;
}

// ---- IJStyleSimpleDashType ----

HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::SetUnits(DWORD unitsCode) {
  Object()->m_units = unitsCode;
  Object()->DescriptionChanged();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::GetUnits(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 1493);
  *out = Object()->m_units;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::SetLengths(DWORD count,
                                                                                    const double* lengths) {
  return Object()->SetLengths(count, lengths);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::GetCount(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 1577);
  *out = Object()->m_count;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::GetLengths(DWORD* count, double* out) {
  if (!count) return Report(E_INVALIDARG, 1611);
  const JStyleSimpleDashType* self = Object();
  if (*count < self->m_count) return kDashBufferTooSmall;
  if (self->m_count && !out) return Report(E_INVALIDARG, 1618);
  if (self->m_count) std::memcpy(out, self->m_lengths, std::size_t{self->m_count} * sizeof(double));
  *count = self->m_count;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::SetData(
    const tagStyleSimpleDashTypeData* data) {
  return Object()->SetData(data);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::GetData(tagStyleSimpleDashTypeData* data) {
  return Object()->GetData(data);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::GetLockedFields(DWORD* out) {
  if (out) *out = Object()->m_lockedFields;
  return S_OK;
}

// The dash workbench keeps its change mask here, so the value is stored.
HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::SetLockedFields(DWORD fields) {
  Object()->m_lockedFields = fields;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleDashType::IJStyleSimpleDashTypeImp::GetPatternLength(DWORD* mode,
                                                                                          double* length) {
  return Object()->GetPatternLength(mode, length);
}
