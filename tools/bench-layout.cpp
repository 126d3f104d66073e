// norvane-bench-layout: the least a check of a photo container costs, for
// tools/bench to hold the engine's check to, both in this one process: each
// file opened, its layout read (where its Exif and XMP lie), its TIFF
// directories read (as a reader of the file's metadata must) and every byte
// of its other payloads, with nothing looked for or cleared; then the
// engine's check of each file. Figures only.
//
//   norvane-bench-layout FOLDER [ROUNDS]
//       prints "<floor seconds> <check seconds> <files> <payload bytes>",
//       each time the best of ROUNDS (default 3) passes over FOLDER.

#include "engine/CheckGpsTags.h"
#include "engine/MetadataLayout.h"
#include "engine/PayloadStream.h"
#include "engine/StdioFileStream.h"
#include "engine/TiffParser.h"

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
    auto best = [&](auto pass) {
        double seconds = 1e30;
        for (int r = 0; r < rounds; ++r) {
            const auto start = std::chrono::steady_clock::now();
            pass();
            seconds = std::min(
                seconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        return seconds;
    };
    unsigned long long bytes = 0;
    const double floor = best([&] {
        bytes = 0;
        for (const std::string& path : files) {
            stdlib::StdioFileStream file(path.c_str(), "rb");
            layout::Layout metadata;
            if (file.IsClosed() || !layout::ReadLayout(file, metadata))
                continue;
            layout::FileOverlay overlay(file);
            std::vector<uint8_t> buffer(4096);
            for (const layout::Payload& payload : metadata.payloads) {
                layout::PayloadStream stream(overlay, payload);
                if (payload.kind == layout::PayloadKind::Tiff) {
                    Parser parser(stream, 0, !payload.makerVersion);
                    parser.Parse();
                    continue;
                }
                size_t n;
                while ((n = stream.Read(buffer.data(), 1, buffer.size())) > 0)
                    bytes += n;
            }
        }
    });
    const double check = best([&] {
        for (const std::string& path : files)
            CheckGpsTags(path.c_str());
    });
    std::printf("%.6f %.6f %zu %llu\n", floor, check, files.size(), bytes);
    return 0;
}
