// Hatching one family of lines inside a decomposed boundary: the lines are stepped across the range, each is
// clipped against the trapezoids, and a dashed family's pieces are turned to the family's direction, cut to the
// clip box and given the phase at which their dashes start.
#include <cmath>

#include "geometry/fill_internal.h"

namespace {

// 2/pi, as the quadrant of an angle is taken.
constexpr double kQuadrantsPerRadian = 0.6366197723675814;

bool Finite(const GBox2d& box) {
  return std::isfinite(box.low.x) && std::isfinite(box.low.y) && std::isfinite(box.high.x) &&
         std::isfinite(box.high.y);
}

void Swap(GPosition2d& a, GPosition2d& b) {
  const GPosition2d t = a;
  a = b;
  b = t;
}

}  // namespace

std::uint32_t FillOutcode(double x, double y, const GBox2d& box) {
  std::uint32_t code = 0;
  if (y > box.high.y) code |= kFillOutTop;
  if (y < box.low.y) code |= kFillOutBottom;
  if (x > box.high.x) code |= kFillOutRight;
  if (x < box.low.x) code |= kFillOutLeft;
  return code;
}

bool FillClipToBox(GPosition2d& start, GPosition2d& end, const GBox2d& box) {
  GPosition2d a = start, b = end;
  std::uint32_t codeA = FillOutcode(a.x, a.y, box);
  std::uint32_t codeB = FillOutcode(b.x, b.y, box);
  // Each pass moves one end onto a side it lay beyond, so four passes per end settle it.
  for (int pass = 0; pass < 8; ++pass) {
    if ((codeA | codeB) == 0) {
      start = a;
      end = b;
      return true;
    }
    if (codeA & codeB) return false;
    const bool moveA = codeA != 0;
    const std::uint32_t code = moveA ? codeA : codeB;
    const double dx = b.x - a.x, dy = b.y - a.y;
    double x, y;
    if (code & kFillOutTop) {
      y = box.high.y;
      x = a.x + dx * (y - a.y) / dy;
    } else if (code & kFillOutBottom) {
      y = box.low.y;
      x = a.x + dx * (y - a.y) / dy;
    } else if (code & kFillOutRight) {
      x = box.high.x;
      y = a.y + dy * (x - a.x) / dx;
    } else {
      x = box.low.x;
      y = a.y + dy * (x - a.x) / dx;
    }
    if (moveA) {
      a = GPosition2d(x, y);
      codeA = FillOutcode(x, y, box);
    } else {
      b = GPosition2d(x, y);
      codeB = FillOutcode(x, y, box);
    }
  }
  return false;
}

FillResult FillHatchLines::Start(FillTrap* trap, const GBox2d& range, const FillHatchFamily& family) {
  m_trap = nullptr;
  m_lineCount = m_linesLeft = m_piecesLeft = 0;
  m_firstPending = false;
  const bool finite = std::isfinite(family.angle) && std::isfinite(family.spacing) && std::isfinite(family.shift) &&
                      std::isfinite(family.originX) && std::isfinite(family.originY) && Finite(range);
  const bool clipFinite = !family.dashed || !family.clipBox || Finite(*family.clipBox);
  if (!trap || trap->RowCount() == 0 || !finite || !clipFinite || family.spacing == 0) return kFillInvalidArg;
  m_family = family;
  if (family.dashed && family.clipBox) m_clipBox = *family.clipBox;
  m_family.clipBox = family.dashed && family.clipBox ? &m_clipBox : nullptr;
  m_trap = trap;
  if (range.low.x > range.high.x || range.low.y > range.high.y) return kFillOk;
  m_lines = Stepping(range, family);
  if (m_lines.lineCount == 0) {
    m_trap = nullptr;
    return kFillInvalidArg;
  }
  m_lineCount = m_linesLeft = m_lines.lineCount;
  return kFillOk;
}

FillLineState FillHatchLines::Stepping(const GBox2d& range, const FillHatchFamily& family) {
  FillLineState lines{};
  lines.xMin = range.low.x;
  lines.yMin = range.low.y;
  lines.xMax = range.high.x;
  lines.yMax = range.high.y;
  lines.originX = family.originX;
  lines.originY = family.originY;
  lines.angle = family.angle;
  // The same lines either way: only the stagger follows the sign.
  const bool reversed = family.spacing < 0;
  lines.spacing = reversed ? -family.spacing : family.spacing;
  lines.shift = reversed ? -family.shift : family.shift;
  lines.ClassifyAngle();
  lines.FirstLine();
  return lines;
}

FillResult FillHatchLines::Next(FillHatchPiece* piece, bool* found) {
  if (!piece || !found) return kFillInvalidArg;
  *found = false;
  if (!m_trap) return kFillOk;
  for (;;) {
    GPosition raw[2] = {GPosition(0, 0, 0), GPosition(0, 0, 0)};
    if (m_firstPending) {
      m_firstPending = false;
      raw[0] = m_first[0];
      raw[1] = m_first[1];
    } else if (m_piecesLeft > 0) {
      --m_piecesLeft;
      if (!m_trap->NextSegment(raw)) {
        m_piecesLeft = 0;
        continue;
      }
    } else {
      if (m_linesLeft == 0) return kFillOk;
      --m_linesLeft;
      m_trap->ClearSegments();
      if (!m_lines.NextLine()) continue;
      std::uint32_t count = 0;
      m_first[0] = m_first[1] = GPosition(0, 0, 0);
      const FillResult hr = m_trap->ClipSegment({m_lines.startX, m_lines.startY}, {m_lines.endX, m_lines.endY},
                                                &count, m_first);
      if (hr != kFillOk) {
        m_trap = nullptr;
        return hr;
      }
      m_firstPending = count > 0;
      m_piecesLeft = count > 0 ? count - 1 : 0;
      continue;
    }
    if (Finish(raw, piece)) {
      *found = true;
      return kFillOk;
    }
  }
}

bool FillHatchLines::Finish(const GPosition raw[2], FillHatchPiece* piece) const {
  GPosition2d start(raw[0].x, raw[0].y), end(raw[1].x, raw[1].y);
  piece->phase = 0;
  if (m_family.dashed) {
    const double q = std::trunc(m_family.angle * kQuadrantsPerRadian + kFillAngleEpsilon);
    if ((q == 0 && start.x > end.x) || (q == 1 && start.y < end.y) || (q == 2 && start.x < end.x) ||
        (q == 3 && start.y > end.y)) {
      Swap(start, end);
    }
    if (m_family.clipBox && !FillClipToBox(start, end, *m_family.clipBox)) return false;
    // Measured along x, or along y for a piece that is all but vertical.
    const bool alongX = !(std::fabs(end.x - start.x) < kFillAngleEpsilon);
    const double toReference = alongX ? m_lines.referenceX - start.x : m_lines.referenceY - start.y;
    const double toEnd = alongX ? end.x - start.x : end.y - start.y;
    const bool sameSide = (toReference > 0 && toEnd > 0) || (toReference < 0 && toEnd < 0);
    const double qx = sameSide ? start.x : m_lines.referenceX;
    const double qy = sameSide ? start.y : m_lines.referenceY;
    piece->phase = std::hypot(end.x - qx, end.y - qy);
  }
  piece->start = GPosition(start.x, start.y, 0);
  piece->end = GPosition(end.x, end.y, 0);
  return true;
}
