// The style reference-count checker: counts the references that a document's elements and styles hold on style
// IDs, compares them with the librarian's use counts, logs what differs and, at the higher levels, repairs the
// counts. A diagnostic switched on by the host's debug entry "VERIFY_STYLE_REF_CNT".
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/StyleNodePool.h"
#include "display/style/styllib/StyleReport.h"
#include "host/halvorn/elements.h"
#include "host/halvorn/halvorn.h"
#include "host/pellow/pellow.h"
#include "services/daxutil/daxutil.h"

namespace {

constexpr char kSource[] = "stylchk";
constexpr char kSwitch[] = "VERIFY_STYLE_REF_CNT";

// Counts by style ID: 257 buckets chosen by ID >> 4, nodes from the utility library's block pool, a new node at
// the head of its bucket. ID 0 is never counted; a missing ID counts 0, so a first decrement leaves -1.
class StyleRefCountMap {
 public:
  StyleRefCountMap() = default;
  ~StyleRefCountMap() { RemoveAll(); }
  StyleRefCountMap(const StyleRefCountMap&) = delete;
  StyleRefCountMap& operator=(const StyleRefCountMap&) = delete;

  HRESULT Increment(DWORD key) { return Add(key, 1); }
  HRESULT Decrement(DWORD key) { return Add(key, -1); }

  LONG Lookup(DWORD key) const {
    const Node* node = Find(key);
    return node ? node->count : 0;
  }

  // Calls f(key, count) in map order (buckets in ascending order, each from its head) until f fails.
  template <class F>
  HRESULT ForEach(F f) const {
    if (!m_buckets) return S_OK;
    for (DWORD b = 0; b < kBuckets; ++b) {
      for (const Node* node = m_buckets[b]; node; node = node->next) {
        const HRESULT hr = f(node->key, node->count);
        if (FAILED(hr)) return hr;
      }
    }
    return S_OK;
  }

  void RemoveAll() {
    delete[] m_buckets;
    m_buckets = nullptr;
    m_pool.FreeAll();
  }

 private:
  struct Node {
    Node* next;
    DWORD hash;
    DWORD key;
    LONG count;
  };
  static constexpr DWORD kBuckets = 257;
  static DWORD Hash(DWORD key) { return key >> 4; }

  const Node* Find(DWORD key) const {
    if (!m_buckets) return nullptr;
    const DWORD hash = Hash(key);
    for (const Node* node = m_buckets[hash % kBuckets]; node; node = node->next) {
      if (node->hash == hash && node->key == key) return node;
    }
    return nullptr;
  }

  HRESULT Add(DWORD key, LONG delta) {
    if (key == kNoStyleID) return S_OK;
    if (Node* node = const_cast<Node*>(Find(key))) {
      node->count += delta;
      return S_OK;
    }
    if (!m_buckets && !(m_buckets = new (std::nothrow) Node*[kBuckets]())) return REPORT(E_OUTOFMEMORY);
    Node* node = m_pool.Take();
    if (!node) return REPORT(E_OUTOFMEMORY);
    const DWORD hash = Hash(key);
    *node = Node{m_buckets[hash % kBuckets], hash, key, delta};
    m_buckets[hash % kBuckets] = node;
    return S_OK;
  }

  Node** m_buckets = nullptr;
  StyleNodePool<Node> m_pool;
};

// The running marker: the map that CountStyleReference fills. A check claims it for its whole run, so that no
// second check starts while one counts or repairs; DiscountStyleReferences points it at a map of its own for a
// moment. Only the thread that claimed it changes it.
StyleRefCountMap* volatile g_running = nullptr;

HRESULT WINAPI CountStyleReference(DWORD id) {
  StyleRefCountMap* counts = g_running;
  if (!IsUsableStyleID(id) || !counts) return S_OK;
  return counts->Increment(id);
}

// Points the marker at another map until it goes.
class CountingInto {
 public:
  explicit CountingInto(StyleRefCountMap* counts) : m_saved(g_running) { g_running = counts; }
  ~CountingInto() { g_running = m_saved; }
  CountingInto(const CountingInto&) = delete;
  CountingInto& operator=(const CountingInto&) = delete;

 private:
  StyleRefCountMap* m_saved;
};

// The references a style to be released holds come off the counts, and so do those of the styles that only it
// keeps (their librarian count is 1), which go with it. IDs already visited are not visited again, so that a
// cycle of references ends.
HRESULT DiscountStyleReferences(IJSLLibrarian* librarian, DWORD id, StyleRefCountMap* counts,
                                StyleRefCountMap* visited) {
  if (visited->Lookup(id) != 0) return S_OK;
  HRESULT hr = visited->Increment(id);
  if (FAILED(hr)) return hr;
  StyleComPtr<IUnknown> style;
  hr = librarian->GetStyle(id, style.Put());
  if (SUCCEEDED(hr) && !style) hr = E_POINTER;
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJManageStyle2> manage;
  hr = style->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (SUCCEEDED(hr) && !manage) hr = E_POINTER;
  if (FAILED(hr)) return REPORT(hr);
  StyleRefCountMap referenced;
  {
    CountingInto into(&referenced);
    hr = manage->EnumStyleRefs(&CountStyleReference);
  }
  if (FAILED(hr)) return REPORT(hr);
  // Once per referenced ID, however often the style refers to it: the library counts one use per reference
  // holder's slot, and the entry's own release drops each of them.
  return referenced.ForEach([&](DWORD refID, LONG) {
    HRESULT step = counts->Decrement(refID);
    if (FAILED(step)) return step;
    DWORD uses = 0;
    step = librarian->GetUseCount(refID, &uses);
    if (FAILED(step)) return REPORT(step);
    if (uses != 1) return S_OK;
    step = DiscountStyleReferences(librarian, refID, counts, visited);
    if (FAILED(step)) REPORT(step);
    return step;
  });
}

const char* StyleTypeName(const GUID* type) {
  static const struct {
    const GUID* type;
    const char* name;
  } kNames[] = {
      {&STYLETYPE_Dash, "Dash"},
      {&STYLETYPE_Linear, "Linear"},
      {&STYLETYPE_Fill, "Fill"},
      {&STYLETYPE_TextChar, "TextChar"},
      {&STYLETYPE_TextPara, "TextPara"},
      {&STYLETYPE_Dimension, "Dimension"},
      {&STYLETYPE_BriskFrame, "BriskFrame"},
      {&STYLETYPE_HatchFillPattern, "HatchFillPattern"},
      {&STYLETYPE_SymbolFillPattern, "SymbolFillPattern"},
      {&STYLETYPE_SegmentedStyle, "SegmentedStyle"},
  };
  for (const auto& entry : kNames) {
    if (type && IsEqualGUID(*type, *entry.type)) return entry.name;
  }
  return "Unknown Type";
}

// "%temp%\StyleCheck.log"; E_FAIL when "temp" is not set.
HRESULT GetStyleCheckLogPath(std::string* out) {
  char folder[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("temp", folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) return REPORT(E_FAIL);
  *out = std::string(folder, n) + "\\StyleCheck.log";
  return S_OK;
}

// A style's name as the log writes it: the platform's narrow text of the wide name.
std::string Narrow(LPCWSTR text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), n, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(n) - 1);
  return narrow;
}

// The log of one check: a header before the first problem, then one line per problem, then the summary.
class StyleCheckLog {
 public:
  StyleCheckLog() = default;
  ~StyleCheckLog() {
    if (m_file) std::fclose(m_file);
  }
  StyleCheckLog(const StyleCheckLog&) = delete;
  StyleCheckLog& operator=(const StyleCheckLog&) = delete;

  // Opens the log for appending; a log that cannot be opened only stays silent.
  HRESULT Open(IJDocumentNamedObjects* document) {
    std::string path;
    HRESULT hr = GetStyleCheckLogPath(&path);
    if (FAILED(hr)) return hr;
    m_file = std::fopen(path.c_str(), "a+");
    StyleComPtr<IJDocument2> named;
    hr = document->QueryInterface(IID_IJDocument2, named.PutVoid());
    if (SUCCEEDED(hr) && !named) hr = E_POINTER;
    if (FAILED(hr)) return REPORT(hr);
    char name[260] = {};
    m_document = named->GetName(name, sizeof name) == S_OK ? std::string(name, strnlen(name, sizeof name))
                                                            : std::string("No Name");
    const std::time_t now = std::time(nullptr);
    char when[128] = {};
    if (const std::tm* local = std::localtime(&now)) std::strftime(when, sizeof when, "%c", local);
    m_time = when;
    return S_OK;
  }

  void Problem(const std::string& line) {
    if (!m_file) return;
    if (!m_headerWritten) {
      std::fprintf(m_file, "Style EleRefCnt Problems in Document: %s,  Reported at: %s\n", m_document.c_str(),
                   m_time.c_str());
      m_headerWritten = true;
    }
    std::fputs(line.c_str(), m_file);
  }

  void Summary(long unused, long missing, long high, long low) {
    if (!m_file || !m_headerWritten) return;
    std::fprintf(m_file, "Summary: %ld UnusedStyles, %ld MissingStyles, %ld LibCountHigh, %ld LibCountLow\n\n",
                 unused, missing, high, low);
  }

 private:
  std::FILE* m_file = nullptr;
  bool m_headerWritten = false;
  std::string m_document;
  std::string m_time;
};

// Calls f for each object of the enumerator until f fails; a failing enumerator is reported. Each object is
// released before the next is asked for.
template <class F>
HRESULT ForEachObject(IEnumUnknown* objects, F f) {
  for (;;) {
    StyleComPtr<IUnknown> object;
    ULONG fetched = 0;
    HRESULT hr = objects->Next(1, object.Put(), &fetched);
    if (FAILED(hr)) return REPORT(hr);
    if (hr != S_OK) return S_OK;
    if (object && FAILED(hr = f(object.Get()))) return hr;
  }
}

template <class... Args>
std::string Format(const char* format, Args... args) {
  char line[512];
  std::snprintf(line, sizeof line, format, args...);
  return line;
}

// One run of the check over the document of an object (or the application's active document).
class StyleChecker {
 public:
  StyleChecker(DWORD level, StyleRefCountMap* counts) : m_level(level), m_counts(counts) {}

  HRESULT Run(IUnknown* object, bool writeLog) {
    HRESULT hr = object ? FindOfObject(object) : FindOfActiveDocument();
    if (FAILED(hr)) return hr;
    if (writeLog && FAILED(hr = m_log.Open(m_document.Get()))) return hr;
    if (FAILED(hr = CollectReferences()) || FAILED(hr = CountActiveStyles())) return hr;
    ReportMissingStyles();
    hr = CompareUseCounts();
    if (FAILED(hr)) return hr;
    m_log.Summary(m_unused, m_missing, m_high, m_low);
    return S_OK;
  }

 private:
  HRESULT FindOfObject(IUnknown* object) {
    HRESULT hr = GetStyleLibrarian(object, m_librarian.Put());
    if (SUCCEEDED(hr) && !m_librarian) hr = E_POINTER;
    if (FAILED(hr)) return REPORT(hr);
    if (SUCCEEDED(object->QueryInterface(IID_IJDocumentNamedObjects, m_document.PutVoid())) && m_document) {
      return S_OK;
    }
    hr = GetObjectDocument(object, m_document.Put());
    if (SUCCEEDED(hr) && !m_document) hr = E_POINTER;
    if (FAILED(hr)) REPORT(hr);
    return hr;
  }

  HRESULT FindOfActiveDocument() {
    StyleComPtr<IJApplicationStyleFiles> application;
    HRESULT hr = GetAppInterface(&IID_IJApplicationStyleFiles, application.PutVoid());
    if (SUCCEEDED(hr) && !application) hr = E_POINTER;
    if (FAILED(hr)) return REPORT(hr);
    StyleComPtr<IJDocument2> active;
    hr = application->GetActiveDocument(IID_IJDocument2, active.PutVoid());
    if (SUCCEEDED(hr) && !active) hr = E_POINTER;
    if (FAILED(hr)) return REPORT(hr);
    hr = active->GetLibraryInterface(IID_IJSLLibrarian, m_librarian.PutVoid());
    if (SUCCEEDED(hr) && !m_librarian) hr = E_POINTER;
    if (FAILED(hr)) return REPORT(hr);
    hr = GetObjectDocument(m_librarian.Get(), m_document.Put());
    if (SUCCEEDED(hr) && !m_document) hr = E_POINTER;
    if (FAILED(hr)) REPORT(hr);
    return hr;
  }

  // Every reference the document's elements and styles hold, and one for each type's active style.
  HRESULT CollectReferences() {
    StyleComPtr<IEnumUnknown> objects;
    HRESULT hr = m_document->EnumObjects(0, objects.Put());
    if (SUCCEEDED(hr) && !objects) hr = E_POINTER;
    if (FAILED(hr) || FAILED(hr = objects->Reset())) return REPORT(hr);
    return ForEachObject(objects.Get(), [](IUnknown* object) {
      HRESULT counted = S_OK;
      StyleComPtr<IJStyledElement> element;
      StyleComPtr<IJManageStyle2> style;
      if (SUCCEEDED(object->QueryInterface(IID_IJStyledElement, element.PutVoid())) && element) {
        counted = element->EnumStyleIDs(&CountStyleReference);
      } else if (SUCCEEDED(object->QueryInterface(IID_IJManageStyle2, style.PutVoid())) && style) {
        counted = style->EnumStyleRefs(&CountStyleReference);
      }
      if (FAILED(counted)) REPORT(counted);
      return counted;
    });
  }

  HRESULT CountActiveStyles() {
    DWORD types = 0;
    HRESULT hr = m_librarian->GetTypeCount(&types);
    if (FAILED(hr)) return REPORT(hr);
    for (DWORD index = 0; index < types && index <= 0xFFFF; ++index) {
      GUID type{};
      DWORD active = kNoStyleID;
      hr = m_librarian->GetTypeGUID(static_cast<WORD>(index), &type);
      if (SUCCEEDED(hr)) hr = m_librarian->GetActiveStyleID(&type, &active, 0);
      if (SUCCEEDED(hr) && active != kNoStyleID) hr = m_counts->Increment(active);
      if (FAILED(hr)) return REPORT(hr);
    }
    return S_OK;
  }

  void ReportMissingStyles() {
    m_counts->ForEach([&](DWORD id, LONG) {
      DWORD uses = 0;
      if (m_librarian->GetUseCount(id, &uses) != S_OK) {
        ++m_missing;
        m_log.Problem(Format("Librarian missing used Style ID = %d\n", static_cast<int>(id)));
      }
      return S_OK;
    });
  }

  HRESULT CompareUseCounts() {
    StyleComPtr<IEnumUnknown> styles;
    HRESULT hr = m_librarian->EnumStyles(nullptr, styles.Put());
    if (SUCCEEDED(hr) && !styles) hr = E_POINTER;
    if (FAILED(hr)) return REPORT(hr);
    return ForEachObject(styles.Get(), [&](IUnknown* style) {
      DWORD id = kNoStyleID;
      const HRESULT found = m_librarian->FindStyleID(style, &id);
      return FAILED(found) ? REPORT(found) : Compare(id);
    });
  }

  // One style: its librarian count against the references counted for it (a count that went below zero through
  // discounting is none).
  HRESULT Compare(DWORD id) {
    DWORD lib = 0;
    HRESULT hr = m_librarian->GetUseCount(id, &lib);
    if (FAILED(hr)) return REPORT(hr);
    const LONG counted = m_counts->Lookup(id);
    const DWORD file = counted > 0 ? static_cast<DWORD>(counted) : 0;
    if (file != 0 && file == lib) return S_OK;

    StyleRecord* record = nullptr;
    hr = m_librarian->GetStyleRecord(id, &record);
    if (SUCCEEDED(hr) && !record) hr = E_POINTER;
    if (FAILED(hr)) return REPORT(hr);
    const bool named = record->name && record->name[0];
    const std::string line =
        Format("Style ID = %3d, Name = <%15s>, Type = %17s, File Count = %3d, Librarian Count = %3d\n",
               static_cast<int>(id), named ? Narrow(record->name).c_str() : "*UNNAMED*", StyleTypeName(record->type),
               static_cast<int>(file), static_cast<int>(lib));
    m_librarian->FreeStyleRecord(&record);

    if (file == 0 && !named) return Unused(id, lib, line);
    if (file == lib) return S_OK;
    if (lib < file) {
      ++m_low;
      m_log.Problem(line);
      return m_level >= 2 ? Repeat(&IJSLLibrarian::AddRefStyleID, id, file - lib) : S_OK;
    }
    ++m_high;
    m_log.Problem(line);
    return m_level >= 3 ? Repeat(&IJSLLibrarian::ReleaseStyleID, id, lib - file) : S_OK;
  }

  // An unnamed style that nothing uses: removed at level 3, and at level 2 when the library counts no use.
  HRESULT Unused(DWORD id, DWORD lib, const std::string& line) {
    ++m_unused;
    m_log.Problem(line);
    if (m_level < 3 && !(m_level == 2 && lib == 0)) return S_OK;
    StyleRefCountMap visited;
    HRESULT hr = DiscountStyleReferences(m_librarian.Get(), id, m_counts, &visited);
    if (FAILED(hr)) return REPORT(hr);
    // A use added and dropped again makes the library remove an entry that nobody uses.
    if (lib == 0 && FAILED(hr = m_librarian->AddRefStyleID(id))) return REPORT(hr);
    return Repeat(&IJSLLibrarian::ReleaseStyleID, id, lib == 0 ? 1 : lib);
  }

  HRESULT Repeat(HRESULT (STDMETHODCALLTYPE IJSLLibrarian::*operation)(DWORD), DWORD id, DWORD times) {
    for (DWORD i = 0; i < times; ++i) {
      const HRESULT hr = (m_librarian.Get()->*operation)(id);
      if (FAILED(hr)) return REPORT(hr);
    }
    return S_OK;
  }

  const DWORD m_level;
  StyleRefCountMap* const m_counts;
  StyleComPtr<IJSLLibrarian> m_librarian;
  StyleComPtr<IJDocumentNamedObjects> m_document;
  StyleCheckLog m_log;
  long m_unused = 0;
  long m_missing = 0;
  long m_high = 0;
  long m_low = 0;
};

}  // namespace

HRESULT WINAPI StyleCheck(IUnknown* object, DWORD level, BYTE writeLog) {
  const DWORD configured = CheckDebugRegEntry(kSwitch, 0);
  if (level == 0) {
    level = configured;
  } else if (configured == 0) {
    return S_OK;
  }
  if (level < 1 || level > 3) return S_OK;

  StyleRefCountMap counts;
  if (InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&g_running), &counts, nullptr)) {
    return S_OK;  // a check is running already, on this thread or another
  }
  const HRESULT hr = StyleChecker(level, &counts).Run(object, writeLog != 0);
  InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&g_running), nullptr);
  return hr;
}
