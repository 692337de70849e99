// The symbol lattice of one fill slot walked over a region box. The walk works in the lattice's own axes: there a
// cell's footprint is an axis-parallel rectangle, so each row's cells that can meet the (turned) region box form
// one run of columns, and an exact separating-axis test drops those that only come near it.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry/fill_internal.h"

namespace {

// Beyond this a lattice index no longer names one cell.
constexpr double kMostIndex = 9007199254740992.0;  // 2^53
constexpr double kMostCells = 2147483647.0;        // 2^31 - 1

double Snapped(double value) {
  for (double target : {0.0, 1.0, -1.0}) {
    if (std::fabs(value - target) <= kFillAngleEpsilon) return target;
  }
  return value;
}

bool Finite(const GBox2d& box) {
  return std::isfinite(box.low.x) && std::isfinite(box.low.y) && std::isfinite(box.high.x) && std::isfinite(box.high.y);
}

bool Overlap(double lo, double hi, double otherLo, double otherHi, double slack) {
  return lo <= otherHi + slack && otherLo <= hi + slack;
}

}  // namespace

TileGen::~TileGen() {
  FreePieces(&m_open);
  FreePieces(&m_closed);
  while (m_blocks) {
    ClipPolygonBlock* next = m_blocks->next;
    FillFree(m_blocks);
    m_blocks = next;
  }
}

FillResult TileGen::SetSlot(const TileGenLattice& lattice, const GBox2d& region) {
  const double values[] = {lattice.angle,       lattice.spacingX, lattice.spacingY, lattice.rowShift,
                           lattice.columnShift, lattice.originX,  lattice.originY};
  for (double v : values) {
    if (!std::isfinite(v)) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  }
  if (!Finite(region) || std::fabs(lattice.spacingX) < kFillAngleEpsilon ||
      std::fabs(lattice.spacingY) < kFillAngleEpsilon) {
    return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  }
  m_lattice = lattice;
  double& a = m_lattice.angle;
  if (a >= kFillTwoPi) a = std::fmod(a, kFillTwoPi);
  if (a < 0) {
    a = std::fmod(a, kFillTwoPi) + kFillTwoPi;
    if (a >= kFillTwoPi) a = 0.0;  // a tiny negative angle rounds up to 2pi
  }
  m_quadrant = std::min(3u, static_cast<std::uint32_t>(a / kFillHalfPi));
  m_region = region;
  m_rowShifted = std::fabs(lattice.rowShift) >= kFillAngleEpsilon;
  m_columnShifted = std::fabs(lattice.columnShift) >= kFillAngleEpsilon;
  m_walking = false;
  return kFillOk;
}

void TileGen::World(double u, double v, double* x, double* y) const {
  *x = m_lattice.originX + u * m_cos - v * m_sin;
  *y = m_lattice.originY + u * m_sin + v * m_cos;
}

void TileGen::Lattice(double x, double y, double* u, double* v) const {
  const double px = x - m_lattice.originX, py = y - m_lattice.originY;
  *u = px * m_cos + py * m_sin;
  *v = -px * m_sin + py * m_cos;
}

void TileGen::Classify() {
  const double a = m_lattice.angle;
  m_cos = Snapped(std::cos(kFillTwoPi - a));
  m_sin = Snapped(std::sin(kFillTwoPi - a));
  m_mode = m_sin == 0.0 ? kHorizontal : m_cos == 0.0 ? kVertical : kGeneral;
  m_slope = m_mode == kGeneral ? m_sin / m_cos : 0.0;
  m_spacingX = std::fabs(m_lattice.spacingX);
  m_spacingY = std::fabs(m_lattice.spacingY);

  // The footprint: the cell's rectangle and the symbol's box, taken into the lattice's axes. The symbol is not
  // turned with the lattice, so its box is turned back before the two are joined.
  m_u0 = std::min(0.0, m_lattice.spacingX);
  m_u1 = std::max(0.0, m_lattice.spacingX);
  m_v0 = std::min(0.0, m_lattice.spacingY);
  m_v1 = std::max(0.0, m_lattice.spacingY);
  const GBox2d& s = m_symbolBox;
  const double corners[4][2] = {{s.low.x, s.low.y}, {s.high.x, s.low.y}, {s.high.x, s.high.y}, {s.low.x, s.high.y}};
  for (const auto& c : corners) {
    const double u = c[0] * m_cos + c[1] * m_sin;
    const double v = -c[0] * m_sin + c[1] * m_cos;
    m_u0 = std::min(m_u0, u);
    m_u1 = std::max(m_u1, u);
    m_v0 = std::min(m_v0, v);
    m_v1 = std::max(m_v1, v);
  }
  const double width = s.high.x - s.low.x, height = s.high.y - s.low.y;
  m_overlapColumns = static_cast<std::uint32_t>(std::min(kMostCells, std::fabs(width / m_lattice.spacingX))) + 1;
  m_overlapRows = static_cast<std::uint32_t>(std::min(kMostCells, std::fabs(height / m_lattice.spacingY))) + 1;

  const double region[4][2] = {{m_region.low.x, m_region.low.y},
                               {m_region.high.x, m_region.low.y},
                               {m_region.high.x, m_region.high.y},
                               {m_region.low.x, m_region.high.y}};
  m_regionU0 = m_regionV0 = HUGE_VAL;
  m_regionU1 = m_regionV1 = -HUGE_VAL;
  for (int k = 0; k < 4; ++k) {
    double* q = m_regionLattice[k];
    Lattice(region[k][0], region[k][1], &q[0], &q[1]);
    m_regionU0 = std::min(m_regionU0, q[0]);
    m_regionU1 = std::max(m_regionU1, q[0]);
    m_regionV0 = std::min(m_regionV0, q[1]);
    m_regionV1 = std::max(m_regionV1, q[1]);
  }
  // The meet test leans toward a cell that only touches the region: an extra cell costs a little drawing,
  // a missing one a hole in the pattern.
  const double reach = std::max({std::fabs(m_region.low.x), std::fabs(m_region.low.y), std::fabs(m_region.high.x),
                                 std::fabs(m_region.high.y), std::fabs(m_lattice.originX), std::fabs(m_lattice.originY),
                                 m_u1 - m_u0, m_v1 - m_v0});
  m_slack = 1e-12 * reach;
  m_walking = false;
}

FillResult TileGen::Start(FillTrap* boundary) {
  m_boundary = boundary;
  m_walking = false;
  if (m_region.low.x > m_region.high.x || m_region.low.y > m_region.high.y) return kFillOk;
  const double columnShift = m_lattice.columnShift;
  const double rowShift = m_lattice.rowShift;
  // Rows whose cells (odd columns moved across the row) can reach the region's range across the rows.
  const double first = std::ceil((m_regionV0 - m_v1 - std::max(0.0, -columnShift)) / m_spacingY) - 1;
  const double last = std::floor((m_regionV1 - m_v0 - std::min(0.0, -columnShift)) / m_spacingY) + 1;
  const double columnFirst = (m_regionU0 - m_u1 - std::max(0.0, rowShift)) / m_spacingX - 1;
  const double columnLast = (m_regionU1 - m_u0 - std::min(0.0, rowShift)) / m_spacingX + 1;
  const double rows = last - first + 1;
  const double columns = columnLast - columnFirst + m_overlapColumns + 1;
  const double cells = rows * columns;
  if (!std::isfinite(cells) || cells > kMostCells || std::fabs(first) > kMostIndex || std::fabs(last) > kMostIndex ||
      std::fabs(columnFirst) > kMostIndex || std::fabs(columnLast) > kMostIndex) {
    return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  }
  m_row = static_cast<std::int64_t>(first) - 1;
  m_rowLast = static_cast<std::int64_t>(last);
  // Even columns sit on their rows and odd ones a column shift across, so each parity reaches the region over
  // its own run of rows. A shift far beyond the region's extent parts the two runs, and no cell of the rows
  // between can meet the region (each bound takes the meet test's slack and a row more): the walk steps over
  // them rather than trying every cell of every row.
  // Held to the walk's rows: outside them a bound means nothing, and a slack far above the spacing would take it
  // past what a row index holds.
  auto rowBound = [&](double row) { return std::clamp(row, first - 1, last + 1); };
  const double evenFirst = rowBound(std::ceil((m_regionV0 - m_v1 - m_slack) / m_spacingY) - 1);
  const double evenLast = rowBound(std::floor((m_regionV1 - m_v0 + m_slack) / m_spacingY) + 1);
  const double oddFirst = rowBound(std::ceil((m_regionV0 - m_v1 + columnShift - m_slack) / m_spacingY) - 1);
  const double oddLast = rowBound(std::floor((m_regionV1 - m_v0 + columnShift + m_slack) / m_spacingY) + 1);
  m_gapFirst = 0;
  m_gapLast = -1;
  if (evenLast + 1 < oddFirst) {
    m_gapFirst = static_cast<std::int64_t>(evenLast) + 1;
    m_gapLast = static_cast<std::int64_t>(oddFirst) - 1;
  } else if (oddLast + 1 < evenFirst) {
    m_gapFirst = static_cast<std::int64_t>(oddLast) + 1;
    m_gapLast = static_cast<std::int64_t>(evenFirst) - 1;
  }
  m_columnFirst = 0;
  m_columnLast = -1;
  m_column = -1;
  m_walking = true;
  return kFillOk;
}

// The region's extent along the row within the band the row's cells occupy across it, as a column range.
bool TileGen::RowRange(std::int64_t row) {
  const double base = static_cast<double>(row) * m_spacingY;
  const double a = base + m_v0 + std::min(0.0, -m_lattice.columnShift) - m_slack;
  const double b = base + m_v1 + std::max(0.0, -m_lattice.columnShift) + m_slack;
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (int k = 0; k < 4; ++k) {
    const double* p = m_regionLattice[k];
    const double* q = m_regionLattice[(k + 1) % 4];
    const double dv = q[1] - p[1];
    double t0 = 0.0, t1 = 1.0;
    if (dv == 0.0) {
      if (p[1] < a || p[1] > b) continue;
    } else {
      double ta = (a - p[1]) / dv, tb = (b - p[1]) / dv;
      if (ta > tb) std::swap(ta, tb);
      t0 = std::max(t0, ta);
      t1 = std::min(t1, tb);
      if (t0 > t1) continue;
    }
    for (double t : {t0, t1}) {
      const double u = p[0] + t * (q[0] - p[0]);
      lo = std::min(lo, u);
      hi = std::max(hi, u);
    }
  }
  if (lo > hi) return false;
  const double shift = (row & 1) ? m_lattice.rowShift : 0.0;
  m_columnFirst = static_cast<std::int64_t>(std::ceil((lo - m_u1 - shift) / m_spacingX)) - 1;
  m_columnLast = static_cast<std::int64_t>(std::floor((hi - m_u0 - shift) / m_spacingX)) + 1;
  return m_columnFirst <= m_columnLast;
}

void TileGen::PlaceCell() {
  const double u = static_cast<double>(m_column) * m_spacingX + ((m_row & 1) ? m_lattice.rowShift : 0.0);
  const double v = static_cast<double>(m_row) * m_spacingY - ((m_column & 1) ? m_lattice.columnShift : 0.0);
  World(u, v, &m_dx, &m_dy);
  const double corners[4][2] = {{m_u0, m_v0}, {m_u1, m_v0}, {m_u1, m_v1}, {m_u0, m_v1}};
  for (int k = 0; k < 4; ++k) World(u + corners[k][0], v + corners[k][1], &m_footprint[k].x, &m_footprint[k].y);
}

// Separating axes: the region's (x and y) and the lattice's (u and v).
bool TileGen::FootprintMeetsRegion() const {
  double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
  for (const GPosition2d& p : m_footprint) {
    x0 = std::min(x0, p.x);
    x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y);
    y1 = std::max(y1, p.y);
  }
  const double u = static_cast<double>(m_column) * m_spacingX + ((m_row & 1) ? m_lattice.rowShift : 0.0);
  const double v = static_cast<double>(m_row) * m_spacingY - ((m_column & 1) ? m_lattice.columnShift : 0.0);
  return Overlap(x0, x1, m_region.low.x, m_region.high.x, m_slack) &&
         Overlap(y0, y1, m_region.low.y, m_region.high.y, m_slack) &&
         Overlap(u + m_u0, u + m_u1, m_regionU0, m_regionU1, m_slack) &&
         Overlap(v + m_v0, v + m_v1, m_regionV0, m_regionV1, m_slack);
}

FillResult TileGen::NextTile(bool* found, bool* inside) {
  if (!found) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  *found = false;
  while (m_walking) {
    if (m_column >= m_columnLast) {
      if (m_row >= m_rowLast) {
        m_walking = false;
        break;
      }
      ++m_row;
      if (m_row >= m_gapFirst && m_row <= m_gapLast) m_row = m_gapLast + 1;
      if (!RowRange(m_row)) {
        m_columnLast = m_columnFirst = 0;
        m_column = 0;
        continue;
      }
      m_column = m_columnFirst;
    } else {
      ++m_column;
    }
    PlaceCell();
    if (FootprintMeetsRegion()) {
      *found = true;
      break;
    }
  }
  if (!inside || !*inside) return kFillOk;
  if (!*found) {
    *inside = false;
    return kFillOk;
  }
  return FootprintInside(inside);
}

FillResult TileGen::FootprintInside(bool* inside) {
  *inside = false;
  if (!m_boundary) return kFillOk;
  for (int k = 0; k < 4; ++k) {
    const GPosition2d& a = m_footprint[k];
    const GPosition2d& b = m_footprint[(k + 1) % 4];
    m_boundary->ClearSegments();
    std::uint32_t count = 0;
    GPosition piece[2];
    const FillResult hr = m_boundary->ClipSegment(a, b, &count, piece);
    if (hr != kFillOk) return FillReport(hr, kTileGenSource, __LINE__);
    if (count != 1) return kFillOk;
    const auto near = [](const GPosition& p, const GPosition2d& q) {
      return std::fabs(p.x - q.x) <= kFillPointTolerance && std::fabs(p.y - q.y) <= kFillPointTolerance;
    };
    if (!(near(piece[0], a) && near(piece[1], b)) && !(near(piece[0], b) && near(piece[1], a))) return kFillOk;
  }
  // Whole sides do not rule out a hole, or a spike of the boundary, within the footprint: its vertices would.
  double y0 = HUGE_VAL, y1 = -HUGE_VAL;
  for (const GPosition2d& p : m_footprint) {
    y0 = std::min(y0, p.y);
    y1 = std::max(y1, p.y);
  }
  const FillTrapNode* vertices = m_boundary->Vertices();
  const FillTrapNode* end = vertices + m_boundary->VertexCount();
  const FillTrapNode* v = std::lower_bound(vertices, end, y0 - kFillPointTolerance,
                                           [](const FillTrapNode& n, double y) { return n.y < y; });
  const double u = static_cast<double>(m_column) * m_spacingX + ((m_row & 1) ? m_lattice.rowShift : 0.0);
  const double w = static_cast<double>(m_row) * m_spacingY - ((m_column & 1) ? m_lattice.columnShift : 0.0);
  for (; v != end && v->y <= y1 + kFillPointTolerance; ++v) {
    double pu, pv;
    Lattice(v->x, v->y, &pu, &pv);
    if (pu >= u + m_u0 - kFillPointTolerance && pu <= u + m_u1 + kFillPointTolerance &&
        pv >= w + m_v0 - kFillPointTolerance && pv <= w + m_v1 + kFillPointTolerance) {
      return kFillOk;
    }
  }
  *inside = true;
  return kFillOk;
}

// ---- pieces ----

void TileGen::FreePieces(PieceList* list) {
  for (std::uint32_t i = 0; i < list->count; ++i) {
    FillFree(list->pieces[i].points);
    FillFree(list->pieces[i].elements);
  }
  FillFree(list->pieces);
  *list = PieceList{};
}

FillResult TileGen::CopyPieces(PieceList* list, const TileGenPiece* pieces, std::uint32_t count,
                               const GBox2d& symbolBox) {
  if (!Finite(symbolBox) || (count > 0 && !pieces)) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  for (std::uint32_t i = 0; i < count; ++i) {
    const TileGenPiece& p = pieces[i];
    if (p.count > 0 && !p.points) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
    for (std::uint32_t k = 0; k < p.count; ++k) {
      if (!std::isfinite(p.points[k].x) || !std::isfinite(p.points[k].y) || !std::isfinite(p.points[k].z)) {
        return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
      }
    }
  }
  FreePieces(list);
  m_symbolBox = GBox2d(std::min(0.0, symbolBox.low.x), std::min(0.0, symbolBox.low.y), std::max(0.0, symbolBox.high.x),
                       std::max(0.0, symbolBox.high.y));
  if (count == 0) return kFillOk;
  PieceList copy;
  copy.pieces = static_cast<PieceCopy*>(FillAllocateArray(count, sizeof(PieceCopy)));
  if (!copy.pieces) return FillReport(kFillOutOfMemory, kTileGenSource, __LINE__);
  for (std::uint32_t i = 0; i < count; ++i) {
    const TileGenPiece& p = pieces[i];
    PieceCopy& c = copy.pieces[i];
    c = PieceCopy{p.count, nullptr, p.style, 0, nullptr};
    if (p.count > 0) {
      c.points = static_cast<GPosition*>(FillAllocateArray(p.count, sizeof(GPosition)));
      if (!c.points) {
        FreePieces(&copy);
        return FillReport(kFillOutOfMemory, kTileGenSource, __LINE__);
      }
      std::memcpy(static_cast<void*>(c.points), p.points, p.count * sizeof(GPosition));
    }
    copy.count = i + 1;
  }
  *list = copy;
  return kFillOk;
}

FillResult TileGen::SetClosedPieces(const TileGenPiece* pieces, std::uint32_t count, const GBox2d& symbolBox) {
  return CopyPieces(&m_closed, pieces, count, symbolBox);
}

FillResult TileGen::SetOpenPieces(const TileGenPiece* pieces, std::uint32_t count, const GBox2d& symbolBox) {
  return CopyPieces(&m_open, pieces, count, symbolBox);
}

FillResult TileGen::NextPiece(PieceList* list, bool translate, bool restart, GPosition* buffer,
                              std::uint32_t capacity, void** style, std::uint32_t* count, bool* found) {
  if (!buffer || !style || !count || !found) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  *found = false;
  *count = 0;
  *style = nullptr;
  if (restart) list->reading = 0;
  if (list->reading >= list->count) return kFillOk;
  const PieceCopy& p = list->pieces[list->reading++];
  if (p.count > capacity) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  const double dx = translate ? m_dx : 0, dy = translate ? m_dy : 0;
  for (std::uint32_t k = 0; k < p.count; ++k) {
    buffer[k] = GPosition(p.points[k].x + dx, p.points[k].y + dy, p.points[k].z);
  }
  if (p.style && m_hold) m_hold(p.style);
  *style = p.style;
  *count = p.count;
  *found = true;
  return kFillOk;
}

FillResult TileGen::NextOpenPiece(bool restart, GPosition* buffer, std::uint32_t capacity, void** style,
                                  std::uint32_t* count, bool* found) {
  return NextPiece(&m_open, true, restart, buffer, capacity, style, count, found);
}

FillResult TileGen::NextOpenPieceAsStored(bool restart, GPosition* buffer, std::uint32_t capacity, void** style,
                                          std::uint32_t* count, bool* found) {
  return NextPiece(&m_open, false, restart, buffer, capacity, style, count, found);
}

FillResult TileGen::NextClosedPiece(bool restart, GPosition* buffer, std::uint32_t capacity, void** style,
                                    std::uint32_t* count, bool* found) {
  return NextPiece(&m_closed, true, restart, buffer, capacity, style, count, found);
}

FillResult TileGen::NextClosedPieceAsStored(bool restart, GPosition* buffer, std::uint32_t capacity, void** style,
                                            std::uint32_t* count, bool* found) {
  return NextPiece(&m_closed, false, restart, buffer, capacity, style, count, found);
}

FillResult TileGen::BuildBoundaryElements(std::uint32_t* maxCount) {
  if (!maxCount) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  *maxCount = 0;
  for (std::uint32_t i = 0; i < m_closed.count; ++i) {
    PieceCopy& p = m_closed.pieces[i];
    FillFree(p.elements);
    p.elements = nullptr;
    p.elementCount = 0;
    FillTrap trap;
    FillTrapRowsInfo info{};
    const FillResult hr = trap.BuildRows(p.points, p.count, &info);
    if (hr == kFillFail) continue;  // nothing left of the points
    if (hr != kFillOk) return FillReport(hr, kTileGenSource, __LINE__);
    if (info.trapezoidCount == 0) continue;  // collinear: encloses nothing
    p.elements = static_cast<TileGenElement*>(FillAllocateArray(info.trapezoidCount, sizeof(TileGenElement)));
    if (!p.elements) return FillReport(kFillOutOfMemory, kTileGenSource, __LINE__);
    std::uint32_t n = 0;
    for (const FillTrapRow* row = info.rows; row->y < info.lastRowY; ++row) {
      for (const FillTrapTrapezoid* t = row->firstTrapezoid; t && n < info.trapezoidCount; t = t->next) {
        TileGenElement& e = p.elements[n++];
        e.xMin = t->xMin;
        e.yMin = t->yBottom;
        e.xMax = t->xMax;
        e.yMax = t->yTop;
        for (int k = 0; k < 4; ++k) {
          const FillTrapNode* a = t->corners[k];
          const FillTrapNode* b = t->corners[(k + 1) % 4];
          e.sides[k][0] = a->x;
          e.sides[k][1] = a->y;
          e.sides[k][2] = b->x;
          e.sides[k][3] = b->y;
        }
      }
    }
    p.elementCount = n;
    *maxCount = std::max(*maxCount, n);
  }
  return kFillOk;
}

FillResult TileGen::NextClosedPieceElements(bool restart, TileGenElement* buffer, std::uint32_t capacity,
                                            std::uint32_t* count, void** style, bool* found) {
  if (!buffer || !count || !style || !found) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  *found = false;
  *count = 0;
  *style = nullptr;
  if (restart) m_closed.reading = 0;
  while (m_closed.reading < m_closed.count && m_closed.pieces[m_closed.reading].elementCount == 0) ++m_closed.reading;
  if (m_closed.reading >= m_closed.count) return kFillOk;
  const PieceCopy& p = m_closed.pieces[m_closed.reading++];
  if (p.elementCount > capacity) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  for (std::uint32_t i = 0; i < p.elementCount; ++i) {
    const TileGenElement& e = p.elements[i];
    TileGenElement& out = buffer[i];
    out.xMin = e.xMin + m_dx;
    out.yMin = e.yMin + m_dy;
    out.xMax = e.xMax + m_dx;
    out.yMax = e.yMax + m_dy;
    for (int k = 0; k < 4; ++k) {
      out.sides[k][0] = e.sides[k][0] + m_dx;
      out.sides[k][1] = e.sides[k][1] + m_dy;
      out.sides[k][2] = e.sides[k][2] + m_dx;
      out.sides[k][3] = e.sides[k][3] + m_dy;
    }
  }
  if (p.style && m_hold) m_hold(p.style);
  *style = p.style;
  *count = p.elementCount;
  *found = true;
  return kFillOk;
}
