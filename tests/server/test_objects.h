// Classes built on UUnknown for the tests only: the server has no class of its own yet, and these let the
// tests drive the object base and the class objects through every path.
#pragma once

#include <string>
#include <vector>

#include "display/style/server.h"
#include "display/style/stylesrv_com.h"
#include "display/style/uclsfact.h"

struct ITestProbe : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Ping(LONG* out) = 0;
};
inline constexpr IID IID_ITestProbe = {0x3E0D7C41, 0x6A2B, 0x4F0E, {0x9D, 0x51, 0x2C, 0x7A, 0x90, 0x11, 0x5E, 0x03}};

// What happened to test objects, in order ("FinalRelease", "destructor", "outer FinalRelease" ...).
std::vector<std::string>& Events();

// An engine-allocated class with one nested interface. It counts itself as a live object of the server whose
// internal table is set in `server`.
class TestObject : public UUnknown {
 public:
  STYLE_ENGINE_ALLOCATED
  explicit TestObject(IUnknown* outer);
  STYLE_DECLARE_DELETING_DESTRUCTOR(TestObject)

  // How the next objects behave.
  static inline HRESULT initResult = S_OK;
  static inline bool touchCountInFinalRelease = false;
  static inline const StyleServerInternals* server = nullptr;

  // The trace name of the last OuterAddRef.
  const char* lastTrace = nullptr;

  HRESULT Init() override;
  void FinalRelease() override;
  void* GetInterface(REFIID iid) override;
  ULONG OuterAddRef(const char* trace) override;
  const char* GetClassName() override { return "TestObject"; }

  STYLE_BEGIN_INTERFACE_PART(TestObject, ITestProbe)
  HRESULT STDMETHODCALLTYPE Ping(LONG* out) override;
  STYLE_END_INTERFACE_PART(ITestProbe)

 protected:
  ~TestObject();
};

// An object of the ordinary allocator that aggregates one TestObject, made through the given class object,
// and hands out the inner object's ITestProbe as its own.
class OuterObject : public UUnknown {
 public:
  explicit OuterObject(IClassFactory* innerFactory) : m_innerFactory(innerFactory) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(OuterObject)

  HRESULT Init() override;
  void FinalRelease() override;
  void* GetAggregateInterface(REFIID iid) override;

  IUnknown* inner() const { return m_inner; }

 protected:
  ~OuterObject() { Events().push_back("outer destructor"); }

 private:
  IClassFactory* m_innerFactory;
  IUnknown* m_inner = nullptr;
};

inline constexpr CLSID CLSID_TestObject = {0x3E0D7C42, 0x6A2B, 0x4F0E, {0x9D, 0x51, 0x2C, 0x7A, 0x90, 0x11, 0x5E, 0x03}};
inline constexpr CLSID CLSID_TestObjectAlias = {0x3E0D7C43, 0x6A2B, 0x4F0E, {0x9D, 0x51, 0x2C, 0x7A, 0x90, 0x11, 0x5E, 0x03}};

// Two CLSIDs of TestObject in one row (the server's own table has the rows of classes not built).
const StyleClassTable& TestClassTable();

// A reference count as seen from outside: AddRef then Release through the interface.
ULONG CountOf(IUnknown* unknown);
