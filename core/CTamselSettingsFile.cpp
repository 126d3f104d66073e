// Loading and saving the engine's settings in the data folder.

#include "core/CTamsel.h"

#include "settings/CStdString.h"
#include "settings/TextFile.h"

// The per-user data folder, created when missing (core paths).
CStdString GetDataFolder();

namespace {
CStdString SettingsFilePath() {
    return GetDataFolder() + CStdString("\\") + CStdString(CTamsel::kSettingsFileName);
}
} // namespace

void CTamsel::LoadSettings() {
    LoadSettingsFrom(SettingsFilePath());
}

void CTamsel::SaveSettings() {
    SaveSettingsTo(SettingsFilePath());
}
