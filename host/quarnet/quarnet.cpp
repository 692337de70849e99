#include "host/quarnet/quarnet.h"

#include <algorithm>

extern "C" {

void QnRectangle2d(const double* origin, double width, double height, double, QuarnetFigure2d* figure,
                   LONG* rc) {
  LONG code = 1;
  if (origin && figure) {
    const double corners[4][2] = {{0.0, 0.0}, {width, 0.0}, {width, height}, {0.0, height}};
    for (int i = 0; i < 4; ++i) {
      figure->points[i][0] = origin[0] + corners[i][0];
      figure->points[i][1] = origin[1] + corners[i][1];
    }
    figure->points[4][0] = figure->points[0][0];
    figure->points[4][1] = figure->points[0][1];
    figure->pointCount = 5;
    figure->closed = 1;
    code = 0;
  }
  if (rc) *rc = code;
}

void QnRange2d(const QuarnetFigure2d* figure, double* range, LONG* rc) {
  LONG code = 1;
  if (figure && range && figure->pointCount > 0 && figure->pointCount <= 5) {
    double lo[2] = {figure->points[0][0], figure->points[0][1]};
    double hi[2] = {lo[0], lo[1]};
    for (DWORD i = 1; i < figure->pointCount; ++i) {
      for (int k = 0; k < 2; ++k) {
        lo[k] = std::min(lo[k], figure->points[i][k]);
        hi[k] = std::max(hi[k], figure->points[i][k]);
      }
    }
    range[0] = lo[0];
    range[1] = lo[1];
    range[2] = hi[0];
    range[3] = hi[1];
    code = 0;
  }
  if (rc) *rc = code;
}

}  // extern "C"
