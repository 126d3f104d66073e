// Reads arbitrary bytes as a saved record of known photos. Whatever is
// taken must save and read back to the same record; anything else is a
// crash, a sanitizer report or an abort here.

#include "engine/KnownPhotos.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KnownPhotos record;
    KnownPhotos::LoadResult result = record.Read(data, size);
    if (result != KnownPhotos::LoadResult::kLoaded) {
        if (record.Count() != 0 || !record.IsDirty())
            std::abort(); // an untrusted file is never trusted in part
        return 0;
    }
    std::vector<uint8_t> saved = record.Serialize();
    KnownPhotos again;
    if (again.Read(saved.data(), saved.size()) != KnownPhotos::LoadResult::kLoaded ||
        again.Count() != record.Count() || again.Serialize() != saved)
        std::abort();
    return 0;
}
