// The server shell: the per-thread block, the live-object and server-lock counts, the start-up order of the
// static initialisers, the exported settings and the internal table through which the project's own tests and
// tools read the shell's state.
#pragma once

#include <cstdint>

#include "display/style/stylesrv_com.h"
#include "display/style/uclsfact.h"

struct IJGraphic;
struct DocumentServiceTable;

// ---- per-thread block ----

// One per thread that was attached after the library loaded (and the loading thread), reached through one TLS
// slot. Five 32-bit words; their order is shared with the code that reads them.
struct StyleTlsBlock {
  void* symbolFillContext;         // owned by the symbol fill
  void* textScratch;               // 16-byte scratch of the text character style (malloc); freed with the block
  std::uint32_t conversionPending;  // an auxiliary conversion is pending
  std::uint32_t assignPersistIds;   // state of the assign-persist-IDs exports; reached through the same accessor
  IUnknown* custodian;              // the thread's custodian; only the custodian service sets or releases it
};
static_assert(sizeof(StyleTlsBlock) == 20, "five 32-bit words");

// The calling thread's block, or null for a thread that has none (it ran before the library was loaded).
StyleTlsBlock* GetStyleTlsBlock();
// The conversion-pending word of the calling thread's block (the assign-persist-IDs word follows), or null.
std::uint32_t* GetTlsConversionState();
// The custodian word of the calling thread's block, or null.
IUnknown** GetTlsCustodianSlot();

// ---- counts ----

// Called by the constructors and destructors of the counted classes.
void IncrementLiveObjectCount();
void DecrementLiveObjectCount();
// Called by LockServer only.
void IncrementServerLockCount();
void DecrementServerLockCount();
LONG GetLiveObjectCount();
LONG GetServerLockCount();

// ---- the resource module ----

// Tellury.drx as the library attached it at load; null when it was not there.
HMODULE GetStyleResourceModule();

// ---- class objects ----

// DllGetClassObject over a given table.
HRESULT GetClassObjectFromTable(const StyleClassTable& table, REFCLSID clsid, REFIID iid, void** out);
// The server's own table.
const StyleClassTable& GetStyleClassTable();

// ---- start-up order ----
// The static initialisers run in this order (GCC init_priority; lower first), then DllMain with process attach.
#define STYLESRV_INIT_BLOCK_LIST 1001            // the list of per-thread blocks
#define STYLESRV_INIT_FILL_POOLS 1002            // critical section of the fill work-block pools
#define STYLESRV_INIT_OFFSET_LINE 1003           // critical section of the offset-line style
#define STYLESRV_INIT_PLACEHOLDER 1004           // the static missing-graphic placeholder
#define STYLESRV_INIT_POINT_GENERATOR 1005       // critical section of the line point generator's buffer
#define STYLESRV_INIT_CONSTANTS 1006             // pi/2, pi, 3pi/2 and 2pi of the fill and symbol code
#define STYLESRV_INIT_QUILLET 1007               // the optional diagnostic hook library
#define STYLESRV_INIT_CONVERSION_LOADER 1008     // critical section of the conversion plug-in loader
#define STYLESRV_INIT_STANDARD_DASH 1009         // the standard-dash resource holder
#define STYLESRV_INIT_STANDARD_DASH_LOCK 1010    // and its critical section

// ---- exports ----

extern "C" {
// mode 0 copies the process-wide librarian into *slot; mode 1 stores *slot as the process-wide librarian (null
// clears it). No reference is added or released.
HRESULT WINAPI HUseStyleLibrarian(DWORD mode, IUnknown** slot);
// Stores the colour of exception styles and of the missing-graphic placeholder; answers the value stored.
DWORD WINAPI SetExceptionColor(DWORD colour);
DWORD WINAPI GetExceptionColor();
}

// ---- internal access ----
// Not part of the host interface: the project's tests and tools reach the shell's state through this one
// export, since the functions above it are not exported. New entries go at the end.

// Counts what DllMain does with per-thread blocks while a probe is set. The probe belongs to the caller and
// may outlive the library, which lets a test see what process detach freed.
struct StyleTlsProbe {
  volatile LONG blocksAttached;
  volatile LONG blocksFreed;
  volatile LONG textScratchFreed;
};

enum class FillBlockKind;  // geometry/fill.h
struct StdDashResourceFunctions;  // display/style/stylspt/StdDashResources.h
struct DefaultStyleFunctions;  // display/style/stylspt/AddStyles.h

struct StyleServerInternals {
  std::uint32_t size;  // of this table, for callers built against a shorter one
  LONG (*GetLiveObjectCount)();
  LONG (*GetServerLockCount)();
  void (*IncrementLiveObjectCount)();
  void (*DecrementLiveObjectCount)();
  StyleTlsBlock* (*GetStyleTlsBlock)();
  std::uint32_t* (*GetTlsConversionState)();
  IUnknown** (*GetTlsCustodianSlot)();
  UINT (*GetTlsBlockCount)();  // blocks in the block list
  HMODULE (*GetResourceModule)();
  void (*SetTlsProbe)(StyleTlsProbe* probe);
  const StyleClassTable* (*GetClassTable)();
  HRESULT (*GetClassObjectFromTable)(const StyleClassTable* table, REFCLSID clsid, REFIID iid, void** out);
  IJGraphic* (*GetMissingGraphic)();  // the process's missing-graphic placeholder
  // Lets a style library go of the objects of its entries that the document keeps, as a load leaves them, so
  // that the next use fetches them from the document again.
  HRESULT (*DropLibraryObjects)(IUnknown* library);
  // The document services (services/daxutil/daxutil.h).
  const DocumentServiceTable* (*GetDocumentServices)();
  // Whether a run of the line point generator holds its one static run state.
  bool (*IsLinePointRunStateInUse)();
  // The text of the last message that refused a style-library file of another version ("" before the first).
  const char* (*GetStyleFileVersionMessage)();
  // The fill code's pools and its allocation failures on request (geometry/fill_test_support.h).
  int (*FillTrapPooledBlocks)(FillBlockKind kind);
  void (*FillAllocFailAt)(int n);
  void (*FillTrapFlushPools)();
  // The check of style names (display/style/stylspt/StyleExports.h), which is not exported.
  HRESULT(WINAPI* ValidateStyleName)(LPCWSTR name, DWORD* valid);
  // The process's standard-dash resource holder, through its free functions.
  const StdDashResourceFunctions* (*GetStdDashResources)();
  // A symbol fill of this server captures one slot's symbol through a host display object, as drawing does
  // (display/style/styles/JStyleSymbolFill.h); E_INVALIDARG for another object.
  HRESULT (*CaptureSymbolSlot)(IUnknown* fill, LONG slot, IUnknown* display, double scale);
  // The builders of the default style set, which are not exported on their own.
  const DefaultStyleFunctions* (*GetDefaultStyles)();
};

extern "C" const StyleServerInternals* WINAPI GetStyleServerInternals();
