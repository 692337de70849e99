// Clipping straight segments against a decomposed boundary: the segment is cut against each trapezoid it may
// pass, row by row from its lower end, and the inside pieces are kept in pooled blocks on the FillTrap.
#include <algorithm>
#include <cmath>

#include "geometry/fill_internal.h"

namespace {

bool Near(double ax, double ay, double bx, double by, double tolerance) {
  return std::fabs(ax - bx) <= tolerance && std::fabs(ay - by) <= tolerance;
}

bool InParameterRange(double t) { return t >= -kFillParameterTolerance && t <= 1.0 + kFillParameterTolerance; }

// The x of a trapezoid side at height y, from its bottom corner to its top corner.
double SideX(const FillTrapNode* bottom, const FillTrapNode* top, double y) {
  if (bottom->x == top->x) return top->x;
  return bottom->x + (y - bottom->y) / (top->y - bottom->y) * (top->x - bottom->x);
}

// Where along x a segment can give a piece within a band of rows. ClipAgainstTrapezoid takes a crossing up to 5e-6
// of the segment beyond either end, at a point within its slack (5e-7 and 1e-12 of the coordinates) of the side
// and of the segment, and an end inside the trapezoid: so a trapezoid that gives a piece comes within twice that
// slack of the segment lengthened by that much. The segment is taken lengthened by 1e-5 of itself, and the band
// and the answer widened by a margin well above the slack and the rounding of this reckoning.
class SegmentReach {
 public:
  explicit SegmentReach(const FillClipDescriptor& s) {
    constexpr double kLengthened = 1e-5;
    const double ex = s.upperX - s.lowerX, ey = s.upperY - s.lowerY;
    m_x0 = s.lowerX - kLengthened * ex;
    m_y0 = s.lowerY - kLengthened * ey;
    m_x1 = s.upperX + kLengthened * ex;
    m_y1 = s.upperY + kLengthened * ey;
    const double reach = std::max(std::fabs(m_x0), std::fabs(m_x1)) + std::max(std::fabs(m_y0), std::fabs(m_y1)) +
                         std::fabs(ex) + std::fabs(ey);
    m_margin = 1e-5 + 1e-10 * reach;
    // Beyond the doubles nothing is ruled out.
    m_everywhere = !std::isfinite(m_margin) || !std::isfinite(m_x1 - m_x0) || !std::isfinite(m_y1 - m_y0);
  }

  // The x range within which a trapezoid between the two rows' heights must reach to give a piece; false when
  // none can.
  bool Across(double yBottom, double yTop, double* low, double* high) const {
    if (m_everywhere) {
      *low = -HUGE_VAL;
      *high = HUGE_VAL;
      return true;
    }
    const double bottom = yBottom - m_margin, top = yTop + m_margin;
    if (top < m_y0 || bottom > m_y1) return false;
    double xBottom = m_x0, xTop = m_x1;
    if (m_y1 > m_y0) {
      const double dy = m_y1 - m_y0;
      const double sBottom = bottom <= m_y0 ? 0.0 : std::min(1.0, (bottom - m_y0) / dy);
      const double sTop = top >= m_y1 ? 1.0 : std::max(0.0, (top - m_y0) / dy);
      xBottom = m_x0 + sBottom * (m_x1 - m_x0);
      xTop = m_x0 + sTop * (m_x1 - m_x0);
    }
    *low = std::min(xBottom, xTop) - 2 * m_margin;
    *high = std::max(xBottom, xTop) + 2 * m_margin;
    return true;
  }

 private:
  double m_x0, m_y0, m_x1, m_y1;  // the lengthened segment, lower end first
  double m_margin;
  bool m_everywhere;
};

// Pieces are found band by band, each band's in the order of its trapezoids. Along the segment the bands follow
// one another, and a band's pieces mostly follow the lean of the segment: rising where it leans right, falling
// where it leans left. Pieces that come back over a stretch found before are watched for here (a segment along a
// row is met by the band below and the one above, one along a side that two trapezoids share by both), as are a
// band's pieces out of that order and pieces joined over a gap, which another piece may fill: only then are the
// pieces sorted along the segment.
class StretchWatch {
 public:
  explicit StretchWatch(const FillClipDescriptor& s)
      : m_x0(s.lowerX), m_y0(s.lowerY), m_ex(s.upperX - s.lowerX), m_ey(s.upperY - s.lowerY) {
    const double length2 = m_ex * m_ex + m_ey * m_ey;
    // The point tolerance along the segment, in units of its length (|ex| + |ey| bounds the length): rounding
    // of two pieces that meet stays well within it.
    m_slack = kFillPointTolerance * (std::fabs(m_ex) + std::fabs(m_ey));
    m_watching = std::isfinite(length2) && std::isfinite(m_slack);
    m_falling = m_ex < 0;
  }

  // A piece found in a band; `last` the piece it would extend, its start being near that piece's end. Answers
  // whether it may: not when it would turn the piece back or drop a stretch before the piece's start (a piece
  // shorter than the join tolerance can start near the end of one that lies after it), which is then sorted into
  // place with the rest.
  bool Found(std::uint32_t band, const GPosition2d points[2], const FillClipSegment* last) {
    if (!m_watching) return last != nullptr;
    const double from = Along(points[0].x, points[0].y), to = Along(points[1].x, points[1].y);
    bool joins = last != nullptr;
    if (joins) {
      const double lastFrom = Along(last->x1, last->y1), lastTo = Along(last->x2, last->y2);
      if (from < lastFrom - m_slack || to < lastTo - m_slack) {
        joins = false;
        m_overlapping = true;
      } else if (from > lastTo + m_slack) {
        m_overlapping = true;  // joined over a gap, which another piece may fill
      }
    }
    if (m_overlapping) return joins;
    if (band != m_band) {
      m_before = std::max(m_before, m_bandHigh);
      m_bandHigh = -HUGE_VAL;
      m_band = band;
      m_inBand = false;
    }
    const bool inOrder = !m_inBand || (m_falling ? to <= m_lastFrom + m_slack : from >= m_lastTo - m_slack);
    if (from < m_before - m_slack || !inOrder) m_overlapping = true;
    m_inBand = true;
    m_lastFrom = from;
    m_lastTo = to;
    m_bandHigh = std::max(m_bandHigh, to);
    return joins;
  }

  bool Overlapping() const { return m_overlapping; }

 private:
  double Along(double x, double y) const { return (x - m_x0) * m_ex + (y - m_y0) * m_ey; }

  double m_x0, m_y0, m_ex, m_ey;
  double m_slack = 0;
  bool m_watching = false;
  bool m_falling = false;
  bool m_overlapping = false;
  std::uint32_t m_band = UINT32_MAX;
  double m_before = -HUGE_VAL;  // the furthest reach of the bands before this one
  double m_bandHigh = -HUGE_VAL;
  bool m_inBand = false;  // a piece of this band was found: the last one's stretch
  double m_lastFrom = 0, m_lastTo = 0;
};

void WritePiece(const FillClipSegment& segment, GPosition piece[2]) {
  piece[0].x = segment.x1;
  piece[0].y = segment.y1;
  piece[1].x = segment.x2;
  piece[1].y = segment.y2;
}

}  // namespace

FillClipDescriptor FillClipDescriptor::FromEnds(const GPosition2d& a, const GPosition2d& b) {
  const bool aIsLower = a.y < b.y || (a.y == b.y && a.x <= b.x);
  const GPosition2d& lower = aIsLower ? a : b;
  const GPosition2d& upper = aIsLower ? b : a;
  return {aIsLower ? 0u : 1u,
          std::min(a.x, b.x),
          std::min(a.y, b.y),
          std::max(a.x, b.x),
          std::max(a.y, b.y),
          lower.x,
          lower.y,
          upper.x,
          upper.y};
}

void FillTrap::ClearSegments() {
  m_segmentCount = 0;
  FillChainEmpty(&m_segments);
  m_readBlock = nullptr;
  m_readPlace = 0;
  m_lastSegment = nullptr;
}

FillResult FillTrap::ClipSegment(const GPosition2d& a, const GPosition2d& b, std::uint32_t* count, GPosition piece[2]) {
  if (!count || !piece) return FillReport(kFillInvalidArg, kFillClipSource, __LINE__);
  *count = m_segmentCount;
  if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) {
    return FillReport(kFillInvalidArg, kFillClipSource, __LINE__);
  }
  FillClipDescriptor segment = FillClipDescriptor::FromEnds(a, b);
  const FillResult hr = ClipRows(segment);
  if (hr != kFillOk) {
    *count = m_segmentCount;
    return hr;
  }
  *count = m_segmentCount;
  if (m_segmentCount == 0) {
    m_readBlock = nullptr;
    m_readPlace = 0;
    return kFillOk;
  }
  m_readBlock = static_cast<FillSegmentBlock*>(m_segments.first);
  WritePiece(m_readBlock->records[0], piece);
  m_readPlace = 1;
  return kFillOk;
}

// Row by row from the lower end, each row's trapezoids in order: one is tested when its x range meets the
// segment's; after a tested one the row ends when the next does not start left of the segment's largest x, after
// an untested one when it does not start there itself. Of those tested, only the ones that come near the segment
// within the row's band can give a piece; a row whose xMin and xMax both rise along it finds them by search.
FillResult FillTrap::ClipRows(FillClipDescriptor& segment) {
  const FillTrapRow* first = FindRow(segment.lowerY);
  if (!first) return kFillOk;
  // A lower end on a row lies in the band below as well, which the search may or may not have landed on: a
  // segment along a hole's bottom would otherwise lose the stretch the band below covers, where one along its
  // top keeps the band above's.
  if (first > m_rows && first->y == segment.lowerY) --first;
  const SegmentReach reach(segment);
  const double low = segment.xMin, high = segment.xMax;
  std::uint32_t r = 0;
  const std::uint32_t start = m_segmentCount;
  bool joinedEarlier = false;  // the first piece found extended the piece before this segment's
  StretchWatch watch(segment);
  const auto clip = [this, &segment, &watch, &r, start, &joinedEarlier](const FillTrapTrapezoid& t) {
    // The nodes above this trapezoid's top corners are the next band's most likely; they lie a row further on.
    __builtin_prefetch(t.corners[FillTrapTrapezoid::kTopLeft]->highNeighbour);
    __builtin_prefetch(t.corners[FillTrapTrapezoid::kTopRight]->highNeighbour);
    GPosition2d points[2];
    if (!ClipAgainstTrapezoid(segment, t, points, kFillClipCrossing)) return kFillOk;
    const bool near = m_segmentCount > 0 && m_lastSegment &&
                      Near(points[0].x, points[0].y, m_lastSegment->x2, m_lastSegment->y2, kFillJoinTolerance);
    const bool joins = watch.Found(r, points, near ? m_lastSegment : nullptr);
    if (joins && m_segmentCount == start) joinedEarlier = true;
    return StorePiece({points[0].x, points[0].y, points[1].x, points[1].y}, joins);
  };
  const std::uint32_t last = m_rowCount - 1;
  for (r = static_cast<std::uint32_t>(first - m_rows); r < last && m_rows[r].y <= segment.upperY; ++r) {
    double nearLow, nearHigh;
    if (!reach.Across(m_rows[r].y, m_rows[r + 1].y, &nearLow, &nearHigh)) continue;
    const auto near = [nearLow, nearHigh](const FillTrapTrapezoid& t) {
      return t.xMax >= nearLow && t.xMin <= nearHigh;
    };
    const RowTrapezoids row = TrapezoidsOf(&m_rows[r]);
    if (!row.Ordered()) {
      for (const FillTrapTrapezoid* t = m_rows[r].firstTrapezoid; t; t = t->next) {
        if (high >= t->xMin && low <= t->xMax) {
          if (near(*t)) {
            const FillResult hr = clip(*t);
            if (hr != kFillOk) return hr;
          }
          if (!t->next || !(t->next->xMin < high)) break;
        } else if (!(t->xMin < high)) {
          break;
        }
      }
      continue;
    }
    // In order, the walk tests the run from the first trapezoid reaching the segment's smallest x up to the first
    // not starting left of its largest x, that one excluded; when the run is empty, that one alone when it starts
    // exactly there. The run is cut to the trapezoids near the band's part of the segment.
    const std::uint32_t begin =
        row.PartitionPoint([&](const FillTrapTrapezoid& t) { return !(low <= t.xMax) || !(nearLow <= t.xMax); });
    const std::uint32_t end =
        nearHigh < high ? row.PartitionPoint([&](const FillTrapTrapezoid& t) { return !(t.xMin > nearHigh); })
                        : row.PartitionPoint([&](const FillTrapTrapezoid& t) { return t.xMin < high; });
    if (begin < end) {
      for (std::uint32_t i = begin; i < end; ++i) {
        const FillResult hr = clip(row[i]);
        if (hr != kFillOk) return hr;
      }
      continue;
    }
    const std::uint32_t stop = row.PartitionPoint([&](const FillTrapTrapezoid& t) { return t.xMin < high; });
    if (stop == row.Count() || row[stop].xMin != high) continue;
    const std::uint32_t reaching = row.PartitionPoint([&](const FillTrapTrapezoid& t) { return !(low <= t.xMax); });
    if (reaching >= stop && near(row[stop])) {
      const FillResult hr = clip(row[stop]);
      if (hr != kFillOk) return hr;
    }
  }
  if (!watch.Overlapping()) return kFillOk;
  return UnitePieces(joinedEarlier ? start - 1 : start, segment);
}

struct FillTrap::UnitePiece {
  double from, to;  // along the segment, from its lower end
  FillClipSegment piece;
};

// The segment's pieces from `start` on are sorted along it and each stretch is kept once: pieces that overlap or
// meet within the join tolerance become one, from the start nearest the lower end to the furthest end.
FillResult FillTrap::UnitePieces(std::uint32_t start, const FillClipDescriptor& segment) {
  const std::uint32_t count = m_segmentCount - start;
  if (count < 2) return kFillOk;
  if (count > m_uniteCapacity) {
    auto* room = static_cast<UnitePiece*>(FillAllocateArray(count, sizeof(UnitePiece)));
    if (!room) return FillReport(kFillOutOfMemory, kFillClipSource, __LINE__);
    FillFree(m_unite);
    m_unite = room;
    m_uniteCapacity = count;
  }
  const double ex = segment.upperX - segment.lowerX, ey = segment.upperY - segment.lowerY;
  const auto along = [&](double x, double y) { return (x - segment.lowerX) * ex + (y - segment.lowerY) * ey; };
  constexpr std::uint32_t kCapacity = FillSegmentBlock::kCapacity;
  // Every block before the one being written is full.
  auto* first = static_cast<FillSegmentBlock*>(m_segments.first);
  for (std::uint32_t k = start / kCapacity; k > 0; --k) first = first->Next();
  FillSegmentBlock* block = first;
  std::uint32_t place = start % kCapacity;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (place == kCapacity) {
      block = block->Next();
      place = 0;
    }
    FillClipSegment p = block->records[place++];
    double from = along(p.x1, p.y1), to = along(p.x2, p.y2);
    if (!std::isfinite(from) || !std::isfinite(to)) return kFillOk;
    if (to < from) {
      std::swap(from, to);
      p = {p.x2, p.y2, p.x1, p.y1};
    }
    m_unite[i] = {from, to, p};
  }
  std::sort(m_unite, m_unite + count, [](const UnitePiece& a, const UnitePiece& b) {
    return a.from < b.from || (a.from == b.from && a.to > b.to);
  });
  std::uint32_t kept = 0;
  for (std::uint32_t i = 1; i < count; ++i) {
    UnitePiece& joined = m_unite[kept];
    const UnitePiece& next = m_unite[i];
    if (next.from <= joined.to ||
        Near(next.piece.x1, next.piece.y1, joined.piece.x2, joined.piece.y2, kFillJoinTolerance)) {
      if (next.to > joined.to) {
        joined.to = next.to;
        joined.piece.x2 = next.piece.x2;
        joined.piece.y2 = next.piece.y2;
      }
    } else {
      m_unite[++kept] = next;
    }
  }
  ++kept;
  block = first;
  place = start % kCapacity;
  for (std::uint32_t i = 0; i < kept; ++i) {
    if (place == kCapacity) {
      block = block->Next();
      place = 0;
    }
    block->records[place++] = m_unite[i].piece;
  }
  block->count = place;
  for (FillSegmentBlock* later = block->Next(); later; later = later->Next()) later->count = 0;
  m_segments.current = block;
  m_lastSegment = &block->records[place - 1];
  m_segmentCount = start + kept;
  return kFillOk;
}

bool FillTrap::NextSegment(GPosition piece[2]) {
  if (!piece || !m_readBlock) return false;
  if (m_readPlace >= m_readBlock->count) {
    // Pieces fill a block before the next is started.
    FillSegmentBlock* next = m_readBlock->Next();
    if (m_readBlock->count < FillSegmentBlock::kCapacity || !next || next->count == 0) return false;
    m_readBlock = next;
    m_readPlace = 0;
  }
  WritePiece(m_readBlock->records[m_readPlace++], piece);
  return true;
}

const FillTrapRow* FillTrap::FindRow(double y) const {
  if (m_rowCount == 0) return nullptr;
  if (y <= m_rows[0].y) return m_rows;
  const std::int64_t last = static_cast<std::int64_t>(m_rowCount) - 1;
  if (y > m_rows[last].y || last == 0) return nullptr;
  std::int64_t low = 0, high = last - 1;
  while (low <= high) {
    const std::int64_t mid = (low + high) / 2;
    if (m_rows[mid].y <= y && m_rows[mid + 1].y >= y) return &m_rows[mid];
    if (y >= m_rows[mid].y) {
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  return nullptr;
}

// Two crossings apart, or an end inside, make a piece; it runs between the two of all the crossings and inside
// ends that lie furthest apart along the segment. Taking the first two found would lose the piece of a segment that
// passes a corner: the crossings with both sides there are taken within the parameter tolerance and need not meet
// within 5e-7.
bool FillTrap::ClipAgainstTrapezoid(FillClipDescriptor& segment, const FillTrapTrapezoid& trapezoid,
                                    GPosition2d points[2], FillClipMode mode) {
  const double ex = segment.upperX - segment.lowerX;
  const double ey = segment.upperY - segment.lowerY;
  const double length2 = ex * ex + ey * ey;
  double first = HUGE_VAL, last = -HUGE_VAL;
  std::uint32_t crossings = 0;  // apart from one another, two at most
  unsigned rowsMet = 0;  // crossings of the bottom (1) and the top (2), whose y is the row's own
  const auto add = [&](double x, double y) {
    if (crossings == 0 || (crossings == 1 && !Near(x, y, points[0].x, points[0].y, kFillPointTolerance) &&
                           !Near(x, y, points[1].x, points[1].y, kFillPointTolerance))) {
      ++crossings;
    }
    const double u = length2 > 0 ? ((x - segment.lowerX) * ex + (y - segment.lowerY) * ey) / length2 : 0.0;
    if (u < first) {
      first = u;
      points[0] = GPosition2d(x, y);
    }
    if (u > last) {
      last = u;
      points[1] = GPosition2d(x, y);
    }
  };
  // Bottom, right, top, left: each side from its corner to the next counter-clockwise.
  for (int side = 0; side < 4; ++side) {
    const FillTrapNode* s = trapezoid.corners[side];
    const FillTrapNode* e = trapezoid.corners[(side + 1) % 4];
    if (mode == kFillClipOverlap && (side == 0 || side == 2)) {
      if (segment.lowerY != s->y) continue;
      const double sideLow = std::min(s->x, e->x);
      const double sideHigh = std::max(s->x, e->x);
      if (!(sideLow < segment.xMax) || !(segment.xMin < sideHigh)) continue;
      add(std::max(sideLow, segment.xMin), s->y);
      add(std::min(sideHigh, segment.xMax), s->y);
      continue;
    }
    const double dx = e->x - s->x;
    const double dy = e->y - s->y;
    const double denominator = ex * dy - dx * ey;
    if (denominator == 0) continue;
    // s + t (e - s) = lower + u (upper - lower)
    const double wx = segment.lowerX - s->x;
    const double wy = segment.lowerY - s->y;
    const double t = (wy * ex - wx * ey) / denominator;
    const double u = (wy * dx - wx * dy) / denominator;
    if (!InParameterRange(t) || !InParameterRange(u)) continue;
    // A side all but along the segment gives parameters that rounding alone decides, which need not name one
    // point: the side's point may then lie far beyond the segment's end. Such a crossing is left to the ends
    // inside the trapezoid, as for a side exactly along the segment.
    const double x = s->x + dx * t, y = s->y + dy * t;
    const double slack = kFillPointTolerance + 1e-12 * (std::fabs(x) + std::fabs(y) + std::sqrt(length2));
    if (!Near(x, y, segment.lowerX + ex * u, segment.lowerY + ey * u, slack)) continue;
    // The parameter tolerance is a distance in proportion to the side: along a long side all but level, a
    // crossing just past its corner may lie well below or above the trapezoid, where the segment can be outside.
    // The point itself must lie on the side and on the segment within the point tolerance.
    const auto within = [slack](double v, double a, double b) {
      return v >= std::min(a, b) - slack && v <= std::max(a, b) + slack;
    };
    if (within(x, s->x, e->x) && within(y, s->y, e->y) && within(x, segment.xMin, segment.xMax) &&
        within(y, segment.yMin, segment.yMax)) {
      add(x, y);
      if (side == 0) rowsMet |= 1;
      if (side == 2) rowsMet |= 2;
    }
  }
  // A single crossing is a touch, not a piece, unless an end apart from it lies inside. A segment shorter than
  // the tolerance is a point, kept with an end inside as one of no length is, though it may cross a row.
  bool exists = crossings == 2;
  const bool point = Near(segment.lowerX, segment.lowerY, segment.upperX, segment.upperY, kFillPointTolerance);
  GPosition2d ends[2];
  std::uint32_t inside = 0;
  AddInsidePoints(segment, trapezoid, ends, &inside);
  for (std::uint32_t k = 0; k < inside; ++k) {
    exists = exists || crossings == 0 || point ||
             !Near(ends[k].x, ends[k].y, points[0].x, points[0].y, kFillPointTolerance);
    add(ends[k].x, ends[k].y);
  }
  const bool near = Near(points[0].x, points[0].y, points[1].x, points[1].y, kFillPointTolerance);
  // Crossings of the bottom and the top and ends inside are points of the trapezoid however near they lie: two of
  // them at different heights are no touch, and the stretch between them lies inside. A band thinner than the
  // point tolerance keeps its stretch so, or a segment crossing many such bands would lose one each.
  bool spans = false;
  if ((!exists || near) && mode == kFillClipCrossing) {
    double low = HUGE_VAL, high = -HUGE_VAL;
    const auto firm = [&](double y) {
      low = std::min(low, y);
      high = std::max(high, y);
    };
    if (rowsMet & 1) firm(trapezoid.yBottom);
    if (rowsMet & 2) firm(trapezoid.yTop);
    for (std::uint32_t k = 0; k < inside; ++k) firm(ends[k].y);
    spans = low < high;
  }
  if (!exists && !spans) return false;
  // points[0] lies nearer the segment's lower end along the segment, so the piece already runs from its lower
  // end. Comparing the computed coordinates instead turned a piece of a segment along a row whose ends rounding
  // had put an ulp apart in y, and a turned piece is joined to the next one backwards, to nothing.
  if (near && !spans) points[1] = points[0];
  return true;
}

bool FillTrap::AddInsidePoints(const FillClipDescriptor& segment, const FillTrapTrapezoid& trapezoid,
                               GPosition2d points[2], std::uint32_t* count) {
  bool added = false;
  const GPosition2d ends[2] = {{segment.lowerX, segment.lowerY}, {segment.upperX, segment.upperY}};
  for (const GPosition2d& p : ends) {
    if (*count >= 2) break;
    if (p.x < trapezoid.xMin || p.x > trapezoid.xMax || p.y < trapezoid.yBottom || p.y > trapezoid.yTop) continue;
    if (*count == 1 && Near(p.x, p.y, points[0].x, points[0].y, kFillPointTolerance)) continue;
    const double left =
        SideX(trapezoid.corners[FillTrapTrapezoid::kBottomLeft], trapezoid.corners[FillTrapTrapezoid::kTopLeft], p.y);
    const double right =
        SideX(trapezoid.corners[FillTrapTrapezoid::kBottomRight], trapezoid.corners[FillTrapTrapezoid::kTopRight], p.y);
    if (p.x < left || p.x > right) continue;
    points[(*count)++] = p;
    added = true;
  }
  return added;
}

FillResult FillTrap::AddSegment(const FillClipSegment& piece) {
  return StorePiece(piece, m_segmentCount > 0 && m_lastSegment &&
                               Near(piece.x1, piece.y1, m_lastSegment->x2, m_lastSegment->y2, kFillJoinTolerance));
}

FillResult FillTrap::StorePiece(const FillClipSegment& piece, bool join) {
  if (join) {
    m_lastSegment->x2 = piece.x2;
    m_lastSegment->y2 = piece.y2;
    return kFillOk;
  }
  auto* block = static_cast<FillSegmentBlock*>(FillChainReserve(&m_segments, FillBlockKind::kSegment, &m_slabs));
  if (!block) return FillReport(kFillOutOfMemory, kFillClipSource, __LINE__);
  m_lastSegment = &block->records[block->count++];
  *m_lastSegment = piece;
  ++m_segmentCount;
  return kFillOk;
}
