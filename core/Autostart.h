#pragma once
// The program starts hidden at log-on: the value "Norvane" of the current
// user's Run key holds the program's full path in quotes followed by
// " -hide". It is written at every start, so a program that was moved is
// found again, and a value of an older version (the path without quotes)
// is replaced at the first start. When the installer was told not to start
// Norvane at log-on (the DWORD "StartAtLogOn" of HKCU\Software\Norvane is
// 0), the value is removed instead: the user's choice holds at every start.
//
// The quotes matter: Windows reads an unquoted "C:\Tools\My Apps\norvane.exe"
// as the program "C:\Tools\My.exe" with arguments first, and whoever may
// write that file would run code at the user's log-on.

#include "framework/CString.h"

// "Software\Microsoft\Windows\CurrentVersion\Run"
extern const char* const kRunKey;
// "Norvane"
extern const char* const kAutostartValueName;
// "Software\Norvane" and its "StartAtLogOn", written by the installer.
extern const char* const kChoiceKey;
extern const char* const kChoiceValueName;

// Writes the value; false when it could not be written (start-up goes on).
bool RegisterAutostart();
