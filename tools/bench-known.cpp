// norvane-bench-known: what the record of known photos costs, and what a
// walk saves by it. Figures only; nothing here passes or fails on a time.
//
//   norvane-bench-known [PHOTOS] [FILES]
//       A record of PHOTOS keys (default 100,000): the time to remember them
//       all, to save, to load, lookups a second, and bytes a photo on disk
//       and in memory. Then a folder of FILES small files (default 10,000,
//       made under the temporary folder and removed at the end): one listing
//       with keys against a listing of names followed by a look at each
//       file's key, and by an open and a 4 KB read of each (the least a
//       check that opens the photo costs). Best of three rounds each, with
//       the folder in the system's cache.
//
// Built natively and for Windows, where it runs under Wine as well.

#include "engine/FileOs.h"
#include "engine/KnownPhotos.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& work, int rounds = 3) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

std::vector<fileos::FileKey> MakeKeys(size_t count, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<fileos::FileKey> keys(count);
    int64_t old = fileos::TimeNow() - 86400 * fileos::kTimeUnitsPerSecond;
    for (fileos::FileKey& key : keys) {
        key.volume = 0x1234 + random() % 3;
        key.idLow = random();
        key.size = 1000000 + random() % 9000000;
        key.writeTime = old - int64_t(random() % (1ull << 40));
        key.changeTime = key.writeTime + int64_t(random() % 1000);
    }
    return keys;
}

void BenchRecord(size_t photos, const std::string& file) {
    std::vector<fileos::FileKey> keys = MakeKeys(photos, 1), strangers = MakeKeys(photos, 2);
    std::vector<fileos::FileKey> folders = MakeKeys(photos / 100 + 1, 3);
    int64_t now = fileos::TimeNow();
    size_t memory = 0;
    double remember = Seconds([&] {
        KnownPhotos record;
        for (size_t i = 0; i < keys.size(); ++i)
            record.Remember(folders[i / 100], keys[i], now);
        memory = record.MemoryBytes();
    });
    KnownPhotos record;
    for (size_t i = 0; i < keys.size(); ++i)
        record.Remember(folders[i / 100], keys[i], now);
    double save = Seconds([&] { record.Save(file.c_str()); });
    bool loadedWhole = true;
    size_t memoryLoaded = 0;
    double load = Seconds([&] {
        KnownPhotos loaded;
        loadedWhole = loaded.Load(file.c_str()) == KnownPhotos::LoadResult::kLoaded && loaded.Count() == photos;
        memoryLoaded = loaded.MemoryBytes();
    });
    size_t hits = 0, misses = 0;
    double lookHits = Seconds([&] {
        hits = 0;
        for (const fileos::FileKey& key : keys)
            hits += record.Lookup(key);
    });
    double lookMisses = Seconds([&] {
        misses = 0;
        for (const fileos::FileKey& key : strangers)
            misses += !record.Lookup(key);
    });
    uintmax_t onDisk = fs::file_size(file);
    std::printf("record of %zu photos (%zu folders)%s\n", photos, folders.size(),
                loadedWhole && hits == photos && misses == photos ? "" : "  ** LOAD OR LOOKUP WRONG **");
    std::printf("  remember all      %9.1f ms   %12.0f a second\n", remember * 1e3, photos / remember);
    std::printf("  save              %9.1f ms   (one file, written beside and swapped in)\n", save * 1e3);
    std::printf("  load              %9.1f ms   (one read, checked whole)\n", load * 1e3);
    std::printf("  lookup, known     %9.1f ms   %12.0f a second\n", lookHits * 1e3, photos / lookHits);
    std::printf("  lookup, unknown   %9.1f ms   %12.0f a second\n", lookMisses * 1e3, photos / lookMisses);
    std::printf("  on disk           %9.1f bytes a photo (%ju bytes)\n", double(onDisk) / photos, onDisk);
    std::printf("  in memory         %9.1f bytes a photo (%zu bytes), grown one by one\n", double(memory) / photos,
                memory);
    std::printf("  in memory         %9.1f bytes a photo (%zu bytes), loaded\n", double(memoryLoaded) / photos,
                memoryLoaded);
}

void BenchFolder(size_t files, const fs::path& folder) {
    fs::create_directories(folder);
    std::vector<char> bytes(2000, 'x');
    for (size_t i = 0; i < files; ++i) {
        std::ofstream out(folder / ("IMG_" + std::to_string(100000 + i) + ".jpg"), std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    std::string name = folder.string();
    size_t listed = 0, looked = 0, read = 0;
    double listing = Seconds([&] {
        std::vector<fileos::FolderEntry> entries;
        fileos::FileKey folderKey;
        fileos::ListFolder(name.c_str(), entries, &folderKey);
        listed = entries.size();
    });
    double lookEach = Seconds([&] {
        looked = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            fileos::FileKey key;
            looked += fileos::GetFileKey(entry.path().string().c_str(), key);
        }
    });
    double readEach = Seconds([&] {
        read = 0;
        std::vector<char> head(4096);
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            FILE* file = fileos::OpenShared(entry.path().string().c_str(), "rb");
            if (!file)
                continue;
            read += std::fread(head.data(), 1, head.size(), file) > 0;
            std::fclose(file);
        }
    });
    std::printf("folder of %zu files of 2 KB\n", files);
    std::printf("  one listing with keys          %9.1f ms   %9.1f us a file (%zu listed)\n", listing * 1e3,
                listing * 1e6 / files, listed);
    std::printf("  names, then a key of each      %9.1f ms   %9.1f us a file (%zu)\n", lookEach * 1e3,
                lookEach * 1e6 / files, looked);
    std::printf("  names, then open and read each %9.1f ms   %9.1f us a file (%zu)\n", readEach * 1e3,
                readEach * 1e6 / files, read);
    std::printf("  the listing is %.1fx faster than a key of each, %.1fx faster than a read of each\n",
                lookEach / listing, readEach / listing);
}

} // namespace

int main(int argc, char** argv) {
    size_t photos = argc > 1 ? size_t(std::strtoull(argv[1], nullptr, 10)) : 100000;
    size_t files = argc > 2 ? size_t(std::strtoull(argv[2], nullptr, 10)) : 10000;
    std::random_device seed;
    fs::path work = fs::temp_directory_path() / ("norvane-bench-known-" + std::to_string(seed()));
    fs::create_directories(work);
    BenchRecord(photos ? photos : 1, (work / "known.bin").string());
    BenchFolder(files ? files : 1, work / "photos");
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return 0;
}
