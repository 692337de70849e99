// What the dash type tests share: simple dash types made by stylesrv.dll's class object, a recording client of
// the dash generation built on the style bases, runs of points, and readers of what the target drew.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "display/style/stylesrv_clsid.h"
#include "tests/bases/test_styles.h"

inline constexpr CLSID CLSID_TestDashClient = {0x5B1E0C10, 0x77A2, 0x4C1D, {0x8E, 0x31, 0x40, 0x9A, 0x12, 0x6F, 0x20, 0x10}};
inline constexpr char kDashTypeSource[] = "DASHTYPE";
inline constexpr char kSimpleDashSource[] = "DTSIMPLE";
// The record version that the engine keeps for simple dash types.
inline constexpr WORD kDashCurrentVersion = 4;

// The engine keeps the current version of every class it stores; the tests tell it the dash type's.
void RegisterDashTypeVersion();

// A simple dash type made through the class object of stylesrv.dll, with its interfaces; one reference each.
class DashType {
 public:
  explicit DashType(const CLSID& clsid = CLSID_JStyleSimpleDashType);
  // Takes over an object (one reference), e.g. a clone.
  explicit DashType(IUnknown* object);
  ~DashType();
  DashType(const DashType&) = delete;
  DashType& operator=(const DashType&) = delete;

  IUnknown* unknown = nullptr;
  IJStyleSimpleDashType* simple = nullptr;
  IJStyleDashType* list = nullptr;
  IJStyleDashTypeRender* render = nullptr;
  IJManageStyle2* manage = nullptr;
  IJPersist* persist = nullptr;

  // SetData with these lengths, mode and end fraction (units code 13).
  HRESULT Set(std::vector<double> lengths, DWORD flags = 0, double endFraction = 0.5, DWORD units = 13);
  std::vector<double> Lengths() const;
  tagStyleSimpleDashTypeData Data(std::vector<double>* lengths = nullptr) const;
  DWORD LockedFields() const;
  DWORD ClientCount() const;
  std::vector<DWORD> ClientIDs(LONG count) const;

 private:
  void Query();
};

// One call a client got.
struct ClientCall {
  std::string client;
  std::string op;  // BeginRun, EndRun, EntryStart, CornerReached, EntryEnd
  DWORD index = 0;
  double x = 0, y = 0, z = 0;
  double length = 0;  // the offset of EntryStart, the piece length of CornerReached and EntryEnd
  double value = 0;   // the entry value of EntryStart and EntryEnd
  double u[2] = {0, 0};
  void** state = nullptr;
  bool stateHeld = false;  // EndRun: the state word still held what BeginRun put there
  DWORD targetCalls = 0;   // calls the target had recorded when this one came
};

struct ClientLog {
  std::vector<ClientCall> calls;
  ISitheRecording* target = nullptr;  // when set, each call notes how many calls the target had
  // The calls of one operation, in order.
  std::vector<ClientCall> Of(const std::string& op) const;
  std::vector<std::string> Ops() const;
};

// A style that serves the pattern entries a test chooses and records everything the dash generation tells it.
class TestDashClient : public CStyleRdr2dBase {
 public:
  explicit TestDashClient(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(TestDashClient)
  // With one reference.
  static TestDashClient* Create(std::string name, ClientLog* log, std::set<DWORD> entries = {0});

  GUID* GetClassID(GUID* out) override;
  const char* GetClassName() override { return "TestDashClient"; }
  void* GetInterface(REFIID iid) override;
  HRESULT Serialize(JArchive* archive) override;
  HRESULT SerializeCurrent(JArchive* archive) override;
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                          tagStyleOverride* record) override;

  IJStyleDashTypeClient* Client() { return &m_IJStyleDashTypeClientImp; }
  IUnknown* Unknown() { return static_cast<UUnknown*>(this); }
  IJStyleSetup2d* Setup() { return &m_IJStyleSetup2dImp; }

  std::string name;
  ClientLog* log = nullptr;
  std::set<DWORD> entries;          // the entries it serves
  HRESULT entryEndAnswer = S_OK;    // 1: it drew
  int value = 0;                    // compared by IsEqual
  StyleExtent extent{};             // what its range answers
  int accepts = 0;                  // AcceptsEntry calls
  int runsOpen = 0;                 // BeginRun calls not yet ended
  int runState = 0;                 // what its state words point at

  STYLE_BEGIN_INTERFACE_PART(TestDashClient, IJStyleDashTypeClient)
  HRESULT STDMETHODCALLTYPE AcceptsEntry(DWORD index) override;
  HRESULT STDMETHODCALLTYPE BeginRun(void** state, const DashClientContext* context, DWORD index) override;
  HRESULT STDMETHODCALLTYPE EndRun(void** state, const DashClientContext* context, DWORD index) override;
  HRESULT STDMETHODCALLTYPE EntryStart(void** state, const DashClientContext* context, DWORD index, double x,
                                       double y, double z, double offset, double value) override;
  HRESULT STDMETHODCALLTYPE CornerReached(void** state, const DashClientContext* context, DWORD index, double x,
                                          double y, double z, double pieceLength,
                                          const double* direction) override;
  HRESULT STDMETHODCALLTYPE EntryEnd(void** state, const DashClientContext* context, DWORD index, double x,
                                     double y, double z, double pieceLength, const double* direction,
                                     double value) override;
  STYLE_END_INTERFACE_PART(IJStyleDashTypeClient)

  // The last context a call came with.
  DashClientContext lastContext{};

 protected:
  ~TestDashClient() = default;

 private:
  ClientCall& Record(const char* op, void** state, DWORD index);
  // A call at a point of the run, within a run the client began.
  ClientCall& RecordAt(const char* op, void** state, const DashClientContext* context, DWORD index, double x,
                       double y, double z, double length);
};

// A run of points: (x, y) pairs at z = 0, or (x, y, z) triples.
struct PointRun {
  explicit PointRun(const std::vector<double>& values, bool withZ = false);
  PointRun(const PointRun&) = delete;
  PointRun& operator=(const PointRun&) = delete;
  std::vector<double> points;  // three f64 each
  StylePointRun run{};
};

// A polyline as drawn: its points (three f64 each).
struct DrawnLine {
  std::vector<double> points;
  DWORD Count() const { return static_cast<DWORD>(points.size() / 3); }
  double X(DWORD i) const { return points[3 * i]; }
  double Y(DWORD i) const { return points[3 * i + 1]; }
  double Z(DWORD i) const { return points[3 * i + 2]; }
  // Its length in x and y.
  double Length() const;
};

// Every DrawPolyline the target recorded, in order.
std::vector<DrawnLine> Polylines(const TestTarget& target);
// The lengths of every SetDashPattern call, in order; an empty vector stands for (0, null).
std::vector<std::vector<double>> DashPatterns(const TestTarget& target);

// A render context whose three scales are 1.
RenderContextScales UnitContext();

// Dashes a run with the given context, record and element record (each may be null).
HRESULT Dash(const DashType& dash, const PointRun& run, const TestTarget& target, const RenderContextScales* context,
             DWORD fitRequest = 0, const tagStyleOverride* record = nullptr,
             const StyleElementRecord* element = nullptr, DWORD colour = 0x0000FF, double width = 0.5);

// The IUnknown word that OnStyleChanged carries.
inline DWORD StyleWord(IUnknown* style) { return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(style)); }
