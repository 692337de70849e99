// The shell of the in-process server: loading and unloading, per-thread blocks, the counts that decide whether
// the library may be unloaded, the class table, and the process-wide settings exported as plain functions.
#include "display/style/server.h"

#include "display/style/ptrlist.h"
#include "display/style/stylacc/JVOQStyleAccess.h"
#include "display/style/stylbas/JMissingGraphic.h"
#include "display/style/stylcst/JSCustodian.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/JStyleResource.h"
#include "display/style/styllib/JStyleUnit.h"
#include "display/style/styles/JStyleBitmap.h"
#include "display/style/stylspt/StdDashResources.h"
#include "display/style/styles/JStyleHatchFill.h"
#include "display/style/styles/JStyleLineSolid.h"
#include "display/style/styles/JStyleLinePointGen.h"
#include "display/style/styles/JStyleLineTerminator.h"
#include "display/style/styles/JStyleMultiplexer.h"
#include "display/style/styles/JStyleOLG.h"
#include "display/style/styles/JStyleOverride.h"
#include "display/style/styles/JStylePointSymbol.h"
#include "display/style/styles/JStyleSimpleDashType.h"
#include "display/style/styles/JStyleSimpleFill.h"
#include "display/style/styles/JStyleSimpleLine.h"
#include "display/style/styles/JStyleSimpleMultiplexer.h"
#include "display/style/stylspt/StyleExports.h"
#include "display/style/styles/JStyleTextChar.h"
#include "display/style/styles/JStyleTextPara.h"
#include "display/style/styles/JStyleSymbolFill.h"
#include "display/style/styles/JStyleObjectCallback.h"
#include "display/style/symdef/JSymbolDef.h"
#include "display/style/wrkbnch/JWorkbenchPointSymbol.h"
#include "display/style/wrkbnch/JWorkbenchGeneric.h"
#include "display/style/wrkbnch/Mux3dStyleWorkbench.h"
#include "display/style/wrkshop/JStyleDescriptor.h"
#include "display/style/wrkshop/JStyleWorkshop.h"
#include "display/style/wrkbnch/JWorkbenchDash.h"
#include "display/style/wrkbnch/JWorkbenchLinear.h"
#include "display/style/textscratch.h"
#include "geometry/fill.h"
#include "geometry/fill_test_support.h"
#include "geometry/platform.h"
#include "host/pellow/pellow.h"
#include "services/daxutil/daxutil.h"
#include "display/style/stylspt/AddStyles.h"

namespace {

constexpr const char kSource[] = "SERVER";

static_assert(GEOM_INIT_FILL_POOL_LOCK == STYLESRV_INIT_FILL_POOLS, "the fill pools' lock keeps its place");

// The counts are the only state here that several host threads may change at once (objects are created on
// any thread), so they move with interlocked operations; everything else is plain.
volatile LONG g_liveObjectCount = 0;
volatile LONG g_serverLockCount = 0;

DWORD g_tlsSlot = TLS_OUT_OF_INDEXES;
HMODULE g_resourceModule = nullptr;
IUnknown* g_librarian = nullptr;  // held without a reference
DWORD g_exceptionColor = 0x0000FFC6;
StyleTlsProbe* g_tlsProbe = nullptr;

// Every block handed out, so that process detach frees those of threads that never detached. Changed only
// inside DllMain, which the loader serialises. Its destructor, on the runtime's exit list, empties it again.
__attribute__((init_priority(STYLESRV_INIT_BLOCK_LIST))) JPtrList g_blockList(10);

// ---- the class table ----

constexpr StyleClassRow kRowJStyleMultiplexer =
    StyleClassRowFor<JStyleMultiplexer, StyleAllocator::Engine>("JStyleMultiplexer");
constexpr StyleClassRow kRowJStyleSimpleFill =
    StyleClassRowFor<JStyleSimpleFill, StyleAllocator::Engine>("JStyleSimpleFill");
constexpr StyleClassRow kRowJStyleHatchFill =
    StyleClassRowFor<JStyleHatchFill, StyleAllocator::Engine>("JStyleHatchFill");
constexpr StyleClassRow kRowJStyleTextChar =
    StyleClassRowFor<JStyleTextChar, StyleAllocator::Engine>("JStyleTextChar");
constexpr StyleClassRow kRowJStyleTextPara =
    StyleClassRowFor<JStyleTextPara, StyleAllocator::Engine>("JStyleTextPara");
constexpr StyleClassRow kRowJStyleSimpleLine =
    StyleClassRowFor<JStyleSimpleLine, StyleAllocator::Engine>("JStyleSimpleLine");
constexpr StyleClassRow kRowJStyleSimpleDashType =
    StyleClassRowFor<JStyleSimpleDashType, StyleAllocator::Engine>("JStyleSimpleDashType");
constexpr StyleClassRow kRowJStyleOverride =
    StyleClassRowFor<JStyleOverride, StyleAllocator::Engine>("JStyleOverride");
constexpr StyleClassRow kRowJStyleOLG = StyleClassRowFor<JStyleOLG, StyleAllocator::Engine>("JStyleOLG");
constexpr StyleClassRow kRowJStyleBitmap = StyleClassRowFor<JStyleBitmap, StyleAllocator::Engine>("JStyleBitmap");
constexpr StyleClassRow kRowJStylePointSymbol =
    StyleClassRowFor<JStylePointSymbol, StyleAllocator::Engine>("JStylePointSymbol");
constexpr StyleClassRow kRowJStyleLineTerminator =
    StyleClassRowFor<JStyleLineTerminator, StyleAllocator::Engine>("JStyleLineTerminator");
constexpr StyleClassRow kRowJStyleLinePointGen =
    StyleClassRowFor<JStyleLinePointGen, StyleAllocator::Engine>("JStyleLinePointGen");
constexpr StyleClassRow kRowJStyleLineSolid =
    StyleClassRowFor<JStyleLineSolid, StyleAllocator::Engine>("JStyleLineSolid");
constexpr StyleClassRow kRowJStyleSimpleMultiplexer =
    StyleClassRowFor<JStyleSimpleMultiplexer, StyleAllocator::Engine>("JStyleSimpleMultiplexer");
constexpr StyleClassRow kRowJStyleSymbolFill =
    StyleClassRowFor<JStyleSymbolFill, StyleAllocator::Engine>("JStyleSymbolFill");
constexpr StyleClassRow kRowJStyleObjectCallback =
    StyleClassRowFor<JStyleObjectCallback, StyleAllocator::Ordinary>("JStyleObjectCallback");
constexpr StyleClassRow kRowJStyleLib = StyleClassRowFor<JStyleLib, StyleAllocator::Engine>("JStyleLib");
constexpr StyleClassRow kRowJStyleUnit = StyleClassRowFor<JStyleUnit, StyleAllocator::Engine>("JStyleUnit");
constexpr StyleClassRow kRowJStyleResource =
    StyleClassRowFor<JStyleResource, StyleAllocator::Engine>("JStyleResource");
constexpr StyleClassRow kRowJSymbolDef =
    StyleClassRowWithStep<JSymbolDef, StyleAllocator::Engine>("JSymbolDef", &JSymbolDef::PostConstruct);
constexpr StyleClassRow kRowJSCustodian = StyleClassRowFor<JSCustodian, StyleAllocator::Ordinary>("JSCustodian");
constexpr StyleClassRow kRowJVOQStyleAccess =
    StyleClassRowFor<JVOQStyleAccess, StyleAllocator::Ordinary>("JVOQStyleAccess");
constexpr StyleClassRow kRowJStyleWorkshop =
    StyleClassRowFor<JStyleWorkshop, StyleAllocator::Ordinary>("JStyleWorkshop");
constexpr StyleClassRow kRowJStyleDescriptor =
    StyleClassRowFor<JStyleDescriptor, StyleAllocator::Ordinary>("JStyleDescriptor");
constexpr StyleClassRow kRowJWorkbenchLinear =
    StyleClassRowFor<JWorkbenchLinear, StyleAllocator::Ordinary>("JWorkbenchLinear");
constexpr StyleClassRow kRowJWorkbenchDash =
    StyleClassRowFor<JWorkbenchDash, StyleAllocator::Ordinary>("JWorkbenchDash");
constexpr StyleClassRow kRowJWorkbenchPointSymbol =
    StyleClassRowFor<JWorkbenchPointSymbol, StyleAllocator::Ordinary>("JWorkbenchPointSymbol");
constexpr StyleClassRow kRowMux3dStyleWorkbench =
    StyleClassRowFor<Mux3dStyleWorkbench, StyleAllocator::Ordinary>("Mux3dStyleWorkbench");
constexpr StyleClassRow kRowJWorkbenchGeneric =
    StyleClassRowFor<JWorkbenchGeneric, StyleAllocator::Ordinary>("JWorkbenchGeneric");

#define STYLESRV_TABLE_ENTRY(name, cls, ...) {&CLSID_##name, &kRow##cls},
constexpr StyleClsidEntry kClassEntries[] = {STYLESRV_SERVED_CLSIDS(STYLESRV_TABLE_ENTRY)};
#undef STYLESRV_TABLE_ENTRY
static_assert(sizeof kClassEntries / sizeof kClassEntries[0] == 40);

constexpr StyleClassTable kClassTable{kClassEntries, sizeof kClassEntries / sizeof kClassEntries[0]};

// ---- per-thread blocks ----

void AttachThreadBlock() {
  auto* block = static_cast<StyleTlsBlock*>(LocalAlloc(LPTR, sizeof(StyleTlsBlock)));
  if (!block) return;
  if (!g_blockList.AddHead(block)) {
    LocalFree(block);
    return;
  }
  TlsSetValue(g_tlsSlot, block);
  if (g_tlsProbe) InterlockedIncrement(&g_tlsProbe->blocksAttached);
}

void FreeThreadBlock(StyleTlsBlock* block) {
  const bool hadScratch = block->textScratch != nullptr;
  FreeThreadTextScratch(&block->textScratch);
  if (hadScratch && !block->textScratch && g_tlsProbe) InterlockedIncrement(&g_tlsProbe->textScratchFreed);
  LocalFree(block);
  if (g_tlsProbe) InterlockedIncrement(&g_tlsProbe->blocksFreed);
}

void DetachThreadBlock() {
  auto* block = static_cast<StyleTlsBlock*>(TlsGetValue(g_tlsSlot));
  if (!block) return;
  TlsSetValue(g_tlsSlot, nullptr);
  g_blockList.RemoveAt(g_blockList.Find(block));
  FreeThreadBlock(block);
}

void FreeRemainingThreadBlocks() {
  for (JPtrList::Node* node = g_blockList.GetHead(); node; node = node->next) {
    FreeThreadBlock(static_cast<StyleTlsBlock*>(node->value));
  }
  g_blockList.RemoveAll();
}

// ---- internal access ----

UINT TlsBlockCount() { return g_blockList.GetCount(); }
HMODULE ResourceModule() { return g_resourceModule; }
void SetTlsProbe(StyleTlsProbe* probe) { g_tlsProbe = probe; }
const StyleClassTable* ClassTable() { return &kClassTable; }
HRESULT ClassObjectFromTable(const StyleClassTable* table, REFCLSID clsid, REFIID iid, void** out) {
  return GetClassObjectFromTable(*table, clsid, iid, out);
}

const StyleServerInternals kInternals{
    sizeof(StyleServerInternals),
    &GetLiveObjectCount,
    &GetServerLockCount,
    &IncrementLiveObjectCount,
    &DecrementLiveObjectCount,
    &GetStyleTlsBlock,
    &GetTlsConversionState,
    &GetTlsCustodianSlot,
    &TlsBlockCount,
    &ResourceModule,
    &SetTlsProbe,
    &ClassTable,
    &ClassObjectFromTable,
    &GetMissingGraphic,
    &StyleLibDropObjects,
    &GetDocumentServiceTable,
    &JStyleLinePointGen::StaticRunStateInUse,
    &JVOQStyleAccess::LastVersionMessage,
    &FillTrapPooledBlocks,
    &FillAllocFailAt,
    &FillTrapFlushPools,
    &ValidateStyleName,
    &GetStdDashResourceFunctions,
    &JStyleSymbolFill::CaptureSlotOf,
    &GetDefaultStyleFunctions,
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      g_tlsSlot = TlsAlloc();
      // Every attached thread is expected to have its block; without a slot there are none, so do not load.
      if (g_tlsSlot == TLS_OUT_OF_INDEXES) return FALSE;
      AttachThreadBlock();
      g_resourceModule = AttachLocaleResDLL(module, "Tellury.drx", 3, 0, 1);
      return TRUE;

    case DLL_THREAD_ATTACH:
      AttachThreadBlock();
      return TRUE;

    case DLL_THREAD_DETACH:
      DetachThreadBlock();
      return TRUE;

    case DLL_PROCESS_DETACH:
      FillTrapFlushPools();
      if (g_resourceModule) {
        FreeLibrary(g_resourceModule);
        g_resourceModule = nullptr;
      }
      DetachThreadBlock();
      // The custodians in these blocks are not released: their threads may be gone, and with them the
      // apartments their objects belong to.
      FreeRemainingThreadBlocks();
      TlsFree(g_tlsSlot);
      g_tlsSlot = TLS_OUT_OF_INDEXES;
      return TRUE;

    default:
      return FALSE;
  }
}

StyleTlsBlock* GetStyleTlsBlock() {
  if (g_tlsSlot == TLS_OUT_OF_INDEXES) return nullptr;
  return static_cast<StyleTlsBlock*>(TlsGetValue(g_tlsSlot));
}

std::uint32_t* GetTlsConversionState() {
  StyleTlsBlock* block = GetStyleTlsBlock();
  return block ? &block->conversionPending : nullptr;
}

IUnknown** GetTlsCustodianSlot() {
  StyleTlsBlock* block = GetStyleTlsBlock();
  return block ? &block->custodian : nullptr;
}

void IncrementLiveObjectCount() { InterlockedIncrement(&g_liveObjectCount); }
void DecrementLiveObjectCount() { InterlockedDecrement(&g_liveObjectCount); }
void IncrementServerLockCount() { InterlockedIncrement(&g_serverLockCount); }
void DecrementServerLockCount() { InterlockedDecrement(&g_serverLockCount); }
LONG GetLiveObjectCount() { return g_liveObjectCount; }
LONG GetServerLockCount() { return g_serverLockCount; }
HMODULE GetStyleResourceModule() { return g_resourceModule; }

const StyleClassTable& GetStyleClassTable() { return kClassTable; }

HRESULT GetClassObjectFromTable(const StyleClassTable& table, REFCLSID clsid, REFIID iid, void** out) {
  // *out is left as it was for an interface a class object does not have.
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const StyleClassRow* row = table.Find(clsid);
  if (!row || !row->create) return E_FAIL;
  auto* factory = new (std::nothrow) UClassFactory(*row, TRUE);
  if (!factory) return E_OUTOFMEMORY;
  *out = static_cast<IClassFactory*>(factory);
  factory->AddRef();
  return S_OK;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return GetClassObjectFromTable(kClassTable, clsid, iid, out);
}

STDAPI DllCanUnloadNow() {
  return GetLiveObjectCount() != 0 || GetServerLockCount() != 0 ? S_FALSE : S_OK;
}

extern "C" HRESULT WINAPI HUseStyleLibrarian(DWORD mode, IUnknown** slot) {
  if (mode > 1 || !slot || IsBadReadPtr(slot, 4) || IsBadWritePtr(slot, 4)) {
    HRerr(E_INVALIDARG, 0, kSource, 637);
    return E_INVALIDARG;
  }
  if (mode == 0) {
    *slot = g_librarian;
    return S_OK;
  }
  IUnknown* librarian = *slot;
  if (librarian && (IsBadReadPtr(librarian, 4) || IsBadWritePtr(librarian, 4))) {
    HRerr(E_INVALIDARG, 0, kSource, 642);
    return E_INVALIDARG;
  }
  g_librarian = librarian;
  return S_OK;
}

extern "C" DWORD WINAPI SetExceptionColor(DWORD colour) {
  g_exceptionColor = colour;
  return g_exceptionColor;
}

extern "C" DWORD WINAPI GetExceptionColor() { return g_exceptionColor; }

extern "C" const StyleServerInternals* WINAPI GetStyleServerInternals() { return &kInternals; }
