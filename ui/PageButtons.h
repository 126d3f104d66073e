#pragma once
// What the main window's pages share: the sheet's wizard buttons, reached
// through their control ids on the sheet frame, and the answer to a cancel.

#include "framework/CPropertySheet.h"

#include <windows.h>

// The wizard buttons of the sheet frame.
constexpr int ID_WIZBACK = 0x3023;
constexpr int ID_WIZNEXT = 0x3024;
constexpr int ID_WIZCANCEL = IDCANCEL;

// Enables or disables one of the sheet's buttons (the wizard's own
// button-state message is not used: it would also change the other buttons).
void EnableSheetButton(const CPropertyPage& page, int nID, bool bEnable);
// Sets the caption of one of the sheet's buttons.
void SetSheetButtonText(const CPropertyPage& page, int nID, const char* text);

// The cancel query of every page. With folders protected the program goes on
// in the notification area: the sheet is hidden and the cancel refused.
// Without, the cancel is accepted and the sheet ends; a scan still running is
// stopped and its worker waited for first, so nothing of the scan outlives
// the windows it reports to.
BOOL QueryCancelPages(const CPropertyPage& page);
