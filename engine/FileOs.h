#pragma once
// The few things the engine needs from the operating system, with one
// implementation for Windows (FileOs_win.cpp) and one for POSIX systems
// (FileOs_posix.cpp). Paths are narrow strings in the process code page.
//
// Reading a photo never gets in another program's way: a file opened for
// reading shares reading, writing and deleting, so an editor's save, save by
// rename or delete works while the engine looks. Writing one takes it from
// everybody else: OpenForRewrite shares reading only (on Windows; POSIX
// systems have no sharing modes), and the engine confirms, once it holds the
// photo, that it is still the photo it read (FileStamp, and the bytes it is
// about to replace).
//
// Safe replacement of a file goes through these steps, so that a failure or
// a kill at any point leaves the file whole under its own name:
//   1. CreateSibling opens a new file "<name>.norvane-tmp" beside the target
//      (same folder, so step 4 is a rename), hidden on Windows;
//   2. the whole new content is written with WriteAll;
//   3. it is flushed to the disk and given what the target keeps: creation
//      time, attributes and security descriptor (mode and owner on POSIX);
//   4. MoveOver renames it over the target in one atomic step (one rename
//      that replaces; never ReplaceFile, which is several steps and can
//      leave the target gone and the new file under its temporary name).
// On any failure RemoveFile deletes the sibling. A program killed between 1
// and 4 leaves a sibling; the folder walks take it up again (Leftovers.h).
// Replacement owns the steps, so that no early return leaves a sibling
// behind or a file open; WriteWholeFileSafely does all of it for content
// that is already in memory.
//
// The engine's large blocks of memory (EXIF data, a photo rebuilt in
// memory) come from AllocateBlock, which can say "none": the engine then
// takes a slower way or fails cleanly. Tests make writes, allocations and
// the steps of a swap fail, and play another program that writes the photo,
// through this layer (FileOsFaults.h).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace fileos {

// The ending of the engine's temporary files: "<photo name>.norvane-tmp".
// It ends in no "g", so no walk or folder watcher takes it for a photo.
constexpr char kTemporarySuffix[] = ".norvane-tmp";

// Opens a buffered file that other readers, writers and deleters may share.
FILE* OpenShared(const char* path, const char* mode);

// Opens an existing file for binary reading and writing ("r+b") that no one
// else may write, rename or delete while it stays open; readers still may.
// Null when it cannot be had: read only, or open elsewhere for writing.
FILE* OpenForRewrite(const char* path);

// 64-bit positioning of a buffered file.
bool Seek64(FILE* file, int64_t offset, int origin);
int64_t Tell64(FILE* file);

// Cuts or extends the file behind a buffered stream at size, through the
// operating-system handle. The stream must have been flushed.
bool Truncate(FILE* file, uint64_t size);

// Last modification of an open file, seconds since 1970 (0 when unknown).
int64_t ModifyTime(FILE* file);

// Creates, exclusively and for binary writing, the file "<target>.norvane-tmp"
// (hidden on Windows). A sibling of that name that nobody has open is the
// leftover of a program that was ended: it is removed first, as the target
// still exists. Returns null when no such file can be made; the name lands
// in siblingPath.
FILE* CreateSibling(const char* target, std::string& siblingPath);

// Writes size bytes or fails; every byte the engine writes to a file passes
// here.
bool WriteAll(FILE* file, const void* data, size_t size);

// Flushes the stream and asks the system to put the data on the disk.
bool FlushToDisk(FILE* file);

// Gives file what target has and a rewrite must keep: creation time,
// attributes (the sibling's hidden mark goes) and its own security
// descriptor on Windows; mode, and owner where permitted, on POSIX. True
// when target does not exist.
bool KeepMetadataOf(const char* target, FILE* file);

// Renames replacement to target in one step, replacing the file there;
// never replaces a folder. On failure both are left as they were.
bool MoveOver(const char* replacement, const char* target);

// Renames a temporary file to target, which must not exist, and makes it
// visible. False when target exists (nothing changes then) or on failure.
bool PutInPlace(const char* temporary, const char* target);

// True when path names something (file or folder). Any text may be asked
// about (what a user typed: any length, wildcards): the file system answers
// for it; null and "" name nothing.
bool Exists(const char* path);

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

// Which file, how long, last written when (in the system's finest unit):
// a file whose stamp changed was written or replaced meanwhile.
struct FileStamp {
    FileId id;
    uint64_t size = 0;
    int64_t writeTime = 0;
    bool operator==(const FileStamp& o) const {
        return id == o.id && size == o.size && writeTime == o.writeTime;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

// The stamp of an open file, or of what path names now (one system call
// for an open file; false when it cannot be read).
bool GetFileStamp(FILE* file, FileStamp& stamp);
bool GetFileStamp(const char* path, FileStamp& stamp);

// What a walk needs to tell, without reading a byte of it, that a file is
// the one it saw before and unchanged: identity, size, last-write time and
// change time. The change time moves on every write and on every change of
// the file's metadata, even when the writer puts the last-write time back
// (exiftool -P does); POSIX systems let no program set it, and on Windows
// only a program that asks for it by name (FileBasicInfo) does. Times are
// in the system's own unit (100 ns since 1601 on Windows, ns since 1970 on
// POSIX systems; kTimeUnitsPerSecond), as the file system keeps them. A
// file system that keeps no change time (FAT, exFAT) gives 0 or the
// last-write time there, and the key then rests on size and last-write
// time alone.
struct FileKey {
    uint64_t volume = 0;
    uint64_t idLow = 0; // the file id, 128 bits where the file system has them
    uint64_t idHigh = 0;
    uint64_t size = 0;
    int64_t writeTime = 0;
    int64_t changeTime = 0;
    bool SameFile(const FileKey& o) const { return volume == o.volume && idLow == o.idLow && idHigh == o.idHigh; }
    bool operator==(const FileKey& o) const {
        return SameFile(o) && size == o.size && writeTime == o.writeTime && changeTime == o.changeTime;
    }
    bool operator!=(const FileKey& o) const { return !(*this == o); }
};

#ifdef _WIN32
constexpr int64_t kTimeUnitsPerSecond = 10000000;
#else
constexpr int64_t kTimeUnitsPerSecond = 1000000000;
#endif

// The system's clock in the unit and epoch of FileKey's times.
int64_t TimeNow();

// The attributes that say a file's data is not on this computer: opening
// it (for data, on some providers even for attributes) has the cloud
// provider download it. A walk never opens such a file. The values are
// Windows' own; POSIX systems have none.
constexpr uint32_t kAttributeFolder = 0x00000010;
constexpr uint32_t kAttributeOffline = 0x00001000;
constexpr uint32_t kAttributeRecallOnOpen = 0x00040000;
constexpr uint32_t kAttributeRecallOnDataAccess = 0x00400000;
inline bool IsCloudOnly(uint32_t attributes) {
    return (attributes & (kAttributeOffline | kAttributeRecallOnOpen | kAttributeRecallOnDataAccess)) != 0;
}

// The key of what path names now (links followed), read without opening
// its data, so a cloud placeholder stays in the cloud. With attributes,
// its attributes too. False when it cannot be read.
bool GetFileKey(const char* path, FileKey& key, uint32_t* attributes = nullptr);

// One entry of a folder's listing. name is in the process code page.
struct FolderEntry {
    std::string name;
    bool folder = false;
    uint32_t attributes = 0;
    FileKey key;
};

// Every entry of folder but "." and "..", with its key, in few system
// calls (on Windows many entries a call; on POSIX one stat each), in the
// order the file system lists them. With folderKey, the folder's own key
// (it groups the folder's photos in the known record). False when the
// folder cannot be listed; entries is then empty.
//
// An entry's key is what the folder's listing says. A link is listed as
// itself where GetFileKey follows it, so the two keys of a link differ (a
// miss costs a check, never a wrong match). NTFS keeps a file's size and
// times in each folder entry that names it and brings an entry up to date
// when a handle opened through it closes: a file with several hard links
// written through one of them can show its old values in the other's
// folder until it is opened through that one.
bool ListFolder(const char* folder, std::vector<FolderEntry>& entries, FileKey* folderKey = nullptr);

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

    enum Result {
        kSwapped,       // the new content is in the target's place
        kFailed,        // a step failed; the target is as it was
        kTargetChanged, // the target is no longer the file expected; left to its writer
    };

    // The sibling, open for binary writing; null when it could not be made.
    FILE* File() const { return file; }
    // Flushes the sibling to the disk, gives it the target's metadata and
    // closes it: all of the swap that may take time, done while the owner
    // still holds the target. False when a step fails; the sibling is gone
    // then.
    bool Complete();
    // Completes the sibling if it is not, and puts it in the place of the
    // target; with expected, only while the target's stamp is still that.
    // The sibling is gone on every result but kSwapped.
    Result SwapIn(const FileStamp* expected = nullptr);

private:
    void Discard();

    std::string target;
    std::string sibling;
    FILE* file = nullptr;
    bool completed = false;
};

// Replaces the whole content of path with data, through a sibling file; the
// old content stays when anything fails.
bool WriteWholeFileSafely(const char* path, const void* data, size_t size);

// A block of memory of at least size bytes, or null when there is none.
// Blocks are given back with ReleaseBlock (null is allowed).
void* AllocateBlock(size_t size);
void ReleaseBlock(void* block);

} // namespace fileos
