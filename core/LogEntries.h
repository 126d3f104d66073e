#pragma once
// The texts of the activity log's entries, each complete with its final
// line feed, ready for AppendToLog. The time stamp comes from GetTimeStamp.

#include "engine/SecureGpsTags.h"
#include "framework/CString.h"

#include <string>
#include <vector>

CString ScanStartEntry(const char* timeStamp, const char* folder);
// The counts of a scan. When photos could not be secured or kept a location,
// a second line after the usual one says how many.
CString ScanEndEntry(const char* timeStamp, int nSecured, int nJpegFiles, int nFoundFiles,
                     int nNotSecured = 0, int nLocationLeft = 0, int nCloudOnly = 0);
// One line: the path in angle brackets with the cleared tags behind it.
CString SecuredByScannerEntry(const char* timeStamp, const char* path, const RemovedTags& removed);
CString SecuredByMonitorEntry(const char* timeStamp, const char* path, const RemovedTags& removed);
// A photo that needed securing and was not: the path and the reason in words
// (NotSecuredReason).
CString NotSecuredByScannerEntry(const char* timeStamp, const char* path, const char* reason);
CString NotSecuredByMonitorEntry(const char* timeStamp, const char* path, const char* reason);
// A photo that still holds a location Norvane cannot clear: the tags that
// were cleared, as in a secured entry, then what was left.
CString LocationLeftByScannerEntry(const char* timeStamp, const char* path, const RemovedTags& removed,
                                   const std::vector<std::string>& left);
CString LocationLeftByMonitorEntry(const char* timeStamp, const char* path, const RemovedTags& removed,
                                   const std::vector<std::string>& left);
// The settings file could not be read at start: where it was kept (keptAs
// empty when it could not be), and that the defaults are in use.
CString SettingsUnreadableEntry(const char* timeStamp, const char* path, const char* keptAs);
// folder: the protected folder with exactly one trailing backslash.
CString MonitorStartEntry(const char* timeStamp, const char* folder);
CString MonitorStopEntry(const char* timeStamp, const char* folder);
// A monitor that lost its folder while watching it (removed, renamed, its
// drive or share gone), and one whose folder is not there when it starts:
// the folder and the reason in words. Either now waits for the folder.
CString MonitorLostEntry(const char* timeStamp, const char* folder, const char* reason);
CString MonitorWaitingEntry(const char* timeStamp, const char* folder, const char* reason);

// Why a photo that needed securing was not, from the check's and the
// securing's codes; null when the codes say nothing failed (secured, nothing
// to do, or not a photo).
const char* NotSecuredReason(int checkCode, int secureCode);
// The reason of a photo that its writer never closed while a monitor waited.
extern const char kWriterNeverClosedReason[];
// The reason of a photo whose securing raised a fault.
extern const char kSecuringFaultedReason[];
