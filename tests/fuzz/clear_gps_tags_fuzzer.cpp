// Any bytes as EXIF data: clearing must never grow the data, and afterwards
// the check must never find a position value, nor must a second,
// independent finder.
#include "SimplePositionFinder.h"
#include "engine/CheckGpsTags.h"
#include "engine/MemStream.h"
#include "engine/SecureGpsTags.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    stdlib::MemStream exif;
    exif.Write(data, 1, size);
    RemovedTags removed;
    bool parsed = ClearGpsTags(exif, removed);
    if (exif.GetSize() != size)
        std::abort();
    if (parsed && CheckExifData(exif) == 0)
        std::abort();
    if (parsed) {
        oracle::Verdict verdict = oracle::JudgeExif(std::vector<uint8_t>(exif.Data(), exif.Data() + size));
        if (verdict.judged && verdict.position)
            std::abort();
    }
    if (!parsed && (removed.GetCount() != 0 || std::memcmp(exif.Data(), data, size) != 0))
        std::abort(); // data that cannot be parsed is left as it was
    return 0;
}
