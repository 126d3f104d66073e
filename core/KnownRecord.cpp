#include "core/KnownRecord.h"

#include "core/CoreTestHooks.h"
#include "engine/ResultCodes.h"

#include <atomic>
#include <utility>

namespace {

// Far more photos than one walk secures between two others; past it the
// oldest are dropped and simply checked once more by a later walk.
constexpr size_t kMostWaiting = size_t(1) << 20;

std::atomic<size_t> g_walksEnded{0};

bool HasIdentity(const fileos::FileKey& key) {
    return key.idLow != 0 || key.idHigh != 0;
}

// The folder that holds path ("a\b\c.jpg" gives "a\b").
std::string FolderOf(const char* path) {
    std::string folder = path;
    size_t cut = folder.find_last_of("\\/");
    folder.resize(cut == std::string::npos ? 0 : cut);
    return folder;
}

} // namespace

CKnownRecord::CKnownRecord(const char* path) : m_strPath(path ? path : "") {
    m_loaded = m_strPath.empty() ? KnownPhotos::LoadResult::kMissing : m_photos.Load(m_strPath.c_str());
}

CKnownRecord::Listed CKnownRecord::Classify(const fileos::FolderEntry& entry, bool lookUp) const {
    if (fileos::IsCloudOnly(entry.attributes))
        return Listed::kCloudOnly;
    return lookUp && HasIdentity(entry.key) && m_photos.Lookup(entry.key) ? Listed::kKnown : Listed::kCheck;
}

void CKnownRecord::AfterCheck(const char* path, const fileos::FileKey& folder,
                              const fileos::FileKey& listedKey, int checkCode, int secureCode,
                              const fileos::FileKey& keyAfter) {
    if (secureCode == securecode::kSecured) {
        AddWaiting(path, folder, keyAfter);
        return;
    }
    // Nothing to do: no position, or every one already zero. Whatever the
    // check could not settle (errors, a location left) is checked again.
    bool needsNothing =
        secureCode == -1 && (checkCode == checkcode::kAlreadySecure ||
                             checkCode == checkcode::kNoPositionTags || checkCode == checkcode::kNoExif);
    if (needsNothing && HasIdentity(folder) && HasIdentity(listedKey))
        m_photos.Remember(folder, listedKey);
    else if (HasIdentity(listedKey))
        m_photos.Forget(listedKey);
}

void CKnownRecord::AfterSecured(const char* path, const fileos::FileKey& keyAfter) {
    fileos::FileKey folder;
    if (path && fileos::GetFileKey(FolderOf(path).c_str(), folder))
        AddWaiting(path, folder, keyAfter);
}

void CKnownRecord::AddWaiting(const char* path, const fileos::FileKey& folder, const fileos::FileKey& key) {
    if (!path || !HasIdentity(folder) || !HasIdentity(key))
        return;
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_waiting.size() >= kMostWaiting)
        m_waiting.erase(m_waiting.begin());
    m_waiting.push_back(Waiting{path, folder, key});
}

void CKnownRecord::SettleWaiting() {
    std::vector<Waiting> waiting;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        waiting.swap(m_waiting);
    }
    if (waiting.empty())
        return;
    std::vector<Waiting> young;
    const int64_t now = fileos::TimeNow();
    for (Waiting& photo : waiting) {
        fileos::FileKey key;
        if (!fileos::GetFileKey(photo.path.c_str(), key) || key != photo.key)
            continue; // written again or gone since: the next walk checks it
        if (!m_photos.Remember(photo.folder, key, now))
            young.push_back(std::move(photo));
    }
    if (young.empty())
        return;
    std::lock_guard<std::mutex> hold(m_lock);
    m_waiting.insert(m_waiting.begin(), std::make_move_iterator(young.begin()),
                     std::make_move_iterator(young.end()));
}

void CKnownRecord::BeginWalk() {
    SettleWaiting();
}

void CKnownRecord::EndWalk() {
    SettleWaiting();
    if (!m_strPath.empty() && m_photos.IsDirty())
        m_photos.Save(m_strPath.c_str());
    g_walksEnded.fetch_add(1);
}

size_t CountWalksEndedForTests() {
    return g_walksEnded.load();
}

size_t CKnownRecord::GetWaitingCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_waiting.size();
}
