// Loading and saving the engine's settings in the data folder.

#include "core/CTamsel.h"

#include "core/Paths.h"

namespace {
CString SettingsFilePath() { return GetDataFolder() + "\\" + CTamsel::kSettingsFileName; }
} // namespace

void CTamsel::LoadSettings() { LoadSettingsFrom(SettingsFilePath()); }

void CTamsel::SaveSettings() { SaveSettingsTo(SettingsFilePath()); }
