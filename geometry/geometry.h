// The geometry layer: process-wide tolerances and diagnostics, and the value classes (vectors, points,
// matrices) that the style code and the typed curves pass around.
//
// The value classes are plain records: their fields are the coordinates in the order given, with no virtual
// operations and no heap memory, so that arrays of them can be handed to the B-spline library as they lie.
// They neither throw nor answer codes: a bad input writes a message through GeomLogMessage and the operation
// completes with a fallback value.
#pragma once

#include <cstdint>
#include <cstdio>
#include <type_traits>

// ---------------------------------------------------------------------------------------------------------
// Tolerances and switches (process-wide, unlocked: the layer is used by one thread at a time)

double GetDistanceTolerance();  // "resabs"
double GetRelativeTolerance();  // "resnor"
double GetFitTolerance();       // "resfit"
// Each setter sets *rc to 0, or to 2 when it refuses the value, which it then keeps.
void SetDistanceTolerance(double value, int* rc);
void SetRelativeTolerance(double value, int* rc);
void SetFitTolerance(double value, int* rc);

// 0 makes every typed-curve validator report its record as valid without looking at it.
int GetValidationSwitch();
void SetValidationSwitch(int value);
// Positions of line strings and B-spline poles share the B-spline library's layout of three doubles.
int GetPointArrayFlag();

// Re-entrancy guard of the validators, one byte per curve type (only the low 8 bits of a code count).
int TypeGuardSlot(int typeCode);
int TestTypeGuard(int typeCode);
void SetTypeGuard(int typeCode);
void ClearTypeGuard(int typeCode);
void ResetTypeGuards();

// ---------------------------------------------------------------------------------------------------------
// Debug switches in the registry and the validation log "math_assert_release.log"

inline constexpr char kGeomLogFileName[] = "math_assert_release.log";

int ReadValidateMathEnabled();
int IsValidateMathEnabled();  // read once, then cached until ResetValidateMathCache
void ResetValidateMathCache();
int QuerySkipCheckGeom3dBoundaries();
int QueryValidateBndSelfInterXO();
// Reads a value of the debug key, creating it with the default when it is missing; a created value reads 0.
std::uint32_t GetDebugRegistryValue(const char* valueName, std::uint32_t defaultValue);

int Gassert(const char* message);
// One message line: to the stream when one is given, else to the log file when "ValidateReleaseMath" is 2 or
// more. The flag is accepted for the callers' sake and has no effect.
void GeomLogMessage(FILE* stream, const char* message, int flag);
// Opens the log file for a record dump into *stream when the level reaches the threshold; answers the level.
int OpenDumpLog(FILE** stream, int threshold);
// The log and the dump opener create a missing "ValidateReleaseMath" once per process; this starts over.
void ResetDiagnosticsFirstUse();

// ---------------------------------------------------------------------------------------------------------
// Constants shared by the value classes

inline constexpr double kGeomNullLimit = 1.1102230246251565e-14;            // 50 * 2^-52
inline constexpr double kGeomNullLimitSquared = 1.232595164407831e-28;
inline constexpr double kGeomUnitBandLow = 0.9999999999999889;              // squared length, 1 - 50 * 2^-52
inline constexpr double kGeomUnitBandHigh = 1.000000000000011;              // 1 + 50 * 2^-52
inline constexpr double kGeomNarrowUnitBandLow = 0.9999999999999998;        // 1 - 2^-52
inline constexpr double kGeomNarrowUnitBandHigh = 1.0000000000000002;       // 1 + 2^-52
inline constexpr double kGeomDivideGuard = 2.220446049250313e-16;           // 2^-52
inline constexpr double kGeomInfinity = 1e30;

static_assert(kGeomNullLimit == 50 * 0x1p-52 && kGeomNullLimitSquared == kGeomNullLimit * kGeomNullLimit);
static_assert(kGeomUnitBandLow == 1 - 50 * 0x1p-52 && kGeomUnitBandHigh == 1 + 50 * 0x1p-52);
static_assert(kGeomNarrowUnitBandLow == 1 - 0x1p-52 && kGeomNarrowUnitBandHigh == 1 + 0x1p-52);
static_assert(kGeomDivideGuard == 0x1p-52);

class GVector2d;
class GUnitVector2d;
class GPosition2d;
class GVector;
class GUnitVector;
class GPosition;

// ---------------------------------------------------------------------------------------------------------
// 2D vectors and points

class GVector2d {
 public:
  double x = 0.0;
  double y = 0.0;

  GVector2d() = default;
  GVector2d(double x_, double y_) : x(x_), y(y_) {}

  double& operator[](int i);
  double operator[](int i) const;

  bool IsNull() const;
  bool IsNull(double tol) const;
  bool IsEqual(const GVector2d& v) const;
  bool IsParallel(const GVector2d& v) const;
  bool IsPerpendicular(const GVector2d& v) const;

  GVector2d& operator+=(const GVector2d& v) { x += v.x; y += v.y; return *this; }
  GVector2d& operator-=(const GVector2d& v) { x -= v.x; y -= v.y; return *this; }
  GVector2d& operator*=(double s) { x *= s; y *= s; return *this; }
  GVector2d& operator/=(double s);

  double Length() const;
  static double Dot(const GVector2d& a, const GVector2d& b) { return a.x * b.x + a.y * b.y; }
  static double Cross(const GVector2d& a, const GVector2d& b) { return a.x * b.y - a.y * b.x; }
  // The signed angle from a to b, counter-clockwise positive; 0 when either is null.
  static double Angle(const GVector2d& a, const GVector2d& b);
  // The unit vector a quarter turn counter-clockwise from v.
  static GUnitVector2d Perpendicular(const GVector2d& v);
};

inline GVector2d operator+(const GVector2d& a, const GVector2d& b) { return {a.x + b.x, a.y + b.y}; }
inline GVector2d operator-(const GVector2d& a, const GVector2d& b) { return {a.x - b.x, a.y - b.y}; }
inline GVector2d operator-(const GVector2d& v) { return {-v.x, -v.y}; }
inline GVector2d operator*(const GVector2d& v, double s) { return {v.x * s, v.y * s}; }
inline GVector2d operator*(double s, const GVector2d& v) { return {s * v.x, s * v.y}; }
GVector2d operator/(const GVector2d& v, double s);

class GUnitVector2d {
 public:
  double x = 0.0;
  double y = 0.0;

  GUnitVector2d() = default;
  // Kept as given when the squared length lies in the unit band, else divided by the length; a null vector
  // gives (0, 0) and a message.
  GUnitVector2d(double x_, double y_);
  explicit GUnitVector2d(const GVector2d& v) : GUnitVector2d(v.x, v.y) {}
  // The same with a narrower band and the caller's null tolerance (null when the length is below it);
  // *rc = 2 for a null vector, else 0.
  GUnitVector2d(double x_, double y_, double tol, int* rc);

  operator GVector2d() const { return {x, y}; }

  double& operator[](int i);
  double operator[](int i) const;

  GUnitVector2d& operator+=(const GVector2d& v);
  GUnitVector2d& operator-=(const GVector2d& v);
};

class GPosition2d {
 public:
  double x = 0.0;
  double y = 0.0;

  GPosition2d() = default;
  GPosition2d(double x_, double y_) : x(x_), y(y_) {}

  double& operator[](int i);
  double operator[](int i) const;

  bool IsEqual(const GPosition2d& p) const;
  bool IsInfinite() const;

  GPosition2d& operator+=(const GVector2d& v) { x += v.x; y += v.y; return *this; }
  GPosition2d& operator-=(const GVector2d& v) { x -= v.x; y -= v.y; return *this; }

  // a + t (b - a); t is not clamped.
  static GPosition2d Interpolate(double t, const GPosition2d& a, const GPosition2d& b);
  static double Dot(const GPosition2d& p, const GVector2d& v) { return p.x * v.x + p.y * v.y; }
  static double Dot(const GVector2d& v, const GPosition2d& p) { return v.x * p.x + v.y * p.y; }
  static double Distance(const GPosition2d& a, const GPosition2d& b);
};

inline GPosition2d operator+(const GPosition2d& p, const GVector2d& v) { return {p.x + v.x, p.y + v.y}; }
inline GPosition2d operator+(const GVector2d& v, const GPosition2d& p) { return {v.x + p.x, v.y + p.y}; }
inline GPosition2d operator-(const GPosition2d& p, const GVector2d& v) { return {p.x - v.x, p.y - v.y}; }
inline GVector2d operator-(const GPosition2d& a, const GPosition2d& b) { return {a.x - b.x, a.y - b.y}; }

// ---------------------------------------------------------------------------------------------------------
// 3D vectors and points

class GVector {
 public:
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  GVector() = default;
  GVector(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
  GVector(const GVector2d& v) : x(v.x), y(v.y), z(0.0) {}

  double& operator[](int i);
  double operator[](int i) const;

  bool IsNull() const;
  bool IsNull(double tol) const;
  bool IsEqual(const GVector& v) const;
  bool IsParallel(const GVector& v) const;
  bool IsPerpendicular(const GVector& v) const;

  GVector& operator+=(const GVector& v) { x += v.x; y += v.y; z += v.z; return *this; }
  GVector& operator-=(const GVector& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
  GVector& operator*=(double s) { x *= s; y *= s; z *= s; return *this; }
  GVector& operator/=(double s);

  double Length() const;
  static double Dot(const GVector& a, const GVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
  static GVector Cross(const GVector& a, const GVector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  }
  // The unsigned angle between a and b, 0 to pi; 0 when either is null.
  static double Angle(const GVector& a, const GVector& b);

  // (x, y); a z beyond the distance tolerance is logged and dropped.
  GVector2d& Convert2d(GVector2d& out) const;
};

inline GVector operator+(const GVector& a, const GVector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline GVector operator-(const GVector& a, const GVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline GVector operator-(const GVector& v) { return {-v.x, -v.y, -v.z}; }
inline GVector operator*(const GVector& v, double s) { return {v.x * s, v.y * s, v.z * s}; }
inline GVector operator*(double s, const GVector& v) { return {s * v.x, s * v.y, s * v.z}; }
GVector operator/(const GVector& v, double s);

class GUnitVector {
 public:
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  GUnitVector() = default;
  // Kept as given when the squared length lies in the unit band, else divided by the length; a null vector
  // gives (0, 0, 0) and a message. (0, 0, 0) is the only trace of a failed construction.
  GUnitVector(double x_, double y_, double z_);
  explicit GUnitVector(const GVector& v) : GUnitVector(v.x, v.y, v.z) {}
  // The same with the caller's null tolerance (null when the length is at most tol); *rc = 2 when null.
  GUnitVector(double x_, double y_, double z_, double tol, int* rc);
  // The direction from one point to another.
  GUnitVector(const GPosition& from, const GPosition& to);
  // Taken as it is, without normalising again.
  GUnitVector(const GUnitVector2d& u) : x(u.x), y(u.y), z(0.0) {}

  operator GVector() const { return {x, y, z}; }

  double& operator[](int i);
  double operator[](int i) const;

  // Null when every component is below the distance tolerance.
  bool IsNull() const;
  // Compares with the relative tolerance, as befits directions.
  bool IsEqual(const GUnitVector& u) const;
  bool IsParallel(const GVector& v) const;
  bool IsPerpendicular(const GVector& v) const;

  GUnitVector& operator+=(const GVector& v);
  GUnitVector& operator-=(const GVector& v);

  // GUnitVector2d (x, y), so renormalised in the plane; a z beyond the distance tolerance is logged.
  GUnitVector2d& Convert2d(GUnitVector2d& out) const;
};

class GPosition {
 public:
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  GPosition() = default;
  GPosition(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
  GPosition(const GPosition2d& p) : x(p.x), y(p.y), z(0.0) {}

  double& operator[](int i);
  double operator[](int i) const;

  bool IsEqual(const GPosition& p) const;
  bool IsInfinite() const;

  GPosition& operator+=(const GVector& v) { x += v.x; y += v.y; z += v.z; return *this; }
  GPosition& operator-=(const GVector& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }

  // a + t (b - a); t is not clamped.
  static GPosition Interpolate(double t, const GPosition& a, const GPosition& b);
  static double Distance(const GPosition& a, const GPosition& b);

  // (x, y); a z beyond the distance tolerance is logged and dropped. Both forms are in use.
  GPosition2d& Convert2d(GPosition2d& out) const;
  GPosition2d Convert2d() const;
};

inline GPosition operator+(const GPosition& p, const GVector& v) { return {p.x + v.x, p.y + v.y, p.z + v.z}; }
inline GPosition operator+(const GVector& v, const GPosition& p) { return {v.x + p.x, v.y + p.y, v.z + p.z}; }
inline GPosition operator-(const GPosition& p, const GVector& v) { return {p.x - v.x, p.y - v.y, p.z - v.z}; }
inline GVector operator-(const GPosition& a, const GPosition& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// ---------------------------------------------------------------------------------------------------------
// 3x3 and 2x2 matrices. Row vectors are multiplied from the left (x M), so A * B applies A first.

class GMatrix {
 public:
  double m[3][3] = {};  // row-major

  GMatrix() = default;
  GMatrix(double m00, double m01, double m02, double m10, double m11, double m12, double m20, double m21,
          double m22)
      : m{{m00, m01, m02}, {m10, m11, m12}, {m20, m21, m22}} {}
  // columns 0 lays the vectors in the rows, any other value in the columns.
  GMatrix(const GUnitVector& a, const GUnitVector& b, const GUnitVector& c, int columns);
  GMatrix(const GVector& a, const GVector& b, const GVector& c, int columns);
  static GMatrix Identity() { return {1, 0, 0, 0, 1, 0, 0, 0, 1}; }

  GVector operator[](int i) const;  // row i

  bool IsEqual(const GMatrix& b) const;
  bool IsZero() const;
  bool IsIdentity() const;
  double Determinant() const;
  GMatrix& Transpose(GMatrix& out) const;
  GMatrix& operator*=(const GMatrix& b);
  // A rotation or reflection with unit scale.
  bool IsOrthogonal() const;

  // Rotation about an axis through the origin; the axis is used as stored.
  static void Rotation(double cos, double sin, const GUnitVector& axis, GMatrix& out);
  static void Rotation(double angle, const GUnitVector& axis, GMatrix& out);
  // Mirror in the plane through the origin with normal n.
  static void Reflection(const GUnitVector& n, GMatrix& out);

  // One Newton step towards the nearest orthonormal matrix, M (3I - M^T M) / 2; *rc = 0.
  static void OrthonormalizeStep(const GMatrix& m, GMatrix& out, int* rc);
  // Steps until they no longer change the matrix; *rc = 2 and out = m when six steps do not settle.
  static void Orthonormalize(const GMatrix& m, GMatrix& out, int* rc);
  // How far the rows are from orthonormal: the largest deviation of a squared length from 1 and the largest
  // inner product of two different rows.
  static void OrthogonalityDeviation(const GMatrix& m, double* diagonal, double* offDiagonal);
};

GMatrix operator*(const GMatrix& a, const GMatrix& b);

class GMatrix2d {
 public:
  double m[2][2] = {};  // row-major

  GMatrix2d() = default;
  GMatrix2d(double m00, double m01, double m10, double m11) : m{{m00, m01}, {m10, m11}} {}
  GMatrix2d(const GUnitVector2d& a, const GUnitVector2d& b, int columns);
  GMatrix2d(const GVector2d& a, const GVector2d& b, int columns);
  static GMatrix2d Identity() { return {1, 0, 0, 1}; }

  GVector2d operator[](int i) const;  // row i

  bool IsEqual(const GMatrix2d& b) const;
  bool IsZero() const;
  bool IsIdentity() const;
  double Determinant() const;
  GMatrix2d& Transpose(GMatrix2d& out) const;
  GMatrix2d& operator*=(const GMatrix2d& b);
  bool IsOrthogonal() const;

  static void Rotation(double cos, double sin, GMatrix2d& out);
  static void Rotation(double angle, GMatrix2d& out);
  // Mirror in the line through the origin along the direction.
  static void Reflection(const GUnitVector2d& direction, GMatrix2d& out);

  static void OrthonormalizeStep(const GMatrix2d& m, GMatrix2d& out, int* rc);
};

GMatrix2d operator*(const GMatrix2d& a, const GMatrix2d& b);

// ---------------------------------------------------------------------------------------------------------
// Symmetric eigenvalues and the uniform-scale test

// Eigenvalues of the symmetric n x n matrix a (row-major, lda doubles per row; only the upper triangle is
// read) into d, in descending order; with job 2 the eigenvectors into the rows of v (n x n). *rc = 1 when the
// workspace for n of 9 or more cannot be allocated, else 0.
void SymmetricEigen(int n, int lda, const double* a, int job, double* d, double* v, int* rc);
// Whether the n x n matrix a (n = 2 or 3, row-major) is an orthogonal matrix times one scale factor, judged by
// its singular values; *scale is their mean, or the largest double when one of them is zero.
void IsUniformScale(const double* a, int n, int* uniform, double* scale, int* rc);

// ---------------------------------------------------------------------------------------------------------
// Layouts: these records are shared with the B-spline library and stored in curve records.

#define GEOM_PLAIN_RECORD(T, size)                                                                           \
  static_assert(sizeof(T) == (size) && std::is_standard_layout_v<T> && std::is_trivially_copyable_v<T>,    \
                #T " must stay a plain record")
GEOM_PLAIN_RECORD(GVector2d, 16);
GEOM_PLAIN_RECORD(GUnitVector2d, 16);
GEOM_PLAIN_RECORD(GPosition2d, 16);
GEOM_PLAIN_RECORD(GVector, 24);
GEOM_PLAIN_RECORD(GUnitVector, 24);
GEOM_PLAIN_RECORD(GPosition, 24);
GEOM_PLAIN_RECORD(GMatrix, 72);
GEOM_PLAIN_RECORD(GMatrix2d, 32);
#undef GEOM_PLAIN_RECORD
