#pragma once
// The settings that persist across runs: the folder last chosen for scanning
// and the protected folders. The core object (CTamsel) holds them; the
// record is portable, so the settings file is tested natively too.

#include "framework/CList.h"
#include "framework/CString.h"
#include "settings/Reflection.h"

class CTamselSettings {
public:
    // The settings file, in the data folder.
    static const char* const kSettingsFileName; // "norvane.cfg"
    // The tag of the settings file's top-level block: the display name.
    static const char* const kProductName; // "Norvane"

    // Reads the settings file over the defaults (an empty folder to scan and
    // no protected folders). A protected folder that is not there now is
    // kept: a card or share may be connected later. Runs once, on a fresh
    // object: reading a list appends to it. A file that is there but cannot
    // be read is moved aside first (see m_strUnreadableKeptAs), so the next
    // save cannot replace what it held.
    void LoadSettings();
    // Writes both settings to the settings file; the old file stays whole
    // when the new one cannot be written.
    void SaveSettings();

    // The same with the settings file at path.
    void LoadSettingsFrom(const char* path);
    void SaveSettingsTo(const char* path);

    CString m_strFolderForScan;
    CList<CString> m_lstProtectedFolders;

    // Set by a load that found a settings file it could not read (cut short,
    // garbage, empty, unreadable): the defaults are in use.
    bool m_bSettingsUnreadable = false;
    // Where that file was kept: the settings file's path with ".bad", or
    // ".bad2", ".bad3"... when older ones are there. Empty when it could not
    // be kept.
    CString m_strUnreadableKeptAs;

    // The first of path + ".bad", ".bad2", ".bad3"... under which no file
    // exists; empty when all are taken.
    static CString FreeUnreadableName(const char* path);

    // What the settings file holds, in this order.
    struct Layout : ClassLayout<CTamselSettings> {
        // Stored under the core object's class name.
        Layout() : ClassLayout<CTamselSettings>("CTamsel") {
            AddValueField("FolderForScan", &CTamselSettings::m_strFolderForScan);
            AddContainerField("ScanFilderList", &CTamselSettings::m_lstProtectedFolders);
        }
    };
};
