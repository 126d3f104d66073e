#include "core/LogEntries.h"

namespace {

CString SecuredEntry(const char* words, const char* timeStamp, const char* path, const RemovedTags& removed) {
    CString entry;
    entry.Format("%s [%s]: <%s", words, timeStamp, path);
    entry += RemovedTagsText(removed).c_str();
    entry += ">\n";
    return entry;
}

} // namespace

CString ScanStartEntry(const char* timeStamp, const char* folder) {
    CString entry;
    entry.Format("Scanning started at [%s]:\n\t%s\n", timeStamp, folder);
    return entry;
}

CString ScanEndEntry(const char* timeStamp, int nSecured, int nJpegFiles, int nFoundFiles) {
    CString entry;
    entry.Format(
        "Scanner finished [%s]:\n\t%d files with geotags were secured. %d jpeg files of %d found files "
        "were processed.\n",
        timeStamp, nSecured, nJpegFiles, nFoundFiles);
    return entry;
}

CString SecuredByScannerEntry(const char* timeStamp, const char* path, const RemovedTags& removed) {
    return SecuredEntry("Found and secured by scanner", timeStamp, path, removed);
}

CString SecuredByMonitorEntry(const char* timeStamp, const char* path, const RemovedTags& removed) {
    return SecuredEntry("Found and secured by monitor", timeStamp, path, removed);
}

CString MonitorStartEntry(const char* timeStamp, const char* folder) {
    CString entry;
    entry.Format("Monitor started at [%s]:\n\t%s\n", timeStamp, folder);
    return entry;
}

CString MonitorStopEntry(const char* timeStamp, const char* folder) {
    CString entry;
    entry.Format("Monitor is stopped [%s]:\n\t%s\n", timeStamp, folder);
    return entry;
}
