// norvane-cli: the photo securing engine from the command line, for batch
// and scripting use.

#include "cli/FileList.h"
#include "engine/CheckGpsTags.h"
#include "engine/SecureGpsTags.h"
#include "engine/Trace.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] = "Usage: norvane-cli check PATH...\n"
                      "       norvane-cli secure PATH...\n"
                      "\n"
                      "Finds the GPS position values (latitude, longitude, altitude, destination\n"
                      "latitude and longitude) in the EXIF data of JPEG photos and, with secure,\n"
                      "overwrites them with zeros inside the file, keeping every other byte.\n"
                      "A folder stands for every JPEG photo below it; each folder is entered once,\n"
                      "however links lead to it, and only regular files are opened.\n"
                      "\n"
                      "check   prints per file: the check code, a tab, the path.\n"
                      "secure  checks each file and secures it in place when it needs it; prints\n"
                      "        per file: the check code, a tab, the securing code (- when not\n"
                      "        needed), a tab, the path, a tab, the cleared tags as the log lists\n"
                      "        them (\"?count;\" then \"TAG(V1,V2,V3);\" per tag, in hex).\n"
                      "\n"
                      "Check codes: 0 has a position (needs securing), 2 not a JPEG, 4 cannot be\n"
                      "opened, 6 no EXIF data, 7 no position tags, 8 already secure.\n"
                      "Securing codes: 0 secured, 2 unreadable JPEG, 3 could not be written (the\n"
                      "photo is unchanged), 4 cannot be opened, 5 cannot be opened for writing.\n"
                      "\n"
                      "Options: --trace FILE  append the engine's trace lines to FILE.\n"
                      "Exit status: 0 when every photo that needed securing was secured (and every\n"
                      "named path is a file or folder), 1 otherwise, 2 on a usage error.\n";

int Usage(FILE* to, int status) {
    std::fputs(kUsage, to);
    return status;
}

// A named path that is not a file is reported as one that cannot be opened,
// without opening it, and fails the run as a missing one does.
int CheckOne(const FileListEntry& file) {
    int code = file.isFile ? CheckGpsTags(file.path.c_str()) : 4;
    std::printf("%d\t%s\n", code, file.path.c_str());
    return file.isFile ? 0 : 1;
}

int SecureOne(const FileListEntry& file) {
    const char* path = file.path.c_str();
    RemovedTags removed;
    int check = 4;
    int secured = file.isFile ? SecureGpsTagsIfNeeded(path, check, removed) : -1;
    if (check != 0) {
        std::printf("%d\t-\t%s\t\n", check, path);
        return check == 4 ? 1 : 0; // a photo we could not even look at was not secured
    }
    std::printf("%d\t%d\t%s\t%s\n", check, secured, path,
                secured == 0 ? RemovedTagsText(removed).c_str() : "");
    return secured == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    std::string command;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            return Usage(stdout, 0);
        if (!std::strcmp(argv[i], "--trace")) {
            if (++i == argc || !trace::Open(argv[i]))
                return Usage(stderr, 2);
            continue;
        }
        if (command.empty())
            command = argv[i];
        else
            paths.push_back(argv[i]);
    }
    if ((command != "check" && command != "secure") || paths.empty())
        return Usage(stderr, 2);
    // A block buffer, emptied after every photo: each line leaves in one
    // write. Left alone, the Windows runtime writes an unbuffered stdout (it
    // takes a pipe or NUL for a console) one character at a time, and under
    // Wine every character costs a round trip to its server.
    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    int (*run)(const FileListEntry&) = command == "check" ? CheckOne : SecureOne;
    int status = 0;
    ForEachFile(paths, [&](const FileListEntry& file) {
        status |= run(file);
        // Out at once, so that a long walk shows its progress and a reader of
        // the output sees each photo as it is done. (Line buffering would do
        // it on POSIX systems only: the Windows runtime buffers fully then.)
        std::fflush(stdout);
    });
    trace::Close();
    return status;
}
