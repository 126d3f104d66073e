// The update check against a real HTTP server on 127.0.0.1 that the test
// starts: what the program asks for and with which account, how it reads
// the answer, and that no server (silent, slow, huge, redirecting, failing)
// can hang it, feed it a version, or learn the account where it should not.
// Then the message boxes, on the test's own window and in the running
// program.
// The program's answer is saved as a screenshot in the build tree.

#include "LocalHttpServer.h"

#include "core/EventIds.h"
#include "core/Paths.h"
#include "ui/CHttpClient.h"
#include "ui/ProductSite.h"
#include "ui/UpdateCheck.h"

#include "support/CoreFixture.h"
#include "support/ProgramProcess.h"
#include "support/Screenshot.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace update_test;
using core_test::ReadText;
using core_test::WaitFor;
using testing_support::Bytes;
using testing_support::WriteFile;

namespace {

const char kPath[] = "/ftp/activation/[Version]/version.inf";
const char kLatest[] = "You are using the latest version of Norvane";
const char kNewVersion[] = "New version of Norvane available! Do you want to download it now?";

// The test's own decoding of an HTTP Basic header, to check what the
// program sent without its own encoder.
std::string DecodeBasic(const std::string& header) {
    if (header.compare(0, 6, "Basic ") != 0)
        return "<not Basic>";
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : header.substr(6)) {
        if (c == '=')
            break;
        size_t v = digits.find(c);
        if (v == std::string::npos)
            return "<bad character>";
        bits = (bits << 6) | unsigned(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += char((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string Account() {
    return std::string(kUpdateLogin) + ":" + kUpdatePassword;
}

// A server as the real one behaves: the version file at its path, for the
// account only.
LocalHttpServer::Answer Serving(const std::string& body) {
    return [body](Connection& c, const Request& r) {
        if (DecodeBasic(r.Header("authorization")) != Account())
            c.Answer(401, "who are you?", "WWW-Authenticate: Basic realm=\"updates\"\r\n");
        else if (r.method != "GET" || r.target != kPath)
            c.Answer(404, "not here");
        else
            c.Answer(200, body);
    };
}

std::string VersionFilePath() {
    return std::string(GetSpecialFolder(SPECIAL_FOLDER_TEMP)) + "\\version.inf";
}

ULONGLONG Since(ULONGLONG start) {
    return ::GetTickCount64() - start;
}

} // namespace

TEST(VersionBlock, ReadsTheFileVersionOfAProgramAndSaysWhenThereIsNone) {
    char self[1024] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    CVersionBlock block;
    EXPECT_EQ(std::string(block.GetFileVersion()), "Unknown");
    EXPECT_EQ(block.m_wLanguage, 0);
    EXPECT_EQ(block.m_wCodePage, 1252);

    ASSERT_TRUE(block.Read(self));
    EXPECT_EQ(std::string(block.GetFileVersion()), "1.0.0.1");
    EXPECT_EQ(block.m_wLanguage, 0x0409);
    EXPECT_EQ(block.m_wCodePage, 1252);

    // A file without a version resource: the earlier copy is gone too.
    testing_support::TempDir dir;
    std::string plain = dir.file("plain.exe");
    WriteFile(plain, Bytes(4096, 'M'));
    EXPECT_FALSE(block.Read(plain.c_str()));
    EXPECT_EQ(std::string(block.GetFileVersion()), "Unknown");
    EXPECT_EQ(block.m_wLanguage, 0);
    EXPECT_FALSE(block.Read(dir.file("missing.exe").c_str()));
}

TEST(UpdateCheck, AsksForTheVersionFileWithTheAccountAndComparesItWithTheOwnVersion) {
    struct Case {
        std::string served;
        bool announced;
    } cases[] = {
        {"1.0.0.1\r\n", false},    // the program's own version
        {"1.0.0.1", false},        //
        {"  1.0.0.1 \n\n", false}, // blanks at both ends go
        {"1.0.0.2\n", true},       // newer
        {"1.0.0.0", true},         // older counts too
        {" \r\n  \n", false},      // nothing but blanks
        {"", false},               // empty
        {"\t1.0.0.1", true},       // a tab is not trimmed
        {"1.0.0.1\t", true},       //
        {"1.0.0.1 beta", true},    // inner text stays
        {std::string("1.0.0.1\0"
                     "9.9",
                     11),
         false}, // cut at the first zero byte
        {std::string("\0"
                     "1.0.0.2",
                     8),
         false},
    };
    for (const Case& c : cases) {
        LocalHttpServer server(Serving(c.served));
        ASSERT_NE(server.Port(), 0);
        EXPECT_EQ(CheckForUpdateAt(server.Base().c_str()), c.announced) << "served: " << c.served;
        std::vector<Request> requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, "GET");
        EXPECT_EQ(requests[0].target, kPath);
        EXPECT_EQ(DecodeBasic(requests[0].Header("authorization")), Account());
        // What the server sent is what lies in the temporary folder.
        EXPECT_EQ(ReadText(VersionFilePath()), c.served);
    }
}

TEST(UpdateCheck, AnErrorAnswerIsAFailedDownloadNeverAVersion) {
    for (int status : {401, 403, 404, 500, 503}) {
        // The body differs from the own version: stored as the version
        // file, it would be announced as new.
        LocalHttpServer server([status](Connection& c, const Request&) { c.Answer(status, "1.0.0.2"); });
        WriteFile(VersionFilePath(), Bytes{'o', 'l', 'd'});
        EXPECT_FALSE(CheckForUpdateAt(server.Base().c_str())) << status;
        EXPECT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(ReadText(VersionFilePath()), "old") << "a failed download replaced the file";
    }
    // The wrong account is refused by the server (as the real one does).
    LocalHttpServer server(Serving("1.0.0.2"));
    CHttpClient client;
    client.SetAccount("someone", "guess");
    testing_support::TempDir dir;
    EXPECT_FALSE(client.Download((server.Base() + kPath).c_str(), dir.file("v.inf").c_str()));
    EXPECT_NE(std::string(client.GetErrorText()).find("401"), std::string::npos) << client.GetErrorText();
    EXPECT_EQ(::GetFileAttributesA(dir.file("v.inf").c_str()), INVALID_FILE_ATTRIBUTES);
    // The right one gets the file.
    client.SetAccount(kUpdateLogin, kUpdatePassword);
    EXPECT_TRUE(client.Download((server.Base() + kPath).c_str(), dir.file("v.inf").c_str()))
        << client.GetErrorText();
    EXPECT_EQ(ReadText(dir.file("v.inf")), "1.0.0.2");
    EXPECT_EQ(std::string(client.GetErrorText()), "");
}

TEST(UpdateCheck, NoServerIsAFailedCheck) {
    int port = ClosedPort();
    ASSERT_NE(port, 0);
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    EXPECT_FALSE(CheckForUpdateAt(base.c_str()));
    EXPECT_FALSE(CheckForUpdateAt("not an address"));
    EXPECT_FALSE(CheckForUpdateAt("ftp://127.0.0.1"));
}

TEST(UpdateCheck, SpacesInTheAddressAreSentAsPercent20AndTheFileIsReplaced) {
    LocalHttpServer server([](Connection& c, const Request& r) { c.Answer(200, "new " + r.target); });
    testing_support::TempDir dir;
    std::string local = dir.file("version.inf");
    WriteFile(local, Bytes(5000, 'x')); // longer than what replaces it
    ASSERT_TRUE(DownloadFile((server.Base() + "/my files/a b.inf").c_str(), local.c_str()));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/my%20files/a%20b.inf");
    EXPECT_EQ(ReadText(local), "new /my%20files/a%20b.inf");
}

TEST(UpdateCheck, AnAnswerLongerThanAVersionFileIsAFailedCheck) {
    // Exactly the limit is still read.
    std::string atLimit = "1.0.0.2" + std::string(kVersionFileLimit - 7, ' ');
    {
        LocalHttpServer server(Serving(atLimit));
        EXPECT_TRUE(CheckForUpdateAt(server.Base().c_str()));
    }
    {
        LocalHttpServer server(Serving(atLimit + " "));
        EXPECT_FALSE(CheckForUpdateAt(server.Base().c_str()));
    }
    // A huge body with no length announced: the reading stops soon after
    // the limit, and the server finds the connection closed.
    std::atomic<size_t> sent{0};
    {
        LocalHttpServer server([&](Connection& c, const Request&) {
            c.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            std::string block(64 * 1024, '7');
            for (int i = 0; i < 16 * 1024 && c.Send(block); ++i) // up to 1 GB
                sent += block.size();
        });
        EXPECT_FALSE(CheckForUpdateAt(server.Base().c_str()));
    }
    EXPECT_LT(sent.load(), size_t(1) << 30) << "the client read the whole gigabyte";
}

TEST(UpdateCheck, ASilentOrSlowServerEndsInAFailedCheckWithinFifteenSeconds) {
    struct Case {
        const char* name;
        LocalHttpServer::Answer answer;
    } cases[] = {
        {"silent", [](Connection& c, const Request&) { c.Pause(INFINITE); }},
        {"a byte a second",
         [](Connection& c, const Request&) {
             std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n1.0.0.2";
             for (char ch : answer)
                 if (!c.Send(std::string(1, ch)) || !c.Pause(1000))
                     return;
         }},
        {"a body a byte a second",
         [](Connection& c, const Request&) {
             c.Send("HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n");
             for (int i = 0; i < 40; ++i)
                 if (!c.Send(i == 0 ? "1" : " ") || !c.Pause(1000))
                     return;
         }},
    };
    for (const Case& c : cases) {
        LocalHttpServer server(c.answer);
        ULONGLONG start = ::GetTickCount64();
        EXPECT_FALSE(CheckForUpdateAt(server.Base().c_str())) << c.name;
        EXPECT_LT(Since(start), 15000u) << c.name;
        EXPECT_EQ(server.Requests().size(), 1u) << c.name;
    }
}

TEST(UpdateCheck, TheAccountGoesOnlyToTheHostItIsFor) {
    // Another host (this machine by another name) and another port of this
    // host: the version arrives, the account does not.
    for (const char* host : {"localhost", "127.0.0.1"}) {
        LocalHttpServer elsewhere([](Connection& c, const Request&) { c.Answer(200, "1.0.0.2"); });
        std::string target = elsewhere.Base(host) + "/mirror/version.inf";
        LocalHttpServer server(
            [&](Connection& c, const Request&) { c.Answer(302, "", "Location: " + target + "\r\n"); });
        EXPECT_TRUE(CheckForUpdateAt(server.Base().c_str())) << host;
        ASSERT_EQ(elsewhere.Requests().size(), 1u) << host << ": the redirect was not followed";
        EXPECT_EQ(elsewhere.Requests()[0].target, "/mirror/version.inf");
        EXPECT_FALSE(elsewhere.Requests()[0].Has("authorization"))
            << host << " got " << elsewhere.Requests()[0].Header("authorization");
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_TRUE(server.Requests()[0].Has("authorization"));
    }
    // On the same server the account goes along.
    LocalHttpServer moved([](Connection& c, const Request& r) {
        if (r.target == kPath)
            c.Answer(301, "", "Location: /moved/version.inf\r\n");
        else if (r.target == "/moved/version.inf" && DecodeBasic(r.Header("authorization")) == Account())
            c.Answer(200, "1.0.0.2");
        else
            c.Answer(401, "");
    });
    EXPECT_TRUE(CheckForUpdateAt(moved.Base().c_str()));
    EXPECT_EQ(moved.Requests().size(), 2u);

    // A server that sends the client round in circles is given up on.
    LocalHttpServer circle(
        [](Connection& c, const Request& r) { c.Answer(302, "", "Location: " + r.target + "\r\n"); });
    EXPECT_FALSE(CheckForUpdateAt(circle.Base().c_str()));
    EXPECT_LE(circle.Requests().size(), 10u);

    // Down from https to http the account stays behind; letter case of the
    // host does not matter, the port does.
    EXPECT_FALSE(MayCarryAccount("https://update.example.com/x", "http://update.example.com/x"));
    EXPECT_TRUE(MayCarryAccount("https://update.example.com/x", "https://UPDATE.example.com:443/y"));
    EXPECT_FALSE(MayCarryAccount("https://update.example.com/x", "https://update.example.com:8443/x"));
    EXPECT_FALSE(MayCarryAccount("https://update.example.com/x", "https://example.com/x"));
    EXPECT_FALSE(MayCarryAccount("https://update.example.com/x", "not an address"));
    EXPECT_EQ(std::string(kUpdateServer).compare(0, 8, "https://"), 0) << kUpdateServer;

    // From https a redirect is followed only to https: the answer over
    // plain http could come from anyone on the way (a failed check).
    const struct {
        const char *from, *to;
        bool followed;
    } redirects[] = {
        {"https://update.example.com/x", "http://update.example.com/x", false},
        {"https://update.example.com/x", "http://mirror.example.com:8080/x", false},
        {"https://update.example.com/x", "https://mirror.example.com/x", true},
        {"http://update.example.com/x", "https://update.example.com/x", true},
        {"http://update.example.com/x", "http://mirror.example.com/x", true},
        {"https://update.example.com/x", "ftp://update.example.com/x", false},
    };
    for (const auto& r : redirects)
        EXPECT_EQ(MayFollowRedirect(r.from, r.to), r.followed) << r.from << " to " << r.to;
}

TEST(UpdateCheck, TheAccountIsNeverInTheErrorText) {
    // Failures of every kind, each with the error text a caller could trace.
    LocalHttpServer refusing([](Connection& c, const Request&) { c.Answer(401, Account()); });
    LocalHttpServer away(
        [](Connection& c, const Request&) { c.Answer(302, "", "Location: gopher://elsewhere/\r\n"); });
    std::vector<std::string> urls = {refusing.Base() + kPath, away.Base() + kPath,
                                     "http://127.0.0.1:" + std::to_string(ClosedPort()) + kPath};
    testing_support::TempDir dir;
    for (const std::string& url : urls) {
        CHttpClient client;
        client.SetAccount(kUpdateLogin, kUpdatePassword);
        EXPECT_FALSE(client.Download(url.c_str(), dir.file("v.inf").c_str())) << url;
        std::string error(client.GetErrorText());
        EXPECT_NE(error, "") << url;
        EXPECT_EQ(error.find(kUpdateLogin), std::string::npos) << error;
        EXPECT_EQ(error.find(kUpdatePassword), std::string::npos) << error;
        std::string encoded(Base64Encode(Account().c_str(), Account().size()));
        EXPECT_EQ(error.find(encoded), std::string::npos) << error;
    }
}

TEST(Base64, EncodesAsRfc4648) {
    const char* plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    const char* encoded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(std::string(Base64Encode(plain[i], strlen(plain[i]))), encoded[i]);
    EXPECT_EQ(std::string(Base64Encode("\xff\xfe\x00", 3)), "//4A");
}

// ---- The message boxes ----

namespace {

// What a message box showed, read from outside it (as a user sees it).
struct BoxSeen {
    bool found = false;
    std::string caption;
    std::vector<std::string> texts; // its static texts
    bool ok = false, yes = false, no = false, cancel = false;
    HICON icon = nullptr;
};

std::string WindowText(HWND w) {
    char text[1024] = {};
    ::GetWindowTextA(w, text, sizeof text);
    return text;
}

// The dialog-class window owned by owner, or, with owner null, any visible
// one of process pid.
HWND FindBox(HWND owner, DWORD pid) {
    struct Search {
        HWND owner;
        DWORD pid;
        HWND found;
    } s = {owner, pid, nullptr};
    ::EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            char cls[32] = {};
            ::GetClassNameA(w, cls, sizeof cls);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            if (std::string(cls) != "#32770" || pid != s->pid || !::IsWindowVisible(w))
                return TRUE;
            if (s->owner && ::GetWindow(w, GW_OWNER) != s->owner)
                return TRUE;
            s->found = w;
            return FALSE;
        },
        LPARAM(&s));
    return s.found;
}

BoxSeen Look(HWND box) {
    BoxSeen seen;
    seen.found = true;
    seen.caption = WindowText(box);
    seen.ok = ::GetDlgItem(box, IDOK) != nullptr;
    seen.yes = ::GetDlgItem(box, IDYES) != nullptr;
    seen.no = ::GetDlgItem(box, IDNO) != nullptr;
    seen.cancel = ::GetDlgItem(box, IDCANCEL) != nullptr;
    struct Collect {
        BoxSeen* seen;
    } c = {&seen};
    ::EnumChildWindows(
        box,
        [](HWND w, LPARAM lp) -> BOOL {
            auto* c = reinterpret_cast<Collect*>(lp);
            char cls[32] = {};
            ::GetClassNameA(w, cls, sizeof cls);
            if (_stricmp(cls, "Static") != 0)
                return TRUE;
            if ((::GetWindowLongA(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                c->seen->icon = HICON(::SendMessageA(w, STM_GETICON, 0, 0));
            else if (!WindowText(w).empty())
                c->seen->texts.push_back(WindowText(w));
            return TRUE;
        },
        LPARAM(&c));
    return seen;
}

bool Shows(const BoxSeen& seen, const std::string& text) {
    for (const std::string& t : seen.texts)
        if (t == text)
            return true;
    return false;
}

// Watches for the box from a thread of its own while the test's thread is
// inside the box's loop; looks at it and presses button.
class BoxPresser {
public:
    BoxPresser(HWND owner, DWORD pid, int button)
        : m_thread([=] {
              HWND box = nullptr;
              if (!WaitFor([&] { return (box = FindBox(owner, pid)) != nullptr; }, 30000))
                  return;
              // The text is set once the box is made; wait for it too.
              WaitFor([&] { return !Look(box).texts.empty(); }, 5000);
              m_seen = Look(box);
              ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                             LPARAM(::GetDlgItem(box, button)));
          }) {}
    ~BoxPresser() { Join(); }
    const BoxSeen& Seen() {
        Join();
        return m_seen;
    }

private:
    void Join() {
        if (m_thread.joinable())
            m_thread.join();
    }
    BoxSeen m_seen;
    std::thread m_thread;
};

// A plain top-level window on the test's thread, as the main sheet is.
class OwnerWindow {
public:
    OwnerWindow() {
        m_h = ::CreateWindowExA(0, "STATIC", "update owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, nullptr, nullptr);
        ::ShowWindow(m_h, SW_SHOW);
    }
    ~OwnerWindow() { ::DestroyWindow(m_h); }
    HWND Get() const { return m_h; }

private:
    HWND m_h;
};

std::vector<std::string> g_opened;
void RecordOpen(const char* address) {
    g_opened.push_back(address);
}

} // namespace

TEST(UpdateMessage, TheLatestVersionIsTold) {
    LocalHttpServer server(Serving("1.0.0.1\r\n"));
    OwnerWindow owner;
    g_opened.clear();
    BoxPresser presser(owner.Get(), ::GetCurrentProcessId(), IDOK);
    EXPECT_EQ(TellAboutUpdate(owner.Get(), server.Base().c_str(), RecordOpen), IDOK);
    const BoxSeen& seen = presser.Seen();
    ASSERT_TRUE(seen.found) << "no box owned by the window";
    EXPECT_EQ(seen.caption, "Information");
    EXPECT_TRUE(Shows(seen, kLatest)) << (seen.texts.empty() ? "" : seen.texts[0]);
    EXPECT_TRUE(seen.ok);
    EXPECT_FALSE(seen.yes || seen.no);
    EXPECT_EQ(seen.icon, ::LoadIconA(nullptr, IDI_INFORMATION));
    EXPECT_TRUE(g_opened.empty());
}

TEST(UpdateMessage, ANewVersionIsOfferedAndYesOpensTheWebSite) {
    LocalHttpServer server(Serving("1.0.0.2\n"));
    OwnerWindow owner;
    {
        g_opened.clear();
        BoxPresser presser(owner.Get(), ::GetCurrentProcessId(), IDNO);
        EXPECT_EQ(TellAboutUpdate(owner.Get(), server.Base().c_str(), RecordOpen), IDNO);
        const BoxSeen& seen = presser.Seen();
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.caption, "Information");
        EXPECT_TRUE(Shows(seen, kNewVersion)) << (seen.texts.empty() ? "" : seen.texts[0]);
        EXPECT_TRUE(seen.yes && seen.no);
        EXPECT_FALSE(seen.ok);
        EXPECT_EQ(seen.icon, ::LoadIconA(nullptr, IDI_INFORMATION));
        EXPECT_TRUE(g_opened.empty()) << "No opened " << g_opened[0];
    }
    {
        g_opened.clear();
        BoxPresser presser(owner.Get(), ::GetCurrentProcessId(), IDYES);
        EXPECT_EQ(TellAboutUpdate(owner.Get(), server.Base().c_str(), RecordOpen), IDYES);
        EXPECT_TRUE(presser.Seen().found);
        ASSERT_EQ(g_opened.size(), 1u);
        EXPECT_EQ(g_opened[0], kProductWebSite);
    }
}

TEST(UpdateMessage, AFailedCheckTellsTheLatestVersion) {
    OwnerWindow owner;
    std::string base = "http://127.0.0.1:" + std::to_string(ClosedPort());
    BoxPresser presser(owner.Get(), ::GetCurrentProcessId(), IDOK);
    EXPECT_EQ(TellAboutUpdate(owner.Get(), base.c_str(), RecordOpen), IDOK);
    EXPECT_TRUE(Shows(presser.Seen(), kLatest));
}

// ---- The running program ----

namespace {

using testing_support::ProgramPath;

class ProgramTest : public core_test::CoreTest {
protected:
    void SetUp() override {
        if (ProgramPath().empty())
            GTEST_SKIP() << "NORVANE_APP_EXE is not set";
    }
};

} // namespace

TEST_F(ProgramTest, TheTrayCommandAsksTheUpdateServerAndTellsTheAnswer) {
    testing_support::ProgramProcess program;
    ASSERT_TRUE(program.m_bStarted);
    HWND sheet = program.WaitForWindow();
    EXPECT_TRUE(sheet && WaitFor([&] { return ::IsWindowVisible(sheet) != FALSE; }))
        << "no window titled Norvane";

    if (sheet) {
        // The real server's address cannot be reached from the test: a
        // failed check, answered as the latest version, within the bound.
        ::PostMessageA(sheet, WM_COMMAND, 32791, 0);
        HWND box = nullptr;
        ULONGLONG start = ::GetTickCount64();
        EXPECT_TRUE(
            WaitFor([&] { return (box = FindBox(sheet, program.m_pi.dwProcessId)) != nullptr; }, 30000))
            << "no box owned by the main window";
        EXPECT_LT(Since(start), 15000u);
        if (box) {
            WaitFor([&] { return !Look(box).texts.empty(); }, 5000);
            BoxSeen seen = Look(box);
            EXPECT_EQ(seen.caption, "Information");
            EXPECT_TRUE(Shows(seen, kLatest)) << (seen.texts.empty() ? "" : seen.texts[0]);
            EXPECT_TRUE(seen.ok);
            EXPECT_FALSE(seen.yes || seen.no);
            EXPECT_NE(testing_support::SaveWindowScreenshot(box, "update-box"), "");
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(::GetDlgItem(box, IDOK)));
            EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box); }, 10000));
        }
        ::PostMessageA(sheet, WM_COMMAND, ID__STOP_AND_EXIT, 0);
        EXPECT_TRUE(program.Ended(20000)) << "the program did not end";
    }
}
