#include "display/style/styles/LinePointPlacement.h"

#include <cmath>
#include <initializer_list>

#include "geometry/geometry.h"

bool LinePointPlacement::Place(const double* base, double distance, const double* u, LinePoint* out) const {
  for (double value : {distance, along, across, angle, verticalFactor, u[0], u[1]}) {
    if (!std::isfinite(value)) return false;
  }
  const double f = verticalFactor;
  double v[2] = {u[0], u[1]};
  if (!absolute && upright) {
    if (std::fabs(v[0]) >= kLinePointEpsilon) {
      if (v[0] < 0) {
        v[0] = -v[0];
        v[1] = -v[1];
      }
    } else if (v[1] * f < 0) {
      v[1] = -v[1];
    }
  }

  LinePoint p{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}};
  const bool turned = std::fabs(angle) > kLinePointEpsilon;
  if (!absolute && !turned) {
    p.direction[0] = v[0];
    p.direction[1] = v[1];
  } else if (turned) {
    const double t = absolute ? angle : std::atan2(v[1], v[0]) + angle;
    p.direction[0] = std::cos(t);
    p.direction[1] = std::sin(t);
  }

  // The place on the line follows the piece as walked; only the shifts follow the upright direction.
  p.position[0] = base[0] + distance * u[0];
  p.position[1] = base[1] + distance * u[1];
  if (std::fabs(along) > kLinePointEpsilon) {
    p.position[0] += along * v[0];
    p.position[1] += along * v[1];
  }
  if (std::fabs(across) > kLinePointEpsilon) {
    const GUnitVector n(-v[1] * f, v[0] * f, 0.0);
    p.position[0] += across * n.x;
    p.position[1] += across * n.y;
  }

  for (int k = 0; k < 2; ++k) {
    if (!std::isfinite(p.position[k]) || !std::isfinite(p.direction[k])) return false;
  }
  *out = p;
  return true;
}
