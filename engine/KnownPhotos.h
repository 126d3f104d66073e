#pragma once
// The photos known to need nothing: secure when last checked, or secured
// then, and not changed since. A walk takes a file whose key (FileOs.h:
// identity, size, last-write time, change time) is in the record as known
// without opening it; any other file, and any file whose key differs in
// the least, is checked as ever. The record holds those keys and nothing
// else of a photo: no names, no paths, no positions.
//
// A walk takes each photo's key from the folder's listing before it opens
// the photo, checks the photo, and remembers that key when the photo needed
// nothing: a write during the check changes the change time, so the key
// no longer matches and the photo is checked again. A photo the walk
// secured gets the key it has after the rewrite, which the clock rule keeps
// out until the next walk has seen it unchanged.
//
// The clock rule. A file's times have a tick (100 ns on NTFS, 2 s on FAT,
// 1 s on older Unix file systems, and the kernel's clock tick on others):
// a write that lands in the same tick as the check that read the file
// leaves its key as the check saw it, and the changed photo would look
// known. So a key is remembered only when its last-write and change times
// lie at least kSettleSeconds in the past, and never when either lies in
// the future (a clock set back). Such a photo is checked once more by the
// next walk, which remembers it then.
//
// Pruning. Each remembered key belongs to the folder that was walked (the
// folder's key; one photo belongs to the folder it was last remembered
// through). A walk of a folder takes a mark (BeginFolder) before it lists
// the folder, and gives the ids the listing had when it is done
// (PruneFolder): the folder's entries remembered before the mark whose
// files were not listed are gone. An entry remembered after the mark, by
// this walk or by another walking the same folder at the same time, is
// kept, so two walks of one folder never lose each other's updates.
//
// Saving. The record is one file written beside and swapped in by one
// rename (fileos::WriteWholeFileSafely), read back by one read, so another
// process reading it sees the old file or the new one, never a part. Its
// form (numbers little-endian):
//   "NVKNOWN\0"          8 bytes
//   version              u32 (kVersion)
//   folder count F       u32
//   entry count N        u32
//   0                    u32
//   F folders            volume u64, id low u64, id high u64
//   N entries            volume u64, id low u64, id high u64, size u64,
//                        write time i64, change time i64, folder u32 (< F)
//   CRC-32               u32 (ISO-HDLC, as zlib's) of all the bytes before it
// A file that is missing, cut, garbled (the CRC, a folder out of range, one
// file twice), of another version or longer than kMaxEntries allow is not
// trusted in any part: the record starts empty and is rebuilt by walking.
//
// Thread-safe: every member takes one lock, so walks on several threads
// share one record.

#include "engine/FileOs.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

class KnownPhotos {
public:
    static constexpr uint32_t kVersion = 1;
    static constexpr int64_t kSettleSeconds = 3;
    static constexpr size_t kMaxEntries = size_t(1) << 22;
    static constexpr size_t kEntryBytesOnDisk = 52;

    enum class LoadResult {
        kLoaded,
        kMissing,      // no file (a first start)
        kUnreadable,   // there, but it could not be read
        kDamaged,      // cut, garbled, or not a record at all
        kOtherVersion, // a record of another version of the program
        kTooLarge,     // more than kMaxEntries, or a file longer than such a record
    };

    KnownPhotos();
    KnownPhotos(const KnownPhotos&) = delete;
    KnownPhotos& operator=(const KnownPhotos&) = delete;

    // True when the file of key was remembered with this very key.
    bool Lookup(const fileos::FileKey& key) const;

    // Remembers photo, found in folder, as needing nothing, replacing what
    // was remembered of that file before. False when the clock rule keeps
    // it out (now in the unit of the keys' times; fileos::TimeNow()).
    bool Remember(const fileos::FileKey& folder, const fileos::FileKey& photo, int64_t now);
    bool Remember(const fileos::FileKey& folder, const fileos::FileKey& photo) {
        return Remember(folder, photo, fileos::TimeNow());
    }

    // Forgets the file of key (its identity; size and times do not matter).
    void Forget(const fileos::FileKey& key);

    // The mark a walk of one folder takes before listing it.
    uint32_t BeginFolder();
    // Drops the entries of folder remembered before mark whose files are
    // not among listed (compared by identity). Returns how many went.
    size_t PruneFolder(const fileos::FileKey& folder, const std::vector<fileos::FileKey>& listed, uint32_t mark);

    // Replaces the record with the one saved at path, or an empty one.
    LoadResult Load(const char* path);
    // The same over bytes already in memory.
    LoadResult Read(const uint8_t* data, size_t size);
    // Writes the record to path; the record is clean after success unless
    // it changed meanwhile.
    bool Save(const char* path);
    // The saved form.
    std::vector<uint8_t> Serialize() const;

    // True when the record changed since it was loaded or saved, or the
    // file it was loaded from was not trusted.
    bool IsDirty() const;
    size_t Count() const;
    // What the record holds in memory, in bytes.
    size_t MemoryBytes() const;

private:
    struct Entry {
        uint64_t volume;
        uint64_t idLow;
        uint64_t idHigh;
        uint64_t size;
        int64_t writeTime;
        int64_t changeTime;
        uint32_t folder;      // index into m_folders
        uint32_t mark;        // the walk mark when it was last remembered
    };
    struct Folder {
        uint64_t volume;
        uint64_t idLow;
        uint64_t idHigh;
        uint32_t entries; // how many entries are the folder's (not saved)
    };
    static constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

    size_t SlotOf(uint64_t volume, uint64_t idLow, uint64_t idHigh) const;
    void Rehash(size_t slots);
    void Insert(const Entry& entry);
    void Erase(size_t slot);
    uint32_t FolderIndex(const fileos::FileKey& folder);
    bool FindFolder(const fileos::FileKey& folder, uint32_t& index) const;
    void Remove(size_t index);
    void Clear();
    std::vector<uint8_t> SerializeLocked() const;

    mutable std::mutex m_lock;
    std::mutex m_saving; // one save at a time: two would share the sibling file
    std::vector<Entry> m_entries;   // dense, in no order
    std::vector<uint32_t> m_slots;  // open addressing by identity: index into m_entries or kNoSlot
    std::vector<Folder> m_folders;
    std::map<std::tuple<uint64_t, uint64_t, uint64_t>, uint32_t> m_folderIndex;
    uint32_t m_mark = 0;
    uint64_t m_changes = 0;
    uint64_t m_savedChanges = 0;
};
