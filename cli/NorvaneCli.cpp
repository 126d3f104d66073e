// norvane-cli: the photo securing engine from the command line, for batch
// and scripting use.

#include "cli/FileList.h"
#include "engine/CheckGpsTags.h"
#include "engine/ResultCodes.h"
#include "engine/SecureGpsTags.h"
#include "engine/Trace.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsageHead[] =
    "Usage: norvane-cli check PATH...\n"
    "       norvane-cli secure PATH...\n"
    "\n"
    "Finds the GPS position values of photos and, with secure, overwrites them\n"
    "with zeros inside the file, keeping every other byte and the file's length.\n"
    "Photos are JPEG, HEIC, HEIF and AVIF, CR3, PNG, WebP, TIFF, DNG and the\n"
    "TIFF-based raw files, each known by its content, whatever its name.\n"
    "Cleared are: in EXIF data the latitude, longitude, altitude, destination\n"
    "latitude and longitude (of every GPS directory, the one the Exif directory\n"
    "points to too); in XMP (extended XMP too) the same properties and vendors'\n"
    "positions such as a drone's drone-dji:GpsLatitude, GpsLongitude and\n"
    "AbsoluteAltitude, whose digits become 0 (the last of a denominator 1), so the\n"
    "text keeps its length and its letters; in a FLIR block the GPS record's\n"
    "latitude, longitude and altitude. A photo cut short in its image data is read\n"
    "and secured like a whole one, its cut tail kept as it is.\n"
    "A folder stands for every photo below it, by name: .jpg and .jpeg anywhere\n"
    "in it, or one of .heic .heif .hif .avif .png .webp .tif .tiff .dng .cr2\n"
    ".cr3 .nef .arw .orf .rw2 .pef at its end, in any case. Each folder is\n"
    "entered once, however links lead to it, and only regular files are opened.\n"
    "\n"
    "check   prints per file: the check code, a tab, the path; and when the photo\n"
    "        holds a location that Norvane recognises but does not clear, a tab\n"
    "        and \"not cleared: \" then what it is (\"FLIR GPS record\": one whose\n"
    "        layout is not the known one; \"compressed XMP chunk\": metadata\n"
    "        stored compressed), several separated by \", \".\n"
    "secure  checks each file and secures it in place when it needs it; prints\n"
    "        per file: the check code, a tab, the securing code (- when not\n"
    "        needed), a tab, the path, a tab, the cleared tags as the log lists\n"
    "        them (\"?count;\" then \"TAG(0,0,0);\" per tag, in hex; a position\n"
    "        cleared in XMP has its EXIF tag number plus 10000 in hex, in a FLIR\n"
    "        record plus 20000); and, as check does, a tab and \"not cleared: ...\"\n"
    "        when a location was left.\n"
    "Neither the log nor this program keeps a position: the values are printed\n"
    "as 0.\n"
    "\n";

const char kUsageTail[] =
    "\n"
    "Options: --trace FILE  append the engine's trace lines to FILE.\n"
    "Exit status: 0 when every photo that needed securing was secured and none\n"
    "holds a location left (check 9, securing 6), and every named path is a\n"
    "file or folder; 1 otherwise; 2 on a usage error.\n";

// "Title: 0 text, 2 text, ..." wrapped at 78 columns.
template <size_t N> std::string CodeList(const char* title, const ResultCodeText (&codes)[N]) {
    std::string out, line = title;
    for (size_t i = 0; i < N; ++i) {
        std::string word = " " + std::to_string(codes[i].code) + " " + codes[i].text + (i + 1 < N ? "," : ".");
        // Words of one code stay together where they fit; long texts wrap by word.
        size_t from = 0;
        while (from < word.size()) {
            size_t space = word.find(' ', from + 1);
            std::string piece = word.substr(from, space == std::string::npos ? std::string::npos : space - from);
            if (line.size() + piece.size() > 78) {
                out += line + "\n";
                line = piece.substr(1);
            } else {
                line += piece;
            }
            from = space == std::string::npos ? word.size() : space;
        }
    }
    return out + line + "\n";
}

int Usage(FILE* to, int status) {
    std::string text = kUsageHead;
    text += CodeList("Check codes:", kCheckCodeTexts);
    text += CodeList("Securing codes:", kSecureCodeTexts);
    text += kUsageTail;
    std::fputs(text.c_str(), to);
    return status;
}

std::string NotCleared(const std::vector<std::string>& kinds) {
    std::string out;
    for (const std::string& kind : kinds)
        out += (out.empty() ? "\tnot cleared: " : ", ") + kind;
    return out;
}

// A named path that is not a file is reported as one that cannot be opened,
// without opening it, and fails the run as a missing one does; so does a
// photo that keeps a location.
int CheckOne(const FileListEntry& file) {
    std::vector<std::string> kinds;
    int code = file.isFile ? CheckGpsTags(file.path.c_str(), &kinds) : checkcode::kCannotOpen;
    std::printf("%d\t%s%s\n", code, file.path.c_str(), NotCleared(kinds).c_str());
    return file.isFile && code != checkcode::kLocationKept ? 0 : 1;
}

int SecureOne(const FileListEntry& file) {
    const char* path = file.path.c_str();
    RemovedTags removed;
    std::vector<std::string> left;
    int check = 4;
    int secured = file.isFile ? SecureGpsTagsIfNeeded(path, check, removed, &left) : -1;
    if (check != checkcode::kNeedsSecuring) {
        std::printf("%d\t-\t%s\t%s\n", check, path, NotCleared(left).c_str());
        // A photo we could not even look at was not secured; one that keeps a location is not secure.
        return check == checkcode::kCannotOpen || check == checkcode::kLocationKept ? 1 : 0;
    }
    bool wrote = secured == securecode::kSecured || secured == securecode::kLocationLeft;
    std::printf("%d\t%d\t%s\t%s%s\n", check, secured, path, wrote ? RemovedTagsText(removed).c_str() : "",
                NotCleared(left).c_str());
    return secured == securecode::kSecured ? 0 : 1;
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
