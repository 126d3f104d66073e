#include "ui/UpdateCheck.h"

#include "core/Paths.h"
#include "ui/CHttpClient.h"
#include "ui/ProductSite.h"

#include <mbstring.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

bool CVersionBlock::Read(const char* path) {
    m_pData.reset();
    m_pTranslations = nullptr;
    m_nTranslations = 0;
    m_pFixedInfo = nullptr;
    m_wLanguage = 0;
    m_wCodePage = 1252;

    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return false;
    std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[size]);
    if (!data || !::GetFileVersionInfoA(path, 0, size, data.get()))
        return false;
    void* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(data.get(), "\\", &fixed, &length) || !fixed)
        return false;
    m_pData = std::move(data);
    m_pFixedInfo = static_cast<const VS_FIXEDFILEINFO*>(fixed);

    void* table = nullptr;
    if (::VerQueryValueA(m_pData.get(), "\\VarFileInfo\\Translation", &table, &length) && table &&
        length >= 4) {
        m_pTranslations = static_cast<const DWORD*>(table);
        m_nTranslations = length / 4;
        m_wLanguage = LOWORD(m_pTranslations[0]);
        m_wCodePage = HIWORD(m_pTranslations[0]);
    }
    return true;
}

CString CVersionBlock::GetFileVersion() const {
    if (!m_pData)
        return "Unknown";
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", m_wLanguage, m_wCodePage,
                  "FileVersion");
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(m_pData.get(), query, &value, &length) || !value)
        return "";
    const char* text = static_cast<const char*>(value);
    return CString(text, int(strnlen(text, 1024)));
}

bool DownloadFile(const char* url, const char* localPath) {
    CHttpClient client;
    client.SetAccount(kUpdateLogin, kUpdatePassword);
    client.SetSizeLimit(kVersionFileLimit);
    // Why it failed is of no use to the user, who hears "the latest
    // version" whatever it was.
    return client.Download(url, localPath);
}

namespace {

// The whole of a small file, cut at its first zero byte; false when it
// cannot be read or is longer than limit.
bool ReadSmallFile(const char* path, size_t limit, std::string& text) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    bool ok = false;
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0 && (length = std::ftell(file)) >= 0 && size_t(length) <= limit &&
        std::fseek(file, 0, SEEK_SET) == 0) {
        text.assign(size_t(length), '\0');
        ok = std::fread(&text[0], 1, text.size(), file) == text.size();
    }
    std::fclose(file);
    if (ok)
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return ok;
}

// Spaces, line feeds and carriage returns off both ends; tabs stay.
std::string Trim(const std::string& text) {
    const char* blanks = " \n\r";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

} // namespace

bool CheckForUpdateAt(const char* serverAddress) {
    CString temp = GetSpecialFolder(SPECIAL_FOLDER_TEMP);
    if (temp.IsEmpty())
        return false;
    CString local = temp + "\\version.inf";
    CString url(serverAddress);
    url.AppendFormat("/ftp/activation/[Version]/%s", "version.inf");
    if (!DownloadFile(url, local))
        return false;

    std::string text;
    if (!ReadSmallFile(local, kVersionFileLimit, text))
        return false;
    text = Trim(text);
    if (text.empty())
        return false;

    // Without its own version the program cannot tell a new one: a failed
    // check, never an offer.
    CVersionBlock block;
    if (!block.Read(GetProgramPath()))
        return false;
    CString own = block.GetFileVersion();
    return _mbscmp(reinterpret_cast<const unsigned char*>(text.c_str()),
                   reinterpret_cast<const unsigned char*>(own.GetString())) != 0;
}

bool CheckForUpdate() {
    return CheckForUpdateAt(kUpdateServer);
}

void OpenWebSite(const char* address) {
    // A browser that cannot be started is not worth a message.
    ::ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOW);
}

int TellAboutUpdate(HWND owner, const char* serverAddress, void (*openSite)(const char*)) {
    if (!CheckForUpdateAt(serverAddress))
        return ::MessageBoxA(owner, "You are using the latest version of Norvane", "Information",
                             MB_ICONINFORMATION | MB_OK);
    int answer = ::MessageBoxA(owner, "New version of Norvane available! Do you want to download it now?",
                               "Information", MB_ICONINFORMATION | MB_YESNO);
    if (answer == IDYES && openSite)
        openSite(kProductWebSite);
    return answer;
}
