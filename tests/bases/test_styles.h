// Concrete styles built on the style bases for the tests only, and the small fixtures the bases' tests share:
// a line style that draws its points and then its referenced style, a style on JStyleBase alone, archives,
// render targets and geometry.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "display/style/stylbas/CStyleRdr2dBase.h"
#include "host/sithe/sithe.h"
#include "tests/bases/recording_librarian.h"
#include "tests/support/stylesrv_test.h"

inline constexpr CLSID CLSID_TestLineStyle = {0x5B1E0C01, 0x77A2, 0x4C1D, {0x8E, 0x31, 0x40, 0x9A, 0x12, 0x6F, 0x20, 0x01}};
inline constexpr CLSID CLSID_TestParaStyle = {0x5B1E0C02, 0x77A2, 0x4C1D, {0x8E, 0x31, 0x40, 0x9A, 0x12, 0x6F, 0x20, 0x01}};
inline constexpr WORD kTestLineCurrentVersion = 2;
inline constexpr WORD kTestParaCurrentVersion = 1;
// What the test styles report failures as.
inline constexpr char kTestLineSource[] = "TESTLINE";

// A line style: fills colour and width into the render record, draws the point list as one polyline, then
// draws its referenced style. Its current record is the base record, colour, width and a counted list of
// lengths; version 1 is the older layout (the render base's older record, colour, width, units code).
class TestLineStyle : public CStyleRdr2dBase {
 public:
  explicit TestLineStyle(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(TestLineStyle)

  // A new style with one reference.
  static TestLineStyle* Create(DWORD colour = 0x0000FF, double width = 1.0);

  GUID* GetClassID(GUID* out) override;
  const char* GetClassName() override { return "TestLineStyle"; }
  HRESULT Serialize(JArchive* archive) override;
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                          tagStyleOverride* record) override;
  HRESULT PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales* context, double scale) override;
  HRESULT SerializeCurrent(JArchive* archive) override;

  IJStyleRender* RenderItf() { return &m_IJStyleRenderImp; }
  IJStyleSetup2d* Setup() { return &m_IJStyleSetup2dImp; }
  IJManageStyle2* Manage() { return &m_IJManageStyle2Imp; }
  IJPersist* Persist() { return &m_IJPersistImp; }
  IJStyleUser* User() { return &m_IJStyleUserImp; }
  IUnknown* Unknown() { return static_cast<UUnknown*>(this); }

  DWORD colour = 0;
  double width = 0;
  std::vector<double> lengths;
  StyleExtent ownExtent{};  // what GetExtentRecord answers
  // What the last PrepareRenderRecord was given, and how often the style drew itself.
  double lastScale = 0;
  int renders = 0;

 protected:
  ~TestLineStyle() = default;

 private:
  HRESULT SerializeVersion1(JArchive* archive);
};

// A style on JStyleBase alone, as the text paragraph style is: the base record and one value.
class TestParaStyle : public JStyleBase {
 public:
  explicit TestParaStyle(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(TestParaStyle)
  static TestParaStyle* Create();

  GUID* GetClassID(GUID* out) override;
  const char* GetClassName() override { return "TestParaStyle"; }
  HRESULT Serialize(JArchive* archive) override;

  IJPersist* Persist() { return &m_IJPersistImp; }
  IJManageStyle2* Manage() { return &m_IJManageStyle2Imp; }
  IUnknown* Unknown() { return static_cast<UUnknown*>(this); }

  DWORD value = 0;

 protected:
  ~TestParaStyle();
};

// ---- fixtures ----

// An archive of the engine for the length of a test.
class TestArchive {
 public:
  explicit TestArchive(DWORD flags) : m_archive(ArchiveCreate(flags)) {}
  ~TestArchive() { ArchiveDestroy(m_archive); }
  TestArchive(const TestArchive&) = delete;
  TestArchive& operator=(const TestArchive&) = delete;
  JArchive* get() const { return m_archive; }
  // Back to the start for loading what was stored, in the same form.
  void Reload(DWORD extraFlags = 0) {
    ArchiveRestart(m_archive, (m_archive->flags & ARCHIVE_VERSIONED) | ARCHIVE_LOADING | extraFlags);
  }
  std::vector<BYTE> Bytes() const {
    const BYTE* data = ArchiveData(m_archive);
    return std::vector<BYTE>(data, data + ArchiveSize(m_archive));
  }

 private:
  JArchive* m_archive;
};

// A value read at a byte offset of stored bytes, and one written into an archive's bytes (which restarts it).
template <class T>
T ReadAt(const std::vector<BYTE>& bytes, std::size_t at) {
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

template <class T>
void WriteAt(JArchive* archive, std::size_t at, T value) {
  std::vector<BYTE> bytes(ArchiveData(archive), ArchiveData(archive) + ArchiveSize(archive));
  std::memcpy(bytes.data() + at, &value, sizeof value);
  ArchiveSetData(archive, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// A record image built value by value, as an archive lays them out.
struct ByteImage {
  template <class T>
  ByteImage& operator<<(T value) {
    const auto* p = reinterpret_cast<const BYTE*>(&value);
    bytes.insert(bytes.end(), p, p + sizeof value);
    return *this;
  }
  std::vector<BYTE> bytes;
};

// A recording render target for the length of a test.
class TestTarget {
 public:
  TestTarget();
  ~TestTarget();
  TestTarget(const TestTarget&) = delete;
  TestTarget& operator=(const TestTarget&) = delete;
  IRenderTarget2d* target() const { return m_target; }
  ISitheRecording* recording() const { return m_recording; }
  // The names of the recorded calls, in order.
  std::vector<std::string> Names() const;
  std::vector<SitheCall> Calls() const;
  std::string Svg() const;

 private:
  ISitheRecording* m_recording = nullptr;
  IRenderTarget2d* m_target = nullptr;
};

// A geometry record over a list of plain points.
struct TestGeometry {
  explicit TestGeometry(std::vector<double> xyz);
  TestGeometry(const TestGeometry&) = delete;
  TestGeometry& operator=(const TestGeometry&) = delete;
  std::vector<double> points;
  StylePointRun run{};
  StyleGeometryRecord record{};
};

// A render context with the three scales and nothing else set.
RenderContextScales Scales(double s11, double s12, double s13);

// An object made by a Clone, as its class, with the reference Clone gave.
template <class T>
T* AsStyle(IUnknown* object) {
  return static_cast<T*>(static_cast<UUnknown*>(object));
}
