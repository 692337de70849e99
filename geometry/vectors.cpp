#include <cmath>

#include "geometry/geometry.h"

namespace {

void Log(const char* message) { GeomLogMessage(nullptr, message, 1); }

// How a unit-vector constructor decides: which squared lengths are kept as they are, and below which length
// the vector counts as null.
struct UnitRule {
  double bandLow;
  double bandHigh;
  double nullLength;
  bool nullAtLimit;  // whether a length equal to nullLength is null too
};

constexpr UnitRule kPlainUnitRule = {kGeomUnitBandLow, kGeomUnitBandHigh, kGeomNullLimit, true};

// Normalises c[0..n) in place by the rule; false (and all zeros) when the vector is null. Inside the band the
// components stay bit for bit as given, so that repeated construction does not drift.
template <int N>
bool Normalise(double (&c)[N], const UnitRule& rule) {
  double s = 0.0;
  for (double v : c) s += v * v;
  if (rule.bandLow <= s && s <= rule.bandHigh) return true;
  const double length = std::sqrt(s);
  if (rule.nullAtLimit ? length <= rule.nullLength : length < rule.nullLength) {
    for (double& v : c) v = 0.0;
    return false;
  }
  const double f = 1.0 / length;
  for (double& v : c) v *= f;
  return true;
}

template <int N>
bool ComponentsNull(const double (&c)[N], double limit, double limitSquared) {
  double s = 0.0;
  for (double v : c) {
    if (!(std::fabs(v) <= limit)) return false;
    s += v * v;
  }
  return s <= limitSquared;
}

// A divisor too small to divide by sends every component to the infinity stand-in of its sign; zero and NaN
// components go to the negative side.
double DivideOrInfinity(double component, double divisor) {
  if (std::fabs(divisor) < kGeomDivideGuard) return component > 0.0 ? kGeomInfinity : -kGeomInfinity;
  return component / divisor;
}

template <int N>
double SquaredDistance(const double (&a)[N], const double (&b)[N]) {
  double s = 0.0;
  for (int i = 0; i < N; ++i) s += (b[i] - a[i]) * (b[i] - a[i]);
  return s;
}

// An index outside the record answers its last component after the message; nothing outside is touched.
template <typename T>
auto& Component(T& value, int i, const char* message) {
  if (i == 0) return value.x;
  if constexpr (requires { value.z; }) {
    if (i == 1) return value.y;
    if (i != 2) Log(message);
    return value.z;
  } else {
    if (i != 1) Log(message);
    return value.y;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// GVector2d

double& GVector2d::operator[](int i) { return Component(*this, i, "GVector2d: index is out of range"); }
double GVector2d::operator[](int i) const { return Component(*this, i, "GVector2d: index is out of range"); }

bool GVector2d::IsNull() const { return ComponentsNull<2>({x, y}, kGeomNullLimit, kGeomNullLimitSquared); }
bool GVector2d::IsNull(double tol) const { return ComponentsNull<2>({x, y}, tol, tol * tol); }

bool GVector2d::IsEqual(const GVector2d& v) const {
  const double d = GetDistanceTolerance();
  return SquaredDistance<2>({x, y}, {v.x, v.y}) <= d * d;
}

// A null operand becomes (0, 0) and so counts as both parallel and perpendicular to anything.
bool GVector2d::IsParallel(const GVector2d& v) const {
  const GUnitVector2d u1(x, y), u2(v.x, v.y);
  return std::fabs(u1.x * u2.y - u1.y * u2.x) < GetRelativeTolerance();
}

bool GVector2d::IsPerpendicular(const GVector2d& v) const {
  const GUnitVector2d u1(x, y), u2(v.x, v.y);
  return std::fabs(u1.x * u2.x + u1.y * u2.y) < GetRelativeTolerance();
}

GVector2d operator/(const GVector2d& v, double s) {
  if (std::fabs(s) < kGeomDivideGuard) Log("GVector2d: trying to divide by 0.0");
  return {DivideOrInfinity(v.x, s), DivideOrInfinity(v.y, s)};
}

GVector2d& GVector2d::operator/=(double s) { return *this = *this / s; }

double GVector2d::Length() const { return std::sqrt(x * x + y * y); }

double GVector2d::Angle(const GVector2d& a, const GVector2d& b) {
  if (a.IsNull() || b.IsNull()) return 0.0;
  return std::atan2(a.x * b.y - a.y * b.x, a.x * b.x + a.y * b.y);
}

GUnitVector2d GVector2d::Perpendicular(const GVector2d& v) { return GUnitVector2d(-v.y, v.x); }

// ---------------------------------------------------------------------------------------------------------
// GUnitVector2d

GUnitVector2d::GUnitVector2d(double x_, double y_) {
  double c[2] = {x_, y_};
  if (!Normalise(c, kPlainUnitRule)) Log("GUnitVector2d: tried to create a NULL unit vector");
  x = c[0];
  y = c[1];
}

GUnitVector2d::GUnitVector2d(double x_, double y_, double tol, int* rc) {
  if (rc) *rc = 0;
  double c[2] = {x_, y_};
  if (!Normalise(c, {kGeomNarrowUnitBandLow, kGeomNarrowUnitBandHigh, tol, false})) {
    Log("GUnitVector2d: tried to create a NULL unit vector");
    if (rc) *rc = 2;
  }
  x = c[0];
  y = c[1];
}

double& GUnitVector2d::operator[](int i) { return Component(*this, i, "GVector2d: index is out of range"); }
double GUnitVector2d::operator[](int i) const { return Component(*this, i, "GVector2d: index is out of range"); }

GUnitVector2d& GUnitVector2d::operator+=(const GVector2d& v) { return *this = GUnitVector2d(x + v.x, y + v.y); }
GUnitVector2d& GUnitVector2d::operator-=(const GVector2d& v) { return *this = GUnitVector2d(x - v.x, y - v.y); }

// ---------------------------------------------------------------------------------------------------------
// GPosition2d

double& GPosition2d::operator[](int i) { return Component(*this, i, "GPosition2d: index out of bounds"); }
double GPosition2d::operator[](int i) const { return Component(*this, i, "GPosition2d: index out of bounds"); }

bool GPosition2d::IsEqual(const GPosition2d& p) const {
  const double d = GetDistanceTolerance();
  return SquaredDistance<2>({x, y}, {p.x, p.y}) <= d * d;
}

bool GPosition2d::IsInfinite() const { return IsEqual({kGeomInfinity, kGeomInfinity}); }

GPosition2d GPosition2d::Interpolate(double t, const GPosition2d& a, const GPosition2d& b) {
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
}

double GPosition2d::Distance(const GPosition2d& a, const GPosition2d& b) {
  return std::sqrt(SquaredDistance<2>({a.x, a.y}, {b.x, b.y}));
}

// ---------------------------------------------------------------------------------------------------------
// GVector

double& GVector::operator[](int i) { return Component(*this, i, "GVector: index is out of range"); }
double GVector::operator[](int i) const { return Component(*this, i, "GVector: index is out of range"); }

bool GVector::IsNull() const { return ComponentsNull<3>({x, y, z}, kGeomNullLimit, kGeomNullLimitSquared); }
bool GVector::IsNull(double tol) const { return ComponentsNull<3>({x, y, z}, tol, tol * tol); }

bool GVector::IsEqual(const GVector& v) const {
  const double d = GetDistanceTolerance();
  return SquaredDistance<3>({x, y, z}, {v.x, v.y, v.z}) <= d * d;
}

// A null operand becomes (0, 0, 0) and so counts as both parallel and perpendicular to anything.
bool GVector::IsParallel(const GVector& v) const { return GUnitVector(*this).IsParallel(v); }
bool GVector::IsPerpendicular(const GVector& v) const { return GUnitVector(*this).IsPerpendicular(v); }

GVector operator/(const GVector& v, double s) {
  if (std::fabs(s) < kGeomDivideGuard) Log("GVector: trying to divide by 0.0");
  return {DivideOrInfinity(v.x, s), DivideOrInfinity(v.y, s), DivideOrInfinity(v.z, s)};
}

GVector& GVector::operator/=(double s) { return *this = *this / s; }

double GVector::Length() const { return std::sqrt(x * x + y * y + z * z); }

double GVector::Angle(const GVector& a, const GVector& b) {
  if (a.IsNull() || b.IsNull()) return 0.0;
  return std::atan2(Cross(a, b).Length(), Dot(a, b));
}

GVector2d& GVector::Convert2d(GVector2d& out) const {
  if (std::fabs(z) > GetDistanceTolerance()) Log("Convert2d: Gvector z coordinate greater 0.0");
  out = {x, y};
  return out;
}

// ---------------------------------------------------------------------------------------------------------
// GUnitVector

GUnitVector::GUnitVector(double x_, double y_, double z_) {
  double c[3] = {x_, y_, z_};
  if (!Normalise(c, kPlainUnitRule)) Log("GUnitVector: tried to create a NULL unit vector");
  x = c[0];
  y = c[1];
  z = c[2];
}

GUnitVector::GUnitVector(double x_, double y_, double z_, double tol, int* rc) {
  if (rc) *rc = 0;
  double c[3] = {x_, y_, z_};
  if (!Normalise(c, {kGeomUnitBandLow, kGeomUnitBandHigh, tol, true})) {
    Log("GUnitVector: tried to create a NULL unit vector");
    if (rc) *rc = 2;
  }
  x = c[0];
  y = c[1];
  z = c[2];
}

GUnitVector::GUnitVector(const GPosition& from, const GPosition& to) : GUnitVector(to - from) {}

double& GUnitVector::operator[](int i) { return Component(*this, i, "GVector: index is out of range"); }
double GUnitVector::operator[](int i) const { return Component(*this, i, "GVector: index is out of range"); }

bool GUnitVector::IsNull() const {
  const double d = GetDistanceTolerance();
  return std::fabs(x) < d && std::fabs(y) < d && std::fabs(z) < d;
}

bool GUnitVector::IsEqual(const GUnitVector& u) const {
  const double r = GetRelativeTolerance();
  return SquaredDistance<3>({x, y, z}, {u.x, u.y, u.z}) <= r * r;
}

bool GUnitVector::IsParallel(const GVector& v) const {
  return GVector::Cross(*this, GUnitVector(v)).Length() < GetRelativeTolerance();
}

bool GUnitVector::IsPerpendicular(const GVector& v) const {
  return std::fabs(GVector::Dot(*this, GUnitVector(v))) < GetRelativeTolerance();
}

GUnitVector& GUnitVector::operator+=(const GVector& v) { return *this = GUnitVector(x + v.x, y + v.y, z + v.z); }
GUnitVector& GUnitVector::operator-=(const GVector& v) { return *this = GUnitVector(x - v.x, y - v.y, z - v.z); }

GUnitVector2d& GUnitVector::Convert2d(GUnitVector2d& out) const {
  if (std::fabs(z) > GetDistanceTolerance()) Log("Convert2d: GUnitvector z coordinate greater 0.0");
  out = GUnitVector2d(x, y);
  return out;
}

// ---------------------------------------------------------------------------------------------------------
// GPosition

double& GPosition::operator[](int i) { return Component(*this, i, "GPosition: index out of bounds"); }
double GPosition::operator[](int i) const { return Component(*this, i, "GPosition: index out of bounds"); }

bool GPosition::IsEqual(const GPosition& p) const {
  const double d = GetDistanceTolerance();
  return SquaredDistance<3>({x, y, z}, {p.x, p.y, p.z}) <= d * d;
}

bool GPosition::IsInfinite() const { return IsEqual({kGeomInfinity, kGeomInfinity, kGeomInfinity}); }

GPosition GPosition::Interpolate(double t, const GPosition& a, const GPosition& b) {
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}

double GPosition::Distance(const GPosition& a, const GPosition& b) {
  return std::sqrt(SquaredDistance<3>({a.x, a.y, a.z}, {b.x, b.y, b.z}));
}

GPosition2d& GPosition::Convert2d(GPosition2d& out) const {
  if (std::fabs(z) > GetDistanceTolerance()) Log("Convert2d: GPosition z coordinate > distanceTolerance");
  out = {x, y};
  return out;
}

GPosition2d GPosition::Convert2d() const {
  GPosition2d out;
  return Convert2d(out);
}
