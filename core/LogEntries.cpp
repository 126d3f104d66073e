#include "core/LogEntries.h"

#include "engine/ResultCodes.h"

namespace {

CString SecuredEntry(const char* words, const char* timeStamp, const char* path, const RemovedTags& removed) {
    CString entry;
    entry.Format("%s [%s]: <%s", words, timeStamp, path);
    entry += RemovedTagsText(removed).c_str();
    entry += ">\n";
    return entry;
}

CString NotSecuredEntry(const char* words, const char* timeStamp, const char* path, const char* reason) {
    CString entry;
    entry.Format("%s [%s]: <%s> %s\n", words, timeStamp, path, reason);
    return entry;
}

CString LocationLeftEntry(const char* words, const char* timeStamp, const char* path, const RemovedTags& removed,
                          const std::vector<std::string>& left) {
    CString entry;
    entry.Format("%s [%s]: <%s", words, timeStamp, path);
    entry += RemovedTagsText(removed).c_str();
    entry += "> not cleared: ";
    for (size_t i = 0; i < left.size(); ++i) {
        if (i > 0)
            entry += ", ";
        entry += left[i].c_str();
    }
    if (left.empty())
        entry += "a location";
    entry += "\n";
    return entry;
}

} // namespace

const char kWriterNeverClosedReason[] = "the program writing the photo never closed it";
const char kSecuringFaultedReason[] = "securing the photo failed with a fault";

CString ScanStartEntry(const char* timeStamp, const char* folder) {
    CString entry;
    entry.Format("Scanning started at [%s]:\n\t%s\n", timeStamp, folder);
    return entry;
}

CString ScanEndEntry(const char* timeStamp, int nSecured, int nJpegFiles, int nFoundFiles, int nNotSecured,
                     int nLocationLeft, int nCloudOnly) {
    CString entry;
    entry.Format(
        "Scanner finished [%s]:\n\t%d files with geotags were secured. %d jpeg files of %d found files "
        "were processed.\n",
        timeStamp, nSecured, nJpegFiles, nFoundFiles);
    if (nNotSecured > 0 || nLocationLeft > 0 || nCloudOnly > 0) {
        CString more;
        if (nNotSecured > 0 || nLocationLeft > 0)
            more.Format(
                "\t%d files could not be secured. %d files still hold a location Norvane cannot clear.",
                nNotSecured, nLocationLeft);
        else
            more = "\t";
        if (nCloudOnly > 0) {
            CString online;
            online.Format("%s%d files are kept only online and were not read.",
                          more.GetLength() > 1 ? " " : "", nCloudOnly);
            more += online;
        }
        entry += more + "\n";
    }
    return entry;
}

CString SecuredByScannerEntry(const char* timeStamp, const char* path, const RemovedTags& removed) {
    return SecuredEntry("Found and secured by scanner", timeStamp, path, removed);
}

CString SecuredByMonitorEntry(const char* timeStamp, const char* path, const RemovedTags& removed) {
    return SecuredEntry("Found and secured by monitor", timeStamp, path, removed);
}

CString NotSecuredByScannerEntry(const char* timeStamp, const char* path, const char* reason) {
    return NotSecuredEntry("Found but not secured by scanner", timeStamp, path, reason);
}

CString NotSecuredByMonitorEntry(const char* timeStamp, const char* path, const char* reason) {
    return NotSecuredEntry("Found but not secured by monitor", timeStamp, path, reason);
}

CString LocationLeftByScannerEntry(const char* timeStamp, const char* path, const RemovedTags& removed,
                                   const std::vector<std::string>& left) {
    return LocationLeftEntry("Found, location left by scanner", timeStamp, path, removed, left);
}

CString LocationLeftByMonitorEntry(const char* timeStamp, const char* path, const RemovedTags& removed,
                                   const std::vector<std::string>& left) {
    return LocationLeftEntry("Found, location left by monitor", timeStamp, path, removed, left);
}

CString MonitorStartEntry(const char* timeStamp, const char* folder) {
    CString entry;
    entry.Format("Monitor started at [%s]:\n\t%s\n", timeStamp, folder);
    return entry;
}

CString SettingsUnreadableEntry(const char* timeStamp, const char* path, const char* keptAs) {
    CString entry;
    entry.Format("Settings file could not be read [%s]:\n\t%s\n", timeStamp, path);
    if (keptAs && *keptAs)
        entry.AppendFormat("\tIt was kept as %s. ", keptAs);
    else
        entry += "\tIt could not be kept. ";
    entry += "Norvane started with the default settings: no folder is protected.\n";
    return entry;
}

CString MonitorStopEntry(const char* timeStamp, const char* folder) {
    CString entry;
    entry.Format("Monitor is stopped [%s]:\n\t%s\n", timeStamp, folder);
    return entry;
}

CString MonitorLostEntry(const char* timeStamp, const char* folder, const char* reason) {
    CString entry;
    entry.Format("Monitor stopped watching [%s]:\n\t%s (%s)\n", timeStamp, folder, reason);
    return entry;
}

CString MonitorWaitingEntry(const char* timeStamp, const char* folder, const char* reason) {
    CString entry;
    entry.Format("Monitor is waiting [%s]:\n\t%s (%s)\n", timeStamp, folder, reason);
    return entry;
}

const char* NotSecuredReason(int checkCode, int secureCode) {
    switch (secureCode) {
    case -1:
        // Nothing was written: only a photo that could not even be read may
        // have needed it.
        return checkCode == checkcode::kCannotOpen ? "the photo cannot be opened: another program holds it"
                                                   : nullptr;
    case securecode::kUnreadableJpeg:
        return "the photo could not be read; it is unchanged";
    case securecode::kWriteFailed:
        return "the photo could not be written (is the disk full?); it is unchanged";
    case securecode::kCannotOpen:
        return "the photo cannot be opened: another program holds it";
    case securecode::kCannotOpenWrite:
        return "the photo is read-only or another program holds it; it is unchanged";
    case securecode::kChangedMeanwhile:
        return "another program changed the photo while it was being secured";
    case securecode::kBackupFailed:
        return "its backup copy could not be made; it is unchanged";
    default:
        return nullptr;
    }
}
