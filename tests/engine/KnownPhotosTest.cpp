// The record of photos known to need nothing: what counts as known, the
// clock rule, pruning by walks (two at once among them), and its file,
// which is trusted whole or not at all.

#include "engine/Crc32.h" // tests/engine
#include "engine/KnownPhotos.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

using namespace testing_support;
using fileos::FileKey;

namespace {

constexpr int64_t kSecond = fileos::kTimeUnitsPerSecond;
constexpr int64_t kNow = 1000000 * kSecond;

FileKey Key(uint64_t id, uint64_t volume = 7) {
    FileKey key;
    key.volume = volume;
    key.idLow = id;
    key.idHigh = id % 3;
    key.size = 1000 + id;
    key.writeTime = kNow - 3600 * kSecond + int64_t(id);
    key.changeTime = key.writeTime + 5;
    return key;
}

const FileKey kFolder = Key(1u << 30);
const FileKey kOtherFolder = Key(1u << 31);

void Set32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = uint8_t(value >> (8 * i));
}

} // namespace

TEST(KnownPhotos, KnownOnlyWithTheIdentityAndAllFourValues) {
    KnownPhotos record;
    EXPECT_FALSE(record.IsDirty());
    FileKey photo = Key(42);
    ASSERT_TRUE(record.Remember(kFolder, photo, kNow));
    EXPECT_TRUE(record.Lookup(photo));
    EXPECT_TRUE(record.IsDirty());
    struct Change {
        const char* what;
        void (*apply)(FileKey&);
    } changes[] = {
        {"volume", [](FileKey& k) { k.volume++; }},       {"id", [](FileKey& k) { k.idLow++; }},
        {"id's high half", [](FileKey& k) { k.idHigh++; }}, {"size", [](FileKey& k) { k.size--; }},
        {"write time", [](FileKey& k) { k.writeTime++; }}, {"change time", [](FileKey& k) { k.changeTime++; }},
    };
    for (const Change& change : changes) {
        FileKey other = photo;
        change.apply(other);
        EXPECT_FALSE(record.Lookup(other)) << change.what;
    }
    // A newer key of the same file replaces the old one.
    FileKey edited = photo;
    edited.changeTime += kSecond;
    ASSERT_TRUE(record.Remember(kFolder, edited, kNow));
    EXPECT_FALSE(record.Lookup(photo));
    EXPECT_TRUE(record.Lookup(edited));
    EXPECT_EQ(record.Count(), 1u);
    FileKey sameFile = photo;
    sameFile.size = 1;
    record.Forget(sameFile);
    EXPECT_FALSE(record.Lookup(edited));
    EXPECT_EQ(record.Count(), 0u);
}

TEST(KnownPhotos, WritesTooRecentOrInTheFutureAreNotRemembered) {
    const int64_t settle = KnownPhotos::kSettleSeconds * kSecond;
    struct Case {
        int64_t writeAgo, changeAgo;
        bool remembered;
    } cases[] = {
        {3600 * kSecond, 3600 * kSecond, true},
        {settle, settle, true},
        {settle - 1, 3600 * kSecond, false}, // written in the settling time
        {3600 * kSecond, settle - 1, false}, // changed in it, the write time put back
        {0, 0, false},
        {-60 * kSecond, 3600 * kSecond, false}, // a clock set back since
        {3600 * kSecond, -1, false},
    };
    for (const Case& c : cases) {
        KnownPhotos record;
        FileKey photo = Key(5);
        photo.writeTime = kNow - c.writeAgo;
        photo.changeTime = kNow - c.changeAgo;
        EXPECT_EQ(record.Remember(kFolder, photo, kNow), c.remembered) << c.writeAgo << " " << c.changeAgo;
        EXPECT_EQ(record.Lookup(photo), c.remembered);
    }
    // Through the system's clock: a file just written is not remembered.
    TempDir dir;
    WriteFile(dir.file("new.jpg"), Bytes(10, 1));
    FileKey fresh;
    ASSERT_TRUE(fileos::GetFileKey(dir.file("new.jpg").c_str(), fresh));
    KnownPhotos record;
    EXPECT_FALSE(record.Remember(kFolder, fresh));
}

TEST(KnownPhotos, SavedAndLoadedWhole) {
    TempDir dir;
    std::string path = dir.file("known.bin");
    KnownPhotos record;
    for (uint64_t i = 0; i < 1000; ++i)
        ASSERT_TRUE(record.Remember(i % 2 ? kFolder : kOtherFolder, Key(i, 7 + i % 3), kNow));
    record.Forget(Key(500, 7 + 500 % 3));
    ASSERT_TRUE(record.Save(path.c_str()));
    EXPECT_FALSE(record.IsDirty());
    ASSERT_TRUE(record.Remember(kFolder, Key(1, 8), kNow)); // as it was: nothing changed
    EXPECT_FALSE(record.IsDirty());
    EXPECT_LE(ReadFile(path).size(), 999u * 64);

    KnownPhotos loaded;
    EXPECT_EQ(loaded.Load(path.c_str()), KnownPhotos::LoadResult::kLoaded);
    EXPECT_FALSE(loaded.IsDirty());
    EXPECT_EQ(loaded.Count(), 999u);
    for (uint64_t i = 0; i < 1000; ++i)
        EXPECT_EQ(loaded.Lookup(Key(i, 7 + i % 3)), i != 500) << i;
    EXPECT_EQ(loaded.Serialize(), record.Serialize());
    // The folders came back too: a walk of one prunes its own entries only.
    EXPECT_EQ(loaded.PruneFolder(kFolder, {}, loaded.BeginFolder()), 500u);
    EXPECT_EQ(loaded.Count(), 499u);

    EXPECT_EQ(loaded.Load(dir.file("none.bin").c_str()), KnownPhotos::LoadResult::kMissing);
    EXPECT_EQ(loaded.Count(), 0u);
    EXPECT_FALSE(loaded.IsDirty());
}

TEST(KnownPhotos, AnyDamagedFileGivesAnEmptyRecord) {
    KnownPhotos record;
    for (uint64_t i = 0; i < 3; ++i)
        ASSERT_TRUE(record.Remember(i ? kFolder : kOtherFolder, Key(i), kNow));
    const Bytes good = record.Serialize();
    const size_t entries = 24 + 2 * 24; // where the entries begin
    ASSERT_EQ(good.size(), entries + 3 * KnownPhotos::kEntryBytesOnDisk + 4);
    using R = KnownPhotos::LoadResult;
    struct Case {
        const char* what;
        void (*spoil)(Bytes&);
        R result;
    } cases[] = {
        {"empty", [](Bytes& b) { b.clear(); }, R::kDamaged},
        {"cut in the magic", [](Bytes& b) { b.resize(5); }, R::kDamaged},
        {"cut in the header", [](Bytes& b) { b.resize(20); }, R::kDamaged},
        {"header alone", [](Bytes& b) { b.resize(24); }, R::kDamaged},
        {"cut in the folders", [](Bytes& b) { b.resize(40); }, R::kDamaged},
        {"cut in an entry", [](Bytes& b) { b.resize(b.size() - 30); }, R::kDamaged},
        {"without its CRC", [](Bytes& b) { b.resize(b.size() - 4); }, R::kDamaged},
        {"one byte more", [](Bytes& b) { b.push_back(0); }, R::kDamaged},
        {"a flipped bit in an entry", [](Bytes& b) { b[100] ^= 0x10; }, R::kDamaged},
        {"a flipped bit in the CRC", [](Bytes& b) { b.back() ^= 1; }, R::kDamaged},
        {"another magic", [](Bytes& b) { b[0] = 'X'; Reseal(b); }, R::kDamaged},
        {"another version", [](Bytes& b) { Set32(b, 8, 2); Reseal(b); }, R::kOtherVersion},
        {"a huge count", [](Bytes& b) { Set32(b, 16, 0xFFFFFFF0u); Reseal(b); }, R::kTooLarge},
        {"a count one too many", [](Bytes& b) { Set32(b, 16, 4); Reseal(b); }, R::kDamaged},
        {"a folder out of range", [](Bytes& b) { Set32(b, b.size() - 8, 2); Reseal(b); }, R::kDamaged},
        {"one folder twice",
         [](Bytes& b) { std::copy(b.begin() + 24, b.begin() + 48, b.begin() + 48); Reseal(b); }, R::kDamaged},
        {"one file twice",
         [](Bytes& b) {
             std::copy(b.begin() + 72, b.begin() + 72 + 48, b.begin() + 72 + 52);
             Reseal(b);
         },
         R::kDamaged},
    };
    TempDir dir;
    std::string path = dir.file("known.bin");
    for (const Case& c : cases) {
        Bytes bytes = good;
        c.spoil(bytes);
        WriteFile(path, bytes);
        KnownPhotos loaded;
        ASSERT_TRUE(loaded.Remember(kFolder, Key(99), kNow)); // what was there goes too
        EXPECT_EQ(loaded.Load(path.c_str()), c.result) << c.what;
        EXPECT_EQ(loaded.Count(), 0u) << c.what;
        EXPECT_FALSE(loaded.Lookup(Key(1))) << c.what;
        EXPECT_TRUE(loaded.IsDirty()) << c.what << ": the file is to be replaced";
    }
    WriteFile(path, good);
    KnownPhotos loaded;
    EXPECT_EQ(loaded.Load(path.c_str()), R::kLoaded);
    EXPECT_EQ(loaded.Count(), 3u);
}

TEST(KnownPhotos, AWalkPrunesWhatItsListingLacksAndNothingRememberedSince) {
    KnownPhotos record;
    for (uint64_t i = 0; i < 4; ++i)
        ASSERT_TRUE(record.Remember(kFolder, Key(i), kNow));
    ASSERT_TRUE(record.Remember(kOtherFolder, Key(10), kNow));
    uint32_t mark = record.BeginFolder();
    // Listed before file 4 came; another walk remembers 4 meanwhile.
    std::vector<FileKey> listed = {Key(0), Key(2), Key(3)};
    ASSERT_TRUE(record.Remember(kFolder, Key(4), kNow));
    EXPECT_EQ(record.PruneFolder(kFolder, listed, mark), 1u);
    for (uint64_t i : {0, 2, 3, 4, 10})
        EXPECT_TRUE(record.Lookup(Key(i))) << i;
    EXPECT_FALSE(record.Lookup(Key(1)));
    EXPECT_EQ(record.PruneFolder(kFolder, {Key(0), Key(2), Key(3), Key(4)}, record.BeginFolder()), 0u);
    EXPECT_EQ(record.PruneFolder(Key(77), {}, record.BeginFolder()), 0u); // a folder never seen
    EXPECT_EQ(record.Count(), 5u);
}

TEST(KnownPhotos, TwoWalksOfOneFolderAtOnceLoseNothing) {
    // One folder where files come and go while two walkers walk it over and
    // over, each as a walk does: mark, list, remember what it listed, prune.
    KnownPhotos record;
    std::mutex lock;
    std::set<uint64_t> folder, gone, remembered;
    std::atomic<bool> done{false};
    auto list = [&] {
        std::lock_guard<std::mutex> hold(lock);
        return folder;
    };
    auto walk = [&] {
        uint32_t mark = record.BeginFolder();
        std::vector<FileKey> listed;
        for (uint64_t id : list()) {
            listed.push_back(Key(id));
            if (record.Remember(kFolder, Key(id), kNow)) {
                std::lock_guard<std::mutex> hold(lock);
                remembered.insert(id);
            }
        }
        record.PruneFolder(kFolder, listed, mark);
    };
    std::thread changer([&] {
        for (uint64_t id = 0; id < 2000; ++id) {
            {
                std::lock_guard<std::mutex> hold(lock);
                folder.insert(id);
                if (id % 5 == 4) { // and one goes
                    folder.erase(id - 3);
                    gone.insert(id - 3);
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50)); // so walks come between
        }
        done = true;
    });
    std::thread a([&] { while (!done) walk(); });
    std::thread b([&] { while (!done) walk(); });
    changer.join();
    a.join();
    b.join();
    for (uint64_t id : remembered) {
        if (!gone.count(id)) {
            ASSERT_TRUE(record.Lookup(Key(id))) << id << " was remembered and still exists";
        }
    }
    walk();
    EXPECT_EQ(record.Count(), folder.size());
    for (uint64_t id : gone)
        EXPECT_FALSE(record.Lookup(Key(id))) << id;
}

TEST(KnownPhotos, AReaderNeverSeesHalfASave) {
    // Another process reading the record while this one saves it: each
    // read finds a whole record, the old one or the new. (A save may fail
    // where the system refuses to replace an open file; it is tried again
    // at the next save.)
    TempDir dir;
    std::string path = dir.file("known.bin");
    KnownPhotos record;
    ASSERT_TRUE(record.Save(path.c_str()));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (uint64_t i = 0; i < 300; ++i) {
            record.Remember(kFolder, Key(i), kNow);
            record.Save(path.c_str());
        }
        done = true;
    });
    int reads = 0;
    while (!done || reads < 10) {
        KnownPhotos reader;
        if (reader.Load(path.c_str()) != KnownPhotos::LoadResult::kLoaded) {
            ADD_FAILURE() << "read " << reads << " found part of a record";
            break;
        }
        ++reads;
    }
    writer.join();
}
