#include "core/FolderWalk.h"

#include "core/PhotoSecuring.h"
#include "engine/KnownPhotos.h"

#include <string>
#include <vector>

namespace {
// Far deeper than any real tree; bounds the recursion where folder
// identities cannot be read (a file system without file indices).
constexpr int kMaxDepth = 256;
} // namespace

void CFolderWalk::Walk(const char* folder) {
    m_entered.clear();
    if (!folder || !*folder)
        return;
    FirstVisit(folder);
    WalkFolder(folder, 0);
}

bool CFolderWalk::FirstVisit(const char* folder) {
    fileos::FileId id;
    if (!fileos::GetFileId(folder, id))
        return true;
    return m_entered.insert(id).second;
}

void CFolderWalk::WalkFolder(const CString& folder, int depth) {
    // ListFolder reads names through the wide functions (the narrow ones
    // give each name in 260 bytes, and a name of 255 UTF-16 units can take
    // 765 in UTF-8): the program's code page is UTF-8, so the names it
    // converts are what the narrow file functions take.
    const uint32_t mark = m_pKnown ? m_pKnown->BeginFolder() : 0;
    std::vector<fileos::FolderEntry> entries;
    fileos::FileKey folderKey;
    if (!fileos::ListFolder(folder, entries, &folderKey)) {
        OnListingFailed();
        return;
    }
    for (const fileos::FolderEntry& entry : entries) {
        if (ShouldStop())
            return;
        const std::string& name = entry.name;
        // The folder as given, so a drive root "E:\" gives "E:\\name",
        // which the file functions take as one separator.
        CString path = folder + "\\" + name.c_str();
        if (entry.folder) {
            if (name[0] != '.' && depth < kMaxDepth && FirstVisit(path))
                WalkFolder(path, depth + 1);
            continue;
        }
        if (IsLeftoverName(name.c_str())) {
            // A rewrite's temporary file, left by a program that was ended;
            // never a photo itself. One that became the photo is walked as
            // the photo, under the key it has now (the rename changed it).
            if (TakeUpLeftover(path) == Leftover::kRestored) {
                fileos::FolderEntry photo;
                photo.name = PhotoOfLeftover(name.c_str());
                CString photoPath(PhotoOfLeftover(path).c_str());
                fileos::GetFileKey(photoPath, photo.key, &photo.attributes);
                OnFile(photoPath, photo.name.c_str(), photo, folderKey);
            }
            continue;
        }
        OnFile(path, name.c_str(), entry, folderKey);
    }
    OnListingDone();
    if (m_pKnown) {
        std::vector<fileos::FileKey> listed;
        listed.reserve(entries.size());
        for (const fileos::FolderEntry& entry : entries)
            if (!entry.folder)
                listed.push_back(entry.key);
        m_pKnown->PruneFolder(folderKey, listed, mark);
    }
}
