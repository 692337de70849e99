// Symbol polygons cut to the fill boundary. A symbol polygon reaches here as its boundary elements (convex
// trapezoids); each is cut by every fill trapezoid it may overlap, one half-plane of the fill trapezoid at a
// time, so each pair gives at most one convex polygon, counter-clockwise as both of its parents are.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "geometry/fill_internal.h"

namespace {

// Room for the cut of a four-sided element by a four-sided trapezoid, and a little slack for points that
// rounding does not let meet.
constexpr int kMostCutPoints = 12;
// Points of a polygon before its closing point.
constexpr std::int32_t kMostOpenPoints = 9;

// A point of a cut: plain, so that the cuts made for every element and trapezoid are not cleared first.
struct CutPoint {
  double x;
  double y;
};

struct Cut {
  CutPoint points[kMostCutPoints];
  int count = 0;

  void Add(const CutPoint& p) {
    if (count < kMostCutPoints) points[count++] = p;
  }
};

// Keeps the part of `in` on the inner side of one side of the fill trapezoid: above (sign 1) or below (sign -1)
// a row for its bottom and top, left of the directed line a-b for its slanted sides. Crossings of a row are
// put exactly on it.
void ClipByRow(const Cut& in, double y, double sign, Cut* out) {
  out->count = 0;
  for (int k = 0; k < in.count; ++k) {
    const CutPoint& p = in.points[k];
    const CutPoint& q = in.points[(k + 1) % in.count];
    const bool pIn = sign * (p.y - y) >= 0, qIn = sign * (q.y - y) >= 0;
    if (pIn) out->Add(p);
    if (pIn != qIn) out->Add({p.x + (y - p.y) / (q.y - p.y) * (q.x - p.x), y});
  }
}

void ClipBySide(const Cut& in, const FillTrapNode* a, const FillTrapNode* b, Cut* out) {
  out->count = 0;
  const double ex = b->x - a->x, ey = b->y - a->y;
  const auto side = [&](const CutPoint& p) { return ex * (p.y - a->y) - ey * (p.x - a->x); };
  for (int k = 0; k < in.count; ++k) {
    const CutPoint& p = in.points[k];
    const CutPoint& q = in.points[(k + 1) % in.count];
    const double sp = side(p), sq = side(q);
    if (sp >= 0) out->Add(p);
    if ((sp >= 0) != (sq >= 0)) {
      const double t = sp / (sp - sq);
      out->Add({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
    }
  }
}

bool Near(const GPosition& p, const GPosition2d& q) {
  return std::fabs(p.x - q.x) <= kFillPointTolerance && std::fabs(p.y - q.y) <= kFillPointTolerance;
}

bool FiniteElement(const TileGenElement& e) {
  for (const auto& side : e.sides) {
    for (double v : side) {
      if (!std::isfinite(v)) return false;
    }
  }
  return true;
}

}  // namespace

FillResult TileGen::ClipPieceElements(const TileGenElement* elements, std::uint32_t count, std::uint32_t* polygonCount,
                                      const GPosition** points, std::uint32_t* pointCount, FillTrap* boundary) {
  if (!polygonCount || !points || !pointCount || !boundary || (count > 0 && !elements)) {
    return FillReport(kFillInvalidArg, kFillPieceClipSource, __LINE__);
  }
  for (ClipPolygonBlock* b = m_blocks; b; b = b->next) b->count = 0;
  m_writeBlock = m_blocks;
  m_polygon = nullptr;
  m_polygonCount = 0;
  FillResult hr = kFillOk;
  for (std::uint32_t i = 0; i < count && hr == kFillOk; ++i) hr = ClipElement(elements[i], boundary);
  *polygonCount = m_polygonCount;
  *points = nullptr;
  *pointCount = 0;
  m_readBlock = m_polygonCount > 0 ? m_blocks : nullptr;
  m_readPlace = 0;
  NextClipPolygon(points, pointCount);
  return hr;
}

bool TileGen::NextClipPolygon(const GPosition** points, std::uint32_t* pointCount) {
  if (!points || !pointCount || !m_readBlock) return false;
  if (m_readPlace >= m_readBlock->count) {
    ClipPolygonBlock* next = m_readBlock->next;
    if (m_readBlock->count < ClipPolygonBlock::kCapacity || !next || next->count == 0) return false;
    m_readBlock = next;
    m_readPlace = 0;
  }
  const ClipPolygon& polygon = m_readBlock->polygons[m_readPlace++];
  *points = polygon.points;
  *pointCount = static_cast<std::uint32_t>(polygon.last + 1);
  return true;
}

FillResult TileGen::ClipElement(const TileGenElement& element, FillTrap* boundary) {
  if (!boundary || !FiniteElement(element)) return FillReport(kFillInvalidArg, kFillPieceClipSource, __LINE__);
  Cut shape;
  for (const auto& side : element.sides) {
    const CutPoint corner{side[0], side[1]};
    if (shape.count == 0 || corner.x != shape.points[shape.count - 1].x ||
        corner.y != shape.points[shape.count - 1].y) {
      shape.Add(corner);
    }
  }
  const FillTrapRow* row = boundary->FindRow(element.yMin);
  if (!row) return kFillOk;
  const FillTrapRow* end = boundary->Rows() + boundary->RowCount() - 1;
  // One polygon of the element's shape inside a trapezoid, when they overlap with area.
  const auto cut = [this, &shape, &element](const FillTrapTrapezoid& t) -> FillResult {
    if (t.yTop <= element.yMin) return kFillOk;
    Cut a, b;
    ClipByRow(shape, t.yBottom, 1, &a);
    ClipBySide(a, t.corners[FillTrapTrapezoid::kBottomRight], t.corners[FillTrapTrapezoid::kTopRight], &b);
    ClipByRow(b, t.yTop, -1, &a);
    ClipBySide(a, t.corners[FillTrapTrapezoid::kTopLeft], t.corners[FillTrapTrapezoid::kBottomLeft], &b);
    if (b.count < 3) return kFillOk;
    for (int k = 0; k < b.count; ++k) {
      const FillResult hr = AddClipPiece({b.points[k].x, b.points[k].y}, k == 0);
      if (hr != kFillOk) return hr;
    }
    // The polygon stands only with three points apart that are not in line; else its slot is given back.
    ClipPolygon& p = *m_polygon;
    if (p.last > 0 && Near(p.points[p.last], {p.points[0].x, p.points[0].y})) --p.last;
    double twice = 0, reach = 0;
    for (std::int32_t k = 0; k <= p.last; ++k) {
      const GPosition& u = p.points[k];
      const GPosition& v = p.points[k == p.last ? 0 : k + 1];
      twice += u.x * v.y - v.x * u.y;
      reach = std::fmax(reach, std::fmax(std::fabs(v.x - u.x), std::fabs(v.y - u.y)));
    }
    if (p.last < 2 || twice <= 8 * DBL_EPSILON * reach * reach) {
      --m_writeBlock->count;
      --m_polygonCount;
      m_polygon = nullptr;
      return kFillOk;
    }
    p.points[++p.last] = p.points[0];
    return kFillOk;
  };
  // A row's trapezoids run in ascending x: the row ends at the first that does not start left of the element,
  // and those that end at or left of it are passed over. A row whose xMin and xMax both rise along it finds the
  // first to cut by search.
  const auto passed = [&element](const FillTrapTrapezoid& t) { return t.xMax <= element.xMin; };
  const auto beyond = [&element](const FillTrapTrapezoid& t) { return t.xMin >= element.xMax; };
  for (; row < end && row->y < element.yMax; ++row) {
    const FillTrap::RowTrapezoids trapezoids = boundary->TrapezoidsOf(row);
    if (trapezoids.Ordered()) {
      const std::uint32_t last = trapezoids.PartitionPoint([&](const FillTrapTrapezoid& t) { return !beyond(t); });
      for (std::uint32_t i = trapezoids.PartitionPoint(passed); i < last; ++i) {
        const FillResult hr = cut(trapezoids[i]);
        if (hr != kFillOk) return hr;
      }
      continue;
    }
    for (const FillTrapTrapezoid* t = row->firstTrapezoid; t; t = t->next) {
      if (beyond(*t)) break;
      if (passed(*t)) continue;
      const FillResult hr = cut(*t);
      if (hr != kFillOk) return hr;
    }
  }
  return kFillOk;
}

FillResult TileGen::AddClipPiece(const GPosition2d& point, bool newPolygon) {
  if (newPolygon) {
    if (!m_writeBlock || m_writeBlock->count == ClipPolygonBlock::kCapacity) {
      ClipPolygonBlock* next = m_writeBlock ? m_writeBlock->next : m_blocks;
      if (!next) {
        next = static_cast<ClipPolygonBlock*>(FillAllocate(sizeof(ClipPolygonBlock)));
        if (!next) return FillReport(kFillOutOfMemory, kFillPieceClipSource, __LINE__);
        std::memset(static_cast<void*>(next), 0, sizeof(ClipPolygonBlock));
        if (m_writeBlock) {
          m_writeBlock->next = next;
        } else {
          m_blocks = next;
        }
      }
      next->count = 0;
      m_writeBlock = next;
    }
    m_polygon = &m_writeBlock->polygons[m_writeBlock->count++];
    m_polygon->last = -1;
    ++m_polygonCount;
  }
  if (!m_polygon) return FillReport(kFillFail, kFillPieceClipSource, __LINE__);
  ClipPolygon& p = *m_polygon;
  if (p.last >= 0 && Near(p.points[p.last], point)) return kFillOk;
  if (p.last + 1 >= kMostOpenPoints) {
    FillReport(kFillFail, kFillPieceClipSource, __LINE__);  // dropped: the polygon keeps its room to close
    return kFillOk;
  }
  p.points[++p.last] = GPosition(point.x, point.y, 0.0);
  return kFillOk;
}
