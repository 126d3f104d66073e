// Any bytes as a photo: the check must end, in bounded time and memory,
// with one of its codes, and must find a position exactly when a second,
// independent finder does.
#include "SimplePositionFinder.h"
#include "engine/CheckGpsTags.h"
#include "engine/MemStream.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    stdlib::MemStream photo;
    if (size)
        photo.Write(data, 1, size);
    photo.Seek(0, 0);
    int code = CheckGpsTagsOf(photo);
    if (code != 0 && code != 2 && code != 6 && code != 7 && code != 8 && code != 9)
        std::abort();
    oracle::Verdict verdict = oracle::JudgePhoto(data, size);
    if (verdict.judged && verdict.position != (code == 0))
        std::abort();
    return 0;
}
