#include "core/PhotoSecuring.h"

#include "core/Paths.h"
#include "engine/CheckGpsTags.h"
#include "engine/FileOs.h"

#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

volatile bool g_bBackupBeforeSecuring = false;

namespace {

struct Claims {
    std::mutex lock;
    std::condition_variable released;
    std::set<std::string> keys;
};

Claims& TheClaims() {
    static Claims claims;
    return claims;
}

// The file's identity, or, for a path that cannot be opened, the path in
// capitals (such a file cannot be rewritten either, but two workers that
// both fail on it must still not overlap).
std::string ClaimKey(const char* path) {
    fileos::FileId id;
    if (fileos::GetFileId(path, id)) {
        char key[48];
        std::snprintf(key, sizeof key, "#%llx:%llx", (unsigned long long)id.volume,
                      (unsigned long long)id.index);
        return key;
    }
    std::string key(path);
    ::CharUpperBuffA(&key[0], DWORD(key.size()));
    return key;
}

} // namespace

CPhotoClaim::CPhotoClaim(const char* path) : m_key(ClaimKey(path)) {
    Claims& claims = TheClaims();
    std::unique_lock<std::mutex> hold(claims.lock);
    claims.released.wait(hold, [&] { return claims.keys.count(m_key) == 0; });
    claims.keys.insert(m_key);
}

CPhotoClaim::~CPhotoClaim() {
    Claims& claims = TheClaims();
    {
        std::lock_guard<std::mutex> hold(claims.lock);
        claims.keys.erase(m_key);
    }
    claims.released.notify_all();
}

size_t CPhotoClaim::CountForTests() {
    Claims& claims = TheClaims();
    std::lock_guard<std::mutex> hold(claims.lock);
    return claims.keys.size();
}

bool IsRegularFile(const char* path) {
    // Wine lists a Unix pipe as an ordinary file but reports no attributes
    // for it; Windows has none in folders.
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

int SecurePhotoIfNeeded(const char* path, int& checkCode, RemovedTags& removedTags) {
    if (!path || !IsRegularFile(path)) {
        checkCode = path ? 4 : 1;
        return -1;
    }
    CPhotoClaim claim(path);
    if (!g_bBackupBeforeSecuring)
        return SecureGpsTagsIfNeeded(path, checkCode, removedTags);
    // The backup must hold the photo as it was, so it is made between the
    // check and the rewrite; a backup that fails keeps nothing from being
    // secured.
    checkCode = CheckGpsTags(path);
    if (checkCode != 0)
        return -1;
    CopyToBackup(path);
    return SecureGpsTags(path, path, removedTags);
}
