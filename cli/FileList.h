#pragma once
// The files named on the command line, handed out one at a time as the walk
// reaches them, so that a caller can report each before the next is found.
//
// A file stands for itself; a folder for every JPEG photo below it, in name
// order per folder so that runs are repeatable. Folders are entered whatever
// their attributes, except those whose name begins with "." (thumbnail and
// version-control folders). A walk never enters one folder twice, however it
// is reached (links to a parent, two links to one folder, a folder named
// twice): it remembers the identity of every folder it entered. Only regular
// files go to the caller as files: opening a FIFO waits for a writer that may
// never come, and a device or socket is no photo either. A rewrite's
// temporary file left behind by a run that was ended ("<photo>.norvane-tmp")
// is taken up where the walk meets it (engine/Leftovers.h); one that is put
// back in its photo's place goes to the caller as the photo.
//
// Paths are UTF-8 narrow strings on every system; on Windows that is the
// process code page (the program's manifest), so they open as they are.

#include <functional>
#include <string>
#include <vector>

struct FileListEntry {
    std::string path;
    // false for a named path that is neither a file nor a folder (not there,
    // or a FIFO, socket or device): it must not be opened.
    bool isFile = true;
};

using FileVisitor = std::function<void(const FileListEntry&)>;

void ForEachFile(const std::vector<std::string>& arguments, const FileVisitor& visit);
