#pragma once
// One running program per user session. The first instance holds the named
// mutex "NorvaneInstance" from before it creates its core until it ends; a
// later start finds the mutex taken, wakes the running instance's window
// with WM_COPYDATA "info", and ends.
//
// That window is found by a window property named like the mutex, which
// only the program's main window carries, never by its title: an Explorer
// window open on a folder named "Norvane" (the data folder is one) has the
// same title, and would take the wake-up while nothing appears.
//
// The mutex is taken first, in one step (CreateMutex tells whether it
// existed), so two starts can never both take it. A start that finds it
// taken while the first instance has no window (it is still starting, or
// already ending) waits a moment for the window; without one it ends all
// the same, so two cores never share one settings file.

#include "core/CMutexEx.h"

#include <windows.h>

extern const char* const kInstanceMutexName; // "NorvaneInstance"

enum class InstanceClaim {
    First,        // this is the running instance now: go on starting
    HandedOver,   // the running instance was woken: end
    OtherRunning, // another instance holds the mutex but shows no window: end
};

// Takes the mutex for this instance or hands over to the running one,
// waiting up to waitMs for its marked window.
InstanceClaim ClaimSingleInstance(CMutexEx& mutex, DWORD waitMs = 5000, const char* mutexName = kInstanceMutexName);

// Marks window as the running instance's window, the one a later start
// wakes; UnmarkInstanceWindow takes the mark off before it is destroyed.
void MarkInstanceWindow(HWND window, const char* mutexName = kInstanceMutexName);
void UnmarkInstanceWindow(HWND window, const char* mutexName = kInstanceMutexName);
// The top-level window (shown or not) that carries the mark; null when none.
HWND FindInstanceWindow(const char* mutexName = kInstanceMutexName);

// Sends the running instance's window the wake-up: WM_COPYDATA with the
// text "info". Gives up after a few seconds if that window does not answer.
bool WakeInstanceWindow(HWND window);

// A start option ("hide", "baypass"), found by case-sensitive search
// anywhere in the command line: " -hide", "/hide" and "hide" all count.
bool HasStartOption(const char* commandLine, const char* option);
