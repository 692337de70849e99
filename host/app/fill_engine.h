// Doubles of the engine's fill factories: while a FillEngine lives, QueryClassExtension answers its fill, hatch
// and symbol pattern factories under their extension classes. Every factory hands out the engine's one object
// of what it makes (a fill, a hatch pattern, a symbol pattern), whose pattern kind and data the test sets. The
// calls of the factories and of the fill are logged in order, and each slot can be made to fail. The engine and
// its objects live on the test's stack and only count their references. Their tables are plain arrays of
// function pointers, so that a caller that reaches the wrong slot fails.
#pragma once

#include <windows.h>

#include <map>
#include <utility>
#include <vector>

#include "host/halvorn/halvorn.h"

namespace host_app {

class FillEngine {
 public:
  enum Role : DWORD { kFillFactory, kHatchFactory, kSymbolFactory, kFill, kHatchPattern, kSymbolPattern, kRoles };

  // A slot called, with the two values it was handed (0 where it takes fewer).
  struct Call {
    Role role;
    DWORD slot;
    DWORD first;
    DWORD second;
    bool operator==(const Call&) const = default;
  };

  // One object of a role. Its table comes first: the object is its own interface pointer.
  struct Object {
    const void* const* table;
    FillEngine* engine;
    Role role;
    ULONG references;
    IUnknown* Unknown() { return reinterpret_cast<IUnknown*>(this); }
  };

  // Installs the three factories.
  FillEngine();
  // Takes them away.
  ~FillEngine();
  FillEngine(const FillEngine&) = delete;
  FillEngine& operator=(const FillEngine&) = delete;

  Object& operator[](Role role) { return m_objects[role]; }

  // What the fill's slot 11 and slot 10 answer.
  DWORD kind = 0;
  DWORD patternData = 0;
  // A slot that answers a failure and does nothing else; slot 0 is QueryInterface for the role's own interface.
  std::map<std::pair<Role, DWORD>, HRESULT> failures;
  std::vector<Call> calls;

 private:
  HRESULT Failure(Role role, DWORD slot) const;

  static HRESULT STDMETHODCALLTYPE QueryInterface(Object* self, REFIID iid, void** out);
  static ULONG STDMETHODCALLTYPE AddRef(Object* self);
  static ULONG STDMETHODCALLTYPE Release(Object* self);
  static HRESULT STDMETHODCALLTYPE NotCalled(Object* self);
  static HRESULT STDMETHODCALLTYPE Make(Object* self, DWORD first, DWORD second, IUnknown** out);
  static HRESULT STDMETHODCALLTYPE AttachPattern(Object* self, DWORD first);
  static HRESULT STDMETHODCALLTYPE GetPatternData(Object* self, DWORD* data);
  static HRESULT STDMETHODCALLTYPE GetPatternKind(Object* self, DWORD* kind);

  static void* const s_factoryTable[12];
  static void* const s_fillTable[12];
  static void* const s_patternTable[3];

  Object m_objects[kRoles];
};

}  // namespace host_app
