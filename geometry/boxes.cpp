#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>

#include "geometry/geometry.h"

namespace {

void Log(const char* message) { GeomLogMessage(nullptr, message, 1); }

// The 2D and 3D boxes share their arithmetic; what differs is named here.
template <typename Box>
struct BoxKind;

template <>
struct BoxKind<GBox2d> {
  using Position = GPosition2d;
  static constexpr int kAxes = 2;
  static constexpr int kCorners = 4;
  static constexpr double kMarginFactor = 0.7071067811865475;  // 1 / sqrt(2)
  static constexpr bool kBoundsIncluded = false;
  static constexpr char kNoPoints[] = "GBox2d: can't build with 0 points";
  static constexpr char kBadIndex[] = "GBox2d: index out of range";
  static constexpr char kDivideByZero[] = "GBox2d: trying to divide by 0.0";
};

template <>
struct BoxKind<GBox> {
  using Position = GPosition;
  static constexpr int kAxes = 3;
  static constexpr int kCorners = 8;
  static constexpr double kMarginFactor = 0.5773502691896258;  // 1 / sqrt(3)
  static constexpr bool kBoundsIncluded = true;
  static constexpr char kNoPoints[] = "GBox: can't build with 0 points";
  static constexpr char kBadIndex[] = "GBox: index out of range";
  static constexpr char kDivideByZero[] = "GBox: trying to divide by 0.0";
};

template <typename Box>
using PositionOf = typename BoxKind<Box>::Position;

template <typename Box>
bool IsEmptyBox(const Box& b) {
  const double d = GetDistanceTolerance();
  for (int i = 0; i < BoxKind<Box>::kAxes; ++i)
    if (b.high[i] <= b.low[i] - d) return true;
  return false;
}

// Grows the box to hold p, axis by axis.
template <typename Box>
void Include(Box& b, const PositionOf<Box>& p) {
  for (int i = 0; i < BoxKind<Box>::kAxes; ++i) {
    if (p[i] < b.low[i])
      b.low[i] = p[i];
    else if (p[i] > b.high[i])
      b.high[i] = p[i];
  }
}

template <typename Box>
Box BoundingBox(unsigned int n, const PositionOf<Box>* points) {
  if (n == 0 || !points) {
    Log(BoxKind<Box>::kNoPoints);
    return Box();
  }
  Box b(points[0], points[0]);
  for (unsigned int i = 1; i < n; ++i) Include(b, points[i]);
  return b;
}

template <typename Box>
Box UnionOf(const Box& a, const Box& b) {
  if (IsEmptyBox(b)) return IsEmptyBox(a) ? Box() : a;
  if (IsEmptyBox(a)) return b;
  Box r = a;
  for (int i = 0; i < BoxKind<Box>::kAxes; ++i) {
    r.low[i] = std::fmin(a.low[i], b.low[i]);
    r.high[i] = std::fmax(a.high[i], b.high[i]);
  }
  return r;
}

template <typename Box>
Box IntersectionOf(const Box& a, const Box& b) {
  if (IsEmptyBox(a) || IsEmptyBox(b)) return Box();
  const double d = GetDistanceTolerance();
  Box r = a;
  for (int i = 0; i < BoxKind<Box>::kAxes; ++i) {
    r.low[i] = std::fmax(a.low[i], b.low[i]);
    r.high[i] = std::fmin(a.high[i], b.high[i]);
    if (r.low[i] >= r.high[i] + d) return Box();
  }
  // Boxes that only touch within the tolerance meet in a thin box the right way round.
  for (int i = 0; i < BoxKind<Box>::kAxes; ++i) {
    if (r.low[i] > r.high[i]) {
      const double t = r.low[i];
      r.low[i] = r.high[i];
      r.high[i] = t;
    }
  }
  return r;
}

template <typename Box>
bool ContainsPoint(const Box& b, const PositionOf<Box>& p) {
  const double m = GetDistanceTolerance() * BoxKind<Box>::kMarginFactor;
  for (int i = 0; i < BoxKind<Box>::kAxes; ++i) {
    const double lo = b.low[i] - m, hi = b.high[i] + m;
    const bool inside = BoxKind<Box>::kBoundsIncluded ? lo <= p[i] && p[i] <= hi : lo < p[i] && p[i] < hi;
    if (!inside) return false;
  }
  return true;
}

template <typename Box>
Box Scaled(const Box& b, double s) {
  Box r = b;
  for (int i = 0; i < BoxKind<Box>::kAxes; ++i) {
    r.low[i] = s * (s > 0.0 ? b.low[i] : b.high[i]);
    r.high[i] = s * (s > 0.0 ? b.high[i] : b.low[i]);
  }
  return r;
}

template <typename Box>
Box Divided(const Box& b, double s) {
  if (std::fabs(s) < kGeomDivideGuard) {
    Log(BoxKind<Box>::kDivideByZero);
    return Box::WholeSpace();
  }
  Box r = b;
  for (int i = 0; i < BoxKind<Box>::kAxes; ++i) {
    r.low[i] = (s > 0.0 ? b.low[i] : b.high[i]) / s;
    r.high[i] = (s > 0.0 ? b.high[i] : b.low[i]) / s;
  }
  return r;
}

template <typename Box>
Box Moved(const Box& b, const decltype(b.high - b.low)& v) {
  return Box(b.low + v, b.high + v);
}

// The box of the corners mapped one by one. The corners of the empty box stand for no points at all, so it
// stays empty instead of spreading over the whole space.
template <typename Box, typename Map>
Box MappedCorners(const Box& b, Map map) {
  if (IsEmptyBox(b)) return Box();
  PositionOf<Box> corners[BoxKind<Box>::kCorners];
  b.GetCorners(corners);
  for (auto& c : corners) c = map(c);
  return BoundingBox<Box>(BoxKind<Box>::kCorners, corners);
}

template <typename Box, typename Matrix>
Box ByMatrix(const Box& b, const Matrix& m, bool rowForm) {
  if (m.IsIdentity()) return b;
  return MappedCorners(b, [&](const PositionOf<Box>& p) { return rowForm ? p * m : m * p; });
}

template <typename Box>
const PositionOf<Box>& Corner(const Box& b, int i) {
  if (i == 0) return b.low;
  if (i != 1) Log(BoxKind<Box>::kBadIndex);
  return b.high;
}

// 2 n points of a view volume, or none when the buffer cannot be had; a count whose double does not fit the
// point count of a box is refused rather than wrapped round.
std::unique_ptr<GPosition[]> PointBuffer(std::uint32_t count) {
  if (count > UINT32_MAX / 2 || std::uint64_t{count} > SIZE_MAX / sizeof(GPosition) / 2) return nullptr;
  return std::unique_ptr<GPosition[]>(new (std::nothrow) GPosition[2 * std::size_t{count}]);
}

// The box of a view volume whose buffer could not be had.
GBox NoBuffer() { return GBox(0, 0, 0, 0, 0, 0); }

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// GBox2d

GBox2d::GBox2d(unsigned int n, const GPosition2d* points) : GBox2d(BoundingBox<GBox2d>(n, points)) {}

GPosition2d& GBox2d::operator[](int i) { return const_cast<GPosition2d&>(Corner(*this, i)); }
const GPosition2d& GBox2d::operator[](int i) const { return Corner(*this, i); }

void GBox2d::GetCorners(GPosition2d out[4]) const {
  out[0] = low;
  out[1] = {high.x, low.y};
  out[2] = high;
  out[3] = {low.x, high.y};
}

bool GBox2d::IsEmpty() const { return IsEmptyBox(*this); }
bool GBox2d::IsEqual(const GBox2d& b) const { return low.IsEqual(b.low) && high.IsEqual(b.high); }
GBox2d GBox2d::Union(const GBox2d& a, const GBox2d& b) { return UnionOf(a, b); }
GBox2d& GBox2d::Extend(const GBox2d& b) { return *this = UnionOf(*this, b); }
GBox2d GBox2d::Intersect(const GBox2d& a, const GBox2d& b) { return IntersectionOf(a, b); }
GBox2d& GBox2d::IntersectWith(const GBox2d& b) { return *this = IntersectionOf(*this, b); }
bool GBox2d::Contains(const GPosition2d& p) const { return ContainsPoint(*this, p); }
bool GBox2d::Contains(const GBox2d& b) const { return Contains(b.low) && Contains(b.high); }
bool GBox2d::IsInside(const GBox2d& other) const { return other.Contains(*this); }
bool IsInside(const GPosition2d& p, const GBox2d& box) { return box.Contains(p); }

GBox2d& GBox2d::operator+=(const GVector2d& v) { return *this = Moved(*this, v); }
GBox2d& GBox2d::operator-=(const GVector2d& v) { return *this = Moved(*this, -v); }
GBox2d operator*(const GBox2d& b, double s) { return Scaled(b, s); }
GBox2d operator*(double s, const GBox2d& b) { return Scaled(b, s); }
GBox2d& GBox2d::operator*=(double s) { return *this = Scaled(*this, s); }
GBox2d operator/(const GBox2d& b, double s) { return Divided(b, s); }
GBox2d& GBox2d::operator/=(double s) { return *this = Divided(*this, s); }

GBox2d operator*(const GBox2d& b, const GMatrix2d& m) { return ByMatrix(b, m, true); }
GBox2d operator*(const GMatrix2d& m, const GBox2d& b) { return ByMatrix(b, m, false); }
GBox2d& GBox2d::operator*=(const GMatrix2d& m) { return *this = ByMatrix(*this, m, true); }

// In the plane the matrix comes first and the scaling after it.
GBox2d operator*(const GBox2d& b, const GTransf2d& t) {
  if (IsEmptyBox(b)) return GBox2d();
  return Moved(Scaled(b * t.m_matrix, t.m_scaling), t.m_translation);
}

GBox2d& GBox2d::operator*=(const GTransf2d& t) { return *this = *this * t; }

// ---------------------------------------------------------------------------------------------------------
// GBox

GBox::GBox(unsigned int n, const GPosition* points) : GBox(BoundingBox<GBox>(n, points)) {}

GBox::GBox(const GBox2d& b) : low(b.low.x, b.low.y, 0.0), high(b.high.x, b.high.y, 0.0) {}

GPosition& GBox::operator[](int i) { return const_cast<GPosition&>(Corner(*this, i)); }
const GPosition& GBox::operator[](int i) const { return Corner(*this, i); }

void GBox::GetCorners(GPosition out[8]) const {
  for (int face = 0; face < 2; ++face) {
    const double z = face ? high.z : low.z;
    out[4 * face + 0] = {low.x, low.y, z};
    out[4 * face + 1] = {high.x, low.y, z};
    out[4 * face + 2] = {high.x, high.y, z};
    out[4 * face + 3] = {low.x, high.y, z};
  }
}

GBox2d& GBox::Convert2d(GBox2d& out) const {
  const double d = GetDistanceTolerance();
  if (std::fabs(low.z) > d || std::fabs(high.z) > d) Log("Convert2d: GBox z coordinate > distanceTolerance");
  out = GBox2d(low.x, low.y, high.x, high.y);
  return out;
}

bool GBox::IsEmpty() const { return IsEmptyBox(*this); }
bool GBox::IsEqual(const GBox& b) const { return low.IsEqual(b.low) && high.IsEqual(b.high); }
GBox GBox::Union(const GBox& a, const GBox& b) { return UnionOf(a, b); }
GBox& GBox::Extend(const GBox& b) { return *this = UnionOf(*this, b); }
GBox GBox::Intersect(const GBox& a, const GBox& b) { return IntersectionOf(a, b); }
GBox& GBox::IntersectWith(const GBox& b) { return *this = IntersectionOf(*this, b); }
bool GBox::Contains(const GPosition& p) const { return ContainsPoint(*this, p); }
bool GBox::Contains(const GBox& b) const { return Contains(b.low) && Contains(b.high); }
bool GBox::IsInside(const GBox& other) const { return other.Contains(*this); }
bool IsInside(const GPosition& p, const GBox& box) { return box.Contains(p); }

GBox& GBox::operator+=(const GVector& v) { return *this = Moved(*this, v); }
GBox& GBox::operator-=(const GVector& v) { return *this = Moved(*this, -v); }
GBox operator*(const GBox& b, double s) { return Scaled(b, s); }
GBox operator*(double s, const GBox& b) { return Scaled(b, s); }
GBox& GBox::operator*=(double s) { return *this = Scaled(*this, s); }
GBox operator/(const GBox& b, double s) { return Divided(b, s); }
GBox& GBox::operator/=(double s) { return *this = Divided(*this, s); }

GBox operator*(const GBox& b, const GMatrix& m) { return ByMatrix(b, m, true); }
GBox operator*(const GMatrix& m, const GBox& b) { return ByMatrix(b, m, false); }
GBox& GBox::operator*=(const GMatrix& m) { return *this = ByMatrix(*this, m, true); }

// In space the scaling comes first, then the matrix.
GBox operator*(const GBox& b, const GTransf& t) {
  if (IsEmptyBox(b)) return GBox();
  return Moved(Scaled(b, t.m_scaling) * t.m_matrix, t.m_translation);
}

GBox operator*(const GTransf& t, const GBox& b) {
  if (IsEmptyBox(b)) return GBox();
  return Moved(t.m_matrix * Scaled(b, t.m_scaling), t.m_translation);
}

GBox& GBox::operator*=(const GTransf& t) { return *this = *this * t; }

GBox operator*(const GBox& b, const G4x4& m) {
  return MappedCorners(b, [&](const GPosition& p) { return p * m; });
}

GBox operator*(const G4x4& m, const GBox& b) {
  return MappedCorners(b, [&](const GPosition& p) { return m * p; });
}

GBox& GBox::operator*=(const G4x4& m) { return *this = m * *this; }

// ---------------------------------------------------------------------------------------------------------
// Boxes of the view volumes

GBox::GBox(const GRtPrism& prism) {
  if (prism.m_count == 0 || !prism.m_points) {
    *this = BoundingBox<GBox>(0, nullptr);
    return;
  }
  const auto points = PointBuffer(prism.m_count);
  if (!points) {
    *this = NoBuffer();
    return;
  }
  for (std::uint32_t i = 0; i < prism.m_count; ++i) {
    GPosition top = prism.m_points[i];
    top.z += prism.m_height;
    points[2 * i] = prism.m_points[i] * prism.m_placement;
    points[2 * i + 1] = top * prism.m_placement;
  }
  *this = GBox(2 * prism.m_count, points.get());
}

GBox::GBox(const GPtFence& fence) {
  if (fence.m_count == 0 || !fence.m_points) {
    *this = BoundingBox<GBox>(0, nullptr);
    return;
  }
  const auto points = PointBuffer(fence.m_count);
  if (!points) {
    *this = NoBuffer();
    return;
  }
  const GVector u = fence.m_direction;
  for (std::uint32_t i = 0; i < fence.m_count; ++i) {
    points[2 * i] = fence.m_points[i] + fence.m_front * u;
    points[2 * i + 1] = fence.m_points[i] + fence.m_back * u;
  }
  *this = GBox(2 * fence.m_count, points.get());
}

// Each fence point seen from the eye, on the front plane and on the back plane. A point level with the eye (its
// line of sight parallel to the planes, or the eye itself) has no image there: the volume then reaches without
// bound, and answers the whole-space box, so that nothing it may show is culled.
GBox::GBox(const GPtFrustum& frustum) {
  if (frustum.m_count == 0 || !frustum.m_points) {
    *this = BoundingBox<GBox>(0, nullptr);
    return;
  }
  const auto points = PointBuffer(frustum.m_count);
  if (!points) {
    *this = NoBuffer();
    return;
  }
  const GVector u = frustum.m_direction;
  const GPosition& eye = frustum.m_eye;
  const GPosition front = frustum.m_points[0] + frustum.m_front * u;
  const GPosition back = frustum.m_points[0] + frustum.m_back * u;
  for (std::uint32_t i = 0; i < frustum.m_count; ++i) {
    const GVector sight = GUnitVector(eye, frustum.m_points[i]);
    const double k = GVector::Dot(sight, u);
    points[2 * i] = eye + (GVector::Dot(front - eye, u) / k) * sight;
    points[2 * i + 1] = eye + (GVector::Dot(back - eye, u) / k) * sight;
    for (int j = 2 * static_cast<int>(i); j <= 2 * static_cast<int>(i) + 1; ++j)
      if (!(std::isfinite(points[j].x) && std::isfinite(points[j].y) && std::isfinite(points[j].z))) {
        *this = WholeSpace();
        return;
      }
  }
  *this = GBox(2 * frustum.m_count, points.get());
}

namespace {

// Two unit vectors that make a right-handed frame with the bore's direction.
void BoreAxes(const GUnitVector& direction, GVector& u, GVector& w) {
  const GUnitVector across = GUnitVector::Perpendicular(direction);
  u = across;
  w = GUnitVector(GVector::Cross(direction, across));
}

}  // namespace

GBox::GBox(const GBoreLine& bore) {
  GVector u, w;
  BoreAxes(bore.m_direction, u, w);
  const GVector along = bore.m_direction;
  const double r = bore.m_radius;
  GPosition points[8];
  int n = 0;
  for (const double limit : {bore.m_front, bore.m_back}) {
    const GPosition k = bore.m_root + limit * along;
    for (const double e1 : {1.0, -1.0})
      for (const double e2 : {1.0, -1.0}) points[n++] = k + e1 * r * u + e2 * r * w;
  }
  *this = GBox(8, points);
}

// The cone is the frustum over the square around the root, seen from the eye.
GBox::GBox(const GBoreCone& cone) {
  GVector u, w;
  BoreAxes(cone.m_direction, u, w);
  const double r = cone.m_radius;
  const GPosition square[5] = {cone.m_root + r * u + r * w, cone.m_root - r * u + r * w, cone.m_root - r * u - r * w,
                               cone.m_root + r * u - r * w, cone.m_root + r * u + r * w};
  GPtFrustum frustum;
  frustum.m_count = 5;
  frustum.m_points = square;
  frustum.m_direction = cone.m_direction;
  frustum.m_front = cone.m_front;
  frustum.m_back = cone.m_back;
  frustum.m_eye = cone.m_eye;
  *this = GBox(frustum);
}

// ---------------------------------------------------------------------------------------------------------
// Clipping by a plane

int GBox::ClipByPlane(GVector normal, double c) {
  if (IsEmpty()) return 0;
  const double halfTolerance = GetDistanceTolerance() / 2;
  const GVector n = GUnitVector(normal);
  const GPosition onPlane = GPosition() + -c * n;
  GPosition corners[8];
  GetCorners(corners);
  double s[8];
  bool anyAbove = false, anyBelow = false;
  for (int i = 0; i < 8; ++i) {
    s[i] = GVector::Dot(n, corners[i] - onPlane);
    anyAbove = anyAbove || s[i] > 0.0;
    anyBelow = anyBelow || s[i] < 0.0;
  }
  if (!anyAbove) {
    *this = GBox();
    return 0;
  }
  if (!anyBelow) return 1;

  // The corners kept, those on the plane, and where the edges leaving a kept corner cross the plane.
  GPosition kept[8 * 4];
  unsigned int count = 0;
  for (int i = 0; i < 8; ++i) {
    if (s[i] <= 0.0) {
      if (std::fabs(s[i]) < halfTolerance) kept[count++] = corners[i];
      continue;
    }
    kept[count++] = corners[i];
    for (int axis = 0; axis < 3; ++axis) {
      const double e = corners[i][axis] == low[axis] ? 1.0 : -1.0;
      const double slope = e * n[axis];
      if (!(std::fabs(slope) > halfTolerance)) continue;
      const double t = -s[i] / slope;
      if (0.0 < t && t < high[axis] - low[axis]) {
        GPosition crossing = corners[i];
        crossing[axis] += t * e;
        kept[count++] = crossing;
      }
    }
  }
  *this = GBox(count, kept);
  return 1;
}
