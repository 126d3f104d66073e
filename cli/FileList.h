#pragma once
// The files named on the command line: a file stands for itself, a folder for
// every JPEG photo below it (folders whose name begins with "." are not
// entered), in name order so that runs are repeatable.

#include <string>
#include <vector>

struct FileListEntry {
    std::string path;
    bool exists = true; // false for a named path that is not there
};

std::vector<FileListEntry> CollectFiles(const std::vector<std::string>& arguments);
