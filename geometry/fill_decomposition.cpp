// The trapezoid decomposition of a fill boundary. The vertices are sorted by y and grouped into scan rows;
// every edge that passes a row gets a node there, so that each edge joins adjacent rows; then each band between
// two rows is cut into trapezoids by pairing the upward edges of its bottom row from left to right (even-odd).
// Where edges cross inside a band, rows are added at the crossings first, so that no trapezoid is twisted.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry/fill_internal.h"

namespace {

// Crossing nodes at most: their memory then fills most of a 32-bit address space.
constexpr std::uint32_t kMaxCrossingNodes = 1u << 24;

bool SamePoint(double ax, double ay, double bx, double by) { return ax == bx && ay == by; }

// Coordinates must be finite (a separator's x apart), and so must the extent, so that no difference of two
// coordinates overflows.
bool PointsUsable(const GPosition* points, std::uint32_t count) {
  double xLow = HUGE_VAL, yLow = HUGE_VAL, xHigh = -HUGE_VAL, yHigh = -HUGE_VAL;
  bool any = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const GPosition& p = points[i];
    if (p.x == kFillLoopSeparatorX) continue;
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    xLow = std::min(xLow, p.x);
    xHigh = std::max(xHigh, p.x);
    yLow = std::min(yLow, p.y);
    yHigh = std::max(yHigh, p.y);
    any = true;
  }
  return !any || (std::isfinite(xHigh - xLow) && std::isfinite(yHigh - yLow));
}

// The x of the edge from bottom to top at height y, interpolated from the lower end and kept within the edge's
// x range (the slope-intercept form cancels on nearly horizontal edges).
// The ends held by value, so that an edge split at many rows reads them once.
struct EdgeLine {
  double bottomX, bottomY, topX, topY;

  EdgeLine(const FillTrapNode* bottom, const FillTrapNode* top)
      : bottomX(bottom->x), bottomY(bottom->y), topX(top->x), topY(top->y) {}
  double X(double y) const {
    if (topX == bottomX) return bottomX;
    double x = bottomX + (y - bottomY) * (topX - bottomX) / (topY - bottomY);
    if (!std::isfinite(x)) x = bottomX + (y - bottomY) / (topY - bottomY) * (topX - bottomX);
    const double low = std::min(bottomX, topX);
    const double high = std::max(bottomX, topX);
    return x < low ? low : (x > high ? high : x);
  }
};

double EdgeX(const FillTrapNode* bottom, const FillTrapNode* top, double y) { return EdgeLine(bottom, top).X(y); }

// Points the link of `from` that led to `oldTo` at `newTo` (the first one, when both did).
void Redirect(FillTrapNode* from, const FillTrapNode* oldTo, FillTrapNode* newTo) {
  if (from->lowNeighbour == oldTo) {
    from->lowNeighbour = newTo;
  } else if (from->highNeighbour == oldTo) {
    from->highNeighbour = newTo;
  }
}

// Two stubs of a band, the first the lower.
struct StubPair {
  std::uint32_t first;
  std::uint32_t second;
};

// Where two upward edges of a band cross: both get a node at (x, y).
struct CrossingEvent {
  std::uint32_t stub;
  std::uint32_t other;  // the stub it crosses
  double y;
  double x;
};

// The block being written while it has room, without leaving this file; else FillChainReserve's.
template <class Block>
Block* Reserve(FillTrap::BlockChain* chain, FillBlockKind kind, FillTrap::Slabs* slabs) {
  FillBlockHeader* current = chain->current;
  if (current && current->count < Block::kCapacity) return static_cast<Block*>(current);
  return static_cast<Block*>(FillChainReserve(chain, kind, slabs));
}

template <class T>
T* TakeArray(std::size_t count) {
  return static_cast<T*>(FillAllocateArray(count, sizeof(T)));
}

}  // namespace

// One upward edge of a row: from a node of the row to its neighbour in the next row. A minimum has two.
struct FillTrap::Stub {
  FillTrapNode* node;
  FillTrapNode* top;
  bool equalTops;  // a minimum whose two upper neighbours share x
};

// An edge that passes a row, while the row's nodes are made: its node's x, the node below it on the edge, its top,
// and the edge's number (lower vertex, side).
struct FillTrap::Arrival {
  double x;
  FillTrapNode* before;
  FillTrapNode* top;
  std::uint32_t bottom;
  std::uint32_t side;
};

// Working arrays of the sweep: the vertex rows, which the rows made are copied from, the edges passing the row
// being made, and the stubs of a band; the crossing arrays are made at the first band that needs them. The
// per-stub arrays grow with the widest band.
struct FillTrap::Scratch {
  FillTrapRow* vertexRows = nullptr;
  std::uint32_t vertexRowCount = 0;
  Arrival* arrivals = nullptr;
  std::uint32_t capacity = 0;  // stubs of any band so far fit
  Stub* stubs = nullptr;
  FillTrapNode** previous = nullptr;  // per stub: the last node made on its edge
  FillTrapNode** rowNodes = nullptr;  // the nodes of the crossing row being made
  std::uint32_t* cursor = nullptr;    // per stub: its next event
  std::uint32_t* group = nullptr;     // per stub: a stub it crosses on the row being made, toward the group's first
  CrossingEvent* events = nullptr;
  std::size_t eventCapacity = 0;
  double* heights = nullptr;
  std::uint32_t* order = nullptr;   // per stub, while the pairs that may cross are found
  std::uint32_t* merged = nullptr;
  StubPair* pairs = nullptr;
  std::size_t pairCapacity = 0;

  Scratch() = default;
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    FillFree(vertexRows);
    FillFree(arrivals);
    FreeStubArrays();
    FillFree(events);
    FillFree(heights);
    FillFree(pairs);
  }
  // Room for `need` stubs; false without memory.
  bool Reserve(std::uint64_t need) {
    if (need <= capacity) return true;
    if (need > UINT32_MAX) return false;
    FreeStubArrays();
    const std::uint64_t grown = std::min<std::uint64_t>(std::max<std::uint64_t>(need, 2ull * capacity), UINT32_MAX);
    stubs = TakeArray<Stub>(static_cast<std::size_t>(grown));
    capacity = stubs ? static_cast<std::uint32_t>(grown) : 0;
    return stubs != nullptr;
  }

 private:
  void FreeStubArrays() {
    FillFree(stubs);
    FillFree(previous);
    FillFree(rowNodes);
    FillFree(cursor);
    FillFree(group);
    FillFree(order);
    FillFree(merged);
    stubs = nullptr;
    previous = rowNodes = nullptr;
    cursor = group = order = merged = nullptr;
  }
};

int FillTrapCompareYX(const void* a, const void* b) {
  const auto* p = static_cast<const FillTrapNode*>(a);
  const auto* q = static_cast<const FillTrapNode*>(b);
  double d = p->y - q->y;
  if (d == 0) d = p->x - q->x;
  return d > 0 ? 1 : (d < 0 ? -1 : 0);
}

FillTrap::~FillTrap() {
  FillChainsRelease(&m_trapezoids, &m_nodes, &m_segments, &m_slabs);
  FillFree(m_vertices);
  FillFree(m_rows);
  FillFree(m_trapezoidBlockTable);
  FillFree(m_rowPlaces);
  FillFree(m_unite);
}

void FillTrap::Reset() {
  FillFree(m_vertices);
  FillFree(m_rows);
  FillFree(m_trapezoidBlockTable);
  FillFree(m_rowPlaces);
  m_vertices = nullptr;
  m_rows = nullptr;
  m_trapezoidBlockTable = nullptr;
  m_rowPlaces = nullptr;
  m_vertexCount = m_rowCapacity = m_rowCount = m_crossingCount = m_trapezoidCount = 0;
  FillChainEmpty(&m_trapezoids);
  FillChainEmpty(&m_nodes);
  ClearSegments();
}

FillResult FillTrap::Build(const GPosition* points, std::uint32_t count) {
  Reset();
  if (count < 1) return kFillFail;
  if (!points || !PointsUsable(points, count)) return FillReport(kFillInvalidArg, kFillTrapSource, __LINE__);
  FillResult hr = MakeVertexTable(points, count);
  if (hr == kFillOk) {
    SortAndLinkVertices();
    Scratch scratch;
    hr = MakeRows(scratch);
    if (hr == kFillOk) {
      hr = Sweep(scratch);
      if (hr != kFillOk) FillReport(hr, kFillTrapSource, __LINE__);
    }
  }
  if (hr == kFillOk) {
    hr = NumberTrapezoidBlocks();
    if (hr != kFillOk) FillReport(hr, kFillTrapSource, __LINE__);
  }
  // A decomposition that failed half way is no decomposition: rows and trapezoids left from it would hand a
  // later clipping pieces of a boundary that was never whole.
  if (hr != kFillOk) Reset();
  return hr;
}

FillResult FillTrap::BuildRows(const GPosition* points, std::uint32_t count, FillTrapRowsInfo* info) {
  if (!info) return FillReport(kFillInvalidArg, kFillTrapSource, __LINE__);
  const FillResult hr = Build(points, count);
  if (hr != kFillOk) return hr == kFillFail ? hr : FillReport(hr, kFillTrapSource, __LINE__);
  info->trapezoidCount = m_trapezoidCount;
  info->lastRowY = m_rows[m_rowCount - 1].y;
  info->rows = m_rows;
  return kFillOk;
}

// Loops one after the other; a separator is consumed with its loop. Repeated points are skipped, and a loop's
// closing point is dropped.
FillResult FillTrap::MakeVertexTable(const GPosition* points, std::uint32_t count) {
  m_vertices = TakeArray<FillTrapNode>(count);
  if (!m_vertices) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  std::uint32_t kept = 0;
  std::uint32_t at = 0;
  while (at < count) {
    const std::uint32_t loopStart = at;
    const std::uint32_t firstVertex = kept;
    std::uint32_t end = at;
    while (end < count && points[end].x != kFillLoopSeparatorX) ++end;
    for (std::uint32_t i = loopStart; i < end; ++i) {
      const GPosition& p = points[i];
      if (kept > firstVertex && SamePoint(p.x, p.y, m_vertices[kept - 1].x, m_vertices[kept - 1].y)) continue;
      FillTrapNode& v = m_vertices[kept];
      std::memset(&v, 0, sizeof v);
      v.index = kept;
      v.prevIndex = kept - 1;
      v.nextIndex = kept + 1;
      v.x = p.x;
      v.y = p.y;
      ++kept;
    }
    if (kept > firstVertex &&
        SamePoint(points[loopStart].x, points[loopStart].y, points[end - 1].x, points[end - 1].y)) {
      --kept;
    }
    if (kept > firstVertex) {
      m_vertices[firstVertex].prevIndex = kept - 1;
      m_vertices[kept - 1].nextIndex = firstVertex;
    }
    at = end + 1;
  }
  m_vertexCount = kept;
  return kept == 0 ? kFillFail : kFillOk;
}

// Ascending y, then x; equal points keep their input order, so that both platforms build the same structure.
void FillTrap::SortAndLinkVertices() {
  std::sort(m_vertices, m_vertices + m_vertexCount, [](const FillTrapNode& a, const FillTrapNode& b) {
    const int order = FillTrapCompareYX(&a, &b);
    return order != 0 ? order < 0 : a.index < b.index;
  });
  for (std::uint32_t k = 0; k < m_vertexCount; ++k) m_vertices[m_vertices[k].index].scratch = k;
  for (std::uint32_t k = 0; k < m_vertexCount; ++k) {
    FillTrapNode& v = m_vertices[k];
    v.prevIndex = m_vertices[v.prevIndex].scratch;
    v.nextIndex = m_vertices[v.nextIndex].scratch;
  }
  for (std::uint32_t k = 0; k < m_vertexCount; ++k) {
    FillTrapNode& v = m_vertices[k];
    FillTrapNode* prev = &m_vertices[v.prevIndex];
    FillTrapNode* next = &m_vertices[v.nextIndex];
    const bool prevIsLow = prev->y < next->y || (prev->y == next->y && prev->x <= next->x);
    v.lowNeighbour = prevIsLow ? prev : next;
    v.highNeighbour = prevIsLow ? next : prev;
  }
}

// The vertex rows, in a table of their own: the sweep copies each to the decomposition's rows when it is whole,
// after the rows made where edges cross in the band below it.
FillResult FillTrap::MakeRows(Scratch& scratch) {
  FillTrapRow* const rows = TakeArray<FillTrapRow>(m_vertexCount);
  if (!rows) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  scratch.vertexRows = rows;
  FillTrapRow* row = rows;
  *row = {1, m_vertices[0].y, &m_vertices[0], &m_vertices[0], nullptr, nullptr};
  for (std::uint32_t k = 1; k < m_vertexCount; ++k) {
    FillTrapNode* v = &m_vertices[k];
    if (v->y != row->y) {
      ++row;
      *row = {1, v->y, v, v, nullptr, nullptr};
    } else {
      v->rowPrev = row->last;
      row->last->rowNext = v;
      row->last = v;
      ++row->count;
    }
  }
  scratch.vertexRowCount = static_cast<std::uint32_t>(row - rows) + 1;
  return kFillOk;
}

FillResult FillTrap::NewNode(FillTrapNode** out) {
  if (m_crossingCount >= kMaxCrossingNodes) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  auto* block = Reserve<FillNodeBlock>(&m_nodes, FillBlockKind::kNode, &m_slabs);
  if (!block) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  FillTrapNode* node = &block->records[block->count++];
  std::memset(node, 0, sizeof *node);
  ++m_crossingCount;
  *out = node;
  return kFillOk;
}

// The edges that pass the vertex row at height y strictly (none pass the last), found from the vertex row below
// it, left to right; clears the edge notes there.
std::uint32_t FillTrap::EdgesPassing(const FillTrapRow& rowBelow, double y, Arrival* arrivals) {
  const FillTrapNode* const vertexEnd = m_vertices + m_vertexCount;
  std::uint32_t n = 0;
  for (FillTrapNode* below = rowBelow.first; below; below = below->rowNext) {
    if (below < m_vertices || below >= vertexEnd) {
      const std::uint32_t bottom = below->index, side = below->prevIndex;
      below->index = below->prevIndex = 0;
      FillTrapNode* top = below->highNeighbour;  // a crossing node's high neighbour is the next node up its edge
      if (top->y > y) arrivals[n++] = {0, below, top, bottom, side};
      continue;
    }
    // A vertex's neighbours above its row are vertices still: no edge of its own has been split yet.
    const auto bottom = static_cast<std::uint32_t>(below - m_vertices);
    const double rowY = below->y;
    FillTrapNode* low = below->lowNeighbour;
    FillTrapNode* high = below->highNeighbour;
    const bool lowPasses = low->y > rowY && low->y > y;
    const bool highPasses = high->y > rowY && high->y > y;
    // The one whose top lies further left first, as their nodes most likely will.
    if (lowPasses && highPasses && high->x < low->x) {
      arrivals[n++] = {0, below, high, bottom, 1};
      arrivals[n++] = {0, below, low, bottom, 0};
    } else {
      if (lowPasses) arrivals[n++] = {0, below, low, bottom, 0};
      if (highPasses) arrivals[n++] = {0, below, high, bottom, 1};
    }
  }
  return n;
}

// Makes the nodes of a vertex row for its passing edges and puts them among the row's vertices in ascending x;
// among equal x the nodes of later edges first, then the vertices in their order.
FillResult FillTrap::PlaceCrossings(FillTrapRow& row, Arrival* arrivals, std::uint32_t n) {
  const double y = row.y;
  for (std::uint32_t i = 0; i < n; ++i) {
    Arrival& a = arrivals[i];
    a.x = EdgeX(&m_vertices[a.bottom], a.top, y);
  }
  // The edges keep the order they had on the row below unless they cross in between: nearly in order.
  const auto before = [](const Arrival& p, const Arrival& q) {
    return p.x < q.x || (p.x == q.x && (p.bottom != q.bottom ? p.bottom > q.bottom : p.side > q.side));
  };
  for (std::uint32_t i = 1; i < n; ++i) {
    if (!before(arrivals[i], arrivals[i - 1])) continue;
    const Arrival moving = arrivals[i];
    std::uint32_t j = i;
    for (; j > 0 && before(moving, arrivals[j - 1]); --j) arrivals[j] = arrivals[j - 1];
    arrivals[j] = moving;
  }
  FillTrapNode* const vertexEnd = m_vertices + m_vertexCount;
  FillTrapNode* vertex = row.first;  // the row holds its vertices alone so far
  FillTrapNode* previous = nullptr;
  const auto append = [&row, &previous](FillTrapNode* node) {
    node->rowPrev = previous;
    if (previous) {
      previous->rowNext = node;
    } else {
      row.first = node;
    }
    previous = node;
  };
  for (std::uint32_t i = 0; i < n || vertex;) {
    if (i < n && (!vertex || !(vertex->x < arrivals[i].x))) {
      const Arrival& a = arrivals[i++];
      FillTrapNode* node = nullptr;
      const FillResult hr = NewNode(&node);
      if (hr != kFillOk) return hr;
      node->index = a.bottom;
      node->prevIndex = a.side;
      node->x = a.x;
      node->y = y;
      node->lowNeighbour = a.before;
      node->highNeighbour = a.top;
      // The link of the node below that led up this edge: a vertex's by its side, a crossing node's high one.
      if (a.before >= m_vertices && a.before < vertexEnd && a.side == 0) {
        a.before->lowNeighbour = node;
      } else {
        a.before->highNeighbour = node;
      }
      // The top's link down this edge. Only a loop of two vertices has both links of its top on one vertex:
      // its low edge takes the low link.
      FillTrapNode* top = a.top;
      if (top->lowNeighbour == a.before && top->highNeighbour == a.before) {
        (a.side == 0 ? top->lowNeighbour : top->highNeighbour) = node;
      } else {
        Redirect(top, a.before, node);
      }
      append(node);
    } else {
      FillTrapNode* next = vertex->rowNext;
      append(vertex);
      vertex = next;
    }
  }
  previous->rowNext = nullptr;
  row.last = previous;
  row.count += n;
  return kFillOk;
}

// The upward edges of a row from left to right. Distinct nodes at one point (loops that touch or cross there)
// give their edges in the order of the edges' upper ends, so that the pairing stays even-odd.
std::uint32_t FillTrap::CollectStubs(const FillTrapRow& row, Stub* stubs) {
  const double y = row.y;
  std::uint32_t n = 0;
  for (FillTrapNode* node = row.first; node; node = node->rowNext) {
    FillTrapNode* low = node->lowNeighbour;
    FillTrapNode* high = node->highNeighbour;
    const bool lowRises = low->y > y;
    const bool highRises = high->y > y;
    if (lowRises && highRises) {
      // A minimum: its left edge, then its right one; with equal x the high neighbour is on the left.
      const bool equal = low->x == high->x;
      const bool lowLeft = low->x < high->x;
      stubs[n++] = {node, lowLeft ? low : high, equal};
      stubs[n++] = {node, lowLeft ? high : low, equal};
    } else if (lowRises) {
      stubs[n++] = {node, low, false};
    } else if (highRises) {
      stubs[n++] = {node, high, false};
    }
  }
  // Where three or more edges cross at one point, each pair's crossing is computed on its own, and the nodes
  // made there may differ by rounding: their edges are still ordered by their upper ends, as at a point shared
  // exactly, or the pairing would nest trapezoids over one another.
  const auto atOnePoint = [](const Stub& a, const Stub& b) {
    if (a.node->x == b.node->x) return true;
    const double reach = std::fabs(a.node->x) + std::fabs(a.top->x) + std::fabs(b.node->x) + std::fabs(b.top->x);
    return std::fabs(a.node->x - b.node->x) <= 1e-12 * (1.0 + reach);
  };
  for (std::uint32_t i = 1; i < n; ++i) {
    for (std::uint32_t j = i; j > 0 && stubs[j - 1].top->x > stubs[j].top->x && atOnePoint(stubs[j - 1], stubs[j]);
         --j) {
      std::swap(stubs[j - 1], stubs[j]);
    }
  }
  return n;
}

// Room for `count` more rows at the end of the table, zeroed.
FillResult FillTrap::AppendRows(std::uint32_t count) {
  const std::uint64_t need = static_cast<std::uint64_t>(m_rowCount) + count;
  if (need > UINT32_MAX) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  if (need > m_rowCapacity) {
    const std::uint64_t capacity = std::min<std::uint64_t>(std::max<std::uint64_t>(need, 2ull * m_rowCapacity),
                                                           UINT32_MAX);
    FillTrapRow* rows = TakeArray<FillTrapRow>(static_cast<std::size_t>(capacity));
    RowPlace* places = TakeArray<RowPlace>(static_cast<std::size_t>(capacity));
    if (!rows || !places) {
      FillFree(rows);
      FillFree(places);
      return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
    }
    if (m_rowCount) {
      std::memcpy(rows, m_rows, sizeof(FillTrapRow) * m_rowCount);
      std::memcpy(places, m_rowPlaces, sizeof(RowPlace) * m_rowCount);
    }
    FillFree(m_rows);
    FillFree(m_rowPlaces);
    m_rows = rows;
    m_rowPlaces = places;
    m_rowCapacity = static_cast<std::uint32_t>(capacity);
  }
  std::memset(&m_rows[m_rowCount], 0, sizeof(FillTrapRow) * count);
  std::memset(&m_rowPlaces[m_rowCount], 0, sizeof(RowPlace) * count);
  m_rowCount += count;
  return kFillOk;
}

// The pairs of stubs whose nodes and whose tops lie in opposite orders, strictly: the only edges of the band that
// can cross in it. The stubs are taken by node (then top) and merged on their tops, so that a pair costs one step
// where it is found and the band's other pairs cost nothing; then the pairs are put in the order in which the
// crossings are made (by first stub, then second).
FillResult FillTrap::OpposedPairs(const Stub* stubs, std::uint32_t n, Scratch& scratch, std::size_t* count) {
  *count = 0;
  if (!scratch.order) {
    scratch.order = TakeArray<std::uint32_t>(scratch.capacity);
    scratch.merged = TakeArray<std::uint32_t>(scratch.capacity);
    if (!scratch.order || !scratch.merged) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  }
  std::uint32_t* order = scratch.order;
  std::uint32_t* merged = scratch.merged;
  for (std::uint32_t k = 0; k < n; ++k) order[k] = k;
  std::sort(order, order + n, [stubs](std::uint32_t a, std::uint32_t b) {
    const double na = stubs[a].node->x, nb = stubs[b].node->x;
    if (na != nb) return na < nb;
    const double ta = stubs[a].top->x, tb = stubs[b].top->x;
    return ta != tb ? ta < tb : a < b;
  });
  // In this order a later stub with a lower top has a node strictly right of the earlier one's: the pairs are
  // the strict inversions of the tops.
  for (std::uint32_t width = 1; width < n; width *= 2) {
    for (std::uint32_t lo = 0; lo < n; lo += 2 * width) {
      const std::uint32_t mid = std::min(n, lo + width), hi = std::min<std::uint64_t>(n, lo + 2ull * width);
      std::uint32_t i = lo, j = mid, out = lo;
      while (i < mid && j < hi) {
        if (stubs[order[i]].top->x <= stubs[order[j]].top->x) {
          merged[out++] = order[i++];
          continue;
        }
        if (*count + (mid - i) > scratch.pairCapacity) {
          const std::size_t capacity = std::max<std::size_t>({64, 2 * scratch.pairCapacity, *count + (mid - i)});
          StubPair* pairs = TakeArray<StubPair>(capacity);
          if (!pairs) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
          if (*count) std::memcpy(pairs, scratch.pairs, sizeof(StubPair) * *count);
          FillFree(scratch.pairs);
          scratch.pairs = pairs;
          scratch.pairCapacity = capacity;
        }
        for (std::uint32_t k = i; k < mid; ++k) {
          scratch.pairs[(*count)++] = {std::min(order[k], order[j]), std::max(order[k], order[j])};
        }
        merged[out++] = order[j++];
      }
      while (i < mid) merged[out++] = order[i++];
      while (j < hi) merged[out++] = order[j++];
    }
    std::swap(order, merged);
  }
  std::sort(scratch.pairs, scratch.pairs + *count, [](const StubPair& a, const StubPair& b) {
    return a.first != b.first ? a.first < b.first : a.second < b.second;
  });
  return kFillOk;
}

// Edges of the band from `row`, the last row made, up to the next vertex row at height y1 that cross: a row at
// each crossing's y (strictly inside the band), appended after `row`, where every edge of the band gets a node,
// the two crossing ones at the same point.
FillResult FillTrap::SplitCrossings(std::uint32_t row, double y1, const Stub* stubs, std::uint32_t n,
                                    Scratch& scratch, std::uint32_t* added) {
  *added = 0;
  if (!scratch.previous) {
    scratch.previous = TakeArray<FillTrapNode*>(scratch.capacity);
    scratch.rowNodes = TakeArray<FillTrapNode*>(scratch.capacity);
    scratch.cursor = TakeArray<std::uint32_t>(scratch.capacity);
    scratch.group = TakeArray<std::uint32_t>(scratch.capacity);
    if (!scratch.previous || !scratch.rowNodes || !scratch.cursor || !scratch.group) {
      return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
    }
  }
  std::size_t pairCount = 0;
  FillResult hr = OpposedPairs(stubs, n, scratch, &pairCount);
  if (hr != kFillOk) return hr;
  const double y0 = m_rows[row].y;
  std::size_t eventCount = 0;
  for (std::size_t p = 0; p < pairCount; ++p) {
    const std::uint32_t i = scratch.pairs[p].first, j = scratch.pairs[p].second;
    {
      const double below = stubs[j].node->x - stubs[i].node->x;
      const double above = stubs[i].top->x - stubs[j].top->x;
      // A pair whose nodes a far top's reach took as one point, ordered by their tops, may still lie apart: the
      // edges then cross in the band, and collected again under the nearer tops of a split band they would come
      // back in their nodes' order, twisted.
      if (!(above > 0 && below > 0) && !(above < 0 && below < 0)) continue;
      double y = y0 + below / (below + above) * (y1 - y0);
      // A crossing that rounds onto the band's bottom or top row still twists the band (an edge all but level
      // passes another within an ulp of its end): it is made one ulp inside. A band one ulp high has no room.
      if (!(y > y0)) {
        y = std::nextafter(y0, y1);
      } else if (!(y < y1)) {
        y = std::nextafter(y1, y0);
      }
      if (!(y > y0 && y < y1)) continue;
      const double xi = EdgeX(stubs[i].node, stubs[i].top, y);
      const double xj = EdgeX(stubs[j].node, stubs[j].top, y);
      const double low = std::max(std::min(stubs[i].node->x, stubs[i].top->x),
                                  std::min(stubs[j].node->x, stubs[j].top->x));
      const double high = std::min(std::max(stubs[i].node->x, stubs[i].top->x),
                                   std::max(stubs[j].node->x, stubs[j].top->x));
      double x = 0.5 * (xi + xj);
      if (low <= high) x = x < low ? low : (x > high ? high : x);
      if (eventCount + 2 > scratch.eventCapacity) {
        const std::size_t capacity = std::max<std::size_t>(64, 2 * scratch.eventCapacity);
        CrossingEvent* events = TakeArray<CrossingEvent>(capacity);
        if (!events) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
        if (eventCount) std::memcpy(events, scratch.events, sizeof(CrossingEvent) * eventCount);
        FillFree(scratch.events);
        FillFree(scratch.heights);
        scratch.events = events;
        scratch.heights = nullptr;
        scratch.eventCapacity = capacity;
      }
      scratch.events[eventCount++] = {i, j, y, x};
      scratch.events[eventCount++] = {j, i, y, x};
    }
  }
  if (eventCount == 0) return kFillOk;
  if (!scratch.heights) {
    scratch.heights = TakeArray<double>(scratch.eventCapacity);
    if (!scratch.heights) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  }
  CrossingEvent* events = scratch.events;
  std::sort(events, events + eventCount, [](const CrossingEvent& a, const CrossingEvent& b) {
    return a.stub != b.stub ? a.stub < b.stub : a.y < b.y;
  });
  double* heights = scratch.heights;
  for (std::size_t e = 0; e < eventCount; ++e) heights[e] = events[e].y;
  std::sort(heights, heights + eventCount);
  const auto rows = static_cast<std::uint32_t>(std::unique(heights, heights + eventCount) - heights);

  hr = AppendRows(rows);
  if (hr != kFillOk) return hr;
  std::size_t next = 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    scratch.previous[i] = stubs[i].node;
    scratch.cursor[i] = static_cast<std::uint32_t>(next);
    while (next < eventCount && events[next].stub == i) ++next;
  }
  std::uint32_t* group = scratch.group;
  const auto first = [group](std::uint32_t i) {
    while (group[i] != i) i = group[i] = group[group[i]];
    return i;
  };
  for (std::uint32_t q = 0; q < rows; ++q) {
    const double y = heights[q];
    FillTrapRow& crossingRow = m_rows[row + 1 + q];
    crossingRow.y = y;
    // Edges that cross one another at this height meet at one point. Where one edge crosses several here (an
    // edge all but level passing two that close in on one vertex), each pair's x is computed on its own and
    // may differ by more than rounding; nodes at the pairs' own x would twist the band below, so every edge of
    // such a group takes the x of its leftmost edge's crossing.
    for (std::uint32_t i = 0; i < n; ++i) group[i] = i;
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint32_t& at = scratch.cursor[i];
      while (at < eventCount && events[at].stub == i && events[at].y < y) ++at;
      for (std::size_t e = at; e < eventCount && events[e].stub == i && events[e].y == y; ++e) {
        const std::uint32_t a = first(i), b = first(events[e].other);
        group[std::max(a, b)] = std::min(a, b);
      }
    }
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t at = scratch.cursor[i];
      const bool crossing = at < eventCount && events[at].stub == i && events[at].y == y;
      FillTrapNode* node = nullptr;
      hr = NewNode(&node);
      if (hr != kFillOk) return hr;
      FillTrapNode* before = scratch.previous[i];
      FillTrapNode* top = stubs[i].top;
      node->x = crossing ? events[scratch.cursor[first(i)]].x : EdgeX(stubs[i].node, top, y);
      node->y = y;
      node->lowNeighbour = before;
      node->highNeighbour = top;
      Redirect(before, top, node);
      Redirect(top, before, node);
      scratch.previous[i] = node;
      scratch.rowNodes[i] = node;
    }
    FillTrapNode** nodes = scratch.rowNodes;
    std::sort(nodes, nodes + n, [](const FillTrapNode* a, const FillTrapNode* b) {
      return a->x != b->x ? a->x < b->x : a->highNeighbour->x < b->highNeighbour->x;
    });
    for (std::uint32_t i = 0; i < n; ++i) {
      nodes[i]->rowPrev = i > 0 ? nodes[i - 1] : nullptr;
      nodes[i]->rowNext = i + 1 < n ? nodes[i + 1] : nullptr;
    }
    crossingRow.count = n;
    crossingRow.first = nodes[0];
    crossingRow.last = nodes[n - 1];
  }
  *added = rows;
  return kFillOk;
}

FillResult FillTrap::AddTrapezoid(FillTrapRow& r, double yTop, FillTrapNode* bottomLeft, FillTrapNode* bottomRight,
                                  FillTrapNode* topRight, FillTrapNode* topLeft) {
  auto* block = Reserve<FillTrapezoidBlock>(&m_trapezoids, FillBlockKind::kTrapezoid, &m_slabs);
  if (!block) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  FillTrapTrapezoid* t = &block->records[block->count++];
  t->corners[FillTrapTrapezoid::kBottomLeft] = bottomLeft;
  t->corners[FillTrapTrapezoid::kBottomRight] = bottomRight;
  t->corners[FillTrapTrapezoid::kTopRight] = topRight;
  t->corners[FillTrapTrapezoid::kTopLeft] = topLeft;
  t->yBottom = r.y;
  t->yTop = yTop;
  t->xMin = std::min(std::min(bottomLeft->x, bottomRight->x), std::min(topRight->x, topLeft->x));
  t->xMax = std::max(std::max(bottomLeft->x, bottomRight->x), std::max(topRight->x, topLeft->x));
  t->next = nullptr;
  if (r.lastTrapezoid) {
    r.lastTrapezoid->next = t;
  } else {
    r.firstTrapezoid = t;
  }
  r.lastTrapezoid = t;
  ++m_trapezoidCount;
  return kFillOk;
}

// Both sweeps of the decomposition, row after row, so that a row's nodes are still in cache when its band is cut.
// First: every edge gets a node on each vertex row strictly between its ends (the last row apart). The nodes are
// made row by row rather than edge by edge, so that a row's nodes lie side by side in their blocks in the row's
// own order, and the later walks along a row read neighbouring records rather than one record from each of the
// edges' stretches. Each edge that passes a row has its last node so far (its lower vertex, or the node made for
// it on the row below) in the vertex row just below, which is in order already; the structure is the one the
// edges split one after another would give: the same nodes and links, and among nodes of equal x in a row those
// of later edges first (edges numbered by their lower vertex, its low edge before its high one), then the
// vertices. Until its edge's node in the next row is made, a node holds its edge's lower vertex in `index` and
// its side there (0 low, 1 high) in `prevIndex`.
// Second, once the vertex row above a band is whole: the band's crossings get rows of their own, appended to the
// decomposition's rows as they are made (never inserted among rows still to be read), and each of its bands is
// cut into trapezoids. A band's cut touches the links of its own two rows only, which the first sweep no longer
// reads but for the next row's upward edges, so both orders give the same structure.
FillResult FillTrap::Sweep(Scratch& scratch) {
  if (!FillChainReserve(&m_trapezoids, FillBlockKind::kTrapezoid, &m_slabs)) {
    return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  }
  FillTrapRow* const vertexRows = scratch.vertexRows;
  const std::uint32_t vertexRowCount = scratch.vertexRowCount;
  // An edge passes a row at one node at most, and there are as many edges as vertices.
  scratch.arrivals = TakeArray<Arrival>(m_vertexCount);
  // The vertex rows at least; more where edges cross.
  m_rows = TakeArray<FillTrapRow>(vertexRowCount);
  m_rowPlaces = TakeArray<RowPlace>(vertexRowCount);
  if (!scratch.arrivals || !m_rows || !m_rowPlaces) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  m_rowCapacity = vertexRowCount;
  FillResult hr = AppendRows(1);
  if (hr != kFillOk) return hr;
  m_rows[0] = vertexRows[0];
  for (std::uint32_t r = 1; r < vertexRowCount; ++r) {
    FillTrapRow& row = vertexRows[r];
    const std::uint32_t n = EdgesPassing(vertexRows[r - 1], row.y, scratch.arrivals);
    if (n > 0) {
      hr = PlaceCrossings(row, scratch.arrivals, n);
      if (hr != kFillOk) return hr;
    }
    hr = CutBand(row.y, scratch);
    if (hr == kFillOk) hr = AppendRows(1);
    if (hr != kFillOk) return hr;
    m_rows[m_rowCount - 1] = row;
  }
  m_rowPlaces[m_rowCount - 1] = {m_trapezoidCount, 0, true};
  return kFillOk;
}

// The band from the last row made up to the next vertex row, at height yTop: split where its edges cross, then
// each band cut into trapezoids by pairing its upward edges from left to right; a pair of one minimum's two
// edges gives a trapezoid whose bottom is that point. A row ends when its edges run out.
FillResult FillTrap::CutBand(double yTop, Scratch& scratch) {
  const std::uint32_t bottom = m_rowCount - 1;
  // A minimum has two upward edges; a row made at crossings has one node per edge of the band it splits.
  if (!scratch.Reserve(2ull * m_rows[bottom].count)) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  std::uint32_t n = CollectStubs(m_rows[bottom], scratch.stubs);
  double highestTop = -HUGE_VAL;
  bool crossed = false;
  for (std::uint32_t i = 0; i < n && !crossed; ++i) {
    crossed = scratch.stubs[i].top->x < highestTop;
    highestTop = std::max(highestTop, scratch.stubs[i].top->x);
  }
  if (crossed) {
    std::uint32_t added = 0;
    const FillResult hr = SplitCrossings(bottom, yTop, scratch.stubs, n, scratch, &added);
    if (hr != kFillOk) return hr;
    if (added) n = CollectStubs(m_rows[bottom], scratch.stubs);
  }
  // The bands made by splitting at crossings are not checked again.
  for (std::uint32_t r = bottom; r < m_rowCount; ++r) {
    if (r > bottom) n = CollectStubs(m_rows[r], scratch.stubs);
    const double top = r + 1 < m_rowCount ? m_rows[r + 1].y : yTop;
    RowPlace& place = m_rowPlaces[r];
    place = {m_trapezoidCount, 0, true};
    for (std::uint32_t i = 0; i + 1 < n; i += 2) {
      const Stub& left = scratch.stubs[i];
      const Stub& right = scratch.stubs[i + 1];
      FillTrapNode* topLeft = left.top;
      FillTrapNode* topRight = right.top;
      if (left.node != right.node) {
        // A minimum met from one side only, with both neighbours straight above each other: its high one.
        if (left.equalTops) topLeft = left.node->highNeighbour;
        if (right.equalTops) topRight = right.node->highNeighbour;
      }
      const FillTrapTrapezoid* previous = m_rows[r].lastTrapezoid;
      const FillResult hr = AddTrapezoid(m_rows[r], top, left.node, right.node, topRight, topLeft);
      if (hr != kFillOk) return hr;
      const FillTrapTrapezoid* t = m_rows[r].lastTrapezoid;
      if (previous && (t->xMin < previous->xMin || t->xMax < previous->xMax)) place.ordered = false;
    }
    place.count = m_trapezoidCount - place.first;
  }
  return kFillOk;
}

// The blocks of the trapezoid chain by number: the n-th trapezoid made is record n % 512 of block n / 512, as a
// block is filled before the next is taken, and a row's trapezoids are made one after another.
FillResult FillTrap::NumberTrapezoidBlocks() {
  constexpr std::uint32_t kPerBlock = FillTrapezoidBlock::kCapacity;
  const std::uint32_t blocks = m_trapezoidCount / kPerBlock + (m_trapezoidCount % kPerBlock != 0);
  m_trapezoidBlockTable = TakeArray<FillTrapezoidBlock*>(blocks ? blocks : 1);
  if (!m_trapezoidBlockTable) return FillReport(kFillOutOfMemory, kFillTrapSource, __LINE__);
  FillBlockHeader* block = m_trapezoids.first;
  for (std::uint32_t b = 0; b < blocks; ++b, block = block->next) {
    m_trapezoidBlockTable[b] = static_cast<FillTrapezoidBlock*>(block);
  }
  return kFillOk;
}

FillTrap::RowTrapezoids FillTrap::TrapezoidsOf(const FillTrapRow* row) const {
  if (!m_rowPlaces || !row || row < m_rows || row >= m_rows + m_rowCount) return RowTrapezoids(nullptr, 0, 0, false);
  const std::ptrdiff_t r = row - m_rows;
  const RowPlace& place = m_rowPlaces[r];
  return RowTrapezoids(m_trapezoidBlockTable, place.first, place.count, place.ordered);
}
