#include "engine/FileOs.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileos {

FILE* OpenShared(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

FILE* OpenDenyingWriters(const char* path) {
    // POSIX systems have no sharing modes (locks are only advisory): the
    // engine's confirmation that the photo is still the one it read is all
    // there is here.
    return std::fopen(path, "r+b");
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

FILE* CreateSibling(const char* target, std::string& siblingPath) {
    std::string candidate = std::string(target) + kTemporarySuffix;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            FILE* file = fdopen(fd, "wb");
            if (!file) {
                close(fd);
                unlink(candidate.c_str());
                return nullptr;
            }
            siblingPath = candidate;
            return file;
        }
        // Taken already: the leftover of a program that was ended (nothing
        // tells whether another has it open here), and the target it
        // belonged to is still there.
        if (attempt > 0 || errno != EEXIST || unlink(candidate.c_str()) != 0)
            return nullptr;
    }
    return nullptr;
}

bool FlushToDisk(FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool KeepMetadataOf(const char* target, FILE* file) {
    struct stat st {};
    if (stat(target, &st) != 0)
        return errno == ENOENT;
    if (S_ISDIR(st.st_mode))
        return false;
    // Who may read and write the photo; ownership needs privileges and is
    // kept only when we have them (the photo then belongs to us, as any
    // program's rewrite would leave it).
    if (fchmod(fileno(file), st.st_mode & 07777) != 0)
        return false;
    if (fchown(fileno(file), st.st_uid, st.st_gid) != 0) {
    }
    return true;
}

bool MoveOver(const char* replacement, const char* target) {
    struct stat st {};
    if (stat(target, &st) == 0 && S_ISDIR(st.st_mode))
        return false; // a folder is never a file to replace
    return std::rename(replacement, target) == 0;
}

bool PutInPlace(const char* temporary, const char* target) {
    // A hard link fails when target exists, where a rename would replace it.
    if (link(temporary, target) == 0) {
        unlink(temporary); // should it stay, the photo is in place and a walk removes the name
        return true;
    }
    if (errno == EEXIST)
        return false;
    // A file system without hard links: the look and the rename are two
    // steps.
    return !Exists(target) && std::rename(temporary, target) == 0;
}

bool Exists(const char* path) {
    struct stat st {};
    return path && *path && stat(path, &st) == 0;
}

bool RemoveFile(const char* path) {
    return unlink(path) == 0;
}

bool GetFileId(const char* path, FileId& id) {
    FileStamp stamp;
    if (!GetFileStamp(path, stamp))
        return false;
    id = stamp.id;
    return true;
}

bool SameFile(const char* a, const char* b) {
    FileId ia, ib;
    return GetFileId(a, ia) && GetFileId(b, ib) && ia == ib;
}

static FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.id.volume = uint64_t(st.st_dev);
    stamp.id.index = uint64_t(st.st_ino);
    stamp.size = uint64_t(st.st_size);
    stamp.writeTime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

bool GetFileStamp(FILE* file, FileStamp& stamp) {
    struct stat st {};
    if (!file || fstat(fileno(file), &st) != 0)
        return false;
    stamp = StampOf(st);
    return true;
}

bool GetFileStamp(const char* path, FileStamp& stamp) {
    struct stat st {};
    if (!path || stat(path, &st) != 0)
        return false;
    stamp = StampOf(st);
    return true;
}

static FileKey KeyOf(const struct stat& st) {
    FileKey key;
    key.volume = uint64_t(st.st_dev);
    key.idLow = uint64_t(st.st_ino);
    key.size = uint64_t(st.st_size);
    key.writeTime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    key.changeTime = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return key;
}

static uint32_t AttributesOf(const struct stat& st) {
    return S_ISDIR(st.st_mode) ? kAttributeFolder : 0;
}

int64_t TimeNow() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool ReadFileKey(const char* path, FileKey& key, uint32_t* attributes) {
    struct stat st {};
    if (stat(path, &st) != 0)
        return false;
    key = KeyOf(st);
    if (attributes)
        *attributes = AttributesOf(st);
    return true;
}

bool ReadFolder(const char* folder, std::vector<FolderEntry>& entries, FileKey* folderKey) {
    DIR* listing = opendir(folder);
    if (!listing)
        return false;
    int fd = dirfd(listing);
    struct stat st {};
    if (folderKey) {
        if (fstat(fd, &st) != 0) {
            closedir(listing);
            return false;
        }
        *folderKey = KeyOf(st);
    }
    bool complete = true;
    for (;;) {
        errno = 0;
        struct dirent* found = readdir(listing);
        if (!found) {
            complete = errno == 0;
            break;
        }
        const char* name = found->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        // Links followed, as GetFileKey does. An entry that went since the
        // listing read it, or a link to nothing, is no file to walk.
        if (fstatat(fd, name, &st, 0) != 0)
            continue;
        FolderEntry entry;
        entry.name = name;
        entry.folder = S_ISDIR(st.st_mode);
        entry.attributes = AttributesOf(st);
        entry.key = KeyOf(st);
        entries.push_back(std::move(entry));
    }
    closedir(listing);
    return complete;
}

} // namespace fileos
