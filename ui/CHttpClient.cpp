// How a download stays bounded: the request runs on a worker thread of its
// own, and the caller waits for that thread's end at most the time limit
// (answering what other threads send to its windows meanwhile). WinHTTP's
// own time-outs count per step, so a server that sends a byte every second
// would keep a blocking call alive for ever; the caller's wait does not care.
//
// A worker still inside a blocking WinHTTP call when the time is up cannot
// be ended from outside, and the user must not wait for it: the caller lets
// go of its handle and the thread finishes on its own. It keeps only memory
// of its own (a shared record that the last of the two frees), never touches
// the local file, which the caller writes once the whole body is in, and
// ends at its next step or after the step time-out.
//
// Redirects are followed here, not by WinHTTP, so that the account is only
// added to requests for the scheme, host and port the caller gave.

#include "ui/CHttpClient.h"

#include "engine/FileOs.h"
#include "framework/CodePage.h"
#include "framework/WaitForThread.h"
#include "framework/WinHandles.h"
#include "framework/WorkerThread.h"

#include <winhttp.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int kMaxRedirects = 5;

// The parts of an address that WinHTTP needs.
struct Address {
    INTERNET_SCHEME scheme = INTERNET_SCHEME(0);
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path; // with the query, if any
};

bool Crack(const std::wstring& url, Address& out) {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = DWORD(-1);
    parts.dwHostNameLength = DWORD(-1);
    parts.dwUrlPathLength = DWORD(-1);
    parts.dwExtraInfoLength = DWORD(-1);
    if (!::WinHttpCrackUrl(url.c_str(), DWORD(url.size()), 0, &parts))
        return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return false;
    if (!parts.lpszHostName || parts.dwHostNameLength == 0)
        return false;
    out.scheme = parts.nScheme;
    out.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    out.port = parts.nPort;
    out.path.assign(parts.lpszUrlPath ? parts.lpszUrlPath : L"",
                    parts.lpszUrlPath ? parts.dwUrlPathLength : 0);
    if (parts.lpszExtraInfo)
        out.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (out.path.empty())
        out.path = L"/";
    return true;
}

bool SameOrigin(const Address& a, const Address& b) {
    return a.scheme == b.scheme && a.port == b.port &&
           ::CompareStringOrdinal(a.host.c_str(), int(a.host.size()), b.host.c_str(), int(b.host.size()),
                                  TRUE) == CSTR_EQUAL;
}

// Once on https, every later step is too: an answer over plain http could
// come from anyone on the way.
bool Downgrades(const Address& given, const Address& target) {
    return given.scheme == INTERNET_SCHEME_HTTPS && target.scheme != INTERNET_SCHEME_HTTPS;
}

// A Location header read against the address that answered with it.
std::wstring Resolve(const Address& base, const std::wstring& location) {
    size_t colon = location.find(L"://");
    if (colon != std::wstring::npos && location.find(L'/') > colon)
        return location;
    std::wstring scheme = base.scheme == INTERNET_SCHEME_HTTPS ? L"https:" : L"http:";
    if (location.compare(0, 2, L"//") == 0)
        return scheme + location;
    std::wstring origin = scheme + L"//" + base.host + L":" + std::to_wstring(base.port);
    if (!location.empty() && location[0] == L'/')
        return origin + location;
    std::wstring dir = base.path.substr(0, base.path.find_first_of(L"?#"));
    dir = dir.substr(0, dir.rfind(L'/') + 1);
    return origin + (dir.empty() ? L"/" : dir) + location;
}

class CInternetHandle {
public:
    explicit CInternetHandle(HINTERNET h = nullptr) : m_h(h) {}
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    ~CInternetHandle() {
        if (m_h)
            ::WinHttpCloseHandle(m_h);
    }
    HINTERNET Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HINTERNET m_h;
};

// What the caller and the worker share. The worker fills the results; the
// caller reads them only after the worker's thread has ended.
struct Transfer {
    std::wstring url;
    std::wstring authorization; // the whole header line, or empty
    size_t sizeLimit = 0;
    ULONGLONG deadline = 0;
    std::atomic<bool> abandoned{false};

    bool ok = false;
    std::string body;
    std::string error;

    ~Transfer() {
        // The account leaves memory with the record.
        if (!authorization.empty())
            ::SecureZeroMemory(&authorization[0], authorization.size() * sizeof(wchar_t));
    }
    bool TimeIsUp() const { return abandoned || ::GetTickCount64() >= deadline; }
};

std::string Describe(const char* what, DWORD code) {
    return std::string(what) + " (error " + std::to_string(code) + ")";
}

// One GET of one address; a redirect's target comes back in redirect.
// Runs on the worker.
bool Fetch(Transfer& t, HINTERNET session, const Address& origin, const Address& at, std::wstring& redirect) {
    CInternetHandle connection(::WinHttpConnect(session, at.host.c_str(), at.port, 0));
    if (!connection) {
        t.error = Describe("cannot reach the server", ::GetLastError());
        return false;
    }
    // The path goes out as written: spaces were escaped already, and
    // WinHTTP's own escaping would change the brackets and percent signs.
    DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
    if (at.scheme == INTERNET_SCHEME_HTTPS)
        flags |= WINHTTP_FLAG_SECURE;
    CInternetHandle request(::WinHttpOpenRequest(connection.Get(), L"GET", at.path.c_str(), nullptr,
                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request) {
        t.error = Describe("cannot make the request", ::GetLastError());
        return false;
    }
    DWORD feature = WINHTTP_DISABLE_REDIRECTS;
    ::WinHttpSetOption(request.Get(), WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature);
    if (!t.authorization.empty() && SameOrigin(origin, at))
        ::WinHttpAddRequestHeaders(request.Get(), t.authorization.c_str(), DWORD(t.authorization.size()),
                                   WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    if (!::WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                              0)) {
        t.error = Describe("cannot connect to the server", ::GetLastError());
        return false;
    }
    if (!::WinHttpReceiveResponse(request.Get(), nullptr)) {
        t.error = Describe("no answer from the server", ::GetLastError());
        return false;
    }
    DWORD status = 0, size = sizeof status;
    if (!::WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        t.error = Describe("no status in the answer", ::GetLastError());
        return false;
    }
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
        wchar_t location[2048];
        DWORD bytes = sizeof location;
        if (!::WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                                   location, &bytes, WINHTTP_NO_HEADER_INDEX)) {
            t.error = "HTTP status " + std::to_string(status) + " without a usable Location";
            return false;
        }
        redirect = Resolve(at, std::wstring(location, bytes / sizeof(wchar_t)));
        return false;
    }
    if (status != 200) {
        t.error = "HTTP status " + std::to_string(status);
        return false;
    }
    DWORD length = 0;
    size = sizeof length;
    if (::WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX) &&
        length > t.sizeLimit) {
        t.error = "the document is larger than " + std::to_string(t.sizeLimit) + " bytes";
        return false;
    }
    // Read past the limit by one chunk at most: a body that does not end by
    // then is too long, whatever its headers said.
    char chunk[4096];
    for (;;) {
        if (t.TimeIsUp()) {
            t.error = "the document did not arrive in time";
            return false;
        }
        // Only what has arrived: a read of more waits for all of it, and
        // this worker would not see its time run out.
        DWORD available = 0, got = 0;
        if (!::WinHttpQueryDataAvailable(request.Get(), &available) ||
            (available != 0 &&
             !::WinHttpReadData(request.Get(), chunk,
                                available < sizeof chunk ? available : DWORD(sizeof chunk), &got))) {
            t.error = Describe("the answer broke off", ::GetLastError());
            return false;
        }
        if (got == 0)
            break;
        if (t.body.size() + got > t.sizeLimit) {
            t.error = "the document is larger than " + std::to_string(t.sizeLimit) + " bytes";
            return false;
        }
        t.body.append(chunk, got);
    }
    return true;
}

void Run(const std::shared_ptr<Transfer>& t) {
    CInternetHandle session(::WinHttpOpen(L"Norvane", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        t->error = Describe("no HTTP session", ::GetLastError());
    } else {
        int step = int(CHttpClient::kStepTimeoutMs);
        ::WinHttpSetTimeouts(session.Get(), step, step, step, step);
        // The wait for the answer's head has a time-out of its own, which
        // is otherwise longer than the user would wait.
        DWORD stepMs = CHttpClient::kStepTimeoutMs;
        ::WinHttpSetOption(session.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &stepMs, sizeof stepMs);
        DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        ::WinHttpSetOption(session.Get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);

        Address origin, at;
        std::wstring url = t->url;
        if (!Crack(url, origin)) {
            t->error = "not an http or https address";
        } else {
            at = origin;
            for (int hop = 0; !t->TimeIsUp(); ++hop) {
                std::wstring redirect;
                if (Fetch(*t, session.Get(), origin, at, redirect)) {
                    t->ok = true;
                    break;
                }
                if (redirect.empty())
                    break;
                if (hop == kMaxRedirects) {
                    t->error = "too many redirects";
                    break;
                }
                Address next;
                if (!Crack(redirect, next)) {
                    t->error = "redirected to an address that is not http or https";
                    break;
                }
                if (Downgrades(at, next)) {
                    t->error = "redirected from https to http";
                    break;
                }
                at = next;
                t->error.clear();
            }
            if (!t->ok && t->error.empty())
                t->error = "the document did not arrive in time";
        }
    }
}

// The worker's entry: param is its own share of the record.
UINT TransferThread(LPVOID param) {
    std::unique_ptr<std::shared_ptr<Transfer>> share(static_cast<std::shared_ptr<Transfer>*>(param));
    Run(*share);
    return 0;
}

} // namespace

void CHttpClient::SetAccount(const char* login, const char* password) {
    m_strLogin = login ? login : "";
    m_strPassword = password ? password : "";
    m_bHasAccount = true;
}

bool CHttpClient::Download(const char* url, const char* localPath) {
    m_strError.Empty();
    auto t = std::make_shared<Transfer>();
    CString escaped(url ? url : "");
    escaped.Replace(" ", "%20");
    t->url = Widen(escaped);
    t->sizeLimit = m_nSizeLimit;
    t->deadline = ::GetTickCount64() + m_nTimeLimitMs;
    if (m_bHasAccount) {
        CString pair = m_strLogin + ":" + m_strPassword;
        t->authorization = L"Authorization: Basic " + Widen(Base64Encode(pair, size_t(pair.GetLength())));
    }
    auto* share = new (std::nothrow) std::shared_ptr<Transfer>(t);
    CHandle worker = share ? StartWorkerThread(&TransferThread, share) : CHandle();
    if (!worker.IsValid()) {
        delete share;
        m_strError = "cannot start the download";
        return false;
    }
    if (!WaitForThreadAnsweringSentMessages(worker, m_nTimeLimitMs)) {
        // Given up on (see above): told to stop at its next step, and left
        // to end on its own as the handle closes.
        t->abandoned = true;
        m_strError = "the server did not answer in time";
        return false;
    }
    if (!t->ok) {
        m_strError = t->error.c_str();
        return false;
    }
    if (!fileos::WriteWholeFileSafely(localPath, t->body.data(), t->body.size())) {
        m_strError = "cannot write the local file";
        return false;
    }
    return true;
}

bool MayCarryAccount(const char* given, const char* target) {
    Address a, b;
    return Crack(Widen(given), a) && Crack(Widen(target), b) && SameOrigin(a, b);
}

bool MayFollowRedirect(const char* given, const char* target) {
    Address a, b;
    return Crack(Widen(given), a) && Crack(Widen(target), b) && !Downgrades(a, b);
}

CString Base64Encode(const char* data, size_t length) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (size_t i = 0; i < length; i += 3) {
        unsigned v = unsigned(bytes[i]) << 16;
        if (i + 1 < length)
            v |= unsigned(bytes[i + 1]) << 8;
        if (i + 2 < length)
            v |= bytes[i + 2];
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < length ? kDigits[(v >> 6) & 63] : '=';
        out += i + 2 < length ? kDigits[v & 63] : '=';
    }
    return CString(out);
}
