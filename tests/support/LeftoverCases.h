#pragma once
// The temporary files a run ended part-way leaves, and what a walk must make
// of each: one table for every walk that meets them.

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct LeftoverCase {
    enum Fate { kRestored, kRemoved, kKept };
    std::string name;
    bool photoThere;
    std::vector<uint8_t> leftover;
    Fate fate;
};

// secured: a whole photo as a rewrite writes it. A cut leftover whose photo
// is missing may hold the only copy of the photo's bytes: never put in
// place, never removed.
inline std::vector<LeftoverCase> LeftoverCases(const std::vector<uint8_t>& secured) {
    const std::vector<uint8_t> cut(secured.begin(), secured.begin() + long(secured.size() / 2));
    return {
        {"a.jpg", false, secured, LeftoverCase::kRestored},
        {"b.jpg", true, secured, LeftoverCase::kRemoved},
        {"c.jpg", true, cut, LeftoverCase::kRemoved},
        {"d.jpg", false, cut, LeftoverCase::kKept},
    };
}

} // namespace testing_support
