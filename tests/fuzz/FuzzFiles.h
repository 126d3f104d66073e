#pragma once
// Files of the fuzzers that secure photos on disk: a private folder, and
// whole files written and read back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace fuzzing {

inline std::string Folder() {
    static std::string folder = [] {
        // libFuzzer ends without running exit handlers: the folder lives in
        // TMPDIR, which the fuzz runner points into the build tree.
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/norvane-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    return folder;
}

inline void Write(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        std::abort();
}
inline void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    Write(path, bytes.data(), bytes.size());
}

inline std::vector<uint8_t> Read(const std::string& path) {
    std::vector<uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        std::abort();
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    std::fclose(f);
    return out;
}

} // namespace fuzzing
