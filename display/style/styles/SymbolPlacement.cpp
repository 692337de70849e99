#include "display/style/styles/SymbolPlacement.h"

#include <cmath>
#include <cstddef>

namespace {

// Adds the point to the translation of a matrix that places row vectors.
G4x4 MovedTo(G4x4 m, const double* point) {
  m.m_matrix[12] += point[0];
  m.m_matrix[13] += point[1];
  m.m_matrix[14] += point[2];
  return m;
}

}  // namespace

SymbolPlacement::SymbolPlacement(double scale, double verticalFactor)
    : m_verticalFactor(verticalFactor),
      m_valid(std::isfinite(scale) && std::isfinite(scale * verticalFactor)) {
  int rc = 0;
  u4x4Scale(scale, scale * verticalFactor, scale, m_scaling, &rc);
}

double SymbolPlacement::Angle(double dx, double dy) const { return std::atan2(m_verticalFactor * dy, dx); }

G4x4 SymbolPlacement::At(const double* point) const { return MovedTo(m_scaling, point); }

G4x4 SymbolPlacement::At(const double* point, double angle) const {
  static const GUnitVector kZAxis(0.0, 0.0, 1.0);
  G4x4 rotation;
  int rc = 0;
  u4x4RotateAngle(angle, kZAxis, rotation, &rc);
  // The product applies its right operand first: the symbol turns, then scales.
  return MovedTo(m_scaling * rotation, point);
}

bool SymbolPlacement::ArePlaceable(const double* points, unsigned long count, bool oriented) {
  const std::size_t stride = oriented ? 9 : 3;
  for (std::size_t i = 0; i < count; ++i) {
    const double* p = points + i * stride;
    for (int k = 0; k < 3; ++k) {
      if (!std::isfinite(p[k]) || (oriented && !std::isfinite(p[6 + k]))) return false;
    }
  }
  return true;
}
