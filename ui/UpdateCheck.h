#pragma once
// "Check for a new version": the program downloads version.inf from the
// update server, compares its text with the FileVersion of its own version
// resource and tells the user. Any difference counts as a new version,
// higher or lower; every failure counts as "the latest version". Nothing is
// installed: on Yes the product's web site opens.
//
// The check runs on the thread that owns the windows and blocks it while it
// lasts, for at most the download's time limit.

#include "framework/CString.h"

#include <windows.h>
// after windows.h, which it needs
#include <winver.h>

#include <memory>

// The version resource of an executable file, read whole.
class CVersionBlock {
public:
    CVersionBlock() = default;
    CVersionBlock(const CVersionBlock&) = delete;
    CVersionBlock& operator=(const CVersionBlock&) = delete;

    // Reads the version resource of path. False when it has none or its
    // root block cannot be read; an earlier copy is dropped either way.
    bool Read(const char* path);

    // The FileVersion string of the first translation; empty when the
    // block has none, "Unknown" when no block was read.
    CString GetFileVersion() const;

    // Of the first translation entry: 0 and 1252 until one is read.
    WORD m_wLanguage = 0;
    WORD m_wCodePage = 1252;

private:
    std::unique_ptr<BYTE[]> m_pData;
    const DWORD* m_pTranslations = nullptr;
    UINT m_nTranslations = 0;
    const VS_FIXEDFILEINFO* m_pFixedInfo = nullptr;
};

// version.inf holds one short version string: a longer file is not one.
constexpr size_t kVersionFileLimit = 1024;

// Stores the document of url in localPath with the update server's account.
// True when the server sent it (status 200, at most kVersionFileLimit bytes)
// and it was written.
bool DownloadFile(const char* url, const char* localPath);

// Asks the update server whether a different version is out: true when
// version.inf differs from the program's own FileVersion, false when it is
// the same and on every failure.
bool CheckForUpdate();
// The same against the server at serverAddress (no trailing slash), which
// is given the path /ftp/activation/[Version]/version.inf.
bool CheckForUpdateAt(const char* serverAddress);

// Opens a web address in the user's browser.
void OpenWebSite(const char* address);

// Runs the check against serverAddress and tells the user in a message box
// owned by owner; when a new version is out and the user answers Yes,
// openSite is called with the product's web site. Returns the button the
// user pressed.
int TellAboutUpdate(HWND owner, const char* serverAddress, void (*openSite)(const char*) = OpenWebSite);
