#pragma once
// Switches that tests turn in the core: a smaller change buffer for the
// monitoring threads, a shorter wait for a photo's writer, a failing read of
// changes or write of the log, and a look at the photo claims, at the photos opened
// and at the walks ended. Only tests include this; in the program all stay
// at their defaults.

#include <windows.h>

#include <cstddef>
#include <functional>

// The size of the change buffer of monitoring threads started from now on
// (0 restores the usual 64 KiB). A small buffer overflows at once.
void SetChangeBufferSizeForTests(DWORD bytes);

// How long a monitoring thread waits for a photo held by its writer (0: the
// usual 30 min).
void SetGiveUpTimeForTests(DWORD ms);

// The function that queues each read of changes, in place of
// ReadDirectoryChangesW (null restores it): a test fails reads with it.
typedef BOOL(WINAPI* ChangeReader)(HANDLE hFolder, LPVOID buffer, DWORD size, BOOL subtree, DWORD filter,
                                   LPDWORD returned, LPOVERLAPPED overlapped,
                                   LPOVERLAPPED_COMPLETION_ROUTINE routine);
void SetChangeReaderForTests(ChangeReader reader);

// The function that writes an entry's bytes to the open log (by default
// WriteFile). Null restores the default.
typedef BOOL (*LogWriter)(HANDLE file, const void* data, DWORD size, DWORD* written);
void SetLogWriterForTests(LogWriter writer);

// Called with the path of every photo the scan or a monitor opens to check
// or secure, on the worker's thread (empty turns it off).
void WatchPhotoOpensForTests(std::function<void(const char* path)> watcher);

// How many walks (scans, monitors' walks) have ended since the program
// started.
size_t CountWalksEndedForTests();

// How many photos are claimed (PhotoSecuring.h) right now.
size_t CountPhotoClaimsForTests();
