#pragma once
// A depth-first walk of a folder tree, one listing per folder, entries in
// the order the file system lists them. Folders whose name begins with "."
// are not entered; every other folder is, whatever its attributes, but never
// twice in one walk: a link or junction that points back up the tree (or
// anywhere already walked) is passed over, so no tree of links traps it.
// A rewrite's temporary file left behind ("<photo>.norvane-tmp") is taken
// up where it is met (engine/Leftovers.h) and never handed on as a file;
// one that is put back in its photo's place is handed on as the photo.

#include "engine/FileOs.h"
#include "framework/CString.h"

#include <set>

class CFolderWalk {
public:
    CFolderWalk() = default;
    CFolderWalk(const CFolderWalk&) = delete;
    CFolderWalk& operator=(const CFolderWalk&) = delete;
    virtual ~CFolderWalk() = default;

    // Walks folder (trailing backslashes allowed; an empty one is nothing).
    void Walk(const char* folder);

protected:
    // Asked before every entry; true ends the walk at every level at once.
    virtual bool ShouldStop() { return false; }
    // An entry that is not a folder: path is the folder as given, "\" and name.
    virtual void OnFile(const CString& path, const char* name) = 0;
    // A folder's listing could not be opened, or came to its end.
    virtual void OnListingFailed() {}
    virtual void OnListingDone() {}

private:
    void WalkFolder(const CString& folder, int depth);
    // False when the folder was entered before in this walk.
    bool FirstVisit(const char* folder);

    std::set<fileos::FileId> m_entered;
};
