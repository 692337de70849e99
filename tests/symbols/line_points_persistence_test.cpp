// The line point generator's records: the current layout and the two older ones, counts above and below the
// four entries a generator always has, and records that are cut short, over-counted or hold no numbers.
#include <cmath>
#include <cstring>

#include "tests/symbols/line_points_fixtures.h"

using stylesrv_test::Reports;

namespace line_points_test {
namespace {

constexpr std::size_t kCountAt = 20;  // after the base record and six reserved bytes
constexpr std::size_t kEntriesAt = 22;
constexpr std::size_t kEntrySize = 40;
// JStyleBase's header, the class header, the older base record, the units code and the u32 count.
constexpr std::size_t kOlderEntriesAt = 18 + 18 + 26 + 4 + 4;

class LinePointsPersistenceTest : public symbols_test::PointSymbolTest {};

// A generator with n entries whose placements tell them apart.
void Fill(Generator& g, DWORD n) {
  for (DWORD i = 0; i < n; ++i) {
    ASSERT_EQ(g.gen->SetEntryByID(static_cast<LONG>(i), 0, 0.125f * (i + 1), i + 0.5, -1.0 * i, 0.25 * i, i & 1,
                                  (i >> 1) & 1),
              S_OK);
  }
}

struct Placement {
  float fraction;
  double along, across, angle;
  DWORD absolute, upright;
  bool operator==(const Placement&) const = default;
};

Placement PlacementOf(const Generator& g, DWORD i) {
  const LinePointEntry& e = g.Style()->Entry(i);
  return {e.fraction, e.along, e.across, e.angle, e.absolute, e.upright};
}

TEST_F(LinePointsPersistenceTest, RecordsOfEveryVersionLoadTheirEntries) {
  const struct {
    const char* what;
    WORD version;  // 0: unversioned
    DWORD stored;  // entries of the generator stored
    DWORD into;    // entries of the generator loaded into
    DWORD loaded;  // entries it has afterwards
  } cases[] = {
      {"a new generator", 0, 4, 4, 4},
      {"six entries", 0, 6, 4, 6},
      {"six into nine", 4, 6, 9, 6},
      {"version 3", 3, 5, 4, 5},
      {"version 2 keeps fraction and flags", 2, 5, 4, 5},
  };
  for (const auto& c : cases) {
    Generator stored(server);
    Fill(stored, c.stored);
    TestArchive archive(ARCHIVE_STORING | (c.version ? DWORD{ARCHIVE_VERSIONED} : 0));
    if (c.version) ArchiveSetClassVersion(archive.get(), &CLSID_JStyleLinePointGen, c.version);
    ASSERT_EQ(stored.persist->Store(archive.get()), S_OK) << c.what;
    const std::vector<BYTE> bytes = archive.Bytes();
    const std::size_t entries = c.version == 2 || c.version == 3 ? kOlderEntriesAt : kEntriesAt;
    const std::size_t entrySize = c.version == 2 ? 30 : kEntrySize;
    const std::size_t header = c.version ? 36 : 0;
    ASSERT_EQ(bytes.size(), (c.version == 2 || c.version == 3 ? 0 : header) + entries + c.stored * entrySize)
        << c.what;
    if (!c.version) {
      EXPECT_EQ(ReadAt<WORD>(bytes, kCountAt), c.stored);
      EXPECT_EQ(ReadAt<DWORD>(bytes, 14), 0u);  // six reserved bytes
      EXPECT_EQ(ReadAt<WORD>(bytes, 18), 0u);
    }

    Generator loaded(server);
    Fill(loaded, c.into);
    ASSERT_EQ(loaded.gen->SetEntryByID(0, 0, 0.875f, 9, 9, 9, 1, 1), S_OK);
    std::vector<Placement> prior;
    for (DWORD i = 0; i < c.into; ++i) prior.push_back(PlacementOf(loaded, i));
    archive.Reload();
    ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK) << c.what;
    ASSERT_EQ(loaded.Count(), c.loaded) << c.what;
    for (DWORD i = 0; i < c.stored; ++i) {
      Placement expected = PlacementOf(stored, i);
      if (c.version == 2) {
        const Placement kept = i < c.into ? prior[i] : Placement{};
        expected.fraction = kept.fraction;
        expected.absolute = kept.absolute;
        expected.upright = kept.upright;
      }
      EXPECT_EQ(PlacementOf(loaded, i), expected) << c.what << " entry " << i;
    }
  }
}

TEST_F(LinePointsPersistenceTest, ACountBelowFourKeepsTheRestAndFlagsReadBackAsBits) {
  Generator stored(server);
  ASSERT_EQ(stored.gen->SetEntryByID(0, 0, 0.5f, 1, 2, 3, 5, 6), S_OK);
  TestArchive archive(ARCHIVE_STORING);
  ASSERT_EQ(stored.persist->Store(archive.get()), S_OK);
  ASSERT_EQ(archive.Bytes()[kEntriesAt + 32], 3);  // bit 0 absolute, bit 1 upright
  WriteAt(archive.get(), kCountAt, WORD{3});

  Generator loaded(server);
  Fill(loaded, 4);
  const Placement fourth = PlacementOf(loaded, 3);
  archive.Reload();
  ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK);
  EXPECT_EQ(loaded.Count(), 4u);
  EXPECT_EQ(PlacementOf(loaded, 0), (Placement{0.5f, 1, 2, 3, 1, 1}));
  EXPECT_EQ(PlacementOf(loaded, 1), Placement{});
  EXPECT_EQ(PlacementOf(loaded, 3), fourth);

  TestArchive again(ARCHIVE_STORING);
  ASSERT_EQ(loaded.persist->Store(again.get()), S_OK);
  EXPECT_EQ(again.Bytes().size(), kEntriesAt + 4 * kEntrySize);
}

TEST_F(LinePointsPersistenceTest, DamagedRecordsFailAndChangeNothing) {
  const double nan = std::nan("");
  const struct {
    const char* what;
    WORD version;
    std::size_t cutTo;        // 0: whole
    std::size_t at;           // where a value is written (0: none)
    std::vector<BYTE> value;  // what is written there
  } cases[] = {
      {"cut inside the last entry", 0, kEntriesAt + 4 * kEntrySize - 3, 0, {}},
      {"counted past its end", 0, 0, kCountAt, {0xFF, 0xFF}},
      {"an angle that is no number", 0, 0, kEntriesAt + kEntrySize + 24, {}},
      {"version 3 counted past its end", 3, 0, kOlderEntriesAt - 4, {100, 0, 0, 0}},
      {"version 2 cut inside an entry", 2, kOlderEntriesAt + 2 * 30 - 1, 0, {}},
  };
  for (const auto& c : cases) {
    Generator stored(server);
    Fill(stored, 4);
    TestArchive archive(ARCHIVE_STORING | (c.version ? DWORD{ARCHIVE_VERSIONED} : 0));
    if (c.version) ArchiveSetClassVersion(archive.get(), &CLSID_JStyleLinePointGen, c.version);
    ASSERT_EQ(stored.persist->Store(archive.get()), S_OK);
    std::vector<BYTE> bytes = archive.Bytes();
    if (c.cutTo) bytes.resize(c.cutTo);
    if (c.at && c.value.empty()) std::memcpy(&bytes[c.at], &nan, sizeof nan);
    if (c.at && !c.value.empty()) std::memcpy(&bytes[c.at], c.value.data(), c.value.size());
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    archive.Reload();

    Generator loaded(server);
    Fill(loaded, 5);
    const Placement first = PlacementOf(loaded, 0);
    stylesrv_test::ClearReports();
    EXPECT_TRUE(FAILED(loaded.persist->Load(archive.get()))) << c.what;
    EXPECT_FALSE(Reports().empty()) << c.what;
    EXPECT_EQ(loaded.Count(), 5u) << c.what;
    EXPECT_EQ(PlacementOf(loaded, 0), first) << c.what;
  }
}

}  // namespace
}  // namespace line_points_test
