// Mossgrave.dex: a test build of the host's conversion plug-in. Its eight entry points record every call in a
// log that the test owns and answer what the test put there. The test hands the log over by its address in
// the environment variable MOSSGRAVE_LOG (hexadecimal): the log outlives every load and unload of the plug-in,
// which counts those too. Without the variable the plug-in records nothing and answers S_OK.
#pragma once

#include <windows.h>

#define MOSSGRAVE_LOG_VARIABLE "MOSSGRAVE_LOG"

// The entry points, in the order a log's answers are kept.
enum MossgraveEntry : DWORD {
  MOSSGRAVE_STYLE_CONVERT_R1 = 0,
  MOSSGRAVE_POST_UNKNOWN,
  MOSSGRAVE_POST_FOR_AFTER_AUX,
  MOSSGRAVE_AFTER_AUX,
  MOSSGRAVE_MARK_STYLE_AS_USED,
  MOSSGRAVE_POST_EXCEPTIONS,
  MOSSGRAVE_SET_TLS_LIST_PTRS,
  MOSSGRAVE_GET_TLS_LIST_PTRS,
  MOSSGRAVE_ENTRY_COUNT
};

struct MossgraveCall {
  DWORD entry;
  DWORD args[6];  // as passed; unused ones 0
};

struct MossgraveLog {
  volatile LONG attaches;  // process attaches of the plug-in
  volatile LONG detaches;
  HRESULT answers[MOSSGRAVE_ENTRY_COUNT];
  volatile LONG count;  // calls recorded; those past the array are counted only
  MossgraveCall calls[64];
};
