// Any bytes as a photo on disk, secured in place on two routes: the patch
// in place and the full rewrite must agree on the code, the cleared tags and
// every byte of the result, and a secured photo must check as secure. The
// check and securing on one reading must secure exactly as the patch does
// when its check says so, and leave the file untouched otherwise. After
// securing (code 0, or 6 when a location it cannot clear remains), a second,
// independent finder must find no position either.
#include "FuzzFiles.h"
#include "SimplePositionFinder.h"
#include "engine/CheckGpsTags.h"
#include "engine/SecureGpsTags.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

using fuzzing::Folder;
using fuzzing::Read;
using fuzzing::Write;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string fast = Folder() + "/fast.jpg", full = Folder() + "/full.jpg";
    Write(fast, data, size);
    Write(full, data, size);
    RemovedTags fastTags, fullTags;
    int fastCode = SecureGpsTags(fast.c_str(), fast.c_str(), fastTags, Vardle::Route::Fastest);
    int fullCode = SecureGpsTags(full.c_str(), full.c_str(), fullTags, Vardle::Route::InMemory);
    if (fastCode != fullCode || RemovedTagsText(fastTags) != RemovedTagsText(fullTags))
        std::abort();
    if (Read(fast) != Read(full))
        std::abort();
    // Securing gives 6 when it wrote, but a location it cannot clear remains.
    const bool wrote = fastCode == 0 || fastCode == 6;
    if (wrote && CheckGpsTags(fast.c_str()) == 0)
        std::abort();
    if (wrote) {
        std::vector<uint8_t> secured = Read(fast);
        oracle::Verdict verdict = oracle::JudgePhoto(secured.data(), secured.size());
        if (verdict.judged && verdict.position)
            std::abort();
    }
    const std::vector<uint8_t> input(data, data + size);
    if (!wrote && Read(fast) != input)
        std::abort(); // a photo that was not secured is untouched

    std::string once = Folder() + "/once.jpg";
    Write(once, data, size);
    RemovedTags onceTags;
    int checkCode = -1;
    int onceCode = SecureGpsTagsIfNeeded(once.c_str(), checkCode, onceTags);
    if (checkCode == 0) {
        if (onceCode != fastCode || RemovedTagsText(onceTags) != RemovedTagsText(fastTags) ||
            Read(once) != Read(fast))
            std::abort();
    } else if (onceCode != -1 || onceTags.GetCount() != 0 || Read(once) != input) {
        std::abort();
    }
    return 0;
}
