#include "core/FolderWalk.h"

#include "core/PhotoSecuring.h"
#include "framework/CodePage.h"
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

    // Listed through the wide functions. The narrow ones give each name in
    // 260 bytes: a name of 255 UTF-16 units (the most Windows allows) can
    // take 765 bytes in UTF-8, and such an entry makes FindNextFileA fail,
    // which ends the listing there as if the folder had no more entries. The
    // program's code page is UTF-8, so the converted names are what the
    // narrow file functions take.
    WIN32_FIND_DATAW entry;
    CFindHandle listing(::FindFirstFileW(Widen(pattern).c_str(), &entry));
    if (!listing.IsValid()) {
        OnListingFailed();
        return;
    }
    do {
        if (ShouldStop())
            return;
        std::string name = Narrow(entry.cFileName);
        if (name.empty())
            continue;
        // The folder as given, so a drive root "E:\" gives "E:\\name",
        // which the file functions take as one separator.
        CString path = folder + "\\" + name.c_str();
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name[0] != '.' && depth < kMaxDepth && FirstVisit(path))
                WalkFolder(path, depth + 1);
            continue;
        }
        if (IsLeftoverName(name.c_str())) {
            // A rewrite's temporary file, left by a program that was ended;
            // never a photo itself. One that became the photo is walked as
            // the photo.
            if (TakeUpLeftover(path) == Leftover::kRestored) {
                std::string photo = PhotoOfLeftover(name.c_str());
                OnFile(CString(PhotoOfLeftover(path).c_str()), photo.c_str());
            }
            continue;
        }
        OnFile(path, name.c_str());
    } while (::FindNextFileW(listing.Get(), &entry));
    OnListingDone();
}
