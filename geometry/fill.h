// Fill geometry: the trapezoid decomposition of a fill boundary, the clipping of straight segments against it,
// the stepping of one family of parallel pattern lines across a range, and the process-wide pools from which
// the decomposition takes its work records.
//
// A boundary is an array of points of three doubles (z is ignored). Loops follow one another; a point whose x
// is -DBL_MAX ends a loop and belongs to none. What lies inside is what a horizontal scan finds between pairs
// of boundary edges (the even-odd rule), so holes stay empty and the parts of a self-crossing loop that are
// wound twice are empty too.
//
// Results are HRESULT values, written here without the platform's headers.
//
// Hatching steps one family of parallel lines across a range (FillLineState), cuts each line to the inside of
// a decomposed boundary and hands out the pieces; a dashed family's pieces are also turned to run with the
// family's direction, cut to a clip box and given the phase at which their dashes start (FillHatchLines).
#pragma once

#include <cfloat>
#include <cstdint>

#include "geometry/geometry.h"

using FillResult = std::int32_t;  // an HRESULT
inline constexpr FillResult kFillOk = 0;
inline constexpr FillResult kFillFail = static_cast<FillResult>(0x80004005);         // E_FAIL
inline constexpr FillResult kFillOutOfMemory = static_cast<FillResult>(0x8007000E);  // E_OUTOFMEMORY
inline constexpr FillResult kFillInvalidArg = static_cast<FillResult>(0x80070057);   // E_INVALIDARG

// The source names under which failures are reported.
inline constexpr char kFillTrapSource[] = "FILLTRAP";
inline constexpr char kFillClipSource[] = "FILLCLIP";

inline constexpr double kFillLoopSeparatorX = -DBL_MAX;
// Angle and size tests.
inline constexpr double kFillAngleEpsilon = 1.1920928955078125e-7;
// Clipping: on side and segment parameters, on repeated points, and to join touching pieces.
inline constexpr double kFillParameterTolerance = 5e-6;
inline constexpr double kFillPointTolerance = 5e-7;
inline constexpr double kFillJoinTolerance = 5e-5;

inline constexpr double kFillHalfPi = 1.5707963267948966;
inline constexpr double kFillPi = 3.141592653589793;
inline constexpr double kFillThreeHalfPi = 4.71238898038469;
inline constexpr double kFillTwoPi = 6.283185307179586;

// ---------------------------------------------------------------------------------------------------------
// Records of the decomposition

// A boundary vertex (in the vertex table) or a node where an edge crosses a scan row (in node blocks).
struct FillTrapNode {
  std::uint32_t index;      // vertices: place in the vertex table before sorting
  std::uint32_t scratch;    // used while the table is renumbered
  std::uint32_t prevIndex;  // vertices: sorted places of the previous and next vertex of the loop
  std::uint32_t nextIndex;
  double x;
  double y;
  // The nodes joined to this one by boundary edges; low is the one with the smaller y (then x) when the
  // vertex table is linked. Splitting an edge redirects the pointer that led along it.
  FillTrapNode* lowNeighbour;
  FillTrapNode* highNeighbour;
  // Neighbours in the same scan row, in ascending x.
  FillTrapNode* rowPrev;
  FillTrapNode* rowNext;
};

// Bottom on one scan row, top on the next; xMin, yBottom, xMax, yTop read as a range box {xmin, ymin, xmax, ymax}.
struct FillTrapTrapezoid {
  enum Corner { kBottomLeft, kBottomRight, kTopRight, kTopLeft };  // counter-clockwise with y up

  double xMin;
  double yBottom;
  double xMax;
  double yTop;
  FillTrapNode* corners[4];  // bottom-left and bottom-right are one node when the bottom is a point
  FillTrapTrapezoid* next;   // of the same row, in ascending x
};

// One scan row per distinct y, in ascending y.
struct FillTrapRow {
  std::uint32_t count;  // elements in the row
  double y;
  FillTrapNode* first;  // smallest x
  FillTrapNode* last;
  FillTrapTrapezoid* firstTrapezoid;  // those whose bottom lies on this row
  FillTrapTrapezoid* lastTrapezoid;
};

// A clipped piece, from its start to its end.
struct FillClipSegment {
  double x1;
  double y1;
  double x2;
  double y2;
};

struct FillBlockHeader {
  std::uint32_t count;  // records in use
  FillBlockHeader* next;
};

template <class Record, std::uint32_t Capacity>
struct FillTrapBlock : FillBlockHeader {
  static constexpr std::uint32_t kCapacity = Capacity;
  Record records[Capacity];
  FillTrapBlock* Next() const { return static_cast<FillTrapBlock*>(next); }
};

using FillTrapezoidBlock = FillTrapBlock<FillTrapTrapezoid, 512>;
using FillNodeBlock = FillTrapBlock<FillTrapNode, 128>;
using FillSegmentBlock = FillTrapBlock<FillClipSegment, 128>;

enum class FillBlockKind { kTrapezoid, kNode, kSegment };

struct FillTrapRowsInfo {
  std::uint32_t trapezoidCount;
  double lastRowY;
  const FillTrapRow* rows;
};

// One segment while it is clipped. The lower end has the smaller y, or at equal y the smaller or equal x.
struct FillClipDescriptor {
  std::uint32_t direction;  // 1 when the segment was given upper end first
  double xMin;
  double yMin;
  double xMax;
  double yMax;
  double lowerX;
  double lowerY;
  double upperX;
  double upperY;

  static FillClipDescriptor FromEnds(const GPosition2d& a, const GPosition2d& b);
};

// How ClipAgainstTrapezoid treats the trapezoid's bottom and top: as sides to cross (segments), or, for the
// horizontal sides of symbol pieces, as the overlap with a segment lying on them.
enum FillClipMode { kFillClipCrossing = 0, kFillClipOverlap = 1 };

// ---------------------------------------------------------------------------------------------------------
// The decomposition

// Not a COM object: made on the stack or with the ordinary allocator, one per boundary, used by one thread.
// Its node, trapezoid and segment records come in blocks: each kind's first five from the process-wide pools,
// which get them back when the object is destroyed, the rest cut from slabs the object owns and frees whole.
class FillTrap {
 public:
  FillTrap() = default;
  ~FillTrap();
  FillTrap(const FillTrap&) = delete;
  FillTrap& operator=(const FillTrap&) = delete;

  // Decomposes the boundary. kFillFail (not reported) for no points, or when separators, repeats and closing
  // points leave no vertex; kFillInvalidArg for a null array, a coordinate that is not finite (a separator's
  // x apart) or an extent beyond the doubles; kFillOutOfMemory. A second call starts over.
  FillResult Build(const GPosition* points, std::uint32_t count);
  // Build, then the trapezoid count, the last row's y and the row table. A reader walks the rows from the
  // first and stops at the row whose y is not below the last row's (the last row has no trapezoids).
  FillResult BuildRows(const GPosition* points, std::uint32_t count, FillTrapRowsInfo* info);

  // ---- segment clipping ----

  // Empties the piece list; its blocks stay for reuse.
  void ClearSegments();
  // Adds the inside pieces of the segment from a to b to the list (which is not emptied first) and answers the
  // list's count; with at least one piece, the first is written to piece[0] (start) and piece[1] (end), x and
  // y only, and reading continues after it. Each piece runs from its end nearer the segment's lower end; pieces
  // come row by row, each row's in the order of its trapezoids, and each stretch comes once: where two pieces
  // would cover one stretch (a segment along a row, or along a side two trapezoids share), the segment's pieces
  // are sorted along it and united. kFillInvalidArg for a null output or an end that is not finite;
  // kFillOutOfMemory, the pieces found kept, when a block or the room to sort them cannot be had.
  FillResult ClipSegment(const GPosition2d& a, const GPosition2d& b, std::uint32_t* count, GPosition piece[2]);
  // The next piece of the list; false when there is none.
  bool NextSegment(GPosition piece[2]);
  // The row whose band (up to the next row) holds y; the first row for a y at or below it; null above the last
  // row, and for a decomposition of fewer than two rows unless y is at or below the first.
  const FillTrapRow* FindRow(double y) const;
  // The piece of the segment inside one trapezoid, written lower end first, in the segment's own order (the
  // direction flag is left as it is); a single point is written twice. False when there is none.
  static bool ClipAgainstTrapezoid(FillClipDescriptor& segment, const FillTrapTrapezoid& trapezoid,
                                   GPosition2d points[2], FillClipMode mode);
  // Adds the segment's ends that lie inside the trapezoid to the *count points held (at most two, a repeat of
  // the one held excepted); true when one was added.
  static bool AddInsidePoints(const FillClipDescriptor& segment, const FillTrapTrapezoid& trapezoid,
                              GPosition2d points[2], std::uint32_t* count);
  // Appends a piece; one that starts within 5e-5 of the last piece's end extends that piece instead.
  FillResult AddSegment(const FillClipSegment& piece);

  // ---- what was built ----

  std::uint32_t VertexCount() const { return m_vertexCount; }
  const FillTrapNode* Vertices() const { return m_vertices; }
  std::uint32_t RowCount() const { return m_rowCount; }
  const FillTrapRow* Rows() const { return m_rows; }
  std::uint32_t CrossingNodeCount() const { return m_crossingCount; }
  std::uint32_t TrapezoidCount() const { return m_trapezoidCount; }
  std::uint32_t SegmentCount() const { return m_segmentCount; }
  const FillTrapezoidBlock* TrapezoidBlocks() const { return static_cast<FillTrapezoidBlock*>(m_trapezoids.first); }
  const FillNodeBlock* NodeBlocks() const { return static_cast<FillNodeBlock*>(m_nodes.first); }
  const FillSegmentBlock* SegmentBlocks() const { return static_cast<FillSegmentBlock*>(m_segments.first); }

  struct BlockChain {
    FillBlockHeader* first = nullptr;
    FillBlockHeader* current = nullptr;  // the one being written
    std::uint32_t blocks = 0;            // in the chain; the first five are the pool's, the rest lie in slabs
  };
  // The memory the blocks of a chain beyond its first five are cut from: slabs of many blocks, owned by the
  // decomposition and freed whole with it.
  struct Slabs {
    void* first = nullptr;
    unsigned char* free = nullptr;  // the unused part of the newest slab
    std::size_t room = 0;
    std::size_t total = 0;  // bytes of all slabs
  };

  // ---- one row's trapezoids by place ----

  // A row's trapezoids in list order, reached by place, so that a search can start inside the row rather than
  // at its first trapezoid. `ordered` when xMin and xMax each never fall from one trapezoid to the next, as they
  // do not when the row's sides do not cross; a row that rounding has tangled is to be walked along its list.
  class RowTrapezoids {
   public:
    RowTrapezoids(const FillTrapezoidBlock* const* blocks, std::uint32_t first, std::uint32_t count, bool ordered)
        : m_blocks(blocks), m_first(first), m_count(count), m_ordered(ordered) {}
    std::uint32_t Count() const { return m_count; }
    bool Ordered() const { return m_ordered; }
    const FillTrapTrapezoid& operator[](std::uint32_t place) const {
      const std::uint32_t at = m_first + place;
      return m_blocks[at / FillTrapezoidBlock::kCapacity]->records[at % FillTrapezoidBlock::kCapacity];
    }
    // The first place from which `holds` is false, `holds` being true up to some place and false after it. A
    // row's trapezoids lie one after another in their blocks, so a search reads within a few pages.
    template <class Holds>
    std::uint32_t PartitionPoint(Holds holds) const {
      std::uint32_t low = 0, high = m_count;
      while (low < high) {
        const std::uint32_t mid = low + (high - low) / 2;
        if (holds((*this)[mid])) {
          low = mid + 1;
        } else {
          high = mid;
        }
      }
      return low;
    }

   private:
    const FillTrapezoidBlock* const* m_blocks;
    std::uint32_t m_first;
    std::uint32_t m_count;
    bool m_ordered;
  };
  // The trapezoids of a row of this decomposition, not the last.
  RowTrapezoids TrapezoidsOf(const FillTrapRow* row) const;

 private:
  struct Stub;
  struct Arrival;
  struct Scratch;
  // Where a row's trapezoids begin among all of them, in the order they were made.
  struct RowPlace {
    std::uint32_t first;
    std::uint32_t count;
    bool ordered;
  };

  void Reset();
  FillResult MakeVertexTable(const GPosition* points, std::uint32_t count);
  void SortAndLinkVertices();
  FillResult MakeRows(Scratch& scratch);
  FillResult Sweep(Scratch& scratch);
  std::uint32_t EdgesPassing(const FillTrapRow& rowBelow, double y, Arrival* arrivals);
  FillResult PlaceCrossings(FillTrapRow& row, Arrival* arrivals, std::uint32_t count);
  FillResult CutBand(double yTop, Scratch& scratch);
  static std::uint32_t CollectStubs(const FillTrapRow& row, Stub* stubs);
  FillResult SplitCrossings(std::uint32_t row, double yTop, const Stub* stubs, std::uint32_t stubCount,
                            Scratch& scratch, std::uint32_t* added);
  static FillResult OpposedPairs(const Stub* stubs, std::uint32_t stubCount, Scratch& scratch, std::size_t* count);
  FillResult AppendRows(std::uint32_t count);
  FillResult NewNode(FillTrapNode** out);
  FillResult AddTrapezoid(FillTrapRow& row, double yTop, FillTrapNode* bottomLeft, FillTrapNode* bottomRight,
                          FillTrapNode* topRight, FillTrapNode* topLeft);
  FillResult NumberTrapezoidBlocks();
  FillResult ClipRows(FillClipDescriptor& segment);
  FillResult UnitePieces(std::uint32_t start, const FillClipDescriptor& segment);
  // Appends a piece, or extends the last one with it.
  FillResult StorePiece(const FillClipSegment& piece, bool join);

  std::uint32_t m_vertexCount = 0;
  FillTrapNode* m_vertices = nullptr;
  FillTrapRow* m_rows = nullptr;
  std::uint32_t m_rowCapacity = 0;
  std::uint32_t m_rowCount = 0;  // the last row is m_rowCount - 1
  std::uint32_t m_crossingCount = 0;
  std::uint32_t m_trapezoidCount = 0;
  BlockChain m_trapezoids;
  BlockChain m_nodes;
  BlockChain m_segments;
  Slabs m_slabs;
  std::uint32_t m_segmentCount = 0;
  FillSegmentBlock* m_readBlock = nullptr;
  std::uint32_t m_readPlace = 0;
  FillClipSegment* m_lastSegment = nullptr;
  // Room to sort one segment's pieces along it when two of them cover the same stretch; grown, never shrunk.
  struct UnitePiece;
  UnitePiece* m_unite = nullptr;
  std::uint32_t m_uniteCapacity = 0;
  // The trapezoid blocks in chain order, and each row's place among the trapezoids.
  FillTrapezoidBlock** m_trapezoidBlockTable = nullptr;
  RowPlace* m_rowPlaces = nullptr;
};

// The 2D range {xmin, ymin, xmax, ymax} of the points up to the first loop separator (or all of them); the
// first point's with fewer than 2 points; the all-zero box with none.
void FillTrapPointRange(std::uint32_t count, const GPosition* points, GBox2d* box);

// qsort order of the vertex table: ascending y, then ascending x; answers 1, 0 or -1.
int FillTrapCompareYX(const void* a, const void* b);

// Deletes every cached block of the three pools. Called at process detach.
void FillTrapFlushPools();

// ---------------------------------------------------------------------------------------------------------
// Stepping a family of parallel lines

// The render fills the range, the origin, angle, shift and spacing, then calls ClassifyAngle, FirstLine and
// NextLine once per line, lineCount times.
struct FillLineState {
  enum Mode : std::uint32_t { kHorizontal = 0, kVertical = 1, kGeneral = 2 };

  std::uint32_t mode;
  std::uint32_t lineCount;  // 0 when the family cannot be stepped (see FirstLine)
  double xMin;              // the range to cover
  double yMin;
  double xMax;
  double yMax;
  double originX;  // the pattern origin
  double originY;
  double grownXMin;  // the range grown by the spacing on every side
  double grownYMin;
  double grownXMax;
  double grownYMax;
  double startX;  // the current line
  double startY;
  double endX;
  double endY;
  double angle;   // direction of the lines, radians
  double shift;   // along the lines from one line to the next
  double spacing;  // between lines, across them
  double slope;    // general lines: tan(2pi - angle)
  double position;  // y (horizontal), x (vertical) or intercept c of y = slope x + c (general)
  double previousPosition;
  double positionStep;  // general lines: |spacing / cos(2pi - angle)|, by the slope's own cosine
  double stepX;  // motion of the pattern reference point from one line to the next
  double stepY;
  double referenceX;  // the pattern reference point of the current line
  double referenceY;

  // Sets mode, slope and step from angle, shift and spacing. The angle is compared as given: 0 and pi within
  // 1.19e-7 are horizontal, pi/2 and 3pi/2 vertical, everything else (2pi and negative angles too) general.
  void ClassifyAngle();
  // Sets the grown range, the first position and the line count. A spacing or position step of 0 or not
  // finite, a general angle so large that its remainder by 2pi gives another direction than the angle itself, a
  // first line or count that is not finite, or a count above 2^32 - 1 gives lineCount 0.
  void FirstLine();
  // Steps to the next line and sets its ends; false for a general line that meets the grown range in fewer
  // than two distinct points.
  bool NextLine();
};

// The 2D range of the first loop: from the first point up to the first whose x is -DBL_MAX or +DBL_MAX; the
// first point's with fewer than 2 points; the all-zero box with none.
void FillPointRange(std::uint32_t count, const GPosition* points, GBox2d* range);

// The 2D range of every loop: all the points but separators (x of -DBL_MAX or +DBL_MAX); the all-zero box when
// there is no other point.
void FillBoundaryRange(std::uint32_t count, const GPosition* points, GBox2d* range);

// ---------------------------------------------------------------------------------------------------------
// Hatching: one family's pieces inside a decomposed boundary

// Where a point lies against a clip box (0 inside or on it).
enum : std::uint32_t { kFillOutTop = 1, kFillOutBottom = 2, kFillOutRight = 4, kFillOutLeft = 8 };
std::uint32_t FillOutcode(double x, double y, const GBox2d& box);
// Cuts the segment to the box by outcodes, keeping its direction: false, and the ends untouched, when both ends
// lie beyond one side; true and the ends as they were when both lie in the box; else the ends cut to the box
// (a segment that grazes a corner becomes that point).
bool FillClipToBox(GPosition2d& start, GPosition2d& end, const GBox2d& box);

struct FillHatchFamily {
  double angle;    // radians; the dashed pieces' orientation reads it as given (0 to 2pi)
  double spacing;  // between lines; a negative one steps the same lines with the shift reversed
  double shift;    // along the lines from one to the next
  double originX;  // a point that one line passes through
  double originY;
  bool dashed;            // pieces are oriented, cut to the clip box and given a phase
  const GBox2d* clipBox;  // dashed pieces only; null for none
};

struct FillHatchPiece {
  GPosition start;  // z is 0
  GPosition end;
  // Dashed pieces: the distance to the end from the start, when the line's pattern reference point lies
  // strictly on the end's side of the start, else from the reference point. Plain pieces: 0.
  double phase;
};

// Hands out the pieces of one family, line after line from the lowest position, each line's pieces in the
// order the clipping stored them. A dashed piece is first turned by the quadrant of the angle (0: rising x,
// 1: falling y, 2: falling x, 3: rising y), then cut to the clip box (and dropped when it lies outside). The
// decomposition's piece list is the walk's: nothing else may clip against the FillTrap until the walk ends.
class FillHatchLines {
 public:
  // kFillInvalidArg for a null or empty decomposition, a spacing of 0, an angle, spacing, shift, origin,
  // range or clip box that is not finite, or a family whose lines FillLineState cannot count; an empty range
  // (low above high on an axis) has no lines.
  FillResult Start(FillTrap* trap, const GBox2d& range, const FillHatchFamily& family);
  // The next piece; *found false once every line is done. A clipping failure (kFillOutOfMemory) is answered
  // and ends the walk.
  FillResult Next(FillHatchPiece* piece, bool* found);
  // The stepping of the family's lines over the range, ready for its first NextLine (ClassifyAngle and
  // FirstLine have run); a negative spacing is taken with the shift reversed. Nothing is checked.
  static FillLineState Stepping(const GBox2d& range, const FillHatchFamily& family);
  // The lines the family steps (0 before Start or after a refusal).
  std::uint32_t LineCount() const { return m_lineCount; }
  // The stepping state at the line of the last piece handed out: its position, its ends and its pattern
  // reference point.
  const FillLineState& Line() const { return m_lines; }

 private:
  // Orients, cuts and measures a dashed piece; false when the clip box drops it.
  bool Finish(const GPosition raw[2], FillHatchPiece* piece) const;

  FillTrap* m_trap = nullptr;
  FillHatchFamily m_family{};
  GBox2d m_clipBox;
  FillLineState m_lines{};
  std::uint32_t m_lineCount = 0;
  std::uint32_t m_linesLeft = 0;
  std::uint32_t m_piecesLeft = 0;  // of the current line, after the one ClipSegment answered
  bool m_firstPending = false;     // ClipSegment's piece is still to be handed out
  GPosition m_first[2];
};

// ---------------------------------------------------------------------------------------------------------
// Symbol fills: one slot's lattice walked over a fill region, and its symbol polygons cut to the boundary

inline constexpr char kTileGenSource[] = "TILEGEN";
inline constexpr char kFillPieceClipSource[] = "FILLPCLP";

// One slot's lattice as drawing scaled it. Cell (i, j) places the symbol's own origin at
//   origin + R (i |spacingX| + rowShift [j odd], j |spacingY| - columnShift [i odd]),
// R the rotation by -angle; the symbol itself is only translated.
struct TileGenLattice {
  double angle;  // radians, any value
  double spacingX;
  double spacingY;
  double rowShift;     // along the rows, of every odd row
  double columnShift;  // across the rows, of every odd column
  double originX;      // the fill origin plus the slot's offset
  double originY;
};

// A captured symbol piece as the generator copies it: a line string, or a polygon whose last point repeats its
// first. The style is opaque here; the generator holds no reference of its own on it.
struct TileGenPiece {
  std::uint32_t count;
  const GPosition* points;
  void* style;
};

// One trapezoid of a symbol polygon's decomposition: its range box, then side k from corner k to corner k + 1
// (bottom-left, bottom-right, top-right, top-left), each as x1, y1, x2, y2.
struct TileGenElement {
  double xMin;
  double yMin;
  double xMax;
  double yMax;
  double sides[4][4];
};
static_assert(sizeof(TileGenElement) == 160);

// A closed convex piece of a symbol polygon inside the fill boundary: points 0..last, the last repeating the
// first, counter-clockwise, z written as 0.
struct ClipPolygon {
  std::int32_t last;  // -1 when empty
  std::uint32_t reserved;
  GPosition points[10];
};
static_assert(sizeof(ClipPolygon) == 248);

struct ClipPolygonBlock {
  static constexpr std::uint32_t kCapacity = 128;
  std::uint32_t count;  // polygons used
  ClipPolygonBlock* next;
  ClipPolygon polygons[kCapacity];
};

// Adds a reference to a piece's style when the generator hands the piece out; the caller releases it.
using TileGenStyleHold = void (*)(void* style);

// Walks one slot's lattice cell by cell over a region box: every cell whose footprint (the cell's rectangle and
// the symbol's box, as one rectangle of the lattice's axes) meets the box, each once, row after row. Not a COM
// object; one per slot and draw, used by one thread. Failures are reported under "TILEGEN".
class TileGen {
 public:
  explicit TileGen(TileGenStyleHold hold = nullptr) : m_hold(hold) {}
  virtual ~TileGen();
  TileGen(const TileGen&) = delete;
  TileGen& operator=(const TileGen&) = delete;

  // Stores the lattice (its angle reduced into [0, 2pi)) and the region; sets the quadrant and the shift flags.
  // kFillInvalidArg for a value that is not finite or a spacing below 1.19e-7 in magnitude. A region whose low
  // corner lies above its high corner on an axis has no cells.
  FillResult SetSlot(const TileGenLattice& lattice, const GBox2d& region);
  // Copies the pieces (dropping any earlier copy of the same kind) and keeps the symbol box, grown to hold
  // (0, 0). kFillInvalidArg for a null list with pieces, a piece without points, or a value that is not finite;
  // kFillOutOfMemory. Nothing is kept on failure.
  FillResult SetClosedPieces(const TileGenPiece* pieces, std::uint32_t count, const GBox2d& symbolBox);
  FillResult SetOpenPieces(const TileGenPiece* pieces, std::uint32_t count, const GBox2d& symbolBox);
  // Rotation, lattice mode and slope, the footprint and the overlap counts.
  void Classify();
  // The first row and the size of the walk; `boundary` (may be null) answers the inside requests.
  // kFillInvalidArg, before anything is walked, for a walk that cannot be counted or exceeds 2^31 - 1 cells.
  FillResult Start(FillTrap* boundary);
  // The next cell; *found false when the walk is over. With *inside true on entry, *inside answers whether the
  // footprint lies wholly inside the boundary: each side clips to one whole piece and no boundary vertex lies
  // inside or on it. A clipping failure is answered (the walk can go on) with *inside false.
  FillResult NextTile(bool* found, bool* inside);

  // The next piece translated into the current cell, its points written to `buffer` (room for `capacity`), its
  // style with a reference held for the caller; *found false at the end. kFillInvalidArg for a null output or a
  // piece larger than the buffer (which is then skipped).
  FillResult NextOpenPiece(bool restart, GPosition* buffer, std::uint32_t capacity, void** style,
                           std::uint32_t* count, bool* found);
  FillResult NextClosedPiece(bool restart, GPosition* buffer, std::uint32_t capacity, void** style,
                             std::uint32_t* count, bool* found);
  // Their untranslated twins: the points as stored, wherever the walk stands.
  FillResult NextOpenPieceAsStored(bool restart, GPosition* buffer, std::uint32_t capacity, void** style,
                                   std::uint32_t* count, bool* found);
  FillResult NextClosedPieceAsStored(bool restart, GPosition* buffer, std::uint32_t capacity, void** style,
                                     std::uint32_t* count, bool* found);
  // Decomposes each closed piece into its boundary elements and answers the largest element count of a piece.
  // A piece whose points enclose nothing gets none. kFillOutOfMemory; a decomposition failure is answered.
  FillResult BuildBoundaryElements(std::uint32_t* maxCount);
  // As NextClosedPiece, for the elements of the closed pieces that have any, translated into the current cell.
  FillResult NextClosedPieceElements(bool restart, TileGenElement* buffer, std::uint32_t capacity,
                                     std::uint32_t* count, void** style, bool* found);

  // ---- symbol polygons cut to the boundary (reported under "FILLPCLP") ----

  // Cuts each element against the trapezoids of `boundary`: one closed convex polygon for each element and fill
  // trapezoid whose intersection has area. Answers the polygon count and hands out the first polygon (null and
  // 0 without one). kFillOutOfMemory when a block cannot be had: the polygons made so far are handed out.
  FillResult ClipPieceElements(const TileGenElement* elements, std::uint32_t count, std::uint32_t* polygonCount,
                               const GPosition** points, std::uint32_t* pointCount, FillTrap* boundary);
  // The next polygon of the last ClipPieceElements; false after the last. The points stay valid until the
  // next ClipPieceElements or the generator's end.
  bool NextClipPolygon(const GPosition** points, std::uint32_t* pointCount);
  // Cuts one element against the boundary's trapezoids.
  FillResult ClipElement(const TileGenElement& element, FillTrap* boundary);
  // Appends a point to the current polygon, unless it repeats the last within 5e-7; starts a polygon first when
  // `newPolygon`. A point beyond a polygon's room is dropped and reported.
  FillResult AddClipPiece(const GPosition2d& point, bool newPolygon);

  // ---- state ----

  enum Mode : std::uint32_t { kHorizontal = 0, kVertical = 1, kGeneral = 2 };
  Mode LatticeMode() const { return m_mode; }
  std::uint32_t Quadrant() const { return m_quadrant; }
  double Angle() const { return m_lattice.angle; }
  double Cos() const { return m_cos; }
  double Sin() const { return m_sin; }
  double Slope() const { return m_slope; }
  bool RowShifted() const { return m_rowShifted; }
  bool ColumnShifted() const { return m_columnShifted; }
  std::uint32_t OverlapColumns() const { return m_overlapColumns; }
  std::uint32_t OverlapRows() const { return m_overlapRows; }
  // The current cell: lattice indices and parities, the translation that places the symbol in it and its
  // footprint's corners.
  std::int64_t Column() const { return m_column; }
  std::int64_t Row() const { return m_row; }
  bool ColumnParity() const { return (m_column & 1) != 0; }
  bool RowParity() const { return (m_row & 1) != 0; }
  GPosition2d Translation() const { return {m_dx, m_dy}; }
  const GPosition2d* Footprint() const { return m_footprint; }
  std::uint32_t ClipPolygonCount() const { return m_polygonCount; }

 private:
  struct PieceCopy {
    std::uint32_t count;
    GPosition* points;
    void* style;
    std::uint32_t elementCount;
    TileGenElement* elements;
  };
  struct PieceList {
    PieceCopy* pieces = nullptr;
    std::uint32_t count = 0;
    std::uint32_t reading = 0;
  };

  FillResult CopyPieces(PieceList* list, const TileGenPiece* pieces, std::uint32_t count, const GBox2d& symbolBox);
  static void FreePieces(PieceList* list);
  FillResult NextPiece(PieceList* list, bool translate, bool restart, GPosition* buffer, std::uint32_t capacity,
                       void** style, std::uint32_t* count, bool* found);
  // Sets the current row's column range; false when the row has no cell that can meet the region.
  bool RowRange(std::int64_t row);
  void PlaceCell();
  bool FootprintMeetsRegion() const;
  FillResult FootprintInside(bool* inside);
  void World(double u, double v, double* x, double* y) const;
  void Lattice(double x, double y, double* u, double* v) const;

  TileGenStyleHold m_hold;
  TileGenLattice m_lattice{};
  GBox2d m_region;
  GBox2d m_symbolBox{0, 0, 0, 0};
  bool m_rowShifted = false;
  bool m_columnShifted = false;
  Mode m_mode = kHorizontal;
  std::uint32_t m_quadrant = 0;
  double m_cos = 1.0;
  double m_sin = 0.0;
  double m_slope = 0.0;
  double m_spacingX = 0.0;  // magnitudes
  double m_spacingY = 0.0;
  // The footprint relative to a cell's lattice point, in lattice axes: u over [m_u0, m_u1], v over [m_v0, m_v1].
  double m_u0 = 0.0, m_u1 = 0.0, m_v0 = 0.0, m_v1 = 0.0;
  std::uint32_t m_overlapColumns = 0;
  std::uint32_t m_overlapRows = 0;
  // The region in lattice axes (its corners, and their range) and the slack of the meet test.
  double m_regionLattice[4][2] = {};
  double m_regionU0 = 0.0, m_regionU1 = 0.0, m_regionV0 = 0.0, m_regionV1 = 0.0;
  double m_slack = 0.0;
  // Walk state.
  FillTrap* m_boundary = nullptr;
  bool m_walking = false;
  std::int64_t m_rowLast = 0;
  std::int64_t m_gapFirst = 0, m_gapLast = -1;  // rows between the even and the odd columns' runs
  std::int64_t m_columnFirst = 0, m_columnLast = -1;
  std::int64_t m_column = 0;
  std::int64_t m_row = 0;
  double m_dx = 0.0, m_dy = 0.0;
  GPosition2d m_footprint[4];
  PieceList m_open;
  PieceList m_closed;
  // Clip polygons: blocks kept for reuse while the generator lives.
  ClipPolygonBlock* m_blocks = nullptr;
  ClipPolygonBlock* m_writeBlock = nullptr;
  ClipPolygon* m_polygon = nullptr;  // being written
  std::uint32_t m_polygonCount = 0;
  ClipPolygonBlock* m_readBlock = nullptr;
  std::uint32_t m_readPlace = 0;
};

// ---------------------------------------------------------------------------------------------------------
// Drawing one slot's symbols: whole where a cell's footprint lies inside the boundary, cut where it does not

// Receives what one slot's lattice draws, with the style of the piece it comes from; points are three doubles
// each and stay valid only for the call. A failure the sink answers ends the walk. Release is called once for
// every piece handed out, after its last call, on every path: it gives back the hold the generator added.
class FillSymbolSink {
 public:
  virtual FillResult WholePiece(bool closed, const GPosition* points, std::uint32_t count, void* style) = 0;
  virtual FillResult Segment(const GPosition& start, const GPosition& end, void* style) = 0;
  virtual FillResult Polygon(const GPosition* points, std::uint32_t count, void* style) = 0;
  virtual void Release(void* style) = 0;

 protected:
  ~FillSymbolSink() = default;
};

// Walks a generator that has been set up, classified, started over `boundary` and given its boundary elements
// (whose largest count is `mostElements`), and hands every cell's symbol to the sink: open pieces of at least 2
// and closed pieces of at least 3 points whole when the footprint lies inside the boundary; else each segment of
// an open piece (its ends rounded to whole units with `roundEnds`) cut to the boundary, and each closed piece as
// the closed polygons of its elements. `mostPoints` is the largest point count of a piece. kFillOutOfMemory;
// a failure of the generator, the clipping or the sink is answered as it comes.
FillResult FillSymbolLattice(TileGen* gen, FillTrap* boundary, std::uint32_t mostPoints, std::uint32_t mostElements,
                             bool roundEnds, FillSymbolSink* sink);
