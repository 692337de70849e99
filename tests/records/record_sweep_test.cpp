// Every class of stylesrv.dll that stores a record, loaded from damaged copies of its stored images: cut at
// every byte, bits flipped, counts raised to huge values, class versions out of range. Each load either succeeds
// and the object stores itself again, or fails with an HRESULT; nothing crashes or hangs, and when a type's sweep
// ends, no object of it and no engine block is left. The seed (STYLESRV_SWEEP_SEED) and the mutations per image
// (STYLESRV_SWEEP_COUNT) come from the environment, so that a longer sweep is the same program.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "display/style/stylesrv_clsid.h"
#include "display/style/stylesrv_itf.h"
#include "tests/support/stylesrv_test.h"

using stylesrv_test::ServerModule;

namespace {

unsigned long Setting(const char* name, unsigned long fallback) {
  char text[32];
  const DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
  return n > 0 && n < sizeof text ? std::strtoul(text, nullptr, 0) : fallback;
}

// An offset line keeps a stored mode past 4, which its record's three bits can name but which it refuses to
// store: the one loaded object that may not store itself back.
bool KeepsUnstorableMode(IUnknown* object) {
  IJStyleOLG* offsetLine = nullptr;
  if (FAILED(object->QueryInterface(IID_IJStyleOLG, reinterpret_cast<void**>(&offsetLine)))) return false;
  DWORD mode = 0;
  const bool kept = SUCCEEDED(offsetLine->GetMode(&mode)) && mode > 4;
  offsetLine->Release();
  return kept;
}

constexpr std::size_t kHeaderSize = 18;  // a versioned image starts with the 16-byte tag and the 16-bit version

// An object of a served class with its IJPersist, one reference each; empty when the class makes none.
struct Persisted {
  IUnknown* unknown = nullptr;
  IJPersist* persist = nullptr;
  Persisted(const ServerModule& server, REFCLSID clsid) {
    IClassFactory* factory = nullptr;
    if (FAILED(server.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return;
    if (SUCCEEDED(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown))))
      unknown->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist));
    factory->Release();
  }
  ~Persisted() {
    if (persist) persist->Release();
    if (unknown) unknown->Release();
  }
  Persisted(const Persisted&) = delete;
  Persisted& operator=(const Persisted&) = delete;
};

struct Archive {
  JArchive* archive;
  explicit Archive(DWORD flags) : archive(ArchiveCreate(flags)) {}
  ~Archive() { ArchiveDestroy(archive); }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;
  std::vector<BYTE> Bytes() const {
    const BYTE* data = ArchiveData(archive);
    return std::vector<BYTE>(data, data + ArchiveSize(archive));
  }
};

// The damaged copies of one image: first every truncation, then seeded bit flips, huge counts and, for a
// versioned image, versions out of range.
class Mutations {
 public:
  Mutations(std::vector<BYTE> image, bool versioned, unsigned long seed, unsigned long count)
      : m_image(std::move(image)), m_versioned(versioned), m_rng(seed), m_count(count) {}

  bool Next(std::vector<BYTE>* out) {
    if (m_done >= m_image.size() + m_count) return false;
    *out = m_image;
    if (m_done < m_image.size()) {
      out->resize(m_done++);
      return true;
    }
    ++m_done;
    if (m_image.empty()) return true;
    std::uniform_int_distribution<std::size_t> at(0, m_image.size() - 1);
    switch (m_rng() % (m_versioned ? 4 : 3)) {
      case 0:  // a few bits
        for (int i = 0, n = 1 + m_rng() % 3; i < n; ++i) (*out)[at(m_rng)] ^= static_cast<BYTE>(1u << (m_rng() % 8));
        break;
      case 1: {  // a 16-bit count or length raised
        const std::size_t p = at(m_rng);
        const WORD huge[] = {0xFFFF, 0x8000, 0x7FFF, 0x1000};
        const WORD v = huge[m_rng() % 4];
        std::memcpy(out->data() + p, &v, std::min<std::size_t>(2, out->size() - p));
        break;
      }
      case 2: {  // a 32-bit count raised
        const std::size_t p = at(m_rng);
        const DWORD huge[] = {0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0x00100000, 0x40000000};
        const DWORD v = huge[m_rng() % 5];
        std::memcpy(out->data() + p, &v, std::min<std::size_t>(4, out->size() - p));
        break;
      }
      default: {  // the class version
        const WORD versions[] = {0, 1, 0xFFFF, 0x7FFF, static_cast<WORD>(m_rng() % 64)};
        const WORD v = versions[m_rng() % 5];
        if (out->size() >= kHeaderSize) std::memcpy(out->data() + 16, &v, 2);
        break;
      }
    }
    return true;
  }

 private:
  std::vector<BYTE> m_image;
  bool m_versioned;
  std::mt19937 m_rng;
  unsigned long m_count;
  std::size_t m_done = 0;
};

struct Outcome {
  unsigned long tried = 0, loaded = 0, refused = 0;
};

class RecordSweep : public ::testing::TestWithParam<StyleServedClsid> {};

TEST_P(RecordSweep, DamagedImagesLoadOrAreRefused) {
  const StyleServedClsid& served = GetParam();
  const unsigned long seed = Setting("STYLESRV_SWEEP_SEED", 20);
  const unsigned long count = Setting("STYLESRV_SWEEP_COUNT", 1500);
  ServerModule server;
  ASSERT_TRUE(server.loaded());
  const LONG objects = server.internals().GetLiveObjectCount();
  const LONG blocks = EngineLiveBlocks();
  Outcome outcome;
  bool stores = false, failedForm = false;
  {
    // The valid images: the new object's record, plain and with its class header.
    Persisted original(server, *served.clsid);
    if (!original.persist) GTEST_SKIP() << served.className << " stores no record";
    ASSERT_EQ(original.persist->InitNew(), S_OK) << served.className;
    for (DWORD flags : {DWORD{ARCHIVE_STORING}, DWORD{ARCHIVE_STORING | ARCHIVE_VERSIONED}}) {
      Archive stored(flags);
      const HRESULT storedHr = original.persist->Store(stored.archive);
      if (FAILED(storedHr)) {
        // A class that stores a new object under one form of the archive stores it under the other too; one that
        // stores under neither is said in the output, where the counts of a run are read.
        if (stores) {
          ADD_FAILURE() << served.className << " cannot store a new object under archive flags " << flags;
        } else {
          std::printf("[ sweep    ] %-24s stores no new record (0x%08lX) under flags %lu\n", served.className,
                      static_cast<unsigned long>(storedHr), static_cast<unsigned long>(flags));
          failedForm = true;
        }
        continue;
      }
      if (failedForm) ADD_FAILURE() << served.className << " stores a new object only under archive flags " << flags;
      stores = true;
      const DWORD loading = (flags & ~DWORD{ARCHIVE_STORING}) | ARCHIVE_LOADING;
      Mutations mutations(stored.Bytes(), (flags & ARCHIVE_VERSIONED) != 0, seed, count);
      std::vector<BYTE> bytes;
      while (mutations.Next(&bytes)) {
        ++outcome.tried;
        Persisted loaded(server, *served.clsid);
        ASSERT_NE(loaded.persist, nullptr);
        Archive source(loading);
        ArchiveSetData(source.archive, bytes.data(), static_cast<DWORD>(bytes.size()));
        const HRESULT hr = loaded.persist->Load(source.archive);
        if (FAILED(hr)) {
          ++outcome.refused;
        } else {
          ++outcome.loaded;
          Archive again(flags);
          const HRESULT storedBack = loaded.persist->Store(again.archive);
          if (storedBack != E_INVALIDARG || !KeepsUnstorableMode(loaded.unknown)) {
            ASSERT_EQ(storedBack, S_OK)
                << served.className << " loaded mutation " << outcome.tried << " (" << bytes.size()
                << " bytes) but cannot store it back";
          }
        }
        stylesrv_test::ClearReports();
      }
    }
  }
  if (!stores) GTEST_SKIP() << served.className << " stores no new record";
  std::printf("[ sweep    ] %-24s %6lu mutations: %6lu loaded and stored back, %6lu refused with an HRESULT\n",
              served.className, outcome.tried, outcome.loaded, outcome.refused);
  EXPECT_EQ(outcome.loaded + outcome.refused, outcome.tried);
  EXPECT_EQ(server.internals().GetLiveObjectCount(), objects) << served.className << " left live objects";
  EXPECT_EQ(EngineLiveBlocks(), blocks) << served.className << " left engine blocks";
}

INSTANTIATE_TEST_SUITE_P(ServedClasses, RecordSweep, ::testing::ValuesIn(kStyleServedClsids),
                         [](const ::testing::TestParamInfo<StyleServedClsid>& info) {
                           return std::string(info.param.className) + "_" + std::to_string(info.index);
                         });

}  // namespace
