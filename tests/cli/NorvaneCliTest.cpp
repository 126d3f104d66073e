// norvane-cli as a user runs it: a real folder tree, the program's own
// output lines and exit status. One source for both programs: natively the
// test starts norvane-cli, in the Windows build norvane-cli.exe (under Wine).
//
// Every run has a watchdog: a program that walks in a circle or waits on a
// file for ever is killed and the test fails, instead of hanging the suite.
// Links and FIFOs are made with the Unix tools; under Wine the test folder
// lives in /tmp, which Windows programs see as Z:\tmp.

#include "engine/CheckGpsTags.h"
#include "engine/Leftovers.h"
#include "engine/SecureGpsTags.h"
#include "support/JpegBuilder.h"
#include "support/LeftoverCases.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

using namespace testing_support;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Far beyond what any run here needs, below the 45 s after which the kernel
// breaks a file lease by force.
constexpr auto kWatchdog = std::chrono::seconds(30);

#ifdef _WIN32
const std::string kEol = "\r\n"; // the console runtime writes text mode
#else
const std::string kEol = "\n";
#endif

struct Result {
    int status = -1; // -1 when the watchdog killed the program
    std::string out;
};

#ifdef _WIN32
std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

// One argument as the runtime's command-line parser splits it again.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}
#endif

// A program started with its output on a pipe.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& arguments)
        : m_deadline(Clock::now() + kWatchdog) {
#ifdef _WIN32
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE write = nullptr;
        if (!CreatePipe(&m_read, &write, &inherit, 0))
            return;
        SetHandleInformation(m_read, HANDLE_FLAG_INHERIT, 0);
        HANDLE null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = null;
        si.hStdOutput = write;
        si.hStdError = null;
        // The command line goes as UTF-16, whatever the code pages of the two
        // programs are.
        std::wstring line = Quoted(Wide(program));
        for (const std::string& argument : arguments)
            line += L" " + Quoted(Wide(argument));
        PROCESS_INFORMATION pi = {};
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            m_process = pi.hProcess;
        }
        CloseHandle(write);
        CloseHandle(null);
#else
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) // no other child inherits them
            return;
        m_read = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
#endif
    }

    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    ~Child() {
        Kill();
#ifdef _WIN32
        if (m_read)
            CloseHandle(m_read);
#else
        if (m_read >= 0)
            close(m_read);
#endif
    }

#ifdef _WIN32
    // Ends the program at once, as Task Manager does; false when it had
    // ended by itself already.
    bool Terminate() {
        if (!m_process || WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0)
            return false;
        TerminateProcess(m_process, 255);
        WaitForSingleObject(m_process, INFINITE);
        return true;
    }
#endif

    bool Started() const {
#ifdef _WIN32
        return m_process != nullptr;
#else
        return m_pid > 0;
#endif
    }

    // The next line of output without its end; false when the output ended,
    // or the watchdog's time ran out, before a whole line came.
    bool ReadLine(std::string& line) {
        size_t end;
        while ((end = m_out.find('\n')) == std::string::npos)
            if (!ReadMore())
                return false;
        line = m_out.substr(0, end + 1 - kEol.size());
        m_out.erase(0, end + 1);
        return true;
    }

    // The rest of the output and the exit status; a program still running
    // when the watchdog's time runs out is killed.
    Result Finish() {
        while (ReadMore()) {
        }
        Result r;
        r.out = m_out;
        r.status = Kill() ? -1 : m_status;
        return r;
    }

private:
    // Waits, at most until the deadline, for more output; false at its end.
    bool ReadMore() {
        if (!Started())
            return false;
        char buffer[4096];
#ifdef _WIN32
        while (Clock::now() < m_deadline) {
            DWORD available = 0, got = 0;
            if (!PeekNamedPipe(m_read, nullptr, 0, nullptr, &available, nullptr))
                return false; // the program closed its end
            if (available == 0) {
                Sleep(10);
                continue;
            }
            if (!ReadFile(m_read, buffer, available < sizeof buffer ? available : sizeof buffer, &got,
                          nullptr))
                return false;
            m_out.append(buffer, got);
            return true;
        }
        return false;
#else
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
        pollfd p = {m_read, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, int(left)) <= 0)
            return false;
        ssize_t got = read(m_read, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        m_out.append(buffer, size_t(got));
        return true;
#endif
    }

    // Collects the exit status of a program that ended, or kills one that
    // has not: true when it had to be killed.
    bool Kill() {
        if (!Started())
            return false;
        bool killed = false;
#ifdef _WIN32
        if (WaitForSingleObject(m_process, 0) != WAIT_OBJECT_0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
            if (WaitForSingleObject(m_process, DWORD(left > 0 ? left : 0)) != WAIT_OBJECT_0) {
                TerminateProcess(m_process, 255);
                WaitForSingleObject(m_process, INFINITE);
                killed = true;
            }
        }
        DWORD code = 0;
        GetExitCodeProcess(m_process, &code);
        m_status = int(code);
        CloseHandle(m_process);
        m_process = nullptr;
#else
        int raw = 0;
        pid_t got;
        while ((got = waitpid(m_pid, &raw, WNOHANG)) == 0 && Clock::now() < m_deadline)
            usleep(10000);
        if (got == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &raw, 0);
            killed = true;
        }
        m_status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        m_pid = -1;
#endif
        return killed;
    }

    Clock::time_point m_deadline;
    std::string m_out;
    int m_status = -1;
#ifdef _WIN32
    HANDLE m_process = nullptr;
    HANDLE m_read = nullptr;
#else
    pid_t m_pid = -1;
    int m_read = -1;
#endif
};

std::string CliProgram() {
#ifdef _WIN32
    std::string path = "Z:" NORVANE_CLI_PATH; // the Unix root is drive Z:
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
#else
    return NORVANE_CLI_PATH;
#endif
}

Result RunCli(const std::vector<std::string>& arguments) {
    Child child(CliProgram(), arguments);
    EXPECT_TRUE(child.Started());
    Result r = child.Finish();
    EXPECT_NE(r.status, -1) << "norvane-cli did not exit by itself in time; its output:\n" << r.out;
    return r;
}

// Runs a command of the Unix shell and waits for it; true when it succeeded.
bool UnixShell(const std::string& script) {
#ifdef _WIN32
    // Wine starts a program that is no Windows program as a Unix process, but
    // gives no handle to wait for: the script leaves its exit status in a
    // file, and the test polls for that file.
    std::string marker = "/tmp/norvane-cli-shell-" + std::to_string(std::random_device()());
    std::wstring line =
        L"/bin/sh -c " +
        Quoted(Wide(script + "; echo $? >" + marker + ".tmp; mv " + marker + ".tmp " + marker));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    std::string status = "Z:" + marker;
    for (auto deadline = Clock::now() + kWatchdog; Clock::now() < deadline; Sleep(10)) {
        if (FILE* f = std::fopen(status.c_str(), "r")) {
            int code = -1;
            bool read = std::fscanf(f, "%d", &code) == 1;
            std::fclose(f);
            std::remove(status.c_str());
            return read && code == 0;
        }
    }
    return false;
#else
    Child child("/bin/sh", {"-c", script});
    return child.Finish().status == 0;
#endif
}

// A test folder in /tmp, removed with everything in it at the end. path()
// names it as norvane-cli does.
class TestFolder {
public:
    TestFolder() {
        std::random_device rd;
        for (int i = 0; i < 100 && m_unix.empty(); ++i) {
            std::string name = "/tmp/norvane-cli-test-" + std::to_string(rd());
            std::error_code ec;
            if (fs::create_directory(fs::u8path(Native(name)), ec))
                m_unix = name;
        }
        if (m_unix.empty())
            throw std::runtime_error("cannot make a test folder in /tmp");
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    ~TestFolder() {
#ifdef _WIN32
        // Wine shows links as folders: a Windows removal would go through
        // them into the folders they point at.
        UnixShell("rm -rf " + m_unix);
#else
        std::error_code ec;
        fs::remove_all(m_unix, ec);
#endif
    }

    // Runs a Unix shell command in the folder.
    bool Shell(const std::string& script) const {
        return UnixShell("cd " + m_unix + " && " + script);
    }

    std::string path(const std::string& relative = "") const {
        return Native(relative.empty() ? m_unix : m_unix + "/" + relative);
    }
    void Folder(const std::string& relative) const {
        fs::create_directories(fs::u8path(path(relative)));
    }

private:
    static std::string Native(std::string unixPath) {
#ifdef _WIN32
        for (char& c : unixPath)
            if (c == '/')
                c = '\\';
        return "Z:" + unixPath;
#else
        return unixPath;
#endif
    }

    std::string m_unix;
};

// A photo with a latitude and an altitude; secured, the same photo with
// every one of those values zero, which is what securing must make of it.
Bytes GpsPhoto(bool secured = false) {
    TiffBuilder t(true);
    auto value = [secured](uint32_t n) { return secured ? std::make_pair(0u, 0u) : std::make_pair(n, 1u); };
    return JpegBuilder::Photo(
        ExifWithGps(true, {t.Rationals(2, {value(35), value(40), value(15)}), t.Rationals(6, {value(40)})}));
}

// What securing GpsPhoto() clears, as norvane-cli lists it.
const std::string kClearedTags = "?2;2(0,0,0);6(0,0,0);";

Bytes PhotoWithoutExif() {
    return JpegBuilder().Jfif().Tables().Scan(50).End().bytes;
}

} // namespace

TEST(NorvaneCli, UsageErrorsAndHelp) {
    EXPECT_EQ(RunCli({}).status, 2);
    EXPECT_EQ(RunCli({"check"}).status, 2);
    EXPECT_EQ(RunCli({"scrub", "x.jpg"}).status, 2);
    EXPECT_EQ(RunCli({"--trace"}).status, 2);
    Result help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("norvane-cli secure PATH..."), std::string::npos);
    // Every code a script can meet is explained, wrapped lines joined again
    // (line ends read as line feeds, as a Windows console gives them).
    std::string text;
    for (char c : help.out)
        if (c != '\r')
            text += c;
    std::string joined;
    for (char c : text)
        if (c != '\n')
            joined += c;
        else if (!joined.empty() && joined.back() != ' ')
            joined += ' ';
    for (const char* expected :
         {"Check codes: 0 has a position (needs securing), 2 not a photo Norvane reads, 4 cannot be opened, "
          "6 no EXIF data, "
          "7 no position tags, 8 already secure, 9 holds a location Norvane cannot clear.",
          "Securing codes: 0 secured, 2 unreadable photo, 3 could not be written (the photo is unchanged), "
          "4 cannot be opened, 5 cannot be opened for writing, 6 secured, but a location Norvane cannot "
          "clear "
          "remains, 7 changed by another program meanwhile (left as it wrote it).",
          "the values are printed as 0."})
        EXPECT_NE(joined.find(expected), std::string::npos) << expected << "\nin:\n" << help.out;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos)
            break;
        EXPECT_LE(end - at, 78u) << text.substr(at, end - at);
    }
}

TEST(NorvaneCli, FoldersAreWalkedWithThePhotoNameRules) {
    TestFolder dir;
    dir.Folder("sub");
    dir.Folder(".thumbnails");
    WriteFile(dir.path("a.JPG"), GpsPhoto());
    WriteFile(dir.path("sub/b.jpeg"), PhotoWithoutExif());
    WriteFile(dir.path("sub/c.jpg.png"), Bytes(10, 'x'));
    WriteFile(dir.path(".thumbnails/d.jpg"), GpsPhoto());
    WriteFile(dir.path("e.jpg.bak"), GpsPhoto());
    WriteFile(dir.path(".hidden.jpg"), GpsPhoto());
    WriteFile(dir.path("f.HeIc"), GpsPhoto()); // a JPEG by its content
    WriteFile(dir.path("g.tif.bak"), GpsPhoto());
    WriteFile(dir.path("sub/h.rw2"), Bytes(10, 'x'));
    WriteFile(dir.path("sub/i.MOV"), Bytes(10, 'x'));
    WriteFile(dir.path("sub/j.mp4.part"), GpsPhoto());
    Result check = RunCli({"check", dir.path()});
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.out, "0\t" + dir.path(".hidden.jpg") + kEol + "0\t" + dir.path("a.JPG") + kEol + "0\t" +
                             dir.path("f.HeIc") + kEol + "6\t" + dir.path("sub/b.jpeg") + kEol + "2\t" +
                             dir.path("sub/c.jpg.png") + kEol + "2\t" + dir.path("sub/h.rw2") + kEol + "2\t" +
                             dir.path("sub/i.MOV") + kEol);
}

TEST(NorvaneCli, SecureReportsEachPhotoAndItsClearedTags) {
    TestFolder dir;
    WriteFile(dir.path("a.jpg"), GpsPhoto());
    WriteFile(dir.path("b.jpg"), PhotoWithoutExif());
    Result secure = RunCli({"secure", dir.path("a.jpg"), dir.path("b.jpg")});
    EXPECT_EQ(secure.status, 0);
    EXPECT_EQ(secure.out, "0\t0\t" + dir.path("a.jpg") + "\t" + kClearedTags + kEol + "6\t-\t" +
                              dir.path("b.jpg") + "\t" + kEol);
    Result again = RunCli({"secure", dir.path("a.jpg")});
    EXPECT_EQ(again.out, "8\t-\t" + dir.path("a.jpg") + "\t" + kEol);
    EXPECT_EQ(again.status, 0);

    Result missing = RunCli({"secure", dir.path("gone.jpg")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "4\t-\t" + dir.path("gone.jpg") + "\t" + kEol);
}

TEST(NorvaneCli, LinkedFoldersAreEnteredOnceInAWalk) {
    TestFolder dir;
    dir.Folder("sub");
    WriteFile(dir.path("a.jpg"), GpsPhoto());
    WriteFile(dir.path("sub/b.jpg"), GpsPhoto());
    // Back to the top, to itself, a second way into sub, and the top again
    // by its absolute path.
    ASSERT_TRUE(dir.Shell("ln -s .. sub/loop && ln -s . sub/self && ln -s sub twin && ln -s $(pwd) sub/top"));
    std::string expected = "0\t" + dir.path("a.jpg") + kEol + "0\t" + dir.path("sub/b.jpg") + kEol;

    Result check = RunCli({"check", dir.path()});
    EXPECT_EQ(check.out, expected);
    EXPECT_EQ(check.status, 0);

    // Entered through a link, the walk still stops where it began.
    Result viaLink = RunCli({"check", dir.path("twin")});
    EXPECT_EQ(viaLink.out,
              "0\t" + dir.path("twin/b.jpg") + kEol + "0\t" + dir.path("twin/loop/a.jpg") + kEol);

    // Each photo is secured once, and the next walk finds them secure.
    Result secure = RunCli({"secure", dir.path()});
    EXPECT_EQ(secure.status, 0);
    EXPECT_EQ(secure.out, "0\t0\t" + dir.path("a.jpg") + "\t" + kClearedTags + kEol + "0\t0\t" +
                              dir.path("sub/b.jpg") + "\t" + kClearedTags + kEol);
    Result again = RunCli({"check", dir.path()});
    EXPECT_EQ(again.out, "8\t" + dir.path("a.jpg") + kEol + "8\t" + dir.path("sub/b.jpg") + kEol);
}

TEST(NorvaneCli, OnlyRegularFilesAreOpened) {
    TestFolder dir;
    WriteFile(dir.path("a.jpg"), GpsPhoto());
    // Opening the FIFO would wait for a writer.
    ASSERT_TRUE(dir.Shell("mkfifo fifo.jpg && ln -s /dev/null null.jpg && ln -s gone.jpg dangling.jpg"));
    std::string a = dir.path("a.jpg"), fifo = dir.path("fifo.jpg"), null = dir.path("null.jpg");

    // In a walked folder they are no photos.
    Result check = RunCli({"check", dir.path()});
    EXPECT_EQ(check.out, "0\t" + a + kEol);
    EXPECT_EQ(check.status, 0);

    // Named, they are files that cannot be opened, and the run says it failed.
    Result named = RunCli({"check", fifo, null, a});
    EXPECT_EQ(named.out, "4\t" + fifo + kEol + "4\t" + null + kEol + "0\t" + a + kEol);
    EXPECT_EQ(named.status, 1);
    Result secure = RunCli({"secure", fifo, dir.path()});
    EXPECT_EQ(secure.out, "4\t-\t" + fifo + "\t" + kEol + "0\t0\t" + a + "\t" + kClearedTags + kEol);
    EXPECT_EQ(secure.status, 1);
}

#ifndef _WIN32
TEST(NorvaneCli, EachPhotoIsReportedBeforeTheNextIsOpened) {
    TestFolder dir;
    WriteFile(dir.path("a.jpg"), GpsPhoto());
    WriteFile(dir.path("b.jpg"), GpsPhoto());
    // While the test holds a write lease on b.jpg, the kernel holds back any
    // other process's open of it: norvane-cli stops there, after a.jpg, until
    // the lease is given up. The holder is told with SIGIO.
    int fd = open(dir.path("b.jpg").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    auto previous = std::signal(SIGIO, SIG_IGN);
    if (fcntl(fd, F_SETLEASE, F_WRLCK) != 0) {
        close(fd);
        std::signal(SIGIO, previous);
        GTEST_SKIP() << "no file leases on this system";
    }
    Child child(CliProgram(), {"check", dir.path()});
    std::string line;
    bool first = child.ReadLine(line);
    fcntl(fd, F_SETLEASE, F_UNLCK);
    close(fd);
    std::signal(SIGIO, previous);
    ASSERT_TRUE(first) << "no line from norvane-cli while it waited for b.jpg";
    EXPECT_EQ(line, "0\t" + dir.path("a.jpg"));
    Result rest = child.Finish();
    EXPECT_EQ(rest.out, "0\t" + dir.path("b.jpg") + kEol);
    EXPECT_EQ(rest.status, 0);
}
#endif

TEST(NorvaneCli, NamesInAnyScriptAreCheckedAndSecured) {
    TestFolder dir;
    const std::string summer = u8"Été 2023", greece = u8"Ελλάδα", beijing = greece + u8"/北京 旅行";
    const std::string olympus = summer + u8"/Olympus μ Digital 800.JPG",
                      cafe = summer + u8"/café au lait.jpg";
    const std::string wall = beijing + u8"/长城 1.jpeg", acropolis = u8"Ακρόπολη.jpg";
    dir.Folder(summer);
    dir.Folder(beijing);
    for (const std::string& name : {olympus, cafe, wall, acropolis})
        WriteFile(dir.path(name), GpsPhoto());

    // Name order is UTF-8 byte order: "É" (C3 89) before Greek (CE ..),
    // capitals before small letters.
    Result check = RunCli({"check", dir.path()});
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.out, "0\t" + dir.path(olympus) + kEol + "0\t" + dir.path(cafe) + kEol + "0\t" +
                             dir.path(acropolis) + kEol + "0\t" + dir.path(wall) + kEol);

    // Named on the command line, a photo and a folder.
    Result named = RunCli({"secure", dir.path(olympus), dir.path(greece)});
    EXPECT_EQ(named.status, 0);
    EXPECT_EQ(named.out, "0\t0\t" + dir.path(olympus) + "\t" + kClearedTags + kEol + "0\t0\t" +
                             dir.path(wall) + "\t" + kClearedTags + kEol);
    Result all = RunCli({"secure", dir.path()});
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.out, "8\t-\t" + dir.path(olympus) + "\t" + kEol + "0\t0\t" + dir.path(cafe) + "\t" +
                           kClearedTags + kEol + "0\t0\t" + dir.path(acropolis) + "\t" + kClearedTags + kEol +
                           "8\t-\t" + dir.path(wall) + "\t" + kEol);

    for (const std::string& name : {olympus, cafe, wall, acropolis}) {
        EXPECT_EQ(ReadFile(dir.path(name)), GpsPhoto(true)) << name;
        EXPECT_EQ(CheckGpsTags(dir.path(name).c_str()), 8) << name;
    }
}

TEST(NorvaneCli, VendorPositionsAreClearedAndALocationLeftFailsTheRun) {
    TestFolder dir;
    auto withApp1 = [](const std::string& payload) {
        Bytes photo = GpsPhoto();
        size_t length = payload.size() + 2;
        photo.insert(photo.begin() + 2, {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length)});
        photo.insert(photo.begin() + 6, payload.begin(), payload.end());
        return photo;
    };
    // A drone's own XMP position beside the EXIF one: cleared with it.
    WriteFile(dir.path("drone.jpg"),
              withApp1(std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
                       "<rdf:Description xmlns:drone-dji='http://www.dji.com/drone-dji/1.0/' "
                       "xmlns:exif='http://ns.adobe.com/exif/1.0/' drone-dji:GpsLatitude='+22.5433' "
                       "exif:GPSLongitude='113,57.168E'/>"));
    Result check = RunCli({"check", dir.path("drone.jpg")});
    EXPECT_EQ(check.out, "0\t" + dir.path("drone.jpg") + kEol);
    Result secure = RunCli({"secure", dir.path("drone.jpg")});
    EXPECT_EQ(secure.status, 0);
    EXPECT_EQ(secure.out,
              "0\t0\t" + dir.path("drone.jpg") + "\t?4;2(0,0,0);6(0,0,0);10002(0,0,0);10004(0,0,0);" + kEol);
    EXPECT_EQ(RunCli({"check", dir.path("drone.jpg")}).out, "8\t" + dir.path("drone.jpg") + kEol);

    // A FLIR GPS record that reaches past its block: left, and named.
    std::string fff(0x60, '\0');
    fff.replace(0, 4, std::string("FFF\0", 4));
    fff[0x17] = 100;  // version
    fff[0x1B] = 0x40; // record directory
    fff[0x1F] = 1;    // one entry
    fff[0x41] = 0x2B; // the GPS record, at 0x60, 0x400 bytes long
    fff[0x4F] = 0x60;
    fff[0x52] = 0x04;
    std::string flir = dir.path("flir.jpg");
    WriteFile(flir, withApp1(std::string("FLIR\0\x01\0\0", 8) + fff));
    const std::string left = "\tnot cleared: FLIR GPS record";
    EXPECT_EQ(RunCli({"check", flir}).out, "0\t" + flir + left + kEol);
    secure = RunCli({"secure", flir});
    EXPECT_EQ(secure.out, "0\t6\t" + flir + "\t" + kClearedTags + left + kEol);
    EXPECT_EQ(secure.status, 1);
    check = RunCli({"check", flir});
    EXPECT_EQ(check.out, "9\t" + flir + left + kEol);
    EXPECT_EQ(check.status, 1);
    secure = RunCli({"secure", flir});
    EXPECT_EQ(secure.out, "9\t-\t" + flir + "\t" + left + kEol);
    EXPECT_EQ(secure.status, 1);
}

TEST(NorvaneCli, LeftoversOfAnEndedRunAreTakenUpByTheWalk) {
    TestFolder dir;
    const Bytes secured = GpsPhoto(true);
    using testing_support::LeftoverCase;
    const std::vector<LeftoverCase> cases = testing_support::LeftoverCases(secured);
    for (const LeftoverCase& c : cases) {
        if (c.photoThere)
            WriteFile(dir.path(c.name), GpsPhoto());
        WriteFile(dir.path(c.name + ".norvane-tmp"), c.leftover);
#ifdef _WIN32
        SetFileAttributesW(Wide(dir.path(c.name + ".norvane-tmp")).c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
    }
    Result run = RunCli({"secure", dir.path()});
    EXPECT_EQ(run.out, "8\t-\t" + dir.path("a.jpg") + "\t" + kEol + "0\t0\t" + dir.path("b.jpg") + "\t" +
                           kClearedTags + kEol + "0\t0\t" + dir.path("c.jpg") + "\t" + kClearedTags + kEol);
    for (const LeftoverCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string photo = dir.path(c.name), leftover = photo + ".norvane-tmp";
        EXPECT_EQ(fs::exists(fs::u8path(leftover)), c.fate == LeftoverCase::kKept);
        if (c.fate == LeftoverCase::kKept) {
            EXPECT_FALSE(fs::exists(fs::u8path(photo)));
            EXPECT_EQ(ReadFile(leftover), c.leftover);
            continue;
        }
        EXPECT_EQ(ReadFile(photo), secured);
#ifdef _WIN32
        EXPECT_FALSE(GetFileAttributesW(Wide(photo).c_str()) & FILE_ATTRIBUTE_HIDDEN);
#endif
    }
}

#ifdef _WIN32
TEST(NorvaneCli, EndedWhileItRewritesPhotosEachStaysWholeUnderItsName) {
    TestFolder dir;
    // Photos of 3 MB whose rewrite goes through a file beside them: a stray
    // byte after the APP0 segment is one a patch would not reproduce.
    constexpr int kPhotos = 4, kRounds = 10;
    std::vector<Bytes> originals, secured;
    for (int i = 0; i < kPhotos; ++i) {
        TiffBuilder t(i % 2 == 1);
        originals.push_back(
            JpegBuilder()
                .Jfif()
                .Raw({0x00})
                .Exif(ExifWithGps(i % 2 == 1, {t.Rationals(2, {{35, 1}, {40, 1}, {uint32_t(i), 1}})}))
                .Tables()
                .Scan(3000000, uint32_t(i + 1))
                .End()
                .bytes);
        std::string scratch = dir.path("scratch");
        WriteFile(scratch, originals.back());
        RemovedTags removed;
        ASSERT_EQ(SecureGpsTags(scratch.c_str(), scratch.c_str(), removed), 0);
        secured.push_back(ReadFile(scratch));
        ASSERT_NE(secured.back().size(), originals.back().size());
        fs::remove(fs::u8path(scratch));
    }
    auto name = [](int i) { return "p" + std::to_string(i) + ".jpg"; };
    auto leftovers = [&] {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(fs::u8path(dir.path())))
            n += IsLeftoverName(entry.path().filename().u8string().c_str());
        return n;
    };
    auto expectWhole = [&](const char* when) {
        for (int i = 0; i < kPhotos; ++i) {
            Bytes now = ReadFile(dir.path(name(i)));
            EXPECT_TRUE(now == originals[size_t(i)] || now == secured[size_t(i)])
                << name(i) << " " << when << (now.empty() ? ": missing or empty" : ": torn");
        }
    };
    auto reset = [&] {
        for (int i = 0; i < kPhotos; ++i)
            WriteFile(dir.path(name(i)), originals[size_t(i)]);
    };
    // How long one photo takes on this machine, from a run left to its end:
    // the program is then ended at moments spread over its second photo.
    reset();
    double perPhotoMs = 0;
    {
        Child child(CliProgram(), {"secure", dir.path()});
        std::string line;
        ASSERT_TRUE(child.ReadLine(line));
        auto first = Clock::now();
        for (int i = 1; i < kPhotos; ++i)
            ASSERT_TRUE(child.ReadLine(line));
        perPhotoMs = std::chrono::duration<double, std::milli>(Clock::now() - first).count() / (kPhotos - 1);
        EXPECT_EQ(child.Finish().status, 0);
    }
    int ended = 0, leftoverRounds = 0;
    for (int round = 0; round < kRounds; ++round) {
        reset();
        Child child(CliProgram(), {"secure", dir.path()});
        ASSERT_TRUE(child.Started());
        std::string line;
        ASSERT_TRUE(child.ReadLine(line)) << "round " << round;
        Sleep(DWORD(perPhotoMs * round / kRounds));
        ended += child.Terminate();
        expectWhole("after the program was ended");
        leftoverRounds += leftovers() > 0;
    }
    std::printf("%.0f ms a photo; %d of %d rounds ended the program at work, %d left a temporary file\n",
                perPhotoMs, ended, kRounds, leftoverRounds);
    EXPECT_GE(ended, kRounds / 2) << "the program finished before it could be ended";
    Result walk = RunCli({"check", dir.path()});
    EXPECT_EQ(walk.status, 0);
    EXPECT_EQ(leftovers(), 0) << "the walk left a temporary file";
    expectWhole("after the walk");
}
#endif
