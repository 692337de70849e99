// The dash generation of the simple dash type: the pattern scaled for one drawing (or stretched over one run),
// the table of which client serves which pattern entry, and the walk along a run that draws the dashes into the
// render target and tells the clients where each entry starts, turns and ends.
//
// A pattern is a cycle of an even number of entries: the pen is down on entries 0, 2, 4 ... and up on the
// others, whatever their sign. Scaled entries are non-negative lengths, or kDashEmpty for an entry that has no
// length.
#pragma once

#include <cfloat>
#include <limits>

#include "display/style/stylesrv_itf.h"

// Lengths and distances of the line styles' drawing are compared with this.
inline constexpr double kDashEpsilon = 1.1920928955078125e-7;
inline constexpr double kDashEmpty = -DBL_MAX;
// At most this many points go into one polyline; a longer dash is drawn in pieces that join.
inline constexpr DWORD kDashPolylinePoints = 50;

// 0.0, -DBL_MAX and what is not a finite number have no length.
bool IsEmptyDashLength(double length);

// What converting a dash type's lengths reads of a render context: the three scales, the device mapping, and
// the third scale again as the smallest length that shows. Patterns converted under equal keys are equal; a
// key that holds what is not a number equals nothing, so such a context always converts afresh.
struct DashContextKey {
  bool valid = false;  // false: no context yet
  bool present = false;
  DWORD deviceMode = 0;
  double scales[3] = {0, 0, 0};
  double deviceFactor = 0;
  double deviceOffset = 0;

  static DashContextKey Of(const RenderContextScales* context);
  bool operator==(const DashContextKey& other) const;
};

// The pattern as drawn, with the keys it was built for.
struct DashScaledPattern {
  DashScaledPattern() = default;
  ~DashScaledPattern();
  DashScaledPattern(const DashScaledPattern&) = delete;
  DashScaledPattern& operator=(const DashScaledPattern&) = delete;

  enum class Kind { None, Scaled, Stretched };

  DWORD count = 0;  // even
  DWORD capacity = 0;
  double* entries = nullptr;
  DashContextKey context;  // what it was built for
  Kind kind = Kind::None;
  double key1 = std::numeric_limits<double>::quiet_NaN();  // gap factor, or run length
  double key2 = std::numeric_limits<double>::quiet_NaN();  // dash factor, or 1.0
  double period = 0;  // the entries that count towards the drawn and skipped totals
  bool noVisible = false;
  bool noGaps = false;

  // The next build starts afresh.
  void Invalidate();
  // The length of entry i in the walk: an empty entry counts 0.
  double Length(DWORD i) const { return entries[i] == kDashEmpty ? 0.0 : entries[i]; }
  // The sum of all entries as the walk counts them.
  double Sum() const;
};

// What the pattern builders read of the dash type and of the drawing call.
struct DashPatternSource {
  const double* lengths;
  DWORD count;
  DWORD unitsCode;
  const RenderContextScales* context;
  bool strokesHidden;
  double endFraction;
};

// Modes 0 and 2: each length converted by its units code and multiplied by the dash or gap factor (by sign).
HRESULT BuildScaledPattern(DashScaledPattern& pattern, const DashPatternSource& source, double gapFactor,
                           double dashFactor);
// Mode 1: the pattern once over a run of `runLength`, its gaps stretched; `gapTotal` and `dashTotal` are the
// converted totals of the dash type.
HRESULT BuildStretchedPattern(DashScaledPattern& pattern, const DashPatternSource& source, double runLength,
                              double gapTotal, double dashTotal);

// Which client serves each pattern entry. A row holds a reference on its client; the state word is the
// client's own.
struct DashEntryClientRow {
  IJStyleDashTypeClient* client;
  void* state;
};

struct DashEntryClientTable {
  DashEntryClientTable() = default;
  ~DashEntryClientTable();
  DashEntryClientTable(const DashEntryClientTable&) = delete;
  DashEntryClientTable& operator=(const DashEntryClientTable&) = delete;

  DWORD rowCount = 0;
  DWORD capacity = 0;
  DashEntryClientRow* rows = nullptr;
  bool anyClient = false;

  // Row count 0, every row zeroed and its client released.
  void Empty();
  // Room for n rows, all zero (the old rows are dropped).
  HRESULT Reset(DWORD n);
  // The row of pattern entry i, or null when no client serves it.
  DashEntryClientRow* RowOf(DWORD i) {
    if (rowCount == 0) return nullptr;
    DashEntryClientRow* row = &rows[i % rowCount];
    return row->client ? row : nullptr;
  }
};

// The frame of every walk with clients: BeginRun before it and EndRun after it for each served entry, in entry
// order.
void BeginClientRuns(DashEntryClientTable& table, const DashClientContext& context);
void EndClientRuns(DashEntryClientTable& table, const DashClientContext& context);

enum class DashWalkKind {
  Stroke,             // dashes drawn, no client told
  ClientsOnly,        // clients told, nothing drawn
  StrokeWithClients,  // both
};

struct DashWalk {
  const double* points;  // three f64 each
  DWORD count;
  const DashScaledPattern* pattern;
  double phase;  // negative phase and the run-end fraction already applied
  DashWalkKind kind;
  IRenderTarget2d* target;
  DashEntryClientTable* clients;     // for the kinds with clients
  const DashClientContext* context;  // for the kinds with clients
  DWORD colour;                      // the pen set again after a client drew
  double width;
};

// Walks the run. Nothing is walked with fewer than 2 points or 2 entries, or when the entries add up to less
// than kDashEpsilon or to no finite length; a run that would hold more dashes than any target can show is
// drawn solid instead.
void WalkDashRun(const DashWalk& walk);

// The length of a run in x and y; a point at no finite place is stepped over.
double DashRunLength(const double* points, DWORD count);
