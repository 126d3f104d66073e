#include "core/FolderWalk.h"

#include "core/PhotoSecuring.h"
#include "framework/WinHandles.h"

#include <windows.h>

#include <string>

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
    CString pattern = folder;
    while (!pattern.IsEmpty() && pattern.GetAt(pattern.GetLength() - 1) == '\\')
        pattern = pattern.Left(pattern.GetLength() - 1);
    pattern += "\\*";

    WIN32_FIND_DATAA entry;
    CFindHandle listing(::FindFirstFileA(pattern, &entry));
    if (!listing.IsValid()) {
        OnListingFailed();
        return;
    }
    do {
        if (ShouldStop())
            return;
        // The folder as given, so a drive root "E:\" gives "E:\\name",
        // which the file functions take as one separator.
        CString path = folder + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (entry.cFileName[0] != '.' && depth < kMaxDepth && FirstVisit(path))
                WalkFolder(path, depth + 1);
            continue;
        }
        if (IsLeftoverName(entry.cFileName)) {
            // A rewrite's temporary file, left by a program that was ended;
            // never a photo itself. One that became the photo is walked as
            // the photo.
            if (TakeUpLeftover(path) == Leftover::kRestored) {
                std::string photo = PhotoOfLeftover(entry.cFileName);
                OnFile(CString(PhotoOfLeftover(path).c_str()), photo.c_str());
            }
            continue;
        }
        OnFile(path, entry.cFileName);
    } while (::FindNextFileA(listing.Get(), &entry));
    OnListingDone();
}
