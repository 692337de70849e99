// Where a symbol placed along a line lands and which way it points: the position at a distance along the
// piece of line being walked, shifted along and across that piece, and the direction the symbol turns to. It
// knows nothing of COM, so that the portable build checks it against an independent library of the field; the
// line point generator places every symbol through it.
#pragma once

// Distances and angles at or below this count as none.
inline constexpr double kLinePointEpsilon = 1.1920928955078125e-7;

// One placed symbol as an oriented point: position, normal and direction, three f64 each.
struct LinePoint {
  double position[3];
  double normal[3];
  double direction[3];
};

struct LinePointPlacement {
  double along = 0.0;   // shift along the line, in render units
  double across = 0.0;  // shift across the line: to the left of the direction drawn when f > 0
  double angle = 0.0;   // radians
  bool absolute = false;  // the symbol keeps the angle instead of turning with the line
  bool upright = false;   // a symbol turning with the line is never turned to point left or down
  double verticalFactor = 1.0;  // f of the render context

  // The symbol `distance` from `base` along the piece direction `u` (a unit vector in x and y). False, with
  // *out untouched, when an input or the result is not a finite number.
  bool Place(const double* base, double distance, const double* u, LinePoint* out) const;
};
