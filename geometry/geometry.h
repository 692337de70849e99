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
class GMatrix;
class GMatrix2d;
class GTransf;
class GTransf2d;
class G4x4;

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
  GVector2d& operator*=(const GMatrix2d& m);  // row form, checked
  GVector2d& operator*=(const GTransf2d& t);  // no translation

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
  GUnitVector2d& operator*=(const GMatrix2d& m);
  GUnitVector2d& operator*=(const GTransf2d& t);  // the matrix alone
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
  GPosition2d& operator*=(const GMatrix2d& m);  // row form
  GPosition2d& operator*=(const GTransf2d& t);
  GPosition2d& operator*=(const G4x4& m);       // G4x4 * p, the translating product

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
  GVector& operator*=(const GMatrix& m);  // row form
  GVector& operator*=(const GTransf& t);  // no translation
  GVector& operator*=(const G4x4& m);     // G4x4 * v

  double Length() const;
  static double Dot(const GVector& a, const GVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
  static GVector Cross(const GVector& a, const GVector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  }
  // The unsigned angle between a and b, 0 to pi; 0 when either is null.
  static double Angle(const GVector& a, const GVector& b);
  // Turns b perpendicular to a, keeping its length; a b along a is replaced by a perpendicular of a.
  static void MakePerpendicular(const GUnitVector& a, GVector& b);

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
  GUnitVector& operator*=(const GMatrix& m);  // row form, renormalised
  GUnitVector& operator*=(const GTransf& t);  // the matrix alone
  GUnitVector& operator*=(const G4x4& m);     // G4x4 * u

  // A unit vector perpendicular to v, leaning towards the axis along which v is smallest.
  static GUnitVector Perpendicular(const GVector& v);
  // Turns u perpendicular to a; a u along a is replaced by Perpendicular(a).
  static void MakePerpendicular(const GVector& a, GUnitVector& u);

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
  GPosition& operator*=(const GMatrix& m);  // row form
  GPosition& operator*=(const GTransf& t);
  GPosition& operator*=(const G4x4& m);     // G4x4 * p, the translating product

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
// Transforms: similarities x' = m_scaling * (x M) + m_translation with an orthogonal M. A * B applies A first.
// The builders set exactly one of the rotation and reflection flags; a pure scale or translation counts as a
// rotation. A bad input is logged and the operation goes on with its fallback.

class GTransf {
 public:
  GMatrix m_matrix;
  GVector m_translation;
  double m_scaling = 0.0;
  unsigned char m_hasRotation = 0;    // determinant > 0
  unsigned char m_hasReflection = 0;  // determinant < 0
  unsigned char m_hasShear = 0;       // the linear part is no similarity

  GTransf() = default;  // the all-zero transform, which also marks a failed conversion
  GTransf(const GMatrix& m, const GVector& t, double scaling, unsigned char hasRotation,
          unsigned char hasReflection, unsigned char hasShear)
      : m_matrix(m), m_translation(t), m_scaling(scaling), m_hasRotation(hasRotation),
        m_hasReflection(hasReflection), m_hasShear(hasShear) {}
  // The plane's transform acting on x and y; z is kept.
  explicit GTransf(const GTransf2d& t);
  // FromMatrix4x4, or the all-zero transform when the matrix is no similarity.
  explicit GTransf(const G4x4& m);
  static GTransf Identity() { return {GMatrix::Identity(), {}, 1.0, 1, 0, 0}; }

  // Scaling, reflection flag, translation and matrix within the tolerances; rotation and shear flags are
  // not compared.
  bool IsEqual(const GTransf& b) const;
  bool IsZero() const;
  bool IsIdentity() const;
  bool IsInvertible() const;
  // Transposes the matrix and inverts the scaling; a non-invertible transform is logged and still gets this
  // result, with 1e30 for the inverse of a zero scaling.
  GTransf& Inverse(GTransf& out) const;
  GTransf& operator*=(const GTransf& b);

  static GTransf& Scale(double s, GTransf& out);
  static GTransf& Scale(double s, const GPosition& fixed, GTransf& out);
  static GTransf& Rotation(double cos, double sin, const GUnitVector& axis, GTransf& out);
  static GTransf& Rotation(double angle, const GUnitVector& axis, GTransf& out);
  static GTransf& Rotation(double cos, double sin, const GUnitVector& axis, const GPosition& p, GTransf& out);
  static GTransf& Rotation(double angle, const GUnitVector& axis, const GPosition& p, GTransf& out);
  static GTransf& Reflection(const GUnitVector& n, GTransf& out);
  static GTransf& Reflection(const GUnitVector& n, const GPosition& p, GTransf& out);
  static GTransf& Translation(const GVector& v, GTransf& out);
  // Frame to world: frame coordinates (a, b, c) map to origin + a x + b y + c z, y being the part of
  // yDirection perpendicular to xAxis.
  static GTransf& FromFrame(const GPosition& origin, const GUnitVector& xAxis, const GUnitVector& yDirection,
                            GTransf& out);
  static GTransf& FromFrame(const GPosition& origin, const GVector& zAxis, GTransf& out);
  // Maps frame 1 onto frame 2; *rc = 2 and out untouched when an axis is no unit vector or the axes of a
  // frame are not perpendicular.
  static void FrameToFrame(const GPosition& p1, const GUnitVector& x1, const GUnitVector& y1,
                           const GPosition& p2, const GUnitVector& x2, const GUnitVector& y2, GTransf& out,
                           int* rc);
  // The 2D part; what does not fit the plane is logged and dropped.
  GTransf2d& Convert2d(GTransf2d& out) const;
  // Angles about x, y and z (in that order of application) of the rotation, all 0 for a transform without
  // the rotation flag; answers 0.
  int GetRotationAngles(double* ax, double* ay, double* az, GVector* translation) const;
  // out = t with its matrix made orthonormal and the flags set from it; *changed = 1 when that happened.
  static void Orthonormalize(const GTransf& t, GTransf& out, int* changed, int* rc);
  // 0, or 2 with out the all-zero transform when the affine 4x4 matrix is no similarity.
  static int FromMatrix4x4(const G4x4& m, GTransf& out);
};

GTransf operator*(const GTransf& a, const GTransf& b);

class GTransf2d {
 public:
  GMatrix2d m_matrix;
  GVector2d m_translation;
  double m_scaling = 0.0;
  unsigned char m_hasRotation = 0;
  unsigned char m_hasReflection = 0;
  unsigned char m_hasShear = 0;

  GTransf2d() = default;
  GTransf2d(const GMatrix2d& m, const GVector2d& t, double scaling, unsigned char hasRotation,
            unsigned char hasReflection, unsigned char hasShear)
      : m_matrix(m), m_translation(t), m_scaling(scaling), m_hasRotation(hasRotation),
        m_hasReflection(hasReflection), m_hasShear(hasShear) {}
  static GTransf2d Identity() { return {GMatrix2d::Identity(), {}, 1.0, 1, 0, 0}; }

  bool IsEqual(const GTransf2d& b) const;
  bool IsZero() const;
  bool IsIdentity() const;
  bool IsInvertible() const;
  GTransf2d& Inverse(GTransf2d& out) const;
  GTransf2d& operator*=(const GTransf2d& b);

  static GTransf2d Scale(double s);
  static GTransf2d Scale(double s, const GPosition2d& fixed);
  static GTransf2d Rotation(double cos, double sin);
  static GTransf2d Rotation(double angle);
  static GTransf2d Rotation(double cos, double sin, const GPosition2d& p);
  static GTransf2d Rotation(double angle, const GPosition2d& p);
  // Mirror in the line through p along the direction.
  static GTransf2d Reflection(const GUnitVector2d& direction, const GPosition2d& p);
  static GTransf2d Translation(const GVector2d& v);
  // A reflection when yDirection lies clockwise of xAxis or along it.
  static GTransf2d FromFrame(const GPosition2d& origin, const GUnitVector2d& xAxis, const GVector2d& yDirection);
  // The angle of the rotation in [0, 2 pi); *rc = 2 and 0 for a transform without rotation.
  double GetRotationAngle(int* rc) const;
  // 0, or 2 with out untouched unless the 4x4 matrix is exactly a transform of the plane and a similarity.
  static int FromMatrix4x4(const G4x4& m, GTransf2d& out);
};

GTransf2d operator*(const GTransf2d& a, const GTransf2d& b);

// ---------------------------------------------------------------------------------------------------------
// 4x4 homogeneous matrices.
//
// m_matrix[4i + j] is the weight of input coordinate i (x, y, z, then the constant 1) in output coordinate j
// (x, y, z, then the weight w): the linear part lies row by row in m[0..2], m[4..6], m[8..10], the translation
// in m[12..14], the projective column in m[3], m[7], m[11], m[15]. Two conventions follow, and both are
// relied on:
//
// - The translating product of a point is G4x4 * p: x' = (m[0]x + m[4]y + m[8]z + m[12]) / w with
//   w = m[3]x + m[7]y + m[11]z + m[15], which is the row vector (x, y, z, 1) times the matrix. The reverse
//   form p * G4x4 reads the matrix by columns: it takes m[3], m[7], m[11] as the translation and m[12..14]
//   into the weight, so a translation matrix used that way divides instead of moving. Every in-place *= of a
//   value with a G4x4 is the G4x4 * value form.
// - operator*(a, b) of two G4x4 is the matrix product b a: applying a * b (as G4x4 * p) applies b first and
//   then a, unlike the products of GMatrix and GTransf, which apply their left operand first. The point
//   symbols rely on it: scaling * rotation rotates first.

class G4x4 {
 public:
  double m_matrix[16] = {};

  G4x4() = default;
  // m_scaling times the matrix, the translation, and the affine column; the flags are not carried.
  explicit G4x4(const GTransf& t);
  static G4x4 Identity() { return G4x4(GTransf::Identity()); }

  G4x4& operator*=(const G4x4& b);     // this * b: b applies first
  G4x4& operator*=(const GTransf& t);  // this * G4x4(t)

  // Compared after each matrix is divided by its own m[15], so the same map with another weight is equal.
  bool IsEqual(const G4x4& b) const;
  bool IsInvertible() const;
  bool IsNonSingular() const;  // the same test as IsInvertible
  // Judged on the determinant of the linear part; a singular one answers true to both.
  bool HasRotation() const;
  bool HasReflection() const;
  // Gauss-Jordan elimination with complete pivoting; a singular matrix is logged, and its result holds
  // infinite or undefined elements: test IsInvertible first where that matters.
  G4x4& Inverse(G4x4& out) const;
};

G4x4 operator*(const G4x4& a, const G4x4& b);  // b applies first
G4x4 operator*(const G4x4& a, const GTransf& t);
G4x4 operator*(const GTransf& t, const G4x4& b);

// Builders of affine 4x4 matrices. Each sets *rc to 0, or to 2 when it refuses its input after a message
// (and then leaves out as it was). The rotation and mirror builders check their axis or normal first and go
// on whatever the check says.
void u4x4RotateCosSin(double cos, double sin, const GUnitVector& axis, G4x4& out, int* rc);
void u4x4RotateAngle(double angle, const GUnitVector& axis, G4x4& out, int* rc);
void u4x4RotateCosSinAtPoint(double cos, double sin, const GUnitVector& axis, const GPosition& p, G4x4& out,
                             int* rc);
void u4x4RotateAngleAtPoint(double angle, const GUnitVector& axis, const GPosition& p, G4x4& out, int* rc);
void u4x4Mirror(const GUnitVector& n, G4x4& out, int* rc);
void u4x4MirrorAtPoint(const GUnitVector& n, const GPosition& p, G4x4& out, int* rc);
void u4x4Translate(const GVector& v, G4x4& out, int* rc);
// The frame with origin, x axis and the y axis in the plane of x and v.
void u4x4Axes(const GPosition& origin, const GUnitVector& x, const GUnitVector& v, G4x4& out, int* rc);
// The scale builders take any factors, 0 and negative ones included.
void u4x4ScaleUniform(double s, G4x4& out, int* rc);
void u4x4ScaleUniformAtPoint(double s, const GPosition& p, G4x4& out, int* rc);
void u4x4Scale(double sx, double sy, double sz, G4x4& out, int* rc);
void u4x4ScaleAtPoint(double sx, double sy, double sz, const GPosition& p, G4x4& out, int* rc);

// ---------------------------------------------------------------------------------------------------------
// Products of points and vectors with matrices, transforms and 4x4 matrices.
//
// value * matrix is the row form (x M), matrix * value the column form (M x). A point takes the whole
// transform, a vector the scaling and matrix but not the translation, and a unit vector the matrix alone,
// renormalised. value / transform applies the inverse transform. The G4x4 products divide by the weight;
// below 2^-52 they log it and multiply by 1e30 instead.

GPosition operator*(const GPosition& p, const GMatrix& m);
GPosition operator*(const GMatrix& m, const GPosition& p);
GVector operator*(const GVector& v, const GMatrix& m);
GVector operator*(const GMatrix& m, const GVector& v);
GUnitVector operator*(const GUnitVector& u, const GMatrix& m);
GUnitVector operator*(const GMatrix& m, const GUnitVector& u);
// The 2D vector products check their result, which only writes a message.
GVector2d operator*(const GVector2d& v, const GMatrix2d& m);
GVector2d operator*(const GMatrix2d& m, const GVector2d& v);
GUnitVector2d operator*(const GUnitVector2d& u, const GMatrix2d& m);
GUnitVector2d operator*(const GMatrix2d& m, const GUnitVector2d& u);
GPosition2d operator*(const GPosition2d& p, const GMatrix2d& m);
GPosition2d operator*(const GMatrix2d& m, const GPosition2d& p);

GPosition operator*(const GPosition& p, const GTransf& t);
GVector operator*(const GVector& v, const GTransf& t);
GUnitVector operator*(const GUnitVector& u, const GTransf& t);
GPosition2d operator*(const GPosition2d& p, const GTransf2d& t);
GVector2d operator*(const GVector2d& v, const GTransf2d& t);
GUnitVector2d operator*(const GUnitVector2d& u, const GTransf2d& t);
GPosition operator/(const GPosition& p, const GTransf& t);
GVector operator/(const GVector& v, const GTransf& t);
GUnitVector operator/(const GUnitVector& u, const GTransf& t);
GPosition2d operator/(const GPosition2d& p, const GTransf2d& t);
GVector2d operator/(const GVector2d& v, const GTransf2d& t);
// Times the transposed matrix, without forming the inverse.
GUnitVector2d operator/(const GUnitVector2d& u, const GTransf2d& t);

GPosition operator*(const G4x4& m, const GPosition& p);  // translates
GPosition operator*(const GPosition& p, const G4x4& m);  // m[12..14] go into the weight
GVector operator*(const G4x4& m, const GVector& v);
GVector operator*(const GVector& v, const G4x4& m);
GUnitVector operator*(const G4x4& m, const GUnitVector& u);
GUnitVector operator*(const GUnitVector& u, const G4x4& m);
GPosition2d operator*(const G4x4& m, const GPosition2d& p);  // as a point with z = 0
GPosition2d operator*(const GPosition2d& p, const G4x4& m);

// ---------------------------------------------------------------------------------------------------------
// View volumes, known to the layer through their boxes and validity checks

struct GBoreLine {  // a line with two limits along it and a radius around it
  GPosition m_root;
  GUnitVector m_direction;
  double m_front = 0.0;
  double m_back = 0.0;
  double m_radius = 0.0;
};

struct GBoreCone : GBoreLine {
  GPosition m_eye;
};

struct GRtPrism {  // a closed planar polygon (last point = first) swept by the height, then placed
  GTransf m_placement;
  const GPosition* m_points = nullptr;
  std::uint32_t m_count = 0;
  double m_height = 0.0;
};

struct GPtFence {  // a closed polygon swept along the direction between two limits
  std::uint32_t m_count = 0;
  const GPosition* m_points = nullptr;
  GUnitVector m_direction;
  double m_front = 0.0;
  double m_back = 0.0;
};

struct GPtFrustum : GPtFence {  // the fence seen from the eye point
  GPosition m_eye;
};

class GClipVolume;

// ---------------------------------------------------------------------------------------------------------
// Boxes: axis-aligned, stored as given (low need not lie below high). The empty box is (1e30...) to
// (-1e30...); a box is empty when on some axis high <= low - the distance tolerance, so a point is a box.

class GBox2d {
 public:
  GPosition2d low{kGeomInfinity, kGeomInfinity};
  GPosition2d high{-kGeomInfinity, -kGeomInfinity};

  GBox2d() = default;  // the empty box
  GBox2d(double lowX, double lowY, double highX, double highY) : low(lowX, lowY), high(highX, highY) {}
  GBox2d(const GPosition2d& low_, const GPosition2d& high_) : low(low_), high(high_) {}
  explicit GBox2d(const GPosition2d& p) : low(p), high(p) {}
  // The bounding box; no points give the empty box and a message.
  GBox2d(unsigned int n, const GPosition2d* points);
  static GBox2d Empty() { return {}; }
  static GBox2d WholeSpace() { return {-kGeomInfinity, -kGeomInfinity, kGeomInfinity, kGeomInfinity}; }

  // 0 the low corner, 1 the high corner; any other index is logged and answers the high corner.
  GPosition2d& operator[](int i);
  const GPosition2d& operator[](int i) const;
  // Counter-clockwise from the low corner.
  void GetCorners(GPosition2d out[4]) const;

  bool IsEmpty() const;
  bool IsEqual(const GBox2d& b) const;
  static GBox2d Union(const GBox2d& a, const GBox2d& b);
  GBox2d& Extend(const GBox2d& b);
  static GBox2d Intersect(const GBox2d& a, const GBox2d& b);
  GBox2d& IntersectWith(const GBox2d& b);
  // Strictly inside, with a margin of the distance tolerance over the diagonal.
  bool Contains(const GPosition2d& p) const;
  bool Contains(const GBox2d& b) const;
  bool IsInside(const GBox2d& other) const;

  GBox2d& operator+=(const GVector2d& v);
  GBox2d& operator-=(const GVector2d& v);
  GBox2d& operator*=(double s);
  GBox2d& operator/=(double s);
  GBox2d& operator*=(const GMatrix2d& m);
  GBox2d& operator*=(const GTransf2d& t);
};

bool IsInside(const GPosition2d& p, const GBox2d& box);
// A factor <= 0 swaps the roles of the corners; a divisor below 2^-52 gives the whole-space box.
GBox2d operator*(const GBox2d& b, double s);
GBox2d operator*(double s, const GBox2d& b);
GBox2d operator/(const GBox2d& b, double s);
// The box of the mapped corners; the empty box stays empty.
GBox2d operator*(const GBox2d& b, const GMatrix2d& m);
GBox2d operator*(const GMatrix2d& m, const GBox2d& b);
GBox2d operator*(const GBox2d& b, const GTransf2d& t);

class GBox {
 public:
  GPosition low{kGeomInfinity, kGeomInfinity, kGeomInfinity};
  GPosition high{-kGeomInfinity, -kGeomInfinity, -kGeomInfinity};

  GBox() = default;  // the empty box
  GBox(double lowX, double lowY, double lowZ, double highX, double highY, double highZ)
      : low(lowX, lowY, lowZ), high(highX, highY, highZ) {}
  GBox(const GPosition& low_, const GPosition& high_) : low(low_), high(high_) {}
  explicit GBox(const GPosition& p) : low(p), high(p) {}
  GBox(unsigned int n, const GPosition* points);
  explicit GBox(const GBox2d& b);  // at z = 0
  // The boxes of the view volumes.
  explicit GBox(const GRtPrism& prism);
  explicit GBox(const GPtFence& fence);
  explicit GBox(const GPtFrustum& frustum);
  explicit GBox(const GBoreLine& bore);
  explicit GBox(const GBoreCone& cone);
  // The box of the volume's vertices (clip_volume.cpp).
  explicit GBox(const GClipVolume& volume);
  static GBox Empty() { return {}; }
  static GBox WholeSpace() {
    return {-kGeomInfinity, -kGeomInfinity, -kGeomInfinity, kGeomInfinity, kGeomInfinity, kGeomInfinity};
  }

  GPosition& operator[](int i);
  const GPosition& operator[](int i) const;
  // The four corners of the face at low z counter-clockwise from the low corner, then those at high z.
  void GetCorners(GPosition out[8]) const;
  GBox2d& Convert2d(GBox2d& out) const;

  bool IsEmpty() const;
  bool IsEqual(const GBox& b) const;
  static GBox Union(const GBox& a, const GBox& b);
  GBox& Extend(const GBox& b);
  static GBox Intersect(const GBox& a, const GBox& b);
  GBox& IntersectWith(const GBox& b);
  // Bounds included, with a margin of the distance tolerance over the diagonal.
  bool Contains(const GPosition& p) const;
  bool Contains(const GBox& b) const;
  bool IsInside(const GBox& other) const;

  GBox& operator+=(const GVector& v);
  GBox& operator-=(const GVector& v);
  GBox& operator*=(double s);
  GBox& operator/=(double s);
  GBox& operator*=(const GMatrix& m);
  GBox& operator*=(const GTransf& t);
  GBox& operator*=(const G4x4& m);  // G4x4 * corner

  // Keeps the part on the side normal . p + c >= 0 (normal made unit); 1 when something is left, else 0.
  int ClipByPlane(GVector normal, double c);
};

bool IsInside(const GPosition& p, const GBox& box);
GBox operator*(const GBox& b, double s);
GBox operator*(double s, const GBox& b);
GBox operator/(const GBox& b, double s);
GBox operator*(const GBox& b, const GMatrix& m);
GBox operator*(const GMatrix& m, const GBox& b);
GBox operator*(const GBox& b, const GTransf& t);
GBox operator*(const GTransf& t, const GBox& b);
GBox operator*(const GBox& b, const G4x4& m);  // corner * G4x4
GBox operator*(const G4x4& m, const GBox& b);  // G4x4 * corner

// ---------------------------------------------------------------------------------------------------------
// Clip volume: the intersection of up to six half-spaces a x + b y + c z + d >= 0, (a, b, c) pointing
// inwards; no plane means everything. Every operation first makes the normals unit length (the queries and
// copy forms on a copy, the in-place ones on the volume).

class GClipVolume {
 public:
  static constexpr int kMaxPlanes = 6;

  double m_planes[kMaxPlanes][4] = {};
  unsigned char m_count = 0;

  GClipVolume() = default;
  // Plane i through points[i] with normal normals[i], kept as given. More than six planes are logged and the
  // first six kept.
  GClipVolume(unsigned int count, const GPosition* points, const GUnitVector* normals);
  // Plane i from coefficients[4i .. 4i + 3], normalised.
  GClipVolume(unsigned int count, const double* coefficients);
  // The six faces of the box.
  explicit GClipVolume(const GBox& box);

  // 0 when the box lies wholly outside one plane (by more than the distance tolerance), else 1.
  int Overlaps(const GBox& box) const;
  // 1 when the whole box is inside every plane or within the distance tolerance of it, else 0.
  int Contains(const GBox& box) const;
  // *where = 0 outside, 1 inside, 2 on a bounding plane (within the distance tolerance); *rc = 0.
  void Classify(const GPosition& p, int* where, int* rc) const;

  GClipVolume& operator+=(const GVector& v);
  GClipVolume& operator-=(const GVector& v);
  GClipVolume& operator*=(const GMatrix& m);  // normals in row form, offsets kept
  GClipVolume& operator*=(const GTransf& t);  // the volume carried by t
  GClipVolume& operator*=(double s);          // about the volume's centre
  GClipVolume& operator/=(double s);          // a divisor below 2^-52 becomes 2^-52
};

GClipVolume operator+(const GClipVolume& v, const GVector& d);
GClipVolume operator-(const GClipVolume& v, const GVector& d);
GClipVolume operator*(const GClipVolume& v, const GMatrix& m);
GClipVolume operator*(const GMatrix& m, const GClipVolume& v);  // normals in column form
GClipVolume operator*(const GClipVolume& v, const GTransf& t);
// Scales about the centre: the mean of the planes' foot points with fewer than four planes, else the mean of
// the volume's vertices (the foot points again when it has none).
GClipVolume operator*(const GClipVolume& v, double s);
GClipVolume operator/(const GClipVolume& v, double s);  // a divisor below 2^-52 scales by 1e30

// ---------------------------------------------------------------------------------------------------------
// Validity checks: debugging aids that write one message per failed test and never change or stop
// anything. A coordinate is valid when it is no NaN and at most 1e30 in magnitude. The forms with a flag
// answer 1 when every test passed, else 0. A null pointer is passed over (and answers 0).

void CheckPosition(const GPosition* p);
void CheckVector(const GVector* v);
void CheckVector(const GVector* v, int* valid);
void CheckUnitVector(const GUnitVector* u);
// The unit-length part of CheckUnitVector alone: writes its message and answers whether it passed.
bool CheckUnitLength(const GUnitVector* u);
void CheckBox(const GBox* b);
void CheckMatrix(const GMatrix* m);
void CheckMatrix(const GMatrix* m, int* valid);
void CheckTransf(const GTransf* t);
void CheckTransf(const GTransf* t, int* valid);
void Check4x4(const G4x4* m);
void CheckBoreLine(const GBoreLine* b);
void CheckBoreCone(const GBoreCone* c);
void CheckRtPrism(const GRtPrism* p);
void CheckPtFence(const GPtFence* f);
void CheckPtFrustum(const GPtFrustum* f);

void CheckPosition2d(const GPosition2d* p);
void CheckVector2d(const GVector2d* v);
void CheckUnitVector2d(const GUnitVector2d* u);
void CheckBox2d(const GBox2d* b);
void CheckMatrix2d(const GMatrix2d* m);
void CheckTransf2d(const GTransf2d* t);

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
GEOM_PLAIN_RECORD(GTransf, 112);
GEOM_PLAIN_RECORD(GTransf2d, 64);
GEOM_PLAIN_RECORD(G4x4, 128);
GEOM_PLAIN_RECORD(GBox2d, 32);
GEOM_PLAIN_RECORD(GBox, 48);
GEOM_PLAIN_RECORD(GClipVolume, 200);
GEOM_PLAIN_RECORD(GBoreLine, 72);
GEOM_PLAIN_RECORD(GRtPrism, 112 + (sizeof(void*) == 4 ? 16 : 24));
GEOM_PLAIN_RECORD(GPtFence, sizeof(void*) == 4 ? 48 : 56);
#undef GEOM_PLAIN_RECORD
// The volumes that extend another keep its fields first and add theirs behind.
static_assert(sizeof(GBoreCone) == sizeof(GBoreLine) + 24 && std::is_trivially_copyable_v<GBoreCone>);
static_assert(sizeof(GPtFrustum) == sizeof(GPtFence) + 24 && std::is_trivially_copyable_v<GPtFrustum>);
