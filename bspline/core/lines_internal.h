// The small solver shared by the line distance and the segment intersections; not for callers outside bspline/.
#pragma once

namespace bslines {

// Least squares of the 3 x 2 system a x = b (a row by row) by two Householder reflections, in place: a and b are
// overwritten. Answers 0, -1 when a column (or what is left of the second) is shorter than 2.220446049250313e-15,
// or -5 when the second diagonal entry is below 2.220446049250313e-16 (the columns are dependent).
int solve3x2(double a[6], double b[3], double x[2]);

}  // namespace bslines
