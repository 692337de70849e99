#include <cmath>

#include "geometry/geometry.h"

namespace {

// The part of b perpendicular to the unit vector a: (a x b) x a.
GVector PerpendicularPart(const GVector& a, const GVector& b) { return GVector::Cross(GVector::Cross(a, b), a); }

}  // namespace

// Starting from the axis along which v is smallest keeps the result far from v.
GUnitVector GUnitVector::Perpendicular(const GVector& v) {
  const GUnitVector u(v);
  int k = 0;
  for (int i = 1; i < 3; ++i)
    if (std::fabs(u[i]) < std::fabs(u[k])) k = i;
  GVector axis;
  axis[k] = 1.0;
  return GUnitVector(axis - u[k] * GVector(u));
}

void GVector::MakePerpendicular(const GUnitVector& a, GVector& b) {
  const double length = b.Length();
  const GVector q = PerpendicularPart(a, b);
  if (q.Length() >= GetDistanceTolerance())
    b = GVector(GUnitVector(q)) * length;
  else
    b = GVector(GUnitVector::Perpendicular(a)) * length;
}

// a need not be a unit vector; its direction alone decides what is perpendicular, so that the tolerance
// applies to the part of u and not to that part times the square of a's length.
void GUnitVector::MakePerpendicular(const GVector& a, GUnitVector& u) {
  GVector q = PerpendicularPart(GUnitVector(a), u);
  if (q.Length() < GetDistanceTolerance()) q = Perpendicular(a);
  u = GUnitVector(q);
}
