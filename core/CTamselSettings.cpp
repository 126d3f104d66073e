#include "core/CTamselSettings.h"

#include "settings/TextFile.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

const char* const CTamselSettings::kSettingsFileName = "norvane.cfg";
const char* const CTamselSettings::kProductName = "Norvane";

namespace {
bool FolderExists(const char* path) {
#ifdef _WIN32
    return _access(path, 0) == 0;
#else
    return access(path, F_OK) == 0;
#endif
}
} // namespace

void CTamselSettings::LoadSettingsFrom(const char* path) {
    // A missing or broken file leaves the defaults; nothing is reported.
    LoadFromTextFile(path, this);
    DropMissingProtectedFolders();
}

void CTamselSettings::SaveSettingsTo(const char* path) {
    SaveToTextFile(path, kProductName, this, -1, nullptr);
}

void CTamselSettings::DropMissingProtectedFolders() {
    for (POSITION pos = m_lstProtectedFolders.GetHeadPosition(); pos;) {
        POSITION at = pos;
        const CString& folder = m_lstProtectedFolders.GetNext(pos);
        if (!FolderExists(folder))
            m_lstProtectedFolders.RemoveAt(at);
    }
}
