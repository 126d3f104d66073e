#include "core/CTamselSettings.h"

#include "settings/TextFile.h"

const char* const CTamselSettings::kSettingsFileName = "norvane.cfg";
const char* const CTamselSettings::kProductName = "Norvane";

void CTamselSettings::LoadSettingsFrom(const char* path) {
    // A missing or broken file leaves the defaults; nothing is reported.
    LoadFromTextFile(path, this);
}

void CTamselSettings::SaveSettingsTo(const char* path) {
    SaveToTextFile(path, kProductName, this, -1, nullptr);
}
