// The host's utility library (stand-in): failure reports, the block pool of linked lists and the attachment
// of the localized resource module. Reports are kept in order so that tests can read what was reported.
#pragma once

#include <windows.h>

#ifdef PELLOW_BUILD
#define PELLOW_API __declspec(dllexport)
#else
#define PELLOW_API __declspec(dllimport)
#endif

// Where CheckDebugRegEntry reads the host's debug switches.
#define PELLOW_DEBUG_KEY "SOFTWARE\\Vantrell\\ORLO\\Core\\Debug"

extern "C" {

// Reports a failure at its source: the HRESULT, a flags word (0 from stylesrv), the short source name and the
// line. Answers hr.
PELLOW_API HRESULT HRerr(HRESULT hr, DWORD flags, const char* source, int line);

// Reports that a required object of the caller's own classes could not be created. A non-zero answer asks the
// caller to stop in the debugger; this stand-in always answers 0.
PELLOW_API int RCfatalerr(REFCLSID clsid, DWORD flags, HRESULT hr, const char* source, int line);

// Loads the resource module `name` from the folder of `module`; answers its handle, or null when it is not
// there. The other three arguments choose among the host's search and language rules; the only rule this
// stand-in keeps is "beside the module".
PELLOW_API HMODULE AttachLocaleResDLL(HMODULE module, const char* name, DWORD search, DWORD language,
                                      DWORD flags);

// Creates an object of the class through the platform's class registry (CoCreateInstance with the outer unknown,
// the context and the IID), so that a class object a host registered is found. The last argument chooses among
// the host's creation rules; the stand-in keeps none.
PELLOW_API HRESULT JCoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out,
                                     DWORD flags);

// The host's debug switch `name`: the DWORD value of that name under the host's debug key in the registry
// (HKEY_LOCAL_MACHINE, PELLOW_DEBUG_KEY), or `defaultValue` when the value is not there or is not a DWORD.
PELLOW_API DWORD CheckDebugRegEntry(const char* name, DWORD defaultValue);

// ---- readers for the tests ----

struct PellowReport {
  BOOL fatal;        // TRUE for RCfatalerr, FALSE for HRerr
  HRESULT hr;
  DWORD flags;
  CLSID clsid;       // RCfatalerr only
  char source[32];   // cut to 31 characters
  int line;
};

PELLOW_API LONG PellowReportCount();
PELLOW_API BOOL PellowGetReport(LONG index, PellowReport* out);
PELLOW_API void PellowClearReports();

// Chunks handed out by JPlex::Create and not yet freed by FreeDataChain.
PELLOW_API LONG JPlexLiveChunks();

// The calls of AttachLocaleResDLL so far; and a switch that makes the next `n` of them answer null without
// loading anything (0 turns it off).
PELLOW_API LONG PellowAttachCount();
PELLOW_API void PellowFailNextAttaches(LONG n);

}  // extern "C"

// A chain of chunks from which linked lists take their nodes. A chunk is the JPlex header followed by its
// elements; the newest chunk is the head of the chain.
class PELLOW_API JPlex {
 public:
  JPlex* pNext;

  void* data() { return this + 1; }

  // Allocates a chunk of `max` elements of `elementSize` bytes and puts it at the head of the chain. Answers
  // null when the memory is not there.
  static JPlex* Create(JPlex*& head, UINT max, UINT elementSize);

  // Frees this chunk and every chunk after it.
  void FreeDataChain();
};

// The utility library's text: a wide string that the text owns.
class PELLOW_API GUserText {
 public:
  GUserText();
  ~GUserText();
  GUserText(const GUserText&) = delete;

  // The string `id` of the module's string table; a string the module does not have leaves the text empty and
  // answers FALSE.
  BOOL LoadStringResource(HMODULE module, UINT id);
  // The text, never null.
  LPCWSTR Wide() const { return m_text ? m_text : L""; }
  // A copy of the string or of the other text replaces the text; an append adds one at its end.
  GUserText& operator=(LPCWSTR text);
  GUserText& operator=(const GUserText& other) { return *this = other.Wide(); }
  GUserText& operator+=(LPCWSTR text);
  GUserText& operator+=(const GUserText& other) { return *this += other.Wide(); }

 private:
  WCHAR* m_text;
};

// Writes `value`, a length in the host's units `mode`, into `text` as the host's unit formatter would, by the
// 20-byte format record and the character limit. This stand-in writes the value with "%.3f" and records each
// call, for the tests.
PELLOW_API HRESULT FormatUnit(DWORD mode, double value, GUserText* text, const BYTE* format, const DWORD* limit,
                              void* reserved1, void* reserved2);

struct PellowFormatCall {
  DWORD mode;
  double value;
  BYTE format[20];
  DWORD limit;      // 0 when no limit was given
  BOOL extrasNull;  // both reserved arguments were null
};
extern "C" {
PELLOW_API LONG PellowFormatCallCount();
PELLOW_API BOOL PellowGetFormatCall(LONG index, PellowFormatCall* out);
}
