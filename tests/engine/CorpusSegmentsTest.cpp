// The segment maps of real camera photos against two independent readers:
// a plain byte scan of every marker, and exiftool's list of the segments up
// to the first scan. Skips when the sample photos are not there.
#include "engine/CodestreamParser.h"
#include "engine/StdioFileStream.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string OracleDir() {
    const char* bin = std::getenv("NORVANE_BINARY_DIR");
    return bin ? (fs::path(bin) / "oracle").string() : std::string();
}

std::string ExiftoolName(uint8_t marker) {
    if (marker >= 0xE0 && marker <= 0xEF)
        return "APP" + std::to_string(marker - 0xE0);
    switch (marker) {
    case 0xDB: return "DQT";
    case 0xC4: return "DHT";
    case 0xDD: return "DRI";
    case 0xDA: return "SOS";
    case 0xFE: return "COM";
    case 0xCC: return "DAC";
    }
    if (marker >= 0xC0 && marker <= 0xCF)
        return "SOF" + std::to_string(marker - 0xC0);
    return "?";
}

class CorpusSegments : public ::testing::Test {
protected:
    void SetUp() override {
        corpus = testing_support::CorpusDir();
        oracle = OracleDir();
        if (corpus.empty() || oracle.empty() || !fs::is_directory(oracle))
            GTEST_SKIP() << "sample photos or their oracle listings are not available";
    }
    std::string corpus, oracle;
};

TEST_F(CorpusSegments, MapMatchesByteScanAndExiftool) {
    int photos = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() != ".jpg")
            continue;
        std::string name = entry.path().stem().string();
        std::ifstream scan(fs::path(oracle) / (name + ".segments"));
        if (!scan)
            continue;
        SCOPED_TRACE(name);
        stdlib::StdioFileStream file(entry.path().string().c_str(), "rb");
        ASSERT_FALSE(file.IsClosed());
        CodestreamParser parser;
        bool built = parser.BuildMap(file);
        EXPECT_TRUE(parser.IsUsable(built));

        std::string line;
        uint32_t i = 0;
        while (std::getline(scan, line)) {
            std::istringstream in(line);
            std::string marker;
            uint64_t offset = 0, length = 0;
            in >> marker >> offset >> length;
            ASSERT_LT(i, parser.map.GetCount());
            EXPECT_EQ(parser.map[i].marker, std::stoi(marker, nullptr, 16)) << "item " << i;
            EXPECT_EQ(parser.map[i].offset, offset) << "item " << i;
            EXPECT_EQ(parser.map[i].length, length) << "item " << i;
            ++i;
        }
        EXPECT_EQ(i, parser.map.GetCount());

        std::ifstream tool(fs::path(oracle) / (name + ".exiftool"));
        uint32_t k = 1; // exiftool does not list SOI
        while (std::getline(tool, line)) {
            std::istringstream in(line);
            std::string segName;
            long bytes = -1;
            in >> segName >> bytes;
            ASSERT_LT(k, parser.map.GetCount());
            EXPECT_EQ(ExiftoolName(parser.map[k].marker), segName) << "item " << k;
            if (bytes >= 0) {
                EXPECT_EQ(parser.map[k].length, uint64_t(bytes)) << "item " << k;
            }
            ++k;
        }
        ++photos;
    }
    EXPECT_GT(photos, 0);
}

} // namespace
