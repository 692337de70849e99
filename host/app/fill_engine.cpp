#include "host/app/fill_engine.h"

namespace host_app {

namespace {

template <class F>
void* Slot(F f) {
  return reinterpret_cast<void*>(f);
}

struct RoleInfo {
  const IID* iid;
  const GUID* extension;       // factories only
  FillEngine::Role makes;      // factories only
};

const RoleInfo kRoleInfo[FillEngine::kRoles] = {
    {&IID_IJFillFactory, &CLASSEXT_FillFactory, FillEngine::kFill},
    {&IID_IJHatchPatternFactory, &CLASSEXT_HatchPatternFactory, FillEngine::kHatchPattern},
    {&IID_IJSymbolPatternFactory, &CLASSEXT_SymbolPatternFactory, FillEngine::kSymbolPattern},
    {&IID_IJEngineFill, nullptr, FillEngine::kRoles},
    {&IID_IJHatchPattern, nullptr, FillEngine::kRoles},
    {&IID_IJSymbolPattern, nullptr, FillEngine::kRoles},
};

}  // namespace

void* const FillEngine::s_factoryTable[12] = {
    Slot(&QueryInterface), Slot(&AddRef),    Slot(&Release),   Slot(&NotCalled), Slot(&NotCalled), Slot(&NotCalled),
    Slot(&NotCalled),      Slot(&NotCalled), Slot(&NotCalled), Slot(&NotCalled), Slot(&NotCalled), Slot(&Make)};
void* const FillEngine::s_fillTable[12] = {
    Slot(&QueryInterface), Slot(&AddRef),    Slot(&Release),   Slot(&NotCalled),     Slot(&NotCalled),
    Slot(&NotCalled),      Slot(&NotCalled), Slot(&NotCalled), Slot(&NotCalled),     Slot(&AttachPattern),
    Slot(&GetPatternData), Slot(&GetPatternKind)};
void* const FillEngine::s_patternTable[3] = {Slot(&QueryInterface), Slot(&AddRef), Slot(&Release)};

FillEngine::FillEngine() {
  for (DWORD r = 0; r < kRoles; ++r) {
    const auto role = static_cast<Role>(r);
    const void* const* table = role <= kSymbolFactory ? s_factoryTable : role == kFill ? s_fillTable : s_patternTable;
    m_objects[r] = Object{table, this, role, 1};
  }
  for (DWORD r = kFillFactory; r <= kSymbolFactory; ++r) {
    HostSetClassExtension(kRoleInfo[r].extension, kRoleInfo[r].iid, m_objects[r].Unknown());
  }
}

FillEngine::~FillEngine() {
  for (DWORD r = kFillFactory; r <= kSymbolFactory; ++r) {
    HostSetClassExtension(kRoleInfo[r].extension, kRoleInfo[r].iid, nullptr);
  }
}

HRESULT FillEngine::Failure(Role role, DWORD slot) const {
  const auto found = failures.find({role, slot});
  return found == failures.end() ? S_OK : found->second;
}

HRESULT STDMETHODCALLTYPE FillEngine::QueryInterface(Object* self, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const bool own = IsEqualIID(iid, *kRoleInfo[self->role].iid);
  if (!own && !IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
  if (own && FAILED(self->engine->Failure(self->role, 0))) return self->engine->Failure(self->role, 0);
  ++self->references;
  *out = self;
  return S_OK;
}

ULONG STDMETHODCALLTYPE FillEngine::AddRef(Object* self) { return ++self->references; }

ULONG STDMETHODCALLTYPE FillEngine::Release(Object* self) { return --self->references; }

HRESULT STDMETHODCALLTYPE FillEngine::NotCalled(Object*) { return E_UNEXPECTED; }

HRESULT STDMETHODCALLTYPE FillEngine::Make(Object* self, DWORD first, DWORD second, IUnknown** out) {
  FillEngine& engine = *self->engine;
  engine.calls.push_back({self->role, 11, first, second});
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const HRESULT hr = engine.Failure(self->role, 11);
  if (FAILED(hr)) return hr;
  Object& made = engine.m_objects[kRoleInfo[self->role].makes];
  ++made.references;
  *out = made.Unknown();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FillEngine::AttachPattern(Object* self, DWORD first) {
  self->engine->calls.push_back({self->role, 9, first, 0});
  return self->engine->Failure(self->role, 9);
}

HRESULT STDMETHODCALLTYPE FillEngine::GetPatternData(Object* self, DWORD* data) {
  self->engine->calls.push_back({self->role, 10, 0, 0});
  if (!data) return E_INVALIDARG;
  *data = self->engine->patternData;
  return self->engine->Failure(self->role, 10);
}

HRESULT STDMETHODCALLTYPE FillEngine::GetPatternKind(Object* self, DWORD* kind) {
  self->engine->calls.push_back({self->role, 11, 0, 0});
  if (!kind) return E_INVALIDARG;
  *kind = self->engine->kind;
  return self->engine->Failure(self->role, 11);
}

}  // namespace host_app
