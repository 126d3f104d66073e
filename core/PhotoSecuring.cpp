#include "core/PhotoSecuring.h"

#include "core/CoreTestHooks.h"
#include "core/Paths.h"
#include "engine/CheckGpsTags.h"
#include "engine/ResultCodes.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>

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

// The photo's full path in capitals, with "." and ".." parts resolved and
// runs of backslashes made one: the spellings under which the scanner and
// the monitors reach one photo. (Not the file's identity: reading it costs a
// round trip to the file system per photo, more than half of what checking
// a photo costs under Wine. A photo reached through a link under two names
// may then be handled by two workers; each writes the same secured photo
// whole, so it stays whole, and both log it.)
std::string ClaimKey(const char* path) {
    std::string full(MAX_PATH, '\0');
    DWORD n = ::GetFullPathNameA(path, DWORD(full.size()), &full[0], nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = ::GetFullPathNameA(path, DWORD(full.size()), &full[0], nullptr);
    }
    full.resize(n > 0 && n < full.size() ? n : 0);
    if (full.empty())
        full = path;
    std::string key;
    key.reserve(full.size());
    for (size_t i = 0; i < full.size(); ++i) {
        char c = full[i];
        if (c == '/')
            c = '\\';
        if (c == '\\' && i > 1 && !key.empty() && key.back() == '\\')
            continue; // a run of separators (a UNC path keeps its leading pair)
        key += c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    }
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

size_t CountPhotoClaimsForTests() {
    Claims& claims = TheClaims();
    std::lock_guard<std::mutex> hold(claims.lock);
    return claims.keys.size();
}

Leftover TakeUpLeftover(const char* path) {
    if (!IsLeftoverName(path))
        return Leftover::kNone;
    CPhotoClaim claim(PhotoOfLeftover(path).c_str());
    return ResolveLeftover(path);
}

bool IsRegularFile(const char* path) {
    // Wine lists a Unix pipe as an ordinary file but reports no attributes
    // for it; Windows has none in folders.
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

namespace {

std::mutex g_openWatcherLock;
std::function<void(const char*)> g_openWatcher;
std::atomic<bool> g_bOpenWatched{false};

int SecureClaimedPhoto(const char* path, int& checkCode, RemovedTags& removedTags,
                       std::vector<std::string>* left) {
    if (g_bOpenWatched.load()) {
        std::lock_guard<std::mutex> hold(g_openWatcherLock);
        if (g_openWatcher)
            g_openWatcher(path);
    }
    if (!g_bBackupBeforeSecuring)
        return SecureGpsTagsIfNeeded(path, checkCode, removedTags, left);
    // The backup must hold the photo as it was, so it is made between the
    // check and the rewrite. Backups are asked for to keep the original:
    // when the copy fails, securing would lose it, so the photo stays as it
    // is and is reported not secured.
    // The check names what it cannot clear, which securing then leaves.
    checkCode = CheckGpsTags(path, left);
    if (checkCode != checkcode::kNeedsSecuring)
        return -1;
    if (!CopyToBackup(path)) {
        if (left)
            left->clear();
        return securecode::kBackupFailed;
    }
    int code = SecureGpsTags(path, path, removedTags);
    if (left && code != securecode::kLocationLeft)
        left->clear();
    return code;
}

} // namespace

void WatchPhotoOpensForTests(std::function<void(const char* path)> watcher) {
    std::lock_guard<std::mutex> hold(g_openWatcherLock);
    g_openWatcher = std::move(watcher);
    g_bOpenWatched = bool(g_openWatcher);
}

int SecurePhotoIfNeeded(const char* path, int& checkCode, RemovedTags& removedTags,
                        std::vector<std::string>* left, fileos::FileKey* keyAfter) {
    if (left)
        left->clear();
    if (keyAfter)
        *keyAfter = fileos::FileKey();
    if (!path || !IsRegularFile(path)) {
        checkCode = path ? checkcode::kCannotOpen : checkcode::kNoPath;
        return -1;
    }
    CPhotoClaim claim(path);
    int code = SecureClaimedPhoto(path, checkCode, removedTags, left);
    // Still claimed: no other worker has written it since the rewrite.
    if (keyAfter && code == securecode::kSecured && !fileos::GetFileKey(path, *keyAfter))
        *keyAfter = fileos::FileKey();
    return code;
}
