#pragma once
// The body of the container fuzzers: any bytes, made into a file of one
// container format by its magic bytes, are checked and secured in place on
// two routes. The check must end with one of its codes and find a position
// exactly when the independent finder does; both routes must give the same
// code and bytes; securing never changes the length; a secured file must
// check as secure and the finder must find no position left in it.
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

namespace fuzzing {

// The input with magic written at each (offset, text), the file grown to
// hold them.
inline std::vector<uint8_t> WithMagic(const uint8_t* data, size_t size,
                                      std::initializer_list<std::pair<size_t, const char*>> magic) {
    std::vector<uint8_t> file(data, data + size);
    for (const auto& [at, text] : magic) {
        const size_t n = std::strlen(text);
        if (file.size() < at + n)
            file.resize(at + n);
        std::memcpy(file.data() + at, text, n);
    }
    return file;
}

inline int FuzzContainerFile(const std::vector<uint8_t>& file) {
    const std::string fast = Folder() + "/fast", full = Folder() + "/full";
    Write(fast, file);
    const int check = CheckGpsTags(fast.c_str());
    if (check != 0 && check != 2 && check != 6 && check != 7 && check != 8 && check != 9)
        std::abort();
    oracle::Verdict before = oracle::JudgePhoto(file.data(), file.size());
    if (before.judged && before.position != (check == 0))
        std::abort();

    Write(full, file);
    RemovedTags fastTags, fullTags;
    const int fastCode = SecureGpsTags(fast.c_str(), fast.c_str(), fastTags, Vardle::Route::Fastest);
    const int fullCode = SecureGpsTags(full.c_str(), full.c_str(), fullTags, Vardle::Route::InMemory);
    const std::vector<uint8_t> secured = Read(fast);
    if (fastCode != fullCode || RemovedTagsText(fastTags) != RemovedTagsText(fullTags) ||
        secured != Read(full))
        std::abort();
    if (secured.size() != file.size())
        std::abort();
    const bool wrote = fastCode == 0 || fastCode == 6;
    if (!wrote && secured != file)
        std::abort(); // a photo that was not secured is untouched
    if (wrote) {
        if (CheckGpsTags(fast.c_str()) == 0)
            std::abort();
        oracle::Verdict after = oracle::JudgePhoto(secured.data(), secured.size());
        if (after.judged && after.position)
            std::abort();
    }
    return 0;
}

} // namespace fuzzing
