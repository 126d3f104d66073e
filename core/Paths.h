#pragma once
// Where the program keeps its files: the per-user data folder (settings and
// activity log), the temporary folder, and the backup folder with its unique
// names. Paths are narrow strings in the process code page; none of these
// functions keeps state, so any thread may call them.
//
// No path is cut to a fixed buffer: values of any length are read whole, and
// a path the file system cannot take fails there, in the open or create call.

#include "framework/CString.h"

// The kinds of GetSpecialFolder that this program uses.
enum : int {
    SPECIAL_FOLDER_TEMP = 10,
    SPECIAL_FOLDER_LOCAL_APPDATA = 19,
};

// "C:\T\GEO": where photos are copied before they are rewritten when the
// program was asked for backups.
extern const char* const kBackupFolder;

// The value valueName of the current user's "User Shell Folders" key (below
// Software\Microsoft\Windows\CurrentVersion\Explorer), with an environment variable in front (the
// part before the first backslash, as in %USERPROFILE%\AppData) expanded.
// Empty when the key or value is missing.
CString ReadShellFolder(const char* valueName);

// The folder of kind, its last level created when missing; empty for a kind
// this program does not use. Local data comes from "Local Settings", or from
// "Local AppData" when that is empty; the temporary folder has no trailing
// backslash.
CString GetSpecialFolder(int kind);

// The local data folder followed by "\Norvane", created (all missing levels)
// on every call.
CString GetDataFolder();

// The record of photos known to need nothing (core/KnownRecord.h): the data
// folder followed by "\norvane.known".
CString GetKnownPhotosPath();

// The full path of the running program, whatever its length; empty when it
// cannot be read.
CString GetProgramPath();

// Creates every missing level of path; true when the folder exists after.
bool CreateDirectories(const char* path);

// A backup name in folder: folder + "\" + "<n>.tmp", for the first number n
// from the current time on under which no backup exists. The callers append
// ending (".jpg", or a HEIC's ".heic": a backup opens as what it is). So
// that two backups of the same second never share a name, the name is
// claimed: an empty "<n>.tmp<ending>" is created exclusively, to be
// overwritten by the backup copy. Empty when nothing could be claimed (the
// folder is missing or not writable).
CString GetUniqueTempName(const char* folder = kBackupFolder, const char* ending = ".jpg");

// Copies photo to a new backup in folder; false when no backup was made. A
// missing folder is created with access for the current user only (the
// copies there still carry their location); its missing parents are made
// as usual. A folder that was there is used as it is.
bool CopyToBackup(const char* photo, const char* folder = kBackupFolder);
