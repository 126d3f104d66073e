// norvane-bench-layout: the least a check of a photo container costs, for
// tools/bench to hold norvane-cli to: each file opened, its layout read
// (where its Exif and XMP lie) and every byte of those payloads read, with
// nothing parsed or cleared. Figures only.
//
//   norvane-bench-layout FOLDER [ROUNDS]
//       prints "<seconds> <files> <metadata bytes>" for the best of ROUNDS
//       (default 3) passes over the files of FOLDER.

#include "engine/MetadataLayout.h"
#include "engine/PayloadStream.h"
#include "engine/StdioFileStream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: norvane-bench-layout FOLDER [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(argv[1]))
        if (entry.is_regular_file())
            files.push_back(entry.path().string());
    double best = 1e30;
    unsigned long long bytes = 0;
    for (int r = 0; r < rounds; ++r) {
        bytes = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& path : files) {
            stdlib::StdioFileStream file(path.c_str(), "rb");
            layout::Layout metadata;
            if (file.IsClosed() || !layout::ReadLayout(file, metadata))
                continue;
            layout::FileOverlay overlay(file);
            std::vector<uint8_t> buffer(4096);
            for (const layout::Payload& payload : metadata.payloads) {
                layout::PayloadStream stream(overlay, payload);
                size_t n;
                while ((n = stream.Read(buffer.data(), 1, buffer.size())) > 0)
                    bytes += n;
            }
        }
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%.6f %zu %llu\n", best, files.size(), bytes);
    return 0;
}
