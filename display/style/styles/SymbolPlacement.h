// Where a placed symbol goes: the matrix that scales a symbol by the style's scale S (its y axis also by the
// render context's vertical-axis factor f), turns it to the direction of an oriented point, and moves it to the
// point. It knows nothing of COM, so that the portable build checks it against an independent algebra; the
// point symbol style and the styles that draw through it share it.
#pragma once

#include "geometry/geometry.h"

class SymbolPlacement {
 public:
  SymbolPlacement(double scale, double verticalFactor);

  // False when S or S·f is not a finite number: no matrix places the symbol then.
  bool IsValid() const { return m_valid; }
  // The angle a symbol is turned by for the direction (dx, dy): atan2(f·dy, dx), measured as the vertical axis
  // is drawn.
  double Angle(double dx, double dy) const;
  // The matrix for a plain point (x, y, z): the scaling, moved to the point.
  G4x4 At(const double* point) const;
  // The matrix for an oriented point: turned about z by the angle first, then scaled, then moved to the point.
  G4x4 At(const double* point, double angle) const;

  // Whether every coordinate of the points is finite: for oriented points (nine f64 each) the position and the
  // direction, for plain points (three f64 each) the position.
  static bool ArePlaceable(const double* points, unsigned long count, bool oriented);

 private:
  double m_verticalFactor;
  G4x4 m_scaling;
  bool m_valid;
};
