#include "core/CTamselSettings.h"

#include "engine/FileOs.h"
#include "settings/TextFile.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

const char* const CTamselSettings::kSettingsFileName = "norvane.cfg";
const char* const CTamselSettings::kProductName = "Norvane";

namespace {
bool IsFile(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && (st.st_mode & S_IFMT) == S_IFREG;
}

bool ReadWholeFile(const char* path, std::string& bytes) {
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, got);
    bool whole = !std::ferror(file);
    std::fclose(file);
    return whole;
}
} // namespace

CString CTamselSettings::FreeUnreadableName(const char* path) {
    for (int n = 1; n <= 1000; ++n) {
        CString name = CString(path) + ".bad";
        if (n > 1)
            name += std::to_string(n).c_str();
        if (!fileos::Exists(name))
            return name;
    }
    return CString();
}

void CTamselSettings::LoadSettingsFrom(const char* path) {
    // A missing file is a first run: the defaults, and nothing to say.
    if (LoadFromTextFile(path, this) != 0 && IsFile(path)) {
        // The file held the user's protected folders, and the next save
        // would replace it with the defaults: it goes aside first, under a
        // name no earlier unreadable file has.
        m_strFolderForScan.Empty();
        m_lstProtectedFolders.RemoveAll();
        m_bSettingsUnreadable = true;
        CString kept = FreeUnreadableName(path);
        if (!kept.IsEmpty()) {
            std::string bytes;
            // A file another program holds open cannot be renamed; a copy
            // keeps its bytes all the same.
            if (fileos::PutInPlace(path, kept) ||
                (ReadWholeFile(path, bytes) && fileos::WriteWholeFileSafely(kept, bytes.data(), bytes.size())))
                m_strUnreadableKeptAs = kept;
        }
    }
}

void CTamselSettings::SaveSettingsTo(const char* path) {
    SaveToTextFile(path, kProductName, this, -1, nullptr);
}
