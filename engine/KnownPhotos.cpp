// The record keeps its entries in one dense array (no order; a removal
// moves the last entry into the gap) and finds them through an open-
// addressing table of 32-bit indices with linear probing, at most half
// full, keyed by volume and id. A removal closes its gap in the table by
// shifting the entries after it back (no tombstones), so lookups never
// slow down however many files come and go.

#include "engine/KnownPhotos.h"

#include "engine/Crc32.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'N', 'V', 'K', 'N', 'O', 'W', 'N', '\0'};
constexpr size_t kHeaderBytes = 24;
constexpr size_t kFolderBytes = 24;
constexpr size_t kCrcBytes = 4;

uint8_t* Put32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        *out++ = uint8_t(v >> (8 * i));
    return out;
}

uint8_t* Put64(uint8_t* out, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        *out++ = uint8_t(v >> (8 * i));
    return out;
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t Get64(const uint8_t* p) {
    return uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32;
}

uint64_t HashOf(uint64_t volume, uint64_t idLow, uint64_t idHigh) {
    uint64_t h = volume * 0x9E3779B97F4A7C15ull ^ idLow ^ idHigh * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return h;
}

using Identity = std::tuple<uint64_t, uint64_t, uint64_t>;

} // namespace

KnownPhotos::KnownPhotos() {
    m_slots.assign(16, kNoSlot);
}

size_t KnownPhotos::SlotOf(uint64_t volume, uint64_t idLow, uint64_t idHigh) const {
    size_t mask = m_slots.size() - 1;
    for (size_t slot = size_t(HashOf(volume, idLow, idHigh)) & mask;; slot = (slot + 1) & mask) {
        uint32_t at = m_slots[slot];
        if (at == kNoSlot)
            return slot;
        const Entry& e = m_entries[at];
        if (e.volume == volume && e.idLow == idLow && e.idHigh == idHigh)
            return slot;
    }
}

void KnownPhotos::Rehash(size_t slots) {
    m_slots.assign(slots, kNoSlot);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        m_slots[SlotOf(e.volume, e.idLow, e.idHigh)] = uint32_t(i);
    }
}

void KnownPhotos::Insert(const Entry& entry) {
    if ((m_entries.size() + 1) * 2 > m_slots.size())
        Rehash(m_slots.size() * 2);
    m_slots[SlotOf(entry.volume, entry.idLow, entry.idHigh)] = uint32_t(m_entries.size());
    m_entries.push_back(entry);
    ++m_folders[entry.folder].entries;
}

void KnownPhotos::Erase(size_t slot) {
    // Backward shift: every entry after the gap whose home lies at or
    // before the gap moves into it, until an empty slot ends the run.
    size_t mask = m_slots.size() - 1;
    size_t hole = slot;
    for (size_t next = (hole + 1) & mask; m_slots[next] != kNoSlot; next = (next + 1) & mask) {
        const Entry& e = m_entries[m_slots[next]];
        size_t home = size_t(HashOf(e.volume, e.idLow, e.idHigh)) & mask;
        if (((next - home) & mask) >= ((next - hole) & mask)) {
            m_slots[hole] = m_slots[next];
            hole = next;
        }
    }
    m_slots[hole] = kNoSlot;
}

void KnownPhotos::Remove(size_t index) {
    const Entry& gone = m_entries[index];
    --m_folders[gone.folder].entries;
    Erase(SlotOf(gone.volume, gone.idLow, gone.idHigh));
    size_t last = m_entries.size() - 1;
    if (index != last) {
        const Entry& moved = m_entries[last];
        m_slots[SlotOf(moved.volume, moved.idLow, moved.idHigh)] = uint32_t(index);
        m_entries[index] = moved;
    }
    m_entries.pop_back();
}

bool KnownPhotos::FindFolder(const fileos::FileKey& folder, uint32_t& index) const {
    auto found = m_folderIndex.find(Identity(folder.volume, folder.idLow, folder.idHigh));
    if (found == m_folderIndex.end())
        return false;
    index = found->second;
    return true;
}

uint32_t KnownPhotos::FolderIndex(const fileos::FileKey& folder) {
    uint32_t index;
    if (FindFolder(folder, index))
        return index;
    index = uint32_t(m_folders.size());
    m_folders.push_back(Folder{folder.volume, folder.idLow, folder.idHigh, 0});
    m_folderIndex.emplace(Identity(folder.volume, folder.idLow, folder.idHigh), index);
    return index;
}

void KnownPhotos::Clear() {
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_slots.assign(16, kNoSlot);
    m_folders.clear();
    m_folderIndex.clear();
}

bool KnownPhotos::Lookup(const fileos::FileKey& key) const {
    std::lock_guard<std::mutex> hold(m_lock);
    uint32_t at = m_slots[SlotOf(key.volume, key.idLow, key.idHigh)];
    if (at == kNoSlot)
        return false;
    const Entry& e = m_entries[at];
    return e.size == key.size && e.writeTime == key.writeTime && e.changeTime == key.changeTime;
}

bool KnownPhotos::Remember(const fileos::FileKey& folder, const fileos::FileKey& photo, int64_t now) {
    // Written or changed within the settling time, or later than now: a
    // write in the same tick as the check could hide behind this key.
    int64_t settled = now - kSettleSeconds * fileos::kTimeUnitsPerSecond;
    if (photo.writeTime > settled || photo.changeTime > settled)
        return false;
    std::lock_guard<std::mutex> hold(m_lock);
    uint32_t at = m_slots[SlotOf(photo.volume, photo.idLow, photo.idHigh)];
    if (at == kNoSlot && m_entries.size() >= kMaxEntries)
        return false; // no more than a saved record may hold
    uint32_t folderIndex = FolderIndex(folder);
    Entry entry{photo.volume,    photo.idLow,     photo.idHigh, photo.size, photo.writeTime,
                photo.changeTime, folderIndex, m_mark};
    if (at == kNoSlot) {
        Insert(entry);
        ++m_changes;
        return true;
    }
    Entry& old = m_entries[at];
    if (std::memcmp(&old, &entry, offsetof(Entry, mark)) != 0)
        ++m_changes;
    --m_folders[old.folder].entries;
    ++m_folders[folderIndex].entries;
    old = entry;
    return true;
}

void KnownPhotos::Forget(const fileos::FileKey& key) {
    std::lock_guard<std::mutex> hold(m_lock);
    uint32_t at = m_slots[SlotOf(key.volume, key.idLow, key.idHigh)];
    if (at == kNoSlot)
        return;
    Remove(at);
    ++m_changes;
}

uint32_t KnownPhotos::BeginFolder() {
    std::lock_guard<std::mutex> hold(m_lock);
    return ++m_mark;
}

size_t KnownPhotos::PruneFolder(const fileos::FileKey& folder, const std::vector<fileos::FileKey>& listed,
                                uint32_t mark) {
    std::lock_guard<std::mutex> hold(m_lock);
    uint32_t folderIndex;
    if (!FindFolder(folder, folderIndex) || m_folders[folderIndex].entries == 0)
        return 0;
    std::vector<Identity> ids;
    ids.reserve(listed.size());
    for (const fileos::FileKey& key : listed)
        ids.emplace_back(key.volume, key.idLow, key.idHigh);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    // Mostly every entry of the folder is still listed, and that is told
    // from the listing alone; only when one is missing are all entries gone
    // through.
    size_t present = 0;
    for (const Identity& id : ids) {
        uint32_t at = m_slots[SlotOf(std::get<0>(id), std::get<1>(id), std::get<2>(id))];
        if (at != kNoSlot && m_entries[at].folder == folderIndex)
            ++present;
    }
    if (present == m_folders[folderIndex].entries)
        return 0;
    size_t dropped = 0;
    for (size_t i = m_entries.size(); i-- > 0;) {
        const Entry& e = m_entries[i];
        if (e.folder == folderIndex && e.mark < mark &&
            !std::binary_search(ids.begin(), ids.end(), Identity(e.volume, e.idLow, e.idHigh))) {
            Remove(i);
            ++dropped;
        }
    }
    if (dropped)
        ++m_changes;
    return dropped;
}

std::vector<uint8_t> KnownPhotos::SerializeLocked() const {
    // Only the folders that still have entries, numbered afresh.
    std::vector<uint32_t> renumbered(m_folders.size(), kNoSlot);
    uint32_t folders = 0;
    for (size_t i = 0; i < m_folders.size(); ++i)
        if (m_folders[i].entries)
            renumbered[i] = folders++;
    std::vector<uint8_t> out(kHeaderBytes + folders * kFolderBytes + m_entries.size() * kEntryBytesOnDisk +
                             kCrcBytes);
    uint8_t* at = std::copy(kMagic, kMagic + sizeof kMagic, out.data());
    at = Put32(at, kVersion);
    at = Put32(at, folders);
    at = Put32(at, uint32_t(m_entries.size()));
    at = Put32(at, 0);
    for (size_t i = 0; i < m_folders.size(); ++i) {
        if (renumbered[i] == kNoSlot)
            continue;
        at = Put64(at, m_folders[i].volume);
        at = Put64(at, m_folders[i].idLow);
        at = Put64(at, m_folders[i].idHigh);
    }
    for (const Entry& e : m_entries) {
        at = Put64(at, e.volume);
        at = Put64(at, e.idLow);
        at = Put64(at, e.idHigh);
        at = Put64(at, e.size);
        at = Put64(at, uint64_t(e.writeTime));
        at = Put64(at, uint64_t(e.changeTime));
        at = Put32(at, renumbered[e.folder]);
    }
    Put32(at, Crc32(out.data(), out.size() - kCrcBytes));
    return out;
}

std::vector<uint8_t> KnownPhotos::Serialize() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return SerializeLocked();
}

bool KnownPhotos::Save(const char* path) {
    std::lock_guard<std::mutex> saving(m_saving);
    std::vector<uint8_t> bytes;
    uint64_t changes;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        bytes = SerializeLocked();
        changes = m_changes;
    }
    if (!fileos::WriteWholeFileSafely(path, bytes.data(), bytes.size()))
        return false;
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_savedChanges < changes)
        m_savedChanges = changes;
    return true;
}

KnownPhotos::LoadResult KnownPhotos::Read(const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> hold(m_lock);
    Clear();
    auto untrusted = [this](LoadResult result) {
        Clear();
        m_changes = m_savedChanges + 1; // the file on disk is to be replaced
        return result;
    };
    if (!data || size < kHeaderBytes + kCrcBytes || std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return untrusted(LoadResult::kDamaged);
    if (Get32(data + 8) != kVersion)
        return untrusted(LoadResult::kOtherVersion);
    uint64_t folders = Get32(data + 12), entries = Get32(data + 16);
    if (folders > kMaxEntries || entries > kMaxEntries)
        return untrusted(LoadResult::kTooLarge);
    uint64_t expected = kHeaderBytes + folders * kFolderBytes + entries * kEntryBytesOnDisk + kCrcBytes;
    if (size != expected || Get32(data + 20) != 0 ||
        Crc32(data, size - kCrcBytes) != Get32(data + size - kCrcBytes))
        return untrusted(LoadResult::kDamaged);

    const uint8_t* at = data + kHeaderBytes;
    for (uint64_t i = 0; i < folders; ++i, at += kFolderBytes) {
        fileos::FileKey folder;
        folder.volume = Get64(at);
        folder.idLow = Get64(at + 8);
        folder.idHigh = Get64(at + 16);
        if (FolderIndex(folder) != i) // one folder twice
            return untrusted(LoadResult::kDamaged);
    }
    m_entries.reserve(size_t(entries));
    Rehash(std::max<size_t>(16, size_t(1) << (64 - __builtin_clzll(entries * 2 + 1))));
    for (uint64_t i = 0; i < entries; ++i, at += kEntryBytesOnDisk) {
        Entry e{Get64(at),           Get64(at + 8),       Get64(at + 16), Get64(at + 24),
                int64_t(Get64(at + 32)), int64_t(Get64(at + 40)), Get32(at + 48), 0};
        if (e.folder >= folders || m_slots[SlotOf(e.volume, e.idLow, e.idHigh)] != kNoSlot)
            return untrusted(LoadResult::kDamaged);
        Insert(e);
    }
    m_changes = m_savedChanges;
    return LoadResult::kLoaded;
}

KnownPhotos::LoadResult KnownPhotos::Load(const char* path) {
    FILE* file = path ? fileos::OpenShared(path, "rb") : nullptr;
    if (!file) {
        bool there = path && fileos::Exists(path);
        Read(nullptr, 0);
        std::lock_guard<std::mutex> hold(m_lock);
        if (!there)
            m_changes = m_savedChanges; // nothing to replace
        return there ? LoadResult::kUnreadable : LoadResult::kMissing;
    }
    // The length first, so a file no record can be is refused before a
    // block of its size is asked for; then the whole file in one read.
    constexpr uint64_t kLongest =
        kHeaderBytes + kMaxEntries * (kFolderBytes + kEntryBytesOnDisk) + kCrcBytes;
    int64_t length = fileos::Seek64(file, 0, SEEK_END) ? fileos::Tell64(file) : -1;
    LoadResult result = LoadResult::kUnreadable;
    if (length >= 0 && uint64_t(length) > kLongest) {
        result = LoadResult::kTooLarge;
    } else if (length >= 0 && fileos::Seek64(file, 0, SEEK_SET)) {
        size_t size = size_t(length);
        uint8_t* block = static_cast<uint8_t*>(fileos::AllocateBlock(size));
        if (block && std::fread(block, 1, size, file) == size)
            result = Read(block, size);
        else if (block)
            result = LoadResult::kDamaged; // shorter than it was a moment ago
        fileos::ReleaseBlock(block);
    }
    std::fclose(file);
    if (result != LoadResult::kLoaded && result != LoadResult::kDamaged && result != LoadResult::kOtherVersion)
        Read(nullptr, 0);
    return result;
}

bool KnownPhotos::IsDirty() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_changes != m_savedChanges;
}

size_t KnownPhotos::Count() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_entries.size();
}

size_t KnownPhotos::MemoryBytes() const {
    std::lock_guard<std::mutex> hold(m_lock);
    // A map node: the value, three links, a colour, and the allocator's word.
    constexpr size_t kMapNode = sizeof(Identity) + sizeof(uint32_t) + 4 * sizeof(void*) + sizeof(size_t);
    return sizeof *this + m_entries.capacity() * sizeof(Entry) + m_slots.capacity() * sizeof(uint32_t) +
           m_folders.capacity() * sizeof(Folder) + m_folderIndex.size() * kMapNode;
}
