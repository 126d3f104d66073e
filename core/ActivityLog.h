#pragma once
// The activity log "norvane.log" in the data folder: what was secured, and
// when scans and monitors started and ended. Entries are appended whole and
// in sequence by any number of threads; the file is opened for each entry
// and closed again, so other programs can read it at any time.

#include "framework/CString.h"

#include <windows.h>

// The log's path: the data folder followed by "\norvane.log".
CString GetLogFilePath();

// Appends text (a complete entry with its final "\n") to the log. Returns
// nothing: a lost entry must not stop a scan or a monitor.
void AppendToLog(const char* text);

// The same for a log at path; AppendToLog calls it with the data folder's
// log. Returns false when the entry could not be written whole; the file is
// then as it was before.
bool AppendToLogFile(const char* path, const char* text);

// Older versions wrote the values of every tag they cleared, the position
// itself, into the log's secured entries. This makes every such value zeros
// in place, digit for digit: the log keeps its length and every other byte,
// and appends wait meanwhile, so no entry is lost. Returns false when the
// log could not be read or written through (it is then scrubbed as far as
// it got; a missing log is nothing to scrub). ScrubLog does it to the data
// folder's log.
bool ScrubLogFile(const char* path);
void ScrubLog();

// The current local time as "%m.%d.%y %H:%M:%S", or "Invalid DateTime".
CString GetTimeStamp();
