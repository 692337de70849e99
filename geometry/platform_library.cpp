// Both sides of the seam to the host's 2D geometry library. The calls are the same on each; what differs is
// the link: on Windows these entry points are imports of quarnet.dll, natively the library is static.
#include "geometry/platform.h"

#include "host/quarnet/geom_services.h"

namespace geomplatform {

void* GeomMalloc(std::size_t bytes) { return ::GeomMalloc(bytes); }
void* GeomCalloc(std::size_t count, std::size_t size) { return ::GeomCalloc(count, size); }
void GeomFree(void* block) { ::GeomFree(block); }
void GeomRcFromMathError(int code, int* rc) { ::GeomRcFromMathError(code, rc); }

void GeomType150Copy(std::uintptr_t word1, std::uintptr_t word2, std::uintptr_t word4, std::uintptr_t word5,
                     void* block, int* rc) {
  ::GeomType150Copy(word1, word2, word4, word5, block, rc);
}
void GeomType150Clone(const void* source, void* destination, int* rc) {
  ::GeomType150Clone(source, destination, rc);
}
void GeomType150Free(void* record, int* rc) { ::GeomType150Free(record, rc); }
void GeomType150EndPoints(const void* record, double start[3], double end[3], int* rc) {
  ::GeomType150EndPoints(record, start, end, rc);
}
void GeomType150Validate(std::FILE* stream, const void* record, int* valid, int* rc) {
  ::GeomType150Validate(stream, record, valid, rc);
}
void GeomType150Print(std::FILE* stream, const void* record, int verbose, int* rc) {
  ::GeomType150Print(stream, record, verbose, rc);
}

void GeomScopeOfPoles(int count, const double* poles, int rational, const double* weights, std::uint8_t* scope,
                      int* rc) {
  ::GeomScopeOfPoles(count, poles, rational, weights, scope, rc);
}
void GeomFormFromScope(const VOQbsp_curve* curve, std::uint8_t scope, std::uint8_t* form, int* rc) {
  ::GeomFormFromScope(curve, scope, form, rc);
}
void GeomPointsToLineString(int n, const double* points, int dimension, int mode, int* aux, int* m, double* out,
                            int* rc) {
  ::GeomPointsToLineString(n, points, dimension, mode, aux, m, out, rc);
}
void GeomValidateKnots(int count, int order, const double* knots, double tolerance, int* ok, int* rc) {
  ::GeomValidateKnots(count, order, knots, tolerance, ok, rc);
}
void GeomSetDistTolerance(double value, int* rc) { ::GeomSetDistTolerance(value, rc); }
void GeomSetRelTolerance(double value, int* rc) { ::GeomSetRelTolerance(value, rc); }
void GeomLoopOrientation(int n, const double* points, int* orientation) {
  ::GeomLoopOrientation(n, points, orientation);
}

}  // namespace geomplatform
