#pragma once
// The core's side of the record of photos known to need nothing
// (engine/KnownPhotos.h): where it is kept, what every walk asks of it
// before it opens a photo and tells it after, and when it is saved. One per
// process, owned by the core object and shared by the scan and every
// monitoring thread.
//
// A photo that needed nothing is remembered under the key its folder's
// listing gave before it was opened. A photo a worker secured is not
// remembered at once: its key after the rewrite is younger than the clock
// rule allows, and its old key must never count. Its path and the key taken
// right after the rewrite (under the photo's claim) wait in a list kept in
// memory only; the start and the end of every later walk, and the save at
// exit, key it again: unchanged and settled, it is remembered; changed or
// gone, it is dropped; unchanged but still too young, it waits on.
//
// Files whose data is only in the cloud are never opened by a walk: opening
// one has the provider download it.

#include "engine/FileOs.h"
#include "engine/KnownPhotos.h"

#include <mutex>
#include <string>
#include <vector>

class CKnownRecord {
public:
    // Loads the record saved at path; one that is missing, cut or garbled
    // leaves it empty, to be rebuilt by walking.
    explicit CKnownRecord(const char* path);
    CKnownRecord(const CKnownRecord&) = delete;
    CKnownRecord& operator=(const CKnownRecord&) = delete;

    const KnownPhotos& GetPhotos() const { return m_photos; }
    KnownPhotos& GetPhotos() { return m_photos; }
    KnownPhotos::LoadResult GetLoadResult() const { return m_loaded; }

    // What a walk does with a listed photo before it opens it.
    enum class Listed {
        kCheck,     // open and check it
        kKnown,     // known to need nothing: counted as secure, not opened
        kCloudOnly, // its data is in the cloud: never opened
    };
    Listed Classify(const fileos::FolderEntry& entry, bool lookUp) const;

    // After a walk checked a photo listed with listedKey in folder: one that
    // needed nothing is remembered, one that was secured waits (keyAfter,
    // as the rewrite left it); any other is not remembered.
    void AfterCheck(const char* path, const fileos::FileKey& folder, const fileos::FileKey& listedKey,
                    int checkCode, int secureCode, const fileos::FileKey& keyAfter);
    // A photo secured outside a walk (on a change notice): waits to be
    // remembered under the folder that holds it.
    void AfterSecured(const char* path, const fileos::FileKey& keyAfter);

    // A walk's start: waiting photos settled.
    void BeginWalk();
    // A walk's end and the exit: waiting photos settled, the record saved
    // when it changed.
    void EndWalk();

    size_t GetWaitingCount() const;

private:
    struct Waiting {
        std::string path;
        fileos::FileKey folder;
        fileos::FileKey key;
    };
    void AddWaiting(const char* path, const fileos::FileKey& folder, const fileos::FileKey& key);
    void SettleWaiting();

    KnownPhotos m_photos;
    const std::string m_strPath;
    KnownPhotos::LoadResult m_loaded;
    mutable std::mutex m_lock;
    std::vector<Waiting> m_waiting;
};
