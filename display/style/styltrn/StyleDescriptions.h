// Styles made from the host's plain description records: a simple line with its dash type, a simple fill with
// its hatch pattern, or a 3D multiplexer through its workbench, all in the document's style library. A name
// the library already has is reused; for fills (and for lines that refer to a named line) an unnamed override
// carries the values in which the description differs.
//
// The records are the caller's, laid out as the 32-bit platform lays them out; their offsets are fixed.
// A description that cannot be used whole (a null pointer it needs, a value that is not finite, a dash number
// without a name) is refused before the library is touched. Failures are reported under "STYLETRN" and
// answered unchanged; styles already added when a later step fails stay in the library.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstddef>

#include "display/style/stylesrv_itf.h"

// What a hatch line's dash is.
enum UFDashKind : DWORD {
  UF_DASH_GIVEN = 0,     // the caller's dash type interface (null: none)
  UF_DASH_NONE = 1,      // continuous; so is every kind above UF_DASH_NUMBER
  UF_DASH_LENGTHS = 2,   // a new unnamed dash type of the lengths
  UF_DASH_NAMED = 3,     // the ID of the name in "Dash" only: the family gets no dash type object
  UF_DASH_NUMBER = 4,    // a standard dash number, or a string of the resource module
};

struct UFDashRef {
  DWORD kind;
  union {
    IUnknown* dashType;
    const double* lengths;
    LPCWSTR name;
    DWORD number;
  };
  DWORD count;  // of the lengths
  DWORD unused;
};
static_assert(sizeof(UFDashRef) == 16);
static_assert(offsetof(UFDashRef, dashType) == 0x04);
static_assert(offsetof(UFDashRef, count) == 0x08);

// One hatch line. A colour of 0xFFFFFFFF and a width of 0.0 mean "not given" to an override.
struct UFHatchLine {
  double angle, spacing, shift;
  double originX, originY, originZ;
  DWORD colour;
  DWORD unused;
  double width;
  UFDashRef dash;
};
static_assert(sizeof(UFHatchLine) == 80);
static_assert(offsetof(UFHatchLine, colour) == 0x30);
static_assert(offsetof(UFHatchLine, width) == 0x38);
static_assert(offsetof(UFHatchLine, dash) == 0x40);

inline constexpr DWORD kUFColourNotGiven = 0xFFFFFFFF;

struct UFFillData {
  LPCWSTR name;
  double originX, originY, originZ;  // the hatch keeps z at 0
  double patternScale;               // an override value only when not 0.0
  DWORD fillColour;                  // kUFColourNotGiven: not an override value
  DWORD unitsCode;                   // of the fill and of the lines' dashes
  LONG lineCount;
  const UFHatchLine* lines;
  DWORD patternWord;                 // the hatch description's reserved word
  double fillScale;                  // an override value only; 0.0 and 1.0 mean none
};
static_assert(offsetof(UFFillData, originX) == 0x08);
static_assert(offsetof(UFFillData, patternScale) == 0x20);
static_assert(offsetof(UFFillData, fillColour) == 0x28);
static_assert(offsetof(UFFillData, unitsCode) == 0x2C);
static_assert(offsetof(UFFillData, lineCount) == 0x30);
static_assert(offsetof(UFFillData, lines) == 0x34);
static_assert(offsetof(UFFillData, patternWord) == 0x38);
static_assert(offsetof(UFFillData, fillScale) == 0x40);
static_assert(sizeof(UFFillData) == 0x48);

// Dash codes of a line description; any other code is a dash number.
enum UFDashCode : DWORD {
  UF_CODE_CONTINUOUS = 0,
  UF_CODE_CONTINUOUS_TOO = 9,
  UF_CODE_NAMED_LINE = 16,  // an override of the line of the name
};

// Only the first 64 bytes are read.
struct UFStyleRecord {
  DWORD dashCode;
  LPCWSTR name;            // lines and 3D multiplexers
  DWORD customCount;       // above 0: a custom dash of these lengths
  const double* customLengths;
  DWORD colour;
  double width;
  BYTE unused20[16];
  DWORD unitsCode;         // of colour, width and dash
  const UFFillData* fill;  // fills; null: nothing to do
  double scale;            // code 16 only; 0.0 and 1.0 mean none
};
static_assert(offsetof(UFStyleRecord, name) == 0x04);
static_assert(offsetof(UFStyleRecord, customCount) == 0x08);
static_assert(offsetof(UFStyleRecord, customLengths) == 0x0C);
static_assert(offsetof(UFStyleRecord, colour) == 0x10);
static_assert(offsetof(UFStyleRecord, width) == 0x18);
static_assert(offsetof(UFStyleRecord, unitsCode) == 0x30);
static_assert(offsetof(UFStyleRecord, fill) == 0x34);
static_assert(offsetof(UFStyleRecord, scale) == 0x38);
static_assert(sizeof(UFStyleRecord) == 0x40);

extern "C" {

// The style of the description for a "Fill", "Linear" or 3D-multiplexer type: its ID and, when `outStyle` is
// given, its object with a reference. Another type answers E_FAIL unreported; a fill description without fill
// data answers S_FALSE. `resourceModule` names the dash numbers that are not standard (its string of the number).
HRESULT WINAPI HCreateStyleFromUF(GUID type, const UFStyleRecord* description, IUnknown* document,
                                  HINSTANCE resourceModule, DWORD* outID, IUnknown** outStyle);

// Writes the fill description into a simple fill (colour, lock mask 3) and, with lines, into a hatch (its data,
// then one family per line with the dash type of `dashTypes`' entry, null for none). Bad pointers answer
// E_INVALIDARG unreported. The first family the hatch refuses ends the call.
HRESULT WINAPI HSetFillDataFromUF(IJStyleSimpleFill* fill, IJStyleHatchFill* hatch, const UFFillData* data,
                                  IUnknown** dashTypes);

}  // extern "C"
