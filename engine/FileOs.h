#pragma once
// The few things the engine needs from the operating system, with one
// implementation for Windows (FileOs_win.cpp) and one for POSIX systems
// (FileOs_posix.cpp). Paths are narrow strings in the process code page.
//
// Safe replacement of a file goes through three steps, so that a failure at
// any point leaves the old file as it was:
//   1. CreateUniqueSibling opens a new, exclusively created file in the same
//      folder as the target (same volume, so step 3 is a rename);
//   2. the whole new content is written with WriteAll, then FlushToDisk;
//   3. ReplaceFileWith swaps it in over the target in one step.
// On any failure RemoveFile deletes the sibling. Replacement owns the three
// steps, so that no early return leaves a sibling behind or a file open;
// WriteWholeFileSafely does all of it for content that is already in memory.
//
// The engine's large blocks of memory (EXIF data, a photo rebuilt in
// memory) come from AllocateBlock, which can say "none": the engine then
// takes a slower way or fails cleanly. Tests make writes and allocations
// fail through this layer (FileOsFaults.h).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

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

// Creates, exclusively and for binary writing, a file in the folder of
// target whose name no other file there has ("~norvane-<pid>-<n>.tmp"; no
// ".jpg" in it, so folder watchers never take it for a photo). Returns null
// when no such file can be made; the chosen name lands in siblingPath.
FILE* CreateUniqueSibling(const char* target, std::string& siblingPath);

// Writes size bytes or fails; every byte the engine writes to a file passes
// here.
bool WriteAll(FILE* file, const void* data, size_t size);

// Flushes the stream and asks the system to put the data on the disk.
bool FlushToDisk(FILE* file);

// Puts replacement in the place of target in one step. The target keeps its
// attributes and permissions where the system allows. On failure both files
// are left as they were.
bool ReplaceFileWith(const char* target, const char* replacement);

// Deletes a file; false when it could not be deleted.
bool RemoveFile(const char* path);

// What makes a file or folder itself, whatever path reaches it: volume and
// file index on Windows, device and inode on POSIX systems. Links are
// followed, so a link and its target have one identity. A walk that
// remembers the identities of the folders it entered never enters one twice.
struct FileId {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileId& o) const { return volume == o.volume && index == o.index; }
    bool operator<(const FileId& o) const { return volume != o.volume ? volume < o.volume : index < o.index; }
};

// False when path names nothing that can be opened.
bool GetFileId(const char* path, FileId& id);

// True when both paths name one existing file, however they are spelt
// (links, case, short names, "." and ".." parts).
bool SameFile(const char* a, const char* b);

// A new file beside target that takes target's place in one step. The
// owner writes the new content into File(), then calls SwapIn. Until a
// SwapIn succeeds the sibling belongs to the owner: it is closed and
// deleted when the owner goes, and the target stays as it was.
class Replacement {
public:
    explicit Replacement(const char* target);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // The sibling, open for binary writing; null when it could not be made.
    FILE* File() const { return file; }
    // Flushes the sibling to the disk, closes it and puts it in the place of
    // the target. False when any step fails; the sibling is gone then too.
    bool SwapIn();

private:
    void Discard();

    std::string target;
    std::string sibling;
    FILE* file = nullptr;
};

// Replaces the whole content of path with data, through a sibling file; the
// old content stays when anything fails.
bool WriteWholeFileSafely(const char* path, const void* data, size_t size);

// A block of memory of at least size bytes, or null when there is none.
// Blocks are given back with ReleaseBlock (null is allowed).
void* AllocateBlock(size_t size);
void ReleaseBlock(void* block);

} // namespace fileos
