// Style-library files written through the server, damaged on disk and opened again, under Wine: through the
// accessor as the custodian's cache opens a file, and through a thread's custodian as a document library asks
// for the names of its files. The damage is of two kinds: to the compound file itself (cut, junk appended,
// header fields, directory entries and sector chains overwritten) and to the streams of a sound compound file
// (cut, removed, junk appended, their counts, sizes, IDs and classes overwritten, the library's record cut and
// raised). Every file opens or is refused with a failure HRESULT, in bounded time: one whose damage cannot go
// unnoticed is refused, one whose damage lies outside what is read opens whole. After each one no object,
// engine block, document or temporary copy is left, and the file on disk is as it was.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/StyleNameMap.h"
#include "tests/bases/test_styles.h"
#include "tests/stylcst/custodian_fixtures.h"

namespace {

using stylesrv_test::Reports;

constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);
constexpr wchar_t kDamagedName[] = L"damaged.stl";

std::string Narrow(const std::wstring& text) {
  char narrow[3 * MAX_PATH] = "";
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

std::vector<BYTE> ReadBytes(const std::wstring& path) {
  std::ifstream in(Narrow(path), std::ios::binary);
  return std::vector<BYTE>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes) {
  std::ofstream(Narrow(path), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

DWORD WordAt(const std::vector<BYTE>& bytes, std::size_t at) {
  DWORD value = 0;
  if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

template <class T>
std::vector<BYTE> With(std::vector<BYTE> bytes, std::size_t at, T value) {
  if (at + sizeof value <= bytes.size()) std::memcpy(bytes.data() + at, &value, sizeof value);
  return bytes;
}

// What a damaged file must come to. Either: it may open or be refused, as long as the answer is clear.
enum class Expect { Opens, Refused, OtherVersion, Either };

struct Damage {
  std::string what;
  std::vector<BYTE> file;
  Expect expect;
};

// ---- damage to the compound file ----

constexpr DWORD kEndOfChain = 0xFFFFFFFE;
constexpr DWORD kFreeSector = 0xFFFFFFFF;
constexpr std::size_t kSector = 512;

// Where the sizes, counts and sector numbers of a compound file of 512-byte sectors lie.
struct CompoundLayout {
  std::vector<std::size_t> directoryEntries;  // file offsets of the 128-byte entries in use
  struct Link {
    std::size_t at;  // the file offset of a FAT or mini FAT entry in use
    DWORD sector;    // the (mini) sector it follows
  };
  std::vector<Link> chainLinks;
};

std::size_t SectorOffset(DWORD sector) { return (static_cast<std::size_t>(sector) + 1) * kSector; }

// The sectors of a chain, in order; stops at a link out of range or a sector seen before.
std::vector<DWORD> Chain(const std::vector<BYTE>& file, const std::vector<DWORD>& fat, DWORD first) {
  std::vector<DWORD> sectors;
  for (DWORD s = first; s < fat.size() && std::find(sectors.begin(), sectors.end(), s) == sectors.end(); s = fat[s]) {
    if (SectorOffset(s) + kSector > file.size()) break;
    sectors.push_back(s);
  }
  return sectors;
}

CompoundLayout LayoutOf(const std::vector<BYTE>& file) {
  CompoundLayout layout;
  std::vector<DWORD> fat;
  std::vector<std::size_t> fatOffsets;
  for (DWORD i = 0, n = WordAt(file, 0x2C); i < n && i < 109; ++i) {
    const std::size_t at = SectorOffset(WordAt(file, 0x4C + 4 * i));
    for (std::size_t e = 0; e < kSector / 4 && at + kSector <= file.size(); ++e) {
      fat.push_back(WordAt(file, at + 4 * e));
      fatOffsets.push_back(at + 4 * e);
    }
  }
  for (std::size_t s = 0; s < fat.size(); ++s) {
    if (fat[s] != kFreeSector && SectorOffset(static_cast<DWORD>(s)) < file.size()) {
      layout.chainLinks.push_back({fatOffsets[s], static_cast<DWORD>(s)});
    }
  }
  for (DWORD s : Chain(file, fat, WordAt(file, 0x30))) {
    for (std::size_t e = 0; e < kSector / 128; ++e) {
      const std::size_t at = SectorOffset(s) + 128 * e;
      if (file[at + 0x42] != 0) layout.directoryEntries.push_back(at);  // an entry of a storage or stream
    }
  }
  DWORD miniEntries = 0;
  if (!layout.directoryEntries.empty()) miniEntries = WordAt(file, layout.directoryEntries[0] + 0x78) / 64;
  DWORD mini = 0;
  for (DWORD s : Chain(file, fat, WordAt(file, 0x3C))) {
    for (std::size_t e = 0; e < kSector / 4 && mini < miniEntries; ++e, ++mini) {
      if (WordAt(file, SectorOffset(s) + 4 * e) != kFreeSector)
        layout.chainLinks.push_back({SectorOffset(s) + 4 * e, mini});
    }
  }
  return layout;
}

std::vector<Damage> CompoundFileDamage(const std::vector<BYTE>& sound) {
  std::vector<Damage> damage{{"the sound file", sound, Expect::Opens}};
  const DWORD sectors = static_cast<DWORD>(sound.size() / kSector - 1);
  // Cut inside a sector, where the platform's storage would read zeros, and at every sector's end.
  for (std::size_t cut = 1; cut < sound.size(); cut += 211) {
    damage.push_back(
        {"cut to " + std::to_string(cut) + " bytes", {sound.begin(), sound.begin() + cut}, Expect::Refused});
  }
  for (std::size_t cut = kSector; cut < sound.size(); cut += kSector) {
    damage.push_back({"cut to " + std::to_string(cut / kSector) + " sectors",
                      {sound.begin(), sound.begin() + cut},
                      Expect::Refused});
  }
  // Whole sectors of junk after the last are no part of the file; a part of a sector is damage.
  std::mt19937 random(7);
  for (std::size_t extra : {std::size_t{100}, kSector, 3 * kSector, kSector + 1}) {
    std::vector<BYTE> file = sound;
    for (std::size_t i = 0; i < extra; ++i) file.push_back(static_cast<BYTE>(random()));
    damage.push_back(
        {std::to_string(extra) + " bytes of junk appended", file, extra % kSector ? Expect::Refused : Expect::Opens});
  }

  const DWORD huge[] = {0, 1, kEndOfChain, kFreeSector, 0x7FFFFFFF, sectors, sectors + 1};
  struct Field {
    const char* name;
    std::size_t at;
  };
  const Field header[] = {{"directory sectors", 0x28},      {"FAT sectors", 0x2C},
                          {"first directory sector", 0x30}, {"mini stream cutoff", 0x38},
                          {"first mini FAT sector", 0x3C},  {"mini FAT sectors", 0x40},
                          {"first DIFAT sector", 0x44},     {"DIFAT sectors", 0x48},
                          {"first FAT sector", 0x4C},       {"second FAT sector", 0x50}};
  for (const Field& field : header) {
    for (DWORD value : huge) {
      if (value == WordAt(sound, field.at)) continue;
      damage.push_back({std::string("header: ") + field.name + " " + std::to_string(value),
                        With(sound, field.at, value), Expect::Either});
    }
  }
  for (WORD shift : {WORD{0}, WORD{7}, WORD{12}, WORD{0xFFFF}}) {
    damage.push_back({"sector shift " + std::to_string(shift), With(sound, 0x1E, shift), Expect::Either});
    damage.push_back({"mini sector shift " + std::to_string(shift), With(sound, 0x20, shift), Expect::Either});
  }

  const CompoundLayout layout = LayoutOf(sound);
  EXPECT_GE(layout.directoryEntries.size(), 4u) << "the root and the document's three streams";
  EXPECT_FALSE(layout.chainLinks.empty());
  for (std::size_t e = 0; e < layout.directoryEntries.size(); ++e) {
    const std::size_t at = layout.directoryEntries[e];
    const std::string entry = "directory entry " + std::to_string(e) + ": ";
    const DWORD self = static_cast<DWORD>(e);
    const bool hasChildren = sound[at + 0x42] == 1 || sound[at + 0x42] == 5;  // a storage or the root
    for (const Field& field : {Field{"left", 0x44}, Field{"right", 0x48}, Field{"child", 0x4C}}) {
      // A link to itself, to the root and far past the entries: a tree that never ends or leads nowhere. The
      // storage once walked such a tree for ever; the links nothing follows (the root's siblings, a stream's
      // children) change nothing.
      const bool followed = field.at == 0x4C ? hasChildren : e != 0;
      for (DWORD value : {self, DWORD{0}, DWORD{0x7FFFFFFF}, DWORD{kEndOfChain}}) {
        damage.push_back({entry + field.name + " " + std::to_string(value), With(sound, at + field.at, value),
                          followed ? Expect::Refused : Expect::Either});
      }
    }
    for (DWORD value : huge) {
      damage.push_back({entry + "start " + std::to_string(value), With(sound, at + 0x74, value), Expect::Either});
    }
    const DWORD size = WordAt(sound, at + 0x78);
    for (DWORD value : {DWORD{0}, size - 1, size + 1, DWORD{4096}, DWORD{0x7FFFFFFF}, DWORD{0xFFFFFFFF}}) {
      damage.push_back({entry + "size " + std::to_string(value), With(sound, at + 0x78, value), Expect::Either});
    }
    damage.push_back({entry + "size above 4 GiB", With(sound, at + 0x7C, DWORD{1}), Expect::Either});
    for (WORD length : {WORD{0}, WORD{1}, WORD{66}, WORD{0xFFFF}}) {
      damage.push_back(
          {entry + "name length " + std::to_string(length), With(sound, at + 0x40, length), Expect::Either});
    }
    for (BYTE type : {BYTE{0}, BYTE{3}, BYTE{0xFF}}) {
      damage.push_back({entry + "type " + std::to_string(type), With(sound, at + 0x42, type), Expect::Either});
    }
  }
  // A link to its own sector is a chain without end; the others lead out of the file or end it early.
  for (const CompoundLayout::Link& link : layout.chainLinks) {
    for (DWORD value : {link.sector, DWORD{0}, kFreeSector, kEndOfChain, sectors + 1, DWORD{0x7FFFFFFF}}) {
      if (value == WordAt(sound, link.at)) continue;
      damage.push_back({"chain link at " + std::to_string(link.at) + " " + std::to_string(value),
                        With(sound, link.at, value), Expect::Either});
    }
  }
  return damage;
}

// ---- damage to the streams of a sound compound file ----

constexpr wchar_t kObjects[] = L"HostObjects";
constexpr wchar_t kNames[] = L"HostNames";
constexpr wchar_t kVersion[] = L"DocVersion2";

std::vector<BYTE> ReadStream(IStorage* storage, LPCWSTR name) {
  std::vector<BYTE> bytes;
  IStream* stream = nullptr;
  if (FAILED(storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream))) return bytes;
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  bytes.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  stream->Release();
  return bytes;
}

// The sound file with one stream replaced, or removed for nothing.
std::vector<BYTE> WithStream(const std::wstring& sound, const std::wstring& scratch, LPCWSTR name,
                             const std::optional<std::vector<BYTE>>& bytes) {
  CopyFileW(sound.c_str(), scratch.c_str(), FALSE);
  IStorage* storage = nullptr;
  EXPECT_EQ(StgOpenStorage(scratch.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage),
            S_OK);
  if (!storage) return {};
  if (bytes) {
    IStream* stream = nullptr;
    EXPECT_EQ(storage->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream), S_OK);
    if (stream && !bytes->empty()) {
      EXPECT_EQ(stream->Write(bytes->data(), static_cast<ULONG>(bytes->size()), nullptr), S_OK);
    }
    if (stream) stream->Release();
  } else {
    EXPECT_EQ(storage->DestroyElement(name), S_OK);
  }
  EXPECT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
  storage->Release();
  std::vector<BYTE> file = ReadBytes(scratch);
  DeleteFileW(scratch.c_str());
  return file;
}

// An object of the "HostObjects" stream: where its fields lie.
struct StoredObject {
  std::size_t at;  // its persistent ID; the class follows at +4, the record's size at +20, the record at +24
  DWORD size;
  CLSID clsid;
};

std::vector<StoredObject> ObjectsOf(const std::vector<BYTE>& stream) {
  std::vector<StoredObject> objects;
  std::size_t at = 4;
  for (DWORD i = 0, n = WordAt(stream, 0); i < n && at + 24 <= stream.size(); ++i) {
    StoredObject object{at, WordAt(stream, at + 20), {}};
    std::memcpy(&object.clsid, stream.data() + at + 4, sizeof object.clsid);
    objects.push_back(object);
    at += 24 + object.size;
  }
  return objects;
}

std::vector<Damage> StreamDamage(const std::wstring& sound, const std::wstring& scratch) {
  std::vector<Damage> damage;
  IStorage* storage = nullptr;
  EXPECT_EQ(StgOpenStorage(sound.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &storage), S_OK);
  if (!storage) return damage;
  const std::vector<BYTE> objects = ReadStream(storage, kObjects);
  const std::vector<BYTE> names = ReadStream(storage, kNames);
  const std::vector<BYTE> version = ReadStream(storage, kVersion);
  storage->Release();
  EXPECT_EQ(version.size(), 4u);
  auto add = [&](const std::string& what, LPCWSTR stream, const std::optional<std::vector<BYTE>>& bytes,
                 Expect expect) {
    damage.push_back({Narrow(stream) + ": " + what, WithStream(sound, scratch, stream, bytes), expect});
  };

  // Each stream cut, removed and followed by junk; past the end of what the readers take, junk changes nothing.
  struct Stream {
    LPCWSTR name;
    const std::vector<BYTE>& bytes;
    Expect whenCut;
    Expect whenRemoved;
  };
  for (const Stream& s : {Stream{kObjects, objects, Expect::Refused, Expect::Refused},
                          Stream{kNames, names, Expect::Refused, Expect::Refused},
                          Stream{kVersion, version, Expect::OtherVersion, Expect::Opens}}) {
    const std::size_t step = std::max<std::size_t>(1, s.bytes.size() / 60);
    for (std::size_t cut = 0; cut < s.bytes.size(); cut += step) {
      add("cut to " + std::to_string(cut), s.name, std::vector<BYTE>(s.bytes.begin(), s.bytes.begin() + cut),
          s.whenCut);
    }
    add("removed", s.name, std::nullopt, s.whenRemoved);
    for (std::size_t extra : {std::size_t{1}, std::size_t{4}, std::size_t{5000}}) {
      std::vector<BYTE> longer = s.bytes;
      longer.resize(longer.size() + extra, 0xA5);
      add(std::to_string(extra) + " bytes of junk appended", s.name, longer, Expect::Opens);
    }
  }

  // The counts, IDs, classes and sizes of the objects.
  const std::vector<StoredObject> stored = ObjectsOf(objects);
  EXPECT_GE(stored.size(), 3u) << "the library and its styles";
  const DWORD count = WordAt(objects, 0);
  for (DWORD value : {DWORD{0}, count + 1, DWORD{0x7FFFFFFF}, DWORD{0xFFFFFFFF}}) {
    add("count " + std::to_string(value), kObjects, With(objects, 0, value),
        value == 0 || value > count ? Expect::Refused : Expect::Either);
  }
  add("count one short", kObjects, With(objects, 0, count - 1), Expect::Either);
  const StoredObject* library = nullptr;
  for (const StoredObject& object : stored) {
    if (IsEqualCLSID(object.clsid, CLSID_JStyleLib)) library = &object;
  }
  if (!library) {
    ADD_FAILURE() << "no library among the stored objects";
    return damage;
  }
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const StoredObject& object = stored[i];
    const std::string which = "object " + std::to_string(i) + " ";
    const DWORD other = stored[(i + 1) % stored.size()].at;
    for (DWORD id : {DWORD{0}, WordAt(objects, other), DWORD{0x6FFFFFFF}, DWORD{0x70000000}}) {
      add(which + "ID " + std::to_string(id), kObjects, With(objects, object.at, id),
          id == 0 || id >= 0x70000000 || id == WordAt(objects, other) ? Expect::Refused : Expect::Either);
    }
    // Another class of the server than the record's, the accessor's (which stores nothing) and none at all.
    const CLSID* classes[] = {IsEqualCLSID(object.clsid, CLSID_JStyleLib) ? &CLSID_JStyleSimpleLine : &CLSID_JStyleLib,
                              &CLSID_JVOQStyleAccess, &GUID_NULL};
    for (const CLSID* clsid : classes) {
      add(which + "of another class", kObjects, With(objects, object.at + 4, *clsid), Expect::Either);
    }
    for (DWORD size : {DWORD{0}, object.size - 1, object.size + 1, DWORD{0x7FFFFFFF}, DWORD{0xFFFFFFFF}}) {
      add(which + "size " + std::to_string(size), kObjects, With(objects, object.at + 20, size), Expect::Either);
    }
  }
  // Each object's record cut short (its size following the cut) and, at every fourth byte, a value raised.
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const StoredObject& object = stored[i];
    const std::string which = "object " + std::to_string(i) + "'s record ";
    const std::size_t record = object.at + 24;
    for (DWORD cut = 0; cut < object.size; cut += std::max<DWORD>(4, object.size / 100)) {
      std::vector<BYTE> shorter(objects.begin(), objects.begin() + record + cut);
      shorter.insert(shorter.end(), objects.begin() + record + object.size, objects.end());
      add(which + "cut to " + std::to_string(cut), kObjects, With(shorter, object.at + 20, cut), Expect::Either);
    }
    const DWORD raised[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x00010000, 0, 1, 0xFFFF};
    for (DWORD at = 0, n = 0; at + 4 <= object.size; at += 4, ++n) {
      const DWORD value = raised[n % 7];
      add(which + "with " + std::to_string(value) + " at " + std::to_string(at), kObjects,
          With(objects, record + at, value), Expect::Either);
    }
  }

  // The names: their count, a name's length, the library's name misspelt or given to a style, an ID of none.
  const DWORD nameCount = WordAt(names, 0);
  for (DWORD value : {DWORD{0}, nameCount + 1, DWORD{0xFFFFFFFF}}) {
    add("name count " + std::to_string(value), kNames, With(names, 0, value), value ? Expect::Refused : Expect::Either);
  }
  const DWORD units = WordAt(names, 4);
  for (DWORD value : {DWORD{0}, units - 1, units + 1, DWORD{0x7FFFFFFF}, DWORD{0x80000000}}) {
    add("name length " + std::to_string(value), kNames, With(names, 4, value), Expect::Either);
  }
  add("the library's name misspelt", kNames, With(names, 8, L'X'), Expect::Refused);
  const std::size_t nameID = 8 + units * sizeof(wchar_t);
  for (const StoredObject& object : stored) {
    if (&object == library) continue;
    add("the library's name given to a style", kNames, With(names, nameID, WordAt(objects, object.at)),
        Expect::Refused);
    break;
  }
  add("the library's name given to no object", kNames, With(names, nameID, DWORD{0x6FFFFFF0}), Expect::Refused);
  return damage;
}

// ---- the sweep ----

class StyleFileSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.loaded());
    stylcst_test::SetCurrentVersion();
    stylcst_test::UseOwnTemporaryFolder(L"sweep-temporary");
    CreateDirectoryW(folder.c_str(), nullptr);
    // The file lists itself, as a library file may: opening it must not load it again.
    stylcst_test::WriteLibraryFile(sound, {{L"Alpha", 0.5, L"Dots"}, {L"Beta", 0.25}, {L"Gamma", 0.125, L"Dashes"}}, 3,
                                   kDamagedName);
    copies = stylcst_test::TemporaryCopies();
  }
  void TearDown() override {
    DeleteFileW(damaged.c_str());
    DeleteFileW(sound.c_str());
    EXPECT_EQ(stylcst_test::TemporaryCopies(), copies) << "a temporary copy stayed behind";
  }

  bool Reported(HRESULT hr) {
    for (const PellowReport& report : Reports()) {
      if (report.hr == hr) return true;
    }
    return false;
  }

  // Opens the damaged file with an accessor of its own, as the custodian's cache does.
  // Answers what Open answered.
  HRESULT OpenThroughTheAccessor(Expect expect) {
    IJSLAccess* access = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_JVOQStyleAccess, nullptr, CLSCTX_INPROC_SERVER, IID_IJSLAccess,
                               reinterpret_cast<void**>(&access)),
              S_OK);
    if (!access) return E_NOINTERFACE;
    stylesrv_test::ClearReports();
    const HRESULT hr = access->Open(damaged.c_str());
    CheckAnswer(hr, expect);
    // A refusal for the version shows its message and is no fault; a library without the interface is said
    // plainly; every other failure is reported.
    if (FAILED(hr) && hr != E_ACCESSDENIED && hr != E_NOINTERFACE) {
      EXPECT_TRUE(Reported(hr)) << std::hex << hr;
    }
    std::vector<std::wstring> names;
    for (const GUID* type : {&STYLETYPE_Linear, &STYLETYPE_Dash}) {
      const HRESULT walked = access->EnumTypeItems(type, &CollectName, &names);
      EXPECT_EQ(walked, SUCCEEDED(hr) ? S_OK : E_UNEXPECTED);
    }
    if (expect == Expect::Opens) {
      std::sort(names.begin(), names.end());
      EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha", L"Beta", L"Dashes", L"Dots", L"Gamma"}));
    }
    access->Release();
    return hr;
  }

  // Lists the damaged file in a document's library and lets the thread's custodian load the file's line names
  // into it, as the library's load of its files does for each type; then draws every line it knows by name.
  void OpenThroughTheCustodian(Expect expect) {
    IJSCustodian* custodian = nullptr;
    ASSERT_EQ(service.get(&custodian), S_OK);
    EXPECT_EQ(custodian->RegisterFileType(&CLSID_JVOQStyleAccess, L"stl"), S_OK);
    IJStyleSearchPath* path = stylcst_test::Query<IJStyleSearchPath>(custodian, IID_IJStyleSearchPath);
    EXPECT_EQ(path->Add(folder.c_str(), nullptr), S_OK);
    path->Release();
    {
      stylcst_test::DocumentLibrary document(server);
      document.ListFiles({kDamagedName});
      IUnknown* list = stylcst_test::Query<IUnknown>(document.librarian, IID_IJStyleResourceList);
      StyleNameMap* names = nullptr;
      EXPECT_EQ(document.librarian->GetTypeNameMap(STYLETYPE_Linear, &names), S_OK);
      const HRESULT loaded = custodian->LoadLibraries(&STYLETYPE_Linear, list, names);
      list->Release();
      // A file that cannot be had is passed over; only one of another version stops the load.
      if (expect == Expect::Either) {
        EXPECT_TRUE(loaded == S_OK || loaded == E_ACCESSDENIED) << std::hex << loaded;
      } else {
        EXPECT_EQ(loaded, expect == Expect::OtherVersion ? E_ACCESSDENIED : S_OK) << std::hex << loaded;
      }
      for (const wchar_t* name : {L"Alpha", L"Beta", L"Gamma"}) {
        DWORD id = 0;
        const HRESULT found = document.librarian->FindOrCreateStyleID(name, &STYLETYPE_Linear, &id);
        if (expect == Expect::Opens) {
          EXPECT_EQ(found, S_OK);
        } else if (expect != Expect::Either) {
          EXPECT_EQ(found, kNameUnknown);
        }
        if (SUCCEEDED(found)) Draw(document.librarian, id, expect);
      }
    }
    EXPECT_EQ(service.release(custodian), S_OK);
    EXPECT_EQ(service.stop(), S_OK) << "the custodian holds no reference of the load";
  }

  static void Draw(IJSLLibrarian* librarian, DWORD id, Expect expect) {
    IUnknown* style = nullptr;
    if (FAILED(librarian->GetStyle(id, &style)) || !style) return;
    IJStyleRender* render = nullptr;
    if (SUCCEEDED(style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render)))) {
      TestTarget target;
      TestGeometry line({0, 0, 0, 10, 0, 0, 10, 10, 0});
      const RenderContextScales context = Scales(1.0, 1.0, 1.0);
      tagStyleOverride record{};
      record.recordCode = kStyleOverrideRecordCode;
      const HRESULT drawn =
          render->RenderWithContext(&line.record, target.target(), &context, nullptr, &record, nullptr);
      if (expect == Expect::Opens) {
        EXPECT_EQ(drawn, S_OK);
        EXPECT_NE(target.recording()->CallCount(), 0u);
      }
      render->Release();
    }
    style->Release();
  }

  void CheckAnswer(HRESULT hr, Expect expect) {
    switch (expect) {
      case Expect::Opens:
        EXPECT_EQ(hr, S_OK);
        break;
      case Expect::Refused:
        EXPECT_TRUE(FAILED(hr) && hr != E_ACCESSDENIED) << std::hex << hr;
        break;
      case Expect::OtherVersion:
        EXPECT_EQ(hr, E_ACCESSDENIED);
        break;
      case Expect::Either:
        EXPECT_TRUE(hr == S_OK || FAILED(hr)) << std::hex << hr;
        break;
    }
  }

  static HRESULT WINAPI CollectName(JSymbolDescriptor* descriptor, void* context) {
    LPCWSTR name = nullptr;
    EXPECT_EQ(descriptor->GetName(&name), S_OK);
    static_cast<std::vector<std::wstring>*>(context)->push_back(name ? name : L"");
    return S_OK;
  }

  void Sweep(const std::vector<Damage>& damage) {
    const LONG objects = server.internals().GetLiveObjectCount();
    const LONG blocks = EngineLiveBlocks();
    const LONG documents = HostDocumentLiveCount();
    unsigned opened = 0, otherVersion = 0, refused = 0;
    for (const Damage& d : damage) {
      SCOPED_TRACE(d.what);
      WriteBytes(damaged, d.file);
      const HRESULT hr = OpenThroughTheAccessor(d.expect);
      ++(hr == S_OK ? opened : hr == E_ACCESSDENIED ? otherVersion : refused);
      OpenThroughTheCustodian(d.expect);
      EXPECT_EQ(ReadBytes(damaged), d.file) << "opening changed the file";
      EXPECT_EQ(HostDocumentLiveCount(), documents);
      EXPECT_EQ(server.internals().GetLiveObjectCount(), objects);
      EXPECT_EQ(EngineLiveBlocks(), blocks);
      EXPECT_EQ(stylcst_test::TemporaryCopies(), copies);
      if (HasFailure()) break;  // the first file that fails says it all; the rest would repeat it
    }
    stylesrv_test::ClearReports();
    // The counts of a run, said where they are read.
    std::printf("[ sweep    ] %zu files: %u opened, %u refused for their version, %u refused as damaged\n",
                damage.size(), opened, otherVersion, refused);
  }

  stylesrv_test::ServerModule server;
  stylcst_test::ClassRegistration classes{server};
  stylcst_test::Service service{server};
  const std::wstring folder = stylcst_test::Folder(L"sweep");
  const std::wstring sound = folder + L"\\sound.sound";
  const std::wstring damaged = folder + L"\\" + kDamagedName;
  std::vector<std::wstring> copies;
};

TEST_F(StyleFileSweep, DamagedCompoundFilesOpenWholeOrAreRefused) { Sweep(CompoundFileDamage(ReadBytes(sound))); }

TEST_F(StyleFileSweep, DamagedStreamsOpenWholeOrAreRefused) { Sweep(StreamDamage(sound, folder + L"\\scratch.stl")); }

}  // namespace
