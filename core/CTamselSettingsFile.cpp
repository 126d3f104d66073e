// Loading and saving the core's settings in the data folder.

#include "core/CTamselSettings.h"

#include "core/Paths.h"

namespace {
CString SettingsFilePath() { return GetDataFolder() + "\\" + CTamselSettings::kSettingsFileName; }
} // namespace

void CTamselSettings::LoadSettings() { LoadSettingsFrom(SettingsFilePath()); }

void CTamselSettings::SaveSettings() { SaveSettingsTo(SettingsFilePath()); }
