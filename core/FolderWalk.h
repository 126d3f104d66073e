#pragma once
// A depth-first walk of a folder tree, one listing per folder, entries in
// the order the file system lists them. Folders whose name begins with "."
// are not entered; every other folder is, whatever its attributes, but never
// twice in one walk: a link or junction that points back up the tree (or
// anywhere already walked) is passed over, so no tree of links traps it.
// A rewrite's temporary file left behind ("<photo>.norvane-tmp") is taken
// up where it is met (engine/Leftovers.h) and never handed on as a file;
// one that is put back in its photo's place is handed on as the photo.
//
// Each folder is listed in one go with every entry's key (fileos::ListFolder),
// so a walk can tell a photo it knows without opening it. With the record of
// known photos, each folder's mark is taken before it is listed and its
// forgotten photos are pruned once its listing was walked to the end (never
// after a walk that stopped, nor a listing that failed: what was not seen
// is not known to be gone).

#include "engine/FileOs.h"
#include "framework/CString.h"

class KnownPhotos;

#include <set>

class CFolderWalk {
public:
    // known, when given, is pruned folder by folder as the walk goes.
    explicit CFolderWalk(KnownPhotos* known = nullptr) : m_pKnown(known) {}
    CFolderWalk(const CFolderWalk&) = delete;
    CFolderWalk& operator=(const CFolderWalk&) = delete;
    virtual ~CFolderWalk() = default;

    // Walks folder (trailing backslashes allowed; an empty one is nothing).
    void Walk(const char* folder);

protected:
    // Asked before every entry; true ends the walk at every level at once.
    virtual bool ShouldStop() { return false; }
    // An entry that is not a folder: path is the folder as given, "\" and
    // name; entry as the folder's listing gave it (key and attributes), and
    // the key of the folder that holds it.
    virtual void OnFile(const CString& path, const char* name, const fileos::FolderEntry& entry,
                        const fileos::FileKey& folder) = 0;
    // A folder's listing could not be opened, or came to its end.
    virtual void OnListingFailed() {}
    virtual void OnListingDone() {}

private:
    void WalkFolder(const CString& folder, int depth);
    // False when the folder was entered before in this walk.
    bool FirstVisit(const char* folder);

    KnownPhotos* const m_pKnown;
    std::set<fileos::FileId> m_entered;
};
