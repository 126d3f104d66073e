#pragma once
// Command ids that double as the notifications of the event broadcast. Some
// travel as BroadcastEvent, some as posted WM_COMMAND messages.

enum : unsigned int {
    ID_SCAN_FINISH = 32772,          // posted by the scan job to the scanning page
    ID_UPDATE_WATCH_LIST = 32776,    // broadcast: the protected-folder list may have changed
    ID_WATCH_UPDATE_TOOLTIP = 32778, // broadcast: refresh the tray tooltip
    ID_WATCH_UPDATE_ICON = 32780,    // broadcast: add or remove the tray icon
    ID_REREAD_LOG = 32787,           // posted by the log view to itself
    ID_SET_INWORK_MODE = 32797,      // broadcast after each secured photo
    ID__STOP_AND_EXIT = 32799,       // WM_COMMAND to the main window: end the program
    ID_WATCH_STATE_CHANGED = 32801,  // broadcast by a monitoring thread: its folder turned waiting or watched
};
