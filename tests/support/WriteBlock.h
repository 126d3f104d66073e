#pragma once
// Keeps a file from being opened for writing while the object lives, as a
// photo marked read-only or held open by a viewer that shares no writing is.
// On Windows a reader holds the file and denies writing to every other open
// (sharing modes bind every user, so this holds under Wine run as root too);
// elsewhere the file's write permissions are taken away and given back, and
// a user who may write anyway (root) makes Holds() false.

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#ifdef _WIN32
#include <share.h>
#endif

namespace testing_support {

class WriteBlock {
public:
    explicit WriteBlock(const std::string& path) : path_(path) {
#ifdef _WIN32
        holder_ = _fsopen(path.c_str(), "rb", _SH_DENYWR);
#else
        namespace fs = std::filesystem;
        fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove, error_);
#endif
    }
    WriteBlock(const WriteBlock&) = delete;
    WriteBlock& operator=(const WriteBlock&) = delete;
    ~WriteBlock() {
#ifdef _WIN32
        if (holder_)
            std::fclose(holder_);
#else
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ec);
#endif
    }

    // True when an open of the file for writing fails now.
    bool Holds() const {
        if (FILE* file = std::fopen(path_.c_str(), "r+b")) {
            std::fclose(file);
            return false;
        }
        return true;
    }

private:
    std::string path_;
#ifdef _WIN32
    FILE* holder_ = nullptr;
#else
    std::error_code error_;
#endif
};

} // namespace testing_support
