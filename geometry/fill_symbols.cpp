// One slot's symbols drawn over a decomposed boundary: the lattice's cells one after another, each symbol whole
// where its cell's footprint lies inside, or cut to the boundary piece by piece where it does not.
#include <cmath>

#include "geometry/fill_internal.h"

namespace {

// Buffers of the ordinary allocator, freed on every path.
template <class T>
class Buffer {
 public:
  explicit Buffer(std::uint32_t count) : m_items(static_cast<T*>(FillAllocateArray(count ? count : 1, sizeof(T)))) {}
  ~Buffer() { FillFree(m_items); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  T* Get() const { return m_items; }

 private:
  T* m_items;
};

GPosition Rounded(const GPosition& p, bool round) {
  return round ? GPosition(std::floor(p.x + 0.5), std::floor(p.y + 0.5), p.z) : p;
}

FillResult CutOpenPiece(FillTrap* boundary, const GPosition* points, std::uint32_t count, bool roundEnds, void* style,
                        FillSymbolSink* sink) {
  FillResult hr = kFillOk;
  for (std::uint32_t k = 0; k + 1 < count && hr == kFillOk; ++k) {
    const GPosition a = Rounded(points[k], roundEnds), b = Rounded(points[k + 1], roundEnds);
    // One segment at a time: the clipping joins pieces that meet, which would cut the piece's corners.
    boundary->ClearSegments();
    std::uint32_t pieces = 0;
    GPosition piece[2];
    hr = boundary->ClipSegment({a.x, a.y}, {b.x, b.y}, &pieces, piece);
    for (bool more = hr == kFillOk && pieces > 0; more && hr == kFillOk; more = boundary->NextSegment(piece)) {
      piece[0].z = piece[1].z = 0.0;
      hr = sink->Segment(piece[0], piece[1], style);
    }
  }
  return hr;
}

}  // namespace

FillResult FillSymbolLattice(TileGen* gen, FillTrap* boundary, std::uint32_t mostPoints, std::uint32_t mostElements,
                             bool roundEnds, FillSymbolSink* sink) {
  if (!gen || !boundary || !sink) return FillReport(kFillInvalidArg, kTileGenSource, __LINE__);
  Buffer<GPosition> points(mostPoints);
  Buffer<TileGenElement> elements(mostElements);
  if (!points.Get() || !elements.Get()) return FillReport(kFillOutOfMemory, kTileGenSource, __LINE__);
  GPosition* p = points.Get();
  for (bool found = true;;) {
    bool inside = true;
    FillResult hr = gen->NextTile(&found, &inside);
    if (hr != kFillOk || !found) return hr;
    // Open pieces, then closed ones: whole, cut segment by segment, or as the polygons of their elements.
    for (int kind = 0; kind < 2; ++kind) {
      const bool closed = kind == 1;
      for (bool restart = true, more = true; more; restart = false) {
        std::uint32_t count = 0;
        void* style = nullptr;
        if (!closed) {
          hr = gen->NextOpenPiece(restart, p, mostPoints, &style, &count, &more);
        } else if (inside) {
          hr = gen->NextClosedPiece(restart, p, mostPoints, &style, &count, &more);
        } else {
          hr = gen->NextClosedPieceElements(restart, elements.Get(), mostElements, &count, &style, &more);
        }
        if (hr != kFillOk || !more) break;
        if (inside) {
          if (count >= (closed ? 3u : 2u)) hr = sink->WholePiece(closed, p, count, style);
        } else if (!closed) {
          hr = CutOpenPiece(boundary, p, count, roundEnds, style, sink);
        } else {
          std::uint32_t polygons = 0, n = 0;
          const GPosition* polygon = nullptr;
          hr = gen->ClipPieceElements(elements.Get(), count, &polygons, &polygon, &n, boundary);
          for (bool next = hr == kFillOk && polygons > 0; next && hr == kFillOk;
               next = gen->NextClipPolygon(&polygon, &n)) {
            hr = sink->Polygon(polygon, n, style);
          }
        }
        if (style) sink->Release(style);
        if (hr != kFillOk) break;
      }
      if (hr != kFillOk) return hr;
    }
  }
}
