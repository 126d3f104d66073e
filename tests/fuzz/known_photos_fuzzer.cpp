// Reads arbitrary bytes as a saved record of known photos, as they come
// and once more with their last four bytes made the right CRC (so that
// mutations reach past the seal into the counts, folders and entries).
// Whatever is taken must save and read back to the same record; anything
// else is a crash, a sanitizer report or an abort here.

#include "engine/Crc32.h" // tests/engine
#include "engine/KnownPhotos.h"

#include <cstdlib>

namespace {

void ReadAndSaveAgain(const uint8_t* data, size_t size) {
    KnownPhotos record;
    KnownPhotos::LoadResult result = record.Read(data, size);
    if (result != KnownPhotos::LoadResult::kLoaded) {
        if (record.Count() != 0 || !record.IsDirty())
            std::abort(); // an untrusted file is never trusted in part
        return;
    }
    std::vector<uint8_t> saved = record.Serialize();
    KnownPhotos again;
    if (again.Read(saved.data(), saved.size()) != KnownPhotos::LoadResult::kLoaded ||
        again.Count() != record.Count() || again.Serialize() != saved)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadAndSaveAgain(data, size);
    std::vector<uint8_t> sealed(data, data + size);
    testing_support::Reseal(sealed);
    ReadAndSaveAgain(sealed.data(), sealed.size());
    return 0;
}
