#include "display/style/styles/DashGeneration.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "display/style/stylbas/CStyleRdr2dBase.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

// The routines here are the simple dash type's and report under its name.
constexpr char kSource[] = "DTSIMPLE";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

// More walk steps than this make a pattern far finer than any target can show (and a segment so much longer
// than the pattern that stepping along it no longer moves): such a run is drawn solid.
constexpr double kMaxWalkSteps = 1e6;

HRESULT Reserve(DashScaledPattern& pattern, DWORD n) {
  if (pattern.capacity >= n && pattern.entries) return S_OK;
  std::free(pattern.entries);
  pattern.entries = nullptr;
  pattern.capacity = 0;
  pattern.count = 0;
  pattern.Invalidate();
  if (n > 0x0FFFFFFF) return E_OUTOFMEMORY;
  pattern.entries = static_cast<double*>(std::malloc(std::size_t{n} * sizeof(double)));
  if (!pattern.entries) return E_OUTOFMEMORY;
  pattern.capacity = n;
  return S_OK;
}

double Convert(double length, const DashPatternSource& source) {
  return CStyleRdr2dBase::ConvertStyleLength(length, source.unitsCode, source.context, FALSE);
}

// The flags and the period from the drawn and skipped totals.
void Finish(DashScaledPattern& pattern, DWORD count, double drawn, double skipped, bool strokesHidden) {
  pattern.count = count;
  pattern.noVisible = std::fabs(drawn) < kDashEpsilon || strokesHidden;
  pattern.noGaps = std::fabs(skipped) < kDashEpsilon;
  pattern.period = drawn + skipped;
}

const double* Point(const double* points, DWORD i) { return points + std::size_t{i} * 3; }

struct Segment {
  DWORD end;  // index of the point where it ends
  double u[2];
  double length;
};

// From point `from` to the next point farther than kDashEpsilon, never past the last point; when even the
// last point is that close, a segment of length 0 along (1, 0). A point at no finite distance counts as close.
Segment NextSegment(const double* points, DWORD count, DWORD from) {
  const double* v = Point(points, from);
  for (DWORD j = from + 1;; ++j) {
    const double* p = Point(points, j);
    const double dx = p[0] - v[0];
    const double dy = p[1] - v[1];
    const double d = std::hypot(dx, dy);
    if (d > kDashEpsilon && std::isfinite(d)) return {j, {dx / d, dy / d}, d};
    if (j + 1 >= count) return {j, {1.0, 0.0}, 0.0};
  }
}

// The points of one dash, drawn as polylines of at most kDashPolylinePoints points that join.
class DashPolylineBuffer {
 public:
  explicit DashPolylineBuffer(IRenderTarget2d* target) : m_target(target) {}

  void Start(const double* point, double value) {
    m_count = 0;
    m_value = value;
    Add(point);
  }

  void Add(const double* point) {
    std::memcpy(m_points[m_count], point, sizeof m_points[0]);
    if (++m_count == kDashPolylinePoints) {
      Draw();
      std::memcpy(m_points[0], m_points[kDashPolylinePoints - 1], sizeof m_points[0]);
      m_count = 1;
    }
  }

  // An empty entry draws nothing; a dash shorter than the tolerance draws its one point.
  void Draw() {
    if (m_count >= 1 && m_value != kDashEmpty) m_target->DrawPolyline(m_count, &m_points[0][0]);
  }

 private:
  IRenderTarget2d* m_target;
  double m_points[kDashPolylinePoints][3];
  DWORD m_count = 0;
  double m_value = kDashEmpty;
};

class Walker {
 public:
  explicit Walker(const DashWalk& walk)
      : m_walk(walk),
        m_pattern(*walk.pattern),
        m_stroke(walk.kind != DashWalkKind::ClientsOnly),
        m_clients(walk.kind != DashWalkKind::Stroke && walk.clients && walk.context),
        m_buffer(walk.target) {}

  void Run();

 private:
  DWORD Next(DWORD i) const { return i + 1 == m_pattern.count ? 0 : i + 1; }

  void EntryStart(DWORD i, const double* p, double offset) {
    if (!m_clients) return;
    if (DashEntryClientRow* row = m_walk.clients->RowOf(i)) {
      row->client->EntryStart(&row->state, m_walk.context, i, p[0], p[1], p[2], offset, m_pattern.entries[i]);
    }
  }

  void CornerReached(DWORD i, const double* p, double piece, const double* u) {
    if (!m_clients) return;
    if (DashEntryClientRow* row = m_walk.clients->RowOf(i)) {
      row->client->CornerReached(&row->state, m_walk.context, i, p[0], p[1], p[2], piece, u);
    }
  }

  // A client that drew has changed the pen; the stroking walk sets its own again.
  void EntryEnd(DWORD i, const double* p, double piece, const double* u, double value) {
    if (!m_clients) return;
    DashEntryClientRow* row = m_walk.clients->RowOf(i);
    if (!row) return;
    const HRESULT drew = row->client->EntryEnd(&row->state, m_walk.context, i, p[0], p[1], p[2], piece, u, value);
    if (drew == 1 && m_stroke) {
      m_walk.target->SetPenColor(m_walk.colour);
      m_walk.target->SetDashPattern(0, nullptr);
      m_walk.target->SetPenWidth(m_walk.width);
    }
  }

  const DashWalk& m_walk;
  const DashScaledPattern& m_pattern;
  const bool m_stroke;
  const bool m_clients;
  DashPolylineBuffer m_buffer;
};

void Walker::Run() {
  const double* points = m_walk.points;
  const DWORD count = m_walk.count;
  if (count < 2 || m_pattern.count < 2) return;
  // A cycle without length would never move along the run.
  const double total = m_pattern.Sum();
  if (!(total >= kDashEpsilon) || !std::isfinite(total)) return;
  if ((DashRunLength(points, count) / total + 1.0) * m_pattern.count > kMaxWalkSteps) {
    if (m_stroke) m_walk.target->DrawPolyline(count, points);
    return;
  }

  // Where in the pattern the run begins.
  double phase = m_walk.phase;
  if (phase > 0 && total < phase) phase = std::fmod(phase, total);
  DWORD entry = 0;
  bool down = true;
  double rem = m_pattern.Length(0);
  while (phase > 0) {
    if (rem < phase) {
      phase -= rem;
      entry = Next(entry);
      down = !down;
      rem = m_pattern.Length(entry);
    } else {
      rem -= phase;
      phase = 0;
      if (rem < kDashEpsilon) {
        entry = Next(entry);
        down = !down;
        rem = m_pattern.Length(entry);
      }
    }
  }

  DWORD vertex = 0;
  const double* v = Point(points, vertex);
  const double startValue = m_pattern.entries[entry];
  if (down && m_stroke) m_buffer.Start(v, startValue);
  EntryStart(entry, v, startValue == kDashEmpty ? 0.0 : startValue - rem);

  Segment segment = NextSegment(points, count, vertex);
  double left = segment.length;  // the part of the segment not yet walked
  double entryStart = 0.0;       // where on the segment the current entry began
  for (;;) {
    if (left + kDashEpsilon < rem) {
      // The entry runs past the segment's end.
      rem -= left;
      vertex = segment.end;
      v = Point(points, vertex);
      if (vertex + 1 >= count) break;
      const Segment next = NextSegment(points, count, vertex);
      if (down && m_stroke && left > kDashEpsilon) m_buffer.Add(v);
      CornerReached(entry, v, left, segment.u);
      segment = next;
      left = segment.length;
      entryStart = 0.0;
      continue;
    }
    // The entry ends on this segment.
    left -= rem;
    const double t = segment.length - left;
    const double q[3] = {v[0] + segment.u[0] * t, v[1] + segment.u[1] * t, 0.0};
    EntryEnd(entry, q, t - entryStart, segment.u, m_pattern.entries[entry]);
    const DWORD following = Next(entry);
    if (down) {
      if (m_stroke) {
        if (t - entryStart > kDashEpsilon) m_buffer.Add(q);
        m_buffer.Draw();
      }
    } else if (m_stroke) {
      m_buffer.Start(q, m_pattern.entries[following]);
    }
    down = !down;
    entry = following;
    rem = m_pattern.Length(entry);
    entryStart = t;
    EntryStart(entry, q, 0.0);
  }

  // The run ends at the last vertex reached, inside the current entry.
  const double value = m_pattern.entries[entry];
  EntryEnd(entry, v, left, segment.u, value == kDashEmpty ? 0.0 : value - rem);
  if (down && m_stroke) {
    if (left > kDashEpsilon) m_buffer.Add(v);
    m_buffer.Draw();
  }
}

}  // namespace

bool IsEmptyDashLength(double length) { return length == 0.0 || length == kDashEmpty || !std::isfinite(length); }

// ---- the scaled pattern ----

DashScaledPattern::~DashScaledPattern() { std::free(entries); }

DashContextKey DashContextKey::Of(const RenderContextScales* context) {
  DashContextKey key;
  key.valid = true;
  if (!context) return key;
  key.present = true;
  key.deviceMode = context->deviceMode ? 1 : 0;
  key.scales[0] = context->scale11;
  key.scales[1] = context->scale12;
  key.scales[2] = context->scale13;
  if (key.deviceMode) {
    key.deviceFactor = context->deviceFactor;
    key.deviceOffset = context->deviceOffset;
  }
  return key;
}

bool DashContextKey::operator==(const DashContextKey& other) const {
  return valid && other.valid && present == other.present && deviceMode == other.deviceMode &&
         scales[0] == other.scales[0] && scales[1] == other.scales[1] && scales[2] == other.scales[2] &&
         deviceFactor == other.deviceFactor && deviceOffset == other.deviceOffset;
}

void DashScaledPattern::Invalidate() {
  context = DashContextKey{};
  kind = Kind::None;
  key1 = key2 = std::numeric_limits<double>::quiet_NaN();
}

double DashScaledPattern::Sum() const {
  double sum = 0.0;
  for (DWORD i = 0; i < count; ++i) sum += Length(i);
  return sum;
}

HRESULT BuildScaledPattern(DashScaledPattern& pattern, const DashPatternSource& source, double gapFactor,
                           double dashFactor) {
  const DWORD n = source.count;
  const DWORD count = n + (n & 1);
  if (pattern.kind == DashScaledPattern::Kind::Scaled && pattern.count == count && pattern.key1 == gapFactor &&
      pattern.key2 == dashFactor) {
    return S_OK;
  }
  HRESULT hr = Reserve(pattern, count);
  if (FAILED(hr)) return Report(hr, 3294);
  // Entries no longer than the context's smallest unit show nothing and count nowhere.
  const double visible = CStyleRdr2dBase::GetScaleForUnits(STYLE_UNITS_13, source.context);
  double totals[2] = {0.0, 0.0};  // drawn, skipped
  for (DWORD i = 0; i < n; ++i) {
    const double v = source.lengths[i];
    double e = kDashEmpty;
    if (!IsEmptyDashLength(v)) e = v >= 0 ? Convert(v, source) * dashFactor : Convert(-v, source) * gapFactor;
    if (!std::isfinite(e)) e = kDashEmpty;
    pattern.entries[i] = e;
    if (e != kDashEmpty && e + kDashEpsilon > visible) totals[i & 1] += e;
  }
  if (n & 1) pattern.entries[n] = kDashEmpty;
  Finish(pattern, count, totals[0], totals[1], source.strokesHidden);
  pattern.kind = DashScaledPattern::Kind::Scaled;
  pattern.key1 = gapFactor;
  pattern.key2 = dashFactor;
  return S_OK;
}

HRESULT BuildStretchedPattern(DashScaledPattern& pattern, const DashPatternSource& source, double runLength,
                              double gapTotal, double dashTotal) {
  const DWORD n = source.count;
  const DWORD count = n + (n & 1);
  if (pattern.kind == DashScaledPattern::Kind::Stretched && pattern.count == count && pattern.key1 == runLength &&
      pattern.key2 == 1.0) {
    return S_OK;
  }
  HRESULT hr = Reserve(pattern, count);
  if (FAILED(hr)) return Report(hr, 3027);
  double totals[2] = {0.0, 0.0};  // drawn, skipped
  double dashSum = 0.0;
  double gapSum = 0.0;
  DWORD firstGap = count;  // none
  for (DWORD i = 0; i < n; ++i) {
    const double v = source.lengths[i];
    double e = kDashEmpty;
    if (IsEmptyDashLength(v)) {
      // stays empty
    } else if (v == DBL_EPSILON) {
      // A marker length: kept as it is and counted as dash length only.
      e = v;
      dashSum += v;
    } else {
      const double converted = Convert(v > 0 ? v : -v, source);
      if (std::isfinite(converted)) {
        totals[i & 1] += converted;
        if (v > 0) {
          e = converted;
          dashSum += converted;
        } else {
          e = -converted;  // a gap, stretched below
          gapSum += converted;
          if (firstGap == count) firstGap = i;
        }
      }
    }
    pattern.entries[i] = e;
  }
  if (n & 1) pattern.entries[n] = kDashEmpty;

  const double first = pattern.Length(0);
  const double a = std::fabs(first);
  const double b = a * source.endFraction;
  const bool lastEmpty = pattern.entries[count - 1] == kDashEmpty;
  double r;
  if (lastEmpty) {
    r = runLength - dashTotal < 0 ? 1.0 : (runLength - dashTotal) / gapTotal;
  } else {
    const double m = std::trunc((a - b + runLength - b + 0.25 * gapSum) / (gapSum + dashSum));
    if (m <= 0) {
      r = 1.0;
    } else if (first < 0) {
      r = (runLength - dashSum) / (gapSum - a + 2 * b);
    } else {
      r = (runLength - dashSum + a - 2 * b) / gapSum;
    }
  }
  double remainder = first < 0 ? runLength - dashSum
                               : runLength - (dashSum - a + (lastEmpty ? 1.0 : 2.0) * a * source.endFraction);
  // The gaps after the first take their stretched length; the first gap takes what is left of the run.
  if (firstGap < count) {
    for (DWORD i = count - 1; i > firstGap; --i) {
      const double e = pattern.entries[i];
      if (e == kDashEmpty || e >= 0) continue;
      const double stretched = -e * r;
      if (std::isfinite(stretched)) {
        pattern.entries[i] = stretched;
        remainder -= stretched;
      } else {
        pattern.entries[i] = kDashEmpty;
      }
    }
    pattern.entries[firstGap] = remainder >= 0 && std::isfinite(remainder) ? remainder : kDashEmpty;
  }
  Finish(pattern, count, totals[0], totals[1], source.strokesHidden);
  pattern.kind = DashScaledPattern::Kind::Stretched;
  pattern.key1 = runLength;
  pattern.key2 = 1.0;
  return S_OK;
}

// ---- the entry-client table ----

DashEntryClientTable::~DashEntryClientTable() {
  Empty();
  std::free(rows);
}

void DashEntryClientTable::Empty() {
  for (DWORD i = 0; i < capacity; ++i) {
    if (IJStyleDashTypeClient* client = rows[i].client) {
      rows[i].client = nullptr;
      client->Release();
    }
    rows[i].state = nullptr;
  }
  rowCount = 0;
  anyClient = false;
}

HRESULT DashEntryClientTable::Reset(DWORD n) {
  Empty();
  if (capacity < n) {
    if (n > 0x0FFFFFFF) return Report(E_OUTOFMEMORY, 3401);
    auto* grown = static_cast<DashEntryClientRow*>(std::calloc(n, sizeof(DashEntryClientRow)));
    if (!grown) return Report(E_OUTOFMEMORY, 3401);
    std::free(rows);
    rows = grown;
    capacity = n;
  }
  return S_OK;
}

void BeginClientRuns(DashEntryClientTable& table, const DashClientContext& context) {
  for (DWORD i = 0; i < table.rowCount; ++i) {
    DashEntryClientRow& row = table.rows[i];
    if (row.client) row.client->BeginRun(&row.state, &context, i);
  }
}

void EndClientRuns(DashEntryClientTable& table, const DashClientContext& context) {
  for (DWORD i = 0; i < table.rowCount; ++i) {
    DashEntryClientRow& row = table.rows[i];
    if (row.client) row.client->EndRun(&row.state, &context, i);
  }
}

// ---- the walk ----

double DashRunLength(const double* points, DWORD count) {
  // A point at no finite place is bridged, as the walk steps over it.
  double length = 0.0;
  const double* last = nullptr;
  for (DWORD i = 0; i < count; ++i) {
    const double* p = Point(points, i);
    if (!std::isfinite(p[0]) || !std::isfinite(p[1])) continue;
    if (last) {
      const double d = std::hypot(p[0] - last[0], p[1] - last[1]);
      if (std::isfinite(d)) length += d;
    }
    last = p;
  }
  return length;
}

void WalkDashRun(const DashWalk& walk) { Walker(walk).Run(); }
