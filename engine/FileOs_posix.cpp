#include "engine/FileOs.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileos {

FILE* OpenShared(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

bool Seek64(FILE* file, int64_t offset, int origin) {
    return fseeko(file, off_t(offset), origin) == 0;
}

int64_t Tell64(FILE* file) {
    return int64_t(ftello(file));
}

bool Truncate(FILE* file, uint64_t size) {
    return ftruncate(fileno(file), off_t(size)) == 0;
}

int64_t ModifyTime(FILE* file) {
    struct stat st {};
    if (fstat(fileno(file), &st) != 0)
        return 0;
    return int64_t(st.st_mtime);
}

namespace {
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash + 1);
}
std::atomic<unsigned> g_siblingCounter{0};
} // namespace

FILE* CreateUniqueSibling(const char* target, std::string& siblingPath) {
    std::string folder = FolderOf(target);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "~norvane-%ld-%u.tmp", long(getpid()),
                      g_siblingCounter.fetch_add(1));
        std::string candidate = folder + name;
        int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return nullptr;
        }
        FILE* file = fdopen(fd, "wb");
        if (!file) {
            close(fd);
            unlink(candidate.c_str());
            return nullptr;
        }
        siblingPath = candidate;
        return file;
    }
    return nullptr;
}

bool FlushToDisk(FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool ReplaceFileWith(const char* target, const char* replacement) {
    struct stat st {};
    if (stat(target, &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return false; // a folder is never a file to replace
        // Keep who may read and write the photo; ownership needs privileges
        // and is kept only when we have them.
        chmod(replacement, st.st_mode & 07777);
        if (chown(replacement, st.st_uid, st.st_gid) != 0) {
            // Not ours to change: the photo then belongs to us, as any
            // program's rewrite would leave it.
        }
    }
    return std::rename(replacement, target) == 0;
}

bool RemoveFile(const char* path) {
    return unlink(path) == 0;
}

bool GetFileId(const char* path, FileId& id) {
    struct stat st {};
    if (!path || stat(path, &st) != 0)
        return false;
    id.volume = uint64_t(st.st_dev);
    id.index = uint64_t(st.st_ino);
    return true;
}

bool SameFile(const char* a, const char* b) {
    FileId ia, ib;
    return GetFileId(a, ia) && GetFileId(b, ib) && ia == ib;
}

} // namespace fileos
