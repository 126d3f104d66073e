#pragma once
// Securing one photo, the same way for the scanner and every monitor.
//
// Two workers never handle one photo at the same time: a worker claims the
// photo first and waits while another holds it. The claim is keyed by the
// photo's full path, without regard to letter case, so the spellings under
// which a scan and a monitor reach one photo are one claim. A worker that
// waited then finds the photo as the other left it: already secure.

#include "engine/FileOs.h"
#include "engine/Leftovers.h"
#include "engine/SecureGpsTags.h"

#include <string>
#include <vector>

// Set by the "baypass" start option: each photo is copied to the backup
// folder before it is rewritten.
extern volatile bool g_bBackupBeforeSecuring;

// True for a file the engine may read: it exists and is no folder, device
// or pipe (a pipe named like a photo would block a reader for ever).
bool IsRegularFile(const char* path);

// Checks the photo and, when its check code is 0, secures it in place (after
// the backup copy, when backups are asked for; a photo whose copy could not
// be made is left as it is, securecode::kBackupFailed). Returns the securing code,
// or -1 when the check code (in checkCode) meant nothing was to be done; a
// path that is no regular file gives check code 4. The codes and bytes are
// those of CheckGpsTags followed by SecureGpsTags. left, when given, receives
// what the photo still holds that Norvane cannot clear (check code 9,
// securing code 6). keyAfter, when given, receives the photo's key as the
// rewrite left it, read while the photo is still claimed (all zero when the
// photo was not secured or its key could not be read).
int SecurePhotoIfNeeded(const char* path, int& checkCode, RemovedTags& removedTags,
                        std::vector<std::string>* left = nullptr, fileos::FileKey* keyAfter = nullptr);

// Resolves a rewrite's temporary file (engine/Leftovers.h) under the claim
// of its photo: a worker that is rewriting the photo right now holds the
// claim, so its temporary file is never taken for a leftover.
Leftover TakeUpLeftover(const char* path);

// Holds the claim of one photo for a scope.
class CPhotoClaim {
public:
    explicit CPhotoClaim(const char* path);
    CPhotoClaim(const CPhotoClaim&) = delete;
    CPhotoClaim& operator=(const CPhotoClaim&) = delete;
    ~CPhotoClaim();

private:
    std::string m_key;
};
