// JAccessObjectCache: the style-library files a custodian has opened, one accessor per file under its
// upper-case full path, kept open until the custodian goes. A file that cannot be opened in place (another
// program holds it) is opened through a copy in the temporary folder, which goes with the cache.
#pragma once

#include "display/style/StyleGrowableArray.h"
#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

using StyleFileTypeArray = StyleGrowableArray<StyleFileType>;

class JAccessObjectCache {
 public:
  JAccessObjectCache() : m_entries(8) {}
  // Entries from the last to the first: the accessor, then its temporary copy.
  ~JAccessObjectCache();
  JAccessObjectCache(const JAccessObjectCache&) = delete;
  JAccessObjectCache& operator=(const JAccessObjectCache&) = delete;

  // The accessor of the file `name` finds along the search path, opened by the class its extension is
  // registered for, with a reference for the caller. E_ACCESSDENIED for a file of another version; any other
  // failure for a file that is not there or cannot be opened.
  HRESULT GetAccessor(LPCWSTR name, IJStyleSearchPath* searchPath, const StyleFileTypeArray& fileTypes,
                      IJSLAccess** out);

  DWORD Count() const { return m_entries.Size(); }

 private:
  struct Entry {
    LPWSTR path;  // upper case, owned
    IJSLAccess* accessor;  // one reference
    LPWSTR tempCopy;  // the copy's path, owned; null when the file opened in place
  };

  HRESULT CreateAccessor(const StyleFileTypeArray& fileTypes, LPCWSTR path, IJSLAccess** out);

  StyleGrowableArray<Entry> m_entries;
};

// Opens `path` with the accessor, or else a copy of the file in the temporary folder; *tempCopy is the copy's
// path (runtime heap, the caller's) or null. A copy that does not open either is deleted at once.
HRESULT StyleOpenWithTempCopy(LPCWSTR path, IJSLAccess* accessor, LPWSTR* tempCopy);
// Deletes a temporary copy through the FileSystemObject (or directly when that cannot be had).
void StyleDeleteTempCopy(LPCWSTR path);
