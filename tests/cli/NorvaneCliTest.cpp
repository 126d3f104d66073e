// norvane-cli as a user runs it: a real folder tree, the program's own
// output lines and exit status.

#include "support/JpegBuilder.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out;
};

Result RunCli(const std::string& arguments) {
    const char* bin = std::getenv("NORVANE_BINARY_DIR");
    std::string command = std::string(bin ? bin : ".") + "/cli/norvane-cli " + arguments + " 2>/dev/null";
    Result r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        r.out.append(buffer.data(), n);
    int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

Bytes GpsPhoto() {
    TiffBuilder t(true);
    return JpegBuilder::Photo(ExifWithGps(true, {t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}}), t.Rationals(6, {{40, 1}})}));
}

} // namespace

TEST(NorvaneCli, UsageErrorsAndHelp) {
    EXPECT_EQ(RunCli("").status, 2);
    EXPECT_EQ(RunCli("check").status, 2);
    EXPECT_EQ(RunCli("scrub x.jpg").status, 2);
    EXPECT_EQ(RunCli("--trace").status, 2);
    Result help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("norvane-cli secure PATH..."), std::string::npos);
}

TEST(NorvaneCli, FoldersAreWalkedWithTheJpegNameRule) {
    TempDir dir;
    fs::create_directories(dir.path() / "sub");
    fs::create_directories(dir.path() / ".thumbnails");
    WriteFile(dir.file("a.JPG"), GpsPhoto());
    WriteFile(dir.file("sub/b.jpeg"), JpegBuilder().Jfif().Tables().Scan(50).End().bytes);
    WriteFile(dir.file("sub/c.jpg.png"), Bytes(10, 'x'));
    WriteFile(dir.file(".thumbnails/d.jpg"), GpsPhoto());
    WriteFile(dir.file("e.jpg.bak"), GpsPhoto());
    WriteFile(dir.file(".hidden.jpg"), GpsPhoto());
    Result check = RunCli("check '" + dir.path().string() + "'");
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.out, "0\t" + dir.file(".hidden.jpg") + "\n0\t" + dir.file("a.JPG") + "\n6\t" +
                             dir.file("sub/b.jpeg") + "\n2\t" + dir.file("sub/c.jpg.png") + "\n");
}

TEST(NorvaneCli, SecureReportsEachPhotoAndItsClearedTags) {
    TempDir dir;
    WriteFile(dir.file("a.jpg"), GpsPhoto());
    WriteFile(dir.file("b.jpg"), JpegBuilder().Jfif().Tables().Scan(50).End().bytes);
    Result secure = RunCli("secure '" + dir.file("a.jpg") + "' '" + dir.file("b.jpg") + "'");
    EXPECT_EQ(secure.status, 0);
    EXPECT_EQ(secure.out, "0\t0\t" + dir.file("a.jpg") + "\t?2;2(2300000001,2800000001,F00000001);6(2800000001,0,0);\n" +
                              "6\t-\t" + dir.file("b.jpg") + "\t\n");
    Result again = RunCli("secure '" + dir.file("a.jpg") + "'");
    EXPECT_EQ(again.out, "8\t-\t" + dir.file("a.jpg") + "\t\n");
    EXPECT_EQ(again.status, 0);

    Result missing = RunCli("secure '" + dir.file("gone.jpg") + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "4\t-\t" + dir.file("gone.jpg") + "\t\n");
}
