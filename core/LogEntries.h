#pragma once
// The texts of the activity log's entries, each complete with its final
// line feed, ready for AppendToLog. The time stamp comes from GetTimeStamp.

#include "engine/SecureGpsTags.h"
#include "framework/CString.h"

CString ScanStartEntry(const char* timeStamp, const char* folder);
CString ScanEndEntry(const char* timeStamp, int nSecured, int nJpegFiles, int nFoundFiles);
// One line: the path in angle brackets with the cleared tags behind it.
CString SecuredByScannerEntry(const char* timeStamp, const char* path, const RemovedTags& removed);
CString SecuredByMonitorEntry(const char* timeStamp, const char* path, const RemovedTags& removed);
// folder: the protected folder with exactly one trailing backslash.
CString MonitorStartEntry(const char* timeStamp, const char* folder);
CString MonitorStopEntry(const char* timeStamp, const char* folder);
