#pragma once
// A real folder on disk for one test, removed with everything in it at the end.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<uint8_t>;

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        auto base = std::filesystem::temp_directory_path();
        for (int i = 0; i < 100; ++i) {
            path_ = base / ("norvane-test-" + std::to_string(rd()));
            if (std::filesystem::create_directory(path_))
                return;
        }
        throw std::runtime_error("cannot make a temporary folder");
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Folder of the shared sample photos, or empty when they are not there.
inline std::string CorpusDir() {
    const char* src = std::getenv("NORVANE_SOURCE_DIR");
    std::filesystem::path p = src ? std::filesystem::path(src) / ".." / "shared" / "corpus"
                                  : std::filesystem::path("../shared/corpus");
    std::error_code ec;
    return std::filesystem::is_directory(p, ec) ? p.string() : std::string();
}

} // namespace testing_support
