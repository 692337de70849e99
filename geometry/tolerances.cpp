#include <cmath>
#include <cstring>

#include "geometry/geometry.h"

namespace {

double gDistanceTolerance = 1e-6;
double gRelativeTolerance = 1e-10;
double gFitTolerance = 0.001;
int gValidationSwitch = 1;
unsigned char gTypeGuards[64] = {};

// Curve type codes with a guard slot of their own, slots 1 to 29; every other code shares slot 0.
constexpr unsigned char kGuardedTypeCodes[] = {3,  4,  12, 14, 15,  16,  23,  24,  25,  27,  29,  30,  31,  32, 33,
                                               40, 50, 103, 104, 105, 112, 115, 116, 125, 127, 140, 145, 150, 151};

void Refuse(int* rc, const char* message) {
  if (rc) *rc = 2;
  GeomLogMessage(nullptr, message, 1);
}

}  // namespace

double GetDistanceTolerance() { return gDistanceTolerance; }
double GetRelativeTolerance() { return gRelativeTolerance; }
double GetFitTolerance() { return gFitTolerance; }

// Each bound is formed from the other tolerances as they stand now; the comparisons are written so that a NaN
// fails them and is refused.
void SetDistanceTolerance(double value, int* rc) {
  if (rc) *rc = 0;
  if (!(gFitTolerance * 0.1 > value)) {
    Refuse(rc, "SetDistanceTolerance: distance tolerance not smaller than resfit / 10");
  } else if (gRelativeTolerance * 1000 > value) {
    Refuse(rc, "SetDistanceTolerance: distance tolerance not larger than resnor * 1000");
  } else {
    gDistanceTolerance = value;
  }
}

// A relative tolerance of zero or below would make every relative comparison fail and the distance bound
// above meaningless, so it is refused as well.
void SetRelativeTolerance(double value, int* rc) {
  if (rc) *rc = 0;
  if (gDistanceTolerance * 0.001 > value && value > 0.0) {
    gRelativeTolerance = value;
  } else {
    Refuse(rc, "SetRelativeTolerance: relative tolerance not smaller than resabs / 1000");
  }
}

// An infinite fit tolerance would pass every fit and lift the distance tolerance's bound: refused like NaN.
void SetFitTolerance(double value, int* rc) {
  if (rc) *rc = 0;
  if (value > gDistanceTolerance * 10 && std::isfinite(value)) {
    gFitTolerance = value;
  } else {
    Refuse(rc, "SetFitTolerance: fit tolerance not larger than resabs * 10");
  }
}

int GetValidationSwitch() { return gValidationSwitch; }
void SetValidationSwitch(int value) { gValidationSwitch = value; }
int GetPointArrayFlag() { return 1; }

int TypeGuardSlot(int typeCode) {
  const unsigned char code = static_cast<unsigned char>(typeCode & 0xFF);
  for (int i = 0; i < static_cast<int>(sizeof kGuardedTypeCodes); ++i) {
    if (kGuardedTypeCodes[i] == code) return i + 1;
  }
  return 0;
}

int TestTypeGuard(int typeCode) { return gTypeGuards[TypeGuardSlot(typeCode)]; }
void SetTypeGuard(int typeCode) { gTypeGuards[TypeGuardSlot(typeCode)] = 1; }
void ClearTypeGuard(int typeCode) { gTypeGuards[TypeGuardSlot(typeCode)] = 0; }
void ResetTypeGuards() { std::memset(gTypeGuards, 0, sizeof gTypeGuards); }
