// Folder and file names in any script, in a deep folder, through the narrow
// file functions: the program's manifest makes the process code page UTF-8.
#include "core/ActivityLog.h"
#include "core/LogEntries.h"
#include "core/Paths.h"

#include "support/ShellFolderValue.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using testing_support::TempDir;

namespace {

// "Фотоархив_北京上海" and "Москва-北京.jpg" in UTF-8.
const std::string kFolderName = "\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE\xD0\xB0\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2_"
                                "\xE5\x8C\x97\xE4\xBA\xAC\xE4\xB8\x8A\xE6\xB5\xB7";
const std::string kFileName = "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0-\xE5\x8C\x97\xE4\xBA\xAC.jpg";

int Utf16Length(const std::string& utf8) {
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), int(utf8.size()), nullptr, 0);
}

TEST(UnicodePaths, ProcessCodePageIsUtf8) {
    EXPECT_EQ(::GetACP(), 65001u);
}

TEST(UnicodePaths, FileInADeepFolderIsCreatedFoundOpenedAndLogged) {
    TempDir dir;
    std::string folder = dir.path().string();
    while (folder.size() <= 300)
        folder += "\\" + kFolderName;
    // Over 300 bytes as a narrow path; still within MAX_PATH as UTF-16,
    // which is as far as Wine's narrow file functions go.
    ASSERT_GT(folder.size(), 300u);
    ASSERT_LT(Utf16Length(folder), MAX_PATH - 20);

    ASSERT_TRUE(CreateDirectories(folder.c_str()));
    std::string photo = folder + "\\" + kFileName;
    HANDLE file = ::CreateFileA(photo.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << ::GetLastError();
    DWORD written = 0;
    ::WriteFile(file, "\xFF\xD8\xFF\xD9", 4, &written, nullptr);
    ::CloseHandle(file);

    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*.jpg").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    ::FindClose(find);
    EXPECT_EQ(std::string(data.cFileName), kFileName);

    std::FILE* opened = std::fopen((folder + "\\" + data.cFileName).c_str(), "rb");
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(std::fgetc(opened), 0xFF);
    std::fclose(opened);

    // Logged into a data folder whose own path is in another script.
    std::string base = dir.file(kFolderName);
    DataFolderAt redirect(base);
    CString entry = SecuredByMonitorEntry("01.02.03 04:05:06", photo.c_str(), RemovedTags());
    AppendToLog(entry);
    auto bytes = testing_support::ReadFile(base + "\\Norvane\\norvane.log");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), entry.GetString());
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("<" + photo + "?0;>"), std::string::npos);
}

TEST(UnicodePaths, BackupNameInAFolderOfAnotherScript) {
    TempDir dir;
    std::string folder = dir.file(kFolderName);
    ASSERT_TRUE(CreateDirectories(folder.c_str()));
    CString name = GetUniqueTempName(folder.c_str());
    ASSERT_FALSE(name.IsEmpty());
    EXPECT_EQ(std::string(name.GetString()).rfind(folder + "\\", 0), 0u);
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*.tmp.jpg").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    ::FindClose(find);
}

} // namespace
