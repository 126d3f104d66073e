#pragma once
// The few things the engine needs from the operating system, with one
// implementation for Windows (FileOs_win.cpp) and one for POSIX systems
// (FileOs_posix.cpp). Paths are narrow strings in the process code page.

#include <cstdint>
#include <cstdio>

namespace fileos {

// Opens a buffered file that other readers and writers may share (deny-none).
FILE* OpenShared(const char* path, const char* mode);

// 64-bit positioning of a buffered file.
bool Seek64(FILE* file, int64_t offset, int origin);
int64_t Tell64(FILE* file);

// Cuts or extends the file behind a buffered stream at size, through the
// operating-system handle. The stream must have been flushed.
bool Truncate(FILE* file, uint64_t size);

// Last modification of an open file, seconds since 1970 (0 when unknown).
int64_t ModifyTime(FILE* file);

} // namespace fileos
