#pragma once
// The program starts hidden at log-on: the value "Norvane" of the current
// user's Run key holds the program's full path followed by " -hide". It is
// written at every start, so a program that was moved is found again.

#include "framework/CString.h"

// "Software\Microsoft\Windows\CurrentVersion\Run"
extern const char* const kRunKey;
// "Norvane"
extern const char* const kAutostartValueName;

// Writes the value; false when it could not be written (start-up goes on).
bool RegisterAutostart();
