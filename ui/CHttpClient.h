#pragma once
// Downloads one document from an http or https address into a local file,
// with the login name and password of an account (HTTP Basic), on the
// platform's own HTTP stack (WinHTTP).
//
// The caller waits on the thread that owns the windows, so a download is
// bounded in time and in size: whatever the server does (says nothing,
// answers a byte a second, sends a huge body), Download returns false within
// the time limit and never holds more than the size limit in memory. The
// account goes only to the scheme, host and port of the address the caller
// gave: a redirect elsewhere is followed without it. A redirect from https
// down to http is never followed (the download fails): whoever sits on the
// way could then answer in the server's name. The account never appears in
// the error text.

#include "framework/CString.h"

#include <windows.h>

#include <cstddef>

class CHttpClient {
public:
    // The whole download, from the first lookup to the last byte. A version
    // file is a few bytes; a server that has not delivered it by then is
    // not going to, and the user is waiting.
    static constexpr DWORD kDefaultTimeLimitMs = 10000;
    // Each single step (name lookup, connection, sending, each wait for
    // bytes): a silent server is given up after this, well inside the whole
    // limit.
    static constexpr DWORD kStepTimeoutMs = 5000;
    static constexpr size_t kDefaultSizeLimit = 1 << 20;

    void SetAccount(const char* login, const char* password);
    void SetTimeLimit(DWORD ms) { m_nTimeLimitMs = ms; }
    // A body longer than this is a failed download.
    void SetSizeLimit(size_t bytes) { m_nSizeLimit = bytes; }

    // GETs url (every space sent as "%20") and stores its body in localPath,
    // replacing an older file there. True only for an answer of status 200
    // that arrived whole within the limits; any other status (401, 404,
    // 500...) is a failure and leaves localPath as it was.
    bool Download(const char* url, const char* localPath);

    // Why the last Download failed, for a trace; empty after a success.
    const CString& GetErrorText() const { return m_strError; }

private:
    CString m_strLogin;
    CString m_strPassword;
    bool m_bHasAccount = false;
    DWORD m_nTimeLimitMs = kDefaultTimeLimitMs;
    size_t m_nSizeLimit = kDefaultSizeLimit;
    CString m_strError;
};

// True when a request to target may carry the account given for the address
// given: same scheme, same host (letter case aside) and same port. An
// address that cannot be read never may.
bool MayCarryAccount(const char* given, const char* target);

// True when a download that asked for given may follow a redirect to
// target: target is an http or https address, and not http when given is
// https.
bool MayFollowRedirect(const char* given, const char* target);

// Base64 of data, as HTTP Basic sends "login:password".
CString Base64Encode(const char* data, size_t length);
